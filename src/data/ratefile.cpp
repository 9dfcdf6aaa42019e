// The rate files: text lines "99=5.2", year code and percent.
#include "data/ratefile.h"

#include <stdio.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/datadir.h"

RateRecord *MoneyMarketRates;
uint32_t MoneyMarketCount;
RateRecord *RiskFreeRates;
uint32_t RiskFreeCount;

double RateOfYear(const RateRecord *table, uint32_t count, uint32_t yearCode)
{
    for (uint32_t i = 0; i < count; i++)
        if (table[i].yearCode == yearCode)
            return table[i].rate;
    return DEFAULT_RATE;
}

// Reads one line, keeping at most size - 1 of its characters; the rest of a longer line is
// dropped, so its tail never passes for a line of its own. 0 at the end of the file.
static int ReadLine(FILE *file, char *buffer, int size)
{
    int n = 0, c;
    while ((c = fgetc(file)) != EOF && c != '\n')
        if (n < size - 1)
            buffer[n++] = (char)c;
    buffer[n] = 0;
    return c != EOF || n > 0;
}

// An unsigned decimal number as scanf's %u reads it, but without a sign: blanks, then
// at least one digit. Values beyond 32 bits do not match.
static const char *ReadUnsigned(const char *s, uint32_t *value)
{
    while (*s == ' ' || *s == '\t')
        s++;
    if (*s < '0' || *s > '9')
        return nullptr;
    uint64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + (uint64_t)(*s - '0');
        if (v > 0xFFFFFFFFu)
            return nullptr;
        s++;
    }
    *value = (uint32_t)v;
    return s;
}

// "%u=%u.%u": all three fields must be present.
static int ParseRateLine(const char *line, uint32_t *year, uint32_t *whole, uint32_t *tenths)
{
    const char *s = ReadUnsigned(line, year);
    if (!s || *s != '=')
        return 0;
    s = ReadUnsigned(s + 1, whole);
    if (!s || *s != '.')
        return 0;
    return ReadUnsigned(s + 1, tenths) != nullptr;
}

uint32_t ReadRateFile(const char *path, RateRecord **table)
{
    *table = nullptr;
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    char line[512];
    uint32_t lines = 0;
    while (ReadLine(file, line, sizeof line))
        if (line[0] >= '0' && line[0] <= '9')
            lines++;
    if (lines == 0) {
        fclose(file);
        return 0;
    }
    RateRecord *rates = (RateRecord *)AllocZero(lines, sizeof(RateRecord));
    if (!rates) {
        fclose(file);
        return 0;
    }
    rewind(file);
    uint32_t count = 0;
    while (count < lines && ReadLine(file, line, sizeof line)) {
        uint32_t year, whole, tenths;
        if (line[0] < '0' || line[0] > '9' || !ParseRateLine(line, &year, &whole, &tenths))
            continue;
        rates[count].yearCode = year < 60 ? year + 40 : year - 60;
        rates[count].rate = (double)whole + (double)tenths / 10.0;
        count++;
    }
    fclose(file);
    // The table stays even when no line matched: it tells that the file was read.
    *table = rates;
    return count;
}

void FreeRateTables(void)
{
    FreeBlock(MoneyMarketRates);
    FreeBlock(RiskFreeRates);
    MoneyMarketRates = RiskFreeRates = nullptr;
    MoneyMarketCount = RiskFreeCount = 0;
}

void ReadRateFiles(void)
{
    FreeRateTables();
    char path[DATA_PATH_SIZE];
    DataPath("MONEYMKT", path);
    MoneyMarketCount = ReadRateFile(path, &MoneyMarketRates);
    if (!MoneyMarketRates)
        return;
    DataPath("RISKFREE", path);
    RiskFreeCount = ReadRateFile(path, &RiskFreeRates);
}
