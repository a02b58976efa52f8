"""Redaction, text from captures and pins, driven on the test desktop as a user would: keys and the pointer
through XTest, menus and windows through the accessibility tree, results read from the clipboard, the saved
file and the screen."""

import os
import re
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import glimmora_desktop as desk  # noqa: E402
from glimmora_desktop import DesktopTest, send, wait_until, xdotool  # noqa: E402

MODULE = os.path.join(os.path.dirname(desk.PROGRAM), "glimmora-ocr.so")
CLI = os.path.join(os.path.dirname(os.path.dirname(desk.PROGRAM)), "cli", "glimmora-cli")
GREY = (0x94, 0x94, 0x94)  # the editor's background around the picture


def setUpModule():
    desk.setUpModule()


def tearDownModule():
    desk.tearDownModule()


def with_module(g):
    os.symlink(MODULE, os.path.join(g.dir, "glimmora-ocr.so"))


def words(text):
    return set(re.findall(r"[A-Za-z]+", text))


def clipboard(target="UTF8_STRING"):
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", target], capture_output=True)
    return r.stdout if r.returncode == 0 else None


class Picture:
    """An image file's pixels as RGB, read through ImageMagick."""

    def __init__(self, path, crop=None):
        args = ["convert", path]
        if crop:
            x, y, w, h = crop
            args += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
        data = subprocess.run(args + ["-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        # "P6 W H 255" and one whitespace byte, then the pixels (whose bytes may look like whitespace).
        fields, at = [], 0
        while len(fields) < 4:
            while data[at:at + 1].isspace():
                at += 1
            start = at
            while not data[at:at + 1].isspace():
                at += 1
            fields.append(data[start:at])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.data = data[at + 1:]

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])


def screen(path):
    subprocess.run(["import", "-window", "root", path], check=True)
    return Picture(path)


def geometry(window):
    """Where the window is on the screen (xwininfo's absolute position; xdotool counts the frame twice)."""
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    v = {k.strip(): val.strip() for k, _, val in (line.partition(":") for line in out.splitlines())}
    return (int(v["Absolute upper-left X"]), int(v["Absolute upper-left Y"]), int(v["Width"]),
            int(v["Height"]))


def drag(x0, y0, x1, y1):
    xdotool("mousemove", str(x0), str(y0))
    xdotool("mousedown", "1")
    xdotool("mousemove", str((x0 + x1) // 2), str((y0 + y1) // 2))
    xdotool("mousemove", str(x1), str(y1))
    xdotool("mouseup", "1")


class Terminal:
    """An xterm with black text on white, at the top left of the screen."""

    def __init__(self, test, title, lines, columns=60):
        self.process = subprocess.Popen(
            ["xterm", "-T", title, "-geometry", "%dx%d+0+0" % (columns, len(lines)), "-fa", "DejaVu Sans Mono",
             "-fs", "13", "-bg", "white", "-fg", "black", "-e", "sh", "-c",
             # Without the cursor block, which is not text.
             "printf '\\033[?25l%s'; sleep 600" % "\\n".join(lines)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        test.addCleanup(self.stop)
        self.window = wait_until(lambda: (xdotool("search", "--onlyvisible", "--name", "^" + title + "$") or [None])[0],
                                 "the terminal window")
        # The text is there once the window shows more than its background.
        wait_until(lambda: self.has_text(test), "the terminal's text")

    def has_text(self, test):
        x, y, w, h = geometry(self.window)
        shot = screen(os.path.join(test.tmp, "term.png"))
        return any(shot.at(x + i, y + j) == (0, 0, 0) for j in range(0, h, 2) for i in range(0, w, 2))

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Additions(DesktopTest):
    def setUp(self):
        self.tmp = self.enterContext(__import__("tempfile").TemporaryDirectory())

    def overlay(self, g):
        return xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name", "^Glimmora capture$")

    def test_capture_text_from_a_terminal_goes_to_the_clipboard_and_a_window(self):
        lines = ["Glimmora copies text from any window.", "Invoice 2024-118 totals 73 euros."]
        term = Terminal(self, "capture-text-source", lines)
        g = self.start(prepare=with_module, config={"CaptureSet": {"CapDelayTime": 0},
                                                     "AppSet": {"IsEnableHotkey": 1},
                                                     "CapText": {"Hotkey": 84, "HotkeyMask": 6}})
        self.assertTrue(g.menu_item("Capture Text"))
        # The seventh hotkey opens the overlay; Esc leaves without text.
        xdotool("key", "ctrl+shift+t")
        wait_until(lambda: self.overlay(g), "the overlay from the hotkey")
        xdotool("key", "Escape")
        wait_until(lambda: not self.overlay(g), "the overlay to close")

        self.assertEqual(send("--capture", "text").returncode, 0)
        wait_until(lambda: self.overlay(g), "the selection overlay")
        x, y, w, h = geometry(term.window)
        drag(x, y, x + w - 1, y + h - 1)
        expected = " ".join(lines)
        text = wait_until(lambda: (lambda t: t if t and " ".join(t.decode().split()) == expected else None)(
            clipboard()), "the terminal's text in the clipboard (now %r)" % clipboard(), timeout=60)
        window = wait_until(lambda: g.find("dialog", "Captured Text"), "the text window")
        shown = g.first(lambda n: n.getRoleName() == "text", window)
        self.assertEqual(" ".join(shown.queryText().getText(0, -1).split()), expected)
        self.assertTrue(g.status("Copied %d characters." % len(text.decode())))
        xdotool("windowactivate", "--sync", wait_until(
            lambda: (xdotool("search", "--onlyvisible", "--pid", str(g.process.pid), "--name", "^Captured Text$")
                     or [None])[0], "the text window on the screen"))
        screen(os.path.join(self.tmp, "text-window.png"))
        g.press(g.find("push button", "Close", window))
        wait_until(lambda: not g.find("dialog", "Captured Text"), "the text window to close")

    def capture_terminal(self, g, term):
        """Rectangle Region over the terminal: a document of its text."""
        g.menu("Rectangle Region")
        wait_until(lambda: self.overlay(g), "the selection overlay")
        x, y, w, h = geometry(term.window)
        drag(x, y, x + w, y + h)  # the end is outside the selection
        g.wait_title("Glimmora - Capture1")
        return w, h

    def picture_origin(self, g, width, height):
        """Where the document's picture starts on the screen: the top-left of a white area of its size (the
        terminal's background) inside the view."""
        view = wait_until(lambda: g.first(lambda n: n.name == "Image" and "menu" not in n.getRoleName()
                                          and n.getRoleName() != "label"), "the view")
        ext = view.queryComponent().getExtents(0)
        shot = screen(os.path.join(self.tmp, "view.png"))
        white = (255, 255, 255)
        for y in range(ext.y, ext.y + ext.height - height):
            for x in range(ext.x, ext.x + ext.width - width):
                if (shot.at(x, y) == white and shot.at(x + width - 1, y) == white
                        and shot.at(x, y + height - 1) == white and shot.at(x + width - 1, y + height - 1) == white):
                    return x, y
        return None

    def test_a_redaction_hides_its_text_in_the_saved_file_the_copy_and_a_pin(self):
        lines = ["SECRET Password Kangaroo Umbrella", "Public Harbour Lantern Meadow"]
        term = Terminal(self, "redact-source", lines, columns=40)
        g = self.start(prepare=with_module, config={"CaptureSet": {"CapDelayTime": 0, "RestoreWndAftCap": 1}})
        w, h = self.capture_terminal(g, term)
        ox, oy = wait_until(lambda: self.picture_origin(g, w, h), "the picture on the screen")
        # The Redact tool from the keyboard; a drag over the upper half (the first line).
        xdotool("windowactivate", "--sync", g.window)
        xdotool("key", "ctrl+minus")
        wait_until(lambda: g.label_with("Block size:"), "the redaction options")
        top = h // 2
        drag(ox, oy, ox + w, oy + top)

        def covered():
            shot = screen(os.path.join(self.tmp, "covered.png"))
            # Solid black by default; clear of the selection handles at its corners and edges.
            return all(shot.at(ox + x, oy + y) == (0, 0, 0) for y in range(6, top - 6) for x in range(6, w - 6, 2))
        wait_until(covered, "the first line covered on the screen")

        g.menu("Save As...")
        dialog = wait_until(lambda: desk.StartUpAndMenus.file_dialog(g), "the save dialog")
        wait_until(lambda: dialog.getState().contains(desk.pyatspi.STATE_ACTIVE), "the save dialog to take keys")
        path = os.path.join(g.images, "redacted.png")
        xdotool("type", "--delay", "20", path)
        xdotool("key", "Return")
        wait_until(lambda: os.path.exists(path), "the saved file")
        saved = Picture(path)
        self.assertEqual((saved.width, saved.height), (w, h))
        # Inside the cover only the solid colour.
        cover = [saved.at(x, y) for y in range(top) for x in range(w)]
        self.assertEqual(set(cover), {(0, 0, 0)})
        read = subprocess.run([CLI, "ocr", path], capture_output=True, text=True, timeout=120)
        self.assertEqual(read.returncode, 0, read.stderr)
        self.assertFalse(words(lines[0]) & words(read.stdout), read.stdout)
        self.assertTrue(words(lines[1]) <= words(read.stdout), read.stdout)
        # Copy Text in the editor reads what the user sees.
        g.menu("Copy Text")
        copied = wait_until(lambda: (lambda t: t if t and b"Harbour" in t else None)(clipboard()), "the copied text")
        self.assertFalse(words(lines[0]) & words(copied.decode()), copied)

        # Two pins of the picture as saved; they outlive the tab.
        g.menu("Pin to Desktop")
        g.menu("Pin to Desktop")
        pins = wait_until(lambda: (lambda p: p if len(p) == 2 else None)(
            xdotool("search", "--all", "--pid", str(g.process.pid), "--name", "^Pinned - ")),
            "two pins (windows: %s)" % [desk.window_name(w) for w in xdotool("search", "--all", "--pid",
                                                                            str(g.process.pid), "--name", "")])
        px, py, pw, ph = geometry(pins[1])
        self.assertEqual((pw, ph), (w, h))
        shot = screen(os.path.join(self.tmp, "pins.png"))
        for (x, y) in ((w // 3, top // 2), (w // 2, top + (h - top) // 2)):
            self.assertEqual(shot.at(px + x, py + y), saved.at(x, y), (x, y))
        # Dragged to another place.
        drag(px + pw // 2, py + ph // 2, px + pw // 2 + 150, py + ph // 2 + 90)
        wait_until(lambda: geometry(pins[1])[:2] == (px + 150, py + 90), "the pin to move")
        # The wheel zooms, Ctrl and the wheel make it see-through, Ctrl+C copies the picture.
        xdotool("mousemove", str(px + 150 + pw // 2), str(py + 90 + ph // 2))
        xdotool("click", "4")
        wait_until(lambda: geometry(pins[1])[2] > pw, "the pin to grow")
        xdotool("keydown", "ctrl", "click", "5", "keyup", "ctrl")
        wait_until(lambda: " = " in subprocess.run(["xprop", "-id", pins[1], "_NET_WM_WINDOW_OPACITY"],
                                                   capture_output=True, text=True).stdout, "the pin to fade")
        subprocess.run(["xclip", "-selection", "clipboard", "/dev/null"])
        xdotool("key", "ctrl+c")
        wait_until(lambda: b"image/png" in (clipboard("TARGETS") or b""), "the picture in the clipboard")
        # The tab goes, the pins stay; Esc closes one, a double click the other.
        g.menu("Close")
        g.wait_title("Glimmora")
        self.assertEqual(len(xdotool("search", "--all", "--pid", str(g.process.pid), "--name",
                                     "^Pinned - ")), 2)
        x, y, pw, ph = geometry(pins[1])
        xdotool("mousemove", str(x + pw // 2), str(y + ph // 2), "click", "1")
        xdotool("key", "Escape")
        wait_until(lambda: len(xdotool("search", "--all", "--pid", str(g.process.pid), "--name",
                                       "^Pinned - ")) == 1, "Esc to close a pin")
        x, y, pw, ph = geometry(pins[0])
        xdotool("mousemove", str(x + pw // 2), str(y + ph // 2), "click", "--repeat", "2", "--delay", "80", "1")
        wait_until(lambda: not xdotool("search", "--all", "--pid", str(g.process.pid), "--name",
                                       "^Pinned - "), "a double click to close the other")
        self.assertIsNone(g.process.poll())

    def test_a_4k_pin_opens_centred_and_never_outgrows_the_screen(self):
        # Red at the top, blue at the bottom: a pin shown upside down would say so.
        path = os.path.join(self.tmp, "uhd.png")
        subprocess.run(["convert", "-size", "3840x2160", "gradient:red-blue", path], check=True)
        g = self.start(args=[path])
        g.wait_title("Glimmora - uhd.png")
        sw, sh = map(int, xdotool("getdisplaygeometry"))
        g.menu("Pin to Desktop")
        [pin] = wait_until(lambda: xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid),
                                           "--name", "^Pinned - "), "the pin")

        def inside(bounds):
            x, y, w, h = bounds
            return x >= 0 and y >= 0 and x + w <= sw and y + h <= sh

        # Fitted to the screen and centred on it, well apart from the tab's picture at the window's corner.
        x, y, w, h = wait_until(lambda: (lambda b: b if abs(b[0] + b[2] // 2 - sw // 2) <= 2 and
                                         abs(b[1] + b[3] // 2 - sh // 2) <= 2 else None)(geometry(pin)),
                                "the pin centred on the screen")
        self.assertTrue(inside((x, y, w, h)), (x, y, w, h))
        self.assertEqual((w, h), (3840 * 9 // 20, 2160 * 9 // 20))
        shot = screen(os.path.join(self.tmp, "pin.png"))
        top, bottom = shot.at(x + w // 2, y + 10), shot.at(x + w // 2, y + h - 10)
        self.assertTrue(top[0] > 200 and top[2] < 55 and bottom[2] > 200 and bottom[0] < 55, (top, bottom))
        # Eight times zoomed would be a window of 30720 x 17280; it stops at the screen and says so.
        xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        xdotool("click", "--repeat", "10", "--delay", "40", "4")
        wait_until(lambda: g.status("as large as the screen allows"), "the zoom's limit in the status bar")
        wait_until(lambda: geometry(pin)[2:] == (sw, sh), "the pin as large as the screen")
        self.assertTrue(inside(geometry(pin)), geometry(pin))
        # Without a compositing manager see-through shows nothing: said, not left silent.
        xdotool("keydown", "ctrl", "click", "5", "keyup", "ctrl")
        wait_until(lambda: g.status("runs no compositing manager"), "why the pin stays opaque")
        # The next command clears the note.
        g.menu("Pin to Desktop")
        wait_until(lambda: not g.status("runs no compositing manager"), "the note to clear")

    def test_a_long_text_reading_is_announced_cancelled_replaced_and_left_at_exit(self):
        # A screen of text: the engines take seconds over it, time enough to act while they read.
        lines = ["Line %02d of a long listing that is read from the screen word by word, %s." % (i, "x" * 40)
                 for i in range(64)]
        term = Terminal(self, "long-text-source", lines, columns=150)
        g = self.start(prepare=with_module, config={"CaptureSet": {"CapDelayTime": 0}})
        x, y, w, h = geometry(term.window)

        def read_all():
            self.assertEqual(send("--capture", "text").returncode, 0)
            wait_until(lambda: self.overlay(g), "the selection overlay")
            drag(x, y, x + w - 1, y + h - 1)
            wait_until(lambda: g.status("Reading text..."), "the reading to start")

        # Capture Text during a reading says so while its overlay is up, not once a region is chosen;
        # leaving the overlay leaves the reading running, and Cancel stops it without a result.
        read_all()
        self.assertEqual(send("--capture", "text").returncode, 0)
        wait_until(lambda: self.overlay(g), "the second overlay")
        self.assertTrue(g.status("Still reading the last text."))
        xdotool("key", "Escape")
        wait_until(lambda: not self.overlay(g), "the overlay to close")
        self.assertTrue(g.status("Still reading the last text.") or g.status("Reading text..."))
        g.press(wait_until(lambda: g.find("push button", "Cancel text reading"), "the Cancel button"))
        wait_until(lambda: g.status("Text reading cancelled."), "the reading to stop")
        self.assertNotIn(b"Line 63", clipboard() or b"")

        # A new region while a reading runs replaces that reading.
        read_all()
        self.assertEqual(send("--capture", "text").returncode, 0)
        wait_until(lambda: self.overlay(g), "the overlay for the new region")
        drag(x, y, x + w - 1, y + h // 16)
        window = wait_until(lambda: g.find("dialog", "Captured Text"), "the text window", timeout=120)
        text = " ".join(g.first(lambda n: n.getRoleName() == "text", window).queryText().getText(0, -1).split())
        self.assertIn("Line 00", text)
        self.assertNotIn("Line 63", text)
        g.press(g.find("push button", "Close", window))

        # Ending the program does not wait for a reading to finish.
        read_all()
        g.process.send_signal(signal.SIGTERM)
        self.assertEqual(g.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
