// The load worker end to end: every progress code in its order, the series 1 of funds
// with and without an index fund, the chart axis extents, and the opt cache written.
#include <gtest/gtest.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "analysis/relative.h"
#include "analysis/stats.h"
#include "app/loadworker.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/viewflags.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// Fund file lines of 1999, on days 1, 8, 15 and 22 of each month, rising by step.
std::string WeeklyLines(double start, double step, int weeks)
{
    std::string text;
    for (int i = 0; i < weeks; i++) {
        char line[64];
        snprintf(line, sizeof line, "%02d/%02d/99 = %.2f\n", 1 + i / 4, 1 + 7 * (i % 4),
                 start + step * i);
        text += line;
    }
    return text;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Writes the files (name, bytes) into a fresh data directory and loads it, the progress
// recorded.
void Load(const Files &files)
{
    std::string dir = MakeDataDir();
    for (const auto &f : files)
        WriteFile(dir, f.first, f.second);
    PlatSetProgressSink(RecordProgressCode);
    LoadThread(nullptr);
}

TEST(LoadWorker, ProgressCodesInTheirOrder)
{
    Load({{"FUND.NAV", "NAME=Fund One\nCATEGORY=Growth\n" + WeeklyLines(10, 0.5, 12)},
          {"IDX.NAV", "NAME=The Index\nCATEGORY=Index\n" + WeeklyLines(100, 1, 12)},
          {"Index", "FUND=IDX\n"}});
    std::vector<std::string> expected = {
        "9", "1", "5 First read pass", "5 First read pass: FUND.NAV", "2",
        "5 First read pass: IDX.NAV", "2", "3", "5 ", "5 Second read pass",
        "5 Second read pass: FUND.NAV", "2", "5 Second read pass: IDX.NAV", "2", "3",
        "5 Normalize and Optimize data",
        // Table order after the first ranking: Growth (5) before Index (7).
        "5 Normalize and Optimize data 1: [Growth] Fund One", "2",
        "5 Normalize and Optimize data 1: [Index] The Index", "2",
        "3", "5 Normalize and Optimize data 2: [Growth] Fund One", "2", "2", "4",
        "5 " + std::string(StatusLine), "6", "8"};
    EXPECT_EQ(ProgressCodes, expected);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(StatusLine[0], ' ');
}

TEST(LoadWorker, BadFilesGiveTheSameMessagesAndCodesOnOneThreadAsOnSeveral)
{
    std::string dir = MakeDataDir();
    const char *const bad[] = {"01/05/99 DIV = .1, DIV = .2\n", "01/12/99 XYZ\n", "URL\n",
                               "01/19/99 EXCLUDE\n01/26/99 EXCLUDE\n", "02/02/99 SPLIT 0 FOR 1\n"};
    for (int i = 0; i < 12; i++)
        WriteFile(dir, "F" + std::to_string(10 + i) + ".NAV",
                  (i == 7 ? "" : "NAME=F\n") + WeeklyLines(10, 0.1 * i, 12) + bad[i % 5]);
    // 1950-1999 day by day, more dates than the DateTable holds: the overflow comes in
    // the middle of the second file, between two of its bad lines.
    std::string days[2];
    for (int year = 1950; year < 2000; year++)
        for (int month = 1; month <= 12; month++)
            for (int day = 1; day <= 28; day++) {
                char line[32];
                snprintf(line, sizeof line, "%02d/%02d/%02d = 10\n", month, day, year % 100);
                days[year >= 1975] += line;
            }
    WriteFile(dir, "F30.NAV", "NAME=D\n" + days[0]);
    WriteFile(dir, "F31.NAV", "NAME=E\nXYZ\n" + days[1] + "XYZ\n");
    PlatSetProgressSink(RecordProgressCode);
    std::vector<std::string> texts[2], codes[2];
    for (int run = 0; run < 2; run++) {
        LoadAnalysisThreads = run == 0 ? 1 : 4;
        remove((dir + "/opt").c_str());
        ClearMessages();
        ProgressCodes.clear();
        LoadThread(nullptr);
        texts[run] = MessageTexts();
        codes[run] = ProgressCodes;
    }
    LoadAnalysisThreads = 0;
    EXPECT_GE(texts[0].size(), 12u);
    EXPECT_EQ(std::count_if(texts[0].begin(), texts[0].end(), [](const std::string &t) {
                  return t.find("F31.NAV(") != std::string::npos &&
                         t.find("DATE overflow") != std::string::npos;
              }), 1);
    EXPECT_EQ(texts[1], texts[0]);
    EXPECT_EQ(codes[1], codes[0]);
}

TEST(LoadWorker, AnEmptyDirectoryStillEndsWithReadyAndBusyOff)
{
    Load({});
    EXPECT_EQ(ProgressCodes, (std::vector<std::string>{
                                 "9", "1", "5 First read pass", "3", "5 ", "5 Second read pass",
                                 "3", "5 Normalize and Optimize data", "3", "4",
                                 "5 " + std::string(StatusLine), "6", "8"}));
    EXPECT_TRUE(Messages.empty());
}

TEST(LoadWorker, AxisExtentsAreWholeNumbersAroundTheExtremes)
{
    ResetChartScaleExtremes();
    ChartScaleExtremes.maximum[0][STAT_TOTAL] = 12.2;
    ChartScaleExtremes.minimum[0][STAT_TOTAL] = -3.5;
    ChartScaleExtremes.maximum[0][STAT_VOLATILITY] = 7.0;
    ChartScaleExtremes.minimum[0][STAT_SHARPE] = -0.25;
    ChartScaleExtremes.taxEfficiencyMaximum = 88.1;
    FinishChartScales();
    const auto &e = ChartScaleExtremes;
    // Total: 4 below zero and 13 above; the others as they come.
    EXPECT_EQ(std::vector<uint32_t>(
                  {e.negativeExtent[0][STAT_TOTAL], e.totalExtent[0][STAT_TOTAL],
                   e.totalExtent[0][STAT_VOLATILITY], e.negativeExtent[0][STAT_SHARPE],
                   e.totalExtent[0][STAT_SHARPE], e.taxEfficiencyExtent, e.totalExtent[1][STAT_YTD]}),
              std::vector<uint32_t>({4, 13 + 4, 7, 1, 1, 89, 0}));
}

// Funds whose series 1 is their series 0 scale the benchmark charts with it: a fund
// without an index fund (a steady rise, the one positive total return), and an index fund
// that the Index file gives an index fund of its own.
TEST(LoadWorker, FundsWithoutARelativeSeriesScaleTheBenchmarkChartsWithSeriesZero)
{
    const struct { Files files; const char *fund; } cases[] = {
        {{{"UP.NAV", "NAME=Up\n" + WeeklyLines(10, 1, 20)}}, "UP"},
        {{{"A.NAV", "NAME=A\nCATEGORY=Index\n" + WeeklyLines(10, 0.1, 20)},
          {"B.NAV", "NAME=B\nCATEGORY=Index\n" + WeeklyLines(10, 1, 20)}, {"Index", "B=A\n"}},
         "B"},
    };
    for (const auto &c : cases) {
        Load(c.files);
        const FundRecord *f = FindFund(c.fund);
        EXPECT_GT(f->stats[0].totalReturn, 0) << c.fund;
        EXPECT_EQ(f->points[1], f->points[0]) << c.fund;
        EXPECT_EQ(ChartScaleExtremes.maximum[1][STAT_TOTAL], f->stats[0].totalReturn) << c.fund;
        EXPECT_EQ(ChartScaleExtremes.maximum[0][STAT_TOTAL], f->stats[0].totalReturn) << c.fund;
    }
}

TEST(LoadWorker, ARelativeSeriesRebuiltWithoutItsIndexFundKeepsNothingOld)
{
    Load({{"F.NAV", "NAME=F\n" + WeeklyLines(10, 0.5, 40)},
          {"I.NAV", "NAME=I\nCATEGORY=Index\n" + WeeklyLines(100, 1, 40)}, {"Index", "F=I\n"}});
    FundRecord *f = FindFund("F");
    ASSERT_NE(f->points[1], f->points[0]);
    ASSERT_NE(f->stats[1].totalReturn, 0.0);
    // The index fund is no longer an index: the rebuilt series is flat and empty.
    SetFundCategory(FindFund("I"), 5);
    BuildRelativeSeries(f);
    for (uint32_t i = 0; i < f->pointCount; i++) {
        EXPECT_EQ(f->points[1][i].value, 0.0);
        EXPECT_EQ(f->macdPoints[1][i].macd, 0.0);
        EXPECT_EQ(f->rocPoints[1][i].roc, 0.0);
        EXPECT_EQ(f->bandPoints[1][i].middle, 0.0);
    }
    EXPECT_EQ(f->trendProjection[1][0], 0.0);
    EXPECT_EQ(f->stats[1].totalReturn, 0.0);
    for (uint32_t k = 0; f->yearReturns[1] && k < f->yearCount; k++)
        EXPECT_EQ(f->yearReturns[1][k].valid, 0u);
}

// A stop asked for by the third item of forty, half of them in a second phase that waits
// for the first: the calling thread must end (not return) once no item is in work, and
// on one thread right after the third item.
std::atomic<int> Started, InWork;
const uint32_t StopItems = 40;

void SlowItem(FundRecord *)
{
    InWork++;
    if (Started++ == 2)
        PlatRequestStop();
    usleep(2000);
    InWork--;
}

void *AnalyseStoppedList(void *)
{
    std::vector<AnalysisItem> items(StopItems);
    for (uint32_t i = 0; i < StopItems; i++)
        items[i] = AnalysisItem{i, SlowItem, i < StopItems / 2 ? 0u : 1u};
    AnalyseFundList(items.data(), StopItems, 0);
    return (void *)1;  // not reached after a stop
}

// A thread waiting a second on a listening socket nobody connects to, and one
// waiting on a program that sleeps a second, stopped a tenth of a second in: each
// must end at the stop, long before its wait would be over.
void *WaitOnTheNetwork(void *)
{
    PlatSocket s = PlatSocketOpen();
    if (s == PLAT_NO_SOCKET || !PlatSocketBindAny(s) || !PlatSocketListen(s, 1))
        _exit(12);
    PlatSocketWait(s, PLAT_NO_SOCKET, 1000);
    return (void *)1;
}

void *WaitOnAProgram(void *)
{
    PlatProcess p = PlatStartProgram("sleep 1");
    uint32_t code;
    if (p == PLAT_NO_PROCESS)
        _exit(12);
    PlatWaitProgram(p, &code);
    return (void *)1;
}

void RunStopped(uint32_t threads, void *(*job)(void *))
{
    AllocateFundTable(StopItems);
    FundCount = StopItems;
    LoadAnalysisThreads = threads;
    pthread_t thread;
    void *result = nullptr;
    if (pthread_create(&thread, nullptr, job, nullptr) != 0)
        _exit(10);
    if (job != AnalyseStoppedList) {
        usleep(100000);
        PlatRequestStop();
    }
    if (pthread_join(thread, &result) != 0)
        _exit(10);
    int started = Started.load();
    bool stopped = result == nullptr && InWork.load() == 0 &&
                   (job != AnalyseStoppedList ||
                    (threads == 1 ? started == 3 : started >= 3 && started < (int)StopItems));
    _exit(stopped ? 0 : 11);
}

TEST(LoadWorker, AStopEndsTheJobThreadAtItsNextStopPoint)
{
    // The stop cannot be taken back, so each run is a process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        uint32_t threads;
        void *(*job)(void *);
    } runs[] = {{1, AnalyseStoppedList}, {4, AnalyseStoppedList}, {1, WaitOnTheNetwork},
                {1, WaitOnAProgram}};
    for (const auto &r : runs)
        EXPECT_EXIT(RunStopped(r.threads, r.job), testing::ExitedWithCode(0), "")
            << &r - runs;
}

}  // namespace
