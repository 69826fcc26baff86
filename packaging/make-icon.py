#!/usr/bin/env python3
"""Draws the window and desktop icon: a card resting on a reader, 32 x 32,
24-bit colour. Writes the PNG given as the first argument (standard library only)."""
import struct
import sys
import zlib

W = H = 32
BACKGROUND = (240, 240, 240)
READER = (48, 52, 60)
READER_EDGE = (90, 96, 108)
LED = (60, 200, 90)
CARD = (30, 110, 200)
CARD_STRIPE = (250, 250, 250)
CARD_CHIP = (230, 190, 60)
WAVE = (30, 110, 200)

pixels = [[BACKGROUND for _ in range(W)] for _ in range(H)]


def rect(x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(H, y1)):
        for x in range(max(0, x0), min(W, x1)):
            pixels[y][x] = colour


# The reader: a flat box with a light edge and a green lamp.
rect(2, 20, 30, 30, READER_EDGE)
rect(3, 21, 29, 29, READER)
rect(24, 26, 27, 28, LED)
# The card, lying above the reader.
rect(6, 8, 26, 20, CARD)
rect(6, 11, 26, 13, CARD_STRIPE)
rect(9, 15, 13, 18, CARD_CHIP)
# Radio waves above the card.
for i, y in enumerate((5, 3, 1)):
    rect(12 - 2 * i, y, 20 + 2 * i, y + 1, WAVE)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
png = (b"\x89PNG\r\n\x1a\n"
       + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(raw, 9))
       + chunk(b"IEND", b""))
with open(sys.argv[1], "wb") as out:
    out.write(png)
