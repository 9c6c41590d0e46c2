#!/bin/sh
# usage: as_ordinary_user.sh PROGRAM [ARG...]
# Runs PROGRAM as uid and gid 65534 when started as root (root may write any
# file, so a test of permissions means nothing as root); as it is otherwise.
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 ||
        { echo "setpriv is missing (Debian: util-linux)" >&2; exit 1; }
    exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
fi
exec "$@"
