#!/usr/bin/env python3
"""Pelmora.exe /once with a folder of broken Susie plug-ins, under Wine.

The plug-in folder ("SpiDir", relative to the program) holds plug-ins that
fault in IsSupported and in GetPicture (access violations, division by zero
and jumps to nowhere, depending on the file), one whose GetPicture fails,
one that declines everything, one without GetPluginInfo, one that is no
import filter, one that lies about the bitmap it delivers, one that claims
JPEG files and one that decodes a format of its own. The image folder gets
one picture at a time and the program runs once for each: every picture
that some loader reads becomes the wallpaper, decoded by the loader that
should have it; the others change nothing. No run may show a box (it would
hang the run), every run exits 0, and the settings file stays as written.
The session (Xvfb, the virtual desktop) is the job of wine-desktop; this
script runs inside it once more with --inside to start the program.
"""

import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import zlib

from e2e_support import (Bitmap, Checks, close, run_inside_session, session_main, windows_path,
                         write_settings)

PLUGINS = ["faults_in_is_supported", "faults_in_get_picture", "get_picture_fails", "declines",
           "no_plugin_info", "not_import", "lies", "claims_jpeg", "decoder"]


def bmp(width, height, rgb):
    stride = (width * 3 + 3) & ~3
    row = bytes([rgb[2], rgb[1], rgb[0]]) * width + b"\0" * (stride - width * 3)
    pixels = row * height
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0) +
            pixels)


def png(width, height, rgb):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def gif(width, height, rgb):
    """One colour, LZW codes kept 3 bits wide by a clear code before each
    pair of literals."""
    codes = []
    for i in range(width * height):
        if i % 2 == 0:
            codes.append(4)
        codes.append(0)
    codes.append(5)
    value = sum(code << (3 * i) for i, code in enumerate(codes))
    data = value.to_bytes((3 * len(codes) + 7) // 8, "little")
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255))
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0) + bytes(rgb) +
            b"\0" * 9 + b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) +
            b"\x02" + blocks + b"\0;")


def ico(size, rgb):
    pixels = bytes([rgb[2], rgb[1], rgb[0], 255]) * (size * size)
    mask = b"\0" * (((size + 31) // 32 * 4) * size)
    image = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0) + pixels + mask
    return (struct.pack("<HHH", 0, 1, 1) +
            struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image)


def ptpf(width, height, rgb):
    """The test plug-ins' own format, 24 bits."""
    pixels = bytes([rgb[2], rgb[1], rgb[0]]) * (width * height)
    return b"PTPF" + struct.pack("<HHBBI", width, height, 24, 0, 14 + len(pixels)) + pixels


def jpeg(path, width, height, rgb):
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:rgb(%d,%d,%d)" % rgb,
                    "-quality", "95", "JPEG:" + path], check=True)


# name -> (bytes or None for the JPEG, expected (width, height, colour) or
# None when no loader may take it). Each size tells which loader decoded it.
def pictures():
    return {
        "own.ptp": (ptpf(11, 7, (200, 40, 40)), (11, 7, (200, 40, 40))),
        # The plug-in that claims JPEG files comes before the built-in decoder.
        "photo.jpg": (None, (2, 2, (0x12, 0x34, 0x56))),
        "plain.png": (png(13, 5, (30, 160, 90)), (13, 5, (30, 160, 90))),
        "plain.bmp": (bmp(9, 4, (70, 80, 220)), (9, 4, (70, 80, 220))),
        "anim.gif": (gif(6, 3, (250, 200, 10)), (6, 3, (250, 200, 10))),
        "icon.ico": (ico(16, (10, 230, 240)), (16, 16, (10, 230, 240))),
        "lie0.lie": (b"LIE0" + b"\0" * 60, None),
        "lie2.lie": (b"LIE2" + b"\0" * 60, None),
        "notes.txt": (b"no picture here\r\n", None),
    }


def prepare(scratch, program, plugins):
    shutil.rmtree(scratch, ignore_errors=True)
    folder = os.path.join(scratch, "program")
    os.makedirs(os.path.join(folder, "spi"))
    shutil.copy(program, os.path.join(folder, "Pelmora.exe"))
    for plugin in PLUGINS:
        shutil.copy(os.path.join(plugins, plugin + ".spi"), os.path.join(folder, "spi"))
    images = os.path.join(scratch, "images")
    os.makedirs(images)
    save_file = os.path.join(scratch, "wallpaper.bmp")
    # Every key the program knows, so that it has nothing to add.
    write_settings(os.path.join(folder, "Pelmora.cfg"), {
        "ImageDir": windows_path(images) + "\\", "SaveFile": windows_path(save_file),
        "Interval(sec)": "1800", "WaitFirst": "false", "Suspend": "false", "Resize": "false",
        "ResizeFixedAspectRatio": "false", "ResizeAlignH": "1", "ResizeAlignV": "0",
        "ResizeBgColor": "1", "ClearType": "false", "Sharp": "false",
        "RemoveOnSuspend": "false", "DoubleClick": "2", "SpiDir": "spi\\"})
    return {"program": os.path.join(folder, "Pelmora.exe"), "images": images,
            "save_file": save_file, "settings": os.path.join(folder, "Pelmora.cfg")}


def inside(args):
    """Runs in the session: one picture in the folder, one run, in turn."""
    setup = json.loads(args.setup)
    results = {}
    for name, (data, _) in pictures().items():
        for old in os.listdir(setup["images"]):
            os.remove(os.path.join(setup["images"], old))
        path = os.path.join(setup["images"], name)
        if data is None:
            jpeg(path, 8, 8, (90, 90, 90))
        else:
            with open(path, "wb") as f:
                f.write(data)
        if os.path.exists(setup["save_file"]):
            os.remove(setup["save_file"])
        try:
            run = subprocess.run([os.environ["WINE"], setup["program"], "/once"], timeout=120)
            code = run.returncode
        except subprocess.TimeoutExpired:
            code = "timed out (a box?)"
        results[name] = {"exit": code, "written": os.path.exists(setup["save_file"])}
        if results[name]["written"]:
            with open(setup["save_file"], "rb") as f:
                results[name]["bmp"] = f.read().hex()
    with open(args.results, "w", encoding="utf-8") as f:
        json.dump(results, f)
    return 0


def outside(args):
    out = os.path.abspath(args.out)
    scratch = os.path.join(out, "plugins")
    setup = prepare(scratch, args.program, args.plugins)
    with open(setup["settings"], "rb") as f:
        settings_before = hashlib.sha256(f.read()).hexdigest()
    checks = Checks()
    results = run_inside_session(
        checks, args, __file__,
        ["--size", "800x600", "--timeout", "1500", "--settle", "1",
         "--prefix", os.path.join(out, "wineprefix-plugins-win64"),
         os.path.join(out, "wine_plugins.png")],
        os.path.join(scratch, "results.json"), ["--setup", json.dumps(setup)])
    if results is None:
        return 1
    for name, (_, expected) in pictures().items():
        result = results.get(name, {})
        checks.expect(result.get("exit") == 0, f"{name}: exit code {result.get('exit')}")
        if expected is None:
            checks.expect(not result.get("written"), f"{name}: no loader takes it, nothing written")
            continue
        if not result.get("written"):
            checks.fail(f"{name}: the wallpaper was written")
            continue
        try:
            bitmap = Bitmap(bytes.fromhex(result["bmp"]))
        except ValueError as error:
            checks.fail(f"{name}: the wallpaper is a 24-bit bitmap ({error})")
            continue
        colour = bitmap.pixel(bitmap.width // 2, bitmap.height // 2)
        ok = (bitmap.width, bitmap.height) == expected[:2] and close(colour, expected[2], 3)
        checks.expect(ok, f"{name}: wallpaper {bitmap.width} x {bitmap.height} {colour}, "
                          f"expected {expected}")
    with open(setup["settings"], "rb") as f:
        checks.expect(hashlib.sha256(f.read()).hexdigest() == settings_before,
                      "the settings file is untouched")
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(session_main(inside, outside, ("--plugins", "--setup")))
