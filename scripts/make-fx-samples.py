#!/usr/bin/env python3
"""Draws the two sample pictures of the effect chooser's preview,
data/AppData/Grafika/FxText01.Bmp and FxText02.Bmp: 320 x 240, 8-bit RLE8 BMPs (a few
KB each), a gradient with a disc and a big label in a blocky font. Run from the
repository's root; the pictures are committed."""
import struct

W, H = 320, 240
FONT = {  # 5 x 7 cells
    'A': ["01110", "11011", "10001", "10001", "11111", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    ' ': ["00000"] * 7,
}


def draw(top, bottom, disc, label, text_colour):
    # palette: 0..31 gradient, 32 disc, 33 text, 34 text shadow
    palette = []
    for i in range(32):
        palette.append(tuple(int(top[c] + (bottom[c] - top[c]) * i / 31) for c in range(3)))
    palette += [disc, text_colour, (20, 20, 20)]
    pix = [[min(31, y * 32 // H) for _ in range(W)] for y in range(H)]
    cx, cy, r = W // 2, H // 2 - 20, 70
    for y in range(H):
        for x in range(W):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                pix[y][x] = 32

    def text(s, x0, y0, scale, colour):
        for n, ch in enumerate(s):
            rows = FONT[ch]
            for j, row in enumerate(rows):
                for i, bit in enumerate(row):
                    if bit == '1':
                        for yy in range(scale):
                            for xx in range(scale):
                                x = x0 + (n * 6 + i) * scale + xx
                                y = y0 + j * scale + yy
                                if 0 <= x < W and 0 <= y < H:
                                    pix[y][x] = colour

    big = 14
    text(label, cx - 5 * big // 2 + 3, cy - 7 * big // 2 + 3, big, 34)
    text(label, cx - 5 * big // 2, cy - 7 * big // 2, big, 33)
    word = "MOVARA"
    small = 5
    text(word, (W - (len(word) * 6 - 1) * small) // 2 + 2, H - 50 + 2, small, 34)
    text(word, (W - (len(word) * 6 - 1) * small) // 2, H - 50, small, 33)
    return palette, pix


def rle8(pix):
    out = bytearray()
    for row in reversed(pix):  # bottom-up
        x = 0
        while x < W:
            run = 1
            while x + run < W and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes([run, row[x]])
            x += run
        out += b"\x00\x00"
    out += b"\x00\x01"
    return bytes(out)


def save(name, palette, pix):
    data = rle8(pix)
    pal = b"".join(bytes([b, g, r, 0]) for (r, g, b) in palette) + b"\x00\x00\x00\x00" * (256 - len(palette))
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, len(data), 2835, 2835, 256, 0)
    with open(name, "wb") as f:
        f.write(header + info + pal + data)


save("data/AppData/Grafika/FxText01.Bmp",
     *draw((30, 60, 160), (150, 210, 255), (250, 220, 60), "A", (255, 255, 255)))
save("data/AppData/Grafika/FxText02.Bmp",
     *draw((170, 40, 30), (255, 200, 120), (40, 160, 80), "B", (255, 255, 240)))
