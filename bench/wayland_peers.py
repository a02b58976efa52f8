#!/usr/bin/env python3
"""Glimmora on a Wayland session against grim, run inside the session (bench/wayland_peers.sh starts it):

1. a full-screen grab to a PNG file, whole process: glimmora-cli grab against grim, on the one output and
   on a layout of it and a 4K output at scale 2;
2. a key bound by the desktop (sway's bindsym running `glimmora --capture region`) to the overlay
   mapped: the time from the key to sway's event for the new window, less the capture delay (the
   shortest one allowed, 500 ms, is configured). The key's own way through `wtype` and sway is in it;
3. the same request from its command on: `glimmora --capture region` started here, to the overlay
   mapped, less the delay. This is the program's own cost: its start, the bus call, the grab and the
   window.

The PNG files' sizes are printed beside the times. With ONLY=grab in the environment only the first part runs.

usage: wayland_peers.py GLIMMORA GLIMMORA_CLI [RUNS]
"""
import configparser
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

PROGRAM, CLI = sys.argv[1:3]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 15
DELAY_MS = 500  # the program never waits less before a capture


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter() - start) * 1000


def grabs(out):
    # Something with detail on the screen, so the PNG encoders have work to do.
    term = subprocess.Popen(["foot", "sh", "-c", "ls -lR /usr/share/doc | head -200; exec sleep 1000"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    ours, grims = [], []
    for _ in range(RUNS):  # interleaved, so both see the same machine
        ours.append(timed([CLI, "grab", os.path.join(out, "g.png")]))
        grims.append(timed(["grim", "-t", "png", os.path.join(out, "grim.png")]))
    term.terminate()
    sizes = [os.path.getsize(os.path.join(out, name)) for name in ("g.png", "grim.png")]
    return median(ours), median(grims), sizes


def sway(*command):
    return subprocess.run(["swaymsg", *command], check=True, capture_output=True, text=True).stdout


def two_outputs(out):
    """The same grabs on a layout of the 1920 x 1080 output and a 3840 x 2160 one beside it at scale 2."""
    names = lambda: {o["name"] for o in json.loads(sway("-t", "get_outputs", "-r"))}
    if "HEADLESS-2" not in names():
        sway("create_output")
        for _ in range(100):
            if "HEADLESS-2" in names():
                break
            time.sleep(0.05)
    sway("output", "HEADLESS-2", "enable")
    sway("--", "output", "HEADLESS-2", "resolution", "3840x2160", "position", "1920", "0", "scale", "2")
    try:
        ours, grims = [], []
        for _ in range(RUNS):
            ours.append(timed([CLI, "grab", os.path.join(out, "g2.png")]))
            grims.append(timed(["grim", "-t", "png", os.path.join(out, "grim2.png")]))
        return median(ours), median(grims)
    finally:
        sway("output", "HEADLESS-2", "disable")


def start_program(out):
    folder = tempfile.mkdtemp(dir=out)
    program = os.path.join(folder, "glimmora")
    shutil.copy2(PROGRAM, program)
    os.symlink(os.path.join(os.path.dirname(PROGRAM), "glimmora-gui.so"), os.path.join(folder, "glimmora-gui.so"))
    config = configparser.ConfigParser()
    config.optionxform = str
    config["CaptureSet"] = {"HideWndBeforCap": "1", "CapDelayTime": str(DELAY_MS)}
    with open(os.path.join(folder, "config.ini"), "w") as f:
        config.write(f, space_around_delimiters=False)
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "xdg"))
    app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Up once it owns its name on the bus.
    for _ in range(600):
        if b"true" in subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                      "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                      "string:org.glimmora.Glimmora"], capture_output=True).stdout:
            break
        time.sleep(0.1)
    return app, program


def hotkey_to_overlay(out):
    events = subprocess.Popen(["swaymsg", "-t", "subscribe", "-m", '["window"]'], stdout=subprocess.PIPE, text=True)
    mapped = threading.Event()
    seen_at = [0.0]

    def watch():
        # sway reports the new window first and its title just after: the time is the first report's.
        new_at = 0.0
        for line in events.stdout:
            try:
                event = json.loads(line)
            except ValueError:
                continue
            if event.get("change") == "new":
                new_at = time.perf_counter()
            elif event.get("container", {}).get("name") == "Glimmora capture" and not mapped.is_set() and new_at:
                seen_at[0] = new_at
                new_at = 0.0
                mapped.set()
    threading.Thread(target=watch, daemon=True).start()
    by_key, by_command = [], []
    # A fresh program each round: a key typed by a new virtual keyboard into the overlay is not always
    # taken, so the overlay is not cancelled by key but ended with the program.
    for n in range(2 * RUNS):
        app, program = start_program(out)
        subprocess.run(["swaymsg", "bindsym --no-warn ctrl+shift+b exec '%s' --capture region" % program],
                       check=True, capture_output=True)
        time.sleep(0.3)
        mapped.clear()
        start = time.perf_counter()
        if n % 2 == 0:
            subprocess.run(["wtype", "-M", "ctrl", "-M", "shift", "b", "-m", "shift", "-m", "ctrl"], check=True)
        else:
            subprocess.run([program, "--capture", "region"], check=True)
        if not mapped.wait(30):
            raise SystemExit("the overlay did not map")
        (by_key if n % 2 == 0 else by_command).append((seen_at[0] - start) * 1000 - DELAY_MS)
        app.terminate()
        app.wait(20)
    events.terminate()
    subprocess.run(["swaymsg", "unbindsym ctrl+shift+b"], capture_output=True)
    return median(by_key), median(by_command)


def main():
    out = tempfile.mkdtemp(prefix="glimmora-wayland-bench-")
    grab_only = os.environ.get("ONLY") == "grab"
    try:
        ours, grim, sizes = grabs(out)
        if not grab_only:
            by_key, by_command = hotkey_to_overlay(out)
            ours2, grim2 = two_outputs(out)
    finally:
        shutil.rmtree(out, ignore_errors=True)
    print("| measure (1920 x 1080, headless sway, median of %d) | Glimmora | grim | ratio |" % RUNS)
    print("|---|---|---|---|")
    print("| full-screen grab to a PNG file, whole process | %.1f ms | %.1f ms | %.2f |" % (ours, grim, ours / grim))
    print("| its file (a terminal full of text) | %d bytes | %d bytes | %.2f |" % (sizes[0], sizes[1], sizes[0] / sizes[1]))
    if grab_only:
        return
    print("| full-screen grab to PNG, 1920 x 1080 + 3840 x 2160 at 2 (a 7680 x 2160 picture) | %.1f ms | %.1f ms | %.2f |"
          % (ours2, grim2, ours2 / grim2))
    print("| bound key to overlay mapped, less the %d ms delay | %.1f ms | | |" % (DELAY_MS, by_key))
    print("| `glimmora --capture region` to overlay mapped, less the delay | %.1f ms | | goal < 50 ms |" % by_command)


if __name__ == "__main__":
    main()
