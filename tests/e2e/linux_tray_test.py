#!/usr/bin/env python3
"""The resident Linux pelmora with its tray icon, seen by the two kinds of tray.

  linux_tray_test.py --program PELMORA --out FOLDER xembed
      On Xvfb with trayer, a tray host of the old XEmbed kind: the first
      change reaches the root window, the icon shows in the tray (the sun of
      the running picture in a screenshot), a right click opens the menu,
      its suspend item (access key S) saves Suspend and swaps the icon for
      the suspended one, "/resume" and a plain second start from other
      processes reach it and change the wallpaper, its settings item opens
      the dialog and Escape
      closes it without writing; hotkeys written into the settings are
      grabbed once a second start reports the change (Ctrl+Alt+Right
      changes the wallpaper), a value that is no key and one another client
      holds give one box each, and only once;
      its exit item ends the program with 0.
  linux_tray_test.py --program PELMORA --out FOLDER sni
      Under dbus-run-session with a status-notifier watcher of our own (this
      file, run with --watcher): the program registers an item whose
      properties carry the tooltip and the running picture, whose
      activation (a click there) runs the double-click action, whose menu
      layout holds the menu's items, and whose menu events run the
      commands (suspend changes the tip; exit ends the program).

Screenshots (xembed) stay in FOLDER: linux-tray-desktop.png (wallpaper and
icon), linux-tray-menu.png, linux-tray-suspended.png, linux-tray-dialog.png.
Exit code 0 when every check passed, 1 when one failed, 2 for bad usage.
"""

import argparse
import ctypes
import os
import select
import shutil
import subprocess
import sys
import time

from e2e_support import (Checks, Xvfb, close, copy_program, read_settings, rgb_bytes, screenshot,
                         wait_for, write_settings)

WIDTH, HEIGHT = 800, 600
RUNNING_TIP = "Pelmora build-15"
SUSPENDED_TIP = "Pelmora [一時停止中] build-15"
SUN = (255, 210, 60)
CHECKS = Checks()
# Debian's D-Bus bindings (python3-dbus, python3-gi) belong to the system's
# interpreter, whichever python3 comes first on the path.
SYSTEM_PYTHON = "/usr/bin/python3"


def expect_exit(process, what):
    """The program ends with 0 within 10 s after what ended it."""
    try:
        code = process.wait(10)
        if code != 0:
            CHECKS.fail(f"{what} ended the program with {code}")
    except subprocess.TimeoutExpired:
        CHECKS.fail(f"{what} did not end the program")


def prepare(out, program, name):
    """A scratch folder with the program, one picture and its settings."""
    work = os.path.join(out, name + ".work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "images"))
    os.makedirs(os.path.join(work, "home"))
    os.makedirs(os.path.join(work, "run"), mode=0o700)
    copy_program(program, work, "pelmora")
    subprocess.run(["convert", "-size", "640x400", "xc:#208040",
                    os.path.join(work, "images", "green.png")], check=True)
    settings = os.path.join(work, "pelmora.cfg")
    # Beside the program in a writable folder: the settings of this copy
    # alone, whatever the user's own are.
    write_settings(settings, {
        "ImageDir": os.path.join(work, "images") + "/",
        "SaveFile": os.path.join(work, "out", "Pelmora.bmp"),
        "WaitFirst": "false",
        "Interval(sec)": "3600",
    })
    env = dict(os.environ, HOME=os.path.join(work, "home"),
               XDG_RUNTIME_DIR=os.path.join(work, "run"))
    # The tray and the bare X11 desktop are under test, whatever session
    # runs the tests.
    for name in ("QT_QPA_PLATFORM", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "SWAYSOCK",
                 "HYPRLAND_INSTANCE_SIGNATURE"):
        env.pop(name, None)
    return work, settings, env


def run(args, env, **kwargs):
    return subprocess.run(args, env=env, capture_output=True, text=True, **kwargs)


def find_colour(path, colour, area):
    """The points of a screenshot's rectangle that show about that colour."""
    x, y, w, _ = area
    raw = rgb_bytes(path, area)
    return [(x + n % w, y + n // w) for n in range(len(raw) // 3)
            if close(raw[3 * n:3 * n + 3], colour, 24)]


def visible_windows(env):
    found = run(["xdotool", "search", "--onlyvisible", "--classname", "pelmora"], env)
    return set(found.stdout.split())


def tray_owned(display):
    """True once a tray host owns the system-tray selection of the screen:
    an icon made before that finds no tray."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    connection = ctypes.c_void_p(x11.XOpenDisplay(display.encode()))
    if not connection:
        return False
    try:
        atom = x11.XInternAtom(connection, b"_NET_SYSTEM_TRAY_S0", 0)
        return x11.XGetSelectionOwner(connection, ctypes.c_ulong(atom)) != 0
    finally:
        x11.XCloseDisplay(connection)


# Xlib through ctypes: enough to hold a key without modules the machine may
# lack.
CONTROL_MASK, MOD1_MASK = 1 << 2, 1 << 3


def xlib(display):
    x11 = ctypes.CDLL("libX11.so.6")
    for name in ("XOpenDisplay", "XDefaultRootWindow", "XStringToKeysym"):
        getattr(x11, name).restype = ctypes.c_ulong if name != "XOpenDisplay" else ctypes.c_void_p
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                             ctypes.c_int, ctypes.c_int, ctypes.c_int]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError("no X display " + display)
    return x11, ctypes.c_void_p(connection)


def hold_key(display, keysym, modifiers):
    """Grabs the key as another program would, says "held", and keeps it
    until it is ended."""
    x11, connection = xlib(display)
    keycode = x11.XKeysymToKeycode(connection, x11.XStringToKeysym(keysym.encode()))
    x11.XGrabKey(connection, keycode, modifiers, x11.XDefaultRootWindow(connection), 0, 1, 1)
    x11.XSync(connection, 0)
    print("held", flush=True)
    sys.stdin.read()


def check_hotkeys(work, settings, env, bmp, second_start):
    """The HotKey settings, taken up at a second start."""
    holder = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--hold-key",
                               env["DISPLAY"]], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True)
    try:
        if holder.stdout.readline().strip() != "held":
            CHECKS.fail("the helper could not hold Ctrl+Alt+Left")
            return
        entries = read_settings(settings)
        entries.update({"Suspend": "false", "HotKeyNext": "Ctrl+Alt+Right",
                        "HotKeyPrevious": "Ctrl+Nope", "HotKeyExclude": "ctrl + alt + left"})
        write_settings(settings, entries)

        def boxes():
            return run(["xdotool", "search", "--onlyvisible", "--name", "^エラー$"],
                       env).stdout.split()

        # One box for each bad value, the next once the one before is closed.
        second_start()
        count = 0
        # Two are due, each given time on a loaded machine; a third is not.
        while box := wait_for(boxes, 10 if count < 2 else 3):
            count += 1
            if count > 3:
                break
            time.sleep(0.3)
            run(["xdotool", "windowfocus", "--sync", box[0], "key", "Return"], env)
            wait_for(lambda: box[0] not in boxes(), 5)
        if count != 2:
            CHECKS.fail(f"{count} boxes about the two bad hotkeys, not 2")

        stamp = os.stat(bmp).st_mtime_ns
        run(["xdotool", "key", "ctrl+alt+Right"], env)
        if not wait_for(lambda: os.stat(bmp).st_mtime_ns != stamp, 10):
            CHECKS.fail("Ctrl+Alt+Right did not change the wallpaper")

        # Told once: the same values at the next second start say nothing.
        second_start()
        time.sleep(2)
        if boxes():
            CHECKS.fail("the same bad hotkeys were reported again")
            for box in boxes():
                run(["xdotool", "windowfocus", "--sync", box, "key", "Return"], env)
    finally:
        holder.stdin.close()
        holder.wait()


def xembed(program, out):
    work, settings, env = prepare(out, program, "linux_tray_xembed")
    xvfb = Xvfb(WIDTH, HEIGHT)
    env["DISPLAY"] = xvfb.display
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                             "request", "--height", "32", "--transparent", "false",
                             "--tint", "0x404040", "--SetDockType", "true"],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pelmora = None
    try:
        if not wait_for(lambda: tray_owned(xvfb.display), 10):
            CHECKS.fail("the tray did not start")
            return
        pelmora = subprocess.Popen([os.path.join(work, "pelmora")], cwd=work, env=env,
                                   stderr=open(os.path.join(work, "stderr.txt"), "w"))
        bmp = os.path.join(work, "out", "Pelmora.bmp")
        wait_for(lambda: os.path.exists(bmp) or pelmora.poll() is not None, 30)
        if pelmora.poll() is not None:
            CHECKS.fail(f"the program ended at the start with code {pelmora.returncode}")
            return
        if not os.path.exists(bmp):
            CHECKS.fail("no wallpaper written after the start")
        tray_area = (WIDTH - 200, 0, 200, 32)
        shot = os.path.join(out, "linux-tray-desktop.png")
        sun = wait_for(lambda: find_colour(screenshot(shot, env), SUN, tray_area), 15)
        if not sun:
            CHECKS.fail("the running icon is not in the tray")
            return
        if not close(rgb_bytes(shot, (100, 300, 1, 1)), (0x20, 0x80, 0x40), 2):
            CHECKS.fail("the root window does not show the green wallpaper")
        x = sum(p[0] for p in sun) // len(sun)
        y = sum(p[1] for p in sun) // len(sun)

        def open_menu():
            before = visible_windows(env)
            run(["xdotool", "mousemove", str(x), str(y), "click", "3"], env)
            return wait_for(lambda: visible_windows(env) - before, 5)

        if not open_menu():
            CHECKS.fail("a right click on the icon opened no window")
        time.sleep(0.5)
        screenshot(os.path.join(out, "linux-tray-menu.png"), env)
        run(["xdotool", "key", "s"], env)
        if not wait_for(lambda: read_settings(settings).get("Suspend") == "true", 5):
            CHECKS.fail("the menu's suspend item did not save Suspend = true")
        shot = os.path.join(out, "linux-tray-suspended.png")
        if not wait_for(lambda: not find_colour(screenshot(shot, env), SUN, tray_area), 5):
            CHECKS.fail("the icon still shows the running picture after suspending")
        elif not find_colour(shot, (200, 60, 30), tray_area):
            CHECKS.fail("the suspended icon's pause bars are not in the tray")

        # "/resume" from a second process reaches the resident program,
        # which changes at once; a plain second start has it change again.
        def second_start(*switches):
            try:
                started = subprocess.run([os.path.join(work, "pelmora"), *switches], cwd=work,
                                         env=env, capture_output=True, timeout=20)
            except subprocess.TimeoutExpired:
                CHECKS.fail(f"second start {switches} stayed")
                return
            if started.returncode != 0 or started.stderr:
                CHECKS.fail(f"second start {switches}: code {started.returncode}, "
                            f"{started.stderr!r}")

        for switches in (["/resume"], []):
            stamp = os.stat(bmp).st_mtime_ns
            second_start(*switches)
            if not wait_for(lambda: os.stat(bmp).st_mtime_ns != stamp, 10):
                CHECKS.fail(f"second start {switches}: the resident program did not change")
        shot = os.path.join(work, "resumed.png")
        if not wait_for(lambda: find_colour(screenshot(shot, env), SUN, tray_area), 5):
            CHECKS.fail("the icon did not return to the running picture after /resume")

        before = open(settings, "rb").read()
        open_menu()
        run(["xdotool", "key", "c"], env)
        def dialogs():
            return run(["xdotool", "search", "--onlyvisible", "--name", "^設定$"],
                       env).stdout.split()

        dialog = wait_for(dialogs, 10)
        if not dialog:
            CHECKS.fail("the menu's settings item opened no dialog")
        else:
            time.sleep(0.5)
            screenshot(os.path.join(out, "linux-tray-dialog.png"), env)
            run(["xdotool", "key", "--window", dialog[0], "Escape"], env)
            if not wait_for(lambda: not dialogs(), 5):
                CHECKS.fail("Escape did not close the dialog")
            if open(settings, "rb").read() != before:
                CHECKS.fail("closing the dialog without OK changed the settings file")

        check_hotkeys(work, settings, env, bmp, second_start)

        open_menu()
        run(["xdotool", "key", "x"], env)
        expect_exit(pelmora, "the exit item")
    finally:
        if pelmora and pelmora.poll() is None:
            pelmora.kill()
            pelmora.wait()
        tray.terminate()
        tray.wait()
        xvfb.stop()


# The status-notifier side: a watcher that also says a host is there, and
# a client that reads the item as a panel would.

def watcher():
    import dbus
    import dbus.mainloop.glib
    import dbus.service
    from gi.repository import GLib

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    interface = "org.kde.StatusNotifierWatcher"

    class Watcher(dbus.service.Object):
        def __init__(self, bus):
            super().__init__(bus, "/StatusNotifierWatcher")
            self.items = []

        @dbus.service.method(interface, in_signature="s", sender_keyword="sender")
        def RegisterStatusNotifierItem(self, service, sender=None):
            full = sender + service if service.startswith("/") else service
            self.items.append(full)
            print("item " + full, flush=True)
            self.StatusNotifierItemRegistered(full)

        @dbus.service.method(interface, in_signature="s")
        def RegisterStatusNotifierHost(self, service):
            pass

        @dbus.service.signal(interface, signature="s")
        def StatusNotifierItemRegistered(self, service):
            pass

        # Qt reads the properties through the introspection data, which
        # python-dbus would leave without them.
        @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
        def Introspect(self):
            return f"""<node><interface name="{interface}">
              <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
              <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
              <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
              <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
              <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
              <property name="ProtocolVersion" type="i" access="read"/>
            </interface></node>"""

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
        def Get(self, name, prop):
            return self.GetAll(name)[prop]

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
        def GetAll(self, name):
            return {
                "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": True,
                "ProtocolVersion": dbus.Int32(0),
            }

    bus = dbus.SessionBus()
    keep = dbus.service.BusName(interface, bus)
    Watcher(bus)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del keep


def sni_inside(program, out):
    import dbus

    work, settings, env = prepare(out, program, "linux_tray_sni")
    xvfb = Xvfb(WIDTH, HEIGHT)
    env["DISPLAY"] = xvfb.display
    watch = subprocess.Popen([SYSTEM_PYTHON, os.path.abspath(__file__), "--watcher"],
                             stdout=subprocess.PIPE, text=True)
    pelmora = None
    try:
        if watch.stdout.readline().strip() != "ready":
            CHECKS.fail("the watcher did not start")
            return
        pelmora = subprocess.Popen([os.path.join(work, "pelmora")], cwd=work, env=env,
                                   stderr=open(os.path.join(work, "stderr.txt"), "w"))
        line = ""
        if select.select([watch.stdout], [], [], 15)[0]:
            line = watch.stdout.readline().strip()
        if not line.startswith("item "):
            CHECKS.fail("the program registered no status-notifier item")
            return
        service = line[5:]
        bus_name, _, path = service.partition("/")
        path = "/" + path if path else "/StatusNotifierItem"
        bus = dbus.SessionBus()
        item = dbus.Interface(bus.get_object(bus_name, path), dbus.PROPERTIES_IFACE)

        def tooltip():
            return " ".join(str(v) for v in item.Get("org.kde.StatusNotifierItem", "ToolTip")[2:])

        if not wait_for(lambda: RUNNING_TIP in tooltip(), 10):
            CHECKS.fail(f"the item's tooltip is '{tooltip()}', expected '{RUNNING_TIP}'")
        pixmaps = item.Get("org.kde.StatusNotifierItem", "IconPixmap")
        sun = bytes([255, *SUN])
        if not any(any(close(bytes(p[2])[i:i + 4], sun, 24) for i in range(0, len(p[2]), 4))
                   for p in pixmaps):
            CHECKS.fail("the item's pictures are not the running icon")

        # The host's click ("Activate") does what a double click does:
        # DoubleClick 1 changes the wallpaper.
        bmp = os.path.join(work, "out", "Pelmora.bmp")
        if not wait_for(lambda: os.path.exists(bmp), 10):
            CHECKS.fail("no wallpaper written after the start")
        else:
            settings_now = read_settings(settings)
            settings_now["DoubleClick"] = "1"
            write_settings(settings, settings_now)
            stamp = os.stat(bmp).st_mtime_ns
            dbus.Interface(bus.get_object(bus_name, path),
                           "org.kde.StatusNotifierItem").Activate(0, 0)
            if not wait_for(lambda: os.stat(bmp).st_mtime_ns != stamp, 10):
                CHECKS.fail("Activate with DoubleClick = 1 did not change the wallpaper")

        menu_path = item.Get("org.kde.StatusNotifierItem", "Menu")
        menu = dbus.Interface(bus.get_object(bus_name, menu_path), "com.canonical.dbusmenu")
        _, layout = menu.GetLayout(0, -1, [])
        labels = {}
        for child in layout[2]:
            props = child[1]
            if "label" in props:
                labels[str(props["label"])] = int(child[0])
        for text in ("壁紙の変更(_W)", "一時停止(_S)", "再開(_R)", "設定(_C)", "終了(_X)"):
            if text not in labels:
                CHECKS.fail(f"the item's menu has no '{text}': {sorted(labels)}")
        if "一時停止(_S)" in labels:
            menu.Event(labels["一時停止(_S)"], "clicked", dbus.Int32(0), dbus.UInt32(0))
            if not wait_for(lambda: read_settings(settings).get("Suspend") == "true", 5):
                CHECKS.fail("the menu's suspend event did not save Suspend = true")
            if not wait_for(lambda: SUSPENDED_TIP in tooltip(), 5):
                CHECKS.fail(f"after suspending the tooltip is '{tooltip()}'")
        if "終了(_X)" in labels:
            menu.Event(labels["終了(_X)"], "clicked", dbus.Int32(0), dbus.UInt32(0))
            expect_exit(pelmora, "the exit event")
    finally:
        if pelmora and pelmora.poll() is None:
            pelmora.kill()
            pelmora.wait()
        watch.terminate()
        watch.wait()
        xvfb.stop()


def main():
    if sys.argv[1:] == ["--watcher"]:
        watcher()
        return 0
    if sys.argv[1:2] == ["--hold-key"]:
        hold_key(sys.argv[2], "Left", CONTROL_MASK | MOD1_MASK)
        return 0
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("tray", choices=("xembed", "sni"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.tray == "xembed":
        xembed(args.program, args.out)
    elif args.inside:
        sni_inside(args.program, args.out)
    else:
        # A bus of its own, so no panel of the machine sees the item.
        return subprocess.call(["dbus-run-session", "--", SYSTEM_PYTHON,
                                os.path.abspath(__file__), "--program", args.program,
                                "--out", args.out, "--inside", "sni"])
    if CHECKS.failures:
        # What the program itself said tells a refused start from a slow one.
        name = "linux_tray_xembed" if args.tray == "xembed" else "linux_tray_sni"
        try:
            with open(os.path.join(args.out, name + ".work", "stderr.txt")) as f:
                said = f.read()[-4000:]
        except OSError:
            said = ""
        if said:
            print("the program's standard error:\n" + said, file=sys.stderr)
    else:
        print("passed")
    return CHECKS.verdict()

if __name__ == "__main__":
    sys.exit(main())
