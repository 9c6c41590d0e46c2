#!/usr/bin/env bash
# Start-up of the real program up to its shown main window, on a display of
# its own (Xvfb with openbox): with an empty working directory, and with a
# databac.txt of each given number of lines, which the main window lists.
#
# usage: bench/startup_bench.sh [BUILD_DIR [LINES...]]
#          BUILD_DIR default build; LINES default 1000000 10000000 100000000
#        bench/startup_bench.sh build 1000000
#        RUNS=10 bench/startup_bench.sh           (runs per case, default 5)
# Needs BUILD_DIR/tolvane, BUILD_DIR/kld350-sim and BUILD_DIR/bench/startup_probe
# (cmake --build build --target startup_bench builds them and runs this), and
# Xvfb, openbox and xdotool. Prints a table of medians and maxima, each case's
# ratio to the empty one, the time to read each file once (cat, after a
# warm-up: the floor) and the machine's load.
set -uo pipefail

build=$(realpath "${1:-build}")
shift $(($# > 0 ? 1 : 0))
sizes=("$@")
((${#sizes[@]})) || sizes=(1000000 10000000 100000000)
runs=${RUNS:-5}
tolvane=$build/tolvane sim=$build/kld350-sim probe=$build/bench/startup_probe
for f in "$tolvane" "$sim" "$probe"; do
    [[ -x "$f" ]] || { echo "startup_bench: $f is missing; build it first" >&2; exit 1; }
done
for tool in Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null ||
        { echo "startup_bench: $tool is missing (Debian: xvfb openbox xdotool x11-utils)" >&2; exit 1; }
done
for lines in "${sizes[@]}"; do
    [[ $lines =~ ^[1-9][0-9]*$ ]] || { echo "startup_bench: $lines is no line count" >&2; exit 2; }
done

# A backup file as years of use leave it: records of a time stamp, a
# description and 80 to 100 values of three digits each; made once per line
# count, kept in BUILD_DIR/bench (100,000,000 lines: 660 MB, a few minutes).
backup_file() { # LINES -> path
    local lines=$1 file=$build/bench/databac-$1.txt
    if [[ ! -s "$file" || $(wc -l <"$file") -ne $lines ]]; then
        echo "making $file ..." >&2
        awk -v lines="$lines" 'BEGIN {
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
        }' >"$file.tmp" && mv "$file.tmp" "$file" || exit 1
    fi
    echo "$file"
}
declare -A files
for lines in "${sizes[@]}"; do
    files[$lines]=$(backup_file "$lines") || exit 1
done

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
        # A second name of the kept file (a copy where that cannot be); the
        # program only reads it, no block arrives.
        [[ -n "$file" ]] && { ln "$file" "$cwd/databac.txt" 2>/dev/null || cp "$file" "$cwd/databac.txt"; }
        out=$("$probe" "$tolvane" "$cwd") || exit 1
        echo "$name $out" >>"$work/results"
        echo "  $name run $i: $out (title ms, OK-to-main ms, VmHWM kB)" >&2
        rm -rf "$cwd"
    done
}
# Reading the file once, after a warm-up: what no program can beat.
floor() { # NAME FILE
    local i t0 t1
    cat "$2" >/dev/null
    for ((i = 1; i <= runs; i++)); do
        t0=$(date +%s%N)
        cat "$2" >/dev/null
        t1=$(date +%s%N)
        echo "$1 $(((t1 - t0) / 1000))" >>"$work/floor"
    done
}
: >"$work/results"
: >"$work/floor"
load_before=$(uptime | sed 's/^ *//')
measure empty
for lines in "${sizes[@]}"; do
    floor "$lines" "${files[$lines]}"
    measure "$lines" "${files[$lines]}"
done

# Median (the middle one; the upper middle for an even count) and maximum.
median_max() { # FILE CASE AWK-EXPRESSION (fields: $2 title, $3 ok, $4 hwm)
    awk -v c="$2" '$1 == c { print '"$3"' }' "$1" | sort -g |
        awk '{ v[NR] = $1 } END { printf "%.0f / %.0f", v[int(NR / 2) + 1], v[NR] }'
}
median() { median_max "$@" | cut -d' ' -f1; }
empty_ok=$(median "$work/results" empty '$3')
empty_mb=$(median "$work/results" empty '$4 / 1024')
echo
echo "tolvane start-up, $runs runs per case, median / max"
echo "load before: $load_before"
echo "load after:  $(uptime | sed 's/^ *//')"
printf '%-26s %16s %16s %8s %16s %8s %12s\n' "databac.txt" "start-to-title" "OK-to-main ms" \
    "ratio" "peak RSS MB" "ratio" "cat floor ms"
printf '%-26s %16s %16s %8s %16s %8s %12s\n' none "$(median_max "$work/results" empty '$2')" \
    "$(median_max "$work/results" empty '$3')" 1.0 "$(median_max "$work/results" empty '$4 / 1024')" 1.0 -
for lines in "${sizes[@]}"; do
    mb=$(awk -v b="$(stat -c %s "${files[$lines]}")" 'BEGIN { printf "%.0f", b / 1e6 }')
    printf '%-26s %16s %16s %8s %16s %8s %12s\n' "$lines lines, $mb MB" \
        "$(median_max "$work/results" "$lines" '$2')" "$(median_max "$work/results" "$lines" '$3')" \
        "$(awk -v a="$(median "$work/results" "$lines" '$3')" -v b="$empty_ok" 'BEGIN { printf "%.1f", a / b }')" \
        "$(median_max "$work/results" "$lines" '$4 / 1024')" \
        "$(awk -v a="$(median "$work/results" "$lines" '$4 / 1024')" -v b="$empty_mb" 'BEGIN { printf "%.1f", a / b }')" \
        "$(median_max "$work/floor" "$lines" '$2 / 1000')"
done
echo "goals: 1M lines <= 100 ms, <= 60 MB; 10M lines <= 300 ms, <= 150 MB; 100M lines <= 1000 ms, <= 200 MB"
echo "(OK-to-main includes xdotool's own few ms; ratios are of the medians; cat floor: median / max)"
