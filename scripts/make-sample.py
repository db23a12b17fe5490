#!/usr/bin/env python3
"""Writes samples/hidden.png: a PNG picture with a JPEG picture hidden after
its IEND chunk, and samples/payload.jpg, the hidden JPEG alone.

Both pictures are generated here (no outside artwork); the JPEG is encoded by
ImageMagick's convert. Run again only to redraw the sample."""
import math
import pathlib
import subprocess

import genkit

HERE = pathlib.Path(__file__).resolve().parent.parent / "samples"


def rgb_png(width, height, pixel):
    pixels = bytes(c for y in range(height) for x in range(width) for c in pixel(x, y))
    return genkit.png(width, height, 2, pixels, level=9)


def sky(x, y):
    """A calm evening sky over hills: what the viewer shows."""
    hill = 70 + 12 * math.sin(x / 17.0) + 6 * math.sin(x / 5.3)
    if y > hill:
        return (40, 90 + int(30 * math.sin(x / 9.0)), 40)
    t = y / 120.0
    return (int(250 - 120 * t), int(150 - 60 * t), int(90 + 120 * t))


def secret(x, y):
    """Concentric rings: what hides behind the end of the image."""
    r = math.hypot(x - 48, y - 48)
    v = (math.sin(r / 3.0) + 1) / 2
    return (int(255 * v), int(80 + 100 * (1 - v)), int(200 * (1 - v)))


def main():
    HERE.mkdir(exist_ok=True)
    w = h = 96
    ppm = b"P6 %d %d 255\n" % (w, h) + bytes(c for y in range(h) for x in range(w) for c in secret(x, y))
    jpeg = subprocess.run(["convert", "ppm:-", "-strip", "-quality", "85", "jpg:-"], input=ppm,
                          check=True, capture_output=True).stdout
    assert jpeg[6:10] == b"JFIF", "expected a JFIF JPEG"
    (HERE / "payload.jpg").write_bytes(jpeg)
    (HERE / "hidden.png").write_bytes(rgb_png(160, 120, sky) + jpeg)


if __name__ == "__main__":
    main()
