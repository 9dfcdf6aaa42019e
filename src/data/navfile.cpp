// The fund file parser, line by line over the tokenizer.
#include "data/navfile.h"

#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/io.h"
#include "data/tokenizer.h"
#include "platform/platform.h"

namespace {

// The state of one ReadNavFile call.
struct NavParse {
    const char *path;
    FundRecord *fund;
    int pass;
    unsigned line;
    char token[TOKEN_BUFFER_SIZE];
    // First pass: counts. Second pass: countdowns from the first pass's counts.
    uint32_t points, dists, splits;
    // Second pass: more lines of a kind than the first pass counted.
    int pointsOverrun, distsOverrun, splitsOverrun;
    // First pass: where the dates go; null for the DateTable.
    NavDateSink dateSink;
    void *dateContext;
};

void NoteDate(NavParse *p, PackedDate date)
{
    if (p->dateSink)
        p->dateSink(p->dateContext, date, p->line);
    else
        AddDate(date, p->path, p->line);
}

enum DistField { FIELD_NONE, FIELD_DIV, FIELD_SCG, FIELD_MCG, FIELD_LCG };

}  // namespace

unsigned ShortNameOfPath(const char *path, char *out, unsigned size)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    unsigned n = 0;
    while (name[n] && name[n] != '.' && n + 1 < size) {
        out[n] = name[n];
        n++;
    }
    out[n] = 0;
    return n;
}

static int NextToken(NavParse *p)
{
    return GetToken(p->path, p->line, p->token);
}

static void ReportAt(NavParse *p, const char *text)
{
    ReportFileError(p->path, p->line, text);
}

// Skips what is left of the current line and counts its line end.
static void SkipRestOfLine(NavParse *p)
{
    SkipToLineEnd();
    if (IsLineEnd(NextToken(p)))
        p->line++;
}

// kind was the last token taken: the line is over when it was a line end (counted here)
// or the end of the file; otherwise the rest of the line is skipped.
static void EndLineAfter(NavParse *p, int kind)
{
    if (IsLineEnd(kind))
        p->line++;
    else if (kind != TOKEN_END_OF_FILE)
        SkipRestOfLine(p);
}

// Reports the token and skips the line token by token (so an overlong word there is
// still reported), counting its line end.
static void Unexpected(NavParse *p, int kind)
{
    char text[REPORT_BUFFER_SIZE];
    FormatUnexpectedToken(p->path, p->line, kind, p->token, text, sizeof text);
    ReportError(text);
    while (kind != TOKEN_END_OF_FILE && !IsLineEnd(kind))
        kind = NextToken(p);
    if (IsLineEnd(kind))
        p->line++;
}

// Takes one element of a second-pass countdown: its index, or -1 when the first pass
// counted fewer (the file changed between the passes) or the array is missing.
static long TakeElement(uint32_t *countdown, int *overrun, const void *array)
{
    if (*countdown == 0) {
        *overrun = 1;
        return -1;
    }
    (*countdown)--;
    return array ? (long)*countdown : -1;
}

// Fraction digits are taken from the token text, so that a run of ten or more digits
// (an "ASCII STRING" to the tokenizer) still gives its leading digits.
static unsigned LeadingDigits(const char *text, uint8_t *digits, unsigned room)
{
    unsigned n = 0;
    while (text[n] >= '0' && text[n] <= '9') {
        if (n < room)
            digits[n] = (uint8_t)(text[n] - '0');
        n++;
    }
    return n;
}

// integer + first two fraction digits / 100 + third and fourth / 10000.
static double ComposeValue(uint32_t integer, uint32_t frac4)
{
    return (double)integer + (double)(frac4 / 100) / 100.0 + (double)(frac4 % 100) / 10000.0;
}

// The four stored fraction digits of a NAV: with five or more, the fourth is rounded up
// when the fifth is 5 or more, carrying into the integer part.
static double RoundedNav(uint32_t integer, const uint8_t *f, unsigned n)
{
    uint32_t frac4 = 0;
    for (unsigned i = 0; i < 4; i++)
        frac4 = frac4 * 10 + (i < n ? f[i] : 0);
    if (n >= 5 && f[4] >= 5)
        frac4++;
    if (frac4 == 10000) {
        integer++;
        frac4 = 0;
    }
    return ComposeValue(integer, frac4);
}

// The NAV line of date takes an element: first pass, the date is noted and counted;
// second pass, the index of its point, or -1 (see TakeElement).
static long TakeNavElement(NavParse *p, PackedDate date)
{
    if (p->pass == NAV_FIRST_PASS) {
        NoteDate(p, date);
        p->points++;
        return -1;
    }
    return TakeElement(&p->points, &p->pointsOverrun, p->fund->points[0]);
}

// Stores the point at of a NAV line: its date, and its value when the line had one
// (have), from the integer part and the n fraction digits whose first five are in f.
static void StoreNavPoint(NavParse *p, long at, PackedDate date, int have, uint32_t integer,
                          const uint8_t *f, unsigned n)
{
    if (at < 0)
        return;
    NavPoint *point = &p->fund->points[0][at];
    point->dateWord = date & 0xFFFF;
    if (have)
        point->value = RoundedNav(integer, f, n);
    else
        point->dateWord |= NAV_NO_VALUE;
}

// date = number: the NAV line.
static void ReadNavLine(NavParse *p, PackedDate date)
{
    long at = TakeNavElement(p, date);
    int have = 0;
    uint32_t integer = 0;
    uint8_t f[5] = {0, 0, 0, 0, 0};
    unsigned n = 0;
    int kind = NextToken(p);
    int lineTaken = 0;
    if (IsNumberToken(kind) || kind == TOKEN_DOT) {
        if (kind != TOKEN_DOT) {
            have = 1;
            integer = DigitSlotsValue(TokenDigits(kind));
            kind = NextToken(p);
        }
        if (kind == TOKEN_DOT) {
            kind = NextToken(p);
            n = LeadingDigits(p->token, f, 5);
            if (n > 0)
                have = 1;
            else
                EndLineAfter(p, kind), lineTaken = 1;
        } else {
            EndLineAfter(p, kind), lineTaken = 1;
        }
    } else {
        EndLineAfter(p, kind), lineTaken = 1;
    }
    StoreNavPoint(p, at, date, have, integer, f, n);
    if (!lineTaken)
        SkipRestOfLine(p);
}

// A run of 1 to most digits at *q, before end, not followed by another digit: its value,
// and *q past it; -1 (and *q anywhere) otherwise. The first five digits go into f when
// it is given.
static int64_t TakeDigitRun(const unsigned char **q, const unsigned char *end, unsigned most,
                            uint8_t *f = nullptr, unsigned *count = nullptr)
{
    int64_t value = 0;
    unsigned n = 0;
    for (; *q < end && **q >= '0' && **q <= '9'; (*q)++, n++) {
        if (n == most)
            return -1;
        if (f && n < 5)
            f[n] = (uint8_t)(**q - '0');
        value = value * 10 + (**q - '0');
    }
    if (count)
        *count = n;
    return n == 0 ? -1 : value;
}

static const unsigned char *PastBlanks(const unsigned char *q, const unsigned char *end)
{
    while (q < end && (*q == ' ' || *q == '\t'))
        q++;
    return q;
}

// Most lines of a fund file are "MM/DD/YY = 12.34" and a CR LF or LF. Such a line is
// read here straight from the byte layer's fill, giving what the token-by-token reading
// gives (the date, the value, the line count; no message can arise), without a call into
// the layer for every byte. Any other line (blanks elsewhere, a part with more digits
// than a number token holds, a date the token reading would reject, no fraction, a line
// that does not end within the fill) is left untouched for the token reading. 1 when
// the line was read, 0 when it was left, -1 at the end of the file (or after a read
// error, which the layer has reported: reading on would only report it again).
static int ReadPlainNavLine(NavParse *p)
{
    if (LineEndPending())
        return 0;
    uint32_t count;
    const unsigned char *start = IoFill(&count), *end = start + count, *q = start;
    if (count == 0)
        return -1;
    int64_t part[3];
    for (int i = 0; i < 3; i++) {
        if ((part[i] = TakeDigitRun(&q, end, 2)) < 0 || (i < 2 && (q == end || *q++ != '/')))
            return 0;
    }
    if (part[0] < 1 || part[0] > 12 || part[1] < 1 || part[1] > 31)
        return 0;
    q = PastBlanks(q, end);
    if (q == end || *q++ != '=')
        return 0;
    q = PastBlanks(q, end);
    int64_t integer = TakeDigitRun(&q, end, 9);
    if (integer < 0 || q == end || *q++ != '.')
        return 0;
    uint8_t f[5] = {0, 0, 0, 0, 0};
    unsigned n = 0;
    if (TakeDigitRun(&q, end, 9, f, &n) < 0)
        return 0;
    if (q < end && *q == '\n')
        q++;
    else if (end - q >= 2 && q[0] == '\r' && q[1] == '\n')
        q += 2;
    else
        return 0;
    IoTake((uint32_t)(q - start));
    PackedDate date = MakePackedDate(YearCodeOfTwoDigitYear((uint32_t)part[2]),
                                     (uint32_t)part[0], (uint32_t)part[1]);
    StoreNavPoint(p, TakeNavElement(p, date), date, 1, (uint32_t)integer, f, n);
    p->line++;
    return 1;
}

// A share count of a SPLIT line: 1 to 3 digits, 1 to 255.
static int ReadShareCount(NavParse *p, uint32_t *count)
{
    int kind = NextToken(p);
    int digits = TokenDigits(kind);
    uint32_t value = DigitSlotsValue(digits);
    if (digits < 1 || digits > 3 || value < 1 || value > 255) {
        Unexpected(p, kind);
        return 0;
    }
    *count = value;
    return 1;
}

// date SPLIT n FOR m.
static void ReadSplitLine(NavParse *p, PackedDate date)
{
    if (p->pass == NAV_FIRST_PASS)
        NoteDate(p, date);
    uint32_t newShares, oldShares;
    if (!ReadShareCount(p, &newShares))
        return;
    int kind = NextToken(p);
    if (kind != TOKEN_STRING || CompareNoCase(p->token, "FOR") != 0) {
        Unexpected(p, kind);
        return;
    }
    if (!ReadShareCount(p, &oldShares))
        return;
    if (p->pass == NAV_FIRST_PASS) {
        p->splits++;
    } else {
        long at = TakeElement(&p->splits, &p->splitsOverrun, p->fund->splits);
        if (at >= 0)
            p->fund->splits[at] = (date & 0xFFFF) | (newShares << 16) | (oldShares << 24);
    }
    SkipRestOfLine(p);
}

// date EXCLUDE.
static void ReadExcludeLine(NavParse *p, PackedDate date)
{
    if (p->pass == NAV_FIRST_PASS) {
        NoteDate(p, date);
    } else if (p->fund->excludeDate == 0) {
        p->fund->excludeDate = date;
    } else {
        ReportAt(p, "duplicate exclude");
    }
    SkipRestOfLine(p);
}

static DistField DistFieldOf(const char *word)
{
    if (CompareNoCase(word, "DIV") == 0)
        return FIELD_DIV;
    if (CompareNoCase(word, "SCG") == 0)
        return FIELD_SCG;
    if (CompareNoCase(word, "MCG") == 0)
        return FIELD_MCG;
    if (CompareNoCase(word, "LCG") == 0 || CompareNoCase(word, "CG") == 0)
        return FIELD_LCG;
    return FIELD_NONE;
}

// A distribution amount: up to 4 integer digits (or none), ".", 1 to 6 fraction digits;
// the first four fraction digits are kept, the rest dropped. 0 after reporting an
// unexpected token (which has ended the line).
static int ReadAmount(NavParse *p, double *amount)
{
    uint32_t integer = 0;
    int kind = NextToken(p);
    if (IsNumberToken(kind)) {
        if (TokenDigits(kind) > 4) {
            Unexpected(p, kind);
            return 0;
        }
        integer = DigitSlotsValue(TokenDigits(kind));
        kind = NextToken(p);
    }
    if (kind != TOKEN_DOT) {
        Unexpected(p, kind);
        return 0;
    }
    kind = NextToken(p);
    int digits = TokenDigits(kind);
    if (digits < 1 || digits > 6) {
        Unexpected(p, kind);
        return 0;
    }
    uint32_t frac4 = 0;
    for (int i = 0; i < 4; i++)
        frac4 = frac4 * 10 + (i < digits ? TokenDigitSlots[i] : 0);
    *amount = ComposeValue(integer, frac4);
    return 1;
}

// date kind = amount [, kind = amount ...]: the current token is the first word.
static void ReadDistLine(NavParse *p, PackedDate date)
{
    DistRecord *record = nullptr;
    if (p->pass == NAV_FIRST_PASS) {
        NoteDate(p, date);
        p->dists++;
    } else {
        long at = TakeElement(&p->dists, &p->distsOverrun, p->fund->dists);
        if (at >= 0) {
            record = &p->fund->dists[at];
            record->date = date;
        }
    }

    int recognised = 0;
    int lineTaken = 0;
    int kind = TOKEN_STRING;
    for (;;) {
        // The amounts may be separated by commas, which the tokenizer keeps in words.
        const char *word = p->token;
        while (*word == ',')
            word++;
        if (*word == 0 && word != p->token) {
            kind = NextToken(p);
            if (kind == TOKEN_STRING)
                continue;
            break;
        }
        DistField field = DistFieldOf(word);
        if (field == FIELD_NONE)
            break;
        recognised = 1;
        kind = NextToken(p);
        if (kind != TOKEN_EQUALS) {
            Unexpected(p, kind);
            lineTaken = 1;
            break;
        }
        double amount = 0;
        if (!ReadAmount(p, &amount)) {
            lineTaken = 1;
            break;
        }
        if (record) {
            double *slot = field == FIELD_DIV   ? &record->div
                           : field == FIELD_SCG ? &record->scg
                           : field == FIELD_MCG ? &record->mcg
                                                : &record->lcg;
            if (*slot != 0)
                ReportAt(p, "duplicate dist");
            else
                *slot = amount;
        }
        kind = NextToken(p);
        if (kind != TOKEN_STRING)
            break;
    }
    if (p->pass == NAV_SECOND_PASS && !recognised)
        ReportAt(p, "missing dist");
    if (lineTaken)
        return;
    if (IsLineEnd(kind))
        p->line++;
    else if (kind == TOKEN_COMMENT)
        SkipRestOfLine(p);
    else if (kind != TOKEN_END_OF_FILE)
        Unexpected(p, kind);
}

// A 1- or 2-digit part of a date; 0 after reporting an unexpected token.
static int ReadDatePart(NavParse *p, uint32_t *value)
{
    int kind = NextToken(p);
    int digits = TokenDigits(kind);
    if (digits < 1 || digits > 2) {
        Unexpected(p, kind);
        return 0;
    }
    *value = DigitSlotsValue(digits);
    return 1;
}

static int ReadSlash(NavParse *p)
{
    int kind = NextToken(p);
    if (kind != TOKEN_SLASH) {
        Unexpected(p, kind);
        return 0;
    }
    return 1;
}

// A line that starts with a date; month holds its first number.
static void ReadDateLine(NavParse *p, uint32_t month)
{
    uint32_t day, year;
    if (!ReadSlash(p) || !ReadDatePart(p, &day) || !ReadSlash(p) || !ReadDatePart(p, &year))
        return;
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        ReportAt(p, "incorrect date format");
        SkipRestOfLine(p);
        return;
    }
    PackedDate date = MakePackedDate(YearCodeOfTwoDigitYear(year), month, day);
    int kind = NextToken(p);
    if (kind == TOKEN_EQUALS) {
        ReadNavLine(p, date);
    } else if (kind == TOKEN_STRING && CompareNoCase(p->token, "SPLIT") == 0) {
        ReadSplitLine(p, date);
    } else if (kind == TOKEN_STRING && CompareNoCase(p->token, "EXCLUDE") == 0) {
        ReadExcludeLine(p, date);
    } else if (kind == TOKEN_STRING) {
        ReadDistLine(p, date);
    } else if (IsLineEnd(kind)) {
        // A date with nothing usable after it is ignored without a message.
        p->line++;
    } else if (kind == TOKEN_COMMENT) {
        // "01/15/99 ; no price yet": what follows ";" is a comment here as everywhere.
        SkipRestOfLine(p);
    }
}

static void ReplaceString(char **field, const char *text)
{
    FreeBlock(*field);
    *field = CopyString(text, strlen(text));
}

// The second pass may read several files at once, on threads of their own.
static void RaiseMaxNameWidth(uint32_t width)
{
    uint32_t seen = __atomic_load_n(&MaxNameWidth, __ATOMIC_RELAXED);
    while (width > seen &&
           !__atomic_compare_exchange_n(&MaxNameWidth, &seen, width, false, __ATOMIC_RELAXED,
                                        __ATOMIC_RELAXED)) {
    }
}

// NAME, URL or CATEGORY = rest of line.
static void ReadKeywordLine(NavParse *p, int which)
{
    int kind = NextToken(p);
    if (kind != TOKEN_EQUALS) {
        Unexpected(p, kind);
        return;
    }
    kind = GetRestOfLine(p->path, p->line, p->token);
    if (kind != TOKEN_STRING || p->token[0] == 0) {
        Unexpected(p, kind);
        return;
    }
    const char *text = p->token;
    FundRecord *fund = p->fund;
    if (which == 0) {
        RaiseMaxNameWidth(PlatTextWidth(text, (uint32_t)strlen(text)));
        if (p->pass == NAV_SECOND_PASS)
            ReplaceString(&fund->name, text);
    } else if (which == 1) {
        if (p->pass == NAV_SECOND_PASS)
            ReplaceString(&fund->url, text);
    } else if (p->pass == NAV_FIRST_PASS) {
        uint32_t category = CATEGORY_PORTFOLIO;
        for (uint32_t i = 1; i <= 14; i++)
            if (CompareNoCase(text, CategoryTable[i].name) == 0) {
                category = i;
                break;
            }
        SetFundCategory(fund, category);
    }
}

static void ReportPhaseError(NavParse *p, uint32_t left, int overrun, const char *what)
{
    if (left == 0 && !overrun)
        return;
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "%s: %s phase error", p->path, what);
    ReportError(text);
}

static int ReadNav(const char *path, FundRecord *fund, int pass, NavDateSink sink,
                   void *context)
{
    unsigned char buffer[IO_BUFFER_SIZE];
    if (!IoOpen(path, IO_GENERIC_READ, buffer))
        return 0;
    ResetTokenizer();

    NavParse p;
    memset(&p, 0, sizeof p);
    p.path = path;
    p.fund = fund;
    p.pass = pass;
    p.line = 1;
    p.dateSink = sink;
    p.dateContext = context;
    if (pass == NAV_FIRST_PASS) {
        fund->fileSize = IoFileSize();
    } else {
        char shortName[TOKEN_BUFFER_SIZE];
        unsigned n = ShortNameOfPath(path, shortName, sizeof shortName);
        FreeBlock(fund->shortName);
        fund->shortName = CopyString(shortName, n);
        p.points = fund->pointCount;
        p.dists = fund->distCount;
        p.splits = fund->splitCount;
    }

    for (;;) {
        int plain = ReadPlainNavLine(&p);
        if (plain < 0)
            break;
        if (plain > 0)
            continue;
        int kind = NextToken(&p);
        if (kind == TOKEN_END_OF_FILE)
            break;
        if (IsLineEnd(kind)) {
            p.line++;
        } else if (kind == TOKEN_COMMENT) {
            SkipRestOfLine(&p);
        } else if (kind == TOKEN_STRING && CompareNoCase(p.token, "NAME") == 0) {
            ReadKeywordLine(&p, 0);
        } else if (kind == TOKEN_STRING && CompareNoCase(p.token, "URL") == 0) {
            ReadKeywordLine(&p, 1);
        } else if (kind == TOKEN_STRING && CompareNoCase(p.token, "CATEGORY") == 0) {
            ReadKeywordLine(&p, 2);
        } else if (TokenDigits(kind) == 1 || TokenDigits(kind) == 2) {
            ReadDateLine(&p, DigitSlotsValue(TokenDigits(kind)));
        } else {
            Unexpected(&p, kind);
        }
    }

    if (pass == NAV_FIRST_PASS) {
        fund->pointCount = p.points;
        fund->distCount = p.dists;
        fund->splitCount = p.splits;
    } else {
        if (!fund->name || !fund->name[0])
            ReportAt(&p, "missing fund name");
        ReportPhaseError(&p, p.points, p.pointsOverrun, "NAV");
        ReportPhaseError(&p, p.dists, p.distsOverrun, "DIST");
        ReportPhaseError(&p, p.splits, p.splitsOverrun, "SPLIT");
        if (!fund->points[0])
            fund->pointCount = 0;
        if (!fund->dists)
            fund->distCount = 0;
        if (!fund->splits)
            fund->splitCount = 0;
    }
    IoClose();
    return 1;
}

int ReadNavFile(const char *path, FundRecord *fund, int pass)
{
    return ReadNav(path, fund, pass, nullptr, nullptr);
}

int ReadNavFileDates(const char *path, FundRecord *fund, NavDateSink sink, void *context)
{
    return ReadNav(path, fund, NAV_FIRST_PASS, sink, context);
}
