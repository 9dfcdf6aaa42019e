// The tokenizer: one byte of look-ahead through IoUngetB, digit slots for numbers.
#include "data/tokenizer.h"

#include "base/errors.h"
#include "data/io.h"

thread_local uint8_t TokenDigitSlots[9];

// A line end that GetNumber read but leaves for its caller. Pushing its bytes back through
// IoUngetB cannot work when the line end began in the previous buffer fill or at the end
// of the file, so the token itself waits here.
// Per thread, as the byte layer's state is.
static thread_local int PendingLineEnd;
static thread_local uint32_t PendingFile;  // IoOpenCount of the file the line end belongs to

void ResetTokenizer(void)
{
    PendingLineEnd = 0;
}

int LineEndPending(void)
{
    return PendingLineEnd != 0 && PendingFile == IoOpenCount;
}

// The pending line end, taken; 0 when none is pending for the file now open.
static int TakePendingLineEnd(void)
{
    int kind = PendingFile == IoOpenCount ? PendingLineEnd : 0;
    PendingLineEnd = 0;
    return kind;
}

static const char *const TokenNames[] = {
    "",           "END OF FILE",    "CARRIAGE RETURN", "LINE FEED",      "ASCII STRING",
    "1 DIGIT NUMBER", "2 DIGIT NUMBER", "3 DIGIT NUMBER", "4 DIGIT NUMBER", "5 DIGIT NUMBER",
    "6 DIGIT NUMBER", "7 DIGIT NUMBER", "8 DIGIT NUMBER", "9 DIGIT NUMBER", "COMMENT",
    "EQUALS",     "SLASH",          "DOT",
};

const char *TokenName(int kind)
{
    if (kind < 1 || kind > TOKEN_DOT)
        return "";
    return TokenNames[kind];
}

uint32_t DigitSlotsValue(int n)
{
    uint32_t value = 0;
    for (int i = 0; i < n && i < 9; i++)
        value = value * 10 + TokenDigitSlots[i];
    return value;
}

static int IsDigit(int c) { return c >= '0' && c <= '9'; }
static int IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static int IsBlank(int c) { return c == ' ' || c == '\t'; }

static int IsWordDelimiter(int c)
{
    return c < 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=' || c == '/' ||
           c == '.';
}

static void ReportTooLong(const char *fileName, unsigned line)
{
    ReportFileError(fileName, line, "token too long");
}

// A CR has been read: CR LF is one token, a lone CR pushes the next byte back.
static int FinishCarriageReturn(void)
{
    int c = IoXGetB();
    if (c >= 0 && c != '\n')
        IoUngetB();
    return TOKEN_CARRIAGE_RETURN;
}

static int SkipBlanks(void)
{
    int c;
    do
        c = IoXGetB();
    while (IsBlank(c));
    return c;
}

static int IsLineEndOrEnd(int c)
{
    return c < 0 || c == '\r' || c == '\n';
}

// Collects bytes into buffer, whose first n bytes are already there, from c on until one
// for which stop holds, which is pushed back. What passes 511 characters is dropped with
// one "token too long" (tooLong: already reported for this token).
static int CollectText(const char *fileName, unsigned line, char *buffer, unsigned n, int c,
                       int tooLong, int (*stop)(int))
{
    while (!stop(c)) {
        if (n < TOKEN_BUFFER_SIZE - 1) {
            buffer[n++] = (char)c;
        } else if (!tooLong) {
            ReportTooLong(fileName, line);
            tooLong = 1;
        }
        c = IoXGetB();
    }
    buffer[n] = 0;
    if (c >= 0)
        IoUngetB();
    return TOKEN_STRING;
}

int GetToken(const char *fileName, unsigned line, char *buffer)
{
    buffer[0] = 0;
    if (int kind = TakePendingLineEnd())
        return kind;
    int c = SkipBlanks();
    switch (c) {
    case -1:
        return TOKEN_END_OF_FILE;
    case '\n':
        return TOKEN_LINE_FEED;
    case '\r':
        return FinishCarriageReturn();
    case '.':
        buffer[0] = '.', buffer[1] = 0;
        return TOKEN_DOT;
    case '/':
        buffer[0] = '/', buffer[1] = 0;
        return TOKEN_SLASH;
    case ';':
        buffer[0] = ';', buffer[1] = 0;
        return TOKEN_COMMENT;
    case '=':
        buffer[0] = '=', buffer[1] = 0;
        return TOKEN_EQUALS;
    }
    if (!IsDigit(c))
        return CollectText(fileName, line, buffer, 0, c, 0, IsWordDelimiter);

    unsigned n = 0;
    int tooLong = 0;
    while (IsDigit(c)) {
        if (n < TOKEN_BUFFER_SIZE - 1) {
            if (n < 9)
                TokenDigitSlots[n] = (uint8_t)(c - '0');
            buffer[n++] = (char)c;
        } else if (!tooLong) {
            ReportTooLong(fileName, line);
            tooLong = 1;
        }
        c = IoXGetB();
    }
    if (IsLetter(c))
        return CollectText(fileName, line, buffer, n, c, tooLong, IsWordDelimiter);
    buffer[n] = 0;
    if (c >= 0)
        IoUngetB();
    return n <= 9 ? (int)(4 + n) : TOKEN_STRING;
}

int GetRestOfLine(const char *fileName, unsigned line, char *buffer)
{
    buffer[0] = 0;
    if (int kind = TakePendingLineEnd())
        return kind;
    int c = SkipBlanks();
    if (c < 0)
        return TOKEN_END_OF_FILE;
    if (c == '\n')
        return TOKEN_LINE_FEED;
    if (c == '\r')
        return FinishCarriageReturn();
    return CollectText(fileName, line, buffer, 0, c, 0, IsLineEndOrEnd);
}

void SkipToLineEnd(void)
{
    if (LineEndPending())
        return;
    int c;
    do
        c = IoXGetB();
    while (c >= 0 && c != '\r' && c != '\n');
    if (c >= 0)
        IoUngetB();
}

void FormatUnexpectedToken(const char *path, unsigned line, int kind, const char *text,
                           char *out, unsigned outSize)
{
    if (kind == TOKEN_STRING)
        FormatText(out, outSize, "%s(%u): unexpected token: %s \"%s\"", path, line,
                   TokenName(kind), text);
    else
        FormatText(out, outSize, "%s(%u): unexpected token: %s", path, line, TokenName(kind));
}

uint32_t GetNumber(const char *fileName, unsigned line, int maxDigits, char *buffer)
{
    int kind = GetToken(fileName, line, buffer);
    int digits = TokenDigits(kind);
    if (digits == 1)
        return TokenDigitSlots[0];
    if (digits >= 2 && digits <= 6) {
        uint32_t value = DigitSlotsValue(digits);
        if (digits > maxDigits) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "%s(%u): too many digits", fileName, line);
            ReportWarning(text);
        }
        return value;
    }
    char text[REPORT_BUFFER_SIZE];
    FormatUnexpectedToken(fileName, line, kind, buffer, text, sizeof text);
    ReportWarning(text);
    // Skip the line token by token and leave its end for the caller, who counts lines.
    while (kind != TOKEN_END_OF_FILE && !IsLineEnd(kind))
        kind = GetToken(fileName, line, buffer);
    if (IsLineEnd(kind)) {
        PendingLineEnd = kind;
        PendingFile = IoOpenCount;
    }
    return 0;
}

double GetDecimal(const char *fileName, unsigned line, char *buffer)
{
    uint32_t whole = GetNumber(fileName, line, 6, buffer);
    uint32_t tenths = GetNumber(fileName, line, 1, buffer);
    uint32_t negative = GetNumber(fileName, line, 1, buffer);
    double value = (double)whole + (double)tenths / 10.0;
    return negative ? -value : value;
}
