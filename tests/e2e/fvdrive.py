"""Driving the real Fotovane.scr under Wine: processes, registry, X input and screenshots.

Runs inside the test environment of scripts/with-wine.sh (DISPLAY and WINEPREFIX set, one
persistent wineserver), so every Windows program here starts in a fraction of a second.
"""

import os
import subprocess
import sys
import time

SETTINGS_KEY = r"HKCU\Software\Screen Savers\Fotovane3.0"
SYSTEM_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Screen Savers"
SKIP = 77  # the CTest skip code these tests declare


class Failure(Exception):
    pass


def require_environment():
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("needs DISPLAY and WINEPREFIX: run under scripts/with-wine.sh")
        sys.exit(SKIP)


def start(argument_count):
    """The start every script shares: its arguments (the program, the helper, the work folder,
    then any of its own), with the work folder made, the helper and an empty report."""
    require_environment()
    arguments = sys.argv[1:1 + argument_count]
    os.makedirs(arguments[2], exist_ok=True)
    return arguments, Helper(arguments[1]), Report()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*command, timeout=30):
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    return result.returncode, result.stdout.replace("\r", "")


def wine(*command, timeout=30):
    return run("wine", *command, timeout=timeout)


def poll(predicate, deadline_s, interval_s=0.05):
    """True as soon as predicate() holds, False if it never did within the deadline."""
    end = time.monotonic() + deadline_s
    while True:
        if predicate():
            return True
        if time.monotonic() >= end:
            return False
        time.sleep(interval_s)


def holds(predicate, duration_s, interval_s=0.05):
    """True if predicate() held on every look for the whole duration."""
    end = time.monotonic() + duration_s
    while time.monotonic() < end:
        if not predicate():
            return False
        time.sleep(interval_s)
    return predicate()


class Registry:
    """Sets registry values for one test and puts the keys back as they were afterwards."""

    def __init__(self):
        self.saved = {}

    def _save(self, key):
        if key in self.saved:
            return
        code, _ = wine("reg", "query", key)
        backup = None
        if code == 0:
            backup = os.path.join(os.environ["WINEPREFIX"], "fv-e2e-%d.reg" % len(self.saved))
            wine("reg", "export", key, windows_path(backup), "/y")
        self.saved[key] = backup

    def dword(self, key, name, value):
        self._save(key)
        wine("reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value & 0xFFFFFFFF), "/f")

    def string(self, key, name, value):
        self._save(key)
        wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def delete(self, key):
        self._save(key)
        wine("reg", "delete", key, "/f")

    def delete_value(self, key, name):
        self._save(key)
        wine("reg", "delete", key, "/v", name, "/f")

    @staticmethod
    def query(key, name):
        """The value's data as reg prints it (DWORDs as 0x...), or None."""
        code, out = wine("reg", "query", key, "/v", name)
        if code != 0:
            return None
        for line in out.splitlines():
            fields = [f for f in line.strip().split("    ") if f]
            if len(fields) == 3 and fields[0] == name:
                return fields[2].strip()
        return None

    def restore(self):
        for key, backup in self.saved.items():
            wine("reg", "delete", key, "/f")
            if backup:
                wine("reg", "import", windows_path(backup))
                os.remove(backup)
        self.saved = {}


class Helper:
    """The Windows-side helper program (e2e_helper.exe)."""

    def __init__(self, path):
        self.path = path

    def call(self, *arguments, timeout=30):
        code, out = wine(self.path, *arguments, timeout=timeout)
        return code, out.strip()

    def sync_cursor(self, x, y):
        """Puts the pointer at x, y so that Windows knows it: Wine sees pointer motion only
        over its own windows, and a saver measures travel from where Windows has the cursor."""
        process = subprocess.Popen(["wine", self.path, "sync", str(x), str(y)],
                                   stdout=subprocess.PIPE, text=True)
        try:
            if process.stdout.readline().strip() != "ready":
                raise Failure("the cursor helper did not start")
            mouse_to(x + 1, y)
            mouse_to(x, y)
            if process.wait(timeout=10) != 0:
                raise Failure("Windows did not follow the pointer to %d, %d" % (x, y))
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()

    def saver_window(self):
        code, out = self.call("find")
        return int(out) if code == 0 and out.lstrip("-").isdigit() else 0

    def screen_saver_running(self):
        code, out = self.call("running")
        if code != 0 or out not in ("0", "1"):
            raise Failure("cannot read the screen-saver flag: %r" % out)
        return out == "1"


class Process:
    """A program a test runs; killed at the end if it is still there."""

    def __init__(self, command, **popen):
        popen.setdefault("stdout", subprocess.DEVNULL)
        popen.setdefault("stderr", subprocess.DEVNULL)
        self.process = subprocess.Popen(command, **popen)
        self.pid = self.process.pid

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, deadline_s):
        """The exit code, or None if the program still runs at the deadline."""
        try:
            return self.process.wait(timeout=deadline_s)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.alive():
            self.process.kill()
            self.process.wait()


class Saver(Process):
    """One run of Fotovane.scr with a switch."""

    def __init__(self, scr, *arguments):
        super().__init__(["wine", scr, *arguments])


# X input: absolute moves, so that pointer acceleration plays no part.

def mouse_to(x, y):
    # --sync waits for motion, and there is none when the pointer is there already.
    if mouse_position() != (x, y):
        run("xdotool", "mousemove", "--sync", str(x), str(y))


def mouse_position():
    _, out = run("xdotool", "getmouselocation", "--shell")
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(values["X"]), int(values["Y"])


def key(*names):
    run("xdotool", "key", *names)


def type_text(text):
    run("xdotool", "type", "--delay", "5", text)


def click(button):
    run("xdotool", "click", str(button))


class Image:
    """An RGB picture: the screen, or a decoded file."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @staticmethod
    def from_ppm(blob):
        # P6 header: magic, width, height, maximum, each followed by white space.
        fields = []
        pos = 0
        while len(fields) < 4:
            while blob[pos:pos + 1].isspace():
                pos += 1
            if blob[pos:pos + 1] == b"#":
                pos = blob.index(b"\n", pos)
                continue
            end = pos
            while not blob[end:end + 1].isspace():
                end += 1
            fields.append(blob[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure("not an 8-bit PPM")
        width, height = int(fields[1]), int(fields[2])
        return Image(width, height, blob[pos + 1:pos + 1 + width * height * 3])

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def row(self, y, x0=0, x1=None):
        x1 = self.width if x1 is None else x1
        start = (y * self.width + x0) * 3
        return self.data[start:start + (x1 - x0) * 3]


def screenshot(save_as=None):
    blob = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"],
                          capture_output=True, check=True, timeout=30).stdout
    if save_as:
        with open(save_as, "wb") as f:
            f.write(blob)
    return Image.from_ppm(blob)


def decode_jpeg(path):
    blob = subprocess.run(["djpeg", "-ppm", path], capture_output=True, check=True).stdout
    return Image.from_ppm(blob)


def region_difference(screen, picture, left, top):
    """Largest and mean channel difference between the picture and the screen at (left, top)."""
    largest = 0
    total = 0
    for y in range(picture.height):
        a = screen.row(top + y, left, left + picture.width)
        b = picture.row(y)
        for u, v in zip(a, b):
            d = u - v if u > v else v - u
            total += d
            if d > largest:
                largest = d
    return largest, total / max(1, picture.width * picture.height * 3)


def black_outside(screen, left, top, width, height):
    """Count of screen pixels outside the rectangle that are not black."""
    stray = 0
    for y in range(screen.height):
        row = screen.row(y)
        if top <= y < top + height:
            parts = (row[:left * 3], row[(left + width) * 3:])
        else:
            parts = (row,)
        for part in parts:
            if part.count(0) != len(part):
                stray += sum(1 for i in range(0, len(part), 3) if any(part[i:i + 3]))
    return stray


def make_picture(path, width, height, *extra):
    """A photo-like JPEG: a diagonal colour gradient with a few shapes over it."""
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "gradient:#d04010-#1060c0",
                    "-fill", "#f0e040", "-draw", "circle %d,%d %d,%d" % (
                        width // 3, height // 3, width // 3 + height // 6, height // 3),
                    "-fill", "#20a040", "-draw", "rectangle %d,%d %d,%d" % (
                        width // 2, height // 2, width * 5 // 6, height * 5 // 6),
                    *extra, "-quality", "92", path], check=True)


def make_solid(path, width, height, colour):
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "xc:" + colour,
                    "-quality", "95", path], check=True)


class Report:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.failures = []

    def check(self, condition, what):
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def finish(self):
        if self.failures:
            print("%d check(s) failed" % len(self.failures))
            return 1
        print("all checks passed")
        return 0

    def run(self, body, registry=None):
        """Runs the checks of body, counting a Failure as one failed check, puts the registry
        back and returns the script's exit code."""
        try:
            body()
        except Failure as failure:
            self.check(False, str(failure))
        finally:
            if registry:
                registry.restore()
        return self.finish()
