#!/usr/bin/env python3
"""A pointer for a headless wlroots compositor, which has no input devices.

Speaks the Wayland wire protocol directly (no bindings needed) to create one
virtual pointer (zwlr_virtual_pointer_v1) on the default seat, then reads
commands from standard input, one a line, and answers each with "ok" once the
compositor has handled it:

    move X Y      pointer to (X, Y) in the output layout
    down BUTTON   press a button (1 left, 2 middle, 3 right)
    up BUTTON     release it

Usage: wlpointer.py WIDTH HEIGHT   (the layout's extent, for absolute motion)
The socket is $WAYLAND_DISPLAY (an absolute path or a name in $XDG_RUNTIME_DIR).
"""
import os
import socket
import struct
import sys
import time

# Linux input event codes of the buttons.
BUTTONS = {"1": 0x110, "2": 0x112, "3": 0x111}


def wl_string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class Connection:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.last_id = 1  # wl_display
        self.pending = b""
        self.globals = {}
        self.registry = self.new_id()
        self.send(1, 1, struct.pack("<I", self.registry))  # wl_display.get_registry

    def new_id(self):
        self.last_id += 1
        return self.last_id

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def roundtrip(self):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        while True:
            while len(self.pending) < 8:
                chunk = self.sock.recv(65536)
                if not chunk:
                    sys.exit("wlpointer: the compositor closed the connection")
                self.pending += chunk
            obj, word = struct.unpack_from("<II", self.pending)
            size, opcode = word >> 16, word & 0xFFFF
            while len(self.pending) < size:
                self.pending += self.sock.recv(65536)
            body, self.pending = self.pending[8:size], self.pending[size:]
            if obj == 1 and opcode == 0:  # wl_display.error
                sys.exit("wlpointer: protocol error " + body[8:].split(b"\0")[0].decode(errors="replace"))
            if obj == self.registry and opcode == 0:  # wl_registry.global
                name, length = struct.unpack_from("<II", body)
                interface = body[8:8 + length - 1].decode()
                self.globals[interface] = name
            if obj == callback and opcode == 0:  # wl_callback.done
                return

    def bind(self, interface, version):
        if interface not in self.globals:
            sys.exit("wlpointer: the compositor offers no " + interface)
        obj = self.new_id()
        self.send(self.registry, 0,
                  struct.pack("<I", self.globals[interface]) + wl_string(interface)
                  + struct.pack("<II", version, obj))
        return obj


def main():
    width, height = int(sys.argv[1]), int(sys.argv[2])
    display = os.environ.get("WAYLAND_DISPLAY", "wayland-0")
    if not display.startswith("/"):
        display = os.path.join(os.environ["XDG_RUNTIME_DIR"], display)
    wl = Connection(display)
    wl.roundtrip()
    seat = wl.bind("wl_seat", 1)
    manager = wl.bind("zwlr_virtual_pointer_manager_v1", 1)
    pointer = wl.new_id()
    wl.send(manager, 0, struct.pack("<II", seat, pointer))  # create_virtual_pointer
    wl.roundtrip()
    print("ready", flush=True)

    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        stamp = int(time.monotonic() * 1000) & 0xFFFFFFFF
        if words[0] == "move":
            x, y = int(words[1]), int(words[2])
            wl.send(pointer, 1, struct.pack("<IIIII", stamp, x, y, width, height))  # motion_absolute
        elif words[0] in ("down", "up"):
            state = 1 if words[0] == "down" else 0
            wl.send(pointer, 2, struct.pack("<III", stamp, BUTTONS[words[1]], state))  # button
        else:
            print("error unknown command " + words[0], flush=True)
            continue
        wl.send(pointer, 4)  # frame
        wl.roundtrip()
        print("ok", flush=True)


if __name__ == "__main__":
    main()
