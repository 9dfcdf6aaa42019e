// The DateTable: collecting dates in the first pass, looking them up, shrinking it.
#include "data/datetable.h"

#include <stdio.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"

PackedDate *DateTable;
uint32_t DateCount;
uint32_t DateFree;
uint32_t LastYearCode;
uint32_t DateHint;
int DateOverflowShown;

// Where the last AddDate found or put its date.
static uint32_t LastAddedAt;

int ComparePackedDates(PackedDate a, PackedDate b)
{
    // Field by field: the raw word orders by day first.
    uint32_t ya = PackedYearCode(a), yb = PackedYearCode(b);
    if (ya != yb)
        return ya < yb ? -1 : 1;
    uint32_t ma = PackedMonth(a), mb = PackedMonth(b);
    if (ma != mb)
        return ma < mb ? -1 : 1;
    uint32_t da = PackedDay(a), db = PackedDay(b);
    if (da != db)
        return da < db ? -1 : 1;
    return 0;
}

void BeginDateTable(void)
{
    FreeDateTable();
    DateHint = 0;
    LastAddedAt = 0;
    DateOverflowShown = 0;
    DateTable = (PackedDate *)AllocZero(DATE_TABLE_ROOM, sizeof(PackedDate));
    DateFree = DateTable ? DATE_TABLE_ROOM : 0;
}

void FreeDateTable(void)
{
    FreeBlock(DateTable);
    DateTable = nullptr;
    DateCount = 0;
    DateFree = 0;
    LastYearCode = 0;
}

// Equal fields but different words can only come from a corrupted table.
static uint32_t SameFieldsOtherWord(void)
{
    ReportInternal("FindDate");
    DateHint = DateCount - 1;
    return DATE_NOT_FOUND;
}

uint32_t FindDate(PackedDate d)
{
    if (DateCount == 0 || !DateTable) {
        DateHint = 0;
        return DATE_NOT_FOUND;
    }
    uint32_t last = DateCount - 1;
    if (DateTable[0] == d)
        return 0;
    if (DateTable[last] == d)
        return last;
    int c = ComparePackedDates(d, DateTable[0]);
    if (c < 0) {
        DateHint = 0;
        return DATE_NOT_FOUND;
    }
    if (c == 0)
        return SameFieldsOtherWord();
    c = ComparePackedDates(d, DateTable[last]);
    if (c > 0) {
        DateHint = last;
        return DATE_NOT_FOUND;
    }
    if (c == 0)
        return SameFieldsOtherWord();
    uint32_t low = 0, high = last;
    for (;;) {
        uint32_t mid = (low + high) / 2;
        if (mid == low || mid == high) {
            DateHint = mid;
            return DATE_NOT_FOUND;
        }
        c = ComparePackedDates(d, DateTable[mid]);
        if (c == 0) {
            if (DateTable[mid] == d)
                return mid;
            return SameFieldsOtherWord();
        }
        if (c > 0)
            low = mid;
        else
            high = mid;
    }
}

uint32_t FindDateNear(PackedDate d, uint32_t *near)
{
    // The table holds each date once, so an equal entry is the one FindDate would find,
    // and a date found leaves DateHint alone there too.
    uint32_t at = *near;
    for (uint32_t k = at > 0 ? at - 1 : 0; k <= at + 1 && k < DateCount; k++)
        if (DateTable[k] == d) {
            *near = k;
            return k;
        }
    uint32_t found = FindDate(d);
    if (found != DATE_NOT_FOUND)
        *near = found;
    return found;
}

void AddDate(PackedDate d, const char *path, unsigned line)
{
    if (FindDateNear(d, &LastAddedAt) != DATE_NOT_FOUND)
        return;
    if (DateFree == 0 || !DateTable) {
        if (!DateOverflowShown) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "%s(%u): DATE overflow (64K)", path, line);
            ReportError(text);
            DateOverflowShown = 1;
        }
        return;
    }
    uint32_t at = DateHint;
    if (DateCount > 0 && ComparePackedDates(d, DateTable[DateHint]) > 0)
        at = DateHint + 1;
    memmove(DateTable + at + 1, DateTable + at, (DateCount - at) * sizeof(PackedDate));
    DateTable[at] = d;
    DateCount++;
    DateFree--;
    LastAddedAt = at;
}

int CompareDates(uint32_t i, uint32_t j)
{
    return ComparePackedDates(DateTable[i], DateTable[j]);
}

void CheckDateOrder(void)
{
    for (uint32_t i = 1; i < DateCount; i++)
        if (CompareDates(i - 1, i) > 0) {
            ReportError("Date array not sorted!");
            return;
        }
}

void FinishDateTable(void)
{
    CheckDateOrder();
    LastYearCode = DateCount ? PackedYearCode(DateTable[DateCount - 1]) : 0;
    DateFree = 0;
    if (!DateTable)
        return;
    size_t used = (size_t)DateCount * sizeof(PackedDate);
    if (used >= BlockSize(DateTable))
        return;
    if (DateCount == 0) {
        FreeBlock(DateTable);
        DateTable = nullptr;
        return;
    }
    PackedDate *shrunk = (PackedDate *)ResizeBlock(DateTable, used);
    if (!shrunk) {
        // ResizeBlock has warned; without its table the load goes on with no dates.
        FreeBlock(DateTable);
        DateTable = nullptr;
        DateCount = 0;
        LastYearCode = 0;
        return;
    }
    DateTable = shrunk;
}

int32_t DatePeriodOf(uint32_t index)
{
    if (index >= DateCount)
        return 0;
    return PackedDatePeriod(DateTable[index]);
}

uint32_t YearCodeOf(uint32_t index)
{
    if (index >= DateCount)
        return 0;
    return PackedYearCode(DateTable[index]);
}

void FormatPackedDate(PackedDate d, char *buffer)
{
    snprintf(buffer, 9, "%02u/%02u/%02u", (unsigned)(PackedMonth(d) % 100),
             (unsigned)(PackedDay(d) % 100),
             (unsigned)(TwoDigitYearOfYearCode(PackedYearCode(d)) % 100));
}

void FormatDateIndex(uint32_t index, char *buffer)
{
    if (index >= DateCount) {
        strcpy(buffer, "--/--/--");
        return;
    }
    FormatPackedDate(DateTable[index], buffer);
}
