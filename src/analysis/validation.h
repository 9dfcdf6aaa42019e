// The Validate job's work on one fund: the walk-forward figures and the odds of
// overfitting of series 0's chosen rule, and what ties them to the fund's data.
#ifndef VANTRY_VALIDATION_H
#define VANTRY_VALIDATION_H

#include <stdint.h>

#include "data/fund.h"

// Validates series 0 of an analysed fund on a working copy of its points (the fund itself
// is only read): WalkForward, InSampleReturn and OverfitFigures, the settings they belong
// to and VALIDATION_DONE into fund->validation. A fund without points or a kind gets
// VALIDATION_DONE alone. Safe on several threads at once for different funds.
void ValidateFund(FundRecord *fund);

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
