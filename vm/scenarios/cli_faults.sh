# Every block refused over ALSA rawmidi: tarn-updater-cli gives up on the first block after
# its 32 attempts with the system's text and exit code 1, and the device saw exactly those 32.
set -e
. /tarn/guest/lib.sh
update_against_device 0 --refuse-blocks 1

[ "$status" -eq 1 ] || fail "tarn-updater-cli exited $status"
[ "$(cat cli.err)" = "Error: Transfer error occurred." ] || fail "stderr: $(cat cli.err)"
if grep -qF "Version update completed." cli.out; then fail "the update claims success"; fi
[ "$device_status" -eq 1 ] || fail "tarn-device-sim exited $device_status"
flash=$(sed -n 2p device.out)
case $flash in "flash wrong: "*) ;; *) fail "the device's flash check: $flash" ;; esac
writes=$(sed -n 3p device.out)
case $writes in
  "write requests: 32, 32 of them for the first block "*) ;;
  *) fail "not 32 attempts of the first block: $writes" ;;
esac
echo "every block refused: exit 1 in $took s; $writes"
