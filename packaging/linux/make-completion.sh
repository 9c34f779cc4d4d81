#!/usr/bin/env bash
# make-completion.sh NAME OUTPUT [PROGRAM]: writes to OUTPUT a bash completion for the command
# NAME from the CLI11 --help of PROGRAM (or, without PROGRAM, the help text on stdin), so that
# every option it lists is completed. An option's value is completed with file names
# when its type is FILE and with its choices when it has them ({a,b}); others take no guess.
set -euo pipefail
program=$1
output=$2
if [ $# -ge 3 ]; then
  help=$("$3" --help)
else
  help=$(cat)
fi
function_name=_$(tr -c 'A-Za-z0-9\n' '_' <<<"$program")

options=()
file_options=()
choice_cases=()
none_options=()
# An option line: names ("-q,--quiet"), then " TYPE" when it takes a value, then
# "Excludes:"/"Needs:" lists or, after two spaces, the description.
line_pattern='^ +(-[^ ]+)(.*)$'
while IFS= read -r line; do
  [[ $line =~ $line_pattern ]] || continue
  IFS=, read -ra names <<<"${BASH_REMATCH[1]}"
  rest=${BASH_REMATCH[2]}
  options+=("${names[@]}")
  [[ $rest =~ ^\ ([^ ]+) ]] || continue
  type=${BASH_REMATCH[1]}
  [[ $type =~ ^[A-Z][a-z]+:$ ]] && continue
  alternation=$(IFS='|'; echo "${names[*]}")
  if [[ $type == FILE ]]; then
    file_options+=("$alternation")
  elif [[ $type =~ \{([^}]*)\} ]]; then
    choice_cases+=("    $alternation) words=\"${BASH_REMATCH[1]//,/ }\" ;;")
  else
    none_options+=("$alternation")
  fi
done <<<"$help"

[ ${#options[@]} -gt 0 ] || { echo "make-completion.sh: no options in the help text" >&2; exit 1; }

exec >"$output"
cat <<COMPLETION
# bash completion for $program, generated from its --help by make-completion.sh.
$function_name() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} words
  case \$prev in
COMPLETION
if [ ${#file_options[@]} -gt 0 ]; then
  printf '    %s)\n' "$(IFS='|'; echo "${file_options[*]}")"
  printf '      compopt -o filenames 2>/dev/null\n'
  printf '      mapfile -t COMPREPLY < <(compgen -f -- "$cur")\n      return ;;\n'
fi
if [ ${#none_options[@]} -gt 0 ]; then
  printf '    %s) COMPREPLY=(); return ;;\n' "$(IFS='|'; echo "${none_options[*]}")"
fi
[ ${#choice_cases[@]} -eq 0 ] || printf '%s\n' "${choice_cases[@]}"
cat <<COMPLETION
    *) words="${options[*]}" ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W "\$words" -- "\$cur")
}
complete -F $function_name $program
COMPLETION
