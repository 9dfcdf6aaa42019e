// The buffered byte layer: its whole state is one record per thread.
#include "data/io.h"

#include <string.h>

#include "base/errors.h"
#include "platform/platform.h"

thread_local uint32_t IoOpenCount;

// The layer's state on one thread, in one record: on Windows every thread-local variable
// is found through a call, and the byte functions then make one such call, not three.
struct IoState {
    const char *path;
    uint32_t access;
    unsigned char *buffer;
    PlatFile handle;
    uint32_t position;
    uint32_t count;
    // A read of 512 bytes is a system call; a data directory of thousands of fund files
    // would spend more time entering the kernel than parsing. The fills come from this
    // block, read from the file in one call, and stay 512 bytes each, so pushing back
    // works as before.
    uint32_t aheadAt;
    uint32_t aheadLeft;
    unsigned char ahead[IO_READ_AHEAD];
};
// Constant-initialized (no constructor), so that reaching it needs no first-use check.
static thread_local IoState Io = {nullptr, 0, nullptr, PLAT_NO_FILE, 0, 0, 0, 0, {}};

static void ReportPathWin32(const char *format)
{
    // Keep the failed call's code: formatting the text, and on Windows even finding the
    // thread's state, must not replace it.
    uint32_t code = PlatLastError();
    IoState *s = &Io;
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, s->path);
    PlatSetLastError(code);
    ReportWin32(text);
}

static void ReportPathError(const char *format)
{
    IoState *s = &Io;
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, s->path);
    ReportError(text);
}

int IoOpen(const char *path, uint32_t access, unsigned char *buffer)
{
    IoState *s = &Io;
    IoOpenCount++;
    s->path = path;
    s->access = access;
    s->buffer = buffer;
    s->position = 0;
    s->aheadLeft = 0;
    if (access == IO_GENERIC_READ) {
        s->handle = PlatOpenRead(path);
        s->count = 0;
    } else {
        s->handle = PlatCreateWrite(path);
        s->count = IO_BUFFER_SIZE;
    }
    if (s->handle == PLAT_NO_FILE) {
        if (access == IO_GENERIC_READ && PlatLastError() == PLAT_ERROR_FILE_NOT_FOUND)
            return 0;
        ReportPathWin32("Can't open %s");
        return 0;
    }
    return 1;
}

int IoClose(void)
{
    IoState *s = &Io;
    int ok = PlatClose(s->handle);
    s->handle = PLAT_NO_FILE;
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
    IoState *s = &Io;
    if (s->aheadLeft == 0) {
        s->aheadAt = 0;
        if (!PlatRead(s->handle, s->ahead, IO_READ_AHEAD, &s->aheadLeft)) {
            s->aheadLeft = 0;
            return 0;
        }
    }
    uint32_t n = s->aheadLeft < IO_BUFFER_SIZE ? s->aheadLeft : IO_BUFFER_SIZE;
    memcpy(s->buffer, s->ahead + s->aheadAt, n);
    s->aheadAt += n;
    s->aheadLeft -= n;
    *got = n;
    return 1;
}

// Refills a used-up fill; the bytes left in it after that (0 at the end of the file or
// after a read error).
static uint32_t BytesLeft(IoState *s)
{
    if (s->count == 0) {
        s->position = 0;
        uint32_t got = 0;
        if (!ReadFill(&got))
            ReportPathWin32("ReadFile(%s)");
        s->count = got;
    }
    return s->count;
}

const unsigned char *IoFill(uint32_t *count)
{
    IoState *s = &Io;
    *count = BytesLeft(s);
    return s->buffer + s->position;
}

void IoTake(uint32_t n)
{
    IoState *s = &Io;
    s->position += n;
    s->count -= n;
}

int IoXGetB(void)
{
    IoState *s = &Io;
    if (BytesLeft(s) == 0)
        return -1;
    s->count--;
    return s->buffer[s->position++];
}

int IoUngetB(void)
{
    IoState *s = &Io;
    if (s->position == 0) {
        ReportPathError("IoUngetB(%s)");
        return 0;
    }
    s->position--;
    s->count++;
    return 1;
}

int IoXPutB(int byte)
{
    IoState *s = &Io;
    int result = 1;
    if (s->count == 0)
        result = IoFlush();
    s->count--;
    s->buffer[s->position++] = (unsigned char)byte;
    return result;
}

int IoFlush(void)
{
    IoState *s = &Io;
    int result = 1;
    if (s->position > 0) {
        uint32_t written = 0;
        if (!PlatWrite(s->handle, s->buffer, s->position, &written)) {
            ReportPathWin32("WriteFile(%s)=FALSE");
            result = 0;
        } else if (written != s->position) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "WriteFile(%s), dw=%d", s->path, (int)written);
            ReportError(text);
            result = 0;
        }
    }
    s->position = 0;
    s->count = IO_BUFFER_SIZE;
    return result;
}

void IoRewind(void)
{
    IoState *s = &Io;
    s->position = 0;
    s->count = s->access == IO_GENERIC_READ ? 0 : IO_BUFFER_SIZE;
    s->aheadLeft = 0;
    PlatRewind(s->handle);
}

uint32_t IoFileSize(void)
{
    IoState *s = &Io;
    return PlatFileSize(s->handle);
}
