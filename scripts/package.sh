#!/usr/bin/env bash
# The Debian package and the Windows zip, into build/packages/. By default both come from
# clean Release builds (build/package/linux, build/package/windows). With --reuse they come
# from the folders the test stages have built (build/release, build/windows), so that the
# test suite builds nothing twice. TARN_FIRMWARE_DIR, when set, is the folder of the real
# image set the clean builds embed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

linux_folder=build/package/linux
windows_folder=build/package/windows
case "${1:-}" in
  --reuse)
    linux_folder=build/release
    windows_folder=build/windows
    ;;
  "") ;;
  *)
    echo "usage: scripts/package.sh [--reuse]" >&2
    exit 2
    ;;
esac
WINDOWS_FOLDER=$windows_folder
source scripts/windows-build.sh
firmware=()
[ -z "${TARN_FIRMWARE_DIR:-}" ] || firmware=(-DTARN_FIRMWARE_DIR="$TARN_FIRMWARE_DIR")
out=build/packages
rm -rf "$out"
mkdir -p "$out"

# cpack_into FOLDER GENERATOR: CPack's package of that build, copied into $out.
cpack_into() {
  local folder=$1 generator=$2
  rm -rf "$folder/packages"
  (cd "$folder" && cpack -G "$generator" >/dev/null)
  cp "$folder"/packages/tarn-updater* "$out"/
}

log "package: debian (from $linux_folder)"
if [ "$linux_folder" = build/package/linux ]; then
  rm -rf "$linux_folder"
  configure_and_build "$linux_folder" -DCMAKE_BUILD_TYPE=Release "${firmware[@]}"
else
  cmake --build "$linux_folder" -j "$JOBS"
fi
cpack_into "$linux_folder" DEB

log "package: windows zip (from $windows_folder)"
if ! have_windows_tools; then
  log "package: windows zip SKIPPED: the MinGW-w64 cross compiler ($WINDOWS_COMPILER) or Wine is missing"
else
  if [ "$windows_folder" = build/package/windows ]; then
    rm -rf "$windows_folder"
    windows_build "${firmware[@]}"
  else
    [ -f "$windows_folder/build.ninja" ] ||
      { echo "package: no Windows build in $windows_folder (scripts/test-windows.sh makes it)" >&2; exit 1; }
    cmake --build "$windows_folder" -j "$JOBS"
  fi
  cpack_into "$windows_folder" ZIP
  if ! unzip -Z1 "$out"/tarn-updater-*-windows-x64.zip | grep -q '/tarn-updater\.exe$'; then
    log "package: NOTE: this Windows build has no tarn-updater.exe (the Win32 dialog is not" \
      "built here); the zip holds tarn-updater-cli.exe and README.txt only"
  fi
fi

log "packages in $out"
(cd "$out" && ls -l tarn-updater*)
