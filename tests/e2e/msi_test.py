"""The Windows installer under Wine: it puts Fotovane.scr into the 64-bit system folder and lists
the program under installed programs, a second install changes nothing, and removing it takes
away all it wrote and nothing of the user's: the settings and the chosen screen saver stay.

    python3 msi_test.py WORKDIR MSI
"""

import os
import sys

from harness import common as fv, wine

UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
DESKTOP = "HKCU\\Control Panel\\Desktop"


def installed_scr():
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "system32",
                        "Fotovane.scr")


def entries():
    """The installed-programs entries named Fotovane, as value name -> data."""
    _, out = wine.wine("reg", "query", UNINSTALL, "/s")
    found, current = [], None
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            current = {}
            found.append(current)
        elif current is not None and "    REG_" in line:
            name, _, data = line.strip().partition("    ")
            current[name] = data.partition("    ")[2].strip()
    return [e for e in found if e.get("DisplayName") == "Fotovane"]


def check_installed(report, when):
    listed = entries()
    report.check(os.path.isfile(installed_scr()), when + ": Fotovane.scr is in system32")
    report.check(len(listed) == 1 and listed[0].get("DisplayVersion") == "3.0.0.0" and
                 listed[0].get("Publisher") == "The Fotovane team",
                 when + ": one entry under installed programs, Fotovane 3.0.0.0 of the "
                 "Fotovane team (%s)" % [(e.get("DisplayVersion"), e.get("Publisher"))
                                         for e in listed])


def run(report, msi):
    # What the user had before: a screen saver of their own choosing and settings of ours.
    chosen = "C:\\windows\\system32\\other.scr"
    with wine.Registry() as registry:
        registry.string(DESKTOP, "SCRNSAVE.EXE", chosen)
        registry.settings(delay=7)
        code, _ = wine.wine("msiexec", "/i", wine.windows_path(msi), "/qn", timeout=120)
        report.check(code == 0, "msiexec /i installs (exit code %s)" % code)
        check_installed(report, "installed")
        report.check(wine.Registry.query(DESKTOP, "SCRNSAVE.EXE") == chosen,
                     "the installer leaves the chosen screen saver alone")
        code, _ = wine.wine("msiexec", "/i", wine.windows_path(msi), "/qn", timeout=120)
        report.check(code == 0, "a second install of the same file succeeds (exit code %s)" %
                     code)
        check_installed(report, "installed twice")
        code, _ = wine.wine("msiexec", "/x", wine.windows_path(msi), "/qn", timeout=120)
        report.check(code == 0, "msiexec /x removes it (exit code %s)" % code)
        report.check(not os.path.exists(installed_scr()), "removed: Fotovane.scr is gone")
        report.check(not entries(), "removed: no entry under installed programs")
        report.check(wine.Registry.query(DESKTOP, "SCRNSAVE.EXE") == chosen and
                     wine.Registry.query(wine.SETTINGS, "delay") == "0x7",
                     "removed: the user's settings and chosen screen saver stay")


def main():
    _, (msi,), report = fv.start()
    wine.require()
    return report.run(lambda: run(report, msi))


if __name__ == "__main__":
    sys.exit(main())
