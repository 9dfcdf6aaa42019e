// The load worker: the data directory turned into the analysed, ranked data set.
#ifndef VANTRY_LOADWORKER_H
#define VANTRY_LOADWORKER_H

#include <stdint.h>

#include "data/fund.h"

// Runs the whole load to its end (no cancellation) and reports its progress with the
// progress codes: 9, 1, 5..., 2 per file, 3, the second pass, the analysis of every fund,
// the relative series, 4, the status line, then 6 (posted) and 8. Frees the previous
// data set first. The parameter is ignored; returns 0.
uint32_t LoadThread(void *parameter);

// Threads that analyse the funds: 0 (the default) means one per processor; 1 analyses
// them on the load thread alone. The results are the same either way.
extern uint32_t LoadAnalysisThreads;

// The per-fund analysis of the load: its status text, then AnalyseFundData.
void AnalyseFund(FundRecord *fund);
// Sorts, filling, recent boundary, normalization, distribution total, OptimizeFund and
// RSI of series 0.
void AnalyseFundData(FundRecord *fund);
// The relative series of a fund (its series 0 shared when it has no index fund), with
// its RSI.
void RelateFund(FundRecord *fund);

// One piece of analysis: work on FundTable[fund]. Items of phase 1 start only when every
// item of phase 0 is done (a relative series reads its index fund's points, which the
// analysis of phase 0 writes).
struct AnalysisItem {
    uint32_t fund;
    void (*work)(FundRecord *);
    uint32_t phase;
};
// Runs count items given in table order, on the analysis threads (or on the calling
// thread alone), with every message and progress code replayed in the items' order, as
// one thread working through them in that order would give them; code 2 after each
// item when barSteps is set. The chart extremes of the threads are merged at the end.
void AnalyseFundList(const AnalysisItem *items, uint32_t count, int barSteps);

// The axis extents of the comparison charts from the fund-wide extremes, after adding
// the funds whose series 1 is their series 0 to slot 1.
void FinishChartScales(void);

#endif
