// The trading rule (signals, fees, money-market interest), the threshold grid and its tie
// rules, the replay of the chosen rule, and OptimizeFund: the search, the restore test of
// saved values, kind selection and the job modes.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <utility>
#include <vector>

#include "analysis/movavg.h"
#include "analysis/grid.h"
#include "analysis/optimize.h"
#include "analysis/strategy.h"
#include "data/alloc.h"
#include "data/fund.h"
#include "data/optfile.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

// The mode flags and the opt table are process-wide (and clear when each test starts).
void ClearGlobals()
{
    FreeOptTable();
    OptModeReselect = OptModeRecalculate = OptimizedFlag = 0;
}

// 1, 2, ..., 30: even steps, so the VIDYA limit is 100 for every length.
const std::vector<double> Ramp30 = Ramp(30, 1, 1);

void SetMa(FundRecord *f, int series, const std::vector<double> &ma)
{
    for (uint32_t i = 0; i < f->pointCount && i < ma.size(); i++)
        f->points[series][i].ma = ma[i];
}

// A one-record opt table whose values no search produces (odd lengths), kind WMA.
OptRecord *OneRecord(const char *name)
{
    OptTable = (OptRecord *)AllocZero(1, sizeof(OptRecord));
    OptCount = 1;
    OptRecord *r = &OptTable[0];
    r->name = CopyString(name, strlen(name));
    r->pointCount = 30;
    MaSettings *s = &r->series[0];
    s->maKind = MA_WMA;
    const uint32_t params[MA_PARAM_COUNT] = {7, 1, 2, 7, 3, 4, 33, 5, 6, 5, 7, 8,
                                             3, 50, 9, 10, 12, 26, 9, 2, 2, 33, 2, 6};
    for (int p = 0; p < MA_PARAM_COUNT; p++)
        SetMaParam(s, (MaParam)p, params[p]);
    for (int k = 0; k < 5; k++)
        s->maAverage[k] = 1.5 + k;
    r->saved[0] = 1;
    return r;
}

void ExpectParams(const MaSettings *s, const ParamList &expected, const char *what)
{
    for (const auto &p : expected)
        EXPECT_EQ(GetMaParam(s, p.first), p.second) << what << " param " << p.first;
}

// The first values of every search, which win when all strategies tie: lengths 2, EMA 10
// percent, VIDYA 2 percent, thresholds 0 and 0; MACD fixed; ROC length 30 with (1, 5).
const ParamList InitialParams = {
    {UMA_LENGTH, 2},   {WMA_LENGTH, 2},   {EMA_PERCENT, 10}, {AMA_LENGTH, 2},
    {VIDYA_LENGTH, 2}, {VIDYA_PERCENT, 2}, {UMA_BUY, 0},     {UMA_SELL, 0},
    {WMA_BUY, 0},      {WMA_SELL, 0},     {EMA_BUY, 0},      {EMA_SELL, 0},
    {AMA_BUY, 0},      {AMA_SELL, 0},     {VIDYA_BUY, 0},    {VIDYA_SELL, 0},
    {MACD_FAST, 12},   {MACD_SLOW, 26},   {MACD_TRIGGER, 9}, {MACD_BUY, 2},
    {MACD_SELL, 2},    {ROC_LENGTH, 30},  {ROC_BUY, 1},      {ROC_SELL, 5},
};

// ---------------------------------------------------------------------------------------
// The trading rule

TEST(TradingRule, ThresholdSignals)
{
    // Threshold 0 wants a strict crossing; any other threshold includes its boundary.
    struct {
        double value, ma;
        uint32_t threshold;
        bool sell, buy;
    } cases[] = {{99.9, 100, 0, true, false}, {100, 100, 0, false, false},
                 {95, 100, 5, true, false},   {95.5, 100, 5, false, false},
                 {100.1, 100, 0, false, true}, {105, 100, 5, false, true},
                 {104.5, 100, 5, false, false}};
    for (const auto &c : cases) {
        EXPECT_EQ(MaSellSignal(c.value, c.ma, c.threshold), c.sell) << c.value;
        EXPECT_EQ(MaBuySignal(c.value, c.ma, c.threshold), c.buy) << c.value;
    }
}

TEST(TradingRule, FeesOnTradesCloseTogetherAndOneTradePerPoint)
{
    FundRecord *f = SearchFund(std::vector<double>(20, 1.0));
    AddSeriesOne(f);
    Strategy s;
    StartStrategy(&s, 1.0);
    ApplyTradingRule(&s, f, 1, 1, 2.0, 1.0, 0, 0);  // the first purchase is free
    EXPECT_DOUBLE_EQ(s.shares, 0.5);
    ApplyTradingRule(&s, f, 1, 4, 2.0, 3.0, 0, 0);  // 3 points later: 0.7 percent
    EXPECT_FALSE(s.holding);
    EXPECT_DOUBLE_EQ(s.cash, 0.993);
    EXPECT_EQ(s.lastSale, 4u);
    ApplyTradingRule(&s, f, 1, 6, 1.0, 0.5, 0, 0);  // 2 points later: 0.8 percent
    EXPECT_TRUE(s.holding);
    EXPECT_DOUBLE_EQ(s.shares, 0.993 * 0.992);
    ApplyTradingRule(&s, f, 1, 16, 1.0, 2.0, 0, 0);  // 10 points later: no fee
    EXPECT_FALSE(s.holding);
    EXPECT_DOUBLE_EQ(s.cash, 0.993 * 0.992);
    EXPECT_EQ(s.lastTrade, 16u);

    // Both signals at once: not holding, only the purchase counts; holding, sold and
    // not bought back (a point after the purchase: 0.9 percent).
    StartStrategy(&s, 1.0);
    TradeOnSignals(&s, f, 1, 2, 2.0, 1, 1);
    EXPECT_DOUBLE_EQ(s.shares, 0.5);
    TradeOnSignals(&s, f, 1, 3, 4.0, 1, 1);
    EXPECT_FALSE(s.holding);
    EXPECT_DOUBLE_EQ(s.cash, 2.0 * (1 - 0.009));
    EXPECT_EQ(s.lastTrade, 3u);
}

// ---------------------------------------------------------------------------------------
// The threshold grid

TEST(MaGrid, MoneyMarketInterestOnSeriesZeroCashAndTheLastFee)
{
    // Every strategy buys at point 10 (value 2 against an average of 1) and sells at
    // saleAt (4 against 8); nothing else trades; the trial is 31 points. Series 0 cash
    // grows 10 periods before the purchase (1.01 buys 0.505 shares) and again to the end;
    // series 1 cash earns nothing. A sale 10 points after the purchase is free, 9 pays
    // 0.1 percent.
    struct {
        uint32_t saleAt;
        double series0, series1;
    } cases[] = {{20, 2.02 * 1.01, 2.0}, {19, 0.505 * 4 * 0.999 * 1.011, 2.0 * 0.999}};
    for (const auto &c : cases) {
        std::vector<double> values(31), ma(31);
        for (uint32_t i = 0; i < 31; i++)
            ma[i] = values[i] = i < 10 ? 1 : (i < c.saleAt ? 2 : (i < 30 ? 4 : 1));
        ma[10] = 1;
        ma[c.saleAt] = 8;
        FundRecord *f = SearchFund(values);
        SetMa(f, 0, ma);
        AddSeriesOne(f);
        uint32_t buy = 99, sell = 99;
        EXPECT_DOUBLE_EQ(ScoreMaGrid(f, 0, &buy, &sell), c.series0) << c.saleAt;
        EXPECT_DOUBLE_EQ(StrategyGrid[10][10].shares, 0.505);
        EXPECT_DOUBLE_EQ(ScoreMaGrid(f, 1, &buy, &sell), c.series1) << c.saleAt;
    }
}

TEST(MaGrid, FirstScannedWinsTiesAndTheAverageReturn)
{
    // Series 1, 13 points:
    //   point 1: 2 against 1.9: buy thresholds 0..5 buy (1.9 * 1.06 is above 2);
    //   point 11: 1 against 1.08: sell thresholds 0..7 sell at half the price;
    //   the average equals the value everywhere else.
    // Final cash: 0.5 for buy 0..5 with sell 0..7; 1.0 for the others.
    std::vector<double> values = {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 2};
    std::vector<double> ma = values;
    ma[1] = 1.9;
    ma[11] = 1.08;
    FundRecord *f = SearchFund(values);
    AddSeriesOne(f);
    SetMa(f, 1, ma);
    uint32_t buy = 99, sell = 99;
    EXPECT_EQ(ScoreMaGrid(f, 1, &buy, &sell), 1.0);
    // Buy thresholds are scanned first, then sell: (0, 8) comes before (6, 0).
    EXPECT_EQ(std::make_pair(buy, sell), std::make_pair(0u, 8u));
    EXPECT_EQ(std::vector<double>({StrategyGrid[0][0].cash, StrategyGrid[5][7].cash,
                                   StrategyGrid[5][8].cash, StrategyGrid[6][0].cash,
                                   StrategyGrid[10][10].cash}),
              std::vector<double>({0.5, 0.5, 1, 1, 1}));
    // The plain percent change of the mean from value(0) = 1. All 121: 48 at 0.5 and 73
    // at 1.0; thresholds up to 7: 48 and 16; up to 5: all 36 sold at half.
    EXPECT_NEAR(GridAverageReturn(f, 1, 10), (97.0 / 121 - 1) * 100, 1e-12);
    EXPECT_NEAR(GridAverageReturn(f, 1, 7), (40.0 / 64 - 1) * 100, 1e-12);
    EXPECT_NEAR(GridAverageReturn(f, 1, 5), -50.0, 1e-12);
    EXPECT_NEAR(GridAverageReturn(f, 1, 0), -50.0, 1e-12);
}

TEST(MaGrid, TrialPeriodEndsAtRecentStartOrWithTheLastPoint)
{
    // Nothing trades; the trial is points 0..120: two years of 6 percent, a yearly 6.
    std::vector<double> values(130, 1.0);
    FundRecord *f = SearchFund(values);
    SetMa(f, 0, values);
    f->recentStart = 120;
    EXPECT_EQ(TrialPointCount(f, 0), 121u);
    uint32_t buy, sell;
    EXPECT_DOUBLE_EQ(ScoreMaGrid(f, 0, &buy, &sell), 1.1236);
    EXPECT_NEAR(GridAverageReturn(f, 0, 10), 6.0, 1e-9);

    // No points at all: nothing to score, and the search leaves the first kind.
    f = SearchFund({});
    buy = sell = 99;
    EXPECT_EQ(ScoreMaGrid(f, 0, &buy, &sell), 0.0);
    EXPECT_EQ(std::make_pair(buy, sell), std::make_pair(0u, 0u));
    EXPECT_EQ(GridAverageReturn(f, 0, 10), 0.0);
    SimulateMa(f, 0);
    OptimizeFund(f, 0);
    EXPECT_EQ(f->maSettings[0].maKind, (uint32_t)MA_UMA);
}

// ---------------------------------------------------------------------------------------
// The replay

// UMA thresholds 0 and 0, the averages set by hand; series 0 at 0.1 percent a period.
FundRecord *ReplayFund(uint32_t recentStart)
{
    FundRecord *f = SearchFund({1, 1, 2, 3, 2, 2, 2, 4, 8});
    SetMa(f, 0, {1, 1, 1, 2, 3, 3, 3, 3, 3});
    f->maSettings[0].maKind = MA_UMA;
    f->recentStart = recentStart;
    return f;
}

TEST(SimulateMa, EquityTheRestartAtRecentStartAndTheChosenKindsThresholds)
{
    FundRecord *f = ReplayFund(5);
    SimulateMa(f, 0);
    double bought = 1.002;                  // point 2: cash grown 2 periods, no fee
    double sold = bought / 2 * 2 * 0.992;   // point 4: 2 points later, 0.8 percent
    // Point 5 restarts the cash from the fund's value 2; point 7 buys 3 points after
    // the last trade (0.7 percent) with 2 grown 2 periods.
    double rebought = 2.004 * 0.993;
    std::vector<double> expected = {1.0,   1.001,         bought, bought / 2 * 3, sold,
                                    sold * 1.001, 2.002, rebought, rebought / 4 * 8};
    std::vector<int> holding = {0, 0, 1, 1, 0, 0, 0, 1, 1};
    for (uint32_t i = 0; i < 9; i++) {
        EXPECT_NEAR(f->points[0][i].maEquity, expected[i], 1e-12) << i;
        EXPECT_EQ(Holds(f, 0, i, NAV_MA_HOLDING), holding[i] == 1) << i;
    }

    // Holding at the restart point 3: one share from there on, sold at 2 a point later
    // (0.8 percent for 2 points after the purchase).
    f = ReplayFund(3);
    SimulateMa(f, 0);
    EXPECT_NEAR(f->points[0][3].maEquity, 1.002 / 2 * 3, 1e-12);
    EXPECT_NEAR(f->points[0][4].maEquity, 2 * 0.992, 1e-12);
    EXPECT_NEAR(f->points[0][5].maEquity, 2 * 0.992 * 1.001, 1e-12);

    // Series 1 cash earns nothing.
    f = ReplayFund(0);
    AddSeriesOne(f);
    f->maSettings[1].maKind = MA_UMA;
    SimulateMa(f, 1);
    EXPECT_EQ(f->points[1][2].maEquity, 1.0);
    EXPECT_DOUBLE_EQ(f->points[1][4].maEquity, 0.992);
    EXPECT_DOUBLE_EQ(f->points[1][6].maEquity, 0.992);

    // WMA's buy threshold of 10 keeps the replay out at point 2 (2 is not 10 percent
    // above 1.9); point 3 buys (4 against 1) with the cash grown 3 periods.
    f = SearchFund({1, 1, 2, 4});
    SetMa(f, 0, {1, 1, 1.9, 1});
    f->maSettings[0].maKind = MA_WMA;
    SetMaParam(&f->maSettings[0], WMA_BUY, 10);
    SimulateMa(f, 0);
    EXPECT_FALSE(Holds(f, 0, 2, NAV_MA_HOLDING));
    EXPECT_TRUE(Holds(f, 0, 3, NAV_MA_HOLDING));
    EXPECT_NEAR(f->points[0][3].maEquity, 1.003, 1e-12);
    SetMaParam(&f->maSettings[0], WMA_BUY, 0);
    SimulateMa(f, 0);
    EXPECT_TRUE(Holds(f, 0, 2, NAV_MA_HOLDING));
}

// ---------------------------------------------------------------------------------------
// OptimizeFund

TEST(OptimizeFund, ThreePointFundAllScoresZeroAndKindsWithoutAnAverage)
{
    // 1, 2, 4 at 0.1 percent a period. Every kind but AMA has its average below 2 at
    // point 1 by more than 10 percent and below 4 at point 2, so every strategy buys at
    // 2 with 1.001 and ends with 2.002: all tie, the first values win and "Avg" is 100.2.
    // AMA's efficiency is 1, its average is the value, nothing trades: 1.002, an average
    // a hair below 0.2 in doubles, kept truncated to tenths as the opt file holds it.
    // ROC never buys before point 30.
    FundRecord *f = SearchFund({1, 2, 4});
    OptimizeFund(f, 0);
    const MaSettings *s = &f->maSettings[0];
    ExpectParams(s, InitialParams, "three points");
    const double average[] = {100.2, 100.2, 100.2, 0.1, 100.2};
    for (int k = 0; k < 5; k++)
        EXPECT_NEAR(s->maAverage[k], average[k], 1e-9) << k;
    // Replays: 2.002 for UMA, WMA, EMA and VIDYA, 1.002 for AMA; UMA comes first.
    EXPECT_EQ(s->maKind, (uint32_t)MA_UMA);
    const double ma[] = {1, 1, 1.5};
    const double equity[] = {1, 1.001, 2.002};
    for (uint32_t i = 0; i < 3; i++) {
        EXPECT_DOUBLE_EQ(f->points[0][i].ma, ma[i]) << i;
        EXPECT_NEAR(f->points[0][i].maEquity, equity[i], 1e-12) << i;
        EXPECT_EQ(Holds(f, 0, i, NAV_MA_HOLDING), i > 0) << i;
    }

    // Every score 0: the first values stay and every average is 0.
    f = SearchFund(std::vector<double>(30, 0.0));
    OptimizeFund(f, 0);
    s = &f->maSettings[0];
    ExpectParams(s, InitialParams, "all zero");
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(s->maAverage[k], 0.0) << k;
    EXPECT_EQ(s->maKind, (uint32_t)MA_UMA);

    // The 3-bit kind fields hold 6 or 7 (a damaged opt file): no average. A record
    // preferring 7 is restored but not followed, a series set to 6 likewise: every kind
    // is searched again, which on the 1, 2, 4 fund gives UMA as above.
    for (uint32_t damaged : {7u, 6u}) {
        ClearGlobals();
        f = SearchFund({1, 2, 4});
        if (damaged == 7)
            OneRecord("FUND")->pointCount = 3, OptTable[0].series[0].maKind = 7;
        else
            f->maSettings[0].maKind = 6;
        OptimizeFund(f, 0);
        EXPECT_EQ(OptimizedFlag, 1) << damaged;
        EXPECT_EQ(f->maSettings[0].maKind, (uint32_t)MA_UMA) << damaged;
        // Every kind searched again: the first values, not the record's lengths of 7.
        ExpectParams(&f->maSettings[0], {{UMA_LENGTH, 2}, {EMA_PERCENT, 10}}, "damaged kind");
    }
}

TEST(OptimizeFund, VidyaPercentStaysWithinItsFieldAndItsLimit)
{
    // Steps 11, 0, 11: the VIDYA limit for length 2 (the only one below 4 points) is
    // 133, above the 7-bit field. alpha = K * 0.75 / 100. Whoever buys at 12 ends below
    // 1; never buying keeps 1.003. Buy threshold r stays out at point 1 only when
    // 12 < (1 + 11 * alpha) * (1 + r/100): r = 10 needs K > 120.1, r = 9 K > 121.3; at
    // K = 122 the average reaches 11.9205 at point 2, still too close to 12 for r = 9.
    // So the best is K = 122, buy 9, sell 0, and no higher percent scores better.
    FundRecord *f = SearchFund({1, 12, 12, 1});
    f->maSettings[0].maKind = MA_VIDYA;
    OptimizeFund(f, 0);
    const MaSettings *s = &f->maSettings[0];
    EXPECT_EQ(OptimizedFlag, 1);
    ExpectParams(s, {{VIDYA_LENGTH, 2}, {VIDYA_PERCENT, 122}, {VIDYA_BUY, 9}, {VIDYA_SELL, 0},
                     {UMA_LENGTH, 0}},  // only VIDYA searched
                 "vidya");
    EXPECT_EQ(s->maKind, (uint32_t)MA_VIDYA);
    EXPECT_EQ(s->maAverage[0], 0.0);
    // The replay of the stored values is the one that was scored: never bought.
    EXPECT_NEAR(f->points[0][3].maEquity, 1.003, 1e-12);

    // Stored percents up to the limit (100 on the ramp) are kept; above it the percent
    // is searched again.
    ClearGlobals();
    f = SearchFund(Ramp30);
    MaSettings *w = &f->maSettings[0];
    w->maKind = MA_VIDYA;
    SetParams(w, {{VIDYA_LENGTH, 4}, {VIDYA_PERCENT, 100}});
    OptimizeFund(f, 0);
    EXPECT_EQ(OptimizedFlag, 0);
    ExpectParams(w, {{VIDYA_LENGTH, 4}, {VIDYA_PERCENT, 100}}, "at the limit");

    SetMaParam(w, VIDYA_PERCENT, 102);
    OptimizeFund(f, 0);
    EXPECT_EQ(OptimizedFlag, 1);
    uint32_t length = GetMaParam(w, VIDYA_LENGTH), percent = GetMaParam(w, VIDYA_PERCENT);
    EXPECT_TRUE(length >= 2 && length <= 20 && length % 2 == 0) << length;
    EXPECT_TRUE(percent >= 2 && percent <= 100 && percent % 2 == 0) << percent;

    // A saved record preferring VIDYA above the limit: its length is cleared and only
    // VIDYA is searched; the other restored parameters stay.
    ClearGlobals();
    f = SearchFund(Ramp30);
    w = &f->maSettings[0];
    MaSettings *r = &OneRecord("FUND")->series[0];
    r->maKind = MA_VIDYA;
    SetParams(r, {{VIDYA_LENGTH, 4}, {VIDYA_PERCENT, 102}});
    OptimizeFund(f, 0);
    EXPECT_EQ(OptimizedFlag, 1);
    EXPECT_EQ(w->maKind, (uint32_t)MA_VIDYA);
    ExpectParams(w, {{UMA_LENGTH, 7}, {WMA_LENGTH, 7}}, "restored");
    EXPECT_EQ(w->maAverage[0], 1.5);
    EXPECT_LE(GetMaParam(w, VIDYA_PERCENT), 100u);
    EXPECT_EQ(GetMaParam(w, VIDYA_LENGTH) % 2, 0u);
}

TEST(OptimizeFund, ChangeJobRecomputesOrSearchesThatKindOnly)
{
    // With its parameters: no search (not even MACD is set), only the average, whose
    // arithmetic is the moving-average test's: (200 + 112.5) / 100 at the last point.
    FundRecord *f = SearchFund({1, 2, 3, 4});
    MaSettings *s = &f->maSettings[0];
    s->maKind = MA_EMA;
    SetMaParam(s, EMA_PERCENT, 50);
    OptimizeFund(f, 0);
    EXPECT_EQ(OptimizedFlag, 0);
    EXPECT_EQ(s->maKind, (uint32_t)MA_EMA);
    ExpectParams(s, {{UMA_LENGTH, 0}, {MACD_FAST, 0}}, "recompute");
    EXPECT_DOUBLE_EQ(f->points[0][3].ma, 3.125);

    // Without them: EMA alone is searched, then MACD and ROC.
    std::vector<double> values;
    for (int i = 0; i < 30; i++)
        values.push_back(10 + (i % 7) - (i % 3));
    f = SearchFund(values);
    s = &f->maSettings[0];
    s->maKind = MA_EMA;
    OptimizeFund(f, 0);
    EXPECT_EQ(OptimizedFlag, 1);
    EXPECT_EQ(s->maKind, (uint32_t)MA_EMA);
    uint32_t percent = GetMaParam(s, EMA_PERCENT);
    EXPECT_TRUE(percent >= 10 && percent <= 80 && percent % 2 == 0) << percent;
    for (uint32_t kind : {MA_UMA, MA_WMA, MA_AMA, MA_VIDYA}) {
        EXPECT_EQ(GetMaParam(s, MaLengthParam(kind)), 0u) << kind;
        EXPECT_EQ(s->maAverage[kind - 1], 0.0) << kind;
    }
    EXPECT_EQ(GetMaParam(s, MACD_SLOW), 26u);
    uint32_t roc = GetMaParam(s, ROC_LENGTH);
    EXPECT_TRUE(roc >= 30 && roc <= 40) << roc;
}

// Parameters of every kind: UMA and WMA length 2, EMA 10 percent buying only 10 percent
// above its average, AMA length 2, VIDYA length 2 at 20 percent.
void SetAllKinds(MaSettings *s)
{
    SetParams(s, {{UMA_LENGTH, 2}, {WMA_LENGTH, 2}, {EMA_PERCENT, 10}, {EMA_BUY, 10},
                  {AMA_LENGTH, 2}, {VIDYA_LENGTH, 2}, {VIDYA_PERCENT, 20}});
    for (int k = 0; k < 5; k++)
        s->maAverage[k] = 1.5 + k;
}

TEST(OptimizeFund, KindSelectionReplaysEachKindWithItsOwnThresholds)
{
    // 1, 1, 1, 1.05, 0.5. At point 3 UMA and WMA average 1 and VIDYA 1.0017: they buy
    // and sell at the fall. EMA averages 1.005 and needs 10 percent above it; AMA's
    // average is the value: neither trades, both end with 1.004, and EMA comes first.
    // (Replayed with thresholds 0 and 0, EMA would buy and AMA would be chosen.)
    FundRecord *f = SearchFund({1, 1, 1, 1.05, 0.5});
    MaSettings *s = &f->maSettings[0];
    SetAllKinds(s);
    OptModeReselect = 1;
    OptimizeFund(f, 0);
    EXPECT_EQ(s->maKind, (uint32_t)MA_EMA);
    EXPECT_NEAR(f->points[0][4].maEquity, 1.004, 1e-12);
    // Reselect searched no kind that had its parameters; the search step still ran.
    ExpectParams(s, {{UMA_LENGTH, 2}, {EMA_BUY, 10}, {VIDYA_PERCENT, 20}, {MACD_FAST, 12}},
                 "reselect");
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(s->maAverage[k], 1.5 + k) << k;
    EXPECT_EQ(OptimizedFlag, 1);

    // The same values restored from a record that prefers WMA: the record's kind is
    // not taken when reselecting, the replay chooses EMA again.
    f = SearchFund({1, 1, 1, 1.05, 0.5});
    OptRecord *r = OneRecord("FUND");
    r->pointCount = 5;
    memset(r->series[0].words, 0, sizeof r->series[0].words);
    SetAllKinds(&r->series[0]);
    OptimizeFund(f, 0);
    EXPECT_EQ(f->maSettings[0].maKind, (uint32_t)MA_EMA);
    EXPECT_EQ(GetMaParam(&f->maSettings[0], UMA_LENGTH), 2u);
}

// ---------------------------------------------------------------------------------------
// Restoring saved values

struct RestoreCase {
    const char *what;
    bool restored;
    uint32_t savedAfter;  // the record's series-0 flag afterwards
    void (*change)(FundRecord *f, OptRecord *r);
};

TEST(OptimizeFund, RestoreTestOfSavedValues)
{
    const RestoreCase cases[] = {
        {"same counts, no boundary", true, 0, [](FundRecord *, OptRecord *) {}},
        {"recalculate", false, 0, [](FundRecord *, OptRecord *) { OptModeRecalculate = 1; }},
        {"no saved values", false, 0, [](FundRecord *, OptRecord *r) { r->saved[0] = 0; }},
        {"only series 1 saved", false, 0,
         [](FundRecord *, OptRecord *r) { r->saved[0] = 0, r->saved[1] = 1; }},
        {"point count", false, 0, [](FundRecord *, OptRecord *r) { r->pointCount = 31; }},
        {"distribution count", false, 0, [](FundRecord *, OptRecord *r) { r->distCount = 1; }},
        {"split count", false, 0, [](FundRecord *, OptRecord *r) { r->splitCount = 1; }},
        {"same boundary, other counts", true, 0, [](FundRecord *f, OptRecord *r) {
             f->recentStart = r->recentStart = 20, r->pointCount = 99, r->distCount = 3; }},
        {"other boundary", false, 0,
         [](FundRecord *f, OptRecord *r) { f->recentStart = 20, r->recentStart = 21; }},
        {"boundary only in the record", false, 0,
         [](FundRecord *, OptRecord *r) { r->recentStart = 20; }},
        {"boundary only in the fund", false, 0,
         [](FundRecord *f, OptRecord *) { f->recentStart = 20; }},
        {"fund without a short name", false, 1,
         [](FundRecord *f, OptRecord *) { FreeBlock(f->shortName), f->shortName = nullptr; }},
        {"another fund's record", false, 1,
         [](FundRecord *, OptRecord *r) { FreeBlock(r->name), r->name = CopyString("OTHER", 5); }},
    };
    for (const RestoreCase &c : cases) {
        ClearGlobals();
        FundRecord *f = SearchFund(Ramp30);  // short name "FUND"; the record's name is matched
        OptRecord saved = *OneRecord("fund");  // without regard to case
        c.change(f, &OptTable[0]);
        OptimizeFund(f, 0);
        const MaSettings *s = &f->maSettings[0];
        EXPECT_EQ(OptTable[0].saved[0], c.savedAfter) << c.what;
        if (c.restored) {
            EXPECT_EQ(OptimizedFlag, 0) << c.what;
            EXPECT_EQ(s->maKind, (uint32_t)MA_WMA) << c.what;
            for (int w = 0; w < 4; w++)
                EXPECT_EQ(s->words[w], saved.series[0].words[w]) << c.what << " word " << w;
            for (int k = 0; k < 5; k++)
                EXPECT_EQ(s->maAverage[k], 1.5 + k) << c.what;
            // WMA 7 over 4..10: (1*4 + 2*5 + ... + 7*10) / 28 = 224 / 28.
            EXPECT_DOUBLE_EQ(f->points[0][10].ma, 8.0) << c.what;
        } else {
            EXPECT_EQ(OptimizedFlag, 1) << c.what;
            EXPECT_EQ(GetMaParam(s, WMA_LENGTH) % 2, 0u) << c.what;
            EXPECT_EQ(GetMaParam(s, UMA_LENGTH) % 2, 0u) << c.what;
        }
    }
}

}  // namespace
