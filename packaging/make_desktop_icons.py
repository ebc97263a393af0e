#!/usr/bin/env python3
"""Writes the application icon for the desktop's icon theme from the window icon's
drawing in ui/icons/make_icons.py: tarnpost.svg (one square per pixel of the 32x32
drawing) and tarnpost-SIZE.png at the theme's usual sizes (the drawing scaled by nearest
pixel, so it stays crisp). Run it from this folder after changing the drawing.
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ui", "icons"))
import make_icons  # noqa: E402

SIZES = [16, 32, 48, 64, 128, 256]


def svg(img):
    size = len(img)
    cells = []
    for y, row in enumerate(img):
        x = 0
        while x < size:
            colour = row[x]
            run = 1
            while x + run < size and row[x + run] == colour:
                run += 1
            if colour is not None:
                r, g, b = make_icons.PALETTE[colour]
                cells.append(f'<rect x="{x}" y="{y}" width="{run}" height="1" fill="#{r:02x}{g:02x}{b:02x}"/>')
            x += run
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n' + "\n".join(cells) + "\n</svg>\n")


def png(img, size):
    n = len(img)
    rows = b""
    for y in range(size):
        rows += b"\x00"  # no filter
        for x in range(size):
            colour = img[y * n // size][x * n // size]
            rows += bytes((0, 0, 0, 0) if colour is None else make_icons.PALETTE[colour] + (255,))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    with open("tarnpost.svg", "w") as f:
        f.write(svg(make_icons.window_icon(32)))
    for size in SIZES:
        drawing = make_icons.window_icon(16 if size == 16 else 32)
        with open(f"tarnpost-{size}.png", "wb") as f:
            f.write(png(drawing, size))
