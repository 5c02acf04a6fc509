#!/usr/bin/env python3
"""Draws Quillon's pictures: the About box's paper texture and the application icon, in
the sizes the desktop's icon theme asks for.

The output is deterministic (a fixed seed, no libraries beyond Python's own), so running
it again gives the same bytes:  python3 app/resources/make-art.py app/resources
"""
import math
import struct
import sys
import zlib


def png(path, width, height, color_type, rows, palette=None):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0))
    if palette:
        data += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(data)


ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


class Random:
    """A small linear congruential generator, the same on every machine."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        return (self.state >> 33) / float(1 << 31)


def paper(path):
    size = 193
    rnd = Random(1997)
    # Facets of crumpled paper: cells around random points on a torus (so the picture tiles),
    # each tilted its own way, lit from the top left.
    cells = []
    for _ in range(34):
        angle = rnd.next() * 2 * math.pi
        tilt = 0.25 + 0.75 * rnd.next()
        cells.append((rnd.next() * size, rnd.next() * size, math.cos(angle) * tilt, math.sin(angle) * tilt))
    light = (-0.7071, -0.7071)
    levels = [188 + 8 * i for i in range(9)]
    shade = [[0.0] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            best = second = None
            for cx, cy, nx, ny in cells:
                dx = min(abs(x - cx), size - abs(x - cx))
                dy = min(abs(y - cy), size - abs(y - cy))
                d = dx * dx + dy * dy
                if best is None or d < best[0]:
                    second = best
                    best = (d, nx, ny)
                elif second is None or d < second[0]:
                    second = (d, nx, ny)
            lit = best[1] * light[0] + best[2] * light[1]
            # Creases: a dark line where two facets meet.
            edge = math.sqrt(second[0]) - math.sqrt(best[0])
            crease = -0.5 if edge < 1.2 else 0.0
            grain = (rnd.next() - 0.5) * 0.5
            shade[y][x] = 220 + 30 * lit + 16 * crease + 10 * grain
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            value = min(max(shade[y][x], levels[0]), levels[-1])
            row.append(min(range(9), key=lambda i: abs(levels[i] - value)))
        rows.append(row)
    png(path, size, size, 3, rows, [(g, g, g) for g in levels])


def icon(path, size=32):
    samples = 4
    scale = size / 32  # the design is drawn on a 32-unit square

    def colour_at(x, y):
        # A navy disc with a white quill laid across it, its nib at the lower left.
        cx, cy, r = 15.5, 15.5, 15.0
        inside = (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        if not inside:
            return None
        # The quill: a slim leaf along the diagonal from (7, 26) to (27, 5).
        ax, ay, bx, by = 7.0, 26.0, 27.0, 5.0
        vx, vy = bx - ax, by - ay
        length = math.hypot(vx, vy)
        t = ((x - ax) * vx + (y - ay) * vy) / (length * length)
        across = ((x - ax) * vy - (y - ay) * vx) / length
        if 0.0 <= t <= 1.0:
            half = 4.2 * math.sin(math.pi * min(1.0, t * 1.15)) if t > 0.12 else 0.9
            if abs(across) <= half:
                if abs(across) < 0.6 and t > 0.12:
                    return (200, 170, 60)  # the shaft
                return (250, 250, 245)
        if (x - cx) ** 2 + (y - cy) ** 2 >= (r - 1.5) ** 2:
            return (90, 110, 190)  # rim
        return (20, 30, 110)

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((x + (sx + 0.5) / samples) / scale,
                                  (y + (sy + 0.5) / samples) / scale)
                    if c:
                        total[0] += c[0]
                        total[1] += c[1]
                        total[2] += c[2]
                        total[3] += 1
            n = total[3]
            if n:
                row += [total[0] // n, total[1] // n, total[2] // n, 255 * n // (samples * samples)]
            else:
                row += [0, 0, 0, 0]
        rows.append(row)
    png(path, size, size, 6, rows)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    paper(folder + "/about-paper.png")
    icon(folder + "/quillon.png")
    # The desktop's icon theme takes one picture per size.
    for size in ICON_SIZES:
        icon("%s/icons/quillon-%d.png" % (folder, size), size)
