#!/usr/bin/env bash
# Runs a command while two spinning shells per core keep the machine busy at
# the lowest priority, as updates and virus scans keep a lab PC busy (load
# about 4 on two cores). The load ends with the command, and after SECONDS in
# any case.
#
# usage: under_load.sh SECONDS COMMAND...
set -u
seconds=$1
shift
loads=()
for ((i = 0; i < 2 * $(nproc); ++i)); do
    timeout "$seconds" nice -n 19 sh -c 'while :; do :; done' &
    loads+=($!)
done
"$@"
status=$?
kill -TERM "${loads[@]}" 2>/dev/null
wait "${loads[@]}" 2>/dev/null
exit "$status"
