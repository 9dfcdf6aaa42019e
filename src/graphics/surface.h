// The drawing target of every painter: a record naming either a GDI memory device context
// or an in-memory raster, and the low-level operations the primitives are made of.
#ifndef VANTRY_SURFACE_H
#define VANTRY_SURFACE_H

#include <stdint.h>

// Colours are 0x00RRGGBB.
typedef uint32_t RgbColour;
#define RGB_OF(r, g, b) ((RgbColour)(((uint32_t)(r) << 16) | ((uint32_t)(g) << 8) | (uint32_t)(b)))

enum SurfaceKind : uint32_t {
    SURFACE_RASTER = 0,  // pixels in memory (raster.cpp); the report tool and the tests
    SURFACE_GDI = 1      // a Windows memory device context (gdi_surface.cpp)
};

enum TextAlignment : uint32_t {
    TEXT_ALIGN_LEFT = 0,   // x is the left edge of the text, y its top
    TEXT_ALIGN_RIGHT = 1   // x is the right edge (exclusive) of the text, y its top
};

// An in-memory picture: width x height pixels, row by row from the top, 0x00RRGGBB.
struct RasterImage {
    uint32_t width;
    uint32_t height;
    RgbColour *pixels;     // width * height, a counted block (alloc.h)
};

// The state a drawing target keeps between calls, as a device context would.
struct DrawTarget {
    uint32_t kind;             // SurfaceKind
    void *dc;                  // SURFACE_GDI: the HDC
    RasterImage *image;        // SURFACE_RASTER: the pixels drawn into
    uint32_t textAlign;        // TextAlignment in force
    RgbColour textColour;      // colour of DrawText's characters
    uint32_t transparentText;  // 1: text leaves the background; 0: text cells filled white
    uint32_t xorMode;          // 1: lines and boxes are combined by exclusive-or
    uint32_t clipOn;           // 1: only pixels inside the clip rectangle are painted
    int32_t clipLeft, clipTop, clipRight, clipBottom;  // right and bottom exclusive
    int32_t penX, penY;        // current position (MoveTo / LineTo)
};

// The target that the primitives draw into when they take none; set by whoever paints.
extern DrawTarget *DrawSurface;

// Font metrics of the window font, read once; shared read-only by all painters.
extern uint32_t TextHeight;   // character height
extern uint32_t LineHeight;   // TextHeight plus external leading
extern uint32_t CharWidth;    // maximum character width

// ---------------------------------------------------------------------------------------
// Low-level operations. Each returns 1 on success and 0 on failure (a GDI call failed);
// the primitives report failures under their own labels. Coordinates are pixels, x to
// the right, y downward; rectangles exclude their right and bottom edges.

// Line from (x1, y1) to (x2, y2) in colour, the end point not painted.
int SurfaceLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour);
// Rectangle left..right-1 x top..bottom-1: the edge in edgeColour, the inside in fillColour,
// or the inside left alone when hollow is 1.
int SurfaceRectangle(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     RgbColour edgeColour, RgbColour fillColour, uint32_t hollow);
// One pixel set to colour exactly (SetPixelV); never combined by exclusive-or.
int SurfaceSetPixel(DrawTarget *t, int32_t x, int32_t y, RgbColour colour);
// The colour of one pixel; 0xFFFFFFFF outside the surface.
RgbColour SurfaceGetPixel(DrawTarget *t, int32_t x, int32_t y);
// length characters of text at (x, y) in the target's text colour and alignment.
int SurfaceText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length);
// Width in pixels of length characters of text in the window font.
uint32_t SurfaceTextWidth(DrawTarget *t, const char *text, uint32_t length);
// Fills left..right-1 x top..bottom-1 with colour (PatBlt with a solid brush), no clip.
int SurfaceFill(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                RgbColour colour);
// Clip to left..right-1 x top..bottom-1; SurfaceClearClip removes it.
int SurfaceClip(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
int SurfaceClearClip(DrawTarget *t);
// Dotted focus rectangle, combined by exclusive-or (drawing it twice removes it).
int SurfaceFocusRect(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
// While lines are held (SurfaceHoldLines) a GDI target may keep back the line segments
// (and small solid boxes and single pixels) inside left..right-1 x top..bottom-1 and draw
// those of one colour later, many with one call, in an order that leaves every pixel the
// colour it would have had with every call drawn at once: the same picture in far fewer
// device calls. On a bitmap whose pixels it may write (a DIB section of the Windows
// program's back buffer) it writes them at once instead, the very pixels the device
// would paint, with no device call at all. SurfaceDrawHeldLines draws what is kept back
// and ends the holding; a clip change, reading a pixel, text, a focus rectangle and
// switching exclusive-or mode draw it too.
// A held line that fails is reported when it is drawn ("PolyPolyline" or the pen's
// "SelectObject draw 1" / "SelectObject draw 2"). One target holds lines at a time;
// holding on another draws the first one's. The raster draws every line at once and
// only checks that the target has a picture.
int SurfaceHoldLines(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
int SurfaceDrawHeldLines(DrawTarget *t);
// Previous values are returned so callers can restore them.
uint32_t SurfaceSetTextAlign(DrawTarget *t, uint32_t align);
RgbColour SurfaceSetTextColour(DrawTarget *t, RgbColour colour);
uint32_t SurfaceSetTransparent(DrawTarget *t, uint32_t transparent);
uint32_t SurfaceSetXor(DrawTarget *t, uint32_t xorMode);
// SurfaceSetTextAlign and SurfaceSetTextColour return this when the device refused the
// change (GDI_ERROR / CLR_INVALID); the target then keeps its previous value.
#define SURFACE_SET_FAILED 0xFFFFFFFFu

// Which steps of the last failed Surface* call failed (0 after a call that succeeded), so
// that a primitive can name the failed call: selecting the pen or brush (and, for
// SurfaceClip, selecting the region), the drawing call itself (MoveToEx, Rectangle,
// TextOutA, PatBlt, CreateRectRgn, BitBlt), and selecting the previous objects back (for
// SurfaceClip, deleting the region). On the raster nothing fails and it stays 0.
enum SurfaceStep : uint32_t {
    SURFACE_STEP_SELECT = 1,
    SURFACE_STEP_DRAW = 2,
    SURFACE_STEP_RESTORE = 4
};
extern uint32_t SurfaceFailedSteps;

// The operations of one kind of target, each with the meaning of the Surface* function of
// the same name; the setters only apply the new value to the device (the Surface* setters
// keep it in the record) and return 1 / 0. The Surface* functions dispatch on the
// target's kind: the raster's table is built in (raster.cpp), the GDI table is installed
// by the Windows program (gdi_surface.cpp); a GDI target without one fails every call.
struct SurfaceOps {
    int (*line)(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour);
    int (*rectangle)(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     RgbColour edgeColour, RgbColour fillColour, uint32_t hollow);
    int (*setPixel)(DrawTarget *t, int32_t x, int32_t y, RgbColour colour);
    RgbColour (*getPixel)(DrawTarget *t, int32_t x, int32_t y);
    int (*text)(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length);
    uint32_t (*textWidth)(DrawTarget *t, const char *text, uint32_t length);
    int (*fill)(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                RgbColour colour);
    int (*clip)(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
    int (*clearClip)(DrawTarget *t);
    int (*focusRect)(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
    int (*setTextAlign)(DrawTarget *t, uint32_t align);
    int (*setTextColour)(DrawTarget *t, RgbColour colour);
    int (*setTransparent)(DrawTarget *t, uint32_t transparent);
    int (*setXor)(DrawTarget *t, uint32_t xorMode);
    int (*copyBitmap)(DrawTarget *t, int32_t x, int32_t y, uint32_t slot, uint32_t exclusiveOr);
    int (*holdLines)(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom);
    int (*drawHeldLines)(DrawTarget *t);
};
extern const SurfaceOps *GdiSurfaceOps;

// ---------------------------------------------------------------------------------------
// The resource bitmaps, loaded once (Windows: LoadBitmap of the resource; raster: the
// BMP files of resources/), indexed in their load order.
enum BitmapSlot : uint32_t {
    BMP_BUY = 0,            // 104
    BMP_SELL,               // 105
    BMP_RISE3,              // 131
    BMP_RISE4,              // 140
    BMP_RISE5,              // 142
    BMP_FALL3,              // 138
    BMP_FALL4,              // 133
    BMP_FALL5,              // 141
    BMP_PORTFOLIO,          // 106
    BMP_CHECK,              // 110
    BMP_NO_CHECK,           // 111
    BMP_NO_PORTFOLIO,       // 112
    BMP_ARROW_LEFT,         // 116  the side strips' buttons, rows 0 to 5
    BMP_ARROW_RIGHT,        // 115
    BMP_DOUBLE_LEFT,        // 118  (left strip row 2)
    BMP_DOUBLE_RIGHT,       // 117  (right strip row 2)
    BMP_BOLD_LEFT,          // 121
    BMP_BOLD_RIGHT,         // 122
    BMP_BOLD_DOUBLE_LEFT,   // 123
    BMP_BOLD_DOUBLE_RIGHT,  // 124
    BMP_UP,                 // 119
    BMP_DOWN,               // 120
    BITMAP_COUNT = 22
};
// Resource number of each slot.
extern const uint16_t BitmapResourceIds[BITMAP_COUNT];

struct BitmapRecord {
    uint32_t width;
    uint32_t height;
    void *dc;               // Windows: the memory device context the bitmap is selected into
    void *handle;           // Windows: the HBITMAP
    RgbColour *pixels;      // raster: width * height pixels, counted block
};
extern BitmapRecord Bitmaps[BITMAP_COUNT];

// Copies bitmap slot to (x, y): plainly (SRCCOPY) or by exclusive-or (SRCINVERT).
int SurfaceCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot, uint32_t exclusiveOr);

#endif
