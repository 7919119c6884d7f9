"""bench/soak --target windows: Pelmora.exe under the soak, in a Wine
virtual desktop of its own (tests/e2e/wine-desktop, with a prefix in the
work folder, so that no other session shares its desktop).

bench/soak runs itself again inside the session (--inside); there every
Windows program is started with the session's Wine loader. Wine's loader
becomes the Windows process, so the host pid of a start is the program's:
its processor time tells when it rests between changes and its RssAnon is
a memory figure. That figure holds what Wine's Unix half of the system
libraries keeps for the process as well (its C library heap, fonts, the X
connection), which grows in steps of its own; the program's private bytes,
what it has committed for itself as Windows counts it, are the second
memory figure (Wine answers another process's PrivateUsage with its swap
use, so soak_probe walks the program's address space for them). Handles
and threads come from bench/win32/soak_probe too, which stays running in
the session and also does the kills (TerminateProcess).
Wine's GetProcessHandleCount always answers 0, so the handles show as 0
there, and the descriptors the host sees the Wine process hold (files,
sockets, the server's handles it has mapped) stand in for them; PELMORA_SOAK_HANDLE_TABLE=1 has the probe count them in the system
handle table instead, which Wine 8's server has crashed under in a long
run (every program of the session goes with it).
The settings dialog is opened and cancelled through tray_driver, which also
records each picture shown (OnChange).
"""
import os
import shutil
import struct
import subprocess
import sys
import threading
import time
from contextlib import contextmanager

from e2e_support import windows_path
from soak_support import Soak, host_figures, read_all

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DIALOG = "設定"
OPEN_SETTINGS, EXIT, CANCEL = 40008, 40004, 2


def is_pe32_plus(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    return struct.unpack_from("<H", head, offset + 24)[0] == 0x20B


def built(build):
    """The program and the helpers, from the build folder."""
    return {"program": os.path.join(build, "app", "Pelmora.exe"),
            "probe": os.path.join(build, "bench", "win32", "soak_probe.exe"),
            "driver": os.path.join(build, "tests", "e2e", "tray_driver.exe")}


class WindowsSoak(Soak):
    TARGET = "windows"
    PROGRAM = "Pelmora.exe"
    NARROW = "cp932"  # the ANSI code page the session runs in
    HANDLES = "handles"
    HOST_DESCRIPTORS = True
    PRIVATE_BYTES = True
    TAKE_OVER_PAUSE = 1.0  # a start under Wine takes a good part of a second

    def __init__(self, args):
        super().__init__(args)
        self.wine = os.environ["WINE"]
        self.files = built(args.build)
        self.probe_lock = threading.Lock()
        self.counts["dialogs opened and cancelled"] = 0
        self.counts["boxes answered"] = 0
        self.counts[self.NEVER_REACHED] = 0
        self.resident_err = os.path.join(self.work, "resident.err")

    def install(self):
        shutil.copy(self.files["program"], self.program)
        if os.path.exists(self.resident_err):
            os.remove(self.resident_err)

    def program_path(self, path, folder=False):
        return windows_path(path) + ("\\" if folder else "")

    def host_path(self, path):
        if path[:2].upper() != "Z:":
            return path
        return os.path.normpath(path[2:].replace("\\", "/"))

    def extra_settings(self):
        record = (f'"{windows_path(self.files["driver"])}" record '
                  f'"{windows_path(self.shown_log)}" "%f"')
        return [("OnChange", record)]

    def start_probe(self):
        table = ["--table"] if os.environ.get("PELMORA_SOAK_HANDLE_TABLE") == "1" else []
        self.probe = subprocess.Popen([self.wine, self.files["probe"], *table],
                                      stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)

    @contextmanager
    def session(self):
        self.start_probe()
        try:
            yield
        finally:
            try:
                self.probe.stdin.close()
                self.probe.wait(30)
            except (OSError, subprocess.TimeoutExpired):
                self.probe.kill()

    def ask_probe(self, request):
        """The probe's answer as words; a probe that has gone (a Wine
        process can end under load) is noted and started again."""
        with self.probe_lock:
            for _ in range(2):
                try:
                    self.probe.stdin.write(request + "\n")
                    self.probe.stdin.flush()
                    answer = self.probe.stdout.readline().split()
                    if answer:
                        return answer
                except OSError:
                    pass
                self.event(f"soak_probe ended ({self.probe.poll()}); started again")
                self.probe.kill()
                self.probe.wait()
                self.start_probe()
            return []

    def env(self):
        # Wine's errors, and the modules a start loads: the program's own is
        # the first, so a start without it ended before the program ran.
        return dict(os.environ, WINEDEBUG="-all,err+all,+loaddll")

    def reached_program(self, stderr):
        return f'\\{self.PROGRAM}" at '.encode() in stderr

    def program_output(self, stderr):
        return b"".join(line for line in stderr.splitlines(keepends=True)
                        if b":trace:loaddll:" not in line)

    def resident_stderr(self):
        try:
            return read_all(self.resident_err)
        except OSError:
            return b""

    def command(self, *arguments):
        return [self.wine, self.program, *arguments]

    def start_resident(self):
        # Each start's standard error in a file of its own, so that a start
        # that ended can be read; the previous start's goes on to the log.
        self.log.write(self.program_output(self.resident_stderr()))
        with open(self.resident_err, "wb") as err:
            self.resident = subprocess.Popen([self.wine, self.program],
                                             cwd=os.path.dirname(self.program), env=self.env(),
                                             stdout=subprocess.DEVNULL, stderr=err)

    def wait_resident(self, limit=90):
        """True once the tray window of the start is there."""
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if self.resident.poll() is not None:
                return False
            if self.ask_probe("figures") != ["none"]:
                return True
            time.sleep(0.3)
        return False

    def figures(self):
        answer = self.ask_probe("figures")
        if answer == ["none"] and self.resident.poll() is None:
            self.fail(f"the resident program's tray window has gone "
                      f"(at {time.monotonic() - self.began:.1f} s)")
        if len(answer) != 4:
            return None
        rss, host_fds, _ = host_figures(self.resident.pid)
        return rss, int(answer[1]), int(answer[2]), host_fds, int(answer[3])

    def kill(self):
        answer = self.ask_probe("kill")
        if not answer or answer[0] != "killed":
            # No tray window yet (a start that is still coming up): killed
            # from the host instead, which Wine sees as the same.
            self.resident.kill()
        try:
            self.resident.wait(15)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end on TerminateProcess")
            self.resident.kill()
            self.resident.wait()

    def drive(self, *command, timeout=30):
        try:
            return subprocess.run([self.wine, self.files["driver"], *map(str, command)],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None

    def answer_box(self, timeout_ms=1000):
        """Answers a message box of the program, if one is open, and notes
        its caption and text."""
        try:
            run = subprocess.run([self.wine, self.files["driver"], "box", str(timeout_ms)],
                                 capture_output=True, timeout=30)
        except subprocess.TimeoutExpired:
            return
        if run.returncode == 0:
            text = run.stdout.decode("utf-8", "replace").strip().replace("\n", " | ")
            self.event(f"box answered: {text}")
            self.count("boxes answered")

    def windows(self):
        try:
            run = subprocess.run([self.wine, self.files["driver"], "windows"],
                                 capture_output=True, timeout=30)
        except subprocess.TimeoutExpired:
            return "?"
        return run.stdout.decode("utf-8", "replace").strip().replace("\n", "; ") or "none"

    def loads(self):
        return (self.dialog,)

    def dialog(self):
        """The settings dialog opened from the menu's command and cancelled,
        now and then."""
        while not self.stop.wait(self.rng.uniform(8, 15)):
            with self.steady_step() as steady:
                if not steady:
                    continue
                self.event("settings dialog asked for")
                if self.drive("command", OPEN_SETTINGS) != 0:
                    self.fail("the settings dialog's command found no tray window")
                elif self.drive("controls", DIALOG, 15000, timeout=45) != 0:
                    self.fail(f"the settings dialog did not open on its command "
                              f"(at {time.monotonic() - self.began:.1f} s; the program's "
                              f"windows: {self.windows()})")
                    # A box in its way (about a setting read from a torn
                    # file, say) is answered, and a dialog that came late
                    # is cancelled, so that the next round starts clean.
                    self.answer_box()
                    self.drive("end", DIALOG, CANCEL)
                elif self.drive("click", DIALOG, CANCEL) != 0:
                    self.fail(f"the settings dialog could not be cancelled (at "
                              f"{time.monotonic() - self.began:.1f} s; the program's windows: "
                              f"{self.windows()})")
                    self.answer_box()
                    self.drive("end", DIALOG, CANCEL)
                else:
                    self.event("settings dialog cancelled")
                    self.count("dialogs opened and cancelled")

    def end_resident(self):
        self.drive("command", EXIT)
        try:
            status = self.resident.wait(30)
        except subprocess.TimeoutExpired:
            self.fail("the resident program did not end on its menu's exit")
            self.resident.kill()
            return
        if status != 0:
            self.fail(f"the resident program ended with {status} on its menu's exit")


def main(args, script):
    if args.inside:
        return WindowsSoak(args).run()
    files = built(args.build)
    for path in files.values():
        if not os.path.exists(path):
            print(f"soak: {path} is missing; build the Windows preset first", file=sys.stderr)
            return 2
    os.makedirs(args.work, exist_ok=True)
    arch = "win64" if is_pe32_plus(files["program"]) else "win32"
    timeout = int(60 * args.minutes + 30 * args.kills + 900)
    command = [os.path.join(ROOT, "tests", "e2e", "wine-desktop"), "--size", args.size,
               "--arch", arch, "--timeout", str(timeout), "--settle", "0",
               "--prefix", os.path.join(args.work, "wineprefix-" + arch),
               os.path.join(args.work, "desktop.png"), "--",
               sys.executable, os.path.abspath(script), "--target", "windows", "--inside",
               "--build", args.build, "--work", args.work, "--minutes", str(args.minutes),
               "--changes", str(args.changes), "--kills", str(args.kills),
               "--warm-up", str(args.warm_up), "--pictures", str(args.pictures),
               "--memory-rise", str(args.memory_rise),
               "--size", args.size, "--seed", str(args.seed)]
    status = subprocess.run(command).returncode
    if status not in (0, 1):
        print(f"soak: the Wine session failed ({status}); work in {args.work}", file=sys.stderr)
        return 2
    return status
