"""End-to-end check of the GDI surface's held lines: under Wine, the graph pages drawn with
their lines held and with every line drawn at once come out pixel for pixel the same, both
on the back buffer's DIB section (held lines written into its pixels) and on a bitmap
compatible with the screen (held lines drawn in runs, as on printed pages). The paint
benchmark's Windows build draws and compares them, on generated funds of forty years of
weekly points.

Usage: test_held_lines.py --exe build/win64/src/Vantry.exe --report R [--out DIR]
[unittest args] (the arguments of test_program.py; the benchmark is looked for in the bench
folder of the same build).
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_program  # noqa: E402
from test_program import CONFIG, REPO  # noqa: E402


class HeldLines(unittest.TestCase):
    def test_held_lines_leave_the_graph_pages_as_drawn_at_once(self):
        bench = os.path.join(os.path.dirname(os.path.dirname(CONFIG["exe"])), "bench",
                             "vantry-bench-paint.exe")
        self.assertTrue(os.path.exists(bench), "no %s (scripts/build win64 makes it)" % bench)
        with tempfile.TemporaryDirectory(prefix="vantry-held-lines-",
                                         ignore_cleanup_errors=True) as data:
            subprocess.run([sys.executable, os.path.join(REPO, "bench", "gendata.py"), data,
                            "--funds", "6", "--years", "40", "--end-year", "2004",
                            "--seed", "3"], check=True, stdout=subprocess.DEVNULL)
            status, out, err = harness.run_console_program(bench, [harness.windows_path(data)])
        for way in ("written in place", "in runs"):
            self.assertIn("held lines %s against lines drawn at once: 0 and 0 pixels differ"
                          % way, out, out + err)
        self.assertEqual(status, 0, out + err)


if __name__ == "__main__":
    test_program.main()
