#!/bin/sh
# usage: as_ordinary_user.sh PROGRAM [ARG...]
# Runs PROGRAM as uid and gid 65534 when started as root (root may write any
# file, so a test of permissions means nothing as root); as it is otherwise.
# That user may not reach the build tree (a clone in a private folder), so it
# runs a copy of PROGRAM, in a folder of its own.
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 ||
        { echo "setpriv is missing (Debian: util-linux)" >&2; exit 1; }
    dir=$(mktemp -d) || exit 1
    trap 'rm -rf "$dir"' EXIT
    program=$dir/$(basename "$1")
    cp "$1" "$program" && chmod 755 "$dir" "$program" && cd "$dir" || exit 1
    shift
    setpriv --reuid=65534 --regid=65534 --clear-groups "$program" "$@"
    exit $?
fi
exec "$@"
