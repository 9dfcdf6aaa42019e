// POSIX implementation of the platform layer: files, fund listing, errors and the sinks.
#include "platform/platform.h"

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
// Fund listing. readdir's order is arbitrary; NTFS returns names in the order of their
// upper-cased UTF-16 code units, so the names are sorted that way here (bytes above 0x7F
// are compared as they stand), which makes both platforms load funds in the same order.

struct PlatNavListing {
    char **names;
    size_t count;
    size_t current;
};

static int IsNavName(const char *name)
{
    size_t n = strlen(name);
    if (n < 4)
        return 0;
    const char *ext = name + n - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'n' && (ext[2] | 0x20) == 'a' &&
           (ext[3] | 0x20) == 'v';
}

static int UpperByte(int c)
{
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

static int CompareNtfsOrder(const void *a, const void *b)
{
    const unsigned char *x = *(const unsigned char *const *)a;
    const unsigned char *y = *(const unsigned char *const *)b;
    for (;; x++, y++) {
        int cx = UpperByte(*x), cy = UpperByte(*y);
        if (cx != cy)
            return cx - cy;
        if (cx == 0)
            break;
    }
    // Names differing only in case cannot both exist on NTFS; keep a fixed order anyway.
    return strcmp(*(const char *const *)a, *(const char *const *)b);
}

static void FreeListing(PlatNavListing *listing)
{
    for (size_t i = 0; i < listing->count; i++)
        free(listing->names[i]);
    free(listing->names);
    free(listing);
}

PlatNavListing *PlatNavListFirst(const char *dir)
{
    DIR *d = opendir(dir);
    if (!d)
        return nullptr;
    PlatNavListing *listing = (PlatNavListing *)calloc(1, sizeof *listing);
    size_t room = 0;
    size_t dirLength = strlen(dir);
    char *path = (char *)malloc(dirLength + 257);
    if (!listing || !path) {
        free(listing);
        free(path);
        closedir(d);
        return nullptr;
    }
    memcpy(path, dir, dirLength);
    struct dirent *e;
    while ((e = readdir(d)) != nullptr) {
        size_t nameLength = strlen(e->d_name);
        if (!IsNavName(e->d_name) || nameLength > 255)
            continue;
        memcpy(path + dirLength, e->d_name, nameLength + 1);
        struct stat st;
        if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (listing->count == room) {
            size_t newRoom = room ? room * 2 : 64;
            char **grown = (char **)realloc(listing->names, newRoom * sizeof(char *));
            if (!grown)
                break;
            listing->names = grown;
            room = newRoom;
        }
        char *copy = strdup(e->d_name);
        if (!copy)
            break;
        listing->names[listing->count++] = copy;
    }
    closedir(d);
    free(path);
    if (listing->count == 0) {
        FreeListing(listing);
        return nullptr;
    }
    qsort(listing->names, listing->count, sizeof(char *), CompareNtfsOrder);
    return listing;
}

const char *PlatNavListName(PlatNavListing *listing)
{
    return listing->names[listing->current];
}

int PlatNavListNext(PlatNavListing *listing)
{
    if (listing->current + 1 >= listing->count)
        return 0;
    listing->current++;
    return 1;
}

void PlatNavListClose(PlatNavListing *listing)
{
    if (listing)
        FreeListing(listing);
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
