// The opt cache: the saved decimal form, round trips, the reader's warnings and digit
// limits, the writer's order, and a failed write that must keep the old file.
#include <gtest/gtest.h>
#include <math.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

class OptFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = MakeTempDir();
        ASSERT_EQ(SetDataDir(dir.c_str()), 1);
        OptimizedFlag = 0;
    }
    void TearDown() override
    {
        FreeOptTable();
        OptimizedFlag = 0;
    }
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

void AllocateFunds(uint32_t count)
{
    FundTable = (FundRecord *)AllocZero(count, sizeof(FundRecord));
    FundCount = count;
}

void SetShortName(FundRecord *f, const char *name)
{
    f->shortName = CopyString(name, strlen(name));
}

std::string Warn(const std::string &path, unsigned line, const std::string &text)
{
    return "Warning: " + path + "(" + std::to_string(line) + "): " + text;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The one message of a failed write, whose error code follows the given start.
void ExpectOneMessageStarting(const std::string &start)
{
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind(start, 0), 0u) << Messages[0].text;
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
        {999999.94, 999999.9}, {2.5e6, 999999.9}, {-3.0e9, -999999.9},
    };
    for (const Case &c : cases) {
        double got = SavedDecimal(c.x);
        EXPECT_DOUBLE_EQ(got, c.saved) << c.x;
        EXPECT_EQ(signbit(got) != 0, c.saved < 0) << c.x;
    }
    EXPECT_EQ(SavedDecimal(NAN), 0.0);
    EXPECT_FALSE(signbit(SavedDecimal(-0.0)));
}

TEST_F(OptFile, RoundTripWritesTheFileFormAndReadsBackWhatSavedDecimalSays)
{
    AllocateFunds(1);
    FundRecord *f = &FundTable[0];
    SetShortName(f, "ABCX");
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
    EXPECT_EQ(OptimizedFlag, 0);
    EXPECT_TRUE(Messages.empty());

    const std::string expected =
        "ABCX 12345 800 12 3 456 "
        "3 0 0 0 3 9 0 12 3 1 100 0 0 7 0 0 "
        "1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 " +
        ZeroBlock(0) + "\r\n";
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), expected);
    EXPECT_FALSE(Exists(dir + "/opt.tmp")) << "temporary file left behind";

    EXPECT_TRUE(ReadBothModes(dir + "/opt").empty());
    ASSERT_EQ(OptCount, 1u);
    OptRecord *r = FindOptRecord("abcx");
    ASSERT_NE(r, nullptr);
    // The counts come back as written, or the analysis integration test's second load
    // would search again; the name keeps its letters.
    EXPECT_STREQ(r->name, "ABCX");
    EXPECT_EQ(r->series[0].maKind, (uint32_t)MA_EMA);
    // Bit for bit what the search keeps, so both loads show the same figures.
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(r->series[0].maAverage[k], SavedDecimal(averages[k])) << k;
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(r->series[0].words[p], s->words[p]) << p;
    EXPECT_EQ(r->series[1].maKind, 0u);
    EXPECT_EQ(r->saved[0], 1u);
    EXPECT_EQ(r->saved[1], 0u) << "series-1 kind 0 must leave its flag clear";
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
    ASSERT_EQ(OptCount, 3u);
    EXPECT_STREQ(OptTable[0].name, "AAA");
    EXPECT_EQ(OptTable[0].series[0].maKind, 2u);
    EXPECT_EQ(OptTable[0].series[1].maKind, 5u);
    EXPECT_EQ(OptTable[0].saved[0], 1u);
    EXPECT_EQ(OptTable[0].saved[1], 1u);
    EXPECT_STREQ(OptTable[1].name, "BBB");
    EXPECT_EQ(OptTable[1].saved[1], 0u);
    EXPECT_STREQ(OptTable[2].name, "HHH");
}

TEST_F(OptFile, DigitLimitsAreSoftUpToSixDigits)
{
    // pointCount with six digits (limit 5), umaLength 123 (limit 2, six bits wide),
    // vidyaPercent 123 (limit 3, seven bits wide).
    std::string block0 = "0 " + Repeat("0 0 0 ", 5) + "123 " + Repeat("0 ", 12) + "123 " +
                         Repeat("0 ", 10);
    std::string text = "DDD 7 123456 0 0 0 " + block0 + ZeroBlock(0) + "\r\n";
    std::string path = WriteFile(dir, "opt", text);
    EXPECT_EQ(ReadBothModes(path), Texts(2, Warn(path, 1, "too many digits")));
    ASSERT_EQ(OptCount, 1u);
    EXPECT_EQ(OptTable[0].fileSize, 7u);
    EXPECT_EQ(OptTable[0].pointCount, 123456u);
    EXPECT_EQ(GetMaParam(&OptTable[0].series[0], UMA_LENGTH), 123u & 63u);
    EXPECT_EQ(GetMaParam(&OptTable[0].series[0], VIDYA_PERCENT), 123u);
}

TEST_F(OptFile, SevenDigitsAreUnexpectedAndZeroTheRestOfTheLine)
{
    // Line 1: the file size has seven digits, so that field and every later one of the
    // line read as 0, each later field warning about the line end it meets: 4 counts
    // and, per series, 1 kind + 5 x 3 decimal parts + 24 parameters. Line 3: seven
    // digits in the very last field keep the values before it.
    std::string block1 = "1 " + Repeat("0 0 0 ", 5) + Repeat("0 ", 23) + "1234567 ";
    std::string text = "EEE 1234567 5 6 7 8 " + ZeroBlock(4) + ZeroBlock(4) + "\r\n" +
                       ZeroLine("FFF", 2, 2) + "GGG 99 5 6 7 8 " + ZeroBlock(3) + block1 +
                       "\r\n";
    std::string path = WriteFile(dir, "opt", text);
    Texts expected(2 + 4 + 2 * (1 + 15 + 24), Warn(path, 1, "unexpected token: CARRIAGE RETURN"));
    expected.front() = Warn(path, 1, "unexpected token: 7 DIGIT NUMBER");
    expected.back() = Warn(path, 3, "unexpected token: 7 DIGIT NUMBER");
    EXPECT_EQ(ReadBothModes(path), expected);
    ASSERT_EQ(OptCount, 3u);
    EXPECT_EQ(OptTable[0].fileSize, 0u);
    EXPECT_EQ(OptTable[0].pointCount, 0u);
    EXPECT_EQ(OptTable[0].series[0].maKind, 0u);
    EXPECT_EQ(OptTable[0].saved[0], 0u);
    // The next line is read normally, at line 2.
    EXPECT_STREQ(OptTable[1].name, "FFF");
    EXPECT_EQ(OptTable[1].series[1].maKind, 2u);
    EXPECT_EQ(OptTable[2].fileSize, 99u);
    EXPECT_EQ(OptTable[2].recentStart, 8u);
    EXPECT_EQ(OptTable[2].series[1].maKind, 1u);
    EXPECT_EQ(GetMaParam(&OptTable[2].series[1], ROC_SELL), 0u);
}

TEST_F(OptFile, LinesAddedBetweenTheModesStayOutOfTheTable)
{
    std::string path = WriteFile(dir, "opt", ZeroLine("III", 1, 1));
    ReadOptFile(path.c_str(), OPT_COUNT_RECORDS);
    WriteFile(dir, "opt", ZeroLine("III", 1, 1) + ZeroLine("JJJ", 1, 1));
    ReadOptFile(path.c_str(), OPT_STORE_RECORDS);
    ASSERT_EQ(OptCount, 1u);
    EXPECT_STREQ(OptTable[0].name, "III");
    EXPECT_EQ(FindOptRecord("JJJ"), nullptr);
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
    ASSERT_NE(used, nullptr);
    used->saved[0] = used->saved[1] = 0;

    AllocateFunds(3);
    SetShortName(&FundTable[0], "NEW");
    FundTable[0].fileSize = 77;
    FundTable[0].maSettings[1].maKind = MA_VIDYA;
    // A record without a shortName is not written.
    SetShortName(&FundTable[2], "USED");
    OptimizedFlag = 1;
    WriteOptFile();

    std::string expectedNew = "NEW 77 0 0 0 0 " + ZeroBlock(0) + ZeroBlock(5) + "\r\n";
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), old + expectedNew + ZeroLine("USED", 0, 0));
}

TEST_F(OptFile, FailedWriteKeepsTheOldFile)
{
    AllocateFunds(1);
    SetShortName(&FundTable[0], "ABCX");
    WriteFile(dir, "opt", "OLD CONTENT");
    WriteOptFile();  // without the flag nothing is written
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), "OLD CONTENT");

    // The temporary name is taken by a directory: the file cannot be created.
    ASSERT_EQ(mkdir((dir + "/opt.tmp").c_str(), 0755), 0);
    OptimizedFlag = 1;
    WriteOptFile();
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), "OLD CONTENT");
    ExpectOneMessageStarting("Error: Can't open " + dir + "/opt.tmp, GetLastError=");
    EXPECT_EQ(OptimizedFlag, 1) << "a failed write must be retried later";
    ASSERT_EQ(rmdir((dir + "/opt.tmp").c_str()), 0);

    // The data directory does not exist.
    ClearMessages();
    ASSERT_EQ(SetDataDir((dir + "/missing").c_str()), 1);
    WriteOptFile();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_EQ(OptimizedFlag, 1);
    ASSERT_EQ(SetDataDir(dir.c_str()), 1);

    // Once it can be written, the file is replaced and the flag cleared.
    ClearMessages();
    WriteOptFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(dir + "/opt"), ZeroLine("ABCX", 0, 0));
    EXPECT_EQ(OptimizedFlag, 0);

    // A non-empty directory named opt cannot be replaced by a file; the temporary file
    // is deleted.
    ASSERT_EQ(unlink((dir + "/opt").c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/opt").c_str(), 0755), 0);
    WriteFile(dir + "/opt", "inside", "x");
    OptimizedFlag = 1;
    WriteOptFile();
    ExpectOneMessageStarting("Error: Can't replace " + dir + "/opt, GetLastError=");
    EXPECT_FALSE(Exists(dir + "/opt.tmp"));
    EXPECT_EQ(ReadWholeFile(dir + "/opt/inside"), "x");
    EXPECT_EQ(OptimizedFlag, 1);
}
