#!/usr/bin/env python3
"""Draws the Fotovane program icon and writes it as a Windows .ico file.

The picture: a photograph (sky, sun, hills) in a white frame on a deep blue tile, with a
weather vane's arrow across the top corner. Drawn analytically with 4x4 supersampling so
every size is sharp; no image library needed.

    make_icon.py OUT.ico
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 256)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(u, v):
    """Colour (r, g, b, a) at unit coordinates u, v (0..1, y down)."""
    # Weather vane: an arrow from lower left to upper right over the frame's corner.
    ax, ay, bx, by = 0.50, 0.30, 0.93, 0.07
    dx, dy = bx - ax, by - ay
    length = math.hypot(dx, dy)
    t = ((u - ax) * dx + (v - ay) * dy) / (length * length)
    dist = abs((u - ax) * dy - (v - ay) * dx) / length
    if 0.0 <= t <= 0.78 and dist < 0.022:
        return (250, 196, 40, 255)
    if 0.70 <= t <= 1.0 and dist < (1.0 - t) * 0.42 * length:
        return (250, 196, 40, 255)
    if -0.05 <= t <= 0.12 and dist < (0.12 - t) * 0.9 * length and dist > 0.012:
        return (250, 196, 40, 255)
    # Photograph with a white border, slightly inset in the tile.
    if inside_rounded(u, v, 0.14, 0.22, 0.86, 0.86, 0.03):
        if not inside_rounded(u, v, 0.20, 0.28, 0.80, 0.80, 0.005):
            return (248, 248, 244, 255)
        if (u - 0.64) ** 2 + (v - 0.42) ** 2 < 0.065 ** 2:
            return (255, 214, 64, 255)
        hill1 = 0.66 - 0.10 * math.sin((u - 0.20) * 5.2)
        hill2 = 0.72 - 0.06 * math.cos((u - 0.35) * 7.0)
        if v > hill2:
            return (46, 125, 50, 255)
        if v > hill1:
            return (102, 170, 72, 255)
        sky = (v - 0.28) / 0.5
        return (int(90 + 60 * sky), int(160 + 50 * sky), 235, 255)
    # The tile.
    if inside_rounded(u, v, 0.02, 0.02, 0.98, 0.98, 0.18):
        g = v
        return (int(22 + 20 * g), int(48 + 30 * g), int(120 + 40 * g), 255)
    return (0, 0, 0, 0)


def render(size):
    samples = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = shade((x + (sx + 0.5) / samples) / size,
                                       (y + (sy + 0.5) / samples) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                row.append(tuple(int(c / acc[3]) for c in acc[:3]) + (int(alpha),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    """A 32-bit DIB with an AND mask, as icon resources hold them (bottom row first)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [bmp_entry(s, render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
