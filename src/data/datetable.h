// The DateTable: the sorted set of every date any fund file mentions, the data set's time axis.
#ifndef VANTRY_DATETABLE_H
#define VANTRY_DATETABLE_H

#include <stdint.h>

#include "data/fund.h"

#define DATE_TABLE_ROOM 16384u

extern PackedDate *DateTable;   // ascending, no duplicates
extern uint32_t DateCount;      // entries in use
extern uint32_t DateFree;       // free slots left (only while the first pass collects)
extern uint32_t LastYearCode;   // year code of the last entry, 0 when empty
extern uint32_t DateHint;       // where the last unsuccessful FindDate would insert
extern int DateOverflowShown;   // the overflow message was shown in this load

// Starts a load: allocates the 16384-entry table (the warning "Out of memory." leaves it
// without free slots), clears the hint and the overflow flag.
void BeginDateTable(void);
// Index of d, or DATE_NOT_FOUND (then DateHint tells where d would go).
uint32_t FindDate(PackedDate d);
// FindDate, but first looking at the entry *near and its two neighbours, where the dates
// of a file, taken in their order, mostly are; *near becomes the index found. The same
// result and DateHint as FindDate.
uint32_t FindDateNear(PackedDate d, uint32_t *near);
// Inserts d unless present. Without a free slot reports "%s(%u): DATE overflow (64K)"
// (path, line), once per load, and drops the date.
void AddDate(PackedDate d, const char *path, unsigned line);
// -1, 0 or 1 by the order of the dates of entries i and j.
int CompareDates(uint32_t i, uint32_t j);
// Compares two packed dates by year, month and day.
int ComparePackedDates(PackedDate a, PackedDate b);
// Reports "Date array not sorted!" at the first pair out of order.
void CheckDateOrder(void);
// After the first pass: CheckDateOrder, LastYearCode, and the shrink to the entries used.
void FinishDateTable(void);
// Frees the table.
void FreeDateTable(void);

// The DatePeriod of an index; 0 for an index that is not in the table.
int32_t DatePeriodOf(uint32_t index);
// The year code of an index; 0 for an index that is not in the table.
uint32_t YearCodeOf(uint32_t index);
// Formats the date of an index as "MM/DD/YY" into buffer (at least 9 bytes).
void FormatDateIndex(uint32_t index, char *buffer);
// Formats a packed date as "MM/DD/YY".
void FormatPackedDate(PackedDate d, char *buffer);

#endif
