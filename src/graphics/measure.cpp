// The measuring line's arithmetic and the stepping targets of the graph window.
#include "graphics/measure.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "analysis/returns.h"
#include "data/viewflags.h"
#include "graphics/fundgraph.h"
#include "graphics/graphpage.h"

int32_t PlotLeft, PlotRight;
FundRecord *MeasuredFund;
char ReadoutLine[3][READOUT_LINE_SIZE];

static int IsDisplayed(const FundRecord *f)
{
    return (f->flags & FUND_DISPLAYED) != 0;
}

int32_t DoDate(char *text, int32_t x)
{
    int32_t from = PaintedFrom, to = PaintedTo;
    int64_t range = (int64_t)to - from;
    const FundRecord *f = MeasuredFund;
    if (f && f->pointCount && f->points[0] &&
        (ShowMovingAverage || ShowMacd || ShowRoc || ShowBollinger)) {
        int32_t last = PointPeriod(&f->points[0][f->pointCount - 1]);
        if (last >= from && last <= to)
            range += 5;
    }
    int64_t width = (int64_t)PlotRight - PlotLeft;
    int32_t d = from;
    if (width != 0)
        d = (int32_t)(from + ((int64_t)x - PlotLeft) * range / width);
    // Dates before the table's origin have no calendar meaning; they are shown as its
    // first week rather than as a negative remainder.
    uint32_t u = d >= 0 ? (uint32_t)d : 0;
    uint32_t inYear = u % 60;
    static const uint32_t Days[5] = {1, 8, 15, 22, 29};
    snprintf(text, READOUT_LINE_SIZE, "%02u/%02u/%02u", inYear / 5 + 1, Days[inYear % 5],
             (u / 60 + 60) % 100);
    return d;
}

double ValueAtRow(char *text, int32_t y)
{
    double v = 0;
    const FundRecord *f = MeasuredFund;
    if (f) {
        int32_t bottom = (int32_t)FundPlotBottom(f);
        int32_t p = bottom - (int32_t)FundPlotTop(f);
        int32_t h = bottom - y;
        if (p > 0 && LinearScale) {
            // In whole hundredths, so that a row worth exactly 0.29 does not read 0.28.
            v = (double)((int64_t)h * PaintedPriceUnits * 100 / p) / 100;
        } else if (p > 0) {
            // The logarithmic axis counts no units as one.
            double units = PaintedPriceUnits ? PaintedPriceUnits : 1;
            v = trunc(exp((log(units) + 1) * h / p - 1) * 100) / 100;
        }
    }
    size_t n = strlen(text);
    if (n < READOUT_LINE_SIZE)
        snprintf(text + n, READOUT_LINE_SIZE - n, "=$%.2f", v);
    return v;
}

double MeasuredReturn(int32_t ds, double vs, int32_t de, double ve)
{
    if (ds == de)
        return PercentChange(vs, ve);
    if (de < ds)
        return AnnualizedReturn(ve, vs, ds - de);
    return AnnualizedReturn(vs, ve, de - ds);
}

void FormatResultLine(char *text, size_t size, double result)
{
    if (result >= 0)
        snprintf(text, size, "Result=%.1f%%", result);
    else
        snprintf(text, size, "Result=(%.1f)%%", -result);
}

FundRecord *NthDisplayedFund(uint32_t n)
{
    for (uint32_t i = 0; i < FundCount; i++)
        if (IsDisplayed(&FundTable[i]) && n-- == 0)
            return &FundTable[i];
    return nullptr;
}

static int WithinPlot(const FundRecord *f, int32_t y)
{
    return (int32_t)FundPlotTop(f) <= y && y <= (int32_t)FundPlotBottom(f);
}

FundRecord *FundUnderPointer(int32_t x, int32_t y, int32_t tab)
{
    if (x < PlotLeft || x > PlotRight || tab < 3)
        return nullptr;
    if (CombinedGraphs) {
        for (uint32_t i = 0; i < FundCount; i++) {
            FundRecord *f = &FundTable[i];
            if (IsDisplayed(f) && FundPlotBottom(f) && WithinPlot(f, y))
                return f;
        }
        return nullptr;
    }
    FundRecord *f = NthDisplayedFund((uint32_t)(tab - 3));
    return f && FundPlotBottom(f) && WithinPlot(f, y) ? f : nullptr;
}

int32_t StepTargetIndex(uint32_t index, uint32_t count, uint32_t key)
{
    if (index >= count)
        return -1;
    uint32_t last = count - 1;
    int backward = key == STEP_PAGE_UP || key == STEP_HOME || key == STEP_BACK;
    if (backward ? index == 0 : index == last)
        return -1;
    switch (key) {
    case STEP_PAGE_UP:
        return index <= 10 ? 0 : (int32_t)(index - 10);
    case STEP_PAGE_DOWN:
        return index + 10 >= last ? (int32_t)last : (int32_t)(index + 10);
    case STEP_END:
        return (int32_t)last;
    case STEP_HOME:
        return 0;
    case STEP_BACK:
        return (int32_t)(index - 1);
    case STEP_FORWARD:
        return (int32_t)(index + 1);
    }
    return -1;
}
