// The Surface* operations on a GDI device context, the palette's drawing objects and the
// resource bitmaps' memory contexts.
#include <windows.h>
#undef DrawText

#include "graphics/gdi_surface.h"

#include "base/errors.h"

void *GdiPens[PALETTE_SIZE];
void *GdiBrushes[PALETTE_SIZE];
void *GdiHollowBrush;
void *GdiNullPen;
const char *GdiFailedCall;

// What each bitmap context held before its bitmap went in, put back before deletion.
static HGDIOBJ BitmapPrevious[BITMAP_COUNT];

static COLORREF ColourRefOf(RgbColour c)
{
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

static HDC DcOf(const DrawTarget *t)
{
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

static int GdiLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   RgbColour colour)
{
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
    return SetPixelV(DcOf(t), x, y, ColourRefOf(colour)) ? 1 : 0;
}

static RgbColour GdiGetPixel(DrawTarget *t, int32_t x, int32_t y)
{
    COLORREF c = GetPixel(DcOf(t), x, y);
    if (c == CLR_INVALID)
        return 0xFFFFFFFFu;
    return RGB_OF(GetRValue(c), GetGValue(c), GetBValue(c));
}

static int GdiText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
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
    if (SelectClipRgn(DcOf(t), nullptr) == ERROR) {
        SurfaceFailedSteps |= SURFACE_STEP_SELECT;
        return 0;
    }
    return 1;
}

static int GdiFocusRect(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
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
    return SetROP2(DcOf(t), xorMode ? R2_XORPEN : R2_COPYPEN) != 0;
}

static int GdiCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot,
                         uint32_t exclusiveOr)
{
    const BitmapRecord *b = &Bitmaps[slot];
    if (!b->dc)
        return 0;
    return BitBlt(DcOf(t), x, y, (int)b->width, (int)b->height, (HDC)b->dc, 0, 0,
                  exclusiveOr ? SRCINVERT : SRCCOPY)
               ? 1
               : 0;
}

static const SurfaceOps GdiOps = {
    GdiLine,         GdiRectangle,     GdiSetPixel,       GdiGetPixel,  GdiText,
    GdiTextWidth,    GdiFill,          GdiClip,           GdiClearClip, GdiFocusRect,
    GdiSetTextAlign, GdiSetTextColour, GdiSetTransparent, GdiSetXor,    GdiCopyBitmap,
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
