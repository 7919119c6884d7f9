#!/usr/bin/env python3
"""A panorama of 223 megapixels fitted to a 1920x1080 screen by the real
program's "/once": Pelmora.exe on a Wine virtual desktop (the 32-bit product
needs the room for it in its address space) or pelmora on its own Xvfb.

    large_picture_test.py --program PROGRAM --desktop wine-desktop|x11-desktop --out DIR
                          [--two-gigabytes]

--two-gigabytes runs a copy of the 32-bit program without its
large-address-aware mark, which leaves it the 2 GB it has on 32-bit
Windows: the picture's 890 MB plane alone hardly finds room there, so only
a change that never holds the whole picture passes.
The picture is a JPEG of 19900x11200 pixels in 8x4 flat tiles, made by
tiled_jpeg.py and kept in DIR for later runs. The wallpaper file must be a
1920x1080 bitmap in which every tile, away from its edges, has the tile's
colour; the screen must show those colours too.
"""
import argparse
import glob
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import time

import tiled_jpeg
from tiled_jpeg import TileLayout, write as write_jpeg
from e2e_support import (CENTRED_FIT, Bitmap, Checks, close, read_png, windows_path,
                         write_settings)

SOURCE_W, SOURCE_H = 19900, 11200
SCREEN_W, SCREEN_H = 1920, 1080
# Lanczos3 reaches three screen pixels across a tile edge; the rest covers
# a rounding of the fitted size or position.
EDGE_MARGIN = 6
TOLERANCE = 3


def picture(out, layout):
    """The panorama, made once per build folder and again when the
    generator changes."""
    with open(tiled_jpeg.__file__, "rb") as f:
        version = hashlib.sha1(f.read()).hexdigest()[:10]
    path = os.path.join(out, f"panorama-{SOURCE_W}x{SOURCE_H}-{version}.jpg")
    if not os.path.exists(path):
        for old in glob.glob(os.path.join(out, "panorama-*.jpg")):
            if old != path:
                try:
                    os.remove(old)
                except FileNotFoundError:
                    pass
        # Two tests may make it at once: each writes its own file.
        partial = f"{path}.{os.getpid()}.partial"
        write_jpeg(partial, layout)
        os.replace(partial, path)
    return path


def clear_large_address_aware(program):
    """Takes the mark off a copy of the program: a 32-bit process then has
    2 GB, as on 32-bit Windows."""
    with open(program, "r+b") as f:
        head = f.read(4096)
        field = struct.unpack_from("<I", head, 0x3C)[0] + 4 + 18
        characteristics = struct.unpack_from("<H", head, field)[0]
        f.seek(field)
        f.write(struct.pack("<H", characteristics & ~0x0020))


def tile_interiors(layout):
    """Per tile: its colour and the screen rectangle that must show only it."""
    scale = min(SCREEN_W / SOURCE_W, SCREEN_H / SOURCE_H)
    left = (SCREEN_W - SOURCE_W * scale) / 2
    top = (SCREEN_H - SOURCE_H * scale) / 2
    for row in range(layout.rows):
        y0 = int(top + layout.y_edges[row] * scale) + EDGE_MARGIN
        y1 = int(top + layout.y_edges[row + 1] * scale) - EDGE_MARGIN
        for column in range(layout.columns):
            x0 = int(left + layout.x_edges[column] * scale) + EDGE_MARGIN
            x1 = int(left + layout.x_edges[column + 1] * scale) - EDGE_MARGIN
            yield layout.colour(column, row), (x0, y0, x1, y1)


def check_file(checks, path, layout):
    try:
        bitmap = Bitmap.read(path)
    except (OSError, ValueError) as error:
        checks.fail(f"the wallpaper file is a 24-bit bitmap ({error})")
        return
    if not checks.expect((bitmap.width, bitmap.height) == (SCREEN_W, SCREEN_H),
                         f"the wallpaper file is {bitmap.width}x{bitmap.height}"):
        return
    for colour, (x0, y0, x1, y1) in tile_interiors(layout):
        wrong = None
        for y in range(y0, y1):
            pixels = bitmap.row(y)[3 * x0:3 * x1]
            # A flat tile usually comes out as one exact colour; compare
            # pixel by pixel only where it does not.
            if pixels == pixels[:3] * (x1 - x0) and close(pixels[2::-1], colour, TOLERANCE):
                continue
            for x in range(x1 - x0):
                b, g, r = pixels[3 * x:3 * x + 3]
                if not close((r, g, b), colour, TOLERANCE):
                    wrong = (x0 + x, y, (r, g, b))
                    break
            if wrong:
                break
        checks.expect(wrong is None,
                      f"file: the tile {colour} fills ({x0},{y0})-({x1},{y1})" +
                      (f"; ({wrong[0]},{wrong[1]}) is {wrong[2]}" if wrong else ""))


def check_screen(checks, path, layout):
    if not os.path.exists(path):
        checks.fail("a screenshot was taken")
        return
    width, height, pixel = read_png(path)
    checks.expect((width, height) == (SCREEN_W, SCREEN_H), f"the screenshot is {width}x{height}")
    wrong = []
    for colour, (x0, y0, x1, y1) in tile_interiors(layout):
        x, y = (x0 + x1) // 2, (y0 + y1) // 2
        if not close(pixel(x, y), colour, TOLERANCE + 2):
            wrong.append(f"({x},{y}) is {pixel(x, y)}, not {colour}")
    checks.expect(not wrong, "screen: every tile shows its colour" +
                  (": " + "; ".join(wrong[:4]) if wrong else ""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--desktop", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--two-gigabytes", action="store_true",
                        help="run a copy of a 32-bit program without its large-address-aware mark")
    args = parser.parse_args()
    args.desktop = os.path.abspath(args.desktop)

    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    layout = TileLayout(SOURCE_W, SOURCE_H)
    started = time.monotonic()
    source = picture(out, layout)
    made = time.monotonic() - started

    name = "large_picture_2gb" if args.two_gigabytes else "large_picture"
    work = os.path.join(out, name + ".work")
    shutil.rmtree(work, ignore_errors=True)
    images = os.path.join(work, "images")
    os.makedirs(images)
    os.makedirs(os.path.join(work, "home"))
    try:
        os.link(source, os.path.join(images, "panorama.jpg"))
    except OSError:
        shutil.copy(source, os.path.join(images, "panorama.jpg"))
    program = os.path.join(work, os.path.basename(args.program))
    shutil.copy(args.program, program)
    if args.two_gigabytes:
        clear_large_address_aware(program)
    save_file = os.path.join(work, "wallpaper.bmp")
    windows = program.lower().endswith(".exe")
    path = windows_path if windows else (lambda p: p)
    write_settings(os.path.join(work, "Pelmora.cfg" if windows else "pelmora.cfg"), {
        "ImageDir": path(images) + ("\\" if windows else "/"),
        "SaveFile": path(save_file),
        **CENTRED_FIT,
    })

    screenshot = os.path.join(out, name + ".png")
    if os.path.exists(screenshot):
        os.remove(screenshot)
    if windows:
        # An error box would keep the program open: the timeout ends it,
        # and the screenshot shows the box.
        # A prefix of its own: the 64-bit one of the other tests cannot
        # take a 32-bit program.
        session = [args.desktop, "--size", f"{SCREEN_W}x{SCREEN_H}", "--timeout", "300",
                   "--settle", "3", "--prefix", os.path.join(out, "wineprefix-large-picture"),
                   screenshot, "--", program, "/once"]
    else:
        session = [args.desktop, "-s", f"{SCREEN_W}x{SCREEN_H}x24", screenshot, "--",
                   program, "/once"]
    started = time.monotonic()
    status = subprocess.run(session, cwd=work, env={**os.environ, "HOME": os.path.join(work, "home")},
                            timeout=600).returncode
    print(f"picture made in {made:.1f} s; session with the change {time.monotonic() - started:.1f} s")

    checks = Checks()
    checks.expect(status == 0, f"/once ended with status {status}")
    check_file(checks, save_file, layout)
    check_screen(checks, screenshot, layout)
    return checks.verdict(f"{work} and {screenshot}")


if __name__ == "__main__":
    sys.exit(main())
