// The overlaid graph painter: one fund's line and key entry over the shared axes.
#include "graphics/overlaygraph.h"

#include <string.h>

#include "data/viewflags.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"

void PaintOverlayGraph(FundRecord *fund, uint32_t k, int32_t left, int32_t top, int32_t right,
                       int32_t bottom, uint32_t priceUnits, int32_t from, int32_t to,
                       uint32_t series, char *text)
{
    uint32_t s = series ? 1 : 0;
    uint32_t colour = FundOverlayColour(fund);
    if (k == 0)
        FrameBox(left, top, right + 1, bottom + 1);
    int32_t yT = top < bottom ? top : bottom;
    DrawTextAt(left + 46, yT + (int32_t)(k * TextHeight), fund->name ? fund->name : "", colour);
    SetFundReadout(fund, left + (right - left) * 2 / 3, yT + 2);
    SetFundPlotRows(fund, yT + 3, bottom + 1);

    PriceScale price;
    SetPriceScale(&price, bottom - 1, bottom - yT - 1, priceUnits);
    if (k == 0)
        DrawPriceAxes(left, right, &price);
    DateMapping map;
    map.x0 = left + 3 * (int32_t)CharWidth;
    int32_t width = right - left - 1 - 6 * (int32_t)CharWidth;
    map.width = width < 0 ? 0 : (uint32_t)width;
    map.from = from;
    map.range = to > from ? (uint32_t)(to - from) : 0;
    DateAxis axis;
    BeginDateAxis(&axis, &map, from, to, yT, bottom);
    double factor = k == 0 ? 1.0 : FundOverlayFactor(fund);

    const NavPoint *points = fund->points[s];
    uint32_t n = points ? fund->pointCount : 0;
    int ranged = !(from == 0 && to == 0);
    int havePrevious = 0;
    int32_t px = 0, py = 0;
    int32_t firstDrawn = -1, lastDrawn = -1;
    for (uint32_t i = 0; i < n; i++) {
        const NavPoint *p = &points[i];
        int32_t d = PointPeriod(p);
        if (ranged && d < from)
            continue;
        if (ranged && d > to)
            break;
        int32_t x = DateX(&map, d);
        if (k == 0) {
            int mark = DateAxisMarks(&axis, &map, p, x);
            if (mark == 2 && fund->recentStart && i == fund->recentStart &&
                (ShowMovingAverage || ShowMacd || ShowRoc))
                DrawLine(DrawSurface, x, axis.L, x, yT + 1, 13);
        }
        int32_t y = PriceRow(&price, p->value * factor);
        if (havePrevious) {
            DrawLine(DrawSurface, px, py, x, y, colour);
            DrawDot(DrawSurface, px, py, colour);
        }
        havePrevious = 1;
        px = x;
        py = y;
        if (firstDrawn < 0)
            firstDrawn = (int32_t)i;
        lastDrawn = (int32_t)i;
    }
    if (havePrevious)
        DrawDot(DrawSurface, px, py, colour);
    if (k == 0 && firstDrawn >= 0) {
        FormatPointDate(&points[firstDrawn], text);
        DrawTextAt(left + 3 * (int32_t)CharWidth, axis.L - (int32_t)LineHeight, text, 1);
        FormatPointDate(&points[lastDrawn], text);
        DrawTextRight(right - 3 * (int32_t)CharWidth, axis.L - (int32_t)LineHeight, text, 1);
    }
}
