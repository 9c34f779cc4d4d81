# The VM's own plumbing, independent of our code: a SysEx message written with amidi on
# hw:0,0 arrives unchanged on hw:0,1 through the sequencer connection.
set -e
. /tarn/guest/lib.sh
join_virmidi 0 1
aconnect -l
{
  printf '\360\175'
  head -c 254 /dev/urandom | tr '\200-\377' '\000-\177'
  printf '\367'
} >sent.syx
amidi -p hw:0,1 -r received.syx -t 1 &
reader=$!
sleep 0.3
amidi -p hw:0,0 -s sent.syx
wait "$reader"
cmp sent.syx received.syx
echo "256 bytes passed hw:0,0 -> hw:0,1 unchanged"
