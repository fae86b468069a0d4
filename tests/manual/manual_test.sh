#!/bin/bash
# The man page and the bash completion against the program's own --help: both list exactly the
# options of `study --help` and `merge --help`; the page renders without a warning; the
# completion completes the commands, the options, the choices of --format and file and folder
# names; an install puts both where man and bash-completion look.
#   tests/manual/manual_test.sh PROGRAM MAN_PAGE COMPLETION BUILD_DIR
program=$(realpath "$1") page=$(realpath "$2") completion=$(realpath "$3") build=$4
command -v man >/dev/null || { echo "skipped: no man (apt-get install man-db)"; exit 77; }
loader=/usr/share/bash-completion/bash_completion
[ -f $loader ] || { echo "skipped: no bash-completion (apt-get install bash-completion)"; exit 77; }
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
checks=0 failed=0
check() {  # WHAT EXPECTED ACTUAL
  checks=$((checks + 1))
  [ "$2" = "$3" ] && return
  failed=$((failed + 1))
  printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
}
line() { LC_ALL=C sort | tr '\n' ' '; }
# The long options a --help lists.
help_options() { "$program" "$1" --help | grep -oE '^  (-h,)?--[a-z-]+' | sed 's/.*--/--/' | line; }
# What the completion offers for a command line, its last word the one being completed.
offers() {
  (cd "$work/names" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _kestrovanilque; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" kestrovanilque "$@") | grep . | line
}
# The options a section of the rendered page lists.
man_options() {
  LC_ALL=C MANWIDTH=100 man -l "$page" 2>/dev/null |
    awk -v s="$1" '/^[A-Z]/ { in_s = ($0 == s) } in_s && /^       -/' | grep -oE -- '--[a-z-]+' | awk '!seen[$0]++' | line
}

study=$(help_options study) merge=$(help_options merge)
formats=$("$program" study --help | grep -oE '\{[a-z,]+\}' | tr -d '{}' | tr ',' '\n' | line)
check "study --help lists options" true "$([ -n "$study" ] && [ -n "$formats" ] && echo true)"

check "complete -p" "complete -F _kestrovanilque kestrovanilque" "$(bash -c 'source "$1"; complete -p kestrovanilque' _ "$completion")"
mkdir -p "$work/names/cases" && touch "$work/names/case one.csv"
while IFS='|' read -r what expected words; do
  read -ra words <<<"$words"
  [ "${words[-1]}" = '""' ] && words[-1]=""
  check "completion: $what" "$expected" "$(offers "${words[@]}")"
done <<EOT
the commands|--help --version merge study |""
study's options|$study|study --
merge's options|$merge|merge cases --
--format|$formats|study x.csv --format ""
--format=|$formats|study x.csv --format = ""
a number|| study --order ""
the CASE|case one.csv cases |study ca
the slab folders|cases |merge ca
--out|cases |study x.csv --out ca
--at|case one.csv cases |study x.csv --at ca
EOT

warnings=$(LC_ALL=C MANWIDTH=100 man --warnings -l "$page" 2>&1 >/dev/null)
check "man -l renders without warnings" "" "$warnings"
check "the page's study options" "$study" "$(man_options "STUDY OPTIONS")"
check "the page's merge options" "$merge" "$(man_options "MERGE OPTIONS")"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component manual >/dev/null
check "man finds the installed page beside the program" "$prefix/share/man/man1/kestrovanilque.1" \
  "$(PATH=$prefix/bin:$PATH MANPATH= man -w kestrovanilque 2>&1)"
check "bash-completion loads the installed completion" "complete -F _kestrovanilque kestrovanilque" \
  "$(XDG_DATA_DIRS=$prefix/share bash -c 'source "$1"; __load_completion kestrovanilque; complete -p kestrovanilque' _ $loader)"

echo "manual: $((checks - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
