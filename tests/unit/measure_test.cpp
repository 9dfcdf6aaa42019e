// The graph window's arithmetic: the date and value under the pointer, the measurement's
// result line, the fund under the pointer, the stepping keys' targets; the arrow strips'
// moves of the zoom selection, the legend's scroll targets and the Default Benchmark
// dialog's choices.
#include <gtest/gtest.h>

#include <string.h>

#include "analysis/returns.h"
#include "app/benchmarkchoice.h"
#include "app/viewstate.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "graph_canvas.h"
#include "graphics/fundgraph.h"
#include "graphics/graphpage.h"
#include "graphics/legend.h"
#include "graphics/measure.h"
#include "graphics/surface.h"
#include "test_support.h"

namespace {

// 1 January 2000 as a DatePeriod: 40 years of 60 periods after 1960.
const int32_t Jan2000 = 2400;

class MeasureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetViewState();
        PlainView();
        CategorySort = GroupMode = 0;
        ClearGraphGeometry();
        MeasuredFund = nullptr;
        ZoomSelectionFrom = ZoomSelectionTo = 0;
        ZoomSelectionMax = 0;
    }
    void TearDown() override
    {
        ClearGraphGeometry();
        MeasuredFund = nullptr;
        ZoomSelectionFrom = ZoomSelectionTo = 0;
        ZoomSelectionMax = 0;
    }
};

std::string DateAt(int32_t x)
{
    char text[READOUT_LINE_SIZE];
    DoDate(text, x);
    return text;
}

TEST_F(MeasureTest, DoDateSpreadsThePaintedRangeOverThePlotLimits)
{
    // 120 pixels for two years: one pixel a DatePeriod.
    PlotLeft = 10;
    PlotRight = 130;
    PaintedFrom = Jan2000;
    PaintedTo = Jan2000 + 120;
    EXPECT_EQ(DateAt(10), "01/01/00");
    EXPECT_EQ(DateAt(11), "01/08/00");
    EXPECT_EQ(DateAt(14), "01/29/00");
    EXPECT_EQ(DateAt(15), "02/01/00");
    EXPECT_EQ(DateAt(70), "01/01/01");
    EXPECT_EQ(DateAt(69), "12/29/00");
    EXPECT_EQ(DateAt(130), "01/01/02");
    char text[READOUT_LINE_SIZE];
    EXPECT_EQ(DoDate(text, 40), Jan2000 + 30);

    // Half the width for the same range: two periods a pixel, the division truncating.
    PlotRight = 70;
    EXPECT_EQ(DoDate(text, 11), Jan2000 + 2);

    // An overlay with projections leaves 5 more periods at the right, but only when the
    // measured fund's last point lies within the range.
    PlotRight = 130;
    MeasuredFund = SingleFund(PeriodPoints(std::vector<double>(121, 1.0)));
    EXPECT_EQ(DateAt(130), "01/01/02");
    ShowMovingAverage = 1;
    EXPECT_EQ(DateAt(130), "02/01/02");  // 2400 + 125
    PaintedTo = Jan2000 + 100;           // the last point lies beyond the range
    EXPECT_EQ(DoDate(text, 130), Jan2000 + 100);
}

TEST_F(MeasureTest, ValueAtRowInvertsBothPriceAxesAndTruncatesToHundredths)
{
    FundRecord *f = SingleFund(PeriodPoints({1.0, 2.0}));
    SetFundPlotRows(f, 100, 200);
    char text[READOUT_LINE_SIZE];
    auto read = [&](int32_t y) {
        strcpy(text, "D");
        ValueAtRow(text, y);
        return std::string(text);
    };
    EXPECT_EQ(read(150), "D=$0.00");  // no measured fund
    MeasuredFund = f;

    LinearScale = 1;
    PaintedPriceUnits = 10;
    EXPECT_EQ(read(150), "D=$5.00");
    EXPECT_EQ(read(200), "D=$0.00");
    EXPECT_EQ(read(100), "D=$10.00");
    PaintedPriceUnits = 3;
    EXPECT_EQ(read(167), "D=$0.99");  // 33 * 3 / 100 exactly, not a hair below
    EXPECT_EQ(read(199), "D=$0.03");

    LinearScale = 0;
    for (uint32_t units : {0u, 1u, 20u, 1000u}) {
        PaintedPriceUnits = units;
        EXPECT_EQ(read(200), "D=$0.36") << units;  // exp(-1) = 0.3678...
    }
    PaintedPriceUnits = 20;
    // Half way up: exp((ln 20 + 1) / 2 - 1) = sqrt(20 / e) = 2.7124...
    EXPECT_EQ(read(150), "D=$2.71");
    EXPECT_DOUBLE_EQ(ValueAtRow(text, 150), 2.71);

    SetFundPlotRows(f, 100, 100);  // no plot height: nothing to divide by
    EXPECT_EQ(read(100), "D=$0.00");
}

TEST_F(MeasureTest, ResultIsThePercentChangeWithinAPeriodElseAnnualizedEitherWayRound)
{
    char text[32];
    FormatResultLine(text, sizeof text, MeasuredReturn(Jan2000, 10.0, Jan2000, 12.0));
    EXPECT_STREQ(text, "Result=20.0%");
    FormatResultLine(text, sizeof text, MeasuredReturn(Jan2000, 10.0, Jan2000, 8.0));
    EXPECT_STREQ(text, "Result=(20.0)%");
    FormatResultLine(text, sizeof text, MeasuredReturn(Jan2000, 10.0, Jan2000, 10.0));
    EXPECT_STREQ(text, "Result=0.0%");

    // Doubling in a year of 60 periods is 100 % a year, measured left to right or back.
    double forward = MeasuredReturn(Jan2000, 10.0, Jan2000 + 60, 20.0);
    EXPECT_NEAR(forward, 100.0, 0.01);
    EXPECT_EQ(forward, MeasuredReturn(Jan2000 + 60, 20.0, Jan2000, 10.0));
    EXPECT_EQ(forward, AnnualizedReturn(10.0, 20.0, 60));
    // Halving over two years: sqrt(1/2) - 1 = -29.29 % a year.
    FormatResultLine(text, sizeof text, MeasuredReturn(Jan2000, 20.0, Jan2000 + 120, 10.0));
    EXPECT_STREQ(text, "Result=(29.3)%");
}

TEST_F(MeasureTest, FundUnderThePointerIsTheTabsFundOrTheFirstStackedOneThere)
{
    BuildDateTable({Date(1, 1, 0), Date(1, 8, 0)});
    NewFundTable(3);
    for (uint32_t i = 0; i < 3; i++) {
        std::string name = "F" + std::to_string(i);
        SetFundPoints(i, name.c_str(), {{1, 1, 0, 1.0}, {1, 8, 0, 1.1}});
    }
    FundTable[0].flags |= FUND_DISPLAYED;
    FundTable[2].flags |= FUND_DISPLAYED;
    SetFundPlotRows(&FundTable[0], 10, 50);
    SetFundPlotRows(&FundTable[2], 40, 90);  // overlaps fund 0's rows 40..50
    PlotLeft = 20;
    PlotRight = 200;

    // Single mode: tab 4 shows the second displayed fund, fund 2.
    EXPECT_EQ(FundUnderPointer(100, 45, 4), &FundTable[2]);
    EXPECT_EQ(FundUnderPointer(100, 90, 4), &FundTable[2]);
    EXPECT_EQ(FundUnderPointer(100, 20, 4), nullptr);   // fund 0's rows, not this page's
    EXPECT_EQ(FundUnderPointer(19, 45, 4), nullptr);    // left of the plot limits
    EXPECT_EQ(FundUnderPointer(201, 45, 4), nullptr);
    EXPECT_EQ(FundUnderPointer(200, 45, 4), &FundTable[2]);
    EXPECT_EQ(FundUnderPointer(100, 45, 5), nullptr);   // no third displayed fund
    EXPECT_EQ(FundUnderPointer(100, 45, 2), nullptr);   // not a graph tab

    // Combined: the first displayed fund in table order whose rows hold y.
    CombinedGraphs = 1;
    EXPECT_EQ(FundUnderPointer(100, 45, 3), &FundTable[0]);
    EXPECT_EQ(FundUnderPointer(100, 60, 3), &FundTable[2]);
    EXPECT_EQ(FundUnderPointer(100, 95, 3), nullptr);
    // A fund not painted since the geometry was cleared is under no row, row 0 included.
    ClearGraphGeometry();
    EXPECT_EQ(FundUnderPointer(100, 0, 3), nullptr);
}

TEST_F(MeasureTest, SteppingKeysMoveWithinTheTableAndRefuseAtItsEnds)
{
    struct Case {
        uint32_t index, key;
        int32_t target;
    } cases[] = {
        {19, STEP_PAGE_DOWN, 29}, {20, STEP_PAGE_DOWN, 29}, {5, STEP_PAGE_DOWN, 15},
        {29, STEP_PAGE_DOWN, -1}, {10, STEP_PAGE_UP, 0},    {11, STEP_PAGE_UP, 1},
        {5, STEP_PAGE_UP, 0},     {0, STEP_PAGE_UP, -1},    {5, STEP_HOME, 0},
        {0, STEP_HOME, -1},       {5, STEP_END, 29},        {29, STEP_END, -1},
        {5, STEP_BACK, 4},        {0, STEP_BACK, -1},       {28, STEP_FORWARD, 29},
        {29, STEP_FORWARD, -1},   {30, STEP_BACK, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(StepTargetIndex(c.index, 30, c.key), c.target)
            << "index " << c.index << " key " << c.key;
    EXPECT_EQ(StepTargetIndex(0, 1, STEP_FORWARD), -1);
    EXPECT_EQ(StepTargetIndex(0, 0, STEP_HOME), -1);
}

// ---------------------------------------------------------------------------------------
// The arrow strips and the legend.

class ArrowTest : public MeasureTest {
protected:
    BitmapRecord saved[BITMAP_COUNT];
    void SetUp() override
    {
        MeasureTest::SetUp();
        memcpy(saved, Bitmaps, sizeof saved);
        for (BitmapRecord &b : Bitmaps) {
            b.width = 14;
            b.height = 14;
        }
    }
    void TearDown() override
    {
        memcpy(Bitmaps, saved, sizeof saved);
        MeasureTest::TearDown();
    }
};

TEST_F(ArrowTest, ButtonsAreHitInsideTheirPicturesOnly)
{
    // Side strips: x 2..15; button k rows 2 + 15k .. 15(k + 1).
    struct Case {
        uint32_t strip;
        int32_t x, y, button;
    } cases[] = {
        {ARROW_STRIP_LEFT, 2, 2, 0},    {ARROW_STRIP_LEFT, 15, 15, 0},
        {ARROW_STRIP_LEFT, 1, 5, -1},   {ARROW_STRIP_LEFT, 16, 5, -1},
        {ARROW_STRIP_LEFT, 5, 1, -1},   {ARROW_STRIP_LEFT, 5, 16, -1},
        {ARROW_STRIP_RIGHT, 5, 17, 1},  {ARROW_STRIP_RIGHT, 5, 30, 1},
        {ARROW_STRIP_RIGHT, 5, 77, 5},  {ARROW_STRIP_RIGHT, 5, 90, 5},
        {ARROW_STRIP_RIGHT, 5, 91, -1}, {ARROW_STRIP_TOP, 2, 2, 0},
        {ARROW_STRIP_TOP, 15, 15, 0},   {ARROW_STRIP_TOP, 16, 5, -1},
        {ARROW_STRIP_TOP, 17, 5, 1},    {ARROW_STRIP_TOP, 30, 5, 1},
        {ARROW_STRIP_TOP, 31, 5, -1},   {ARROW_STRIP_TOP, 5, 16, -1},
        {3, 5, 5, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ArrowButtonAt(c.strip, c.x, c.y), c.button)
            << "strip " << c.strip << " at " << c.x << "," << c.y;
}

TEST_F(ArrowTest, SideStripsMoveTheRangeByWeeksAndYearsWithinTheData)
{
    // Year boundaries are multiples of 60; the data span 2400 .. 3000 unless a case says.
    struct Case {
        uint32_t strip;
        int32_t button, from, to, spanStart, spanEnd;
        int changed;
        int32_t newFrom, newTo;
    } cases[] = {
        {ARROW_STRIP_LEFT, 0, 2400, 2500, 2400, 3000, 0, 2400, 2500},  // at the data's start
        {ARROW_STRIP_LEFT, 0, 2450, 2500, 2400, 3000, 1, 2449, 2500},
        {ARROW_STRIP_LEFT, 1, 2450, 2500, 2400, 3000, 1, 2451, 2500},
        {ARROW_STRIP_LEFT, 1, 2500, 2500, 2400, 3000, 0, 2500, 2500},
        {ARROW_STRIP_LEFT, 2, 2450, 2500, 2400, 3000, 1, 2449, 2499},
        {ARROW_STRIP_LEFT, 3, 2470, 2600, 2400, 3000, 1, 2460, 2600},  // to its year's start
        {ARROW_STRIP_LEFT, 3, 2460, 2600, 2400, 3000, 1, 2400, 2600},  // on one: a year back
        {ARROW_STRIP_LEFT, 3, 2460, 2600, 2410, 3000, 1, 2410, 2600},  // not below the data
        {ARROW_STRIP_LEFT, 3, 2410, 2600, 2410, 3000, 0, 2410, 2600},
        {ARROW_STRIP_LEFT, 4, 2470, 2600, 2400, 3000, 1, 2520, 2600},
        {ARROW_STRIP_LEFT, 4, 2460, 2600, 2400, 3000, 1, 2520, 2600},
        {ARROW_STRIP_LEFT, 4, 2470, 2520, 2400, 3000, 0, 2470, 2520},  // would reach to
        {ARROW_STRIP_LEFT, 5, 2470, 2590, 2400, 3000, 1, 2460, 2580},
        {ARROW_STRIP_LEFT, 5, 2470, 2475, 2400, 3000, 0, 2470, 2475},  // both in one year
        {ARROW_STRIP_LEFT, 5, 2430, 2590, 2420, 3000, 1, 2420, 2580},
        {ARROW_STRIP_RIGHT, 0, 2450, 2500, 2400, 3000, 1, 2450, 2499},
        {ARROW_STRIP_RIGHT, 0, 2500, 2500, 2400, 3000, 0, 2500, 2500},
        {ARROW_STRIP_RIGHT, 1, 2450, 3000, 2400, 3000, 0, 2450, 3000},  // at the data's end
        {ARROW_STRIP_RIGHT, 1, 2450, 2500, 2400, 3000, 1, 2450, 2501},
        {ARROW_STRIP_RIGHT, 2, 2450, 2500, 2400, 3000, 1, 2451, 2501},
        {ARROW_STRIP_RIGHT, 3, 2450, 2530, 2400, 3000, 1, 2450, 2520},
        {ARROW_STRIP_RIGHT, 3, 2450, 2520, 2400, 3000, 1, 2450, 2460},
        {ARROW_STRIP_RIGHT, 3, 2470, 2520, 2400, 3000, 0, 2470, 2520},  // would pass from
        {ARROW_STRIP_RIGHT, 3, 2525, 2530, 2400, 3000, 0, 2525, 2530},
        {ARROW_STRIP_RIGHT, 4, 2450, 2530, 2400, 3000, 1, 2450, 2580},
        {ARROW_STRIP_RIGHT, 4, 2450, 2990, 2400, 3000, 1, 2450, 3000},  // at most the end
        {ARROW_STRIP_RIGHT, 4, 2450, 3000, 2400, 3000, 0, 2450, 3000},
        {ARROW_STRIP_RIGHT, 5, 2450, 2530, 2400, 3000, 1, 2460, 2580},
        {ARROW_STRIP_RIGHT, 5, 2930, 2990, 2400, 3000, 1, 2940, 3000},
        {ARROW_STRIP_RIGHT, 5, 2990, 2995, 2400, 3000, 0, 2990, 2995},  // both held at the end
    };
    for (const Case &c : cases) {
        ZoomSelectionFrom = c.from;
        ZoomSelectionTo = c.to;
        DataSpanStart = c.spanStart;
        DataSpanEnd = c.spanEnd;
        EXPECT_EQ(ApplyArrowButton(c.strip, c.button), c.changed)
            << "strip " << c.strip << " button " << c.button << " from " << c.from;
        EXPECT_EQ(ZoomSelectionFrom, c.newFrom) << "strip " << c.strip << " button " << c.button;
        EXPECT_EQ(ZoomSelectionTo, c.newTo) << "strip " << c.strip << " button " << c.button;
    }
}

TEST_F(ArrowTest, TopStripRaisesTheScaleAndLowersItDownToOne)
{
    ZoomSelectionMax = 5.0;
    EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, 0), 1);
    EXPECT_EQ(ZoomSelectionMax, 6.0);
    EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, 1), 1);
    EXPECT_EQ(ZoomSelectionMax, 5.0);
    ZoomSelectionMax = 1.5;
    EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, 1), 1);
    EXPECT_EQ(ZoomSelectionMax, 0.5);
    EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, 1), 0);
    ZoomSelectionMax = 1.0;
    EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, 1), 0);
    EXPECT_EQ(ZoomSelectionMax, 1.0);
}

// Three funds over periods 2400..2409: fund 0 from period 2, fund 1 from 0 to 6, fund 2
// from 4; maxima 3, 7 and 5 (and 30, 70, 50 for the moving-average overlay).
void ZoomFunds()
{
    std::vector<PointSpec> all = PeriodPoints(std::vector<double>(10, 1.0));
    std::vector<PackedDate> dates;
    for (const PointSpec &p : all)
        dates.push_back(Date(p.month, p.day, p.year));
    BuildDateTable(dates);
    NewFundTable(3);
    SetFundPoints(0, "A", std::vector<PointSpec>(all.begin() + 2, all.end()));
    SetFundPoints(1, "B", std::vector<PointSpec>(all.begin(), all.begin() + 7));
    SetFundPoints(2, "C", std::vector<PointSpec>(all.begin() + 4, all.end()));
    const double maxima[3] = {3, 7, 5};
    for (uint32_t i = 0; i < 3; i++) {
        FundTable[i].stats[0].maxValue = maxima[i];
        FundTable[i].stats[0].maxMaEquity = 10 * maxima[i];
        FundTable[i].flags |= FUND_DISPLAYED;
    }
}

TEST_F(ArrowTest, FirstUseTakesTheRangeAndScaleOfTheFundsInView)
{
    ZoomFunds();
    CombinedGraphs = 1;
    InitZoomSelection(3);
    EXPECT_EQ(ZoomSelectionFrom, Jan2000);
    EXPECT_EQ(ZoomSelectionTo, Jan2000 + 9);
    EXPECT_EQ(ZoomSelectionMax, 7.0);
    EXPECT_EQ(DataSpanStart, Jan2000);
    EXPECT_EQ(DataSpanEnd, Jan2000 + 9);

    // A selection already made is kept.
    ZoomSelectionFrom = Jan2000 + 3;
    InitZoomSelection(3);
    EXPECT_EQ(ZoomSelectionFrom, Jan2000 + 3);

    // Single mode: the tab's fund only (tab 5: the third displayed fund), with the
    // overlay's maximum and, under ZoomOn, its recent start.
    ZoomSelectionFrom = ZoomSelectionTo = 0;
    ZoomSelectionMax = 0;
    CombinedGraphs = 0;
    ShowMovingAverage = 1;
    ZoomOn = 1;
    FundTable[2].recentStart = 3;
    FundTable[2].stats[0].maxMaEquityRecent = 44;
    InitZoomSelection(5);
    EXPECT_EQ(ZoomSelectionFrom, Jan2000 + 7);
    EXPECT_EQ(ZoomSelectionTo, Jan2000 + 9);
    EXPECT_EQ(ZoomSelectionMax, 44.0);
    EXPECT_EQ(DataSpanStart, Jan2000 + 4);
    EXPECT_EQ(DataSpanEnd, Jan2000 + 9);
    // The overlaid graphs scale by value whatever the overlay.
    ZoomSelectionFrom = ZoomSelectionTo = 0;
    ZoomSelectionMax = 0;
    OverlaidGraphs = 1;
    FundTable[2].stats[0].maxValueRecent = 6;
    InitZoomSelection(5);
    EXPECT_EQ(ZoomSelectionMax, 6.0);
}

TEST_F(ArrowTest, LegendRowsFindTheirCategorysFirstFundOnlyWhenTheListIsGrouped)
{
    ZoomFunds();  // three funds; categories and portfolio set below
    SetFundCategory(&FundTable[0], 3);
    SetFundCategory(&FundTable[1], 3);
    SetFundCategory(&FundTable[2], 0);
    FundTable[0].flags |= FUND_IN_PORTFOLIO;

    CategorySort = 0;
    GroupMode = 0;
    for (uint32_t row = 0; row < 16; row++)
        EXPECT_EQ(LegendTargetIndex(row), -1) << row;

    CategorySort = 1;
    EXPECT_EQ(LegendTargetIndex(2), 0);    // category 3
    EXPECT_EQ(LegendTargetIndex(13), 2);   // "Other": the fund of no category
    EXPECT_EQ(LegendTargetIndex(0), -1);   // no fund of category 1
    EXPECT_EQ(LegendTargetIndex(14), -1);  // "Portfolio" needs the group mode

    GroupMode = 1;
    EXPECT_EQ(LegendTargetIndex(2), 1);    // the first of category 3 outside the portfolio
    EXPECT_EQ(LegendTargetIndex(14), 0);
    EXPECT_EQ(LegendTargetIndex(15), -1);
    CategorySort = 0;
    EXPECT_EQ(LegendTargetIndex(14), 0);   // the group mode alone finds the portfolio
    EXPECT_EQ(LegendTargetIndex(2), -1);
}

// ---------------------------------------------------------------------------------------
// The Default Benchmark dialog's choices.

TEST_F(MeasureTest, DefaultBenchmarkEntryAndChoiceWriteTheSettingsOnlyWhenKnown)
{
    std::string dir = MakeTempDir();
    ASSERT_EQ(SetDataDir(dir.c_str()), 1);
    std::string settings = dir + "/SETTINGS";
    ZoomFunds();
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    FreeBlock(FundTable[1].name);
    FundTable[1].name = CopyString("Broad Index", 11);
    int found = -1;

    // Empty: "(None)".
    EXPECT_EQ(DefaultBenchmarkEntry(&found), nullptr);
    EXPECT_EQ(found, 1);
    // The index fund, by short name without regard to case.
    strcpy(DefaultBenchmark, "b");
    EXPECT_EQ(DefaultBenchmarkEntry(&found), &FundTable[1]);
    EXPECT_EQ(found, 1);
    // A fund that is not an index fund, or none at all: a warning and no selection.
    for (const char *name : {"A", "GONE"}) {
        strcpy(DefaultBenchmark, name);
        ClearMessages();
        EXPECT_EQ(DefaultBenchmarkEntry(&found), nullptr);
        EXPECT_EQ(found, 0);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Warning: Can't find default index."});
    }

    // OK with an entry that names no fund: a warning, nothing changed or written.
    ClearMessages();
    EXPECT_EQ(ChooseDefaultBenchmark("Nothing Like It"), 0);
    EXPECT_STREQ(DefaultBenchmark, "GONE");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Warning: Can't find selected index."});
    EXPECT_EQ(ReadWholeFile(settings), "");

    // A fund's name (without regard to case) sets its short name; "(None)" clears it.
    // Both write the settings file.
    ClearMessages();
    // (The file is the fifteen view-state bytes, a blank and the default benchmark.)
    EXPECT_EQ(ChooseDefaultBenchmark("BROAD index"), 1);
    EXPECT_STREQ(DefaultBenchmark, "B");
    EXPECT_EQ(ReadWholeFile(settings).substr(15), " B");
    EXPECT_EQ(ChooseDefaultBenchmark("(none)"), 1);
    EXPECT_STREQ(DefaultBenchmark, "");
    EXPECT_EQ(ReadWholeFile(settings).substr(15), " ");
    EXPECT_TRUE(MessageTexts().empty());
}

}  // namespace
