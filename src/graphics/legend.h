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

#endif
