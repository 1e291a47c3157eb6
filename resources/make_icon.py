#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

make_icon.py OUTPUT.ico

The icon holds four images, 48, 32, 24 and 16 pixels square, each a 32-bit
BGRA bitmap with its alpha channel and an AND mask, as the Windows shell wants
them. The picture is a white Q on a blue rounded square; every image is drawn
anew at its own size with 4x4 supersampling, so small sizes stay crisp.
"""

import math
import struct
import sys

SIZES = (48, 32, 24, 16)
SAMPLES = 4  # per pixel side


def inside_rounded_square(x, y, inset, radius):
    """Whether (x, y) in the unit square lies in the square inset by `inset` with rounded corners."""
    low, high = inset + radius, 1.0 - inset - radius
    dx = max(low - x, 0.0, x - high)
    dy = max(low - y, 0.0, y - high)
    return dx * dx + dy * dy <= radius * radius and inset <= x <= 1 - inset and inset <= y <= 1 - inset


def inside_letter(x, y):
    """Whether (x, y) lies on the Q: a ring and a tail across its lower right."""
    distance = math.hypot(x - 0.47, y - 0.47)
    if 0.18 <= distance <= 0.30:
        return True
    # The tail: a thick segment from inside the ring out towards the corner.
    ax, ay, bx, by = 0.56, 0.57, 0.80, 0.81
    t = ((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / ((bx - ax) ** 2 + (by - ay) ** 2)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - (ax + t * (bx - ax)), y - (ay + t * (by - ay))) <= 0.065


def pixel(size, column, row):
    """The pixel's (blue, green, red, alpha), top row first, colours not premultiplied."""
    covered = letter = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (column + (sx + 0.5) / SAMPLES) / size
            y = (row + (sy + 0.5) / SAMPLES) / size
            if inside_rounded_square(x, y, 0.03, 0.18):
                covered += 1
                letter += inside_letter(x, y)
    if covered == 0:
        return (0, 0, 0, 0)
    shade = (row + 0.5) / size  # from a lighter blue at the top to a deeper one below
    background = (212 - 70 * shade, 127 - 48 * shade, 42 - 15 * shade)
    share = letter / covered
    blue, green, red = (round(c * (1 - share) + 255 * share) for c in background)
    return (blue, green, red, round(255 * covered / SAMPLES**2))


def bitmap(size):
    """One icon image: BITMAPINFOHEADER, the colour rows and the AND mask, both bottom-up."""
    rows = [[pixel(size, column, row) for column in range(size)] for row in range(size)]
    colours = b"".join(bytes(value for p in row for value in p) for row in reversed(rows))
    mask_stride = (size + 31) // 32 * 4  # each mask row is padded to 32 bits
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for column, p in enumerate(row):
            if p[3] == 0:  # fully transparent
                line[column // 8] |= 0x80 >> (column % 8)
        mask += line
    # The height counts the colour rows and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colours) + len(mask), 0,
                         0, 0, 0)
    return header + colours + bytes(mask)


def icon(sizes):
    images = [bitmap(size) for size in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return data + b"".join(images)


def main(arguments):
    if len(arguments) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(arguments[1], "wb") as output:
        output.write(icon(SIZES))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
