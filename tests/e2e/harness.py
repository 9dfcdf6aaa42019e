"""Runs Windows programs under Wine on a private Xvfb display and drives them through the probe.

One template Wine prefix serves a whole run; every WineSession copies it and starts its own
Xvfb display, wineserver, probe and programs, and ends all of them by PID. (A display that
has already served one Wine desktop gives the next desktop no display driver, so displays
are never shared.) Every wait polls with a deadline; nothing sleeps a fixed time.
"""

import contextlib
import ctypes
import json
import os
import pathlib
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
WINE_FONTS = "/usr/share/wine/fonts"
MINGW_CC = "x86_64-w64-mingw32-gcc"
HERE = os.path.dirname(os.path.abspath(__file__))
SCREEN = (1024, 768)

# Window messages and control constants the tests use.
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
IDOK = 1
IDCANCEL = 2


class HarnessError(Exception):
    pass


def become_subreaper():
    """Wine daemonises its helpers; as a child subreaper they stay our children, so they
    can be ended by PID instead of by name."""
    with contextlib.suppress(OSError):
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER


def wait_for(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned; raises after
    timeout seconds, naming what was awaited and the last value seen."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise HarnessError("timed out after %.1f s waiting for %s (last: %r)"
                               % (timeout, what, last))
        time.sleep(interval)


def wait_steady(read, times, timeout, what, interval):
    """Polls read until its last `times` values agree and are true; returns that value."""
    seen = []

    def steady():
        seen.append(read())
        del seen[:-times]
        return len(seen) == times and all(v == seen[0] for v in seen) and seen[0]
    return wait_for(steady, timeout, what, interval)


def own_children():
    """PIDs whose parent is this process (read from /proc)."""
    me, kids = os.getpid(), []
    for name in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open("/proc/%s/stat" % name) as f:
            # After the command name in parentheses: the state, then the parent's PID.
            fields = f.read().rpartition(")")[2].split()
            if len(fields) > 1 and int(fields[1]) == me:
                kids.append(int(name))
    return kids


def reap(pid):
    try:
        return os.waitpid(pid, os.WNOHANG)[0] == pid
    except ChildProcessError:
        return True


def end_process(proc, timeout=5.0):
    """Ends one Popen child: terminate, then kill after the deadline."""
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout)


# PIDs of our children that outlive every session (a server the whole run shares), which
# end_orphans leaves alone.
KEEP = set()


def end_orphans(timeout=5.0):
    """Ends the daemonised helpers that were re-parented to us, by PID."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        kids = [pid for pid in own_children() if pid not in KEEP]
        if not kids:
            return
        for pid in kids:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, sig)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            kids = [p for p in kids if not reap(p)]
            if not kids:
                return
            time.sleep(0.05)


def build_windows_program(source, output, gui=False, libs=()):
    """Compiles one of the harness's C programs with mingw-w64."""
    os.makedirs(os.path.dirname(output), exist_ok=True)
    cmd = [MINGW_CC, "-O1", "-Wall", "-Wextra", "-o", output, source]
    if gui:
        cmd.insert(1, "-mwindows")
    cmd += ["-l" + lib for lib in libs]
    subprocess.run(cmd, check=True, timeout=120)
    return output


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def bmp_to_png(bmp_path, png_path):
    """Converts the probe's 24-bit bottom-up BMP into a PNG; returns (width, height, rows)
    with rows as lists of (r, g, b)."""
    data = pathlib.Path(bmp_path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = [[(line[3 * x + 2], line[3 * x + 1], line[3 * x]) for x in range(width)]
            for line in (data[offset + (height - 1 - y) * stride:][:width * 3]
                         for y in range(height))]
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    pathlib.Path(png_path).write_bytes(
        b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b""))
    return width, height, rows


class Display:
    """A private Xvfb server; it chooses a free display number itself (-displayfd)."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        # Xvfb writes the number and its newline at once, when it is ready.
        with os.fdopen(read_fd, "rb") as pipe:
            number = pipe.readline().strip() if select.select([pipe], [], [], 20)[0] else b""
        if not number:
            self.close()
            raise HarnessError("Xvfb did not report its display in time")
        self.name = ":" + number.decode()

    def close(self):
        end_process(self.proc)


class Template:
    """A booted Wine prefix with the fonts and a virtual desktop, made once a run (on a
    display of its own) and copied per session."""

    def __init__(self, root):
        self.path = os.path.join(root, "template")
        os.makedirs(self.path)
        display = Display()
        env = wine_environment(display, self.path)
        server = None
        try:
            server = start_wineserver(env)
            subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=180, check=False)
            fonts = os.path.join(self.path, "drive_c", "windows", "Fonts")
            os.makedirs(fonts, exist_ok=True)
            for name in os.listdir(WINE_FONTS):
                if name.endswith(".ttf"):
                    shutil.copy(os.path.join(WINE_FONTS, name), fonts)
            reg = os.path.join(root, "desktop.reg")
            pathlib.Path(reg).write_text(
                "REGEDIT4\n\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"
                "\"Desktop\"=\"Default\"\n\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"
                "\"Default\"=\"%dx%d\"\n" % SCREEN)
            subprocess.run([WINE, "regedit", "/S", windows_path(reg)], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                           check=True)
        finally:
            if server:
                stop_wineserver(env, server)
            display.close()

    def copy(self, destination):
        subprocess.run(["cp", "-a", self.path, destination], check=True, timeout=60)
        return destination


def wine_environment(display, prefix):
    return dict(os.environ, DISPLAY=display.name, WINEPREFIX=prefix, WINEDEBUG="-all",
                WINEARCH="win64", LC_ALL="C.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")


def start_wineserver(env):
    """The prefix's wineserver in the foreground and persistent: our own child, known PID."""
    server = subprocess.Popen([WINESERVER, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    # The server's socket directory is named by the prefix's device and inode.
    st = os.stat(env["WINEPREFIX"])
    leaf = "server-%x-%x" % (st.st_dev, st.st_ino)
    wait_for(lambda: server.poll() is not None or any(
        os.path.exists(os.path.join(d, "socket")) for d in server_directories(leaf)), 20,
        "the wineserver's socket")
    if server.poll() is not None:
        raise HarnessError("wineserver ended at start (%d)" % server.returncode)
    server.leaf = leaf
    return server


def server_directories(leaf):
    """The socket directories of that name, inside the per-user folders (/tmp/.wine-UID
    upstream, /tmp/wine-XXXXXX on Debian)."""
    return [path for path in (os.path.join("/tmp", parent, leaf) for parent in os.listdir("/tmp")
                              if parent.startswith(("wine-", ".wine-"))) if os.path.isdir(path)]


def stop_wineserver(env, server, others=()):
    """Ends every Wine process of the prefix (wineserver -k), waits for the given Popen
    children, then ends the server and any helper left over, by PID, and removes the
    server's directory under /tmp."""
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=20)
    for proc in others:
        end_process(proc)
    end_process(server)
    end_orphans()
    for path in server_directories(server.leaf):
        shutil.rmtree(path, ignore_errors=True)
        # The per-user folder goes too when this server was its only tenant.
        with contextlib.suppress(OSError):
            os.rmdir(os.path.dirname(path))


def run_console_program(exe, args, timeout=300):
    """Runs a Windows console program under Wine in a fresh prefix on a private display:
    (exit status, or "a timeout", standard output, standard error)."""
    become_subreaper()
    root = tempfile.mkdtemp(prefix="vantry-console-")
    session = None
    try:
        session = WineSession(Template(root), os.path.join(root, "session"))
        try:
            status = session.start(exe, *args).wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            status = "a timeout"
        log = os.path.join(session.work_dir, "program.")
        return (status, *(pathlib.Path(log + ext).read_text() for ext in ("out", "err")))
    finally:
        if session:
            session.close()
        end_orphans()
        shutil.rmtree(root, ignore_errors=True)


class Probe:
    """The probe process and its request/answer protocol (one line each way)."""

    def __init__(self, env, exe, log_path):
        self.log = open(log_path, "a")
        self.proc = subprocess.Popen([WINE, exe], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.log)
        self.buffer = b""
        first = self._answer(60)
        if not first.get("ready"):
            raise HarnessError("probe did not start: %r" % first)
        self.gui = first.get("gui", 0)

    def _answer(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                line = line.strip()
                if line.startswith(b"{"):
                    return json.loads(line.decode("utf-8", "replace"))
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                raise HarnessError("probe gave no answer in %.0f s" % timeout)
            piece = os.read(self.proc.stdout.fileno(), 65536)
            if not piece:
                raise HarnessError("probe ended (%s)" % self.proc.poll())
            self.buffer += piece

    def ask(self, *words, timeout=30, check=True):
        line = " ".join(str(w) for w in words)
        self.log.write("> %s\n" % line)
        self.log.flush()
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()
        answer = self._answer(timeout)
        if check and not answer.get("ok"):
            raise HarnessError("probe request %r failed: %s" % (line, answer.get("error")))
        return answer

    def close(self):
        if self.proc.poll() is None:
            with contextlib.suppress(OSError, subprocess.TimeoutExpired):
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.close()
                self.proc.wait(5)
        end_process(self.proc)
        for pipe in (self.proc.stdin, self.proc.stdout):
            with contextlib.suppress(OSError):
                pipe.close()
        self.log.close()


class WineSession:
    """One Wine prefix (a copy of the template) with its server and, given probe_exe, the
    probe; starts programs in it and ends everything by PID."""

    def __init__(self, template, work_dir, probe_exe=None):
        self.work_dir = work_dir
        os.makedirs(work_dir, exist_ok=True)
        self.display = Display()
        self.prefix = self.probe = self.server = None
        self.programs = []
        try:
            self.prefix = template.copy(os.path.join(work_dir, "prefix"))
            self.env = wine_environment(self.display, self.prefix)
            # Now and then Wine's desktop comes up without its display driver (every window
            # of that server then fails); the probe says so at once and the server is
            # started anew.
            for _ in range(4):
                self.server = start_wineserver(self.env)
                if not probe_exe:
                    return
                self.probe = Probe(self.env, probe_exe, os.path.join(work_dir, "probe.log"))
                if self.probe.gui:
                    return
                self.probe.close()
                self.probe = None
                stop_wineserver(self.env, self.server)
            raise HarnessError("Wine's desktop never came up with its display driver")
        except Exception:
            self.close()
            raise

    def start(self, exe, *args):
        """Starts a Windows program in its own folder, its output appended to program.out
        and program.err in the session's folder; returns its Popen (the wine64 loader
        process). Output goes through files: Wine's helper processes keep a pipe open
        after the program has ended."""
        log = os.path.join(self.work_dir, "program.")
        with open(log + "out", "a") as out, open(log + "err", "a") as err:
            proc = subprocess.Popen([WINE, exe, *args], env=self.env, cwd=os.path.dirname(exe),
                                    stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        self.programs.append(proc)
        return proc

    def ask(self, *words, **kw):
        return self.probe.ask(*words, **kw)

    def wait_window(self, cls, timeout=30):
        """The probe's answer for the first window of class cls."""
        return wait_for(lambda: (lambda found: found["hwnd"] and found)(
            self.ask("find", cls)), timeout, "a window of class %s" % cls)

    def children(self, hwnd):
        return self.ask("children", hwnd)["children"]

    def child(self, hwnd, control_id):
        return next((c for c in self.children(hwnd) if c["id"] == control_id), None)

    def info(self, hwnd):
        return self.ask("info", hwnd)

    def rect(self, hwnd):
        """The window's screen rectangle (left, top, right, bottom)."""
        return self.info(hwnd)["window"]["rect"]

    def visible(self, hwnd):
        return self.info(hwnd)["window"]["visible"]

    def text(self, hwnd):
        return self.ask("info", hwnd)["text"]

    def send(self, hwnd, msg, wparam=0, lparam=0):
        return self.ask("send", hwnd, msg, wparam, lparam)["result"]

    def post(self, hwnd, msg, *wparams):
        """One posted message per wParam (0 when none is given), back to back."""
        self.ask("post", hwnd, msg, *(wparams or (0,)))

    def command(self, hwnd, command_id):
        """A menu or accelerator command, sent: it returns when the program has handled it."""
        return self.send(hwnd, WM_COMMAND, command_id, 0)

    def post_command(self, hwnd, command_id):
        """A command that may open a modal box, posted so that the probe does not wait on it."""
        self.post(hwnd, WM_COMMAND, command_id)

    def listbox(self, hwnd):
        return self.ask("lb", hwnd)

    def tabs(self, hwnd):
        return self.ask("tab", hwnd)

    def boxes(self, pid):
        return self.ask("boxes", pid)["boxes"]

    def wait_box(self, pid, timeout=20, text=None, caption=None):
        """The first box or dialog of the process whose text holds text and whose caption is
        caption (each only when given)."""
        def found():
            return next((b for b in self.boxes(pid) if (text is None or text in b["text"])
                         and caption in (None, b["caption"])), None)
        return wait_for(found, timeout, "a box with caption %r and text %r" % (caption, text))

    def press(self, box, button=IDOK):
        self.ask("press", box["hwnd"], button)
        wait_for(lambda: not self.ask("info", box["hwnd"], check=False).get(
            "window", {}).get("visible"), 20, "the message box to close")

    def capture(self, hwnd, png_path):
        """The window's screen rectangle (0: the whole screen) as a PNG; returns the pixel
        rows."""
        bmp = os.path.splitext(png_path)[0] + ".bmp"
        self.ask("capture", hwnd, windows_path(bmp))
        try:
            return bmp_to_png(bmp, png_path)
        finally:
            os.unlink(bmp)

    def gdi_objects(self, pid):
        """The process's GDI object count, from its entries in the GDI handle table."""
        return self.ask("gdi", pid)["count"]

    def xdotool(self, *args):
        """Runs xdotool on the session's display; returns its output."""
        return subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=20,
                              env=dict(os.environ, DISPLAY=self.display.name),
                              stdout=subprocess.PIPE, text=True).stdout

    def key(self, *keys):
        """Real key presses (xdotool names: ctrl+y, F1, Return), to the window under the
        pointer's desktop."""
        self.xdotool("key", "--delay", "30", *keys)

    def move_args(self, x, y):
        """xdotool's words for moving the pointer to (x, y) and waiting until it is there: a
        synchronous move to where the pointer already is would wait for a motion that never
        comes, so that one is a plain move."""
        out = self.xdotool("getmouselocation", "--shell")
        where = dict(line.split("=", 1) for line in out.split() if "=" in line)
        there = (int(where["X"]), int(where["Y"])) == (x, y)
        return ["mousemove"] + ([] if there else ["--sync"]) + [x, y]

    def move_pointer(self, x, y):
        self.xdotool(*self.move_args(x, y))

    def click_centre(self, r, **kw):
        """A click in the middle of the screen rectangle r."""
        self.click((r[0] + r[2]) // 2, (r[1] + r[3]) // 2, **kw)

    def click(self, x, y, repeat=1):
        self.xdotool(*self.move_args(x, y), "click", "--repeat", repeat, "--delay", "80", 1)

    def close(self):
        if self.probe:
            self.probe.close()
        if self.server:
            stop_wineserver(self.env, self.server, self.programs)
        if self.prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
        self.display.close()


class Run:
    """What a whole run shares: the template prefix and the probe."""

    def __init__(self):
        become_subreaper()
        self.root = tempfile.mkdtemp(prefix="vantry-e2e-")
        try:
            self.probe_exe = build_windows_program(
                os.path.join(HERE, "probe.c"), os.path.join(self.root, "bin", "probe.exe"),
                gui=True, libs=("user32", "gdi32", "comctl32"))
            self.template = Template(self.root)
        except Exception:
            self.close()
            raise

    def session(self, name):
        return WineSession(self.template, os.path.join(self.root, name), self.probe_exe)

    def close(self):
        end_orphans()
        shutil.rmtree(self.root, ignore_errors=True)
