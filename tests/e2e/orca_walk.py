#!/usr/bin/python3
"""What a screen reader says of the real app: `orca_walk.py APP SIMSERVICE`,
inside session.sh with E2E_ATSPI=1. Orca runs on the session's accessibility
bus without a synthesizer and logs each utterance; the app is driven by keys
only (xdotool), the tunnel's faults come from the simulated service. The walk
signs in, connects, loses the tunnel and gets it back, disconnects and fails,
in English and again in Russian, and checks what Orca said: the screen's main
action first, each change heard once within 2 s with the focus where it was,
the failure with its reason, never the session clock. Checks that fail let the
walk go on where it can; all of them are reported, with Orca's transcript."""

import datetime
import os
import re
import subprocess
import sys
import tempfile
import termios
import threading
import time

import pyatspi

from a11y_walk import App, Failure, Service, key, wait

# Orca's debug log: "HH:MM:SS.ffffff - SPEECH OUTPUT: 'text'{…}"; where a
# version leaves out the time, the time of reading stands in.
SPEECH = re.compile(r"SPEECH OUTPUT: '(.*)'\s*(?:\{.*\})?$")
STAMP = re.compile(r"(\d\d):(\d\d):(\d\d(?:\.\d+)?) - ")
CLOCK = re.compile(r"\d:\d\d")
# Orca 43 names the role "push button", Orca 48 "button".
BUTTON = r"\bbutton\b|\bкнопка\b"
HEARD_WITHIN = 2.0
# The service's lines are stamped when the walk reads them, which can be a
# little after the app heard of the change.
SLACK = 0.3

TEXTS = {
    "en": {
        "signIn": "Sign in via browser", "signedIn": "Signed in", "idle": "Not connected",
        "connecting": "Connecting", "connected": "Protected",
        "reconnecting": r"Reconnecting\D*{attempt}\b", "failed": "Connection failed",
        "cancel": "Cancel", "reason": "the server did not answer the handshake",
    },
    "ru": {
        "signIn": "Войти через браузер", "signedIn": "Вход выполнен", "idle": "Не подключено",
        "connecting": "Подключение", "connected": "Защищено",
        "reconnecting": r"Переподключение\D*{attempt}\b", "failed": "Сбой подключения",
        "cancel": "Отмена", "reason": "сервер не ответил на рукопожатие",
    },
}


def within(seconds, probe):
    """Polls `probe` for up to `seconds`; its last result."""
    end = time.monotonic() + seconds
    while not (result := probe()) and time.monotonic() < end:
        time.sleep(0.1)
    return result


def day_seconds(stamp):
    """Seconds since local midnight of a time.time() value, as Orca stamps its lines."""
    moment = datetime.datetime.fromtimestamp(stamp)
    return moment.hour * 3600 + moment.minute * 60 + moment.second + moment.microsecond / 1e6


class Orca:
    """Orca on the session's buses, in a home of its own; its utterances are
    read back from its debug log as (seconds since midnight, text). The log is
    a terminal: Orca writes a log file in blocks, a terminal line by line."""

    def __init__(self):
        # Inside the session's folder, which goes when the session ends.
        self.home = tempfile.mkdtemp(prefix="orca-home.", dir=os.environ["E2E_ROOT"])
        self.utterances = []
        # The whole debug log, kept with the failures' screenshots where there are.
        folder = os.environ.get("E2E_ARTIFACTS", self.home)
        os.makedirs(folder, exist_ok=True)
        self.log = open(os.path.join(folder, "orca-debug.log"), "wb", buffering=0)
        self.terminal, log = os.openpty()
        attributes = termios.tcgetattr(log)
        attributes[1] &= ~termios.OPOST  # lines end in "\n" alone
        termios.tcsetattr(log, termios.TCSANOW, attributes)
        self.process = subprocess.Popen(["orca", "--replace", "--debug-file", os.ttyname(log)],
                                        env=dict(os.environ, HOME=self.home), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()
        wait("Orca's first words", lambda: self.utterances, 30)
        self.quiet()

    def _read(self):
        partial = b""
        while True:
            try:
                chunk = os.read(self.terminal, 65536)
            except OSError:
                return
            self.log.write(chunk)
            partial += chunk
            *lines, partial = partial.split(b"\n")
            for line in lines:
                line = line.decode(errors="replace")
                speech = SPEECH.search(line)
                if speech:
                    stamp = STAMP.match(line)
                    self.utterances.append((int(stamp[1]) * 3600 + int(stamp[2]) * 60 + float(stamp[3]) if stamp
                                            else day_seconds(time.time()), speech[1]))

    def quiet(self, seconds=1.0):
        """Waits until Orca has said nothing new for `seconds`."""
        count = -1
        while count != len(self.utterances):
            count = len(self.utterances)
            time.sleep(seconds)

    def heard(self, pattern, start, end=None):
        return [(stamp, text) for stamp, text in list(self.utterances)
                if stamp >= start and (end is None or stamp < end) and re.search(pattern, text)]

    def transcript(self):
        return "\n".join("  %s" % text for _, text in self.utterances)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(10)


class Walk:
    def __init__(self, app, service, orca):
        self.app, self.service, self.orca = app, service, orca
        self.problems = []
        # The changes of one language's round: (service time, pattern, what).
        self.changes = []
        self.seen = 0

    def check(self, what, condition):
        if not condition:
            self.problems.append(what)
            print("FAIL:", what, flush=True)
        return condition

    def next_event(self, line):
        """Waits for the service's next log line `line`; returns its time."""
        index = wait("service log line '%s'" % line,
                     lambda: next((i + 1 for i in range(self.seen, len(self.service.lines))
                                   if self.service.lines[i] == line), None))
        self.seen = index
        return day_seconds(self.service.stamps[index - 1])

    def focused_name(self):
        node = self.app.focused()
        return node.name if node else None

    def tab_to(self, what, found, keys=("Tab",), limit=30):
        """Moves the focus by keys until `found(node)` holds for the focused control."""
        for _ in range(limit):
            node = self.app.focused()
            if node and found(node):
                return node
            key(*keys)
            time.sleep(0.1)
        raise Failure("no focus on %s after %d presses of %s" % (what, limit, "+".join(keys)))

    def focus(self, name, why):
        """The focus should come to `name` by itself; if it does not, that is
        noted and the walk moves it there by Tab to go on."""
        if not self.check("%s: focus on '%s', not on '%s'" % (why, name, self.focused_name()),
                          within(5, lambda: self.focused_name() == name)):
            self.tab_to("'%s'" % name, lambda n: n.name == name)

    def change(self, line, pattern, what, focus_stays=True):
        """Waits for the service's change `line` and for Orca to say `pattern`
        within the time allowed, with the focus where it was."""
        before = self.app.focused()
        at = self.next_event(line) - SLACK
        self.changes.append((at, pattern, what))
        heard = wait("Orca to say %s" % what, lambda: self.orca.heard(pattern, at), 10)
        self.check("%s heard %.1f s after the change" % (what, heard[0][0] - at - SLACK),
                   heard[0][0] - at - SLACK <= HEARD_WITHIN)
        if focus_stays:
            self.check("focus unchanged when %s" % what, self.app.focused() == before)

    def heard_once(self):
        """Each change of the round said once: between it and the next change
        that reads alike (a late word is still its own)."""
        self.orca.quiet()
        for i, (at, pattern, what) in enumerate(self.changes):
            end = next((later for later, alike, _ in self.changes[i + 1:] if alike == pattern), None)
            said = [text for _, text in self.orca.heard(pattern, at, end)]
            self.check("%s said once, not %s" % (what, said), len(said) == 1)
        self.changes = []

    def press(self, name):
        """Presses a key once Orca has had its say."""
        self.orca.quiet()
        key(name)

    def round(self, texts, attempt):
        """Connect, lose the tunnel, get it back, disconnect, fail: from the
        dial, focused and idle."""
        self.focus(texts["idle"], "before connecting")
        self.press("space")
        self.change("state connecting", texts["connecting"], "connecting")
        self.change("state connected", texts["connected"], "connected")
        self.orca.quiet()
        self.service.control("reconnecting %d" % attempt)
        self.change("state reconnecting", texts["reconnecting"].format(attempt=attempt),
                    "reconnecting #%d" % attempt)
        self.change("state connected", texts["connected"], "connected again")
        self.press("space")
        self.change("state disconnected", texts["idle"], "disconnected")
        self.service.control("fail-next-connect " + texts["reason"])
        self.press("space")
        self.change("state connecting", texts["connecting"], "connecting")
        # The failure replaces the home screen, so the focus moves on.
        self.change("state failed", "%s.*%s" % (texts["failed"], re.escape(texts["reason"])),
                    "the failure with its reason", focus_stays=False)
        self.heard_once()

    def sign_in(self, texts):
        self.service.wait_for("handshake accepted")
        wid = wait("the window on screen", lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^VantrelVPN$"], capture_output=True,
            text=True).stdout.split()[0])
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)
        # The first control heard is the screen's main action, once it is enabled.
        wait("Orca to name a control", lambda: self.orca.heard(BUTTON, 0))
        self.orca.quiet()
        first = self.orca.heard(BUTTON, 0)[0][1]
        self.check("the first control heard is '%s', not '%s'" % (texts["signIn"], first),
                   texts["signIn"] in first)
        self.focus(texts["signIn"], "at start")

        key("space")
        at = self.next_event("sign-in confirmed") - SLACK
        self.changes.append((at, texts["signedIn"], "signed in"))
        heard = wait("Orca to say signed in", lambda: self.orca.heard(texts["signedIn"], at), 10)
        self.check("signed in heard %.1f s after" % (heard[0][0] - at - SLACK),
                   heard[0][0] - at - SLACK <= HEARD_WITHIN)
        # The home screen's dial is heard without a key pressed.
        self.check("the dial heard after sign-in",
                   within(10, lambda: self.orca.heard("%s.*(%s)" % (texts["idle"], BUTTON), at)))
        self.heard_once()

    def to_russian(self, ru):
        """Settings by keys: the tab bar, its last tab, the language; then home."""
        self.tab_to("the tab bar", lambda n: n.getRole() == pyatspi.ROLE_PAGE_TAB)
        key("End")
        self.tab_to("the language", lambda n: n.name == "EN")
        self.tab_to("RU", lambda n: n.name == "RU", ("Left",), 3)
        wait("the Russian texts",
             lambda: pyatspi.findDescendant(self.app.window(), lambda n: n.name == "Главная"))
        self.tab_to("the tab bar", lambda n: n.getRole() == pyatspi.ROLE_PAGE_TAB, ("shift+Tab",))
        key("Home")
        # The failed tunnel's screen; its Cancel leaves it for the dial.
        self.tab_to("'%s'" % ru["cancel"], lambda n: n.name == ru["cancel"])
        key("space")
        at = self.next_event("state disconnected") - SLACK
        wait("Orca to say disconnected", lambda: self.orca.heard(ru["idle"], at), 10)
        # The dial the focus lands on names the state: no announcement besides.
        self.orca.quiet()
        said = [text for _, text in self.orca.heard(ru["idle"], at)]
        self.check("leaving the failure: '%s' said once, not %s" % (ru["idle"], said), len(said) == 1)

    def run(self):
        en, ru = TEXTS["en"], TEXTS["ru"]
        self.sign_in(en)
        self.round(en, 1)
        self.to_russian(ru)
        self.round(ru, 2)
        self.orca.quiet()
        clock = [text for _, text in self.orca.utterances if CLOCK.search(text)]
        self.check("no clock read aloud: %s" % clock, not clock)
        key("ctrl+q")
        self.check("the app quits cleanly", self.app.quits_cleanly())


def main():
    app_path, service_path = sys.argv[1:3]
    # The service owns /run/vantrelvpn; session.sh provides the rest.
    if os.geteuid() != 0 or "E2E_ROOT" not in os.environ:
        print("SKIP: run as root through session.sh with E2E_ATSPI=1")
        return 77
    orca = Orca()
    service = Service(service_path)
    app = None
    walk = None
    try:
        app = App(app_path)
        walk = Walk(app, service, orca)
        walk.run()
    except Failure as failure:
        print("FAIL:", failure, "\nservice log:\n  " + "\n  ".join(service.lines))
        if walk:
            walk.problems.append(str(failure))
        else:
            return 1
    finally:
        print("Orca said:\n" + orca.transcript(), flush=True)
        if app and app.process.poll() is None:
            app.process.terminate()
            print("app output:\n" + app.process.communicate(timeout=10)[0])
        service.process.terminate()
        service.process.wait(10)
        orca.stop()
    if walk.problems:
        print("%d problems:\n  %s" % (len(walk.problems), "\n  ".join(walk.problems)))
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
