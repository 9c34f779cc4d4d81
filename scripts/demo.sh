#!/usr/bin/env bash
# The whole update in one command and without a device: a private JACK server, the virtual
# device on it (tarn-device-sim), and tarn-updater-cli updating that device with its progress
# display. Stops everything it started, whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

folder=build/release
cli=$folder/cli/tarn-updater-cli
device_sim=$folder/sim/tarn-device-sim
server="tarn-demo-$$"
work=$(mktemp -d)
jackd_pid=
device_pid=

# The device first, then the server it is a client of.
stop() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$device_pid"
  stop "$jackd_pid"
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $3 seconds until file $2 holds a line matching $4, while process $1 runs.
wait_for_line() {
  local deadline=$((SECONDS + $3))
  until grep -q "$4" "$2" 2>/dev/null; do
    kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

log "build: tarn-updater-cli and tarn-device-sim in $folder"
start=$SECONDS
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARN_WITH_ALSA=ON -DTARN_WITH_JACK=ON >/dev/null
cmake --build "$folder" -j "$JOBS" --target tarn-updater-cli tarn-device-sim
echo "built in $((SECONDS - start)) s"

log "a private JACK server \"$server\" (dummy driver: no sound card needed)"
# Synchronous mode waits for a late client; the default asynchronous mode drops or repeats the
# MIDI events of a client that misses a cycle, which a busy machine makes happen.
jackd --no-realtime --sync -n "$server" -d dummy -r 48000 -p 64 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
# Every JACK client from here on (the device and the updater) talks to this server only.
export JACK_DEFAULT_SERVER=$server

log "tarn-device-sim: a virtual DAXO Tarn Series device on that server"
# The server takes a moment to accept clients; the device says "ready" once its ports listen.
ready=0
for _ in 1 2 3 4 5 6 7 8 9 10; do
  "$device_sim" --exit-after-finish >"$work/device.log" 2>&1 &
  device_pid=$!
  if wait_for_line "$device_pid" "$work/device.log" 5 '^ready'; then
    ready=1
    break
  fi
  stop "$device_pid"
  device_pid=
  sleep 0.5
done
if [ $ready -ne 1 ]; then
  echo "the device did not start:" >&2
  cat "$work/device.log" "$work/jackd.log" >&2
  exit 1
fi
cat "$work/device.log"

log "tarn-updater-cli --list (* = the port picked by default)"
"$cli" --list

log "tarn-updater-cli: the update, with the same texts as the dialog"
# The device is tarn-device-sim on JACK ports, not the in-process one: without the opt-in the
# CLI refuses to write the stand-in image set to it.
export TARN_ALLOW_STAND_IN=1
start=$SECONDS
status=0
if [ -t 1 ]; then
  "$cli" --trace "$work/trace.txt" || status=$?
else
  echo "(not a terminal: one line per step and text, data lines only at every MiB)"
  "$cli" --trace "$work/trace.txt" |
    awk '$2 == "Data" && $4 % 1048576 != 0 { next } { print; fflush() }' || status=$?
fi
echo "tarn-updater-cli exited with $status after $((SECONDS - start)) s;" \
  "$(wc -l <"$work/trace.txt") SysEx messages traced, the first: $(head -1 "$work/trace.txt")"

log "the device's own check of its flash against the embedded image set"
# After a failed update the device waits for more; asked to end, it reports all the same.
[ $status -eq 0 ] || kill "$device_pid" 2>/dev/null || true
device_status=0
wait "$device_pid" || device_status=$?
device_pid=
# Its closing summary: the flash check, then the count of write requests.
tail -n 2 "$work/device.log"
[ $status -eq 0 ] && [ $device_status -eq 0 ]
