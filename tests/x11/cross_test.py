"""The two front ends draw the same first frame from the same pictures and settings: the
Windows saver under Wine and the Linux saver, one after the other on the same X server.

    cross_test.py WORKDIR FOTOVANE.SCR FOTOVANE      (under scripts/with-wine.sh)

The same photo goes through each decoder in turn (JPEG, PNG, WebP, HEIC), with both savers
told to take every format; then a folder of several photos is shown in folder order, frame by
frame. At depth 24 the frames must match pixel for pixel. At depth 16 Wine keeps 5 bits of each
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


def steady_frames(screen, saver, count, deadline_s=20):
    """The first count frames a saver shows (black corner, picture in the middle), each taken
    once it stays the same between two looks; then a key ends the saver."""
    shots, last = [], [None]

    def steady():
        shot = screen.grab()
        framed = shot.pixel(0, 0) == (0, 0, 0) and \
            any(shot.pixel(shot.width // 2, shot.height // 2))
        same = last[0] is not None and shot.data == last[0].data
        last[0] = shot
        if framed and same and (not shots or shot.data != shots[-1].data):
            shots.append(shot)
        return len(shots) == count or not saver.alive()

    fv.poll(steady, deadline_s, 0.3 if count == 1 else 0.1)
    ended = saver.process.poll()
    fv.key("a")
    saver.wait_exit(5)
    return shots, ended


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

    def show(settings, folder, count):
        """The first count frames of each saver on the folder: Windows, then Linux."""
        registry.settings(path=wine.windows_path(folder), **settings)
        with wine.Saver(scr, "/s") as saver:
            first, _ = steady_frames(screen, saver, count)
        x11.write_store(os.path.join(work, "config"), dict(settings, path=folder))
        with x11.Saver(program, screen, work) as saver:
            second, ended = steady_frames(screen, saver, count)
            stderr = saver.stderr()[:300]
        return first, second, ended, stderr

    def same(name, first, second):
        a, b = first.keep_bits(bits), second.keep_bits(bits)
        differ = sum(1 for i in range(0, len(a.data), 3) if a.data[i:i + 3] != b.data[i:i + 3])
        first.save(os.path.join(work, "windows-%s-%d.ppm" % (name, depth)))
        second.save(os.path.join(work, "linux-%s-%d.ppm" % (name, depth)))
        report.check(differ == 0, "%s, depth %d: the frames are the same on %s bits per "
                     "channel (%d pixels differ)"
                     % (name, depth, "/".join(map(str, bits)), differ))

    def compare(name, folder):
        first, second, ended, stderr = show(SETTINGS, folder, 1)
        report.check(first and any(first[0].data), "%s: Fotovane.scr drew a frame" % name)
        report.check(ended is None and second and any(second[0].data),
                     "%s: fotovane drew a frame (exit status %s, %r)" % (name, ended, stderr))
        if first and second:
            same(name, first[0], second[0])

    def folder_order():
        # Mixed case, and "_" after the letters as NTFS has it: both savers must show Ab,
        # a_1, b, C. Made in an order that neither it nor its reverse (tmpfs) is name order.
        folder = os.path.join(work, "pictures-order")
        os.makedirs(folder, exist_ok=True)
        for number, name in enumerate(("b.jpg", "a_1.jpg", "C.JPG", "Ab.jpg")):
            fv.photo(os.path.join(folder, name), 300 + 90 * number, 500 - 60 * number)
        count = 4
        first, second, ended, stderr = show(dict(SETTINGS, delay=2), folder, count)
        report.check(len(first) == count and len(second) == count,
                     "folder order: each saver showed %d pictures one after another (%d, %d; "
                     "exit status %s, %r)" % (count, len(first), len(second), ended, stderr))
        for i, (a, b) in enumerate(zip(first, second)):
            same("order-%d" % i, a, b)

    def checks():
        for name, folder in folders.items():
            compare(name, folder)
        folder_order()

    with wine.Registry() as registry:
        return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
