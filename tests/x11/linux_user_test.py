"""The Linux saver as its users meet it, one case per CTest test.

    linux_user_test.py CASE FOTOVANE FVCHECK WORKDIR

Messages on the command line and on the screen, joining XScreenSaver and its settings page
against the real daemon, a grab another client holds, and host windows that are not there.
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

import x11drive as xd

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Not the user of the other daemon case: each has its own ~/.xscreensaver.
TEST_USER = "fotovane-user"
END_S = 1.0  # a destroyed host window or a refused start must end the saver within this


class Case:
    def __init__(self, program, fvcheck, work):
        self.program, self.fvcheck, self.work = program, fvcheck, work
        self.report = xd.Report()
        self.savers = []

    def check(self, condition, what):
        return self.report.check(condition, what)

    def start(self, server, *arguments, program=None, **kwargs):
        saver = xd.Saver(program or self.program, server, self.work, *arguments, **kwargs)
        self.savers.append(saver)
        return saver

    def expected(self, picture, box):
        return xd.reference(self.fvcheck, picture, box, 24, self.work)

    def close(self):
        for saver in self.savers:
            saver.kill()


def photo(folder, name, width, height):
    os.makedirs(folder, exist_ok=True)
    return xd.make_photo(os.path.join(folder, name), width, height)


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
        if xd.frame_difference(shot, expected, left, rows[0]) == (0, 0):
            found[0] = (left, rows[0])
            return True
        return False

    xd.poll(look, deadline_s, 0.25)
    return found[0]


def command_line(case):
    """Each kind of command line: the stream it answers on, the text and the exit status."""
    version = re.search(r"project\(Fotovane VERSION ([0-9.]+)",
                        open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
    table = [
        (["--help"], 0, "stdout", r"^usage: fotovane .*--add-to-xscreensaver.*--folder DIR"),
        (["-root", "--help"], 0, "stdout", r"^usage: fotovane "),
        (["--version"], 0, "stdout", r"^fotovane %s\n$" % re.escape(version)),
        (["--bogus"], 2, "stderr", r"^fotovane: unknown option '--bogus'; .*\n$"),
        (["--delay", "abc"], 2, "stderr",
         r"^fotovane: --delay: 'abc' is not a number of seconds\n$"),
        (["--size", "huge"], 2, "stderr", r"^fotovane: --size: 'huge' is not full, large or "
         r"small\n$"),
        (["--folder"], 2, "stderr", r"^fotovane: --folder needs a value\n$"),
        (["-root", "extra"], 2, "stderr", r"^fotovane: 'extra' is not an option"),
    ]
    config = os.path.join(case.work, "config")
    for arguments, status, stream, pattern in table:
        result = xd.run(case.program, *arguments, env=dict(os.environ, XDG_CONFIG_HOME=config))
        said = result.stdout if stream == "stdout" else result.stderr
        other = result.stderr if stream == "stdout" else result.stdout
        case.check(result.returncode == status and re.search(pattern, said, re.S) and not other,
                   "%s: status %d, on %s only, matching %r (status %d, %r, %r)"
                   % (" ".join(arguments), status, stream, pattern, result.returncode,
                      result.stdout[:80], result.stderr[:120]))


def folder_notices(case):
    """A folder that gives no pictures: one stderr line naming it, a short notice on the screen
    that does not (the same pixels whatever the folder's name)."""
    xd.require("Xvfb", "runuser")
    root = os.path.join("/tmp", "fotovane-notices-%d" % os.getpid())
    long_name = os.path.join(root, ("a long folder name " * 12)[:200 - len(root) - 1])
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    os.makedirs(os.path.join(root, "other files"), exist_ok=True)
    open(os.path.join(root, "other files", "notes.txt"), "w").close()
    open(os.path.join(root, "a file"), "w").close()
    os.makedirs(os.path.join(root, "locked"), exist_ok=True)
    photo(os.path.join(root, "locked"), "photo.jpg", 320, 240)
    os.chmod(os.path.join(root, "locked"), 0o700)
    os.chmod(root, 0o755)
    table = [
        ("missing", "no such folder", "short"),
        (long_name, "no such folder", "short"),
        ("a file", "not a folder", "short"),
        ("empty", "holds no JPEG pictures", "empty"),
        ("other files", "holds no JPEG pictures", "empty"),
        ("locked", "cannot be read (Permission denied)", "locked"),
    ]
    notices = {}
    try:
        with xd.Server("800x600x24", "-ac") as server:
            window = server.host_window(640, 480)
            for name, what, notice in table:
                folder = os.path.join(root, name)
                # Root reads any folder: the locked one is tried as another user.
                locked = name == "locked" and os.getuid() == 0
                if locked and not user_exists(TEST_USER):
                    xd.run("useradd", "--create-home", "--shell", "/bin/sh", TEST_USER)
                command = as_user(server.name, case.program) if locked else [case.program]
                saver = case.start(server, *command[1:], "-window-id", hex(window.id),
                                   "--folder", folder, program=command[0])
                expected = "fotovane: %s: %s\n" % (folder, what)
                xd.poll(lambda: saver.stderr().endswith("\n"), 10, 0.1)
                case.check(saver.stderr() == expected, "%s: one line naming it, %r (%r)"
                           % (name[:40], expected[:90], saver.stderr()[:300]))
                shot = [None]

                def lit():
                    shot[0] = server.grab(window)
                    return any(shot[0].data)
                case.check(xd.poll(lit, 10, 0.1) and saver.alive(),
                           "%s: a notice on the screen, still running" % name[:40])
                time.sleep(0.3)  # the whole notice, not its first stroke
                notices.setdefault(notice, []).append(server.grab(window).data)
                saver.terminate()
    finally:
        subprocess.run(["rm", "-rf", root])
    short = notices.get("short", [b""])
    case.check(len(short) == 3 and all(n == short[0] for n in short),
               "missing folders, short and 200 characters long, and a file: the same notice, "
               "so no name of theirs on the screen")
    kinds = [n[0] for n in notices.values()]
    case.check(len(set(kinds)) == 3, "not found, no pictures and unreadable: three notices")


def as_user(display, *command, home=None):
    home = home or pwd.getpwnam(TEST_USER).pw_dir
    return ["runuser", "-u", TEST_USER, "--", "env", "HOME=" + home, "DISPLAY=" + display,
            *command]


def user_exists(name):
    try:
        pwd.getpwnam(name)
        return True
    except KeyError:
        return False


def xscreensaver_page(case):
    """The real daemon as an unprivileged user: --add-to-xscreensaver makes or extends
    ~/.xscreensaver and -select N shows our pictures; the page's command with every control at
    its default shows the default show whatever --save stored; a programs: line wrapped inside
    a quoted folder with spaces still shows that folder."""
    xd.require("Xvfb", "convert", "cjpeg", "xscreensaver", "xscreensaver-command", "runuser")
    if os.getuid() != 0:
        print("skipped: the daemon refuses root, and only root can run the test user")
        sys.exit(xd.SKIP)
    if not user_exists(TEST_USER):
        xd.run("useradd", "--create-home", "--shell", "/bin/sh", TEST_USER)
    user = pwd.getpwnam(TEST_USER)
    home = user.pw_dir
    shared = os.path.join("/tmp", "fotovane-page-%d" % os.getpid())
    program = os.path.join(shared, "fotovane")
    os.makedirs(shared)
    shutil.copy(case.program, program)
    pictures = os.path.join(home, "Pictures")
    made = [os.path.join(home, ".xscreensaver"), pictures, os.path.join(home, ".config")]
    for path in made:
        if os.path.lexists(path):
            raise xd.Failure("%s exists already: the case only removes what it made" % path)
    default_photo = photo(pictures, "portrait.jpg", 600, 800)
    photo(os.path.join(shared, "stored"), "stored.jpg", 800, 600)
    spaced = [os.path.join(shared, "My Holiday Photos of the Summer"),
              (os.path.join(shared, "Photos of a long summer by the sea " * 6))[:199] + "s"]
    for folder in spaced:
        photo(folder, "spaced.jpg", 1000, 500)
    subprocess.run(["chmod", "-R", "a+rX", shared], check=True)
    subprocess.run(["chown", "-R", TEST_USER, pictures], check=True)
    xscreensaver_file = os.path.join(home, ".xscreensaver")

    with xd.Server("1024x768x24", "-ac") as server:
        def user_run(*command):
            return xd.run(*as_user(server.name, *command))

        stored = user_run(program, "--folder", os.path.join(shared, "stored"), "--position",
                          "centered", "--size", "small", "--delay", "3", "--save", "-window-id",
                          "1")
        log = open(os.path.join(case.work, "xscreensaver.log"), "w")
        daemon = subprocess.Popen(as_user(server.name, "xscreensaver", "-no-splash",
                                          "-verbose"), stdout=log, stderr=log)
        try:
            xd.poll(lambda: user_run("xscreensaver-command", "-time").returncode == 0, 15, 0.2)
            case.check(os.path.exists(os.path.join(home, ".config", "fotovane", "registry.reg")),
                       "--save stored non-default settings (%s)" % stored.stderr.strip())

            # No file yet: made from the system list, our entry last.
            joined = user_run(program, "--add-to-xscreensaver")
            number = re.search(r"-select (\d+)", joined.stdout)
            case.check(joined.returncode == 0 and number and "Made " in joined.stdout,
                       "joining with no ~/.xscreensaver says it made it (%r %r)"
                       % (joined.stdout, joined.stderr))
            text = open(xscreensaver_file).read()
            system = open("/etc/X11/app-defaults/XScreenSaver").read()
            def entries(text):
                # The system list's last entry gains the continuation that ours follows.
                return [e.rstrip("\\") for e in re.findall(r"^.* --root.*\\n\\?$", text, re.M)]
            case.check(entries(text)[:-1] == entries(system) and
                       len(entries(system)) > 100,
                       "the new file holds every system saver, then ours (%d entries)"
                       % len(entries(text)))
            page = shlex.split(ElementTree.parse(os.path.join(SOURCE, "config", "fotovane.xml"))
                               .getroot().find("command").get("arg"))
            ours = re.search(r'"Fotovane" (.*?)\s*\\n', text).group(1)
            case.check(shlex.split(ours) == [program] + page,
                       "the entry is the page's command with every control at its default (%s)"
                       % ours)
            expected = case.expected(default_photo, (1024, 768))
            if number:
                # The default show: the pictures folder, full screen, scattered.
                select(user_run, number.group(1))
                where = placed_at(server, server.root, expected)
                case.check(where is not None and where[0] != (1024 - expected.width) // 2,
                           "-select %s: the pictures folder, full screen and scattered, not "
                           "what --save stored (at %s)" % (number.group(1), where))
                deactivate(user_run)

            # A file of the user's own: every line stays, the entry joins its list once.
            own = ("# mine\nmode:\t\tone\nselected:\t0\nfade:\t\tFalse\nunfade:\t\tFalse\n"
                   "lock:\t\tFalse\ntimeout:\t0:30:00\nprograms:\t\t\\\n"
                   "\t\t\t\tqix --root\t\t\\n\\\n-\t\"Maze!\" maze --root --grid-size 4\t\\n\\\n"
                   "\npointerHysteresis:\t10\n")
            with open(xscreensaver_file, "w") as f:
                f.write(own)
            joined = user_run(program, "--add-to-xscreensaver")
            text = open(xscreensaver_file).read()
            lost = [line for line in own.splitlines() if line not in text.splitlines()]
            case.check(joined.returncode == 0 and "entry 3" in joined.stdout and not lost and
                       len(text.splitlines()) == len(own.splitlines()) + 1,
                       "a user's file keeps every line and gains one (%r, lost %r)"
                       % (joined.stdout, lost))
            again = user_run(program, "--add-to-xscreensaver")
            case.check("already entry 3" in again.stdout and open(xscreensaver_file).read() ==
                       text, "joining again changes nothing (%r)" % again.stdout)
            select(user_run, "3")
            where = placed_at(server, server.root, expected)
            case.check(where is not None, "-select 3 in the user's list shows our picture")
            deactivate(user_run)

            # The settings tool wraps long lines at blanks, here inside the quoted folders.
            lines = []
            for folder in spaced:
                entry = '"Fotovane" %s --root --defaults --position centered --folder %s' % (
                    program, shlex.quote(folder))
                lines.append(wrap(entry))
                inside = lines[-1].split("'")[1]
                case.check(inside.count("\\\n") >= len(folder) // 60,
                           "the line is wrapped inside the folder's name, %d characters long"
                           % len(folder))
            with open(xscreensaver_file, "w") as f:
                f.write(own.split("programs:")[0] + "programs:\t\t\\\n" +
                        "\\\n".join(lines) + "\n")
            for number, folder in enumerate(spaced, 1):
                select(user_run, str(number))
                expected = case.expected(os.path.join(folder, "spaced.jpg"), (1024, 768))
                where = placed_at(server, server.root, expected)
                case.check(where == ((1024 - expected.width) // 2, (768 - expected.height) // 2),
                           "a wrapped folder with spaces, %d characters long, shows its picture, "
                           "centered (at %s)" % (len(folder), where))
                deactivate(user_run)
        finally:
            user_run("xscreensaver-command", "-exit")
            try:
                daemon.wait(5)
            except subprocess.TimeoutExpired:
                daemon.kill()
            for pid in xd.processes_named("fotovane", TEST_USER):
                os.kill(pid, 9)
            subprocess.run(["rm", "-rf", shared, *made])


def select(user_run, number):
    user_run("xscreensaver-command", "-select", number)


def deactivate(user_run):
    """Unblanks and waits for the daemon's graphics process to end: until then it would take
    no new selection."""
    user_run("xscreensaver-command", "-deactivate")
    xd.poll(lambda: xd.run("pgrep", "-u", TEST_USER, "-f", "xscreensaver-gfx").returncode, 15,
            0.2)


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
    """Another client keeps the keyboard or the pointer: the saver gives up with a message and
    never covers the screen; a grab let go within moments is taken."""
    xd.require("Xvfb", "convert", "cjpeg", "xdotool")
    from Xlib import X
    folder = os.path.dirname(photo(os.path.join(case.work, "grab"), "photo.jpg", 400, 300))
    with xd.Server("800x600x24") as server:
        holder = server.host_window(100, 100)
        before = {w.id for w in server.root.query_tree().children}
        for what, grab, release in (
                ("keyboard", lambda: holder.grab_keyboard(True, X.GrabModeAsync,
                                                         X.GrabModeAsync, X.CurrentTime),
                 lambda: server.x.ungrab_keyboard(X.CurrentTime)),
                ("pointer", lambda: holder.grab_pointer(True, X.ButtonPressMask, X.GrabModeAsync,
                                                       X.GrabModeAsync, X.NONE, X.NONE,
                                                       X.CurrentTime),
                 lambda: server.x.ungrab_pointer(X.CurrentTime))):
            grab()
            server.x.sync()
            saver = case.start(server, "--folder", folder)
            covered = [False]

            def ended():
                try:
                    covered[0] = covered[0] or bool(server.new_windows(before))
                except Exception:  # a window of its went away while being looked at
                    pass
                return not saver.alive()
            xd.poll(ended, 10, 0.02)
            case.check(saver.wait_exit(0) == 1 and not covered[0],
                       "%s held: it exits with status 1 and maps no window" % what)
            case.check(saver.stderr() == "fotovane: another program holds the %s, so nothing "
                       "could end the show; not starting\n" % what,
                       "%s held: one line says why (%r)" % (what, saver.stderr()))
            # Let go soon after the start: the saver takes it and ends on a key.
            saver = case.start(server, "--folder", folder)
            time.sleep(0.3)
            release()
            server.x.sync()
            up = xd.poll(lambda: server.new_windows(before), 10, 0.05)
            case.check(up and saver.alive(), "%s let go after 0.3 s: the show starts" % what)
            xd.run("xdotool", "key", "a", env=server.env)
            case.check(saver.wait_exit(3) == 0, "%s let go: a key ends the show" % what)


def host_windows(case):
    """Host windows that are not there: an unreadable $XSCREENSAVER_WINDOW warns and draws on
    the root window, a window that does not exist is named, and a window destroyed during a
    long decode ends the saver at once."""
    xd.require("Xvfb", "cjpeg")
    folder = os.path.dirname(photo(os.path.join(case.work, "hosts"), "photo.jpg", 400, 300))
    with xd.Server("640x480x24") as server:
        for value in ("garbage", "0", "-5"):
            server.root.clear_area()
            server.x.sync()
            saver = case.start(server, "-root", "--folder", folder,
                               env={"XSCREENSAVER_WINDOW": value})
            drawn = xd.poll(lambda: saver.stderr() and any(server.grab().data), 10, 0.1)
            case.check(drawn and saver.stderr() == "fotovane: XSCREENSAVER_WINDOW='%s' is not "
                       "a window id; drawing on the root window\n" % value,
                       "XSCREENSAVER_WINDOW=%s: a warning, then the root window (%r)"
                       % (value, saver.stderr()))
            saver.terminate()
        for arguments, env in ((["-root"], {"XSCREENSAVER_WINDOW": "0x3fffff1"}),
                               (["-window-id", "0x3fffff1"], None)):
            saver = case.start(server, *arguments, "--folder", folder, env=env)
            code = saver.wait_exit(5)
            case.check(code == 1 and saver.stderr() == "fotovane: there is no window 0x3fffff1 "
                       "to draw in\n", "%s with no such window: status 1 naming it (%s, %r)"
                       % (" ".join(arguments), code, saver.stderr()))

        noise = xd.make_noise(os.path.join(os.path.dirname(case.work), "noise-48mp.jpg"),
                              8000, 6000)
        large = os.path.join(case.work, "large")
        os.makedirs(large, exist_ok=True)
        if not os.path.exists(os.path.join(large, "noise.jpg")):
            os.symlink(noise, os.path.join(large, "noise.jpg"))
        window = server.host_window(640, 480)
        saver = case.start(server, "-window-id", hex(window.id), "--folder", large)
        xd.poll(lambda: not saver.alive() or xd.cpu_seconds(saver.pid) >= 0.05, 20, 0.01)
        busy = saver.alive() and not any(server.grab(window).data)
        start = time.monotonic()
        window.destroy()
        server.x.sync()
        code = saver.wait_exit(5)
        seconds = time.monotonic() - start
        case.check(busy and code == 0 and seconds <= END_S,
                   "the window destroyed during a decode: status 0 within %.1f s (%s after "
                   "%.2f s)" % (END_S, code, seconds))


CASES = {f.__name__: f for f in (command_line, folder_notices, xscreensaver_page, held_grab,
                                 host_windows)}


def main():
    name, program, fvcheck, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    for entry in os.listdir(work):
        if entry.startswith("stderr-") or entry == "config":
            subprocess.run(["rm", "-rf", os.path.join(work, entry)])
    case = Case(program, fvcheck, work)
    try:
        return case.report.run(lambda: CASES[name](case))
    finally:
        case.close()


if __name__ == "__main__":
    sys.exit(main())
