#!/usr/bin/env python3
"""Draws the program's 22 resource bitmaps (bmp<ID>.bmp, 16 colours, 4 bits per pixel)
and its icon (vantry.ico, 32 x 32 and 16 x 16) into this directory.

    python3 resources/make_bitmaps.py [output directory]

The pictures are drawn here, pixel by pixel, so that they can be reviewed and redrawn;
the files it writes are kept in the repository and compiled in by vantry.rc.
"""

import os
import struct
import sys

# The standard 16-colour palette of Windows; the bitmaps use indexes into it.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, GREY, NAVY, SILVER = 0, 1, 2, 8, 4, 7
RED, MAGENTA, CYAN, WHITE = 9, 13, 14, 15

# Figures of the signal and trend markers, 6 x 10 pixels ('#' paints).
FIGURES = {
    'B': ["#####.",
          "##..##",
          "##..##",
          "##..##",
          "#####.",
          "##..##",
          "##..##",
          "##..##",
          "##..##",
          "#####."],
    'S': [".####.",
          "##..##",
          "##....",
          "##....",
          ".####.",
          "....##",
          "....##",
          "....##",
          "##..##",
          ".####."],
    '3': [".####.",
          "##..##",
          "....##",
          "....##",
          "..###.",
          "....##",
          "....##",
          "....##",
          "##..##",
          ".####."],
    '4': ["...##.",
          "..###.",
          ".####.",
          "##.##.",
          "##.##.",
          "######",
          "...##.",
          "...##.",
          "...##.",
          "...##."],
    '5': ["######",
          "##....",
          "##....",
          "#####.",
          "....##",
          "....##",
          "....##",
          "....##",
          "##..##",
          ".####."],
}

MARKER_W, MARKER_H = 10, 14
ARROW_W, ARROW_H = 14, 14


def canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def figure_marker(figure, colour):
    """A figure in colour on black: the row it is combined with by exclusive-or shows
    through the black and the figure takes the colour opposite to the row's."""
    image = canvas(MARKER_W, MARKER_H, BLACK)
    rows = FIGURES[figure]
    for y, line in enumerate(rows):
        for x, ch in enumerate(line):
            if ch == '#':
                image[2 + y][2 + x] = colour
    return image


def portfolio_mark(held):
    """A small briefcase: filled navy when the fund is held, an empty outline when not."""
    image = canvas(MARKER_W, MARKER_H, WHITE)
    colour = NAVY if held else SILVER
    # Handle.
    for x in range(3, 7):
        image[3][x] = colour
    image[4][3] = image[4][6] = colour
    # Case: rows 5..11, columns 1..8.
    for y in range(5, 12):
        for x in range(1, 9):
            edge = y in (5, 11) or x in (1, 8)
            if held or edge:
                image[y][x] = colour
    if held:
        image[8][4] = image[8][5] = WHITE
    return image


def check_mark(checked):
    """A check box 8 x 8 pixels, with a green tick when checked."""
    image = canvas(MARKER_W, MARKER_H, WHITE)
    for y in range(3, 11):
        for x in range(1, 9):
            if y in (3, 10) or x in (1, 8):
                image[y][x] = GREY
    if checked:
        for x, y in ((2, 6), (3, 7), (4, 8), (5, 7), (6, 6), (7, 5), (8, 4),
                     (2, 7), (3, 8), (4, 9), (5, 8), (6, 7), (7, 6)):
            image[y][x] = GREEN
    return image


def arrow_button(heads, bold, direction):
    """Black figures on white in a black frame. heads 1 or 2; direction 'left', 'right',
    'up' or 'down'. Drawn pointing left, then mirrored or turned."""
    image = canvas(ARROW_W, ARROW_H, WHITE)
    for i in range(ARROW_W):
        image[0][i] = image[ARROW_H - 1][i] = BLACK
        image[i][0] = image[i][ARROW_W - 1] = BLACK
    size = 5 if bold else 4          # columns of one head
    if heads == 1:
        tips = [2 if bold else 3]
    else:
        tips = [1, 7] if bold else [2, 7]
    for tip in tips:
        for c in range(size):
            for y in range(6 - c, 8 + c):
                image[y][tip + c] = BLACK
    if heads == 1:
        shaft = range(5, 9) if bold else range(6, 8)
        for y in shaft:
            for x in range(tips[0] + size, 12 if bold else 11):
                image[y][x] = BLACK
    if direction == 'right':
        image = [list(reversed(row)) for row in image]
    elif direction == 'up':
        image = [[image[x][y] for x in range(ARROW_W)] for y in range(ARROW_H)]
    elif direction == 'down':
        turned = [[image[x][y] for x in range(ARROW_W)] for y in range(ARROW_H)]
        image = list(reversed(turned))
    return image


def bitmaps():
    return {
        104: figure_marker('B', MAGENTA),
        105: figure_marker('S', CYAN),
        131: figure_marker('3', MAGENTA),
        140: figure_marker('4', MAGENTA),
        142: figure_marker('5', MAGENTA),
        138: figure_marker('3', CYAN),
        133: figure_marker('4', CYAN),
        141: figure_marker('5', CYAN),
        106: portfolio_mark(True),
        112: portfolio_mark(False),
        110: check_mark(True),
        111: check_mark(False),
        116: arrow_button(1, False, 'left'),
        115: arrow_button(1, False, 'right'),
        118: arrow_button(2, False, 'left'),
        117: arrow_button(2, False, 'right'),
        121: arrow_button(1, True, 'left'),
        122: arrow_button(1, True, 'right'),
        123: arrow_button(2, True, 'left'),
        124: arrow_button(2, True, 'right'),
        119: arrow_button(1, False, 'up'),
        120: arrow_button(1, False, 'down'),
    }


def bmp4(image):
    """An uncompressed 16-colour BMP, rows bottom first, each padded to 4 bytes."""
    height, width = len(image), len(image[0])
    row_bytes = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(image):
        line = bytearray(row_bytes)
        for x, index in enumerate(row):
            if x % 2 == 0:
                line[x // 2] |= index << 4
            else:
                line[x // 2] |= index
        pixels += line
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels),
                       2835, 2835, 16, 0)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def icon_image(size):
    """A small rising bar chart: four bars over a black base line on white, 32-bit."""
    white, black = (255, 255, 255), (0, 0, 0)
    colours = [(0, 0, 220), (0, 165, 165), (0, 170, 0), (200, 0, 0)]
    image = [[white] * size for _ in range(size)]
    unit = size / 32.0
    base = int(28 * unit)
    for x in range(int(2 * unit), size - int(2 * unit)):
        image[base][x] = black
    for i, colour in enumerate(colours):
        left = int((4 + 7 * i) * unit)
        right = int((9 + 7 * i) * unit)
        top = int((20 - 5 * i) * unit)
        for y in range(top, base):
            for x in range(left, max(right, left + 1)):
                edge = x in (left, max(right, left + 1) - 1) or y == top
                image[y][x] = black if edge and size >= 32 else colour
    return image


def ico(sizes):
    """An icon file of 32-bit images, each with an all-opaque AND mask."""
    entries, blobs = [], []
    offset = 6 + 16 * len(sizes)
    for size in sizes:
        image = icon_image(size)
        xor = bytearray()
        for row in reversed(image):
            for r, g, b in row:
                xor += bytes((b, g, r, 255))
        mask_row = ((size + 31) // 32) * 4
        mask = bytes(mask_row * size)
        info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + mask
        entries.append(struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack('<HHH', 0, 1, len(sizes)) + b''.join(entries) + b''.join(blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for number, image in sorted(bitmaps().items()):
        with open(os.path.join(out, 'bmp%d.bmp' % number), 'wb') as f:
            f.write(bmp4(image))
    with open(os.path.join(out, 'vantry.ico'), 'wb') as f:
        f.write(ico([32, 16]))


if __name__ == '__main__':
    main()
