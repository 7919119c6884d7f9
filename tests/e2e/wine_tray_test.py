#!/usr/bin/env python3
"""The resident Pelmora.exe on a Wine virtual desktop, steered from outside.

One session, one resident program, driven the way a user and a second start
would: tray_driver posts commands and icon clicks to the window a second
start finds, reads its text (the icon's tooltip), its dialog and boxes and
the wallpaper the system reports; xdotool clicks the icon where a real click
matters. The groups, in order:
  icon       the icon appears with the running tooltip and the first change;
             a plain second start makes the resident instance change
  steer      second starts with /next, /previous and /exclude steer the
             resident instance; OnChange (the driver, recording) follows
             each change with the picture and the written file; /status
             writes the resident state to its output (a pipe: the ANSI
             code page, "\r\n")
  menu       a right click on the icon opens menu 102 (its texts are read
             from the executable); its first item changes the wallpaper
  commands   suspend shows the other icon and tip and removes the wallpaper,
             again when suspended; change while suspended does nothing,
             resume changes once, the shell commands open the source, the
             program folder, the page and the mail address (the shell's
             handlers are replaced by the driver, which records them), the
             folder chooser saves the chosen folder
  dblclick   every DoubleClick value does what it names; 5 does nothing
  dialog     the dialog shows the file, the enabling rule, a second start
             and "/suspend" reach the resident instance behind the dialog,
             Cancel writes nothing, OK writes the edits over what others
             wrote meanwhile and keeps every other entry
  timer      Interval(sec) = 2 from the dialog changes the wallpaper by itself
  errors     a missing image folder and an unreadable setting show their
             boxes and the program keeps changing
  hotkeys    a key of the settings, applied at a second start's reload,
             changes the wallpaper when pressed; an unreadable one gives one
             box naming its setting, once; a key another program holds
             gives its box
  exit       the menu's last item ends the program with code 0, the icon goes;
             then /next and /status find nobody, say so and end with 1
Screenshots of the desktop with the icon, the open menu and the open dialog
stay in the output folder.
"""

import json
import os
import shutil
import subprocess
import sys
import time

from e2e_support import (Checks, read_settings, rgb_bytes, run_inside_session, screenshot,
                         session_main, wait_for, windows_path, write_settings)

WIDTH, HEIGHT = 1024, 768
RUNNING_TIP = "Pelmora build-15"
SUSPENDED_TIP = "Pelmora [一時停止中] build-15"
MENU = [
    (40005, "壁紙の変更(&W)"),
    (40012, "前の壁紙に戻す(&B)"),
    (40013, "この画像を今後表示しない(&N)"),
    (40007, "現在の壁紙の元のファイルを開く(&O)"),
    (40002, "一時停止(&S)"),
    (40003, "再開(&R)"),
    None,
    (40001, "フォルダを選択(&F)"),
    (40008, "設定(&C)"),
    None,
    (40009, "実行ファイルのあるフォルダを開く(&M)"),
    (40010, "配布サイトを開く(&W)"),
    (40011, "作者へメールを送る(&E)"),
    None,
    (40004, "終了(&X)"),
]
DIALOG = "設定"
LISTS = {1013: "左|中央|右", 1014: "上|中央|下", 1021: "自動|デスクトップ"}
RADIOS = [1015, 1016, 1017, 1018, 1019]
# A change is written and set within this many seconds.
CHANGE_SECONDS = 10
# Long enough for a command that should do nothing to have done something.
QUIET_SECONDS = 2


def prepare(scratch, program, driver):
    shutil.rmtree(scratch, ignore_errors=True)
    folder = os.path.join(scratch, "resident")
    images = os.path.join(folder, "画像")
    os.makedirs(images)
    exe = os.path.join(folder, "Pelmora.exe")
    shutil.copy(program, exe)
    for name, colour in (("赤.png", "rgb(200,30,30)"), ("緑.png", "rgb(30,180,60)"),
                         ("青 ü.png", "rgb(40,60,200)")):
        subprocess.run(["convert", "-size", "320x180", "xc:" + colour,
                        "PNG24:" + os.path.join(images, name)], check=True)
    save_folder = os.path.join(folder, f"壁紙 😀 {time.time_ns()}")
    os.makedirs(save_folder)
    save_file = os.path.join(save_folder, "壁紙.bmp")
    settings = {
        # Relative, so that the folder chooser's answer (absolute) shows.
        "ImageDir": "画像\\",
        "SaveFile": windows_path(save_file),
        "SpiDir": "./spi/",
        "Interval(sec)": "3600",
        "WaitFirst": "false",
        "Suspend": "false",
        "RemoveOnSuspend": "true",
        "Resize": "true",
        "ResizeFixedAspectRatio": "true",
        "ResizeAlignH": "2",
        "ResizeAlignV": "1",
        "ResizeBgColor": "0",
        "ClearType": "false",
        "Sharp": "true",
        "DoubleClick": "1",
        # Not the program's: it must survive every save.
        "Extra": "kept = as is",
    }
    write_settings(os.path.join(folder, "Pelmora.cfg"), settings)

    # The shell's handlers for what the program opens record what they were
    # given instead of starting a viewer, a browser or a mail program.
    opened = os.path.join(scratch, "opened.txt")
    record = f'"{windows_path(driver)}" record "{windows_path(opened)}" "%1"'
    record = record.replace("\\", "\\\\").replace('"', '\\"')
    keys = ["PelmoraTest.image\\shell\\open\\command", "Folder\\shell\\open\\command",
            "http\\shell\\open\\command", "https\\shell\\open\\command",
            "mailto\\shell\\open\\command"]
    reg = ["REGEDIT4", "", "[HKEY_CLASSES_ROOT\\.png]", '@="PelmoraTest.image"', ""]
    for key in keys:
        # Wine's own handlers talk DDE first, and report its failure.
        ddeexec = key.replace("command", "ddeexec")
        reg += [f"[-HKEY_CLASSES_ROOT\\{ddeexec}]", "", f"[HKEY_CLASSES_ROOT\\{key}]",
                f'@="{record}"', ""]
    associations = os.path.join(scratch, "associations.reg")
    with open(associations, "w", encoding="ascii") as f:
        f.write("\r\n".join(reg))
    return {"folder": folder, "exe": exe, "images": images, "save_file": save_file,
            "opened": opened, "associations": associations, "settings": settings}


class Session:
    """What runs inside the Wine session."""

    def __init__(self, args, setup, checks):
        self.args = args
        self.setup = setup
        self.checks = checks
        self.cfg = os.path.join(setup["folder"], "Pelmora.cfg")
        self.wine = os.environ["WINE"]

    def drive(self, *command):
        # Commands that wait take their limit in milliseconds as last word.
        waits = int(command[-1]) if command[0] in ("find", "gone", "controls", "box", "tip") else 0
        try:
            run = subprocess.run([self.wine, self.args.driver, *map(str, command)],
                                 capture_output=True, timeout=30 + waits / 1000)
        except subprocess.TimeoutExpired:
            # Now and then a Wine process never comes up; that is the
            # session's trouble, not the program's, and worth another try.
            print(f"note: tray_driver {command} did not answer", flush=True)
            return None, ""
        return run.returncode, run.stdout.decode("utf-8", "replace").rstrip("\n")

    def text(self):
        return self.drive("text")[1]

    def command(self, ident):
        return self.drive("command", ident)[0] == 0

    def start(self, *arguments):
        return subprocess.Popen([self.wine, self.setup["exe"], *arguments])

    def second_start(self, *arguments):
        process = self.start(*arguments)
        try:
            return process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            return None

    def status(self):
        """A second start's /status: its exit code, the report's entries and
        its bytes as they came through the pipe."""
        try:
            run = subprocess.run([self.wine, self.setup["exe"], "/status"],
                                 capture_output=True, timeout=30)
        except subprocess.TimeoutExpired:
            return None, {}, b""
        entries = {}
        for line in run.stdout.decode("cp932", "replace").split("\r\n"):
            key, sep, value = line.partition(" = ")
            if sep:
                entries[key] = value
        return run.returncode, entries, run.stdout

    def settings(self):
        return read_settings(self.cfg)

    def edit_settings(self, **changes):
        entries = self.settings()
        entries.update(changes)
        write_settings(self.cfg, entries)

    def stamp(self):
        try:
            s = os.stat(self.setup["save_file"])
            return (s.st_mtime_ns, s.st_ino, s.st_size)
        except FileNotFoundError:
            return None

    def wait_change(self, before, seconds=CHANGE_SECONDS):
        """True when the wallpaper file was written again within seconds."""
        if not wait_for(lambda: self.stamp() != before, seconds):
            return False
        # Let the write finish and the wallpaper be set.
        time.sleep(0.5)
        return True

    def quiet(self, before):
        """True when nothing was written for a while."""
        return not self.wait_change(before, QUIET_SECONDS)

    def wait_text(self, expected, seconds=10):
        return wait_for(self.text, seconds, 0.2, until=lambda text: text == expected)

    def opened(self):
        try:
            with open(self.setup["opened"], encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f]
        except FileNotFoundError:
            return []

    def wait_opened(self, count, seconds=20):
        lines = wait_for(self.opened, seconds, 0.2, until=lambda lines: len(lines) >= count)
        return lines[count - 1] if len(lines) >= count else None

    def windows(self):
        return [line.split("\t") for line in self.drive("windows")[1].splitlines() if line]

    def controls(self, window=DIALOG, wait_ms=15000):
        code, out = self.drive("controls", window, wait_ms)
        if code != 0:
            return None
        result = {}
        for line in out.splitlines():
            fields = line.split("\t")
            result[int(fields[0])] = {
                "class": fields[1], "enabled": fields[2] == "1", "checked": fields[3] == "1",
                "selection": int(fields[4]) if fields[4] != "-" else None,
                "text": fields[5] if len(fields) > 5 else "",
                "items": fields[6] if len(fields) > 6 else None}
        return result

    def screenshot(self, name):
        return screenshot(os.path.join(self.args.shots, name))

    def icon(self):
        fields = self.drive("icon")[1].split()
        return (int(fields[0]), int(fields[1])) if len(fields) == 2 else (0, 0)

    def icon_tip(self, at):
        """The tip the taskbar shows while the pointer rests on the icon."""
        self.xdotool("mousemove", at[0], at[1])
        tip = self.drive("tip", 5000)[1]
        self.xdotool("mousemove", WIDTH // 2, HEIGHT // 2)
        return tip

    def shot_with_icon(self, name):
        """A screenshot with the taskbar drawn again over the wallpaper."""
        self.icon()
        time.sleep(0.5)
        return self.screenshot(name)

    @staticmethod
    def icon_pixels(shot, at):
        """The RGB bytes of the 12 x 12 pixels in the middle of the icon's place."""
        try:
            return rgb_bytes(shot, (at[0] - 6, at[1] - 6, 12, 12))
        except subprocess.CalledProcessError:
            return b""

    def icon_shown(self, shot, at):
        """An empty place on the taskbar is one flat colour; an icon is not."""
        raw = self.icon_pixels(shot, at)
        return len({raw[i:i + 3] for i in range(0, len(raw), 3)}) > 2

    def xdotool(self, *arguments):
        subprocess.run(["xdotool", *map(str, arguments)], check=False, timeout=30)

    def open_menu(self, at, seconds=10):
        """Right-clicks the icon; the screen rectangle of the menu that opens."""
        self.icon()
        self.xdotool("mousemove", at[0], at[1], "click", 3)

        def menu():
            for window in self.windows():
                if window[0] == "#32768" and len(window) > 2:
                    return tuple(int(v) for v in window[2].split())
            return None

        return wait_for(menu, seconds, 0.2)

    def menu_shown(self):
        return any(window[0] == "#32768" for window in self.windows())

    def choose_from_menu(self, menu, first):
        """Clicks the menu's first or last item (the others lie between)."""
        left, top, _, bottom = menu
        self.xdotool("mousemove", left + 20, top + 8 if first else bottom - 8, "click", 1)


def group_icon(s, c, program):
    # The first program of a fresh prefix takes long to come up.
    tip = wait_for(lambda: s.drive("find", 20000), 180, 0, until=lambda tip: tip[0] == 0)
    text = s.wait_text(RUNNING_TIP) if tip[0] == 0 else ""
    c.expect(text == RUNNING_TIP, f"icon: the tray window is there with the tooltip {text!r}")
    c.expect(s.wait_change(None), "icon: the first change happens at start")
    wallpaper = s.drive("wallpaper")[1]
    c.expect(wallpaper == windows_path(s.setup["save_file"]),
             f"icon: the system reports the saved file as wallpaper ({wallpaper!r})")
    at = s.icon()
    c.expect(s.icon_shown(s.shot_with_icon("tray_desktop.png"), at),
             f"icon: the icon is in the notification area at {at}")
    tip = s.icon_tip(at)
    c.expect(tip == RUNNING_TIP, f"icon: its tip reads {tip!r}")

    before = s.stamp()
    code = s.second_start()
    c.expect(code == 0, f"second start: ends with code {code}")
    c.expect(s.wait_change(before), "second start: the resident instance changes the wallpaper")
    c.expect(program.poll() is None, "second start: the resident instance keeps running")
    return at


def group_steer(s, c):
    log = os.path.join(os.path.dirname(s.setup["opened"]), "changes.txt")
    s.edit_settings(OnChange=f'"{windows_path(os.path.abspath(s.args.driver))}" record '
                    f'"{windows_path(log)}" %f %w')

    def changes():
        try:
            with open(log, encoding="utf-8") as f:
                return [line.split("\t") for line in f.read().splitlines()]
        except FileNotFoundError:
            return []

    def step(switch, count):
        before = s.stamp()
        code = s.second_start(switch)
        c.expect(code == 0 and s.wait_change(before),
                 f"{switch}: ends with code {code} and the wallpaper changes")
        seen = wait_for(changes, 10, 0.2, until=lambda lines: len(lines) >= count)
        return seen[count - 1] if seen and len(seen) >= count else None

    first, second = step("/next", 1), step("/next", 2)
    c.expect(first and second and first[0] != second[0],
             f"/next twice: two pictures ({first}, {second})")
    c.expect(first and first[1:] == [windows_path(s.setup["save_file"])],
             f"OnChange: the picture and the written file, each one argument ({first})")
    back = step("/previous", 3)
    c.expect(back == first, f"/previous: the picture before ({back})")
    after = step("/exclude", 4)
    c.expect(after and first and after[0] != first[0], f"/exclude: another picture ({after})")
    excluded = os.path.join(s.setup["folder"], "Pelmora.exclude")
    try:
        with open(excluded, encoding="utf-16") as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        lines = None
    name = first[0].rsplit("\\", 1)[-1] if first else None
    c.expect(lines == [name], f"/exclude: the list holds {lines}, not [{name!r}]")

    code, status, raw = s.status()
    c.expect(code == 0, f"/status: ends with code {code}")
    c.expect(raw.endswith(b"\r\n") and raw.count(b"\n") == raw.count(b"\r\n"),
             f"/status: every line ends in CR LF ({raw[:80]!r})")
    # "ü" is not in code page 932: a '?' there, never a look-alike.
    shown = after[0].encode("cp932", "replace").decode("cp932") if after else None
    c.expect(shown and status.get("Current") == shown,
             f"/status: Current is the picture on show ({status.get('Current')!r}, {after})")
    c.expect(status.get("Suspend") == "false" and status.get("Excluded") == "1",
             f"/status: Suspend = false, Excluded = 1 ({status})")
    c.expect(status.get("ImageDir") == windows_path(s.setup["images"]) + "\\",
             f"/status: ImageDir is the full image folder ({status.get('ImageDir')!r})")
    numbers = [status.get(k, "") for k in ("NextChange(sec)", "Pictures", "Shown")]
    c.expect(all(n.isdigit() for n in numbers) and int(numbers[0]) <= 3600
             and int(numbers[2]) <= int(numbers[1]),
             f"/status: NextChange(sec) within the interval, Shown of Pictures ({numbers})")
    # The other groups want every picture and no hook.
    if os.path.exists(excluded):
        os.remove(excluded)
    entries = s.settings()
    entries.pop("OnChange", None)
    write_settings(s.cfg, entries)


def group_menu(s, c, icon_at):
    code, out = s.drive("menu", s.setup["exe"])
    items = [None if line == "-" else line.split("\t") for line in out.splitlines()]
    expected = [None if i is None else [str(i[0]), i[1], "0"] for i in MENU]
    c.expect(code == 0 and items == expected,
             "menu: resource 102 holds the items, texts and separators in order, "
             "none disabled or checked" + ("" if items == expected else f" (got {items})"))

    before = s.stamp()
    menu = s.open_menu(icon_at)
    if c.expect(menu is not None, "menu: a right click on the icon opens the menu"):
        s.screenshot("tray_menu.png")
        s.choose_from_menu(menu, first=True)
        c.expect(s.wait_change(before), "menu: its first item changes the wallpaper")
        c.expect(not s.menu_shown(), "menu: the menu has closed")


def group_commands(s, c, icon_at):
    running_shot = s.shot_with_icon("tray_running.png")
    s.command(40002)
    c.expect(s.wait_text(SUSPENDED_TIP) == SUSPENDED_TIP, "40002: the tooltip says suspended")
    c.expect(s.settings().get("Suspend") == "true", "40002: Suspend = true in the file")
    c.expect(s.drive("wallpaper")[1] == "", "40002: the wallpaper is removed (RemoveOnSuspend)")
    suspended_shot = s.shot_with_icon("tray_suspended.png")
    c.expect(s.icon_pixels(running_shot, icon_at) != s.icon_pixels(suspended_shot, icon_at),
             "40002: the icon shows the suspended state")
    tip = s.icon_tip(icon_at)
    c.expect(tip == SUSPENDED_TIP, f"40002: the icon's tip reads {tip!r}")
    # Suspending again removes the wallpaper again.
    s.drive("set-wallpaper", windows_path(s.setup["save_file"]))
    s.command(40002)
    c.expect(wait_for(lambda: s.drive("wallpaper")[1] == "", 10, 0.2),
             "40002 again: the wallpaper is removed again")
    c.expect(s.text() == SUSPENDED_TIP, "40002 again: still suspended")
    before = s.stamp()
    s.command(40005)
    c.expect(s.quiet(before), "40005 while suspended: nothing is written")

    s.command(40003)
    c.expect(s.wait_change(before), "40003: resuming changes the wallpaper")
    c.expect(s.text() == RUNNING_TIP, "40003: the tooltip shows the running state")
    c.expect(s.settings().get("Suspend") == "false", "40003: Suspend = false in the file")
    c.expect(s.drive("wallpaper")[1] == windows_path(s.setup["save_file"]),
             "40003: the wallpaper is set again")
    before = s.stamp()
    s.command(40003)
    c.expect(s.quiet(before), "40003 while running: nothing changes")
    s.command(40005)
    c.expect(s.wait_change(before), "40005: the wallpaper changes now")

    s.command(40007)
    source = s.wait_opened(1)
    images = windows_path(s.setup["images"])
    c.expect(source is not None and source.startswith(images + "\\") and source.endswith(".png"),
             f"40007: the shell opens the current picture ({source!r})")
    s.command(40009)
    folder = s.wait_opened(2)
    # A folder path ends in a backslash, which makes "%1" end in a quote.
    c.expect(folder is not None
             and folder.rstrip('"\\') == windows_path(s.setup["folder"]),
             f"40009: the shell opens the program's folder ({folder!r})")
    s.command(40010)
    page = s.wait_opened(3)
    c.expect(page is not None and page.startswith("http"),
             f"40010: the shell opens the project page ({page!r})")
    s.command(40011)
    mail = s.wait_opened(4)
    c.expect(mail is not None and mail.startswith("mailto:"),
             f"40011: the shell opens the mail address ({mail!r})")

    # The chooser starts in the image folder; confirming it saves that
    # folder, expanded. (Wine's chooser finds a start folder on C: only.)
    images = s.settings()["ImageDir"]
    s.edit_settings(ImageDir="%windir%\\")
    s.command(40001)
    chooser = "~画像フォルダの設定"
    c.expect(s.controls(chooser) is not None, "40001: the folder chooser opens with its title")
    s.drive("end", chooser, 1)
    chosen = wait_for(lambda: s.settings()["ImageDir"], 10, 0.2,
                      until=lambda folder: folder != "%windir%\\")
    c.expect(chosen.rstrip("\\").lower() == "c:\\windows",
             f"40001: OK saves the chosen folder ({chosen!r})")
    s.edit_settings(ImageDir=images)
    return len(s.opened())


def group_double_click(s, c, icon_at, opened_count):
    x, y = icon_at
    before = s.stamp()
    s.edit_settings(DoubleClick="1")
    s.xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 80, 1)
    # Away from the icon, so that its tooltip covers nothing later.
    s.xdotool("mousemove", WIDTH // 2, HEIGHT // 2)
    c.expect(s.wait_change(before), "double click 1 (a real one): the wallpaper changes")

    s.edit_settings(DoubleClick="3")
    s.drive("tray", "dblclk")
    c.expect(s.wait_text(SUSPENDED_TIP) == SUSPENDED_TIP, "double click 3: suspends when running")
    before = s.stamp()
    s.drive("tray", "dblclk")
    c.expect(s.wait_text(RUNNING_TIP) == RUNNING_TIP, "double click 3: resumes when suspended")
    c.expect(s.wait_change(before), "double click 3: resuming changes the wallpaper")

    s.edit_settings(DoubleClick="2")
    s.drive("tray", "dblclk")
    source = s.wait_opened(opened_count + 1)
    c.expect(source is not None and source.endswith(".png"),
             f"double click 2: the current picture opens ({source!r})")

    s.edit_settings(DoubleClick="4")
    s.drive("tray", "dblclk")
    c.expect(s.controls() is not None, "double click 4: the settings dialog opens")
    s.drive("click", DIALOG, 2)

    s.edit_settings(DoubleClick="0")
    s.drive("tray", "dblclk")
    chooser = "~画像フォルダの設定"
    c.expect(s.controls(chooser) is not None, "double click 0: the folder chooser opens")
    s.drive("end", chooser, 2)

    s.edit_settings(DoubleClick="5")
    before = s.stamp()
    s.drive("tray", "dblclk")
    c.expect(s.quiet(before) and s.windows() == [] and s.text() == RUNNING_TIP,
             "double click 5: nothing happens")


def group_dialog(s, c):
    s.edit_settings(WaitFirst="true", DoubleClick="3")

    s.command(40008)
    controls = s.controls()
    if not c.expect(controls is not None, "dialog: 40008 opens the settings dialog"):
        return
    s.shot_with_icon("tray_dialog.png")
    f = s.settings()
    shown = {
        1002: controls[1002]["text"] == f["ImageDir"],
        1004: controls[1004]["text"] == f["SaveFile"],
        1006: controls[1006]["text"] == f["SpiDir"],
        1008: controls[1008]["text"] == f["Interval(sec)"],
        1010: controls[1010]["checked"] == (f["WaitFirst"] == "false"),
        1009: controls[1009]["checked"] == (f["Resize"] == "true"),
        1020: controls[1020]["checked"] == (f["ResizeFixedAspectRatio"] == "true"),
        1011: controls[1011]["checked"] == (f["Sharp"] == "true"),
        1012: controls[1012]["checked"] == (f["RemoveOnSuspend"] == "true"),
        1013: controls[1013]["selection"] == int(f["ResizeAlignH"]),
        1014: controls[1014]["selection"] == int(f["ResizeAlignV"]),
        1021: controls[1021]["selection"] == int(f["ResizeBgColor"]),
        "radio": [controls[r]["checked"] for r in RADIOS] == [
            i == int(f["DoubleClick"]) for i in range(5)],
        "lists": all(controls[i]["items"] == items for i, items in LISTS.items()),
    }
    wrong = [k for k, ok in shown.items() if not ok]
    c.expect(not wrong, f"dialog: the controls show the file's values (wrong: {wrong})")

    def enabled():
        now = s.controls()
        return [now[i]["enabled"] for i in (1020, 1013, 1014, 1021)]

    c.expect(enabled() == [True] * 4, "dialog: resize with fixed ratio enables ratio and lists")
    s.drive("click", DIALOG, 1020)
    c.expect(enabled() == [True, False, False, False], "dialog: ratio unticked disables the lists")
    s.drive("click", DIALOG, 1009)
    c.expect(enabled() == [False] * 4, "dialog: resize unticked disables ratio and lists")
    s.drive("click", DIALOG, 1009)
    s.drive("click", DIALOG, 1020)
    c.expect(enabled() == [True] * 4, "dialog: ticking both again enables everything")

    # Behind the dialog: a plain second start changes the wallpaper, a
    # "/suspend" reaches the icon.
    before = s.stamp()
    c.expect(s.second_start() == 0 and s.wait_change(before),
             "dialog open: a second start makes the resident instance change")
    c.expect(s.second_start("/suspend") == 0
             and s.wait_text(SUSPENDED_TIP) == SUSPENDED_TIP,
             "dialog open: /suspend from a second start reaches the tooltip")
    c.expect(s.drive("wallpaper")[1] == "", "/suspend: the wallpaper is removed (RemoveOnSuspend)")
    written = open(s.cfg, "rb").read()
    s.drive("click", DIALOG, 2)
    # A Cancel that wrote would have written before the dialog closed.
    wait_for(lambda: s.windows() == [], 10, 0.2)
    c.expect(open(s.cfg, "rb").read() == written,
             "dialog Cancel: the file stays as it was (the suspension stands)")

    s.command(40008)
    s.controls()
    c.expect(s.second_start("/resume") == 0 and s.wait_text(RUNNING_TIP) == RUNNING_TIP,
             "dialog open: /resume from a second start reaches the tooltip")
    s.drive("set-text", DIALOG, 1008, "2")
    s.drive("select", DIALOG, 1013, 0)
    s.drive("click", DIALOG, 1011)
    s.drive("click", DIALOG, 1010)
    s.drive("click", DIALOG, 1016)
    before_ok = s.settings()
    s.drive("click", DIALOG, 1)
    after = wait_for(s.settings, 10, 0.2, until=lambda now: now != before_ok)
    edits = {"Interval(sec)": "2", "ResizeAlignH": "0", "Sharp": "false",
             "WaitFirst": "false", "DoubleClick": "1"}
    c.expect(all(after.get(k) == v for k, v in edits.items()),
             f"dialog OK: the edits are written ({ {k: after.get(k) for k in edits} })")
    kept = {k: v for k, v in before_ok.items() if k not in edits}
    changed = {k: (v, after.get(k)) for k, v in kept.items() if after.get(k) != v}
    c.expect(not changed, f"dialog OK: every other entry stays as the file had it ({changed})")
    c.expect(s.windows() == [], "dialog OK: the dialog has closed")


def group_timer(s, c):
    # A change command applies the new interval; then the timer runs alone.
    before = s.stamp()
    s.command(40005)
    c.expect(s.wait_change(before), "timer: 40005 changes and applies Interval(sec) = 2")
    stamps = [s.stamp()]
    start = time.monotonic()
    while time.monotonic() - start < 9 and len(stamps) < 4:
        if s.wait_change(stamps[-1], 4):
            stamps.append(s.stamp())
    took = time.monotonic() - start
    c.expect(len(stamps) >= 3, f"timer: {len(stamps) - 1} changes by itself in {took:.1f} s")
    s.edit_settings(**{"Interval(sec)": "3600"})
    before = s.stamp()
    s.command(40005)
    s.wait_change(before)


def group_errors(s, c, program):
    images = s.settings()["ImageDir"]
    missing = windows_path(os.path.join(s.setup["folder"], "どこにもない")) + "\\"
    s.edit_settings(ImageDir=missing)
    s.command(40005)
    code, out = s.drive("box", 20000)
    lines = out.splitlines()
    c.expect(code == 0 and lines == ["エラー", f"画像フォルダ '{missing}' が見つかりません"],
             f"missing image folder: the box {lines}")
    s.edit_settings(ImageDir=images)
    before = s.stamp()
    s.command(40005)
    c.expect(program.poll() is None and s.wait_change(before),
             "missing image folder: the program keeps running and changes")

    s.edit_settings(Suspend="maybe")
    s.command(40005)
    code, out = s.drive("box", 20000)
    lines = out.splitlines()
    c.expect(code == 0 and lines == ["エラー (3)",
                                     "コンフィグデータ 'Suspend' (真偽値)の読み込みに失敗しました"],
             f"unreadable setting: the box {lines}")
    s.edit_settings(Suspend="false")
    before = s.stamp()
    s.command(40005)
    c.expect(program.poll() is None and s.wait_change(before),
             "unreadable setting: the program keeps running and changes")


def group_hotkeys(s, c, program):
    # A key of the settings takes effect at the reload of a second start.
    s.edit_settings(HotKeyNext="Ctrl+Alt+Right")
    before = s.stamp()
    c.expect(s.second_start() == 0 and s.wait_change(before),
             "hotkeys: a second start reloads the settings")
    before = s.stamp()
    s.xdotool("mousemove", WIDTH // 2, HEIGHT // 2)
    s.xdotool("key", "ctrl+alt+Right")
    c.expect(s.wait_change(before), "hotkeys: Ctrl+Alt+Right changes the wallpaper")

    # An unreadable key: one box naming the setting, not one at every reload.
    s.edit_settings(HotKeyNext="Ctrl+Nope")
    s.second_start()
    code, out = s.drive("box", 20000)
    c.expect(code == 0 and "HotKeyNext" in out,
             f"hotkeys: Ctrl+Nope gives a box naming HotKeyNext ({out!r})")
    s.second_start()
    code, out = s.drive("box", 3000)
    c.expect(code != 0, f"hotkeys: the same value at the next reload, no second box ({out!r})")

    # Another resident program (a copy under another name is a program of
    # its own, with its settings named after it) holds Ctrl+Alt+Up once its
    # first change is done.
    holder_dir = os.path.join(os.path.dirname(s.setup["folder"]), "holder")
    os.makedirs(holder_dir, exist_ok=True)
    holder_exe = os.path.join(holder_dir, "Holder.exe")
    shutil.copy(s.setup["exe"], holder_exe)
    holder_saved = os.path.join(holder_dir, "held.bmp")
    write_settings(os.path.join(holder_dir, "Holder.cfg"), {
        "ImageDir": windows_path(s.setup["images"]) + "\\",
        "SaveFile": windows_path(holder_saved), "Interval(sec)": "3600", "WaitFirst": "false",
        "Suspend": "false", "HotKeyNext": "Ctrl+Alt+Up"})
    holder = subprocess.Popen([s.wine, holder_exe])
    try:
        if c.expect(wait_for(lambda: os.path.exists(holder_saved), 30),
                    "hotkeys: the other program has started"):
            time.sleep(1)
            s.edit_settings(HotKeyNext="", HotKeyPrevious="Ctrl+Alt+Up")
            s.second_start()
            code, out = s.drive("box", 15000)
            c.expect(code == 0 and "Ctrl+Alt+Up" in out and "HotKeyPrevious" in out,
                     f"hotkeys: a key another program holds gives its box ({out!r})")
    finally:
        holder.kill()
        holder.wait(timeout=30)
    s.edit_settings(HotKeyPrevious="")
    c.expect(program.poll() is None, "hotkeys: the program keeps running")


def group_exit(s, c, program, icon_at):
    menu = s.open_menu(icon_at)
    if not c.expect(menu is not None, "exit: the menu opens again"):
        s.command(40004)
    else:
        s.choose_from_menu(menu, first=False)
    c.expect(s.drive("gone", 20000)[0] == 0, "exit: its last item closes the tray window")
    try:
        code = program.wait(timeout=30)
    except subprocess.TimeoutExpired:
        code = None
    c.expect(code == 0, f"exit: the program ends with code {code}")
    c.expect(not s.icon_shown(s.shot_with_icon("tray_after_exit.png"), icon_at),
             "exit: the icon goes")

    for request in ("/next", "/status"):
        alone = s.start(request)
        code, out = s.drive("box", 20000)
        c.expect(code == 0 and "常駐しているPelmoraが見つかりません" in out,
                 f"{request} without a resident instance: the box says so ({out!r})")
        try:
            code = alone.wait(timeout=30)
        except subprocess.TimeoutExpired:
            alone.kill()
            code = None
        c.expect(code == 1, f"{request} without a resident instance: ends with code {code}")

def inside(args):
    setup = json.loads(args.setup)
    checks = Checks(args.results)
    s = Session(args, setup, checks)
    subprocess.run([s.wine, "regedit", "/S", setup["associations"]], check=False, timeout=120)
    program = s.start()
    try:
        icon_at = group_icon(s, checks, program)
        group_steer(s, checks)
        group_menu(s, checks, icon_at)
        opened = group_commands(s, checks, icon_at)
        group_double_click(s, checks, icon_at, opened)
        group_dialog(s, checks)
        group_timer(s, checks)
        group_errors(s, checks, program)
        group_hotkeys(s, checks, program)
        group_exit(s, checks, program, icon_at)
    except Exception as error:  # a step that could not run is a failure too
        checks.fail(f"the scenario ran to its end ({type(error).__name__}: {error})")
    finally:
        if program.poll() is None:
            program.kill()
    return 0


def outside(args):
    out = os.path.abspath(args.out)
    scratch = os.path.join(out, "tray")
    setup = prepare(scratch, args.program, os.path.abspath(args.driver))
    for name in ("wine_tray.png", "tray_desktop.png", "tray_menu.png", "tray_dialog.png"):
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    checks = Checks()
    failures = run_inside_session(
        checks, args, __file__,
        ["--shell", "--size", f"{WIDTH}x{HEIGHT}", "--timeout", "500",
         # A prefix of its own: a session running beside another one on
         # the same prefix would share its desktop and windows.
         "--prefix", os.path.join(out, "wineprefix-tray"), os.path.join(out, "wine_tray.png")],
        os.path.join(scratch, "failures.json"),
        ["--driver", os.path.abspath(args.driver), "--shots", out, "--setup", json.dumps(setup)])
    if failures is None:
        return 1
    for name in ("tray_desktop.png", "tray_menu.png", "tray_dialog.png"):
        checks.expect(os.path.exists(os.path.join(out, name)), f"screenshot {name} kept")
    print(f"screenshots: {out}/tray_*.png")
    checks.failures = failures + checks.failures
    return checks.verdict()


if __name__ == "__main__":
    sys.exit(session_main(inside, outside, ("--driver", "--shots", "--setup"),
                          required=("--driver",)))
