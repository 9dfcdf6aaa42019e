"""What the integration scripts share: the report tool run under a time limit, the cases
run one after another with every failure reported and counted, plain checks, and files
and directories made under one temporary folder that goes when the run ends."""
import atexit
import json
import os
import shutil
import subprocess
import sys
import tempfile

TOOL = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None
CASES = []
ROOT = tempfile.mkdtemp(prefix="vantry-integration-")
atexit.register(shutil.rmtree, ROOT, True)


def case(function):
    CASES.append(function)
    return function


def run_cases():
    """Runs every case; returns the exit status (1 when one failed)."""
    failed = 0
    for test in CASES:
        try:
            test()
            print("ok   " + test.__name__)
        except Exception as e:  # noqa: BLE001 - every failure is reported, the run goes on
            print("FAIL %s: %s" % (test.__name__, e))
            failed += 1
    print("%d passed, %d failed" % (len(CASES) - failed, failed))
    return 1 if failed else 0


def run(*args, check=True):
    """The report tool with args; with check, a non-zero exit fails the case."""
    p = subprocess.run([TOOL, *args], stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=300)
    if check and p.returncode != 0:
        raise AssertionError("%s: exit %d: %s" % (" ".join(args[:2]), p.returncode,
                                                  p.stderr.decode(errors="replace")))
    return p


def load(directory, *options):
    return json.loads(run("--json", *options, directory).stdout)


def funds(document):
    return {f["shortName"]: f for f in document["funds"]}


def fund(document, short_name):
    """The first fund of that short name."""
    found = [f for f in document["funds"] if f["shortName"] == short_name]
    true(found, "no fund " + short_name)
    return found[0]


def equal(got, expected, what):
    if got != expected:
        raise AssertionError("%s: got %r, expected %r" % (what, got, expected))


def true(condition, what):
    if not condition:
        raise AssertionError(what)


def near(got, expected, what, tolerance=1e-9):
    if got is None or abs(got - expected) > tolerance * max(1.0, abs(expected)):
        raise AssertionError("%s: got %r, expected %r" % (what, got, expected))


def near_each(got, expected, what, tolerance=1e-9):
    """The lists got and expected alike in length and near item by item."""
    equal(len(got), len(expected), what + ": how many")
    for i, (g, e) in enumerate(zip(got, expected)):
        near(g, e, "%s %d" % (what, i), tolerance)


def temp_dir():
    return tempfile.mkdtemp(dir=ROOT)


def copy_tree(source):
    return shutil.copytree(source, temp_dir(), dirs_exist_ok=True)


def write(path, data, mode="w"):
    """Writes data (bytes, or text as UTF-8 with its line ends as they are) with mode "w"
    or "a"; returns path."""
    with open(path, mode + "b") as f:
        f.write(data.encode("utf-8") if isinstance(data, str) else data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def snapshot(folder):
    """Every file and folder under folder by its relative path: a file's bytes, None for a
    folder."""
    state = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            state[os.path.relpath(path, folder)] = None if name in dirs else read(path)
    return state
