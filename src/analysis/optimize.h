// The buy-above / sell-below trading rule, the 11 x 11 grid of threshold strategies, the
// replay of the chosen rule, and OptimizeFund: the search of the moving-average
// parameters and kind of a series followed by its whole analysis.
#ifndef VANTRY_OPTIMIZE_H
#define VANTRY_OPTIMIZE_H

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

// Buy thresholds 0..10 (rows) by sell thresholds 0..10 (columns), percent. One shared
// instance: it keeps the final cash of the last grid run (GridAverageReturn reads it);
// the ROC threshold search uses cells [1..4][5..8].
#define STRATEGY_THRESHOLDS 11
typedef Strategy StrategyGridCells[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
// The calling thread's grid: each analysis thread has its own.
StrategyGridCells *CurrentStrategyGrid(void);
#define StrategyGrid (*CurrentStrategyGrid())
// The number of series whose parameters were searched (not restored) since the program
// started; the report tool shows how many a load searched.
extern uint32_t OptimizeSearches;

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

// Runs all 121 strategies of the StrategyGrid over the trial points with the series'
// current ma, then the final pass. Each point's buy and sell levels are computed once
// for their row or column of the grid. Returns the largest final cash and its buy and sell thresholds; among equal cash the
// first in the scan (lower buy, then lower sell) wins. 0 with thresholds 0 and 0 when
// the series has no points.
double ScoreMaGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// The same grid the straightforward way: one state per threshold pair, every point, the
// rules evaluated in the order they are written. ScoreMaGrid must match it bit for bit
// (final cash of every strategy, best cash and thresholds); the tests hold them together.
double ScoreMaGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// For the benchmarks: when set, ScoreMaGrid runs the reference; and the number of points
// the grids have stepped through (each step advances all 121 strategies).
extern int GridReferenceOnly;
extern uint64_t GridPointSteps;
// The annualized return (percent a year) of the mean final cash of the strategies with
// both thresholds at most k (at most 10) in the last grid run, from value(0) over the
// trial period; 0 without points.
double GridAverageReturn(const FundRecord *fund, int series, uint32_t k);
// Replays the chosen kind's thresholds (0 and 0 without a kind) over every point from the
// current ma: maEquity and the maHolding bit of every point.
void SimulateMa(FundRecord *fund, int series);

// The analysis of one series: restores the saved values of the fund's opt record when
// they still fit, searches the parameters and thresholds of the kinds that need it and
// the ROC length (setting OptimizedFlag), chooses the kind when maKind is 0, then
// computes the chosen average, its replay, the indicators and the statistics over all
// points.
void OptimizeFund(FundRecord *fund, int series);

#endif
