// The fund graph and the overlaid graph on the raster, pixel by pixel where the layout
// arithmetic fixes them.
#include <gtest/gtest.h>

#include <ctype.h>
#include <math.h>

#include <tuple>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "graph_canvas.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"
#include "graphics/overlaygraph.h"
#include "test_support.h"

namespace {

int32_t PeriodOfPoint(const FundRecord *f, uint32_t i)
{
    return DatePeriodOf(f->points[0][i].dateWord & 0xFFFF);
}

using Rows = std::vector<int32_t>;

// The rows first..last.
Rows Span(int32_t first, int32_t last)
{
    Rows rows;
    for (int32_t y = first; y <= last; y++)
        rows.push_back(y);
    return rows;
}

// The standard graph of these tests: a 200 x 130 canvas, the graph on its edges
// (0, 0, 199, 129), TextHeight 10, CharWidth 5. So the title line is at row 11, plotTop
// 14, H = 129 - 11 - 2 = 116 and every band H/5 = 23 rows under its line; the plot runs
// from x0 = 15 over W = 199 - 1 - 30 = 168 columns.
class FundGraphTest : public ::testing::Test {
protected:
    GraphCanvas canvas;
    char text[FUND_GRAPH_TEXT_SIZE];
    // The graphs' colours of the full-colour palette.
    const RgbColour Blue = PaletteColour(12), Red = PaletteColour(5), Pink = PaletteColour(4);
    const RgbColour Green = PaletteColour(9), Purple = PaletteColour(13);
    void SetUp() override
    {
        PlainView();
        OpenCanvas(&canvas, 200, 130);
        ClearGraphGeometry();
    }
    void TearDown() override { CloseCanvas(&canvas); }
    void Paint(FundRecord *f, uint32_t units, int32_t from, int32_t to, uint32_t series = 0)
    {
        PaintFundGraph(f, 0, 0, 199, 129, units, from, to, series, text);
    }
    void PaintWhole(FundRecord *f, uint32_t units)
    {
        Paint(f, units, PeriodOfPoint(f, 0), PeriodOfPoint(f, f->pointCount - 1));
    }
    void Reopen() { CloseCanvas(&canvas); OpenCanvas(&canvas, 200, 130); }
    RgbColour At(int32_t x, int32_t y) { return PixelAt(&canvas, x, y); }
    void ExpectPixels(std::initializer_list<PixelProbe> p) { ExpectCanvasPixels(&canvas, p); }
    // Rows of column x between first and last that are exactly colour.
    std::vector<int32_t> RowsOf(int32_t x, int32_t first, int32_t last, RgbColour colour)
    {
        std::vector<int32_t> rows;
        for (int32_t y = first; y <= last; y++)
            if (At(x, y) == colour)
                rows.push_back(y);
        return rows;
    }
};

// n points at successive DatePeriods from January 2000, all of value 1.0.
FundRecord *Flat(uint32_t n)
{
    return SingleFund(PeriodPoints(std::vector<double>(n, 1.0)));
}

// Bands are cut from the bottom line 129 upward: each takes its line at b - 23 - 1, so
// 105, 81, 57, 33; a magnified MACD band takes 2H/5 = 46 rows, its line at b - 47.
TEST_F(FundGraphTest, BandsStackFromTheBottomInTheirOrderForEveryCombination)
{
    const struct {
        const char *name;
        uint8_t on[6];                // RSI, distributions, benchmark, MACD, magnified, ROC
        std::vector<int32_t> lines;   // the black rows of column 190 below the title line
        int32_t plotBottom;           // P + 1
        uint32_t from = 0;            // the first point of the range painted, up to 19
    } cases[] = {
        {"none", {0, 0, 0, 0, 0, 0}, {}, 130},
        {"RSI", {1, 0, 0, 0, 0, 0}, {105}, 106},
        {"distributions", {0, 1, 0, 0, 0, 0}, {105}, 106},
        {"benchmark", {0, 0, 1, 0, 0, 0}, {105}, 106},
        {"RSI, distributions, benchmark, MACD", {1, 1, 1, 1, 0, 0}, {33, 57, 81, 105}, 34},
        {"ROC and benchmark", {0, 0, 1, 0, 0, 1}, {81, 105}, 82},
        {"MACD and ROC: MACD only", {0, 0, 0, 1, 0, 1}, {105}, 106},
        {"distributions, benchmark, MACD", {0, 1, 1, 1, 0, 0}, {57, 81, 105}, 58},
        {"distributions, benchmark, magnified MACD", {0, 1, 1, 1, 1, 0}, {34, 81, 105}, 35},
        {"magnified MACD: a fifth of H off the price plot", {0, 0, 0, 1, 1, 0}, {82}, 83},
        // The distribution band needs a distribution in the visible range.
        {"distribution before the range", {0, 1, 0, 0, 0, 0}, {}, 130, 6},
        {"distribution at the range's first point", {0, 1, 0, 0, 0, 0}, {105}, 106, 5},
    };
    uint8_t *const flags[6] = {&ShowRsi, &ShowDistributions, &ShowBenchmark, &ShowMacd,
                               &MagnifyMacd, &ShowRoc};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Reopen();
        // Twenty flat points with one distribution at point 5.
        FundRecord *f = Flat(20);
        SetDists(f, {{f->points[0][5].dateWord & 0xFFFF, 0.5, 0, 0, 0, 0.5}});
        f->distTotal = 0.5;
        for (int k = 0; k < 6; k++)
            *flags[k] = c.on[k];
        Paint(f, 2, PeriodOfPoint(f, c.from), PeriodOfPoint(f, 19));
        // Column 190 lies right of the plot (x0 + W = 183) and left of the right axes'
        // ticks (194..198): only the frame, the title line and the band lines cross it.
        EXPECT_EQ(RowsOf(190, 12, 128, Black), c.lines);
        EXPECT_EQ(At(190, 11), Black);
        EXPECT_EQ(At(190, 129), Black);
        EXPECT_EQ(std::make_pair(FundPlotTop(f), FundPlotBottom(f)),
                  std::make_pair(14u, (uint32_t)c.plotBottom));
    }
}

// Two points at x0 = 15 and x0 + W = 183 (a range of one DatePeriod, no overlay). The
// last point's dot is the only thing in column 184 (the price line ends at 183), so its
// blue rows tell the row of the last value. No bands: P = 129, span = 129 - 11 - 1 = 117.
TEST_F(FundGraphTest, PriceScalesPutTheLastValueOnItsRow)
{
    struct {
        double first, last;
        uint32_t units;
        uint8_t linear;
        std::vector<int32_t> rows;
    } cases[] = {
        // Log, 3 units: scale 117 / (ln 3 + 1) = 55.75, 1.0 lies 55 rows above 128.
        {0.2, 1.0, 3, 0, {72, 73, 74}},
        // At or below 1/e, and 0: on the bottom row 128 (the dot's row 129 is clipped).
        {1.0, exp(-1.0), 3, 0, {127, 128}},
        {1.0, 0.36, 3, 0, {127, 128}},
        {1.0, 0.0, 3, 0, {127, 128}},
        // Linear, 4 units: 3.0 lies trunc(117 * 3 / 4) = 87 rows above 128.
        {1.0, 3.0, 4, 1, {40, 41, 42}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.last);
        Reopen();
        LinearScale = c.linear;
        FundRecord *f = SingleFund(PeriodPoints({c.first, c.last}));
        PaintWhole(f, c.units);
        EXPECT_EQ(RowsOf(184, 12, 128, Blue), c.rows);
        if (c.first < 0.3) {
            // 0.2, below 1/e, at the first column, and the frame row 129 not overdrawn.
            EXPECT_EQ(RowsOf(14, 12, 128, Blue), (Rows{127, 128}));
            EXPECT_EQ(At(14, 129), Black);
        }
    }
}

// Ten points of 1.0 with the moving average on. PriceUnits 2: scale 117 / (ln 2 + 1) =
// 69.10, so 1.0 is on row 128 - 69 = 59 and the projections' 1.5 on row 128 -
// trunc(1.405 * 69.10) = 128 - 97 = 31.
TEST_F(FundGraphTest, RangeEndingBeforeTheLastPointDrawsNoProjectionsAndUsesTheWholeWidth)
{
    ShowMovingAverage = 1;
    FundRecord *f = Flat(10);
    for (int k = 0; k < 5; k++)
        f->trendProjection[0][k] = 1.5;
    // Range of points 0..5: R = 5 without room for projections, point 5 at x0 + W = 183.
    Paint(f, 2, PeriodOfPoint(f, 0), PeriodOfPoint(f, 5));
    EXPECT_EQ(CountColour(canvas.image.pixels, 200 * 130, Pink), 0u);
    EXPECT_EQ(RowsOf(184, 12, 128, Blue), (Rows{58, 59, 60}));

    // The whole range: R = 9 + 5 = 14, the last point at 15 + 9 * 168 / 14 = 123 with the
    // black average-return dot on it, and the first projection at 15 + 10 * 12 = 135.
    Reopen();
    PaintWhole(f, 2);
    ExpectPixels({{135, 31, Pink}, {183, 31, Pink}, {123, 59, Black}});
}

// Points 0..9 without overlay: R = 9, point i at 15 + i * 168 / 9, so point 3 at 71 and
// point 4 at 89. The distribution band alone: line 105, baseline B = 128, span S = 22,
// D = trunc(1.0) + 1 = 2 units.
TEST_F(FundGraphTest, TwoDistributionsBeforeOnePointAreDrawnAtTwoSuccessivePoints)
{
    ShowDistributions = 1;
    FundRecord *f = Flat(10);
    uint32_t date = f->points[0][3].dateWord & 0xFFFF;
    SetDists(f, {{date, 0.5, 0, 0, 0, 0.5}, {date, 0.5, 0, 0, 0, 0.5}});
    f->distTotal = 1.0;
    PaintWhole(f, 2);
    // First at point 3: 22 * 0.5 / 2 = 5.5, a red box of 5 rows 123..127 on columns 70..72.
    EXPECT_EQ(RowsOf(71, 106, 128, Red), Span(123, 127));
    EXPECT_EQ(RowsOf(70, 106, 128, Red), RowsOf(72, 106, 128, Red));
    // Second at point 4: the running total 1.0 reaches row 128 - 11 = 117; the part's own
    // five rows grow to six to close the gap: red 117..122 over a black column 124..128.
    EXPECT_EQ(RowsOf(89, 106, 128, Red), Span(117, 122));
    EXPECT_EQ(RowsOf(89, 124, 128, Black), Span(124, 128));
    // Nothing at point 5 (x 108).
    EXPECT_TRUE(RowsOf(108, 106, 128, Red).empty());
    // The key once, however many distributions.
    std::vector<DrawnText> div = TextsNamed("DIV=100.0%"), cg = TextsNamed("CG=0.0%");
    ASSERT_EQ(std::make_pair(div.size(), cg.size()), std::make_pair((size_t)1, (size_t)1));
    EXPECT_EQ(std::make_tuple(div[0].y, div[0].colour, cg[0].y), std::make_tuple(106, Red, 118));
}

TEST_F(FundGraphTest, TitleCarriesTheCategoryAndTheIndexFundUnderTheRelativeSeries)
{
    MakeFunds({8, 8});
    FundRecord *f = &FundTable[0];
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    AddSeriesOne(f);
    f->indexName = CopyString("f1", 2);
    Paint(f, 2, PeriodOfPoint(f, 0), PeriodOfPoint(f, 1), 1);
    // "F0" of category 0 has no category part; "vs. " starts at 1 + its width and a blank.
    DrawnText title = FirstNamed("F0"), indexTitle = FirstNamed("F1  (Index)");
    EXPECT_EQ(std::make_pair(title.x, title.colour), std::make_pair(2, PaletteColour(1)));
    int32_t vsX = 1 + CanvasWidth("F0") + CanvasWidth(" ");
    EXPECT_EQ(FirstNamed("vs. ").x, vsX);
    EXPECT_EQ(std::make_pair(indexTitle.x, indexTitle.colour),
              std::make_pair(vsX + CanvasWidth("vs. "), PaletteColour(7)));

    // Series 0 shows no index fund; a category shows in parentheses in its bar colour.
    DrawnTexts.clear();
    SetFundCategory(f, 3);
    Paint(f, 2, PeriodOfPoint(f, 0), PeriodOfPoint(f, 1), 0);
    EXPECT_FALSE(WasDrawn("vs. "));
    EXPECT_EQ(FirstNamed("F0  (Global Equity)").colour, PaletteColour(4));
}

TEST_F(FundGraphTest, MovingAverageLabelNamesKindParameterAndThresholds)
{
    FundRecord *f = SingleFund(PeriodPoints({1.0, 1.0}));
    MaSettings *ms = &f->maSettings[0];
    struct { uint32_t kind, length, percent, buy, sell; const char *label; } cases[] = {
        {MA_UMA, 40, 0, 3, 2, "UMA 40 (+3-2)"},
        {MA_EMA, 7, 0, 1, 4, "EMA .07 (+1-4)"},
        {MA_VIDYA, 12, 45, 2, 5, "VIDYA 12 .45 (+2-5)"},
        {MA_VIDYA, 12, 105, 2, 5, "VIDYA 12 1.05 (+2-5)"},
    };
    ShowMovingAverage = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        DrawnTexts.clear();
        ms->maKind = c.kind;
        SetMaParam(ms, MaLengthParam(c.kind), c.length);
        SetMaParam(ms, VIDYA_PERCENT, c.percent);
        SetMaParam(ms, MaBuyParam(c.kind), c.buy);
        SetMaParam(ms, MaSellParam(c.kind), c.sell);
        PaintWhole(f, 2);
        DrawnText d = FirstNamed(c.label);
        EXPECT_EQ(std::make_tuple(d.x, d.y, d.align),
                  std::make_tuple(198, 0, (uint32_t)TEXT_ALIGN_RIGHT));
    }
    // Kind 0, or the overlay off: no label.
    DrawnTexts.clear();
    ms->maKind = MA_NONE;
    PaintWhole(f, 2);
    for (const DrawnText &d : DrawnTexts)
        EXPECT_FALSE(d.align == TEXT_ALIGN_RIGHT && d.y == 0) << d.text;
}

TEST_F(FundGraphTest, RocBandZeroRowLineAndLabel)
{
    ShowRoc = 1;
    FundRecord *f = Flat(10);
    f->stats[0].rocMax = 4;
    f->stats[0].rocMin = -4;
    for (uint32_t i = 0; i < 10; i++)
        f->rocPoints[0][i].roc = i < 5 ? 2.0 : -2.0;
    MaSettings *ms = &f->maSettings[0];
    SetMaParam(ms, ROC_LENGTH, 10);
    SetMaParam(ms, ROC_BUY, 5);
    SetMaParam(ms, ROC_SELL, 3);
    PaintWhole(f, 2);
    // yZ = trunc(23 * 4 / 8 + 106) = 117; 2.0 at 116 - trunc(11 * 2 / 4) = 111, -2.0 at
    // 118 + trunc(11 * 2 / 4) = 123. Points at 15 + 12 i (R = 14).
    EXPECT_EQ(RowsOf(150, 106, 128, Black), (Rows{117}));
    ExpectPixels({{39, 111, Blue}, {99, 123, Blue}});
    EXPECT_EQ(FirstNamed("ROC Length=10 weeks, Threshold=+5%-3%").y, 106);
}

// The benchmark band alone, 105..129: up = trunc(1.5) + 1 = 2, down = trunc(0.5) + 1 = 1,
// zero row 105 + 1 + 24 * 2 / 3 = 122. Points at 15 + i * 168 / 9.
TEST_F(FundGraphTest, BenchmarkChangeBarsRiseBlueAndFallRedFromTheZeroRow)
{
    ShowBenchmark = 1;
    FundRecord *f = Flat(10);
    f->stats[0].maxChange = 1.5;
    f->stats[0].minChange = -0.5;
    f->points[0][3].change = 1.0;
    f->points[0][4].change = -0.5;
    PaintWhole(f, 2);
    EXPECT_EQ(RowsOf(150, 106, 128, Black), (Rows{122}));
    // +1.0 of 2 units: up to 121 - trunc(16 / 2) = 113, painted 122..114.
    EXPECT_EQ(RowsOf(71, 106, 128, Blue), Span(114, 122));
    // -0.5 of 1 unit: down to 123 + trunc(6 * 0.5) = 126, painted 122..125.
    EXPECT_EQ(RowsOf(89, 106, 128, Red), Span(122, 125));
    // No change, no bar: point 5 (x 108) only crosses the zero line.
    EXPECT_EQ(RowsOf(108, 106, 128, Black), (Rows{122}));
}

// MACD signals at the price point: ten points of 1.0 over a MACD band (line 105): P = 105,
// span 93, 1.0 at 104 - trunc(93 / (ln 2 + 1)) = 50. The icons are 4 x 14 in their slots'
// colours, which the exclusive-or copy turns into their complements on the white plot: a
// buy on rows 50 - 28 .. 50 - 15, a sell on rows 50 + 14 .. 50 + 27.
TEST_F(FundGraphTest, MacdSignalsRememberTheHoldingOfPointsBeforeTheRange)
{
    FillSlots(4);
    const RgbColour buy = White ^ SlotColour(BMP_BUY), sell = White ^ SlotColour(BMP_SELL);
    ShowMacd = 1;
    FundRecord *f = Flat(10);
    for (uint32_t i = 5; i < 8; i++)
        f->points[0][i].dateWord |= NAV_MACD_HOLDING;
    // From point 6: R = 3 + 5 = 8, point 6 at 15, point 8 at 15 + 2 * 168 / 8 = 57. Point
    // 5's holding is remembered, so point 6 is no change; point 8 sells.
    Paint(f, 2, PeriodOfPoint(f, 6), PeriodOfPoint(f, 9));
    EXPECT_TRUE(RowsOf(14, 14, 49, buy).empty());
    EXPECT_EQ(RowsOf(56, 51, 104, sell), Span(64, 77));
    // From point 5 the buy is drawn above it at 15.
    Reopen();
    Paint(f, 2, PeriodOfPoint(f, 5), PeriodOfPoint(f, 9));
    EXPECT_EQ(RowsOf(14, 14, 49, buy), Span(22, 35));
    RestoreSlots();
}

// The evaluation period's equity line starts on the price line: the equity of point
// 120 itself is still the trial period's (0.4 here, row 128 - trunc(0.0837 * 69.10) =
// 123), and no segment runs down to it.
TEST_F(FundGraphTest, EvaluationEquityStartsOnThePriceLine)
{
    ShowMovingAverage = 1;
    FundRecord *f = Flat(130);
    f->recentStart = 120;
    f->maSettings[0].maKind = MA_UMA;
    for (uint32_t i = 0; i < 130; i++)
        f->points[0][i].maEquity = i <= 120 ? 0.4 : 1.0;
    PaintWhole(f, 2);
    // Point 120 at x 165: the trial line stays purple below the price row 59.
    ExpectPixels({{165, 100, Purple}, {165, 122, Green, false}});
    // The trial period's equity before it is drawn on its own row.
    EXPECT_EQ(At(100, 123), Green);
}

TEST_F(FundGraphTest, RefusedClipAndAlignmentAreReportedAndDrawingGoesOn)
{
    FundRecord *f = SingleFund(PeriodPoints({1.0, 1.0}));
    CanvasOps.clip = [](DrawTarget *, int32_t, int32_t, int32_t, int32_t) { return 0; };
    CanvasOps.setTextAlign = [](DrawTarget *, uint32_t) { return 0; };
    PaintWhole(f, 2);
    std::string all = ::testing::PrintToString(MessageTexts());
    for (const char *call : {"CreateRectRgn", "SetTextAlign"})
        EXPECT_NE(all.find(call), std::string::npos) << all;
    // The last date is still written, and the frame and price line drawn.
    EXPECT_TRUE(WasDrawn("01/08/00"));
    ExpectPixels({{0, 0, Black}, {184, 59, Blue}});
}

// A width x 200 graph of n flat points, the whole range, no bands: P = 199, W = width - 32.
// Month letters at P - 3 - 10 = 186 below five years, one per month (each month starts on
// day 1), and the years two rows up at P - 2 * 10 - 1 = 178; from five years on no letters
// and the years at 186. A year gets W * 60 / (n - 1) columns; a label and a blank take
// 3 * 7 = 21. Where a year is narrower, only every 2nd, 5th, 10th... year is labelled.
TEST_F(FundGraphTest, DateAxisLettersLabelRowsAndYearsThinnedWhereTheyWouldTouch)
{
    struct {
        uint32_t width, points, step;
        bool letters;
    } cases[] = {
        {800, 240, 1, true},     // 239 periods: 3 years in view
        {800, 301, 1, false},    // 5 years; 768 * 60 / 300 = 153 columns a year
        {800, 3000, 2, false},   // 15.4 a year, 30.7 for two
        {200, 3000, 10, false},  // 168 * 60 / 2999 = 3.4 a year, 16.8 for five, 33.6 for ten
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.width * 10000 + c.points);
        CloseCanvas(&canvas);
        OpenCanvas(&canvas, c.width, 200);
        FundRecord *f = Flat(c.points);
        PaintFundGraph(f, 0, 0, (int32_t)c.width - 1, 199, 2, PeriodOfPoint(f, 0),
                       PeriodOfPoint(f, c.points - 1), 0, text);
        std::vector<std::string> labels, expected;
        int32_t lastX = -100, letters = 0;
        for (const DrawnText &d : DrawnTexts) {
            if (d.text.size() == 1 && isupper((unsigned char)d.text[0])) {
                letters++;
                EXPECT_EQ(d.y, 186) << d.text;
            }
            if (d.y == (c.letters ? 178 : 186) && d.text.size() == 2 &&
                isdigit((unsigned char)d.text[0])) {
                labels.push_back(d.text);
                EXPECT_GE(d.x - lastX, 21) << d.text;
                lastX = d.x;
            }
        }
        EXPECT_EQ(letters, c.letters ? (int32_t)(c.points / 5) : 0);
        // Year 2000 begins at from (its label drawn), 2001 at period 60.
        for (uint32_t year = 0; year <= (c.points - 1) / 60; year += c.step)
            expected.push_back((year < 10 ? "0" : "") + std::to_string(year));
        EXPECT_EQ(labels, expected);
    }
}

// ---------------------------------------------------------------------------------------
// The overlaid graph.

class OverlayGraphTest : public FundGraphTest {};

TEST_F(OverlayGraphTest, OverlayFactorScalesTheRowsOfAFundAndPlotRowsAreKept)
{
    LinearScale = 1;
    // yT = top = 0, span = 129 - 0 - 1 = 128 over 4 units: a value v lies on row
    // 128 - trunc(32 v). 2.0 halved to 1.0 is on row 96, not on row 64.
    FundRecord *f = SingleFund(PeriodPoints({2.0, 2.0, 2.0}));
    SetFundOverlayColour(f, 12);
    SetFundOverlayFactor(f, 0.5);
    auto paint = [&](uint32_t position, int32_t top, uint32_t units, uint32_t last) {
        PaintOverlayGraph(f, position, 0, top, 199, 129, units, PeriodOfPoint(f, 0),
                          PeriodOfPoint(f, last), 0, text);
    };
    paint(1, 0, 4, 2);
    ExpectPixels({{100, 96, Blue}, {100, 64, White}});
    // Position 0 ignores the factor.
    paint(0, 0, 4, 2);
    EXPECT_EQ(At(100, 64), Blue);
    // The readout and the plot rows of a graph from row 20.
    paint(0, 20, 2, 1);
    EXPECT_EQ(std::vector<uint32_t>({FundReadoutX(f), FundReadoutY(f), FundPlotTop(f),
                                     FundPlotBottom(f)}),
              std::vector<uint32_t>({199 * 2 / 3, 22, 23, 130}));
}

}  // namespace
