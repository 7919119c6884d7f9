#!/usr/bin/env python3
"""Pelmora.exe /once on two monitors under Wine, checked from the outside.

An Xvfb screen of 520x320 holds two RandR monitors, a landscape 320x200 and
a portrait 200x320 beside it. Wine runs without its virtual desktop and
learns the monitors through Xinerama (its RandR path would report the one
screen), so the program sees what Windows shows on two real monitors. Two
layouts: the landscape monitor as the primary with the portrait one to its
right, and the portrait one as the primary with the landscape one to its
left, at negative x.

In each layout the program runs twice with its settings beside it:
  MultiMonitor = 1  a folder of one landscape and one portrait picture: the
                    saved bitmap is the box around both monitors, turned so
                    that the primary's corner is its first pixel, each
                    monitor with the picture of its orientation; the
                    registry's style is the tiled one, and the user's style
                    is kept in the settings file;
  MultiMonitor = 0  a folder of the primary's picture alone: one picture at
                    the primary's size, and the user's style back.
The second run is the reference: each monitor's part of the composed bitmap
must equal, pixel for pixel, the one picture fitted to a screen of that
monitor's size.

    wine_monitors_test.py --program Pelmora.exe --probe desktop_probe.exe --out DIR
"""

import argparse
import os
import shutil
import subprocess
import sys

from e2e_support import (CENTRED_FIT, Bitmap, Checks, Xvfb, read_settings, windows_path,
                         write_settings)

WINE_ENV = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake",
                        "wine-env")
SCREEN = (520, 320)
# The X monitors: name -> geometry on the X screen.
X_MONITORS = {"A": (320, 200, 0, 0), "B": (200, 320, 320, 0)}
# Each layout lists the X monitors in this order; Wine makes the first the
# primary and moves the virtual origin to its corner. The rectangles the
# system should report then: name -> (left, top, right, bottom).
LAYOUTS = {
    "primary-left": (["A", "B"], {"A": (0, 0, 320, 200), "B": (320, 0, 520, 320)}),
    "primary-right": (["B", "A"], {"B": (0, 0, 200, 320), "A": (-320, 0, 0, 200)}),
}
# The pictures, each with proportions of its own so that every monitor
# also shows bands in the desktop colour.
PICTURES = {"A": ("横長.png", "480x240", "radial-gradient:#c02020-#20a0e0"),
            "B": ("縦長.png", "150x300", "radial-gradient:#f0d020-#3020a0")}
USER_STYLE = {"primary-left": ["0", "2"], "primary-right": ["0", "6"]}
TILED_STYLE = ["1", "0"]
SAVED_KEYS = ("SavedTileWallpaper", "SavedWallpaperStyle")


def wine_environment(program, prefix):
    """The environment cmake/wine-env gives a program of this architecture,
    the prefix created on first use."""
    script = ('source "$1" && wine_use "$2" "$(wine_arch_of "$3")" && wine_prepare_prefix '
              '&& env -0')
    run = subprocess.run(["bash", "-c", script, "wine-env", WINE_ENV, prefix, program],
                         capture_output=True, check=True)
    return dict(entry.split("=", 1) for entry in run.stdout.decode().split("\0") if "=" in entry)


class Session:
    """Wine on the Xvfb screen, with the monitors of one layout."""

    def __init__(self, args, env):
        self.args, self.env = args, env

    def wine(self, *command, timeout=180):
        return subprocess.run([self.env["WINE"], *command], env=self.env, capture_output=True,
                              timeout=timeout)

    def probe(self, command):
        run = self.wine(self.args.probe, command, timeout=60)
        return run.stdout.decode("utf-8", "replace").split("\n")[:-1]

    def restart_wine(self):
        # The next program starts a server that reads the monitors afresh.
        for option in ("-k", "-w"):
            subprocess.run(["wineserver", option], env=self.env, capture_output=True,
                           check=False)

    def xrandr(self, *arguments):
        subprocess.run(["xrandr", *arguments], env=self.env, capture_output=True, check=False)

    def set_layout(self, order):
        for name in X_MONITORS:
            self.xrandr("--delmonitor", name)
        for i, name in enumerate(order):
            w, h, x, y = X_MONITORS[name]
            # Sizes in millimetres as well: the server wants them.
            self.xrandr("--setmonitor", name, f"{w}/{w // 4}x{h}/{h // 4}+{x}+{y}",
                        "screen" if i == 0 else "none")
        self.restart_wine()

    def set_style(self, values):
        for name, value in zip(("TileWallpaper", "WallpaperStyle"), values):
            self.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", name, "/d", value, "/f")


def make_pictures(folder):
    folders = {}
    for name, (file_name, size, fill) in PICTURES.items():
        own = os.path.join(folder, "single-" + name)
        os.makedirs(own)
        subprocess.run(["convert", "-size", size, fill, "PNG24:" + os.path.join(own, file_name)],
                       check=True)
        folders[name] = own
    both = os.path.join(folder, "both")
    os.makedirs(both)
    for name, own in folders.items():
        shutil.copy(os.path.join(own, PICTURES[name][0]), both)
    return both, folders


def run_once(checks, session, program, settings, entries, what):
    write_settings(settings, entries)
    run = session.wine(program, "/once")
    checks.expect(run.returncode == 0, f"{what}: /once exit code {run.returncode}")
    return read_settings(settings)


def rotated(x, y, box_size):
    """Where a virtual-desktop point lands in the bitmap tiled from the
    virtual origin."""
    return x % box_size[0], y % box_size[1]


def compare_region(checks, composed, reference, at, what):
    x, y = at
    if not checks.expect((x + reference.width <= composed.width
                          and y + reference.height <= composed.height),
                         f"{what}: the monitor lies inside the bitmap at ({x}, {y})"):
        return
    differing = [row for row in range(reference.height)
                 if composed.row(y + row)[3 * x:3 * (x + reference.width)] != reference.row(row)]
    checks.expect(not differing,
                  f"{what}: equal to the single-monitor fit"
                  + (f" (rows {differing[0]}..{differing[-1]} differ)" if differing else ""))


def check_layout(checks, layout, composed, references, colour):
    _, rects = LAYOUTS[layout]
    left = min(r[0] for r in rects.values())
    top = min(r[1] for r in rects.values())
    box = (max(r[2] for r in rects.values()) - left, max(r[3] for r in rects.values()) - top)
    checks.expect((composed.width, composed.height) == box,
                  f"{layout}: the saved bitmap is the box {box} "
                  f"({composed.width} x {composed.height})")
    for name, rect in rects.items():
        compare_region(checks, composed, references[name], rotated(rect[0], rect[1], box),
                       f"{layout}: monitor {name}")
    # The landscape monitor is lower than the portrait one: below it lies
    # desktop nobody sees, in the desktop's colour.
    a = rects["A"]
    gap_x, gap_y = rotated(a[0], a[3], box)
    gap = [composed.pixel(gap_x + dx, gap_y + dy) for dy in range(box[1] - a[3])
           for dx in range(a[2] - a[0])]
    checks.expect(set(gap) == {colour},
                  f"{layout}: the area outside the monitors is the desktop colour {colour}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--probe", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--desktop")  # the common option of the Wine tests; not used here
    args = parser.parse_args()
    args.probe = os.path.abspath(args.probe)

    scratch = os.path.join(os.path.abspath(args.out), "monitors")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    program = os.path.join(scratch, "Pelmora.exe")
    shutil.copy(args.program, program)
    settings = os.path.join(scratch, "Pelmora.cfg")
    both, singles = make_pictures(scratch)

    checks = Checks()
    env = wine_environment(program, os.path.join(os.path.abspath(args.out),
                                                 "wineprefix-monitors"))
    with Xvfb(*SCREEN) as screen:
        env["DISPLAY"] = screen.display
        session = Session(args, env)
        # Wine's own desktop stays off (the prefix never named one), and its
        # X11 driver asks Xinerama for the monitors.
        session.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "UseXRandR", "/d", "N",
                     "/f")
        bitmaps = {}
        try:
            for layout, (order, rects) in LAYOUTS.items():
                session.set_layout(order)
                listed = {}
                for line in session.probe("monitors"):
                    fields = line.split(" ", 5)
                    listed[tuple(int(v) for v in fields[:4])] = (fields[4] == "1", fields[5])
                expected = {rects[name]: (i == 0) for i, name in enumerate(order)}
                checks.expect({rect: primary for rect, (primary, _) in listed.items()} == expected,
                              f"{layout}: the system lists the monitors {expected} ({listed})")
                checks.expect(all(name for _, name in listed.values()),
                              f"{layout}: every monitor has a name")
                colour = tuple(int(c) for c in session.probe("color")[0].split())
                session.set_style(USER_STYLE[layout])

                composed = os.path.join(scratch, f"{layout}.bmp")
                entries = {"ImageDir": windows_path(both) + "\\",
                           "SaveFile": windows_path(composed), **CENTRED_FIT, "MultiMonitor": "1"}
                kept = run_once(checks, session, program, settings, entries,
                                f"{layout}, a picture per monitor")
                checks.expect(session.probe("wallpaper") == [windows_path(composed)],
                              f"{layout}: the composed bitmap is the wallpaper")
                checks.expect(session.probe("style") == TILED_STYLE,
                              f"{layout}: the style is tiled ({session.probe('style')})")
                checks.expect([kept.get(key) for key in SAVED_KEYS] == USER_STYLE[layout],
                              f"{layout}: the user's style is kept in the settings "
                              f"({[kept.get(key) for key in SAVED_KEYS]})")

                primary = order[0]
                reference = os.path.join(scratch, f"{layout}-one.bmp")
                kept.update({"ImageDir": windows_path(singles[primary]) + "\\",
                             "SaveFile": windows_path(reference), "MultiMonitor": "0"})
                after = run_once(checks, session, program, settings, kept,
                                 f"{layout}, one picture")
                checks.expect(session.probe("style") == USER_STYLE[layout],
                              f"{layout}: one picture again puts the user's style back "
                              f"({session.probe('style')})")
                checks.expect(not any(key in after for key in SAVED_KEYS),
                              f"{layout}: and forgets it in the settings")
                bitmaps[layout] = (composed, reference, primary, colour)
        finally:
            session.restart_wine()

    references = {}
    try:
        for layout, (_, reference, primary, _) in bitmaps.items():
            references[primary] = Bitmap.read(reference)
            # A gradient, not just the bands: equal parts then prove the fit.
            shades = {references[primary].row(y) for y in range(references[primary].height)}
            checks.expect(len(shades) > 10, f"{layout}: the single-monitor fit shows the picture")
        for layout, (composed, _, _, colour) in bitmaps.items():
            check_layout(checks, layout, Bitmap.read(composed), references, colour)
    except (OSError, ValueError) as error:
        checks.fail(f"the bitmaps were written ({error})")
    checks.expect(len(references) == 2, "a single-monitor fit for each monitor")
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(main())
