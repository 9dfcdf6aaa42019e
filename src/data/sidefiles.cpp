// The side files PRTFOLIO, SETTINGS and Index, and the replace-on-success rule of writers.
#include "data/sidefiles.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/datadir.h"
#include "data/fund.h"
#include "data/io.h"
#include "data/viewflags.h"
#include "platform/platform.h"

// The longest line or text the readers keep, terminator excluded.
#define SIDE_TEXT_MAX 511

// The target and temporary paths of a side file in DataDir; 0 when the directory is not
// to be written (DataDirWritable clear) or a path would not fit.
static int SidePaths(const char *name, char *path, char *tempPath)
{
    if (!DataDirWritable)
        return 0;
    char tempName[64];
    FormatText(tempName, sizeof tempName, "%s.tmp", name);
    return DataPath(name, path) && DataPath(tempName, tempPath);
}

// Appends text to the file open for writing in the Io layer; 0 once a byte was lost.
static int PutText(const char *text)
{
    int ok = 1;
    for (; *text; text++)
        if (!IoXPutB((unsigned char)*text))
            ok = 0;
    return ok;
}

// Flushes and closes the Io layer's temporary file and moves it over path when nothing
// failed along the way.
static void FinishSideFile(const char *tempPath, const char *path, int ok)
{
    if (!IoFlush())
        ok = 0;
    if (!IoClose())
        ok = 0;
    CommitSideFile(tempPath, path, ok);
}

// ---------------------------------------------------------------------------------------
// PRTFOLIO

static void WarnPrematureEnd(const char *path)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "%s: %s", path, "Premature end of file.");
    ReportWarning(text);
}

// Reads bytes up to CR, LF, CR LF or the end of the file, keeping at most 511 of them.
// *atEnd tells whether the line ended at the end of the file. Returns the length kept.
static size_t ReadPortfolioLine(char *line, int *atEnd)
{
    size_t n = 0;
    int c;
    for (;;) {
        c = IoXGetB();
        if (c < 0 || c == '\r' || c == '\n')
            break;
        if (n < SIDE_TEXT_MAX)
            line[n++] = (char)c;
    }
    line[n] = 0;
    *atEnd = c < 0;
    if (c == '\r') {
        int next = IoXGetB();
        if (next >= 0 && next != '\n')
            IoUngetB();
    }
    return n;
}

void ReadPortfolioFile(void)
{
    char path[DATA_PATH_SIZE];
    if (!DataPath("PRTFOLIO", path))
        return;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(path, IO_GENERIC_READ, buffer))
        return;

    int low = IoXGetB();
    int high = low < 0 ? -1 : IoXGetB();
    if (high < 0) {
        WarnPrematureEnd(path);
        IoClose();
        return;
    }
    uint32_t count = (uint32_t)low | ((uint32_t)high << 8);

    char missing[513];
    size_t missingLength = 0;
    int anyMissing = 0;
    missing[0] = 0;
    for (uint32_t i = 0; i < count; i++) {
        char name[SIDE_TEXT_MAX + 1];
        int atEnd;
        size_t length = ReadPortfolioLine(name, &atEnd);
        if (length == 0) {
            if (atEnd)
                WarnPrematureEnd(path);
            break;
        }
        FundRecord *fund = FindFund(name);
        if (fund) {
            fund->flags |= FUND_IN_PORTFOLIO;
            continue;
        }
        anyMissing = 1;
        // Room for the separator and the terminator as well.
        if (missingLength + length + 3 < sizeof missing) {
            if (missingLength > 0) {
                memcpy(missing + missingLength, ", ", 2);
                missingLength += 2;
            }
            memcpy(missing + missingLength, name, length + 1);
            missingLength += length;
        }
    }
    if (anyMissing) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Portfolio fund(s) not found: %s.", missing);
        ReportWarning(text);
    }
    IoClose();
}

void WritePortfolioFile(void)
{
    char path[DATA_PATH_SIZE], tempPath[DATA_PATH_SIZE];
    if (!SidePaths("PRTFOLIO", path, tempPath))
        return;

    // A fund without a shortName would write an empty line, which ends the list when
    // read; the count has sixteen bits.
    uint32_t count = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if ((f->flags & FUND_IN_PORTFOLIO) && f->shortName && f->shortName[0])
            count++;
    }
    if (count > 0xFFFF)
        count = 0xFFFF;

    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(tempPath, IO_GENERIC_WRITE, buffer))
        return;
    int ok = IoXPutB((int)(count & 0xFF));
    ok &= IoXPutB((int)(count >> 8));
    uint32_t written = 0;
    for (uint32_t i = 0; i < FundCount && written < count; i++) {
        const FundRecord *f = &FundTable[i];
        if (!(f->flags & FUND_IN_PORTFOLIO) || !f->shortName || !f->shortName[0])
            continue;
        ok &= PutText(f->shortName);
        ok &= PutText("\r\n");
        written++;
    }
    FinishSideFile(tempPath, path, ok);
}

// ---------------------------------------------------------------------------------------
// SETTINGS

namespace {

// One of the fifteen leading bytes: a one-byte or a 32-bit view-state global, and the
// first value it may not take.
struct SettingsByte {
    uint8_t *flag;
    uint32_t *word;
    uint32_t limit;
};

}  // namespace

static const SettingsByte SettingsBytes[15] = {
    {nullptr, &ZoomOn, 2},
    {nullptr, &LinearScale, 2},
    {&ShowMovingAverage, nullptr, 2},
    {&ShowBollinger, nullptr, 2},
    {&ShowDistributions, nullptr, 2},
    {&CategorySort, nullptr, 2},
    {nullptr, &ChartKind, CHART_KIND_COUNT},
    {nullptr, &CombinedGraphs, 2},
    {&GroupMode, nullptr, 2},
    {&ShowBenchmark, nullptr, 2},
    {&ShowRsi, nullptr, 2},
    {&ShowMacd, nullptr, 2},
    {&MagnifyMacd, nullptr, 2},
    {&ShowRoc, nullptr, 2},
    {&OverlaidGraphs, nullptr, 2},
};

static void WarnSettingsPrematureEnd(void)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "%s%s: %s", DataDir, "SETTINGS", "Premature end of file.");
    ReportWarning(text);
}

// Reads the fifteen bytes; 0 when reading must stop (the warning given).
static int ReadSettingsBytes(void)
{
    for (int i = 0; i < 15; i++) {
        int c = IoXGetB();
        if (c < 0) {
            WarnSettingsPrematureEnd();
            return 0;
        }
        const SettingsByte *b = &SettingsBytes[i];
        if ((uint32_t)c >= b->limit) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "%s%s(%u): Syntax error, \"%s\".", DataDir,
                       "SETTINGS", 1u, "illegal byte value");
            ReportWarning(text);
            return 0;
        }
        if (b->flag)
            *b->flag = (uint8_t)c;
        else
            *b->word = (uint32_t)c;
    }
    return 1;
}

void ReadSettingsFile(void)
{
    char path[DATA_PATH_SIZE];
    if (!DataPath("SETTINGS", path))
        return;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(path, IO_GENERIC_READ, buffer))
        return;
    if (!ReadSettingsBytes()) {
        IoClose();
        return;
    }

    char text[SIDE_TEXT_MAX + 1];
    size_t n = 0;
    int c;
    while ((c = IoXGetB()) >= 0 && c != ' ')
        if (n < SIDE_TEXT_MAX)
            text[n++] = (char)c;
    text[n] = 0;
    if (n > 0)
        SetUnzipProgram(text);
    if (c < 0) {
        WarnSettingsPrematureEnd();
        IoClose();
        return;
    }

    n = 0;
    while ((c = IoXGetB()) >= 0)
        if (n < SIDE_TEXT_MAX)
            text[n++] = (char)c;
    text[n] = 0;
    if (n > 0) {
        memcpy(DefaultBenchmark, text, n + 1);
        if (!FindFund(DefaultBenchmark))
            DefaultBenchmark[0] = 0;
    }
    IoClose();
}

void WriteSettingsFile(void)
{
    char path[DATA_PATH_SIZE], tempPath[DATA_PATH_SIZE];
    if (!SidePaths("SETTINGS", path, tempPath))
        return;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(tempPath, IO_GENERIC_WRITE, buffer))
        return;
    int ok = 1;
    for (int i = 0; i < 15; i++) {
        const SettingsByte *b = &SettingsBytes[i];
        uint32_t value = b->flag ? *b->flag : *b->word;
        // Whatever the global holds, the byte must read back as legal.
        if (b->limit == 2)
            value = value != 0;
        else if (value >= b->limit)
            value = CHART_NONE;
        ok &= IoXPutB((int)value);
    }
    if (UnzipProgram && !strchr(UnzipProgram, ' '))
        ok &= PutText(UnzipProgram);
    ok &= IoXPutB(' ');
    ok &= PutText(DefaultBenchmark);
    FinishSideFile(tempPath, path, ok);
}

// ---------------------------------------------------------------------------------------
// Index

// Copies at most INDEX_NAME_MAX characters of text[0..length) into out.
static void CutName(const char *text, size_t length, char *out)
{
    if (length > INDEX_NAME_MAX)
        length = INDEX_NAME_MAX;
    memcpy(out, text, length);
    out[length] = 0;
}

static void ReadIndexLine(const char *path, unsigned lineNumber, const char *line)
{
    size_t end = strcspn(line, "\r\n");
    const char *equals = (const char *)memchr(line, '=', end);
    size_t fundLength = equals ? (size_t)(equals - line) : end;
    size_t indexLength = equals ? end - fundLength - 1 : 0;
    if (!equals || fundLength == 0 || indexLength == 0) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "%s(%u): Syntax error: %s", path, lineNumber, line);
        ReportWarning(text);
        return;
    }
    char fundName[INDEX_NAME_MAX + 1], indexName[INDEX_NAME_MAX + 1];
    CutName(line, fundLength, fundName);
    CutName(equals + 1, indexLength, indexName);

    FundRecord *fund = FindFund(fundName);
    if (!fund)
        return;
    FreeBlock(fund->indexName);
    fund->indexName = nullptr;
    if (FindFund(indexName)) {
        fund->indexName = CopyString(indexName, strlen(indexName));
    } else {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Can't find index %s for fund %s.", indexName, fundName);
        ReportWarning(text);
    }
}

void ReadIndexFile(void)
{
    char path[DATA_PATH_SIZE];
    if (!DataPath("Index", path))
        return;
    FILE *file = fopen(path, "r");
    if (!file) {
        if (errno != ENOENT) {
            int code = errno;
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "Can't open %s", path);
            errno = code;
            ReportCrt(text);
        }
        return;
    }
    char line[SIDE_TEXT_MAX + 1];
    unsigned lineNumber = 1;
    while (fgets(line, sizeof line, file)) {
        // A longer line keeps its first 511 characters; the rest of it is dropped, so
        // that it does not come back as lines of its own.
        if (!strchr(line, '\n')) {
            int c;
            while ((c = fgetc(file)) != EOF && c != '\n') {
            }
        }
        ReadIndexLine(path, lineNumber, line);
        lineNumber++;
    }
    fclose(file);
}

void WriteIndexFile(void)
{
    char path[DATA_PATH_SIZE], tempPath[DATA_PATH_SIZE];
    if (!SidePaths("Index", path, tempPath))
        return;

    // The lines go out sorted by shortName (a stable insertion sort, so equal names keep
    // their table order) through a list of record numbers; the table itself stays in
    // its display order.
    uint32_t *order = nullptr;
    if (FundCount > 0) {
        order = (uint32_t *)AllocZero(FundCount, sizeof(uint32_t));
        if (!order)
            return;
    }
    uint32_t count = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (!f->indexName || !f->shortName)
            continue;
        uint32_t at = count;
        while (at > 0 && CompareNoCase(FundTable[order[at - 1]].shortName, f->shortName) > 0) {
            order[at] = order[at - 1];
            at--;
        }
        order[at] = i;
        count++;
    }

    FILE *file = fopen(tempPath, "w");
    if (!file) {
        FreeBlock(order);
        ReportWarning("Can't create INDEX file");
        return;
    }
    int ok = 1, code = 0;
    for (uint32_t k = 0; k < count && ok; k++) {
        const FundRecord *f = &FundTable[order[k]];
        if (fprintf(file, "%s=%s\n", f->shortName, f->indexName) < 0)
            ok = 0, code = errno;
    }
    FreeBlock(order);
    if (ok && ferror(file))
        ok = 0, code = errno;
    if (fclose(file) != 0 && ok)
        ok = 0, code = errno;
    if (!ok) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Can't write %s", tempPath);
        errno = code;
        ReportCrt(text);
    }
    CommitSideFile(tempPath, path, ok);
}
