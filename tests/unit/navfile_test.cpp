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
    Texts first;   // messages of the first pass
    Texts second;  // messages of the second pass
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

void Free(Parsed *p)
{
    FreeFundArrays(&p->fund);
}

std::string Err(const Parsed &p, unsigned line, const std::string &text)
{
    return "Error: " + p.path + "(" + std::to_string(line) + "): " + text;
}

PackedDate D(unsigned month, unsigned day, unsigned year)
{
    return MakePackedDate(YearCodeOfTwoDigitYear(year), month, day);
}

struct ValueCase {
    const char *written;
    bool noValue;
    double value;  // integer + first two fraction digits / 100 + third and fourth / 10000
};

TEST(NavValues, RoundingCarriesAndDecimals)
{
    const ValueCase cases[] = {
        {"10.12345", false, 10 + 12 / 100.0 + 35 / 10000.0},   // fifth digit 5 rounds up
        {"10.12344", false, 10 + 12 / 100.0 + 34 / 10000.0},
        {"9.99995", false, 10.0},                              // carries into the integer
        {"0.99995", false, 1.0},
        {"999999999.99995", false, 1000000000.0},
        {"10.12349999", false, 10 + 12 / 100.0 + 35 / 10000.0},  // digits after the fifth ignored
        {"10.123449", false, 10 + 12 / 100.0 + 34 / 10000.0},
        {".5", false, 0.5},
        {"12", false, 12.0},
        {"12.3", false, 12 + 30 / 100.0},                      // one digit counts as tenths
        {"1.234", false, 1 + 23 / 100.0 + 40 / 10000.0},       // three: tenths to thousandths
        {"0.00005", false, 1 / 10000.0},
        {"12.345678901234", false, 12 + 34 / 100.0 + 57 / 10000.0},
        {"25.5 ; text after the number", false, 25 + 50 / 100.0},
        {"7 8", false, 7.0},
        {"", true, 0},
        {"n/a", true, 0},
        {"=", true, 0},
    };
    for (const ValueCase &c : cases) {
        Parsed p = Parse(std::string("NAME=F\n01/15/99 = ") + c.written + "\n");
        ASSERT_EQ(p.fund.pointCount, 1u) << c.written;
        const NavPoint &point = p.fund.points[0][0];
        EXPECT_EQ((point.dateWord & NAV_NO_VALUE) != 0, c.noValue) << c.written;
        EXPECT_EQ(point.value, c.value) << c.written;
        EXPECT_EQ(point.dateWord & 0xFFFF, D(1, 15, 99)) << c.written;
        EXPECT_TRUE(p.first.empty() && p.second.empty()) << c.written;
        Free(&p);
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
    // Seven fraction digits are more than an amount may have.
    EXPECT_EQ(d[1].div, 0.0);
    EXPECT_EQ(d[0].div, 10 / 100.0);
    EXPECT_EQ(d[0].lcg, 20 / 100.0);
    // The parser meets the bad amount in both passes.
    EXPECT_EQ(p.first, (Texts{Err(p, 6, "unexpected token: 7 DIGIT NUMBER")}));
    EXPECT_EQ(p.second, p.first);
    Free(&p);
}

TEST(NavDistributions, TheAmountNeedsItsPointAndAtMostFourIntegerDigits)
{
    Parsed p = Parse("NAME=F\n01/15/99 DIV = 1\n01/16/99 DIV = 12345.0\n01/17/99 DIV 1.0\n");
    // "DIV 1.0": where the "=" should be stands the number.
    Texts expected = {Err(p, 2, "unexpected token: LINE FEED"),
                      Err(p, 3, "unexpected token: 5 DIGIT NUMBER"),
                      Err(p, 4, "unexpected token: 1 DIGIT NUMBER")};
    EXPECT_EQ(p.first, expected);
    EXPECT_EQ(p.second, expected);
    ASSERT_EQ(p.fund.distCount, 3u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(p.fund.dists[i].div, 0.0);
    Free(&p);
}

TEST(NavDistributions, DuplicatesAndUnknownKinds)
{
    Parsed p = Parse("NAME=F\n01/15/99 DIV = .10 DIV = .20\n");
    EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(p.second, (Texts{Err(p, 2, "duplicate dist")}));
    EXPECT_EQ(p.fund.dists[0].div, 10 / 100.0);
    Free(&p);

    p = Parse("NAME=F\n01/15/99 FOO = 1.0\n");
    EXPECT_EQ(p.first, (Texts{Err(p, 2, "unexpected token: ASCII STRING \"FOO\"")}));
    EXPECT_EQ(p.second, (Texts{Err(p, 2, "missing dist"),
                               Err(p, 2, "unexpected token: ASCII STRING \"FOO\"")}));
    // The date is in the table and an all-zero distribution remains for it.
    EXPECT_EQ(FindDate(D(1, 15, 99)), 0u);
    ASSERT_EQ(p.fund.distCount, 1u);
    EXPECT_EQ(p.fund.dists[0].date, D(1, 15, 99));
    EXPECT_EQ(p.fund.dists[0].div + p.fund.dists[0].lcg, 0.0);
    Free(&p);

    p = Parse("NAME=F\n01/15/99 DIV = .5 BAR\n");
    EXPECT_EQ(p.second, (Texts{Err(p, 2, "unexpected token: ASCII STRING \"BAR\"")}));
    EXPECT_EQ(p.fund.dists[0].div, 0.5);
    Free(&p);
}

TEST(NavSplits, SharesAndTheirLimits)
{
    Parsed p = Parse("NAME=F\n"
                     "03/01/99 SPLIT 2 FOR 1\n"
                     "03/02/99 split 255 for 100 ; comment\n"
                     "03/03/99 SPLIT 256 FOR 1\n"
                     "03/04/99 SPLIT 2 BY 1\n"
                     "03/05/99 SPLIT 1000 FOR 1\n"
                     "03/06/99 SPLIT 0 FOR 1\n"
                     "03/07/99 SPLIT 3\n");
    Texts expected = {Err(p, 4, "unexpected token: 3 DIGIT NUMBER"),
                      Err(p, 5, "unexpected token: ASCII STRING \"BY\""),
                      Err(p, 6, "unexpected token: 4 DIGIT NUMBER"),
                      Err(p, 7, "unexpected token: 1 DIGIT NUMBER"),
                      Err(p, 8, "unexpected token: LINE FEED")};
    EXPECT_EQ(p.first, expected);
    EXPECT_EQ(p.second, expected);
    ASSERT_EQ(p.fund.splitCount, 2u);
    EXPECT_EQ(p.fund.splits[1], D(3, 1, 99) | (2u << 16) | (1u << 24));
    EXPECT_EQ(p.fund.splits[0], D(3, 2, 99) | (255u << 16) | (100u << 24));
    EXPECT_EQ(SplitNewShares(p.fund.splits[0]), 255u);
    EXPECT_EQ(SplitOldShares(p.fund.splits[0]), 100u);
    // Every split line's date enters the table, valid or not.
    EXPECT_EQ(DateCount, 7u);
    Free(&p);
}

TEST(NavDates, FormatsAndRanges)
{
    Parsed p = Parse("NAME=F\n"
                     "13/01/99 = 10.00\n"
                     "02/31/99 = 11.00\n"
                     "1/2/3 = 12\n"
                     "01/00/99 = 13\n"
                     "01/15 = 14\n"
                     "01/16/99 7\n"
                     "123/1/99 = 1\n");
    Texts expected = {Err(p, 2, "incorrect date format"), Err(p, 5, "incorrect date format"),
                      Err(p, 6, "unexpected token: EQUALS"),
                      Err(p, 8, "unexpected token: 3 DIGIT NUMBER")};
    EXPECT_EQ(p.first, expected);
    EXPECT_EQ(p.second, expected);
    // February 31st is a date; a date followed by a bare number is ignored silently.
    ASSERT_EQ(p.fund.pointCount, 2u);
    EXPECT_EQ(p.fund.points[0][1].dateWord, D(2, 31, 99));
    EXPECT_EQ(p.fund.points[0][0].dateWord, D(1, 2, 3));
    EXPECT_EQ(DateCount, 2u);
    EXPECT_EQ(FindDate(D(1, 16, 99)), DATE_NOT_FOUND);
    Free(&p);
}

TEST(NavDates, ACommentAfterADateEndsTheLine)
{
    // The last line ends with the file, not with a line end, and still counts.
    Parsed p = Parse("NAME=F\n01/15/99 ; no price yet = 5 DIV = .1\n01/16/99 = 10.5");
    EXPECT_TRUE(p.first.empty());
    EXPECT_TRUE(p.second.empty());
    ASSERT_EQ(p.fund.pointCount, 1u);
    EXPECT_EQ(p.fund.points[0][0].value, 10.5);
    EXPECT_EQ(FindDate(D(1, 15, 99)), DATE_NOT_FOUND);
    Free(&p);
}

TEST(NavMessages, TheRestOfAnUnexpectedLineIsReadAsTokens)
{
    // An overlong word after the unexpected token is still reported.
    Parsed p = Parse("NAME=F\nFOO " + std::string(600, 'y') + "\n01/02/99 = 1\n");
    Texts expected = {Err(p, 2, "unexpected token: ASCII STRING \"FOO\""),
                      Err(p, 2, "token too long")};
    EXPECT_EQ(p.first, expected);
    EXPECT_EQ(p.second, expected);
    EXPECT_EQ(p.fund.pointCount, 1u);
    Free(&p);
}

TEST(NavKeywords, NameUrlAndCategory)
{
    struct Case {
        const char *line;
        uint32_t category;
    } cases[] = {
        {"CATEGORY=bond", 11},
        {"Category = Growth & Income", 6},
        {"CATEGORY=Bond ", 15},   // a trailing blank makes the text differ
        {"CATEGORY=Treasuries", 15},
        {"CATEGORY=OTHER", 14},
        {"CATEGORY=Portfolio", 15},
        {"category=Max Growth", 1},
    };
    for (const Case &c : cases) {
        Parsed p = Parse(std::string("NAME=F\n") + c.line + "\n");
        EXPECT_EQ(FundCategory(&p.fund), c.category) << c.line;
        EXPECT_TRUE(p.second.empty()) << c.line;
        Free(&p);
    }

    Parsed p = Parse("name = First Name\nURL=http://example.org/f?a=1 b\nNAME=Second  Name \n");
    EXPECT_STREQ(p.fund.name, "Second  Name ");
    EXPECT_STREQ(p.fund.url, "http://example.org/f?a=1 b");
    EXPECT_STREQ(p.fund.shortName, "FUND");
    EXPECT_TRUE(p.second.empty());
    Free(&p);

    p = Parse("NAME=F\nNAME =\nURL X\nCATEGORY\n");
    Texts expected = {Err(p, 2, "unexpected token: LINE FEED"),
                      Err(p, 3, "unexpected token: ASCII STRING \"X\""),
                      Err(p, 4, "unexpected token: LINE FEED")};
    EXPECT_EQ(p.first, expected);
    EXPECT_EQ(p.second, expected);
    EXPECT_EQ(p.fund.url, nullptr);
    Free(&p);
}

uint32_t TenPixelsPerByte(const char *, uint32_t length)
{
    return length * 10;
}

TEST(NavKeywords, NamesAreMeasuredInBothPasses)
{
    PlatSetTextWidthFunc(TenPixelsPerByte);
    MaxNameWidth = 0;
    FundRecord f;
    memset(&f, 0, sizeof f);
    std::string path = WriteFile(MakeTempDir(), "W.NAV", "NAME=abcdefghij\nNAME=abc\n");
    BeginDateTable();
    EXPECT_EQ(ReadNavFile(path.c_str(), &f, NAV_FIRST_PASS), 1);
    EXPECT_EQ(MaxNameWidth, 100u);
    EXPECT_EQ(f.name, nullptr);  // stored only in the second pass
    FreeFundArrays(&f);
    MaxNameWidth = 0;
}

TEST(NavMessages, LineNumbersCountEveryFormOfLineEnd)
{
    Parsed p = Parse("; comment line with = and / and 1/2/3\r\n"
                     "NAME=F\r"
                     "\n"
                     "= 5\r\n"
                     "FOO bar\n"
                     ". 5\n"
                     "\n"
                     "01/15/99 EXCLUDE\n"
                     "01/16/99 EXCLUDE trailing words\n");
    Texts expected = {Err(p, 3, "unexpected token: EQUALS"),
                      Err(p, 4, "unexpected token: ASCII STRING \"FOO\""),
                      Err(p, 5, "unexpected token: DOT")};
    EXPECT_EQ(p.first, expected);
    expected.push_back(Err(p, 8, "duplicate exclude"));
    EXPECT_EQ(p.second, expected);
    EXPECT_EQ(p.fund.excludeDate, D(1, 15, 99));
    EXPECT_EQ(DateCount, 2u);
    Free(&p);
}

TEST(NavMessages, AFileWithoutANameIsReportedAtItsEnd)
{
    Parsed p = Parse("01/15/99 = 1\n01/16/99 = 2\n");
    EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(p.second, (Texts{Err(p, 3, "missing fund name")}));
    EXPECT_EQ(p.fund.name, nullptr);
    EXPECT_EQ(p.fund.pointCount, 2u);
    Free(&p);

    p = Parse("");
    EXPECT_EQ(p.second, (Texts{Err(p, 1, "missing fund name")}));
    EXPECT_EQ(p.fund.fileSize, 0u);
    EXPECT_EQ(p.fund.pointCount, 0u);
    Free(&p);
}

TEST(NavPasses, NewestFirstAndOldestFirstGiveTheSameArrays)
{
    Parsed newest = Parse("NAME=F\n01/03/99 = 3\n01/02/99 = 2\n01/01/99 = 1\n"
                          "01/03/99 DIV=.3\n01/01/99 DIV=.1\n");
    Parsed oldest = Parse("NAME=F\n01/01/99 = 1\n01/02/99 = 2\n01/03/99 = 3\n"
                          "01/01/99 DIV=.1\n01/03/99 DIV=.3\n");
    ASSERT_EQ(newest.fund.pointCount, 3u);
    ASSERT_EQ(oldest.fund.pointCount, 3u);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(newest.fund.points[0][i].dateWord, D(1, 1 + i, 99));
        EXPECT_EQ(newest.fund.points[0][i].value, 1.0 + i);
    }
    // Oldest first ends up reversed by the backward fill; the load sorts both.
    EXPECT_EQ(oldest.fund.points[0][0].dateWord, D(1, 3, 99));
    EXPECT_EQ(newest.fund.dists[0].date, D(1, 1, 99));
    EXPECT_EQ(newest.fund.fileSize, oldest.fund.fileSize);
    Free(&newest);
    Free(&oldest);
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

    char name[16];
    EXPECT_EQ(ShortNameOfPath("C:\\data\\ABCDX.NAV", name, sizeof name), 5u);
    EXPECT_STREQ(name, "ABCDX");
    ShortNameOfPath("/d/A.B.NAV", name, sizeof name);
    EXPECT_STREQ(name, "A");
    ShortNameOfPath("PLAIN", name, sizeof name);
    EXPECT_STREQ(name, "PLAIN");
    EXPECT_EQ(ShortNameOfPath("/d/ABCDEFGHIJKLMNOPQRSTUVWXYZ.NAV", name, sizeof name), 15u);

    Parsed p = Parse("NAME=x\n", "vfinx.2.nav");
    EXPECT_STREQ(p.fund.shortName, "vfinx");
    Free(&p);
}

}  // namespace
