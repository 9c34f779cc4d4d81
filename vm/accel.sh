#!/usr/bin/env bash
# vm/accel.sh CACHE KERNEL INITRD: prints the accelerator to boot the test VM with. KVM where
# it boots the kernel (on some nested hypervisors it hangs without a word), else TCG. The
# verdict is kept per host kernel, so the probe costs its time once; TARN_VM_ACCEL overrides.
set -euo pipefail
cache=$1
kernel=$2
initrd=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ -n "${TARN_VM_ACCEL:-}" ]; then
  echo "$TARN_VM_ACCEL"
  exit 0
fi
if [ ! -r /dev/kvm ] || [ ! -w /dev/kvm ]; then
  echo tcg
  exit 0
fi
verdict=$cache/accel-$(uname -r)
if [ ! -f "$verdict" ]; then
  # A working KVM boots in a few seconds; TCG takes about ten.
  if "$here/boot.sh" --accel kvm --timeout 20 "$kernel" "$initrd" "$cache/accel-probe" boot \
    >/dev/null 2>&1; then
    echo kvm >"$verdict"
  else
    echo tcg >"$verdict"
  fi
  rm -rf "$cache/accel-probe"
fi
cat "$verdict"
