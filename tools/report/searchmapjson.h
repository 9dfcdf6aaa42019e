// The search map of a series in the report tool's JSON document (docs/statistics.md).
#ifndef VANTRY_REPORT_SEARCHMAPJSON_H
#define VANTRY_REPORT_SEARCHMAPJSON_H

#include <stdio.h>

#include "data/fund.h"

// Writes ,"searchMap":{...} (null when the series has no map) for series s of the fund,
// to go inside the series' "analyst" object.
void PrintSearchMapJson(FILE *out, const FundRecord *fund, int s);

#endif
