// The update-file merge: the input is "update.dat" in a data directory that also holds a
// few targets (one whose last line has no line end, one empty, the opt file). A run must
// write nothing outside the data directory, create no file, leave "update.dat" and "opt"
// as they were, and a second run of the same file must change nothing. D.NAV has lines
// longer than the merge's line reader takes, one of them its last, without a line end.
#include "fuzz_support.h"

#include <string.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "data/load.h"
#include "update/updatefile.h"

struct InitialFile {
    const char *name;
    const char *text;
};

static const InitialFile Targets[] = {
    {"A.NAV", "NAME Alpha\r\n01/04/99 10.5\r\n"},
    {"B.NAV", "NAME Beta\n01/04/99 11"},
    {"C.NAV", ""},
    {"opt", "A 100 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\r\n"},
    {"Index", "A=B\n"},
};

// The sandbox's file beside the data directory that no run may touch.
static const char Outside[] = "OUTSIDE";

typedef std::map<std::string, std::string> Snapshot;

// Every file of dir with its content.
static Snapshot TakeSnapshot(const std::string &dir)
{
    Snapshot files;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(dir, ec))
        files[e.path().filename().string()] = FuzzReadFile(e.path().c_str());
    FUZZ_CHECK(!ec);
    return files;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBegin();
    std::string sandbox = FuzzSandbox;
    Snapshot outside = {{"data", ""}, {Outside, "keep\n"}};
    FUZZ_CHECK(std::ofstream(sandbox + "/" + Outside) << outside[Outside] << std::flush);
    for (const InitialFile &t : Targets)
        FuzzWriteFile(t.name, t.text, strlen(t.text));
    std::string longLines = "NAME Delta\n" + std::string(520, 'x') + "01/04/99 12\n" +
                            std::string(530, 'y') + "01/05/99 13";
    FuzzWriteFile("D.NAV", longLines.data(), longLines.size());
    FuzzWriteFile("update.dat", data, size);
    Snapshot before = TakeSnapshot(sandbox + "/data");

    FUZZ_CHECK(ApplyUpdateFile() == 0);
    Snapshot once = TakeSnapshot(sandbox + "/data");
    FUZZ_CHECK(once.size() == before.size());
    for (const auto &file : once)
        FUZZ_CHECK(before.count(file.first));
    FUZZ_CHECK(once["update.dat"] == before["update.dat"]);
    FUZZ_CHECK(once["opt"] == before["opt"]);

    FUZZ_CHECK(ApplyUpdateFile() == 0);
    FUZZ_CHECK(TakeSnapshot(sandbox + "/data") == once);
    // The data directory shows as an empty "data" entry: FuzzReadFile reads no folder.
    FUZZ_CHECK(TakeSnapshot(sandbox) == outside);
    return 0;
}
