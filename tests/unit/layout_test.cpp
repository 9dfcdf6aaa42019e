// The main window's page geometry and the tab texts: the places of the page windows when
// the layout is built and resized, the limits below which windows vanish, and "&".
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <tuple>

#include "app/layout.h"

namespace {

// A page below a 30-pixel tab strip; 14 x 14 arrow buttons and marks, as the resources
// have them, a 100-pixel legend, 1-pixel borders and a 16-pixel scroll bar.
LayoutInput Page(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    LayoutInput in;
    in.pageLeft = left, in.pageTop = top, in.pageRight = right, in.pageBottom = bottom;
    in.legendWidth = 100, in.borderWidth = 1, in.scrollBarWidth = 16;
    in.sideWidth = in.sideHeight = in.topWidth = in.topHeight = 14;
    in.checkWidth = in.portfolioWidth = 14;
    return in;
}

PageLayout Layout(const LayoutInput &in, int kind)
{
    PageLayout out;
    memset(&out, 0x55, sizeof out);  // every field must be written
    ComputePageLayout(&in, kind, &out);
    return out;
}

void ExpectPlace(const LayoutRect &r, int32_t x, int32_t y, int32_t w, int32_t h, const char *what)
{
    EXPECT_EQ(std::make_tuple(x, y, w, h), std::make_tuple(r.x, r.y, r.w, r.h)) << what;
}

TEST(PageLayout, AWholePageWhenTheLayoutIsBuilt)
{
    // Page 760 x 470 from (0, 30).
    PageLayout p = Layout(Page(0, 30, 760, 500), LAYOUT_BUILD);
    ExpectPlace(p.fundList, 4, 34, 648, 462, "fund list");   // 760 - 100 - 12, 470 - 8
    ExpectPlace(p.legend, 656, 34, 100, 462, "legend");      // 760 - 100 - 4
    ExpectPlace(p.keyHelp, 4, 34, 752, 462, "key help");
    ExpectPlace(p.manual, 4, 34, 752, 462, "manual");
    ExpectPlace(p.graph, 26, 56, 708, 440, "graph");         // 14 + 12, 30 + 14 + 12
    // Strips 6 x 14 + 9 = 93 high, their top 30 + (470 - 4 - 93) / 2 = 216.
    ExpectPlace(p.leftArrows, 4, 216, 18, 93, "left arrows");
    ExpectPlace(p.rightArrows, 737, 216, 18, 93, "right arrows");  // 760 - 14 - 9
    ExpectPlace(p.topArrows, 363, 34, 33, 18, "top arrows");       // (760 - 28 - 5) / 2
}

TEST(PageLayout, ResizingPlacesTheLegendByTheRightEdgeAndCentresTheStripsFully)
{
    // The same page moved 10 pixels right: the build measures the legend from the width,
    // the resize from the right edge.
    PageLayout built = Layout(Page(10, 30, 770, 500), LAYOUT_BUILD);
    PageLayout resized = Layout(Page(10, 30, 770, 500), LAYOUT_RESIZE);
    EXPECT_EQ(656, built.legend.x);
    EXPECT_EQ(666, resized.legend.x);
    // Side strips: 30 + (470 - 93) / 2 = 218 on a resize (216 when built, as above).
    EXPECT_EQ(218, resized.leftArrows.y);
    ExpectPlace(resized.fundList, 14, 34, 648, 462, "fund list");
    ExpectPlace(resized.graph, 36, 56, 708, 440, "graph");
    ExpectPlace(resized.rightArrows, 747, 218, 18, 93, "right arrows");
}

TEST(PageLayout, ResizingHidesTheFundListWhenItsRowsHaveNoRoom)
{
    // The rows need 100 + 2 + 16 + 14 + 14 + 32 = 178 pixels beside the legend.
    PageLayout narrow = Layout(Page(0, 0, 178, 300), LAYOUT_RESIZE);
    ExpectPlace(narrow.fundList, 0, 0, 0, 0, "fund list");
    ExpectPlace(narrow.legend, 0, 0, 0, 0, "legend");
    // The other pages still have their windows.
    ExpectPlace(narrow.keyHelp, 4, 4, 170, 292, "key help");
    PageLayout wide = Layout(Page(0, 0, 179, 300), LAYOUT_RESIZE);
    ExpectPlace(wide.fundList, 4, 4, 67, 292, "fund list");
    ExpectPlace(wide.legend, 75, 4, 100, 292, "legend");
    // A page lower than 9 drops the lists too.
    PageLayout low = Layout(Page(0, 0, 800, 8), LAYOUT_RESIZE);
    EXPECT_EQ(0, low.fundList.w);
    EXPECT_EQ(0, low.keyHelp.w);
    EXPECT_EQ(0, low.manual.h);
}

TEST(PageLayout, TheGraphAndTheStripsHaveTheirOwnLimits)
{
    // The graph needs more than 2 x 14 + 24 = 52 across and 14 + 16 = 30 down.
    PageLayout tight = Layout(Page(0, 0, 52, 200), LAYOUT_RESIZE);
    ExpectPlace(tight.graph, 0, 0, 0, 0, "graph");
    PageLayout fits = Layout(Page(0, 0, 53, 31), LAYOUT_RESIZE);
    ExpectPlace(fits.graph, 26, 26, 1, 1, "graph");
    // The build places the graph whatever the page, with sizes clamped at 0.
    PageLayout built = Layout(Page(0, 0, 52, 200), LAYOUT_BUILD);
    ExpectPlace(built.graph, 26, 26, 0, 170, "graph");

    // Side strips need a page higher than 93 + 8 and wider than 28 + 28 + 29.
    EXPECT_EQ(0, Layout(Page(0, 0, 400, 101), LAYOUT_RESIZE).leftArrows.h);
    EXPECT_EQ(93, Layout(Page(0, 0, 400, 102), LAYOUT_RESIZE).leftArrows.h);
    EXPECT_EQ(0, Layout(Page(0, 0, 85, 400), LAYOUT_BUILD).rightArrows.w);
    EXPECT_EQ(18, Layout(Page(0, 0, 86, 400), LAYOUT_BUILD).rightArrows.w);
    // The top strip needs a page higher than 14 + 12.
    ExpectPlace(Layout(Page(0, 0, 400, 26), LAYOUT_RESIZE).topArrows, 0, 0, 0, 0, "top arrows");
    ExpectPlace(Layout(Page(0, 0, 400, 27), LAYOUT_RESIZE).topArrows, 183, 4, 33, 18,
                "top arrows");
}

TEST(PageLayout, ATinyPageWhenBuiltGivesNoNegativeSizes)
{
    PageLayout p = Layout(Page(0, 0, 5, 5), LAYOUT_BUILD);
    ExpectPlace(p.fundList, 4, 4, 0, 0, "fund list");
    ExpectPlace(p.legend, -99, 4, 100, 0, "legend");  // 5 - 100 - 4: left of the page
    ExpectPlace(p.keyHelp, 4, 4, 0, 0, "key help");
    ExpectPlace(p.graph, 26, 26, 0, 0, "graph");
    ExpectPlace(p.leftArrows, 0, 0, 0, 0, "left arrows");
}

TEST(ProgressBarPlace, AThirdOfTheWidthCentredAboveTheStatusBar)
{
    LayoutRect r = ProgressBarPlace(760, 500, 17);
    ExpectPlace(r, 253, 241, 253, 17, "bar");  // (500 - 17) / 2 = 241
    ExpectPlace(ProgressBarPlace(760, 17, 17), 253, 0, 253, 17, "one line");
    ExpectPlace(ProgressBarPlace(760, 16, 17), 0, 0, 0, 0, "no room");
}

std::string Escaped(const char *text, size_t size = 64)
{
    char out[64];
    memset(out, 'x', sizeof out);
    EscapeTabText(text, out, size);
    return out;
}

TEST(TabText, AmpersandsAreDoubledAndUndoubled)
{
    EXPECT_EQ("Fidelity R&&D Fund", Escaped("Fidelity R&D Fund"));
    EXPECT_EQ("&&&&", Escaped("&&"));
    EXPECT_EQ("", Escaped(nullptr));
    // The buffer's end cuts before a pair, never through it.
    EXPECT_EQ("ab", Escaped("abc", 3));
    EXPECT_EQ("a", Escaped("a&b", 3));
    EXPECT_EQ("a&&", Escaped("a&b", 4));
    EXPECT_EQ("", Escaped("&", 2));

    for (const char *name : {"Fidelity R&D Fund", "&&", "a&", "&b", "plain", ""}) {
        char buffer[64];
        EscapeTabText(name, buffer, sizeof buffer);
        size_t n = UnescapeTabText(buffer);
        EXPECT_EQ(std::string(name), buffer);
        EXPECT_EQ(strlen(name), n);
    }
}

}  // namespace
