"""Starts Vantry.exe of a laid-out data directory on a private display, waits for the load,
and saves screenshots of the Funds page, the first fund's graph and the Key Help page.

Usage: screens.py DATADIR OUTDIR
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402
from test_program import resource_ids  # noqa: E402


def main():
    data, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    ids = resource_ids()
    run = harness.Run()
    try:
        s = run.session("screens")
        try:
            s.start(os.path.join(data, "Vantry.exe"))
            main = s.wait_window("NavXYZ", 60)
            hwnd = main["hwnd"]

            def loaded():
                kids = {c["id"]: c for c in s.children(hwnd)}
                return (ids["IDC_TAB_CONTROL"] in kids and ids["IDC_PROGRESS_BAR"] not in kids
                        and kids[ids["IDC_FUND_LIST"]]["visible"]) if ids["IDC_FUND_LIST"] in kids \
                    else False
            wait_for(loaded, 300, "the load")
            os.makedirs(out, exist_ok=True)
            s.screenshot(os.path.join(out, "funds.png"))
            fund_list = s.child(hwnd, ids["IDC_FUND_LIST"])["hwnd"]
            r = s.ask("lbrect", fund_list, 0)["screen"]
            s.click((r[0] + r[2]) // 2, (r[1] + r[3]) // 2, repeat=2)
            tabs = s.child(hwnd, ids["IDC_TAB_CONTROL"])["hwnd"]
            wait_for(lambda: s.tabs(tabs)["cur"] == 3, 30, "the graph page")
            s.screenshot(os.path.join(out, "graph.png"))
            s.command(hwnd, ids["IDM_KEY_HELP"])
            s.screenshot(os.path.join(out, "keyhelp.png"))
            print("Screenshots of the Funds, graph and Key Help pages are in %s" % out)
        finally:
            s.close()
    finally:
        run.close()


if __name__ == "__main__":
    main()
