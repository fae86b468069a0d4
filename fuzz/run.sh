#!/bin/sh
# Runs every fuzz target (a folder of fuzz/corpus/) for SECONDS seconds, one after the other,
# at the lowest priority and on one core: first its regression inputs (fuzz/regressions/NAME/,
# each run once), then the fuzzer from its seed corpus. New inputs go to the build folder, never
# into the source tree. Prints per target the executions and the findings (inputs that crashed,
# leaked, hung or failed a check; kept in BUILD/artifacts/NAME/). Exits 1 on any finding.
# With FUZZ_RUNS set, a target also stops after that many executions.
#   fuzz/run.sh BUILD SECONDS [NAME...]
set -u
build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
  set -- $(cd "$source_dir/corpus" && ls)
fi
status=0
summary=""
for name in "$@"; do
  target=$build/fuzz/$name
  work=$build/work/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$artifacts" "$build/logs"
  regressions=0
  findings=0
  if [ -d "$source_dir/regressions/$name" ] && [ -n "$(ls "$source_dir/regressions/$name")" ]; then
    regressions=$(ls "$source_dir/regressions/$name" | wc -l)
    if ! nice -n 19 "$target" -runs=1 "$source_dir/regressions/$name"/* >"$log.regressions" 2>&1; then
      echo "fuzz: $name: a regression input fails again, see $log.regressions"
      findings=1
    fi
  fi
  before=$(ls "$artifacts" | wc -l)
  nice -n 19 "$target" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs=$FUZZ_RUNS} -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "$source_dir/corpus/$name" >"$log" 2>&1
  after=$(ls "$artifacts" | wc -l)
  findings=$((findings + after - before))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  line=$(printf '%-10s %12s executions %8s/s  %d regression inputs  %d findings' \
    "$name" "${executions:-?}" "${rate:-?}" "$regressions" "$findings")
  echo "fuzz: $line"
  summary="$summary$line
"
  [ "$findings" -eq 0 ] && [ -n "$executions" ] || status=1
done
printf '\nfuzz summary (%s s per target):\n%s' "$seconds" "$summary"
exit $status
