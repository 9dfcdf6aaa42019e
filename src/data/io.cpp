// The buffered byte layer: its whole state is one set of variables per thread.
#include "data/io.h"

#include <string.h>

#include "base/errors.h"
#include "platform/platform.h"

thread_local uint32_t IoOpenCount;

static thread_local const char *IoPath;
static thread_local uint32_t IoAccess;
static thread_local unsigned char *IoBuffer;
static thread_local PlatFile IoHandle = PLAT_NO_FILE;
static thread_local uint32_t IoPosition;
static thread_local uint32_t IoCount;

// A read of 512 bytes is a system call; a data directory of thousands of fund files would
// spend more time entering the kernel than parsing. The fills come from this block, read
// from the file in one call, and stay 512 bytes each, so pushing back works as before.
static thread_local unsigned char IoAhead[IO_READ_AHEAD];
static thread_local uint32_t IoAheadAt;
static thread_local uint32_t IoAheadLeft;

static void ReportPathWin32(const char *format)
{
    // Keep the failed call's code: formatting the text must not replace it.
    uint32_t code = PlatLastError();
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, IoPath);
    PlatSetLastError(code);
    ReportWin32(text);
}

static void ReportPathError(const char *format)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, IoPath);
    ReportError(text);
}

int IoOpen(const char *path, uint32_t access, unsigned char *buffer)
{
    IoOpenCount++;
    IoPath = path;
    IoAccess = access;
    IoBuffer = buffer;
    IoPosition = 0;
    IoAheadLeft = 0;
    if (access == IO_GENERIC_READ) {
        IoHandle = PlatOpenRead(path);
        IoCount = 0;
    } else {
        IoHandle = PlatCreateWrite(path);
        IoCount = IO_BUFFER_SIZE;
    }
    if (IoHandle == PLAT_NO_FILE) {
        if (access == IO_GENERIC_READ && PlatLastError() == PLAT_ERROR_FILE_NOT_FOUND)
            return 0;
        ReportPathWin32("Can't open %s");
        return 0;
    }
    return 1;
}

int IoClose(void)
{
    int ok = PlatClose(IoHandle);
    IoHandle = PLAT_NO_FILE;
    if (!ok) {
        ReportPathWin32("CloseHandle(%s)");
        return 0;
    }
    return 1;
}

// The next fill of up to 512 bytes from the read-ahead block, refilled when empty.
// 0 on a read error; got is 0 at the end of the file.
static int ReadFill(uint32_t *got)
{
    if (IoAheadLeft == 0) {
        IoAheadAt = 0;
        if (!PlatRead(IoHandle, IoAhead, IO_READ_AHEAD, &IoAheadLeft)) {
            IoAheadLeft = 0;
            return 0;
        }
    }
    uint32_t n = IoAheadLeft < IO_BUFFER_SIZE ? IoAheadLeft : IO_BUFFER_SIZE;
    memcpy(IoBuffer, IoAhead + IoAheadAt, n);
    IoAheadAt += n;
    IoAheadLeft -= n;
    *got = n;
    return 1;
}

int IoXGetB(void)
{
    if (IoCount == 0) {
        IoPosition = 0;
        uint32_t got = 0;
        if (!ReadFill(&got)) {
            ReportPathWin32("ReadFile(%s)");
            return -1;
        }
        if (got == 0)
            return -1;
        IoCount = got;
    }
    IoCount--;
    return IoBuffer[IoPosition++];
}

int IoUngetB(void)
{
    if (IoPosition == 0) {
        ReportPathError("IoUngetB(%s)");
        return 0;
    }
    IoPosition--;
    IoCount++;
    return 1;
}

int IoXPutB(int byte)
{
    int result = 1;
    if (IoCount == 0)
        result = IoFlush();
    IoCount--;
    IoBuffer[IoPosition++] = (unsigned char)byte;
    return result;
}

int IoFlush(void)
{
    int result = 1;
    if (IoPosition > 0) {
        uint32_t written = 0;
        if (!PlatWrite(IoHandle, IoBuffer, IoPosition, &written)) {
            ReportPathWin32("WriteFile(%s)=FALSE");
            result = 0;
        } else if (written != IoPosition) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "WriteFile(%s), dw=%d", IoPath, (int)written);
            ReportError(text);
            result = 0;
        }
    }
    IoPosition = 0;
    IoCount = IO_BUFFER_SIZE;
    return result;
}

void IoRewind(void)
{
    IoPosition = 0;
    IoCount = IoAccess == IO_GENERIC_READ ? 0 : IO_BUFFER_SIZE;
    IoAheadLeft = 0;
    PlatRewind(IoHandle);
}

uint32_t IoFileSize(void)
{
    return PlatFileSize(IoHandle);
}
