// The analyst's figures of a series (drawdown, monthly risk, Sortino, rolling returns), the
// figures against the index fund (beta, alpha, R squared, tracking error, information
// ratio, capture) and the percentile ranks in category. docs/statistics.md defines them.
#ifndef VANTRY_ANALYST_H
#define VANTRY_ANALYST_H

#include <stdint.h>

#include "data/fund.h"

// The months of the rolling windows, in the order of AnalystStats::rolling.
extern const uint32_t RollingMonths[ROLLING_WINDOWS];

// The figures of one series from its own points: drawdown, the monthly returns and what
// rests on them, the rolling returns. Series 0 counts excess returns against RISKFREE,
// series 1 (already relative) against 0. Part of the statistics step; leaves the
// benchmark figures, beatShare and the percentile ranks to FinishAnalystFigures.
void ComputeAnalystSeries(FundRecord *fund, int series);

// After every fund's series are analysed: the benchmark figures of every fund with an
// index fund of category 7 that has points, the rolling windows' beat shares, the copies
// for funds whose series 1 is series 0, the chart extremes of the new charts, and the
// percentile ranks. Serial: reads other funds' figures.
void FinishAnalystFigures(void);

// The figure behind a chart code of the analyst's charts, from the fund's block of series
// s (the benchmark figures always from series 0); 0 with a result of 0 when the code is
// not one of them or the fund has no such figure.
int AnalystChartValue(const FundRecord *fund, int series, uint32_t chartKind, double *value);

// Whether a chart code is one of the validation charts.
int IsValidationChart(uint32_t chartKind);
// The figure of a validation chart (walk-forward percent a year, PBO and the deflated
// Sharpe ratio in percent), and 1 when the fund has it for its current settings; 0 with
// a figure of 0 otherwise (and for every other code).
int ValidationChartValue(const FundRecord *fund, uint32_t chartKind, double *value);
// Raises the fund-wide extremes of the validation charts with the fund's figures, in both
// views' slots (the figures are of series 0 whichever view shows them).
void TrackValidationExtremes(const FundRecord *fund);

#endif
