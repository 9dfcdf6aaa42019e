// The statistics of a series (period returns, volatility, Sharpe, year returns, extremes).
#ifndef VANTRY_STATS_H
#define VANTRY_STATS_H

#include <stdint.h>

#include "analysis/extremes.h"
#include "data/fund.h"

// A worker thread's own QuarterTable (QuarterCount entries); null means the shared one.
void SetThreadQuarterTable(double *table);

// The statistics step of a series, the last step of OptimizeFund: volatility, scale
// maxima, period returns, year returns, latest-point measures, total return,
// reward/risk, Sharpe, tax efficiency, and the chart extremes.
void ComputeSeriesStatistics(FundRecord *fund, int series);

#endif
