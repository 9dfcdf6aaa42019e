#!/usr/bin/env python3
"""vantry-report on broken and odd fund files: exit statuses, the JSON document, the
reports of whole files loaded side by side, hostile files that must not hang the load, and
the table mode. Each case loads a fresh directory once with --file-steps (the points are the
values as read). A file's expected reports are its first-pass messages, then its
second-pass ones.

Usage: test_report.py PATH_TO_vantry-report PATH_TO_tests/data
"""

import collections
import itertools
import os
import random
import re
import sys

import common
from common import case, equal, read, run, run_cases, temp_dir, true, write

REPORT_ROOM = 511       # a report is composed in a 512-byte buffer

BOTH = "both"           # reported in the first and again in the second read pass
SECOND = "second"       # reported in the second read pass only
EOF = "end of file"     # the line number at the end of the file
NO_VALUE = "no value"

DATA = os.path.abspath(sys.argv[2])


def short(value):
    text = repr(value)
    return text if len(text) <= 300 else text[:300] + "...(%d chars)" % len(text)


def load(datadir):
    return common.load(datadir, "--file-steps", "--points")


# ---------------------------------------------------------------------------------------
# Dates, values and lines, worked out independently of the program.

def date_key(text):
    """Sort key of a "MM/DD/YY" string: year code (1960 is 0), month, day."""
    month, day, year = (int(part) for part in text.split("/"))
    return (year + 40 if year < 60 else year - 60, month, day)


def nav(integer, first_two, third_fourth):
    """A stored NAV: the whole part plus the four kept decimals, added in this order."""
    return float(integer) + first_two / 100.0 + third_fourth / 10000.0


def line_ends(data):
    """CR LF, a lone CR and a lone LF are one line end each."""
    return len(re.findall(rb"\r\n|\r|\n", data))


def line_of(data, start):
    """The 1-based number of the one line that starts with start."""
    hits = [i + 1 for i, line in enumerate(re.split(rb"\r\n|\r|\n", data))
            if line.startswith(start.encode())]
    if len(hits) != 1:
        raise AssertionError("fixture error: %d lines start with %r" % (len(hits), start))
    return hits[0]


# ---------------------------------------------------------------------------------------
# Expected outcome of one fund file.

# A report whose full text passes the report buffer: any cut of it that fits, as long as
# it keeps at least the first keep characters.
Cut = collections.namedtuple("Cut", "full keep")


class NavFile:
    """One fund file and what loading it must give. reports: (BOTH or SECOND, where,
    message) in the parser's order, where a line number, the start of the line, or EOF; a
    message ("cut", text) may be cut to fit the report buffer. dates: those the file puts
    into the date table, by default the points' dates. fund: None when the file is dropped,
    else its expected fields. points: date -> value or NO_VALUE."""

    def __init__(self, name, data, reports=(), dates=None, fund=None, points=None):
        self.name, self.data, self.reports = name, data, list(reports)
        self.short_name = name.split(".")[0]
        self.dates = set(points or ()) if dates is None else set(dates)
        self.fund, self.points = fund, points
        if fund is not None:
            ordered = sorted(points or (), key=date_key)
            for key, default in (("url", None), ("category", 0), ("distCount", 0),
                                 ("splitCount", 0), ("excludeDate", None),
                                 ("pointCount", len(points or ())),
                                 ("firstDate", ordered[0] if ordered else None),
                                 ("lastDate", ordered[-1] if ordered else None)):
                fund.setdefault(key, default)

    def expected_reports(self, path):
        composed = []
        for when, where, message in self.reports:
            line = (line_ends(self.data) + 1 if where == EOF
                    else where if isinstance(where, int) else line_of(self.data, where))
            head = "Error: %s(%u): " % (path, line)
            composed.append((when, head + message if isinstance(message, str) else
                             Cut(head + message[1], len(head) + message[1].index('"') + 2)))
        return [t for w, t in composed if w == BOTH] + [t for w, t in composed]


def fixture(name, **expect):
    return NavFile(name, read(os.path.join(DATA, "odd", name)), **expect)


def check_report_list(got, want, what):
    """got against want item by item, where a Cut stands for any cut of its text that fits."""
    for i, (g, w) in enumerate(itertools.zip_longest(got, want), 1):
        cut = isinstance(w, Cut) and g is not None and w.keep <= len(g) <= REPORT_ROOM
        equal(g, g if cut and w.full.startswith(g) else w, "%s report %d" % (what, i))


def reports_of_file(texts, path):
    heads = ("Error: %s(" % path, "Error: %s:" % path)
    return [t for t in texts if t.startswith(heads)]


def check_fund(got, nav_file):
    for key, value in sorted(dict(nav_file.fund, fileSize=len(nav_file.data)).items()):
        equal(got.get(key), value, "%s %s" % (nav_file.name, key))
    points = [(p["date"], NO_VALUE if p["noValue"] else p["value"])  # of series 0
              for p in got["series"][0]["points"]]
    equal((len(points), dict(points)), (len(nav_file.points), nav_file.points),
          "%s points" % nav_file.name)


def folder_with(files):
    """A fresh directory holding files, (name, bytes) pairs."""
    folder = temp_dir()
    for name, data in files:
        write(os.path.join(folder, name), data)
    return folder


def check_reports(doc, paths):
    """Every report an Error that fits its buffer and names one of the files at paths;
    gives their texts."""
    texts = [r["text"] for r in doc["reports"]]
    for t in texts:
        true(len(t) <= REPORT_ROOM, "a report of %d characters does not fit its buffer: %s"
             % (len(t), short(t)))
    equal([r for r in doc["reports"] if r["kind"] != "Error"], [], "reports of a kind other than Error")
    equal([t for t in texts if not any(reports_of_file([t], p) for p in paths)], [],
          "reports that name none of the fund files")
    return texts


def check_load(nav_files, folder=None):
    """Loads folder (by default a fresh one) holding exactly nav_files and no other fund
    file, and checks what it gives."""
    folder = folder or folder_with((f.name, f.data) for f in nav_files)
    doc = load(folder)
    equal(doc["dataDir"], folder, "dataDir")
    paths = [os.path.join(folder, f.name) for f in nav_files]
    texts = check_reports(doc, paths)
    for f, path in zip(nav_files, paths):
        check_report_list(reports_of_file(texts, path), f.expected_reports(path), f.name)
    dates = sorted(set().union(*(f.dates for f in nav_files)), key=date_key)
    equal((doc["dateCount"], doc["firstDate"], doc["lastDate"]),
          (len(dates), dates[0] if dates else None, dates[-1] if dates else None), "date table")
    kept = [f for f in nav_files if f.fund is not None]
    equal(sorted(g.get("shortName") for g in doc["funds"]), sorted(f.short_name for f in kept),
          "short names of the funds kept, each once")
    funds = common.funds(doc)
    for f in kept:
        check_fund(funds[f.short_name], f)


# ---------------------------------------------------------------------------------------
# The hand-written fixtures of tests/data/odd/.

def odd_fixtures():
    d99 = lambda m, d: "%02d/%02d/99" % (m, d)
    token = "unexpected token: "
    missing_name = [(SECOND, EOF, "missing fund name")]
    return [
        fixture("DISTS.NAV", reports=[
            (SECOND, "01/15/99 DIV", "duplicate dist"), (SECOND, "01/18/99 CG", "duplicate dist"),
            (SECOND, "01/20/99 FOO", "missing dist"),
            (BOTH, "01/20/99 FOO", token + 'ASCII STRING "FOO"'),
            (BOTH, "02/01/99", token + 'ASCII STRING "CG"'),
            (BOTH, "02/02/99", token + "5 DIGIT NUMBER"),
            (BOTH, "02/03/99", token + "7 DIGIT NUMBER"),
            (BOTH, "02/04/99", token + 'ASCII STRING "BAR"'), (BOTH, "02/05/99", token + "DOT")],
            dates=[d99(1, d) for d in (4, 5, 6, 7, 15, 18, 19, 20)]
            + [d99(2, d) for d in (1, 2, 3, 4, 5, 8, 9)],
            fund=dict(name="Distribution Oddities", url="http://funds.example/dists",
                      category=6, distCount=13),
            points={"01/04/99": nav(10, 0, 0), "02/09/99": nav(10, 50, 0)}),
        fixture("VALUES.NAV", reports=[(BOTH, start, "incorrect date format") for start in
                                       ("13/01/99", "00/10/99", "01/32/99", "01/00/99")],
            fund=dict(name="Value Oddities", category=11),
            points={
                "03/01/99": nav(10, 12, 35),      # 10.12345: the fifth digit rounds up
                "03/02/99": nav(10, 12, 34),      # 10.12344
                "03/03/99": nav(10, 0, 0),        # 9.99995 carries into the whole part
                "03/04/99": nav(0, 50, 0),        # .5
                "03/05/99": nav(12, 0, 0),        # 12
                "03/08/99": nav(0, 0, 1),         # 0.00005
                "03/09/99": nav(1, 23, 46),       # 1.23456789: digits after the fifth ignored
                "03/10/99": nav(123456789, 10, 0),
                "03/11/99": nav(2, 99, 99),       # 2.999949: a fifth digit 4 rounds down
                "03/12/99": nav(1, 0, 0),         # 0.99995
                "03/15/99": nav(3, 10, 0),        # 3.1: one digit is tenths
                "03/16/99": nav(1, 23, 40),       # 1.234: three digits
                "03/25/99": nav(4, 75, 0), "03/17/99": nav(5, 25, 0),
                **dict.fromkeys(("03/18/99", "03/19/99", "03/22/99", "03/24/99"), NO_VALUE),
                "02/31/99": nav(10, 0, 0), "05/04/05": nav(7, 50, 0)}),
        fixture("SPLITS.NAV", reports=[
            (SECOND, "04/06/99", "duplicate exclude"),
            (BOTH, "04/09/99", token + 'ASCII STRING "BY"'),
            (BOTH, "04/12/99", token + "4 DIGIT NUMBER"),
            (BOTH, "04/13/99", token + "4 DIGIT NUMBER"),
            (BOTH, "04/14/99", token + 'ASCII STRING "X"')],
            dates=[d99(4, d) for d in (1, 5, 6, 7, 8, 9, 12, 13, 14, 15)],
            fund=dict(name="Split And Exclude", category=15, splitCount=2, excludeDate="04/05/99"),
            points={"04/01/99": nav(20, 0, 0), "04/15/99": nav(10, 0, 0)}),
        fixture("WORDS.NAV", reports=[(BOTH, start, token + message) for start, message in (
            ("FOO bar", 'ASCII STRING "FOO"'), ("= 5", "EQUALS"), ("123/01", "3 DIGIT NUMBER"),
            ("3M", 'ASCII STRING "3M"'), ("1234567890", 'ASCII STRING "1234567890"'),
            (". 5", "DOT"), ("/ 1", "SLASH"), ("01/15/1999", "4 DIGIT NUMBER"),
            ("01-15-99", 'ASCII STRING "-15-99"'), ("NAME is", 'ASCII STRING "is"'))],
            fund=dict(name="Words And Tokens", url="http://funds.example/words"),
            points={"05/06/99": nav(1, 50, 0)}),
        fixture("NONAME.NAV", reports=missing_name, dates=[d99(6, d) for d in (1, 2, 3, 4, 7)]),
        fixture("COMMENTS.NAV", reports=missing_name),
        *(fixture(name, points=SAME_ORDER_POINTS,
                  fund=dict(name=title, distCount=1, splitCount=1))
          for name, title in (("NEWEST.NAV", "Newest First"), ("OLDEST.NAV", "Oldest First"))),
        fixture("YEARS.NAV",
                points=dict.fromkeys(("01/01/00", "12/31/99", "06/15/59", "01/01/60", "12/31/59",
                                      "02/29/00", "01/31/61"), nav(1, 0, 0)),
                fund=dict(name="Years Across The Century", firstDate="01/01/60",
                          lastDate="12/31/59")),
    ]


# NEWEST.NAV and OLDEST.NAV hold the same lines in opposite orders.
SAME_ORDER_POINTS = {
    "07/01/99": nav(21, 0, 0), "07/02/99": nav(21, 12, 50), "07/06/99": nav(21, 50, 0),
    "07/07/99": nav(11, 0, 0), "07/08/99": NO_VALUE, "07/09/99": nav(11, 25, 0),
}


@case
def all_fixtures_together():
    """All fixtures in one directory, beside a directory named like a fund file and files
    that are not fund files: each file still gives its own reports. Without --json the
    same reports go to standard error and the fund table to standard output."""
    nav_files = odd_fixtures()
    folder = folder_with((f.name, f.data) for f in nav_files)
    os.mkdir(os.path.join(folder, "FOLDER.NAV"))
    write(os.path.join(folder, "FOLDER.NAV", "INNER.NAV"),
          b"NAME=Inside A Folder\n01/01/98 = 1\nFOO\n")
    for name in ("README.TXT", "OLD.BAK", "X.NAVY"):
        write(os.path.join(folder, name), b"NAME=Not A Fund\n01/01/97 = 1\nFOO\n")
    check_load(nav_files, folder)
    proc = run("--file-steps", folder)
    err = proc.stderr.decode("utf-8", "replace").splitlines()
    out = proc.stdout.decode("utf-8", "replace")
    for f in nav_files:
        path = os.path.join(folder, f.name)
        check_report_list(reports_of_file(err, path), f.expected_reports(path),
                          "%s on standard error" % f.name)
    true("DISTS" in out and "WORDS" in out, "the kept funds are not in the table: %s" % short(out))
    true("NONAME" not in out, "the dropped fund is in the table")
    true("Error:" not in out, "reports (or JSON) on standard output: %s" % short(out))


@case
def empty_directory():
    check_load([])   # no fund, no report, an empty date table


# ---------------------------------------------------------------------------------------
# Generated files.

def boundary_file():
    """Line ends and a number that straddle the 512-byte blocks the file is read in."""
    data = bytearray(b"NAME=Buffer Boundaries\n")
    data += b";" + b"a" * (511 - len(data) - 1) + b"\r\n"       # CR is byte 511, LF byte 512
    data += b"10/01/99 = 1.25\n"
    data += b";" + b"b" * (1023 - len(data) - 1) + b"\r"         # a lone CR as byte 1023
    data += b"10/04/99 = 2.5\n"                                   # begins the third block
    data += b";" + b"c" * (1535 - 12 - len(data) - 2) + b"\n"
    data += b"10/05/99 = 3.14159\n"                               # the point is byte 1535
    data += b"FOO\n10/06/99 = 4\r"
    return NavFile("BOUNDS.NAV", bytes(data),
                   reports=[(BOTH, 8, 'unexpected token: ASCII STRING "FOO"')],
                   fund=dict(name="Buffer Boundaries"),
                   points={"10/01/99": nav(1, 25, 0), "10/04/99": nav(2, 50, 0),
                           "10/05/99": nav(3, 14, 16), "10/06/99": nav(4, 0, 0)})


def long_file():
    """600-character lines: what is kept of a long text is cut to 511 characters, a report
    that quotes one is cut to its buffer, and a long comment or run of blanks is no error."""
    url = "http://" + "u" * 600
    lines = [
        b"NAME = " + b"N" * 600,                        # 1
        b";" + b"c" * 600,                              # 2
        b"URL = " + url.encode(),                       # 3
        b"08/02/99 = " + b"1" * 600,                    # 4
        b"W" * 600,                                     # 5
        b"08/03/99 = 5.25 " + b"x" * 600,               # 6
        b"08/04/99 DIV = .10 " + b"z" * 600,            # 7
        b"08/05/99" + b" " * 295 + b"\t" * 295 + b"= 7",  # 8
        b"08/06/99 = 6.5",                              # 9
    ]
    too_long = "token too long"
    return NavFile("LONG.NAV", b"\n".join(lines) + b"\n",
                   reports=[(BOTH, n, too_long) for n in (1, 3, 4, 5)] + [
                            (BOTH, 5, ("cut", 'unexpected token: ASCII STRING "%s"' % ("W" * 511))),
                            (BOTH, 7, too_long),
                            (BOTH, 7, ("cut", 'unexpected token: ASCII STRING "%s"' % ("z" * 511)))],
                   dates=["08/02/99", "08/03/99", "08/04/99", "08/05/99", "08/06/99"],
                   fund=dict(name="N" * 511, url=url[:511], distCount=1),
                   points={"08/02/99": NO_VALUE, "08/03/99": nav(5, 25, 0),
                           "08/05/99": nav(7, 0, 0), "08/06/99": nav(6, 50, 0)})


def cut_file(name, data, date=None, title=None, reports=(), value=None, **fund):
    """A file that ends inside or right after a line; date is its one date, value the point
    of that date (None for no point)."""
    return NavFile(name, data, reports=reports, dates=[date] if date else [],
                   fund=None if title is None else dict(fund, name=title),
                   points={} if value is None else {date: value})


@case
def generated_files_in_one_directory():
    """Files cut by their end at every place of a line, line ends only, block boundaries and
    long lines, all in one directory and one load."""
    eof = "unexpected token: END OF FILE"
    missing = (SECOND, 2, "missing fund name")
    check_load([
        cut_file("CUTEQ.NAV", b"NAME=Cut After Equals\r\n01/02/99 =", "01/02/99",
                 "Cut After Equals", value=NO_VALUE),
        NavFile("CUTDOT.NAV", b"NAME=Cut In Amount\r01/02/99 = 1\r01/03/99 DIV = .",
                reports=[(BOTH, 3, eof)], dates=["01/02/99", "01/03/99"],
                fund=dict(name="Cut In Amount", distCount=1),
                points={"01/02/99": nav(1, 0, 0)}),
        cut_file("CUTDATE.NAV", b"NAME=Cut In Date\n01/0", None, "Cut In Date",
                 reports=[(BOTH, 2, eof)]),
        cut_file("CUTNAME.NAV", b"01/04/99 = 3\nNAME", "01/04/99", reports=[(BOTH, 2, eof), missing]),
        cut_file("CUTNAMEEQ.NAV", b"01/05/99 = 3\nNAME =", "01/05/99",
                 reports=[(BOTH, 2, eof), missing]),
        cut_file("CUTSPLIT.NAV", b"NAME=Cut In Split\n01/06/99 SPLIT 2 FOR", "01/06/99",
                 "Cut In Split", reports=[(BOTH, 2, eof)]),
        cut_file("CUTLAST.NAV", b"01/08/99 = 1\nNAME = Name On The Last Line", "01/08/99",
                 "Name On The Last Line", value=nav(1, 0, 0)),
        cut_file("CUTDIST.NAV", b"NAME=Cut After Amount\n01/11/99 DIV = .5", "01/11/99",
                 "Cut After Amount", distCount=1),
        cut_file("CUTEXCL.NAV", b"NAME=Cut After Exclude\n01/12/99 EXCLUDE", "01/12/99",
                 "Cut After Exclude", excludeDate="01/12/99"),
        cut_file("CUTWORD.NAV", b"NAME=Cut After Word\n01/13/99 FOO", "01/13/99",
                 "Cut After Word", distCount=1,
                 reports=[(SECOND, 2, "missing dist"),
                          (BOTH, 2, 'unexpected token: ASCII STRING "FOO"')]),
        NavFile("ENDSONLY.NAV", b"\r\n\r\r\n\n\r", reports=[(SECOND, 6, "missing fund name")]),
        boundary_file(),
        long_file(),
    ])


# ---------------------------------------------------------------------------------------
# Junk: what any input must give.

UNEXPECTED = re.compile(r"unexpected token: (END OF FILE|CARRIAGE RETURN|LINE FEED|"
                        r"[1-9] DIGIT NUMBER|COMMENT|EQUALS|SLASH|DOT|ASCII STRING \".*)\Z", re.S)
SECOND_PASS_ONLY = ("duplicate dist", "duplicate exclude", "missing dist", "missing fund name")


def both_passes(message):
    return message in ("token too long", "incorrect date format") or bool(UNEXPECTED.match(message))


def check_any_file(name, data, path, texts, fund):
    """The reports of one file of arbitrary content: each one a parser message with a
    line number inside the file; the messages of both passes come once per pass in the
    same order, the first pass gives nothing else; the file is dropped exactly when it
    has no name."""
    eof_line = line_ends(data) + 1
    parsed = []
    for t in texts:
        m = re.match(r"(\d+)\): (.*)\Z", t[len(path) + 8:], re.S) if t.startswith("Error: %s(" % path) else None
        true(m is not None, "%s: a report of no known form: %s" % (name, short(t)))
        line, message = int(m.group(1)), m.group(2)
        true(both_passes(message) or message in SECOND_PASS_ONLY,
             "%s: unknown message %s" % (name, short(message)))
        true(1 <= line <= eof_line, "%s: line %d outside the file (1 to %d)" % (name, line, eof_line))
        parsed.append((line, message, both_passes(message)))
    twice = [(l, m) for l, m, b in parsed if b]
    half = len(twice) // 2
    true(len(twice) % 2 == 0 and twice[:half] == twice[half:],
         "%s: the messages of both passes differ between the passes" % name)
    equal([(l, m) for l, m, _ in parsed[:half]], twice[:half], "%s: first-pass reports" % name)
    for part in (parsed[:half], parsed[half:]):
        lines = [l for l, _, _ in part]
        true(lines == sorted(lines), "%s: line numbers go backwards within a pass" % name)
    missing = [(l, m) for l, m, _ in parsed if m == "missing fund name"]
    equal(missing, [] if fund is not None else [(eof_line, "missing fund name")],
          "%s: missing fund name" % name)
    true(fund is not None or parsed[-1][1] == "missing fund name",
         "%s: reports after the missing fund name" % name)


JUNK_PIECES = [b"NAME", b"name", b"URL", b"CATEGORY", b"DIV", b"CG", b"LCG", b"SCG", b"MCG",
               b"SPLIT", b"FOR", b"EXCLUDE", b"FOO", b"=", b"=", b"/", b"/", b"/", b".", b".",
               b";", b" ", b" ", b"\t", b"\r", b"\n", b"\n", b"\r\n", b",", b"-"]


def junk_tokens(seed, size, long_runs):
    """Random sequences of the parser's own words, numbers and punctuation."""
    rng = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        r = rng.random()
        if r < 0.35:
            out += str(rng.randrange(40 if rng.random() < 0.8 else 10 ** rng.randrange(1, 13))).encode()
        elif long_runs and r < 0.37:
            out += bytes(rng.choice(b"abcXYZ0123456789") for _ in range(rng.randrange(500, 700)))
        elif r < 0.97:
            out += rng.choice(JUNK_PIECES)
        else:
            out.append(rng.randrange(256))
    return bytes(out[:size])


def mutated(seed, base, count):
    """base with count random single-byte deletions, insertions and replacements."""
    rng = random.Random(seed)
    out = bytearray(base)
    for _ in range(count):
        at, op = rng.randrange(len(out) + 1), rng.randrange(3)
        if op == 0 and at < len(out):
            del out[at]
        elif op == 1:
            out.insert(at, rng.choice(b"0123456789/=.;\r\n \tADEFILMNSVx" + bytes([0, 0xFF])))
        elif at < len(out):
            out[at] = rng.randrange(256)
    return bytes(out)


@case
def binary_junk():
    """Junk of fixed seeds never crashes or hangs the load and gives only well-formed
    parser messages."""
    base = b"".join(f.data for f in odd_fixtures())
    junk = {
        "JUNKBIN.NAV": random.Random(1).randbytes(8192),
        "JUNKNUL.NAV": b"\0" * 700 + b"\n" + random.Random(2).randbytes(1000),
        "JUNKTOK.NAV": junk_tokens(3, 20000, False),
        "JUNKRUN.NAV": junk_tokens(4, 20000, True),
        "JUNKMUT.NAV": mutated(5, base, 400),
        "JUNKMUT2.NAV": mutated(6, base * 3, 3000),
    }
    folder = folder_with(junk.items())
    doc = load(folder)
    texts = check_reports(doc, [os.path.join(folder, name) for name in junk])
    funds = common.funds(doc)
    for name, data in junk.items():
        path = os.path.join(folder, name)
        check_any_file(name, data, path, reports_of_file(texts, path), funds.get(name[:-4]))
    true(set(funds) <= {n[:-4] for n in junk}, "unknown funds %s" % short(sorted(funds)))


# ---------------------------------------------------------------------------------------
# The command line.

@case
def usage_errors():
    """No arguments, no directory, an unknown option, a directory that does not exist, a
    file in place of the directory."""
    folder = temp_dir()
    plain = write(os.path.join(folder, "PLAIN.NAV"), b"NAME=Plain File\n")
    for args in ([], ["--json"], ["--bogus", folder], [folder + "/no-such-directory"], [plain]):
        proc = run(*args, check=False)
        equal(proc.returncode, 2, "exit status for %r" % args)
        true(proc.stderr.strip() != b"", "%r: nothing on standard error" % args)


if __name__ == "__main__":
    sys.exit(run_cases())
