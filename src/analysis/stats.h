// Normalization of a fund's points to total return, the relative series, and the
// statistics of a series (period returns, volatility, Sharpe, year returns, extremes).
#ifndef VANTRY_STATS_H
#define VANTRY_STATS_H

#include <stdint.h>

#include "analysis/extremes.h"
#include "data/fund.h"

// A worker thread's own QuarterTable (QuarterCount entries); null means the shared one.
void SetThreadQuarterTable(double *table);

// The first index of the points counted as recent: recentStart, else recentStartShort,
// else 0 (every point).
uint32_t RecentBoundary(const FundRecord *fund);
// Raises the change extremes of a series with one point's change (the recent pair too
// when recent is set).
void TrackChange(SeriesStats *stats, double change, int recent);

// Removes the points, distributions and splits without a date in the DateTable and fills
// the values of noValue points of series 0 (ends by copying, inner runs on a line).
void FillMissingValues(FundRecord *fund);
// Series 0 as the value of 1.0 invested at the first point (splits applied,
// distributions reinvested), its changes and their extremes, navChange, the
// distributions' totals.
void NormalizeFund(FundRecord *fund);
// Series 1: relative to the index fund when the fund has one of category 7, else
// series 1 is series 0. Analyses it with OptimizeFund(fund, 1).
void BuildRelativeSeries(FundRecord *fund);
// The statistics step of a series, the last step of OptimizeFund: volatility, scale
// maxima, period returns, year returns, latest-point measures, total return,
// reward/risk, Sharpe, tax efficiency, and the chart extremes.
void ComputeSeriesStatistics(FundRecord *fund, int series);

#endif
