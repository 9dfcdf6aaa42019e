// Normalization of a fund's points to total return, the relative series, and the
// statistics of a series (period returns, volatility, Sharpe, year returns, extremes).
#ifndef VANTRY_STATS_H
#define VANTRY_STATS_H

#include <stdint.h>

#include "data/fund.h"

// The fund-wide largest and smallest values of the statistics the comparison charts
// scale by, per series slot (0, 1), and their whole-number axis extents.
enum ChartStatistic {
    STAT_YTD, STAT_VOLATILITY, STAT_REWARD_RISK, STAT_SHARPE, STAT_TOTAL,
    STAT_6MONTH, STAT_1YEAR, STAT_3YEAR, STAT_5YEAR, STAT_7YEAR, STAT_10YEAR,
    STAT_STRENGTH, STAT_MACD_STRENGTH, STAT_ROC,
    STAT_MAX_DRAWDOWN, STAT_SORTINO, STAT_BETA, STAT_ALPHA, STAT_UP_CAPTURE, STAT_DOWN_CAPTURE,
    STAT_TRACKING_ERROR, STAT_INFORMATION_RATIO, STAT_WORST_3YEAR,
    STAT_WALK_FORWARD, STAT_OVERFIT_PROBABILITY, STAT_DEFLATED_SHARPE, CHART_STATISTIC_COUNT
};

struct ChartScaleExtremesRecord {
    double maximum[2][CHART_STATISTIC_COUNT];
    double minimum[2][CHART_STATISTIC_COUNT];
    uint32_t negativeExtent[2][CHART_STATISTIC_COUNT];  // whole numbers, set by the load
    uint32_t totalExtent[2][CHART_STATISTIC_COUNT];
    double taxEfficiencyMaximum;
    uint32_t taxEfficiencyExtent;
};
extern ChartScaleExtremesRecord ChartScaleExtremes;
// Where the statistics step of the calling thread tracks its extremes: ChartScaleExtremes
// (null restores it), or a worker's own record merged into it afterwards
// (MergeChartScaleExtremes).
void SetThreadChartExtremes(ChartScaleExtremesRecord *target);
// Raises ChartScaleExtremes by every maximum and lowers it by every minimum of part;
// the order of merging does not change the result.
void MergeChartScaleExtremes(const ChartScaleExtremesRecord *part);
// A worker thread's own QuarterTable (QuarterCount entries); null means the shared one.
void SetThreadQuarterTable(double *table);

// Zeroes every extreme (at the start of a load).
void ResetChartScaleExtremes(void);
// Raises the slot's maximum with a positive value, lowers its minimum with a negative one.
void TrackChartExtreme(int series, ChartStatistic statistic, double value);
// The value of a statistic in a SeriesStats block.
double ChartStatisticValue(const SeriesStats *s, ChartStatistic statistic);

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
