#!/usr/bin/env bash
# The ALSA rawmidi backend under a real Linux kernel. Builds the programs the VM runs, packs
# them with a stock Debian kernel's snd-virmidi into an initramfs, and boots it in qemu: once
# with one vCPU, then with two (where a rawmidi write race shows), the backend tests and the
# full update three times in a row. The updates are tarn-updater-cli against tarn-device-sim,
# each on its own virmidi device; then, in a third boot, --all updates four emulated USB-MIDI
# devices (USB gadgets on dummy_hcd) at once. Skips only where qemu or the kernel package
# cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

cache=build/vm
# The build the programs come from: the suite's own by default, so nothing is built twice.
build=${TARN_VM_BUILD:-build/release}
# Host programs the scenarios run; each is packed with its shared libraries.
programs=(tests/vm/alsa_vm_tests cli/tarn-updater-cli sim/tarn-device-sim)
one_cpu=(virmidi_loop alsa_backend cli_list cli_update cli_faults cli_unplug)
two_cpus=(alsa_backend alsa_backend alsa_backend cli_list cli_update cli_update cli_update
  cli_faults)
# A boot of its own: four updates over emulated USB take about two and a half minutes here.
usb=(cli_all)

skip() {
  log "vm tests SKIPPED: $*"
  exit 0
}

started=$SECONDS
ensure_packages "${VM_PACKAGES[@]}" || skip "the packages ${VM_PACKAGES[*]} cannot be installed"
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not available"
version=$(vm/kernel.sh "$cache") || skip "the kernel package (linux-image-amd64) cannot be had"
kernel=$cache/kernel/boot/vmlinuz-$version

log "vm: build ${programs[*]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_WITH_ALSA=ON >/dev/null
cmake --build "$build" -j "$JOBS" --target "${programs[@]##*/}"

log "vm: initramfs for kernel $version"
vm/initramfs.sh "$cache/kernel" "$version" "$cache/initramfs.cpio.gz" \
  "${programs[@]/#/$build/}"
accel=$(vm/accel.sh "$cache" "$kernel" "$cache/initramfs.cpio.gz")

failed=0
boots=0
boot() {
  local smp=$1
  shift
  boots=$((boots + 1))
  log "vm: boot ($accel, $smp vCPU): $*"
  local begin=$SECONDS
  vm/boot.sh --accel "$accel" --smp "$smp" --timeout 300 "$kernel" "$cache/initramfs.cpio.gz" \
    "$cache/results-$boots-smp$smp" "$@" || failed=1
  echo "  $((SECONDS - begin)) s in all"
}
boot 1 "${one_cpu[@]}"
boot 2 "${two_cpus[@]}"
boot 2 "${usb[@]}"

log "vm: $((SECONDS - started)) s in all"
[ "$failed" -eq 0 ] || { log "vm tests FAILED (logs in $cache/results-*)"; exit 1; }
log "vm tests passed"
