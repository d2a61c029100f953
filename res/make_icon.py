#!/usr/bin/env python3
"""Draws the program's icon, an opened crate with an arrow leaving it, and
writes it as pak_unpacker.ico: a 32 x 32 and a 16 x 16 image with the 16
standard colours (4 bits a pixel), each with a transparency mask. For the
desktop's icon theme it also writes icons/<size>/corvane-unpaker.png, the same
pixels enlarged by whole factors for the larger sizes.

Run it from anywhere; it rewrites the files beside this script."""
import os
import struct
import zlib

# The 16-colour palette as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, GRAY, YELLOW, WHITE = 0, 1, 3, 8, 11, 15
CLEAR = None


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.fill(x0, y0, x1, y0, colour)
        self.fill(x0, y1, x1, y1, colour)
        self.fill(x0, y0, x0, y1, colour)
        self.fill(x1, y0, x1, y1, colour)

    def arrow(self, centre, tip, head_half, head_rows, shaft_half, shaft_end):
        """An upward arrow, outlined in black, filled with yellow."""
        for row in range(head_rows):
            half = min(head_half, row)
            self.fill(centre - half - 1, tip + row, centre + half, tip + row, BLACK)
            if row > 0:
                self.fill(centre - half, tip + row, centre + half - 1, tip + row, YELLOW)
        top = tip + head_rows
        self.fill(centre - head_half - 1, top, centre + head_half, top, BLACK)
        self.fill(centre - shaft_half - 1, top, centre + shaft_half, shaft_end, BLACK)
        self.fill(centre - shaft_half, top, centre + shaft_half - 1, shaft_end - 1, YELLOW)


def crate_32():
    c = Canvas(32)
    c.fill(3, 11, 28, 14, GRAY)          # the open top, seen from the front
    c.frame(3, 11, 28, 14, BLACK)
    c.fill(4, 14, 27, 29, OLIVE)         # the front
    c.frame(3, 14, 28, 30, BLACK)
    for y in (19, 24):                   # planks
        c.fill(4, y, 27, y, MAROON)
    c.fill(4, 15, 27, 15, YELLOW)        # light on the upper edge
    c.arrow(centre=16, tip=0, head_half=7, head_rows=8, shaft_half=3, shaft_end=22)
    c.fill(14, 9, 14, 20, WHITE)         # shine on the shaft
    return c


def crate_16():
    c = Canvas(16)
    c.fill(1, 6, 14, 7, GRAY)
    c.frame(1, 6, 14, 7, BLACK)
    c.fill(2, 7, 13, 14, OLIVE)
    c.frame(1, 7, 14, 15, BLACK)
    c.fill(2, 11, 13, 11, MAROON)
    c.arrow(centre=8, tip=0, head_half=4, head_rows=5, shaft_half=2, shaft_end=11)
    return c


def dib(canvas):
    """The image as an icon stores it: header, palette, colour rows and mask
    rows, both bottom-up and padded to 4 bytes."""
    size = canvas.size
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x in range(size):
            value = canvas.pixels[y][x]
            if value is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                value = BLACK
            row[x // 2] |= value << (4 if x % 2 == 0 else 0)
        colours += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def icon(canvases):
    images = [dib(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.size, canvas.size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def png(canvas, factor):
    """The image enlarged `factor` times as an 8-bit RGBA PNG."""
    size = canvas.size * factor
    rows = bytearray()
    for y in range(size):
        rows.append(0)                   # no filter
        for x in range(size):
            value = canvas.pixels[y // factor][x // factor]
            rows += bytes(4) if value is CLEAR else bytes(PALETTE[value]) + b"\xff"

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + \
        chunk(b"IEND", b"")


# Theme sizes and the image each is drawn from.
THEME_SIZES = [(16, crate_16, 1), (32, crate_32, 1), (48, crate_16, 3), (64, crate_32, 2),
               (128, crate_32, 4), (256, crate_32, 8)]

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "pak_unpacker.ico"), "wb") as f:
        f.write(icon([crate_32(), crate_16()]))
    for size, draw, factor in THEME_SIZES:
        folder = os.path.join(here, "icons", "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "corvane-unpaker.png"), "wb") as f:
            f.write(png(draw(), factor))
