// The whole load over a small data directory made from the input: the text before the
// first line ">>> NAME" becomes "A.NAV", and each such line starts the file NAME (any file
// of the data directory: fund files, opt, PRTFOLIO, SETTINGS, Index, the rate files). The
// load runs on one thread and writes its opt file; afterwards every counted block must
// be freed by the data set's own free functions.
#include "fuzz_support.h"


#include "app/loadworker.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/viewflags.h"

// A plain file name of the data directory (others are dropped with their file).
static int IsPlainName(const std::string &name)
{
    return !name.empty() && name.size() < 64 && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBegin();
    LoadAnalysisThreads = 1;
    ResetViewState();
    uint32_t memoryBefore = DynamicMemoryUsed;

    std::string files((const char *)data, size);
    files.insert(0, files.compare(0, 4, ">>> ") ? "\n>>> A.NAV\n" : "\n");
    size_t marker = 0;
    while (marker != std::string::npos) {
        size_t nameEnd = files.find('\n', marker + 5);
        if (nameEnd == std::string::npos)
            break;
        std::string name = files.substr(marker + 5, nameEnd - marker - 5);
        // A file's last line end belongs to it; the next marker starts after it.
        marker = files.find("\n>>> ", nameEnd);
        size_t contentEnd = marker == std::string::npos ? files.size() : marker + 1;
        if (IsPlainName(name))
            FuzzWriteFile(name.c_str(), files.data() + nameEnd + 1, contentEnd - nameEnd - 1);
    }

    LoadThread(nullptr);
    FreeDataSet();
    FreeOptTable();
    ResetViewState();
    FUZZ_CHECK(DynamicMemoryUsed == memoryBefore);
    return 0;
}
