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

// ---------------------------------------------------------------------------------------
// Text width in pixels in the main window's font.

typedef uint32_t (*PlatTextWidthFunc)(const char *text, uint32_t length);
uint32_t PlatTextWidth(const char *text, uint32_t length);
// Replaces the measure (the report tool's raster font); null restores the default, which
// on POSIX counts 7 pixels per byte and on Win32 measures with the main window's font.
void PlatSetTextWidthFunc(PlatTextWidthFunc func);

#endif
