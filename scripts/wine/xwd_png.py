"""Window pictures: an X window dump (xwd, ZPixmap, 24 or 32 bits a pixel)
read into RGB rows, written as PNG (8-bit RGB, filter 0, zlib level 9), and
the two measures the tests use: how far from black a picture is and how many
pixels two pictures of the same size differ in."""

import struct
import zlib


class Picture:
    def __init__(self, width, height, rows):
        self.width = width
        self.height = height
        self.rows = rows  # height rows of width * 3 bytes (R, G, B)

    def bright_fraction(self, threshold=24):
        """The share of pixels with any channel above `threshold`."""
        bright = 0
        for row in self.rows:
            for i in range(0, len(row), 3):
                if row[i] > threshold or row[i + 1] > threshold or row[i + 2] > threshold:
                    bright += 1
        return bright / max(1, self.width * self.height)

    def differing_pixels(self, other):
        if (self.width, self.height) != (other.width, other.height):
            return self.width * self.height
        count = 0
        for mine, theirs in zip(self.rows, other.rows):
            if mine == theirs:
                continue
            for i in range(0, len(mine), 3):
                if mine[i:i + 3] != theirs[i:i + 3]:
                    count += 1
        return count

    def half(self):
        """The picture at half the width and height (each pixel the mean of
        a 2x2 block), for small pictures of a whole screen."""
        rows = []
        for y in range(0, self.height - 1, 2):
            top, bottom = self.rows[y], self.rows[y + 1]
            row = bytearray()
            for x in range(0, (self.width - 1) * 3 - 2, 6):
                for c in range(3):
                    row.append((top[x + c] + top[x + 3 + c] + bottom[x + c] + bottom[x + 3 + c]) // 4)
            rows.append(bytes(row))
        return Picture(len(rows[0]) // 3 if rows else 0, len(rows), rows)

    def coarse(self, mask=0xF8):
        """The picture with the low bits of each channel cleared: smooth
        gradients then compress several times better."""
        return Picture(self.width, self.height, [bytes(b & mask for b in row) for row in self.rows])

    def png(self):
        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        raw = b"".join(b"\x00" + row for row in self.rows)
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def read_xwd(data):
    """The picture of an xwd dump; ValueError for a layout it does not read."""
    if len(data) < 100:
        raise ValueError("xwd dump shorter than its header")
    fields = struct.unpack(">25I", data[:100])
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    colormap_entries = fields[19]
    if version != 7 or pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise ValueError("xwd dump is not a 24/32-bit ZPixmap")
    offset = header_size + 12 * colormap_entries
    if offset + bytes_per_line * height > len(data):
        raise ValueError("xwd dump shorter than its pixels")
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = (shift(red_mask), shift(green_mask), shift(blue_mask))
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line:offset + y * bytes_per_line + width * step]
        if step == 4 and order == "little" and shifts == (16, 8, 0):
            # The usual case (B, G, R, X in memory), without a loop per pixel.
            row = bytearray(width * 3)
            row[0::3] = line[2::4]
            row[1::3] = line[1::4]
            row[2::3] = line[0::4]
        else:
            row = bytearray()
            for x in range(width):
                pixel = int.from_bytes(line[x * step:(x + 1) * step], order)
                row += bytes(((pixel >> s) & 0xFF) for s in shifts)
        rows.append(bytes(row))
    return Picture(width, height, rows)
