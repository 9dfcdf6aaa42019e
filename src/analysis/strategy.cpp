// The trading rule of one strategy, the money-market walk and the moving average's replay.
#include "analysis/strategy.h"

#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/ratefile.h"

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

static thread_local MoneyMarketWalk ThreadWalk;

void EndMoneyMarketWalk(void)
{
    FreeBlock(ThreadWalk.block);
    ThreadWalk = MoneyMarketWalk{};
}

void BeginMoneyMarketWalk(const FundRecord *fund)
{
    EndMoneyMarketWalk();
    uint32_t n = fund->pointCount;
    if (n == 0 || !fund->points[0])
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

const MoneyMarketWalk *WalkOf(const FundRecord *fund)
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

double GrowCash(const FundRecord *fund, double value, uint32_t from, uint32_t to)
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
