#!/usr/bin/env python3
"""Draws Quillex's pictures, a broom, and writes them in the formats the resource script
embeds: quillex.ico (32x32 and 16x16 at 8 bits per pixel, with transparency masks) and
broom.bmp (40x40 at 24 bits per pixel). Run from res/ after changing the drawing."""
import struct

# Colours as (red, green, blue); None is transparent (the icon) or the background.
HANDLE = (140, 86, 40)
HANDLE_LIGHT = (190, 130, 70)
BAND = (7, 27, 149)
STRAW = (236, 196, 70)
STRAW_DARK = (186, 140, 30)
DUST = (160, 160, 170)
WHITE = (255, 255, 255)


def broom(size):
    """Returns size rows of size colours (None where nothing is drawn)."""
    rows = [[None] * size for _ in range(size)]
    centre = size / 2.0
    handle_half = max(1.0, size / 16.0)
    band_top, band_bottom = int(size * 0.52), int(size * 0.60)
    for y in range(size):
        for x in range(size):
            dx = x + 0.5 - centre
            if 1 <= y < band_top and abs(dx) <= handle_half:
                rows[y][x] = HANDLE_LIGHT if dx < 0 else HANDLE
            elif band_top <= y < band_bottom and abs(dx) <= size * 0.20:
                rows[y][x] = BAND
            elif band_bottom <= y < size - 1:
                depth = (y - band_bottom) / float(size - 1 - band_bottom)
                half = size * (0.18 + 0.24 * depth)
                if abs(dx) <= half:
                    rows[y][x] = STRAW_DARK if (x * 3 // max(1, size // 8)) % 3 == 0 else STRAW
    # A little dust beside the bristles.
    for fx, fy in ((0.08, 0.88), (0.14, 0.80), (0.90, 0.92), (0.86, 0.84)):
        rows[int(size * fy)][int(size * fx)] = DUST
    return rows


def palette_of(pictures):
    colours = []
    for rows in pictures:
        for row in rows:
            for colour in row:
                if colour is not None and colour not in colours:
                    colours.append(colour)
    return [(0, 0, 0)] + colours  # index 0 stands behind transparent pixels


def icon_image(rows, palette):
    """One icon image: BITMAPINFOHEADER (height doubled), 256 colours, the colour rows
    and the 1-bit mask rows, both bottom-up and padded to 32 bits."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 0, 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    table += b"\0\0\0\0" * (256 - len(palette))
    colour_rows, mask_rows = b"", b""
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        colour_rows += bytes(0 if c is None else palette.index(c) for c in row)
        mask = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_rows += bytes(mask)
    return header + table + colour_rows + mask_rows


def write_icon(path, pictures):
    palette = palette_of(pictures)
    images = [icon_image(rows, palette) for rows in pictures]
    offset = 6 + 16 * len(images)
    data = struct.pack("<HHH", 0, 1, len(images))
    for rows, image in zip(pictures, images):
        size = len(rows)
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(data + b"".join(images))


def write_bitmap(path, rows, background):
    size = len(rows)
    stride = ((size * 3 + 3) // 4) * 4
    pixels = b""
    for row in reversed(rows):
        line = b"".join(struct.pack("BBB", c[2], c[1], c[0]) for c in (background if p is None else p for p in row))
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + pixels)


if __name__ == "__main__":
    write_icon("quillex.ico", [broom(32), broom(16)])
    write_bitmap("broom.bmp", broom(40), WHITE)
