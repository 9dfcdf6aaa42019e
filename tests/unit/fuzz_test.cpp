// Bounded random input for the tokenizer and the fund file parser: arbitrary bytes, and
// bytes drawn from the format's own fragments, must parse without a fault (the sanitizers
// watch), end, and give the same counts in both passes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/io.h"
#include "data/navfile.h"
#include "data/tokenizer.h"
#include "test_support.h"

namespace {

std::string RandomBytes(std::mt19937 &random, size_t n)
{
    std::string s(n, 0);
    for (auto &c : s)
        c = (char)(random() & 0xFF);
    return s;
}

// Lines assembled from the format's pieces, so the parser's deeper branches are reached.
std::string RandomFundText(std::mt19937 &random, size_t pieces)
{
    static const char *const fragments[] = {
        "NAME", "URL", "CATEGORY", "=", "/", ".", ";", " ", "\t", "\r", "\n", "\r\n",
        "DIV", "SCG", "MCG", "LCG", "CG", "SPLIT", "FOR", "EXCLUDE", ",", "Bond", "x",
        "1", "12", "31", "99", "00", "123", "1234", "12345", "999999999", "1234567890",
        "01/15/99", "12/31/59", "1/1/60", "13/1/99", "= 10.12345", "DIV = .25",
        "SPLIT 2 FOR 1", "\xff", "\x00", "3M",
    };
    const size_t count = sizeof fragments / sizeof fragments[0];
    std::string s;
    for (size_t i = 0; i < pieces; i++) {
        size_t k = random() % count;
        if (k == count - 2)
            s.push_back('\0');
        else
            s += fragments[k];
    }
    return s;
}

void ParseBothPasses(const std::string &path)
{
    FundRecord f = {};
    BeginDateTable();
    ASSERT_EQ(ReadNavFile(path.c_str(), &f, NAV_FIRST_PASS), 1);
    uint32_t points = f.pointCount, dists = f.distCount, splits = f.splitCount;
    FinishDateTable();
    f.points[0] = (NavPoint *)AllocZero(f.pointCount, sizeof(NavPoint));
    f.dists = (DistRecord *)AllocZero(f.distCount, sizeof(DistRecord));
    f.splits = (SplitRecord *)AllocZero(f.splitCount, sizeof(SplitRecord));
    ClearMessages();
    ASSERT_EQ(ReadNavFile(path.c_str(), &f, NAV_SECOND_PASS), 1);
    // The file did not change, so both passes must agree line for line.
    for (const auto &m : Messages)
        ASSERT_EQ(m.text.find("phase error"), std::string::npos) << m.text;
    EXPECT_EQ(f.pointCount, points);
    EXPECT_EQ(f.distCount, dists);
    EXPECT_EQ(f.splitCount, splits);
    // Every stored date was collected by the first pass.
    for (uint32_t i = 0; i < f.pointCount; i++)
        ASSERT_NE(FindDate(f.points[0][i].dateWord & 0xFFFF), DATE_NOT_FOUND);
    for (uint32_t i = 0; i < f.splitCount; i++)
        ASSERT_NE(FindDate(f.splits[i] & 0xFFFF), DATE_NOT_FOUND);
    FreeFundArrays(&f);
}

TEST(RandomInput, FundFilesOfArbitraryBytes)
{
    std::mt19937 random(20261206);
    std::string dir = MakeTempDir();
    for (int round = 0; round < 300; round++) {
        std::string text = (round % 3 == 0) ? RandomBytes(random, random() % 3000)
                                            : RandomFundText(random, random() % 800);
        std::string path = WriteFile(dir, "R.NAV", text);
        ParseBothPasses(path);
        if (HasFatalFailure())
            FAIL() << "round " << round;
    }
}

TEST(RandomInput, TheTokenizerEndsAndKeepsItsBounds)
{
    std::mt19937 random(77);
    std::string dir = MakeTempDir();
    for (int round = 0; round < 200; round++) {
        std::string text = (round % 2) ? RandomBytes(random, random() % 4000)
                                       : RandomFundText(random, random() % 1000);
        std::string path = WriteFile(dir, "T.NAV", text);
        unsigned char buffer[IO_BUFFER_SIZE];
        ASSERT_EQ(IoOpen(path.c_str(), IO_GENERIC_READ, buffer), 1);
        ResetTokenizer();
        char token[TOKEN_BUFFER_SIZE];
        size_t tokens = 0;
        int kind;
        // Every call consumes at least one byte until the end, so the count is bounded.
        while ((kind = (tokens % 5 == 4) ? GetRestOfLine("T", 1, token)
                                         : GetToken("T", 1, token)) != TOKEN_END_OF_FILE) {
            ASSERT_GE(kind, 1);
            ASSERT_LE(kind, TOKEN_DOT);
            ASSERT_LE(strlen(token), TOKEN_BUFFER_SIZE - 1);
            ASSERT_LE(++tokens, text.size() + 1);
        }
        IoClose();
    }
}

}  // namespace
