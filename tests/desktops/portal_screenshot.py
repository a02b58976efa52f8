#!/usr/bin/python3
"""The desktop's own picture of the screen, through the Screenshot portal without its dialog: the
reference the desktop tests compare against.

    portal_screenshot.py OUTPUT.png

Exits 1 when the portal refuses (its answer and results are printed) or does not answer in time."""
import os
import shutil
import sys
import urllib.parse
import urllib.request

from gi.repository import Gio, GLib

DEADLINE_MS = 60000


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: portal_screenshot.py OUTPUT.png")
    output = sys.argv[1]
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    token = "glimmora_reference_%d" % os.getpid()
    sender = bus.get_unique_name()[1:].replace(".", "_")
    request = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender, token)
    loop = GLib.MainLoop()
    answer = {}

    def on_response(_bus, _sender, _path, _interface, _signal, parameters):
        answer["code"], answer["results"] = parameters.unpack()
        loop.quit()

    # Subscribed before the call: a portal that answers at once must not be missed.
    bus.signal_subscribe("org.freedesktop.portal.Desktop", "org.freedesktop.portal.Request", "Response",
                         request, None, Gio.DBusSignalFlags.NONE,
                         on_response)
    options = {"handle_token": GLib.Variant("s", token), "interactive": GLib.Variant("b", False)}
    handle = bus.call_sync("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                           "org.freedesktop.portal.Screenshot", "Screenshot",
                           GLib.Variant("(sa{sv})", ("", options)), GLib.VariantType("(o)"),
                           Gio.DBusCallFlags.NONE, DEADLINE_MS, None).unpack()[0]
    if handle != request:
        # An older portal picks its own path: listen there instead (a reply can only come after this
        # returns to the loop).
        bus.signal_subscribe("org.freedesktop.portal.Desktop", "org.freedesktop.portal.Request", "Response",
                             handle, None, Gio.DBusSignalFlags.NONE, on_response)
    GLib.timeout_add(DEADLINE_MS, loop.quit)
    loop.run()
    if "code" not in answer:
        sys.exit("the Screenshot portal did not answer")
    if answer["code"] != 0 or "uri" not in answer["results"]:
        sys.exit("the Screenshot portal answered %d %r" % (answer["code"], answer["results"]))
    uri = answer["results"]["uri"]
    source = urllib.request.url2pathname(urllib.parse.urlparse(uri).path)
    shutil.copyfile(source, output)
    # The portal leaves its picture in the user's pictures folder: ours is the copy.
    os.remove(source)


if __name__ == "__main__":
    main()
