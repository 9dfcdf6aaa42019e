// Win32 implementation of the platform layer: files, fund listing, errors and the sinks.
#include "platform/platform.h"
#include "platform/navlist.h"
#include "platform/win32/win32.h"

#include <winsock.h>

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

char PlatPathSeparator(void)
{
    return '\\';
}

// ---------------------------------------------------------------------------------------
// Fund listing: FindFirstFileA on "*.NAV"; the list then sorts the names as NTFS
// collates, since FAT volumes, network shares and Wine return their own orders.

PlatNavListing *PlatNavListFirst(const char *dir)
{
    char pattern[MAX_PATH + 8];
    if (snprintf(pattern, sizeof pattern, "%s*.NAV", dir) >= (int)sizeof pattern)
        return nullptr;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE)
        return nullptr;
    PlatNavListing *listing = NavListNew();
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

void PlatShowMessage(const char *caption, const char *text, int icon)
{
    if (MessageSink) {
        MessageSink(caption, text, icon);
        return;
    }
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
    else if (Hwnd)
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
