// Return arithmetic: guards, percent change, compounding, the annualized-return search,
// and growth at the risk-free and money-market rates.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "analysis/returns.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

TEST(Guards, ZeroDivisorsClampsAndShortSpansGiveExactResults)
{
    // {result, expected}, reported by row.
    const double rows[][2] = {
        {SafeDivide(5, 0), 0}, {SafeDivide(5, 2), 2.5}, {PercentRatio(1, 0), 0},
        {PercentRatio(1, 4), 25}, {MeanOf(9, 0), 0}, {MeanOf(9, 3), 3}, {PercentOf(200, -5), 10},
        {AbsoluteDifference(2, 5), 3}, {(double)CompareValues(1, 2), -1},
        {(double)CompareValues(2, 2), 0}, {(double)CompareValues(3, 2), 1},
        // Nothing from a start of 0 or below; an end below 0 counts as 0.
        {PercentChange(0, 7), 0}, {PercentChange(-5, 5), 0}, {PercentChange(100, 150), 50},
        {PercentChange(200, 100), -50}, {PercentChange(3, 3), 0}, {PercentChange(4, -1), -100},
        // Up to a year a plain change; bad ends give 0 (-1 and -2 both clamp to 0).
        {AnnualizedReturn(1, 2, 60), 100}, {AnnualizedReturn(2, 1, 30), -50},
        {AnnualizedReturn(1, 0, 120), -100}, {AnnualizedReturn(1, 1, 120), 0},
        {AnnualizedReturn(1, 2, 0), 0}, {AnnualizedReturn(-1, -2, 120), 0},
        {AnnualizedReturn(INFINITY, 1, 120), 0}, {AnnualizedReturn(1, INFINITY, 120), 0},
        {AnnualizedReturn(NAN, 1, 120), 0}, {AnnualizedReturn(1, NAN, 120), 0}};
    for (const auto &r : rows)
        EXPECT_EQ(r[0], r[1]) << "row " << &r - rows;
}

TEST(Compounding, WholeYearsThenSimpleInterest)
{
    // {rate, periods, from 100}: 110 + 110 * 10% * 30/60, 90 - 90 * 10% * 30/60, ...
    const double cases[][3] = {{10, 90, 115.5}, {-10, 90, 85.5}, {10, 45, 107.5},
                               {10, 120, 121},  {10, 0, 100},    {10, -30, 100}};
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(CompoundAtRate(100, c[0], (int)c[1]), c[2]) << c[0] << " " << c[1];
}

TEST(AnnualizedReturns, BisectionFindsTheCompoundRate)
{
    // {end from 1, periods, rate}: (1 + r)^2 = 2; a gain above 20 percent a year,
    // (1 + r)^2 = 10; a loss below -20, (1 - r)^2 = 0.25; and 0.7 over three years and five
    // periods, whose simple yearly average of -10 is above -20 while the true rate solves
    // (1 + r)^3 * (1 + r * 5/60) = 0.7.
    const double cases[][3] = {{2, 120, (sqrt(2.0) - 1) * 100}, {10, 120, (sqrt(10.0) - 1) * 100},
                               {0.25, 120, -50}, {0.7, 185, -10.938169713317698}};
    for (const auto &c : cases)
        EXPECT_NEAR(AnnualizedReturn(1.0, c[0], (int)c[1]), c[2], 1e-9) << c[0] << " " << c[1];
    // Whatever the rate found, compounding at it reproduces the end value.
    for (double end : {0.3, 0.7, 0.9, 1.01, 1.5, 4.0, 50.0})
        for (int w : {61, 75, 185, 600, 1800}) {
            double r = AnnualizedReturn(1.0, end, w);
            EXPECT_NEAR(CompoundAtRate(1.0, r, w), end, 1e-12 * end) << end << " " << w;
        }
}

TEST(AnnualizedReturns, EndsForEveryInput)
{
    // Hundreds of orders of magnitude apart: the search stays finite.
    EXPECT_TRUE(isfinite(AnnualizedReturn(1e-300, 1e300, 61)));
    EXPECT_GT(AnnualizedReturn(1e-300, 1e300, 61), 1e6);
    double tiny = AnnualizedReturn(1.0, 1e-300, 120);
    EXPECT_LE(tiny, -99.0);
    EXPECT_GE(tiny, -102.0);
    EXPECT_TRUE(isfinite(AnnualizedReturn(1.0, 1e-300, 6000)));
    // No loss exceeds 100 percent a year, however small the end.
    for (double end : {1e-20, 1e-60, 1e-200})
        for (int w : {120, 185, 360, 1200})
            EXPECT_GE(AnnualizedReturn(1.0, end, w), -100.0) << end << " " << w;
    EXPECT_TRUE(isfinite(AnnualizedReturn(5e-324, 1.0, 61)));
}

TEST(RiskFree, PartYearsAtBothEndsAndWholeYearsBetween)
{
    BuildDateTable(
        {Date(3, 15, 98), Date(9, 20, 98), Date(1, 5, 99), Date(1, 3, 0), Date(6, 10, 0)});
    RateRecord rates[3] = {{38, 5.0}, {39, 4.0}, {40, 6.0}};
    RiskFreeRates = rates, RiskFreeCount = 3;
    // 03/15/98 (period 2292) to 06/10/00 (2426): 1998 from period 2292 to 2340 at 5%
    // gives 1.04, 1999 whole at 4% gives 1.0816, 2000 from 2400 to 2426 at 6% gives
    // 1.0816 * 1.026.
    double g = 1.04 * 1.04 * (6.0 * 26 / 60 + 100) / 100;
    EXPECT_NEAR(RiskFreeReturn(0, 4), AnnualizedReturn(1.0, g, 134), 1e-9);
    // Within one year: 30 periods at 5% is 2.5% (not annualized).
    EXPECT_NEAR(RiskFreeReturn(0, 1), 2.5, 1e-9);
    // From the first week of January to the first week of the next January: 1999 whole.
    EXPECT_NEAR(RiskFreeReturn(2, 3), 4.0, 1e-9);
    // A year missing from the table counts at 3 percent.
    RiskFreeRates = nullptr, RiskFreeCount = 0;
    EXPECT_NEAR(RiskFreeReturn(2, 3), 3.0, 1e-9);
}

TEST(MoneyMarket, GrowthWalksYearByYear)
{
    BuildDateTable({Date(3, 15, 0), Date(11, 20, 0), Date(2, 10, 1), Date(8, 1, 1)});
    SetMoneyMarket(6.0, 1);
    NavPoint points[4] = {};
    for (uint32_t i = 0; i < 4; i++)
        points[i].dateWord = i;
    FundRecord f = {};
    f.points[0] = points;
    f.pointCount = 4;
    // Same year: 40 periods at 6%.
    EXPECT_DOUBLE_EQ(MoneyMarketGrowth(&f, 100, 0, 1), 104.0);
    // 2000's rate up to the first point of 2001 (54 periods), then 2001 at the default
    // 3% for 29 periods.
    EXPECT_DOUBLE_EQ(MoneyMarketGrowth(&f, 100, 0, 3), 105.4 + 105.4 * 0.03 * 29 / 60);
    EXPECT_EQ(MoneyMarketGrowth(&f, 100, 2, 2), 100.0);
    f.pointCount = 0;
    EXPECT_EQ(MoneyMarketGrowth(&f, 100, 0, 3), 100.0);
}

}  // namespace

TEST(AnnualizedReturns, SideBySideGiveTheSameBitsAsOneByOneAndTheEstimatedSumItsBound)
{
    // The searches run eight at a time in lockstep, and their early steps are decided
    // without compounding; each must still take exactly its own steps: gains and losses,
    // guesses raised past 20 and lowered past -20, spans of less than a year and of a
    // century, ends equal to the start or a hair from it, ends that compounding at a round
    // rate reaches exactly, ends near a total loss, zero, negative and not finite ends,
    // and batches that do not fill the last group of lanes.
    std::mt19937 random(77);
    std::uniform_real_distribution<double> power(-1.5, 2.0);
    for (int w : {0, 30, 61, 119, 185, 600, 1501, 6007}) {
        for (uint32_t count : {1u, 3u, 5u, 8u, 9u, 13u, 17u, 40u}) {
            std::vector<double> ends(count), results(count);
            for (uint32_t i = 0; i < count; i++)
                ends[i] = 2.5 * pow(10, power(random));
            ends[0] = count > 3 ? 2.5 : ends[0];
            if (count > 4) {
                ends[1] = 0;
                ends[2] = -1;
                ends[3] = NAN;
                ends[4] = 1e-250;
            }
            for (uint32_t i = 5; i + 4 < count; i += 5) {
                ends[i] = nextafter(2.5, 3.0);
                ends[i + 1] = 2.5 * (1 - 1e-15 * i);
                ends[i + 2] = CompoundAtRate(2.5, (double)i, w);
                ends[i + 3] = CompoundAtRate(2.5, -(double)i / 4, w);
                ends[i + 4] = 2.5 * pow(1e-3, w / 60.0);
            }
            AnnualizedReturns(2.5, ends.data(), w, results.data(), count);
            double sum = 0, bound;
            for (uint32_t i = 0; i < count; i++) {
                double one = AnnualizedReturn(2.5, ends[i], w);
                EXPECT_EQ(memcmp(&one, &results[i], sizeof one), 0)
                    << "w " << w << " end " << ends[i] << ": " << one << " vs " << results[i];
                sum += one;
            }
            // The sum taken from the growths' roots lies within its bound of theirs.
            double estimate = EstimatedReturnSum(2.5, ends.data(), count, w, &bound);
            EXPECT_LE(fabs(estimate - sum), bound) << "w " << w << " count " << count;
            EXPECT_LT(bound, 1e-9 * (1 + fabs(sum))) << "w " << w << " count " << count;
        }
    }
}
