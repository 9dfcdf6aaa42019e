// Price histories from CSV files into fund files: a new fund file, or new lines at the end
// of an existing one. The report tool's "import" and the program's File > Import CSV...
// both come here.
#ifndef VANTRY_CSVIMPORT_H
#define VANTRY_CSVIMPORT_H

#include <stdint.h>

// What to import. Every pointer may be null.
struct CsvImportOptions {
    const char *name;       // NAME of a new fund file; null: the price file's name stem
    const char *url;        // URL of a new fund file
    const char *category;   // one of the category names 1-14, any case
    const char *dividends;  // a CSV of distributions: DIV, and capital gains by column
    const char *splits;     // a CSV of splits ("2:1", "3/2", "3 for 2", 1.5)
    const char *dateColumn;   // the date column of the price file, a header name or a
                              // number from 1; null: found by its header
    const char *valueColumn;  // the close column, likewise
    int weekly;             // 1: keep each week's last trading day only
};

// How an import ended. IMPORT_FAILED has written nothing (the reasons were reported).
enum ImportResult { IMPORT_WRITTEN = 0, IMPORT_NOTHING_NEW = 1, IMPORT_FAILED = 2 };

// What an import wrote and left out.
struct ImportSummary {
    uint32_t points, dists, splits;   // lines written
    uint32_t badLines;                // lines reported and left out
    uint32_t emptyRows;               // rows without a value ("null", empty), left out
    int extended;                     // 1 when lines went to the end of an existing file
};

// Imports the price CSV at pricesPath (and the dividends and splits CSVs the options
// name) into the fund file navPath, whose name must end in ".NAV".
//
// A new file gets NAME, URL and CATEGORY lines, then one NAV line per trading day (or per
// week) from the close, then the distribution and split lines. An existing file is
// extended: its bytes stay as they are and only NAV lines after its last NAV, and
// distributions and splits after its last dated line, are added; when a close of the CSV
// on a date the file already has differs from the file's value by more than the file's
// rounding, nothing is written. The file is written under a temporary name beside it and
// renamed over navPath only when complete. Every bad line is reported with its file and
// line number ("%s(%u): ", at most 10 a file, then a count). A price file that cannot be
// read or holds no price, or a dividends or splits file that cannot be read, writes
// nothing. Fills *summary when it is not null.
ImportResult ImportCsv(const char *pricesPath, const char *navPath,
                       const CsvImportOptions *options, ImportSummary *summary);

// The category named by text (entries 1-14, any case), or 0 when it names none.
uint32_t FindCategory(const char *text);

// Reads a date in one of the forms the import accepts: 2024-03-15 (also with / or . and a
// time after it), 20240315, 03/15/2024 and 3/15/24 (month first), 15.03.2024 (day first),
// 15-Mar-2024, 15 Mar 2024, Mar 15, 2024 and March 15 2024. Two-digit years below 60 are
// the 2000s. Returns 1 and the calendar date when the text is a valid date.
int ParseImportDate(const char *text, uint32_t *year, uint32_t *month, uint32_t *day);

#endif
