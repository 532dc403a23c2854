#!/usr/bin/env python3
"""Writes the program's icon (src/app/quillmarsh.ico): a magnifying glass over a quill on a
rounded blue tile, drawn with anti-aliasing at 16, 32 and 48 pixels. Run it after changing the
drawing; the .ico is checked in so that builds need no Python."""
import math
import struct
import sys

def coverage(size, x, y, shape, samples=4):
    hit = 0
    for sy in range(samples):
        for sx in range(samples):
            px = (x + (sx + 0.5) / samples) / size
            py = (y + (sy + 0.5) / samples) / size
            hit += shape(px, py)
    return hit / (samples * samples)

def tile(px, py):
    r = 0.18
    cx = min(max(px, r + 0.02), 0.98 - r)
    cy = min(max(py, r + 0.02), 0.98 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r

def ring(px, py):
    d = math.hypot(px - 0.42, py - 0.42)
    return 0.17 <= d <= 0.27

def handle(px, py):
    # a thick segment from the ring towards the lower right
    ax, ay, bx, by = 0.61, 0.61, 0.82, 0.82
    t = ((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / ((bx - ax) ** 2 + (by - ay) ** 2)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(px - (ax + t * (bx - ax)), py - (ay + t * (by - ay))) <= 0.075

def quill(px, py):
    # a slim feather inside the lens, tip at the lower left
    ax, ay, bx, by = 0.33, 0.53, 0.52, 0.30
    t = ((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / ((bx - ax) ** 2 + (by - ay) ** 2)
    if t < 0 or t > 1:
        return False
    width = 0.012 + 0.055 * math.sin(math.pi * min(t * 1.15, 1.0))
    return math.hypot(px - (ax + t * (bx - ax)), py - (ay + t * (by - ay))) <= width

def image(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a_tile = coverage(size, x, y, tile)
            a_white = coverage(size, x, y, lambda u, v: ring(u, v) or handle(u, v))
            a_quill = coverage(size, x, y, quill)
            top = 0.0 + y / size
            base = (int(40 + 20 * top), int(110 + 30 * top), int(215 - 15 * top))
            r, g, b = base
            r = r + (255 - r) * a_white
            g = g + (255 - g) * a_white
            b = b + (255 - b) * a_white
            r = r + (255 - r) * a_quill
            g = g + (214 - g) * a_quill
            b = b + (90 - b) * a_quill
            row.append((int(b), int(g), int(r), int(255 * a_tile)))
        rows.append(row)
    return rows

def bmp_entry(size):
    pixels = image(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes(c for px in row for c in px) for row in reversed(pixels))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # alpha decides; the AND mask is all zero
    return header + data + mask

def main(path):
    sizes = [16, 32, 48]
    entries = [bmp_entry(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, e in zip(sizes, entries):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(e), offset)
        offset += len(e)
    out += b''.join(entries)
    with open(path, 'wb') as f:
        f.write(out)

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'src/app/quillmarsh.ico')
