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

static void Ok(void)
{
    Begin();
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

/* One request's words: argv[0] is its name; h is argv[1] read as a window, rest is the line
   after the first two words (a path or a text, which may hold spaces). */
typedef struct {
    char **argv;
    int argc;
    HWND h;
    const char *rest;
} Request;

static DWORD ArgId(const Request *q, int i) { return q->argc > i ? (DWORD)Num(q->argv[i]) : 0; }

/* find CLASS [PID] and toplevel [PID]: the first top-level window of that class, or every
   top-level window (of that process). */
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
    if ((a->pid && pid != a->pid) || (a->cls && strcmp(cls, a->cls) != 0))
        return TRUE;
    if (!a->list) {
        a->found = h;
        return FALSE;
    }
    if (a->count++)
        PutS(",");
    PutWindow(h);
    return TRUE;
}

static void CmdFind(const Request *q)
{
    struct FindArgs a = {q->argv[1], ArgId(q, 2), NULL, 0, 0};
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

static void CmdTopLevel(const Request *q)
{
    struct FindArgs a = {NULL, ArgId(q, 1), NULL, 1, 0};
    Begin();
    PutS(",\"windows\":[");
    EnumWindows(FindProc, (LPARAM)&a);
    PutS("]");
    Finish();
}

static BOOL CALLBACK ChildProc(HWND h, LPARAM lp)
{
    if (GetParent(h) != (HWND)lp)
        return TRUE; /* direct children only */
    if (OutLen && Out[OutLen - 1] == '}')
        PutS(",");
    PutWindow(h);
    return TRUE;
}

static void CmdChildren(const Request *q)
{
    Begin();
    PutS(",\"children\":[");
    EnumChildWindows(q->h, ChildProc, (LPARAM)q->h);
    PutS("]");
    Finish();
}

static void CmdInfo(const Request *q)
{
    static char text[8192];
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(q->h, &pid);
    int n = WindowText(q->h, text, sizeof text);
    Begin();
    PutS(",\"window\":");
    PutWindow(q->h);
    PutKeyString("text", text, n > 0 ? (size_t)n : 0);
    PutF(",\"pid\":%lu,\"tid\":%lu", (unsigned long)pid, (unsigned long)tid);
    Finish();
}

/* postall HWND MSG WPARAM...: one message per wParam, posted back to back, so that a
   burst of commands reaches the program within a fraction of a millisecond. */
static void CmdPostAll(const Request *q)
{
    for (int i = 3; i < q->argc; i++)
        if (!PostMessageA(q->h, (UINT)Num(q->argv[2]), (WPARAM)Num(q->argv[i]), 0))
            return Fail("PostMessage failed (%lu)", GetLastError());
    Ok();
}

/* send|post HWND MSG [WPARAM [LPARAM]] */
static void SendOrPost(const Request *q, int post)
{
    UINT msg = (UINT)Num(q->argv[2]);
    WPARAM w = q->argc > 3 ? (WPARAM)Num(q->argv[3]) : 0;
    LPARAM l = q->argc > 4 ? (LPARAM)(LONG_PTR)strtoll(q->argv[4], NULL, 0) : 0;
    LRESULT r = 0;
    if (post && !PostMessageA(q->h, msg, w, l))
        return Fail("PostMessage failed (%lu)", GetLastError());
    if (!post && !Send(q->h, msg, w, l, &r))
        return Fail("SendMessageTimeout failed (%lu)", GetLastError());
    Begin();
    if (!post)
        PutF(",\"result\":%lld", (long long)r);
    Finish();
}

static void CmdSend(const Request *q) { SendOrPost(q, 0); }
static void CmdPost(const Request *q) { SendOrPost(q, 1); }

/* settext HWND TEXT: a window's text (an edit box's content) by WM_SETTEXT, whose string
   the system carries into the window's process. */
static void CmdSetText(const Request *q)
{
    LRESULT r = 0;
    if (!Send(q->h, WM_SETTEXT, 0, (LPARAM)q->rest, &r) || !r)
        return Fail("WM_SETTEXT failed (%lu)", GetLastError());
    Ok();
}

/* lb HWND: count, selection, caret and top index of a list box. */
static void CmdListBox(const Request *q)
{
    HWND h = q->h;
    LRESULT count = 0, selcount = 0, caret = 0, top = 0, cursel = 0;
    if (!Send(h, LB_GETCOUNT, 0, 0, &count) || !Send(h, LB_GETSELCOUNT, 0, 0, &selcount) ||
        !Send(h, LB_GETCARETINDEX, 0, 0, &caret) || !Send(h, LB_GETTOPINDEX, 0, 0, &top) ||
        !Send(h, LB_GETCURSEL, 0, 0, &cursel))
        return Fail("list box did not answer");
    static int items[4096];
    LRESULT got = 0;
    if (selcount > 0 && !Send(h, LB_GETSELITEMS, (WPARAM)(selcount > 4096 ? 4096 : selcount),
                              (LPARAM)items, &got))
        return Fail("LB_GETSELITEMS did not answer");
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

/* lbrect HWND INDEX: an item's rectangle in the list's client and in screen coordinates. */
static void CmdListRect(const Request *q)
{
    RECT r = {0, 0, 0, 0};
    LRESULT res = 0;
    if (!Send(q->h, LB_GETITEMRECT, (WPARAM)Num(q->argv[2]), (LPARAM)&r, &res) || res == LB_ERR)
        return Fail("LB_GETITEMRECT failed");
    POINT a = {r.left, r.top}, b = {r.right, r.bottom};
    ClientToScreen(q->h, &a);
    ClientToScreen(q->h, &b);
    RECT s = {a.x, a.y, b.x, b.y};
    Begin();
    PutRect("rect", &r);
    PutRect("screen", &s);
    Finish();
}

/* lbtext HWND INDEX, cbtext HWND INDEX: an item's stored text of a list box or a combo box;
   across processes only the W calls are converted. */
static void ItemText(const Request *q, UINT lenMsg, UINT textMsg)
{
    WPARAM i = (WPARAM)Num(q->argv[2]);
    DWORD_PTR len = 0, got = 0;
    static WCHAR w[4096];
    /* LB_ERR and CB_ERR are both -1. */
    if (!SendMessageTimeoutW(q->h, lenMsg, i, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &len) ||
        (LRESULT)len == LB_ERR)
        return Fail("text length failed");
    if (len >= 4096)
        return Fail("item too long");
    if (!SendMessageTimeoutW(q->h, textMsg, i, (LPARAM)w, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                             &got) ||
        (LRESULT)got == LB_ERR)
        return Fail("text failed");
    Begin();
    PutWideAsUtf8("text", w, (int)got);
    Finish();
}

static void CmdListText(const Request *q) { ItemText(q, LB_GETTEXTLEN, LB_GETTEXT); }
static void CmdComboText(const Request *q) { ItemText(q, CB_GETLBTEXTLEN, CB_GETLBTEXT); }

/* cb HWND: count and selection of a combo box. */
static void CmdCombo(const Request *q)
{
    LRESULT count = 0, cursel = 0;
    if (!Send(q->h, CB_GETCOUNT, 0, 0, &count) || !Send(q->h, CB_GETCURSEL, 0, 0, &cursel))
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

/* tab HWND: count, current selection and focus, and every item's text, value and rectangle. */
static void CmdTab(const Request *q)
{
    HWND h = q->h;
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
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    Finish();
}

/* boxes PID: message boxes and dialogs (#32770) of one process, with their static texts and
   buttons. */
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
    struct FindArgs *a = (struct FindArgs *)lp;
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

static void CmdBoxes(const Request *q)
{
    struct FindArgs a = {NULL, ArgId(q, 1), NULL, 1, 0};
    Begin();
    PutS(",\"boxes\":[");
    EnumWindows(BoxProc, (LPARAM)&a);
    PutS("]");
    Finish();
}

/* press HWND [ID]: a button of a box, by a posted command (a send would wait for the box's
   own message loop to finish, which for a modal box is the caller's). */
static void CmdPress(const Request *q)
{
    WPARAM id = q->argc > 2 ? (WPARAM)Num(q->argv[2]) : IDOK;
    if (!PostMessageA(q->h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      (LPARAM)GetDlgItem(q->h, (int)id)))
        return Fail("PostMessage failed (%lu)", GetLastError());
    Ok();
}

/* capture HWND|0 PATH: the window's screen rectangle (0: the whole screen) as a 24-bit BMP.
   Only the screen's device context gives pixels of another process's window under Wine. */
static void CmdCapture(const Request *q)
{
    RECT r;
    if (q->h) {
        if (!IsWindow(q->h) || !GetWindowRect(q->h, &r))
            return Fail("no window %s", q->argv[1]);
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
    HGDIOBJ old = bmp && mem ? SelectObject(mem, bmp) : NULL;
    BOOL blit = old && BitBlt(mem, 0, 0, w, hgt, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD)w * 3 + 3) & ~3u;
    DWORD imageSize = stride * (DWORD)hgt;
    BITMAPFILEHEADER fh;
    memset(&fh, 0, sizeof fh);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + imageSize;
    bi.bmiHeader.biSizeImage = imageSize;
    FILE *f = blit ? fopen(q->rest, "wb") : NULL;
    int written = f && fwrite(&fh, sizeof fh, 1, f) == 1 &&
                  fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
                  fwrite(bits, 1, imageSize, f) == imageSize;
    written = f && fclose(f) == 0 && written;
    if (old)
        SelectObject(mem, old);
    if (bmp)
        DeleteObject(bmp);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(NULL, screen);
    if (!blit)
        return Fail("no capture of the screen (%lu)", GetLastError());
    if (!written)
        return Fail("cannot write %s", q->rest);
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

/* gdi PID: the process's GDI object count by GetGuiResources and from its handle table. */
static void CmdGdi(const Request *q)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ArgId(q, 1));
    if (!process)
        return Fail("OpenProcess(%s) failed (%lu)", q->argv[1], GetLastError());
    DWORD gui = GetGuiResources(process, GR_GDIOBJECTS);
    long table = CountGdiFromTable(process);
    CloseHandle(process);
    Begin();
    PutF(",\"guiresources\":%lu,\"table\":%ld", (unsigned long)gui, table);
    Finish();
}

/* focus TID: the thread's focus window. */
static void CmdFocus(const Request *q)
{
    GUITHREADINFO gi;
    memset(&gi, 0, sizeof gi);
    gi.cbSize = sizeof gi;
    if (!GetGUIThreadInfo(ArgId(q, 1), &gi))
        return Fail("GetGUIThreadInfo failed (%lu)", GetLastError());
    Begin();
    PutF(",\"focus\":%llu", (unsigned long long)(UINT_PTR)gi.hwndFocus);
    Finish();
}

/* move HWND X Y W H: move and size a top-level window (the same as a user's drag). */
static void CmdMove(const Request *q)
{
    if (!SetWindowPos(q->h, NULL, (int)strtol(q->argv[2], NULL, 0),
                      (int)strtol(q->argv[3], NULL, 0), (int)strtol(q->argv[4], NULL, 0),
                      (int)strtol(q->argv[5], NULL, 0), SWP_NOZORDER | SWP_NOACTIVATE))
        return Fail("SetWindowPos failed (%lu)", GetLastError());
    Ok();
}

/* show HWND SW */
static void CmdShow(const Request *q)
{
    ShowWindowAsync(q->h, (int)Num(q->argv[2]));
    Ok();
}

/* The requests: name, the words they need (their own included), whether the second word
   must be a live window, and the usage shown when words are missing. */
static const struct {
    const char *name;
    int words;
    int window;
    const char *usage;
    void (*answer)(const Request *q);
} Requests[] = {
    {"find", 2, 0, "find CLASS [PID]", CmdFind},
    {"toplevel", 1, 0, "toplevel [PID]", CmdTopLevel},
    {"children", 2, 1, "children HWND", CmdChildren},
    {"info", 2, 1, "info HWND", CmdInfo},
    {"send", 3, 1, "send HWND MSG [WPARAM [LPARAM]]", CmdSend},
    {"post", 3, 1, "post HWND MSG [WPARAM [LPARAM]]", CmdPost},
    {"postall", 4, 1, "postall HWND MSG WPARAM...", CmdPostAll},
    {"settext", 2, 1, "settext HWND TEXT", CmdSetText},
    {"lb", 2, 1, "lb HWND", CmdListBox},
    {"lbrect", 3, 1, "lbrect HWND INDEX", CmdListRect},
    {"lbtext", 3, 1, "lbtext HWND INDEX", CmdListText},
    {"cbtext", 3, 1, "cbtext HWND INDEX", CmdComboText},
    {"cb", 2, 1, "cb HWND", CmdCombo},
    {"tab", 2, 1, "tab HWND", CmdTab},
    {"boxes", 2, 0, "boxes PID", CmdBoxes},
    {"press", 2, 1, "press HWND [ID]", CmdPress},
    {"capture", 3, 0, "capture HWND|0 PATH", CmdCapture},
    {"gdi", 2, 0, "gdi PID", CmdGdi},
    {"focus", 2, 0, "focus TID", CmdFocus},
    {"move", 6, 1, "move HWND X Y W H", CmdMove},
    {"show", 3, 1, "show HWND SW", CmdShow},
};

static void Answer(char *line)
{
    static char copy[4096];
    strcpy(copy, line);
    Request q = {NULL, 0, NULL, copy};
    static char *argv[64];
    for (char *tok = strtok(line, " "); tok && q.argc < 64; tok = strtok(NULL, " "))
        argv[q.argc++] = tok;
    q.argv = argv;
    /* The rest of the line after the request's first two words. */
    for (int skip = 0; skip < 2 && *q.rest; skip++) {
        while (*q.rest && *q.rest != ' ')
            q.rest++;
        while (*q.rest == ' ')
            q.rest++;
    }
    q.h = q.argc > 1 ? Hw(argv[1]) : NULL;
    for (size_t i = 0; i < sizeof Requests / sizeof Requests[0]; i++) {
        if (strcmp(argv[0], Requests[i].name) != 0)
            continue;
        if (q.argc < Requests[i].words)
            return Fail("usage: %s", Requests[i].usage);
        if (Requests[i].window && !IsWindow(q.h))
            return Fail("no window %s", argv[1]);
        return Requests[i].answer(&q);
    }
    Fail("unknown request %s", argv[0]);
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
        if (!strcmp(line, "quit"))
            break;
        if (strspn(line, " ") < n)
            Answer(line);
    }
    return 0;
}
