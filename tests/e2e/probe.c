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
/* The request's error; when set, the answer is that error instead of the fields put. */
static char Error[400];

static void Put(const char *s, size_t n)
{
    if (OutLen + n >= sizeof Out) {
        OutOverflow = 1;
        return;
    }
    memcpy(Out + OutLen, s, n);
    OutLen += n;
}

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

/* The comma before a list's next element or an object's next field: none after an opening
   bracket or a key. */
static void PutComma(void)
{
    if (OutLen && Out[OutLen - 1] != '[' && Out[OutLen - 1] != ':')
        Put(",", 1);
}

/* A JSON string from bytes (n < 0: none); bytes above 127 are passed through (UTF-8 from
   the W calls, or the program's ANSI text, which the harness decodes leniently). */
static void PutJsonString(const char *s, int n)
{
    Put("\"", 1);
    for (int i = 0; i < n; i++) {
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

static void PutKeyString(const char *key, const char *s, int n)
{
    PutF(",\"%s\":", key);
    PutJsonString(s, n);
}

static void PutRect(const char *key, const RECT *r)
{
    PutF(",\"%s\":[%ld,%ld,%ld,%ld]", key, r->left, r->top, r->right, r->bottom);
}

/* An answer: ok, then the fields the request puts (each after a comma). */
static void Begin(void)
{
    OutLen = 0;
    OutOverflow = 0;
    Error[0] = 0;
    PutF("{\"ok\":true");
}

/* Writes the answer, or, when the request failed or its answer did not fit, the error
   in its place. */
static void Finish(void)
{
    if (OutOverflow || Error[0]) {
        const char *error = Error[0] ? Error : "reply too long";
        OutLen = 0;
        PutF("{\"ok\":false,\"error\":");
        PutJsonString(error, (int)strlen(error));
    }
    PutF("}\n");
    fwrite(Out, 1, OutLen, stdout);
    fflush(stdout);
}

/* Fails the request: its answer is this error, whatever fields it put. */
static void Fail(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(Error, sizeof Error, fmt, ap);
    va_end(ap);
}

static unsigned long long Num(const char *s) { return s ? strtoull(s, NULL, 0) : 0; }

static int Send(HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT *result)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(h, msg, w, l, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &r))
        return 0;
    *result = (LRESULT)r;
    return 1;
}

/* WM_GETTEXT is marshalled by the system across processes; a timeout leaves it empty. */
static int WindowText(HWND h, char *buf, int size)
{
    LRESULT len = 0;
    buf[0] = 0;
    if (!Send(h, WM_GETTEXT, (WPARAM)size, (LPARAM)buf, &len))
        return -1;
    if (len >= size)
        len = size - 1;
    buf[len] = 0;
    return (int)len;
}

/* Posts a message; on failure fails the request and returns 0. */
static int Post(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    if (PostMessageA(h, msg, w, l))
        return 1;
    Fail("PostMessage failed (%lu)", GetLastError());
    return 0;
}

static void PutWindow(HWND h)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(h, &r);
    PutComma();
    PutF("{\"hwnd\":%llu,\"id\":%ld,\"visible\":%d,\"enabled\":%d",
         (unsigned long long)(UINT_PTR)h, (long)GetDlgCtrlID(h), IsWindowVisible(h) ? 1 : 0,
         IsWindowEnabled(h) ? 1 : 0);
    PutRect("rect", &r);
    PutF("}");
}

/* Puts the windows proc puts, as a list under key: those EnumWindows gives, or (parent)
   EnumChildWindows. */
static void PutList(const char *key, WNDENUMPROC proc, HWND parent, LPARAM lp)
{
    PutF(",\"%s\":[", key);
    if (parent)
        EnumChildWindows(parent, proc, lp);
    else
        EnumWindows(proc, lp);
    PutF("]");
}

/* One request's words: argv[0] is its name, absent words are NULL (read as 0); h is argv[1]
   read as a window, rest is the line after the first two words (a path or a text, which may
   hold spaces). */
typedef struct {
    char **argv;
    int argc;
    HWND h;
    const char *rest;
} Request;

/* find CLASS: the first top-level window of that class (0: none yet) and its process. */
static void CmdFind(const Request *q)
{
    HWND found = FindWindowA(q->argv[1], NULL);
    DWORD pid = 0;
    GetWindowThreadProcessId(found, &pid);
    PutF(",\"hwnd\":%llu,\"pid\":%lu", (unsigned long long)(UINT_PTR)found, (unsigned long)pid);
}

static BOOL CALLBACK ChildProc(HWND h, LPARAM lp)
{
    if (GetParent(h) == (HWND)lp) /* direct children only */
        PutWindow(h);
    return TRUE;
}

static void CmdChildren(const Request *q) { PutList("children", ChildProc, q->h, (LPARAM)q->h); }

/* info HWND: the window, its text and the focus window of its thread (0 when unknown). */
static void CmdInfo(const Request *q)
{
    static char text[8192];
    int n = WindowText(q->h, text, sizeof text);
    GUITHREADINFO gi = {.cbSize = sizeof gi};
    GetGUIThreadInfo(GetWindowThreadProcessId(q->h, NULL), &gi);
    PutF(",\"window\":");
    PutWindow(q->h);
    PutKeyString("text", text, n);
    PutF(",\"focus\":%llu", (unsigned long long)(UINT_PTR)gi.hwndFocus);
}

/* post HWND MSG WPARAM...: one message per wParam, posted back to back, so that a burst
   of commands reaches the program within a fraction of a millisecond. */
static void CmdPost(const Request *q)
{
    for (int i = 3; i < q->argc; i++)
        if (!Post(q->h, (UINT)Num(q->argv[2]), (WPARAM)Num(q->argv[i]), 0))
            return;
}

/* send HWND MSG [WPARAM [LPARAM]] (LPARAM "-1" reads as all bits set) */
static void CmdSend(const Request *q)
{
    LRESULT r = 0;
    if (!Send(q->h, (UINT)Num(q->argv[2]), (WPARAM)Num(q->argv[3]), (LPARAM)Num(q->argv[4]), &r))
        return Fail("SendMessageTimeout failed (%lu)", GetLastError());
    PutF(",\"result\":%lld", (long long)r);
}

/* settext HWND TEXT: a window's text (an edit box's content) by WM_SETTEXT, whose string
   the system carries into the window's process. */
static void CmdSetText(const Request *q)
{
    LRESULT r = 0;
    if (!Send(q->h, WM_SETTEXT, 0, (LPARAM)q->rest, &r) || !r)
        Fail("WM_SETTEXT failed (%lu)", GetLastError());
}

/* lb HWND: count, selection, caret and top index of a list box. */
static void CmdListBox(const Request *q)
{
    HWND h = q->h;
    LRESULT count = 0, selcount = 0, caret = 0, top = 0, got = 0;
    static int items[4096];
    if (!Send(h, LB_GETCOUNT, 0, 0, &count) || !Send(h, LB_GETSELCOUNT, 0, 0, &selcount) ||
        !Send(h, LB_GETCARETINDEX, 0, 0, &caret) || !Send(h, LB_GETTOPINDEX, 0, 0, &top))
        return Fail("list box did not answer");
    if (selcount > 0 && !Send(h, LB_GETSELITEMS, (WPARAM)(selcount > 4096 ? 4096 : selcount),
                              (LPARAM)items, &got))
        return Fail("LB_GETSELITEMS did not answer");
    PutF(",\"count\":%lld,\"selcount\":%lld,\"caret\":%lld,\"top\":%lld,\"sel\":[",
         (long long)count, (long long)selcount, (long long)caret, (long long)top);
    for (LRESULT i = 0; i < got; i++) {
        PutComma();
        PutF("%d", items[i]);
    }
    PutF("]");
}

/* lbrect HWND INDEX: an item's rectangle in screen coordinates. */
static void CmdListRect(const Request *q)
{
    RECT r = {0, 0, 0, 0};
    LRESULT res = 0;
    if (!Send(q->h, LB_GETITEMRECT, (WPARAM)Num(q->argv[2]), (LPARAM)&r, &res) || res == LB_ERR)
        return Fail("LB_GETITEMRECT failed");
    MapWindowPoints(q->h, NULL, (POINT *)&r, 2);
    PutRect("screen", &r);
}

/* cb HWND: selection and every item's stored text of a combo box; across processes only the
   W calls are converted. */
static void CmdCombo(const Request *q)
{
    LRESULT count = 0, cursel = 0;
    static WCHAR w[4096];
    static char u[8192];
    if (!Send(q->h, CB_GETCOUNT, 0, 0, &count) || !Send(q->h, CB_GETCURSEL, 0, 0, &cursel))
        return Fail("combo box did not answer");
    PutF(",\"cursel\":%lld,\"items\":[", (long long)cursel);
    for (LRESULT i = 0; i < count; i++) {
        DWORD_PTR len = 0, got = 0;
        if (!SendMessageTimeoutW(q->h, CB_GETLBTEXTLEN, (WPARAM)i, 0, SMTO_ABORTIFHUNG,
                                 SEND_TIMEOUT_MS, &len) || (LRESULT)len == CB_ERR || len >= 4096 ||
            !SendMessageTimeoutW(q->h, CB_GETLBTEXT, (WPARAM)i, (LPARAM)w, SMTO_ABORTIFHUNG,
                                 SEND_TIMEOUT_MS, &got) || (LRESULT)got == CB_ERR)
            return Fail("text of item %lld failed", (long long)i);
        int n = got ? WideCharToMultiByte(CP_UTF8, 0, w, (int)got, u, sizeof u, NULL, NULL) : 0;
        PutComma();
        PutJsonString(u, n);
    }
    PutF("]");
}

/* tab HWND: count, current selection, and every item's text and rectangle. The control's
   items and rectangles are pointers the system does not marshal, so they are read and
   written in memory of the control's process, laid out as a RemoteTab. */
typedef struct {
    TCITEMA item;
    RECT rect;
    char text[1024];
} RemoteTab;

static void CmdTab(const Request *q)
{
    HWND h = q->h;
    LRESULT count = 0, cur = 0;
    if (!Send(h, TCM_GETITEMCOUNT, 0, 0, &count) || !Send(h, TCM_GETCURSEL, 0, 0, &cur))
        return Fail("tab control did not answer");
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    RemoteTab *remote = process ? VirtualAllocEx(process, NULL, sizeof(RemoteTab),
                                                 MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                                : NULL;
    if (!remote) {
        Fail("remote memory not available (%lu)", GetLastError());
        if (process)
            CloseHandle(process);
        return;
    }
    PutF(",\"count\":%lld,\"cur\":%lld,\"items\":[", (long long)count, (long long)cur);
    for (LRESULT i = 0; i < count && i < 256; i++) {
        static RemoteTab local;
        TCITEMA item = {.mask = TCIF_TEXT, .pszText = remote->text,
                        .cchTextMax = sizeof local.text};
        LRESULT ok = 0, okRect = 0;
        WriteProcessMemory(process, &remote->item, &item, sizeof item, NULL);
        Send(h, TCM_GETITEMA, (WPARAM)i, (LPARAM)&remote->item, &ok);
        Send(h, TCM_GETITEMRECT, (WPARAM)i, (LPARAM)&remote->rect, &okRect);
        memset(&local, 0, sizeof local);
        ReadProcessMemory(process, remote, &local, sizeof local, NULL);
        /* The control may answer with its own buffer rather than the one offered. */
        if (!ok || !local.item.pszText)
            local.text[0] = 0;
        else if (local.item.pszText != remote->text)
            ReadProcessMemory(process, local.item.pszText, local.text, sizeof local.text, NULL);
        local.text[sizeof local.text - 1] = 0;
        PutComma();
        PutF("{\"text\":");
        PutJsonString(local.text, (int)strlen(local.text));
        PutRect("rect", &local.rect);
        PutF("}");
    }
    PutF("]");
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
}

/* boxes PID: message boxes and dialogs (#32770) of one process, with their static texts and
   buttons. */
static BOOL CALLBACK BoxChildProc(HWND h, LPARAM lp)
{
    char cls[64], text[1024];
    (void)lp;
    GetClassNameA(h, cls, sizeof cls);
    if (_stricmp(cls, "Button") != 0)
        return TRUE;
    int len = WindowText(h, text, sizeof text);
    PutComma();
    PutF("{\"id\":%ld", (long)GetDlgCtrlID(h));
    PutKeyString("text", text, len);
    PutF("}");
    return TRUE;
}

static BOOL CALLBACK BoxProc(HWND h, LPARAM lp)
{
    char cls[64];
    static char caption[1024], text[8192];
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != (DWORD)lp || !GetClassNameA(h, cls, sizeof cls) || strcmp(cls, "#32770") != 0 ||
        !IsWindowVisible(h))
        return TRUE;
    int clen = GetWindowTextA(h, caption, sizeof caption);
    HWND st = GetDlgItem(h, 0xFFFF);
    int tlen = st ? WindowText(st, text, sizeof text) : 0;
    PutComma();
    PutF("{\"hwnd\":%llu", (unsigned long long)(UINT_PTR)h);
    PutKeyString("caption", caption, clen);
    PutKeyString("text", text, tlen);
    PutF(",\"buttons\":[");
    EnumChildWindows(h, BoxChildProc, 0);
    PutF("]}");
    return TRUE;
}

static void CmdBoxes(const Request *q)
{
    PutList("boxes", BoxProc, NULL, (LPARAM)(DWORD)Num(q->argv[1]));
}

/* press HWND [ID]: a button of a box, by a posted command (a send would wait for the box's
   own message loop to finish, which for a modal box is the caller's). */
static void CmdPress(const Request *q)
{
    WPARAM id = q->argc > 2 ? (WPARAM)Num(q->argv[2]) : IDOK;
    Post(q->h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(q->h, (int)id));
}

/* capture HWND|0 PATH: the window's screen rectangle (0: the whole screen) as a 24-bit BMP.
   Only the screen's device context gives pixels of another process's window under Wine. */
static void CmdCapture(const Request *q)
{
    RECT r;
    if (!GetWindowRect(q->h ? q->h : GetDesktopWindow(), &r))
        return Fail("no window %s", q->argv[1]);
    int w = r.right - r.left, hgt = r.bottom - r.top;
    if (w <= 0 || hgt <= 0)
        return Fail("empty rectangle %ldx%ld", (long)w, (long)hgt);
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    DWORD imageSize = (((DWORD)w * 3 + 3) & ~3u) * (DWORD)hgt;
    /* bottom-up, as a BMP file stores it */
    BITMAPINFOHEADER bi = {sizeof bi, w, hgt, 1, 24, BI_RGB, imageSize, 0, 0, 0, 0};
    BITMAPFILEHEADER fh = {0x4D42, sizeof fh + sizeof bi + imageSize, 0, 0, sizeof fh + sizeof bi};
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(screen, (BITMAPINFO *)&bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = bmp && mem ? SelectObject(mem, bmp) : NULL;
    BOOL blit = old && BitBlt(mem, 0, 0, w, hgt, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    FILE *f = blit ? fopen(q->rest, "wb") : NULL;
    int written = f && fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi, sizeof bi, 1, f) == 1 &&
                  fwrite(bits, 1, imageSize, f) == imageSize;
    written = f && fclose(f) == 0 && written;
    if (old)
        SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    if (!blit)
        Fail("no capture of the screen (%lu)", GetLastError());
    else if (!written)
        Fail("cannot write %s", q->rest);
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
    /* The table is the process's own, so every live entry is its object, except the stock
       objects (the top bit of the unique field's low byte), made at start-up. */
    for (SIZE_T i = 0; i < read / sizeof entries[0]; i++)
        count += entries[i].Type && !(entries[i].Unique & 0x80);
    return count;
}

/* gdi PID: the process's GDI object count from its handle table. */
static void CmdGdi(const Request *q)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                 (DWORD)Num(q->argv[1]));
    if (!process)
        return Fail("OpenProcess(%s) failed (%lu)", q->argv[1], GetLastError());
    long count = CountGdiFromTable(process);
    CloseHandle(process);
    if (count < 0)
        return Fail("no GDI handle table to count (step %ld)", -count);
    PutF(",\"count\":%ld", count);
}

/* move HWND X Y W H: move and size a top-level window (the same as a user's drag). */
static void CmdMove(const Request *q)
{
    if (!SetWindowPos(q->h, NULL, (int)Num(q->argv[2]), (int)Num(q->argv[3]),
                      (int)Num(q->argv[4]), (int)Num(q->argv[5]), SWP_NOZORDER | SWP_NOACTIVATE))
        Fail("SetWindowPos failed (%lu)", GetLastError());
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
    {"find", 2, 0, "find CLASS", CmdFind},
    {"children", 2, 1, "children HWND", CmdChildren},
    {"info", 2, 1, "info HWND", CmdInfo},
    {"send", 3, 1, "send HWND MSG [WPARAM [LPARAM]]", CmdSend},
    {"post", 4, 1, "post HWND MSG WPARAM...", CmdPost},
    {"settext", 2, 1, "settext HWND TEXT", CmdSetText},
    {"lb", 2, 1, "lb HWND", CmdListBox},
    {"lbrect", 3, 1, "lbrect HWND INDEX", CmdListRect},
    {"cb", 2, 1, "cb HWND", CmdCombo},
    {"tab", 2, 1, "tab HWND", CmdTab},
    {"boxes", 2, 0, "boxes PID", CmdBoxes},
    {"press", 2, 1, "press HWND [ID]", CmdPress},
    {"capture", 3, 0, "capture HWND|0 PATH", CmdCapture},
    {"gdi", 2, 0, "gdi PID", CmdGdi},
    {"move", 6, 1, "move HWND X Y W H", CmdMove},
};

static void Answer(char *line)
{
    static char copy[4096];
    strcpy(copy, line);
    Request q = {NULL, 0, NULL, copy};
    static char *argv[65];
    memset(argv, 0, sizeof argv);
    for (char *tok = strtok(line, " "); tok && q.argc < 64; tok = strtok(NULL, " "))
        argv[q.argc++] = tok;
    q.argv = argv;
    /* The rest of the line after the request's first two words: from the third word on. */
    q.rest = argv[2] ? copy + (argv[2] - line) : "";
    q.h = (HWND)(UINT_PTR)Num(argv[1]);
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
        if (strspn(line, " ") >= n)
            continue;
        Begin();
        Answer(line);
        Finish();
    }
    return 0;
}
