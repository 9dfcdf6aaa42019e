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

// A strip's frame drawn by hand: one black pixel wide round (0, 0)..(right, bottom),
// the right and bottom edges exclusive.
void Frame(GrayCanvas &e, int32_t right, int32_t bottom)
{
    const RgbColour black = PaletteColour(1);
    SurfaceFill(&e.target, 0, 0, right, 1, black);
    SurfaceFill(&e.target, 0, bottom - 1, right, bottom, black);
    SurfaceFill(&e.target, 0, 0, 1, bottom, black);
    SurfaceFill(&e.target, right - 1, 0, right, bottom, black);
}

TEST_F(LegendTest, StripsAreTheirButtonsInAFrame)
{
    // 14 x 14 buttons: a side strip's frame spans (0, 0)..(18, 93), button k at (2, 2 + 15k).
    const uint32_t left[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_LEFT,
                              BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_LEFT};
    const uint32_t right[6] = {BMP_ARROW_LEFT, BMP_ARROW_RIGHT, BMP_DOUBLE_RIGHT,
                               BMP_BOLD_LEFT,  BMP_BOLD_RIGHT,  BMP_BOLD_DOUBLE_RIGHT};
    // The top strip's frame spans (0, 0)..(2w + 5, h + 4) = (33, 18), up at (2, 2) and
    // down at (w + 3, 2); an unknown strip draws nothing.
    const uint32_t strips[] = {ARROW_STRIP_LEFT, ARROW_STRIP_RIGHT, ARROW_STRIP_TOP, 7};
    for (uint32_t strip : strips) {
        GrayCanvas c(40, 100), expected(40, 100);
        PaintArrowStrip(&c.target, strip);
        if (strip == ARROW_STRIP_TOP) {
            Frame(expected, 33, 18);
            SurfaceCopyBitmap(&expected.target, 2, 2, BMP_UP, 0);
            SurfaceCopyBitmap(&expected.target, 17, 2, BMP_DOWN, 0);
        } else if (strip != 7) {
            Frame(expected, 18, 93);
            // Every slot has a colour of its own, so the picture tells which button went where.
            for (uint32_t k = 0; k < 6; k++)
                SurfaceCopyBitmap(&expected.target, 2, 2 + 15 * (int32_t)k,
                                  strip == ARROW_STRIP_LEFT ? left[k] : right[k], 0);
        }
        EXPECT_EQ(FirstDifference(&c.image, &expected.image), "") << "strip " << strip;
    }
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
        EXPECT_EQ(ReportedLabels(), std::vector<std::string>{c.label})
            << "strip " << c.strip << " steps " << c.steps;
    }
}

}  // namespace
