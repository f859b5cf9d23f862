"""The full-screen saver with folder links, a large folder tree and slow pictures: every folder
shows its pictures once per pass, and moving the mouse ends the saver at any moment.

    python3 never_stuck_test.py SCR HELPER WORKDIR
"""

import os
import subprocess
import sys
import time

import fvdrive as fv

START_S = 20
GOAL_MS = 100  # from the mouse moving to the saver's end, beyond an idle saver's own time
SLACK_MS = 400  # what a loaded test machine may add to a single measurement
RED, BLUE = (255, 0, 0), (0, 0, 255)


def patch_frame_size(blob, width, height):
    """The same bytes with the first frame header declaring another size."""
    data = bytearray(blob)
    i = 2
    while i + 9 < len(data) and data[i] == 0xFF:
        marker = data[i + 1]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            data[i + 5:i + 9] = bytes((height >> 8, height & 255, width >> 8, width & 255))
            return bytes(data)
        i += 2 + (data[i + 2] << 8 | data[i + 3])
    raise fv.Failure("no frame header")


def declared_picture(path, width, height, *options):
    """A 64x64 picture's data under a header that declares width x height."""
    pgm = b"P5\n64 64\n255\n" + bytes(((x * 7 + y * 13) ^ (x * y)) & 255
                                      for y in range(64) for x in range(64))
    blob = subprocess.run(["cjpeg", "-grayscale", *options], input=pgm, capture_output=True,
                          check=True).stdout
    with open(path, "wb") as f:
        f.write(patch_frame_size(blob, width, height))


def looped_folder(work, name, links):
    """a.jpg (red), sub/b.jpg (blue) and the given links, name relative to the folder."""
    folder = os.path.join(work, name)
    os.makedirs(os.path.join(folder, "sub"), exist_ok=True)
    fv.make_solid(os.path.join(folder, "a.jpg"), 320, 240, "#ff0000")
    fv.make_solid(os.path.join(folder, "sub", "b.jpg"), 320, 240, "#0000ff")
    for link, target in links:
        path = os.path.join(folder, link)
        if not os.path.islink(path):
            os.symlink(target, path)
    return folder


def big_tree(work):
    """20000 empty folders in two levels, with a slow picture and a hostile one on top."""
    folder = os.path.join(work, "tree")
    if not os.path.isdir(folder):
        for i in range(200):
            for j in range(100):
                os.makedirs(os.path.join(folder, "d%03d" % i, "e%03d" % j))
    slow_pictures(folder)
    return folder


def slow_pictures(folder):
    os.makedirs(folder, exist_ok=True)
    # Shown, after a second or so of decoding: a progressive picture 13000 pixels square.
    declared_picture(os.path.join(folder, "slow.jpg"), 13000, 13000, "-progressive")
    # Given up: arithmetic coding over a declared 52000 square took seconds per frame.
    declared_picture(os.path.join(folder, "hostile.jpg"), 52000, 52000, "-arithmetic")
    return folder


def centre_colour():
    """RED or BLUE as the screen's centre shows it after JPEG coding, else None."""
    shot = fv.screenshot()
    pixel = shot.pixel(shot.width // 2, shot.height // 2)
    for colour in (RED, BLUE):
        if max(abs(a - b) for a, b in zip(pixel, colour)) <= 8:
            return colour
    return None


def show_order(scr, helper, report, registry, folder, what):
    """Each picture once per pass: with one frame a second, red and blue take turns."""
    registry.string(fv.SETTINGS_KEY, "path", fv.windows_path(folder))
    helper.sync_cursor(500, 400)
    saver = fv.Saver(scr, "/s")
    try:
        shown = fv.poll(lambda: centre_colour() in (RED, BLUE) or not saver.alive(), START_S, 0.2)
        report.check(shown and saver.alive(), what + ": the first picture shows")
        colours = []
        end = time.monotonic() + 6.5
        while time.monotonic() < end and saver.alive():
            colour = centre_colour()
            if colour in (RED, BLUE) and (not colours or colours[-1] != colour):
                colours.append(colour)
            time.sleep(0.15)
        report.check(len(colours) >= 5,
                     "%s: the pictures take turns at every frame (%d changes in 6.5 s)"
                     % (what, len(colours) - 1))
        fv.mouse_to(700, 400)
        report.check(saver.wait_exit(5) == 0, what + ": mouse travel ends the saver")
    finally:
        saver.kill()


def end_latency(scr, helper, wait_s):
    """Starts the saver, moves the mouse 200 pixels wait_s after its window appears and
    returns the milliseconds until the program has ended (None: it did not end in 10 s)."""
    helper.sync_cursor(500, 400)
    saver = fv.Saver(scr, "/s")
    try:
        if not fv.poll(lambda: helper.saver_window() != 0 or not saver.alive(), START_S, 0.02):
            raise fv.Failure("the saver window did not appear")
        time.sleep(wait_s)
        if not saver.alive():
            raise fv.Failure("the saver ended on its own")
        fv.run("xdotool", "mousemove", "700", "400")
        moved = time.monotonic()
        while saver.alive():
            if time.monotonic() - moved > 10:
                return None
            time.sleep(0.002)
        return (time.monotonic() - moved) * 1000
    finally:
        saver.kill()


def first_frame_s(scr, helper, folder):
    """Seconds from the saver's window to its first picture, with no input: how long the
    saver was deaf to the mouse before it looked for input during the work."""
    helper.sync_cursor(500, 400)
    saver = fv.Saver(scr, "/s")
    try:
        fv.poll(lambda: helper.saver_window() != 0 or not saver.alive(), START_S, 0.02)
        start = time.monotonic()
        def drawn():
            data = fv.screenshot().data
            return data.count(0) != len(data)

        fv.poll(lambda: drawn() or not saver.alive(), 60, 0.1)
        return time.monotonic() - start
    finally:
        saver.kill()


def latencies(scr, helper, report, registry, work):
    registry.string(fv.SETTINGS_KEY, "path", fv.windows_path(os.path.join(work, "self")))
    idle = [end_latency(scr, helper, 2.0) for _ in range(3)]
    report.check(None not in idle, "an idle saver ends on mouse travel (%s ms)"
                 % ", ".join("%.0f" % v for v in idle if v is not None))
    if None in idle:
        return
    baseline = min(idle)

    def measure(what, waits):
        got = [end_latency(scr, helper, w) for w in waits]
        shown = ", ".join("at %.1f s: %s" % (w, "never" if v is None else "%.0f ms" % v)
                          for w, v in zip(waits, got))
        worst = max(float("inf") if v is None else v for v in got)
        print("      %s: %s (idle saver %.0f ms)" % (what, shown, baseline), flush=True)
        report.check(worst <= baseline + GOAL_MS + SLACK_MS,
                     "%s: mouse travel ends the saver at once (worst %.0f ms beyond the idle "
                     "saver's %.0f)" % (what, worst - baseline, baseline))

    tree = big_tree(work)
    registry.string(fv.SETTINGS_KEY, "path", fv.windows_path(tree))
    print("      20000 folders: first frame after %.1f s without input"
          % first_frame_s(scr, helper, tree), flush=True)
    measure("20000 folders and slow pictures", (0.3, 1.0, 2.5))
    registry.string(fv.SETTINGS_KEY, "path",
                    fv.windows_path(slow_pictures(os.path.join(work, "slow"))))
    measure("slow and hostile pictures", (0.1, 0.3, 0.5, 0.8, 1.2, 1.7))


def restart_wine():
    """Settings read at Wine's start, such as the display's DPI, take effect after this. As
    scripts/with-wine.sh does: one lasting server, and Wine's background services started
    here, so that they do not hold the output pipe of the next program that is run."""
    for command in (["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", "-p"],
                    ["wine", "cmd", "/c", "exit"]):
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def display_scaling(scr, helper, report, registry):
    """At 150 % the threshold of 50 logical pixels is 75 of the screen's."""
    registry.dword(r"HKCU\Control Panel\Desktop", "LogPixels", 144)
    restart_wine()
    try:
        helper.sync_cursor(500, 400)
        saver = fv.Saver(scr, "/s")
        try:
            fv.poll(lambda: helper.saver_window() != 0 or not saver.alive(), START_S, 0.1)
            fv.mouse_to(575, 400)
            report.check(fv.holds(saver.alive, 0.5), "at 150 %, 75 pixels right keep the saver")
            fv.mouse_to(576, 400)
            report.check(saver.wait_exit(5) == 0, "at 150 %, 76 pixels right end it")
        finally:
            saver.kill()
    finally:
        registry.restore()
        restart_wine()


def main():
    (scr, _, work), helper, report = fv.start(3)
    registry = fv.Registry()

    def checks():
        registry.delete_value(fv.SYSTEM_KEY, "Mouse Threshold")
        registry.delete_value(fv.SYSTEM_KEY, "Password Delay")
        for name, value in (("size", 0), ("position", 0), ("mode", 0), ("random", 0),
                            ("subdirs", 1), ("delay", 1)):
            registry.dword(fv.SETTINGS_KEY, name, value)
        show_order(scr, helper, report, registry,
                   looped_folder(work, "self", [("sub/loop", ".")]), "sub/loop -> .")
        show_order(scr, helper, report, registry,
                   looped_folder(work, "twice", [("sub/l1", "."), ("sub/l2", ".")]),
                   "sub/l1, sub/l2 -> .")
        latencies(scr, helper, report, registry, work)
        display_scaling(scr, helper, report, registry)

    return report.run(checks, registry)


if __name__ == "__main__":
    sys.exit(main())
