#!/usr/bin/env python3
"""Pelmora.exe /once on a Wine virtual desktop, checked from the outside.

Three copies of the program, each with its own settings file beside it:
  ok       a folder with one image: the wallpaper file is written, set and
           shown on the desktop;
  missing  an image folder that does not exist: an error box, exit code 1;
  broken   a settings value that cannot be read: the box that ends the
           program, exit code 1.
The session itself (Xvfb, the virtual desktop, the screenshot) is the job
of wine-desktop; this script runs inside it once more with --inside to
start the programs and ask the desktop what it shows.
"""

import json
import os
import shutil
import subprocess
import sys
import time

from e2e_support import (CENTRED_FIT, Bitmap, Checks, close, read_png, run_inside_session,
                         session_main, windows_path, write_settings)

WIDTH, HEIGHT = 1280, 1024
# Quadrants of the source image (1600 x 900, 16:9) and their colours.
SOURCE_W, SOURCE_H = 1600, 900
COLOURS = {
    "top_left": (200, 30, 30),
    "top_right": (30, 180, 60),
    "bottom_left": (40, 60, 200),
    "bottom_right": (230, 210, 40),
}
# Fitted with a fixed aspect ratio and centred: 1280 x 720 from row 152.
IMAGE_TOP, IMAGE_BOTTOM = 152, 872
WINE_DESKTOP_COLOUR = (0x25, 0x6F, 0x95)

MISSING_BOX = "エラー"
FATAL_BOX = "エラー発生：終了します"


def prepare(scratch, program):
    shutil.rmtree(scratch, ignore_errors=True)
    cases = {}
    for name in ("ok", "missing", "broken"):
        folder = os.path.join(scratch, name)
        os.makedirs(folder)
        shutil.copy(program, os.path.join(folder, "Pelmora.exe"))
        cases[name] = folder

    ok = cases["ok"]
    images = os.path.join(ok, "画像")
    os.makedirs(images)
    quadrant = f"{SOURCE_W // 2}x{SOURCE_H // 2}"
    rgb = {k: "rgb(%d,%d,%d)" % v for k, v in COLOURS.items()}
    subprocess.run(
        ["convert",
         "(", "-size", quadrant, "xc:" + rgb["top_left"], "xc:" + rgb["top_right"], "+append", ")",
         "(", "-size", quadrant, "xc:" + rgb["bottom_left"], "xc:" + rgb["bottom_right"],
         "+append", ")",
         "-append", "PNG24:" + os.path.join(images, "横長 ü.png")],
        check=True)
    # Letters outside code page 932, one of them outside the basic plane.
    # The name is new on every run, so that a wallpaper an earlier run left
    # in the prefix can neither be reported nor painted as this run's.
    save_folder = os.path.join(ok, f"Tapete ü 😀 {time.time_ns()}")
    os.makedirs(save_folder)
    save_file = os.path.join(save_folder, "壁紙.bmp")
    def settings(case, image_dir, save, **changes):
        write_settings(os.path.join(cases[case], "Pelmora.cfg"),
                       {"ImageDir": image_dir, "SaveFile": windows_path(save),
                        **CENTRED_FIT, **changes})

    settings("ok", windows_path(images) + "\\", save_file)
    missing_dir = windows_path(os.path.join(cases["missing"], "nowhere")) + "\\"
    settings("missing", missing_dir, os.path.join(cases["missing"], "never.bmp"))
    settings("broken", windows_path(images) + "\\", os.path.join(cases["broken"], "never.bmp"),
             Suspend="maybe")
    return {
        "cases": cases,
        "save_file": save_file,
        "missing_text": f"画像フォルダ '{missing_dir}' が見つかりません",
        "fatal_text": "コンフィグデータ 'Suspend' (真偽値)の読み込みに失敗しました",
    }


def probe(args, *command, timeout=60):
    run = subprocess.run([os.environ["WINE"], args.probe, *command], capture_output=True,
                         timeout=timeout)
    return run.returncode, run.stdout.decode("utf-8", "replace").strip()


def run_with_box(args, folder, caption):
    """Starts a copy that should show a box, reads the box and closes it."""
    program = subprocess.Popen([os.environ["WINE"], os.path.join(folder, "Pelmora.exe"), "/once"])
    try:
        found, text = probe(args, "box", caption, "60000", timeout=90)
        code = program.wait(timeout=60)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    return {"found": found == 0, "text": text, "exit": code}


def inside(args):
    """Runs in the session: every Windows program starts on the desktop."""
    cases = json.loads(args.cases)
    results = {}
    results["missing"] = run_with_box(args, cases["missing"], MISSING_BOX)
    results["broken"] = run_with_box(args, cases["broken"], FATAL_BOX)
    once = subprocess.run([os.environ["WINE"], os.path.join(cases["ok"], "Pelmora.exe"), "/once"],
                          timeout=180)
    results["ok_exit"] = once.returncode
    results["wallpaper"] = probe(args, "wallpaper")[1]
    results["colour"] = probe(args, "color")[1]
    results["screen"] = probe(args, "screen")[1]
    with open(args.results, "w", encoding="utf-8") as f:
        json.dump(results, f, ensure_ascii=False)
    return 0


def sample_points():
    """Points well inside each quadrant of the fitted image, and in the gaps."""
    middle = (IMAGE_TOP + IMAGE_BOTTOM) // 2
    image = {
        "top_left": (WIDTH // 4, (IMAGE_TOP + middle) // 2),
        "top_right": (WIDTH * 3 // 4, (IMAGE_TOP + middle) // 2),
        "bottom_left": (WIDTH // 4, (middle + IMAGE_BOTTOM) // 2),
        "bottom_right": (WIDTH * 3 // 4, (middle + IMAGE_BOTTOM) // 2),
        # The image's own first and last rows, next to the gaps.
        "top_left ": (10, IMAGE_TOP),
        "bottom_right ": (WIDTH - 10, IMAGE_BOTTOM - 1),
    }
    gaps = [(WIDTH // 2, 0), (5, IMAGE_TOP - 1), (WIDTH // 2, IMAGE_BOTTOM),
            (WIDTH - 1, HEIGHT - 1)]
    return image, gaps


def check_picture(checks, where, pixel, colour, tolerance):
    """The fitted quadrants in their colours and the gaps in the desktop's."""
    image_points, gap_points = sample_points()
    for name, (x, y) in image_points.items():
        expected = COLOURS[name.strip()]
        checks.expect(close(pixel(x, y), expected, tolerance[0]),
                      f"{where} at ({x}, {y}): {pixel(x, y)} ~ {name.strip()} {expected}")
    for x, y in gap_points:
        checks.expect(close(pixel(x, y), colour, tolerance[1]),
                      f"{where} at ({x}, {y}): gap {pixel(x, y)} ~ desktop {colour}")


def outside(args):
    out = os.path.abspath(args.out)
    scratch = os.path.join(out, "once")
    setup = prepare(scratch, args.program)
    screenshot = os.path.join(out, "wine_once.png")
    if os.path.exists(screenshot):
        os.remove(screenshot)
    checks = Checks()
    results = run_inside_session(
        checks, args, __file__,
        ["--size", f"{WIDTH}x{HEIGHT}", "--timeout", "400", "--settle", "3",
         "--prefix", os.path.join(out, "wineprefix-desktop-win64"), screenshot],
        os.path.join(scratch, "results.json"),
        ["--probe", os.path.abspath(args.probe), "--cases", json.dumps(setup["cases"])])
    if results is None:
        return 1

    missing = results["missing"]
    checks.expect(missing["found"], "missing image folder: an error box appears")
    checks.expect(missing["text"] == setup["missing_text"],
                  f"missing image folder: the box says {missing['text']!r}")
    checks.expect(missing["exit"] == 1, f"missing image folder: exit code {missing['exit']}")
    broken = results["broken"]
    checks.expect(broken["found"], "unreadable setting: the closing box appears")
    checks.expect(broken["text"] == setup["fatal_text"],
                  f"unreadable setting: the box says {broken['text']!r}")
    checks.expect(broken["exit"] == 1, f"unreadable setting: exit code {broken['exit']}")
    checks.expect(not os.path.exists(os.path.join(setup["cases"]["missing"], "never.bmp")),
                  "missing image folder: nothing written")

    checks.expect(results["ok_exit"] == 0, f"/once: exit code {results['ok_exit']}")
    checks.expect(results["screen"] == f"{WIDTH} {HEIGHT}",
                  f"the program sees the virtual desktop's size ({results['screen']})")
    checks.expect(results["wallpaper"] == windows_path(setup["save_file"]),
                  f"the system reports the saved file as wallpaper ({results['wallpaper']!r})")
    colour = tuple(int(c) for c in results["colour"].split())
    checks.expect(colour == WINE_DESKTOP_COLOUR, f"the desktop colour is {colour}")

    try:
        bitmap = Bitmap.read(setup["save_file"])
    except (OSError, ValueError) as error:
        checks.fail(f"the wallpaper file was written as a 24-bit bitmap ({error})")
    else:
        shape = (bitmap.width, bitmap.height, bitmap.bottom_up)
        if checks.expect(shape == (WIDTH, HEIGHT, True),
                         f"the wallpaper file is {bitmap.width} x {bitmap.height}, bottom-up"):
            check_picture(checks, "file", bitmap.pixel, colour, (2, 0))

    if not os.path.exists(screenshot):
        checks.fail("a screenshot was taken")
    else:
        width, height, pixel = read_png(screenshot)
        checks.expect((width, height) == (WIDTH, HEIGHT), f"the screenshot is {width} x {height}")
        check_picture(checks, "screen", pixel, colour, (4, 4))
        print(f"screenshot: {screenshot}")
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(session_main(inside, outside, ("--probe", "--cases"), required=("--probe",)))
