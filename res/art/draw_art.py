#!/usr/bin/env python3
"""Draws the program's icon (HalvoSetting.ico) and logo (Logo.bmp) into a folder.

usage: draw_art.py OUTDIR

The emblem, a speaker with sound waves in a rounded square, is described by distance functions
and rendered at every size, so each image is drawn for its own size rather than scaled. Only the
standard library is used: the build needs no imaging package.
"""

import math
import os
import struct
import sys
import zlib

NAVY = (28, 74, 134)
RIM = (14, 42, 82)
WHITE = (255, 255, 255)
AMBER = (247, 168, 35)
PAPER = (244, 246, 249)

# (size, bits per pixel) in the order of the icon directory; the 256 px image is stored as PNG.
ICON_IMAGES = [(s, 4) for s in (16, 24, 32, 48)] + [(s, 8) for s in (16, 24, 32, 48)] + [
    (s, 32) for s in (16, 24, 32, 48, 64, 128, 256)
]
LOGO_WIDTH, LOGO_HEIGHT = 85, 120


# Signed distances in the emblem's unit square (negative inside).


def rounded_box(x, y, cx, cy, hw, hh, r):
    qx = abs(x - cx) - hw + r
    qy = abs(y - cy) - hh + r
    return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r


def segment(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def polygon(x, y, points):
    d = min(segment(x, y, *points[i - 1], *points[i]) for i in range(len(points)))
    inside = False
    for i in range(len(points)):
        (ax, ay), (bx, by) = points[i - 1], points[i]
        if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return -d if inside else d


def arc(x, y, cx, cy, r, half_angle, width):
    """An arc opening to the right, with round ends."""
    if abs(math.atan2(y - cy, x - cx)) <= half_angle:
        return abs(math.hypot(x - cx, y - cy) - r) - width / 2
    ex, ey = cx + r * math.cos(half_angle), r * math.sin(half_angle)
    return min(math.hypot(x - ex, y - cy - ey), math.hypot(x - ex, y - cy + ey)) - width / 2


def coverage(distance, pixels_per_unit):
    """How much of a pixel a shape covers, from the distance of the pixel's centre to its edge."""
    return min(max(0.5 - distance * pixels_per_unit, 0.0), 1.0)


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


# Speaker outline, the waves' centre and radii. At 16 px the speaker is narrower and there are
# two waves, farther apart: three would run together.
LARGE = ([(0.20, 0.40), (0.31, 0.40), (0.47, 0.25), (0.47, 0.75), (0.31, 0.60), (0.20, 0.60)],
         0.44, (0.15, 0.26, 0.37))
SMALL = ([(0.15, 0.38), (0.27, 0.38), (0.41, 0.22), (0.41, 0.78), (0.27, 0.62), (0.15, 0.62)],
         0.36, (0.22, 0.40))


def emblem(x, y, size):
    """The emblem's colour and opacity at (x, y) in its unit square, drawn `size` pixels wide."""
    box = rounded_box(x, y, 0.5, 0.5, 0.47, 0.47, 0.2)
    alpha = coverage(box, size)
    if alpha == 0.0:
        return (0.0, 0.0, 0.0), 0.0
    # The dark rim keeps the square apart from a light background; one pixel at least.
    rim = max(0.035, 1.0 / size)
    colour = mix(RIM, NAVY, coverage(box + rim, size))
    speaker, centre, radii = SMALL if size <= 16 else LARGE
    colour = mix(colour, WHITE, coverage(polygon(x, y, speaker), size))
    width = max(0.065, 1.4 / size)
    waves = min(arc(x, y, centre, 0.5, r, math.radians(48), width) for r in radii)
    colour = mix(colour, AMBER, coverage(waves, size))
    return colour, alpha


def render_emblem(size):
    """Rows top-down of (r, g, b, a) bytes."""
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            colour, alpha = emblem((i + 0.5) / size, (j + 0.5) / size, size)
            row.append(tuple(round(c) for c in colour) + (round(alpha * 255),))
        rows.append(row)
    return rows


# Palettes of the 4 and 8 bpp images: the emblem's colours and the blends its edges need.


def blends(pairs, steps):
    colours = []
    for a, b in pairs:
        for k in range(steps + 1):
            c = tuple(round(v) for v in mix(a, b, k / steps))
            if c not in colours:
                colours.append(c)
    return colours


PALETTE_4 = [(0, 0, 0)] + blends([(NAVY, WHITE), (NAVY, AMBER), (RIM, NAVY)], 4)
PALETTE_8 = [(0, 0, 0)] + blends([(NAVY, WHITE), (NAVY, AMBER), (RIM, NAVY), (RIM, WHITE),
                                  (RIM, AMBER), (AMBER, WHITE)], 32)
assert len(PALETTE_4) <= 16 and len(PALETTE_8) <= 256


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda k: sum((p - q) ** 2 for p, q in zip(colour, palette[k])))


# File formats.


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def pack_bits(values, bits):
    out, acc, filled = bytearray(), 0, 0
    for v in values:
        acc = (acc << bits) | v
        filled += bits
        if filled == 8:
            out.append(acc)
            acc, filled = 0, 0
    if filled:
        out.append(acc << (8 - filled))
    return bytes(out)


def icon_bmp(rows, bpp):
    """An icon image as the .ico stores it: header, palette, colour rows, AND mask, bottom-up."""
    size = len(rows)
    opaque = [[p[3] >= 128 for p in row] for row in rows]
    if bpp == 32:
        palette = []
        xor = [padded(b"".join(bytes((b, g, r, a)) for r, g, b, a in row)) for row in rows]
    else:
        palette = PALETTE_4 if bpp == 4 else PALETTE_8
        xor = []
        for row, solid in zip(rows, opaque):
            indices = [nearest(p[:3], palette) if s else 0 for p, s in zip(row, solid)]
            xor.append(padded(pack_bits(indices, bpp)))
    mask = [padded(pack_bits([0 if s else 1 for s in row], 1)) for row in opaque]
    colours = 1 << bpp if bpp < 32 else 0
    palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    palette_bytes += b"\0" * (4 * colours - len(palette_bytes))
    image = b"".join(reversed(xor)) + b"".join(reversed(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, len(image), 0, 0, 0, 0)
    return header + palette_bytes + image


def png(rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))

    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)
    ihdr = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def ico(images):
    """images: (size, bpp, bytes) in directory order."""
    offset = 6 + 16 * len(images)
    directory, data = struct.pack("<HHH", 0, 1, len(images)), b""
    for size, bpp, image in images:
        colours = 16 if bpp == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp,
                                 len(image), offset + len(data))
        data += image
    return directory + data


def bmp24(rows):
    pixels = b"".join(padded(b"".join(bytes((b, g, r)) for r, g, b in row)) for row in reversed(rows))
    header = struct.pack("<IiiHHIIiiII", 40, len(rows[0]), len(rows), 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0,
                       14 + len(header)) + header + pixels


# The logo: the emblem over "HALVO" and a wave, on paper.

# Strokes of each letter in a 1 x 1 cell (x right, y down); O is drawn as a ring.
LETTERS = {
    "H": [(0, 0, 0, 1), (1, 0, 1, 1), (0, 0.5, 1, 0.5)],
    "A": [(0, 1, 0.5, 0), (0.5, 0, 1, 1), (0.2, 0.64, 0.8, 0.64)],
    "L": [(0, 0, 0, 1), (0, 1, 1, 1)],
    "V": [(0, 0, 0.5, 1), (0.5, 1, 1, 0)],
}


def lettering(x, y, left, top, height, gap, stroke):
    """Distance in pixels to the word HALVO."""
    d = math.inf
    for letter in "HALVO":
        # L is narrow, or the word falls apart after it.
        width = 8 if letter == "L" else 11
        if letter == "O":
            rx, ry = width / 2, height / 2
            ring = math.hypot((x - left - rx) / rx, (y - top - ry) / ry) - 1
            d = min(d, abs(ring) * min(rx, ry) - stroke / 2)
        else:
            for ax, ay, bx, by in LETTERS[letter]:
                d = min(d, segment(x, y, left + ax * width, top + ay * height,
                                   left + bx * width, top + by * height) - stroke / 2)
        left += width + gap
    return d


def wave(x, y, middle, amplitude, period, stroke):
    phase = 2 * math.pi * x / period
    slope = amplitude * 2 * math.pi / period * math.cos(phase)
    return abs(y - middle - amplitude * math.sin(phase)) / math.hypot(1, slope) - stroke / 2


def render_logo():
    emblem_size, emblem_left, emblem_top = 64, 10.5, 8
    rows = []
    for j in range(LOGO_HEIGHT):
        row = []
        for i in range(LOGO_WIDTH):
            x, y = i + 0.5, j + 0.5
            colour = PAPER
            u, v = (x - emblem_left) / emblem_size, (y - emblem_top) / emblem_size
            if 0 <= u <= 1 and 0 <= v <= 1:
                drawn, alpha = emblem(u, v, emblem_size)
                colour = mix(colour, drawn, alpha)
            colour = mix(colour, NAVY, coverage(lettering(x, y, 9.5, 80, 14, 3.5, 2.4), 1))
            colour = mix(colour, AMBER, coverage(wave(x, y, 105, 3.5, 21, 2.2), 1))
            colour = mix(colour, NAVY, coverage(wave(x + 10.5, y, 111, 3.5, 21, 1.4), 1))
            row.append(tuple(round(c) for c in colour))
        rows.append(row)
    return rows


def write(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: draw_art.py OUTDIR")
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    rendered = {}
    images = []
    for size, bpp in ICON_IMAGES:
        if size not in rendered:
            rendered[size] = render_emblem(size)
        rows = rendered[size]
        images.append((size, bpp, png(rows) if size == 256 else icon_bmp(rows, bpp)))
    write(os.path.join(outdir, "HalvoSetting.ico"), ico(images))
    write(os.path.join(outdir, "Logo.bmp"), bmp24(render_logo()))


if __name__ == "__main__":
    main(sys.argv)
