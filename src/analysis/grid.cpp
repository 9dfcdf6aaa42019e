// The strategy grid of the searches: each thread's grid, the fast grid's run (wide where
// the processor allows) and the straightforward reference it must match.
#include "analysis/grid.h"

#include "analysis/fastgrid.h"
#include "analysis/returns.h"
#include "data/datetable.h"

// One grid per thread, reached through a function: the analysis runs on several threads.
static thread_local StrategyGridCells ThreadStrategyGrid;

StrategyGridCells *CurrentStrategyGrid(void)
{
    return &ThreadStrategyGrid;
}

// Every strategy of the grid not holding, with the first value as cash.
static void StartGrid(double cash)
{
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            StartStrategy(&StrategyGrid[r][c], cash);
}

// The final pass of every strategy at point last.
static void FinishGrid(const FundRecord *fund, int series, uint32_t last)
{
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            FinishStrategy(&StrategyGrid[r][c], fund, series, last);
}

// The best cash of the grid and its thresholds, scanned r then c, strictly greater wins.
static double BestOfGrid(uint32_t *buy, uint32_t *sell)
{
    double best = StrategyGrid[0][0].cash;
    *buy = 0;
    *sell = 0;
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            if (StrategyGrid[r][c].cash > best) {
                best = StrategyGrid[r][c].cash;
                *buy = r;
                *sell = c;
            }
    return best;
}

int GridReferenceOnly;
uint64_t GridPointSteps;

int GridBaselineOnly;

double ScoreMaGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    if (GridReferenceOnly)
        return ScoreMaGridReference(fund, series, buy, sell);
    *buy = 0;
    *sell = 0;
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    __atomic_fetch_add(&GridPointSteps, (uint64_t)n, __ATOMIC_RELAXED);
    if (!GridBaselineOnly && WideGridAvailable())
        RunFastGridWide(fund, series, n, &StrategyGrid);
    else
        RunFastGrid(fund, series, n, &StrategyGrid);
    return BestOfGrid(buy, sell);
}

double ScoreMaGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    *buy = 0;
    *sell = 0;
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    __atomic_fetch_add(&GridPointSteps, (uint64_t)n, __ATOMIC_RELAXED);
    const NavPoint *p = fund->points[series];
    StartGrid(p[0].value);
    for (uint32_t i = 0; i < n; i++)
        for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
            for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
                ApplyTradingRule(&StrategyGrid[r][c], fund, series, i, p[i].value, p[i].ma,
                                 r, c);
    FinishGrid(fund, series, n - 1);
    return BestOfGrid(buy, sell);
}

double GridMeanCash(uint32_t k)
{
    if (k > STRATEGY_THRESHOLDS - 1)
        k = STRATEGY_THRESHOLDS - 1;
    double sum = 0;
    for (uint32_t r = 0; r <= k; r++)
        for (uint32_t c = 0; c <= k; c++)
            sum += StrategyGrid[r][c].cash;
    return MeanOf(sum, (k + 1) * (k + 1));
}

double GridAverageReturn(const FundRecord *fund, int series, uint32_t k)
{
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    return AnnualizedReturn(fund->points[series][0].value, GridMeanCash(k),
                            TrialPeriodSpan(fund, series));
}
int32_t TrialPeriodSpan(const FundRecord *fund, int series)
{
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    const NavPoint *p = fund->points[series];
    return DatePeriodOf(p[n - 1].dateWord & 0xFFFF) - DatePeriodOf(p[0].dateWord & 0xFFFF);
}
