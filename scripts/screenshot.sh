#!/usr/bin/env bash
# Pictures of the updater dialog (idle, updating, completed) and of the About box, drawn on
# the offscreen platform against the virtual device, into build/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

log "build: release (screenshot program only)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$JOBS" --target app_screenshots

log "screenshots"
mkdir -p build/screenshots
QT_QPA_PLATFORM=offscreen build/release/tests/app/app_screenshots build/screenshots
