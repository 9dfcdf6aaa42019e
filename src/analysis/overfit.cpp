// The probability of backtest overfitting and the deflated Sharpe ratio of the chosen
// moving-average rule, over the strategies the search tried for its kind.
#include "analysis/overfit.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "analysis/grid.h"
#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "analysis/strategy.h"
#include "data/alloc.h"

// Not every C library defines M_PI and M_E.
static const double Pi = 3.14159265358979323846;
static const double E = 2.71828182845904523536;

double NormalCdf(double x)
{
    return 0.5 * erfc(-x / sqrt(2.0));
}

// Acklam's rational approximation (relative error below 1.2e-9), then one step of
// Halley's method on the erfc-based distribution function, which brings it to the
// precision of erfc itself.
double NormalQuantile(double p)
{
    static const double a[6] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                -2.759285104469687e+02, 1.383577518672690e+02,
                                -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[5] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                -1.556989798598866e+02, 6.680131188771972e+01,
                                -1.328068155288572e+01};
    static const double c[6] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                -2.400758277161838e+00, -2.549732539343734e+00,
                                4.374664141464968e+00, 2.938163982698783e+00};
    static const double d[4] = {7.784695709041462e-03, 3.224671290700398e-01,
                                2.445134137142996e+00, 3.754408661907416e+00};
    if (!(p >= 0 && p <= 1))
        return NAN;
    if (p == 0)
        return -INFINITY;
    if (p == 1)
        return INFINITY;
    const double low = 0.02425;
    double x;
    if (p < low || p > 1 - low) {
        double q = sqrt(-2 * log(p < low ? p : 1 - p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        if (p > low)
            x = -x;
    } else {
        double q = p - 0.5, r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
    }
    double e = NormalCdf(x) - p;
    double u = e * sqrt(2 * Pi) * exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double ExpectedMaximumSharpe(uint32_t trials, double variance)
{
    const double euler = 0.5772156649015329;
    if (trials < 2 || !(variance > 0))
        return 0;
    double n = trials;
    return sqrt(variance) * ((1 - euler) * NormalQuantile(1 - 1 / n) +
                             euler * NormalQuantile(1 - 1 / (n * E)));
}

double DeflatedSharpe(double sharpe, double sr0, uint32_t observations, double skewness,
                      double kurtosis)
{
    double spread = 1 - skewness * sharpe + (kurtosis - 1) / 4 * sharpe * sharpe;
    if (observations < 2 || !(spread > 0))
        return 0;
    return NormalCdf((sharpe - sr0) * sqrt(observations - 1.0) / sqrt(spread));
}

// ---------------------------------------------------------------------------------------
// CSCV. The Sharpe ratio of count returns with this sum and sum of squares is
// sum / sqrt(d) * sqrt((count - 1) / count) with d = count * squares - sum^2; only the
// order of the ratios matters, and sum |sum| / d has the same order without a square
// root. A strategy without spread (cash all along) counts as 0.
static inline double SharpeOrder(double sum, double squares, double count)
{
    double d = count * squares - sum * sum;
    return d > 0 ? sum * fabs(sum) / d : 0;
}

double CscvOverfitProbability(const double *sum, const double *squares, const uint32_t *weight,
                              uint32_t strategies, uint32_t blocks, uint32_t perBlock)
{
    if (strategies < 2 || blocks < 2 || blocks > 24 || blocks % 2 != 0 || perBlock == 0)
        return -1;
    double total = 0;
    for (uint32_t j = 0; j < strategies; j++)
        total += weight ? weight[j] : 1;
    double *work = (double *)AllocZero(4 * (size_t)strategies, sizeof(double));
    if (!work)
        return -1;
    double *inSum = work, *inSquares = work + strategies;
    double *outSum = work + 2 * (size_t)strategies, *outSquares = work + 3 * (size_t)strategies;
    double count = (double)(blocks / 2) * perBlock;
    uint32_t choices = 0, overfit = 0;
    for (uint32_t mask = 0; mask < (1u << blocks); mask++) {
        if ((uint32_t)__builtin_popcount(mask) != blocks / 2)
            continue;
        memset(work, 0, 4 * (size_t)strategies * sizeof(double));
        for (uint32_t b = 0; b < blocks; b++) {
            const double *s = sum + (size_t)b * strategies, *q = squares + (size_t)b * strategies;
            double *ts = (mask >> b) & 1 ? inSum : outSum;
            double *tq = (mask >> b) & 1 ? inSquares : outSquares;
            for (uint32_t j = 0; j < strategies; j++) {
                ts[j] += s[j];
                tq[j] += q[j];
            }
        }
        uint32_t best = 0;
        double bestOrder = SharpeOrder(inSum[0], inSquares[0], count);
        for (uint32_t j = 1; j < strategies; j++) {
            double o = SharpeOrder(inSum[j], inSquares[j], count);
            if (o > bestOrder) {
                best = j;
                bestOrder = o;
            }
        }
        double chosen = SharpeOrder(outSum[best], outSquares[best], count);
        double below = 0, equal = 0;
        for (uint32_t j = 0; j < strategies; j++) {
            double o = SharpeOrder(outSum[j], outSquares[j], count);
            double w = weight ? weight[j] : 1;
            if (o < chosen)
                below += w;
            else if (o == chosen)
                equal += w;
        }
        // The mean rank of the tied group; the logit is at or below 0 exactly when the
        // relative rank is at most one half.
        double rank = below + (equal + 1) / 2;
        choices++;
        if (rank / (total + 1) <= 0.5)
            overfit++;
    }
    FreeBlock(work);
    return (double)overfit / choices;
}

// ---------------------------------------------------------------------------------------
// The strategies of one kind: its parameter values in the search's order, each with the
// 121 threshold pairs.

struct KindTrial {
    uint32_t value, percent;
    double reference;  // VIDYA: the reference volatility of its length
};

// Room for VIDYA's 10 lengths with every even percent the field holds, and one more.
#define KIND_TRIAL_ROOM (10 * (VIDYA_PERCENT_MAX / 2) + 1)

static uint32_t KindTrials(FundRecord *f, uint32_t kind, KindTrial *out)
{
    MaSettings *ms = &f->maSettings[0];
    uint32_t count = f->pointCount, n = 0;
    switch (kind) {
    case MA_UMA:
    case MA_WMA:
        for (uint32_t v = 2; v <= 60 && v < count; v += 2)
            out[n++] = KindTrial{v, 0, 0};
        break;
    case MA_EMA:
        for (uint32_t v = 10; v <= 80; v += 2)
            out[n++] = KindTrial{v, 0, 0};
        break;
    case MA_AMA:
        for (uint32_t v = 2; v <= 30 && v < count; v += 2)
            out[n++] = KindTrial{v, 0, 0};
        break;
    case MA_VIDYA:
        for (uint32_t v = 2; v <= 20 && v < count; v += 2) {
            SetMaParam(ms, VIDYA_LENGTH, v);
            double reference;
            uint32_t limit = VidyaSearchLimit(f, 0, &reference);
            for (uint32_t percent = 2; percent <= limit; percent += 2)
                out[n++] = KindTrial{v, percent, reference};
        }
        break;
    default:
        break;
    }
    return n;
}

// The average of one trial over the n trial points.
static void TrialAverage(FundRecord *f, uint32_t kind, const KindTrial *t, uint32_t n)
{
    MaSettings *ms = &f->maSettings[0];
    SetMaParam(ms, MaLengthParam(kind), t->value);
    if (kind == MA_VIDYA) {
        SetMaParam(ms, VIDYA_PERCENT, t->percent);
        Vidya(f, n, 0, t->reference);
    } else {
        MovingAverage(f, kind, n, 0);
    }
}

// The returns of every strategy: per block (sum and squares, [block][strategy]) for
// CSCV, and over every return (the first four power sums, [power][strategy]) for the
// Sharpe ratios and the chosen one's moments.
struct ReturnSums {
    uint32_t strategies;
    uint32_t skip, perBlock;  // returns left out before the first block; returns a block
    double *blockSum, *blockSquares;
    double *powers;
};

#define GRID_CELLS (STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS)

// Each strategy's excess return over the step into point i, in logs: the fund's log
// return less the money market's while it holds the fund through the step, nothing while
// it holds cash (which earns just the money market), plus what a trade's fee takes. The
// holding state follows the trading rule alone, so no cash needs to be carried.
static void AddTrialReturns(const FundRecord *f, const double *excess, uint32_t n,
                            uint32_t first, ReturnSums *r)
{
    double feeLog[FEE_POINTS + 1];
    for (uint32_t k = 0; k <= FEE_POINTS; k++)
        feeLog[k] = log1p(-TradingFeeTable[k] / 100);
    uint8_t holding[GRID_CELLS] = {};
    uint32_t lastTrade[GRID_CELLS] = {};
    const NavPoint *p = f->points[0];
    uint32_t N = r->strategies;
    for (uint32_t i = 0; i < n; i++) {
        double x = p[i].value, m = p[i].ma;
        int sellAt[STRATEGY_THRESHOLDS], buyAt[STRATEGY_THRESHOLDS];
        for (uint32_t k = 0; k < STRATEGY_THRESHOLDS; k++) {
            sellAt[k] = MaSellSignal(x, m, k);
            buyAt[k] = MaBuySignal(x, m, k);
        }
        int inBlock = i >= 1 + r->skip;
        uint32_t b = inBlock ? (i - 1 - r->skip) / r->perBlock : 0;
        for (uint32_t cell = 0; cell < GRID_CELLS; cell++) {
            double ret = i >= 1 && holding[cell] ? excess[i] : 0;
            int trade = holding[cell] ? sellAt[cell % STRATEGY_THRESHOLDS]
                                      : buyAt[cell / STRATEGY_THRESHOLDS];
            if (trade) {
                uint32_t last = lastTrade[cell];
                if (last != 0 && i > last && i - last <= FEE_POINTS)
                    ret += feeLog[i - last];
                lastTrade[cell] = i;
                holding[cell] ^= 1;
            }
            if (i == 0)
                continue;
            uint32_t j = first + cell;
            double sq = ret * ret;
            r->powers[j] += ret;
            r->powers[N + j] += sq;
            r->powers[2 * (size_t)N + j] += sq * ret;
            r->powers[3 * (size_t)N + j] += sq * sq;
            if (inBlock) {
                r->blockSum[(size_t)b * N + j] += ret;
                r->blockSquares[(size_t)b * N + j] += sq;
            }
        }
    }
}

// Strategies with identical block sums are one strategy for CSCV, counted by weight;
// whole rows of thresholds that never trigger, or trigger alike, collapse this way and
// the ranking is the same. Writes the merged matrix over r's arrays and the weights;
// returns the number of distinct strategies.
static uint32_t MergeIdenticalStrategies(ReturnSums *r, uint32_t *weight, uint64_t *keys)
{
    uint32_t N = r->strategies;
    const uint32_t blocks = CSCV_BLOCKS;
    auto same = [&](uint32_t a, uint32_t b) {
        for (uint32_t k = 0; k < blocks; k++)
            if (r->blockSum[(size_t)k * N + a] != r->blockSum[(size_t)k * N + b] ||
                r->blockSquares[(size_t)k * N + a] != r->blockSquares[(size_t)k * N + b])
                return false;
        return true;
    };
    for (uint32_t j = 0; j < N; j++) {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t k = 0; k < blocks; k++) {
            uint64_t bits[2];
            memcpy(&bits[0], &r->blockSum[(size_t)k * N + j], 8);
            memcpy(&bits[1], &r->blockSquares[(size_t)k * N + j], 8);
            h = (h ^ bits[0]) * 1099511628211ull;
            h = (h ^ bits[1]) * 1099511628211ull;
        }
        keys[j] = (h << 20) | j;  // N stays below 2^20
    }
    std::sort(keys, keys + N);
    // representative of each strategy, kept in weight[] for now
    for (uint32_t j = 0; j < N; j++)
        weight[j] = j;
    for (uint32_t start = 0; start < N;) {
        uint32_t end = start + 1;
        while (end < N && keys[end] >> 20 == keys[start] >> 20)
            end++;
        for (uint32_t a = start + 1; a < end; a++) {
            uint32_t ja = (uint32_t)(keys[a] & 0xFFFFF);
            for (uint32_t b = start; b < a; b++) {
                uint32_t jb = (uint32_t)(keys[b] & 0xFFFFF);
                if (weight[jb] == jb && same(ja, jb)) {
                    weight[ja] = jb;
                    break;
                }
            }
        }
        start = end;
    }
    // Distinct strategies in the order of their first member, so that the first of
    // equals stays the first.
    uint32_t *slot = (uint32_t *)keys;  // reuses the key room: N words suffice
    uint32_t distinct = 0;
    for (uint32_t j = 0; j < N; j++) {
        if (weight[j] != j)
            continue;
        slot[j] = distinct;
        for (uint32_t k = 0; k < blocks; k++) {
            r->blockSum[(size_t)k * N + distinct] = r->blockSum[(size_t)k * N + j];
            r->blockSquares[(size_t)k * N + distinct] = r->blockSquares[(size_t)k * N + j];
        }
        distinct++;
    }
    // The counts go after the representatives' slots are all known.
    uint32_t *count = slot + N;
    memset(count, 0, distinct * sizeof(uint32_t));
    for (uint32_t j = 0; j < N; j++)
        count[slot[weight[j]]]++;
    memcpy(weight, count, distinct * sizeof(uint32_t));
    // The merged matrix is packed with the new stride.
    for (uint32_t k = 1; k < blocks; k++) {
        memmove(r->blockSum + (size_t)k * distinct, r->blockSum + (size_t)k * N,
                distinct * sizeof(double));
        memmove(r->blockSquares + (size_t)k * distinct, r->blockSquares + (size_t)k * N,
                distinct * sizeof(double));
    }
    return distinct;
}

// The Sharpe ratio of count returns from their sum and sum of squares (sample variance);
// 0 without spread.
static double SharpeOf(double sum, double squares, double count)
{
    double mean = sum / count;
    double variance = (squares - sum * mean) / (count - 1);
    return variance > 0 ? mean / sqrt(variance) : 0;
}

// The deflated Sharpe ratio of strategy chosen among all: the Sharpe ratios' spread over
// every strategy, the chosen one's skewness and kurtosis from its power sums.
static void DeflateChosen(const ReturnSums *r, uint32_t chosen, double count, ValidationStats *v)
{
    uint32_t N = r->strategies;
    const double *p = r->powers;
    double mean = 0;
    for (uint32_t j = 0; j < N; j++)
        mean += SharpeOf(p[j], p[N + j], count);
    mean /= N;
    double spread = 0;
    for (uint32_t j = 0; j < N; j++) {
        double d = SharpeOf(p[j], p[N + j], count) - mean;
        spread += d * d;
    }
    double variance = N > 1 ? spread / (N - 1) : 0;
    double m1 = p[chosen] / count, s2 = p[N + chosen] / count;
    double s3 = p[2 * (size_t)N + chosen] / count, s4 = p[3 * (size_t)N + chosen] / count;
    double m2 = s2 - m1 * m1;
    double m3 = s3 - 3 * m1 * s2 + 2 * m1 * m1 * m1;
    double m4 = s4 - 4 * m1 * s3 + 6 * m1 * m1 * s2 - 3 * m1 * m1 * m1 * m1;
    double skewness = m2 > 0 ? m3 / (m2 * sqrt(m2)) : 0;
    double kurtosis = m2 > 0 ? m4 / (m2 * m2) : 3;
    v->strategies = N;
    v->sharpe = SharpeOf(p[chosen], p[N + chosen], count);
    v->expectedMaxSharpe = ExpectedMaximumSharpe(N, variance);
    v->deflatedSharpe = DeflatedSharpe(v->sharpe, v->expectedMaxSharpe, (uint32_t)count,
                                       skewness, kurtosis);
}

void OverfitFigures(FundRecord *scratch, const MaSettings *settings, ValidationStats *v)
{
    v->flags &= ~VALIDATION_CSCV;
    v->strategies = 0;
    v->pbo = v->sharpe = v->expectedMaxSharpe = v->deflatedSharpe = 0;
    uint32_t kind = settings->maKind;
    uint32_t n = TrialPointCount(scratch, 0);
    if (kind < MA_UMA || kind > MA_VIDYA || n < 2)
        return;
    uint32_t returns = n - 1, perBlock = returns / CSCV_BLOCKS;
    if (perBlock < CSCV_MIN_BLOCK_RETURNS)
        return;
    static thread_local KindTrial trials[KIND_TRIAL_ROOM];
    scratch->maSettings[0] = *settings;
    uint32_t count = KindTrials(scratch, kind, trials);
    uint32_t value = GetMaParam(settings, MaLengthParam(kind));
    uint32_t percent = kind == MA_VIDYA ? GetMaParam(settings, VIDYA_PERCENT) : 0;
    uint32_t chosenTrial = 0;
    while (chosenTrial < count &&
           (trials[chosenTrial].value != value || trials[chosenTrial].percent != percent))
        chosenTrial++;
    if (chosenTrial == count) {
        // Values restored from an earlier search that this data no longer offers: the
        // rule is ranked among the others all the same.
        double reference = 0;
        SetMaParam(&scratch->maSettings[0], MaLengthParam(kind), value);
        if (kind == MA_VIDYA)
            VidyaPercentLimit(scratch, 0, &reference);
        trials[count++] = KindTrial{value, percent, reference};
    }
    uint32_t N = count * GRID_CELLS;
    size_t doubles = (size_t)n + 2 * CSCV_BLOCKS * (size_t)N + 4 * (size_t)N;
    void *block = AllocZero(doubles * sizeof(double) + (size_t)N * (sizeof(uint32_t) + sizeof(uint64_t)), 1);
    if (!block)
        return;
    double *excess = (double *)block;
    ReturnSums r;
    r.strategies = N;
    r.perBlock = perBlock;
    r.skip = returns - CSCV_BLOCKS * perBlock;
    r.blockSum = excess + n;
    r.blockSquares = r.blockSum + CSCV_BLOCKS * (size_t)N;
    r.powers = r.blockSquares + CSCV_BLOCKS * (size_t)N;
    uint64_t *keys = (uint64_t *)(r.powers + 4 * (size_t)N);
    uint32_t *weight = (uint32_t *)(keys + N);

    const NavPoint *p = scratch->points[0];
    for (uint32_t i = 1; i < n; i++) {
        double from = p[i - 1].value, to = p[i].value;
        double cash = GrowCash(scratch, 1.0, i - 1, i);
        excess[i] = from > 0 && to > 0 && cash > 0 ? log(to / from) - log(cash) : 0;
    }
    for (uint32_t t = 0; t < count; t++) {
        TrialAverage(scratch, kind, &trials[t], n);
        AddTrialReturns(scratch, excess, n, t * GRID_CELLS, &r);
    }
    uint32_t chosen = chosenTrial * GRID_CELLS +
                      GetMaParam(settings, MaBuyParam(kind)) % STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS +
                      GetMaParam(settings, MaSellParam(kind)) % STRATEGY_THRESHOLDS;
    DeflateChosen(&r, chosen, returns, v);
    uint32_t distinct = MergeIdenticalStrategies(&r, weight, keys);
    v->pbo = CscvOverfitProbability(r.blockSum, r.blockSquares, weight, distinct, CSCV_BLOCKS,
                                    perBlock);
    if (v->pbo >= 0)
        v->flags |= VALIDATION_CSCV;
    else
        v->pbo = 0;
    FreeBlock(block);
}
