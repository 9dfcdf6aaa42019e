/* Test probe: a Windows console program, run under Wine beside the program under test, that
   answers one request line on stdin with one JSON line on stdout (windows, messages, list
   boxes, tabs, message boxes, screen captures, GDI object counts). harness.py drives it. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Every cross-process send waits at most this long, so a hung program fails a request
   instead of hanging the test run. */
#define SEND_TIMEOUT_MS 10000

static char Out[1 << 16];
static size_t OutLen;
static int OutOverflow;

static void Put(const char *s, size_t n)
{
    if (OutLen + n >= sizeof Out) {
        OutOverflow = 1;
        return;
    }
    memcpy(Out + OutLen, s, n);
    OutLen += n;
}

static void PutS(const char *s) { Put(s, strlen(s)); }

static void PutF(const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0)
        Put(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

/* A JSON string from bytes; bytes above 127 are passed through (UTF-8 from the W calls,
   or the program's ANSI text, which the harness decodes leniently). */
static void PutJsonString(const char *s, size_t n)
{
    Put("\"", 1);
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)s[i];
        if (c == '"' || c == '\\') {
            char e[2] = {'\\', (char)c};
            Put(e, 2);
        } else if (c < 0x20) {
            PutF("\\u%04x", c);
        } else {
            Put((const char *)&c, 1);
        }
    }
    Put("\"", 1);
}

static void PutKeyString(const char *key, const char *s, size_t n)
{
    PutF(",\"%s\":", key);
    PutJsonString(s, n);
}

static void PutWideAsUtf8(const char *key, const WCHAR *w, int wlen)
{
    static char u[8192];
    int n = wlen > 0 ? WideCharToMultiByte(CP_UTF8, 0, w, wlen, u, sizeof u, NULL, NULL) : 0;
    PutKeyString(key, u, n > 0 ? (size_t)n : 0);
}

static void PutRect(const char *key, const RECT *r)
{
    PutF(",\"%s\":[%ld,%ld,%ld,%ld]", key, r->left, r->top, r->right, r->bottom);
}

static void Begin(void)
{
    OutLen = 0;
    OutOverflow = 0;
    PutS("{\"ok\":true");
}

static void Finish(void)
{
    if (OutOverflow) {
        OutLen = 0;
        PutS("{\"ok\":false,\"error\":\"reply too long\"");
    }
    PutS("}\n");
    fwrite(Out, 1, OutLen, stdout);
    fflush(stdout);
}

static void Fail(const char *fmt, ...)
{
    char buf[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    OutLen = 0;
    OutOverflow = 0;
    PutS("{\"ok\":false,\"error\":");
    PutJsonString(buf, strlen(buf));
    Finish();
}

static unsigned long long Num(const char *s) { return s ? strtoull(s, NULL, 0) : 0; }
static HWND Hw(const char *s) { return (HWND)(UINT_PTR)Num(s); }

/* WM_GETTEXT is marshalled by the system across processes; a timeout leaves it empty. */
static int WindowText(HWND h, char *buf, int size)
{
    DWORD_PTR len = 0;
    buf[0] = 0;
    if (!SendMessageTimeoutA(h, WM_GETTEXT, (WPARAM)size, (LPARAM)buf, SMTO_ABORTIFHUNG,
                             SEND_TIMEOUT_MS, &len))
        return -1;
    if ((int)len >= size)
        len = (DWORD_PTR)size - 1;
    buf[len] = 0;
    return (int)len;
}

static int Send(HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT *result)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(h, msg, w, l, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &r))
        return 0;
    *result = (LRESULT)r;
    return 1;
}

static void PutWindow(HWND h)
{
    char cls[256];
    RECT r = {0, 0, 0, 0};
    int n = GetClassNameA(h, cls, sizeof cls);
    GetWindowRect(h, &r);
    PutF("{\"hwnd\":%llu", (unsigned long long)(UINT_PTR)h);
    PutKeyString("class", cls, n > 0 ? (size_t)n : 0);
    PutF(",\"id\":%ld,\"visible\":%d,\"enabled\":%d", (long)GetDlgCtrlID(h),
         IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0);
    PutRect("rect", &r);
    PutS("}");
}

/* find CLASS [PID]: the first top-level window of that class (of that process). */
struct FindArgs {
    const char *cls;
    DWORD pid;
    HWND found;
    int list;
    int count;
};

static BOOL CALLBACK FindProc(HWND h, LPARAM lp)
{
    struct FindArgs *a = (struct FindArgs *)lp;
    char cls[256];
    DWORD pid = 0;
    if (!GetClassNameA(h, cls, sizeof cls))
        return TRUE;
    GetWindowThreadProcessId(h, &pid);
    if (a->pid && pid != a->pid)
        return TRUE;
    if (a->cls && strcmp(cls, a->cls) != 0)
        return TRUE;
    if (a->list) {
        if (a->count++)
            PutS(",");
        PutWindow(h);
        return TRUE;
    }
    a->found = h;
    return FALSE;
}

static void CmdFind(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: find CLASS [PID]");
    struct FindArgs a = {argv[1], argc > 2 ? (DWORD)Num(argv[2]) : 0, NULL, 0, 0};
    EnumWindows(FindProc, (LPARAM)&a);
    Begin();
    PutF(",\"hwnd\":%llu", (unsigned long long)(UINT_PTR)a.found);
    if (a.found) {
        DWORD pid = 0;
        DWORD tid = GetWindowThreadProcessId(a.found, &pid);
        PutF(",\"pid\":%lu,\"tid\":%lu", (unsigned long)pid, (unsigned long)tid);
    }
    Finish();
}

/* toplevel [PID]: every top-level window (of that process). */
static void CmdTopLevel(char **argv, int argc)
{
    struct FindArgs a = {NULL, argc > 1 ? (DWORD)Num(argv[1]) : 0, NULL, 1, 0};
    Begin();
    PutS(",\"windows\":[");
    EnumWindows(FindProc, (LPARAM)&a);
    PutS("]");
    Finish();
}

static BOOL CALLBACK ChildProc(HWND h, LPARAM lp)
{
    HWND parent = (HWND)lp;
    if (GetParent(h) != parent)
        return TRUE; /* direct children only */
    if (OutLen && Out[OutLen - 1] == '}')
        PutS(",");
    PutWindow(h);
    return TRUE;
}

static void CmdChildren(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: children HWND");
    HWND h = Hw(argv[1]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    Begin();
    PutS(",\"children\":[");
    EnumChildWindows(h, ChildProc, (LPARAM)h);
    PutS("]");
    Finish();
}

static void CmdInfo(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: info HWND");
    HWND h = Hw(argv[1]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    static char text[8192];
    RECT cr;
    POINT origin = {0, 0};
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(h, &pid);
    int n = WindowText(h, text, sizeof text);
    GetClientRect(h, &cr);
    ClientToScreen(h, &origin);
    Begin();
    PutS(",\"window\":");
    PutWindow(h);
    PutKeyString("text", text, n > 0 ? (size_t)n : 0);
    PutF(",\"client\":[%ld,%ld,%ld,%ld]", origin.x, origin.y, origin.x + cr.right,
         origin.y + cr.bottom);
    PutF(",\"pid\":%lu,\"tid\":%lu,\"iconic\":%d", (unsigned long)pid, (unsigned long)tid,
         IsIconic(h) ? 1 : 0);
    Finish();
}

/* postall HWND MSG WPARAM...: one message per wParam, posted back to back, so that a
   burst of commands reaches the program within a fraction of a millisecond. */
static void CmdPostAll(char **argv, int argc)
{
    if (argc < 4)
        return Fail("usage: postall HWND MSG WPARAM...");
    HWND h = Hw(argv[1]);
    UINT msg = (UINT)Num(argv[2]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    for (int i = 3; i < argc; i++)
        if (!PostMessageA(h, msg, (WPARAM)Num(argv[i]), 0))
            return Fail("PostMessage failed (%lu)", GetLastError());
    Begin();
    Finish();
}

static void CmdSendPost(char **argv, int argc, int post)
{
    if (argc < 3)
        return Fail("usage: send|post HWND MSG [WPARAM [LPARAM]]");
    HWND h = Hw(argv[1]);
    UINT msg = (UINT)Num(argv[2]);
    WPARAM w = argc > 3 ? (WPARAM)Num(argv[3]) : 0;
    LPARAM l = argc > 4 ? (LPARAM)(LONG_PTR)strtoll(argv[4], NULL, 0) : 0;
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    if (post) {
        if (!PostMessageA(h, msg, w, l))
            return Fail("PostMessage failed (%lu)", GetLastError());
        Begin();
        Finish();
        return;
    }
    LRESULT r = 0;
    if (!Send(h, msg, w, l, &r))
        return Fail("SendMessageTimeout failed (%lu)", GetLastError());
    Begin();
    PutF(",\"result\":%lld", (long long)r);
    Finish();
}

/* settext HWND TEXT: a window's text (an edit box's content) by WM_SETTEXT, whose string
   the system carries into the window's process. TEXT is the rest of the line. */
static void CmdSetText(char **argv, int argc, const char *text)
{
    if (argc < 2)
        return Fail("usage: settext HWND TEXT");
    HWND h = Hw(argv[1]);
    LRESULT r = 0;
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    if (!Send(h, WM_SETTEXT, 0, (LPARAM)text, &r) || !r)
        return Fail("WM_SETTEXT failed (%lu)", GetLastError());
    Begin();
    Finish();
}

/* lb HWND: count, selection, caret and top index of a list box. */
static void CmdListBox(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: lb HWND");
    HWND h = Hw(argv[1]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    LRESULT count = 0, selcount = 0, caret = 0, top = 0, cursel = 0;
    if (!Send(h, LB_GETCOUNT, 0, 0, &count) || !Send(h, LB_GETSELCOUNT, 0, 0, &selcount) ||
        !Send(h, LB_GETCARETINDEX, 0, 0, &caret) || !Send(h, LB_GETTOPINDEX, 0, 0, &top) ||
        !Send(h, LB_GETCURSEL, 0, 0, &cursel))
        return Fail("list box did not answer");
    static int items[4096];
    LRESULT got = 0;
    if (selcount > 0) {
        if (selcount > 4096)
            selcount = 4096;
        if (!Send(h, LB_GETSELITEMS, (WPARAM)selcount, (LPARAM)items, &got))
            return Fail("LB_GETSELITEMS did not answer");
    }
    Begin();
    PutF(",\"count\":%lld,\"selcount\":%lld,\"caret\":%lld,\"top\":%lld,\"cursel\":%lld",
         (long long)count, (long long)selcount, (long long)caret, (long long)top,
         (long long)cursel);
    PutS(",\"sel\":[");
    for (LRESULT i = 0; i < got; i++)
        PutF(i ? ",%d" : "%d", items[i]);
    PutS("]");
    Finish();
}

static void CmdListRect(char **argv, int argc)
{
    if (argc < 3)
        return Fail("usage: lbrect HWND INDEX");
    HWND h = Hw(argv[1]);
    RECT r = {0, 0, 0, 0};
    LRESULT res = 0;
    if (!Send(h, LB_GETITEMRECT, (WPARAM)Num(argv[2]), (LPARAM)&r, &res) || res == LB_ERR)
        return Fail("LB_GETITEMRECT failed");
    POINT a = {r.left, r.top}, b = {r.right, r.bottom};
    ClientToScreen(h, &a);
    ClientToScreen(h, &b);
    RECT s = {a.x, a.y, b.x, b.y};
    Begin();
    PutRect("rect", &r);
    PutRect("screen", &s);
    Finish();
}

/* lbtext HWND INDEX, cbtext HWND INDEX: an item's stored text of a list box or a combo box;
   across processes only the W calls are converted. */
static void ItemText(char **argv, int argc, UINT lenMsg, UINT textMsg)
{
    if (argc < 3)
        return Fail("usage: %s HWND INDEX", argv[0]);
    HWND h = Hw(argv[1]);
    WPARAM i = (WPARAM)Num(argv[2]);
    DWORD_PTR len = 0, got = 0;
    static WCHAR w[4096];
    /* LB_ERR and CB_ERR are both -1. */
    if (!SendMessageTimeoutW(h, lenMsg, i, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &len) ||
        (LRESULT)len == LB_ERR)
        return Fail("text length failed");
    if (len >= 4096)
        return Fail("item too long");
    if (!SendMessageTimeoutW(h, textMsg, i, (LPARAM)w, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &got) ||
        (LRESULT)got == LB_ERR)
        return Fail("text failed");
    Begin();
    PutWideAsUtf8("text", w, (int)got);
    Finish();
}

static void CmdListText(char **argv, int argc)
{
    ItemText(argv, argc, LB_GETTEXTLEN, LB_GETTEXT);
}

static void CmdComboText(char **argv, int argc)
{
    ItemText(argv, argc, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

/* cb HWND: count and selection of a combo box. */
static void CmdCombo(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: cb HWND");
    HWND h = Hw(argv[1]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    LRESULT count = 0, cursel = 0;
    if (!Send(h, CB_GETCOUNT, 0, 0, &count) || !Send(h, CB_GETCURSEL, 0, 0, &cursel))
        return Fail("combo box did not answer");
    Begin();
    PutF(",\"count\":%lld,\"cursel\":%lld", (long long)count, (long long)cursel);
    Finish();
}

/* Memory in the target process for the messages whose pointers the system does not marshal
   (the tab control's items and rectangles). */
static void *RemoteAlloc(HWND h, HANDLE *process, SIZE_T size)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    *process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!*process)
        return NULL;
    void *p = VirtualAllocEx(*process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!p) {
        CloseHandle(*process);
        *process = NULL;
    }
    return p;
}

static void RemoteFree(HANDLE process, void *p)
{
    VirtualFreeEx(process, p, 0, MEM_RELEASE);
    CloseHandle(process);
}

/* tab HWND: count, current selection and focus, and every item's text, value and rectangle. */
static void CmdTab(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: tab HWND");
    HWND h = Hw(argv[1]);
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    LRESULT count = 0, cur = 0, focus = 0;
    if (!Send(h, TCM_GETITEMCOUNT, 0, 0, &count) || !Send(h, TCM_GETCURSEL, 0, 0, &cur) ||
        !Send(h, TCM_GETCURFOCUS, 0, 0, &focus))
        return Fail("tab control did not answer");
    HANDLE process = NULL;
    const SIZE_T textSize = 1024;
    char *remote = (char *)RemoteAlloc(h, &process, sizeof(TCITEMA) + sizeof(RECT) + textSize);
    if (!remote)
        return Fail("remote memory not available (%lu)", GetLastError());
    char *remoteRect = remote + sizeof(TCITEMA);
    char *remoteText = remoteRect + sizeof(RECT);
    Begin();
    PutF(",\"count\":%lld,\"cur\":%lld,\"focus\":%lld,\"items\":[", (long long)count,
         (long long)cur, (long long)focus);
    for (LRESULT i = 0; i < count && i < 256; i++) {
        TCITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = remoteText;
        item.cchTextMax = (int)textSize;
        char zero = 0;
        WriteProcessMemory(process, remoteText, &zero, 1, NULL);
        WriteProcessMemory(process, remote, &item, sizeof item, NULL);
        LRESULT ok = 0, okRect = 0;
        Send(h, TCM_GETITEMA, (WPARAM)i, (LPARAM)remote, &ok);
        Send(h, TCM_GETITEMRECT, (WPARAM)i, (LPARAM)remoteRect, &okRect);
        static char text[1024];
        RECT r = {0, 0, 0, 0};
        TCITEMA back;
        memset(&back, 0, sizeof back);
        ReadProcessMemory(process, remote, &back, sizeof back, NULL);
        ReadProcessMemory(process, remoteRect, &r, sizeof r, NULL);
        text[0] = 0;
        /* The control may answer with its own buffer rather than the one offered. */
        if (ok && back.pszText)
            ReadProcessMemory(process, back.pszText, text, sizeof text - 1, NULL);
        text[sizeof text - 1] = 0;
        PutS(i ? ",{\"text\":" : "{\"text\":");
        PutJsonString(text, strlen(text));
        PutF(",\"param\":%lld", (long long)back.lParam);
        PutRect("rect", &r);
        PutS("}");
    }
    PutS("]");
    RemoteFree(process, remote);
    Finish();
}

/* Message boxes and dialogs (#32770) of one process, with their static texts and buttons. */
struct BoxArgs {
    DWORD pid;
    int count;
};

static BOOL CALLBACK BoxChildProc(HWND h, LPARAM lp)
{
    int *n = (int *)lp;
    char cls[64], text[1024];
    GetClassNameA(h, cls, sizeof cls);
    if (_stricmp(cls, "Button") != 0)
        return TRUE;
    int len = WindowText(h, text, sizeof text);
    PutS((*n)++ ? "," : "");
    PutF("{\"id\":%ld", (long)GetDlgCtrlID(h));
    PutKeyString("text", text, len > 0 ? (size_t)len : 0);
    PutS("}");
    return TRUE;
}

static BOOL CALLBACK BoxProc(HWND h, LPARAM lp)
{
    struct BoxArgs *a = (struct BoxArgs *)lp;
    char cls[64];
    static char caption[1024], text[8192];
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != a->pid || !GetClassNameA(h, cls, sizeof cls) || strcmp(cls, "#32770") != 0 ||
        !IsWindowVisible(h))
        return TRUE;
    int clen = GetWindowTextA(h, caption, sizeof caption);
    HWND st = GetDlgItem(h, 0xFFFF);
    int tlen = st ? WindowText(st, text, sizeof text) : 0;
    PutS(a->count++ ? ",{" : "{");
    PutF("\"hwnd\":%llu,\"owner\":%llu", (unsigned long long)(UINT_PTR)h,
         (unsigned long long)(UINT_PTR)GetWindow(h, GW_OWNER));
    PutKeyString("caption", caption, clen > 0 ? (size_t)clen : 0);
    PutKeyString("text", text, tlen > 0 ? (size_t)tlen : 0);
    PutS(",\"buttons\":[");
    int n = 0;
    EnumChildWindows(h, BoxChildProc, (LPARAM)&n);
    PutS("]}");
    return TRUE;
}

static void CmdBoxes(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: boxes PID");
    struct BoxArgs a = {(DWORD)Num(argv[1]), 0};
    Begin();
    PutS(",\"boxes\":[");
    EnumWindows(BoxProc, (LPARAM)&a);
    PutS("]");
    Finish();
}

/* press HWND [ID]: a button of a box, by a posted command (a send would wait for the box's
   own message loop to finish, which for a modal box is the caller's). */
static void CmdPress(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: press HWND [ID]");
    HWND h = Hw(argv[1]);
    WPARAM id = argc > 2 ? (WPARAM)Num(argv[2]) : IDOK;
    if (!IsWindow(h))
        return Fail("no window %s", argv[1]);
    HWND button = GetDlgItem(h, (int)id);
    if (!PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button))
        return Fail("PostMessage failed (%lu)", GetLastError());
    Begin();
    Finish();
}

/* capture HWND|0 PATH: the window's screen rectangle (0: the whole screen) as a 24-bit BMP.
   Only the screen's device context gives pixels of another process's window under Wine. */
static void CmdCapture(char **argv, int argc, const char *path)
{
    if (argc < 3)
        return Fail("usage: capture HWND PATH");
    HWND h = Hw(argv[1]);
    RECT r;
    if (h) {
        if (!IsWindow(h) || !GetWindowRect(h, &r))
            return Fail("no window %s", argv[1]);
    } else {
        r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    int w = r.right - r.left, hgt = r.bottom - r.top;
    if (w <= 0 || hgt <= 0)
        return Fail("empty rectangle %ldx%ld", (long)w, (long)hgt);
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = hgt; /* bottom-up, as a BMP file stores it */
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!bmp || !mem) {
        if (bmp)
            DeleteObject(bmp);
        if (mem)
            DeleteDC(mem);
        ReleaseDC(NULL, screen);
        return Fail("no capture bitmap");
    }
    HGDIOBJ old = SelectObject(mem, bmp);
    BOOL blit = BitBlt(mem, 0, 0, w, hgt, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD)w * 3 + 3) & ~3u;
    DWORD imageSize = stride * (DWORD)hgt;
    BITMAPFILEHEADER fh;
    memset(&fh, 0, sizeof fh);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + imageSize;
    FILE *f = fopen(path, "wb");
    int written = 0;
    if (f) {
        bi.bmiHeader.biSizeImage = imageSize;
        written = fwrite(&fh, sizeof fh, 1, f) == 1 &&
                  fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
                  fwrite(bits, 1, imageSize, f) == imageSize;
        written = fclose(f) == 0 && written;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    if (!blit)
        return Fail("BitBlt failed (%lu)", GetLastError());
    if (!written)
        return Fail("cannot write %s", path);
    Begin();
    PutF(",\"width\":%d,\"height\":%d", w, hgt);
    PutRect("rect", &r);
    Finish();
}

/* The system's GDI handle table as Wine keeps it: one entry per handle, its type byte zero
   when the entry is free. Windows' GetGuiResources is a stub there, so the count of another
   process's objects is read from that process's own table (its PEB points to it). */
#pragma pack(push, 1)
typedef struct {
    UINT64 Object;
    ULONG Owner;
    USHORT Unique;
    UCHAR Type;
    UCHAR Flags;
    UINT64 UserPointer;
} GdiHandleEntry;
#pragma pack(pop)
#define GDI_MAX_HANDLES 0x10000

typedef NTSTATUS(WINAPI *QueryInformationProcessFn)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG,
                                                      PULONG);

static long CountGdiFromTable(HANDLE process)
{
    QueryInformationProcessFn query = (QueryInformationProcessFn)(void (*)(void))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    if (!query)
        return -2;
    PROCESS_BASIC_INFORMATION pbi;
    ULONG got = 0;
    if (query(process, ProcessBasicInformation, &pbi, sizeof pbi, &got) != 0 ||
        !pbi.PebBaseAddress)
        return -3;
    /* GdiSharedHandleTable lies at offset 0xF8 of the 64-bit PEB. */
    UINT64 table = 0;
    if (!ReadProcessMemory(process, (char *)pbi.PebBaseAddress + 0xF8, &table, sizeof table,
                           NULL) ||
        !table)
        return -4;
    static GdiHandleEntry entries[GDI_MAX_HANDLES];
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, (void *)(UINT_PTR)table, entries, sizeof entries, &read) &&
        read == 0)
        return -5;
    long count = 0;
    SIZE_T n = read / sizeof entries[0];
    for (SIZE_T i = 0; i < n; i++) {
        /* The table is the process's own, so every live entry is its object, except the
           stock objects (the top bit of the unique field's low byte), made at start-up. */
        if (entries[i].Type && !(entries[i].Unique & 0x80))
            count++;
    }
    return count;
}

static void CmdGdi(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: gdi PID");
    DWORD pid = (DWORD)Num(argv[1]);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return Fail("OpenProcess(%lu) failed (%lu)", (unsigned long)pid, GetLastError());
    SetLastError(0);
    DWORD gui = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD guiError = GetLastError();
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    long table = CountGdiFromTable(process);
    CloseHandle(process);
    Begin();
    PutF(",\"guiresources\":%lu,\"guierror\":%lu,\"user\":%lu,\"table\":%ld",
         (unsigned long)gui, (unsigned long)guiError, (unsigned long)user, table);
    Finish();
}

/* focus TID: the thread's active, focus and capture windows. */
static void CmdFocus(char **argv, int argc)
{
    if (argc < 2)
        return Fail("usage: focus TID");
    GUITHREADINFO gi;
    memset(&gi, 0, sizeof gi);
    gi.cbSize = sizeof gi;
    if (!GetGUIThreadInfo((DWORD)Num(argv[1]), &gi))
        return Fail("GetGUIThreadInfo failed (%lu)", GetLastError());
    Begin();
    PutF(",\"active\":%llu,\"focus\":%llu,\"capture\":%llu",
         (unsigned long long)(UINT_PTR)gi.hwndActive, (unsigned long long)(UINT_PTR)gi.hwndFocus,
         (unsigned long long)(UINT_PTR)gi.hwndCapture);
    Finish();
}

/* cursor: the cursor now shown, and whether it is the application-starting (busy) one. */
static void CmdCursor(void)
{
    CURSORINFO ci;
    memset(&ci, 0, sizeof ci);
    ci.cbSize = sizeof ci;
    if (!GetCursorInfo(&ci))
        return Fail("GetCursorInfo failed (%lu)", GetLastError());
    HCURSOR busy = LoadCursorA(NULL, (LPCSTR)IDC_APPSTARTING);
    HCURSOR arrow = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    Begin();
    PutF(",\"cursor\":%llu,\"busy\":%d,\"arrow\":%d,\"x\":%ld,\"y\":%ld",
         (unsigned long long)(UINT_PTR)ci.hCursor, ci.hCursor == busy, ci.hCursor == arrow,
         ci.ptScreenPos.x, ci.ptScreenPos.y);
    Finish();
}

/* move HWND X Y W H: move and size a top-level window (the same as a user's drag). */
static void CmdMove(char **argv, int argc)
{
    if (argc < 6)
        return Fail("usage: move HWND X Y W H");
    HWND h = Hw(argv[1]);
    if (!SetWindowPos(h, NULL, (int)strtol(argv[2], NULL, 0), (int)strtol(argv[3], NULL, 0),
                      (int)strtol(argv[4], NULL, 0), (int)strtol(argv[5], NULL, 0),
                      SWP_NOZORDER | SWP_NOACTIVATE))
        return Fail("SetWindowPos failed (%lu)", GetLastError());
    Begin();
    Finish();
}

static void CmdShow(char **argv, int argc)
{
    if (argc < 3)
        return Fail("usage: show HWND SW");
    HWND h = Hw(argv[1]);
    ShowWindowAsync(h, (int)Num(argv[2]));
    Begin();
    Finish();
}

int main(void)
{
    static char line[4096];
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    /* Under Wine a window can be made only when the desktop came up with its display
       driver; the harness starts the session again when it did not. */
    HWND test = CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    Begin();
    PutF(",\"ready\":1,\"gui\":%d", test ? 1 : 0);
    Finish();
    if (test)
        DestroyWindow(test);
    while (fgets(line, sizeof line, stdin)) {
        size_t n = strlen(line);
        while (n && (line[n - 1] == '\n' || line[n - 1] == '\r'))
            line[--n] = 0;
        /* The capture path is the rest of the line after the window, so it may hold spaces. */
        static char copy[4096];
        memcpy(copy, line, n + 1);
        char *argv[64];
        int argc = 0;
        for (char *tok = strtok(line, " "); tok && argc < 64; tok = strtok(NULL, " "))
            argv[argc++] = tok;
        if (argc == 0)
            continue;
        const char *cmd = argv[0];
        if (!strcmp(cmd, "quit"))
            break;
        else if (!strcmp(cmd, "find"))
            CmdFind(argv, argc);
        else if (!strcmp(cmd, "toplevel"))
            CmdTopLevel(argv, argc);
        else if (!strcmp(cmd, "children"))
            CmdChildren(argv, argc);
        else if (!strcmp(cmd, "info"))
            CmdInfo(argv, argc);
        else if (!strcmp(cmd, "send"))
            CmdSendPost(argv, argc, 0);
        else if (!strcmp(cmd, "post"))
            CmdSendPost(argv, argc, 1);
        else if (!strcmp(cmd, "postall"))
            CmdPostAll(argv, argc);
        else if (!strcmp(cmd, "lb"))
            CmdListBox(argv, argc);
        else if (!strcmp(cmd, "lbrect"))
            CmdListRect(argv, argc);
        else if (!strcmp(cmd, "lbtext"))
            CmdListText(argv, argc);
        else if (!strcmp(cmd, "cbtext"))
            CmdComboText(argv, argc);
        else if (!strcmp(cmd, "cb"))
            CmdCombo(argv, argc);
        else if (!strcmp(cmd, "tab"))
            CmdTab(argv, argc);
        else if (!strcmp(cmd, "boxes"))
            CmdBoxes(argv, argc);
        else if (!strcmp(cmd, "press"))
            CmdPress(argv, argc);
        else if (!strcmp(cmd, "capture") || !strcmp(cmd, "settext")) {
            const char *rest = copy;
            for (int skip = 0; skip < 2 && *rest; skip++) {
                while (*rest && *rest != ' ')
                    rest++;
                while (*rest == ' ')
                    rest++;
            }
            if (cmd[0] == 'c')
                CmdCapture(argv, argc, rest);
            else
                CmdSetText(argv, argc, rest);
        } else if (!strcmp(cmd, "gdi"))
            CmdGdi(argv, argc);
        else if (!strcmp(cmd, "focus"))
            CmdFocus(argv, argc);
        else if (!strcmp(cmd, "cursor"))
            CmdCursor();
        else if (!strcmp(cmd, "move"))
            CmdMove(argv, argc);
        else if (!strcmp(cmd, "show"))
            CmdShow(argv, argc);
        else
            Fail("unknown request %s", cmd);
    }
    return 0;
}
