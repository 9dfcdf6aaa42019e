// Preparing a graph page: default benchmark, benchmark data, ranges, scales and painting.
#include "graphics/graphpage.h"

#include <math.h>
#include <string.h>

#include "analysis/relative.h"
#include "analysis/returns.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"
#include "graphics/overlaygraph.h"
#include "graphics/searchmapview.h"
#include "graphics/statistics.h"

int32_t ZoomSelectionFrom;
int32_t ZoomSelectionTo;
double ZoomSelectionMax;

int32_t PaintedFrom;
int32_t PaintedTo;
uint32_t PaintedPriceUnits;

const uint8_t OverlayColourOrder[OVERLAY_COLOUR_COUNT] = {5, 2, 12, 9, 8, 4, 10, 3, 11, 13, 6, 7};

BenchmarkRefreshStarter StartBenchmarkRefresh;
char *BenchmarkList;
WorkerQuery WorkerRunning;
int GraphPageDeferred;

int ZoomSelectionActive(void)
{
    return ZoomSelectionFrom != 0 || ZoomSelectionTo != 0 || ZoomSelectionMax != 0;
}

void FreeBenchmarkList(void)
{
    FreeBlock(BenchmarkList);
    BenchmarkList = nullptr;
}

static int IsDisplayed(const FundRecord *f)
{
    return (f->flags & FUND_DISPLAYED) != 0;
}

int ApplyDefaultBenchmarkRule(void)
{
    const FundRecord *index = nullptr;
    uint32_t count = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (IsDisplayed(f) && FundCategory(f) == CATEGORY_INDEX) {
            if (!count)
                index = f;
            count++;
        }
    }
    if (count == 1 && index->shortName) {
        if (CompareNoCase(index->shortName, DefaultBenchmark) == 0)
            return 0;
        size_t length = strlen(index->shortName);
        if (length >= DEFAULT_BENCHMARK_SIZE)
            length = DEFAULT_BENCHMARK_SIZE - 1;
        memcpy(DefaultBenchmark, index->shortName, length);
        DefaultBenchmark[length] = 0;
        return 1;
    }
    if (count >= 2 && DefaultBenchmark[0]) {
        DefaultBenchmark[0] = 0;
        return 1;
    }
    return 0;
}

int HasRelativeSeries(const FundRecord *fund)
{
    return fund->points[1] != nullptr && fund->points[1] != fund->points[0];
}

static int32_t PeriodOfPoint(const FundRecord *f, uint32_t series, uint32_t i)
{
    return PointPeriod(&f->points[series][i]);
}

void FundVisibleRange(const FundRecord *fund, int32_t *from, int32_t *to)
{
    *from = *to = 0;
    uint32_t n = fund->points[0] ? fund->pointCount : 0;
    if (n) {
        uint32_t first = 0;
        if (ZoomOn && fund->recentStart && fund->recentStart < n)
            first = fund->recentStart;
        else if (ZoomOn && fund->recentStartShort && fund->recentStartShort < n)
            first = fund->recentStartShort;
        *from = PeriodOfPoint(fund, 0, first);
        *to = PeriodOfPoint(fund, 0, n - 1);
    }
    if (ZoomSelectionActive()) {
        *from = ZoomSelectionFrom;
        *to = ZoomSelectionTo;
    }
}

// The series a fund's scale and overlay factor come from.
static uint32_t ScaleSeries(const FundRecord *fund)
{
    return ShowBenchmark && fund->indexName && HasRelativeSeries(fund) ? 1 : 0;
}

// The series a fund is painted with.
static uint32_t PaintSeries(const FundRecord *fund)
{
    return ShowBenchmark && fund->indexName ? 1 : 0;
}

double FundValueMaximum(const FundRecord *fund)
{
    return OverlayScaleMaximum(&fund->stats[ScaleSeries(fund)]);
}

double OverlayScaleMaximum(const SeriesStats *st)
{
    if (ShowMovingAverage)
        return ZoomOn ? st->maxMaEquityRecent : st->maxMaEquity;
    if (ShowMacd)
        return ZoomOn ? st->maxMacdEquityRecent : st->maxMacdEquity;
    if (ShowRoc)
        return ZoomOn ? st->maxRocEquityRecent : st->maxRocEquity;
    if (ShowBollinger)
        return ZoomOn ? st->maxBandRecent : st->maxBand;
    return ZoomOn ? st->maxValueRecent : st->maxValue;
}

// A maximum rounded up to whole units; a scale beyond any screen is held at 1e9 units.
static uint32_t RoundUpUnits(double maximum)
{
    if (!(maximum > 0))
        return 0;
    if (maximum >= 1e9)
        return 1000000000u;
    return (uint32_t)ceil(maximum);
}

uint32_t PriceUnitsOf(double maximum)
{
    if (ZoomSelectionActive()) {
        uint32_t units = RoundUpUnits(ZoomSelectionMax);
        return units ? units : 1;
    }
    return RoundUpUnits(maximum);
}

int32_t FundBandHeights(const FundRecord *fund, int32_t h)
{
    if (!fund->pointCount)
        return 0;
    int32_t u = (h - (int32_t)TextHeight) / 5;
    if (u < 0)
        u = 0;
    int32_t total = 0;
    if (ShowDistributions && fund->distCount)
        total += u;
    if (ShowBenchmark)
        total += u;
    if (ShowRsi)
        total += u;
    if (ShowRoc)
        total += u;
    if (ShowMacd)
        total += MagnifyMacd ? 2 * u : u;
    return total;
}

static FundRecord *NthDisplayed(uint32_t k)
{
    for (uint32_t i = 0; i < FundCount; i++)
        if (IsDisplayed(&FundTable[i]) && k-- == 0)
            return &FundTable[i];
    return nullptr;
}

// A fund whose relative series would come out of a refresh: building it needs an index
// fund of category 7, and without one series 1 stays series 0 however often it is built.
static int CanBuildRelative(const FundRecord *fund)
{
    const FundRecord *index = fund->indexName ? FindFund(fund->indexName) : nullptr;
    return index && FundCategory(index) == CATEGORY_INDEX;
}

// The names of the collected funds as a new BenchmarkList.
static void MakeBenchmarkList(FundRecord **funds, uint32_t count)
{
    FreeBenchmarkList();
    char list[BENCHMARK_LIST_SIZE];
    size_t used = 0;
    for (uint32_t k = 0; k < count; k++) {
        const char *name = funds[k]->name ? funds[k]->name : "";
        size_t length = strlen(name);
        // The name, its terminator and the list's final zero byte must fit.
        if (used + length + 2 > BENCHMARK_LIST_SIZE)
            continue;
        memcpy(list + used, name, length + 1);
        used += length + 1;
    }
    list[used++] = 0;
    BenchmarkList = (char *)AllocZero(used, 1);
    if (BenchmarkList)
        memcpy(BenchmarkList, list, used);
}

// Step 3: gives funds without an index fund the default one and makes sure that the
// funds in view have their relative series. Returns 1 when a refresh was started (the
// page is drawn when it ends).
static int PrepareBenchmarkData(FundRecord *pageFund)
{
    if (!ShowBenchmark || !FundCount)
        return 0;
    FundRecord **collected = (FundRecord **)AllocZero(FundCount, sizeof(FundRecord *));
    if (!collected)
        return 0;
    uint32_t count = 0;
    int indexChanged = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        int concerned = CombinedGraphs ? IsDisplayed(f) : f == pageFund;
        if (!concerned || FundCategory(f) == CATEGORY_INDEX)
            continue;
        if (!f->indexName && DefaultBenchmark[0]) {
            f->indexName = CopyString(DefaultBenchmark, strlen(DefaultBenchmark));
            if (!f->indexName)
                continue;
            indexChanged = 1;
            collected[count++] = f;
        } else if (f->indexName && f->pointCount && !HasRelativeSeries(f) &&
                   CanBuildRelative(f)) {
            collected[count++] = f;
        }
    }
    if (indexChanged)
        WriteIndexFile();
    int started = 0;
    if (count && StartBenchmarkRefresh) {
        MakeBenchmarkList(collected, count);
        if (BenchmarkList)
            StartBenchmarkRefresh(BenchmarkList);
        started = 1;
    } else {
        for (uint32_t k = 0; k < count; k++)
            BuildRelativeSeries(collected[k]);
    }
    FreeBlock(collected);
    return started;
}

// The statistics panel keeps left of the right value axis, as it starts right of the left.
static int32_t PanelRight(int32_t graphWidth)
{
    return graphWidth - 5 - 3 * (int32_t)CharWidth;
}

static void PaintSingle(int32_t graphWidth, int32_t graphHeight, uint32_t tab, char *text)
{
    FundRecord *f = tab >= 3 ? NthDisplayed(tab - 3) : nullptr;
    if (!f) {
        ReportInternal("can't find selected fund");
        return;
    }
    uint32_t s = PaintSeries(f);
    int32_t from, to;
    FundVisibleRange(f, &from, &to);
    uint32_t units = PriceUnitsOf(FundValueMaximum(f));
    PaintedFrom = from;
    PaintedTo = to;
    PaintedPriceUnits = units;
    if (ShowSearchMap) {
        PaintSearchMapView(f, 0, 0, graphWidth - 5, graphHeight - 5, s);
        return;
    }
    int32_t H = graphHeight - 4;
    PaintFundStatistics(f, 3 * (int32_t)CharWidth, (int32_t)TextHeight + 2,
                        H - 3 * (int32_t)LineHeight - FundBandHeights(f, H),
                        PanelRight(graphWidth), s);
    PaintFundGraph(f, 0, 0, graphWidth - 5, graphHeight - 5, units, from, to, s, text);
}

// The shared range and maximum of the displayed funds; returns how many are displayed.
static uint32_t SharedRange(int32_t *from, int32_t *to, double *maximum)
{
    uint32_t count = 0;
    int any = 0;
    *from = *to = 0;
    *maximum = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (!IsDisplayed(f))
            continue;
        count++;
        double m = FundValueMaximum(f);
        if (m > *maximum)
            *maximum = m;
        if (!f->pointCount || !f->points[0])
            continue;
        int32_t a, b;
        FundVisibleRange(f, &a, &b);
        if (!any || a < *from)
            *from = a;
        if (!any || b > *to)
            *to = b;
        any = 1;
    }
    if (ZoomSelectionActive()) {
        *from = ZoomSelectionFrom;
        *to = ZoomSelectionTo;
    }
    return count;
}

static void PaintStacked(int32_t graphWidth, int32_t graphHeight, char *text)
{
    int32_t from, to;
    double maximum;
    uint32_t n = SharedRange(&from, &to, &maximum);
    if (!n)
        return;
    uint32_t units = PriceUnitsOf(maximum);
    PaintedFrom = from;
    PaintedTo = to;
    PaintedPriceUnits = units;
    int32_t cell = n == 1 ? graphHeight - 4
                          : (graphHeight - 4 - 4 * ((int32_t)n - 1)) / (int32_t)n;
    if (cell < 1)
        return;
    uint32_t k = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (!IsDisplayed(f))
            continue;
        int32_t y0 = (int32_t)k++ * (cell + 4);
        ClipToRectangle(0, y0, graphWidth - 4, y0 + cell);
        if (ShowSearchMap) {
            PaintSearchMapView(f, 0, y0, graphWidth - 5, y0 + cell - 1, PaintSeries(f));
            RemoveClip();
            continue;
        }
        PaintFundStatistics(f, 3 * (int32_t)CharWidth, y0 + (int32_t)TextHeight + 2,
                            y0 + cell - 3 * (int32_t)LineHeight - FundBandHeights(f, cell),
                            PanelRight(graphWidth), PaintSeries(f));
        PaintFundGraph(f, 0, y0, graphWidth - 5, y0 + cell - 1, units, from, to,
                       PaintSeries(f), text);
        RemoveClip();
    }
}

// The first point of a series at or after DatePeriod from (the first point when none is).
static uint32_t FirstPointFrom(const FundRecord *f, uint32_t series, int32_t from)
{
    for (uint32_t i = 0; i < f->pointCount; i++)
        if (PeriodOfPoint(f, series, i) >= from)
            return i;
    return 0;
}

// The first point of a series dated at or after date (a DateIndex; the first when none is).
static uint32_t FirstPointAtDate(const FundRecord *f, uint32_t series, uint32_t date)
{
    for (uint32_t i = 0; i < f->pointCount; i++)
        if ((f->points[series][i].dateWord & 0xFFFF) >= date)
            return i;
    return 0;
}

static int HasPoints(const FundRecord *f, uint32_t series)
{
    return f->pointCount && f->points[series];
}

static void AssignOverlayColours(FundRecord *reference)
{
    uint8_t held[16] = {0};
    // The reference first, then the others in table order.
    for (int pass = 0; pass < 2; pass++) {
        for (uint32_t i = 0; i <= FundCount; i++) {
            FundRecord *f = i == 0 ? reference : &FundTable[i - 1];
            if (i != 0 && (f == reference || !IsDisplayed(f)))
                continue;
            uint32_t c = FundOverlayColour(f);
            if (pass == 0) {
                if (c && held[c])
                    SetFundOverlayColour(f, 0);
                else if (c)
                    held[c] = 1;
                continue;
            }
            if (c)
                continue;
            uint32_t saved = f->savedOverlayColour;
            if (saved >= 1 && saved <= 15 && !held[saved]) {
                c = saved;
            } else {
                c = 1;
                for (uint32_t k = 0; k < OVERLAY_COLOUR_COUNT; k++)
                    if (!held[OverlayColourOrder[k]]) {
                        c = OverlayColourOrder[k];
                        break;
                    }
            }
            held[c] = 1;
            SetFundOverlayColour(f, c);
        }
    }
}

static void PaintOverlaid(int32_t graphWidth, int32_t graphHeight, char *text)
{
    int32_t from, to;
    double maximum;
    if (!SharedRange(&from, &to, &maximum))
        return;
    FundRecord *reference = nullptr;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (!IsDisplayed(f))
            continue;
        if (!reference) {
            reference = f;
            continue;
        }
        if (!HasPoints(f, 0))
            continue;
        if (!HasPoints(reference, 0) ||
            (f->points[0][0].dateWord & 0xFFFF) < (reference->points[0][0].dateWord & 0xFFFF))
            reference = f;
    }
    SetFundOverlayFactor(reference, 1.0);
    uint32_t rs = ScaleSeries(reference);
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (!IsDisplayed(f))
            continue;
        double factor = 1.0;
        uint32_t fs = ScaleSeries(f);
        if (f != reference && HasPoints(f, fs) && HasPoints(reference, rs)) {
            uint32_t j = FirstPointFrom(f, fs, from);
            uint32_t r = FirstPointAtDate(reference, rs, f->points[fs][j].dateWord & 0xFFFF);
            factor = SafeDivide(reference->points[rs][r].value, f->points[fs][j].value);
        }
        SetFundOverlayFactor(f, factor);
        const SeriesStats *st = &f->stats[fs];
        double m = (ZoomOn ? st->maxValueRecent : st->maxValue) * factor;
        if (m > maximum)
            maximum = m;
    }
    uint32_t units = PriceUnitsOf(maximum);
    PaintedFrom = from;
    PaintedTo = to;
    PaintedPriceUnits = units;
    AssignOverlayColours(reference);
    PaintOverlayGraph(reference, 0, 0, 0, graphWidth - 5, graphHeight - 5, units, from, to,
                      PaintSeries(reference), text);
    uint32_t k = 1;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (!IsDisplayed(f) || f == reference)
            continue;
        PaintOverlayGraph(f, k++, 0, 0, graphWidth - 5, graphHeight - 5, units, from, to,
                          PaintSeries(f), text);
    }
}

int PrepareGraphPage(DrawTarget *t, int32_t graphWidth, int32_t graphHeight, uint32_t tab)
{
    int working = WorkerRunning && WorkerRunning();
    GraphPageDeferred = working;
    int benchmarkChanged = working ? 0 : ApplyDefaultBenchmarkRule();
    int drawn = 0;
    int room = graphWidth > 4 && graphHeight > 4;
    DrawTarget *previous = DrawSurface;
    DrawSurface = t;
    if (room && !SurfaceFill(t, 0, 0, graphWidth - 4, graphHeight - 4, RGB_OF(192, 192, 192)))
        ReportWin32("PatBlt");
    FundRecord *pageFund = CombinedGraphs ? nullptr : tab >= 3 ? NthDisplayed(tab - 3) : nullptr;
    if (!working && PrepareBenchmarkData(pageFund)) {
        // The refresh redraws the page when it ends; the settings change must not wait
        // for that drawing, which no longer sees it as a change.
        if (benchmarkChanged)
            WriteSettingsFile();
        DrawSurface = previous;
        return 0;
    }
    if (room) {
        ClearGraphGeometry();
        uint32_t transparent = SurfaceSetTransparent(t, 1);
        if (transparent == SURFACE_SET_FAILED)
            ReportWin32("SetBkMode");
        char text[FUND_GRAPH_TEXT_SIZE];
        if (!CombinedGraphs)
            PaintSingle(graphWidth, graphHeight, tab, text);
        else if (!OverlaidGraphs || ShowSearchMap)  // maps are never overlaid
            PaintStacked(graphWidth, graphHeight, text);
        else
            PaintOverlaid(graphWidth, graphHeight, text);
        if (transparent != SURFACE_SET_FAILED &&
            SurfaceSetTransparent(t, transparent) == SURFACE_SET_FAILED)
            ReportWin32("SetBkMode");
        drawn = 1;
    }
    if (benchmarkChanged)
        WriteSettingsFile();
    DrawSurface = previous;
    return drawn;
}
