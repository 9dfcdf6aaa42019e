// The fund graph painter: title, price plot with overlays, the indicator bands and icons.
#include "graphics/fundgraph.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "analysis/returns.h"
#include "base/errors.h"
#include "data/datetable.h"
#include "data/viewflags.h"
#include "graphics/draw.h"

// ---------------------------------------------------------------------------------------
// Plot geometry. A fixed table keyed by the record's address: a page shows at most the
// displayed funds, and a fund that finds the table full simply keeps no rows (the graph
// window then finds no fund under the pointer for it).

namespace {

struct GeometryEntry {
    const FundRecord *fund;
    uint32_t rows;   // plotTop bits 0-10, plotBottom bits 11-21
    double factor;
};

#define GEOMETRY_ROOM 1024
GeometryEntry GraphGeometry[GEOMETRY_ROOM];
uint32_t GeometryCount;

GeometryEntry *FindGeometry(const FundRecord *f, int create)
{
    for (uint32_t i = 0; i < GeometryCount; i++)
        if (GraphGeometry[i].fund == f)
            return &GraphGeometry[i];
    if (!create || GeometryCount == GEOMETRY_ROOM)
        return nullptr;
    GeometryEntry *e = &GraphGeometry[GeometryCount++];
    e->fund = f;
    e->rows = 0;
    e->factor = 1.0;
    return e;
}

uint32_t ElevenBits(int32_t v)
{
    if (v < 0)
        return 0;
    return (uint32_t)v & 0x7FF;
}

}  // namespace

void SetFundReadout(FundRecord *f, int32_t x, int32_t y)
{
    f->flags = (f->flags & ~(FUND_READOUT_X_MASK | FUND_READOUT_Y_MASK)) | ElevenBits(x) |
               (ElevenBits(y) << FUND_READOUT_Y_SHIFT);
}

uint32_t FundPlotTop(const FundRecord *f)
{
    const GeometryEntry *e = FindGeometry(f, 0);
    return e ? e->rows & 0x7FF : 0;
}

uint32_t FundPlotBottom(const FundRecord *f)
{
    const GeometryEntry *e = FindGeometry(f, 0);
    return e ? (e->rows >> 11) & 0x7FF : 0;
}

void SetFundPlotRows(FundRecord *f, int32_t plotTop, int32_t plotBottom)
{
    GeometryEntry *e = FindGeometry(f, 1);
    if (e)
        e->rows = ElevenBits(plotTop) | (ElevenBits(plotBottom) << 11);
}

double FundOverlayFactor(const FundRecord *f)
{
    const GeometryEntry *e = FindGeometry(f, 0);
    return e ? e->factor : 1.0;
}

void SetFundOverlayFactor(FundRecord *f, double factor)
{
    GeometryEntry *e = FindGeometry(f, 1);
    if (e)
        e->factor = factor;
}

void ClearGraphGeometry(void)
{
    GeometryCount = 0;
}

// ---------------------------------------------------------------------------------------
// Helpers shared with the overlaid graph.

uint32_t GraphBarColour(uint32_t category)
{
    return CategoryTable[category & 0xF].attribute & 0xFF;
}

int32_t TruncPixel(double v)
{
    // Out-of-range values (a huge value on the linear scale) would make the conversion
    // undefined; far outside the surface they clip the same.
    if (!(v > -1e8))
        return v != v ? 0 : -100000000;
    if (v > 1e8)
        return 100000000;
    return (int32_t)v;
}

int32_t PriceRow(const PriceScale *ps, double v)
{
    int32_t h;
    if (ps->linear)
        h = TruncPixel(SafeDivide((double)ps->span * v, (double)ps->units));
    else
        h = LogPixel(v, ps->logScale);
    return ps->bottomRow - h;
}

void SetPriceScale(PriceScale *ps, int32_t bottomRow, int32_t span, uint32_t units)
{
    ps->bottomRow = bottomRow;
    ps->span = span < 0 ? 0 : span;
    ps->units = units;
    ps->linear = LinearScale ? 1 : 0;
    ps->logScale = (double)ps->span / (log((double)(units ? units : 1)) + 1.0);
}

void DrawPriceAxes(int32_t left, int32_t right, const PriceScale *ps)
{
    uint32_t span = (uint32_t)ps->span;
    if (ps->linear) {
        LinearAxisLeft(left + 1, ps->bottomRow, span, ps->units, 1);
        LinearAxisRight(right - 1, ps->bottomRow, span, ps->units, 1);
    } else {
        LogAxisLeft(left + 1, ps->bottomRow, span, ps->units);
        LogAxisRight(right - 1, ps->bottomRow, span, ps->units);
    }
}

int32_t DateX(const DateMapping *dm, int32_t period)
{
    if (dm->range == 0)
        return dm->x0;
    // Unsigned arithmetic as the mapping is defined; a period before from (the January of
    // a year label) must still land left of x0, so the signed offset is kept apart.
    int64_t offset = (int64_t)period - dm->from;
    if (offset < 0)
        return dm->x0 - (int32_t)((uint64_t)(-offset) * dm->width / dm->range);
    return dm->x0 + (int32_t)((uint64_t)offset * dm->width / dm->range);
}

PackedDate PointPackedDate(const NavPoint *p)
{
    uint32_t index = p->dateWord & 0xFFFF;
    return index < DateCount ? DateTable[index] : 0;
}

int32_t PointPeriod(const NavPoint *p)
{
    return DatePeriodOf(p->dateWord & 0xFFFF);
}

uint32_t TextWidthOf(const char *text)
{
    return SurfaceTextWidth(DrawSurface, text, (uint32_t)strlen(text));
}

void DrawTextAt(int32_t x, int32_t y, const char *text, uint32_t colour)
{
    DrawText(DrawSurface, x, y, text, (uint32_t)strlen(text), colour);
}

void DrawTextRight(int32_t x, int32_t y, const char *text, uint32_t colour)
{
    uint32_t old = SurfaceSetTextAlign(DrawSurface, TEXT_ALIGN_RIGHT);
    if (old == SURFACE_SET_FAILED)
        ReportWin32("SetTextAlign");
    DrawTextAt(x, y, text, colour);
    if (old != SURFACE_SET_FAILED &&
        SurfaceSetTextAlign(DrawSurface, old) == SURFACE_SET_FAILED)
        ReportWin32("SetTextAlign");
}

void ClipToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (SurfaceClip(DrawSurface, left, top, right, bottom))
        return;
    uint32_t steps = SurfaceFailedSteps;
    if (steps & SURFACE_STEP_DRAW)
        ReportWin32("CreateRectRgn");
    if (steps & SURFACE_STEP_SELECT)
        ReportWin32("SelectClipRgn");
    if (steps & SURFACE_STEP_RESTORE)
        ReportWin32("DeleteObject");
}

void RemoveClip(void)
{
    if (!SurfaceClearClip(DrawSurface))
        ReportWin32("SelectClipRgn");
}

void FormatPointDate(const NavPoint *p, char *text)
{
    PackedDate d = PointPackedDate(p);
    snprintf(text, 16, "%02u/%02u/%02u", PackedMonth(d) % 100, PackedDay(d) % 100,
             TwoDigitYearOfYearCode(PackedYearCode(d)) % 100);
}

// Every how many years a year label is drawn: 1 when a year's width holds a label and a
// blank, else the first of 2, 5, 10, 20, 50 years that does, so labels never run together.
static uint32_t YearLabelStep(const DateMapping *dm)
{
    static const uint32_t Steps[] = {1, 2, 5, 10, 20, 50};
    uint64_t need = (uint64_t)(TextWidthOf("00") + TextWidthOf(" ")) * dm->range;
    for (uint32_t step : Steps)
        if ((uint64_t)step * 60 * dm->width >= need)
            return step;
    return 100;
}

void BeginDateAxis(DateAxis *da, const DateMapping *dm, int32_t from, int32_t to, int32_t yT,
                   int32_t plotBottom)
{
    da->yearStep = YearLabelStep(dm);
    da->lastMonth = 0;
    da->lastYear = 0xFFFFFFFFu;
    da->fewYears = (to - from) / 60 < 5 ? 1 : 0;
    da->yT = yT;
    da->P = plotBottom;
    int32_t area = da->fewYears ? 2 * (int32_t)TextHeight + 5 : (int32_t)TextHeight + 5;
    da->L = plotBottom - area;
    da->from = from;
}

int DateAxisMarks(DateAxis *da, const DateMapping *dm, const NavPoint *p, int32_t x)
{
    PackedDate d = PointPackedDate(p);
    uint32_t month = PackedMonth(d), yearCode = PackedYearCode(d);
    if (month == da->lastMonth && yearCode == da->lastYear)
        return 0;
    int yearChanged = yearCode != da->lastYear;
    da->lastMonth = month;
    da->lastYear = yearCode;
    TickUp(x, da->P - 1, 2, 1);
    char text[8];
    if (da->fewYears && PackedDay(d) < 9 && month >= 1 && month <= 12) {
        text[0] = " JFMAMJJASOND"[month];
        text[1] = 0;
        DrawTextAt(x - (int32_t)TextWidthOf(text) / 2, da->P - 3 - (int32_t)TextHeight, text, 1);
    }
    int32_t january = (int32_t)yearCode * 60;
    if (yearChanged && january >= da->from) {
        int32_t xj = DateX(dm, january);
        snprintf(text, sizeof text, "%02u", TwoDigitYearOfYearCode(yearCode) % 100);
        int32_t row = da->fewYears ? da->P - 2 * (int32_t)TextHeight - 1
                                   : da->P - 3 - (int32_t)TextHeight;
        if ((1960 + yearCode) % da->yearStep == 0)
            DrawTextAt(xj - (int32_t)TextWidthOf(text) / 2, row, text, 1);
        for (int32_t y = da->yT + 5; y < da->L; y += 9)
            TickUp(xj, y, 3, 1);
    }
    if (month == 4 || month == 7 || month == 10)
        for (int32_t y = da->yT + 3; y < da->L; y += 6)
            SurfaceSetPixel(DrawSurface, x, y, RGB_OF(1, 0, 0));
    return month == 1 ? 2 : 1;
}

// ---------------------------------------------------------------------------------------
// The fund graph.

namespace {

// Rows of a band: its top separating line and the line below it.
struct Band {
    int present;
    int32_t top;
    int32_t bottom;
};

// Everything one painting of a fund graph works out before and during its walk.
struct FundGraph {
    FundRecord *fund;
    uint32_t series;
    const NavPoint *points;
    const BandPoint *bands;
    const MacdPoint *macds;
    const RocPoint *rocs;
    const SeriesStats *stats;
    uint32_t n;
    int32_t left, top, right, bottom;
    int32_t yT, P;
    Band rsi, dist, bench, macd, roc;
    PriceScale price;
    DateMapping map;
    DateAxis axis;
    uint32_t maKind;
    uint32_t maBuy, maSell;
    double maAverage;
    int anyOverlay;
    // Benchmark band
    double up, down;
    int32_t y0;
    // MACD band
    int32_t m2, yZ, yH;
    double macdMax, macdMin, histMax, histMin;
    // ROC band
    int32_t rocZ;
    double rocMax, rocMin;
    // Distribution band
    int32_t distBase;
    double distUnits;
    int32_t distSpan;
};

// A remembered previous point of a line; set is 0 until the line has one.
struct LinePoint {
    int set;
    int32_t x, y;
};

void ContinueLine(LinePoint *lp, int32_t x, int32_t y, uint32_t colour)
{
    if (lp->set)
        DrawLine(DrawSurface, lp->x, lp->y, x, y, colour);
    lp->set = 1;
    lp->x = x;
    lp->y = y;
}

void CrossLine(const FundGraph *g, int32_t row)
{
    DrawLine(DrawSurface, g->left, row, g->right + 1, row, 1);
}

void ZeroLine(const FundGraph *g, int32_t row)
{
    DrawLine(DrawSurface, g->left + 3 * (int32_t)CharWidth, row,
             g->right - 3 * (int32_t)CharWidth, row, 1);
}

// Cuts a band of height rows under the line at *line; the new separating line becomes
// *line. A band that does not fit is not present.
void CutBand(const FundGraph *g, Band *band, int32_t *line, int32_t height)
{
    if (height > *line)
        return;
    band->present = 1;
    band->bottom = *line;
    band->top = *line - height - 1;
    *line = band->top;
    CrossLine(g, band->top);
}

void DrawTitle(FundGraph *g, char *text)
{
    FundRecord *f = g->fund;
    uint32_t category = FundCategory(f);
    const char *name = f->name ? f->name : "";
    if (category)
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "%s  (%s)", name, CategoryTable[category].name);
    else
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "%s", name);
    DrawTextAt(g->left + 2, g->top, text, GraphBarColour(category));
    if (g->series != 1 || !f->indexName)
        return;
    const FundRecord *index = FindFund(f->indexName);
    if (!index || FundCategory(index) != CATEGORY_INDEX)
        return;
    int32_t x = g->left + 1 + (int32_t)TextWidthOf(text) + (int32_t)TextWidthOf(" ");
    DrawTextAt(x, g->top, "vs. ", 1);
    x += (int32_t)TextWidthOf("vs. ");
    snprintf(text, FUND_GRAPH_TEXT_SIZE, "%s  (%s)", index->name ? index->name : "",
             CategoryTable[CATEGORY_INDEX].name);
    DrawTextAt(x, g->top, text, GraphBarColour(CATEGORY_INDEX));
}

void DrawMaLabel(FundGraph *g, char *text)
{
    const MaSettings *ms = &g->fund->maSettings[g->series];
    uint32_t kind = g->maKind;
    if (kind < MA_UMA || kind > MA_VIDYA)
        return;
    uint32_t length = GetMaParam(ms, MaLengthParam(kind));
    size_t used;
    if (kind == MA_EMA) {
        used = (size_t)snprintf(text, FUND_GRAPH_TEXT_SIZE, "EMA .%02u", length);
    } else if (kind == MA_VIDYA) {
        uint32_t percent = GetMaParam(ms, VIDYA_PERCENT);
        if (percent < 100)
            used = (size_t)snprintf(text, FUND_GRAPH_TEXT_SIZE, "VIDYA %u .%02u", length, percent);
        else
            used = (size_t)snprintf(text, FUND_GRAPH_TEXT_SIZE, "VIDYA %u %u.%02u", length,
                                    percent / 100, percent % 100);
    } else {
        used = (size_t)snprintf(text, FUND_GRAPH_TEXT_SIZE, "%s %u", MaKindLabel(kind), length);
    }
    if (used < FUND_GRAPH_TEXT_SIZE)
        snprintf(text + used, FUND_GRAPH_TEXT_SIZE - used, " (+%u-%u)", g->maBuy, g->maSell);
    DrawTextRight(g->right - 1, g->top, text, 1);
}

int DistributionsInView(const FundGraph *g, int32_t from, int32_t to, int ranged)
{
    const FundRecord *f = g->fund;
    if (!ranged) {
        uint32_t first = g->points[0].dateWord & 0xFFFF;
        uint32_t last = g->points[g->n - 1].dateWord & 0xFFFF;
        return f->dists[0].date <= last && f->dists[f->distCount - 1].date >= first;
    }
    for (uint32_t k = 0; k < f->distCount; k++) {
        int32_t d = DatePeriodOf(f->dists[k].date);
        if (d >= from && d <= to)
            return 1;
    }
    return 0;
}

void LayOutBands(FundGraph *g, int32_t from, int32_t to, int ranged, char *text)
{
    const FundRecord *f = g->fund;
    int32_t H = g->bottom - g->yT - 2;
    if (H < 0)
        H = 0;
    int32_t fifth = H / 5;
    int32_t line = g->bottom;
    if (ShowRsi && g->n)
        CutBand(g, &g->rsi, &line, fifth);
    if (ShowDistributions && f->distCount && f->dists && g->n &&
        DistributionsInView(g, from, to, ranged))
        CutBand(g, &g->dist, &line, fifth);
    if (ShowBenchmark && g->n)
        CutBand(g, &g->bench, &line, fifth);
    if (ShowMacd && g->n && g->macds)
        CutBand(g, &g->macd, &line, MagnifyMacd ? 2 * H / 5 : fifth);
    else if (ShowRoc && g->n && g->rocs && !ShowMacd)
        CutBand(g, &g->roc, &line, fifth);
    g->P = line;

    if (g->rsi.present) {
        int32_t span = g->rsi.bottom - g->rsi.top - 2;
        LinearAxisLeft(g->left + 1, g->bottom - 1, (uint32_t)(span < 0 ? 0 : span), 100, 1);
        LinearAxisRight(g->right - 1, g->bottom - 1, (uint32_t)(span < 0 ? 0 : span), 100, 1);
        int32_t height = g->rsi.bottom - g->rsi.top;
        DrawLine(DrawSurface, g->left + 1, g->rsi.top + height * 30 / 100, g->right,
                 g->rsi.top + height * 30 / 100, 5);
        DrawLine(DrawSurface, g->left + 1, g->rsi.top + height * 70 / 100, g->right,
                 g->rsi.top + height * 70 / 100, 5);
    }
    if (g->dist.present) {
        g->distBase = g->dist.bottom - 1;
        g->distSpan = g->dist.bottom - g->dist.top - 2;
        if (g->distSpan < 0)
            g->distSpan = 0;
        double total = f->distTotal > 0 ? f->distTotal : 0;
        g->distUnits = trunc(total) + 1.0;
        uint32_t units = g->distUnits < 1e9 ? (uint32_t)g->distUnits : 1000000000u;
        LinearAxisLeft(g->left + 1, g->distBase, (uint32_t)g->distSpan, units, 1);
        LinearAxisRight(g->right - 1, g->distBase, (uint32_t)g->distSpan, units, 1);
    }
    if (g->bench.present) {
        double maxC = ZoomOn ? g->stats->maxChangeRecent : g->stats->maxChange;
        double minC = ZoomOn ? g->stats->minChangeRecent : g->stats->minChange;
        g->up = trunc(maxC > 0 ? maxC : 0) + 1.0;
        g->down = trunc(minC < 0 ? -minC : 0) + 1.0;
        int32_t rows = g->bench.bottom - g->bench.top;
        g->y0 = g->bench.top + 1 + TruncPixel(rows * g->up / (g->up + g->down));
        ZeroLine(g, g->y0);
        uint32_t upCount = g->up < 1e6 ? (uint32_t)g->up : 1000000u;
        uint32_t downCount = g->down < 1e6 ? (uint32_t)g->down : 1000000u;
        int32_t upSpan = g->y0 - g->bench.top - 1, downSpan = g->bench.bottom - g->y0 - 1;
        upSpan = upSpan < 0 ? 0 : upSpan;
        downSpan = downSpan < 0 ? 0 : downSpan;
        LinearAxisLeft(g->left + 1, g->y0, (uint32_t)upSpan, upCount, 1);
        LinearAxisRight(g->right - 1, g->y0, (uint32_t)upSpan, upCount, 1);
        LinearAxisLeft(g->left + 1, g->y0, (uint32_t)downSpan, downCount, 0);
        LinearAxisRight(g->right - 1, g->y0, (uint32_t)downSpan, downCount, 0);
    }
    if (g->macd.present) {
        int32_t m = g->macd.top, c = g->macd.bottom;
        g->m2 = m + (c - m - 1) * 3 / 4;
        int32_t u = g->m2 - m - 1, l = c - g->m2 - 1;
        const SeriesStats *st = g->stats;
        g->macdMax = ZoomOn ? st->macdMaxRecent : st->macdMax;
        g->macdMin = ZoomOn ? st->macdMinRecent : st->macdMin;
        g->histMax = ZoomOn ? st->histogramMaxRecent : st->histogramMax;
        g->histMin = ZoomOn ? st->histogramMinRecent : st->histogramMin;
        g->yZ = g->macdMax == g->macdMin
                    ? g->m2
                    : TruncPixel(u * g->macdMax / (g->macdMax - g->macdMin) + m + 1.0);
        g->yH = g->histMax == g->histMin
                    ? c
                    : TruncPixel(l * g->histMax / (g->histMax - g->histMin) + g->m2 + 1.0);
        ZeroLine(g, g->yZ);
        ZeroLine(g, g->yH);
        const MaSettings *ms = &f->maSettings[g->series];
        int32_t x = g->left + 2;
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "MACD Threshold=+%u%%-%u%%, ",
                 GetMaParam(ms, MACD_BUY), GetMaParam(ms, MACD_SELL));
        DrawTextAt(x, m + 1, text, 1);
        x += (int32_t)TextWidthOf(text) + 1;
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "Fast=%u, Slow=%u, ", GetMaParam(ms, MACD_FAST),
                 GetMaParam(ms, MACD_SLOW));
        DrawTextAt(x, m + 1, text, 12);
        x += (int32_t)TextWidthOf(text) + 1;
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "Trigger=%u", GetMaParam(ms, MACD_TRIGGER));
        DrawTextAt(x, m + 1, text, 5);
    }
    if (g->roc.present) {
        int32_t r = g->roc.top, c = g->roc.bottom;
        g->rocMax = ZoomOn ? g->stats->rocMaxRecent : g->stats->rocMax;
        g->rocMin = ZoomOn ? g->stats->rocMinRecent : g->stats->rocMin;
        g->rocZ = g->rocMax == g->rocMin
                      ? c
                      : TruncPixel((c - r - 1) * g->rocMax / (g->rocMax - g->rocMin) + r + 1.0);
        ZeroLine(g, g->rocZ);
        const MaSettings *ms = &f->maSettings[g->series];
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "ROC Length=%u weeks, Threshold=+%u%%-%u%%",
                 GetMaParam(ms, ROC_LENGTH), GetMaParam(ms, ROC_BUY), GetMaParam(ms, ROC_SELL));
        DrawTextAt(g->left + 2, r + 1, text, 1);
    }
}

// A value of the MACD band's upper part as a row.
int32_t MacdRow(const FundGraph *g, double v)
{
    int32_t m = g->macd.top;
    if (v > 0)
        return g->yZ - 1 - TruncPixel(SafeDivide((g->yZ - m - 1) * v, g->macdMax));
    if (v < 0)
        return g->yZ + 1 + TruncPixel(SafeDivide((g->m2 - g->yZ - 1) * -v, fabs(g->macdMin)));
    return g->yZ;
}

int32_t RocRow(const FundGraph *g, double v)
{
    int32_t r = g->roc.top, c = g->roc.bottom;
    if (v > 0)
        return g->rocZ - 1 - TruncPixel(SafeDivide((g->rocZ - r - 1) * v, g->rocMax));
    if (v < 0)
        return g->rocZ + 1 + TruncPixel(SafeDivide((c - g->rocZ - 1) * -v, fabs(g->rocMin)));
    return g->rocZ;
}

// A buy or sell icon with its stem at (x, y), inside the rows areaTop..areaBottom.
void SignalIcon(int32_t x, int32_t y, int buy, int32_t areaTop, int32_t areaBottom)
{
    uint32_t slot = buy ? BMP_BUY : BMP_SELL;
    int32_t w = (int32_t)Bitmaps[slot].width, h = (int32_t)Bitmaps[slot].height;
    // A bitmap that did not load was reported then; without it there is no icon to stem.
    if (w == 0 || h == 0)
        return;
    int roomAbove = y > areaTop + 2 * h;
    int roomBelow = y < areaBottom - 2 * h;
    if (!roomAbove && !roomBelow)
        return;
    // A buy goes above the point when it can, a sell below.
    int above = buy ? roomAbove : !roomBelow;
    if (above) {
        DrawLine(DrawSurface, x, y - 1, x, y - 1 - h, 1);
        SurfaceCopyBitmap(DrawSurface, x - w / 2, y - 2 * h, slot, 1);
    } else {
        // The stem ends where the icon begins: over the icon's first row the
        // exclusive-or copy would turn it back.
        DrawLine(DrawSurface, x, y + 1, x, y + h, 1);
        SurfaceCopyBitmap(DrawSurface, x - w / 2, y + h, slot, 1);
    }
}

// The state carried from point to point of the walk.
struct Walk {
    LinePoint maLine, price, rsi, macd, trigger, roc, equity;
    uint32_t priceIndex;       // index of the point behind price
    uint32_t holding;          // previous MACD or ROC holding state
    uint32_t nextDist;
    int32_t distX;             // x of the previous distribution box
    int distSet;               // 1 once a box was drawn
    double sumCg, sumDv, sumTotal;
    int32_t firstDrawn, lastDrawn;  // indexes, -1 for none
};

uint32_t PriceDotColour(const FundGraph *g, uint32_t index)
{
    if (g->points[index].dateWord & NAV_NO_VALUE)
        return 4;
    uint32_t match = g->fund->patternMatch[g->series];
    if (g->n >= 11 && g->anyOverlay && index > match && index <= match + 5)
        return 2;
    return 12;
}

void DistributionStep(FundGraph *g, Walk *w, uint32_t i, int32_t x)
{
    const FundRecord *f = g->fund;
    if (w->nextDist >= f->distCount)
        return;
    const DistRecord *d = &f->dists[w->nextDist];
    if (d->date > (g->points[i].dateWord & 0xFFFF))
        return;
    w->nextDist++;
    double cg = d->mcg + d->lcg, dv = d->div + d->scg;
    w->sumCg += cg;
    w->sumDv += dv;
    w->sumTotal += d->total;
    double S = g->distSpan, D = g->distUnits;
    int32_t B = g->dist.bottom - 1;
    int32_t hc = TruncPixel(S * cg / D), hd = TruncPixel(S * dv / D);
    int32_t yTop = B - TruncPixel(S * w->sumTotal / D);
    int32_t base = g->distBase;
    if (yTop < base - hc - hd) {
        // Each part is truncated on its own; the larger part takes up what the running
        // total's row says the two lost.
        if (dv > cg)
            hd = base - hc - yTop;
        else
            hc = base - hd - yTop;
    }
    if (base != B)
        DrawLine(DrawSurface, x, B, x, base, 1);
    if (hc > 0)
        FillBox(DrawSurface, x - 1, base - hc, x + 2, base, 12);
    if (base - hc > yTop)
        FillBox(DrawSurface, x - 1, yTop, x + 2, base - hc, 5);
    if (w->distSet)
        DrawLine(DrawSurface, w->distX + 2, base, x - 2, yTop, 1);
    w->distSet = 1;
    w->distX = x;
    g->distBase = yTop;
}

double StrategyEquity(const FundGraph *g, uint32_t i)
{
    double e;
    if (ShowMacd)
        e = g->macds ? g->macds[i].equity : 0;
    else if (ShowRoc)
        e = g->rocs ? g->rocs[i].equity : 0;
    else
        e = g->points[i].maEquity;
    // No equity yet (before the replay holds anything): the strategy is at the price.
    return e != 0 ? e : g->points[i].value;
}

void DrawPoint(FundGraph *g, Walk *w, uint32_t i, int32_t x)
{
    const NavPoint *p = &g->points[i];
    const FundRecord *f = g->fund;
    int monthMark = DateAxisMarks(&g->axis, &g->map, p, x);
    if (monthMark == 2 && f->recentStart && i == f->recentStart &&
        (ShowMovingAverage || ShowMacd || ShowRoc)) {
        DrawLine(DrawSurface, x, g->axis.L, x, g->yT + 1, 13);
        const Band *b = g->macd.present ? &g->macd : g->roc.present ? &g->roc : nullptr;
        if (b && (ShowMacd || ShowRoc))
            DrawLine(DrawSurface, x, b->bottom, x, b->top, 13);
    }
    if (g->dist.present)
        DistributionStep(g, w, i, x);
    if (ShowMovingAverage && p->ma != 0) {
        ContinueLine(&w->maLine, x, PriceRow(&g->price, p->ma), 3);
        if (g->maBuy)
            SurfaceSetPixel(DrawSurface, x, PriceRow(&g->price, p->ma + PercentOf(p->ma, g->maBuy)),
                            RGB_OF(3, 0, 0));
        if (g->maSell)
            SurfaceSetPixel(DrawSurface, x,
                            PriceRow(&g->price, p->ma - PercentOf(p->ma, g->maSell)),
                            RGB_OF(3, 0, 0));
    }
    if (ShowBollinger && g->bands && g->bands[i].middle != 0) {
        const BandPoint *b = &g->bands[i];
        ContinueLine(&w->maLine, x, PriceRow(&g->price, b->middle), 3);
        DrawDot(DrawSurface, x, PriceRow(&g->price, b->middle + b->width), 3);
        DrawDot(DrawSurface, x, PriceRow(&g->price, b->middle - b->width), 3);
    }
    if (ShowMovingAverage && f->recentStart && i == f->recentStart) {
        double v = CompoundAtRate(g->points[0].value, g->maAverage,
                                  PointPeriod(p) - PointPeriod(&g->points[0]));
        DrawDot(DrawSurface, x, PriceRow(&g->price, v), 1);
    }
    int32_t y = PriceRow(&g->price, p->value);
    LinePoint before = w->price;
    ContinueLine(&w->price, x, y, 12);
    if (before.set)
        DrawDot(DrawSurface, before.x, before.y, PriceDotColour(g, w->priceIndex));
    w->priceIndex = i;
    if (g->bench.present) {
        double c = p->change;
        if (c > 0)
            DrawLine(DrawSurface, x, g->y0, x,
                     g->y0 - 1 - TruncPixel((g->y0 - g->bench.top - 1) * c / g->up), 12);
        else if (c < 0)
            DrawLine(DrawSurface, x, g->y0, x,
                     g->y0 + 1 + TruncPixel((g->bench.bottom - g->y0 - 1) * -c / g->down), 5);
    }
    if (g->rsi.present && i > 9) {
        uint32_t rsi = (p->dateWord & NAV_RSI_MASK) >> NAV_RSI_SHIFT;
        int32_t span = g->rsi.bottom - g->rsi.top - 2;
        ContinueLine(&w->rsi, x, g->bottom - 1 - (int32_t)rsi * span / 100, 12);
    }
    uint32_t bit = ShowMacd ? NAV_MACD_HOLDING : ShowRoc ? NAV_ROC_HOLDING : 0;
    uint32_t holding = bit && (p->dateWord & bit) ? 1 : 0;
    int signal = bit && holding != w->holding;
    if (g->macd.present) {
        const MacdPoint *mp = &g->macds[i];
        int32_t ym = MacdRow(g, mp->macd);
        ContinueLine(&w->macd, x, ym, 12);
        ContinueLine(&w->trigger, x, MacdRow(g, mp->trigger), 5);
        double h = mp->macd - mp->trigger;
        if (h > 0)
            DrawLine(DrawSurface, x, g->yH, x,
                     g->yH - TruncPixel(SafeDivide((g->yH - g->m2 - 1) * h, g->histMax)), 12);
        else if (h < 0)
            DrawLine(DrawSurface, x, g->yH, x,
                     g->yH + TruncPixel(SafeDivide((g->macd.bottom - g->yH - 1) * -h,
                                                   fabs(g->histMin))),
                     5);
        if (signal && ShowMacd)
            SignalIcon(x, ym, holding, g->macd.top, g->m2);
    } else if (g->roc.present) {
        int32_t yr = RocRow(g, g->rocs[i].roc);
        ContinueLine(&w->roc, x, yr, 12);
        if (signal && !ShowMacd)
            SignalIcon(x, yr, holding, g->roc.top, g->roc.bottom);
    }
    if (ShowMacd || ShowRoc || ShowMovingAverage) {
        if (f->recentStart && i == f->recentStart) {
            // The evaluation period's equity line starts on the price line: its first
            // segment runs from this point's price to the next point's equity. This
            // point's own equity is still the trial period's, on another scale, and
            // would draw a spike down to it.
            w->equity.set = 1;
            w->equity.x = x;
            w->equity.y = y;
        } else {
            ContinueLine(&w->equity, x, PriceRow(&g->price, StrategyEquity(g, i)), 9);
        }
    }
    if (bit) {
        if (signal)
            SignalIcon(x, y, holding, g->yT, g->P);
        w->holding = holding;
    } else if (ShowMovingAverage) {
        uint32_t now = p->dateWord & NAV_MA_HOLDING;
        uint32_t before = i ? g->points[i - 1].dateWord & NAV_MA_HOLDING : 0;
        if (now && (i == 0 || !before))
            SignalIcon(x, y, 1, g->yT, g->P);
        else if (!now && (i == 0 || before))
            SignalIcon(x, y, 0, g->yT, g->P);
    }
}

void DrawProjections(FundGraph *g, int32_t from, int32_t to)
{
    const FundRecord *f = g->fund;
    int32_t dLast = PointPeriod(&g->points[g->n - 1]);
    int32_t range = to - from + 5;
    if (range <= 0)
        return;
    for (int32_t k = 0; k < 5; k++) {
        int32_t x = g->map.x0 + (int32_t)((int64_t)(dLast - from + 1 + k) * g->map.width / range);
        DrawDot(DrawSurface, x, PriceRow(&g->price, f->trendProjection[g->series][k]), 4);
        if (g->n > 10)
            DrawDot(DrawSurface, x, PriceRow(&g->price, f->patternProjection[g->series][k]), 2);
    }
}

}  // namespace

void PaintFundGraph(FundRecord *fund, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t priceUnits, int32_t from, int32_t to, uint32_t series, char *text)
{
    FundGraph g;
    memset(&g, 0, sizeof g);
    g.fund = fund;
    g.series = series ? 1 : 0;
    g.n = fund->pointCount;
    g.points = fund->points[g.series];
    if (!g.points)
        g.n = 0;
    g.bands = fund->bandPoints[g.series];
    g.macds = fund->macdPoints[g.series];
    g.rocs = fund->rocPoints[g.series];
    g.stats = &fund->stats[g.series];
    g.left = left;
    g.top = top;
    g.right = right;
    g.bottom = bottom;
    g.anyOverlay = ShowMovingAverage || ShowMacd || ShowRoc || ShowBollinger;
    const MaSettings *ms = &fund->maSettings[g.series];
    g.maKind = ms->maKind;
    if (g.maKind >= MA_UMA && g.maKind <= MA_VIDYA) {
        g.maBuy = GetMaParam(ms, MaBuyParam(g.maKind));
        g.maSell = GetMaParam(ms, MaSellParam(g.maKind));
        g.maAverage = ms->maAverage[g.maKind - 1];
    }
    int ranged = !(from == 0 && to == 0);

    FrameBox(left, top, right + 1, bottom + 1);
    DrawTitle(&g, text);
    if (ShowMovingAverage)
        DrawMaLabel(&g, text);

    g.yT = top + 1 + (int32_t)TextHeight;
    if (g.yT > bottom)
        g.yT = bottom;
    CrossLine(&g, g.yT);
    ClipToRectangle(left + 1, g.yT + 1, right, bottom);
    // A graph is thousands of short segments of a few lines, drawn point by point; a
    // device context may draw each line's segments together instead (the same picture).
    SurfaceHoldLines(DrawSurface, left + 1, g.yT + 1, right, bottom);
    LayOutBands(&g, from, to, ranged, text);
    SetFundPlotRows(fund, g.yT + 3, g.P + 1);

    SetPriceScale(&g.price, g.P - 1, g.P - g.yT - 1, priceUnits);
    DrawPriceAxes(left, right, &g.price);

    g.map.x0 = left + 3 * (int32_t)CharWidth;
    int32_t width = right - left - 1 - 6 * (int32_t)CharWidth;
    g.map.width = width < 0 ? 0 : (uint32_t)width;
    g.map.from = from;
    int32_t range = to - from;
    if (g.n && g.anyOverlay) {
        int32_t last = PointPeriod(&g.points[g.n - 1]);
        if (last >= from && last <= to)
            range += 5;
    }
    g.map.range = to == from || range < 0 ? 0 : (uint32_t)range;
    BeginDateAxis(&g.axis, &g.map, from, to, g.yT, g.P);

    Walk w;
    memset(&w, 0, sizeof w);
    w.firstDrawn = w.lastDrawn = -1;
    uint32_t holdingBit = ShowMacd ? NAV_MACD_HOLDING : ShowRoc ? NAV_ROC_HOLDING : 0;
    if (g.dist.present && ranged)
        while (w.nextDist < fund->distCount && DatePeriodOf(fund->dists[w.nextDist].date) < from)
            w.nextDist++;
    int reachedLast = g.n != 0;
    for (uint32_t i = 0; i < g.n; i++) {
        int32_t d = PointPeriod(&g.points[i]);
        if (ranged && d < from) {
            if (holdingBit)
                w.holding = g.points[i].dateWord & holdingBit ? 1 : 0;
            continue;
        }
        if (ranged && d > to) {
            reachedLast = 0;
            break;
        }
        int32_t x = DateX(&g.map, d);
        DrawPoint(&g, &w, i, x);
        if (w.firstDrawn < 0)
            w.firstDrawn = (int32_t)i;
        w.lastDrawn = (int32_t)i;
    }
    if (w.price.set)
        DrawDot(DrawSurface, w.price.x, w.price.y,
                g.points[w.priceIndex].dateWord & NAV_NO_VALUE ? 4 : 12);
    if (w.firstDrawn >= 0) {
        FormatPointDate(&g.points[w.firstDrawn], text);
        DrawTextAt(left + 3 * (int32_t)CharWidth, g.axis.L - (int32_t)LineHeight, text, 1);
        FormatPointDate(&g.points[w.lastDrawn], text);
        DrawTextRight(right - 3 * (int32_t)CharWidth, g.axis.L - (int32_t)LineHeight, text, 1);
    }
    if (g.dist.present && w.sumTotal != 0) {
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "DIV=%.1f%%", PercentRatio(w.sumDv, w.sumTotal));
        DrawTextAt(left + 3 * (int32_t)CharWidth, g.dist.top + 1, text, 5);
        snprintf(text, FUND_GRAPH_TEXT_SIZE, "CG=%.1f%%", PercentRatio(w.sumCg, w.sumTotal));
        DrawTextAt(left + 3 * (int32_t)CharWidth, g.dist.top + 1 + (int32_t)LineHeight, text, 12);
    }
    if (g.n && g.anyOverlay && reachedLast && w.lastDrawn == (int32_t)g.n - 1)
        DrawProjections(&g, from, to);
    if (ShowMovingAverage && g.n && reachedLast && w.lastDrawn == (int32_t)g.n - 1) {
        uint32_t rs = fund->recentStart < g.n ? fund->recentStart : 0;
        const NavPoint *last = &g.points[g.n - 1];
        double v = CompoundAtRate(g.points[rs].value, g.maAverage,
                                  PointPeriod(last) - PointPeriod(&g.points[rs]));
        DrawDot(DrawSurface, DateX(&g.map, PointPeriod(last)), PriceRow(&g.price, v), 1);
    }
    SurfaceDrawHeldLines(DrawSurface);
    RemoveClip();
}
