// Filling missing values, total-return normalization, splits, distributions, navChange,
// the change extremes, and the load's date sorts and recent boundary.
#include <gtest/gtest.h>

#include "analysis/normalize.h"
#include "analysis/returns.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

std::vector<double> Values(const FundRecord *f, int series = 0)
{
    std::vector<double> v;
    for (uint32_t i = 0; i < f->pointCount; i++)
        v.push_back(f->points[series][i].value);
    return v;
}

// One point a period with the given values (a negative value: missing).
FundRecord *PeriodFund(const std::vector<double> &values)
{
    std::vector<PointSpec> points = PeriodPoints(values);
    for (PointSpec &p : points)
        if (p.value < 0)
            p.value = 0, p.noValue = true;
    return SingleFund(points);
}

TEST(FillMissing, InnerRunsFollowAStraightLineAndEndRunsCopyTheirNeighbour)
{
    // -1: missing. A falling run is filled backwards from its end, each the next one
    // plus the step; a run with no value on either side becomes 0.
    struct {
        std::vector<double> values, filled;
    } cases[] = {
        {{10, -1, -1, -1, 14}, {10, 11, 12, 13, 14}},
        {{14, -1, -1, -1, 10}, {14, 13, 12, 11, 10}},
        {{5, -1, -1, 5}, {5, 5, 5, 5}},
        {{-1, -1, 7, 8, -1, 3, -1}, {7, 7, 7, 8, 5.5, 3, 3}},
        {{-1, -1, -1}, {0, 0, 0}},
    };
    for (const auto &c : cases) {
        FundRecord *f = PeriodFund(c.values);
        FillMissingValues(f);
        EXPECT_EQ(Values(f), c.filled);
        // The flag stays set on the filled points.
        for (uint32_t i = 0; i < f->pointCount; i++)
            EXPECT_EQ((f->points[0][i].dateWord & NAV_NO_VALUE) != 0, c.values[i] < 0) << i;
    }
}

TEST(FillMissing, EntriesWithoutADateAreRemoved)
{
    FundRecord *f = PeriodFund({1, 2, 3, 4});
    f->points[0][1].dateWord = DATE_INDEX_NONE;
    f->points[0][3].dateWord = DATE_INDEX_NONE | NAV_NO_VALUE;
    SetDists(f, {{DATE_NOT_FOUND, 1, 0, 0, 0, 0}, {2, 0.5, 0, 0, 0, 0}});
    SetSplits(f, {DATE_INDEX_NONE | (2u << 16) | (1u << 24), 1u | (3u << 16) | (1u << 24)});
    FillMissingValues(f);
    EXPECT_EQ(Values(f), (std::vector<double>{1, 3}));
    ASSERT_EQ(f->distCount, 1u);
    EXPECT_EQ(f->dists[0].div, 0.5);
    ASSERT_EQ(f->splitCount, 1u);
    EXPECT_EQ(SplitNewShares(f->splits[0]), 3u);
}

TEST(Normalize, ExtremesOfTheChangesWholeAndRecent)
{
    // The values, their changes and the NAV change of a fund with a distribution and a
    // split are worked out in the analysis integration test; here the changes' extremes:
    // +25, -20 and +50.
    FundRecord *f = PeriodFund({20, 25, 20, 30});
    NormalizeFund(f);
    EXPECT_DOUBLE_EQ(f->stats[0].maxChange, 50.0);
    EXPECT_DOUBLE_EQ(f->stats[0].minChange, -20.0);
    // No recent boundary: the recent pair is the whole pair.
    EXPECT_DOUBLE_EQ(f->stats[0].maxChangeRecent, 50.0);
    EXPECT_DOUBLE_EQ(f->stats[0].minChangeRecent, -20.0);

    // With a boundary the recent pair starts there: +20 and +8.3, the minimum stays 0.
    f = PeriodFund({20, 10, 12, 13});
    f->recentStartShort = 2;
    NormalizeFund(f);
    EXPECT_DOUBLE_EQ(f->stats[0].minChange, -50.0);
    EXPECT_NEAR(f->stats[0].maxChangeRecent, 20.0, 1e-12);
    EXPECT_EQ(f->stats[0].minChangeRecent, 0.0);
}

TEST(Normalize, SplitsMultiplyTheSharesUnlessAlreadyInTheFirstNav)
{
    // 2-for-1 on the third point: the shares double, no change there, and the last NAV
    // in first-day shares is 6 * 2 - 10.
    FundRecord *f = PeriodFund({10, 10, 5, 6});
    SetSplits(f, {f->points[0][2].dateWord | (2u << 16) | (1u << 24)});
    NormalizeFund(f);
    EXPECT_EQ(Values(f), (std::vector<double>{1.0, 1.0, 0.2 * 5, 0.2 * 6}));
    EXPECT_DOUBLE_EQ(f->navChange, 2.0);

    // On the first point the split is already in its NAV.
    f = PeriodFund({10, 12});
    SetSplits(f, {f->points[0][0].dateWord | (2u << 16) | (1u << 24)});
    NormalizeFund(f);
    EXPECT_EQ(Values(f), (std::vector<double>{1.0, 0.1 * 12}));
    EXPECT_DOUBLE_EQ(f->navChange, 2.0);
}

TEST(Normalize, DistributionsAreReinvestedAtTheNextNav)
{
    // Dated between the first and the second point (8 January): reinvested at the NAV of
    // 15 January. One dated on the first point is used up without being reinvested.
    BuildDateTable({Date(1, 1, 99), Date(1, 4, 99), Date(1, 8, 99), Date(1, 15, 99)});
    NewFundTable(1);
    FundRecord *f = SetFundPoints(0, "D", {{1, 1, 99, 10}, {1, 8, 99, 9}, {1, 15, 99, 9}});
    SetDists(f, {{IndexOf(1, 1, 99), 5, 0, 0, 0, 0},
                 {IndexOf(1, 4, 99), 0.5, 0.25, 0.125, 0.125, 0}});
    NormalizeFund(f);
    EXPECT_EQ(f->dists[1].total, 1.0);
    EXPECT_EQ(f->dists[0].total, 5.0);
    double shares = 0.1 + 0.1 * 1.0 / 9;
    EXPECT_EQ(Values(f), (std::vector<double>{1.0, shares * 9, shares * 9}));
    EXPECT_DOUBLE_EQ(f->navChange, -1.0);
}

TEST(Normalize, TheExclusionMovesTheStartOfTheNavChange)
{
    FundRecord *f = PeriodFund({10, 20, 30, 40});
    // Excluded up to the second point: start at the third (30); the split on the second
    // point is before the start and does not count, the one on the fourth does.
    f->excludeDate = f->points[0][1].dateWord;
    SetSplits(f, {f->points[0][1].dateWord | (3u << 16) | (1u << 24),
                  f->points[0][3].dateWord | (2u << 16) | (1u << 24)});
    NormalizeFund(f);
    EXPECT_DOUBLE_EQ(f->navChange, 40 * 2 - 30);

    f = PeriodFund({10, 20});
    f->excludeDate = f->points[0][1].dateWord;
    NormalizeFund(f);
    EXPECT_EQ(f->navChange, 0.0);
}

TEST(LoadSorts, PointsDistributionsAndSplitsByDate)
{
    FundRecord *f = SingleFund({{1, 15, 99, 3}, {1, 1, 99, 1}, {1, 8, 99, 2}, {1, 8, 99, 4}});
    f->points[0][1].dateWord |= NAV_MA_HOLDING;  // other bits travel with the point
    f->points[0][2].dateWord = DATE_INDEX_NONE;  // the point of value 2 lost its date
    SortPoints(f);
    EXPECT_EQ(Values(f), (std::vector<double>{1, 4, 3, 2}));
    EXPECT_EQ(f->points[0][0].dateWord, 0u | NAV_MA_HOLDING);
    EXPECT_TRUE(Messages.empty());

    f->points[0][2].dateWord = 1;
    SortPoints(f);
    EXPECT_EQ(MessageTexts(), Texts{"Error: error: duplicate NAV, file=FUND, date=01/08/99\n"});

    ClearMessages();
    SetDists(f, {{2, 1, 0, 0, 0, 0}, {DATE_NOT_FOUND, 2, 0, 0, 0, 0}, {0, 3, 0, 0, 0, 0}});
    SortDists(f);
    // The one without a date (2) sorts last.
    EXPECT_EQ(std::vector<double>({f->dists[0].div, f->dists[1].div, f->dists[2].div}),
              std::vector<double>({3, 1, 2}));
    // Equal dates are reported where the sort meets them: as neighbours, and when an
    // element moves next to its twin (an oldest-first file's dates arrive newest first).
    SetSplits(f, {0u | (3u << 16), 0u | (4u << 16), 2u | (2u << 16)});
    SortSplits(f);
    EXPECT_EQ(SplitNewShares(f->splits[2]), 2u);
    FreeBlock(f->splits);
    SetSplits(f, {2u | (2u << 16), 0u | (3u << 16), 0u | (5u << 16)});
    SortSplits(f);
    EXPECT_EQ(SplitNewShares(f->splits[0]), 3u);
    EXPECT_EQ(SplitNewShares(f->splits[1]), 5u);
    EXPECT_EQ(MessageTexts(),
              Texts(2, "Error: error: duplicate split, file=FUND, date=01/01/99\n"));
}

TEST(LoadSorts, AFileListedOldestFirstComesOutAscending)
{
    // The second pass stores it newest first.
    FundRecord *f = SingleFund({{1, 22, 99, 4}, {1, 15, 99, 3}, {1, 8, 99, 2}, {1, 1, 99, 1}});
    f->points[0][0].dateWord = DATE_INDEX_NONE;  // a date that did not fit sorts last
    SortPoints(f);
    EXPECT_EQ(Values(f), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_TRUE(Messages.empty());

    // A repeated date in such a file is still reported.
    f->points[0][0].dateWord = 2, f->points[0][1].dateWord = 1, f->points[0][2].dateWord = 1,
    f->points[0][3].dateWord = 0;
    SortPoints(f);
    EXPECT_EQ(MessageTexts(), Texts{"Error: error: duplicate NAV, file=FUND, date=01/08/99\n"});
}

TEST(LoadSorts, RecentBoundaryOfLongAndShortHistories)
{
    // 150 weekly points: indexes 0..120 in 2003 (year code 43), the rest in 2004-2005.
    std::vector<PointSpec> points;
    for (unsigned i = 0; i < 150; i++)
        points.push_back({1 + (i % 12), 1 + (i / 12) % 28, i <= 120 ? 3u : i < 140 ? 4u : 5u, 1.0});
    FundRecord *f = SingleFund(points);
    SetRecentStart(f);
    EXPECT_EQ(f->recentStart, 121u);
    EXPECT_EQ(f->recentStartShort, 0u);

    // Only indexes 0..49 early: the short boundary instead.
    for (unsigned i = 50; i <= 120; i++)
        f->points[0][i].dateWord = f->points[0][121].dateWord;
    SetRecentStart(f);
    EXPECT_EQ(f->recentStart, 0u);
    EXPECT_EQ(f->recentStartShort, 50u);
}

}  // namespace
