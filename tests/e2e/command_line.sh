#!/usr/bin/env bash
# tolvane's command line, without a display: --version, --help, a wrong option,
# and --list-ports on pseudo-terminals and a by-id style link that this test
# makes (never the machine's own serial hardware).
#   command_line.sh TOLVANE KLD350_SIM
set -uo pipefail
tolvane=$1
sim=$2
work=$(mktemp -d /tmp/tolvane-cli-XXXXXX)
chmod 755 "$work"
pids=()
lock=''
cleanup() {
    [[ -n $lock ]] && rm -f "$lock"
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# No display and no Qt platform: the options must not need one.
system_dirs=/nonexistent
run() { env -i PATH="$PATH" HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$system_dirs" "$@"; }

out=$(run "$tolvane" --help 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == *--list-ports* && $out == *tolvane.conf* ]] || fail "--help: rc $rc, $(cat "$work/err")"
# An example of the order that matters, and lines that fit a terminal.
[[ $out == *$'\n  tolvane --report lot.pdf databac.txt'* ]] || fail "--help shows no --report example"
wide=$(awk 'length > 80' <<<"$out")
[[ -z $wide ]] || fail "--help lines over 80 columns: $wide"
# ARGUMENTS|EXIT STATUS|STDOUT|STDERR (a pattern; \n between lines). Qt's own
# options go on to Qt, tolvane's are strict; without a display, one line.
try="Try 'tolvane --help'."
while IFS='|' read -r args status want_out want_err; do
    # shellcheck disable=SC2086  # the arguments are meant to split into words
    out=$(cd "$work" && run timeout -s TERM 3 "$tolvane" $args 2>"$work/err"); rc=$?
    err=$(cat "$work/err")
    # shellcheck disable=SC2053  # want_err is a pattern
    [[ $rc == "$status" && $out == "$want_out" && $err == ${want_err//\\n/$'\n'} ]] ||
        fail "tolvane $args: rc $rc, stdout '$out', stderr '$err'"
done <<CASES
--version|0|tolvane 1.00|
-platform offscreen --version|0|tolvane 1.00|
--bogus|2||tolvane: Unknown option '--bogus'.\n$try
-bogus=1|2||tolvane: Unknown option '-bogus'.\n$try
-platform xcb extra|2||tolvane: Unexpected argument 'extra'.\n$try
--version -style|2||tolvane: option '-style' needs a value.\n$try
|1||tolvane: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); *xvfb-run*
-platform xcb -display :77|1||tolvane: cannot open the display; *xvfb-run*
--inspect a b|1||tolvane: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); *xvfb-run*
--inspect|1||tolvane: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); *xvfb-run*
--stats --export-csv c.csv|2||tolvane: --stats and --export-csv cannot be given together.\n$try
--export-csv c.csv --stats|2||tolvane: --stats and --export-csv cannot be given together.\n$try
--inspect --stats|2||tolvane: --stats and --inspect cannot be given together.\n$try
--list-ports --report r.pdf|2||tolvane: --list-ports and --report cannot be given together.\n$try
--report r.pdf --freeze-limits|2||tolvane: --report and --freeze-limits cannot be given together.\n$try
--reason x|2||tolvane: option '--reason' needs --freeze-limits.\n$try
--freeze-limits --leave-out 2026-12-01T08:00 --leave-out 8:05|2||tolvane: '8:05' for --leave-out is no time (2026-12-06T08:05:00).\n$try
--report r.pdf --export-csv c.csv|2||tolvane: --export-csv and --report cannot be given together.\n$try
--export-csv a.csv --export-csv c.csv|2||tolvane: option '--export-csv' is given more than once.\n$try
--report a.pdf --report=r.pdf|2||tolvane: option '--report' is given more than once.\n$try
--export-csv c.csv --description A --description B|2||tolvane: option '--description' is given more than once.\n$try
--report r.pdf --from 2026-12-01 --from 2026-12-02|2||tolvane: option '--from' is given more than once.\n$try
--export-csv c.csv --to 2026-12-01 --to 2026-12-02|2||tolvane: option '--to' is given more than once.\n$try
--export-csv c.csv --from 2026-12-03 --to 2026-12-01|2||tolvane: --from 2026-12-03 is later than --to 2026-12-01: no record could be chosen.\n$try
--report r.pdf --from 2026-12-01T10:01 --to 2026-12-01T10:00|2||tolvane: --from 2026-12-01T10:01 is later than --to 2026-12-01T10:00: no record could be chosen.\n$try
CASES
written=$(cd "$work" && ls -- *.csv *.pdf 2>/dev/null)
[[ -z $written ]] || fail "refused options wrote $written"
# A window that opens stays open (still there after 3 s), and SIGTERM (as at
# a logout) ends it with 0; a hang anywhere else ends otherwise.
stays_open() { # WHAT ARGS...
    local what=$1 app
    shift
    (cd "$work" && exec env -i PATH="$PATH" HOME="$work" XDG_CONFIG_HOME="$work/config" \
        XDG_CONFIG_DIRS="$system_dirs" "$tolvane" "$@") 2>"$work/err" &
    app=$!
    sleep 3
    kill -TERM "$app" 2>/dev/null || fail "$what: it ended within 3 s: $(cat "$work/err")"
    timeout 10 tail --pid="$app" -f /dev/null || { kill -KILL "$app"; fail "$what: no end on SIGTERM"; }
    wait "$app" || fail "$what: status $? after SIGTERM: $(cat "$work/err")"
}
# Qt's options lead on to the title window; the Inspection window opens on a
# file that is not there yet, and waits for it.
stays_open "Qt's options" -platform offscreen -session 1a2b3c -style=fusion
stays_open "--inspect missing.txt" -platform offscreen --inspect missing.txt
[[ -e $work/com.dat || -e $work/databac.txt ]] && fail "the title window wrote files"
[[ -e $work/missing.txt ]] && fail "the Inspection window made the file it only reads"

# A stand-in for a USB adapter: a pseudo-terminal behind a by-id style name.
pty() { # LINK: a simulator's pseudo-terminal linked at LINK; its device in $device
    "$sim" --link "$1" --every 1000 --quiet >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [[ -L $1 ]] && break; sleep 0.05; done
    device=$(readlink "$1")
}
mkdir -p "$work/by-id" "$work/config/tolvane" "$work/xdg/tolvane"
adapter=$work/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0
pty "$adapter"; dev1=$device
pty "$work/second"; dev2=$device
[[ -c $dev1 && -c $dev2 ]] || { fail "no pseudo-terminals ($dev1, $dev2)"; exit 1; }
printf '[ports]\n1=%s\n2=/dev/not-this-one\n' "$adapter" >"$work/config/tolvane/tolvane.conf"
# The computer's file, below the user's: its port 1 is not used, its port 5 is.
printf '[ports]\n1=/dev/not-this-one\n5=%s\n' "$adapter" >"$work/xdg/tolvane/tolvane.conf"
system_dirs=$work/none:$work/xdg

expect() { # LISTING LINE...: each LINE is a line of LISTING
    local listing=$1 line
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$listing" || fail "no line '$line' in:
$listing"
    done
}
# Port 2 held by another program: QSerialPort's lock file names a live process.
lock=/run/lock/LCK..${dev2#/dev/}
lock=${lock//pts\//pts_}
echo "     ${pids[1]}" >"$lock"
listing=$(run TOLVANE_COM2="$dev2" TOLVANE_COM3="$work/unplugged" "$tolvane" --list-ports); rc=$?
[[ $rc == 0 ]] || fail "--list-ports: rc $rc"
expect "$listing" \
    "  port 1:  $adapter -> $dev1 (settings file $work/config/tolvane/tolvane.conf), may be opened (a pseudo-terminal)" \
    "  port 2:  $dev2 (environment), in use by process ${pids[1]}" \
    "  port 3:  $work/unplugged (environment), cannot be opened: no such device" \
    "  port 5:  $adapter -> $dev1 (system settings file $work/xdg/tolvane/tolvane.conf), may be opened (a pseudo-terminal)" \
    "Settings file: $work/config/tolvane/tolvane.conf" \
    "System settings file: $work/xdg/tolvane/tolvane.conf"
grep -q "^  port 4:  /dev/ttyS3 (default), " <<<"$listing" || fail "port 4 is not the default"

# An operator outside the group dialout, as the adapter's device is set up.
chgrp dialout "$dev1" && chmod 660 "$dev1"
listing=$(run setpriv --reuid=65534 --regid=65534 --clear-groups "$tolvane" --list-ports)
expect "$listing" "  port 1:  $adapter -> $dev1 (settings file $work/config/tolvane/tolvane.conf), cannot be opened: not in group dialout (sudo adduser nobody dialout, then log out and in again)"

((failures == 0)) && echo "all command-line checks passed"
exit $((failures > 0))
