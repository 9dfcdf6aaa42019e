// The fund list's order: the name sort, each chart's ranking with stable ties, the
// benchmark key rule, Signals, category blocks, the portfolio gathering and the hooks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/ranking.h"
#include "data/alloc.h"
#include "data/fund.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Names;

// Name order unless a test asks for more; no hook is left behind for the other suites.
class Ranking : public ::testing::Test {
protected:
    void SetUp() override { ChartKind = CHART_NONE, CategorySort = GroupMode = 0; }
    void TearDown() override { SortFundsZeroLineHook = SortFundsResyncHook = nullptr; }
};

// Zero-filled records in the given table order; name and shortName are the same text.
void MakeFunds(const Names &names)
{
    NewFundTable((uint32_t)names.size());
    for (size_t i = 0; i < names.size(); i++) {
        FundTable[i].name = CopyString(names[i].c_str(), names[i].size());
        FundTable[i].shortName = CopyString(names[i].c_str(), names[i].size());
    }
}

Names Order()
{
    Names names;
    for (uint32_t i = 0; i < FundCount; i++)
        names.push_back(FundTable[i].name ? FundTable[i].name : "(null)");
    return names;
}

// count points whose last one carries holdBits; series 1 shares series 0's array unless
// the fund has its own relative series (then ownHold1 gives that series' last bits).
void GivePoints(FundRecord *f, uint32_t count, uint32_t holdBits, bool ownSeries1 = false,
                uint32_t ownHold1 = 0)
{
    f->pointCount = count;
    f->points[0] = (NavPoint *)AllocZero(count, sizeof(NavPoint));
    f->points[0][count - 1].dateWord = holdBits;
    if (ownSeries1) {
        f->points[1] = (NavPoint *)AllocZero(count, sizeof(NavPoint));
        f->points[1][count - 1].dateWord = ownHold1;
    } else {
        f->points[1] = f->points[0];
    }
}

// The table order after a sort.
Names SortedOrder()
{
    SortFunds();
    return Order();
}

std::vector<Names> HookOrders;
void RecordOrder() { HookOrders.push_back(Order()); }

TEST_F(Ranking, NameSortIsCaseInsensitiveAndStable)
{
    MakeFunds({"b", "ABC", "a", "abc", "Ab"});
    EXPECT_EQ(SortedOrder(), Names({"a", "Ab", "ABC", "abc", "b"}));
    // Whole records move: each record's shortName went with its name.
    for (uint32_t i = 0; i < FundCount; i++)
        EXPECT_STREQ(FundTable[i].shortName, FundTable[i].name) << i;

    // Chart 0 ranks nothing.
    MakeFunds({"B", "A"});
    FindFund("A")->stats[0].ytdReturn = -5;
    FindFund("B")->stats[0].ytdReturn = 5;
    EXPECT_EQ(SortedOrder(), Names({"A", "B"}));
}

TEST_F(Ranking, EveryStatisticChartRanksDescendingWithTiesInNameOrder)
{
    const struct {
        uint32_t chart;
        double SeriesStats::*field;  // null: the fund's taxEfficiency
    } cases[] = {
        {1, &SeriesStats::ytdReturn},     {2, &SeriesStats::volatility},
        {3, &SeriesStats::rewardRisk},    {4, &SeriesStats::totalReturn},
        {5, nullptr},                     {6, &SeriesStats::return6Month},
        {7, &SeriesStats::return1Year},   {8, &SeriesStats::return3Year},
        {9, &SeriesStats::return5Year},   {10, &SeriesStats::return7Year},
        {11, &SeriesStats::return10Year}, {12, &SeriesStats::return6Month},
        {14, &SeriesStats::sharpe},
    };
    for (const auto &c : cases) {
        // Only the chart's own field is set, so any other field would leave name order.
        MakeFunds({"C", "A", "D", "B", "E"});
        const double values[5] = {3, 1, 2, 3, -4};  // C, A, D, B, E
        for (int i = 0; i < 5; i++) {
            if (c.field)
                FundTable[i].stats[0].*c.field = values[i];
            else
                FundTable[i].taxEfficiency = values[i];
        }
        ChartKind = c.chart;
        EXPECT_EQ(SortedOrder(), Names({"B", "C", "D", "A", "E"})) << "chart " << c.chart;
    }
}

TEST_F(Ranking, CurrentStrengthFollowsTheIndicatorShown)
{
    MakeFunds({"A", "B", "C"});
    // Each field orders the funds differently.
    const double strength[3] = {1, 2, 3}, macd[3] = {2, 3, 1}, roc[3] = {3, 1, 2};
    for (int i = 0; i < 3; i++) {
        FundTable[i].stats[0].currentStrength = strength[i];
        FundTable[i].stats[0].macdStrength = macd[i];
        FundTable[i].stats[0].rocLatest = roc[i];
    }
    ChartKind = CHART_CURRENT_STRENGTH;
    // The moving average comes first, then MACD, then ROC; with none the name order
    // stays. Each sort starts from the one before.
    struct {
        int ma, macd, roc;
        Names order;
    } cases[] = {{1, 1, 0, {"C", "B", "A"}}, {0, 1, 1, {"B", "A", "C"}},
                 {0, 0, 1, {"A", "C", "B"}}, {0, 0, 0, {"A", "B", "C"}}};
    for (const auto &c : cases) {
        ShowMovingAverage = c.ma, ShowMacd = c.macd, ShowRoc = c.roc;
        EXPECT_EQ(SortedOrder(), c.order) << c.ma << c.macd << c.roc;
    }
}

TEST_F(Ranking, ShowBenchmarkRanksFundsWithAnIndexByTheirRelativeFigures)
{
    MakeFunds({"A", "B", "C"});
    // {own, relative ytd return, tax efficiency}. B has no index fund: its series 1 must
    // be ignored even when it holds something else.
    const double figures[3][3] = {{1, 10, 1}, {5, 100, 0}, {50, 2, 2}};
    for (int i = 0; i < 3; i++) {
        FundTable[i].stats[0].ytdReturn = figures[i][0];
        FundTable[i].stats[1].ytdReturn = figures[i][1];
        FundTable[i].taxEfficiency = figures[i][2];
    }
    FindFund("A")->indexName = CopyString("SPX", 3);
    FindFund("C")->indexName = CopyString("SPX", 3);
    ChartKind = CHART_YTD_RETURN;

    EXPECT_EQ(SortedOrder(), Names({"C", "B", "A"}));
    ShowBenchmark = 1;
    EXPECT_EQ(SortedOrder(), Names({"A", "B", "C"}));
    EXPECT_EQ(KeySeries(FindFund("A")), 1);
    EXPECT_EQ(KeySeries(FindFund("B")), 0);

    // Tax efficiency has one value per fund whatever the benchmark flag.
    ChartKind = CHART_TAX_EFFICIENCY;
    EXPECT_EQ(SortedOrder(), Names({"C", "A", "B"}));
}

TEST_F(Ranking, SignalsPutsHoldersFirstAndNonHoldersLast)
{
    // By return6Month: F1 > F2 > ... > F7.
    MakeFunds({"F7", "F6", "F5", "F4", "F3", "F2", "F1"});
    for (int i = 1; i <= 7; i++)
        FindFund(("F" + std::to_string(i)).c_str())->stats[0].return6Month = 70 - 10 * i;
    GivePoints(FindFund("F1"), 3, 0);                                         // 0 + 0
    FindFund("F2")->indexName = CopyString("SPX", 3);
    GivePoints(FindFund("F2"), 3, NAV_MA_HOLDING, true, 0);                   // 1 + 0
    GivePoints(FindFund("F3"), 3, NAV_MA_HOLDING);                            // 1 + 1
    FindFund("F4")->indexName = CopyString("SPX", 3);
    GivePoints(FindFund("F4"), 3, NAV_MA_HOLDING, true, NAV_MA_HOLDING);      // 1 + 1
    GivePoints(FindFund("F5"), 3, NAV_MACD_HOLDING | NAV_ROC_HOLDING);        // other bits
    GivePoints(FindFund("F6"), 3, 0);
    FindFund("F6")->points[0][0].dateWord = NAV_MA_HOLDING;                   // not the last
    // F7 has no points.
    ChartKind = CHART_SIGNALS;

    EXPECT_EQ(SortedOrder(), Names({"F3", "F4", "F2", "F1", "F5", "F6", "F7"}));
    // The points went with their records.
    EXPECT_EQ(FundTable[0].points[0][2].dateWord, NAV_MA_HOLDING);

    // Under MACD or ROC only F5 holds (in both series, as it has no benchmark); with
    // no indicator nobody holds and the 6-month order stays.
    struct {
        int macd, roc;
        Names order;
    } cases[] = {{1, 0, {"F5", "F1", "F2", "F3", "F4", "F6", "F7"}},
                 {0, 1, {"F5", "F1", "F2", "F3", "F4", "F6", "F7"}},
                 {0, 0, {"F1", "F2", "F3", "F4", "F5", "F6", "F7"}}};
    ShowMovingAverage = 0;
    for (const auto &c : cases) {
        ShowMacd = c.macd, ShowRoc = c.roc;
        EXPECT_EQ(SortedOrder(), c.order) << c.macd << c.roc;
    }
}

TEST_F(Ranking, CategoryBlocksInCategoryOrderWithCategoryZeroLast)
{
    MakeFunds({"G", "F", "E", "D", "C", "B", "A"});
    const uint32_t category[] = {0, 1, 15, 1, 1, 0, 3};  // G, F, ..., A
    for (int i = 0; i < 7; i++)
        SetFundCategory(&FundTable[i], category[i]);
    FindFund("D")->flags |= FUND_IN_PORTFOLIO;
    CategorySort = 1;

    EXPECT_EQ(SortedOrder(), Names({"C", "D", "F", "A", "E", "B", "G"}));

    // With GroupMode the portfolio fund D counts as category 15, then goes to the end.
    GroupMode = 1;
    CategoryGrouping();
    EXPECT_EQ(Order(), Names({"C", "F", "A", "D", "E", "B", "G"}));
    EXPECT_EQ(SortedOrder(), Names({"C", "F", "A", "E", "B", "G", "D"}));
}

TEST_F(Ranking, PortfolioGatheringKeepsTheOrderOfBothParts)
{
    MakeFunds({"A", "B", "C", "D", "E", "F"});
    for (const char *name : {"B", "D", "F"})
        FindFund(name)->flags |= FUND_IN_PORTFOLIO;
    GroupMode = 1;
    EXPECT_EQ(SortedOrder(), Names({"A", "C", "E", "B", "D", "F"}));

    // Without GroupMode nothing gathers.
    GroupMode = 0;
    EXPECT_EQ(SortedOrder(), Names({"A", "B", "C", "D", "E", "F"}));

    // An empty table sorts in every mode without touching a record.
    FreeFundTable();
    ChartKind = CHART_SIGNALS, CategorySort = GroupMode = 1;
    SortFunds();
}

TEST_F(Ranking, RankingThenGroupingWithTheHooksBetweenAndAfter)
{
    MakeFunds({"C", "B", "A"});
    const uint32_t category[] = {1, 2, 1};   // C, B, A
    const double ytd[] = {3, 5, 1};
    for (int i = 0; i < 3; i++)
        SetFundCategory(&FundTable[i], category[i]), FundTable[i].stats[0].ytdReturn = ytd[i];
    ChartKind = CHART_YTD_RETURN;
    CategorySort = 1;
    HookOrders.clear();
    SortFundsZeroLineHook = SortFundsResyncHook = RecordOrder;
    SortFunds();
    // The zero line sees the ranked table, the re-sync the final one.
    EXPECT_EQ(HookOrders, (std::vector<Names>{{"B", "C", "A"}, {"C", "A", "B"}}));
    EXPECT_EQ(Order(), Names({"C", "A", "B"}));
}

}  // namespace
