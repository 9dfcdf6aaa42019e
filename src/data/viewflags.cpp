// The view-state globals with their defaults, the chart names and the status line.
#include "data/viewflags.h"

#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "platform/platform.h"

uint32_t ChartKind = CHART_YTD_RETURN;
uint8_t CategorySort = 1;
uint32_t ZoomOn = 1;
uint8_t ShowMovingAverage = 1;
uint8_t ShowMacd;
uint8_t MagnifyMacd;
uint8_t ShowRoc;
uint8_t ShowRsi;
uint8_t ShowBollinger;
uint8_t ShowDistributions;
uint8_t ShowBenchmark;
uint8_t GroupMode;
uint32_t LinearScale;
uint32_t CombinedGraphs;
uint8_t OverlaidGraphs;
uint8_t ShowSearchMap;
char DefaultBenchmark[DEFAULT_BENCHMARK_SIZE];
char *UnzipProgram;
char StatusLine[STATUS_LINE_SIZE];

static const char *const ChartNames[CHART_KIND_COUNT] = {
    "None",           "YTD Return",    "Volatility",    "Reward/Risk Ratio",
    "Total Return",   "Tax Efficiency", "6 Month Return", "1 Year Return",
    "3 Year Return",  "5 Year Return", "7 Year Return", "10 Year Return",
    "Signals",        "Current Strength", "Sharpe Ratio", "Max Drawdown",
    "Sortino Ratio",  "Beta",          "Alpha",         "Up Capture",
    "Down Capture",   "Tracking Error", "Information Ratio", "Worst 3-Year Return",
    "Walk-Forward Return", "Overfit Probability", "Deflated Sharpe Ratio",
};

const char *ChartName(uint32_t kind)
{
    return kind < CHART_KIND_COUNT ? ChartNames[kind] : "";
}

void SetUnzipProgram(const char *path)
{
    FreeBlock(UnzipProgram);
    UnzipProgram = nullptr;
    if (path && path[0])
        UnzipProgram = CopyString(path, strlen(path));
}

static size_t Append(size_t n, const char *text)
{
    return n + FormatText(StatusLine + n, sizeof StatusLine - n, "%s", text);
}

const char *BuildStatusLine(void)
{
    // An empty Funds page would otherwise not tell a new user where the files belong.
    size_t n = NoNavFiles ? FormatText(StatusLine, sizeof StatusLine,
                                       "No fund files (*.NAV) in %s", DataDir)
                          : 0;
    n += FormatText(StatusLine + n, sizeof StatusLine - n, " [%s]",
                    LinearScale ? "Linear" : "Logarithmic");
    if (ShowMovingAverage)
        n = Append(n, "  [MA]");
    // MACD and ROC share the band below the graph; MACD wins when a settings file has
    // both on.
    if (ShowMacd)
        n = Append(n, MagnifyMacd ? "  [Magnify MACD]" : "  [MACD]");
    else if (ShowRoc)
        n = Append(n, "  [ROC]");
    if (ZoomOn)
        n = Append(n, "  [Zoom]");
    if (ShowDistributions)
        n = Append(n, "  [Dists]");
    if (ShowBenchmark)
        n = Append(n, "  [Benchmk]");
    if (ShowRsi)
        n = Append(n, "  [RSI]");
    if (ShowBollinger)
        n = Append(n, "  [Bollinger]");
    if (ChartKind != CHART_NONE)
        n += FormatText(StatusLine + n, sizeof StatusLine - n, "  [Chart=%s]",
                        ChartName(ChartKind));
    if (CombinedGraphs)
        n = Append(n, "  [Combined]");
    if (OverlaidGraphs)
        n = Append(n, "  [Overlaid]");
    if (ShowSearchMap)
        n = Append(n, "  [Search Map]");
    PlatSendProgress(PROGRESS_STATUS_TEXT, StatusLine);
    return StatusLine;
}

void ResetViewState(void)
{
    ChartKind = CHART_YTD_RETURN;
    CategorySort = 1;
    ZoomOn = 1;
    ShowMovingAverage = 1;
    ShowMacd = 0;
    MagnifyMacd = 0;
    ShowRoc = 0;
    ShowRsi = 0;
    ShowBollinger = 0;
    ShowDistributions = 0;
    ShowBenchmark = 0;
    GroupMode = 0;
    LinearScale = 0;
    CombinedGraphs = 0;
    OverlaidGraphs = 0;
    ShowSearchMap = 0;
    DefaultBenchmark[0] = 0;
    SetUnzipProgram(nullptr);
}
