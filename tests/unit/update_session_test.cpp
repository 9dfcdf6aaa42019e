// The update session against a real FTP server (tests/integration/ftpserver.py, pyftpdlib)
// on 127.0.0.1, with the real unzip program for the full update.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/load.h"
#include "data/viewflags.h"
#include "platform/platform.h"
#include "test_support.h"
#include "update/ftp.h"

extern char **environ;

namespace {

const char *const Python = "/usr/bin/python3";  // Debian's, which has pyftpdlib

std::string TestsDir()
{
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/unit/"));
}

// The status texts, without the receiving percentages (how the bytes are split into
// blocks is up to the network).
std::vector<std::string> Statuses()
{
    std::vector<std::string> texts;
    for (const std::string &p : ProgressCodes)
        if (p.compare(0, 2, "5 ") == 0 && p.find("%)...") == std::string::npos)
            texts.push_back(p.substr(2));
    return texts;
}

// Every file under dir (its path below dir) with its bytes.
std::map<std::string, std::string> Snapshot(const std::string &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().string().substr(dir.size())] = ReadWholeFile(entry.path().string());
    return files;
}

// The commands the server received, PORT without its port numbers, which change per run.
std::vector<std::string> Commands(const std::string &log)
{
    std::vector<std::string> commands;
    std::istringstream in(ReadWholeFile(log));
    for (std::string line; std::getline(in, line);)
        commands.push_back(line.compare(0, 5, "PORT ") == 0
                               ? line.substr(0, line.rfind(',', line.rfind(',') - 1))
                               : line);
    return commands;
}

struct Server {
    pid_t pid = -1;
    int port = 0;
    std::string dir;  // what it serves
    std::string log;
};

Server TheServer;
int ChooseCalls;
std::string ChooseAnswer;  // empty: cancel

int ChooseUnzip(char *path, size_t size)
{
    ChooseCalls++;
    if (ChooseAnswer.empty())
        return 0;
    snprintf(path, size, "%s", ChooseAnswer.c_str());
    return 1;
}

// Starts the server in mode over TheServer.dir and waits (at most 20 s) for the port it
// writes on its standard output, here a file.
bool StartServer(const std::string &mode)
{
    TheServer.log = MakeTempDir() + "/commands.log";
    std::string script = TestsDir() + "/integration/ftpserver.py", out = TheServer.log + ".out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char *argv[] = {Python, script.c_str(), "--dir", TheServer.dir.c_str(), "--mode",
                          mode.c_str(), "--log", TheServer.log.c_str(), nullptr};
    int rc = posix_spawn(&TheServer.pid, Python, &actions, nullptr, (char *const *)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        TheServer.pid = -1;
        return false;
    }
    for (int i = 0; i < 400 && TheServer.port == 0; i++) {
        usleep(50000);
        sscanf(ReadWholeFile(out).c_str(), "PORT %d", &TheServer.port);
    }
    snprintf(UpdateServerHost, sizeof UpdateServerHost, "127.0.0.1");
    UpdateServerPort = (uint16_t)TheServer.port;
    return TheServer.port != 0;
}

void StopServer()
{
    if (TheServer.pid > 0) {
        kill(TheServer.pid, SIGKILL);
        waitpid(TheServer.pid, nullptr, 0);
    }
    TheServer.pid = -1;
}

class UpdateSession : public ::testing::Test {
protected:
    // The data directory (without its separator), a folder of root, so that a file
    // written beside it shows in a Snapshot of root.
    std::string root, data;

    // Called again by the table-driven tests for each case.
    void SetUp() override
    {
        StopServer();
        ClearMessages();
        root = MakeTempDir();
        data = root + "/data";
        mkdir(data.c_str(), 0755);
        SetDataDir(data.c_str());
        // Silent servers are given up on soon.
        UpdateTimeoutSeconds = 2;
        TheServer = Server();
        TheServer.dir = MakeTempDir();
        ProgressCodes.clear();
        PlatSetProgressSink(RecordProgressCode);
        ChooseCalls = 0;
        ChooseAnswer.clear();
        UpdateChooseUnzipHook = ChooseUnzip;
    }
    void TearDown() override
    {
        StopServer();
        UpdateChooseUnzipHook = nullptr;
    }
};

// ---------------------------------------------------------------------------------------
// Incremental update.

const char *const OldA = "NAME Alpha\r\n01/02/24 10.00\r\n";
const char *const UpdateDat = "A.NAV:01/02/24 10.00\r\n"
                              "A.NAV:01/03/24 10.50\r\n"
                              "B.NAV:01/03/24 20.00\r\n";

void LayOutIncremental(const std::string &data)
{
    WriteFile(data, "A.NAV", OldA);
    WriteFile(data, "B.NAV", "NAME Beta\r\n");
    WriteFile(data, "opt", "old opt");
    WriteFile(TheServer.dir, "update.dat", UpdateDat);
    WriteFile(TheServer.dir, "opt", "new opt bytes");
}

TEST_F(UpdateSession, IncrementalStepsCommandsAndBackupsOfASecondSession)
{
    LayOutIncremental(data);
    ASSERT_TRUE(StartServer("normal"));

    // What the first session writes is checked with the odd servers' sessions below.
    EXPECT_EQ(UpdateThread(0), 1);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>());
    std::vector<std::string> expected = {"Update: incremental update.", "Update: connect",
                                         "Update: login USER", "Update: login PASS",
                                         "Update: set transfer type to binary"};
    for (std::string name : {"update.dat", "opt"})
        for (const std::string &step : std::vector<std::string>{
                 "prepare to accept incoming LIST data", "send PORT command (LIST)",
                 "retrieve file listing", "receiving file listing...",
                 "prepare to accept incoming data", "send PORT command", "retrieve " + name,
                 "receiving " + name + "..."})
            expected.push_back("Update: " + step);
    expected.insert(expected.end(), {"Update: A.NAV:01/03/24 10.50\r\n",
                                     "Update: B.NAV:01/03/24 20.00\r\n", StatusLine});
    ASSERT_EQ(Statuses(), expected);
    EXPECT_EQ(ProgressCodes.front(), "9");
    EXPECT_EQ(ProgressCodes.back(), "8");
    // Sizes were listed, so every file's percentages rise to 100, never beyond.
    for (std::string name : {"update.dat", "opt"}) {
        std::string head = "5 Update: receiving " + name + " (";
        std::vector<int> p;
        for (const std::string &code : ProgressCodes)
            if (code.compare(0, head.size(), head) == 0)
                p.push_back(atoi(code.c_str() + head.size()));
        EXPECT_TRUE(!p.empty() && p.back() == 100 && std::is_sorted(p.begin(), p.end())) << name;
    }
    // The data connection is announced at the control connection's address.
    const std::string port = "PORT 127,0,0,1";
    EXPECT_EQ(Commands(TheServer.log),
              (std::vector<std::string>{"CONNECT", "USER datakeeper", "PASS Owl42Cat", "TYPE I",
                                        port, "LIST update.dat", port, "RETR update.dat", port,
                                        "LIST opt", port, "RETR opt"}));

    // Again: the previous download becomes the backup (that the lines are not added twice
    // is the update file's test).
    EXPECT_EQ(UpdateThread(0), 1);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(data + "/update.BAK"), UpdateDat);
    EXPECT_EQ(ReadWholeFile(data + "/opt.BAK"), "new opt bytes");
}

// Servers with odd or hostile replies, each over the incremental layout: whether the
// session ends well, its one message and the last command sent. A session that ends well
// has applied the update; one that fails leaves every byte under root as it was.
TEST_F(UpdateSession, OddAndHostileServersAreCopedWithOrLeaveTheFilesAsTheyWere)
{
    const std::string badList = "Error: Update: Can't understand LIST response.";
    const std::string noGreeting = "Error: Update: can't get greeting response within 2 seconds";
    const size_t whole = strlen(UpdateDat);
    // The message of a transfer that ended when arrived bytes of the listed whole had come.
    auto announced = [whole](size_t arrived) {
        return "Error: Update: update.dat: the listing announced " + std::to_string(whole) +
               " bytes, " + std::to_string(arrived) + " arrived.";
    };
    const struct {
        const char *mode;
        int result;
        std::string message;  // "": none
        const char *lastCommand;
        bool pass, percentages;  // PASS was sent; receiving percentages were shown
    } cases[] = {
        // USER answered 230: logged in without PASS.
        {"user230", 1, "", "RETR opt", false, true},
        // Multi-line replies are read to their last line.
        {"multiline", 1, "", "RETR opt", true, true},
        // An overlong reply line is reported and the session goes on.
        {"longline", 1, "Error: Update: response too long", "RETR opt", true, true},
        // The data connection from another address is dropped unread.
        {"foreign", 1, "", "RETR opt", true, true},
        {"badlist", 0, badList, "LIST update.dat", true, false},
        // Sizes that scanf would read as numbers: negative, or beyond 32 bits.
        {"negsize", 0, badList, "LIST update.dat", true, false},
        {"hugesize", 0, badList, "LIST update.dat", true, false},
        // A reply must end within 100 lines (and the next session starts afresh).
        {"chatty", 0, "Error: Update: can't get greeting response: more than 100 lines",
         "CONNECT", false, false},
        // The listing of opt has 21 bytes, after the longer one of update.dat: its size
        // must not be read from what is left of the earlier listing.
        {"shortlist", 0, badList, "LIST opt", true, true},
        // A listed size of 0 shows no percentages, and a byte more is too many.
        {"zerosize", 0, "Error: Update: update.dat: the listing announced 0 bytes, 1 arrived.",
         "RETR update.dat", true, false},
        {"closemid", 0, announced(whole / 2), "RETR update.dat", true, true},
        {"short", 0, announced(whole - 6), "RETR update.dat", true, true},
        // One byte more than listed is the first read's end: no percentage is shown.
        {"long", 0, announced(whole + 1), "RETR update.dat", true, false},
        // The server gives up on the data connection: noticed at once, not at the bound.
        {"noconnect", 0, "Error: Update: can't get LIST final response", "LIST update.dat", true,
         false},
        {"stall", 0, "Error: Update: accept: nothing came in 2 seconds", "LIST update.dat", true,
         false},
        {"mute", 0, "Error: Update: recv: nothing came in 2 seconds", "RETR update.dat", true,
         false},
        {"silent", 0, noGreeting, "CONNECT", false, false},
        // Servers that never stop talking: a reply must end in time, a transfer within the
        // bound and a second per KB.
        {"endless", 0, noGreeting, "CONNECT", false, false},
        {"trickle", 0, "Error: Update: update.dat: the transfer took more than 2 seconds",
         "RETR update.dat", true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        SetUp();
        LayOutIncremental(data);
        std::map<std::string, std::string> expected = Snapshot(root);
        if (c.result) {
            expected["/data/A.NAV"] += "01/03/24 10.50\r\n";
            expected["/data/B.NAV"] += "01/03/24 20.00\r\n";
            expected["/data/opt.BAK"] = "old opt";
            expected["/data/opt"] = "new opt bytes";
            expected["/data/update.dat"] = UpdateDat;
        }
        ASSERT_TRUE(StartServer(c.mode));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(UpdateThread(0), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(MessageTexts(), c.message.empty() ? std::vector<std::string>()
                                                    : std::vector<std::string>{c.message});
        EXPECT_EQ(Snapshot(root), expected);
        std::vector<std::string> commands = Commands(TheServer.log);
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), c.lastCommand);
        EXPECT_EQ(commands.size() > 2 && commands[2] == "PASS Owl42Cat", c.pass);
        std::string progress;
        for (const std::string &p : ProgressCodes)
            progress += p + "\n";
        EXPECT_EQ(progress.find("\n5 Update: login PASS\n") != std::string::npos, c.pass);
        EXPECT_EQ(progress.find("%)") != std::string::npos, c.percentages);
        EXPECT_EQ(ProgressCodes.back(), "8");
    }
}

// A local copy that cannot be moved to its backup (here a folder holds the name) is not
// replaced, and the other file of the session is not either.
TEST_F(UpdateSession, FilesWhoseBackupFailsStayAsTheyWere)
{
    LayOutIncremental(data);
    WriteFile(data, "update.dat", "old update");
    mkdir((data + "/opt.BAK").c_str(), 0755);
    WriteFile(data + "/opt.BAK", "kept", "");
    std::map<std::string, std::string> expected = Snapshot(root);
    ASSERT_TRUE(StartServer("normal"));
    EXPECT_EQ(UpdateThread(0), 0);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error: Update: MoveFile(" + data + "/opt," +
                                                       data + "/opt.BAK), GetLastError=0x00000015\n"
                                                       "Is a directory"});
    EXPECT_EQ(Snapshot(root), expected);
}

// ---------------------------------------------------------------------------------------
// Full update.

// A wrapper around Debian's unzip that unpacks its one argument into the folder that
// holds it, as the unzip program of the full update must; beside it a program
// information file (unzip.PIF) of 128 zero bytes. Returns the wrapper's path.
std::string MakeUnzip()
{
    std::string dir = MakeTempDir();
    std::string unzip = WriteFile(dir, "unzip.exe",
                                  "#!/bin/sh\nexec /usr/bin/unzip -o -qq -d \"$(dirname \"$1\")\" \"$1\" 2>/dev/null\n");
    chmod(unzip.c_str(), 0755);
    WriteFile(dir, "unzip.PIF", std::string(128, '\0'));
    return unzip;
}

const char *const OldB = "NAME Beta\r\n01/02/24 20.00\r\n";
const char *const NewA = "NAME Alpha\r\n01/02/24 10.00\r\n01/03/24 10.50\r\n";
const char *const NewC = "NAME Gamma\r\n01/03/24 5.00\r\n";
// Fund files named like side files: their backups must not take opt's or Index's.
const char *const OptFund = "NAME Opt fund\r\n01/02/24 1.00\r\n";
const char *const IndexFund = "NAME Index fund\r\n01/02/24 2.00\r\n";

enum Archive { GOOD_ZIP, CORRUPT_ZIP, EMPTY_ZIP };

// The data set, and an archive of new data without an Index.
void LayOutFull(const std::string &data, Archive archive)
{
    WriteFile(data, "A.NAV", OldA);
    WriteFile(data, "B.NAV", OldB);
    WriteFile(data, "opt", "old opt");
    WriteFile(data, "Index", "A=B\r\n");
    WriteFile(data, "A.BAK", "an older backup");
    WriteFile(data, "opt.NAV", OptFund);
    WriteFile(data, "Index.NAV", IndexFund);
    if (archive == CORRUPT_ZIP) {
        WriteFile(TheServer.dir, "data.zip", "this is not a zip archive\r\n");
        return;
    }
    std::string stage = MakeTempDir();
    WriteFile(stage, "A.NAV", NewA);
    WriteFile(stage, "C.NAV", NewC);
    WriteFile(stage, "opt", "zipped opt");
    std::string command = std::string(Python) + " -m zipfile -c " + TheServer.dir + "/data.zip " +
                          (archive == EMPTY_ZIP ? "" : stage + "/A.NAV " + stage + "/C.NAV " + stage + "/opt");
    ASSERT_EQ(system(command.c_str()), 0);
}

TEST_F(UpdateSession, FullUpdateUnpacksTheArchiveWithTheUnzipProgram)
{
    // With the program set; with one that cannot start, and then the dialog's choice,
    // which is kept in SETTINGS after the fifteen view-state bytes.
    const std::string unzip = MakeUnzip();
    for (bool chosen : {false, true}) {
        SCOPED_TRACE(chosen);
        SetUp();
        std::string pif = WriteFile(unzip.substr(0, unzip.rfind('/')), "unzip.PIF",
                                    std::string(128, '\0'));
        ASSERT_NO_FATAL_FAILURE(LayOutFull(data, GOOD_ZIP));
        SetUnzipProgram(chosen ? "/nonexistent/unzip" : unzip.c_str());
        ChooseAnswer = unzip;
        ASSERT_TRUE(StartServer("normal"));

        EXPECT_EQ(UpdateThread(1), 1);
        EXPECT_EQ(ChooseCalls, chosen ? 1 : 0);
        // The program that cannot start is reported as in the cancelled update below.
        EXPECT_EQ(Messages.size(), chosen ? 1u : 0u);
        std::map<std::string, std::string> files = Snapshot(data);
        if (chosen) {
            EXPECT_STREQ(UnzipProgram, unzip.c_str());
            EXPECT_EQ(files["/SETTINGS"].substr(15), unzip + " ");
        }
        files.erase("/SETTINGS");
        // The archive's files, over a data set that was moved to its backups first.
        EXPECT_EQ(files, (std::map<std::string, std::string>{
                             {"/A.NAV", NewA}, {"/C.NAV", NewC}, {"/opt", "zipped opt"},
                             {"/A.BAK", OldA}, {"/B.BAK", OldB}, {"/opt.BAK", "old opt"},
                             {"/Index.BAK", "A=B\r\n"}, {"/opt.NAV.BAK", OptFund},
                             {"/Index.NAV.BAK", IndexFund},
                             {"/data.zip", ReadWholeFile(TheServer.dir + "/data.zip")}}));
        // The close-on-exit flag at offset 99 of the information file, nothing else.
        std::string flagged(128, '\0');
        flagged[99] = 0x10;
        EXPECT_EQ(ReadWholeFile(pif), flagged);
        EXPECT_EQ(Commands(TheServer.log).back(), "RETR data.zip");
        // A second update without an Index in the archive keeps the user's one backup.
        EXPECT_EQ(UpdateThread(1), 1);
        EXPECT_EQ(ReadWholeFile(data + "/Index.BAK"), "A=B\r\n");
        EXPECT_EQ(ReadWholeFile(data + "/A.BAK"), NewA);
    }
}

// A full update that never unpacks, or unpacks no fund file, leaves every file of the
// data directory as it was before, older backups included; only data.zip is new: the
// dialog cancelled with no program set, a program that cannot start and then the dialog
// cancelled, an unzip that fails on an archive that is none, an empty archive.
//
// What a full update cut off by the program's end leaves (the data set under pending
// names, with or without the archive's files unpacked) is settled by the next session
// before it moves anything: every set-aside file is back under its name or, when the
// unpacking brought its name, its backup. That session's own unzip fails here, so the
// directory must be the settled one. A pending file that cannot be settled stops it.
//
// A server that refuses the connection leaves the files as they were too.
TEST_F(UpdateSession, FullUpdateWithoutADataSetKeepsTheFilesAndSettlesAnInterruptedOne)
{
    const std::string unzip = MakeUnzip();
    const std::string corrupt = "Error: Update: " + unzip +
                                " ended with exit code 9; the data files are kept as they were.";
    const std::map<std::string, std::string> unpacked = {
        {"A.NAV", NewA}, {"C.NAV", NewC}, {"opt", "zipped opt"}};
    // Where an earlier update was cut off; REFUSED: none was, the server is gone.
    enum Stop { NONE, AT_DIALOG, AFTER_UNZIP, STUCK, REFUSED };
    const struct {
        const char *unzip;  // "": none set
        Archive archive;
        Stop stop;
        int chooseCalls;
        std::vector<std::string> messages;  // their form tells their kind (and caption)
    } cases[] = {
        {"", GOOD_ZIP, NONE, 1, {"Update: No unzip program specified."}},
        {"/nonexistent/unzip", GOOD_ZIP, NONE, 1,
         {"Error: Update: CreateProcess /nonexistent/unzip, GetLastError=0x00000002\n"
          "No such file or directory",
          "Update: No unzip program specified."}},
        // Debian's unzip ends with 9 when the file is no zip archive...
        {unzip.c_str(), CORRUPT_ZIP, NONE, 0, {corrupt}},
        // ...and with 1, a warning, when it is empty.
        {unzip.c_str(), EMPTY_ZIP, NONE, 0,
         {"Error: Update: " + unzip +
          " unpacked no fund file; the data files are kept as they were."}},
        {unzip.c_str(), CORRUPT_ZIP, AT_DIALOG, 0, {corrupt}},
        {unzip.c_str(), CORRUPT_ZIP, AFTER_UNZIP, 0, {corrupt}},
        {unzip.c_str(), CORRUPT_ZIP, STUCK, 0, {}},  // the messages name the data directory
        // ECONNREFUSED is 111 on Linux; the WinSock code makes it a WinSock error.
        {unzip.c_str(), GOOD_ZIP, REFUSED, 0,
         {"Error: Update: connect, WSAGetLastError=111\nConnection refused"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.unzip << ", archive " << c.archive << ", stop "
                                        << c.stop);
        SetUp();
        ASSERT_NO_FATAL_FAILURE(LayOutFull(data, c.archive));
        std::map<std::string, std::string> expected = Snapshot(root);
        std::vector<std::string> messages = c.messages;
        if (c.stop != NONE && c.stop != REFUSED) {
            // Every file of the data set set aside; the older backup stays.
            for (const auto &f : expected)
                if (f.first != "/data/A.BAK")
                    rename((root + f.first).c_str(), (root + f.first + ".pending").c_str());
        }
        if (c.stop == AFTER_UNZIP || c.stop == STUCK) {
            for (const auto &f : unpacked) {
                WriteFile(data, f.first, f.second);
                expected["/data/" + f.first] = f.second;
            }
            expected["/data/A.BAK"] = OldA;
            expected["/data/opt.BAK"] = "old opt";
        }
        if (c.stop == STUCK) {
            // A backup that is a folder cannot be replaced.
            unlink((data + "/A.BAK").c_str());
            mkdir((data + "/A.BAK").c_str(), 0755);
            expected.erase("/data/A.BAK");
            expected["/data/A.NAV.pending"] = OldA;
            messages = {"Error: Update: MoveFile(" + data + "/A.NAV.pending," + data +
                            "/A.BAK), GetLastError=0x00000015\nIs a directory",
                        "Error: Update: 1 file(s) set aside by an interrupted update could not "
                        "be moved back (their names end in \".pending\" in " + data +
                            "/); the update is not started."};
        } else if (c.stop != REFUSED) {
            expected["/data/data.zip"] = ReadWholeFile(TheServer.dir + "/data.zip");
        }
        SetUnzipProgram(*c.unzip ? c.unzip : nullptr);
        ASSERT_TRUE(StartServer("normal"));
        if (c.stop == REFUSED)
            StopServer();  // nobody listens on its port now
        EXPECT_EQ(UpdateThread(1), 0);
        EXPECT_EQ(Statuses().front(), "Update: full update.");
        EXPECT_EQ(ChooseCalls, c.chooseCalls);
        EXPECT_EQ(MessageTexts(), messages);
        EXPECT_EQ(Snapshot(root), expected);
        EXPECT_EQ(Commands(TheServer.log).empty(), c.stop == STUCK || c.stop == REFUSED);
    }
}

// ---------------------------------------------------------------------------------------
// The server setting and the program start the session relies on.

// Each setting over what the one before left: a bad one changes neither host nor port.
TEST(UpdateServerSetting, HostAndPortAreParsedOrLeftAlone)
{
    snprintf(UpdateServerHost, sizeof UpdateServerHost, "before");
    UpdateServerPort = 21;
    // The result, then the server as it stands.
    auto set = [](const char *setting) {
        int ok = SetUpdateServer(setting);
        return std::to_string(ok) + " " + UpdateServerHost + ":" + std::to_string(UpdateServerPort);
    };
    EXPECT_EQ(set("127.0.0.1:2121"), "1 127.0.0.1:2121");
    EXPECT_EQ(set("mirror.example.org"), "1 mirror.example.org:2121");  // the port stays
    for (const char *bad : {"", ":21", "host:", "host:0", "host:65536", "host:21x", "host:-1",
                            "host:123456"})
        EXPECT_EQ(set(bad), "0 mirror.example.org:2121") << bad;
    EXPECT_EQ(set("h:65535"), "1 h:65535");
}

TEST(UpdatePlatform, ProgramsGetTheirWordsAsWindowsSplitsThemAndReportTheirExitCode)
{
    // The script writes each argument on a line of its own and ends with 7.
    std::string dir = MakeTempDir();
    std::string script = WriteFile(dir, "args.sh",
                                   "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.out\"\n"
                                   "exit 7\n");
    chmod(script.c_str(), 0755);
    std::string line = "\"" + script + "\" plain \"two words\" a\\\"quote back\\\\slash \"\"";
    PlatProcess process = PlatStartProgram(line.c_str());
    ASSERT_NE(process, PLAT_NO_PROCESS);
    uint32_t code = 0;
    ASSERT_EQ(PlatWaitProgram(process, &code), 1);
    EXPECT_EQ(code, 7u);
    // plain | two words | a"quote | back\\slash (backslashes not before a quote are
    // literal) | an empty word from "".
    EXPECT_EQ(ReadWholeFile(script + ".out"), "plain\ntwo words\na\"quote\nback\\\\slash\n\n");
}

}  // namespace
