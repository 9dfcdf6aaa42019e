// Moving averages: worked examples of the five kinds, constant series, the point limit,
// the VIDYA percent limit and its reference volatility, the averages side by side.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <vector>

#include "analysis/movavg.h"
#include "data/fund.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

// The UMA, WMA, AMA and VIDYA lengths, and the EMA and VIDYA percents, of series 0.
void SetEveryKind(FundRecord *f, uint32_t length, uint32_t percent)
{
    for (MaParam p : {UMA_LENGTH, WMA_LENGTH, AMA_LENGTH, VIDYA_LENGTH})
        SetMaParam(&f->maSettings[0], p, length);
    SetMaParam(&f->maSettings[0], EMA_PERCENT, percent);
    SetMaParam(&f->maSettings[0], VIDYA_PERCENT, percent);
}

std::vector<double> MaOf(const FundRecord *f)
{
    std::vector<double> ma;
    for (uint32_t i = 0; i < f->pointCount; i++)
        ma.push_back(f->points[0][i].ma);
    return ma;
}

TEST(MovingAverages, WorkedExamples)
{
    const struct {
        const char *what;
        uint32_t kind, length, percent;
        std::vector<double> values, expected;
    } cases[] = {
        // The mean of the values before the point; fewer of them near the start.
        {"UMA 4", MA_UMA, 4, 0, {1, 2, 3, 4, 5, 6}, {1, 1, 1.5, 2, 2.5, 3.5}},
        {"UMA 2", MA_UMA, 2, 0, {1, 3, 5, 7}, {1, 1, 2, 4}},
        // Weights 1 (oldest) to i over their sum: 1*1/1, (1*1 + 2*2)/3.
        {"WMA 2", MA_WMA, 2, 0, {1, 2, 3}, {1, 1, 5.0 / 3}},
        // The full window slides: (1*2 + 2*3 + 3*4)/6 = 20/6, (1*3 + 2*4 + 3*5)/6 = 26/6.
        {"WMA 3", MA_WMA, 3, 0, {1, 2, 3, 4, 5, 6}, {1, 1, 5.0 / 3, 14.0 / 6, 20.0 / 6, 26.0 / 6}},
        // A length of 63 fits the 6-bit field (a damaged opt file) but not the 61-entry
        // table; the weights are summed directly and a constant stays constant.
        {"WMA 63", MA_WMA, 63, 0, std::vector<double>(70, 2.0), std::vector<double>(70, 2.0)},
        // The point's own value is included: (50*4 + 50*2)/100.
        {"EMA 50", MA_EMA, 0, 50, {2, 4}, {2, 3}},
        // (10*20 + 90*10)/100 = 11, (10*20 + 90*11)/100 = 11.9.
        {"EMA 10", MA_EMA, 0, 10, {10, 20, 20}, {10, 11, 11.9}},
        // Point 1: change 2 over a path of 2, c = 1, the average jumps by the move, to 3.
        // Point 2: change |2 - 1| = 1 over a path of 3, c = 1/9: 3 - 1/9.
        // Point 3: change |4 - 3| = 1 over the last two steps (1 + 2), c = 1/9: + 2/9.
        // Point 4: change |4.2 - 2| = 2.2 over 2 + 0.2, c = 1; the average (28/9) lags
        // below 4 by more than twice the move of 0.2, so c doubles: + 0.2 * 2.
        {"AMA 2", MA_AMA, 2, 0, {1, 3, 2, 4, 4.2}, {1, 3, 26.0 / 9, 28.0 / 9, 28.0 / 9 + 0.4}},
        // The mirror image falls by the same amounts, doubling on the way down.
        {"AMA 2 falling", MA_AMA, 2, 0, {5, 3, 4, 2, 1.8},
         {5, 3, 6 - 26.0 / 9, 6 - 28.0 / 9, 6 - 28.0 / 9 - 0.4}},
        // Steps 2, 1, 2: the reference (VIDYA limits below) is 10/3. Point 1 path 2, alpha
        // = 50 * 0.6 / 100 = 0.3, 0.7 * 1 + 0.3 * 3 = 1.6; point 2 path 3, alpha 0.45,
        // 0.55 * 1.6 + 0.45 * 2 = 1.78; point 3 path 1 + 2 = 3 again, 0.55 * 1.78 + 0.45 * 4.
        {"VIDYA 2 at 50", MA_VIDYA, 2, 50, {1, 3, 2, 4}, {1, 1.6, 1.78, 2.779}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FundRecord *f = SearchFund(c.values);
        // The other kinds' parameters differ, so a kind reading another's shows.
        SetEveryKind(f, 6, 30);
        MaParam own = MaLengthParam(c.kind);
        SetMaParam(&f->maSettings[0], own, c.kind == MA_EMA ? c.percent : c.length);
        if (c.kind == MA_VIDYA)
            SetMaParam(&f->maSettings[0], VIDYA_PERCENT, c.percent);
        ASSERT_EQ(GetMaParam(&f->maSettings[0], own), c.kind == MA_EMA ? c.percent : c.length);
        MovingAverage(f, c.kind, f->pointCount, 0);
        ASSERT_EQ(MaOf(f).size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); i++)
            EXPECT_DOUBLE_EQ(f->points[0][i].ma, c.expected[i]) << "point " << i;
    }
}

TEST(MovingAverages, EveryKindNeedsItsParametersKeepsToThePointLimitAndAConstant)
{
    FundRecord *f = SearchFund(std::vector<double>(25, 7.5));
    for (uint32_t kind = MA_UMA; kind <= MA_VIDYA; kind++) {
        const char *label = MaKindLabel(kind);
        SetEveryKind(f, 0, 0);
        for (uint32_t i = 0; i < 25; i++)
            f->points[0][i].ma = -1;
        MovingAverage(f, kind, f->pointCount, 0);
        EXPECT_EQ(MaOf(f), std::vector<double>(25, -1.0)) << label << " without parameters";
        SetEveryKind(f, 4, 60);
        MovingAverage(f, kind, 0, 0);
        EXPECT_EQ(MaOf(f), std::vector<double>(25, -1.0)) << label << " limit 0";
        MovingAverage(f, kind, 3, 0);
        for (uint32_t i = 0; i < 25; i++)
            EXPECT_NEAR(f->points[0][i].ma, i < 3 ? 7.5 : -1.0, 1e-12) << label << " limit 3 " << i;
        // A limit beyond the points writes them all.
        MovingAverage(f, kind, 1000, 0);
        for (uint32_t i = 0; i < 25; i++)
            EXPECT_NEAR(f->points[0][i].ma, 7.5, 1e-12) << label << " " << i;
    }
    // No points at all: nothing to read or write.
    FundRecord *empty = SearchFund({});
    SetMaParam(&empty->maSettings[0], UMA_LENGTH, 2);
    MovingAverage(empty, MA_UMA, 5, 0);
    EXPECT_EQ(VidyaPercentLimit(empty, 0, nullptr), 0u);
}

TEST(VidyaPercentLimits, RatioOfMeanPathToLargestPath)
{
    const struct {
        const char *what;
        std::vector<double> values;
        uint32_t length, limit;
        uint32_t searched;  // the largest percent the search tries
        double reference;
    } cases[] = {
        // Even steps of 1: reference 2, largest two-step path 2, ratio 1.
        {"even steps", {1, 2, 3, 4, 5}, 2, 100, 100, 2},
        // Steps 10, 0, 10: reference 20/3 * 2, largest path 10: 4/3 gives 133, more
        // than the 7-bit percent field holds; the search stops at 127.
        {"beyond the field", {1, 11, 11, 21}, 2, 133, 127, 40.0 / 3},
        // One step of 1 and length 20: reference 20, path 1: 2000.
        {"long length", {1, 2}, 20, 2000, 127, 20},
        // Steps 2, 1, 2: mean step 5/3 times the length 2; the largest two-step path is 3:
        // 1 / (3 / (10/3)) = 1.111..., 111 percent.
        {"uneven steps", {1, 3, 2, 4}, 2, 111, 111, 10.0 / 3},
        // A single point has no step; a constant series no path.
        {"one point", {5}, 2, 0, 0, 0},
        {"no step", {7.5, 7.5, 7.5}, 4, 0, 0, 0},
    };
    for (const auto &c : cases) {
        FundRecord *f = SearchFund(c.values);
        SetMaParam(&f->maSettings[0], VIDYA_LENGTH, c.length);
        double reference = -1;
        EXPECT_EQ(VidyaPercentLimit(f, 0, &reference), c.limit) << c.what;
        EXPECT_NEAR(reference, c.reference, 1e-12) << c.what;
        // The search stops where the 7-bit field does, with the same reference.
        reference = -1;
        EXPECT_EQ(VidyaSearchLimit(f, 0, &reference), c.searched) << c.what;
        EXPECT_NEAR(reference, c.reference, 1e-12) << c.what;
    }
}

TEST(AverageLanes, GiveTheBitsOfTheAveragesOneAtATime)
{
    // The search computes several percents (AMA: lengths) side by side, VIDYA from a
    // length's ratios; every lane, whatever the number of lanes used, must be the
    // one-at-a-time average.
    std::vector<double> values;
    double x = 12;
    for (int i = 0; i < 300; i++) {
        x *= 1 + 0.03 * sin(i * 0.7) + 0.01 * cos(i * 2.3);
        values.push_back(i % 50 < 10 ? 12.0 : x);  // flat stretches too
    }
    FundRecord *f = SearchFund(values);
    MaSettings *ms = &f->maSettings[0];
    std::vector<double> ratio(values.size()), lane[AVERAGE_LANES];
    for (std::vector<double> &l : lane)
        l.assign(values.size(), 0);
    double *out[AVERAGE_LANES] = {lane[0].data(), lane[1].data(), lane[2].data(), lane[3].data()};
    const uint32_t percents[AVERAGE_LANES] = {2, 14, 78, 126};
    const uint32_t lengths[AVERAGE_LANES] = {2, 9, 30, 31};  // AMA's, up to the field's 31
    auto expectLanes = [&](uint32_t n, uint32_t used, MaParam param,
                           const uint32_t *parameters, auto one) {
        for (uint32_t l = 0; l < used; l++) {
            SetMaParam(ms, param, parameters[l]);
            one(n);
            for (uint32_t i = 0; i < n; i++)
                ASSERT_EQ(memcmp(&lane[l][i], &f->points[0][i].ma, sizeof(double)), 0)
                    << "lanes " << used << " n " << n << " parameter " << parameters[l]
                    << " point " << i;
        }
    };
    for (uint32_t n : {1u, 37u, 300u})
        for (uint32_t used = 1; used <= AVERAGE_LANES; used++) {
            EmaLanes(f, n, 0, percents, used, out);
            expectLanes(n, used, EMA_PERCENT, percents, [&](uint32_t m) { Ema(f, m, 0); });
            AmaLanes(f, n, 0, lengths, used, out);
            expectLanes(n, used, AMA_LENGTH, lengths, [&](uint32_t m) { Ama(f, m, 0); });
            for (uint32_t length : {2u, 6u, 20u}) {
                SetMaParam(ms, VIDYA_LENGTH, length);
                double reference;
                VidyaPercentLimit(f, 0, &reference);
                VidyaRatios(f, n, 0, reference, ratio.data());
                VidyaLanes(f, n, 0, ratio.data(), percents, used, out);
                expectLanes(n, used, VIDYA_PERCENT, percents,
                            [&](uint32_t m) { Vidya(f, m, 0, reference); });
            }
        }
}

}  // namespace
