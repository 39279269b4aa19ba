#!/usr/bin/env python3
"""Draws the plug-in's logo, bitmap resource 119: a 32 x 30, 24-bit picture of
a camera lens (dark barrel, blue glass, a bright highlight) with a small
four-pointed star above it to the right. Writes plugin_logo.bmp next to this
script; the committed file is the output of this script."""
import math
import os
import struct

W, H = 32, 30


def pixel(x, y):
    # Background: the grey of a dialog face.
    r, g, b = 192, 192, 192
    cx, cy = 14.5, 16.5
    d = math.hypot(x - cx, y - cy)
    if d <= 12.5:
        r, g, b = 40, 40, 48          # barrel
    if d <= 10.5:
        r, g, b = 90, 90, 100         # front ring
    if d <= 8.5:
        t = d / 8.5                   # glass, darker towards the rim
        r, g, b = int(30 + 40 * (1 - t)), int(60 + 70 * (1 - t)), int(140 + 90 * (1 - t))
    if math.hypot(x - 11.5, y - 13.0) <= 2.2:
        r, g, b = 235, 245, 255       # highlight
    # Star at (27, 4): a thin cross with a bright centre.
    sx, sy = 27, 4
    if (x == sx and abs(y - sy) <= 3) or (y == sy and abs(x - sx) <= 3):
        r, g, b = 255, 220, 60
    if abs(x - sx) <= 1 and abs(y - sy) <= 1:
        r, g, b = 255, 250, 200
    return r, g, b


def main():
    row_bytes = (W * 3 + 3) & ~3
    image = bytearray()
    for y in range(H - 1, -1, -1):    # bottom-up rows
        row = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        image += row
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(image), 0, 0, 14 + len(header))
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plugin_logo.bmp")
    with open(out, "wb") as f:
        f.write(file_header + header + image)


if __name__ == "__main__":
    main()
