// The fund file parser: value rules, distributions, splits, dates, keywords, messages,
// both passes and the countdown bound of the second pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/navfile.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

struct Parsed {
    FundRecord fund;
    std::string path;
    Texts first, second;  // messages of each pass
};

void AllocateArrays(FundRecord *f)
{
    f->points[0] = (NavPoint *)AllocZero(f->pointCount, sizeof(NavPoint));
    f->dists = (DistRecord *)AllocZero(f->distCount, sizeof(DistRecord));
    f->splits = (SplitRecord *)AllocZero(f->splitCount, sizeof(SplitRecord));
}

// Both passes over one file, as the load runs them, with a fresh date table.
Parsed Parse(const std::string &text, const char *name = "FUND.NAV")
{
    Parsed p;
    memset(&p.fund, 0, sizeof p.fund);
    p.path = WriteFile(MakeTempDir(), name, text);
    BeginDateTable();
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), &p.fund, NAV_FIRST_PASS), 1);
    p.first = MessageTexts();
    FinishDateTable();
    AllocateArrays(&p.fund);
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), &p.fund, NAV_SECOND_PASS), 1);
    p.second = MessageTexts();
    return p;
}

std::string Err(const Parsed &p, unsigned line, const std::string &text)
{
    return "Error: " + p.path + "(" + std::to_string(line) + "): " + text;
}

PackedDate D(unsigned month, unsigned day, unsigned year)
{
    return MakePackedDate(YearCodeOfTwoDigitYear(year), month, day);
}

TEST(NavValues, RoundingCarriesAndDecimals)
{
    // integer + first two fraction digits / 100 + third and fourth / 10000
    // A fifth digit of 5 rounds up and may carry into the integer; later digits are
    // ignored; one digit counts as tenths, three as tenths to thousandths.
    const struct {
        const char *written;
        bool noValue;
        double value;
    } cases[] = {
        {"10.12345", false, 10 + 12 / 100.0 + 35 / 10000.0},
        {"10.12344", false, 10 + 12 / 100.0 + 34 / 10000.0},
        {"9.99995", false, 10.0}, {"999999999.99995", false, 1000000000.0},
        {"10.12349999", false, 10 + 12 / 100.0 + 35 / 10000.0},
        {"10.123449", false, 10 + 12 / 100.0 + 34 / 10000.0},
        {".5", false, 0.5}, {"12", false, 12.0}, {"12.3", false, 12 + 30 / 100.0},
        {"1.234", false, 1 + 23 / 100.0 + 40 / 10000.0}, {"0.00005", false, 1 / 10000.0},
        {"25.5 ; text after the number", false, 25 + 50 / 100.0}, {"7 8", false, 7.0},
        {"", true, 0}, {"n/a", true, 0},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(std::string("NAME=F\n01/15/99 = ") + c.written + "\n");
        ASSERT_EQ(p.fund.pointCount, 1u) << c.written;
        const NavPoint &point = p.fund.points[0][0];
        EXPECT_EQ((point.dateWord & NAV_NO_VALUE) != 0, c.noValue) << c.written;
        EXPECT_EQ(point.value, c.value) << c.written;
        EXPECT_EQ(point.dateWord & 0xFFFF, D(1, 15, 99)) << c.written;
        EXPECT_TRUE(p.first.empty() && p.second.empty()) << c.written;
        FreeFundArrays(&p.fund);
    }
}

TEST(NavDistributions, AmountRules)
{
    Parsed p = Parse("NAME=F\n"
                     "01/01/99 DIV = 1.0\n"
                     "01/02/99 DIV = .25\n"
                     "01/03/99 CG = .123456\n"
                     "01/04/99 SCG=.5 MCG=.25 LCG=1234.125\n"
                     "01/05/99 div = 0.0199999 ; trailing comment\n"
                     "01/06/99 DIV = .10, CG = .20\n");
    ASSERT_EQ(p.fund.distCount, 6u);
    // The second pass fills from the last element towards the first.
    const DistRecord *d = p.fund.dists;
    EXPECT_EQ(d[5].date, D(1, 1, 99));
    EXPECT_EQ(d[5].div, 1.0);
    EXPECT_EQ(d[4].div, 25 / 100.0);
    EXPECT_EQ(d[3].lcg, 12 / 100.0 + 34 / 10000.0);  // dropped, not rounded
    EXPECT_EQ(d[3].div, 0.0);
    EXPECT_EQ(d[2].scg, 50 / 100.0);
    EXPECT_EQ(d[2].mcg, 25 / 100.0);
    EXPECT_EQ(d[2].lcg, 1234 + 12 / 100.0 + 50 / 10000.0);
    EXPECT_EQ(d[1].div, 0.0);  // seven fraction digits are more than an amount may have
    EXPECT_EQ(d[0].div, 10 / 100.0);
    EXPECT_EQ(d[0].lcg, 20 / 100.0);
    EXPECT_EQ(p.first, (Texts{Err(p, 6, "unexpected token: 7 DIGIT NUMBER")}));
    EXPECT_EQ(p.second, p.first);
    FreeFundArrays(&p.fund);

    // A duplicate kind is only seen when storing; an unknown one leaves an all-zero
    // distribution whose date is in the table.
    p = Parse("NAME=F\n01/15/99 DIV = .10 DIV = .20\n02/15/99 FOO = 1.0\n03/15/99 DIV = .5 BAR\n");
    EXPECT_EQ(p.first, (Texts{Err(p, 3, "unexpected token: ASCII STRING \"FOO\""),
                              Err(p, 4, "unexpected token: ASCII STRING \"BAR\"")}));
    EXPECT_EQ(p.second, (Texts{Err(p, 2, "duplicate dist"), Err(p, 3, "missing dist"),
                               Err(p, 3, "unexpected token: ASCII STRING \"FOO\""),
                               Err(p, 4, "unexpected token: ASCII STRING \"BAR\"")}));
    ASSERT_EQ(p.fund.distCount, 3u);
    EXPECT_EQ(p.fund.dists[2].div, 10 / 100.0);
    EXPECT_EQ(FindDate(D(2, 15, 99)), 1u);
    EXPECT_EQ(p.fund.dists[1].date, D(2, 15, 99));
    EXPECT_EQ(p.fund.dists[1].div + p.fund.dists[1].lcg, 0.0);
    EXPECT_EQ(p.fund.dists[0].div, 0.5);
    FreeFundArrays(&p.fund);
}

// Lines both passes reject alike, and what the fund keeps of the file.
TEST(NavMessages, BadLinesAreReportedAlikeInBothPasses)
{
    const struct {
        std::string file;
        std::vector<std::pair<unsigned, const char *>> messages;
        uint32_t points, dists, splits, dates;
    } cases[] = {
        // The amount needs its point and at most four integer digits; in "DIV 1.0" the
        // number stands where the "=" should be.
        {"NAME=F\n01/15/99 DIV = 1\n01/16/99 DIV = 12345.0\n01/17/99 DIV 1.0\n",
         {{2, "unexpected token: LINE FEED"}, {3, "unexpected token: 5 DIGIT NUMBER"},
          {4, "unexpected token: 1 DIGIT NUMBER"}},
         0, 3, 0, 3},
        // Shares are 1..255; every split line's date enters the table, valid or not.
        {"NAME=F\n03/01/99 SPLIT 2 FOR 1\n03/02/99 split 255 for 100 ; comment\n"
         "03/03/99 SPLIT 256 FOR 1\n03/04/99 SPLIT 2 BY 1\n03/05/99 SPLIT 1000 FOR 1\n"
         "03/06/99 SPLIT 0 FOR 1\n03/07/99 SPLIT 3\n",
         {{4, "unexpected token: 3 DIGIT NUMBER"}, {5, "unexpected token: ASCII STRING \"BY\""},
          {6, "unexpected token: 4 DIGIT NUMBER"}, {7, "unexpected token: 1 DIGIT NUMBER"},
          {8, "unexpected token: LINE FEED"}},
         0, 0, 2, 7},
        // February 31st is a date; "01/16/99 7", a date and a bare number, is ignored
        // silently and its date not kept.
        {"NAME=F\n13/01/99 = 10.00\n02/31/99 = 11.00\n1/2/3 = 12\n01/00/99 = 13\n"
         "01/15 = 14\n01/16/99 7\n123/1/99 = 1\n",
         {{2, "incorrect date format"}, {5, "incorrect date format"},
          {6, "unexpected token: EQUALS"}, {8, "unexpected token: 3 DIGIT NUMBER"}},
         2, 0, 0, 2},
        // The rest of an unexpected line is read as tokens: an overlong word is reported.
        {"NAME=F\nFOO " + std::string(600, 'y') + "\n01/02/99 = 1\n",
         {{2, "unexpected token: ASCII STRING \"FOO\""}, {2, "token too long"}},
         1, 0, 0, 1},
        {"NAME=F\nNAME =\nURL X\nCATEGORY\n",
         {{2, "unexpected token: LINE FEED"}, {3, "unexpected token: ASCII STRING \"X\""},
          {4, "unexpected token: LINE FEED"}},
         0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(c.file);
        Texts expected;
        for (const auto &m : c.messages)
            expected.push_back(Err(p, m.first, m.second));
        EXPECT_EQ(p.first, expected) << c.file;
        EXPECT_EQ(p.second, expected) << c.file;
        EXPECT_EQ(p.fund.pointCount, c.points) << c.file;
        EXPECT_EQ(p.fund.distCount, c.dists) << c.file;
        EXPECT_EQ(p.fund.splitCount, c.splits) << c.file;
        EXPECT_EQ(DateCount, c.dates) << c.file;
        for (uint32_t i = 0; i < p.fund.distCount; i++)
            EXPECT_EQ(p.fund.dists[i].div, 0.0) << c.file;
        EXPECT_EQ(p.fund.url, nullptr) << c.file;
        if (c.splits) {  // filled backwards: the last good line first
            EXPECT_EQ(p.fund.splits[0], D(3, 2, 99) | (255u << 16) | (100u << 24));
        }
        if (c.points == 2) {
            EXPECT_EQ(p.fund.points[0][1].dateWord, D(2, 31, 99));
            EXPECT_EQ(p.fund.points[0][0].dateWord, D(1, 2, 3));
            EXPECT_EQ(FindDate(D(1, 16, 99)), DATE_NOT_FOUND);
        }
        FreeFundArrays(&p.fund);
    }
}

TEST(NavMessages, LineNumbersCountEveryFormOfLineEndAndCommentsEndTheLine)
{
    Parsed p = Parse("; comment line with = and / and 1/2/3\r\n"
                     "NAME=F\r"
                     "\n"
                     "= 5\r\n"
                     "FOO bar\n"
                     ". 5\n"
                     "\n"
                     "01/15/99 EXCLUDE\n"
                     "01/16/99 EXCLUDE trailing words\n"
                     "01/17/99 ; no price yet = 5 DIV = .1\n"
                     "01/18/99 = 10.5");  // the last line ends with the file and still counts
    Texts expected = {Err(p, 3, "unexpected token: EQUALS"),
                      Err(p, 4, "unexpected token: ASCII STRING \"FOO\""),
                      Err(p, 5, "unexpected token: DOT")};
    EXPECT_EQ(p.first, expected);
    expected.push_back(Err(p, 8, "duplicate exclude"));
    EXPECT_EQ(p.second, expected);
    EXPECT_EQ(p.fund.excludeDate, D(1, 15, 99));
    EXPECT_EQ(DateCount, 3u);
    EXPECT_EQ(FindDate(D(1, 17, 99)), DATE_NOT_FOUND);
    ASSERT_EQ(p.fund.pointCount, 1u);
    EXPECT_EQ(p.fund.points[0][0].value, 10.5);
    FreeFundArrays(&p.fund);

    // A file without a name is reported after its last line (the load tests cover one
    // with lines), so an empty one at line 1, by the second pass only.
    p = Parse("");
    EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(p.second, (Texts{Err(p, 1, "missing fund name")}));
    EXPECT_EQ(p.fund.fileSize, 0u);
    EXPECT_EQ(p.fund.pointCount, 0u);
    FreeFundArrays(&p.fund);
}

uint32_t TenPixelsPerByte(const char *, uint32_t length)
{
    return length * 10;
}

TEST(NavKeywords, NameUrlAndCategory)
{
    const struct {
        const char *line;
        uint32_t category;
    } cases[] = {
        {"CATEGORY=bond", 11},
        {"Category = Growth & Income", 6},
        {"CATEGORY=Bond ", 15},   // a trailing blank makes the text differ
        {"CATEGORY=Treasuries", 15},
        {"CATEGORY=OTHER", 14},
        {"category=Max Growth", 1},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(std::string("NAME=F\n") + c.line + "\n");
        EXPECT_EQ(FundCategory(&p.fund), c.category) << c.line;
        EXPECT_TRUE(p.second.empty()) << c.line;
        FreeFundArrays(&p.fund);
    }

    Parsed p = Parse("name = First Name\nURL=http://example.org/f?a=1 b\nNAME=Second  Name \n",
                     "vfinx.2.nav");
    EXPECT_STREQ(p.fund.name, "Second  Name ");
    EXPECT_STREQ(p.fund.url, "http://example.org/f?a=1 b");
    EXPECT_STREQ(p.fund.shortName, "vfinx");
    EXPECT_TRUE(p.second.empty());
    FreeFundArrays(&p.fund);

    // Names are measured in the first pass already, but stored only in the second.
    PlatSetTextWidthFunc(TenPixelsPerByte);
    MaxNameWidth = 0;
    FundRecord f;
    memset(&f, 0, sizeof f);
    std::string path = WriteFile(MakeTempDir(), "W.NAV", "NAME=abcdefghij\nNAME=abc\n");
    BeginDateTable();
    EXPECT_EQ(ReadNavFile(path.c_str(), &f, NAV_FIRST_PASS), 1);
    EXPECT_EQ(MaxNameWidth, 100u);
    EXPECT_EQ(f.name, nullptr);
    FreeFundArrays(&f);
    MaxNameWidth = 0;
}

TEST(NavPasses, TheSecondPassNeverWritesPastTheFirstPassCounts)
{
    std::string dir = MakeTempDir();
    std::string path = WriteFile(dir, "G.NAV", "NAME=G\n01/01/99 = 1\n01/01/99 DIV=.1\n");
    FundRecord f;
    memset(&f, 0, sizeof f);
    BeginDateTable();
    ASSERT_EQ(ReadNavFile(path.c_str(), &f, NAV_FIRST_PASS), 1);
    EXPECT_EQ(f.fileSize, 36u);
    FinishDateTable();
    AllocateArrays(&f);
    // The file grows between the passes: more points, a split that was not counted.
    WriteFile(dir, "G.NAV", "NAME=G\n01/01/99 = 1\n01/02/99 = 2\n01/03/99 = 3\n"
                            "01/04/99 SPLIT 2 FOR 1\n");
    ClearMessages();
    ASSERT_EQ(ReadNavFile(path.c_str(), &f, NAV_SECOND_PASS), 1);
    EXPECT_EQ(MessageTexts(), (Texts{"Error: " + path + ": NAV phase error",
                                     "Error: " + path + ": DIST phase error",
                                     "Error: " + path + ": SPLIT phase error"}));
    EXPECT_EQ(f.pointCount, 1u);
    EXPECT_EQ(f.points[0][0].value, 1.0);
    EXPECT_EQ(f.splitCount, 0u);
    FreeFundArrays(&f);

    // Without arrays at all the second pass stores nothing and says so in the counts.
    memset(&f, 0, sizeof f);
    BeginDateTable();
    ReadNavFile(path.c_str(), &f, NAV_FIRST_PASS);
    EXPECT_EQ(f.pointCount, 3u);  // the grown file's three points
    ClearMessages();
    ReadNavFile(path.c_str(), &f, NAV_SECOND_PASS);
    EXPECT_EQ(f.pointCount, 0u);
    EXPECT_TRUE(Messages.empty());
    FreeFundArrays(&f);
}

TEST(NavFiles, MissingFilesAndShortNames)
{
    FundRecord f;
    memset(&f, 0, sizeof f);
    EXPECT_EQ(ReadNavFile("/nonexistent/X.NAV", &f, NAV_FIRST_PASS), 0);
    EXPECT_TRUE(Messages.empty());
    const struct {
        const char *path, *name;
        size_t length;
    } cases[] = {{"C:\\data\\ABCDX.NAV", "ABCDX", 5}, {"/d/A.B.NAV", "A", 1},
                 {"PLAIN", "PLAIN", 5},
                 {"/d/ABCDEFGHIJKLMNOPQRSTUVWXYZ.NAV", "ABCDEFGHIJKLMNO", 15}};
    for (const auto &c : cases) {
        char name[16];
        EXPECT_EQ(ShortNameOfPath(c.path, name, sizeof name), c.length) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
    }
}

}  // namespace
