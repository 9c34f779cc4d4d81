#!/usr/bin/env bash
# The Windows cross build (MinGW-w64, the system's WinMM, no Qt) and its tests under Wine, all
# in one Wine prefix inside the build folder, with Xvfb as the display of the dialog's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# The same prefix the toolchain file gives the build's emulator; the dialog's tests open their
# windows on an Xvfb display.
source scripts/windows-build.sh

ensure_packages "${WINDOWS_PACKAGES[@]}" || true
if ! have_windows_tools; then
  log "windows: SKIPPED: the MinGW-w64 cross compiler ($WINDOWS_COMPILER) or Wine could not be installed"
  exit 0
fi

elapsed() { printf '%s: %ds\n' "$1" $((SECONDS - $2)); }

stage=$SECONDS
wine_prefix
wine_display
elapsed "wine prefix and display" $stage

stage=$SECONDS
windows_configure
cmake --build "$WINDOWS_FOLDER" -j "$JOBS"
elapsed "cross build" $stage

stage=$SECONDS
# The full update below runs even after a failed test, so that one run tells both.
tests_status=0
ctest --test-dir "$WINDOWS_FOLDER" --output-on-failure -j "$JOBS" || tests_status=$?
elapsed "tests under wine" $stage

# A full update of the virtual device behind the loopback ports, reached through the router.
stage=$SECONDS
status=0
output=$(wine "$WINDOWS_FOLDER/cli/tarn-updater-cli.exe" --simulate 2>&1) || status=$?
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
