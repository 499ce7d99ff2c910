#!/usr/bin/env bash
# Runs a program inside a private desktop session: a fresh home with its own
# XDG folders (so settings and the statistics database land there), no session
# bus (the tray icon then embeds through XEmbed), a tray host, and the test
# browser as the desktop's URL handler. Everything it starts is stopped on the
# way out, also when the program fails or is killed.
# Usage: session.sh PROGRAM [ARGS...]
# E2E_DESKTOP=none leaves the tray host out, as on a desktop without a tray.
# E2E_SESSIONS names the folder for session homes (default: $TMPDIR or /tmp);
# E2E_KEEP=1 keeps the session home for a look afterwards; E2E_ATSPI=1 adds a
# session bus with the accessibility bus on it, so the program can be read
# and driven the way a screen reader does.
set -u

here=$(cd "$(dirname "$0")" && pwd)

# First, where mount namespaces allow it: a private, empty /run/vantrelvpn, so
# the simulated service started here never meets services or apps that other
# suites (or a real installation) run on the machine. Without it the ctest
# resource lock is the only guard.
if [ -z "${E2E_PRIVATE_RUN:-}" ]; then
    export E2E_PRIVATE_RUN=1
    if [ "$(id -u)" = 0 ] && mkdir -p /run/vantrelvpn 2>/dev/null \
        && unshare -m --propagation private true 2>/dev/null; then
        exec unshare -m --propagation private sh -c \
            'mount -t tmpfs -o mode=0755 tmpfs /run/vantrelvpn \
                || echo "session.sh: /run/vantrelvpn is shared with the rest of the machine" >&2
             exec "$0" "$@"' "$0" "$@"
    fi
fi

# Outside the display: make the session home, which also holds the display's
# key, run the rest under a display of its own, then remove the home. The
# display number is drawn at random: xvfb-run's search for a free one races
# with other sessions started at the same moment.
if [ -z "${E2E_ROOT:-}" ]; then
    base=${E2E_SESSIONS:-${TMPDIR:-/tmp}}
    mkdir -p "$base"
    E2E_ROOT=$(mktemp -d "$base/vantrelvpn-e2e.XXXXXX") || exit 1
    export E2E_ROOT
    trap 'if [ "${E2E_KEEP:-0}" = 1 ]; then echo "session.sh: kept $E2E_ROOT" >&2; else rm -rf "$E2E_ROOT"; fi' EXIT
    # A display that cannot be reached (it happens now and then on a busy
    # machine) gets two more tries on other numbers; see the exit code 75 below.
    for _ in 1 2 3; do
        xvfb-run -a -n $((200 + RANDOM % 700)) -e "$E2E_ROOT/xvfb.log" -f "$E2E_ROOT/Xauthority" \
            -s "-screen 0 1280x800x24" "$0" "$@"
        status=$?
        [ "$status" -ne 75 ] && break
        rm -f "$E2E_ROOT/Xauthority"
    done
    exit "$status"
fi

root=$E2E_ROOT
tray_pid=
program_pid=
bus_pid=

cleanup() {
    trap - EXIT INT TERM
    # The program runs in a process group of its own, so whatever it left
    # behind (app, service, browser) is stopped by that group's id, never by
    # name: other sessions stay untouched.
    if [ -n "$program_pid" ]; then
        kill -TERM -- "-$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
        kill -KILL -- "-$program_pid" 2>/dev/null
    fi
    if [ -n "$tray_pid" ]; then
        kill "$tray_pid" 2>/dev/null
        wait "$tray_pid" 2>/dev/null
    fi
    if [ -n "$bus_pid" ]; then
        kill "$bus_pid" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$root/home/Desktop" "$root/config" "$root/data/applications" "$root/cache" "$root/runtime"
chmod 700 "$root" "$root/runtime"
export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data"
export XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export E2E_BROWSER_LOG="$root/browser.log"
unset DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM SESSION_MANAGER

# The sign-in page goes to the test browser: Qt hands http(s) addresses to
# xdg-open when it exists, which asks the MIME defaults first, else $BROWSER.
export BROWSER="$here/browser.sh"
cat >"$root/data/applications/vantrelvpn-e2e-browser.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=End-to-end test browser
Exec=$here/browser.sh %u
NoDisplay=true
DESKTOP
cat >"$root/config/mimeapps.list" <<MIME
[Default Applications]
x-scheme-handler/http=vantrelvpn-e2e-browser.desktop
x-scheme-handler/https=vantrelvpn-e2e-browser.desktop
MIME

for _ in $(seq 1 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
if ! xdpyinfo >/dev/null 2>&1; then
    echo "session.sh: display $DISPLAY cannot be reached, trying another" >&2
    exit 75
fi

# trayer now and then fails to open a display that answers everyone else;
# a second start works.
[ "${E2E_DESKTOP:-}" = none ] || for _ in 1 2 3; do
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType false \
        --expand true --transparent false --tint 0x333333 >>"$root/trayer.log" 2>&1 &
    tray_pid=$!
    for _ in $(seq 1 100); do
        xdotool search --classname '^trayer$' >/dev/null 2>&1 && break
        kill -0 "$tray_pid" 2>/dev/null || break
        sleep 0.1
    done
    xdotool search --classname '^trayer$' >/dev/null 2>&1 && break
    kill "$tray_pid" 2>/dev/null
    wait "$tray_pid" 2>/dev/null
    tray_pid=
done
if [ -z "$tray_pid" ] && [ "${E2E_DESKTOP:-}" != none ]; then
    echo "session.sh: the tray host did not come up" >&2
    cat "$root/trayer.log" "$root/xvfb.log" >&2
    exit 75
fi

# Qt joins the accessibility bus only if it exists when the app starts, so
# it is started (by asking the registry for the desktop) before the program.
if [ "${E2E_ATSPI:-0}" = 1 ]; then
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || exit 1
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*} QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    bus_pid=${bus##*$'\n'}
    /usr/bin/python3 -c 'import pyatspi; pyatspi.Registry.getDesktop(0)' || exit 1
fi

setsid "$@" &
program_pid=$!
wait "$program_pid"
status=$?
# Anything still running in its group is cleaned up on the way out.
exit "$status"
