// The seven reporting functions: every failure, warning and notice reaches the user here.
#ifndef VANTRY_ERRORS_H
#define VANTRY_ERRORS_H

#include <stddef.h>
#include <stdint.h>

// Each composes its text into a 512-character buffer of its own (a text that would not
// fit is cut at 511 characters), shows it in a modal box with an OK button, and returns
// when the box is dismissed. None ends the program; the caller decides what follows.
// Safe to call from any thread.
//
//   ReportInfo      the text itself           caption "Vantry"                   information
//   ReportError     "Error: %s"               "Vantry Error"                     stop
//   ReportInternal  "Internal error: %s"      "Vantry Internal Error"            stop
//   ReportWarning   "Warning: %s"             "Vantry Warning"                   stop
//   ReportWin32     "Error: %s, GetLastError=0x%08X\n" + the system's text
//                                             "Vantry WIN32 API Error"           stop
//   ReportCrt       "Error: %s, errno=%u"     "Vantry C Run-time Library Error"  stop
//   ReportWinsock   "Error: %s, WSAGetLastError=%d\n" + the WinSock module's text
//                                             "Vantry Winsock Error"             stop
void ReportInfo(const char *text);
void ReportError(const char *text);
void ReportInternal(const char *text);
void ReportWarning(const char *text);
void ReportWin32(const char *text);
void ReportCrt(const char *text);
void ReportWinsock(const char *text);

// The size of every reporting buffer, terminator included.
#define REPORT_BUFFER_SIZE 512

// vsnprintf into buffer that always leaves it terminated, also where a runtime's own
// snprintf would not. Returns the length written (at most size - 1).
size_t FormatText(char *buffer, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// A thread may divert its message boxes and progress codes to a recorder, so that work
// spread over several threads can show them later in the order one thread would have.
// code 0 carries a message box (caption, text, icon); codes 1-10 a progress code (text
// only for code 5). Null ends the diversion. Per thread; the others are unaffected.
typedef void (*ReportDivert)(void *context, uint32_t code, const char *caption,
                             const char *text, int icon);
void SetThreadReportDivert(ReportDivert divert, void *context);
// Sends a progress code, or hands it to the calling thread's divert.
void SendProgress(uint32_t code, const char *text);
// Shows a message box, or hands it to the calling thread's divert.
void ShowReport(const char *caption, const char *text, int icon);

// Formats a message of a file position, "%s(%u): " followed by text, and reports it
// with ReportError.
void ReportFileError(const char *path, unsigned line, const char *text);

#endif
