"""The Linux saver end to end on private X servers, one case per CTest test.

    x11_test.py WORKDIR CASE FOTOVANE FVCHECK BUILD_DIR

Each case checks a frame against the shared pipeline's own output (fvcheck) wherever it
looks at pixels, so a frame is right only if it is the core's picture, placed as the show
places it, packed as the visual wants it.
"""

import os
import pwd
import resource
import shlex
import signal
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

from harness import common as fv, x11 as xd

SHOW = ["--delay", "1", "--mode", "slide", "--size", "full", "--position", "centered",
        "--no-random", "--no-subdirs"]
TERM_S = 1.0  # a host's SIGTERM must end the saver within this time
# How a host that watches its children sees the saver end on its SIGTERM.
BY_TERM = -signal.SIGTERM
TEST_USER = "fotovane-x11"


class Case:
    def __init__(self, work, report, program, fvcheck, build):
        self.work, self.report = work, report
        self.program, self.fvcheck, self.build = program, fvcheck, build

    def check(self, condition, what):
        return self.report.check(condition, what)

    def folder(self, name, *pictures):
        """A picture folder with photo-like JPEGs, (file name, width, height) each."""
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        for file_name, width, height in pictures:
            fv.photo(os.path.join(path, file_name), width, height)
        return path

    def start(self, server, *arguments, program=None, **kwargs):
        return xd.Saver(program or self.program, server, self.work, *arguments, **kwargs)

    def frame(self, server, window, picture, box, left, top, what, depth=24, bits=(8, 8, 8)):
        """Checks that the box at (left, top) of the window shows the picture as the shared
        pipeline fits it, centered on black."""
        expected = xd.reference(self.fvcheck, picture, box, depth, self.work)
        wrong, stray = xd.shows(server, window, (left, top) + box, expected,
                                (box[0] - expected.width) // 2, (box[1] - expected.height) // 2,
                                bits=bits)
        return self.check((wrong, stray) == (0, 0),
                          "%s: the picture fitted to %dx%d, centered (%d pixels differ, %d "
                          "stray outside)" % (what, box[0], box[1], wrong, stray))

    def ends_on_term(self, saver, what):
        code, seconds = saver.terminate()
        self.check(code == BY_TERM and seconds <= TERM_S,
                   "%s: SIGTERM ends it, a death by SIGTERM, within %.1f s (status %s after "
                   "%.2f s)" % (what, TERM_S, code, seconds))
        self.check(not xd.shm_segments({saver.pid}),
                   what + ": no shared-memory segment of it is left")
        self.check("X Error" not in saver.stderr(), what + ": no X error reported")

    def ends_on(self, saver, action, what):
        code, seconds = saver.ended_by(action, 3)
        self.check(code == 0 and seconds <= fv.KEEP_S, "%s ends it with status 0 within %.1f "
                   "s (status %s after %.3f s)" % (what, fv.KEEP_S, code, seconds))

    def install(self):
        prefix = os.path.join(self.work, "prefix")
        result = fv.run("cmake", "--install", self.build, "--prefix", prefix)
        if result.returncode != 0:
            raise fv.Failure("cmake --install failed: " + result.stderr.strip())
        return prefix


def hosted_window(case):
    """A host's window at depth 24: first frame, -window-id over -root, resize, Expose, the
    window destroyed, SIGTERM."""
    xd.require("convert", "cjpeg")
    folder = case.folder("hosted", ("photo.jpg", 1600, 1200))
    picture = os.path.join(folder, "photo.jpg")
    with xd.Server("1024x768x24") as server:
        window = server.host_window(640, 480, 100, 50)
        # The settings dialog's preview adds --window-id to a command holding --root.
        with case.start(server, "--root", "--window-id", hex(window.id), "--folder", folder,
                        *SHOW) as saver:
            case.frame(server, window, picture, (640, 480), 0, 0, "-window-id wins over -root")
            window.configure(width=400, height=400)
            server.x.sync()
            case.frame(server, window, picture, (400, 400), 0, 0, "after the window is resized")
            case.ends_on_term(saver, "hosted")

        # A collage keeps its frame through a size change: the top left of it, over black,
        # under the next picture.
        small = os.path.join(case.folder("collage", ("small.jpg", 320, 240)), "small.jpg")
        window.configure(width=640, height=480)
        window.unmap()
        window.map()
        server.x.sync()
        with case.start(server, "-window-id", hex(window.id), "--folder", os.path.dirname(small),
                        "--delay", "1", "--mode", "collage", "--size", "full", "--position",
                        "centered") as saver:
            case.frame(server, window, small, (640, 480), 0, 0, "collage")
            window.configure(width=400, height=300)
            server.x.sync()
            piece = xd.reference(case.fvcheck, small, (400, 300), 24, case.work)
            expected = fv.canvas(400, 300, (piece, 160, 120), (piece, 40, 30))
            counts = xd.shows(server, window, (0, 0, 400, 300), expected, 0, 0)
            case.check(counts == (0, 0), "collage after a resize: the kept frame's top left "
                       "under the next picture (%d pixels differ)" % counts[0])
            case.ends_on_term(saver, "collage")

        # A long advance time: only a repaint from the back buffer can bring the picture back.
        window.configure(width=640, height=480)
        server.x.sync()
        with case.start(server, "-window-id", str(window.id), "--folder", folder, *SHOW[2:],
                        "--delay", "100") as saver:
            case.frame(server, window, picture, (640, 480), 0, 0, "decimal window id")
            window.unmap()
            server.x.sync()
            window.map()
            server.x.sync()
            case.frame(server, window, picture, (640, 480), 0, 0, "after unmap and map (Expose)")
            window.destroy()
            server.x.sync()
            code = saver.wait_exit(3)
            case.check(code == 0, "the window destroyed: it exits with status 0 (got %s)" % code)
            case.check(saver.stderr() == "", "the window destroyed: nothing on stderr (%r)"
                       % saver.stderr()[:200])
            case.check(not xd.shm_segments({saver.pid}), "the window destroyed: no segment left")


def depths(case):
    """Depth 16 (ordered dither, 5-6-5 packing) and depth 8 (the 236-colour palette)."""
    xd.require("convert", "cjpeg")
    folder = case.folder("depths", ("photo.jpg", 1200, 900))
    picture = os.path.join(folder, "photo.jpg")
    for depth, bits in ((16, (5, 6, 5)), (8, (8, 8, 8))):
        with xd.Server("1024x768x%d" % depth) as server:
            window = server.host_window(500, 400)
            # The options XScreenSaver may add are taken and ignored.
            with case.start(server, "-window-id", hex(window.id), "--folder", folder, "-fps",
                            "-no-fps", "-install", "-noinstall", "-mono", "-visual", "default",
                            *SHOW) as saver:
                case.frame(server, window, picture, (500, 400), 0, 0, "depth %d" % depth,
                           depth=depth, bits=bits)
                if depth == 8:
                    used = server.pixel_values(window)
                    case.check(len(used) <= 237, "depth 8: at most the palette's 236 colours "
                               "and black in the window (%d pixel values)" % len(used))
                case.ends_on_term(saver, "depth %d" % depth)

    # With no free colour left in the default colormap, the saver by itself takes a private
    # one and shows the same frame.
    with xd.Server("1024x768x8") as server:
        taken = server.fill_default_colormap()
        with case.start(server, "--folder", folder, *SHOW) as saver:
            case.check(fv.poll(lambda: server.new_windows(set()), 10, 0.1), "depth 8 by "
                       "itself: a window after another client took the %d free colours" % taken)
            for own in server.new_windows(set())[:1]:
                # The window is mapped before the palette is allocated.
                case.check(fv.poll(lambda: own.get_attributes().colormap !=
                                   server.x.screen().default_colormap, 10, 0.1),
                           "depth 8 by itself: the window has a private colormap")
                case.frame(server, own, picture, (1024, 768), 0, 0, "depth 8 by itself",
                           depth=8)
            case.ends_on_term(saver, "depth 8 by itself")


def term_during_decode(case):
    """SIGTERM while a 48-megapixel picture is being decoded."""
    xd.require("cjpeg", "ipcs")
    # Timed in processor time, which load does not stretch, as a share of the decode's.
    folder, decode_s = xd.long_decode(case.fvcheck, (1920, 1080), case.work)
    with xd.Server("1920x1080x24") as server:
        window = server.host_window(1920, 1080)
        for share in (0.25, 0.6):
            with case.start(server, "-window-id", hex(window.id), "--folder", folder,
                            *SHOW) as saver:
                fv.poll(lambda: not saver.alive() or
                        xd.cpu_seconds(saver.pid) >= share * decode_s, 20, 0.002)
                alive = saver.alive()
                what = "%d %% into the decode (%.3f s of processor time)" % (
                    share * 100, share * decode_s)
                case.ends_on_term(saver, what)
                # Still black: the picture was never drawn, so the decode was under way.
                blank = not any(server.grab(window).data)
                case.check(alive and blank, what + ": it ran, the picture never drawn")


def xsecurelock(case):
    """As xsecurelock runs it: -root, a decimal $XSCREENSAVER_WINDOW, its working directory,
    settings only from the store; then under xsecurelock's own multiplexer."""
    xd.require("convert", "cjpeg", "cmake")
    multiplex = "/usr/libexec/xsecurelock/saver_multiplex"
    folder = case.folder("locker", ("photo.jpg", 1024, 768))
    picture = os.path.join(folder, "photo.jpg")
    prefix = case.install()
    saver_path = os.path.join(prefix, "libexec", "xsecurelock", "saver_fotovane")
    config = os.path.join(case.work, "config")
    xd.write_store(config, {"delay": 1, "position": 0, "mode": 0, "size": 0, "random": 0,
                            "subdirs": 0, "path": folder})
    with xd.Server("1024x768x24") as server:
        window = server.host_window(800, 600)
        environment = {"XSCREENSAVER_WINDOW": str(window.id),
                       "XSECURELOCK_INSIDE_SAVER_MULTIPLEX": "1"}
        cwd = os.path.dirname(multiplex) if os.path.isdir(os.path.dirname(multiplex)) else None
        with case.start(server, "-root", program=saver_path, env=environment, cwd=cwd) as saver:
            case.frame(server, window, picture, (800, 600), 0, 0, "saver_fotovane -root")
            case.ends_on_term(saver, "saver_fotovane")

        if not os.path.exists(multiplex):
            print("xsecurelock is not installed: its multiplexer is not tried")
            return
        environment = dict(server.env, XSCREENSAVER_WINDOW=str(window.id),
                           XSECURELOCK_SAVER=saver_path, XDG_CONFIG_HOME=config)
        with fv.Process([multiplex], env=environment) as host:
            found = fv.poll(lambda: xd.children_named(host.pid, "saver_fotovane"), 10, 0.1)
            savers = xd.children_named(host.pid, "saver_fotovane")
            case.check(found, "the multiplexer starts our saver (%s)" % savers)
            # The multiplexer's child window covers the host's whole window.
            case.frame(server, window, picture, (800, 600), 0, 0, "under saver_multiplex")
            host.terminate(10)
            # It names a child that died of another signal than its SIGTERM or failed.
            case.check("child" not in host.stderr(), "the multiplexer's log names no failed "
                       "child (%r)" % host.stderr()[-300:])
        gone = fv.poll(lambda: not any(os.path.exists("/proc/%d" % p) for p in savers), 2)
        case.check(gone, "ending the multiplexer ends our saver")
        case.check(not xd.shm_segments(set(savers)), "no segment of it is left")


def xscreensaver(case):
    """The real XScreenSaver daemon, as an unprivileged user: activate shows our picture,
    -cycle stops it as a death by SIGTERM, the daemon's log says so, and deactivate ends our
    process and leaves nothing behind."""
    xd.require("convert", "cjpeg", "cmake", "xscreensaver", "xscreensaver-command", "runuser",
               "ipcs")
    if os.getuid() != 0 and not user_exists(TEST_USER):
        fv.skip("the daemon refuses root, and only root can add the test user")
    if not user_exists(TEST_USER):
        fv.run("useradd", "--create-home", "--shell", "/bin/sh", TEST_USER)
    home = pwd.getpwnam(TEST_USER).pw_dir
    # Everything the test user runs or reads lives in a world-readable folder.
    shared = os.path.join("/tmp", "fotovane-x11-%d" % os.getpid())
    os.makedirs(shared, exist_ok=True)
    os.chmod(shared, 0o755)
    prefix = fv.run("cmake", "--install", case.build, "--prefix", os.path.join(shared, "usr"))
    case.check(prefix.returncode == 0, "installed for the test user")
    program = os.path.join(shared, "usr", "libexec", "xscreensaver", "fotovane")
    folder = os.path.join(shared, "pictures")
    os.makedirs(folder, exist_ok=True)
    picture = fv.photo(os.path.join(folder, "photo.jpg"), 800, 600)
    subprocess.run(["chmod", "-R", "a+rX", shared], check=True)
    command = "%s --root --folder %s --delay 1 --position centered" % (program, folder)
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write("mode: one\nselected: 0\nlock: False\nsplash: False\nfade: False\n"
                "unfade: False\ntimeout: 0:30:00\ndpmsEnabled: False\n"
                "programs: \"Fotovane\" %s \\n\\\n" % command)
    os.chown(os.path.join(home, ".xscreensaver"), pwd.getpwnam(TEST_USER).pw_uid, -1)

    # A second X screen at 16 bits gets a hack of its own.
    with xd.Server("1024x768x24", "-ac", "-screen", "1", "800x600x16") as server, \
            xd.Server(display=server.name + ".1") as second:
        def as_user(*command):
            return ["runuser", "-u", TEST_USER, "--", "env", "HOME=" + home,
                    "DISPLAY=" + server.name, *command]

        savers = []
        # -verbose: the daemon logs how each hack ended.
        with fv.Process(as_user("xscreensaver", "-no-splash", "-verbose")) as daemon:
            try:
                fv.poll(lambda: fv.run(*as_user("xscreensaver-command", "-time")).returncode
                        == 0, 15, 0.2)
                fv.run(*as_user("xscreensaver-command", "-activate"))
                found = fv.poll(lambda: len(xd.processes_named("fotovane", TEST_USER)) == 2,
                                15, 0.2)
                savers = xd.processes_named("fotovane", TEST_USER)
                case.check(found, "-activate starts our saver on each screen (%s)" % savers)
                case.frame(server, server.root, picture, (1024, 768), 0, 0,
                           "the daemon's window on screen 0")
                case.frame(second, second.root, picture, (800, 600), 0, 0,
                           "the daemon's window on screen 1, at depth 16", depth=16,
                           bits=(5, 6, 5))
                # -cycle: the graphics process stops each saver with SIGTERM, starts another
                # and logs how the first ended (-deactivate ends it before it would).
                fv.run(*as_user("xscreensaver-command", "-cycle"))

                def ended():
                    return [line for line in daemon.stderr().splitlines() if "exited" in line
                            and any("child pid %d " % p in line for p in savers)]
                fv.poll(lambda: len(ended()) == len(savers), 10, 0.1)
                case.check(len(ended()) == 2 and all("exited normally with SIGTERM" in line
                                                     for line in ended()),
                           "-cycle: the daemon's log says each saver ended normally, by SIGTERM "
                           "(%r)" % ended())
                case.check(not xd.shm_segments(set(savers)), "-cycle: no segment left")
                fv.poll(lambda: len(set(xd.processes_named("fotovane", TEST_USER)) -
                                    set(savers)) == 2, 15, 0.2)
                savers += xd.processes_named("fotovane", TEST_USER)
                fv.run(*as_user("xscreensaver-command", "-deactivate"))
                gone = fv.poll(lambda: not any(os.path.exists("/proc/%d" % p) for p in savers),
                               5)
                case.check(gone and len(set(savers)) == 4, "-deactivate ends our processes "
                           "(%s)" % savers)
                case.check(not xd.shm_segments(set(savers)), "-deactivate: no segment left")
                case.check("abnormally" not in daemon.stderr(), "the daemon's log says nothing "
                           "ended abnormally")
            finally:
                # The daemon runs as the test user, out of reach of a kill of runuser.
                fv.run(*as_user("xscreensaver-command", "-exit"))
                daemon.wait_exit(5)
                for pid in savers:
                    if os.path.exists("/proc/%d" % pid):
                        os.kill(pid, signal.SIGKILL)
                subprocess.run(["rm", "-rf", shared])


def user_exists(name):
    try:
        pwd.getpwnam(name)
        return True
    except KeyError:
        return False


def standalone(case):
    """Full screen by itself: one show per monitor, and the input that ends it."""
    xd.require("convert", "cjpeg", "xdotool", "xrandr")
    folder = case.folder("standalone", ("photo.jpg", 1200, 900))
    picture = os.path.join(folder, "photo.jpg")
    with xd.Server("1024x768x24") as server:
        for monitor in ("left 512/135x768/203+0+0 screen", "right 512/135x768/203+512+0 none"):
            fv.run("xrandr", "--setmonitor", *monitor.split(), env=server.env)

        def mouse(x, y):
            fv.mouse_to(x, y, env=server.env)

        # Each monitor is a 512x768 box of its own.
        mouse(500, 400)
        with case.start(server, "--folder", folder, *SHOW) as saver:
            for left in (0, 512):
                case.frame(server, server.root, picture, (512, 768), left, 0,
                           "the monitor at x=%d" % left)
            for x, y, what in ((540, 440, "40 right and 40 down"), (450, 400, "50 left")):
                mouse(x, y)
                case.check(fv.holds(saver.alive, fv.KEEP_S), what + " keeps it running")
            case.ends_on(saver, lambda: mouse(551, 400), "51 right")

        # The stored threshold counts; a key and a button end it too.
        for action, what, system in (
                (lambda: mouse(511, 400), "11 right with a stored threshold of 10",
                 {"Mouse Threshold": 10}),
                (lambda: fv.key("a", env=server.env), "the key A", None),
                (lambda: fv.click(1, env=server.env), "a click", None)):
            mouse(500, 400)
            xd.write_store(os.path.join(case.work, "config"), {}, system)
            with case.start(server, "--folder", folder, *SHOW) as saver:
                up = fv.poll(lambda: not saver.alive() or any(server.grab().data), 10, 0.2)
                case.check(up and saver.alive(), what + ": the saver is up")
                mouse(505, 400)
                case.check(fv.holds(saver.alive, fv.KEEP_S), what + ": 5 pixels keep it running")
                case.ends_on(saver, action, what)

        # Travel ends it during a decode too; every row of this one waits, so the decode lasts
        # well beyond the deadline on any machine.
        mouse(500, 400)
        saver = case.start(server, "--folder", folder, *SHOW,
                           env={"LD_PRELOAD": os.path.join(case.build, "tests", "x11",
                                                           "slow_rows.so")})
        target = os.path.realpath(picture)
        decoding = xd.poll(lambda: not saver.alive() or target in open_files(saver.pid), 10, 0.01)
        case.check(decoding and saver.alive(), "the slowed decode is under way")
        mouse(551, 400)
        code = saver.wait_exit(3)
        case.check(code == 0, "51 right during the decode ends it with status 0 (got %s)" % code)


# The worst of the hostile files (tests/image/make_hostile_pictures.py): one aborts libheif,
# one would take all memory, one inflates half a gigabyte of text, one is a gigapixel WebP.
WORST = ("heic-overlay-missing-item.heic", "heic-grid-65000.heic", "png-ztxt-many.png",
         "webp-lossless-16383-padded.webp")
SAVER_MEMORY = 4 << 30  # what a regression may take of the machine


def hostile_folder(case):
    """A folder of the worst hostile files and one good photo: the show keeps the photo on the
    screen through their frames and still ends at once on SIGTERM and on a key."""
    xd.require("convert", "cjpeg", "xdotool")
    made = os.path.join(case.build, "tests", "image", "hostile-pictures", "hostile")
    if not all(os.path.exists(os.path.join(made, name)) for name in WORST):
        raise fv.Failure("no hostile pictures in %s: build the hostile_pictures target" % made)
    folder = case.folder("hostile", ("photo.jpg", 800, 600))
    for name in WORST:
        if not os.path.lexists(os.path.join(folder, name)):
            os.symlink(os.path.join(made, name), os.path.join(folder, name))
    picture = os.path.join(folder, "photo.jpg")
    targets = {os.path.realpath(os.path.join(folder, name)): name for name in WORST}

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (SAVER_MEMORY, SAVER_MEMORY))

    with xd.Server("1024x768x24") as server:
        fv.mouse_to(500, 400, env=server.env)
        command = ["--folder", folder, "--formats", "all", *SHOW]
        with case.start(server, *command, preexec_fn=limit) as saver:
            case.frame(server, server.root, picture, (1024, 768), 0, 0, "among hostile files")
            # Every picture comes up at least once a second: two rounds of the folder.
            seen = set()

            def alive():
                seen.update(targets[f] for f in open_files(saver.pid) if f in targets)
                return saver.alive()
            running = fv.holds(alive, 2 * (len(WORST) + 1), 0.01)
            case.check(running, "alive through two rounds of the hostile frames (%s; seen "
                       "decoding: %s)" % (saver.stderr().strip()[-200:] or "nothing on stderr",
                                          ", ".join(sorted(seen)) or "none"))
            # A decoding process that dies, as a fault in a library ends it, costs at most its
            # own picture: the show starts another when it next needs one.
            killed = []

            def kill_decoder():
                for pid in child_processes(saver.pid):
                    os.kill(pid, signal.SIGKILL)
                    killed.append(pid)
                return bool(killed) or not saver.alive()
            rounds = 2 * (len(WORST) + 1)
            fv.poll(kill_decoder, rounds, 0.005)
            another = fv.poll(lambda: not saver.alive() or
                              bool(child_processes(saver.pid) - set(killed)), rounds, 0.005)
            case.check(killed and another and saver.alive(),
                       "a decoding process killed mid-show: the saver goes on and starts another "
                       "(killed %s)" % (killed or "none: no decoding process seen"))
            case.frame(server, server.root, picture, (1024, 768), 0, 0,
                       "after the hostile frames")
            case.ends_on_term(saver, "among hostile files")

        # A key while a hostile file is being decoded, where the decoder is seen at work.
        with case.start(server, *command, preexec_fn=limit) as saver:
            up = fv.poll(lambda: not saver.alive() or any(server.grab().data), 10, 0.1)
            case.check(up and saver.alive(), "hostile files again: the saver is up")
            busy = fv.poll(lambda: not saver.alive() or
                           any(f in targets for f in open_files(saver.pid)), 10, 0.005) and \
                saver.alive()
            case.ends_on(saver, lambda: fv.key("a", env=server.env), "among hostile files, "
                         "the key A%s" % (" during a hostile decode" if busy else ""))


def child_processes(pid):
    """The processes whose parent is pid."""
    found = set()
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as stat:
                # The name, in parentheses, may hold blanks: the parent follows the last ')'.
                if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                    found.add(int(entry))
        except (OSError, ValueError, IndexError):
            pass
    return found


def open_files(pid):
    try:
        folder = "/proc/%d/fd" % pid
        return {os.path.realpath(os.path.join(folder, fd)) for fd in os.listdir(folder)}
    except OSError:
        return set()


def integration(case):
    """What a user installs: the files in Debian's layout, and every command line the
    settings description can produce is one the program takes; anything else is refused."""
    xd.require("convert", "cjpeg", "cmake")
    prefix = case.install()
    installed = {
        "libexec/xscreensaver/fotovane": lambda p: os.access(p, os.X_OK),
        "share/xscreensaver/config/fotovane.xml": os.path.isfile,
        "libexec/xsecurelock/saver_fotovane": lambda p: os.path.islink(p) and os.readlink(p)
        == "../xscreensaver/fotovane" and os.access(p, os.X_OK),
    }
    for path, good in installed.items():
        case.check(good(os.path.join(prefix, path)), "installed: " + path)

    folder = case.folder("settings", ("photo.jpg", 640, 480))
    picture = os.path.join(folder, "photo.jpg")
    with xd.Server("800x600x24") as server:
        window = server.host_window(320, 240)
        for arguments in command_lines(os.path.join(fv.SOURCE, "config", "fotovane.xml"), folder):
            line = " ".join(shlex.quote(a) for a in arguments)
            with case.start(server, *arguments, "--window-id", hex(window.id)) as saver:
                # A refused command line ends in milliseconds, as the program starts.
                running = fv.holds(saver.alive, 1.0)
                case.check(running, "runs: fotovane %s (%s)" % (line, saver.stderr().strip()))
                if running:
                    case.ends_on_term(saver, line)

        # Trying settings in a window of its own.
        before = {w.id for w in server.root.query_tree().children}
        with case.start(server, "-window", "--folder", folder, *SHOW) as saver:
            case.check(fv.poll(lambda: server.new_windows(before), 10, 0.1),
                       "-window maps a window of its own")
            for own in server.new_windows(before)[:1]:
                g = own.get_geometry()
                case.frame(server, own, picture, (g.width, g.height), 0, 0, "-window")
            case.ends_on_term(saver, "-window")

        for arguments in (["--bogus"], ["--delay"], ["--mode", "mosaic"], ["-root", "extra"]):
            with case.start(server, *arguments) as saver:
                code = saver.wait_exit(5)
                lines = saver.stderr().strip().splitlines()
                case.check(code == 2 and len(lines) == 1,
                           "refused with status 2 and a one-line usage: %s (status %s, %r)"
                           % (" ".join(arguments), code, lines))

        # --save keeps the given settings; a later run without options shows them.
        with case.start(server, "--window-id", hex(window.id), "--folder", folder,
                        "--delay", "7", "--position", "centered", "--save") as saver:
            case.frame(server, window, picture, (320, 240), 0, 0, "--save")
            case.ends_on_term(saver, "--save")
        with open(os.path.join(case.work, "config", "fotovane", "registry.reg")) as f:
            saved = f.read()
        case.check('"delay"=dword:00000007' in saved and '"position"=dword:00000000' in saved
                   and '"path"="%s"' % folder in saved, "--save stores the settings given")
        window.unmap()
        window.map()
        server.x.sync()
        with case.start(server, "--window-id", hex(window.id)):
            case.frame(server, window, picture, (320, 240), 0, 0,
                       "the saved settings on the next run")


def command_lines(path, folder):
    """The command line XScreenSaver's settings dialog writes for each control set away from
    its default, one control at a time, shell-quoted and split again as the daemon does."""
    root = ElementTree.parse(path).getroot()
    base = shlex.split(root.find("command").get("arg"))
    lines = []
    for element in root.iter():
        if element.tag == "number":
            for value in (element.get("low"), element.get("high")):
                lines.append(element.get("arg").replace("%", shlex.quote(value)))
        elif element.tag == "boolean":
            lines.append(element.get("arg-set") or element.get("arg-unset"))
        elif element.tag == "select":
            lines += [o.get("arg-set") for o in element.findall("option") if o.get("arg-set")]
        elif element.tag in ("file", "string"):
            lines.append(element.get("arg").replace("%", shlex.quote(folder)))
    if len(lines) < 9:
        raise fv.Failure("the settings description has too few controls: %s" % lines)
    return [base + shlex.split(line) for line in lines]


CASES = {f.__name__: f for f in (hosted_window, depths, term_during_decode, xsecurelock,
                                 xscreensaver, standalone, integration, hostile_folder)}


def main():
    work, (name, program, fvcheck, build), report = fv.start()
    # Pictures stay for the next run; the settings of the last one go.
    subprocess.run(["rm", "-rf", os.path.join(work, "config")])
    return report.run(lambda: CASES[name](Case(work, report, program, fvcheck, build)))


if __name__ == "__main__":
    sys.exit(main())
