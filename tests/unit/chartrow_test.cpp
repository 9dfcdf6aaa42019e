// The fund list's comparison-chart rows: spans, zero line, bar geometry, labels, the
// Signals chart's states and icons, drawn on the raster and compared pixel by pixel with
// pictures put together by hand from the primitives at the positions the rules give.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include "analysis/stats.h"
#include "data/alloc.h"
#include "data/fund.h"
#include "data/viewflags.h"
#include "graphics/chartrow.h"
#include "graphics/draw.h"
#include "graphics/raster.h"
#include "fund_builder.h"
#include "graph_canvas.h"
#include "test_support.h"

namespace {

class ChartRowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RasterStartup(RASTER_FONT_PATH); }
    static void TearDownTestSuite() { RasterShutdown(); }

    int32_t rowHeight = 0;

    void SetUp() override
    {
        // The markers and icons are 10 x 14 pixels, the arrows 14 x 14, as the resources.
        FillSlots(10);
        ResetChartScaleExtremes();
        MaxNameWidth = 60;
        ChartWidth = ZeroX = 0;
        rowHeight = (int32_t)TextHeight + 2;
        PlainView();
        CategorySort = 0;
    }
    void TearDown() override
    {
        RestoreSlots();
        ResetChartScaleExtremes();
        MaxNameWidth = 0;
        ChartWidth = ZeroX = 0;
    }

    // Sets a statistic's whole-number extents for a view, as the load leaves them.
    static void Extent(int view, ChartStatistic statistic, uint32_t negative, uint32_t total)
    {
        ChartScaleExtremes.negativeExtent[view][statistic] = negative;
        ChartScaleExtremes.totalExtent[view][statistic] = total;
    }
    static FundRecord *Fund(uint32_t i, const char *name, uint32_t category)
    {
        FundRecord *f = &FundTable[i];
        f->name = CopyString(name, strlen(name));
        SetFundCategory(f, category);
        return f;
    }
    // Series 0 with these values; series 1 its own copy (a fund with a relative series)
    // or series 0's arrays (a fund without).
    static void Values(FundRecord *f, const std::vector<double> &values, bool ownSeriesOne)
    {
        uint32_t n = (uint32_t)values.size();
        f->pointCount = n;
        f->points[0] = (NavPoint *)AllocZero(n, sizeof(NavPoint));
        for (uint32_t k = 0; k < n; k++)
            f->points[0][k].value = values[k];
        f->points[1] = f->points[0];
        if (ownSeriesOne)
            AddSeriesOne(f);
    }
    // The row's bar, label and colours as the list's current settings give them.
    static RowBar BarOf(FundRecord *f)
    {
        MeasureFundRow(300);
        RowBar bar;
        ComputeRowBar(f, &bar);
        return bar;
    }
    static void Label(GrayCanvas &c, int32_t x, const char *text, uint32_t colour, bool right)
    {
        SurfaceSetTextAlign(&c.target, right ? TEXT_ALIGN_RIGHT : TEXT_ALIGN_LEFT);
        DrawText(&c.target, x, 1, text, (uint32_t)strlen(text), colour);
        SurfaceSetTextAlign(&c.target, TEXT_ALIGN_LEFT);
    }
    // Draws the list's row (whole, in state) and compares it with the picture that build
    // puts together from the fixed part (the portfolio marker and the name in colour) and
    // what it adds. The painter hands the target's modes back as it found them, which no
    // picture shows, so they are checked here.
    template <typename Build>
    void ExpectRow(int32_t row, uint32_t marker, const char *name, uint32_t colour, Build build,
                   uint32_t state = 0)
    {
        GrayCanvas actual(320, rowHeight), expected(320, rowHeight);
        DrawFundRow(&actual.target, row, 0, 0, 300, rowHeight, ROW_DRAW_ENTIRE, state);
        SurfaceCopyBitmap(&expected.target, 5, (rowHeight - 14) / 2, marker, 0);
        SurfaceSetTransparent(&expected.target, 1);
        DrawText(&expected.target, 33, 1, name, (uint32_t)strlen(name), colour);
        build(expected);
        EXPECT_EQ(FirstDifference(&actual.image, &expected.image), "")
            << "row " << row << " " << name;
        EXPECT_EQ(std::make_tuple(actual.target.textAlign, actual.target.transparentText,
                                  actual.target.clipOn),
                  std::make_tuple((uint32_t)TEXT_ALIGN_LEFT, 0u, 0u)) << "row " << row;
    }
    void Bar(GrayCanvas &c, int32_t left, int32_t right, uint32_t colour)
    {
        FillBox(&c.target, left, 1, right, rowHeight - 1, colour);
    }
};

// Geometry shared by the cases below: markers 10 wide, MaxNameWidth 60, item width 300,
// so ChartWidth = 300 - 20 - 10 - 10 - 60 = 200 and the bar area starts at
// x0 = 10 + 10 + 17 + 60 = 97; the text band runs from y 1 to rowHeight - 1.

TEST_F(ChartRowTest, MeasureSetsChartWidthAndZeroLine)
{
    // YTD 10 of 40 below zero in view 0 and 20 of 40 in the benchmark view; volatility and
    // tax efficiency with extents too.
    Extent(0, STAT_YTD, 10, 40);
    Extent(1, STAT_YTD, 20, 40);
    Extent(0, STAT_VOLATILITY, 4, 20);
    ChartScaleExtremes.taxEfficiencyExtent = 90;
    const struct { uint32_t kind, item; uint8_t benchmark; uint32_t width, zeroX; } cases[] = {
        {CHART_YTD_RETURN, 300, 0, 200, 50},   // 200 x 10 / 40
        {CHART_YTD_RETURN, 300, 1, 200, 100},  // the benchmark view's own extents
        // The item must be wider than the fixed part (100) to leave any bar area.
        {CHART_YTD_RETURN, 100, 0, 0, 0},      {CHART_YTD_RETURN, 101, 0, 1, 0},
        // Kinds without a zero line keep it at 0 whatever their extents.
        {CHART_VOLATILITY, 300, 0, 200, 0},    {CHART_TAX_EFFICIENCY, 300, 0, 200, 0},
        {CHART_SIGNALS, 300, 0, 200, 0},       {CHART_NONE, 300, 0, 200, 0},
    };
    for (const auto &c : cases) {
        ChartKind = c.kind;
        ShowBenchmark = c.benchmark;
        EXPECT_EQ(MeasureFundRow(c.item), TextHeight + 2);
        EXPECT_EQ(std::make_pair(ChartWidth, ZeroX), std::make_pair(c.width, c.zeroX))
            << "kind " << c.kind << " item " << c.item;
    }
}

TEST_F(ChartRowTest, SpansFollowTheExtents)
{
    Extent(0, STAT_TOTAL, 12, 50);
    Extent(1, STAT_TOTAL, 0, 7);
    Extent(0, STAT_VOLATILITY, 0, 19);
    Extent(0, STAT_MACD_STRENGTH, 2, 5);
    ChartScaleExtremes.taxEfficiencyExtent = 88;
    ComputeChartSpans();
    auto span = [](const ChartSpanRecord &s) {
        return std::vector<uint32_t>{s.positive, s.negative, s.total};
    };
    EXPECT_EQ(span(ChartSpan[CHART_TOTAL_RETURN][0]), (std::vector<uint32_t>{38, 12, 50}));
    EXPECT_EQ(span(ChartSpan[CHART_TOTAL_RETURN][1]), (std::vector<uint32_t>{7, 0, 7}));
    EXPECT_EQ(span(ChartSpan[CHART_VOLATILITY][0]), (std::vector<uint32_t>{19, 0, 19}));
    // Tax efficiency: one span, the same in both views, no negative part.
    for (int view = 0; view < 2; view++)
        EXPECT_EQ(span(ChartSpan[CHART_TAX_EFFICIENCY][view]), (std::vector<uint32_t>{88, 0, 88}));
    EXPECT_EQ(span(StrengthSpan[STRENGTH_MACD][0]), (std::vector<uint32_t>{3, 2, 5}));
    EXPECT_EQ(StrengthSpan[STRENGTH_MA][0].total, 0u);

    // Current Strength reads the pair of the first indicator on: MA, then MACD, then ROC.
    ShowMacd = 1;
    EXPECT_EQ(CurrentChartSpan(CHART_CURRENT_STRENGTH).total, 5u);
    ShowMovingAverage = 1;
    EXPECT_EQ(CurrentChartSpan(CHART_CURRENT_STRENGTH).total, 0u);
    ShowMovingAverage = ShowMacd = 0;
    EXPECT_EQ(CurrentChartSpan(CHART_CURRENT_STRENGTH).total, 0u);
}

TEST_F(ChartRowTest, NarrowListAndZeroSpanDrawNoBarsAndANegativeLabelIsClippedToTheBarArea)
{
    NewFundTable(4);
    Fund(0, "Gamma", 3)->stats[0].ytdReturn = 20.0;
    FundTable[0].flags |= FUND_IN_PORTFOLIO;
    Fund(1, "Flat", 7)->stats[0].ytdReturn = 0.0;
    Fund(2, "Up", 7)->stats[0].ytdReturn = 5.0;
    Fund(3, "", 1)->stats[0].ytdReturn = -0.5;
    ChartKind = CHART_YTD_RETURN;
    // Too narrow for a bar area: only the markers (the row selected) and the name in its
    // category's colour (4).
    Extent(0, STAT_YTD, 0, 20);
    MeasureFundRow(100);
    ExpectRow(0, BMP_PORTFOLIO, "Gamma", 4, [&](GrayCanvas &e) {
        SurfaceCopyBitmap(&e.target, 19, (rowHeight - 14) / 2, BMP_CHECK, 0);
    }, ROW_STATE_SELECTED);

    // A zero total span: the zero line and the labels, no bars. Index: grey name (7),
    // white label (0).
    Extent(0, STAT_YTD, 0, 0);
    MeasureFundRow(300);
    const char *labels[2] = {"0.0%", "5.0%"};
    for (int32_t row = 1; row < 3; row++)
        ExpectRow(row, BMP_NO_PORTFOLIO, FundTable[row].name, 7, [&](GrayCanvas &e) {
            Bar(e, 97, 98, 1);
            Label(e, 99, labels[row - 1], 0, false);
        });

    Extent(0, STAT_YTD, 1, 40);
    MeasureFundRow(300);
    // ZeroX = 200 x 1 / 40 = 5; 200 x 0.5 / 40 = 2.5 -> 2: the bar covers x0 + 3 .. x0 + 4,
    // the zero line x0 + 5.
    // The right-aligned label would start well left of x0 = 97; the clip keeps the name
    // column (from the marker's end at 15) clear.
    ExpectRow(3, BMP_NO_PORTFOLIO, "", 2, [&](GrayCanvas &e) {
        Bar(e, 100, 102, 2);
        Bar(e, 102, 103, 1);
        SurfaceClip(&e.target, 97, 0, 297, rowHeight);
        Label(e, 101, "(0.5%)", 1, true);
        SurfaceClearClip(&e.target);
    });
}

TEST_F(ChartRowTest, CurrentStrengthBarsAndRedNegative)
{
    NewFundTable(2);
    FundRecord *f = Fund(0, "Delta", 8);
    f->stats[0].currentStrength = -3.0;
    f->stats[0].maSignal = 1.5;
    f->stats[0].macdStrength = 2.0;
    ChartKind = CHART_CURRENT_STRENGTH;
    ShowMovingAverage = 1;
    Extent(0, STAT_STRENGTH, 5, 10);
    Extent(0, STAT_MACD_STRENGTH, 0, 4);
    MeasureFundRow(300);
    // ZeroX = 200 x 5 / 10 = 100. Strength -3.0: 200 x 3 / 10 = 60 left of the line in
    // red (5); the signal 1.5: 30 right of it in dark green (10); the label black whatever
    // the category.
    ExpectRow(0, BMP_NO_PORTFOLIO, "Delta", 8, [&](GrayCanvas &e) {
        Bar(e, 137, 197, 5);
        Bar(e, 197, 227, 10);
        Bar(e, 197, 198, 1);
        Label(e, 196, "(3.0%)", 1, true);
    });

    // MACD alone: its own span (ZeroX 0), green (9) for a value of 0 or more, no second bar.
    ShowMovingAverage = 0;
    ShowMacd = 1;
    RowBar bar = BarOf(f);
    EXPECT_EQ(ZeroX, 0u);
    // 0..200 x 2 / 4 in green, no second bar, a black label.
    EXPECT_EQ(std::make_tuple(bar.barLeft, bar.barRight, bar.barColour,
                              bar.secondRight - bar.secondLeft, bar.labelColour),
              std::make_tuple(0, 100, 9u, 0, 1u));

    // No indicator on: no value, no bar, no label.
    ShowMacd = 0;
    bar = BarOf(f);
    EXPECT_EQ(bar.barLeft, bar.barRight);
    EXPECT_STREQ(bar.label, "");

    // A signal beyond the span is cut at the bar area's edge.
    ShowMovingAverage = 1;
    f->stats[0].maSignal = 40.0;
    bar = BarOf(f);
    EXPECT_EQ(std::make_pair(bar.secondLeft, bar.secondRight), std::make_pair(100, 200));
}

TEST_F(ChartRowTest, BarsFromTheLeftEdgeForVolatilityAndTaxEfficiency)
{
    NewFundTable(2);
    FundRecord *f = Fund(0, "Epsilon", 11);
    f->stats[0].volatility = 8.0;
    f->taxEfficiency = -4.0;
    f->stats[1].volatility = 99.0;
    ChartKind = CHART_VOLATILITY;
    Extent(0, STAT_VOLATILITY, 0, 20);
    MeasureFundRow(300);
    // 200 x 8 / 20 = 80 from the area's edge. Bond: teal bar (11), black label (1); no
    // zero line.
    ExpectRow(0, BMP_NO_PORTFOLIO, "Epsilon", 11, [&](GrayCanvas &e) {
        Bar(e, 97, 177, 11);
        Label(e, 99, "8.0", 1, false);
    });

    // A negative tax efficiency has no bar to the left of the area's edge.
    ChartKind = CHART_TAX_EFFICIENCY;
    ChartScaleExtremes.taxEfficiencyExtent = 50;
    RowBar bar = BarOf(f);
    EXPECT_EQ(std::make_pair(bar.barLeft, bar.barRight), std::make_pair(0, 0));
    EXPECT_STREQ(bar.label, "-4.0%");
}

TEST_F(ChartRowTest, BenchmarkViewShowsTheRelativeSeriesOfFundsWithAnIndex)
{
    NewFundTable(2);
    FundRecord *a = Fund(0, "A", 1);
    a->indexName = CopyString("SPX", 3);
    a->stats[0].totalReturn = 10.0;
    a->stats[1].totalReturn = -2.0;
    FundRecord *b = Fund(1, "B", 1);
    b->stats[0].totalReturn = 4.0;
    b->stats[1].totalReturn = 30.0;
    ChartKind = CHART_TOTAL_RETURN;
    ShowBenchmark = 1;
    Extent(1, STAT_TOTAL, 2, 12);
    RowBar bar = BarOf(a);
    ASSERT_EQ(ZeroX, 33u);  // 200 x 2 / 12 = 33.3
    EXPECT_STREQ(bar.label, "(2.0%)");
    EXPECT_EQ(bar.barLeft, 0);  // 200 x 2 / 12 = 33.3 -> 33 left of ZeroX 33
    bar = BarOf(b);
    EXPECT_STREQ(bar.label, "4.0%");
    EXPECT_EQ(bar.barRight, 33 + 66);  // 200 x 4 / 12 = 66.7 -> 66
}

TEST_F(ChartRowTest, SelectionAndFocusChanges)
{
    NewFundTable(1);
    Fund(0, "Zeta", 1);
    ChartKind = CHART_NONE;
    MeasureFundRow(300);
    const int32_t checkY = (rowHeight - 14) / 2;

    GrayCanvas c(320, rowHeight), expected(320, rowHeight);
    DrawFundRow(&c.target, 0, 0, 0, 300, rowHeight, ROW_DRAW_SELECT, ROW_STATE_SELECTED);
    SurfaceCopyBitmap(&expected.target, 19, checkY, BMP_CHECK, 0);
    EXPECT_EQ(FirstDifference(&c.image, &expected.image), "");
    DrawFundRow(&c.target, 0, 0, 0, 300, rowHeight, ROW_DRAW_SELECT, 0);
    SurfaceCopyBitmap(&expected.target, 19, checkY, BMP_NO_CHECK, 0);
    EXPECT_EQ(FirstDifference(&c.image, &expected.image), "");

    // The focus rectangle toggles: twice leaves the picture as it was.
    DrawFundRow(&c.target, 0, 0, 0, 300, rowHeight, ROW_DRAW_FOCUS, ROW_STATE_FOCUS);
    EXPECT_NE(FirstDifference(&c.image, &expected.image), "");
    DrawFundRow(&c.target, 0, 0, 0, 300, rowHeight, ROW_DRAW_FOCUS, 0);
    EXPECT_EQ(FirstDifference(&c.image, &expected.image), "");

    // An empty list's row -1 draws only the focus rectangle, and only with the focus.
    GrayCanvas empty(320, rowHeight), blank(320, rowHeight), focused(320, rowHeight);
    DrawFundRow(&empty.target, -1, 0, 0, 300, rowHeight, ROW_DRAW_ENTIRE, 0);
    EXPECT_EQ(FirstDifference(&empty.image, &blank.image), "");
    DrawFundRow(&empty.target, -1, 0, 0, 300, rowHeight, ROW_DRAW_ENTIRE, ROW_STATE_FOCUS);
    SurfaceFocusRect(&focused.target, 0, 0, 300, rowHeight);
    EXPECT_EQ(FirstDifference(&empty.image, &focused.image), "");
}

TEST_F(ChartRowTest, SignalStateTestsMacdThenRocThenMovingAverage)
{
    NewFundTable(1);
    FundRecord *f = Fund(0, "S", 1);
    Values(f, {1, 2, 3}, false);
    // The indicators on and the last point's holding bits: nothing on gives 2, ROC comes
    // before the moving average and MACD before both.
    const uint32_t ma = NAV_MA_HOLDING, roc = NAV_ROC_HOLDING, macd = NAV_MACD_HOLDING;
    const struct { uint8_t ma, roc, macd; uint32_t bits; int state; } cases[] = {
        {0, 0, 0, ma | roc, 2}, {1, 0, 0, ma | roc, 1}, {1, 1, 0, ma, 0},
        {1, 1, 1, ma | roc, 0}, {1, 1, 1, ma | roc | macd, 1}};
    for (const auto &c : cases) {
        ShowMovingAverage = c.ma, ShowRoc = c.roc, ShowMacd = c.macd;
        f->points[0][2].dateWord = c.bits;
        EXPECT_EQ(SignalState(f, 0), c.state) << "case " << (&c - cases);
    }
    // Without a relative series of its own, series 1 does not exist.
    EXPECT_EQ(SignalState(f, 1), 2);
}

TEST_F(ChartRowTest, TrendStateCountsTheRunAtTheEnd)
{
    // Oldest first; the last value is p0. Series 1 a copy of its own, or (own false) none:
    // then it has no state.
    const struct { std::vector<double> values; int state; bool own = true; } cases[] = {
        {{0, 5, 1, 2, 3, 4}, 1},         // three rises, the one before falls
        {{9, 1, 2, 3, 4, 5}, 2},         // four rises
        {{1, 2, 3, 4, 5, 6}, 3},         // five rises
        {{2, 2, 2, 2, 2, 2}, 3},         // flat counts as rising
        {{0, 1, 1, 2, 2, 3}, 3},         // rises with flat steps
        {{1, 0, 9, 8, 7, 6}, 4},         // three falls
        {{0, 10, 9, 8, 7, 6}, 5},        // four falls
        {{11, 10, 9, 8, 7, 6}, 6},       // five falls
        {{5, 5, 5, 5, 5, 4}, 6},         // flat before a fall: the falling test takes it
        {{1, 2, 3, 4, 3, 5}, 0},         // no run of three
        {{9, 9, 1, 2, 3, 2}, 0},         // rises broken at the end
        {{1, 2, 3, 4, 5}, 0},            // five points only
        {{0, 0, 0, 1, 2, 3, 4, 5}, 3},   // only the last six count
        {{1, 2, 3, 4, 5, 6}, 3, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "ending " << c.values.back() << " own " << c.own);
        NewFundTable(1);
        FundRecord *f = Fund(0, "T", 1);
        Values(f, c.values, c.own);
        EXPECT_EQ(TrendState(f, 0), c.state);
        EXPECT_EQ(TrendState(f, 1), c.own ? c.state : 0);
    }
}

TEST_F(ChartRowTest, SignalsIconsAtTheirFourPlacesByTheWidthOfTheIconDrawn)
{
    NewFundTable(3);
    // With an index fund: series 0 rises five times and holds, series 1 falls five times.
    FundRecord *with = Fund(0, "Idx", 1);
    Values(with, {1, 2, 3, 4, 5, 6}, true);
    for (int k = 0; k < 6; k++)
        with->points[1][k].value = 11 - k;
    with->points[0][5].dateWord |= NAV_MACD_HOLDING;
    with->indexName = CopyString("SPX", 3);
    // Without: series 1 is series 0.
    FundRecord *without = Fund(1, "Own", 1);
    Values(without, {1, 2, 3, 4, 5, 6}, false);
    without->points[0][5].dateWord |= NAV_MACD_HOLDING;
    // Five points: signals but no trend.
    Values(Fund(2, "Few", 1), {1, 2, 3, 4, 5}, false);

    ChartKind = CHART_SIGNALS;
    ShowMacd = 1;
    MeasureFundRow(300);
    // x0 = 97, icons 10 wide: 97, 97 + 14, 97 + 28, 97 + 42, at y1 = 1, by exclusive-or.
    using Icons = std::vector<std::pair<int32_t, uint32_t>>;
    auto expectIcons = [&](int32_t row, const Icons &icons) {
        ExpectRow(row, BMP_NO_PORTFOLIO, FundTable[row].name, 2, [&](GrayCanvas &e) {
            for (const auto &icon : icons)
                SurfaceCopyBitmap(&e.target, icon.first, 1, icon.second, 1);
        });
    };
    // Funds with and without an index fund are in the fund list's Signals picture; a fund
    // too short for a trend is not.
    expectIcons(2, {{111, BMP_SELL}});

    // All three indicators off: only the trend icons.
    ShowMacd = 0;
    expectIcons(0, {{125, BMP_FALL5}, {139, BMP_RISE5}});

    // A Buy icon 12 pixels wide and a five-fall icon 7 wide; the others stay 10. Sell
    // (10) at 97; Buy (12) at 97 + 12 + 4 = 113; five falls (7) at 97 + 2 * (7 + 4) =
    // 119; five rises (10) at 97 + 3 * (10 + 4) = 139.
    const struct { uint32_t slot, width; } sizes[] = {{BMP_BUY, 12}, {BMP_FALL5, 7}};
    for (const auto &s : sizes) {
        FreeBlock(Bitmaps[s.slot].pixels);
        FillSlot(s.slot, s.width);
    }
    ShowMacd = 1;
    expectIcons(0, {{97, BMP_SELL}, {113, BMP_BUY}, {119, BMP_FALL5}, {139, BMP_RISE5}});
}

TEST_F(ChartRowTest, CategoryColoursFromTheTable)
{
    const uint32_t bar[16] = {1, 2, 3, 4, 14, 5, 6, 7, 8, 9, 10, 11, 12, 13, 1, 2};
    const uint32_t label[16] = {0, 1, 1, 1, 0, 1, 0, 0, 1, 1, 0, 1, 0, 0, 0, 1};
    for (uint32_t c = 0; c < 16; c++) {
        EXPECT_EQ(CategoryBarColour(c), bar[c]) << c;
        EXPECT_EQ(CategoryLabelColour(c), label[c]) << c;
    }
    EXPECT_EQ(CategoryBarColour(16), 1u);
}

}  // namespace
