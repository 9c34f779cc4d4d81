#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each briefly over a copy of its committed
# corpus. A crash stops the script with a non-zero status; its input is kept in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

FUZZ_SECONDS=${FUZZ_SECONDS:-30}
TARGETS=(fuzz_codec fuzz_dispatcher fuzz_pe_resources)

log "build: fuzz targets"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DTARN_FUZZ=ON -DTARN_BUILD_QT=OFF \
  -DTARN_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build/fuzz -j "$JOBS" --target "${TARGETS[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts

# The resource reader also starts from real programs: a small one windres builds here, and
# the Windows updater itself when the Windows stage has built it.
pe_seeds() {
  local corpus=$1 windres=x86_64-w64-mingw32-windres gcc=x86_64-w64-mingw32-gcc
  if command -v "$windres" >/dev/null && command -v "$gcc" >/dev/null; then
    local id
    for id in 129 133 136 139 142; do printf 'image %s' "$id" >"$work/$id.bin"; done
    for id in 129 133 136 139 142; do echo "$id BIN \"$work/$id.bin\""; done >"$work/set.rc"
    echo 'int main(void) { return 0; }' >"$work/main.c"
    "$windres" "$work/set.rc" -O coff -o "$work/set.o" &&
      "$gcc" -s "$work/main.c" "$work/set.o" -o "$corpus/windres_program.exe" ||
      echo "fuzz: the windres seed could not be built" >&2
  fi
  local updater=build/windows/app/win32/tarn-updater.exe
  if [ -f "$updater" ]; then cp "$updater" "$corpus/tarn-updater.exe"; fi
}

for target in "${TARGETS[@]}"; do
  log "fuzz: $target for ${FUZZ_SECONDS} s"
  cp -r "fuzz/corpus/$target" "$work/$target"
  if [ "$target" = fuzz_pe_resources ]; then pe_seeds "$work/$target"; fi
  if ! build/fuzz/fuzz/"$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" "$work/$target"; then
    echo "fuzz: $target failed; the input is in build/fuzz/artifacts/" >&2
    exit 1
  fi
done
