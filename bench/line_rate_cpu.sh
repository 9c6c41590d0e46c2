#!/usr/bin/env bash
# CPU the program takes while blocks of 100 values come back to back at
# 9600 baud (the line never idle), on a display of its own with openbox:
# once from a sender that hands on each byte alone (a UART), once from one
# that hands them on 64 at a time (a USB adapter).
#
# usage: bench/line_rate_cpu.sh [BUILD_DIR [SECONDS]]   (default: build 60)
# Prints, for each sender, the program's CPU time (user + system, from
# /proc/PID/stat) over SECONDS as a share of one core, and the machine's
# load. Needs Xvfb, openbox and xdotool.
set -uo pipefail
build=$(realpath "${1:-build}") seconds=${2:-60}
work=$(mktemp -d /tmp/tolvane-cpu.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until [[ -s $work/display ]]; do sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" HOME="$work" XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=xcb TOLVANE_UNO_PIPE="tolvane-cpu-$$"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1 # openbox manages the display before the first window maps

# measure NAME SIMULATOR-OPTIONS...
measure() {
    local name=$1 run="$work/$1"
    shift
    mkdir -p "$run/cwd"
    export TOLVANE_COM1="$run/com1"
    "$build/kld350-sim" --link "$run/com1" --every 0.21 --random 100 --seed 1 --quiet "$@" \
        >/dev/null 2>&1 &
    local sim=$!
    pids+=($sim)
    until [[ -L $run/com1 ]]; do sleep 0.1; done
    (cd "$run/cwd" && exec "$build/tolvane") >/dev/null 2>&1 &
    local app=$!
    pids+=($app)
    for _ in $(seq 100); do # OK in the title window until the main window is up
        [[ -n $(xdotool search --all --onlyvisible --pid $app --name '^KLD' 2>/dev/null) ]] && break
        local w
        w=$(xdotool search --all --onlyvisible --pid $app 2>/dev/null | head -n1)
        [[ -n $w ]] && xdotool windowactivate --sync "$w" key Return 2>/dev/null
        sleep 0.3
    done
    sleep 3
    ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
    # Each thread's ticks, by name (the field after the parenthesised name).
    threads() {
        for t in /proc/$app/task/*; do
            printf '%s %s\n' "$(tr ' ' _ <"$t/comm")" "$(sed 's/.*) //' "$t/stat" | awk '{ print $12 + $13 }')"
        done | sort
    }
    local c0 t0 c1 t1
    threads >"$run/threads0"
    c0=$(ticks) t0=$(date +%s.%N)
    sleep "$seconds"
    c1=$(ticks) t1=$(date +%s.%N)
    threads >"$run/threads1"
    awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" \
        -v r="$(grep -c '^#' "$run/cwd/databac.txt")" -v name="$name" \
        'BEGIN { printf "%-14s CPU %.2f %% of a core over %.0f s at line rate (%d blocks recorded)\n",
                 name, 100 * (c1 - c0) / hz / (t1 - t0), t1 - t0, r }'
    # The threads that took at least a tick, busiest first.
    join "$run/threads0" "$run/threads1" | awk -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
        '$3 > $2 { printf "    thread %-16s %.2f %%\n", $1, 100 * ($3 - $2) / hz / s }' | sort -k3 -rn
    kill "$app" "$sim" 2>/dev/null
    wait "$app" "$sim" 2>/dev/null
}

measure byte-by-byte
measure 64-byte-bursts --chunk 64
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
