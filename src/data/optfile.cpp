// The opt cache: its reader over the tokenizer and its writer through the Io layer.
#include "data/optfile.h"

#include <math.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/io.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "data/tokenizer.h"

OptRecord *OptTable;
uint32_t OptCount;
int OptModeReselect;
int OptModeRecalculate;
int OptimizedFlag;

namespace {

// The state of one ReadOptFile call.
struct OptParse {
    const char *path;
    unsigned line;
    char token[TOKEN_BUFFER_SIZE];
};

// The state of one WriteOptFile call: 0 once any byte could not be written.
struct OptWriter {
    int ok;
};

}  // namespace

// The reader's digit limit of a packed parameter: two digits, three for the VIDYA percent.
static int ParamDigits(int param)
{
    return param == VIDYA_PERCENT ? 3 : 2;
}

static uint32_t ReadNumber(OptParse *p, int maxDigits)
{
    return GetNumber(p->path, p->line, maxDigits, p->token);
}

static void ReadSeriesBlock(OptParse *p, MaSettings *s)
{
    s->maKind = ReadNumber(p, 1) & 7;
    for (int k = 0; k < 5; k++) {
        double value = GetDecimal(p->path, p->line, p->token);
        // "0 0 1" (an old file's small negative) must not read back as -0.0, which
        // would print as "-0.0" where a fresh search shows "0.0".
        s->maAverage[k] = value == 0 ? 0.0 : value;
    }
    for (int param = 0; param < MA_PARAM_COUNT; param++)
        SetMaParam(s, (MaParam)param, ReadNumber(p, ParamDigits(param)));
}

static void ReadRecordFields(OptParse *p, OptRecord *r)
{
    r->fileSize = ReadNumber(p, 6);
    r->pointCount = ReadNumber(p, 5);
    r->distCount = ReadNumber(p, 5);
    r->splitCount = ReadNumber(p, 5);
    r->recentStart = ReadNumber(p, 5);
    ReadSeriesBlock(p, &r->series[0]);
    ReadSeriesBlock(p, &r->series[1]);
}

static void WarnUnexpected(OptParse *p, int kind)
{
    char text[REPORT_BUFFER_SIZE];
    FormatUnexpectedToken(p->path, p->line, kind, p->token, text, sizeof text);
    ReportWarning(text);
}

static void StoreRecord(OptRecord *slot, const OptRecord *values, const char *name)
{
    FreeBlock(slot->name);
    *slot = *values;
    slot->name = CopyString(name, strlen(name));
    for (int s = 0; s < 2; s++)
        slot->saved[s] = slot->series[s].maKind != 0;
}

void ReadOptFile(const char *path, int mode)
{
    // A second load counts afresh; the previous run's table must not leak.
    if (mode == OPT_COUNT_RECORDS)
        FreeOptTable();
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(path, IO_GENERIC_READ, buffer))
        return;
    ResetTokenizer();

    OptParse p;
    p.path = path;
    p.line = 1;
    uint32_t records = 0;
    for (;;) {
        int kind = GetToken(p.path, p.line, p.token);
        if (kind == TOKEN_END_OF_FILE)
            break;
        if (IsLineEnd(kind)) {
            p.line++;
            continue;
        }
        if (kind != TOKEN_STRING) {
            WarnUnexpected(&p, kind);
            SkipToLineEnd();
            continue;
        }

        // The fields reuse the token buffer.
        char name[TOKEN_BUFFER_SIZE];
        memcpy(name, p.token, sizeof name);
        OptRecord values;
        memset(&values, 0, sizeof values);
        ReadRecordFields(&p, &values);

        kind = GetToken(p.path, p.line, p.token);
        if (IsLineEnd(kind)) {
            p.line++;
        } else {
            WarnUnexpected(&p, kind);
            if (kind != TOKEN_END_OF_FILE)
                SkipToLineEnd();
        }
        // A file that grew since the count keeps its extra lines out of the table.
        if (mode == OPT_STORE_RECORDS && records < OptCount)
            StoreRecord(&OptTable[records], &values, name);
        records++;
    }
    IoClose();

    if (mode == OPT_COUNT_RECORDS && records > 0) {
        OptTable = (OptRecord *)AllocZero(records, sizeof(OptRecord));
        OptCount = OptTable ? records : 0;
    }
}

OptRecord *FindOptRecord(const char *shortName)
{
    for (uint32_t i = 0; i < OptCount; i++)
        if (OptTable[i].name && CompareNoCase(OptTable[i].name, shortName) == 0)
            return &OptTable[i];
    return nullptr;
}

void FreeOptTable(void)
{
    for (uint32_t i = 0; i < OptCount; i++)
        FreeBlock(OptTable[i].name);
    FreeBlock(OptTable);
    OptTable = nullptr;
    OptCount = 0;
}

// The three numbers a double is saved as. Values the reader could not take back (NaN,
// six-digit whole parts exceeded) are pinned, so that one odd figure cannot make the
// whole line unreadable.
static void SplitDecimal(double x, uint32_t *whole, uint32_t *tenths, uint32_t *negative)
{
    double a = fabs(x);
    if (a != a) {
        *whole = *tenths = *negative = 0;
        return;
    }
    if (a >= 1000000.0) {
        *whole = 999999;
        *tenths = 9;
    } else {
        *whole = (uint32_t)a;
        *tenths = (uint32_t)(a * 10.0) % 10;
    }
    // A value that saves as zero keeps no sign, so it never reads back as -0.0.
    *negative = x < 0 && (*whole != 0 || *tenths != 0);
}

double SavedDecimal(double x)
{
    uint32_t whole, tenths, negative;
    SplitDecimal(x, &whole, &tenths, &negative);
    double value = (double)whole + (double)tenths / 10.0;
    return negative ? -value : value;
}

static void PutText(OptWriter *w, const char *text)
{
    for (; *text; text++)
        if (!IoXPutB((unsigned char)*text))
            w->ok = 0;
}

// A field: an unsigned decimal without leading zeros and its blank.
static void PutNumber(OptWriter *w, uint32_t value)
{
    char text[16];
    FormatText(text, sizeof text, "%u ", (unsigned)value);
    PutText(w, text);
}

static void PutDecimal(OptWriter *w, double x)
{
    uint32_t whole, tenths, negative;
    SplitDecimal(x, &whole, &tenths, &negative);
    PutNumber(w, whole);
    PutNumber(w, tenths);
    PutNumber(w, negative);
}

static void PutSeriesBlock(OptWriter *w, const MaSettings *s)
{
    PutNumber(w, s->maKind & 7);
    for (int k = 0; k < 5; k++)
        PutDecimal(w, s->maAverage[k]);
    for (int param = 0; param < MA_PARAM_COUNT; param++)
        PutNumber(w, GetMaParam(s, (MaParam)param));
}

// The largest file size the line holds: the reader takes six digits at most and reads a
// seventh as a broken line. Nothing decides on the size (whether saved values still fit
// rests on the counts), so a larger fund file is saved as this, which every reader,
// older builds' included, takes back.
#define OPT_FILE_SIZE_MAX 999999u

static void PutLine(OptWriter *w, const char *name, const uint32_t counts[5],
                    const MaSettings series[2])
{
    PutText(w, name);
    PutText(w, " ");
    PutNumber(w, counts[0] < OPT_FILE_SIZE_MAX ? counts[0] : OPT_FILE_SIZE_MAX);
    for (int i = 1; i < 5; i++)
        PutNumber(w, counts[i]);
    PutSeriesBlock(w, &series[0]);
    PutSeriesBlock(w, &series[1]);
    PutText(w, "\r\n");
}

// A name the reader takes back as the line's first word: the tokenizer ends a word at a
// blank, tab, "=" or "/", reads ";" as a comment, and leading digits not followed by a
// letter as a number. A fund whose name fails this is simply not cached.
static int OptNameReadable(const char *name)
{
    if (!name || !name[0] || name[0] == ';')
        return 0;
    for (const char *p = name; *p; p++)
        if (*p == ' ' || *p == '\t' || *p == '=' || *p == '/' || *p == '.' || *p == '\r' ||
            *p == '\n')
            return 0;
    const char *p = name;
    while (*p >= '0' && *p <= '9')
        p++;
    int letter = (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z');
    return p == name || letter;
}

void WriteOptFile(void)
{
    if (!OptimizedFlag || !DataDirWritable)
        return;
    char path[DATA_PATH_SIZE], tempPath[DATA_PATH_SIZE];
    if (!DataPath("opt", path) || !DataPath("opt.tmp", tempPath))
        return;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(tempPath, IO_GENERIC_WRITE, buffer))
        return;

    OptWriter w;
    w.ok = 1;
    // The lines of funds this run did not use come first, so that their values survive
    // a run without the fund's file. A record whose name a loaded fund carries is that
    // fund's (two files can share a short name): it is written with the fund, not again.
    for (uint32_t i = 0; i < OptCount; i++) {
        const OptRecord *r = &OptTable[i];
        if (!(r->saved[0] || r->saved[1]) || !OptNameReadable(r->name) || FindFund(r->name))
            continue;
        const uint32_t counts[5] = {r->fileSize, r->pointCount, r->distCount, r->splitCount,
                                    r->recentStart};
        PutLine(&w, r->name, counts, r->series);
    }
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (!OptNameReadable(f->shortName))
            continue;
        const uint32_t counts[5] = {f->fileSize, f->pointCount, f->distCount, f->splitCount,
                                    f->recentStart};
        // Series 1 shares series 0's results when the fund has no index fund; those are
        // no saved values of a relative series, so its block says "not searched".
        MaSettings settings[2] = {f->maSettings[0], f->maSettings[1]};
        if (f->points[0] && f->points[1] == f->points[0])
            settings[1].maKind = MA_NONE;
        PutLine(&w, f->shortName, counts, settings);
    }
    if (!IoFlush())
        w.ok = 0;
    if (!IoClose())
        w.ok = 0;
    // The flag stays set after a failure, so that the next job's end tries again.
    if (CommitSideFile(tempPath, path, w.ok))
        OptimizedFlag = 0;
}
