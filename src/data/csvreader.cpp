// Comma-separated text, cut into fields in place.
#include "data/csvreader.h"

void CsvBegin(CsvReader *reader, char *text, size_t length)
{
    reader->text = text;
    reader->length = length;
    reader->pos = 0;
    reader->line = 1;
    reader->openQuoteLine = 0;
    text[length] = 0;
    if (length >= 3 && (unsigned char)text[0] == 0xEF && (unsigned char)text[1] == 0xBB &&
        (unsigned char)text[2] == 0xBF)
        reader->pos = 3;
    // European spreadsheets write ';' where the decimal separator is a comma, and some
    // vendors write tabs; a first line without commas tells which.
    reader->delimiter = ',';
    int semicolons = 0, tabs = 0;
    for (size_t i = reader->pos; i < length && text[i] != '\n' && text[i] != '\r'; i++) {
        if (text[i] == ',')
            return;
        semicolons += text[i] == ';';
        tabs += text[i] == '\t';
    }
    if (semicolons)
        reader->delimiter = ';';
    else if (tabs)
        reader->delimiter = '\t';
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

static int AtLineEnd(const CsvReader *r)
{
    return r->pos >= r->length || r->text[r->pos] == '\r' || r->text[r->pos] == '\n';
}

// Consumes the line end c that stood at pos (CR LF, LF or CR) and counts it.
static void SkipLineEnd(CsvReader *r, char c)
{
    r->pos++;
    if (c == '\r' && r->pos < r->length && r->text[r->pos] == '\n')
        r->pos++;
    r->line++;
}

// Reads one field from pos, unquoting it into the text itself: the output never runs
// ahead of pos, so the field fits where it stood. Leaves pos at the delimiter, the line
// end or the end of the text, and returns in *next the byte that stood there (0 at the
// end): the field's terminator may overwrite it.
static char *ReadField(CsvReader *r, char *next)
{
    char *t = r->text;
    while (r->pos < r->length && IsBlank(t[r->pos]) && t[r->pos] != r->delimiter)
        r->pos++;
    char *field = t + r->pos, *out = field;
    int quoted = r->pos < r->length && t[r->pos] == '"';
    if (quoted) {
        uint32_t openLine = r->line;
        r->pos++;
        for (;;) {
            if (r->pos >= r->length) {
                r->openQuoteLine = openLine;
                break;
            }
            char c = t[r->pos++];
            if (c == '"') {
                if (r->pos < r->length && t[r->pos] == '"') {
                    r->pos++;
                    *out++ = '"';
                    continue;
                }
                break;
            }
            if (c == '\n' || (c == '\r' && t[r->pos] != '\n'))
                r->line++;
            *out++ = c;
        }
    }
    // Text between a closing quote and the delimiter is kept, as spreadsheets do.
    char *unquotedFrom = out;
    while (!AtLineEnd(r) && t[r->pos] != r->delimiter)
        *out++ = t[r->pos++];
    while (out > unquotedFrom && IsBlank(out[-1]))
        out--;
    *next = r->pos < r->length ? t[r->pos] : 0;
    *out = 0;
    return field;
}

int CsvNextRecord(CsvReader *reader, char **fields, uint32_t *count, uint32_t *line)
{
    CsvReader *r = reader;
    // Blank lines between records are no records.
    for (;;) {
        size_t start = r->pos;
        while (r->pos < r->length && IsBlank(r->text[r->pos]))
            r->pos++;
        if (r->pos >= r->length)
            return 0;
        if (!AtLineEnd(r)) {
            r->pos = start;
            break;
        }
        SkipLineEnd(r, r->text[r->pos]);
    }
    *line = r->line;
    *count = 0;
    for (;;) {
        char next;
        char *field = ReadField(r, &next);
        if (*count < CSV_MAX_FIELDS)
            fields[(*count)++] = field;
        if (r->pos >= r->length)
            return 1;
        if (next == r->delimiter) {
            r->pos++;
            continue;
        }
        SkipLineEnd(r, next);
        return 1;
    }
}
