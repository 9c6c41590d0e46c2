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
run() { env -i PATH="$PATH" HOME="$work" XDG_CONFIG_HOME="$work/config" "$@"; }

out=$(run "$tolvane" --version 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == "tolvane 1.00" ]] || fail "--version: rc $rc, '$out' $(cat "$work/err")"
out=$(run "$tolvane" --help 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == *--list-ports* && $out == *tolvane.conf* ]] || fail "--help: rc $rc, $(cat "$work/err")"
out=$(run "$tolvane" --bogus 2>"$work/err"); rc=$?
[[ $rc == 2 && -z $out ]] && grep -q "^Usage: tolvane" "$work/err" || fail "--bogus: rc $rc, stdout '$out'"

# A stand-in for a USB adapter: a pseudo-terminal behind a by-id style name.
pty() { # LINK: a simulator's pseudo-terminal linked at LINK; its device in $device
    "$sim" --link "$1" --every 1000 --quiet >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [[ -L $1 ]] && break; sleep 0.05; done
    device=$(readlink "$1")
}
mkdir -p "$work/by-id" "$work/config/tolvane"
adapter=$work/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0
pty "$adapter"; dev1=$device
pty "$work/second"; dev2=$device
[[ -c $dev1 && -c $dev2 ]] || { fail "no pseudo-terminals ($dev1, $dev2)"; exit 1; }
printf '[ports]\n1=%s\n2=/dev/not-this-one\n' "$adapter" >"$work/config/tolvane/tolvane.conf"

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
    "  port 1:  $adapter -> $dev1 (settings file), may be opened (a pseudo-terminal)" \
    "  port 2:  $dev2 (environment), in use by process ${pids[1]}" \
    "  port 3:  $work/unplugged (environment), cannot be opened: no such device" \
    "Settings file: $work/config/tolvane/tolvane.conf"
grep -q "^  port 4:  /dev/ttyS3 (default), " <<<"$listing" || fail "port 4 is not the default"

# An operator outside the group dialout, as the adapter's device is set up.
chgrp dialout "$dev1" && chmod 660 "$dev1"
listing=$(run setpriv --reuid=65534 --regid=65534 --clear-groups "$tolvane" --list-ports)
expect "$listing" "  port 1:  $adapter -> $dev1 (settings file), cannot be opened: not in group dialout"

((failures == 0)) && echo "all command-line checks passed"
exit $((failures > 0))
