#!/usr/bin/env python3
"""One running Glimmora through many captures and undo/redo steps, watching what it holds.

Full-screen captures are requested over the session bus (`glimmora --capture full`), each opening a tab
that is closed again through File > Close (the accessibility tree, as a user's tool would); then one
picture takes a few image commands and the keyboard steps back and forth through them with Ctrl+Z and
Ctrl+Y. Resident memory, open files and threads are read from /proc after the first 100 of each and at the
end. Run on a desktop (bench/soak.sh starts one): soak.py GLIMMORA [CAPTURES] [STEPS]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

PROGRAM = os.path.abspath(sys.argv[1])
CAPTURES = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
STEPS = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
DEADLINE = 30.0
LOG = str  # the program's output so far, once it runs


def wait_until(condition, what):
    end = time.monotonic() + DEADLINE
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise SystemExit("soak: timed out waiting for " + what + LOG())
        time.sleep(0.02)


def held(pid):
    """Resident memory (KiB), open files and threads of the process."""
    with open("/proc/%d/status" % pid) as f:
        status = dict(line.split(":", 1) for line in f if ":" in line)
    return (int(status["VmRSS"].split()[0]), len(os.listdir("/proc/%d/fd" % pid)), int(status["Threads"]))


def report(what, first, last):
    (rss0, fd0, th0), (rss1, fd1, th1) = first, last
    print("%-34s %9.1f MiB -> %7.1f MiB (%+.1f %%)   files %d -> %d   threads %d -> %d" % (
        what, rss0 / 1024, rss1 / 1024, 100.0 * (rss1 - rss0) / rss0, fd0, fd1, th0, th1), flush=True)
    return 100.0 * (rss1 - rss0) / rss0 < 10 and fd0 == fd1 and th0 == th1


def main():
    work = tempfile.mkdtemp(prefix="glimmora-soak-")
    try:
        shots = os.path.join(work, "shots")
        os.makedirs(shots)
        program = os.path.join(work, "glimmora")
        shutil.copy2(PROGRAM, program)
        os.symlink(os.path.join(os.path.dirname(PROGRAM), "glimmora-gui.so"), os.path.join(work, "glimmora-gui.so"))
        # The window stays up; each capture is saved at once as well (a tab still asks before it closes).
        with open(os.path.join(work, "config.ini"), "w") as f:
            f.write("[CaptureSet]\nCapDelayTime=0\nHideWndBeforCap=0\nRestoreWndAftCap=1\nCapAppViewMode=0\n"
                    "CopyToClipboard=0\n"
                    "[AudoSaveSet]\nIsAudoSave=1\nImageFormat=2\nImageSavePath=%s\nImageSaveTitle=Snap\n"
                    "StartNum=1\n" % shots)
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "xdg"),
                   XDG_STATE_HOME=os.path.join(work, "state"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("NO_AT_BRIDGE", None)
        os.environ.pop("NO_AT_BRIDGE", None)
        log = open(os.path.join(work, "log.txt"), "w+")
        process = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT)
        global LOG
        LOG = lambda: "; the program said:\n" + open(log.name).read()[-2000:]
        import pyatspi

        def app():
            for a in pyatspi.Registry.getDesktop(0):
                try:
                    if a is not None and a.get_process_id() == process.pid:
                        return a
                except Exception:
                    pass
            return None

        def find(root, role, name):
            def walk(node):
                try:
                    if node.getRoleName() == role and (node.name or "").split("\t")[0] == name:
                        return node
                    for child in node:
                        if child is not None:
                            found = walk(child)
                            if found:
                                return found
                except Exception:
                    return None
                return None
            return walk(root)

        def press(node):
            node.queryAction().doAction(0)

        def titles():
            """The names of the program's visible windows: the main window's first, then a prompt's."""
            names = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name",
                                    "^Glimmora", "getwindowname", "%@"], capture_output=True,
                                   text=True).stdout.splitlines()
            return sorted(names, key=lambda n: n == "Glimmora")

        def title():
            names = titles()
            return names[0] if len(names) == 1 else ""

        root = wait_until(app, "the program on the accessibility bus")
        bar = wait_until(lambda: find(root, "menu bar", ""), "the menu bar")
        close = wait_until(lambda: find(bar, "menu item", "Close"), "File > Close")
        wait_until(lambda: title() == "Glimmora", "the main window")

        ok = True
        started = time.monotonic()
        first = None
        for i in range(1, CAPTURES + 1):
            done = subprocess.run([program, "--capture", "full"], env=env, capture_output=True, text=True)
            if done.returncode != 0:
                raise SystemExit("soak: capture %d refused: %s" % (i, done.stderr))
            wait_until(lambda: title() == "Glimmora - Snap%d.png" % i, "capture %d in its tab" % i)
            press(close)
            # "Do you want to save the image?" No: it is saved already.
            wait_until(lambda: titles()[-1:] == ["Glimmora"] and len(titles()) == 2, "the prompt for tab %d" % i)
            subprocess.run(["xdotool", "key", "alt+n"], check=True)
            wait_until(lambda: title() == "Glimmora", "tab %d to close" % i)
            if i == 100:
                first = held(process.pid)
        ok &= report("%d captures (after the first 100)" % CAPTURES, first, held(process.pid))
        print("  %.1f ms per capture and close" % (1000 * (time.monotonic() - started) / CAPTURES), flush=True)

        # One picture, ten commands to step through.
        subprocess.run([program, "--capture", "full"], env=env, check=True)
        wait_until(lambda: title() == "Glimmora - Snap%d.png" % (CAPTURES + 1), "the picture to step through")
        commands = ["Filp Horizontally", "Invert", "Filp Vertically", "Invert"] * 2 + ["Rotate 90", "Rotate 270"]
        for name in commands:
            press(wait_until(lambda: find(bar, "menu item", name), name))
        subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name", "^Glimmora",
                        "windowactivate", "--sync"], check=True)
        first = None
        for step in range(1, STEPS + 1):
            # Back through the ten commands, then forward again.
            key = "ctrl+z" if (step - 1) % 20 < 10 else "ctrl+y"
            subprocess.run(["xdotool", "key", key], check=True)
            if step == 100:
                first = held(process.pid)
        # The last key handled: the picture is where the steps left it once the window answers again.
        wait_until(lambda: find(bar, "menu item", "Close"), "the window to answer")
        ok &= report("%d undo/redo steps (after the first 100)" % STEPS, first, held(process.pid))
        process.terminate()
        process.wait(30)
        print("within bounds" if ok else "OUT OF BOUNDS (memory grew 10 % or more, or files/threads changed)")
        return 0 if ok else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
