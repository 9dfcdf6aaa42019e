// The strategy grid: the fast grid of the searches and its straightforward reference.
#include "analysis/grid.h"

#include <float.h>
#include <math.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "analysis/returns.h"
#include "data/datetable.h"

// One grid per thread, reached through a function: the analysis runs on several threads.
static thread_local StrategyGridCells ThreadStrategyGrid;

StrategyGridCells *CurrentStrategyGrid(void)
{
    return &ThreadStrategyGrid;
}

// Every strategy of the grid not holding, with the first value as cash.
static void StartGrid(double cash)
{
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            StartStrategy(&StrategyGrid[r][c], cash);
}

// The final pass of every strategy at point last.
static void FinishGrid(const FundRecord *fund, int series, uint32_t last)
{
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            FinishStrategy(&StrategyGrid[r][c], fund, series, last);
}

// The best cash of the grid and its thresholds, scanned r then c, strictly greater wins.
static double BestOfGrid(uint32_t *buy, uint32_t *sell)
{
    double best = StrategyGrid[0][0].cash;
    *buy = 0;
    *sell = 0;
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
            if (StrategyGrid[r][c].cash > best) {
                best = StrategyGrid[r][c].cash;
                *buy = r;
                *sell = c;
            }
    return best;
}

int GridReferenceOnly;
uint64_t GridPointSteps;

// The 121 strategies as the bits of a pair of words: bit r * 11 + c is the strategy of
// buy threshold r and sell threshold c, so bit order is the grid's row order.
struct GridSet {
    uint64_t lo, hi;
};

static void AddToSet(GridSet *set, uint32_t k)
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

static GridSets MakeGridSets(void)
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
static const GridSets Sets = MakeGridSets();

// For an average m above 0, the level m + t% of m grows with t (each rounding step keeps
// the order), so the buy signals of thresholds 1..10 hold for 1..T and no further; and
// the sell level m - t% of m falls with t, so the sell signals hold for 1..S. T and S
// are found from an estimate, each step confirmed by the rule's own expression.
static uint32_t BuyLevelsReached(double x, double m)
{
    double e = (x - m) * 100 / m;
    uint32_t t = e >= 10 ? 10 : e >= 1 ? (uint32_t)e : 0;
    while (t < STRATEGY_THRESHOLDS - 1 && MaBuySignal(x, m, t + 1))
        t++;
    while (t > 0 && !MaBuySignal(x, m, t))
        t--;
    return t;
}

static uint32_t SellLevelsReached(double x, double m)
{
    double e = (m - x) * 100 / m;
    uint32_t t = e >= 10 ? 10 : e >= 1 ? (uint32_t)e : 0;
    while (t < STRATEGY_THRESHOLDS - 1 && MaSellSignal(x, m, t + 1))
        t++;
    while (t > 0 && !MaSellSignal(x, m, t))
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
        *buys = Sets.rowsUpTo[t != LEVELS_UNDECIDED ? t : BuyLevelsReached(x, m)];
        t = LevelsPassed(-e);
        *sells = Sets.columnsUpTo[t != LEVELS_UNDECIDED ? t : SellLevelsReached(x, m)];
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
// the GridSet (r * 11 + c), so that two strategies trading at the same point go through
// the rule's arithmetic side by side in the two lanes of a vector. Each lane takes the
// very steps of SellShares, BuyShares and WalkGrowth; a lane that needs no step (no fee,
// no interest in a year) keeps its value by selection, never by an added zero.

#define GRID_CELLS (STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS)
struct FastGrid {
    double cash[GRID_CELLS], shares[GRID_CELLS];
    uint32_t lastTrade[GRID_CELLS], lastSale[GRID_CELLS];
};

typedef double Pair __attribute__((vector_size(16)));

// Whether LessFee charges a trade at i after the previous trade at last.
static inline int FeeDue(uint32_t i, uint32_t last)
{
    return last != 0 && i - last - 1 < FEE_POINTS;  // 1 <= i - last <= 9
}

// LessFee of two amounts traded at point i by strategies whose previous trades were at
// last0 and last1.
static inline Pair LessFeePair(Pair amount, uint32_t i, uint32_t last0, uint32_t last1)
{
    int due0 = FeeDue(i, last0), due1 = FeeDue(i, last1);
    // Two trades each ten points or more after their strategy's last: no fee to divide.
    if (!(due0 | due1))
        return amount;
    // The table's percentages are above 0 but for the first, which stands for no fee.
    Pair fee = {TradingFeeTable[due0 ? i - last0 : 0], TradingFeeTable[due1 ? i - last1 : 0]};
    Pair less = amount - amount * fee / 100;
    return fee > 0 ? less : amount;
}

// WalkGrowth(w, value[l], from[l], to) of two lanes: year by year in lockstep, a lane
// that has reached to standing still (its step spans no periods). A step over more than
// a year (a gap in the data) is taken by CompoundAtRate itself. The rule's step of a part
// year adds value * |rate| / 100 * span / 60 or, for a negative rate, takes it away; the
// product with the signed rate is that amount with the rate's sign, to the last bit, so
// both cases are one addition.
//
// The grid's points are all below the walk's count (the trial points are the fund's first
// ones), so unlike WalkGrowth it needs no check of the indexes.
static inline Pair WalkGrowthPair(const MoneyMarketWalk *w, Pair value, uint32_t from0,
                                  uint32_t from1, uint32_t to)
{
    for (;;) {
        uint32_t j0 = w->yearEnd[from0] < to ? w->yearEnd[from0] : to;
        uint32_t j1 = w->yearEnd[from1] < to ? w->yearEnd[from1] : to;
        int32_t span0 = w->period[j0] - w->period[from0], span1 = w->period[j1] - w->period[from1];
        Pair rate = {w->rate[from0], w->rate[from1]};
        if (span0 >= 60 || span1 >= 60) {
            value = Pair{CompoundAtRate(value[0], rate[0], span0), CompoundAtRate(value[1], rate[1], span1)};
        } else {
            Pair span = {(double)span0, (double)span1};
            Pair grown = value + value * rate / 100 * span / 60;
            value = span > 0 ? grown : value;
        }
        if (j0 == to && j1 == to)
            return value;
        from0 = j0;
        from1 = j1;
    }
}

// CashAmount of strategies k0 and k1 at point i. w: the fund's money-market walk (null:
// series 1, or series 0 without a prepared walk).
static inline Pair CashAmountPair(const FastGrid *g, uint32_t k0, uint32_t k1,
                                  const MoneyMarketWalk *w, const FundRecord *fund, int series,
                                  uint32_t i)
{
    Pair cash = {g->cash[k0], g->cash[k1]};
    if (w)
        return WalkGrowthPair(w, cash, g->lastSale[k0], g->lastSale[k1], i);
    if (series == 0)
        return Pair{GrowCash(fund, cash[0], g->lastSale[k0], i), GrowCash(fund, cash[1], g->lastSale[k1], i)};
    return cash;
}

// SellShares of strategies k0 and k1 at point i, value x.
static inline void SellPair(FastGrid *g, uint32_t k0, uint32_t k1, uint32_t i, double x)
{
    Pair cash = LessFeePair(Pair{g->shares[k0], g->shares[k1]} * x, i, g->lastTrade[k0], g->lastTrade[k1]);
    g->cash[k0] = cash[0];
    g->cash[k1] = cash[1];
    g->lastSale[k0] = g->lastTrade[k0] = i;
    g->lastSale[k1] = g->lastTrade[k1] = i;
}

// BuyShares of strategies k0 and k1 at point i, value x, with their CashAmount.
static inline void BuyPair(FastGrid *g, uint32_t k0, uint32_t k1, const MoneyMarketWalk *w,
                           const FundRecord *fund, int series, uint32_t i, double x)
{
    Pair amount = CashAmountPair(g, k0, k1, w, fund, series, i);
    amount = LessFeePair(amount, i, g->lastTrade[k0], g->lastTrade[k1]);
    Pair shares = x == 0 ? Pair{0, 0} : amount / x;  // SafeDivide
    g->shares[k0] = shares[0];
    g->shares[k1] = shares[1];
    g->lastTrade[k0] = i;
    g->lastTrade[k1] = i;
}

// Takes the lowest strategy out of a set that holds one, or gives other when it is empty
// (and leaves it so). Without branches: which strategies trade is as unpredictable as
// the prices.
static inline uint32_t TakeLowest(GridSet *set, uint32_t other)
{
    uint64_t inLo = set->lo != 0;
    uint64_t word = inLo ? set->lo : set->hi;
    // Bit 63 of either word is no strategy's (there are 121): it only keeps the count
    // defined for an empty word, whose result is not used.
    uint32_t k = (inLo ? 0 : 64) + (uint32_t)__builtin_ctzll(word | (uint64_t)1 << 63);
    uint64_t rest = word & (word - 1);
    set->lo = inLo ? rest : 0;
    set->hi = inLo ? set->hi : rest;
    return word ? k : other;
}

// The sales of the strategies in selling at point i, value x, two at a time (a last
// odd one in both lanes).
static void SellSet(FastGrid *g, GridSet selling, uint32_t i, double x)
{
    while (selling.lo | selling.hi) {
        uint32_t k0 = TakeLowest(&selling, 0);
        SellPair(g, k0, TakeLowest(&selling, k0), i, x);
    }
}

// The purchases of the strategies in buying at point i, value x, two at a time.
static void BuySet(FastGrid *g, GridSet buying, const MoneyMarketWalk *w, const FundRecord *fund,
                   int series, uint32_t i, double x)
{
    while (buying.lo | buying.hi) {
        uint32_t k0 = TakeLowest(&buying, 0);
        BuyPair(g, k0, TakeLowest(&buying, k0), w, fund, series, i, x);
    }
}

// FinishStrategy of every strategy at point last, with the holding set: the cash of those
// holding is their shares' value; the others, for series 0 and unless they sold at last,
// grow their cash from their last sale, two at a time.
static void FinishFastGrid(FastGrid *g, const GridSet *holding, const MoneyMarketWalk *w,
                           const FundRecord *fund, int series, uint32_t last)
{
    double lastValue = fund->points[series][last].value;
    uint8_t waiting[GRID_CELLS + 1];
    uint32_t count = 0;
    for (uint32_t k = 0; k < GRID_CELLS; k++) {
        uint64_t bit = (uint64_t)1 << (k & 63);
        if ((k < 64 ? holding->lo : holding->hi) & bit)
            g->cash[k] = g->shares[k] * lastValue;
        else if (series == 0 && g->lastSale[k] != last)
            waiting[count++] = (uint8_t)k;
    }
    waiting[count] = waiting[count - (count != 0)];
    for (uint32_t k = 0; k < count; k += 2) {
        Pair cash = CashAmountPair(g, waiting[k], waiting[k + 1], w, fund, series, last);
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
        tb = BuyLevelsReached(x, m);
    if (ts == LEVELS_UNDECIDED)
        ts = SellLevelsReached(x, m);
    // Above m only buy levels can be reached, below m only sell levels.
    if (MaBuySignal(x, m, 0))
        return (int8_t)(tb + 1);
    return (int8_t)(MaSellSignal(x, m, 0) ? -(int32_t)ts - 1 : 0);
}

// The point codes of count points. Two at a time where the processor has vectors of two
// doubles, without branches on the signals (x lies above or below m at random), so that
// the points' divisions overlap. The ratio's sign tells the side of m and its size the
// levels reached on that side (LevelsPassed of |e|); a point the vector steps cannot
// settle (outside the normal range, or a ratio too close to a level) gets the code of
// PointCode.
static void PointCodes(const NavPoint *p, uint32_t count, int8_t *code)
{
    uint32_t i = 0;
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

static CodeSets MakeCodeSets(void)
{
    CodeSets t = {};
    for (uint32_t k = 1; k <= STRATEGY_THRESHOLDS; k++) {
        GridSet b = Sets.rowsUpTo[k - 1], s = Sets.columnsUpTo[k - 1];
        t.buys[STRATEGY_THRESHOLDS + k] = GridSet{b.lo | Sets.row0.lo, b.hi | Sets.row0.hi};
        t.sells[STRATEGY_THRESHOLDS - k] = GridSet{s.lo | Sets.column0.lo, s.hi | Sets.column0.hi};
    }
    return t;
}
static const CodeSets CodeTable = MakeCodeSets();

// The points of a stretch of codes where a strategy may trade, as indexes into code;
// returns their count. After a point of buy code k every strategy of the rows below k
// holds, and nothing but a sell code makes one of them sell: until then a buy code of k
// or less buys nothing. Likewise after a sell code of -k the columns below k are out of
// the fund until a buy code. *bought and *sold carry the highest buy and sell codes since
// the last code of the other side from one stretch to the next (0 and 0 at the start).
// Branch-free: whether a point trades is as unpredictable as the prices.
static uint32_t TradingPoints(const int8_t *code, uint32_t count, uint32_t *bought,
                              uint32_t *sold, uint16_t *trading)
{
    uint32_t up = *bought, down = *sold, points = 0;
    for (uint32_t j = 0; j < count; j++) {
        int32_t c = code[j];
        uint32_t special = c == CODE_SPECIAL;
        uint32_t b = c > 0 && !special ? (uint32_t)c : 0;
        uint32_t s = c < 0 ? (uint32_t)-c : 0;
        trading[points] = (uint16_t)j;
        points += special | (b > up) | (s > down);
        // A point the rule's expressions decide may buy or sell in any row or column.
        up = (special | (s != 0)) ? 0 : (b > up ? b : up);
        down = (special | (b != 0)) ? 0 : (s > down ? s : down);
    }
    *bought = up;
    *sold = down;
    return points;
}

double ScoreMaGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    if (GridReferenceOnly)
        return ScoreMaGridReference(fund, series, buy, sell);
    *buy = 0;
    *sell = 0;
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    __atomic_fetch_add(&GridPointSteps, (uint64_t)n, __ATOMIC_RELAXED);
    const NavPoint *p = fund->points[series];
    // A point's buy level is shared by a row of the grid and its sell level by a column,
    // so the signals of a point are two sets of strategies; a strategy trades only where
    // its own state's signal holds, and between trades nothing changes. The holding set
    // mirrors the strategies' holding flags.
    FastGrid g;
    for (uint32_t k = 0; k < GRID_CELLS; k++) {
        g.cash[k] = p[0].value;
        g.shares[k] = 0;
        g.lastTrade[k] = 0;
        g.lastSale[k] = 0;
    }
    const MoneyMarketWalk *walk = series == 0 ? WalkOf(fund) : nullptr;
    GridSet holding = {0, 0};
    int8_t code[CODE_CHUNK];
    uint16_t trading[CODE_CHUNK];
    uint32_t bought = 0, sold = 0;
    for (uint32_t first = 0; first < n; first += CODE_CHUNK) {
        uint32_t count = n - first < CODE_CHUNK ? n - first : CODE_CHUNK;
        PointCodes(p + first, count, code);
        uint32_t points = TradingPoints(code, count, &bought, &sold, trading);
        for (uint32_t q = 0; q < points; q++) {
            uint32_t j = trading[q];
            int32_t c = code[j];
            uint32_t i = first + j;
            GridSet buys, sells;
            if (c == CODE_SPECIAL) {
                SignalSets(p[i].value, p[i].ma, &buys, &sells);
            } else {
                buys = CodeTable.buys[c + STRATEGY_THRESHOLDS];
                sells = CodeTable.sells[c + STRATEGY_THRESHOLDS];
            }
            GridSet selling = {sells.lo & holding.lo, sells.hi & holding.hi};
            GridSet buying = {buys.lo & ~holding.lo, buys.hi & ~holding.hi};
            holding.lo ^= selling.lo | buying.lo;
            holding.hi ^= selling.hi | buying.hi;
            // Above the average only buy signals hold and below it only sell signals; a
            // special point may have both.
            if (c <= 0 || c == CODE_SPECIAL)
                SellSet(&g, selling, i, p[i].value);
            if (c > 0)
                BuySet(&g, buying, walk, fund, series, i, p[i].value);
        }
    }
    FinishFastGrid(&g, &holding, walk, fund, series, n - 1);
    StrategyGridCells &grid = StrategyGrid;
    for (uint32_t k = 0; k < GRID_CELLS; k++) {
        Strategy *s = &grid[k / STRATEGY_THRESHOLDS][k % STRATEGY_THRESHOLDS];
        s->holding = (uint32_t)(((k < 64 ? holding.lo : holding.hi) >> (k & 63)) & 1);
        s->cash = g.cash[k];
        s->shares = g.shares[k];
        s->lastTrade = g.lastTrade[k];
        s->lastSale = g.lastSale[k];
    }
    return BestOfGrid(buy, sell);
}

double ScoreMaGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell)
{
    *buy = 0;
    *sell = 0;
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    __atomic_fetch_add(&GridPointSteps, (uint64_t)n, __ATOMIC_RELAXED);
    const NavPoint *p = fund->points[series];
    StartGrid(p[0].value);
    for (uint32_t i = 0; i < n; i++)
        for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++)
            for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++)
                ApplyTradingRule(&StrategyGrid[r][c], fund, series, i, p[i].value, p[i].ma,
                                 r, c);
    FinishGrid(fund, series, n - 1);
    return BestOfGrid(buy, sell);
}

double GridMeanCash(uint32_t k)
{
    if (k > STRATEGY_THRESHOLDS - 1)
        k = STRATEGY_THRESHOLDS - 1;
    double sum = 0;
    for (uint32_t r = 0; r <= k; r++)
        for (uint32_t c = 0; c <= k; c++)
            sum += StrategyGrid[r][c].cash;
    return MeanOf(sum, (k + 1) * (k + 1));
}

double GridAverageReturn(const FundRecord *fund, int series, uint32_t k)
{
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    return AnnualizedReturn(fund->points[series][0].value, GridMeanCash(k),
                            TrialPeriodSpan(fund, series));
}
int32_t TrialPeriodSpan(const FundRecord *fund, int series)
{
    uint32_t n = TrialPointCount(fund, series);
    if (n == 0)
        return 0;
    const NavPoint *p = fund->points[series];
    return DatePeriodOf(p[n - 1].dateWord & 0xFFFF) - DatePeriodOf(p[0].dateWord & 0xFFFF);
}
