"""The full-screen saver with folder links, a large folder tree and slow pictures: every folder
shows its pictures once per pass, and moving the mouse ends the saver at any moment.

    python3 never_stuck_test.py WORKDIR SCR HELPER
"""

import os
import subprocess
import sys
import time

from harness import common as fv, wine

GOAL_MS = 100  # from the mouse moving to the saver's end, beyond an idle saver's own time
SLACK_MS = 400  # what a loaded test machine may add to a single measurement
BUSY_S = 8  # the part of the saver's work that mouse travel is tried in
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
    fv.solid(os.path.join(folder, "a.jpg"), 320, 240, "#ff0000")
    fv.solid(os.path.join(folder, "sub", "b.jpg"), 320, 240, "#0000ff")
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
    # Shown after long decoding on any machine: a large photo of noise.
    noise = fv.noise(os.path.join(os.path.dirname(os.path.dirname(folder)), "noise-48mp.jpg"),
                     8000, 6000)
    if not os.path.exists(os.path.join(folder, "noise.jpg")):
        os.symlink(noise, os.path.join(folder, "noise.jpg"))
    # A progressive picture that declares 13000 pixels square over 64x64 of data.
    declared_picture(os.path.join(folder, "slow.jpg"), 13000, 13000, "-progressive")
    # Given up: arithmetic coding over a declared 52000 square took seconds per frame.
    declared_picture(os.path.join(folder, "hostile.jpg"), 52000, 52000, "-arithmetic")
    return folder


def centre_colour(screen):
    """RED or BLUE as the screen's centre shows it after JPEG coding, else None."""
    g = screen.root.get_geometry()
    pixel = screen.grab(x=g.width // 2, y=g.height // 2, width=1, height=1).pixel(0, 0)
    for colour in (RED, BLUE):
        if max(abs(a - b) for a, b in zip(pixel, colour)) <= 8:
            return colour
    return None


def show_order(runs, registry, folder, what):
    """Each picture once per pass: with one frame a second, red and blue take turns."""
    registry.settings(path=wine.windows_path(folder))
    with runs.helper.start_saver(runs.scr) as saver:
        shown = fv.poll(lambda: centre_colour(runs.screen) in (RED, BLUE) or not saver.alive(),
                        20, 0.2)
        runs.report.check(shown and saver.alive(), what + ": the first picture shows")
        colours = []
        end = time.monotonic() + 6.5
        while time.monotonic() < end and saver.alive():
            colour = centre_colour(runs.screen)
            if colour in (RED, BLUE) and (not colours or colours[-1] != colour):
                colours.append(colour)
            time.sleep(0.15)
        runs.report.check(len(colours) >= 5,
                          "%s: the pictures take turns at every frame (%d changes in 6.5 s)"
                          % (what, len(colours) - 1))
        fv.mouse_to(700, 400)
        runs.report.check(saver.wait_exit(5) == 0, what + ": mouse travel ends the saver")


def end_latency(runs, wait_s):
    """Starts the saver, moves the mouse 200 pixels wait_s after its window appears and
    returns the milliseconds until the program has ended (None: it did not end in 10 s)."""
    with runs.helper.start_saver(runs.scr) as saver:
        if not saver.window:
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


def busy_s(runs):
    """Seconds from the saver's window to its first picture with no input, up to BUSY_S: how
    long its work lasts on this machine, and how long it was deaf to the mouse before it
    looked for input during the work."""
    with runs.helper.start_saver(runs.scr) as saver:
        start = time.monotonic()

        def drawn():
            data = runs.screen.grab().data
            return data.count(0) != len(data)

        fv.poll(lambda: drawn() or not saver.alive(), BUSY_S, 0.05)
        return time.monotonic() - start


def latencies(runs, registry, work):
    registry.settings(path=wine.windows_path(os.path.join(work, "self")))
    idle = [end_latency(runs, 2.0) for _ in range(3)]
    runs.report.check(None not in idle, "an idle saver ends on mouse travel (%s ms)"
                      % ", ".join("%.0f" % v for v in idle if v is not None))
    if None in idle:
        return
    baseline = min(idle)
    bound = baseline + GOAL_MS + SLACK_MS

    def latency(wait_s):
        # A stretch of work that does not look for input comes back at the same point of the
        # work; a stall of the loaded machine does not.
        got = end_latency(runs, wait_s)
        return got if got is not None and got <= bound else end_latency(runs, wait_s)

    def measure(what, folder, count):
        # The moves are spread over the work as long as it lasts on this machine.
        registry.settings(path=wine.windows_path(folder))
        busy = busy_s(runs)
        print("      %s: %.1f s of work before the first frame, without input (looked for "
              "up to %d s)" % (what, busy, BUSY_S), flush=True)
        waits = [min(busy, BUSY_S) * (i + 0.5) / count for i in range(count)]
        got = [latency(w) for w in waits]
        shown = ", ".join("at %.2f s: %s" % (w, "never" if v is None else "%.0f ms" % v)
                          for w, v in zip(waits, got))
        worst = max(float("inf") if v is None else v for v in got)
        print("      %s: %s (idle saver %.0f ms)" % (what, shown, baseline), flush=True)
        runs.report.check(worst <= bound, "%s: mouse travel ends the saver at once (worst %.0f "
                          "ms beyond the idle saver's %.0f)" % (what, worst - baseline, baseline))

    measure("20000 folders and slow pictures", big_tree(work), 3)
    measure("slow and hostile pictures", slow_pictures(os.path.join(work, "slow")), 6)


def restart_wine():
    """Settings read at Wine's start, such as the display's DPI, take effect after this. As
    scripts/with-wine.sh does: one lasting server, and Wine's background services started
    here, so that they do not hold the output pipe of the next program that is run."""
    for command in (["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", "-p"],
                    ["wine", "cmd", "/c", "exit"]):
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def display_scaling(runs, registry):
    """At 150 % the threshold of 50 logical pixels is 75 of the screen's."""
    registry.dword(r"HKCU\Control Panel\Desktop", "LogPixels", 144)
    restart_wine()
    try:
        with runs.start("at 150 %") as saver:
            fv.mouse_to(575, 400)
            runs.stays(saver, "at 150 %, 75 pixels right")
            runs.ends(saver, lambda: fv.mouse_to(576, 400), "at 150 %, 76 pixels right")
    finally:
        registry.restore()
        restart_wine()


def main():
    work, (scr, helper), report = fv.start()
    wine.require("convert", "cjpeg")
    runs = wine.Runs(scr, wine.Helper(helper), report)

    def checks():
        registry.delete_value(wine.SYSTEM, "Mouse Threshold")
        registry.delete_value(wine.SYSTEM, "Password Delay")
        registry.settings(size=0, position=0, mode=0, random=0, subdirs=1, delay=1)
        show_order(runs, registry, looped_folder(work, "self", [("sub/loop", ".")]),
                   "sub/loop -> .")
        show_order(runs, registry,
                   looped_folder(work, "twice", [("sub/l1", "."), ("sub/l2", ".")]),
                   "sub/l1, sub/l2 -> .")
        latencies(runs, registry, work)
        display_scaling(runs, registry)

    with wine.Registry() as registry:
        return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
