#!/usr/bin/env python3
"""Writes res/sound/capture.wav: a short two-tone shutter click of our own making."""
import math
import os
import struct
import wave

RATE = 22050
out = os.path.join(os.path.dirname(__file__), "..", "res", "sound", "capture.wav")
samples = []
for tone, start, length in ((1800.0, 0.0, 0.035), (1200.0, 0.045, 0.06)):
    first = int(start * RATE)
    while len(samples) < first:
        samples.append(0.0)
    for i in range(int(length * RATE)):
        t = i / RATE
        envelope = math.exp(-t * 60.0)
        samples.append(0.6 * envelope * math.sin(2 * math.pi * tone * t))
with wave.open(out, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(b"".join(struct.pack("<h", int(s * 32767)) for s in samples))
