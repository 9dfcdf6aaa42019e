// The fund list's order: stable insertions over FundTable.
#include "analysis/ranking.h"

#include <math.h>
#include <string.h>

#include "analysis/analyst.h"
#include "data/alloc.h"
#include "data/viewflags.h"

SortFundsHook SortFundsZeroLineHook;
SortFundsHook SortFundsResyncHook;

// The steps of the sort move indexes into FundTable, not the records: a record is large,
// and an insertion past n funds would move n of them. Order[i] is the record at
// position i; a step ends by putting the records into that order, each record moved
// once. Keys, when set, holds each record's ranking key. Without the memory for the
// order, the steps move the records themselves, to the same result.
static uint32_t *Order;
static double *Keys;

static void BeginOrder(void)
{
    Order = (uint32_t *)AllocZero(FundCount, sizeof(uint32_t));
    for (uint32_t i = 0; Order && i < FundCount; i++)
        Order[i] = i;
}

// The records into Order's order, one cycle of the permutation at a time.
static void EndOrder(void)
{
    for (uint32_t start = 0; Order && start < FundCount; start++) {
        if (Order[start] == start)
            continue;
        FundRecord first = FundTable[start];
        uint32_t at = start;
        while (Order[at] != start) {
            uint32_t from = Order[at];
            FundTable[at] = FundTable[from];
            Order[at] = at;
            at = from;
        }
        FundTable[at] = first;
        Order[at] = at;
    }
    FreeBlock(Order);
    Order = nullptr;
}

static FundRecord *RecordAt(uint32_t i)
{
    return &FundTable[Order ? Order[i] : i];
}

// Moves element from of an array to position to, shifting the elements between by one.
template <typename Element>
static void MoveElement(Element *array, uint32_t from, uint32_t to)
{
    if (from == to)
        return;
    Element moving = array[from];
    if (from > to)
        memmove(&array[to + 1], &array[to], (from - to) * sizeof(Element));
    else
        memmove(&array[from], &array[from + 1], (to - from) * sizeof(Element));
    array[to] = moving;
}

// Moves the record at from to position to, shifting the records between by one.
static void MoveRecord(uint32_t from, uint32_t to)
{
    if (Order)
        MoveElement(Order, from, to);
    else
        MoveElement(FundTable, from, to);
}

static int CompareNames(const FundRecord *a, const FundRecord *b)
{
    return CompareNoCase(a->name ? a->name : "", b->name ? b->name : "");
}

void SortFundsByName(void)
{
    BeginOrder();
    for (uint32_t i = 1; i < FundCount; i++) {
        if (CompareNames(RecordAt(i - 1), RecordAt(i)) <= 0)
            continue;
        // The first record greater than this one; the one before it is, so j < i.
        uint32_t j = 0;
        while (CompareNames(RecordAt(j), RecordAt(i)) <= 0)
            j++;
        MoveRecord(i, j);
    }
    EndOrder();
}

int KeySeries(const FundRecord *fund)
{
    return ShowBenchmark && fund->indexName ? 1 : 0;
}

int KeyOfChart(const FundRecord *fund, uint32_t chartKind, double *key)
{
    const SeriesStats *s = &fund->stats[KeySeries(fund)];
    switch (chartKind) {
    case CHART_YTD_RETURN: *key = s->ytdReturn; return 1;
    case CHART_VOLATILITY: *key = s->volatility; return 1;
    case CHART_REWARD_RISK: *key = s->rewardRisk; return 1;
    case CHART_TOTAL_RETURN: *key = s->totalReturn; return 1;
    case CHART_TAX_EFFICIENCY: *key = fund->taxEfficiency; return 1;
    case CHART_6_MONTH: *key = s->return6Month; return 1;
    case CHART_1_YEAR: *key = s->return1Year; return 1;
    case CHART_3_YEAR: *key = s->return3Year; return 1;
    case CHART_5_YEAR: *key = s->return5Year; return 1;
    case CHART_7_YEAR: *key = s->return7Year; return 1;
    case CHART_10_YEAR: *key = s->return10Year; return 1;
    case CHART_SIGNALS: *key = s->return6Month; return 1;
    case CHART_CURRENT_STRENGTH:
        if (ShowMovingAverage)
            *key = s->currentStrength;
        else if (ShowMacd)
            *key = s->macdStrength;
        else if (ShowRoc)
            *key = s->rocLatest;
        else
            return 0;
        return 1;
    case CHART_SHARPE: *key = s->sharpe; return 1;
    }
    if (chartKind >= CHART_KIND_COUNT)
        return 0;
    // A fund not validated (or validated for other settings) goes after every one that was.
    if (IsValidationChart(chartKind)) {
        if (!ValidationChartValue(fund, chartKind, key))
            *key = -HUGE_VAL;
        return 1;
    }
    // A fund without the figure (no index fund, too short a history) ranks as 0.
    AnalystChartValue(fund, KeySeries(fund), chartKind, key);
    return 1;
}

static double KeyAt(uint32_t i, uint32_t chartKind)
{
    if (Keys)
        return Keys[Order[i]];
    double key = 0;
    KeyOfChart(RecordAt(i), chartKind, &key);
    return key;
}

// Only a strictly smaller key lets a fund pass, so equal keys keep their order.
static void RankDescending(uint32_t chartKind)
{
    // A key depends on its record alone: each is taken once.
    Keys = Order ? (double *)AllocZero(FundCount, sizeof(double)) : nullptr;
    for (uint32_t i = 0; Keys && i < FundCount; i++)
        KeyOfChart(&FundTable[i], chartKind, &Keys[i]);
    for (uint32_t i = 1; i < FundCount; i++) {
        double key = KeyAt(i, chartKind);
        if (!(KeyAt(i - 1, chartKind) < key))
            continue;
        uint32_t j = 0;
        while (!(KeyAt(j, chartKind) < key))
            j++;
        MoveRecord(i, j);
    }
    FreeBlock(Keys);
    Keys = nullptr;
}

int SignalHolding(const FundRecord *fund, int series)
{
    uint32_t bit;
    if (ShowMovingAverage)
        bit = NAV_MA_HOLDING;
    else if (ShowMacd)
        bit = NAV_MACD_HOLDING;
    else if (ShowRoc)
        bit = NAV_ROC_HOLDING;
    else
        return 0;
    const NavPoint *points = fund->points[series];
    if (!points || fund->pointCount == 0)
        return 0;
    return (points[fund->pointCount - 1].dateWord & bit) ? 1 : 0;
}

// Both series' bits: a fund without a benchmark has series 1 equal to series 0, so its
// bit counts twice.
static int HoldingSum(uint32_t i)
{
    return SignalHolding(RecordAt(i), 0) + SignalHolding(RecordAt(i), 1);
}

static void GroupSignals(void)
{
    uint32_t top = 0;
    for (uint32_t i = 0; i < FundCount; i++)
        if (HoldingSum(i) == 2)
            MoveRecord(i, top++);
    uint32_t bottom = FundCount;
    for (uint32_t i = FundCount; i-- > top;)
        if (HoldingSum(i) == 0)
            MoveRecord(i, --bottom);
}

void ChartRanking(void)
{
    double unused;
    if (FundCount == 0 || !KeyOfChart(&FundTable[0], ChartKind, &unused))
        return;
    BeginOrder();
    RankDescending(ChartKind);
    if (ChartKind == CHART_SIGNALS)
        GroupSignals();
    EndOrder();
}

static int IsInPortfolio(const FundRecord *fund)
{
    return (fund->flags & FUND_IN_PORTFOLIO) != 0;
}

static uint32_t GroupingCategory(const FundRecord *fund)
{
    return GroupMode && IsInPortfolio(fund) ? CATEGORY_PORTFOLIO : FundCategory(fund);
}

void CategoryGrouping(void)
{
    BeginOrder();
    uint32_t top = 0;
    for (uint32_t c = 1; c < CATEGORY_COUNT; c++)
        for (uint32_t i = top; i < FundCount; i++)
            if (GroupingCategory(RecordAt(i)) == c)
                MoveRecord(i, top++);
    EndOrder();
}

void GatherPortfolioFunds(void)
{
    BeginOrder();
    uint32_t end = FundCount;
    while (end > 0 && IsInPortfolio(RecordAt(end - 1)))
        end--;
    for (uint32_t i = end; i-- > 0;)
        if (IsInPortfolio(RecordAt(i)))
            MoveRecord(i, --end);
    EndOrder();
}

void SortFunds(void)
{
    SortFundsByName();
    if (ChartKind != CHART_NONE)
        ChartRanking();
    if (SortFundsZeroLineHook)
        SortFundsZeroLineHook();
    if (CategorySort)
        CategoryGrouping();
    if (GroupMode)
        GatherPortfolioFunds();
    if (SortFundsResyncHook)
        SortFundsResyncHook();
}
