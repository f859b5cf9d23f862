"""The two front ends draw the same first frame from the same pictures and settings: the
Windows saver under Wine and the Linux saver, one after the other on the same X server.

    cross_test.py WORKDIR FOTOVANE.SCR FOTOVANE      (under scripts/with-wine.sh)

At depth 24 the frames must match pixel for pixel. At depth 16 Wine keeps 5 bits of each
channel and the Linux saver 6 bits of green, so the frames are compared on 5 bits each.
"""

import os
import sys

from harness import common as fv, wine, x11

SETTINGS = {"delay": 100, "position": 0, "mode": 0, "size": 0, "subdirs": 0, "random": 0}


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


def main():
    work, (scr, program), report = fv.start()
    wine.require("convert", "cjpeg")
    scr, program = os.path.abspath(scr), os.path.abspath(program)
    folder = os.path.join(work, "pictures")
    os.makedirs(folder, exist_ok=True)
    # Larger than the screen and of another shape: decode reduction, fit and centering all
    # play a part.
    fv.photo(os.path.join(folder, "photo.jpg"), 2000, 1700)
    screen = x11.Server()
    depth = screen.x.screen().root_depth

    def checks():
        registry.settings(path=wine.windows_path(folder), **SETTINGS)
        with wine.Saver(scr, "/s") as saver:
            first, _ = steady_frame(screen, saver)
        report.check(first is not None and any(first.data), "Fotovane.scr drew a frame")

        x11.write_store(os.path.join(work, "config"), dict(SETTINGS, path=folder))
        with x11.Saver(program, screen, work) as saver:
            second, ended = steady_frame(screen, saver)
            report.check(ended is None and second is not None and any(second.data),
                         "fotovane drew a frame (exit status %s, %r)"
                         % (ended, saver.stderr()[:300]))

        bits = (8, 8, 8) if depth > 16 else (5, 5, 5)
        a, b = first.keep_bits(bits), second.keep_bits(bits)
        differ = sum(1 for i in range(0, len(a.data), 3) if a.data[i:i + 3] != b.data[i:i + 3])
        first.save(os.path.join(work, "windows-%d.ppm" % depth))
        second.save(os.path.join(work, "linux-%d.ppm" % depth))
        report.check(differ == 0, "depth %d: the first frames are the same on %s bits per "
                     "channel (%d pixels differ)" % (depth, "/".join(map(str, bits)), differ))

    with wine.Registry() as registry:
        return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
