// ApplyUpdateFile on real files: lines added once, skipped targets, syntax errors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "data/load.h"
#include "platform/platform.h"
#include "test_support.h"
#include "update/updatefile.h"

namespace {

// A data directory with update.dat, the progress reports recorded.
std::string UpdateDir(const std::string &update)
{
    std::string dir = MakeDataDir();
    WriteFile(dir, "update.dat", update);
    PlatSetProgressSink(RecordProgressCode);
    return dir;
}

// Each update applied twice: the first run adds the lines missing from each target (one
// status text a line added), the second finds them there and changes nothing.
TEST(UpdateFile, AddsOnlyMissingLinesAndTwiceChangesNothing)
{
    typedef std::map<std::string, std::string> Files;
    // update.dat and opt, as Windows names them too (any case, trailing dots and blanks)
    // and as the file system sees them (up to a zero byte), are the session's own files.
    // A line longer than 511 bytes is refused whole: its rest is no line of its own, and
    // in a target a piece of such a line is no line either.
    const std::string text = "01/05/24 12.00\n", longLine = std::string(511, 'y') + text;
    const std::string sessionFiles = "update.dat:x\nOPT. :x\nopt" + std::string(1, '\0') +
                                     "1:x\nA.NAV:" + std::string(600, 'x') + "\nA.NAV:" + text;
    const struct {
        const char *what;
        std::string update;
        Files before, after;
        std::vector<std::string> statuses;  // progress of the first run; {}: not compared
        // Each run's, after "Error: DATADIR" and cut to the report buffer.
        std::vector<std::string> errors;
    } cases[] = {
        // Plain lines added once to two funds: the incremental update session's test.
        // The same text with another line end is another line; a last update line without
        // a line end counts as it is.
        {"line ends compared", "A.NAV:01/02/24 10.00\r\nA.NAV:01/04/24 11.00",
         {{"A.NAV", "01/02/24 10.00\n"}},
         {{"A.NAV", "01/02/24 10.00\n01/02/24 10.00\r\n01/04/24 11.00"}},
         {"5 Update: A.NAV:01/02/24 10.00\r\n", "5 Update: A.NAV:01/04/24 11.00"},
         {}},
        // A's last line is the text without its line end: only the line end is missing.
        // B's last line is another one: the text must not run on into it.
        {"unterminated last line", "A.NAV:01/03/24 10.50\r\nB.NAV:01/03/24 20.00\n",
         {{"A.NAV", "01/02/24 10.00\r\n01/03/24 10.50"}, {"B.NAV", "01/02/24 19.00"}},
         {{"A.NAV", "01/02/24 10.00\r\n01/03/24 10.50\r\n"},
          {"B.NAV", "01/02/24 19.00\n01/03/24 20.00\n"}},
         {},
         {}},
        // A missing target is skipped silently and never created.
        {"missing target", "GONE.NAV:01/03/24 1.00\r\nA.NAV:x\r\n", {{"A.NAV", ""}},
         {{"A.NAV", "x\r\n"}}, {"5 Update: A.NAV:x\r\n"}, {}},
        // A syntax error names its line and the run goes on.
        {"syntax error", "A.NAV:one\r\nno colon here\r\nA.NAV:two\r\n", {{"A.NAV", ""}},
         {{"A.NAV", "one\r\ntwo\r\n"}}, {"5 Update: A.NAV:one\r\n", "5 Update: A.NAV:two\r\n"},
         {"update.dat(2): Syntax error, \"no colon here\r\n\"."}},
        // The zero byte ends the quoted line as it ends the name opened.
        {"session files and an overlong line", sessionFiles,
         {{"opt", ""}, {"A.NAV", longLine}},
         {{"opt", ""}, {"A.NAV", longLine + text}, {"update.dat", sessionFiles}},
         {"5 Update: A.NAV:" + text},
         {"update.dat(1): Syntax error, \"update.dat:x\n\".",
          "update.dat(2): Syntax error, \"OPT. :x\n\".", "update.dat(3): Syntax error, \"opt\".",
          "update.dat(4): Syntax error, \"A.NAV:" + std::string(600, 'x')}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = UpdateDir(c.update);
        for (const auto &f : c.before)
            WriteFile(dir, f.first, f.second);
        for (int run = 0; run < 2; run++) {
            ClearMessages();
            ProgressCodes.clear();
            EXPECT_EQ(ApplyUpdateFile(), 0);
            for (const auto &f : c.after)
                EXPECT_EQ(ReadWholeFile(dir + "/" + f.first), f.second) << f.first;
            EXPECT_NE(access((dir + "/GONE.NAV").c_str(), F_OK), 0);
            if (run || !c.statuses.empty()) {
                EXPECT_EQ(ProgressCodes, run ? std::vector<std::string>() : c.statuses);
            }
            std::vector<std::string> errors;
            for (const std::string &e : c.errors)
                errors.push_back(("Error: " + std::string(DataDir) + e).substr(0, 511));
            EXPECT_EQ(MessageTexts(), errors) << run;
        }
    }
}

TEST(UpdateFile, TargetsOutsideTheDataDirectoryAreRejected)
{
    // The data directory is a folder of the temporary one, with a fund file beside it
    // and one in a subfolder: neither may be written, nor through a symbolic link. Names
    // with a zero byte or a control character are errors: the zero byte would cut the
    // name to another one (here "NUL", a file on this platform). Windows opens a device
    // for the device names whatever their extension; names that only begin like one are
    // files.
    std::string root = MakeTempDir(), dir = root + "/data";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink((root + "/OUT.NAV").c_str(), (dir + "/LINK.NAV").c_str()), 0);
    SetDataDir(dir.c_str());
    const struct {
        std::string name;
        int outcome;  // 0 refused with a message, 1 skipped silently, 2 added to
    } targets[] = {{"../OUT.NAV", 0}, {"sub/IN.NAV", 0}, {"..\\OUT.NAV", 0}, {"..", 0},
                   {"LINK.NAV", 1}, {std::string("NUL\0.NAV", 8), 0}, {"TAB\t.NAV", 0},
                   {"nul.NAV", 0}, {"COM1.txt", 0}, {"Con", 0}, {"lpt9 .NAV", 0},
                   {"CONSOLE.NAV", 2}, {"COM0", 2}};
    std::string update;
    std::vector<std::string> errors;
    for (const auto &t : targets) {
        std::string line = t.name + ":evil\r\n", cut = t.name.c_str();
        if (t.name != ".." && t.outcome != 1)
            WriteFile(dir, cut, "old\r\n");
        update += line;
        if (t.outcome == 0)  // the zero byte ends the quoted line as it ends the name
            errors.push_back("Error: " + std::string(DataDir) + "update.dat(" +
                             std::to_string(&t - targets + 1) + "): Syntax error, \"" +
                             (cut.size() < t.name.size() ? cut : line) + "\".");
    }
    WriteFile(dir, "update.dat", update);
    EXPECT_EQ(ApplyUpdateFile(), 0);
    EXPECT_EQ(MessageTexts(), errors);
    for (const auto &t : targets) {
        if (t.name != "..") {
            EXPECT_EQ(ReadWholeFile(dir + "/" + t.name.c_str()),
                      t.outcome == 2 ? "old\r\nevil\r\n" : "old\r\n") << t.name.c_str();
        }
    }
}

// 100,000 lines without ":", and 1,000 lines whose target cannot grow (the file size
// limit, as a full disk): ten messages, then the number of the rest.
TEST(UpdateFile, TenErrorsAreShownAndTheRestCounted)
{
    for (bool full : {false, true}) {
        ClearMessages();
        std::string lines;
        for (int i = 0; i < (full ? 1000 : 100000); i++)
            lines += full ? "A.NAV:line " + std::to_string(i) + "\n" : std::string("no colon\n");
        std::string dir = UpdateDir(lines + "A.NAV:new\n");
        std::string old = "NAME Alpha\n";
        WriteFile(dir, "A.NAV", old);
        struct rlimit before;
        getrlimit(RLIMIT_FSIZE, &before);
        struct rlimit limit = {old.size(), before.rlim_max};
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the test
        if (full) {
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        EXPECT_EQ(ApplyUpdateFile(), 0);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(ReadWholeFile(dir + "/A.NAV"), full ? old : old + "new\n");
        ASSERT_EQ(Messages.size(), 11u) << full;
        std::string d = DataDir;
        EXPECT_EQ(Messages[9].text, full ? "Error: Update: " + d + "A.NAV: fclose."
                                         : "Error: " + d + "update.dat(10): Syntax error, \"no colon\n\".");
        EXPECT_EQ(Messages[10].text, full ? "Error: Update: 991 more failures to write files of " + d + "."
                                          : "Error: " + d + "update.dat: 99990 more syntax errors.");
    }
}

TEST(UpdateFile, MissingUpdateFileFails)
{
    std::string dir = MakeDataDir();
    EXPECT_EQ(ApplyUpdateFile(), 1);
    // A C library error (errno); ENOENT is 2.
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error: Update: Can't open " + dir +
                                                       "/update.dat., errno=2"});
}

}  // namespace
