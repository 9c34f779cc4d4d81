#!/usr/bin/env bash
# Builds the benchmarks in the release folder and runs them; extra arguments go to the binary.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

log "build: release (benchmarks)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$JOBS" --target tarn_bench

log "benchmarks"
build/release/bench/tarn_bench "$@"
