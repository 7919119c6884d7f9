#!/usr/bin/env python3
"""The Linux program with a picture per monitor on sway's outputs.

  sway-desktop -- linux_sway_monitors_test.py --program PELMORA --out FOLDER

Inside a headless sway with two outputs (see sway-desktop), HEADLESS-2 is
turned into a 400x600 portrait output beside the 640x480 HEADLESS-1. The
picture folder holds a landscape picture of 4:3 and a portrait one of 2:3,
each one colour. "pelmora /once" with MultiMonitor = 1 must give each output
its own picture, set by the output's name: grim photographs each output in
that one colour, edge to edge. The saved bitmap holds both in the box around
the outputs, with each output's own bitmap beside it.

The photographs stay in FOLDER as linux-sway-monitors-HEADLESS-*.png.
Exit code 0 when every check passed, 1 when one failed, 2 for bad usage,
77 when not run inside sway.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

from e2e_support import Bitmap, Checks, copy_program, read_png, wait_for, write_settings

RED, BLUE = (255, 0, 0), (0, 0, 255)
OUTPUTS = {"HEADLESS-1": ((640, 480), RED), "HEADLESS-2": ((400, 600), BLUE)}
CHECKS = Checks()


def outputs():
    listed = subprocess.run(["swaymsg", "-r", "-t", "get_outputs"], capture_output=True,
                            text=True, check=True).stdout
    return {o["name"]: o["rect"] for o in json.loads(listed) if o.get("active")}


def photograph(name, path):
    """The output's colours at its corners and centre, or nothing."""
    if subprocess.run(["grim", "-o", name, path], capture_output=True).returncode != 0:
        return None
    width, height, pixel = read_png(path)
    return (width, height), {pixel(x, y) for x, y in ((0, 0), (width - 1, 0), (0, height - 1),
                                                     (width - 1, height - 1),
                                                     (width // 2, height // 2))}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    if not os.environ.get("SWAYSOCK"):
        print("skipped: not inside sway (run through sway-desktop)", file=sys.stderr)
        return 77

    work = os.path.join(args.out, "linux_sway_monitors.work")
    shutil.rmtree(work, ignore_errors=True)
    for folder in ("images", "home", "out"):
        os.makedirs(os.path.join(work, folder))
    # sway may run as another user: it must be able to read the pictures.
    os.chmod(work, 0o755)
    os.chmod(os.path.join(work, "out"), 0o755)
    copy_program(args.program, work, "pelmora")
    subprocess.run(["convert", "-size", "160x120", "xc:#FF0000",
                    "PNG24:" + os.path.join(work, "images", "landscape.png")], check=True)
    subprocess.run(["convert", "-size", "100x150", "xc:#0000FF",
                    "PNG24:" + os.path.join(work, "images", "portrait.png")], check=True)
    write_settings(os.path.join(work, "pelmora.cfg"), {
        "ImageDir": os.path.join(work, "images") + "/",
        "SaveFile": os.path.join(work, "out", "Pelmora.bmp"),
        "Suspend": "false",
        "Resize": "true",
        "ResizeFixedAspectRatio": "true",
        "ClearType": "false",
        "Sharp": "false",
        "MultiMonitor": "1",
    })

    subprocess.run(["swaymsg", "output", "HEADLESS-2", "resolution", "400x600"], check=True,
                   capture_output=True)
    rects = outputs()
    env = dict(os.environ, HOME=os.path.join(work, "home"))
    for variable in ("XDG_CURRENT_DESKTOP", "DISPLAY", "HYPRLAND_INSTANCE_SIGNATURE"):
        env.pop(variable, None)
    result = subprocess.run([os.path.join(work, "pelmora"), "/once"], cwd=work, env=env,
                            capture_output=True, text=True, timeout=60)
    CHECKS.expect(result.returncode == 0 and not result.stderr,
                  f"/once ends with 0 and says nothing (code {result.returncode}, "
                  f"stderr '{result.stderr.strip()}')")

    for name, (size, colour) in OUTPUTS.items():
        shot = os.path.join(args.out, f"linux-sway-monitors-{name}.png")
        seen = wait_for(lambda: photograph(name, shot), 10,
                        until=lambda found: found and found == (size, {colour}))
        CHECKS.expect(seen == (size, {colour}),
                      f"{name} shows its own picture {colour} at {size}: saw {seen}")
        CHECKS.expect(os.path.exists(os.path.join(work, "out", f"Pelmora-{name}.bmp")),
                      f"{name} has its own bitmap beside the composed one")

    bmp_path = os.path.join(work, "out", "Pelmora.bmp")
    if CHECKS.expect(os.path.exists(bmp_path), "the composed bitmap is saved"):
        bmp = Bitmap.read(bmp_path)
        right = max(r["x"] + r["width"] for r in rects.values())
        bottom = max(r["y"] + r["height"] for r in rects.values())
        CHECKS.expect((bmp.width, bmp.height) == (right, bottom),
                      f"the composed bitmap is the outputs' box {right}x{bottom}: "
                      f"{bmp.width}x{bmp.height}")
        for name, (_, colour) in OUTPUTS.items():
            r = rects[name]
            centre = (r["x"] + r["width"] // 2, r["y"] + r["height"] // 2)
            if centre[0] < bmp.width and centre[1] < bmp.height:
                CHECKS.expect(bmp.pixel(*centre) == colour,
                              f"the composed bitmap shows {name}'s picture at its place")
    subprocess.run(["swaymsg", "output", "HEADLESS-2", "resolution", "640x480"],
                   capture_output=True)
    return CHECKS.verdict(work)


if __name__ == "__main__":
    sys.exit(main())
