// The strategy simulation and the optimization of a series' moving-average parameters.
#include "analysis/optimize.h"

#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "analysis/stats.h"
#include "data/datetable.h"
#include "data/optfile.h"

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

double CashAmount(const Strategy *s, const FundRecord *fund, int series, uint32_t i)
{
    return series == 0 ? MoneyMarketGrowth(fund, s->cash, s->lastSale, i) : s->cash;
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
        s->cash = MoneyMarketGrowth(fund, s->cash, s->lastSale, last);
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
    // so each is computed once a point, by the very expressions of the rule, and each
    // strategy only looks up the signal of its own state.
    unsigned char buyAt[STRATEGY_THRESHOLDS], sellAt[STRATEGY_THRESHOLDS];
    StrategyGridCells &grid = StrategyGrid;  // this thread's, looked up once
    for (uint32_t i = 0; i < n; i++) {
        double x = p[i].value, m = p[i].ma;
        for (uint32_t t = 0; t < STRATEGY_THRESHOLDS; t++) {
            buyAt[t] = (unsigned char)MaBuySignal(x, m, t);
            sellAt[t] = (unsigned char)MaSellSignal(x, m, t);
        }
        for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++) {
            Strategy *row = grid[r];
            for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++) {
                Strategy *st = &row[c];
                if (st->holding) {
                    if (sellAt[c])
                        SellShares(st, i, x);
                } else if (buyAt[r]) {
                    BuyShares(st, i, x, CashAmount(st, fund, series, i));
                }
            }
        }
    }
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

double GridAverageReturn(const FundRecord *fund, int series, uint32_t k)
{
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    if (k > STRATEGY_THRESHOLDS - 1)
        k = STRATEGY_THRESHOLDS - 1;
    double sum = 0;
    for (uint32_t r = 0; r <= k; r++)
        for (uint32_t c = 0; c <= k; c++)
            sum += StrategyGrid[r][c].cash;
    double mean = MeanOf(sum, (k + 1) * (k + 1));
    return AnnualizedReturn(fund->points[series][0].value, mean,
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

// The best parameter of one kind so far and the "Avg" figure's running sum.
struct KindSearch {
    double best;
    uint32_t parameter, percent, buy, sell;
    double sum;
    uint32_t trials;
};

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
    k->sum += GridAverageReturn(fund, series, STRATEGY_THRESHOLDS - 1);
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
    KindSearch k = {0.0, t == MA_EMA ? 10u : 2u, 2, 0, 0, 0.0, 0};
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
    case MA_VIDYA:
        for (uint32_t v = 2; v <= 20 && v < count; v += 2) {
            SetMaParam(ms, VIDYA_LENGTH, v);
            double reference;
            uint32_t limit = VidyaSearchLimit(fund, series, &reference);
            for (uint32_t percent = 2; percent <= limit; percent += 2) {
                SetMaParam(ms, VIDYA_PERCENT, percent);
                Vidya(fund, n, series, reference);
                ScoreTrial(fund, series, &k, v, percent);
            }
        }
        SetMaParam(ms, VIDYA_PERCENT, k.percent);
        break;
    default:
        break;
    }
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
}
