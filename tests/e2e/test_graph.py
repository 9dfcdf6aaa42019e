"""End-to-end tests of Vantry.exe's graph page under Wine: the measuring readout and its
result, fund stepping with the keys, the arrow strips and the zoom selection, the legend's
scrolling, the recalculation jobs, the Default Benchmark dialog and the About box.

Usage: test_graph.py --exe Vantry.exe --report vantry-report [--out DIR] [unittest args]
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_program as tp  # noqa: E402
from harness import wait_for  # noqa: E402
from test_program import R, THREAD_RUNNING, VantryTest, CB_SETCURSEL  # noqa: E402

setUpModule, tearDownModule = tp.setUpModule, tp.tearDownModule
GRAPH_MESSAGE, GRAPH_CANCEL = 0x0400, 7
READOUT_POINT = re.compile(r"^(\d\d)/(\d\d)/(\d\d)=\$(\d+\.\d\d)$")
DAYS = {1: 0, 8: 1, 15: 2, 22: 3, 29: 4}


def parse_point(line):
    """A readout line's (DatePeriod, value), None for another line; the DatePeriod counts
    60 a year from 1960, 5 a month, one a week."""
    m = READOUT_POINT.match(line)
    if m:
        month, day, year = int(m[1]), int(m[2]), int(m[3])
        return ((year - 60) % 100) * 60 + (month - 1) * 5 + DAYS[day], float(m[4])


def expected_result(first, second):
    """The Result line for two readout points, the second a period or more after the first:
    the engine's own AnnualizedReturn, through the report tool."""
    out = subprocess.run([tp.CONFIG["report"], "--annualized", repr(first[1]), repr(second[1]),
                          str(second[0] - first[0])], check=True, capture_output=True,
                         text=True, timeout=30)
    r = float(out.stdout)
    return "Result=%.1f%%" % r if r >= 0 else "Result=(%.1f)%%" % -r


class GraphTest(VantryTest):
    def readout(self):
        return self.session.text(self.graph).split("\n")

    def wait_readout(self, predicate, what):
        return wait_for(lambda: predicate(self.readout()) and self.readout(), 20, what)


class Measuring(GraphTest):
    def test_readout_follows_the_pointer_and_two_clicks_freeze_the_result(self):
        self.start()
        g = self.open_graph(0)
        x1, y1 = g[0] + (g[2] - g[0]) * 2 // 5, g[1] + (g[3] - g[1]) // 4
        self.session.move_pointer(g[0] + 1, g[1] + 1)
        before = self.shot("plain", self.graph)

        self.session.move_pointer(x1, y1)
        lines = self.wait_readout(lambda ls: parse_point(ls[0]), "the readout's first line")
        self.assertEqual(lines[1:], ["", ""])
        self.assertNotEqual(before, self.shot("readout", self.graph),
                            "the readout box is not on the picture")
        # Elsewhere another point (which date and value a pixel gives is the measure unit
        # tests').
        self.session.move_pointer(x1 + 120, y1 - 40)
        self.wait_readout(lambda ls: parse_point(ls[0]) and ls[0] != lines[0], "a new point")
        # Off the plot (the top frame) the readout goes.
        self.session.move_pointer(x1, g[1] + 1)
        self.wait_readout(lambda ls: ls == [""], "the readout to go")
        self.assertEqual(self.probe("measure"), 0)

        # The first click fixes the start: both lines at that point, a zero result.
        self.session.click(x1, y1)
        lines = self.wait_readout(lambda ls: len(ls) == 3 and ls[2], "a measurement")
        self.assertEqual(self.probe("measure"), 1)
        self.assertEqual(lines[0], lines[1])
        self.assertEqual(lines[2], "Result=0.0%")
        start = parse_point(lines[0])
        # The end follows the pointer; the second click freezes it.
        x2, y2 = x1 + 200, y1 + 30
        self.session.move_pointer(x2, y2)
        self.session.click(x2, y2)
        wait_for(lambda: self.probe("measure") == 2, 20, "the frozen measurement")
        lines = self.readout()
        self.assertEqual(parse_point(lines[0]), start)
        end = parse_point(lines[1])
        self.assertGreater(end[0], start[0])
        self.assertEqual(lines[2], expected_result(start, end))
        frozen = self.shot("frozen", self.graph)
        # Frozen, the line ignores the pointer.
        self.session.move_pointer(x1 + 50, y1 + 50)
        for _ in range(5):
            self.assertEqual(self.readout(), lines)
        # The cancel message takes readout and line off the picture.
        self.session.send(self.graph, GRAPH_MESSAGE, GRAPH_CANCEL, 0)
        self.assertEqual(self.probe("measure"), 0)
        self.assertEqual(self.readout(), [""])
        self.session.move_pointer(g[0] + 1, g[1] + 1)
        after = self.shot("cancelled", self.graph)
        self.assertNotEqual(frozen, after)
        self.assertEqual(before, after, "the cancelled measurement left pixels behind")

    def test_keys_step_through_the_funds_and_stop_at_the_ends(self):
        self.start()
        order = tp.report_order(self.source, 1)
        fund_list = self.child(R["IDC_FUND_LIST"])
        self.open_graph(0)
        last = len(order) - 1

        # Past either end a key changes nothing (index None: it beeps; which keys refuse
        # where is the stepping unit test's): the next step inward lands on the fund beside
        # the end.
        for index, key in ((1, "Right"), (2, "Down"), (1, "Up"), (0, "Left"), (10, "Next"),
                           (last, "End"), (last - 10, "Prior"), (last, "Next"), (None, "Right"),
                           (last - 1, "Left"), (0, "Home"), (None, "Prior"), (1, "Right")):
            self.session.key(key)
            if index is not None:
                wait_for(lambda: self.tab_texts()[3:] == [order[index]], 20,
                         "the graph of fund %d after %s" % (index, key))
                self.assertEqual(self.session.listbox(fund_list)["sel"], [index], key)
                self.assertEqual(self.current_tab(), 3)
        self.shot("stepped")


class SearchMap(GraphTest):
    def test_ctrl_k_and_the_menu_command_switch_the_search_map_and_back(self):
        self.start()
        self.open_graph(0)
        self.focus_desktop()
        graph = self.shot("graph", self.graph)
        self.session.key("ctrl+k")
        wait_for(lambda: "[Search Map]" in self.status(), 20, "the status line's search map")
        # The map is drawn once the status line is built; the screen follows on its paint.
        wait_for(lambda: self.shot("search-map", self.graph) != graph, 20,
                 "the search map on screen")
        self.assertEqual(self.current_tab(), 3)
        self.command("IDM_SEARCH_MAP")
        self.assertNotIn("[Search Map]", self.status())
        wait_for(lambda: self.shot("graph-again", self.graph) == graph, 20, "the same graph again")


class Arrows(GraphTest):
    def zoom(self):
        return self.probe("zoom_from"), self.probe("zoom_to"), self.probe("zoom_max")

    def click(self, control, k):
        """A click in the centre of button k of a strip (14-pixel buttons, 15 apart, from 2)."""
        r = self.session.rect(self.child(R[control]))
        x, y = (9 + k * 15, 9) if control == "IDC_TOP_ARROWS" else (9, 9 + k * 15)
        self.session.click(r[0] + x, r[1] + y)

    def press(self, control, k, expect):
        """A click on button k that must leave the selection at expect (from, to, max)."""
        self.click(control, k)
        wait_for(lambda: self.zoom() == expect, 20,
                 "%s button %d to give %r (it gave %r)" % (control, k, expect, self.zoom()))

    def test_clicks_on_each_strip_move_the_selection_and_zoom_forgets_it(self):
        self.start()
        self.open_graph(0)
        self.assertEqual(self.zoom(), (0, 0, 0))
        # The first click makes the selection from the page's fund, then acts.
        before = self.shot("z0", self.graph)
        self.click("IDC_TOP_ARROWS", 0)
        wait_for(lambda: self.zoom() != (0, 0, 0), 20, "the zoom selection")
        # Which range and scale the first use takes is the arrow unit tests'.
        frm, to, top = self.zoom()
        wait_for(lambda: self.shot("z1", self.graph) != before, 20,
                 "the page drawn on the new scale")
        top -= 1000
        self.press("IDC_TOP_ARROWS", 1, (frm, to, top))

        # A click on each strip's first two buttons shows the strips wired to their moves;
        # every button's place and move, within the data and the scale's floor, are the
        # arrow unit tests'.
        L, Rt = "IDC_LEFT_ARROWS", "IDC_RIGHT_ARROWS"
        for control, k, expect in ((L, 1, (frm + 1, to, top)), (L, 0, (frm, to, top)),
                                   (Rt, 0, (frm, to - 1, top)), (Rt, 1, (frm, to, top)),
                                   ("IDC_TOP_ARROWS", 0, (frm, to, top + 1000))):
            self.press(control, k, expect)
        self.shot("zoomed")
        # The Zoom command forgets the selection.
        self.command("IDM_ZOOM")
        self.assertEqual(self.zoom(), (0, 0, 0))


class Legend(GraphTest):
    def test_a_legend_click_scrolls_the_list_to_the_categorys_first_fund(self):
        self.start()
        funds = tp.report_funds(self.source, 1)
        fund_list = self.child(R["IDC_FUND_LIST"])
        legend = self.session.rect(self.child(R["IDC_LEGEND"]))
        line = self.probe("line_height")
        # The category whose first fund lies furthest down the list.
        firsts = {f["category"]: i for i, f in reversed(list(enumerate(funds)))}
        category = max((c for c in firsts if 1 <= c <= 13), key=lambda c: firsts[c])
        target = firsts[category]
        self.assertEqual(self.session.listbox(fund_list)["top"], 0)
        self.session.click(legend[0] + 3, legend[1] + (category - 1) * line + line // 2)
        wait_for(lambda: self.session.listbox(fund_list)["caret"] == target, 20,
                 "the caret on the category's first fund")
        lb = self.session.listbox(fund_list)
        # Scrolled so that the fund is at the top, or as far as the list goes.
        self.assertTrue(0 < lb["top"] <= target, lb)
        self.assertEqual(lb["selcount"], 0, "the selection changed")


def settings_tail(path):
    return tp.read_bytes(path)[15:]


class Dialogs(GraphTest):
    def benchmark_dialog(self, choose, button, command=True):
        """Opens the Default Benchmark dialog (without command: waits for it), chooses the
        item called choose and closes the dialog with button (press waits until it has
        gone); returns the items and the item chosen when the dialog opened."""
        box = self.open_box("IDM_DEFAULT_BENCHMARK" if command else None,
                            caption="Default Benchmark")
        combo = self.session.child(box["hwnd"], R["IDC_BENCHMARK_CHOICE"])["hwnd"]
        cb = self.session.ask("cb", combo)
        self.session.send(combo, CB_SETCURSEL, cb["items"].index(choose), 0)
        self.session.press(box, button)
        return cb["items"], cb["cursel"]

    def test_about_box_and_the_default_benchmark_dialog(self):
        self.start()
        # About shows the dynamic memory in use.
        memory = self.probe("memory")
        self.assertGreater(memory, 0)
        box = self.open_box("IDM_ABOUT", text="bytes of dynamic memory used.")
        self.assertEqual(box["caption"], "Vantry")
        self.assertEqual(box["text"].split("\n")[0], "Mutual Fund Performance Analyzer.")
        self.assertIn("%u bytes of dynamic memory used." % memory, box["text"])
        self.session.press(box)

        # Default Benchmark lists the index funds; OK stores the choice, Cancel keeps it.
        funds = tp.report_funds(self.source, 1)
        names = sorted(f["name"] for f in funds if f["category"] == 7)
        settings = os.path.join(self.data, "SETTINGS")

        items, cursel = self.benchmark_dialog(names[1], harness.IDOK)
        self.assertEqual(items[0], "(None)")
        self.assertEqual(sorted(items[1:], key=str.upper), sorted(names, key=str.upper))
        self.assertEqual(cursel, 0)
        short = [f["shortName"] for f in funds if f["name"] == names[1]][0]
        wait_for(lambda: os.path.exists(settings), 20, "SETTINGS")
        self.assertEqual(settings_tail(settings), b" " + short.encode())

        # Opened again it shows the choice; Cancel after another choice keeps it.
        _, cursel = self.benchmark_dialog("(None)", harness.IDCANCEL)
        self.assertEqual(cursel, items.index(names[1]))
        self.assertEqual(settings_tail(settings), b" " + short.encode())

        # A stored default that is no index fund, read at the next start: the dialog warns
        # and selects nothing; "(None)" and OK clear it.
        other = next(f["shortName"] for f in funds if f["category"] != 7)
        self.exit_program()
        pathlib.Path(settings).write_bytes(tp.read_bytes(settings)[:16] + other.encode())
        self.start()
        self.expect_box("Can't find default index.", "IDM_DEFAULT_BENCHMARK")
        _, cursel = self.benchmark_dialog("(None)", harness.IDOK, command=False)
        self.assertEqual(cursel, -1)
        wait_for(lambda: settings_tail(settings) == b" ", 20, "the cleared default")


class Jobs(GraphTest):
    """The Optimize menu's jobs on a generated directory large enough to outlast a click."""

    def setUp(self):
        self.source = tp.generated_source("jobs", "--funds", "120", "--years", "25", "--seed", "3")
        super().setUp()

    def run_job(self, command, question, during=None):
        """Starts a job for all funds, answers its question, calls during while the job runs
        and waits for the job's end."""
        self.expect_box(question, command)
        if during:
            during()
        wait_for(lambda: self.probe("worker") == 0, tp.BIG_LOAD_TIMEOUT, "the job's end")
        wait_for(lambda: not self.session.boxes(self.pid), 20, "no box left")

    def report_copy(self, chart):
        """The report tool's funds, read from a copy of the data directory as the program
        left it."""
        copy = os.path.join(self.session.work_dir, "copy")
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(self.data, copy)
        return tp.report_funds(copy, chart)

    def test_validate_recalculate_reselect_and_change_leave_their_results(self):
        self.start(tp.BIG_LOAD_TIMEOUT)
        opt = os.path.join(self.data, "opt")
        status = self.status()

        def refused():
            # Validate runs on the worker: a second job meanwhile is refused and Validate's
            # status texts show (a fund's text only once its work is done).
            refusal = self.open_box("IDM_RECALCULATE", text=THREAD_RUNNING)
            self.assertEqual(self.probe("worker"), 1, "the job was not running when refused")
            wait_for(lambda: self.status().startswith("Validate: "), 60, "Validate's status")
            self.session.press(refusal)
        self.run_job("IDM_VALIDATE_ALL", "Validate the optimal values of *ALL* funds", refused)
        missing = [f["shortName"] for f in self.report_copy(25)
                   if not f["series"][0]["analyst"]["validation"]]
        self.assertEqual(missing, [], "funds the program's validate cache left out")

        # Recalculate, Reselect and Change to EMA rewrite opt each and leave the status line
        # as it was; after the change every fund's kind is EMA (kind 3). What Recalculate and
        # Reselect choose is the jobs' unit tests', the refusals and status texts of a
        # Recalculate the big load's test.
        kinds = lambda: {f["series"][0]["maKind"] for f in self.report_copy(1)}
        for command, question in (("IDM_RECALCULATE", "Recalculate optimal values"),
                                  ("IDM_RESELECT", "Reselect moving average"),
                                  ("IDM_EMA", "Change moving average")):
            if command == "IDM_EMA":
                self.assertGreater(len(kinds()), 1, "every fund has one kind before the change")
            stamp = os.stat(opt).st_mtime_ns
            self.run_job(command, question + " for *ALL* funds")
            self.assertNotEqual(os.stat(opt).st_mtime_ns, stamp, command)
            self.assertEqual(self.status(), status)
        self.assertEqual(kinds(), {3})


if __name__ == "__main__":
    tp.main()
