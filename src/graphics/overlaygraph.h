// The overlaid graph: every displayed fund as one coloured line over shared axes.
#ifndef VANTRY_OVERLAYGRAPH_H
#define VANTRY_OVERLAYGRAPH_H

#include <stdint.h>

#include "data/fund.h"

// The fund's overlayColour (ColourIndex, flags bits 28-31).
static inline uint32_t FundOverlayColour(const FundRecord *f)
{
    return (f->flags & FUND_OVERLAY_MASK) >> FUND_OVERLAY_SHIFT;
}
static inline void SetFundOverlayColour(FundRecord *f, uint32_t colour)
{
    f->flags = (f->flags & ~FUND_OVERLAY_MASK) | ((colour & 0xF) << FUND_OVERLAY_SHIFT);
}

// Draws fund as position k of the overlay into left..right x top..bottom (inclusive) of the
// DrawSurface: its name as a line of the colour key in the upper left, and its line of
// series values (multiplied by its overlayFactor unless k is 0) in its overlayColour,
// scaled to 0..priceUnits, over the DatePeriods from..to (both 0: every point). Position
// 0, the reference fund, also draws the frame, both value axes and the date axis. Writes
// the fund's readout position and plotTop/plotBottom. Sets no clip.
void PaintOverlayGraph(FundRecord *fund, uint32_t k, int32_t left, int32_t top, int32_t right,
                       int32_t bottom, uint32_t priceUnits, int32_t from, int32_t to,
                       uint32_t series, char *text);

#endif
