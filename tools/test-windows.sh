#!/bin/sh
# Builds kestrovanilque.exe for 64-bit Windows with mingw-w64 and tests it under wine:
#
#   1. installs what is missing (mingw-w64, wine, the GoogleTest sources);
#   2. builds the Linux program (build/release) and the Windows one (build/windows);
#   3. runs the launcher's, the field engine's and the study's Windows unit tests under wine,
#      and a study of the shipped CSV example and a field study of the trapezoid example against
#      the Linux program's (summary.csv and study.json);
#   4. runs the Windows program, as a user would, in a temporary copy of every golden case and
#      checks that it writes the same files as the Linux program, byte for byte (CR LF and
#      Latin-1 included), the run's date and time aside;
#   5. exercises the launcher through the real Windows path: the system's cmd.exe, a recording
#      COMSPEC, a COMSPEC too long to use, a command too long to start.
#
# Usage: tools/test-windows.sh [CASE_FOLDER...]
#   Without arguments every folder under tests/golden/cases (and tests/reference/cases, when
#   present) that holds a Kestrovanilque.in is used.
# Environment: JOBS (parallel build jobs), KV_KEEP=1 keeps the temporary folder,
# KV_LINUX_BUILD the Linux build folder to compare with (default build/release).
# Wine runs headless (DISPLAY unset) in its own prefix, build/wineprefix.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
release=$root/${KV_LINUX_BUILD:-build/release}
windows=$root/build/windows
mkdir -p "$root/build"

now() { date +%s; }
# Runs a command with its output in build/test-windows.log, shown only when it fails.
quiet() {
  if ! "$@" >"$root/build/test-windows.log" 2>&1; then
    cat "$root/build/test-windows.log" >&2
    echo "test-windows: failed: $*" >&2
    exit 1
  fi
}
started=$(now)
timings=""
mark() {  # mark LABEL SINCE: records how long a phase took
  timings="$timings$(printf '  %-46s %4d s' "$1" $(($(now) - $2)))
"
}

# --- 1. What the build and the tests need -------------------------------------------------
t=$(now)
tools/ensure-deps.sh g++ cmake make libgtest-dev googletest g++-mingw-w64-x86-64 wine wine64
mark "install (missing packages)" "$t"

# --- 2. Builds --------------------------------------------------------------------------------
t=$(now)
if [ ! -f "$release/CMakeCache.txt" ]; then
  quiet cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release
fi
quiet cmake --build "$release" -j "$jobs" --target kestrovanilque
mark "Linux build (kestrovanilque)" "$t"

t=$(now)
# Warnings are errors here: the code is -Wall -Wextra -Wpedantic clean with both compilers.
quiet cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
quiet cmake --build "$windows" -j "$jobs" --target kestrovanilque launch_tests log_command \
  launch_once study_tests field_tests cluster_tests
mark "Windows cross-build (mingw-w64)" "$t"

for exe in kestrovanilque launch_tests log_command launch_once; do
  if x86_64-w64-mingw32-objdump -p "$windows/$exe.exe" | grep 'DLL Name' |
      grep -Eiv 'DLL Name: (kernel32|msvcrt|user32|advapi32|shell32)\.dll' >/dev/null; then
    echo "test-windows: $exe.exe needs a DLL that a bare Windows does not have:" >&2
    x86_64-w64-mingw32-objdump -p "$windows/$exe.exe" | grep 'DLL Name' >&2
    exit 1
  fi
done

# --- Wine, headless, in a prefix of its own ---------------------------------------------------
unset DISPLAY WAYLAND_DISPLAY
WINEPREFIX=$root/build/wineprefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset COMSPEC KV_LOG_FILE KV_LOG_EXIT KV_LOG_STARTUP KV_LOG_HANDLE WINEPATH

t=$(now)
first_start=""
[ -d "$WINEPREFIX" ] || first_start=" (first start: prefix created)"
wine cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true  # stays up between the many short runs below; stopped at the end
mark "wine start$first_start" "$t"

work=$(mktemp -d "${TMPDIR:-/tmp}/kv_windows.XXXXXX")
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ "${KV_KEEP:-0}" = 1 ]; then
    echo "test-windows: kept $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "ok - $1"
}
fail() {
  failed=$((failed + 1))
  echo "not ok - $1"
}

# --- 3. Windows unit tests: the launcher, and the field engine on std::thread ------------------
t=$(now)
for tests in launch_tests field_tests study_tests cluster_tests; do
  if wine "$windows/$tests.exe" >"$work/$tests.out" 2>&1 &&
      grep -q '^\[  PASSED  \]' "$work/$tests.out" &&
      ! grep -q '^\[  FAILED  \]' "$work/$tests.out"; then
    pass "$tests.exe: $(grep '^\[  PASSED  \]' "$work/$tests.out" | tr -d '\r')"
  else
    cat "$work/$tests.out"
    fail "$tests.exe"
  fi
done
# A study of the shipped CSV example: the same summary.csv and study.json as on Linux.
mkdir "$work/study_linux" "$work/study_windows"
cp examples/study/step_flow.csv "$work/study_linux/"
cp examples/study/step_flow.csv "$work/study_windows/"
(cd "$work/study_linux" && "$release/kestrovanilque" study step_flow.csv --no-plots >/dev/null)
(cd "$work/study_windows" && wine "$windows/kestrovanilque.exe" study step_flow.csv --no-plots \
  >/dev/null 2>&1) || true
if cmp -s "$work/study_linux/step_flow.study/summary.csv" "$work/study_windows/step_flow.study/summary.csv" &&
    cmp -s "$work/study_linux/step_flow.study/study.json" "$work/study_windows/step_flow.study/study.json"; then
  pass "study of examples/study/step_flow.csv: the Linux run's summary.csv and study.json"
else
  diff "$work/study_linux/step_flow.study/summary.csv" "$work/study_windows/step_flow.study/summary.csv" | head -20
  fail "study of examples/study/step_flow.csv"
fi
# A field study (the trapezoid example's grid files, one point per value record) on the
# std::thread pipeline: the same summary.csv and study.json as the Linux program's on oneTBB.
mkdir "$work/field_linux" "$work/field_windows"
cp examples/trapezoid/* "$work/field_linux/"
cp examples/trapezoid/* "$work/field_windows/"
(cd "$work/field_linux" && "$release/kestrovanilque" study trapezoid_case.txt --field --no-plots >/dev/null)
(cd "$work/field_windows" && wine "$windows/kestrovanilque.exe" study trapezoid_case.txt --field \
  --no-plots --threads 2 >/dev/null 2>&1) || true
if cmp -s "$work/field_linux/trapezoid_case.study/summary.csv" "$work/field_windows/trapezoid_case.study/summary.csv" &&
    cmp -s "$work/field_linux/trapezoid_case.study/study.json" "$work/field_windows/trapezoid_case.study/study.json"; then
  pass "field study of examples/trapezoid: the Linux run's summary.csv and study.json"
else
  diff "$work/field_linux/trapezoid_case.study/summary.csv" "$work/field_windows/trapezoid_case.study/summary.csv" | head -20
  fail "field study of examples/trapezoid"
fi
mark "unit tests and studies under wine" "$t"

# --- 4. Golden cases: the Windows program against the Linux one -------------------------------
# The Windows programs are copied out of the tree, as a user would have them.
mkdir "$work/bin"
cp "$windows/kestrovanilque.exe" "$windows/log_command.exe" "$windows/launch_once.exe" "$work/bin/"
exe_w=$(winepath -w "$work/bin/kestrovanilque.exe")
case $exe_w in
  *" "*) echo "test-windows: the temporary folder must have no blank in its path: $exe_w" >&2; exit 1 ;;
esac
recorder_w=$(winepath -w "$work/bin/log_command.exe")

# A recording interpreter for the Linux program: "$COMSPEC -c COMMAND" logs COMMAND.
cat >"$work/bin/record.sh" <<'EOF'
#!/bin/sh
printf '%s\n' "$2" >>"$KV_LINUX_LOG"
EOF
chmod +x "$work/bin/record.sh"

# Runs the Linux program in folder $1; its launches go to $1.launches, its status to $1.status.
run_linux() {
  (cd "$1" && COMSPEC="$work/bin/record.sh" KV_LINUX_LOG="$1.launches" \
    "$release/kestrovanilque" </dev/null >"$1.out" 2>"$1.err"; echo $? >"$1.status") || true
}

# Runs the Windows program in folder $1 under wine, through cmd.exe as a user at a console
# would; $2 is what cmd does first (for example "set COMSPEC=&& " to remove COMSPEC); further
# arguments NAME=VALUE are added to the environment.
run_windows() {
  folder=$1
  before=$2
  shift 2
  (cd "$folder" && env "$@" wine cmd /c "$before$exe_w" </dev/null >"$folder.out" \
    2>"$folder.err"; echo $? >"$folder.status") || true
}

# The file with the run's date and time masked: the listing's "Dia = ... Hora = ..." record and
# the date in the "set title" line of a plot script. Nothing else changes.
masked() {
  case $1 in
    *.gnu)
      LC_ALL=C sed -E "s#^(set title '.*)\\([0-9]{1,2}/[0-9]{1,2}/[0-9]{1,4}\\)'(\\r?)\$#\\1(<date>)'\\2#" "$1"
      ;;
    *)
      LC_ALL=C sed -E 's#^(   Dia = ).{12}(     Hora = ).{8}(\r?)$#\1<date>\2<time>\3#' "$1"
      ;;
  esac
}

# Compares the folders of a Linux run ($1) and a Windows run ($2); says what differs.
same_outputs() {
  status=0
  (cd "$1" && find . -type f | LC_ALL=C sort) >"$work/linux.files"
  (cd "$2" && find . -type f | LC_ALL=C sort) >"$work/windows.files"
  if ! cmp -s "$work/linux.files" "$work/windows.files"; then
    echo "# the two runs left different files (< Linux, > Windows):"
    diff "$work/linux.files" "$work/windows.files" | grep '^[<>]' | sed 's/^/#   /'
    status=1
  fi
  while IFS= read -r file; do
    [ -f "$2/$file" ] || continue
    if cmp -s "$1/$file" "$2/$file"; then continue; fi
    masked "$1/$file" >"$work/linux.masked"
    masked "$2/$file" >"$work/windows.masked"
    if ! cmp -s "$work/linux.masked" "$work/windows.masked"; then
      echo "# $file differs (< Linux, > Windows; first differences):"
      diff "$work/linux.masked" "$work/windows.masked" | head -n 12 | LC_ALL=C tr -d '\r' |
        sed 's/^/#   /'
      status=1
    fi
  done <"$work/linux.files"
  if [ "$(cat "$1.status")" != "$(cat "$2.status")" ]; then
    echo "# exit status: Linux $(cat "$1.status"), Windows $(cat "$2.status")"
    status=1
  fi
  # The fatal error line, if any, is the same (the Windows console ends it with CR LF).
  grep -a '^kestrovanilque:' "$1.err" >"$work/linux.fatal" || true
  LC_ALL=C tr -d '\r' <"$2.err" | grep -a '^kestrovanilque:' >"$work/windows.fatal" || true
  if ! cmp -s "$work/linux.fatal" "$work/windows.fatal"; then
    echo "# fatal error line: Linux '$(cat "$work/linux.fatal")', Windows '$(cat "$work/windows.fatal")'"
    status=1
  fi
  return $status
}

if [ $# -gt 0 ]; then
  cases=$*
else
  cases=""
  for folder in tests/golden/cases/*/ tests/reference/cases/*/; do
    [ -f "$folder/Kestrovanilque.in" ] && cases="$cases ${folder%/}"
  done
fi
[ -n "$cases" ] || { echo "test-windows: no case folder found" >&2; exit 1; }

t=$(now)
complete_case=""  # a case whose run completes, for the launcher checks below
for case_dir in $cases; do
  name=$(basename "$case_dir")
  mkdir -p "$work/cases/$name"
  linux=$work/cases/$name/linux
  win=$work/cases/$name/windows
  cp -R "$case_dir" "$linux"
  cp -R "$case_dir" "$win"
  run_linux "$linux"
  run_windows "$win" ""
  if same_outputs "$linux" "$win"; then
    pass "$name: the Windows run writes the Linux run's files (exit $(cat "$win.status"))"
  else
    fail "$name: the Windows run differs from the Linux run"
  fi
  if [ -z "$complete_case" ] && [ "$(cat "$linux.status")" = 0 ]; then
    complete_case=$case_dir
  fi
done
mark "golden cases (Linux + Windows runs)" "$t"

# --- 5. The launcher through the real Windows path --------------------------------------------
t=$(now)
# A path of exactly $1 characters that names the recorder: its folder, then ".\" (and one
# doubled separator when the count is odd), then its name.
padded_recorder() {
  path="${recorder_w%\\log_command.exe}\\"
  pad=$(($1 - ${#path} - 15))
  while [ "$pad" -ge 2 ]; do
    path="$path.\\"
    pad=$((pad - 2))
  done
  [ "$pad" = 1 ] && path="$path\\"
  printf '%s' "${path}log_command.exe"
}

if [ -z "$complete_case" ]; then
  fail "launcher: no golden case completes, so the launches of a whole run cannot be checked"
else
  # Each run below is compared with the plain Windows run of the same case (step 4), so that
  # only what the launch changes can differ; the commands expected are those of the Linux run.
  name=$(basename "$complete_case")
  base=$work/launch
  mkdir -p "$base"
  plain=$work/cases/$name/windows
  linux_launches=$work/cases/$name/linux.launches

  # COMSPEC removed: the launcher starts cmd.exe /c COMMAND. The system's cmd.exe finds wine's
  # notepad (which cannot open a window here and fails) and, on the PATH, a recording
  # "wgnuplot"; the run goes on after every launch.
  mkdir "$base/path"
  cp "$work/bin/log_command.exe" "$base/path/wgnuplot.exe"
  cp -R "$complete_case" "$base/no_comspec"
  run_windows "$base/no_comspec" "set COMSPEC=&& " WINEPATH="$(winepath -w "$base/path")" \
    KV_LOG_FILE="$base/no_comspec.log"
  grep '^wgnuplot ' "$linux_launches" >"$work/plots.expected" || true
  if same_outputs "$plain" "$base/no_comspec" &&
      { [ ! -s "$work/plots.expected" ] || cmp -s "$work/plots.expected" "$base/no_comspec.log"; }; then
    pass "launcher, COMSPEC unset: cmd.exe /c ran every command of a $name run ($(wc -l <"$work/plots.expected") through wgnuplot)"
  else
    echo "# plot commands expected:"; sed 's/^/#   /' "$work/plots.expected"
    echo "# plot commands seen:"; sed 's/^/#   /' "$base/no_comspec.log" 2>/dev/null || true
    fail "launcher, COMSPEC unset: $name"
  fi

  # COMSPEC names the recorder, which exits with 3: every command of the run reaches it, in
  # order, as "COMSPEC /c COMMAND"; the status 3 does not stop the run.
  cp -R "$complete_case" "$base/recorded"
  run_windows "$base/recorded" "set COMSPEC=$recorder_w&& " KV_LOG_FILE="$base/recorded.log" \
    KV_LOG_EXIT=3
  sed "s#^#$(printf '%s' "$recorder_w" | sed 's/[\\#&]/\\&/g') /c #" "$linux_launches" \
    >"$work/launches.expected"
  if same_outputs "$plain" "$base/recorded" && [ -s "$work/launches.expected" ] &&
      cmp -s "$work/launches.expected" "$base/recorded.log"; then
    pass "launcher, COMSPEC = recorder exiting with 3: $(wc -l <"$work/launches.expected") commands recorded in order, run complete"
  else
    echo "# commands expected:"; sed 's/^/#   /' "$work/launches.expected"
    echo "# commands recorded:"; sed 's/^/#   /' "$base/recorded.log" 2>/dev/null || true
    fail "launcher, COMSPEC = recorder: $name"
  fi

  # A 261-character COMSPEC: nothing is started, and the run completes all the same.
  long=$(padded_recorder 261)
  cp -R "$complete_case" "$base/long_comspec"
  run_windows "$base/long_comspec" "set COMSPEC=$long&& " KV_LOG_FILE="$base/long_comspec.log"
  if [ ${#long} = 261 ] && same_outputs "$plain" "$base/long_comspec" &&
      [ ! -e "$base/long_comspec.log" ]; then
    pass "launcher, 261-character COMSPEC: nothing started, run complete"
  else
    fail "launcher, 261-character COMSPEC"
  fi
fi

# One launch at a time through the launcher itself (launch_once.exe), with its result and the
# last error it leaves: the program's own error codes are combined with 0x2fff0000.
launch_once() {
  KV_LOG_FILE="$work/once.log" wine "$work/bin/launch_once.exe" "$@" 2>/dev/null |
    LC_ALL=C tr -d '\r' | grep '^result=' || true
}
expect_once() {  # expect_once DESCRIPTION EXPECTED ARGS...
  description=$1
  expected=$2
  shift 2
  rm -f "$work/once.log"
  got=$(launch_once "$@")
  if [ "$got" = "$expected" ]; then
    pass "launcher, $description: $got"
  else
    fail "launcher, $description: expected '$expected', got '$got'"
  fi
}
expect_once "COMSPEC unset, cmd.exe /c exit 3" "result=3 error=0x00000000" --no-comspec "exit 3"
long_command="notepad $(printf '%01017d' 0)"  # 1025 characters
expect_once "1025-character command" "result=-1 error=0x2fff0007" --no-comspec "$long_command"
[ ! -e "$work/once.log" ] || fail "launcher, 1025-character command: something was started"
expect_once "1024-character command in a 1100-character field" "result=0 error=0x00000000" \
  --comspec "$recorder_w" --field 1100 "${long_command%0}"
if [ "$(cat "$work/once.log" 2>/dev/null)" = "$recorder_w /c ${long_command%0}" ]; then
  pass "launcher, 1024-character command: passed whole, without the trailing blanks"
else
  fail "launcher, 1024-character command: the recorder saw '$(cat "$work/once.log" 2>/dev/null)'"
fi
expect_once "260-character COMSPEC" "result=0 error=0x00000000" \
  --comspec "$(padded_recorder 260)" "notepad x"
expect_once "261-character COMSPEC" "result=-1 error=0x2fff0002" \
  --comspec "$(padded_recorder 261)" "notepad x"
[ ! -e "$work/once.log" ] || fail "launcher, 261-character COMSPEC: something was started"
expect_once "missing interpreter" "result=-1 error=0x2fff0002" \
  --comspec "$(winepath -w "$work")\\no_such_program.exe" "notepad x"
printf 'not a program\r\n' >"$work/bin/text.exe"
expect_once "invalid program" "result=-1 error=0x2fff0008" \
  --comspec "$(winepath -w "$work/bin/text.exe")" "notepad x"
mark "launcher checks" "$t"

# --- Summary ----------------------------------------------------------------------------------
mark "total" "$started"
echo "timings:"
printf '%s' "$timings"
echo "test-windows: $passed passed, $failed failed"
[ "$failed" = 0 ]
