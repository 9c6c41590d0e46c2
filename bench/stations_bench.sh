#!/usr/bin/env bash
# One 10,000,000-line databac.txt against ten stations of 1,000,000 lines
# each, opened as one list: time and peak RSS, each from the page cache; then
# how soon a record appended to one of the ten shows in the window.
#   bench/stations_bench.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
bench=$build/bench/stations_bench
dir=$(mktemp -d /tmp/tolvane-stations-XXXXXX)
trap 'rm -rf "$dir"' EXIT
"$bench" make "$dir/one.txt" 10000000 0
files=()
for k in 0 1 2 3 4 5 6 7 8 9; do
    mkdir -p "$dir/s$k"
    "$bench" make "$dir/s$k/databac.txt" 1000000 "$k"
    files+=("$dir/s$k/databac.txt")
done
cat "$dir/one.txt" "${files[@]}" >/dev/null
# Alternating, ten runs each: on a shared machine one run says little.
for run in 1 2 3 4 5 6 7 8 9 10; do
    "$bench" open "$dir/one.txt"
    "$bench" open "${files[@]}"
done | tee "$dir/runs" | sed 's/(CPU //' |
    awk '{ k = $1; t = $7; if (!(k in m) || t < m[k]) m[k] = t; s[k] += t; ++n[k] }
         END { printf "CPU time, least and mean of %d runs: 1 file %.3f s / %.3f s, 10 files %.3f s / %.3f s; ratio %.2f / %.2f\n",
                      n[1], m[1], s[1] / n[1], m[10], s[10] / n[10], m[10] / m[1], s[10] / s[1] }' 
# A record appended to each of the ten in turn, until the window (offscreen)
# lists it as the newest.
probe=$build/bench/inspect_probe
if [[ -x "$probe" ]]; then
    mkdir -p "$dir/home" && chmod 700 "$dir/home"
    HOME=$dir/home XDG_RUNTIME_DIR=$dir/home QT_QPA_PLATFORM=offscreen "$probe" --append "${files[@]}" 2>/dev/null |
        awk '{ printf "a record appended to one of ten files shows in the window: median %s ms, at most %s ms (%s appends)\n", $2, $3, $1 }'
else
    echo "stations_bench: $probe is missing; build it for the append figure" >&2
fi
