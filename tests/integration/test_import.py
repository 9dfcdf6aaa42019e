#!/usr/bin/env python3
"""vantry-report import end to end: the real series of tests/data/import imported and loaded
against the sample fund files made from them, vendor-style files written here (quotes, a
byte-order mark, CR LF, other column orders, null rows, newest-first dates, dividends and a
split) whose total return is worked out here, extending a fund file, and bad input.

Usage: test_import.py VANTRY_REPORT TESTS_DATA_DIR SAMPLES_DIR
"""
import datetime
import glob
import os
import re
import sys

from common import case, equal, funds, load, near, near_each, read, run, run_cases, temp_dir, true
from common import write as write_bytes

DATA, SAMPLES = sys.argv[2], sys.argv[3]


def write(path, text, newline="\n"):
    return write_bytes(path, text.replace("\n", newline))


def header_value(nav_path, key):
    return re.search(r"(?mi)^%s =(.*)$" % key, read(nav_path).decode("latin-1")).group(1).strip()


def points(fund):
    return [(p["date"], p["value"]) for p in fund["series"][0]["points"]]


@case
def real_series_match_the_sample_files():
    out = temp_dir()
    csvs = sorted(glob.glob(os.path.join(DATA, "import", "*.csv")))
    for csv in csvs:
        name = os.path.splitext(os.path.basename(csv))[0]
        sample = os.path.join(SAMPLES, name + ".NAV")
        run("import", "--weekly", "--name", header_value(sample, "NAME"),
            "--category", header_value(sample, "CATEGORY"), csv, os.path.join(out, name + ".NAV"))
    got = funds(load(out, "--read-only", "--file-steps", "--points"))
    expected = funds(load(SAMPLES, "--read-only", "--file-steps", "--points"))
    equal(len(got), len(csvs), "funds imported")
    for name, fund in got.items():
        equal([fund["name"], fund["category"], points(fund)],
              [expected[name]["name"], expected[name]["category"], points(expected[name])],
              name + ": name, category and points")


# One vendor's daily prices, 1 to 12 March 2021: every weekday, the 8th without a value.
DAYS = [datetime.date(2021, 3, d) for d in (1, 2, 3, 4, 5, 8, 9, 10, 11, 12)]
CLOSE = [10.0, 10.2, 10.1, 10.4, 10.5, None, 7.1, 7.2, 7.0, 7.3]
DIV_DAY, DIV, CG = datetime.date(2021, 3, 6), 0.25, 0.10   # a Saturday
SPLIT_DAY = datetime.date(2021, 3, 9)                       # 3 for 2


DATE_FORMS = {
    "iso": lambda d: d.isoformat(),
    "us": lambda d: d.strftime("%m/%d/%Y"),
    "vendor": lambda d: '"%s"' % d.strftime("%b %d, %Y"),
    "day-month": lambda d: d.strftime("%d-%b-%Y"),
}


def vendor_prices(path, form, bom, newline):
    """Newest first, the close in the third column and quoted, an adjusted close beside."""
    rows = ['"Adj Close",Volume,"Close","Date",Open']
    for day, close in reversed(list(zip(DAYS, CLOSE))):
        value = "null" if close is None else '"%.2f"' % close
        rows.append("%s,1000,%s,%s,%s" % ("null" if close is None else "%.2f" % (close * 0.9),
                                          value, DATE_FORMS[form](day), value))
    return write(path, ("\ufeff" if bom else "") + "\n".join(rows) + "\n", newline=newline)


@case
def vendor_files_with_distributions_and_a_split():
    # Date form, byte-order mark, line end: every variant must give the same fund.
    variants = [("iso", True, "\r\n"), ("us", False, "\n"), ("vendor", True, "\n"),
                ("day-month", False, "\r\n")]
    out = temp_dir()
    dividends = write(os.path.join(out, "div.csv"),
                      "Date,Dividends,Capital Gains\n2021-03-02,0,0\n%s,%.2f,%.2f\n"
                      % (DIV_DAY.isoformat(), DIV, CG))
    splits = write(os.path.join(out, "split.csv"),
                   "Date,Stock Splits\n%s,3:2\n" % SPLIT_DAY.isoformat(), newline="\r\n")
    data = temp_dir()
    for i, (form, bom, newline) in enumerate(variants):
        prices = vendor_prices(os.path.join(out, "p%d.csv" % i), form, bom, newline)
        run("import", "--name", "Vendor %s" % form, "--category", "growth", "--dividends",
            dividends, "--splits", splits, prices, os.path.join(data, "V%d.NAV" % i))
    doc = load(data, "--read-only", "--points")
    equal(doc["reports"], [], "reports")
    dates = [d.strftime("%m/%d/%y") for d, c in zip(DAYS, CLOSE) if c is not None]
    # The load's total return of one unit invested at the first point. The 9th is the
    # first point on or after the split and the distributions (the 8th has no price): the
    # split applies first, then the distributions are reinvested at its NAV.
    shares, values = 1 / CLOSE[0], []
    for day, nav in zip(DAYS, CLOSE):
        if day == SPLIT_DAY:
            shares *= 3 / 2 * (1 + (DIV + CG) / nav)
        if nav is not None:
            values.append(shares * nav)
    for i, (form, _, _) in enumerate(variants):
        fund = funds(doc)["V%d" % i]
        points = fund["series"][0]["points"]
        equal([fund["category"], [p["date"] for p in points]], [5, dates], form + " category, dates")
        near_each([p["value"] for p in points], values, form + " value", 1e-12)
        near(fund["distTotal"], DIV + CG, form + " distributions")
    text = read(os.path.join(data, "V0.NAV"))
    for line in (b"03/06/21 DIV = 0.25, LCG = 0.10\r\n", b"03/09/21 SPLIT 3 FOR 2\r\n"):
        true(line in text, "V0.NAV lacks %r" % line)


def month_csv(path, months):
    """Month-end prices of 2020 for the months given, as date,value."""
    rows = ["date,value"]
    for m in months:
        day = datetime.date(2020 + m // 12, m % 12 + 1, 1) - datetime.timedelta(days=1)
        rows.append("%s,%.4f" % (day.isoformat(), 10 + m / 8))
    return write(path, "\n".join(rows) + "\n")


@case
def extending_keeps_old_bytes_and_adds_each_date_once():
    out = temp_dir()
    nav = os.path.join(out, "EXT.NAV")
    run("import", "--name", "Extended", month_csv(os.path.join(out, "a.csv"), range(1, 7)), nav)
    for name, months in (("b.csv", range(4, 10)), ("c.csv", range(8, 13))):
        before = read(nav)
        run("import", month_csv(os.path.join(out, name), months), nav)
        after = read(nav)
        equal(after[:len(before)], before, "old bytes after " + name)
    dates = [line.split(b" ")[0] for line in after.split(b"\r\n") if line[:1].isdigit()]
    equal((len(dates), len(set(dates))), (12, 12), "lines and dates: one a month, none twice")
    # Nothing new: exit status 0 and no write.
    run("import", month_csv(os.path.join(out, "d.csv"), range(3, 12)), nav)
    equal(read(nav), after, "file after an import with nothing new")


@case
def an_overlap_that_disagrees_writes_nothing():
    out = temp_dir()
    nav = write_bytes(os.path.join(out, "OLD.NAV"), "NAME = Old\r\n01/31/20 = 10.12\r\n02/28/20 = 10.5\r\n")
    # The file's two decimals round the CSV's four: 10.1249 agrees, 10.1260 does not.
    for close, agrees in ((10.1249, True), (10.1151, True), (10.126, False),
                          (10.114, False)):
        csv = write(os.path.join(out, "o.csv"),
                    "date,value\n2020-01-31,%.4f\n2020-02-28,10.5\n2020-03-31,11\n" % close)
        before = read(nav)
        p = run("import", csv, nav, check=False)
        equal((p.returncode, read(nav)), (0, before + b"03/31/20 = 11.00\r\n") if agrees
              else (1, before), "exit and file after %.4f" % close)
        write_bytes(nav, before)
        true(agrees or csv + "(2): close" in p.stderr.decode(),
             "no line-numbered report: %r" % p.stderr)


@case
def bad_lines_are_reported_and_left_out():
    out = temp_dir()
    csv = write(os.path.join(out, "bad.csv"),
                "Date,Close\n2020-01-31,10\n2020-13-01,11\n1959-12-31,9\n2060-01-04,9\n"
                "2020-02-28,abc\n2020-03-31,0\n2020-04-30,12\n2020-04-30,13\n2020-05-29,\"1,012.5\"\n"
                "\"2020-06-30,14\n")
    err = run("import", csv, os.path.join(out, "BAD.NAV")).stderr.decode()
    for line, text in ((3, "not a date"), (4, "date outside 1960-2059"),
                       (5, "date outside 1960-2059"), (6, "not a number"),
                       (7, "a price of 0"), (9, "a second value"),
                       (11, "quoted field without its closing quote")):
        true("%s(%d): %s" % (csv, line, text) in err, "no report of line %d (%s): %r" % (line, text, err))
    doc = load(out, "--read-only", "--file-steps", "--points")
    # The points as read come newest first.
    equal(points(funds(doc)["BAD"]), [("05/29/20", 1012.5), ("04/30/20", 12.0),
                                      ("01/31/20", 10.0)], "points kept")


@case
def failures_write_nothing():
    out = temp_dir()
    good = month_csv(os.path.join(out, "good.csv"), range(1, 4))
    empty = write(os.path.join(out, "empty.csv"), "Date,Close\n2020-01-31,null\n")
    adjusted = write(os.path.join(out, "adj.csv"), "Date,Adj Close\n2020-01-31,10\n")
    existing = write(os.path.join(out, "KEEP.NAV"), "NAME = Keep\r\n01/31/19 = 5.00\r\n")
    cases = [
        ([os.path.join(out, "missing.csv"), "NEW.NAV"], "Can't open"),
        ([empty, "NEW.NAV"], "no prices"),
        ([adjusted, "NEW.NAV"], "no close column"),
        (["--close-column", "Adj Close", adjusted, "NEW.NAV"], "adjusted close"),
        (["--category", "Bonds", good, "NEW.NAV"], "Unknown category"),
        ([good, "NEW.TXT"], "ends in .NAV"),
        (["--dividends", os.path.join(out, "none.csv"), good, "KEEP.NAV"], "Can't open"),
        (["--splits", write(os.path.join(out, "s.csv"), "Date,Stock Splits\n2020-02-03,2:0\n"),
          good, "KEEP.NAV"], "not a split ratio"),
    ]
    for args, message in cases:
        args = args[:-1] + [os.path.join(out, args[-1])]
        p = run("import", *args, check=False)
        true(message in p.stderr.decode(), "%s: no %r in %r" % (args, message, p.stderr))
        if message == "not a split ratio":
            continue   # a bad line: reported, left out, the rest written
        equal((p.returncode, os.path.exists(os.path.join(out, "NEW.NAV")), read(existing)),
              (1, False, b"NAME = Keep\r\n01/31/19 = 5.00\r\n"),
              "exit, NEW.NAV and KEEP.NAV after %s" % args)
    equal(glob.glob(os.path.join(out, "*.tmp")), [], "temporary files left")


if __name__ == "__main__":
    sys.exit(run_cases())
