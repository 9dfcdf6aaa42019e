// The search-map view of a graph page: a fund's moving-average search maps as colour grids
// in place of its graph.
#ifndef VANTRY_SEARCHMAPVIEW_H
#define VANTRY_SEARCHMAPVIEW_H

#include <stdint.h>

#include "data/fund.h"

// Draws into DrawSurface, in the rectangle left..right x top..bottom (inclusive, framed on
// its edges), the search map of series s of the fund (analysis/searchmap.h): a title with
// the chosen kind, its parameter and thresholds and the robustness ("fragile" in red); the
// trial and evaluation maps side by side, 11 x 11 cells coloured from red (loss) through
// white (0) to green (gain), each with its scale bar labelled at its ends and middle, the
// buy thresholds down the rows and the sell thresholds across the columns (percent), the
// chosen cell framed; below them the other kinds' trial maps, small, on the trial map's
// scale. Cells wide enough carry their return (percent a year). A series without a map
// gets the title and a line saying so. Reads the fund only.
void PaintSearchMapView(const FundRecord *fund, int32_t left, int32_t top, int32_t right,
                        int32_t bottom, uint32_t s);

#endif
