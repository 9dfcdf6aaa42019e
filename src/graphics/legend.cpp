// The category legend and the arrow strips' pictures.
#include "graphics/legend.h"

#include <string.h>

#include "base/errors.h"
#include "data/fund.h"
#include "graphics/chartrow.h"
#include "graphics/draw.h"

uint32_t MeasureLegendWidth(DrawTarget *t)
{
    uint32_t widest = 0;
    for (uint32_t c = 1; c < CATEGORY_COUNT; c++) {
        const char *name = CategoryTable[c].name;
        uint32_t width = SurfaceTextWidth(t, name, (uint32_t)strlen(name));
        if (width > widest)
            widest = width;
    }
    return widest;
}

void PaintLegend(DrawTarget *t)
{
    uint32_t transparent = SurfaceSetTransparent(t, 1);
    if (transparent == SURFACE_SET_FAILED)
        ReportWin32("SetBkMode");
    for (uint32_t c = 1; c < CATEGORY_COUNT; c++) {
        const char *name = CategoryTable[c].name;
        DrawText(t, 0, (int32_t)((c - 1) * LineHeight), name, (uint32_t)strlen(name),
                 CategoryBarColour(c));
    }
    if (transparent != SURFACE_SET_FAILED)
        SurfaceSetTransparent(t, transparent);
}

uint32_t ArrowButtonSlot(uint32_t strip, uint32_t row)
{
    static const uint32_t left[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_LEFT,
                                     BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_LEFT};
    static const uint32_t right[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_RIGHT,
                                      BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_RIGHT};
    if (row >= 6)
        return BITMAP_COUNT;
    if (strip == ARROW_STRIP_LEFT)
        return left[row];
    if (strip == ARROW_STRIP_RIGHT)
        return right[row];
    return BITMAP_COUNT;
}

// The strip's frame with the black pen and the hollow brush; a failure is reported under
// the call that failed, selecting (or restoring) the objects or drawing the rectangle.
static void StripFrame(DrawTarget *t, int32_t right, int32_t bottom)
{
    const RgbColour black = PaletteColour(1);
    if (SurfaceRectangle(t, 0, 0, right, bottom, black, black, 1))
        return;
    if (SurfaceFailedSteps & (SURFACE_STEP_SELECT | SURFACE_STEP_RESTORE))
        ReportWin32("SelectObject");
    if (SurfaceFailedSteps & SURFACE_STEP_DRAW)
        ReportWin32("Rectangle");
}

void PaintArrowStrip(DrawTarget *t, uint32_t strip)
{
    if (strip == ARROW_STRIP_TOP) {
        int32_t w = (int32_t)Bitmaps[BMP_UP].width, h = (int32_t)Bitmaps[BMP_UP].height;
        StripFrame(t, 2 * w + 5, h + 4);
        SurfaceCopyBitmap(t, 2, 2, BMP_UP, 0);
        SurfaceCopyBitmap(t, w + 3, 2, BMP_DOWN, 0);
        return;
    }
    if (strip != ARROW_STRIP_LEFT && strip != ARROW_STRIP_RIGHT)
        return;
    int32_t w = (int32_t)Bitmaps[BMP_ARROW_LEFT].width;
    int32_t h = (int32_t)Bitmaps[BMP_ARROW_LEFT].height;
    StripFrame(t, w + 4, 6 * h + 9);
    for (uint32_t k = 0; k < 6; k++)
        SurfaceCopyBitmap(t, 2, 2 + (int32_t)k * (h + 1), ArrowButtonSlot(strip, k), 0);
}
