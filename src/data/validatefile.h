// The validation cache "validate": each fund's validation figures between runs, beside
// the opt file, tied to the data and the settings they were computed from.
#ifndef VANTRY_VALIDATEFILE_H
#define VANTRY_VALIDATEFILE_H

#include <stdint.h>

#include "data/fund.h"

// A 64-bit checksum of everything series 0's validation reads: each point's date, value
// and money-market rate. A changed fund file (or rate file) changes it.
uint64_t ValidationChecksum(const FundRecord *fund);

// Whether the fund's validation figures belong to its current series-0 settings (kind
// and packed parameters): what shows them shows only those.
int ValidationCurrent(const FundRecord *fund);

// Reads DataDir's "validate" after the load's analysis and gives each loaded fund the
// figures of its line when the line's short name (without regard to case), point,
// distribution and split counts, recentStart, last date, checksum and series-0 settings
// all match the fund as it now stands; other funds keep no figures. Lines of funds that
// are not loaded are kept for the next write. A missing file is silent; a line that
// cannot be read is skipped with the warning "%s(%u): unreadable validation line".
void ReadValidateFile(void);

// Writes DataDir's "validate" through "validate.tmp" and a rename (nothing when
// DataDirWritable is clear): the kept lines of funds not loaded, then every loaded fund
// whose figures are current. Figures are written so that they read back bit for bit.
// Returns 1 when the file now holds them.
int WriteValidateFile(void);

// Forgets the kept lines (the data set is freed).
void FreeValidateLines(void);

#endif
