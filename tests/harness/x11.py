"""Driving the Linux saver on private X servers: servers, host windows, frames and processes.

Every case starts its own Xvfb at the depth it needs, so cases run side by side. Windows and
screen contents are read with python3-xlib; the expected pixels come from fvcheck, which runs
the same picture pipeline as the saver.
"""

import os
import resource
import subprocess

from harness.common import SETTINGS_KEY, SYSTEM_KEY, Failure, Image, Process, difference, \
    noise, poll, require as require_tools, run, skip

try:
    from Xlib import X, display as xdisplay  # python3-xlib
except ImportError:
    X = None


def require(*tools):
    """Skips the case when python3-xlib, Xvfb or another program it needs is missing."""
    if X is None:
        skip("not installed: python3-xlib")
    require_tools("Xvfb", *tools)


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
            self.stop()
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

    def steady(self, window=None, deadline_s=10):
        """The window's pixels once they are not all black and the same on two looks in a
        row, or None."""
        last = [None]

        def same():
            shot = self.grab(window)
            done = any(shot.data) and last[0] is not None and shot.data == last[0].data
            last[0] = shot
            return done

        return last[0] if poll(same, deadline_s, 0.1) else None

    def as_mapped(self, window, picture):
        """The picture as the window's colormap can show it: a colour that a full shared
        colormap lacks takes the nearest cell there, the first of equals."""
        colours = self.colormap_colours(window.get_attributes().colormap)
        cells = [colours[i] for i in range(256)]
        have = set(cells)
        pixels = [picture.data[i:i + 3] for i in range(0, len(picture.data), 3)]
        nearest = {}
        for pixel in set(pixels):
            if tuple(pixel) not in have:
                nearest[pixel] = bytes(min(cells, key=lambda c: sum(
                    (a - b) ** 2 for a, b in zip(c, pixel))))
        if not nearest:
            return picture
        return Image(picture.width, picture.height,
                     b"".join(nearest.get(p, p) for p in pixels))

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
    """One run of the Linux saver on a server, with its own settings folder under work."""

    def __init__(self, program, server, work, *arguments, env=None, cwd=None, **popen):
        self.config = os.path.join(work, "config")
        os.makedirs(self.config, exist_ok=True)
        environment = dict(server.env, XDG_CONFIG_HOME=self.config)
        environment.update(env or {})
        super().__init__([program, *arguments], env=environment, cwd=cwd, **popen)


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
    return Image.read(os.path.join(out, os.path.splitext(os.path.basename(picture))[0] + ".ppm"))


def long_decode(fvcheck, box, work):
    """A folder holding a 48-megapixel picture of noise, and the processor time the shared
    pipeline spends on it for the box on this machine, however fast it is."""
    folder = os.path.join(work, "large")
    os.makedirs(folder, exist_ok=True)
    picture = os.path.join(folder, "noise.jpg")
    if not os.path.exists(picture):
        os.symlink(noise(os.path.join(os.path.dirname(work), "noise-48mp.jpg"), 8000, 6000),
                   picture)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    reference(fvcheck, picture, box, 24, work)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return folder, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def shows(server, window, region, picture, left, top, deadline_s=10, bits=(8, 8, 8)):
    """Waits until the region (x, y, width, height) of the window shows exactly the picture
    at (left, top) within it, on black; returns the last (wrong, stray) counts."""
    expected = picture.keep_bits(bits)
    counts = [None]

    def check():
        shown = expected if window.get_geometry().depth > 8 else \
            server.as_mapped(window, expected)
        found = difference(server.grab(window, *region), shown, left, top)
        counts[0] = found.wrong, found.stray
        return counts[0] == (0, 0)

    poll(check, deadline_s, 0.2)
    return counts[0]


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


def children_named(parent, name):
    pids = []
    for pid in run("pgrep", "-P", str(parent)).stdout.split():
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if os.path.basename(f.read().split(b"\0")[0]).decode() == name:
                    pids.append(int(pid))
        except OSError:
            pass
    return pids


def cpu_seconds(pid):
    """Processor time all threads of a process have used so far, to the nanosecond."""
    total = 0
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
    except OSError:
        pass
    return total / 1e9
