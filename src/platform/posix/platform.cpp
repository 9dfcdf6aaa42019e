// POSIX implementation of the platform layer: files, fund listing, errors, the sinks, sockets
// and programs.
#include "platform/platform.h"
#include "platform/navlist.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
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

int PlatPathExists(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0;
}

int PlatIsSymbolicLink(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

char PlatPathSeparator(void)
{
    return '/';
}

// ---------------------------------------------------------------------------------------
// Fund listing: every regular *.NAV (or *.pending) entry of the directory; readdir's order
// is arbitrary, so the list sorts them as NTFS lists names.

static PlatNavListing *ListDirectory(const char *dir, int pending)
{
    DIR *d = opendir(dir);
    if (!d)
        return nullptr;
    PlatNavListing *listing = NavListNew(pending);
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

static volatile int StopFlag;
// The longest a wait that is a stop point goes without looking at the request.
#define STOP_SLICE_MS 100u

void PlatRequestStop(void)
{
    __atomic_store_n(&StopFlag, 1, __ATOMIC_SEQ_CST);
}

int PlatStopRequested(void)
{
    return __atomic_load_n(&StopFlag, __ATOMIC_SEQ_CST) != 0;
}

void PlatStopPoint(void)
{
    if (PlatStopRequested())
        pthread_exit(nullptr);
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

// ---------------------------------------------------------------------------------------
// Sockets. Every descriptor is close-on-exec, so the unzip program inherits none of them.


int PlatResolveHost(const char *host, uint8_t address[4])
{
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    int rc = getaddrinfo(host, nullptr, &hints, &found);
    if (rc != 0 || !found) {
        // The resolver's codes are not errno values; POSIX has no errno for "host not
        // found", so the nearest one stands in for WinSock's.
        if (rc != EAI_SYSTEM)
            errno = EHOSTUNREACH;
        return 0;
    }
    const struct sockaddr_in *in = (const struct sockaddr_in *)found->ai_addr;
    memcpy(address, &in->sin_addr.s_addr, 4);
    freeaddrinfo(found);
    return 1;
}

PlatSocket PlatSocketOpen(void)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? PLAT_NO_SOCKET : (PlatSocket)fd;
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
    int rc;
    do
        rc = connect((int)s, (const struct sockaddr *)&in, sizeof in);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

int PlatSocketReuseAddress(PlatSocket s)
{
    int on = 1;
    return setsockopt((int)s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

int PlatSocketBindAny(PlatSocket s)
{
    struct sockaddr_in in;
    FillAddress(&in, nullptr, 0);
    return bind((int)s, (const struct sockaddr *)&in, sizeof in) == 0;
}

int PlatSocketLocalName(PlatSocket s, uint8_t address[4], uint16_t *port)
{
    struct sockaddr_in in;
    socklen_t length = sizeof in;
    memset(&in, 0, sizeof in);
    if (getsockname((int)s, (struct sockaddr *)&in, &length) != 0)
        return 0;
    memcpy(address, &in.sin_addr.s_addr, 4);
    *port = ntohs(in.sin_port);
    return 1;
}

int PlatSocketListen(PlatSocket s, int backlog)
{
    return listen((int)s, backlog) == 0;
}

PlatSocket PlatSocketAccept(PlatSocket s, uint8_t peer[4])
{
    struct sockaddr_in in;
    socklen_t length;
    int fd;
    memset(&in, 0, sizeof in);
    do {
        length = sizeof in;
        fd = accept4((int)s, (struct sockaddr *)&in, &length, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    memcpy(peer, &in.sin_addr.s_addr, 4);
    return fd < 0 ? PLAT_NO_SOCKET : (PlatSocket)fd;
}

int PlatSocketAcceptLost(int code)
{
    return code == ECONNABORTED || code == ECONNRESET;
}

// poll rather than select: a descriptor number above FD_SETSIZE would overrun an fd_set.
int PlatSocketWait(PlatSocket first, PlatSocket second, uint32_t milliseconds)
{
    // A stop point: the wait goes in slices, and a stop requested meanwhile ends the
    // calling thread between them.
    uint64_t end = PlatMilliseconds() + milliseconds;
    for (;;) {
        PlatStopPoint();
        uint64_t now = PlatMilliseconds();
        uint64_t left = now >= end ? 0 : end - now;
        int slice = left > STOP_SLICE_MS ? (int)STOP_SLICE_MS : (int)left;
        struct pollfd p[2] = {{(int)first, POLLIN, 0}, {(int)second, POLLIN, 0}};
        nfds_t count = second == PLAT_NO_SOCKET ? 1 : 2;
        int rc = poll(p, count, slice);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            return rc;
        if (rc > 0)
            return (p[0].revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 2;
        if (PlatMilliseconds() >= end)
            return 0;
    }
}

uint64_t PlatMilliseconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000u + (uint64_t)t.tv_nsec / 1000000u;
}

int32_t PlatSocketSend(PlatSocket s, const void *data, uint32_t size)
{
    ssize_t n;
    // MSG_NOSIGNAL: a server that has closed must give an error, not end the process.
    do
        n = send((int)s, data, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : (int32_t)n;
}

int32_t PlatSocketReceive(PlatSocket s, void *buffer, uint32_t size)
{
    ssize_t n;
    do
        n = recv((int)s, buffer, size, 0);
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : (int32_t)n;
}

void PlatSocketClose(PlatSocket s)
{
    if (s != PLAT_NO_SOCKET)
        close((int)s);
}

// ---------------------------------------------------------------------------------------
// Programs. The command line is split into words as the Windows runtime splits it, so a
// SETTINGS file means the same on both platforms.

extern char **environ;

// Appends one word of line (from *at) to out and moves *at past it. The program's name
// (first) ends at its closing quote and knows no escapes; the arguments follow the
// runtime's rules: 2n backslashes before a quote give n and the quote toggles quoting,
// 2n+1 give n and a literal quote, other backslashes are literal.
static void TakeWord(const char **at, char *out, int first)
{
    const char *p = *at;
    size_t n = 0;
    int quoted = 0;
    if (first) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"')
                out[n++] = *p++;
            if (*p == '"')
                p++;
        } else {
            while (*p && *p != ' ' && *p != '\t')
                out[n++] = *p++;
        }
        out[n] = 0;
        *at = p;
        return;
    }
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
        if (*p == '\\') {
            size_t slashes = 0;
            while (*p == '\\') {
                slashes++;
                p++;
            }
            if (*p == '"') {
                for (size_t i = 0; i < slashes / 2; i++)
                    out[n++] = '\\';
                if (slashes % 2) {
                    out[n++] = '"';
                    p++;
                }
            } else {
                for (size_t i = 0; i < slashes; i++)
                    out[n++] = '\\';
            }
            continue;
        }
        if (*p == '"') {
            // A doubled quote inside quotes is a literal quote.
            if (quoted && p[1] == '"') {
                out[n++] = '"';
                p += 2;
                continue;
            }
            quoted = !quoted;
            p++;
            continue;
        }
        out[n++] = *p++;
    }
    out[n] = 0;
    *at = p;
}

PlatProcess PlatStartProgram(const char *commandLine)
{
    size_t length = strlen(commandLine);
    // Every word is shorter than the line, and there are fewer words than bytes + 1.
    char *words = (char *)malloc(2 * length + 2);
    char **argv = (char **)malloc((length / 2 + 2) * sizeof(char *));
    if (!words || !argv) {
        free(words);
        free(argv);
        errno = ENOMEM;
        return PLAT_NO_PROCESS;
    }
    size_t count = 0;
    char *out = words;
    const char *p = commandLine;
    while (*p == ' ' || *p == '\t')
        p++;
    while (*p) {
        TakeWord(&p, out, count == 0);
        argv[count++] = out;
        out += strlen(out) + 1;
        while (*p == ' ' || *p == '\t')
            p++;
    }
    argv[count] = nullptr;
    pid_t pid = -1;
    int rc = count ? posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) : ENOENT;
    free(words);
    free(argv);
    if (rc != 0) {
        errno = rc;
        return PLAT_NO_PROCESS;
    }
    return (PlatProcess)pid;
}

int PlatWaitProgram(PlatProcess process, uint32_t *exitCode)
{
    // A stop point, as the network's waits are: the program is looked at every 20 ms.
    int status = 0;
    pid_t rc;
    for (;;) {
        PlatStopPoint();
        rc = waitpid((pid_t)process, &status, WNOHANG);
        if (rc != 0 && !(rc < 0 && errno == EINTR))
            break;
        struct timespec pause = {0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    if (rc < 0)
        return 0;
    if (WIFEXITED(status))
        *exitCode = (uint32_t)WEXITSTATUS(status);
    else
        *exitCode = 128u + (uint32_t)(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return 1;
}

PlatFile PlatOpenWriteExisting(const char *path)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    return fd < 0 ? PLAT_NO_FILE : (PlatFile)fd;
}

uint32_t PlatSeek(PlatFile file, uint32_t offset)
{
    off_t at = lseek((int)file, (off_t)offset, SEEK_SET);
    return at < 0 ? 0xFFFFFFFFu : (uint32_t)at;
}
