// The arrow windows (class NavArrow): the button strips left of, right of and above the
// graph.
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
    uint32_t strip;
    if (hwnd == LeftArrows)
        strip = ARROW_STRIP_LEFT;
    else if (hwnd == RightArrows)
        strip = ARROW_STRIP_RIGHT;
    else if (hwnd == TopArrows)
        strip = ARROW_STRIP_TOP;
    else
        strip = 3;
    if (strip == 3) {
        ReportInternal("ArrowWinFunc WM_PAINT unknown hwnd");
    } else {
        DrawTarget t;
        InitGdiTarget(&t, dc);
        PaintArrowStrip(&t, strip);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ArrowWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
