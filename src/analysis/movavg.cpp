// The moving averages that the optimization tries and the fund graph draws.
#include "analysis/movavg.h"

#include <math.h>

#include "analysis/returns.h"

uint32_t TriangularWeights[TRIANGULAR_WEIGHT_COUNT];

void BuildTriangularWeights(void)
{
    for (uint32_t k = 0; k < TRIANGULAR_WEIGHT_COUNT; k++)
        TriangularWeights[k] = k * (k + 1) / 2;
}

// The points of a series and how many of the first n an average may write: none when
// the array is missing (an allocation failed) or the series index is out of range.
static NavPoint *LimitedPoints(const FundRecord *fund, uint32_t *n, int series)
{
    if (series < 0 || series > 1 || !fund->points[series] || fund->pointCount == 0) {
        *n = 0;
        return nullptr;
    }
    if (*n > fund->pointCount)
        *n = fund->pointCount;
    return fund->points[series];
}

void Uma(FundRecord *fund, uint32_t n, int series)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], UMA_LENGTH);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0)
        return;
    p[0].ma = p[0].value;
    double sum = 0;
    for (uint32_t i = 1; i < n; i++) {
        sum += p[i - 1].value;
        if (i > length)
            sum -= p[i - 1 - length].value;
        p[i].ma = sum / (i < length ? i : length);
    }
}

// The weight sum of k values. The length field holds up to 63 but the table ends at 60:
// a length from a damaged opt file takes its sum directly instead of reading past it.
static double WeightSum(uint32_t k)
{
    return k < TRIANGULAR_WEIGHT_COUNT ? TriangularWeights[k] : k * (k + 1) / 2.0;
}

void Wma(FundRecord *fund, uint32_t n, int series)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], WMA_LENGTH);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0)
        return;
    double full = WeightSum(length);
    p[0].ma = p[0].value;
    double weighted = 0, plain = 0;
    for (uint32_t i = 1; i < n; i++) {
        double newest = p[i - 1].value;
        if (i <= length) {
            // While the window grows every value keeps its weight; the newest gets i.
            weighted += i * newest;
            plain += newest;
            p[i].ma = SafeDivide(weighted, WeightSum(i));
        } else {
            // Every value of the full window loses one unit of weight, the oldest its
            // last one; the newest enters with the full length.
            weighted = weighted - plain + length * newest;
            plain = plain + newest - p[i - 1 - length].value;
            p[i].ma = SafeDivide(weighted, full);
        }
    }
}

void Ema(FundRecord *fund, uint32_t n, int series)
{
    uint32_t percent = GetMaParam(&fund->maSettings[series & 1], EMA_PERCENT);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || percent == 0)
        return;
    double e = p[0].value;
    for (uint32_t i = 0; i < n; i++) {
        e = (percent * p[i].value + (100.0 - percent) * e) / 100;
        p[i].ma = e;
    }
}

// The path (the sum of the absolute steps) of the last length steps up to point i, from
// vol, that of point i - 1.
static inline double SlidePath(const NavPoint *p, uint32_t i, uint32_t length, double vol)
{
    if (i >= 1)
        vol += fabs(p[i].value - p[i - 1].value);
    if (i > length)
        vol -= fabs(p[i - length].value - p[i - length - 1].value);
    return vol;
}

void Ama(FundRecord *fund, uint32_t n, int series)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], AMA_LENGTH);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0)
        return;
    double a = p[0].value, prev = p[0].value, vol = 0;
    for (uint32_t i = 0; i < n; i++) {
        double x = p[i].value;
        double change = fabs(x - (i < length ? p[0].value : p[i - length].value));
        vol = SlidePath(p, i, length, vol);
        double c = SafeDivide(change, vol);
        c *= c;
        // A move away from an average that lags far behind is followed twice as fast.
        if ((a < prev && prev < x && 2 * (x - prev) < prev - a) ||
            (a > prev && prev > x && 2 * (prev - x) < a - prev))
            c *= 2;
        if (x > a)
            a += fabs(x - prev) * c;
        else if (x < a)
            a -= fabs(x - prev) * c;
        p[i].ma = a;
        prev = x;
    }
}

void Vidya(FundRecord *fund, uint32_t n, int series, double reference)
{
    const MaSettings *s = &fund->maSettings[series & 1];
    uint32_t length = GetMaParam(s, VIDYA_LENGTH);
    uint32_t percent = GetMaParam(s, VIDYA_PERCENT);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0)
        return;
    double a = p[0].value, vol = 0;
    for (uint32_t i = 0; i < n; i++) {
        vol = SlidePath(p, i, length, vol);
        double alpha = percent * SafeDivide(vol, reference) / 100;
        a = (1 - alpha) * a + alpha * p[i].value;
        p[i].ma = a;
    }
}

void VidyaRatios(const FundRecord *fund, uint32_t n, int series, double reference,
                 double *ratio)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], VIDYA_LENGTH);
    NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0)
        return;
    double vol = 0;
    for (uint32_t i = 0; i < n; i++) {
        vol = SlidePath(p, i, length, vol);
        ratio[i] = SafeDivide(vol, reference);
    }
}

typedef double LanePair __attribute__((vector_size(16)));

// The parameters of the lanes as two pairs; lanes past count repeat the last parameter.
static void LaneParameters(const uint32_t *parameter, uint32_t count, LanePair *low,
                           LanePair *high)
{
    double v[AVERAGE_LANES];
    for (uint32_t k = 0; k < AVERAGE_LANES; k++)
        v[k] = parameter[k < count ? k : count - 1];
    *low = LanePair{v[0], v[1]};
    *high = LanePair{v[2], v[3]};
}

// Lane k of the two pairs into out[k], for the count lanes asked for.
static inline void StoreLanes(double *const *out, uint32_t count, uint32_t i, LanePair low,
                              LanePair high)
{
    out[0][i] = low[0];
    if (count > 1)
        out[1][i] = low[1];
    if (count > 2)
        out[2][i] = high[0];
    if (count > 3)
        out[3][i] = high[1];
}

void EmaLanes(const FundRecord *fund, uint32_t n, int series, const uint32_t *parameter,
              uint32_t count, double *const *out)
{
    const NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || count == 0 || count > AVERAGE_LANES)
        return;
    LanePair percentLow, percentHigh;
    LaneParameters(parameter, count, &percentLow, &percentHigh);
    LanePair restLow = 100.0 - percentLow, restHigh = 100.0 - percentHigh;
    LanePair low = {p[0].value, p[0].value}, high = low;
    for (uint32_t i = 0; i < n; i++) {
        LanePair x = {p[i].value, p[i].value};
        low = (percentLow * x + restLow * low) / 100;
        high = (percentHigh * x + restHigh * high) / 100;
        StoreLanes(out, count, i, low, high);
    }
}

void VidyaLanes(const FundRecord *fund, uint32_t n, int series, const double *ratio,
                const uint32_t *parameter, uint32_t count, double *const *out)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], VIDYA_LENGTH);
    const NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || length == 0 || count == 0 || count > AVERAGE_LANES)
        return;
    LanePair percentLow, percentHigh;
    LaneParameters(parameter, count, &percentLow, &percentHigh);
    LanePair low = {p[0].value, p[0].value}, high = low;
    for (uint32_t i = 0; i < n; i++) {
        LanePair x = {p[i].value, p[i].value}, r = {ratio[i], ratio[i]};
        LanePair alphaLow = percentLow * r / 100, alphaHigh = percentHigh * r / 100;
        low = (1 - alphaLow) * low + alphaLow * x;
        high = (1 - alphaHigh) * high + alphaHigh * x;
        StoreLanes(out, count, i, low, high);
    }
}

// Each lane takes Ama's steps without its branches: which way a point moves the average,
// and whether it moves it twice as fast, is as unpredictable as the prices.
void AmaLanes(const FundRecord *fund, uint32_t n, int series, const uint32_t *parameter,
              uint32_t count, double *const *out)
{
    const NavPoint *p = LimitedPoints(fund, &n, series);
    if (!p || n == 0 || count == 0 || count > AVERAGE_LANES)
        return;
    uint32_t length[AVERAGE_LANES];
    for (uint32_t k = 0; k < AVERAGE_LANES; k++) {
        length[k] = parameter[k < count ? k : count - 1];
        if (length[k] == 0)
            return;
    }
    LanePair lengthLow, lengthHigh;
    LaneParameters(parameter, count, &lengthLow, &lengthHigh);
    double first = p[0].value, prev = first;
    LanePair a[2] = {{first, first}, {first, first}}, vol[2] = {};
    for (uint32_t i = 0; i < n; i++) {
        double x = p[i].value;
        LanePair xs = {x, x}, prevs = {prev, prev}, at = {(double)i, (double)i};
        double stepped = i >= 1 ? fabs(x - p[i - 1].value) : 0;
        LanePair step = {stepped, stepped};
        double moved = fabs(x - prev);
        for (uint32_t h = 0; h < 2; h++) {
            LanePair len = h == 0 ? lengthLow : lengthHigh;
            // SlidePath and the change over the length, each lane with its own length.
            LanePair change, leaving;
            for (uint32_t l = 0; l < 2; l++) {
                uint32_t back = length[2 * h + l];
                change[l] = fabs(x - (i < back ? first : p[i - back].value));
                leaving[l] = i > back ? fabs(p[i - back].value - p[i - back - 1].value) : 0;
            }
            if (i >= 1)
                vol[h] += step;
            vol[h] = at > len ? vol[h] - leaving : vol[h];
            LanePair c = vol[h] == 0 ? LanePair{} : change / vol[h];
            c *= c;
            auto risingAway = (a[h] < prevs) & (prevs < xs) & (2 * (xs - prevs) < prevs - a[h]);
            auto fallingAway = (a[h] > prevs) & (prevs > xs) & (2 * (prevs - xs) < a[h] - prevs);
            c = (risingAway | fallingAway) ? c * 2 : c;
            LanePair move = moved * c;
            a[h] = xs > a[h] ? a[h] + move : (xs < a[h] ? a[h] - move : a[h]);
        }
        StoreLanes(out, count, i, a[0], a[1]);
        prev = x;
    }
}

void SetAverage(FundRecord *fund, uint32_t n, int series, const double *ma)
{
    NavPoint *p = LimitedPoints(fund, &n, series);
    for (uint32_t i = 0; p && i < n; i++)
        p[i].ma = ma[i];
}

uint32_t VidyaPercentLimit(const FundRecord *fund, int series, double *reference)
{
    uint32_t length = GetMaParam(&fund->maSettings[series & 1], VIDYA_LENGTH);
    uint32_t count = fund->pointCount;
    NavPoint *p = LimitedPoints(fund, &count, series);
    if (reference)
        *reference = 0;
    if (!p || count < 2)
        return 0;
    double total = 0, window = 0, peak = 0;
    for (uint32_t i = 1; i < count; i++) {
        double step = fabs(p[i].value - p[i - 1].value);
        total += step;
        window += step;
        if (i > length)
            window -= fabs(p[i - length].value - p[i - length - 1].value);
        if (window > peak)
            peak = window;
    }
    double r = MeanOf(total, count - 1) * length;
    if (reference)
        *reference = r;
    double ratio = SafeDivide(peak, r);
    double x = ratio == 0 ? 0 : 1 / ratio;
    if (!(x >= 0))
        x = 0;  // values that are not finite numbers
    if (x > 80)
        x = 80;
    return (uint32_t)(x * 100);
}

uint32_t VidyaSearchLimit(const FundRecord *fund, int series, double *reference)
{
    uint32_t limit = VidyaPercentLimit(fund, series, reference);
    return limit < VIDYA_PERCENT_MAX ? limit : VIDYA_PERCENT_MAX;
}

void MovingAverage(FundRecord *fund, uint32_t kind, uint32_t n, int series)
{
    switch (kind) {
    case MA_UMA:
        Uma(fund, n, series);
        break;
    case MA_WMA:
        Wma(fund, n, series);
        break;
    case MA_EMA:
        Ema(fund, n, series);
        break;
    case MA_AMA:
        Ama(fund, n, series);
        break;
    case MA_VIDYA: {
        double reference;
        VidyaPercentLimit(fund, series, &reference);
        Vidya(fund, n, series, reference);
        break;
    }
    default:
        break;
    }
}
