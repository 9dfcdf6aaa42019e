// The preparation of a graph page: the default benchmark, the benchmark data, the range
// and scale of the funds in view, and the painting of the single, stacked or overlaid
// graphs into the back buffer. The Windows program and the report tool both call it.
#ifndef VANTRY_GRAPHPAGE_H
#define VANTRY_GRAPHPAGE_H

#include <stdint.h>

#include "data/fund.h"
#include "graphics/surface.h"

// The graph window's zoom selection (DatePeriods and a value maximum); all 0 for none.
// The graph window sets them; a selection replaces every fund's VisibleRange and the
// price scale.
extern int32_t ZoomSelectionFrom;
extern int32_t ZoomSelectionTo;
extern double ZoomSelectionMax;
// 1 when either DatePeriod or the value maximum of the selection is not 0.
int ZoomSelectionActive(void);

// What the page was last painted with (the graph window's measuring line reads them):
// the VisibleRange and PriceUnits of the single fund, or the shared ones.
extern int32_t PaintedFrom;
extern int32_t PaintedTo;
extern uint32_t PaintedPriceUnits;

// The overlay colours in the order they are handed out.
#define OVERLAY_COLOUR_COUNT 12
extern const uint8_t OverlayColourOrder[OVERLAY_COLOUR_COUNT];

// The default benchmark rule over the displayed funds: exactly one of category 7 becomes
// DefaultBenchmark (when it differs, compared without regard to case); two or more clear
// it (when it was not empty). Returns 1 when DefaultBenchmark changed. Writes nothing.
int ApplyDefaultBenchmarkRule(void);

// 1 when the fund has a benchmark-relative series of its own (not series 0's arrays).
int HasRelativeSeries(const FundRecord *fund);
// The fund's VisibleRange in DatePeriods (both 0 without points): from its recentStart
// point under ZoomOn (else recentStartShort, else the first point) to its last point;
// the zoom selection, when there is one, replaces both.
void FundVisibleRange(const FundRecord *fund, int32_t *from, int32_t *to);
// The fund's value maximum for the overlay in force (the relative series' with
// ShowBenchmark when the fund has one; the recent maxima under ZoomOn).
double FundValueMaximum(const FundRecord *fund);
// The scale maximum of a series for the overlay in force: the moving-average, MACD or
// ROC replay's, the bands', or the value's; the recent ones under ZoomOn.
double OverlayScaleMaximum(const SeriesStats *st);
// PriceUnits of a maximum: rounded up to a whole number, 0 when not positive; with a zoom
// selection the selection's maximum rounded up, at least 1.
uint32_t PriceUnitsOf(double maximum);
// The rows the bands of a fund graph of height h take: (h - TextHeight) / 5 for each of
// the distributions, benchmark, RSI and ROC bands shown, one or two of them for MACD;
// 0 for a fund without points.
int32_t FundBandHeights(const FundRecord *fund, int32_t h);

// A benchmark refresh: given the BenchmarkList, starts the worker that builds the
// relative series and redraws the page when it ends. Returns 1 when it started. The
// Windows program installs it; without it (the report tool, the tests) the series are
// built at once and the page is drawn.
typedef int (*BenchmarkRefreshStarter)(const char *list);
extern BenchmarkRefreshStarter StartBenchmarkRefresh;
// The names of the funds of the last refresh, each ended by a zero byte, the list by an
// extra one; at most BENCHMARK_LIST_SIZE bytes, a counted block. Null when none.
#define BENCHMARK_LIST_SIZE 512
extern char *BenchmarkList;
void FreeBenchmarkList(void);

// 1 while a worker thread runs; the Windows program installs it (null: never, as in the
// report tool). The data set is then the worker's: a page is drawn from the data as it
// stands, without the default benchmark rule, new benchmark assignments, the Index and
// settings files or a refresh, and GraphPageDeferred is set, so that the program prepares
// the page again once the worker has ended. A preparation without a worker clears it.
typedef int (*WorkerQuery)(void);
extern WorkerQuery WorkerRunning;
extern int GraphPageDeferred;

// Prepares and draws the graph page of tab (3 and up) into t, a back buffer of at least
// graphWidth x graphHeight pixels: the default benchmark rule, the light-gray page, the
// benchmark data (a refresh that starts skips the drawing: it redraws the page when it
// ends), then the single fund's statistics and graph, the stacked combined graphs or the
// overlaid graph, and the settings file when the default benchmark changed. Returns 1
// when the page was drawn, 0 when not (a refresh started, or the graph has no room).
int PrepareGraphPage(DrawTarget *t, int32_t graphWidth, int32_t graphHeight, uint32_t tab);

#endif
