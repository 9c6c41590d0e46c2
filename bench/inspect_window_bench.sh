#!/usr/bin/env bash
# The Inspection window's start on a large databac.txt (until its newest
# record shows), its peak memory and its charts' redraw, on a display of its
# own (Xvfb with openbox); to be set beside the polling window's start on the
# same file (bench/startup_bench.sh BUILD_DIR LINES, which makes the file).
#
# usage: bench/inspect_window_bench.sh [BUILD_DIR [FILE...]]
#          FILE default BUILD_DIR/bench/databac-10000000.txt
#        RUNS=10 bench/inspect_window_bench.sh      (runs per file, default 5)
set -uo pipefail

build=$(realpath "${1:-build}")
shift $(($# > 0 ? 1 : 0))
files=("$@")
((${#files[@]})) || files=("$build/bench/databac-10000000.txt")
runs=${RUNS:-5}
probe=$build/bench/inspect_probe
[[ -x "$probe" ]] || { echo "inspect_window_bench: $probe is missing; build it first" >&2; exit 1; }
for f in "${files[@]}"; do
    [[ -s "$f" ]] || { echo "inspect_window_bench: $f is missing (bench/startup_bench.sh makes it)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tolvane-inspect-bench.XXXXXX)
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
xvfb_pid='' wm_pid=''
cleanup() {
    local pid
    for pid in $wm_pid $xvfb_pid; do kill "$pid" 2>/dev/null; done
    for pid in $wm_pid $xvfb_pid; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
wait_for() { # SECONDS WHAT COMMAND...
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@"; do
        ((SECONDS < deadline)) || { echo "inspect_window_bench: $what did not happen" >&2; exit 1; }
        sleep 0.1
    done
}
Xvfb -displayfd 3 -screen 0 1280x960x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 "Xvfb's start" test -s "$work/display"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY SESSION_MANAGER
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 10 "openbox's start" wm_running

echo "Inspection window, $runs runs per file: newest record shown (ms from process start)," \
    "peak RSS (MB), both charts redrawn for another record (ms, median / max of 40)"
for f in "${files[@]}"; do
    cat "$f" >/dev/null # warm, as startup_bench.sh's runs are
    for ((i = 1; i <= runs; i++)); do
        out=$("$probe" "$f") || exit 1
        echo "$out" >>"$work/$i"
        read -r ms kb median max <<<"$out"
        printf '  %s run %d: %s ms, %s MB, redraw %s / %s ms\n' "${f##*/}" "$i" "$ms" \
            "$((kb / 1024))" "$median" "$max"
    done
done
