// The fund file parser: value rules, distributions, splits, dates, keywords, messages,
// both passes and the countdown bound of the second pass.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/navfile.h"
#include "fund_builder.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

struct Parsed {
    FundRecord *fund;     // the one record of the FundTable
    std::string path;
    Texts first, second;  // messages of each pass
    uint32_t counted;     // points the first pass counted
};

// Both passes over one file, as the load runs them, into a fresh one-record FundTable
// with a fresh date table (both freed by the next Parse or at the test's end); the file
// is replaced by grown (when given) between the passes.
Parsed Parse(const std::string &text, const std::string &grown = "", bool arrays = true)
{
    NewFundTable(1);
    Parsed p = {FundTable, "", {}, {}, 0};
    FundRecord *f = p.fund;
    std::string dir = MakeTempDir();
    p.path = WriteFile(dir, "FUND.NAV", text);
    BeginDateTable();
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), f, NAV_FIRST_PASS), 1);
    p.first = MessageTexts();
    p.counted = f->pointCount;
    FinishDateTable();
    if (arrays) {
        f->points[0] = (NavPoint *)AllocZero(f->pointCount, sizeof(NavPoint));
        f->dists = (DistRecord *)AllocZero(f->distCount, sizeof(DistRecord));
        f->splits = (SplitRecord *)AllocZero(f->splitCount, sizeof(SplitRecord));
    }
    if (!grown.empty())
        WriteFile(dir, "FUND.NAV", grown);
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), f, NAV_SECOND_PASS), 1);
    p.second = MessageTexts();
    return p;
}

std::string Err(const Parsed &p, unsigned line, const std::string &text)
{
    return "Error: " + p.path + "(" + std::to_string(line) + "): " + text;
}

// What the fund keeps of files read without a message. The rounding of the fifth digit,
// one to four digits, points without a value and the keywords' case, spelling and other
// categories are checked file by file in the report tool's integration test; these are
// the edges it does not reach.
TEST(NavValues, PointsNamesUrlsAndCategoriesOfGoodFiles)
{
    const struct {
        const char *file, *name, *url;
        uint32_t category;
        PackedDate date;  // of the file's one point; 0: no point
        double value;
    } cases[] = {
        // The rounding carries; text or a second number after the value is ignored.
        {"NAME=F\n01/15/99 = 999999999.99995\n", "F", nullptr, 0, Date(1, 15, 99), 1e9},
        {"NAME=F\n01/15/99 = 25.5 ; text\n", "F", nullptr, 0, Date(1, 15, 99), 25 + 50 / 100.0},
        {"NAME=F\n01/15/99 = 7 8\n", "F", nullptr, 0, Date(1, 15, 99), 7.0},
        // A comment ends the line, and its date is not kept.
        {"NAME=F\r\n01/17/99 ; no price yet = 5 DIV = .1\r01/18/99 = 10.5", "F", nullptr, 0,
         Date(1, 18, 99), 10.5},
        // A trailing blank makes a category's text differ; inner and trailing blanks stay
        // in a name, and a URL runs to the line end.
        {"NAME=F\nCATEGORY=Bond \n", "F", nullptr, 15, 0, 0},
        {"NAME=F\ncategory=Max Growth\n", "F", nullptr, 1, 0, 0},
        {"NAME=Second  Name \nURL=http://example.org/f?a=1 b\n", "Second  Name ",
         "http://example.org/f?a=1 b", 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        Parsed p = Parse(c.file);
        EXPECT_TRUE(p.first.empty() && p.second.empty());
        EXPECT_STREQ(p.fund->name, c.name);
        EXPECT_STREQ(p.fund->url, c.url);
        EXPECT_EQ(FundCategory(p.fund), c.category);
        EXPECT_EQ(DateCount, c.date ? 1u : 0u);
        ASSERT_EQ(p.fund->pointCount, c.date ? 1u : 0u);
        if (c.date) {
            EXPECT_EQ(p.fund->points[0][0].dateWord, c.date);
            EXPECT_EQ(p.fund->points[0][0].value, c.value);
        }
    }
}

TEST(NavDistributions, AmountsStoredOfGoodAndBadLines)
{
    Parsed p = Parse("NAME=F\n"
                     "01/01/99 DIV = 1.0\n"
                     "01/03/99 CG = .123456\n"
                     "01/04/99 SCG=.5 MCG=.25 LCG=1234.125\n"
                     "01/05/99 div = 0.0199999 ; trailing comment\n"
                     "01/06/99 DIV = .10, CG = .20\n"
                     "01/07/99 DIV = .10 DIV = .20\n"
                     "01/08/99 FOO = 1.0\n"
                     "01/09/99 DIV = .5 BAR\n");
    // The texts for lines 5, 7, 8 and 9 are checked on the report tool's DISTS.NAV;
    // here that the other lines give none, and the amounts that are stored.
    EXPECT_EQ(p.first.size(), 3u);
    EXPECT_EQ(p.second.size(), 5u);
    ASSERT_EQ(p.fund->distCount, 8u);
    // The second pass fills from the last element towards the first.
    const DistRecord *d = p.fund->dists;
    EXPECT_EQ(d[7].date, Date(1, 1, 99));
    EXPECT_EQ(std::vector<double>({d[7].div, d[6].lcg, d[6].div, d[5].scg, d[5].mcg, d[5].lcg,
                                   d[4].div, d[3].div, d[3].lcg, d[2].div, d[0].div}),
              std::vector<double>({1.0, 12 / 100.0 + 34 / 10000.0,  // dropped, not rounded
                                   0.0, 50 / 100.0, 25 / 100.0, 1234 + 12 / 100.0 + 50 / 10000.0,
                                   0.0,  // seven fraction digits are more than an amount may have
                                   10 / 100.0, 20 / 100.0,
                                   10 / 100.0,  // the first of the duplicates stays
                                   0.5}));      // the amount before the bad word is kept
    // An unknown kind leaves an all-zero distribution (its date in the table as the
    // integration test's DISTS.NAV shows).
    EXPECT_EQ(d[1].date, Date(1, 8, 99));
    EXPECT_EQ(d[1].div + d[1].lcg, 0.0);
}

// Lines both passes reject alike, and what the fund keeps of the file (the report tool's
// integration test has the amount, date and keyword messages of whole files).
TEST(NavMessages, BadLinesAreReportedAlikeInBothPasses)
{
    const struct {
        std::string file;
        std::vector<std::pair<unsigned, const char *>> messages;
        uint32_t splits, dates;
    } cases[] = {
        // Shares are 1..255; every split line's date enters the table, valid or not.
        {"NAME=F\n03/01/99 SPLIT 2 FOR 1\n03/02/99 split 255 for 100 ; comment\n"
         "03/03/99 SPLIT 256 FOR 1\n03/04/99 SPLIT 2 BY 1\n03/05/99 SPLIT 1000 FOR 1\n"
         "03/06/99 SPLIT 0 FOR 1\n03/07/99 SPLIT 3\n",
         {{4, "unexpected token: 3 DIGIT NUMBER"}, {5, "unexpected token: ASCII STRING \"BY\""},
          {6, "unexpected token: 4 DIGIT NUMBER"}, {7, "unexpected token: 1 DIGIT NUMBER"},
          {8, "unexpected token: LINE FEED"}},
         2, 7},
        // A date cut short; a date and a bare number, ignored silently, its date not kept.
        {"NAME=F\n01/15 = 14\n01/16/99 7\n", {{2, "unexpected token: EQUALS"}}, 0, 0},
        // The rest of an unexpected line is read as tokens: an overlong word is reported.
        {"NAME=F\nFOO " + std::string(600, 'y') + "\n",
         {{2, "unexpected token: ASCII STRING \"FOO\""}, {2, "token too long"}}, 0, 0},
        {"NAME=F\nNAME =\nURL X\nCATEGORY\n",
         {{2, "unexpected token: LINE FEED"}, {3, "unexpected token: ASCII STRING \"X\""},
          {4, "unexpected token: LINE FEED"}},
         0, 0},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(c.file);
        Texts expected;
        for (const auto &m : c.messages)
            expected.push_back(Err(p, m.first, m.second));
        EXPECT_EQ(p.first, expected) << c.file;
        EXPECT_EQ(p.second, expected) << c.file;
        EXPECT_EQ(p.fund->pointCount, 0u) << c.file;
        EXPECT_EQ(p.fund->distCount, 0u) << c.file;
        EXPECT_EQ(p.fund->splitCount, c.splits) << c.file;
        EXPECT_EQ(DateCount, c.dates) << c.file;
        EXPECT_EQ(p.fund->url, nullptr) << c.file;
        if (c.splits) {  // filled backwards: the last good line first
            EXPECT_EQ(p.fund->splits[0], Date(3, 2, 99) | (255u << 16) | (100u << 24));
        }
    }
}

// A file without a name is reported after its last line, so an empty one at line 1, by
// the second pass only.
TEST(NavMessages, AnEmptyFileHasNoName)
{
    Parsed p = Parse("");
    EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(p.second, (Texts{Err(p, 1, "missing fund name")}));
    EXPECT_EQ(p.fund->fileSize, 0u);
    EXPECT_EQ(p.fund->pointCount, 0u);
}

TEST(NavKeywords, NamesAreMeasuredInTheFirstPassButStoredOnlyInTheSecond)
{
    PlatSetTextWidthFunc([](const char *, uint32_t length) { return length * 10; });
    MaxNameWidth = 0;
    NewFundTable(1);
    std::string path = WriteFile(MakeTempDir(), "W.NAV", "NAME=abcdefghij\nNAME=abc\n");
    BeginDateTable();
    EXPECT_EQ(ReadNavFile(path.c_str(), FundTable, NAV_FIRST_PASS), 1);
    EXPECT_EQ(MaxNameWidth, 100u);
    EXPECT_EQ(FundTable[0].name, nullptr);
    MaxNameWidth = 0;
}

TEST(NavPasses, TheSecondPassNeverWritesPastTheFirstPassCounts)
{
    // The file grows between the passes: more points, a split that was not counted.
    const std::string grown = "NAME=G\n01/01/99 = 1\n01/02/99 = 2\n01/03/99 = 3\n"
                              "01/04/99 SPLIT 2 FOR 1\n";
    Parsed p = Parse("NAME=G\n01/01/99 = 1\n01/01/99 DIV=.1\n", grown);
    EXPECT_EQ(p.fund->fileSize, 36u);
    EXPECT_EQ(p.second, (Texts{"Error: " + p.path + ": NAV phase error",
                               "Error: " + p.path + ": DIST phase error",
                               "Error: " + p.path + ": SPLIT phase error"}));
    EXPECT_EQ(p.fund->pointCount, 1u);
    EXPECT_EQ(p.fund->points[0][0].value, 1.0);
    EXPECT_EQ(p.fund->splitCount, 0u);

    // Without arrays at all the second pass stores nothing and says so in the counts.
    p = Parse(grown, "", false);
    EXPECT_EQ(p.counted, 3u);
    EXPECT_EQ(p.fund->pointCount, 0u);
    EXPECT_TRUE(p.second.empty());
}

// A file that cannot be opened is skipped silently (the load test's link whose target is
// gone).
TEST(NavFiles, UnreadableFilesAndShortNames)
{
    FundRecord f = {};
    // The process's memory opens, but its first page cannot be read: one report, and
    // the file ends there.
    EXPECT_EQ(ReadNavFile("/proc/self/mem", &f, NAV_FIRST_PASS), 1);
    Texts texts = MessageTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("ReadFile(/proc/self/mem)"), std::string::npos) << texts[0];
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

// Everything a parse gave, one line per message (pass by pass) and point, then the counts
// of distributions and splits, with the file's path left out: two parses give the same
// text only when they agree bit for bit.
std::string Digest(const Parsed &p)
{
    std::string out;
    for (const Texts *pass : {&p.first, &p.second}) {
        for (std::string text : *pass)
            out += text.replace(text.find(p.path), p.path.size(), "FILE") + "\n";
        out += "(end of pass)\n";
    }
    for (uint32_t i = 0; i < p.fund->pointCount; i++) {
        char line[64];
        const NavPoint &x = p.fund->points[0][i];
        snprintf(line, sizeof line, "%08x %a\n", x.dateWord, x.value);
        out += line;
    }
    return out + std::to_string(p.fund->distCount) + " " + std::to_string(p.fund->splitCount);
}

// Plain NAV lines are read straight from the byte layer's fills; every other line goes
// token by token. A leading blank sends any line the token way, so each file is read
// twice, as written and with a blank before every line, and must give the same points,
// distributions, line numbers and messages, whatever line ends where in a fill.
TEST(NavValues, PlainLinesReadAsTheTokensReadThem)
{
    const char *lines[] = {
        "01/04/80 = 39.26",     "1/4/80=39.26",          "01/05/80\t=\t 39.265",
        "1/6/80 = 123456789.123456789", "01/07/80 = 99999.99995", "01/08/80 = 1234567890.5",
        "01/09/80 = 39.2650000001", "01/10/80 = 39.26abc", "01/11/80 = 39. 26",
        "01/12/80 = .26",       "01/13/80 = 39",         "01/14/80 = 39.",
        "13/04/80 = 39.26",     "01/32/80 = 1.5",        "001/04/80 = 1.5",
        "01/15/080 = 1.5",      "01/16/80 = 2.5 ; note", "01/17/80 DIV 0.25",
        "01/18/80 = 1a.5",      "0/1/80 = 1.5",          "01/19/80 SPLIT 2 FOR 1",
    };
    const char *ends[] = {"\r\n", "\n", "\r"};
    for (unsigned shift = 0; shift < 24; shift += 5) {
        std::string plain = "NAME=P" + std::string(shift, 'x') + "\n", blank = plain;
        for (unsigned round = 0; round < 30; round++)
            for (unsigned i = 0; i < sizeof lines / sizeof *lines; i++) {
                std::string line = lines[i] + std::string(ends[(i + round) % 3]);
                plain += line;
                blank += " " + line;
            }
        Parsed a = Parse(plain);
        ASSERT_GT(a.fund->pointCount, 300u) << shift;
        const std::string expected = Digest(a);
        EXPECT_EQ(Digest(Parse(blank)), expected) << shift;
    }
}

}  // namespace
