// The statistics export: every figure of every fund and series as a CSV file.
#ifndef VANTRY_STATEXPORT_H
#define VANTRY_STATEXPORT_H

// The file name the export offers in the data directory.
#define STATISTICS_CSV_NAME "statistics.csv"

// Writes one row per fund and series (0, then 1), in the fund table's order, under a header
// row: the fund's names, category and index fund, the series' dates, every figure of the
// statistics step and of the analyst's figures, the figures against the index fund and
// the percentile ranks per chart, then the Validate job's figures (empty without them).
// RFC 4180: comma-separated, CR LF line ends, a field quoted when it holds a comma, a quote or a line end, quotes doubled; numbers with 17
// significant digits; dates as YYYY-MM-DD, empty when there is none. The file is written
// to path + ".tmp" and moved over path only when every byte was written; failures are
// reported where they happen. Returns 1 when path holds the new file.
int WriteStatisticsCsv(const char *path);

#endif
