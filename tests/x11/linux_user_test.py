"""The Linux saver as its users meet it, one case per CTest test:
    linux_user_test.py WORKDIR CASE FOTOVANE FVCHECK
"""

import os
import pwd
import re
import shlex
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

from harness import common as fv, x11 as xd

SOURCE = fv.SOURCE
# Not the other daemon case's user: each has its own ~/.xscreensaver.
TEST_USER = "fotovane-user"
END_S = 1.0  # a destroyed host window must end the saver within this


class Case:
    def __init__(self, work, report, program, fvcheck):
        self.program, self.fvcheck, self.work = program, fvcheck, work
        self.report, self.check = report, report.check

    def start(self, server, *arguments, program=None, **kwargs):
        return xd.Saver(program or self.program, server, self.work, *arguments, **kwargs)

    def expected(self, picture, box):
        return xd.reference(self.fvcheck, picture, box, 24, self.work)


def photo(folder, name, width, height):
    os.makedirs(folder, exist_ok=True)
    return fv.photo(os.path.join(folder, name), width, height)


def placed_at(server, window, expected, deadline_s=15):
    """Where the window shows exactly the expected picture on black: (left, top), or None."""
    found = [None]

    def look():
        shot = server.grab(window)
        rows = [y for y in range(shot.height) if any(shot.row(y))]
        if len(rows) != expected.height:
            return False
        row = shot.row(rows[0])
        columns = [x for x in range(shot.width) if any(row[x * 3:x * 3 + 3])]
        left = columns[0] if columns else 0
        if fv.difference(shot, expected, left, rows[0])[::3] == (0, 0):
            found[0] = (left, rows[0])
            return True
        return False

    fv.poll(look, deadline_s, 0.25)
    return found[0]


def command_line(case):
    """A thin run of the real program (the parser's table is a unit test): stream, text and
    exit status; then what --formats jpeg takes, as --help and the manual page say."""
    version = re.search(r"VERSION ([0-9.]+)", open(os.path.join(SOURCE, "CMakeLists.txt"))
                        .read().split("project(")[1]).group(1)
    for arguments, status, stream, pattern in (
            (["-root", "--help"], 0, 1, r"^usage: fotovane .*--add-to-xscreensaver"),
            (["--version"], 0, 1, r"^fotovane %s\n$" % re.escape(version)),
            (["--bogus"], 2, 2, r"^fotovane: unknown option '--bogus'; .*\n$"),
            (["--delay", "abc"], 2, 2,
             r"^fotovane: --delay: 'abc' is not a whole number of seconds, 1 or more\n$"),
            (["--delay", "0"], 2, 2,
             r"^fotovane: --delay: '0' is not a whole number of seconds, 1 or more\n$")):
        result = fv.run(case.program, *arguments)
        said, other = (result.stdout, result.stderr) if stream == 1 else \
            (result.stderr, result.stdout)
        case.check(result.returncode == status and re.search(pattern, said, re.S) and not other,
                   "%s: status %d, %r on stream %d only (%d, %r, %r)" % (
                       " ".join(arguments), status, pattern, stream, result.returncode,
                       result.stdout[:60], result.stderr[:100]))

    xd.require("convert", "cjpeg")
    with xd.Server("640x480x24") as server:
        window = server.host_window(320, 240)
        for formats, name, shown in (("jpeg", "photo.jpeg", True), ("jpeg", "PHOTO.JPG", True),
                                     ("jpeg", "photo.jpe", False), ("jpeg", "photo.png", False),
                                     ("all", "photo.jpe", True), ("all", "photo.png", True)):
            folder = os.path.join(case.work, "formats-" + name)
            if not os.path.exists(os.path.join(folder, name)):
                jpeg = photo(folder, "photo.jpg", 320, 240)
                if name.endswith(".png"):
                    subprocess.run(["convert", jpeg, os.path.join(folder, name)], check=True)
                    os.remove(jpeg)
                else:
                    os.rename(jpeg, os.path.join(folder, name))
            window.clear_area()
            server.x.sync()
            with case.start(server, "-window-id", hex(window.id), "--folder", folder,
                            "--formats", formats) as saver:
                if shown:
                    where = placed_at(server, window,
                                      case.expected(os.path.join(folder, name), (320, 240)))
                    case.check(where and not saver.stderr(), "--formats %s, a folder of %s: "
                               "its picture, nothing said (%r)" % (formats, name,
                                                                   saver.stderr()))
                else:
                    said = "fotovane: %s: holds no pictures\n" % folder
                    fv.poll(lambda: saver.stderr() == said, 10, 0.1)
                    case.check(saver.stderr() == said and server.steady(window) and
                               saver.alive(), "--formats %s, a folder of %s: the notice, the "
                               "line (%r)" % (formats, name, saver.stderr()))


def folder_notices(case):
    """No pictures: one stderr line naming the folder; on the screen a notice that does not
    (the same pixels for a short and a 200-character name)."""
    xd.require("runuser", "convert", "cjpeg")
    root = "/tmp/fotovane-notices-%d" % os.getpid()
    long_name = ("a long folder name " * 12)[:199 - len(root)]
    for folder in ("empty", "other files", "locked"):
        os.makedirs(os.path.join(root, folder))
    open(os.path.join(root, "other files", "notes.txt"), "w").close()
    open(os.path.join(root, "a file"), "w").close()
    photo(os.path.join(root, "locked"), "photo.jpg", 320, 240)
    os.chmod(os.path.join(root, "locked"), 0o700)
    os.chmod(root, 0o755)
    add_user()
    notices = {}
    try:
        with xd.Server("800x600x24", "-ac") as server:
            window = server.host_window(640, 480)
            for name, what, notice in (
                    ("missing", "no such folder", "not found"),
                    (long_name, "no such folder", "not found"),
                    ("a file", "not a folder", "not found"),
                    ("empty", "holds no pictures", "none"),
                    ("other files", "holds no pictures", "none"),
                    ("locked", "cannot be read (Permission denied)", "unreadable")):
                folder = os.path.join(root, name)
                # Root reads any folder: the saver runs as another user.
                command = as_user(server.name, case.program)
                with case.start(server, *command[1:], "-window-id", hex(window.id), "--folder",
                                folder, program=command[0]) as saver:
                    fv.poll(lambda: saver.stderr().endswith("\n"), 10, 0.1)
                    line = "fotovane: %s: %s\n" % (folder, what)
                    case.check(saver.stderr() == line, "%s: one line naming it (%r)"
                               % (name[:30], saver.stderr()[:300]))
                    shown = server.steady(window)
                    case.check(shown and saver.alive(), "%s: a notice, still running"
                               % name[:30])
                    notices.setdefault(notice, set()).add(shown and shown.data)
                    saver.terminate()
    finally:
        subprocess.run(["rm", "-rf", root])
    case.check([len(n) for n in notices.values()] == [1, 1, 1],
               "one notice for each of not found, no pictures, unreadable, whatever the name")


def as_user(display, *command, home=None):
    home = home or pwd.getpwnam(TEST_USER).pw_dir
    return ["runuser", "-u", TEST_USER, "--", "env", "HOME=" + home, "DISPLAY=" + display,
            *command]


def add_user():
    if os.getuid() != 0:
        fv.skip("needs root to run the saver as another user")
    try:
        pwd.getpwnam(TEST_USER)
    except KeyError:
        fv.run("useradd", "--create-home", "--shell", "/bin/sh", TEST_USER)


def xscreensaver_page(case):
    """The real daemon as an unprivileged user: --add-to-xscreensaver makes or extends
    ~/.xscreensaver and -select N shows our pictures; the page's command at its defaults shows
    the default show whatever --save stored; settings given with the joiner go into our entry,
    which a second run replaces alone; a line wrapped inside a quoted folder works."""
    xd.require("convert", "cjpeg", "xscreensaver", "xscreensaver-command", "runuser")
    add_user()
    home = pwd.getpwnam(TEST_USER).pw_dir
    shared = "/tmp/fotovane-page-%d" % os.getpid()
    program = os.path.join(shared, "fotovane")
    made = [os.path.join(home, name) for name in (".xscreensaver", "Pictures", ".config")]
    if any(os.path.lexists(path) for path in made):
        raise fv.Failure("%s: left by an earlier run? The case removes only what it made" % made)
    os.makedirs(shared)
    shutil.copy(case.program, program)
    default_photo = photo(made[1], "portrait.jpg", 600, 800)
    photo(os.path.join(shared, "stored"), "stored.jpg", 800, 600)
    spaced = [os.path.join(shared, "My Holiday Photos of the Summer"),
              os.path.join(shared, "Photos of a long summer by the sea " * 6)[:199] + "s"]
    for folder in spaced:
        photo(folder, "spaced.jpg", 1000, 500)
    subprocess.run(["chmod", "-R", "a+rX", shared], check=True)
    subprocess.run(["chown", "-R", TEST_USER, made[1]], check=True)

    with xd.Server("1024x768x24", "-ac") as server:
        def user_run(*command, **kwargs):
            return fv.run(*as_user(server.name, *command), **kwargs)

        def shows(number, picture, centered):
            user_run("xscreensaver-command", "-select", str(number))
            expected = case.expected(picture, (1024, 768))
            where = placed_at(server, server.root, expected)
            user_run("xscreensaver-command", "-deactivate")
            # Until its graphics process ends, the daemon takes no new selection.
            fv.poll(lambda: fv.run("pgrep", "-u", TEST_USER, "-f", "xscreensaver-gfx")
                    .returncode, 15, 0.2)
            return where and (where[0] == (1024 - expected.width) // 2) == centered

        # Settings that the page's defaults must override.
        user_run(program, "--folder", os.path.join(shared, "stored"), "--position", "centered",
                 "--size", "small", "--save", "-window-id", "1")
        log = open(os.path.join(case.work, "xscreensaver.log"), "w")
        daemon = subprocess.Popen(as_user(server.name, "xscreensaver", "-no-splash", "-verbose"),
                                  stdout=log, stderr=log)
        try:
            fv.poll(lambda: user_run("xscreensaver-command", "-time").returncode == 0, 15, 0.2)
            joined = user_run(program, "--add-to-xscreensaver")
            text = open(made[0]).read()

            def entries(text):  # the system's last entry gains a continuation
                return [e.rstrip("\\") for e in re.findall(r"^.* --root.*\\n\\?$", text, re.M)]
            system = entries(open("/etc/X11/app-defaults/XScreenSaver").read())
            page = ElementTree.parse(os.path.join(SOURCE, "config", "fotovane.xml")).getroot()
            ours = shlex.split(re.search(r'"Fotovane" (.*?)\s*\\n', text).group(1))
            case.check(joined.returncode == 0 and "Made " in joined.stdout and
                       "-select %d" % (len(system) + 1) in joined.stdout and
                       entries(text)[:-1] == system and len(system) > 100 and
                       ours == [program] + shlex.split(page.find("command").get("arg")),
                       "no ~/.xscreensaver: made from the system list, then the page's command "
                       "at its defaults (%r)" % joined.stdout)
            case.check(shows(len(system) + 1, default_photo, False),
                       "-select: the pictures folder, full screen, scattered, not what --save "
                       "stored")

            own = ("# mine\nmode:\t\tone\nselected:\t0\nfade:\t\tFalse\nunfade:\t\tFalse\n"
                   "lock:\t\tFalse\nprograms:\t\t\\\n\t\t\t\tqix --root\t\t\\n\\\n"
                   "-\t\"Maze!\" maze --root --grid-size 4\t\\n\\\n\npointerHysteresis:\t10\n")
            with open(made[0], "w") as f:
                f.write(own)
            joined = user_run(program, "--add-to-xscreensaver")
            text = open(made[0]).read()
            again = user_run(program, "--add-to-xscreensaver")
            case.check("entry 3" in joined.stdout and "already entry 3" in again.stdout and
                       open(made[0]).read() == text and
                       set(text.splitlines()) - set(own.splitlines()) == {ours_line(text)},
                       "a user's file keeps every line, gains one, and once only (%r)"
                       % joined.stdout)
            case.check(shows(3, default_photo, False), "-select 3 of the user's list")

            # Settings given with the joiner go into our entry, the folder absolute and quoted;
            # the settings tool then wraps the long line at blanks, inside the folder's name.
            # Each run replaces our entry, wrapped or not, and no other line.
            for folder in spaced:
                given = os.path.relpath(folder, shared) if folder == spaced[0] else folder
                joined = user_run(program, "--folder", given, "--position", "centered",
                                  "--add-to-xscreensaver", cwd=shared)
                text = open(made[0]).read()
                ours = shlex.split(re.search(r'"Fotovane" (.*?)\s*\\n', text).group(1))
                lines = set(text.splitlines())
                case.check(joined.returncode == 0 and "Entry 3 " in joined.stdout and
                           lines - set(own.splitlines()) == {ours_line(text)} and
                           set(own.splitlines()) <= lines
                           and ours == [program, "--root", "--defaults", "--folder", folder,
                                        "--position", "centered"],
                           "%d characters given with the joiner: entry 3 runs them, every other "
                           "line kept (%r)" % (len(given), joined.stdout[-200:]))
                line = ours_line(text)
                wrapped = wrap(line.strip().rsplit("\t", 1)[0].rstrip("\t ")) + "\\"
                case.check(wrapped.split("'")[1].count("\\\n") >= 1,
                           "the line is wrapped inside the folder's name")
                with open(made[0], "w") as f:
                    f.write(text.replace(line, wrapped))
                case.check(shows(3, os.path.join(folder, "spaced.jpg"), True),
                           "a wrapped folder with spaces, %d characters: its picture, centered"
                           % len(folder))
            case.check("abnormally" not in open(log.name).read(),
                       "the daemon's log calls no saver's end abnormal")
        finally:
            user_run("xscreensaver-command", "-exit")
            try:
                daemon.wait(5)
            except subprocess.TimeoutExpired:
                daemon.kill()
            for pid in xd.processes_named("fotovane", TEST_USER):
                os.kill(pid, 9)
            subprocess.run(["rm", "-rf", shared, *made])


def ours_line(text):
    return next(line for line in text.splitlines() if '"Fotovane"' in line)


def wrap(entry):
    """The entry as XScreenSaver's settings tool writes a long programs: line: a word that would
    pass column 74 goes on a new line, after blanks and a backslash, indented by tabs; the blank
    before the word is dropped."""
    out, column = "\t\t\t\t", 32
    for word in re.findall(r"\s*\S+", entry):
        if column + len(word) >= 74:
            out += "\t" * max(1, (75 - column + 7) // 8) + "   \\\n\t\t\t\t  "
            word, column = word.lstrip(), 34
        out += word
        column += len(word)
    return out + "\t\\n"


def held_grab(case):
    """Another client keeps the keyboard or the pointer: the saver says so and never covers the
    screen; a grab let go within moments is taken."""
    xd.require("convert", "cjpeg", "xdotool")
    from Xlib import X
    folder = os.path.dirname(photo(os.path.join(case.work, "grab"), "photo.jpg", 400, 300))
    with xd.Server("800x600x24") as server:
        holder = server.host_window(100, 100)
        before = {w.id for w in server.root.query_tree().children}
        modes = (X.GrabModeAsync, X.GrabModeAsync)
        for what, grab, release in (
                ("keyboard", lambda: holder.grab_keyboard(True, *modes, X.CurrentTime),
                 server.x.ungrab_keyboard),
                ("pointer", lambda: holder.grab_pointer(True, X.ButtonPressMask, *modes, 0, 0,
                                                       X.CurrentTime), server.x.ungrab_pointer)):
            grab()
            server.x.sync()
            with case.start(server, "--folder", folder) as saver:
                covered = []

                def ended():
                    try:
                        covered.extend(server.new_windows(before))
                    except Exception:  # a window of its went away while being looked at
                        pass
                    return not saver.alive()
                fv.poll(ended, 10, 0.02)
                case.check(saver.wait_exit(0) == 1 and not covered and saver.stderr() ==
                           "fotovane: another program holds the %s, so nothing could end the "
                           "show; not starting\n" % what, "%s held: status 1, no window, one "
                           "line (%r)" % (what, saver.stderr()))
            with case.start(server, "--folder", folder) as saver:
                # Well within the second the saver keeps trying, on a slow machine too.
                time.sleep(0.3)
                release(X.CurrentTime)
                server.x.sync()
                up = fv.poll(lambda: server.new_windows(before), 10, 0.05)
                fv.key("a", env=server.env)
                case.check(up and saver.wait_exit(3) == 0,
                           "%s let go after 0.3 s: the show starts, a key ends it" % what)


def host_windows(case):
    """An unreadable $XSCREENSAVER_WINDOW warns and draws on the root window; a window that
    does not exist is named; a window destroyed during a long decode ends the saver at once."""
    xd.require("cjpeg", "convert")
    folder = os.path.dirname(photo(os.path.join(case.work, "hosts"), "photo.jpg", 400, 300))
    with xd.Server("640x480x24") as server:
        for value in ("garbage", "0", "-5"):
            server.root.clear_area()
            server.x.sync()
            with case.start(server, "-root", "--folder", folder,
                            env={"XSCREENSAVER_WINDOW": value}) as saver:
                drawn = fv.poll(lambda: saver.stderr() and any(server.grab().data), 10, 0.1)
                case.check(drawn and saver.stderr() == "fotovane: XSCREENSAVER_WINDOW='%s' is "
                           "not a window id; drawing on the root window\n" % value,
                           "XSCREENSAVER_WINDOW=%s: a warning, the root window (%r)"
                           % (value, saver.stderr()))
        for arguments, env in ((["-root"], {"XSCREENSAVER_WINDOW": "0x3fffff1"}),
                               (["-window-id", "0x3fffff1"], None)):
            with case.start(server, *arguments, "--folder", folder, env=env) as saver:
                code = saver.wait_exit(5)
                case.check(code == 1 and saver.stderr() == "fotovane: there is no window "
                           "0x3fffff1 to draw in\n", "%s, no such window: status 1 naming it "
                           "(%s, %r)" % (" ".join(arguments), code, saver.stderr()))

        large, decode_s = xd.long_decode(case.fvcheck, (640, 480), case.work)
        window = server.host_window(640, 480)
        with case.start(server, "-window-id", hex(window.id), "--folder", large) as saver:
            fv.poll(lambda: not saver.alive() or
                    xd.cpu_seconds(saver.pid) >= 0.4 * decode_s, 20, 0.002)
            # Still black: the picture is not drawn yet, so the decode is under way.
            busy = saver.alive() and not any(server.grab(window).data)
            code, seconds = saver.ended_by(lambda: (window.destroy(), server.x.sync()))
            case.check(busy and code == 0 and seconds <= END_S, "the window destroyed during "
                       "a decode: status 0 within %.1f s (%s after %.2f s)"
                       % (END_S, code, seconds))


CASES = {f.__name__: f for f in (command_line, folder_notices, xscreensaver_page, held_grab,
                                 host_windows)}


def main():
    work, (name, program, fvcheck), report = fv.start()
    # Pictures stay for the next run; the settings of the last one go.
    subprocess.run(["rm", "-rf", os.path.join(work, "config")])
    return report.run(lambda: CASES[name](Case(work, report, program, fvcheck)))


if __name__ == "__main__":
    sys.exit(main())
