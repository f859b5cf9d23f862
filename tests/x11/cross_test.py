"""The two front ends draw the same first frame from the same pictures and settings: the
Windows saver under Wine and the Linux saver, one after the other on the same X server.

    cross_test.py WORKDIR FOTOVANE.SCR FOTOVANE      (under scripts/with-wine.sh)

The same photo goes through each decoder in turn (JPEG, PNG, WebP, HEIC), with both savers
told to take every format. At depth 24 the frames must match pixel for pixel. At depth 16 Wine keeps 5 bits of each
channel and the Linux saver 6 bits of green, so the frames are compared on 5 bits each.
"""

import os
import subprocess
import sys

from harness import common as fv, wine, x11

SETTINGS = {"delay": 100, "position": 0, "mode": 0, "size": 0, "subdirs": 0, "random": 0,
            "formats": 1}

# The photo in each format beside JPEG, made from its PNG by the format's own tool.
CONVERTERS = {
    "png": None,
    "webp": lambda png, out: ["cwebp", "-quiet", "-q", "85", png, "-o", out],
    "heic": lambda png, out: ["heif-enc", "-q", "85", png, "-o", out],
}


def steady_frame(screen, saver):
    """The screen once a saver's frame is on it (black corner, picture in the middle) and
    stays the same between two looks; then a key ends the saver."""
    last = [None]

    def steady():
        shot = screen.grab()
        framed = shot.pixel(0, 0) == (0, 0, 0) and \
            any(shot.pixel(shot.width // 2, shot.height // 2))
        same = last[0] is not None and shot.data == last[0].data
        last[0] = shot
        return (framed and same) or not saver.alive()

    fv.poll(steady, 20, 0.3)
    ended = saver.process.poll()
    fv.key("a")
    saver.wait_exit(5)
    return last[0], ended


def pictures(work):
    """One folder per format, each holding the same photo."""
    folders = {}
    for name in ("jpg",) + tuple(CONVERTERS):
        folders[name] = os.path.join(work, "pictures-" + name)
        os.makedirs(folders[name], exist_ok=True)
    # Larger than the screen and of another shape: decode reduction, fit and centering all
    # play a part.
    jpeg = fv.photo(os.path.join(folders["jpg"], "photo.jpg"), 2000, 1700)
    png = os.path.join(folders["png"], "photo.png")
    subprocess.run(["convert", jpeg, png], check=True)
    for name, command in CONVERTERS.items():
        if command:
            out = os.path.join(folders[name], "photo." + name)
            subprocess.run(command(png, out), check=True, stdout=subprocess.DEVNULL)
    return folders


def main():
    work, (scr, program), report = fv.start()
    wine.require("convert", "cjpeg", "cwebp", "heif-enc")
    scr, program = os.path.abspath(scr), os.path.abspath(program)
    folders = pictures(work)
    screen = x11.Server()
    depth = screen.x.screen().root_depth
    bits = (8, 8, 8) if depth > 16 else (5, 5, 5)

    def compare(name, folder):
        registry.settings(path=wine.windows_path(folder), **SETTINGS)
        with wine.Saver(scr, "/s") as saver:
            first, _ = steady_frame(screen, saver)
        report.check(first is not None and any(first.data), "%s: Fotovane.scr drew a frame" % name)

        x11.write_store(os.path.join(work, "config"), dict(SETTINGS, path=folder))
        with x11.Saver(program, screen, work) as saver:
            second, ended = steady_frame(screen, saver)
            report.check(ended is None and second is not None and any(second.data),
                         "%s: fotovane drew a frame (exit status %s, %r)"
                         % (name, ended, saver.stderr()[:300]))
        if first is None or second is None:
            return
        a, b = first.keep_bits(bits), second.keep_bits(bits)
        differ = sum(1 for i in range(0, len(a.data), 3) if a.data[i:i + 3] != b.data[i:i + 3])
        first.save(os.path.join(work, "windows-%s-%d.ppm" % (name, depth)))
        second.save(os.path.join(work, "linux-%s-%d.ppm" % (name, depth)))
        report.check(differ == 0, "%s, depth %d: the first frames are the same on %s bits per "
                     "channel (%d pixels differ)"
                     % (name, depth, "/".join(map(str, bits)), differ))

    def checks():
        for name, folder in folders.items():
            compare(name, folder)

    with wine.Registry() as registry:
        return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
