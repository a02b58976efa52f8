#!/usr/bin/python3
"""The GNOME or KDE test session as the tests use it: the desktop's Screenshot portal gives a 1920x1080
picture of what is on the screen, and the session's pointer tool moves, clicks and scrolls so that a Qt
window receives each event where it was asked for.

Run inside the session (scripts/common.sh: start_wayland gnome|kde, wayland_ctest):
    session_test.py POINTER_PROBE POINTER_TOOL
"""
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROBE, POINTER = sys.argv[1:3]
REFERENCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "portal_screenshot.py")
DEADLINE = 60.0
COLOUR = "#2E8B57"


sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wayland"))
from scenarios import wait_until  # noqa: E402


def run(*args):
    return subprocess.run(list(args), check=True, capture_output=True, text=True).stdout


class Lines:
    """A program whose output is read a line at a time, in the background."""

    def __init__(self, *command):
        self.process = subprocess.Popen(list(command), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())
        self.lines.put(None)

    def expect(self, wanted, what):
        """The first line from now on for which wanted(line) holds."""
        end = time.monotonic() + DEADLINE
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, end - time.monotonic()))
            except queue.Empty:
                raise AssertionError("timed out waiting for %s; lines: %s" % (what, self.seen[-20:]))
            if line is None:
                raise AssertionError("%s ended (status %s) before %s; lines: %s"
                                     % (self.process.args[0], self.process.wait(), what, self.seen[-20:]))
            self.seen.append(line)
            if wanted(line):
                return line

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def close(self, terminate=False):
        self.process.stdin.close()
        if terminate:
            self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class Session(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="glimmora-session-test-")
        self.shots = 0

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def reference(self):
        self.shots += 1
        path = os.path.join(self.tmp, "screen%d.png" % self.shots)
        run("/usr/bin/python3", REFERENCE, path)
        return path

    def test_portal_picture_and_pointer(self):
        # The desktop's own picture of the whole output.
        path = self.reference()
        self.assertEqual(run("identify", "-format", "%w %h", path), "1920 1080")

        # A full-screen Qt window shows in the portal's pictures, corner to corner (KDE's has the cursor in
        # the middle).
        probe = Lines(PROBE, COLOUR)
        try:
            probe.expect(lambda l: l == "ready", "the probe window to paint")

            def covered():
                shot = self.reference()
                return all(run("convert", shot, "-format", "#%%[hex:p{%d,%d}]" % p, "info:")[:7] == COLOUR
                           for p in ((0, 0), (1919, 0), (0, 1079), (1919, 1079)))
            wait_until(covered, "the portal's picture to show the full-screen window")

            pointer = Lines(POINTER)
            try:
                pointer.expect(lambda l: l == "ready", "the pointer tool to start")

                def tell(line):
                    pointer.send(line)
                    self.assertEqual(pointer.expect(lambda l: True, "an answer to " + line), "ok", line)

                # A drag as a region selection makes it, then a right click and two wheel notches.
                tell("move 400 300")
                probe.expect(lambda l: l in ("enter 400 300", "move 400 300"), "the pointer at 400,300")
                tell("down 1")
                probe.expect(lambda l: l.startswith("press"), "the press")
                self.assertEqual(probe.seen[-1], "press 1 400 300")
                for i in range(1, 9):
                    tell("move %d %d" % (400 + 1100 * i // 8, 300 + 500 * i // 8))
                probe.expect(lambda l: l == "move 1500 800", "the drag to 1500,800")
                tell("up 1")
                probe.expect(lambda l: l.startswith("release"), "the release")
                self.assertEqual(probe.seen[-1], "release 1 1500 800")
                tell("down 3")
                tell("up 3")
                probe.expect(lambda l: l.startswith("release"), "the right button's release")
                self.assertEqual(probe.seen[-2:], ["press 3 1500 800", "release 3 1500 800"])
                # One notch towards the user is negative in Qt (-120 where the desktop passes on whole
                # notches; KWin's fake input has no notches, so Qt makes 180 of its 15 units); two notches
                # away are twice as much the other way, in one event or several.
                tell("wheel 1")
                one = int(probe.expect(lambda l: l.startswith("wheel"), "a notch").split()[1])
                self.assertLess(one, 0, "a notch towards the user")
                tell("wheel -2")
                total = 0
                while total < -2 * one:
                    total += int(probe.expect(lambda l: l.startswith("wheel"), "two notches away").split()[1])
                self.assertEqual(total, -2 * one, "two notches away")
            finally:
                pointer.close()
        finally:
            probe.close(terminate=True)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
