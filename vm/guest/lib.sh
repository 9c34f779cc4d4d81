# Helpers for the scenarios, sourced inside the VM.

# join_virmidi A B: connects the sequencer ends of virmidi devices hw:0,A and hw:0,B both
# ways, so bytes written on one rawmidi device are read on the other. Scenarios may run more
# than once per boot, so a connection left by an earlier run is made afresh.
join_virmidi() {
  local a="Virtual Raw MIDI 0-$1:0" b="Virtual Raw MIDI 0-$2:0"
  aconnect -d "$a" "$b" 2>/dev/null || true
  aconnect -d "$b" "$a" 2>/dev/null || true
  aconnect "$a" "$b" && aconnect "$b" "$a"
}
