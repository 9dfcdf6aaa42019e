// Price histories from CSV files into fund files.
#include "data/csvimport.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/csvreader.h"
#include "data/fund.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

namespace {

// The most bad lines of one file shown one by one; the rest are counted.
const uint32_t BadLinesShown = 10;
// The dates one load's date table holds.
const uint32_t DateTableSlots = 16384;

// One row of a CSV: a price (amount[0]), a distribution (DIV, SCG, MCG, LCG) or a split.
// Amounts are in ten-thousandths, the fund file's precision.
struct ImportRow {
    int32_t day;          // days since 1 January 1960
    uint32_t line;
    int64_t amount[4];
    uint32_t decimals;    // fraction digits the price was written with
    uint32_t newShares, oldShares;
};

// A growing array of rows, in a block of the allocation helper.
struct RowList {
    ImportRow *rows;
    uint32_t count;
};

// The bad lines of one file: shown up to BadLinesShown, all counted.
struct BadLines {
    const char *path;
    uint32_t total;
};

enum CsvKind { KIND_PRICES, KIND_DIVIDENDS, KIND_SPLITS };

void BadLine(BadLines *bad, uint32_t line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

void BadLine(BadLines *bad, uint32_t line, const char *format, ...)
{
    if (bad->total++ >= BadLinesShown)
        return;
    char text[REPORT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ReportFileError(bad->path, line, text);
}

void FinishBadLines(const BadLines *bad)
{
    if (bad->total <= BadLinesShown)
        return;
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "%s: %u more bad lines not shown.", bad->path,
               bad->total - BadLinesShown);
    ReportError(text);
}

// ---------------------------------------------------------------------------------------
// Calendar arithmetic: whole days since 1 January 1960, a Friday.

int32_t DaysFromCivil(uint32_t year, uint32_t month, uint32_t day)
{
    int32_t y = (int32_t)year - (month <= 2);
    int32_t era = y / 400;
    int32_t yoe = y - era * 400;
    int32_t doy = (153 * ((int32_t)month + (month > 2 ? -3 : 9)) + 2) / 5 + (int32_t)day - 1;
    int32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 715815;  // 715815: 1 January 1960 from 1 March 0000
}

void CivilFromDays(int32_t days, uint32_t *year, uint32_t *month, uint32_t *day)
{
    int32_t z = days + 715815;
    int32_t era = z / 146097;
    int32_t doe = z - era * 146097;
    int32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int32_t mp = (5 * doy + 2) / 153;
    *day = (uint32_t)(doy - (153 * mp + 2) / 5 + 1);
    *month = (uint32_t)(mp < 10 ? mp + 3 : mp - 9);
    *year = (uint32_t)(yoe + era * 400 + (*month <= 2));
}

// Weeks run Monday to Sunday; day 0 is a Friday, the fifth day of its week.
int32_t WeekOfDay(int32_t day)
{
    return (day + 4) / 7;
}

uint32_t DaysInMonth(uint32_t year, uint32_t month)
{
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 && leap);
}

// ---------------------------------------------------------------------------------------
// Dates.

struct DatePart {
    uint32_t value;    // the number, or the month of a month name
    uint32_t digits;   // 0 for a month name
};

int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The month a name or its first three letters give; 0 when none.
uint32_t MonthOfName(const char *word, size_t length)
{
    static const char names[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (length < 3)
        return 0;
    for (uint32_t m = 0; m < 12; m++) {
        int same = 1;
        for (int k = 0; k < 3; k++)
            same &= (word[k] | 0x20) == names[m * 3 + k];
        if (same)
            return m + 1;
    }
    return 0;
}

}  // namespace

int ParseImportDate(const char *text, uint32_t *year, uint32_t *month, uint32_t *day)
{
    DatePart parts[3];
    uint32_t n = 0;
    char separator = 0;  // the one between the first two parts
    const char *p = text;
    while (*p == ' ')
        p++;
    while (n < 3 && *p) {
        if (IsDigit(*p)) {
            uint32_t v = 0, digits = 0;
            while (IsDigit(*p) && digits < 9) {
                v = v * 10 + (uint32_t)(*p++ - '0');
                digits++;
            }
            if (IsDigit(*p))
                return 0;
            parts[n++] = {v, digits};
        } else if (IsLetter(*p)) {
            const char *word = p;
            while (IsLetter(*p))
                p++;
            uint32_t m = MonthOfName(word, (size_t)(p - word));
            if (!m)
                return 0;
            parts[n++] = {m, 0};
        } else {
            return 0;
        }
        if (n == 3 || (n == 1 && parts[0].digits == 8 && (*p == 0 || *p == ' ' || *p == 'T')))
            break;
        if (*p == '-' || *p == '/' || *p == '.' || *p == ',' || *p == ' ') {
            if (n == 1)
                separator = *p;
            while (*p == ' ' || (p[0] == ',' && p[1] == ' '))
                p++;
            if (*p == '-' || *p == '/' || *p == '.' || *p == ',')
                p++;
            while (*p == ' ')
                p++;
        } else {
            return 0;
        }
    }
    // What follows the date may only be a time.
    if (*p && *p != ' ' && *p != 'T')
        return 0;
    uint32_t y, m, d, yearDigits, dayDigits;
    if (n == 1 && parts[0].digits == 8) {
        y = parts[0].value / 10000;
        m = parts[0].value / 100 % 100;
        d = parts[0].value % 100;
        yearDigits = 4, dayDigits = 2;
    } else if (n != 3) {
        return 0;
    } else if (parts[0].digits == 4) {  // 2024-03-15
        y = parts[0].value, m = parts[1].value, d = parts[2].value;
        yearDigits = 4, dayDigits = parts[2].digits;
        if (parts[1].digits == 0 || parts[1].digits > 2)
            return 0;
    } else {
        int dayFirst;
        if (parts[1].digits == 0)        // 15-Mar-2024, 15 Mar 2024
            dayFirst = 1;
        else if (parts[0].digits == 0)   // Mar 15, 2024
            dayFirst = 0;
        else if (parts[0].digits > 2 || parts[1].digits > 2)
            return 0;
        else                             // 15.03.2024 where dots are used, else 03/15/2024
            dayFirst = separator == '.';
        d = parts[dayFirst ? 0 : 1].value, dayDigits = parts[dayFirst ? 0 : 1].digits;
        m = parts[dayFirst ? 1 : 0].value;
        y = parts[2].value, yearDigits = parts[2].digits;
    }
    if (dayDigits < 1 || dayDigits > 2 || (yearDigits != 2 && yearDigits != 4))
        return 0;
    if (yearDigits == 2)
        y = 1960 + YearCodeOfTwoDigitYear(y);
    if (m < 1 || m > 12 || d < 1 || y < 1000 || y > 9999 || d > DaysInMonth(y, m))
        return 0;
    *year = y, *month = m, *day = d;
    return 1;
}

uint32_t FindCategory(const char *text)
{
    for (uint32_t c = 1; c <= 14; c++)
        if (CompareNoCase(text, CategoryTable[c].name) == 0)
            return c;
    return 0;
}

namespace {

// ---------------------------------------------------------------------------------------
// Numbers.

// A cell that says "no value": vendors write these for days without trading.
int IsEmptyValue(const char *text)
{
    static const char *const words[] = {"", "null", "nan", "n/a", "na", "-", "#n/a", "none"};
    for (const char *w : words)
        if (CompareNoCase(text, w) == 0)
            return 1;
    return 0;
}

// Reads a decimal number (a leading "$" or "+" allowed, at most maxDigits before the point,
// which may be grouped by commas in threes as in "1,234.50") in ten-thousandths, the fourth fraction digit rounded up when the fifth is 5 or more, as
// the fund file's reader rounds. Returns 1 and the number of fraction digits written.
int ParseAmount(const char *text, uint32_t maxDigits, int64_t *value, uint32_t *decimals)
{
    const char *p = text;
    if (*p == '$' || *p == '+')
        p++;
    int64_t whole = 0;
    uint32_t digits = 0, fraction = 0, fractionDigits = 0;
    int roundUp = 0;
    while (IsDigit(*p) || (*p == ',' && digits && IsDigit(p[1]) && IsDigit(p[2]) &&
                           IsDigit(p[3]) && !IsDigit(p[4]))) {
        if (*p == ',') {
            p++;
            continue;
        }
        whole = whole * 10 + (*p++ - '0');
        if (++digits > maxDigits)
            return 0;
    }
    if (*p == '.') {
        p++;
        while (IsDigit(*p)) {
            if (fractionDigits < 4)
                fraction = fraction * 10 + (uint32_t)(*p - '0');
            else if (fractionDigits == 4)
                roundUp = *p >= '5';
            fractionDigits++;
            p++;
        }
    }
    if (*p || digits + fractionDigits == 0)
        return 0;
    for (uint32_t k = fractionDigits; k < 4; k++)
        fraction *= 10;
    *value = whole * 10000 + fraction + roundUp;
    *decimals = fractionDigits;
    return 1;
}

// A split ratio: "2:1", "3/2", "3 for 2", "3-for-2", or a decimal ratio (1.5 is 3 for 2).
// Returns 1 with both counts (1 to 255), 0 when the text is none of these. A ratio of
// 0 sets both counts to 0: vendors list it for days without a split.
int ParseSplit(const char *text, uint32_t *newShares, uint32_t *oldShares)
{
    char *end;
    unsigned long n = strtoul(text, &end, 10);
    const char *p = end;
    while (*p == ' ')
        p++;
    const char *rest = nullptr;
    if ((*p == ':' || *p == '/') && end != text)
        rest = p + 1;
    else if (end != text && *p == '-')
        rest = (p[1] | 0x20) == 'f' && (p[2] | 0x20) == 'o' && (p[3] | 0x20) == 'r' &&
               p[4] == '-' ? p + 5 : nullptr;
    else if (end != text && *p)
        rest = (p[0] | 0x20) == 'f' && (p[1] | 0x20) == 'o' && (p[2] | 0x20) == 'r' &&
               p[3] == ' ' ? p + 4 : nullptr;
    if (rest) {
        while (*rest == ' ')
            rest++;
        unsigned long m = strtoul(rest, &end, 10);
        if (end == rest || *end || n < 1 || n > 255 || m < 1 || m > 255)
            return 0;
        *newShares = (uint32_t)n, *oldShares = (uint32_t)m;
        return 1;
    }
    int64_t ratio;
    uint32_t decimals;
    if (!ParseAmount(text, 3, &ratio, &decimals))
        return 0;
    if (ratio == 0) {
        *newShares = *oldShares = 0;
        return 1;
    }
    // The smallest number of old shares that gives a whole number of new ones.
    for (int64_t m = 1; m <= 255; m++) {
        if (ratio * m % 10000 == 0 && ratio * m / 10000 <= 255) {
            *newShares = (uint32_t)(ratio * m / 10000), *oldShares = (uint32_t)m;
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Files.

// Reads a whole file into a block of the allocation helper (a zero byte after it).
// Reports and returns 0 when it cannot be read; *missing tells a file that is not there
// (then nothing is reported).
int ReadWholeFile(const char *path, char **text, size_t *length, int *missing)
{
    *text = nullptr;
    *length = 0;
    if (missing)
        *missing = 0;
    PlatFile file = PlatOpenRead(path);
    if (file == PLAT_NO_FILE) {
        if (missing && PlatLastError() == PLAT_ERROR_FILE_NOT_FOUND) {
            *missing = 1;
            return 0;
        }
        uint32_t code = PlatLastError();
        char message[REPORT_BUFFER_SIZE];
        FormatText(message, sizeof message, "Can't open %s", path);
        PlatSetLastError(code);
        ReportWin32(message);
        return 0;
    }
    uint32_t size = PlatFileSize(file);
    char *block = size < 0x40000000u ? (char *)AllocZero(size + 2u, 1) : nullptr;
    uint32_t got = 0, total = 0;
    int ok = block != nullptr;
    while (ok && total < size) {
        ok = PlatRead(file, block + total, size - total, &got);
        if (ok && got == 0)
            break;
        total += got;
    }
    PlatClose(file);
    if (!ok) {
        if (block) {
            char message[REPORT_BUFFER_SIZE];
            FormatText(message, sizeof message, "Can't read %s", path);
            ReportWin32(message);
        }
        FreeBlock(block);
        return 0;
    }
    *text = block;
    *length = total;
    return 1;
}

int AddRow(RowList *list, const ImportRow *row)
{
    size_t capacity = BlockSize(list->rows) / sizeof(ImportRow);
    if (list->count == capacity) {
        size_t grown = capacity ? capacity * 2 : 256;
        ImportRow *rows = (ImportRow *)ResizeBlock(list->rows, grown * sizeof(ImportRow));
        if (!rows)
            return 0;
        list->rows = rows;
    }
    list->rows[list->count++] = *row;
    return 1;
}

// Header names without case, blanks or punctuation ("Adj Close" is "adjclose").
void SimplifyName(const char *text, char *out, size_t size)
{
    size_t n = 0;
    for (; *text && n + 1 < size; text++)
        if (IsDigit(*text) || IsLetter(*text))
            out[n++] = (char)(*text | (IsLetter(*text) ? 0x20 : 0));
    out[n] = 0;
}

// The header names each kind of file is read by: slot -1 is the date, slots 0-3 the
// amounts (the close; DIV, SCG, MCG, LCG; the split ratio).
struct ColumnName {
    CsvKind kind;
    int slot;
    const char *name;
};

const ColumnName ColumnNames[] = {
    {KIND_PRICES, 0, "close"}, {KIND_PRICES, 0, "closelast"}, {KIND_PRICES, 0, "closeprice"},
    {KIND_PRICES, 0, "closingprice"}, {KIND_PRICES, 0, "price"}, {KIND_PRICES, 0, "nav"},
    {KIND_PRICES, 0, "value"}, {KIND_PRICES, 0, "last"},
    {KIND_DIVIDENDS, 0, "dividends"}, {KIND_DIVIDENDS, 0, "dividend"},
    {KIND_DIVIDENDS, 0, "div"}, {KIND_DIVIDENDS, 0, "amount"},
    {KIND_DIVIDENDS, 0, "cashamount"}, {KIND_DIVIDENDS, 0, "value"},
    {KIND_DIVIDENDS, 1, "shorttermcapitalgains"}, {KIND_DIVIDENDS, 1, "shorttermcapitalgain"},
    {KIND_DIVIDENDS, 1, "stcg"}, {KIND_DIVIDENDS, 1, "scg"},
    {KIND_DIVIDENDS, 2, "midtermcapitalgains"}, {KIND_DIVIDENDS, 2, "midtermcapitalgain"},
    {KIND_DIVIDENDS, 2, "mcg"},
    {KIND_DIVIDENDS, 3, "longtermcapitalgains"}, {KIND_DIVIDENDS, 3, "longtermcapitalgain"},
    {KIND_DIVIDENDS, 3, "ltcg"}, {KIND_DIVIDENDS, 3, "lcg"},
    {KIND_DIVIDENDS, 3, "capitalgains"}, {KIND_DIVIDENDS, 3, "capitalgain"},
    {KIND_DIVIDENDS, 3, "cg"},
    {KIND_SPLITS, 0, "stocksplits"}, {KIND_SPLITS, 0, "stocksplit"},
    {KIND_SPLITS, 0, "splits"}, {KIND_SPLITS, 0, "split"}, {KIND_SPLITS, 0, "splitratio"},
    {KIND_SPLITS, 0, "ratio"}, {KIND_SPLITS, 0, "value"},
};

const char *const DateNames[] = {"date", "datetime", "timestamp", "time", "day", "tradedate"};

// Columns of one file: the date's and each slot's, -1 where absent.
struct Columns {
    int date;
    int slot[4];
};

// Finds the column a --date-column or --value-column option names: a number from 1 or a
// header name. -1 when the header has none such.
int NamedColumn(const char *option, char **header, uint32_t count)
{
    char *end;
    long number = strtol(option, &end, 10);
    if (*option && !*end)
        return number >= 1 && (uint32_t)number <= count ? (int)number - 1 : -1;
    char want[64], have[64];
    SimplifyName(option, want, sizeof want);
    for (uint32_t c = 0; c < count; c++) {
        SimplifyName(header[c], have, sizeof have);
        if (strcmp(want, have) == 0)
            return (int)c;
    }
    return -1;
}

// The column of a slot: the first name of the table that the header carries, so "Close"
// wins over "Price" wherever they stand. -1 when none.
int ColumnOfSlot(CsvKind kind, int slot, char **header, uint32_t count)
{
    char name[64];
    for (const ColumnName &entry : ColumnNames) {
        if (entry.kind != kind || entry.slot != slot)
            continue;
        for (uint32_t c = 0; c < count; c++) {
            SimplifyName(header[c], name, sizeof name);
            if (strcmp(name, entry.name) == 0)
                return (int)c;
        }
    }
    return -1;
}

int DateColumn(char **header, uint32_t count)
{
    char name[64];
    for (uint32_t c = 0; c < count; c++) {
        SimplifyName(header[c], name, sizeof name);
        for (const char *dateName : DateNames)
            if (strcmp(name, dateName) == 0)
                return (int)c;
    }
    return -1;
}

// Finds the columns from the first record. A first record whose date field is a date is
// no header: the file is date,value unless the options number other columns. Returns 1
// when the record was a header, 0 when it was data, -1 when a needed column is missing
// (reported).
int FindColumns(const char *path, CsvKind kind, const CsvImportOptions *o, char **header,
                uint32_t count, Columns *columns)
{
    const char *dateOption = kind == KIND_PRICES ? o->dateColumn : nullptr;
    const char *valueOption = kind == KIND_PRICES ? o->valueColumn : nullptr;
    int dateGuess = dateOption ? NamedColumn(dateOption, header, count) : 0;
    uint32_t y, m, d;
    int data = dateGuess >= 0 && ParseImportDate(header[dateGuess], &y, &m, &d);
    columns->date = data ? dateGuess : dateOption ? dateGuess : DateColumn(header, count);
    for (int s = 0; s < 4; s++)
        columns->slot[s] = data ? -1 : ColumnOfSlot(kind, s, header, count);
    if (valueOption)
        columns->slot[0] = NamedColumn(valueOption, header, count);
    else if (data)
        columns->slot[0] = count > 1 ? (columns->date == 0 ? 1 : 0) : -1;

    char text[REPORT_BUFFER_SIZE];
    if (columns->date < 0) {
        FormatText(text, sizeof text, "no date column%s%s", dateOption ? " " : "",
                   dateOption ? dateOption : "");
        ReportFileError(path, 1, text);
        return -1;
    }
    if (kind == KIND_PRICES && columns->slot[0] >= 0 && !data) {
        // An adjusted close already holds the distributions that the load reinvests from
        // the distribution lines: taking it would count them twice.
        char name[64];
        SimplifyName(header[columns->slot[0]], name, sizeof name);
        if (strncmp(name, "adj", 3) == 0) {
            FormatText(text, sizeof text, "\"%s\" is an adjusted close; import the close",
                       header[columns->slot[0]]);
            ReportFileError(path, 1, text);
            return -1;
        }
    }
    int any = 0;
    for (int s : columns->slot)
        any |= s >= 0;
    if (!any) {
        FormatText(text, sizeof text, "no %s column%s%s",
                   kind == KIND_PRICES ? "close" : kind == KIND_DIVIDENDS ? "dividend"
                                                                          : "split",
                   valueOption ? " " : "", valueOption ? valueOption : "");
        ReportFileError(path, 1, text);
        return -1;
    }
    return !data;
}

const char *FieldOr(char **fields, uint32_t count, int column)
{
    return column >= 0 && (uint32_t)column < count ? fields[column] : nullptr;
}

// Turns one data record into a row. Returns 1 with a row to keep, 0 for a row to leave
// out (reported when it is bad, counted in *empty when it has no value).
int ReadRow(CsvKind kind, BadLines *bad, char **fields, uint32_t count, uint32_t line,
            const Columns *columns, ImportRow *row, uint32_t *empty)
{
    memset(row, 0, sizeof *row);
    row->line = line;
    const char *dateText = FieldOr(fields, count, columns->date);
    uint32_t y, m, d;
    if (!dateText) {
        BadLine(bad, line, "missing date");
        return 0;
    }
    if (!ParseImportDate(dateText, &y, &m, &d)) {
        BadLine(bad, line, "not a date: \"%s\"", dateText);
        return 0;
    }
    if (y < 1960 || y > 2059) {
        BadLine(bad, line, "date outside 1960-2059: %s", dateText);
        return 0;
    }
    row->day = DaysFromCivil(y, m, d);
    int any = 0;
    for (int s = 0; s < 4; s++) {
        if (columns->slot[s] < 0)
            continue;
        const char *text = FieldOr(fields, count, columns->slot[s]);
        if (!text) {
            BadLine(bad, line, "missing column %d", columns->slot[s] + 1);
            return 0;
        }
        if (IsEmptyValue(text))
            continue;
        if (kind == KIND_SPLITS) {
            if (!ParseSplit(text, &row->newShares, &row->oldShares)) {
                BadLine(bad, line, "not a split ratio: \"%s\"", text);
                return 0;
            }
            any |= row->newShares != 0;
            continue;
        }
        // The fund file keeps 9 digits before the point of a NAV and 4 of a distribution.
        if (!ParseAmount(text, kind == KIND_PRICES ? 9 : 4, &row->amount[s], &row->decimals)) {
            BadLine(bad, line, "not a number: \"%s\"", text);
            return 0;
        }
        if (kind == KIND_PRICES && row->amount[s] == 0) {
            BadLine(bad, line, "a price of 0: \"%s\"", text);
            return 0;
        }
        any |= row->amount[s] != 0;
    }
    // Vendors list empty days, and zero dividends and splits, on every trading day.
    if (!any && kind == KIND_PRICES)
        (*empty)++;
    return any;
}

int CompareRows(const void *a, const void *b)
{
    const ImportRow *x = (const ImportRow *)a, *y = (const ImportRow *)b;
    if (x->day != y->day)
        return x->day < y->day ? -1 : 1;
    return x->line < y->line ? -1 : x->line > y->line;
}

int SameRow(const ImportRow *a, const ImportRow *b)
{
    return memcmp(a->amount, b->amount, sizeof a->amount) == 0 &&
           a->newShares == b->newShares && a->oldShares == b->oldShares;
}

// Reads one CSV file into rows sorted by date, one row a date (of two rows for one date
// the earlier line is kept; a different value on the later one is reported). Returns 0
// when the file cannot be read or its columns are not found.
int ReadCsvFile(const char *path, CsvKind kind, const CsvImportOptions *o, RowList *list,
                ImportSummary *summary)
{
    char *text;
    size_t length;
    if (!ReadWholeFile(path, &text, &length, nullptr))
        return 0;
    CsvReader reader;
    CsvBegin(&reader, text, length);
    BadLines bad = {path, 0};
    char *fields[CSV_MAX_FIELDS];
    uint32_t count, line;
    Columns columns;
    int ok = 1;
    if (!CsvNextRecord(&reader, fields, &count, &line)) {
        ReportFileError(path, 1, "empty file");
        ok = 0;
    }
    int header = ok ? FindColumns(path, kind, o, fields, count, &columns) : -1;
    ok = header >= 0;
    int pending = header == 0;  // the first record is data
    while (ok && (pending || CsvNextRecord(&reader, fields, &count, &line))) {
        pending = 0;
        ImportRow row;
        if (ReadRow(kind, &bad, fields, count, line, &columns, &row, &summary->emptyRows))
            ok = AddRow(list, &row);
    }
    if (ok && reader.openQuoteLine)
        BadLine(&bad, reader.openQuoteLine, "quoted field without its closing quote");
    FreeBlock(text);
    if (!ok)
        return 0;
    if (list->count)
        qsort(list->rows, list->count, sizeof(ImportRow), CompareRows);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < list->count; i++) {
        ImportRow *row = &list->rows[i];
        if (kept && list->rows[kept - 1].day == row->day) {
            if (!SameRow(&list->rows[kept - 1], row))
                BadLine(&bad, row->line, "a second value for the date of line %u",
                        list->rows[kept - 1].line);
            continue;
        }
        list->rows[kept++] = *row;
    }
    list->count = kept;
    FinishBadLines(&bad);
    summary->badLines += bad.total;
    return 1;
}

// Keeps each week's last row.
void KeepWeekEnds(RowList *list)
{
    uint32_t kept = 0;
    for (uint32_t i = 0; i < list->count; i++)
        if (i + 1 == list->count ||
            WeekOfDay(list->rows[i + 1].day) != WeekOfDay(list->rows[i].day))
            list->rows[kept++] = list->rows[i];
    list->count = kept;
}

// ---------------------------------------------------------------------------------------
// The fund file being extended.

// What extending needs of an existing fund file: its NAV lines (amount[0], decimals,
// sorted by date), the date of its last NAV and of its last dated line of any kind, and
// its line end.
struct FundFileScan {
    RowList navs;
    int32_t lastNav, lastDated;
    const char *lineEnd;
    int endsWithLineEnd;
};

// Reads up to two digits; 0 when there are none.
int ReadSmallNumber(const char **p, uint32_t *value)
{
    if (!IsDigit(**p))
        return 0;
    *value = 0;
    for (int k = 0; k < 2 && IsDigit(**p); k++)
        *value = *value * 10 + (uint32_t)(*(*p)++ - '0');
    return !IsDigit(**p);
}

// Scans the dated lines of a fund file. Dates are month/day/two-digit year; a NAV line
// is a date followed by "=". Lines the reader would reject are left for the load to
// report.
int ScanFundFile(char *text, size_t length, FundFileScan *scan)
{
    scan->lastNav = scan->lastDated = -1;
    scan->lineEnd = "\r\n";
    for (size_t i = 0; i < length; i++)
        if (text[i] == '\n') {
            scan->lineEnd = i && text[i - 1] == '\r' ? "\r\n" : "\n";
            break;
        }
    scan->endsWithLineEnd = length == 0 || text[length - 1] == '\n' || text[length - 1] == '\r';
    uint32_t lineNumber = 1;
    for (size_t start = 0; start < length;) {
        size_t end = start;
        while (end < length && text[end] != '\n' && text[end] != '\r')
            end++;
        char saved = text[end];
        text[end] = 0;
        const char *p = text + start;
        while (*p == ' ' || *p == '\t')
            p++;
        uint32_t m, d, y;
        if (ReadSmallNumber(&p, &m) && *p++ == '/' && ReadSmallNumber(&p, &d) &&
            *p++ == '/' && ReadSmallNumber(&p, &y) && m >= 1 && m <= 12 && d >= 1 &&
            d <= 31) {
            int32_t day = DaysFromCivil(1960 + YearCodeOfTwoDigitYear(y), m, d);
            while (*p == ' ' || *p == '\t')
                p++;
            if (day > scan->lastDated)
                scan->lastDated = day;
            if (*p == '=') {
                if (day > scan->lastNav)
                    scan->lastNav = day;
                p++;
                while (*p == ' ' || *p == '\t')
                    p++;
                char number[32];
                size_t n = 0;
                while ((IsDigit(*p) || *p == '.') && n + 1 < sizeof number)
                    number[n++] = *p++;
                number[n] = 0;
                ImportRow row = {};
                row.day = day;
                row.line = lineNumber;
                if (n && ParseAmount(number, 9, &row.amount[0], &row.decimals) &&
                    !AddRow(&scan->navs, &row)) {
                    text[end] = saved;
                    return 0;
                }
            }
        }
        text[end] = saved;
        if (end < length && text[end] == '\r' && end + 1 < length && text[end + 1] == '\n')
            end++;
        start = end + 1;
        lineNumber++;
    }
    if (scan->navs.count)
        qsort(scan->navs.rows, scan->navs.count, sizeof(ImportRow), CompareRows);
    return 1;
}

const ImportRow *FindRow(const RowList *list, int32_t day)
{
    uint32_t lo = 0, hi = list->count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (list->rows[mid].day < day)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < list->count && list->rows[lo].day == day ? &list->rows[lo] : nullptr;
}

// Half a unit of the coarser of two roundings, in ten-thousandths.
int64_t RoundingTolerance(uint32_t decimalsA, uint32_t decimalsB)
{
    uint32_t decimals = decimalsA < decimalsB ? decimalsA : decimalsB;
    int64_t tolerance = 5;
    for (uint32_t k = decimals; k < 3; k++)
        tolerance *= 10;
    return decimals >= 4 ? 0 : tolerance;
}

// ---------------------------------------------------------------------------------------
// Writing.

struct TextOut {
    char *text;
    size_t length;
    int failed;
};

void Append(TextOut *out, const char *format, ...) __attribute__((format(printf, 2, 3)));

void Append(TextOut *out, const char *format, ...)
{
    char line[REPORT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (out->failed || n < 0)
        return;
    size_t need = out->length + (size_t)n + 1;
    if (need > BlockSize(out->text)) {
        size_t grown = BlockSize(out->text) * 2;
        char *text = (char *)ResizeBlock(out->text, grown > need ? grown : need + 4096);
        if (!text) {
            out->failed = 1;
            return;
        }
        out->text = text;
    }
    memcpy(out->text + out->length, line, (size_t)n);
    out->length += (size_t)n;
}

// An amount in ten-thousandths as the fund files write it: at least two decimals, and
// the third and fourth only where they are not zero.
void FormatAmount(int64_t value, char *text, size_t size)
{
    FormatText(text, size, "%lld.%04lld", (long long)(value / 10000), (long long)(value % 10000));
    size_t n = strlen(text);
    while (text[n - 1] == '0' && text[n - 3] != '.')
        text[--n] = 0;
}

void AppendDate(TextOut *out, int32_t day)
{
    uint32_t y, m, d;
    CivilFromDays(day, &y, &m, &d);
    Append(out, "%02u/%02u/%02u", m, d, y % 100);
}

// Writes the rows after the cutoffs, in date order.
void AppendRows(TextOut *out, const RowList *prices, int32_t navCutoff, const RowList *dists,
                const RowList *splits, int32_t otherCutoff, const char *lineEnd,
                ImportSummary *summary)
{
    static const char *const kinds[4] = {"DIV", "SCG", "MCG", "LCG"};
    uint32_t p = 0, dv = 0, s = 0;
    char amount[32];
    for (;;) {
        const ImportRow *np = p < prices->count ? &prices->rows[p] : nullptr;
        const ImportRow *nd = dv < dists->count ? &dists->rows[dv] : nullptr;
        const ImportRow *ns = s < splits->count ? &splits->rows[s] : nullptr;
        if (!np && !nd && !ns)
            break;
        const ImportRow *next[3] = {np, nd, ns};
        int32_t day = 0x7FFFFFFF;
        for (const ImportRow *r : next)
            if (r && r->day < day)
                day = r->day;
        if (np && np->day == day) {
            p++;
            if (day > navCutoff) {
                AppendDate(out, day);
                FormatAmount(np->amount[0], amount, sizeof amount);
                Append(out, " = %s%s", amount, lineEnd);
                summary->points++;
            }
        } else if (nd && nd->day == day) {
            dv++;
            if (day > otherCutoff) {
                AppendDate(out, day);
                const char *separator = " ";
                for (int k = 0; k < 4; k++) {
                    if (!nd->amount[k])
                        continue;
                    FormatAmount(nd->amount[k], amount, sizeof amount);
                    Append(out, "%s%s = %s", separator, kinds[k], amount);
                    separator = ", ";
                }
                Append(out, "%s", lineEnd);
                summary->dists++;
            }
        } else {
            s++;
            if (day > otherCutoff) {
                AppendDate(out, day);
                Append(out, " SPLIT %u FOR %u%s", ns->newShares, ns->oldShares, lineEnd);
                summary->splits++;
            }
        }
    }
}

// Writes text to a temporary file beside path and renames it over path.
int WriteFundFile(const char *path, const TextOut *out)
{
    char tempPath[1024];
    if ((size_t)FormatText(tempPath, sizeof tempPath, "%s.tmp", path) + 1 >= sizeof tempPath) {
        ReportFileError(path, 0, "path too long");
        return 0;
    }
    PlatFile file = PlatCreateWrite(tempPath);
    if (file == PLAT_NO_FILE) {
        char message[REPORT_BUFFER_SIZE];
        uint32_t code = PlatLastError();
        FormatText(message, sizeof message, "Can't create %s", tempPath);
        PlatSetLastError(code);
        ReportWin32(message);
        return 0;
    }
    uint32_t written = 0;
    int ok = PlatWrite(file, out->text, (uint32_t)out->length, &written) &&
             written == out->length;
    if (!ok) {
        char message[REPORT_BUFFER_SIZE];
        FormatText(message, sizeof message, "Can't write %s", tempPath);
        ReportWin32(message);
    }
    ok = PlatClose(file) && ok;
    return CommitSideFile(tempPath, path, ok);
}

int CheckText(const char *what, const char *text)
{
    for (const char *p = text; *p; p++) {
        if ((unsigned char)*p < 0x20) {
            char message[REPORT_BUFFER_SIZE];
            FormatText(message, sizeof message, "The %s holds a control character.", what);
            ReportError(message);
            return 0;
        }
    }
    return 1;
}

// Checks what the options ask for before any file is read.
int CheckOptions(const char *navPath, const CsvImportOptions *o)
{
    char message[REPORT_BUFFER_SIZE];
    size_t n = strlen(navPath);
    if (n < 5 || CompareNoCase(navPath + n - 4, ".NAV") != 0) {
        FormatText(message, sizeof message, "%s: a fund file's name ends in .NAV.", navPath);
        ReportError(message);
        return 0;
    }
    if (o->category && !FindCategory(o->category)) {
        size_t used = FormatText(message, sizeof message, "Unknown category \"%s\"; one of:",
                                 o->category);
        for (uint32_t c = 1; c <= 14; c++)
            used += FormatText(message + used, sizeof message - used, "%s %s",
                               c > 1 ? "," : "", CategoryTable[c].name);
        ReportError(message);
        return 0;
    }
    if (PlatIsSymbolicLink(navPath)) {
        FormatText(message, sizeof message, "%s is a symbolic link; nothing written.", navPath);
        ReportError(message);
        return 0;
    }
    return (!o->name || CheckText("name", o->name)) && (!o->url || CheckText("URL", o->url));
}

// The price file's name without its folder and extension: the NAME of a new fund file
// when the options give none.
void NameStem(const char *path, char *out, size_t size)
{
    const char *base = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    size_t n = 0;
    while (base[n] && base[n] != '.' && n + 1 < size) {
        out[n] = base[n];
        n++;
    }
    out[n] = 0;
}

// Compares the prices with the NAV lines of the existing file on their common dates.
// Returns 0 (every disagreement reported) when one differs beyond rounding.
int CheckOverlap(const char *pricesPath, const char *navPath, const RowList *prices,
                 const FundFileScan *scan, ImportSummary *summary)
{
    BadLines bad = {pricesPath, 0};
    for (uint32_t i = 0; i < prices->count && prices->rows[i].day <= scan->lastNav; i++) {
        const ImportRow *row = &prices->rows[i];
        const ImportRow *old = FindRow(&scan->navs, row->day);
        if (!old)
            continue;
        int64_t difference = row->amount[0] - old->amount[0];
        if (difference < 0)
            difference = -difference;
        if (difference > RoundingTolerance(row->decimals, old->decimals)) {
            char csv[32], file[32];
            FormatAmount(row->amount[0], csv, sizeof csv);
            FormatAmount(old->amount[0], file, sizeof file);
            BadLine(&bad, row->line, "close %s differs from %s on line %u of %s", csv, file,
                    old->line, navPath);
        }
    }
    FinishBadLines(&bad);
    summary->badLines += bad.total;
    return bad.total == 0;
}

}  // namespace

ImportResult ImportCsv(const char *pricesPath, const char *navPath,
                       const CsvImportOptions *options, ImportSummary *summary)
{
    ImportSummary unused;
    if (!summary)
        summary = &unused;
    memset(summary, 0, sizeof *summary);
    if (!CheckOptions(navPath, options))
        return IMPORT_FAILED;

    RowList prices = {}, dists = {}, splits = {};
    FundFileScan scan = {};
    char *existing = nullptr;
    size_t existingLength = 0;
    int missing = 0;
    TextOut out = {};
    ImportResult result = IMPORT_FAILED;
    char message[REPORT_BUFFER_SIZE];

    int ok = ReadCsvFile(pricesPath, KIND_PRICES, options, &prices, summary) &&
             (!options->dividends ||
              ReadCsvFile(options->dividends, KIND_DIVIDENDS, options, &dists, summary)) &&
             (!options->splits ||
              ReadCsvFile(options->splits, KIND_SPLITS, options, &splits, summary));
    if (ok && prices.count == 0) {
        FormatText(message, sizeof message, "%s: no prices; nothing written.", pricesPath);
        ReportError(message);
        ok = 0;
    }
    if (ok) {
        ok = ReadWholeFile(navPath, &existing, &existingLength, &missing) || missing;
        // A new file: every date is new, and its lines end as the sample files' do.
        scan.lastNav = scan.lastDated = -1;
        scan.lineEnd = "\r\n";
        scan.endsWithLineEnd = 1;
        if (ok && !missing)
            ok = ScanFundFile(existing, existingLength, &scan);
        summary->extended = ok && !missing;
    }
    if (ok && !missing)
        ok = CheckOverlap(pricesPath, navPath, &prices, &scan, summary);
    if (ok && options->weekly)
        KeepWeekEnds(&prices);
    if (ok && missing) {
        char stem[256];
        NameStem(pricesPath, stem, sizeof stem);
        Append(&out, "NAME = %s%s", options->name ? options->name : stem, scan.lineEnd);
        if (options->url)
            Append(&out, "URL = %s%s", options->url, scan.lineEnd);
        if (options->category)
            Append(&out, "CATEGORY = %s%s", CategoryTable[FindCategory(options->category)].name,
                   scan.lineEnd);
    } else if (ok) {
        out.text = (char *)AllocZero(existingLength + 4096, 1);
        ok = out.text != nullptr;
        if (ok) {
            memcpy(out.text, existing, existingLength);
            out.length = existingLength;
            if (!scan.endsWithLineEnd)
                Append(&out, "%s", scan.lineEnd);
        }
    }
    if (ok) {
        int32_t otherCutoff = scan.lastDated > scan.lastNav ? scan.lastDated : scan.lastNav;
        AppendRows(&out, &prices, scan.lastNav, &dists, &splits, otherCutoff, scan.lineEnd,
                   summary);
        ok = !out.failed;
    }
    if (ok && summary->points + summary->dists + summary->splits == 0) {
        uint32_t y, m, d;
        CivilFromDays(scan.lastNav, &y, &m, &d);
        FormatText(message, sizeof message,
                   "%s: nothing after %02u/%02u/%04u, the last date of %s; nothing written.",
                   pricesPath, m, d, y, navPath);
        ReportInfo(message);
        result = IMPORT_NOTHING_NEW;
        ok = 0;
    }
    if (ok && scan.navs.count + summary->points > DateTableSlots) {
        FormatText(message, sizeof message,
                   "%s: %u NAV dates, more than the %u dates a load can hold in all; "
                   "import weekly.", navPath, scan.navs.count + summary->points,
                   DateTableSlots);
        ReportWarning(message);
    }
    if (ok && WriteFundFile(navPath, &out))
        result = IMPORT_WRITTEN;
    FreeBlock(out.text);
    FreeBlock(existing);
    FreeBlock(scan.navs.rows);
    FreeBlock(prices.rows);
    FreeBlock(dists.rows);
    FreeBlock(splits.rows);
    return result;
}
