# tarn-updater-cli --list over ALSA rawmidi: every virmidi rawmidi subdevice, in both
# directions, under the card's name; the absent JACK server costs no text.
set -e
. /tarn/guest/lib.sh
cat /proc/asound/cards
begin=$(uptime_ms)
tarn-updater-cli --list >list.out 2>list.err
took=$(seconds_since "$begin")
cat list.out
if [ -s list.err ]; then
  cat list.err
  fail "--list wrote to stderr"
fi
# What the kernel has: one "Input N"/"Output N" entry per subdevice of each rawmidi device.
expected_in=$(cat /proc/asound/card0/midi* | grep -c '^Input ')
expected_out=$(cat /proc/asound/card0/midi* | grep -c '^Output ')
listed_in=$(awk '$1 == "in" && $3 == "VirMIDI" && NF == 3' list.out | wc -l)
listed_out=$(awk '$1 == "out" && $3 == "VirMIDI" && NF == 3' list.out | wc -l)
echo "kernel: $expected_in in, $expected_out out; listed: $listed_in in, $listed_out out"
[ "$expected_in" -gt 0 ] && [ "$expected_out" -gt 0 ] || fail "the kernel has no virmidi ports"
[ "$listed_in" -eq "$expected_in" ] && [ "$listed_out" -eq "$expected_out" ] ||
  fail "not every virmidi port is listed by its card's name"
# Nothing but the card's ports: no other backend answered.
[ "$(wc -l <list.out)" -eq $((listed_in + listed_out)) ] || fail "ports other than VirMIDI"
echo "--list: $listed_in in and $listed_out out ports named VirMIDI in $took s"
