// Return arithmetic: guarded division, percent change, compounding, annualized returns
// by bisection, and growth at the risk-free and money-market rates. Spans are DatePeriods
// (60 to a year); rates and returns are percent.
#ifndef VANTRY_RETURNS_H
#define VANTRY_RETURNS_H

#include <math.h>
#include <stdint.h>

#include "data/fund.h"

// Percent of the amount traded charged for a trade k points after the previous one
// (used for 1 <= k <= 9). The strategy grid computes entry k as (10 - k) / 10, which is
// each entry to the last bit; a change here must change it too (its tests compare it with
// the rule).
extern const double TradingFeeTable[10];

// 0 when b is 0, else a / b. (Inline, as the next two: the searches call them
// millions of times a load.)
inline double SafeDivide(double a, double b)
{
    return b == 0 ? 0 : a / b;
}
// 0 when b is 0, else a / b * 100.
double PercentRatio(double a, double b);
// 0 when n is 0, else sum / n.
double MeanOf(double sum, uint32_t n);
// x * |p| / 100.
inline double PercentOf(double x, double p)
{
    return x * fabs(p) / 100;
}
// -1, 0 or 1.
int CompareValues(double a, double b);
// |a - b|.
double AbsoluteDifference(double a, double b);
// Percent change from -> to; negative values count as 0, a zero start gives 0.
double PercentChange(double from, double to);
// value grown (or, for a negative rate, shrunk) at rate percent a year over w periods:
// compounded per whole year, simple interest for the rest.
inline double CompoundAtRate(double value, double rate, int32_t w)
{
    if (rate >= 0) {
        for (; w >= 60; w -= 60)
            value += PercentOf(value, rate);
        if (w > 0)
            value += PercentOf(value, rate) * w / 60;
    } else {
        for (; w >= 60; w -= 60)
            value -= PercentOf(value, rate);
        if (w > 0)
            value -= PercentOf(value, rate) * w / 60;
    }
    return value;
}
// The yearly rate (percent) that turns start into end over w periods; spans of at most
// one year (w < 61) give the plain percent change. Ends for every input; a start or end
// that is not a finite number gives 0.
double AnnualizedReturn(double start, double end, int32_t w);
// results[i] = AnnualizedReturn(start, ends[i], w) for count ends, to the last bit; the
// searches run side by side, which is several times faster than one after the other.
void AnnualizedReturns(double start, const double *ends, int32_t w, double *results,
                       uint32_t count);
// The sum of AnnualizedReturn(start, ends[i], w) over count ends, in their order, without
// most of the searches: a return whose bracket holds the growth's root with room to spare
// is taken as the root, which lies within 1e-12 of 100 + r of the search's result; the
// others are searched. *bound: how far the sum may lie from the sum of the results.
double EstimatedReturnSum(double start, const double *ends, uint32_t count, int32_t w,
                          double *bound);
// DatePeriod of the first DateTable entry after index whose year differs.
int32_t FirstPeriodOfNextYear(uint32_t index);
// DatePeriod of the earliest DateTable entry of index's year.
int32_t FirstPeriodOfYear(uint32_t index);
// The yearly return (percent) of money held at the RiskFreeRates between two dates.
double RiskFreeReturn(uint32_t first, uint32_t last);
// value grown at the MoneyMarketRates from point from to point to of fund's series 0.
double MoneyMarketGrowth(const FundRecord *fund, double value, uint32_t from, uint32_t to);

#endif
