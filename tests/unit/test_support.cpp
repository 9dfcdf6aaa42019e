// Test environment: sinks that record message boxes and progress, and temporary directories.
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "data/load.h"
#include "data/optfile.h"
#include "data/viewflags.h"
#include "platform/platform.h"

std::vector<CapturedMessage> Messages;
std::vector<std::string> ProgressCodes;
static std::vector<std::string> TempDirs;

static void RecordMessage(const char *caption, const char *text, int icon)
{
    Messages.push_back({caption, text, icon});
}

void ClearMessages()
{
    Messages.clear();
}

std::vector<std::string> MessageTexts()
{
    std::vector<std::string> texts;
    for (const auto &m : Messages)
        texts.push_back(m.text);
    return texts;
}

void RecordProgressCode(uint32_t code, const char *text)
{
    std::string line = std::to_string(code);
    if (code == 5)
        line += std::string(" ") + (text ? text : "");
    ProgressCodes.push_back(line);
}

std::string MakeTempDir()
{
    char pattern[] = "/tmp/vantry-test-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (!dir)
        abort();
    TempDirs.push_back(dir);
    return dir;
}

std::string MakeDataDir()
{
    std::string dir = MakeTempDir();
    if (!SetDataDir(dir.c_str()))
        abort();
    return dir;
}

std::string WriteFile(const std::string &dir, const std::string &name, const std::string &bytes)
{
    std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return path;
}

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {

// Installs the recording sink and clears the view state, the optimizer's modes and the
// "no fund files" flag a load of an empty directory leaves set before every test; frees the
// data set and removes the temporary files after.
class SupportListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        ClearMessages();
        ProgressCodes.clear();
        PlatSetMessageSink(RecordMessage);
        PlatSetProgressSink(nullptr);
        PlatSetTextWidthFunc(nullptr);
        ResetViewState();
        OptModeReselect = OptModeRecalculate = OptimizedFlag = 0;
        NoNavFiles = 0;
    }
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        FreeDataSet();
        FreeOptTable();
        for (const auto &d : TempDirs) {
            std::string command = "rm -rf '" + d + "'";
            if (system(command.c_str()) != 0)
                fprintf(stderr, "could not remove %s\n", d.c_str());
        }
        TempDirs.clear();
    }
};

const bool Registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SupportListener);
    return true;
}();

}  // namespace
