// Win32 implementation of the platform layer: files, fund listing, errors, the sinks, sockets
// and programs.
#include "platform/platform.h"
#include "platform/navlist.h"
#include "platform/win32/win32.h"

#include <winsock.h>

#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

HWND Hwnd;
HMODULE WinsockModule;
HFONT MainFont;

PlatFile PlatOpenRead(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return h == INVALID_HANDLE_VALUE ? PLAT_NO_FILE : (PlatFile)h;
}

PlatFile PlatCreateWrite(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return h == INVALID_HANDLE_VALUE ? PLAT_NO_FILE : (PlatFile)h;
}

int PlatRead(PlatFile file, void *buffer, uint32_t size, uint32_t *got)
{
    DWORD n = 0;
    BOOL ok = ReadFile((HANDLE)file, buffer, size, &n, nullptr);
    *got = ok ? (uint32_t)n : 0;
    return ok ? 1 : 0;
}

int PlatWrite(PlatFile file, const void *buffer, uint32_t size, uint32_t *written)
{
    DWORD n = 0;
    BOOL ok = WriteFile((HANDLE)file, buffer, size, &n, nullptr);
    *written = (uint32_t)n;
    return ok ? 1 : 0;
}

int PlatRewind(PlatFile file)
{
    return SetFilePointer((HANDLE)file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

uint32_t PlatFileSize(PlatFile file)
{
    DWORD high = 0;
    DWORD low = GetFileSize((HANDLE)file, &high);
    return high ? 0xFFFFFFFFu : (uint32_t)low;
}

int PlatClose(PlatFile file)
{
    return CloseHandle((HANDLE)file) ? 1 : 0;
}

int PlatMoveFile(const char *from, const char *to)
{
    return MoveFileA(from, to) ? 1 : 0;
}

int PlatReplaceFile(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int PlatDeleteFile(const char *path)
{
    return DeleteFileA(path) ? 1 : 0;
}

int PlatIsDirectory(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int PlatPathExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int PlatIsSymbolicLink(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

char PlatPathSeparator(void)
{
    return '\\';
}

// ---------------------------------------------------------------------------------------
// Fund listing: FindFirstFileA on "*.NAV" (or "*.pending"); the list then sorts the names
// as NTFS collates, since FAT volumes, network shares and Wine return their own orders.

static PlatNavListing *ListDirectory(const char *dir, int pending)
{
    char pattern[MAX_PATH + 16];
    if (snprintf(pattern, sizeof pattern, "%s%s", dir, pending ? "*.pending" : "*.NAV") >=
        (int)sizeof pattern)
        return nullptr;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE)
        return nullptr;
    PlatNavListing *listing = NavListNew(pending);
    if (listing) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !NavListAdd(listing, data.cFileName))
                break;
        } while (FindNextFileA(find, &data));
    }
    FindClose(find);
    return NavListFinish(listing);
}

PlatNavListing *PlatNavListFirst(const char *dir)
{
    return ListDirectory(dir, 0);
}

PlatNavListing *PlatPendingListFirst(const char *dir)
{
    return ListDirectory(dir, 1);
}

// ---------------------------------------------------------------------------------------
// Errors.

uint32_t PlatLastError(void)
{
    return (uint32_t)GetLastError();
}

void PlatSetLastError(uint32_t code)
{
    SetLastError((DWORD)code);
}

void PlatAppendErrorText(uint32_t code, char *buffer, size_t size)
{
    if (size < 2)
        return;
    size_t used = strlen(buffer);
    if (used >= size - 1)
        return;
    // FormatMessageA fails rather than cut a text that does not fit; the buffer keeps
    // its terminator either way.
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        code, GetSystemDefaultLangID(), buffer + used,
                        (DWORD)(size - used), nullptr))
        buffer[used] = 0;
    buffer[size - 1] = 0;
}

int PlatLastSocketError(void)
{
    return WSAGetLastError();
}

void PlatAppendSocketErrorText(int code, char *buffer, size_t size)
{
    if (!WinsockModule || size < 2)
        return;
    size_t used = strlen(buffer);
    if (used >= size - 1)
        return;
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                            FORMAT_MESSAGE_IGNORE_INSERTS,
                        WinsockModule, (DWORD)code, GetSystemDefaultLangID(), buffer + used,
                        (DWORD)(size - used), nullptr))
        buffer[used] = 0;
    buffer[size - 1] = 0;
}

// ---------------------------------------------------------------------------------------
// Sinks.

static PlatMessageSink MessageSink;
static PlatProgressSink ProgressSink;
static PlatTextWidthFunc TextWidthFunc;

// Set once, by the main window's close while a job runs.
static volatile LONG StopFlag;
// The longest a wait that is a stop point goes without looking at the request.
#define STOP_SLICE_MS 100u

void PlatRequestStop(void)
{
    InterlockedExchange(&StopFlag, 1);
}

int PlatStopRequested(void)
{
    return InterlockedCompareExchange(&StopFlag, 0, 0) != 0;
}

void PlatStopPoint(void)
{
    if (PlatStopRequested())
        _endthreadex(0);
}

void PlatShowMessage(const char *caption, const char *text, int icon)
{
    if (MessageSink) {
        MessageSink(caption, text, icon);
        return;
    }
    // A job being stopped shows no more boxes: its thread would wait on them.
    if (PlatStopRequested())
        return;
    UINT type = MB_OK | (icon == PLAT_ICON_INFORMATION ? MB_ICONINFORMATION : MB_ICONHAND);
    MessageBoxA(Hwnd, text, caption, type);
}

void PlatSetMessageSink(PlatMessageSink sink)
{
    MessageSink = sink;
}

void PlatSendProgress(uint32_t code, const char *text)
{
    if (ProgressSink)
        ProgressSink(code, text);
    else if (Hwnd && !PlatStopRequested())
        SendMessageA(Hwnd, WM_VANTRY_PROGRESS, (WPARAM)code, (LPARAM)text);
}

void PlatPostProgress(uint32_t code)
{
    if (ProgressSink)
        ProgressSink(code, nullptr);
    else if (Hwnd)
        PostMessageA(Hwnd, WM_VANTRY_PROGRESS, (WPARAM)code, 0);
}

void PlatSetProgressSink(PlatProgressSink sink)
{
    ProgressSink = sink;
}

uint32_t PlatTextWidth(const char *text, uint32_t length)
{
    if (TextWidthFunc)
        return TextWidthFunc(text, length);
    HDC dc = GetDC(Hwnd);
    if (!dc)
        return 0;
    HGDIOBJ old = SelectObject(dc, MainFont ? (HGDIOBJ)MainFont : GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, (int)length, &extent);
    SelectObject(dc, old);
    ReleaseDC(Hwnd, dc);
    return extent.cx > 0 ? (uint32_t)extent.cx : 0;
}

void PlatSetTextWidthFunc(PlatTextWidthFunc func)
{
    TextWidthFunc = func;
}

// ---------------------------------------------------------------------------------------
// Sockets, with WinSock 1.1's calls (the main window's creation has started WinSock).

int PlatResolveHost(const char *host, uint8_t address[4])
{
    // A dotted address needs no look-up; older stacks' gethostbyname refuses one.
    unsigned long dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        memcpy(address, &dotted, 4);
        return 1;
    }
    struct hostent *found = gethostbyname(host);
    if (!found || found->h_addrtype != AF_INET || !found->h_addr_list[0])
        return 0;
    memcpy(address, found->h_addr_list[0], 4);
    return 1;
}

PlatSocket PlatSocketOpen(void)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? PLAT_NO_SOCKET : (PlatSocket)s;
}

static void FillAddress(struct sockaddr_in *in, const uint8_t address[4], uint16_t port)
{
    memset(in, 0, sizeof *in);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    if (address)
        memcpy(&in->sin_addr.s_addr, address, 4);
    else
        in->sin_addr.s_addr = htonl(INADDR_ANY);
}

int PlatSocketConnect(PlatSocket s, const uint8_t address[4], uint16_t port)
{
    struct sockaddr_in in;
    FillAddress(&in, address, port);
    return connect((SOCKET)s, (const struct sockaddr *)&in, sizeof in) == 0;
}

int PlatSocketReuseAddress(PlatSocket s)
{
    BOOL on = TRUE;
    return setsockopt((SOCKET)s, SOL_SOCKET, SO_REUSEADDR, (const char *)&on, sizeof on) == 0;
}

int PlatSocketBindAny(PlatSocket s)
{
    struct sockaddr_in in;
    FillAddress(&in, nullptr, 0);
    return bind((SOCKET)s, (const struct sockaddr *)&in, sizeof in) == 0;
}

int PlatSocketLocalName(PlatSocket s, uint8_t address[4], uint16_t *port)
{
    struct sockaddr_in in;
    int length = sizeof in;
    memset(&in, 0, sizeof in);
    if (getsockname((SOCKET)s, (struct sockaddr *)&in, &length) != 0)
        return 0;
    memcpy(address, &in.sin_addr.s_addr, 4);
    *port = ntohs(in.sin_port);
    return 1;
}

int PlatSocketListen(PlatSocket s, int backlog)
{
    return listen((SOCKET)s, backlog) == 0;
}

PlatSocket PlatSocketAccept(PlatSocket s, uint8_t peer[4])
{
    struct sockaddr_in in;
    int length = sizeof in;
    memset(&in, 0, sizeof in);
    SOCKET a = accept((SOCKET)s, (struct sockaddr *)&in, &length);
    memcpy(peer, &in.sin_addr.s_addr, 4);
    return a == INVALID_SOCKET ? PLAT_NO_SOCKET : (PlatSocket)a;
}

int PlatSocketAcceptLost(int code)
{
    return code == WSAECONNRESET || code == WSAECONNABORTED;
}

int PlatSocketWait(PlatSocket first, PlatSocket second, uint32_t milliseconds)
{
    // A stop point: the wait goes in slices, and a stop requested meanwhile ends the
    // calling thread between them.
    uint64_t end = PlatMilliseconds() + milliseconds;
    for (;;) {
        PlatStopPoint();
        uint64_t now = PlatMilliseconds();
        uint64_t left = now >= end ? 0 : end - now;
        uint32_t slice = left > STOP_SLICE_MS ? STOP_SLICE_MS : (uint32_t)left;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET((SOCKET)first, &readable);
        if (second != PLAT_NO_SOCKET)
            FD_SET((SOCKET)second, &readable);
        struct timeval limit;
        limit.tv_sec = (long)(slice / 1000u);
        limit.tv_usec = (long)(slice % 1000u) * 1000;
        // WinSock ignores the first argument; the sets carry the sockets.
        int rc = select(0, &readable, nullptr, nullptr, &limit);
        if (rc == SOCKET_ERROR)
            return -1;
        if (rc != 0)
            return FD_ISSET((SOCKET)first, &readable) ? 1 : 2;
        if (PlatMilliseconds() >= end)
            return 0;
    }
}

uint64_t PlatMilliseconds(void)
{
    return GetTickCount64();
}

int32_t PlatSocketSend(PlatSocket s, const void *data, uint32_t size)
{
    int n = send((SOCKET)s, (const char *)data, (int)size, 0);
    return n == SOCKET_ERROR ? -1 : (int32_t)n;
}

int32_t PlatSocketReceive(PlatSocket s, void *buffer, uint32_t size)
{
    int n = recv((SOCKET)s, (char *)buffer, (int)size, 0);
    return n == SOCKET_ERROR ? -1 : (int32_t)n;
}

void PlatSocketClose(PlatSocket s)
{
    if (s != PLAT_NO_SOCKET)
        closesocket((SOCKET)s);
}

// ---------------------------------------------------------------------------------------
// Programs.

PlatProcess PlatStartProgram(const char *commandLine)
{
    // CreateProcessA may write into its command line, so it gets a copy.
    size_t length = strlen(commandLine);
    char *line = (char *)malloc(length + 1);
    if (!line) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return PLAT_NO_PROCESS;
    }
    memcpy(line, commandLine, length + 1);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    memset(&info, 0, sizeof info);
    BOOL ok = CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info);
    DWORD error = GetLastError();
    free(line);
    if (!ok) {
        SetLastError(error);
        return PLAT_NO_PROCESS;
    }
    CloseHandle(info.hThread);
    return (PlatProcess)info.hProcess;
}

int PlatWaitProgram(PlatProcess process, uint32_t *exitCode)
{
    HANDLE h = (HANDLE)process;
    // A stop point, as the network's waits are.
    DWORD waited;
    do
        PlatStopPoint();
    while ((waited = WaitForSingleObject(h, STOP_SLICE_MS)) == WAIT_TIMEOUT);
    if (waited != WAIT_OBJECT_0) {
        DWORD error = GetLastError();
        if (h)
            CloseHandle(h);
        SetLastError(error);
        return 0;
    }
    DWORD code = 0;
    BOOL ok = GetExitCodeProcess(h, &code);
    DWORD error = GetLastError();
    CloseHandle(h);
    if (!ok) {
        SetLastError(error);
        return 0;
    }
    *exitCode = (uint32_t)code;
    return 1;
}

PlatFile PlatOpenWriteExisting(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? PLAT_NO_FILE : (PlatFile)h;
}

uint32_t PlatSeek(PlatFile file, uint32_t offset)
{
    DWORD at = SetFilePointer((HANDLE)file, (LONG)offset, nullptr, FILE_BEGIN);
    return at == INVALID_SET_FILE_POINTER ? 0xFFFFFFFFu : (uint32_t)at;
}
