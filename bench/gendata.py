#!/usr/bin/env python3
# Generates a large synthetic data directory (fund files, Index, MONEYMKT, RISKFREE) from a seed.
"""Writes a data directory of synthetic funds for the load benchmark: geometric random walks
on a shared calendar, driven by a market factor, with distributions and splits. The same
arguments give the same directory, byte for byte (bench/README.md describes it)."""

import argparse
import datetime
import itertools
import math
import os
import random
import sys

# The program keeps at most this many distinct dates over a directory (later ones are
# dropped with an overflow message); two-digit years limit the dates to 1960-2059.
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

# flag, type (None: a switch), default, help (a default is added to it)
OPTIONS = [
    ("--funds", int, 200, "number of fund files"),
    ("--years", int, 25, "years of history"),
    ("--end-year", int, 2004, "calendar year of the last point"),
    ("--daily", None, False, "daily points, Monday to Friday (default: weekly, Fridays)"),
    ("--seed", int, 1, "random seed"),
    ("--index-share", float, 0.1, "share of the funds that are index funds"),
    ("--assigned-share", float, 0.6, "share of the other funds given an index fund in Index"),
    ("--late-share", float, 0.3, "share of the other funds that start after the first year"),
    ("--dists-per-year", int, 0, "distributions a year for every fund, 0: by category"),
    ("--yield-scale", float, 1.0, "factor on every category's dividend yield"),
    ("--gain-share", float, 0.5, "probability that an equity fund pays a year-end gain"),
    ("--split-prob", float, 0.02, "probability of a split per fund and year"),
    ("--missing-prob", float, 0.0, "probability that a NAV line has no value"),
    ("--newest-first", None, False, "list each file's dates newest first (default oldest first)"),
    ("--lf", None, False, "LF line ends (default CR LF)"),
]


def parse_args(argv):
    p = argparse.ArgumentParser(description="Generate a synthetic data directory.")
    p.add_argument("outdir", help="directory to create (must be empty or absent)")
    for flag, kind, default, text in OPTIONS:
        if kind:
            p.add_argument(flag, type=kind, default=default, help="%s (%s)" % (text, default))
        else:
            p.add_argument(flag, action="store_true", help=text)
    a = p.parse_args(argv)
    if a.funds < 1 or a.funds > 99999:
        p.error("--funds must be 1 to 99999")
    if a.years < 1:
        p.error("--years must be at least 1")
    a.first_year = a.end_year - a.years + 1
    if a.first_year < FIRST_YEAR or a.end_year > LAST_YEAR:
        p.error("the dates must lie within %d-%d (asked for %d-%d)"
                % (FIRST_YEAR, LAST_YEAR, a.first_year, a.end_year))
    for name in ("index_share", "assigned_share", "late_share", "gain_share",
                 "split_prob", "missing_prob"):
        if not 0.0 <= getattr(a, name) <= 1.0:
            p.error("--%s must be 0 to 1" % name.replace("_", "-"))
    if a.dists_per_year < 0 or a.dists_per_year > (260 if a.daily else 52):
        p.error("--dists-per-year is more than there are points in a year")
    return a


def calendar(first_year, last_year, daily):
    """Every trading date of the span: Fridays, or Monday to Friday."""
    day = datetime.date(first_year, 1, 1)
    if not daily:
        day += datetime.timedelta(days=(4 - day.weekday()) % 7)
    days = (datetime.date(last_year, 12, 31) - day).days
    step = 1 if daily else 7
    dates = (day + datetime.timedelta(days=k) for k in range(0, days + 1, step))
    return [d for d in dates if d.weekday() < 5]


def date_text(d):
    return "%02d/%02d/%02d" % (d.month, d.day, d.year % 100)


def amount_text(value):
    """A distribution amount: 1 to 4 integer digits (or none) and four decimals; the
    format allows no more, so an amount is capped at 9999.9999."""
    whole, frac = divmod(min(int(round(value * 10000)), 99999999), 10000)
    return ("%d.%04d" % (whole, frac)) if whole else (".%04d" % frac)


def plan_funds(rng, args):
    """Short names, categories and start years; the index funds come first."""
    index_count = int(round(args.funds * args.index_share))
    if args.funds > 1 and args.index_share > 0 and index_count == 0:
        index_count = 1
    funds = [{"short": "IX%04d" % (k + 1), "cat": INDEX_CATEGORY, "start": args.first_year}
             for k in range(index_count)]
    for k in range(args.funds - index_count):
        cat = CATEGORIES[rng.randrange(len(CATEGORIES))]
        start = args.first_year
        if args.years > 2 and rng.random() < args.late_share:
            start = rng.randint(args.first_year + 1, args.end_year - 2)
        funds.append({"short": "%s%04d" % (cat[7], k + 1), "cat": cat, "start": start})
    return funds, index_count


def distribution_dates(points, per_year, pay_gain):
    """Per calendar year, per_year evenly spread point indexes and the last point of the
    year for a capital gain; returns {index: (pays dividend, pays gain)}."""
    out = {}
    for _, of_year in itertools.groupby(range(len(points)), key=lambda i: points[i].year):
        idx = list(of_year)
        step = len(idx) / float(per_year) if per_year > 0 else 0
        for j in range(per_year):
            at = int(j * step + step / 2.0)
            if at < len(idx):
                out[idx[at]] = (True, False)
        if pay_gain():
            out[idx[-1]] = (out.get(idx[-1], (False,))[0], True)
    return out


def write_fund(rng, args, fund, dates, shocks, path, nl):
    name, drift, vol, rho, per_year, yield_pct, gains, _ = fund["cat"]
    per_year = args.dists_per_year or per_year
    yield_rate = yield_pct * args.yield_scale / 100.0
    steps = 260.0 if args.daily else 52.0
    first = next(i for i, d in enumerate(dates) if d.year >= fund["start"])
    points = dates[first:]
    decimals = rng.choice((2, 2, 2, 3, 4))
    nav = rng.uniform(8.0, 40.0)
    # The fund's assets earn the total return; every payout then lowers the NAV by its
    # amount, so the NAV grows by the total return less what the fund pays out.
    dt = 1.0 / steps
    mu = drift * dt - 0.5 * vol * vol * dt
    sd = vol * math.sqrt(dt)
    idio = math.sqrt(max(0.0, 1.0 - rho * rho))
    dists = distribution_dates(points, per_year,
                               lambda: gains and rng.random() < args.gain_share)
    lines = ["NAME = Synthetic %s Fund %s" % (name, fund["short"]),
             "URL = http://funds.example/%s" % fund["short"].lower(), "CATEGORY = %s" % name]
    # Lines of one date stay together, in the order NAV, split, distribution.
    dated = []
    for k, d in enumerate(points):
        day = date_text(d)
        if k > 0:
            nav *= math.exp(mu + sd * (rho * shocks[first + k] + idio * rng.gauss(0.0, 1.0)))
            # The walk is reflected at 1, so that four decimals always carry its moves.
            if nav < 1.0:
                nav = 2.0 - nav
        # A split and a distribution dated on a point are already in that point's NAV.
        extra = []
        if k > 0 and rng.random() < args.split_prob / steps:
            # A fund splits its shares to bring a high NAV down, never below 5.
            fit = [s for s in SPLITS if nav * s[1] / s[0] >= 5.0]
            if fit:
                new, old = fit[rng.randrange(len(fit))]
                extra.append("%s SPLIT %d FOR %d" % (day, new, old))
                nav = nav * old / new
        div, gain = dists.get(k, (False, False))
        div = amount_text(nav * yield_rate / max(per_year, 1)) if div else ".0000"
        gain = amount_text(nav * rng.uniform(0.01, 0.06)) if gain else ""
        parts = (["DIV = " + div] if float(div) > 0 else []) + (
            ["%s = %s" % ("LCG" if rng.random() < 0.7 else "SCG", gain)] if gain else [])
        if parts:
            extra.append("%s %s" % (day, " ".join(parts)))
            nav = max(nav - (float(div) + float(gain or 0)), 0.5)
        missing = args.missing_prob and k > 0 and rng.random() < args.missing_prob
        dated.append(["%s =" % day if missing else "%s = %.*f" % (day, decimals, nav)] + extra)
    if args.newest_first:
        dated.reverse()
    with open(path, "w", newline="") as f:
        f.write(nl.join(lines + [line for group in dated for line in group]) + nl)
    return len(points)


def write_rates(rng, args, outdir, nl):
    """Yearly rates with one decimal for every year of the span: a mean-reverting walk
    for the money-market rate (MONEYMKT), the risk-free rate a little above it (RISKFREE)."""
    rate = rng.uniform(3.0, 7.0)
    mm, rf = [], []
    for year in range(args.first_year, args.end_year + 1):
        rate = min(max(rate + (0.3 * (5.0 - rate) + rng.gauss(0.0, 0.8)), 0.1), 15.0)
        mm.append((year, rate))
        rf.append((year, min(rate + rng.uniform(0.0, 0.6), 15.9)))
    for name, rows, what in (("MONEYMKT", mm, "money-market rate"),
                             ("RISKFREE", rf, "risk-free rate")):
        with open(os.path.join(outdir, name), "w", newline="") as f:
            f.write("; synthetic %s, percent a year%s" % (what, nl))
            f.write("".join("%02d=%.1f%s" % (year % 100, r, nl) for year, r in rows))


def main(argv):
    args = parse_args(argv)
    rng = random.Random(args.seed)
    dates = calendar(args.first_year, args.end_year, args.daily)
    if len(dates) > DATE_LIMIT:
        sys.stderr.write("gendata: %d distinct dates (%d-%d, %s) exceed the program's "
                         "limit of %d; use fewer years or weekly points\n"
                         % (len(dates), args.first_year, args.end_year,
                            "daily" if args.daily else "weekly", DATE_LIMIT))
        return 2
    if os.path.isdir(args.outdir) and os.listdir(args.outdir):
        sys.stderr.write("gendata: %s is not empty\n" % args.outdir)
        return 2
    os.makedirs(args.outdir, exist_ok=True)
    nl = "\n" if args.lf else "\r\n"
    shocks = [rng.gauss(0.0, 1.0) for _ in dates]
    funds, index_count = plan_funds(rng, args)
    total_points = sum(write_fund(rng, args, fund, dates, shocks,
                                  os.path.join(args.outdir, fund["short"] + ".NAV"), nl)
                       for fund in funds)
    assigned = 0
    with open(os.path.join(args.outdir, "Index"), "w", newline="") as f:
        for fund in funds[index_count:] if index_count else []:
            if rng.random() < args.assigned_share:
                f.write("%s=%s%s" % (fund["short"], funds[rng.randrange(index_count)]["short"], nl))
                assigned += 1
    write_rates(rng, args, args.outdir, nl)
    print("%s: %d funds (%d index funds, %d assigned to one), %d points, %d dates %s - %s"
          % (args.outdir, len(funds), index_count, assigned, total_points, len(dates),
             date_text(dates[0]), date_text(dates[-1])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
