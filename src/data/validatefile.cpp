// The validation cache: one text line per fund, read after the load's analysis and
// written at the end of the Validate job.
#include "data/validatefile.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/datadir.h"
#include "data/datetable.h"
#include "data/io.h"
#include "data/ratefile.h"

// FNV-1a over the bytes of a value.
static uint64_t Mix(uint64_t h, const void *data, size_t size)
{
    const unsigned char *b = (const unsigned char *)data;
    for (size_t k = 0; k < size; k++)
        h = (h ^ b[k]) * 1099511628211ull;
    return h;
}

uint64_t ValidationChecksum(const FundRecord *fund)
{
    uint64_t h = 1469598103934665603ull;
    const NavPoint *p = fund->points[0];
    if (!p)
        return h;
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        uint32_t index = p[i].dateWord & 0xFFFF;
        uint32_t date = index < DateCount ? DateTable[index] : 0;
        double rate = RateOfYear(MoneyMarketRates, MoneyMarketCount, YearCodeOf(index));
        h = Mix(h, &date, sizeof date);
        h = Mix(h, &p[i].value, sizeof p[i].value);
        h = Mix(h, &rate, sizeof rate);
    }
    return h;
}

int ValidationCurrent(const FundRecord *fund)
{
    const ValidationStats *v = &fund->validation;
    const MaSettings *s = &fund->maSettings[0];
    return (v->flags & VALIDATION_DONE) && v->maKind == s->maKind &&
           memcmp(v->words, s->words, sizeof v->words) == 0;
}

// ---------------------------------------------------------------------------------------
// A line: name, the fund's fingerprint, the settings, then the figures.
//   NAME points dists splits recentStart lastDate checksum kind w0 w1 w2 w3
//   flags walkYears walkForward buyAndHold inSample strategies pbo sharpe sr0 dsr
// Counts and words in decimal, the checksum in hexadecimal, figures as %.17g (which
// strtod reads back to the same bits).

#define VALIDATE_LINE_MAX 1024

struct ValidateLine {
    char name[VALIDATE_LINE_MAX];
    uint32_t counts[5];      // points, dists, splits, recentStart, last date (PackedDate)
    uint64_t checksum;
    uint32_t kind, words[4];
    ValidationStats stats;
};

// The lines read for funds that were not loaded, written back unchanged.
static char *KeptLines;

void FreeValidateLines(void)
{
    FreeBlock(KeptLines);
    KeptLines = nullptr;
}

static PackedDate LastDateOf(const FundRecord *f)
{
    if (!f->points[0] || f->pointCount == 0)
        return 0;
    uint32_t index = f->points[0][f->pointCount - 1].dateWord & 0xFFFF;
    return index < DateCount ? DateTable[index] : 0;
}

static int ReadUnsigned(char **at, uint32_t *out)
{
    char *end;
    unsigned long long v = strtoull(*at, &end, 10);
    if (end == *at || v > 0xFFFFFFFFull || **at == '-')
        return 0;
    *out = (uint32_t)v;
    *at = end;
    return 1;
}

static int ReadDouble(char **at, double *out)
{
    char *end;
    *out = strtod(*at, &end);
    if (end == *at)
        return 0;
    *at = end;
    return 1;
}

static int ParseLine(char *text, ValidateLine *l)
{
    char *at = text;
    while (*at == ' ')
        at++;
    size_t len = strcspn(at, " ");
    if (len == 0 || at[len] == 0)
        return 0;
    memcpy(l->name, at, len);
    l->name[len] = 0;
    at += len;
    int ok = 1;
    for (int k = 0; k < 5 && ok; k++)
        ok = ReadUnsigned(&at, &l->counts[k]);
    if (ok) {
        char *end;
        while (*at == ' ')
            at++;
        l->checksum = strtoull(at, &end, 16);
        ok = end != at && *at != '-';
        at = end;
    }
    ValidationStats *v = &l->stats;
    ok = ok && ReadUnsigned(&at, &l->kind);
    for (int k = 0; k < 4 && ok; k++)
        ok = ReadUnsigned(&at, &l->words[k]);
    ok = ok && ReadUnsigned(&at, &v->flags) && ReadUnsigned(&at, &v->walkYears) &&
         ReadDouble(&at, &v->walkForward) && ReadDouble(&at, &v->buyAndHold) &&
         ReadDouble(&at, &v->inSample) && ReadUnsigned(&at, &v->strategies) &&
         ReadDouble(&at, &v->pbo) && ReadDouble(&at, &v->sharpe) &&
         ReadDouble(&at, &v->expectedMaxSharpe) && ReadDouble(&at, &v->deflatedSharpe);
    while (ok && *at == ' ')
        at++;
    return ok && *at == 0 && (v->flags & VALIDATION_DONE);
}

static int LineFits(const ValidateLine *l, const FundRecord *f)
{
    const MaSettings *s = &f->maSettings[0];
    return l->counts[0] == f->pointCount && l->counts[1] == f->distCount &&
           l->counts[2] == f->splitCount && l->counts[3] == f->recentStart &&
           l->counts[4] == LastDateOf(f) && l->kind == s->maKind &&
           memcmp(l->words, s->words, sizeof l->words) == 0 &&
           l->checksum == ValidationChecksum(f);
}

// Appends a line to the kept lines.
static void KeepLine(const char *text)
{
    size_t have = KeptLines ? strlen(KeptLines) : 0, add = strlen(text);
    char *grown = (char *)ResizeBlock(KeptLines, have + add + 3);
    if (!grown)
        return;
    KeptLines = grown;
    memcpy(KeptLines + have, text, add);
    memcpy(KeptLines + have + add, "\r\n", 3);
}

static void WarnUnreadable(const char *path, unsigned line)
{
    char message[REPORT_BUFFER_SIZE];
    FormatText(message, sizeof message, "%s(%u): unreadable validation line", path, line);
    ReportWarning(message);
}

static void TakeLine(char *text, const char *path, unsigned line)
{
    if (text[0] == 0 || text[0] == ';')
        return;
    char copy[VALIDATE_LINE_MAX];
    memcpy(copy, text, strlen(text) + 1);
    ValidateLine l;
    memset(&l, 0, sizeof l);
    if (!ParseLine(text, &l)) {
        WarnUnreadable(path, line);
        return;
    }
    FundRecord *f = FindFund(l.name);
    if (!f) {
        KeepLine(copy);
        return;
    }
    if (!LineFits(&l, f))
        return;
    l.stats.maKind = l.kind;
    memcpy(l.stats.words, l.words, sizeof l.words);
    f->validation = l.stats;
}

void ReadValidateFile(void)
{
    FreeValidateLines();
    char path[DATA_PATH_SIZE];
    if (!DataPath("validate", path))
        return;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(path, IO_GENERIC_READ, buffer))
        return;
    char text[VALIDATE_LINE_MAX];
    size_t used = 0;
    unsigned line = 1;
    int tooLong = 0;
    for (;;) {
        int c = IoXGetB();
        if (c == '\n' || c < 0) {
            if (used > 0 && text[used - 1] == '\r')
                used--;
            text[used] = 0;
            if (tooLong)
                WarnUnreadable(path, line);
            else
                TakeLine(text, path, line);
            if (c < 0)
                break;
            used = 0;
            tooLong = 0;
            line++;
        } else if (c == 0) {
            tooLong = 1;  // no line of the file holds a zero byte
        } else if (used + 1 < sizeof text) {
            text[used++] = (char)c;
        } else {
            tooLong = 1;
        }
    }
    IoClose();
}

static int PutText(const char *text)
{
    for (; *text; text++)
        if (!IoXPutB((unsigned char)*text))
            return 0;
    return 1;
}

// A fund's line; 0 when its name would not read back as the line's first word.
static int FormatFundLine(const FundRecord *f, char *out, size_t size)
{
    const char *name = f->shortName;
    if (!name || !name[0] || name[0] == ';' || strpbrk(name, " \r\n"))
        return 0;
    const ValidationStats *v = &f->validation;
    const uint32_t *w = f->maSettings[0].words;
    int n = snprintf(out, size,
                     "%s %u %u %u %u %u %016" PRIx64 " %u %u %u %u %u %u %u %.17g %.17g %.17g "
                     "%u %.17g %.17g %.17g %.17g\r\n",
                     name, (unsigned)f->pointCount, (unsigned)f->distCount,
                     (unsigned)f->splitCount, (unsigned)f->recentStart,
                     (unsigned)LastDateOf(f), ValidationChecksum(f),
                     (unsigned)f->maSettings[0].maKind, (unsigned)w[0], (unsigned)w[1],
                     (unsigned)w[2], (unsigned)w[3], (unsigned)v->flags,
                     (unsigned)v->walkYears, v->walkForward, v->buyAndHold, v->inSample,
                     (unsigned)v->strategies, v->pbo, v->sharpe, v->expectedMaxSharpe,
                     v->deflatedSharpe);
    return n > 0 && (size_t)n < size;
}

int WriteValidateFile(void)
{
    if (!DataDirWritable)
        return 0;
    char path[DATA_PATH_SIZE], tempPath[DATA_PATH_SIZE];
    if (!DataPath("validate", path) || !DataPath("validate.tmp", tempPath))
        return 0;
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(tempPath, IO_GENERIC_WRITE, buffer))
        return 0;
    int ok = PutText("; validation figures per fund: name, data, settings, figures\r\n");
    if (KeptLines)
        ok = PutText(KeptLines) && ok;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        char text[VALIDATE_LINE_MAX];
        if (ValidationCurrent(f) && FormatFundLine(f, text, sizeof text))
            ok = PutText(text) && ok;
    }
    if (!IoFlush())
        ok = 0;
    if (!IoClose())
        ok = 0;
    return CommitSideFile(tempPath, path, ok);
}
