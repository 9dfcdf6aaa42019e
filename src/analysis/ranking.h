// The order of the fund table for the fund list: names, the comparison chart's ranking,
// the category blocks and the portfolio at the end.
#ifndef VANTRY_RANKING_H
#define VANTRY_RANKING_H

#include <stdint.h>

#include "data/fund.h"

// Every reordering below is a stable insertion that moves whole FundRecords inside
// FundTable, so funds with equal keys keep the order they had, and any pointer into the
// table is stale afterwards. They read the view state (data/viewflags.h).

// The window program's parts of SortFunds, null until the shell installs them (the
// core and its tests run without). The zero-line hook runs after the chart ranking and
// before the category grouping, to recompute the comparison chart's zero line from the
// ranked table; the re-sync hook runs last, to bring the fund list and the graph tabs
// in line with the new order (it does nothing while the fund list does not exist).
typedef void (*SortFundsHook)(void);
extern SortFundsHook SortFundsZeroLineHook;
extern SortFundsHook SortFundsResyncHook;

// Orders FundTable for display: by name; then ChartRanking when ChartKind is not 0;
// the zero-line hook; CategoryGrouping when CategorySort is set; the portfolio
// gathering when GroupMode is set; the re-sync hook.
void SortFunds(void);
// By name, without regard to case (a missing name sorts as empty).
void SortFundsByName(void);
// Descending by the key of ChartKind (KeyOfChart), then for Signals holders first and
// non-holders last. No reordering for chart 0, or chart 13 without an indicator on.
void ChartRanking(void);
// Category 1 to 15 in blocks at the top, in that order, category 0 last; with GroupMode
// an inPortfolio fund counts as category 15 ("Portfolio").
void CategoryGrouping(void);
// Moves the inPortfolio funds to the end, keeping their order.
void GatherPortfolioFunds(void);

// The series whose statistics rank a fund: 1 when ShowBenchmark is on and the fund has
// an indexName, else 0.
int KeySeries(const FundRecord *fund);
// The value a chart ranks fund by, into *key; 0 when the chart ranks nothing (chart 0,
// chart 13 with none of ShowMovingAverage, ShowMacd, ShowRoc on, codes past 14). Chart 5
// uses the fund's one taxEfficiency; chart 12 ranks by return6Month before its holders
// rule; chart 13 takes currentStrength, macdStrength or rocLatest, the first whose
// indicator is on in that order.
int KeyOfChart(const FundRecord *fund, uint32_t chartKind, double *key);
// The holding bit of the last point of a series under the indicator shown
// (ShowMovingAverage, else ShowMacd, else ShowRoc): 1 or 0, and 0 when none is on or
// the series has no points.
int SignalHolding(const FundRecord *fund, int series);

#endif
