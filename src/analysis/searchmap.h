// The search map of a series: the 11 x 11 threshold grids of the moving-average search at
// the parameters it kept, over the trial and the evaluation period, and the robustness of
// the chosen cell. docs/statistics.md defines the figures.
#ifndef VANTRY_SEARCHMAP_H
#define VANTRY_SEARCHMAP_H

#include <stdint.h>

#include "analysis/grid.h"
#include "data/fund.h"

// One kind's grid at its kept parameter: row r is the buy threshold r percent, column c
// the sell threshold c percent. cash is each strategy's final cash, bit for bit what the
// search's grid ended with; annualized is its return in percent a year from the
// period's first value over the period.
struct KindMap {
    uint32_t kind;        // 1..5; 0 when the kind has no parameters (no map)
    uint32_t parameter;   // length (EMA: percent)
    uint32_t percent;     // VIDYA percent, 0 for the other kinds
    uint32_t buy, sell;   // the kind's kept thresholds: the chosen cell
    double cash[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
    double annualized[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
};

// A neighbourhood mean below this share of the chosen cell's return marks it fragile.
#define FRAGILE_ROBUSTNESS 0.5

struct SearchMap {
    uint32_t kind;              // the series' maKind; 0: no map at all
    KindMap trial[5];           // per kind 1..5 (index kind - 1) over the trial points
    // The chosen kind's 121 strategies replayed over every point as the graph's replay
    // does, restarting at recentStart from the fund's value: the equity at the last point
    // and its annualized return from recentStart. Only when recentStart is not 0.
    uint32_t hasEvaluation;
    double evaluationEquity[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
    double evaluation[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
    // The chosen cell of the chosen kind's trial map: MapRobustness and its verdict.
    uint32_t robustnessDefined;
    double robustness;
    uint32_t fragile;
};

// Which maps ComputeSearchMap fills.
enum SearchMapParts { SEARCH_MAP_CHOSEN = 0, SEARCH_MAP_WHOLE = 1 };

// Computes the search map of the series from the kept parameters on a scratch copy of its
// points: the fund itself is only read, so a page may be drawn while a worker runs. With
// SEARCH_MAP_CHOSEN only the chosen kind's trial map and the robustness; with
// SEARCH_MAP_WHOLE also the other kinds' trial maps and the evaluation map. Uses the
// calling thread's StrategyGrid and money-market walk, so never call it inside an
// analysis on the same thread. Series 1 without arrays of its own is series 0. Returns 1
// when map->kind is set; 0 (map zeroed) for a series without points or kind, or without
// memory for the copy ("Out of memory.").
int ComputeSearchMap(const FundRecord *fund, int series, SearchMapParts parts, SearchMap *map);

// The mean trial return of the up to 8 neighbours of cell (buy, sell) inside the grid,
// divided by the cell's own (both percent a year). *defined is 0, and the result 0, when
// the cell's own return is 0 or less: a rule that gained nothing has no plateau to
// measure.
double MapRobustness(const double percent[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS],
                     uint32_t buy, uint32_t sell, uint32_t *defined);
// 1 when a defined robustness lies below FRAGILE_ROBUSTNESS.
uint32_t RobustnessFragile(double robustness, uint32_t defined);

#endif
