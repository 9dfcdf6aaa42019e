// The Surface* operations on a GDI device context, the palette's drawing objects and the
// resource bitmaps' memory contexts.
#include <windows.h>
#undef DrawText

#include "graphics/gdi_surface.h"

#include "base/errors.h"
#include "data/alloc.h"

void *GdiPens[PALETTE_SIZE];
void *GdiBrushes[PALETTE_SIZE];
void *GdiHollowBrush;
void *GdiNullPen;
const char *GdiFailedCall;

// The DIB sections CreateBackBitmap made and DeleteBackBitmap has not deleted: 32 bits a
// pixel, rows from the top.
#define BACK_BITMAPS 4
static void *BackBitmaps[BACK_BITMAPS];

// What each bitmap context held before its bitmap went in, put back before deletion.
static HGDIOBJ BitmapPrevious[BITMAP_COUNT];

static COLORREF ColourRefOf(RgbColour c)
{
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

static void DirectFlushDueFor(const DrawTarget *t);

// The target's context, for a call on the device.
static HDC DcOf(const DrawTarget *t)
{
    DirectFlushDueFor(t);
    return (HDC)t->dc;
}

// The palette entry of colour in the set in force, or -1 for a colour outside it.
static int PaletteIndexOf(RgbColour colour)
{
    for (uint32_t i = 0; i < PALETTE_SIZE; i++)
        if (PaletteColour(i) == (colour & 0xFFFFFFu))
            return (int)i;
    return -1;
}

// A pen or brush of colour: the palette's own, or one made for this call (*made set, to
// be deleted by the caller once it is selected out again).
static HPEN PenOf(RgbColour colour, int *made)
{
    int i = PaletteIndexOf(colour);
    *made = 0;
    if (i >= 0 && GdiPens[i])
        return (HPEN)GdiPens[i];
    *made = 1;
    return CreatePen(PS_SOLID, 1, ColourRefOf(colour));
}

static HBRUSH BrushOf(RgbColour colour, int *made)
{
    int i = PaletteIndexOf(colour);
    *made = 0;
    if (i >= 0 && GdiBrushes[i])
        return (HBRUSH)GdiBrushes[i];
    *made = 1;
    return CreateSolidBrush(ColourRefOf(colour));
}

// Selects object into dc; a null or failed selection notes the select step and gives null.
static HGDIOBJ SelectStep(HDC dc, HGDIOBJ object)
{
    HGDIOBJ previous = object ? SelectObject(dc, object) : nullptr;
    if (!previous || previous == HGDI_ERROR) {
        SurfaceFailedSteps |= SURFACE_STEP_SELECT;
        return nullptr;
    }
    return previous;
}

static void RestoreStep(HDC dc, HGDIOBJ previous)
{
    if (previous && !SelectObject(dc, previous))
        SurfaceFailedSteps |= SURFACE_STEP_RESTORE;
}

// ---------------------------------------------------------------------------------------
// Held lines. Through Wine every GDI call costs about as much as drawing a short segment,
// and a graph draws each point's few lines in turn, so the pen changes at every call. The
// segments are kept instead in one run per colour (polylines that continue one another)
// and a run is drawn with one PolyPolyline just before anything would paint over one of
// its pixels, or at the end. Small boxes and single pixels of one colour join the runs
// too, as the rows and dots of a pen of their colour. The mask has one word per pixel of
// the held area, bit r set where run r paints.
//
// A target whose bitmap is a 32-bit DIB section (the window's back buffer on a display of
// full colour) needs no runs: its held lines, boxes and pixels are written into the
// bitmap's own pixels at once, in the order they come, walking the very pixels the
// device would paint. Only what lies wholly inside the held area and the clip is written
// so; the rest goes to the device, and GdiFlush runs before the next pixels are written
// after a device call (the device may batch its calls).

namespace {

const uint32_t HELD_RUNS = 16;
const uint32_t HELD_POINTS = 4096;

struct HeldRun {
    RgbColour colour;
    uint32_t pointCount;
    uint32_t lineCount;
    POINT points[HELD_POINTS];
    DWORD counts[HELD_POINTS / 2];   // points of each polyline, in order
};

HeldRun HeldRuns[HELD_RUNS];
uint32_t HeldBusy;                 // bit r: run r holds at least one polyline
uint16_t HeldBefore[HELD_RUNS];    // runs to be drawn before run r (a closed set)
DrawTarget *HeldTarget;            // the target holding lines, or null
int32_t HeldLeft, HeldTop, HeldRight, HeldBottom;
uint16_t *HeldMask;                // counted block, (right - left) x (bottom - top)

enum MaskAction { MASK_TEST, MASK_MARK, MASK_CLEAR, MASK_PAINT };

// The held area's pixels written in place (see above): row 0 of the bitmap and the step
// from one row to the next, in pixels.
int HeldDirect;
uint32_t *DirectRow0;
intptr_t DirectStep;
RgbColour DirectColour;    // the colour MASK_PAINT writes
int DirectFlushDue;        // a device call drew into the held target since the last write

// The bits every pixel of the last segment tested has (meaningless after marking).
uint32_t MaskCommon;

// Tests (gives the bits of), marks or clears bit on pixel (x, y) of the held area.
uint32_t MaskPixel(int64_t x, int64_t y, int action, uint16_t bit)
{
    if (x < HeldLeft || x >= HeldRight || y < HeldTop || y >= HeldBottom)
        return 0;
    if (action == MASK_PAINT) {
        DirectRow0[(intptr_t)y * DirectStep + (intptr_t)x] = DirectColour;
        return 0;
    }
    if (!HeldMask)
        return 0;
    uint16_t *m = &HeldMask[(size_t)(y - HeldTop) * (size_t)(HeldRight - HeldLeft) +
                           (size_t)(x - HeldLeft)];
    if (action == MASK_TEST)
        return *m;
    *m = action == MASK_MARK ? (uint16_t)(*m | bit) : (uint16_t)(*m & ~bit);
    return 0;
}

// The same over the pixels a device context paints for the segment from (x1, y1) to
// (x2, y2), end point excluded: Bresenham's, with GDI's rule for a step that lands exactly
// halfway between two pixels: the farther one in octants 3, 5, 6 and 8 (numbered from +x
// towards +y, y downward), the nearer one in the others. (The raster always takes the
// farther one; it never holds lines.)
uint32_t MaskLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int action, uint16_t bit)
{
    MaskCommon = 0;
    if (!HeldMask && action != MASK_PAINT)
        return 0;
    int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    int xMajor = ax > ay;
    int octant = dy > 0 ? (dx > 0 ? (ax > ay ? 1 : 2) : (ax > ay ? 4 : 3))
                        : (dx < 0 ? (ax > ay ? 5 : 6) : (ax > ay ? 8 : 7));
    uint64_t bias = octant == 3 || octant == 5 || octant == 6 || octant == 8;
    int64_t major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1, sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t start = xMajor ? x1 : y1, other = xMajor ? y1 : x1;
    // Only the steps whose major coordinate lies in the area matter.
    int64_t low = xMajor ? HeldLeft : HeldTop, high = xMajor ? HeldRight : HeldBottom;
    int64_t kFirst = 0, kEnd = major;
    if (sMajor > 0) {
        if (low - start > kFirst)
            kFirst = low - start;
        if (high - start < kEnd)
            kEnd = high - start;
    } else {
        if (start - (high - 1) > kFirst)
            kFirst = start - (high - 1);
        if (start - low + 1 < kEnd)
            kEnd = start - low + 1;
    }
    uint32_t found = 0;
    MaskCommon = 0xFFFF;
    for (int64_t k = kFirst; k < kEnd; k++) {
        int64_t along = start + sMajor * k;
        // round(k * minor / major), a tie up when bias is 1 and down when it is 0.
        uint64_t twice = 2 * (uint64_t)k * (uint64_t)minor + (uint64_t)major - 1 + bias;
        int64_t across = other + sMinor * (int64_t)(twice / (2 * (uint64_t)major));
        uint32_t v = xMajor ? MaskPixel(along, across, action, bit)
                            : MaskPixel(across, along, action, bit);
        found |= v;
        MaskCommon &= v;
    }
    return found;
}

// The bits found over left..right-1 x top..bottom-1.
uint32_t MaskBox(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!HeldMask)
        return 0;
    int64_t l = left > HeldLeft ? left : HeldLeft, r = right < HeldRight ? right : HeldRight;
    int64_t tp = top > HeldTop ? top : HeldTop, b = bottom < HeldBottom ? bottom : HeldBottom;
    uint32_t found = 0;
    for (int64_t y = tp; y < b; y++)
        for (int64_t x = l; x < r; x++)
            found |= MaskPixel(x, y, MASK_TEST, 0);
    return found;
}

// The pen of the last run drawn stays selected until the holding ends, when the
// context's own pen goes back; pens of colours outside the palette are made once a
// holding. A run needs no call but its PolyPolyline when the last run had its colour.
HGDIOBJ HeldOriginalPen;           // the context's pen before the first run's, or null
HPEN HeldSelectedPen;              // the pen the last run left selected, or null
const uint32_t HELD_MADE_PENS = 8;
RgbColour HeldMadeColours[HELD_MADE_PENS];
HPEN HeldMadePens[HELD_MADE_PENS];
uint32_t HeldMadeCount;

// The palette's pen of colour or one made for the holding; null when no more can be made.
HPEN HeldPenOf(RgbColour colour)
{
    int i = PaletteIndexOf(colour);
    if (i >= 0 && GdiPens[i])
        return (HPEN)GdiPens[i];
    for (uint32_t k = 0; k < HeldMadeCount; k++)
        if (HeldMadeColours[k] == colour)
            return HeldMadePens[k];
    if (HeldMadeCount == HELD_MADE_PENS)
        return nullptr;
    HPEN pen = CreatePen(PS_SOLID, 1, ColourRefOf(colour));
    if (pen) {
        HeldMadeColours[HeldMadeCount] = colour;
        HeldMadePens[HeldMadeCount++] = pen;
    }
    return pen;
}

// Puts the context's own pen back and deletes the pens made for the holding.
void ReleaseHeldPens(HDC dc)
{
    if (HeldOriginalPen && !SelectObject(dc, HeldOriginalPen))
        ReportWin32("SelectObject draw 2");
    HeldOriginalPen = nullptr;
    HeldSelectedPen = nullptr;
    for (uint32_t k = 0; k < HeldMadeCount; k++)
        DeleteObject(HeldMadePens[k]);
    HeldMadeCount = 0;
}

// Draws run r with one call and clears its bits. Its failures are reported here: the
// call that led to it did not fail.
void DrawRun(uint32_t r)
{
    HeldRun *run = &HeldRuns[r];
    HDC dc = (HDC)HeldTarget->dc;
    HPEN pen = HeldPenOf(run->colour);
    if (pen && pen != HeldSelectedPen) {
        HGDIOBJ previous = SelectObject(dc, pen);
        if (!previous || previous == HGDI_ERROR) {
            ReportWin32("SelectObject draw 1");
        } else {
            if (!HeldOriginalPen)
                HeldOriginalPen = previous;
            HeldSelectedPen = pen;
        }
    }
    // Without a pen of its own the run is drawn with a pen made for this call alone.
    int made = 0;
    HGDIOBJ previous = nullptr;
    if (!pen) {
        uint32_t steps = SurfaceFailedSteps;
        SurfaceFailedSteps = 0;
        pen = PenOf(run->colour, &made);
        previous = SelectStep(dc, pen);
        if (SurfaceFailedSteps & SURFACE_STEP_SELECT)
            ReportWin32("SelectObject draw 1");
        SurfaceFailedSteps = steps;
    }
    if (!PolyPolyline(dc, run->points, run->counts, run->lineCount))
        ReportWin32("PolyPolyline");
    if (previous && !SelectObject(dc, previous))
        ReportWin32("SelectObject draw 2");
    if (made && pen)
        DeleteObject(pen);
    const POINT *p = run->points;
    for (uint32_t k = 0; k < run->lineCount; k++) {
        for (uint32_t j = 1; j < run->counts[k]; j++)
            MaskLine(p[j - 1].x, p[j - 1].y, p[j].x, p[j].y, MASK_CLEAR, (uint16_t)(1u << r));
        p += run->counts[k];
    }
    run->pointCount = run->lineCount = 0;
    HeldBusy &= ~(1u << r);
    HeldBefore[r] = 0;
    for (uint32_t x = 0; x < HELD_RUNS; x++)
        HeldBefore[x] &= (uint16_t)~(1u << r);
}

// Draws run r after the runs that must come before it.
void DrawRunInOrder(uint32_t r)
{
    uint32_t before;
    while ((before = HeldBefore[r] & HeldBusy) != 0) {
        uint32_t b = 0;
        while (!(before >> b & 1))
            b++;
        DrawRunInOrder(b);
    }
    DrawRun(r);
}

// Draws the runs of bits whose colour is not keep (every run of bits when keepAny is 0),
// each after the runs that must come before it.
void DrawRunsOf(uint32_t bits, int keepAny, RgbColour keep)
{
    for (uint32_t r = 0; r < HELD_RUNS; r++)
        if ((bits & HeldBusy) >> r & 1 && !(keepAny && HeldRuns[r].colour == keep))
            DrawRunInOrder(r);
}

// Draws every held run of t (nothing when t holds none).
void DrawHeld(const DrawTarget *t)
{
    if (t == HeldTarget)
        DrawRunsOf(HeldBusy, 0, 0);
}

// Whether t holds lines now: held lines are drawn in copy mode only.
int Holding(const DrawTarget *t)
{
    return t == HeldTarget && !t->xorMode;
}

// The busy run of colour, or HELD_RUNS.
uint32_t RunOf(RgbColour colour)
{
    uint32_t r = 0;
    while (r < HELD_RUNS && !((HeldBusy >> r & 1) && HeldRuns[r].colour == colour))
        r++;
    return r;
}

// Whether the pixels left..right-1 x top..bottom-1 may be written in place: inside the
// held area and the target's clip. Makes the device finish its batched calls first.
int DirectCovers(const DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (left < HeldLeft || right > HeldRight || top < HeldTop || bottom > HeldBottom)
        return 0;
    if (t->clipOn && (left < t->clipLeft || right > t->clipRight || top < t->clipTop ||
                      bottom > t->clipBottom))
        return 0;
    if (DirectFlushDue) {
        GdiFlush();
        DirectFlushDue = 0;
    }
    return 1;
}

// Keeps the segment in its colour's run when it lies in the area; 0 when it must be
// drawn at once, after the runs of other colours under it. A kept segment must come after
// the runs of other colours under it: their run is marked to be drawn before its own,
// unless that run must already come before one of them; then those are drawn now.
int HoldSegment(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour)
{
    // A segment onto its own start paints nothing.
    if (x1 == x2 && y1 == y2)
        return 1;
    int32_t minX = x1 < x2 ? x1 : x2, maxX = x1 < x2 ? x2 : x1;
    int32_t minY = y1 < y2 ? y1 : y2, maxY = y1 < y2 ? y2 : y1;
    if (HeldDirect) {
        if (!DirectCovers(t, minX, minY, maxX + 1, maxY + 1))
            return 0;
        DirectColour = colour;
        MaskLine(x1, y1, x2, y2, MASK_PAINT, 0);
        return 1;
    }
    uint32_t under = MaskLine(x1, y1, x2, y2, MASK_TEST, 0);
    if (minX < HeldLeft || maxX >= HeldRight || minY < HeldTop || maxY >= HeldBottom) {
        DrawRunsOf(under, 1, colour);
        return 0;
    }
    uint32_t r = RunOf(colour);
    // Pixels that the run paints already, with nothing of another colour held over them,
    // need no second painting.
    if (r < HELD_RUNS && under == 1u << r && (MaskCommon >> r & 1))
        return 1;
    if (r < HELD_RUNS) {
        uint32_t after = 0;
        for (uint32_t b = 0; b < HELD_RUNS; b++)
            if ((under & HeldBusy) >> b & 1 && HeldBefore[b] >> r & 1)
                after |= 1u << b;
        if (after)
            DrawRunsOf(after, 0, 0);
        if (HeldRuns[r].pointCount + 2 > HELD_POINTS)
            DrawRunInOrder(r);
        r = RunOf(colour);
    }
    if (r == HELD_RUNS) {
        r = 0;
        while (r < HELD_RUNS && (HeldBusy >> r & 1))
            r++;
        if (r == HELD_RUNS) {
            DrawHeld(t);
            r = 0;
        }
        HeldRuns[r].colour = colour;
        HeldBefore[r] = 0;
        HeldBusy |= 1u << r;
    }
    uint32_t before = under & HeldBusy & ~(1u << r);
    for (uint32_t b = 0; b < HELD_RUNS; b++)
        if (before >> b & 1)
            before |= HeldBefore[b];
    HeldBefore[r] |= (uint16_t)before;
    for (uint32_t x = 0; x < HELD_RUNS; x++)
        if (HeldBefore[x] >> r & 1)
            HeldBefore[x] |= HeldBefore[r];
    HeldRun *run = &HeldRuns[r];
    POINT *last = run->pointCount ? &run->points[run->pointCount - 1] : nullptr;
    if (last && last->x == x1 && last->y == y1) {
        // A row or column that goes on in the same direction is one segment: the same
        // pixels, one step less for the device.
        const POINT *from = last - 1;
        if ((from->y == y1 && y2 == y1 && (from->x < x1) == (x1 < x2)) ||
            (from->x == x1 && x2 == x1 && (from->y < y1) == (y1 < y2))) {
            last->x = x2;
            last->y = y2;
            MaskLine(x1, y1, x2, y2, MASK_MARK, (uint16_t)(1u << r));
            return 1;
        }
        run->counts[run->lineCount - 1]++;
    } else {
        run->points[run->pointCount++] = POINT{x1, y1};
        run->counts[run->lineCount++] = 1;
        run->counts[run->lineCount - 1]++;
    }
    run->points[run->pointCount++] = POINT{x2, y2};
    MaskLine(x1, y1, x2, y2, MASK_MARK, (uint16_t)(1u << r));
    return 1;
}

// Keeps a solid box of one colour as its rows, when it is small and lies in the area: with
// the full colour set a pen and a brush of one colour paint the same pixels. 0 (nothing
// done) when it must be drawn at once.
int HoldBox(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
            RgbColour colour)
{
    if (!Holding(t) || !FullColourDisplay || right <= left || bottom <= top)
        return 0;
    if (HeldDirect) {
        if (!DirectCovers(t, left, top, right, bottom))
            return 0;
        for (int32_t y = top; y < bottom; y++)
            for (int32_t x = left; x < right; x++)
                DirectRow0[(intptr_t)y * DirectStep + x] = colour;
        return 1;
    }
    if (bottom - top > 4 || left < HeldLeft || right > HeldRight || top < HeldTop ||
        bottom > HeldBottom)
        return 0;
    for (int32_t y = top; y < bottom; y++)
        HoldSegment(t, left, y, right, y, colour);
    return 1;
}

}  // namespace

// Whether the bitmap in dc is a DIB section of CreateBackBitmap (32 bits a pixel, rows
// from the top: GetObject does not tell a DIB section's row order) whose pixels the held
// lines may write: colours drawn as they are (full colour), device coordinates the
// bitmap's own. Sets DirectRow0 and DirectStep and narrows the area to the bitmap.
static int OpenDirectPixels(HDC dc, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom)
{
    DIBSECTION ds;
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    POINT viewport, window;
    uint32_t slot = 0;
    while (slot < BACK_BITMAPS && (!bitmap || BackBitmaps[slot] != bitmap))
        slot++;
    if (!FullColourDisplay || slot == BACK_BITMAPS ||
        GetObjectA(bitmap, sizeof ds, &ds) != (int)sizeof ds ||
        !ds.dsBm.bmBits || ds.dsBm.bmBitsPixel != 32 || ds.dsBmih.biCompression != BI_RGB ||
        GetMapMode(dc) != MM_TEXT || GetGraphicsMode(dc) != GM_COMPATIBLE ||
        !GetViewportOrgEx(dc, &viewport) || !GetWindowOrgEx(dc, &window) || viewport.x ||
        viewport.y || window.x || window.y)
        return 0;
    int32_t width = ds.dsBm.bmWidth, height = ds.dsBm.bmHeight;
    DirectRow0 = (uint32_t *)ds.dsBm.bmBits;
    DirectStep = ds.dsBm.bmWidthBytes / 4;
    *left = *left > 0 ? *left : 0;
    *top = *top > 0 ? *top : 0;
    *right = *right < width ? *right : width;
    *bottom = *bottom < height ? *bottom : height;
    return 1;
}

// Notes a device call into the held target, after which the pixels written in place must
// wait for the device's batch.
static void DirectFlushDueFor(const DrawTarget *t)
{
    if (t == HeldTarget)
        DirectFlushDue = 1;
}

static int GdiHoldLines(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (HeldTarget) {
        DrawHeld(HeldTarget);
        ReleaseHeldPens((HDC)HeldTarget->dc);
    }
    FreeBlock(HeldMask);
    HeldMask = nullptr;
    HeldTarget = nullptr;
    HeldDirect = 0;
    int direct = OpenDirectPixels(DcOf(t), &left, &top, &right, &bottom);
    // Without room for the mask every line is drawn at once; AllocZero has said so.
    if (right <= left || bottom <= top)
        return 1;
    if (!direct &&
        !(HeldMask = (uint16_t *)AllocZero((size_t)(right - left) * (size_t)(bottom - top),
                                            sizeof *HeldMask)))
        return 1;
    HeldDirect = direct;
    DirectFlushDue = 1;
    HeldLeft = left;
    HeldTop = top;
    HeldRight = right;
    HeldBottom = bottom;
    HeldTarget = t;
    return 1;
}

static int GdiDrawHeldLines(DrawTarget *t)
{
    if (t != HeldTarget)
        return 1;
    DrawHeld(t);
    ReleaseHeldPens(DcOf(t));
    FreeBlock(HeldMask);
    HeldMask = nullptr;
    HeldTarget = nullptr;
    HeldDirect = 0;
    return 1;
}

static int GdiLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   RgbColour colour)
{
    if (t == HeldTarget) {
        if (!t->xorMode && HoldSegment(t, x1, y1, x2, y2, colour))
            return 1;
        if (t->xorMode)
            DrawRunsOf(MaskLine(x1, y1, x2, y2, MASK_TEST, 0), 0, 0);
    }
    HDC dc = DcOf(t);
    int made;
    HPEN pen = PenOf(colour, &made);
    HGDIOBJ previous = SelectStep(dc, pen);
    if (!MoveToEx(dc, x1, y1, nullptr))
        SurfaceFailedSteps |= SURFACE_STEP_DRAW;
    else
        LineTo(dc, x2, y2);
    RestoreStep(dc, previous);
    if (made && pen)
        DeleteObject(pen);
    return SurfaceFailedSteps == 0;
}

static int GdiRectangle(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                        RgbColour edgeColour, RgbColour fillColour, uint32_t hollow)
{
    if (t == HeldTarget) {
        // A solid box of one colour may cover held lines of that colour.
        int32_t l = left < right ? left : right, r = left < right ? right : left;
        int32_t tp = top < bottom ? top : bottom, b = top < bottom ? bottom : top;
        if (!hollow && edgeColour == fillColour && HoldBox(t, l, tp, r, b, edgeColour))
            return 1;
        DrawRunsOf(MaskBox(l, tp, r, b), Holding(t) && (hollow || edgeColour == fillColour),
                   edgeColour);
    }
    HDC dc = DcOf(t);
    int penMade, brushMade = 0;
    HPEN pen = PenOf(edgeColour, &penMade);
    HBRUSH brush = hollow ? (HBRUSH)GetStockObject(HOLLOW_BRUSH) : BrushOf(fillColour, &brushMade);
    HGDIOBJ previousPen = SelectStep(dc, pen);
    HGDIOBJ previousBrush = SelectStep(dc, brush);
    if (!Rectangle(dc, left, top, right, bottom))
        SurfaceFailedSteps |= SURFACE_STEP_DRAW;
    RestoreStep(dc, previousBrush);
    RestoreStep(dc, previousPen);
    if (penMade && pen)
        DeleteObject(pen);
    if (brushMade && brush)
        DeleteObject(brush);
    return SurfaceFailedSteps == 0;
}

static int GdiSetPixel(DrawTarget *t, int32_t x, int32_t y, RgbColour colour)
{
    // SetPixelV sets the pixel whatever the mode, so only a run of another colour matters.
    if (t == HeldTarget) {
        if (HoldBox(t, x, y, x + 1, y + 1, colour))
            return 1;
        DrawRunsOf(MaskBox(x, y, x + 1, y + 1), 1, colour);
    }
    return SetPixelV(DcOf(t), x, y, ColourRefOf(colour)) ? 1 : 0;
}

static RgbColour GdiGetPixel(DrawTarget *t, int32_t x, int32_t y)
{
    DrawHeld(t);
    COLORREF c = GetPixel(DcOf(t), x, y);
    if (c == CLR_INVALID)
        return 0xFFFFFFFFu;
    return RGB_OF(GetRValue(c), GetGValue(c), GetBValue(c));
}

static int GdiText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
    DrawHeld(t);
    return TextOutA(DcOf(t), x, y, text, (int)length) ? 1 : 0;
}

static uint32_t GdiTextWidth(DrawTarget *t, const char *text, uint32_t length)
{
    SIZE size;
    if (!GetTextExtentPoint32A(DcOf(t), text, (int)length, &size) || size.cx < 0)
        return 0;
    return (uint32_t)size.cx;
}

static int GdiFill(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   RgbColour colour)
{
    if (t == HeldTarget)
        DrawRunsOf(MaskBox(left, top, right, bottom), 1, colour);
    HDC dc = DcOf(t);
    int made;
    HBRUSH brush = BrushOf(colour, &made);
    HGDIOBJ previous = SelectStep(dc, brush);
    if (!PatBlt(dc, left, top, right - left, bottom - top, PATCOPY))
        SurfaceFailedSteps |= SURFACE_STEP_DRAW;
    RestoreStep(dc, previous);
    if (made && brush)
        DeleteObject(brush);
    return SurfaceFailedSteps == 0;
}

// Steps: the region's creation is the drawing step, its selection the select step and
// its deletion the restore step.
static int GdiClip(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    DrawHeld(t);
    HRGN region = CreateRectRgn(left, top, right, bottom);
    if (!region) {
        SurfaceFailedSteps |= SURFACE_STEP_DRAW;
        return 0;
    }
    if (SelectClipRgn(DcOf(t), region) == ERROR)
        SurfaceFailedSteps |= SURFACE_STEP_SELECT;
    // The context keeps its own copy of the region.
    if (!DeleteObject(region))
        SurfaceFailedSteps |= SURFACE_STEP_RESTORE;
    return SurfaceFailedSteps == 0;
}

static int GdiClearClip(DrawTarget *t)
{
    DrawHeld(t);
    if (SelectClipRgn(DcOf(t), nullptr) == ERROR) {
        SurfaceFailedSteps |= SURFACE_STEP_SELECT;
        return 0;
    }
    return 1;
}

static int GdiFocusRect(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    DrawHeld(t);
    RECT r = {left, top, right, bottom};
    return DrawFocusRect(DcOf(t), &r) ? 1 : 0;
}

static int GdiSetTextAlign(DrawTarget *t, uint32_t align)
{
    UINT mode = align == TEXT_ALIGN_RIGHT ? (TA_RIGHT | TA_TOP) : (TA_LEFT | TA_TOP);
    return SetTextAlign(DcOf(t), mode) != GDI_ERROR;
}

static int GdiSetTextColour(DrawTarget *t, RgbColour colour)
{
    return SetTextColor(DcOf(t), ColourRefOf(colour)) != CLR_INVALID;
}

static int GdiSetTransparent(DrawTarget *t, uint32_t transparent)
{
    return SetBkMode(DcOf(t), transparent ? TRANSPARENT : OPAQUE) != 0;
}

static int GdiSetXor(DrawTarget *t, uint32_t xorMode)
{
    DrawHeld(t);
    return SetROP2(DcOf(t), xorMode ? R2_XORPEN : R2_COPYPEN) != 0;
}

static int GdiCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot,
                         uint32_t exclusiveOr)
{
    const BitmapRecord *b = &Bitmaps[slot];
    if (!b->dc)
        return 0;
    if (t == HeldTarget)
        DrawRunsOf(MaskBox(x, y, x + (int32_t)b->width, y + (int32_t)b->height), 0, 0);
    return BitBlt(DcOf(t), x, y, (int)b->width, (int)b->height, (HDC)b->dc, 0, 0,
                  exclusiveOr ? SRCINVERT : SRCCOPY)
               ? 1
               : 0;
}

static const SurfaceOps GdiOps = {
    GdiLine,         GdiRectangle,     GdiSetPixel,       GdiGetPixel,  GdiText,
    GdiTextWidth,    GdiFill,          GdiClip,           GdiClearClip, GdiFocusRect,
    GdiSetTextAlign, GdiSetTextColour, GdiSetTransparent, GdiSetXor,    GdiCopyBitmap,
    GdiHoldLines,    GdiDrawHeldLines,
};

void InstallGdiSurface(void)
{
    GdiSurfaceOps = &GdiOps;
}

int CreateDrawObjects(void)
{
    InstallGdiSurface();
    GdiFailedCall = nullptr;
    GdiHollowBrush = GetStockObject(HOLLOW_BRUSH);
    GdiNullPen = GetStockObject(NULL_PEN);
    for (uint32_t i = 0; i < PALETTE_SIZE; i++) {
        COLORREF c = ColourRefOf(PaletteColour(i));
        if (!(GdiPens[i] = CreatePen(PS_SOLID, 1, c))) {
            GdiFailedCall = "CreatePen";
            return 0;
        }
        if (!(GdiBrushes[i] = CreateSolidBrush(c))) {
            GdiFailedCall = "CreateSolidBrush";
            return 0;
        }
    }
    return 1;
}

void DeleteDrawObjects(void)
{
    for (uint32_t i = 0; i < PALETTE_SIZE; i++) {
        if (GdiPens[i] && !DeleteObject((HGDIOBJ)GdiPens[i]))
            ReportWin32("DeleteObject");
        if (GdiBrushes[i] && !DeleteObject((HGDIOBJ)GdiBrushes[i]))
            ReportWin32("DeleteObject");
        GdiPens[i] = nullptr;
        GdiBrushes[i] = nullptr;
    }
    // Stock objects are never deleted.
    GdiHollowBrush = nullptr;
    GdiNullPen = nullptr;
}

uint32_t GdiLoadBitmaps(void *instance)
{
    uint32_t loaded = 0;
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++) {
        HBITMAP bitmap =
            LoadBitmapA((HINSTANCE)instance, MAKEINTRESOURCEA(BitmapResourceIds[slot]));
        if (!bitmap) {
            ReportWin32("LoadBitmap");
            break;
        }
        Bitmaps[slot].handle = bitmap;
        loaded++;
        if (Bitmaps[slot].dc) {
            BitmapPrevious[slot] = SelectObject((HDC)Bitmaps[slot].dc, bitmap);
            if (!BitmapPrevious[slot])
                ReportWin32("SelectObject main 1");
        }
        BITMAP info;
        if (!GetObjectA(bitmap, sizeof info, &info)) {
            ReportWin32("GetObject");
        } else {
            Bitmaps[slot].width = (uint32_t)info.bmWidth;
            Bitmaps[slot].height = (uint32_t)info.bmHeight;
        }
    }
    return loaded;
}

void GdiFreeBitmaps(void)
{
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++) {
        if (Bitmaps[slot].dc && BitmapPrevious[slot] &&
            !SelectObject((HDC)Bitmaps[slot].dc, BitmapPrevious[slot]))
            ReportWin32("SelectObject main 4");
        BitmapPrevious[slot] = nullptr;
        if (Bitmaps[slot].handle && !DeleteObject((HGDIOBJ)Bitmaps[slot].handle))
            ReportWin32("DeleteObject");
        Bitmaps[slot].handle = nullptr;
        Bitmaps[slot].width = 0;
        Bitmaps[slot].height = 0;
    }
}

void *CreateBackBitmap(void *dc, int32_t width, int32_t height)
{
    HDC h = (HDC)dc;
    uint32_t slot = 0;
    while (slot < BACK_BITMAPS && BackBitmaps[slot])
        slot++;
    if (h && slot < BACK_BITMAPS && GetDeviceCaps(h, BITSPIXEL) * GetDeviceCaps(h, PLANES) >= 24) {
        BITMAPINFO info;
        ZeroMemory(&info, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        HBITMAP dib = CreateDIBSection(h, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (dib) {
            BackBitmaps[slot] = dib;
            return dib;
        }
    }
    return CreateCompatibleBitmap(h, width, height);
}

int DeleteBackBitmap(void *bitmap)
{
    for (uint32_t slot = 0; slot < BACK_BITMAPS; slot++)
        if (BackBitmaps[slot] == bitmap)
            BackBitmaps[slot] = nullptr;
    return DeleteObject((HGDIOBJ)bitmap) ? 1 : 0;
}

int InitGdiTarget(DrawTarget *target, void *dc)
{
    ZeroMemory(target, sizeof *target);
    target->kind = SURFACE_GDI;
    target->dc = dc;
    target->textColour = PaletteColour(1);
    HDC h = (HDC)dc;
    int ok = SetTextAlign(h, TA_LEFT | TA_TOP) != GDI_ERROR;
    ok &= SetTextColor(h, ColourRefOf(target->textColour)) != CLR_INVALID;
    ok &= SetBkColor(h, RGB(255, 255, 255)) != CLR_INVALID;
    ok &= SetBkMode(h, OPAQUE) != 0;
    ok &= SetROP2(h, R2_COPYPEN) != 0;
    ok &= SelectClipRgn(h, nullptr) != ERROR;
    return ok;
}
