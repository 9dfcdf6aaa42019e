// POSIX implementation of the platform layer: files, fund listing, errors and the sinks.
#include "platform/platform.h"
#include "platform/navlist.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

PlatFile PlatOpenRead(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return PLAT_NO_FILE;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // Windows refuses to open a directory as a file with "access denied".
        close(fd);
        errno = EACCES;
        return PLAT_NO_FILE;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return (PlatFile)fd;
}

PlatFile PlatCreateWrite(const char *path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? PLAT_NO_FILE : (PlatFile)fd;
}

int PlatRead(PlatFile file, void *buffer, uint32_t size, uint32_t *got)
{
    ssize_t n;
    do
        n = read((int)file, buffer, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        *got = 0;
        return 0;
    }
    *got = (uint32_t)n;
    return 1;
}

int PlatWrite(PlatFile file, const void *buffer, uint32_t size, uint32_t *written)
{
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = write((int)file, (const char *)buffer + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *written = done;
            return 0;
        }
        if (n == 0)
            break;
        done += (uint32_t)n;
    }
    *written = done;
    return 1;
}

int PlatRewind(PlatFile file)
{
    return lseek((int)file, 0, SEEK_SET) == 0;
}

uint32_t PlatFileSize(PlatFile file)
{
    struct stat st;
    if (fstat((int)file, &st) != 0)
        return 0xFFFFFFFFu;
    if ((unsigned long long)st.st_size > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    return (uint32_t)st.st_size;
}

int PlatClose(PlatFile file)
{
    return close((int)file) == 0;
}

int PlatMoveFile(const char *from, const char *to)
{
    // MoveFile never replaces an existing target.
    if (access(to, F_OK) == 0) {
        errno = EEXIST;
        return 0;
    }
    return rename(from, to) == 0;
}

int PlatReplaceFile(const char *from, const char *to)
{
    return rename(from, to) == 0;
}

int PlatDeleteFile(const char *path)
{
    return unlink(path) == 0;
}

int PlatIsDirectory(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

char PlatPathSeparator(void)
{
    return '/';
}

// ---------------------------------------------------------------------------------------
// Fund listing: every regular *.NAV entry of the directory; readdir's order is arbitrary,
// so the list sorts them as NTFS lists names.

PlatNavListing *PlatNavListFirst(const char *dir)
{
    DIR *d = opendir(dir);
    if (!d)
        return nullptr;
    PlatNavListing *listing = NavListNew();
    size_t dirLength = strlen(dir);
    char *path = (char *)malloc(dirLength + 257);
    if (listing && path) {
        memcpy(path, dir, dirLength);
        struct dirent *e;
        while ((e = readdir(d)) != nullptr) {
            size_t nameLength = strlen(e->d_name);
            if (nameLength > 255)
                continue;
            memcpy(path + dirLength, e->d_name, nameLength + 1);
            struct stat st;
            if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
                continue;
            if (!NavListAdd(listing, e->d_name))
                break;
        }
    }
    closedir(d);
    free(path);
    return NavListFinish(listing);
}

// ---------------------------------------------------------------------------------------
// Errors.

uint32_t PlatLastError(void)
{
    return errno == ENOENT ? PLAT_ERROR_FILE_NOT_FOUND : (uint32_t)errno;
}

void PlatSetLastError(uint32_t code)
{
    errno = (int)code;
}

static void AppendText(const char *text, char *buffer, size_t size)
{
    if (size < 2)
        return;
    size_t used = strlen(buffer);
    if (used >= size - 1)
        return;
    size_t room = size - 1 - used;
    size_t n = strlen(text);
    if (n > room)
        n = room;
    memcpy(buffer + used, text, n);
    buffer[used + n] = 0;
}

void PlatAppendErrorText(uint32_t code, char *buffer, size_t size)
{
    AppendText(strerror((int)code), buffer, size);
}

int PlatLastSocketError(void)
{
    return errno;
}

void PlatAppendSocketErrorText(int code, char *buffer, size_t size)
{
    AppendText(strerror(code), buffer, size);
}

// ---------------------------------------------------------------------------------------
// Sinks. Without a sink, a message box becomes its caption and text on standard error.

static PlatMessageSink MessageSink;
static PlatProgressSink ProgressSink;
static PlatTextWidthFunc TextWidthFunc;

void PlatShowMessage(const char *caption, const char *text, int icon)
{
    if (MessageSink) {
        MessageSink(caption, text, icon);
        return;
    }
    fprintf(stderr, "[%s] %s\n", caption, text);
}

void PlatSetMessageSink(PlatMessageSink sink)
{
    MessageSink = sink;
}

void PlatSendProgress(uint32_t code, const char *text)
{
    if (ProgressSink)
        ProgressSink(code, text);
}

void PlatPostProgress(uint32_t code)
{
    if (ProgressSink)
        ProgressSink(code, nullptr);
}

void PlatSetProgressSink(PlatProgressSink sink)
{
    ProgressSink = sink;
}

uint32_t PlatTextWidth(const char *text, uint32_t length)
{
    if (TextWidthFunc)
        return TextWidthFunc(text, length);
    return length * 7;
}

void PlatSetTextWidthFunc(PlatTextWidthFunc func)
{
    TextWidthFunc = func;
}
