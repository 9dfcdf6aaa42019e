// The recalculation jobs over a loaded data directory: scopes, modes, the benchmark
// view's series 1, the current-fund lookup, their codes, and the same results on one
// thread as on several.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/jobs.h"
#include "app/loadworker.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/viewflags.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// 104 values from 1 January 1997, on days 1, 8, 15 and 22 of each month: a trend with a
// wave of its own.
std::string Lines(double start, double wave, int seed)
{
    std::string text;
    double v = start;
    for (int i = 0; i < 104; i++) {
        v *= 1 + 0.002 + wave * sin(i * (0.3 + 0.05 * seed));
        char line[64];
        snprintf(line, sizeof line, "%02d/%02d/%02d = %.2f\n", 1 + i / 4 % 12, 1 + 7 * (i % 4),
                 97 + i / 48, v);
        text += line;
    }
    return text;
}

// A directory of five funds and an index fund that two of them follow, loaded.
std::string LoadFunds(uint32_t threads)
{
    std::string dir = MakeDataDir();
    const char *categories[] = {"Growth", "Bond", "Sector", "Growth", "Balanced Bond"};
    for (int k = 0; k < 5; k++)
        WriteFile(dir, "F" + std::to_string(k) + ".NAV",
                  std::string("NAME=Fund ") + (char)('A' + k) + "\nCATEGORY=" + categories[k] +
                      "\n" + Lines(10 + k, 0.02 + 0.01 * k, k));
    WriteFile(dir, "IX.NAV", "NAME=The Index\nCATEGORY=Index\n" + Lines(100, 0.015, 9));
    WriteFile(dir, "Index", "F1=IX\nF3=IX\n");
    ResetViewState();
    LoadAnalysisThreads = threads;
    PlatSetProgressSink(RecordProgressCode);
    LoadThread(nullptr);
    ProgressCodes.clear();
    return dir;
}

// Everything a job may change, of every fund: settings and statistics of both series.
std::string Analysed()
{
    std::string bytes;
    for (uint32_t i = 0; i < FundCount; i++)
        for (int s = 0; s < 2; s++) {
            bytes.append((const char *)&FundTable[i].maSettings[s], sizeof(MaSettings));
            bytes.append((const char *)&FundTable[i].stats[s], sizeof(SeriesStats));
            const NavPoint *p = FundTable[i].points[s];
            if (p)
                bytes.append((const char *)p, FundTable[i].pointCount * sizeof(NavPoint));
        }
    return bytes;
}

// Runs one recalculation job to its end.
void RunJob(uint32_t mode, uint32_t scope, uint32_t kind, int32_t tab)
{
    JobRequest job = {mode, scope, kind, tab};
    RecalculationJob(&job);
}

class RecalculationJobs : public ::testing::Test {
protected:
    void TearDown() override { LoadAnalysisThreads = 0; }
};

TEST_F(RecalculationJobs, AChangeJobSetsTheKindOfEveryFundInTableOrder)
{
    LoadFunds(1);
    RunJob(JOB_CHANGE_KIND, JOB_ALL_FUNDS, MA_EMA, -1);
    std::vector<std::string> expected = {"9", "5 "};
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        EXPECT_EQ(f->maSettings[0].maKind, (uint32_t)MA_EMA) << f->shortName;
        std::string category = FundCategory(f) ? std::string("[") +
                                   CategoryTable[FundCategory(f)].name + "] " : "";
        expected.push_back("5 Normalize and Optimize data 1: " + category + f->name);
    }
    expected.insert(expected.end(), {"5 " + std::string(StatusLine), "8"});
    EXPECT_EQ(ProgressCodes, expected);
    EXPECT_EQ(OptModeReselect, 0);
    EXPECT_EQ(OptModeRecalculate, 0);
    // Every kind's parameters were there from the load, so nothing was searched; the new
    // kind is kept all the same, in the opt file written again at the end, from which the
    // next load restores it for every fund.
    LoadThread(nullptr);
    for (uint32_t i = 0; i < FundCount; i++)
        EXPECT_EQ(FundTable[i].maSettings[0].maKind, (uint32_t)MA_EMA) << FundTable[i].shortName;
    EXPECT_EQ(MessageTexts(), std::vector<std::string>());
}

TEST_F(RecalculationJobs, TheBenchmarkViewChangesOnlySeriesOneOfFundsWithAnIndexFund)
{
    LoadFunds(1);
    ShowBenchmark = 1;
    const FundRecord *follower = FindFund("F1"), *alone = FindFund("F0");
    ASSERT_NE(follower->points[1], follower->points[0]);
    MaSettings ownBefore = follower->maSettings[0];
    uint32_t otherKind = follower->maSettings[1].maKind == MA_WMA ? MA_AMA : MA_WMA;
    RunJob(JOB_CHANGE_KIND, JOB_ALL_FUNDS, otherKind, -1);
    EXPECT_EQ(memcmp(&ownBefore, &follower->maSettings[0], sizeof ownBefore), 0);
    EXPECT_EQ(follower->maSettings[1].maKind, otherKind);
    EXPECT_EQ(alone->maSettings[0].maKind, otherKind);
    // No status text of its own for a fund whose relative series is rebuilt.
    for (const std::string &c : ProgressCodes)
        EXPECT_EQ(c.find("1: [Bond] Fund B"), std::string::npos) << c;
}

// The settings of series 0 of every fund.
std::vector<MaSettings> OwnSettings()
{
    std::vector<MaSettings> all;
    for (uint32_t i = 0; i < FundCount; i++)
        all.push_back(FundTable[i].maSettings[0]);
    return all;
}

TEST_F(RecalculationJobs, DisplayedAndCurrentFundScopes)
{
    LoadFunds(1);
    FundTable[1].flags |= FUND_DISPLAYED;
    FundTable[3].flags |= FUND_DISPLAYED;
    uint32_t kind = FundTable[3].maSettings[0].maKind == MA_UMA ? MA_VIDYA : MA_UMA;
    std::vector<MaSettings> before = OwnSettings();
    // Tab 4 is the page of the second displayed fund: record 3, and no other.
    RunJob(JOB_CHANGE_KIND, JOB_CURRENT_FUND, kind, 4);
    std::vector<MaSettings> after = OwnSettings();
    EXPECT_EQ(after[3].maKind, kind);
    for (uint32_t i : {0u, 1u, 2u, 4u, 5u})
        EXPECT_EQ(memcmp(&before[i], &after[i], sizeof(MaSettings)), 0) << i;
    // The displayed funds: records 1 and 3, two status texts.
    ProgressCodes.clear();
    RunJob(JOB_CHANGE_KIND, JOB_DISPLAYED_FUNDS, kind, -1);
    std::vector<MaSettings> last = OwnSettings();
    EXPECT_EQ(last[1].maKind, kind);
    EXPECT_EQ(last[3].maKind, kind);
    for (uint32_t i : {0u, 2u, 4u, 5u})
        EXPECT_EQ(memcmp(&after[i], &last[i], sizeof(MaSettings)), 0) << i;
    EXPECT_EQ(ProgressCodes.size(), 6u);  // 9, the empty text, two funds, the status line, 8
}

// A reselect after a recalculate keeps the kinds, and a current-fund job without such a
// fund changes nothing at all.
TEST_F(RecalculationJobs, ReselectAfterRecalculateAndACurrentFundJobWithoutAFundChangeNothing)
{
    std::string dir = LoadFunds(1);
    RunJob(JOB_RECALCULATE, JOB_ALL_FUNDS, 0, -1);
    std::string opt = ReadWholeFile(dir + "/opt");
    std::string before = Analysed();
    for (int32_t tab : {-1, 0, 2, 3, 9}) {
        ClearMessages();
        ProgressCodes.clear();
        RunJob(JOB_RECALCULATE, JOB_CURRENT_FUND, 0, tab);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Internal error: Can't find displayed fund."})
            << tab;
        EXPECT_EQ(ProgressCodes, std::vector<std::string>{"8"}) << tab;
    }
    EXPECT_TRUE(before == Analysed());
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), opt);
    RunJob(JOB_RESELECT, JOB_ALL_FUNDS, 0, -1);
    EXPECT_TRUE(before == Analysed());
}

TEST_F(RecalculationJobs, SeveralThreadsGiveWhatOneGives)
{
    std::vector<std::string> results, opts;
    std::vector<std::vector<std::string>> codes;
    for (uint32_t threads : {1u, 3u}) {
        for (int benchmark = 0; benchmark < 2; benchmark++) {
            std::string dir = LoadFunds(threads);
            ShowBenchmark = (uint8_t)benchmark;
            RunJob(JOB_RECALCULATE, JOB_ALL_FUNDS, 0, -1);
            results.push_back(Analysed());
            codes.push_back(ProgressCodes);
            opts.push_back(ReadWholeFile(dir + "/opt"));
        }
    }
    for (int k = 0; k < 2; k++) {
        EXPECT_TRUE(results[k] == results[2 + k]) << "benchmark view " << k;
        EXPECT_EQ(codes[k], codes[2 + k]);
        EXPECT_EQ(opts[k], opts[2 + k]);
    }
}

}  // namespace
