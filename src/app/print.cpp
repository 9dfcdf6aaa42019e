// "Print Fund Graph": the graph window's picture on one printed page.
#include "app/mainwnd.h"

#include <commdlg.h>
#include <string.h>

#include "base/errors.h"
#include "graphics/printlayout.h"
#include "platform/win32/win32.h"

#ifndef _WIN64
// In the 32-bit layout the dialog's request is 66 bytes and the document 20. The 64-bit
// layouts are larger and the dialog accepts only the size of its own, so both are sizeof.
static_assert(sizeof(PRINTDLGA) == 66, "PRINTDLGA is 66 bytes in the 32-bit layout");
static_assert(sizeof(DOCINFOA) == 20, "DOCINFOA is 20 bytes in the 32-bit layout");
#endif

// The name the job carries in the print queue. Wine's spooler cannot hand a document
// without a name to CUPS (the job fails at EndDoc), so the document is named.
static char DocumentName[] = "Vantry";

// The picture: the graph window's size less its 2-pixel frame on each side, 0 when the
// window is smaller than the frame.
static int32_t PictureSide(int32_t side)
{
    return side < 4 ? 0 : side - 4;
}

static void EnableWindowIf(HWND window, BOOL enable)
{
    if (window)
        EnableWindow(window, enable);
}

// Copies the back buffer's w x h pixels into the memory bitmap one by one, column by
// column; on a printer with two colours or fewer through the two-colour mapping. A pixel
// that cannot be read is skipped; each kind of failure is reported once per print.
static void CopyPicture(HDC memory, int32_t w, int32_t h, int twoColour)
{
    int readReported = 0, writeReported = 0;
    for (int32_t x = 0; x < w; x++) {
        for (int32_t y = 0; y < h; y++) {
            COLORREF colour = GetPixel(BackBufferDc, x, y);
            if (colour == CLR_INVALID) {
                if (!readReported) {
                    ReportWin32("GetPixel");
                    readReported = 1;
                }
                continue;
            }
            if (twoColour)
                colour = TwoColourOf(colour);
            if (!SetPixelV(memory, x, y, colour) && !writeReported) {
                ReportWin32("SetPixelV");
                writeReported = 1;
            }
        }
    }
}

// Reads the figures, copies the picture into a bitmap compatible with the printer and
// stretches it onto the started page.
static void PrintPicture(HDC printer)
{
    int32_t pw = GetDeviceCaps(printer, HORZRES);
    int32_t ph = GetDeviceCaps(printer, VERTRES);
    int32_t colours = GetDeviceCaps(printer, NUMCOLORS);
    int32_t px = GetDeviceCaps(printer, LOGPIXELSX);
    int32_t py = GetDeviceCaps(printer, LOGPIXELSY);
    int32_t w = PictureSide(GraphRect.right - GraphRect.left);
    int32_t h = PictureSide(GraphRect.bottom - GraphRect.top);

    HDC memory = CreateCompatibleDC(printer);
    if (!memory) {
        ReportWin32("CreateCompatibleDC");
        return;
    }
    HBITMAP bitmap = CreateCompatibleBitmap(printer, w, h);
    if (!bitmap)
        ReportWin32("CreateCompatibleBitmap");
    HGDIOBJ oldBitmap = NULL;
    if (bitmap) {
        oldBitmap = SelectObject(memory, bitmap);
        if (!oldBitmap)
            ReportWin32("SelectObject");
    }
    int32_t sx = GetDeviceCaps(BackBufferDc, LOGPIXELSX);
    int32_t sy = GetDeviceCaps(BackBufferDc, LOGPIXELSY);

    if (oldBitmap) {
        CopyPicture(memory, w, h, IsTwoColourPrinter(colours));
        PrintGeometry g = {(double)w, (double)h, (double)sx, (double)sy,
                           (double)pw, (double)ph, (double)px, (double)py};
        PrintPlacement p = PlacePrintedGraph(&g);
        if (p.internalText)
            ReportInternal(p.internalText);
        // An empty picture or an empty destination has nothing to stretch; GDI may
        // refuse such a stretch, which would be no failure of the print.
        if (p.drawn && w > 0 && h > 0 && p.width > 0 && p.height > 0 &&
            !StretchBlt(printer, p.x, p.y, p.width, p.height, memory, 0, 0, w, h, SRCCOPY))
            ReportWin32("StretchBlt");
        if (!SelectObject(memory, oldBitmap))
            ReportWin32("SelectObject");
    }
    if (bitmap && !DeleteObject(bitmap))
        ReportWin32("DeleteObject");
    if (!DeleteDC(memory))
        ReportWin32("DeleteDC");
}

void PrintFundGraph(void)
{
    // The caller has made sure the graph window has the focus; the dialog and the
    // disabling below take it away, and it is given back at the end.
    HWND focus = GetFocus();

    // The dialog's request: owner, a printer context back, collated, one copy.
    PRINTDLGA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Hwnd;
    dialog.Flags = PD_RETURNDC | PD_COLLATE;
    dialog.nCopies = 1;
    if (!PrintDlgA(&dialog))
        return;
    // The printer's context is all the print needs; the device mode and names the dialog
    // allocated are freed at once.
    if (dialog.hDevMode)
        GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames)
        GlobalFree(dialog.hDevNames);
    HDC printer = dialog.hDC;
    if (!printer)
        return;

    int raster = GetDeviceCaps(printer, RASTERCAPS);
    const char *refusal = NULL;
    if (!(raster & RC_BITBLT))
        refusal = "Printer does not support bitmaps";
    else if (!(raster & RC_STRETCHBLT))
        refusal = "Printer does not support stretched bitmaps";
    if (refusal) {
        ReportError(refusal);
        if (!DeleteDC(printer))
            ReportWin32("DeleteDC");
        return;
    }

    // Nothing may change the picture while it is copied: no page switch, no command, no
    // measuring line.
    EnableWindowIf(GraphWindow, FALSE);
    EnableWindowIf(TabControl, FALSE);
    EnableWindowIf(Hwnd, FALSE);

    DOCINFOA document;
    memset(&document, 0, sizeof document);
    document.cbSize = sizeof document;
    document.lpszDocName = DocumentName;
    int started = StartDocA(printer, &document) > 0;
    if (!started || StartPage(printer) <= 0) {
        DWORD code = GetLastError();
        // A document that was started but got no page is abandoned, so that no empty
        // job is left in the queue.
        if (started)
            AbortDoc(printer);
        SetLastError(code);
        ReportWin32("StartDoc/StartPage");
    } else {
        PrintPicture(printer);
        int pageEnded = EndPage(printer) > 0;
        DWORD code = GetLastError();
        int documentEnded = EndDoc(printer) > 0;
        if (!pageEnded || !documentEnded) {
            // The code of the call that failed first.
            if (!pageEnded)
                SetLastError(code);
            ReportWin32("EndPage/EndDoc");
        }
    }

    EnableWindowIf(Hwnd, TRUE);
    EnableWindowIf(TabControl, TRUE);
    EnableWindowIf(GraphWindow, TRUE);
    if (GraphWindow && focus == GraphWindow)
        SetFocus(GraphWindow);

    if (!DeleteDC(printer))
        ReportWin32("DeleteDC");
}
