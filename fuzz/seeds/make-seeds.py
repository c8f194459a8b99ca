#!/usr/bin/env python3
"""Writes the small valid slide bitmaps the slide bitmap fuzz target starts from."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(width, height, bits, rows, table=(), compression=0, clr_used=0, info_size=40, masks=()):
    extra = bytearray(info_size - 40)
    masks_after = b""
    if masks and info_size >= 52:
        extra[0:4 * len(masks)] = b"".join(struct.pack("<I", m) for m in masks)
    elif masks:
        masks_after = b"".join(struct.pack("<I", m) for m in masks)
    tab = b"".join(struct.pack("<I", c) for c in table)
    off = 14 + info_size + len(masks_after) + len(tab)
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression,
                       len(rows), 2835, 2835, clr_used, 0) + bytes(extra)
    return b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off) + info + masks_after + tab + bytes(rows)


def rows(width, height, bits, value):
    stride = (width * bits + 31) // 32 * 4
    out = bytearray()
    for r in range(abs(height)):
        y = r if height < 0 else abs(height) - 1 - r
        row = bytearray(stride)
        for x in range(width):
            v = value(x, y)
            if bits == 1:
                row[x // 8] |= (v & 1) << (7 - x % 8)
            elif bits == 4:
                row[x // 2] |= (v & 15) << (0 if x % 2 else 4)
            elif bits == 8:
                row[x] = v
            else:
                row[x * bits // 8:(x + 1) * bits // 8] = v.to_bytes(bits // 8, "little")
        out += row
    return out


seeds = {
    "1bit-9x3.bmp": bmp(9, 3, 1, rows(9, 3, 1, lambda x, y: (x + y) & 1), (0, 0xFFFFFF)),
    "4bit-5x3-clr6.bmp": bmp(5, 3, 4, rows(5, 3, 4, lambda x, y: (x + 2 * y) % 6),
                            [0x111111 * i for i in range(6)], clr_used=6),
    "8bit-3x2-clr4.bmp": bmp(3, 2, 8, rows(3, 2, 8, lambda x, y: x + y), (0xFF0000, 0xFF00, 0xFF, 0), clr_used=4),
    "16bit-555-3x2.bmp": bmp(3, 2, 16, rows(3, 2, 16, lambda x, y: 0x7C00 >> (5 * x))),
    "16bit-565-3x2.bmp": bmp(3, 2, 16, rows(3, 2, 16, lambda x, y: 0xF800 >> (5 * x)), compression=3,
                             masks=(0xF800, 0x07E0, 0x001F)),
    "24bit-4x3.bmp": bmp(4, 3, 24, rows(4, 3, 24, lambda x, y: 0x102030 * (x + y))),
    "24bit-topdown-3x2.bmp": bmp(3, -2, 24, rows(3, -2, 24, lambda x, y: 0xFFFFFF if x == y else 0)),
    "32bit-v5-2x2.bmp": bmp(2, 2, 32, rows(2, 2, 32, lambda x, y: 0xFF000000 | 0x4080C0 >> x), compression=3,
                            info_size=124, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
    "rle8-6x3.bmp": bmp(6, 3, 8, bytes([3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 2, 7, 0, 2, 1, 1, 0, 1]),
                        [0x10101 * i for i in range(8)], compression=1, clr_used=8),
    "rle4-6x3.bmp": bmp(6, 3, 4, bytes([5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1]),
                        [0x111111 * i for i in range(16)], compression=2),
}
for name, data in seeds.items():
    with open(os.path.join(HERE, "slide_bitmap", name), "wb") as f:
        f.write(data)
