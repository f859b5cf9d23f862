"""Driving the real Fotovane.scr under Wine: registry, the Windows-side helper, screenshots.

Runs inside the test environment of scripts/with-wine.sh (DISPLAY and WINEPREFIX set, one
persistent wineserver), so every Windows program here starts in a fraction of a second.
"""

import os
import subprocess

from harness import x11
from harness.common import KEEP_S, SETTINGS_KEY, SYSTEM_KEY, Failure, Image, Process, holds, \
    mouse_to, poll, skip

SETTINGS = "HKCU\\" + SETTINGS_KEY
SYSTEM = "HKCU\\" + SYSTEM_KEY


def require(*tools):
    """Skips the case outside the environment of scripts/with-wine.sh or without a tool."""
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        skip("needs DISPLAY and WINEPREFIX: run under scripts/with-wine.sh")
    x11.require("wine", "xdotool", *tools)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*command, timeout=30):
    """The exit code and output of a Windows program."""
    result = subprocess.run(["wine", *command], capture_output=True, text=True,
                            timeout=timeout)
    return result.returncode, result.stdout.replace("\r", "")


class Registry:
    """Sets registry values for a case and puts the keys back as they were when it leaves
    its `with` block."""

    def __init__(self):
        self.saved = {}

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.restore()

    def _save(self, key):
        if key in self.saved:
            return
        code, _ = wine("reg", "query", key)
        backup = None
        if code == 0:
            backup = os.path.join(os.environ["WINEPREFIX"], "fv-e2e-%d.reg" % len(self.saved))
            wine("reg", "export", key, windows_path(backup), "/y")
        self.saved[key] = backup

    def dword(self, key, name, value):
        self._save(key)
        wine("reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value & 0xFFFFFFFF), "/f")

    def string(self, key, name, value):
        self._save(key)
        wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def delete(self, key):
        self._save(key)
        wine("reg", "delete", key, "/f")

    def delete_value(self, key, name):
        self._save(key)
        wine("reg", "delete", key, "/v", name, "/f")

    def settings(self, **values):
        """The saver's own settings, numbers as DWORDs and texts as strings."""
        for name, value in values.items():
            (self.dword if isinstance(value, int) else self.string)(SETTINGS, name, value)

    @staticmethod
    def query(key, name):
        """The value's data as reg prints it (DWORDs as 0x...), or None."""
        code, out = wine("reg", "query", key, "/v", name)
        if code != 0:
            return None
        for line in out.splitlines():
            fields = [f for f in line.strip().split("    ") if f]
            if len(fields) == 3 and fields[0] == name:
                return fields[2].strip()
        return None

    def restore(self):
        for key, backup in self.saved.items():
            wine("reg", "delete", key, "/f")
            if backup:
                wine("reg", "import", windows_path(backup))
                os.remove(backup)
        self.saved = {}


class Helper:
    """The Windows-side helper program (e2e_helper.exe)."""

    def __init__(self, path):
        self.path = path

    def call(self, *arguments, timeout=30):
        code, out = wine(self.path, *arguments, timeout=timeout)
        return code, out.strip()

    def sync_cursor(self, x, y):
        """Puts the pointer at x, y so that Windows knows it: Wine sees pointer motion only
        over its own windows, and a saver measures travel from where Windows has the cursor."""
        with Process(["wine", self.path, "sync", str(x), str(y)], stdout=subprocess.PIPE,
                     text=True) as process:
            if process.process.stdout.readline().strip() != "ready":
                raise Failure("the cursor helper did not start")
            mouse_to(x + 1, y)
            mouse_to(x, y)
            if process.wait_exit(10) != 0:
                raise Failure("Windows did not follow the pointer to %d, %d" % (x, y))

    def saver_window(self):
        code, out = self.call("find")
        return int(out) if code == 0 and out.lstrip("-").isdigit() else 0

    def screen_saver_running(self):
        code, out = self.call("running")
        if code != 0 or out not in ("0", "1"):
            raise Failure("cannot read the screen-saver flag: %r" % out)
        return out == "1"

    def start_saver(self, scr, x=500, y=400, deadline_s=20):
        """Fotovane.scr /s with the cursor at x, y, once its window is up; `window` says
        whether it came before the saver ended or the deadline passed."""
        self.sync_cursor(x, y)
        saver = Saver(scr, "/s")
        saver.window = poll(lambda: self.saver_window() != 0 or not saver.alive(), deadline_s,
                            0.02) and saver.alive()
        return saver


class Saver(Process):
    """One run of Fotovane.scr with a switch."""

    def __init__(self, scr, *arguments):
        super().__init__(["wine", scr, *arguments])


class Runs:
    """Full-screen runs of Fotovane.scr and the checks of how input ends them or not."""

    def __init__(self, scr, helper, report):
        self.scr, self.helper, self.report = scr, helper, report
        self.screen = x11.Server()

    def start(self, what, x=500, y=400):
        saver = self.helper.start_saver(self.scr, x, y)
        self.report.check(saver.window, what + ": the saver window appears")
        self.report.check(self.helper.screen_saver_running(),
                          what + ": the system knows that a saver runs")
        return saver

    def stays(self, saver, what):
        return self.report.check(holds(saver.alive, KEEP_S) and
                                 self.helper.saver_window() != 0, what + " keeps the saver running")

    def ends(self, saver, action, what):
        code, seconds = saver.ended_by(action)
        self.report.check(code == 0 and seconds <= KEEP_S, "%s ends the saver with exit code 0 "
                          "within %.1f s (got %s after %.2f s)" % (what, KEEP_S, code, seconds))
        self.report.check(self.helper.saver_window() == 0, what + ": the saver window is gone")
        self.report.check(not self.helper.screen_saver_running(),
                          what + ": the system is told that the saver stopped")


def decode_jpeg(path):
    blob = subprocess.run(["djpeg", "-ppm", path], capture_output=True, check=True).stdout
    return Image.from_ppm(blob)
