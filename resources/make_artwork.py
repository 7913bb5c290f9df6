#!/usr/bin/env python3
"""Draws the veilcase artwork: the application icon (veilcase.ico, 14 images)
and the About banner (banner.bmp, 333 x 50, 32 bits per pixel).

Deterministic: the same script always writes the same bytes. Run it from
this folder after changing the drawing; the outputs are committed."""

import struct
import zlib

BG_TOP = (38, 110, 132)
BG_BOTTOM = (14, 56, 74)
SHACKLE = (222, 230, 234)
BODY_TOP = (250, 206, 96)
BODY_BOTTOM = (218, 160, 52)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def lock_color(x, y, with_background):
    """Colour of the padlock picture at (x, y) in the unit square, or None."""
    bg = mix(BG_TOP, BG_BOTTOM, y) if with_background else None
    # keyhole: a round head and a tapering slot, cut through the body
    if (x - 0.5) ** 2 + (y - 0.64) ** 2 <= 0.062 ** 2 or (
            0.64 <= y <= 0.80 and abs(x - 0.5) <= 0.025 + (y - 0.64) * 0.12):
        return bg if with_background else (30, 40, 48)
    if in_round_rect(x, y, 0.22, 0.45, 0.78, 0.88, 0.07):
        return mix(BODY_TOP, BODY_BOTTOM, (y - 0.45) / 0.43)
    # shackle: a half ring above the body with two legs down into it
    dx, dy = x - 0.5, y - 0.38
    ring = 0.17 ** 2 <= dx * dx + dy * dy <= 0.24 ** 2
    if ring and y <= 0.38:
        return SHACKLE
    if 0.38 <= y <= 0.47 and 0.17 <= abs(dx) <= 0.24:
        return SHACKLE
    if with_background and in_round_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.18):
        return bg
    return None


def render(size, with_background=True, samples=4):
    """RGBA rows (top first) of the icon picture at size x size pixels."""
    rows = []
    n = samples * samples
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    c = lock_color((px + (sx + 0.5) / samples) / size,
                                   (py + (sy + 0.5) / samples) / size, with_background)
                    if c is not None:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    grays = [(v, v, v) for v in range(8, 248, 6)][:40]
    return cube + grays


def nearest(palette, c):
    return min(range(len(palette)),
               key=lambda i: (palette[i][0] - c[0]) ** 2 + (palette[i][1] - c[1]) ** 2 +
               (palette[i][2] - c[2]) ** 2)


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def dib_image(rows, bpp):
    """An icon image as a DIB: header, palette, colour bits, AND mask."""
    size = len(rows)
    palette = VGA16 if bpp == 4 else palette256() if bpp == 8 else []
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bpp == 32:
            for r, g, b, a in row:
                line += bytes((b, g, r, a))
        else:
            idx = [nearest(palette, p) if p[3] >= 128 else 0 for p in row]
            if bpp == 8:
                line += bytes(idx)
            else:
                for i in range(0, len(idx), 2):
                    line.append((idx[i] << 4) | (idx[i + 1] if i + 1 < len(idx) else 0))
        line += b"\0" * (row_bytes(size * bpp) - len(line))
        xor += line
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(row_bytes(size))
        for x, p in enumerate(row):
            if p[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0,
                         len(palette), 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + pal + bytes(xor) + bytes(mask)


def png_image(rows):
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_icon(path):
    images = []
    for size in (16, 24, 32, 48):
        rows = render(size)
        for bpp in (4, 8, 32):
            images.append((size, bpp, dib_image(rows, bpp)))
    images.append((64, 32, dib_image(render(64), 32)))
    images.append((256, 32, png_image(render(256, samples=2))))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


GLYPHS = {
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".####"],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "c": [".....", ".....", ".####", "#....", "#....", "#....", ".####"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
}


def write_banner(path, width=333, height=50):
    pixels = [[mix(BG_BOTTOM, BG_TOP, x / (width - 1)) + (255,) for x in range(width)] for _ in range(height)]
    pixels = [[(round(p[0]), round(p[1]), round(p[2]), 255) for p in row] for row in pixels]
    # the padlock, composited over the gradient
    lock = render(40, with_background=False)
    for y in range(40):
        for x in range(40):
            r, g, b, a = lock[y][x]
            if a:
                base = pixels[5 + y][12 + x]
                t = a / 255
                pixels[5 + y][12 + x] = tuple(round(base[i] * (1 - t) + (r, g, b)[i] * t) for i in range(3)) + (255,)
    # the word "veilcase", each glyph cell four pixels square
    cell, x0, y0 = 4, 66, 11
    for n, ch in enumerate("veilcase"):
        for gy, line in enumerate(GLYPHS[ch]):
            for gx, bit in enumerate(line):
                if bit == "#":
                    for yy in range(cell):
                        for xx in range(cell):
                            pixels[y0 + gy * cell + yy][x0 + n * 24 + gx * cell + xx] = (255, 255, 255, 255)
    body = b"".join(b"".join(bytes((b, g, r, a)) for r, g, b, a in row) for row in reversed(pixels))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + body)


if __name__ == "__main__":
    write_icon("veilcase.ico")
    write_banner("banner.bmp")
