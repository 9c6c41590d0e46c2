#!/usr/bin/env bash
# usage: fresh.sh RELEASE SOURCE_DIR LOG_DIR VERSION_LINE [--whole-test]
#
# The README's commands on a fresh Debian RELEASE (bookworm, trixie), as a new
# user meets them: a minimal system made with debootstrap, a virtual display,
# and a clone of SOURCE_DIR's committed HEAD (uncommitted changes are not in
# it). In a first system:
#   a) ./run installs, builds and starts the program; OK is pressed on the
#      title window, a record of the simulator's reaches rundir/databac.txt,
#      and the program ends with status 0 on SIGTERM;
#   b) the README's package commands build the .deb;
#   with --whole-test, the whole ./test (this test excluded).
# In a second system made from the same base:
#   c) apt-get installs the .deb, `tolvane --version` prints VERSION_LINE on
#      stdout, the main window opens after OK, and SIGTERM ends it with 0.
#
# Needs root, debootstrap, git; without root it exits with 77 (skipped). The
# base systems, the downloaded packages and a compiler cache stay under
# TOLVANE_FRESH_CACHE (/var/tmp/tolvane-fresh), so that a second run downloads
# nothing and rebuilds little. Every mount is undone and every process started
# inside is ended on every way out; a run that was killed is cleaned up by the
# next one.
set -euo pipefail

release=${1:?release}
src=${2:?source dir}
logs=${3:?log dir}
version_line=${4:?version line}
whole=${5:-}
# Real paths: stop() knows a program inside by the path of its executable.
cache=$(realpath -m "${TOLVANE_FRESH_CACHE:-/var/tmp/tolvane-fresh}")
mirror=${TOLVANE_FRESH_MIRROR:-http://deb.debian.org/debian}
# What the test itself uses inside (not what the project needs): a display,
# a window manager so that windows can be activated, a key presser, a
# compiler cache.
harness=(xvfb xauth openbox xdotool x11-utils ccache)

work=$cache/work-$release
base=$cache/$release/base
archives=$cache/$release/archives
lists=$cache/$release/lists
ccache_dir=$cache/$release/ccache
t_start=$SECONDS
stage_name=setup
stage_log=

say() { echo "== fresh $release: $* (at $((SECONDS - t_start)) s)"; }
fail() {
    echo "FAIL: fresh $release, $stage_name: $*" >&2
    if [[ -n "$stage_log" && -s "$stage_log" ]]; then
        echo "---- last lines of $stage_log" >&2
        tail -n 40 "$stage_log" >&2
    fi
    echo "---- logs: $logs" >&2
    exit 1
}
stage() { # NAME LOGFILE
    stage_name=$1
    stage_log=$logs/$2
    say "$1"
}

((EUID == 0)) || { echo "skipped: needs root (debootstrap, chroot, mount)"; exit 77; }
for tool in debootstrap git chroot mount umount; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian: debootstrap, git, util-linux)"
done

mkdir -p "$archives/partial" "$lists/partial" "$ccache_dir"
# One run per release at a time: they share the systems' folder and caches.
exec 9>"$cache/$release.lock"
flock -n 9 || { say "waiting for another run of this test for $release"; flock 9; }
rm -rf "$logs"
mkdir -p "$logs"

# --- mounts and processes ------------------------------------------------------

roots=()

# Ends every process whose root directory is under DIR.
end_processes_under() { # DIR
    local dir=$1 signal pid r left
    for signal in TERM KILL; do
        left=0
        for pid in $(ls /proc | grep -E '^[0-9]+$'); do
            r=$(readlink "/proc/$pid/root" 2>/dev/null) || continue
            [[ "$r" == "$dir" || "$r" == "$dir"/* ]] || continue
            kill -"$signal" "$pid" 2>/dev/null && left=1
        done
        ((left)) || return 0
        for _ in $(seq 50); do
            left=0
            for pid in $(ls /proc | grep -E '^[0-9]+$'); do
                r=$(readlink "/proc/$pid/root" 2>/dev/null) || continue
                [[ "$r" == "$dir" || "$r" == "$dir"/* ]] && { left=1; break; }
            done
            ((left)) || return 0
            sleep 0.1
        done
    done
}

# Unmounts everything mounted under DIR, deepest first.
unmount_under() { # DIR
    local dir=$1 m
    end_processes_under "$dir"
    for m in $(awk '{print $5}' /proc/self/mountinfo | grep -E "^$dir(/|$)" | sort -r); do
        umount "$m" 2>/dev/null || { sleep 1; umount "$m" 2>/dev/null; } ||
            { echo "warning: $m is busy, detached lazily" >&2; umount -l "$m"; }
    done
}

cleanup() {
    local status=$? r
    trap - EXIT INT TERM
    for r in "${roots[@]}"; do
        unmount_under "$r"
    done
    if ((status == 0)); then
        rm -rf "$work"
        say "passed in $((SECONDS - t_start)) s"
    else
        echo "fresh $release: the systems are left (unmounted) in $work" >&2
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'echo "FAIL: fresh $release, $stage_name: interrupted" >&2; exit 130' INT
trap 'echo "FAIL: fresh $release, $stage_name: terminated" >&2; exit 143' TERM

# Mounts what a running system has into ROOT, plus the caches.
mount_system() { # ROOT
    local r=$1
    roots+=("$r")
    mount -t proc proc "$r/proc"
    mount -t sysfs sysfs "$r/sys"
    mount --bind /dev "$r/dev"
    # Nothing mounted below the bind may show in the host's /dev.
    mount --make-private "$r/dev"
    mount --bind /dev/pts "$r/dev/pts"
    mount -t tmpfs -o mode=1777,nosuid,nodev shm "$r/dev/shm"
    mount -t tmpfs -o mode=755,nosuid,nodev run "$r/run"
    mkdir -m 1777 "$r/run/lock"
    mount --bind "$archives" "$r/var/cache/apt/archives"
    mount --bind "$lists" "$r/var/lib/apt/lists"
    mkdir -p "$r/var/cache/ccache"
    mount --bind "$ccache_dir" "$r/var/cache/ccache"
    cp -L /etc/resolv.conf "$r/etc/resolv.conf"
}

# Runs a command in ROOT as root, with a clean environment (and the display,
# once there is one).
export display=
# With in_place=exec (a background start), the chroot replaces the subshell,
# so that $! is the process inside.
inside() { # ROOT COMMAND...
    local r=$1
    shift
    ${in_place:-} chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        DEBIAN_FRONTEND=noninteractive \
        CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=4G \
        CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache \
        ${display:+DISPLAY=$display} \
        "$@"
}

export -f inside
# Runs STEP... with its output in the stage's log; fails the stage with
# MESSAGE when it fails or takes longer than SECONDS.
step() { # SECONDS MESSAGE COMMAND...
    local limit=$1 message=$2 status=0
    shift 2
    # In the background, so that a signal to this script is handled at once.
    timeout --kill-after=10 "$limit" bash -c '"$@"' step "$@" >>"$stage_log" 2>&1 &
    wait $! || status=$?
    ((status == 124 || status == 137)) && fail "$message (no end after $limit s)"
    ((status == 0)) || fail "$message (status $status)"
}

# --- the base system ----------------------------------------------------------

# What an earlier, killed run left.
unmount_under "$work"
rm -rf "$work"

stage "base system" base.log
if [[ ! -e "$base/.complete" ]]; then
    # debootstrap removes its own directory when it has finished.
    if [[ ! -x "$base/usr/bin/apt-get" || -d "$base/debootstrap" ]]; then
        rm -rf "$base"
        step 1800 "debootstrap $release from $mirror failed" \
            debootstrap --variant=minbase --cache-dir="$archives" "$release" "$base" "$mirror"
    fi
    # No service starts inside (it would outlive the test).
    printf '#!/bin/sh\nexit 101\n' >"$base/usr/sbin/policy-rc.d"
    chmod 755 "$base/usr/sbin/policy-rc.d"
    mount_system "$base"
    step 1200 "apt-get update in the base system failed" inside "$base" apt-get update
    step 1800 "the test's own tools (${harness[*]}) did not install" \
        inside "$base" apt-get install -y --no-install-recommends "${harness[@]}"
    unmount_under "$base"
    roots=()
    touch "$base/.complete"
fi

new_system() { # NAME: sets sys
    sys=$work/$1
    mkdir -p "$work"
    cp -a "$base" "$sys"
    # A mirror that stumbles once does not fail the test.
    echo 'Acquire::Retries "3";' >"$sys/etc/apt/apt.conf.d/80retries"
    mount_system "$sys"
}

# A display number that nobody uses on this machine (the abstract X socket
# namespace is shared with the host).
start_display() { # ROOT
    local r=$1 n
    for _ in $(seq 100); do
        n=$((100 + RANDOM % 800))
        grep -q "/tmp/.X11-unix/X$n\$" /proc/net/unix || [[ -e /tmp/.X$n-lock ]] || break
    done
    chroot "$r" /usr/bin/env -i PATH=/usr/bin:/bin Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset \
        >"$logs/xvfb-$(basename "$r").log" 2>&1 &
    display=:$n
    for _ in $(seq 100); do
        inside "$r" xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    inside "$r" xdpyinfo >/dev/null 2>&1 || fail "Xvfb does not start (see xvfb-$(basename "$r").log)"
    # A second start, should the first one meet the display still settling.
    for _ in 1 2; do
        inside "$r" openbox --sm-disable >>"$logs/openbox-$(basename "$r").log" 2>&1 &
        for _ in $(seq 100); do
            inside "$r" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return
            sleep 0.1
        done
    done
    fail "openbox does not manage the display"
}

# The visible windows in ROOT's display (only the program's: the display is
# its own) whose WHAT (classname or name) matches PATTERN, one id a line.
windows() { # ROOT WHAT PATTERN
    inside "$1" xdotool search --onlyvisible "--$2" "$3" 2>/dev/null || true
}

# Waits for the title window, presses OK (Return) and waits for the main
# window; fails if PID (the starting process) ends first.
press_ok_and_see_the_main_window() { # ROOT PID WAIT-SECONDS
    local r=$1 pid=$2 limit=$3 title= main= deadline
    deadline=$((SECONDS + limit))
    while [[ -z "$title" ]]; do
        kill -0 "$pid" 2>/dev/null || fail "it ended before its title window showed"
        ((SECONDS < deadline)) || fail "no title window after $limit s"
        # ./run shows the Inspection window too, of the same class.
        for w in $(windows "$r" classname '^tolvane$'); do
            [[ $(inside "$r" xdotool getwindowname "$w" 2>/dev/null) == 'KLD-350 Inspection'* ]] ||
                { title=$w; break; }
        done
        [[ -n "$title" ]] || sleep 1
    done
    say "title window is up; pressing OK"
    inside "$r" xdotool windowactivate --sync "$title" key Return >>"$stage_log" 2>&1 ||
        fail "cannot press Return in the title window"
    deadline=$((SECONDS + 60))
    while [[ -z "$main" ]]; do
        kill -0 "$pid" 2>/dev/null || fail "the program ended after OK"
        ((SECONDS < deadline)) || fail "no main window within 60 s of OK"
        main=$(windows "$r" name '^KLD-350 Polling Utility V' | head -n1)
        [[ -n "$main" ]] || sleep 0.5
    done
    inside "$r" xprop -id "$main" _NET_WM_NAME >>"$stage_log" 2>&1 || true
}

# SIGTERM to the program (EXE, started as PID or by it); PID must then end
# with status 0.
stop() { # PID EXE
    local pid status=0
    for pid in /proc/[0-9]*; do
        [[ $(readlink "$pid/exe" 2>/dev/null) == "$2" ]] && kill -TERM "${pid#/proc/}" || true
    done
    for _ in $(seq 100); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null && fail "it did not end within 10 s of SIGTERM"
    wait "$1" || status=$?
    ((status == 0)) || fail "it ended with status $status after SIGTERM"
}

# --- a) ./run from a clone ----------------------------------------------------

stage "./run from a clone" a-run.log
if [[ -n "$(git -C "$src" status --porcelain --untracked-files=no 2>/dev/null)" ]]; then
    say "note: uncommitted changes in $src are not part of this test (it clones HEAD)"
fi
git -C "$src" log -1 --format='clone of %H %s' >"$stage_log"
new_system a
sys_a=$sys
step 300 "git clone of $src failed" git clone --no-hardlinks "$src" "$sys_a/root/tolvane"
start_display "$sys_a"
in_place='exec' inside "$sys_a" bash -c 'cd /root/tolvane && exec ./run' >>"$stage_log" 2>&1 &
run_pid=$!
# Installing and building from nothing takes long on a slow machine.
press_ok_and_see_the_main_window "$sys_a" "$run_pid" 3600
backup=$sys_a/root/tolvane/rundir/databac.txt
# A record's time stamp; the header alone is there from the start.
for _ in $(seq 120); do
    grep -q '^#' "$backup" 2>/dev/null && break
    sleep 0.5
done
grep -q '^#' "$backup" 2>/dev/null || fail "no record reached rundir/databac.txt within 60 s of OK"
cp "$backup" "$logs/a-databac.txt"
stop "$run_pid" "$sys_a/root/tolvane/build/tolvane"
say "a record reached rundir/databac.txt"

# --- b) the README's package commands -----------------------------------------

stage "the README's package commands" b-package.log
# The indented lines under "Build and install the package", up to the blank
# line; the last one installs the package, which c) does on a second system.
commands=$(awk '/^## Build and install the package/ {s=1; next}
    s && /^    / {print substr($0, 5); c=1; next}
    s && c {exit}' "$sys_a/root/tolvane/README.md" | grep -v 'apt install \./' |
    sed -e 's/^sudo //; s/^apt install /apt-get install -y /')
[[ -n "$commands" ]] || fail "no commands found in the README"
printf '%s\n' "$commands" >"$logs/b-commands.sh"
step 3600 "a README command failed" inside "$sys_a" bash -exc "cd /root/tolvane; $commands"
debs=("$sys_a"/root/tolvane/build/tolvane_*.deb)
[[ -f "${debs[0]}" && ${#debs[@]} -eq 1 ]] || fail "expected one build/tolvane_*.deb, found: ${debs[*]}"
deb=$logs/$(basename "${debs[0]}")
cp "${debs[0]}" "$deb"
dpkg-deb --field "$deb" Package Version Depends >>"$stage_log"
say "built $(basename "$deb")"

# --- the whole ./test ---------------------------------------------------------

if [[ "$whole" == --whole-test ]]; then
    stage "the whole ./test" test.log
    step 5400 "./test failed" inside "$sys_a" bash -c 'cd /root/tolvane && CI=true ./test --no-fresh'
    cp -r "$sys_a/root/tolvane/build/artifacts" "$logs/test-artifacts" 2>/dev/null || true
    say "./test passed"
fi
unmount_under "$sys_a"

# --- c) the package on a second fresh system ----------------------------------

stage "the package on a second system" c-install.log
new_system b
sys_b=$sys
cp "$deb" "$sys_b/tmp/"
step 600 "apt-get update failed" inside "$sys_b" apt-get update
step 1800 "apt-get install ./$(basename "$deb") failed" \
    inside "$sys_b" apt-get install -y "/tmp/$(basename "$deb")"
version=$(inside "$sys_b" tolvane --version 2>>"$stage_log") || fail "tolvane --version failed: $version"
[[ "$version" == "$version_line" ]] || fail "tolvane --version printed '$version', not '$version_line'"
start_display "$sys_b"
mkdir -p "$sys_b/root/work"
in_place='exec' inside "$sys_b" bash -c 'cd /root/work && exec tolvane' >>"$stage_log" 2>&1 &
app_pid=$!
press_ok_and_see_the_main_window "$sys_b" "$app_pid" 120
stop "$app_pid" "$sys_b/usr/bin/tolvane"
say "installed, \"$version\", main window opened"
