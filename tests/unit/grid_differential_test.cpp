// The fast path of the search against the straightforward reference, bit for bit: every
// strategy's final cash, the best cash and its thresholds, and every analysed field of
// whole funds searched either way.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/grid.h"
#include "analysis/optimize.h"
#include "analysis/returns.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/optfile.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

struct GridResult {
    double cash[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
    double best;
    uint32_t buy, sell;
};

GridResult RunGrid(double (*score)(FundRecord *, int, uint32_t *, uint32_t *), FundRecord *f, int s)
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
    GridResult fast = RunGrid(ScoreMaGrid, f, s);
    GridResult reference = RunGrid(ScoreMaGridReference, f, s);
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
        // The last rounds span more than one stretch of 2048 points' signal codes.
        uint32_t n = round >= 56 ? 2040 + random() % 1200 : 2 + random() % 400;
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

TEST(GridFastPath, ValuesAndAveragesThatAreNotFinite)
{
    // Not finite values and averages here and there among ordinary ones.
    TestRates rates;
    BuildTriangularWeights();
    std::mt19937 random(77);
    const double odd[] = {NAN, INFINITY, -INFINITY, 1e305, -3.0};
    for (int round = 0; round < 8; round++) {
        FundRecord *f = RandomFund(random, 120 + random() % 200, 0);
        uint32_t n = f->pointCount;
        for (uint32_t k = 0; k < 6; k++)
            f->points[0][random() % n].value = odd[random() % 5];
        for (uint32_t kind = MA_UMA; kind <= MA_AMA; kind++) {
            SetMaParam(&f->maSettings[0], MaLengthParam(kind), kind == MA_EMA ? 10 : 2 + 2 * (random() % 5));
            MovingAverage(f, kind, n, 0);
            f->points[0][random() % n].ma = odd[random() % 5];
            ExpectSameGrid(f, 0, "odd values, series 0");
            if (HasFatalFailure())
                FAIL() << "round " << round << " kind " << kind;
        }
    }
}

TEST(GridFastPath, RocGridMatchesTheReferenceBitForBit)
{
    TestRates rates;
    std::mt19937 random(31);
    for (int round = 0; round < 40; round++) {
        uint32_t n = 2 + random() % 500;
        FundRecord *f = RandomFund(random, n, round % 5 == 0 ? 1 : (round % 5 == 1 ? 2 : 0));
        f->recentStart = (round % 3 == 0 && n > 150) ? n - 60 : 0;
        SetMaParam(&f->maSettings[0], ROC_LENGTH, 1 + random() % 40);
        Roc(f, TrialPointCount(f, 0), 0);
        for (int s = 0; s < 2; s++) {
            GridResult fast = RunGrid(ScoreRocGrid, f, s);
            GridResult reference = RunGrid(ScoreRocGridReference, f, s);
            EXPECT_EQ(memcmp(&fast.best, &reference.best, sizeof fast.best), 0) << round;
            EXPECT_EQ(fast.buy, reference.buy) << round;
            EXPECT_EQ(fast.sell, reference.sell) << round;
            for (uint32_t a = 1; a <= 4; a++)
                for (uint32_t b = 5; b <= 8; b++)
                    EXPECT_EQ(memcmp(&fast.cash[a][b], &reference.cash[a][b], sizeof(double)), 0)
                        << round << " cell " << a << " " << b;
            // Series 1 (no money-market interest) over the same arrays.
            f->points[1] = f->points[0];
            f->rocPoints[1] = f->rocPoints[0];
            f->maSettings[1] = f->maSettings[0];
            f->stats[1] = f->stats[0];
        }
        f->points[1] = nullptr;
        f->rocPoints[1] = nullptr;
    }
}

// A weekly fund from 1995 whose points have exactly these values and averages.
FundRecord *FundOfLevels(const std::vector<double> &values, const std::vector<double> &mas)
{
    std::vector<PackedDate> dates;
    std::vector<PointSpec> points;
    for (size_t i = 0; i < values.size(); i++) {
        unsigned year = 95 + (unsigned)(i / 52), week = (unsigned)(i % 52);
        unsigned month = 1 + week * 12 / 52, day = 1 + (week * 7) % 28;
        dates.push_back(Date(month, day, year % 100));
        points.push_back({month, day, year % 100, 1.0});
    }
    BuildDateTable(dates);
    NewFundTable(1);
    FundRecord *f = SetFundPoints(0, "L", points);
    for (size_t i = 0; i < values.size(); i++) {
        f->points[0][i].value = values[i];
        f->points[0][i].ma = mas[i];
    }
    return f;
}

TEST(GridFastPath, ValuesOnAndBesideTheThresholdLevels)
{
    // The fast path decides most signals from the ratio of value to average and confirms
    // only those near a level with the rule's own expressions: values exactly on each
    // level m +- t% of m and one step beside it, for averages of every size and sign.
    TestRates rates;
    std::vector<double> averages = {10.0, 0.37, 123456.789, 1e-300, 3e-310, 0.0, -4.0, 1e301};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> size(-2.0, 5.0);
    for (int k = 0; k < 120; k++)
        averages.push_back(pow(10.0, size(random)));
    for (size_t first = 0; first < averages.size(); first += 4) {
        std::vector<double> values, mas;
        auto add = [&](double v, double m) {
            values.push_back(v);
            mas.push_back(m);
        };
        for (size_t a = first; a < first + 4 && a < averages.size(); a++) {
            double m = averages[a];
            for (uint32_t t = 0; t < STRATEGY_THRESHOLDS; t++) {
                double buyLevel = m + PercentOf(m, t), sellLevel = m - PercentOf(m, t);
                for (int side = -1; side <= 1; side++) {
                    // Everyone out before a buy level, everyone in before a sell level.
                    add(m > 0 ? m * 0.8 : -1.0, m > 0 ? m : 1.0);
                    add(side == 0 ? buyLevel : nextafter(buyLevel, side * INFINITY), m);
                    add(m > 0 ? m * 1.2 : 2.0, m > 0 ? m : 1.0);
                    add(side == 0 ? sellLevel : nextafter(sellLevel, side * INFINITY), m);
                }
            }
        }
        FundRecord *f = FundOfLevels(values, mas);
        ASSERT_EQ(f->pointCount, values.size());
        ExpectSameGrid(f, 0, "levels, series 0");
        f->points[1] = f->points[0];
        ExpectSameGrid(f, 1, "levels, series 1");
        f->points[1] = nullptr;
        if (HasFatalFailure())
            FAIL() << "averages from " << averages[first];
    }
}

// Every analysed field of a fund's series: the arrays, the settings and the statistics.
std::vector<unsigned char> AnalysedFields(const FundRecord *f, int s)
{
    std::vector<unsigned char> bytes;
    auto add = [&bytes](const void *p, size_t size) {
        const unsigned char *b = (const unsigned char *)p;
        if (p)
            bytes.insert(bytes.end(), b, b + size);
    };
    uint32_t n = f->pointCount;
    add(f->points[s], n * sizeof(NavPoint));
    add(f->bandPoints[s], n * sizeof(BandPoint));
    add(f->macdPoints[s], n * sizeof(MacdPoint));
    add(f->rocPoints[s], n * sizeof(RocPoint));
    add(&f->maSettings[s], sizeof f->maSettings[s]);
    add(&f->stats[s], sizeof f->stats[s]);
    add(f->trendProjection[s], sizeof f->trendProjection[s]);
    add(f->patternProjection[s], sizeof f->patternProjection[s]);
    add(&f->patternMatch[s], sizeof f->patternMatch[s]);
    add(f->yearReturns[s], BlockSize(f->yearReturns[s]));
    return bytes;
}

// A money-market rate of its own for each of twelve years from 2000, so that a growth that
// took another year's rate shows.
void YearlyRates(void)
{
    SetMoneyMarket(4.5, 12);
    for (uint32_t k = 0; k < MoneyMarketCount; k++)
        MoneyMarketRates[k].rate = 2.0 + 0.7 * k;
}

// Forty years of rates from 2000: positive, negative and zero in turn.
void MixedRates(void)
{
    SetMoneyMarket(0, 40);
    for (uint32_t k = 0; k < MoneyMarketCount; k++)
        MoneyMarketRates[k].rate = k % 4 == 1 ? -1.5 : k % 4 == 2 ? 0.0 : 3.0 + 0.3 * k;
}

// One fund of these points searched with the fast or the reference grid, the money-market
// table set by rates.
std::vector<unsigned char> Optimized(const std::vector<PointSpec> &points, uint32_t recentStart,
                                     int reference, void (*rates)(void))
{
    FreeOptTable();
    BuildTriangularWeights();
    FundRecord *f = SingleFund(points);
    f->recentStart = recentStart;
    NewQuarterTable(200);
    rates();
    GridReferenceOnly = reference;
    OptimizeFund(f, 0);
    GridReferenceOnly = 0;
    std::vector<unsigned char> fields = AnalysedFields(f, 0);
    FreeOptTable();
    return fields;
}

TEST(GridFastPath, WholeFundsMatchTheReference)
{
    // The whole search and analysis of a fund: the grids, the money-market walk across
    // years, the trials' average returns side by side. Random walks, a flat series, a
    // saw-tooth, very short funds, with and without a trial period.
    std::mt19937 random(99);
    std::normal_distribution<double> step(0.0005, 0.02);
    std::vector<std::vector<double>> funds;
    for (uint32_t n : {2u, 3u, 11u, 90u, 700u}) {
        std::vector<double> v(n);
        double x = 20;
        for (uint32_t i = 0; i < n; i++)
            v[i] = x *= 1 + step(random);
        funds.push_back(v);
    }
    funds.push_back(std::vector<double>(200, 7.5));
    std::vector<double> saw;
    for (uint32_t i = 0; i < 240; i++)
        saw.push_back(10 + (i % 9) * 0.3);
    funds.push_back(saw);
    for (size_t k = 0; k < funds.size(); k++)
        for (uint32_t recentStart : {0u, (uint32_t)(funds[k].size() * 3 / 4)}) {
            if (recentStart != 0 && funds[k].size() < 50)
                continue;
            std::vector<PointSpec> points = PeriodPoints(funds[k]);
            std::vector<unsigned char> fast = Optimized(points, recentStart, 0, YearlyRates);
            std::vector<unsigned char> reference = Optimized(points, recentStart, 1, YearlyRates);
            ASSERT_EQ(fast.size(), reference.size()) << k;
            EXPECT_TRUE(fast == reference) << "fund " << k << " of " << funds[k].size()
                                           << " points, recentStart " << recentStart;
        }
}

TEST(GridFastPath, GapsOfYearsAndNegativeRates)
{
    // Points up to three years apart (a year's step of the money-market growth spanning
    // more than a year) and negative and zero rates: the whole search either way.
    std::mt19937 random(78);
    std::normal_distribution<double> step(0.0, 0.08);
    for (int round = 0; round < 6; round++) {
        std::vector<PointSpec> points;
        unsigned month = 1, year = 0;
        double v = 10;
        while (points.size() < 150 && year < 40) {
            points.push_back({month, 15, year, v *= 1 + step(random)});
            month += random() % 8 == 0 ? 13 + random() % 24 : 1 + random() % 3;
            year += (month - 1) / 12;
            month = (month - 1) % 12 + 1;
        }
        std::vector<unsigned char> fast = Optimized(points, 0, 0, MixedRates);
        std::vector<unsigned char> reference = Optimized(points, 0, 1, MixedRates);
        EXPECT_TRUE(fast == reference) << "round " << round << ", " << points.size() << " points";
    }
}

}  // namespace
