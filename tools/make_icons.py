#!/usr/bin/env python3
"""Draws the program icon (res/Tillvox.ico) and the tray icon (res/Tray.ico).

Both show a till receipt with a red record dot. Every image is 32-bit BGRA
with a real alpha channel, at 16, 32 and 48 pixels. The shapes are laid out
on a 16-unit grid, so the straight edges fall on whole pixels at every size
and only the slanted and round ones are smoothed (4 x 4 samples a pixel).
Standard library only; the output is the same on every run.

    python3 tools/make_icons.py [output folder, default res/]
"""
import os
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4

INK = (44, 56, 72)
PAPER = (252, 251, 244)
PRINT = (118, 132, 150)
RECORD = (222, 36, 40)
SHINE = (255, 150, 150)
TILE = (18, 108, 128)


def receipt_inside(x, y, left, right, top, bottom, tooth, origin=None):
    """Inside a sheet with a saw-tooth tear along its bottom edge; the teeth
    start at origin (default: the left edge), so an inset sheet keeps them."""
    if x < left or x > right or y < top:
        return False
    phase = ((x - (left if origin is None else origin)) % tooth) / tooth
    edge = bottom + tooth / 2 * (1 - abs(2 * phase - 1))
    return y <= edge


def disc(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rounded_square(x, y, lo, hi, r):
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return lo <= x <= hi and lo <= y <= hi and disc(x, y, cx, cy, r)


def program_icon(x, y, line):
    """Colour at grid point (x, y) of the program icon, or None (transparent)."""
    if disc(x, y, 11.5, 11.5, 4.3):
        if disc(x, y, 11.5, 11.5, 4.3 - line):
            if line < 1 and disc(x, y, 10.4, 10.3, 1.1):
                return SHINE
            return RECORD
        return INK
    if receipt_inside(x, y, 2, 11, 1, 13, 3):
        if receipt_inside(x, y, 2 + line, 11 - line, 1 + line, 13 - 1.4 * line, 3, 2):
            for top, right in ((3, 9), (5, 8), (7, 9), (9, 7)):
                if 4 <= x <= right and top <= y <= top + 1:
                    return PRINT
            return PAPER
        return INK
    return None


def tray_icon(x, y, line):
    """The tray variant: the same receipt on a solid tile, readable at 16 pixels."""
    if disc(x, y, 11.5, 11.5, 3.9):
        if disc(x, y, 11.5, 11.5, 3.9 - line):
            return RECORD
        return PAPER
    if receipt_inside(x, y, 3, 11, 2, 12, 4):
        for top, right in ((4, 9), (6, 8), (8, 9)):
            if 5 <= x <= right and top <= y <= top + 1:
                return TILE
        return PAPER
    if rounded_square(x, y, 0, 16, 3):
        return TILE
    return None


def render(draw, size):
    """Rows of (b, g, r, a) tuples, top row first."""
    scale = 16.0 / size
    line = max(1.0, size / 24.0) * scale  # about 1, 1.5 and 2 pixels
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    gx = (px + (sx + 0.5) / SAMPLES) * scale
                    gy = (py + (sy + 0.5) / SAMPLES) * scale
                    colour = draw(gx, gy, line)
                    if colour is not None:
                        hits.append(colour)
            alpha = round(255 * len(hits) / SAMPLES ** 2)
            if not hits:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = (round(sum(c[i] for c in hits) / len(hits)) for i in range(3))
            row.append((b, g, r, alpha))
        rows.append(row)
    return rows


def dib(rows):
    """An icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(draw):
    images = [dib(render(draw, s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res")
    for name, draw in (("Tillvox.ico", program_icon), ("Tray.ico", tray_icon)):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(ico(draw))
        print(path)


if __name__ == "__main__":
    main()
