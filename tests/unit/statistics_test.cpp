// The statistics panel: its columns, formats, the limit rule and the readout position.
#include <gtest/gtest.h>

#include <algorithm>

#include "data/alloc.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "graph_canvas.h"
#include "graphics/fundgraph.h"
#include "graphics/statistics.h"

namespace {

// TextHeight 10 (the line pitch of the panel), LineHeight 12, CharWidth 5 (columns are
// 2 * 5 = 10 pixels apart); every character is RASTER_FALLBACK_ADVANCE wide.
class StatisticsTest : public ::testing::Test {
protected:
    GraphCanvas canvas;
    void SetUp() override
    {
        PlainView();
        OpenCanvas(&canvas, 800, 400);
    }
    void TearDown() override { CloseCanvas(&canvas); }
    // The (x, y) of the one text equal to text, or (-1, -1).
    std::pair<int32_t, int32_t> Where(const std::string &text)
    {
        std::vector<DrawnText> found = TextsNamed(text);
        return found.size() == 1 ? std::make_pair(found[0].x, found[0].y) : std::make_pair(-1, -1);
    }
    // Paints f's panel afresh at (15, 12) and gives the texts in the order drawn.
    std::vector<std::string> Paint(FundRecord *f, int32_t bottom = 1000, int32_t right = 800,
                                   uint32_t series = 0)
    {
        DrawnTexts.clear();
        PaintFundStatistics(f, 15, 12, bottom, right, series);
        std::vector<std::string> texts;
        for (const DrawnText &d : DrawnTexts)
            texts.push_back(d.text);
        return texts;
    }
};

// A fund of two points in January 1980 with yearCount years of returns (year k: k
// percent), all its figures 0 unless a test sets them.
FundRecord *YearsFund(uint32_t years)
{
    FundRecord *f = SingleFund({{1, 1, 80, 1.0}, {1, 8, 80, 1.0}});
    f->yearCount = years;
    f->yearReturns[0] = (YearReturn *)AllocZero(years, sizeof(YearReturn));
    for (uint32_t k = 0; k < years; k++)
        f->yearReturns[0][k] = {(double)k, 1};
    return f;
}

// The first (from the front) or last n texts, or all of them when there are fewer.
std::vector<std::string> Part(const std::vector<std::string> &texts, size_t n, bool last)
{
    n = std::min(n, texts.size());
    return last ? std::vector<std::string>(texts.end() - (long)n, texts.end())
                : std::vector<std::string>(texts.begin(), texts.begin() + (long)n);
}

TEST_F(StatisticsTest, PeriodLinesFollowTheLongestPeriod)
{
    // The longest period and how many of the period lines above Total it shows.
    const std::vector<std::string> all = {"6 month=1.0%", "1 year=2.0%", "3 year=3.0%",
                                          "5 year=4.0%", "7 year=5.0%", "10 year=6.0%"};
    const struct {
        uint32_t longest, shown;
    } cases[] = {{0, 0}, {6, 1}, {1, 2}, {3, 3}, {5, 4}, {7, 5}, {10, 6}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.longest);
        FundRecord *f = YearsFund(0);
        SeriesStats *st = &f->stats[0];
        st->longestPeriod = c.longest;
        double *returns[] = {&st->return6Month, &st->return1Year, &st->return3Year,
                             &st->return5Year,  &st->return7Year, &st->return10Year};
        for (int k = 0; k < 6; k++)
            *returns[k] = k + 1;
        st->totalReturn = 9;
        std::vector<std::string> lines(all.begin(), all.begin() + c.shown);
        lines.push_back("Total=9.0%");
        EXPECT_EQ(Part(Paint(f), lines.size(), false), lines);
        // Without year returns the period column is the first, at x.
        EXPECT_EQ(DrawnTexts[0].x, 15);
    }
}

TEST_F(StatisticsTest, LinesStopAtTheLimitAndWithoutRoomTheReadoutIsAtX)
{
    FundRecord *f = YearsFund(5);
    f->stats[0].longestPeriod = 10;
    // Lines at 12, 22 and 32 fit (32 + 12 <= 44); the line at 42 does not.
    EXPECT_EQ(Paint(f, 44), (std::vector<std::string>{"84=4.0%", "83=3.0%", "82=2.0%",
                                                      "6 month=0.0%", "1 year=0.0%",
                                                      "3 year=0.0%", "Volatility=0.0",
                                                      "Reward/Risk Ratio=0.0",
                                                      "Sharpe Ratio=0.0"}));
    for (const DrawnText &d : DrawnTexts)
        EXPECT_LE(d.y, 32) << d.text;
    // Not even one line of room (12 + 12 > 23): nothing, and the readout at (x, y).
    EXPECT_TRUE(Paint(f, 12 + 11).empty());
    EXPECT_EQ(std::make_pair(FundReadoutX(f), FundReadoutY(f)), std::make_pair(15u, 12u));
}

TEST_F(StatisticsTest, ColumnsThatWouldCrossTheRightEdgeAreLeftOutWholeFromTheRight)
{
    FundRecord *f = YearsFund(23);
    // Columns of "02=22.0%" (1), the same width (2) and "82=2.0%" (3), 10 apart.
    int32_t end2 = 15 + 2 * CanvasWidth("02=22.0%") + 10;
    int32_t end3 = end2 + 10 + CanvasWidth("82=2.0%");
    struct {
        int32_t right;
        size_t lines;        // the year columns' 10, 10 and 3 lines
        uint32_t readoutX, readoutY;
    } cases[] = {
        // Two columns fit exactly; the readout finds no room right of them and goes half
        // a line under the lowest line (10 lines from 12, TextHeight 10).
        {end2, 20, 15, 117},
        {end3 - 1, 20, 15, 117},
        {end2 - 1, 10, 15, 117},
        // Not even the first: nothing, and the readout at the panel's place.
        {15 + CanvasWidth("02=22.0%") - 1, 0, 15, 17},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.right);
        EXPECT_EQ(Paint(f, 1000, c.right).size(), c.lines);
        for (const DrawnText &d : DrawnTexts)
            EXPECT_LE(d.x + CanvasWidth(d.text), c.right) << d.text;
        EXPECT_EQ(std::make_pair(FundReadoutX(f), FundReadoutY(f)),
                  std::make_pair(c.readoutX, c.readoutY));
    }
}

TEST_F(StatisticsTest, AnalystColumnComesLastAndIsTheFirstLeftOut)
{
    FundRecord *f = YearsFund(1);
    AnalystStats *a = &f->stats[0].analyst;
    a->monthCount = 24, a->maxDrawdown = -12.5, a->sortino = 0.8;
    a->rolling[1] = {3, -4.0, 0, 0, 0, 0, 0};
    std::vector<std::string> own = {"Max Drawdown=(12.5%)", "Sortino Ratio=0.8",
                                    "Worst 3 Years=(4.0%)"};
    EXPECT_EQ(Part(Paint(f), 3, true), own);

    // With an index fund: beta, alpha and capture below, all in one column right of the
    // others.
    a->benchmarkMonths = 24, a->beta = 1.2, a->alpha = -0.5, a->upCapture = 110;
    a->downCapture = 95;
    for (const char *t : {"Beta=1.2", "Alpha=(0.5%)", "Up Capture=110.0", "Down Capture=95.0"})
        own.push_back(t);
    EXPECT_EQ(Part(Paint(f), 7, true), own);
    int32_t column = Where("Beta=1.2").first;
    EXPECT_EQ(Where("Max Drawdown=(12.5%)").first, column);
    EXPECT_GT(column, Where("Sharpe Ratio=0.0").first);

    // A right edge one pixel short of the column's widest line leaves it out whole.
    EXPECT_EQ(Part(Paint(f, 1000, column + CanvasWidth("Max Drawdown=(12.5%)") - 1), 1, true),
              std::vector<std::string>{"No Dist"});
}

TEST_F(StatisticsTest, StrategyLinesFollowTheIndicatorAndTheTrialPeriod)
{
    // Three points at DatePeriods 0, 1, 2 (within a year, so the annualized return is the
    // plain percent change).
    FundRecord *f = SingleFund(PeriodPoints({1.0, 1.1, 1.2}));
    f->points[0][1].maEquity = 1.2;
    f->points[0][2].maEquity = 1.32;
    f->macdPoints[0][2].equity = 0;   // no equity: the value stands in
    f->maSettings[0].maKind = MA_EMA;
    f->maSettings[0].maAverage[MA_EMA - 1] = 7.6;
    // No year returns and no period: the period column holds only the total, and the
    // risk column follows it. Each step: the lines expected at their rows of that column.
    const int32_t x = 15 + CanvasWidth("Total=0.0%") + 10;
    using Lines = std::vector<std::pair<std::string, int32_t>>;
    auto expectLines = [&](const Lines &lines) {
        Paint(f);
        for (const auto &l : lines)
            EXPECT_EQ(Where(l.first), std::make_pair(x, l.second)) << l.first;
    };
    // Best = 1.0 -> 1.32: 32 %; then the moving average's Avg and a blank line.
    ShowMovingAverage = 1;
    expectLines({{"Best=32.0%", 52}, {"Avg=7.6%", 62}, {"No Nav Change", 82}});

    // With a trial period ending at point 1: 1.0 -> 1.2 is 20 %, then 1.1 -> 1.21 is 10 %.
    f->recentStart = 1;
    f->points[0][2].maEquity = 1.21;
    expectLines({{"Trial Best=20.0%", 52}, {"Eval Best=10.0%", 62}, {"Avg=7.6%", 72}});

    // MACD: its equity, 0 at the last point, is replaced by the value 1.2: 1.1 -> 1.2.
    ShowMovingAverage = 0;
    ShowMacd = 1;
    f->macdPoints[0][1].equity = 1.2;
    expectLines({{"Trial Best=20.0%", 52}, {"Eval Best=9.1%", 62}, {"No Nav Change", 82}});
    EXPECT_FALSE(WasDrawn("Avg=7.6%"));

    // Without any indicator the asset lines follow the risk column's blank line.
    ShowMacd = 0;
    expectLines({{"No Nav Change", 52}});
}

TEST_F(StatisticsTest, AssetLinesCompareNavChangeWithDistributions)
{
    struct {
        double navChange, distTotal, taxEfficiency;
        std::vector<std::string> lines;
    } cases[] = {
        {0, 0, 0, {"No Nav Change", "No Dist"}},
        {0.25, 0.5, 80, {"Nav Gain=$0.2500", "Dist=$0.5000", "Tax Efficiency=80.0%"}},
        {0, 0.5, 100, {"No Nav Change", "Dist=$0.5000", "Tax Efficiency=100.0%"}},
        {-0.5, 0.5, 33, {"Nav Loss=$0.5000", "Dist=$0.5000", "Tax Efficiency=0.0%"}},
        {-0.5, 0.75, 33, {"Nav Loss=$0.5000", "Dist=$0.7500", "Net Dist Gain=$0.2500"}},
        {-1.0, 0.25, 33, {"Nav Loss=$1.0000", "Dist=$0.2500", "Net Nav Loss=$0.7500"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines[0] + " " + c.lines[1]);
        FundRecord *f = YearsFund(0);
        f->navChange = c.navChange;
        f->distTotal = c.distTotal;
        f->taxEfficiency = c.taxEfficiency;
        EXPECT_EQ(Part(Paint(f), c.lines.size(), true), c.lines);
    }
}

TEST_F(StatisticsTest, RelativeSeriesShowsItsOwnFigures)
{
    FundRecord *f = YearsFund(0);
    AddSeriesOne(f);
    f->stats[0].totalReturn = 10;
    f->stats[1].totalReturn = -3;
    Paint(f, 1000, 800, 1);
    EXPECT_TRUE(WasDrawn("Total=(3.0%)"));
    EXPECT_FALSE(WasDrawn("Total=10.0%"));
    // The readout goes just right of the last column (the risk column), at the panel's top.
    int32_t risk = 15 + CanvasWidth("Total=(3.0%)") + 10;
    EXPECT_EQ(Where("Reward/Risk Ratio=0.0").first, risk);
    EXPECT_EQ(std::make_pair(FundReadoutX(f), FundReadoutY(f)),
              std::make_pair((uint32_t)(risk + CanvasWidth("Reward/Risk Ratio=0.0") + 10), 12u));
}

}  // namespace
