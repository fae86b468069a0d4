#!/bin/sh
# Folder-level include arrows between the layers of src/ (test files excluded): prints each arrow
# with its number of includes, marks with UP those that point to a higher layer or sideways, and
# ends with the files and lines of each layer. Exits 1 when an arrow points up.
#   tools/layer-arrows.sh [SRC_DIR]
src=${1:-$(dirname "$0")/../src}
cd "$src" || exit 2
# The layers from the bottom; folders on one line are beside each other and may not include
# each other.
layers=${KV_LAYERS:-"base
io
text launch
model
estimation field mesh
listing plots cases
study
report
cluster
drivers
app
command"}
rank_of() {
  echo "$layers" | awk -v d="$1" '{ for (i = 1; i <= NF; i++) if ($i == d) print NR }'
}
status=0
arrows=$(for f in */*.h */*.cpp; do
  case $f in *_test.cpp|*/test_support.h|*/report_test_support.h|*/test_run.h) continue ;; esac
  from=${f%%/*}
  sed -n 's/^#include "\([a-z_]*\)\/.*"/\1/p' "$f" | while read -r to; do
    [ "$to" != "$from" ] && echo "$from $to"
  done
done | sort | uniq -c)
report=$(echo "$arrows" | while read -r count from to; do
  [ -z "$from" ] && continue
  rf=$(rank_of "$from"); rt=$(rank_of "$to")
  mark=""
  if [ -z "$rf" ] || [ -z "$rt" ] || [ "$rt" -ge "$rf" ]; then mark=" UP"; fi
  echo "$from -> $to ($count)$mark"
done)
echo "$report"
up=$(echo "$report" | grep -c ' UP$')
total=$(echo "$report" | grep -c .)
echo "arrows: $total, pointing up: $up"
for d in $(echo "$layers"); do
  [ -d "$d" ] || continue
  code=$(ls "$d" | grep -v '_test\.cpp$' | grep -v 'test_support\.h$\|test_run\.h$' | sed "s|^|$d/|")
  tests=$(ls "$d" | grep '_test\.cpp$\|test_support\.h$\|test_run\.h$' | sed "s|^|$d/|")
  printf '%-11s %2d files %5d lines; tests %2d files %5d lines\n' "$d" \
    "$(echo "$code" | grep -c .)" "$(cat $code /dev/null | wc -l)" \
    "$(echo "$tests" | grep -c .)" "$(cat $tests /dev/null | wc -l)"
done
[ "$up" -eq 0 ] || status=1
exit $status
