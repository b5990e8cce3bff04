#!/usr/bin/env python3
"""Draw the Tolvane application icon and write it as a Windows .ico file.

The picture is a triangular finite element, subdivided into a small mesh
and shaded like an element-wise stress plot, on a rounded blue square.

Usage: python3 make_icon.py OUT.ico

Only the standard library is used, and the drawing uses only exactly
rounded float operations (+ - * / sqrt), so the output does not depend on
the machine or the Python version.
"""

import math
import struct
import sys
import zlib

# (pixels, bits per pixel), in the order of the directory entries. The PNG
# image comes last: icoutils cannot read the entries after a PNG one.
IMAGES = [
    (64, 32), (48, 32), (40, 32), (32, 32), (24, 32), (20, 32), (16, 32),
    (48, 8), (32, 8), (16, 8),
    (32, 4), (16, 4),
    (256, 32),
]


def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


BACKGROUND_TOP = hex_rgb("#3277C2")
BACKGROUND_BOTTOM = hex_rgb("#173C70")
BACKGROUND_FLAT = hex_rgb("#245A9A")
RIM = hex_rgb("#0E2547")
MESH_LINE = hex_rgb("#16202E")
NODE = hex_rgb("#FFFFFF")
# Legend of the stress plot, from the loaded apex outwards.
BANDS = [hex_rgb(c) for c in ("#E0362C", "#F3862B", "#F7D44A", "#A6D65A", "#45BE86")]

# Corners of the element (apex, left, right); small icons get a larger
# element so that the sub-elements stay more than a line wide.
CORNERS = ((0.5, 0.175), (0.145, 0.805), (0.855, 0.805))
CORNERS_SMALL = ((0.5, 0.12), (0.09, 0.85), (0.91, 0.85))


def sq(v):
    return v * v


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def rounded_square_distance(x, y, half, radius):
    qx = abs(x - 0.5) - (half - radius)
    qy = abs(y - 0.5) - (half - radius)
    ox = qx if qx > 0.0 else 0.0
    oy = qy if qy > 0.0 else 0.0
    inside = qx if qx > qy else qy
    return math.sqrt(ox * ox + oy * oy) + (inside if inside < 0.0 else 0.0) - radius


class Element:
    """The subdivided triangle: barycentric coordinates, altitudes, nodes."""

    def __init__(self, divisions, corners):
        self.n = divisions
        self.corners = corners
        (ax, ay), (bx, by), (cx, cy) = corners
        self.det = (by - cy) * (ax - cx) + (cx - bx) * (ay - cy)
        # Distance from each vertex to the opposite edge.
        twice_area = abs(self.det)
        self.alt = (
            twice_area / math.sqrt(sq(bx - cx) + sq(by - cy)),
            twice_area / math.sqrt(sq(ax - cx) + sq(ay - cy)),
            twice_area / math.sqrt(sq(ax - bx) + sq(ay - by)),
        )
        self.nodes = []
        for i in range(divisions + 1):
            for j in range(divisions + 1 - i):
                self.nodes.append(self.point(i / divisions, j / divisions))

    def point(self, lb, lc):
        la = 1.0 - lb - lc
        a, b, c = self.corners
        return (la * a[0] + lb * b[0] + lc * c[0], la * a[1] + lb * b[1] + lc * c[1])

    def barycentric(self, x, y):
        (ax, ay), (bx, by), (cx, cy) = self.corners
        la = ((by - cy) * (x - cx) + (cx - bx) * (y - cy)) / self.det
        lb = ((cy - ay) * (x - cx) + (ax - cx) * (y - cy)) / self.det
        return la, lb, 1.0 - la - lb

    def outside_distance(self, bary):
        """Signed distance to the outline (negative inside, exact near edges)."""
        return max(-bary[k] * self.alt[k] for k in range(3))

    def line_distance(self, bary):
        """Distance to the nearest mesh line (edges parallel to the outline)."""
        best = None
        for k in range(3):
            u = bary[k] * self.n
            d = abs(u - math.floor(u + 0.5)) / self.n * self.alt[k]
            if best is None or d < best:
                best = d
        return best

    def band(self, bary):
        """Colour band of the sub-element that contains the point."""
        u = clamp01(bary[1]) * self.n
        v = clamp01(bary[2]) * self.n
        i = min(math.floor(u), self.n - 1)
        j = min(math.floor(v), self.n - 1)
        if (u - i) + (v - j) < 1.0 or i + j + 1 >= self.n:
            cu, cv = i + 1.0 / 3.0, j + 1.0 / 3.0
        else:
            cu, cv = i + 2.0 / 3.0, j + 2.0 / 3.0
        s = self.apex_distance(cu, cv)
        # apex element in the first band, corner elements in the last
        first = self.apex_distance(1.0 / 3.0, 1.0 / 3.0)
        last = self.apex_distance(self.n - 2.0 / 3.0, 1.0 / 3.0)
        step = (s - first) / (last - first) * (len(BANDS) - 1)
        return BANDS[max(0, min(len(BANDS) - 1, math.floor(step + 0.5)))]

    def apex_distance(self, u, v):
        x, y = self.point(u / self.n, v / self.n)
        return math.sqrt(sq(x - self.corners[0][0]) + sq(y - self.corners[0][1]))

    def node_distance(self, x, y):
        best = None
        for nx, ny in self.nodes:
            d = sq(x - nx) + sq(y - ny)
            if best is None or d < best:
                best = d
        return math.sqrt(best)


def render(size, smooth):
    """RGBA rows (floats, straight alpha), top row first.

    smooth=False gives the flat, aliased variant meant for 16 colours.
    """
    px = 1.0 / size
    divisions = 2 if size < 32 else 3 if size < 48 else 4
    element = Element(divisions, CORNERS_SMALL if size < 32 else CORNERS)
    # whole-pixel margin keeps the outline crisp at the small sizes
    half = 0.5 - math.floor(0.03 * size + 0.5) * px
    radius = 0.2
    rim = max(1.0 * px, 0.028)
    line_half = max(0.5 * px, 0.016)
    node_radius = 0.042 if size >= 48 else 0.0

    def cover(distance):
        # distance in image units; pixel-wide linear ramp across the edge
        if smooth:
            return clamp01(0.5 - distance * size)
        return 1.0 if distance < 0.0 else 0.0

    rows = []
    for py in range(size):
        y = (py + 0.5) * px
        t = clamp01((y - 0.5 + half) / (2.0 * half))
        if smooth:
            bg = tuple(BACKGROUND_TOP[k] + (BACKGROUND_BOTTOM[k] - BACKGROUND_TOP[k]) * t
                       for k in range(3))
        else:
            bg = BACKGROUND_FLAT
        row = []
        for qx in range(size):
            x = (qx + 0.5) * px
            # premultiplied accumulation
            r = g = b = a = 0.0

            def over(colour, alpha):
                nonlocal r, g, b, a
                if alpha <= 0.0:
                    return
                r = colour[0] * alpha + r * (1.0 - alpha)
                g = colour[1] * alpha + g * (1.0 - alpha)
                b = colour[2] * alpha + b * (1.0 - alpha)
                a = alpha + a * (1.0 - alpha)

            d_square = rounded_square_distance(x, y, half, radius)
            over(RIM, cover(d_square))
            over(bg, cover(d_square + rim))

            bary = element.barycentric(x, y)
            d_outline = element.outside_distance(bary)
            if d_outline < line_half + 2.0 * px:
                over(element.band(bary), cover(d_outline))
                d_line = max(element.line_distance(bary) - line_half, d_outline - line_half)
                over(MESH_LINE, cover(d_line))
                if node_radius > 0.0:
                    d_node = element.node_distance(x, y)
                    over(MESH_LINE, cover(d_node - node_radius))
                    over(NODE, cover(d_node - node_radius + max(1.0 * px, 0.014)))

            if a > 0.0:
                row.append((r / a, g / a, b / a, a))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        rows.append(row)
    return rows


def to_byte(v):
    return int(clamp01(v) * 255.0 + 0.5)


def to_rgba8(rows):
    return [[(to_byte(p[0]), to_byte(p[1]), to_byte(p[2]), to_byte(p[3])) for p in row]
            for row in rows]


def median_cut(histogram, count):
    """Deterministic median-cut palette of at most `count` colours."""
    colours = sorted(histogram)
    if len(colours) <= count:
        return colours
    boxes = [colours]
    while len(boxes) < count:
        best_index, best_score, best_channel = None, 0, 0
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            weight = sum(histogram[c] for c in box)
            for channel in range(3):
                spread = max(c[channel] for c in box) - min(c[channel] for c in box)
                score = spread * spread * weight
                if score > best_score:
                    best_index, best_score, best_channel = index, score, channel
        if best_index is None:
            break
        box = sorted(boxes[best_index], key=lambda c: (c[best_channel], c))
        total = sum(histogram[c] for c in box)
        running, cut = 0, 1
        for k, c in enumerate(box[:-1]):
            running += histogram[c]
            cut = k + 1
            if 2 * running >= total:
                break
        boxes[best_index:best_index + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        weight = sum(histogram[c] for c in box)
        palette.append(tuple((sum(c[ch] * histogram[c] for c in box) + weight // 2) // weight
                             for ch in range(3)))
    return sorted(set(palette))


def nearest(palette, colour):
    best, best_d = 0, None
    for index, p in enumerate(palette):
        d = sq(p[0] - colour[0]) + sq(p[1] - colour[1]) + sq(p[2] - colour[2])
        if best_d is None or d < best_d:
            best, best_d = index, d
    return best


def and_mask(pixels):
    """1-bit transparency mask, bottom-up, rows padded to 32 bits."""
    size = len(pixels)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def dib_header(size, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def bmp_32(pixels):
    size = len(pixels)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask = and_mask(pixels)
    return dib_header(size, 32, len(xor) + len(mask)) + bytes(xor) + mask


def bmp_indexed(pixels, bits, palette):
    """Paletted DIB; index 0 is black, used under the transparent pixels."""
    size = len(pixels)
    entries = 1 << bits
    table = [(0, 0, 0)] + list(palette)
    assert len(table) <= entries
    table += [(0, 0, 0)] * (entries - len(table))
    colour_table = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    stride = ((size * bits + 31) // 32) * 4
    per_byte = 8 // bits
    xor = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            index = 0 if p[3] < 128 else 1 + nearest(palette, p[:3])
            shift = (per_byte - 1 - x % per_byte) * bits
            line[x // per_byte] |= index << shift
        xor += line
    mask = and_mask(pixels)
    return dib_header(size, bits, len(xor) + len(mask)) + colour_table + bytes(xor) + mask


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def png_rgba(pixels):
    size = len(pixels)
    raw = bytearray()
    previous = bytes(size * 4)
    for row in pixels:
        line = bytes(v for p in row for v in p)
        candidates = []
        for kind in range(5):
            out = bytearray((kind,))
            for i, v in enumerate(line):
                left = line[i - 4] if i >= 4 else 0
                up = previous[i]
                up_left = previous[i - 4] if i >= 4 else 0
                predictor = (0, left, up, (left + up) // 2, paeth(left, up, up_left))[kind]
                out.append((v - predictor) & 0xFF)
            cost = sum(x if x < 128 else 256 - x for x in out[1:])
            candidates.append((cost, kind, out))
        raw += min(candidates)[2]
        previous = line
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def encode(size, bits):
    if bits == 32:
        pixels = to_rgba8(render(size, smooth=True))
        return png_rgba(pixels) if size >= 256 else bmp_32(pixels)
    pixels = to_rgba8(render(size, smooth=bits > 4))
    histogram = {}
    for row in pixels:
        for p in row:
            if p[3] >= 128:
                histogram[p[:3]] = histogram.get(p[:3], 0) + 1
    palette = median_cut(histogram, (1 << bits) - 1)
    return bmp_indexed(pixels, bits, palette)


def build_ico():
    images = [encode(size, bits) for size, bits in IMAGES]
    directory = struct.pack("<HHH", 0, 1, len(IMAGES))
    offset = 6 + 16 * len(IMAGES)
    for (size, bits), data in zip(IMAGES, images):
        dim = 0 if size >= 256 else size
        colours = 1 << bits if bits < 8 else 0
        directory += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return directory + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUT.ico\n")
        return 2
    data = build_ico()
    with open(argv[1], "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
