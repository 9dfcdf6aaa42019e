"""End-to-end check of the GDI surface's held lines: under Wine, the graph pages drawn with
their lines held and with every line drawn at once come out pixel for pixel the same, both
on the back buffer's DIB section (held lines written into its pixels) and on a bitmap
compatible with the screen (held lines drawn in runs, as on printed pages). The paint
benchmark's Windows build draws and compares them, on generated funds of forty years of
weekly points.

Usage: test_held_lines.py --exe build/win64/src/Vantry.exe [--report R] [--out DIR]
[unittest args] (the benchmark is looked for in the bench folder of the same build).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BENCH = None


class HeldLines(unittest.TestCase):
    def test_held_lines_leave_the_graph_pages_as_drawn_at_once(self):
        data = tempfile.mkdtemp(prefix="vantry-held-lines-")
        try:
            subprocess.run([sys.executable, os.path.join(REPO, "bench", "gendata.py"), data,
                            "--funds", "6", "--years", "40", "--end-year", "2004",
                            "--seed", "3"], check=True, stdout=subprocess.DEVNULL)
            status, out, err = harness.run_console_program(BENCH, [harness.windows_path(data)])
        finally:
            shutil.rmtree(data, ignore_errors=True)
        for way in ("written in place", "in runs"):
            self.assertIn("held lines %s against lines drawn at once: 0 and 0 pixels differ"
                          % way, out, out + err)
        self.assertEqual(status, 0, out + err)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--report")
    parser.add_argument("--out")
    args, rest = parser.parse_known_args()
    BENCH = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(args.exe))), "bench",
                         "vantry-bench-paint.exe")
    if not os.path.exists(BENCH):
        sys.exit("test_held_lines: no %s (scripts/build win64 makes it)" % BENCH)
    unittest.main(argv=[sys.argv[0]] + rest)
