// JSON output helpers of the report tool.
#include "json.h"

#include <math.h>

#include "data/datetable.h"

void JsonString(FILE *out, const char *text)
{
    if (!text) {
        fputs("null", out);
        return;
    }
    fputc('"', out);
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        unsigned c = *p;
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", c);
        else if (c == '\n')
            fputs("\\n", out);
        else if (c == '\r')
            fputs("\\r", out);
        else if (c == '\t')
            fputs("\\t", out);
        else if (c < 0x20 || c >= 0x7F)
            fprintf(out, "\\u%04x", c);
        else
            fputc((int)c, out);
    }
    fputc('"', out);
}

void JsonDouble(FILE *out, double value)
{
    if (!isfinite(value)) {
        fputs("null", out);
        return;
    }
    char text[40];
    snprintf(text, sizeof text, "%.17g", value);
    fputs(text, out);
}

void JsonDateIndex(FILE *out, uint32_t index)
{
    if (index >= DateCount) {
        fputs("null", out);
        return;
    }
    char text[16];
    FormatDateIndex(index, text);
    JsonString(out, text);
}
