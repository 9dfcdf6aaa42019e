// The legend's scrolling targets and the arrow strips' changes of the zoom selection.
#include "graphics/zoom.h"

#include "data/fund.h"
#include "data/viewflags.h"
#include "graphics/fundgraph.h"
#include "graphics/graphpage.h"
#include "graphics/legend.h"
#include "graphics/measure.h"

int32_t DataSpanStart, DataSpanEnd;

int32_t LegendTargetIndex(uint32_t row)
{
    int portfolioRow = row == CATEGORY_PORTFOLIO - 1;
    if (row > CATEGORY_PORTFOLIO - 1 || (portfolioRow ? !GroupMode : !CategorySort))
        return -1;
    // Rows 0 to 12 are categories 1 to 13; row 13, "Other", lists the funds of none.
    uint32_t category = row < 13 ? row + 1 : 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        int inPortfolio = (f->flags & FUND_IN_PORTFOLIO) != 0;
        if (portfolioRow ? inPortfolio
                         : FundCategory(f) == category && !(GroupMode && inPortfolio))
            return (int32_t)i;
    }
    return -1;
}

// The series the selection is made from: the relative one under ShowBenchmark for a fund
// with an index fund and a relative series of its own (index funds never).
static uint32_t ZoomSeries(const FundRecord *f)
{
    return ShowBenchmark && FundCategory(f) != CATEGORY_INDEX && f->indexName &&
                   HasRelativeSeries(f)
               ? 1
               : 0;
}

// The overlaid graphs share one value scale whatever the overlay.
static double ScaleMaximum(const FundRecord *f, uint32_t s)
{
    const SeriesStats *st = &f->stats[s];
    if (OverlaidGraphs)
        return ZoomOn ? st->maxValueRecent : st->maxValue;
    return OverlayScaleMaximum(st);
}

void InitZoomSelection(int32_t tab)
{
    if (ZoomSelectionActive() || tab < 3)
        return;
    FundRecord *only = CombinedGraphs ? nullptr : NthDisplayedFund((uint32_t)(tab - 3));
    if (!CombinedGraphs && !only)
        return;
    int any = 0;
    double maximum = 0;
    int32_t from = 0, to = 0, spanStart = 0, spanEnd = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (only ? f != only : !(f->flags & FUND_DISPLAYED))
            continue;
        uint32_t s = ZoomSeries(f);
        double m = ScaleMaximum(f, s);
        if (m > maximum)
            maximum = m;
        const NavPoint *p = f->points[s];
        uint32_t n = f->pointCount;
        if (!p || !n)
            continue;
        uint32_t first = 0;
        if (ZoomOn && f->recentStart && f->recentStart < n)
            first = f->recentStart;
        else if (ZoomOn && f->recentStartShort && f->recentStartShort < n)
            first = f->recentStartShort;
        int32_t shown = PointPeriod(&p[first]);
        int32_t start = PointPeriod(&p[0]), end = PointPeriod(&p[n - 1]);
        if (!any || shown < from)
            from = shown;
        if (!any || end > to)
            to = end;
        if (!any || start < spanStart)
            spanStart = start;
        if (!any || end > spanEnd)
            spanEnd = end;
        any = 1;
    }
    if (!any)
        return;
    ZoomSelectionFrom = from;
    ZoomSelectionTo = to;
    ZoomSelectionMax = maximum;
    DataSpanStart = spanStart;
    DataSpanEnd = spanEnd;
}

int32_t ArrowButtonAt(uint32_t strip, int32_t x, int32_t y)
{
    if (strip == ARROW_STRIP_TOP) {
        int32_t w = (int32_t)Bitmaps[BMP_UP].width, h = (int32_t)Bitmaps[BMP_UP].height;
        if (y < 2 || y > h + 1)
            return -1;
        if (x >= 2 && x <= w + 1)
            return 0;
        if (x >= w + 3 && x <= 2 * w + 2)
            return 1;
        return -1;
    }
    if (strip != ARROW_STRIP_LEFT && strip != ARROW_STRIP_RIGHT)
        return -1;
    int32_t w = (int32_t)Bitmaps[BMP_ARROW_LEFT].width;
    int32_t h = (int32_t)Bitmaps[BMP_ARROW_LEFT].height;
    if (x < 2 || x > w + 1)
        return -1;
    // Button k covers rows 2 + k(h + 1) .. (k + 1)(h + 1); the row between two buttons
    // belongs to neither.
    for (int32_t k = 0; k < 6; k++)
        if (y >= 2 + k * (h + 1) && y <= (k + 1) * (h + 1))
            return k;
    return -1;
}

// A whole year back: to the start of the value's year, or by a year when it is on one.
static int32_t SnapBack(int32_t v)
{
    int32_t r = v % 60;
    if (r > 0)
        return v - r;
    return v >= 60 ? v - 60 : 0;
}

// A whole year on: to the next year boundary.
static int32_t SnapForward(int32_t v)
{
    int32_t r = v % 60;
    return r > 0 ? v - r + 60 : v + 60;
}

// Sets the selection's dates when they differ from the current ones; 1 when they did.
static int SetRange(int32_t from, int32_t to)
{
    if (from == ZoomSelectionFrom && to == ZoomSelectionTo)
        return 0;
    ZoomSelectionFrom = from;
    ZoomSelectionTo = to;
    return 1;
}

static int32_t NotBefore(int32_t v, int32_t limit)
{
    return v < limit ? limit : v;
}

static int32_t NotAfter(int32_t v, int32_t limit)
{
    return v > limit ? limit : v;
}

static int LeftStrip(int32_t button)
{
    int32_t from = ZoomSelectionFrom, to = ZoomSelectionTo;
    int room = DataSpanStart < from;  // the first date can move back
    switch (button) {
    case 0:
        return room && SetRange(from - 1, to);
    case 1:
        return from < to && SetRange(from + 1, to);
    case 2:
        return room && SetRange(from - 1, to - 1);
    case 3: {
        if (!room)
            return 0;
        return SetRange(NotBefore(SnapBack(from), DataSpanStart), to);
    }
    case 4: {
        if (!(from < to))
            return 0;
        int32_t f = SnapForward(from);
        return f < to && SetRange(f, to);
    }
    case 5: {
        if (!room)
            return 0;
        int32_t f = NotBefore(SnapBack(from), DataSpanStart);
        int32_t t = NotBefore(SnapBack(to), DataSpanStart);
        return f < t && f != from && t != to && SetRange(f, t);
    }
    }
    return 0;
}

static int RightStrip(int32_t button)
{
    int32_t from = ZoomSelectionFrom, to = ZoomSelectionTo;
    int room = to < DataSpanEnd;  // the last date can move on
    switch (button) {
    case 0:
        return from < to && SetRange(from, to - 1);
    case 1:
        return room && SetRange(from, to + 1);
    case 2:
        return room && SetRange(from + 1, to + 1);
    case 3: {
        if (!(from < to))
            return 0;
        int32_t t = SnapBack(to);
        return t > from && SetRange(from, t);
    }
    case 4: {
        if (!room)
            return 0;
        return SetRange(from, NotAfter(SnapForward(to), DataSpanEnd));
    }
    case 5: {
        int32_t f = NotAfter(SnapForward(from), DataSpanEnd);
        int32_t t = NotAfter(SnapForward(to), DataSpanEnd);
        return f < t && f != from && t != to && SetRange(f, t);
    }
    }
    return 0;
}

int ApplyArrowButton(uint32_t strip, int32_t button)
{
    if (strip == ARROW_STRIP_LEFT)
        return LeftStrip(button);
    if (strip == ARROW_STRIP_RIGHT)
        return RightStrip(button);
    if (strip != ARROW_STRIP_TOP)
        return 0;
    if (button == 0) {
        ZoomSelectionMax += 1.0;
        return 1;
    }
    if (button == 1 && ZoomSelectionMax > 1.0) {
        ZoomSelectionMax -= 1.0;
        return 1;
    }
    return 0;
}
