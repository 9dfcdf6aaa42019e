// The optimal-values cache "opt": saved moving-average results per fund between runs.
#ifndef VANTRY_OPTFILE_H
#define VANTRY_OPTFILE_H

#include <stdint.h>

#include "data/fund.h"

// One line of the file: the fund's data fingerprint and both series' saved settings.
struct OptRecord {
    char *name;              // the line's short name
    uint32_t fileSize;
    uint32_t pointCount;
    uint32_t distCount;
    uint32_t splitCount;
    uint32_t recentStart;
    MaSettings series[2];
    uint32_t saved[2];       // saved-values flag per series: the line's maKind was not 0
};

extern OptRecord *OptTable;
extern uint32_t OptCount;

// Set by the recalculation jobs: choose the kinds again / search everything again.
extern int OptModeReselect;
extern int OptModeRecalculate;
// Set whenever a search ran; the opt file is then written back.
extern int OptimizedFlag;

#define OPT_COUNT_RECORDS 0
#define OPT_STORE_RECORDS 1

// Mode 0 counts the lines and allocates the table; mode 1 fills it. A missing file
// gives an empty table. Every message is a warning.
void ReadOptFile(const char *path, int mode);
// Writes DataDir's opt when OptimizedFlag is set (then clears it): first the records
// this run did not use, then every loaded fund.
void WriteOptFile(void);
// The record of a short name, compared without regard to case; null when absent.
OptRecord *FindOptRecord(const char *shortName);
// Frees the table.
void FreeOptTable(void);

// The value x reads back as after being saved in the file's decimal form (the whole part
// of |x|, its tenths digit, a sign flag): x cut toward zero to one decimal place. The
// search stores its figures through this so that a fund searched now and a fund restored
// from the file later show the same values. A zero never reads back negative; NaN saves
// as 0 and magnitudes of a million or more as 999999.9 (the reader takes six digits).
double SavedDecimal(double x);

#endif
