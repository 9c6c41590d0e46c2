#!/usr/bin/env bash
# The real program on real pseudo-terminals, fed as a noisy line and handled
# as a busy operator would, on a display of its own under openbox:
#   1. blocks with a stray byte before and CR LF after each, closed through
#      the window manager 0.1 s after the last block;
#   2. File > Exit 0.1 s after a block;
#   3. a port change while a block arrives, N.M. 95 chosen, then SIGTERM
#      0.1 s after a block on the new port;
#   4. databac.txt unwritable, SIGTERM while its failure box is open and a
#      second block waits.
# Every block must be in databac.txt once and whole, with the values sent (the
# one cut by the port change as far as it came), or, in 4, in the file of
# unsaved records; nothing else, and the settings saved.
#
# usage: reception_e2e.sh TOLVANE KLD350_SIM
set -uo pipefail
tolvane=$(realpath "$1") sim=$(realpath "$2")
work=$(mktemp -d /tmp/tolvane-rx.XXXXXX)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
    sleep 0.3
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    local f
    for f in "$work"/*/databac.txt "$work"/*.log; do
        [[ -s "$f" ]] && { echo "--- $f" >&2; tail -n 30 "$f" | cat -A >&2; }
    done
    exit 1
}
until_ok() { # SECONDS WHAT COMMAND...
    local end=$((SECONDS + $1)) what=$2
    shift 2
    until "$@"; do
        ((SECONDS < end)) || fail "$what: not within the time"
        sleep 0.05
    done
}

# -noreset: the xprop clients below must not make the server reset under openbox.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until_ok 10 "Xvfb starts" test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")" HOME="$work" XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=xcb TOLVANE_UNO_PIPE="tolvane-rx-$$"
unset WAYLAND_DISPLAY SESSION_MANAGER
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
until_ok 10 "openbox starts" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'

# simulate NAME ARGS...: the instrument on the link $work/NAME; with
# --on-enter, a line written to the fd in ${enter[NAME]} sends a block.
# Real-time where allowed: a simulator held up by a busy machine mid-block
# would make a pause on the line that no instrument makes.
declare -A enter
realtime=()
chrt -f 10 true 2>/dev/null && realtime=(chrt -f 10)
simulate() {
    local name=$1
    shift
    mkfifo "$work/$name.in"
    "${realtime[@]}" "$sim" --link "$work/$name" --linger 600 "$@" \
        <"$work/$name.in" >/dev/null 2>"$work/$name.log" &
    pids+=($!)
    exec {fd}>"$work/$name.in"
    enter[$name]=$fd
    until_ok 10 "the simulator makes $name" test -L "$work/$name"
}
sent() { [[ $(grep -c '^sent block' "$work/$1.log") -ge $2 ]]; }
# sent_values NAME: one line per block the simulator sent: "#" and its values.
sent_values() { sed -n 's/^sent block [0-9]*: [0-9]* values, [0-9]* bytes:/#/p' "$work/$1.log"; }
window() { xdotool search --all --onlyvisible --pid "$app" --name "$1" 2>/dev/null | head -n1; }
# The main window is up; else OK is pressed (again: a key can get lost while
# the window manager is still placing the window).
main_shown() {
    [[ -n $(window '^KLD-350') ]] && return
    local w
    w=$(window '')
    [[ -n $w ]] && xdotool windowactivate --sync "$w" key Return 2>/dev/null
    sleep 0.3
    false
}
# start DIR: the program in $work/DIR, OK pressed, its main window active.
start() {
    mkdir -p "$work/$1"
    (cd "$work/$1" && exec "$tolvane") >"$work/$1.log" 2>&1 &
    app=$!
    pids+=($app)
    until_ok 20 "the main window after OK" main_shown
    main=$(window '^KLD-350')
    xdotool windowactivate --sync "$main"
}
ended() { ! kill -0 "$app" 2>/dev/null; }
finish() {
    until_ok 20 "the program ends" ended
    wait "$app" || fail "the program ended with status $?"
}
# records DIR: one line per record of databac.txt: "#" and its fields.
records() {
    tr -d '\r' <"$work/$1/databac.txt" |
        awk 'NR > 1 && /^#/ { if (r != "") print r; r = "#"; next } NR > 1 { r = r " " $0 }
             END { if (r != "") print r }'
}

# same_values DIR NAME: DIR's records hold, number for number, what NAME sent.
same_values() {
    awk 'FILENAME == ARGV[1] { want[FNR] = $0; n = FNR; next }
         { m = FNR; k = split(want[FNR], w, " "); bad += k != NF
           for (i = 2; i <= NF; ++i) bad += $i + 0 != w[i] + 0 }
         END { exit bad || m != n }' <(sent_values "$2") <(records "$1")
}

echo "1: stray bytes and CR LF, closed 0.1 s after the last block"
# Seed 249: the stray byte before block 2 is 0x00, which is no 0x00 lead.
simulate line1 --noise --crlf --every 0.7 --random 60 --count 6 --seed 249
TOLVANE_COM1=$work/line1 start close
until_ok 30 "six blocks sent" sent line1 6
sleep 0.1
xdotool windowactivate --sync "$main" key alt+F4
finish
[[ $(sent_values line1 | wc -l) == 6 ]] || fail "the simulator's log: $(sent_values line1)"
same_values close line1 || fail "records: $(records close); sent: $(sent_values line1)"

echo "2: File > Exit 0.1 s after a block"
simulate line2 --values 1.23,45.6,700
TOLVANE_COM1=$work/line2 start exit
xdotool key alt+f
sleep 0.5 # the menu is open when the block comes
echo >&"${enter[line2]}"
until_ok 10 "the block sent" sent line2 1
sleep 0.1
xdotool key x
finish
[[ $(records exit) == "# 1.23 45.6 700" ]] || fail "records: $(records exit)"

echo "3: a port change while a block arrives, then SIGTERM 0.1 s after a block"
hundred=$(seq -f '%.2f' 1.01 0.01 1.99 | sed 's/0$//' | paste -sd,),2
simulate line3 --values "$hundred"
simulate line4 --values 1.23
TOLVANE_COM1=$work/line3 TOLVANE_COM2=$work/line4 start change
keys() { # one at a time: a menu takes a moment to open
    local k
    for k; do
        xdotool key "$k"
        sleep 0.2
    done
}
keys alt+s n Down Down Down Return # N.M. 95
keys alt+s c Down                  # Com Port, item 2 chosen but not yet taken
echo >&"${enter[line3]}"
sleep 0.3 # the block takes 0.21 s; its start was on the line before
xdotool key Return
sleep 0.5
echo >&"${enter[line4]}"
until_ok 10 "the block on port 2 sent" sent line4 1
sleep 0.1
kill -TERM "$app"
finish
mapfile -t got < <(records change)
[[ ${#got[@]} == 2 && ${got[1]} == "# 1.23" ]] || fail "records: ${got[*]}"
[[ "# ${hundred//,/ } " == "${got[0]} "* && ${got[0]} != "#" ]] ||
    fail "the block cut by the port change is no part of the block sent: ${got[0]}"
[[ $(od -An -c "$work/change/com.dat") == "$(printf '2\r\n' | od -An -c)" ]] || fail "com.dat"
[[ $(od -An -c "$work/change/numdat.dat") == "$(printf ' 95 \r\n' | od -An -c)" ]] || fail "numdat.dat"
echo "4: SIGTERM while the backup file's failure box is open and a second block waits"
simulate line5 --values 1.23
TOLVANE_COM1=$work/line5 XDG_STATE_HOME=$work/state start unsaved
rm "$work/unsaved/databac.txt" && mkdir "$work/unsaved/databac.txt"
echo >&"${enter[line5]}"
box_open() { [[ -n $(window '^tolvane$') ]]; }
until_ok 10 "the failure box" box_open
echo >&"${enter[line5]}"
until_ok 10 "the second block sent" sent line5 2
sleep 0.7 # a tick has passed: the block waits behind the box
kill -TERM "$app"
until_ok 5 "the program ends" ended
wait "$app" || fail "the program ended with status $?"
kept=("$work"/state/tolvane/databac-unsaved-*.txt)
[[ -f ${kept[0]} ]] || fail "no file of unsaved records"
[[ $(tr -d '\r' <"${kept[0]}" | paste -sd' ') =~ ^\"Backup\ Data\"\ \#[^#]*\#\ 1.23\ \#[^#]*\#\ 1.23$ ]] ||
    fail "unsaved records: $(cat -A "${kept[0]}")"
[[ $(grep -c $'\r$' "${kept[0]}") == 5 ]] || fail "lines end in CR LF"
grep -q "2 records could not be saved.*${kept[0]}" "$work/unsaved.log" || fail "no word on stderr"
echo "reception end to end: passed"
