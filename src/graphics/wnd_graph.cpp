// The graph window (class NavGraph): shows the back buffer with a frame and the focus.
#include "app/mainwnd.h"

#include "app/errors.h"

uint32_t MeasureState;

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
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // The measuring line is not part of the window yet; a click gives it the focus.
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        return 0;
    case GRAPH_MESSAGE:
        if (wParam == GRAPH_CANCEL)
            MeasureState = 0;
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
