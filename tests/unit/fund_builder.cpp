// Hand-built funds for the analysis tests.
#include "fund_builder.h"

#include <string.h>

#include <algorithm>

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"

PackedDate Date(unsigned month, unsigned day, unsigned year)
{
    return MakePackedDate(YearCodeOfTwoDigitYear(year), month, day);
}

void BuildDateTable(const std::vector<PackedDate> &dates)
{
    BeginDateTable();
    for (PackedDate d : dates)
        AddDate(d, "test", 1);
    FinishDateTable();
}

uint32_t IndexOf(unsigned month, unsigned day, unsigned year)
{
    return FindDate(Date(month, day, year));
}

void NewFundTable(uint32_t count)
{
    FreeFundTable();
    FundTable = (FundRecord *)AllocZero(count, sizeof(FundRecord));
    FundCount = count;
}

FundRecord *SetFundPoints(uint32_t i, const char *shortName, const std::vector<PointSpec> &points)
{
    FundRecord *f = &FundTable[i];
    f->shortName = CopyString(shortName, strlen(shortName));
    f->name = CopyString(shortName, strlen(shortName));
    uint32_t n = (uint32_t)points.size();
    f->pointCount = n;
    f->points[0] = (NavPoint *)AllocZero(n, sizeof(NavPoint));
    f->bandPoints[0] = (BandPoint *)AllocZero(n, sizeof(BandPoint));
    f->macdPoints[0] = (MacdPoint *)AllocZero(n, sizeof(MacdPoint));
    f->rocPoints[0] = (RocPoint *)AllocZero(n, sizeof(RocPoint));
    for (uint32_t k = 0; k < n; k++) {
        const PointSpec &p = points[k];
        f->points[0][k].dateWord = IndexOf(p.month, p.day, p.year) | (p.noValue ? NAV_NO_VALUE : 0);
        f->points[0][k].value = p.value;
    }
    return f;
}

FundRecord *SingleFund(const std::vector<PointSpec> &points)
{
    std::vector<PackedDate> dates;
    for (const PointSpec &p : points)
        dates.push_back(Date(p.month, p.day, p.year));
    BuildDateTable(dates);
    NewFundTable(1);
    return SetFundPoints(0, "FUND", points);
}

void SetDists(FundRecord *f, const std::vector<DistRecord> &dists)
{
    f->distCount = (uint32_t)dists.size();
    f->dists = (DistRecord *)AllocZero(dists.size(), sizeof(DistRecord));
    std::copy(dists.begin(), dists.end(), f->dists);
}

void SetSplits(FundRecord *f, const std::vector<SplitRecord> &splits)
{
    f->splitCount = (uint32_t)splits.size();
    f->splits = (SplitRecord *)AllocZero(splits.size(), sizeof(SplitRecord));
    std::copy(splits.begin(), splits.end(), f->splits);
}

void NewQuarterTable(uint32_t count)
{
    FreeBlock(QuarterTable);
    QuarterTable = (double *)AllocZero(count, sizeof(double));
    QuarterCount = count;
}
