// The fast grid of the searches: the 11 x 11 threshold strategies of a series run in one
// scan of its trial points, bit for bit as the straightforward reference runs them.
#ifndef VANTRY_FASTGRID_H
#define VANTRY_FASTGRID_H

#include <stdint.h>

#include "analysis/strategy.h"
#include "data/fund.h"

// Buy thresholds 0..10 (rows) by sell thresholds 0..10 (columns), percent.
#define STRATEGY_THRESHOLDS 11
typedef Strategy StrategyGridCells[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];

// Runs the 121 strategies over the first n points of the series (n > 0) with its current
// ma, then the final pass, and leaves each strategy's end state in cells.
void RunFastGrid(FundRecord *fund, int series, uint32_t n, StrategyGridCells *cells);
// The same, built for processors with 512-bit vectors; call it only when
// WideGridAvailable (in a build without it, it is RunFastGrid).
void RunFastGridWide(FundRecord *fund, int series, uint32_t n, StrategyGridCells *cells);
// Whether this build has the wide grid and this processor can run it.
int WideGridAvailable(void);

#endif
