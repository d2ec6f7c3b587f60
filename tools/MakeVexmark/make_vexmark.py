#!/usr/bin/env python3
"""Draws Data/Vexmark.PNG, the stock thumbnail copied beside every pose file.

A 91 x 91 RGB picture (the size the figure application's library shows):
a slate background with a soft vertical gradient, a ring, and a bold "V"
made of two thick strokes. Everything is computed here; run it from the
repository root (or pass the output path) to make the file again.
"""
import math
import struct
import sys
import zlib

SIZE = 91


def blend(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def pixel(x, y):
    top, bottom = (46, 58, 74), (22, 28, 38)
    colour = blend(top, bottom, y / (SIZE - 1))
    cx = cy = (SIZE - 1) / 2
    r = math.hypot(x - cx, y - cy)
    ring = abs(r - 40.0)
    if ring < 2.0:
        colour = blend(colour, (120, 170, 210), 1.0 - ring / 2.0)
    # The "V": two strokes meeting at the bottom centre.
    d = min(segment_distance(x, y, 24, 22, 45, 70), segment_distance(x, y, 66, 22, 45, 70))
    if d < 6.5:
        colour = blend(colour, (236, 196, 92), min(1.0, 6.5 - d))
    return colour


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "Data/Vexmark.PNG"
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(out, "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
