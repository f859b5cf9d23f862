"""The two front ends draw the same first frame from the same pictures and settings: the
Windows saver under Wine and the Linux saver, one after the other on the same X server.

    cross_test.py FOTOVANE.SCR FOTOVANE WORKDIR      (under scripts/with-wine.sh)

At depth 24 the frames must match pixel for pixel. At depth 16 Wine keeps 5 bits of each
channel and the Linux saver 6 bits of green, so the frames are compared on 5 bits each.
"""

import os
import subprocess
import sys

import x11drive as xd
from fvdrive import SETTINGS_KEY, Registry, windows_path

SETTINGS = {"delay": 100, "position": 0, "mode": 0, "size": 0, "subdirs": 0, "random": 0}


def steady_frame(screen, running):
    """The screen once a saver's frame is on it (black corner, picture in the middle) and
    stays the same between two looks."""
    last = [None]

    def steady():
        shot = screen.grab()
        framed = shot.pixel(0, 0) == (0, 0, 0) and \
            any(shot.pixel(shot.width // 2, shot.height // 2))
        same = last[0] is not None and shot.data == last[0].data
        last[0] = shot
        return (framed and same) or not running()

    xd.poll(steady, 20, 0.3)
    return last[0]


def end_with_key(process):
    xd.run("xdotool", "key", "a")
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def main():
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("needs DISPLAY and WINEPREFIX: run under scripts/with-wine.sh")
        return xd.SKIP
    xd.require("wine", "xdotool", "convert", "cjpeg")
    scr, program, work = (os.path.abspath(a) for a in sys.argv[1:4])
    os.makedirs(work, exist_ok=True)
    folder = os.path.join(work, "pictures")
    os.makedirs(folder, exist_ok=True)
    # Larger than the screen and of another shape: decode reduction, fit and centering all
    # play a part.
    xd.make_photo(os.path.join(folder, "photo.jpg"), 2000, 1700)
    screen = xd.Server()
    depth = screen.x.screen().root_depth
    report = xd.Report()
    registry = Registry()

    def checks():
        for name, value in SETTINGS.items():
            registry.dword(SETTINGS_KEY, name, value)
        registry.string(SETTINGS_KEY, "path", windows_path(folder))
        windows = subprocess.Popen(["wine", scr, "/s"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            first = steady_frame(screen, lambda: windows.poll() is None)
        finally:
            end_with_key(windows)
        report.check(first is not None and any(first.data), "Fotovane.scr drew a frame")

        config = os.path.join(work, "config")
        xd.write_store(config, dict(SETTINGS, path=folder))
        errors = open(os.path.join(work, "fotovane-stderr.txt"), "w+")
        linux = subprocess.Popen([program], env=dict(os.environ, XDG_CONFIG_HOME=config),
                                 stdout=subprocess.DEVNULL, stderr=errors)
        try:
            second = steady_frame(screen, lambda: linux.poll() is None)
            ended = linux.poll()
        finally:
            end_with_key(linux)
        errors.seek(0)
        report.check(ended is None and second is not None and any(second.data),
                     "fotovane drew a frame (exit status %s, %r)" % (ended, errors.read()[:300]))

        bits = (8, 8, 8) if depth > 16 else (5, 5, 5)
        a, b = xd.keep_bits(first, bits), xd.keep_bits(second, bits)
        differ = sum(1 for i in range(0, len(a.data), 3) if a.data[i:i + 3] != b.data[i:i + 3])
        for name, image in (("windows", first), ("linux", second)):
            with open(os.path.join(work, "%s-%d.ppm" % (name, depth)), "wb") as f:
                f.write(b"P6\n%d %d\n255\n" % (image.width, image.height) + image.data)
        report.check(differ == 0, "depth %d: the first frames are the same on %s bits per "
                     "channel (%d pixels differ)" % (depth, "/".join(map(str, bits)), differ))

    return report.run(checks, registry)


if __name__ == "__main__":
    sys.exit(main())
