"""What every end-to-end case shares: its arguments and report, waiting, the programs it runs,
X input, pictures and their comparison.

Scripts run with PYTHONPATH naming tests/, as CTest and scripts/test.sh set it.
"""

import collections
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SKIP = 77  # the CTest skip code every case declares
# Input that does not end a saver is watched this long, and input that ends it must do so
# within it: a saver too slow to end cannot pass for one that stays. Savers end within 0.4 s
# here with the machine loaded eightfold.
KEEP_S = 1.0
SETTINGS_KEY = r"Software\Screen Savers\Fotovane3.0"
SYSTEM_KEY = r"Software\Microsoft\Windows\CurrentVersion\Screen Savers"


class Failure(Exception):
    pass


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def require(*tools):
    """Skips the case when a program it needs is not installed."""
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        skip("not installed: " + ", ".join(missing))


def start():
    """The start every script shares: `script WORKDIR ARGUMENTS...` with the work folder made;
    returns it, the other arguments and an empty report."""
    work = os.path.abspath(sys.argv[1])
    os.makedirs(work, exist_ok=True)
    return work, sys.argv[2:], Report()


def run(*command, timeout=60, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout, **kwargs)


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


class Report:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.failures = []

    def check(self, condition, what):
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def run(self, body):
        """Runs the checks of body, a Failure counting as one failed check; the exit code."""
        try:
            body()
        except Failure as failure:
            self.check(False, str(failure))
        if self.failures:
            print("%d check(s) failed" % len(self.failures))
            return 1
        print("all checks passed")
        return 0


class Process:
    """A program a case runs, killed when the case leaves its `with` block; its error output
    is kept."""

    def __init__(self, command, **popen):
        self.errors = tempfile.TemporaryFile("w+")
        popen.setdefault("stdout", subprocess.DEVNULL)
        self.process = subprocess.Popen(command, stderr=self.errors, **popen)
        self.pid = self.process.pid

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.kill()

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, deadline_s):
        """The exit code, or None if the program still runs at the deadline."""
        try:
            return self.process.wait(timeout=deadline_s)
        except subprocess.TimeoutExpired:
            return None

    def ended_by(self, action, deadline_s=5):
        """Does what should end the program; the exit code (None if it still runs at the
        deadline) and the seconds it ran on once the action was done, as a look at whether
        it stays would count them."""
        action()
        begin = time.monotonic()
        return self.wait_exit(deadline_s), time.monotonic() - begin

    def terminate(self, deadline_s=5):
        return self.ended_by(lambda: self.process.send_signal(signal.SIGTERM), deadline_s)

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read()

    def kill(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        self.errors.close()


# X input through xdotool, on $DISPLAY unless env names another: absolute moves, so that
# pointer acceleration plays no part.

def mouse_to(x, y, env=None):
    # --sync waits for motion, and there is none when the pointer is there already.
    if mouse_position(env) != (x, y):
        run("xdotool", "mousemove", "--sync", str(x), str(y), env=env)


def mouse_position(env=None):
    out = run("xdotool", "getmouselocation", "--shell", env=env).stdout
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(values["X"]), int(values["Y"])


def key(*names, env=None):
    run("xdotool", "key", *names, env=env)


def type_text(text, env=None):
    run("xdotool", "type", "--delay", "5", text, env=env)


def click(button, env=None):
    run("xdotool", "click", str(button), env=env)


class Image:
    """An 8-bit RGB picture: a screen, a window or a decoded file."""

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

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return Image.from_ppm(f.read())

    def save(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def row(self, y, x0=0, x1=None):
        x1 = self.width if x1 is None else x1
        start = (y * self.width + x0) * 3
        return self.data[start:start + (x1 - x0) * 3]

    def keep_bits(self, bits):
        """The image with each channel cut to its top bits, (r, g, b) bit counts."""
        tables = [bytes((v >> (8 - b)) << (8 - b) for v in range(256)) for b in bits]
        out = bytearray(self.data)
        for c in range(3):
            out[c::3] = self.data[c::3].translate(tables[c])
        return Image(self.width, self.height, bytes(out))


def canvas(width, height, *layers):
    """A black image with (picture, x, y) layers pasted on it in order, clipped."""
    out = bytearray(width * height * 3)
    for picture, x, y in layers:
        x0, x1 = max(x, 0), min(x + picture.width, width)
        for row in range(max(y, 0), min(y + picture.height, height)):
            out[(row * width + x0) * 3:(row * width + x1) * 3] = \
                picture.row(row - y, x0 - x, x1 - x)
    return Image(width, height, bytes(out))


Difference = collections.namedtuple("Difference", "wrong largest mean stray")


def difference(shot, picture, left, top):
    """The picture against the shot at (left, top): pixels that differ, the largest and mean
    channel difference, and pixels of the shot outside the picture that are not black."""
    wrong = largest = total = 0
    for y in range(picture.height):
        a = shot.row(top + y, left, left + picture.width)
        b = picture.row(y)
        if a == b:
            continue
        wrong += sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
        for u, v in zip(a, b):
            d = u - v if u > v else v - u
            total += d
            largest = max(largest, d)
    stray = 0
    for y in range(shot.height):
        row = shot.row(y)
        if top <= y < top + picture.height:
            parts = (row[:left * 3], row[(left + picture.width) * 3:])
        else:
            parts = (row,)
        for part in parts:
            if part.count(0) != len(part):
                stray += sum(1 for i in range(0, len(part), 3) if any(part[i:i + 3]))
    return Difference(wrong, largest, total / max(1, picture.width * picture.height * 3), stray)


def photo(path, width, height, *cjpeg):
    """A photo-like JPEG, made as the sample and benchmark pictures are; kept."""
    subprocess.run([os.path.join(SOURCE, "scripts", "make-photo.sh"), path, str(width),
                    str(height), "7", *cjpeg], check=True)
    return path


def solid(path, width, height, colour):
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "xc:" + colour,
                    "-quality", "95", path], check=True)
    return path


def noise(path, width, height):
    """A large JPEG of noise, the slowest kind to decode for its size; made once and kept."""
    if os.path.exists(path):
        return path
    with open(path + ".ppm", "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        row = width * 3
        for _ in range(height // 64):
            f.write(os.urandom(row * 64))
        f.write(os.urandom(row * (height % 64)))
    subprocess.run(["cjpeg", "-quality", "95", "-outfile", path + ".tmp", path + ".ppm"],
                   check=True)
    os.remove(path + ".ppm")
    os.replace(path + ".tmp", path)
    return path
