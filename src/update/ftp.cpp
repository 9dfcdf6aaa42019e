// The update session: FTP in active mode with the update server, then the update file or
// the unzip program.
#include "update/ftp.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "platform/platform.h"
#include "update/backup.h"
#include "update/updatefile.h"

// The build's choice (CMake cache variables VANTRY_UPDATE_HOST, VANTRY_UPDATE_PORT,
// VANTRY_UPDATE_TIMEOUT).
#ifndef VANTRY_UPDATE_HOST
#define VANTRY_UPDATE_HOST "localhost"
#endif
#ifndef VANTRY_UPDATE_PORT
#define VANTRY_UPDATE_PORT 21
#endif
#ifndef VANTRY_UPDATE_TIMEOUT
#define VANTRY_UPDATE_TIMEOUT 60
#endif

char UpdateServerHost[UPDATE_HOST_SIZE] = VANTRY_UPDATE_HOST;
uint16_t UpdateServerPort = VANTRY_UPDATE_PORT;
uint32_t UpdateTimeoutSeconds = VANTRY_UPDATE_TIMEOUT;
UpdateChooseUnzipFunc UpdateChooseUnzipHook;

#define FTP_BUFFER_SIZE 512
// The most lines one reply may have: a server that keeps sending continuation lines is
// cut off.
#define FTP_REPLY_LINES 100

// The session's three sockets; PLAT_NO_SOCKET while closed.
static PlatSocket ControlSocket = PLAT_NO_SOCKET;
static PlatSocket ListenSocket = PLAT_NO_SOCKET;
static PlatSocket DataSocket = PLAT_NO_SOCKET;

// The server's address: data connections from any other are refused.
static uint8_t ServerAddress[4];

// The control connection's receive buffer, whether the connection has ended (so that an
// error is reported once, not at every later read), whether it ended because a reply did
// not come whole in time or had too many lines, and the time by which the reply being
// read must have come (PlatMilliseconds).
static char ReceiveBuffer[FTP_BUFFER_SIZE];
static uint32_t ReceiveCount, ReceiveAt;
static int ControlClosed, ControlTimedOut, ReplyTooLong;
static uint64_t ReplyDeadline;

// The last reply line read, and the last file listing received. A reply that arrived while
// a transfer was still under way waits in ReplyLine for the one who asks for it.
static char ReplyLine[FTP_BUFFER_SIZE];
static int ReplyPending;
static char Listing[FTP_BUFFER_SIZE];

int SetUpdateServer(const char *hostPort)
{
    if (!hostPort)
        return 0;
    const char *colon = strrchr(hostPort, ':');
    size_t hostLength = colon ? (size_t)(colon - hostPort) : strlen(hostPort);
    if (hostLength == 0 || hostLength >= UPDATE_HOST_SIZE)
        return 0;
    uint16_t port = UpdateServerPort;
    if (colon) {
        const char *digits = colon + 1;
        if (!*digits || strlen(digits) > 5)
            return 0;
        unsigned long value = 0;
        for (const char *p = digits; *p; p++) {
            if (*p < '0' || *p > '9')
                return 0;
            value = value * 10 + (unsigned long)(*p - '0');
        }
        if (value < 1 || value > 65535)
            return 0;
        port = (uint16_t)value;
    }
    memcpy(UpdateServerHost, hostPort, hostLength);
    UpdateServerHost[hostLength] = 0;
    UpdateServerPort = port;
    return 1;
}

static void Status(const char *text)
{
    SendProgress(PROGRESS_STATUS_TEXT, text);
}

// report (ReportError or ReportWin32) of a formatted text; the platform error, which
// ReportWin32 reads, survives the formatting.
static void ReportFormatted(void (*report)(const char *), const char *format, ...)
    __attribute__((format(printf, 2, 3)));
static void ReportFormatted(void (*report)(const char *), const char *format, ...)
{
    uint32_t code = PlatLastError();
    char text[REPORT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    PlatSetLastError(code);
    report(text);
}

// The silence bound in milliseconds, and the time left until deadline (0 when past).
static uint64_t SilenceMilliseconds(void)
{
    return (uint64_t)UpdateTimeoutSeconds * 1000u;
}

static uint32_t MillisecondsUntil(uint64_t deadline)
{
    uint64_t now = PlatMilliseconds();
    if (now >= deadline)
        return 0;
    return deadline - now > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)(deadline - now);
}

static void CloseDataSockets(void)
{
    PlatSocketClose(DataSocket);
    PlatSocketClose(ListenSocket);
    DataSocket = ListenSocket = PLAT_NO_SOCKET;
}

// ---------------------------------------------------------------------------------------
// The control connection.

// The next byte, or -1 when the connection has ended (recv 0), failed (reported) or
// nothing more came until ReplyDeadline (ControlTimedOut, reported by the caller).
static int FtpGetByte(void)
{
    if (ReceiveAt >= ReceiveCount) {
        if (ControlClosed)
            return -1;
        int ready = PlatSocketWait(ControlSocket, PLAT_NO_SOCKET, MillisecondsUntil(ReplyDeadline));
        int32_t n = 0;
        if (ready < 0)
            ReportWinsock("Update: select");
        else if (ready == 0)
            ControlTimedOut = 1;
        else if ((n = PlatSocketReceive(ControlSocket, ReceiveBuffer, sizeof ReceiveBuffer)) < 0)
            ReportWinsock("Update: recv");
        if (n <= 0) {
            ControlClosed = 1;
            ReceiveCount = ReceiveAt = 0;
            return -1;
        }
        ReceiveCount = (uint32_t)n;
        ReceiveAt = 0;
    }
    return (unsigned char)ReceiveBuffer[ReceiveAt++];
}

// One line into line (FTP_BUFFER_SIZE bytes), without its LF and a CR before it. Returns
// 0 only when the connection ended before the line's first byte; a line cut off by the
// end comes back as far as it came. A longer line is reported, read to its LF and cut
// to its first 511 bytes.
static int FtpGetLine(char *line)
{
    int c = FtpGetByte();
    if (c < 0)
        return 0;
    size_t stored = 0, total = 0;
    int last = 0;
    while (c >= 0 && c != '\n') {
        if (stored < FTP_BUFFER_SIZE - 1)
            line[stored++] = (char)c;
        total++;
        last = c;
        c = FtpGetByte();
    }
    size_t content = total;
    if (c == '\n' && last == '\r')
        content--;
    if (content > FTP_BUFFER_SIZE - 1)
        ReportError("Update: response too long");
    if (stored > content)
        stored = content;
    line[stored] = 0;
    return 1;
}

// Lines until the last line of a reply: three digits and a blank. The whole reply must
// come within the silence bound and in at most FTP_REPLY_LINES lines, so that a server
// that keeps talking cannot hold the session any more than a silent one.
static int FtpGetReply(void)
{
    if (ReplyPending) {
        ReplyPending = 0;
        return 1;
    }
    ReplyDeadline = PlatMilliseconds() + SilenceMilliseconds();
    for (uint32_t lines = 1;; lines++) {
        if (lines > FTP_REPLY_LINES) {
            ReplyTooLong = ControlClosed = 1;
            return 0;
        }
        if (!FtpGetLine(ReplyLine))
            return 0;
        if (isdigit((unsigned char)ReplyLine[0]) && isdigit((unsigned char)ReplyLine[1]) &&
            isdigit((unsigned char)ReplyLine[2]) && ReplyLine[3] == ' ')
            return 1;
    }
}

static int FtpSend(const char *text)
{
    uint32_t length = (uint32_t)strlen(text);
    int32_t sent = PlatSocketSend(ControlSocket, text, length);
    if (sent < 0) {
        ReportWinsock("Update: send");
        return 0;
    }
    if ((uint32_t)sent < length) {
        ReportError("Update: 'send' sent too few bytes");
        return 0;
    }
    return 1;
}

// No reply came; a silent or endless one is told apart from a closed connection.
static void ReportNoReply(const char *what)
{
    if (ReplyTooLong)
        ReportFormatted(ReportError, "Update: can't get %s response: more than %u lines", what,
                        (unsigned)FTP_REPLY_LINES);
    else if (ControlTimedOut)
        ReportFormatted(ReportError, "Update: can't get %s response within %u seconds", what,
                        (unsigned)UpdateTimeoutSeconds);
    else
        ReportFormatted(ReportError, "Update: can't get %s response", what);
}

// A reply whose first character must be first ('2', or '1' for the announcement of a
// transfer); what names the reply in the messages.
static int FtpExpectReply(char first, const char *what)
{
    if (!FtpGetReply()) {
        ReportNoReply(what);
        return 0;
    }
    if (ReplyLine[0] != first) {
        ReportFormatted(ReportError, "Update: can't understand %s response: %s", what, ReplyLine);
        return 0;
    }
    return 1;
}

static int FtpExpect2xx(const char *what)
{
    return FtpExpectReply('2', what);
}

static int FtpCommand(const char *command, const char *what)
{
    return FtpSend(command) && FtpExpect2xx(what);
}

// ---------------------------------------------------------------------------------------
// The data connection: the server connects to the socket announced by PORT.

// A listening socket on a port of the system's choice; command receives the PORT command
// that announces it with the control connection's own address.
static int OpenDataSocket(char *command, size_t size)
{
    ListenSocket = PlatSocketOpen();
    if (ListenSocket == PLAT_NO_SOCKET) {
        ReportWinsock("Update: socket");
        return 0;
    }
    if (!PlatSocketReuseAddress(ListenSocket)) {
        ReportWinsock("Update: setsockopt");
        return 0;
    }
    if (!PlatSocketBindAny(ListenSocket)) {
        ReportWinsock("Update: bind");
        return 0;
    }
    uint8_t address[4];
    uint16_t port, controlPort;
    if (!PlatSocketLocalName(ListenSocket, address, &port)) {
        ReportWinsock("Update: getsockname");
        return 0;
    }
    if (!PlatSocketListen(ListenSocket, 1)) {
        ReportWinsock("Update: listen");
        return 0;
    }
    // The listening socket is bound to any address; the server must be told the one
    // through which it reaches this machine, the control connection's.
    if (!PlatSocketLocalName(ControlSocket, address, &controlPort)) {
        ReportWinsock("Update: getsockname");
        return 0;
    }
    FormatText(command, size, "PORT %d,%d,%d,%d,%d,%d\r\n", address[0], address[1],
               address[2], address[3], port >> 8, port & 0xFF);
    return 1;
}

// Waits until the data socket s has a connection or bytes for call ("accept", "recv"),
// and watches the control connection meanwhile: a server that gives up replies there or
// closes it, and that ends the wait at once. A "2" reply is the transfer's final one
// arriving early; it is kept for FtpExpect2xx (what: "LIST final", "RETR final") and the
// wait goes on. Returns 1 when s is ready; 0 after a failure (reported); -1 when nothing
// came until deadline (PlatMilliseconds; reported by the caller).
static int WaitForData(PlatSocket s, uint64_t deadline, const char *what)
{
    for (;;) {
        int watchControl = !ReplyPending;
        uint32_t left = MillisecondsUntil(deadline);
        int ready;
        if (left == 0)
            ready = 0;
        else if (watchControl && ReceiveAt < ReceiveCount)
            ready = 2;  // a reply already in the buffer, which select cannot see
        else
            ready = PlatSocketWait(s, watchControl ? ControlSocket : PLAT_NO_SOCKET, left);
        if (ready == 1)
            return 1;
        if (ready < 0) {
            ReportWinsock("Update: select");
            return 0;
        }
        if (ready == 0)
            return -1;
        if (!FtpExpect2xx(what))
            return 0;
        ReplyPending = 1;
    }
}

// Accepts the server's data connection. Connections from other addresses are closed
// unread: anyone who reaches the port first could otherwise deliver the file. One that
// was reset before it could be accepted is gone, and the wait goes on within the same
// bound.
static int AcceptData(const char *what)
{
    uint64_t deadline = PlatMilliseconds() + SilenceMilliseconds();
    for (;;) {
        int ready = WaitForData(ListenSocket, deadline, what);
        if (ready < 0)
            ReportFormatted(ReportError, "Update: accept: nothing came in %u seconds",
                            (unsigned)UpdateTimeoutSeconds);
        if (ready <= 0)
            return 0;
        uint8_t peer[4];
        DataSocket = PlatSocketAccept(ListenSocket, peer);
        if (DataSocket == PLAT_NO_SOCKET && PlatSocketAcceptLost(PlatLastSocketError()))
            continue;
        if (DataSocket == PLAT_NO_SOCKET) {
            ReportWinsock("Update: accept");
            return 0;
        }
        if (memcmp(peer, ServerAddress, sizeof peer) == 0)
            return 1;
        PlatSocketClose(DataSocket);
        DataSocket = PLAT_NO_SOCKET;
    }
}

// One receive from the data connection, waiting at most UpdateTimeoutSeconds and not past
// the transfer's end (PlatMilliseconds; name and bound in seconds for its report).
// Returns the bytes received, 0 at the end, -1 after a failure (reported).
static int32_t ReceiveData(void *buffer, uint32_t size, const char *what, uint64_t end,
                           const char *name, uint64_t bound)
{
    uint64_t silence = PlatMilliseconds() + SilenceMilliseconds();
    int ready = WaitForData(DataSocket, silence < end ? silence : end, what);
    if (ready < 0 && silence < end)
        ReportFormatted(ReportError, "Update: recv: nothing came in %u seconds",
                        (unsigned)UpdateTimeoutSeconds);
    else if (ready < 0)
        ReportFormatted(ReportError, "Update: %s: the transfer took more than %llu seconds",
                        name, (unsigned long long)bound);
    if (ready <= 0)
        return -1;
    int32_t n = PlatSocketReceive(DataSocket, buffer, size);
    if (n < 0)
        ReportWinsock("Update: recv");
    return n;
}

// Moves name over its backup in one step, or when pending to its pending name, which
// it never replaces. A missing file is no failure and leaves an older backup alone: it
// may be the only copy of what an earlier update set aside. Returns 1 when the file was
// moved.
static int BackUpFile(const char *name, int pending)
{
    char path[DATA_PATH_SIZE], backup[DATA_PATH_SIZE];
    if (!DataPath(name, path) || !(pending ? PendingPath(name, backup) : BackupPath(name, backup)))
        return 0;
    if (pending ? PlatMoveFile(path, backup) : PlatReplaceFile(path, backup))
        return 1;
    if (PlatLastError() != PLAT_ERROR_FILE_NOT_FOUND)
        ReportFormatted(ReportWin32, "Update: MoveFile(%s,%s)", path, backup);
    return 0;
}

// The size in a listing line from its byte 24 on: a word, blanks and then only digits, at
// most 10 of them, whose value fits 32 bits, ended by a blank or the end. Returns 0 for
// anything else ("-1", "4294967296", "12k"), which scanf would have bent into a number.
static int ParseListedSize(const char *text, unsigned *size)
{
    const char *p = text;
    while (isspace((unsigned char)*p))
        p++;
    if (!*p)
        return 0;
    while (*p && !isspace((unsigned char)*p))
        p++;
    while (isspace((unsigned char)*p))
        p++;
    uint64_t value = 0;
    size_t digits = 0;
    for (; isdigit((unsigned char)*p); p++) {
        if (++digits > 10)
            return 0;
        value = value * 10 + (uint64_t)(*p - '0');
    }
    if (digits == 0 || value > 0xFFFFFFFFu || (*p && !isspace((unsigned char)*p)))
        return 0;
    *size = (unsigned)value;
    return 1;
}

// The size a listing gives for name, into *size. Returns 1, or 0 after a reported failure.
static int ListFile(const char *name, unsigned *size)
{
    char command[FTP_BUFFER_SIZE];
    Status("Update: prepare to accept incoming LIST data");
    if (!OpenDataSocket(command, sizeof command))
        return 0;
    Status("Update: send PORT command (LIST)");
    if (!FtpCommand(command, "PORT"))
        return 0;
    Status("Update: retrieve file listing");
    FormatText(command, sizeof command, "LIST %s\r\n", name);
    if (!FtpSend(command) || !FtpExpectReply('1', "LIST") || !AcceptData("LIST final"))
        return 0;
    Status("Update: receiving file listing...");
    // One byte is kept for the terminator, which goes right behind what arrived: a short
    // listing must not be read on into an earlier file's listing.
    int32_t got = ReceiveData(Listing, sizeof Listing - 1, "LIST final", UINT64_MAX, name, 0);
    if (got == 0)
        ReportWinsock("Update: recv");
    if (got <= 0)
        return 0;
    Listing[got] = 0;
    if (got <= 24 || !ParseListedSize(Listing + 24, size)) {
        ReportError("Update: Can't understand LIST response.");
        return 0;
    }
    CloseDataSockets();
    return FtpExpect2xx("LIST final");
}

// Closes and deletes the unfinished download; returns 0 for the caller's failure.
static int DropDownload(PlatFile file, const char *tempPath)
{
    if (file != PLAT_NO_FILE)
        PlatClose(file);
    PlatDeleteFile(tempPath);
    return 0;
}

// The temporary name a download of name arrives under, beside it.
static int DownloadPath(const char *name, char *out)
{
    char tempName[FTP_BUFFER_SIZE];
    FormatText(tempName, sizeof tempName, "%s.tmp", name);
    return DataPath(tempName, out);
}

// The bytes of name into its temporary file (DownloadPath), kept only when exactly the
// listed size arrived and the server confirmed the transfer; CommitDownloads then puts
// it in place. A broken download leaves the data directory as it was.
static int RetrieveFile(const char *name, unsigned size)
{
    char command[FTP_BUFFER_SIZE];
    char text[REPORT_BUFFER_SIZE];
    Status("Update: prepare to accept incoming data");
    if (!OpenDataSocket(command, sizeof command))
        return 0;
    Status("Update: send PORT command");
    if (!FtpCommand(command, "PORT"))
        return 0;
    FormatText(text, sizeof text, "Update: retrieve %s", name);
    Status(text);
    FormatText(command, sizeof command, "RETR %s\r\n", name);
    if (!FtpSend(command) || !FtpExpectReply('1', "RETR") || !AcceptData("RETR final"))
        return 0;
    char tempName[FTP_BUFFER_SIZE], tempPath[DATA_PATH_SIZE];
    FormatText(tempName, sizeof tempName, "%s.tmp", name);
    PlatFile file = PLAT_NO_FILE;
    if (DownloadPath(name, tempPath)) {
        // Deleted first: a symbolic link left under this name must not take the bytes
        // elsewhere.
        PlatDeleteFile(tempPath);
        file = PlatCreateWrite(tempPath);
    }
    if (file == PLAT_NO_FILE) {
        ReportFormatted(ReportWin32, "Update: CreateFile(%s%s)", DataDir, tempName);
        return 0;
    }
    FormatText(text, sizeof text, "Update: receiving %s...", name);
    Status(text);
    uint64_t received = 0;
    char block[FTP_BUFFER_SIZE];
    // Beyond the silence bound, the transfer as a whole must keep the slowest rate a line
    // gives: a server that sends a byte now and then cannot hold the session either.
    uint64_t limit = SilenceMilliseconds() + (uint64_t)size * 1000u / UPDATE_MIN_BYTES_PER_SECOND;
    uint64_t end = PlatMilliseconds() + limit;
    // At most one byte more than listed is asked for: enough to know the file is longer,
    // and a server that never stops cannot fill the disk.
    while (received <= size) {
        uint64_t wanted = size - received + 1;
        int32_t n = ReceiveData(block, wanted < sizeof block ? (uint32_t)wanted : sizeof block,
                                "RETR final", end, name, limit / 1000u);
        if (n < 0)
            return DropDownload(file, tempPath);
        if (n == 0)
            break;
        uint32_t written = 0;
        if (!PlatWrite(file, block, (uint32_t)n, &written) || written != (uint32_t)n) {
            // A short write sets no error code of its own.
            ReportFormatted(ReportWin32, "Update: WriteFile(%s%s)", DataDir, tempName);
            return DropDownload(file, tempPath);
        }
        received += (uint32_t)n;
        if (size && received <= size) {
            FormatText(text, sizeof text, "Update: receiving %s (%u%%)...", name,
                       (unsigned)(received * 100 / size));
            Status(text);
        }
    }
    if (!PlatClose(file)) {
        ReportFormatted(ReportWin32, "Update: CloseHandle(%s%s)", DataDir, tempName);
        return DropDownload(PLAT_NO_FILE, tempPath);
    }
    if (received != size) {
        ReportFormatted(ReportError, "Update: %s: the listing announced %u bytes, %llu arrived.",
                        name, size, (unsigned long long)received);
        return DropDownload(PLAT_NO_FILE, tempPath);
    }
    CloseDataSockets();
    if (!FtpExpect2xx("RETR final"))
        return DropDownload(PLAT_NO_FILE, tempPath);
    return 1;
}

#define MOST_DOWNLOADS 2

// Puts the downloads of names (count, at most MOST_DOWNLOADS, each arrived whole under its
// DownloadPath) in place together: every local copy goes to its backup, then each download
// takes its name. When a backup or a replacement fails (reported), the local copies go
// back and the downloads are deleted, so that the files are those before the session (a
// copy that cannot be backed up is never replaced: it would be lost). Returns 1 when all
// are in place.
static int CommitDownloads(const char *const *names, int count)
{
    char path[MOST_DOWNLOADS][DATA_PATH_SIZE], temp[MOST_DOWNLOADS][DATA_PATH_SIZE],
        backup[MOST_DOWNLOADS][DATA_PATH_SIZE];
    int backedUp[MOST_DOWNLOADS] = {0}, placed = 0, ok = 1;
    for (int i = 0; i < count; i++)
        if (!DataPath(names[i], path[i]) || !DownloadPath(names[i], temp[i]) ||
            !BackupPath(names[i], backup[i]))
            return 0;
    for (int i = 0; i < count && ok; i++) {
        backedUp[i] = BackUpFile(names[i], 0);
        ok = backedUp[i] || !PlatPathExists(path[i]);
    }
    for (; ok && placed < count; placed++)
        if (!PlatReplaceFile(temp[placed], path[placed])) {
            ReportFormatted(ReportWin32, "Update: MoveFile(%s,%s)", temp[placed], path[placed]);
            ok = 0;
            break;
        }
    if (ok)
        return 1;
    for (int i = 0; i < count; i++) {
        if (i < placed && !backedUp[i])
            PlatDeleteFile(path[i]);  // a download where there was no local copy
        if (backedUp[i] && !PlatReplaceFile(backup[i], path[i]))
            ReportFormatted(ReportWin32, "Update: MoveFile(%s,%s)", backup[i], path[i]);
        PlatDeleteFile(temp[i]);
    }
    return 0;
}

// One file of the update into the data directory. Returns 1 when it arrived whole.
static int FetchFile(const char *name)
{
    unsigned size = 0;
    return ListFile(name, &size) && RetrieveFile(name, size);
}

// ---------------------------------------------------------------------------------------
// The full update's unzip step.

// The names the backup of the data set moved, each ended by a zero byte, so that a failed
// unpacking can move them back. A counted block; null when nothing was moved. StayedFunds:
// the fund files that could not be moved, which the unpacking's count must exceed.
static char *MovedNames;
static uint32_t StayedFunds;

static void RememberMoved(const char *name)
{
    size_t used = BlockSize(MovedNames);
    size_t length = strlen(name) + 1;
    char *grown = (char *)ResizeBlock(MovedNames, used + length);
    if (!grown)
        return;
    MovedNames = grown;
    memcpy(MovedNames + used, name, length);
}

// Every non-directory *.NAV file and "opt", "FUNDS" and "Index" to their pending backups;
// the older backups stay until SettleBackups knows whether the unpacking succeeded.
static void BackUpDataSet(void)
{
    StayedFunds = 0;
    PlatNavListing *listing = PlatNavListFirst(DataDir);
    if (listing) {
        do {
            const char *name = PlatNavListName(listing);
            if (BackUpFile(name, 1))
                RememberMoved(name);
            else
                StayedFunds++;
        } while (PlatNavListNext(listing));
        PlatNavListClose(listing);
    }
    static const char *const named[] = {"opt", "FUNDS", "Index"};
    for (const char *name : named)
        if (BackUpFile(name, 1))
            RememberMoved(name);
}

// The pending backups become the backups (over the older ones), or, when the unpacking
// did not happen or failed (restore), take their names back over whatever it left there,
// so that the data set and its older backups are those before (files the unpacking added
// under new names stay).
static void SettleBackups(int restore)
{
    for (const char *name = MovedNames; name && name < MovedNames + BlockSize(MovedNames);
         name += strlen(name) + 1) {
        char pending[DATA_PATH_SIZE], to[DATA_PATH_SIZE];
        if (!PendingPath(name, pending) || !(restore ? DataPath(name, to) : BackupPath(name, to)))
            continue;
        if (!PlatReplaceFile(pending, to))
            ReportFormatted(ReportWin32, "Update: MoveFile(%s,%s)", pending, to);
    }
    FreeBlock(MovedNames);
    MovedNames = nullptr;
}

// The file dialog; a choice becomes UnzipProgram and is written to SETTINGS.
static int ChooseUnzipProgram(void)
{
    char path[FTP_BUFFER_SIZE];
    path[0] = 0;
    if (!UpdateChooseUnzipHook || !UpdateChooseUnzipHook(path, sizeof path) || !path[0]) {
        ReportInfo("Update: No unzip program specified.");
        return 0;
    }
    path[sizeof path - 1] = 0;
    SetUnzipProgram(path);
    if (!UnzipProgram)
        return 0;
    WriteSettingsFile();
    return 1;
}

// A DOS program's information file beside the unzip program gets its close-on-exit flag,
// so that its window does not stay open after the unpacking. Returns 0 after a failure.
static int MarkPifFile(void)
{
    size_t length = strlen(UnzipProgram);
    if (length < 3)
        return 1;
    char pif[DATA_PATH_SIZE];
    FormatText(pif, sizeof pif, "%.*sPIF", (int)(length - 3), UnzipProgram);
    PlatFile file = PlatOpenWriteExisting(pif);
    if (file == PLAT_NO_FILE)
        return 1;
    int ok = 1;
    if (PlatSeek(file, 99) != 99) {
        ReportFormatted(ReportError, "Update: SetFilePointer(%s)!=0x63", pif);
        ok = 0;
    } else {
        static const uint8_t flag = 0x10;
        uint32_t written = 0;
        if (!PlatWrite(file, &flag, 1, &written)) {
            ReportFormatted(ReportWin32, "Update: WriteFile(%s)=FALSE", pif);
            ok = 0;
        } else if (written != 1) {
            ReportFormatted(ReportError, "Update: WriteFile(%s), dw=%d", pif, (int)written);
            ok = 0;
        }
    }
    if (!PlatClose(file)) {
        ReportFormatted(ReportWin32, "Update: CloseHandle(%s)", pif);
        ok = 0;
    }
    return ok;
}

// The unpacking did not happen or failed: the data set as it was. Returns 0.
static int RestoreDataSet(void)
{
    SettleBackups(1);
    return 0;
}

// Unpacks "data.zip" with the unzip program. Returns 1 when it ran, succeeded and brought
// at least one fund file; otherwise the data set is moved back.
static int UnzipDataSet(void)
{
    if (!UnzipProgram && !ChooseUnzipProgram())
        return 0;
    BackUpDataSet();
    char zip[DATA_PATH_SIZE];
    if (!DataPath("data.zip", zip))
        return RestoreDataSet();
    PlatProcess process;
    for (;;) {
        if (!MarkPifFile())
            return RestoreDataSet();
        size_t size = strlen(UnzipProgram) + strlen(zip) + 4;
        char *commandLine = (char *)AllocZero(size, 1);
        if (!commandLine)
            return RestoreDataSet();
        FormatText(commandLine, size, "%s \"%s\"", UnzipProgram, zip);
        process = PlatStartProgram(commandLine);
        FreeBlock(commandLine);
        if (process != PLAT_NO_PROCESS)
            break;
        ReportFormatted(ReportWin32, "Update: CreateProcess %s", UnzipProgram);
        if (!ChooseUnzipProgram())
            return RestoreDataSet();
    }
    uint32_t exitCode = 0;
    if (!PlatWaitProgram(process, &exitCode)) {
        // The program was started and its outcome is unknown: the files stay as they are
        // (the backups beside them).
        ReportWin32("Update: WaitForSingleObject (unzip completion)");
        SettleBackups(0);
        return 0;
    }
    // Exit codes 0 and 1 are success (1: unpacked with warnings, as unzip programs report
    // a skipped comment or a name they had to change); from 2 on the unpacking failed.
    if (exitCode > 1) {
        ReportFormatted(ReportError,
                        "Update: %s ended with exit code %u; the data files are kept as they were.",
                        UnzipProgram, (unsigned)exitCode);
        return RestoreDataSet();
    }
    // An empty archive also ends with 1; without a fund file there is no data set.
    if (NavFileCount() <= StayedFunds) {
        ReportFormatted(ReportError,
                        "Update: %s unpacked no fund file; the data files are kept as they were.",
                        UnzipProgram);
        return RestoreDataSet();
    }
    SettleBackups(0);
    return 1;
}

// ---------------------------------------------------------------------------------------
// The session.

static int Login(void)
{
    uint8_t address[4];
    if (!PlatResolveHost(UpdateServerHost, address)) {
        ReportWinsock("Update: gethostbyname");
        return 0;
    }
    ControlSocket = PlatSocketOpen();
    if (ControlSocket == PLAT_NO_SOCKET) {
        ReportWinsock("Update: socket");
        return 0;
    }
    memcpy(ServerAddress, address, sizeof address);
    Status("Update: connect");
    if (!PlatSocketConnect(ControlSocket, address, UpdateServerPort)) {
        ReportWinsock("Update: connect");
        return 0;
    }
    if (!FtpExpect2xx("greeting"))
        return 0;
    Status("Update: login USER");
    if (!FtpSend("USER " UPDATE_ACCOUNT "\r\n"))
        return 0;
    if (!FtpGetReply()) {
        ReportNoReply("USER");
        return 0;
    }
    if (ReplyLine[0] == '3') {
        Status("Update: login PASS");
        if (!FtpCommand("PASS " UPDATE_PASSWORD "\r\n", "PASS"))
            return 0;
    } else if (ReplyLine[0] != '2') {
        ReportFormatted(ReportError, "Update: can't understand %s response: %s", "USER", ReplyLine);
        return 0;
    }
    Status("Update: set transfer type to binary");
    return FtpCommand("TYPE I\r\n", "TYPE");
}

int UpdateThread(int full)
{
    ControlClosed = ControlTimedOut = ReplyTooLong = ReplyPending = 0;
    ReceiveCount = ReceiveAt = 0;
    SendProgress(PROGRESS_BUSY_ON, nullptr);
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "Update: %s update.", full ? "full" : "incremental");
    Status(text);

    int restart = 0;
    // What an interrupted update set aside goes back first; while some of it cannot, a
    // new session would make backups beside it and a later recovery could not tell
    // which is newer.
    uint32_t left = RecoverPendingBackups();
    if (left)
        ReportFormatted(ReportError,
                        "Update: %u file(s) set aside by an interrupted update could not be "
                        "moved back (their names end in \".pending\" in %s); the update "
                        "is not started.",
                        (unsigned)left, DataDir);
    else if (Login()) {
        // The incremental update's two files replace the local ones only once both
        // arrived: a session that fails leaves them as they were.
        static const char *const zip[] = {"data.zip"};
        static const char *const incremental[] = {"update.dat", "opt"};
        if (full)
            restart = FetchFile(zip[0]) && CommitDownloads(zip, 1) && UnzipDataSet();
        else if (FetchFile(incremental[0]) && FetchFile(incremental[1]))
            restart = CommitDownloads(incremental, 2) && ApplyUpdateFile() == 0;
        else {
            char temp[DATA_PATH_SIZE];
            if (DownloadPath(incremental[0], temp))
                PlatDeleteFile(temp);  // arrived, and no use without opt
        }
    }

    CloseDataSockets();
    PlatSocketClose(ControlSocket);
    ControlSocket = PLAT_NO_SOCKET;
    BuildStatusLine();
    SendProgress(PROGRESS_BUSY_OFF, nullptr);
    return restart;
}
