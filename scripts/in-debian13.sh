#!/usr/bin/env bash
# Runs a command in a Debian 13 (trixie) root on this machine, in a copy of
# this tree, as root: for example
#   sudo ./scripts/in-debian13.sh ./scripts/test.sh
#   sudo ./scripts/in-debian13.sh ./scripts/run.sh
# The root is made with debootstrap on first use (DEBIAN13_ROOT, default
# /var/tmp/vantrelvpn-debian13) and kept, so later runs reuse its packages and
# its build folder. The tree's files (tracked and untracked, not ignored) are
# copied to /src/vantrelvpn in it before each run; what the command writes
# there (build/, tour/: ignored here) stays in the root.
#
# The command runs in a private mount namespace: /proc, /sys, /dev and
# /dev/pts of this machine, a private /run and /tmp, and no other mount of
# this machine. Everything is unmounted when it ends.
#
# Variables passed into the root when set: SKIP_DEPS BUILD_DIR TOUR_DIR
# QT_SCALE_FACTOR SIM_ARGS IDLE_SECONDS STARTUP_RUNS CTEST_ARGS.
set -euo pipefail
cd "$(dirname "$0")/.."

root=$(realpath -m "${DEBIAN13_ROOT:-/var/tmp/vantrelvpn-debian13}")
mirror=${DEBIAN13_MIRROR:-http://deb.debian.org/debian}
src=/src/vantrelvpn

if [ "${1:-}" = --inside ]; then
    shift
    # The root a mount of its own, so that a command inside may make a
    # private mount namespace of its own too (scripts/bench.sh does).
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=0755 tmpfs "$root/run"
    mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
    mkdir -p "$root/run/lock" "$root/dev/shm"
    passed=()
    for name in SKIP_DEPS BUILD_DIR TOUR_DIR QT_SCALE_FACTOR SIM_ARGS IDLE_SECONDS STARTUP_RUNS CTEST_ARGS; do
        if [ -n "${!name+set}" ]; then passed+=("$name=${!name}"); fi
    done
    exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${passed[@]}" \
        /bin/bash -c 'cd "$0" && exec "$@"' "$src" "$@"
fi

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGUMENT...]   (run as root)" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "in-debian13.sh: run as root (sudo $0 ...)" >&2
    exit 1
fi

if ! command -v debootstrap >/dev/null || ! command -v rsync >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap rsync >/dev/null
fi
if [ ! -x "$root/usr/bin/apt-get" ]; then
    echo "in-debian13.sh: making a Debian 13 root in $root"
    rm -rf "$root"
    debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1 \
        || { tail -n 20 "$root.log" >&2; exit 1; }
    rm -f "$root.log"
    # Services that packages would start on installation stay off: the root
    # runs no init.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

# Only what changed is copied, and it gets the time of the copy: a build
# folder in the root then rebuilds what changed and nothing else, whatever the
# times of the files here.
mkdir -p "$root$src"
rsync -r --checksum --delete --exclude=/.git --filter=':- .gitignore' ./ "$root$src/"

exec unshare --mount --propagation private -- env DEBIAN13_ROOT="$root" "$0" --inside "$@"
