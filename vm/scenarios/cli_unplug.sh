# The device goes away mid-update: the virmidi card's driver is unbound through sysfs, and ALSA
# disconnects the card as it does on a USB unplug. tarn-updater-cli ends at once with "Can't
# open MIDI Out device." and exit code 1 instead of waiting out its resends or its wait: once
# while blocks go out, once while it waits for an erase that the device answers only after 50 s.
# The card is bound again after each, so later runs find it.
set -e
. /tarn/guest/lib.sh
driver=/sys/bus/platform/drivers/snd_virmidi
card=$(basename "$(ls -d "$driver"/snd_virmidi.* | head -n 1)")
[ -n "$card" ] || fail "no snd_virmidi device in $driver"

# unplug_when LINE [DEVICE ARGS...]: unplugs once the CLI has printed a line starting LINE.
unplug_when() {
  local line=$1
  shift
  start_pair "$@"
  : >cli.out
  tarn-updater-cli --in "$in" --out "$out" --trace trace.txt >cli.out 2>cli.err &
  cli=$!
  waited=0
  until grep -q "^$line" cli.out; do
    [ "$waited" -lt 300 ] || { kill "$cli"; fail "no $line in 30 s"; }
    sleep 0.1
    waited=$((waited + 1))
  done
  # The request follows its step line at once.
  sleep 1

  begin=$(uptime_ms)
  # The unbind returns only once every program has closed the card; it runs on meanwhile.
  echo "$card" >"$driver/unbind" &
  unbind=$!
  waited=0
  while kill -0 "$cli" 2>/dev/null && [ "$waited" -lt 600 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  took=$(seconds_since "$begin")
  kill -KILL "$cli" 2>/dev/null || true
  status=0
  wait "$cli" || status=$?
  kill -TERM "$device" 2>/dev/null || true
  sleep 1
  kill -KILL "$device" 2>/dev/null || true
  wait "$device" || true
  wait "$unbind" || true
  echo "$card" >"$driver/bind"
  take_stand_in_warning cli.err
  echo "--- tarn-updater-cli, unplugged after \"$line\" (exit $status, $took s after the unplug):"
  cat cli.out cli.err
  echo "---"

  [ "$status" -eq 1 ] || fail "tarn-updater-cli exited $status"
  [ "$(cat cli.err)" = "Error: Can't open MIDI Out device." ] || fail "stderr: $(cat cli.err)"
  if grep -qF "Version update completed." cli.out; then fail "the update claims success"; fi
  # A clean run sends no message twice; a device that merely stalls gets 32 sends of a block.
  # One send already on its way as the card went may be waited for once.
  resent=$(awk '$2 == ">" { $1 = ""; print }' trace.txt | sort | uniq -d | wc -l)
  [ "$resent" -le 1 ] || fail "$resent messages sent more than once after the unplug"
  echo "unplugged after \"$line\": exit 1 in $took s, $resent resent"
}

unplug_when '3/10 Data transmit'
unplug_when '1/10 Erasing' --fault delay=50000,kind=erase
