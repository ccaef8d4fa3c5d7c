#!/usr/bin/env python3
"""Writes aurora.ico, the icon of the demo screen saver and its uninstaller:
a rounded night-sky tile with a green and violet band of light and a few
stars, in two sizes (32x32 and 16x16), 32 bits per pixel.

Run from this folder: python3 make_icon.py  (the .ico is committed).

.ico layout: ICONDIR (6 bytes: 0, type 1, count), one ICONDIRENTRY per image
(16 bytes: width, height, colours 0, 0, planes 1, bits 32, size, offset),
then each image: BITMAPINFOHEADER (40 bytes, height doubled for the colour
and mask bitmaps), the BGRA pixels bottom-up, and the 1-bit AND mask
bottom-up with rows padded to 4 bytes (1 = transparent).
"""
import math
import struct


def pixel(x, y, size):
    """(r, g, b, a) of the tile at pixel centre (x, y)."""
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # Rounded corners: distance outside the inner square, radius 0.2.
    r = 0.2
    dx = max(r - u, 0, u - (1 - r))
    dy = max(r - v, 0, v - (1 - r))
    outside = math.hypot(dx, dy) - r
    alpha = max(0.0, min(1.0, 0.5 - outside * size))
    if alpha == 0:
        return (0, 0, 0, 0)
    sky = (6 + 20 * v, 14 + 30 * v, 40 + 50 * v)
    colour = list(sky)
    # Two bands of light: green above, violet below, each a soft wave.
    for centre, amp, phase, tint in ((0.45, 0.10, 0.0, (60, 230, 168)),
                                     (0.62, 0.08, 1.7, (154, 76, 255))):
        edge = centre + amp * math.sin(u * 2 * math.pi + phase)
        if v <= edge:
            k = max(0.0, 1 - (edge - v) / 0.35) ** 2
        else:
            k = math.exp(-((v - edge) / 0.06) ** 2)
        for i in range(3):
            colour[i] += tint[i] * k * 0.9
    for sx, sy in ((0.22, 0.2), (0.7, 0.16), (0.83, 0.38), (0.4, 0.12)):
        if abs(u - sx) < 0.5 / size + 0.01 and abs(v - sy) < 0.5 / size + 0.01:
            colour = [255, 250, 235]
    return tuple(min(255, int(c)) for c in colour) + (int(alpha * 255),)


def image(size):
    rows = []
    mask_rows = []
    for y in reversed(range(size)):  # bottom-up
        row = b""
        bits = 0
        mask = bytearray()
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            row += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
            if x % 8 == 7:
                mask.append(bits)
                bits = 0
        while len(mask) % 4:
            mask.append(0)
        rows.append(row)
        mask_rows.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    sizes = (32, 16)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open("aurora.ico", "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
