// The main window's page geometry and its tab texts as plain arithmetic, shared by the
// window shell and the tests.
#ifndef VANTRY_LAYOUT_H
#define VANTRY_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

// A window's place in the main window's client coordinates; w and h are never negative.
struct LayoutRect {
    int32_t x, y, w, h;
};

// What the page windows are placed by: the page area (client coordinates, right and
// bottom exclusive) and the sizes of the things beside the lists and the graph.
struct LayoutInput {
    int32_t pageLeft, pageTop, pageRight, pageBottom;
    int32_t legendWidth;
    int32_t sideWidth, sideHeight;   // bitmap 116: a button of the side arrow strips
    int32_t topWidth, topHeight;     // bitmap 119: a button of the top arrow strip
    int32_t borderWidth;             // SM_CXBORDER
    int32_t scrollBarWidth;          // SM_CXVSCROLL
    int32_t checkWidth;              // bitmap 110
    int32_t portfolioWidth;          // bitmap 106
};

struct PageLayout {
    LayoutRect fundList, legend, graph;
    LayoutRect leftArrows, rightArrows, topArrows;
    LayoutRect keyHelp, manual;      // the two help lists share one place
};

// The places when the layout is first built (LAYOUT_BUILD) or the window was resized
// (LAYOUT_RESIZE). The build only clamps negative sizes to 0, except that the arrow
// strips get place and size 0 in a page too small for them; the resize also gives the
// lists, the legend and the graph place and size 0 in pages too small for them, and
// centres the side strips without the 4 pixels the build takes off.
enum LayoutKind { LAYOUT_BUILD = 0, LAYOUT_RESIZE = 1 };
void ComputePageLayout(const LayoutInput *in, int kind, PageLayout *out);

// The progress bar's place while a load runs: a third of the client width wide, one
// line high, centred in the height above the status bar; all 0 when that height is
// below one line.
LayoutRect ProgressBarPlace(int32_t clientWidth, int32_t availableHeight, int32_t lineHeight);

// A fund's name as a tab text: every "&" doubled, so that the tab shows it as itself.
// Writes at most size bytes, terminator included, and never cuts a doubled pair.
void EscapeTabText(const char *text, char *out, size_t size);
// The tab's text as drawn: every "&&" back to "&", in place. Returns the new length.
size_t UnescapeTabText(char *text);

#endif
