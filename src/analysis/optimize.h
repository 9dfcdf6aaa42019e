// OptimizeFund: the search of a series' moving-average parameters, thresholds and kind,
// followed by its whole analysis.
#ifndef VANTRY_OPTIMIZE_H
#define VANTRY_OPTIMIZE_H

#include <stdint.h>

#include "data/fund.h"

// The number of series whose parameters were searched (not restored) since the program
// started; the report tool shows how many a load searched.
extern uint32_t OptimizeSearches;
// For the tests: when set, the kinds' "Avg" figures come from every trial's searched
// return, never from the estimated mean (which must give the same tenths).
extern int ExactKindAverages;

// The analysis of one series: restores the saved values of the fund's opt record when
// they still fit, searches the parameters and thresholds of the kinds that need it and
// the ROC length (setting OptimizedFlag), chooses the kind when maKind is 0, then
// computes the chosen average, its replay, the indicators and the statistics over all
// points.
void OptimizeFund(FundRecord *fund, int series);

// The search alone, as a load's full search runs it: every kind's parameter and
// thresholds over the trial points, then the kind whose replay over all points ends
// best. No opt record, no ROC search, no indicators or statistics; the series' ma,
// maEquity and holding bits are left as the kind selection's replays wrote them. The
// walk-forward validation runs it on copies of a fund cut at past year ends.
void SearchMovingAverages(FundRecord *fund, int series);

#endif
