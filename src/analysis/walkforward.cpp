// Walk-forward validation: the search re-run at each past year end on a cut copy of the
// series, and the rule it chose traded over the next year.
#include "analysis/walkforward.h"

#include <string.h>

#include "analysis/grid.h"
#include "analysis/movavg.h"
#include "analysis/optimize.h"
#include "analysis/returns.h"
#include "analysis/strategy.h"
#include "data/datetable.h"
#include "data/load.h"

static uint32_t PointYear(const NavPoint *p, uint32_t i)
{
    return YearCodeOf(p[i].dateWord & 0xFFFF);
}

// The kind's average over points 0..n - 1 of scratch. VIDYA scales by a reference
// volatility taken over the points the copy holds when this is called, so that a rule
// picked at a year end never reads the next year's moves through it.
static void ChosenAverage(FundRecord *scratch, uint32_t kind, uint32_t n, double reference)
{
    if (kind == MA_VIDYA)
        Vidya(scratch, n, 0, reference);
    else
        MovingAverage(scratch, kind, n, 0);
}

// The rule of settings traded over points first..to, from cash worth value(from) at point
// from; the final pass as the grids'. Returns the money at point to.
static double TradeRule(FundRecord *scratch, const MaSettings *settings, uint32_t from,
                        uint32_t first, uint32_t to)
{
    uint32_t kind = settings->maKind;
    uint32_t buy = GetMaParam(settings, MaBuyParam(kind));
    uint32_t sell = GetMaParam(settings, MaSellParam(kind));
    const NavPoint *p = scratch->points[0];
    Strategy s;
    StartStrategy(&s, p[from].value);
    s.lastSale = from;
    for (uint32_t i = first; i <= to; i++)
        ApplyTradingRule(&s, scratch, 0, i, p[i].value, p[i].ma, buy, sell);
    FinishStrategy(&s, scratch, 0, to);
    return s.cash;
}

// One out-of-sample year: the search on points 0..end, its rule traded over end..last.
// Returns the year's growth factor.
static double OutOfSampleYear(FundRecord *scratch, uint32_t end, uint32_t last)
{
    MaSettings *ms = &scratch->maSettings[0];
    memset(ms, 0, sizeof *ms);
    scratch->pointCount = end + 1;
    // The program at that year end would have split its data this way, and chosen the
    // kind by the replay over the later part: the same way of choosing, then.
    SetRecentStart(scratch);
    BeginMoneyMarketWalk(scratch);
    SearchMovingAverages(scratch, 0);
    double reference = 0;
    if (ms->maKind == MA_VIDYA)
        VidyaPercentLimit(scratch, 0, &reference);
    scratch->pointCount = last + 1;
    ChosenAverage(scratch, ms->maKind, last + 1, reference);
    double money = TradeRule(scratch, ms, end, end + 1, last);
    EndMoneyMarketWalk();
    return SafeDivide(money, scratch->points[0][end].value);
}

void WalkForward(FundRecord *scratch, ValidationStats *v)
{
    v->walkYears = 0;
    v->walkForward = v->buyAndHold = 0;
    v->flags &= ~VALIDATION_WALK;
    uint32_t count = scratch->pointCount;
    const NavPoint *p = scratch->points[0];
    if (!p || count < 2)
        return;
    uint32_t firstYear = PointYear(p, 0);
    double chain = 1;
    uint32_t first = 0, last = 0, years = 0;
    for (uint32_t end = 0; end + 1 < count; end++) {
        uint32_t year = PointYear(p, end);
        if (year < firstYear + WALK_FIRST_YEARS - 1 || PointYear(p, end + 1) == year)
            continue;
        uint32_t next = end + 1;
        while (next + 1 < count && PointYear(p, next + 1) == PointYear(p, end + 1))
            next++;
        chain *= OutOfSampleYear(scratch, end, next);
        if (years == 0)
            first = end;
        last = next;
        years++;
    }
    scratch->pointCount = count;
    if (years == 0)
        return;
    int32_t span = DatePeriodOf(p[last].dateWord & 0xFFFF) - DatePeriodOf(p[first].dateWord & 0xFFFF);
    v->walkYears = years;
    v->walkForward = AnnualizedReturn(1.0, chain, span);
    v->buyAndHold = AnnualizedReturn(p[first].value, p[last].value, span);
    v->flags |= VALIDATION_WALK;
}

double InSampleReturn(FundRecord *scratch, const MaSettings *settings)
{
    uint32_t kind = settings->maKind;
    uint32_t n = TrialPointCount(scratch, 0);
    if (n == 0 || kind < MA_UMA || kind > MA_VIDYA)
        return 0;
    scratch->maSettings[0] = *settings;
    double reference = 0;
    if (kind == MA_VIDYA)
        VidyaPercentLimit(scratch, 0, &reference);
    ChosenAverage(scratch, kind, n, reference);
    double money = TradeRule(scratch, settings, 0, 0, n - 1);
    return AnnualizedReturn(scratch->points[0][0].value, money, TrialPeriodSpan(scratch, 0));
}
