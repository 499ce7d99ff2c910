#!/usr/bin/python3
"""Drives the real app against the simulated service without a pointer.

  a11y_walk.py atspi APP SIMSERVICE     only accessibility actions, as a
                                        screen reader does
  a11y_walk.py keyboard APP SIMSERVICE  only keys (xdotool), focus read back
                                        through the accessibility tree

Runs inside session.sh with E2E_ATSPI=1 (X display, tray host, session and
accessibility buses). What the app did is checked in the service's log and in
what the accessibility tree reads afterwards.
"""

import os
import subprocess
import sys
import threading
import time

import pyatspi

TIMEOUT = 15


class Failure(Exception):
    pass


def wait(what, probe, timeout=TIMEOUT):
    """Polls `probe` until it returns something true; fails naming `what`."""
    end = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # objects vanish while a screen is replaced
            result = None
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


class Service:
    """The simulated service; its log lines are what it saw of the app."""

    def __init__(self, program, *args):
        self.lines = []
        self.process = subprocess.Popen([program, *args], stdin=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        wait("the service to listen", lambda: any(line.startswith("listening") for line in self.lines))

    def _read(self):
        for line in self.process.stderr:
            self.lines.append(line.strip().removeprefix("simservice: "))

    def count(self, line):
        return self.lines.count(line)

    def wait_for(self, line):
        wait("service log line '%s'" % line, lambda: line in self.lines)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class App:
    """The app's windows as the accessibility tree shows them."""

    def __init__(self, program):
        self.process = subprocess.Popen([program], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.root = wait("the app on the accessibility bus", self._find_root, 30)

    def _find_root(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app and app.get_process_id() == self.process.pid:
                return app
        return None

    def window(self):
        """The main window: the frame with the minimise button."""
        return self._frame(lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name in ("Minimize", "Свернуть"))

    def popup(self):
        """The tray popup while it is shown: the frame with the quit button."""
        return self._frame(lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name in ("Quit", "Выход"))

    def _frame(self, marker):
        for frame in self.root:
            if frame and frame.getState().contains(pyatspi.STATE_SHOWING) and pyatspi.findDescendant(frame, marker):
                return frame
        return None

    def find(self, role, name, scope=None):
        """The first control with this role and name, also where it is
        scrolled out of view: a screen reader reaches it there."""
        scope = scope or self.window()
        return pyatspi.findDescendant(scope, lambda n: n.getRole() == role and n.name == name) if scope else None

    def control(self, role, name, scope=None):
        return wait("%s '%s'" % (role, name),
                    lambda: self.find(role, name, scope))

    def focused(self):
        for frame in self.root:
            node = pyatspi.findDescendant(
                frame, lambda n: n.getState().contains(pyatspi.STATE_FOCUSED)) if frame else None
            if node:
                return node
        return None

    def exit_code(self, timeout=10):
        code = self.process.wait(timeout)
        output = self.process.stdout.read()
        # QML errors at run time break screens in ways a tree need not show.
        if "qrc:/" in output:
            raise Failure("QML errors:\n" + output)
        return code


def act(node, action):
    """Runs the named action, as a screen reader's command does."""
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise Failure("'%s' offers %s, not %s" % (node.name, names, action))
    actions.doAction(names.index(action))


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def expect(what, condition):
    if not condition:
        raise Failure(what)


def tray_click(button):
    """The one pointer step: the tray icon lives outside the app's tree."""
    for wid in subprocess.run(["xdotool", "search", "--class", "^trayer$"], capture_output=True,
                              text=True).stdout.split():
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                               text=True).stdout
        geometry = dict(line.split("=") for line in shell.split())
        if geometry.get("HEIGHT") == "32":
            x = int(geometry["X"]) + int(geometry["WIDTH"]) // 2
            y = int(geometry["Y"]) + 16
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", str(button),
                            "mousemove", "0", "0"], check=True)
            return
    raise Failure("no tray panel")


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)
        time.sleep(0.15)


def walk_atspi(app, service):
    # Sign in: the test browser confirms the page the button opens.
    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Sign in via browser"), "Press")
    service.wait_for("command login_start")
    service.wait_for("sign-in confirmed")
    expect("home is the current tab", checked(app.control(pyatspi.ROLE_PAGE_TAB, "Home")))

    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Not connected"), "Press")
    service.wait_for("state connected")
    app.control(pyatspi.ROLE_PUSH_BUTTON, "Protected")
    # The address reads as hidden, never as its bullets, until asked for.
    spoiler = app.control(pyatspi.ROLE_PUSH_BUTTON, "IP address hidden")
    expect("the hidden address says how to show it", spoiler.description == "Press to show")
    act(spoiler, "Press")
    wait("the address read out", lambda: spoiler.name[:1].isdigit() and spoiler.description == "Press to hide")

    theme = app.control(pyatspi.ROLE_PUSH_BUTTON, "Switch to light theme")
    act(theme, "Press")
    wait("the theme button to offer the dark theme", lambda: theme.name == "Switch to dark theme")

    act(app.control(pyatspi.ROLE_PAGE_TAB, "Settings"), "Press")
    # A screen reader activates a radio button with its first action.
    always = app.control(pyatspi.ROLE_RADIO_BUTTON, "Always")
    expect("a segment's first action is Toggle", always.queryAction().getName(0) == "Toggle")
    always.queryAction().doAction(0)
    service.wait_for("command set_kill_switch")
    wait("the service's mode to come back as the checked segment", lambda: checked(always))
    expect("one segment checked", not checked(app.control(pyatspi.ROLE_RADIO_BUTTON, "Off")))

    # A switch toggles through its first action too, and shows the new state.
    split = app.control(pyatspi.ROLE_CHECK_BOX, "Split Tunnel")
    before = checked(split)
    split.queryAction().doAction(0)
    wait("the split tunnel switch to flip", lambda: checked(split) != before)

    app.control(pyatspi.ROLE_RADIO_BUTTON, "RU").queryAction().doAction(0)
    app.control(pyatspi.ROLE_PAGE_TAB, "Настройки")
    for name in ("Свернуть", "Закрыть", "Включить тёмную тему"):
        app.control(pyatspi.ROLE_PUSH_BUTTON, name)
    expect("the kill switch keeps its mode", checked(app.control(pyatspi.ROLE_RADIO_BUTTON, "Всегда")))

    # Quit from the tray popup: with the kill switch always on the service stays.
    tray_click(3)
    popup = wait("the tray popup", app.popup)
    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Выход", popup), "Press")
    expect("the app quits cleanly", app.exit_code() == 0)
    service.wait_for("client left")
    expect("the service is not shut down", service.count("command shutdown") == 0)


def focus_order(app, names, keys=("Tab",)):
    """Presses `keys` before each name and checks where the focus lands."""
    seen = []
    for name in names:
        key(*keys)
        node = wait("focus on '%s' after %s" % (name, seen),
                    lambda: app.focused() if app.focused().name == name else None)
        seen.append(node.name)
    return node


def walk_keyboard(app, service):
    service.wait_for("handshake accepted")
    dial = app.control(pyatspi.ROLE_PUSH_BUTTON, "Not connected")
    wid = wait("the window on screen", lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^VantrelVPN$"], capture_output=True,
        text=True).stdout.split()[0])
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)
    # A new screen starts with the focus on its first control.
    wait("the dial focused", lambda: app.focused() and app.focused().name == dial.name)

    key("space")
    service.wait_for("state connected")
    # Title bar, screen top to bottom, tab bar, round again; Shift+Tab goes back.
    focus_order(app, ["IP address hidden", "Home", "Switch to light theme", "Minimize", "Close", "Protected"])
    focus_order(app, ["Close", "Minimize"], ("shift+Tab",))
    focus_order(app, ["Close", "Protected", "IP address hidden"])
    key("Return")
    wait("the address read out", lambda: app.focused().name[:1].isdigit())

    # The tab bar is one stop; arrows select as they move and keep the focus.
    focus_order(app, ["Home"])
    tab = focus_order(app, ["Statistics", "Settings"], ("Right",))
    expect("the settings tab is current", checked(tab))
    focus_order(app, ["Home"], ("Home",))
    focus_order(app, ["Settings"], ("End",))
    # Each group is one stop: the chosen segment.
    focus_order(app, ["Switch to light theme", "Minimize", "Close", "Off", "WireGuard", "Split Tunnel",
                      "Gaming mode", "Start with Windows", "Dark theme", "EN", "Support report: Save",
                      "Log out", "Settings", "Switch to light theme", "Minimize", "Close", "Off"])

    # A segmented control: Right moves on and asks the service for that mode.
    focus_order(app, ["On connect"], ("Right",))
    service.wait_for("command set_kill_switch")
    wait("the new mode checked", lambda: checked(app.focused()))
    switch = focus_order(app, ["WireGuard", "Split Tunnel"])
    before = checked(switch)
    key("space")
    wait("the switch to flip", lambda: checked(switch) != before)

    # The popup opens with its main button focused; Escape closes it.
    tray_click(3)
    popup = wait("the popup with its main button focused",
                 lambda: app.focused().name == "Disconnect" and app.popup())
    key("Escape")
    wait("the popup closed", lambda: not popup.getState().contains(pyatspi.STATE_SHOWING))
    # Space on the main button; Quit reached with Tab.
    tray_click(3)
    wait("the popup's main button focused", lambda: app.focused().name == "Disconnect" and app.popup())
    key("space")
    service.wait_for("command disconnect")
    focus_order(app, ["Open VantrelVPN", "Quit"])
    key("space")
    expect("the app quits cleanly", app.exit_code() == 0)


def main():
    mode, app_path, service_path = sys.argv[1:4]
    # The service owns /run/vantrelvpn; session.sh makes the rest.
    if os.geteuid() != 0 or "E2E_ROOT" not in os.environ:
        print("SKIP: run as root through session.sh with E2E_ATSPI=1")
        return 77
    service = Service(service_path, *(["--signed-in"] if mode == "keyboard" else []))
    app = None
    try:
        app = App(app_path)
        (walk_atspi if mode == "atspi" else walk_keyboard)(app, service)
    except Failure as failure:
        print("FAIL:", failure)
        print("service log:\n  " + "\n  ".join(service.lines))
        if app and app.process.poll() is None:
            app.process.terminate()
            print("app output:\n" + app.process.communicate(timeout=10)[0])
        return 1
    finally:
        if app and app.process.poll() is None:
            app.process.terminate()
        service.stop()
    print("PASS:", mode)
    return 0


if __name__ == "__main__":
    sys.exit(main())
