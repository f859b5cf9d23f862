"""The preview switch of the real program: a child of another program's window that lives and
dies with it, and a switch without a usable window that ends at once.

    python3 preview_test.py SCR HELPER WORKDIR
"""

import sys
import time

import fvdrive as fv


def hosted_child(scr, helper, report):
    # The helper makes a 152x112 host, starts "/p <host>", sends the child input, keeps it a
    # while, destroys the host and reports; the program's own drawing is not visible under
    # Wine across processes, so pixels are checked by the in-process tests.
    code, out = helper.call("host", "152", "112", "1500", fv.windows_path(scr), timeout=60)
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
    for handle in ("0", "12345", "-7", "x"):
        begin = time.monotonic()
        saver = fv.Saver(scr, "/p", handle)
        code = saver.wait_exit(10)
        saver.kill()
        report.check(code == 0 and time.monotonic() - begin < 5,
                     "/p %s ends at once with exit code 0 (got %s)" % (handle, code))


def main():
    (scr, _, _), helper, report = fv.start(3)

    def checks():
        hosted_child(scr, helper, report)
        no_window(scr, helper, report)

    return report.run(checks)


if __name__ == "__main__":
    sys.exit(main())
