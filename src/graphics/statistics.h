// The fund statistics panel: columns of black text in the upper left of a graph cell.
#ifndef VANTRY_STATISTICS_H
#define VANTRY_STATISTICS_H

#include <stdint.h>

#include "data/fund.h"

// Writes the figures of fund's series (0 own, 1 benchmark-relative) on the DrawSurface from
// (x, top): the calendar-year returns (latest first, ten to a column), the period
// returns, the risk column, the strategy's best return when an indicator is shown, and the
// NAV and distribution totals. A line at row y is drawn only when y + LineHeight <= limit.
// A column that would reach past x = right is left out, and every column right of it.
// Sets the fund's readout position just right of the last column drawn, at row top, when
// a readout of the usual width fits there; else half a line under the lowest line drawn,
// at x.
void PaintFundStatistics(FundRecord *fund, int32_t x, int32_t top, int32_t limit,
                         int32_t right, uint32_t series);

#endif
