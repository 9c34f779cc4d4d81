#!/bin/sh
# help-for-man.sh PROGRAM --help: PROGRAM's CLI11 help as help2man reads it. CLI11 starts a
# description one space after an option that fills its 30-column field; help2man needs two
# to tell the option from its description. An option line followed by an indented line has
# its description there and stays as it is.
set -e
"$1" "$2" | awk '
  function put(line) {
    indented = substr($0, 1, 30) ~ /^ *$/ && substr($0, 31, 1) != " "
    if (line ~ /^  -/ && !indented && substr(line, 29, 3) ~ /^[^ ] [^ ]$/)
      line = substr(line, 1, 30) " " substr(line, 31)
    print line
  }
  NR > 1 { put(previous) }
  { previous = $0 }
  END { if (NR > 0) put(previous) }'
