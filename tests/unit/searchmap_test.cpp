// The search map: the robustness of a cell on hand-made maps, and the maps of a searched
// fund against the search's own grid and replay.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "analysis/movavg.h"
#include "analysis/optimize.h"
#include "analysis/searchmap.h"
#include "analysis/strategy.h"
#include "fund_builder.h"

namespace {

struct RobustnessCase {
    const char *what;
    uint32_t buy, sell;
    double own;
    std::vector<double> neighbours;  // set in scan order around the cell, inside the grid
    uint32_t defined;
    double expected;
    uint32_t fragile;
};

TEST(SearchMap, RobustnessOfCornerEdgeAndInteriorCells)
{
    const RobustnessCase cases[] = {
        {"corner: 3 neighbours, exactly one half", 0, 0, 8, {4, 4, 4}, 1, 0.5, 0},
        {"edge: 5 neighbours", 0, 5, 10, {2, 3, 4, 5, 6}, 1, 0.4, 1},
        {"far corner", 10, 10, 4, {4, 4, 4}, 1, 1.0, 0},
        {"interior: 8 neighbours, one a loss", 5, 5, 10, {9, 9, 9, 9, -1, 9, 9, 9}, 1, 0.775, 0},
        {"a plateau higher than the cell", 3, 7, 2, {3, 3, 3, 3, 3, 3, 3, 3}, 1, 1.5, 0},
        {"no gain", 4, 4, 0, {1, 1, 1, 1, 1, 1, 1, 1}, 0, 0, 0},
        {"a loss", 4, 4, -5, {-9, -9, -9, -9, -9, -9, -9, -9}, 0, 0, 0},
    };
    for (const RobustnessCase &k : cases) {
        // Every cell outside the neighbourhood far off, so that a wrong bound shows.
        double map[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS];
        std::fill(&map[0][0], &map[0][0] + STRATEGY_THRESHOLDS * STRATEGY_THRESHOLDS, 1000.0);
        map[k.buy][k.sell] = k.own;
        size_t next = 0;
        for (int r = (int)k.buy - 1; r <= (int)k.buy + 1; r++)
            for (int c = (int)k.sell - 1; c <= (int)k.sell + 1; c++)
                if (r >= 0 && c >= 0 && r < STRATEGY_THRESHOLDS && c < STRATEGY_THRESHOLDS &&
                    !(r == (int)k.buy && c == (int)k.sell))
                    map[r][c] = k.neighbours.at(next++);
        ASSERT_EQ(next, k.neighbours.size()) << k.what;
        uint32_t defined = 7;
        double r = MapRobustness(map, k.buy, k.sell, &defined);
        EXPECT_EQ(defined, k.defined) << k.what;
        EXPECT_NEAR(r, k.expected, 1e-15) << k.what;
        EXPECT_EQ(RobustnessFragile(r, defined), k.fragile) << k.what;
    }
}

TEST(SearchMap, ChosenCellsAreTheSearchsBestAndTheReplay)
{
    std::vector<double> values;
    for (int i = 0; i < 150; i++)
        values.push_back(10 + 0.03 * i + 1.5 * sin(i / 4.0) + 0.4 * sin(i * 1.7));
    FundRecord *f = SearchFund(values);
    f->recentStart = 120;
    OptimizeFund(f, 0);
    uint32_t kind = f->maSettings[0].maKind;
    ASSERT_NE(kind, (uint32_t)MA_NONE);
    double replayed = f->points[0][f->pointCount - 1].maEquity;
    std::vector<NavPoint> before(f->points[0], f->points[0] + f->pointCount);

    SearchMap map;
    ASSERT_EQ(ComputeSearchMap(f, 0, SEARCH_MAP_WHOLE, &map), 1);
    EXPECT_EQ(memcmp(before.data(), f->points[0], before.size() * sizeof(NavPoint)), 0)
        << "the map was computed on the fund's own points";
    // The map's kind, the evaluation map only with an evaluation period and each kind's
    // kept thresholds as the best cell of its grid are checked on every sample fund by
    // the analysis integration test; the chosen cell here bit for bit against the
    // search's grid score and the graph's replay.
    const KindMap *chosen = &map.trial[kind - 1];
    EXPECT_EQ(map.evaluationEquity[chosen->buy][chosen->sell], replayed);
    MovingAverage(f, kind, TrialPointCount(f, 0), 0);
    uint32_t buy, sell;
    EXPECT_EQ(chosen->cash[chosen->buy][chosen->sell], ScoreMaGrid(f, 0, &buy, &sell));
    // Without a kind there is no map.
    f->maSettings[0].maKind = MA_NONE;
    EXPECT_EQ(ComputeSearchMap(f, 0, SEARCH_MAP_WHOLE, &map), 0);
}

}  // namespace
