// vantry-report --png: the graph page or the Funds page drawn by the program's painters.
#include "png.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "analysis/ranking.h"
#include "data/fund.h"
#include "data/viewflags.h"
#include "graphics/chartrow.h"
#include "graphics/draw.h"
#include "graphics/graphpage.h"
#include "graphics/legend.h"
#include "graphics/raster.h"

#ifndef VANTRY_RESOURCE_DIR
#define VANTRY_RESOURCE_DIR "resources/"
#endif

namespace {

// The stock light-gray brush of the window classes and the list boxes.
const RgbColour LightGray = RGB_OF(192, 192, 192);
// Win32's classic metrics: a thin window border and the vertical scroll bar's width.
const int32_t BorderWidth = 1;
const int32_t ScrollBarWidth = 17;

struct Window {
    RasterImage image;
    DrawTarget target;
};

// A child window's own picture, as each window has its own device context: w x h pixels
// of the light-gray class background. 0 when it has no room or no memory.
int CreateWindowPicture(Window *w, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 ||
        !CreateRasterTarget((uint32_t)width, (uint32_t)height, &w->image, &w->target))
        return 0;
    SurfaceFill(&w->target, 0, 0, width, height, LightGray);
    return 1;
}

// Puts a child window's picture onto the page at (x, y), clipped to the page.
void PlaceWindow(RasterImage *page, const RasterImage *child, int32_t x, int32_t y)
{
    for (uint32_t cy = 0; cy < child->height; cy++) {
        int64_t py = (int64_t)y + cy;
        if (py < 0 || py >= page->height)
            continue;
        for (uint32_t cx = 0; cx < child->width; cx++) {
            int64_t px = (int64_t)x + cx;
            if (px >= 0 && px < page->width)
                page->pixels[py * page->width + px] = child->pixels[cy * child->width + cx];
        }
    }
}

// A plain vertical scroll bar at the list's right edge, its thumb at the top for the
// rows that fit: the picture a list shows before it is scrolled.
void DrawScrollBar(DrawTarget *t, int32_t left, int32_t top, int32_t height, uint32_t shown,
                   uint32_t count)
{
    const RgbColour black = PaletteColour(1);
    SurfaceFill(t, left, top, left + ScrollBarWidth, top + height, RGB_OF(224, 224, 224));
    int32_t button = ScrollBarWidth;
    if (height < 3 * button)
        return;
    SurfaceRectangle(t, left, top, left + button, top + button, black, LightGray, 0);
    SurfaceRectangle(t, left, top + height - button, left + button, top + height, black,
                     LightGray, 0);
    int32_t track = height - 2 * button;
    int32_t thumb = count ? (int32_t)((int64_t)track * shown / count) : track;
    if (thumb < 8)
        thumb = 8;
    SurfaceRectangle(t, left, top + button, left + button, top + button + thumb, black,
                     LightGray, 0);
}

// The Funds page over the whole picture as the page area: the bordered fund list at
// (4, 4) and the legend right of it, sized and laid out as the main window does.
int DrawFundsPage(DrawTarget *page, int32_t width, int32_t height)
{
    SurfaceFill(page, 0, 0, width, height, LightGray);
    int32_t legendWidth = (int32_t)MeasureLegendWidth(page);
    // The layout hides both windows when the page cannot hold the list's fixed parts.
    int32_t least = legendWidth + 2 * BorderWidth + ScrollBarWidth +
                    (int32_t)(Bitmaps[BMP_CHECK].width + Bitmaps[BMP_PORTFOLIO].width) + 32;
    if (height < 9 || width <= least)
        return 1;
    int32_t listWidth = width - legendWidth - 12, listHeight = height - 8;

    Window legend;
    if (CreateWindowPicture(&legend, legendWidth, listHeight)) {
        PaintLegend(&legend.target);
        PlaceWindow(page->image, &legend.image, width - legendWidth - 4, 4);
        FreeRasterTarget(&legend.image);
    }

    SurfaceRectangle(page, 4, 4, 4 + listWidth, 4 + listHeight, PaletteColour(1), LightGray, 0);
    int32_t clientWidth = listWidth - 2 * BorderWidth;
    int32_t clientHeight = listHeight - 2 * BorderWidth;
    uint32_t rowHeight = MeasureFundRow((uint32_t)(clientWidth - ScrollBarWidth));
    uint32_t fitting = rowHeight ? (uint32_t)clientHeight / rowHeight : 0;
    // The scroll bar shows only when the rows do not all fit.
    int scrolls = FundCount > fitting;
    int32_t rowWidth = scrolls ? clientWidth - ScrollBarWidth : clientWidth;
    Window list;
    if (!CreateWindowPicture(&list, rowWidth, clientHeight))
        return 1;
    // The list has the focus with the caret on its first row; no fund is selected.
    for (uint32_t i = 0; i < FundCount && (int64_t)i * rowHeight < clientHeight; i++) {
        int32_t top = (int32_t)(i * rowHeight);
        DrawFundRow(&list.target, (int32_t)i, 0, top, rowWidth, top + (int32_t)rowHeight,
                    ROW_DRAW_ENTIRE, i == 0 ? ROW_STATE_FOCUS : 0);
    }
    if (FundCount == 0)
        DrawFundRow(&list.target, -1, 0, 0, rowWidth, (int32_t)rowHeight, ROW_DRAW_ENTIRE,
                    ROW_STATE_FOCUS);
    PlaceWindow(page->image, &list.image, 4 + BorderWidth, 4 + BorderWidth);
    FreeRasterTarget(&list.image);
    if (scrolls)
        DrawScrollBar(page, 4 + BorderWidth + rowWidth, 4 + BorderWidth, clientHeight, fitting,
                      FundCount);
    return 1;
}

}  // namespace

int StartPngDrawing(const PngOptions &o)
{
    const char *font = o.font ? o.font : RASTER_FONT_PATH;
    if (!RasterStartup(font)) {
        fprintf(stderr, "vantry-report: cannot use the font %s\n", font);
        return 0;
    }
    std::string directory = o.resources ? o.resources : VANTRY_RESOURCE_DIR;
    if (!directory.empty() && directory.back() != '/' && directory.back() != '\\')
        directory += '/';
    uint32_t loaded = LoadRasterBitmaps(directory.c_str());
    if (loaded != BITMAP_COUNT) {
        fprintf(stderr, "vantry-report: %u of the %u bitmaps loaded from %s\n", (unsigned)loaded,
                (unsigned)BITMAP_COUNT, directory.c_str());
        return 0;
    }
    // Every later sort recomputes the comparison chart's zero line, as in the program.
    SortFundsZeroLineHook = ComputeZeroX;
    return 1;
}

int RenderPng(const PngOptions &o)
{
    for (uint32_t i = 0; i < FundCount; i++)
        FundTable[i].flags &= ~FUND_DISPLAYED;
    for (const char *name : o.graphs) {
        FundRecord *f = FindFund(name);
        if (!f) {
            fprintf(stderr, "vantry-report: no fund %s in the data directory\n", name);
            return 1;
        }
        f->flags |= FUND_DISPLAYED;
    }
    RasterImage image;
    DrawTarget target;
    if (!CreateRasterTarget(o.width, o.height, &image, &target)) {
        fprintf(stderr, "vantry-report: no memory for a %ux%u picture\n", (unsigned)o.width,
                (unsigned)o.height);
        return 1;
    }
    int drawn;
    if (o.fundList)
        drawn = DrawFundsPage(&target, (int32_t)o.width, (int32_t)o.height);
    else
        drawn = PrepareGraphPage(&target, (int32_t)o.width, (int32_t)o.height, 3);
    int status = 0;
    if (!drawn) {
        fprintf(stderr, "vantry-report: the graph page could not be drawn at %ux%u\n",
                (unsigned)o.width, (unsigned)o.height);
        status = 1;
    } else if (!WriteRasterPng(&image, o.path)) {
        status = 1;
    }
    FreeRasterTarget(&image);
    return status;
}

void EndPngDrawing(void)
{
    SortFundsZeroLineHook = nullptr;
    FreeRasterBitmaps();
    RasterShutdown();
}
