"""Configure, then run: the real setup dialog driven with X input, then the full-screen saver
showing the stored settings.

    python3 configure_test.py WORKDIR SCR HELPER RESOURCE_H
"""

import os
import re
import sys

from harness import common as fv, wine, x11

TITLE = "Fotovane 3.0 Setup"
WIDE = "#e03020"  # 1024x256: fitted into the Small box of 512x384 it is 512x128
TALL = "#20c040"  # 256x768: fitted it is 128x384
DELAY_S = 3  # the first frame stays this long: looks at it come a few tenths of a second apart


def control_ids(resource_h):
    with open(resource_h) as f:
        return {m.group(1): int(m.group(2))
                for m in re.finditer(r"#define\s+(ID\w+)\s+(\d+)", f.read())}


def click_control(helper, ids, name):
    point = None

    def located():
        nonlocal point
        code, out = helper.call("control", TITLE, str(1 if name == "IDOK" else ids[name]))
        point = out.split() if code == 0 else None
        return point is not None

    if not fv.poll(located, 15, 0.1):
        raise fv.Failure("the dialog control %s cannot be found" % name)
    fv.mouse_to(int(point[0]), int(point[1]))
    fv.click(1)


def replace_text(helper, ids, name, text):
    click_control(helper, ids, name)
    fv.key("End")
    fv.key("shift+Home")
    fv.key("BackSpace")
    fv.type_text(text)


def colour(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


def near(pixel, hex_colour, tolerance=16):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour(hex_colour)))


def configure(scr, helper, report, registry, ids, folder):
    registry.delete(wine.SETTINGS)  # the dialog starts from the defaults
    with wine.Saver(scr, "/c") as dialog:
        # Collage also picks Scattered and Large; Centered and Small are chosen after it.
        click_control(helper, ids, "IDC_COLLAGE")
        click_control(helper, ids, "IDC_CENTERED")
        click_control(helper, ids, "IDC_SMALL")
        replace_text(helper, ids, "IDC_DELAY", str(DELAY_S))
        replace_text(helper, ids, "IDC_PATH", wine.windows_path(folder))
        click_control(helper, ids, "IDOK")
        code = dialog.wait_exit(10)
        report.check(code == 0, "OK closes the dialog, exit code 0 (got %s)" % code)
    stored = {name: registry.query(wine.SETTINGS, name)
              for name in ("delay", "size", "position", "mode", "path")}
    report.check(stored == {"delay": hex(DELAY_S), "size": "0x2", "position": "0x0", "mode": "0x1",
                            "path": wine.windows_path(folder)},
                 "the dialog stored what was chosen: %s" % stored)


def run_saver(scr, helper, report, work):
    screen = x11.Server()
    with helper.start_saver(scr, 900, 700) as saver:
        # Wide at (256, 320) 512x128, tall at (448, 192) 128x384: a cross when both are up.
        wide_only = [(256, 320), (767, 447), (300, 384), (720, 384)]
        tall_only = [(448, 192), (575, 575), (512, 200), (512, 560)]
        outside = [(255, 384), (768, 384), (512, 191), (512, 576), (300, 250), (100, 100)]
        shots = {}

        def look():
            shot = screen.grab()
            wide = all(near(shot.pixel(x, y), WIDE) for x, y in wide_only)
            tall = all(near(shot.pixel(x, y), TALL) for x, y in tall_only)
            black = all(shot.pixel(x, y) == (0, 0, 0) for x, y in outside)
            return shot, wide, tall, black

        def first():
            shots["first"] = look()
            _, wide, tall, black = shots["first"]
            return (wide or tall) and black

        report.check(fv.poll(first, 15, 0.1),
                     "the first picture shows Small and Centered, the rest black")
        _, wide, tall, _ = shots["first"]
        report.check(wide != tall, "the first frame shows one picture only")

        def both():
            shots["both"] = look()
            _, wide, tall, black = shots["both"]
            return wide and tall and black

        report.check(fv.poll(both, 2 * DELAY_S + 5, 0.2), "%d s later the other picture lies "
                     "over it: a collage, %d s apart" % (DELAY_S, DELAY_S))
        screen.grab().save(os.path.join(work, "configured-collage.ppm"))
        fv.key("Escape")
        code = saver.wait_exit(5)
        report.check(code == 0, "a key ends the configured saver (exit code %s)" % code)


def main():
    work, (scr, helper, resource_h), report = fv.start()
    wine.require("convert")
    helper = wine.Helper(helper)
    folder = os.path.join(work, "pictures")
    os.makedirs(folder, exist_ok=True)
    fv.solid(os.path.join(folder, "wide.jpg"), 1024, 256, WIDE)
    fv.solid(os.path.join(folder, "tall.jpg"), 256, 768, TALL)
    with wine.Registry() as registry:
        return report.run(lambda: (
            configure(scr, helper, report, registry, control_ids(resource_h), folder),
            run_saver(scr, helper, report, work)))


if __name__ == "__main__":
    sys.exit(main())
