#!/usr/bin/env bash
# The inspection on a 10,000,000-line databac.txt (records of 100 values, and
# of 1 value, the most records a file of that length can hold): index time and
# peak RSS beside the backup list's opening of the same file, the cost of one
# appended record, the Control column judged over the file, --stats over the
# file, and the statistics and the judging of one record.
#   bench/inspect_bench.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
bench=$build/bench/inspect_bench
file=$(mktemp /tmp/tolvane-inspect-XXXXXX.txt)
trap 'rm -f "$file"' EXIT
for values in 100 1; do
    "$bench" make "$file" 10000000 "$values"
    echo "== 10,000,000 lines, $values value(s) a record, $(du -m "$file" | cut -f1) MB"
    cat "$file" >/dev/null  # the same start for both: the file in the page cache
    "$bench" open "$file" backup
    "$bench" open "$file" follower
    "$bench" judge "$file"
    start=$(date +%s.%N)
    "$build/tolvane" --stats "$file" >/dev/null
    echo "--stats  $(echo "$(date +%s.%N) - $start" | bc) s"
done
"$bench" append "$file"
"$bench" --benchmark_min_time=0.2
