// Builds small funds by hand for the analysis tests: a date table from the funds' dates
// and a one-fund (or few-fund) FundTable whose blocks the test environment frees.
#ifndef VANTRY_FUND_BUILDER_H
#define VANTRY_FUND_BUILDER_H

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "data/fund.h"

struct PointSpec {
    unsigned month, day, year;  // two-digit year
    double value;
    bool noValue = false;
};

// Makes the DateTable hold exactly these dates (and any extra ones given).
void BuildDateTable(const std::vector<PackedDate> &dates);
PackedDate Date(unsigned month, unsigned day, unsigned twoDigitYear);
// The DateIndex of a date already in the table.
uint32_t IndexOf(unsigned month, unsigned day, unsigned twoDigitYear);

// A FundTable of count zero-filled records (freed by the test environment).
void NewFundTable(uint32_t count);
// A FundTable of zero-filled records with these short names, in this order, each named
// "<short name> fund" (so that a file written with the one for the other shows); an
// empty text leaves its record without either.
void NamedFunds(const std::vector<std::string> &names);
// Fills record i with a name and points whose dates must already be in the DateTable; the
// series-0 indicator arrays are allocated too.
FundRecord *SetFundPoints(uint32_t i, const char *shortName, const std::vector<PointSpec> &points);
// One fund over a date table made of its own dates.
FundRecord *SingleFund(const std::vector<PointSpec> &points);
// A fund ready for the moving-average search: SingleFund over PeriodPoints(values), the
// triangular weights built, a QuarterTable of 64 and money-market cash at 6 percent (0.1
// percent a period) in 2000-2002.
FundRecord *SearchFund(const std::vector<double> &values);
// Distributions and splits of a fund, dates as DateIndexes.
void SetDists(FundRecord *f, const std::vector<DistRecord> &dists);
void SetSplits(FundRecord *f, const std::vector<SplitRecord> &splits);
// One point per DatePeriod from January 2000 (days 1, 8, 15, 22 and 29 of each month), so
// point i lies i periods after point 0.
std::vector<PointSpec> PeriodPoints(const std::vector<double> &values);
// n values from start, step apart.
std::vector<double> Ramp(unsigned n, double start, double step);
// Whether point i of a series has the holding bit (NAV_MA_HOLDING and the like) set.
bool Holds(const FundRecord *f, int series, uint32_t i, uint32_t bit);
// Series 1 as a copy of series 0 in its own arrays (a relative series).
void AddSeriesOne(FundRecord *f);
// MoneyMarketRates of years 2000 to 2000 + years - 1, each at rate percent (a counted
// table the test environment frees).
void SetMoneyMarket(double rate, uint32_t years);
// Sets each of the parameters of one series's settings.
typedef std::vector<std::pair<MaParam, uint32_t>> ParamList;
void SetParams(MaSettings *s, const ParamList &params);
// A QuarterTable of the given capacity.
void NewQuarterTable(uint32_t count);

#endif
