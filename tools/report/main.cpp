// vantry-report: loads a data directory with the program's own load code and prints the
// funds as a table or as the JSON document that the tests and scripts read.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/ratefile.h"
#include "json.h"
#include "platform/platform.h"

namespace {

struct Report {
    const char *kind;
    std::string text;
};

std::vector<Report> Reports;
bool EchoReports;

struct Options {
    bool json = false;
    bool points = false;
    bool readOnly = false;
    const char *dataDir = nullptr;
};

const char *KindOfCaption(const char *caption)
{
    static const struct {
        const char *caption, *kind;
    } kinds[] = {
        {"Vantry", "Info"},
        {"Vantry Error", "Error"},
        {"Vantry Internal Error", "Internal"},
        {"Vantry Warning", "Warning"},
        {"Vantry WIN32 API Error", "Win32"},
        {"Vantry C Run-time Library Error", "Crt"},
        {"Vantry Winsock Error", "Winsock"},
    };
    for (const auto &k : kinds)
        if (strcmp(caption, k.caption) == 0)
            return k.kind;
    return "Info";
}

void CollectReport(const char *caption, const char *text, int)
{
    Reports.push_back({KindOfCaption(caption), text});
    if (EchoReports)
        fprintf(stderr, "%s\n", text);
}

void Usage(void)
{
    fputs("usage: vantry-report [--json] [--points] [--read-only] DATADIR\n"
          "  Loads the fund files (*.NAV) and rate files of DATADIR as Vantry does.\n"
          "  --json       print the load as a JSON document\n"
          "  --points     with --json, include every point of every fund\n"
          "  --read-only  write no file into DATADIR\n",
          stderr);
}

// Returns 0 on success, 2 on a usage error.
int ParseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (strcmp(a, "--json") == 0)
            o->json = true;
        else if (strcmp(a, "--points") == 0)
            o->points = true;
        else if (strcmp(a, "--read-only") == 0)
            o->readOnly = true;
        else if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0)
            return 2;
        else if (a[0] == '-' && a[1] == '-')
            return 2;
        else if (!o->dataDir)
            o->dataDir = a;
        else
            return 2;
    }
    return o->dataDir ? 0 : 2;
}

// First and last valid point dates of a fund (DATE_NOT_FOUND when it has none).
void FundDateRange(const FundRecord *f, uint32_t *first, uint32_t *last)
{
    *first = *last = DATE_NOT_FOUND;
    if (!f->points[0])
        return;
    for (uint32_t k = 0; k < f->pointCount; k++) {
        uint32_t d = f->points[0][k].dateWord & 0xFFFF;
        if (d == DATE_INDEX_NONE)
            continue;
        if (*first == DATE_NOT_FOUND || d < *first)
            *first = d;
        if (*last == DATE_NOT_FOUND || d > *last)
            *last = d;
    }
}

void PrintPoints(FILE *out, const FundRecord *f)
{
    fputs(",\"series\":[{\"points\":[", out);
    for (uint32_t k = 0; f->points[0] && k < f->pointCount; k++) {
        const NavPoint *p = &f->points[0][k];
        uint32_t d = p->dateWord & 0xFFFF;
        fputs(k ? ",{\"date\":" : "{\"date\":", out);
        JsonDateIndex(out, d == DATE_INDEX_NONE ? DATE_NOT_FOUND : d);
        fprintf(out, ",\"noValue\":%s,\"value\":", (p->dateWord & NAV_NO_VALUE) ? "true" : "false");
        JsonDouble(out, p->value);
        fputc('}', out);
    }
    fputs("]}]", out);
}

void PrintFundJson(FILE *out, const FundRecord *f, bool points)
{
    uint32_t first, last;
    FundDateRange(f, &first, &last);
    fputs("{\"shortName\":", out);
    JsonString(out, f->shortName);
    fputs(",\"name\":", out);
    JsonString(out, f->name);
    fputs(",\"url\":", out);
    JsonString(out, f->url);
    fprintf(out, ",\"category\":%u,\"fileSize\":%u,\"pointCount\":%u,\"distCount\":%u,"
                 "\"splitCount\":%u,\"excludeDate\":",
            (unsigned)FundCategory(f), (unsigned)f->fileSize, (unsigned)f->pointCount,
            (unsigned)f->distCount, (unsigned)f->splitCount);
    if (f->excludeDate == 0)
        fputs("null", out);
    else
        JsonDateIndex(out, f->excludeDate);
    fputs(",\"firstDate\":", out);
    JsonDateIndex(out, first);
    fputs(",\"lastDate\":", out);
    JsonDateIndex(out, last);
    if (points)
        PrintPoints(out, f);
    fputc('}', out);
}

void PrintJson(FILE *out, const Options &o)
{
    fputs("{\"dataDir\":", out);
    JsonString(out, o.dataDir);
    fprintf(out, ",\n\"dateCount\":%u,\"firstDate\":", (unsigned)DateCount);
    JsonDateIndex(out, DateCount ? 0 : DATE_NOT_FOUND);
    fputs(",\"lastDate\":", out);
    JsonDateIndex(out, DateCount ? DateCount - 1 : DATE_NOT_FOUND);
    fputs(",\n\"reports\":[", out);
    for (size_t i = 0; i < Reports.size(); i++) {
        fputs(i ? ",\n{\"kind\":" : "\n{\"kind\":", out);
        JsonString(out, Reports[i].kind);
        fputs(",\"text\":", out);
        JsonString(out, Reports[i].text.c_str());
        fputc('}', out);
    }
    fputs("],\n\"funds\":[", out);
    for (uint32_t i = 0; i < FundCount; i++) {
        fputs(i ? ",\n" : "\n", out);
        PrintFundJson(out, &FundTable[i], o.points);
    }
    fputs("]}\n", out);
}

void PrintTable(FILE *out)
{
    char first[16], last[16];
    fprintf(out, "%-10s %-15s %6s %5s %5s  %-8s  %-8s  %s\n", "Fund", "Category", "Points",
            "Dists", "Split", "First", "Last", "Name");
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        uint32_t a, b;
        FundDateRange(f, &a, &b);
        FormatDateIndex(a, first);
        FormatDateIndex(b, last);
        uint32_t category = FundCategory(f);
        fprintf(out, "%-10.10s %-15.15s %6u %5u %5u  %-8s  %-8s  %.30s\n",
                f->shortName ? f->shortName : "", category ? CategoryTable[category].name : "",
                (unsigned)f->pointCount, (unsigned)f->distCount, (unsigned)f->splitCount,
                first, last, f->name ? f->name : "");
    }
    fprintf(out, "%u funds, %u dates", (unsigned)FundCount, (unsigned)DateCount);
    if (DateCount) {
        FormatDateIndex(0, first);
        FormatDateIndex(DateCount - 1, last);
        fprintf(out, " from %s to %s", first, last);
    }
    fprintf(out, ", %u money-market and %u risk-free rates\n", (unsigned)MoneyMarketCount,
            (unsigned)RiskFreeCount);
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (ParseOptions(argc, argv, &o) != 0) {
        Usage();
        return 2;
    }
    if (!PlatIsDirectory(o.dataDir)) {
        fprintf(stderr, "vantry-report: %s is not a directory\n", o.dataDir);
        return 2;
    }
    if (!SetDataDir(o.dataDir)) {
        fprintf(stderr, "vantry-report: the path %s is too long\n", o.dataDir);
        return 2;
    }
    EchoReports = !o.json;
    PlatSetMessageSink(CollectReport);
    LoadDataFiles();
    if (o.json)
        PrintJson(stdout, o);
    else
        PrintTable(stdout);
    FreeDataSet();
    fflush(stdout);
    return ferror(stdout) ? 1 : 0;
}
