#!/bin/sh
# Tests of the POSIX adapters "notepad" and "wgnuplot".
#
#   sh adapters/adapters_test.sh
#
# Runs without a display. Exit status: 0 when every check passed, 1 when one failed, 77 (skipped)
# when nothing failed but gnuplot is not installed, so that the plotting checks could not run.

here=$(cd "$(dirname "$0")" && pwd)
notepad=$here/notepad
wgnuplot=$here/wgnuplot

unset DISPLAY WAYLAND_DISPLAY VISUAL EDITOR KV_PNG_SIZE

work=$(mktemp -d "${TMPDIR:-/tmp}/adapters_test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

passed=0
failed=0
skipped=0

pass() {
  passed=$((passed + 1))
  echo "ok - $1"
}

fail() {
  failed=$((failed + 1))
  echo "not ok - $1"
}

skip() {
  skipped=$((skipped + 1))
  echo "ok - $1 # SKIP $2"
}

check() {
  description=$1
  shift
  if "$@"; then pass "$description"; else fail "$description"; fi
}

# Runs a command with a time limit (when timeout(1) exists); status 124 when it ran out.
limited() {
  seconds=$1
  shift
  if command -v timeout >/dev/null 2>&1; then
    timeout "$seconds" "$@"
  else
    "$@"
  fi
}

# Whether file $1 is a PNG image: signature, exactly one end chunk, at least $2 bytes.
is_png() {
  [ -f "$1" ] || return 1
  signature=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
  [ "$signature" = "89504e470d0a1a0a" ] || return 1
  ends=$(grep -c 'IEND' "$1" 2>/dev/null)
  [ "$ends" = 1 ] || return 1
  size=$(wc -c <"$1" | tr -d ' ')
  [ "$size" -ge "$2" ]
}

# ---------------------------------------------------------------------------------------------
# notepad

# An editor that only leaves a marker file, so that we can tell whether it was started.
cat >"$work/editor" <<EOF
#!/bin/sh
echo "\$@" >"$work/editor_ran"
EOF
chmod +x "$work/editor"
echo "data" >"$work/data.txt"

rm -f "$work/editor_ran"
EDITOR=$work/editor limited 10 "$notepad" "$work/data.txt" </dev/null
status=$?
check "notepad returns 0 when standard input is not a terminal" [ "$status" = 0 ]
check "notepad does not start \$EDITOR without a terminal" [ ! -e "$work/editor_ran" ]

rm -f "$work/editor_ran"
VISUAL=$work/editor EDITOR=$work/editor limited 10 "$notepad" "$work/data.txt" </dev/null
check "notepad does not start \$VISUAL without a terminal" [ ! -e "$work/editor_ran" ]

rm -f "$work/editor_ran"
(cd "$work" && PATH="$PATH:$here" EDITOR=$work/editor limited 10 /bin/sh -c "notepad data.txt" </dev/null)
status=$?
check "notepad through /bin/sh -c, as the program calls it, returns 0" [ "$status" = 0 ]
check "notepad through /bin/sh -c starts no editor" [ ! -e "$work/editor_ran" ]

limited 10 "$notepad" "$work/data.txt" </dev/null
check "notepad without \$VISUAL and \$EDITOR returns 0" [ $? = 0 ]

# With a terminal (a pseudo-terminal from script(1)) the editor is started on the file.
if command -v script >/dev/null 2>&1 && script -qec true /dev/null </dev/null >/dev/null 2>&1; then
  rm -f "$work/editor_ran"
  EDITOR=$work/editor limited 20 script -qec "'$notepad' '$work/data.txt'" /dev/null \
    </dev/null >/dev/null 2>&1
  check "notepad starts \$EDITOR on the file at a terminal" \
    grep -q "data.txt" "$work/editor_ran"
  rm -f "$work/editor_ran" "$work/visual_ran"
  printf '#!/bin/sh\necho "$@" >"%s/visual_ran"\n' "$work" >"$work/visual"
  chmod +x "$work/visual"
  VISUAL=$work/visual EDITOR=$work/editor limited 20 \
    script -qec "'$notepad' '$work/data.txt'" /dev/null </dev/null >/dev/null 2>&1
  check "notepad prefers \$VISUAL to \$EDITOR" \
    sh -c "[ -e '$work/visual_ran' ] && [ ! -e '$work/editor_ran' ]"

  # File names that an editor would take for options or, in vi, for commands ("+cmd").
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/argv"\n' "$work" >"$work/recorder"
  chmod +x "$work/recorder"
  for name in '+!touch x' '-rf'; do
    rm -f "$work/argv"
    (cd "$work" && VISUAL=$work/recorder limited 20 script -qec "'$notepad' '$name'" /dev/null \
      </dev/null >/dev/null 2>&1)
    check "notepad passes \"$name\" to the editor after --" \
      [ "$(cat "$work/argv" 2>/dev/null)" = "$(printf -- '--\n%s' "$name")" ]
  done
  if command -v vim >/dev/null 2>&1; then
    # The real vi: the keys file quits once the file is open.
    printf ':qa!\n' >"$work/quit.keys"
    (cd "$work" && touch '+!touch x' &&
      VISUAL="vim -N -u NONE -i NONE -n -s $work/quit.keys" limited 20 \
        script -qec "'$notepad' '+!touch x'" /dev/null </dev/null >/dev/null 2>&1)
    check "vim opens a file named \"+!touch x\" without running the command" [ ! -e "$work/x" ]
  else
    skip "vim opens a file named like a command" "vim is not installed"
  fi
else
  skip "notepad starts the editor at a terminal" "script(1) is not available"
fi

# ---------------------------------------------------------------------------------------------
# wgnuplot without gnuplot

mkdir "$work/nognuplot"
echo "plot x" >"$work/nognuplot/plot.gnu"
(cd "$work/nognuplot" && PATH=$work/empty-path limited 10 /bin/sh "$wgnuplot" plot.gnu \
  </dev/null >"$work/nognuplot/out" 2>"$work/nognuplot/err")
status=$?
check "wgnuplot without gnuplot on PATH exits non-zero without hanging" \
  sh -c "[ $status -ne 0 ] && [ $status -ne 124 ]"
check "wgnuplot without gnuplot says so in one line on the error output" \
  sh -c "[ \$(wc -l <'$work/nognuplot/err') = 1 ] && grep -q gnuplot '$work/nognuplot/err'"
check "wgnuplot without gnuplot writes no PNG" [ ! -e "$work/nognuplot/plot.png" ]

# ---------------------------------------------------------------------------------------------
# wgnuplot with gnuplot

if ! command -v gnuplot >/dev/null 2>&1; then
  skip "wgnuplot writes PNG files" "gnuplot is not installed"
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" = 0 ] || exit 1
  exit 77
fi

# A small script completed the way the program completes it: the prepared lines, then the
# title and a replot, with carriage returns as the program writes them.
mkdir "$work/run"
printf '# x  y\r\n 1.0  1.0\r\n 2.0  4.0\r\n\r\n 3.0  9.0\r\n 4.0  16.0\r\n' >"$work/run/data.dat"
printf '# header only\r\n' >"$work/run/empty.dat"
cat >"$work/run/Kestrovanilque_test.gnu" <<'EOF'
set xlabel 'log10(h)' noenhanced; set ylabel 'order' noenhanced; set title noenhanced
set key outside right top
plot 'data.dat' using 1:2 with linespoints title 'data', 'empty.dat' using 1:2 title 'empty'
EOF
printf "set title 'Test of the adapters (16/12/2026)'\r\nreplot\r\n" >>"$work/run/Kestrovanilque_test.gnu"

(cd "$work/run" && PATH="$PATH:$here" limited 60 /bin/sh -c "wgnuplot Kestrovanilque_test.gnu" \
  </dev/null >"$work/run/out" 2>"$work/run/err")
status=$?
check "wgnuplot through /bin/sh -c exits 0" [ "$status" = 0 ]
check "wgnuplot writes one valid, non-trivial PNG named after the script" \
  is_png "$work/run/Kestrovanilque_test.png" 5000
check "wgnuplot prints nothing when gnuplot succeeds" [ ! -s "$work/run/err" ]

# The PNG goes beside the script, whatever the working directory.
mkdir "$work/elsewhere" "$work/scripts"
printf "plot x**2 title 'square'\r\nset title 'Elsewhere'\r\nreplot\r\n" >"$work/scripts/square.gnu"
(cd "$work/elsewhere" && limited 60 "$wgnuplot" "$work/scripts/square.gnu" </dev/null \
  >/dev/null 2>&1)
check "wgnuplot writes the PNG beside the script, not in the working directory" \
  sh -c "[ -z \"\$(ls '$work/elsewhere')\" ] && [ -f '$work/scripts/square.png' ]"

# A script name holding a blank and an apostrophe.
cp "$work/run/Kestrovanilque_test.gnu" "$work/run/it's a plot.gnu"
(cd "$work/run" && limited 60 "$wgnuplot" "it's a plot.gnu" </dev/null >/dev/null 2>&1)
check "wgnuplot copes with a blank and an apostrophe in the script name" \
  is_png "$work/run/it's a plot.png" 5000

# A script name that gnuplot would take for an option (gnuplot has no "--").
cp "$work/run/Kestrovanilque_test.gnu" "$work/run/-p.gnu"
(cd "$work/run" && limited 60 "$wgnuplot" -p.gnu </dev/null >/dev/null 2>&1)
check "wgnuplot runs a script whose name starts with -" is_png "$work/run/-p.png" 5000

# A script whose plot fails: non-zero status, gnuplot's message shown, no stale PNG left.
printf 'plot x/0\r\nreplot\r\n' >"$work/run/Kestrovanilque_test.gnu"
(cd "$work/run" && limited 60 "$wgnuplot" Kestrovanilque_test.gnu </dev/null >/dev/null \
  2>"$work/run/err")
status=$?
check "wgnuplot exits non-zero when gnuplot fails" sh -c "[ $status -ne 0 ] && [ $status -ne 124 ]"
check "wgnuplot shows gnuplot's error when gnuplot fails" [ -s "$work/run/err" ]
check "wgnuplot leaves no PNG of an earlier run when the plot fails" \
  [ ! -e "$work/run/Kestrovanilque_test.png" ]

# A display, but a gnuplot without a window terminal: the plot still goes to the PNG.
terminals=$(gnuplot -e 'print GPVAL_TERMINALS' 2>&1 </dev/null)
case " $terminals " in
  *" qt "* | *" wxt "* | *" x11 "*)
    skip "wgnuplot falls back to a PNG when gnuplot has no window terminal" \
      "this gnuplot has a window terminal"
    ;;
  *)
    cp "$work/run/it's a plot.gnu" "$work/run/display.gnu"
    (cd "$work/run" && DISPLAY=:99 limited 60 "$wgnuplot" display.gnu </dev/null >/dev/null 2>&1)
    check "wgnuplot falls back to a PNG when gnuplot has no window terminal" \
      is_png "$work/run/display.png" 5000
    ;;
esac

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
