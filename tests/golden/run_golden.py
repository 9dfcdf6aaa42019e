#!/usr/bin/env python3
"""Golden images: draws every picture of CASES with vantry-report --png from
tests/data/golden and compares it pixel by pixel with tests/golden/NAME.png.

Usage: run_golden.py VANTRY_REPORT VANTRY_PNGDIFF DATA_DIR GOLDEN_DIR [--regen]

With --regen the pictures replace the ones in GOLDEN_DIR instead (scripts/regen-golden).
Every case draws from its own copy of DATA_DIR with --read-only, so nothing is written
into the repository. The tool's failures are checked too: a bad option, an unknown fund
and a picture that cannot be drawn exit with their statuses and leave no file behind.
"""

import os
import shutil
import subprocess
import sys
import tempfile

# name, options (the data directory is added at the end).
CASES = [
    ("graph-ma-signals", ["--graph", "MSFT", "--ma", "--zoom", "0"]),
    ("graph-macd-rsi", ["--graph", "IBM", "--macd", "--rsi", "--zoom", "0"]),
    ("graph-bollinger-distributions",
     ["--graph", "INCOME", "--bollinger", "--distributions", "--zoom", "0", "--linear"]),
    ("overlaid-three",
     ["--overlaid", "--graph", "SPI", "--graph", "SBI", "--graph", "LPP60", "--zoom", "0"]),
    ("search-map", ["--graph", "IBM", "--search-map", "--size", "900x600"]),
    ("fund-list-ytd", ["--fund-list", "--chart", "1", "--size", "800x400"]),
    ("fund-list-signals", ["--fund-list", "--chart", "12", "--size", "800x400"]),
]

# The tool's failures: label, options, exit status; no picture may be left behind.
FAILURES = [
    ("bad size", ["--fund-list", "--size", "0x10"], 2),
    ("both page kinds", ["--fund-list", "--graph", "MSFT"], 2),
    ("two graphs uncombined", ["--graph", "MSFT", "--graph", "IBM"], 2),
    ("unknown fund", ["--graph", "NOSUCH"], 1),
    ("no room for the graph", ["--graph", "MSFT", "--size", "4x4"], 1),
    ("missing bitmaps (this folder has none)",
     ["--fund-list", "--resources", os.path.dirname(os.path.abspath(__file__))], 1),
]


def draw(report, data_dir, scratch, options, path):
    """Draws into path from a fresh copy of data_dir; gives the exit status and stderr."""
    data = shutil.copytree(data_dir, tempfile.mkdtemp(prefix="data-", dir=scratch),
                           dirs_exist_ok=True)
    run = subprocess.run([report, "--read-only", "--png", path] + options + [data],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    return run.returncode, run.stderr.decode("utf-8", "replace")


def main(argv):
    if len(argv) not in (5, 6) or argv[5:] not in ([], ["--regen"]):
        print(__doc__, file=sys.stderr)
        return 2
    report, pngdiff, data_dir, golden_dir = argv[1:5]
    regen = len(argv) == 6
    scratch = tempfile.mkdtemp(prefix="vantry-golden-")
    problems = []
    try:
        for name, options in CASES:
            golden, actual = (os.path.join(d, name + ".png") for d in (golden_dir, scratch))
            code, err = draw(report, data_dir, scratch, options, actual)
            if code != 0 or not os.path.exists(actual):
                problems.append("%s: vantry-report exited with %d\n%s" % (name, code, err))
            elif regen:
                shutil.copy(actual, golden)
                print("wrote %s" % golden)
            elif not os.path.exists(golden):
                problems.append("%s: no %s; scripts/regen-golden draws it" % (name, golden))
            else:
                diff = subprocess.run([pngdiff, actual, golden], stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT)
                kept = os.path.join(tempfile.gettempdir(), "vantry-golden-" + name + ".png")
                if diff.returncode != 0:
                    shutil.copy(actual, kept)
                    problems.append("%s: %s  (the new picture is kept at %s)"
                                    % (name, diff.stdout.decode().strip(), kept))
                else:
                    print("ok %s" % name)
        for label, options, status in [] if regen else FAILURES:
            path = os.path.join(scratch, label.replace(" ", "-") + ".png")
            code, err = draw(report, data_dir, scratch, options, path)
            if code != status:
                problems.append("%s: exit status %d, expected %d\n%s" % (label, code, status, err))
            if os.path.exists(path) or os.path.exists(path + ".tmp"):
                problems.append("%s: a picture was left at %s" % (label, path))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for p in problems:
        print("FAIL " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
