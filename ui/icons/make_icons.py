#!/usr/bin/env python3
"""Draws Tarnpost's two 16-colour icons and writes them as .ico files.

Each file holds a 32x32 and a 16x16 image at 4 bits per pixel with the standard
16-colour palette: 6 + 2*16 header bytes, 744 bytes for the large image and 296 for the
small one, 1078 bytes in all. Run it from this folder to regenerate window.ico and
tray.ico after changing a drawing.
"""
import struct

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, GREY, DARK_GREY, RED, YELLOW, BLUE, WHITE = 0, 2, 7, 8, 9, 11, 12, 15
CLEAR = None  # transparent pixel


def canvas(size):
    return [[CLEAR] * size for _ in range(size)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = colour


def line(img, x0, y0, x1, y1, colour):
    steps = max(abs(x1 - x0), abs(y1 - y0)) or 1
    for i in range(steps + 1):
        img[round(y0 + (y1 - y0) * i / steps)][round(x0 + (x1 - x0) * i / steps)] = colour


def envelope(img, x0, y0, x1, y1, paper, edge):
    rect(img, x0, y0, x1, y1, paper)
    line(img, x0, y0, x1, y0, edge)
    line(img, x0, y1, x1, y1, edge)
    line(img, x0, y0, x0, y1, edge)
    line(img, x1, y0, x1, y1, edge)
    mid = (x0 + x1) // 2
    line(img, x0, y0, mid, (y0 + y1) // 2, edge)
    line(img, x1, y0, mid + 1, (y0 + y1) // 2, edge)


def window_icon(size):
    """An envelope with a green arrow pointing onwards: mail being relayed."""
    img = canvas(size)
    s = size / 32
    envelope(img, 0, int(6 * s), int(23 * s), int(24 * s), WHITE, BLACK)
    for dy in range(-int(3 * s), int(3 * s) + 1):
        line(img, int(18 * s), int(22 * s) + dy, int(26 * s), int(22 * s) + dy, DARK_GREEN)
    for i in range(int(6 * s)):
        line(img, int(26 * s) + i, int(16 * s) + i, int(26 * s) + i, int(28 * s) - i, DARK_GREEN)
    return img


def tray_icon(size):
    """A yellow envelope on a blue tray with a red dot: new mail waiting."""
    img = canvas(size)
    s = size / 32
    rect(img, 0, int(22 * s), size - 1, size - 1, BLUE)
    line(img, 0, int(22 * s), size - 1, int(22 * s), BLACK)
    envelope(img, int(3 * s), int(6 * s), int(27 * s), int(21 * s), YELLOW, BLACK)
    rect(img, int(24 * s), 0, size - 1, int(7 * s), RED)
    return img


def bitmap(img):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor, mask = b"", b""
    for row in reversed(img):  # bottom-up rows
        pixels = [BLACK if p is CLEAR else p for p in row]
        xor += bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, size, 2))
        bits = "".join("1" if p is CLEAR else "0" for p in row).ljust(32 * ((size + 31) // 32), "0")
        mask += int(bits, 2).to_bytes(len(bits) // 8, "big")
    return header + palette + xor + mask


def write_ico(path, images):
    blobs = [bitmap(img) for img in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", len(img), len(img), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    assert len(out) == 1078, len(out)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    write_ico("window.ico", [window_icon(32), window_icon(16)])
    write_ico("tray.ico", [tray_icon(32), tray_icon(16)])
