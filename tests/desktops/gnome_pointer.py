#!/usr/bin/python3
"""The pointer for the GNOME test session: a remote desktop session of mutter's own (the shell has no
virtual pointer protocol). Absolute motion needs a screen cast stream of the same session: one per
monitor, and a position goes to the stream of the monitor it is on. Same lines as wl_pointer, read
from stdin, each answered "ok" or "failed" once mutter has taken it:
    move X Y        absolute position in layout pixels
    down N / up N   button N (1 left, 2 middle, 3 right)
    wheel [N]       N notches (default 1) towards the user; negative ones away
Prints "ready" first; the session ends with stdin.
"""
import sys

from gi.repository import Gio, GLib

# evdev codes: BTN_LEFT, BTN_MIDDLE, BTN_RIGHT
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}
TIMEOUT_MS = 30000


class Mutter:
    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.session = self.call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                                 "org.gnome.Mutter.RemoteDesktop", "CreateSession", None, "(o)")[0]
        session_id = self.call("org.gnome.Mutter.RemoteDesktop", self.session, "org.freedesktop.DBus.Properties",
                               "Get", GLib.Variant("(ss)", ("org.gnome.Mutter.RemoteDesktop.Session", "SessionId")),
                               "(v)")[0]
        cast = self.call("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast", "org.gnome.Mutter.ScreenCast",
                         "CreateSession",
                         GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)),
                         "(o)")[0]
        self.monitors = []
        for x, y, w, h, scale, connector in self.layout():
            stream = self.call("org.gnome.Mutter.ScreenCast", cast, "org.gnome.Mutter.ScreenCast.Session",
                               "RecordMonitor", GLib.Variant("(sa{sv})", (connector, {})), "(o)")[0]
            self.monitors.append((x, y, w, h, scale, stream))
        self.remote("Start")

    def call(self, name, path, interface, method, args, reply="()"):
        return self.bus.call_sync(name, path, interface, method, args, GLib.VariantType(reply),
                                  Gio.DBusCallFlags.NONE, TIMEOUT_MS, None).unpack()

    def remote(self, method, args=None):
        self.call("org.gnome.Mutter.RemoteDesktop", self.session, "org.gnome.Mutter.RemoteDesktop.Session", method, args)

    def layout(self):
        """Each logical monitor: x, y, width, height in layout pixels, scale, connector of its first monitor."""
        _, monitors, logical, properties = self.call(
            "org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
            "GetCurrentState", None, "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})")
        # Layout mode 1 is logical (sizes divided by the scale), 2 physical.
        logical_layout = properties.get("layout-mode", 1) == 1
        modes = {}
        for monitor, monitor_modes, _ in monitors:
            for _, width, height, _, _, _, mode_properties in monitor_modes:
                if mode_properties.get("is-current"):
                    modes[monitor[0]] = (width, height)  # by connector
        found = []
        for x, y, scale, transform, _, shown, _ in logical:
            width, height = modes[shown[0][0]]
            if transform % 2:  # turned a quarter
                width, height = height, width
            if logical_layout:
                width, height = round(width / scale), round(height / scale)
            found.append((x, y, width, height, scale if logical_layout else 1.0, shown[0][0]))
        return found

    def move(self, x, y):
        for mx, my, w, h, scale, stream in self.monitors:
            if mx <= x < mx + w and my <= y < my + h:
                # Stream positions are in the stream's own pixels.
                self.remote("NotifyPointerMotionAbsolute",
                            GLib.Variant("(sdd)", (stream, (x - mx) * scale, (y - my) * scale)))
                return True
        return False

    def button(self, number, pressed):
        if number not in BUTTONS:
            return False
        self.remote("NotifyPointerButton", GLib.Variant("(ib)", (BUTTONS[number], pressed)))
        return True

    def wheel(self, notches):
        # Axis 0 is vertical; positive steps scroll down, towards the user.
        self.remote("NotifyPointerAxisDiscrete", GLib.Variant("(ui)", (0, notches)))
        return True


def handle(mutter, line):
    words = line.split()
    if not words:
        return False
    verb, args = words[0], [int(w) for w in words[1:]]
    if verb == "move" and len(args) == 2:
        return mutter.move(*args)
    if verb in ("down", "up") and len(args) == 1:
        return mutter.button(args[0], verb == "down")
    if verb == "wheel" and len(args) <= 1:
        notches = args[0] if args else 1
        return notches != 0 and mutter.wheel(notches)
    return False


def main():
    try:
        mutter = Mutter()
    except GLib.Error as e:
        sys.exit("gnome_pointer: " + e.message)
    print("ready", flush=True)
    for line in sys.stdin:
        try:
            ok = handle(mutter, line)
        except (ValueError, GLib.Error) as e:
            print("gnome_pointer: %s" % e, file=sys.stderr, flush=True)
            ok = False
        print("ok" if ok else "failed", flush=True)
    try:
        mutter.remote("Stop")
    except GLib.Error:
        pass  # mutter ends the session itself when we go


if __name__ == "__main__":
    main()
