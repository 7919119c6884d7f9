#!/usr/bin/python3
"""The real program on a real GNOME Shell or Plasma desktop, headless and
without an X server: "pelmora /once" finds the monitors through the
desktop's own interface and the picture shows on screen.

    desktop_once_test.py gnome|plasma --program PELMORA --out FOLDER

One monitor (640x480), one picture: the bitmap is the picture and the
monitor shows it. Two monitors (640x480 and 480x640 beside it): a picture
per monitor, each taking the one of its own orientation, and then one
picture spanned over both; each time every monitor shows its part of the
saved bitmap, pixel for pixel (GNOME spans the bitmap itself; Plasma shows
each monitor's own file).

The screenshots stay in FOLDER as <desktop>_once_<run>.png. Exits 0 when
every check passed, 1 when one failed, 77 when the desktop is not
installed.
"""

import argparse
import os
import subprocess
import sys
import tempfile

from e2e_support import (CENTRED_FIT, Bitmap, Checks, copy_program, rgb_bytes, wait_for,
                         write_settings)

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = 77
LANDSCAPE = (0, 0, 640, 480)
PORTRAIT = (640, 0, 480, 640)


def write_pattern(path, width, height, seed):
    """A picture no two places of which look alike, so that a shift by one
    pixel shows: a PNG through a binary PPM."""
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows += bytes(((x * 3 + seed) & 255, (y * 5 + seed * 7) & 255, (x ^ y ^ seed) & 255))
    ppm = path + ".ppm"
    with open(ppm, "wb") as out:
        out.write(b"P6 %d %d 255\n" % (width, height) + bytes(rows))
    subprocess.run(["convert", ppm, "PNG24:" + path], check=True)
    os.unlink(ppm)
    os.chmod(path, 0o644)


def bitmap_part(bitmap, rect):
    """R, G, B bytes of a rectangle (x, y, w, h) of the bitmap."""
    x, y, w, h = rect
    out = bytearray()
    for row in range(y, y + h):
        bgr = bitmap.row(row)[3 * x:3 * (x + w)]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        out += rgb
    return bytes(out)


def inner(rect):
    """The middle of a monitor, clear of panels, the top bar and toolboxes."""
    x, y, w, h = rect
    return (x + w // 8, y + h // 8, w * 6 // 8, h * 6 // 8)


def differs(a, b):
    """How many bytes of a and b differ."""
    if len(a) != len(b):
        return max(len(a), len(b))
    return sum(1 for p, q in zip(a, b) if p != q)


class Run:
    """One session: the program's folder, settings and checks inside it."""

    def __init__(self, desktop, program, folder, checks, out):
        self.desktop, self.folder, self.checks, self.out = desktop, folder, checks, out
        self.program = copy_program(program, folder, "pelmora")
        self.home = os.path.join(folder, "home")
        os.makedirs(self.home, exist_ok=True)

    def change(self, name, images, mode):
        settings = dict(CENTRED_FIT, ImageDir=images + "/",
                        SaveFile=os.path.join(self.folder, "out", "Pelmora.bmp"))
        if mode is not None:
            settings["MultiMonitor"] = str(mode)
        write_settings(os.path.join(self.folder, "pelmora.cfg"), settings)
        env = dict(os.environ, HOME=self.home)
        result = subprocess.run([self.program, "/once"], cwd=self.folder, env=env,
                                capture_output=True, text=True, timeout=60)
        self.checks.expect(result.returncode == 0 and not result.stderr,
                           f"{name}: /once exits 0 and says nothing "
                           f"(status {result.returncode}, {result.stderr.strip()!r})")
        path = os.path.join(self.folder, "out", "Pelmora.bmp")
        if not self.checks.expect(os.path.exists(path), f"{name}: the bitmap is written"):
            return None
        return Bitmap.read(path)

    def expect_bitmap(self, name, bitmap, size, parts):
        """The bitmap's size and, for each (rect, picture file), the
        picture at the rect."""
        self.checks.expect((bitmap.width, bitmap.height) == size,
                           f"{name}: the bitmap is {bitmap.width}x{bitmap.height}, "
                           f"expected {size[0]}x{size[1]}")
        for rect, picture in parts:
            wrong = differs(bitmap_part(bitmap, rect), rgb_bytes(picture))
            self.checks.expect(wrong == 0, f"{name}: {os.path.basename(picture)} at {rect} "
                               f"({wrong} bytes differ)")

    def expect_screen(self, name, bitmap, monitors):
        """Polls the desktop until each monitor shows its part of the
        bitmap (the wallpaper may still be on its way)."""
        shot = os.path.join(self.out, f"{self.desktop}_once_{name}.png")

        def wrong_bytes():
            if subprocess.run([os.path.join(HERE, "desktop-screenshot"), shot]).returncode:
                return [-1]
            return [differs(rgb_bytes(shot, inner(rect)), bitmap_part(bitmap, inner(rect)))
                    for rect in monitors]

        wrong = wait_for(wrong_bytes, 20, interval=0.3, until=lambda w: not any(w))
        self.checks.expect(not any(wrong), f"{name}: every monitor shows its part of the "
                           f"bitmap (bytes off per monitor: {wrong}; see {shot})")


def inside(args):
    checks = Checks()
    folder = args.folder
    pictures = os.path.join(folder, "pictures")
    run = Run(args.desktop, args.program, folder, checks, args.out)
    if args.layout == "one":
        # Without an X server the size comes from the desktop alone.
        bitmap = run.change("one", os.path.join(pictures, "landscape"), None)
        if bitmap:
            run.expect_bitmap("one", bitmap, (640, 480),
                              [(LANDSCAPE, os.path.join(pictures, "landscape", "a.png"))])
            run.expect_screen("one", bitmap, [LANDSCAPE])
        return checks.verdict()

    # Each monitor its own picture: the portrait one goes to the portrait
    # monitor wherever the list has it.
    bitmap = run.change("each", os.path.join(pictures, "both"), 1)
    if bitmap:
        run.expect_bitmap("each", bitmap, (1120, 640),
                          [(LANDSCAPE, os.path.join(pictures, "both", "a.png")),
                           (PORTRAIT, os.path.join(pictures, "both", "b.png"))])
        run.expect_screen("each", bitmap, [LANDSCAPE, PORTRAIT])
    # One picture over the box around both.
    bitmap = run.change("spanned", os.path.join(pictures, "wide"), 2)
    if bitmap:
        run.expect_bitmap("spanned", bitmap, (1120, 640),
                          [((0, 0, 1120, 640), os.path.join(pictures, "wide", "c.png"))])
        run.expect_screen("spanned", bitmap, [LANDSCAPE, PORTRAIT])
    return checks.verdict()


def outside(args):
    checks = Checks()
    if not os.access(args.program, os.X_OK):
        print(f"no program at {args.program}", file=sys.stderr)
        return 2
    os.makedirs(args.out, exist_ok=True)
    for layout, sizes in (("one", "640x480"), ("two", "640x480,480x640")):
        with tempfile.TemporaryDirectory() as folder:
            # The desktop runs as another user and reads the pictures here.
            os.chmod(folder, 0o755)
            for sub, name, size, seed in (("landscape", "a", (640, 480), 1),
                                          ("both", "a", (640, 480), 2),
                                          ("both", "b", (480, 640), 3),
                                          ("wide", "c", (1120, 640), 4)):
                os.makedirs(os.path.join(folder, "pictures", sub), mode=0o755, exist_ok=True)
                write_pattern(os.path.join(folder, "pictures", sub, name + ".png"), *size, seed)
            status = subprocess.run(
                [os.path.join(HERE, args.desktop + "-desktop"), "-s", sizes, "--",
                 sys.executable, os.path.abspath(__file__), args.desktop, "--inside",
                 "--program", args.program, "--out", args.out, "--folder", folder,
                 "--layout", layout]).returncode
            if status == SKIPPED:
                print(f"{args.desktop}: skipped, not installed")
                return SKIPPED
            checks.expect(status == 0, f"{layout} monitor(s): passed (status {status})")
    return checks.verdict(args.out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("desktop", choices=("gnome", "plasma"))
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--inside", action="store_true")
    parser.add_argument("--folder")
    parser.add_argument("--layout")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    args.out = os.path.abspath(args.out)
    return inside(args) if args.inside else outside(args)


if __name__ == "__main__":
    sys.exit(main())
