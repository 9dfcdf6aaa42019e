// The arrow windows (class NavArrow): the button strips left of, right of and above the
// graph.
#include "app/mainwnd.h"

#include "base/errors.h"
#include "graphics/gdi_surface.h"
#include "graphics/graphpage.h"
#include "graphics/legend.h"
#include "graphics/zoom.h"

static uint32_t StripOf(HWND hwnd)
{
    if (hwnd == LeftArrows)
        return ARROW_STRIP_LEFT;
    if (hwnd == RightArrows)
        return ARROW_STRIP_RIGHT;
    if (hwnd == TopArrows)
        return ARROW_STRIP_TOP;
    return 3;
}

static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) {
        ReportWin32("BeginPaint");
        return;
    }
    uint32_t strip = StripOf(hwnd);
    if (strip == 3) {
        ReportInternal("ArrowWinFunc WM_PAINT unknown hwnd");
    } else {
        DrawTarget t;
        InitGdiTarget(&t, dc);
        PaintArrowStrip(&t, strip);
    }
    EndPaint(hwnd, &ps);
}

// A button moves the zoom selection (made from the funds in view on first use); the
// page is drawn again only when the selection changed.
static void OnButtonDown(HWND hwnd, int32_t x, int32_t y)
{
    uint32_t strip = StripOf(hwnd);
    int32_t button = strip == 3 ? -1 : ArrowButtonAt(strip, x, y);
    if (button < 0 || !TabControl)
        return;
    InitZoomSelection(CurrentTab());
    // A page without data has no range to move.
    if (ZoomSelectionActive() && ApplyArrowButton(strip, button))
        SwitchPage();
}

LRESULT CALLBACK ArrowWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        OnButtonDown(hwnd, (int16_t)LOWORD(lParam), (int16_t)HIWORD(lParam));
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
