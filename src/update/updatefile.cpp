// Applying the incremental update file: each listed line added once to its target file.
#include "update/updatefile.h"

#include <errno.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "base/errors.h"
#include "data/fund.h"
#include "data/load.h"
#include "platform/platform.h"

// The line reader of the update file and of its targets: bytes up to and including LF,
// at most 511 of them (a longer line comes in pieces).
#define UPDATE_LINE_SIZE 512
// Syntax errors and failures with targets reported one by one; the rest are counted in
// one message each: a file of garbage, or a full disk under 100,000 lines, must not bring
// a box per line.
#define UPDATE_ERRORS_SHOWN 10u
static unsigned ErrorsShown, SyntaxErrorsHidden, TargetErrorsHidden;

// Reads one line into line (not terminated: it may hold zero bytes). Returns its length,
// 0 at the end of the file. *cut is set when the line goes on past the bytes read (its
// rest comes with the next calls).
static size_t ReadUpdateLine(FILE *file, char *line, int *cut)
{
    size_t n = 0;
    int c;
    while (n < UPDATE_LINE_SIZE - 1 && (c = getc(file)) != EOF) {
        line[n++] = (char)c;
        if (c == '\n')
            break;
    }
    *cut = 0;
    if (n == UPDATE_LINE_SIZE - 1 && line[n - 1] != '\n' && (c = getc(file)) != EOF)
        *cut = ungetc(c, file) != EOF;
    return n;
}

// A target must name a file of the data directory itself: a separator of either platform
// or a "." or ".." would reach outside it (an update file is data from the network).
// 1 when name (length bytes, no extension) is one of Windows's device names, which open
// a device rather than a file whatever their extension: CON, PRN, AUX, NUL, COM1-9, LPT1-9.
static int IsDeviceName(const char *name, size_t length)
{
    char upper[5] = {0};
    while (length > 0 && name[length - 1] == ' ')
        length--;
    if (length < 3 || length > 4)
        return 0;
    for (size_t i = 0; i < length; i++)
        upper[i] = (char)toupper((unsigned char)name[i]);
    if (length == 3)
        return !strcmp(upper, "CON") || !strcmp(upper, "PRN") || !strcmp(upper, "AUX") ||
               !strcmp(upper, "NUL");
    return (!strncmp(upper, "COM", 3) || !strncmp(upper, "LPT", 3)) && upper[3] >= '1' &&
           upper[3] <= '9';
}

// 1 when name is "update.dat" or "opt", the files the session fetches whole: a line added
// to the update file would be read again by this very run, and opt is a cache that comes
// whole from the server and is rewritten by every load. Windows drops trailing dots and
// blanks from a name and ignores case; the file opened ends at a zero byte.
static int IsSessionFile(const char *name, size_t length)
{
    char copy[sizeof "update.dat"];
    const char *zero = (const char *)memchr(name, 0, length);
    if (zero)
        length = (size_t)(zero - name);
    while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' '))
        length--;
    if (length >= sizeof copy)
        return 0;
    memcpy(copy, name, length);
    copy[length] = 0;
    return !CompareNoCase(copy, "update.dat") || !CompareNoCase(copy, "opt");
}

static int IsPlainFileName(const char *name, size_t length)
{
    if (length == 0)
        return 1;  // names DataDir itself, which cannot be opened as a file: skipped
    // Checked on the very bytes that are opened: a zero byte would cut the name short
    // after the checks below had read past it.
    for (size_t i = 0; i < length; i++)
        if ((unsigned char)name[i] < 0x20 || name[i] == 0x7F || name[i] == '/' || name[i] == '\\')
            return 0;
    if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.'))
        return 0;
    // A device would be read (and could block) or written instead of a data file.
    const char *dot = (const char *)memchr(name, '.', length);
    return !IsDeviceName(name, dot ? (size_t)(dot - name) : length) &&
           !IsSessionFile(name, length);
}

static void ReportFileError(const char *name, const char *what)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "Update: %s%s: %s.", DataDir, name, what);
    ReportError(text);
}

static void ReportTargetError(const char *name, const char *what)
{
    if (ErrorsShown >= UPDATE_ERRORS_SHOWN) {
        TargetErrorsHidden++;
        return;
    }
    ErrorsShown++;
    ReportFileError(name, what);
}

// The length of text without its line end (LF or CR LF).
static size_t WithoutLineEnd(const char *text, size_t length)
{
    if (length && text[length - 1] == '\n') {
        length--;
        if (length && text[length - 1] == '\r')
            length--;
    }
    return length;
}

// Adds text (length bytes, its line end included) to the open target unless one of its
// lines equals it. line is the whole update line, for the status text.
static void MergeLine(FILE *target, const char *name, const char *text, size_t length,
                      const char *line, size_t lineLength)
{
    char read[UPDATE_LINE_SIZE];
    size_t n, last = 0;
    char lastLine[UPDATE_LINE_SIZE];
    // A piece of a line longer than the reader takes is no line of its own.
    int cut = 0, continued = 0, lastContinued = 0;
    while ((n = ReadUpdateLine(target, read, &cut)) > 0) {
        if (!continued && !cut && n == length && memcmp(read, text, n) == 0)
            return;
        memcpy(lastLine, read, n);
        last = n;
        lastContinued = continued;
        continued = cut;
    }

    // A last line without a line end would run on into the text. When it is the text
    // itself, only its line end is missing; otherwise the text goes on a line of its own.
    const char *add = text;
    size_t addLength = length;
    size_t bare = WithoutLineEnd(text, length);
    int unterminated = last > 0 && lastLine[last - 1] != '\n';
    const char *lineEnd = (length - bare == 2) ? "\r\n" : "\n";
    if (unterminated && !lastContinued && last == bare && bare < length &&
        memcmp(lastLine, text, bare) == 0) {
        add = text + bare;
        addLength = length - bare;
        unterminated = 0;
    }

    char status[REPORT_BUFFER_SIZE + 16];
    FormatText(status, sizeof status, "Update: %.*s", (int)lineLength, line);
    SendProgress(PROGRESS_STATUS_TEXT, status);

    if (fseek(target, 0, SEEK_END) != 0) {
        ReportTargetError(name, "fseek");
        return;
    }
    if (unterminated && fwrite(lineEnd, 1, strlen(lineEnd), target) != strlen(lineEnd)) {
        ReportTargetError(name, "fwrite");
        return;
    }
    if (fwrite(add, 1, addLength, target) != addLength)
        ReportTargetError(name, "fwrite");
}

int ApplyUpdateFile(void)
{
    char path[DATA_PATH_SIZE];
    FILE *in = DataPath("update.dat", path) ? fopen(path, "rb") : nullptr;
    if (!in) {
        // errno first: formatting the text may change it.
        int code = errno;
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Update: Can't open %supdate.dat.", DataDir);
        errno = code;
        ReportCrt(text);
        return 1;
    }

    char line[UPDATE_LINE_SIZE];
    size_t length;
    unsigned number = 0;
    int cut;
    ErrorsShown = SyntaxErrorsHidden = TargetErrorsHidden = 0;
    while ((length = ReadUpdateLine(in, line, &cut)) > 0) {
        number++;
        const char *colon = (const char *)memchr(line, ':', length);
        size_t nameLength = colon ? (size_t)(colon - line) : 0;
        // A line longer than the reader takes is refused whole: added in pieces, it would
        // never read back as one line, and a second run would add it again.
        if (!colon || !IsPlainFileName(line, nameLength) || cut) {
            if (ErrorsShown >= UPDATE_ERRORS_SHOWN) {
                SyntaxErrorsHidden++;
            } else {
                ErrorsShown++;
                char text[REPORT_BUFFER_SIZE];
                FormatText(text, sizeof text, "%s%s(%u): Syntax error, \"%.*s\".", DataDir,
                           "update.dat", number, (int)length, line);
                ReportError(text);
            }
            while (cut && ReadUpdateLine(in, line, &cut) > 0) {}
            continue;
        }
        char name[UPDATE_LINE_SIZE];
        memcpy(name, line, nameLength);
        name[nameLength] = 0;
        char targetPath[DATA_PATH_SIZE];
        // A link would take the text wherever it points, outside the data directory too.
        FILE *target = DataPath(name, targetPath) && !PlatIsSymbolicLink(targetPath)
                           ? fopen(targetPath, "rb+")
                           : nullptr;
        if (!target)
            continue;
        MergeLine(target, name, colon + 1, length - nameLength - 1, line, length);
        if (fclose(target) != 0)
            ReportTargetError(name, "fclose");
    }
    char text[REPORT_BUFFER_SIZE];
    if (SyntaxErrorsHidden) {
        FormatText(text, sizeof text, "%s%s: %u more syntax errors.", DataDir, "update.dat",
                   SyntaxErrorsHidden);
        ReportError(text);
    }
    if (TargetErrorsHidden) {
        FormatText(text, sizeof text, "Update: %u more failures to write files of %s.",
                   TargetErrorsHidden, DataDir);
        ReportError(text);
    }
    if (fclose(in) != 0)
        ReportFileError("update.dat", "fclose");
    return 0;
}
