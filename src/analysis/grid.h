// The 11 x 11 grid of threshold strategies over a series' trial points: the fast grid the
// searches run and the straightforward reference it must match bit for bit.
#ifndef VANTRY_GRID_H
#define VANTRY_GRID_H

#include <stdint.h>

#include "analysis/fastgrid.h"
#include "analysis/strategy.h"
#include "data/fund.h"

// The StrategyGridCells (fastgrid.h) of the searches, one per thread (the analysis runs
// on several): it keeps the final cash of the last grid run (GridAverageReturn reads it);
// the ROC threshold search uses cells [1..4][5..8].
StrategyGridCells *CurrentStrategyGrid(void);
#define StrategyGrid (*CurrentStrategyGrid())
// Runs all 121 strategies of the StrategyGrid over the trial points with the series'
// current ma (the fast grid, wide where the processor allows), then the final pass.
// Returns the largest final cash and its buy and sell thresholds; among equal cash the
// first in the scan (lower buy, then lower sell) wins. 0 with thresholds 0 and 0 when the
// series has no points.
double ScoreMaGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// The same grid the straightforward way: one state per threshold pair, every point, the
// rules evaluated in the order they are written. ScoreMaGrid must match it bit for bit
// (final cash of every strategy, best cash and thresholds); the tests hold them together.
double ScoreMaGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// For the benchmarks: when set, ScoreMaGrid runs the reference; and the number of points
// the grids have stepped through (each step advances all 121 strategies).
extern int GridReferenceOnly;
// For the tests: when set, ScoreMaGrid runs the fast grid built for the processor the
// build targets even where the wide build could run.
extern int GridBaselineOnly;
extern uint64_t GridPointSteps;
// The annualized return (percent a year) of the mean final cash of the strategies with
// both thresholds at most k (at most 10) in the last grid run, from value(0) over the
// trial period; 0 without points.
double GridAverageReturn(const FundRecord *fund, int series, uint32_t k);
// The mean final cash of the last grid run's strategies with both thresholds at most k.
double GridMeanCash(uint32_t k);
// DatePeriod of the last trial point less that of point 0 (0 without points): the span
// the grid's returns are annualized over.
int32_t TrialPeriodSpan(const FundRecord *fund, int series);

#endif
