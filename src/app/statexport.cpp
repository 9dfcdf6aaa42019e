// The statistics export as CSV: a header row, then one row per fund and series.
#include "app/statexport.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "analysis/analyst.h"
#include "base/errors.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "data/validatefile.h"
#include "data/viewflags.h"

namespace {

// One export: the stream and whether every write so far succeeded.
struct CsvWriter {
    FILE *file;
    int ok;
    int fieldsInRow;
};

}  // namespace

static void Separator(CsvWriter *w)
{
    if (w->fieldsInRow++ && fputc(',', w->file) == EOF)
        w->ok = 0;
}

static void TextField(CsvWriter *w, const char *text)
{
    Separator(w);
    if (!text)
        return;
    if (!strpbrk(text, ",\"\r\n")) {
        if (fputs(text, w->file) == EOF)
            w->ok = 0;
        return;
    }
    int failed = fputc('"', w->file) == EOF;
    for (const char *c = text; *c; c++) {
        if (*c == '"')
            failed |= fputc('"', w->file) == EOF;
        failed |= fputc(*c, w->file) == EOF;
    }
    failed |= fputc('"', w->file) == EOF;
    if (failed)
        w->ok = 0;
}

static void NumberField(CsvWriter *w, double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.17g", value);
    TextField(w, text);
}

static void CountField(CsvWriter *w, uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%u", (unsigned)value);
    TextField(w, text);
}

// YYYY-MM-DD of a DateIndex; empty when it is not in the table.
static void DateField(CsvWriter *w, uint32_t index)
{
    char text[16] = "";
    if (index < DateCount) {
        PackedDate d = DateTable[index];
        snprintf(text, sizeof text, "%04u-%02u-%02u", (unsigned)(1960 + PackedYearCode(d)),
                 (unsigned)PackedMonth(d), (unsigned)PackedDay(d));
    }
    TextField(w, text);
}

static void EndRow(CsvWriter *w)
{
    if (fputs("\r\n", w->file) == EOF)
        w->ok = 0;
    w->fieldsInRow = 0;
}

// The columns of the statistics step, in the order of the header.
static const char *const PlainColumns[] = {
    "maKind", "longestPeriod", "ytdReturn", "volatility", "rewardRisk", "sharpe",
    "totalReturn", "return6Month", "return1Year", "return3Year", "return5Year",
    "return7Year", "return10Year", "currentStrength", "maSignal", "macdStrength",
    "rocLatest", "taxEfficiency",
};

static const char *const AnalystColumns[] = {
    "maxDrawdown", "drawdownPeak", "drawdownTrough", "drawdownRecovery", "drawdownWeeks",
    "currentDrawdown", "monthCount", "monthlyVolatility", "downsideDeviation", "sortino",
};

static const char *const BenchmarkColumns[] = {
    "benchmarkMonths", "beta", "alpha", "rSquared", "trackingError", "informationRatio",
    "upCapture", "downCapture",
};

// The Validate job's figures, after every column above; empty where a fund has none.
static const char *const ValidationColumns[] = {
    "walkYears", "walkForward", "walkBuyAndHold", "walkInSample", "cscvStrategies", "pbo",
    "validationSharpe", "expectedMaxSharpe", "deflatedSharpe",
};

static int IsRankedChart(uint32_t kind)
{
    return kind != CHART_NONE && kind != CHART_SIGNALS && kind != CHART_CURRENT_STRENGTH;
}

static void HeaderRow(CsvWriter *w)
{
    static const char *const lead[] = {"shortName", "name", "category", "indexName", "series",
                                       "firstDate", "lastDate"};
    for (const char *c : lead)
        TextField(w, c);
    for (const char *c : PlainColumns)
        TextField(w, c);
    for (const char *c : AnalystColumns)
        TextField(w, c);
    static const char *const rolling[] = {"Worst", "Median", "Best", "PositiveShare",
                                          "BeatShare"};
    for (int k = 0; k < ROLLING_WINDOWS; k++)
        for (const char *r : rolling) {
            char name[48];
            snprintf(name, sizeof name, "rolling%uMonth%s", (unsigned)RollingMonths[k], r);
            TextField(w, name);
        }
    for (const char *c : BenchmarkColumns)
        TextField(w, c);
    for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++)
        if (IsRankedChart(kind)) {
            char name[64];
            snprintf(name, sizeof name, "rank %s", ChartName(kind));
            TextField(w, name);
        }
    for (const char *c : ValidationColumns)
        TextField(w, c);
    EndRow(w);
}

// The validation is of series 0, which series 1 is when the fund has no index fund; the
// walk-forward and the CSCV figures each only where they could be formed.
static void ValidationFields(CsvWriter *w, const FundRecord *f, int s)
{
    const ValidationStats *v = &f->validation;
    int current = (s == 0 || f->points[1] == f->points[0]) && ValidationCurrent(f);
    int walk = current && (v->flags & VALIDATION_WALK);
    int cscv = current && (v->flags & VALIDATION_CSCV);
    if (current)
        CountField(w, v->walkYears);
    else
        TextField(w, nullptr);
    const double walkFigures[] = {v->walkForward, v->buyAndHold};
    for (double x : walkFigures)
        walk ? NumberField(w, x) : TextField(w, nullptr);
    current ? NumberField(w, v->inSample) : TextField(w, nullptr);
    cscv ? CountField(w, v->strategies) : TextField(w, nullptr);
    const double cscvFigures[] = {v->pbo, v->sharpe, v->expectedMaxSharpe, v->deflatedSharpe};
    for (double x : cscvFigures)
        cscv ? NumberField(w, x) : TextField(w, nullptr);
}

static void FundRow(CsvWriter *w, const FundRecord *f, int s)
{
    const SeriesStats *st = &f->stats[s];
    const AnalystStats *a = &st->analyst;
    const AnalystStats *fundWide = &f->stats[0].analyst;
    uint32_t n = f->points[s] ? f->pointCount : 0;
    uint32_t category = FundCategory(f);
    TextField(w, f->shortName);
    TextField(w, f->name);
    TextField(w, category < CATEGORY_COUNT ? CategoryTable[category].name : "");
    TextField(w, f->indexName);
    CountField(w, (uint32_t)s);
    DateField(w, n ? f->points[s][0].dateWord & 0xFFFF : DATE_NOT_FOUND);
    DateField(w, n ? f->points[s][n - 1].dateWord & 0xFFFF : DATE_NOT_FOUND);
    CountField(w, f->maSettings[s].maKind);
    CountField(w, st->longestPeriod);
    const double plain[] = {st->ytdReturn,     st->volatility,      st->rewardRisk,
                            st->sharpe,        st->totalReturn,     st->return6Month,
                            st->return1Year,   st->return3Year,     st->return5Year,
                            st->return7Year,   st->return10Year,    st->currentStrength,
                            st->maSignal,      st->macdStrength,    st->rocLatest,
                            f->taxEfficiency};
    for (double v : plain)
        NumberField(w, v);
    NumberField(w, a->maxDrawdown);
    DateField(w, a->drawdownPeak);
    DateField(w, a->drawdownTrough);
    DateField(w, a->drawdownRecovery);
    NumberField(w, a->drawdownWeeks);
    NumberField(w, a->currentDrawdown);
    CountField(w, a->monthCount);
    NumberField(w, a->monthlyVolatility);
    NumberField(w, a->downsideDeviation);
    NumberField(w, a->sortino);
    for (int k = 0; k < ROLLING_WINDOWS; k++) {
        const RollingReturns *r = &a->rolling[k];
        NumberField(w, r->worst);
        NumberField(w, r->median);
        NumberField(w, r->best);
        NumberField(w, r->positiveShare);
        // Beating the index fund is the fund's own figure, as the others against it.
        NumberField(w, fundWide->rolling[k].beatShare);
    }
    // The figures against the index fund belong to the fund: both rows carry them.
    CountField(w, fundWide->benchmarkMonths);
    const double benchmark[] = {fundWide->beta, fundWide->alpha, fundWide->rSquared,
                                fundWide->trackingError, fundWide->informationRatio,
                                fundWide->upCapture, fundWide->downCapture};
    for (double v : benchmark)
        NumberField(w, v);
    for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++)
        if (IsRankedChart(kind))
            CountField(w, a->percentile[kind]);
    ValidationFields(w, f, s);
    EndRow(w);
}

int WriteStatisticsCsv(const char *path)
{
    char tempPath[DATA_PATH_SIZE + 8];
    if (snprintf(tempPath, sizeof tempPath, "%s.tmp", path) >= (int)sizeof tempPath) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "The path %s is too long.", path);
        ReportError(text);
        return 0;
    }
    CsvWriter w = {fopen(tempPath, "wb"), 1, 0};
    if (!w.file) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Can't create %s", tempPath);
        ReportCrt(text);
        return 0;
    }
    HeaderRow(&w);
    for (uint32_t i = 0; i < FundCount; i++)
        for (int s = 0; s < 2; s++)
            FundRow(&w, &FundTable[i], s);
    int code = w.ok ? 0 : errno;
    if (fclose(w.file) != 0 && w.ok)
        w.ok = 0, code = errno;
    if (!w.ok) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "Can't write %s", tempPath);
        errno = code;
        ReportCrt(text);
    }
    return CommitSideFile(tempPath, path, w.ok);
}
