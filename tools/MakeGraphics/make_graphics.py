#!/usr/bin/env python3
"""Draws the program's GUI images and brush stamps and packs the GUI images
into the data folder's WAD container.

Run from anywhere:  python3 tools/MakeGraphics/make_graphics.py [repository folder]

Writes (all deterministic, nothing read from elsewhere):
  Data/Graphics.dat                         every GUI image, one PNG entry each
  BrushShapes/01-Simple/Simple-0001.png     the default brush shape: a soft round dab (grey)
  Images/01-Patterns/Canvas-0001.png        a brush image: a woven canvas pattern (RGB)

Only the Python standard library is used; the program never runs this.

WAD layout, repeated to the end of the file: a 256-byte entry name (ASCII,
zero-padded), the data length as 4 bytes little-endian, the data.
"""

import math
import os
import struct
import sys
import zlib

# [SECTION] PNG writing


def png_bytes(width, height, rows, channels):
    """rows: top-down list of bytes objects, `channels` bytes per pixel."""
    colour_type = {1: 0, 3: 2, 4: 6}[channels]
    raw = bytearray()
    prev = bytes(width * channels)
    for row in rows:
        # "Up" filtering suits the smooth pictures drawn here.
        raw.append(2)
        raw.extend((row[i] - prev[i]) & 0xFF for i in range(len(row)))
        prev = row

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


# [SECTION] A tiny anti-aliased canvas


class Canvas:
    """RGBA floats 0..1, origin top-left, coordinates in pixels."""

    SAMPLES = 4  # per axis, for edge coverage

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.px = [list(fill) for _ in range(width * height)]

    def blend(self, x, y, colour, coverage):
        if coverage <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        r, g, b, a = colour
        a *= min(coverage, 1.0)
        d = self.px[y * self.w + x]
        out_a = a + d[3] * (1 - a)
        if out_a > 0:
            for c, s in enumerate((r, g, b)):
                d[c] = (s * a + d[c] * d[3] * (1 - a)) / out_a
        d[3] = out_a

    def shape(self, inside, colour, box=None):
        """inside(x, y) -> bool at sub-pixel positions; box limits the scan."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        n = self.SAMPLES
        offsets = [(i + 0.5) / n for i in range(n)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                self.blend(x, y, colour, hits / (n * n))

    # Primitives
    def disc(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour, (cx - r, cy - r, cx + r, cy + r))

    def ring(self, cx, cy, r, width, colour, start=0.0, end=360.0):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if abs(d - r) > width / 2:
                return False
            angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return start <= angle <= end if start <= end else (angle >= start or angle <= end)
        self.shape(inside, colour, (cx - r - width, cy - r - width, cx + r + width, cy + r + width))

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            if radius <= 0:
                return True
            qx = max(x0 + radius - x, 0, x - (x1 - radius))
            qy = max(y0 + radius - y, 0, y - (y1 - radius))
            return qx * qx + qy * qy <= radius * radius
        self.shape(inside, colour, (x0, y0, x1, y1))

    def line(self, xa, ya, xb, yb, width, colour):
        dx, dy = xb - xa, yb - ya
        length2 = dx * dx + dy * dy or 1.0

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / length2))
            return math.hypot(x - (xa + t * dx), y - (ya + t * dy)) <= width / 2
        pad = width
        self.shape(inside, colour, (min(xa, xb) - pad, min(ya, yb) - pad, max(xa, xb) + pad, max(ya, yb) + pad))

    def polygon(self, points, colour):
        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i, (xi, yi) in enumerate(points):
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.shape(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def polyline(self, points, width, colour):
        for a, b in zip(points, points[1:]):
            self.line(a[0], a[1], b[0], b[1], width, colour)

    def png(self, channels=4):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                p = self.px[y * self.w + x]
                values = [p[0], p[1], p[2], p[3]][:channels] if channels != 1 else [p[0]]
                row.extend(max(0, min(255, int(round(v * 255)))) for v in values)
            rows.append(bytes(row))
        return png_bytes(self.w, self.h, rows, channels)


# [SECTION] Colours and glyph helpers

WHITE = (1, 1, 1, 1)
INK = (0.12, 0.13, 0.16, 1)
SHADE = (0, 0, 0, 0.35)
RED = (0.85, 0.2, 0.18, 1)
GREEN = (0.25, 0.7, 0.3, 1)
YELLOW = (0.98, 0.8, 0.2, 1)
BLUE = (0.25, 0.5, 0.9, 1)
GREY = (0.6, 0.62, 0.66, 1)
ORANGE = (0.95, 0.55, 0.2, 1)
PURPLE = (0.6, 0.4, 0.85, 1)
TEAL = (0.2, 0.65, 0.65, 1)


def tile(colour, size=32):
    """A tool button face: a rounded square in the tool family's colour."""
    c = Canvas(size, size)
    c.rect(1, 2, size - 1, size - 0.5, SHADE, 5)
    c.rect(1, 1, size - 1, size - 2, colour, 5)
    c.rect(2, 2, size - 2, size / 2, (1, 1, 1, 0.12), 4)
    return c


def arrow(c, xa, ya, xb, yb, width, colour, head=5.0):
    angle = math.atan2(yb - ya, xb - xa)
    c.line(xa, ya, xb - math.cos(angle) * head * 0.6, yb - math.sin(angle) * head * 0.6, width, colour)
    left = (xb - head * math.cos(angle - 0.5), yb - head * math.sin(angle - 0.5))
    right = (xb - head * math.cos(angle + 0.5), yb - head * math.sin(angle + 0.5))
    c.polygon([(xb, yb), left, right], colour)


def brush(c, colour=WHITE):
    c.line(24, 7, 15, 16, 3, colour)
    c.polygon([(13, 15), (17, 19), (12, 25), (7, 26), (8, 21)], colour)


def magnifier(c, sign):
    c.ring(13, 13, 7, 2.6, WHITE)
    c.line(18.5, 18.5, 25, 25, 3.5, WHITE)
    if sign:
        c.line(9.5, 13, 16.5, 13, 2, WHITE)
    if sign == "+":
        c.line(13, 9.5, 13, 16.5, 2, WHITE)


def padlock(size, colour, body):
    c = Canvas(size, size)
    s = size / 16.0
    c.ring(8 * s, 6.5 * s, 3.2 * s, 1.6 * s, colour, 0, 180)
    c.line(4.8 * s, 6.5 * s, 4.8 * s, 8 * s, 1.6 * s, colour)
    c.line(11.2 * s, 6.5 * s, 11.2 * s, 8 * s, 1.6 * s, colour)
    c.rect(3 * s, 7.5 * s, 13 * s, 15 * s, body, 1.5 * s)
    c.disc(8 * s, 11 * s, 1.2 * s, INK)
    return c


def checker(size, a, b, cell):
    c = Canvas(size, size)
    for y in range(size):
        for x in range(size):
            c.px[y * size + x] = list(a if ((x // cell) + (y // cell)) % 2 == 0 else b)
    return c


def folder(open_):
    c = Canvas(16, 16)
    c.rect(1, 3, 7, 6, (0.85, 0.65, 0.25, 1), 1)
    c.rect(1, 5, 15, 14, (0.9, 0.72, 0.3, 1), 1)
    if open_:
        c.polygon([(3, 8), (16, 8), (14, 14), (1, 14)], (0.98, 0.84, 0.45, 1))
    return c


def eye(slashed):
    c = Canvas(16, 16)
    c.polygon([(1, 8), (5, 4), (11, 4), (15, 8), (11, 12), (5, 12)], WHITE)
    c.disc(8, 8, 2.6, INK if not slashed else GREY)
    if slashed:
        c.line(2, 14, 14, 2, 1.8, RED)
    return c


# [SECTION] The GUI images


def icons():
    out = {}

    def tool(name, colour, draw):
        c = tile(colour)
        draw(c)
        out[name] = c

    # Navigation and transformation
    tool("PanButton", TEAL, lambda c: [arrow(c, 16, 16, *p, 2.2, WHITE) for p in ((16, 4), (16, 28), (4, 16), (28, 16))])
    tool("Rotate_XY_Button", TEAL, lambda c: (c.ring(16, 16, 9, 2.5, WHITE, 30, 330), arrow(c, 23, 11, 25, 14, 2, WHITE)))
    tool("ZoomButton", TEAL, lambda c: magnifier(c, None))
    tool("ZoomButtonPlus", TEAL, lambda c: magnifier(c, "+"))
    tool("ZoomButtonMinus", TEAL, lambda c: magnifier(c, "-"))
    tool("Picker", BLUE, lambda c: c.polygon([(9, 5), (9, 24), (14, 19), (18, 27), (21, 26), (17, 18), (24, 18)], WHITE))

    # Selection
    tool("Selection", BLUE, lambda c: [c.disc(x, y, 2.2, WHITE) for x, y in ((8, 9), (16, 7), (24, 11), (11, 18), (21, 20), (15, 25))])
    tool("AdditionalSelectionBrushes", BLUE, lambda c: (c.ring(16, 16, 9, 2, WHITE), c.disc(16, 16, 3, WHITE)))
    tool("SelectVerticesIcon", BLUE, lambda c: (c.polyline([(7, 24), (12, 8), (25, 12), (20, 25), (7, 24)], 1.5, WHITE),
                                                [c.disc(x, y, 2.5, YELLOW) for x, y in ((7, 24), (12, 8), (25, 12), (20, 25))]))

    # Sculpt eraser: a tilted eraser block over the trail it wiped clean
    tool("SelectionEraser", BLUE, lambda c: (c.line(5, 26, 27, 26, 1.5, (1, 1, 1, 0.5)),
                                            c.polygon([(6, 19), (16, 9), (22, 15), (12, 25)], WHITE),
                                            c.polygon([(16, 9), (21, 4), (27, 10), (22, 15)], YELLOW)))

    # Deformers and modellers
    tool("Deformer", ORANGE, lambda c: (c.polyline([(5, 22), (11, 22), (16, 10), (21, 22), (27, 22)], 2.5, WHITE)))
    tool("Touchup_Deformer", ORANGE, lambda c: (c.polyline([(5, 22), (11, 22), (16, 10), (21, 22), (27, 22)], 2.5, WHITE), brush(c, YELLOW)))
    tool("GeometricShaper", ORANGE, lambda c: (c.ring(12, 13, 6, 2, WHITE), c.rect(15, 15, 26, 26, WHITE, 1)))
    tool("Modelers", PURPLE, lambda c: (c.polygon([(16, 5), (26, 10), (16, 15), (6, 10)], WHITE),
                                        c.polygon([(6, 11), (15, 16), (15, 27), (6, 22)], (0.85, 0.85, 0.9, 1)),
                                        c.polygon([(17, 16), (26, 11), (26, 22), (17, 27)], (0.7, 0.7, 0.78, 1))))
    tool("MoreTools", PURPLE, lambda c: [c.disc(x, 16, 2.6, WHITE) for x in (9, 16, 23)])
    tool("Extrude", PURPLE, lambda c: (c.rect(7, 18, 25, 26, WHITE, 1), arrow(c, 16, 18, 16, 5, 2.5, YELLOW, 6)))
    tool("MergePoints", PURPLE, lambda c: (c.disc(8, 10, 3, WHITE), c.disc(24, 10, 3, WHITE), arrow(c, 9, 12, 15, 21, 1.6, YELLOW),
                                           arrow(c, 23, 12, 17, 21, 1.6, YELLOW), c.disc(16, 24, 3.2, YELLOW)))
    tool("MergeObjects", PURPLE, lambda c: (c.rect(5, 8, 17, 20, WHITE, 2), c.rect(14, 13, 26, 25, (0.85, 0.85, 0.95, 0.85), 2)))
    tool("PolyReduce", PURPLE, lambda c: (c.polyline([(6, 25), (16, 6), (26, 25), (6, 25)], 2, WHITE), c.line(11, 15.5, 21, 15.5, 1.5, WHITE)))
    tool("Subdivide", PURPLE, lambda c: [c.rect(6 + i * 7, 6 + j * 7, 12 + i * 7, 12 + j * 7, WHITE, 1) for i in range(3) for j in range(3)])
    tool("SymmetryModeler", PURPLE, lambda c: (c.polygon([(15, 6), (15, 26), (6, 20)], WHITE), c.polygon([(17, 6), (17, 26), (26, 20)], (0.85, 0.85, 0.95, 1)),
                                              c.line(16, 3, 16, 29, 1, YELLOW)))
    tool("Touchup_Modeler", PURPLE, lambda c: (c.rect(6, 14, 20, 26, WHITE, 1), brush(c, YELLOW)))

    # Painting
    tool("Paint", RED, lambda c: brush(c))
    tool("Retouch", RED, lambda c: (brush(c), c.polygon([(24, 19), (25.5, 23), (29, 24), (25.5, 25), (24, 29), (22.5, 25), (19, 24), (22.5, 23)], YELLOW)))
    tool("PaintFloodFill", RED, lambda c: (c.polygon([(6, 14), (15, 6), (24, 15), (15, 24)], WHITE), c.disc(25, 22, 3, YELLOW)))
    tool("PaintFloodFill2", RED, lambda c: (c.polygon([(6, 14), (15, 6), (24, 15), (15, 24)], WHITE), c.disc(25, 22, 3, BLUE)))
    tool("PaintLine", RED, lambda c: (c.polyline([(6, 24), (13, 12), (19, 20), (26, 7)], 2.5, WHITE)))
    tool("PaintGeometry", RED, lambda c: (c.ring(11, 11, 5, 2, WHITE), c.rect(15, 15, 26, 26, WHITE, 0), c.polygon([(6, 26), (10, 18), (14, 26)], WHITE)))
    tool("PaintWizard", RED, lambda c: (c.line(7, 25, 20, 12, 3, WHITE),
                                        c.polygon([(23, 4), (24.5, 8), (28, 9), (24.5, 10), (23, 14), (21.5, 10), (18, 9), (21.5, 8)], YELLOW)))
    tool("EyeDropper", RED, lambda c: (c.line(8, 24, 20, 12, 2.5, WHITE), c.disc(22, 10, 4, WHITE), c.disc(7, 25, 1.8, YELLOW)))
    tool("GrabTexture", RED, lambda c: (c.rect(5, 5, 19, 19, WHITE, 1), c.rect(8, 8, 16, 16, GREY, 0), arrow(c, 17, 17, 26, 26, 2, YELLOW)))
    tool("BleedBrush", RED, lambda c: c.shape(lambda x, y: (x - 16) ** 2 + (y - 19) ** 2 <= 36 or (y < 19 and abs(x - 16) < (y - 5) * 0.45), WHITE))
    tool("Projection", RED, lambda c: (c.rect(4, 11, 12, 21, WHITE, 1), c.polygon([(12, 14), (27, 6), (27, 26), (12, 18)], (1, 1, 1, 0.55))))
    tool("BrushTileTool", RED, lambda c: ([c.rect(5 + i * 11, 5 + j * 11, 15 + i * 11, 15 + j * 11, WHITE, 1) for i in range(2) for j in range(2)],
                                          [c.disc(10 + i * 11, 10 + j * 11, 2.5, RED) for i in range(2) for j in range(2)]))

    # Panels, buttons and states
    tool("Manager", GREY, lambda c: (c.line(9, 7, 9, 25, 1.5, WHITE), [(c.line(9, y, 14, y, 1.5, WHITE), c.rect(15, y - 3, 26, y + 3, WHITE, 1)) for y in (10, 17, 24)]))
    tool("TextureMaps", GREY, lambda c: [c.rect(6 + i * 5, 6 + j * 5, 11 + i * 5, 11 + j * 5, WHITE if (i + j) % 2 == 0 else INK) for i in range(4) for j in range(4)])
    tool("ViewportSettings", GREY, lambda c: ([c.line(16, 16, 16 + 11 * math.cos(a * math.pi / 4), 16 + 11 * math.sin(a * math.pi / 4), 3.5, WHITE) for a in range(8)],
                                              c.disc(16, 16, 8, WHITE), c.disc(16, 16, 3.5, GREY)))
    tool("Refresh", GREY, lambda c: (c.ring(16, 16, 8, 2.5, WHITE, 40, 320), arrow(c, 21, 9, 24, 12, 2, WHITE)))
    tool("ResetButton_All", GREY, lambda c: (c.ring(16, 16, 8, 2.5, WHITE, 90, 360), arrow(c, 16, 8, 13, 8, 2, WHITE), c.disc(16, 16, 3, YELLOW)))
    tool("ResetButton_Current", GREY, lambda c: (c.ring(16, 16, 8, 2.5, WHITE, 90, 360), arrow(c, 16, 8, 13, 8, 2, WHITE)))

    c = Canvas(16, 16)
    c.line(3, 3, 13, 13, 2.4, WHITE)
    c.line(13, 3, 3, 13, 2.4, WHITE)
    out["CloseWindowButton"] = c
    for name, colour in (("CheckMark", GREEN), ("CheckMarkDisabled", GREY)):
        c = Canvas(16, 16)
        c.polyline([(3, 8.5), (6.5, 12), (13, 4)], 2.4, colour)
        out[name] = c
    c = Canvas(32, 32)
    c.polygon([(16, 3), (30, 28), (2, 28)], YELLOW)
    c.line(16, 11, 16, 20, 3, INK)
    c.disc(16, 24.5, 1.8, INK)
    out["Attention_Icon"] = c
    out["Lock"] = padlock(32, GREY, YELLOW)
    out["Lock_icon"] = padlock(16, GREY, YELLOW)
    out["SmallFileFolderOpen"] = folder(True)
    out["SmallFileFolderClose"] = folder(False)
    out["Vis"] = eye(False)
    out["noVis"] = eye(True)

    # Map placeholders drawn in the maps panel
    c = checker(64, (0.55, 0.55, 0.58, 0.6), (0.4, 0.4, 0.43, 0.6), 8)
    c.line(8, 56, 56, 8, 5, (0.8, 0.2, 0.2, 0.8))
    out["MapDisabled"] = c
    c = checker(64, (0.5, 0.5, 0.52, 1), (0.42, 0.42, 0.45, 1), 8)
    c.line(16, 16, 48, 48, 5, WHITE)
    c.line(48, 16, 16, 48, 5, WHITE)
    out["NoMapApplied"] = c
    c = Canvas(64, 64, (0.45, 0.45, 0.48, 1))
    for i in range(1, 4):
        c.line(i * 16, 6, i * 16, 58, 1.5, WHITE)
        c.line(6, i * 16, 58, i * 16, 1.5, WHITE)
    c.line(10, 54, 54, 10, 5, RED)
    out["NoUVMap"] = c
    c = checker(64, (0.75, 0.75, 0.78, 1), (0.55, 0.55, 0.58, 1), 16)
    out["NoTexture"] = c
    # [SECTION] The move, scale, rotate and bulge deformers (a surface line under each sign)
    def surface(c):
        c.polyline([(4, 26), (10, 24), (16, 25), (22, 23), (28, 25)], 2, WHITE)

    tool("MoveInPlane", ORANGE, lambda c: (surface(c), [arrow(c, 16, 13, *p, 2, WHITE, 4) for p in ((16, 3), (6, 13), (26, 13))]))
    tool("Scale3D", ORANGE, lambda c: (surface(c), c.rect(11, 9, 21, 19, WHITE, 1), arrow(c, 21, 9, 27, 3, 1.8, YELLOW, 4),
                                       arrow(c, 11, 19, 5, 20, 1.8, YELLOW, 4)))
    tool("Rotate", ORANGE, lambda c: (surface(c), c.ring(16, 12, 7, 2.2, WHITE, 40, 320), arrow(c, 21, 7, 23, 10, 2, YELLOW, 4)))
    tool("Bulge", ORANGE, lambda c: (c.polyline([(4, 25), (10, 24), (13, 15), (16, 12), (19, 15), (22, 24), (28, 25)], 2, WHITE),
                                     arrow(c, 16, 11, 16, 3, 2, YELLOW, 4)))

    out.update(panel_icons())
    out["SplashScreen-Vessuna"] = splash()
    out.update(cr2_wizard())
    return out


# [SECTION] Mode bar, swatches and maps tab pictures


def panel_icons():
    out = {}
    # Two overlapping swatches with a bent double arrow: swap the colours.
    c = Canvas(16, 16)
    c.rect(1, 1, 9, 9, INK, 1)
    c.rect(2, 2, 8, 8, WHITE, 0.5)
    c.rect(7, 7, 15, 15, INK, 1)
    c.ring(11, 5, 3.5, 1.2, ORANGE, 270, 360)
    c.polygon([(14.5, 5.5), (12.5, 8), (16, 8)], ORANGE)
    out["SwapColors"] = c
    # Black over white, the default pair.
    c = Canvas(16, 16)
    c.rect(6, 6, 15, 15, WHITE, 0.5)
    c.rect(6, 6, 15, 15, (0, 0, 0, 0.5), 0.5)
    c.rect(7, 7, 14, 14, WHITE, 0)
    c.rect(1, 1, 10, 10, INK, 1)
    out["ResetBrushColors"] = c
    # The logo mark: a bold check-like vane on a dark disc.
    c = Canvas(20, 20)
    c.disc(10, 10, 9.5, INK)
    c.polyline([(5, 10), (9, 15), (15, 5)], 2.6, YELLOW)
    out["vexmarkIcon"] = c
    # A sphere with a bulge pulled out of it: morphing.
    c = Canvas(20, 20)
    c.disc(9, 11, 7, TEAL)
    c.disc(14, 6, 4, TEAL)
    c.disc(7, 9, 2.2, (1, 1, 1, 0.45))
    out["Morph-Tab"] = c
    c = folder(False)
    out["FileFolder"] = c
    return out


def splash():
    w, h = 256, 128
    c = Canvas(w, h)
    for y in range(h):
        t = y / (h - 1)
        # Banded so the picture packs small.
        t = round(t * 16) / 16
        for x in range(w):
            c.px[y * w + x] = [0.10 + 0.10 * t, 0.12 + 0.16 * t, 0.22 + 0.25 * t, 1.0]
    # A sculpted head-like form: a sphere with a lit side and a stroke across it.
    c.disc(190, 64, 44, (0.55, 0.58, 0.66, 1))
    c.disc(178, 52, 30, (0.70, 0.73, 0.80, 1))
    c.disc(170, 44, 14, (0.86, 0.88, 0.93, 1))
    c.polyline([(142, 88), (168, 70), (196, 80), (226, 58)], 7, (0.85, 0.3, 0.25, 0.95))
    # Title bars in place of lettering.
    c.rect(20, 40, 120, 52, WHITE, 6)
    c.rect(20, 62, 96, 70, (1, 1, 1, 0.6), 4)
    c.rect(20, 80, 70, 86, (1, 1, 1, 0.4), 3)
    return c


# [SECTION] CR2 export wizard pictures


def figure(c, cx, colour, parts=None, scale=1.0):
    """A simple standing figure centred on cx; parts maps body part names to
    highlight colours (head, torso, arms, legs)."""
    parts = parts or {}
    s = scale

    def col(name):
        return parts.get(name, colour)
    c.disc(cx, 24 * s + 6, 11 * s, col("head"))
    c.rect(cx - 14 * s, 38 * s + 6, cx + 14 * s, 78 * s + 6, col("torso"), 5 * s)
    c.line(cx - 17 * s, 42 * s + 6, cx - 30 * s, 76 * s + 6, 8 * s, col("arms"))
    c.line(cx + 17 * s, 42 * s + 6, cx + 30 * s, 76 * s + 6, 8 * s, col("arms"))
    c.line(cx - 7 * s, 80 * s + 6, cx - 10 * s, 114 * s + 6, 9 * s, col("legs"))
    c.line(cx + 7 * s, 80 * s + 6, cx + 10 * s, 114 * s + 6, 9 * s, col("legs"))


def wizard_backdrop(tint):
    w, h = 256, 128
    c = Canvas(w, h)
    for y in range(h):
        t = round(y / (h - 1) * 8) / 8
        for x in range(w):
            c.px[y * w + x] = [tint[0] + 0.08 * t, tint[1] + 0.08 * t, tint[2] + 0.08 * t, 1.0]
    return c


def cr2_wizard():
    """The three choices of the CR2 export wizard, 256 x 128 each: one morphed
    body part, morphs over several parts, and a reshaped new character."""
    out = {}
    body = (0.72, 0.74, 0.80, 1)
    c = wizard_backdrop((0.16, 0.20, 0.30))
    figure(c, 128, body, {"head": ORANGE})
    c.ring(128, 30, 16, 2.5, YELLOW)
    out["CR2Wizard_SimpleMorphs"] = c

    c = wizard_backdrop((0.16, 0.26, 0.22))
    figure(c, 128, body, {"torso": ORANGE, "arms": ORANGE, "legs": ORANGE})
    for x in (92, 164):
        c.disc(x, 82, 3, YELLOW)   # the finger joints stay put
    out["CR2Wizard_BodyMorphs"] = c

    c = wizard_backdrop((0.28, 0.18, 0.26))
    figure(c, 84, (0.55, 0.57, 0.62, 1))
    arrow(c, 118, 64, 146, 64, 4, WHITE, 7)
    figure(c, 190, PURPLE, scale=1.0)
    c.polygon([(226, 8), (230, 18), (241, 18), (232, 24), (236, 34), (226, 28), (216, 34), (220, 24), (211, 18),
               (222, 18)], YELLOW)
    out["CR2Wizard_NewCharacter"] = c
    return out


# [SECTION] Brush stamps


def soft_dab(size=128):
    """Grey: white centre fading smoothly to black at the rim (a cosine falloff)."""
    c = Canvas(size, size)
    r = size / 2.0
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - r, y + 0.5 - r) / r
            v = 0.5 + 0.5 * math.cos(math.pi * d) if d < 1 else 0.0
            c.px[y * size + x] = [v, v, v, 1.0]
    return c


def canvas_weave(size=128):
    c = Canvas(size, size)
    for y in range(size):
        for x in range(size):
            warp = 0.5 + 0.5 * math.sin(2 * math.pi * x / 8)
            weft = 0.5 + 0.5 * math.sin(2 * math.pi * y / 8)
            over = warp if ((x // 8) + (y // 8)) % 2 == 0 else weft
            v = round((0.55 + 0.35 * over) * 16) / 16
            c.px[y * size + x] = [v * 0.95, v * 0.88, v * 0.74, 1.0]
    return c


# [SECTION] The chisels' images (one block, so that other tools' pictures merge beside it)


def chisel_blade(c):
    """A small chisel in the top-right corner: handle and blade."""
    c.line(27, 4, 21, 10, 3, (0.55, 0.35, 0.2, 1))
    c.polygon([(21, 8.5), (23, 10.5), (17, 16.5), (15.5, 15)], WHITE)


def chisel_icons():
    out = {}

    def chisel(name, draw):
        c = tile(ORANGE)
        draw(c)
        chisel_blade(c)
        out[name] = c

    # Bulge: a dome rises out of the surface.
    chisel("Chisel-Bulge", lambda c: (c.polyline([(4, 25), (9, 25)], 2.5, WHITE), c.ring(16, 25, 7, 2.5, WHITE, 0, 180),
                                      c.polyline([(23, 25), (28, 25)], 2.5, WHITE), arrow(c, 16, 22, 16, 13, 1.8, YELLOW, 4)))
    # Resurface: a bumpy surface planed flat.
    chisel("Chisel-Resurface", lambda c: (c.polyline([(4, 20), (8, 16), (12, 21), (16, 17)], 2, (1, 1, 1, 0.55)),
                                          c.line(4, 25, 28, 25, 2.5, WHITE), c.line(16, 21, 28, 21, 2, YELLOW)))
    # Countour: the surface drawn into a crease along the stroke.
    chisel("Chisel-Countour", lambda c: (c.polyline([(4, 18), (12, 19), (16, 27), (20, 19), (28, 18)], 2.5, WHITE),
                                         arrow(c, 6, 23, 12, 24, 1.5, YELLOW, 3.5), arrow(c, 26, 23, 20, 24, 1.5, YELLOW, 3.5)))
    # Touchup: a rough surface smoothed on the spot.
    chisel("Chisel-Touchup", lambda c: (c.polyline([(4, 22), (8, 18), (11, 24), (14, 19)], 2, (1, 1, 1, 0.55)),
                                        c.polyline([(14, 21), (20, 21.5), (28, 21)], 2.5, WHITE), c.disc(9, 27, 2.2, YELLOW)))
    return out


# [SECTION] Output


def pack_wad(entries):
    out = bytearray()
    for name, data in entries:
        encoded = name.encode("ascii")
        assert len(encoded) < 256, name
        out += encoded + bytes(256 - len(encoded))
        out += struct.pack("<I", len(data)) + data
    return bytes(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print(f"{path}: {len(data)} bytes")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    root = os.path.normpath(root)
    images = icons()
    images.update(chisel_icons())
    entries = [(name + ".png", images[name].png()) for name in sorted(images)]
    write(os.path.join(root, "Data", "Graphics.dat"), pack_wad(entries))
    write(os.path.join(root, "BrushShapes", "01-Simple", "Simple-0001.png"), soft_dab().png(1))
    write(os.path.join(root, "Images", "01-Patterns", "Canvas-0001.png"), canvas_weave().png(3))


if __name__ == "__main__":
    main()
