// The painter tests' canvas (the raster's operations with the texts recorded) and the
// slots, funds and files they share.
#include "graph_canvas.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include "data/alloc.h"
#include "data/fund.h"
#include "data/viewflags.h"
#include "graphics/draw.h"
#include "graphics/raster.h"
#include "fund_builder.h"
#include "test_support.h"

std::vector<DrawnText> DrawnTexts;

static int RecordText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
    DrawnTexts.push_back({x, y, std::string(text, length), t->textColour, t->textAlign});
    return RasterSurfaceOps.text(t, x, y, text, length);
}

SurfaceOps CanvasOps;

void OpenCanvas(GraphCanvas *c, uint32_t width, uint32_t height)
{
    CreateRasterTarget(width, height, &c->image, &c->target);
    CanvasOps = RasterSurfaceOps;
    CanvasOps.text = RecordText;
    // The GDI slot is empty in a native build; the canvas borrows it to see the texts.
    GdiSurfaceOps = &CanvasOps;
    c->target.kind = SURFACE_GDI;
    DrawSurface = &c->target;
    // The page painter draws every graph with a transparent text background.
    SurfaceSetTransparent(&c->target, 1);
    DrawnTexts.clear();
    TextHeight = 10;
    LineHeight = 12;
    CharWidth = 5;
}

void CloseCanvas(GraphCanvas *c)
{
    FreeRasterTarget(&c->image);
    GdiSurfaceOps = nullptr;
    DrawSurface = nullptr;
    DrawnTexts.clear();
    TextHeight = LineHeight = CharWidth = 0;
}

RgbColour PixelAt(GraphCanvas *c, int32_t x, int32_t y)
{
    return SurfaceGetPixel(&c->target, x, y);
}

std::vector<DrawnText> TextsNamed(const std::string &text)
{
    std::vector<DrawnText> found;
    for (const DrawnText &d : DrawnTexts)
        if (d.text == text)
            found.push_back(d);
    return found;
}

DrawnText FirstNamed(const std::string &text)
{
    std::vector<DrawnText> found = TextsNamed(text);
    if (found.empty()) {
        ADD_FAILURE() << "not drawn: " << text;
        return {-1, -1, text, 0, 0};
    }
    return found[0];
}

void ExpectCanvasPixels(GraphCanvas *c, std::initializer_list<PixelProbe> probes)
{
    for (const PixelProbe &p : probes)
        EXPECT_EQ(PixelAt(c, p.x, p.y) == p.colour, p.is) << p.x << "," << p.y;
}

uint32_t CountColour(const RgbColour *pixels, uint32_t n, RgbColour colour)
{
    uint32_t count = 0;
    for (uint32_t i = 0; i < n; i++)
        count += pixels[i] == colour;
    return count;
}

bool WasDrawn(const std::string &text)
{
    return !TextsNamed(text).empty();
}

int32_t CanvasWidth(const std::string &text)
{
    return (int32_t)RasterTextWidth(text.data(), (uint32_t)text.size());
}

std::vector<std::string> ReportedLabels()
{
    std::vector<std::string> labels;
    for (const std::string &text : MessageTexts())
        labels.push_back(text.substr(0, text.find(", GetLastError=")));
    return labels;
}

std::string FirstDifference(const RasterImage *actual, const RasterImage *expected)
{
    if (actual->width != expected->width || actual->height != expected->height)
        return "sizes differ";
    for (uint32_t k = 0; k < actual->width * actual->height; k++)
        if (actual->pixels[k] != expected->pixels[k]) {
            char text[96];
            snprintf(text, sizeof text, "first difference at (%u, %u): %06X, expected %06X",
                     k % actual->width, k / actual->width, actual->pixels[k], expected->pixels[k]);
            return text;
        }
    return "";
}

GrayCanvas::GrayCanvas(uint32_t width, uint32_t height)
{
    CreateRasterTarget(width, height, &image, &target);
    SurfaceFill(&target, 0, 0, (int32_t)width, (int32_t)height, RGB_OF(192, 192, 192));
}

GrayCanvas::~GrayCanvas()
{
    FreeRasterTarget(&image);
}

RgbColour SlotColour(uint32_t slot)
{
    return RGB_OF(0x10 + slot * 9, 0x28 + slot, 0x70 - slot * 2);
}

void FillSlot(uint32_t slot, uint32_t width)
{
    BitmapRecord *b = &Bitmaps[slot];
    b->width = width;
    b->height = 14;
    b->pixels = (RgbColour *)AllocZero(width * 14, sizeof(RgbColour));
    for (uint32_t i = 0; i < width * 14; i++)
        b->pixels[i] = SlotColour(slot);
}

static BitmapRecord SavedSlots[BITMAP_COUNT];

void FillSlots(uint32_t markerWidth)
{
    memcpy(SavedSlots, Bitmaps, sizeof SavedSlots);
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++)
        FillSlot(slot, slot >= BMP_ARROW_LEFT ? 14 : markerWidth);
}

void RestoreSlots()
{
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++)
        FreeBlock(Bitmaps[slot].pixels);
    memcpy(Bitmaps, SavedSlots, sizeof SavedSlots);
}

void PlainView()
{
    ShowMovingAverage = ShowMacd = MagnifyMacd = ShowRoc = ShowRsi = 0;
    ShowBollinger = ShowDistributions = ShowBenchmark = 0;
    ZoomOn = LinearScale = CombinedGraphs = OverlaidGraphs = 0;
}

void MakeFunds(const std::vector<uint32_t> &first, const std::vector<uint32_t> &end)
{
    std::vector<PointSpec> all = PeriodPoints(std::vector<double>(10, 1.0));
    SingleFund(all);   // the date table of the ten periods; the funds are made anew below
    NewFundTable((uint32_t)first.size());
    for (uint32_t i = 0; i < first.size(); i++) {
        std::string name = "F" + std::to_string(i);
        uint32_t last = i < end.size() ? end[i] : 10;
        SetFundPoints(i, name.c_str(),
                      std::vector<PointSpec>(all.begin() + first[i], all.begin() + last));
    }
}

void Display(std::initializer_list<uint32_t> funds)
{
    for (uint32_t i : funds)
        FundTable[i].flags |= FUND_DISPLAYED;
}

std::string ResourceDir()
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/unit/")) + "/resources/";
}
