#!/usr/bin/env python3
"""The Windows zip as a user gets it.

Outside: the zip holds exactly the folder Pelmora/ with the program, the
empty image/ and spi/ folders, readme.txt (UTF-8 with a byte-order mark,
Japanese first) and license.txt. Inside a fresh Wine prefix's desktop: the
folder unpacked into a new folder of drive C:, Pelmora.exe started without
arguments shows its icon and writes Pelmora.cfg beside itself with the
defaults; a picture dropped into image/ becomes the wallpaper through a
second start; the menu's exit ends it, and the folder then holds what the
zip held, the picture, the settings and the state file, nothing else.
Afterwards the prefix's registry names the program nowhere but in the
wallpaper setting.
"""

import json
import os
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from e2e_support import (Bitmap, Checks, close, read_settings, run_inside_session,  # noqa: E402
                         session_main, wait_for)
from wine_tray_test import HEIGHT, WIDTH, Session  # noqa: E402

ZIP_FILES = {"Pelmora/Pelmora.exe", "Pelmora/readme.txt", "Pelmora/license.txt"}
ZIP_FOLDERS = {"Pelmora/", "Pelmora/image/", "Pelmora/spi/"}
DEFAULTS = {
    "ImageDir": "./image/",
    "SaveFile": "%windir%/Web/Wallpaper/Pelmora.bmp",
    "SpiDir": "./spi/",
    "Interval(sec)": "1800",
    "WaitFirst": "false",
    "Suspend": "false",
    "Resize": "true",
}
PICTURE_COLOUR = (30, 160, 90)


def check_zip(checks, path):
    with zipfile.ZipFile(path) as archive:
        names = set(archive.namelist())
        files = {n for n in names if not n.endswith("/")}
        folders = {n for n in names if n.endswith("/")}
        folders |= {f[:f.rindex("/") + 1] for f in files}
        checks.expect(files == ZIP_FILES, f"zip: its files are {sorted(files)}")
        checks.expect(folders == ZIP_FOLDERS, f"zip: its folders are {sorted(folders)}")
        readme = archive.read("Pelmora/readme.txt") if "Pelmora/readme.txt" in names else b""
        licence = archive.read("Pelmora/license.txt") if "Pelmora/license.txt" in names else b""
        exe = archive.read("Pelmora/Pelmora.exe") if "Pelmora/Pelmora.exe" in names else b""
    # The zip's name and the program's version resource tell one version.
    version = os.path.basename(path).split("-")[1]
    key = "FileVersion".encode("utf-16-le")
    at = exe.find(key)
    shown = exe[at + len(key):at + len(key) + 40].decode("utf-16-le", "replace") if at >= 0 else ""
    checks.expect(shown.strip("\0").startswith(version + "\0"),
                  f"Pelmora.exe: its FileVersion is the zip's {version}")
    checks.expect(readme.startswith(b"\xef\xbb\xbf"), "readme: UTF-8 with a byte-order mark")
    try:
        text = readme[3:].decode("utf-8")
    except UnicodeDecodeError:
        text = ""
    checks.expect("\r\n" in text and "\n" not in text.replace("\r\n", ""),
                  "readme: CRLF line ends throughout")
    japanese, english = text.find("【起動】"), text.find("STARTING IT")
    checks.expect(0 <= japanese < english, "readme: Japanese first, then English")
    checks.expect(all(word in text for word in ("/once", "/suspend", "/resume", "Pelmora.cfg")),
                  "readme: tells the command line and the settings file")
    checks.expect(b"Permission is hereby granted" in licence, "license.txt: the licence text")


def inside(args):
    checks = Checks(args.results)
    prefix = os.environ["WINEPREFIX"]
    unpacked = os.path.join(prefix, "drive_c", "ダウンロード")
    os.makedirs(unpacked)
    with zipfile.ZipFile(args.zip) as archive:
        archive.extractall(unpacked)
    folder = os.path.join(unpacked, "Pelmora")
    setup = {"folder": folder, "exe": os.path.join(folder, "Pelmora.exe"),
             "save_file": os.path.join(prefix, "drive_c", "windows", "Web", "Wallpaper",
                                       "Pelmora.bmp")}
    s = Session(args, setup, checks)
    program = subprocess.Popen([s.wine, setup["exe"]], cwd=folder)
    try:
        # The first program of a fresh prefix takes long to come up.
        found = wait_for(lambda: s.drive("find", 20000), 180, 0, until=lambda r: r[0] == 0)
        checks.expect(found[0] == 0, "start: the tray window is there")
        # The taskbar of a fresh prefix may still be coming up: its icon is
        # waited for rather than looked for once.
        def icon_on_screen():
            at = s.icon()
            return at, at != (0, 0) and s.icon_shown(s.shot_with_icon("zip_desktop.png"), at)

        at, shown = wait_for(icon_on_screen, 60, 1, until=lambda r: r[1])
        checks.expect(shown, f"start: the icon is in the notification area at {at}")
        try:
            settings = read_settings(s.cfg)
        except (OSError, AssertionError) as error:
            settings = {}
            checks.fail(f"start: Pelmora.cfg beside the program ({error})")
        wrong = {k: settings.get(k) for k, v in DEFAULTS.items() if settings.get(k) != v}
        checks.expect(settings and not wrong, f"start: Pelmora.cfg holds the defaults {wrong}")

        picture = os.path.join(folder, "image", "写真.png")
        subprocess.run(["convert", "-size", "320x240", "xc:rgb(%d,%d,%d)" % PICTURE_COLOUR,
                        "PNG24:" + picture], check=True)
        before = s.stamp()
        code = s.second_start()
        checks.expect(code == 0, f"second start: ends with code {code}")
        checks.expect(s.wait_change(before), "second start: the wallpaper is written")
        reported = s.drive("wallpaper")[1]
        checks.expect(reported.lower().replace("/", "\\").endswith(
            "\\windows\\web\\wallpaper\\pelmora.bmp"),
            f"second start: the system's wallpaper is the saved file ({reported!r})")
        try:
            bitmap = Bitmap.read(setup["save_file"])
            middle = bitmap.pixel(bitmap.width // 2, bitmap.height // 2)
            checks.expect((bitmap.width, bitmap.height) == (WIDTH, HEIGHT)
                          and close(middle, PICTURE_COLOUR, 2),
                          f"second start: the picture fills the screen "
                          f"({bitmap.width}x{bitmap.height}, {middle})")
        except (OSError, ValueError) as error:
            checks.fail(f"second start: the wallpaper file ({error})")

        s.command(40004)
        checks.expect(s.drive("gone", 20000)[0] == 0, "exit: the tray window closes")
        try:
            code = program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        checks.expect(code == 0, f"exit: the program ends with code {code}")

        left = set()
        for root, dirs, files in os.walk(folder):
            relative = os.path.relpath(root, folder)
            for name in dirs:
                left.add(os.path.normpath(os.path.join(relative, name)) + "/")
            for name in files:
                left.add(os.path.normpath(os.path.join(relative, name)))
        expected = {"Pelmora.exe", "readme.txt", "license.txt", "image/", "spi/",
                    "image/写真.png", "Pelmora.cfg", "Pelmora.state"}
        checks.expect(left == expected,
                      f"exit: the folder holds only the zip's files, the picture, the "
                      f"settings and the state (extra {sorted(left - expected)}, "
                      f"missing {sorted(expected - left)})")
    except Exception as error:  # a step that could not run is a failure too
        checks.fail(f"the scenario ran to its end ({type(error).__name__}: {error})")
    finally:
        if program.poll() is None:
            program.kill()
    return 0


def registry_mentions(prefix):
    """The registry lines of the prefix that name the program, outside the
    Wine desktop the test session itself is named after."""
    lines = []
    for name in ("user.reg", "system.reg"):
        section = ""
        try:
            with open(os.path.join(prefix, name), encoding="utf-8", errors="replace") as f:
                for line in f:
                    line = line.strip()
                    if line.startswith("["):
                        section = line
                    if section.startswith("[Software\\\\Wine\\\\Explorer"):
                        continue
                    if "pelmora" in line.lower():
                        lines.append(line)
        except FileNotFoundError:
            pass
    return lines


def outside(args):
    checks = Checks()
    if not os.path.exists(args.zip) or os.path.getmtime(args.program) > os.path.getmtime(args.zip):
        print(f"{args.zip} is missing or older than the program: build the package target",
              flush=True)
        return 2
    check_zip(checks, args.zip)
    out = os.path.abspath(args.out)
    prefix = os.path.join(out, "wineprefix-zip")
    # A fresh prefix every time, as on a machine that never saw the program.
    shutil.rmtree(prefix, ignore_errors=True)
    failures = run_inside_session(
        checks, args, __file__,
        ["--shell", "--size", f"{WIDTH}x{HEIGHT}", "--timeout", "500", "--prefix", prefix,
         os.path.join(out, "zip_session.png")],
        os.path.join(out, "zip_failures.json"),
        ["--zip", os.path.abspath(args.zip), "--driver", os.path.abspath(args.driver),
         "--shots", out])
    if failures is None:
        return 1
    # Wine keeps the registry in these files and has written them when the
    # session ended; the wallpaper value is the system's own setting.
    mentions = [line for line in registry_mentions(prefix)
                if not line.lower().startswith('"wallpaper"=')]
    checks.expect(not mentions, f"registry: nothing names the program but the wallpaper "
                                f"{mentions}")
    checks.failures = failures + checks.failures
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(session_main(inside, outside, ("--zip", "--driver", "--shots"),
                          required=("--zip", "--driver")))
