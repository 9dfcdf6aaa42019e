// The main window procedure: unpacks each message and hands it to its message group.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <math.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "graphics/graphpage.h"
#include "graphics/zoom.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "resource.h"

// The messages that must come for the main window itself are still handled when they do
// not, but the mismatch is worth a warning: it means a child forwarded one by mistake.
static void CheckOwnWindow(HWND hwnd)
{
    if (hwnd != Hwnd)
        ReportWarning("hwnd != Hwnd");
}

// While a load runs the window is empty but for the progress bar: the title line says
// what is loading.
static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc && ProgressBar) {
        static const char Title[] = "Vantry Mutual Fund Performance Analyzer.";
        HGDIOBJ old = MainFont ? SelectObject(dc, MainFont) : nullptr;
        int oldMode = SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 30, 20, Title, (int)(sizeof Title - 1));
        SetBkMode(dc, oldMode);
        if (old)
            SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
}

// Mouse input over the main window itself (the page's margins) cancels a measuring
// line in progress, as moving off the graph should.
static void ForwardMouseToGraph(void)
{
    if (TabControl && GraphWindow && MeasureState != 2 && CurrentTab() >= 3)
        SendMessageA(GraphWindow, GRAPH_MESSAGE, GRAPH_CANCEL, 0);
}

static LRESULT OnNotify(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const NMHDR *header = (const NMHDR *)lParam;
    if (header && header->idFrom == IDC_TAB_CONTROL && TabControl &&
        header->hwndFrom == TabControl) {
        if (header->code == (UINT)TCN_SELCHANGING) {
            OnTabChanging();
            return FALSE;  // the change is allowed
        }
        if (header->code == (UINT)TCN_SELCHANGE) {
            OnTabChanged();
            return 0;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static LRESULT OnProbe(WPARAM figure)
{
    switch (figure) {
    case PROBE_GDI_OBJECTS:
        return (LRESULT)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    case PROBE_USER_OBJECTS:
        return (LRESULT)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    case PROBE_MEMORY:
        return (LRESULT)DynamicMemoryUsed;
    case PROBE_WORKER:
        return WorkerThread ? 1 : 0;
    case PROBE_FUNDS:
        return (LRESULT)FundCount;
    case PROBE_ZOOM_FROM:
        return (LRESULT)ZoomSelectionFrom;
    case PROBE_ZOOM_TO:
        return (LRESULT)ZoomSelectionTo;
    case PROBE_ZOOM_MAX:
        return (LRESULT)llround(ZoomSelectionMax * 1000);
    case PROBE_DATA_SPAN_START:
        return (LRESULT)DataSpanStart;
    case PROBE_DATA_SPAN_END:
        return (LRESULT)DataSpanEnd;
    case PROBE_MEASURE_STATE:
        return (LRESULT)MeasureState;
    case PROBE_LINE_HEIGHT:
        return (LRESULT)LineHeight;
    }
    return 0;
}

LRESULT CALLBACK MainWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreateMainWindow(hwnd);
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_SIZE:
        CheckOwnWindow(hwnd);
        OnSize(hwnd, wParam, (int16_t)LOWORD(lParam), (int16_t)HIWORD(lParam));
        return 0;
    case WM_NOTIFY:
        CheckOwnWindow(hwnd);
        return OnNotify(hwnd, message, wParam, lParam);
    case WM_MEASUREITEM:
        CheckOwnWindow(hwnd);
        OnMeasureItem(hwnd, (MEASUREITEMSTRUCT *)lParam);
        return TRUE;
    case WM_DRAWITEM:
        CheckOwnWindow(hwnd);
        OnDrawItem(hwnd, (const DRAWITEMSTRUCT *)lParam);
        return TRUE;
    case WM_SETCURSOR:
        if (BusyFlag) {
            SetCursor(BusyCursor);
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            CancelGraphInteraction();
        else
            FocusCurrentPage();
        break;
    case WM_ACTIVATEAPP:
        if (wParam)
            FocusCurrentPage();
        else
            CancelGraphInteraction();
        break;
    case WM_SETFOCUS:
        FocusCurrentPage();
        return 0;
    case WM_CTLCOLORLISTBOX:
        return (LRESULT)LightGrayBrush;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        ForwardMouseToGraph();
        break;
    case WM_CLOSE:
        CheckOwnWindow(hwnd);
        OnCloseMainWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        CheckOwnWindow(hwnd);
        return OnCommand(hwnd, wParam, lParam);
    case WM_VANTRY_PROGRESS:
        // A worker being stopped at the program's end changes nothing on the screen.
        if (!PlatStopRequested())
            OnProgressMessage(hwnd, wParam, lParam);
        return 0;
    case WM_VANTRY_SWITCH_PAGE:
        if (!PlatStopRequested())
            SwitchPage();
        return 0;
    case WM_VANTRY_WORKER_ENDED:
        OnWorkerEnded();
        return 0;
    case WM_VANTRY_PROBE:
        return OnProbe(wParam);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
