// The search of a series' moving-average parameters, thresholds and kind, and the
// analysis that follows it.
#include "analysis/optimize.h"

#include <math.h>

#include "analysis/grid.h"
#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/returns.h"
#include "analysis/stats.h"
#include "analysis/strategy.h"
#include "data/alloc.h"
#include "data/optfile.h"

uint32_t OptimizeSearches;
int ExactKindAverages;

// The saved values of an opt record fit the fund when the trial period is the same: the
// same recentStart, or, without one on either side, the same data counts.
static int SavedValuesFit(const FundRecord *fund, const OptRecord *rec)
{
    if (fund->recentStart != 0)
        return fund->recentStart == rec->recentStart;
    return rec->recentStart == 0 && rec->pointCount == fund->pointCount &&
           rec->distCount == fund->distCount && rec->splitCount == fund->splitCount;
}

// Whether kind (1..5) has its parameters and can be used without a search. A VIDYA
// percent above what the current data allows makes the length unusable; it is cleared
// so that the search finds new values.
static int KindIsReady(FundRecord *fund, int series, uint32_t kind)
{
    MaSettings *ms = &fund->maSettings[series];
    if (kind < MA_UMA || kind > MA_VIDYA || GetMaParam(ms, MaLengthParam(kind)) == 0)
        return 0;
    if (kind != MA_VIDYA)
        return 1;
    if (GetMaParam(ms, VIDYA_PERCENT) <= VidyaPercentLimit(fund, series, nullptr))
        return 1;
    SetMaParam(ms, VIDYA_LENGTH, 0);
    return 0;
}

// The best parameter of one kind so far and what its "Avg" figure is made of: the grids'
// mean cash of the trials, whose average returns are found when the kind's search is
// over (the straightforward reference adds each trial's return to sum at once).
// KIND_TRIALS_MAX: VIDYA's ten lengths times its even percents, the most trials of a kind.
#define KIND_TRIALS_MAX (10 * (VIDYA_PERCENT_MAX / 2 + 1))
struct KindSearch {
    double best;
    uint32_t parameter, percent, buy, sell;
    double sum;
    uint32_t trials;
    double cash[KIND_TRIALS_MAX];
    uint32_t kept;
    int summed;  // part of the returns is in sum already
};

// Adds the returns of the kept mean cash to sum, each to the last bit, in the trials'
// order.
static void AddKeptReturns(const FundRecord *fund, int series, KindSearch *k)
{
    double returns[KIND_TRIALS_MAX];
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0) {
        for (uint32_t i = 0; i < k->kept; i++)
            returns[i] = 0;
    } else {
        AnnualizedReturns(fund->points[series][0].value, k->cash, TrialPeriodSpan(fund, series),
                          returns, k->kept);
    }
    for (uint32_t i = 0; i < k->kept; i++)
        k->sum += returns[i];
    k->kept = 0;
    k->summed = 1;
}

// Whether every value within b of x saves as the tenths x saves as: SavedDecimal cuts
// |x| * 10 to a whole number, so x must lie clear of the cuts (and of the sign's and the
// six digits' limits, which lie on cuts too).
static int TenthsAreCertain(double x, double b)
{
    double t = fabs(x) * 10;
    return isfinite(t) && t < 9999980 && fabs(t - floor(t + 0.5)) > 10 * b + 1e-6;
}

// The kind's "Avg" figure, as the opt file keeps it (tenths), so that a later load that
// restores it shows the very same number. It needs the returns' mean only to the tenth
// it is cut to: the estimated sum gives it unless the mean lies too close to a cut, when
// every return is searched.
static double KindAverage(const FundRecord *fund, int series, KindSearch *k)
{
    if (!ExactKindAverages && !k->summed && k->kept > 0 && TrialPointCount(fund, series) > 0) {
        double bound;
        double sum = EstimatedReturnSum(fund->points[series][0].value, k->cash, k->kept,
                                        TrialPeriodSpan(fund, series), &bound);
        double mean = MeanOf(sum, k->trials);
        if (TenthsAreCertain(mean, bound / k->trials))
            return SavedDecimal(mean);
    }
    AddKeptReturns(fund, series, k);
    return SavedDecimal(MeanOf(k->sum, k->trials));
}

// Scores the average just computed into ma over the trial points.
static void ScoreTrial(FundRecord *fund, int series, KindSearch *k, uint32_t parameter,
                       uint32_t percent)
{
    uint32_t buy, sell;
    double s = ScoreMaGrid(fund, series, &buy, &sell);
    if (s > k->best) {
        k->best = s;
        k->parameter = parameter;
        k->percent = percent;
        k->buy = buy;
        k->sell = sell;
    }
    if (GridReferenceOnly) {
        k->sum += GridAverageReturn(fund, series, STRATEGY_THRESHOLDS - 1);
        k->summed = 1;
    } else {
        if (k->kept == KIND_TRIALS_MAX)
            AddKeptReturns(fund, series, k);
        k->cash[k->kept++] = GridMeanCash(STRATEGY_THRESHOLDS - 1);
    }
    k->trials++;
}

typedef void (*OneAverage)(FundRecord *fund, uint32_t n, int series);
typedef void (*LaneAverages)(const FundRecord *fund, uint32_t n, int series,
                             const uint32_t *parameter, uint32_t count, double *const *out);

// Tries param's values first, first + 2, ... up to last in ascending order over n trial
// points: AVERAGE_LANES at a time through lanes into averages, or, when there are none
// (null), one at a time through one.
static void SearchValues(FundRecord *fund, int series, uint32_t n, KindSearch *k, MaParam param,
                         uint32_t first, uint32_t last, OneAverage one, LaneAverages lanes,
                         double *const *averages)
{
    MaSettings *ms = &fund->maSettings[series];
    uint32_t values[AVERAGE_LANES], used = 0;
    for (uint32_t v = first; v <= last; v += 2) {
        if (!averages[0]) {
            SetMaParam(ms, param, v);
            one(fund, n, series);
            ScoreTrial(fund, series, k, v, 0);
            continue;
        }
        values[used++] = v;
        if (used < AVERAGE_LANES && v + 2 <= last)
            continue;
        lanes(fund, n, series, values, used, averages);
        for (uint32_t l = 0; l < used; l++) {
            SetMaParam(ms, param, values[l]);
            SetAverage(fund, n, series, averages[l]);
            ScoreTrial(fund, series, k, values[l], 0);
        }
        used = 0;
    }
}

// Tries every value of kind t's parameter in ascending order over n trial points and
// stores the best with its thresholds, and the kind's "Avg" figure.
static void SearchKind(FundRecord *fund, int series, uint32_t t, uint32_t n)
{
    MaSettings *ms = &fund->maSettings[series];
    uint32_t count = fund->pointCount;
    uint32_t kind = ms->maKind;
    ms->maKind = t;
    KindSearch k = {0.0, t == MA_EMA ? 10u : 2u, 2, 0, 0, 0.0, 0, {}, 0, 0};
    MaParam length = MaLengthParam(t);
    // The averages of several parameters at once (not for the straightforward
    // reference, nor without the memory: then one at a time).
    double *block = nullptr, *averages[AVERAGE_LANES] = {};
    if (!GridReferenceOnly && (t == MA_EMA || t == MA_AMA || t == MA_VIDYA) && n > 0)
        block = (double *)AllocZero((size_t)n * AVERAGE_LANES, sizeof(double));
    for (uint32_t l = 0; block && l < AVERAGE_LANES; l++)
        averages[l] = block + (size_t)l * n;
    switch (t) {
    case MA_UMA:
    case MA_WMA:
        for (uint32_t v = 2; v <= 60 && v < count; v += 2) {
            SetMaParam(ms, length, v);
            MovingAverage(fund, t, n, series);
            ScoreTrial(fund, series, &k, v, 0);
        }
        break;
    case MA_EMA:
        SearchValues(fund, series, n, &k, length, 10, 80, Ema, EmaLanes, averages);
        break;
    case MA_AMA:
        SearchValues(fund, series, n, &k, length, 2, count > 30 ? 30 : (count > 0 ? count - 1 : 0),
                     Ama, AmaLanes, averages);
        break;
    case MA_VIDYA: {
        // The volatility ratios of a length are the same for all its percents.
        double *ratio = block ? (double *)AllocZero(n, sizeof(double)) : nullptr;
        for (uint32_t v = 2; v <= 20 && v < count; v += 2) {
            SetMaParam(ms, VIDYA_LENGTH, v);
            double reference;
            uint32_t limit = VidyaSearchLimit(fund, series, &reference);
            if (!ratio) {
                for (uint32_t percent = 2; percent <= limit; percent += 2) {
                    SetMaParam(ms, VIDYA_PERCENT, percent);
                    Vidya(fund, n, series, reference);
                    ScoreTrial(fund, series, &k, v, percent);
                }
                continue;
            }
            VidyaRatios(fund, n, series, reference, ratio);
            for (uint32_t percent = 2; percent <= limit; percent += 2 * AVERAGE_LANES) {
                uint32_t percents[AVERAGE_LANES], used = 0;
                for (uint32_t q = percent; q <= limit && used < AVERAGE_LANES; q += 2)
                    percents[used++] = q;
                VidyaLanes(fund, n, series, ratio, percents, used, averages);
                for (uint32_t l = 0; l < used; l++) {
                    SetMaParam(ms, VIDYA_PERCENT, percents[l]);
                    SetAverage(fund, n, series, averages[l]);
                    ScoreTrial(fund, series, &k, v, percents[l]);
                }
            }
        }
        FreeBlock(ratio);
        SetMaParam(ms, VIDYA_PERCENT, k.percent);
        break;
    }
    default:
        break;
    }
    FreeBlock(block);
    SetMaParam(ms, length, k.parameter);
    SetMaParam(ms, MaBuyParam(t), k.buy);
    SetMaParam(ms, MaSellParam(t), k.sell);
    ms->maAverage[t - 1] = KindAverage(fund, series, &k);
    ms->maKind = kind;
}

// The ROC length 30..40 and thresholds with the best ROC grid score over n trial points.
static void SearchRocLength(FundRecord *fund, int series, uint32_t n)
{
    MaSettings *ms = &fund->maSettings[series];
    double best = 0.0;
    uint32_t bestLength = 30, bestBuy = 1, bestSell = 5;
    for (uint32_t length = 30; length <= 40; length++) {
        SetMaParam(ms, ROC_LENGTH, length);
        Roc(fund, n, series);
        uint32_t buy, sell;
        double s = ScoreRocGrid(fund, series, &buy, &sell);
        if (s > best) {
            best = s;
            bestLength = length;
            bestBuy = buy;
            bestSell = sell;
        }
    }
    SetMaParam(ms, ROC_LENGTH, bestLength);
    SetMaParam(ms, ROC_BUY, bestBuy);
    SetMaParam(ms, ROC_SELL, bestSell);
}

// The kind whose rule, replayed over every point with the kind's own parameters and
// thresholds, ends with the most money; the first kind wins ties.
static uint32_t SelectKind(FundRecord *fund, int series)
{
    if (!fund->points[series] || fund->pointCount == 0)
        return MA_UMA;
    MaSettings *ms = &fund->maSettings[series];
    uint32_t best = MA_UMA;
    double bestEquity = 0;
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
        ms->maKind = t;
        MovingAverage(fund, t, fund->pointCount, series);
        SimulateMa(fund, series);
        double equity = fund->points[series][fund->pointCount - 1].maEquity;
        if (t == MA_UMA || equity > bestEquity) {
            best = t;
            bestEquity = equity;
        }
    }
    return best;
}

void SearchMovingAverages(FundRecord *fund, int series)
{
    if (series < 0 || series > 1)
        return;
    uint32_t n = TrialPointCount(fund, series);
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++)
        SearchKind(fund, series, t, n);
    fund->maSettings[series].maKind = SelectKind(fund, series);
}

void OptimizeFund(FundRecord *fund, int series)
{
    if (series < 0 || series > 1)
        return;
    // The reference grids measure the plain MoneyMarketGrowth: no walk for them.
    if (series == 0 && !GridReferenceOnly)
        BeginMoneyMarketWalk(fund);
    MaSettings *ms = &fund->maSettings[series];
    // Kinds 6 and 7 fit the 3-bit field but name no average.
    if (ms->maKind > MA_VIDYA)
        ms->maKind = MA_NONE;

    OptRecord *rec = fund->shortName ? FindOptRecord(fund->shortName) : nullptr;
    uint32_t preferred = MA_NONE;
    if (rec && !OptModeReselect && !OptModeRecalculate && ms->maKind == MA_NONE)
        preferred = rec->series[series].maKind;
    if (preferred > MA_VIDYA)
        preferred = MA_NONE;
    if (rec) {
        if (rec->saved[series] && !OptModeRecalculate && SavedValuesFit(fund, rec)) {
            for (int k = 0; k < 5; k++)
                ms->maAverage[k] = rec->series[series].maAverage[k];
            for (int w = 0; w < 4; w++)
                ms->words[w] = rec->series[series].words[w];
        }
        // The record is used now; the opt file keeps only the records no run used.
        rec->saved[series] = 0;
    }

    int ready = KindIsReady(fund, series, ms->maKind);
    if (!ready && preferred != MA_NONE &&
        GetMaParam(ms, MaLengthParam(preferred)) != 0) {
        ms->maKind = preferred;
        ready = KindIsReady(fund, series, preferred);
    }

    if (!ready) {
        // Funds are searched on several threads at once.
        __atomic_store_n(&OptimizedFlag, 1, __ATOMIC_RELAXED);
        __atomic_fetch_add(&OptimizeSearches, 1u, __ATOMIC_RELAXED);
        uint32_t n = TrialPointCount(fund, series);
        for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
            if (ms->maKind != MA_NONE && ms->maKind != t)
                continue;
            if (OptModeReselect && GetMaParam(ms, MaLengthParam(t)) != 0)
                continue;
            SearchKind(fund, series, t, n);
        }
        SetMaParam(ms, MACD_FAST, 12);
        SetMaParam(ms, MACD_SLOW, 26);
        SetMaParam(ms, MACD_TRIGGER, 9);
        SetMaParam(ms, MACD_BUY, 2);
        SetMaParam(ms, MACD_SELL, 2);
        SearchRocLength(fund, series, n);
        if (ms->maKind == MA_NONE)
            ms->maKind = SelectKind(fund, series);
    }

    uint32_t count = fund->pointCount;
    MovingAverage(fund, ms->maKind, count, series);
    SimulateMa(fund, series);
    BollingerMiddle(fund, series);
    BollingerWidth(fund, series);
    TrendProjection(fund, series);
    PatternProjection(fund, series);
    Macd(fund, count, series);
    MacdTrigger(fund, count, series);
    SimulateMacd(fund, series);
    Roc(fund, count, series);
    SimulateRoc(fund, series);
    ComputeSeriesStatistics(fund, series);
    EndMoneyMarketWalk();
}
