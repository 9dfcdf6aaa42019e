// The fuzz targets' environment: sinks, the temporary data directory and checks.
#include "fuzz_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/datadir.h"
#include "data/load.h"
#include "platform/platform.h"

const char *FuzzWatchedText;
uint32_t FuzzWatchedCount;
char FuzzSandbox[64];

static void CountMessage(const char *, const char *text, int)
{
    if (FuzzWatchedText && strstr(text, FuzzWatchedText))
        FuzzWatchedCount++;
}

static void DropProgress(uint32_t, const char *) {}

void FuzzBegin(void)
{
    PlatSetMessageSink(CountMessage);
    PlatSetProgressSink(DropProgress);
    if (!FuzzSandbox[0]) {
        strcpy(FuzzSandbox, "/tmp/vantry-fuzz-XXXXXX");
        std::string data = mkdtemp(FuzzSandbox) ? std::string(FuzzSandbox) + "/data" : "";
        if (data.empty() || mkdir(data.c_str(), 0700) != 0 || !SetDataDir(data.c_str()))
            FuzzFail("temporary directory", __FILE__, __LINE__);
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(FuzzSandbox, ec);
        });
    }
    // The targets create no folders in the data directory, only files.
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(DataDir, ec))
        std::filesystem::remove(e.path(), ec);
    FuzzWatchedCount = 0;
    FuzzWatchedText = nullptr;
}

void FuzzWriteFile(const char *name, const void *data, size_t size)
{
    char path[DATA_PATH_SIZE];
    FILE *f = DataPath(name, path) ? fopen(path, "wb") : nullptr;
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0)
        FuzzFail(name, __FILE__, __LINE__);
}

std::string FuzzReadFile(const char *path)
{
    // Nothing is copied from a file that cannot be opened or from a folder.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string FuzzReadDataFile(const char *name)
{
    char path[DATA_PATH_SIZE];
    return DataPath(name, path) ? FuzzReadFile(path) : std::string();
}

void FuzzFail(const char *condition, const char *file, int line)
{
    fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    abort();
}
