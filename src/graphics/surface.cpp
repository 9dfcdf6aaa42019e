// The state every drawing target shares: the target in force, the font metrics, the
// resource bitmaps and the failure steps. Kept apart from the Surface* operations
// (draw.cpp) so that the raster and GDI surfaces, which set it, need nothing of the
// primitives that draw through them.
#include "graphics/surface.h"

DrawTarget *DrawSurface;

uint32_t TextHeight;
uint32_t LineHeight;
uint32_t CharWidth;

const uint16_t BitmapResourceIds[BITMAP_COUNT] = {
    104, 105, 131, 140, 142, 138, 133, 141, 106, 110, 111,
    112, 116, 115, 118, 117, 121, 122, 123, 124, 119, 120,
};

BitmapRecord Bitmaps[BITMAP_COUNT];

uint32_t SurfaceFailedSteps;
const SurfaceOps *GdiSurfaceOps;
