// Creation and teardown of the main window: memory contexts, back buffers, bitmaps, pens
// and brushes, the status bar, WinSock and the first load; and their orderly release.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <winsock.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "platform/win32/win32.h"
#include "resource.h"
#undef DrawText
#include "graphics/draw.h"
#include "graphics/gdi_surface.h"
#include "graphics/legend.h"

HDC BackBufferDc;
DrawTarget BackBuffer;
HDC BlackBufferDc;
HDC SpareBufferDc;
int32_t FullScreenWidth, FullScreenHeight;
uint32_t ListRowHeight;
int32_t ScrollBarWidth, BorderWidth, BorderHeight;
RECT ClientRect;
uint32_t LegendWidth;
int WinsockReady;
HWND StatusBar;
RECT StatusRect;

// What each memory context held before creation selected its own objects into it,
// restored before the contexts go.
static HBITMAP BackBufferBitmap, BlackBufferBitmap, SpareBufferBitmap;
static HGDIOBJ BackOldBitmap, BackOldPen, BackOldBrush;
static HGDIOBJ BlackOldBitmap, BlackOldBrush;
static HGDIOBJ SpareOldBitmap, SpareOldBrush;
static int BackIsRasterDisplay;

// The memory contexts with their full-screen bitmaps, the palette's colour set and the
// window's text metrics (returned through tm, zero when they could not be read).
static void CreateMemoryContexts(HWND hwnd, TEXTMETRICA *tm)
{
    HDC dc = GetDC(hwnd);
    if (!dc)
        ReportWin32("GetDC (hwnd)");
    // 24 contexts: the back buffer, the black buffer and the 22 bitmap contexts; the
    // first failure ends the series, since later ones would fail for the same reason.
    HDC *contexts[2] = {&BackBufferDc, &BlackBufferDc};
    int failed = 0;
    for (uint32_t i = 0; i < 2 + BITMAP_COUNT && !failed; i++) {
        HDC m = CreateCompatibleDC(dc);
        if (!m) {
            ReportWin32("CreateCompatibleDC");
            failed = 1;
        } else if (i < 2) {
            *contexts[i] = m;
        } else {
            Bitmaps[i - 2].dc = m;
        }
    }
    FullScreenWidth = GetSystemMetrics(SM_CXFULLSCREEN);
    FullScreenHeight = GetSystemMetrics(SM_CYFULLSCREEN);

    BackIsRasterDisplay = BackBufferDc && GetDeviceCaps(BackBufferDc, TECHNOLOGY) == DT_RASDISPLAY;
    if (!BackIsRasterDisplay) {
        SpareBufferDc = CreateCompatibleDC(dc);
        if (!SpareBufferDc) {
            ReportWin32("CreateCompatibleDC");
        } else {
            SpareBufferBitmap = CreateCompatibleBitmap(dc, FullScreenWidth, FullScreenHeight);
            if (!SpareBufferBitmap)
                ReportWin32("CreateCompatibleBitmap");
            else if (!(SpareOldBitmap = SelectObject(SpareBufferDc, SpareBufferBitmap)))
                ReportWin32("SelectObject");
        }
    }
    // The bitmaps are made compatible with the window's context, not the memory one: a
    // fresh memory context is monochrome, and so would its bitmaps be.
    BackBufferBitmap = (HBITMAP)CreateBackBitmap(dc, FullScreenWidth, FullScreenHeight);
    if (!BackBufferBitmap)
        ReportWin32("CreateCompatibleBitmap");
    BlackBufferBitmap = CreateCompatibleBitmap(dc, FullScreenWidth, FullScreenHeight);
    if (!BlackBufferBitmap)
        ReportWin32("CreateCompatibleBitmap");
    if (BackBufferDc && BackBufferBitmap)
        BackOldBitmap = SelectObject(BackBufferDc, BackBufferBitmap);
    if (BlackBufferDc && BlackBufferBitmap)
        BlackOldBitmap = SelectObject(BlackBufferDc, BlackBufferBitmap);

    if (dc && GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) < 16)
        FullColourDisplay = 0;

    ZeroMemory(tm, sizeof *tm);
    if (dc) {
        if (!GetTextMetricsA(dc, tm))
            ReportWin32("GetTextMetrics");
        if (!ReleaseDC(hwnd, dc))
            ReportWin32("ReleaseDC");
    }
}

static void SelectBufferObjects(void)
{
    if (BackBufferDc) {
        BackOldPen = GdiPens[1] ? SelectObject(BackBufferDc, (HPEN)GdiPens[1]) : nullptr;
        BackOldBrush = SelectObject(BackBufferDc, LightGrayBrush);
        if (!BackOldPen || !BackOldBrush)
            ReportWin32("SelectObject main 2");
    }
    if (BlackBufferDc) {
        if (!(BlackOldBrush = SelectObject(BlackBufferDc, GetStockObject(BLACK_BRUSH))))
            ReportWin32("SelectObject main 3");
        else if (!PatBlt(BlackBufferDc, 0, 0, FullScreenWidth, FullScreenHeight, PATCOPY))
            ReportWin32("PatBlt");
    }
    if (SpareBufferDc) {
        if (!(SpareOldBrush = SelectObject(SpareBufferDc, GetStockObject(BLACK_BRUSH))))
            ReportWin32("SelectObject");
        else if (!PatBlt(SpareBufferDc, 0, 0, FullScreenWidth, FullScreenHeight, PATCOPY))
            ReportWin32("PatBlt");
    }
}

// The status bar's rectangle in client coordinates (its height is the layout's bottom).
void ReadStatusRect(HWND hwnd)
{
    RECT r;
    if (!StatusBar)
        return;
    if (!GetWindowRect(StatusBar, &r)) {
        ReportWin32("GetWindowRect (status bar)");
        return;
    }
    POINT upperLeft = {r.left, r.top}, lowerRight = {r.right, r.bottom};
    if (!ScreenToClient(hwnd, &upperLeft))
        ReportWin32("ScreenToClient (upper left)");
    if (!ScreenToClient(hwnd, &lowerRight))
        ReportWin32("ScreenToClient (lower right)");
    StatusRect.left = upperLeft.x;
    StatusRect.top = upperLeft.y;
    StatusRect.right = lowerRight.x;
    StatusRect.bottom = lowerRight.y;
}

static void CreateStatusBar(HWND hwnd)
{
    StatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "",
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, hwnd,
                                (HMENU)(INT_PTR)IDC_STATUS_BAR, Instance, nullptr);
    if (!StatusBar) {
        ReportWin32("CreateWindow (status bar)");
        return;
    }
    int parts[1] = {-1};
    SendMessageA(StatusBar, SB_SETPARTS, 1, (LPARAM)parts);
    ReadStatusRect(hwnd);
}

// WinSock 1.1 only: the update session is written against that version's behaviour, so
// a stack that grants another version leaves the update commands disabled.
static void StartWinsock(void)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return;
    if (data.wVersion != MAKEWORD(1, 1))
        return;
    WinsockReady = 1;
    WinsockModule = GetModuleHandleA("WSOCK32");
    if (!WinsockModule)
        WinsockModule = GetModuleHandleA("WINSOCK");
}

void OnCreateMainWindow(HWND hwnd)
{
    TEXTMETRICA tm;
    CreateMemoryContexts(hwnd, &tm);
    GdiLoadBitmaps(Instance);

    TextHeight = (uint32_t)tm.tmHeight;
    LineHeight = (uint32_t)(tm.tmHeight + tm.tmExternalLeading);
    CharWidth = (uint32_t)tm.tmMaxCharWidth;
    ListRowHeight = TextHeight;
    if (Bitmaps[BMP_PORTFOLIO].height > ListRowHeight)
        ListRowHeight = Bitmaps[BMP_PORTFOLIO].height;
    if (Bitmaps[BMP_CHECK].height > ListRowHeight)
        ListRowHeight = Bitmaps[BMP_CHECK].height;
    ScrollBarWidth = GetSystemMetrics(SM_CXVSCROLL);
    BorderWidth = GetSystemMetrics(SM_CXBORDER);
    BorderHeight = GetSystemMetrics(SM_CYBORDER);
    if (!GetClientRect(hwnd, &ClientRect))
        ReportWin32("GetClientRect");

    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        ReportWin32("GetModuleFileName");
    } else {
        path[n] = 0;
        char *slash = strrchr(path, '\\');
        if (slash)
            slash[1] = 0;
        SetDataDir(path);
    }

    if (!CreateDrawObjects())
        ReportWin32(GdiFailedCall);
    SelectBufferObjects();
    if (BackBufferDc)
        InitGdiTarget(&BackBuffer, BackBufferDc);
    DrawSurface = &BackBuffer;

    CreateStatusBar(hwnd);
    // Every text of the program is in the font a fresh context holds, the one the text
    // metrics above were read in; the names are measured in it too.
    MainFont = (HFONT)GetStockObject(SYSTEM_FONT);
    LegendWidth = MeasureLegendWidth(&BackBuffer);
    StartWinsock();

    // The workers address their progress codes to Hwnd, so it is set before the first
    // one starts: a quick load would otherwise post its "data ready" code to nowhere.
    Hwnd = hwnd;
    StartLoadWorker();
}

static void DeleteGdiObject(HGDIOBJ object)
{
    if (object && !DeleteObject(object))
        ReportWin32("DeleteObject");
}

static void RestoreAndDeleteDrawingObjects(void)
{
    if (BackBufferDc) {
        if ((BackOldPen && !SelectObject(BackBufferDc, BackOldPen)) ||
            (BackOldBrush && !SelectObject(BackBufferDc, BackOldBrush)) ||
            (BackOldBitmap && !SelectObject(BackBufferDc, BackOldBitmap)))
            ReportWin32("SelectObject main 4");
    }
    if (BlackBufferDc) {
        if ((BlackOldBrush && !SelectObject(BlackBufferDc, BlackOldBrush)) ||
            (BlackOldBitmap && !SelectObject(BlackBufferDc, BlackOldBitmap)))
            ReportWin32("SelectObject");
    }
    if (SpareBufferDc) {
        if ((SpareOldBrush && !SelectObject(SpareBufferDc, SpareOldBrush)) ||
            (SpareOldBitmap && !SelectObject(SpareBufferDc, SpareOldBitmap)))
            ReportWin32("SelectObject");
    }
    BackOldPen = BackOldBrush = BackOldBitmap = nullptr;
    BlackOldBrush = BlackOldBitmap = SpareOldBrush = SpareOldBitmap = nullptr;

    if (BackBufferBitmap && !DeleteBackBitmap(BackBufferBitmap))
        ReportWin32("DeleteObject");
    DeleteGdiObject(BlackBufferBitmap);
    BackBufferBitmap = BlackBufferBitmap = nullptr;
    GdiFreeBitmaps();
    DeleteDrawObjects();
    DeleteGdiObject(SpareBufferBitmap);
    SpareBufferBitmap = nullptr;
}

static void DestroyChild(HWND *window, const char *failure)
{
    if (*window && !DestroyWindow(*window))
        ReportWin32(failure);
    *window = nullptr;
}

static void DeleteContext(HDC *dc)
{
    if (*dc && !DeleteDC(*dc))
        ReportWin32("DeleteDC");
    *dc = nullptr;
}

void OnCloseMainWindow(HWND hwnd)
{
    TerminateWorker();
    DrawSurface = nullptr;
    RestoreAndDeleteDrawingObjects();
    DestroyLayoutWindows();
    DestroyChild(&StatusBar, "DestroyWindow (status bar)");

    DeleteContext(&BackBufferDc);
    DeleteContext(&BlackBufferDc);
    for (uint32_t i = 0; i < BITMAP_COUNT; i++) {
        HDC dc = (HDC)Bitmaps[i].dc;
        DeleteContext(&dc);
        Bitmaps[i].dc = nullptr;
    }
    DeleteContext(&SpareBufferDc);
    BackBuffer.dc = nullptr;

    WSACleanup();
    WinsockReady = 0;
    if (!DestroyWindow(hwnd))
        ReportWin32("DestroyWindow (hwnd)");
}
