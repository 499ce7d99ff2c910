#!/usr/bin/env bash
# Runs a program inside a private desktop session: a fresh home with its own
# XDG folders (so settings and the statistics database land there), a tray
# host, and the test browser as the desktop's URL handler. Everything it starts
# is stopped on the way out, also when the program fails or is killed.
# Usage: session.sh PROGRAM [ARGS...]
# E2E_DESKTOP chooses the desktop:
#   xembed   (default) X11 under Xvfb with trayer and no session bus, so the
#            tray icon embeds through XEmbed and notifications are Qt's own
#   none     the same without a tray host, as on a desktop without a tray
#   sni      X11 under Xvfb with a private session bus and xfce4-panel
#            hosting StatusNotifierItems
#   wayland  sway's headless backend, the app on Qt's Wayland plugin, and on a
#            private session bus sway's bar hosting StatusNotifierItems
# E2E_SESSIONS names the folder for session homes (default: $TMPDIR or /tmp);
# E2E_KEEP=1 keeps the session home for a look afterwards; E2E_ATSPI=1 adds a
# session bus with the accessibility bus on it, so the program can be read
# and driven the way a screen reader does.
set -u

here=$(cd "$(dirname "$0")" && pwd)
desktop=${E2E_DESKTOP:-xembed}
case "$desktop" in
xembed | none | sni | wayland) ;;
*)
    echo "session.sh: unknown E2E_DESKTOP \"$desktop\" (xembed, none, sni, wayland)" >&2
    exit 2
    ;;
esac
export E2E_DESKTOP=$desktop

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
        if [ "$desktop" = wayland ]; then
            "$0" "$@"
        else
            xvfb-run -a -n $((200 + RANDOM % 700)) -e "$E2E_ROOT/xvfb.log" -f "$E2E_ROOT/Xauthority" \
                -s "-screen 0 1280x800x24" "$0" "$@"
        fi
        status=$?
        [ "$status" -ne 75 ] && break
        rm -f "$E2E_ROOT/Xauthority"
    done
    exit "$status"
fi

root=$E2E_ROOT
helpers=()
program_pid=

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
    # Desktop helpers, last started first.
    local i
    for ((i = ${#helpers[@]} - 1; i >= 0; i--)); do
        kill "${helpers[i]}" 2>/dev/null
        wait "${helpers[i]}" 2>/dev/null
    done
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

# Waits up to five seconds for a command to succeed.
await() {
    local _
    for _ in $(seq 1 50); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

start_xembed_tray() {
    # trayer now and then fails to open a display that answers everyone else;
    # a second start works.
    local _ pid
    for _ in 1 2 3; do
        trayer --edge bottom --align right --widthtype request --height 32 --SetDockType false \
            --expand true --transparent false --tint 0x333333 >>"$root/trayer.log" 2>&1 &
        pid=$!
        if await xdotool search --classname '^trayer$'; then
            helpers+=("$pid")
            return 0
        fi
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    echo "session.sh: the tray host did not come up" >&2
    cat "$root/trayer.log" "$root/xvfb.log" >&2
    return 1
}

# A session bus of the session's own; its services (the panel's settings
# store among them) are started on demand from the system's service files.
# sway's bar runs as nobody, so every user may connect.
start_bus() {
    cat >"$root/bus.conf" <<'BUS'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default">
    <allow user="*"/>
  </policy>
</busconfig>
BUS
    dbus-daemon --config-file="$root/bus.conf" --nofork --nopidfile --address="unix:path=$root/bus" \
        >>"$root/dbus.log" 2>&1 &
    helpers+=("$!")
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$root/bus"
    await dbus-send --session --dest=org.freedesktop.DBus --print-reply / org.freedesktop.DBus.GetId \
        || { echo "session.sh: the session bus did not come up" >&2; cat "$root/dbus.log" >&2; return 1; }
}

host_registered() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:IsStatusNotifierHostRegistered 2>/dev/null | grep -q 'boolean true'
}

# Qt chooses the D-Bus tray only when a StatusNotifierItem host is registered
# at its first use of the tray, so the host is up before the program. No
# notification server is started: the end-to-end test serves that name itself.
await_tray_host() {
    local _
    for _ in 1 2 3 4; do
        await host_registered && return 0
    done
    echo "session.sh: the panel did not come up" >&2
    cat "$root"/*.log >&2
    return 1
}

# xfce4-panel with one bar along the bottom holding only its notification
# area, written to its settings store so it asks nothing on its first start.
start_xfce_panel() {
    local channel=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$channel"
    cat >"$channel/xfce4-panel.xml" <<'PANEL'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=10;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
PANEL
    xfce4-panel --disable-wm-check >>"$root/panel.log" 2>&1 &
    helpers+=("$!")
}

# sway's headless backend on one 1280x800 output with a plain blue-grey
# background, so transparent window parts show, and sway's own bar along the
# bottom with only its tray, which hosts StatusNotifierItems and turns a
# secondary click into the item's ContextMenu call. sway refuses to run as
# root: it runs as nobody, in a folder of its own that root's clients reach.
start_sway() {
    local dir=$root/sway
    mkdir -p "$dir/runtime"
    cat >"$dir/config" <<'SWAY'
output HEADLESS-1 resolution 1280x800 background #5A7D9A solid_color
default_border none
default_floating_border none
bar {
    position bottom
    height 32
    workspace_buttons no
    tray_output *
}
SWAY
    chown -R 65534:65534 "$dir"
    chmod 700 "$dir/runtime"
    # nobody passes through the session folder to its own.
    chmod 711 "$root"
    env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
        WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$dir/config" >>"$root/sway.log" 2>&1 &
    helpers+=("$!")
    local _ socket
    for _ in $(seq 1 100); do
        socket=$(find "$dir/runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)
        SWAYSOCK=$(find "$dir/runtime" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n 1)
        [ -n "$socket" ] && [ -n "$SWAYSOCK" ] && break
        sleep 0.1
    done
    if [ -z "$socket" ] || [ -z "$SWAYSOCK" ]; then
        echo "session.sh: sway did not come up" >&2
        cat "$root/sway.log" >&2
        return 1
    fi
    export SWAYSOCK WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland
    unset DISPLAY XAUTHORITY
    await swaymsg -t get_outputs
}

case "$desktop" in
xembed | none | sni)
    if ! await xdpyinfo; then
        echo "session.sh: display $DISPLAY cannot be reached, trying another" >&2
        exit 75
    fi
    ;;
esac
case "$desktop" in
xembed | none)
    # No session bus, and none started on demand by D-Bus's X11 autolaunch
    # either (it would outlive the session).
    export DBUS_SESSION_BUS_ADDRESS=disabled:
    if [ "$desktop" = xembed ]; then
        start_xembed_tray || exit 75
    fi
    ;;
sni) { start_bus && start_xfce_panel && await_tray_host; } || exit 75 ;;
wayland) { start_bus && start_sway && await_tray_host; } || exit 75 ;;
esac

# Qt joins the accessibility bus only if it exists when the app starts, so
# it is started (by asking the registry for the desktop) before the program,
# on the desktop's session bus or, on the X11 desktops without one, one of
# its own.
if [ "${E2E_ATSPI:-0}" = 1 ]; then
    if [ "$desktop" = xembed ] || [ "$desktop" = none ]; then
        start_bus || exit 75
    fi
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    /usr/bin/python3 -c 'import pyatspi; pyatspi.Registry.getDesktop(0)' || exit 1
fi

setsid "$@" &
program_pid=$!
wait "$program_pid"
status=$?
# Anything still running in its group is cleaned up on the way out.
exit "$status"
