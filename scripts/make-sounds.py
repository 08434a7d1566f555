#!/usr/bin/env python3
"""Writes the program's two sounds: a short contact click and a gong. Our own synthesis."""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050


def write(path, samples):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s * 32767)))) for s in samples))


def click():
    n = int(RATE * 0.06)
    return [0.8 * math.exp(-i / (RATE * 0.008)) * math.sin(2 * math.pi * 2200 * i / RATE) for i in range(n)]


def gong():
    n = int(RATE * 2.5)
    partials = [(110.0, 1.0, 1.2), (164.0, 0.6, 0.9), (247.0, 0.45, 0.7), (371.0, 0.3, 0.5), (529.0, 0.2, 0.35)]
    out = []
    for i in range(n):
        t = i / RATE
        attack = min(1.0, t / 0.01)
        s = sum(a * math.exp(-t / d) * math.sin(2 * math.pi * f * t) for f, a, d in partials)
        out.append(0.35 * attack * s)
    return out


if __name__ == "__main__":
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "sounds")
    folder.mkdir(parents=True, exist_ok=True)
    write(folder / "Ton-Kontakt.wav", click())
    write(folder / "Ton-Counter.wav", gong())
