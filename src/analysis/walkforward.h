// Walk-forward validation of the moving-average search: the whole search re-run at past
// year ends on what was known then, its rule traded over the following year.
#ifndef VANTRY_WALKFORWARD_H
#define VANTRY_WALKFORWARD_H

#include <stdint.h>

#include "data/fund.h"

// Out-of-sample years start at the end of the fifth calendar year of data.
#define WALK_FIRST_YEARS 5

// scratch is a working copy of a fund's series 0 (all its points, the fund's DateIndexes
// in the dateWords), which this overwrites: its pointCount, recentStart, maSettings and
// the ma, maEquity and holding bits of its points. At every year end from the fifth
// calendar year of data on that has a later point, the copy is cut after that year's last
// point, split into trial and evaluation periods as the load splits a fund, and searched
// as a full search does (SearchMovingAverages); the rule chosen there (kind, parameter,
// thresholds) then trades the next calendar year (up to the last point for the last year)
// from cash at the year end, with the money-market interest and the fees of the program's
// own replays. Writes walkYears, walkForward (the years' growth chained and annualised
// over their span, percent), buyAndHold (the fund's value over the same span) and the
// VALIDATION_WALK flag into v; nothing but walkYears 0 when no year qualifies.
void WalkForward(FundRecord *scratch, ValidationStats *v);

// The annualised percent of the rule in settings (series 0's kind, parameter and
// thresholds) over the trial points of scratch as it stands (its recentStart), from cash
// at the first point, finished as the grids finish their strategies: what the search
// reports for its winner. Overwrites the ma of scratch's trial points; 0 without points
// or a kind.
double InSampleReturn(FundRecord *scratch, const MaSettings *settings);

#endif
