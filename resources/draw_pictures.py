#!/usr/bin/env python3
"""Draw Tintwell's picture resources.

Writes into the folder holding this script:
  start.bmp     24 x 24, 4-bit palette: raised grey tile with a "play" triangle
  stop.bmp      24 x 24, 4-bit palette: raised grey tile with a square
  save.bmp      16 x 16, 4-bit palette (Windows 16 colours): floppy disk

The application icon (the window's, the menu's and the package's) is drawn
by draw_icons.py.

Uses only the Python 3 standard library; run it again to redraw the files.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


# --------------------------------------------------------------------------
# Encoders
# --------------------------------------------------------------------------

def write_bmp4(path, pixels, palette):
    """Write a 4-bit palette BMP (BITMAPINFOHEADER, uncompressed, bottom-up).

    pixels:  list of rows (top row first), each a list of palette indices.
    palette: list of exactly 16 (r, g, b) tuples.
    """
    assert len(palette) == 16
    height = len(pixels)
    width = len(pixels[0])
    row_bytes = ((width * 4 + 31) // 32) * 4
    image = bytearray()
    for row in reversed(pixels):
        assert len(row) == width
        line = bytearray()
        for x in range(0, width, 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < width else 0
            assert 0 <= hi < 16 and 0 <= lo < 16
            line.append((hi << 4) | lo)
        line.extend(b"\0" * (row_bytes - len(line)))
        image += line
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    file_size = offset + len(image)
    file_header = struct.pack("<2sIHHI", b"BM", file_size, 0, 0, offset)
    info_header = struct.pack(
        "<IiiHHIIiiII",
        40,            # header size
        width,
        height,        # positive: rows stored bottom-up
        1,             # planes
        4,             # bits per pixel
        0,             # BI_RGB, no compression
        len(image),
        2835, 2835,    # 72 dpi
        16,            # colours used
        0,             # all colours important
    )
    with open(path, "wb") as f:
        f.write(file_header + info_header + pal + bytes(image))


# --------------------------------------------------------------------------
# Grey tool buttons (start / stop)
# --------------------------------------------------------------------------

# 13 greys from 0x18 to 0xFF; 0xC0 is one of them (21 apart below it,
# 16 apart above it).
GREY_LEVELS = [0x18, 0x2D, 0x42, 0x57, 0x6C, 0x81, 0x96, 0xAB,
               0xC0, 0xD0, 0xE0, 0xF0, 0xFF]
GREY_PALETTE = [(v, v, v) for v in GREY_LEVELS] + [(0xFF, 0xFF, 0xFF)] * 3


def grey(level):
    return GREY_LEVELS.index(level)


BUTTON_SIZE = 24
BACKGROUND = grey(0xC0)
FACE = grey(0xAB)
LIGHT_OUTER = grey(0xFF)
LIGHT_INNER = grey(0xE0)
DARK_OUTER = grey(0x42)
DARK_INNER = grey(0x81)
SYMBOL = grey(0x18)

# The tile covers columns/rows 2..21; its centre is at 11.5.
TILE_FIRST = 2
TILE_LAST = 21


def raised_tile():
    n = BUTTON_SIZE
    px = [[BACKGROUND] * n for _ in range(n)]
    a, b = TILE_FIRST, TILE_LAST
    for y in range(a, b + 1):
        for x in range(a, b + 1):
            px[y][x] = FACE
    # Outer bevel ring: light top/left, dark bottom/right.
    for i in range(a, b + 1):
        px[a][i] = LIGHT_OUTER
        px[i][a] = LIGHT_OUTER
    for i in range(a, b + 1):
        px[b][i] = DARK_OUTER
        px[i][b] = DARK_OUTER
    # Inner bevel ring, one pixel further in.
    a2, b2 = a + 1, b - 1
    for i in range(a2, b2):
        px[a2][i] = LIGHT_INNER
        px[i][a2] = LIGHT_INNER
    for i in range(a2, b2 + 1):
        px[b2][i] = DARK_INNER
        px[i][b2] = DARK_INNER
    return px


def draw_start():
    px = raised_tile()
    # Right-pointing triangle, 10 rows tall (7..16) and 9 columns wide
    # (8..16): rows grow by two pixels each towards a two-row tip.  Its
    # bounding box sits on the tile centre (11.5), nudged half a pixel
    # right because a triangle's weight lies on its flat side.
    top, rows, left = 7, 10, 8
    for k in range(rows // 2):
        width = 1 + 2 * k
        for y in (top + k, top + rows - 1 - k):
            for x in range(left, left + width):
                px[y][x] = SYMBOL
    write_bmp4(os.path.join(HERE, "start.bmp"), px, GREY_PALETTE)


def draw_stop():
    px = raised_tile()
    # 8 x 8 square, rows/columns 8..15 (centre 11.5).
    for y in range(8, 16):
        for x in range(8, 16):
            px[y][x] = SYMBOL
    write_bmp4(os.path.join(HERE, "stop.bmp"), px, GREY_PALETTE)


# --------------------------------------------------------------------------
# Floppy disk (save)
# --------------------------------------------------------------------------

WINDOWS_16 = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 fuchsia
    (0x00, 0xFF, 0xFF),  # 14 aqua
    (0xFF, 0xFF, 0xFF),  # 15 white
]

# . silver background, B black outline / shutter hole, O olive body,
# W white label, g grey label lines, S silver shutter.
FLOPPY = [
    "................",
    ".BBBBBBBBBBBBB..",
    ".BOOWWWWWWWWOOB.",
    ".BOOWggggggWOOB.",
    ".BOOWWWWWWWWOOB.",
    ".BOOWggggggWOOB.",
    ".BOOWWWWWWWWOOB.",
    ".BOOOOOOOOOOOOB.",
    ".BOOOOOOOOOOOOB.",
    ".BOOOOOOOOOOOOB.",
    ".BOOSSSSSSSSOOB.",
    ".BOOSSBBSSSSOOB.",
    ".BOOSSBBSSSSOOB.",
    ".BOOSSBBSSSSOOB.",
    ".BBBBBBBBBBBBBB.",
    "................",
]
FLOPPY_KEY = {".": 7, "B": 0, "O": 3, "W": 15, "g": 8, "S": 7}


def draw_save():
    assert len(FLOPPY) == 16 and all(len(r) == 16 for r in FLOPPY)
    px = [[FLOPPY_KEY[c] for c in row] for row in FLOPPY]
    write_bmp4(os.path.join(HERE, "save.bmp"), px, WINDOWS_16)


def main():
    draw_start()
    draw_stop()
    draw_save()


if __name__ == "__main__":
    main()
