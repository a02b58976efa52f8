"""Screen recording from the main window on the test desktop: the menu and the overlay as a user would use
them, the control window through the accessibility tree, the file judged by ffprobe; the Recording tab's
values in config.ini and in the next recording, started and stopped by another program."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import glimmora_desktop as desk  # noqa: E402
from glimmora_desktop import DesktopTest, send, wait_until, xdotool  # noqa: E402


def setUpModule():
    desk.setUpModule()


def tearDownModule():
    desk.tearDownModule()


def probe(path):
    """The first video stream's codec and size, and the file's duration in seconds."""
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_streams", "-show_format",
                          "-count_frames", path], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    info = json.loads(out.stdout)
    video = [s for s in info["streams"] if s["codec_type"] == "video"][0]
    duration = float(info["format"].get("duration") or video.get("duration") or 0)
    return video["codec_name"], (video["width"], video["height"]), duration, int(video.get("nb_read_frames", 0))


def geometry(window):
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    v = {k.strip(): val.strip() for k, _, val in (line.partition(":") for line in out.splitlines())}
    return (int(v["Absolute upper-left X"]), int(v["Absolute upper-left Y"]), int(v["Width"]), int(v["Height"]))


def click(node):
    """A left click in the middle of an accessible, where the screen shows it."""
    box = node.queryComponent().getExtents(desk.pyatspi.DESKTOP_COORDS)
    xdotool("mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2))
    xdotool("click", "1")


def overlaps(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


class Recording(DesktopTest):
    def overlay(self, g):
        return xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name",
                       "^Glimmora capture$")

    def control(self, g):
        return xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name",
                       "^Glimmora recording$")

    def elapsed_shown(self, g):
        """The control's time once it is past the first second."""
        label = g.first(lambda n: n.getRoleName() == "label" and (n.name or "").startswith("Recording ")
                        and not (n.name or "").endswith(" 0:00"))
        return label.name if label else None

    def test_a_region_recorded_from_the_menu_then_the_settings_and_a_request_from_another_program(self):
        g = self.start(prepare=lambda g: g.write_config({
            "CaptureSet": {"HideWndBeforCap": "1", "CapDelayTime": "0"},
            "AudoSaveSet": {"IsAudoSave": "1", "ImageSavePath": g.images, "ImageSaveTitle": "Clip",
                            "StartNum": "7"},
            # Out of range: the default, 30, is used.
            "RecordSet": {"FrameRate": "500"}}))
        # Esc in the overlay records nothing.
        self.assertEqual(send("--record", "region").returncode, 0)
        wait_until(lambda: self.overlay(g), "the selection overlay")
        xdotool("key", "Escape")
        wait_until(lambda: not self.overlay(g), "the overlay to close")
        wait_until(lambda: g.status("nothing was chosen"), "the status saying so")
        self.assertFalse(self.control(g))
        self.assertEqual(os.listdir(g.images), [])

        g.menu("Record Region")
        wait_until(lambda: self.overlay(g), "the selection overlay")
        region = (100, 120, 320, 240)
        xdotool("mousemove", str(region[0]), str(region[1]))
        xdotool("mousedown", "1")
        xdotool("mousemove", "200", "200")
        xdotool("mousemove", str(region[0] + region[2]), str(region[1] + region[3]))
        xdotool("mouseup", "1")
        wait_until(lambda: not self.overlay(g), "the overlay to close")
        control = wait_until(lambda: self.control(g), "the recording control")[0]
        wait_until(lambda: not g.visible(), "the main window to hide")
        # Never in the video: the control sits outside the recorded rectangle.
        self.assertFalse(overlaps(geometry(control), region), geometry(control))
        wait_until(lambda: self.elapsed_shown(g), "the time to run")
        # A second recording is refused, and the caller hears why.
        r = send("--record", "screen")
        self.assertEqual(r.returncode, 1)
        self.assertIn("already running", r.stderr)
        # Pause and Resume through their own actions; the button says which it is.
        g.press(wait_until(lambda: g.find("push button", "Pause recording"), "the Pause button"))
        wait_until(lambda: g.label_with("Paused "), "the paused time")
        g.press(wait_until(lambda: g.find("push button", "Resume recording"), "the Resume button"))
        wait_until(lambda: g.label_with("Recording "), "the time running again")
        stop = wait_until(lambda: g.find("push button", "Stop recording"), "the Stop button")
        g.press(stop)
        path = os.path.join(g.images, "Clip7.webm")
        wait_until(lambda: g.status("Recorded "), "the status naming the file")
        self.assertTrue(g.status(path))
        self.assertTrue(g.find("push button", "Open the recording"))
        wait_until(lambda: not self.control(g), "the control to close")
        codec, size, duration, frames = probe(path)
        self.assertEqual(codec, "vp9")
        self.assertEqual(size, region[2:])
        self.assertGreater(duration, 0)
        self.assertGreater(frames, 0)

        # The Recording tab: MP4, 15 frames a second, quality 40, no pointer.
        g.menu("Capture Setting")
        dialog = g.dialog("Capture Setting")
        tab = wait_until(lambda: g.find("page tab", "Recording", dialog), "the Recording tab")
        g.press(tab)
        fps = wait_until(lambda: g.find("spin button", "Frame rate", dialog), "the frame rate")
        self.assertEqual(fps.queryValue().currentValue, 30)
        fps.queryValue().currentValue = 15
        quality = g.find("spin button", "Quality (1-100)", dialog)
        quality.queryValue().currentValue = 40
        g.press(g.find("check box", "Record the pointer", dialog))
        # A combo box is named by its current entry; the labelled one is on the Recording page.
        page = g.find("panel", "Screen recording", dialog)
        combo = g.first(lambda n: n.getRoleName() == "combo box", page)
        self.assertEqual(combo.name, "WebM (VP9)")
        # With the mouse, as the list offers no choice to assistive tools.
        click(combo)
        entry = wait_until(lambda: (lambda e: e if e and e.getState().contains(desk.pyatspi.STATE_SHOWING)
                                    else None)(g.find("list item", "MP4 (H.264)", combo)), "the open list")
        click(entry)
        wait_until(lambda: combo.name == "MP4 (H.264)", "MP4 chosen")
        g.answer("Capture Setting", "OK")
        wait_until(lambda: not g.find("dialog", "Capture Setting"), "the dialog to close")
        config = g.read_config()
        self.assertEqual(dict(config["RecordSet"]), {"Format": "1", "FrameRate": "15", "Quality": "40",
                                                     "Cursor": "0"})

        # Another program starts and stops the next one; it takes the new settings and the next number.
        self.assertEqual(send("--record", "screen").returncode, 0)
        wait_until(lambda: self.control(g), "the recording control")
        wait_until(lambda: self.elapsed_shown(g), "the time to run")
        r = send("--stop-recording")
        self.assertEqual(r.returncode, 0, r.stderr)
        path = os.path.join(g.images, "Clip8.mp4")
        wait_until(lambda: g.status(path), "the status naming the second file")
        codec, size, duration, frames = probe(path)
        self.assertEqual(codec, "h264")
        screen = xdotool("getdisplaygeometry")
        self.assertEqual(size, (int(screen[0]), int(screen[1])))
        self.assertGreater(duration, 0)

        # A window picked on the overlay: its contents, at its size, followed by the recording.
        term = subprocess.Popen(["xterm", "-T", "recorded-window", "-geometry", "60x12+700+300", "-e", "sleep",
                                 "600"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (term.terminate(), term.wait()))
        window = wait_until(lambda: xdotool("search", "--onlyvisible", "--name", "^recorded-window$"),
                            "the terminal")[0]
        x, y, w, h = geometry(window)
        self.assertEqual(send("--record", "window").returncode, 0)
        wait_until(lambda: self.overlay(g), "the window overlay")
        xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        xdotool("mousemove", str(x + w // 2 + 5), str(y + h // 2 + 5))
        xdotool("click", "1")
        control = wait_until(lambda: self.control(g), "the recording control")[0]
        self.assertFalse(overlaps(geometry(control), (x, y, w, h)), geometry(control))
        wait_until(lambda: self.elapsed_shown(g), "the time to run")
        # Dragged by its time, the frameless window moves.
        cx, cy, cw, ch = geometry(control)
        xdotool("mousemove", "--sync", str(cx + 10), str(cy + ch // 2))
        xdotool("mousedown", "1")
        for step in range(1, 6):
            xdotool("mousemove", "--sync", str(cx + 10 - 20 * step), str(cy + ch // 2 + 20 * step))
        xdotool("mouseup", "1")
        wait_until(lambda: geometry(control)[:2] != (cx, cy), "the control to move")
        self.assertEqual(send("--stop-recording").returncode, 0)
        path = os.path.join(g.images, "Clip9.mp4")
        wait_until(lambda: g.status(path), "the status naming the third file")
        codec, size, duration, frames = probe(path)
        # 4:2:0 keeps even sizes: an odd column or row is left out.
        self.assertEqual(size, (w - w % 2, h - h % 2))
        self.assertGreater(duration, 0)

        # Nothing to stop now: said to the caller.
        r = send("--stop-recording")
        self.assertEqual(r.returncode, 1)
        self.assertIn("No recording", r.stderr)
        # The bus methods themselves, as a desktop shortcut or a script would call them.
        name, message = desk.glimmora_call("Record", "(s)", "sideways")
        self.assertEqual(name, "org.glimmora.Glimmora.Error.UnknownMode")
        self.assertIn("region, window, screen", message)
        self.assertEqual(desk.glimmora_call("StopRecording", "()"),
                         ("org.glimmora.Glimmora.Error.Refused", "No recording is running."))

    def test_a_missing_plugin_is_named_with_its_package_and_nothing_is_written(self):
        plugins = self.enterContext(__import__("tempfile").TemporaryDirectory())
        g = self.start(prepare=lambda g: g.write_config({
            "CaptureSet": {"HideWndBeforCap": "1", "CapDelayTime": "0"},
            "AudoSaveSet": {"IsAudoSave": "1", "ImageSavePath": g.images}}),
            # A GStreamer that finds no plugins at all.
            extra_env={"GST_PLUGIN_SYSTEM_PATH_1_0": plugins, "GST_PLUGIN_PATH_1_0": plugins,
                       "GST_REGISTRY_1_0": os.path.join(plugins, "registry.bin")})
        self.assertEqual(send("--record", "screen").returncode, 0)
        g.wait_message("gstreamer1.0-plugins-")
        wait_until(g.visible, "the window back")
        self.assertTrue(g.status("Nothing was recorded."))
        self.assertFalse(self.control(g))
        self.assertEqual(os.listdir(g.images), [])


if __name__ == "__main__":
    unittest.main()
