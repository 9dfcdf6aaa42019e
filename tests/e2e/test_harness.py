"""The harness's own tests: the probe's captures and GDI counts of the fixture program
(fixture.c), whose pixels and objects are known, so that a fault of the harness is not taken
for one of the program under test. (Windows, texts, tabs, lists, clicks, keys, message boxes
and a program's end are the program tests' everyday steps, checked there against what the
program must do.)

Usage: test_harness.py [unittest args]
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The fixture's ids (fixture.c).
ID_STATUS = 101
CMD_MAKE_GDI, CMD_FREE_GDI = 1002, 1003


class Probe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = harness.Run()
        cls.addClassCleanup(cls.wine.close)
        cls.exe = harness.build_windows_program(
            os.path.join(HERE, "fixture.c"), os.path.join(cls.wine.root, "bin", "fixture.exe"),
            gui=True, libs=("comctl32", "gdi32", "user32"))

    def setUp(self):
        self.s = self.wine.session(self.id().split(".")[-1])
        self.addCleanup(self.s.close)
        self.s.start(self.exe)
        w = self.s.wait_window("E2EFixture")
        self.hwnd, self.pid = w["hwnd"], w["pid"]

        def ready():
            status = self.s.child(self.hwnd, ID_STATUS)
            return status and self.s.text(status["hwnd"]) == "ready"
        wait_for(ready, 20, "the fixture's status bar to say ready")

    def test_gdi_count_follows_objects_made_and_freed(self):
        # The fixture's first paints make and free objects of their own: the count is
        # taken once it has stayed the same for half a second.
        before = harness.wait_steady(lambda: self.s.gdi_objects(self.pid), 6, 20,
                                     "the fixture's GDI count to settle", 0.1)
        self.s.command(self.hwnd, CMD_MAKE_GDI)
        self.assertEqual(self.s.gdi_objects(self.pid), before + 10)
        self.s.command(self.hwnd, CMD_FREE_GDI)
        self.assertEqual(self.s.gdi_objects(self.pid), before)

    def test_capture_shows_the_window_pixels(self):
        path = os.path.join(self.wine.root, "fixture.png")
        width, height, rows = self.s.capture(self.hwnd, path)
        self.assertEqual((width, height), (600, 400))
        # The client area is painted pure red by the fixture.
        self.assertEqual(rows[height // 2][width - 30], (255, 0, 0))


if __name__ == "__main__":
    unittest.main(verbosity=2)
