// The program's entry point: the four window classes, the main window and the message loop.
#include "app/mainwnd.h"

#include <commctrl.h>

#include "analysis/ranking.h"
#include "base/errors.h"
#include "graphics/chartrow.h"
#include "graphics/graphpage.h"
#include "platform/win32/win32.h"
#include "resource.h"

HINSTANCE Instance;
HCURSOR NormalCursor;
HCURSOR BusyCursor;
HBRUSH LightGrayBrush;

// The title begins with the program's name and version; the rest is the maker's notice.
static const char MainTitle[] = "Vantry - Mutual Fund Performance Analyzer, 4.0";

// One template for all four classes; the three child classes have neither icon nor menu.
static int RegisterClasses(HINSTANCE instance)
{
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hInstance = instance;
    wc.hCursor = NormalCursor;
    wc.hbrBackground = LightGrayBrush;

    wc.lpfnWndProc = MainWinFunc;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VANTRY));
    wc.hIconSm = wc.hIcon;
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    wc.lpszClassName = "NavXYZ";
    if (!RegisterClassExA(&wc))
        return 0;

    wc.hIcon = nullptr;
    wc.hIconSm = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpfnWndProc = LegendWinFunc;
    wc.lpszClassName = "NavLegend";
    if (!RegisterClassExA(&wc))
        return 0;
    wc.lpfnWndProc = GraphWinFunc;
    wc.lpszClassName = "NavGraph";
    if (!RegisterClassExA(&wc))
        return 0;
    wc.lpfnWndProc = ArrowWinFunc;
    wc.lpszClassName = "NavArrow";
    return RegisterClassExA(&wc) ? 1 : 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show)
{
    Instance = instance;
    NormalCursor = LoadCursorA(nullptr, IDC_ARROW);
    BusyCursor = LoadCursorA(nullptr, IDC_APPSTARTING);
    LightGrayBrush = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    // Win32 always passes no previous instance, so every start registers its classes;
    // the test stays for the rule that a second instance reuses the first one's.
    if (!previous && !RegisterClasses(instance))
        return 0;

    // The window program's parts of every re-sort: the chart's zero line, and the fund
    // list and graph tabs brought in line with the new order.
    SortFundsZeroLineHook = ComputeZeroX;
    SortFundsResyncHook = ResyncFundList;
    StartBenchmarkRefresh = StartBenchmarkRefreshJob;
    WorkerRunning = WorkerIsRunning;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                                                          ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    HWND hwnd = CreateWindowExA(0, "NavXYZ", MainTitle,
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 0;
    Hwnd = hwnd;

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ShowWindow(hwnd, show);
    if (!UpdateWindow(hwnd)) {
        ReportWin32("UpdateWindow");
        return 0;
    }

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        if (!accelerators || !TranslateAcceleratorA(Hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return (int)msg.wParam;
}
