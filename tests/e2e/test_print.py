"""End-to-end tests of "Print Fund Graph": Vantry.exe under Wine prints a graph page to a real
CUPS queue (a private cupsd with Debian's cups-pdf printer), and the PDF page is turned into
an image and checked against the graph window on the screen.

Usage: test_print.py --exe Vantry.exe --report vantry-report [--out DIR] [unittest args]
(the arguments of test_program.py, whose test class and main this file reuses).
"""

import contextlib
import os
import pathlib
import pwd
import random
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_program  # noqa: E402
from harness import wait_for  # noqa: E402
from test_program import R, VantryTest  # noqa: E402

PRINTER = "VantryPDF"
CUPS_PDF_PPD = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"
PRINT_TIMEOUT = 90  # the copy reads every pixel singly; then ghostscript makes the PDF
RENDER_DPI = 72     # one pixel of the rendered page per PostScript point
CUPS = None


class PrivateCups:
    """A cupsd of our own: its configuration, spool, cache and logs under a temporary
    directory, listening on a unix socket there, with one cups-pdf queue as the default
    destination. Clients (lpadmin, lpstat, Wine's spooler) find it through CUPS_SERVER."""

    def __init__(self):
        # A short path: a unix socket's name is limited to about a hundred bytes.
        self.root = root = tempfile.mkdtemp(prefix="vantry-cups-", dir="/tmp")
        self.proc = None
        try:
            self._start(root, os.path.join(root, "etc"))
        except Exception:
            self.close()
            raise

    def _start(self, root, conf):
        for d in ("etc/ppd", "spool/tmp", "cache", "state", "log"):
            os.makedirs(os.path.join(root, d))
        # The filters run as the lp user and must reach the spooled files.
        for d, mode in (("", 0o755), ("spool", 0o755), ("spool/tmp", 0o1777)):
            os.chmod(os.path.join(root, d), mode)
        self.socket = os.path.join(root, "cups.sock")
        pathlib.Path(conf, "cupsd.conf").write_text(
            "Listen %s\nLogLevel info\nBrowsing No\nWebInterface No\n"
            "DefaultAuthType None\n<Location />\nOrder allow,deny\nAllow all\n"
            "</Location>\n<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n"
            "</Policy>\n" % self.socket)
        pathlib.Path(conf, "cups-files.conf").write_text(
            "ServerRoot {c}\nRequestRoot {r}/spool\nTempDir {r}/spool/tmp\n"
            "CacheDir {r}/cache\nStateDir {r}/state\nErrorLog {r}/log/error_log\n"
            "AccessLog {r}/log/access_log\nPageLog {r}/log/page_log\n"
            "Printcap {r}/printcap\nUser lp\nGroup lp\nSystemGroup root\n".format(c=conf, r=root))
        # cups-pdf names its files after the job number; starting the numbers at a random
        # point keeps them apart from those of another run's server.
        pathlib.Path(root, "cache", "job.cache").write_text(
            "NextJobId %d\n" % random.randint(100000, 899999))
        # A session of its own keeps it from the terminal's signals; the Wine sessions'
        # cleanup, which ends our other children, leaves it alone.
        with open(os.path.join(root, "log", "cupsd.out"), "w") as log:
            self.proc = subprocess.Popen(
                ["cupsd", "-f", "-c", os.path.join(conf, "cupsd.conf"),
                 "-s", os.path.join(conf, "cups-files.conf")],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        harness.KEEP.add(self.proc.pid)
        wait_for(lambda: os.path.exists(self.socket) or self.proc.poll() is not None, 30,
                 "cupsd's socket")
        if self.proc.poll() is not None:
            raise harness.HarnessError("cupsd ended at start: %s" % self.error_log())
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        # lpadmin -d sets the server's default; lpoptions -d would write the user's files.
        self.run("lpadmin", "-p", PRINTER, "-v", "cups-pdf:/", "-P", CUPS_PDF_PPD, "-E")
        self.run("lpadmin", "-d", PRINTER)

    def run(self, *args):
        return subprocess.run(list(args), env=self.env, check=True, capture_output=True,
                              text=True, timeout=60).stdout

    def completed_jobs(self):
        """The numbers of the queue's finished jobs."""
        out = self.run("lpstat", "-W", "completed", "-o", PRINTER)
        return {int(line.split()[0].rsplit("-", 1)[1]) for line in out.splitlines()
                if line.startswith(PRINTER + "-")}

    def error_log(self):
        path = os.path.join(self.root, "log", "error_log")
        return open(path, errors="replace").read()[-3000:] if os.path.exists(path) else ""

    def close(self):
        if self.proc:
            harness.end_process(self.proc)
            harness.KEEP.discard(self.proc.pid)
        shutil.rmtree(self.root, ignore_errors=True)


def pdf_directory():
    """Where cups-pdf puts a job's PDF: the PDF folder in the home of the job's user, the
    user who runs the tests."""
    return os.path.join(pwd.getpwuid(os.getuid()).pw_dir, "PDF")


def read_ppm(path):
    """A binary PPM (P6, 8-bit, pdftoppm's header without comments) as (width, height,
    rows of (r, g, b))."""
    data = pathlib.Path(path).read_bytes()
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not header:
        raise harness.HarnessError("unexpected PPM header %r" % data[:20])
    width, height, pos = int(header.group(1)), int(header.group(2)), header.end()
    return width, height, [[tuple(data[pos + 3 * (y * width + x):pos + 3 * (y * width + x) + 3])
                            for x in range(width)] for y in range(height)]


def ink_box(rows, limit=245):
    """The bounding box (left, top, right, bottom, inclusive) of the pixels that are not
    white, any channel below limit; None on a blank page."""
    inked = [(y, [x for x, p in enumerate(row) if min(p) < limit]) for y, row in enumerate(rows)]
    inked = [(y, xs) for y, xs in inked if xs]
    if not inked:
        return None
    return (min(xs[0] for _, xs in inked), inked[0][0], max(xs[-1] for _, xs in inked),
            inked[-1][0])


def cell_means(rows, box, columns, lines):
    """The mean colour of each cell of a columns x lines grid laid over box."""
    left, top, right, bottom = box
    width, height = right - left + 1, bottom - top + 1
    means = []
    for j in range(lines):
        y0, y1 = top + height * j // lines, top + height * (j + 1) // lines
        for i in range(columns):
            x0, x1 = left + width * i // columns, left + width * (i + 1) // columns
            cell = [p for y in range(y0, y1) for p in rows[y][x0:x1]]
            means.append(tuple(sum(p[c] for p in cell) / max(1, len(cell)) for c in range(3)))
    return means


def coloured_share(rows, box):
    """The share of box's pixels far from every gray: the graph's coloured lines, not its
    black, gray or white."""
    left, top, right, bottom = box
    n = sum(1 for y in range(top, bottom + 1) for p in rows[y][left:right + 1]
            if max(p) - min(p) > 80)
    return n / ((right - left + 1) * (bottom - top + 1))


PDF_DIRECTORY_EXISTED = True


def setUpModule():
    global CUPS, PDF_DIRECTORY_EXISTED
    PDF_DIRECTORY_EXISTED = os.path.isdir(pdf_directory())
    # The queue and the server must exist before any Wine process starts: Wine's spooler
    # reads the printers, from the server CUPS_SERVER names, when its print DLLs load.
    # WineSession takes its environment from ours.
    CUPS = PrivateCups()
    os.environ["CUPS_SERVER"] = CUPS.socket
    test_program.setUpModule()


def tearDownModule():
    test_program.tearDownModule()
    if CUPS:
        CUPS.close()
    os.environ.pop("CUPS_SERVER", None)
    # Each test removes its PDF; the folder goes too when cups-pdf made it for us.
    if not PDF_DIRECTORY_EXISTED:
        with contextlib.suppress(OSError):
            os.rmdir(pdf_directory())


class PrintGraph(VantryTest):
    def graph_focused(self):
        return self.session.info(self.hwnd)["focus"] == self.graph

    def choose_landscape(self, dialog):
        """Landscape through the print dialog's printer properties, as a user sets it: the
        Properties button, the Landscape button of the printer's property sheet, OK."""
        props = next(b for b in dialog["buttons"] if "Properties" in b["text"])
        self.session.ask("press", dialog["hwnd"], props["id"])

        def sheet():
            return next((b for b in self.session.boxes(self.pid) if b["hwnd"] != dialog["hwnd"]
                         and any("Landscape" in k["text"] for k in b["buttons"])), None)
        box = wait_for(sheet, 20, "the printer's property sheet")
        self.session.click_centre(self.find_descendant(box["hwnd"], "Landscape")["rect"])
        self.session.press(box)

    def find_descendant(self, hwnd, text):
        for c in self.session.children(hwnd):
            found = c if text in self.session.text(c["hwnd"]) else self.find_descendant(
                c["hwnd"], text)
            if found:
                return found
        return None

    def print_graph(self, name, landscape=False):
        """Ctrl+P on the graph, OK in the print dialog; returns the printed page rendered
        as (width, height, rows), kept as a PNG beside the screenshots."""
        before = CUPS.completed_jobs()
        # Ctrl+P goes to the focus window: a click gives the graph window the focus (the
        # first click on it only does that, and starts no measuring line).
        if not self.graph_focused():
            self.session.click_centre(self.session.rect(self.graph))
            wait_for(self.graph_focused, 20, "the focus on the graph window")
        self.session.key("ctrl+p")
        dialog = self.session.wait_box(self.pid, 30, caption="Print")
        if landscape:
            self.choose_landscape(dialog)
        self.session.press(dialog)
        try:
            job = wait_for(lambda: CUPS.completed_jobs() - before, PRINT_TIMEOUT,
                           "the print job to complete")
        except harness.HarnessError as e:
            self.fail("%s; boxes %r; cupsd: %s"
                      % (e, self.session.boxes(self.pid), CUPS.error_log()))
        self.assertEqual(len(job), 1, job)
        number = job.pop()
        directory, suffix = pdf_directory(), "-job_%d.pdf" % number

        def pdf():
            names = os.listdir(directory) if os.path.isdir(directory) else []
            return next((os.path.join(directory, f) for f in names if f.endswith(suffix)), None)
        path = wait_for(pdf, 20, "job %d's PDF in %s" % (number, directory))
        self.addCleanup(os.unlink, path)
        self.assertEqual(self.session.boxes(self.pid), [], "a box after printing")
        base = os.path.join(self.session.work_dir, name)
        for options, out in (([], base), (["-png"], self.artefact(name))):
            subprocess.run(["pdftoppm", "-r", str(RENDER_DPI), "-singlefile"] + options
                           + [path, out], check=True, timeout=60)
        return read_ppm(base + ".ppm")

    def check_page(self, landscape):
        """Prints the graph and checks the page: filled across its shorter side, centred
        along the longer, the other side in proportion (screen and printer pixels are
        square), and the screen's picture, stretched: the mean colours of a grid of cells
        agree, and the coloured lines are kept in colour."""
        # The main window about as high as wide, so that the graph's width-to-height ratio
        # lies between an A4 page's portrait and landscape ratios (0.71 and 1.41).
        self.start()
        self.session.ask("move", self.hwnd, 0, 0, 760, 720)
        r = self.open_graph(2)
        picture = (r[2] - r[0] - 4, r[3] - r[1] - 4)
        self.assertTrue(0.8 < picture[0] / picture[1] < 1.3, "graph %dx%d" % picture)
        width, height, page = self.print_graph("landscape" if landscape else "portrait",
                                               landscape)
        self.assertEqual(width > height, landscape, "the page's orientation")
        left, top, right, bottom = box = ink_box(page)
        w, h = picture
        if landscape:
            left, top, right, bottom, width, height, w, h = \
                top, left, bottom, right, height, width, h, w
        self.assertLessEqual(left, 1)
        self.assertGreaterEqual(right, width - 2)
        self.assertAlmostEqual(bottom - top + 1, width * h / w, delta=2)
        self.assertAlmostEqual(top, height - 1 - bottom, delta=2)

        # The graph window from the screen without its 2-pixel frame: the back buffer's
        # picture that the print copies.
        w, h = picture
        cw, ch, rows = self.shot("graph", self.graph)
        screen = [row[2:cw - 2] for row in rows[2:ch - 2]]
        self.assertEqual((len(screen[0]), len(screen)), (w, h), "the graph window's size")
        printed = cell_means(page, box, 24, 24)
        shown = cell_means(screen, (0, 0, w - 1, h - 1), 24, 24)
        diffs = [max(abs(a - b) for a, b in zip(p, s)) for p, s in zip(printed, shown)]
        # Measured: a mean of 0.9 and a largest cell of 6 levels for the same picture; the
        # picture mirrored left to right gives 4 and 34, shifted by 10 pixels 2.6 and 20.
        self.assertLess(sum(diffs) / len(diffs), 2.5, "mean cell difference")
        self.assertLess(max(diffs), 16, "largest cell difference")
        on_screen = coloured_share(screen, (0, 0, w - 1, h - 1))
        self.assertGreater(on_screen, 0.001, "the graph shows coloured lines")
        self.assertGreater(coloured_share(page, box), on_screen / 3,
                           "a colour printer keeps the colours")

    def test_portrait_page_prints_the_graph_full_width_centred_top_to_bottom(self):
        self.check_page(landscape=False)
        # The windows disabled while printing are enabled again, and the graph keeps the
        # focus, so a second print needs no click.
        for hwnd in (self.hwnd, self.child(R["IDC_TAB_CONTROL"]), self.graph):
            self.assertTrue(self.session.info(hwnd)["window"]["enabled"])
        self.assertTrue(self.graph_focused())

    def test_landscape_page_prints_the_graph_full_height_centred_left_to_right(self):
        self.check_page(landscape=True)

    def test_print_with_the_focus_on_the_fund_list_does_nothing(self):
        self.start()
        self.select_row(2)
        before = CUPS.completed_jobs()
        # The fund list has the focus after the click. Ctrl+L after Ctrl+P changes the
        # status line only once Ctrl+P has been handled, and only if no print dialog took
        # the keys.
        self.session.key("ctrl+p", "ctrl+l")
        wait_for(lambda: self.status() == " [Linear]  [MA]  [Zoom]  [Chart=YTD Return]", 20,
                 "the key after Ctrl+P")
        self.assertEqual(self.session.boxes(self.pid), [])
        self.assertEqual(CUPS.completed_jobs(), before)


if __name__ == "__main__":
    test_program.main()
