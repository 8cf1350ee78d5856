#!/usr/bin/env python3
"""Generates the four skin swatches (24-bit BMP), the 32x32 window icon and the desktop's
icons, 16 to 256 pixels (PNG).

The swatches are textured rather than flat: soft blotches, a gentle light falloff and
fine grain, shifted so that each averages to its listed colour. Deterministic.
"""
import math
import random
import struct
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent / "resources"
APP_ID = "io.github.orvane.Orvane"
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]  # the hicolor theme's usual sizes
RIM, CAST, CORRECTED = (120, 72, 48), (170, 150, 190), (226, 190, 168)  # also in the SVG

SWATCHES = [  # height, average colour
    (86, (215, 192, 181)),
    (80, (204, 181, 172)),
    (83, (210, 179, 170)),
    (75, (214, 192, 194)),
]
WIDTH = 62


def smooth_noise(w, h, rng, cell):
    gw, gh = w // cell + 2, h // cell + 2
    grid = [[rng.uniform(-1, 1) for _ in range(gw)] for _ in range(gh)]
    out = []
    for y in range(h):
        row = []
        for x in range(w):
            gx, gy = x / cell, y / cell
            x0, y0 = int(gx), int(gy)
            fx, fy = gx - x0, gy - y0
            fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
            top = grid[y0][x0] * (1 - fx) + grid[y0][x0 + 1] * fx
            bottom = grid[y0 + 1][x0] * (1 - fx) + grid[y0 + 1][x0 + 1] * fx
            row.append(top * (1 - fy) + bottom * fy)
        out.append(row)
    return out


def swatch(h, mean, seed):
    rng = random.Random(seed)
    coarse = smooth_noise(WIDTH, h, rng, 16)
    fine = smooth_noise(WIDTH, h, rng, 4)
    pixels = []
    for y in range(h):
        for x in range(WIDTH):
            light = 6 * math.cos((x - WIDTH * 0.4) / WIDTH * 2.2) + 4 * math.cos(y / h * 2.5)
            tone = 7 * coarse[y][x] + 2.5 * fine[y][x] + light
            grain = rng.gauss(0, 1.8)
            # Shadows in skin lose more blue and green than red.
            pixels.append([tone + grain, 1.1 * tone + grain, 1.2 * tone + grain])
    result = []
    for c in range(3):
        avg = sum(p[c] for p in pixels) / len(pixels)
        result.append([min(255, max(0, round(mean[c] + p[c] - avg))) for p in pixels])
    return [(result[0][i], result[1][i], result[2][i]) for i in range(len(pixels))]


def write_bmp(path, w, h, pixels):
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixels[y * w + x]
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    path.write_bytes(header + info + data)


def write_png(path, w, h, rgba):
    raw = b"".join(b"\0" + bytes(v for p in rgba[y * w:(y + 1) * w] for v in p) for y in range(h))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    path.write_bytes(png)


def icon(size, samples=4):
    # A face-like disc, half in a cast tone and half corrected, on a transparent ground. Drawn
    # on a 32-unit grid and sampled samples x samples times per pixel, so every size is smooth.
    scale = 32 / size
    out = []
    for y in range(size):
        for x in range(size):
            total, covered = [0.0, 0.0, 0.0], 0
            for sy in range(samples):
                for sx in range(samples):
                    dx = (x + (sx + 0.5) / samples) * scale - 16
                    dy = (y + (sy + 0.5) / samples) * scale - 16
                    d = math.hypot(dx, dy)
                    if d >= 14.0:
                        continue
                    if d > 13.0:
                        colour = RIM
                    elif dx < 0:
                        colour = CAST
                    else:
                        colour = CORRECTED
                    shade = 1 - 0.25 * max(0.0, (dy + dx * 0.3) / 16)
                    covered += 1
                    for c in range(3):
                        total[c] += colour[c] * shade
            alpha = covered / samples**2
            rgb = tuple(min(255, round(t / covered)) if covered else 0 for t in total)
            out.append(rgb + (round(255 * alpha),))
    return out


def main():
    (ROOT / "swatches").mkdir(parents=True, exist_ok=True)
    (ROOT / "icons").mkdir(parents=True, exist_ok=True)
    for i, (h, mean) in enumerate(SWATCHES):
        write_bmp(ROOT / "swatches" / f"swatch{i}.bmp", WIDTH, h, swatch(h, mean, 2012 + i))
    write_png(ROOT / "icons" / "orvane.png", 32, 32, icon(32))
    for size in ICON_SIZES:
        folder = ROOT / "icons" / "hicolor" / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        write_png(folder / f"{APP_ID}.png", size, size, icon(size))


if __name__ == "__main__":
    main()
