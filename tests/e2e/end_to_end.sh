#!/usr/bin/env bash
# The whole program as an operator meets it, on a display of its own with a
# window manager (openbox): the title window's OK, one block from the
# simulator into databac.txt, a screenshot, and a close through the window
# manager that must save the settings.
#
# With the mode locked-port, the saved port cannot be opened instead: OK
# brings the program's warning over the title window, and once it is answered
# the main window opens and the program goes on running.
#
# usage: end_to_end.sh TOLVANE KLD350_SIM SCREENSHOT ARTIFACT_DIR [locked-port]
# Needs Xvfb, openbox, xdotool and xprop (x11-utils).
set -uo pipefail
# shellcheck source=desktop.sh
. "$(dirname "$0")/desktop.sh"

if (($# != 4 && $# != 5)); then
    echo "usage: $0 TOLVANE KLD350_SIM SCREENSHOT ARTIFACT_DIR [locked-port]" >&2
    exit 2
fi
tolvane=$(realpath "$1") sim=$(realpath "$2") screenshot=$(realpath "$3")
artifacts=$(realpath -m "$4") mode=${5:-block}
[[ $mode == block || $mode == locked-port ]] || { echo "unknown mode: $mode" >&2; exit 2; }
shot=end_to_end
[[ $mode == locked-port ]] && shot=end_to_end-locked-port
limit=20 # seconds any one step may take
for tool in Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null ||
        { echo "FAIL: $tool is missing (Debian: xvfb openbox xdotool x11-utils)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tolvane-e2e.XXXXXX)
mkdir -p "$work/home" "$work/runtime" "$work/cwd" "$artifacts"
rm -f "$artifacts/$shot.png" "$artifacts/$shot-failure.png"
chmod 700 "$work/runtime"
xvfb_pid='' wm_pid='' sim_pid='' app_pid=''

cleanup() {
    # shellcheck disable=SC2086  # empty ones drop out
    stop $app_pid $sim_pid $wm_pid $xvfb_pid
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAIL: $*" >&2
    if [[ -n "$app_pid" ]] && ! kill -0 "$app_pid" 2>/dev/null; then
        wait "$app_pid"
        echo "(the program had ended, with status $?)" >&2
        app_pid=''
    fi
    failure_evidence
    exit 1
}


start_desktop 1024x768 "tolvane-e2e-$$"

if [[ $mode == block ]]; then
    # One block of known values, sent once the program has the line open; the
    # simulator then keeps the line until the program lets it go.
    link=$work/kld350
    "$sim" --link "$link" --values 1.23,45.6,700 --once --linger 600 >"$work/sim.out" 2>"$work/sim.log" &
    sim_pid=$!
    until_ok 10 "the simulator makes $link" test -L "$link"
    export TOLVANE_COM1=$link
else
    # Port 2 is saved, and there is no such device.
    printf '2\r\n' >"$work/cwd/com.dat"
    export TOLVANE_COM2=$work/no-such-device
fi
(cd "$work/cwd" && TOLVANE_TEST_BOX_TEXTS=1 exec "$tolvane") >"$work/tolvane.log" 2>&1 &
app_pid=$!

# find_window [NAME-REGEX]: the program's visible window (with that title);
# gives up when the program ends.
find_window() {
    local name=() w deadline=$((SECONDS + limit))
    (($#)) && name=(--name "$1")
    while ((SECONDS < deadline)) && kill -0 "$app_pid" 2>/dev/null; do
        w=$(xdotool search --all --onlyvisible --pid "$app_pid" "${name[@]}" 2>/dev/null | head -n1)
        [[ -n "$w" ]] && echo "$w" && return
        sleep 0.1
    done
}

title=$(find_window)
[[ -n "$title" ]] || fail "no title window"
# No caption text: the name a window manager shows holds nothing visible
# (blanks and zero-width spaces at most; with an empty one Qt would show the
# program's name).
caption=$(LC_ALL=C.UTF-8 xprop -id "$title" _NET_WM_NAME)
[[ $caption == "_NET_WM_NAME(UTF8_STRING) = \""*\" ]] || fail "no window name to look at: $caption"
if sed -e $'s/\xe2\x80\x8b//g; s/\xef\xbb\xbf//g; s/\xe2\x81\xa0//g' <<<"$caption" | grep -qE '= ".*[^ ].*"'; then
    fail "the title window has a caption: $caption"
fi
xdotool windowactivate --sync "$title" key Return || fail "cannot press Return in the title window"

app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
# Closes the main window the way a user does, through the window manager; the
# program must end with status 0.
close_through_window_manager() {
    xdotool windowactivate --sync "$main" key alt+F4 || fail "cannot press Alt+F4"
    until_ok "$limit" "the program ends after Alt+F4" app_ended
    wait "$app_pid"
    status=$?
    app_pid=
    ((status == 0)) || fail "the program ended with status $status"
}
com_dat_holds() { # PORT
    [[ "$(od -An -c "$work/cwd/com.dat")" == "$(printf '%s\r\n' "$1" | od -An -c)" ]] ||
        fail "com.dat: $(od -An -c "$work/cwd/com.dat" 2>&1), expected $1 CR LF"
}
if [[ $mode == locked-port ]]; then
    # The warning comes while the main window loads, over the title window.
    box=$(find_window '^tolvane$')
    [[ -n "$box" ]] || fail "no message box 'tolvane' after OK"
    grep -qx "box: Com Port 2 Is Locked.  Please Select Another." "$work/tolvane.log" ||
        fail "the box is not the warning that port 2 is locked"
    xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -qx "$title" ||
        fail "the title window went before the message box was answered"
    # shellcheck disable=SC2317  # called through until_ok
    stacked_above() { # upper lower: the window manager stacks upper above lower
        xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' |
            while read -r w; do printf '%d\n' "$w"; done |
            awk -v up="$1" -v low="$2" '$1 == low { l = NR } $1 == up { u = NR }
                END { exit !(l && u > l) }'
    }
    until_ok 5 "the message box stands above the title window" stacked_above "$box" "$title"
    sleep 0.5
    "$screenshot" "$artifacts/$shot.png" || fail "no screenshot"
    echo "screenshot: $artifacts/$shot.png"
    xdotool windowactivate --sync "$box" key Return || fail "cannot answer the message box"

    main=$(find_window '^KLD-350 Polling Utility V1\.24$')
    [[ -n "$main" ]] || fail "no main window after the message box"
    # Nothing of the loading may end the program: it is still there a while later.
    sleep 2
    app_ended && fail "the program ended after the message box"
    xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -qx "$main" ||
        fail "the main window is not shown"
    xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -qx "$title" &&
        fail "the title window is still shown"
    close_through_window_manager
    com_dat_holds 2
    echo "end to end, a saved port that cannot be opened: passed"
    exit 0
fi

main=$(find_window '^KLD-350 Polling Utility V1\.24$')
[[ -n "$main" ]] || fail "no main window 'KLD-350 Polling Utility V1.24' after OK"
kept_above() { xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
until_ok 5 "the main window is kept above others (_NET_WM_STATE_ABOVE)" kept_above

# The block's record: the header, the time stamp (the date alone at
# midnight), the three values; every line with CR LF.
# (Glob patterns; nothing else in them is special to a glob.)
d='[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'
t='[0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
record=$'"Backup Data"\r\n#'$d' '$t$'#\r\n1.23\r\n45.6\r\n700\r\n'
record_at_midnight=$'"Backup Data"\r\n#'$d$'#\r\n1.23\r\n45.6\r\n700\r\n'
backup_holds_block() {
    local bytes
    bytes=$(cat "$work/cwd/databac.txt" 2>/dev/null && echo .)
    bytes=${bytes%.}
    # shellcheck disable=SC2053  # the right sides are patterns
    [[ $bytes == $record || $bytes == $record_at_midnight ]]
}
until_ok "$limit" "databac.txt holds the header and the block's record" backup_holds_block

# The list has the values once the record is in the file; a moment for the
# window to paint them.
sleep 0.5
"$screenshot" "$artifacts/$shot.png" || fail "no screenshot"
echo "screenshot: $artifacts/$shot.png"

# Closed the way a user closes it, through the window manager.
close_through_window_manager
com_dat_holds 1
[[ "$(od -An -c "$work/cwd/numdat.dat")" == "$(printf ' 80 \r\n' | od -An -c)" ]] ||
    fail "numdat.dat: $(od -An -c "$work/cwd/numdat.dat" 2>&1), expected ' 80 ' CR LF"
backup_holds_block || fail "databac.txt changed on closing: $(od -An -c "$work/cwd/databac.txt")"

echo "end to end: passed"
