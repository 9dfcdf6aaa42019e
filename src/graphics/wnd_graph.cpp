// The graph window (class NavGraph): shows the back buffer with a frame and the focus,
// steps the shown fund with the keys, and offers the measuring line with its readout.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "base/errors.h"
#include "data/viewflags.h"
#include "platform/win32/win32.h"

#undef DrawText
#include "graphics/draw.h"
#include "graphics/fundgraph.h"
#include "graphics/gdi_surface.h"
#include "graphics/graphpage.h"
#include "graphics/measure.h"

uint32_t MeasureState;

// The measurement: its two ends in window pixels with their DatePeriods and values.
struct MeasurePoint {
    int32_t x, y;
    int32_t date;
    double value;
};
static MeasurePoint Start, End;

// What is on the back buffer now, so that the same exclusive-or copy takes it off again.
static int ReadoutShown;
static RECT ReadoutBox;          // back-buffer coordinates
static int RubberShown;
static MeasurePoint RubberFrom, RubberTo;

// ---------------------------------------------------------------------------------------
// Frame, focus and paint.

// A 2-pixel border in the class background, drawn over whatever the back buffer left
// there; it also covers the focus rectangle when the focus goes.
static void DrawFrame(HWND hwnd, HDC dc)
{
    RECT r;
    GetClientRect(hwnd, &r);
    int32_t w = r.right, h = r.bottom;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, LightGrayBrush);
    if (!oldPen || !oldBrush)
        ReportWin32("SelectObject main 5");
    // With the null pen a rectangle fills one pixel less each way, hence the +1s.
    if (!Rectangle(dc, -1, -1, w + 1, 2) || !Rectangle(dc, -1, -1, 2, h + 1) ||
        !Rectangle(dc, -1, h - 2, w + 1, h + 1) || !Rectangle(dc, w - 2, -1, w + 1, h + 1))
        ReportWin32("Rectangle");
    if ((oldPen && !SelectObject(dc, oldPen)) || (oldBrush && !SelectObject(dc, oldBrush)))
        ReportWin32("SelectObject main 6");
}

static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) {
        ReportWin32("BeginPaint");
        return;
    }
    RECT r;
    GetClientRect(hwnd, &r);
    if (r.right > 0 && r.bottom > 0) {
        RECT inner = {2, 2, r.right - 2, r.bottom - 2};
        RECT area;
        if (BackBufferDc && IntersectRect(&area, &inner, &ps.rcPaint))
            BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top,
                   BackBufferDc, area.left - 2, area.top - 2, SRCCOPY);
        DrawFrame(hwnd, dc);
        if (GetFocus() == hwnd && !DrawFocusRect(dc, &r))
            ReportWin32("DrawFocusRect 1");
    }
    EndPaint(hwnd, &ps);
}

static void OnFocus(HWND hwnd, int gained)
{
    HDC dc = GetDC(hwnd);
    if (!dc) {
        ReportWin32("GetDC");
        return;
    }
    DrawFrame(hwnd, dc);
    RECT r;
    GetClientRect(hwnd, &r);
    if (gained && !DrawFocusRect(dc, &r))
        ReportWin32("DrawFocusRect 2");
    if (!ReleaseDC(hwnd, dc))
        ReportWin32("ReleaseDC");
}

// ---------------------------------------------------------------------------------------
// The readout box: composed white on black in the black buffer and laid onto the back
// buffer by exclusive-or, so that a second copy restores what was under it.

static void InvalidateBackBufferBox(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    // The back buffer is shown at window pixel (2, 2).
    RECT r = {left + 2, top + 2, right + 2, bottom + 2};
    if (GraphWindow)
        InvalidateRect(GraphWindow, &r, FALSE);
}

static void XorReadoutBox(void)
{
    BitBlt(BackBufferDc, ReadoutBox.left, ReadoutBox.top, ReadoutBox.right - ReadoutBox.left,
           ReadoutBox.bottom - ReadoutBox.top, BlackBufferDc, 0, 0, SRCINVERT);
    InvalidateBackBufferBox(ReadoutBox.left, ReadoutBox.top, ReadoutBox.right,
                            ReadoutBox.bottom);
}

// The readout's lines are also the graph window's text (one per line), so that a
// screen reader or a test can tell what the box shows.
static void SetReadoutText(int shown)
{
    char text[3 * READOUT_LINE_SIZE + 3];
    text[0] = 0;
    if (shown)
        snprintf(text, sizeof text, "%s\n%s\n%s", ReadoutLine[0], ReadoutLine[1],
                 ReadoutLine[2]);
    if (GraphWindow)
        SetWindowTextA(GraphWindow, text);
}

static void RemoveReadout(void)
{
    if (!ReadoutShown)
        return;
    ReadoutShown = 0;
    XorReadoutBox();
    SetReadoutText(0);
}

static void ShowReadout(void)
{
    const FundRecord *f = MeasuredFund;
    if (ReadoutShown || !f || !BackBufferDc || !BlackBufferDc)
        return;
    int32_t width = 0;
    for (uint32_t i = 0; i < 3; i++) {
        SIZE size;
        int n = (int)strlen(ReadoutLine[i]);
        if (n && GetTextExtentPoint32A(BlackBufferDc, ReadoutLine[i], n, &size) &&
            size.cx > width)
            width = size.cx;
    }
    int32_t height = 3 * (int32_t)LineHeight;
    if (!PatBlt(BlackBufferDc, 0, 0, width, height, PATCOPY))
        ReportWin32("PatBlt");
    COLORREF oldColour = SetTextColor(BlackBufferDc, RGB(255, 255, 255));
    int oldMode = SetBkMode(BlackBufferDc, TRANSPARENT);
    for (uint32_t i = 0; i < 3; i++) {
        int n = (int)strlen(ReadoutLine[i]);
        if (n)
            TextOutA(BlackBufferDc, 0, (int)(i * LineHeight), ReadoutLine[i], n);
    }
    SetBkMode(BlackBufferDc, oldMode);
    SetTextColor(BlackBufferDc, oldColour);
    int32_t x = (int32_t)FundReadoutX(f), y = (int32_t)FundReadoutY(f);
    // The panel leaves room for a readout of the usual width; a wider one is moved left
    // so that it stays inside the graph (the back buffer's shown part ends 4 pixels short).
    RECT client;
    if (GraphWindow && GetClientRect(GraphWindow, &client) && x + width > client.right - 4)
        x = client.right - 4 - width > 0 ? client.right - 4 - width : 0;
    ReadoutBox = RECT{x, y, x + width, y + height};
    ReadoutShown = 1;
    XorReadoutBox();
    SetReadoutText(1);
}

// ---------------------------------------------------------------------------------------
// The rubber line between the two ends, in colour 9 by exclusive-or: drawn twice it is
// gone. When the back buffer cannot mix pens by exclusive-or, the line is drawn on the
// all-black spare buffer and its bounding box laid on by exclusive-or instead.

static void RubberStrokes(DrawTarget *t, const MeasurePoint &a, const MeasurePoint &b,
                          uint32_t colour)
{
    DrawDot(t, a.x - 2, a.y - 2, colour);
    DrawDot(t, b.x - 2, b.y - 2, colour);
    DrawLine(t, a.x - 2, a.y - 2, b.x - 2, b.y - 2, colour);
}

static void XorRubber(const MeasurePoint &a, const MeasurePoint &b, int showing)
{
    int32_t minX = (a.x < b.x ? a.x : b.x) - 2, maxX = (a.x > b.x ? a.x : b.x) - 2;
    int32_t minY = (a.y < b.y ? a.y : b.y) - 2, maxY = (a.y > b.y ? a.y : b.y) - 2;
    if (!SpareBufferDc) {
        uint32_t old = SurfaceSetXor(&BackBuffer, 1);
        RubberStrokes(&BackBuffer, a, b, 9);
        SurfaceSetXor(&BackBuffer, old);
    } else {
        DrawTarget spare;
        InitGdiTarget(&spare, SpareBufferDc);
        if (showing)
            RubberStrokes(&spare, a, b, 9);
        BitBlt(BackBufferDc, minX - 2, minY - 2, maxX - minX + 5, maxY - minY + 5,
               SpareBufferDc, minX - 2, minY - 2, SRCINVERT);
        if (!showing)
            RubberStrokes(&spare, a, b, 1);
    }
    InvalidateBackBufferBox(minX - 1, minY - 1, maxX + 2, maxY + 2);
}

static void ShowRubber(void)
{
    if (RubberShown || !BackBufferDc || (Start.x == End.x && Start.y == End.y))
        return;
    RubberFrom = Start;
    RubberTo = End;
    RubberShown = 1;
    XorRubber(RubberFrom, RubberTo, 1);
}

static void RemoveRubber(void)
{
    if (!RubberShown)
        return;
    RubberShown = 0;
    XorRubber(RubberFrom, RubberTo, 0);
}

// ---------------------------------------------------------------------------------------
// The measuring line.

// Line n of the readout from the point at (x, y), which is stored in p.
static void ReadPoint(uint32_t n, MeasurePoint *p, int32_t x, int32_t y)
{
    p->x = x;
    p->y = y;
    p->date = DoDate(ReadoutLine[n], x);
    p->value = ValueAtRow(ReadoutLine[n], y);
}

static void SetResultLine(void)
{
    FormatResultLine(ReadoutLine[2], READOUT_LINE_SIZE,
                     MeasuredReturn(Start.date, Start.value, End.date, End.value));
}

static void ClearLines(uint32_t from)
{
    for (uint32_t i = from; i < 3; i++)
        ReadoutLine[i][0] = 0;
}

// Mouse input counts only over a drawn graph page while no benchmark refresh runs, and
// only where the plot limits leave a width to measure over.
static int MeasuringPossible(void)
{
    return GraphInputReady && TabControl && CurrentTab() >= 3 && PlotRight > PlotLeft;
}

static void OnMouseMove(int32_t x, int32_t y)
{
    if (!MeasuringPossible())
        return;
    if (MeasureState == 1)
        RemoveRubber();
    FundRecord *f = FundUnderPointer(x, y, CurrentTab());
    switch (MeasureState) {
    case 0:
        RemoveReadout();
        if (f) {
            MeasuredFund = f;
            ReadPoint(0, &Start, x, y);
            ClearLines(1);
            ShowReadout();
        }
        return;
    case 1:
        RemoveReadout();
        if (f && f == MeasuredFund) {
            ReadPoint(1, &End, x, y);
            SetResultLine();
        } else {
            if (!f)
                ReadPoint(0, &Start, Start.x, Start.y);
            ClearLines(1);
            End.x = x;
            End.y = y;
        }
        ShowRubber();
        ShowReadout();
        return;
    case 2:
        return;
    }
    ReportInternal("MLine");
    RemoveReadout();
    MeasureState = 0;
}

// What the page looked like when the measurement froze: the fund (by its short name's
// block, which moves with the record when the table is sorted), the range, scale and plot
// rows it was measured on.
struct FrozenPage {
    const char *shortName;
    int32_t from, to;
    uint32_t units, linear;
    uint32_t plotTop, plotBottom, readoutX, readoutY;
};
static FrozenPage Frozen;

static FrozenPage PageOf(const FundRecord *f)
{
    return FrozenPage{f->shortName,       PaintedFrom,     PaintedTo,
                      PaintedPriceUnits,  LinearScale,     FundPlotTop(f),
                      FundPlotBottom(f),  FundReadoutX(f), FundReadoutY(f)};
}

static void RememberFrozenPage(void)
{
    Frozen = PageOf(MeasuredFund);
}

static int SamePage(const FrozenPage &a, const FrozenPage &b)
{
    return a.shortName == b.shortName && a.from == b.from && a.to == b.to &&
           a.units == b.units && a.linear == b.linear && a.plotTop == b.plotTop &&
           a.plotBottom == b.plotBottom && a.readoutX == b.readoutX && a.readoutY == b.readoutY;
}

static void CancelMeasuring(void)
{
    RemoveReadout();
    RemoveRubber();
}

static void OnButtonDown(int32_t x, int32_t y)
{
    if (!MeasuringPossible())
        return;
    CancelMeasuring();
    FundRecord *f = FundUnderPointer(x, y, CurrentTab());
    if (!f) {
        MeasureState = 0;
        return;
    }
    if (MeasureState == 1 && f == MeasuredFund) {
        ReadPoint(1, &End, x, y);
        SetResultLine();
        ShowReadout();
        ShowRubber();
        MeasureState = 2;
        RememberFrozenPage();
        return;
    }
    MeasuredFund = f;
    ReadPoint(0, &Start, x, y);
    ReadPoint(1, &End, x, y);
    SetResultLine();
    ShowReadout();
    ShowRubber();
    MeasureState = 1;
}

void GraphPageRedrawn(int drawn)
{
    // The new picture holds neither the readout nor the rubber line.
    if (ReadoutShown)
        SetReadoutText(0);
    ReadoutShown = 0;
    RubberShown = 0;
    if (MeasureState != 2)
        return;
    // A frozen measurement stays where the page shows its fund as it was measured: the
    // same fund (found again when sorting moved its record), range, scale and plot rows.
    // On any other page, or one redrawn on another range or scale, it ends.
    FundRecord *f = nullptr;
    for (uint32_t i = 0; i < FundCount && !f; i++)
        if (FundTable[i].shortName == Frozen.shortName)
            f = &FundTable[i];
    int32_t tab = TabControl ? CurrentTab() : -1;
    int onPage = drawn && f && (f->flags & FUND_DISPLAYED) && tab >= 3 &&
                 (CombinedGraphs || NthDisplayedFund((uint32_t)(tab - 3)) == f);
    if (!onPage || !SamePage(Frozen, PageOf(f))) {
        MeasureState = 0;
        return;
    }
    MeasuredFund = f;
    ShowRubber();
    ShowReadout();
}

// ---------------------------------------------------------------------------------------
// Fund stepping.

// The fund the keys step from: the tab's fund, or in combined mode the one displayed fund.
static FundRecord *SteppingFund(void)
{
    int32_t tab = CurrentTab();
    if (tab < 3)
        return nullptr;
    if (!CombinedGraphs)
        return NthDisplayedFund((uint32_t)(tab - 3));
    FundRecord *only = nullptr;
    for (uint32_t i = 0; i < FundCount; i++)
        if (FundTable[i].flags & FUND_DISPLAYED) {
            if (only)
                return nullptr;
            only = &FundTable[i];
        }
    return only;
}

// The tab of a displayed fund in single mode: 3 plus the number of displayed funds
// before it.
static int32_t TabOfFund(const FundRecord *target)
{
    int32_t tab = 3;
    for (uint32_t i = 0; i < FundCount && &FundTable[i] != target; i++)
        if (FundTable[i].flags & FUND_DISPLAYED)
            tab++;
    return tab;
}

static void StepFund(uint32_t key)
{
    FundRecord *current = TabControl ? SteppingFund() : nullptr;
    int32_t target = current ? StepTargetIndex((uint32_t)(current - FundTable), FundCount, key)
                             : -1;
    if (target < 0) {
        MessageBeep(MB_OK);
        return;
    }
    FundRecord *next = &FundTable[target];
    int toOwnTab = !CombinedGraphs && (next->flags & FUND_DISPLAYED);
    // Another fund shown in place of this one changes the displayed funds, which a
    // worker may be reading; going to a tab that is there already only reads.
    if (!toOwnTab && RefuseWhileWorkerRuns())
        return;
    OnTabChanging();
    if (toOwnTab) {
        SendMessageA(TabControl, TCM_SETCURSEL, (WPARAM)TabOfFund(next), 0);
    } else {
        uint32_t from = (uint32_t)(current - FundTable);
        StopDisplaying(current);
        next->flags |= FUND_DISPLAYED;
        if (FundList && (SendMessageA(FundList, LB_SETSEL, FALSE, (LPARAM)from) == LB_ERR ||
                         SendMessageA(FundList, LB_SETSEL, TRUE, (LPARAM)target) == LB_ERR))
            ReportWin32("LB_SETSEL");
        if (!CombinedGraphs) {
            RebuildGraphTabs();
            SendMessageA(TabControl, TCM_SETCURSEL, (WPARAM)TabOfFund(next), 0);
        }
    }
    OnTabChanged();
}

static int OnKeyDown(WPARAM key)
{
    switch (key) {
    case VK_PRIOR:
        StepFund(STEP_PAGE_UP);
        return 1;
    case VK_NEXT:
        StepFund(STEP_PAGE_DOWN);
        return 1;
    case VK_END:
        StepFund(STEP_END);
        return 1;
    case VK_HOME:
        StepFund(STEP_HOME);
        return 1;
    case VK_LEFT:
    case VK_UP:
        StepFund(STEP_BACK);
        return 1;
    case VK_RIGHT:
    case VK_DOWN:
        StepFund(STEP_FORWARD);
        return 1;
    }
    return 0;
}

LRESULT CALLBACK GraphWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_SETFOCUS:
        OnFocus(hwnd, 1);
        return 0;
    case WM_KILLFOCUS:
        OnFocus(hwnd, 0);
        return 0;
    case WM_KEYDOWN:
        if (OnKeyDown(wParam))
            return 0;
        break;
    case WM_MOUSEMOVE:
        OnMouseMove((int16_t)LOWORD(lParam), (int16_t)HIWORD(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // A click on a window without the focus only gives it the focus.
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        else
            OnButtonDown((int16_t)LOWORD(lParam), (int16_t)HIWORD(lParam));
        return 0;
    case GRAPH_MESSAGE:
        if (wParam == GRAPH_CANCEL) {
            CancelMeasuring();
            MeasureState = 0;
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
