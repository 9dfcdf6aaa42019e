// The comparison-chart rows of the fund list: scales, measure, row values and the painter.
#include "graphics/chartrow.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "analysis/analyst.h"
#include "analysis/stats.h"
#include "base/errors.h"
#include "graphics/draw.h"

ChartSpanRecord ChartSpan[CHART_KIND_COUNT][2];
ChartSpanRecord StrengthSpan[STRENGTH_COUNT][2];
uint32_t ChartWidth;
uint32_t ZeroX;

uint32_t CategoryBarColour(uint32_t category)
{
    if (category >= CATEGORY_COUNT)
        return 1;
    return CategoryTable[category].attribute & 0xFF;
}

uint32_t CategoryLabelColour(uint32_t category)
{
    if (category >= CATEGORY_COUNT)
        return 0;
    return (CategoryTable[category].attribute >> 8) & 0xFF;
}

// ---------------------------------------------------------------------------------------
// Scales.

// The statistic of ChartScaleExtremes behind each chart kind with plain bars; -1 for the
// kinds without one of their own (0, Tax Efficiency, Signals, Current Strength).
static int StatisticOfChart(uint32_t kind)
{
    switch (kind) {
    case CHART_YTD_RETURN: return STAT_YTD;
    case CHART_VOLATILITY: return STAT_VOLATILITY;
    case CHART_REWARD_RISK: return STAT_REWARD_RISK;
    case CHART_TOTAL_RETURN: return STAT_TOTAL;
    case CHART_6_MONTH: return STAT_6MONTH;
    case CHART_1_YEAR: return STAT_1YEAR;
    case CHART_3_YEAR: return STAT_3YEAR;
    case CHART_5_YEAR: return STAT_5YEAR;
    case CHART_7_YEAR: return STAT_7YEAR;
    case CHART_10_YEAR: return STAT_10YEAR;
    case CHART_SHARPE: return STAT_SHARPE;
    case CHART_MAX_DRAWDOWN: return STAT_MAX_DRAWDOWN;
    case CHART_SORTINO: return STAT_SORTINO;
    case CHART_BETA: return STAT_BETA;
    case CHART_ALPHA: return STAT_ALPHA;
    case CHART_UP_CAPTURE: return STAT_UP_CAPTURE;
    case CHART_DOWN_CAPTURE: return STAT_DOWN_CAPTURE;
    case CHART_TRACKING_ERROR: return STAT_TRACKING_ERROR;
    case CHART_INFORMATION_RATIO: return STAT_INFORMATION_RATIO;
    case CHART_WORST_3_YEAR: return STAT_WORST_3YEAR;
    case CHART_WALK_FORWARD: return STAT_WALK_FORWARD;
    case CHART_OVERFIT_PROBABILITY: return STAT_OVERFIT_PROBABILITY;
    case CHART_DEFLATED_SHARPE: return STAT_DEFLATED_SHARPE;
    }
    return -1;
}

static ChartSpanRecord SpanOfStatistic(int view, int statistic)
{
    ChartSpanRecord span;
    const ChartScaleExtremesRecord &e = ChartScaleExtremes;
    span.total = e.totalExtent[view][statistic];
    // Volatility has no negative part: its extent is the rounded-up largest alone.
    span.negative = statistic == STAT_VOLATILITY ? 0 : e.negativeExtent[view][statistic];
    span.positive = span.total >= span.negative ? span.total - span.negative : 0;
    return span;
}

void ComputeChartSpans(void)
{
    memset(ChartSpan, 0, sizeof ChartSpan);
    memset(StrengthSpan, 0, sizeof StrengthSpan);
    static const int strengthStatistic[STRENGTH_COUNT] = {STAT_STRENGTH, STAT_MACD_STRENGTH,
                                                          STAT_ROC};
    for (int view = 0; view < 2; view++) {
        for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++) {
            int statistic = StatisticOfChart(kind);
            if (statistic >= 0)
                ChartSpan[kind][view] = SpanOfStatistic(view, statistic);
        }
        // Tax efficiency is the fund's own figure in either view.
        ChartSpan[CHART_TAX_EFFICIENCY][view].positive = ChartScaleExtremes.taxEfficiencyExtent;
        ChartSpan[CHART_TAX_EFFICIENCY][view].total = ChartScaleExtremes.taxEfficiencyExtent;
        for (int k = 0; k < STRENGTH_COUNT; k++)
            StrengthSpan[k][view] = SpanOfStatistic(view, strengthStatistic[k]);
    }
}

ChartSpanRecord CurrentChartSpan(uint32_t chartKind)
{
    ChartSpanRecord none = {0, 0, 0};
    int view = ShowBenchmark ? 1 : 0;
    if (chartKind == CHART_CURRENT_STRENGTH) {
        if (ShowMovingAverage)
            return StrengthSpan[STRENGTH_MA][view];
        if (ShowMacd)
            return StrengthSpan[STRENGTH_MACD][view];
        if (ShowRoc)
            return StrengthSpan[STRENGTH_ROC][view];
        return none;
    }
    if (chartKind >= CHART_KIND_COUNT)
        return none;
    return ChartSpan[chartKind][view];
}

// The kinds whose figures are never negative: their bars start at the area's left edge.
static int FromLeftEdge(uint32_t kind)
{
    return kind == CHART_VOLATILITY || kind == CHART_TAX_EFFICIENCY ||
           kind == CHART_TRACKING_ERROR || kind == CHART_OVERFIT_PROBABILITY ||
           kind == CHART_DEFLATED_SHARPE;
}

// The kinds whose bars grow both ways from a zero line.
static int HasZeroLine(uint32_t kind)
{
    return kind != CHART_NONE && !FromLeftEdge(kind) && kind != CHART_SIGNALS &&
           kind < CHART_KIND_COUNT;
}

void ComputeZeroX(void)
{
    // The spans follow the extremes, which every load and recalculation changes before
    // it sorts, and every sort comes here.
    ComputeChartSpans();
    ZeroX = 0;
    if (!HasZeroLine(ChartKind))
        return;
    ChartSpanRecord span = CurrentChartSpan(ChartKind);
    if (span.total == 0)
        return;
    // 64 bits so that a wide list and a large span cannot overflow the product.
    ZeroX = (uint32_t)((uint64_t)ChartWidth * span.negative / span.total);
}

uint32_t FundRowHeight(void)
{
    return TextHeight + 2;
}

uint32_t MeasureFundRow(uint32_t itemWidth)
{
    uint32_t fixed = Bitmaps[BMP_PORTFOLIO].width + Bitmaps[BMP_CHECK].width + 20 + MaxNameWidth;
    ChartWidth = itemWidth > fixed ? itemWidth - fixed : 0;
    ComputeZeroX();
    return FundRowHeight();
}

// ---------------------------------------------------------------------------------------
// Values.

int RowSeries(const FundRecord *fund)
{
    return ShowBenchmark && fund->indexName ? 1 : 0;
}

int FundRowValue(const FundRecord *fund, uint32_t chartKind, double *value, double *second)
{
    const SeriesStats *s = &fund->stats[RowSeries(fund)];
    *second = 0;
    switch (chartKind) {
    case CHART_YTD_RETURN: *value = s->ytdReturn; return 1;
    case CHART_VOLATILITY: *value = s->volatility; return 1;
    case CHART_REWARD_RISK: *value = s->rewardRisk; return 1;
    case CHART_TOTAL_RETURN: *value = s->totalReturn; return 1;
    case CHART_TAX_EFFICIENCY: *value = fund->taxEfficiency; return 1;
    case CHART_6_MONTH: *value = s->return6Month; return 1;
    case CHART_1_YEAR: *value = s->return1Year; return 1;
    case CHART_3_YEAR: *value = s->return3Year; return 1;
    case CHART_5_YEAR: *value = s->return5Year; return 1;
    case CHART_7_YEAR: *value = s->return7Year; return 1;
    case CHART_10_YEAR: *value = s->return10Year; return 1;
    case CHART_CURRENT_STRENGTH:
        if (ShowMovingAverage) {
            *value = s->currentStrength;
            *second = s->maSignal;
        } else if (ShowMacd) {
            *value = s->macdStrength;
        } else if (ShowRoc) {
            *value = s->rocLatest;
        } else {
            return 0;
        }
        return 1;
    case CHART_SHARPE: *value = s->sharpe; return 1;
    }
    return AnalystChartValue(fund, RowSeries(fund), chartKind, value);
}

// trunc(ChartWidth x magnitude / total) in double precision, never beyond the bar area
// (and 0 for a value that is not a number, whose conversion would be undefined).
static int32_t BarLength(double magnitude, uint32_t total)
{
    if (total == 0 || !(magnitude > 0))
        return 0;
    double length = (double)ChartWidth * magnitude / (double)total;
    if (!(length < (double)ChartWidth))
        return (int32_t)ChartWidth;
    return (int32_t)length;
}

static int32_t ClampToArea(int32_t x)
{
    if (x < 0)
        return 0;
    if (x > (int32_t)ChartWidth)
        return (int32_t)ChartWidth;
    return x;
}

// The kinds labelled in percent; the others (ratios, capture ratios and volatility) as
// plain numbers.
static int IsPercentKind(uint32_t kind)
{
    switch (kind) {
    case CHART_VOLATILITY: case CHART_REWARD_RISK: case CHART_SHARPE: case CHART_SORTINO:
    case CHART_BETA: case CHART_UP_CAPTURE: case CHART_DOWN_CAPTURE:
    case CHART_INFORMATION_RATIO:
        return 0;
    }
    return 1;
}

void ComputeRowBar(const FundRecord *fund, RowBar *bar)
{
    memset(bar, 0, sizeof *bar);
    uint32_t kind = ChartKind;
    uint32_t category = FundCategory(fund);
    int32_t zero = (int32_t)ZeroX;
    bar->barLeft = bar->barRight = zero;
    bar->secondLeft = bar->secondRight = zero;
    bar->barColour = CategoryBarColour(category);
    bar->labelColour = kind == CHART_CURRENT_STRENGTH ? 1 : CategoryLabelColour(category);
    double v, s;
    if (!FundRowValue(fund, kind, &v, &s))
        return;
    uint32_t total = CurrentChartSpan(kind).total;
    const char *percent = IsPercentKind(kind) ? "%" : "";

    if (FromLeftEdge(kind)) {
        // These bars start at the area's left edge; a negative figure has no bar to the
        // left of it to draw, so it draws none.
        bar->barLeft = 0;
        bar->barRight = v > 0 ? BarLength(v, total) : 0;
        snprintf(bar->label, sizeof bar->label, "%.1f%s", v, percent);
        return;
    }

    int32_t length = BarLength(fabs(v), total);
    if (v >= 0) {
        bar->barRight = ClampToArea(zero + length);
        snprintf(bar->label, sizeof bar->label, "%.1f%s", v, percent);
    } else {
        bar->barLeft = ClampToArea(zero - length);
        bar->negative = 1;
        snprintf(bar->label, sizeof bar->label, "(%.1f%s)", fabs(v), percent);
    }
    if (kind != CHART_CURRENT_STRENGTH)
        return;
    bar->barColour = v >= 0 ? 9 : 5;
    // The moving average's signal bar uses the same span as the strength bar.
    int32_t second = BarLength(fabs(s), total);
    if (second == 0)
        return;
    if (s >= 0) {
        bar->secondRight = ClampToArea(zero + second);
        bar->secondColour = 10;
    } else {
        bar->secondLeft = ClampToArea(zero - second);
        bar->secondColour = 6;
    }
}

// ---------------------------------------------------------------------------------------
// Signals.

static int SeriesExists(const FundRecord *fund, int series)
{
    if (!fund->points[series])
        return 0;
    // Without a relative series of its own, series 1 shares series 0's points.
    return series == 0 || fund->points[1] != fund->points[0];
}

int SignalState(const FundRecord *fund, int series)
{
    uint32_t bit;
    if (ShowMacd)
        bit = NAV_MACD_HOLDING;
    else if (ShowRoc)
        bit = NAV_ROC_HOLDING;
    else if (ShowMovingAverage)
        bit = NAV_MA_HOLDING;
    else
        return 2;
    if (!SeriesExists(fund, series) || fund->pointCount == 0)
        return 2;
    return (fund->points[series][fund->pointCount - 1].dateWord & bit) ? 1 : 0;
}

int TrendState(const FundRecord *fund, int series)
{
    uint32_t n = fund->pointCount;
    if (n < 6 || !SeriesExists(fund, series))
        return 0;
    const NavPoint *last = &fund->points[series][n - 1];
    double p[6];
    for (int k = 0; k < 6; k++)
        p[k] = last[-k].value;
    if (p[1] <= p[0] && p[2] <= p[1] && p[3] <= p[2]) {
        if (p[4] > p[3])
            return 1;
        return p[5] > p[4] ? 2 : 3;
    }
    if (p[1] >= p[0] && p[2] >= p[1] && p[3] >= p[2]) {
        if (p[4] < p[3])
            return 4;
        return p[5] < p[4] ? 5 : 6;
    }
    return 0;
}

uint32_t TrendIconSlot(int trendState)
{
    static const uint32_t slots[6] = {BMP_RISE3, BMP_RISE4, BMP_RISE5,
                                      BMP_FALL3, BMP_FALL4, BMP_FALL5};
    if (trendState < 1 || trendState > 6)
        return BITMAP_COUNT;
    return slots[trendState - 1];
}

// ---------------------------------------------------------------------------------------
// The painter.

static void DrawSignalIcons(DrawTarget *t, const FundRecord *fund, int32_t x0, int32_t y1)
{
    // The icons sit at steps of 4 pixels plus one icon width, w being the width of the
    // icon drawn there: series 1's signal at x0, series 0's signal at x0 + w + 4, series
    // 1's trend at x0 + 2(w + 4), series 0's trend at x0 + 3(w + 4).
    for (int k = 0; k < 4; k++) {
        int series = (k % 2) == 0 ? 1 : 0;
        uint32_t slot;
        if (k < 2) {
            int state = SignalState(fund, series);
            if (state == 2)
                continue;
            slot = state == 1 ? BMP_BUY : BMP_SELL;
        } else {
            slot = TrendIconSlot(TrendState(fund, series));
            if (slot == BITMAP_COUNT)
                continue;
        }
        SurfaceCopyBitmap(t, x0 + k * ((int32_t)Bitmaps[slot].width + 4), y1, slot, 1);
    }
}

// A failed clip is reported under the call that failed: making the region, selecting it,
// or deleting it afterwards.
static void ReportClipFailure(void)
{
    if (SurfaceFailedSteps & SURFACE_STEP_DRAW)
        ReportWin32("CreateRectRgn");
    if (SurfaceFailedSteps & SURFACE_STEP_SELECT)
        ReportWin32("SelectClipRgn");
    if (SurfaceFailedSteps & SURFACE_STEP_RESTORE)
        ReportWin32("DeleteObject");
    if (!SurfaceFailedSteps)
        ReportWin32("SelectClipRgn");
}

// Clips to the intersection of the rectangle and whatever clip t had; returns 0 when
// nothing of the rectangle can be painted.
static int ClipWithin(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (t->clipOn) {
        if (left < t->clipLeft) left = t->clipLeft;
        if (top < t->clipTop) top = t->clipTop;
        if (right > t->clipRight) right = t->clipRight;
        if (bottom > t->clipBottom) bottom = t->clipBottom;
    }
    if (left >= right || top >= bottom)
        return 0;
    if (!SurfaceClip(t, left, top, right, bottom)) {
        ReportClipFailure();
        return 0;
    }
    return 1;
}

// Puts back the clip that t had before the label's.
static void RestoreClip(DrawTarget *t, const DrawTarget *saved)
{
    int done = saved->clipOn ? SurfaceClip(t, saved->clipLeft, saved->clipTop,
                                           saved->clipRight, saved->clipBottom)
                             : SurfaceClearClip(t);
    if (!done)
        ReportClipFailure();
}

static void DrawChartPart(DrawTarget *t, const FundRecord *fund, int32_t x0, int32_t top,
                          int32_t bottom, int32_t y1, int32_t y2)
{
    uint32_t kind = ChartKind;
    if (kind == CHART_SIGNALS) {
        DrawSignalIcons(t, fund, x0, y1);
        return;
    }
    RowBar bar;
    ComputeRowBar(fund, &bar);
    if (bar.barLeft < bar.barRight)
        FillBox(t, x0 + bar.barLeft, y1, x0 + bar.barRight, y2, bar.barColour);
    if (bar.secondLeft < bar.secondRight)
        FillBox(t, x0 + bar.secondLeft, y1, x0 + bar.secondRight, y2, bar.secondColour);
    if (HasZeroLine(kind))
        FillBox(t, x0 + (int32_t)ZeroX, y1, x0 + (int32_t)ZeroX + 1, y2, 1);

    if (!bar.label[0])
        return;
    DrawTarget saved = *t;
    if (!ClipWithin(t, x0, top, x0 + (int32_t)ChartWidth, bottom))
        return;
    uint32_t length = (uint32_t)strlen(bar.label);
    if (bar.negative) {
        uint32_t align = SurfaceSetTextAlign(t, TEXT_ALIGN_RIGHT);
        if (align == SURFACE_SET_FAILED)
            ReportWin32("SetTextAlign");
        DrawText(t, x0 + (int32_t)ZeroX - 1, y1, bar.label, length, bar.labelColour);
        if (align != SURFACE_SET_FAILED && SurfaceSetTextAlign(t, align) == SURFACE_SET_FAILED)
            ReportWin32("SetTextAlign");
    } else {
        DrawText(t, x0 + (int32_t)ZeroX + 2, y1, bar.label, length, bar.labelColour);
    }
    RestoreClip(t, &saved);
}

void DrawFundRow(DrawTarget *t, int32_t row, int32_t left, int32_t top, int32_t right,
                 int32_t bottom, uint32_t action, uint32_t state)
{
    if (row < 0 || (uint32_t)row >= FundCount) {
        if (state & ROW_STATE_FOCUS)
            SurfaceFocusRect(t, left, top, right, bottom);
        return;
    }
    const FundRecord *fund = &FundTable[row];
    const int32_t rowHeight = bottom - top;
    const int32_t wp = (int32_t)Bitmaps[BMP_PORTFOLIO].width;
    const int32_t wc = (int32_t)Bitmaps[BMP_CHECK].width;
    const int32_t checkX = left + 9 + wp;
    const int32_t checkY = top + (rowHeight - (int32_t)Bitmaps[BMP_CHECK].height) / 2;

    if (action == ROW_DRAW_SELECT) {
        SurfaceCopyBitmap(t, checkX, checkY,
                          (state & ROW_STATE_SELECTED) ? BMP_CHECK : BMP_NO_CHECK, 0);
        return;
    }
    if (action == ROW_DRAW_FOCUS) {
        SurfaceFocusRect(t, left, top, right, bottom);
        return;
    }

    // The band one text line high in the middle of the row.
    const int32_t margin = (rowHeight - (int32_t)TextHeight) / 2;
    const int32_t y1 = top + margin;
    const int32_t y2 = bottom - margin;
    uint32_t marker = (fund->flags & FUND_IN_PORTFOLIO) ? BMP_PORTFOLIO : BMP_NO_PORTFOLIO;
    SurfaceCopyBitmap(t, left + 5, top + (rowHeight - (int32_t)Bitmaps[marker].height) / 2,
                      marker, 0);
    uint32_t transparent = SurfaceSetTransparent(t, 1);
    if (transparent == SURFACE_SET_FAILED)
        ReportWin32("SetBkMode");
    if (fund->name)
        DrawText(t, left + 13 + wp + wc, y1, fund->name, (uint32_t)strlen(fund->name),
                 CategoryBarColour(FundCategory(fund)));
    if (ChartKind != CHART_NONE && ChartWidth != 0) {
        int32_t x0 = left + wp + wc + 17 + (int32_t)MaxNameWidth;
        DrawChartPart(t, fund, x0, top, bottom, y1, y2);
    }
    if (transparent != SURFACE_SET_FAILED &&
        SurfaceSetTransparent(t, transparent) == SURFACE_SET_FAILED)
        ReportWin32("SetBkMode");
    if (state & ROW_STATE_SELECTED)
        SurfaceCopyBitmap(t, checkX, checkY, BMP_CHECK, 0);
    if (state & ROW_STATE_FOCUS)
        SurfaceFocusRect(t, left, top, right, bottom);
}
