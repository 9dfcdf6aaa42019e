// The strategy simulation and the optimization of a series' moving-average parameters.
#include "analysis/optimize.h"

#include <float.h>
#include <math.h>

#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "analysis/stats.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/optfile.h"
#include "data/ratefile.h"

// One grid per thread, reached through a function: the analysis runs on several threads.
static thread_local StrategyGridCells ThreadStrategyGrid;

StrategyGridCells *CurrentStrategyGrid(void)
{
    return &ThreadStrategyGrid;
}
uint32_t OptimizeSearches;

// Trades closer together than this many points pay the TradingFeeTable percentage.
#define FEE_POINTS 9

void StartStrategy(Strategy *s, double cash)
{
    s->holding = 0;
    s->cash = cash;
    s->shares = 0;
    s->lastTrade = 0;
    s->lastSale = 0;
}

int MaSellSignal(double x, double m, uint32_t sell)
{
    return sell == 0 ? x < m : x <= m - PercentOf(m, sell);
}

int MaBuySignal(double x, double m, uint32_t buy)
{
    return buy == 0 ? x > m : x >= m + PercentOf(m, buy);
}

// ---------------------------------------------------------------------------------------
// The money-market walk of the fund being optimized. MoneyMarketGrowth walks the points
// from a sale to a purchase to find where each calendar year ends; the searches buy
// millions of times a load, so the year ends, the DatePeriods and the rates of a fund's
// points are looked up once per fund. The growth is then the very same chain of
// CompoundAtRate calls, year by year, with the very same arguments.

struct MoneyMarketWalk {
    const FundRecord *fund;  // null when no walk is prepared
    uint32_t count;          // the fund's pointCount when it was prepared
    uint32_t *yearEnd;       // first later point of another year (count: none)
    int32_t *period;         // DatePeriod of each point
    double *rate;            // money-market rate of each point's year
    void *block;
};
static thread_local MoneyMarketWalk ThreadWalk;

static void EndMoneyMarketWalk(void)
{
    FreeBlock(ThreadWalk.block);
    ThreadWalk = MoneyMarketWalk{};
}

// Prepares the walk of series 0 of fund; without memory the plain walk is used.
static void BeginMoneyMarketWalk(const FundRecord *fund)
{
    EndMoneyMarketWalk();
    uint32_t n = fund->pointCount;
    if (n == 0 || !fund->points[0] || GridReferenceOnly)
        return;
    void *block = AllocZero(n, sizeof(double) + 2 * sizeof(uint32_t));
    if (!block)
        return;
    MoneyMarketWalk w;
    w.fund = fund;
    w.count = n;
    w.block = block;
    w.rate = (double *)block;
    w.yearEnd = (uint32_t *)(w.rate + n);
    w.period = (int32_t *)(w.yearEnd + n);
    uint32_t year = 0;
    double rate = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t index = fund->points[0][i].dateWord & 0xFFFF;
        uint32_t y = YearCodeOf(index);
        if (i == 0 || y != year)
            rate = RateOfYear(MoneyMarketRates, MoneyMarketCount, y);
        year = y;
        w.period[i] = DatePeriodOf(index);
        w.rate[i] = rate;
        w.yearEnd[i] = y;  // the year for now; the ends are filled in below
    }
    uint32_t end = n, laterYear = 0;
    for (uint32_t i = n; i-- > 0;) {
        uint32_t y = w.yearEnd[i];
        if (i + 1 < n && laterYear != y)
            end = i + 1;
        w.yearEnd[i] = end;
        laterYear = y;
    }
    ThreadWalk = w;
}

// The prepared walk of fund, or null.
static const MoneyMarketWalk *WalkOf(const FundRecord *fund)
{
    const MoneyMarketWalk *w = &ThreadWalk;
    return w->fund == fund && w->count == fund->pointCount ? w : nullptr;
}

// One step of the walk from point *from towards to (from < to, both points of the walk):
// the growth to the end of from's year or to to, whichever comes first; *from moves there.
static inline double WalkStep(const MoneyMarketWalk *w, double value, uint32_t *from, uint32_t to)
{
    uint32_t j = w->yearEnd[*from];
    if (j > to)
        j = to;
    value = CompoundAtRate(value, w->rate[*from], w->period[j] - w->period[*from]);
    *from = j;
    return value;
}

// MoneyMarketGrowth(fund, value, from, to) through the prepared walk w.
static inline double WalkGrowth(const MoneyMarketWalk *w, double value, uint32_t from, uint32_t to)
{
    if (from == to || from >= w->count || to >= w->count)
        return value;
    while (from != to)
        value = WalkStep(w, value, &from, to);
    return value;
}

// MoneyMarketGrowth(fund, value, from, to) of series 0, through the prepared walk when
// there is one for fund.
static double GrowCash(const FundRecord *fund, double value, uint32_t from, uint32_t to)
{
    const MoneyMarketWalk *w = WalkOf(fund);
    return w ? WalkGrowth(w, value, from, to) : MoneyMarketGrowth(fund, value, from, to);
}

double CashAmount(const Strategy *s, const FundRecord *fund, int series, uint32_t i)
{
    return series == 0 ? GrowCash(fund, s->cash, s->lastSale, i) : s->cash;
}

// lastTrade 0 stands for no trade yet, so the first trade of a strategy is free.
static double LessFee(double amount, uint32_t i, uint32_t lastTrade)
{
    if (lastTrade != 0 && i > lastTrade && i - lastTrade <= FEE_POINTS)
        amount -= PercentOf(amount, TradingFeeTable[i - lastTrade]);
    return amount;
}

double SellShares(Strategy *s, uint32_t i, double x)
{
    s->holding = 0;
    s->lastSale = i;
    s->cash = LessFee(s->shares * x, i, s->lastTrade);
    s->lastTrade = i;
    return s->cash;
}

double BuyShares(Strategy *s, uint32_t i, double x, double amount)
{
    amount = LessFee(amount, i, s->lastTrade);
    s->shares = SafeDivide(amount, x);
    s->holding = 1;
    s->lastTrade = i;
    return amount;
}

void TradeOnSignals(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                    int sellSignal, int buySignal)
{
    if (s->holding) {
        if (sellSignal)
            SellShares(s, i, x);
    } else if (buySignal) {
        BuyShares(s, i, x, CashAmount(s, fund, series, i));
    }
}

void ApplyTradingRule(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                      double m, uint32_t buy, uint32_t sell)
{
    // Only the signal of the strategy's own state counts, so only that one is evaluated.
    if (s->holding)
        TradeOnSignals(s, fund, series, i, x, MaSellSignal(x, m, sell), 0);
    else
        TradeOnSignals(s, fund, series, i, x, 0, MaBuySignal(x, m, buy));
}

void FinishStrategy(Strategy *s, const FundRecord *fund, int series, uint32_t last)
{
    if (s->holding)
        s->cash = s->shares * fund->points[series][last].value;
    else if (series == 0 && s->lastSale != last)
        s->cash = GrowCash(fund, s->cash, s->lastSale, last);
}

double ReplayPoint(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                   int sellSignal, int buySignal)
{
    if (s->holding) {
        if (sellSignal)
            return SellShares(s, i, x);
        return s->shares * x;
    }
    double amount = CashAmount(s, fund, series, i);
    if (buySignal)
        return BuyShares(s, i, x, amount);
    return amount;
}

void RestartReplay(Strategy *s, const FundRecord *fund, uint32_t i, double x)
{
    if (fund->recentStart == 0 || i != fund->recentStart)
        return;
    if (s->holding) {
        s->shares = 1.0;
    } else {
        s->lastSale = i;
        s->cash = x;
    }
}

uint32_t TrialPointCount(const FundRecord *fund, int series)
{
    if (series < 0 || series > 1 || !fund->points[series])
        return 0;
    uint32_t n = fund->recentStart != 0 ? fund->recentStart + 1 : fund->pointCount;
    return n < fund->pointCount ? n : fund->pointCount;
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

// The 121 strategies as the bits of a pair of words: bit r * 11 + c is the strategy of
// buy threshold r and sell threshold c, so bit order is the grid's row order.
struct GridSet {
    uint64_t lo, hi;
};

static void AddToSet(GridSet *set, uint32_t k)
{
    if (k < 64)
        set->lo |= (uint64_t)1 << k;
    else
        set->hi |= (uint64_t)1 << (k - 64);
}

// RowsUpTo[t]: the strategies of buy thresholds 1..t; ColumnsUpTo[t]: of sell thresholds
// 1..t; Row0 and Column0 those of threshold 0.
struct GridSets {
    GridSet rowsUpTo[STRATEGY_THRESHOLDS], columnsUpTo[STRATEGY_THRESHOLDS];
    GridSet row0, column0;
};

static GridSets MakeGridSets(void)
{
    GridSets g = {};
    for (uint32_t t = 1; t < STRATEGY_THRESHOLDS; t++) {
        g.rowsUpTo[t] = g.rowsUpTo[t - 1];
        g.columnsUpTo[t] = g.columnsUpTo[t - 1];
        for (uint32_t u = 0; u < STRATEGY_THRESHOLDS; u++) {
            AddToSet(&g.rowsUpTo[t], t * STRATEGY_THRESHOLDS + u);
            AddToSet(&g.columnsUpTo[t], u * STRATEGY_THRESHOLDS + t);
        }
    }
    for (uint32_t u = 0; u < STRATEGY_THRESHOLDS; u++) {
        AddToSet(&g.row0, u);
        AddToSet(&g.column0, u * STRATEGY_THRESHOLDS);
    }
    return g;
}
static const GridSets Sets = MakeGridSets();

// For an average m above 0, the level m + t% of m grows with t (each rounding step keeps
// the order), so the buy signals of thresholds 1..10 hold for 1..T and no further; and
// the sell level m - t% of m falls with t, so the sell signals hold for 1..S. T and S
// are found from an estimate, each step confirmed by the rule's own expression.
static uint32_t BuyLevelsReached(double x, double m)
{
    double e = (x - m) * 100 / m;
    uint32_t t = e >= 10 ? 10 : e >= 1 ? (uint32_t)e : 0;
    while (t < STRATEGY_THRESHOLDS - 1 && MaBuySignal(x, m, t + 1))
        t++;
    while (t > 0 && !MaBuySignal(x, m, t))
        t--;
    return t;
}

static uint32_t SellLevelsReached(double x, double m)
{
    double e = (m - x) * 100 / m;
    uint32_t t = e >= 10 ? 10 : e >= 1 ? (uint32_t)e : 0;
    while (t < STRATEGY_THRESHOLDS - 1 && MaSellSignal(x, m, t + 1))
        t++;
    while (t > 0 && !MaSellSignal(x, m, t))
        t--;
    return t;
}

// How many of the thresholds 1..10 a ratio e = (x - m) * 100 / m passes, from e alone;
// LEVELS_UNDECIDED when e lies too close to a whole number to tell. For an average m
// above 0 of normal size and a finite x, e is within a few units of the last place of
// the exact ratio, and the rule's level m + t% of m is within as little of m (1 + t/100),
// so both differ from the exact comparison by less than 1e-13 of a threshold: a ratio
// farther than LEVEL_MARGIN from every whole number decides all of the rule's buy
// comparisons (and -e all of its sell comparisons) as the rule's own expressions would.
#define LEVELS_UNDECIDED 11u
#define LEVEL_MARGIN 1e-6
static uint32_t LevelsPassed(double e)
{
    // Clamped to 0..10.5 and compared without branches: e falls on either side of a
    // level unpredictably from point to point.
    double c = e > 0 ? e : 0;
    c = c < STRATEGY_THRESHOLDS - 0.5 ? c : STRATEGY_THRESHOLDS - 0.5;
    uint32_t t = (uint32_t)c;
    double part = c - t;
    int undecided = (e >= 1 - LEVEL_MARGIN) & (e < STRATEGY_THRESHOLDS - 1 + LEVEL_MARGIN) &
                    ((part < LEVEL_MARGIN) | (part > 1 - LEVEL_MARGIN));
    return undecided ? LEVELS_UNDECIDED : t;
}

// The strategies whose buy (*buys) and sell (*sells) signal holds at value x, average m.
static void SignalSets(double x, double m, GridSet *buys, GridSet *sells)
{
    if (m >= DBL_MIN && m <= 1e300 && fabs(x) <= 1e300) {
        double e = (x - m) * 100 / m;
        uint32_t t = LevelsPassed(e);
        *buys = Sets.rowsUpTo[t != LEVELS_UNDECIDED ? t : BuyLevelsReached(x, m)];
        t = LevelsPassed(-e);
        *sells = Sets.columnsUpTo[t != LEVELS_UNDECIDED ? t : SellLevelsReached(x, m)];
    } else {
        // Zero, negative, tiny, huge or not finite: every threshold on its own.
        *buys = GridSet{0, 0};
        *sells = GridSet{0, 0};
        for (uint32_t t = 1; t < STRATEGY_THRESHOLDS; t++) {
            if (MaBuySignal(x, m, t)) {
                buys->lo |= Sets.rowsUpTo[t].lo & ~Sets.rowsUpTo[t - 1].lo;
                buys->hi |= Sets.rowsUpTo[t].hi & ~Sets.rowsUpTo[t - 1].hi;
            }
            if (MaSellSignal(x, m, t)) {
                sells->lo |= Sets.columnsUpTo[t].lo & ~Sets.columnsUpTo[t - 1].lo;
                sells->hi |= Sets.columnsUpTo[t].hi & ~Sets.columnsUpTo[t - 1].hi;
            }
        }
    }
    // Threshold 0 as masks, not branches: x is above or below m at random.
    uint64_t above = 0 - (uint64_t)MaBuySignal(x, m, 0);
    uint64_t below = 0 - (uint64_t)MaSellSignal(x, m, 0);
    buys->lo |= Sets.row0.lo & above;
    buys->hi |= Sets.row0.hi & above;
    sells->lo |= Sets.column0.lo & below;
    sells->hi |= Sets.column0.hi & below;
}

// The cell of bit k of a GridSet.
static Strategy *GridCell(StrategyGridCells &grid, uint32_t k)
{
    return &grid[k / STRATEGY_THRESHOLDS][k % STRATEGY_THRESHOLDS];
}

// The trades of one point i at value x: the strategies in selling sell, those in buying
// buy. Each strategy's own steps keep their order; the purchases are taken in stages
// over all buyers, so that the divisions of different strategies, which do not depend
// on each other, overlap. w: the fund's money-market walk (null: series 1, or none).
static void TradeAtPoint(StrategyGridCells &grid, const GridSet *selling, const GridSet *buying,
                         const MoneyMarketWalk *w, const FundRecord *fund, int series,
                         uint32_t i, double x)
{
    for (uint32_t word = 0; word < 2; word++)
        for (uint64_t bits = word == 0 ? selling->lo : selling->hi; bits; bits &= bits - 1)
            SellShares(GridCell(grid, word * 64 + (uint32_t)__builtin_ctzll(bits)), i, x);
    Strategy *buyers[STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS];
    double amounts[STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS];
    uint32_t buyerCount = 0;
    for (uint32_t word = 0; word < 2; word++)
        for (uint64_t bits = word == 0 ? buying->lo : buying->hi; bits; bits &= bits - 1)
            buyers[buyerCount++] = GridCell(grid, word * 64 + (uint32_t)__builtin_ctzll(bits));
    if (w) {
        for (uint32_t b = 0; b < buyerCount; b++)
            amounts[b] = WalkGrowth(w, buyers[b]->cash, buyers[b]->lastSale, i);
    } else {
        for (uint32_t b = 0; b < buyerCount; b++)
            amounts[b] = CashAmount(buyers[b], fund, series, i);
    }
    for (uint32_t b = 0; b < buyerCount; b++)
        BuyShares(buyers[b], i, x, amounts[b]);
}

// FinishGrid through the money-market walk w of series 0. The strategies out of the
// market at the end grow their cash from their last sale year by year, each a chain of
// dependent steps; the chains of FINISH_LANES strategies advance in lockstep so that
// their steps overlap, each the very same CompoundAtRate calls with the same arguments.
#define FINISH_LANES 4
static void FinishGridOnWalk(StrategyGridCells &grid, const MoneyMarketWalk *w,
                             const FundRecord *fund, uint32_t last)
{
    const uint32_t cells = STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS;
    double lastValue = fund->points[0][last].value;
    Strategy *waiting[cells];
    uint32_t count = 0;
    for (uint32_t k = 0; k < cells; k++) {
        Strategy *s = GridCell(grid, k);
        if (s->holding)
            s->cash = s->shares * lastValue;
        else if (s->lastSale != last && s->lastSale < w->count && last < w->count)
            waiting[count++] = s;
    }
    for (uint32_t first = 0; first < count; first += FINISH_LANES) {
        uint32_t lanes = count - first < FINISH_LANES ? count - first : FINISH_LANES;
        double value[FINISH_LANES];
        uint32_t from[FINISH_LANES];
        for (uint32_t l = 0; l < lanes; l++) {
            value[l] = waiting[first + l]->cash;
            from[l] = waiting[first + l]->lastSale;
        }
        // A lane is done when it has reached last (from == last).
        for (;;) {
            int any = 0;
            for (uint32_t l = 0; l < lanes; l++) {
                if (from[l] == last)
                    continue;
                value[l] = WalkStep(w, value[l], &from[l], last);
                any = 1;
            }
            if (!any)
                break;
        }
        for (uint32_t l = 0; l < lanes; l++)
            waiting[first + l]->cash = value[l];
    }
}

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
    const NavPoint *p = fund->points[series];
    StartGrid(p[0].value);
    // A point's buy level is shared by a row of the grid and its sell level by a column,
    // so the signals of a point are two sets of strategies; a strategy trades only where
    // its own state's signal holds, and between trades nothing changes. The holding set
    // mirrors the strategies' holding flags.
    StrategyGridCells &grid = StrategyGrid;  // this thread's, looked up once
    const MoneyMarketWalk *walk = series == 0 ? WalkOf(fund) : nullptr;
    GridSet holding = {0, 0};
    for (uint32_t i = 0; i < n; i++) {
        double x = p[i].value, m = p[i].ma;
        GridSet buys, sells;
        SignalSets(x, m, &buys, &sells);
        GridSet selling = {sells.lo & holding.lo, sells.hi & holding.hi};
        GridSet buying = {buys.lo & ~holding.lo, buys.hi & ~holding.hi};
        if ((selling.lo | selling.hi | buying.lo | buying.hi) == 0)
            continue;
        TradeAtPoint(grid, &selling, &buying, walk, fund, series, i, x);
        holding.lo ^= selling.lo | buying.lo;
        holding.hi ^= selling.hi | buying.hi;
    }
    if (walk)
        FinishGridOnWalk(grid, walk, fund, n - 1);
    else
        FinishGrid(fund, series, n - 1);
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

static int32_t PointPeriod(const FundRecord *fund, int series, uint32_t i)
{
    return DatePeriodOf(fund->points[series][i].dateWord & 0xFFFF);
}

// The mean final cash of the grid's strategies of thresholds 0..k.
static double GridMeanCash(uint32_t k)
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
                            PointPeriod(fund, series, n - 1) - PointPeriod(fund, series, 0));
}

void SimulateMa(FundRecord *fund, int series)
{
    if (series < 0 || series > 1 || !fund->points[series] || fund->pointCount == 0)
        return;
    const MaSettings *ms = &fund->maSettings[series];
    uint32_t kind = ms->maKind;
    uint32_t buy = 0, sell = 0;
    if (kind >= MA_UMA && kind <= MA_VIDYA) {
        buy = GetMaParam(ms, MaBuyParam(kind));
        sell = GetMaParam(ms, MaSellParam(kind));
    }
    NavPoint *p = fund->points[series];
    Strategy s;
    StartStrategy(&s, p[0].value);
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        double x = p[i].value, m = p[i].ma;
        double equity = ReplayPoint(&s, fund, series, i, x, MaSellSignal(x, m, sell),
                                    MaBuySignal(x, m, buy));
        p[i].maEquity = equity;
        if (s.holding)
            p[i].dateWord |= NAV_MA_HOLDING;
        else
            p[i].dateWord &= ~NAV_MA_HOLDING;
        RestartReplay(&s, fund, i, x);
    }
}

// ---------------------------------------------------------------------------------------
// OptimizeFund

// The saved values of an opt record fit the fund when the trial period is the same: the
// same recentStart, or, without one on either side, the same data counts.
static int SavedValuesFit(const FundRecord *fund, const OptRecord *rec)
{
    if (fund->recentStart != 0)
        return fund->recentStart == rec->recentStart;
    return rec->recentStart == 0 && rec->pointCount == fund->pointCount &&
           rec->distCount == fund->distCount && rec->splitCount == fund->splitCount;
}

// Whether kind (1..5) has its parameters and can be used without a search. A VIDYA
// percent above what the current data allows makes the length unusable; it is cleared
// so that the search finds new values.
static int KindIsReady(FundRecord *fund, int series, uint32_t kind)
{
    MaSettings *ms = &fund->maSettings[series];
    if (kind < MA_UMA || kind > MA_VIDYA || GetMaParam(ms, MaLengthParam(kind)) == 0)
        return 0;
    if (kind != MA_VIDYA)
        return 1;
    if (GetMaParam(ms, VIDYA_PERCENT) <= VidyaPercentLimit(fund, series, nullptr))
        return 1;
    SetMaParam(ms, VIDYA_LENGTH, 0);
    return 0;
}

// The best parameter of one kind so far and the "Avg" figure's running sum. The average
// returns of the trials are computed a few at a time, side by side, from the grids' mean
// cash, and added to the sum in the trials' order.
#define PENDING_TRIALS 8
struct KindSearch {
    double best;
    uint32_t parameter, percent, buy, sell;
    double sum;
    uint32_t trials;
    double pending[PENDING_TRIALS];
    uint32_t pendingCount;
};

static void AddPendingAverages(const FundRecord *fund, int series, KindSearch *k)
{
    double returns[PENDING_TRIALS];
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0) {
        for (uint32_t i = 0; i < k->pendingCount; i++)
            returns[i] = 0;
    } else {
        AnnualizedReturns(fund->points[series][0].value, k->pending,
                          PointPeriod(fund, series, n - 1) - PointPeriod(fund, series, 0),
                          returns, k->pendingCount);
    }
    for (uint32_t i = 0; i < k->pendingCount; i++)
        k->sum += returns[i];
    k->pendingCount = 0;
}

// Scores the average just computed into ma over the trial points.
static void ScoreTrial(FundRecord *fund, int series, KindSearch *k, uint32_t parameter,
                       uint32_t percent)
{
    uint32_t buy, sell;
    double s = ScoreMaGrid(fund, series, &buy, &sell);
    if (s > k->best) {
        k->best = s;
        k->parameter = parameter;
        k->percent = percent;
        k->buy = buy;
        k->sell = sell;
    }
    if (GridReferenceOnly) {
        k->sum += GridAverageReturn(fund, series, STRATEGY_THRESHOLDS - 1);
    } else {
        k->pending[k->pendingCount++] = GridMeanCash(STRATEGY_THRESHOLDS - 1);
        if (k->pendingCount == PENDING_TRIALS)
            AddPendingAverages(fund, series, k);
    }
    k->trials++;
}

// Tries every value of kind t's parameter in ascending order over n trial points and
// stores the best with its thresholds, and the kind's "Avg" figure.
static void SearchKind(FundRecord *fund, int series, uint32_t t, uint32_t n)
{
    MaSettings *ms = &fund->maSettings[series];
    uint32_t count = fund->pointCount;
    uint32_t kind = ms->maKind;
    ms->maKind = t;
    KindSearch k = {0.0, t == MA_EMA ? 10u : 2u, 2, 0, 0, 0.0, 0, {}, 0};
    MaParam length = MaLengthParam(t);
    switch (t) {
    case MA_UMA:
    case MA_WMA:
        for (uint32_t v = 2; v <= 60 && v < count; v += 2) {
            SetMaParam(ms, length, v);
            MovingAverage(fund, t, n, series);
            ScoreTrial(fund, series, &k, v, 0);
        }
        break;
    case MA_EMA:
        for (uint32_t v = 10; v <= 80; v += 2) {
            SetMaParam(ms, length, v);
            Ema(fund, n, series);
            ScoreTrial(fund, series, &k, v, 0);
        }
        break;
    case MA_AMA:
        for (uint32_t v = 2; v <= 30 && v < count; v += 2) {
            SetMaParam(ms, length, v);
            Ama(fund, n, series);
            ScoreTrial(fund, series, &k, v, 0);
        }
        break;
    case MA_VIDYA: {
        // The volatility ratios of a length are the same for all its percents.
        double *ratio = GridReferenceOnly ? nullptr : (double *)AllocZero(n, sizeof(double));
        for (uint32_t v = 2; v <= 20 && v < count; v += 2) {
            SetMaParam(ms, VIDYA_LENGTH, v);
            double reference;
            uint32_t limit = VidyaSearchLimit(fund, series, &reference);
            if (ratio)
                VidyaRatios(fund, n, series, reference, ratio);
            for (uint32_t percent = 2; percent <= limit; percent += 2) {
                SetMaParam(ms, VIDYA_PERCENT, percent);
                if (ratio)
                    VidyaFromRatios(fund, n, series, ratio);
                else
                    Vidya(fund, n, series, reference);
                ScoreTrial(fund, series, &k, v, percent);
            }
        }
        FreeBlock(ratio);
        SetMaParam(ms, VIDYA_PERCENT, k.percent);
        break;
    }
    default:
        break;
    }
    AddPendingAverages(fund, series, &k);
    SetMaParam(ms, length, k.parameter);
    SetMaParam(ms, MaBuyParam(t), k.buy);
    SetMaParam(ms, MaSellParam(t), k.sell);
    // The figure is kept as the opt file keeps it (tenths), so that a later load that
    // restores it shows the very same number.
    ms->maAverage[t - 1] = SavedDecimal(MeanOf(k.sum, k.trials));
    ms->maKind = kind;
}

// The ROC length 30..40 and thresholds with the best ROC grid score over n trial points.
static void SearchRocLength(FundRecord *fund, int series, uint32_t n)
{
    MaSettings *ms = &fund->maSettings[series];
    double best = 0.0;
    uint32_t bestLength = 30, bestBuy = 1, bestSell = 5;
    for (uint32_t length = 30; length <= 40; length++) {
        SetMaParam(ms, ROC_LENGTH, length);
        Roc(fund, n, series);
        uint32_t buy, sell;
        double s = ScoreRocGrid(fund, series, &buy, &sell);
        if (s > best) {
            best = s;
            bestLength = length;
            bestBuy = buy;
            bestSell = sell;
        }
    }
    SetMaParam(ms, ROC_LENGTH, bestLength);
    SetMaParam(ms, ROC_BUY, bestBuy);
    SetMaParam(ms, ROC_SELL, bestSell);
}

// The kind whose rule, replayed over every point with the kind's own parameters and
// thresholds, ends with the most money; the first kind wins ties.
static uint32_t SelectKind(FundRecord *fund, int series)
{
    if (!fund->points[series] || fund->pointCount == 0)
        return MA_UMA;
    MaSettings *ms = &fund->maSettings[series];
    uint32_t best = MA_UMA;
    double bestEquity = 0;
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
        ms->maKind = t;
        MovingAverage(fund, t, fund->pointCount, series);
        SimulateMa(fund, series);
        double equity = fund->points[series][fund->pointCount - 1].maEquity;
        if (t == MA_UMA || equity > bestEquity) {
            best = t;
            bestEquity = equity;
        }
    }
    return best;
}

void OptimizeFund(FundRecord *fund, int series)
{
    if (series < 0 || series > 1)
        return;
    if (series == 0)
        BeginMoneyMarketWalk(fund);
    MaSettings *ms = &fund->maSettings[series];
    // Kinds 6 and 7 fit the 3-bit field but name no average.
    if (ms->maKind > MA_VIDYA)
        ms->maKind = MA_NONE;

    OptRecord *rec = fund->shortName ? FindOptRecord(fund->shortName) : nullptr;
    uint32_t preferred = MA_NONE;
    if (rec && !OptModeReselect && !OptModeRecalculate && ms->maKind == MA_NONE)
        preferred = rec->series[series].maKind;
    if (preferred > MA_VIDYA)
        preferred = MA_NONE;
    if (rec) {
        if (rec->saved[series] && !OptModeRecalculate && SavedValuesFit(fund, rec)) {
            for (int k = 0; k < 5; k++)
                ms->maAverage[k] = rec->series[series].maAverage[k];
            for (int w = 0; w < 4; w++)
                ms->words[w] = rec->series[series].words[w];
        }
        // The record is used now; the opt file keeps only the records no run used.
        rec->saved[series] = 0;
    }

    int ready = KindIsReady(fund, series, ms->maKind);
    if (!ready && preferred != MA_NONE &&
        GetMaParam(ms, MaLengthParam(preferred)) != 0) {
        ms->maKind = preferred;
        ready = KindIsReady(fund, series, preferred);
    }

    if (!ready) {
        // Funds are searched on several threads at once.
        __atomic_store_n(&OptimizedFlag, 1, __ATOMIC_RELAXED);
        __atomic_fetch_add(&OptimizeSearches, 1u, __ATOMIC_RELAXED);
        uint32_t n = TrialPointCount(fund, series);
        for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
            if (ms->maKind != MA_NONE && ms->maKind != t)
                continue;
            if (OptModeReselect && GetMaParam(ms, MaLengthParam(t)) != 0)
                continue;
            SearchKind(fund, series, t, n);
        }
        SetMaParam(ms, MACD_FAST, 12);
        SetMaParam(ms, MACD_SLOW, 26);
        SetMaParam(ms, MACD_TRIGGER, 9);
        SetMaParam(ms, MACD_BUY, 2);
        SetMaParam(ms, MACD_SELL, 2);
        SearchRocLength(fund, series, n);
        if (ms->maKind == MA_NONE)
            ms->maKind = SelectKind(fund, series);
    }

    uint32_t count = fund->pointCount;
    MovingAverage(fund, ms->maKind, count, series);
    SimulateMa(fund, series);
    BollingerMiddle(fund, series);
    BollingerWidth(fund, series);
    TrendProjection(fund, series);
    PatternProjection(fund, series);
    Macd(fund, count, series);
    MacdTrigger(fund, count, series);
    SimulateMacd(fund, series);
    Roc(fund, count, series);
    SimulateRoc(fund, series);
    ComputeSeriesStatistics(fund, series);
    EndMoneyMarketWalk();
}
