#!/usr/bin/env bash
# Runs a test program on a fresh Xvfb display with a throw-away HOME and a
# pipe name of its own, so that an office it starts has a screen and a profile
# of its own. Afterwards ends whatever is left of that office and the display.
set -uo pipefail

work=$(mktemp -d /tmp/tolvane-xvfb.XXXXXX)
mkdir -p "$work/home"
marker="tolvane-create-$$-$RANDOM"

# Processes started under this run (they inherit the pipe name).
ours() {
    local env
    for env in /proc/[0-9]*/environ; do
        if tr '\0' '\n' 2>/dev/null <"$env" | grep -qx "TOLVANE_UNO_PIPE=$marker"; then
            env=${env#/proc/}
            echo "${env%/environ}"
        fi
    done
}

cleanup() {
    local pids i
    pids=$(ours)
    if [[ -n "$pids" ]]; then
        kill -TERM $pids 2>/dev/null
        for i in $(seq 50); do
            pids=$(ours)
            [[ -z "$pids" ]] && break
            sleep 0.2
        done
        [[ -n "$pids" ]] && kill -KILL $pids 2>/dev/null
    fi
    [[ -n "${xvfb:-}" ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display number far from the low ones that other Xvfb runs with
# -displayfd take: one of them failing on a number in use removes that
# number's socket. -noreset: the server must not restart when its last
# client leaves (the check below, the office's splash), or the next client
# finds no display.
display=
for _ in $(seq 10); do
    n=$((200 + RANDOM % 700))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        if xdpyinfo -display ":$n" >/dev/null 2>&1; then
            display=$n
            break
        fi
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    [[ -n "$display" ]] && break
    kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    xvfb=
done
if [[ -z "$display" ]]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

export DISPLAY=":$display"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export TOLVANE_UNO_PIPE="$marker"
unset WAYLAND_DISPLAY SAL_USE_VCLPLUGIN
"$@"
