// The validation of one fund: a working copy of series 0, the walk-forward and the odds of
// overfitting on it.
#include "analysis/validation.h"

#include <string.h>

#include "analysis/overfit.h"
#include "analysis/stats.h"
#include "analysis/strategy.h"
#include "analysis/walkforward.h"
#include "data/alloc.h"
#include "data/validatefile.h"
#include "data/viewflags.h"

void ValidateFund(FundRecord *fund)
{
    ValidationStats v;
    memset(&v, 0, sizeof v);
    const MaSettings *settings = &fund->maSettings[0];
    v.maKind = settings->maKind;
    memcpy(v.words, settings->words, sizeof v.words);
    uint32_t count = fund->pointCount;
    if (fund->points[0] && count > 0 && settings->maKind >= MA_UMA && settings->maKind <= MA_VIDYA) {
        // The searches write ma, maEquity and the holding bits into the points they run
        // on; the fund's own points stay as the analysis left them.
        FundRecord scratch;
        memset(&scratch, 0, sizeof scratch);
        scratch.points[0] = (NavPoint *)AllocZero(count, sizeof(NavPoint));
        if (scratch.points[0]) {
            memcpy(scratch.points[0], fund->points[0], count * sizeof(NavPoint));
            scratch.pointCount = count;
            WalkForward(&scratch, &v);
            scratch.pointCount = count;
            scratch.recentStart = fund->recentStart;
            scratch.recentStartShort = fund->recentStartShort;
            BeginMoneyMarketWalk(&scratch);
            v.inSample = InSampleReturn(&scratch, settings);
            OverfitFigures(&scratch, settings, &v);
            EndMoneyMarketWalk();
            FreeBlock(scratch.points[0]);
        }
    }
    v.flags |= VALIDATION_DONE;
    fund->validation = v;
}

int IsValidationChart(uint32_t chartKind)
{
    return chartKind >= CHART_WALK_FORWARD && chartKind <= CHART_DEFLATED_SHARPE;
}

int ValidationChartValue(const FundRecord *fund, uint32_t chartKind, double *value)
{
    const ValidationStats *v = &fund->validation;
    *value = 0;
    if (!ValidationCurrent(fund))
        return 0;
    switch (chartKind) {
    case CHART_WALK_FORWARD:
        *value = v->walkForward;
        return (v->flags & VALIDATION_WALK) != 0;
    case CHART_OVERFIT_PROBABILITY:
        *value = v->pbo * 100;
        return (v->flags & VALIDATION_CSCV) != 0;
    case CHART_DEFLATED_SHARPE:
        *value = v->deflatedSharpe * 100;
        return (v->flags & VALIDATION_CSCV) != 0;
    }
    return 0;
}

void TrackValidationExtremes(const FundRecord *fund)
{
    static const ChartStatistic statistics[3] = {STAT_WALK_FORWARD, STAT_OVERFIT_PROBABILITY,
                                                 STAT_DEFLATED_SHARPE};
    for (uint32_t k = 0; k < 3; k++) {
        double value;
        if (ValidationChartValue(fund, CHART_WALK_FORWARD + k, &value))
            for (int view = 0; view < 2; view++)
                TrackChartExtreme(view, statistics[k], value);
    }
}
