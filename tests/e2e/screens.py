"""Starts Vantry.exe of a laid-out data directory on a private display, waits for the load,
opens the graph of CRSPVWX (the longest history) and saves screenshots of the Funds, Key
Help, Manual and graph pages at 560x450, 1024x768 and maximized, as PAGE-SIZE.png.

Usage: screens.py DATADIR OUTDIR   (the native report tool must be built: it gives the
fund list's order)
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402
import test_program  # noqa: E402
from test_program import R  # noqa: E402

LONGEST = "CRSP Value-Weighted Excess Return Index"


def main():
    data, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    run = harness.Run()
    try:
        s = run.session("screens")
        try:
            s.start(os.path.join(data, "Vantry.exe"))
            hwnd = s.wait_window("NavXYZ", 60)["hwnd"]

            def loaded():
                kids = {c["id"]: c for c in s.children(hwnd)}
                return (R["IDC_TAB_CONTROL"] in kids and R["IDC_PROGRESS_BAR"] not in kids
                        and kids.get(R["IDC_FUND_LIST"], {}).get("visible"))
            wait_for(loaded, 300, "the load")
            os.makedirs(out, exist_ok=True)
            test_program.CONFIG["report"] = os.path.join(
                test_program.REPO, "build", "native", "tools", "report", "vantry-report")
            row = test_program.report_order(data, 1).index(LONGEST)
            fund_list = s.child(hwnd, R["IDC_FUND_LIST"])["hwnd"]
            s.send(fund_list, 0x0197, row, 0)  # LB_SETTOPINDEX
            s.click_centre(s.ask("lbrect", fund_list, row)["screen"], repeat=2)
            tabs = s.child(hwnd, R["IDC_TAB_CONTROL"])["hwnd"]
            wait_for(lambda: s.tabs(tabs)["cur"] == 3, 30, "the graph page")
            test_program.walk_pages(s, hwnd, lambda page, size, window, view: (
                test_program.settled_capture(s, view, os.path.join(out, "%s-%s.png" %
                                                                   (page, size)))))
            print("Screenshots of the Funds, Key Help, Manual and graph pages are in %s" % out)
        finally:
            s.close()
    finally:
        run.close()


if __name__ == "__main__":
    main()
