#!/usr/bin/env python3
"""What the whole-program tests (and the benchmarks that start the real
program) share: the settings file, paths as Wine shows them, pictures read
back from the program and from the screen, waiting for a condition, the
list of checks, a private X server, and the run of a test script inside a
Wine desktop session.

    e2e_support.py write-settings FILE "KEY = VALUE"...
    e2e_support.py copy-program PROGRAM FOLDER

write a settings file, or make a portable copy of the program, for the
shell scripts.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import time


# Fitted with its proportions kept and centred, the bands in the desktop's
# colour, without the sharpening and ClearType passes, not suspended: the
# settings under which a test can predict every pixel of the wallpaper.
CENTRED_FIT = {
    "Resize": "true",
    "ResizeFixedAspectRatio": "true",
    "ResizeAlignH": "1",
    "ResizeAlignV": "1",
    "ResizeBgColor": "1",
    "ClearType": "false",
    "Sharp": "false",
    "Suspend": "false",
}


def windows_path(path):
    """The path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_settings(path, entries):
    """The settings file as the program writes it: UTF-16LE with a
    byte-order mark, "key = value" lines ending in CRLF."""
    text = "".join(f"{key} = {value}\r\n" for key, value in entries.items())
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))


# What the Linux program takes along from its folder: the tray program it
# hands the resident start on to, and the module of the toolkit's decoders.
COMPANIONS = ("pelmora-tray", "pelmora-qt-decoder.so")


def copy_program(program, folder, name=None):
    """A portable copy of the program in folder (under name, by default its
    own), with the companions it needs beside it; returns the copy's path."""
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, name or os.path.basename(program))
    shutil.copy(program, copy)
    for companion in COMPANIONS:
        path = os.path.join(os.path.dirname(program), companion)
        if os.path.exists(path):
            shutil.copy(path, os.path.join(folder, companion))
    return copy


def read_settings(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xff\xfe"):
        raise AssertionError(f"{path} is not UTF-16 with a byte-order mark")
    entries = {}
    for line in data[2:].decode("utf-16-le").split("\r\n"):
        key, separator, value = line.partition(" = ")
        if separator:
            entries[key] = value
    return entries


class Bitmap:
    """An uncompressed 24-bit BMP, as the program saves the wallpaper."""

    def __init__(self, data):
        if data[:2] != b"BM":
            raise ValueError("not a BMP file")
        self.data = data
        self.offset = struct.unpack_from("<I", data, 10)[0]
        width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
        if bits != 24 or compression != 0:
            raise ValueError(f"expected an uncompressed 24-bit BMP, got {bits} bits, "
                             f"compression {compression}")
        self.width, self.height = width, abs(height)
        self.bottom_up = height > 0
        self.stride = (width * 3 + 3) & ~3

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    def row(self, y):
        """The row y from the top, in B, G, R order."""
        start = self.offset + (self.height - 1 - y if self.bottom_up else y) * self.stride
        return self.data[start:start + self.width * 3]

    def pixel(self, x, y):
        b, g, r = self.row(y)[3 * x:3 * x + 3]
        return (r, g, b)


def rgb_bytes(path, crop=None):
    """A picture file's pixels (or those of the rectangle (x, y, w, h)) as
    R, G, B bytes, row after row."""
    command = ["convert", path]
    if crop:
        x, y, w, h = crop
        command += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    return subprocess.run(command + ["-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout


def read_png(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a screenshot."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    raw = rgb_bytes(path)

    def pixel(x, y):
        i = (y * width + x) * 3
        return tuple(raw[i:i + 3])

    return width, height, pixel


def screenshot(path, env=None):
    """The X screen of DISPLAY (from env, or this process's) as a PNG."""
    subprocess.run(["import", "-window", "root", path], env=env, capture_output=True,
                   check=False)
    return path


def close(actual, expected, tolerance):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def wait_for(get, seconds, interval=0.1, until=bool):
    """Asks get() until until(value) holds or the seconds have passed; the
    last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = get()
        if until(value) or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class Checks:
    """The checks of one test: each printed as it is made, the failures
    kept; with a record file, they are also written there after every check,
    so that a run that is stopped still tells how far it came."""

    def __init__(self, record=None):
        self.failures = []
        self.record = record

    def expect(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if not ok:
            self.failures.append(what)
        if self.record:
            with open(self.record, "w", encoding="utf-8") as f:
                json.dump(self.failures, f, ensure_ascii=False)
        return ok

    def fail(self, what):
        return self.expect(False, what)

    def verdict(self, where=""):
        """The test's exit status: 0 when every check passed."""
        if not self.failures:
            return 0
        print(f"{len(self.failures)} check(s) failed" + (f"; see {where}" if where else ""),
              flush=True)
        return 1


class Xvfb:
    """An X server of its own on a display it picks itself, so that parallel
    runs never collide; stopped when the with-block ends."""

    def __init__(self, width, height, keep_desktop=True):
        read_end, write_end = os.pipe()
        # -noreset keeps the desktop when the last client leaves, as a
        # session's window manager would.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", *(["-noreset"] if keep_desktop else []),
             # A key pressed by xdotool on a loaded machine may be released
             # late; a repeat would then press the next box's button too.
             "-ardelay", "60000"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            self.process.kill()
            raise SystemExit("Xvfb did not start")
        self.display = ":" + number

    def stop(self):
        self.process.terminate()
        self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()


def session_main(inside, outside, options, required=()):
    """The start of a test that runs itself again inside a session: its
    options (the common ones and those named) decide which half runs."""
    parser = argparse.ArgumentParser()
    for option in ("--program", "--desktop", "--out", "--results", *options):
        parser.add_argument(option, required=option in required)
    parser.add_argument("--inside", action="store_true")
    args = parser.parse_args()
    return inside(args) if args.inside else outside(args)


def run_inside_session(checks, args, script, session, results, inside):
    """Runs script with --inside in a Wine desktop session (args.desktop
    with the session options); what it wrote to its results file, None
    when it wrote nothing."""
    if os.path.exists(results):
        os.remove(results)
    status = subprocess.run([args.desktop, *session, "--", sys.executable,
                             os.path.abspath(script), "--inside", "--results", results,
                             *inside]).returncode
    checks.expect(status == 0, f"the session ran (status {status})")
    if not os.path.exists(results):
        print("no results from inside the session", flush=True)
        return None
    with open(results, encoding="utf-8") as f:
        return json.load(f)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "copy-program":
        copy_program(sys.argv[2], sys.argv[3])
        return
    if len(sys.argv) < 3 or sys.argv[1] != "write-settings":
        sys.exit(__doc__.split("\n\n")[1])
    entries = {}
    for line in sys.argv[3:]:
        key, separator, value = line.partition(" = ")
        if not separator:
            sys.exit(f"not a 'KEY = VALUE' line: {line!r}")
        entries[key] = value
    write_settings(sys.argv[2], entries)


if __name__ == "__main__":
    main()
