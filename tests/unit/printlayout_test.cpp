// The printed graph's placement on the page and the two-colour printer mapping.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <vector>

#include "graphics/printlayout.h"

namespace {

struct PlacementCase {
    const char *what;
    PrintGeometry g;       // w, h, sx, sy, pw, ph, px, py
    PrintPlacement want;   // drawn, x, y, width, height, internal text
};

const double NaN = nan("");
const double Inf = INFINITY;

// Each expectation worked out by hand from the figures: a = (w sy) / (sx h) for the picture,
// b = (pw py) / (px ph) for the page, then the full side and the other side from the
// proportions in inches.
const PlacementCase Cases[] = {
    // A 600 x 400 graph (1.5 : 1) on 8 x 11 inches at 300 dpi: b = 0.73 < a, full width
    // 2400; 8 inches wide means 5.33 inches tall, 1600 pixels, leaving (3300 - 1600) / 2.
    {"portrait", {600, 400, 96, 96, 2400, 3300, 300, 300}, {1, 0, 850, 2400, 1600, nullptr}},
    // A square graph on 11 x 8 inches: b = 1.375 > a = 1, full height 2400 and as wide,
    // leaving (3300 - 2400) / 2 on the left.
    {"landscape", {400, 400, 96, 96, 3300, 2400, 300, 300}, {1, 450, 0, 2400, 2400, nullptr}},
    // 4 : 3 on 8 x 6 inches: the ratios are the same double, the whole page.
    {"equal aspect", {400, 300, 96, 96, 2400, 1800, 300, 300}, {1, 0, 0, 2400, 1800, nullptr}},
    // Pixels twice as tall as wide on the screen (96 x 48 dpi): 200 x 100 pixels is a
    // square of 2.08 inches. The printer's 300 x 600 dpi: 8 inches wide (2400) by 11 (6600).
    // Full width 8 inches, so 8 inches tall = 4800 printer rows; (6600 - 4800) / 2 = 900.
    {"unequal resolutions", {200, 100, 96, 48, 2400, 6600, 300, 600},
     {1, 0, 900, 2400, 4800, nullptr}},
    // 300 x 200 on 1000 x 1001: height 1000 * 200 / 300 = 666.67, truncated to 666; the
    // rest 335 halves to 167.5, truncated to 167.
    {"truncated height", {300, 200, 96, 96, 1000, 1001, 300, 300}, {1, 0, 167, 1000, 666, nullptr}},
    // The same turned: width 666 of 1001, 167 on the left.
    {"truncated width", {200, 300, 96, 96, 1001, 1000, 300, 300}, {1, 167, 0, 666, 1000, nullptr}},

    // Zero figures: a ratio with a zero divisor is 0. A picture of no height has a = 0 <
    // b: full height, and its width's divisor (sx h py) is 0 too, so width 0 in the middle.
    {"picture without height", {600, 0, 96, 96, 2400, 3300, 300, 300},
     {1, 1200, 0, 0, 3300, nullptr}},
    {"screen without resolution", {600, 400, 0, 96, 2400, 3300, 300, 300},
     {1, 1200, 0, 0, 3300, nullptr}},
    // Nothing at all: both ratios 0, equal, the whole (empty) page.
    {"all zero", {0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, nullptr}},
    // A page of no height: b = 0 < a, the full-width height 2400 * 400 / 600 = 1600 is
    // longer than the page's 0 and is cut to it.
    {"page without height", {600, 400, 96, 96, 2400, 0, 300, 300},
     {1, 0, 0, 2400, 0, "yprime>y"}},
    // A page of no width: b = 0 < a, height 0, which fits: a line across the middle.
    {"page without width", {600, 400, 96, 96, 0, 3300, 300, 300}, {1, 0, 1650, 0, 0, nullptr}},

    // Figures beyond any device, where rounding of the products decides (the comparisons
    // and products were checked in an independent double computation): b > a by one unit
    // in the last place, and x' = (w ph) / h comes out 494318537.00000006 > pw, cut to pw.
    {"rounded width past the page", {574099770, 346782413, 1, 1, 494318537, 298590914, 1, 1},
     {1, 0, 0, 494318537, 298590914, "xprime>x"}},
    // b < a, and y' = (pw h) / w comes out 897064763.0000001 > ph, cut to ph.
    {"rounded height past the page", {1363013214, 731527901, 1, 1, 1671448381, 897064763, 1, 1},
     {1, 0, 0, 1671448381, 897064763, "yprime>y"}},

    // A ratio that is not a number has no order: nothing drawn.
    {"picture not a number", {NaN, 400, 96, 96, 2400, 3300, 300, 300},
     {0, 0, 0, 0, 0, "aspect ratio comparison"}},
    {"page not a number", {600, 400, 96, 96, 2400, 3300, NaN, 300},
     {0, 0, 0, 0, 0, "aspect ratio comparison"}},
    // Infinite by infinite is not a number either.
    {"infinite picture", {Inf, Inf, 96, 96, 2400, 3300, 300, 300},
     {0, 0, 0, 0, 0, "aspect ratio comparison"}},
};

TEST(PrintPlacement, TableOfPages)
{
    for (const PlacementCase &c : Cases) {
        SCOPED_TRACE(c.what);
        PrintPlacement p = PlacePrintedGraph(&c.g);
        const PrintPlacement &w = c.want;
        EXPECT_EQ(std::vector<int32_t>({p.drawn, p.x, p.y, p.width, p.height}),
                  std::vector<int32_t>({w.drawn, w.x, w.y, w.width, w.height}));
        // EXPECT_STREQ takes two null pointers as equal and tells which one is null.
        EXPECT_STREQ(p.internalText, w.internalText);
    }
}

TEST(TwoColourPrinter, ColourCountComparedUnsignedAndLightGrayAndWhiteToWhiteTheRestToBlack)
{
    // A negative count stands for more than 256 colours.
    const struct { int32_t colours; int two; } counts[] = {
        {2, 1}, {1, 1}, {0, 1}, {3, 0}, {256, 0}, {-1, 0}, {-2147483647 - 1, 0}};
    for (const auto &c : counts)
        EXPECT_EQ(IsTwoColourPrinter(c.colours) != 0, c.two != 0) << c.colours;
    const struct { uint32_t colour, want; } cases[] = {
        {0x00C0C0C0, 0x00FFFFFF}, {0x00FFFFFF, 0x00FFFFFF},  // the light-gray background, white
        {0x02C0C0C0, 0x00FFFFFF},  // the flag byte is no part of the colour
        {0x00000000, 0}, {0x00808080, 0},                    // black, dark gray
        {0x00C0C0C1, 0}, {0x00C0C1C0, 0}, {0x00C1C0C0, 0},  // one step off light gray
        {0x00FFFFFE, 0},                                     // one step off white
        {0x000000FF, 0}, {0x00FF0000, 0}, {0x0000FFFF, 0},  // red, blue, yellow
    };
    for (const auto &c : cases)
        EXPECT_EQ(TwoColourOf(c.colour), c.want) << std::hex << c.colour;
}

}  // namespace
