#!/usr/bin/env bash
# The Windows cross build and its tests under Wine, all in one Wine prefix inside the build
# folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

source scripts/windows-build.sh

folder=build/windows

ensure_packages "${WINDOWS_PACKAGES[@]}" || true
if ! have_windows_tools; then
  log "windows: SKIPPED: the MinGW-w64 cross compiler ($WINDOWS_COMPILER) or Wine could not be installed"
  exit 0
fi

# The prefix's wineserver ends with the script, even after a failure.
trap 'wineserver -k 2>/dev/null || true' EXIT

elapsed() { printf '%s: %ds\n' "$1" $((SECONDS - $2)); }

stage=$SECONDS
windows_build "$folder"
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
