"""The harness's own tests: the probe's answers about the fixture program (fixture.c), whose
windows, texts and objects are known, so a fault of the harness is not taken for one of the
program under test. (Clicks, keys, message boxes and a program's end are the program tests'
everyday steps, checked there against what the program must do.)

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
ID_STATUS, ID_TABS, ID_LIST = 101, 103, 104
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
            return status and self.s.text(status["hwnd"]) == "ready" and status["hwnd"]
        self.status = wait_for(ready, 20, "the fixture's status bar")

    def test_windows_texts_tabs_and_list(self):
        info = self.s.info(self.hwnd)
        self.assertEqual(info["text"], "Fixture")
        self.assertEqual(info["window"]["rect"][2] - info["window"]["rect"][0], 600)
        self.assertEqual(sorted(c["id"] for c in self.s.children(self.hwnd)),
                         [ID_STATUS, ID_TABS, ID_LIST])
        tabs = self.s.tabs(self.s.child(self.hwnd, ID_TABS)["hwnd"])
        self.assertEqual([(t["text"], t["param"]) for t in tabs["items"]],
                         [("First", 10), ("Second", 11), ("Third & Last", 12)])
        self.assertEqual(tabs["cur"], 0)
        lb = self.s.child(self.hwnd, ID_LIST)["hwnd"]
        self.assertEqual(self.s.listbox(lb)["count"], 5)
        self.assertEqual(self.s.ask("lbtext", lb, 2)["text"], "gamma")

    def test_gdi_count_follows_objects_made_and_freed(self):
        before = self.s.gdi_objects(self.pid)
        self.s.command(self.hwnd, CMD_MAKE_GDI)
        self.assertEqual(self.s.gdi_objects(self.pid), before + 10)
        self.s.command(self.hwnd, CMD_FREE_GDI)
        self.assertEqual(self.s.gdi_objects(self.pid), before)

    def test_capture_shows_the_window_pixels(self):
        path = os.path.join(self.wine.root, "fixture.png")
        width, height, rows = self.s.capture(self.hwnd, path)
        self.assertEqual((width, height), (600, 400))
        # The client area right of the list is painted pure red by the fixture.
        self.assertEqual(rows[height // 2][width - 30], (255, 0, 0))
        with open(path, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main(verbosity=2)
