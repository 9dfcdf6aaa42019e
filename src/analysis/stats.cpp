// The statistics step of a series: volatility, period and year returns, latest-point measures.
#include "analysis/stats.h"

#include <math.h>
#include <string.h>

#include "analysis/analyst.h"
#include "analysis/extremes.h"
#include "analysis/returns.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"

// Per thread, and only used in this file (reached from others through the setter).
static thread_local double *ThreadQuarterTable;

void SetThreadQuarterTable(double *table)
{
    ThreadQuarterTable = table;
}

static uint32_t DateOf(const NavPoint *p)
{
    return p->dateWord & 0xFFFF;
}

static int32_t PeriodOf(const NavPoint *p)
{
    return DatePeriodOf(DateOf(p));
}

// A point that opens a quarter: dated in the first week of a quarter's first month, or
// the first point of that month when it lies later in the month and the point before it
// is some three weeks or more (4 DatePeriods) older. Month-end data has no first-week
// points at all; without the second rule it had no quarterly samples and a volatility of
// 0. The distance keeps weekly and daily series to the first-week rule also where a
// holiday week leaves their first January point on the 8th or 9th.
static int IsQuarterPoint(const NavPoint *p, uint32_t i, uint32_t *month, uint32_t *year)
{
    uint32_t index = DateOf(&p[i]);
    if (index >= DateCount)
        return 0;
    PackedDate d = DateTable[index];
    uint32_t m = PackedMonth(d);
    if (m != 1 && m != 4 && m != 7 && m != 10)
        return 0;
    if (PackedDay(d) > 7) {
        // The series' first point has nothing before it, so it cannot be shown to open
        // the month.
        if (i == 0 || DateOf(&p[i - 1]) >= DateCount)
            return 0;
        PackedDate b = DateTable[DateOf(&p[i - 1])];
        if ((PackedYearCode(b) == PackedYearCode(d) && PackedMonth(b) == m) ||
            PeriodOf(&p[i - 1]) + 4 > PeriodOf(&p[i]))
            return 0;
    }
    *month = m;
    *year = PackedYearCode(d);
    return 1;
}

static int IsLateDecember(const NavPoint *p)
{
    uint32_t index = DateOf(p);
    if (index >= DateCount)
        return 0;
    PackedDate d = DateTable[index];
    return PackedMonth(d) == 12 && PackedDay(d) >= 25;
}

// Population standard deviation of the quarterly returns, from the last point that opens
// each quarter to the first that opens the next.
static double QuarterlyVolatility(const NavPoint *p, uint32_t n)
{
    double *table = ThreadQuarterTable ? ThreadQuarterTable : QuarterTable;
    uint32_t samples = 0;
    uint32_t pIndex = 0;
    uint32_t pMonth = 0, pYear = 0;
    int pIsQuarter = n > 0 && IsQuarterPoint(p, 0, &pMonth, &pYear);
    uint32_t next = 0;
    for (;;) {
        uint32_t qMonth = 0, qYear = 0, q = next;
        while (q < n && !IsQuarterPoint(p, q, &qMonth, &qYear))
            q++;
        if (q >= n)
            break;
        uint32_t wantMonth = pMonth == 10 ? 1 : pMonth + 3;
        uint32_t wantYear = pMonth == 10 ? pYear + 1 : pYear;
        if (pIsQuarter && q != pIndex && qMonth == wantMonth && qYear == wantYear) {
            if (samples < QuarterCount) {
                table[samples++] = PercentChange(p[pIndex].value, p[q].value);
            } else {
                ReportError("parray overflow");
            }
        }
        pIndex = q;
        pMonth = qMonth;
        pYear = qYear;
        pIsQuarter = 1;
        next = q + 1;
    }
    if (samples == 0)
        return 0;
    double sum = 0;
    for (uint32_t i = 0; i < samples; i++)
        sum += table[i];
    double mean = sum / samples;
    double squares = 0;
    for (uint32_t i = 0; i < samples; i++)
        squares += (table[i] - mean) * (table[i] - mean);
    return sqrt(squares / samples);
}

static void RaiseTo(double *maximum, double value)
{
    if (value > *maximum)
        *maximum = value;
}

static void ScaleMaxima(FundRecord *f, int s, uint32_t recentFrom)
{
    SeriesStats *st = &f->stats[s];
    const NavPoint *p = f->points[s];
    const MacdPoint *macd = f->macdPoints[s];
    const RocPoint *roc = f->rocPoints[s];
    st->maxValue = st->maxMaEquity = st->maxMacdEquity = st->maxRocEquity = 0;
    st->maxValueRecent = st->maxMaEquityRecent = st->maxMacdEquityRecent = 0;
    st->maxRocEquityRecent = 0;
    for (uint32_t i = 0; i < f->pointCount; i++) {
        double v = p[i].value;
        RaiseTo(&st->maxValue, v);
        RaiseTo(&st->maxMaEquity, v);
        RaiseTo(&st->maxMaEquity, p[i].maEquity);
        RaiseTo(&st->maxMacdEquity, v);
        RaiseTo(&st->maxRocEquity, v);
        if (macd)
            RaiseTo(&st->maxMacdEquity, macd[i].equity);
        if (roc)
            RaiseTo(&st->maxRocEquity, roc[i].equity);
        if (recentFrom == 0 || i < recentFrom)
            continue;
        RaiseTo(&st->maxValueRecent, v);
        RaiseTo(&st->maxMaEquityRecent, v);
        RaiseTo(&st->maxMacdEquityRecent, v);
        RaiseTo(&st->maxRocEquityRecent, v);
        // The equity lines restart on the price at the boundary point.
        if (i == recentFrom)
            continue;
        RaiseTo(&st->maxMaEquityRecent, p[i].maEquity);
        if (macd)
            RaiseTo(&st->maxMacdEquityRecent, macd[i].equity);
        if (roc)
            RaiseTo(&st->maxRocEquityRecent, roc[i].equity);
    }
    if (recentFrom == 0) {
        st->maxValueRecent = st->maxValue;
        st->maxMaEquityRecent = st->maxMaEquity;
        st->maxMacdEquityRecent = st->maxMacdEquity;
        st->maxRocEquityRecent = st->maxRocEquity;
    }
    for (int k = 0; k < 10; k++) {
        double q = k < 5 ? f->trendProjection[s][k] : f->patternProjection[s][k - 5];
        RaiseTo(&st->maxMaEquity, q);
        RaiseTo(&st->maxMacdEquity, q);
        RaiseTo(&st->maxRocEquity, q);
        RaiseTo(&st->maxMaEquityRecent, q);
        RaiseTo(&st->maxMacdEquityRecent, q);
        RaiseTo(&st->maxRocEquityRecent, q);
    }
}

static void PeriodReturns(FundRecord *f, int s)
{
    SeriesStats *st = &f->stats[s];
    const NavPoint *p = f->points[s];
    uint32_t n = f->pointCount;
    int32_t last = PeriodOf(&p[n - 1]);
    double lastValue = p[n - 1].value;
    static const struct {
        int32_t span;
        uint32_t code;
        ChartStatistic statistic;
    } periods[] = {{30, 6, STAT_6MONTH},   {60, 1, STAT_1YEAR},   {180, 3, STAT_3YEAR},
                   {300, 5, STAT_5YEAR},   {420, 7, STAT_7YEAR},  {600, 10, STAT_10YEAR}};
    double *fields[] = {&st->return6Month, &st->return1Year, &st->return3Year,
                        &st->return5Year,  &st->return7Year, &st->return10Year};
    st->longestPeriod = 0;
    uint32_t i = n - 2;
    for (int k = 0; k < 6; k++) {
        int32_t span = periods[k].span;
        if (k < 2) {
            // Six months and one year each search back from the last-but-one point;
            // the longer periods go on from where the one before them stopped.
            if (last <= span - 1)
                return;
            i = n - 2;
        } else if (last < span) {
            return;
        }
        while (i != 0 && PeriodOf(&p[i]) > last - span)
            i--;
        if (PeriodOf(&p[i]) > last - span)
            return;
        *fields[k] = AnnualizedReturn(p[i].value, lastValue, last - PeriodOf(&p[i]));
        st->longestPeriod = periods[k].code;
        TrackChartExtreme(s, periods[k].statistic, *fields[k]);
    }
}

static void YearReturns(FundRecord *f, int s)
{
    const NavPoint *p = f->points[s];
    uint32_t n = f->pointCount;
    uint32_t firstYear = YearCodeOf(DateOf(&p[0]));
    uint32_t lastYear = YearCodeOf(DateOf(&p[n - 1]));
    uint32_t count = lastYear >= firstYear ? lastYear - firstYear + 1 : 0;
    if (!f->yearReturns[s]) {
        f->yearReturns[s] = (YearReturn *)AllocZero(count, sizeof(YearReturn));
        if (!f->yearReturns[s])
            return;
        f->yearCount = count;
    }
    YearReturn *years = f->yearReturns[s];
    uint32_t room = (uint32_t)(BlockSize(years) / sizeof(YearReturn));
    memset(years, 0, room * sizeof(YearReturn));
    uint32_t e = 0;
    uint32_t y0 = firstYear;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t y = YearCodeOf(DateOf(&p[i]));
        if (i + 1 < n && YearCodeOf(DateOf(&p[i + 1])) == y)
            continue;
        int isLast = i == n - 1;
        int lateE = IsLateDecember(&p[e]), lateI = IsLateDecember(&p[i]);
        int valid = (y == y0 + 1 && lateE && lateI) ||
                    (e == 0 && i != 0 && y == y0 && (lateI || isLast)) ||
                    (y == y0 + 1 && lateE && isLast);
        if (valid && y >= firstYear && y - firstYear < room) {
            years[y - firstYear].percent = PercentChange(p[e].value, p[i].value);
            years[y - firstYear].valid = 1;
        }
        e = i;
        y0 = y;
    }
    SeriesStats *st = &f->stats[s];
    st->ytdReturn = 0;
    if (lastYear == LastYearCode && lastYear - firstYear < room &&
        years[lastYear - firstYear].valid)
        st->ytdReturn = years[lastYear - firstYear].percent;
    TrackChartExtreme(s, STAT_YTD, st->ytdReturn);
}

static double Clamp100(double x)
{
    return x > 100 ? 100 : (x < -100 ? -100 : x);
}

static void LatestMeasures(FundRecord *f, int s)
{
    SeriesStats *st = &f->stats[s];
    uint32_t n = f->pointCount;
    if (n == 0) {
        st->currentStrength = st->maSignal = st->macdStrength = st->rocLatest = 0;
    } else {
        const NavPoint *last = &f->points[s][n - 1];
        double v = last->value, m = last->ma;
        uint32_t kind = f->maSettings[s].maKind;
        double b = kind ? GetMaParam(&f->maSettings[s], MaBuyParam(kind)) : 0;
        double c = kind ? GetMaParam(&f->maSettings[s], MaSellParam(kind)) : 0;
        if (v < m) {
            st->currentStrength = Clamp100(-SafeDivide(m - v, m) * 100);
            st->maSignal = v >= m - PercentOf(m, c) ? st->currentStrength : -c;
        } else {
            st->currentStrength = Clamp100(SafeDivide(v - m, m) * 100);
            st->maSignal = v <= m + PercentOf(m, b) ? st->currentStrength : b;
        }
        double macd = f->macdPoints[s] ? f->macdPoints[s][n - 1].macd : 0;
        double trigger = f->macdPoints[s] ? f->macdPoints[s][n - 1].trigger : 0;
        if (macd == trigger)
            st->macdStrength = 0;
        else if (trigger == 0)
            st->macdStrength = Clamp100(macd / 0.01 * 100);
        else
            st->macdStrength = Clamp100((macd - trigger) / fabs(trigger) * 100);
        st->rocLatest = f->rocPoints[s] ? f->rocPoints[s][n - 1].roc : 0;
    }
    TrackChartExtreme(s, STAT_STRENGTH, st->currentStrength);
    TrackChartExtreme(s, STAT_MACD_STRENGTH, st->macdStrength);
    TrackChartExtreme(s, STAT_ROC, st->rocLatest);
}

void ComputeSeriesStatistics(FundRecord *f, int s)
{
    SeriesStats *st = &f->stats[s];
    const NavPoint *p = f->points[s];
    uint32_t n = p ? f->pointCount : 0;
    uint32_t recentFrom = f->recentStart ? f->recentStart : f->recentStartShort;

    st->volatility = QuarterlyVolatility(p, n);
    TrackChartExtreme(s, STAT_VOLATILITY, st->volatility);
    if (n > 0)
        ScaleMaxima(f, s, recentFrom);

    if (n >= 2) {
        PeriodReturns(f, s);
        YearReturns(f, s);
    }
    LatestMeasures(f, s);

    st->totalReturn =
        n >= 2 ? AnnualizedReturn(p[0].value, p[n - 1].value, PeriodOf(&p[n - 1]) - PeriodOf(&p[0]))
               : 0;
    TrackChartExtreme(s, STAT_TOTAL, st->totalReturn);

    double longest = st->totalReturn;
    switch (st->longestPeriod) {
    case 6: longest = st->return6Month; break;
    case 1: longest = st->return1Year; break;
    case 3: longest = st->return3Year; break;
    case 5: longest = st->return5Year; break;
    case 7: longest = st->return7Year; break;
    case 10: longest = st->return10Year; break;
    }
    st->rewardRisk = SafeDivide(longest, st->volatility);
    TrackChartExtreme(s, STAT_REWARD_RISK, st->rewardRisk);

    if (s == 0) {
        double riskFree = n > 0 ? RiskFreeReturn(DateOf(&p[0]), DateOf(&p[n - 1])) : 0;
        st->sharpe = SafeDivide(st->totalReturn - riskFree, st->volatility);
    } else {
        // The relative series is already an excess return.
        st->sharpe = SafeDivide(st->totalReturn, st->volatility);
    }
    TrackChartExtreme(s, STAT_SHARPE, st->sharpe);

    if (s == 0) {
        if (f->navChange > 0 && f->distTotal != 0)
            f->taxEfficiency = PercentRatio(f->navChange, f->navChange + f->distTotal);
        TrackTaxEfficiencyExtreme(f->taxEfficiency);
    }
    ComputeAnalystSeries(f, s);
}
