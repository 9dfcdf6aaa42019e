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
    std::string path = WriteFile(MakeTempDir(), "T.NAV", bytes);
    static std::string kept;
    kept = path;
    ASSERT_EQ(IoOpen(kept.c_str(), IO_GENERIC_READ, Buffer), 1);
    ResetTokenizer();
}

// Every token up to and including the end of file, as (display name, text).
Tokens TokensOf(const std::string &bytes)
{
    OpenText(bytes);
    Tokens tokens;
    char text[TOKEN_BUFFER_SIZE];
    for (int i = 0; i < 10000; i++) {
        int kind = GetToken("T.NAV", 1, text);
        tokens.push_back({TokenName(kind), kind == TOKEN_STRING ? text : ""});
        if (kind == TOKEN_END_OF_FILE)
            break;
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

TEST(TokenBoundaries, DatesNumbersAndWords)
{
    EXPECT_EQ(TokensOf("12/31/99"), (Tokens{Num(2), Slash, Num(2), Slash, Num(2), Eof}));
    EXPECT_EQ(TokensOf("10.25"), (Tokens{Num(2), Dot, Num(2), Eof}));
    EXPECT_EQ(TokensOf("3M"), (Tokens{Word("3M"), Eof}));
    EXPECT_EQ(TokensOf("1234567890"), (Tokens{Word("1234567890"), Eof}));
    EXPECT_EQ(TokensOf("123456789"), (Tokens{Num(9), Eof}));
    EXPECT_EQ(TokensOf("NAME=X"), (Tokens{Word("NAME"), Equals, Word("X"), Eof}));
    EXPECT_EQ(TokensOf(" \t01/15/99\tDIV = .10"),
              (Tokens{Num(2), Slash, Num(2), Slash, Num(2), Word("DIV"), Equals, Dot, Num(2),
                      Eof}));
    // ";" alone is a comment token; inside a word it belongs to the word, as digits do.
    EXPECT_EQ(TokensOf(";abc"), (Tokens{Comment, Word("abc"), Eof}));
    EXPECT_EQ(TokensOf("a;b x9y"), (Tokens{Word("a;b"), Word("x9y"), Eof}));
    EXPECT_EQ(TokensOf("12ab3.5"), (Tokens{Word("12ab3"), Dot, Num(1), Eof}));
    EXPECT_EQ(TokensOf("x/y.z=w"), (Tokens{Word("x"), Slash, Word("y"), Dot, Word("z"), Equals,
                                           Word("w"), Eof}));
    EXPECT_EQ(TokensOf("12,5"), (Tokens{Num(2), Word(",5"), Eof}));
    EXPECT_TRUE(Messages.empty());
}

TEST(TokenBoundaries, DigitSlotsHoldTheLastNumber)
{
    OpenText("907 123456789");
    char text[TOKEN_BUFFER_SIZE];
    EXPECT_EQ(GetToken("T", 1, text), TOKEN_NUMBER_1 + 2);
    EXPECT_EQ(DigitSlotsValue(3), 907u);
    EXPECT_EQ(TokenDigitSlots[1], 0);
    EXPECT_EQ(GetToken("T", 1, text), TOKEN_NUMBER_9);
    EXPECT_EQ(DigitSlotsValue(9), 123456789u);
    EXPECT_STREQ(text, "123456789");
    IoClose();
}

TEST(LineEnds, EachFormIsExactlyOneToken)
{
    EXPECT_EQ(TokensOf("a\r\nb\rc\nd"),
              (Tokens{Word("a"), Cr, Word("b"), Cr, Word("c"), Lf, Word("d"), Eof}));
    EXPECT_EQ(TokensOf("\r\r\n\n\r"), (Tokens{Cr, Cr, Lf, Cr, Eof}));
    EXPECT_EQ(TokensOf("\n\r"), (Tokens{Lf, Cr, Eof}));
    EXPECT_EQ(TokensOf("5\r"), (Tokens{Num(1), Cr, Eof}));
    EXPECT_EQ(TokensOf("NAME"), (Tokens{Word("NAME"), Eof}));
    EXPECT_EQ(TokensOf(""), (Tokens{Eof}));
}

TEST(LineEnds, ACrLfPairSplitByTheBufferBoundaryIsStillOneToken)
{
    // 511 blanks put the CR at the last byte of the first fill and the LF at the first
    // of the next; a lone CR there pushes the next fill's first byte back.
    EXPECT_EQ(TokensOf(std::string(511, ' ') + "\r\nX"), (Tokens{Cr, Word("X"), Eof}));
    EXPECT_EQ(TokensOf(std::string(511, ' ') + "\rX"), (Tokens{Cr, Word("X"), Eof}));
    EXPECT_EQ(TokensOf(std::string(508, ' ') + "ABCDEFGH"), (Tokens{Word("ABCDEFGH"), Eof}));
    EXPECT_EQ(TokensOf(std::string(510, ' ') + "1234/5"), (Tokens{Num(4), Slash, Num(1), Eof}));
    EXPECT_TRUE(Messages.empty());
}

TEST(LongTokens, AreCutAt511CharactersAndReportedOnce)
{
    Tokens t = TokensOf(std::string(600, 'w') + " next");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0], Word(std::string(511, 'w')));
    EXPECT_EQ(t[1], Word("next"));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Error: T.NAV(1): token too long"}));

    ClearMessages();
    t = TokensOf(std::string(600, '7') + "=");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0], Word(std::string(511, '7')));
    EXPECT_EQ(t[1], Equals);
    EXPECT_EQ(Messages.size(), 1u);

    // Digits running into letters make one word, still reported once.
    ClearMessages();
    t = TokensOf(std::string(600, '7') + "abc\n");
    EXPECT_EQ(t, (Tokens{Word(std::string(511, '7')), Lf, Eof}));
    EXPECT_EQ(Messages.size(), 1u);
}

TEST(RestOfLine, KeepsInnerAndTrailingBlanksAndLeavesTheLineEnd)
{
    OpenText("  Fund  Name \t\r\nnext\n\n");
    char text[TOKEN_BUFFER_SIZE];
    EXPECT_EQ(GetRestOfLine("T", 1, text), TOKEN_STRING);
    EXPECT_STREQ(text, "Fund  Name \t");
    EXPECT_EQ(GetToken("T", 1, text), TOKEN_CARRIAGE_RETURN);
    EXPECT_EQ(GetRestOfLine("T", 2, text), TOKEN_STRING);
    EXPECT_STREQ(text, "next");
    EXPECT_EQ(GetToken("T", 2, text), TOKEN_LINE_FEED);
    EXPECT_EQ(GetRestOfLine("T", 3, text), TOKEN_LINE_FEED);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(GetRestOfLine("T", 4, text), TOKEN_END_OF_FILE);
    IoClose();

    OpenText(" ;=/.x y\rz");
    EXPECT_EQ(GetRestOfLine("T", 1, text), TOKEN_STRING);
    EXPECT_STREQ(text, ";=/.x y");
    EXPECT_EQ(GetToken("T", 1, text), TOKEN_CARRIAGE_RETURN);
    IoClose();

    OpenText(std::string(700, 'n') + "\nafter");
    EXPECT_EQ(GetRestOfLine("T", 9, text), TOKEN_STRING);
    EXPECT_EQ(std::string(text), std::string(511, 'n'));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Error: T(9): token too long"}));
    EXPECT_EQ(GetToken("T", 9, text), TOKEN_LINE_FEED);
    IoClose();
}

TEST(Numbers, DigitLimitsAndWarnings)
{
    char text[TOKEN_BUFFER_SIZE];
    OpenText("7 123456 1234 42\n");
    EXPECT_EQ(GetNumber("opt", 4, 1, text), 7u);
    EXPECT_EQ(GetNumber("opt", 4, 6, text), 123456u);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(GetNumber("opt", 4, 2, text), 1234u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].caption, "Vantry Warning");
    EXPECT_EQ(Messages[0].text, "Warning: opt(4): too many digits");
    EXPECT_EQ(GetNumber("opt", 4, 2, text), 42u);
    IoClose();
}

TEST(Numbers, AnUnexpectedTokenSkipsToTheLineEndAndLeavesIt)
{
    char text[TOKEN_BUFFER_SIZE];
    OpenText("1234567 rest of line\r\nabc def\nX=\n");
    EXPECT_EQ(GetNumber("opt", 2, 6, text), 0u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Warning: opt(2): unexpected token: 7 DIGIT NUMBER"}));
    EXPECT_EQ(GetToken("opt", 2, text), TOKEN_CARRIAGE_RETURN);
    ClearMessages();
    EXPECT_EQ(GetNumber("opt", 3, 6, text), 0u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Warning: opt(3): unexpected token: ASCII STRING \"abc\""}));
    EXPECT_EQ(GetToken("opt", 3, text), TOKEN_LINE_FEED);
    EXPECT_EQ(GetToken("opt", 4, text), TOKEN_STRING);
    EXPECT_EQ(GetToken("opt", 4, text), TOKEN_EQUALS);
    // The line end itself is unexpected, and still left for the caller.
    ClearMessages();
    EXPECT_EQ(GetNumber("opt", 4, 6, text), 0u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Warning: opt(4): unexpected token: LINE FEED"}));
    EXPECT_EQ(GetToken("opt", 4, text), TOKEN_LINE_FEED);
    ClearMessages();
    EXPECT_EQ(GetNumber("opt", 5, 6, text), 0u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Warning: opt(5): unexpected token: END OF FILE"}));
    EXPECT_EQ(GetToken("opt", 5, text), TOKEN_END_OF_FILE);
    IoClose();
}

TEST(Numbers, ALineEndLeftAtTheBufferBoundaryIsNotLost)
{
    // A lone CR as the last byte of a fill cannot be pushed back through the buffer.
    char text[TOKEN_BUFFER_SIZE];
    OpenText(std::string(511, ' ') + "\rZ");
    EXPECT_EQ(GetNumber("opt", 1, 6, text), 0u);
    EXPECT_EQ(GetToken("opt", 1, text), TOKEN_CARRIAGE_RETURN);
    EXPECT_EQ(GetToken("opt", 2, text), TOKEN_STRING);
    EXPECT_STREQ(text, "Z");
    EXPECT_EQ(Messages.size(), 1u);
    IoClose();
}

TEST(Numbers, APendingLineEndStaysWithItsFile)
{
    char text[TOKEN_BUFFER_SIZE];
    OpenText("x\n");
    EXPECT_EQ(GetNumber("opt", 1, 6, text), 0u);
    IoClose();
    // A new file starts with its own first token, whoever forgot to reset.
    std::string path = WriteFile(MakeTempDir(), "N", "7");
    ASSERT_EQ(IoOpen(path.c_str(), IO_GENERIC_READ, Buffer), 1);
    EXPECT_EQ(GetToken("N", 1, text), TOKEN_NUMBER_1);
    IoClose();
}

TEST(Numbers, DecimalsHaveOneTenthAndTheSignLast)
{
    char text[TOKEN_BUFFER_SIZE];
    OpenText("12 5 1 3 0 0 999999 9 0\n");
    EXPECT_EQ(GetDecimal("opt", 1, text), -12.5);
    EXPECT_EQ(GetDecimal("opt", 1, text), 3.0);
    EXPECT_EQ(GetDecimal("opt", 1, text), 999999.9);
    EXPECT_TRUE(Messages.empty());
    IoClose();
}

TEST(TokenNames, DisplayNames)
{
    EXPECT_STREQ(TokenName(TOKEN_END_OF_FILE), "END OF FILE");
    EXPECT_STREQ(TokenName(TOKEN_NUMBER_1 + 4), "5 DIGIT NUMBER");
    EXPECT_STREQ(TokenName(TOKEN_DOT), "DOT");
    EXPECT_STREQ(TokenName(TOKEN_SLASH), "SLASH");
    EXPECT_STREQ(TokenName(TOKEN_COMMENT), "COMMENT");
    EXPECT_STREQ(TokenName(0), "");
}

}  // namespace
