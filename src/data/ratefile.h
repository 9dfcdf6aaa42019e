// The yearly rate files MONEYMKT (cash interest of the strategies) and RISKFREE (Sharpe).
#ifndef VANTRY_RATEFILE_H
#define VANTRY_RATEFILE_H

#include <stdint.h>

struct RateRecord {
    uint32_t yearCode;  // calendar year - 1960
    double rate;        // percent per year
};

extern RateRecord *MoneyMarketRates;
extern uint32_t MoneyMarketCount;
extern RateRecord *RiskFreeRates;
extern uint32_t RiskFreeCount;

// The rate a year earns (percent); 3.0 for a year the table does not hold.
#define DEFAULT_RATE 3.0
double RateOfYear(const RateRecord *table, uint32_t count, uint32_t yearCode);

// Reads DataDir's MONEYMKT and then, only when that gave a table, RISKFREE. Lines that
// begin with a digit and read "year=whole.tenths" are entries; others are ignored. A
// missing file leaves its table empty.
void ReadRateFiles(void);
// Reads one rate file into a new table; returns the number of entries stored. *table is
// null when the file is missing, holds no line that begins with a digit, or the
// allocation failed.
uint32_t ReadRateFile(const char *path, RateRecord **table);
// Frees both tables.
void FreeRateTables(void);

#endif
