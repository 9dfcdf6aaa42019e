// The tokenizer: token boundaries, line ends, long tokens, numbers and decimals.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/io.h"
#include "data/tokenizer.h"
#include "test_support.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Tokens;

unsigned char Buffer[IO_BUFFER_SIZE];

void OpenText(const std::string &bytes)
{
    static std::string path;  // the Io layer keeps the pointer
    path = WriteFile(MakeTempDir(), "T.NAV", bytes);
    ASSERT_EQ(IoOpen(path.c_str(), IO_GENERIC_READ, Buffer), 1);
    ResetTokenizer();
}

// Every token up to and including the end of file, as (display name, text). With
// restOfLine each line starts with GetRestOfLine, whose text is kept whatever it returns.
Tokens TokensOf(const std::string &bytes, bool restOfLine = false)
{
    OpenText(bytes);
    Tokens tokens;
    char text[TOKEN_BUFFER_SIZE];
    bool rest = restOfLine;
    for (int i = 0; i < 10000; i++) {
        int kind = rest ? GetRestOfLine("T.NAV", 1, text) : GetToken("T.NAV", 1, text);
        tokens.push_back({TokenName(kind), kind == TOKEN_STRING || rest ? text : ""});
        if (kind == TOKEN_END_OF_FILE)
            break;
        rest = restOfLine && (kind == TOKEN_CARRIAGE_RETURN || kind == TOKEN_LINE_FEED);
    }
    IoClose();
    return tokens;
}

const std::pair<std::string, std::string> Eof{"END OF FILE", ""}, Cr{"CARRIAGE RETURN", ""},
    Lf{"LINE FEED", ""}, Slash{"SLASH", ""}, Dot{"DOT", ""}, Equals{"EQUALS", ""},
    Comment{"COMMENT", ""};
std::pair<std::string, std::string> Num(int digits)
{
    return {std::to_string(digits) + " DIGIT NUMBER", ""};
}
std::pair<std::string, std::string> Word(const std::string &w)
{
    return {"ASCII STRING", w};
}

TEST(TokenBoundaries, DatesNumbersWordsLineEndsAndRestsOfLines)
{
    const struct {
        std::string bytes;
        Tokens tokens;
        bool restOfLine = false;
    } cases[] = {
        {"12/31/99", {Num(2), Slash, Num(2), Slash, Num(2), Eof}},
        {"10.25", {Num(2), Dot, Num(2), Eof}},
        // Nine digits are still a number; "3M" and ten digits are words, as the report
        // tool's integration test shows with WORDS.NAV.
        {"123456789", {Num(9), Eof}},
        {"NAME=X", {Word("NAME"), Equals, Word("X"), Eof}},
        {" \t01/15/99\tDIV = .10",
         {Num(2), Slash, Num(2), Slash, Num(2), Word("DIV"), Equals, Dot, Num(2), Eof}},
        // ";" alone is a comment token; inside a word it belongs to the word, as digits do.
        {";abc", {Comment, Word("abc"), Eof}},
        {"a;b x9y", {Word("a;b"), Word("x9y"), Eof}},
        {"12ab3.5", {Word("12ab3"), Dot, Num(1), Eof}},
        {"x/y.z=w", {Word("x"), Slash, Word("y"), Dot, Word("z"), Equals, Word("w"), Eof}},
        {"12,5", {Num(2), Word(",5"), Eof}},
        // Each form of line end is exactly one token.
        {"a\r\nb\rc\nd", {Word("a"), Cr, Word("b"), Cr, Word("c"), Lf, Word("d"), Eof}},
        {"\r\r\n\n\r", {Cr, Cr, Lf, Cr, Eof}},
        {"\n\r", {Lf, Cr, Eof}},
        {"5\r", {Num(1), Cr, Eof}},
        {"", {Eof}},
        // Tokens across the end of the first fill (the report tool's integration test has
        // line ends there, in a file whose later line numbers and dates show them).
        {std::string(508, ' ') + "ABCDEFGH", {Word("ABCDEFGH"), Eof}},
        {std::string(510, ' ') + "1234/5", {Num(4), Slash, Num(1), Eof}},
        // The rest of a line keeps its inner and trailing blanks and leaves the line end; an
        // empty line gives its line end, the file's end END OF FILE.
        {"  Fund  Name \t\r\nnext\n\n",
         {Word("Fund  Name \t"), Cr, Word("next"), Lf, Lf, Eof}, true},
        {" ;=/.x y\rz", {Word(";=/.x y"), Cr, Word("z"), Eof}, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TokensOf(c.bytes, c.restOfLine), c.tokens) << c.bytes.substr(0, 20);
    EXPECT_TRUE(Messages.empty());
}

TEST(LongTokens, AreCutAt511CharactersAndReportedOnce)
{
    // Long words, numbers and names are cut and reported in the report tool's integration
    // test; digits running into letters make one word, still reported once.
    EXPECT_EQ(TokensOf(std::string(600, '7') + "abc\n"),
              (Tokens{Word(std::string(511, '7')), Lf, Eof}));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Error: T.NAV(1): token too long"}));
}

// Decimals of one tenth with the sign last come back bit for bit in the opt file's round
// trip; here the digit limits at their edges and the largest decimal.
TEST(Numbers, DigitLimitsAndWarningsAndTheLargestDecimal)
{
    char text[TOKEN_BUFFER_SIZE];
    OpenText("123456 1234 42 999999 9 0\n");
    EXPECT_EQ(GetNumber("opt", 4, 6, text), 123456u);
    EXPECT_EQ(GetNumber("opt", 4, 2, text), 1234u);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Warning: opt(4): too many digits"}));
    EXPECT_EQ(GetNumber("opt", 4, 2, text), 42u);
    EXPECT_EQ(GetDecimal("opt", 1, text), 999999.9);
    EXPECT_EQ(Messages.size(), 1u);
    IoClose();
}

// Unexpected numbers, words, line ends and the end of the file, each warned about and the
// line end left for the caller, are the opt file tests' bad lines.
TEST(Numbers, ALoneCrAtTheEndOfAFillIsNotLostAndAPendingLineEndStaysWithItsFile)
{
    // A lone CR at the end of a fill cannot be pushed back through the buffer once the
    // next fill is read, and must not be lost.
    char text[TOKEN_BUFFER_SIZE];
    OpenText(std::string(511, ' ') + "\rZ");
    EXPECT_EQ(GetNumber("opt", 1, 6, text), 0u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Warning: opt(1): unexpected token: CARRIAGE RETURN"}));
    EXPECT_EQ(GetToken("opt", 1, text), TOKEN_CARRIAGE_RETURN);
    EXPECT_EQ(GetToken("opt", 2, text), TOKEN_STRING);
    EXPECT_STREQ(text, "Z");
    IoClose();

    // A line end left pending when the number was not found stays with its file.
    OpenText("x\n");
    EXPECT_EQ(GetNumber("opt", 1, 6, text), 0u);
    IoClose();
    // A new file starts with its own first token, whoever forgot to reset.
    std::string path = WriteFile(MakeTempDir(), "N", "7");
    ASSERT_EQ(IoOpen(path.c_str(), IO_GENERIC_READ, Buffer), 1);
    EXPECT_EQ(GetToken("N", 1, text), TOKEN_NUMBER_1);
    IoClose();
}

}  // namespace
