#!/usr/bin/env bash
# Runs a program inside a private desktop session: a fresh home with its own
# XDG folders (so settings and the statistics database land there), no session
# bus (the tray icon then embeds through XEmbed), a tray host, and the test
# browser as the desktop's URL handler. Everything it starts is stopped on the
# way out, also when the program fails or is killed.
# Usage: session.sh PROGRAM [ARGS...]
set -u

# A display of its own on a random number: xvfb-run's search for a free one
# races with other sessions started at the same moment.
if [ -z "${E2E_IN_XVFB:-}" ]; then
    export E2E_IN_XVFB=1
    exec xvfb-run -a -n $((200 + RANDOM % 700)) -s "-screen 0 1280x800x24" "$0" "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/vantrelvpn-e2e.XXXXXX") || exit 1
tray_pid=
program_pid=

cleanup() {
    trap - EXIT INT TERM
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    # Whatever the program left behind (app, service, browser) is found by
    # its parent id, never by name, so other sessions stay untouched.
    if [ -n "$program_pid" ]; then
        pkill -TERM -P "$program_pid" 2>/dev/null
    fi
    if [ -n "$tray_pid" ]; then
        kill "$tray_pid" 2>/dev/null
        wait "$tray_pid" 2>/dev/null
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then
        echo "session.sh: kept $root" >&2
    else
        rm -rf "$root"
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
export E2E_ROOT="$root"
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

trayer --edge bottom --align right --widthtype request --height 32 --SetDockType false \
    --expand true --transparent false --tint 0x333333 >"$root/trayer.log" 2>&1 &
tray_pid=$!
for _ in $(seq 1 100); do
    xdotool search --classname '^trayer$' >/dev/null 2>&1 && break
    sleep 0.1
done
if ! xdotool search --classname '^trayer$' >/dev/null 2>&1; then
    echo "session.sh: the tray host did not come up" >&2
    cat "$root/trayer.log" >&2
    exit 1
fi

"$@" &
program_pid=$!
wait "$program_pid"
status=$?
program_pid=
exit "$status"
