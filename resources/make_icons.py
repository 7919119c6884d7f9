#!/usr/bin/env python3
"""Draws the two tray icons and writes them as .ico files (16, 32, 48 px),
or the program's icon as PNG files for the hicolor icon theme.

running.ico: a framed landscape (sky, sun, hills), the picture on the desktop.
suspended.ico: the same landscape in grey behind two bold pause bars, so the
two tell apart at a glance even at 16 px.

Usage: make_icons.py [OUTPUT_DIR]   (default: the folder of this script)
       make_icons.py --hicolor OUTPUT_DIR
         writes OUTPUT_DIR/NxN/apps/pelmora.png (running) and
         pelmora-suspended.png for every size of HICOLOR_SIZES.
Only the Python standard library is needed; the output is deterministic.
"""
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4


def landscape(x, y):
    """RGBA of the picture at (x, y) in [0, 1)^2, y downwards."""
    frame = 0.08
    if not (frame <= x < 1 - frame and frame + 0.08 <= y < 1 - frame - 0.08):
        outer = 0.02
        if outer <= x < 1 - outer and outer + 0.08 <= y < 1 - outer - 0.08:
            return (70, 52, 40, 255)  # the frame
        return (0, 0, 0, 0)
    # sun
    if (x - 0.68) ** 2 + (y - 0.36) ** 2 < 0.11 ** 2:
        return (255, 210, 60, 255)
    # two hills
    far = 0.62 + 0.10 * ((x - 0.30) / 0.5) ** 2
    near = 0.70 + 0.14 * ((x - 0.80) / 0.6) ** 2
    if y > near:
        return (46, 140, 60, 255)
    if y > far:
        return (96, 180, 80, 255)
    # sky, lighter towards the horizon
    t = (y - 0.16) / 0.5
    return (int(70 + 90 * t), int(140 + 70 * t), 235, 255)


def suspended(x, y):
    r, g, b, a = landscape(x, y)
    grey = (77 * r + 151 * g + 28 * b) >> 8
    grey = 150 + (grey - 150) // 3  # faded
    colour = (grey, grey, grey, a)
    # pause bars
    for left in (0.26, 0.58):
        if left <= x < left + 0.17 and 0.22 <= y < 0.80:
            return (200, 60, 30, 255)
        if left - 0.05 <= x < left + 0.22 and 0.17 <= y < 0.85:
            return (255, 255, 255, 255)  # outline against the grey
    return colour


def render(draw, size):
    pixels = []
    n = SUPERSAMPLE
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = draw((col + (sx + 0.5) / n) / size, (row + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] // (n * n)
            if acc[3]:
                line.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], alpha))
            else:
                line.append((0, 0, 0, 0))
        pixels.append(line)
    return pixels


def bitmap(pixels):
    """A 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA, AND mask."""
    size = len(pixels)
    xor = bytearray()
    for line in reversed(pixels):
        for r, g, b, a in line:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for line in reversed(pixels):
        row = bytearray(mask_stride)
        for col, (_, _, _, a) in enumerate(line):
            if a < 128:
                row[col // 8] |= 0x80 >> (col % 8)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def icon(draw):
    images = [bitmap(render(draw, size)) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def png(pixels):
    """An 8-bit RGBA PNG; fixed compression settings keep it deterministic."""
    size = len(pixels)
    raw = bytearray()
    for line in pixels:
        raw.append(0)  # no filter
        for r, g, b, a in line:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def write_hicolor(folder):
    for size in HICOLOR_SIZES:
        apps = os.path.join(folder, '%dx%d' % (size, size), 'apps')
        os.makedirs(apps, exist_ok=True)
        for name, draw in (('pelmora.png', landscape), ('pelmora-suspended.png', suspended)):
            with open(os.path.join(apps, name), 'wb') as f:
                f.write(png(render(draw, size)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == '--hicolor':
        write_hicolor(sys.argv[2])
        return
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, draw in (('running.ico', landscape), ('suspended.ico', suspended)):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(icon(draw))


if __name__ == '__main__':
    main()
