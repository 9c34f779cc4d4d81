#!/usr/bin/env bash
# make-completion-test.sh GENERATOR: the completion make-completion.sh writes from CLI11 help
# texts, each completed in a fresh bash as the shell would.
set -uo pipefail
generator=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/dir" && touch "$work/dir/trace.txt" "$work/dir/other.log"
failures=0

help='Updates something.
Usage: prog [OPTIONS]

Options:
  -h,--help                   Print this help message and exit
  --list Excludes: --in --trace
                              List the ports
  --in TEXT Excludes: --list  A port: index or exact name
  --trace FILE Excludes: --list
                              Write the messages to FILE
  --mode TEXT:{refuse,short}=refuse Needs: --in
                              What to do
  --rate UINT:INT in [0 - 16383]
                              Bytes per second
  -q,--quiet                  No progress output'

# check NAME EXPECTED WORDS...: completing the last of WORDS offers EXPECTED (sorted, spaces).
check() {
  local name=$1 expected=$2
  shift 2
  local got
  got=$(cd "$work/dir" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _prog; printf "%s\n" "${COMPREPLY[@]}"' _ "$work/completion" "$@" | sort | xargs)
  if [ "$got" != "$expected" ]; then
    echo "FAIL $name: completing '$*' offered '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

"$generator" prog "$work/completion" <<<"$help" || { echo "FAIL: the generator failed"; exit 1; }
check "every option, flags and valued ones" \
  "--help --in --list --mode --quiet --rate --trace -h -q" prog -
check "long options by prefix" "--list" prog --li
check "a flag is followed by options" "--quiet" prog --list --q
check "a valued option takes no guess" "" prog --in ""
check "a number takes no guess" "" prog --rate ""
check "a FILE takes file names" "trace.txt" prog --trace tr
check "choices of a typed option" "refuse short" prog --mode ""
check "a choice by prefix" "short" prog --mode s
check "after a value, options again" "--quiet" prog --in 1 --qu

if "$generator" prog "$work/empty" <<<"Usage: prog" 2>/dev/null; then
  echo "FAIL: a help text without options gave a completion"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "all completion cases passed"
exit $((failures > 0))
