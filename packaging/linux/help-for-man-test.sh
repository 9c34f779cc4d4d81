#!/usr/bin/env bash
# help-for-man-test.sh FILTER: CLI11 option lines in, the lines help2man can split out.
set -uo pipefail
filter=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
pad=$(printf '%30s' '')

# case NAME INPUT EXPECTED: INPUT as a program's --help comes out of FILTER as EXPECTED.
case_() {
  printf '#!/bin/sh\nprintf "%%s\\n" "$INPUT"\n' >"$work/program"
  chmod +x "$work/program"
  local got
  got=$(INPUT=$2 "$filter" "$work/program" --help)
  if [ "$got" != "$3" ]; then
    printf 'FAIL %s:\n got      %s\n expected %s\n' "$1" "$got" "$3"
    failures=$((failures + 1))
  fi
}

case_ "an option that fills its field gets a second space" \
  "  --out TEXT Excludes: --list MIDI OUT port" \
  "  --out TEXT Excludes: --list  MIDI OUT port"
case_ "an option with its description below stays" \
  "  --list Excludes: --in --out --trace --x
${pad}List the ports" \
  "  --list Excludes: --in --out --trace --x
${pad}List the ports"
case_ "an option with room before its description stays" \
  "  -q,--quiet                  No progress" "  -q,--quiet                  No progress"
case_ "text that is not an option stays" \
  "Usage: tarn-updater-cli [OPTIONS] with a long line ab cd" \
  "Usage: tarn-updater-cli [OPTIONS] with a long line ab cd"

[ "$failures" -eq 0 ] && echo "all help filter cases passed"
exit $((failures > 0))
