# The ALSA rawmidi backend (tests/vm) on hw:0,0 and hw:0,1, joined both ways.
set -e
. /tarn/guest/lib.sh
join_virmidi 0 1
alsa_vm_tests
