// The main window's page geometry and the tab texts: the places of the page windows when
// the layout is built and resized, the limits below which windows vanish, and "&".
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/layout.h"

namespace {

// A place as a tuple, which the test framework compares and prints.
std::tuple<int32_t, int32_t, int32_t, int32_t> Place(const LayoutRect &r)
{
    return std::make_tuple(r.x, r.y, r.w, r.h);
}

// The page's windows, each the member of the layout that holds its place.
const auto FundList = &PageLayout::fundList, Legend = &PageLayout::legend;
const auto KeyHelp = &PageLayout::keyHelp, Manual = &PageLayout::manual;
const auto Graph = &PageLayout::graph, TopArrows = &PageLayout::topArrows;
const auto LeftArrows = &PageLayout::leftArrows, RightArrows = &PageLayout::rightArrows;
const int Build = LAYOUT_BUILD, Resize = LAYOUT_RESIZE;

// Pages below a 30-pixel tab strip or from the client's top; 14 x 14 arrow buttons and
// marks, as the resources have them, a 100-pixel legend, 1-pixel borders and a 16-pixel
// scroll bar. Every place worked out by hand from those figures.
TEST(PageLayout, PlacesAndTheLimitsBelowWhichWindowsVanish)
{
    using Places = std::vector<std::pair<LayoutRect PageLayout::*, LayoutRect>>;
    const struct {
        int32_t left, top, right, bottom;
        int kind;
        Places places;   // windows of the layout and their places
    } cases[] = {
        // Page 760 x 470 from (0, 30): the list 760 - 100 - 12 by 470 - 8, the legend at
        // 760 - 100 - 4, the graph at 14 + 12, 30 + 14 + 12.
        // Strips 6 x 14 + 9 = 93 high, their top 30 + (470 - 4 - 93) / 2 = 216; the right
        // one at 760 - 14 - 9, the top one at (760 - 28 - 5) / 2.
        {0, 30, 760, 500, Build,
         {{FundList, {4, 34, 648, 462}}, {Legend, {656, 34, 100, 462}},
          {KeyHelp, {4, 34, 752, 462}}, {Manual, {4, 34, 752, 462}},
          {Graph, {26, 56, 708, 440}}, {LeftArrows, {4, 216, 18, 93}},
          {RightArrows, {737, 216, 18, 93}}, {TopArrows, {363, 34, 33, 18}}}},
        // The same page moved 10 pixels right: the build measures the legend from the
        // width, the resize from the right edge; the resize centres the side strips on
        // the full height, 30 + (470 - 93) / 2 = 218.
        {10, 30, 770, 500, Build, {{Legend, {656, 34, 100, 462}}}},
        {10, 30, 770, 500, Resize,
         {{Legend, {666, 34, 100, 462}}, {LeftArrows, {14, 218, 18, 93}},
          {FundList, {14, 34, 648, 462}}, {Graph, {36, 56, 708, 440}},
          {RightArrows, {747, 218, 18, 93}}}},
        // The list's rows need 100 + 2 + 16 + 14 + 14 + 32 = 178 pixels beside the legend;
        // without them the resize drops the list and the legend, not the other pages.
        {0, 0, 178, 300, Resize,
         {{FundList, {0, 0, 0, 0}}, {Legend, {0, 0, 0, 0}}, {KeyHelp, {4, 4, 170, 292}}}},
        {0, 0, 179, 300, Resize, {{FundList, {4, 4, 67, 292}}, {Legend, {75, 4, 100, 292}}}},
        // A page lower than 9 drops the lists too.
        {0, 0, 800, 8, Resize,
         {{FundList, {0, 0, 0, 0}}, {KeyHelp, {0, 0, 0, 0}}, {Manual, {0, 0, 0, 0}}}},
        // The graph needs more than 2 x 14 + 24 = 52 across and 14 + 16 = 30 down; the
        // build places it whatever the page, with sizes clamped at 0.
        {0, 0, 52, 200, Resize, {{Graph, {0, 0, 0, 0}}}},
        {0, 0, 53, 31, Resize, {{Graph, {26, 26, 1, 1}}}},
        {0, 0, 52, 200, Build, {{Graph, {26, 26, 0, 170}}}},
        // Side strips need a page higher than 93 + 8 and wider than 28 + 28 + 29; built in
        // a page 400 high, their top is (400 - 4 - 93) / 2 = 151.
        {0, 0, 400, 101, Resize, {{LeftArrows, {0, 0, 0, 0}}}},
        {0, 0, 400, 102, Resize, {{LeftArrows, {4, 4, 18, 93}}}},
        {0, 0, 85, 400, Build, {{RightArrows, {0, 0, 0, 0}}}},
        {0, 0, 86, 400, Build, {{RightArrows, {63, 151, 18, 93}}}},
        // The top strip needs a page higher than 14 + 12.
        {0, 0, 400, 26, Resize, {{TopArrows, {0, 0, 0, 0}}}},
        {0, 0, 400, 27, Resize, {{TopArrows, {183, 4, 33, 18}}}},
        // A tiny page when built gives no negative sizes; its legend at 5 - 100 - 4 lies
        // left of the page.
        {0, 0, 5, 5, Build,
         {{FundList, {4, 4, 0, 0}}, {Legend, {-99, 4, 100, 0}}, {KeyHelp, {4, 4, 0, 0}},
          {Graph, {26, 26, 0, 0}}, {LeftArrows, {0, 0, 0, 0}}}},
    };
    for (const auto &c : cases) {
        // The legend, the buttons of the side and top strips, the border, the scroll bar
        // and the two marks, in the record's order.
        LayoutInput in = {c.left, c.top, c.right, c.bottom, 100, 14, 14, 14, 14, 1, 16, 14, 14};
        PageLayout out;
        memset(&out, 0x55, sizeof out);  // every field must be written
        ComputePageLayout(&in, c.kind, &out);
        for (const auto &p : c.places)
            EXPECT_EQ(Place(out.*p.first), Place(p.second))
                << "page " << c.left << "," << c.top << ".." << c.right << "," << c.bottom
                << (c.kind == Build ? " built" : " resized") << ", window " << &p - &c.places[0];
    }
}

TEST(ProgressBarPlace, AThirdOfTheWidthCentredAboveTheStatusBar)
{
    EXPECT_EQ(Place(ProgressBarPlace(760, 500, 17)), Place({253, 241, 253, 17}));  // (500 - 17) / 2
    EXPECT_EQ(Place(ProgressBarPlace(760, 17, 17)), Place({253, 0, 253, 17}));     // one line
    EXPECT_EQ(Place(ProgressBarPlace(760, 16, 17)), Place({0, 0, 0, 0}));          // no room
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
