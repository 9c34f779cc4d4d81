#!/usr/bin/env bash
# The whole suite: the normal build, then ASan+UBSan, then TSan (Qt-free: Debian's Qt is not
# built for TSan), then the fuzz targets, the Windows build, the packages and the VM test.
# Stops at the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# The long tables of faults over JACK, seconds of real waiting each, run once, in the release
# build; the sanitizer builds go through the same engine paths in the engine's own tests.
LONG_JACK_TABLES='Faults/JackFlashFault|WithoutVerificationALostBlockGoesUnseen'

run_suite() {
  local folder=$1
  shift
  ctest --test-dir "$folder" --output-on-failure -j "$JOBS" "$@"
}

log "build: release"
configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build/release

log "build: address and undefined-behaviour sanitizers"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build/asan \
  -E "$LONG_JACK_TABLES"

log "build: thread sanitizer (Qt-free targets)"
configure_and_build build/tsan -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=thread -DTARN_BUILD_QT=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite build/tsan \
  -E "$LONG_JACK_TABLES"

log "fuzz targets"
scripts/fuzz.sh

log "windows cross build under wine"
scripts/test-windows.sh

# From the release and Windows builds above, so nothing is built again.
log "packages"
scripts/package.sh --reuse
scripts/check-packages.sh build/release

scripts/test-vm.sh

log "all tests passed"
