#!/usr/bin/env python3
# Generates a large synthetic data directory (fund files, Index, MONEYMKT, RISKFREE) from a seed.
"""Writes a data directory of synthetic funds for the load benchmark.

Every fund is a geometric random walk on a shared calendar (Fridays for weekly data,
Monday to Friday for daily data). A market factor drives every fund through a
per-category correlation, so that the index funds track the market and the funds
assigned to them have a meaningful relative series. Funds pay distributions (dividends
and, for the equity categories, a year-end capital gain), which lower the NAV by the
amount paid, and split now and then, which divides the NAV by the split ratio.

The same arguments and seed give the same directory, byte for byte.

The program keeps at most 16384 distinct dates over all files of a directory (later
dates are dropped with an overflow message), and two-digit years limit dates to
1960-2059. The generator checks both before writing anything: weekly data fits any
span of those hundred years, daily data (about 261 dates a year) at most 62 years.
"""

import argparse
import datetime
import math
import os
import random
import sys

DATE_LIMIT = 16384
FIRST_YEAR = 1960
LAST_YEAR = 2059

# name, annual drift, annual volatility, correlation with the market, distributions a
# year, dividend yield (percent a year), pays a year-end capital gain, short name prefix
CATEGORIES = [
    ("Max Growth",      0.11, 0.28, 0.80,  1, 0.3, True,  "MG"),
    ("SmallCap",        0.10, 0.24, 0.80,  1, 0.6, True,  "SC"),
    ("Global Equity",   0.08, 0.18, 0.75,  2, 1.5, True,  "GE"),
    ("MidCap",          0.10, 0.20, 0.85,  1, 0.8, True,  "MC"),
    ("Growth",          0.09, 0.18, 0.90,  1, 0.8, True,  "GR"),
    ("Growth & Income", 0.08, 0.15, 0.92,  4, 1.8, True,  "GI"),
    ("Equity Income",   0.07, 0.13, 0.85,  4, 3.0, True,  "EI"),
    ("Balanced Equity", 0.065, 0.11, 0.80, 4, 2.5, True,  "BE"),
    ("Balanced Bond",   0.055, 0.08, 0.55, 12, 3.5, False, "BB"),
    ("Bond",            0.045, 0.05, 0.10, 12, 5.0, False, "BD"),
    ("Gold",            0.04, 0.30, 0.20,  1, 0.5, False, "AU"),
    ("Sector",          0.09, 0.25, 0.70,  1, 0.5, True,  "SE"),
    ("Other",           0.06, 0.15, 0.50,  2, 1.0, False, "OT"),
]
INDEX_CATEGORY = ("Index", 0.08, 0.16, 0.97, 4, 1.6, False, "IX")

SPLITS = [(2, 1), (3, 1), (3, 2), (4, 1), (5, 4)]


def parse_args(argv):
    p = argparse.ArgumentParser(description="Generate a synthetic data directory.")
    p.add_argument("outdir", help="directory to create (must be empty or absent)")
    p.add_argument("--funds", type=int, default=200, help="number of fund files (200)")
    p.add_argument("--years", type=int, default=25, help="years of history (25)")
    p.add_argument("--end-year", type=int, default=2004,
                   help="calendar year of the last point (2004)")
    p.add_argument("--daily", action="store_true",
                   help="daily points, Monday to Friday (default: weekly, Fridays)")
    p.add_argument("--seed", type=int, default=1, help="random seed (1)")
    p.add_argument("--index-share", type=float, default=0.1,
                   help="share of the funds that are index funds (0.1)")
    p.add_argument("--assigned-share", type=float, default=0.6,
                   help="share of the other funds given an index fund in Index (0.6)")
    p.add_argument("--late-share", type=float, default=0.3,
                   help="share of the other funds that start after the first year (0.3)")
    p.add_argument("--dists-per-year", type=int, default=0,
                   help="distributions a year for every fund (default: by category)")
    p.add_argument("--yield-scale", type=float, default=1.0,
                   help="factor on every category's dividend yield (1.0)")
    p.add_argument("--gain-share", type=float, default=0.5,
                   help="probability that an equity fund pays a year-end gain (0.5)")
    p.add_argument("--split-prob", type=float, default=0.02,
                   help="probability of a split per fund and year (0.02)")
    p.add_argument("--missing-prob", type=float, default=0.0,
                   help="probability that a NAV line has no value (0)")
    p.add_argument("--newest-first", action="store_true",
                   help="list each file's dates newest first (default oldest first)")
    p.add_argument("--lf", action="store_true", help="LF line ends (default CR LF)")
    a = p.parse_args(argv)
    if a.funds < 1 or a.funds > 99999:
        p.error("--funds must be 1 to 99999")
    if a.years < 1:
        p.error("--years must be at least 1")
    first = a.end_year - a.years + 1
    if first < FIRST_YEAR or a.end_year > LAST_YEAR:
        p.error("the dates must lie within %d-%d (asked for %d-%d)"
                % (FIRST_YEAR, LAST_YEAR, first, a.end_year))
    for name in ("index_share", "assigned_share", "late_share", "gain_share",
                 "split_prob", "missing_prob"):
        v = getattr(a, name)
        if not 0.0 <= v <= 1.0:
            p.error("--%s must be 0 to 1" % name.replace("_", "-"))
    if a.dists_per_year < 0 or a.dists_per_year > (260 if a.daily else 52):
        p.error("--dists-per-year is more than there are points in a year")
    return a


def calendar(first_year, last_year, daily):
    """Every trading date of the span: Fridays, or Monday to Friday."""
    day = datetime.date(first_year, 1, 1)
    end = datetime.date(last_year, 12, 31)
    if not daily:
        day += datetime.timedelta(days=(4 - day.weekday()) % 7)
    dates = []
    while day <= end:
        if daily:
            if day.weekday() < 5:
                dates.append(day)
            day += datetime.timedelta(days=1)
        else:
            dates.append(day)
            day += datetime.timedelta(days=7)
    return dates


def date_text(d):
    return "%02d/%02d/%02d" % (d.month, d.day, d.year % 100)


def nav_text(value, decimals):
    return "%.*f" % (decimals, value)


def amount_text(value):
    """A distribution amount: 1 to 4 integer digits (or none) and four decimals; the
    format allows no more, so an amount is capped at 9999.9999."""
    units = min(int(round(value * 10000)), 99999999)
    whole, frac = divmod(units, 10000)
    return ("%d.%04d" % (whole, frac)) if whole else (".%04d" % frac)


def market_shocks(rng, count):
    return [rng.gauss(0.0, 1.0) for _ in range(count)]


def plan_funds(rng, args):
    """Short names, categories and start years; the index funds come first."""
    index_count = int(round(args.funds * args.index_share))
    if args.funds > 1 and args.index_share > 0 and index_count == 0:
        index_count = 1
    first_year = args.end_year - args.years + 1
    funds = []
    for k in range(index_count):
        funds.append({"short": "IX%04d" % (k + 1), "cat": INDEX_CATEGORY,
                      "start": first_year})
    for k in range(args.funds - index_count):
        cat = CATEGORIES[rng.randrange(len(CATEGORIES))]
        start = first_year
        if args.years > 2 and rng.random() < args.late_share:
            start = rng.randint(first_year + 1, args.end_year - 2)
        funds.append({"short": "%s%04d" % (cat[7], k + 1), "cat": cat, "start": start})
    return funds, index_count


def distribution_dates(points, per_year, pay_gain):
    """Per calendar year, per_year evenly spread point indexes and the last point of the
    year for a capital gain; returns {index: (pays dividend, pays gain)}."""
    by_year = {}
    for i, d in enumerate(points):
        by_year.setdefault(d.year, []).append(i)
    out = {}
    for year in sorted(by_year):
        idx = by_year[year]
        if per_year > 0:
            step = len(idx) / float(per_year)
            for j in range(per_year):
                at = int(j * step + step / 2.0)
                if at < len(idx):
                    out[idx[at]] = (True, False)
        if pay_gain():
            last = idx[-1]
            div, _ = out.get(last, (False, False))
            out[last] = (div, True)
    return out


def write_fund(rng, args, fund, dates, shocks, path):
    name, drift, vol, rho, per_year, yield_pct, gains, _ = fund["cat"]
    if args.dists_per_year:
        per_year = args.dists_per_year
    yield_rate = yield_pct * args.yield_scale / 100.0
    steps = 260.0 if args.daily else 52.0
    dt = 1.0 / steps
    first = next(i for i, d in enumerate(dates) if d.year >= fund["start"])
    points = dates[first:]
    decimals = rng.choice((2, 2, 2, 3, 4))
    nav = rng.uniform(8.0, 40.0)
    # The fund's assets earn the total return; every payout then lowers the NAV by its
    # amount, so the NAV grows by the total return less what the fund pays out.
    mu = drift * dt - 0.5 * vol * vol * dt
    sd = vol * math.sqrt(dt)
    idio = math.sqrt(max(0.0, 1.0 - rho * rho))
    pays_gain = lambda: gains and rng.random() < args.gain_share
    dists = distribution_dates(points, per_year, pays_gain)
    split_step = args.split_prob / steps
    nl = "\n" if args.lf else "\r\n"

    header = ["NAME = Synthetic %s Fund %s" % (name, fund["short"]),
              "URL = http://funds.example/%s" % fund["short"].lower(),
              "CATEGORY = %s" % name]
    # Lines of one date stay together, in the order NAV, split, distribution.
    dated = []
    for k, d in enumerate(points):
        if k > 0:
            z = rho * shocks[first + k] + idio * rng.gauss(0.0, 1.0)
            nav *= math.exp(mu + sd * z)
            # The walk is reflected at 1, so that four decimals always carry its moves.
            if nav < 1.0:
                nav = 2.0 - nav
        # A split and a distribution dated on a point are already in that point's NAV.
        extra = []
        if k > 0 and rng.random() < split_step:
            # A fund splits its shares to bring a high NAV down, never below 5.
            fit = [s for s in SPLITS if nav * s[1] / s[0] >= 5.0]
            if fit:
                new, old = fit[rng.randrange(len(fit))]
                extra.append("%s SPLIT %d FOR %d" % (date_text(d), new, old))
                nav = nav * old / new
        paid = dists.get(k)
        if paid:
            parts = []
            total = 0.0
            if paid[0]:
                div = amount_text(nav * yield_rate / max(per_year, 1))
                if float(div) > 0:
                    parts.append("DIV = " + div)
                    total += float(div)
            if paid[1]:
                gain = amount_text(nav * rng.uniform(0.01, 0.06))
                kind = "LCG" if rng.random() < 0.7 else "SCG"
                parts.append("%s = %s" % (kind, gain))
                total += float(gain)
            if parts:
                extra.append("%s %s" % (date_text(d), " ".join(parts)))
                nav = max(nav - total, 0.5)
        if args.missing_prob and k > 0 and rng.random() < args.missing_prob:
            group = ["%s =" % date_text(d)]
        else:
            group = ["%s = %s" % (date_text(d), nav_text(nav, decimals))]
        dated.append(group + extra)
    if args.newest_first:
        dated.reverse()
    lines = header + [line for group in dated for line in group]
    with open(path, "w", newline="") as f:
        f.write(nl.join(lines) + nl)
    return len(points)


def write_rates(rng, args, path_mm, path_rf, nl):
    """Yearly rates with one decimal for every year of the span: a mean-reverting walk
    for the money-market rate, the risk-free rate a little above it."""
    first_year = args.end_year - args.years + 1
    rate = rng.uniform(3.0, 7.0)
    mm = []
    rf = []
    for year in range(first_year, args.end_year + 1):
        rate += 0.3 * (5.0 - rate) + rng.gauss(0.0, 0.8)
        rate = min(max(rate, 0.1), 15.0)
        mm.append((year, rate))
        rf.append((year, min(rate + rng.uniform(0.0, 0.6), 15.9)))
    for path, rows, what in ((path_mm, mm, "money-market rate"),
                             (path_rf, rf, "risk-free rate")):
        with open(path, "w", newline="") as f:
            f.write("; synthetic %s, percent a year%s" % (what, nl))
            for year, r in rows:
                f.write("%02d=%.1f%s" % (year % 100, r, nl))


def main(argv):
    args = parse_args(argv)
    rng = random.Random(args.seed)
    first_year = args.end_year - args.years + 1
    dates = calendar(first_year, args.end_year, args.daily)
    if len(dates) > DATE_LIMIT:
        sys.stderr.write("gendata: %d distinct dates (%d-%d, %s) exceed the program's "
                         "limit of %d; use fewer years or weekly points\n"
                         % (len(dates), first_year, args.end_year,
                            "daily" if args.daily else "weekly", DATE_LIMIT))
        return 2
    if os.path.isdir(args.outdir) and os.listdir(args.outdir):
        sys.stderr.write("gendata: %s is not empty\n" % args.outdir)
        return 2
    os.makedirs(args.outdir, exist_ok=True)

    shocks = market_shocks(rng, len(dates))
    funds, index_count = plan_funds(rng, args)
    total_points = 0
    for fund in funds:
        total_points += write_fund(rng, args, fund, dates, shocks,
                                   os.path.join(args.outdir, fund["short"] + ".NAV"))

    nl = "\n" if args.lf else "\r\n"
    assigned = 0
    with open(os.path.join(args.outdir, "Index"), "w", newline="") as f:
        if index_count:
            for fund in funds[index_count:]:
                if rng.random() < args.assigned_share:
                    f.write("%s=%s%s" % (fund["short"],
                                         funds[rng.randrange(index_count)]["short"], nl))
                    assigned += 1
    write_rates(rng, args, os.path.join(args.outdir, "MONEYMKT"),
                os.path.join(args.outdir, "RISKFREE"), nl)
    print("%s: %d funds (%d index funds, %d assigned to one), %d points, %d dates %s - %s"
          % (args.outdir, len(funds), index_count, assigned, total_points, len(dates),
             date_text(dates[0]), date_text(dates[-1])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
