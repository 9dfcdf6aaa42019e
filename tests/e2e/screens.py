"""Starts Vantry.exe of a laid-out data directory on a private display, waits for the load,
opens the graph of CRSPVWX (the longest history) and saves screenshots of the Funds, Key
Help, Manual and graph pages at 560x450, 1024x768 and maximized, as PAGE-SIZE.png.

Usage: screens.py DATADIR OUTDIR   (the native report tool must be built: it gives the
fund list's order)
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_program as tp  # noqa: E402

setUpModule, tearDownModule = tp.setUpModule, tp.tearDownModule


class Screens(tp.VantryTest):
    def test_pages_at_every_size(self):
        self.start(300)
        self.open_graph(tp.report_order(self.data, 1).index(
            "CRSP Value-Weighted Excess Return Index"))
        tp.walk_pages(self.session, self.hwnd, lambda page, size, window, view: (
            tp.settled_capture(self.session, view,
                               os.path.join(tp.CONFIG["out"], "%s-%s.png" % (page, size)))))


if __name__ == "__main__":
    data, out = (os.path.abspath(a) for a in sys.argv[1:3])
    tp.CONFIG.update(exe=os.path.join(data, "Vantry.exe"), out=out, report=os.path.join(
        tp.REPO, "build", "native", "tools", "report", "vantry-report"))
    Screens.source = data
    os.makedirs(out, exist_ok=True)
    if unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result.wasSuccessful():
        print("Screenshots of the Funds, Key Help, Manual and graph pages are in %s" % out)
    else:
        sys.exit(1)
