// Reading the help files KEYHELP and README into memory and splitting them into lines.
#include "app/helptext.h"

#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "platform/platform.h"

uint32_t CountHelpLines(const char *text, uint32_t size)
{
    uint32_t count = 0;
    uint32_t start = 0;
    for (uint32_t i = 0; i < size; i++) {
        if (text[i] != '\r')
            continue;
        count++;
        if (i + 1 < size && text[i + 1] == '\n')
            i++;
        start = i + 1;
    }
    return start < size ? count + 1 : count;
}

void FillHelpLines(const char *text, uint32_t size, HelpLine *lines)
{
    uint32_t n = 0;
    uint32_t start = 0;
    for (uint32_t i = 0; i < size; i++) {
        if (text[i] != '\r')
            continue;
        lines[n].offset = start;
        lines[n].length = i - start;
        n++;
        if (i + 1 < size && text[i + 1] == '\n')
            i++;
        start = i + 1;
    }
    if (start < size) {
        lines[n].offset = start;
        lines[n].length = size - start;
    }
}

void FreeHelpText(HelpText *help)
{
    FreeBlock(help->text);
    FreeBlock(help->lines);
    help->text = nullptr;
    help->lines = nullptr;
    help->size = 0;
    help->count = 0;
}

static void ReportLabelled(const char *format, const char *label)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, label);
    ReportWin32(text);
}

int ReadHelpText(const char *name, const char *label, int reportFailures, HelpText *help)
{
    FreeHelpText(help);
    char path[DATA_PATH_SIZE];
    if (!DataPath(name, path))
        return 0;
    PlatFile file = PlatOpenRead(path);
    if (file == PLAT_NO_FILE) {
        if (reportFailures)
            ReportLabelled("Opening %s file", label);
        return 0;
    }
    int ok = 0;
    uint32_t size = PlatFileSize(file);
    if (size == 0xFFFFFFFFu) {
        if (reportFailures)
            ReportLabelled("GetFileSize of %s", label);
    } else if (size > 0 && (help->text = (char *)AllocZero(size, 1)) != nullptr) {
        uint32_t got = 0;
        if (!PlatRead(file, help->text, size, &got) || got != size) {
            if (reportFailures)
                ReportLabelled("ReadFile of %s", label);
            FreeBlock(help->text);
            help->text = nullptr;
        } else {
            help->size = size;
            ok = 1;
        }
    }
    if (!PlatClose(file)) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "CloseHandle(%s%s)", DataDir, name);
        ReportWin32(text);
    }
    if (!ok)
        return 0;
    uint32_t count = CountHelpLines(help->text, help->size);
    help->lines = (HelpLine *)AllocZero(count, sizeof(HelpLine));
    if (!help->lines) {
        // Out of memory: the text goes too, since it cannot be shown without its lines.
        FreeHelpText(help);
        return 0;
    }
    FillHelpLines(help->text, help->size, help->lines);
    help->count = count;
    return 1;
}
