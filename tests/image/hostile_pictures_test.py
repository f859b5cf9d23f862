"""Every hostile picture fails cheaply and every real one still shows, through the show's own
decoders as fvcheck runs them:
    hostile_pictures_test.py WORKDIR FVCHECK PICTURES
PICTURES is the folder make_hostile_pictures.py made. Each run is held by a memory and a
processor-time limit, so that a regression cannot take the machine.
"""

import os
import resource
import signal
import subprocess
import sys
import time

from harness import common as fv

BOX = "1920x1080"
CPU_BUDGET_S = 0.5  # processor time a hostile file may cost, the decoding process's included
# The budget holds on the machine it was set on, where this real picture decodes in about
# REFERENCE_CPU_S; a slower machine, measured by the same picture in the same run, gets as much
# more. (Refusals cost a hundredth of the budget; reading a large header costs most of it.)
REFERENCE = "webp-photo-6000x4000.webp"
REFERENCE_CPU_S = 0.34
PEAK_BUDGET_MB = 64
MEMORY_LIMIT = 4 << 30  # address space of each run
CPU_LIMIT_S = 30  # processor time of each run: a regression ends here, not the machine
WALL_LIMIT_S = 300  # only a program that sleeps forever meets this

FAILS, SHOWS, EITHER = "fails", "shows", "fails or shows"

# Each hostile file, what it must come to, and the attack it stands for.
HOSTILE = {
    "heic-overlay-missing-item.heic": (FAILS, "overlay layer names no item: libheif aborts"),
    "heic-overlay-exif-item.heic": (FAILS, "overlay layer names the Exif item: libheif aborts"),
    "heic-grid-65000.heic": (FAILS, "grid header 65000x65000, ispe 64x64"),
    "heic-overlay-65000.heic": (FAILS, "overlay header 65000x65000, ispe 64x64"),
    "heic-grid-20000.heic": (FAILS, "grid header 20000x20000, ispe 64x64"),
    "heic-ispe-64-over-8192.heic": (FAILS, "ispe 64x64 over an 8192x8192 coded picture"),
    "heic-grid-4096-tiles-labelled-64.heic": (FAILS, "2x2 grid of 4096x4096 tiles labelled 64"),
    "heic-flat-5600.heic": (FAILS, "flat 5600x5600 in 7 KB"),
    "avif-flat-4096.avif": (FAILS, "flat 4096x4096 AVIF in 400 bytes"),
    # The show needs no text: skipped, the picture under them shows.
    "png-ztxt-many.png": (SHOWS, "64 zTXt chunks inflating to 7.9 MB each"),
    "png-itxt-many.png": (SHOWS, "64 compressed iTXt chunks inflating to 7.9 MB each"),
    "png-text-length-lie.png": (FAILS, "44 bytes, tEXt length 0x7fffffff"),
    "png-text-9mb.png": (FAILS, "a 9 MB tEXt chunk, over the 8 MB chunk limit"),
    "png-grey1-52000.png": (FAILS, "52000x52000 1-bit grey, one IDAT of zeros"),
    "png-grey1-13000-interlaced.png": (FAILS, "13000x13000 1-bit grey interlaced"),
    "png-rgba16-11500-interlaced.png": (FAILS, "11500x11500 RGBA 16-bit interlaced"),
    "webp-lossless-5657-tiny.webp": (FAILS, "lossless 5657x5657 in 32 bytes"),
    "webp-lossless-16383-padded.webp": (FAILS, "lossless 16383x16383 with 1 MB of padding"),
    "webp-anim-11585-padded.webp": (FAILS, "animation canvas 11585x11585, 600 KB"),
    "webp-anim-5657-tiny.webp": (FAILS, "animation canvas 5657x5657 in 88 bytes"),
    "webp-unknown-chunk-30mb.webp": (EITHER, "an unknown chunk of 30 MB before the picture"),
    "webp-lossless-65536-groups.webp": (EITHER, "lossless with 65536 prefix-code groups"),
}

# Pictures as cameras, phones and screen grabs make them: each must show.
REAL = {
    "heic-photo-8000x6000.heic": "a 48 MP phone photo",
    "heic-grid-4032x3024.heic": "a 12 MP iPhone grid of 512x512 tiles",
    "heic-plain-640x480.heic": "a small photo",
    "heic-mirrored-640x480.heic": "the same, mirrored by imir",
    "heic-plain-10bit-640x480.heic": "a small photo of 10 bits a sample",
    "heic-mirrored-10bit-640x480.heic": "the same, mirrored by imir",
    "webp-photo-6000x4000.webp": "a 24 MP lossy photo",
    "webp-screenshot-4896x3264.webp": "a 16 MP lossless screenshot",
    "png-photo16-8000x6000.png": "a 48 MP 16-bit photo",
    "png-screenshot-3840x2160.png": "a 4K screenshot",
}


def limits():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))
    resource.setrlimit(resource.RLIMIT_CPU, (CPU_LIMIT_S, CPU_LIMIT_S + 5))
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


class Outcome:
    """One run of fvcheck: what it said, how it ended, what it cost."""

    def __init__(self, fvcheck, picture, *options):
        with open(os.devnull, "rb") as nothing:
            child = subprocess.Popen([fvcheck, "--box", BOX, *options, picture], stdin=nothing,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     preexec_fn=limits)
        # Read before waiting: a full pipe must not stall it.
        end = time.monotonic() + WALL_LIMIT_S
        self.output = b""
        os.set_blocking(child.stdout.fileno(), False)
        while True:
            self.output += child.stdout.read() or b""
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > end:
                child.kill()
            time.sleep(0.01)
        self.output = (self.output + (child.stdout.read() or b"")).decode(errors="replace")
        child.stdout.close()
        child.returncode = 0  # reaped here, not by Popen
        self.cpu_s = usage.ru_utime + usage.ru_stime
        self.peak_mb = usage.ru_maxrss / 1024
        if os.WIFSIGNALED(status):
            self.ended = signal.Signals(os.WTERMSIG(status)).name
        else:
            self.ended = "status %d" % os.WEXITSTATUS(status)
        self.result = SHOWS if self.ended == "status 0" and " decoded " in self.output else \
            FAILS if self.ended == "status 1" and "FAILED" in self.output else None

    def describe(self):
        return "%s, %.2f s, %.0f MB%s" % (self.ended, self.cpu_s, self.peak_mb,
                                         ", " + self.result if self.result else "")


def mirrored(a, b):
    """Whether b is a mirrored about either axis, and not a itself."""
    rows = [a.row(y) for y in range(a.height)]
    flipped = b"".join(b"".join(r[x * 3:x * 3 + 3] for x in range(a.width - 1, -1, -1))
                       for r in rows)
    return (a.width, a.height) == (b.width, b.height) and a.data != b.data and \
        b.data in (flipped, b"".join(reversed(rows)))


def cpu_budget(fvcheck, pictures):
    """CPU_BUDGET_S on a machine as fast as the one it was set on, or faster; more on a slower."""
    runs = sorted(Outcome(fvcheck, os.path.join(pictures, "real", REFERENCE)).cpu_s
                  for _ in range(3))
    return CPU_BUDGET_S * max(1.0, runs[1] / REFERENCE_CPU_S)


def check_all(work, fvcheck, pictures, report):
    table = []
    budget = cpu_budget(fvcheck, pictures)
    for folder, rows in (("hostile", HOSTILE), ("real", REAL)):
        made = set(os.listdir(os.path.join(pictures, folder)))
        report.check(made == set(rows), "%s: the table names every file made and no other "
                     "(made only: %s; table only: %s)" % (folder, sorted(made - set(rows)),
                                                          sorted(set(rows) - made)))
        for name in sorted(set(rows) & made):
            outcome = Outcome(fvcheck, os.path.join(pictures, folder, name))
            table.append((folder, name, outcome))
            if folder == "hostile":
                expected, what = rows[name]
                good = outcome.result is not None and outcome.result in expected and \
                    outcome.cpu_s <= budget and outcome.peak_mb <= PEAK_BUDGET_MB
                report.check(good, "%s (%s): %s within %.2f s and %d MB; got %s" % (
                    name, what, expected, budget, PEAK_BUDGET_MB, outcome.describe()))
            else:
                report.check(outcome.result == SHOWS, "%s (%s): shows; got %s" % (
                    name, rows[name], outcome.describe()))

    for bits in ("", "-10bit"):
        shown = []
        for name in ("heic-plain%s-640x480" % bits, "heic-mirrored%s-640x480" % bits):
            out = os.path.join(work, name)
            os.makedirs(out, exist_ok=True)
            if Outcome(fvcheck, os.path.join(pictures, "real", name + ".heic"), "--out",
                       out).result == SHOWS:
                shown.append(fv.Image.read(os.path.join(out, name + ".ppm")))
        report.check(len(shown) == 2 and mirrored(*shown),
                     "imir%s: the mirrored picture is the plain one mirrored" % bits)

    print("\n%-8s %-40s %-10s %8s %8s  %s" % ("", "file", "ended", "cpu s", "peak MB",
                                              "result"))
    for folder, name, o in table:
        print("%-8s %-40s %-10s %8.2f %8.0f  %s" % (folder, name, o.ended, o.cpu_s, o.peak_mb,
                                                    o.result or o.output.strip()[-80:]))


def main():
    work, (fvcheck, pictures), report = fv.start()
    if not os.path.exists(os.path.join(pictures, "stamp")):
        fv.skip("no pictures in %s: build the hostile_pictures target" % pictures)
    return report.run(lambda: check_all(work, fvcheck, pictures, report))


if __name__ == "__main__":
    sys.exit(main())
