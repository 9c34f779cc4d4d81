#!/usr/bin/env bash
# vm/kernel.sh CACHE: makes a stock Debian kernel with its modules ready under CACHE/kernel and
# prints its version. The package is fetched once and unpacked (never installed: that would
# pull in initramfs-tools and udev); later runs reuse the cache without touching the network.
set -euo pipefail
cache=$1
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# The flavour with sound modules (the cloud flavour has none).
current_version() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: linux-image-\(.*-amd64\)$/\1/p' | head -n 1
}
version=$(current_version)
if [ -z "$version" ] && [ ! -f "$cache/kernel/VERSION" ]; then
  # A fresh machine may not have read the package lists yet.
  apt-get update -qq >&2 || true
  version=$(current_version)
fi
if [ -z "$version" ]; then
  # No package lists: fall back to whatever was unpacked before.
  version=$(cat "$cache/kernel/VERSION" 2>/dev/null || true)
fi
[ -n "$version" ] || {
  echo "vm/kernel.sh: no linux-image-amd64 package known to apt and none cached" >&2
  exit 1
}

root=$cache/kernel
if [ "$(cat "$root/VERSION" 2>/dev/null)" != "$version" ]; then
  rm -rf "$root" "$cache/download"
  mkdir -p "$cache/download"
  # Root's downloads would otherwise warn that the _apt user cannot write the folder.
  (cd "$cache/download" &&
    apt-get download -q -o APT::Sandbox::User=root "linux-image-$version" >&2)
  dpkg-deb -x "$cache"/download/linux-image-"$version"_*.deb "$root"
  # The package ships no modules.dep; its postinst would make one.
  depmod -b "$root" "$version"
  rm -rf "$cache/download"
  # Written last, so an interrupted run is redone rather than trusted.
  echo "$version" >"$root/VERSION"
fi
echo "$version"
