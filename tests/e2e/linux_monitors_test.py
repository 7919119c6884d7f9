#!/usr/bin/env python3
"""The Linux program with a picture per monitor on two RandR monitors.

  linux_monitors_test.py --program PELMORA --out FOLDER

On Xvfb (1280x1024) the screen's output is cut to an 800x600 primary and a
portrait monitor of the user's own (480x1024) stands beside it; the rest of
the screen is covered by none. The picture folder holds two landscape
pictures of 4:3 and one portrait picture of the side monitor's shape, each
one colour, so that every monitor's area is exactly one colour.

  1. "pelmora /once" with MultiMonitor = 1: the saved bitmap and the root
     window hold the landscape picture on the primary, the portrait one on
     the side monitor, black where no monitor is.
  2. The resident program (in trayer's tray): after the side monitor is
     removed the pictures are fitted anew, about 2 s later, to the primary
     alone; the primary keeps its picture, so the list did not move.

Screenshots stay in FOLDER as linux-monitors-once.png and
linux-monitors-refit.png. Exit code 0 when every check passed, 1 when one
failed, 2 for bad usage.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

from e2e_support import (CENTRED_FIT, Bitmap, Checks, Xvfb, copy_program, read_png, screenshot,
                         wait_for, write_settings)

WIDTH, HEIGHT = 1280, 1024
PRIMARY = (0, 0, 800, 600)
SIDE = (800, 0, 480, 1024)
RED, GREEN, BLUE = (255, 0, 0), (0, 255, 0), (0, 0, 255)
CHECKS = Checks()


def xrandr(env, *arguments):
    result = subprocess.run(["xrandr", *arguments], env=env, capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"xrandr {' '.join(arguments)} failed: {result.stderr}")


def two_monitors(env):
    xrandr(env, "--newmode", "primary", "0", "800", "0", "0", "0", "600", "0", "0", "0")
    xrandr(env, "--addmode", "screen", "primary")
    xrandr(env, "--fb", f"{WIDTH}x{HEIGHT}", "--output", "screen", "--mode", "primary", "--primary")
    xrandr(env, "--setmonitor", "SIDE", "480/127x1024/270+800+0", "none")


def prepare(out, program, name):
    work = os.path.join(out, name + ".work")
    shutil.rmtree(work, ignore_errors=True)
    for folder in ("images", "home", "out"):
        os.makedirs(os.path.join(work, folder))
    os.makedirs(os.path.join(work, "run"), mode=0o700)
    copy_program(program, work, "pelmora")
    for file, size, colour in (("red.png", "160x120", "#FF0000"),
                               ("green.png", "320x240", "#00FF00"),
                               ("blue.png", "150x320", "#0000FF")):
        subprocess.run(["convert", "-size", size, "xc:" + colour, "PNG24:" + os.path.join(
            work, "images", file)], check=True)
    write_settings(os.path.join(work, "pelmora.cfg"), {
        "ImageDir": os.path.join(work, "images") + "/",
        "SaveFile": os.path.join(work, "out", "Pelmora.bmp"),
        **CENTRED_FIT,
        "WaitFirst": "false",
        "Interval(sec)": "3600",
        "MultiMonitor": "1",
    })
    env = dict(os.environ, HOME=os.path.join(work, "home"),
               XDG_RUNTIME_DIR=os.path.join(work, "run"))
    for variable in ("QT_QPA_PLATFORM", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "SWAYSOCK",
                     "HYPRLAND_INSTANCE_SIGNATURE"):
        env.pop(variable, None)
    return work, env


def area_colours(pixel, area):
    """The colours at the corners and the centre of the area (x, y, w, h)."""
    x, y, w, h = area
    points = [(x, y), (x + w - 1, y), (x, y + h - 1), (x + w - 1, y + h - 1),
              (x + w // 2, y + h // 2)]
    return {pixel(px, py) for px, py in points}


def expect_area(what, pixel, area, colours):
    found = area_colours(pixel, area)
    if len(found) != 1 or not found <= set(colours):
        CHECKS.fail(f"{what}: area {area} shows {sorted(found)}, expected one of {colours}")
        return None
    return next(iter(found))


def once(program, out):
    work, env = prepare(out, program, "linux_monitors_once")
    with Xvfb(WIDTH, HEIGHT) as xvfb:
        env["DISPLAY"] = xvfb.display
        two_monitors(env)
        result = subprocess.run([os.path.join(work, "pelmora"), "/once"], cwd=work, env=env,
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0 or result.stderr:
            CHECKS.fail(f"/once: exit code {result.returncode}, stderr '{result.stderr}'")
        bmp_path = os.path.join(work, "out", "Pelmora.bmp")
        if not os.path.exists(bmp_path):
            CHECKS.fail("/once: no bitmap written")
            return
        bmp = Bitmap.read(bmp_path)
        if (bmp.width, bmp.height) != (WIDTH, HEIGHT):
            CHECKS.fail(f"/once: the bitmap is {bmp.width}x{bmp.height}, not the monitors' box")
            return
        expect_area("bitmap, primary", bmp.pixel, PRIMARY, [RED, GREEN])
        expect_area("bitmap, side", bmp.pixel, SIDE, [BLUE])
        expect_area("bitmap, no monitor", bmp.pixel, (0, 600, 800, 424), [(0, 0, 0)])
        shot = screenshot(os.path.join(out, "linux-monitors-once.png"), env)
        width, height, pixel = read_png(shot)
        for y in range(0, HEIGHT, 7):
            for x in range(0, WIDTH, 5):
                if pixel(x, y) != bmp.pixel(x, y):
                    CHECKS.fail(f"/once: the screen at ({x},{y}) shows {pixel(x, y)}, "
                                f"the bitmap {bmp.pixel(x, y)}")
                    return


def tray_owned(env):
    found = subprocess.run(["xdotool", "search", "--classname", "trayer"], env=env,
                           capture_output=True, text=True)
    return bool(found.stdout.split())


def refit(program, out):
    work, env = prepare(out, program, "linux_monitors_refit")
    bmp_path = os.path.join(work, "out", "Pelmora.bmp")
    with Xvfb(WIDTH, HEIGHT) as xvfb:
        env["DISPLAY"] = xvfb.display
        two_monitors(env)
        tray = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "left", "--widthtype",
                                 "request", "--height", "24", "--SetDockType", "true"],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pelmora = None
        try:
            time.sleep(1)
            pelmora = subprocess.Popen([os.path.join(work, "pelmora")], cwd=work, env=env,
                                       stderr=open(os.path.join(work, "stderr.txt"), "w"))
            if not wait_for(lambda: os.path.exists(bmp_path), 30):
                CHECKS.fail("resident: no wallpaper after the start")
                return
            time.sleep(1)
            first = Bitmap.read(bmp_path)
            shown = expect_area("resident, primary", first.pixel, PRIMARY, [RED, GREEN])
            expect_area("resident, side", first.pixel, SIDE, [BLUE])
            written = os.stat(bmp_path).st_mtime_ns

            xrandr(env, "--delmonitor", "SIDE")
            changed = wait_for(lambda: os.stat(bmp_path).st_mtime_ns != written, 15)
            if not changed:
                CHECKS.fail("resident: no new fit after the side monitor went")
                return
            time.sleep(0.5)
            after = Bitmap.read(bmp_path)
            if (after.width, after.height) != (800, 600):
                CHECKS.fail(f"resident: after the change the bitmap is "
                            f"{after.width}x{after.height}, not the primary's 800x600")
            elif shown is not None:
                expect_area("resident after the change, primary", after.pixel,
                            (0, 0, 800, 600), [shown])
            screenshot(os.path.join(out, "linux-monitors-refit.png"), env)
            if pelmora.poll() is not None:
                CHECKS.fail(f"resident: ended with {pelmora.returncode}")
        finally:
            if pelmora and pelmora.poll() is None:
                pelmora.terminate()
                pelmora.wait(10)
            tray.terminate()
            tray.wait(10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    for tool in ("Xvfb", "xrandr", "convert", "import", "trayer", "xdotool"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed", file=sys.stderr)
            return 77
    once(args.program, args.out)
    refit(args.program, args.out)
    verdict = CHECKS.verdict(args.out)
    if verdict == 0:
        print(f"passed; screenshots in {args.out}")
    return verdict


if __name__ == "__main__":
    sys.exit(main())
