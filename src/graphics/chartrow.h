// The comparison charts drawn into the fund list's rows: their scales, the row measure,
// the value of a row, the row painter and the Signals chart's states.
#ifndef VANTRY_CHARTROW_H
#define VANTRY_CHARTROW_H

#include <stdint.h>

#include "data/fund.h"
#include "data/viewflags.h"
#include "graphics/surface.h"

// ---------------------------------------------------------------------------------------
// Category colours (palette indexes): the bar colour draws a fund's name and its bar, the
// label colour the value text over the bar. Both come from CategoryTable's attribute
// word; a category past the table gives black on white, as category 0 does.
uint32_t CategoryBarColour(uint32_t category);
uint32_t CategoryLabelColour(uint32_t category);

// ---------------------------------------------------------------------------------------
// Scales. A span is a whole number of the statistic's units (percent or ratio):
// positive = the fund-wide largest value rounded up (0 when it is not above 0),
// negative = the magnitude of the smallest rounded up (0 when it is not below 0),
// total = positive + negative.
struct ChartSpanRecord {
    uint32_t positive;
    uint32_t negative;
    uint32_t total;
};

// The indicators of the Current Strength chart, each with its own spans.
enum StrengthIndicator { STRENGTH_MA = 0, STRENGTH_MACD = 1, STRENGTH_ROC = 2, STRENGTH_COUNT = 3 };

// ChartSpan[kind][view], view 0 with ShowBenchmark clear and 1 with it set. Kinds without
// bars (0, 12) and Current Strength (13) stay zero here; Volatility has only a total;
// Tax Efficiency has one total (its largest value rounded up) in both views.
extern ChartSpanRecord ChartSpan[CHART_KIND_COUNT][2];
// Current Strength's spans, [StrengthIndicator][view].
extern ChartSpanRecord StrengthSpan[STRENGTH_COUNT][2];

// Derives ChartSpan and StrengthSpan from the whole-number extents of ChartScaleExtremes
// (analysis/stats.h), which the load derives after the statistics (FinishChartScales);
// run it whenever they were recomputed.
void ComputeChartSpans(void);
// The spans of a chart kind in the current view (ShowBenchmark); Current Strength those
// of the first indicator on among ShowMovingAverage, ShowMacd, ShowRoc (all zero when
// none is); all zero for a kind without bars or a code past 14.
ChartSpanRecord CurrentChartSpan(uint32_t chartKind);

// ---------------------------------------------------------------------------------------
// Row geometry, in pixels.

// Width of the bar area of every row; 0 when the rows are too narrow for bars.
extern uint32_t ChartWidth;
// x of the zero line inside the bar area; 0 for the kinds without one (2, 5, 12).
extern uint32_t ZeroX;

// ComputeChartSpans, then ZeroX from ChartWidth and the current chart kind and view:
// ChartWidth x NegativeSpan / TotalSpan (unsigned, truncating) for the signed kinds, 0
// when the TotalSpan is 0 and for the other kinds. SortFunds runs it through
// SortFundsZeroLineHook, so the spans are fresh after every load and recalculation.
void ComputeZeroX(void);
// The measure step of the fund list: ChartWidth = itemWidth - 20 - Wp - Wc - MaxNameWidth
// when positive (Wp, Wc: widths of the portfolio and check-mark bitmaps), else 0; then
// ComputeZeroX. Returns the row height, TextHeight + 2.
uint32_t MeasureFundRow(uint32_t itemWidth);
// Row height of the fund list: TextHeight + 2.
uint32_t FundRowHeight(void);

// ---------------------------------------------------------------------------------------
// Values.

// The series a row shows: 1 when ShowBenchmark is set and the fund has an indexName.
int RowSeries(const FundRecord *fund);
// The value of a fund's row for a chart kind with bars, into *value; for Current
// Strength with the moving average also the signal bar's value into *second (else 0).
// Returns 0 when the row has no value: kinds 0 and 12, codes past 14, Current Strength
// with none of its three indicators on.
int FundRowValue(const FundRecord *fund, uint32_t chartKind, double *value, double *second);

// The bar extent of one row in pixels relative to the bar area's left edge, and its
// label; what DrawFundRow draws for the kinds with bars.
struct RowBar {
    int32_t barLeft, barRight;         // the main bar, barLeft <= barRight (empty when equal)
    int32_t secondLeft, secondRight;   // Current Strength's signal bar (empty when equal)
    uint32_t negative;                 // 1: label right-aligned against the zero line
    uint32_t barColour;                // palette index of the main bar
    uint32_t secondColour;             // of the signal bar
    uint32_t labelColour;
    char label[48];                    // "" when the row has no value
};
// Fills *bar for a fund under the current ChartKind, ChartWidth, ZeroX and view. A bar
// never leaves 0..ChartWidth: a value beyond the span (only the signal bar can be) is cut
// at the area's edge, and a negative Volatility or Tax Efficiency draws no bar.
void ComputeRowBar(const FundRecord *fund, RowBar *bar);

// ---------------------------------------------------------------------------------------
// Signals.

// The holding bit of the series' last point for the indicator in force, tested in the
// order ShowMacd, ShowRoc, ShowMovingAverage: 1 hold, 0 out; 2 (no icon) when none of the
// three is on or the series does not exist (series 1 exists only when the fund has its
// own relative series).
int SignalState(const FundRecord *fund, int series);
// The run at the end of the series' values: 1, 2, 3 rising for three, four, five or more
// points (a flat step counts as rising); 4, 5, 6 falling likewise; 0 when there is no run
// of three, fewer than six points, or the series does not exist.
int TrendState(const FundRecord *fund, int series);
// The bitmap slot of a trend state 1..6.
uint32_t TrendIconSlot(int trendState);

// ---------------------------------------------------------------------------------------
// The row painter.

enum RowDrawAction {
    ROW_DRAW_ENTIRE = 0,   // the whole row
    ROW_DRAW_SELECT = 1,   // only the selection changed: the check mark
    ROW_DRAW_FOCUS = 2     // only the focus changed: toggle the focus rectangle
};
#define ROW_STATE_SELECTED 1u
#define ROW_STATE_FOCUS 2u

// Draws row `row` of the fund list (FundTable[row]) into the rectangle left..right-1 x
// top..bottom-1 of t, which holds the row's background already. Row -1 (an empty list)
// draws only the focus rectangle when state has ROW_STATE_FOCUS; a row past FundCount
// draws nothing else either. Leaves t's text mode, alignment and clip as it found them.
void DrawFundRow(DrawTarget *t, int32_t row, int32_t left, int32_t top, int32_t right,
                 int32_t bottom, uint32_t action, uint32_t state);

#endif
