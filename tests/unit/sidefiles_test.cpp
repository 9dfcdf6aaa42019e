// The side files: PRTFOLIO, SETTINGS and Index read with their exact warnings, written
// and read back, and writes that fail without costing the file stored before.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/viewstate.h"
#include "data/alloc.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Texts;

class SideFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetViewState();
        dir = MakeTempDir();
        ASSERT_EQ(SetDataDir(dir.c_str()), 1);
    }
    void TearDown() override { ResetViewState(); }

    // The fund table of a load, one zero-filled record per shortName.
    void Funds(const std::vector<std::string> &shortNames)
    {
        FundTable = (FundRecord *)AllocZero(shortNames.size(), sizeof(FundRecord));
        FundCount = (uint32_t)shortNames.size();
        for (size_t i = 0; i < shortNames.size(); i++)
            FundTable[i].shortName = CopyString(shortNames[i].c_str(), shortNames[i].size());
    }
    std::string Path(const char *name) const { return dir + "/" + name; }

    std::string dir;
};

bool InPortfolio(const char *shortName)
{
    const FundRecord *f = FindFund(shortName);
    return f && (f->flags & FUND_IN_PORTFOLIO);
}

void SetIndex(FundRecord *f, const char *name)
{
    FreeBlock(f->indexName);
    f->indexName = CopyString(name, strlen(name));
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
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

TEST_F(SideFiles, PortfolioCountBeyondTheLinesWarnsPrematureEnd)
{
    Funds({"AAA", "BBB", "CCC"});
    WriteFile(dir, "PRTFOLIO", std::string("\x03\x00", 2) + "aaa\r\nCcC\r\n");
    ReadPortfolioFile();
    EXPECT_TRUE(InPortfolio("AAA"));
    EXPECT_FALSE(InPortfolio("BBB"));
    EXPECT_TRUE(InPortfolio("CCC"));
    EXPECT_EQ(MessageTexts(), Texts({"Warning: " + Path("PRTFOLIO") + ": Premature end of file."}));
}

TEST_F(SideFiles, PortfolioListsTheNamesNotFound)
{
    Funds({"AAA", "BBB"});
    // Every kind of line end; the last line ends with the file and is still taken.
    WriteFile(dir, "PRTFOLIO", std::string("\x04\x00", 2) + "bbb\r\nZZZ\nYyY\rAaA");
    ReadPortfolioFile();
    EXPECT_TRUE(InPortfolio("AAA"));
    EXPECT_TRUE(InPortfolio("BBB"));
    EXPECT_EQ(MessageTexts(), Texts({"Warning: Portfolio fund(s) not found: ZZZ, YyY."}));
}

TEST_F(SideFiles, PortfolioEmptyLineEndsTheList)
{
    Funds({"AAA", "BBB"});
    WriteFile(dir, "PRTFOLIO", std::string("\x03\x00", 2) + "AAA\r\n\r\nBBB\r\n");
    ReadPortfolioFile();
    EXPECT_TRUE(InPortfolio("AAA"));
    EXPECT_FALSE(InPortfolio("BBB"));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(SideFiles, PortfolioTruncatedCountOrMissingFile)
{
    Funds({"AAA"});
    ReadPortfolioFile();
    EXPECT_TRUE(Messages.empty()) << "a missing file is silent";
    const std::string premature = "Warning: " + Path("PRTFOLIO") + ": Premature end of file.";
    for (const std::string &bytes : {std::string(), std::string("\x01", 1)}) {
        ClearMessages();
        WriteFile(dir, "PRTFOLIO", bytes);
        ReadPortfolioFile();
        EXPECT_EQ(MessageTexts(), Texts({premature})) << bytes.size();
    }
    EXPECT_FALSE(InPortfolio("AAA"));
}

TEST_F(SideFiles, PortfolioManyMissingNamesStayInsideTheMessage)
{
    Funds({"AAA"});
    std::string lines, list;
    for (int i = 0; i < 40; i++) {
        std::string name = "MISSING" + std::to_string(100 + i) + std::string(30, 'Q');
        lines += name + "\r\n";
        list += (i ? ", " : "") + name;
    }
    WriteFile(dir, "PRTFOLIO", std::string("\x28\x00", 2) + lines);
    ReadPortfolioFile();
    ASSERT_EQ(Messages.size(), 1u);
    // The box keeps 511 characters; the list itself was bounded before that.
    std::string full = "Warning: Portfolio fund(s) not found: " + list + ".";
    EXPECT_EQ(Messages[0].text, full.substr(0, 511));
}

TEST_F(SideFiles, PortfolioLongLineKeeps511Characters)
{
    // 511 characters and three more do not fit the list of missing names, so it stays
    // empty; the rest of the long line is not taken as the next name.
    Funds({"AAA"});
    WriteFile(dir, "PRTFOLIO",
              std::string("\x02\x00", 2) + std::string(600, 'N') + "\r\naaa\r\n");
    ReadPortfolioFile();
    EXPECT_TRUE(InPortfolio("AAA"));
    EXPECT_EQ(MessageTexts(), Texts({"Warning: Portfolio fund(s) not found: ."}));
}

TEST_F(SideFiles, PortfolioWrittenLowByteFirstAndReadBack)
{
    // 258 portfolio funds: the count needs both bytes (2 + 1 x 256).
    std::vector<std::string> names;
    for (int i = 0; i < 260; i++)
        names.push_back("F" + std::to_string(1000 + i));
    Funds(names);
    for (int i = 0; i < 258; i++)
        FundTable[i].flags |= FUND_IN_PORTFOLIO;
    WritePortfolioFile();
    EXPECT_TRUE(Messages.empty());
    std::string expected("\x02\x01", 2);
    for (int i = 0; i < 258; i++)
        expected += "F" + std::to_string(1000 + i) + "\r\n";
    EXPECT_EQ(ReadWholeFile(Path("PRTFOLIO")), expected);
    EXPECT_FALSE(Exists(Path("PRTFOLIO.tmp")));

    for (uint32_t i = 0; i < FundCount; i++)
        FundTable[i].flags &= ~FUND_IN_PORTFOLIO;
    ReadPortfolioFile();
    EXPECT_TRUE(Messages.empty());
    for (int i = 0; i < 260; i++)
        EXPECT_EQ((FundTable[i].flags & FUND_IN_PORTFOLIO) != 0, i < 258) << i;
}

TEST_F(SideFiles, PortfolioFailedWriteKeepsTheOldFile)
{
    Funds({"AAA"});
    FundTable[0].flags |= FUND_IN_PORTFOLIO;
    const std::string old = std::string("\x01\x00", 2) + "OLD\r\n";
    WriteFile(dir, "PRTFOLIO", old);
    ASSERT_EQ(mkdir(Path("PRTFOLIO.tmp").c_str(), 0755), 0);
    WritePortfolioFile();
    EXPECT_EQ(ReadWholeFile(Path("PRTFOLIO")), old);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind("Error: Can't open " + Path("PRTFOLIO.tmp"), 0), 0u);
}

// ---------------------------------------------------------------------------------------
// SETTINGS

TEST_F(SideFiles, SettingsIllegalChartKindStopsAfterTheBytesBefore)
{
    // Bytes 0-5 all differ from the defaults; byte 6 (ChartKind) is 15; byte 7 would
    // turn CombinedGraphs on.
    WriteFile(dir, "SETTINGS", Bytes({0, 1, 0, 1, 1, 0, 15, 1, 1, 1}) + " SPX");
    ReadSettingsFile();
    const std::string expected =
        "Warning: " + Path("SETTINGS") + "(1): Syntax error, \"illegal byte value\".";
    EXPECT_EQ(MessageTexts(), Texts({expected}));
    // Bytes 0-5 as read, ChartKind and everything after it at the defaults.
    EXPECT_EQ(ViewBytes(), Bytes({0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SideFiles, SettingsFlagByteOtherThanZeroOrOneIsIllegal)
{
    WriteFile(dir, "SETTINGS", Bytes({1, 0, 1, 0, 0, 1, 14, 1, 1, 2, 1}));
    ReadSettingsFile();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].text.find("illegal byte value"), std::string::npos);
    EXPECT_EQ(ChartKind, 14u);
    EXPECT_EQ(CombinedGraphs, 1u);
    EXPECT_EQ(GroupMode, 1);
    EXPECT_EQ(ShowBenchmark, 0);
    EXPECT_EQ(ShowRsi, 0);
}

TEST_F(SideFiles, SettingsEndingAtOrBeforeByteFourteenIsPremature)
{
    const std::string premature = "Warning: " + Path("SETTINGS") + ": Premature end of file.";
    // All fifteen bytes and nothing after: the unzip field has no blank.
    WriteFile(dir, "SETTINGS", Bytes({0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 1}));
    ReadSettingsFile();
    EXPECT_EQ(MessageTexts(), Texts({premature}));
    EXPECT_EQ(ChartKind, 9u);
    EXPECT_EQ(OverlaidGraphs, 1);

    ResetViewState();
    ClearMessages();
    WriteFile(dir, "SETTINGS", Bytes({0, 1, 0}));
    ReadSettingsFile();
    EXPECT_EQ(MessageTexts(), Texts({premature}));
    EXPECT_EQ(ZoomOn, 0u);
    EXPECT_EQ(LinearScale, 1u);
    EXPECT_EQ(ShowMovingAverage, 0);
    EXPECT_EQ(CategorySort, 1) << "bytes after the end keep their values";
}

TEST_F(SideFiles, SettingsUnzipProgramAndDefaultBenchmark)
{
    Funds({"AAA", "spx"});
    WriteFile(dir, "SETTINGS", DefaultBytes + "C:\\tools\\unzip.exe SPX");
    ReadSettingsFile();
    EXPECT_TRUE(Messages.empty());
    ASSERT_NE(UnzipProgram, nullptr);
    EXPECT_STREQ(UnzipProgram, "C:\\tools\\unzip.exe");
    EXPECT_STREQ(DefaultBenchmark, "SPX");

    // Just the blank: neither field is touched.
    WriteFile(dir, "SETTINGS", DefaultBytes + " ");
    ReadSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_STREQ(UnzipProgram, "C:\\tools\\unzip.exe");
    EXPECT_STREQ(DefaultBenchmark, "SPX");

    // A benchmark that names no loaded fund becomes empty.
    WriteFile(dir, "SETTINGS", DefaultBytes + " GONE");
    ReadSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_STREQ(DefaultBenchmark, "");

    // An unzip program that ends with the file is taken, with a warning.
    WriteFile(dir, "SETTINGS", DefaultBytes + "D:\\unzip.exe");
    ReadSettingsFile();
    EXPECT_EQ(MessageTexts(), Texts({"Warning: " + Path("SETTINGS") + ": Premature end of file."}));
    EXPECT_STREQ(UnzipProgram, "D:\\unzip.exe");
}

TEST_F(SideFiles, SettingsMissingFileKeepsTheViewState)
{
    ChartKind = 4;
    ReadSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ChartKind, 4u);
}

TEST_F(SideFiles, SettingsWrittenAndReadBackGiveTheSameViewState)
{
    Funds({"AAA", "SPX"});
    ZoomOn = 0;
    LinearScale = 1;
    ShowMovingAverage = 0;
    ShowBollinger = 0;
    ShowDistributions = 1;
    CategorySort = 0;
    ChartKind = 12;
    CombinedGraphs = 1;
    GroupMode = 1;
    ShowBenchmark = 1;
    ShowRsi = 0;
    ShowMacd = 1;
    MagnifyMacd = 1;
    ShowRoc = 0;
    OverlaidGraphs = 1;
    SetUnzipProgram("C:\\unzip.exe");
    strcpy(DefaultBenchmark, "SPX");
    WriteSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")),
              Bytes({0, 1, 0, 0, 1, 0, 12, 1, 1, 1, 0, 1, 1, 0, 1}) + "C:\\unzip.exe SPX");
    EXPECT_FALSE(Exists(Path("SETTINGS.tmp")));

    std::string written = ViewBytes();
    ResetViewState();
    ReadSettingsFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ViewBytes(), written);
    ASSERT_NE(UnzipProgram, nullptr);
    EXPECT_STREQ(UnzipProgram, "C:\\unzip.exe");
    EXPECT_STREQ(DefaultBenchmark, "SPX");

    // The defaults with nothing set: fifteen bytes and the blank.
    ResetViewState();
    WriteSettingsFile();
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")), DefaultBytes + " ");
}

TEST_F(SideFiles, SettingsUnzipPathWithABlankIsNotStored)
{
    // Stored, the blank would end the path and turn the rest into the benchmark's name.
    Funds({"SPX"});
    SetUnzipProgram("C:\\Program Files\\unzip.exe");
    strcpy(DefaultBenchmark, "SPX");
    WriteSettingsFile();
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")), DefaultBytes + " SPX");
    SetUnzipProgram(nullptr);
    DefaultBenchmark[0] = 0;
    ReadSettingsFile();
    EXPECT_EQ(UnzipProgram, nullptr);
    EXPECT_STREQ(DefaultBenchmark, "SPX");
}

TEST_F(SideFiles, SettingsFailedWriteKeepsTheOldFile)
{
    const std::string old = DefaultBytes + "OLD.EXE SPX";
    WriteFile(dir, "SETTINGS", old);
    ASSERT_EQ(mkdir(Path("SETTINGS.tmp").c_str(), 0755), 0);
    ChartKind = 5;
    WriteSettingsFile();
    EXPECT_EQ(ReadWholeFile(Path("SETTINGS")), old);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.rfind("Error: Can't open " + Path("SETTINGS.tmp"), 0), 0u);

    // A data directory that does not exist: nothing is written anywhere.
    ClearMessages();
    ASSERT_EQ(SetDataDir((dir + "/gone").c_str()), 1);
    WriteSettingsFile();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Exists(dir + "/gone"));
}

// ---------------------------------------------------------------------------------------
// Index

TEST_F(SideFiles, IndexAssignsLoadedIndexFunds)
{
    Funds({"AAA", "BBB", "SPX"});
    WriteFile(dir, "Index", "AAA=SPX\nbbb=spx\r\nNOTLOADED=SPX\n");
    ReadIndexFile();
    EXPECT_TRUE(Messages.empty());
    ASSERT_NE(FundTable[0].indexName, nullptr);
    EXPECT_STREQ(FundTable[0].indexName, "SPX");
    ASSERT_NE(FundTable[1].indexName, nullptr);
    EXPECT_STREQ(FundTable[1].indexName, "spx") << "the file's own spelling is kept";
    EXPECT_EQ(FundTable[2].indexName, nullptr);
}

TEST_F(SideFiles, IndexSyntaxErrorsQuoteTheLineWithItsEnd)
{
    Funds({"AAA", "SPX"});
    WriteFile(dir, "Index", "NOEQUALS\n=SPX\nAAA=\n\nAAA=SPX\nLAST");
    ReadIndexFile();
    const std::string at = "Warning: " + Path("Index");
    EXPECT_EQ(MessageTexts(), Texts({at + "(1): Syntax error: NOEQUALS\n",
                                     at + "(2): Syntax error: =SPX\n",
                                     at + "(3): Syntax error: AAA=\n",
                                     at + "(4): Syntax error: \n",
                                     at + "(6): Syntax error: LAST"}));
    ASSERT_NE(FundTable[0].indexName, nullptr);
    EXPECT_STREQ(FundTable[0].indexName, "SPX");
}

TEST_F(SideFiles, IndexFundNotLoadedClearsThePreviousIndexAndWarns)
{
    Funds({"AAA", "SPX"});
    SetIndex(&FundTable[0], "SPX");
    WriteFile(dir, "Index", "AAA=GONE\n");
    ReadIndexFile();
    EXPECT_EQ(MessageTexts(), Texts({"Warning: Can't find index GONE for fund AAA."}));
    EXPECT_EQ(FundTable[0].indexName, nullptr);
}

TEST_F(SideFiles, IndexNamesAreCutTo39AndLongLinesTo511)
{
    const std::string name39(39, 'L');
    Funds({name39, "AAA", "SPX"});
    // Line 2 is 600 characters: the 89 past the first 511 must not come back as a line.
    const std::string longLine = "AAA=" + std::string(596, 'S');
    WriteFile(dir, "Index", name39 + "LLLLLL=SPX" + std::string(40, 'X') + "\n" + longLine +
                                "\nBAD\n");
    ReadIndexFile();
    const std::string cutIndex = ("SPX" + std::string(40, 'X')).substr(0, 39);
    EXPECT_EQ(MessageTexts(),
              Texts({"Warning: Can't find index " + cutIndex + " for fund " + name39 + ".",
                     "Warning: Can't find index " + std::string(39, 'S') + " for fund AAA.",
                     "Warning: " + Path("Index") + "(3): Syntax error: BAD\n"}));
}

TEST_F(SideFiles, IndexMissingFileIsSilent)
{
    Funds({"AAA"});
    ReadIndexFile();
    EXPECT_TRUE(Messages.empty());
}

TEST_F(SideFiles, IndexWrittenSortedByShortNameAndTheTableKeepsItsOrder)
{
    Funds({"ZED", "abc", "NOIDX", "Mid", "ABC", "SPX"});
    SetIndex(&FundTable[0], "SPX");
    SetIndex(&FundTable[1], "SPX");
    SetIndex(&FundTable[3], "spx");
    SetIndex(&FundTable[4], "Mid");
    WriteIndexFile();
    EXPECT_TRUE(Messages.empty());
    // abc and ABC compare equal and keep their table order.
    EXPECT_EQ(ReadWholeFile(Path("Index")), "abc=SPX\nABC=Mid\nMid=spx\nZED=SPX\n");
    EXPECT_FALSE(Exists(Path("Index.tmp")));
    const char *order[] = {"ZED", "abc", "NOIDX", "Mid", "ABC", "SPX"};
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(FundTable[i].shortName, order[i]);

    // Read back onto fresh records.
    for (uint32_t i = 0; i < FundCount; i++) {
        FreeBlock(FundTable[i].indexName);
        FundTable[i].indexName = nullptr;
    }
    ReadIndexFile();
    EXPECT_TRUE(Messages.empty());
    EXPECT_STREQ(FundTable[0].indexName, "SPX");
    EXPECT_STREQ(FundTable[3].indexName, "spx");
    EXPECT_EQ(FundTable[2].indexName, nullptr);
}

TEST_F(SideFiles, IndexFailedWriteKeepsTheOldFile)
{
    Funds({"AAA", "SPX"});
    SetIndex(&FundTable[0], "SPX");
    WriteFile(dir, "Index", "OLD=SPX\n");
    ASSERT_EQ(mkdir(Path("Index.tmp").c_str(), 0755), 0);
    WriteIndexFile();
    EXPECT_EQ(MessageTexts(), Texts({"Warning: Can't create INDEX file"}));
    EXPECT_EQ(ReadWholeFile(Path("Index")), "OLD=SPX\n");
}
