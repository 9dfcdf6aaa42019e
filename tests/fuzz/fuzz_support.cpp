// The fuzz targets' environment: sinks, the temporary data directory and checks.
#include "fuzz_support.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/load.h"
#include "platform/platform.h"

const char *FuzzWatchedText;
uint32_t FuzzWatchedCount;

static char Sandbox[64];

static void CountMessage(const char *, const char *text, int)
{
    if (FuzzWatchedText && strstr(text, FuzzWatchedText))
        FuzzWatchedCount++;
}

static void DropProgress(uint32_t, const char *) {}

// Deletes the files of dir (the targets create no folders in it).
static void EmptyDirectory(const char *dir)
{
    DIR *d = opendir(dir);
    if (!d)
        return;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            unlink((std::string(dir) + "/" + e->d_name).c_str());
    }
    closedir(d);
}

static void RemoveSandbox(void)
{
    std::string data = std::string(Sandbox) + "/data";
    EmptyDirectory(data.c_str());
    rmdir(data.c_str());
    EmptyDirectory(Sandbox);
    rmdir(Sandbox);
}

void FuzzBegin(void)
{
    PlatSetMessageSink(CountMessage);
    PlatSetProgressSink(DropProgress);
    if (!Sandbox[0]) {
        strcpy(Sandbox, "/tmp/vantry-fuzz-XXXXXX");
        if (!mkdtemp(Sandbox) || mkdir((std::string(Sandbox) + "/data").c_str(), 0700) != 0)
            FuzzFail("temporary directory", __FILE__, __LINE__);
        atexit(RemoveSandbox);
        SetDataDir((std::string(Sandbox) + "/data").c_str());
    }
    EmptyDirectory((std::string(Sandbox) + "/data").c_str());
    FuzzWatchedCount = 0;
    FuzzWatchedText = nullptr;
}

const char *FuzzSandbox(void)
{
    return Sandbox;
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
    std::string bytes;
    FILE *f = fopen(path, "rb");
    if (!f)
        return bytes;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        bytes.append(block, n);
    fclose(f);
    return bytes;
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
