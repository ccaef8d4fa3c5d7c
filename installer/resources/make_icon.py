#!/usr/bin/env python3
"""Writes installer.ico: the installer's icon 101, one 32x32 image with
16 colours (4 bits per pixel), drawn here as a small monitor showing a
night sky with a crescent moon and stars.

Run from this folder: python3 make_icon.py  (the .ico is committed).

.ico layout: ICONDIR (6 bytes), one ICONDIRENTRY (16 bytes), then the image:
BITMAPINFOHEADER (40 bytes, height doubled for the XOR and AND bitmaps),
the 16-entry palette (B, G, R, 0), the 4-bit XOR bitmap bottom-up with
rows padded to 4 bytes, and the 1-bit AND mask bottom-up (1 = transparent).
"""
import struct

# The standard 16-colour palette, as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGRAY, LGRAY, WHITE, NAVY, YELLOW, CYAN = 0, 8, 7, 15, 4, 11, 14
TRANSPARENT = None

SIZE = 32


def draw():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    # Monitor case with a dark bevel, the screen, the neck and the foot.
    rect(2, 2, 29, 23, LGRAY)
    rect(2, 23, 29, 23, DGRAY)
    rect(29, 2, 29, 23, DGRAY)
    rect(2, 2, 28, 2, WHITE)
    rect(2, 2, 2, 22, WHITE)
    rect(5, 5, 26, 20, BLACK)
    rect(6, 6, 25, 19, NAVY)
    rect(13, 24, 18, 26, DGRAY)
    rect(8, 27, 23, 29, LGRAY)
    rect(8, 29, 23, 29, DGRAY)

    # Crescent moon: a yellow disc with a navy disc cut out of it.
    for y in range(7, 17):
        for x in range(16, 25):
            inside = (x - 20) ** 2 + (y - 11.5) ** 2 <= 13
            cut = (x - 22) ** 2 + (y - 10.5) ** 2 <= 10
            if inside and not cut:
                px[y][x] = YELLOW

    # Stars.
    for x, y, colour in [(8, 8, WHITE), (11, 13, CYAN), (9, 17, WHITE),
                         (14, 9, WHITE), (15, 16, YELLOW), (23, 18, WHITE),
                         (12, 7, CYAN)]:
        px[y][x] = colour
    rect(10, 10, 10, 10, WHITE)
    px[9][10] = px[11][10] = px[10][9] = px[10][11] = LGRAY
    return px


def encode(px):
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0,
                         SIZE * SIZE // 2 + SIZE * 4, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = px[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack('>I', bits)
    image = header + palette + bytes(xor) + bytes(mask)
    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


if __name__ == '__main__':
    with open('installer.ico', 'wb') as f:
        f.write(encode(draw()))
