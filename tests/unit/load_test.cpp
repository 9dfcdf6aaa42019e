// The file steps of a load over real directories: passes, removal of unnamed funds,
// date indexes, the progress codes, overflow of dates and of funds, and memory accounting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/navfile.h"
#include "data/ratefile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

TEST(LoadFiles, TwoPassesDropUnnamedFundsAndIndexTheDates)
{
    std::string dir = MakeDataDir();
    WriteFile(dir, "B.NAV", "NAME=Bee\n01/08/99 = 2\n01/01/99 = 1\n"
                            "01/08/99 DIV = .5\n01/15/99 EXCLUDE\n01/01/99 SPLIT 3 FOR 2\n");
    WriteFile(dir, "a.nav", "NAME=Ay\n12/31/98 = 5\n");
    WriteFile(dir, "NONAME.NAV", "06/30/99 = 7\n");
    uint32_t before = DynamicMemoryUsed;
    LoadDataFiles();
    // The progress codes of both passes are the load worker test's.
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Error: " + dir + "/NONAME.NAV(2): missing fund name"}));

    ASSERT_EQ(FundCount, 2u);
    EXPECT_STREQ(FundTable[0].shortName, "a");
    EXPECT_STREQ(FundTable[1].shortName, "B");
    // The unnamed file's date stays in the table: 12/31/98 1/1 1/8 1/15 6/30/99.
    EXPECT_EQ(DateCount, 5u);

    // The points (1/1 and 1/8), distribution, exclusion and split hold indexes into the
    // table now.
    const FundRecord *b = &FundTable[1];
    ASSERT_EQ(b->pointCount, 2u);
    EXPECT_EQ(std::vector<uint32_t>({b->points[0][0].dateWord, b->points[0][1].dateWord,
                                     b->dists[0].date, b->excludeDate, b->splits[0]}),
              std::vector<uint32_t>({1, 2, 2, 3, 1u | (3u << 16) | (2u << 24)}));
    // Periods 12/31/98 (2339) to 6/30/99 (2369): 31 / 15 + 2 quarters.
    EXPECT_EQ(QuarterCount, 4u);

    FreeDataSet();
    EXPECT_EQ(DynamicMemoryUsed, before);
}

TEST(LoadFiles, DatesBeyondTheTableBecomeNotFound)
{
    std::string dir = MakeDataDir();
    std::string text = "NAME=Many\n";
    unsigned added = 0;
    for (unsigned y = 60; y < 160 && added < 16384; y++)
        for (unsigned m = 1; m <= 12 && added < 16384; m++)
            for (unsigned d = 1; d <= 31 && added < 16384; d++, added++)
                text += std::to_string(m) + "/" + std::to_string(d) + "/" +
                        std::to_string(y % 100) + " = 1\n";
    // Every date in the file so far fits; the next two do not. The line of the first of
    // them is 16384 + 2 (the NAME line comes first).
    text += "12/30/59 = 2\n12/31/59 DIV = .1\n12/31/59 SPLIT 2 FOR 1\n";
    WriteFile(dir, "MANY.NAV", text);
    LoadDataFiles();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{
                                  "Error: " + dir + "/MANY.NAV(16386): DATE overflow (64K)"}));
    ASSERT_EQ(FundCount, 1u);
    const FundRecord *f = &FundTable[0];
    ASSERT_EQ(f->pointCount, 16385u);
    // Filled from the end: the file's last point is element 0. Date count, the last
    // point's date, the one before, the distribution's and split's dates, the split.
    EXPECT_EQ(std::vector<uint32_t>({DateCount, f->points[0][0].dateWord & 0xFFFF,
                                     f->points[0][1].dateWord & 0xFFFF, f->dists[0].date,
                                     f->splits[0] & 0xFFFF, SplitNewShares(f->splits[0])}),
              std::vector<uint32_t>({16384, DATE_INDEX_NONE, 16383, DATE_NOT_FOUND,
                                     DATE_INDEX_NONE, 2}));
    // The message is shown once a load: the next one starts without the flag.
    BeginDateTable();
    EXPECT_EQ(DateOverflowShown, 0);
}

TEST(LoadFiles, FilesBeyondTheCountedRecordsAreNotRead)
{
    // One record, as if the other files had arrived after the count. In the second
    // directory the first file past the record cannot be opened but a later one can,
    // and the overflow is still seen.
    for (bool gone : {false, true}) {
        ClearMessages();
        std::string dir = MakeDataDir();
        WriteFile(dir, "A.NAV", "NAME=A\n01/01/99 = 1\n");
        if (gone) {
            ASSERT_EQ(symlink((dir + "/gone").c_str(), (dir + "/B.NAV").c_str()), 0);
        }
        WriteFile(dir, gone ? "C.NAV" : "B.NAV", "NAME=B\n01/01/98 = 1\n");
        BeginDateTable();
        AllocateFundTable(1);
        ReadFundFiles(NAV_FIRST_PASS);
        EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Fund overflow!"})) << gone;
        EXPECT_EQ(FundCount, 1u);
        EXPECT_EQ(DateCount, 1u) << "only A.NAV's date";
        FreeDataSet();
    }
}

// The steps and their progress codes on an empty directory are the load worker test's;
// no funds, dates or reports either, as the report tool's integration test shows.
TEST(LoadFiles, AnEmptyDirectoryAndFilesThatCannotBeOpenedUseNoRecord)
{
    std::string dir = MakeDataDir();
    LoadDataFiles();
    EXPECT_EQ(QuarterTable, nullptr);
    FreeDataSet();
    // A listed name that cannot be opened: a link whose target is gone.
    ASSERT_EQ(symlink((dir + "/gone").c_str(), (dir + "/A.NAV").c_str()), 0);
    WriteFile(dir, "B.NAV", "NAME=B\n01/01/98 = 1\n");
    WriteFile(dir, "C.NAV", "NAME=C\n");
    LoadDataFiles();
    EXPECT_TRUE(Messages.empty());
    ASSERT_EQ(FundCount, 2u);
    EXPECT_STREQ(FundTable[0].shortName, "B");
    EXPECT_STREQ(FundTable[1].shortName, "C");
    EXPECT_EQ(FundTable[0].pointCount, 1u);
}

TEST(LoadFiles, TheSecondPassReadsTheFirstPassFilesIntoTheirRecords)
{
    std::string dir = MakeDataDir();
    WriteFile(dir, "AAA.NAV", "NAME=A\n01/01/99 = 1\n");
    WriteFile(dir, "BBB.NAV", "NAME=B\n01/01/99 = 1\n01/08/99 = 2\n");
    WriteFile(dir, "CCC.NAV", "NAME=C\n01/01/99 = 1\n01/08/99 = 2\n01/15/99 = 3\n");
    BeginDateTable();
    AllocateFundTable(CountNavFiles());
    ReadFundFiles(NAV_FIRST_PASS);
    FinishDateTable();
    AllocateFundArrays();
    // Between the passes one file goes and another arrives.
    ASSERT_EQ(unlink((dir + "/AAA.NAV").c_str()), 0);
    WriteFile(dir, "AA0.NAV", "NAME=New\n01/01/99 = 9\n");
    ReadFundFiles(NAV_SECOND_PASS);
    EXPECT_TRUE(Messages.empty());
    RemoveUnnamedFunds();
    ASSERT_EQ(FundCount, 2u);
    EXPECT_STREQ(FundTable[0].name, "B");
    EXPECT_EQ(FundTable[0].pointCount, 2u);
    EXPECT_EQ(FundTable[0].points[0][0].value, 2.0);
    EXPECT_STREQ(FundTable[1].name, "C");
    EXPECT_EQ(FundTable[1].pointCount, 3u);
}

TEST(DataDirectory, PathsAreBuiltWithinTheirBuffers)
{
    // A final separator is added only where it is missing; the paths joined to it are in
    // every message of the side-file tests.
    for (const char *dir : {"/data", "/data/"}) {
        ASSERT_TRUE(SetDataDir(dir));
        EXPECT_STREQ(DataDir, "/data/") << dir;
    }
    char path[DATA_PATH_SIZE];
    EXPECT_FALSE(SetDataDir(std::string(600, 'd').c_str()));
    ASSERT_TRUE(SetDataDir(std::string(500, 'd').c_str()));
    EXPECT_FALSE(DataPath(std::string(600, 'n').c_str(), path));
}

}  // namespace
