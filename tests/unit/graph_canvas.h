// A raster canvas for the painter tests that also records every text drawn on it, and
// fixed font metrics so that layouts can be worked out by hand; with the bitmap slots,
// funds and resource files those tests share.
#ifndef VANTRY_GRAPH_CANVAS_H
#define VANTRY_GRAPH_CANVAS_H

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "graphics/surface.h"

// The two colours every painter test compares with.
const RgbColour Black = RGB_OF(0, 0, 0), White = RGB_OF(255, 255, 255);

struct DrawnText {
    int32_t x, y;
    std::string text;
    RgbColour colour;
    uint32_t align;
};

// Texts drawn on the canvas since it was opened, in order.
extern std::vector<DrawnText> DrawnTexts;

struct GraphCanvas {
    RasterImage image;
    DrawTarget target;
};

// A white width x height raster that records texts (and paints them in the raster's way:
// without a font nothing, each character RASTER_FALLBACK_ADVANCE pixels wide), made the
// DrawSurface, with a transparent text background as the page painter sets it. Sets
// TextHeight 10, LineHeight 12 and CharWidth 5.
void OpenCanvas(GraphCanvas *c, uint32_t width, uint32_t height);
// Frees the pixels, clears DrawSurface and the recorder, restores the metrics to 0.
void CloseCanvas(GraphCanvas *c);
// The pixel at (x, y); 0xFFFFFFFF outside the picture.
RgbColour PixelAt(GraphCanvas *c, int32_t x, int32_t y);
struct PixelProbe {
    int32_t x, y;
    RgbColour colour;
    bool is = true;   // false: the pixel must be any other colour
};
// A test failure for each probe whose pixel is not (or, with is false, is) its colour.
void ExpectCanvasPixels(GraphCanvas *c, std::initializer_list<PixelProbe> probes);
// The texts equal to text, in the order drawn.
std::vector<DrawnText> TextsNamed(const std::string &text);
// The first text equal to text; a test failure and one at (-1, -1) if there is none.
DrawnText FirstNamed(const std::string &text);
// Whether any text equal to text was drawn.
bool WasDrawn(const std::string &text);
// How many of the n pixels are colour.
uint32_t CountColour(const RgbColour *pixels, uint32_t n, RgbColour colour);
// Width of a text as the canvas measures it.
int32_t CanvasWidth(const std::string &text);

// The messages reported, each cut before ", GetLastError=".
std::vector<std::string> ReportedLabels();

// "" when the two pictures are the same, else where they first differ.
std::string FirstDifference(const RasterImage *actual, const RasterImage *expected);

// A raster of width x height filled with the fund list's light gray, for the list painters;
// its pixels are freed when it goes out of scope.
struct GrayCanvas {
    RasterImage image;
    DrawTarget target;
    GrayCanvas(uint32_t width, uint32_t height);
    ~GrayCanvas();
};

// A colour of its own for every bitmap slot, so that a picture tells which icon went where.
RgbColour SlotColour(uint32_t slot);
// Gives the slot a new picture, width x 14 pixels, all in its colour.
void FillSlot(uint32_t slot, uint32_t width);
// Every slot such a picture, markerWidth wide (the arrows from BMP_ARROW_LEFT on 14); the
// pictures the slots had are kept until RestoreSlots frees the new ones and puts them back.
void FillSlots(uint32_t markerWidth);
void RestoreSlots();

// Every view flag off (no indicator, band, zoom or combined page, log scale): each test
// turns on what it shows.
void PlainView();

// The canvas's operations, which a test may change (to make a call fail) while it is open.
extern SurfaceOps CanvasOps;

// A table of funds over one date table of ten DatePeriods from January 2000: fund i is
// named "F<i>" and has the points of periods first[i] up to (not including) end[i], or
// to the last period where end has no entry for it, all of value 1.0.
void MakeFunds(const std::vector<uint32_t> &first, const std::vector<uint32_t> &end = {});
// Sets FUND_DISPLAYED on the funds given by their indexes.
void Display(std::initializer_list<uint32_t> funds);

// The repository's resources directory with a trailing '/', found from this file's path.
std::string ResourceDir();

#endif
