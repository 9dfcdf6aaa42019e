// The help texts: where lines end, and reading KEYHELP and README from the data directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/helptext.h"
#include "data/alloc.h"
#include "data/load.h"
#include "test_support.h"

namespace {

// The lines of a text as strings, through the same two calls the reader makes.
std::vector<std::string> Lines(const std::string &text)
{
    uint32_t count = CountHelpLines(text.data(), (uint32_t)text.size());
    std::vector<HelpLine> table(count + 1, HelpLine{0xDEAD, 0xDEAD});
    FillHelpLines(text.data(), (uint32_t)text.size(), table.data());
    // The entry past the count is a sentinel: the filler must not write it.
    EXPECT_EQ(0xDEADu, table[count].offset);
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < count; i++)
        lines.push_back(text.substr(table[i].offset, table[i].length));
    return lines;
}

TEST(HelpTextLines, CarriageReturnsEndLinesAndTakeOneFollowingLineFeed)
{
    const struct {
        const char *text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}}, {"one", {"one"}}, {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\r\ntwo", {"one", "two"}}, {"one\rtwo\r", {"one", "two"}},
        // Blank lines in the middle count; only the end of the text adds no empty line.
        {"a\r\n\r\nb\r\n", {"a", "", "b"}}, {"\r\r", {"", ""}},
        // Only one line feed goes with a carriage return; a second one starts the next line.
        {"a\r\n\nb", {"a", "\nb"}},
        // Line feeds alone end no line; one before the carriage return stays in its line.
        {"first\nsecond\nthird\n", {"first\nsecond\nthird\n"}}, {"a\n\rb", {"a\n", "b"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << c.text;
}

class HelpTextRead : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeDataDir(); }
    void TearDown() override { FreeHelpText(&help); }
    std::string dir;
    HelpText help = {};
};

TEST_F(HelpTextRead, ReadsTheWholeFileWithItsLineTableCountedAndReplacesItOnTheNextRead)
{
    WriteFile(dir, "README", "Vantry\r\n\r\nManual text\r\n");
    uint32_t before = DynamicMemoryUsed;
    ASSERT_EQ(1, ReadHelpText("README", "README", 1, &help));
    EXPECT_TRUE(Messages.empty());
    ASSERT_EQ(3u, help.count);
    EXPECT_EQ(23u, help.size);
    EXPECT_EQ("Manual text", std::string(help.text + help.lines[2].offset, help.lines[2].length));
    EXPECT_EQ(0u, help.lines[1].length);
    // 23 bytes of text and three 8-byte line entries.
    EXPECT_EQ(before + 23u + 24u, DynamicMemoryUsed);

    // Those go, and the new 3 bytes and 1 entry come.
    WriteFile(dir, "README", "new");
    ASSERT_EQ(1, ReadHelpText("README", "README", 1, &help));
    EXPECT_EQ(1u, help.count);
    EXPECT_EQ("new", std::string(help.text, help.size));
    EXPECT_EQ(before + 3u + 8u, DynamicMemoryUsed);
    FreeHelpText(&help);
    EXPECT_EQ(before, DynamicMemoryUsed);
    EXPECT_EQ(nullptr, help.text);
    EXPECT_EQ(0u, help.count);
}

TEST_F(HelpTextRead, AMissingOrEmptyKeyHelpIsSilentAndAMissingManualIsReported)
{
    for (bool empty : {false, true}) {
        if (empty)
            WriteFile(dir, "KEYHELP", "");
        EXPECT_EQ(0, ReadHelpText("KEYHELP", "KEYHELP", 0, &help)) << empty;
        EXPECT_TRUE(Messages.empty()) << empty;
        EXPECT_EQ(0u, help.count) << empty;
        EXPECT_EQ(nullptr, help.lines) << empty;
    }

    EXPECT_EQ(0, ReadHelpText("README", "README", 1, &help));
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ("Vantry WIN32 API Error", Messages[0].caption);
    EXPECT_EQ(0u, Messages[0].text.find("Error: Opening README file, GetLastError=0x00000002"))
        << Messages[0].text;
    EXPECT_EQ(nullptr, help.text);
}

}  // namespace
