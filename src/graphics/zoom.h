// What clicks on the legend and the arrow strips do: the fund a legend row scrolls the
// fund list to, and the arrow buttons' changes of the zoom selection (the graph page's
// ZoomSelectionFrom, ZoomSelectionTo and ZoomSelectionMax).
#ifndef VANTRY_ZOOM_H
#define VANTRY_ZOOM_H

#include <stdint.h>

// The fund-table index that a click on legend row (0-based) scrolls the fund list to, or
// -1 for none: rows 0 to 12 (categories 1 to 13) and row 13 ("Other": the funds of no
// category) only under CategorySort, the first fund of that category in table order (the
// first not in the portfolio under GroupMode); row 14 ("Portfolio") only under GroupMode,
// the first portfolio fund.
int32_t LegendTargetIndex(uint32_t row);

// The earliest first point and the latest last point (DatePeriods) of the funds the zoom
// selection was first made from; the side strips never move it beyond them.
extern int32_t DataSpanStart, DataSpanEnd;
// The first use of an arrow: when no zoom selection is set, it is made from the funds in
// view on tab (every displayed fund in combined mode, else the tab's fund): the largest
// of their scale maxima for the overlay in force, the earliest first shown and the latest
// last DatePeriod; DataSpan from their first and last points. Nothing when none is found.
void InitZoomSelection(int32_t tab);
// The button of the strip under (x, y) of its window (side strips 0 to 5, the top
// strip's up arrow 0 and down arrow 1), or -1.
int32_t ArrowButtonAt(uint32_t strip, int32_t x, int32_t y);
// Applies button of strip (an ArrowStrip) to the zoom selection; 1 when the selection
// changed.
int ApplyArrowButton(uint32_t strip, int32_t button);

#endif
