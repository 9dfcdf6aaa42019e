// The category legend and the arrow strips, painted on the raster.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/alloc.h"
#include "graphics/draw.h"
#include "graphics/legend.h"
#include "graphics/raster.h"
#include "graph_canvas.h"
#include "test_support.h"

namespace {

const RgbColour Gray = ListGray;

class LegendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RasterStartup(RASTER_FONT_PATH); }
    static void TearDownTestSuite() { RasterShutdown(); }
    void SetUp() override { FillSlots(14); }
    void TearDown() override
    {
        RestoreSlots();
        GdiSurfaceOps = nullptr;
    }
};

// The legend's lines themselves are in the fund list's pictures; what they do not show is
// the text mode the painter hands back.
TEST_F(LegendTest, PaintingLeavesTheTextModeAsItFoundIt)
{
    GrayCanvas c(200, 17 * LineHeight);
    PaintLegend(&c.target);
    EXPECT_EQ(c.target.transparentText, 0u);
}

TEST_F(LegendTest, SideStripsFrameAndButtons)
{
    // 14 x 14 buttons: the frame spans (0, 0)..(18, 93) exclusive, button k at y 2 + 15k.
    const uint32_t left[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_LEFT,
                              BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_LEFT};
    const uint32_t right[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_RIGHT,
                               BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_RIGHT};
    const RgbColour black = PaletteColour(1);
    for (uint32_t strip : {ARROW_STRIP_LEFT, ARROW_STRIP_RIGHT}) {
        GrayCanvas c(30, 100);
        PaintArrowStrip(&c.target, strip);
        for (int32_t i = 0; i < 93; i++) {
            EXPECT_EQ(c.At(0, i), black) << i;
            EXPECT_EQ(c.At(17, i), black) << i;
            if (i < 18) {
                EXPECT_EQ(c.At(i, 0), black) << i;
                EXPECT_EQ(c.At(i, 92), black) << i;
            }
        }
        EXPECT_EQ(c.At(18, 0), Gray);
        EXPECT_EQ(c.At(0, 93), Gray);
        // Hollow inside: the column between frame and buttons and the rows between buttons.
        EXPECT_EQ(c.At(1, 40), Gray);
        EXPECT_EQ(c.At(16, 40), Gray);
        for (int32_t k = 0; k < 6; k++) {
            uint32_t slot = strip == ARROW_STRIP_LEFT ? left[k] : right[k];
            EXPECT_EQ(ArrowButtonSlot(strip, (uint32_t)k), slot);
            EXPECT_EQ(c.At(2, 2 + 15 * k), SlotColour(slot)) << "button " << k;
            EXPECT_EQ(c.At(15, 15 + 15 * k), SlotColour(slot)) << "button " << k;
            if (k < 5) {
                EXPECT_EQ(c.At(8, 16 + 15 * k), Gray) << "gap after " << k;
            }
        }
    }
}

TEST_F(LegendTest, TopStripFrameAndBothArrows)
{
    // (0, 0)..(2w + 5, h + 4) = (33, 18); up at (2, 2), down at (w + 3, 2) = (17, 2).
    GrayCanvas c(40, 30);
    PaintArrowStrip(&c.target, ARROW_STRIP_TOP);
    const RgbColour black = PaletteColour(1), up = SlotColour(BMP_UP), down = SlotColour(BMP_DOWN);
    // The frame's corners and beyond them; each button's corners and the column after it.
    const struct { int32_t x, y; RgbColour colour; } probes[] = {
        {0, 0, black}, {32, 17, black}, {33, 17, Gray}, {32, 18, Gray}, {2, 2, up},
        {15, 15, up},  {16, 8, Gray},   {17, 2, down},  {30, 15, down}, {31, 8, Gray}};
    for (const auto &p : probes)
        EXPECT_EQ(c.At(p.x, p.y), p.colour) << p.x << "," << p.y;

    // An unknown strip draws nothing.
    GrayCanvas other(40, 30), blank(40, 30);
    PaintArrowStrip(&other.target, 7);
    EXPECT_EQ(FirstDifference(&other.image, &blank.image), "");
}

uint32_t FrameFailure;

TEST_F(LegendTest, FrameFailuresAreReportedUnderTheCallThatFailed)
{
    // A device whose frame rectangle fails at the step given, and whose copies succeed.
    // Selecting the black pen or the hollow brush is "SelectObject"; the drawing itself is
    // "Rectangle"; either way the buttons are still copied and nothing else is reported.
    SurfaceOps frameFails = {};
    frameFails.rectangle = [](DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour,
                              RgbColour, uint32_t) {
        SurfaceFailedSteps |= FrameFailure;
        return 0;
    };
    frameFails.copyBitmap = [](DrawTarget *, int32_t, int32_t, uint32_t, uint32_t) { return 1; };
    GdiSurfaceOps = &frameFails;
    DrawTarget gdi = {};
    gdi.kind = SURFACE_GDI;
    const struct {
        uint32_t strip, steps;
        const char *label;
    } cases[] = {
        {ARROW_STRIP_LEFT, SURFACE_STEP_SELECT, "Error: SelectObject"},
        {ARROW_STRIP_RIGHT, SURFACE_STEP_RESTORE, "Error: SelectObject"},
        {ARROW_STRIP_TOP, SURFACE_STEP_SELECT, "Error: SelectObject"},
        {ARROW_STRIP_TOP, SURFACE_STEP_DRAW, "Error: Rectangle"},
        {ARROW_STRIP_LEFT, SURFACE_STEP_DRAW, "Error: Rectangle"},
    };
    for (const auto &c : cases) {
        ClearMessages();
        FrameFailure = c.steps;
        PaintArrowStrip(&gdi, c.strip);
        std::vector<std::string> texts = MessageTexts();
        ASSERT_EQ(texts.size(), 1u) << c.label;
        EXPECT_EQ(texts[0].substr(0, texts[0].find(", GetLastError=")), c.label);
    }
}

}  // namespace
