// vantry-bench-paint: the time to draw three pages of a loaded data directory with the
// program's painters, the median of 20 draws each: the graph page of the fund with the
// most points over its whole span (moving average, distributions and RSI bands; and again with the MACD
// overlay and a double MACD band), a combined page of the four funds with the most
// points, and the Funds page's list with its legend. Natively it draws on the raster
// surface; the Windows build draws on the GDI surface of a memory device context, as the
// program's back buffer, and flushes GDI after each draw.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "analysis/ranking.h"
#include "app/loadworker.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "graphics/chartrow.h"
#include "graphics/graphpage.h"
#include "graphics/legend.h"
#include "graphics/surface.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

#include "graphics/gdi_surface.h"
#else
#include "graphics/raster.h"
#endif

#ifndef VANTRY_RESOURCE_DIR
#define VANTRY_RESOURCE_DIR "resources/"
#endif

namespace {

const int DRAWS = 20;
const int32_t PAGE_WIDTH = 1000, PAGE_HEIGHT = 700;
// The legend's own window at the page's right edge.
const int32_t LEGEND_WIDTH = 160;

unsigned Reports;

void CountReport(const char *caption, const char *text, int)
{
    if (Reports++ < 3)
        fprintf(stderr, "report: %s: %s\n", caption, text);
}

// A picture to draw into: a raster, or a memory context with a bitmap selected.
struct Page {
    DrawTarget target;
    RasterImage image;
    void *dc, *bitmap, *oldBitmap;
};

#ifdef _WIN32
HDC ScreenDc;

int StartSurface(void)
{
    ScreenDc = GetDC(nullptr);
    if (!ScreenDc)
        return 0;
    TEXTMETRICA tm;
    if (!GetTextMetricsA(ScreenDc, &tm))
        return 0;
    TextHeight = (uint32_t)tm.tmHeight;
    LineHeight = (uint32_t)(tm.tmHeight + tm.tmExternalLeading);
    CharWidth = (uint32_t)tm.tmMaxCharWidth;
    if (!CreateDrawObjects())
        return 0;
    for (uint32_t i = 0; i < BITMAP_COUNT; i++)
        Bitmaps[i].dc = CreateCompatibleDC(ScreenDc);
    return GdiLoadBitmaps(GetModuleHandleA(nullptr)) == BITMAP_COUNT;
}

void EndSurface(void)
{
    GdiFreeBitmaps();
    for (uint32_t i = 0; i < BITMAP_COUNT; i++)
        DeleteDC((HDC)Bitmaps[i].dc);
    DeleteDrawObjects();
    ReleaseDC(nullptr, ScreenDc);
}

// The bitmap is made compatible with the screen, as the program's back buffer is.
int MakePage(Page *p, int32_t width, int32_t height)
{
    memset(p, 0, sizeof *p);
    HDC dc = CreateCompatibleDC(ScreenDc);
    HBITMAP bitmap = CreateCompatibleBitmap(ScreenDc, width, height);
    if (!dc || !bitmap)
        return 0;
    p->dc = dc;
    p->bitmap = bitmap;
    p->oldBitmap = SelectObject(dc, bitmap);
    SelectObject(dc, (HPEN)GdiPens[1]);
    return InitGdiTarget(&p->target, dc);
}

void FreePage(Page *p)
{
    SelectObject((HDC)p->dc, (HGDIOBJ)p->oldBitmap);
    DeleteObject((HGDIOBJ)p->bitmap);
    DeleteDC((HDC)p->dc);
}

// GDI batches calls; a draw is finished when the batch is done.
void FinishDraw(void)
{
    GdiFlush();
}

const char *SurfaceName(void)
{
    return "GDI";
}
#else
int StartSurface(void)
{
    return RasterStartup(RASTER_FONT_PATH) && LoadRasterBitmaps(VANTRY_RESOURCE_DIR) == BITMAP_COUNT;
}

void EndSurface(void)
{
    FreeRasterBitmaps();
    RasterShutdown();
}

int MakePage(Page *p, int32_t width, int32_t height)
{
    memset(p, 0, sizeof *p);
    return CreateRasterTarget((uint32_t)width, (uint32_t)height, &p->image, &p->target);
}

void FreePage(Page *p)
{
    FreeRasterTarget(&p->image);
}

void FinishDraw(void)
{
}

const char *SurfaceName(void)
{
    return "raster";
}
#endif

double Seconds(void)
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The funds' indexes, most points first (the earlier in the table among equal counts).
std::vector<uint32_t> FundsByPoints(void)
{
    std::vector<uint32_t> order(FundCount);
    for (uint32_t i = 0; i < FundCount; i++)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [](uint32_t a, uint32_t b) {
        return FundTable[a].pointCount > FundTable[b].pointCount;
    });
    return order;
}

void Display(const std::vector<uint32_t> &funds)
{
    for (uint32_t i = 0; i < FundCount; i++)
        FundTable[i].flags &= ~FUND_DISPLAYED;
    for (uint32_t i : funds)
        FundTable[i].flags |= FUND_DISPLAYED;
}

// The graph page of the displayed funds (tab 3: the first graph tab).
void DrawGraphPage(Page *page)
{
    PrepareGraphPage(&page->target, PAGE_WIDTH, PAGE_HEIGHT, 3);
}

// The fund list as the Funds page shows it before scrolling: the rows that fit, the first
// with the focus, and the legend in a window of its own.
void DrawFundList(Page *page)
{
    int32_t width = PAGE_WIDTH - LEGEND_WIDTH;
    SurfaceFill(&page->target, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, RGB_OF(192, 192, 192));
    uint32_t rowHeight = MeasureFundRow((uint32_t)width);
    for (uint32_t i = 0; i < FundCount && (int64_t)(i + 1) * rowHeight <= PAGE_HEIGHT; i++) {
        int32_t top = (int32_t)(i * rowHeight);
        DrawFundRow(&page->target, (int32_t)i, 0, top, width, top + (int32_t)rowHeight,
                    ROW_DRAW_ENTIRE, i == 0 ? ROW_STATE_FOCUS : 0);
    }
}

void DrawLegend(Page *page)
{
    PaintLegend(&page->target);
}

// The median of DRAWS draws of one page, in milliseconds.
double TimeDraws(void (*draw)(Page *), Page *page)
{
    double ms[DRAWS];
    for (int k = 0; k < DRAWS; k++) {
        double start = Seconds();
        draw(page);
        FinishDraw();
        ms[k] = (Seconds() - start) * 1000;
    }
    std::sort(ms, ms + DRAWS);
    return (ms[DRAWS / 2 - 1] + ms[DRAWS / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fputs("usage: vantry-bench-paint DATADIR   (read only: nothing is written there)\n", stderr);
        return 2;
    }
    if (!SetDataDir(argv[1]) || !PlatIsDirectory(argv[1])) {
        fprintf(stderr, "vantry-bench-paint: %s is not a directory\n", argv[1]);
        return 2;
    }
    PlatSetMessageSink(CountReport);
    if (!StartSurface()) {
        fprintf(stderr, "vantry-bench-paint: the %s surface's font or bitmaps could not be had\n",
                SurfaceName());
        return 2;
    }
    // Every later sort recomputes the comparison chart's zero line, as in the program.
    SortFundsZeroLineHook = ComputeZeroX;
    DataDirWritable = 0;
    LoadThread(nullptr);
    std::vector<uint32_t> funds = FundsByPoints();
    if (funds.size() < 4) {
        fprintf(stderr, "vantry-bench-paint: %s holds fewer than four funds\n", argv[1]);
        return 2;
    }
    Page page, legend;
    if (!MakePage(&page, PAGE_WIDTH, PAGE_HEIGHT) || !MakePage(&legend, LEGEND_WIDTH, PAGE_HEIGHT)) {
        fprintf(stderr, "vantry-bench-paint: no %dx%d picture\n", PAGE_WIDTH, PAGE_HEIGHT);
        return 2;
    }
    const FundRecord *first = &FundTable[funds[0]];
    printf("%s surface, %dx%d pixels, median of %d draws; graph fund %s (%u points, %u "
           "distributions)\n",
           SurfaceName(), PAGE_WIDTH, PAGE_HEIGHT, DRAWS, first->shortName ? first->shortName : "-",
           (unsigned)first->pointCount, (unsigned)first->distCount);

    // The whole span of every fund, not its recent years.
    ZoomOn = 0;
    CombinedGraphs = 0;
    OverlaidGraphs = 0;
    ShowDistributions = 1;
    Display({funds[0]});
    ShowMovingAverage = 1, ShowMacd = ShowRoc = ShowBollinger = 0;
    ShowRsi = 1, MagnifyMacd = 0;
    printf("graph page, moving average, distributions, RSI:    %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    ShowMacd = 1, ShowMovingAverage = 0;
    ShowRsi = 0, MagnifyMacd = 1;
    printf("graph page, MACD, distributions, double MACD band: %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    ShowMovingAverage = 1, ShowMacd = 0;
    ShowRsi = 1, MagnifyMacd = 0;
    CombinedGraphs = 1;
    Display({funds[0], funds[1], funds[2], funds[3]});
    printf("combined page of four funds:                       %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    double list = TimeDraws(DrawFundList, &page), legendTime = TimeDraws(DrawLegend, &legend);
    printf("fund list page (%u funds), its rows:                %7.2f ms, legend %.2f ms, "
           "together %.2f ms\n",
           (unsigned)FundCount, list, legendTime, list + legendTime);
    printf("reports: %u\n", Reports);
    FreePage(&legend);
    FreePage(&page);
    FreeDataSet();
    EndSurface();
    return Reports ? 1 : 0;
}
