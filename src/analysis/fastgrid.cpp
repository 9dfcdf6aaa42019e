// The fast grid of the searches: all 121 threshold strategies of a series' trial points
// in one scan, bit for bit the straightforward reference's results.
//
// This file is built twice: for the processor the build targets, and, where the build
// can, a second time with FAST_GRID_WIDE for processors with 512-bit vectors, whose wider
// lanes take the points' codes and the year steps of the money market eight at a time,
// purchases four, and list the trading points from runs of thirty-two codes;
// WideGridAvailable tells at run time whether this processor has them. Both builds round
// every operation alike (the build never fuses a multiplication and an addition), so
// their results are the same.
#include "analysis/fastgrid.h"

#include <float.h>
#include <math.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(FAST_GRID_WIDE)
#include <immintrin.h>
#include <stddef.h>
#endif

#include "analysis/returns.h"

#if defined(FAST_GRID_WIDE)
#define RUN_FAST_GRID RunFastGridWide
#else
#define RUN_FAST_GRID RunFastGrid
#endif

// The 121 strategies as the bits of a pair of words: bit r * 11 + c is the strategy of
// buy threshold r and sell threshold c, so bit order is the grid's row order.
struct GridSet {
    uint64_t lo, hi;
};

static constexpr void AddToSet(GridSet *set, uint32_t k)
{
    if (k < 64)
        set->lo |= (uint64_t)1 << k;
    else
        set->hi |= (uint64_t)1 << (k - 64);
}

// RowsUpTo[t]: the strategies of buy thresholds 1..t; ColumnsUpTo[t]: of sell thresholds
// 1..t; Row0 and Column0 those of threshold 0.
struct GridSets {
    GridSet rowsUpTo[STRATEGY_THRESHOLDS], columnsUpTo[STRATEGY_THRESHOLDS];
    GridSet row0, column0;
};

static constexpr GridSets MakeGridSets(void)
{
    GridSets g = {};
    for (uint32_t t = 1; t < STRATEGY_THRESHOLDS; t++) {
        g.rowsUpTo[t] = g.rowsUpTo[t - 1];
        g.columnsUpTo[t] = g.columnsUpTo[t - 1];
        for (uint32_t u = 0; u < STRATEGY_THRESHOLDS; u++) {
            AddToSet(&g.rowsUpTo[t], t * STRATEGY_THRESHOLDS + u);
            AddToSet(&g.columnsUpTo[t], u * STRATEGY_THRESHOLDS + t);
        }
    }
    for (uint32_t u = 0; u < STRATEGY_THRESHOLDS; u++) {
        AddToSet(&g.row0, u);
        AddToSet(&g.column0, u * STRATEGY_THRESHOLDS);
    }
    return g;
}
static constexpr GridSets Sets = MakeGridSets();

// For an average m above 0, the level m + t% of m grows with t (each rounding step keeps
// the order), so the buy signals of thresholds 1..10 hold for 1..T and no further; and
// the sell level m - t% of m falls with t, so the sell signals hold for 1..S. T (signal
// MaBuySignal, estimate e = (x - m) * 100 / m) and S (MaSellSignal, -e) are found from the
// estimate, each step confirmed by the rule's own expression.
static uint32_t LevelsReached(double x, double m, double e, int (*signal)(double, double, uint32_t))
{
    uint32_t t = e >= 10 ? 10 : e >= 1 ? (uint32_t)e : 0;
    while (t < STRATEGY_THRESHOLDS - 1 && signal(x, m, t + 1))
        t++;
    while (t > 0 && !signal(x, m, t))
        t--;
    return t;
}

// How many of the thresholds 1..10 a ratio e = (x - m) * 100 / m passes, from e alone;
// LEVELS_UNDECIDED when e lies too close to a whole number to tell. For an average m
// above 0 of normal size and a finite x, e is within a few units of the last place of
// the exact ratio, and the rule's level m + t% of m is within as little of m (1 + t/100),
// so both differ from the exact comparison by less than 1e-13 of a threshold: a ratio
// farther than LEVEL_MARGIN from every whole number decides all of the rule's buy
// comparisons (and -e all of its sell comparisons) as the rule's own expressions would.
#define LEVELS_UNDECIDED 11u
#define LEVEL_MARGIN 1e-6
static uint32_t LevelsPassed(double e)
{
    // Clamped to 0..10.5 and compared without branches: e falls on either side of a
    // level unpredictably from point to point.
    double c = e > 0 ? e : 0;
    c = c < STRATEGY_THRESHOLDS - 0.5 ? c : STRATEGY_THRESHOLDS - 0.5;
    uint32_t t = (uint32_t)c;
    double part = c - t;
    int undecided = (e >= 1 - LEVEL_MARGIN) & (e < STRATEGY_THRESHOLDS - 1 + LEVEL_MARGIN) &
                    ((part < LEVEL_MARGIN) | (part > 1 - LEVEL_MARGIN));
    return undecided ? LEVELS_UNDECIDED : t;
}

// The strategies whose buy (*buys) and sell (*sells) signal holds at value x, average m.
static void SignalSets(double x, double m, GridSet *buys, GridSet *sells)
{
    if (m >= DBL_MIN && m <= 1e300 && fabs(x) <= 1e300) {
        double e = (x - m) * 100 / m;
        uint32_t t = LevelsPassed(e);
        *buys = Sets.rowsUpTo[t != LEVELS_UNDECIDED ? t : LevelsReached(x, m, e, MaBuySignal)];
        t = LevelsPassed(-e);
        *sells =
            Sets.columnsUpTo[t != LEVELS_UNDECIDED ? t : LevelsReached(x, m, -e, MaSellSignal)];
    } else {
        // Zero, negative, tiny, huge or not finite: every threshold on its own.
        *buys = GridSet{0, 0};
        *sells = GridSet{0, 0};
        for (uint32_t t = 1; t < STRATEGY_THRESHOLDS; t++) {
            if (MaBuySignal(x, m, t)) {
                buys->lo |= Sets.rowsUpTo[t].lo & ~Sets.rowsUpTo[t - 1].lo;
                buys->hi |= Sets.rowsUpTo[t].hi & ~Sets.rowsUpTo[t - 1].hi;
            }
            if (MaSellSignal(x, m, t)) {
                sells->lo |= Sets.columnsUpTo[t].lo & ~Sets.columnsUpTo[t - 1].lo;
                sells->hi |= Sets.columnsUpTo[t].hi & ~Sets.columnsUpTo[t - 1].hi;
            }
        }
    }
    // Threshold 0 as masks, not branches: x is above or below m at random.
    uint64_t above = 0 - (uint64_t)MaBuySignal(x, m, 0);
    uint64_t below = 0 - (uint64_t)MaSellSignal(x, m, 0);
    buys->lo |= Sets.row0.lo & above;
    buys->hi |= Sets.row0.hi & above;
    sells->lo |= Sets.column0.lo & below;
    sells->hi |= Sets.column0.hi & below;
}

// ---------------------------------------------------------------------------------------
// The fast grid's strategies: each field in an array of its own, indexed by the bit of
// the GridSet (r * 11 + c), so that strategies trading at the same point go through the
// rule's arithmetic side by side in the lanes of a vector. Each lane takes the
// very steps of SellShares, BuyShares and WalkGrowth; a lane that needs no step (no fee,
// no interest in a year) keeps its value by selection, never by an added zero.
//
// With a money-market walk, the cash of series 0 is not walked from the sale when the
// strategy buys again: the walk's steps end at every first point of a year, so the grid
// takes each year's step for its strategies out of the fund at once when the scan passes
// that point (grownTo: the DatePeriod the cash has been grown to), and a purchase takes
// only the step from there, within its own year. Every step has the same operands as the
// walk's, in the same order. The lanes go in groups, so a strategy in the fund beside one
// out of it is grown too, without use: its cash and grownTo are replaced when it sells.

#define GRID_CELLS (STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS)
#define GRID_LANES 128  // the cells and more, so that groups of eight cover them all
struct FastGrid {
    double cash[GRID_LANES], shares[GRID_LANES], grownTo[GRID_LANES], feeFrom[GRID_LANES];
    uint32_t lastSale[GRID_LANES];
};

// feeFrom: the point of a strategy's last trade, as a number, from which its next trade's
// fee counts. The rule's lastTrade of 0 stands for no trade yet, so a trade at point 0
// (like none) leaves a point far enough back that no fee is due.
#define FEE_FROM_NONE (-2.0 * FEE_POINTS)
static inline double FeeFromOf(uint32_t i)
{
    return i != 0 ? (double)i : FEE_FROM_NONE;
}

typedef double Pair __attribute__((vector_size(16)));

// The lanes that take a year's step together: eight in the wide build, else two (wider
// vectors than the processor's would go through memory).
#if defined(FAST_GRID_WIDE)
#define YEAR_LANES 8
#else
#define YEAR_LANES 2
#endif
typedef double YearLanes __attribute__((vector_size(YEAR_LANES * sizeof(double))));

// LessFee of amounts traded at point i by strategies whose fees count from from, lane by
// lane. The fee table's percentages for trades d = 1..9 points apart are 0.9 down to 0.1,
// that is (10 - d) / 10 to the last bit (each is the double nearest the exact quotient).
template <typename Lanes>
static inline Lanes LessFee(Lanes amount, double i, Lanes from)
{
    // Computed in every lane, due or not: which trades pay a fee is as unpredictable as
    // the prices.
    Lanes d = i - from;
    auto due = d <= FEE_POINTS;
    Lanes fee = (10 - d) / 10;
    Lanes less = amount - amount * fee / 100;
    return due ? less : amount;
}

// CompoundAtRate(value[l], rate, span[l]) lane by lane, for spans of less than a year:
// the part year's interest, where the span is more than 0.
template <typename Lanes>
static inline Lanes PartYear(Lanes value, double rate, Lanes span)
{
    Lanes grown = value + value * rate / 100 * span / 60;
    return span > 0 ? grown : value;
}

// The walk's step that ends at the first point y of a year, for the strategies out of the
// fund (and the others of their group of lanes, grown without use): from where each lane's
// cash was grown to, at the rate of the year before y. Those out of the fund were grown to
// since, the first point of that year, or later, so a span is at most one whole year and
// a part; spans of two years or more (gaps in the data) go to CompoundAtRate itself.
static void GrowToYear(FastGrid *g, const MoneyMarketWalk *w, uint32_t y, double since,
                       const GridSet *holding)
{
    double rate = w->rate[y - 1], to = w->period[y];
    if (to - since >= 120) {
        for (uint32_t k = 0; k < GRID_LANES; k++) {
            g->cash[k] = CompoundAtRate(g->cash[k], rate, (int32_t)(to - g->grownTo[k]));
            g->grownTo[k] = to;
        }
        return;
    }
    const bool shortYear = to - since <= 60;
    for (uint32_t k = 0; k < GRID_LANES; k += YEAR_LANES) {
#if defined(FAST_GRID_WIDE)
        // Every group of eight takes the step: one whose strategies all hold is rare, and
        // a branch on it costs more in mispredictions than the step it saves.
        (void)holding;
#else
        // A pair whose strategies both hold is skipped.
        // Groups start at multiples of their size, so none spans the two words.
        const uint64_t all = ((uint64_t)1 << YEAR_LANES) - 1;
        uint64_t word = k < 64 ? holding->lo : holding->hi;
        if (((word >> (k & 63)) & all) == all)
            continue;
#endif
        YearLanes cash, span;
        memcpy(&cash, g->cash + k, sizeof cash);
        memcpy(&span, g->grownTo + k, sizeof span);
        span = to - span;
        // The whole year's interest, which is also the first step of a part year's.
        YearLanes interest = cash * rate / 100;
        if (shortYear) {
            // No span is more than a year: a lane takes the whole year's interest or a part.
            YearLanes part = cash + interest * span / 60;
            cash = span >= 60 ? cash + interest : (span > 0 ? part : cash);
        } else {
            auto whole = span >= 60;
            cash = PartYear(whole ? cash + interest : cash, rate, whole ? span - 60 : span);
        }
        memcpy(g->cash + k, &cash, sizeof cash);
        for (uint32_t l = 0; l < YEAR_LANES; l++)
            g->grownTo[k + l] = to;
    }
}

// A point where strategies trade, with what their steps read of it.
struct TradePoint {
    uint32_t i;
    double at;       // i as a number
    double feeFrom;  // the feeFrom a trade at i leaves
    double x;        // the series' value
    double period;   // with a walk: the DatePeriod of i
    double rate;     // with a walk: the money-market rate of i's year
};

static TradePoint TradePointOf(const MoneyMarketWalk *w, const NavPoint *p, uint32_t i)
{
    return TradePoint{i, (double)i, FeeFromOf(i), p[i].value, w ? (double)w->period[i] : 0,
                      w ? w->rate[i] : 0};
}

// CashAmount of strategies k0 and k1 at point t. w: the fund's money-market walk (null:
// series 1, or series 0 without a prepared walk). With a walk the cash has been grown to
// a point of t's year, so a part year is what remains (DatePeriods within a year differ
// by at most 59).
static inline Pair CashAmountPair(const FastGrid *g, uint32_t k0, uint32_t k1,
                                  const MoneyMarketWalk *w, const FundRecord *fund, int series,
                                  const TradePoint *t)
{
    Pair cash = {g->cash[k0], g->cash[k1]};
    if (w)
        return PartYear(cash, t->rate, t->period - Pair{g->grownTo[k0], g->grownTo[k1]});
    if (series == 0)
        return Pair{GrowCash(fund, cash[0], g->lastSale[k0], t->i),
                    GrowCash(fund, cash[1], g->lastSale[k1], t->i)};
    return cash;
}

// SellShares of strategies k0 and k1 at point t.
static inline void SellPair(FastGrid *g, uint32_t k0, uint32_t k1, const TradePoint *t)
{
    Pair from = {g->feeFrom[k0], g->feeFrom[k1]};
    Pair cash = LessFee(Pair{g->shares[k0], g->shares[k1]} * t->x, t->at, from);
    g->cash[k0] = cash[0];
    g->cash[k1] = cash[1];
    g->lastSale[k0] = t->i;
    g->lastSale[k1] = t->i;
    g->feeFrom[k0] = g->feeFrom[k1] = t->feeFrom;
    g->grownTo[k0] = g->grownTo[k1] = t->period;
}

// Takes the lowest strategy out of a set that holds one, or gives other when it is empty
// (and leaves it so). Without branches: which strategies trade is as unpredictable as
// the prices.
static inline uint32_t TakeLowest(GridSet *set, uint32_t other)
{
    uint64_t inLo = set->lo != 0;
    uint64_t word = inLo ? set->lo : set->hi;
    // Bit 63 set only keeps the count defined for an empty word, whose result is not
    // used: it is hi's for no strategy (there are 121), and in lo it is the lowest bit
    // only when it is the word's only one.
    uint32_t k = (inLo ? 0 : 64) + (uint32_t)__builtin_ctzll(word | (uint64_t)1 << 63);
    uint64_t rest = word & (word - 1);
    set->lo = inLo ? rest : 0;
    set->hi = inLo ? set->hi : rest;
    return word ? k : other;
}

// The sales of the strategies in selling at point t, two at a time (a last odd one in both
// lanes).
static void SellSet(FastGrid *g, GridSet selling, const TradePoint *t)
{
    while (selling.lo | selling.hi) {
        uint32_t k0 = TakeLowest(&selling, 0);
        SellPair(g, k0, TakeLowest(&selling, k0), t);
    }
}

// Purchases go four at a time in the wide build (its divisions of four lanes take no
// longer than those of two; eight lanes would wait too long on taking the strategies out
// of the set one by one), else two at a time.
#if defined(FAST_GRID_WIDE)
typedef double Four __attribute__((vector_size(32)));

// BuyShares of strategies k[0..3] at point t, with their CashAmount.
static inline void BuyFour(FastGrid *g, const uint32_t *k, const MoneyMarketWalk *w,
                           const FundRecord *fund, int series, const TradePoint *t)
{
    Four amount = {g->cash[k[0]], g->cash[k[1]], g->cash[k[2]], g->cash[k[3]]};
    if (w) {
        amount = PartYear(amount, t->rate, t->period - Four{g->grownTo[k[0]], g->grownTo[k[1]],
                                                            g->grownTo[k[2]], g->grownTo[k[3]]});
    } else if (series == 0) {
        for (uint32_t l = 0; l < 4; l++)
            amount[l] = GrowCash(fund, amount[l], g->lastSale[k[l]], t->i);
    }
    amount = LessFee(amount, t->at,
                     Four{g->feeFrom[k[0]], g->feeFrom[k[1]], g->feeFrom[k[2]], g->feeFrom[k[3]]});
    Four shares = t->x == 0 ? Four{} : amount / t->x;  // SafeDivide
    for (uint32_t l = 0; l < 4; l++) {
        g->shares[k[l]] = shares[l];
        g->feeFrom[k[l]] = t->feeFrom;
    }
}

// The purchases of the strategies in buying at point t (the last one again in the lanes
// the set cannot fill).
static void BuySet(FastGrid *g, GridSet buying, const MoneyMarketWalk *w, const FundRecord *fund,
                   int series, const TradePoint *t)
{
    while (buying.lo | buying.hi) {
        uint32_t k[4];
        k[0] = TakeLowest(&buying, 0);
        for (uint32_t l = 1; l < 4; l++)
            k[l] = TakeLowest(&buying, k[l - 1]);
        BuyFour(g, k, w, fund, series, t);
    }
}
#else
// BuyShares of strategies k0 and k1 at point t, with their CashAmount.
static inline void BuyPair(FastGrid *g, uint32_t k0, uint32_t k1, const MoneyMarketWalk *w,
                           const FundRecord *fund, int series, const TradePoint *t)
{
    Pair amount = CashAmountPair(g, k0, k1, w, fund, series, t);
    amount = LessFee(amount, t->at, Pair{g->feeFrom[k0], g->feeFrom[k1]});
    Pair shares = t->x == 0 ? Pair{0, 0} : amount / t->x;  // SafeDivide
    g->shares[k0] = shares[0];
    g->shares[k1] = shares[1];
    g->feeFrom[k0] = g->feeFrom[k1] = t->feeFrom;
}

// The purchases of the strategies in buying at point t, two at a time.
static void BuySet(FastGrid *g, GridSet buying, const MoneyMarketWalk *w, const FundRecord *fund,
                   int series, const TradePoint *t)
{
    while (buying.lo | buying.hi) {
        uint32_t k0 = TakeLowest(&buying, 0);
        BuyPair(g, k0, TakeLowest(&buying, k0), w, fund, series, t);
    }
}
#endif

// FinishStrategy of every strategy at point last, with the holding set: the cash of those
// holding is their shares' value; the others, for series 0 and unless they sold at last,
// grow their cash from their last sale, two at a time.
static void FinishFastGrid(FastGrid *g, const GridSet *holding, const MoneyMarketWalk *w,
                           const FundRecord *fund, int series, uint32_t last)
{
    TradePoint t = TradePointOf(w, fund->points[series], last);
#if defined(FAST_GRID_WIDE)
    if (w || series != 0) {
        // Eight lanes at a time, the holding set as a mask. With a walk, a strategy that
        // sold at last has its cash grown to last's DatePeriod: its part year is empty.
        for (uint32_t k = 0; k < GRID_LANES; k += 8) {
            uint64_t word = k < 64 ? holding->lo : holding->hi;
            __mmask8 held = (__mmask8)(word >> (k & 63));
            __m512d cash = _mm512_loadu_pd(g->cash + k);
            if (w)
                cash = PartYear(cash, t.rate, t.period - _mm512_loadu_pd(g->grownTo + k));
            __m512d value = _mm512_loadu_pd(g->shares + k) * t.x;
            _mm512_storeu_pd(g->cash + k, _mm512_mask_blend_pd(held, cash, value));
        }
        return;
    }
#endif
    uint8_t waiting[GRID_CELLS + 1];
    uint32_t count = 0;
    for (uint32_t k = 0; k < GRID_CELLS; k++) {
        uint64_t bit = (uint64_t)1 << (k & 63);
        if ((k < 64 ? holding->lo : holding->hi) & bit)
            g->cash[k] = g->shares[k] * t.x;
        else if (series == 0 && g->lastSale[k] != last)
            waiting[count++] = (uint8_t)k;
    }
    waiting[count] = waiting[count - (count != 0)];
    for (uint32_t k = 0; k < count; k += 2) {
        Pair cash = CashAmountPair(g, waiting[k], waiting[k + 1], w, fund, series, &t);
        g->cash[waiting[k]] = cash[0];
        g->cash[waiting[k + 1]] = cash[1];
    }
}

// The signals of a point as one small number, computed for many points ahead of the
// trades: k > 0 when the buy signals of rows 0..k-1 hold (x above m), -k when the sell
// signals of columns 0..k-1 hold (x below m), 0 when neither; CODE_SPECIAL when m or x
// lies outside the range where the signal sets are rows and columns up to a threshold
// (the sets are then found threshold by threshold when the point is reached).
#define CODE_SPECIAL 127
#define CODE_CHUNK 2048

// The code of one point.
static int8_t PointCode(double x, double m)
{
    if (!(m >= DBL_MIN && m <= 1e300 && fabs(x) <= 1e300))
        return CODE_SPECIAL;
    double e = (x - m) * 100 / m;
    uint32_t tb = LevelsPassed(e), ts = LevelsPassed(-e);
    if (tb == LEVELS_UNDECIDED)
        tb = LevelsReached(x, m, e, MaBuySignal);
    if (ts == LEVELS_UNDECIDED)
        ts = LevelsReached(x, m, -e, MaSellSignal);
    // Above m only buy levels can be reached, below m only sell levels.
    if (MaBuySignal(x, m, 0))
        return (int8_t)(tb + 1);
    return (int8_t)(MaSellSignal(x, m, 0) ? -(int32_t)ts - 1 : 0);
}

#if defined(FAST_GRID_WIDE)
// Eight points' NavPoints are five vectors of eight words; a field of the eight is picked
// out of them by two two-vector permutations, a blend and a masked permutation of the last.
struct FieldPicker {
    __m512i low, middle, high;  // word indexes into vectors 0-1, 2-3 and 4
    __mmask8 inMiddle, inHigh;
};

static FieldPicker PickerOf(size_t offset)
{
    const uint32_t stride = sizeof(NavPoint) / sizeof(double);
    int64_t low[8], middle[8], high[8];
    FieldPicker f = {};
    for (uint32_t j = 0; j < 8; j++) {
        uint32_t word = j * stride + (uint32_t)(offset / sizeof(double));
        low[j] = word & 15;
        middle[j] = (word - 16) & 15;
        high[j] = (word - 32) & 7;
        f.inMiddle |= (__mmask8)((word >= 16 && word < 32) << j);
        f.inHigh |= (__mmask8)((word >= 32) << j);
    }
    f.low = _mm512_loadu_si512(low);
    f.middle = _mm512_loadu_si512(middle);
    f.high = _mm512_loadu_si512(high);
    return f;
}

static inline __m512d PickField(const __m512d *v, const FieldPicker &f)
{
    __m512d r = _mm512_mask_blend_pd(f.inMiddle, _mm512_permutex2var_pd(v[0], f.low, v[1]),
                                     _mm512_permutex2var_pd(v[2], f.middle, v[3]));
    return _mm512_mask_permutexvar_pd(r, f.inHigh, f.high, v[4]);
}

// The codes of the points from i on, eight at a time, by the steps of the two-lane loop
// below; returns where they end. (The zero-masked forms of the intrinsics, with every
// lane set, are the plain ones without the undefined source GCC warns about.)
#define ALL_EIGHT ((__mmask8)0xFF)
static uint32_t PointCodesByEight(const NavPoint *p, uint32_t i, uint32_t count, int8_t *code)
{
    static_assert(sizeof(NavPoint) == 5 * sizeof(double), "eight NavPoints are five vectors");
    const FieldPicker values = PickerOf(offsetof(NavPoint, value));
    const FieldPicker averages = PickerOf(offsetof(NavPoint, ma));
    const __m512d margin = _mm512_set1_pd(LEVEL_MARGIN);
    for (; i + 8 <= count; i += 8) {
        __m512d v[5];
        for (uint32_t w = 0; w < 5; w++)
            v[w] = _mm512_loadu_pd((const double *)(p + i) + 8 * w);
        __m512d x = PickField(v, values), m = PickField(v, averages);
        __mmask8 unsure = _mm512_cmp_pd_mask(m, _mm512_set1_pd(DBL_MIN), _CMP_NGE_UQ) |
                          _mm512_cmp_pd_mask(m, _mm512_set1_pd(1e300), _CMP_NLE_UQ) |
                          _mm512_cmp_pd_mask(_mm512_abs_pd(x), _mm512_set1_pd(1e300), _CMP_NLE_UQ);
        __m512d e = _mm512_div_pd(_mm512_mul_pd(_mm512_sub_pd(x, m), _mm512_set1_pd(100)), m);
        __m512d a = _mm512_abs_pd(e);
        __m512d c = _mm512_maskz_min_pd(ALL_EIGHT, a, _mm512_set1_pd(STRATEGY_THRESHOLDS - 0.5));
        __m512d t = _mm512_maskz_cvtepi32_pd(ALL_EIGHT, _mm512_maskz_cvttpd_epi32(ALL_EIGHT, c));
        __m512d half = _mm512_abs_pd(_mm512_sub_pd(_mm512_sub_pd(c, t), _mm512_set1_pd(0.5)));
        const __m512d top = _mm512_set1_pd(STRATEGY_THRESHOLDS - 1 + LEVEL_MARGIN);
        unsure |= _mm512_cmp_pd_mask(a, _mm512_sub_pd(_mm512_set1_pd(1), margin), _CMP_GE_OQ) &
                  _mm512_cmp_pd_mask(a, top, _CMP_LT_OQ) &
                  _mm512_cmp_pd_mask(half, _mm512_sub_pd(_mm512_set1_pd(0.5), margin), _CMP_GT_OQ);
        __m512d level = _mm512_add_pd(t, _mm512_set1_pd(1));
        __m512d k = _mm512_maskz_mov_pd(_mm512_cmp_pd_mask(x, m, _CMP_GT_OQ), level);
        k = _mm512_mask_sub_pd(k, _mm512_cmp_pd_mask(x, m, _CMP_LT_OQ), _mm512_setzero_pd(), level);
        __m256i whole = _mm512_maskz_cvttpd_epi32(ALL_EIGHT, k);
        _mm_storel_epi64((__m128i *)(code + i), _mm256_maskz_cvtepi32_epi8(ALL_EIGHT, whole));
        for (uint32_t bad = unsure; bad; bad &= bad - 1) {
            uint32_t l = (uint32_t)__builtin_ctz(bad);
            code[i + l] = PointCode(p[i + l].value, p[i + l].ma);
        }
    }
    return i;
}
#endif

// The point codes of count points: eight at a time in the wide build, then two at a time
// where the processor has vectors of two doubles, without branches on the signals (x lies
// above or below m at random), so that the points' divisions overlap. The ratio's sign
// tells the side of m and its size the levels reached on that side (LevelsPassed of |e|);
// a point the vector steps cannot settle (outside the normal range, or a ratio too close
// to a level) gets the code of PointCode.
static void PointCodes(const NavPoint *p, uint32_t count, int8_t *code)
{
    uint32_t i = 0;
#if defined(FAST_GRID_WIDE)
    i = PointCodesByEight(p, i, count, code);
#endif
#if defined(__SSE2__)
    const __m128d sign = _mm_set1_pd(-0.0);
    for (; i + 2 <= count; i += 2) {
        __m128d x = _mm_set_pd(p[i + 1].value, p[i].value);
        __m128d m = _mm_set_pd(p[i + 1].ma, p[i].ma);
        __m128d unsure = _mm_or_pd(
            _mm_or_pd(_mm_cmpnge_pd(m, _mm_set1_pd(DBL_MIN)), _mm_cmpnle_pd(m, _mm_set1_pd(1e300))),
            _mm_cmpnle_pd(_mm_andnot_pd(sign, x), _mm_set1_pd(1e300)));
        __m128d e = _mm_div_pd(_mm_mul_pd(_mm_sub_pd(x, m), _mm_set1_pd(100)), m);
        __m128d a = _mm_andnot_pd(sign, e);
        __m128d c = _mm_min_pd(a, _mm_set1_pd(STRATEGY_THRESHOLDS - 0.5));
        __m128i whole = _mm_cvttpd_epi32(c);
        __m128d t = _mm_cvtepi32_pd(whole);
        // Too close to a level: part within LEVEL_MARGIN of 0 or 1, for 1 <= a <= 10.
        __m128d half = _mm_andnot_pd(sign, _mm_sub_pd(_mm_sub_pd(c, t), _mm_set1_pd(0.5)));
        unsure = _mm_or_pd(
            unsure, _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(a, _mm_set1_pd(1 - LEVEL_MARGIN)),
                                          _mm_cmplt_pd(a, _mm_set1_pd(STRATEGY_THRESHOLDS - 1 + LEVEL_MARGIN))),
                               _mm_cmpgt_pd(half, _mm_set1_pd(0.5 - LEVEL_MARGIN))));
        // t + 1 above m, -(t + 1) below, 0 at m.
        __m128d level = _mm_add_pd(t, _mm_set1_pd(1));
        __m128d k = _mm_or_pd(_mm_and_pd(_mm_cmpgt_pd(x, m), level),
                              _mm_and_pd(_mm_cmplt_pd(x, m), _mm_xor_pd(level, sign)));
        __m128i w = _mm_cvttpd_epi32(k);
        w = _mm_packs_epi32(w, w);
        w = _mm_packs_epi16(w, w);
        uint16_t two = (uint16_t)_mm_cvtsi128_si32(w);
        memcpy(code + i, &two, sizeof two);
        int bad = _mm_movemask_pd(unsure);
        if (bad) {
            if (bad & 1)
                code[i] = PointCode(p[i].value, p[i].ma);
            if (bad & 2)
                code[i + 1] = PointCode(p[i + 1].value, p[i + 1].ma);
        }
    }
#endif
    for (; i < count; i++)
        code[i] = PointCode(p[i].value, p[i].ma);
}

// The buy and sell sets of each code from -11 to 11 (index code + 11).
struct CodeSets {
    GridSet buys[2 * STRATEGY_THRESHOLDS + 1], sells[2 * STRATEGY_THRESHOLDS + 1];
};

static constexpr CodeSets MakeCodeSets(void)
{
    CodeSets t = {};
    for (uint32_t k = 1; k <= STRATEGY_THRESHOLDS; k++) {
        GridSet b = Sets.rowsUpTo[k - 1], s = Sets.columnsUpTo[k - 1];
        t.buys[STRATEGY_THRESHOLDS + k] = GridSet{b.lo | Sets.row0.lo, b.hi | Sets.row0.hi};
        t.sells[STRATEGY_THRESHOLDS - k] = GridSet{s.lo | Sets.column0.lo, s.hi | Sets.column0.hi};
    }
    return t;
}
static constexpr CodeSets CodeTable = MakeCodeSets();

#if !defined(FAST_GRID_WIDE)
// The buy and sell levels of each code (indexed by the code's byte): k and 0 for a buy
// code k, 0 and k for a sell code -k, 0 and 0 for 0; a special code has both above any
// level, which makes its point one where strategies may trade and ends both runs.
struct CodeLevels {
    uint8_t buy[256], sell[256];
};

static constexpr CodeLevels MakeCodeLevels(void)
{
    CodeLevels t = {};
    for (uint32_t k = 1; k <= STRATEGY_THRESHOLDS; k++) {
        t.buy[k] = (uint8_t)k;
        t.sell[(uint8_t)-(int32_t)k] = (uint8_t)k;
    }
    t.buy[CODE_SPECIAL] = t.sell[CODE_SPECIAL] = 255;
    return t;
}
static constexpr CodeLevels LevelTable = MakeCodeLevels();
#endif

// The points of a stretch of codes where a strategy may trade, as indexes into code;
// returns their count. After a point of buy code k every strategy of the rows below k
// holds, and nothing but a sell code makes one of them sell: until then a buy code of k
// or less buys nothing. Likewise after a sell code of -k the columns below k are out of
// the fund until a buy code. *bought and *sold carry the highest buy and sell codes since
// the last code of the other side from one stretch to the next (0 and 0 at the start).
// Branch-free: whether a point trades is as unpredictable as the prices. code holds count
// codes and room for 31 more, trading room for count + 16 entries.
#if defined(FAST_GRID_WIDE)
// Thirty-two codes at a time in the wide build. The two levels are one state v: v > 0 when
// *bought is v, v < 0 when *sold is -v. A buy code k leaves max(v, k), a sell code -k
// min(v, -k), 0 leaves v, and a special code leaves 0: each code clamps v to a range
// [low, high] ([0, 0] for a special one), and a run of codes together clamps it to one
// range too, found for every prefix of the run in five doubling steps. A point trades
// where it changes v, and at a special code.
static uint32_t TradingPoints(int8_t *code, uint32_t count, uint32_t *bought, uint32_t *sold,
                              uint16_t *trading)
{
    memset(code + count, 0, 31);  // code 0 trades nothing and leaves v
    const __m512i lane = _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19,
                                          18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4,
                                          3, 2, 1, 0);
    const __m512i special = _mm512_set1_epi16(CODE_SPECIAL), zero = _mm512_setzero_si512();
    const __m512i index = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    __m512i v = _mm512_set1_epi16((int16_t)((int32_t)*bought - (int32_t)*sold));
    uint32_t points = 0;
    for (uint32_t first = 0; first < count; first += 32) {
        __m512i c = _mm512_cvtepi8_epi16(_mm256_loadu_si256((const __m256i *)(code + first)));
        __mmask32 isSpecial = _mm512_cmpeq_epi16_mask(c, special);
        __mmask32 buys = _mm512_cmpgt_epi16_mask(c, zero) & ~isSpecial;
        __mmask32 sells = _mm512_cmplt_epi16_mask(c, zero);
        __m512i low = _mm512_mask_mov_epi16(_mm512_set1_epi16(-128), buys, c);
        __m512i high = _mm512_mask_mov_epi16(_mm512_set1_epi16(127), sells, c);
        low = _mm512_mask_mov_epi16(low, isSpecial, zero);
        high = _mm512_mask_mov_epi16(high, isSpecial, zero);
        for (uint32_t d = 1; d < 32; d *= 2) {
            // Lane j takes the range of the codes before its own run: the later range
            // clamps the earlier one's ends.
            __mmask32 later = ~(__mmask32)0 << d;
            __m512i from = _mm512_sub_epi16(lane, _mm512_set1_epi16((int16_t)d));
            __m512i earlyLow = _mm512_permutexvar_epi16(from, low);
            __m512i earlyHigh = _mm512_permutexvar_epi16(from, high);
            __m512i nextLow = _mm512_min_epi16(_mm512_max_epi16(earlyLow, low), high);
            __m512i nextHigh = _mm512_min_epi16(_mm512_max_epi16(earlyHigh, low), high);
            low = _mm512_mask_mov_epi16(low, later, nextLow);
            high = _mm512_mask_mov_epi16(high, later, nextHigh);
        }
        __m512i after = _mm512_min_epi16(_mm512_max_epi16(v, low), high);
        __m512i before = _mm512_mask_permutexvar_epi16(v, ~(__mmask32)1,
                                                       _mm512_sub_epi16(lane, _mm512_set1_epi16(1)),
                                                       after);
        uint32_t trades = (uint32_t)(_mm512_cmpneq_epi16_mask(after, before) | isSpecial);
        v = _mm512_permutexvar_epi16(_mm512_set1_epi16(31), after);
        for (uint32_t half = 0; half < 2; half++) {
            uint32_t some = (trades >> (16 * half)) & 0xFFFF;
            __m512i at = _mm512_add_epi32(index, _mm512_set1_epi32((int32_t)(first + 16 * half)));
            __m512i listed = _mm512_maskz_compress_epi32((__mmask16)some, at);
            _mm256_storeu_si256((__m256i *)(trading + points),
                                _mm512_maskz_cvtepi32_epi16(0xFFFF, listed));
            points += (uint32_t)__builtin_popcount(some);
        }
    }
    int32_t last = (int16_t)_mm512_cvtsi512_si32(v);
    *bought = last > 0 ? (uint32_t)last : 0;
    *sold = last < 0 ? (uint32_t)-last : 0;
    return points;
}
#else
static uint32_t TradingPoints(int8_t *code, uint32_t count, uint32_t *bought, uint32_t *sold,
                              uint16_t *trading)
{
    uint32_t up = *bought, down = *sold, points = 0;
    for (uint32_t j = 0; j < count; j++) {
        uint32_t b = LevelTable.buy[(uint8_t)code[j]], s = LevelTable.sell[(uint8_t)code[j]];
        trading[points] = (uint16_t)j;
        points += (b > up) | (s > down);
        up = (b > up ? b : up) & (0 - (uint32_t)(s == 0));
        down = (s > down ? s : down) & (0 - (uint32_t)(b == 0));
    }
    *bought = up;
    *sold = down;
    return points;
}
#endif

void RUN_FAST_GRID(FundRecord *fund, int series, uint32_t n, StrategyGridCells *cells)
{
    const NavPoint *p = fund->points[series];
    // A point's buy level is shared by a row of the grid and its sell level by a column,
    // so the signals of a point are two sets of strategies; a strategy trades only where
    // its own state's signal holds, and between trades nothing changes. The holding set
    // mirrors the strategies' holding flags.
    const MoneyMarketWalk *walk = series == 0 ? WalkOf(fund) : nullptr;
    FastGrid g;
    for (uint32_t k = 0; k < GRID_LANES; k++) {
        g.cash[k] = p[0].value;
        g.shares[k] = 0;
        g.grownTo[k] = walk ? walk->period[0] : 0;
        g.feeFrom[k] = FEE_FROM_NONE;
        g.lastSale[k] = 0;
    }
    // The first point of the next year, where every lane's cash takes the walk's step, and
    // the DatePeriod of this year's first point.
    uint32_t nextYear = walk ? walk->yearEnd[0] : n;
    double yearStart = walk ? walk->period[0] : 0;
    GridSet holding = {0, 0};
    int8_t code[CODE_CHUNK + 32];
    uint16_t trading[CODE_CHUNK + 16];
    uint32_t bought = 0, sold = 0;
    for (uint32_t first = 0; first < n; first += CODE_CHUNK) {
        uint32_t count = n - first < CODE_CHUNK ? n - first : CODE_CHUNK;
        PointCodes(p + first, count, code);
        uint32_t points = TradingPoints(code, count, &bought, &sold, trading);
        for (uint32_t q = 0; q < points; q++) {
            uint32_t j = trading[q];
            int32_t c = code[j];
            uint32_t i = first + j;
            for (; nextYear <= i; nextYear = walk->yearEnd[nextYear]) {
                GrowToYear(&g, walk, nextYear, yearStart, &holding);
                yearStart = walk->period[nextYear];
            }
            GridSet buys, sells;
            if (c == CODE_SPECIAL) {
                SignalSets(p[i].value, p[i].ma, &buys, &sells);
            } else {
                buys = CodeTable.buys[c + STRATEGY_THRESHOLDS];
                sells = CodeTable.sells[c + STRATEGY_THRESHOLDS];
            }
            TradePoint t = TradePointOf(walk, p, i);
            GridSet selling = {sells.lo & holding.lo, sells.hi & holding.hi};
            GridSet buying = {buys.lo & ~holding.lo, buys.hi & ~holding.hi};
            holding.lo ^= selling.lo | buying.lo;
            holding.hi ^= selling.hi | buying.hi;
            // Above the average only buy signals hold and below it only sell signals; a
            // special point may have both.
            if (c <= 0 || c == CODE_SPECIAL)
                SellSet(&g, selling, &t);
            if (c > 0)
                BuySet(&g, buying, walk, fund, series, &t);
        }
    }
    for (; nextYear < n; nextYear = walk->yearEnd[nextYear]) {
        GrowToYear(&g, walk, nextYear, yearStart, &holding);
        yearStart = walk->period[nextYear];
    }
    FinishFastGrid(&g, &holding, walk, fund, series, n - 1);
    StrategyGridCells &grid = *cells;
    for (uint32_t k = 0; k < GRID_CELLS; k++) {
        Strategy *s = &grid[k / STRATEGY_THRESHOLDS][k % STRATEGY_THRESHOLDS];
        s->holding = (uint32_t)(((k < 64 ? holding.lo : holding.hi) >> (k & 63)) & 1);
        s->cash = g.cash[k];
        s->shares = g.shares[k];
        s->lastTrade = g.feeFrom[k] > 0 ? (uint32_t)g.feeFrom[k] : 0;
        s->lastSale = g.lastSale[k];
    }
}

#if !defined(FAST_GRID_WIDE)
#if !defined(VANTRY_WIDE_GRID)
void RunFastGridWide(FundRecord *fund, int series, uint32_t n, StrategyGridCells *cells)
{
    RunFastGrid(fund, series, n, cells);
}
#endif

// Whether the wide build of the grid was made and this processor runs it: looked up once.
static int FindWideGrid(void)
{
#if defined(VANTRY_WIDE_GRID)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#else
    return 0;
#endif
}

int WideGridAvailable(void)
{
    static const int available = FindWideGrid();
    return available;
}
#endif
