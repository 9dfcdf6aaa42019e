// The fund statistics panel: columns of black text in the upper left of a graph cell.
#ifndef VANTRY_STATISTICS_H
#define VANTRY_STATISTICS_H

#include <stdint.h>

#include "data/fund.h"

// Writes the figures of fund's series (0 own, 1 benchmark-relative) on the DrawSurface from
// (x, top): the calendar-year returns (latest first, ten to a column), the period
// returns, the risk column, the strategy's best return when an indicator is shown, and the
// NAV and distribution totals. A line at row y is drawn only when y + LineHeight <= limit.
// Sets the fund's readout position just right of the last column, at row top.
void PaintFundStatistics(FundRecord *fund, int32_t x, int32_t top, int32_t limit,
                         uint32_t series);

#endif
