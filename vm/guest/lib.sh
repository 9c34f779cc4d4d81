# Helpers for the scenarios, sourced inside the VM.

# tarn-device-sim answers on real ALSA ports, so the CLI may write the stand-in image set to it.
export TARN_ALLOW_STAND_IN=1

# take_stand_in_warning FILE: the CLI's stderr FILE must hold the opt-in's one warning line;
# it is taken out, so that the scenarios see only the update's own texts.
take_stand_in_warning() {
  if ! grep -q '^Warning: TARN_ALLOW_STAND_IN=1: ' "$1"; then
    fail "no stand-in warning in $1: $(cat "$1")"
  fi
  grep -v '^Warning: TARN_ALLOW_STAND_IN=1: ' "$1" >"$1.rest" || true
  mv "$1.rest" "$1"
}

# join_virmidi A B: connects the sequencer ends of virmidi devices hw:0,A and hw:0,B both
# ways, so bytes written on one rawmidi device are read on the other. Scenarios may run more
# than once per boot, so a connection left by an earlier run is made afresh.
join_virmidi() {
  local a="Virtual Raw MIDI 0-$1:0" b="Virtual Raw MIDI 0-$2:0"
  aconnect -d "$a" "$b" 2>/dev/null || true
  aconnect -d "$b" "$a" 2>/dev/null || true
  aconnect "$a" "$b" && aconnect "$b" "$a"
}

# uptime_ms: milliseconds since boot, the clock the scenarios time themselves with.
uptime_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }

# seconds_since MS: the time since uptime_ms gave MS, as seconds with one decimal.
seconds_since() { awk -v a="$1" '{ printf "%.1f", $1 - a / 1000 }' /proc/uptime; }

# start_device OUT ARGS...: tarn-device-sim ARGS in the background, stdout to OUT and stderr to
# OUT.err; returns once it is ready, with its pid in $device. Fails when it ends or stays
# silent for 20 s.
start_device() {
  local out=$1 waited=0
  shift
  : >"$out"  # there to be read before the device has written anything
  tarn-device-sim "$@" >"$out" 2>"$out.err" &
  device=$!
  until grep -q '^ready ' "$out"; do
    if ! kill -0 "$device" 2>/dev/null || [ "$waited" -ge 200 ]; then
      echo "tarn-device-sim $* did not get ready:"
      cat "$out" "$out.err"
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  echo "tarn-device-sim $*: $(grep '^ready ' "$out")"
}

# stop_device SECONDS: waits that long for the device to end by itself, then ends it as a
# script would (SIGTERM). Its exit status lands in $device_status.
stop_device() {
  local waited=0
  while kill -0 "$device" 2>/dev/null && [ "$waited" -lt $(($1 * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -TERM "$device" 2>/dev/null || true
  device_status=0
  wait "$device" || device_status=$?
}

# virmidi_index LIST DIRECTION: the index tarn-updater-cli --list (saved in LIST) gives hw:0,0
# in DIRECTION (in or out). The ports carry the card's name alone, and the ALSA backend lists
# them in the order of card, device and subdevice, so hw:0,0,0 is the first of the VirMIDI
# card's ports; card 0 is the only card here.
virmidi_index() {
  awk -v direction="$2" '$1 == direction && $3 == "VirMIDI" { print $2; exit }' "$1"
}

# fail TEXT: ends the scenario with TEXT as its last line.
fail() {
  echo "FAILED: $*"
  exit 1
}

# choose_hw00: $in and $out, the indices of hw:0,0 in tarn-updater-cli's port lists.
choose_hw00() {
  tarn-updater-cli --list >list.out
  in=$(virmidi_index list.out in)
  out=$(virmidi_index list.out out)
  [ -n "$in" ] && [ -n "$out" ] || { cat list.out; fail "no VirMIDI port in --list"; }
  echo "hw:0,0 is in $in, out $out"
}

# start_pair DEVICE-OPTION...: tarn-device-sim with those options on hw:0,1, joined both ways
# with hw:0,0, whose indices in tarn-updater-cli's lists land in $in and $out.
start_pair() {
  join_virmidi 0 1
  start_device device.out --alsa hw:0,1 "$@"
  choose_hw00
}

# update_against_device SECONDS DEVICE-OPTION...: tarn-device-sim on hw:0,1 with those
# options, tarn-updater-cli on hw:0,0 (joined both ways, chosen by index), the device given
# SECONDS to end by itself afterwards. Both programs' output is printed; the CLI's lands in
# cli.out and cli.err, its exit status in $status and its time in $took, the device's summary
# in device.out and its exit status in $device_status.
update_against_device() {
  local grace=$1
  shift
  start_pair "$@"
  local begin
  begin=$(uptime_ms)
  status=0
  tarn-updater-cli --in "$in" --out "$out" >cli.out 2>cli.err || status=$?
  took=$(seconds_since "$begin")
  take_stand_in_warning cli.err
  stop_device "$grace"
  echo "--- tarn-updater-cli (exit $status, $took s):"
  cat cli.out cli.err
  echo "--- tarn-device-sim (exit $device_status):"
  cat device.out device.out.err
  echo "---"
}

# The emulated USB-MIDI devices: gadget N (1..4) sits on dummy_hcd's controller N-1.
gadgets=/sys/kernel/config/usb_gadget

# tarn_name N: the name the device search gives the Nth device.
tarn_name() {
  if [ "$1" -eq 1 ]; then echo "DAXO Tarn Series"; else echo "DAXO Tarn Series ($1)"; fi
}

# usb_audio_cards: how many snd-usb-audio cards the host side has.
usb_audio_cards() { grep -c ': USB-Audio - ' /proc/asound/cards || true; }

# add_usb_midi_devices COUNT: COUNT USB-MIDI devices, gadget N with the product string
# "tarn_name N" and one f_midi function (one port each way). Each shows up twice: its host
# side as a snd-usb-audio card named after the product string, its gadget side as an f_midi
# card with the id tarngadgetN (gadget_card N). Returns once every host card is there.
add_usb_midi_devices() {
  local n waited=0 g
  for n in $(seq "$1"); do
    g=$gadgets/tarn$n
    mkdir "$g" "$g/strings/0x409" "$g/configs/c.1" "$g/functions/midi.usb0"
    # pid.codes' vendor id with its test product ids, one per device.
    echo 0x1209 >"$g/idVendor"
    printf '0x%04x\n' "$n" >"$g/idProduct"
    echo DAXO >"$g/strings/0x409/manufacturer"
    tarn_name "$n" >"$g/strings/0x409/product"
    echo 1 >"$g/functions/midi.usb0/in_ports"
    echo 1 >"$g/functions/midi.usb0/out_ports"
    printf 'tarngadget%d' "$n" >"$g/functions/midi.usb0/id"
    ln -s "$g/functions/midi.usb0" "$g/configs/c.1/"
    echo "dummy_udc.$((n - 1))" >"$g/UDC"
  done
  # The host enumerates each device on its own, in the background.
  until [ "$(usb_audio_cards)" -ge "$1" ]; do
    if [ "$waited" -ge 300 ]; then
      cat /proc/asound/cards
      dmesg | tail -n 20
      fail "$(usb_audio_cards) of $1 USB-MIDI devices reached the host in 30 s"
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# gadget_card N: the ALSA card number of gadget N's side of the cable.
gadget_card() {
  local card
  card=$(readlink "/proc/asound/tarngadget$1") || return 1
  echo "${card#card}"
}

# remove_usb_midi_devices: unplugs and removes every gadget that add_usb_midi_devices made,
# waiting until the host has dropped their cards, so later scenarios find VirMIDI alone.
remove_usb_midi_devices() {
  local g part waited=0
  for g in "$gadgets"/tarn*; do
    [ -d "$g" ] || continue
    # Also after a half-made gadget: whatever is there goes.
    echo "" >"$g/UDC" 2>/dev/null || true
    rm -f "$g/configs/c.1/midi.usb0"
    for part in "$g/configs/c.1" "$g/functions/midi.usb0" "$g/strings/0x409" "$g"; do
      [ ! -d "$part" ] || rmdir "$part"
    done
  done
  while [ "$(usb_audio_cards)" -gt 0 ]; do
    if [ "$waited" -ge 100 ]; then
      echo "USB-MIDI cards left after 10 s:"
      cat /proc/asound/cards
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}
