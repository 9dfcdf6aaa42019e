// The grid's fast path against the straightforward reference, bit for bit: every
// strategy's final cash, the best cash and its thresholds, over random and real series.
#include <gtest/gtest.h>
#include <string.h>

#include <random>

#include "analysis/movavg.h"
#include "analysis/optimize.h"
#include "data/datetable.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

struct GridResult {
    double cash[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
    double best;
    uint32_t buy, sell;
};

GridResult Run(double (*score)(FundRecord *, int, uint32_t *, uint32_t *), FundRecord *f, int s)
{
    GridResult g;
    g.best = score(f, s, &g.buy, &g.sell);
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            g.cash[r][c] = StrategyGrid[r][c].cash;
    return g;
}

void ExpectSameGrid(FundRecord *f, int s, const char *what)
{
    GridResult fast = Run(ScoreMaGrid, f, s);
    GridResult reference = Run(ScoreMaGridReference, f, s);
    ASSERT_EQ(memcmp(&fast.best, &reference.best, sizeof fast.best), 0) << what;
    ASSERT_EQ(fast.buy, reference.buy) << what;
    ASSERT_EQ(fast.sell, reference.sell) << what;
    ASSERT_EQ(memcmp(fast.cash, reference.cash, sizeof fast.cash), 0) << what;
}

// A weekly fund of n points from 1995 on: a random walk, a flat run, or a saw-tooth.
FundRecord *RandomFund(std::mt19937 &random, uint32_t n, int shape)
{
    std::vector<PackedDate> dates;
    std::vector<PointSpec> points;
    std::normal_distribution<double> step(0.001, 0.03);
    double v = 10;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t week = i % 52, year = 95 + i / 52;
        unsigned month = 1 + week * 12 / 52, day = 1 + (week * 7) % 28;
        dates.push_back(Date(month, day, year % 100));
        if (shape == 0)
            v *= 1 + step(random);
        else if (shape == 1)
            v = 10;
        else
            v = 10 + (i % 7) * 0.25;
        points.push_back({month, day, year % 100, v});
    }
    BuildDateTable(dates);
    NewFundTable(1);
    return SetFundPoints(0, "R", points);
}

// Points the money-market table at a test's own rates, and away again however it ends.
struct TestRates {
    RateRecord rates[3] = {{35, 5.5}, {36, 5.0}, {38, 4.8}};
    TestRates()
    {
        MoneyMarketRates = rates;
        MoneyMarketCount = 3;
    }
    ~TestRates()
    {
        MoneyMarketRates = nullptr;
        MoneyMarketCount = 0;
    }
};

TEST(GridFastPath, MatchesTheReferenceBitForBit)
{
    TestRates rates;
    BuildTriangularWeights();
    std::mt19937 random(4242);
    for (int round = 0; round < 60; round++) {
        uint32_t n = 2 + random() % 400;
        FundRecord *f = RandomFund(random, n, round % 5 == 0 ? 1 : (round % 5 == 1 ? 2 : 0));
        f->recentStart = (round % 3 == 0 && n > 150) ? n - 60 : 0;
        for (uint32_t kind = MA_UMA; kind <= MA_VIDYA; kind++) {
            MaSettings *ms = &f->maSettings[0];
            SetMaParam(ms, MaLengthParam(kind), kind == MA_EMA ? 10 + 2 * (random() % 36) : 2 + 2 * (random() % 10));
            SetMaParam(ms, VIDYA_PERCENT, 2 + random() % 40);
            MovingAverage(f, kind, TrialPointCount(f, 0), 0);
            ExpectSameGrid(f, 0, "series 0");
            // Series 1 cash earns nothing: the same arrays as the relative series.
            f->points[1] = f->points[0];
            ExpectSameGrid(f, 1, "series 1");
            f->points[1] = nullptr;
            if (HasFatalFailure())
                FAIL() << "round " << round << " kind " << kind << " n " << n;
        }
    }
}

}  // namespace
