#!/usr/bin/env python3
"""Draws the program's icon (src/driver/tessivane.ico): a white waste bin on a teal tile.

The shapes sit on a 16-unit grid with whole-unit edges, so both the 16x16 and the 32x32
image come out crisp; only the tile's rounded corners are smoothed. Run it again after
changing a shape; the .ico it writes is checked in so that builds need no Python.
"""
import os
import struct

TILE = (0x1F, 0x6F, 0x78)
INK = (0xFF, 0xFF, 0xFF)

# Rectangles (left, top, right, bottom) on the 16-unit grid, painted in order.
SHAPES = [
    (INK, (6, 2, 10, 3)),    # lid handle
    (INK, (3, 3, 13, 5)),    # lid
    (INK, (4, 6, 12, 13)),   # bin
    (TILE, (6, 8, 7, 12)),   # slot
    (TILE, (9, 8, 10, 12)),  # slot
]
CORNER = 3.0


def tile_coverage(x, y, extent, samples=4):
    """Share of the square of side extent at (x, y) inside the rounded 16x16 tile."""
    inside = 0
    for sy in range(samples):
        for sx in range(samples):
            px = x + extent * (sx + 0.5) / samples
            py = y + extent * (sy + 0.5) / samples
            cx = min(max(px, CORNER), 16 - CORNER)
            cy = min(max(py, CORNER), 16 - CORNER)
            if (px - cx) ** 2 + (py - cy) ** 2 <= CORNER ** 2:
                inside += 1
    return inside / (samples * samples)


def render(size):
    scale = size // 16
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            ux, uy = x / scale, y / scale
            coverage = tile_coverage(ux, uy, 1 / scale)
            colour = TILE
            for paint, (left, top, right, bottom) in SHAPES:
                if left <= ux < right and top <= uy < bottom:
                    colour = paint
            row.append(colour + (round(255 * coverage),))
        rows.append(row)
    return rows


def image_entry(size):
    pixels = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    sizes = (16, 32)
    images = [image_entry(size) for size in sizes]
    offset = 6 + 16 * len(images)
    out = struct.pack('<HHH', 0, 1, len(images))
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(__file__), '..', 'src', 'driver', 'tessivane.ico')
    with open(target, 'wb') as handle:
        handle.write(out)


if __name__ == '__main__':
    main()
