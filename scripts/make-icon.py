#!/usr/bin/env python3
"""Draws the program's window icon (resources/icons/101.png): a rounded
square in deep violet with a pale open book on it. Written out with zlib
alone so that no image library is needed; run it again after changing it.
   python3 scripts/make-icon.py [output.png]"""
import struct
import sys
import zlib

SIZE = 48


def inside_rounded_square(x, y, size, radius):
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y):
    # Sample at the pixel's centre.
    px, py = x + 0.5, y + 0.5
    if not inside_rounded_square(px, py, SIZE, 9):
        return (0, 0, 0, 0)
    # A vertical gradient from violet to a darker violet.
    t = py / SIZE
    base = (int(110 - 50 * t), int(60 - 30 * t), int(170 - 60 * t), 255)
    # The book: two pages that rise towards the outer edges, a spine in the middle.
    left, right, top, bottom, mid = 8, 40, 13, 36, 24
    if left <= px <= right:
        lift = abs(px - mid) / (mid - left) * 3.0
        if top - lift <= py <= bottom - lift:
            if abs(px - mid) < 1.0:
                return (90, 50, 140, 255)
            # Lines of text on the pages.
            row = py - (top - lift)
            if 4 <= row <= 19 and int(row) % 4 == 0 and 3 <= abs(px - mid) <= 13:
                return (150, 130, 190, 255)
            return (250, 246, 236, 255)
    return base


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/icons/101.png"
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)  # no filter
        for x in range(SIZE):
            raw.extend(pixel(x, y))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
