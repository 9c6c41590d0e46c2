#!/usr/bin/env bash
# Two stations of a lab side by side: two polling programs, the real program
# each, in working directories of their own (lab/bench-a, lab/bench-b), each
# on its own pseudo-terminal fed by its own simulator; then one Inspection
# window over the lab's folder follows both files. Each databac.txt must hold
# its own station's records only, and the window lists both stations. A
# screenshot of the window (1280x800) is left in
# ARTIFACT_DIR/inspect_stations_e2e.png.
#
# usage: inspect_stations_e2e.sh TOLVANE KLD350_SIM SCREENSHOT ARTIFACT_DIR
# Needs Xvfb, openbox, xdotool, xprop (x11-utils) and import (imagemagick).
set -uo pipefail
# shellcheck source=desktop.sh
. "$(dirname "$0")/desktop.sh"

if (($# != 4)); then
    echo "usage: $0 TOLVANE KLD350_SIM SCREENSHOT ARTIFACT_DIR" >&2
    exit 2
fi
# shellcheck disable=SC2034  # screenshot: failure_evidence takes one with it
tolvane=$(realpath "$1") sim=$(realpath "$2") screenshot=$(realpath "$3")
artifacts=$(realpath -m "$4")
shot=inspect_stations_e2e
limit=20 # seconds any one step may take
for tool in Xvfb openbox xdotool xprop import; do
    command -v "$tool" >/dev/null ||
        { echo "FAIL: $tool is missing (Debian: xvfb openbox xdotool x11-utils imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tolvane-stations-e2e.XXXXXX)
mkdir -p "$work/home/.config/tolvane" "$work/runtime" "$work/lab/bench-a" "$work/lab/bench-b" \
    "$artifacts"
rm -f "$artifacts/$shot.png" "$artifacts/$shot-failure.png"
chmod 700 "$work/runtime"
xvfb_pid='' wm_pid='' sim_a='' sim_b='' app_a='' app_b='' inspect_pid=''

cleanup() {
    # shellcheck disable=SC2086  # empty ones drop out
    stop $inspect_pid $app_a $app_b $sim_a $sim_b $wm_pid $xvfb_pid
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAIL: $*" >&2
    failure_evidence
    exit 1
}

# Room for the Inspection window at 1280x800 and the polling windows beside it.
start_desktop 2600x900 "tolvane-stations-e2e-$$"
printf '%s\n' '[tolerances]' '1\pattern=Pin*' '1\nominal=6.35' '1\lower=-0.02' '1\upper=0.02' \
    'size=1' >"$XDG_CONFIG_HOME/tolvane/tolvane.conf"

# start_station NAME VALUES Y DESCRIPTION: a simulator on a link of its own
# and the polling program in lab/NAME on it (as its port 1), OK pressed, the
# main window placed at (1300, Y), DESCRIPTION typed into it; the two pids
# are left in started_sim and started_app.
start_station() {
    local name=$1 values=$2 y=$3 description=$4 link=$work/link-$1 title main
    "$sim" --link "$link" --values "$values" --every 2 --quiet >"$work/sim-$name.out" \
        2>"$work/sim-$name.log" &
    started_sim=$!
    until_ok 10 "the simulator of $name makes $link" test -L "$link"
    (cd "$work/lab/$name" && TOLVANE_COM1=$link exec "$tolvane") >"$work/tolvane-$name.log" 2>&1 &
    started_app=$!
    title=$(find_window "$started_app" '.*')
    [[ -n "$title" ]] || fail "no title window of $name"
    xdotool windowactivate --sync "$title" key Return || fail "cannot press OK for $name"
    main=$(find_window "$started_app" '^KLD-350 Polling Utility V1\.24$')
    [[ -n "$main" ]] || fail "no main window of $name"
    xdotool windowmove --sync "$main" 1300 "$y" || fail "cannot place the polling window of $name"
    # The description box comes before the measurement list, which has the focus.
    xdotool windowactivate --sync "$main" key shift+Tab type "$description" ||
        fail "cannot type the description of $name"
}
start_station bench-a 6.35,6.34,6.36,6.33,6.37 0 "Pin A"
sim_a=$started_sim app_a=$started_app
start_station bench-b 6.31,6.32,6.38,6.39 450 "Pin B"
sim_b=$started_sim app_b=$started_app

records_of() { # NAME DESCRIPTION: how many records databac.txt of NAME holds with it
    grep -c "^\"$2\"" "$work/lab/$1/databac.txt" 2>/dev/null
}
both_wrote() { (($(records_of bench-a 'Pin A') >= 2 && $(records_of bench-b 'Pin B') >= 2)); }
until_ok 40 "each station's databac.txt holds two records of its own" both_wrote

# One window over the lab: a folder stands for the databac.txt of its subfolders.
(cd "$work" && exec "$tolvane" --inspect lab) >"$work/inspect.log" 2>&1 &
inspect_pid=$!
inspector=$(find_window "$inspect_pid" '^KLD-350 Inspection')
[[ -n "$inspector" ]] || fail "no window 'KLD-350 Inspection'"
caption=$(LC_ALL=C.UTF-8 xprop -id "$inspector" _NET_WM_NAME)
[[ $caption == *'"KLD-350 Inspection — 2 stations"' ]] || fail "the Inspection window's caption: $caption"
xdotool windowsize --sync "$inspector" 1280 800 windowmove --sync "$inspector" 0 0 ||
    fail "cannot place the Inspection window"
# Both go on writing side by side while the window follows them.
more_of_both() { (($(records_of bench-a 'Pin A') >= 4 && $(records_of bench-b 'Pin B') >= 4)); }
until_ok 40 "both stations go on writing" more_of_both
sleep 2
import -window "$inspector" "$artifacts/$shot.png" || fail "no screenshot"
echo "screenshot: $artifacts/$shot.png"

# Neither program touched the other's files: each file holds its own
# simulator's values and description, none of the other's.
for pair in 'bench-a:6\.3[34567]:6\.3[1289]|"Pin B"' 'bench-b:6\.3[1289]:6\.3[34567]|"Pin A"'; do
    IFS=: read -r name own foreign <<<"$pair"
    file=$work/lab/$name/databac.txt
    grep -qE "^($own)"$'\r'"\$" "$file" || fail "$name/databac.txt holds none of its own values"
    grep -qE "^($foreign)"$'\r'"\$" "$file" && fail "$name/databac.txt holds another station's records"
done
[[ -e "$work/lab/databac.txt" ]] && fail "a databac.txt outside the stations' folders"

# The window keeps the two files for its next start.
xdotool windowactivate --sync "$inspector" key alt+F4 || fail "cannot close the Inspection window"
ended() { ! kill -0 "$inspect_pid" 2>/dev/null; }
until_ok "$limit" "the Inspection window ends after Alt+F4" ended
wait "$inspect_pid" || fail "the Inspection window ended with status $?"
inspect_pid=''
grep -q "bench-b/databac.txt" "$XDG_CONFIG_HOME/tolvane/tolvane.conf" ||
    fail "the Inspection window did not keep its files in tolvane.conf"
echo "inspection of two stations end to end: passed"
