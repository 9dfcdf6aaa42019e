// vantry-bench-paint: the time to draw three pages of a loaded data directory with the
// program's painters, the median of 20 draws each: the graph page of the fund with the
// most points over its whole span (moving average, distributions and RSI bands; and again
// with the MACD overlay and a double MACD band), a combined page of the four funds with the
// most points, and the Funds page's list with its legend. Natively it draws on the raster
// surface; the Windows build draws on the GDI surface of a memory device context with the
// program's back buffer's kind of bitmap (on a full-colour screen a DIB section, whose held
// lines are written in place), and flushes GDI after each draw; there it also draws the
// combined page with every line drawn by GDI when the painter draws it (no held lines),
// and checks that the graph pages come out pixel for pixel the same both ways. --calls
// adds, per page, the GDI operations' calls and time by kind.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <numeric>
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

#include "bench_support.h"

#ifndef VANTRY_RESOURCE_DIR
#define VANTRY_RESOURCE_DIR "resources/"
#endif

namespace {

const int DRAWS = 20;
const int32_t PAGE_WIDTH = 1000, PAGE_HEIGHT = 700;
// The legend's own window at the page's right edge.
const int32_t LEGEND_WIDTH = 160;

// A picture to draw into: a raster, or a memory context with a bitmap selected.
struct Page {
    DrawTarget target;
    RasterImage image;
    void *dc, *bitmap, *oldBitmap;
};

#ifdef _WIN32
const char *const SurfaceName = "GDI";
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

// The bitmap is made for the screen as the program's back buffer is, or (compatible) as
// the printed pages' are: compatible with the screen, its held lines going to the device
// in runs.
int MakePage(Page *p, int32_t width, int32_t height, int compatible)
{
    memset(p, 0, sizeof *p);
    HDC dc = CreateCompatibleDC(ScreenDc);
    HBITMAP bitmap = compatible ? CreateCompatibleBitmap(ScreenDc, width, height)
                                : (HBITMAP)CreateBackBitmap(ScreenDc, width, height);
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
    DeleteBackBitmap(p->bitmap);
    DeleteDC((HDC)p->dc);
}

// With --calls every GDI operation goes through wrappers that count the calls of each kind
// and the time they take, so a page's time can be split by operation.
enum CallKind { CALL_LINE, CALL_RECTANGLE, CALL_PIXEL, CALL_TEXT, CALL_OTHER, CALL_KINDS };
const char *const CallNames[CALL_KINDS] = {"lines", "rectangles", "pixels", "texts", "other"};
const SurfaceOps *RealOps;
SurfaceOps CountingOps;
uint64_t CallCounts[CALL_KINDS];
int64_t CallTicks[CALL_KINDS];

int64_t Ticks(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The GDI operation Op (a field of SurfaceOps) with its calls counted and timed as kind Kind.
template <uint32_t Kind, auto Op, typename... Args>
auto Counted(Args... args)
{
    int64_t start = Ticks();
    auto r = (RealOps->*Op)(args...);
    CallCounts[Kind]++;
    CallTicks[Kind] += Ticks() - start;
    return r;
}

// Installs the wrappers over the GDI table for the operations a page draws with; the
// setters and the clip (a few calls a page) go straight through.
void CountCalls(void)
{
    RealOps = GdiSurfaceOps;
    CountingOps = *RealOps;
    CountingOps.line = Counted<CALL_LINE, &SurfaceOps::line>;
    CountingOps.rectangle = Counted<CALL_RECTANGLE, &SurfaceOps::rectangle>;
    CountingOps.setPixel = Counted<CALL_PIXEL, &SurfaceOps::setPixel>;
    CountingOps.text = Counted<CALL_TEXT, &SurfaceOps::text>;
    CountingOps.textWidth = Counted<CALL_TEXT, &SurfaceOps::textWidth>;
    CountingOps.fill = Counted<CALL_OTHER, &SurfaceOps::fill>;
    CountingOps.copyBitmap = Counted<CALL_OTHER, &SurfaceOps::copyBitmap>;
    GdiSurfaceOps = &CountingOps;
}

// The counts and times of the calls since the last report, per draw (of DRAWS); nothing
// without --calls.
void ReportCalls(void)
{
    if (!RealOps)
        return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (uint32_t k = 0; k < CALL_KINDS; k++) {
        printf("    %-10s %7.0f calls, %6.2f ms a draw\n", CallNames[k],
               (double)CallCounts[k] / DRAWS,
               (double)CallTicks[k] * 1000 / frequency.QuadPart / DRAWS);
        CallCounts[k] = 0;
        CallTicks[k] = 0;
    }
}

// 1: every line is drawn by GDI when the painter draws it (holding lines does nothing);
// 0: back to the operations before.
void LinesAtOnce(int on)
{
    static const SurfaceOps *before;
    static SurfaceOps atOnce;
    if (!on) {
        GdiSurfaceOps = before;
        return;
    }
    before = GdiSurfaceOps;
    atOnce = *before;
    atOnce.holdLines = [](DrawTarget *, int32_t, int32_t, int32_t, int32_t) { return 1; };
    atOnce.drawHeldLines = [](DrawTarget *) { return 1; };
    GdiSurfaceOps = &atOnce;
}

// The page's pixels as a 32-bit picture of our own (empty when GDI would not give them).
std::vector<uint32_t> PagePixels(Page *p)
{
    std::vector<uint32_t> pixels((size_t)PAGE_WIDTH * PAGE_HEIGHT);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, PAGE_WIDTH, -PAGE_HEIGHT, 1, 32, BI_RGB,
                      0, 0, 0, 0, 0};
    GdiFlush();
    // GetDIBits wants the bitmap out of its context while it reads it.
    SelectObject((HDC)p->dc, (HGDIOBJ)p->oldBitmap);
    if (GetDIBits((HDC)p->dc, (HBITMAP)p->bitmap, 0, PAGE_HEIGHT, pixels.data(), &info,
                  DIB_RGB_COLORS) != PAGE_HEIGHT)
        pixels.clear();
    SelectObject((HDC)p->dc, (HGDIOBJ)p->bitmap);
    return pixels;
}

// Holding lines must not change the picture: the page is drawn with the lines held and
// again with every line drawn at once, and the two pictures are compared. Returns the
// number of pixels that differ (-1: not compared).
long DifferingPixels(void (*draw)(Page *), Page *page)
{
    draw(page);
    std::vector<uint32_t> held = PagePixels(page);
    LinesAtOnce(1);
    draw(page);
    LinesAtOnce(0);
    std::vector<uint32_t> plain = PagePixels(page);
    if (held.empty() || held.size() != plain.size())
        return -1;
    long differ = 0;
    for (size_t k = 0; k < held.size(); k++)
        differ += held[k] != plain[k];
    return differ;
}
#else
const char *const SurfaceName = "raster";

int StartSurface(void)
{
    return RasterStartup(RASTER_FONT_PATH) &&
           LoadRasterBitmaps(VANTRY_RESOURCE_DIR) == BITMAP_COUNT;
}

void EndSurface(void)
{
    FreeRasterBitmaps();
    RasterShutdown();
}

int MakePage(Page *p, int32_t width, int32_t height, int)
{
    memset(p, 0, sizeof *p);
    return CreateRasterTarget((uint32_t)width, (uint32_t)height, &p->image, &p->target);
}

void FreePage(Page *p)
{
    FreeRasterTarget(&p->image);
}

// The raster's operations are not counted.
void CountCalls(void)
{
}

void ReportCalls(void)
{
}
#endif

// The funds' indexes, most points first (the earlier in the table among equal counts).
std::vector<uint32_t> FundsByPoints(void)
{
    std::vector<uint32_t> order(FundCount);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [](uint32_t a, uint32_t b) {
        return FundTable[a].pointCount > FundTable[b].pointCount;
    });
    return order;
}

// The graph page's settings: the fund with the most points, its moving average and the RSI
// band, or (macd) the MACD overlay and the double MACD band; combined, the four funds with
// the most points on one page.
void ShowGraph(const std::vector<uint32_t> &funds, int combined, int macd)
{
    for (uint32_t i = 0; i < FundCount; i++)
        FundTable[i].flags &= ~FUND_DISPLAYED;
    for (size_t k = 0; k < (combined ? 4u : 1u); k++)
        FundTable[funds[k]].flags |= FUND_DISPLAYED;
    CombinedGraphs = combined;
    ShowMovingAverage = ShowRsi = !macd;
    ShowMacd = MagnifyMacd = macd;
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

// The median of DRAWS draws of one page, in milliseconds.
double TimeDraws(void (*draw)(Page *), Page *page)
{
    double ms[DRAWS];
    for (int k = 0; k < DRAWS; k++) {
        double start = Now();
        draw(page);
#ifdef _WIN32
        // GDI batches calls; a draw is finished when the batch is done.
        GdiFlush();
#endif
        ms[k] = (Now() - start) * 1000;
    }
    std::sort(ms, ms + DRAWS);
    return (ms[DRAWS / 2 - 1] + ms[DRAWS / 2]) / 2;
}

// Prints the label and the median time of the graph page on page, then the page's calls.
void TimeGraphPage(const char *label, Page *page)
{
    printf("%s%7.2f ms\n", label, TimeDraws(DrawGraphPage, page));
    ReportCalls();
}

}  // namespace

int main(int argc, char **argv)
{
    int counting;
    const char *dir = BenchDataDir(argc, argv, "--calls",
                                   "vantry-bench-paint [--calls] DATADIR   (read only: nothing "
                                   "is written there)", &counting);
    if (!dir)
        return 2;
    if (!StartSurface()) {
        fprintf(stderr, "vantry-bench-paint: the %s surface's font or bitmaps could not be had\n",
                SurfaceName);
        return 2;
    }
    if (counting)
        CountCalls();
    // Every later sort recomputes the comparison chart's zero line, as in the program.
    SortFundsZeroLineHook = ComputeZeroX;
    DataDirWritable = 0;
    LoadThread(nullptr);
    std::vector<uint32_t> funds = FundsByPoints();
    if (funds.size() < 4) {
        fprintf(stderr, "vantry-bench-paint: %s holds fewer than four funds\n", dir);
        return 2;
    }
    Page page, legend;
    if (!MakePage(&page, PAGE_WIDTH, PAGE_HEIGHT, 0) ||
        !MakePage(&legend, LEGEND_WIDTH, PAGE_HEIGHT, 0)) {
        fprintf(stderr, "vantry-bench-paint: no %dx%d picture\n", PAGE_WIDTH, PAGE_HEIGHT);
        return 2;
    }
    const FundRecord *first = &FundTable[funds[0]];
    printf("%s surface, %dx%d pixels, median of %d draws; graph fund %s (%u points, %u "
           "distributions)\n",
           SurfaceName, PAGE_WIDTH, PAGE_HEIGHT, DRAWS, first->shortName ? first->shortName : "-",
           (unsigned)first->pointCount, (unsigned)first->distCount);

    // The whole span of every fund, not its recent years.
    ZoomOn = 0;
    OverlaidGraphs = 0;
    ShowDistributions = 1;
    ShowRoc = ShowBollinger = 0;
    ShowGraph(funds, 0, 0);
    TimeGraphPage("graph page, moving average, distributions, RSI:    ", &page);
    ShowGraph(funds, 0, 1);
    TimeGraphPage("graph page, MACD, distributions, double MACD band: ", &page);
    ShowGraph(funds, 1, 0);
    TimeGraphPage("combined page of four funds:                       ", &page);
#ifdef _WIN32
    // The same with every line drawn when the painter draws it, and with held lines on a
    // bitmap compatible with the screen (drawn in runs), for the gains in one run.
    LinesAtOnce(1);
    TimeGraphPage("  the same, every line drawn at once:              ", &page);
    LinesAtOnce(0);
    Page compatible;
    if (!MakePage(&compatible, PAGE_WIDTH, PAGE_HEIGHT, 1)) {
        fprintf(stderr, "vantry-bench-paint: no %dx%d compatible bitmap\n", PAGE_WIDTH,
                PAGE_HEIGHT);
        return 2;
    }
    TimeGraphPage("  the same on a compatible bitmap, lines in runs:  ", &compatible);
#endif
    double list = TimeDraws(DrawFundList, &page);
    double legendTime = TimeDraws([](Page *p) { PaintLegend(&p->target); }, &legend);
    printf("fund list page (%u funds), its rows:                %7.2f ms, legend %.2f ms, "
           "together %.2f ms\n",
           (unsigned)FundCount, list, legendTime, list + legendTime);
    ReportCalls();
    long differ = 0;
#ifdef _WIN32
    // The pictures with lines held and without, on the graph pages, on the back buffer's
    // kind of bitmap (lines written in place) and on a compatible one (lines in runs).
    for (Page *p : {&page, &compatible}) {
        ShowGraph(funds, 1, 0);
        long combined = DifferingPixels(DrawGraphPage, p);
        ShowGraph(funds, 0, 1);
        long macd = DifferingPixels(DrawGraphPage, p);
        printf("held lines %s against lines drawn at once: %ld and %ld pixels differ "
               "(combined page, MACD page)\n",
               p == &page ? "written in place" : "in runs", combined, macd);
        differ |= combined | macd;
    }
    FreePage(&compatible);
    if (differ)
        printf("odd: held lines changed the picture (-1: not compared)\n");
#endif
    printf("reports: %u\n", Reports);
    FreePage(&legend);
    FreePage(&page);
    FreeDataSet();
    EndSurface();
    return Reports || differ ? 1 : 0;
}
