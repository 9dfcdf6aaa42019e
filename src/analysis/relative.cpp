// The relative series: a fund's weekly returns less its index fund's, compounded from 1.0.
#include "analysis/relative.h"

#include <string.h>

#include "analysis/normalize.h"
#include "analysis/optimize.h"
#include "analysis/returns.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"
#include "data/optfile.h"
#include "platform/platform.h"

static uint32_t PointDate(const NavPoint *p)
{
    return p->dateWord & 0xFFFF;
}

// Series 1 becomes series 0: shared arrays, copied results.
static void ShareSeriesZero(FundRecord *f)
{
    FreeSeriesOneArrays(f);
    f->points[1] = f->points[0];
    f->bandPoints[1] = f->bandPoints[0];
    f->macdPoints[1] = f->macdPoints[0];
    f->rocPoints[1] = f->rocPoints[0];
    f->yearReturns[1] = f->yearReturns[0];
    memcpy(f->trendProjection[1], f->trendProjection[0], sizeof f->trendProjection[0]);
    memcpy(f->patternProjection[1], f->patternProjection[0], sizeof f->patternProjection[0]);
    f->patternMatch[1] = f->patternMatch[0];
    f->maSettings[1] = f->maSettings[0];
    f->stats[1] = f->stats[0];
    OptRecord *saved = f->shortName ? FindOptRecord(f->shortName) : nullptr;
    if (saved)
        saved->saved[1] = 0;
}

// Series 1's own arrays, allocated when it still shares series 0's. 0 on failure.
static int OwnSeriesOneArrays(FundRecord *f)
{
    uint32_t n = f->pointCount;
    if (f->points[1] && f->points[1] == f->points[0]) {
        // Series 1 was series 0 until now: the settings it holds are series 0's, found
        // for another series, so the relative series gets a search of its own.
        MaSettings *ms = &f->maSettings[1];
        ms->maKind = MA_NONE;
        static const MaParam lengths[] = {UMA_LENGTH, WMA_LENGTH, EMA_PERCENT, AMA_LENGTH,
                                          VIDYA_LENGTH};
        for (MaParam p : lengths)
            SetMaParam(ms, p, 0);
    }
    if (f->points[1] == f->points[0])
        f->points[1] = nullptr;
    if (f->bandPoints[1] == f->bandPoints[0])
        f->bandPoints[1] = nullptr;
    if (f->macdPoints[1] == f->macdPoints[0])
        f->macdPoints[1] = nullptr;
    if (f->rocPoints[1] == f->rocPoints[0])
        f->rocPoints[1] = nullptr;
    if (f->yearReturns[1] == f->yearReturns[0])
        f->yearReturns[1] = nullptr;
    if (!f->points[1])
        f->points[1] = (NavPoint *)AllocZero(n, sizeof(NavPoint));
    if (f->points[1] && !f->bandPoints[1])
        f->bandPoints[1] = (BandPoint *)AllocZero(n, sizeof(BandPoint));
    if (f->bandPoints[1] && !f->macdPoints[1])
        f->macdPoints[1] = (MacdPoint *)AllocZero(n, sizeof(MacdPoint));
    if (f->macdPoints[1] && !f->rocPoints[1])
        f->rocPoints[1] = (RocPoint *)AllocZero(n, sizeof(RocPoint));
    return f->rocPoints[1] != nullptr;
}

// Moves k forward to the last point of the index fund with DatePeriod period; 0 when the
// index fund has no point of that period (k then rests at the first later one).
static int SeekLastOfPeriod(const FundRecord *index, uint32_t *k, int32_t period)
{
    const NavPoint *p = index->points[0];
    uint32_t n = index->pointCount;
    while (*k < n && DatePeriodOf(PointDate(&p[*k])) < period)
        (*k)++;
    if (*k >= n || DatePeriodOf(PointDate(&p[*k])) != period)
        return 0;
    while (*k + 1 < n && DatePeriodOf(PointDate(&p[*k + 1])) == period)
        (*k)++;
    return 1;
}

void BuildRelativeSeries(FundRecord *f)
{
    if (FundCategory(f) == CATEGORY_INDEX || !f->indexName) {
        ShareSeriesZero(f);
        return;
    }
    uint32_t n = f->pointCount;
    if (n == 0 || !f->points[0])
        return;
    if (!OwnSeriesOneArrays(f)) {
        // Out of memory: without all of its arrays the relative series cannot exist.
        ShareSeriesZero(f);
        return;
    }

    NavPoint *own = f->points[0];
    NavPoint *rel = f->points[1];
    const FundRecord *index = FindFund(f->indexName);
    if (!index || FundCategory(index) != CATEGORY_INDEX || index->pointCount == 0 ||
        !index->points[0]) {
        // No usable benchmark: a flat relative series with no statistics.
        for (uint32_t i = 0; i < n; i++) {
            memset(&rel[i], 0, sizeof rel[i]);
            rel[i].dateWord = own[i].dateWord & 0xFFFF;
        }
        // Nothing of an earlier relative series may survive into this flat one.
        memset(f->bandPoints[1], 0, n * sizeof(BandPoint));
        memset(f->macdPoints[1], 0, n * sizeof(MacdPoint));
        memset(f->rocPoints[1], 0, n * sizeof(RocPoint));
        if (f->yearReturns[1] && f->yearReturns[1] != f->yearReturns[0])
            memset(f->yearReturns[1], 0, BlockSize(f->yearReturns[1]));
        memset(f->trendProjection[1], 0, sizeof f->trendProjection[1]);
        memset(f->patternProjection[1], 0, sizeof f->patternProjection[1]);
        f->patternMatch[1] = 0;
        memset(&f->stats[1], 0, sizeof f->stats[1]);
        return;
    }

    char text[REPORT_BUFFER_SIZE];
    uint32_t category = FundCategory(f);
    FormatText(text, sizeof text, "Normalize and Optimize data 2: %s%s%s%s",
               category ? "[" : "", category ? CategoryTable[category].name : "",
               category ? "] " : "", f->name ? f->name : "");
    SendProgress(PROGRESS_STATUS_TEXT, text);

    SeriesStats *st = &f->stats[1];
    st->maxChange = st->minChange = st->maxChangeRecent = st->minChangeRecent = 0;
    uint32_t recentFrom = RecentBoundary(f);
    uint32_t k = 0;
    int havePrevious = 0;
    double previousValue = 0;
    int32_t previousPeriod = 0;
    for (uint32_t i = 0; i < n; i++) {
        rel[i].dateWord = own[i].dateWord & (0xFFFF | NAV_NO_VALUE);
        rel[i].change = 0;
        int32_t period = DatePeriodOf(PointDate(&own[i]));
        // Only the last point of a DatePeriod is a sample.
        if (i + 1 < n && DatePeriodOf(PointDate(&own[i + 1])) == period)
            continue;
        if (havePrevious) {
            int found = SeekLastOfPeriod(index, &k, previousPeriod);
            double indexThen = found ? index->points[0][k].value : 0;
            if (found && SeekLastOfPeriod(index, &k, period)) {
                double change = PercentChange(previousValue, own[i].value) -
                                PercentChange(indexThen, index->points[0][k].value);
                rel[i].change = change;
                TrackChange(st, change, i >= recentFrom);
            }
        }
        havePrevious = 1;
        previousValue = own[i].value;
        previousPeriod = period;
    }

    rel[0].value = 1.0;
    for (uint32_t i = 1; i < n; i++) {
        double previous = rel[i - 1].value;
        double change = rel[i].change;
        rel[i].value = change < 0 ? previous - PercentOf(previous, change)
                                  : previous + PercentOf(previous, change);
    }
    OptimizeFund(f, 1);
}
