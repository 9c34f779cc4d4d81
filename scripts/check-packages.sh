#!/usr/bin/env bash
# check-packages.sh LINUX_BUILD: checks the packages in build/packages/ (scripts/package.sh):
# lintian, the desktop entry and the metainfo, the programs, pages and completion unpacked
# into a scratch folder, the zip's programs under Wine, and, where this user may install
# packages (root or passwordless sudo), a real install and removal.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

linux_build=${1:?usage: scripts/check-packages.sh LINUX_BUILD}
packages=build/packages
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "check-packages: $*" >&2
  exit 1
}

debs=("$packages"/tarn-updater_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $packages"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "tarn-updater_${version}_amd64.deb" ] || fail "$deb is not named by its version"

log "check: lintian"
# Every tag, the informational ones too; only errors fail. (As root it warns on stderr.)
status=0
lintian_output=$(lintian --display-info --tag-display-limit 0 "$deb" 2>/dev/null) || status=$?
printf '%s\n' "${lintian_output:-(no tags)}"
[ "$status" -le 1 ] || fail "lintian could not check the package (status $status)"
! grep -q '^E: ' <<<"$lintian_output" || fail "lintian reports errors"

log "check: contents"
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
share=$root/usr/share
expected=(usr/bin/tarn-updater usr/bin/tarn-updater-cli usr/bin/tarn-device-sim
  usr/share/applications/tarn-updater.desktop
  usr/share/bash-completion/completions/tarn-updater-cli
  usr/share/doc/tarn-updater/README.md usr/share/doc/tarn-updater/copyright
  usr/share/doc/tarn-updater/changelog.gz)
for program in tarn-updater tarn-updater-cli tarn-device-sim; do
  expected+=("usr/share/man/man1/$program.1.gz")
done
# The icon at every size the build drew it, each in the folder of its size.
icons=("$linux_build"/app/icons/*.png)
[ -f "${icons[0]}" ] || fail "no drawn icons in $linux_build/app/icons"
for icon in "${icons[@]}"; do
  size=$(basename "$icon" .png)
  installed=usr/share/icons/hicolor/${size}x$size/apps/tarn-updater.png
  expected+=("$installed")
  [ -f "$root/$installed" ] || continue
  file -b "$root/$installed" | grep -q "PNG image data, $size x $size" ||
    fail "$installed is not a $size x $size PNG"
done
for path in "${expected[@]}"; do
  [ -f "$root/$path" ] || fail "the package lacks /$path"
done
metainfo=("$share"/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "the package has no AppStream metainfo"
grep -q "<release version=\"$version\"" "${metainfo[0]}" || fail "the metainfo's release is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libqt6widgets6 libasound2; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: dpkg-shlibdeps did not run"
done
dpkg-deb -f "$deb" Description | grep -q 'firmware image set' ||
  fail "the description does not say which firmware image set the build carries"

log "check: desktop entry and metainfo"
desktop-file-validate "$share/applications/tarn-updater.desktop"
appstreamcli validate --no-net "${metainfo[0]}"

log "check: the unpacked programs"
cli=$root/usr/bin/tarn-updater-cli
[ "$("$cli" --version | head -n 1 | cut -d' ' -f2)" = "$version" ] || fail "--version does not print $version"
status=0
output=$("$cli" --simulate 2>&1) || status=$?
[ "$status" -eq 0 ] && grep -q 'Version update completed.' <<<"$output" ||
  fail "tarn-updater-cli --simulate did not complete (status $status): $output"
echo "tarn-updater-cli --simulate: $(tail -n 1 <<<"$output")"
"$root/usr/bin/tarn-device-sim" --help >/dev/null || fail "tarn-device-sim --help failed"
# The dialog reads no command line: it runs until it is closed, so still running counts.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/tarn-updater" || status=$?
[ "$status" -eq 124 ] || fail "tarn-updater ended with status $status instead of running"
echo "tarn-updater: still running after 3 s on the offscreen platform"

log "check: manual pages"
render() { MANWIDTH=80 man --warnings -l "$1" 2>"$scratch/man-warnings"; }
for page in "$share"/man/man1/*.1.gz; do
  text=$(render "$page")
  [ ! -s "$scratch/man-warnings" ] || fail "$(basename "$page"): $(cat "$scratch/man-warnings")"
  grep -q '^NAME' <<<"$text" || fail "$(basename "$page") renders no NAME section"
  echo "$(basename "$page"): $(wc -l <<<"$text") lines"
done
cli_page=$(render "$share/man/man1/tarn-updater-cli.1.gz")
# Every option the CLI knows and every exit code it can end with is in its page.
for option in $("$cli" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
  grep -qe "$option" <<<"$cli_page" || fail "the page of tarn-updater-cli lacks $option"
done
exit_codes=$(grep -oE 'kExit[A-Za-z]+ = [0-9]+' cli/exit_codes.h | grep -oE '[0-9]+$')
[ -n "$exit_codes" ] || fail "no exit codes found in cli/exit_codes.h"
exit_section=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$cli_page")
for code in $exit_codes; do
  grep -qE "^ +$code\$|^ +$code " <<<"$exit_section" || fail "the page's EXIT STATUS lacks $code"
done

log "check: bash completion"
# The completion offers every option of --help, and file names after --trace.
help_options=$("$cli" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' | grep -oE -- '-{1,2}[a-z][a-z-]*' |
  sort)
offered=$(bash -c 'source "$1"; COMP_WORDS=(tarn-updater-cli -); COMP_CWORD=1
  _tarn_updater_cli; printf "%s\n" "${COMPREPLY[@]}"' _ \
  "$share/bash-completion/completions/tarn-updater-cli" | sort)
[ "$offered" = "$help_options" ] || fail "the completion offers $(echo $offered), --help lists $(echo $help_options)"
files=$(cd "$scratch" && bash -c 'source "$1"; COMP_WORDS=(tarn-updater-cli --trace ro); COMP_CWORD=2
  _tarn_updater_cli; printf "%s\n" "${COMPREPLY[@]}"' _ \
  "$share/bash-completion/completions/tarn-updater-cli")
[ "$files" = root ] || fail "after --trace the completion offers '$files' instead of file names"
echo "completion: $(wc -l <<<"$offered") options, file names after --trace"

zips=("$packages"/tarn-updater-*-windows-x64.zip)
if [ ! -f "${zips[0]}" ]; then
  log "check: windows zip SKIPPED: none was built (no cross compiler or Wine)"
else
  log "check: windows zip"
  zip=${zips[0]}
  [ "$(basename "$zip")" = "tarn-updater-$version-windows-x64.zip" ] || fail "$zip is not named by $version"
  unzip -q "$zip" -d "$scratch/zip"
  top=$scratch/zip/tarn-updater-$version-windows-x64
  for file in tarn-updater-cli.exe README.txt; do
    [ -f "$top/$file" ] || fail "the zip lacks $file"
  done
  ! grep -q $'[^\r]$\|^$' "$top/README.txt" || fail "README.txt has lines without CRLF"
  [ -f "$top/tarn-updater.exe" ] && echo "zip: with tarn-updater.exe" ||
    echo "zip: NOTE: no tarn-updater.exe in this zip (not built here), only the CLI"
  export WINEPREFIX=${WINEPREFIX:-$PWD/build/windows/wine} WINEDEBUG=-all
  [ -f "$WINEPREFIX/system.reg" ] || fail "no Wine prefix at $WINEPREFIX (scripts/test-windows.sh makes it)"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
  status=0
  output=$(wine "$top/tarn-updater-cli.exe" --simulate 2>&1) || status=$?
  [ "$status" -eq 0 ] && grep -q 'Version update completed.' <<<"$output" ||
    fail "tarn-updater-cli.exe --simulate did not complete (status $status): $output"
  echo "tarn-updater-cli.exe --simulate under wine: $(tail -n 1 <<<"$output" | tr -d '\r')"
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
if ! "${sudo[@]}" true 2>/dev/null; then
  log "check: install and removal SKIPPED: needs root or passwordless sudo"
  exit 0
fi
if dpkg-query -W -f='${Status}' tarn-updater 2>/dev/null | grep -q 'install ok installed'; then
  log "check: install and removal SKIPPED: tarn-updater is installed already; not touched"
  exit 0
fi
log "check: install and removal"
apt() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@" -y -qq >/dev/null; }
apt install "$PWD/$deb"
dpkg -L tarn-updater | sort >"$scratch/installed"
[ -f /usr/share/applications/tarn-updater.desktop ] || fail "no desktop entry after install"
[ "$(command -v tarn-updater)" = /usr/bin/tarn-updater ] || fail "tarn-updater is not on PATH"
man -P cat tarn-updater-cli 2>/dev/null | grep -q 'EXIT STATUS' || fail "man tarn-updater-cli fails"
echo "installed: $(wc -l <"$scratch/installed") paths; desktop entry, PATH and man tarn-updater-cli work"
apt purge tarn-updater
left=()
while IFS= read -r path; do
  # Folders that other packages own or that still hold others' files stay (/usr/bin,
  # /usr/share/man/man1, ...); anything else of the package must be gone.
  if [ -d "$path" ]; then
    dpkg -S "$path" >/dev/null 2>&1 || [ -n "$(ls -A "$path")" ] || left+=("$path")
  elif [ -e "$path" ]; then
    left+=("$path")
  fi
done <"$scratch/installed"
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
echo "removed: nothing of the package is left"
