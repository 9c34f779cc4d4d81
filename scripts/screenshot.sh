#!/usr/bin/env bash
# Pictures of the updater dialog (idle, updating, completed) and of the About box, drawn on
# the offscreen platform against the virtual device, into build/screenshots; and of the Windows
# dialog and its boxes under Wine and Xvfb, into build/screenshots/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

log "build: release (screenshot program only)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$JOBS" --target app_screenshots

log "screenshots"
mkdir -p build/screenshots
QT_QPA_PLATFORM=offscreen build/release/tests/app/app_screenshots build/screenshots

log "screenshots: windows"
ensure_packages "${WINDOWS_PACKAGES[@]}" imagemagick || true
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v convert >/dev/null ||
  ! wine --version >/dev/null 2>&1; then
  log "screenshots: windows: SKIPPED: MinGW-w64, Wine, Xvfb or ImageMagick is missing"
  exit 0
fi
source scripts/wine-session.sh
wine_prefix
wine_display
windows_configure
cmake --build "$WINDOWS_FOLDER" -j "$JOBS" --target win32_screenshots
pictures=build/screenshots/windows
rm -rf "$pictures"
mkdir -p "$pictures"
wine "$WINDOWS_FOLDER/tests/app_win32/win32_screenshots.exe" "$pictures"
for bitmap in "$pictures"/*.bmp; do
  convert "$bitmap" "${bitmap%.bmp}.png"
  rm "$bitmap"
done
ls "$pictures"
