#!/usr/bin/env python3
"""Draws Quillrun's application icon, a key cap with a text cursor and typed dots, and writes it
as a Windows icon with the sizes the shell asks for. Run it to remake win32/quillrun.ico:

    scripts/make-icon.py win32/quillrun.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 4  # per axis, for smooth edges


def rounded_box(x, y, left, top, right, bottom, radius):
    """True if (x, y) lies in the rectangle with rounded corners."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    """The icon on a unit square: RGBA at (x, y), or None where it is transparent."""
    # Shadow under the key cap.
    if rounded_box(x, y, 0.06, 0.10, 0.96, 0.98, 0.16) and not rounded_box(
            x, y, 0.04, 0.04, 0.94, 0.92, 0.16):
        return (20, 30, 60, 110)
    # The key cap: a blue rim around a lighter top.
    if rounded_box(x, y, 0.04, 0.04, 0.94, 0.92, 0.16):
        if rounded_box(x, y, 0.12, 0.10, 0.86, 0.76, 0.10):
            shade = int(40 * y)
            # A text cursor (I-beam) on the left, three typed dots after it.
            if 0.27 <= x <= 0.33 and 0.22 <= y <= 0.64:
                return (255, 255, 255, 255)
            if (0.21 <= x <= 0.39) and (0.20 <= y <= 0.25 or 0.61 <= y <= 0.66):
                return (255, 255, 255, 255)
            for dot in (0.48, 0.61, 0.74):
                if (x - dot) ** 2 + (y - 0.55) ** 2 <= 0.045 ** 2:
                    return (255, 255, 255, 255)
            return (48 + shade, 110 + shade, 210, 255)
        return (22, 60, 140, 255)
    return None


def render(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        a = c[3]
                        total[0] += c[0] * a
                        total[1] += c[1] * a
                        total[2] += c[2] * a
                        total[3] += a
            n = SAMPLES * SAMPLES
            alpha = total[3] / n
            if total[3]:
                rgb = [round(total[i] / total[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(alpha)))
        rows.append(row)
    return rows


def png(size, rows):
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(size, rows):
    """A 32-bit icon bitmap: header, bottom-up BGRA pixels, then an all-clear AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + b"\0" * (mask_row * size)


def main(path):
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows) if size >= 256 else bmp(size, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "win32/quillrun.ico")
