// The fund table, the category table and the record helpers.
#include "data/fund.h"

#include <string.h>

#include "data/alloc.h"

FundRecord *FundTable;
uint32_t FundCount;
uint32_t MaxNameWidth;

const CategoryEntry CategoryTable[CATEGORY_COUNT] = {
    {"(none)", 0x001},          {"Max Growth", 0x102},      {"SmallCap", 0x103},
    {"Global Equity", 0x104},   {"MidCap", 0x00E},          {"Growth", 0x105},
    {"Growth & Income", 0x006}, {"Index", 0x007},           {"Equity Income", 0x108},
    {"Balanced Equity", 0x109}, {"Balanced Bond", 0x00A},   {"Bond", 0x10B},
    {"Gold", 0x00C},            {"Sector", 0x00D},          {"Other", 0x001},
    {"Portfolio", 0x102},
};

const MaParamField MaParamFields[MA_PARAM_COUNT] = {
    {0, 0, 6},  {0, 6, 4},  {0, 10, 4}, {0, 14, 6}, {0, 20, 4}, {0, 24, 4},
    {1, 0, 7},  {1, 7, 4},  {1, 11, 4}, {1, 15, 5}, {1, 20, 4}, {1, 24, 4},
    {2, 0, 5},  {2, 5, 7},  {2, 12, 4}, {2, 16, 4}, {2, 20, 4}, {2, 24, 6},
    {3, 0, 4},  {3, 4, 4},  {3, 8, 4},  {3, 12, 8}, {3, 20, 4}, {3, 24, 4},
};

uint32_t GetMaParam(const MaSettings *s, MaParam p)
{
    const MaParamField &f = MaParamFields[p];
    return (s->words[f.word] >> f.shift) & ((1u << f.width) - 1);
}

void SetMaParam(MaSettings *s, MaParam p, uint32_t value)
{
    const MaParamField &f = MaParamFields[p];
    uint32_t mask = ((1u << f.width) - 1) << f.shift;
    s->words[f.word] = (s->words[f.word] & ~mask) | ((value << f.shift) & mask);
}

static const MaParam LengthParams[6] = {UMA_LENGTH, UMA_LENGTH, WMA_LENGTH,
                                        EMA_PERCENT, AMA_LENGTH, VIDYA_LENGTH};
static const MaParam BuyParams[6] = {UMA_BUY, UMA_BUY, WMA_BUY, EMA_BUY, AMA_BUY, VIDYA_BUY};
static const MaParam SellParams[6] = {UMA_SELL, UMA_SELL, WMA_SELL,
                                      EMA_SELL, AMA_SELL, VIDYA_SELL};

MaParam MaLengthParam(uint32_t kind) { return LengthParams[kind <= 5 ? kind : 0]; }
MaParam MaBuyParam(uint32_t kind) { return BuyParams[kind <= 5 ? kind : 0]; }
MaParam MaSellParam(uint32_t kind) { return SellParams[kind <= 5 ? kind : 0]; }

const char *MaKindLabel(uint32_t kind)
{
    static const char *const labels[6] = {"", "UMA", "WMA", "EMA", "AMA", "VIDYA"};
    return kind <= 5 ? labels[kind] : "";
}

int32_t PackedDatePeriod(PackedDate d)
{
    uint32_t day = PackedDay(d);
    uint32_t slot = day >= 29 ? 4 : (day == 0 ? 0 : (day - 1) / 7);
    uint32_t month = PackedMonth(d);
    return (int32_t)(PackedYearCode(d) * 60 + (month ? month - 1 : 0) * 5 + slot);
}

static int LowerAscii(int c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int CompareNoCase(const char *a, const char *b)
{
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    for (;; x++, y++) {
        int cx = LowerAscii(*x), cy = LowerAscii(*y);
        if (cx != cy)
            return cx - cy;
        if (cx == 0)
            return 0;
    }
}

FundRecord *FindFund(const char *shortName)
{
    for (uint32_t i = 0; i < FundCount; i++)
        if (FundTable[i].shortName && CompareNoCase(FundTable[i].shortName, shortName) == 0)
            return &FundTable[i];
    return nullptr;
}

void FreeSeriesOneArrays(FundRecord *f)
{
    // Series 1 shares series 0's arrays when the fund has no index fund.
    if (f->points[1] != f->points[0])
        FreeBlock(f->points[1]);
    if (f->bandPoints[1] != f->bandPoints[0])
        FreeBlock(f->bandPoints[1]);
    if (f->macdPoints[1] != f->macdPoints[0])
        FreeBlock(f->macdPoints[1]);
    if (f->rocPoints[1] != f->rocPoints[0])
        FreeBlock(f->rocPoints[1]);
    if (f->yearReturns[1] != f->yearReturns[0])
        FreeBlock(f->yearReturns[1]);
    f->points[1] = nullptr;
    f->bandPoints[1] = nullptr;
    f->macdPoints[1] = nullptr;
    f->rocPoints[1] = nullptr;
    f->yearReturns[1] = nullptr;
}

void FreeFundArrays(FundRecord *f)
{
    FreeSeriesOneArrays(f);
    FreeBlock(f->points[0]);
    FreeBlock(f->bandPoints[0]);
    FreeBlock(f->macdPoints[0]);
    FreeBlock(f->rocPoints[0]);
    FreeBlock(f->yearReturns[0]);
    FreeBlock(f->dists);
    FreeBlock(f->splits);
    FreeBlock(f->name);
    FreeBlock(f->shortName);
    FreeBlock(f->url);
    FreeBlock(f->indexName);
    memset(f, 0, sizeof *f);
}

void FreeFundTable(void)
{
    for (uint32_t i = 0; i < FundCount; i++)
        FreeFundArrays(&FundTable[i]);
    FreeBlock(FundTable);
    FundTable = nullptr;
    FundCount = 0;
}
