#!/usr/bin/env python3
"""Draws the program icon A_MAIN.ico: 48, 32 and 16 pixels, each in 16 and in 256 colours."""
import struct
import sys

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]
# 256 colours: the 16 above, then a ramp of blues for the shaded tile.
RAMP = [(20 + i // 2, 70 + i // 2, 140 + i // 3) for i in range(0, 240)]
PALETTE_256 = VGA + RAMP


def shape(x, y, n):
    """None outside, 'tile' on the rounded square, 'link' on the two chain rings."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.18
    cx, cy = min(max(u, r + 0.04), 0.96 - r), min(max(v, r + 0.04), 0.96 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return None, 0
    for ox, oy in ((0.41, 0.59), (0.59, 0.41)):
        # rings tilted 45 degrees
        a, b = (u - ox + v - oy) / 1.4142, (u - ox - (v - oy)) / 1.4142
        d = ((a / 0.25) ** 2 + (b / 0.12) ** 2) ** 0.5
        if 0.6 <= d <= 1.0:
            return "link", 0
    return "tile", u + v


def image(n, bpp):
    colours = 16 if bpp == 4 else 256
    palette = VGA if bpp == 4 else PALETTE_256
    pixels, mask = [], []
    for y in range(n - 1, -1, -1):  # bottom-up rows
        row, mrow = [], []
        for x in range(n):
            kind, shade = shape(x, y, n)
            if kind is None:
                row.append(0)
                mrow.append(1)
            elif kind == "link":
                row.append(15)
                mrow.append(0)
            else:
                row.append(12 if bpp == 4 else 16 + min(239, int(shade * 110)))
                mrow.append(0)
        pixels.append(row)
        mask.append(mrow)

    def pack(rows, bits):
        out = b""
        for row in rows:
            acc, nbits, line = 0, 0, b""
            for value in row:
                acc = (acc << bits) | value
                nbits += bits
                if nbits == 8:
                    line += bytes([acc])
                    acc, nbits = 0, 0
            if nbits:
                line += bytes([acc << (8 - nbits)])
            line += b"\0" * ((4 - len(line) % 4) % 4)
            out += line
        return out

    xor, and_ = pack(pixels, bpp), pack(mask, 1)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0, len(xor) + len(and_), 0, 0, colours, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette[:colours])
    pal += b"\0" * (4 * colours - len(pal))
    return (16 if bpp == 4 else 0), bpp, header + pal + xor + and_


def main(path):
    images = [(n,) + image(n, bpp) for n in (48, 32, 16) for bpp in (4, 8)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, colours, bpp, data in images:
        out += struct.pack("<BBBBHHII", n, n, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "A_MAIN.ico")
