#!/usr/bin/env python3
"""The guide's pictures, taken from the real program on the test desktop as the desktop tests drive it
(AT-SPI for menus and dialogs, XTest for the mouse). Run by scripts/guide-shots, once per scale:

    make_shots.py OUT_DIR SCALE
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "app", "desktop"))
import glimmora_desktop as desk  # noqa: E402  (needs GLIMMORA_PROGRAM)

OUT, SCALE = sys.argv[1], int(sys.argv[2])


def px(n):
    return n * SCALE


def shot_window(window, name):
    """One window with its frame, as the user sees it."""
    subprocess.run(["import", "-frame", "-window", str(window), os.path.join(OUT, name)], check=True)


def shot_screen(name, crop=None):
    path = os.path.join(OUT, name)
    subprocess.run(["import", "-window", "root", path], check=True)
    if crop:
        x, y, w, h = crop
        subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", path], check=True)


def active_window():
    return desk.wait_until(lambda: (desk.xdotool("getactivewindow") or [None])[0], "an active window")


def dialog_shot(g, menu, title, name, close="Cancel"):
    item = g.menu_item(menu)
    desk.wait_until(lambda: item.getState().contains(desk.pyatspi.STATE_ENABLED), menu + " to be enabled")
    g.menu(menu)
    dlg = g.dialog(title)
    window = desk.wait_until(lambda: next(iter(desk.xdotool("search", "--onlyvisible", "--name", "^%s$" % title)),
                                          None), "the window of " + title)
    time.sleep(0.3)  # the window manager draws its frame after mapping it; no event says when
    shot_window(window, name)
    g.press(desk.wait_until(lambda: g.find("push button", close, dlg), close + " in " + title))
    desk.wait_until(lambda: not g.find("dialog", title), title + " to close")


def geometry(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True).stdout
    values = dict(line.split("=") for line in out.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def drag(a, b):
    subprocess.run(["xdotool", "mousemove", str(a[0]), str(a[1]), "mousedown", "1"], check=True)
    for i in range(1, 9):
        subprocess.run(["xdotool", "mousemove", str(a[0] + (b[0] - a[0]) * i // 8),
                        str(a[1] + (b[1] - a[1]) * i // 8)], check=True)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)


def main():
    os.makedirs(OUT, exist_ok=True)
    desk.setUpModule()
    scale_env = {"QT_SCALE_FACTOR": str(SCALE)} if SCALE != 1 else {}
    # Something to capture: a terminal with text beside an empty part of the desktop.
    term = subprocess.Popen(["xterm", "-fa", "DejaVu Sans Mono", "-fs", str(10 * SCALE), "-geometry", "90x30+40+60",
                             "-e", "sh", "-c", "ls -l /usr/share | head -40; exec sleep 1000"])
    g = desk.Glimmora(config={"CaptureSet": {"HideWndBeforCap": "1", "RestoreWndAftCap": "1"}}, extra_env=scale_env)
    try:
        time.sleep(1.0)
        # The region overlay in the middle of a drag.
        desk.send("--capture", "region", env=g.env)
        desk.wait_until(lambda: desk.xdotool("search", "--onlyvisible", "--name", "^Glimmora capture$"),
                        "the overlay")
        subprocess.run(["xdotool", "mousemove", str(px(120)), str(px(140)), "mousedown", "1"], check=True)
        subprocess.run(["xdotool", "mousemove", str(px(420)), str(px(330))], check=True)
        subprocess.run(["xdotool", "mousemove", str(px(520)), str(px(380))], check=True)
        time.sleep(0.5)
        shot_screen("overlay-region.png", (0, 0, px(960), px(540)))
        subprocess.run(["xdotool", "mousemove", str(px(720)), str(px(520))], check=True)
        subprocess.run(["xdotool", "mouseup", "1"], check=True)
        g.wait_title("Glimmora - Capture1")

        # The window overlay over the terminal.
        desk.send("--capture", "window", env=g.env)
        desk.wait_until(lambda: desk.xdotool("search", "--onlyvisible", "--name", "^Glimmora capture$"),
                        "the overlay")
        subprocess.run(["xdotool", "mousemove", str(px(300)), str(px(200))], check=True)
        subprocess.run(["xdotool", "mousemove", str(px(310)), str(px(210))], check=True)
        time.sleep(0.5)
        shot_screen("overlay-window.png", (0, 0, px(960), px(540)))
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        desk.wait_until(lambda: not desk.xdotool("search", "--onlyvisible", "--name", "^Glimmora capture$"),
                        "the overlay to close")

        # The editor with annotations on the first capture.
        window = g.window
        subprocess.run(["xdotool", "windowactivate", "--sync", window], check=True)
        subprocess.run(["xdotool", "windowsize", "--sync", window, str(px(1100)), str(px(720))], check=True)
        # The picture starts at the top left of the tab's view, below its title.
        tab = desk.wait_until(lambda: g.find("frame", "Capture1"), "the capture's tab")
        extents = tab.queryComponent().getExtents(desk.pyatspi.DESKTOP_COORDS)
        # The accessibility tree speaks Qt's scaled units.
        ox, oy = px(extents.x + 4), px(extents.y + 36)
        for key, a, b in (("ctrl+9", (ox + px(330), oy + px(300)), (ox + px(180), oy + px(190))),  # arrow
                          ("ctrl+7", (ox + px(360), oy + px(60)), (ox + px(560), oy + px(150))),   # shape
                          ("ctrl+8", (ox + px(20), oy + px(96)), (ox + px(300), oy + px(118)))):  # highlight
            subprocess.run(["xdotool", "key", key], check=True)
            drag(a, b)
        time.sleep(0.3)
        shot_window(window, "editor.png")

        # Numbered steps, a pen stroke and a marker stroke beside them.
        def choose(name):
            bar = desk.wait_until(lambda: g.find("tool bar", "Tools"), "the Tools bar")
            node = desk.wait_until(lambda: next((n for n in (g.find(role, name, bar) for role in (
                "toggle button", "push button", "check box")) if n), None), "the tool " + name)
            node.queryAction().doAction(0)
            time.sleep(0.3)
        choose("Step counter")
        for i in range(3):
            subprocess.run(["xdotool", "mousemove", str(ox + px(460 + 50 * i)), str(oy + px(200)), "click", "1"],
                           check=True)
        for name, y in (("Pen", 250), ("Marker", 320)):
            choose(name)
            subprocess.run(["xdotool", "mousemove", str(ox + px(430)), str(oy + px(y)), "mousedown", "1"], check=True)
            for i in range(1, 13):
                subprocess.run(["xdotool", "mousemove", str(ox + px(430 + 13 * i)),
                                str(oy + px(y + (12 if i % 4 in (1, 2) else -12)))], check=True)
            subprocess.run(["xdotool", "mouseup", "1"], check=True)
        time.sleep(0.3)
        shot_window(window, "editor-steps.png")

        # The dialogs.
        dialog_shot(g, "Capture Setting", "Capture Setting", "capture-setting.png")
        dialog_shot(g, "Define hotkey", "Define hot key", "define-hotkey.png")
        # A menu's entries learn whether they are enabled when the menu opens.
        g.press(g.menu_item("Image"))
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        dialog_shot(g, "Brightness/Contrast", "Brightness/Contrast", "brightness-contrast.png")
        dialog_shot(g, "Resize...", "Resize...", "resize.png")

        # A recording of part of the terminal: the control window just below the recorded area.
        desk.send("--record", "region", env=g.env)
        desk.wait_until(lambda: desk.xdotool("search", "--onlyvisible", "--name", "^Glimmora capture$"),
                        "the overlay")
        drag((px(60), px(80)), (px(520), px(330)))
        desk.wait_until(lambda: g.first(lambda n: n.getRoleName() == "label"
                                        and (n.name or "").startswith("Recording 0:0")
                                        and not n.name.endswith("0:00")), "the time recorded")
        shot_screen("recording-control.png", (0, px(40), px(640), px(360)))
        desk.send("--stop-recording", env=g.env)
        desk.wait_until(lambda: g.status("Recorded "), "the recording to end")
    finally:
        g.stop()
        term.terminate()
        desk.tearDownModule()


if __name__ == "__main__":
    main()
