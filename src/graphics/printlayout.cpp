// Where the printed graph goes on the page, and the colour mapping of a two-colour printer.
#include "graphics/printlayout.h"

#include "analysis/returns.h"

double PrintAspect(double width, double height, double dpiX, double dpiY)
{
    return SafeDivide(width * dpiY, dpiX * height);
}

// Toward zero, as a pixel position is. The devices' figures are small integers, so the
// limits only matter for figures no device gives; they keep the conversion defined.
static int32_t TruncatePixel(double v)
{
    if (v != v)
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return (int32_t)v;
}

static int32_t HalfOfRest(int32_t side, int32_t used)
{
    return (int32_t)(((int64_t)side - used) / 2);
}

PrintPlacement PlacePrintedGraph(const PrintGeometry *g)
{
    PrintPlacement p = {0, 0, 0, 0, 0, 0};
    double a = PrintAspect(g->w, g->h, g->sx, g->sy);
    double b = PrintAspect(g->pw, g->ph, g->px, g->py);
    int32_t pw = TruncatePixel(g->pw), ph = TruncatePixel(g->ph);
    if (b == a) {
        p.drawn = 1;
        p.width = pw;
        p.height = ph;
    } else if (b < a) {
        // Full width, and the height that keeps the picture's proportions in inches. The
        // factors are multiplied left to right as written: at the edge of equal ratios
        // the rounding of the products decides whether the cut below applies.
        double yPrime = SafeDivide(g->pw * g->py * g->sx * g->h, g->px * g->w * g->sy);
        if (g->ph < yPrime) {
            p.internalText = "yprime>y";
            yPrime = g->ph;
        }
        p.drawn = 1;
        p.height = TruncatePixel(yPrime);
        p.y = HalfOfRest(ph, p.height);
        p.width = pw;
    } else if (b > a) {
        double xPrime = SafeDivide(g->w * g->sy * g->px * g->ph, g->sx * g->h * g->py);
        if (g->pw < xPrime) {
            p.internalText = "xprime>x";
            xPrime = g->pw;
        }
        p.drawn = 1;
        p.width = TruncatePixel(xPrime);
        p.x = HalfOfRest(pw, p.width);
        p.height = ph;
    } else {
        // Neither equal, less nor greater: one of the ratios is not a number.
        p.internalText = "aspect ratio comparison";
    }
    return p;
}

int IsTwoColourPrinter(int32_t colourCount)
{
    return (uint32_t)colourCount <= 2u;
}

uint32_t TwoColourOf(uint32_t colour)
{
    uint32_t rgb = colour & 0x00FFFFFFu;
    return rgb == PRINT_LIGHT_GRAY || rgb == PRINT_WHITE ? PRINT_WHITE : PRINT_BLACK;
}
