#!/usr/bin/env bash
# usage: run_fuzz.sh FUZZER SEED_DIR CORPUS_DIR SECONDS FLOOR ARTIFACT_PREFIX
# Runs a libFuzzer target for SECONDS, starting from the committed seeds
# (read only) and the corpus it keeps in the build tree. It says how many
# inputs it ran, and fails below FLOOR: a target that tried that little has
# tested nothing worth the name.
set -uo pipefail
fuzzer=$1 seeds=$2 corpus=$3 seconds=$4 floor=$5 prefix=$6
name=${fuzzer##*/}
compgen -G "$seeds/*" >/dev/null || { echo "FAIL: $name: no seed inputs in $seeds"; exit 1; }
mkdir -p "$corpus"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$prefix" \
    "$corpus" "$seeds" >"$log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)$/\1/p' "$log" | tail -n1)
if ((status != 0)) || [[ -z $runs ]] || ((runs < floor)); then
    tail -n 60 "$log"
    echo "FAIL: $name: status $status, ${runs:-no count of} inputs run (at least $floor wanted)"
    exit 1
fi
echo "$name: $runs inputs run in $seconds s, from $(find "$seeds" -type f | wc -l) seeds" \
    "and $(find "$corpus" -type f | wc -l) inputs in the corpus"
