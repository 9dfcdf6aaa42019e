// The statistics panel: year returns, period returns, risk, strategy, totals, the
// analyst's and the validation columns.
#include "graphics/statistics.h"

#include <stdio.h>
#include <string.h>

#include "analysis/returns.h"
#include "analysis/searchmap.h"
#include "data/datetable.h"
#include "data/validatefile.h"
#include "data/viewflags.h"
#include "graphics/draw.h"
#include "graphics/fundgraph.h"

namespace {

struct Panel {
    int32_t x, y, top, limit;
    uint32_t width;   // widest line of the current column
    int32_t right;    // no column may reach past this x
    uint32_t column;  // index of the current column
    uint32_t shown;   // columns drawn: those left of the first that crosses right
    int measuring;    // set while the columns are only measured
    int32_t end;      // x just right of the last column drawn
    int32_t bottom;   // row below the lowest line drawn
};

enum ValueKind { VALUE_PERCENT, VALUE_RATIO, VALUE_MONEY, VALUE_NONE };

int Fits(const Panel *p)
{
    return p->y + (int32_t)LineHeight <= p->limit;
}

// Draws label and its value as one line when it fits below the limit and its column is
// shown; the line advances either way. Returns whether it fitted below the limit.
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
        if (!p->measuring && p->column < p->shown) {
            DrawText(DrawSurface, p->x, p->y, text, length, 1);
            if (p->y + (int32_t)TextHeight > p->bottom)
                p->bottom = p->y + (int32_t)TextHeight;
        }
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
        // A column cut at the graph's edge would leave figures that read as other
        // figures; it is left out with every column right of it.
        if (p->measuring && p->column < p->shown && p->x + (int32_t)p->width > p->right)
            p->shown = p->column;
        p->x += (int32_t)p->width + 2 * (int32_t)CharWidth;
        p->width = 0;
        if (++p->column <= p->shown)
            p->end = p->x;
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

// The analyst's column: drawdown, Sortino, the worst 3-year window and, with an index
// fund, beta, alpha and capture (docs/statistics.md). The rightmost column, so the first
// one left out when the graph is narrow.
void AnalystLines(Panel *p, const FundRecord *f, uint32_t s, const char *robustness)
{
    const AnalystStats *a = &f->stats[s].analyst;
    const AnalystStats *fundWide = &f->stats[0].analyst;
    // Without monthly returns there is nothing of the analyst's to show.
    if (a->monthCount < 2 || !Fits(p))
        return;
    PanelLine(p, "Max Drawdown=", VALUE_PERCENT, a->maxDrawdown);
    PanelLine(p, "Sortino Ratio=", VALUE_RATIO, a->sortino);
    if (a->rolling[1].count)
        PanelLine(p, "Worst 3 Years=", VALUE_PERCENT, a->rolling[1].worst);
    if (fundWide->benchmarkMonths >= 2) {
        PanelLine(p, "Beta=", VALUE_RATIO, fundWide->beta);
        PanelLine(p, "Alpha=", VALUE_PERCENT, fundWide->alpha);
        PanelLine(p, "Up Capture=", VALUE_RATIO, fundWide->upCapture);
        PanelLine(p, "Down Capture=", VALUE_RATIO, fundWide->downCapture);
    }
    if (robustness[0])
        PanelLine(p, robustness, VALUE_NONE, 0);
    ColumnBreak(p);
}

// The Validate job's column (docs/statistics.md): the walk-forward return beside buying and
// holding over the same years, the search's in-sample best, the odds of overfitting and
// the deflated Sharpe ratio. The figures are of series 0: none in a relative view, and
// none until the fund was validated for its current settings. The rightmost column.
void ValidationLines(Panel *p, const FundRecord *f, uint32_t s)
{
    const ValidationStats *v = &f->validation;
    if ((s != 0 && f->points[1] != f->points[0]) || !ValidationCurrent(f) || !Fits(p))
        return;
    if (v->flags & VALIDATION_WALK) {
        PanelLine(p, "Walk-Forward=", VALUE_PERCENT, v->walkForward);
        PanelLine(p, "Held Same Years=", VALUE_PERCENT, v->buyAndHold);
    }
    PanelLine(p, "In-Sample Best=", VALUE_PERCENT, v->inSample);
    if (v->flags & VALIDATION_CSCV) {
        PanelLine(p, "Overfit Odds=", VALUE_PERCENT, v->pbo * 100);
        PanelLine(p, "Deflated Sharpe=", VALUE_PERCENT, v->deflatedSharpe * 100);
    }
    ColumnBreak(p);
}

// One pass over the panel's lines: measuring, or drawing the shown columns.
void LayOutPanel(Panel &p, const FundRecord *fund, uint32_t s, const char *robustness)
{
    const SeriesStats *st = &fund->stats[s];
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
    AnalystLines(&p, fund, s, robustness);
    ValidationLines(&p, fund, s);
}

// With the moving average in view, the robustness of its chosen thresholds
// (docs/statistics.md): "Robustness=0.87", "fragile" after it below the threshold, "n/a"
// when the chosen rule gained nothing; "" otherwise. One grid run over the trial points.
void RobustnessText(const FundRecord *fund, uint32_t s, char *text, size_t size)
{
    text[0] = 0;
    SearchMap map;
    if (!ShowMovingAverage || ShowMacd || ShowRoc || !fund->pointCount ||
        !ComputeSearchMap(fund, (int)s, SEARCH_MAP_CHOSEN, &map))
        return;
    if (!map.robustnessDefined)
        snprintf(text, size, "Robustness=n/a");
    else
        snprintf(text, size, "Robustness=%.2f%s", map.robustness, map.fragile ? " fragile" : "");
}

// The readout's width for a date, a value of four figures and a result: what it needs in
// most cases (the graph window keeps a wider one inside the graph).
int32_t ReadoutWidth(void)
{
    uint32_t a = TextWidthOf("00/00/00=$0000.00"), b = TextWidthOf("Result=(000.0)%");
    return (int32_t)(a > b ? a : b);
}

}  // namespace

void PaintFundStatistics(FundRecord *fund, int32_t x, int32_t top, int32_t limit,
                         int32_t right, uint32_t series)
{
    uint32_t s = series ? 1 : 0;
    char robustness[48];
    RobustnessText(fund, s, robustness, sizeof robustness);
    Panel p = {x, top, top, limit, 0, right, 0, UINT32_MAX, 1, x, top};
    LayOutPanel(p, fund, s, robustness);
    Panel drawn = {x, top, top, limit, 0, right, 0, p.shown, 0, x, top};
    LayOutPanel(drawn, fund, s, robustness);
    // The readout goes right of the last column when it has room there, else under the
    // columns, where the price plot lies.
    if (drawn.end + ReadoutWidth() <= right)
        SetFundReadout(fund, drawn.end, top);
    else
        SetFundReadout(fund, x, drawn.bottom + (int32_t)TextHeight / 2);
}
