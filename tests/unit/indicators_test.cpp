// Indicators and projections: RSI windows, Bollinger bands and their maxima, the trend
// and pattern projections, MACD with its trigger and replay, ROC with its replay and the
// ROC threshold grid.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <utility>
#include <vector>

#include "analysis/indicators.h"
#include "analysis/grid.h"
#include "analysis/strategy.h"
#include "data/alloc.h"
#include "data/fund.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

// The funds are SearchFund's: series 0 cash earns 6 percent a year, 0.1 percent a period.

// Statistics of one series, each against its expected value.
typedef std::vector<std::pair<double SeriesStats::*, double>> StatList;
void ExpectStats(const FundRecord *f, int series, const StatList &expected)
{
    for (size_t k = 0; k < expected.size(); k++)
        EXPECT_NEAR(f->stats[series].*expected[k].first, expected[k].second, 1e-12) << "stat " << k;
}

// ---------------------------------------------------------------------------------------
// RSI

TEST(Rsi, WindowOfTheLastNineSteps)
{
    struct {
        const char *what;
        std::vector<double> values;
        std::vector<uint32_t> rsi;
    } cases[] = {
        {"rising", Ramp(15, 1, 1), {0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 100, 100, 100, 100, 100}},
        {"falling", Ramp(15, 20, -1), std::vector<uint32_t>(15, 0)},
        // Ends inside the first window: no RSI yet, and the bits set before are cleared.
        {"nine points", Ramp(9, 1, 1), std::vector<uint32_t>(9, 0)},
        // Steps +3, seven of +1, then -2, -3, +2 and seven of +1.
        // Point 9: gains 10, losses 2: 100 - trunc(100 / 6) = 84; the +3 leaves.
        // Point 10: gains 7, losses 5: 100 - trunc(100 / 2.4) = 59; a +1 leaves.
        // Points 11-17: gains 8, losses 5: 100 - trunc(100 / 2.6) = 62; then the -2
        // leaves. Point 18: gains 9, losses 3: 100 - 100 / 4 = 75.
        {"mixed",
         {10, 13, 14, 15, 16, 17, 18, 19, 20, 18, 15, 17, 18, 19, 20, 21, 22, 23, 24},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 84, 59, 62, 62, 62, 62, 62, 62, 62, 75}},
    };
    for (const auto &c : cases) {
        FundRecord *f = SearchFund(c.values);
        for (uint32_t i = 0; i < f->pointCount; i++)
            f->points[0][i].dateWord |= NAV_RSI_MASK | NAV_MA_HOLDING;
        Rsi(f, 0);
        for (uint32_t i = 0; i < f->pointCount; i++) {
            uint32_t word = f->points[0][i].dateWord;
            EXPECT_EQ((word & NAV_RSI_MASK) >> NAV_RSI_SHIFT, c.rsi[i]) << c.what << i;
            // The date index and the other flags stay.
            EXPECT_EQ(word & 0xFFFF, i) << c.what << i;
            EXPECT_TRUE(word & NAV_MA_HOLDING) << c.what << i;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Bollinger bands

TEST(Bollinger, NothingBeforePointTwentyThenTheLastTwentyAroundTheMiddle)
{
    // Twenty zeros, then 10 and 10. Point 20: middle (9 * 0 + 10) / 10 = 1, deviations
    // of the twenty zeros from 1: width 2 * sqrt(20 / 20) = 2. Point 21: middle 1.9,
    // deviations 19 * 1.9^2 + 8.1^2 = 134.2: width 2 * sqrt(6.71).
    std::vector<double> rise(20, 0.0), fall(22, 0.0);
    rise.insert(rise.end(), {10, 10});
    // 100 and then zeros: the middle line starts from the first value, 100 * 0.9^i. Point
    // 20 sees 100 and 19 zeros around m20; point 21 only zeros around m21: width 2 * m21,
    // and with the recent part starting there its top is the recent maximum.
    fall[0] = 100;
    const double m20 = 100 * pow(0.9, 20), m21 = 100 * pow(0.9, 21), top21 = 1.9 + 2 * sqrt(6.71);
    const double width20 = 2 * sqrt(((100 - m20) * (100 - m20) + 19 * m20 * m20) / 20);
    const struct {
        std::vector<double> values;
        uint32_t recentStartShort;
        // middle and width at 20 and 21, maxBand, maxBandRecent
        double want[6];
    } cases[] = {
        {rise, 0, {1.0, 2.0, 1.9, 2 * sqrt(6.71), top21, top21}},
        {fall, 21, {m20, width20, m21, 2 * m21, m20 + width20, 3 * m21}},
    };
    for (const auto &c : cases) {
        FundRecord *f = SearchFund(c.values);
        f->recentStartShort = c.recentStartShort;
        for (uint32_t i = 0; i < 22; i++)
            f->bandPoints[0][i] = {-1, -1};
        BollingerMiddle(f, 0);
        BollingerWidth(f, 0);
        const BandPoint *p = f->bandPoints[0];
        for (uint32_t i = 0; i < 20; i++)
            EXPECT_EQ(std::make_pair(p[i].middle, p[i].width), std::make_pair(0.0, 0.0)) << i;
        const double got[6] = {p[20].middle, p[20].width, p[21].middle, p[21].width,
                               f->stats[0].maxBand, f->stats[0].maxBandRecent};
        for (int k = 0; k < 6; k++)
            EXPECT_DOUBLE_EQ(got[k], c.want[k]) << c.recentStartShort << " " << k;
    }
}

// ---------------------------------------------------------------------------------------
// Projections

TEST(TrendProjection, WeightedSlopesOfTheLastSteps)
{
    struct {
        const char *what;
        std::vector<double> values;
        double projection[5];
    } cases[] = {
        // Steps 1..6, the newest 6. Slopes: (2*6 + 5)/3 = 17/3, (18 + 10 + 4)/6 = 16/3,
        // (24 + 15 + 8 + 3)/10 = 5, (30 + 20 + 12 + 6 + 2)/15 = 14/3,
        // (36 + 25 + 16 + 9 + 4 + 1)/21 = 13/3, each added to the one before from 22.
        {"rising", {1, 2, 4, 7, 11, 16, 22},
         {22 + 17.0 / 3, 22 + 33.0 / 3, 22 + 48.0 / 3, 22 + 62.0 / 3, 22 + 75.0 / 3}},
        // Newest step -10 after five of +10: slopes -10/3, 0, 2, 50/15, 90/21. From 3:
        // -1/3 becomes 0 before the next step is added.
        {"negative", {-37, -27, -17, -7, 3, 13, 3},
         {0, 0, 2, 2 + 10.0 / 3, 2 + 10.0 / 3 + 90.0 / 21}},
        // One step of 3, the missing steps count 0: slope(k) = 2 * 3 / (k + 3).
        {"two points", {2, 5}, {7, 8.5, 9.7, 10.7, 10.7 + 6.0 / 7}},
        {"one point", {4}, {4, 4, 4, 4, 4}},
        {"none", {}, {0, 0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        FundRecord *f = SearchFund(c.values);
        f->trendProjection[0][2] = 9;
        TrendProjection(f, 0);
        for (int k = 0; k < 5; k++)
            EXPECT_NEAR(f->trendProjection[0][k], c.projection[k], 1e-12) << c.what << k;
    }
}

TEST(PatternProjection, NearestPastPattern)
{
    struct {
        const char *what;
        std::vector<double> values;
        uint32_t match;
        double projection[5];
    } cases[] = {
        // 11 points: the only candidate starts at 0 and is followed by the last five
        // steps themselves (+100, -50, +100, +100, +100 percent) from 64.
        {"one candidate", {1, 2, 4, 2, 4, 8, 16, 8, 16, 32, 64}, 6, {128, 64, 128, 256, 512}},
        // 12 points, both candidates at distance 2 * 150^2: the latest (start 1) wins;
        // it is followed by -50, +100, +100, +100, +100 from 128.
        {"tie", {1, 2, 4, 2, 4, 8, 16, 8, 16, 32, 64, 128}, 7, {64, 128, 256, 512, 1024}},
        // Start 0 matches the last five steps exactly, start 1 is 150 away: start 0 is
        // followed by +100, -50, +100, +100, +100 from 256.
        {"older is nearer", {2, 1, 2, 4, 8, 16, 32, 16, 32, 64, 128, 256}, 6,
         {512, 256, 512, 1024, 2048}},
        // Ten points: both fields are left as they were.
        {"ten points", Ramp(10, 1, 1), 77, {-3, -3, -3, -3, -3}},
    };
    for (const auto &c : cases) {
        FundRecord *f = SearchFund(c.values);
        f->patternMatch[0] = 77;
        for (int k = 0; k < 5; k++)
            f->patternProjection[0][k] = -3;
        PatternProjection(f, 0);
        EXPECT_EQ(f->patternMatch[0], c.match) << c.what;
        for (int k = 0; k < 5; k++)
            EXPECT_NEAR(f->patternProjection[0][k], c.projection[k], 1e-9) << c.what << k;
    }
}

// ---------------------------------------------------------------------------------------
// MACD

void SetMacd(FundRecord *f, int series, uint32_t buy, uint32_t sell)
{
    SetParams(&f->maSettings[series], {{MACD_FAST, 1}, {MACD_SLOW, 3}, {MACD_TRIGGER, 3},
                                       {MACD_BUY, buy}, {MACD_SELL, sell}});
    Macd(f, f->pointCount, series);
    MacdTrigger(f, f->pointCount, series);
}

TEST(Macd, FastMinusSlowAndItsTrigger)
{
    // Fast factor 2/(1+1) = 1 (the value itself), slow and trigger factor 2/(3+1) = 0.5.
    // Slow: 2, 3, 5.5, 3.75; MACD 0, 1, 2.5, -1.75; trigger 0, 0.5, 1.5, -0.125.
    FundRecord *f = SearchFund({2, 4, 8, 2});
    f->recentStartShort = 3;
    SetMacd(f, 0, 0, 0);
    const double macd[] = {0, 1, 2.5, -1.75};
    const double trigger[] = {0, 0.5, 1.5, -0.125};
    for (uint32_t i = 0; i < 4; i++) {
        EXPECT_DOUBLE_EQ(f->macdPoints[0][i].macd, macd[i]) << i;
        EXPECT_DOUBLE_EQ(f->macdPoints[0][i].trigger, trigger[i]) << i;
    }
    // Point 3 alone is recent; maxima start at 0.
    ExpectStats(f, 0, {{&SeriesStats::macdMax, 2.5 * 1.1}, {&SeriesStats::macdMin, -1.75 * 1.1},
                       {&SeriesStats::macdMaxRecent, 0},
                       {&SeriesStats::macdMinRecent, -1.75 * 1.1}});

    // A limit of 2 leaves points 2 and 3 and takes the extremes of points 0 and 1 only.
    for (uint32_t i = 0; i < 4; i++)
        f->macdPoints[0][i] = {-9, -9, -9};
    Macd(f, 2, 0);
    MacdTrigger(f, 2, 0);
    const MacdPoint *m = f->macdPoints[0];
    EXPECT_EQ(std::vector<double>({m[1].macd, m[1].trigger, m[2].macd, m[2].trigger}),
              std::vector<double>({1.0, 0.5, -9.0, -9.0}));
    ExpectStats(f, 0, {{&SeriesStats::macdMax, 1.1}, {&SeriesStats::macdMin, 0}});
}

TEST(Macd, ReplayBuysAboveTheTriggerFromTheSlowLength)
{
    // 4, 4, 4, 8, 7.8, 2, 2, 1.425 (series 1, no interest):
    // MACD 0, 0, 0, 2, 0.9, -2.45, -1.225, -0.9;
    // trigger 0, 0, 0, 1, 0.95, -0.75, -0.9875, -0.94375.
    // Margins: 2 percent of the range (2 + 2.45) * 1.1, 0.0979.
    // Point 3: 2 > 1.0979, buy 0.5 shares at 8. Point 4: 0.9 is below 0.95 by less than
    // the margin: held. Point 5: -2.45 < -0.8479, sold at 2 two points after the
    // purchase (0.8 percent). Point 7: -0.9 is above -0.94375 by less than the margin.
    FundRecord *f = SearchFund({4, 4, 4, 8, 7.8, 2, 2, 1.425});
    AddSeriesOne(f);
    f->recentStartShort = 5;
    SetMacd(f, 1, 2, 2);
    SimulateMacd(f, 1);
    const double equity[] = {4, 4, 4, 4, 3.9, 0.992, 0.992, 0.992};
    for (uint32_t i = 0; i < 8; i++) {
        EXPECT_NEAR(f->macdPoints[1][i].equity, equity[i], 1e-12) << i;
        EXPECT_EQ(Holds(f, 1, i, NAV_MACD_HOLDING), i == 3 || i == 4) << i;
    }
    // Histogram 0, 0, 0, 1, -0.05, -1.7, -0.2375, 0.04375, not scaled; recent from 5.
    ExpectStats(f, 1, {{&SeriesStats::histogramMax, 1.0}, {&SeriesStats::histogramMin, -1.7},
                       {&SeriesStats::histogramMaxRecent, 0.04375},
                       {&SeriesStats::histogramMinRecent, -1.7}});

    // 4, 8, 8, 8: MACD 2 against trigger 1 at point 1, but point 1 is before the slow
    // length; later the MACD stays below its trigger. Nothing is bought.
    f = SearchFund({4, 8, 8, 8});
    SetMacd(f, 0, 0, 0);
    SimulateMacd(f, 0);
    for (uint32_t i = 0; i < 4; i++)
        EXPECT_FALSE(Holds(f, 0, i, NAV_MACD_HOLDING)) << i;
    EXPECT_NEAR(f->macdPoints[0][3].equity, 4 * 1.003, 1e-12);  // series 0 cash grows
}

// ---------------------------------------------------------------------------------------
// ROC

TEST(Roc, DifferenceOverTheLength)
{
    FundRecord *f = SearchFund({1, 2, 4, 7, 3});
    SetMaParam(&f->maSettings[0], ROC_LENGTH, 2);
    f->recentStartShort = 4;
    Roc(f, f->pointCount, 0);
    const double roc[] = {0, 0, 3, 5, -1};
    for (uint32_t i = 0; i < 5; i++)
        EXPECT_DOUBLE_EQ(f->rocPoints[0][i].roc, roc[i]) << i;
    ExpectStats(f, 0, {{&SeriesStats::rocMax, 5 * 1.1}, {&SeriesStats::rocMin, -1 * 1.1},
                       {&SeriesStats::rocMaxRecent, 0}, {&SeriesStats::rocMinRecent, -1.1}});
    // The limit: points 3 and 4 stay; extremes of points 0..2.
    f->rocPoints[0][3].roc = f->rocPoints[0][4].roc = -9;
    Roc(f, 3, 0);
    EXPECT_EQ(f->rocPoints[0][3].roc, -9.0);
    ExpectStats(f, 0, {{&SeriesStats::rocMax, 3 * 1.1}, {&SeriesStats::rocMin, 0}});
}

TEST(Roc, ThresholdGridAndReplay)
{
    // Length 1, series 1: steps +0.3, -0.7, +5, -5, so the range is 10 * 1.1 and the
    // thresholds are 0.11 * k. Buy thresholds 1 and 2 buy at 10.3; sell thresholds 5
    // and 6 sell at 9.6 and everyone buys at 14.6 and sells at 9.6. Sell thresholds 7
    // and 8 hold from 10.3 to the last sale at 9.6, 3 points later (0.7 percent): the
    // best, and (1, 7) is the first of the four.
    FundRecord *f = SearchFund({10, 10.3, 9.6, 14.6, 9.6});
    AddSeriesOne(f);
    SetMaParam(&f->maSettings[1], ROC_LENGTH, 1);
    Roc(f, f->pointCount, 1);
    ExpectStats(f, 1, {{&SeriesStats::rocMax, 5.5}, {&SeriesStats::rocMin, -5.5}});
    uint32_t buy = 0, sell = 0;
    EXPECT_NEAR(ScoreRocGrid(f, 1, &buy, &sell), 10 * 9.6 / 10.3 * 0.993, 1e-9);
    EXPECT_EQ(std::make_pair(buy, sell), std::make_pair(1u, 7u));
    EXPECT_EQ(StrategyGrid[2][8].cash, StrategyGrid[1][7].cash);
    // Bought at 14.6 only (the first purchase is free), sold a point later.
    EXPECT_NEAR(StrategyGrid[3][5].cash, 10 * 9.6 / 14.6 * 0.991, 1e-9);
    // In and out twice, each trade a point after the one before.
    EXPECT_NEAR(StrategyGrid[1][5].cash, 10 * 9.6 / 10.3 * 0.991 * 0.991 / 14.6 * 9.6 * 0.991,
                1e-9);

    // The replay with buy 2 (0.22) and sell 7 (0.77): bought at 10.3, held through the
    // fall of 0.7, sold at 9.6 after the fall of 5, three points later (0.7 percent).
    SetParams(&f->maSettings[1], {{ROC_BUY, 2}, {ROC_SELL, 7}});
    SimulateRoc(f, 1);
    const double equity[] = {10, 10, 10 / 10.3 * 9.6, 10 / 10.3 * 14.6, 10 / 10.3 * 9.6 * 0.993};
    for (uint32_t i = 0; i < 5; i++) {
        EXPECT_NEAR(f->rocPoints[1][i].equity, equity[i], 1e-9) << i;
        EXPECT_EQ(Holds(f, 1, i, NAV_ROC_HOLDING), i >= 1 && i <= 3) << i;
    }
    // Buy 3 (0.33): the rise of 0.3 is not enough; bought at 14.6 and sold a point
    // later (0.9 percent).
    SetMaParam(&f->maSettings[1], ROC_BUY, 3);
    SimulateRoc(f, 1);
    EXPECT_FALSE(Holds(f, 1, 1, NAV_ROC_HOLDING));
    EXPECT_EQ(f->rocPoints[1][2].equity, 10.0);
    EXPECT_NEAR(f->rocPoints[1][4].equity, 10 / 14.6 * 9.6 * 0.991, 1e-9);
}

TEST(Roc, ReplayWaitsForTheLengthAndAFlatSeriesNeverBuys)
{
    // Length 30, thresholds (1, 5). Rising by 1 a point: ROC 0 up to point 29, then 30;
    // range 33, so buying needs more than 0.33: bought at point 30 with 1.03 and held.
    FundRecord *f = SearchFund(Ramp(40, 1, 1));
    SetParams(&f->maSettings[0], {{ROC_LENGTH, 30}, {ROC_BUY, 1}, {ROC_SELL, 5}});
    Roc(f, f->pointCount, 0);
    SimulateRoc(f, 0);
    for (uint32_t i = 0; i < 40; i++) {
        EXPECT_EQ(f->rocPoints[0][i].roc, i < 30 ? 0.0 : 30.0) << i;
        EXPECT_EQ(Holds(f, 0, i, NAV_ROC_HOLDING), i >= 30) << i;
    }
    EXPECT_NEAR(f->rocPoints[0][30].equity, 1.03, 1e-12);
    EXPECT_NEAR(f->rocPoints[0][39].equity, 1.03 / 31 * 40, 1e-12);

    // Flat: ROC 0 and a range of 0. Never bought; the equity is the first value grown
    // at 0.1 percent a period, and the grid keeps (1, 5).
    for (uint32_t i = 0; i < 40; i++)
        f->points[0][i].value = 2.0;
    Roc(f, f->pointCount, 0);
    SimulateRoc(f, 0);
    for (uint32_t i = 0; i < 40; i++) {
        EXPECT_EQ(f->rocPoints[0][i].roc, 0.0) << i;
        EXPECT_NEAR(f->rocPoints[0][i].equity, 2 * (1 + 0.001 * i), 1e-12) << i;
        EXPECT_FALSE(Holds(f, 0, i, NAV_ROC_HOLDING)) << i;
    }
    uint32_t buy = 0, sell = 0;
    EXPECT_NEAR(ScoreRocGrid(f, 0, &buy, &sell), 2 * 1.039, 1e-12);
    EXPECT_EQ(std::make_pair(buy, sell), std::make_pair(1u, 5u));
}

TEST(Indicators, MissingArraysAreSkipped)
{
    // A fund whose indicator arrays could not be allocated: nothing is written and
    // nothing is read past the points.
    FundRecord *f = SearchFund(Ramp(30, 1, 1));
    FreeBlock(f->bandPoints[0]), FreeBlock(f->macdPoints[0]), FreeBlock(f->rocPoints[0]);
    f->bandPoints[0] = nullptr, f->macdPoints[0] = nullptr, f->rocPoints[0] = nullptr;
    BollingerMiddle(f, 0);
    BollingerWidth(f, 0);
    Macd(f, 30, 0);
    MacdTrigger(f, 30, 0);
    SimulateMacd(f, 0);
    Roc(f, 30, 0);
    SimulateRoc(f, 0);
    uint32_t buy, sell;
    EXPECT_EQ(ScoreRocGrid(f, 0, &buy, &sell), 0.0);
    EXPECT_EQ(f->stats[0].maxBand, 0.0);
}

}  // namespace
