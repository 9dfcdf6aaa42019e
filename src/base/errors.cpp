// The seven reporting functions, composed portably and shown through the platform layer.
#include "base/errors.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "platform/platform.h"

size_t FormatText(char *buffer, size_t size, const char *format, ...)
{
    if (size == 0)
        return 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, size, format, args);
    va_end(args);
    buffer[size - 1] = 0;
    if (n < 0) {
        buffer[0] = 0;
        return 0;
    }
    return (size_t)n < size ? (size_t)n : size - 1;
}

static thread_local ReportDivert Divert;
static thread_local void *DivertContext;

void SetThreadReportDivert(ReportDivert divert, void *context)
{
    Divert = divert;
    DivertContext = context;
}

void SendProgress(uint32_t code, const char *text)
{
    if (Divert)
        Divert(DivertContext, code, nullptr, text, 0);
    else
        PlatSendProgress(code, text);
}

void ShowReport(const char *caption, const char *text, int icon)
{
    if (Divert)
        Divert(DivertContext, 0, caption, text, icon);
    else
        PlatShowMessage(caption, text, icon);
}

static void ShowFormatted(const char *caption, int icon, const char *format, const char *text)
{
    char buffer[REPORT_BUFFER_SIZE];
    FormatText(buffer, sizeof buffer, format, text ? text : "");
    ShowReport(caption, buffer, icon);
}

void ReportInfo(const char *text)
{
    ShowFormatted("Vantry", PLAT_ICON_INFORMATION, "%s", text);
}

void ReportError(const char *text)
{
    ShowFormatted("Vantry Error", PLAT_ICON_STOP, "Error: %s", text);
}

void ReportInternal(const char *text)
{
    ShowFormatted("Vantry Internal Error", PLAT_ICON_STOP, "Internal error: %s", text);
}

void ReportWarning(const char *text)
{
    ShowFormatted("Vantry Warning", PLAT_ICON_STOP, "Warning: %s", text);
}

void ReportWin32(const char *text)
{
    // The code first: anything called below may overwrite it.
    uint32_t code = PlatLastError();
    char buffer[REPORT_BUFFER_SIZE];
    FormatText(buffer, sizeof buffer, "Error: %s, GetLastError=0x%08X\n", text ? text : "",
               (unsigned)code);
    PlatAppendErrorText(code, buffer, sizeof buffer);
    ShowReport("Vantry WIN32 API Error", buffer, PLAT_ICON_STOP);
}

void ReportCrt(const char *text)
{
    unsigned code = (unsigned)errno;
    char buffer[REPORT_BUFFER_SIZE];
    FormatText(buffer, sizeof buffer, "Error: %s, errno=%u", text ? text : "", code);
    ShowReport("Vantry C Run-time Library Error", buffer, PLAT_ICON_STOP);
}

void ReportWinsock(const char *text)
{
    int code = PlatLastSocketError();
    char buffer[REPORT_BUFFER_SIZE];
    FormatText(buffer, sizeof buffer, "Error: %s, WSAGetLastError=%d\n", text ? text : "",
               code);
    PlatAppendSocketErrorText(code, buffer, sizeof buffer);
    ShowReport("Vantry Winsock Error", buffer, PLAT_ICON_STOP);
}

void ReportFileError(const char *path, unsigned line, const char *text)
{
    char buffer[REPORT_BUFFER_SIZE];
    FormatText(buffer, sizeof buffer, "%s(%u): %s", path, line, text);
    ReportError(buffer);
}
