#!/usr/bin/env python3
"""Draw Tintwell's application icon, in every size the desktop asks for.

The icon is a colour sheet in small: three by three tiles on a dark grid, the
red level set per tile, green rising from left to right and blue from top to
bottom across the whole sheet in fifteen steps. The one design below gives

  icons/tintwell.svg          the scalable icon (hicolor/scalable)
  icons/tintwell-<N>.png      N x N for N in 16, 24, 32, 48, 64, 128, 256
                              (hicolor/NxN), 24-bit RGB
  tintwell.png                48 x 48, 8-bit palette: the window's own icon

The design is laid out on a 64-unit square (grid lines 1 unit, tiles 20,
steps 4), so the 64, 128 and 256 pixel pictures are the SVG exactly. Below
64 pixels the grid lines are kept one whole pixel wide and the tiles share
the rest, the way a font is hinted, so that the small icons stay sharp.

Uses only the Python 3 standard library; run it again after changing the
design and commit the files it writes (the build does not run it).
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

UNITS = 64          # side of the design square
LINE = 1            # grid line width in design units
TILES = 3           # tiles per side
STEPS = 5           # colour steps per tile and side
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)
WINDOW_ICON_SIZE = 48

LINE_COLOUR = (0x20, 0x20, 0x28)
# Red level of each tile (row-major), spread so that neighbours differ.
TILE_RED = [
    [0xFF, 0xC0, 0x40],
    [0xE0, 0x20, 0x90],
    [0x60, 0xFF, 0x00],
]


def ramp(step):
    """Level of step 0..14 of the sheet-wide green and blue ramps."""
    last = TILES * STEPS - 1
    return 0x40 + (0xFF - 0x40) * step // last


def cell_colour(tx, ty, i, j):
    """Colour of step (i, j) inside tile (tx, ty)."""
    return (TILE_RED[ty][tx], ramp(tx * STEPS + i), ramp(ty * STEPS + j))


# --------------------------------------------------------------------------
# Layout: where the tiles and their steps lie at a given size
# --------------------------------------------------------------------------

def tile_spans(size):
    """(start, length) of the three tiles along one side, in pixels.

    From 64 pixels up the design is scaled exactly; below, each grid line
    stays one pixel and the leftover pixel or two go to the middle tile or
    to both outer tiles, so the picture stays symmetric.
    """
    if size % UNITS == 0:
        scale = size // UNITS
        line, lengths = LINE * scale, [(UNITS - (TILES + 1) * LINE) // TILES * scale] * TILES
    else:
        line = 1
        inner = size - (TILES + 1) * line
        base, extra = divmod(inner, TILES)
        lengths = [base] * TILES
        if extra == 1:
            lengths[1] += 1
        elif extra == 2:
            lengths[0] += 1
            lengths[2] += 1
    spans = []
    pos = line
    for length in lengths:
        spans.append((pos, length))
        pos += length + line
    assert pos == size, (size, spans)
    return spans


def step_edges(length):
    """Edges of the colour steps inside one tile (some vanish when small)."""
    return [round(k * length / STEPS) for k in range(STEPS + 1)]


def cells(size):
    """Every cell of the design at `size` pixels: (x, y, width, height, colour)."""
    spans = tile_spans(size)
    for ty, (y0, h) in enumerate(spans):
        ys = step_edges(h)
        for tx, (x0, w) in enumerate(spans):
            xs = step_edges(w)
            for j in range(STEPS):
                for i in range(STEPS):
                    yield (x0 + xs[i], y0 + ys[j], xs[i + 1] - xs[i], ys[j + 1] - ys[j],
                           cell_colour(tx, ty, i, j))


def render(size):
    """The icon at `size` pixels as rows of (r, g, b)."""
    rgb = [[LINE_COLOUR] * size for _ in range(size)]
    for x0, y0, w, h, colour in cells(size):
        for y in range(y0, y0 + h):
            rgb[y][x0:x0 + w] = [colour] * w
    return rgb


# --------------------------------------------------------------------------
# Writers
# --------------------------------------------------------------------------

def write_svg(path):
    """The design itself, on its 64-unit square."""
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d"'
        ' shape-rendering="crispEdges">' % (UNITS, UNITS, UNITS, UNITS),
        '  <title>Tintwell</title>',
        '  <rect width="%d" height="%d" fill="#%02x%02x%02x"/>' % ((UNITS, UNITS) + LINE_COLOUR),
    ]
    for x, y, w, h, colour in cells(UNITS):
        out.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="#%02x%02x%02x"/>'
                   % ((x, y, w, h) + colour))
    out.append('</svg>')
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _write_png(path, width, height, colour_type, raw, plte=None):
    data = b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if plte is not None:
        data += _png_chunk(b"PLTE", plte)
    data += _png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + _png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def write_png_rgb(path, rgb):
    """24-bit RGB PNG (colour type 2)."""
    raw = bytearray()
    for row in rgb:
        raw.append(0)  # filter type: none
        for colour in row:
            raw.extend(colour)
    _write_png(path, len(rgb[0]), len(rgb), 2, raw)


def write_png_palette(path, rgb):
    """8-bit palette PNG (colour type 3)."""
    palette, index, raw = [], {}, bytearray()
    for row in rgb:
        raw.append(0)
        for colour in row:
            if colour not in index:
                index[colour] = len(palette)
                palette.append(colour)
            raw.append(index[colour])
    assert len(palette) <= 256, len(palette)
    _write_png(path, len(rgb[0]), len(rgb), 3, raw, b"".join(bytes(c) for c in palette))


def main():
    icons = os.path.join(HERE, "icons")
    os.makedirs(icons, exist_ok=True)
    write_svg(os.path.join(icons, "tintwell.svg"))
    for size in PNG_SIZES:
        write_png_rgb(os.path.join(icons, "tintwell-%d.png" % size), render(size))
    write_png_palette(os.path.join(HERE, "tintwell.png"), render(WINDOW_ICON_SIZE))


if __name__ == "__main__":
    main()
