// The small layer through which the portable code reaches the operating system.
#ifndef VANTRY_PLATFORM_H
#define VANTRY_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------------------------------
// Files. A PlatFile is an opaque handle; PLAT_NO_FILE is never a valid one.

typedef intptr_t PlatFile;
#define PLAT_NO_FILE ((PlatFile)-1)

// The platform's error code for "the file does not exist" (ERROR_FILE_NOT_FOUND).
#define PLAT_ERROR_FILE_NOT_FOUND 2u

// Opens an existing file for sequential reading, shared for reading with other readers.
// Returns PLAT_NO_FILE on failure; PlatLastError() then tells why.
PlatFile PlatOpenRead(const char *path);
// Creates (or truncates) a file for writing, not shared. PLAT_NO_FILE on failure.
PlatFile PlatCreateWrite(const char *path);
// Reads up to size bytes. Returns 1 and the number read in *got (0 at end of file),
// or 0 on a read error.
int PlatRead(PlatFile file, void *buffer, uint32_t size, uint32_t *got);
// Writes size bytes. Returns 1 with the number written in *written, or 0 on failure.
int PlatWrite(PlatFile file, const void *buffer, uint32_t size, uint32_t *written);
// Sets the file position to its first byte. Returns 1 / 0.
int PlatRewind(PlatFile file);
// Size in bytes (files of 4 GiB and more report 0xFFFFFFFF).
uint32_t PlatFileSize(PlatFile file);
// Returns 1 / 0.
int PlatClose(PlatFile file);
// Renames a file, replacing nothing. Returns 1 / 0.
int PlatMoveFile(const char *from, const char *to);
// Renames a file over an existing one in one step (the target is either the old or the
// new file, never missing). Returns 1 / 0.
int PlatReplaceFile(const char *from, const char *to);
// Returns 1 / 0.
int PlatDeleteFile(const char *path);
// 1 when path names an existing directory.
int PlatIsDirectory(const char *path);
// 1 when something exists under path (a file, a directory or a link, dangling or not).
int PlatPathExists(const char *path);
// 1 when path itself is a symbolic link (Win32: any reparse point), which opening it
// would follow.
int PlatIsSymbolicLink(const char *path);

// ---------------------------------------------------------------------------------------
// Listing the fund files (*.NAV, the extension matched without regard to case) of a
// directory, skipping directories. Both platforms return the names in the order an NTFS
// directory listing gives them: sorted by their upper-cased bytes.

typedef struct PlatNavListing PlatNavListing;  // body private to each platform

// Starts a listing of dir (which ends in the path separator). Returns null when the
// directory cannot be read or holds no fund file.
PlatNavListing *PlatNavListFirst(const char *dir);
// The current entry's file name (no directory), valid until the next call.
const char *PlatNavListName(PlatNavListing *listing);
// The same over the names that end in ".pending" (in any case): what the full update has
// set aside and not yet settled.
PlatNavListing *PlatPendingListFirst(const char *dir);
// Moves to the next entry; returns 0 when there is none.
int PlatNavListNext(PlatNavListing *listing);
void PlatNavListClose(PlatNavListing *listing);

// The path separator that ends DataDir and separates file names ('\\' or '/').
char PlatPathSeparator(void);

// ---------------------------------------------------------------------------------------
// Errors: the calling thread's last platform error (GetLastError / errno, with ENOENT
// reported as PLAT_ERROR_FILE_NOT_FOUND) and its system text.

uint32_t PlatLastError(void);
void PlatSetLastError(uint32_t code);
// Appends the system's text for code to buffer, which has room for size bytes in all
// (terminator included). Never writes past it; appends nothing when size is 0 or 1.
void PlatAppendErrorText(uint32_t code, char *buffer, size_t size);
// The same for the socket layer's last error (WSAGetLastError / errno).
int PlatLastSocketError(void);
// Appends the socket layer's text for code; appends nothing when no text is known.
void PlatAppendSocketErrorText(int code, char *buffer, size_t size);

// ---------------------------------------------------------------------------------------
// Message boxes. The seven reporting functions compose their text and hand it here.

enum PlatIcon { PLAT_ICON_INFORMATION = 1, PLAT_ICON_STOP = 2 };

typedef void (*PlatMessageSink)(const char *caption, const char *text, int icon);
// Shows a modal box with an OK button (Win32: owned by the main window when it exists;
// POSIX: the text on standard error), or hands it to the sink installed below.
void PlatShowMessage(const char *caption, const char *text, int icon);
// Installs a sink for all later messages; null restores the platform's own box.
void PlatSetMessageSink(PlatMessageSink sink);

// ---------------------------------------------------------------------------------------
// Progress codes of the load and the other workers (codes 1 to 10; text only for code 5).

typedef void (*PlatProgressSink)(uint32_t code, const char *text);
// Sends a code and waits until it has been handled (Win32: SendMessageA to the main
// window); without a sink and a window the code is dropped.
void PlatSendProgress(uint32_t code, const char *text);
// Posts a code without waiting (Win32: PostMessageA); used for the "data ready" code.
void PlatPostProgress(uint32_t code);
void PlatSetProgressSink(PlatProgressSink sink);

// Stopping a job's threads when the main window closes during the job. After
// PlatRequestStop the analysis threads take no further fund, and the job's own thread
// ends itself at its next PlatStopPoint: the places where it holds no lock and is in the
// middle of no file's write (between funds and files, and in the waits on the network
// and on a program), so that the program can then end cleanly. The request cannot be
// taken back; it is made once, at the program's end.
void PlatRequestStop(void);
int PlatStopRequested(void);
// Ends the calling thread when a stop was requested; otherwise returns at once.
void PlatStopPoint(void);

// ---------------------------------------------------------------------------------------
// Text width in pixels in the main window's font.

typedef uint32_t (*PlatTextWidthFunc)(const char *text, uint32_t length);
uint32_t PlatTextWidth(const char *text, uint32_t length);
// Replaces the measure (the report tool's raster font); null restores the default, which
// on POSIX counts 7 pixels per byte and on Win32 measures with the main window's font.
void PlatSetTextWidthFunc(PlatTextWidthFunc func);

// ---------------------------------------------------------------------------------------
// Sockets: a small blocking TCP layer over IPv4 for the update session (WinSock 1.1 on
// Win32, BSD sockets on POSIX). Only PlatSocketWait has a time-out. Every failure leaves
// its code for PlatLastSocketError. Addresses are four bytes in network order (a[0] is
// the first number of the dotted form); ports are plain numbers.

typedef intptr_t PlatSocket;
#define PLAT_NO_SOCKET ((PlatSocket)-1)

// Looks up host (a name or a dotted address) as gethostbyname does. Returns 1 and the
// first IPv4 address, or 0.
int PlatResolveHost(const char *host, uint8_t address[4]);
// A new stream socket, or PLAT_NO_SOCKET.
PlatSocket PlatSocketOpen(void);
// Connects to address and port. Returns 1 / 0.
int PlatSocketConnect(PlatSocket s, const uint8_t address[4], uint16_t port);
// Turns SO_REUSEADDR on. Returns 1 / 0.
int PlatSocketReuseAddress(PlatSocket s);
// Binds to any local address and a port the system picks. Returns 1 / 0.
int PlatSocketBindAny(PlatSocket s);
// The socket's local address and port (getsockname). Returns 1 / 0.
int PlatSocketLocalName(PlatSocket s, uint8_t address[4], uint16_t *port);
// Returns 1 / 0.
int PlatSocketListen(PlatSocket s, int backlog);
// Waits for and accepts one connection; PLAT_NO_SOCKET on failure. The peer's address
// goes to peer.
PlatSocket PlatSocketAccept(PlatSocket s, uint8_t peer[4]);
// 1 when the failure code (PlatLastSocketError) of an accept says only that the
// connection was reset or given up before it was accepted (WSAECONNRESET; ECONNABORTED
// natively): the listening socket is fine and the wait may go on.
int PlatSocketAcceptLost(int code);
// Waits at most milliseconds until first or second (PLAT_NO_SOCKET: not watched) has
// something to read, a connection to accept or its end (select). Returns 1 when first is
// ready, else 2 when second is, 0 when the time ran out, -1 on failure. A stop point
// (PlatStopPoint) every tenth of a second at most.
int PlatSocketWait(PlatSocket first, PlatSocket second, uint32_t milliseconds);
// A clock in milliseconds that only moves forward, whatever is done to the system time
// (GetTickCount64 / CLOCK_MONOTONIC): for deadlines.
uint64_t PlatMilliseconds(void);
// One send of size bytes: the number sent (possibly fewer), or -1 on failure. A peer
// that has gone away is a failure, never a signal.
int32_t PlatSocketSend(PlatSocket s, const void *data, uint32_t size);
// One receive of up to size bytes: the number received, 0 when the peer has closed the
// connection, -1 on failure.
int32_t PlatSocketReceive(PlatSocket s, void *buffer, uint32_t size);
// Closes s; PLAT_NO_SOCKET is ignored.
void PlatSocketClose(PlatSocket s);

// ---------------------------------------------------------------------------------------
// Starting a program and waiting for it.

typedef intptr_t PlatProcess;
#define PLAT_NO_PROCESS ((PlatProcess)-1)

// Starts the program of commandLine with the rest of the line as its arguments, split as
// Windows splits a command line (blanks separate, double quotes group, a backslash
// escapes a quote only before it); no inherited handles, the default environment and
// the current directory. Returns PLAT_NO_PROCESS on failure; PlatLastError tells why.
PlatProcess PlatStartProgram(const char *commandLine);
// Waits without time limit for the program to end and releases it; a stop point
// (PlatStopPoint) every tenth of a second at most. Returns 1 with its
// exit code in *exitCode (a program ended by a signal reports 128 + the signal), or 0
// when the wait failed (PlatLastError).
int PlatWaitProgram(PlatProcess process, uint32_t *exitCode);

// An existing file opened for writing in place (not truncated, not shared), or
// PLAT_NO_FILE.
PlatFile PlatOpenWriteExisting(const char *path);
// Sets the file position to offset from the start. Returns the new position, or
// 0xFFFFFFFF on failure.
uint32_t PlatSeek(PlatFile file, uint32_t offset);

#endif
