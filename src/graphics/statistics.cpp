// The statistics panel: year returns, period returns, risk, strategy and totals columns.
#include "graphics/statistics.h"

#include <stdio.h>
#include <string.h>

#include "analysis/returns.h"
#include "data/datetable.h"
#include "data/viewflags.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"

namespace {

struct Panel {
    int32_t x, y, top, limit;
    uint32_t width;   // widest line of the current column
};

enum ValueKind { VALUE_PERCENT, VALUE_RATIO, VALUE_MONEY, VALUE_NONE };

int Fits(const Panel *p)
{
    return p->y + (int32_t)LineHeight <= p->limit;
}

// Draws label and its value as one line when it fits; the line advances either way.
// Returns whether it was drawn.
int PanelLine(Panel *p, const char *label, ValueKind kind, double v)
{
    char text[160];
    switch (kind) {
    case VALUE_PERCENT:
    case VALUE_RATIO: {
        const char *unit = kind == VALUE_PERCENT ? "%" : "";
        if (v >= 0)
            snprintf(text, sizeof text, "%s%.1f%s", label, v, unit);
        else
            snprintf(text, sizeof text, "%s(%.1f%s)", label, -v, unit);
        break;
    }
    case VALUE_MONEY:
        snprintf(text, sizeof text, "%s$%.4f", label, v);
        break;
    case VALUE_NONE:
        snprintf(text, sizeof text, "%s", label);
        break;
    }
    int drawn = Fits(p);
    if (drawn) {
        uint32_t length = (uint32_t)strlen(text);
        DrawText(DrawSurface, p->x, p->y, text, length, 1);
        uint32_t w = SurfaceTextWidth(DrawSurface, text, length);
        if (w > p->width)
            p->width = w;
    }
    p->y += (int32_t)TextHeight;
    return drawn;
}

void ColumnBreak(Panel *p)
{
    p->y = p->top;
    if (p->width) {
        p->x += (int32_t)p->width + 2 * (int32_t)CharWidth;
        p->width = 0;
    }
}

double EquityAt(const FundRecord *f, uint32_t series, uint32_t i)
{
    double e;
    if (ShowMacd)
        e = f->macdPoints[series] ? f->macdPoints[series][i].equity : 0;
    else if (ShowRoc)
        e = f->rocPoints[series] ? f->rocPoints[series][i].equity : 0;
    else
        e = f->points[series][i].maEquity;
    return e != 0 ? e : f->points[series][i].value;
}

int32_t PeriodAt(const FundRecord *f, uint32_t series, uint32_t i)
{
    return PointPeriod(&f->points[series][i]);
}

void StrategyLines(Panel *p, const FundRecord *f, uint32_t s)
{
    uint32_t n = f->pointCount, last = n - 1;
    const NavPoint *pts = f->points[s];
    uint32_t rs = f->recentStart < n ? f->recentStart : 0;
    if (rs == 0) {
        PanelLine(p, "Best=", VALUE_PERCENT,
                  AnnualizedReturn(pts[0].value, EquityAt(f, s, last),
                                   PeriodAt(f, s, last) - PeriodAt(f, s, 0)));
    } else {
        PanelLine(p, "Trial Best=", VALUE_PERCENT,
                  AnnualizedReturn(pts[0].value, EquityAt(f, s, rs),
                                   PeriodAt(f, s, rs) - PeriodAt(f, s, 0)));
        PanelLine(p, "Eval Best=", VALUE_PERCENT,
                  AnnualizedReturn(pts[rs].value, EquityAt(f, s, last),
                                   PeriodAt(f, s, last) - PeriodAt(f, s, rs)));
    }
    if (ShowMovingAverage && !ShowMacd && !ShowRoc) {
        const MaSettings *ms = &f->maSettings[s];
        double avg = ms->maKind >= MA_UMA && ms->maKind <= MA_VIDYA
                         ? ms->maAverage[ms->maKind - 1]
                         : 0;
        PanelLine(p, "Avg=", VALUE_PERCENT, avg);
    }
    p->y += (int32_t)TextHeight;
}

}  // namespace

void PaintFundStatistics(FundRecord *fund, int32_t x, int32_t top, int32_t limit,
                         uint32_t series)
{
    uint32_t s = series ? 1 : 0;
    const SeriesStats *st = &fund->stats[s];
    Panel p = {x, top, top, limit, 0};
    char label[16];

    const YearReturn *years = fund->yearReturns[s];
    if (fund->yearCount && years) {
        uint32_t firstYear = 1960;
        if (fund->pointCount && fund->points[s])
            firstYear += PackedYearCode(PointPackedDate(&fund->points[s][0]));
        uint32_t lines = 0;
        for (uint32_t k = fund->yearCount; k-- > 0;) {
            if (!Fits(&p))
                break;
            snprintf(label, sizeof label, "%02u=", (firstYear + k) % 100);
            PanelLine(&p, label, VALUE_PERCENT, years[k].valid ? years[k].percent : 0);
            if (++lines % 10 == 0)
                ColumnBreak(&p);
        }
        ColumnBreak(&p);
    }

    static const struct {
        const char *label;
        uint32_t minimum;   // shown when longestPeriod is above this (and is not 6)
    } periods[] = {{"1 year=", 0}, {"3 year=", 2}, {"5 year=", 4}, {"7 year=", 6},
                   {"10 year=", 9}};
    const double periodValues[] = {st->return1Year, st->return3Year, st->return5Year,
                                   st->return7Year, st->return10Year};
    uint32_t longest = st->longestPeriod & 0xF;
    int open = 1;
    if (longest != 0)
        open = PanelLine(&p, "6 month=", VALUE_PERCENT, st->return6Month);
    for (uint32_t k = 0; open && k < 5; k++) {
        // 7 and 10 years lie above 6 anyway; the shorter periods skip the six-month code.
        if (longest > periods[k].minimum && (longest != 6 || periods[k].minimum >= 6))
            open = PanelLine(&p, periods[k].label, VALUE_PERCENT, periodValues[k]);
    }
    if (open)
        PanelLine(&p, "Total=", VALUE_PERCENT, st->totalReturn);
    ColumnBreak(&p);

    if (Fits(&p)) {
        char text[64];
        snprintf(text, sizeof text, "Volatility=%.1f", st->volatility);
        PanelLine(&p, text, VALUE_NONE, 0);
        PanelLine(&p, "Reward/Risk Ratio=", VALUE_RATIO, st->rewardRisk);
        PanelLine(&p, "Sharpe Ratio=", VALUE_RATIO, st->sharpe);
        p.y += (int32_t)TextHeight;

        if ((ShowMovingAverage || ShowMacd || ShowRoc) && fund->pointCount && fund->points[s])
            StrategyLines(&p, fund, s);

        if (fund->navChange == 0)
            PanelLine(&p, "No Nav Change", VALUE_NONE, 0);
        else if (fund->navChange > 0)
            PanelLine(&p, "Nav Gain=", VALUE_MONEY, fund->navChange);
        else
            PanelLine(&p, "Nav Loss=", VALUE_MONEY, -fund->navChange);

        if (fund->distTotal == 0) {
            PanelLine(&p, "No Dist", VALUE_NONE, 0);
        } else {
            PanelLine(&p, "Dist=", VALUE_MONEY, fund->distTotal);
            double loss = -fund->navChange;
            if (fund->navChange >= 0)
                PanelLine(&p, "Tax Efficiency=", VALUE_PERCENT, fund->taxEfficiency);
            else if (loss == fund->distTotal)
                PanelLine(&p, "Tax Efficiency=", VALUE_PERCENT, 0.0);
            else if (loss < fund->distTotal)
                PanelLine(&p, "Net Dist Gain=", VALUE_MONEY, fund->distTotal + fund->navChange);
            else
                PanelLine(&p, "Net Nav Loss=", VALUE_MONEY, loss - fund->distTotal);
        }
    }
    ColumnBreak(&p);
    SetFundReadout(fund, p.x, top);
}
