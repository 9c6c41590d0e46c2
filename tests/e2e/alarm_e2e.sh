#!/usr/bin/env bash
# An alarm at the bench, the real program from end to end: the polling window
# fed by the simulator's shafts of a wearing tool, the Inspection window
# beside it with the control limits ./run starts with. Once the mean has
# drifted, the Inspection window raises an alarm: its banner shows, a
# notification reaches the desktop's notification service (here a listener on
# a private session bus), and the keyboard focus stays in the polling window.
# The operator acknowledges it, and the acknowledgement lands in the journal
# beside databac.txt. A screenshot of the alarm is left in
# ARTIFACT_DIR/alarm_e2e.png.
#
# usage: alarm_e2e.sh TOLVANE KLD350_SIM SCREENSHOT NOTIFICATION_LISTENER ARTIFACT_DIR
# Needs Xvfb, openbox, xdotool, xprop (x11-utils), dbus-daemon and imagemagick.
set -uo pipefail
# shellcheck source=desktop.sh
. "$(dirname "$0")/desktop.sh"

if (($# != 5)); then
    echo "usage: $0 TOLVANE KLD350_SIM SCREENSHOT NOTIFICATION_LISTENER ARTIFACT_DIR" >&2
    exit 2
fi
tolvane=$(realpath "$1") sim=$(realpath "$2") screenshot=$(realpath "$3")
listener=$(realpath "$4") artifacts=$(realpath -m "$5")
settings=$(realpath "$(dirname "$0")/../../scripts/run-settings.conf")
shot=alarm_e2e
limit=20
for tool in Xvfb openbox xdotool xprop dbus-daemon convert; do
    command -v "$tool" >/dev/null ||
        { echo "FAIL: $tool is missing (Debian: xvfb openbox xdotool x11-utils dbus-daemon imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tolvane-alarm-e2e.XXXXXX)
mkdir -p "$work/home/.config/tolvane" "$work/runtime" "$work/cwd" "$artifacts"
rm -f "$artifacts/$shot.png" "$artifacts/$shot-failure.png"
chmod 700 "$work/runtime"
xvfb_pid='' wm_pid='' bus_pid='' listener_pid='' sim_pid='' app_pid='' inspect_pid=''

cleanup() {
    # shellcheck disable=SC2086  # empty ones drop out
    stop $app_pid $inspect_pid $sim_pid $listener_pid $bus_pid $wm_pid $xvfb_pid
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

start_desktop 1280x800 "tolvane-alarm-e2e-$$"
cp "$settings" "$XDG_CONFIG_HOME/tolvane/tolvane.conf"

# A session bus of the test's own, and a notification service on it.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/runtime/bus" \
    --print-address=3 3>"$work/bus-address" >"$work/dbus.log" 2>&1 &
bus_pid=$!
until_ok 10 "dbus-daemon gives its address" test -s "$work/bus-address"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/runtime/bus
notes=$work/notifications.txt
"$listener" "$notes" >"$work/listener.log" 2>&1 &
listener_pid=$!
listening() { grep -qx ready "$notes" 2>/dev/null; }
until_ok 10 "the notification listener owns org.freedesktop.Notifications" listening

# 25.4 mm shafts, each block 0.02 mm larger: the mean leaves the frozen
# limits (UCL 25.449) within a few blocks.
link=$work/kld350
"$sim" --link "$link" --gauge 20 --size 25.4 --drift 0.02 --seed 31 --every 1.5 --quiet \
    >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
until_ok 10 "the simulator makes $link" test -L "$link"
export TOLVANE_COM1=$link

(cd "$work/cwd" && exec "$tolvane") >"$work/tolvane.log" 2>&1 &
app_pid=$!
title=$(find_window "$app_pid" '.*')
[[ -n "$title" ]] || fail "no title window"
(cd "$work/cwd" && TOLVANE_INSPECT_IN_BACKGROUND=1 exec "$tolvane" --inspect) \
    >"$work/inspect.log" 2>&1 &
inspect_pid=$!
inspector=$(find_window "$inspect_pid" '^KLD-350 Inspection')
[[ -n "$inspector" ]] || fail "no window 'KLD-350 Inspection'"
xdotool windowsize --sync "$inspector" 1272 560 windowmove --sync "$inspector" 4 24 ||
    fail "cannot place the Inspection window"
until_ok 5 "the title window has the keyboard focus" \
    eval '[[ "$(xdotool getactivewindow 2>/dev/null)" == "$title" ]]'
xdotool key Return || fail "cannot press Return"
main=$(find_window "$app_pid" '^KLD-350 Polling Utility V1\.24$')
[[ -n "$main" ]] || fail "no main window after OK"
xdotool windowmove --sync "$main" 4 610 || fail "cannot place the polling window"
xdotool windowactivate --sync "$main" key shift+Tab type "Shaft D25 lot 3" ||
    fail "cannot type the description"

# The alarm: a notification naming the characteristic, while the operator
# goes on in the polling window.
notified() { grep -q $'^tolvane\t.*Shaft D25' "$notes"; }
until_ok 60 "a notification of an alarm on Shaft D25" notified
echo "notification: $(grep -m1 $'^tolvane\t' "$notes")"
sleep 0.5
[[ "$(xdotool getactivewindow)" == "$main" ]] ||
    fail "the alarm took the keyboard focus from the polling window"
# The banner's frame, dark red, at the top of the Inspection window.
BANNER_COLOUR='#A51D2D'
banner_shown() {
    "$screenshot" "$work/now.png" 2>/dev/null &&
        (($(convert "$work/now.png" -crop 1272x120+4+24 +repage -fill black +opaque "$BANNER_COLOUR" \
            -fill white -opaque "$BANNER_COLOUR" -format '%[fx:int(mean*w*h)]' info:) > 2000))
}
until_ok 5 "the Inspection window shows the alarm's banner" banner_shown
"$screenshot" "$artifacts/$shot.png" || fail "no screenshot"
echo "screenshot: $artifacts/$shot.png"

# Acknowledged: the cause and the action, the operator's name as given.
xdotool windowactivate --sync "$inspector" key alt+k || fail "cannot press Alt+K"
dialog=$(find_window "$inspect_pid" '^Acknowledge')
[[ -n "$dialog" ]] || fail "no Acknowledge dialog after Alt+K, the banner's button"
xdotool windowactivate --sync "$dialog" type "worn tool" || fail "cannot type the cause"
xdotool key Tab type "tool changed" || fail "cannot type the action"
xdotool key Return || fail "cannot press Return"
journal=$work/cwd/databac-journal.csv
acknowledged() { grep -q ',Shaft D25 lot 3,acknowledged,.*,worn tool,tool changed,' "$journal" 2>/dev/null; }
until_ok 10 "the acknowledgement in $journal" acknowledged
[[ "$(head -n1 "$journal")" == time,record_time,description,event,tests,cause,action,user* ]] ||
    fail "the journal does not begin with its header"
grep -m1 ',acknowledged,' "$journal"
stop "$app_pid" "$inspect_pid"
app_pid='' inspect_pid=''
echo "alarm end to end: passed"
