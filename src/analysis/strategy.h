// The buy-above / sell-below trading rule of one strategy: its signals, its trades with
// their fee, the money-market interest on its cash, and the replays of a rule over all
// points that the moving average, MACD and ROC share.
#ifndef VANTRY_STRATEGY_H
#define VANTRY_STRATEGY_H

#include <stdint.h>

#include "data/fund.h"

// One strategy: it holds either the fund (shares) or cash. Point indexes; lastTrade 0
// means no trade yet.
struct Strategy {
    uint32_t holding;
    double cash;
    double shares;
    uint32_t lastTrade;
    uint32_t lastSale;
};

// Trades closer together than this many points pay the TradingFeeTable percentage.
#define FEE_POINTS 9

// Not holding, the given cash, no trade yet.
void StartStrategy(Strategy *s, double cash);
// The moving-average signals at value x against average m with a threshold in percent:
// sell when x < m (threshold 0) or x <= m - threshold% of m; buy when x > m (threshold 0)
// or x >= m + threshold% of m.
int MaSellSignal(double x, double m, uint32_t sell);
int MaBuySignal(double x, double m, uint32_t buy);
// The money a strategy that is not holding has at point i: its cash grown at the
// money-market rates since its last sale for series 0; the cash itself for series 1.
double CashAmount(const Strategy *s, const FundRecord *fund, int series, uint32_t i);
// A sale of all shares at x at point i, less the fee of a trade within 9 points of the
// previous one. Returns the cash.
double SellShares(Strategy *s, uint32_t i, double x);
// A purchase at x at point i with amount (from CashAmount), less the same fee. Returns
// the amount invested.
double BuyShares(Strategy *s, uint32_t i, double x, double amount);
// One point of a strategy: a holding strategy sells when sellSignal is set, one that is
// not holding buys when buySignal is set; at most one trade.
void TradeOnSignals(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                    int sellSignal, int buySignal);
// The trading rule of the moving average at point i (value x, average m) with the
// strategy's buy and sell thresholds.
void ApplyTradingRule(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                      double m, uint32_t buy, uint32_t sell);
// The final pass at point last: a holding strategy's cash becomes shares * value(last);
// otherwise, for series 0 and unless it sold at last, its cash grows at the money-market
// rates from its last sale.
void FinishStrategy(Strategy *s, const FundRecord *fund, int series, uint32_t last);
// One point of a replay over all points: trades like TradeOnSignals and returns the
// equity at the point (cash after a sale, shares * x while holding, the grown cash while
// not holding, the amount invested after a purchase). The cash is not advanced by the
// interest until a purchase uses it.
double ReplayPoint(Strategy *s, const FundRecord *fund, int series, uint32_t i, double x,
                   int sellSignal, int buySignal);
// After point i of a replay: at the fund's recentStart (when not 0) the replay restarts
// from the fund's own value (a holding strategy's shares become 1.0; otherwise the cash
// becomes x as if sold there).
void RestartReplay(Strategy *s, const FundRecord *fund, uint32_t i, double x);

// The trial points of the searches: recentStart + 1 when recentStart is not 0, else
// every point (never more than the series has; 0 without points).
uint32_t TrialPointCount(const FundRecord *fund, int series);

// Replays the chosen kind's thresholds (0 and 0 without a kind) over every point from the
// current ma: maEquity and the maHolding bit of every point.
void SimulateMa(FundRecord *fund, int series);

// The money-market walk of series 0 of the fund being analysed on this thread: the year
// ends, DatePeriods and money-market rates of its points, looked up once per fund because
// the searches buy millions of times a load. Growth through it is the very chain of
// CompoundAtRate calls that MoneyMarketGrowth makes.
struct MoneyMarketWalk {
    const FundRecord *fund;  // null when no walk is prepared
    uint32_t count;          // the fund's pointCount when it was prepared
    uint32_t *yearEnd;       // first later point of another year (count: none)
    int32_t *period;         // DatePeriod of each point
    double *rate;            // money-market rate of each point's year
    void *block;
};
// Prepares the calling thread's walk for fund (ending the previous one); without memory
// no walk is prepared and the plain MoneyMarketGrowth is used.
void BeginMoneyMarketWalk(const FundRecord *fund);
// Frees the calling thread's walk.
void EndMoneyMarketWalk(void);
// The calling thread's walk when it was prepared for fund (and its point count), or null.
const MoneyMarketWalk *WalkOf(const FundRecord *fund);
// MoneyMarketGrowth(fund, value, from, to) of series 0, through the prepared walk when
// there is one for fund.
double GrowCash(const FundRecord *fund, double value, uint32_t from, uint32_t to);

#endif
