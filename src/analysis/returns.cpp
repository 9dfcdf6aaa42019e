// Return arithmetic shared by the statistics, the strategies, the charts and the graphs.
#include "analysis/returns.h"

#include <float.h>
#include <math.h>

#include "data/datetable.h"
#include "data/ratefile.h"

const double TradingFeeTable[10] = {0.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1};

double PercentRatio(double a, double b)
{
    return b == 0 ? 0 : a / b * 100;
}

double MeanOf(double sum, uint32_t n)
{
    return n == 0 ? 0 : sum / n;
}

int CompareValues(double a, double b)
{
    if (a < b)
        return -1;
    if (a > b)
        return 1;
    return 0;
}

double AbsoluteDifference(double a, double b)
{
    return fabs(a - b);
}

double PercentChange(double from, double to)
{
    if (from < 0)
        from = 0;
    if (to < 0)
        to = 0;
    if (from == to)
        return 0;
    if (to < from)
        return -PercentRatio(from - to, from);
    return PercentRatio(to - from, from);
}

// Bounds of the bracketing search. No loss exceeds 100 percent a year, so lowering the
// guess past -100 cannot bring the compounded value below the end; a gain beyond ten
// million percent a year is beyond any price series, and the cap keeps the search finite
// where start and end are millions of orders of magnitude apart.
#define LOWEST_GUESS (-100.0)
#define HIGHEST_GUESS 1e7

// The state of one annualized-return search: the bracket and the last guess.
struct ReturnSearch {
    double start, end;
    double lo, hi, result;
    int searching;  // 0: result is final
};

// Everything before the bisection: the plain cases and the bracketing guess.
static void StartReturnSearch(ReturnSearch *r, double start, double end, int32_t w)
{
    r->searching = 0;
    r->result = 0;
    if (!isfinite(start) || !isfinite(end))
        return;
    if (start < 0)
        start = 0;
    if (end < 0)
        end = 0;
    r->start = start;
    r->end = end;
    if (w == 0 || end == start)
        return;
    if (end == 0) {
        r->result = -100;
        return;
    }
    if (w < 61) {
        r->result = PercentChange(start, end);
        return;
    }

    uint32_t years = (uint32_t)(w / 60);
    double guess;
    if (end <= start) {
        guess = MeanOf(-PercentRatio(start - end, start), years);
        if (guess < -20)
            guess = -20;
        // Compounding makes a yearly loss larger than the simple average, so the guess is
        // lowered until it lies below the true rate, whatever the average was.
        while (guess > LOWEST_GUESS && CompoundAtRate(start, guess, w) >= end)
            guess = guess - 2 < LOWEST_GUESS ? LOWEST_GUESS : guess - 2;
        r->lo = guess;
        r->hi = 0;
    } else {
        guess = MeanOf(PercentRatio(end - start, start), years);
        if (guess > 20) {
            guess = 20;
            while (guess < HIGHEST_GUESS && CompoundAtRate(start, guess, w) < end)
                guess += 2;
        }
        r->lo = 0;
        r->hi = guess;
    }
    r->result = guess;
    r->searching = 1;
}

// The midpoint the next bisection step tries; clears searching when the search is over.
static double NextMidpoint(ReturnSearch *r)
{
    if (CompareValues(r->lo, r->hi) >= 0) {
        r->searching = 0;
        return 0;
    }
    double mid = MeanOf(r->lo + r->hi, 2);
    r->result = mid;
    if (mid < r->lo || mid > r->hi)
        r->searching = 0;
    return mid;
}

// Narrows the bracket by c, the start compounded at mid.
static void TakeMidpoint(ReturnSearch *r, double mid, double c)
{
    if (c == r->end) {
        r->searching = 0;
    } else if (c < r->end) {
        if (mid == r->lo)
            r->searching = 0;
        else
            r->lo = mid;
    } else {
        if (mid == r->hi)
            r->searching = 0;
        else
            r->hi = mid;
    }
}

double AnnualizedReturn(double start, double end, int32_t w)
{
    ReturnSearch r;
    StartReturnSearch(&r, start, end, w);
    while (r.searching) {
        double mid = NextMidpoint(&r);
        if (!r.searching)
            break;
        TakeMidpoint(&r, mid, CompoundAtRate(r.start, mid, w));
    }
    return r.result;
}

#define RETURN_LANES 8

// The bisection's early steps, taken without compounding. Compounded in exact
// arithmetic, start grows to start (1 + r/100)^years (1 + r/100 q) (q the part of a
// year left), which rises with r above -100; CompoundAtRate rounds each of its steps
// monotonically, so its growth rises with r too and stays within a few units of the last
// place a year of the exact one. In rate terms that is less than 1e-15 of 100 + r, and
// the root (the rate where the exact growth meets end, found by Newton's method on the
// logarithm and accepted only when its residual is below 1e-14 of 100 + r) is as close.
// So a midpoint farther than ROOT_MARGIN of 100 + r from the root compounds to below end
// when it lies below the root and to above it when above, as CompoundAtRate itself would
// tell, and only the last dozen or so of some fifty steps are compounded. Below a margin
// of 1e-16 the tests find steps decided wrongly.
#define ROOT_MARGIN 1e-12

// The root for a search (start and end above 0), or 0 in *usable when it cannot be
// trusted (a loss near 100 percent a year, a gain beyond any fund's, values too far apart).
static double GrowthRoot(const ReturnSearch *r, int32_t w, int *usable)
{
    *usable = 0;
    double years = w / 60, part = (double)(w % 60) / 60;
    if (!(r->start > 1e-290 && r->end > 1e-290 && r->start < 1e290 && r->end < 1e290))
        return 0;
    double target = log(r->end / r->start);
    double root = 100 * expm1(target / (years + part));
    for (int step = 0; step < 8 && root > -99 && root < 1e4; step++) {
        double g = years * log1p(root / 100) + log1p(root * part / 100) - target;
        double slope = years / (100 + root) + part / (100 + root * part);
        root -= g / slope;
    }
    double g = years * log1p(root / 100) + log1p(root * part / 100) - target;
    double slope = years / (100 + root) + part / (100 + root * part);
    *usable = root > -90 && root < 1e4 && isfinite(g) && fabs(g / slope) < 1e-14 * (100 + root);
    return root;
}

// Below (-1) or above (1) the root by more than the margin, 0 when mid must be compounded.
static int SideOfRoot(double mid, double root)
{
    double margin = ROOT_MARGIN * (100 + fabs(root));
    if (mid > -90 && mid < root - margin)
        return -1;
    if (mid > root + margin && mid < 1e4)
        return 1;
    return 0;
}

void AnnualizedReturns(double start, const double *ends, int32_t w, double *results,
                       uint32_t count)
{
    for (uint32_t first = 0; first < count; first += RETURN_LANES) {
        uint32_t lanes = count - first < RETURN_LANES ? count - first : RETURN_LANES;
        ReturnSearch r[RETURN_LANES];
        double root[RETURN_LANES];
        int usable[RETURN_LANES];
        for (uint32_t l = 0; l < lanes; l++) {
            StartReturnSearch(&r[l], start, ends[first + l], w);
            root[l] = r[l].searching ? GrowthRoot(&r[l], w, &usable[l]) : 0;
            usable[l] = r[l].searching && usable[l];
        }
        for (;;) {
            double mid[RETURN_LANES], value[RETURN_LANES];
            int active[RETURN_LANES], side[RETURN_LANES], any = 0, compound = 0;
            for (uint32_t l = 0; l < RETURN_LANES; l++) {
                active[l] = l < lanes && r[l].searching;
                mid[l] = active[l] ? NextMidpoint(&r[l]) : 0;
                active[l] = active[l] && r[l].searching;
                any |= active[l];
                side[l] = active[l] && usable[l] ? SideOfRoot(mid[l], root[l]) : 0;
                compound |= active[l] && side[l] == 0;
                value[l] = active[l] ? r[l].start : 0;
            }
            if (!any)
                break;
            // CompoundAtRate for every lane at once: the same steps for each, the lanes'
            // chains of multiplications and divisions independent of each other. Taking
            // away a step is adding its negative (the same rounding), so the lanes need
            // no branch and run in vector lanes.
            int32_t left = w;
            for (; compound && left >= 60; left -= 60)
                for (uint32_t l = 0; l < RETURN_LANES; l++) {
                    double step = PercentOf(value[l], mid[l]);
                    value[l] += mid[l] >= 0 ? step : -step;
                }
            if (compound && left > 0)
                for (uint32_t l = 0; l < RETURN_LANES; l++) {
                    double step = PercentOf(value[l], mid[l]) * left / 60;
                    value[l] += mid[l] >= 0 ? step : -step;
                }
            for (uint32_t l = 0; l < RETURN_LANES; l++)
                if (active[l])
                    TakeMidpoint(&r[l], mid[l], side[l] < 0   ? -INFINITY
                                                : side[l] > 0 ? INFINITY
                                                              : value[l]);
        }
        for (uint32_t l = 0; l < lanes; l++)
            results[first + l] = r[l].result;
    }
}

double EstimatedReturnSum(double start, const double *ends, uint32_t count, int32_t w,
                          double *bound)
{
    double sum = 0, size = 0, margins = 0;
    for (uint32_t i = 0; i < count; i++) {
        ReturnSearch r;
        StartReturnSearch(&r, start, ends[i], w);
        double value = r.result;
        if (r.searching) {
            int usable;
            double root = GrowthRoot(&r, w, &usable);
            // The search's midpoints outside the margin go to the root's side, so its
            // bracket keeps the margin's band and closes in on a point of it (give or
            // take the last step's unit).
            double margin = 2 * ROOT_MARGIN * (100 + fabs(root));
            if (usable && root - margin > r.lo && root + margin < r.hi) {
                value = root;
                margins += margin;
            } else {
                value = AnnualizedReturn(start, ends[i], w);
            }
        }
        sum += value;
        size += fabs(value);
    }
    // Each of the two sums rounds at every addition.
    *bound = margins + 2 * count * DBL_EPSILON * size;
    return sum;
}

int32_t FirstPeriodOfNextYear(uint32_t index)
{
    uint32_t year = YearCodeOf(index);
    for (uint32_t i = index + 1; i < DateCount; i++)
        if (PackedYearCode(DateTable[i]) != year)
            return PackedDatePeriod(DateTable[i]);
    // Callers ask only when such an entry exists; the start of the next year otherwise.
    return (int32_t)(year + 1) * 60;
}

int32_t FirstPeriodOfYear(uint32_t index)
{
    if (index >= DateCount)
        return 0;
    uint32_t year = YearCodeOf(index);
    uint32_t i = index;
    while (i > 0 && PackedYearCode(DateTable[i - 1]) == year)
        i--;
    return PackedDatePeriod(DateTable[i]);
}

static double RiskFreeRate(uint32_t yearCode)
{
    return RateOfYear(RiskFreeRates, RiskFreeCount, yearCode);
}

static int InFirstWeekOfJanuary(uint32_t index)
{
    if (index >= DateCount)
        return 0;
    PackedDate d = DateTable[index];
    return PackedMonth(d) == 1 && PackedDay(d) >= 1 && PackedDay(d) <= 7;
}

double RiskFreeReturn(uint32_t first, uint32_t last)
{
    uint32_t y0 = YearCodeOf(first), y1 = YearCodeOf(last);
    int32_t p0 = DatePeriodOf(first), p1 = DatePeriodOf(last);
    double g = 1.0;
    uint32_t y = y0;
    if (!InFirstWeekOfJanuary(first)) {
        int32_t e = y0 != y1 ? FirstPeriodOfNextYear(first) : p1;
        g = (RiskFreeRate(y0) * (e - p0) / 60 + 100) / 100;
        if (y0 >= y1)
            return AnnualizedReturn(1.0, g, p1 - p0);
        y = y0 + 1;
    }
    for (; y < y1; y++)
        g = g * (RiskFreeRate(y) + 100) / 100;
    if (InFirstWeekOfJanuary(last))
        return AnnualizedReturn(1.0, g, p1 - p0);
    g = g * (RiskFreeRate(y1) * (p1 - FirstPeriodOfYear(last)) / 60 + 100) / 100;
    return AnnualizedReturn(1.0, g, p1 - p0);
}

static uint32_t PointIndex(const FundRecord *fund, uint32_t point)
{
    return fund->points[0][point].dateWord & 0xFFFF;
}

double MoneyMarketGrowth(const FundRecord *fund, double value, uint32_t from, uint32_t to)
{
    if (from == to || fund->pointCount == 0 || !fund->points[0])
        return value;
    if (from >= fund->pointCount || to >= fund->pointCount)
        return value;
    for (;;) {
        uint32_t year = YearCodeOf(PointIndex(fund, from));
        uint32_t j = from + 1;
        while (j < to && YearCodeOf(PointIndex(fund, j)) == year)
            j++;
        if (j > to)
            j = to;
        double rate = RateOfYear(MoneyMarketRates, MoneyMarketCount, year);
        value = CompoundAtRate(value, rate,
                               DatePeriodOf(PointIndex(fund, j)) - DatePeriodOf(PointIndex(fund, from)));
        if (j == to)
            return value;
        from = j;
    }
}
