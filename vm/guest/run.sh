#!/bin/sh
# run.sh RESULTS: runs each scenario named in tarn.scenarios=a,b,... on the kernel command line
# (a name may repeat), in order. Each one's output goes to RESULTS/NN-name.log; one console
# line per scenario gives its exit status and time. Exits with the number of failures.
results=$1
mkdir -p "$results"
scenarios=$(tr ' ' '\n' </proc/cmdline | sed -n 's/^tarn\.scenarios=//p' | tr ',' ' ')
[ -n "$scenarios" ] || { echo "tarn-vm: no scenarios on the kernel command line"; exit 1; }

uptime_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }

echo "TARN-VM-READY $(uptime_ms) ms after boot"
failures=0
index=0
for name in $scenarios; do
  index=$((index + 1))
  log=$results/$(printf '%02d' "$index")-$name.log
  script=/tarn/scenarios/$name.sh
  start=$(uptime_ms)
  if [ -f "$script" ]; then
    (cd /tmp && sh "$script") >"$log" 2>&1
    rc=$?
  else
    echo "no scenario $name" >"$log"
    rc=127
  fi
  elapsed=$(($(uptime_ms) - start))
  echo "TARN-VM-SCENARIO $name exit=$rc ms=$elapsed"
  if [ "$rc" -ne 0 ]; then
    failures=$((failures + 1))
    echo "--- last lines of $name:"
    tail -n 40 "$log"
    echo "--- kernel messages:"
    dmesg | tail -n 20
  fi
done
exit "$failures"
