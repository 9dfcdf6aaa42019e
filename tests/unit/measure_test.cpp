// The graph window's arithmetic: the date and value under the pointer, the measurement's
// result line, the fund under the pointer, the stepping keys' targets; the arrow strips'
// moves of the zoom selection, the legend's scroll targets and the Default Benchmark
// dialog's choices.
#include <gtest/gtest.h>

#include <string.h>

#include <tuple>

#include "app/benchmarkchoice.h"
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
#include "graphics/zoom.h"
#include "test_support.h"

namespace {

// 1 January 2000 as a DatePeriod: 40 years of 60 periods after 1960.
const int32_t Jan2000 = 2400;

class MeasureTest : public ::testing::Test {
protected:
    static void Reset()
    {
        ResetViewState();
        PlainView();
        CategorySort = GroupMode = 0;
        ClearGraphGeometry();
        MeasuredFund = nullptr;
        ZoomSelectionMax = ZoomSelectionFrom = ZoomSelectionTo = 0;
    }
    // Every bitmap slot 14 pixels wide, as the arrow buttons are.
    void SetUp() override
    {
        Reset();
        FillSlots(14);
    }
    void TearDown() override
    {
        RestoreSlots();
        Reset();
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
    const struct {
        int32_t x;
        const char *date;
    } dates[] = {{10, "01/01/00"}, {11, "01/08/00"}, {14, "01/29/00"}, {15, "02/01/00"},
                 {69, "12/29/00"}, {70, "01/01/01"}, {130, "01/01/02"}};
    for (const auto &d : dates)
        EXPECT_EQ(DateAt(d.x), d.date) << d.x;
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
    const struct { uint8_t linear; uint32_t units; int32_t y; const char *text; } cases[] = {
        {1, 10, 150, "D=$5.00"}, {1, 10, 200, "D=$0.00"}, {1, 10, 100, "D=$10.00"},
        {1, 3, 167, "D=$0.99"},  // 33 * 3 / 100 exactly, not a hair below
        {1, 3, 199, "D=$0.03"},
        // Log: the bottom row is exp(-1) = 0.3678... whatever the units.
        {0, 0, 200, "D=$0.36"}, {0, 1, 200, "D=$0.36"}, {0, 1000, 200, "D=$0.36"},
        // Half way up: exp((ln 20 + 1) / 2 - 1) = sqrt(20 / e) = 2.7124...
        {0, 20, 150, "D=$2.71"},
    };
    for (const auto &c : cases) {
        LinearScale = c.linear;
        PaintedPriceUnits = c.units;
        EXPECT_EQ(read(c.y), c.text) << "units " << c.units << " row " << c.y;
    }
    EXPECT_DOUBLE_EQ(ValueAtRow(text, 150), 2.71);
    SetFundPlotRows(f, 100, 100);  // no plot height: nothing to divide by
    EXPECT_EQ(read(100), "D=$0.00");
}

TEST_F(MeasureTest, ResultIsThePercentChangeWithinAPeriodElseAnnualizedEitherWayRound)
{
    // Within a period the plain change; halving over two years is sqrt(1/2) - 1 a year.
    const struct {
        int32_t to;
        double first, last;
        const char *text;
    } cases[] = {{Jan2000, 10, 12, "Result=20.0%"}, {Jan2000, 10, 8, "Result=(20.0)%"},
                 {Jan2000, 10, 10, "Result=0.0%"}, {Jan2000 + 120, 20, 10, "Result=(29.3)%"}};
    char text[32];
    for (const auto &c : cases) {
        FormatResultLine(text, sizeof text, MeasuredReturn(Jan2000, c.first, c.to, c.last));
        EXPECT_STREQ(text, c.text);
    }
    // Doubling in a year of 60 periods is 100 % a year, measured left to right or back.
    double forward = MeasuredReturn(Jan2000, 10.0, Jan2000 + 60, 20.0);
    EXPECT_NEAR(forward, 100.0, 0.01);
    EXPECT_EQ(forward, MeasuredReturn(Jan2000 + 60, 20.0, Jan2000, 10.0));
}

TEST_F(MeasureTest, FundUnderThePointerIsTheTabsFundOrTheFirstStackedOneThere)
{
    MakeFunds({8, 8, 8});
    Display({0, 2});
    SetFundPlotRows(&FundTable[0], 10, 50);
    SetFundPlotRows(&FundTable[2], 40, 90);  // overlaps fund 0's rows 40..50
    PlotLeft = 20;
    PlotRight = 200;
    // Single mode: tab 4 shows the second displayed fund, fund 2; combined: the first
    // displayed fund in table order whose rows hold y. -1: no fund.
    const struct { uint8_t combined; int32_t x, y, tab, fund; } cases[] = {
        {0, 100, 45, 4, 2}, {0, 100, 90, 4, 2}, {0, 200, 45, 4, 2},
        {0, 100, 20, 4, -1},  // fund 0's rows, not this page's
        {0, 19, 45, 4, -1},   {0, 201, 45, 4, -1},  // outside the plot limits
        {0, 100, 45, 5, -1},  // no third displayed fund
        {0, 100, 45, 2, -1},  // not a graph tab
        {1, 100, 45, 3, 0},   {1, 100, 60, 3, 2}, {1, 100, 95, 3, -1},
    };
    for (const auto &c : cases) {
        CombinedGraphs = c.combined;
        EXPECT_EQ(FundUnderPointer(c.x, c.y, c.tab), c.fund < 0 ? nullptr : &FundTable[c.fund])
            << c.x << "," << c.y << " tab " << c.tab;
    }
    // A fund not painted since the geometry was cleared is under no row, row 0 included.
    ClearGraphGeometry();
    EXPECT_EQ(FundUnderPointer(100, 0, 3), nullptr);
}

TEST_F(MeasureTest, SteppingKeysMoveWithinTheTableAndRefuseAtItsEnds)
{
    struct Case { uint32_t index, count, key; int32_t target; } cases[] = {
        {19, 30, STEP_PAGE_DOWN, 29}, {20, 30, STEP_PAGE_DOWN, 29}, {5, 30, STEP_PAGE_DOWN, 15},
        {29, 30, STEP_PAGE_DOWN, -1}, {10, 30, STEP_PAGE_UP, 0},    {11, 30, STEP_PAGE_UP, 1},
        {5, 30, STEP_PAGE_UP, 0},     {0, 30, STEP_PAGE_UP, -1},    {5, 30, STEP_HOME, 0},
        {0, 30, STEP_HOME, -1},       {5, 30, STEP_END, 29},        {29, 30, STEP_END, -1},
        {5, 30, STEP_BACK, 4},        {0, 30, STEP_BACK, -1},       {28, 30, STEP_FORWARD, 29},
        {29, 30, STEP_FORWARD, -1},   {30, 30, STEP_BACK, -1},      {0, 1, STEP_FORWARD, -1},
        {0, 0, STEP_HOME, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(StepTargetIndex(c.index, c.count, c.key), c.target)
            << "index " << c.index << " of " << c.count << " key " << c.key;
}

// ---------------------------------------------------------------------------------------
// The arrow strips and the legend.

TEST_F(MeasureTest, ArrowButtonsAreHitInsideTheirPicturesOnly)
{
    // Side strips: x 2..15; button k rows 2 + 15k .. 15(k + 1). The top strip the same
    // across.
    const uint32_t L = ARROW_STRIP_LEFT, R = ARROW_STRIP_RIGHT, T = ARROW_STRIP_TOP;
    struct Case { uint32_t strip; int32_t x, y, button; } cases[] = {
        {L, 2, 2, 0},   {L, 15, 15, 0}, {L, 1, 5, -1},  {L, 16, 5, -1}, {L, 5, 1, -1},
        {L, 5, 16, -1}, {R, 5, 17, 1},  {R, 5, 30, 1},  {R, 5, 77, 5},  {R, 5, 90, 5},
        {R, 5, 91, -1}, {T, 2, 2, 0},   {T, 15, 15, 0}, {T, 16, 5, -1}, {T, 17, 5, 1},
        {T, 30, 5, 1},  {T, 31, 5, -1}, {T, 5, 16, -1}, {3, 5, 5, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ArrowButtonAt(c.strip, c.x, c.y), c.button)
            << "strip " << c.strip << " at " << c.x << "," << c.y;
}

TEST_F(MeasureTest, SideStripsMoveTheRangeWithinTheDataAndTheTopStripTheScale)
{
    // Year boundaries are multiples of 60; the data span 2400 (or start) .. 3000. Buttons
    // 0..2 move by a week, 3..5 to the year boundary before or after; no move at the
    // data's ends, past the other end of the range, or for a range within one year.
    const uint32_t L = ARROW_STRIP_LEFT, R = ARROW_STRIP_RIGHT;
    struct Case {
        uint32_t strip;
        int32_t button, from, to;
        int changed;
        int32_t newFrom, newTo, start = 2400;
    } cases[] = {
        {L, 0, 2400, 2500, 0, 2400, 2500},       {L, 0, 2450, 2500, 1, 2449, 2500},
        {L, 1, 2450, 2500, 1, 2451, 2500},       {L, 1, 2500, 2500, 0, 2500, 2500},
        {L, 2, 2450, 2500, 1, 2449, 2499},       {L, 3, 2470, 2600, 1, 2460, 2600},
        {L, 3, 2460, 2600, 1, 2400, 2600},       {L, 3, 2460, 2600, 1, 2410, 2600, 2410},
        {L, 3, 2410, 2600, 0, 2410, 2600, 2410}, {L, 4, 2470, 2600, 1, 2520, 2600},
        {L, 4, 2460, 2600, 1, 2520, 2600},       {L, 4, 2470, 2520, 0, 2470, 2520},
        {L, 5, 2470, 2590, 1, 2460, 2580},       {L, 5, 2470, 2475, 0, 2470, 2475},
        {L, 5, 2430, 2590, 1, 2420, 2580, 2420}, {R, 0, 2450, 2500, 1, 2450, 2499},
        {R, 0, 2500, 2500, 0, 2500, 2500},       {R, 1, 2450, 3000, 0, 2450, 3000},
        {R, 1, 2450, 2500, 1, 2450, 2501},       {R, 2, 2450, 2500, 1, 2451, 2501},
        {R, 3, 2450, 2530, 1, 2450, 2520},       {R, 3, 2450, 2520, 1, 2450, 2460},
        {R, 3, 2470, 2520, 0, 2470, 2520},       {R, 3, 2525, 2530, 0, 2525, 2530},
        {R, 4, 2450, 2530, 1, 2450, 2580},       {R, 4, 2450, 2990, 1, 2450, 3000},
        {R, 4, 2450, 3000, 0, 2450, 3000},       {R, 5, 2450, 2530, 1, 2460, 2580},
        {R, 5, 2930, 2990, 1, 2940, 3000},       {R, 5, 2990, 2995, 0, 2990, 2995},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "strip " << c.strip << " button " << c.button
                                        << " from " << c.from << " to " << c.to);
        ZoomSelectionFrom = c.from;
        ZoomSelectionTo = c.to;
        DataSpanStart = c.start;
        DataSpanEnd = 3000;
        EXPECT_EQ(ApplyArrowButton(c.strip, c.button), c.changed);
        EXPECT_EQ(ZoomSelectionFrom, c.newFrom);
        EXPECT_EQ(ZoomSelectionTo, c.newTo);
    }
    // The top strip raises the scale by one and lowers it, down to one.
    const struct { double max; int32_t button; int changed; double newMax; } top[] = {
        {5.0, 0, 1, 6.0}, {5.0, 1, 1, 4.0}, {1.5, 1, 1, 0.5}, {0.5, 1, 0, 0.5}, {1.0, 1, 0, 1.0}};
    for (const auto &c : top) {
        ZoomSelectionMax = c.max;
        EXPECT_EQ(ApplyArrowButton(ARROW_STRIP_TOP, c.button), c.changed) << c.max;
        EXPECT_EQ(ZoomSelectionMax, c.newMax) << c.max;
    }
}

// Three funds over periods 2400..2409: fund 0 from period 2, fund 1 from 0 to 6, fund 2
// from 4; maxima 3, 7 and 5 (and 30, 70, 50 for the moving-average overlay).
void ZoomFunds()
{
    MakeFunds({2, 0, 4}, {10, 7});
    Display({0, 1, 2});
    const double maxima[3] = {3, 7, 5};
    for (uint32_t i = 0; i < 3; i++) {
        FundTable[i].stats[0].maxValue = maxima[i];
        FundTable[i].stats[0].maxMaEquity = 10 * maxima[i];
    }
}

TEST_F(MeasureTest, FirstUseTakesTheRangeAndScaleOfTheFundsInView)
{
    ZoomFunds();
    auto expectZoom = [](int32_t from, int32_t to, double max, int32_t start, int32_t end) {
        EXPECT_EQ(std::make_tuple(ZoomSelectionFrom, ZoomSelectionTo, ZoomSelectionMax,
                                  DataSpanStart, DataSpanEnd),
                  std::make_tuple(from, to, max, start, end));
    };
    CombinedGraphs = 1;
    InitZoomSelection(3);
    expectZoom(Jan2000, Jan2000 + 9, 7.0, Jan2000, Jan2000 + 9);
    // A selection already made is kept.
    ZoomSelectionFrom = Jan2000 + 3;
    InitZoomSelection(3);
    EXPECT_EQ(ZoomSelectionFrom, Jan2000 + 3);

    // Single mode: the tab's fund only (tab 5: the third displayed fund), with the
    // overlay's maximum and, under ZoomOn, its recent start.
    Reset();
    ShowMovingAverage = ZoomOn = 1;
    FundTable[2].recentStart = 3;
    FundTable[2].stats[0].maxMaEquityRecent = 44;
    InitZoomSelection(5);
    expectZoom(Jan2000 + 7, Jan2000 + 9, 44.0, Jan2000 + 4, Jan2000 + 9);
    // The overlaid graphs scale by value whatever the overlay.
    ZoomSelectionMax = ZoomSelectionFrom = ZoomSelectionTo = 0;
    OverlaidGraphs = 1;
    FundTable[2].stats[0].maxValueRecent = 6;
    InitZoomSelection(5);
    EXPECT_EQ(ZoomSelectionMax, 6.0);
}

TEST_F(MeasureTest, LegendRowsFindTheirCategorysFirstFundOnlyWhenTheListIsGrouped)
{
    ZoomFunds();
    SetFundCategory(&FundTable[0], 3);
    SetFundCategory(&FundTable[1], 3);
    SetFundCategory(&FundTable[2], 0);
    FundTable[0].flags |= FUND_IN_PORTFOLIO;
    for (uint32_t row = 0; row < 16; row++)
        EXPECT_EQ(LegendTargetIndex(row), -1) << row;  // neither sorted nor grouped
    const struct { uint8_t sort, group; uint32_t row; int32_t fund; } cases[] = {
        {1, 0, 2, 0},    // category 3
        {1, 0, 13, 2},   // "Other": the fund of no category
        {1, 0, 0, -1},   // no fund of category 1
        {1, 0, 14, -1},  // "Portfolio" needs the group mode
        {1, 1, 2, 1},    // the first of category 3 outside the portfolio
        {1, 1, 14, 0},   {1, 1, 15, -1},
        {0, 1, 14, 0},   // the group mode alone finds the portfolio
        {0, 1, 2, -1},
    };
    for (const auto &c : cases) {
        CategorySort = c.sort;
        GroupMode = c.group;
        EXPECT_EQ(LegendTargetIndex(c.row), c.fund)
            << "sort " << (int)c.sort << " group " << (int)c.group << " row " << c.row;
    }
}

// ---------------------------------------------------------------------------------------
// The Default Benchmark dialog's choices.

TEST_F(MeasureTest, DefaultBenchmarkEntryAndChoiceWriteTheSettingsOnlyWhenKnown)
{
    std::string settings = MakeDataDir() + "/SETTINGS";
    ZoomFunds();
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    FreeBlock(FundTable[1].name);
    FundTable[1].name = CopyString("Broad Index", 11);
    int found = -1;

    // Empty: "(None)"; the index fund by short name without regard to case.
    EXPECT_EQ(DefaultBenchmarkEntry(&found), nullptr);
    EXPECT_EQ(found, 1);
    strcpy(DefaultBenchmark, "f1");
    EXPECT_EQ(DefaultBenchmarkEntry(&found), &FundTable[1]);
    EXPECT_EQ(found, 1);
    // A fund that is not an index fund, or none at all: a warning and no selection.
    for (const char *name : {"F0", "GONE"}) {
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
    // Both write the settings file: the fifteen view-state bytes, a blank and the name.
    ClearMessages();
    EXPECT_EQ(ChooseDefaultBenchmark("BROAD index"), 1);
    EXPECT_STREQ(DefaultBenchmark, "F1");
    EXPECT_EQ(ReadWholeFile(settings).substr(15), " F1");
    EXPECT_EQ(ChooseDefaultBenchmark("(none)"), 1);
    EXPECT_STREQ(DefaultBenchmark, "");
    EXPECT_EQ(ReadWholeFile(settings).substr(15), " ");
    EXPECT_TRUE(MessageTexts().empty());
}

}  // namespace
