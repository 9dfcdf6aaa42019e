// The palette, the drawing primitives and the four value axes, over the Surface* operations.
#include "graphics/draw.h"

#include <math.h>
#include <stdio.h>

#include "base/errors.h"
#include "graphics/raster.h"

const RgbColour PaletteSets[2][PALETTE_SIZE] = {
    {
        RGB_OF(255, 255, 255), RGB_OF(0, 0, 0), RGB_OF(255, 255, 0), RGB_OF(255, 100, 100),
        RGB_OF(255, 80, 150), RGB_OF(200, 0, 0), RGB_OF(150, 0, 0), RGB_OF(100, 100, 100),
        RGB_OF(150, 110, 50), RGB_OF(0, 170, 0), RGB_OF(0, 100, 0), RGB_OF(0, 165, 165),
        RGB_OF(0, 0, 220), RGB_OF(100, 0, 150), RGB_OF(0, 0, 125),
    },
    {
        RGB_OF(255, 255, 255), RGB_OF(0, 0, 0), RGB_OF(0, 128, 255), RGB_OF(0, 0, 75),
        RGB_OF(75, 0, 0), RGB_OF(255, 0, 0), RGB_OF(255, 255, 0), RGB_OF(128, 255, 0),
        RGB_OF(150, 150, 150), RGB_OF(0, 75, 0), RGB_OF(0, 255, 0), RGB_OF(0, 255, 255),
        RGB_OF(0, 0, 255), RGB_OF(128, 0, 255), RGB_OF(255, 0, 255),
    },
};

uint32_t FullColourDisplay = 1;

RgbColour PaletteColour(uint32_t colourIndex)
{
    // An index beyond the table is a painter's slip; black keeps the picture readable
    // without a message box per pixel row.
    if (colourIndex >= PALETTE_SIZE)
        colourIndex = 1;
    return PaletteSets[FullColourDisplay ? 0 : 1][colourIndex];
}

// ---------------------------------------------------------------------------------------
// The Surface* operations: the record keeps the state, the target's table does the work.

static const SurfaceOps *OpsOf(DrawTarget *t)
{
    if (!t)
        return nullptr;
    if (t->kind == SURFACE_RASTER)
        return &RasterSurfaceOps;
    if (t->kind == SURFACE_GDI)
        return GdiSurfaceOps;
    return nullptr;
}

// Every failing call leaves at least one step bit, so a primitive always has a label.
static int Failed(void)
{
    if (!SurfaceFailedSteps)
        SurfaceFailedSteps = SURFACE_STEP_DRAW;
    return 0;
}

int SurfaceLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->line(t, x1, y1, x2, y2, colour))
        return Failed();
    t->penX = x2;
    t->penY = y2;
    return 1;
}

int SurfaceRectangle(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     RgbColour edgeColour, RgbColour fillColour, uint32_t hollow)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->rectangle(t, left, top, right, bottom, edgeColour, fillColour, hollow))
        return Failed();
    return 1;
}

int SurfaceSetPixel(DrawTarget *t, int32_t x, int32_t y, RgbColour colour)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->setPixel(t, x, y, colour))
        return Failed();
    return 1;
}

RgbColour SurfaceGetPixel(DrawTarget *t, int32_t x, int32_t y)
{
    const SurfaceOps *ops = OpsOf(t);
    return ops ? ops->getPixel(t, x, y) : 0xFFFFFFFFu;
}

int SurfaceText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->text(t, x, y, text, length))
        return Failed();
    return 1;
}

uint32_t SurfaceTextWidth(DrawTarget *t, const char *text, uint32_t length)
{
    const SurfaceOps *ops = OpsOf(t);
    return ops ? ops->textWidth(t, text, length) : 0;
}

int SurfaceFill(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                RgbColour colour)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->fill(t, left, top, right, bottom, colour))
        return Failed();
    return 1;
}

int SurfaceClip(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->clip(t, left, top, right, bottom))
        return Failed();
    t->clipOn = 1;
    t->clipLeft = left;
    t->clipTop = top;
    t->clipRight = right;
    t->clipBottom = bottom;
    return 1;
}

int SurfaceClearClip(DrawTarget *t)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->clearClip(t))
        return Failed();
    t->clipOn = 0;
    return 1;
}

int SurfaceFocusRect(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->focusRect(t, left, top, right, bottom))
        return Failed();
    return 1;
}

int SurfaceHoldLines(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->holdLines(t, left, top, right, bottom))
        return Failed();
    return 1;
}

int SurfaceDrawHeldLines(DrawTarget *t)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->drawHeldLines(t))
        return Failed();
    return 1;
}

uint32_t SurfaceSetTextAlign(DrawTarget *t, uint32_t align)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->setTextAlign(t, align)) {
        Failed();
        return SURFACE_SET_FAILED;
    }
    uint32_t previous = t->textAlign;
    t->textAlign = align;
    return previous;
}

RgbColour SurfaceSetTextColour(DrawTarget *t, RgbColour colour)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->setTextColour(t, colour)) {
        Failed();
        return SURFACE_SET_FAILED;
    }
    RgbColour previous = t->textColour;
    t->textColour = colour;
    return previous;
}

uint32_t SurfaceSetTransparent(DrawTarget *t, uint32_t transparent)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->setTransparent(t, transparent)) {
        Failed();
        return SURFACE_SET_FAILED;
    }
    uint32_t previous = t->transparentText;
    t->transparentText = transparent;
    return previous;
}

uint32_t SurfaceSetXor(DrawTarget *t, uint32_t xorMode)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || !ops->setXor(t, xorMode)) {
        Failed();
        return SURFACE_SET_FAILED;
    }
    uint32_t previous = t->xorMode;
    t->xorMode = xorMode;
    return previous;
}

int SurfaceCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot, uint32_t exclusiveOr)
{
    SurfaceFailedSteps = 0;
    const SurfaceOps *ops = OpsOf(t);
    if (!ops || slot >= BITMAP_COUNT || !ops->copyBitmap(t, x, y, slot, exclusiveOr))
        return Failed();
    return 1;
}

// ---------------------------------------------------------------------------------------
// The primitives. Each names the failed steps of its one surface call under its labels.

static void ReportSteps(const char *select, const char *draw, const char *restore)
{
    if (SurfaceFailedSteps & SURFACE_STEP_SELECT)
        ReportWin32(select);
    if ((SurfaceFailedSteps & SURFACE_STEP_DRAW) && draw)
        ReportWin32(draw);
    if (SurfaceFailedSteps & SURFACE_STEP_RESTORE)
        ReportWin32(restore);
}

void DrawLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    // The step bit for the drawing call stands for MoveToEx: LineTo's result is not tested.
    if (!SurfaceLine(t, x1, y1, x2, y2, PaletteColour(colour)))
        ReportSteps("SelectObject draw 1", "MoveToEx", "SelectObject draw 2");
}

void FillBox(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
             uint32_t colour)
{
    RgbColour c = PaletteColour(colour);
    if (!SurfaceRectangle(t, left, top, right, bottom, c, c, 0))
        ReportSteps("SelectObject draw 3", "Rectangle", "SelectObject draw 4");
}

void DrawDot(DrawTarget *t, int32_t x, int32_t y, uint32_t colour)
{
    FillBox(t, x - 1, y - 1, x + 2, y + 2, colour);
}

// The tick lengths are those of the line calls below, end point excluded: TickRight paints
// n - 1 pixels, TickLeft and TickUp n + 1.
void TickUp(int32_t x, int32_t y, uint32_t n, uint32_t colour)
{
    DrawLine(DrawSurface, x, y, x, y - (int32_t)n - 1, colour);
}

void TickRight(int32_t x, int32_t y, uint32_t n, uint32_t colour)
{
    DrawLine(DrawSurface, x, y, x + (int32_t)n - 1, y, colour);
}

void TickLeft(int32_t x, int32_t y, uint32_t n, uint32_t colour)
{
    DrawLine(DrawSurface, x, y, x - (int32_t)n - 1, y, colour);
}

void FrameBox(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    RgbColour black = PaletteColour(1);
    if (!SurfaceRectangle(DrawSurface, left, top, right, bottom, black, black, 1))
        ReportSteps("SelectObject draw 5", "Rectangle", "SelectObject draw 6");
}

void DrawText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length,
              uint32_t colour)
{
    RgbColour previous = SurfaceSetTextColour(t, PaletteColour(colour));
    if (previous == SURFACE_SET_FAILED)
        ReportWin32("SetTextColor");
    if (!SurfaceText(t, x, y, text, length))
        ReportWin32("TextOut");
    if (previous != SURFACE_SET_FAILED && SurfaceSetTextColour(t, previous) == SURFACE_SET_FAILED)
        ReportWin32("SetTextColor");
}

int32_t LogPixel(double value, double scale)
{
    // log of zero or less (and of NaN) counts as the clamp; so does anything at or below
    // 1/e, which keeps such values on the bottom row of the plot.
    double l = value > 0.0 ? log(value) : -1.0;
    if (!(l > -1.0))
        l = -1.0;
    double height = (l + 1.0) * scale;
    // Outside the pixel range the cast would be undefined; the plot clips such rows anyway.
    if (!(height == height))
        return 0;
    if (height >= 2147483647.0)
        return INT32_MAX;
    if (height <= -2147483648.0)
        return INT32_MIN;
    return (int32_t)height;
}

// ---------------------------------------------------------------------------------------
// The value axes.

// The units between labels for count units over span pixels, or 0 when the axis draws
// nothing at all.
static uint32_t LabelStep(uint32_t span, uint32_t count)
{
    if (count == 0)
        return 0;
    uint32_t gap = TextHeight + 2;
    if (span / count > gap)
        return 1;
    static const uint32_t steps[] = {5, 10, 20, 50, 100};
    for (uint32_t step : steps)
        if ((uint64_t)span * step / count > gap)
            return step;
    return 0;
}

// One label "%u" of value, its text centred on row: left axes write it from x + 5, right
// axes end it at x - 5, right-aligned, and put the previous alignment back.
static void AxisLabel(int32_t x, int32_t row, uint32_t value, int right)
{
    char text[16];
    int length = snprintf(text, sizeof text, "%u", value);
    int32_t y = row - (int32_t)(TextHeight / 2);
    if (!right) {
        DrawText(DrawSurface, x + 5, y, text, (uint32_t)length, 1);
        return;
    }
    uint32_t previous = SurfaceSetTextAlign(DrawSurface, TEXT_ALIGN_RIGHT);
    if (previous == SURFACE_SET_FAILED)
        ReportWin32("SetTextAlign");
    DrawText(DrawSurface, x - 5, y, text, (uint32_t)length, 1);
    if (previous != SURFACE_SET_FAILED &&
        SurfaceSetTextAlign(DrawSurface, previous) == SURFACE_SET_FAILED)
        ReportWin32("SetTextAlign");
}

// A tick of n pixels' nominal length pointing into the plot from column x.
static void AxisTick(int32_t x, int32_t row, uint32_t n, int right)
{
    if (right)
        TickLeft(x, row, n, 1);
    else
        TickRight(x, row, n, 1);
}

static void LinearAxis(int32_t x, int32_t y0, uint32_t span, uint32_t count, uint32_t direction,
                       int right)
{
    uint32_t step = LabelStep(span, count);
    if (step == 0)
        return;
    uint32_t half = 0;
    if (step == 1) {
        half = (span / count) / 2;
        if (half < 5)
            half = 0;
    }
    for (uint64_t i = 0; i < count; i += step) {
        // Multiply first, in 64 bits: the rows stay exact for any span and count (a
        // 32-bit product wraps once span x count passes 2^32).
        int32_t offset = (int32_t)(i * span / count);
        int32_t row = direction ? y0 - offset : y0 + offset;
        if (i != 0) {
            AxisTick(x, row, 4, right);
            AxisLabel(x, row, (uint32_t)i, right);
        }
        if (half != 0)
            AxisTick(x, direction ? row - (int32_t)half : row + (int32_t)half, 2, right);
    }
}

void LinearAxisLeft(int32_t x, int32_t y0, uint32_t span, uint32_t count, uint32_t direction)
{
    LinearAxis(x, y0, span, count, direction, 0);
}

void LinearAxisRight(int32_t x, int32_t y0, uint32_t span, uint32_t count, uint32_t direction)
{
    LinearAxis(x, y0, span, count, direction, 1);
}

static void LogAxis(int32_t x, int32_t y0, uint32_t span, uint32_t count, int right)
{
    uint32_t step = LabelStep(span, count);
    if (step == 0)
        return;
    double s = (double)span / (log((double)count) + 1.0);
    int halfMarks = step == 1;
    int32_t lastTick = y0;
    int32_t lastLabel = y0;
    for (uint64_t i = 0; i < count; i += step) {
        if (i != 0) {
            int32_t row = y0 - (int32_t)((log((double)i) + 1.0) * s);
            if (halfMarks && lastTick - row < 5)
                halfMarks = 0;
            AxisTick(x, row, 4, right);
            lastTick = row;
            if (lastLabel - row >= (int32_t)(TextHeight / 2)) {
                AxisLabel(x, row, (uint32_t)i, right);
                lastLabel = row;
            }
        }
        if (halfMarks) {
            int32_t row = y0 - (int32_t)((log((double)i + 0.5) + 1.0) * s);
            if (lastTick - row >= 5) {
                AxisTick(x, row, 2, right);
                lastTick = row;
            } else {
                halfMarks = 0;
            }
        }
    }
}

void LogAxisLeft(int32_t x, int32_t y0, uint32_t span, uint32_t count)
{
    LogAxis(x, y0, span, count, 0);
}

void LogAxisRight(int32_t x, int32_t y0, uint32_t span, uint32_t count)
{
    LogAxis(x, y0, span, count, 1);
}
