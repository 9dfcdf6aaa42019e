// vantry-bench-paint: the time to draw three pages of a loaded data directory with the
// program's painters, the median of 20 draws each: the graph page of the fund with the
// most points over its whole span (moving average, distributions and RSI bands; and again with the MACD
// overlay and a double MACD band), a combined page of the four funds with the most
// points, and the Funds page's list with its legend. Natively it draws on the raster
// surface; the Windows build draws on the GDI surface of a memory device context with the
// program's back buffer's kind of bitmap (on a full-colour screen a DIB section, whose held
// lines are written in place), and flushes GDI after each draw; there it also draws the
// combined page with every line drawn by GDI when the painter draws it (no held lines),
// and checks that the graph pages come out pixel for pixel the same both ways. --calls adds, per page,
// the GDI operations' calls and time by kind.
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

// 1: pages get a bitmap compatible with the screen, as the printed pages do, whose held
// lines go to the device in runs; 0: the program's back buffer's kind.
int CompatiblePages;

// The bitmap is made for the screen as the program's back buffer is (or CompatiblePages).
int MakePage(Page *p, int32_t width, int32_t height)
{
    memset(p, 0, sizeof *p);
    HDC dc = CreateCompatibleDC(ScreenDc);
    HBITMAP bitmap = CompatiblePages ? CreateCompatibleBitmap(ScreenDc, width, height)
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

// With --calls every GDI operation goes through these wrappers, which count the calls of
// each kind and the time they take, so a page's time can be split by operation.
enum CallKind { CALL_LINE, CALL_RECTANGLE, CALL_PIXEL, CALL_TEXT, CALL_OTHER, CALL_KINDS };
const char *const CallNames[CALL_KINDS] = {"lines", "rectangles", "pixels", "texts", "other"};
const SurfaceOps *RealOps;
LARGE_INTEGER Frequency;
uint64_t CallCounts[CALL_KINDS];
int64_t CallTicks[CALL_KINDS];

int64_t Ticks(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

struct CallTimer {
    uint32_t kind;
    int64_t start;
};

CallTimer StartCall(uint32_t kind)
{
    return CallTimer{kind, Ticks()};
}

void EndCall(CallTimer c)
{
    CallCounts[c.kind]++;
    CallTicks[c.kind] += Ticks() - c.start;
}

int CountLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, RgbColour colour)
{
    CallTimer c = StartCall(CALL_LINE);
    int r = RealOps->line(t, x1, y1, x2, y2, colour);
    EndCall(c);
    return r;
}

int CountRectangle(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   RgbColour edgeColour, RgbColour fillColour, uint32_t hollow)
{
    CallTimer c = StartCall(CALL_RECTANGLE);
    int r = RealOps->rectangle(t, left, top, right, bottom, edgeColour, fillColour, hollow);
    EndCall(c);
    return r;
}

int CountPixel(DrawTarget *t, int32_t x, int32_t y, RgbColour colour)
{
    CallTimer c = StartCall(CALL_PIXEL);
    int r = RealOps->setPixel(t, x, y, colour);
    EndCall(c);
    return r;
}

int CountText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length)
{
    CallTimer c = StartCall(CALL_TEXT);
    int r = RealOps->text(t, x, y, text, length);
    EndCall(c);
    return r;
}

uint32_t CountTextWidth(DrawTarget *t, const char *text, uint32_t length)
{
    CallTimer c = StartCall(CALL_TEXT);
    uint32_t r = RealOps->textWidth(t, text, length);
    EndCall(c);
    return r;
}

int CountFill(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
              RgbColour colour)
{
    CallTimer c = StartCall(CALL_OTHER);
    int r = RealOps->fill(t, left, top, right, bottom, colour);
    EndCall(c);
    return r;
}

int CountCopyBitmap(DrawTarget *t, int32_t x, int32_t y, uint32_t slot, uint32_t exclusiveOr)
{
    CallTimer c = StartCall(CALL_OTHER);
    int r = RealOps->copyBitmap(t, x, y, slot, exclusiveOr);
    EndCall(c);
    return r;
}

SurfaceOps CountingOps;

// Installs the wrappers over the GDI table for the operations a page draws with; the
// setters and the clip (a few calls a page) go straight through.
void CountCalls(void)
{
    QueryPerformanceFrequency(&Frequency);
    RealOps = GdiSurfaceOps;
    CountingOps = *RealOps;
    CountingOps.line = CountLine;
    CountingOps.rectangle = CountRectangle;
    CountingOps.setPixel = CountPixel;
    CountingOps.text = CountText;
    CountingOps.textWidth = CountTextWidth;
    CountingOps.fill = CountFill;
    CountingOps.copyBitmap = CountCopyBitmap;
    GdiSurfaceOps = &CountingOps;
}

// The counts and times of the calls since the last report, per draw (of DRAWS).
void ReportCalls(void)
{
    const int draws = DRAWS;
    if (GdiSurfaceOps != &CountingOps)
        return;
    for (uint32_t k = 0; k < CALL_KINDS; k++) {
        printf("    %-10s %7.0f calls, %6.2f ms a draw\n", CallNames[k],
               (double)CallCounts[k] / draws, (double)CallTicks[k] * 1000 / Frequency.QuadPart / draws);
        CallCounts[k] = 0;
        CallTicks[k] = 0;
    }
}

// Holding lines must not change the picture: the page is drawn with the lines held and
// again with every line drawn at once (the holding calls made to do nothing), and the
// two pictures are compared. Returns the number of pixels that differ.
int HoldNothing(DrawTarget *, int32_t, int32_t, int32_t, int32_t)
{
    return 1;
}

int DrawNothingHeld(DrawTarget *)
{
    return 1;
}

// The page's pixels, copied into a 32-bit picture of our own.
std::vector<uint32_t> PagePixels(Page *p)
{
    std::vector<uint32_t> pixels((size_t)PAGE_WIDTH * PAGE_HEIGHT);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = PAGE_WIDTH;
    info.bmiHeader.biHeight = -PAGE_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(ScreenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(ScreenDc);
    if (dib && dc && bits) {
        HGDIOBJ old = SelectObject(dc, dib);
        BitBlt(dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, (HDC)p->dc, 0, 0, SRCCOPY);
        GdiFlush();
        memcpy(pixels.data(), bits, pixels.size() * sizeof pixels[0]);
        SelectObject(dc, old);
    } else {
        pixels.clear();
    }
    if (dc)
        DeleteDC(dc);
    if (dib)
        DeleteObject(dib);
    return pixels;
}

long DifferingPixels(void (*draw)(Page *), Page *page)
{
    draw(page);
    std::vector<uint32_t> held = PagePixels(page);
    const SurfaceOps *real = GdiSurfaceOps;
    SurfaceOps direct = *real;
    direct.holdLines = HoldNothing;
    direct.drawHeldLines = DrawNothingHeld;
    GdiSurfaceOps = &direct;
    draw(page);
    GdiSurfaceOps = real;
    std::vector<uint32_t> plain = PagePixels(page);
    if (held.empty() || held.size() != plain.size())
        return -1;
    long differ = 0;
    for (size_t k = 0; k < held.size(); k++)
        differ += held[k] != plain[k];
    return differ;
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

// The raster's operations are not counted.
void CountCalls(void)
{
}

void ReportCalls(void)
{
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
    int counting = argc == 3 && strcmp(argv[1], "--calls") == 0;
    if (argc != 2 + counting) {
        fputs("usage: vantry-bench-paint [--calls] DATADIR   (read only: nothing is written "
              "there)\n",
              stderr);
        return 2;
    }
    const char *dir = argv[1 + counting];
    if (!SetDataDir(dir) || !PlatIsDirectory(dir)) {
        fprintf(stderr, "vantry-bench-paint: %s is not a directory\n", dir);
        return 2;
    }
    PlatSetMessageSink(CountReport);
    if (!StartSurface()) {
        fprintf(stderr, "vantry-bench-paint: the %s surface's font or bitmaps could not be had\n",
                SurfaceName());
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
    ReportCalls();
    ShowMacd = 1, ShowMovingAverage = 0;
    ShowRsi = 0, MagnifyMacd = 1;
    printf("graph page, MACD, distributions, double MACD band: %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    ReportCalls();
    ShowMovingAverage = 1, ShowMacd = 0;
    ShowRsi = 1, MagnifyMacd = 0;
    CombinedGraphs = 1;
    Display({funds[0], funds[1], funds[2], funds[3]});
    printf("combined page of four funds:                       %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    ReportCalls();
#ifdef _WIN32
    // The same with every line drawn when the painter draws it, and with held lines on a
    // bitmap compatible with the screen (drawn in runs), for the gains in one run.
    const SurfaceOps *real = GdiSurfaceOps;
    SurfaceOps direct = *real;
    direct.holdLines = HoldNothing;
    GdiSurfaceOps = &direct;
    printf("  the same, every line drawn at once:              %7.2f ms\n",
           TimeDraws(DrawGraphPage, &page));
    GdiSurfaceOps = real;
    ReportCalls();
    Page compatible;
    CompatiblePages = 1;
    int madeCompatible = MakePage(&compatible, PAGE_WIDTH, PAGE_HEIGHT);
    CompatiblePages = 0;
    if (!madeCompatible) {
        fprintf(stderr, "vantry-bench-paint: no %dx%d compatible bitmap\n", PAGE_WIDTH, PAGE_HEIGHT);
        return 2;
    }
    printf("  the same on a compatible bitmap, lines in runs:  %7.2f ms\n",
           TimeDraws(DrawGraphPage, &compatible));
    ReportCalls();
#endif
    double list = TimeDraws(DrawFundList, &page), legendTime = TimeDraws(DrawLegend, &legend);
    printf("fund list page (%u funds), its rows:                %7.2f ms, legend %.2f ms, "
           "together %.2f ms\n",
           (unsigned)FundCount, list, legendTime, list + legendTime);
    ReportCalls();
    long differ = 0;
#ifdef _WIN32
    // The pictures with lines held and without, on the graph pages, on the back buffer's
    // kind of bitmap (lines written in place) and on a compatible one (lines in runs).
    for (Page *p : {&page, &compatible}) {
        CombinedGraphs = 1;
        Display({funds[0], funds[1], funds[2], funds[3]});
        ShowMovingAverage = 1, ShowMacd = 0;
        ShowRsi = 1, MagnifyMacd = 0;
        long combined = DifferingPixels(DrawGraphPage, p);
        CombinedGraphs = 0;
        Display({funds[0]});
        ShowMacd = 1, ShowMovingAverage = 0;
        ShowRsi = 0, MagnifyMacd = 1;
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
