// A small JSON writer for the report tool's document.
#ifndef VANTRY_REPORT_JSON_H
#define VANTRY_REPORT_JSON_H

#include <stdint.h>
#include <stdio.h>

// A string, or null for a null pointer. The data files are 8-bit text of no fixed code
// page, so bytes above 0x7F are written as the Latin-1 characters \u0080..\u00FF.
void JsonString(FILE *out, const char *text);
// A double that reads back bit-exactly (17 significant digits); null when not finite.
void JsonDouble(FILE *out, double value);
// "MM/DD/YY" of a DateIndex, or null when it is not in the table.
void JsonDateIndex(FILE *out, uint32_t index);

#endif
