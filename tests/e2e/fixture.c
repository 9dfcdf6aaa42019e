/* Fixture window program for the harness's own tests: a small top-level window with a status
   bar, a tab control, a multiple-selection list box, a red background and GDI objects made
   and freed on command, so the probe's answers can be checked against known ones without
   the real program. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#define ID_STATUS 101
#define ID_TABS 103
#define ID_LIST 104
#define CMD_MAKE_GDI 1002
#define CMD_FREE_GDI 1003
#define GDI_BATCH 10

static HWND Status, Tabs, List;
static HBRUSH Made[GDI_BATCH];

static void SetStatus(const char *text) { SendMessageA(Status, SB_SETTEXTA, 0, (LPARAM)text); }

static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        Status = CreateWindowA(STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd,
                               (HMENU)ID_STATUS, NULL, NULL);
        Tabs = CreateWindowA(WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                             0, 0, hwnd, (HMENU)ID_TABS, NULL, NULL);
        const char *names[] = {"First", "Second", "Third & Last"};
        for (int i = 0; i < 3; i++) {
            TCITEMA item = {0};
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = (char *)names[i];
            item.lParam = 10 + i;
            SendMessageA(Tabs, TCM_INSERTITEMA, i, (LPARAM)&item);
        }
        List = CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL |
                             LBS_NOTIFY | LBS_MULTIPLESEL | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                             hwnd, (HMENU)ID_LIST, NULL, NULL);
        const char *rows[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
        for (int i = 0; i < 5; i++)
            SendMessageA(List, LB_ADDSTRING, 0, (LPARAM)rows[i]);
        SetStatus("ready");
        return 0;
    }
    case WM_SIZE: {
        /* The status bar takes its place when told of the size; the list leaves the right
           half of the client area red for the capture. */
        RECT s;
        SendMessageA(Status, WM_SIZE, 0, 0);
        GetWindowRect(Status, &s);
        int height = HIWORD(lp) - (s.bottom - s.top) - 50;
        MoveWindow(Tabs, 0, 0, LOWORD(lp), 30, TRUE);
        MoveWindow(List, 10, 40, LOWORD(lp) / 2, height > 0 ? height : 0, TRUE);
        return 0;
    }
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
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
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
