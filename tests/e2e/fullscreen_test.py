"""The full-screen saver end to end: first picture on screen, and every way it ends or not.

    python3 fullscreen_test.py WORKDIR SCR HELPER
"""

import os
import sys

from harness import common as fv, wine


def first_picture(run, registry, work):
    folder = os.path.join(work, "first")
    os.makedirs(folder, exist_ok=True)
    picture_file = fv.photo(os.path.join(folder, "photo.jpg"), 320, 240)
    registry.settings(path=wine.windows_path(folder), size=0, position=0, mode=0)
    picture = wine.decode_jpeg(picture_file)

    with run.start("picture") as saver:
        # A picture that fits is drawn at its own size, centered on the 1024x768 screen.
        left, top = (1024 - 320) // 2, (768 - 240) // 2
        shot = None

        def shown():
            nonlocal shot
            shot = run.screen.grab()
            return fv.difference(shot, picture, left, top).largest <= 2

        run.report.check(fv.poll(shown, 10, 0.1),
                         "the first picture shows at its own size, centered")
        found = fv.difference(shot, picture, left, top)
        run.report.check(found.largest <= 2 and found.mean < 0.5, "its pixels are the decoded "
                         "file's (largest difference %d, mean %.2f)" % (found.largest, found.mean))
        run.report.check(found.stray == 0, "the rest of the screen is black")
        shot.save(os.path.join(work, "first-picture.ppm"))

        # Travel counts from where the cursor stood at the start, on each axis by itself.
        for x, y, what in ((540, 440, "40 right plus 40 down"),
                           (550, 400, "50 right"),
                           (450, 400, "50 left")):
            fv.mouse_to(x, y)
            run.stays(saver, what)
        run.ends(saver, lambda: fv.mouse_to(551, 400), "51 right")


def vertical_travel(run):
    with run.start("vertical") as saver:
        # Small steps add up: each is far below the threshold.
        for y, what in ((350, "50 up"), (420, "20 down"), (440, "40 down"), (450, "50 down")):
            fv.mouse_to(500, y)
            run.stays(saver, what)
        run.ends(saver, lambda: fv.mouse_to(500, 451), "51 down, in steps")


def messages_and_keys(run):
    with run.start("messages") as saver:
        run.helper.call("post-close")
        run.stays(saver, "a WM_CLOSE posted by another program")
        code, out = run.helper.call("syscommand")
        run.report.check(code == 0 and out == "0 0",
                         "SC_SCREENSAVE and SC_CLOSE are answered with 0 (got %r)" % out)
        run.stays(saver, "SC_SCREENSAVE and SC_CLOSE")
        fv.key("F10")
        run.stays(saver, "F10, a system key,")
        fv.key("alt+F4")
        run.stays(saver, "Alt+F4")
        run.ends(saver, lambda: fv.key("a"), "the key A")


def click_and_foreground(run):
    with run.start("click") as saver:
        run.ends(saver, lambda: fv.click(1), "a left click")
    with run.start("foreground") as saver:
        code, out = run.helper.call("foreground")
        run.report.check(code == 0, "another program shows a window (%s)" % out)
        run.ends(saver, lambda: None, "another program taking the foreground")


def zero_threshold(run, registry):
    registry.dword(wine.SYSTEM, "Mouse Threshold", 0)
    with run.start("threshold 0") as saver:
        # The window's creation brings one mouse message with the cursor still.
        run.stays(saver, "with threshold 0, the still cursor")
        run.ends(saver, lambda: fv.mouse_to(501, 400), "with threshold 0, one pixel right")


def main():
    work, (scr, helper), report = fv.start()
    wine.require("djpeg", "convert", "cjpeg")
    run = wine.Runs(scr, wine.Helper(helper), report)

    def checks():
        # The system's defaults: a threshold of 50 pixels and a grace period of 15 seconds.
        registry.delete_value(wine.SYSTEM, "Mouse Threshold")
        registry.delete_value(wine.SYSTEM, "Password Delay")
        first_picture(run, registry, work)
        vertical_travel(run)
        messages_and_keys(run)
        click_and_foreground(run)
        zero_threshold(run, registry)

    with wine.Registry() as registry:
        return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
