#!/usr/bin/env bash
# vm/boot.sh [--accel kvm|tcg] [--smp N] [--timeout SECONDS] KERNEL INITRD RESULTS SCENARIO...
# Boots the test VM once, runs the scenarios in order (a name may repeat) and brings their
# outcome back: the logs land in RESULTS through 9p, the console goes to RESULTS/console.log
# and its marker lines are echoed with host times. Exits 0 only when every scenario passed;
# 2 when the VM gave no outcome (hung, crashed, timed out).
set -euo pipefail
accel=tcg
smp=1
limit=300
while [ $# -gt 0 ]; do
  case $1 in
    --accel) accel=$2; shift 2 ;;
    --smp) smp=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 4 ]; then
  echo "usage: $0 [--accel A] [--smp N] [--timeout S] KERNEL INITRD RESULTS SCENARIO..." >&2
  exit 2
fi
kernel=$1
initrd=$2
results=$3
shift 3
scenarios=$(IFS=,; echo "$*")

rm -rf "$results"
mkdir -p "$results"
results=$(cd "$results" && pwd)
console=$results/console.log

start=$EPOCHREALTIME
seconds_since_start() { awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

set +e
timeout --kill-after=5 "$limit" qemu-system-x86_64 -accel "$accel" -m 512 -smp "$smp" \
  -nographic -no-reboot -nic none \
  -kernel "$kernel" -initrd "$initrd" \
  -append "console=ttyS0 panic=-1 quiet tarn.scenarios=$scenarios" \
  -virtfs "local,path=$results,mount_tag=host,security_model=none" </dev/null 2>&1 |
  while IFS= read -r line; do
    line=${line%$'\r'}
    printf '%s\n' "$line" >>"$console"
    case $line in
      *TARN-VM-READY*) echo "  [$(seconds_since_start) s] booted (${line#*TARN-VM-READY })" ;;
      *TARN-VM-SCENARIO*) echo "  [$(seconds_since_start) s] ${line#*TARN-VM-SCENARIO }" ;;
      *TARN-VM-EXIT*) echo "  [$(seconds_since_start) s] finished: ${line#*TARN-VM-}" ;;
      tarn-vm:*) echo "  $line" ;;
    esac
  done
qemu_status=${PIPESTATUS[0]}
set -e

outcome=$(sed -n 's/.*TARN-VM-EXIT \([0-9]*\).*/\1/p' "$console" | tail -n 1)
if [ -z "$outcome" ]; then
  [ "$qemu_status" -eq 124 ] && echo "  the VM did not finish within $limit s" >&2
  echo "  no outcome from the VM (qemu exit $qemu_status); last console lines:" >&2
  tail -n 20 "$console" >&2
  exit 2
fi
# Each scenario's closing line (a test runner's summary); the end of a failed one's log, from
# the shared folder (the console has fewer lines).
index=0
sed -n 's/.*TARN-VM-SCENARIO //p' "$console" | while read -r name status _; do
  index=$((index + 1))
  log=$results/$(printf '%02d' "$index")-$name.log
  [ -f "$log" ] || continue
  if [ "$status" = exit=0 ]; then
    echo "  $name: $(tail -n 1 "$log")"
  else
    echo "  --- $name ($status), $log:"
    tail -n 80 "$log" | sed 's/^/    /'
  fi
done
[ "$outcome" -eq 0 ]
