// The analyst's figures: drawdown, monthly risk, Sortino, rolling returns, the figures
// against the index fund and the percentile ranks in category.
#include "analysis/analyst.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "analysis/extremes.h"
#include "analysis/returns.h"
#include "data/datetable.h"
#include "data/ratefile.h"
#include "data/validatefile.h"
#include "data/viewflags.h"

const uint32_t RollingMonths[ROLLING_WINDOWS] = {12, 36, 60};

static_assert(CHART_KIND_COUNT <= RANKED_CHART_ROOM, "a percentile rank for every chart code");

namespace {

// A month's last point: the month as a running number (year code * 12 + month - 1).
struct MonthEnd {
    uint32_t month;
    double value;
};

// The return of one month, from the previous month's end to this one's (a fraction).
struct MonthReturn {
    uint32_t month;
    double ret;
};

}  // namespace

static PackedDate PackedDateOfPoint(const NavPoint *p)
{
    uint32_t index = p->dateWord & 0xFFFF;
    return index < DateCount ? DateTable[index] : 0;
}

static uint32_t MonthNumber(PackedDate d)
{
    return PackedYearCode(d) * 12 + PackedMonth(d) - 1;
}

// Days from 1 March 1960 (a year code's date counted on a March-based calendar, so that
// the leap day falls at the end of its year).
static int32_t DayNumber(PackedDate d)
{
    int32_t y = (int32_t)PackedYearCode(d) + 1960, m = (int32_t)PackedMonth(d);
    int32_t day = (int32_t)PackedDay(d);
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    return 365 * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + day;
}

static std::vector<MonthEnd> MonthEnds(const NavPoint *p, uint32_t n)
{
    std::vector<MonthEnd> ends;
    for (uint32_t i = 0; i < n; i++) {
        PackedDate d = PackedDateOfPoint(&p[i]);
        if (!d)
            continue;
        uint32_t month = MonthNumber(d);
        if (!ends.empty() && ends.back().month == month)
            ends.back().value = p[i].value;
        else
            ends.push_back(MonthEnd{month, p[i].value});
    }
    return ends;
}

// Returns between consecutive calendar months only: a month without a point ends the
// chain, and the month after it starts a new one.
static std::vector<MonthReturn> MonthlyReturns(const std::vector<MonthEnd> &ends)
{
    std::vector<MonthReturn> returns;
    for (size_t k = 1; k < ends.size(); k++)
        if (ends[k].month == ends[k - 1].month + 1 && ends[k - 1].value > 0)
            returns.push_back(MonthReturn{ends[k].month, ends[k].value / ends[k - 1].value - 1});
    return returns;
}

// The risk-free return of one month: the year's RISKFREE rate compounded over its twelve
// months. The months come in order, so the last year's result serves its other months.
struct RiskFreeMemo {
    uint32_t year = UINT32_MAX;
    double rate = 0;
};

static double RiskFreeOfMonth(RiskFreeMemo *memo, uint32_t month)
{
    if (month / 12 != memo->year) {
        memo->year = month / 12;
        memo->rate = pow(1 + RateOfYear(RiskFreeRates, RiskFreeCount, memo->year) / 100,
                         1.0 / 12) - 1;
    }
    return memo->rate;
}

static double Mean(const std::vector<double> &x)
{
    double sum = 0;
    for (double v : x)
        sum += v;
    return x.empty() ? 0 : sum / (double)x.size();
}

// The sample standard deviation (n - 1); 0 for fewer than two values.
static double SampleDeviation(const std::vector<double> &x)
{
    if (x.size() < 2)
        return 0;
    double mean = Mean(x), sum = 0;
    for (double v : x)
        sum += (v - mean) * (v - mean);
    return sqrt(sum / (double)(x.size() - 1));
}

static void Drawdown(const FundRecord *f, int s, AnalystStats *a)
{
    const NavPoint *p = f->points[s];
    uint32_t n = p ? f->pointCount : 0;
    a->drawdownPeak = a->drawdownTrough = a->drawdownRecovery = DATE_NOT_FOUND;
    a->maxDrawdown = a->currentDrawdown = a->drawdownWeeks = 0;
    if (n == 0)
        return;
    uint32_t peak = 0, worstPeak = 0, worstTrough = 0;
    double worst = 0;
    for (uint32_t i = 1; i < n; i++) {
        if (p[i].value > p[peak].value)
            peak = i;
        double fall = (SafeDivide(p[i].value, p[peak].value) - 1) * 100;
        if (fall < worst) {
            worst = fall;
            worstPeak = peak;
            worstTrough = i;
        }
    }
    a->currentDrawdown = (SafeDivide(p[n - 1].value, p[peak].value) - 1) * 100;
    if (worst == 0)
        return;
    a->maxDrawdown = worst;
    a->drawdownPeak = p[worstPeak].dateWord & 0xFFFF;
    a->drawdownTrough = p[worstTrough].dateWord & 0xFFFF;
    uint32_t end = n - 1;
    for (uint32_t i = worstTrough + 1; i < n; i++)
        if (p[i].value >= p[worstPeak].value) {
            a->drawdownRecovery = p[i].dateWord & 0xFFFF;
            end = i;
            break;
        }
    a->drawdownWeeks =
        (DayNumber(PackedDateOfPoint(&p[end])) - DayNumber(PackedDateOfPoint(&p[worstPeak]))) / 7.0;
}

static void MonthlyRisk(const std::vector<MonthReturn> &returns, int s, AnalystStats *a)
{
    a->monthCount = (uint32_t)returns.size();
    std::vector<double> r, excess;
    double downside = 0;
    RiskFreeMemo memo;
    for (const MonthReturn &m : returns) {
        double x = m.ret - (s == 0 ? RiskFreeOfMonth(&memo, m.month) : 0);
        r.push_back(m.ret);
        excess.push_back(x);
        if (x < 0)
            downside += x * x;
    }
    a->monthlyVolatility = SampleDeviation(r) * sqrt(12.0) * 100;
    double deviation = returns.empty() ? 0 : sqrt(downside / (double)returns.size());
    a->downsideDeviation = deviation * sqrt(12.0) * 100;
    a->sortino = SafeDivide(Mean(excess) * 12, deviation * sqrt(12.0));
}

// The growth (last value / first value) of every window of months between two month ends,
// in the order of the windows' first months (given to firstMonths when asked). Growth
// orders the windows as their annualised returns do; only the few returns shown are
// annualised.
static std::vector<double> WindowGrowths(const std::vector<MonthEnd> &ends, uint32_t months,
                                         std::vector<uint32_t> *firstMonths)
{
    std::vector<double> out;
    size_t j = 0;
    for (size_t i = 0; i < ends.size(); i++) {
        uint32_t target = ends[i].month + months;
        while (j < ends.size() && ends[j].month < target)
            j++;
        if (j == ends.size())
            break;
        if (ends[j].month != target || !(ends[i].value > 0))
            continue;
        out.push_back(ends[j].value / ends[i].value);
        if (firstMonths)
            firstMonths->push_back(ends[i].month);
    }
    return out;
}

static double Annualised(double growth, uint32_t months)
{
    return (pow(growth, 12.0 / months) - 1) * 100;
}

static void Rolling(const std::vector<MonthEnd> &ends, AnalystStats *a)
{
    for (int w = 0; w < ROLLING_WINDOWS; w++) {
        RollingReturns *r = &a->rolling[w];
        uint32_t months = RollingMonths[w];
        std::vector<double> x = WindowGrowths(ends, months, nullptr);
        memset(r, 0, sizeof *r);
        r->count = (uint32_t)x.size();
        if (x.empty())
            continue;
        uint32_t positive = 0;
        for (double v : x)
            positive += v > 1;
        std::sort(x.begin(), x.end());
        size_t h = x.size() / 2;
        r->worst = Annualised(x.front(), months);
        r->best = Annualised(x.back(), months);
        r->median = x.size() % 2 ? Annualised(x[h], months)
                                 : (Annualised(x[h - 1], months) + Annualised(x[h], months)) / 2;
        r->positiveShare = 100.0 * positive / (double)x.size();
    }
}

void ComputeAnalystSeries(FundRecord *f, int s)
{
    AnalystStats *a = &f->stats[s].analyst;
    memset(a, 0, sizeof *a);
    Drawdown(f, s, a);
    std::vector<MonthEnd> ends = MonthEnds(f->points[s], f->points[s] ? f->pointCount : 0);
    MonthlyRisk(MonthlyReturns(ends), s, a);
    Rolling(ends, a);
    TrackChartExtreme(s, STAT_MAX_DRAWDOWN, a->maxDrawdown);
    TrackChartExtreme(s, STAT_SORTINO, a->sortino);
    TrackChartExtreme(s, STAT_WORST_3YEAR, a->rolling[1].worst);
}

// ---------------------------------------------------------------------------------------
// Against the index fund.

static void BenchmarkFigures(FundRecord *f, const FundRecord *index)
{
    AnalystStats *a = &f->stats[0].analyst;
    std::vector<MonthEnd> fundEnds = MonthEnds(f->points[0], f->pointCount);
    std::vector<MonthEnd> indexEnds = MonthEnds(index->points[0], index->pointCount);
    std::vector<MonthReturn> fr = MonthlyReturns(fundEnds), ir = MonthlyReturns(indexEnds);
    std::vector<double> x, y, d;
    double upFund = 0, upIndex = 0, downFund = 0, downIndex = 0;
    uint32_t up = 0, down = 0;
    size_t j = 0;
    RiskFreeMemo memo;
    for (const MonthReturn &m : fr) {
        while (j < ir.size() && ir[j].month < m.month)
            j++;
        if (j == ir.size())
            break;
        if (ir[j].month != m.month)
            continue;
        double rf = RiskFreeOfMonth(&memo, m.month), ri = ir[j].ret;
        x.push_back(m.ret - rf);
        y.push_back(ri - rf);
        d.push_back(m.ret - ri);
        // Capture compounds in logarithms: a product over decades leaves a double's range.
        if (ri > 0)
            upFund += log1p(m.ret), upIndex += log1p(ri), up++;
        else if (ri < 0)
            downFund += log1p(m.ret), downIndex += log1p(ri), down++;
    }
    a->benchmarkMonths = (uint32_t)x.size();
    if (x.size() < 2)
        return;
    double mx = Mean(x), my = Mean(y), sxy = 0, sxx = 0, syy = 0;
    for (size_t k = 0; k < x.size(); k++) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    a->beta = SafeDivide(sxy, syy);
    a->alpha = (pow(1 + (mx - a->beta * my), 12) - 1) * 100;
    a->rSquared = SafeDivide(sxy * sxy, sxx * syy) * 100;
    double deviation = SampleDeviation(d);
    a->trackingError = deviation * sqrt(12.0) * 100;
    a->informationRatio = SafeDivide(Mean(d) * 12, deviation * sqrt(12.0));
    if (up)
        a->upCapture = SafeDivide(expm1(upFund / up), expm1(upIndex / up)) * 100;
    if (down)
        a->downCapture = SafeDivide(expm1(downFund / down), expm1(downIndex / down)) * 100;

    // How often each rolling window beat the index fund's window of the same months.
    for (int w = 0; w < ROLLING_WINDOWS; w++) {
        std::vector<uint32_t> fm, im;
        std::vector<double> fx = WindowGrowths(fundEnds, RollingMonths[w], &fm);
        std::vector<double> ix = WindowGrowths(indexEnds, RollingMonths[w], &im);
        uint32_t both = 0, beat = 0;
        size_t k = 0;
        for (size_t i = 0; i < fm.size(); i++) {
            while (k < im.size() && im[k] < fm[i])
                k++;
            if (k < im.size() && im[k] == fm[i]) {
                both++;
                beat += fx[i] > ix[k];
            }
        }
        a->rolling[w].beatCount = both;
        a->rolling[w].beatShare = both ? 100.0 * beat / both : 0;
    }
}

// The fund's index fund for the figures against it: an index fund may be measured against
// another one too (an index against a broader one), though it has no relative series.
static const FundRecord *IndexFundOf(const FundRecord *f)
{
    if (!f->indexName)
        return nullptr;
    const FundRecord *index = FindFund(f->indexName);
    if (!index || index == f || FundCategory(index) != CATEGORY_INDEX || !index->points[0])
        return nullptr;
    return index;
}

// ---------------------------------------------------------------------------------------
// Percentile ranks.

// Figures where less is better; every other figure ranks the larger value first.
static int LowerIsBetter(uint32_t kind)
{
    return kind == CHART_VOLATILITY || kind == CHART_BETA || kind == CHART_DOWN_CAPTURE ||
           kind == CHART_TRACKING_ERROR || kind == CHART_OVERFIT_PROBABILITY;
}

static int IsBenchmarkChart(uint32_t kind)
{
    return kind >= CHART_BETA && kind <= CHART_INFORMATION_RATIO;
}

int AnalystChartValue(const FundRecord *f, int s, uint32_t kind, double *value)
{
    const AnalystStats *a = &f->stats[IsBenchmarkChart(kind) ? 0 : s].analyst;
    *value = 0;
    switch (kind) {
    case CHART_MAX_DRAWDOWN: *value = a->maxDrawdown; return f->pointCount >= 2;
    case CHART_SORTINO: *value = a->sortino; return a->monthCount >= 2;
    case CHART_BETA: *value = a->beta; break;
    case CHART_ALPHA: *value = a->alpha; break;
    case CHART_UP_CAPTURE: *value = a->upCapture; break;
    case CHART_DOWN_CAPTURE: *value = a->downCapture; break;
    case CHART_TRACKING_ERROR: *value = a->trackingError; break;
    case CHART_INFORMATION_RATIO: *value = a->informationRatio; break;
    case CHART_WORST_3_YEAR: *value = a->rolling[1].worst; return a->rolling[1].count > 0;
    default: return ValidationChartValue(f, kind, value);
    }
    return a->benchmarkMonths >= 2;
}

// The figure a chart ranks a fund by, and whether the fund has it: a period return only
// when the data reach back that far.
static int RankedFigure(const FundRecord *f, int s, uint32_t kind, double *value)
{
    const SeriesStats *st = &f->stats[s];
    static const uint32_t periodCodes[6] = {6, 1, 3, 5, 7, 10};
    int reach = 0;  // how many of the period codes longestPeriod covers
    for (int k = 0; k < 6; k++)
        if (st->longestPeriod == periodCodes[k])
            reach = k + 1;
    int enough = f->pointCount >= 2;
    switch (kind) {
    case CHART_YTD_RETURN: *value = st->ytdReturn; return enough;
    case CHART_VOLATILITY: *value = st->volatility; return enough;
    case CHART_REWARD_RISK: *value = st->rewardRisk; return enough;
    case CHART_TOTAL_RETURN: *value = st->totalReturn; return enough;
    case CHART_TAX_EFFICIENCY: *value = f->taxEfficiency; return enough;
    case CHART_6_MONTH: *value = st->return6Month; return reach >= 1;
    case CHART_1_YEAR: *value = st->return1Year; return reach >= 2;
    case CHART_3_YEAR: *value = st->return3Year; return reach >= 3;
    case CHART_5_YEAR: *value = st->return5Year; return reach >= 4;
    case CHART_7_YEAR: *value = st->return7Year; return reach >= 5;
    case CHART_10_YEAR: *value = st->return10Year; return reach >= 6;
    case CHART_SHARPE: *value = st->sharpe; return enough;
    }
    return AnalystChartValue(f, s, kind, value);
}

// Fund-report percentiles within each category: with n funds that have the figure, the
// fund at position k (1 best; ties share the better position) ranks
// floor((k - 1) * 100 / n) + 1.
static void PercentileRanks(int s, uint32_t kind)
{
    struct Entry {
        uint32_t category;
        double figure;
        uint32_t fund;
    };
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundTable[i].stats[s].analyst.percentile[kind] = 0;
        double figure;
        if (RankedFigure(&FundTable[i], s, kind, &figure))
            entries.push_back(Entry{FundCategory(&FundTable[i]),
                                    LowerIsBetter(kind) ? -figure : figure, i});
    }
    // By category, the best figure first.
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.category != b.category ? a.category < b.category : a.figure > b.figure;
    });
    for (size_t first = 0, end; first < entries.size(); first = end) {
        end = first;
        while (end < entries.size() && entries[end].category == entries[first].category)
            end++;
        uint32_t n = (uint32_t)(end - first), better = 0;
        for (size_t k = first; k < end; k++) {
            if (k > first && entries[k].figure < entries[k - 1].figure)
                better = (uint32_t)(k - first);
            FundTable[entries[k].fund].stats[s].analyst.percentile[kind] = better * 100 / n + 1;
        }
    }
}

static int IsRankedChart(uint32_t kind)
{
    return kind != CHART_NONE && kind != CHART_SIGNALS && kind != CHART_CURRENT_STRENGTH &&
           kind < CHART_KIND_COUNT;
}

void FinishAnalystFigures(void)
{
    static const ChartStatistic fundWide[] = {STAT_BETA, STAT_ALPHA, STAT_UP_CAPTURE,
                                              STAT_DOWN_CAPTURE, STAT_TRACKING_ERROR,
                                              STAT_INFORMATION_RATIO};
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        AnalystStats *a = &f->stats[0].analyst;
        a->benchmarkMonths = 0;
        a->beta = a->alpha = a->rSquared = a->trackingError = a->informationRatio = 0;
        a->upCapture = a->downCapture = 0;
        for (int w = 0; w < ROLLING_WINDOWS; w++)
            a->rolling[w].beatCount = 0, a->rolling[w].beatShare = 0;
        const FundRecord *index = IndexFundOf(f);
        if (index && f->points[0])
            BenchmarkFigures(f, index);
        // The figures against the index fund belong to the fund: both views chart them.
        for (int view = 0; view < 2; view++)
            for (ChartStatistic k : fundWide)
                TrackChartExtreme(view, k, ChartStatisticValue(&f->stats[0], k));
        if (f->points[1] == f->points[0])
            f->stats[1].analyst = f->stats[0].analyst;
        TrackValidationExtremes(f);
    }
    for (int s = 0; s < 2; s++)
        for (uint32_t kind = 0; kind < CHART_KIND_COUNT; kind++)
            if (IsRankedChart(kind))
                PercentileRanks(s, kind);
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
