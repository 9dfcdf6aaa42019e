// The in-memory drawing surface: the Surface* operations on pixels, the raster font,
// the BMP reader for the resource bitmaps and PNG output.
#include "graphics/raster.h"

#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "platform/platform.h"

// stb's rasterizer and PNG writer are compiled here, once, with their own warnings off:
// they are third-party code the -Wall -Wextra build is not meant to judge.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wtype-limits"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wcast-qual"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include "stb_truetype.h"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
#pragma GCC diagnostic pop

namespace {

// The window font of the raster: its glyphs pre-rendered as two-level masks, one per byte.
struct RasterGlyph {
    int32_t left, top;       // mask's offset from the pen position on the baseline
    uint32_t width, height;
    uint32_t offset;         // first byte of the mask in GlyphMasks
    uint32_t advance;        // whole pixels the pen moves on
};

// The pixel height handed to stb: ascent plus descent of DejaVu Sans come to 15 pixels,
// the character height of the usual Windows dialog fonts.
const float FontPixelHeight = 15.0f;

uint8_t *FontData;           // counted block, the whole font file
uint8_t *GlyphMasks;         // counted block, 1 where a glyph paints
RasterGlyph Glyphs[256];
int32_t Ascent;              // baseline below the top of a text cell
int FontReady;

// Windows-1252's characters 0x80..0x9F (0 for its unused codes).
const uint16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int CodepointOf(uint32_t byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return Cp1252High[byte - 0x80];
    return (int)byte;
}

uint32_t WidthOfText(const char *text, uint32_t length)
{
    uint32_t width = 0;
    for (uint32_t i = 0; i < length; i++)
        width += FontReady ? Glyphs[(uint8_t)text[i]].advance : RASTER_FALLBACK_ADVANCE;
    return width;
}

// Whether pixel (x, y) may be painted: on the image and inside the clip when there is one.
inline int Paintable(const DrawTarget *t, int64_t x, int64_t y)
{
    const RasterImage *image = t->image;
    if (x < 0 || y < 0 || x >= (int64_t)image->width || y >= (int64_t)image->height)
        return 0;
    if (t->clipOn &&
        (x < t->clipLeft || x >= t->clipRight || y < t->clipTop || y >= t->clipBottom))
        return 0;
    return 1;
}

inline RgbColour *PixelAt(const DrawTarget *t, int64_t x, int64_t y)
{
    return &t->image->pixels[(size_t)y * t->image->width + (size_t)x];
}

// Paints one pixel with colour, combined by exclusive-or when xorPaint is 1.
inline void Plot(DrawTarget *t, int64_t x, int64_t y, RgbColour colour, uint32_t xorPaint)
{
    if (!Paintable(t, x, y))
        return;
    RgbColour *p = PixelAt(t, x, y);
    *p = xorPaint ? ((*p ^ colour) & 0xFFFFFFu) : colour;
}

// Row y from x = a to b - 1, only the part on the image visited.
void PlotRow(DrawTarget *t, int64_t y, int64_t a, int64_t b, RgbColour colour, uint32_t xorPaint)
{
    if (y < 0 || y >= (int64_t)t->image->height)
        return;
    if (a < 0)
        a = 0;
    if (b > (int64_t)t->image->width)
        b = t->image->width;
    for (int64_t x = a; x < b; x++)
        Plot(t, x, y, colour, xorPaint);
}

// Column x from y = a to b - 1.
void PlotColumn(DrawTarget *t, int64_t x, int64_t a, int64_t b, RgbColour colour,
                uint32_t xorPaint)
{
    if (x < 0 || x >= (int64_t)t->image->width)
        return;
    if (a < 0)
        a = 0;
    if (b > (int64_t)t->image->height)
        b = t->image->height;
    for (int64_t y = a; y < b; y++)
        Plot(t, x, y, colour, xorPaint);
}

int RasterLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour)
{
    if (!t->image)
        return 0;
    int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    // Step k of the major axis lands on the minor offset k * minor / major rounded half up,
    // the pixels Bresenham's algorithm picks; k runs up to but not onto the end point. Only
    // the steps whose major coordinate lies on the image are visited, so a line far outside
    // costs nothing.
    int xMajor = ax >= ay;
    int64_t major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    int64_t start = xMajor ? x1 : y1, sMajor = xMajor ? sx : sy, sMinor = xMajor ? sy : sx;
    int64_t limit = xMajor ? (int64_t)t->image->width : (int64_t)t->image->height;
    int64_t kFirst = 0, kEnd = major;
    if (sMajor > 0) {
        if (-start > kFirst)
            kFirst = -start;
        if (limit - start < kEnd)
            kEnd = limit - start;
    } else {
        if (start - (limit - 1) > kFirst)
            kFirst = start - (limit - 1);
        if (start + 1 < kEnd)
            kEnd = start + 1;
    }
    for (int64_t k = kFirst; k < kEnd; k++) {
        int64_t along = start + sMajor * k;
        // floor(k * minor / major + 1/2) as (k * minor + major / 2) / major: with k below
        // major and both below 2^32 the sum stays below 2^64, where doubling it would not.
        int64_t across = (int64_t)(((uint64_t)k * (uint64_t)minor + (uint64_t)major / 2) /
                                   (uint64_t)major);
        int64_t other = (xMajor ? y1 : x1) + sMinor * across;
        if (xMajor)
            Plot(t, along, other, colour, t->xorMode);
        else
            Plot(t, other, along, colour, t->xorMode);
    }
    return 1;
}

// The outline of left..right-1 x top..bottom-1, each pixel once (exclusive-or safe).
void PlotOutline(DrawTarget *t, int64_t left, int64_t top, int64_t right, int64_t bottom,
                 RgbColour colour, uint32_t xorPaint)
{
    PlotRow(t, top, left, right, colour, xorPaint);
    if (bottom - 1 > top)
        PlotRow(t, bottom - 1, left, right, colour, xorPaint);
    PlotColumn(t, left, top + 1, bottom - 1, colour, xorPaint);
    if (right - 1 > left)
        PlotColumn(t, right - 1, top + 1, bottom - 1, colour, xorPaint);
}

int RasterRectangle(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    RgbColour edgeColour, RgbColour fillColour, uint32_t hollow)
{
    if (!t->image)
        return 0;
    // As GDI does, a rectangle given corner to corner in either order is the same box.
    int64_t l = left < right ? left : right, r = left < right ? right : left;
    int64_t tp = top < bottom ? top : bottom, b = top < bottom ? bottom : top;
    if (r <= l || b <= tp)
        return 1;
    PlotOutline(t, l, tp, r, b, edgeColour, t->xorMode);
    if (!hollow)
        for (int64_t y = tp + 1; y < b - 1; y++)
            PlotRow(t, y, l + 1, r - 1, fillColour, t->xorMode);
    return 1;
}

int RasterSetPixel(DrawTarget *t, int32_t x, int32_t y, RgbColour colour)
{
    if (!t->image)
        return 0;
    Plot(t, x, y, colour & 0xFFFFFFu, 0);
    return 1;
}

RgbColour RasterGetPixel(DrawTarget *t, int32_t x, int32_t y)
{
    const RasterImage *image = t->image;
    if (!image || x < 0 || y < 0 || (uint32_t)x >= image->width || (uint32_t)y >= image->height)
        return 0xFFFFFFFFu;
    return *PixelAt(t, x, y);
}

int RasterText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
    if (!t->image)
        return 0;
    int64_t left = x;
    if (t->textAlign == TEXT_ALIGN_RIGHT)
        left -= WidthOfText(text, length);
    // An opaque cell is the text's extent one character height tall, in the white
    // background colour that a device context starts with.
    if (!t->transparentText) {
        int64_t right = left + WidthOfText(text, length);
        for (int64_t row = y; row < (int64_t)y + TextHeight; row++)
            PlotRow(t, row, left, right, RGB_OF(255, 255, 255), 0);
    }
    if (!FontReady)
        return 1;
    int64_t pen = left;
    for (uint32_t i = 0; i < length; i++) {
        const RasterGlyph *g = &Glyphs[(uint8_t)text[i]];
        const uint8_t *mask = GlyphMasks ? GlyphMasks + g->offset : nullptr;
        for (uint32_t gy = 0; mask && gy < g->height; gy++)
            for (uint32_t gx = 0; gx < g->width; gx++)
                if (mask[gy * g->width + gx])
                    Plot(t, pen + g->left + gx, (int64_t)y + Ascent + g->top + gy,
                         t->textColour & 0xFFFFFFu, 0);
        pen += g->advance;
    }
    return 1;
}

uint32_t RasterTextWidthOp(DrawTarget *, const char *text, uint32_t length)
{
    return WidthOfText(text, length);
}

int RasterFill(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
               RgbColour colour)
{
    if (!t->image)
        return 0;
    // The fill ignores the clip, as the back buffers' clears do.
    uint32_t clipOn = t->clipOn;
    t->clipOn = 0;
    int64_t first = top < 0 ? 0 : top;
    int64_t end = bottom < (int64_t)t->image->height ? bottom : (int64_t)t->image->height;
    for (int64_t y = first; y < end; y++)
        PlotRow(t, y, left, right, colour & 0xFFFFFFu, 0);
    t->clipOn = clipOn;
    return 1;
}

// The record keeps the clip, alignment and modes; the raster reads them from there.
int RasterKeepClip(DrawTarget *t, int32_t, int32_t, int32_t, int32_t)
{
    return t->image != nullptr;
}

int RasterKeepClear(DrawTarget *t)
{
    return t->image != nullptr;
}

int RasterKeepValue(DrawTarget *t, uint32_t)
{
    return t->image != nullptr;
}

int RasterFocusRect(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!t->image)
        return 0;
    if (right <= left || bottom <= top)
        return 1;
    // Every other pixel of the outline, on the checkerboard of x + y even, inverted: the
    // same call again puts every pixel back.
    int64_t l = left, tp = top, r = right, b = bottom;
    for (int64_t x = l; x < r; x++) {
        if (((x + tp) & 1) == 0)
            Plot(t, x, tp, 0xFFFFFFu, 1);
        if (b - 1 > tp && ((x + b - 1) & 1) == 0)
            Plot(t, x, b - 1, 0xFFFFFFu, 1);
    }
    for (int64_t y = tp + 1; y < b - 1; y++) {
        if (((l + y) & 1) == 0)
            Plot(t, l, y, 0xFFFFFFu, 1);
        if (r - 1 > l && ((r - 1 + y) & 1) == 0)
            Plot(t, r - 1, y, 0xFFFFFFu, 1);
    }
    return 1;
}

int RasterCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot, uint32_t exclusiveOr)
{
    if (!t->image)
        return 0;
    const BitmapRecord *b = &Bitmaps[slot];
    // A bitmap that failed to load was reported then; the copy leaves the picture alone.
    if (!b->pixels)
        return 1;
    for (uint32_t by = 0; by < b->height; by++)
        for (uint32_t bx = 0; bx < b->width; bx++)
            Plot(t, (int64_t)x + bx, (int64_t)y + by, b->pixels[by * b->width + bx], exclusiveOr);
    return 1;
}

// Renders the glyphs of bytes 32..255 at the raster's size; 1 when the font is usable.
int PrepareGlyphs(void)
{
    stbtt_fontinfo font;
    int offset = stbtt_GetFontOffsetForIndex(FontData, 0);
    if (offset < 0 || !stbtt_InitFont(&font, FontData, offset))
        return 0;
    float scale = stbtt_ScaleForPixelHeight(&font, FontPixelHeight);
    int ascent = 0, descent = 0, lineGap = 0;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
    Ascent = (int32_t)(ascent * scale + 0.5f);
    int32_t below = (int32_t)(-descent * scale + 0.5f);
    uint32_t maskBytes = 0;
    int boxes[256][4];
    int glyphIndex[256];
    for (uint32_t c = 0; c < 256; c++) {
        memset(&Glyphs[c], 0, sizeof Glyphs[c]);
        glyphIndex[c] = -1;
        int codepoint = CodepointOf(c);
        if (c < 32 || codepoint == 0)
            continue;
        // Characters the font lacks draw and measure as its missing-glyph box (index 0),
        // as Windows shows them.
        int glyph = stbtt_FindGlyphIndex(&font, codepoint);
        glyphIndex[c] = glyph;
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&font, glyph, &advance, &bearing);
        Glyphs[c].advance = (uint32_t)(advance * scale + 0.5f);
        int *box = boxes[c];
        stbtt_GetGlyphBitmapBox(&font, glyph, scale, scale, &box[0], &box[1], &box[2], &box[3]);
        if (box[2] > box[0] && box[3] > box[1]) {
            Glyphs[c].left = box[0];
            Glyphs[c].top = box[1];
            Glyphs[c].width = (uint32_t)(box[2] - box[0]);
            Glyphs[c].height = (uint32_t)(box[3] - box[1]);
            Glyphs[c].offset = maskBytes;
            maskBytes += Glyphs[c].width * Glyphs[c].height;
        }
    }
    GlyphMasks = (uint8_t *)AllocZero(maskBytes ? maskBytes : 1, 1);
    if (!GlyphMasks)
        return 0;
    for (uint32_t c = 0; c < 256; c++) {
        RasterGlyph *g = &Glyphs[c];
        if (glyphIndex[c] < 0 || g->width == 0)
            continue;
        uint8_t *mask = GlyphMasks + g->offset;
        stbtt_MakeGlyphBitmap(&font, mask, (int)g->width, (int)g->height, (int)g->width, scale,
                              scale, glyphIndex[c]);
        // No anti-aliasing: a pixel is the text colour or untouched, so text is the same on
        // every machine and an exclusive-or copy of it can be undone exactly.
        for (uint32_t i = 0; i < g->width * g->height; i++)
            mask[i] = mask[i] >= 128 ? 1 : 0;
    }
    uint32_t widest = 0;
    for (uint32_t c = 32; c < 127; c++)
        if (Glyphs[c].advance > widest)
            widest = Glyphs[c].advance;
    TextHeight = (uint32_t)(Ascent + below);
    LineHeight = TextHeight + (uint32_t)(lineGap * scale + 0.5f);
    CharWidth = widest;
    return 1;
}

// Reads a whole file into a counted block of at most limit bytes; null when it cannot.
uint8_t *ReadFileBlock(const char *path, uint32_t limit, uint32_t *size)
{
    *size = 0;
    PlatFile file = PlatOpenRead(path);
    if (file == PLAT_NO_FILE)
        return nullptr;
    uint32_t length = PlatFileSize(file);
    uint8_t *data = nullptr;
    uint32_t got = 0;
    if (length > 0 && length <= limit)
        data = (uint8_t *)AllocZero(length, 1);
    if (data && (!PlatRead(file, data, length, &got) || got != length)) {
        FreeBlock(data);
        data = nullptr;
    }
    PlatClose(file);
    *size = got;
    return data;
}

uint32_t ReadLe16(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

uint32_t ReadLe32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
           ((uint32_t)p[3] << 24);
}

// The largest resource bitmap the reader accepts, in either direction.
const uint32_t BmpMaxSide = 1024;

}  // namespace

const SurfaceOps RasterSurfaceOps = {
    RasterLine,     RasterRectangle,  RasterSetPixel,    RasterGetPixel, RasterText,
    RasterTextWidthOp, RasterFill,    RasterKeepClip,    RasterKeepClear, RasterFocusRect,
    RasterKeepValue, RasterKeepValue, RasterKeepValue,   RasterKeepValue, RasterCopyBitmap,
    RasterKeepClip,  RasterKeepClear,
};

uint32_t RasterTextWidth(const char *text, uint32_t length)
{
    return WidthOfText(text, length);
}

void RasterShutdown(void)
{
    FontReady = 0;
    FreeBlock(FontData);
    FontData = nullptr;
    FreeBlock(GlyphMasks);
    GlyphMasks = nullptr;
    memset(Glyphs, 0, sizeof Glyphs);
    PlatSetTextWidthFunc(nullptr);
}

int RasterStartup(const char *fontPath)
{
    RasterShutdown();
    TextHeight = RASTER_FALLBACK_TEXT_HEIGHT;
    LineHeight = RASTER_FALLBACK_LINE_HEIGHT;
    CharWidth = RASTER_FALLBACK_ADVANCE;
    PlatSetTextWidthFunc(RasterTextWidth);
    char text[REPORT_BUFFER_SIZE];
    uint32_t size = 0;
    FontData = ReadFileBlock(fontPath, 64u << 20, &size);
    if (!FontData) {
        FormatText(text, sizeof text, "Cannot read the font file %s; text is not drawn.",
                   fontPath);
        ReportError(text);
        return 0;
    }
    if (!PrepareGlyphs()) {
        RasterShutdown();
        TextHeight = RASTER_FALLBACK_TEXT_HEIGHT;
        LineHeight = RASTER_FALLBACK_LINE_HEIGHT;
        CharWidth = RASTER_FALLBACK_ADVANCE;
        PlatSetTextWidthFunc(RasterTextWidth);
        FormatText(text, sizeof text, "The font file %s is damaged; text is not drawn.",
                   fontPath);
        ReportError(text);
        return 0;
    }
    FontReady = 1;
    return 1;
}

int CreateRasterTarget(uint32_t width, uint32_t height, RasterImage *image, DrawTarget *target)
{
    memset(image, 0, sizeof *image);
    memset(target, 0, sizeof *target);
    target->kind = SURFACE_RASTER;
    target->textAlign = TEXT_ALIGN_LEFT;
    // Without pixels the target has no image, so every operation on it fails.
    if (width == 0 || height == 0)
        return 0;
    // The pixel count is taken in 64 bits: on a 32-bit build width x height could wrap to
    // a small block that the full-size image would then overrun.
    if ((uint64_t)width * height > 0xFFFFFFFFu / sizeof(RgbColour)) {
        ReportWarning("Out of memory.");
        return 0;
    }
    RgbColour *pixels = (RgbColour *)AllocZero((size_t)width * height, sizeof(RgbColour));
    if (!pixels)
        return 0;
    for (size_t i = 0; i < (size_t)width * height; i++)
        pixels[i] = RGB_OF(255, 255, 255);
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    target->image = image;
    return 1;
}

void FreeRasterTarget(RasterImage *image)
{
    FreeBlock(image->pixels);
    image->pixels = nullptr;
    image->width = 0;
    image->height = 0;
}

namespace {

struct PngWrite {
    PlatFile file;
    int ok;
};

void WritePngBytes(void *context, void *data, int size)
{
    PngWrite *w = (PngWrite *)context;
    uint32_t written = 0;
    if (size < 0 || !PlatWrite(w->file, data, (uint32_t)size, &written) ||
        written != (uint32_t)size)
        w->ok = 0;
}

}  // namespace

int WriteRasterPng(const RasterImage *image, const char *path)
{
    char text[REPORT_BUFFER_SIZE];
    if (!image->pixels || image->width == 0 || image->height == 0 || image->width > 0x7FFF ||
        image->height > 0x7FFF) {
        FormatText(text, sizeof text, "%s: no picture to write.", path);
        ReportError(text);
        return 0;
    }
    size_t bytes = (size_t)image->width * image->height * 3;
    uint8_t *rgb = (uint8_t *)AllocZero(bytes, 1);
    if (!rgb)
        return 0;
    for (size_t i = 0; i < (size_t)image->width * image->height; i++) {
        RgbColour c = image->pixels[i];
        rgb[3 * i] = (uint8_t)(c >> 16);
        rgb[3 * i + 1] = (uint8_t)(c >> 8);
        rgb[3 * i + 2] = (uint8_t)c;
    }
    char temporary[1024];
    size_t pathLength = strlen(path);
    if (pathLength + 5 > sizeof temporary) {
        FreeBlock(rgb);
        FormatText(text, sizeof text, "%s: the path is too long.", path);
        ReportError(text);
        return 0;
    }
    memcpy(temporary, path, pathLength);
    memcpy(temporary + pathLength, ".tmp", 5);
    PngWrite w = {PlatCreateWrite(temporary), 1};
    if (w.file == PLAT_NO_FILE) {
        FreeBlock(rgb);
        FormatText(text, sizeof text, "Cannot create %s.", temporary);
        ReportError(text);
        return 0;
    }
    int encoded = stbi_write_png_to_func(WritePngBytes, &w, (int)image->width,
                                         (int)image->height, 3, rgb, (int)image->width * 3);
    FreeBlock(rgb);
    int closed = PlatClose(w.file);
    if (!encoded || !w.ok || !closed || !PlatReplaceFile(temporary, path)) {
        PlatDeleteFile(temporary);
        FormatText(text, sizeof text, "Cannot write %s.", path);
        ReportError(text);
        return 0;
    }
    return 1;
}

RgbColour *DecodeBmp(const uint8_t *data, uint32_t size, uint32_t *width, uint32_t *height)
{
    *width = 0;
    *height = 0;
    // File header (14 bytes) and at least the 40-byte information header.
    if (size < 54 || data[0] != 'B' || data[1] != 'M')
        return nullptr;
    uint32_t pixelOffset = ReadLe32(data + 10);
    uint32_t infoSize = ReadLe32(data + 14);
    if (infoSize < 40 || infoSize > size - 14)
        return nullptr;
    int32_t w = (int32_t)ReadLe32(data + 18);
    int32_t h = (int32_t)ReadLe32(data + 22);
    uint32_t planes = ReadLe16(data + 26);
    uint32_t bits = ReadLe16(data + 28);
    uint32_t compression = ReadLe32(data + 30);
    uint32_t coloursUsed = ReadLe32(data + 46);
    // A negative height stores the rows top first.
    int topDown = h < 0;
    uint32_t rows = topDown ? (uint32_t)(-(int64_t)h) : (uint32_t)h;
    if (w <= 0 || (uint32_t)w > BmpMaxSide || rows == 0 || rows > BmpMaxSide || planes != 1 ||
        compression != 0 || (bits != 4 && bits != 24))
        return nullptr;
    uint32_t columns = (uint32_t)w;
    RgbColour palette[16];
    uint32_t paletteCount = 0;
    if (bits == 4) {
        paletteCount = coloursUsed ? coloursUsed : 16;
        if (paletteCount > 16)
            return nullptr;
        uint32_t paletteStart = 14 + infoSize;
        if ((uint64_t)paletteStart + 4 * paletteCount > size ||
            (uint64_t)paletteStart + 4 * paletteCount > pixelOffset)
            return nullptr;
        for (uint32_t i = 0; i < paletteCount; i++) {
            const uint8_t *q = data + paletteStart + 4 * i;
            palette[i] = RGB_OF(q[2], q[1], q[0]);
        }
    }
    // Rows are padded to whole 32-bit words.
    uint32_t rowBytes = ((columns * bits + 31) / 32) * 4;
    if (pixelOffset < 14 + infoSize || (uint64_t)pixelOffset + (uint64_t)rowBytes * rows > size)
        return nullptr;
    RgbColour *pixels = (RgbColour *)AllocZero((size_t)columns * rows, sizeof(RgbColour));
    if (!pixels)
        return nullptr;
    for (uint32_t r = 0; r < rows; r++) {
        const uint8_t *row = data + pixelOffset + (size_t)r * rowBytes;
        uint32_t y = topDown ? r : rows - 1 - r;
        RgbColour *out = pixels + (size_t)y * columns;
        for (uint32_t x = 0; x < columns; x++) {
            if (bits == 24) {
                const uint8_t *q = row + 3 * x;
                out[x] = RGB_OF(q[2], q[1], q[0]);
                continue;
            }
            uint32_t index = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
            if (index >= paletteCount) {
                FreeBlock(pixels);
                return nullptr;
            }
            out[x] = palette[index];
        }
    }
    *width = columns;
    *height = rows;
    return pixels;
}

uint32_t LoadRasterBitmaps(const char *directory)
{
    FreeRasterBitmaps();
    uint32_t loaded = 0;
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++) {
        char path[1024];
        char text[REPORT_BUFFER_SIZE];
        FormatText(path, sizeof path, "%sbmp%u.bmp", directory, (unsigned)BitmapResourceIds[slot]);
        uint32_t size = 0;
        // Resource bitmaps are small; anything near a megabyte is not one of them.
        uint8_t *data = ReadFileBlock(path, 1u << 20, &size);
        if (!data) {
            FormatText(text, sizeof text, "Cannot read the bitmap file %s.", path);
            ReportError(text);
            continue;
        }
        BitmapRecord *b = &Bitmaps[slot];
        b->pixels = DecodeBmp(data, size, &b->width, &b->height);
        FreeBlock(data);
        if (!b->pixels) {
            FormatText(text, sizeof text, "The bitmap file %s is damaged.", path);
            ReportError(text);
            continue;
        }
        loaded++;
    }
    return loaded;
}

void FreeRasterBitmaps(void)
{
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++) {
        FreeBlock(Bitmaps[slot].pixels);
        Bitmaps[slot].pixels = nullptr;
        Bitmaps[slot].width = 0;
        Bitmaps[slot].height = 0;
    }
}
