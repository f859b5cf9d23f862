"""Driving the Linux saver on a private X server: servers, host windows, frames and processes.

Every case starts its own Xvfb at the depth it needs, so cases run side by side. Windows and
screen contents are read with python3-xlib; the expected pixels come from fvcheck, which runs
the same picture pipeline as the saver.
"""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from fvdrive import SKIP, Failure, Image, Process, Report, holds, poll  # noqa: E402,F401

try:
    from Xlib import X, display as xdisplay  # python3-xlib
except ImportError:
    X = None

SYSTEM_KEY = r"Software\Microsoft\Windows\CurrentVersion\Screen Savers"
SETTINGS_KEY = r"Software\Screen Savers\Fotovane3.0"


def require(*tools):
    """Skips the case when a tool it needs is not installed."""
    missing = [t for t in tools if shutil.which(t) is None]
    if X is None:
        missing.append("python3-xlib")
    if missing:
        print("skipped: not installed: " + ", ".join(missing))
        sys.exit(SKIP)


def run(*command, timeout=60, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout, **kwargs)


class Server:
    """A private Xvfb, e.g. Server("1024x768x24"), ending with the case; or with no screen
    given, the server and screen that `display` or else $DISPLAY names."""

    def __init__(self, screen=None, *extra, display=None):
        self.process = None
        self.name = display or os.environ.get("DISPLAY", "")
        if screen is not None:
            self._start(screen, extra)
        self.x = None
        poll(self._connect, 10, 0.1)
        if self.x is None:
            raise Failure("cannot connect to the X server %s" % self.name)
        self.root = self.x.screen().root
        self.env = dict(os.environ, DISPLAY=self.name)

    def _start(self, screen, extra):
        # The server takes a free display number itself and names it: choosing one here
        # would race with cases and other programs starting servers at the same time.
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", screen, "-nolisten", "tcp",
             *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as named:
            number = named.readline().strip()
        if not number.isdigit():
            self.process.kill()
            raise Failure("Xvfb did not start")
        self.name = ":" + number

    def _connect(self):
        try:
            self.x = xdisplay.Display(self.name)
            return True
        except Exception:
            return False

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        if self.x is not None:
            self.x.close()
            self.x = None
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait()

    def host_window(self, width, height, x=0, y=0):
        """A window of another client, as a host makes it: black background, mapped, button
        presses selected (only one client may select them: the saver must not try)."""
        screen = self.x.screen()
        window = self.root.create_window(x, y, width, height, 0, screen.root_depth,
                                         background_pixel=screen.black_pixel,
                                         override_redirect=True,
                                         event_mask=X.StructureNotifyMask | X.ButtonPressMask)
        window.map()
        self.x.sync()
        return window

    def grab(self, window=None, x=0, y=0, width=None, height=None):
        """The pixels of a window (default the whole screen) as 8-bit RGB; channels of fewer
        bits keep their bits at the top, so that a 5-6-5 red of 31 reads as 248."""
        window = window or self.root
        geometry = window.get_geometry()
        width = geometry.width - x if width is None else width
        height = geometry.height - y if height is None else height
        reply = window.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = reply.data if isinstance(reply.data, bytes) else bytes(reply.data, "latin-1")
        return self._to_rgb(data, reply.depth, width, height, window)

    def _to_rgb(self, data, depth, width, height, window):
        screen = self.x.screen()
        visual = next(v for d in screen.allowed_depths if d.depth == depth for v in d.visuals)
        bpp = next(f.bits_per_pixel for f in self.x.display.info.pixmap_formats
                   if f.depth == depth)
        stride = len(data) // height
        out = bytearray(width * height * 3)
        if visual.visual_class in (X.TrueColor, X.DirectColor):
            shifts = []
            for mask in (visual.red_mask, visual.green_mask, visual.blue_mask):
                low = (mask & -mask).bit_length() - 1
                bits = bin(mask).count("1")
                shifts.append((low, (1 << bits) - 1, 8 - bits))
            size = bpp // 8
            for row in range(height):
                line = data[row * stride:row * stride + width * size]
                if size == 4 and shifts == [(16, 255, 0), (8, 255, 0), (0, 255, 0)]:
                    o = row * width * 3
                    out[o:o + width * 3:3] = line[2::4]
                    out[o + 1:o + width * 3:3] = line[1::4]
                    out[o + 2:o + width * 3:3] = line[0::4]
                    continue
                for i in range(width):
                    p = int.from_bytes(line[i * size:(i + 1) * size], "little")
                    o = (row * width + i) * 3
                    for c, (low, top, pad) in enumerate(shifts):
                        out[o + c] = ((p >> low) & top) << pad
        else:
            colours = self.colormap_colours(window.get_attributes().colormap)
            tables = [bytes(colours.get(i, (0, 0, 0))[c] for i in range(256)) for c in range(3)]
            for row in range(height):
                line = data[row * stride:row * stride + width]
                o = row * width * 3
                for c in range(3):
                    out[o + c:o + width * 3:3] = line.translate(tables[c])
        return Image(width, height, bytes(out))

    def colormap_colours(self, colormap):
        """Pixel value to 8-bit RGB in a colormap of an 8-bit screen."""
        reply = colormap.query_colors(list(range(256)))
        return {i: (c.red >> 8, c.green >> 8, c.blue >> 8) for i, c in enumerate(reply)}

    def fill_default_colormap(self):
        """Takes every free cell of the default colormap, as a busy 8-bit desktop would."""
        colormap = self.x.screen().default_colormap
        for count in range(256, 0, -1):
            try:
                colormap.alloc_color_cells(False, count, 0)
                return count
            except Exception:
                pass
        return 0

    def new_windows(self, before):
        """Mapped top-level windows that are not among the ids in before."""
        return [w for w in self.root.query_tree().children
                if w.id not in before and w.get_attributes().map_state == X.IsViewable]

    def pixel_values(self, window):
        """The distinct raw pixel values in a window of an 8-bit screen."""
        g = window.get_geometry()
        reply = window.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xFFFFFFFF)
        data = reply.data if isinstance(reply.data, bytes) else bytes(reply.data, "latin-1")
        return set(data[: g.width * g.height])


class Saver(Process):
    """One run of the Linux saver with its own settings folder and captured error output."""

    def __init__(self, program, server, work, *arguments, env=None, cwd=None):
        self.config = os.path.join(work, "config")
        os.makedirs(self.config, exist_ok=True)
        self.errors = open(os.path.join(work, "stderr-%d.txt" % time.monotonic_ns()), "w+")
        environment = dict(server.env, XDG_CONFIG_HOME=self.config)
        environment.update(env or {})
        super().__init__([program, *arguments], env=environment, cwd=cwd, stderr=self.errors)

    def terminate(self):
        """Sends SIGTERM; returns the exit code (None if still running after 5 s) and the
        seconds it took."""
        start = time.monotonic()
        self.process.send_signal(signal.SIGTERM)
        code = self.wait_exit(5)
        return code, time.monotonic() - start

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read()

    def kill(self):
        super().kill()
        self.errors.close()


def write_store(config, values, system=None):
    """The settings store file as the saver reads it: show values and system options."""
    def dword(v):
        return "dword:%08x" % (v & 0xFFFFFFFF)
    lines = ["REGEDIT4", ""]
    for key, entries in ((SETTINGS_KEY, values), (SYSTEM_KEY, system)):
        if entries is None:
            continue
        lines.append("[HKEY_CURRENT_USER\\%s]" % key)
        for name, value in entries.items():
            text = dword(value) if isinstance(value, int) else \
                '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append('"%s"=%s' % (name, text))
        lines.append("")
    os.makedirs(os.path.join(config, "fotovane"), exist_ok=True)
    with open(os.path.join(config, "fotovane", "registry.reg"), "w") as f:
        f.write("\n".join(lines))


def reference(fvcheck, picture, box, depth, work):
    """The picture as the show draws it for a box, from the shared pipeline."""
    out = os.path.join(work, "reference-%dx%d-%d" % (box[0], box[1], depth))
    os.makedirs(out, exist_ok=True)
    result = run(fvcheck, "--box", "%dx%d" % box, "--depth", str(depth), "--out", out, picture)
    if result.returncode != 0:
        raise Failure("fvcheck failed on %s: %s" % (picture, result.stderr.strip()))
    name = os.path.splitext(os.path.basename(picture))[0] + ".ppm"
    with open(os.path.join(out, name), "rb") as f:
        return Image.from_ppm(f.read())


def canvas(width, height, *layers):
    """A black image with (picture, x, y) layers pasted on it in order, clipped."""
    out = bytearray(width * height * 3)
    for picture, x, y in layers:
        x0, x1 = max(x, 0), min(x + picture.width, width)
        for row in range(max(y, 0), min(y + picture.height, height)):
            out[(row * width + x0) * 3:(row * width + x1) * 3] = \
                picture.row(row - y, x0 - x, x1 - x)
    return Image(width, height, bytes(out))


def keep_bits(image, bits):
    """The image with each channel cut to its top bits, (r, g, b) bit counts."""
    tables = [bytes((v >> (8 - b)) << (8 - b) for v in range(256)) for b in bits]
    out = bytearray(image.data)
    for c in range(3):
        out[c::3] = image.data[c::3].translate(tables[c])
    return Image(image.width, image.height, bytes(out))


def frame_difference(shot, picture, left, top):
    """Pixels of the picture that differ from the shot placed at (left, top), and pixels of
    the shot outside the picture that are not black."""
    wrong = 0
    for y in range(picture.height):
        a = shot.row(top + y, left, left + picture.width)
        b = picture.row(y)
        if a != b:
            wrong += sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
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
    return wrong, stray


def shows(server, window, region, picture, left, top, deadline_s=10, bits=(8, 8, 8)):
    """Waits until the region (x, y, width, height) of the window shows exactly the picture
    at (left, top) within it, on black; returns the last (wrong, stray) counts."""
    expected = keep_bits(picture, bits)
    counts = [None]

    def check():
        counts[0] = frame_difference(server.grab(window, *region), expected, left, top)
        return counts[0] == (0, 0)

    poll(check, deadline_s, 0.2)
    return counts[0]


def make_photo(path, width, height, *cjpeg):
    """A photo-like JPEG: plasma texture with grain (ImageMagick), encoded by cjpeg."""
    if os.path.exists(path):
        return path
    pixels = subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-seed", "7",
                             "plasma:fractal", "-blur", "0x1", "-attenuate", "0.3",
                             "+noise", "Gaussian", "-depth", "8", "ppm:-"],
                            capture_output=True, check=True).stdout
    subprocess.run(["cjpeg", "-quality", "90", *cjpeg, "-outfile", path], input=pixels,
                   check=True)
    return path


def make_noise(path, width, height):
    """A large JPEG of noise, the slowest kind to decode; made once and kept."""
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


def shm_segments(pids):
    """Shared-memory segments created or last used by any of the processes."""
    out = run("ipcs", "-m", "-p").stdout
    found = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[0].isdigit() and \
                (int(fields[2]) in pids or int(fields[3]) in pids):
            found.append(int(fields[0]))
    return found


def processes_named(name, user=None):
    command = ["pgrep", "-x", name] + (["-u", user] if user else [])
    return [int(p) for p in run(*command).stdout.split()]


def cpu_seconds(pid):
    """Processor time a process has used so far (user and system)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
