// The view state: the globals every layer reads (the chart shown, the graphs' options, the
// default benchmark, the unzip program), the chart names and the status line.
#ifndef VANTRY_VIEWFLAGS_H
#define VANTRY_VIEWFLAGS_H

#include <stdint.h>

// ChartKind codes: the comparison chart shown in the fund list.
enum ChartKindCode {
    CHART_NONE = 0,
    CHART_YTD_RETURN = 1,
    CHART_VOLATILITY = 2,
    CHART_REWARD_RISK = 3,
    CHART_TOTAL_RETURN = 4,
    CHART_TAX_EFFICIENCY = 5,
    CHART_6_MONTH = 6,
    CHART_1_YEAR = 7,
    CHART_3_YEAR = 8,
    CHART_5_YEAR = 9,
    CHART_7_YEAR = 10,
    CHART_10_YEAR = 11,
    CHART_SIGNALS = 12,
    CHART_CURRENT_STRENGTH = 13,
    CHART_SHARPE = 14,
    // The analyst's charts (their figures: docs/statistics.md).
    CHART_MAX_DRAWDOWN = 15,
    CHART_SORTINO = 16,
    CHART_BETA = 17,
    CHART_ALPHA = 18,
    CHART_UP_CAPTURE = 19,
    CHART_DOWN_CAPTURE = 20,
    CHART_TRACKING_ERROR = 21,
    CHART_INFORMATION_RATIO = 22,
    CHART_WORST_3_YEAR = 23,
    // The Validate job's charts (docs/statistics.md); funds without the figures draw no bar.
    CHART_WALK_FORWARD = 24,
    CHART_OVERFIT_PROBABILITY = 25,
    CHART_DEFLATED_SHARPE = 26,
    CHART_KIND_COUNT = 27
};

// The view state. Flags hold 0 or 1; the widths are the ones the program has always
// kept. Read without locks: while a worker runs, the commands that change them refuse.
// Defaults in brackets; ResetViewState restores them.
extern uint32_t ChartKind;          // [1] a ChartKindCode
extern uint8_t CategorySort;        // [1] bars grouped by fund category
extern uint32_t ZoomOn;             // [1] graphs start at recentStart, recent scale maxima
extern uint8_t ShowMovingAverage;   // [1]
extern uint8_t ShowMacd;            // [0]
extern uint8_t MagnifyMacd;         // [0]
extern uint8_t ShowRoc;             // [0]
extern uint8_t ShowRsi;             // [0]
extern uint8_t ShowBollinger;       // [0]
extern uint8_t ShowDistributions;   // [0]
extern uint8_t ShowBenchmark;       // [0] benchmark-relative figures and band
extern uint8_t GroupMode;           // [0] portfolio funds gathered at the end of the list
extern uint32_t LinearScale;        // [0] 0 logarithmic price axis, 1 linear
extern uint32_t CombinedGraphs;     // [0] one shared "Graphs" tab
extern uint8_t OverlaidGraphs;      // [0] combined graphs on one shared axis
// [0] graph pages show each fund's search maps (docs/statistics.md) instead of its graph.
// Not kept in SETTINGS, whose bytes are all taken: every start shows the graphs.
extern uint8_t ShowSearchMap;

// shortName of the default benchmark fund; empty for none. At most 511 characters.
#define DEFAULT_BENCHMARK_SIZE 512
extern char DefaultBenchmark[DEFAULT_BENCHMARK_SIZE];

// Path of the user's unzip program, a counted block (DynamicMemoryUsed); null when none
// is set. Kept in SETTINGS.
extern char *UnzipProgram;
// Replaces UnzipProgram by a counted copy of path (the old block freed); null or an
// empty path unsets it. On "Out of memory." it stays unset.
void SetUnzipProgram(const char *path);

// The chart's name as the status line shows it ("None", "YTD Return", ... "Worst 3-Year
// Return"); "" for a code outside the ChartKindCodes.
const char *ChartName(uint32_t kind);

// The last status line built. The longest combination of tags fits with room to spare.
#define STATUS_LINE_SIZE 256
extern char StatusLine[STATUS_LINE_SIZE];

// Builds StatusLine from the current view state and sends it as progress code 5 (the
// status bar's text; without a main window it goes nowhere). Returns StatusLine.
const char *BuildStatusLine(void);

// Restores every view-state global to its default, empties DefaultBenchmark and unsets
// UnzipProgram (freeing its block).
void ResetViewState(void);

#endif
