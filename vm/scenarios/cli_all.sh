# tarn-updater-cli --all against four emulated USB-MIDI devices at once: each a gadget on its
# own dummy_hcd controller, its host side a snd-usb-audio card named after the product string
# ("DAXO Tarn Series", then " (2)" to " (4)"), its gadget side an f_midi card where a
# tarn-device-sim answers. --all --list pairs each card's input and output; --all updates the
# four in parallel, and every device checks its own flash.
set -e
. /tarn/guest/lib.sh
count=4
trap remove_usb_midi_devices EXIT
begin=$(uptime_ms)
add_usb_midi_devices "$count"
echo "$count USB-MIDI devices plugged in $(seconds_since "$begin") s:"
cat /proc/asound/cards

devices=""
for n in $(seq "$count"); do
  card=$(gadget_card "$n") || fail "no f_midi card for gadget $n"
  start_device "device$n.out" --alsa "hw:$card,0" --exit-after-finish
  devices="$devices $device"
done

# Every pair is an input and an output of one name: the cards' names differ, and the f_midi
# cards' name is not a device's.
tarn-updater-cli --list >list.out
tarn-updater-cli --all --list >pairs.out 2>pairs.err
echo "--- tarn-updater-cli --all --list:"
cat pairs.out pairs.err
[ ! -s pairs.err ] || fail "--all --list wrote to stderr"
[ "$(wc -l <pairs.out)" -eq "$count" ] || fail "not $count pairs"
port_name() {
  awk -v d="$1" -v i="$2" '$1 == d && $2 == i {
    $1 = ""; $2 = ""; sub(/^ +/, ""); sub(/ +\*$/, ""); print }' list.out
}
n=0
while read -r _ input _ output name; do
  n=$((n + 1))
  [ "$name" = "$(tarn_name "$n")" ] || fail "pair $n is \"$name\""
  [ "$(port_name in "$input")" = "$name" ] && [ "$(port_name out "$output")" = "$name" ] ||
    { cat list.out; fail "pair $n (in $input, out $output) is not two ports of \"$name\""; }
done <pairs.out

begin=$(uptime_ms)
status=0
tarn-updater-cli --all >cli.out 2>cli.err || status=$?
take_stand_in_warning cli.err
took=$(seconds_since "$begin")
n=0
for device in $devices; do
  n=$((n + 1))
  stop_device 10
  echo "$device_status" >"device$n.status"
done
# One progress line per 4 KiB and device: the rest is what a reader needs.
progress=$(grep -c ' Data transmit ' cli.out || true)
echo "--- tarn-updater-cli --all (exit $status, $took s), $progress progress lines left out:"
grep -v ' Data transmit ' cli.out || true
cat cli.err
for n in $(seq "$count"); do
  echo "--- tarn-device-sim $n (exit $(cat "device$n.status")):"
  cat "device$n.out" "device$n.out.err"
done
echo "---"

[ "$status" -eq 0 ] || fail "tarn-updater-cli --all exited $status"
[ ! -s cli.err ] || fail "tarn-updater-cli --all wrote to stderr"
# The summary table: a header, then one row per device in the search's order.
sed -n '/^Device  /,$p' cli.out >summary.out
[ "$(wc -l <summary.out)" -eq $((count + 1)) ] || fail "the summary has not $count rows"
for n in $(seq "$count"); do
  name=$(tarn_name "$n")
  row=$(sed -n "$((n + 1))p" summary.out)
  case $row in
    "$name  "*) ;;
    *) fail "summary row $n is not $name: $row" ;;
  esac
  outcome=$(echo "${row#"$name"}" | sed 's/^ *//')
  case $outcome in
    "Version update completed. "*) ;;
    *) fail "$name: $outcome" ;;
  esac
  flash=$(sed -n 2p "device$n.out")
  case $flash in
    "flash ok: "*) ;;
    *) fail "the flash check of device $n: $flash" ;;
  esac
  [ "$(cat "device$n.status")" -eq 0 ] || fail "tarn-device-sim $n exited $(cat "device$n.status")"
done
echo "$count devices updated at once in $took s; $(sed -n 2p device1.out)"
