// The statistics step: quarterly volatility, period returns and their search, year
// returns and their validity, latest-point measures, total return, reward/risk, Sharpe,
// tax efficiency, scale maxima, and the fund-wide chart extremes.
#include <gtest/gtest.h>
#include <math.h>

#include "analysis/returns.h"
#include "analysis/stats.h"
#include "data/datetable.h"
#include "data/load.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

struct Stats : ::testing::Test {
    void SetUp() override
    {
        ResetChartScaleExtremes();
        NewQuarterTable(64);
    }
};

TEST_F(Stats, VolatilityQuarterlyReturnsOfConsecutiveQuartersFromThePointsThatOpenThem)
{
    // A plain quarterly series is the analysis integration test's hand-made fund.
    struct {
        const char *what;
        std::vector<PointSpec> points;
        double volatility;
    } cases[] = {
        // January to July skips April: no sample. Then July to October, from the last
        // first-week point of July (7 July, 90) to the first of October (99): +10. A
        // single sample has no deviation.
        {"daily", {{1, 4, 99, 100}, {7, 1, 99, 80}, {7, 2, 99, 85}, {7, 7, 99, 90},
                   {10, 1, 99, 99}, {10, 2, 99, 1}}, 0},
        // October to January of the next year is consecutive too: -10, +20 around 5.
        {"year end", {{10, 3, 98, 100}, {1, 5, 99, 90}, {4, 2, 99, 108}}, 15},
        // Month ends: the first point of a quarter month opens it wherever it lies in the
        // month (29 January, 30 April, 30 July, 29 October): +10, -10, 0.
        {"month end", {{12, 31, 98, 100}, {1, 29, 99, 100}, {2, 26, 99, 1}, {3, 31, 99, 1},
                       {4, 30, 99, 110}, {5, 28, 99, 1}, {6, 30, 99, 1}, {7, 30, 99, 99},
                       {8, 31, 99, 1}, {9, 30, 99, 1}, {10, 29, 99, 99}}, sqrt(200.0 / 3)},
        // A series that starts late in a quarter month has nothing before it to show that
        // the month begins there: only April to July (+10) and July to October (0) count.
        {"late start", {{1, 15, 99, 100}, {4, 30, 99, 90}, {7, 30, 99, 99}, {10, 29, 99, 99}},
         5},
        // A weekly series whose holiday week puts its first January point on the 8th, 2
        // periods after 31 December, keeps to the first week: October to April is no
        // sample; -10 and 0 follow.
        {"holiday week", {{10, 2, 98, 100}, {12, 31, 98, 50}, {1, 8, 99, 70}, {4, 2, 99, 110},
                          {7, 2, 99, 99}, {10, 1, 99, 99}}, 5},
    };
    for (const auto &c : cases) {
        FundRecord *f = SingleFund(c.points);
        ComputeSeriesStatistics(f, 0);
        EXPECT_NEAR(f->stats[0].volatility, c.volatility, 1e-12) << c.what;
        if (c.volatility == 0) {
            EXPECT_EQ(QuarterTable[0], PercentChange(90, 99));
        }
    }
    EXPECT_NEAR(ChartScaleExtremes.maximum[0][STAT_VOLATILITY], 15, 1e-12);

    // Two samples into a table of one: reported, and no volatility.
    NewQuarterTable(1);
    FundRecord *f = SingleFund({{1, 4, 99, 100}, {4, 5, 99, 110}, {7, 2, 99, 99}});
    ComputeSeriesStatistics(f, 0);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Error: parray overflow"}));
    EXPECT_EQ(f->stats[0].volatility, 0.0);
}

TEST_F(Stats, PeriodReturnsSearchBackAndStopAtTheFirstPeriodNotFound)
{
    // Yearly points at the end of June, 1989 to 2000: 11 years of 10 percent a year.
    std::vector<PointSpec> yearly;
    double v = 1.0;
    for (unsigned y = 89; y <= 100; y++, v *= 1.1)
        yearly.push_back({6, 30, y % 100, v});
    typedef double SeriesStats::*Field;
    const Field m6 = &SeriesStats::return6Month, y1 = &SeriesStats::return1Year,
                y3 = &SeriesStats::return3Year, total = &SeriesStats::totalReturn;
    const double kept = 77;  // a figure from before, left as it was where none is computed
    const struct {
        const char *what;
        std::vector<PointSpec> points;
        uint32_t longestPeriod;
        std::vector<std::pair<Field, double>> figures;
    } cases[] = {
        // 12/29/99 is period 2399, 6/30/00 is 2429: exactly 30 periods, a plain change.
        // Without quarterly samples the volatility is 0 and so are the ratios.
        {"six months", {{12, 29, 99, 1.0}, {3, 15, 0, 1.05}, {6, 30, 0, 1.1}}, 6,
         {{m6, 10}, {y1, 0}, {total, 10}, {&SeriesStats::rewardRisk, 0}}},
        // The six months' search finds the point a year back (no point in between), and
        // each longer period continues from the shorter one's start.
        {"yearly", yearly, 10,
         {{m6, 10}, {y1, 10}, {y3, 10}, {&SeriesStats::return5Year, 10},
          {&SeriesStats::return7Year, 10}, {&SeriesStats::return10Year, 10}, {total, 10}}},
        // Two years of data: the 3-year return is never computed, nor anything longer.
        {"two years", {{6, 30, 98, 1.0}, {6, 30, 99, 1.2}, {6, 30, 0, 1.44}}, 1,
         {{y1, 20}, {y3, kept}}},
        // One point: no period returns, no ytd figure, no year returns at all.
        {"one point", {{6, 30, 0, 5.0}}, 0, {{total, 0}, {&SeriesStats::ytdReturn, kept}}},
    };
    for (const auto &c : cases) {
        FundRecord *f = SingleFund(c.points);
        f->stats[0].return3Year = f->stats[0].ytdReturn = kept;
        ComputeSeriesStatistics(f, 0);
        EXPECT_EQ(f->stats[0].longestPeriod, c.longestPeriod) << c.what;
        for (const auto &figure : c.figures)
            EXPECT_NEAR(f->stats[0].*figure.first, figure.second, 1e-9)
                << c.what << " figure " << &figure - c.figures.data();
        EXPECT_EQ(f->yearReturns[0] == nullptr, c.points.size() == 1) << c.what;
    }
}

// Whole years from late December to late December, the partial last year and its ytd
// figure are checked on a hand-made fund by the analysis integration test.
TEST_F(Stats, YearReturnsAYearEndBeforeLateDecemberBreaksTheChain)
{
    FundRecord *f = SingleFund({{1, 8, 98, 1.0}, {12, 18, 98, 1.1}, {12, 27, 99, 1.2},
                                {3, 31, 0, 1.3}});
    ComputeSeriesStatistics(f, 0);
    const YearReturn *y = f->yearReturns[0];
    // The first, partial year needs its own last point in late December; 12/18/98 is too
    // early to start a whole year.
    EXPECT_EQ(std::vector<uint32_t>({y[0].valid, y[1].valid, y[2].valid}),
              std::vector<uint32_t>({0, 0, 1}));
    EXPECT_NEAR(y[2].percent, PercentChange(1.2, 1.3), 1e-12);

    // All data within one year: valid, and the ytd figure when it is the table's last year.
    f = SingleFund({{2, 1, 5, 2.0}, {5, 1, 5, 2.5}});
    ComputeSeriesStatistics(f, 0);
    EXPECT_EQ(f->yearReturns[0][0].valid, 1u);
    EXPECT_NEAR(f->stats[0].ytdReturn, 25.0, 1e-12);

    // No ytd figure when the fund stops before the table's last year.
    BuildDateTable({Date(12, 27, 99), Date(6, 30, 0), Date(1, 5, 1)});
    NewFundTable(1);
    f = SetFundPoints(0, "OLD", {{12, 27, 99, 1.0}, {6, 30, 0, 1.5}});
    ComputeSeriesStatistics(f, 0);
    EXPECT_EQ(f->yearReturns[0][1].valid, 1u);
    EXPECT_EQ(f->stats[0].ytdReturn, 0.0);
}

TEST_F(Stats, LatestMeasuresStrengthSignalMacdStrengthAndRoc)
{
    FundRecord *f = SingleFund({{1, 4, 99, 1}, {1, 11, 99, 1}});
    f->rocPoints[0][1].roc = -0.125;
    struct {
        double value, ma;
        uint32_t kind, buy, sell;
        double strength, signal;
    } cases[] = {
        {110, 100, MA_EMA, 5, 3, 10, 5},    // above the buy line: the signal is the threshold
        {102, 100, MA_EMA, 5, 3, 2, 2},     // within it: the strength itself
        {90, 100, MA_EMA, 5, 3, -10, -3},   // below the sell line
        {98, 100, MA_EMA, 5, 3, -2, -2},
        {500, 100, MA_EMA, 5, 3, 100, 5},   // clamped
        {0.001, 100, MA_EMA, 0, 0, -99.999, -0.0},
        {5, 0, MA_EMA, 0, 0, 0, 0},         // no average: no division
        {110, 100, MA_NONE, 0, 0, 10, 0},   // without a chosen kind the thresholds are 0
    };
    for (const auto &c : cases) {
        f->points[0][1].value = c.value;
        f->points[0][1].ma = c.ma;
        f->maSettings[0].maKind = c.kind;
        SetMaParam(&f->maSettings[0], MaBuyParam(c.kind), c.buy);
        SetMaParam(&f->maSettings[0], MaSellParam(c.kind), c.sell);
        ComputeSeriesStatistics(f, 0);
        EXPECT_NEAR(f->stats[0].currentStrength, c.strength, 1e-9) << c.value << " kind " << c.kind;
        EXPECT_NEAR(f->stats[0].maSignal, c.signal, 1e-9) << c.value << " kind " << c.kind;
    }
    struct {
        double macd, trigger, strength;
    } macdCases[] = {{0.0005, 0, 5}, {0.02, 0, 100}, {-0.02, 0, -100}, {0.3, 0.3, 0},
                     {0.3, 0.2, 50}, {0.1, -0.2, 100}, {-0.25, -0.2, -25}};
    for (const auto &c : macdCases) {
        f->macdPoints[0][1].macd = c.macd;
        f->macdPoints[0][1].trigger = c.trigger;
        ComputeSeriesStatistics(f, 0);
        EXPECT_NEAR(f->stats[0].macdStrength, c.strength, 1e-9) << c.macd << " " << c.trigger;
    }
    EXPECT_EQ(f->stats[0].rocLatest, -0.125);
}

TEST_F(Stats, FundFiguresSharpeAgainstTheRiskFreeRateAndTaxEfficiency)
{
    RateRecord rates[1] = {{39, 4.0}};
    RiskFreeRates = rates;
    RiskFreeCount = 1;
    // A year of quarterly points: +10, -10, +10, -10 percent, 1/4/99 to 1/3/00.
    FundRecord *f = SingleFund({{1, 4, 99, 100}, {4, 5, 99, 110}, {7, 2, 99, 99},
                                {10, 1, 99, 108.9}, {1, 3, 0, 98.01}});
    f->navChange = 2;
    f->distTotal = 2;
    ComputeSeriesStatistics(f, 0);
    const SeriesStats &s = f->stats[0];
    EXPECT_NEAR(s.volatility, 10.0, 1e-9);
    EXPECT_NEAR(s.totalReturn, -1.99, 1e-9);                 // 60 periods: a plain change
    EXPECT_NEAR(s.sharpe, (-1.99 - 4.0) / 10.0, 1e-9);       // 1999 wholly at 4 percent
    EXPECT_NEAR(f->taxEfficiency, 50.0, 1e-12);
    // A negative Sharpe ratio lowers the chart's minimum and leaves its maximum at 0.
    EXPECT_NEAR(ChartScaleExtremes.taxEfficiencyMaximum, 50.0, 1e-12);
    EXPECT_NEAR(ChartScaleExtremes.minimum[0][STAT_SHARPE], s.sharpe, 1e-12);
    EXPECT_EQ(ChartScaleExtremes.maximum[0][STAT_SHARPE], 0.0);
    RiskFreeRates = nullptr;
    RiskFreeCount = 0;
}

TEST_F(Stats, FundFiguresScaleMaximaWholeAndRecent)
{
    FundRecord *f = SingleFund({{1, 4, 99, 1.0}, {1, 11, 99, 3.0}, {1, 18, 99, 2.0},
                                {1, 25, 99, 1.5}});
    NavPoint *p = f->points[0];
    p[0].maEquity = 9;   // before the boundary: whole maxima only
    p[2].maEquity = 8;   // at the boundary: its equity is left out of the recent maxima
    p[3].maEquity = 2.5;
    f->macdPoints[0][3].equity = 4;
    f->rocPoints[0][1].equity = 3.5;
    f->trendProjection[0][4] = 5;
    f->recentStartShort = 2;
    ComputeSeriesStatistics(f, 0);
    const SeriesStats &s = f->stats[0];
    // The trend projection (5) raises the MACD and ROC maxima and the recent MA one.
    EXPECT_EQ(std::vector<double>({s.maxValue, s.maxMaEquity, s.maxMacdEquity, s.maxRocEquity,
                                   s.maxValueRecent, s.maxMaEquityRecent}),
              std::vector<double>({3, 9, 5, 5, 2, 5}));
    f->trendProjection[0][4] = 0;
    ComputeSeriesStatistics(f, 0);
    EXPECT_EQ(std::vector<double>(
                  {s.maxMaEquityRecent, s.maxMacdEquityRecent, s.maxRocEquityRecent}),
              std::vector<double>({2.5, 4, 2}));
}

}  // namespace
