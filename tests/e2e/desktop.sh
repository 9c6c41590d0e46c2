# Sourced by the tests that drive the real program: waiting for a condition,
# the logs at a failure, and a display of the test's own with a window
# manager. The sourcing script defines fail() and $work.

stop() { # pid...: TERM, then KILL whatever is still there after 5 s
    local pid
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "$@"; do
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}

# until_ok SECONDS WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds.
until_ok() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "$what: not within $seconds s"
        sleep 0.1
    done
}

# A screenshot at the failure, as $artifacts/$shot-failure.png, and the end of
# every log of $work.
failure_evidence() {
    if [[ -n "${DISPLAY:-}" ]] && "$screenshot" "$artifacts/$shot-failure.png" 2>/dev/null; then
        echo "screen at the failure: $artifacts/$shot-failure.png" >&2
    fi
    local log
    for log in "$work"/*.log; do
        [[ -s "$log" ]] || continue
        echo "--- ${log##*/}" >&2
        tail -n 40 "$log" >&2
    done
}

# start_desktop WIDTHxHEIGHT PIPE: Xvfb on a number of its own, a home of the
# test's own, nothing from the caller's session, and openbox managing it.
# -noreset: each xprop that asks whether openbox is up is a client; the server
# must not reset when it leaves, or openbox may meet a display mid-reset.
# Sets xvfb_pid and wm_pid for the caller's cleanup.
start_desktop() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    until_ok 10 "Xvfb gives its display number" test -s "$work/display"
    DISPLAY=":$(head -n1 "$work/display")"
    export DISPLAY
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
    export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
    export TOLVANE_UNO_PIPE="$2"
    unset WAYLAND_DISPLAY SESSION_MANAGER

    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm_pid=$!
    until_ok 10 "openbox manages the display" wm_running
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# find_window PID NAME-REGEX: the process's visible window of that title,
# within $limit seconds; nothing when there is none by then.
find_window() {
    local w deadline=$((SECONDS + limit))
    while ((SECONDS < deadline)) && kill -0 "$1" 2>/dev/null; do
        w=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n1)
        [[ -n "$w" ]] && echo "$w" && return
        sleep 0.1
    done
}
