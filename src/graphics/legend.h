// The painters of the category legend beside the fund list and of the three arrow strips
// beside and above the graph.
#ifndef VANTRY_LEGEND_H
#define VANTRY_LEGEND_H

#include <stdint.h>

#include "graphics/surface.h"

// The widest text extent of the category names 1 to 15 in t's font: the legend's width.
uint32_t MeasureLegendWidth(DrawTarget *t);
// Categories 1 to 15, one per LineHeight from y 0 (category 1 at row 0), each name at x 0
// in its bar colour, on a transparent text background (t's mode restored afterwards).
void PaintLegend(DrawTarget *t);

enum ArrowStrip {
    ARROW_STRIP_LEFT = 0,   // moves the first date shown
    ARROW_STRIP_RIGHT = 1,  // moves the last date shown
    ARROW_STRIP_TOP = 2     // raises or lowers the fixed top of the value scale
};
// The bitmap slot of button row k (0..5) of a side strip; BITMAP_COUNT for a row past 5
// or the top strip.
uint32_t ArrowButtonSlot(uint32_t strip, uint32_t row);
// The strip's black frame, (0, 0)..(w + 4, 6h + 9) for a side strip and (0, 0)..(2w + 5,
// h + 4) for the top one (w, h: the size of bitmap 116, or of 119 for the top strip, right
// and bottom exclusive), and its buttons copied at x 2: side-strip row k at y 2 + k(h + 1),
// the top strip's up and down arrows at (2, 2) and (w + 3, 2). An unknown strip draws
// nothing.
void PaintArrowStrip(DrawTarget *t, uint32_t strip);

// ---------------------------------------------------------------------------------------
// What the clicks do (zoom.cpp).

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
// Applies button of strip to the zoom selection; 1 when the selection changed.
int ApplyArrowButton(uint32_t strip, int32_t button);

#endif
