# A whole update over ALSA rawmidi with the system's own timing: tarn-device-sim answers on
# hw:0,1, tarn-updater-cli reaches it through hw:0,0 (joined both ways), chosen by its index in
# --list. The device ends by itself after the update and checks its flash.
set -e
. /tarn/guest/lib.sh
update_against_device 10 --exit-after-finish

[ "$status" -eq 0 ] || fail "tarn-updater-cli exited $status"
grep -qF 'Version update completed.' cli.out || fail "no \"Version update completed.\""
[ ! -s cli.err ] || fail "tarn-updater-cli wrote to stderr"
[ "$device_status" -eq 0 ] || fail "tarn-device-sim exited $device_status"
flash=$(sed -n 2p device.out)
case $flash in "flash ok: "*) ;; *) fail "the device's flash check: $flash" ;; esac
echo "full update in $took s; $flash"
