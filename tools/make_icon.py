#!/usr/bin/env python3
"""Draws the application icon (a broom on a rounded tile) and writes app/sweepwell.ico.

Standard library only. Each size is drawn from the same shapes with 4x4 supersampling; the small
sizes are stored as 32-bit DIBs (readable by every Windows version), 256 px as PNG.
Run: python3 tools/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 4


def seg_dist(px, py, ax, ay, bx, by):
    """Distance from point p to segment a-b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def in_polygon(px, py, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def rounded_rect(px, py, x0, y0, x1, y1, r):
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return math.hypot(px - cx, py - cy) <= r


# Shapes in unit coordinates (0..1, y down).
BRISTLES = [(0.22, 0.56), (0.47, 0.81), (0.33, 0.90), (0.12, 0.90), (0.10, 0.68)]
BAND = [(0.27, 0.51), (0.52, 0.76), (0.47, 0.81), (0.22, 0.56)]
HANDLE = (0.40, 0.64, 0.83, 0.21)
SPARKLES = [(0.70, 0.62, 0.045), (0.80, 0.75, 0.03), (0.62, 0.82, 0.025)]


def sample(u, v):
    """Colour (r, g, b, a) of one sample; later shapes paint over earlier ones."""
    if not rounded_rect(u, v, 0.03, 0.03, 0.97, 0.97, 0.18):
        return (0, 0, 0, 0)
    # Tile: blue at the top to teal at the bottom.
    t = v
    colour = (int(30 + 10 * t), int(100 + 70 * t), int(200 - 40 * t), 255)
    for (sx, sy, r) in SPARKLES:
        if abs(u - sx) + abs(v - sy) <= r:
            colour = (255, 255, 255, 255)
    if seg_dist(u, v, *HANDLE) <= 0.045:
        colour = (214, 150, 84, 255)
    if in_polygon(u, v, BRISTLES):
        stripe = int((u + v) * 28) % 2
        colour = (250, 210, 70, 255) if stripe else (238, 188, 48, 255)
    if in_polygon(u, v, BAND):
        colour = (200, 60, 50, 255)
    return colour


def render(size):
    """Rows top to bottom of (r, g, b, a), averaged over the supersamples."""
    n = SUPERSAMPLE
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png(size, rows):
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data +
                struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw += bytes(px)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "app", "sweepwell.ico")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows) if size >= 256 else dib(size, rows)))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in images:
        dim = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, blob in images:
        data += blob
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
