#!/usr/bin/env bash
# vm/initramfs.sh KERNEL_ROOT VERSION OUT PROGRAM...: packs the VM's whole root file system:
# busybox, the sound, USB, 9p and virtio modules with their dependencies, ALSA's configuration,
# aconnect and amidi, our init and in-VM scripts, and the given programs, each with the shared
# libraries it needs, so nothing in the VM depends on what the host has installed.
set -euo pipefail
kernel_root=$(cd "$1" && pwd)
version=$2
out=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

# Loaded in this order by /init, each with its parameters; dependencies come from the kernel's
# own modules.dep. The USB ones emulate USB-MIDI devices: a gadget with an f_midi function on
# each of dummy_hcd's controllers, seen through its host side by snd-usb-audio.
modules=(virtio_pci 9pnet_virtio 9p snd-virmidi "dummy_hcd num=4" libcomposite usb_f_midi
  snd-usb-audio)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,dev,proc,sys,host,tmp,etc,tarn/bin}

cp /usr/bin/busybox "$stage/bin/busybox"
for applet in $(busybox --list); do
  [ -e "$stage/bin/$applet" ] || ln -s busybox "$stage/bin/$applet"
done

# copy_with_libraries FILE DEST: the file and every library the dynamic loader resolves for it,
# the loader included, at the paths the loader will look for them.
copy_with_libraries() {
  install -D -m 755 "$1" "$2"
  ldd "$1" >/dev/null 2>&1 || return 0  # statically linked
  ldd "$1" | grep -o '/[^ ]*' | while read -r library; do
    [ -e "$stage$library" ] || install -D -m 755 "$(readlink -f "$library")" "$stage$library"
  done
}

copy_with_libraries "$(command -v aconnect)" "$stage/bin/aconnect"
copy_with_libraries "$(command -v amidi)" "$stage/bin/amidi"
for program in "$@"; do
  copy_with_libraries "$program" "$stage/tarn/bin/$(basename "$program")"
done
mkdir -p "$stage/usr/share"
cp -r /usr/share/alsa "$stage/usr/share/alsa"

module_dir=lib/modules/$version
mkdir -p "$stage/$module_dir"
for module in "${modules[@]}"; do
  modprobe -d "$kernel_root" -S "$version" --show-depends "${module%% *}"
done | awk '$1 == "insmod" { print $2 }' | sort -u | while read -r path; do
  install -D -m 644 "$path" "$stage/${path#"$kernel_root"/}"
done
cp "$kernel_root/$module_dir"/modules.{order,builtin,builtin.modinfo} "$stage/$module_dir/"
depmod -b "$stage" "$version"
printf '%s\n' "${modules[@]}" >"$stage/etc/tarn-modules"

install -m 755 "$here/init" "$stage/init"
cp -r "$here/guest" "$stage/tarn/guest"
cp -r "$here/scenarios" "$stage/tarn/scenarios"

mkdir -p "$(dirname "$out")"
(cd "$stage" && find . -print0 | cpio --null -o -H newc --quiet) | gzip -1 >"$out.tmp"
mv "$out.tmp" "$out"
