// The data directory's name and the paths of the files in it.
#include "data/datadir.h"

#include <stdint.h>
#include <string.h>

#include "base/errors.h"
#include "platform/platform.h"

char DataDir[DATA_DIR_SIZE];
int DataDirWritable = 1;

int SetDataDir(const char *dir)
{
    size_t n = strlen(dir);
    char separator = PlatPathSeparator();
    int needsSeparator = n == 0 || (dir[n - 1] != separator && dir[n - 1] != '/');
    if (n + (size_t)needsSeparator + 1 > sizeof DataDir)
        return 0;
    memcpy(DataDir, dir, n);
    if (needsSeparator)
        DataDir[n++] = separator;
    DataDir[n] = 0;
    return 1;
}

int DataPath(const char *name, char *out)
{
    size_t d = strlen(DataDir), n = strlen(name);
    if (d + n + 1 > DATA_PATH_SIZE) {
        out[0] = 0;
        return 0;
    }
    memcpy(out, DataDir, d);
    memcpy(out + d, name, n + 1);
    return 1;
}

int CommitSideFile(const char *tempPath, const char *path, int written)
{
    if (written) {
        if (PlatReplaceFile(tempPath, path))
            return 1;
        // Keep the failed call's code: formatting the text must not replace it.
        uint32_t code = PlatLastError();
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Can't replace %s", path);
        PlatSetLastError(code);
        ReportWin32(text);
    }
    PlatDeleteFile(tempPath);
    return 0;
}
