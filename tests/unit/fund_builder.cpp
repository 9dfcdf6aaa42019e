// Hand-built funds for the analysis tests.
#include "fund_builder.h"

#include <string.h>

#include <algorithm>

#include "analysis/movavg.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"
#include "data/ratefile.h"

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

void NamedFunds(const std::vector<std::string> &names)
{
    NewFundTable((uint32_t)names.size());
    for (size_t i = 0; i < names.size(); i++)
        if (!names[i].empty()) {
            std::string name = names[i] + " fund";
            FundTable[i].name = CopyString(name.c_str(), name.size());
            FundTable[i].shortName = CopyString(names[i].c_str(), names[i].size());
        }
}

// The point and indicator arrays of one series, zero-filled.
static void AllocSeries(FundRecord *f, int series)
{
    uint32_t n = f->pointCount;
    f->points[series] = (NavPoint *)AllocZero(n, sizeof(NavPoint));
    f->bandPoints[series] = (BandPoint *)AllocZero(n, sizeof(BandPoint));
    f->macdPoints[series] = (MacdPoint *)AllocZero(n, sizeof(MacdPoint));
    f->rocPoints[series] = (RocPoint *)AllocZero(n, sizeof(RocPoint));
}

FundRecord *SetFundPoints(uint32_t i, const char *shortName, const std::vector<PointSpec> &points)
{
    FundRecord *f = &FundTable[i];
    f->shortName = CopyString(shortName, strlen(shortName));
    f->name = CopyString(shortName, strlen(shortName));
    f->pointCount = (uint32_t)points.size();
    AllocSeries(f, 0);
    for (uint32_t k = 0; k < f->pointCount; k++) {
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

FundRecord *SearchFund(const std::vector<double> &values)
{
    BuildTriangularWeights();
    FundRecord *f = SingleFund(PeriodPoints(values));
    NewQuarterTable(64);
    SetMoneyMarket(6.0, 3);
    return f;
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

std::vector<PointSpec> PeriodPoints(const std::vector<double> &values)
{
    std::vector<PointSpec> points;
    for (size_t i = 0; i < values.size(); i++) {
        unsigned slot = (unsigned)(i % 60);
        points.push_back({slot / 5 + 1, 1 + 7 * (slot % 5), (unsigned)(i / 60), values[i]});
    }
    return points;
}

std::vector<double> Ramp(unsigned n, double start, double step)
{
    std::vector<double> v;
    for (unsigned i = 0; i < n; i++)
        v.push_back(start + step * i);
    return v;
}

bool Holds(const FundRecord *f, int series, uint32_t i, uint32_t bit)
{
    return (f->points[series][i].dateWord & bit) != 0;
}

void AddSeriesOne(FundRecord *f)
{
    AllocSeries(f, 1);
    memcpy(f->points[1], f->points[0], f->pointCount * sizeof(NavPoint));
}

void SetMoneyMarket(double rate, uint32_t years)
{
    FreeRateTables();
    MoneyMarketRates = (RateRecord *)AllocZero(years, sizeof(RateRecord));
    for (uint32_t k = 0; k < years; k++)
        MoneyMarketRates[k] = {40 + k, rate};
    MoneyMarketCount = years;
}

void SetParams(MaSettings *s, const ParamList &params)
{
    for (const auto &p : params)
        SetMaParam(s, p.first, p.second);
}
