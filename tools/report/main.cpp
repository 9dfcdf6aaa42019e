// vantry-report: loads a data directory with the program's own load worker and prints the
// funds as the program would list them, or as the JSON document that tests and scripts read.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "analysis/analyst.h"
#include "analysis/grid.h"
#include "analysis/optimize.h"
#include "analysis/returns.h"
#include "analysis/ranking.h"
#include "app/jobs.h"
#include "app/loadworker.h"
#include "app/statexport.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "data/validatefile.h"
#include "data/viewflags.h"
#include "import.h"
#include "json.h"
#include "png.h"
#include "searchmapjson.h"
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
    bool fileSteps = false;
    int chart = -1;
    int threads = 0;
    bool referenceGrid = false;
    bool benchmark = false;
    int categorySort = -1;
    int group = -1;
    const char *dataDir = nullptr;
    PngOptions png;
    // The view flags of --ma ... --magnify-macd in the order given (ViewOverride codes),
    // and --zoom (-1 when not given).
    std::vector<int> views;
    int zoom = -1;
    bool overlaid = false;
    const char *csv = nullptr;
    bool validate = false;
};

// The view switches of the picture options, each turned on as its menu command does.
enum ViewOverride {
    VIEW_MA, VIEW_MACD, VIEW_ROC, VIEW_RSI, VIEW_BOLLINGER, VIEW_DISTRIBUTIONS, VIEW_LINEAR,
    VIEW_MAGNIFY_MACD, VIEW_SEARCH_MAP
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

// ---------------------------------------------------------------------------------------
// A progress bar on standard error, fed by the load's progress codes.

struct ProgressBar {
    uint32_t total, done;
    char text[80];
    bool shown;
} Bar;

void DrawBar(void)
{
    const int width = 30;
    uint32_t total = Bar.total ? Bar.total : 1;
    int filled = (int)((uint64_t)Bar.done * width / total);
    if (filled > width)
        filled = width;
    fprintf(stderr, "\r[%.*s%*s] %3u%% %-40.40s", filled, "##############################",
            width - filled, "", (unsigned)((uint64_t)Bar.done * 100 / total), Bar.text);
    fflush(stderr);
    Bar.shown = true;
}

void ShowProgress(uint32_t code, const char *text)
{
    switch (code) {
    case PROGRESS_BAR_CREATE:
        Bar.total = FundCount;
        Bar.done = 0;
        break;
    case PROGRESS_BAR_STEP:
        Bar.done++;
        break;
    case PROGRESS_BAR_RESET:
        Bar.done = 0;
        break;
    case PROGRESS_STATUS_TEXT:
        snprintf(Bar.text, sizeof Bar.text, "%s", text ? text : "");
        break;
    case PROGRESS_BAR_REMOVE:
    case PROGRESS_BUSY_OFF:
        if (Bar.shown)
            fprintf(stderr, "\r%*s\r", 80, "");
        Bar.shown = false;
        return;
    default:
        return;
    }
    // The status line of the finished load is not progress.
    if (code == PROGRESS_STATUS_TEXT && Bar.total == 0)
        return;
    DrawBar();
}

// ---------------------------------------------------------------------------------------
// Options.

void Usage(void)
{
    fputs("usage: vantry-report [options] DATADIR\n"
          "  Loads the fund files (*.NAV) and side files of DATADIR as Vantry does and lists\n"
          "  the funds in the program's order.\n"
          "  --json                print the whole load as a JSON document\n"
          "  --points              with --json, include every point of every series\n"
          "  --read-only           write no file into DATADIR (no opt cache, SETTINGS or Index)\n"
          "  --csv FILE            also write every figure of every fund and series to FILE\n"
          "  --validate            run the Validate job on every fund before printing\n"
          "  --file-steps          stop after reading the files: the points as read\n"
          "  --threads N           analyse the funds on N threads (default: one a core)\n"
          "  --reference-grid      search with the straightforward grid (same results)\n"
          "  --chart N             list by comparison chart N (0-26) for this run\n"
          "  --benchmark           figures relative to each fund's index fund\n"
          "  --category-sort 0|1   group the funds by category, or not\n"
          "  --group 0|1           gather the portfolio funds at the end, or not\n"
          "  --png FILE            draw a picture instead of the listing, with one of:\n"
          "    --graph SHORTNAME   the graph page of this fund (repeat with --combined)\n"
          "    --fund-list         the Funds page: the list's chart rows and the legend\n"
          "  --combined            one page of all the --graph funds, stacked\n"
          "  --overlaid            one page of all the --graph funds on one axis\n"
          "  --size WxH            the picture's size in pixels (default 1000x700)\n"
          "  --ma, --macd, --roc, --bollinger   the graphs' overlay (each clears the others)\n"
          "  --rsi, --magnify-macd              the RSI band or a double MACD band (not both)\n"
          "  --distributions, --linear          distributions band, linear price scale\n"
          "  --search-map          the search maps instead of the graphs\n"
          "  --zoom 0|1            the recent years only, or the whole history\n"
          "  --resources DIR       the bitmaps (bmpNNN.bmp; default: the repository's)\n"
          "  --font FILE           the TrueType font of the text (default: DejaVu Sans)\n"
          "usage: vantry-report import [options] PRICES.csv FUND.NAV   (import --help)\n"
          "usage: vantry-report --annualized START END PERIODS\n"
          "  Prints the annualized return in percent from value START to value END over\n"
          "  PERIODS DatePeriods, as the graph window's measuring line computes it.\n",
          stderr);
}

bool ParseFlag(const char *value, int *out)
{
    if (!value || (strcmp(value, "0") != 0 && strcmp(value, "1") != 0))
        return false;
    *out = value[0] - '0';
    return true;
}

bool ParseChart(const char *value, int *out)
{
    if (!value || !*value)
        return false;
    char *end;
    long n = strtol(value, &end, 10);
    if (*end || n < 0 || n >= CHART_KIND_COUNT)
        return false;
    *out = (int)n;
    return true;
}

// "WxH" with both between 1 and 16384.
bool ParseSize(const char *value, uint32_t *width, uint32_t *height)
{
    if (!value)
        return false;
    char *end;
    long w = strtol(value, &end, 10);
    if (end == value || (*end != 'x' && *end != 'X'))
        return false;
    const char *rest = end + 1;
    long h = strtol(rest, &end, 10);
    if (end == rest || *end || w < 1 || h < 1 || w > 16384 || h > 16384)
        return false;
    *width = (uint32_t)w;
    *height = (uint32_t)h;
    return true;
}

bool ParseViewOverride(const char *a, std::vector<int> *views)
{
    static const struct {
        const char *option;
        ViewOverride view;
    } names[] = {
        {"--ma", VIEW_MA},
        {"--macd", VIEW_MACD},
        {"--roc", VIEW_ROC},
        {"--rsi", VIEW_RSI},
        {"--bollinger", VIEW_BOLLINGER},
        {"--distributions", VIEW_DISTRIBUTIONS},
        {"--linear", VIEW_LINEAR},
        {"--magnify-macd", VIEW_MAGNIFY_MACD},
        {"--search-map", VIEW_SEARCH_MAP},
    };
    for (const auto &n : names)
        if (strcmp(a, n.option) == 0) {
            views->push_back(n.view);
            return true;
        }
    return false;
}

// The picture options make sense only together: one page kind, a path, and several
// funds only on a combined page.
bool PictureOptionsAgree(const Options &o)
{
    const PngOptions &p = o.png;
    bool any = !p.graphs.empty() || p.fundList || p.combined || o.overlaid;
    if (!p.path)
        return !any;
    if (p.fundList == !p.graphs.empty())
        return false;
    if (p.fundList && (p.combined || o.overlaid))
        return false;
    return p.graphs.size() <= 1 || p.combined || o.overlaid;
}

// Returns 0 on success, 2 on a usage error.
int ParseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (ParseViewOverride(a, &o->views)) {
            continue;
        } else if (strcmp(a, "--png") == 0 || strcmp(a, "--graph") == 0 ||
                   strcmp(a, "--resources") == 0 || strcmp(a, "--font") == 0) {
            if (!next || !*next)
                return 2;
            if (a[2] == 'p')
                o->png.path = next;
            else if (a[2] == 'g')
                o->png.graphs.push_back(next);
            else if (a[2] == 'r')
                o->png.resources = next;
            else
                o->png.font = next;
            i++;
        } else if (strcmp(a, "--fund-list") == 0) {
            o->png.fundList = true;
        } else if (strcmp(a, "--combined") == 0) {
            o->png.combined = true;
        } else if (strcmp(a, "--overlaid") == 0) {
            o->overlaid = true;
        } else if (strcmp(a, "--size") == 0) {
            if (!ParseSize(next, &o->png.width, &o->png.height))
                return 2;
            i++;
        } else if (strcmp(a, "--zoom") == 0) {
            if (!ParseFlag(next, &o->zoom))
                return 2;
            i++;
        } else if (strcmp(a, "--json") == 0) {
            o->json = true;
        } else if (strcmp(a, "--points") == 0) {
            o->points = true;
        } else if (strcmp(a, "--read-only") == 0) {
            o->readOnly = true;
        } else if (strcmp(a, "--validate") == 0) {
            o->validate = true;
        } else if (strcmp(a, "--file-steps") == 0) {
            o->fileSteps = true;
        } else if (strcmp(a, "--benchmark") == 0) {
            o->benchmark = true;
        } else if (strcmp(a, "--chart") == 0) {
            if (!ParseChart(next, &o->chart))
                return 2;
            i++;
        } else if (strcmp(a, "--csv") == 0) {
            if (!next || !*next)
                return 2;
            o->csv = next;
            i++;
        } else if (strcmp(a, "--reference-grid") == 0) {
            o->referenceGrid = true;
        } else if (strcmp(a, "--threads") == 0) {
            char *end = nullptr;
            long n = next ? strtol(next, &end, 10) : 0;
            if (!next || *end || n < 1 || n > 64)
                return 2;
            o->threads = (int)n;
            i++;
        } else if (strcmp(a, "--category-sort") == 0) {
            if (!ParseFlag(next, &o->categorySort))
                return 2;
            i++;
        } else if (strcmp(a, "--group") == 0) {
            if (!ParseFlag(next, &o->group))
                return 2;
            i++;
        } else if (a[0] == '-') {
            return 2;
        } else if (!o->dataDir) {
            o->dataDir = a;
        } else {
            return 2;
        }
    }
    if (!PictureOptionsAgree(*o))
        return 2;
    return o->dataDir ? 0 : 2;
}

// The view switches turned on as the menu commands turn them on, exclusions included.
void ApplyViewOverride(int view)
{
    switch (view) {
    case VIEW_MA:
        ShowMovingAverage = 1, ShowRoc = ShowMacd = ShowBollinger = 0;
        break;
    case VIEW_MACD:
        ShowMacd = 1, ShowBollinger = ShowRoc = ShowMovingAverage = 0;
        break;
    case VIEW_ROC:
        ShowRoc = 1, ShowBollinger = ShowMacd = ShowMovingAverage = 0;
        break;
    case VIEW_BOLLINGER:
        ShowBollinger = 1, ShowRoc = ShowMacd = ShowMovingAverage = 0;
        break;
    case VIEW_RSI:
        ShowRsi = 1, MagnifyMacd = 0;
        break;
    case VIEW_MAGNIFY_MACD:
        MagnifyMacd = 1, ShowRsi = 0;
        break;
    case VIEW_DISTRIBUTIONS:
        ShowDistributions = 1;
        break;
    case VIEW_SEARCH_MAP:
        ShowSearchMap = 1;
        break;
    case VIEW_LINEAR:
        LinearScale = 1;
        break;
    }
}

// The overrides change the view state of this run only; nothing is written.
void ApplyOverrides(const Options &o)
{
    bool changed = false;
    if (o.chart >= 0)
        ChartKind = (uint32_t)o.chart, changed = true;
    if (o.benchmark)
        ShowBenchmark = 1, changed = true;
    if (o.categorySort >= 0)
        CategorySort = (uint8_t)o.categorySort, changed = true;
    if (o.group >= 0)
        GroupMode = (uint8_t)o.group, changed = true;
    for (int view : o.views)
        ApplyViewOverride(view), changed = true;
    if (o.zoom >= 0)
        ZoomOn = (uint32_t)o.zoom;
    if (o.png.combined || o.overlaid)
        CombinedGraphs = 1;
    if (o.overlaid)
        OverlaidGraphs = 1, changed = true;
    // The picture's list shows the order of the chart it draws, with its zero line.
    if (changed || o.png.path)
        SortFunds();
}

// ---------------------------------------------------------------------------------------
// JSON.

// The earliest and latest point dates of a fund (DATE_NOT_FOUND when it has none); the
// points are sorted after a whole load, but not after the file steps alone.
void FundDateRange(const FundRecord *f, uint32_t *first, uint32_t *last)
{
    *first = *last = DATE_NOT_FOUND;
    for (uint32_t k = 0; f->points[0] && k < f->pointCount; k++) {
        uint32_t d = f->points[0][k].dateWord & 0xFFFF;
        if (d == DATE_INDEX_NONE)
            continue;
        if (*first == DATE_NOT_FOUND || d < *first)
            *first = d;
        if (*last == DATE_NOT_FOUND || d > *last)
            *last = d;
    }
}

void Key(FILE *out, const char *name)
{
    fprintf(out, ",\"%s\":", name);
}

void KeyDouble(FILE *out, const char *name, double value)
{
    Key(out, name);
    JsonDouble(out, value);
}

void DoubleArray(FILE *out, const double *values, int n)
{
    fputc('[', out);
    for (int i = 0; i < n; i++) {
        if (i)
            fputc(',', out);
        JsonDouble(out, values[i]);
    }
    fputc(']', out);
}

const char *Bool(bool b)
{
    return b ? "true" : "false";
}

void PrintPoints(FILE *out, const FundRecord *f, int s)
{
    fputs(",\"points\":[", out);
    const NavPoint *p = f->points[s];
    for (uint32_t k = 0; p && k < f->pointCount; k++) {
        uint32_t w = p[k].dateWord;
        fputs(k ? ",\n{\"date\":" : "\n{\"date\":", out);
        JsonDateIndex(out, (w & 0xFFFF) == DATE_INDEX_NONE ? DATE_NOT_FOUND : (w & 0xFFFF));
        fprintf(out, ",\"noValue\":%s", Bool(w & NAV_NO_VALUE));
        KeyDouble(out, "value", p[k].value);
        KeyDouble(out, "change", p[k].change);
        KeyDouble(out, "ma", p[k].ma);
        KeyDouble(out, "maEquity", p[k].maEquity);
        fprintf(out, ",\"maHolding\":%s", Bool(w & NAV_MA_HOLDING));
        const MacdPoint *m = f->macdPoints[s] ? &f->macdPoints[s][k] : nullptr;
        KeyDouble(out, "macd", m ? m->macd : 0);
        KeyDouble(out, "trigger", m ? m->trigger : 0);
        KeyDouble(out, "macdEquity", m ? m->equity : 0);
        fprintf(out, ",\"macdHolding\":%s", Bool(w & NAV_MACD_HOLDING));
        const RocPoint *r = f->rocPoints[s] ? &f->rocPoints[s][k] : nullptr;
        KeyDouble(out, "roc", r ? r->roc : 0);
        KeyDouble(out, "rocEquity", r ? r->equity : 0);
        fprintf(out, ",\"rocHolding\":%s", Bool(w & NAV_ROC_HOLDING));
        fprintf(out, ",\"rsi\":%u", (unsigned)((w & NAV_RSI_MASK) >> NAV_RSI_SHIFT));
        const BandPoint *b = f->bandPoints[s] ? &f->bandPoints[s][k] : nullptr;
        KeyDouble(out, "middle", b ? b->middle : 0);
        KeyDouble(out, "width", b ? b->width : 0);
        fputc('}', out);
    }
    fputc(']', out);
}

// The Validate job's figures of the fund's own series under "validation"
// (docs/statistics.md); null when the series has none that are current.
void PrintValidation(FILE *out, const ValidationStats *v)
{
    Key(out, "validation");
    if (!v) {
        fputs("null", out);
        return;
    }
    fprintf(out, "{\"walkYears\":%u", (unsigned)v->walkYears);
    KeyDouble(out, "walkForward", v->walkForward);
    KeyDouble(out, "buyAndHold", v->buyAndHold);
    KeyDouble(out, "inSample", v->inSample);
    fprintf(out, ",\"cscv\":%s,\"strategies\":%u", v->flags & VALIDATION_CSCV ? "true" : "false",
            (unsigned)v->strategies);
    KeyDouble(out, "pbo", v->pbo);
    KeyDouble(out, "sharpe", v->sharpe);
    KeyDouble(out, "expectedMaxSharpe", v->expectedMaxSharpe);
    KeyDouble(out, "deflatedSharpe", v->deflatedSharpe);
    fputc('}', out);
}

// The analyst's figures of a series under "analyst" (docs/statistics.md).
void PrintAnalystSeries(FILE *out, const FundRecord *f, int s, const AnalystStats *a,
                        const ValidationStats *v)
{
    fputs(",\"analyst\":{\"maxDrawdown\":", out);
    JsonDouble(out, a->maxDrawdown);
    Key(out, "drawdownPeak");
    JsonDateIndex(out, a->drawdownPeak);
    Key(out, "drawdownTrough");
    JsonDateIndex(out, a->drawdownTrough);
    Key(out, "drawdownRecovery");
    JsonDateIndex(out, a->drawdownRecovery);
    KeyDouble(out, "drawdownWeeks", a->drawdownWeeks);
    KeyDouble(out, "currentDrawdown", a->currentDrawdown);
    fprintf(out, ",\"monthCount\":%u", (unsigned)a->monthCount);
    KeyDouble(out, "monthlyVolatility", a->monthlyVolatility);
    KeyDouble(out, "downsideDeviation", a->downsideDeviation);
    KeyDouble(out, "sortino", a->sortino);
    fputs(",\"rolling\":[", out);
    for (int k = 0; k < ROLLING_WINDOWS; k++) {
        const RollingReturns *r = &a->rolling[k];
        fprintf(out, "%s{\"months\":%u,\"count\":%u", k ? "," : "", (unsigned)RollingMonths[k],
                (unsigned)r->count);
        KeyDouble(out, "worst", r->worst);
        KeyDouble(out, "median", r->median);
        KeyDouble(out, "best", r->best);
        KeyDouble(out, "positiveShare", r->positiveShare);
        fputc('}', out);
    }
    fputs("],\"percentileRanks\":{", out);
    int first = 1;
    for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++)
        if (kind != CHART_NONE && kind != CHART_SIGNALS && kind != CHART_CURRENT_STRENGTH) {
            fprintf(out, "%s\"%s\":%u", first ? "" : ",", ChartName(kind),
                    (unsigned)a->percentile[kind]);
            first = 0;
        }
    fputc('}', out);
    PrintSearchMapJson(out, f, s);
    PrintValidation(out, v);
    fputc('}', out);
}

// The fund's own analyst figures, those against its index fund, under "analyst".
void PrintAnalystFund(FILE *out, const AnalystStats *a)
{
    fprintf(out, ",\"analyst\":{\"benchmarkMonths\":%u", (unsigned)a->benchmarkMonths);
    KeyDouble(out, "beta", a->beta);
    KeyDouble(out, "alpha", a->alpha);
    KeyDouble(out, "rSquared", a->rSquared);
    KeyDouble(out, "trackingError", a->trackingError);
    KeyDouble(out, "informationRatio", a->informationRatio);
    KeyDouble(out, "upCapture", a->upCapture);
    KeyDouble(out, "downCapture", a->downCapture);
    fputs(",\"rollingBeatShare\":[", out);
    for (int k = 0; k < ROLLING_WINDOWS; k++) {
        fprintf(out, "%s{\"months\":%u,\"count\":%u", k ? "," : "", (unsigned)RollingMonths[k],
                (unsigned)a->rolling[k].beatCount);
        KeyDouble(out, "share", a->rolling[k].beatShare);
        fputc('}', out);
    }
    fputs("]}", out);
}

void PrintSeries(FILE *out, const FundRecord *f, int s, bool points)
{
    static const char *const params[MA_PARAM_COUNT] = {
        "umaLength",  "umaBuy",     "umaSell",   "wmaLength",   "wmaBuy",   "wmaSell",
        "emaPercent", "emaBuy",     "emaSell",   "amaLength",   "amaBuy",   "amaSell",
        "vidyaLength", "vidyaPercent", "vidyaBuy", "vidyaSell", "macdFast", "macdSlow",
        "macdTrigger", "macdBuy",   "macdSell",  "rocLength",   "rocBuy",   "rocSell",
    };
    const MaSettings *m = &f->maSettings[s];
    const SeriesStats *st = &f->stats[s];
    fprintf(out, "{\"maKind\":%u", (unsigned)m->maKind);
    Key(out, "maAverage");
    DoubleArray(out, m->maAverage, 5);
    for (int p = 0; p < MA_PARAM_COUNT; p++)
        fprintf(out, ",\"%s\":%u", params[p], (unsigned)GetMaParam(m, (MaParam)p));
    fprintf(out, ",\"longestPeriod\":%u", (unsigned)st->longestPeriod);
    KeyDouble(out, "ytdReturn", st->ytdReturn);
    KeyDouble(out, "volatility", st->volatility);
    KeyDouble(out, "rewardRisk", st->rewardRisk);
    KeyDouble(out, "sharpe", st->sharpe);
    KeyDouble(out, "totalReturn", st->totalReturn);
    KeyDouble(out, "return6Month", st->return6Month);
    KeyDouble(out, "return1Year", st->return1Year);
    KeyDouble(out, "return3Year", st->return3Year);
    KeyDouble(out, "return5Year", st->return5Year);
    KeyDouble(out, "return7Year", st->return7Year);
    KeyDouble(out, "return10Year", st->return10Year);
    KeyDouble(out, "currentStrength", st->currentStrength);
    KeyDouble(out, "maSignal", st->maSignal);
    KeyDouble(out, "macdStrength", st->macdStrength);
    KeyDouble(out, "rocLatest", st->rocLatest);
    KeyDouble(out, "maxChange", st->maxChange);
    KeyDouble(out, "minChange", st->minChange);
    KeyDouble(out, "maxChangeRecent", st->maxChangeRecent);
    KeyDouble(out, "minChangeRecent", st->minChangeRecent);
    Key(out, "yearReturns");
    fputc('[', out);
    const YearReturn *y = f->yearReturns[s];
    uint32_t firstYear = f->pointCount ? YearCodeOf(f->points[0][0].dateWord & 0xFFFF) : 0;
    for (uint32_t k = 0; y && k < f->yearCount; k++) {
        fprintf(out, "%s{\"year\":%u,\"percent\":", k ? "," : "", (unsigned)(1960 + firstYear + k));
        JsonDouble(out, y[k].percent);
        fprintf(out, ",\"valid\":%s}", Bool(y[k].valid));
    }
    fputc(']', out);
    Key(out, "trendProjection");
    DoubleArray(out, f->trendProjection[s], 5);
    Key(out, "patternProjection");
    DoubleArray(out, f->patternProjection[s], 5);
    fprintf(out, ",\"patternMatch\":%u", (unsigned)f->patternMatch[s]);
    // The validation is of series 0, which series 1 is when the fund has no index fund.
    int own = s == 0 || f->points[1] == f->points[0];
    PrintAnalystSeries(out, f, s, &st->analyst,
                       own && ValidationCurrent(f) ? &f->validation : nullptr);
    if (points)
        PrintPoints(out, f, s);
    fputc('}', out);
}

void PrintFundJson(FILE *out, const FundRecord *f, bool points)
{
    uint32_t first, last;
    FundDateRange(f, &first, &last);
    fputs("{\"shortName\":", out);
    JsonString(out, f->shortName);
    Key(out, "name");
    JsonString(out, f->name);
    Key(out, "url");
    JsonString(out, f->url);
    fprintf(out, ",\"category\":%u,\"inPortfolio\":%s", (unsigned)FundCategory(f),
            Bool(f->flags & FUND_IN_PORTFOLIO));
    Key(out, "indexName");
    JsonString(out, f->indexName);
    fprintf(out, ",\"fileSize\":%u,\"pointCount\":%u,\"distCount\":%u,\"splitCount\":%u",
            (unsigned)f->fileSize, (unsigned)f->pointCount, (unsigned)f->distCount,
            (unsigned)f->splitCount);
    Key(out, "excludeDate");
    if (f->excludeDate == 0)
        fputs("null", out);
    else
        JsonDateIndex(out, f->excludeDate);
    fprintf(out, ",\"recentStart\":%u,\"recentStartShort\":%u", (unsigned)f->recentStart,
            (unsigned)f->recentStartShort);
    KeyDouble(out, "navChange", f->navChange);
    KeyDouble(out, "distTotal", f->distTotal);
    KeyDouble(out, "taxEfficiency", f->taxEfficiency);
    Key(out, "firstDate");
    JsonDateIndex(out, first);
    Key(out, "lastDate");
    JsonDateIndex(out, last);
    PrintAnalystFund(out, &f->stats[0].analyst);
    fputs(",\"series\":[\n", out);
    PrintSeries(out, f, 0, points);
    fputs(",\n", out);
    PrintSeries(out, f, 1, points);
    fputs("]}", out);
}

void PrintView(FILE *out)
{
    fprintf(out,
            "{\"ChartKind\":%u,\"CategorySort\":%u,\"ZoomOn\":%u,\"ShowMovingAverage\":%u,"
            "\"ShowMacd\":%u,\"MagnifyMacd\":%u,\"ShowRoc\":%u,\"ShowRsi\":%u,"
            "\"ShowBollinger\":%u,\"ShowDistributions\":%u,\"ShowBenchmark\":%u,"
            "\"GroupMode\":%u,\"LinearScale\":%u,\"CombinedGraphs\":%u,\"OverlaidGraphs\":%u,"
            "\"DefaultBenchmark\":",
            (unsigned)ChartKind, CategorySort, (unsigned)ZoomOn, ShowMovingAverage, ShowMacd,
            MagnifyMacd, ShowRoc, ShowRsi, ShowBollinger, ShowDistributions, ShowBenchmark,
            GroupMode, (unsigned)LinearScale, (unsigned)CombinedGraphs, OverlaidGraphs);
    JsonString(out, DefaultBenchmark);
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
    fputs(",\n\"view\":", out);
    PrintView(out);
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

// ---------------------------------------------------------------------------------------
// The table: one row per fund in display order, 80 columns.

void FormatFigure(char *out, size_t size, bool have, double value)
{
    if (have)
        snprintf(out, size, "%.2f", value);
    else
        snprintf(out, size, "-");
}

void PrintTable(FILE *out)
{
    const char *chart = ChartKind ? ChartName(ChartKind) : "None";
    fprintf(out, "%-8s %-13s %9.9s %7s %7s %6s %6s %-5s %s\n", "Fund", "Category", chart,
            "Total", "1 Year", "Vol", "Sharpe", "MA", "Name");
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        int s = KeySeries(f);
        const SeriesStats *st = &f->stats[s];
        char figure[32], total[16], year[16], vol[16], sharpe[16];
        double key = 0;
        if (ChartKind == CHART_SIGNALS) {
            int h = SignalHolding(f, 0) + SignalHolding(f, 1);
            snprintf(figure, sizeof figure, "%s", h == 2 ? "buy" : (h == 0 ? "sell" : "mixed"));
        } else {
            int ranked = KeyOfChart(f, ChartKind, &key);
            FormatFigure(figure, sizeof figure, ranked != 0, key);
        }
        FormatFigure(total, sizeof total, true, st->totalReturn);
        FormatFigure(year, sizeof year, st->longestPeriod != 0 && st->longestPeriod != 6,
                     st->return1Year);
        FormatFigure(vol, sizeof vol, true, st->volatility);
        FormatFigure(sharpe, sizeof sharpe, true, st->sharpe);
        uint32_t category = FundCategory(f);
        uint32_t kind = f->maSettings[s].maKind;
        fprintf(out, "%-8.8s %-13.13s %9.9s %7.7s %7.7s %6.6s %6.6s %-5s %.11s\n",
                f->shortName ? f->shortName : "", category ? CategoryTable[category].name : "",
                figure, total, year, vol, sharpe, MaKindLabel(kind), f->name ? f->name : "");
    }
    char first[16] = "", last[16] = "";
    if (DateCount) {
        FormatDateIndex(0, first);
        FormatDateIndex(DateCount - 1, last);
    }
    fprintf(out, "%u funds, %u dates %s - %s\n%s\n", (unsigned)FundCount, (unsigned)DateCount,
            first, last, StatusLine);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && strcmp(argv[1], "import") == 0)
        return RunImport(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "--annualized") == 0) {
        char *end[3];
        double start = argc == 5 ? strtod(argv[2], &end[0]) : 0;
        double finish = argc == 5 ? strtod(argv[3], &end[1]) : 0;
        long periods = argc == 5 ? strtol(argv[4], &end[2], 10) : 0;
        if (argc != 5 || *end[0] || *end[1] || *end[2] || periods <= 0 || periods > 1000000) {
            Usage();
            return 2;
        }
        printf("%.17g\n", AnnualizedReturn(start, finish, (int32_t)periods));
        return 0;
    }
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
    if (isatty(fileno(stderr)))
        PlatSetProgressSink(ShowProgress);
    if (o.png.path && !StartPngDrawing(o.png)) {
        EndPngDrawing();
        return 1;
    }
    DataDirWritable = !o.readOnly;
    LoadAnalysisThreads = (uint32_t)o.threads;
    GridReferenceOnly = o.referenceGrid;
    if (o.fileSteps)
        LoadDataFiles();
    else
        LoadThread(nullptr);
    if (o.validate && !o.fileSteps) {
        JobRequest job = {};
        job.scope = JOB_ALL_FUNDS;
        job.currentTab = -1;
        ValidationJob(&job);
    }
    PlatSetProgressSink(nullptr);
    ApplyOverrides(o);
    // How many series the load searched rather than restored from the opt cache; on
    // standard error, so that the document of an unchanged directory stays the same.
    if (!o.fileSteps)
        fprintf(stderr, "vantry-report: %u series searched\n", (unsigned)OptimizeSearches);
    int status = 0;
    if (o.csv && !o.fileSteps && !WriteStatisticsCsv(o.csv))
        status = 1;
    if (o.png.path) {
        int drawn = RenderPng(o.png);
        if (drawn)
            status = drawn;
        EndPngDrawing();
    } else if (o.json) {
        PrintJson(stdout, o);
    } else {
        PrintTable(stdout);
    }
    FreeDataSet();
    FreeOptTable();
    fflush(stdout);
    return ferror(stdout) ? 1 : status;
}
