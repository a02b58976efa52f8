#!/usr/bin/env python3
"""Screen recording beside ffmpeg's x11grab, on the X display of $DISPLAY showing bench/record_scene.py:
10 s of the 1920x1080 screen at 30 frames a second to VP9 and to H.264 with the same encoder settings,
then 10 s of a 640x480 region to GIF beside ffmpeg's two-pass palette GIF. For each: the CPU time of the
whole process (user + sys; ffmpeg's two GIF passes added), the frames in the file, the frames dropped
(of the 300 the rate asks for) and the drift of the frame times from the 1/30 s grid.

usage: record_peers.py GLIMMORA_CLI OUT_DIR   (ONLY=gif: the GIF comparison alone)
"""
import os
import resource
import subprocess
import sys

CLI, OUT = sys.argv[1], sys.argv[2]
DISPLAY = os.environ["DISPLAY"]
SECONDS, FPS = 10, 30
# The settings glimmora-cli's quality 70 gives its encoders (src/record/recorder.cpp).
# The bit-rate cap both share: a third of a bit per pixel.
CAP = 1920 * 1080 * FPS // 3
VP9 = ["-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-crf", "20", "-b:v", str(CAP),
       "-row-mt", "1", "-threads", str(os.cpu_count()), "-lag-in-frames", "0", "-g", "60", "-pix_fmt", "yuv420p"]
H264 = ["-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency", "-crf", "21", "-maxrate", str(CAP),
        "-bufsize", str(CAP * 6 // 10), "-g", "60",
        "-pix_fmt", "yuv420p", "-movflags", "+frag_keyframe+empty_moov+default_base_moof",
        "-frag_duration", "1000000"]


def cpu(command):
    """User + sys seconds of the command and everything it started."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime


def frame_times(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "frame=best_effort_timestamp_time,pkt_duration_time", "-of", "csv=p=0", path],
                         check=True, capture_output=True, text=True).stdout.split()
    times, durations = [], []
    for line in out:
        fields = (line.split(",") + ["", ""])[:2]
        times.append(float(fields[0]))
        durations.append(float(fields[1]) if fields[1] not in ("", "N/A") else 0.0)
    return times, durations


def report(name, path, seconds):
    times, durations = frame_times(path)
    first = times[0]
    times = [t - first for t in times]
    if name.endswith("GIF"):
        # A GIF shows a frame that did not change for longer instead of repeating it.
        frames = sum(round(d * FPS) for d in durations)
    else:
        frames = len(times)
    drift = max(abs(t - round(t * FPS) / FPS) for t in times) * 1000
    gaps = max((b - a for a, b in zip(times, times[1:])), default=0) * 1000
    print("| %s | %.2f | %d | %d | %.1f | %.0f | %d |" % (name, seconds, frames, max(0, SECONDS * FPS - frames),
                                                        drift, gaps, os.path.getsize(path) // 1024))


def ours(args, path):
    return cpu([CLI, "record", *args, "--duration", str(SECONDS), path])


def ffmpeg(size, origin, codec, path):
    return cpu(["ffmpeg", "-y", "-v", "error", "-f", "x11grab", "-draw_mouse", "0", "-framerate", str(FPS),
                "-video_size", size, "-i", DISPLAY + origin, "-t", str(SECONDS), *codec, path])


print("| recorder | CPU s (user+sys) | frames | dropped of 300 | drift from the grid, ms | longest gap, ms | KiB |")
print("|---|---|---|---|---|---|---|")
VIDEO = [
    ("glimmora-cli record, VP9 WebM", "ours.webm", lambda p: ours([], p)),
    ("ffmpeg x11grab + libvpx-vp9", "ffmpeg.webm", lambda p: ffmpeg("1920x1080", "+0,0", VP9, p)),
    ("glimmora-cli record, H.264 MP4", "ours.mp4", lambda p: ours([], p)),
    ("ffmpeg x11grab + libx264", "ffmpeg.mp4", lambda p: ffmpeg("1920x1080", "+0,0", H264, p)),
]
for name, path, run in VIDEO if os.environ.get("ONLY") != "gif" else []:
    full = os.path.join(OUT, path)
    report(name, full, run(full))

# GIF: 640x480 at (100, 300), where boxes, text and gradient pass.
gif = os.path.join(OUT, "ours.gif")
report("glimmora-cli record 640x480 GIF", gif, ours(["--rect", "100,300,640,480"], gif))
lossless = os.path.join(OUT, "ffmpeg.mkv")
seconds = ffmpeg("640x480", "+100,300", ["-c:v", "ffv1"], lossless)
palette = os.path.join(OUT, "palette.png")
seconds += cpu(["ffmpeg", "-y", "-v", "error", "-i", lossless, "-vf", "palettegen", palette])
ffgif = os.path.join(OUT, "ffmpeg.gif")
seconds += cpu(["ffmpeg", "-y", "-v", "error", "-i", lossless, "-i", palette, "-lavfi", "paletteuse", ffgif])
report("ffmpeg x11grab + palettegen/paletteuse 640x480 GIF", ffgif, seconds)
