#!/usr/bin/env python3
"""The whole load, end to end, through vantry-report: figures of hand-built funds checked
against values worked out here in plain arithmetic (not against the program's own output),
the second load from the opt cache, damaged side files, the view overrides, and the sample
data directory.

Usage: test_analysis.py VANTRY_REPORT TESTS_DATA_DIR SAMPLES_DIR
"""
import csv
import itertools
import json
import math
import os
import re
import shutil
import statistics
import subprocess
import sys

import common
from common import (case, copy_tree, equal, fund, load, near, near_each, read, run,
                    run_cases, snapshot, temp_dir, true, write)

DATA, SAMPLES = sys.argv[2], sys.argv[3]


def searches(directory):
    """How many series a load of directory searched (the tool says so on stderr); the load
    must report nothing."""
    p = run("--json", directory)
    equal(json.loads(p.stdout)["reports"], [], "reports of a load of " + directory)
    found = re.search(r"^\S+ (\d+) series searched$", p.stderr.decode(), re.M)
    true(found, "no search count on stderr: %r" % p.stderr)
    return int(found.group(1))


def copy_data(name):
    return copy_tree(os.path.join(DATA, name))


# --- The arithmetic, in this test's own words --------------------------------------------

def percent_change(a, b):
    return (b - a) / a * 100


def compound(value, rate, periods):
    """Yearly compounding for whole years (60 periods), simple interest for the rest."""
    years, rest = divmod(periods, 60)
    value *= (1 + rate / 100) ** years
    return value * (1 + rate / 100 * rest / 60)


def yearly_rate(start, end, periods):
    """The rate that compounds start into end; a plain change up to one year."""
    if periods < 61:
        return percent_change(start, end)
    lo, hi = -99.999999, 10000.0
    for _ in range(200):
        mid = (lo + hi) / 2
        if compound(start, mid, periods) < end:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def period(month, day, year):
    """60 to a year, 5 to a month, the day's week slot (days 29-31 share the fifth)."""
    code = year - 1960
    return code * 60 + (month - 1) * 5 + min((day - 1) // 7, 4)


def quarterly_deviation(values):
    """The population deviation of EQ's quarterly samples: Jan->Apr, Apr->Jul, Jul->Oct
    1999, Oct 1999->Jan 2000."""
    return statistics.pstdev(percent_change(values[a], values[b])
                             for a, b in ((1, 2), (2, 3), (3, 4), (4, 6)))


# EQ.NAV as a table: date, NAV. A 0.50 distribution on 5/10/99 is reinvested at the next
# NAV (10.50 on 7/5/99); the 2-for-1 split on 8/2/99 doubles the shares from 10/4/99 on.
EQ_DATES = [(12, 28, 1998), (1, 4, 1999), (4, 5, 1999), (7, 5, 1999), (10, 4, 1999),
            (12, 27, 1999), (1, 3, 2000), (6, 26, 2000)]
EQ_NAV = [10.0, 10.0, 11.0, 10.5, 5.5, 6.0, 6.0, 6.6]
IDX_NAV = [100, 100, 105, 105, 110, 110, 110, 121]


# One unit invested: 0.1 shares, each earning 0.5 / 10.50 of a share on 7/5/99, then
# doubled by the split from 10/4/99 on.
REINVESTED = 0.1 * (1 + 0.5 / 10.5)
EQ_VALUES = [n * nav for n, nav in zip([0.1] * 3 + [REINVESTED] + [2 * REINVESTED] * 4, EQ_NAV)]
EQ_PERIODS = [period(*d) for d in EQ_DATES]


@case
def eq_values_figures_and_relative_series():
    eq = fund(load(copy_data("analysis"), "--points", "--read-only"), "EQ")
    s, rel = eq["series"]
    equal(s["points"][0]["date"], "12/28/98", "first date")
    near_each([p["value"] for p in s["points"]], EQ_VALUES, "EQ value", 1e-12)
    near_each([p["change"] for p in s["points"]],
              [0.0] + [percent_change(a, b) for a, b in zip(EQ_VALUES, EQ_VALUES[1:])],
              "EQ change", 1e-12)
    near(eq["distTotal"], 0.5, "distTotal")
    equal([eq[k] for k in ("category", "indexName", "recentStart", "recentStartShort")],
          [5, "IDX", 0, 0], "category Growth, index fund and recent boundary")
    volatility, whole = quarterly_deviation(EQ_VALUES), EQ_PERIODS[7] - EQ_PERIODS[0]
    # One year back from 6/26/00 (period 2428): the first point at or before period 2368
    # is 4/5/99 (2355).
    one_year = yearly_rate(EQ_VALUES[2], EQ_VALUES[7], EQ_PERIODS[7] - EQ_PERIODS[2])
    for key, value in (("volatility", volatility), ("return1Year", one_year),
                       ("totalReturn", yearly_rate(EQ_VALUES[0], EQ_VALUES[7], whole)),
                       ("rewardRisk", one_year / volatility)):
        near(s[key], value, key)
    years = {y["year"]: y for y in s["yearReturns"]}
    equal(sorted(years), [1998, 1999, 2000], "years")
    equal([years[y]["valid"] for y in (1998, 1999)], [False, True], "1998 (one point), 1999 valid")
    near(years[1999]["percent"], percent_change(EQ_VALUES[0], EQ_VALUES[5]), "1999")
    near(years[2000]["percent"], percent_change(EQ_VALUES[5], EQ_VALUES[7]), "2000")
    near(s["ytdReturn"], years[2000]["percent"], "ytd")

    # The relative series of EQ against its index fund IDX.
    changes = [0.0] + [percent_change(EQ_VALUES[i - 1], EQ_VALUES[i]) -
                       percent_change(IDX_NAV[i - 1], IDX_NAV[i]) for i in range(1, 8)]
    values = list(itertools.accumulate(changes[1:], lambda v, c: v * (1 + c / 100), initial=1.0))
    near_each([p["change"] for p in rel["points"]], changes, "relative change", 1e-12)
    near_each([p["value"] for p in rel["points"]], values, "relative value", 1e-12)
    total = yearly_rate(values[0], values[-1], whole)
    near(rel["totalReturn"], total, "relative total return")
    # The relative series is an excess return already: no risk-free rate is taken off.
    near(rel["sharpe"], total / quarterly_deviation(values), "relative sharpe")


@case
def ranking_view_overrides_and_the_settings_file():
    directory = copy_data("analysis")
    by_total = ("--read-only", "--chart", "4", "--category-sort", "0")
    # Without the chart override the ranking would follow another figure.
    doc = load(directory, *by_total)
    expected = [f["shortName"] for f in doc["funds"]]
    equal(expected, [f["shortName"] for f in sorted(
        doc["funds"], key=lambda f: -f["series"][0]["totalReturn"])], "ranked by total return")
    # The benchmark view reaches the view state the ranking follows.
    equal(load(directory, "--read-only", "--benchmark")["view"]["ShowBenchmark"], 1, "benchmark")
    # The table mode lists the same order and fits 80 columns.
    table = run(*by_total, directory).stdout.decode()
    rows = [line.split()[0] for line in table.splitlines()[1:4]]
    equal(rows, expected, "table order")
    equal([line for line in table.splitlines() if len(line) > 80], [], "lines wider than 80 columns")
    # A SETTINGS file sets the view: zoom 0, linear 1, MA 0, Bollinger 1, dists 0, category
    # sort 0, chart 14, ...
    flags = bytes([0, 1, 0, 1, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0])
    write(os.path.join(directory, "SETTINGS"), flags + b"C:\\unzip.exe IDX")
    view = load(directory, "--read-only")["view"]
    equal([view[k] for k in ("ZoomOn", "LinearScale", "ShowMovingAverage", "ShowBollinger",
                             "CategorySort", "ChartKind", "DefaultBenchmark")],
          [0, 1, 0, 1, 0, 14, "IDX"], "view from SETTINGS")


@case
def damaged_side_files_warn_and_the_load_goes_on():
    directory = copy_data("analysis")
    for name, data in (("PRTFOLIO", b"\x03\x00EQ\r\nNOSUCH\r\n"),
                       ("SETTINGS", bytes([1, 0, 1, 0, 0, 1, 27])),
                       ("Index", "EQ=IDX\nBROKEN LINE\nBND=GONE\n"), ("opt", b"= 1 2\r\n")):
        write(os.path.join(directory, name), data)
    doc = load(directory, "--read-only")
    d = directory + "/"
    equal([r["text"] for r in doc["reports"]], [
        "Warning: %sopt(1): unexpected token: EQUALS" % d,
        "Warning: %sopt(1): unexpected token: EQUALS" % d,
        "Warning: %sPRTFOLIO: Premature end of file." % d,
        "Warning: Portfolio fund(s) not found: NOSUCH.",
        "Warning: %sSETTINGS(1): Syntax error, \"illegal byte value\"." % d,
        "Warning: %sIndex(2): Syntax error: BROKEN LINE\n" % d,
        "Warning: Can't find index GONE for fund BND."], "side-file warnings")
    equal(len(doc["funds"]), 3, "all funds loaded")


@case
def second_load_restores_from_the_cache():
    directory = copy_data("analysis")
    first = run("--json", directory).stdout
    opt = os.path.join(directory, "opt")
    saved, stamp = read(opt), os.stat(opt).st_mtime_ns
    true(run("--json", directory).stdout == first, "the second load's document differs")
    equal(searches(directory), 0, "searches on a later load")
    equal((os.stat(opt).st_mtime_ns, read(opt)), (stamp, saved), "opt's time and content")
    # A changed file is searched again, and only that fund (BND has no index fund, so
    # its one search serves both series); a file of megabytes is cached as any other.
    write(os.path.join(directory, "BND.NAV"), "; padding\n" * 120000 + "12/25/00 = 14.00\n", "a")
    equal(searches(directory), 1, "searches after changing BND")
    equal(searches(directory), 0, "searches after that")
    # A fresh directory searches both series of EQ and series 0 of the others.
    equal(searches(copy_data("analysis")), 4, "searches of a first load")


@case
def an_index_fund_assigned_later_gets_its_own_search():
    directory = copy_data("analysis")
    os.remove(os.path.join(directory, "Index"))
    equal(searches(directory), 3, "searches without an index file")
    write(os.path.join(directory, "Index"), "EQ=IDX\n")
    # Series 1 of EQ held series 0's settings: they are no saved relative values.
    equal(searches(directory), 1, "searches once EQ has its index fund")
    later = fund(load(directory, "--read-only"), "EQ")["series"][1]
    fresh = fund(load(copy_data("analysis"), "--read-only"), "EQ")["series"][1]
    equal(later, fresh, "EQ's relative series after the late assignment")


@case
def the_cache_stays_stable_with_shared_and_odd_names():
    directory = copy_data("analysis")
    # Two files with one short name, and names the cache's reader could not take back.
    for name in ("BND.OLD.NAV", "A B.NAV", "12345.NAV"):
        shutil.copy(os.path.join(directory, "BND.NAV"), os.path.join(directory, name))
    sizes = []
    for _ in range(3):
        equal(load(directory)["reports"], [], "reports")
        lines = read(os.path.join(directory, "opt")).split(b"\r\n")
        sizes.append(len(lines))
        names = [line.split(b" ")[0] for line in lines if line]
        true(not {b"A", b"12345"} & set(names), "an unreadable name was cached: %r" % names)
    equal(sizes[1:], sizes[:1] * 2, "opt lines over three loads")


@case
def read_only_writes_nothing_whatever_is_drawn_or_listed():
    # Drawing a page applies the default benchmark rule and assigns the default index
    # fund (SETTINGS, Index), a load saves the cache: none of it with --read-only.
    directory = copy_tree(SAMPLES)
    before = snapshot(directory)
    picture = os.path.join(temp_dir(), "page.png")
    drawn = ["--png", picture, "--resources", os.path.join(os.path.dirname(SAMPLES), "resources")]
    for options in (["--json", "--points"], ["--chart", "14", "--group", "1"],
                    drawn + ["--fund-list", "--chart", "3", "--group", "1"],
                    drawn + ["--graph", "AAPL", "--benchmark", "--macd", "--rsi"],
                    drawn + ["--graph", "CRSPVWX", "--search-map"],
                    drawn + ["--graph", "SP500M", "--graph", "GOLD", "--combined",
                             "--benchmark", "--distributions"],
                    drawn + ["--graph", "NASDAQ", "--graph", "LPP40", "--overlaid",
                             "--benchmark", "--linear", "--zoom", "0"]):
        run("--read-only", *options, directory)
        equal(sorted({n for n, _ in snapshot(directory).items() ^ before.items()}), [],
              "files changed by --read-only %s" % " ".join(options))
    load(directory)
    equal(sorted(os.listdir(directory)), sorted(list(before) + ["opt"]), "files after a load")


# --- The analyst's figures (docs/statistics.md), worked out here --------------------------

@case
def drawdown_and_ranks_of_hand_made_funds():
    directory = temp_dir()
    # Two Growth funds that fall 50 %: BACK recovers, DOWN stays down.
    for short, values in (("BACK", [10, 5, 10, 12]), ("DOWN", [10, 8, 5, 6])):
        lines = ["%s = %d" % p for p in zip(("01/31/01", "02/28/01", "03/31/01", "04/30/01"), values)]
        write(os.path.join(directory, short + ".NAV"),
              "\n".join(["NAME=" + short, "CATEGORY=Growth"] + lines) + "\n")
    doc = load(directory, "--read-only")
    equal(doc["reports"], [], "reports")

    back = fund(doc, "BACK")["series"][0]["analyst"]
    equal([back["maxDrawdown"], back["drawdownPeak"], back["drawdownTrough"],
           back["drawdownRecovery"]], [-50.0, "01/31/01", "02/28/01", "03/31/01"], "BACK")
    near(back["drawdownWeeks"], 59 / 7, "BACK weeks")
    gone = fund(doc, "DOWN")["series"][0]["analyst"]
    equal([gone["maxDrawdown"], gone["drawdownTrough"], gone["drawdownRecovery"]],
          [-50.0, "03/31/01", None], "DOWN")
    near(gone["drawdownWeeks"], 89 / 7, "DOWN weeks to the last point")
    near(gone["currentDrawdown"], -40.0, "DOWN now")
    # Two funds of a category: one ranks 1, the other 51; a tie shares the better rank.
    ranks = [fund(doc, n)["series"][0]["analyst"]["percentileRanks"] for n in ("BACK", "DOWN")]
    equal([r["Total Return"] for r in ranks], [1, 51], "Total Return ranks")
    equal([r["Max Drawdown"] for r in ranks], [1, 1], "tied Max Drawdown ranks")


def calendar_year(yy):
    """The year of a two-digit year of the data files (1960-2059)."""
    return 1900 + yy if yy >= 60 else 2000 + yy


def matching_lines(path, pattern):
    """The matches of pattern at the starts of the lines of a text file, in file order."""
    with open(path) as f:
        return [m for m in (re.match(pattern, line) for line in f) if m]


def monthly_risk_free(rates, year):
    return (1 + rates.get(year, 3.0) / 100) ** (1 / 12) - 1


def nav_month_ends(path):
    """(year, month) -> the NAV of the month's last line, from a fund file of plain NAVs."""
    return {(calendar_year(int(m.group(3))), int(m.group(1))): float(m.group(4))
            for m in matching_lines(path, r"(\d\d)/(\d\d)/(\d\d) = ([\d.]+)")}


def monthly(ends):
    keys = sorted(ends)
    return {k: ends[k] / ends[p] - 1 for p, k in zip(keys, keys[1:])
            if k[0] * 12 + k[1] == p[0] * 12 + p[1] + 1}


@case
def sp500_against_nasdaq_as_worked_out_here():
    directory = copy_tree(SAMPLES)
    write(os.path.join(directory, "Index"), "SP500M=NASDAQ\n", "a")
    csv_path = os.path.join(temp_dir(), "statistics.csv")
    doc = load(directory, "--read-only", "--csv", csv_path)
    sp = fund(doc, "SP500M")
    rates = {calendar_year(int(m.group(1)) % 100): float(m.group(2))  # yearly, by year
             for m in matching_lines(os.path.join(directory, "RISKFREE"), r"(\d+)=(\d+(?:\.\d)?)")}
    fund_ends = nav_month_ends(os.path.join(directory, "SP500M.NAV"))
    index_ends = nav_month_ends(os.path.join(directory, "NASDAQ.NAV"))
    fr, ir = monthly(fund_ends), monthly(index_ends)
    months = sorted(set(fr) & set(ir))
    excess = {m: fr[m] - monthly_risk_free(rates, m[0]) for m in fr}
    x = [excess[m] for m in months]
    y = [ir[m] - monthly_risk_free(rates, m[0]) for m in months]
    mx, my = statistics.fmean(x), statistics.fmean(y)
    beta = statistics.covariance(x, y) / statistics.variance(y)
    # Tracking error (a year) and information ratio of the monthly differences.
    d = [fr[m] - ir[m] for m in months]
    te = statistics.stdev(d) * math.sqrt(12)

    def capture(up):
        """Up or down capture: the ratio of the geometric means over those months."""
        chosen = [m for m in months if (ir[m] > 0 if up else ir[m] < 0)]
        mean = lambda r: math.prod(1 + r[m] for m in chosen) ** (1 / len(chosen)) - 1
        return mean(fr) / mean(ir) * 100
    expected = {
        "benchmarkMonths": len(months), "beta": beta,
        "alpha": ((1 + mx - beta * my) ** 12 - 1) * 100,
        "rSquared": statistics.correlation(x, y) ** 2 * 100, "trackingError": te * 100,
        "informationRatio": statistics.fmean(d) * 12 / te,
        "upCapture": capture(True), "downCapture": capture(False),
    }
    for key, value in expected.items():
        near(sp["analyst"][key], value, "SP500M " + key, 1e-9)
    equal(fund(doc, "NASDAQ")["analyst"]["benchmarkMonths"], 0, "an index fund without one")

    own = sp["series"][0]["analyst"]
    excess = list(excess.values())
    downside = math.sqrt(sum(min(0, e) ** 2 for e in excess) / len(excess))
    vol = statistics.stdev(fr.values())
    for key, value in (("monthlyVolatility", vol * math.sqrt(12) * 100),
                       ("downsideDeviation", downside * math.sqrt(12) * 100),
                       ("sortino", sum(excess) / len(excess) * 12 / (downside * math.sqrt(12)))):
        near(own[key], value, "SP500M " + key)
    windows = sorted(((fund_ends[(y + 3, m)] / fund_ends[(y, m)]) ** (12 / 36) - 1) * 100
                     for (y, m) in fund_ends if (y + 3, m) in fund_ends)
    three = own["rolling"][1]
    equal(three["count"], len(windows), "3-year windows")
    near(three["worst"], windows[0], "worst 3-year return")
    near(three["best"], windows[-1], "best 3-year return")

    # The CSV export: a row per fund and series in the list's order, every figure.
    with open(csv_path, newline="") as f:
        rows = list(csv.DictReader(f))
    equal([(r["shortName"], r["series"]) for r in rows],
          [(f["shortName"], s) for f in doc["funds"] for s in ("0", "1")], "CSV rows")
    row = rows[2 * doc["funds"].index(sp)]
    near(float(row["beta"]), sp["analyst"]["beta"], "CSV beta", 0)
    mm, dd, yy = own["drawdownPeak"].split("/")
    equal(row["drawdownPeak"], "%d-%s-%s" % (calendar_year(int(yy)), mm, dd), "CSV drawdown peak")


@case
def a_progress_bar_only_on_a_terminal():
    import pty
    directory = copy_data("analysis")
    master, slave = pty.openpty()
    p = subprocess.Popen([common.TOOL, "--read-only", directory], stdout=subprocess.DEVNULL,
                         stderr=slave)
    os.close(slave)
    p.wait(timeout=120)
    seen = b""
    try:  # the terminal reads as ended (EOF or EIO) once the tool has closed its side
        while chunk := os.read(master, 65536):
            seen += chunk
    except OSError:
        pass
    os.close(master)
    equal(p.returncode, 0, "exit status on a terminal")
    for piece in (b"\r[", b"%", b"Normalize and Optimize data"):
        true(piece in seen, "no %r in the terminal's output: %r" % (piece, seen[:200]))
    # Not a terminal: no bar at all.
    err = run("--read-only", directory).stderr
    true(b"\r[" not in err and b"%" not in err, "a progress bar on a pipe: %r" % err[:200])


@case
def thread_counts_give_the_same_load():
    # Every analysed field of every fund of the samples, both series, every point, and the
    # messages, with one thread or several. (Bad files' messages on several threads are
    # the load worker units', the fast grid against the straightforward one their grid
    # differential.)
    directory = copy_tree(SAMPLES)
    first = run("--json", "--points", "--read-only", directory)
    for n in ("1", "2", "3"):
        p = run("--json", "--points", "--read-only", "--threads", n, directory)
        true(p.stdout == first.stdout, "%s threads give another document" % n)
        equal(p.stderr, first.stderr, "messages with %s threads" % n)


@case
def validation_alike_on_any_thread_count_and_cached():
    directory = temp_dir()
    for name in ("HD.NAV", "MSCIWLD.NAV", "FCEL.NAV", "MONEYMKT", "RISKFREE"):
        shutil.copy(os.path.join(SAMPLES, name), directory)

    def figures(*options):
        doc = load(directory, *options)
        return {f["shortName"]: f["series"][0]["analyst"]["validation"] for f in doc["funds"]}

    equal(set(figures("--read-only").values()), {None}, "no figures before the first job")
    csv_path = os.path.join(directory, "statistics.csv")
    one = figures("--validate", "--threads", "1", "--csv", csv_path)
    equal(figures("--validate", "--threads", "2", "--read-only"), one, "two threads against one")
    keys = {"walkYears", "walkForward", "buyAndHold", "inSample", "cscv", "strategies", "pbo",
            "sharpe", "expectedMaxSharpe", "deflatedSharpe"}
    for name, v in one.items():
        equal(set(v), keys, name + "'s keys")
        true(0 <= v["pbo"] <= 1 and 0 <= v["deflatedSharpe"] <= 1 and v["walkYears"] > 0,
             "%s: figures out of range: %r" % (name, v))
    equal((one["HD"]["cscv"], one["FCEL"]["cscv"]), (True, False), "PBO needs 65 trial points")
    with open(csv_path, newline="") as f:
        rows = {(r["shortName"], r["series"]): r for r in csv.DictReader(f)}
    equal(float(rows[("HD", "0")]["pbo"]), one["HD"]["pbo"], "the CSV's pbo")
    equal(rows[("FCEL", "0")]["pbo"], "", "no PBO in the CSV without one")
    equal(figures(), one, "a second load restores every figure from the cache")


@case
def the_samples_load_cleanly_and_their_search_maps_agree_with_the_kept_thresholds():
    doc = load(copy_tree(SAMPLES), "--read-only")
    equal([r for r in doc["reports"] if r["kind"] != "Info"], [], "reports of samples/")
    equal(len(doc["funds"]), len([n for n in os.listdir(SAMPLES) if n.upper().endswith(".NAV")]),
          "every sample fund loaded")
    # The search maps (docs/statistics.md): per series the chosen kind's trial grid, its
    # evaluation grid when there is an evaluation period, and the other kinds' grids; each
    # kind's kept thresholds are the best cell of its own grid.
    labels = {1: "uma", 2: "wma", 3: "ema", 4: "ama", 5: "vidya"}
    for f in doc["funds"]:
        for s in f["series"]:
            m, what = s["analyst"]["searchMap"], f["shortName"]
            equal(m["kind"], s["maKind"], what + " map kind")
            equal(m["evaluation"] is None, f["recentStart"] == 0, what + " evaluation map")
            kinds = {k: v for k, v in m["otherKinds"].items() if v is not None}
            kinds[labels[m["kind"]].upper()] = m
            for label, k in kinds.items():
                name = label.lower()
                first = s[name + ("Percent" if name == "ema" else "Length")]
                equal((k["parameter"], k["chosen"]), (first, [s[name + "Buy"], s[name + "Sell"]]),
                      "%s %s parameters" % (what, label))
                grid = k["trial"]
                equal([len(grid)] + sorted({len(row) for row in grid}), [11, 11], what + " shape")
                b, c = k["chosen"]
                true(grid[b][c] >= max(max(row) for row in grid),
                     "%s %s: the chosen cell is not the best" % (what, label))
            r = m["robustness"]
            equal(m["fragile"], r is not None and r < 0.5, what + " fragile")


if __name__ == "__main__":
    sys.exit(run_cases())
