#!/usr/bin/env python3
"""Draws Korvane's program icon (src/resources/korvane.ico): a blue rounded tile
with a white "K" and an orange spark.  Plain Python, no imaging library, so the
icon can be redrawn on any machine; the result is committed."""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "resources",
                   "korvane.ico")


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def pixel(u, v):
    """Colour (r, g, b, a) at unit coordinates u, v in [0, 1]."""
    # rounded square
    r = 0.18
    qx, qy = abs(u - 0.5) - (0.5 - r), abs(v - 0.5) - (0.5 - r)
    outside = math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    if outside > 0:
        return (0, 0, 0, 0)
    top, bottom = (0x2f, 0x80, 0xed), (0x12, 0x3f, 0x9a)
    col = tuple(int(top[i] + (bottom[i] - top[i]) * v) for i in range(3))
    w = 0.075
    k = min(seg_dist(u, v, 0.33, 0.22, 0.33, 0.78),
            seg_dist(u, v, 0.35, 0.52, 0.68, 0.22),
            seg_dist(u, v, 0.45, 0.44, 0.70, 0.78))
    if k < w:
        col = (255, 255, 255)
    elif math.hypot(u - 0.76, v - 0.30) < 0.07:
        col = (0xff, 0x9a, 0x1f)
    return col + (255,)


def image(size):
    ss = 4  # supersampling
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b""
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    c = pixel((x + (sx + 0.5) / ss) / size, (y + (sy + 0.5) / ss) / size)
                    a = c[3]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            a = acc[3] / (ss * ss)
            if acc[3]:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0
            row += struct.pack("BBBB", int(b), int(g), int(r), int(a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    andmask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask),
                         0, 0, 0, 0)
    return header + xor + andmask


def main():
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(OUT, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
