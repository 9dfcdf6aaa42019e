// The Validate job's figures: PBO by CSCV on matrices whose answer is known, the deflated
// Sharpe ratio on its paper's worked example, walk-forward on funds whose every choice is
// forced, and the "validate" cache.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "analysis/movavg.h"
#include "analysis/overfit.h"
#include "analysis/walkforward.h"
#include "data/datadir.h"
#include "data/sidefiles.h"
#include "data/validatefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

// Per-block sums of perBlock returns of each strategy, [block][strategy]: normal noise
// around each strategy's mean, or (noise 0) returns of mean +/- 1 alternating.
struct Matrix {
    std::vector<double> sum, squares;
};

Matrix BlockSums(const std::vector<double> &means, uint32_t perBlock, std::mt19937_64 *noise)
{
    uint32_t n = (uint32_t)means.size();
    Matrix m{std::vector<double>(CSCV_BLOCKS * n), std::vector<double>(CSCV_BLOCKS * n)};
    std::normal_distribution<double> normal;
    for (uint32_t b = 0; b < CSCV_BLOCKS; b++)
        for (uint32_t j = 0; j < n; j++)
            for (uint32_t k = 0; k < perBlock; k++) {
                double r = means[j] + (noise ? normal(*noise) : (k % 2 ? 1.0 : -1.0));
                m.sum[b * n + j] += r;
                m.squares[b * n + j] += r * r;
            }
    return m;
}

double Pbo(const Matrix &m, uint32_t strategies, uint32_t perBlock,
           const uint32_t *weight = nullptr, uint32_t blocks = CSCV_BLOCKS)
{
    return CscvOverfitProbability(m.sum.data(), m.squares.data(), weight, strategies, blocks,
                                  perBlock);
}

}  // namespace

TEST(Overfit, ProbabilityOfBacktestOverfitting)
{
    // One strategy best in every block is best out of sample whatever the split.
    std::vector<double> means = {0.3, 0.1, -0.2, 0.2, 0.0, -0.1};
    EXPECT_EQ(Pbo(BlockSums(means, 4, nullptr), 6, 4), 0.0);
    // Pure noise: the in-sample best is no better than any other out of sample, so the
    // logit is at or below 0 about half the time; over 40 draws the mean lies within
    // three of its standard errors (about 0.04) of one half.
    std::mt19937_64 rng(19);
    double total = 0;
    for (int seed = 0; seed < 40; seed++) {
        double pbo = Pbo(BlockSums(std::vector<double>(20, 0.0), 10, &rng), 20, 10);
        ASSERT_GE(pbo, 0.0);
        ASSERT_LE(pbo, 1.0);
        total += pbo;
    }
    EXPECT_NEAR(total / 40, 0.5, 0.12);
    // Identical strategies merged into one with their count rank exactly as the copies.
    Matrix noisy = BlockSums(std::vector<double>(5, 0.0), 6, &rng);
    Matrix copies = noisy;
    for (uint32_t b = CSCV_BLOCKS; b-- > 0;)
        for (int k = 0; k < 3; k++) {
            copies.sum.insert(copies.sum.begin() + b * 5 + 5, noisy.sum[b * 5 + 2]);
            copies.squares.insert(copies.squares.begin() + b * 5 + 5, noisy.squares[b * 5 + 2]);
        }
    const uint32_t weight[5] = {1, 1, 4, 1, 1};
    EXPECT_EQ(Pbo(noisy, 5, 6, weight), Pbo(copies, 8, 6));
    // Too few strategies, or an odd number of blocks: no figure.
    EXPECT_EQ(Pbo(noisy, 1, 6), -1.0);
    EXPECT_EQ(Pbo(noisy, 5, 6, nullptr, 15), -1.0);
}

TEST(Overfit, NormalDistributionAndTheDeflatedSharpeRatioOfThePapersExample)
{
    const struct {
        double p, x;
    } quantiles[] = {{0.5, 0.0}, {0.975, 1.959963984540054}, {0.999, 3.090232306167814},
                     {1e-10, -6.361340902404056}, {0.01, -2.326347874040841}};
    for (const auto &q : quantiles) {
        EXPECT_NEAR(NormalQuantile(q.p), q.x, 1e-14 * (1 + fabs(q.x))) << q.p;
        EXPECT_NEAR(NormalCdf(q.x), q.p, 1e-15 + 1e-14 * q.p) << q.p;
    }
    // Bailey and Lopez de Prado (2014): 100 trials whose annualised Sharpe ratios vary by
    // 1/2, the best 2.5 a year over 1250 daily returns with skewness -3 and kurtosis 10;
    // 250 days a year. The paper gives SR0 = 0.1132 a day and DSR = 0.9004.
    double sr0 = ExpectedMaximumSharpe(100, 0.5 / 250);
    EXPECT_NEAR(sr0, 0.1132, 5e-5);
    EXPECT_NEAR(DeflatedSharpe(2.5 / sqrt(250.0), sr0, 1250, -3, 10), 0.9004, 5e-5);
    EXPECT_EQ(ExpectedMaximumSharpe(1, 0.5), 0.0);
}

TEST(WalkForward, ChoicesForcedByASteadyRiseAndASteadyFall)
{
    // Eight years of points, one a DatePeriod. Rising 1% a point, every rule that buys
    // buys at the second point of a trial and never sells: the first in the scan
    // (thresholds 0) wins, and from cash at a year end it buys at the year's first point.
    // Falling, no rule ever buys: each year earns the money market's 6% as the program
    // grows cash, simple interest to the year's end (one period), then within the year.
    const struct {
        double step, rate, walkForward;
    } cases[] = {
        {1.01, 0.0, (pow(1.01, 59) - 1) * 100},
        {0.99, 6.0, (1.001 * 1.059 - 1) * 100},
    };
    for (const auto &c : cases) {
        std::vector<double> values;
        for (int i = 0; i < 8 * 60; i++)
            values.push_back(pow(c.step, i));
        FundRecord *f = SearchFund(values);
        SetMoneyMarket(c.rate, 8);
        ValidationStats v = {};
        WalkForward(f, &v);
        EXPECT_EQ(v.walkYears, 3u) << c.step;  // 2005, 2006 and 2007
        EXPECT_NEAR(v.walkForward, c.walkForward, 1e-6) << c.step;
        EXPECT_NEAR(v.buyAndHold, (pow(c.step, 60) - 1) * 100, 1e-6) << c.step;
    }
}

TEST(ValidateFile, FiguresComeBackBitForBitForTheSameDataAndSettingsOnly)
{
    std::string dir = MakeDataDir();
    DataDirWritable = 1;
    std::vector<double> values = Ramp(30, 1, 1 / 7.0);
    const ValidationStats saved = {VALIDATION_DONE | VALIDATION_WALK | VALIDATION_CSCV, MA_EMA,
                                   {0, 0, 0, 0}, 3, 4356, 0.1 + 0.2, -1.0 / 3, 1e-300,
                                   2.0 / 3, 0.123456789012345678, M_PI / 10, 1 - 1e-16};
    const struct {
        const char *what;
        void (*change)(FundRecord *);
        bool restored;
    } cases[] = {
        {"unchanged", [](FundRecord *) {}, true},
        {"a value", [](FundRecord *f) { f->points[0][9].value += 1e-12; }, false},
        {"another kind", [](FundRecord *f) { f->maSettings[0].maKind = MA_AMA; }, false},
        {"another parameter", [](FundRecord *f) { SetMaParam(f->maSettings, EMA_BUY, 3); }, false},
        {"a split", [](FundRecord *f) { f->splitCount = 1; }, false},
    };
    for (const auto &c : cases) {
        FundRecord *f = SingleFund(PeriodPoints(values));
        f->maSettings[0].maKind = MA_EMA;
        SetMaParam(&f->maSettings[0], EMA_PERCENT, 20);
        f->validation = saved;
        memcpy(f->validation.words, f->maSettings[0].words, sizeof saved.words);
        ValidationStats written = f->validation;
        ASSERT_TRUE(WriteValidateFile());
        f->validation = ValidationStats{};
        c.change(f);
        ReadValidateFile();
        EXPECT_EQ(memcmp(&f->validation, &written, sizeof written) == 0, c.restored) << c.what;
        EXPECT_EQ(ValidationCurrent(f), c.restored) << c.what;
    }
    // A damaged line is skipped with a warning; the others are read.
    std::string good = ReadWholeFile(dir + "/validate");
    WriteFile(dir, "validate", "FUND 1 2 three\r\n" + good);
    ClearMessages();
    ReadValidateFile();
    const std::string warning = "Warning: " + dir + "/validate(1): unreadable validation line";
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{warning});
    FreeValidateLines();
}
