// Where the printed graph goes on the page, and the colour mapping of a two-colour printer.
#ifndef VANTRY_PRINTLAYOUT_H
#define VANTRY_PRINTLAYOUT_H

#include <stdint.h>

// The figures the placement is computed from, in the order the print reads them: the
// picture's size in pixels (w, h) and its device's pixels per logical inch (sx, sy); the
// printable area in printer pixels (pw, ph) and the printer's pixels per inch (px, py).
// Held as doubles because the whole computation is in double; the print passes the
// devices' integer figures.
struct PrintGeometry {
    double w, h, sx, sy;
    double pw, ph, px, py;
};

// The destination of the stretched picture on the page, in printer pixels.
struct PrintPlacement {
    int32_t drawn;         // 1: stretch the picture to the rectangle below; 0: draw nothing
    int32_t x, y;          // top-left corner
    int32_t width, height;
    // Null, or the text the print reports through ReportInternal: "yprime>y" or "xprime>x"
    // when the stretched side came out longer than the page and was cut to it (the
    // picture is still drawn), "aspect ratio comparison" when an aspect ratio is not a
    // number and nothing is drawn.
    const char *internalText;
};

// The width-to-height ratio in inches of an area of width x height pixels at dpiX x dpiY
// pixels per inch: (width * dpiY) / (dpiX * height), 0 when the divisor is 0.
double PrintAspect(double width, double height, double dpiX, double dpiY);

// Places the picture on the page: the whole page when the page's aspect b equals the
// picture's aspect a; the full width and centred top to bottom when b < a (the page is
// relatively taller); the full height and centred left to right when b > a. The stretched
// side is computed in double, cut to the page's side when longer, then truncated toward
// zero; the centring offset is half the rest, truncated. Never fails; the unordered case
// is told by drawn = 0.
PrintPlacement PlacePrintedGraph(const PrintGeometry *g);

// 1 when a printer with this colour count (GetDeviceCaps NUMCOLORS) gets the two-colour
// mapping: a count of 2 or fewer, compared unsigned, so the -1 of printers with more than
// 256 colours counts as many colours.
int IsTwoColourPrinter(int32_t colourCount);

// Colours are 0x00BBGGRR words (the Windows COLORREF layout; the high byte is ignored).
#define PRINT_WHITE 0x00FFFFFFu
#define PRINT_BLACK 0x00000000u
#define PRINT_LIGHT_GRAY 0x00C0C0C0u

// The two-colour mapping of one pixel: light gray (C0 C0 C0) and white become white,
// every other colour black.
uint32_t TwoColourOf(uint32_t colour);

#endif
