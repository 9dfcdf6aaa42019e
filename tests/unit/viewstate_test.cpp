// The view state's defaults and the status line: tag order, the MACD/ROC rule, the
// chart tag, and the text sent to the status bar.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/load.h"
#include "data/viewflags.h"
#include "platform/platform.h"
#include "test_support.h"

TEST(ViewState, DefaultStatusLineIsSentAsCodeFive)
{
    PlatSetProgressSink(RecordProgressCode);
    const std::string line = " [Logarithmic]  [MA]  [Zoom]  [Chart=YTD Return]";
    EXPECT_EQ(BuildStatusLine(), line);
    EXPECT_EQ(ProgressCodes, std::vector<std::string>{"5 " + line});
}

// Each case starts from the defaults without the moving average, zoom and chart, sets its
// flags and reads the line: the tag order, MACD over ROC, Magnify only with MACD, and the
// flags that add no tag.
TEST(ViewState, StatusLineTagsInTheirOrder)
{
    const struct {
        std::vector<uint8_t *> on;
        std::vector<uint32_t *> on32;
        uint32_t chart;
        const char *line;
    } cases[] = {
        {{&ShowRoc}, {}, 0, " [Logarithmic]  [ROC]"},
        {{&ShowRoc, &ShowMacd}, {}, 0, " [Logarithmic]  [MACD]"},
        {{&ShowRoc, &ShowMacd, &MagnifyMacd}, {}, 0, " [Logarithmic]  [Magnify MACD]"},
        {{&ShowRoc, &MagnifyMacd}, {}, 0, " [Logarithmic]  [ROC]"},
        {{&CategorySort, &GroupMode}, {}, 0, " [Logarithmic]"},
        {{&ShowMovingAverage, &ShowMacd, &ShowRoc, &ShowDistributions, &ShowBenchmark, &ShowRsi,
          &ShowBollinger, &OverlaidGraphs},
         {&LinearScale, &ZoomOn, &CombinedGraphs},
         3,
         " [Linear]  [MA]  [MACD]  [Zoom]  [Dists]  [Benchmk]  [RSI]  [Bollinger]"
         "  [Chart=Reward/Risk Ratio]  [Combined]  [Overlaid]"},
    };
    for (const auto &c : cases) {
        ResetViewState();
        ShowMovingAverage = 0;
        ZoomOn = 0;
        for (uint8_t *flag : c.on)
            *flag = 1;
        for (uint32_t *flag : c.on32)
            *flag = 1;
        ChartKind = c.chart;
        EXPECT_STREQ(BuildStatusLine(), c.line);
    }
}

// The status line's chart tag is the chart's name (the tag order test's Reward/Risk Ratio).
TEST(ViewState, ChartTagNamesEachChart)
{
    const char *const names[CHART_KIND_COUNT] = {
        "None",          "YTD Return",     "Volatility",     "Reward/Risk Ratio",
        "Total Return",  "Tax Efficiency", "6 Month Return", "1 Year Return",
        "3 Year Return", "5 Year Return",  "7 Year Return",  "10 Year Return",
        "Signals",       "Current Strength", "Sharpe Ratio", "Max Drawdown",
        "Sortino Ratio", "Beta",           "Alpha",          "Up Capture",
        "Down Capture",  "Tracking Error", "Information Ratio", "Worst 3-Year Return",
        "Walk-Forward Return", "Overfit Probability", "Deflated Sharpe Ratio",
    };
    for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++)
        EXPECT_STREQ(ChartName(kind), names[kind]) << kind;
    EXPECT_STREQ(ChartName(CHART_KIND_COUNT), "");
}

// The defaults of the other settings are what SETTINGS holds when written after a reset.
TEST(ViewState, UnzipProgramIsACountedCopyThatTheDefaultsFree)
{
    uint32_t before = DynamicMemoryUsed;
    char path[] = "C:\\tools\\unzip.exe";
    SetUnzipProgram(path);
    path[0] = 'D';
    EXPECT_STREQ(UnzipProgram, "C:\\tools\\unzip.exe");
    EXPECT_EQ(DynamicMemoryUsed, before + sizeof path);
    SetUnzipProgram("");
    EXPECT_EQ(UnzipProgram, nullptr);
    EXPECT_EQ(DynamicMemoryUsed, before);
    SetUnzipProgram(path);
    ResetViewState();
    EXPECT_EQ(UnzipProgram, nullptr);
    EXPECT_EQ(DynamicMemoryUsed, before);
}
