#!/usr/bin/env python3
"""Glimmora on GNOME and KDE Plasma (headless gnome-shell, kwin_wayland --virtual), driven as a user would:
requests over the session bus, the pointer through the desktop's own input, and every result read from
outside: the saved file against the desktop's own Screenshot portal picture, wl-paste for the clipboard.
Neither desktop offers the wlroots screen copy, so every picture has to come through the portal (or KWin's
own interface), and each test reads which way it came from the program's debug lines.

Run inside the session (scripts/common.sh: start_wayland gnome|kde, wayland_ctest):
    scenarios.py GLIMMORA GLIMMORA_CLI POINTER REFERENCE [unittest args]
"""
import configparser
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAM, CLI, POINTER, REFERENCE = sys.argv[1:5]
DESKTOP = os.environ.get("XDG_CURRENT_DESKTOP", "").lower()
DEADLINE = 60.0
ROUTE_LOGGING = "glimmora.grab.debug=true\nglimmora.overlay.debug=true"

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wayland"))
from scenarios import (Pointer, crop, differing_pixels, run, size_of, wait_until)  # noqa: E402


def reference(path):
    """The desktop's own picture of the screen, through its Screenshot portal."""
    run(sys.executable, REFERENCE, path)
    return path


def raw_rgb(path):
    w, h = size_of(path)
    data = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout
    return w, h, data


def found_in(part, whole):
    """Where the picture part appears pixel for pixel inside whole, or None."""
    pw, ph, p = raw_rgb(part)
    ww, wh, w = raw_rgb(whole)
    first = p[:pw * 3]
    start = 0
    while True:
        at = w.find(first, start)
        if at < 0:
            return None
        start = at + 1
        if at % 3:
            continue
        x, y = (at // 3) % ww, (at // 3) // ww
        if x + pw > ww or y + ph > wh:
            continue
        if all(w[((y + r) * ww + x) * 3:((y + r) * ww + x + pw) * 3] == p[r * pw * 3:(r + 1) * pw * 3]
               for r in range(ph)):
            return x, y


class Glimmora:
    """One running copy of the program with a config.ini of its own, saving every capture as PNG."""

    def __init__(self, capture=None):
        self.dir = tempfile.mkdtemp(prefix="glimmora-desktop-")
        self.images = os.path.join(self.dir, "images")
        os.makedirs(self.images)
        config_dir = os.path.join(self.dir, "xdg", "glimmora")
        os.makedirs(config_dir)
        config = configparser.ConfigParser()
        config.optionxform = str
        config["CaptureSet"] = {"HideWndBeforCap": "1", "RestoreWndAftCap": "0", "CapDelayTime": "0",
                                "CopyToClipboard": "0", **(capture or {})}
        config["AudoSaveSet"] = {"IsAudoSave": "1", "ImageFormat": "2", "ImageSavePath": self.images,
                                 "ImageSaveTitle": "Snap", "StartNum": "1"}
        with open(os.path.join(config_dir, "config.ini"), "w") as f:
            config.write(f, space_around_delimiters=False)
        # The program runs from the build tree, where the session's launcher names it (KWin checks it).
        self.env = dict(os.environ, HOME=self.dir, XDG_CONFIG_HOME=os.path.join(self.dir, "xdg"),
                        QT_LOGGING_RULES=ROUTE_LOGGING)
        self.env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        self.log = open(os.path.join(self.dir, "log.txt"), "w+")
        self.process = subprocess.Popen([PROGRAM], env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        wait_until(lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
             "org.freedesktop.DBus.NameHasOwner", "string:org.glimmora.Glimmora"],
            capture_output=True, text=True).stdout.find("true") >= 0, "the program on the session bus")

    def request(self, mode):
        return subprocess.run([PROGRAM, "--capture", mode], env=self.env, capture_output=True, text=True,
                              timeout=DEADLINE)

    def log_text(self):
        self.log.flush()
        with open(self.log.name) as f:
            return f.read()

    def wait_log(self, text, count=1):
        wait_until(lambda: self.log_text().count(text) >= count, "'%s' in the program's log" % text)

    def overlay(self, screen, scratch):
        """Waits until the overlay is up and the desktop shows it: its hints cover part of the screen."""
        self.wait_log("overlay shown")
        wait_until(lambda: differing_pixels(reference(scratch), screen) > 5000, "the overlay on the screen")

    def saved(self, n=1):
        path = os.path.join(self.images, "Snap%d.png" % n)

        def ready():
            if not os.path.exists(path):
                return None
            try:
                size_of(path)
                return path
            except subprocess.CalledProcessError:
                return None
        try:
            return wait_until(ready, "the capture to be saved as " + path)
        except AssertionError as e:
            raise AssertionError("%s; the program said:\n%s" % (e, self.log_text()[-3000:]))

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        text = self.log_text()
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return text


class DesktopScenarios(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="glimmora-desktop-test-")
        # A terminal full of text, so that a picture cut from the wrong place cannot pass.
        empty = reference(os.path.join(cls.tmp, "empty.png"))
        # A GTK dialog: foot stops with a division by zero on KWin's virtual output, which has no size.
        numbers = os.path.join(cls.tmp, "numbers.txt")
        with open(numbers, "w") as f:
            text = " ".join("%04d" % i for i in range(1, 3001))
            f.write("\n".join(text[i:i + 70] for i in range(0, len(text), 70)))
        cls.terminal = subprocess.Popen(["zenity", "--text-info", "--filename", numbers, "--title", "text",
                                         "--width", "700", "--height", "500"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shown = os.path.join(cls.tmp, "shown.png")
        wait_until(lambda: differing_pixels(reference(shown), empty) > 10000, "the terminal to show")

    @classmethod
    def tearDownClass(cls):
        cls.terminal.terminate()
        cls.terminal.wait(10)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.glimmora = None
        self.pointer = Pointer(POINTER)
        self.pointer.move(1900, 1000)

    def tearDown(self):
        if self.glimmora:
            log = self.glimmora.close()
            if any(m in log for m in ("ERROR: AddressSanitizer", "runtime error:")):
                self.fail("sanitizer report:\n" + log)
        self.pointer.close()

    def path(self, name):
        return os.path.join(self.tmp, self.id().split(".")[-1] + "-" + name)

    def assertSameAsOneOf(self, got, *wanted):
        """The screen may change between two pictures (a clock): the capture equals one taken beside it."""
        differences = [differing_pixels(got, want) if size_of(got) == size_of(want) else -1 for want in wanted]
        self.assertIn(0, differences, "%s equals none of %s (pixels differing: %s)" % (got, wanted, differences))

    def without_clock(self, picture):
        """The picture with GNOME's top-bar clock (the centre of the first monitor's bar) painted over."""
        out = picture[:-len(".png")] + "-noclock.png"
        run("convert", picture, "-fill", "black", "-draw", "rectangle %d,0 %d,40" % (960 - 150, 960 + 150), out)
        return out

    def test_full_screen_is_the_portal_picture(self):
        before = reference(self.path("before.png"))
        grabbed = self.path("cli.png")
        result = subprocess.run([CLI, "grab", "--verbose", grabbed], capture_output=True, text=True,
                                timeout=DEADLINE)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("through the Screenshot portal", result.stderr)
        after = reference(self.path("after.png"))
        self.assertSameAsOneOf(grabbed, before, after)
        # The program's own capture, asked for over the bus while its window is hidden.
        g = self.glimmora = Glimmora()
        before = reference(self.path("before-program.png"))
        result = g.request("full")
        self.assertEqual(result.returncode, 0, result.stderr)
        saved = g.saved()
        after = reference(self.path("after-program.png"))
        self.assertIn("screen read through the Screenshot portal", g.log_text())
        # The picture before shows our window, which the capture hides: only the one after can match, and
        # the clock may have turned a minute in between.
        self.assertSameAsOneOf(self.without_clock(saved), self.without_clock(before), self.without_clock(after))

    def test_a_refused_permission_is_said_and_saves_nothing(self):
        def allow(answer):
            run("gdbus", "call", "--session", "--dest", "org.freedesktop.impl.portal.PermissionStore",
                "--object-path", "/org/freedesktop/impl/portal/PermissionStore",
                "--method", "org.freedesktop.impl.portal.PermissionStore.SetPermission",
                "screenshot", "true", "screenshot", "", "['%s']" % answer)
        never = self.path("never.png")
        allow("no")
        try:
            result = subprocess.run([CLI, "grab", never], capture_output=True, text=True, timeout=DEADLINE)
        finally:
            allow("yes")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("allow screenshots for Glimmora in the desktop's privacy settings", result.stderr)
        self.assertFalse(os.path.exists(never))

    def test_region_dragged_on_the_overlay(self):
        g = self.glimmora = Glimmora()
        screen = reference(self.path("screen.png"))
        self.assertEqual(g.request("region").returncode, 0)
        g.overlay(screen, self.path("overlay.png"))
        self.pointer.drag((100, 200), (500, 400))
        saved = g.saved()
        self.assertIn("screen read through the Screenshot portal", g.log_text())
        # The main window may have stood there before the capture hid it; KDE's picture shows the pointer.
        self.pointer.move(1900, 1000)
        self.assertSameAsOneOf(saved, crop(screen, (100, 200, 400, 200), self.path("want.png")),
                               crop(reference(self.path("later.png")), (100, 200, 400, 200),
                                    self.path("want-later.png")))

    @unittest.skipUnless(DESKTOP == "kde", "KWin alone copies windows for other programs")
    def test_window_under_the_mouse_and_active_window_through_kwin(self):
        # The active window (the terminal) is a part of the screen, frame and all.
        active = self.path("active.png")
        result = subprocess.run([CLI, "grab", "--active", "--verbose", active], capture_output=True, text=True,
                                timeout=DEADLINE)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("through KWin's ScreenShot2", result.stderr)
        screen = reference(self.path("screen.png"))
        corner = found_in(active, screen)
        self.assertIsNotNone(corner, "the active window is nowhere on the screen")
        # The window under the mouse: KWin waits for a click on it. Nothing shows when its picker is ready,
        # and a click before that only lands in the terminal: click until the capture is there.
        g = self.glimmora = Glimmora()
        w, h = size_of(active)
        self.assertEqual(g.request("window").returncode, 0)
        g.wait_log("asking KWin for the window")
        picked = os.path.join(g.images, "Snap1.png")

        def taken():
            self.pointer.click(corner[0] + w // 2, corner[1] + h // 2)
            try:
                return wait_until(lambda: os.path.exists(picked), "the pick", deadline=2)
            except AssertionError:
                return False
        wait_until(taken, "KWin to take the click on the terminal")
        self.assertIn("window read through KWin's ScreenShot2", g.log_text())
        self.assertEqual(size_of(g.saved(1)), (w, h))
        # The program's active-window capture: the terminal again, its frame now inactive or not.
        self.assertEqual(g.request("active").returncode, 0)
        self.assertEqual(size_of(g.saved(2)), (w, h))

    @unittest.skipUnless(DESKTOP == "gnome", "GNOME tells no program where windows are")
    def test_window_modes_fall_back_to_the_region_overlay(self):
        g = self.glimmora = Glimmora()
        screen = reference(self.path("screen.png"))
        self.assertEqual(g.request("window").returncode, 0)
        g.overlay(screen, self.path("overlay.png"))
        self.pointer.drag((300, 300), (420, 360))
        saved = g.saved()
        self.pointer.move(1900, 1000)
        self.assertSameAsOneOf(saved, crop(screen, (300, 300, 120, 60), self.path("want.png")),
                               crop(reference(self.path("later.png")), (300, 300, 120, 60),
                                    self.path("want-later.png")))

    @unittest.skipUnless(DESKTOP == "kde", "GNOME offers no clipboard to a program without the focus")
    def test_clipboard_holds_the_capture_while_the_window_is_hidden(self):
        g = self.glimmora = Glimmora(capture={"CopyToClipboard": "1"})
        self.assertEqual(g.request("full").returncode, 0)
        saved = g.saved()
        pasted = self.path("pasted.png")

        def paste():
            with open(pasted, "wb") as f:
                done = subprocess.run(["wl-paste", "--no-newline", "--type", "image/png"], stdout=f,
                                      stderr=subprocess.DEVNULL, timeout=10)
            return done.returncode == 0 and os.path.getsize(pasted) > 0
        wait_until(paste, "the capture on the clipboard")
        self.assertEqual(differing_pixels(pasted, saved), 0)


class TwoMonitors(DesktopScenarios):
    """The session started with a second monitor right of the first (scripts/common.sh,
    GLIMMORA_WL_SECOND_MONITOR): GNOME's at 1280 x 720, KDE's as large as the first."""
    SECOND = {"gnome": (1920, 0, 1280, 720), "kde": (1920, 0, 1920, 1080)}

    def test_full_screen_current_screen_and_a_region_across_both(self):
        second = self.SECOND[DESKTOP]
        first = (0, 0, 1920, 1080)
        g = self.glimmora = Glimmora()
        self.assertEqual(g.request("full").returncode, 0)
        saved = g.saved()
        screen = reference(self.path("screen.png"))
        self.assertEqual(size_of(screen), (second[0] + second[2], 1080))
        self.assertSameAsOneOf(self.without_clock(saved), self.without_clock(screen))
        # Current Screen: KWin says which output the pointer is on; GNOME tells no program, so there it is
        # the one our window was on (the first: the window is hidden after the first capture).
        spots = [(second, (second[0] + 300, 300)), (first, (300, 300))] if DESKTOP == "kde" else [(first, None)]
        for n, (monitor, spot) in enumerate(spots, start=2):
            if spot:
                self.pointer.move(*spot)
            self.assertEqual(g.request("screen").returncode, 0)
            got = g.saved(n)
            self.assertEqual(size_of(got), monitor[2:])
            want = crop(reference(self.path("now%d.png" % n)), monitor, self.path("want%d.png" % n))
            if monitor == first:
                got, want = self.without_clock(got), self.without_clock(want)
            self.assertSameAsOneOf(got, want)
        # A region dragged from the first monitor into the second, on the overlay's two windows.
        n = len(spots) + 2
        self.pointer.move(1900, 1000)
        screen = reference(self.path("before-region.png"))
        self.assertEqual(g.request("region").returncode, 0)
        g.overlay(screen, self.path("overlay.png"))
        self.pointer.drag((1700, 200), (2300, 500))
        saved = g.saved(n)
        self.pointer.move(1900, 1000)
        self.assertSameAsOneOf(saved, crop(screen, (1700, 200, 600, 300), self.path("want-region.png")),
                               crop(reference(self.path("later.png")), (1700, 200, 600, 300),
                                    self.path("want-region-later.png")))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
