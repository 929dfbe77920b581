#!/usr/bin/env python3
"""Draws vorlak.png, the 100x50 logo xboard shows beside the clock, with the standard library only.

Usage: make-logo.py OUTPUT.png
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 100, 50
DARK, LIGHT, INK = (40, 44, 52), (222, 205, 170), (250, 250, 245)
SQUARE = 5  # edge of one square of the chequered bands

# 5x7 letters, one string of five cells per row
GLYPHS = {
    "v": ["     ", "     ", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "o": ["     ", "     ", " ### ", "#   #", "#   #", "#   #", " ### "],
    "r": ["     ", "     ", "# ## ", "##  #", "#    ", "#    ", "#    "],
    "l": [" ##  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "a": ["     ", "     ", " ### ", "    #", " ####", "#   #", " ####"],
    "k": ["#    ", "#    ", "#  # ", "# #  ", "##   ", "# #  ", "#  # "],
}
SCALE = 2
GAP = 3


def draw():
    pixels = [[DARK] * WIDTH for _ in range(HEIGHT)]
    # chequered bands along the top and the bottom edge
    for y in list(range(0, 2 * SQUARE)) + list(range(HEIGHT - 2 * SQUARE, HEIGHT)):
        for x in range(WIDTH):
            if (x // SQUARE + y // SQUARE) % 2 == 0:
                pixels[y][x] = LIGHT
    word = "vorlak"
    text_width = len(word) * 5 * SCALE + (len(word) - 1) * GAP
    left = (WIDTH - text_width) // 2
    top = (HEIGHT - 7 * SCALE) // 2
    for i, letter in enumerate(word):
        x0 = left + i * (5 * SCALE + GAP)
        for row, cells in enumerate(GLYPHS[letter]):
            for col, cell in enumerate(cells):
                if cell == "#":
                    for dy in range(SCALE):
                        for dx in range(SCALE):
                            pixels[top + row * SCALE + dy][x0 + col * SCALE + dx] = INK
    return pixels


def png(pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    with open(sys.argv[1], "wb") as out:
        out.write(png(draw()))
