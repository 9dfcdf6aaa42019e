// The legend window (class NavLegend): the fund categories in their chart colours.
#include "app/mainwnd.h"

#include "base/errors.h"
#include "graphics/gdi_surface.h"
#include "graphics/legend.h"
#include "graphics/zoom.h"

static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) {
        ReportWin32("BeginPaint");
        return;
    }
    DrawTarget t;
    InitGdiTarget(&t, dc);
    PaintLegend(&t);
    EndPaint(hwnd, &ps);
}

// A click on a category's line scrolls the fund list to that category's first fund
// and puts the caret on it; the selection stays as it is.
static void OnButtonDown(int32_t y)
{
    if (y < 0 || !LineHeight || !FundList)
        return;
    int32_t target = LegendTargetIndex((uint32_t)y / LineHeight);
    if (target < 0)
        return;
    SendMessageA(FundList, LB_SETTOPINDEX, (WPARAM)target, 0);
    SendMessageA(FundList, LB_SETCARETINDEX, (WPARAM)target, FALSE);
}

LRESULT CALLBACK LegendWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown((int16_t)HIWORD(lParam));
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
