// The side files: PRTFOLIO, SETTINGS and Index read with their exact warnings, written
// and read back, and writes (the opt cache's too) that fail without costing the file
// stored before.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

class SideFiles : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeDataDir(); }
    std::string Path(const char *name) const { return dir + "/" + name; }
    // Writes the file and reads it with read, no message left from before.
    void Read(const char *name, const std::string &bytes, void (*read)(void))
    {
        ClearMessages();
        WriteFile(dir, name, bytes);
        read();
    }

    std::string dir;
};

void SetIndex(FundRecord *f, const char *name)
{
    FreeBlock(f->indexName);
    f->indexName = CopyString(name, strlen(name));
}

// The fifteen leading bytes of SETTINGS, in file order.
std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += (char)v;
    return s;
}

const std::string DefaultBytes = Bytes({1, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0});

// The view state as the fifteen leading bytes of SETTINGS would hold it.
std::string ViewBytes()
{
    return Bytes({(int)ZoomOn, (int)LinearScale, ShowMovingAverage, ShowBollinger,
                  ShowDistributions, CategorySort, (int)ChartKind, (int)CombinedGraphs,
                  GroupMode, ShowBenchmark, ShowRsi, ShowMacd, MagnifyMacd, ShowRoc,
                  OverlaidGraphs});
}

}  // namespace

// ---------------------------------------------------------------------------------------
// PRTFOLIO

TEST_F(SideFiles, PortfolioReadMarksTheNamedFundsAndWarns)
{
    const std::string premature = "Warning: " + Path("PRTFOLIO") + ": Premature end of file.";
    // Forty missing names of 40 characters: the message box keeps 511 characters, the
    // list itself was bounded before that.
    std::string lines, list;
    for (int i = 0; i < 40; i++) {
        std::string name = "MISSING" + std::to_string(100 + i) + std::string(30, 'Q');
        lines += name + "\r\n";
        list += (i ? ", " : "") + name;
    }
    struct Case {
        std::string bytes;
        const char *inPortfolio;  // one letter per fund AAA, BBB, CCC: 1 = marked
        Texts messages;
    } cases[] = {
        // Names match in any case (a count promising more lines than there are is the
        // analysis integration test's). Every kind of line end; the last line ends with
        // the file and is still taken.
        {std::string("\x04\x00", 2) + "bbb\r\nZZZ\nYyY\rAaA", "110",
         {"Warning: Portfolio fund(s) not found: ZZZ, YyY."}},
        // An empty line ends the list.
        {std::string("\x03\x00", 2) + "AAA\r\n\r\nBBB\r\n", "100", {}},
        // No count or half of one.
        {std::string(), "000", {premature}},
        {std::string("\x01", 1), "000", {premature}},
        // 511 characters and three more do not fit the list of missing names, so it stays
        // empty; the rest of the long line is not taken as the next name.
        {std::string("\x02\x00", 2) + std::string(600, 'N') + "\r\naaa\r\n", "100",
         {"Warning: Portfolio fund(s) not found: ."}},
        {std::string("\x28\x00", 2) + lines, "000",
         {("Warning: Portfolio fund(s) not found: " + list + ".").substr(0, 511)}},
    };
    for (const Case &c : cases) {
        NamedFunds({"AAA", "BBB", "CCC"});
        Read("PRTFOLIO", c.bytes, ReadPortfolioFile);
        std::string marked;
        for (uint32_t i = 0; i < FundCount; i++)
            marked += (FundTable[i].flags & FUND_IN_PORTFOLIO) ? '1' : '0';
        EXPECT_EQ(marked, c.inPortfolio) << c.bytes.size();
        EXPECT_EQ(MessageTexts(), c.messages) << c.bytes.size();
    }
}

TEST_F(SideFiles, PortfolioWrittenLowByteFirstAndReadBack)
{
    // 258 portfolio funds: the count needs both bytes (2 + 1 x 256).
    std::vector<std::string> names;
    std::string expected("\x02\x01", 2);
    for (int i = 0; i < 260; i++) {
        names.push_back("F" + std::to_string(1000 + i));
        expected += i < 258 ? names.back() + "\r\n" : "";
    }
    NamedFunds(names);
    for (int i = 0; i < 258; i++)
        FundTable[i].flags |= FUND_IN_PORTFOLIO;
    WritePortfolioFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(Path("PRTFOLIO")), expected);
    EXPECT_NE(access(Path("PRTFOLIO.tmp").c_str(), F_OK), 0);

    NamedFunds(names);  // read back onto fresh records
    ReadPortfolioFile();
    EXPECT_TRUE(Messages.empty());
    for (int i = 0; i < 260; i++)
        EXPECT_EQ((FundTable[i].flags & FUND_IN_PORTFOLIO) != 0, i < 258) << i;
}

// ---------------------------------------------------------------------------------------
// SETTINGS

TEST_F(SideFiles, SettingsBadOrShortBytesKeepWhatCameBefore)
{
    const std::string illegal =
        "Warning: " + Path("SETTINGS") + "(1): Syntax error, \"illegal byte value\".";
    const std::string premature = "Warning: " + Path("SETTINGS") + ": Premature end of file.";
    struct Case {
        std::string bytes, view;  // the file; the fifteen view bytes after reading it
        std::string message;
    } cases[] = {
        // Bytes 0-5 all differ from the defaults; byte 6 (ChartKind) is 27, past the last
        // chart, which stops the read: ChartKind and everything after it (byte 7 would
        // set CombinedGraphs) stay at the defaults.
        {Bytes({0, 1, 0, 1, 1, 0, 27, 1, 1, 1}) + " SPX",
         Bytes({0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}), illegal},
        // A flag byte (ShowBenchmark) of 2: bytes 0-8 as read, the rest at the defaults.
        {Bytes({1, 0, 1, 0, 0, 1, 23, 1, 1, 2, 1}),
         Bytes({1, 0, 1, 0, 0, 1, 23, 1, 1, 0, 0, 0, 0, 0, 0}), illegal},
        // All fifteen bytes and nothing after: the unzip field has no blank.
        {Bytes({0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 1}),
         Bytes({0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 1}), premature},
        // Three bytes: the ones after the end keep their default values.
        {Bytes({0, 1, 0}), Bytes({0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}), premature},
    };
    for (const Case &c : cases) {
        ResetViewState();
        Read("SETTINGS", c.bytes, ReadSettingsFile);
        EXPECT_EQ(MessageTexts(), Texts({c.message})) << c.bytes.size();
        EXPECT_EQ(ViewBytes(), c.view) << c.bytes.size();
    }
}

TEST_F(SideFiles, SettingsUnzipProgramAndDefaultBenchmark)
{
    NamedFunds({"AAA", "spx"});
    // Each row reads on top of the one before: just the blank touches neither field, a
    // benchmark that names no loaded fund becomes empty, and an unzip program that ends
    // with the file is taken with a warning.
    const std::string premature = "Warning: " + Path("SETTINGS") + ": Premature end of file.";
    const char *cases[][4] = {{"C:\\tools\\unzip.exe SPX", "C:\\tools\\unzip.exe", "SPX", ""},
                              {" ", "C:\\tools\\unzip.exe", "SPX", ""},
                              {" GONE", "C:\\tools\\unzip.exe", "", ""},
                              {"D:\\unzip.exe", "D:\\unzip.exe", "", "premature"},
                              {" SPX", "D:\\unzip.exe", "SPX", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        Read("SETTINGS", DefaultBytes + c[0], ReadSettingsFile);
        EXPECT_EQ(MessageTexts(), Texts(*c[3] ? 1 : 0, premature));
        EXPECT_STREQ(UnzipProgram, c[1]);
        EXPECT_STREQ(DefaultBenchmark, c[2]);
    }
}

TEST_F(SideFiles, SettingsWrittenAndReadBackGiveTheSameViewState)
{
    NamedFunds({"AAA", "SPX"});
    // Every field off its default, so that the reset below must restore each one.
    ZoomOn = 0, LinearScale = 1, ShowMovingAverage = 0, ShowBollinger = 1;
    ShowDistributions = 1, CategorySort = 0, ChartKind = 12, CombinedGraphs = 1;
    GroupMode = ShowBenchmark = ShowRsi = ShowMacd = MagnifyMacd = ShowRoc = OverlaidGraphs = 1;
    SetUnzipProgram("C:\\unzip.exe");
    strcpy(DefaultBenchmark, "SPX");
    WriteSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")),
              Bytes({0, 1, 0, 1, 1, 0, 12, 1, 1, 1, 1, 1, 1, 1, 1}) + "C:\\unzip.exe SPX");

    std::string written = ViewBytes();
    ResetViewState();
    ReadSettingsFile();
    EXPECT_EQ(ViewBytes(), written);

    // The defaults with nothing set: fifteen bytes and the blank.
    ResetViewState();
    WriteSettingsFile();
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")), DefaultBytes + " ");

    // An unzip path with a blank is not stored: the blank would end the path and turn
    // the rest into the benchmark's name.
    SetUnzipProgram("C:\\Program Files\\unzip.exe");
    strcpy(DefaultBenchmark, "SPX");
    WriteSettingsFile();
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")), DefaultBytes + " SPX");
}

// ---------------------------------------------------------------------------------------
// Index

TEST_F(SideFiles, IndexAssignsLoadedIndexFundsAndQuotesBadLinesWithTheirEnds)
{
    // Lines without both names are quoted with their line end (the last line has none)
    // and the lines after them still read. CCC's index is not loaded: its old one is
    // cleared, with a warning.
    NamedFunds({"AAA", "BBB", "SPX", "CCC"});
    SetIndex(&FundTable[3], "SPX");
    Read("Index", "NOEQUALS\n=SPX\nAAA=\n\nAAA=SPX\nbbb=spx\r\nNOTLOADED=SPX\nCCC=GONE\nLAST",
         ReadIndexFile);
    const std::string at = "Warning: " + Path("Index");
    EXPECT_EQ(MessageTexts(), Texts({at + "(1): Syntax error: NOEQUALS\n",
                                     at + "(2): Syntax error: =SPX\n",
                                     at + "(3): Syntax error: AAA=\n",
                                     at + "(4): Syntax error: \n",
                                     "Warning: Can't find index GONE for fund CCC.",
                                     at + "(9): Syntax error: LAST"}));
    EXPECT_EQ(FundTable[3].indexName, nullptr);
    EXPECT_STREQ(FundTable[0].indexName, "SPX");
    EXPECT_STREQ(FundTable[1].indexName, "spx") << "the file's own spelling is kept";
    EXPECT_EQ(FundTable[2].indexName, nullptr);

    // Names are cut to 39 characters; line 2 is 600 characters: the 89 past the first 511
    // must not come back as a line.
    const std::string name39(39, 'L');
    NamedFunds({name39, "AAA", "SPX"});
    Read("Index", name39 + "LLLLLL=SPX" + std::string(40, 'X') + "\nAAA=" +
                      std::string(596, 'S') + "\nBAD\n",
         ReadIndexFile);
    const std::string cutIndex = ("SPX" + std::string(40, 'X')).substr(0, 39);
    EXPECT_EQ(MessageTexts(),
              Texts({"Warning: Can't find index " + cutIndex + " for fund " + name39 + ".",
                     "Warning: Can't find index " + std::string(39, 'S') + " for fund AAA.",
                     at + "(3): Syntax error: BAD\n"}));
}

TEST_F(SideFiles, IndexWrittenSortedByShortNameAndTheTableKeepsItsOrder)
{
    NamedFunds({"ZED", "abc", "NOIDX", "Mid", "ABC", "SPX"});
    const char *index[] = {"SPX", "SPX", nullptr, "spx", "Mid", nullptr};
    for (int i = 0; i < 6; i++)
        if (index[i])
            SetIndex(&FundTable[i], index[i]);
    WriteIndexFile();
    EXPECT_TRUE(Messages.empty());
    // abc and ABC compare equal and keep their table order.
    EXPECT_EQ(ReadWholeFile(Path("Index")), "abc=SPX\nABC=Mid\nMid=spx\nZED=SPX\n");
    const char *order[] = {"ZED", "abc", "NOIDX", "Mid", "ABC", "SPX"};
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(FundTable[i].shortName, order[i]);
}

// ---------------------------------------------------------------------------------------
// All three

TEST_F(SideFiles, MissingFilesAreSilentAndChangeNothing)
{
    NamedFunds({"AAA", "SPX"});
    ChartKind = 4;
    ReadPortfolioFile();
    ReadSettingsFile();
    ReadIndexFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(FundTable[0].flags & FUND_IN_PORTFOLIO);
    EXPECT_EQ(ChartKind, 4u);
    EXPECT_EQ(FundTable[0].indexName, nullptr);
}

// The opt cache's writer follows the same rule.
TEST_F(SideFiles, FailedWritesKeepTheOldFile)
{
    NamedFunds({"AAA", "SPX"});
    FundTable[0].flags |= FUND_IN_PORTFOLIO;
    SetIndex(&FundTable[0], "SPX");
    ChartKind = 5;
    OptimizedFlag = 1;
    struct Case {
        const char *name;
        void (*write)(void);
        std::string old;
        const char *message;  // null: the temporary file's open error, its code following
    } cases[] = {
        {"PRTFOLIO", WritePortfolioFile, std::string("\x01\x00", 2) + "OLD\r\n", nullptr},
        {"SETTINGS", WriteSettingsFile, DefaultBytes + "OLD.EXE SPX", nullptr},
        {"Index", WriteIndexFile, "OLD=SPX\n", "Warning: Can't create INDEX file"},
        {"opt", WriteOptFile, "OLD 1 2 3 4 5\r\n", nullptr},
    };
    for (const Case &c : cases) {
        ClearMessages();
        WriteFile(dir, c.name, c.old);
        // The temporary name is taken by a directory: the file cannot be created.
        ASSERT_EQ(mkdir(Path((std::string(c.name) + ".tmp").c_str()).c_str(), 0755), 0);
        c.write();
        EXPECT_EQ(ReadWholeFile(Path(c.name)), c.old) << c.name;
        ASSERT_EQ(Messages.size(), 1u) << c.name;
        std::string open = "Error: Can't open " + Path(c.name) + ".tmp, GetLastError=";
        EXPECT_EQ(c.message ? Messages[0].text : Messages[0].text.substr(0, open.size()),
                  c.message ? c.message : open) << c.name;
    }
    EXPECT_EQ(OptimizedFlag, 1) << "a failed write must be retried later";

    // A data directory that does not exist: nothing is written anywhere.
    ClearMessages();
    ASSERT_EQ(SetDataDir((dir + "/gone").c_str()), 1);
    WriteSettingsFile();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_NE(access((dir + "/gone").c_str(), F_OK), 0);
}
