// The fund file (*.NAV) parser: a first pass that counts and collects dates, a second
// pass that stores the data into arrays sized by the first.
#ifndef VANTRY_NAVFILE_H
#define VANTRY_NAVFILE_H

#include "data/fund.h"

#define NAV_FIRST_PASS 0
#define NAV_SECOND_PASS 1

// Reads the fund file at path into fund. The first pass sets fileSize, category and the
// counts (pointCount, distCount, splitCount) and adds every date to the DateTable. The
// second pass sets shortName, name and url and fills the arrays that the caller
// allocated with the first pass's counts, from their last element towards their first,
// never past them. Every malformed line is reported (ReportError) and skipped; messages
// name the file by path. Returns 1 when the file could be opened, whatever it held; 0
// when not (a missing file without a message). The second pass writes nothing shared but
// MaxNameWidth (raised atomically), so several threads may each read a fund of their own.
int ReadNavFile(const char *path, FundRecord *fund, int pass);

// The first pass with each date handed to sink(context, date, line), in the file's
// order, instead of added to the DateTable; then nothing shared is written, and several
// threads may each read a file of their own while the dates are added later in the
// files' order.
typedef void (*NavDateSink)(void *context, PackedDate date, unsigned line);
int ReadNavFileDates(const char *path, FundRecord *fund, NavDateSink sink, void *context);

// The short name of a path: the file name after the last separator up to its first ".".
// Writes at most size - 1 bytes and a zero; returns the length.
unsigned ShortNameOfPath(const char *path, char *out, unsigned size);

#endif
