#!/usr/bin/python3
"""Drives the real app against the simulated service without a pointer:
`a11y_walk.py atspi|keyboard APP SIMSERVICE`, inside session.sh with
E2E_ATSPI=1. "atspi" uses only accessibility actions, as a screen reader does;
"keyboard" only keys (xdotool), with the focus read back from the tree. What
the app did is checked in the service's log and in what the tree then reads."""

import os
import subprocess
import sys
import threading
import time

import pyatspi


class Failure(Exception):
    pass


def wait(what, probe, timeout=15):
    """Polls `probe` until it returns something true; fails naming `what`."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            result = probe()
        except Exception:  # objects vanish while a screen is replaced
            result = None
        if result:
            return result
        time.sleep(0.1)
    raise Failure("timed out waiting for " + what)


def expect(what, condition):
    if not condition:
        raise Failure(what)


class Service:
    """The simulated service; its log lines are what it saw of the app. Lines
    written to it inject faults."""

    def __init__(self, program, *args):
        self.lines = []
        # When each line arrived (time.time()), for the lines in the same order.
        self.stamps = []
        self.process = subprocess.Popen([program, *args], stdin=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.wait_for("listening", prefix=True)

    def _read(self):
        for line in self.process.stderr:
            self.stamps.append(time.time())
            self.lines.append(line.strip().removeprefix("simservice: "))

    def control(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def wait_for(self, line, prefix=False):
        wait("service log line '%s'" % line,
             lambda: any(l == line or prefix and l.startswith(line) for l in list(self.lines)))


class App:
    """The app as the accessibility tree shows it."""

    def __init__(self, program):
        self.process = subprocess.Popen([program], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.root = wait("the app on the accessibility bus", lambda: next(
            a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == self.process.pid), 30)

    def _frame(self, *buttons):
        for frame in self.root:
            if frame and frame.getState().contains(pyatspi.STATE_SHOWING) and pyatspi.findDescendant(
                    frame, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name in buttons):
                return frame
        return None

    def window(self):
        return self._frame("Minimize", "Свернуть")

    def popup(self):
        """The tray popup while it is shown."""
        return self._frame("Quit", "Выход")

    def control(self, role, name, scope=None):
        """A control by role and name, also scrolled out of view: a screen
        reader reaches it there."""
        return wait("%s '%s'" % (role, name), lambda: pyatspi.findDescendant(
            scope or self.window(), lambda n: n.getRole() == role and n.name == name))

    def focused(self):
        return next(filter(None, (pyatspi.findDescendant(
            f, lambda n: n.getState().contains(pyatspi.STATE_FOCUSED)) for f in self.root if f)), None)

    def quits_cleanly(self):
        code = self.process.wait(10)
        output = self.process.stdout.read()
        # QML errors at run time break screens in ways a tree need not show.
        expect("no QML errors:\n" + output, "qrc:/" not in output)
        return code == 0


def act(node, action):
    """Runs the named action, as a screen reader's command does."""
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    expect("'%s' offers %s" % (node.name, action), action in names)
    actions.doAction(names.index(action))


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def tray_click():
    """The one pointer step, a click on the tray icon: it is not in the app's
    tree."""
    for wid in subprocess.run(["xdotool", "search", "--class", "^trayer$"], capture_output=True,
                              text=True).stdout.split():
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True, text=True)
        g = dict(line.split("=") for line in shell.stdout.split())
        if g.get("HEIGHT") == "32":
            subprocess.run(["xdotool", "mousemove", str(int(g["X"]) + int(g["WIDTH"]) // 2), str(int(g["Y"]) + 16),
                            "click", "1", "mousemove", "0", "0"], check=True)
            return
    raise Failure("no tray panel")


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)
        time.sleep(0.15)


def focus_order(app, names, keys=("Tab",)):
    """Presses `keys` before each name and checks where the focus lands."""
    for i, name in enumerate(names):
        key(*keys)
        node = wait("focus on '%s' after %s" % (name, names[:i]),
                    lambda: app.focused() if app.focused().name == name else None)
    return node


def walk_atspi(app, service):
    # Sign in: the test browser confirms the page the button opens. The window
    # can be up before the link to the service is: a press before then is lost.
    service.wait_for("handshake accepted")
    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Sign in via browser"), "Press")
    service.wait_for("sign-in confirmed")
    expect("home is the current tab", checked(app.control(pyatspi.ROLE_PAGE_TAB, "Home")))

    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Not connected"), "Press")
    service.wait_for("state connected")
    app.control(pyatspi.ROLE_PUSH_BUTTON, "Protected")
    # The address reads as hidden, never as its bullets, until asked for.
    spoiler = app.control(pyatspi.ROLE_PUSH_BUTTON, "IP address hidden")
    expect("the hidden address says how to show it", spoiler.description == "Press to show")
    act(spoiler, "Press")
    wait("the address read out", lambda: spoiler.name[0].isdigit() and spoiler.description == "Press to hide")
    theme = app.control(pyatspi.ROLE_PUSH_BUTTON, "Switch to light theme")
    act(theme, "Press")
    wait("the theme button to offer the dark theme", lambda: theme.name == "Switch to dark theme")

    # A screen reader activates radio buttons and check boxes with their first action.
    act(app.control(pyatspi.ROLE_PAGE_TAB, "Settings"), "Press")
    always = app.control(pyatspi.ROLE_RADIO_BUTTON, "Always")
    expect("a segment's first action is Toggle", always.queryAction().getName(0) == "Toggle")
    always.queryAction().doAction(0)
    service.wait_for("command set_kill_switch")
    wait("the service's mode to come back checked", lambda: checked(always))
    expect("one segment checked", not checked(app.control(pyatspi.ROLE_RADIO_BUTTON, "Off")))
    split = app.control(pyatspi.ROLE_CHECK_BOX, "Split Tunnel")
    before = checked(split)
    split.queryAction().doAction(0)
    wait("the switch to flip", lambda: checked(split) != before)

    app.control(pyatspi.ROLE_RADIO_BUTTON, "RU").queryAction().doAction(0)
    app.control(pyatspi.ROLE_PAGE_TAB, "Настройки")
    for name in ("Свернуть", "Закрыть", "Включить тёмную тему"):
        app.control(pyatspi.ROLE_PUSH_BUTTON, name)
    expect("the kill switch keeps its mode", checked(app.control(pyatspi.ROLE_RADIO_BUTTON, "Всегда")))

    # Quit from the tray popup: with the kill switch always on, the service stays.
    tray_click()
    act(app.control(pyatspi.ROLE_PUSH_BUTTON, "Выход", wait("the tray popup", app.popup)), "Press")
    expect("the app quits cleanly", app.quits_cleanly())
    service.wait_for("client left")
    expect("the service is not shut down", "command shutdown" not in service.lines)


def walk_keyboard(app, service):
    service.wait_for("handshake accepted")
    app.control(pyatspi.ROLE_PUSH_BUTTON, "Not connected")
    wid = wait("the window on screen", lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^VantrelVPN$"], capture_output=True,
        text=True).stdout.split()[0])
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)
    # A new screen starts with the focus on its first control.
    wait("the dial focused", lambda: app.focused().name == "Not connected")

    key("space")
    service.wait_for("state connected")
    # Title bar, screen top to bottom, tab bar, round again; Shift+Tab goes back.
    focus_order(app, ["IP address hidden", "Home", "Switch to light theme", "Minimize", "Close", "Protected"])
    focus_order(app, ["Close", "Minimize"], ("shift+Tab",))
    focus_order(app, ["Close", "Protected", "IP address hidden"])
    key("Return")
    wait("the address read out", lambda: app.focused().name[0].isdigit())

    # The tab bar is one stop; arrows select as they move and keep the focus.
    focus_order(app, ["Home"])
    expect("the settings tab is current", checked(focus_order(app, ["Statistics", "Settings"], ("Right",))))
    focus_order(app, ["Home"], ("Home",))
    focus_order(app, ["Settings"], ("End",))
    # Each segmented control is one stop too: its chosen segment.
    focus_order(app, ["Switch to light theme", "Minimize", "Close", "Off", "Connect when VantrelVPN starts",
                      "WireGuard", "Split Tunnel",
                      "Gaming mode", "Start with Windows", "Dark theme", "EN", "Support report: Save",
                      "Log out", "Settings", "Switch to light theme", "Minimize", "Close", "Off"])
    focus_order(app, ["On connect"], ("Right",))
    service.wait_for("command set_kill_switch")
    wait("the new mode checked", lambda: checked(app.focused()))
    for names in (["Connect when VantrelVPN starts"], ["WireGuard", "Split Tunnel"]):
        switch = focus_order(app, names)
        before = checked(switch)
        key("space")
        wait("the switch to flip", lambda: checked(switch) != before)

    # The popup opens with its main button focused; Escape closes it.
    tray_click()
    popup = wait("the popup, its main button focused", lambda: app.focused().name == "Disconnect" and app.popup())
    key("Escape")
    wait("the popup closed", lambda: not popup.getState().contains(pyatspi.STATE_SHOWING))
    tray_click()
    wait("the popup, its main button focused", lambda: app.focused().name == "Disconnect" and app.popup())
    key("space")
    service.wait_for("command disconnect")
    focus_order(app, ["Open VantrelVPN", "Quit"])
    key("space")
    expect("the app quits cleanly", app.quits_cleanly())


def main():
    mode, app_path, service_path = sys.argv[1:4]
    # The service owns /run/vantrelvpn; session.sh provides the rest.
    if os.geteuid() != 0 or "E2E_ROOT" not in os.environ:
        print("SKIP: run as root through session.sh with E2E_ATSPI=1")
        return 77
    service = Service(service_path, *(["--signed-in"] if mode == "keyboard" else []))
    app = None
    try:
        app = App(app_path)
        (walk_atspi if mode == "atspi" else walk_keyboard)(app, service)
        print("PASS:", mode)
        return 0
    except Failure as failure:
        print("FAIL:", failure, "\nservice log:\n  " + "\n  ".join(service.lines))
        if app and app.process.poll() is None:
            app.process.terminate()
            print("app output:\n" + app.process.communicate(timeout=10)[0])
        return 1
    finally:
        if app and app.process.poll() is None:
            app.process.terminate()
        service.process.terminate()
        service.process.wait(10)


if __name__ == "__main__":
    sys.exit(main())
