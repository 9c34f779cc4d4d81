#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each briefly over a copy of its committed
# corpus. A crash stops the script with a non-zero status; its input is kept in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

FUZZ_SECONDS=${FUZZ_SECONDS:-30}
TARGETS=(fuzz_codec fuzz_dispatcher)

log "build: fuzz targets"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DTARN_FUZZ=ON -DTARN_BUILD_QT=OFF \
  -DTARN_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build/fuzz -j "$JOBS" --target "${TARGETS[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts

for target in "${TARGETS[@]}"; do
  log "fuzz: $target for ${FUZZ_SECONDS} s"
  cp -r "fuzz/corpus/$target" "$work/$target"
  if ! build/fuzz/fuzz/"$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" "$work/$target"; then
    echo "fuzz: $target failed; the input is in build/fuzz/artifacts/" >&2
    exit 1
  fi
done
