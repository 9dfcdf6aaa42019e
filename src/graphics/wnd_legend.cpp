// The legend window (class NavLegend): the fund categories in their chart colours.
#include "app/mainwnd.h"

#include "app/errors.h"
#include "graphics/gdi_surface.h"
#include "graphics/legend.h"

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

LRESULT CALLBACK LegendWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
