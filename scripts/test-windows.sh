#!/usr/bin/env bash
# The Windows cross build (MinGW-w64, the system's WinMM, no Qt) and its tests under Wine, all
# in one Wine prefix inside the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

folder=build/windows
compiler=x86_64-w64-mingw32-g++-posix

have_tools() { command -v "$compiler" >/dev/null && wine --version >/dev/null 2>&1; }

ensure_packages "${WINDOWS_PACKAGES[@]}" || true
if ! have_tools; then
  log "windows: SKIPPED: the MinGW-w64 cross compiler ($compiler) or Wine could not be installed"
  exit 0
fi

# The same prefix the toolchain file gives the build's emulator.
export WINEPREFIX=$PWD/$folder/wine
export WINEDEBUG=-all
# The prefix's wineserver ends with the script, even after a failure.
trap 'wineserver -k 2>/dev/null || true' EXIT

elapsed() { printf '%s: %ds\n' "$1" $((SECONDS - $2)); }

stage=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$folder"
  wineboot -i >/dev/null 2>&1
  # No audio driver: WinMM then offers no MIDI devices, whatever the host has, and Wine leaves
  # the host's ALSA alone.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f >/dev/null 2>&1
fi
elapsed "wine prefix" $stage

# Generators run under Wine during the build, so the prefix comes first. -O2 as in the Linux
# builds: at -O3 GCC 12 reports false array bounds inside the standard library. Configured
# afresh every time (two seconds; nothing is rebuilt unless a flag changed): only a first
# configure reads the toolchain file, so a folder configured before it changed keeps old flags.
stage=$SECONDS
cmake --fresh -S . -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTARN_BUILD_QT=OFF >/dev/null
cmake --build "$folder" -j "$JOBS"
elapsed "cross build" $stage

stage=$SECONDS
# The full update below runs even after a failed test, so that one run tells both.
tests_status=0
ctest --test-dir "$folder" --output-on-failure -j "$JOBS" || tests_status=$?
elapsed "tests under wine" $stage

# A full update of the virtual device behind the loopback ports, reached through the router.
stage=$SECONDS
status=0
output=$(wine "$folder/cli/tarn-updater-cli.exe" --simulate 2>&1) || status=$?
if [ "$status" -ne 0 ] || ! grep -q 'Version update completed.' <<<"$output"; then
  printf '%s\n' "$output"
  echo "tarn-updater-cli.exe --simulate did not complete the update (exit status $status)" >&2
  exit 1
fi
tail -n 2 <<<"$output"
elapsed "tarn-updater-cli.exe --simulate: full update" $stage

if [ "$tests_status" -ne 0 ]; then
  echo "windows: tests failed under wine (see above)" >&2
  exit 1
fi
