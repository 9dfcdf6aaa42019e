"""End-to-end tests of the Update menu of Vantry.exe under Wine against a real FTP server
(tests/integration/ftpserver.py, pyftpdlib) on 127.0.0.1: the incremental and the full
update reload the data, a silent server ends the session after the build's silence bound
and closing the program ends a session that waits at once.

Usage: test_update.py --exe Vantry.exe --report vantry-report [--out DIR] [unittest args]
The program reaches the update server its build names, localhost port 21 by default: the
test server listens there (binding port 21 needs root, which the tests have here).
"""

import os
import pathlib
import select
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness  # noqa: E402
import test_program  # noqa: E402
from harness import wait_for  # noqa: E402
from test_program import R, REPO, VantryTest, read_bytes as read  # noqa: E402

setUpModule = test_program.setUpModule
tearDownModule = test_program.tearDownModule

PYTHON = "/usr/bin/python3"  # Debian's, which has pyftpdlib
FTP_SERVER = os.path.join(REPO, "tests", "integration", "ftpserver.py")

# The fifteen SETTINGS bytes of the default view state (zoom, moving average, chart 1),
# so that only the unzip program differs from a first start.
DEFAULT_VIEW_BYTES = bytes([1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0])


class OnlineUpdate(VantryTest):
    def setUp(self):
        super().setUp()
        self.served = os.path.join(self.session.work_dir, "served")
        os.makedirs(self.served)
        self.log = os.path.join(self.session.work_dir, "ftp-commands.log")

    def start_server(self, mode="normal"):
        """Starts the test server where the program looks for it, 127.0.0.1 port 21, and
        waits (at most 30 s) for the line that says it listens."""
        if os.geteuid() != 0:
            self.skipTest("the update server's port 21 can only be bound by root")
        proc = subprocess.Popen([PYTHON, FTP_SERVER, "--dir", self.served, "--mode", mode,
                                 "--log", self.log, "--port", "21"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(harness.end_process, proc)
        # The server writes its line whole and flushes it: once readable, it is all there.
        line = proc.stdout.readline() if select.select([proc.stdout], [], [], 30)[0] else b""
        self.assertTrue(line.startswith(b"PORT "), "the FTP server did not start: %r" % line)

    def commands(self):
        """The lines the server logged: "CONNECT" and each command received."""
        return read(self.log).decode().splitlines() if os.path.exists(self.log) else []

    def update_and_wait_for_reload(self, command):
        """Posts an Update command and waits for the Restart it asks for, after which the
        status line is as before."""
        tab, status = self.child(R["IDC_TAB_CONTROL"]), self.status()
        self.session.post_command(self.hwnd, R[command])
        self.wait_restart(tab)
        self.assertEqual(self.status(), status)

    def test_incremental_update_adds_the_new_points_and_reloads(self):
        """The session over WinSock and the reload after it; what a second update leaves and
        the backups' contents are the update session's unit tests."""
        self.start_server()
        self.start()
        memory = self.probe("memory")
        old_aa = read(os.path.join(self.data, "AA.NAV"))
        self.assertTrue(old_aa.endswith(b"01/02/01 = 31.88\r\n"))

        # A week more for AA (and its last line again, which is not added twice); the
        # program's own opt, served back, lets the reload reuse the optimization.
        update = b"AA.NAV:01/09/01 = 32.50\r\nAA.NAV:01/02/01 = 31.88\r\n"
        pathlib.Path(self.served, "update.dat").write_bytes(update)
        shutil.copy(os.path.join(self.data, "opt"), os.path.join(self.served, "opt"))

        self.update_and_wait_for_reload("IDM_INCREMENTAL_UPDATE")
        self.assertEqual(read(os.path.join(self.data, "AA.NAV")), old_aa + b"01/09/01 = 32.50\r\n")
        self.assertEqual(read(os.path.join(self.data, "update.dat")), update)
        self.assertTrue(os.path.exists(os.path.join(self.data, "opt.BAK")))
        # The served opt is the local one byte for byte: only the server saw it fetched.
        self.assertEqual(self.commands()[-1], "RETR opt")
        # The reloaded data set holds the new point: more memory.
        self.assertGreater(self.probe("memory"), memory)
        self.shot("after-incremental")
        self.exit_program()

    def test_full_update_unpacks_the_archive_with_the_unzip_program(self):
        shim = harness.build_windows_program(
            os.path.join(HERE, "unzipshim.c"),
            os.path.join(test_program.RUN.root, "bin", "unzipshim.exe"))
        pathlib.Path(self.data, "SETTINGS").write_bytes(
            DEFAULT_VIEW_BYTES + harness.windows_path(shim).encode() + b" ")
        # The archive: the sample funds, their Index and one fund more.
        names = sorted(n for n in os.listdir(self.data) if n.endswith(".NAV"))
        with zipfile.ZipFile(os.path.join(self.served, "data.zip"), "w") as z:
            for name in names + ["Index"]:
                z.write(os.path.join(self.data, name), name)
            aa = read(os.path.join(self.data, "AA.NAV"))
            z.writestr("NEWFUND.NAV", aa.replace(b"NAME = Alcoa Stock", b"NAME = New Fund"))
        self.start_server()
        self.start()
        self.update_and_wait_for_reload("IDM_FULL_UPDATE")
        self.assertEqual(self.probe("funds"), len(names) + 1)
        # The unpacked fund is there and the data set before went to its backups (which
        # backups, and their contents, are the update session's unit tests).
        self.assertTrue(os.path.exists(os.path.join(self.data, "NEWFUND.NAV")))
        self.assertEqual(read(os.path.join(self.data, "AA.BAK")), aa)
        self.shot("after-full")
        self.exit_program()

    def test_a_silent_server_ends_the_session_and_closing_the_program_ends_it_at_once(self):
        """The build's silence bound (VANTRY_UPDATE_TIMEOUT, 60 s by default) ends the
        first session with its message; the second one is cut short by closing."""
        self.start_server("silent")
        self.start()
        files = lambda: {e.name: read(e.path) for e in os.scandir(self.data) if e.is_file()}
        before = files()
        for closing in (False, True):
            self.session.post_command(self.hwnd, R["IDM_INCREMENTAL_UPDATE"])
            connects = 2 if closing else 1
            wait_for(lambda: self.commands() == ["CONNECT"] * connects, 30,
                     "the program to connect to the server")
            # Connected, it waits for the greeting that never comes.
            wait_for(lambda: self.status() == "Update: connect", 20,
                     "the status 'Update: connect'")
            self.assertEqual(self.probe("worker"), 1)
            if closing:
                self.exit_program(30)
            else:
                self.expect_box("Update: can't get greeting response within 60 seconds",
                                timeout=120)
                wait_for(lambda: self.probe("worker") == 0, 20, "the session to end")
        self.assertEqual(files(), before)


if __name__ == "__main__":
    test_program.main()
