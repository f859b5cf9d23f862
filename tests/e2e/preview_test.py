"""The preview switch of the real program: a child of another program's window that lives and
dies with it, and a switch without a usable window that ends at once.

    python3 preview_test.py WORKDIR SCR HELPER
"""

import sys
import time

from harness import common as fv, wine


def hosted_child(scr, helper, report):
    # The helper makes a 152x112 host, starts "/p <host>", sends the child input, keeps it a
    # while, destroys the host and reports; the program's own drawing is not visible under
    # Wine across processes, so pixels are checked by the in-process tests.
    code, out = helper.call("host", "152", "112", "1500", wine.windows_path(scr), timeout=60)
    fields = dict(item.split("=", 1) for item in out.split() if "=" in item)
    report.check(code == 0 and fields.get("child") == "1",
                 "the preview child appears in the host window (%s)" % out)
    report.check(fields.get("size") == "152x112", "the child fills the 152x112 host")
    report.check(fields.get("alive-with-host") == "1",
                 "the preview runs on while its host lives, input notwithstanding")
    report.check(fields.get("exited") == "1" and fields.get("code") == "0",
                 "destroying the host ends the program with exit code 0")
    report.check(fields.get("saver-running") == "0",
                 "while the preview runs, the system is not told that a saver runs")


def no_window(scr, helper, report):
    # At once: as fast as a Windows program that does nothing, with room for the machine's
    # load to change between the runs.
    begin = time.monotonic()
    helper.call("running")
    limit = 5 * (time.monotonic() - begin)
    for handle in ("0", "12345", "-7", "x"):
        with wine.Saver(scr, "/p", handle) as saver:
            code, seconds = saver.ended_by(lambda: None, 2 * limit)
        report.check(code == 0 and seconds < limit, "/p %s ends at once with exit code 0 (got "
                     "%s after %.2f s, a program doing nothing %.2f s)" % (
                         handle, code, seconds, limit / 5))


def main():
    _, (scr, helper), report = fv.start()
    wine.require()
    helper = wine.Helper(helper)
    return report.run(lambda: (hosted_child(scr, helper, report),
                               no_window(scr, helper, report)))


if __name__ == "__main__":
    sys.exit(main())
