// The search map: the threshold grids of the kept parameters, replayed on a scratch copy.
#include "analysis/searchmap.h"

#include <string.h>

#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "analysis/strategy.h"
#include "data/alloc.h"
#include "data/datetable.h"

#define CELLS (STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS)

double MapRobustness(const double percent[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS],
                     uint32_t buy, uint32_t sell, uint32_t *defined)
{
    *defined = 0;
    if (buy >= STRATEGY_THRESHOLDS || sell >= STRATEGY_THRESHOLDS)
        return 0;
    double own = percent[buy][sell];
    if (!(own > 0))
        return 0;
    double sum = 0;
    uint32_t count = 0;
    for (int32_t r = (int32_t)buy - 1; r <= (int32_t)buy + 1; r++)
        for (int32_t c = (int32_t)sell - 1; c <= (int32_t)sell + 1; c++) {
            if (r < 0 || c < 0 || r >= STRATEGY_THRESHOLDS || c >= STRATEGY_THRESHOLDS ||
                ((uint32_t)r == buy && (uint32_t)c == sell))
                continue;
            sum += percent[r][c];
            count++;
        }
    *defined = 1;
    return sum / count / own;
}

uint32_t RobustnessFragile(double robustness, uint32_t defined)
{
    return defined && robustness < FRAGILE_ROBUSTNESS;
}

static int32_t PeriodOfPoint(const FundRecord *f, int series, uint32_t i)
{
    return DatePeriodOf(f->points[series][i].dateWord & 0xFFFF);
}

// Kind t's grid over the trial points at its kept parameter, as the search scored it: the
// average over the trial points only, then the fast grid.
static void TrialMap(FundRecord *scratch, int series, uint32_t t, KindMap *k)
{
    MaSettings *ms = &scratch->maSettings[series];
    k->parameter = GetMaParam(ms, MaLengthParam(t));
    if (k->parameter == 0)
        return;
    k->kind = t;
    k->percent = t == MA_VIDYA ? GetMaParam(ms, VIDYA_PERCENT) : 0;
    k->buy = GetMaParam(ms, MaBuyParam(t));
    k->sell = GetMaParam(ms, MaSellParam(t));
    ms->maKind = t;
    uint32_t n = TrialPointCount(scratch, series);
    MovingAverage(scratch, t, n, series);
    uint32_t buy, sell;
    ScoreMaGrid(scratch, series, &buy, &sell);
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            k->cash[r][c] = StrategyGrid[r][c].cash;
    AnnualizedReturns(scratch->points[series][0].value, &k->cash[0][0],
                      TrialPeriodSpan(scratch, series), &k->annualized[0][0], CELLS);
}

// The equity at the last point of the replay of thresholds buy and sell over every point
// with the current ma: SimulateMa's steps, of which only the last point's equity is kept
// (so the cash is grown only where a purchase or the end needs it).
static double ReplayEquity(const FundRecord *f, int series, uint32_t buy, uint32_t sell)
{
    const NavPoint *p = f->points[series];
    uint32_t last = f->pointCount - 1;
    Strategy s;
    StartStrategy(&s, p[0].value);
    for (uint32_t i = 0; i < last; i++) {
        double x = p[i].value, m = p[i].ma;
        TradeOnSignals(&s, f, series, i, x, MaSellSignal(x, m, sell), MaBuySignal(x, m, buy));
        RestartReplay(&s, f, i, x);
    }
    double x = p[last].value, m = p[last].ma;
    return ReplayPoint(&s, f, series, last, x, MaSellSignal(x, m, sell), MaBuySignal(x, m, buy));
}

static void EvaluationMap(FundRecord *scratch, int series, SearchMap *map)
{
    uint32_t count = scratch->pointCount, rs = scratch->recentStart;
    if (rs == 0 || rs + 1 >= count)
        return;
    scratch->maSettings[series].maKind = map->kind;
    MovingAverage(scratch, map->kind, count, series);
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            map->evaluationEquity[r][c] = ReplayEquity(scratch, series, r, c);
    AnnualizedReturns(scratch->points[series][rs].value, &map->evaluationEquity[0][0],
                      PeriodOfPoint(scratch, series, count - 1) -
                          PeriodOfPoint(scratch, series, rs),
                      &map->evaluation[0][0], CELLS);
    map->hasEvaluation = 1;
}

int ComputeSearchMap(const FundRecord *fund, int series, SearchMapParts parts, SearchMap *map)
{
    memset(map, 0, sizeof *map);
    if (series < 0 || series > 1 || !fund->points[series] || fund->pointCount == 0)
        return 0;
    // Series 1 of a fund without a relative series is series 0 (its cash earns interest,
    // which a relative series' does not): it has series 0's search and map.
    if (series == 1 && fund->points[1] == fund->points[0])
        series = 0;
    uint32_t kind = fund->maSettings[series].maKind;
    if (kind < MA_UMA || kind > MA_VIDYA)
        return 0;
    NavPoint *copy = (NavPoint *)AllocZero(fund->pointCount, sizeof(NavPoint));
    if (!copy)
        return 0;
    memcpy(copy, fund->points[series], fund->pointCount * sizeof(NavPoint));
    // The averages write ma into the points they are computed on: the copy's, never the
    // fund's, which the graph and a running job may be reading.
    FundRecord scratch = *fund;
    scratch.points[series] = copy;
    if (series == 0)
        BeginMoneyMarketWalk(&scratch);
    map->kind = kind;
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++)
        if (t == kind || parts == SEARCH_MAP_WHOLE)
            TrialMap(&scratch, series, t, &map->trial[t - 1]);
    if (parts == SEARCH_MAP_WHOLE)
        EvaluationMap(&scratch, series, map);
    const KindMap *chosen = &map->trial[kind - 1];
    if (chosen->kind) {
        map->robustness = MapRobustness(chosen->annualized, chosen->buy, chosen->sell,
                                        &map->robustnessDefined);
        map->fragile = RobustnessFragile(map->robustness, map->robustnessDefined);
    }
    if (series == 0)
        EndMoneyMarketWalk();
    FreeBlock(copy);
    return 1;
}
