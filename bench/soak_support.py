"""What bench/soak's targets share: the picture folder, the settings and
wallpaper files as the soak reads and writes them, the host's view of a
process, and the soak itself (the loads, the checks, the kills, the
table), which a target completes with how its program is installed,
started, asked, measured and killed."""
import contextlib
import glob
import os
import random
import shutil
import statistics
import subprocess
import threading
import time

MIB = 1024 * 1024
DEPS = os.environ.get("PELMORA_DEPS_CACHE", os.path.expanduser("~/.cache/pelmora-deps"))
PLANTED_KEY, PLANTED_VALUE = "SoakPlanted", "kept-7f3a"
SECOND_START_LIMIT = 5.0
# The warm-up is over once memory rose no more than this in this long.
PLATEAU_SECONDS, PLATEAU_RISE = 180, 64 * 1024
# Memory after the warm-up and at the end: the lowest sample of this long.
LEVEL_SECONDS = 60
POOL_SIZE = 200  # the pictures made once; --pictures takes fewer of them

# ---------------------------------------------------------------- pictures

def convert(*args):
    subprocess.run(["convert", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_pictures(folder, count, rng):
    """Fills the pool once (kept for later runs of the same count)."""
    done = os.path.join(folder, ".complete")
    if os.path.exists(done) and read_all(done) == str(count).encode():
        return
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    made = []

    def put(name, data=None):
        path = os.path.join(folder, name)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
        made.append(path)
        return path

    photos = sorted(glob.glob(os.path.join(DEPS, "examples", "*.jpg")))
    sizes = ["640x480", "1280x720", "1920x1080", "2560x1600", "900x1400", "3000x2000"]
    for i, photo in enumerate(photos):
        for size in sizes:
            base = os.path.splitext(os.path.basename(photo))[0]
            convert(photo, "-resize", size + "!", put(f"photo-{base}-{size}.jpg"))
        convert(photo, "-resize", "1600x1000!", put(f"photo-{i}.png"))
    # A few large ones: the pictures that cost a change the most.
    for i, photo in enumerate(photos[:2]):
        convert(photo, "-resize", "6000x4000!", "-quality", "90", put(f"large-{i}.jpg"))
    if not photos:
        for i in range(2):
            convert("-size", "6000x4000", f"gradient:#{i}04060-#e0c08{i}", put(f"large-{i}.jpg"))
    for pattern in ("pngsuite/*.png", "testpngs/crashers/*.png"):
        for path in sorted(glob.glob(os.path.join(DEPS, "src", "libpng1.6-*", "contrib",
                                                  pattern)))[:70]:
            shutil.copy(path, put("png-" + os.path.basename(path)))
    # Bitmaps in the forms other programs write.
    for i, (form, extra) in enumerate([("BMP3", []), ("BMP", []), ("BMP2", []),
                                       ("BMP3", ["-type", "Palette"]),
                                       ("BMP3", ["-type", "Palette", "-compress", "RLE"]),
                                       ("BMP3", ["-type", "Bilevel"]),
                                       ("BMP", ["-alpha", "on"]),
                                       ("BMP", ["-flip"])]):
        for size in ("320x200", "1024x768", "700x1100"):
            convert("-size", size, f"gradient:#{i}0{i}0a0-#f0{i}0{i}0", *extra,
                    f"{form}:" + put(f"bmp-{i}-{size}.bmp"))
    # Pictures only the system decoder reads here: where it kept what it
    # decoded, every change that showed one of these would leave it behind.
    for i, size in enumerate(("320x200", "1024x768", "1600x1000")):
        convert("-size", size, f"plasma:#{i}08040-#40{i}0c0", "-colors", "200",
                put(f"gif-{i}-{size}.gif"))
    convert("-size", "128x128", "gradient:#2060a0-#a0c020", put("icon-128.ico"))
    # Broken files: cut short, empty, not pictures at all, lying headers.
    for source in [p for p in made if p.endswith((".jpg", ".png", ".bmp"))][::9]:
        with open(source, "rb") as f:
            data = f.read()
        put("broken-" + os.path.basename(source), data[: len(data) // 3])
    put("empty.jpg", b"")
    put("text.png", b"not a picture at all\n" * 40)
    huge = bytearray(open(next(p for p in made if p.endswith(".bmp")), "rb").read(200))
    huge[18:26] = (200000).to_bytes(4, "little") + (200000).to_bytes(4, "little")
    put("lying-size.bmp", bytes(huge))
    # Up to the count with plain pictures of many sizes.
    i = 0
    while len(made) < count:
        w, h = rng.randrange(200, 2600), rng.randrange(200, 2000)
        colours = f"#{rng.randrange(1 << 24):06x}-#{rng.randrange(1 << 24):06x}"
        ext = rng.choice(["jpg", "png", "bmp"])
        convert("-size", f"{w}x{h}", f"gradient:{colours}", put(f"plain-{i}.{ext}"))
        i += 1
    with open(done, "w") as f:
        f.write(str(count))


def choose_pictures(names, count):
    """A folder of count pictures from the pool that still has every kind in
    it: the large ones and those only the system decodes, then an even
    spread of the rest (the pool's names sort by kind). A short run needs a
    small folder to show all of it well before its end, or the first
    showing of a kind or size reads as growth."""
    if count >= len(names):
        return list(names)
    kept = [n for n in names if n.startswith("large-") or n.endswith((".gif", ".ico"))]
    rest = [n for n in names if n not in kept]
    wanted = max(count - len(kept), 1)
    return sorted(kept + [rest[i * len(rest) // wanted] for i in range(wanted)])


# ---------------------------------------------------------------- files

def encode_settings(entries, narrow=None):
    """The settings as the program writes them (UTF-16LE with a byte-order
    mark), or in the narrow encoding given (UTF-8 on Linux, the ANSI code
    page on Windows), as an editor may save them."""
    text = "".join(f"{key} = {value}\r\n" for key, value in entries)
    return text.encode(narrow) if narrow else b"\xff\xfe" + text.encode("utf-16-le")


def parse_settings(data, narrow="utf-8"):
    """The keys and values of a settings file in either encoding, or None
    when it is not one."""
    try:
        text = (data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe")
                else data.decode(narrow))
    except UnicodeDecodeError:
        return None
    entries = {}
    for line in text.split("\r\n"):
        key, separator, value = line.partition(" = ")
        if separator:
            entries[key] = value
    return entries


def bmp_problem(data):
    """None for a whole, valid BMP; otherwise what is wrong with it."""
    if len(data) < 54 or data[:2] != b"BM":
        return f"not a BMP ({len(data)} bytes)"
    size = int.from_bytes(data[2:6], "little")
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = abs(int.from_bytes(data[22:26], "little", signed=True))
    bits = int.from_bytes(data[28:30], "little")
    if size != len(data):
        return f"header says {size} bytes, file has {len(data)}"
    row = (width * bits + 31) // 32 * 4
    if width <= 0 or height <= 0 or offset + row * height > len(data):
        return f"{width}x{height}x{bits} does not fit into {len(data)} bytes"
    return None


def read_all(path):
    with open(path, "rb") as f:
        return f.read()


def write_atomically(path, data):
    temporary = path + ".soak-tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


# ---------------------------------------------------------------- process

def host_figures(pid):
    """(RssAnon bytes, open descriptors, threads) of a living process."""
    rss = threads = None
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("RssAnon:"):
                rss = int(line.split()[1]) * 1024
            elif line.startswith("Threads:"):
                threads = int(line.split()[1])
    return rss, len(os.listdir(f"/proc/{pid}/fd")), threads


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def quiet(pid, seconds=0.25, limit=3.0):
    """True once the process used no processor time for the given seconds
    (between changes), False when it never rested within the limit."""
    end = time.monotonic() + limit
    ticks = cpu_ticks(pid)
    while time.monotonic() < end:
        time.sleep(seconds)
        now = cpu_ticks(pid)
        if now == ticks:
            return True
        ticks = now
    return False


class Soak:
    """The soak of one target. A target sets the names below and provides
    install(), extra_settings(), program_path(), command(), start_resident(),
    figures(), kill() and session(); it may add loads()."""
    TARGET = ""
    PROGRAM = ""  # the program's file name; its settings sit beside it
    NARROW = "utf-8"  # the encoding of a settings file written "narrow"
    HANDLES = "descriptors"
    # A fourth figure: the descriptors the host sees the process hold.
    HOST_DESCRIPTORS = False
    # The last figure: the private bytes the system counts the program to
    # have committed (memory of its own, none of the host's for it).
    PRIVATE_BYTES = False
    TAKE_OVER_PAUSE = 0.3  # between the tries of a fresh start after a kill

    def loads(self):
        """The target's own loads, besides the common ones."""
        return ()

    def host_path(self, path):
        """A path as the program names it, as this host names it."""
        return path

    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.work = os.path.abspath(args.work)
        self.program = os.path.join(self.work, "program", self.PROGRAM)
        base = os.path.splitext(self.program)[0]
        self.settings = base + ".cfg"
        self.state = base + ".state"
        self.exclude = base + ".exclude"
        self.images = os.path.join(self.work, "images")
        self.pool = os.path.join(self.work, "pool")
        self.out = os.path.join(self.work, "out")
        self.run_dir = os.path.join(self.work, "run")
        self.shown_log = os.path.join(self.work, "shown.log")
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.steady = threading.Event()  # set while second starts may run
        self.failures = []
        self.counts = {"second starts": 0, "second starts answered": 0, "wallpaper reads": 0,
                       "settings reads": 0, "churn steps": 0, "settings writes": 0,
                       "torn or narrow writes": 0, "torn settings refused": 0, "kills": 0}
        self.samples = []  # (seconds since start, rss, fds, threads)
        self.sample_changes = []  # changes seen when each sample was taken
        self.round_size = 0  # pictures in the folder at the start
        self.start_seconds = []  # how long each second start took
        self.began = time.monotonic()
        self.in_flight = 0  # steps of the loads under way (steady_step)
        self.made = {}  # folder path -> first time it existed
        self.chosen = []  # the pool's pictures the folder starts with
        self.resident = None
        # Torn settings writes begun, and whether one is under way: a
        # /suspend or /resume that meets one must refuse to write (status 1).
        self.torn_writes = 0
        self.tearing = False
        self.killing = False

    # -- set-up --
    def fail(self, what):
        with self.lock:
            if len(self.failures) < 200:
                self.failures.append(what)

    def event(self, what):
        """Notes what happened when, for reading a failure against it."""
        with self.lock:
            with open(os.path.join(self.work, "events.log"), "a") as f:
                f.write(f"{time.monotonic() - self.began:.1f} {what}\n")

    # A target whose loader can end a start before the program runs says so
    # from the start's standard error; such a start says nothing about the
    # program, and is counted apart (never_reached) instead of failed.
    def reached_program(self, stderr):
        return True

    def program_output(self, stderr):
        """What of a start's standard error is the program's own."""
        return stderr

    def resident_stderr(self):
        """The standard error of the latest resident start, where kept."""
        return b""

    def never_reached(self, what, status, stderr):
        with self.lock:
            self.counts[self.NEVER_REACHED] = self.counts.get(self.NEVER_REACHED, 0) + 1
            number = self.counts[self.NEVER_REACHED]
        name = f"never-reached-{number}.err"
        with open(os.path.join(self.work, name), "wb") as f:
            f.write(stderr)
        self.event(f"{what} ended with {status} before the program was loaded (see {name})")

    NEVER_REACHED = "starts ended before the program"

    def count(self, name, n=1):
        with self.lock:
            self.counts[name] += n

    def prepare(self):
        for sub in ("program", "out"):
            os.makedirs(os.path.join(self.work, sub), exist_ok=True)
        self.install()
        for path in (self.settings, self.state, self.exclude, self.shown_log,
                     os.path.join(self.work, "starts.log"),
                     os.path.join(self.work, "events.log")):
            if os.path.exists(path):
                os.remove(path)
        for name in os.listdir(self.out):
            os.remove(os.path.join(self.out, name))
        make_pictures(self.pool, max(self.args.pictures, POOL_SIZE), random.Random(1))
        self.chosen = choose_pictures(
            sorted(n for n in os.listdir(self.pool) if not n.startswith(".")),
            self.args.pictures)
        shutil.rmtree(self.images, ignore_errors=True)
        os.makedirs(self.images)
        for name in self.chosen:
            shutil.copy(os.path.join(self.pool, name), self.images)
        now = time.time()
        for name in os.listdir(self.images):
            self.made[os.path.join(self.images, name)] = now
        self.round_size = len(self.made)
        self.write_settings(self.settings_entries(interval=1))

    def settings_entries(self, interval=1, fit=True, align=1):
        # The planted key and the folder first: a torn file keeps them.
        return [(PLANTED_KEY, PLANTED_VALUE),
                ("ImageDir", self.program_path(self.images, folder=True)),
                ("SaveFile", self.program_path(os.path.join(self.out, "Pelmora.bmp"))),
                ("Interval(sec)", str(interval)),
                ("WaitFirst", "false"),
                ("Suspend", "false"),
                ("RemoveOnSuspend", "false"),
                ("Resize", "true"),
                ("ResizeFixedAspectRatio", "true" if fit else "false"),
                ("ResizeAlignH", str(align)),
                ("ResizeAlignV", str(align)),
                ("ResizeBgColor", "1"),
                *self.extra_settings()]

    def write_settings(self, entries, narrow=False):
        write_atomically(self.settings,
                         encode_settings(entries, self.NARROW if narrow else None))

    def second_start(self, *arguments, expect=0):
        """Runs a second start; True when it ended with the expected status
        in time."""
        start = time.monotonic()
        shown = " ".join((self.PROGRAM, *arguments))
        torn_before = (self.tearing, self.torn_writes)
        try:
            run = subprocess.run(self.command(*arguments), cwd=os.path.dirname(self.program),
                                 env=self.env(), stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, timeout=SECOND_START_LIMIT)
        except subprocess.TimeoutExpired:
            self.fail(f"'{shown}' did not end within 5 s (at {start - self.began:.1f} s)")
            return False
        status = run.returncode
        self.log.write(self.program_output(run.stderr))
        seconds = time.monotonic() - start
        with open(os.path.join(self.work, "starts.log"), "a") as f:
            f.write(f"{start - self.began:.1f} {seconds:.2f} {status} {shown}\n")
        with self.lock:
            self.counts["second starts"] += 1
            self.start_seconds.append(seconds)
        met_torn = torn_before != (False, self.torn_writes) or self.tearing
        if status == 1 and met_torn and arguments and arguments[0] in ("/suspend", "/resume"):
            self.count("torn settings refused")
            return True
        if status != expect:
            if not self.reached_program(run.stderr):
                self.never_reached(f"'{shown}' (at {start - self.began:.1f} s)", status,
                                   run.stderr)
                return True
            self.fail(f"'{shown}' ended with {status} after {seconds:.1f} s")
            return False
        self.count("second starts answered")
        return True

    # -- the loads --
    @contextlib.contextmanager
    def steady_step(self):
        """A step of a load that needs the program resident: yields False
        once the kills have begun, and is waited for before the first."""
        self.steady.wait()
        with self.lock:
            self.in_flight += 1
        try:
            yield self.steady.is_set() and not self.stop.is_set()
        finally:
            with self.lock:
                self.in_flight -= 1

    def hold_steady_loads(self, limit=30):
        """Stops the loads that need the program and waits for the steps
        under way, so that none of them meets a kill."""
        self.steady.clear()
        deadline = time.monotonic() + limit
        while self.in_flight and time.monotonic() < deadline:
            time.sleep(0.05)

    def starter(self):
        choices = ["", "", "/next", "/next", "/previous", "/status"]
        while not self.stop.is_set():
            with self.steady_step() as steady:
                if steady:
                    request = "/exclude" if self.rng.random() < 0.03 else self.rng.choice(choices)
                    self.second_start(*([request] if request else []))
            time.sleep(self.rng.uniform(0.1, 0.3))

    def switcher(self):
        while not self.stop.wait(self.rng.uniform(3, 6)):
            with self.steady_step() as steady:
                if steady:
                    self.second_start("/suspend")
                    self.stop.wait(self.rng.uniform(0.5, 2))
                    self.second_start("/resume")

    def editor(self):
        while not self.stop.wait(self.rng.uniform(2, 5)):
            entries = self.settings_entries(interval=self.rng.choice([1, 1, 2]),
                                            fit=self.rng.random() < 0.8,
                                            align=self.rng.randrange(3))
            roll = self.rng.random()
            if roll < 0.15:
                # Torn: half a file for a moment, as an editor that died
                # while saving in place leaves it; then whole again.
                data = encode_settings(entries)
                with self.lock:
                    self.torn_writes += 1
                    self.tearing = True
                    with open(self.settings, "wb") as f:
                        f.write(data[: len(data) // 2])
                    time.sleep(self.rng.uniform(0.1, 0.4))
                    self.write_settings(entries)
                    self.tearing = False
                self.count("torn or narrow writes")
            elif roll < 0.3:
                self.write_settings(entries, narrow=True)
                self.count("torn or narrow writes")
            else:
                self.write_settings(entries)
            self.count("settings writes")
            if self.rng.random() < 0.3 and os.path.exists(self.exclude):
                os.remove(self.exclude)  # the user takes the lines out again

    def churner(self):
        pool = self.chosen  # copies of the folder's own: no kind new to the run
        ours = []  # names the churn made (the pool's own stay)
        step = 0
        while not self.stop.wait(self.rng.uniform(0.05, 0.15)):
            step += 1
            try:
                self.churn_step(pool, ours, step)
            except OSError:
                pass  # a step that met another step's leftovers
            self.count("churn steps")

    def made_now(self, path):
        with self.lock:
            self.made.setdefault(path, time.time())

    def churn_step(self, pool, ours, step):
        rng = self.rng
        action = rng.randrange(10)
        # The folder stays near its size: past a quarter of it in names of
        # its own, the churn deletes where it would add. The program keeps
        # the list of what the folder holds, so a folder that only grew
        # would look like a leak; new names keep coming all the same.
        if action <= 2 and len(ours) >= max(10, self.round_size // 4):
            action = 3
        if action <= 2 or not ours:  # add
            name = f"churn-{step}{os.path.splitext(rng.choice(pool))[1]}"
            path = os.path.join(self.images, name)
            self.made_now(path)
            shutil.copy(os.path.join(self.pool, rng.choice(pool)), path)
            ours.append(name)
        elif action == 3:  # delete
            name = ours.pop(rng.randrange(len(ours)))
            os.remove(os.path.join(self.images, name))
        elif action == 4:  # rename
            i = rng.randrange(len(ours))
            new = f"renamed-{step}{os.path.splitext(ours[i])[1]}"
            self.made_now(os.path.join(self.images, new))
            os.rename(os.path.join(self.images, ours[i]), os.path.join(self.images, new))
            ours[i] = new
        elif action == 5:  # rewritten in place, slowly, while it may be read
            path = os.path.join(self.images, rng.choice(ours))
            data = read_all(os.path.join(self.pool, rng.choice(pool)))
            with open(path, "wb") as f:
                for at in range(0, len(data), 65536):
                    f.write(data[at:at + 65536])
                    f.flush()
                    time.sleep(0.002)
        elif action == 6:  # truncated
            path = os.path.join(self.images, rng.choice(ours))
            os.truncate(path, os.path.getsize(path) // 2)
        elif action == 7:  # a folder in place of a file of the same name, and back
            name = ours.pop(rng.randrange(len(ours)))
            path = os.path.join(self.images, name)
            os.remove(path)
            os.mkdir(path)
            shutil.copy(os.path.join(self.pool, rng.choice(pool)), os.path.join(path, "inner.png"))
            self.made_now(os.path.join(path, "inner.png"))
            time.sleep(rng.uniform(0.2, 1))
            shutil.rmtree(path)
        elif action == 8:  # a subfolder with pictures, gone again a little later
            sub = os.path.join(self.images, f"sub-{step}")
            os.mkdir(sub)
            for i in range(3):
                target = os.path.join(sub, f"p{i}{os.path.splitext(rng.choice(pool))[1]}")
                self.made_now(target)
                shutil.copy(os.path.join(self.pool, rng.choice(pool)), target)
            threading.Timer(rng.uniform(1, 4), shutil.rmtree, (sub, True)).start()
        else:  # a named pipe and a symbolic-link loop, each for a moment
            pipe = os.path.join(self.images, f"pipe-{step}.jpg")
            loop = os.path.join(self.images, f"loop-{step}")
            os.mkfifo(pipe)
            os.symlink(loop, loop)  # a link to itself
            os.symlink(".", os.path.join(self.images, f"up-{step}"))  # a folder cycle
            time.sleep(rng.uniform(0.3, 1.5))
            for path in (pipe, loop, os.path.join(self.images, f"up-{step}")):
                os.remove(path)

    def reader(self):
        while not self.stop.wait(0.05):
            for path in glob.glob(os.path.join(self.out, "*.bmp")):
                try:
                    data = read_all(path)
                except OSError:
                    continue
                self.count("wallpaper reads")
                problem = bmp_problem(data)
                if problem:
                    self.fail(f"{os.path.basename(path)} read torn or broken: {problem}")

    def check_settings(self, when):
        with self.lock:
            try:
                data = read_all(self.settings)
            except OSError as error:
                self.fail(f"{when}: settings file unreadable: {error}")
                return
        self.counts["settings reads"] += 1
        entries = parse_settings(data)
        if entries is None:
            self.fail(f"{when}: the settings file does not parse")
            return
        missing = [key for key, _ in self.settings_entries() if key not in entries]
        if missing:
            self.fail(f"{when}: the settings file lost {', '.join(missing)}")
        elif entries[PLANTED_KEY] != PLANTED_VALUE:
            self.fail(f"{when}: the planted key became '{entries[PLANTED_KEY]}'")

    def sampler(self, started):
        while not self.stop.wait(self.rng.uniform(2, 4)) and not self.killing:
            self.check_settings("while running")
            pid = self.resident.pid
            try:
                figures = self.resident.poll() is None and quiet(pid) and self.figures()
                if figures:
                    changes = self.changes()
                    with self.lock:
                        self.samples.append((time.monotonic() - started, *figures))
                        self.sample_changes.append(changes)
            except OSError:
                pass

    # -- the kills --
    def kill_round(self, number):
        time.sleep(self.rng.uniform(0.1, 2.5))  # a random moment: changes run every second
        self.event(f"kill {number}")
        self.kill()
        where = f"after kill {number}"
        self.check_settings(where)
        if os.path.exists(self.state):
            data = read_all(self.state)
            if not data.startswith(b"\xff\xfe") or parse_settings(data, self.NARROW) is None:
                self.fail(f"{where}: the state file is damaged ({len(data)} bytes)")
        for path in glob.glob(os.path.join(self.out, "*.bmp")):
            problem = bmp_problem(read_all(path))
            if problem:
                self.fail(f"{where}: {os.path.basename(path)} is not whole: {problem}")
        self.start_resident()
        # Taken over: the fresh start stays, and a request reaches it.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            time.sleep(self.TAKE_OVER_PAUSE)
            if self.resident.poll() is not None:
                stderr = self.resident_stderr()
                if self.reached_program(stderr):
                    self.fail(f"{where}: the next start ended with {self.resident.returncode}")
                else:
                    self.never_reached(f"{where}: the next start", self.resident.returncode,
                                       stderr)
                self.start_resident()
                continue
            try:
                status = subprocess.run(self.command("/next"),
                                        cwd=os.path.dirname(self.program), env=self.env(),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        timeout=SECOND_START_LIMIT).returncode
            except subprocess.TimeoutExpired:
                status = None
            if status == 0:
                return
        self.fail(f"{where}: the next start did not take the single instance over")

    # -- the run --
    def shown_check(self):
        try:
            shown = [line for line in open(self.shown_log, encoding="utf-8", errors="replace")
                     .read().split("\n") if line]
        except OSError:
            shown = []
        strangers = [p for p in shown if self.host_path(p) not in self.made]
        for path in strangers[:5]:
            self.fail(f"shown but never a picture of the folder: {path}")
        return shown

    def run(self):
        self.prepare()
        with self.session():
            self.log = open(os.path.join(self.work, "program.err"), "ab")
            self.start_resident()
            started = time.monotonic()
            if not self.wait_resident():
                raise SystemExit(f"soak: {self.PROGRAM} did not stay resident "
                                 f"({self.resident.poll()})")
            self.steady.set()
            threads = [threading.Thread(target=t, daemon=True)
                       for t in (self.starter, self.switcher, self.editor, self.churner,
                                 self.reader, *self.loads())]
            threads.append(threading.Thread(target=self.sampler, args=(started,), daemon=True))
            for thread in threads:
                thread.start()
            end = started + 60 * self.args.minutes
            while time.monotonic() < end:
                time.sleep(1)
                if self.resident.poll() is not None:
                    self.fail(f"the resident program died ({self.resident.returncode})")
                    break
                if self.args.changes and self.changes() >= self.args.changes:
                    break
            timed = time.monotonic() - started
            changes_timed = self.changes()
            # The kills: no second starts meanwhile, or they would meet no
            # resident program on purpose.
            self.hold_steady_loads()
            samples = list(self.samples)
            self.killing = True  # the sampler's figures are no longer used
            for number in range(1, self.args.kills + 1):
                if self.resident.poll() is not None:
                    self.start_resident()
                    self.wait_resident()
                self.kill_round(number)
                self.count("kills")
            self.stop.set()
            self.steady.set()
            for thread in threads:
                thread.join(10)
            self.check_settings("at the end")
            self.end_resident()
        return self.report(timed, changes_timed, samples)

    def folder_files(self):
        return sum(len(files) for _, _, files in os.walk(self.images))

    def changes(self):
        try:
            with open(self.shown_log, "rb") as f:
                return f.read().count(b"\n")
        except OSError:
            return 0

    def warm_up(self, timed, samples):
        """Seconds from the start at which the figures are taken as warmed
        up, and how that was decided. By default the warm-up follows the
        program's memory: it ends at the first sample, once as many pictures
        were shown as the folder held at the start, after which the memory
        did not rise in the next three minutes. --warm-up SECONDS fixes it
        instead. Either way it ends by a third of the run: the end is always
        compared against a point well before it, so a steady rise cannot
        hide in the warm-up."""
        limit = timed / 3
        if self.args.warm_up != "round":
            return min(self.args.warm_up, limit), "fixed"
        changes = self.sample_changes[:len(samples)]
        for i, ((at, rss, *_), seen) in enumerate(zip(samples, changes)):
            if at > limit:
                break
            if seen < self.round_size:
                continue
            if samples[-1][0] < at + PLATEAU_SECONDS:
                break
            following = [s[1] for s in samples[i + 1:] if s[0] <= at + PLATEAU_SECONDS]
            if max(following, default=0) <= rss + PLATEAU_RISE:
                return at, f"a round of {self.round_size} pictures shown, memory level"
        return limit, "a third of the run"

    def report(self, timed, changes_timed, samples):
        shown = self.shown_check()
        changes = self.sample_changes[:len(samples)]
        with open(os.path.join(self.work, "samples.txt"), "w") as f:
            f.write(f"seconds rss_kib {self.HANDLES.replace(' ', '_')} threads"
                    f"{' host_fds' if self.HOST_DESCRIPTORS else ''}"
                    f"{' private_bytes' if self.PRIVATE_BYTES else ''} changes\n")
            for (at, rss, *counts), seen in zip(samples, changes):
                f.write(" ".join((f"{at:.1f}", str(rss // 1024), *map(str, counts), str(seen)))
                        + "\n")
        warm, why = self.warm_up(timed, samples)
        before = [s for s in samples if s[0] < warm]
        after = [s for s in samples if s[0] >= warm]
        rows = []

        def window(samples, at_end):
            """The samples of the minute at either end of `samples`, and at
            least three."""
            edge = samples[-1][0] - LEVEL_SECONDS if at_end else samples[0][0] + LEVEL_SECONDS
            inside = [s for s in samples if (s[0] >= edge if at_end else s[0] <= edge)]
            return inside if len(inside) >= 3 else (samples[-3:] if at_end else samples[:3])

        def figure(name, index, scale, unit, limit_low, limit_high, held=False):
            if not after:
                self.fail(f"no samples of {name} after the warm-up")
                return
            # A sample can still catch a change at its start. Counts compare
            # medians of three, at the warm-up and at the end; memory compares
            # the level held between changes: the lowest sample of the minute
            # at either end, which a sample caught mid-change cannot raise
            # but a leak does.
            start = (before or after)[0][index]
            if held:
                base = min(s[index] for s in window(after, False))
                end = min(s[index] for s in window(after, True))
            else:
                base = statistics.median(s[index] for s in after[:3])
                end = statistics.median(s[index] for s in after[-3:])
            low = min(s[index] for s in after) - base
            high = max(s[index] for s in after) - base
            ok = limit_low <= end - base <= limit_high
            rows.append((name, f"{start / scale:.1f}{unit}", f"{base / scale:.1f}{unit}",
                         f"{end / scale:.1f}{unit}",
                         f"{low / scale:+.1f}..{high / scale:+.1f}{unit}", ok))
            if not ok:
                self.fail(f"{name} went from {base / scale:.1f} after the warm-up to "
                          f"{end / scale:.1f}{unit} at the end")

        figure("memory (RssAnon)", 1, MIB, " MiB", -1e18, self.args.memory_rise * MIB, held=True)
        figure(self.HANDLES, 2, 1, "", -4, 4)
        figure("threads", 3, 1, "", -2, 2)
        if self.HOST_DESCRIPTORS:
            figure("host descriptors", 4, 1, "", -4, 4)
        if self.PRIVATE_BYTES:
            figure("private bytes", 4 + self.HOST_DESCRIPTORS, MIB, " MiB", -1e18,
                   self.args.memory_rise * MIB, held=True)
        print(f"soak ({self.TARGET}): {timed:.0f} s timed, warm-up {warm:.0f} s ({why}), "
              f"{changes_timed} changes then, {len(shown)} in all, "
              f"{len(samples)} samples between changes")
        print(f"pictures in the folder: {self.round_size} at the start, "
              f"{self.folder_files()} at the end")
        print(f"{'figure':<18} {'start':>10} {'warmed up':>10} {'end':>10} {'after warm-up':>16}")
        for name, start, base, end, spread, ok in rows:
            print(f"{name:<18} {start:>10} {base:>10} {end:>10} {spread:>16}  "
                  f"{'ok' if ok else 'FAILED'}")
        for name, value in self.counts.items():
            print(f"{name:<24} {value}")
        if self.start_seconds:
            times = sorted(self.start_seconds)
            print(f"second starts: {len(times) / timed:.2f} a second, each "
                  f"{times[len(times) // 2]:.2f} s (median), {times[-1]:.2f} s at most")
        if self.failures:
            print(f"{len(self.failures)} failed checks:")
            for what in self.failures[:40]:
                print("  " + what)
        print(f"work folder: {self.work}")
        return 1 if self.failures else 0

