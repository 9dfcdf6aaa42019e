// The fast path of the search against the straightforward reference, bit for bit: every
// strategy's final cash, the best cash and its thresholds, and every analysed field of
// whole funds searched either way.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/grid.h"
#include "analysis/optimize.h"
#include "analysis/returns.h"
#include "analysis/strategy.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/optfile.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

typedef double (*GridScore)(FundRecord *, int, uint32_t *, uint32_t *);

// The first difference between the fast and the reference search, or "" when there is
// none: series 0, then series 1 (whose cash earns nothing) over series 0's arrays. The
// moving-average grid runs fast twice: as the processor allows (wide where it can) and
// in the baseline build; the ROC grid has one build.
std::string GridMismatch(FundRecord *f, bool roc)
{
    const GridScore score[3] = {roc ? ScoreRocGrid : ScoreMaGrid, roc ? ScoreRocGrid : ScoreMaGrid,
                                roc ? ScoreRocGridReference : ScoreMaGridReference};
    std::string found;
    for (int s = 0; s < 2 && found.empty(); s++) {
        double best[3], cash[3][STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
        uint32_t buy[3], sell[3];
        for (int r = 0; r < 3; r++) {
            if (roc && r == 1)
                continue;
            GridBaselineOnly = r == 1;
            best[r] = score[r](f, s, &buy[r], &sell[r]);
            GridBaselineOnly = 0;
            for (uint32_t a = 0; a < STRATEGY_THRESHOLDS; a++)
                for (uint32_t b = 0; b < STRATEGY_THRESHOLDS; b++)
                    cash[r][a][b] = StrategyGrid[a][b].cash;
        }
        for (int r = 0; r < (roc ? 1 : 2) && found.empty(); r++) {
            auto differ = [&](const std::string &what) {
                found = "series " + std::to_string(s) + (r ? " baseline" : "") + what;
            };
            if (memcmp(&best[r], &best[2], sizeof best[0]) || buy[r] != buy[2] ||
                sell[r] != sell[2])
                differ(" best " + std::to_string(best[r]) + " at " + std::to_string(buy[r]) + "/" +
                       std::to_string(sell[r]));
            // The ROC search fills only cells [1..4][5..8].
            for (uint32_t a = 0; a < STRATEGY_THRESHOLDS && found.empty(); a++)
                for (uint32_t b = 0; b < STRATEGY_THRESHOLDS && found.empty(); b++)
                    if ((!roc || (a >= 1 && a <= 4 && b >= 5 && b <= 8)) &&
                        memcmp(&cash[r][a][b], &cash[2][a][b], sizeof(double)))
                        differ(" cell " + std::to_string(a) + " " + std::to_string(b));
        }
        f->points[1] = f->points[0];
        f->rocPoints[1] = f->rocPoints[0];
        f->maSettings[1] = f->maSettings[0];
        f->stats[1] = f->stats[0];
    }
    f->points[1] = nullptr;
    f->rocPoints[1] = nullptr;
    return found;
}

// A weekly fund from 1995 on with these values.
FundRecord *WeeklyFund(const std::vector<double> &values)
{
    std::vector<PointSpec> points;
    for (size_t i = 0; i < values.size(); i++) {
        unsigned week = (unsigned)(i % 52), year = 95 + (unsigned)(i / 52);
        points.push_back({1 + week * 12 / 52, 1 + (week * 7) % 28, year % 100, values[i]});
    }
    return SingleFund(points);
}

// n values: a random walk (shape 0), a flat run (1) or a saw-tooth (2).
std::vector<double> RandomValues(std::mt19937 &random, uint32_t n, int shape)
{
    std::normal_distribution<double> step(0.001, 0.03);
    std::vector<double> values;
    for (double v = 10; values.size() < n;) {
        if (shape != 1)
            v = shape == 0 ? v * (1 + step(random)) : 10 + (values.size() % 7) * 0.25;
        values.push_back(v);
    }
    return values;
}

// A money-market table of these entries (counted, freed with the data set).
void SetRates(const std::vector<RateRecord> &rates)
{
    SetMoneyMarket(0, (uint32_t)rates.size());
    std::copy(rates.begin(), rates.end(), MoneyMarketRates);
}

// Rates of 1995, 1996 and 1998 for the weekly funds: 1997 counts at the default.
const std::vector<RateRecord> Rates1995 = {{35, 5.5}, {36, 5.0}, {38, 4.8}};

TEST(GridFastPath, MatchesTheReferenceBitForBit)
{
    SetRates(Rates1995);
    BuildTriangularWeights();
    std::mt19937 random(4242);
    const double odd[] = {NAN, INFINITY, -INFINITY, 1e305, -3.0};
    for (int round = 0; round < 68; round++) {
        // Rounds 56 to 59 span more than one stretch of 2048 points' signal codes; the
        // last eight have values and averages that are not finite here and there.
        bool spansStretches = round >= 56 && round < 60, oddValues = round >= 60;
        uint32_t n = spansStretches ? 2040 + random() % 1200 : 2 + random() % 400;
        int shape = round % 5 == 0 ? 1 : (round % 5 == 1 ? 2 : 0);
        FundRecord *f = WeeklyFund(RandomValues(random, n, shape));
        f->recentStart = (round % 3 == 0 && n > 150) ? n - 60 : 0;
        for (uint32_t k = 0; oddValues && k < 6; k++)
            f->points[0][random() % n].value = odd[random() % 5];
        // Series 0's cash grows through the prepared money-market walk in even rounds
        // and through the plain growth in odd ones.
        if (round % 2 == 0)
            BeginMoneyMarketWalk(f);
        MaSettings *ms = &f->maSettings[0];
        for (uint32_t kind = MA_UMA; kind <= MA_VIDYA; kind++) {
            uint32_t length = kind == MA_EMA ? 10 + 2 * (random() % 36) : 2 + 2 * (random() % 10);
            SetMaParam(ms, MaLengthParam(kind), length);
            SetMaParam(ms, VIDYA_PERCENT, 2 + random() % 40);
            MovingAverage(f, kind, TrialPointCount(f, 0), 0);
            if (oddValues)
                f->points[0][random() % n].ma = odd[random() % 5];
            ASSERT_EQ(GridMismatch(f, false), "")
                << "round " << round << " kind " << kind << " n " << n;
        }
        SetMaParam(ms, ROC_LENGTH, 1 + random() % 40);
        Roc(f, TrialPointCount(f, 0), 0);
        ASSERT_EQ(GridMismatch(f, true), "") << "ROC, round " << round << " n " << n;
        EndMoneyMarketWalk();
    }
}

TEST(GridFastPath, ValuesOnAndBesideTheThresholdLevels)
{
    // The fast path decides most signals from the ratio of value to average and confirms
    // only those near a level with the rule's own expressions: values exactly on each
    // level m +- t% of m and one step beside it, for averages of every size and sign.
    SetRates(Rates1995);
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
        FundRecord *f = WeeklyFund(values);
        for (size_t i = 0; i < values.size(); i++)
            f->points[0][i].ma = mas[i];
        ASSERT_EQ(GridMismatch(f, false), "") << "averages from " << averages[first];
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

// Whether one fund of these points ends with the same analysed fields searched with the
// reference grid, with the fast grid, with the fast grid finding every trial's return
// for the kinds' "Avg" figures, and with the fast grid's baseline build.
bool SameAsReference(const std::vector<PointSpec> &points, uint32_t recentStart)
{
    std::vector<unsigned char> fields[4];
    for (int way = 0; way < 4; way++) {
        FreeOptTable();
        BuildTriangularWeights();
        FundRecord *f = SingleFund(points);
        f->recentStart = recentStart;
        NewQuarterTable(200);
        GridReferenceOnly = way == 0;
        ExactKindAverages = way == 2;
        GridBaselineOnly = way == 3;
        OptimizeFund(f, 0);
        GridReferenceOnly = 0;
        ExactKindAverages = 0;
        GridBaselineOnly = 0;
        fields[way] = AnalysedFields(f, 0);
        FreeOptTable();
    }
    return fields[0] == fields[1] && fields[0] == fields[2] && fields[0] == fields[3];
}

TEST(GridFastPath, WholeFundsMatchTheReference)
{
    // The whole search and analysis of a fund: the grids, the money-market walk across
    // years, the trials' average returns side by side. Forty years of rates from 2000,
    // negative every fourth year and zero in 2002, no two alike, so that a growth that
    // took another year's rate shows.
    std::vector<RateRecord> rates;
    for (uint32_t k = 0; k < 40; k++) {
        double rate = k % 4 == 1 ? -1.5 - 0.1 * k : k % 4 == 2 ? 0.05 * (k - 2) : 3.0 + 0.3 * k;
        rates.push_back({40 + k, rate});
    }
    SetRates(rates);
    std::mt19937 random(99);
    // A point a period: random walks, very short ones among them, a flat series and a
    // saw-tooth, with and without a trial period.
    const std::pair<uint32_t, int> funds[] = {{2, 0},   {3, 0},   {11, 0}, {90, 0},
                                              {700, 0}, {200, 1}, {240, 2}};
    for (const auto &k : funds) {
        std::vector<double> values = RandomValues(random, k.first, k.second);
        for (uint32_t recentStart : {0u, k.first * 3 / 4}) {
            if (recentStart == 0 || k.first >= 50) {
                EXPECT_TRUE(SameAsReference(PeriodPoints(values), recentStart))
                    << k.first << " points, recentStart " << recentStart;
            }
        }
    }

    // Points up to three years apart: a year's step of the money-market growth spanning
    // more than a year.
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
        EXPECT_TRUE(SameAsReference(points, 0))
            << "round " << round << ", " << points.size() << " points";
    }
}

}  // namespace
