#!/usr/bin/env python3
"""Draws the program's own Logo.jpg (150x85): a chequered band and a stopwatch on money green.
Writes a PPM and converts it with cjpeg (Debian package libjpeg-turbo-progs)."""
import math
import subprocess
import sys
from pathlib import Path

W, H = 150, 85


def pixel(x, y):
    # Money-green background with a soft vertical gradient.
    g = 220 - y // 3
    colour = (192 - y // 4, g, 192 - y // 4)
    # Chequered band along the bottom.
    if y >= 66 and y < 80:
        return (20, 20, 20) if ((x // 7) + ((y - 66) // 7)) % 2 else (250, 250, 250)
    # Stopwatch: ring, face, crown, hands.
    cx, cy, r = 38, 34, 24
    d = math.hypot(x - cx, y - cy)
    if 36 <= x <= 40 and 4 <= y <= 10:
        return (0, 110, 0)
    if r - 4 <= d <= r:
        return (0, 128, 0)
    if d < r - 4:
        if abs(x - cx) <= 1 and cy - 16 <= y <= cy:
            return (0, 0, 0)
        if cx <= x <= cx + 13 and abs((y - cy) - (x - cx) * 0.4) <= 1.2:
            return (220, 0, 0)
        return (245, 250, 245)
    # Three speed stripes to the right, red and green.
    for i, (c, off) in enumerate((((220, 0, 0), 14), ((0, 170, 0), 28), ((220, 0, 0), 42))):
        if 72 + i * 6 <= x <= 140 and off + 4 <= y <= off + 8 and x - 72 - i * 6 >= (y - off) * 2:
            return c
    return colour


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "Logo.jpg")
    ppm = out.with_suffix(".ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (W, H))
        f.write(bytes(v for y in range(H) for x in range(W) for v in pixel(x, y)))
    with open(out, "wb") as f:
        subprocess.run(["cjpeg", "-quality", "90", "-optimize", str(ppm)], stdout=f, check=True)
    ppm.unlink()


if __name__ == "__main__":
    main()
