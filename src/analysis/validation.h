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

#endif
