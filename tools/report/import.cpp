// vantry-report import: the command-line face of the CSV importer.
#include "import.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "data/csvimport.h"
#include "platform/platform.h"

static void ImportUsage(void)
{
    fputs("usage: vantry-report import [options] PRICES.csv FUND.NAV\n"
          "  Writes the fund file FUND.NAV from the close of PRICES.csv, or adds the dates\n"
          "  after its last NAV to an existing one.\n"
          "  --name TEXT           the fund's name (default: the CSV file's name)\n"
          "  --category NAME       one of the program's categories (Index, Bond, ...)\n"
          "  --url URL             the fund's web page\n"
          "  --dividends FILE      a CSV of distributions (Dividends; capital-gain columns)\n"
          "  --splits FILE         a CSV of splits (\"2:1\", \"3/2\", 1.5)\n"
          "  --weekly              keep each week's last trading day only\n"
          "  --date-column C       the price file's date column: a header name or a number\n"
          "  --close-column C      the price file's close column: a header name or a number\n",
          stderr);
}

// Messages go to standard error as the program's boxes would show them.
static void PrintMessage(const char *, const char *text, int)
{
    fprintf(stderr, "%s\n", text);
}

int RunImport(int argc, char **argv)
{
    CsvImportOptions o = {};
    const char *files[2] = {nullptr, nullptr};
    int fileCount = 0;
    for (int i = 0; i < argc; i++) {
        const char *a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        static const struct {
            const char *option;
            size_t offset;
        } valued[] = {
            {"--name", offsetof(CsvImportOptions, name)},
            {"--category", offsetof(CsvImportOptions, category)},
            {"--url", offsetof(CsvImportOptions, url)},
            {"--dividends", offsetof(CsvImportOptions, dividends)},
            {"--splits", offsetof(CsvImportOptions, splits)},
            {"--date-column", offsetof(CsvImportOptions, dateColumn)},
            {"--close-column", offsetof(CsvImportOptions, valueColumn)},
        };
        bool matched = false;
        for (const auto &v : valued) {
            if (strcmp(a, v.option) != 0)
                continue;
            if (!next) {
                ImportUsage();
                return 2;
            }
            *(const char **)((char *)&o + v.offset) = next;
            i++;
            matched = true;
        }
        if (matched)
            continue;
        if (strcmp(a, "--weekly") == 0)
            o.weekly = 1;
        else if (a[0] == '-' && a[1] == '-') {
            ImportUsage();
            return 2;
        } else if (fileCount < 2)
            files[fileCount++] = a;
        else {
            ImportUsage();
            return 2;
        }
    }
    if (fileCount != 2) {
        ImportUsage();
        return 2;
    }
    PlatSetMessageSink(PrintMessage);
    ImportSummary summary;
    ImportResult result = ImportCsv(files[0], files[1], &o, &summary);
    if (result == IMPORT_WRITTEN)
        fprintf(stderr,
                "%s: %u NAV, %u distribution and %u split lines %s; %u bad lines and %u "
                "rows without a value left out\n", files[1], summary.points, summary.dists,
                summary.splits, summary.extended ? "appended" : "written", summary.badLines,
                summary.emptyRows);
    return result == IMPORT_FAILED ? 1 : 0;
}
