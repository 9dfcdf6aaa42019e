/* Fixture window program for the harness's own tests: a small top-level window with a status
   bar, a red background and GDI objects made and freed on command, so the probe's captures
   and GDI counts can be checked against known ones without the real program. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#define ID_STATUS 101
#define CMD_MAKE_GDI 1002
#define CMD_FREE_GDI 1003
#define GDI_BATCH 10

static HWND Status;
static HBRUSH Made[GDI_BATCH];

static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        Status = CreateWindowA(STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd,
                               (HMENU)ID_STATUS, NULL, NULL);
        SendMessageA(Status, SB_SETTEXTA, 0, (LPARAM)"ready");
        return 0;
    case WM_SIZE:
        /* The status bar takes its place when told of the size. */
        SendMessageA(Status, WM_SIZE, 0, 0);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case CMD_MAKE_GDI:
            for (int i = 0; i < GDI_BATCH; i++)
                if (!Made[i])
                    Made[i] = CreateSolidBrush(RGB(i, i, i));
            return 0;
        case CMD_FREE_GDI:
            for (int i = 0; i < GDI_BATCH; i++)
                if (Made[i]) {
                    DeleteObject(Made[i]);
                    Made[i] = NULL;
                }
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)prev, (void)cmd;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {.lpfnWndProc = WndProc, .hInstance = instance,
                    .hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW),
                    .hbrBackground = CreateSolidBrush(RGB(255, 0, 0)),
                    .lpszClassName = "E2EFixture"};
    if (!RegisterClassA(&wc))
        return 0;
    HWND hwnd = CreateWindowA("E2EFixture", "Fixture", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              50, 40, 600, 400, NULL, NULL, instance, NULL);
    if (!hwnd)
        return 0;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    MSG m;
    while (GetMessageA(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return (int)m.wParam;
}
