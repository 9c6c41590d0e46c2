#!/usr/bin/env bash
# CPU the program takes while blocks of 100 values come back to back at
# 9600 baud (the line never idle), on a display of its own with openbox.
#
# usage: bench/line_rate_cpu.sh [BUILD_DIR [SECONDS]]   (default: build 60)
# Prints the program's CPU time over SECONDS as a share of one core, and the
# machine's load. Needs Xvfb, openbox and xdotool.
set -uo pipefail
build=$(realpath "${1:-build}") seconds=${2:-60}
work=$(mktemp -d /tmp/tolvane-cpu.XXXXXX)
mkdir -p "$work/cwd"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until [[ -s $work/display ]]; do sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" HOME="$work" XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=xcb TOLVANE_UNO_PIPE="tolvane-cpu-$$" TOLVANE_COM1="$work/com1"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
"$build/kld350-sim" --link "$work/com1" --every 0.21 --random 100 --seed 1 --quiet \
    >/dev/null 2>&1 &
pids+=($!)
until [[ -L $work/com1 ]]; do sleep 0.1; done
(cd "$work/cwd" && exec "$build/tolvane") >/dev/null 2>&1 &
app=$!
pids+=($app)
for _ in $(seq 100); do # OK in the title window until the main window is up
    [[ -n $(xdotool search --all --onlyvisible --pid $app --name '^KLD' 2>/dev/null) ]] && break
    w=$(xdotool search --all --onlyvisible --pid $app 2>/dev/null | head -n1)
    [[ -n $w ]] && xdotool windowactivate --sync "$w" key Return 2>/dev/null
    sleep 0.3
done
sleep 3
ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
c0=$(ticks) t0=$(date +%s.%N)
sleep "$seconds"
c1=$(ticks) t1=$(date +%s.%N)
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" \
    -v r="$(grep -c '^#' "$work/cwd/databac.txt")" \
    'BEGIN { printf "CPU %.2f %% of a core over %.0f s at line rate (%d blocks recorded)\n",
             100 * (c1 - c0) / hz / (t1 - t0), t1 - t0, r }'
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
