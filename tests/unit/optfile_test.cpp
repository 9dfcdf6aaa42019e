// The opt cache: the saved decimal form, round trips, the reader's warnings and digit
// limits, the writer's order, and a failed write that must keep the old file.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

class OptFile : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeDataDir(); }
    std::string dir;
};

// Reads a file as the load does: counting first, then storing. Returns the storing
// pass's messages.
Texts ReadBothModes(const std::string &path)
{
    ReadOptFile(path.c_str(), OPT_COUNT_RECORDS);
    ClearMessages();
    ReadOptFile(path.c_str(), OPT_STORE_RECORDS);
    return MessageTexts();
}

std::string Repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

// A series block with every field zero but the kind: kind, five decimals, 24 numbers.
std::string ZeroBlock(int kind)
{
    return std::to_string(kind) + " " + Repeat("0 0 0 ", 5) + Repeat("0 ", 24);
}

// A whole line with zero counts and the given kinds, in the file's own form.
std::string ZeroLine(const std::string &name, int kind0, int kind1)
{
    return name + " " + Repeat("0 ", 5) + ZeroBlock(kind0) + ZeroBlock(kind1) + "\r\n";
}

std::string Warn(const std::string &path, unsigned line, const std::string &text)
{
    return "Warning: " + path + "(" + std::to_string(line) + "): " + text;
}

// Each record as "name fileSize pointCount distCount splitCount recentStart kind0/kind1
// saved0/saved1".
Texts Records()
{
    Texts all;
    for (const OptRecord *r = OptTable; r < OptTable + OptCount; r++) {
        char line[600];
        snprintf(line, sizeof line, "%s %u %u %u %u %u %u/%u %u/%u", r->name, r->fileSize,
                 r->pointCount, r->distCount, r->splitCount, r->recentStart, r->series[0].maKind,
                 r->series[1].maKind, r->saved[0], r->saved[1]);
        all.push_back(line);
    }
    return all;
}

}  // namespace

TEST(OptDecimal, SavedFormCutsToTenthsAndNeverGivesNegativeZero)
{
    struct Case {
        double x, saved;
    };
    const Case cases[] = {
        {0.0, 0.0},      {3.99, 3.9},       {-12.37, -12.3},    {7.0, 7.0},
        {100.05, 100.0}, {0.96, 0.9},       {-0.05, 0.0},       {-0.1, -0.1},
        {999999.94, 999999.9}, {2.5e6, 999999.9}, {-3.0e9, -999999.9}, {NAN, 0.0}, {-0.0, 0.0},
    };
    for (const Case &c : cases) {
        double got = SavedDecimal(c.x);
        EXPECT_DOUBLE_EQ(got, c.saved) << c.x;
        EXPECT_EQ(signbit(got) != 0, c.saved < 0) << c.x;
    }
}

TEST_F(OptFile, RoundTripWritesTheFileFormAndReadsBackWhatSavedDecimalSays)
{
    NamedFunds({"ABCX"});
    FundRecord *f = &FundTable[0];
    f->fileSize = 12345, f->pointCount = 800, f->distCount = 12, f->splitCount = 3;
    f->recentStart = 456;
    MaSettings *s = &f->maSettings[0];
    s->maKind = MA_EMA;
    const double averages[5] = {0.0, 3.99, -12.37, 100.05, 7.0};
    for (int k = 0; k < 5; k++)
        s->maAverage[k] = averages[k];
    // Parameter i gets (i mod 9) + 1, which fits every field's width.
    for (int p = 0; p < MA_PARAM_COUNT; p++)
        SetMaParam(s, (MaParam)p, (uint32_t)(p % 9) + 1);
    // Series 1 left at kind 0.
    OptimizedFlag = 1;

    WriteOptFile();
    EXPECT_TRUE(Messages.empty());

    const std::string expected =
        "ABCX 12345 800 12 3 456 "
        "3 0 0 0 3 9 0 12 3 1 100 0 0 7 0 0 "
        "1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 " +
        ZeroBlock(0) + "\r\n";
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), expected);

    EXPECT_TRUE(ReadBothModes(dir + "/opt").empty());
    // The counts come back as written, or the analysis integration test's second load
    // would search again; the name keeps its letters; series-1 kind 0 leaves its flag clear.
    EXPECT_EQ(Records(), Texts{"ABCX 12345 800 12 3 456 3/0 1/0"});
    OptRecord *r = FindOptRecord("abcx");
    ASSERT_EQ(r, OptTable);
    // Bit for bit what the search keeps, so both loads show the same figures.
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(r->series[0].maAverage[k], SavedDecimal(averages[k])) << k;
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(r->series[0].words[p], s->words[p]) << p;
    EXPECT_EQ(FindOptRecord("NOSUCH"), nullptr);
}

TEST_F(OptFile, BadLinesAreWarnedWithTheirLineNumbersAndTheGoodOnesStored)
{
    // Line 2 starts with a number, line 3 has a word after its last field, line 5 is a
    // slash, and line 6 ends with the file instead of a line end.
    std::string withExtra = ZeroLine("AAA", 2, 5);
    withExtra.insert(withExtra.size() - 2, "EXTRA ");
    std::string last = ZeroLine("HHH", 1, 1);
    std::string path = WriteFile(dir, "opt", "\r\n7 junk here\r\n" + withExtra +
                                                 ZeroLine("BBB", 1, 0) + "/\n" +
                                                 last.substr(0, last.size() - 2));
    EXPECT_EQ(ReadBothModes(path),
              Texts({Warn(path, 2, "unexpected token: 1 DIGIT NUMBER"),
                     Warn(path, 3, "unexpected token: ASCII STRING \"EXTRA\""),
                     Warn(path, 5, "unexpected token: SLASH"),
                     Warn(path, 6, "unexpected token: END OF FILE")}));
    EXPECT_EQ(Records(), (Texts{"AAA 0 0 0 0 0 2/5 1/1", "BBB 0 0 0 0 0 1/0 1/0",
                                "HHH 0 0 0 0 0 1/1 1/1"}));
}

TEST_F(OptFile, DigitLimitsAreSoftUpToSixDigitsAndSevenZeroTheRestOfTheLine)
{
    // Line 1: pointCount with six digits (limit 5), umaLength 123 (limit 2, six bits
    // wide), vidyaPercent 123 (limit 3, seven bits wide). Line 2: the file size has seven
    // digits, so that field and every later one of the line read as 0, each later field
    // warning about the line end it meets: 4 counts and, per series, 1 kind + 5 x 3
    // decimal parts + 24 parameters. Line 4: seven digits in the very last field keep the
    // values before it.
    std::string block0 = "0 " + Repeat("0 0 0 ", 5) + "123 " + Repeat("0 ", 12) + "123 " +
                         Repeat("0 ", 10);
    std::string block1 = "1 " + Repeat("0 0 0 ", 5) + Repeat("0 ", 23) + "1234567 ";
    std::string text = "DDD 7 123456 0 0 0 " + block0 + ZeroBlock(0) + "\r\n" +
                       "EEE 1234567 5 6 7 8 " + ZeroBlock(4) + ZeroBlock(4) + "\r\n" +
                       ZeroLine("FFF", 2, 2) + "GGG 99 5 6 7 8 " + ZeroBlock(3) + block1 +
                       "\r\n";
    std::string path = WriteFile(dir, "opt", text);
    Texts expected(3 + 4 + 2 * (1 + 15 + 24) + 1,
                   Warn(path, 2, "unexpected token: CARRIAGE RETURN"));
    expected[0] = expected[1] = Warn(path, 1, "too many digits");
    expected[2] = Warn(path, 2, "unexpected token: 7 DIGIT NUMBER");
    expected.back() = Warn(path, 4, "unexpected token: 7 DIGIT NUMBER");
    EXPECT_EQ(ReadBothModes(path), expected);
    // The line after the cut one is read normally, at line 3.
    ASSERT_EQ(Records(), (Texts{"DDD 7 123456 0 0 0 0/0 0/0", "EEE 0 0 0 0 0 0/0 0/0",
                                "FFF 0 0 0 0 0 2/2 1/1", "GGG 99 5 6 7 8 3/1 1/1"}));
    EXPECT_EQ(GetMaParam(&OptTable[0].series[0], UMA_LENGTH), 123u & 63u);
    EXPECT_EQ(GetMaParam(&OptTable[0].series[0], VIDYA_PERCENT), 123u);
    EXPECT_EQ(GetMaParam(&OptTable[3].series[1], ROC_SELL), 0u);
}

TEST_F(OptFile, LinesAddedBetweenTheModesStayOutOfTheTable)
{
    std::string path = WriteFile(dir, "opt", ZeroLine("III", 1, 1));
    ReadOptFile(path.c_str(), OPT_COUNT_RECORDS);
    WriteFile(dir, "opt", ZeroLine("III", 1, 1) + ZeroLine("JJJ", 1, 1));
    ReadOptFile(path.c_str(), OPT_STORE_RECORDS);
    EXPECT_EQ(Records(), Texts{"III 0 0 0 0 0 1/1 1/1"});
}

TEST_F(OptFile, UnusedRecordsAreWrittenAheadOfTheLoadedFunds)
{
    // OLD's fund was not loaded this run; USED's record was taken by its fund (the
    // search clears the flags); NONE never had saved values.
    std::string old = "OLD 500 40 2 1 10 " + ZeroBlock(2) + ZeroBlock(0) + "\r\n";
    std::string path = WriteFile(dir, "opt", ZeroLine("NONE", 0, 0) + old +
                                                 ZeroLine("USED", 1, 1));
    ReadBothModes(path);
    ASSERT_EQ(OptCount, 3u);
    OptRecord *used = FindOptRecord("USED");
    used->saved[0] = used->saved[1] = 0;

    NamedFunds({"NEW", "", "USED"});  // a record without a shortName is not written
    FundTable[0].fileSize = 77;
    FundTable[0].maSettings[1].maKind = MA_VIDYA;
    OptimizedFlag = 1;
    WriteOptFile();

    std::string expectedNew = "NEW 77 0 0 0 0 " + ZeroBlock(0) + ZeroBlock(5) + "\r\n";
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), old + expectedNew + ZeroLine("USED", 0, 0));
}

// A temporary file that cannot be created is the side files' test.
TEST_F(OptFile, WrittenOnlyWithTheFlagWhichAFailedReplaceKeeps)
{
    NamedFunds({"ABCX"});
    WriteFile(dir, "opt", "OLD CONTENT");
    WriteOptFile();  // without the flag nothing is written
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), "OLD CONTENT");
    OptimizedFlag = 1;
    WriteOptFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), ZeroLine("ABCX", 0, 0));
    EXPECT_EQ(OptimizedFlag, 0);

    // A non-empty directory named opt cannot be replaced by a file; the temporary file
    // is deleted, and the flag stays for a later try.
    ASSERT_EQ(unlink((dir + "/opt").c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/opt").c_str(), 0755), 0);
    WriteFile(dir + "/opt", "inside", "x");
    OptimizedFlag = 1;
    WriteOptFile();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind("Error: Can't replace " + dir + "/opt, GetLastError=", 0), 0u)
        << Messages[0].text;
    EXPECT_NE(access((dir + "/opt.tmp").c_str(), F_OK), 0);
    EXPECT_EQ(ReadWholeFile(dir + "/opt/inside"), "x");
    EXPECT_EQ(OptimizedFlag, 1);
}
