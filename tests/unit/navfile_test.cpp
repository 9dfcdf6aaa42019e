// The fund file parser: value rules, distributions, splits, dates, keywords, messages,
// both passes and the countdown bound of the second pass.
#include <gtest/gtest.h>

#include <string.h>

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
    FundRecord fund;
    std::string path;
    Texts first, second;  // messages of each pass
    uint32_t counted;     // points the first pass counted
};

// Both passes over one file, as the load runs them, with a fresh date table; the file
// is replaced by grown (when given) between the passes.
Parsed Parse(const std::string &text, const std::string &grown = "", bool arrays = true)
{
    Parsed p = {};
    std::string dir = MakeTempDir();
    p.path = WriteFile(dir, "FUND.NAV", text);
    BeginDateTable();
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), &p.fund, NAV_FIRST_PASS), 1);
    p.first = MessageTexts();
    p.counted = p.fund.pointCount;
    FinishDateTable();
    if (arrays) {
        p.fund.points[0] = (NavPoint *)AllocZero(p.fund.pointCount, sizeof(NavPoint));
        p.fund.dists = (DistRecord *)AllocZero(p.fund.distCount, sizeof(DistRecord));
        p.fund.splits = (SplitRecord *)AllocZero(p.fund.splitCount, sizeof(SplitRecord));
    }
    if (!grown.empty())
        WriteFile(dir, "FUND.NAV", grown);
    ClearMessages();
    EXPECT_EQ(ReadNavFile(p.path.c_str(), &p.fund, NAV_SECOND_PASS), 1);
    p.second = MessageTexts();
    return p;
}

std::string Err(const Parsed &p, unsigned line, const std::string &text)
{
    return "Error: " + p.path + "(" + std::to_string(line) + "): " + text;
}

// The rounding of the fifth digit, one to four digits and points without a value are
// checked file by file in the report tool's integration test; these are the edges it
// does not reach.
TEST(NavValues, RoundingCarriesAndTextAfterTheNumber)
{
    const struct {
        const char *written;
        double value;
    } cases[] = {
        {"999999999.99995", 1000000000.0},
        {"25.5 ; text after the number", 25 + 50 / 100.0},
        {"7 8", 7.0},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(std::string("NAME=F\n01/15/99 = ") + c.written + "\n");
        ASSERT_EQ(p.fund.pointCount, 1u) << c.written;
        const NavPoint &point = p.fund.points[0][0];
        EXPECT_EQ(point.dateWord, Date(1, 15, 99)) << c.written;
        EXPECT_EQ(point.value, c.value) << c.written;
        EXPECT_TRUE(p.first.empty() && p.second.empty()) << c.written;
        FreeFundArrays(&p.fund);
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
    ASSERT_EQ(p.fund.distCount, 8u);
    // The second pass fills from the last element towards the first.
    const DistRecord *d = p.fund.dists;
    EXPECT_EQ(d[7].date, Date(1, 1, 99));
    EXPECT_EQ(std::vector<double>({d[7].div, d[6].lcg, d[6].div, d[5].scg, d[5].mcg, d[5].lcg,
                                   d[4].div, d[3].div, d[3].lcg, d[2].div, d[0].div}),
              std::vector<double>({1.0, 12 / 100.0 + 34 / 10000.0,  // dropped, not rounded
                                   0.0, 50 / 100.0, 25 / 100.0, 1234 + 12 / 100.0 + 50 / 10000.0,
                                   0.0,  // seven fraction digits are more than an amount may have
                                   10 / 100.0, 20 / 100.0,
                                   10 / 100.0,  // the first of the duplicates stays
                                   0.5}));      // the amount before the bad word is kept
    // An unknown kind leaves an all-zero distribution whose date is in the table.
    EXPECT_EQ(d[1].date, Date(1, 8, 99));
    EXPECT_NE(FindDate(Date(1, 8, 99)), DATE_NOT_FOUND);
    EXPECT_EQ(d[1].div + d[1].lcg, 0.0);
    FreeFundArrays(&p.fund);
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
        EXPECT_EQ(p.fund.pointCount, 0u) << c.file;
        EXPECT_EQ(p.fund.distCount, 0u) << c.file;
        EXPECT_EQ(p.fund.splitCount, c.splits) << c.file;
        EXPECT_EQ(DateCount, c.dates) << c.file;
        EXPECT_EQ(p.fund.url, nullptr) << c.file;
        if (c.splits) {  // filled backwards: the last good line first
            EXPECT_EQ(p.fund.splits[0], Date(3, 2, 99) | (255u << 16) | (100u << 24));
        }
        FreeFundArrays(&p.fund);
    }
}

TEST(NavMessages, ACommentEndsTheLineAndAnEmptyFileHasNoName)
{
    Parsed p = Parse("NAME=F\r\n01/17/99 ; no price yet = 5 DIV = .1\r01/18/99 = 10.5");
    EXPECT_TRUE(p.first.empty() && p.second.empty());
    EXPECT_EQ(DateCount, 1u);
    ASSERT_EQ(p.fund.pointCount, 1u);
    EXPECT_EQ(p.fund.points[0][0].value, 10.5);
    FreeFundArrays(&p.fund);

    // A file without a name is reported after its last line, so an empty one at line 1,
    // by the second pass only.
    p = Parse("");
    EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(p.second, (Texts{Err(p, 1, "missing fund name")}));
    EXPECT_EQ(p.fund.fileSize, 0u);
    EXPECT_EQ(p.fund.pointCount, 0u);
    FreeFundArrays(&p.fund);
}

TEST(NavKeywords, NameUrlAndCategory)
{
    // Case, spelling and the other categories are in the integration test's files. Inner
    // and trailing blanks stay in a name, and a URL runs to the line end.
    const struct {
        const char *file, *name, *url;
        uint32_t category;
    } cases[] = {
        {"NAME=F\nCATEGORY=Bond \n", "F", nullptr, 15},  // a trailing blank makes the text differ
        {"NAME=F\ncategory=Max Growth\n", "F", nullptr, 1},
        {"NAME=Second  Name \nURL=http://example.org/f?a=1 b\n", "Second  Name ",
         "http://example.org/f?a=1 b", 0},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(c.file);
        EXPECT_STREQ(p.fund.name, c.name) << c.file;
        EXPECT_STREQ(p.fund.url, c.url) << c.file;
        EXPECT_EQ(FundCategory(&p.fund), c.category) << c.file;
        EXPECT_TRUE(p.second.empty()) << c.file;
        FreeFundArrays(&p.fund);
    }

    // Names are measured in the first pass already, but stored only in the second.
    PlatSetTextWidthFunc([](const char *, uint32_t length) { return length * 10; });
    MaxNameWidth = 0;
    FundRecord f = {};
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
    // The file grows between the passes: more points, a split that was not counted.
    const std::string grown = "NAME=G\n01/01/99 = 1\n01/02/99 = 2\n01/03/99 = 3\n"
                              "01/04/99 SPLIT 2 FOR 1\n";
    Parsed p = Parse("NAME=G\n01/01/99 = 1\n01/01/99 DIV=.1\n", grown);
    EXPECT_EQ(p.fund.fileSize, 36u);
    EXPECT_EQ(p.second, (Texts{"Error: " + p.path + ": NAV phase error",
                               "Error: " + p.path + ": DIST phase error",
                               "Error: " + p.path + ": SPLIT phase error"}));
    EXPECT_EQ(p.fund.pointCount, 1u);
    EXPECT_EQ(p.fund.points[0][0].value, 1.0);
    EXPECT_EQ(p.fund.splitCount, 0u);
    FreeFundArrays(&p.fund);

    // Without arrays at all the second pass stores nothing and says so in the counts.
    p = Parse(grown, "", false);
    EXPECT_EQ(p.counted, 3u);
    EXPECT_EQ(p.fund.pointCount, 0u);
    EXPECT_TRUE(p.second.empty());
    FreeFundArrays(&p.fund);
}

TEST(NavFiles, MissingFilesAndShortNames)
{
    FundRecord f = {};
    EXPECT_EQ(ReadNavFile("/nonexistent/X.NAV", &f, NAV_FIRST_PASS), 0);
    EXPECT_TRUE(Messages.empty());
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
        Parsed a = Parse(plain), b = Parse(blank);
        auto same = [&](const Texts &x, const Texts &y) {
            Texts z = y;
            for (std::string &t : z)
                if (t.find(b.path) != std::string::npos)
                    t.replace(t.find(b.path), b.path.size(), a.path);
            return x == z;
        };
        EXPECT_TRUE(same(a.first, b.first) && same(a.second, b.second)) << shift;
        ASSERT_EQ(a.fund.pointCount, b.fund.pointCount) << shift;
        ASSERT_GT(a.fund.pointCount, 300u);
        for (uint32_t i = 0; i < a.fund.pointCount; i++) {
            const NavPoint &x = a.fund.points[0][i], &y = b.fund.points[0][i];
            ASSERT_EQ(x.dateWord, y.dateWord) << shift << " " << i;
            ASSERT_EQ(memcmp(&x.value, &y.value, sizeof x.value), 0) << shift << " " << i;
        }
        EXPECT_EQ(a.fund.distCount, b.fund.distCount);
        EXPECT_EQ(a.fund.splitCount, b.fund.splitCount);
        FreeFundArrays(&a.fund);
        FreeFundArrays(&b.fund);
    }
}

}  // namespace
