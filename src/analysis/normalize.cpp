// From raw NAV points to series 0: removing undated entries, filling gaps, total return.
#include "analysis/normalize.h"

#include <math.h>
#include <string.h>

#include "analysis/returns.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"

static uint32_t PointDate(const NavPoint *p)
{
    return p->dateWord & 0xFFFF;
}

// The first index of the points counted as recent: recentStart, else recentStartShort,
// else 0 (every point).
uint32_t RecentBoundary(const FundRecord *f)
{
    return f->recentStart ? f->recentStart : f->recentStartShort;
}

void FillMissingValues(FundRecord *f)
{
    // Entries whose date did not fit in the DateTable cannot be placed on the time axis.
    uint32_t kept = 0;
    for (uint32_t i = 0; f->points[0] && i < f->pointCount; i++)
        if (PointDate(&f->points[0][i]) != DATE_INDEX_NONE)
            f->points[0][kept++] = f->points[0][i];
    f->pointCount = f->points[0] ? kept : 0;
    kept = 0;
    for (uint32_t i = 0; f->dists && i < f->distCount; i++)
        if (f->dists[i].date != DATE_NOT_FOUND)
            f->dists[kept++] = f->dists[i];
    f->distCount = f->dists ? kept : 0;
    kept = 0;
    for (uint32_t i = 0; f->splits && i < f->splitCount; i++)
        if ((f->splits[i] & 0xFFFF) != DATE_INDEX_NONE)
            f->splits[kept++] = f->splits[i];
    f->splitCount = f->splits ? kept : 0;

    NavPoint *p = f->points[0];
    uint32_t n = f->pointCount;
    uint32_t i = 0;
    while (i < n) {
        if (!(p[i].dateWord & NAV_NO_VALUE)) {
            i++;
            continue;
        }
        uint32_t start = i;
        while (i < n && (p[i].dateWord & NAV_NO_VALUE))
            i++;
        uint32_t end = i;  // first point after the run
        if (start == 0 && end == n)
            return;
        if (start == 0) {
            for (uint32_t k = start; k < end; k++)
                p[k].value = p[end].value;
        } else if (end == n) {
            for (uint32_t k = start; k < end; k++)
                p[k].value = p[start - 1].value;
        } else {
            double b = p[start - 1].value, a = p[end].value;
            double step = fabs(b - a) / (end - start + 1);
            if (a > b) {
                for (uint32_t k = start; k < end; k++)
                    p[k].value = p[k - 1].value + step;
            } else if (a < b) {
                for (uint32_t k = end; k-- > start;)
                    p[k].value = p[k + 1].value + step;
            } else {
                for (uint32_t k = start; k < end; k++)
                    p[k].value = b;
            }
        }
    }
}

// newShares / oldShares applied to x (0 for a split without old shares).
static double ApplySplit(double x, SplitRecord s)
{
    return SafeDivide(x * SplitNewShares(s), SplitOldShares(s));
}

void TrackChange(SeriesStats *st, double change, int recent)
{
    if (change > 0 && change > st->maxChange)
        st->maxChange = change;
    if (change < 0 && change < st->minChange)
        st->minChange = change;
    if (!recent)
        return;
    if (change > 0 && change > st->maxChangeRecent)
        st->maxChangeRecent = change;
    if (change < 0 && change < st->minChangeRecent)
        st->minChangeRecent = change;
}

void NormalizeFund(FundRecord *f)
{
    for (uint32_t k = 0; k < f->distCount; k++) {
        DistRecord *d = &f->dists[k];
        d->total = d->div + d->scg + d->mcg + d->lcg;
    }
    uint32_t n = f->pointCount;
    NavPoint *p = f->points[0];
    if (n == 0 || !p) {
        f->navChange = 0;
        return;
    }

    // The change in NAV converted to the shares of the start point. A split dated on or
    // before the start point is already in the start NAV, so only later ones count.
    uint32_t startIndex = 0;
    int haveStart = 1;
    if (f->excludeDate != 0) {
        startIndex = 0;
        while (startIndex < n && PointDate(&p[startIndex]) <= f->excludeDate)
            startIndex++;
        haveStart = startIndex < n;
    }
    if (haveStart) {
        double start = p[startIndex].value;
        double end = p[n - 1].value;
        uint32_t startDate = PointDate(&p[startIndex]);
        for (uint32_t k = 0; k < f->splitCount; k++)
            if ((f->splits[k] & 0xFFFF) > startDate)
                end = ApplySplit(end, f->splits[k]);
        f->navChange = end - start;
    } else {
        f->navChange = 0;
    }

    SeriesStats *st = &f->stats[0];
    uint32_t recentFrom = RecentBoundary(f);
    double shares = SafeDivide(1.0, p[0].value);
    uint32_t firstDate = PointDate(&p[0]);
    uint32_t nextSplit = 0, nextDist = 0;
    // What the first point already includes is used up without effect.
    while (nextSplit < f->splitCount && (f->splits[nextSplit] & 0xFFFF) <= firstDate)
        nextSplit++;
    while (nextDist < f->distCount && f->dists[nextDist].date <= firstDate)
        nextDist++;
    double previous = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t date = PointDate(&p[i]);
        double nav = p[i].value;
        for (; nextSplit < f->splitCount && (f->splits[nextSplit] & 0xFFFF) <= date; nextSplit++)
            shares = ApplySplit(shares, f->splits[nextSplit]);
        for (; nextDist < f->distCount && f->dists[nextDist].date <= date; nextDist++)
            shares = shares + SafeDivide(shares * f->dists[nextDist].total, nav);
        double value = shares * nav;
        p[i].value = value;
        double change = i == 0 ? 0 : PercentChange(previous, value);
        p[i].change = change;
        TrackChange(st, change, i >= recentFrom);
        previous = value;
    }
}

