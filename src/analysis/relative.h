// The relative series: a fund's weekly returns less its index fund's, compounded from 1.0.
#ifndef VANTRY_RELATIVE_H
#define VANTRY_RELATIVE_H

#include "data/fund.h"

// Series 1: relative to the index fund when the fund has one of category 7, else
// series 1 is series 0. Analyses it with OptimizeFund(fund, 1).
void BuildRelativeSeries(FundRecord *fund);

#endif
