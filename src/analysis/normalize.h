// From raw NAV points to series 0: removing undated entries, filling gaps, total return,
// and the change extremes the relative series shares.
#ifndef VANTRY_NORMALIZE_H
#define VANTRY_NORMALIZE_H

#include <stdint.h>

#include "data/fund.h"

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

#endif
