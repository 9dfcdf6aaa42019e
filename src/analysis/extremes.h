// The fund-wide largest and smallest values of the statistics the comparison charts scale
// by: the statistics step and the analyst's figures raise them, the charts read them.
#ifndef VANTRY_EXTREMES_H
#define VANTRY_EXTREMES_H

#include <stdint.h>

#include "data/fund.h"

// The statistics with extremes; the record keeps them per series slot (0, 1), with their
// whole-number axis extents.
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
// Zeroes every extreme (at the start of a load).
void ResetChartScaleExtremes(void);
// Raises the slot's maximum with a positive value, lowers its minimum with a negative one.
void TrackChartExtreme(int series, ChartStatistic statistic, double value);
// The value of a statistic in a SeriesStats block.
double ChartStatisticValue(const SeriesStats *s, ChartStatistic statistic);
// Raises the calling thread's tax-efficiency maximum with value.
void TrackTaxEfficiencyExtreme(double value);

#endif
