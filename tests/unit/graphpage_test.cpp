// Preparing a graph page: the default benchmark rule, benchmark data, ranges and scales,
// and the single, stacked and overlaid pages drawn on the raster.
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "graph_canvas.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"
#include "graphics/graphpage.h"
#include "graphics/overlaygraph.h"
#include "test_support.h"

namespace {

const RgbColour Gray = 0xC0C0C0;

// The lists of funds handed to the benchmark refresh, each name followed by ";".
std::vector<std::string> RefreshLists;
int RecordRefresh(const char *list)
{
    std::string names;
    for (const char *p = list; *p; p += strlen(p) + 1)
        names += std::string(p) + ";";
    RefreshLists.push_back(names);
    return 1;
}

class GraphPageTest : public ::testing::Test {
protected:
    GraphCanvas canvas;
    std::string dir;
    void SetUp() override
    {
        PlainView();
        ZoomSelectionMax = ZoomSelectionFrom = ZoomSelectionTo = 0;
        dir = MakeDataDir();
        OpenCanvas(&canvas, 204, 134);
        RefreshLists.clear();
    }
    void TearDown() override
    {
        CloseCanvas(&canvas);
        StartBenchmarkRefresh = nullptr;
        FreeBenchmarkList();
        ZoomSelectionMax = ZoomSelectionFrom = ZoomSelectionTo = 0;
    }
    int Prepare(uint32_t tab = 3)
    {
        return PrepareGraphPage(&canvas.target, (int32_t)canvas.image.width,
                                (int32_t)canvas.image.height, tab);
    }
};

TEST_F(GraphPageTest, DefaultBenchmarkRuleTakesTheOneDisplayedIndexFundAndClearsForTwo)
{
    MakeFunds({0, 0, 0});
    SetFundCategory(&FundTable[0], 3);
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    SetFundCategory(&FundTable[2], CATEGORY_INDEX);
    // Step by step: the fund displayed besides those before, the default set first (null:
    // as the step before left it), what the rule returns and the default it leaves.
    const struct { uint32_t display; const char *set; int changed; const char *after; } steps[] = {
        {0, "X", 0, "X"},   // no index fund displayed: unchanged
        {1, nullptr, 1, "F1"}, {1, nullptr, 0, "F1"},
        {1, "f1", 0, "f1"},  // the same fund in other letters
        {2, nullptr, 1, ""}, {2, nullptr, 0, ""},
    };
    for (const auto &s : steps) {
        Display({s.display});
        if (s.set)
            strcpy(DefaultBenchmark, s.set);
        EXPECT_EQ(ApplyDefaultBenchmarkRule(), s.changed) << "step " << &s - steps;
        EXPECT_STREQ(DefaultBenchmark, s.after) << "step " << &s - steps;
    }
}

TEST_F(GraphPageTest, SingleFundPageShowsTheTabsFundWithItsBandsAndATabWithoutOneIsAnError)
{
    MakeFunds({0, 0, 0});
    Display({0, 2});
    // Tab 4 is the second displayed fund, F2.
    EXPECT_EQ(Prepare(4), 1);
    EXPECT_TRUE(WasDrawn("F2"));
    EXPECT_FALSE(WasDrawn("F0"));
    // The panel: its risk column would reach the right axis of a graph this narrow.
    EXPECT_TRUE(WasDrawn("Total=0.0%"));
    EXPECT_FALSE(WasDrawn("Volatility=0.0"));
    // The graph is 0..199 x 0..129: its frame, gray inside where nothing is drawn, and the
    // four columns and rows beyond it untouched.
    ExpectCanvasPixels(&canvas, {{0, 0, Black}, {199, 129, Black}, {190, 120, Gray},
                                 {200, 50, White}, {50, 130, White}});
    EXPECT_TRUE(Messages.empty());

    // With F2 no longer displayed tab 4 has no fund: an internal error.
    FundTable[2].flags &= ~FUND_DISPLAYED;
    EXPECT_EQ(Prepare(4), 1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].text.find("can't find selected fund"), std::string::npos);

    // A fund without an index fund still gets the benchmark band: tab 3's F0 is drawn from
    // series 0 with the band's line at 129 - 24 = 105.
    ShowBenchmark = 1;
    EXPECT_EQ(Prepare(3), 1);
    EXPECT_FALSE(WasDrawn("vs. "));
    EXPECT_EQ(FundPlotBottom(&FundTable[0]), 106u);
}

TEST_F(GraphPageTest, BenchmarkDataIsCollectedAndTheRefreshSkipsTheDrawing)
{
    // F0 has no index fund and takes the default; F1 names the index fund F2 but has no
    // relative series; F3 names F1, which is no index fund, so a refresh could never give
    // it a relative series and it is left alone; F2 is the index fund itself.
    MakeFunds({0, 0, 0, 0});
    SetFundCategory(&FundTable[2], CATEGORY_INDEX);
    FundTable[1].indexName = CopyString("F2", 2);
    FundTable[3].indexName = CopyString("F1", 2);
    Display({0, 1, 3});
    strcpy(DefaultBenchmark, "F2");
    ShowBenchmark = 1;
    CombinedGraphs = 1;
    StartBenchmarkRefresh = RecordRefresh;

    EXPECT_EQ(Prepare(3), 0);
    EXPECT_STREQ(FundTable[0].indexName, "F2");
    EXPECT_EQ(RefreshLists, (std::vector<std::string>{"F0;F1;"}));
    // The Index file now lists F0's index fund.
    std::string index = ReadWholeFile(dir + "/Index");
    EXPECT_NE(index.find("F0=F2"), std::string::npos);
    // Only the gray page: the graphs wait for the refresh.
    EXPECT_EQ(PixelAt(&canvas, 0, 0), Gray);
    EXPECT_TRUE(DrawnTexts.empty());
}

TEST_F(GraphPageTest, WithoutARefreshWorkerTheRelativeSeriesIsBuiltAndThePageDrawn)
{
    MakeFunds({0, 0});
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    for (uint32_t i = 0; i < 10; i++) {
        FundTable[0].points[0][i].value = 1.0 + 0.02 * i;
        FundTable[1].points[0][i].value = 1.0 + 0.01 * i;
    }
    NewQuarterTable(16);
    FundTable[0].indexName = CopyString("F1", 2);
    Display({0});
    ShowBenchmark = 1;
    EXPECT_EQ(Prepare(3), 1);
    EXPECT_TRUE(HasRelativeSeries(&FundTable[0]));
    // Drawn from the relative series: the title names the index fund.
    EXPECT_TRUE(WasDrawn("F1  (Index)"));
}

int WorkerBusy;

TEST_F(GraphPageTest, BenchmarkStepsWaitForTheWorkerThenTheChangedDefaultIsSaved)
{
    MakeFunds({0, 0});
    SetFundCategory(&FundTable[1], CATEGORY_INDEX);
    Display({0, 1});
    ShowBenchmark = 1;
    CombinedGraphs = 1;
    StartBenchmarkRefresh = RecordRefresh;
    WorkerRunning = [] { return WorkerBusy; };

    // While a worker runs the page is drawn from the data as it stands: no default
    // benchmark, no assignment, no file, no refresh; the page is to be prepared again.
    WorkerBusy = 1;
    EXPECT_EQ(Prepare(3), 1);
    EXPECT_TRUE(WasDrawn("F0"));
    EXPECT_STREQ(DefaultBenchmark, "");
    EXPECT_EQ(FundTable[0].indexName, nullptr);
    EXPECT_TRUE(RefreshLists.empty());
    EXPECT_NE(access((dir + "/SETTINGS").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/Index").c_str(), F_OK), 0);
    EXPECT_EQ(GraphPageDeferred, 1);

    // Afterwards the rule and the refresh run, and the new default is saved even though
    // the refresh postpones the drawing.
    WorkerBusy = 0;
    EXPECT_EQ(Prepare(3), 0);
    WorkerRunning = nullptr;
    EXPECT_EQ(GraphPageDeferred, 0);
    EXPECT_STREQ(DefaultBenchmark, "F1");
    ASSERT_EQ(RefreshLists.size(), 1u);
    // The fifteen view-state bytes, a blank and the name.
    EXPECT_EQ(ReadWholeFile(dir + "/SETTINGS").substr(15), " F1");
}

TEST_F(GraphPageTest, VisibleRangeStartsAtTheRecentPointUnderZoomAndYieldsToASelection)
{
    FundRecord *f = SingleFund(PeriodPoints(std::vector<double>(150, 1.0)));
    const int32_t base = DatePeriodOf(0);
    auto expectRange = [&](int32_t from, int32_t to) {
        int32_t gotFrom, gotTo;
        FundVisibleRange(f, &gotFrom, &gotTo);
        EXPECT_EQ(std::make_pair(gotFrom, gotTo), std::make_pair(base + from, base + to));
    };
    f->recentStart = 120;
    f->recentStartShort = 0;
    expectRange(0, 149);
    ZoomOn = 1;
    expectRange(120, 149);
    f->recentStart = 0;   // no long trial period: the short one's start
    f->recentStartShort = 30;
    expectRange(30, 149);
    ZoomSelectionFrom = base + 5;
    ZoomSelectionTo = base + 9;
    expectRange(5, 9);
}

TEST_F(GraphPageTest, PriceUnitsRoundTheMaximumUpAndTheMaximumFollowsOverlayZoomAndSeries)
{
    // The units round the maximum up, or follow a zoom selection's maximum.
    const struct { double selectionMax, maximum; uint32_t units; } cases[] = {
        {0, 2.3, 3}, {0, 2.0, 2}, {0, 0.0, 0}, {0, -1.0, 0}, {0.4, 9.0, 1}, {5.5, 9.0, 6}};
    for (const auto &c : cases) {
        ZoomSelectionMax = c.selectionMax;
        EXPECT_EQ(PriceUnitsOf(c.maximum), c.units) << c.selectionMax << " " << c.maximum;
    }
    FundRecord *f = SingleFund(PeriodPoints({1.0, 1.0}));
    // The maxima of the value, the three equities and the band: 1..5, the recent ones 11..15.
    SeriesStats *st = &f->stats[0];
    double *maxima[] = {&st->maxValue,          &st->maxMaEquity,         &st->maxMacdEquity,
                        &st->maxRocEquity,      &st->maxBand,             &st->maxValueRecent,
                        &st->maxMaEquityRecent, &st->maxMacdEquityRecent, &st->maxRocEquityRecent,
                        &st->maxBandRecent};
    for (int k = 0; k < 10; k++)
        *maxima[k] = k < 5 ? k + 1 : k + 6;
    EXPECT_EQ(FundValueMaximum(f), 1);
    // Each overlay turned on in turn takes over from those before it.
    const struct { uint8_t *flag; double maximum; } overlays[] = {
        {&ShowBollinger, 5}, {&ShowRoc, 4}, {&ShowMacd, 3}, {&ShowMovingAverage, 2}};
    for (const auto &o : overlays) {
        *o.flag = 1;
        EXPECT_EQ(FundValueMaximum(f), o.maximum);
    }
    ZoomOn = 1;
    EXPECT_EQ(FundValueMaximum(f), 12);
    // The relative series' maxima only with ShowBenchmark, an index fund and a series 1
    // of its own.
    AddSeriesOne(f);
    f->stats[1].maxMaEquityRecent = 22;
    ShowBenchmark = 1;
    EXPECT_EQ(FundValueMaximum(f), 12);
    f->indexName = CopyString("IDX", 3);
    EXPECT_EQ(FundValueMaximum(f), 22);
    ShowBenchmark = 0;
    EXPECT_EQ(FundValueMaximum(f), 12);
}

TEST_F(GraphPageTest, BandHeightsTakeAFifthOfTheHeightLessTheTitlePerBand)
{
    FundRecord *f = SingleFund(PeriodPoints({1.0, 1.0}));
    // (120 - 10) / 5 = 22 rows a band.
    EXPECT_EQ(FundBandHeights(f, 120), 0);
    ShowRsi = 1;
    ShowBenchmark = 1;
    EXPECT_EQ(FundBandHeights(f, 120), 44);
    ShowDistributions = 1;   // no distributions: no band
    EXPECT_EQ(FundBandHeights(f, 120), 44);
    SetDists(f, {{0, 0.1, 0, 0, 0, 0.1}});
    EXPECT_EQ(FundBandHeights(f, 120), 66);
    ShowRsi = 0;
    ShowMacd = 1;
    MagnifyMacd = 1;
    EXPECT_EQ(FundBandHeights(f, 120), 88);
    f->pointCount = 0;
    EXPECT_EQ(FundBandHeights(f, 120), 0);
    f->pointCount = 2;
}

TEST_F(GraphPageTest, StackedCombinedGraphsShareTheHeightInCellsFourPixelsApart)
{
    CloseCanvas(&canvas);
    OpenCanvas(&canvas, 204, 268);
    MakeFunds({0, 4, 0});
    Display({0, 1});
    FundTable[0].stats[0].maxValue = 1.7;
    FundTable[1].stats[0].maxValue = 2.2;
    CombinedGraphs = 1;
    EXPECT_EQ(Prepare(3), 1);
    // Cells of (268 - 4 - 4) / 2 = 130 rows: 0..129 and 134..263.
    EXPECT_EQ(std::vector<uint32_t>({FundPlotTop(&FundTable[0]), FundPlotBottom(&FundTable[0]),
                                     FundPlotTop(&FundTable[1]), FundPlotBottom(&FundTable[1])}),
              std::vector<uint32_t>({14, 130, 134 + 11 + 3, 264}));
    ExpectCanvasPixels(&canvas, {{0, 134, Black}, {100, 131, Gray}, {0, 131, Gray}});
    // The shared range from the earliest first point to the latest last one, the shared
    // maximum 2.2 rounded up.
    EXPECT_EQ(PaintedFrom, DatePeriodOf(0));   // the date table has one entry a period
    EXPECT_EQ(PaintedTo, DatePeriodOf(9));
    EXPECT_EQ(PaintedPriceUnits, 3u);
    // Each cell has its own statistics panel.
    EXPECT_EQ(TextsNamed("Total=0.0%").size(), 2u);
    EXPECT_FALSE(WasDrawn("F2"));
}

TEST_F(GraphPageTest, OverlaidGraphsScaleEachFundToTheEarliestFund)
{
    // F0 starts at period 3 with 2.0; F1, the earliest, is 4.0 there: factor 2.0.
    MakeFunds({3, 0});
    for (uint32_t i = 0; i < 7; i++)
        FundTable[0].points[0][i].value = 2.0;
    for (uint32_t i = 3; i < 10; i++)
        FundTable[1].points[0][i].value = 4.0;
    FundTable[0].stats[0].maxValue = 3.0;
    FundTable[1].stats[0].maxValue = 4.0;
    Display({0, 1});
    CombinedGraphs = 1;
    OverlaidGraphs = 1;
    EXPECT_EQ(Prepare(3), 1);
    EXPECT_DOUBLE_EQ(FundOverlayFactor(&FundTable[0]), 2.0);
    EXPECT_DOUBLE_EQ(FundOverlayFactor(&FundTable[1]), 1.0);
    // The shared maximum 4.0 is raised to F0's 3.0 times 2.
    EXPECT_EQ(PaintedPriceUnits, 6u);
    // The reference fund is position 0: first key line, first colour of the order (5); F0
    // the second line in the second colour (2).
    DrawnText f1 = FirstNamed("F1"), f0 = FirstNamed("F0");
    EXPECT_EQ(std::make_pair(f1.y, f1.colour), std::make_pair(0, PaletteColour(5)));
    EXPECT_EQ(std::make_pair(f0.y, f0.colour), std::make_pair(10, PaletteColour(2)));
    // No statistics panel over the overlaid graph: not even its first column, which the
    // single graph of this size shows.
    EXPECT_FALSE(WasDrawn("Total=0.0%"));
}

TEST_F(GraphPageTest, OverlayColoursAreKeptUnlessTakenThenSavedOnesThenTheOrder)
{
    MakeFunds({3, 0, 0});
    Display({0, 1, 2});
    CombinedGraphs = 1;
    OverlaidGraphs = 1;
    // F1 is the reference and keeps 9; F0 also holds 9, loses it and takes its saved 12;
    // F2's saved 9 is taken, so it gets the first free colour of the order, 5.
    SetFundOverlayColour(&FundTable[0], 9);
    FundTable[0].savedOverlayColour = 12;
    SetFundOverlayColour(&FundTable[1], 9);
    FundTable[2].savedOverlayColour = 9;
    EXPECT_EQ(Prepare(3), 1);
    EXPECT_EQ(FundOverlayColour(&FundTable[1]), 9u);
    EXPECT_EQ(FundOverlayColour(&FundTable[0]), 12u);
    EXPECT_EQ(FundOverlayColour(&FundTable[2]), 5u);
}

}  // namespace
