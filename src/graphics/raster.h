// The in-memory drawing surface: pixels, the window font through stb_truetype, the
// resource bitmaps from their BMP files and PNG output; the report tool and the tests.
#ifndef VANTRY_RASTER_H
#define VANTRY_RASTER_H

#include <stdint.h>

#include "graphics/surface.h"

// The font the raster writes with, installed by Debian's fonts-dejavu-core.
#define RASTER_FONT_PATH "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

// Reads the TrueType font at fontPath once (a counted block), renders its glyphs for the
// bytes 32..255 (Windows-1252 characters) without anti-aliasing, and sets TextHeight,
// LineHeight and CharWidth from it; installs the raster's width as PlatTextWidth so that
// MaxNameWidth and LegendWidth are measured in the font that draws the names. Returns 1.
// When the font cannot be read or parsed it reports why and returns 0: text is then not
// painted, but every character measures RASTER_FALLBACK_ADVANCE pixels and the metrics
// keep the values below, so layouts still work. Calling it again first shuts down.
int RasterStartup(const char *fontPath);
// Frees the font and the glyphs and restores the platform's text width.
void RasterShutdown(void);

#define RASTER_FALLBACK_ADVANCE 7
#define RASTER_FALLBACK_TEXT_HEIGHT 15
#define RASTER_FALLBACK_LINE_HEIGHT 15

// The raster's width of length bytes of text (the same measure SurfaceTextWidth gives a
// raster target): the sum of the characters' whole-pixel advances, kerning off.
uint32_t RasterTextWidth(const char *text, uint32_t length);

// Makes target a raster of width x height pixels, all white, with the target's state at
// its defaults (left alignment, black text, opaque text cells, no exclusive-or, no clip).
// image is filled in and becomes the target's picture; its pixels are a counted block.
// Returns 1, or 0 ("Out of memory." already shown, or a zero size) with no pixels and no
// image in the target, so that every operation on it fails.
int CreateRasterTarget(uint32_t width, uint32_t height, RasterImage *image, DrawTarget *target);
// Frees the pixels of image; the image is left 0 x 0.
void FreeRasterTarget(RasterImage *image);

// Writes the image as a PNG file (8-bit RGB). The picture goes to path + ".tmp" first and
// then replaces path, so a failed write never leaves a partial file under path. Returns 1,
// or 0 after reporting the failure (the old file, if any, is unchanged).
int WriteRasterPng(const RasterImage *image, const char *path);

// Loads the 22 resource bitmaps from directory (ending in its separator) into
// Bitmaps[].pixels, slot by slot from the files "bmp<resource number>.bmp" (uncompressed
// BMP of 4 or 24 bits per pixel). A missing or damaged file is reported and leaves its
// slot empty (no pixels, size 0 x 0); the others still load. Returns the number loaded.
uint32_t LoadRasterBitmaps(const char *directory);
// Frees the pixels of all slots.
void FreeRasterBitmaps(void);

// Decodes one BMP file image of size bytes into a counted block of width x height pixels
// (top row first). Returns the pixels, or null when the data is not an uncompressed 4- or
// 24-bit BMP or is cut short or inconsistent (no message; the caller reports).
RgbColour *DecodeBmp(const uint8_t *data, uint32_t size, uint32_t *width, uint32_t *height);

// The raster's operations (the Surface* functions use them for SURFACE_RASTER targets).
extern const SurfaceOps RasterSurfaceOps;

#endif
