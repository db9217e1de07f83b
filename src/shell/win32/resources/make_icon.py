#!/usr/bin/env python3
"""Draws the program's icon (resource 105) and writes flingpost.ico beside this
script: a blue rounded tile with a white arrow flung up out of a tray, at 16, 32
and 48 pixels, 32-bit colour with alpha. Standard library only; run it again
after changing the drawing and commit the .ico with it."""
import os
import struct

SIZES = (16, 32, 48)
SAMPLES = 4  # per axis, for smooth edges


def inside_rounded(x, y, radius):
    """(x, y) in unit square coordinates inside a rounded square of `radius`."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_polygon(x, y, points):
    hit = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


ARROW = [(0.50, 0.14), (0.78, 0.44), (0.60, 0.44), (0.60, 0.66),
         (0.40, 0.66), (0.40, 0.44), (0.22, 0.44)]
TRAY = [(0.20, 0.62), (0.28, 0.62), (0.28, 0.76), (0.72, 0.76), (0.72, 0.62),
        (0.80, 0.62), (0.80, 0.86), (0.20, 0.86)]


def colour_at(x, y):
    """RGBA of one sample point (unit coordinates, y downwards)."""
    if not inside_rounded(x, y, 0.2):
        return (0, 0, 0, 0)
    if inside_polygon(x, y, ARROW) or inside_polygon(x, y, TRAY):
        return (255, 255, 255, 255)
    # A top-to-bottom blue gradient.
    return (int(70 - 40 * y), int(140 - 60 * y), int(235 - 45 * y), 255)


def render(size):
    """Rows of RGBA pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                           (py + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] // n
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], alpha))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: BITMAPINFOHEADER (double height), BGRA bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    images = [icon_image(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "flingpost.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
