// The indicators and projections of a series that the fund graph draws.
#include "analysis/indicators.h"

#include <math.h>

#include "analysis/grid.h"
#include "analysis/normalize.h"
#include "analysis/returns.h"
#include "analysis/strategy.h"

// The stored MACD and ROC extremes leave a tenth of headroom for the graph's bands.
#define EXTREME_SCALE 1.1
#define RSI_STEPS 9
#define BAND_POINTS 20

static NavPoint *SeriesPoints(const FundRecord *fund, int series)
{
    if (series < 0 || series > 1 || fund->pointCount == 0)
        return nullptr;
    return fund->points[series];
}

static uint32_t Limit(const FundRecord *fund, uint32_t n)
{
    return n < fund->pointCount ? n : fund->pointCount;
}

// A running maximum and minimum that start at 0, over all points and the recent ones.
struct Extremes {
    double max, min, maxRecent, minRecent;
};

static void TrackExtremes(Extremes *e, double v, int recent)
{
    if (v > e->max)
        e->max = v;
    else if (v < e->min)
        e->min = v;
    if (recent) {
        if (v > e->maxRecent)
            e->maxRecent = v;
        else if (v < e->minRecent)
            e->minRecent = v;
    }
}

static void SetRsi(NavPoint *p, uint32_t rsi)
{
    p->dateWord = (p->dateWord & ~NAV_RSI_MASK) | ((rsi << NAV_RSI_SHIFT) & NAV_RSI_MASK);
}

// Adds (sign 1) or removes (sign -1) the step from point i - 1 to point i.
static void CountStep(const NavPoint *p, uint32_t i, double sign, double *gains,
                      double *losses)
{
    double previous = p[i - 1].value, current = p[i].value;
    if (current < previous)
        *losses += sign * (previous - current);
    else
        *gains += sign * (current - previous);
}

void Rsi(FundRecord *fund, int series)
{
    NavPoint *p = SeriesPoints(fund, series);
    if (!p)
        return;
    double gains = 0, losses = 0;
    for (uint32_t i = 0; i < fund->pointCount && i < RSI_STEPS; i++) {
        if (i >= 1)
            CountStep(p, i, 1, &gains, &losses);
        SetRsi(&p[i], 0);
    }
    for (uint32_t i = RSI_STEPS; i < fund->pointCount; i++) {
        CountStep(p, i, 1, &gains, &losses);
        uint32_t rsi = 100;
        if (losses != 0) {
            // The running sums can drift by rounding; the index stays within 0..100.
            double part = 100 / (gains / losses + 1);
            if (!(part >= 0))
                part = part < 0 ? 0 : 100;
            else if (part > 100)
                part = 100;
            rsi = 100 - (uint32_t)part;
        }
        SetRsi(&p[i], rsi);
        CountStep(p, i - RSI_STEPS + 1, -1, &gains, &losses);
    }
}

void BollingerMiddle(FundRecord *fund, int series)
{
    NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->bandPoints[series])
        return;
    BandPoint *b = fund->bandPoints[series];
    double e = p[0].value;
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        e = (9 * e + p[i].value) / 10;
        b[i].middle = i < BAND_POINTS ? 0.0 : e;
    }
}

void BollingerWidth(FundRecord *fund, int series)
{
    NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->bandPoints[series])
        return;
    BandPoint *b = fund->bandPoints[series];
    SeriesStats *st = &fund->stats[series];
    uint32_t recent = RecentBoundary(fund);
    st->maxBand = 0;
    st->maxBandRecent = 0;
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        if (i < BAND_POINTS) {
            b[i].width = 0.0;
            continue;
        }
        double sum = 0;
        for (uint32_t j = i - BAND_POINTS; j < i; j++) {
            double d = p[j].value - b[i].middle;
            sum += d * d;
        }
        b[i].width = 2 * sqrt(sum / BAND_POINTS);
        double top = b[i].middle + b[i].width;
        if (top > st->maxBand)
            st->maxBand = top;
        if (i >= recent && top > st->maxBandRecent)
            st->maxBandRecent = top;
    }
}

void TrendProjection(FundRecord *fund, int series)
{
    const NavPoint *p = SeriesPoints(fund, series);
    uint32_t count = p ? fund->pointCount : 0;
    double d[6];
    for (uint32_t k = 0; k < 6; k++)
        d[k] = count >= k + 2 ? p[count - 1 - k].value - p[count - 2 - k].value : 0;
    double previous = count > 0 ? p[count - 1].value : 0;
    for (uint32_t k = 0; k < 5; k++) {
        double sum = 0, weights = 0;
        for (uint32_t m = 0; m <= k + 1; m++) {
            sum += (k + 2 - m) * d[m];
            weights += k + 2 - m;
        }
        double value = sum / weights + previous;
        if (value < 0)
            value = 0;
        fund->trendProjection[series & 1][k] = value;
        previous = value;
    }
}

// The return of the step after point j, percent.
static double StepReturn(const NavPoint *p, uint32_t j)
{
    return PercentRatio(p[j + 1].value - p[j].value, p[j].value);
}

void PatternProjection(FundRecord *fund, int series)
{
    const NavPoint *p = SeriesPoints(fund, series);
    if (!p || fund->pointCount <= 10)
        return;
    uint32_t last = fund->pointCount - 1;
    double pattern[5];
    for (uint32_t k = 0; k < 5; k++)
        pattern[k] = StepReturn(p, last - 5 + k);
    uint32_t bestJ = 0;
    double bestDistance = 0;
    for (uint32_t j = last - 10 + 1; j-- > 0;) {
        double distance = 0;
        for (uint32_t k = 0; k < 5; k++) {
            double d = StepReturn(p, j + k) - pattern[k];
            distance += d * d;
        }
        if (j == last - 10 || distance < bestDistance) {
            bestJ = j;
            bestDistance = distance;
        }
    }
    fund->patternMatch[series] = bestJ + 6;
    double x = p[last].value;
    for (uint32_t k = 0; k < 5; k++) {
        double q = StepReturn(p, bestJ + 5 + k);
        x = q >= 0 ? x + PercentOf(x, q) : x - PercentOf(x, q);
        if (x < 0)
            x = 0;
        fund->patternProjection[series][k] = x;
    }
}

void Macd(FundRecord *fund, uint32_t n, int series)
{
    const NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->macdPoints[series])
        return;
    MacdPoint *m = fund->macdPoints[series];
    const MaSettings *ms = &fund->maSettings[series];
    double af = 2.0 / (GetMaParam(ms, MACD_FAST) + 1);
    double as = 2.0 / (GetMaParam(ms, MACD_SLOW) + 1);
    double f = p[0].value, s = p[0].value;
    uint32_t recent = RecentBoundary(fund);
    Extremes e = {0, 0, 0, 0};
    n = Limit(fund, n);
    for (uint32_t i = 0; i < n; i++) {
        f += (p[i].value - f) * af;
        s += (p[i].value - s) * as;
        m[i].macd = f - s;
        TrackExtremes(&e, m[i].macd, i >= recent);
    }
    SeriesStats *st = &fund->stats[series];
    st->macdMax = e.max * EXTREME_SCALE;
    st->macdMin = e.min * EXTREME_SCALE;
    st->macdMaxRecent = e.maxRecent * EXTREME_SCALE;
    st->macdMinRecent = e.minRecent * EXTREME_SCALE;
}

void MacdTrigger(FundRecord *fund, uint32_t n, int series)
{
    if (!SeriesPoints(fund, series) || !fund->macdPoints[series])
        return;
    MacdPoint *m = fund->macdPoints[series];
    double divisor = GetMaParam(&fund->maSettings[series], MACD_TRIGGER) + 1;
    double t = m[0].macd;
    n = Limit(fund, n);
    // In the written order: the step times 2, then divided (not times a factor 2 / d).
    for (uint32_t i = 0; i < n; i++) {
        t = t + (m[i].macd - t) * 2 / divisor;
        m[i].trigger = t;
    }
}

static void SetHoldingBit(NavPoint *p, uint32_t bit, uint32_t holding)
{
    if (holding)
        p->dateWord |= bit;
    else
        p->dateWord &= ~bit;
}

void SimulateMacd(FundRecord *fund, int series)
{
    NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->macdPoints[series])
        return;
    MacdPoint *m = fund->macdPoints[series];
    const MaSettings *ms = &fund->maSettings[series];
    SeriesStats *st = &fund->stats[series];
    double range = st->macdMax - st->macdMin;
    double buyMargin = range * GetMaParam(ms, MACD_BUY) / 100;
    double sellMargin = range * GetMaParam(ms, MACD_SELL) / 100;
    uint32_t slow = GetMaParam(ms, MACD_SLOW);
    uint32_t recent = RecentBoundary(fund);
    Extremes h = {0, 0, 0, 0};
    Strategy s;
    StartStrategy(&s, p[0].value);
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        double x = p[i].value;
        int buy = i >= slow && m[i].macd > m[i].trigger + buyMargin;
        int sell = m[i].macd < m[i].trigger - sellMargin;
        m[i].equity = ReplayPoint(&s, fund, series, i, x, sell, buy);
        SetHoldingBit(&p[i], NAV_MACD_HOLDING, s.holding);
        RestartReplay(&s, fund, i, x);
        TrackExtremes(&h, m[i].macd - m[i].trigger, i >= recent);
    }
    st->histogramMax = h.max;
    st->histogramMin = h.min;
    st->histogramMaxRecent = h.maxRecent;
    st->histogramMinRecent = h.minRecent;
}

void Roc(FundRecord *fund, uint32_t n, int series)
{
    const NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->rocPoints[series])
        return;
    RocPoint *r = fund->rocPoints[series];
    uint32_t length = GetMaParam(&fund->maSettings[series], ROC_LENGTH);
    uint32_t recent = RecentBoundary(fund);
    Extremes e = {0, 0, 0, 0};
    n = Limit(fund, n);
    for (uint32_t i = 0; i < n; i++) {
        r[i].roc = i < length ? 0 : p[i].value - p[i - length].value;
        TrackExtremes(&e, r[i].roc, i >= recent);
    }
    SeriesStats *st = &fund->stats[series];
    st->rocMax = e.max * EXTREME_SCALE;
    st->rocMin = e.min * EXTREME_SCALE;
    st->rocMaxRecent = e.maxRecent * EXTREME_SCALE;
    st->rocMinRecent = e.minRecent * EXTREME_SCALE;
}

#define ROC_BUY_FIRST 1
#define ROC_BUY_LAST 4
#define ROC_SELL_FIRST 5
#define ROC_SELL_LAST 8

// The ROC thresholds of the grid, percent of the series' ROC range: buy above
// threshold[a], sell below -threshold[b].
static void RocThresholds(const FundRecord *fund, int series, double *threshold)
{
    const SeriesStats *st = &fund->stats[series];
    for (uint32_t k = 1; k <= ROC_SELL_LAST; k++)
        threshold[k] = PercentOf(st->rocMax - st->rocMin, k);
}

static void StartRocGrid(double cash)
{
    for (uint32_t a = ROC_BUY_FIRST; a <= ROC_BUY_LAST; a++)
        for (uint32_t b = ROC_SELL_FIRST; b <= ROC_SELL_LAST; b++)
            StartStrategy(&StrategyGrid[a][b], cash);
}

// The final pass and the best cash of the ROC cells, scanned a then b, strictly greater
// wins.
static double FinishRocGrid(const FundRecord *fund, int series, uint32_t n, uint32_t *buy,
                            uint32_t *sell)
{
    for (uint32_t a = ROC_BUY_FIRST; a <= ROC_BUY_LAST; a++)
        for (uint32_t b = ROC_SELL_FIRST; b <= ROC_SELL_LAST; b++)
            FinishStrategy(&StrategyGrid[a][b], fund, series, n - 1);
    double best = StrategyGrid[ROC_BUY_FIRST][ROC_SELL_FIRST].cash;
    for (uint32_t a = ROC_BUY_FIRST; a <= ROC_BUY_LAST; a++)
        for (uint32_t b = ROC_SELL_FIRST; b <= ROC_SELL_LAST; b++)
            if (StrategyGrid[a][b].cash > best) {
                best = StrategyGrid[a][b].cash;
                *buy = a;
                *sell = b;
            }
    return best;
}

// Bit (a - ROC_BUY_FIRST) * 4 + (b - ROC_SELL_FIRST) stands for cell [a][b].
#define ROC_SIDE 4
static Strategy *RocCell(StrategyGridCells &grid, uint32_t bit)
{
    return &grid[ROC_BUY_FIRST + bit / ROC_SIDE][ROC_SELL_FIRST + bit % ROC_SIDE];
}

// One run of the ROC grid: the trial points, their values and ROCs, the ROC length and
// the thresholds.
struct RocRun {
    uint32_t n, length;
    const NavPoint *p;
    const RocPoint *r;
    double threshold[ROC_SELL_LAST + 1];
};

// The first thresholds as the result so far and the cells started; 0 when there is
// nothing to score.
static int StartRocRun(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell, RocRun *run)
{
    *buy = ROC_BUY_FIRST;
    *sell = ROC_SELL_FIRST;
    run->n = TrialPointCount(fund, series);
    if (run->n == 0 || !fund->rocPoints[series])
        return 0;
    run->p = fund->points[series];
    run->r = fund->rocPoints[series];
    run->length = GetMaParam(&fund->maSettings[series], ROC_LENGTH);
    RocThresholds(fund, series, run->threshold);
    StartRocGrid(run->p[0].value);
    return 1;
}

double ScoreRocGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    if (GridReferenceOnly)
        return ScoreRocGridReference(fund, series, buy, sell);
    RocRun run;
    if (!StartRocRun(fund, series, buy, sell, &run))
        return 0;
    // As in the moving-average grid: a row shares the buy signal, a column the sell
    // signal, and only the strategies whose own state's signal holds trade.
    StrategyGridCells &grid = StrategyGrid;
    uint32_t holding = 0;
    for (uint32_t i = 0; i < run.n; i++) {
        double roc = run.r[i].roc, x = run.p[i].value;
        uint32_t buys = 0, sells = 0;
        for (uint32_t k = 0; k < ROC_SIDE; k++) {
            if (i >= run.length && roc > run.threshold[ROC_BUY_FIRST + k])
                buys |= 0xFu << (k * ROC_SIDE);
            if (roc < -run.threshold[ROC_SELL_FIRST + k])
                sells |= 0x1111u << k;
        }
        uint32_t selling = sells & holding, buying = buys & ~holding;
        if ((selling | buying) == 0)
            continue;
        for (uint32_t bits = selling; bits; bits &= bits - 1)
            SellShares(RocCell(grid, (uint32_t)__builtin_ctz(bits)), i, x);
        for (uint32_t bits = buying; bits; bits &= bits - 1) {
            Strategy *st = RocCell(grid, (uint32_t)__builtin_ctz(bits));
            BuyShares(st, i, x, CashAmount(st, fund, series, i));
        }
        holding ^= selling | buying;
    }
    return FinishRocGrid(fund, series, run.n, buy, sell);
}

double ScoreRocGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    RocRun run;
    if (!StartRocRun(fund, series, buy, sell, &run))
        return 0;
    for (uint32_t i = 0; i < run.n; i++)
        for (uint32_t a = ROC_BUY_FIRST; a <= ROC_BUY_LAST; a++)
            for (uint32_t b = ROC_SELL_FIRST; b <= ROC_SELL_LAST; b++)
                TradeOnSignals(&StrategyGrid[a][b], fund, series, i, run.p[i].value,
                               run.r[i].roc < -run.threshold[b],
                               i >= run.length && run.r[i].roc > run.threshold[a]);
    return FinishRocGrid(fund, series, run.n, buy, sell);
}

void SimulateRoc(FundRecord *fund, int series)
{
    NavPoint *p = SeriesPoints(fund, series);
    if (!p || !fund->rocPoints[series])
        return;
    RocPoint *r = fund->rocPoints[series];
    const MaSettings *ms = &fund->maSettings[series];
    const SeriesStats *st = &fund->stats[series];
    double range = st->rocMax - st->rocMin;
    double buyLevel = range * GetMaParam(ms, ROC_BUY) / 100;
    double sellLevel = -(range * GetMaParam(ms, ROC_SELL) / 100);
    uint32_t length = GetMaParam(ms, ROC_LENGTH);
    Strategy s;
    StartStrategy(&s, p[0].value);
    for (uint32_t i = 0; i < fund->pointCount; i++) {
        double x = p[i].value;
        int buy = i >= length && r[i].roc > buyLevel;
        int sell = r[i].roc < sellLevel;
        r[i].equity = ReplayPoint(&s, fund, series, i, x, sell, buy);
        SetHoldingBit(&p[i], NAV_ROC_HOLDING, s.holding);
        RestartReplay(&s, fund, i, x);
    }
}
