#!/usr/bin/env bash
# Start-up of the real program up to its shown main window, on a display of
# its own (Xvfb with openbox): with an empty working directory, and with a
# databac.txt of 1,000,000 lines, which the main window reads into its list.
#
# usage: bench/startup_bench.sh [BUILD_DIR]      (default: build)
#        RUNS=10 bench/startup_bench.sh           (runs per case, default 5)
# Needs BUILD_DIR/tolvane, BUILD_DIR/kld350-sim and BUILD_DIR/bench/startup_probe
# (cmake --build build --target startup_bench builds them and runs this), and
# Xvfb, openbox and xdotool. Prints a table of medians and maxima.
set -uo pipefail

build=$(realpath "${1:-build}")
runs=${RUNS:-5}
lines=1000000
tolvane=$build/tolvane sim=$build/kld350-sim probe=$build/bench/startup_probe
for f in "$tolvane" "$sim" "$probe"; do
    [[ -x "$f" ]] || { echo "startup_bench: $f is missing; build it first" >&2; exit 1; }
done
for tool in Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null ||
        { echo "startup_bench: $tool is missing (Debian: xvfb openbox xdotool x11-utils)" >&2; exit 1; }
done

# A backup file as years of use leave it: records of a time stamp, a
# description and 80 to 100 values of three digits each; made once, kept.
big=$build/bench/databac-1M.txt
if [[ ! -s "$big" || $(wc -l <"$big") -ne $lines ]]; then
    echo "making $big ..."
    awk -v lines=$lines 'BEGIN {
        srand(350)
        ORS = "\r\n"
        print "\"Backup Data\""
        n = 1; t = 1704103200   # 2024-01-01 10:00:00 UTC
        while (n < lines) {
            t += 60 + int(rand() * 3600)
            print strftime("#%Y-%m-%d %H:%M:%S#", t); n++
            if (n < lines) { print "\"sample " int(rand() * 10000) " line " int(rand() * 8) + 1 "\""; n++ }
            count = 80 + 5 * int(rand() * 5)
            for (i = 0; i < count && n < lines; i++) {
                m = 100 + int(rand() * 900)          # three digits
                e = int(rand() * 6) - 2              # 0.0100 .. 99900
                if (e >= 2) v = sprintf("%d", m * 10 ^ (e - 2))
                else {
                    v = sprintf("%." (2 - e) "f", m * 10 ^ (e - 2))
                    sub(/0+$/, "", v); sub(/\.$/, "", v)
                }
                print v; n++
            }
        }
    }' >"$big.tmp" && mv "$big.tmp" "$big" || exit 1
fi

work=$(mktemp -d /tmp/tolvane-startup.XXXXXX)
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
xvfb_pid='' wm_pid='' sim_pid=''
cleanup() {
    local pid
    for pid in $sim_pid $wm_pid $xvfb_pid; do kill "$pid" 2>/dev/null; done
    for pid in $sim_pid $wm_pid $xvfb_pid; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

wait_for() { # SECONDS WHAT COMMAND...
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@"; do
        ((SECONDS < deadline)) || { echo "startup_bench: $what did not happen" >&2; exit 1; }
        sleep 0.1
    done
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 "Xvfb's start" test -s "$work/display"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
export TOLVANE_UNO_PIPE="tolvane-startup-$$"
unset WAYLAND_DISPLAY SESSION_MANAGER
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 10 "openbox's start" wm_running

# Port 1 opens (a port that does not would stop the start-up at a message)
# and stays silent.
"$sim" --link "$work/kld350" --every 1000000 --delay 1000000 --quiet >/dev/null &
sim_pid=$!
wait_for 10 "the simulator's start" test -L "$work/kld350"
export TOLVANE_COM1=$work/kld350

# One case: RUNS starts in fresh working directories; one line per run.
measure() { # NAME [FILE to use as databac.txt]
    local name=$1 file=${2:-} i cwd out
    for ((i = 1; i <= runs; i++)); do
        cwd=$(mktemp -d "$work/cwd.XXXXXX")
        [[ -n "$file" ]] && cp "$file" "$cwd/databac.txt"
        sync
        out=$("$probe" "$tolvane" "$cwd") || exit 1
        echo "$name $out" >>"$work/results"
        echo "  $name run $i: $out (title ms, OK-to-main ms, VmHWM kB)" >&2
        rm -rf "$cwd"
    done
}
: >"$work/results"
measure empty
measure 1M-lines "$big"

# Median (the middle one; the upper middle for an even count) and maximum.
stats() { # CASE FIELD(2 title, 3 ok, 4 hwm, 5 total)
    awk -v c="$1" -v f="$2" '$1 == c { $5 = $2 + $3; print $f }' "$work/results" | sort -g |
        awk '{ v[NR] = $1 } END { printf "%.0f / %.0f", v[int(NR / 2) + 1], v[NR] }'
}
mb_stats() {
    awk -v c="$1" '$1 == c { print $4 / 1024 }' "$work/results" | sort -g |
        awk '{ v[NR] = $1 } END { printf "%.0f / %.0f", v[int(NR / 2) + 1], v[NR] }'
}
echo
echo "tolvane start-up, $runs runs per case, median / max"
printf '%-22s %18s %18s %18s %18s\n' "working directory" "start-to-title ms" "OK-to-main ms" "total ms" "peak RSS MB"
for c in empty 1M-lines; do
    label=$c
    [[ $c == 1M-lines ]] && label="databac.txt 1M lines"
    printf '%-22s %18s %18s %18s %18s\n' "$label" "$(stats "$c" 2)" "$(stats "$c" 3)" \
        "$(stats "$c" 5)" "$(mb_stats "$c")"
done
echo "goal with 1M lines: total ≤ 1000 ms, peak RSS ≤ 150 MB"
echo "(total = start-to-title + OK-to-main; OK-to-main includes xdotool's own few ms)"
