"""The full-screen saver end to end: first picture on screen, and every way it ends or not.

    python3 fullscreen_test.py SCR HELPER WORKDIR
"""

import os
import sys

import fvdrive as fv

START_S = 20  # deadline for the saver window to appear
END_S = 5  # deadline for the saver to end after input that ends it
KEEP_S = 0.4  # how long the saver must stay after input that does not end it


def start(scr, helper, report, what):
    helper.sync_cursor(500, 400)
    saver = fv.Saver(scr, "/s")
    found = fv.poll(lambda: helper.saver_window() != 0 or not saver.alive(), START_S, 0.1)
    report.check(found and saver.alive(), what + ": the saver window appears")
    report.check(helper.screen_saver_running(), what + ": the system knows that a saver runs")
    return saver


def stays(saver, helper, report, what):
    return report.check(fv.holds(saver.alive, KEEP_S) and helper.saver_window() != 0,
                        what + " keeps the saver running")


def ends(saver, helper, report, what):
    code = saver.wait_exit(END_S)
    report.check(code == 0, "%s ends the saver with exit code 0 (got %s)" % (what, code))
    report.check(helper.saver_window() == 0, what + ": the saver window is gone")
    report.check(not helper.screen_saver_running(),
                 what + ": the system is told that the saver stopped")


def first_picture(scr, helper, report, registry, work):
    folder = os.path.join(work, "first")
    os.makedirs(folder, exist_ok=True)
    picture_file = os.path.join(folder, "photo.jpg")
    fv.make_picture(picture_file, 320, 240)
    registry.string(fv.SETTINGS_KEY, "path", fv.windows_path(folder))
    registry.dword(fv.SETTINGS_KEY, "size", 0)
    registry.dword(fv.SETTINGS_KEY, "position", 0)
    registry.dword(fv.SETTINGS_KEY, "mode", 0)
    picture = fv.decode_jpeg(picture_file)

    saver = start(scr, helper, report, "picture")
    try:
        # A picture that fits is drawn at its own size, centered on the 1024x768 screen.
        left, top = (1024 - 320) // 2, (768 - 240) // 2
        shot = None

        def shown():
            nonlocal shot
            shot = fv.screenshot()
            return fv.region_difference(shot, picture, left, top)[0] <= 2

        report.check(fv.poll(shown, 10, 0.1), "the first picture shows at its own size, centered")
        largest, mean = fv.region_difference(shot, picture, left, top)
        report.check(largest <= 2 and mean < 0.5,
                     "its pixels are the decoded file's (largest difference %d, mean %.2f)"
                     % (largest, mean))
        report.check(fv.black_outside(shot, left, top, 320, 240) == 0,
                     "the rest of the screen is black")
        shot_file = os.path.join(work, "first-picture.ppm")
        fv.screenshot(shot_file)

        # Travel counts from where the cursor stood at the start, on each axis by itself.
        for x, y, what in ((540, 440, "40 right plus 40 down"),
                           (550, 400, "50 right"),
                           (450, 400, "50 left")):
            fv.mouse_to(x, y)
            stays(saver, helper, report, what)
        fv.mouse_to(551, 400)
        ends(saver, helper, report, "51 right")
    finally:
        saver.kill()


def vertical_travel(scr, helper, report):
    saver = start(scr, helper, report, "vertical")
    try:
        # Small steps add up: each is far below the threshold.
        for y, what in ((350, "50 up"), (420, "20 down"), (440, "40 down"), (450, "50 down")):
            fv.mouse_to(500, y)
            stays(saver, helper, report, what)
        fv.mouse_to(500, 451)
        ends(saver, helper, report, "51 down, in steps")
    finally:
        saver.kill()


def messages_and_keys(scr, helper, report):
    saver = start(scr, helper, report, "messages")
    try:
        helper.call("post-close")
        stays(saver, helper, report, "a WM_CLOSE posted by another program")
        code, out = helper.call("syscommand")
        report.check(code == 0 and out == "0 0",
                     "SC_SCREENSAVE and SC_CLOSE are answered with 0 (got %r)" % out)
        stays(saver, helper, report, "SC_SCREENSAVE and SC_CLOSE")
        fv.key("F10")
        stays(saver, helper, report, "F10, a system key,")
        fv.key("alt+F4")
        stays(saver, helper, report, "Alt+F4")
        fv.key("a")
        ends(saver, helper, report, "the key A")
    finally:
        saver.kill()


def click(scr, helper, report):
    saver = start(scr, helper, report, "click")
    try:
        fv.click(1)
        ends(saver, helper, report, "a left click")
    finally:
        saver.kill()


def foreground(scr, helper, report):
    saver = start(scr, helper, report, "foreground")
    try:
        code, out = helper.call("foreground")
        report.check(code == 0, "another program shows a window (%s)" % out)
        ends(saver, helper, report, "another program taking the foreground")
    finally:
        saver.kill()


def zero_threshold(scr, helper, report, registry):
    registry.dword(fv.SYSTEM_KEY, "Mouse Threshold", 0)
    saver = start(scr, helper, report, "threshold 0")
    try:
        # The window's creation brings one mouse message with the cursor still.
        stays(saver, helper, report, "with threshold 0, the still cursor")
        fv.mouse_to(501, 400)
        ends(saver, helper, report, "with threshold 0, one pixel right")
    finally:
        saver.kill()


def main():
    (scr, _, work), helper, report = fv.start(3)
    registry = fv.Registry()

    def checks():
        # The system's defaults: a threshold of 50 pixels and a grace period of 15 seconds.
        registry.delete_value(fv.SYSTEM_KEY, "Mouse Threshold")
        registry.delete_value(fv.SYSTEM_KEY, "Password Delay")
        first_picture(scr, helper, report, registry, work)
        vertical_travel(scr, helper, report)
        messages_and_keys(scr, helper, report)
        click(scr, helper, report)
        foreground(scr, helper, report)
        zero_threshold(scr, helper, report, registry)

    return report.run(checks, registry)


if __name__ == "__main__":
    sys.exit(main())
