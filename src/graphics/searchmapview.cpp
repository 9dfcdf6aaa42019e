// The search-map view: the trial and evaluation grids, their scales and the other kinds.
#include "graphics/searchmapview.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "analysis/searchmap.h"
#include "base/errors.h"
#include "data/datetable.h"
#include "graphics/draw.h"

#define N STRATEGY_THRESHOLDS

namespace {

const RgbColour Black = RGB_OF(0, 0, 0);
const RgbColour White = RGB_OF(255, 255, 255);
const RgbColour LossEnd = RGB_OF(203, 24, 29);
const RgbColour GainEnd = RGB_OF(35, 139, 69);

void TextAt(int32_t x, int32_t y, const char *text, RgbColour colour)
{
    RgbColour previous = SurfaceSetTextColour(DrawSurface, colour);
    if (previous == SURFACE_SET_FAILED)
        ReportWin32("SetTextColor");
    if (!SurfaceText(DrawSurface, x, y, text, (uint32_t)strlen(text)))
        ReportWin32("TextOut");
    if (previous != SURFACE_SET_FAILED &&
        SurfaceSetTextColour(DrawSurface, previous) == SURFACE_SET_FAILED)
        ReportWin32("SetTextColor");
}

int32_t WidthOf(const char *text)
{
    return (int32_t)SurfaceTextWidth(DrawSurface, text, (uint32_t)strlen(text));
}

// Text centred on x.
void TextCentred(int32_t x, int32_t y, const char *text)
{
    TextAt(x - WidthOf(text) / 2, y, text, Black);
}

void Fill(int32_t left, int32_t top, int32_t right, int32_t bottom, RgbColour colour)
{
    if (!SurfaceFill(DrawSurface, left, top, right, bottom, colour))
        ReportWin32("PatBlt");
}

void Frame(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!SurfaceRectangle(DrawSurface, left, top, right, bottom, Black, Black, 1))
        ReportWin32("Rectangle");
}

uint32_t Blend(RgbColour end, double share)
{
    uint32_t colour = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        double a = (White >> shift) & 0xFF, b = (end >> shift) & 0xFF;
        colour |= (uint32_t)(a + (b - a) * share + 0.5) << shift;
    }
    return colour;
}

// The diverging colour of v on a scale of -scale..+scale: white at 0, the loss or gain
// colour at either end; beyond the scale the end colour.
RgbColour ColourOf(double v, double scale)
{
    if (!(scale > 0) || !isfinite(v))
        return White;
    double share = fabs(v) / scale;
    return Blend(v < 0 ? LossEnd : GainEnd, share > 1 ? 1 : share);
}

// The largest magnitude of a grid, rounded up to a whole percent (at least 1).
double ScaleOf(const double v[N][N])
{
    double m = 0;
    for (uint32_t r = 0; r < N; r++)
        for (uint32_t c = 0; c < N; c++)
            if (isfinite(v[r][c]) && fabs(v[r][c]) > m)
                m = fabs(v[r][c]);
    return m < 1 ? 1 : ceil(m);
}

// One grid with its top-left cell at (x, y), cells of size cell: the colours, the values
// when the cells hold them, the chosen cell framed twice.
void DrawCells(int32_t x, int32_t y, int32_t cell, const double v[N][N], double scale,
               uint32_t buy, uint32_t sell)
{
    char text[16];
    // Tenths where they fit, else whole percents, else colours alone.
    int digits = cell < (int32_t)TextHeight ? -1
                 : cell >= WidthOf("-00.0") + 2 ? 1
                 : cell >= WidthOf("-00") + 2   ? 0
                                                : -1;
    for (uint32_t r = 0; r < N; r++)
        for (uint32_t c = 0; c < N; c++) {
            int32_t cx = x + (int32_t)c * cell, cy = y + (int32_t)r * cell;
            Fill(cx, cy, cx + cell, cy + cell, ColourOf(v[r][c], scale));
            if (digits >= 0) {
                // A small loss rounded to nothing reads as 0, not -0.
                double shown = v[r][c];
                if (fabs(shown) < (digits ? 0.05 : 0.5))
                    shown = 0;
                snprintf(text, sizeof text, "%.*f", digits, shown);
                TextCentred(cx + cell / 2, cy + (cell - (int32_t)TextHeight) / 2, text);
            }
        }
    Frame(x - 1, y - 1, x + N * cell + 1, y + N * cell + 1);
    int32_t cx = x + (int32_t)sell * cell, cy = y + (int32_t)buy * cell;
    Frame(cx, cy, cx + cell, cy + cell);
    Frame(cx + 1, cy + 1, cx + cell - 1, cy + cell - 1);
}

// A big map: its caption, the sell thresholds across the top, the buy thresholds down
// the left, the cells, and the scale bar under them. x is the left edge of the row
// labels; returns nothing, draws within labels + 11 cells wide.
void DrawBigMap(int32_t x, int32_t y, int32_t labels, int32_t cell, const char *caption,
                const double v[N][N], uint32_t buy, uint32_t sell)
{
    char text[16];
    int32_t gx = x + labels, th = (int32_t)TextHeight;
    TextAt(gx, y, caption, Black);
    TextCentred(gx + N * cell / 2, y + th, "sell threshold %");
    TextAt(x, y + 2 * th, "buy %", Black);
    int32_t gy = y + 3 * th;
    for (uint32_t k = 0; k < N; k++) {
        snprintf(text, sizeof text, "%u", (unsigned)k);
        TextCentred(gx + (int32_t)k * cell + cell / 2, y + 2 * th, text);
        TextAt(gx - 4 - WidthOf(text), gy + (int32_t)k * cell + (cell - th) / 2, text, Black);
    }
    double scale = ScaleOf(v);
    DrawCells(gx, gy, cell, v, scale, buy, sell);
    // The scale bar: one column of colour per pixel from -scale to +scale.
    int32_t width = N * cell, by = gy + width + 4, bh = th / 2 + 2;
    for (int32_t i = 0; i < width; i++)
        Fill(gx + i, by, gx + i + 1, by + bh,
             ColourOf(scale * (2.0 * i / (width - 1 > 0 ? width - 1 : 1) - 1), scale));
    Frame(gx - 1, by - 1, gx + width + 1, by + bh + 1);
    snprintf(text, sizeof text, "-%.0f%%", scale);
    TextAt(gx, by + bh + 1, text, Black);
    TextCentred(gx + width / 2, by + bh + 1, "0%");
    snprintf(text, sizeof text, "+%.0f%%", scale);
    TextAt(gx + width - WidthOf(text), by + bh + 1, text, Black);
}

// The parameter of a kind's map: "UMA 24", "EMA 24%", "VIDYA 6/14%".
void KindText(const KindMap *k, char *text, size_t size)
{
    if (k->kind == MA_EMA)
        snprintf(text, size, "EMA %u%%", (unsigned)k->parameter);
    else if (k->kind == MA_VIDYA)
        snprintf(text, size, "VIDYA %u/%u%%", (unsigned)k->parameter, (unsigned)k->percent);
    else
        snprintf(text, size, "%s %u", MaKindLabel(k->kind), (unsigned)k->parameter);
}

// "MM/DD/YY-MM/DD/YY" of points a and b of the series.
void PeriodText(const FundRecord *f, uint32_t s, uint32_t a, uint32_t b, char *text,
                size_t size)
{
    char from[16], to[16];
    FormatDateIndex(f->points[s][a].dateWord & 0xFFFF, from);
    FormatDateIndex(f->points[s][b].dateWord & 0xFFFF, to);
    snprintf(text, size, "%s-%s", from, to);
}

}  // namespace

void PaintSearchMapView(const FundRecord *fund, int32_t left, int32_t top, int32_t right,
                        int32_t bottom, uint32_t s)
{
    FrameBox(left, top, right + 1, bottom + 1);
    int32_t th = (int32_t)TextHeight, x = left + 2 + 3 * (int32_t)CharWidth;
    char text[200], kindText[40], period[40];
    snprintf(text, sizeof text, "%s  Search map%s", fund->name ? fund->name : "",
             s && fund->points[1] != fund->points[0] ? " (relative to the index fund)" : "");
    TextAt(left + 2, top, text, Black);
    SearchMap map;
    if (!ComputeSearchMap(fund, (int)s, SEARCH_MAP_WHOLE, &map) || !map.trial[map.kind - 1].kind) {
        TextAt(x, top + th + 2, "No moving-average search to show.", Black);
        return;
    }
    const KindMap *chosen = &map.trial[map.kind - 1];
    KindText(chosen, kindText, sizeof kindText);
    int n = snprintf(text, sizeof text,
                     "%s: buy %u%% above the average, sell %u%% below it.  Robustness=", kindText,
                     (unsigned)chosen->buy, (unsigned)chosen->sell);
    if (map.robustnessDefined)
        snprintf(text + n, sizeof text - n, "%.2f", map.robustness);
    else
        snprintf(text + n, sizeof text - n, "n/a (no gain)");
    int32_t y = top + th + 2;
    TextAt(x, y, text, Black);
    if (map.fragile)
        TextAt(x + WidthOf(text) + (int32_t)CharWidth, y, "fragile", LossEnd);
    y += th + th / 2;

    // Two big maps side by side over about three fifths of the height, the four small ones
    // in a row below.
    int32_t width = right - x - 3 * (int32_t)CharWidth, height = bottom - 2 - y;
    int32_t labels = WidthOf("buy %") + 6;
    int32_t bigText = 4 * th + th / 2 + 6;  // caption, two label rows, scale bar and labels
    int32_t smallText = th + 4;
    int32_t cell = (width / 2 - labels - 2 * (int32_t)CharWidth) / N;
    int32_t byHeight = (height * 3 / 5 - bigText) / N;
    if (byHeight < cell)
        cell = byHeight;
    if (cell < 2)
        return;
    uint32_t count = fund->pointCount, rs = fund->recentStart < count ? fund->recentStart : 0;
    PeriodText(fund, s, 0, rs ? rs : count - 1, period, sizeof period);
    snprintf(text, sizeof text, "Trial %s, %% a year", period);
    DrawBigMap(x, y, labels, cell, text, chosen->annualized, chosen->buy, chosen->sell);
    int32_t second = x + width / 2;
    if (map.hasEvaluation) {
        PeriodText(fund, s, rs, count - 1, period, sizeof period);
        snprintf(text, sizeof text, "Evaluation %s, %% a year", period);
        DrawBigMap(second, y, labels, cell, text, map.evaluation, chosen->buy, chosen->sell);
    } else {
        TextAt(second + labels, y, "No evaluation period.", Black);
    }

    y += bigText + N * cell + th / 2;
    int32_t smallWidth = width / 4;
    int32_t small = (smallWidth - 2 * (int32_t)CharWidth) / N;
    int32_t smallByHeight = (bottom - 2 - y - th - smallText) / N;
    if (smallByHeight < small)
        small = smallByHeight;
    if (small < 2)
        return;
    TextAt(x, y, "The other kinds at their best parameters (buy/sell threshold %), over the trial "
           "period, on its scale:", Black);
    y += th;
    double scale = ScaleOf(chosen->annualized);
    uint32_t k = 0;
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
        if (t == map.kind)
            continue;
        int32_t sx = x + (int32_t)k++ * smallWidth;
        const KindMap *m = &map.trial[t - 1];
        if (!m->kind) {
            snprintf(text, sizeof text, "%s: not searched", MaKindLabel(t));
            TextAt(sx, y, text, Black);
            continue;
        }
        KindText(m, kindText, sizeof kindText);
        snprintf(text, sizeof text, "%s  %u/%u", kindText, (unsigned)m->buy, (unsigned)m->sell);
        TextAt(sx, y, text, Black);
        DrawCells(sx + 1, y + smallText, small, m->annualized, scale, m->buy, m->sell);
    }
}
