#!/usr/bin/env python3
"""Glimmora on a real Wayland session (headless sway), driven as a user would: requests over D-Bus,
the pointer through a virtual pointer device, keys through the compositor's bindings, and the results
read from outside (the auto-saved file, grim's picture, wl-paste).

Run inside the session (scripts/common.sh: start_wayland, wayland_ctest):
    scenarios.py GLIMMORA GLIMMORA_CLI WL_POINTER [unittest args]
"""
import configparser
import fcntl
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

# Imported by the other desktops' scripts for its helpers, with arguments of their own.
PROGRAM, CLI, POINTER = (sys.argv[1:4] + [None] * 3)[:3]
DEADLINE = 60.0


def wait_until(condition, what, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def run(*args, **kwargs):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, **kwargs).stdout


def sway(*command):
    return run("swaymsg", *command)


def views():
    """Every window sway shows: id, app_id, name, pid, frame rectangle, focused, fullscreen."""
    found = []

    def walk(node, bars=1):
        if "pid" in node and not node.get("nodes") and not node.get("floating_nodes"):
            # The title bars above the view are the window's, wherever it lies: sway gives the deco_rect
            # no height where there are none; a stack shows every sibling's.
            r, d = node["rect"], node.get("deco_rect") or {"height": 0}
            top = r["y"] - bars * d["height"]
            found.append({"id": node["id"], "app_id": node.get("app_id"), "name": node.get("name"),
                          "pid": node.get("pid"), "visible": node.get("visible"), "focused": node.get("focused"),
                          "fullscreen": node.get("fullscreen_mode", 0),
                          "frame": (r["x"], top, r["width"], r["y"] + r["height"] - top),
                          "client": (r["x"] + node["window_rect"]["x"], r["y"] + node["window_rect"]["y"],
                                     node["window_rect"]["width"], node["window_rect"]["height"])})
        stack = len(node.get("nodes", [])) if node.get("layout") == "stacked" else 1
        for child in node.get("nodes", []):
            walk(child, max(1, stack))
        for child in node.get("floating_nodes", []):
            walk(child)
    walk(json.loads(sway("-t", "get_tree")))
    return found


def grim(path, *options):
    run("grim", "-t", "png", *options, path)


def settled_grim(path, *options):
    """grim's picture once the windows have finished redrawing (two pictures in a row the same)."""
    previous = path + ".previous.png"
    grim(previous, *options)
    def same():
        grim(path, *options)
        if size_of(path) == size_of(previous) and differing_pixels(path, previous) == 0:
            return True
        os.replace(path, previous)
        return False
    wait_until(same, "the screen to settle")
    os.remove(previous)


def size_of(path):
    w, h = run("identify", "-format", "%w %h", path).split()
    return int(w), int(h)


def differing_pixels(a, b):
    """Pixels that differ between two pictures of the same size (ImageMagick's AE metric)."""
    result = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    if result.returncode == 2:
        raise AssertionError("compare failed: " + result.stderr)
    return int(float(result.stderr.split()[0]))


def crop(source, rect, path):
    x, y, w, h = rect
    run("convert", source, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", path)
    return path


class Pointer:
    """The virtual pointer device; it exists while this object lives."""

    def __init__(self, tool=None):
        self.process = subprocess.Popen([tool or POINTER], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True)
        assert self.process.stdout.readline().strip() == "ready", "the pointer device did not start"

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        assert answer == "ok", "pointer: %s -> %s" % (line, answer)

    def move(self, x, y):
        self.send("move %d %d" % (x, y))

    def drag(self, start, end, steps=8):
        self.move(*start)
        self.send("down 1")
        for i in range(1, steps + 1):
            self.move(start[0] + (end[0] - start[0]) * i // steps, start[1] + (end[1] - start[1]) * i // steps)
        self.send("up 1")

    def click(self, x, y):
        self.move(x, y)
        self.send("down 1")
        self.send("up 1")

    def close(self):
        self.process.stdin.close()
        self.process.wait(10)


class Terminal:
    """A foot window showing the output of a shell command, kept open."""

    def __init__(self, command, title):
        self.title = title
        self.process = subprocess.Popen(["foot", "--title", title, "sh", "-c", command + "; exec sleep 100000"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.view = wait_until(lambda: next((v for v in views() if v["name"] == title), None),
                               "the terminal '%s' to map" % title)

    def refresh(self):
        self.view = next(v for v in views() if v["id"] == self.view["id"])
        return self.view

    def close(self):
        self.process.terminate()
        self.process.wait(10)


class Glimmora:
    """One running copy of the program in a folder of its own, its config.ini beside it."""

    def __init__(self, capture=None, extra_env=None):
        self.dir = tempfile.mkdtemp(prefix="glimmora-wayland-")
        self.program = os.path.join(self.dir, "glimmora")
        shutil.copy2(PROGRAM, self.program)
        # The program loads its window from beside itself.
        os.symlink(os.path.join(os.path.dirname(PROGRAM), "glimmora-gui.so"), os.path.join(self.dir, "glimmora-gui.so"))
        self.images = os.path.join(self.dir, "images")
        os.makedirs(self.images)
        config = configparser.ConfigParser()
        config.optionxform = str
        config["CaptureSet"] = {"HideWndBeforCap": "1", "RestoreWndAftCap": "0", "CapDelayTime": "0",
                                "CopyToClipboard": "0", **(capture or {})}
        config["AudoSaveSet"] = {"IsAudoSave": "1", "ImageFormat": "2", "ImageSavePath": self.images,
                                 "ImageSaveTitle": "Snap", "StartNum": "1"}
        with open(os.path.join(self.dir, "config.ini"), "w") as f:
            config.write(f, space_around_delimiters=False)
        env = dict(os.environ, HOME=self.dir, XDG_CONFIG_HOME=os.path.join(self.dir, "xdg"))
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        env.update(extra_env or {})
        self.env = env
        self.log = open(os.path.join(self.dir, "log.txt"), "w+")
        self.process = subprocess.Popen([self.program], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.main = wait_until(lambda: next((v for v in views() if v["pid"] == self.process.pid), None),
                               "the main window to map")
        # The bus name is taken once the window is up; a request before that would start a second copy.
        wait_until(lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
             "org.freedesktop.DBus.NameHasOwner", "string:org.glimmora.Glimmora"],
            capture_output=True, text=True).stdout.find("true") >= 0, "the program on the session bus")

    def request(self, mode):
        return subprocess.run([self.program, "--capture", mode], env=self.env, capture_output=True, text=True,
                              timeout=DEADLINE)

    def saved(self, n=1):
        path = os.path.join(self.images, "Snap%d.png" % n)
        # Complete once the program has renamed or closed it: wait for a stable, readable picture.
        def ready():
            if not os.path.exists(path):
                return None
            try:
                size_of(path)
                return path
            except subprocess.CalledProcessError:
                return None
        return wait_until(ready, "the capture to be saved as " + path)

    def overlay(self):
        return wait_until(lambda: next((v for v in views() if v["pid"] == self.process.pid and v["fullscreen"]),
                                       None), "the capture overlay to cover the screen")

    def overlay_gone(self):
        wait_until(lambda: not any(v["pid"] == self.process.pid and v["fullscreen"] for v in views()),
                   "the overlay to close")

    def log_text(self):
        self.log.flush()
        with open(self.log.name) as f:
            return f.read()

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.seek(0)
        text = self.log.read()
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return text


class WaylandScenarios(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Our main window floats, so hiding it for a capture leaves the tiled windows where they are (the
        # overlay is left alone: it covers the output itself).
        sway('for_window [app_id="glimmora" title="^Glimmora($| - )"] "floating enable, move position 1200 100"')
        cls.tmp = tempfile.mkdtemp(prefix="glimmora-wayland-test-")
        cls.left = Terminal("seq -w 1 2000 | paste -sd ' ' | fold -w 60", "left")
        cls.right = Terminal("ls -l /usr/bin | head -70", "right")

    @classmethod
    def tearDownClass(cls):
        cls.left.close()
        cls.right.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.pointer = Pointer()
        self.pointer.move(960, 1070)  # out of the way, over no text
        self.reference = os.path.join(self.tmp, self.id().split(".")[-1] + "-screen.png")
        grim(self.reference)
        self.glimmora = None

    def tearDown(self):
        if self.glimmora:
            log = self.glimmora.close()
            if any(m in log for m in ("ERROR: AddressSanitizer", "runtime error:")):
                self.fail("sanitizer report:\n" + log)
        self.pointer.close()

    def start(self, **kwargs):
        self.glimmora = Glimmora(**kwargs)
        return self.glimmora

    def assertSamePicture(self, got, want):
        self.assertEqual(size_of(got), size_of(want))
        self.assertEqual(differing_pixels(got, want), 0, "%s differs from %s" % (got, want))

    def test_full_screen_is_what_grim_sees(self):
        # The command-line grab through the screen copy, on a turned or mirrored output too, then the
        # program's own capture by request.
        try:
            for transform in ("90", "180", "flipped-270", "normal"):
                sway("output", "HEADLESS-1", "transform", transform)
                want = os.path.join(self.tmp, "grim-%s.png" % transform)
                settled_grim(want)
                grabbed = os.path.join(self.tmp, "cli-%s.png" % transform)
                route = subprocess.run([CLI, "grab", "--verbose", grabbed], check=True, capture_output=True,
                                       text=True).stderr
                self.assertIn("through the wlroots screen copy", route)
                self.assertSamePicture(grabbed, want)
        finally:
            sway("output", "HEADLESS-1", "transform", "normal")
        settled_grim(self.reference)
        # The route of desktops without the screen copy, forced here.
        through_portal = os.path.join(self.tmp, "cli-portal.png")
        route = subprocess.run([CLI, "grab", "--verbose", through_portal], check=True, capture_output=True,
                               text=True, env=dict(os.environ, GLIMMORA_WAYLAND_GRAB="portal")).stderr
        self.assertIn("through the Screenshot portal", route)
        self.assertSamePicture(through_portal, self.reference)
        bad = subprocess.run([CLI, "grab", os.path.join(self.tmp, "never.png")], capture_output=True, text=True,
                             env=dict(os.environ, GLIMMORA_WAYLAND_GRAB="pixels"))
        self.assertEqual(bad.returncode, 1)
        self.assertIn("GLIMMORA_WAYLAND_GRAB is set to 'pixels'", bad.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "never.png")))
        # The program's own capture, through the portal as on GNOME and KDE.
        g = self.start(extra_env={"GLIMMORA_WAYLAND_GRAB": "portal", "QT_LOGGING_RULES": "glimmora.grab.debug=true"})
        result = g.request("full")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertSamePicture(g.saved(), self.reference)
        self.assertIn("screen read through the Screenshot portal", g.log_text())

    def second_output(self):
        """HEADLESS-2 beside the first output, made once and enabled again later (sway 1.7 cannot remove
        a headless output; disabled, it is no part of the layout)."""
        names = lambda: {o["name"] for o in json.loads(sway("-t", "get_outputs", "-r"))}
        if "HEADLESS-2" not in names():
            sway("create_output")
            wait_until(lambda: "HEADLESS-2" in names(), "the second output")
        sway("output", "HEADLESS-2", "enable")
        return "HEADLESS-2"

    def restore_single_output(self):
        sway("output", "HEADLESS-2", "disable")
        sway("output", "HEADLESS-1", "resolution", "1920x1080", "position", "0", "0", "scale", "1",
             "transform", "normal")
        sway("focus", "output", "HEADLESS-1")

    def test_several_outputs_at_several_scales_are_what_grim_sees(self):
        # (first output's scale, second's mode, position, scale, transform, grim's size of the whole)
        layouts = [
            ("1", "1280x720", (1920, 0), "1", "normal", (3200, 1080)),
            ("1", "1280x720", (-1280, -300), "1", "normal", (3200, 1380)),
            ("2", "1280x720", (960, 0), "1", "normal", (2240 * 2, 720 * 2)),
            ("1.5", "1280x720", (1280, 0), "1", "normal", (3840, 1080)),
            ("1", "1280x720", (1920, 0), "2", "normal", (1920 * 2 + 1280, 1080 * 2)),
            ("1", "1280x720", (1920, 0), "1", "90", (1920 + 720, 1280)),
        ]
        second = self.second_output()
        try:
            for first_scale, mode, (x, y), scale, transform, whole in layouts:
                with self.subTest(first=first_scale, second=(mode, x, y, scale, transform)):
                    sway("output", "HEADLESS-1", "scale", first_scale)
                    sway("--", "output", second, "resolution", mode, "position", str(x), str(y), "scale", scale,
                         "transform", transform)
                    want = os.path.join(self.tmp, "grim-layout.png")
                    settled_grim(want)
                    self.assertEqual(size_of(want), whole)
                    grabbed = os.path.join(self.tmp, "cli-layout.png")
                    run(CLI, "grab", grabbed)
                    # grim leaves the one-pixel rim of an enlarged output half transparent; our pictures
                    # have no alpha and show its colour alone.
                    run("convert", want, "-alpha", "off", want)
                    self.assertSamePicture(grabbed, want)
                    # A window on the second output, active there: its frame as grim cuts it, title bar
                    # at that output's scale.
                    sway("focus", "output", second)
                    far = Terminal("echo far away", "far")
                    try:
                        view = wait_until(lambda: far.refresh()["focused"] and far.view, "the far window focused")
                        fx, fy, fw, fh = view["frame"]
                        want_window = os.path.join(self.tmp, "grim-window.png")
                        shot = lambda: run("grim", "-g", "%d,%d %dx%d" % (fx, fy, fw, fh), want_window)
                        shot()
                        got = os.path.join(self.tmp, "cli-active.png")
                        by_id = os.path.join(self.tmp, "cli-window.png")
                        def settled():
                            # Until the new window has drawn itself: two of grim's pictures alike, and ours.
                            run(CLI, "grab", "--active", got)
                            run(CLI, "grab", "--window", str(view["id"]), by_id)
                            with open(want_window, "rb") as f:
                                previous = f.read()
                            shot()
                            with open(want_window, "rb") as f:
                                if previous != f.read():
                                    return False
                            return all(size_of(p) == size_of(want_window) and differing_pixels(p, want_window) == 0
                                       for p in (got, by_id))
                        try:
                            wait_until(settled, "the active window on the second output", deadline=15)
                        finally:
                            self.assertSamePicture(got, want_window)
                            self.assertSamePicture(by_id, want_window)
                    finally:
                        far.close()
                    if (first_scale, scale) == ("2", "1"):
                        # Current Screen: the output sway has focused, at its own resolution.
                        g = self.start(capture={"HideWndBeforCap": "0"})
                        try:
                            for name in (second, "HEADLESS-1"):
                                # Out of both pictures, wherever the last capture showed it.
                                sway("[pid=%d] move scratchpad" % g.process.pid)
                                sway("focus", "output", name)
                                want_screen = os.path.join(self.tmp, "grim-%s.png" % name)
                                # Once the window now under the pointer has set its cursor.
                                settled_grim(want_screen, "-o", name)
                                n = 1 if name == second else 2
                                self.assertEqual(g.request("screen").returncode, 0)
                                self.assertSamePicture(g.saved(n), want_screen)
                        finally:
                            self.tearDown_glimmora()
        finally:
            self.restore_single_output()

    def test_region_dragged_across_two_outputs_at_two_scales(self):
        # The second output at scale 2 right of the first: the picture is at 2, 5120 x 2160.
        second = self.second_output()
        try:
            sway("--", "output", second, "resolution", "1280x720", "position", "1920", "0", "scale", "2",
                 "transform", "normal")
            want = os.path.join(self.tmp, "grim-across.png")
            settled_grim(want)
            run("convert", want, "-alpha", "off", want)
            self.assertEqual(size_of(want), (5120, 2160))
            g = self.start()
            self.assertEqual(g.request("region").returncode, 0)
            # One overlay window on each output, covering it.
            covers = lambda: sorted(v["frame"] for v in views() if v["pid"] == g.process.pid and v["fullscreen"])
            wait_until(lambda: covers() == [(0, 0, 1920, 1080), (1920, 0, 640, 360)],
                       "an overlay window on each output")
            # From the first output into the second, in the picture's pixels.
            # A pointer device made now: it learns the layout once, when it starts.
            pointer = Pointer()
            try:
                pointer.drag((3000, 300), (4400, 600))
            finally:
                pointer.close()
            g.overlay_gone()
            self.assertSamePicture(g.saved(), crop(want, (3000, 300, 1400, 300), os.path.join(self.tmp, "across.png")))
        finally:
            self.tearDown_glimmora()
            self.restore_single_output()

    def tearDown_glimmora(self):
        if self.glimmora:
            log = self.glimmora.close()
            self.glimmora = None
            if any(m in log for m in ("ERROR: AddressSanitizer", "runtime error:")):
                self.fail("sanitizer report:\n" + log)

    def test_under_xwayland_the_grab_asks_the_compositor(self):
        # Started by bus activation, a program may see only the X display of Xwayland, whose root window
        # shows none of the Wayland windows.
        r, w = os.pipe()
        xwayland = subprocess.Popen(["Xwayland", "-rootless", "-nolisten", "tcp", "-displayfd", str(w)],
                                    pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        try:
            with os.fdopen(r) as f:
                display = ":" + f.readline().strip()
            env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE")}
            env["DISPLAY"] = display
            settled_grim(self.reference)
            grabbed = os.path.join(self.tmp, "xwayland.png")
            run(CLI, "grab", grabbed, env=env)
            self.assertSamePicture(grabbed, self.reference)
            # Where no compositor can be found, a reason and no picture.
            nowhere = tempfile.mkdtemp(dir=self.tmp)
            none = os.path.join(self.tmp, "none.png")
            failed = subprocess.run([CLI, "grab", none], env=dict(env, XDG_RUNTIME_DIR=nowhere),
                                    capture_output=True, text=True)
            self.assertEqual(failed.returncode, 1)
            self.assertIn("Xwayland", failed.stderr)
            self.assertFalse(os.path.exists(none))
        finally:
            xwayland.terminate()
            xwayland.wait(20)

    def test_ten_bit_output_is_what_grim_sees(self):
        # A deep-colour output hands out 10 bits a channel; both programs narrow them to 8 alike.
        sway("output", "HEADLESS-1", "render_bit_depth", "10")
        try:
            want = os.path.join(self.tmp, "grim-10bit.png")
            settled_grim(want)
            grabbed = os.path.join(self.tmp, "cli-10bit.png")
            run(CLI, "grab", grabbed)
            self.assertSamePicture(grabbed, want)
        finally:
            sway("output", "HEADLESS-1", "render_bit_depth", "8")

    def test_region_dragged_on_the_overlay(self):
        g = self.start()
        self.assertEqual(g.request("region").returncode, 0)
        g.overlay()
        self.pointer.drag((100, 200), (500, 400))
        g.overlay_gone()
        self.assertSamePicture(g.saved(), crop(self.reference, (100, 200, 400, 200),
                                               os.path.join(self.tmp, "region.png")))

    def test_a_request_during_a_capture_is_refused_with_the_reason(self):
        g = self.start()
        self.assertEqual(g.request("region").returncode, 0)
        g.overlay()
        r = g.request("full")
        self.assertEqual((r.returncode, r.stderr.strip()),
                         (1, "glimmora: No capture while another capture is running; finish it first."))
        self.pointer.drag((100, 200), (300, 300))
        g.overlay_gone()
        self.assertEqual(size_of(g.saved(1)), (200, 100))
        # Once it is done, the next request is taken.
        self.assertEqual(g.request("full").returncode, 0)
        self.assertEqual(size_of(g.saved(2)), (1920, 1080))

    def test_window_under_the_mouse_and_active_window_from_sway(self):
        g = self.start()
        right = self.right.refresh()
        g.request("window")
        g.overlay()
        x, y, w, h = right["frame"]
        self.pointer.move(x + w // 2, y + h // 2)
        self.pointer.click(x + w // 2 + 1, y + h // 2)
        g.overlay_gone()
        self.assertSamePicture(g.saved(1), crop(self.reference, right["frame"], os.path.join(self.tmp, "right.png")))

        left = self.left.refresh()
        sway("[con_id=%d] focus" % left["id"])
        focused = os.path.join(self.tmp, "focused.png")  # its title bar now shows the focus
        grim(focused)
        g.request("active")
        self.assertSamePicture(g.saved(2), crop(focused, left["frame"], os.path.join(self.tmp, "left.png")))

    def test_clipboard_holds_the_capture_while_the_window_is_hidden(self):
        g = self.start(capture={"CopyToClipboard": "1"})
        g.request("full")
        saved = g.saved()
        pasted = os.path.join(self.tmp, "pasted.png")
        def paste():
            with open(pasted, "wb") as f:
                done = subprocess.run(["wl-paste", "--no-newline", "--type", "image/png"], stdout=f,
                                      stderr=subprocess.DEVNULL, timeout=10)
            return done.returncode == 0 and os.path.getsize(pasted) > 0
        wait_until(paste, "the capture on the clipboard")
        self.assertSamePicture(pasted, saved)

    def test_clipboard_readers_that_leave_or_stop_reading_harm_nothing(self):
        # A picture larger than the pipes between us and a reader can hold: noise on an empty workspace.
        noise = os.path.join(self.tmp, "noise.png")
        run("convert", "-size", "1920x1080", "xc:gray", "+noise", "Random", noise)
        sway("workspace", "9")
        sway("output", "HEADLESS-1", "bg", noise, "stretch")
        try:
            g = self.start(capture={"CopyToClipboard": "1"})
            self.assertEqual(g.request("full").returncode, 0)
            saved = g.saved()
            def paste():
                done = subprocess.run(["wl-paste", "--no-newline", "--type", "image/png"], capture_output=True,
                                      timeout=DEADLINE)
                return done.stdout if done.returncode == 0 and done.stdout else None
            clip = wait_until(paste, "the capture on the clipboard")
            pasted = os.path.join(self.tmp, "noise-pasted.png")
            with open(pasted, "wb") as f:
                f.write(clip)
            self.assertSamePicture(pasted, saved)
            self.assertGreater(len(clip), 2 << 20)
            # A reader that takes one byte and goes away.
            subprocess.run("wl-paste --type image/png | head -c1 >/dev/null", shell=True, timeout=DEADLINE)
            self.assertEqual(wait_until(paste, "the capture on the clipboard after a reader left"), clip)
            self.assertIsNone(g.process.poll())
            # A reader that stops reading: the window goes on working meanwhile, and the reader still gets
            # the whole picture once it reads again.
            r, w = os.pipe()
            stalled = subprocess.Popen(["wl-paste", "--no-newline", "--type", "image/png"], stdout=w)
            os.close(w)
            with os.fdopen(r, "rb") as reader:
                wait_until(lambda: struct.unpack("i", fcntl.ioctl(r, termios.FIONREAD, b"\0" * 4))[0] > 0,
                           "the reader to get the first bytes")
                second = g.request("full")
                self.assertEqual(second.returncode, 0, second.stderr)
                g.saved(2)
                self.assertEqual(reader.read(), clip)
            self.assertEqual(stalled.wait(DEADLINE), 0)
        finally:
            sway("output", "HEADLESS-1", "bg", os.environ["GLIMMORA_WAYLAND_BACKGROUND"], "solid_color")
            sway("workspace", "1")

    def test_key_bound_by_the_desktop_starts_a_region_capture(self):
        # Where no hotkey portal exists, users bind a key to the command in the desktop's settings.
        g = self.start()
        sway("bindsym --no-warn ctrl+shift+r exec '%s' --capture region" % g.program)
        try:
            run("wtype", "-M", "ctrl", "-M", "shift", "r", "-m", "shift", "-m", "ctrl")
            g.overlay()
            self.pointer.drag((300, 300), (420, 360))
            g.overlay_gone()
            self.assertEqual(size_of(g.saved()), (120, 60))
        finally:
            sway("unbindsym ctrl+shift+r")

    def test_scrolling_capture_of_a_terminal(self):
        lines = os.path.join(self.tmp, "lines.txt")
        with open(lines, "w") as f:
            f.write("".join("line %04d %s\n" % (i, "=" * (i % 50)) for i in range(1, 151)))
        # The terminal's own scrollback, scrolled back to its start as a user would before capturing.
        pager = Terminal("cat '%s'" % lines, "pager")
        try:
            g = self.start()
            view = pager.refresh()
            x, y, w, h = view["client"]
            # Low in the pane, below our floating main window.
            at = (x + w // 2, y + h - 60)
            self.pointer.move(*at)
            for _ in range(10):
                self.pointer.send("wheel -10")
            g.request("scroll")
            g.overlay()
            self.pointer.move(*at)
            self.pointer.click(*at)
            g.overlay_gone()
            width, height = size_of(g.saved())
            # 150 lines where the window shows half of them.
            self.assertGreater(height, 3 * h // 2)
            self.assertLessEqual(width, w)
        finally:
            pager.close()

    def test_recording_a_window_through_the_screen_copy(self):
        """glimmora-cli record on sway: the screen copy of a window that steps through colours, to WebM and
        GIF; the frames follow the steps in order, and closing the window ends the recording cleanly."""
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "record"))
        from colour_window import step_colour
        from record_scenarios import frames, nearest_step, probe
        colours = " ".join("%02x%02x%02x" % step_colour(k) for k in range(125))
        # foot's background takes each colour in turn (OSC 11), about 30 a second, the cursor hidden.
        command = ("printf '\\033[?25l'; clear; for c in %s; do printf '\\033]11;#%%s\\007' $c; sleep 0.03; done"
                   % colours)
        for fmt in ("webm", "gif"):
            with self.subTest(format=fmt):
                steps = Terminal(command, "steps-" + fmt)
                self.addCleanup(steps.close)
                _, _, w, h = steps.refresh()["frame"]
                out = os.path.join(self.tmp, "window." + fmt)
                result = subprocess.run([CLI, "record", "--duration", "1.5", "--window", str(steps.view["id"]), out],
                                        capture_output=True, text=True, timeout=300)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("recording %dx%d" % (w, h), result.stderr)
                width, height, _, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertGreater(count, 3)
                pictures, _ = frames(out, width, height)
                seen = []
                for n, picture in enumerate(pictures[:-1]):  # the last may show the window going
                    i = ((height // 2) * width + width // 2) * 3
                    k, error = nearest_step(tuple(picture[i:i + 3]))
                    if not seen and error >= 40:
                        continue  # foot's own background, before the first step
                    self.assertLess(error, 40, "%s: frame %d shows no step colour" % (fmt, n))
                    seen.append(k)
                leaps = [(b - a) % 125 for a, b in zip(seen, seen[1:])]
                self.assertTrue(all(d <= 6 for d in leaps), "%s: steps out of order: %s" % (fmt, seen))
                self.assertGreater(len(set(seen)), 3, "%s: the colours did not change: %s" % (fmt, seen))
                # Closed while recorded: the recording ends, and the file is complete.
                closed = os.path.join(self.tmp, "closed." + fmt)
                recorder = subprocess.Popen([CLI, "record", "--verbose", "--window", str(steps.view["id"]), closed],
                                            stderr=subprocess.PIPE, text=True)
                self.assertIn("recording", recorder.stderr.readline())
                self.assertIn("first frame", recorder.stderr.readline())
                steps.close()
                _, errors = recorder.communicate(timeout=120)
                self.assertEqual(recorder.returncode, 0, errors)
                self.assertIn("ended: the window was closed", errors)
                self.assertEqual(probe(closed)[:2], (w, h))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:], verbosity=2)
