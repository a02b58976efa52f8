#!/usr/bin/env python3
"""glimmora-cli record on the real X server of $DISPLAY: a window whose right block steps through colours
30 times a second is recorded to each format, and the files are read back with ffprobe and ffmpeg.

    record_scenarios.py GLIMMORA_CLI [unittest args]
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from colour_window import BLOCK_X, HEIGHT, WIDTH, step_colour  # noqa: E402

CLI = sys.argv[1] if len(sys.argv) > 1 else None
HELPER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "colour_window.py")
FORMATS = ("webm", "mp4", "gif")
FPS = 30
STEPS = [step_colour(k) for k in range(125)]


def wait_until(condition, what, deadline=60.0):
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def run(*args):
    return subprocess.run(list(args), check=True, capture_output=True, text=True).stdout


def probe(path):
    """Width, height, duration in seconds and frame count, as ffprobe reads the file."""
    out = run("ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
              "stream=width,height,nb_read_frames:format=duration", "-of", "default=noprint_wrappers=1", path)
    values = dict(line.split("=", 1) for line in out.split())
    duration = float(values["duration"]) if values.get("duration", "N/A") != "N/A" else None
    return int(values["width"]), int(values["height"]), duration, int(values["nb_read_frames"])


def frames(path, width, height):
    """Every frame as it is shown, RGB bytes, with its duration in seconds."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24",
                          "-fps_mode", "passthrough", "-"], check=True, capture_output=True).stdout
    size = width * height * 3
    # ffmpeg 5.1 fills in the packet's duration where the frame's is empty.
    lines = run("ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                "frame=pkt_duration_time,duration_time", "-of", "csv=p=0", path).split()
    durations = [float(v) for v in (next((f for f in line.split(",") if f not in ("", "N/A")), "0")
                                    for line in lines)]
    pictures = [raw[i:i + size] for i in range(0, len(raw) - size + 1, size)]
    return pictures, durations


def pixel(picture, width, x, y):
    i = (y * width + x) * 3
    return tuple(picture[i:i + 3])


def nearest_step(rgb):
    best = min(range(len(STEPS)), key=lambda k: sum((a - b) ** 2 for a, b in zip(STEPS[k], rgb)))
    return best, max(abs(a - b) for a, b in zip(STEPS[best], rgb))


def difference(a, b, width, height, skip_x=None):
    """Mean and largest difference of two RGB pictures, columns from skip_x on left out."""
    total = largest = count = 0
    row = width * 3
    end = (skip_x if skip_x is not None else width) * 3
    for y in range(height):
        ra, rb = a[y * row:y * row + end], b[y * row:y * row + end]
        if ra == rb:
            count += len(ra)
            continue
        for p, q in zip(ra, rb):
            d = abs(p - q)
            total += d
            largest = max(largest, d)
        count += len(ra)
    return total / max(count, 1), largest


class ColourWindow:
    def __init__(self, x=100, y=100):
        self.process = subprocess.Popen([sys.executable, HELPER, str(FPS), str(x), str(y)],
                                        stdout=subprocess.PIPE, text=True)
        assert self.process.stdout.readline().strip() == "ready"
        name = "^colour window %d$" % self.process.pid
        self.id = int(wait_until(lambda: run("xdotool", "search", "--name", name).split(), "the window")[0])

    def geometry(self):
        info = run("xwininfo", "-id", str(self.id))
        field = {k.strip(): v.strip() for k, v in (line.split(":", 1) for line in info.splitlines() if ":" in line)}
        return (int(field["Absolute upper-left X"]), int(field["Absolute upper-left Y"]), int(field["Width"]),
                int(field["Height"]))

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.process.stdout.close()


class RecordScenarios(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="glimmora-record-")
        self.window = ColourWindow()
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(self.window.close)

    def path(self, name):
        return os.path.join(self.dir, name)

    def record(self, *args, check=True):
        result = subprocess.run([CLI, "record", *args], capture_output=True, text=True, timeout=300)
        if check:
            self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def grab(self, rect, cursor=False):
        """The region as glimmora-cli grab reads it, as RGB bytes."""
        png = self.path("grab.png")
        run(CLI, "grab", "--rect", ",".join(map(str, rect)), *(["--cursor"] if cursor else []), png)
        return subprocess.run(["ffmpeg", "-v", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                              check=True, capture_output=True).stdout

    def assert_steps_in_order(self, pictures, width, height, block_left, what):
        """The block's colour in every frame is a step, and the steps never go back or leap."""
        steps = []
        for n, picture in enumerate(pictures):
            k, error = nearest_step(pixel(picture, width, block_left + (width - block_left) // 2, height // 2))
            self.assertLess(error, 40, "%s: frame %d shows no step colour" % (what, n))
            steps.append(k)
        leaps = [(steps[i + 1] - steps[i]) % 125 for i in range(len(steps) - 1)]
        self.assertTrue(all(d <= 6 for d in leaps), "%s: steps out of order: %s" % (what, steps))
        return steps

    def test_each_format_holds_the_region_frame_by_frame(self):
        x, y, w, h = self.window.geometry()
        rect = (x, y, w, h)
        reference = self.grab(rect)
        for fmt in FORMATS:
            with self.subTest(format=fmt):
                out = self.path("region." + fmt)
                self.record("--rect", ",".join(map(str, rect)), "--duration", "3", out)
                width, height, duration, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertAlmostEqual(duration, 3.0, delta=0.3)
                pictures, durations = frames(out, width, height)
                if fmt == "gif":
                    # A GIF keeps a frame that repeats the one before as a longer delay.
                    count = sum(round(d * FPS) for d in durations)
                self.assertGreaterEqual(count, 0.85 * 3 * FPS)
                self.assert_steps_in_order(pictures, width, height, BLOCK_X, fmt)
                # The still part of the first frame is the grab: exactly in the GIF (the pattern and the
                # steps are fewer colours than its palette holds), within the codec's loss otherwise.
                mean, largest = difference(pictures[0], reference, width, height, skip_x=BLOCK_X)
                if fmt == "gif":
                    self.assertEqual(largest, 0, "the GIF's first frame is not the grab")
                else:
                    # 4:2:0 halves the colour of the 1-pixel lines; a wrong or shifted frame is far above.
                    self.assertLess(mean, 10.0, "%s: the first frame is far from the grab" % fmt)

    def test_a_window_is_followed_and_its_closing_ends_the_recording(self):
        _, _, w, h = self.window.geometry()
        for fmt in FORMATS:
            with self.subTest(format=fmt):
                out = self.path("window." + fmt)
                recorder = subprocess.Popen([CLI, "record", "--verbose", "--window", str(self.window.id), out],
                                            stderr=subprocess.PIPE, text=True)
                self.assertIn("recording", recorder.stderr.readline())
                self.assertIn("first frame", recorder.stderr.readline())
                # Moved while recorded: the frames still show the window.
                for position in ((300, 200), (40, 500)):
                    before = self.window.geometry()[:2]
                    run("xdotool", "windowmove", str(self.window.id), *map(str, position))
                    wait_until(lambda: self.window.geometry()[:2] != before, "the move")
                self.window.close()
                _, errors = recorder.communicate(timeout=120)
                self.assertEqual(recorder.returncode, 0, errors)
                self.assertIn("the window was closed", errors)
                width, height, _, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertGreater(count, 0)
                pictures, _ = frames(out, width, height)
                self.assert_steps_in_order(pictures, width, height, BLOCK_X, fmt)
                self.window = ColourWindow()
                self.addCleanup(self.window.close)

    def test_the_cursor_is_drawn_only_when_asked(self):
        x, y, w, h = self.window.geometry()
        rect = (x, y, BLOCK_X, h)  # the still part only
        run("xdotool", "mousemove", str(x + 60), str(y + 60))
        reference = self.grab(rect)
        with_cursor = self.grab(rect, cursor=True)
        self.assertNotEqual(reference, with_cursor, "the grab shows no cursor to look for")
        for cursor in (False, True):
            with self.subTest(cursor=cursor):
                out = self.path("cursor%d.gif" % cursor)
                self.record("--rect", ",".join(map(str, rect)), "--duration", "0.5", *(["--cursor"] * cursor), out)
                pictures, _ = frames(out, BLOCK_X, h)
                _, largest = difference(pictures[0], reference, BLOCK_X, h)
                if cursor:
                    self.assertGreater(largest, 0, "no cursor in the frame")
                    # Only around the pointer.
                    _, far = difference(pictures[0][(90 * BLOCK_X) * 3:], reference[(90 * BLOCK_X) * 3:],
                                        BLOCK_X, h - 90)
                    self.assertEqual(far, 0)
                else:
                    self.assertEqual(largest, 0, "a cursor nobody asked for")

    def test_sigterm_leaves_a_complete_file(self):
        x, y, w, h = self.window.geometry()
        for fmt in FORMATS:
            with self.subTest(format=fmt):
                out = self.path("term." + fmt)
                recorder = subprocess.Popen([CLI, "record", "--verbose", "--rect", "%d,%d,%d,%d" % (x, y, w, h),
                                             out], stderr=subprocess.PIPE, text=True)
                self.assertIn("SIGTERM", recorder.stderr.readline())
                self.assertIn("first frame", recorder.stderr.readline())
                recorder.send_signal(signal.SIGTERM)
                _, errors = recorder.communicate(timeout=120)
                self.assertEqual(recorder.returncode, 0, errors)
                width, height, duration, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertGreater(count, 0)
                self.assertIsNotNone(duration)
                pictures, _ = frames(out, width, height)
                self.assert_steps_in_order(pictures, width, height, BLOCK_X, fmt)

    def test_a_killed_recording_keeps_a_playable_prefix(self):
        """SIGKILL gives no chance to finish: WebM's clusters and MP4's fragments on the disk still play.
        (A GIF is written at the end: killed, it holds nothing.)"""
        x, y, w, h = self.window.geometry()
        for fmt in ("webm", "mp4"):
            with self.subTest(format=fmt):
                out = self.path("killed." + fmt)
                recorder = subprocess.Popen([CLI, "record", "--rect", "%d,%d,%d,%d" % (x, y, w, h), out],
                                            stderr=subprocess.PIPE, text=True)
                self.assertIn("SIGTERM", recorder.stderr.readline())

                def frames_on_disk():
                    try:
                        return probe(out)[3] > 0
                    except (subprocess.CalledProcessError, KeyError, ValueError):
                        return False
                wait_until(frames_on_disk, "frames on the disk")
                recorder.kill()
                recorder.communicate()
                width, height, _, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertGreater(count, 0)
                pictures, _ = frames(out, width, height)
                self.assert_steps_in_order(pictures, width, height, BLOCK_X, fmt)

    @unittest.skipUnless(os.geteuid() == 0, "mounting a small file system needs root")
    def test_a_full_disk_keeps_a_playable_prefix_and_says_so(self):
        x, y, w, h = self.window.geometry()
        rect = "%d,%d,%d,%d" % (x, y, w, h)
        for fmt in FORMATS:
            with self.subTest(format=fmt):
                # What 3 s take, then a disk with room for about half of it (and for a GIF's first frame,
                # which the recorder keeps room for from the start).
                full = self.path("whole." + fmt)
                self.record("--rect", rect, "--duration", "3", full)
                size = os.path.getsize(full)
                disk = self.path("disk-" + fmt)
                os.mkdir(disk)
                room = size // 2 + w * h + 8192 + 64 * 1024
                run("mount", "-t", "tmpfs", "-o", "size=%d" % room, "tmpfs", disk)
                self.addCleanup(subprocess.run, ["umount", disk])
                with open(os.path.join(disk, "filler"), "wb") as filler:
                    filler.write(b"\0" * (64 * 1024))
                out = os.path.join(disk, "cut." + fmt)
                result = self.record("--rect", rect, "--duration", "20", out, check=False)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn("No space left", result.stderr)
                self.assertIn("plays", result.stderr)
                width, height, _, count = probe(out)
                self.assertEqual((width, height), (w, h))
                self.assertGreater(count, 0)
                pictures, _ = frames(out, width, height)
                self.assert_steps_in_order(pictures, width, height, BLOCK_X, fmt)

    def test_mistakes_are_named_before_anything_records(self):
        x, y, w, h = self.window.geometry()
        rect = "%d,%d,%d,%d" % (x, y, w, h)
        cases = [
            (["--fps", "0", "a.webm"], 2, "--fps '0'"),
            (["--rect", "1,2,3", "a.webm"], 2, "--rect '1,2,3'"),
            (["--duration", "soon", "a.webm"], 2, "--duration 'soon'"),
            (["--rect", rect, "a.avi"], 2, ".webm (VP9), .mp4 (H.264) or .gif"),
            (["--rect", rect, "--window", "5", "a.webm"], 2, "choose one of"),
            (["--rect", "0,0,99999,10", "a.webm"], 2, "--rect"),
            (["--rect", "1900,1000,300,300", "a.webm"], 1, "reaches outside the screen"),
            (["--window", "0x7fffff", "a.webm"], 1, "no window"),
            (["--screen", "7", "a.webm"], 1, "there is no screen 7"),
            (["--rect", rect, "--duration", "1", "/nonexistent-folder/a.webm"], 1,
             "cannot write /nonexistent-folder/a.webm: No such file or directory"),
        ]
        for args, status, words in cases:
            with self.subTest(args=args):
                result = subprocess.run([CLI, "record", *args], capture_output=True, text=True, cwd=self.dir)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(words, result.stderr)
        self.assertFalse(os.path.exists(self.path("a.webm")))
        # A GStreamer without x264: the package to install is named, and nothing records.
        plugins = self.path("plugins")
        os.mkdir(plugins)
        system = "/usr/lib/x86_64-linux-gnu/gstreamer-1.0"
        for name in os.listdir(system):
            if name != "libgstx264.so":
                os.symlink(os.path.join(system, name), os.path.join(plugins, name))
        env = dict(os.environ, GST_PLUGIN_SYSTEM_PATH=plugins, GST_REGISTRY=self.path("registry.bin"))
        result = subprocess.run([CLI, "record", "--rect", rect, "--duration", "1", self.path("b.mp4")],
                                capture_output=True, text=True, env=env)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("x264enc (gstreamer1.0-plugins-ugly)", result.stderr)
        self.assertEqual(os.path.getsize(self.path("b.mp4")) if os.path.exists(self.path("b.mp4")) else 0, 0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
