// The drawing primitives, the palette, LogPixel and the four value axes, pixel by pixel
// on the raster.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "graphics/draw.h"
#include "graphics/raster.h"
#include "graph_canvas.h"
#include "test_support.h"

namespace {

// A plain raster target of its own per test (no text recorder), the one DrawSurface
// points at.
using Canvas = GraphCanvas;

void OpenRaster(Canvas *c, uint32_t width, uint32_t height)
{
    ASSERT_EQ(CreateRasterTarget(width, height, &c->image, &c->target), 1);
}

// The (x, y) of the pixels that are not white, row by row.
using Pixels = std::vector<std::pair<uint32_t, uint32_t>>;
Pixels Painted(Canvas *c)
{
    Pixels out;
    for (uint32_t y = 0; y < c->image.height; y++)
        for (uint32_t x = 0; x < c->image.width; x++)
            if (c->image.pixels[y * c->image.width + x] != White)
                out.push_back({x, y});
    return out;
}

class DrawTest : public ::testing::Test {
protected:
    Canvas c;
    void SetUp() override
    {
        OpenRaster(&c, 40, 30);
        DrawSurface = &c.target;
        FullColourDisplay = 1;
    }
    void TearDown() override
    {
        DrawSurface = nullptr;
        GdiSurfaceOps = nullptr;
        FullColourDisplay = 1;
        FreeRasterTarget(&c.image);
    }
};

TEST_F(DrawTest, PaletteSetFollowsTheDisplayDepth)
{
    // Fewer than 16 bits per pixel: the second set, which is not a darkened first one;
    // lines and boxes take their colour from the set in force.
    EXPECT_EQ(PaletteColour(14), RGB_OF(0, 0, 125));
    EXPECT_EQ(PaletteSets[1][14], RGB_OF(255, 0, 255));
    FullColourDisplay = 0;
    EXPECT_EQ(PaletteColour(0), White);
    EXPECT_EQ(PaletteColour(1), Black);
    DrawLine(&c.target, 0, 0, 3, 0, 2);
    EXPECT_EQ(PixelAt(&c, 1, 0), RGB_OF(0, 128, 255));
    FillBox(&c.target, 0, 5, 2, 7, 6);
    EXPECT_EQ(PixelAt(&c, 1, 6), RGB_OF(255, 255, 0));
    FullColourDisplay = 1;
    FillBox(&c.target, 0, 5, 2, 7, 6);
    EXPECT_EQ(PixelAt(&c, 1, 6), RGB_OF(150, 0, 0));
}

TEST_F(DrawTest, LinesLeaveTheirEndPointUnpaintedAndAreCutToTheSurface)
{
    DrawLine(&c.target, 2, 3, 7, 3, 1);  // horizontal: x 2..6
    DrawLine(&c.target, 30, 2, 30, 6, 1);  // vertical: y 2..5
    DrawLine(&c.target, 10, 10, 14, 14, 1);  // diagonal: 4 pixels
    DrawLine(&c.target, 25, 20, 21, 20, 1);  // right to left: x 25..22
    DrawLine(&c.target, 5, 25, 5, 25, 1);  // a single point draws nothing
    EXPECT_EQ(Painted(&c), (Pixels{{30, 2}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {30, 3},
                                   {30, 4}, {30, 5}, {10, 10}, {11, 11}, {12, 12}, {13, 13},
                                   {22, 20}, {23, 20}, {24, 20}, {25, 20}}));

    // Four billion pixels long: only the visible row is painted.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, -2000000000, 4, 2000000000, 4, 1);
    EXPECT_EQ(Painted(&c).size(), 40u);
    ExpectCanvasPixels(&c, {{0, 4, Black}, {39, 4, Black}});

    // Corner to corner of the 32-bit plane: the exact diagonal, pixel k at
    // (INT32_MIN + k, INT32_MIN + k). The visible part begins 2^31 steps in, where k times
    // the minor side is near 2^63: (0, 0) .. (29, 29) and nothing else.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 1);
    EXPECT_EQ(Painted(&c).size(), 30u);
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(PixelAt(&c, i, i), Black) << i;
}

TEST_F(DrawTest, BoxCornersGivenTheOtherWayRoundMakeTheSameBox)
{
    FillBox(&c.target, 5, 4, 2, 2, 12);
    FillBox(&c.target, 20, 20, 20, 25, 12);  // empty: nothing
    EXPECT_EQ(Painted(&c), (Pixels{{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}}));
}

TEST_F(DrawTest, ExclusiveOrDrawingTwiceRestoresThePicture)
{
    Canvas before;
    OpenRaster(&before, 40, 30);
    for (Canvas *k : {&c, &before}) {
        FillBox(&k->target, 0, 0, 20, 30, 3);
        FillBox(&k->target, 20, 0, 40, 30, 12);
    }
    EXPECT_EQ(SurfaceSetXor(&c.target, 1), 0u);
    for (int pass = 0; pass < 2; pass++) {
        DrawLine(&c.target, 5, 5, 35, 20, 9);
        FillBox(&c.target, 10, 10, 30, 15, 4);
        FrameBox(2, 2, 38, 28);
        if (pass == 0) {
            // Light red (255,100,100) xor green (0,170,0) = (255,206,100).
            EXPECT_EQ(PixelAt(&c, 5, 5), RGB_OF(255, 206, 100));
            EXPECT_NE(FirstDifference(&c.image, &before.image), "");
        }
    }
    EXPECT_EQ(FirstDifference(&c.image, &before.image), "");
    // SetPixel is exact in exclusive-or mode too.
    EXPECT_EQ(SurfaceSetPixel(&c.target, 1, 1, RGB_OF(1, 2, 3)), 1);
    EXPECT_EQ(PixelAt(&c, 1, 1), RGB_OF(1, 2, 3));
    EXPECT_EQ(SurfaceSetXor(&c.target, 0), 1u);
    FreeRasterTarget(&before.image);
}

TEST_F(DrawTest, PixelsAreExactOutsideReadsInvalidAndClipLimitsAllButTheFill)
{
    EXPECT_EQ(SurfaceSetPixel(&c.target, 0, 0, RGB_OF(12, 34, 56)), 1);
    EXPECT_EQ(SurfaceSetPixel(&c.target, 39, 29, RGB_OF(7, 8, 9)), 1);
    EXPECT_EQ(SurfaceSetPixel(&c.target, 40, 0, Black), 1);  // off the surface: nothing
    EXPECT_EQ(SurfaceSetPixel(&c.target, -1, 5, Black), 1);
    ExpectCanvasPixels(&c, {{0, 0, RGB_OF(12, 34, 56)}, {39, 29, RGB_OF(7, 8, 9)}});
    EXPECT_EQ(Painted(&c).size(), 2u);
    for (auto outside : {std::make_pair(40, 0), std::make_pair(0, -1), std::make_pair(0, 30)})
        EXPECT_EQ(SurfaceGetPixel(&c.target, outside.first, outside.second), 0xFFFFFFFFu)
            << outside.first;

    FillBox(&c.target, 0, 0, 40, 30, 0);
    ASSERT_EQ(SurfaceClip(&c.target, 2, 2, 5, 5), 1);
    FillBox(&c.target, 0, 0, 40, 30, 1);
    DrawLine(&c.target, 0, 10, 40, 10, 1);
    SurfaceSetPixel(&c.target, 8, 8, Black);
    EXPECT_EQ(Painted(&c), (Pixels{{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4},
                                   {3, 4}, {4, 4}}));
    SurfaceFill(&c.target, 30, 20, 32, 21, Black);  // the fill ignores the clip
    ExpectCanvasPixels(&c, {{31, 20, Black}, {32, 20, White}});
    ASSERT_EQ(SurfaceClearClip(&c.target), 1);
    SurfaceSetPixel(&c.target, 8, 8, Black);
    EXPECT_EQ(PixelAt(&c, 8, 8), Black);
}

using Texts = std::vector<std::string>;

int SelectFails()
{
    SurfaceFailedSteps |= SURFACE_STEP_SELECT | SURFACE_STEP_RESTORE;
    return 0;
}

TEST_F(DrawTest, FailingTargetsAreReportedUnderEachPrimitivesLabels)
{
    // A GDI target in a build without the GDI operations: each primitive names its call.
    DrawTarget gdi = {};
    gdi.kind = SURFACE_GDI;
    DrawLine(&gdi, 0, 0, 5, 5, 1);
    FillBox(&gdi, 0, 0, 5, 5, 1);
    DrawText(&gdi, 0, 0, "x", 1, 1);
    ASSERT_EQ(ReportedLabels(), Texts({"Error: MoveToEx", "Error: Rectangle",
                                       "Error: SetTextColor", "Error: TextOut"}));
    EXPECT_EQ(Messages[0].caption, "Vantry WIN32 API Error");
    // On the raster nothing fails.
    ClearMessages();
    DrawLine(&c.target, 0, 0, 5, 5, 1);
    FillBox(&c.target, 0, 0, 5, 5, 1);
    FrameBox(0, 0, 5, 5);
    EXPECT_TRUE(Messages.empty());

    // The raster taken for a device whose every selection fails (before and after the
    // drawing call, which itself succeeds) and whose text alignment cannot be set: each
    // failure is reported under the primitive's label.
    SurfaceOps ops = RasterSurfaceOps;
    ops.line = [](DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour) {
        return SelectFails();
    };
    ops.rectangle = [](DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour, RgbColour,
                       uint32_t) { return SelectFails(); };
    ops.setTextAlign = [](DrawTarget *, uint32_t) { return 0; };
    GdiSurfaceOps = &ops;
    c.target.kind = SURFACE_GDI;
    DrawLine(&c.target, 0, 0, 5, 5, 1);
    FillBox(&c.target, 0, 0, 5, 5, 1);
    FrameBox(0, 0, 5, 5);
    const std::string s = "Error: SelectObject draw ";
    EXPECT_EQ(ReportedLabels(), Texts({s + "1", s + "2", s + "3", s + "4", s + "5", s + "6"}));
    // A right-hand axis whose alignment cannot be set says so for its label and leaves
    // the target's alignment as it was. span 100, count 2: step 1, half-unit offset 25;
    // value 0 has its half mark, value 1 its tick, its label and its half mark.
    ClearMessages();
    TextHeight = 16;
    LinearAxisRight(100, 300, 100, 2, 1);
    GdiSurfaceOps = nullptr;
    EXPECT_EQ(ReportedLabels(),
              Texts({s + "1", s + "2", s + "1", s + "2", "Error: SetTextAlign", s + "1", s + "2"}));
    EXPECT_EQ(c.target.textAlign, (uint32_t)TEXT_ALIGN_LEFT);
}

TEST(LogPixel, ClampsAtOneOverEAndTruncatesTowardZero)
{
    // trunc((max(ln v, -1) + 1) * scale)
    const struct {
        double value, scale;
        int32_t pixel;
    } cases[] = {
        {0.0, 100.0, 0}, {-5.0, 100.0, 0}, {exp(-1.0), 100.0, 0}, {0.1, 100.0, 0},
        {1.0, 100.0, 100}, {1.0, 99.9, 99},
        {2.0, 10.0, 16},        // ln 2 + 1 = 1.6931..., times 10 = 16.93 -> 16
        {exp(2.0), 7.5, 22},    // (2 + 1) * 7.5 = 22.5 -> 22
        {2.0, -10.0, -16},      // -16.93 truncates toward zero
        {1e300, 1e10, INT32_MAX},  // too large for a row: kept in range
        {NAN, 10.0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LogPixel(c.value, c.scale), c.pixel) << c.value << " x " << c.scale;
}

// ---------------------------------------------------------------------------------------
// Axes. The expected picture is built from the hand-worked rows: tick pixels set one by
// one, labels written with the surface's text at their places.

class AxisTest : public DrawTest {
protected:
    Canvas expected;
    void SetUp() override
    {
        DrawTest::SetUp();
        FreeRasterTarget(&c.image);
        OpenRaster(&c, 240, 480);
        DrawSurface = &c.target;
        OpenRaster(&expected, 240, 480);
        ASSERT_EQ(RasterStartup(RASTER_FONT_PATH), 1);
        TextHeight = 16;
    }
    void TearDown() override
    {
        FreeRasterTarget(&expected.image);
        RasterShutdown();
        DrawTest::TearDown();
    }
    // Pixels x0..x1 (inclusive) of row y.
    void Run(int32_t x0, int32_t x1, int32_t y)
    {
        for (int32_t x = x0; x <= x1; x++)
            SurfaceSetPixel(&expected.target, x, y, Black);
    }
    void LeftLabel(int32_t x, int32_t row, const char *text)
    {
        SurfaceText(&expected.target, x + 5, row - 8, text, (uint32_t)strlen(text));
    }
};

TEST_F(AxisTest, LinearAxesRowsMultipliedFirstAndNoRoom)
{
    // span 100, count 100: 1, 5 and 10 units give 1, 5 and 10 pixels, 20 give 20 > 18:
    // labels 20, 40, 60, 80 at 20, 40, 60, 80 pixels; no half-unit marks.
    LinearAxisLeft(10, 200, 100, 100, 1);
    for (int i = 20; i < 100; i += 20) {
        Run(10, 12, 200 - i);
        LeftLabel(10, 200 - i, std::to_string(i).c_str());
    }
    // span 80, count 200: 50 units give 80 * 50 / 200 = 20 > 18 (20 units give 8):
    // labels 50, 100, 150 at 20, 40, 60.
    LinearAxisLeft(100, 200, 80, 200, 1);
    for (int i = 50; i < 200; i += 50) {
        Run(100, 102, 200 - i * 80 / 200);
        LeftLabel(100, 200 - i * 80 / 200, std::to_string(i).c_str());
    }
    // span 100, count 7: 100 / 7 = 14 is not above 18, 5 units give 500 / 7 = 71: label 5
    // at 5 * 100 / 7 = 71 (dividing first would give 70).
    LinearAxisLeft(10, 440, 100, 7, 1);
    Run(10, 12, 440 - 71);
    LeftLabel(10, 440 - 71, "5");
    EXPECT_EQ(FirstDifference(&c.image, &expected.image), "");
    // Both white again for the axes that draw nothing.
    FillBox(&c.target, 0, 0, 240, 480, 0);
    FillBox(&expected.target, 0, 0, 240, 480, 0);

    // Axes without room or count draw nothing at all.
    LinearAxisLeft(10, 200, 400, 0, 1);
    LinearAxisRight(200, 200, 400, 0, 1);
    LogAxisLeft(10, 400, 400, 0);
    // 18 * 100 / 100 = 18 is not above 18: not even ticks.
    LinearAxisLeft(10, 300, 18, 100, 1);
    LinearAxisRight(200, 300, 18, 100, 0);
    LogAxisLeft(10, 450, 18, 100);
    LogAxisRight(200, 450, 18, 100);
    // 18 pixels for one unit is not above 18 either; 5 units leave only value 0.
    LinearAxisLeft(10, 100, 18, 1, 1);
    EXPECT_TRUE(Painted(&c).empty());
    // One pixel more and the step is 100: 19 * 100 / 100 = 19 > 18, but only value 0
    // remains, which has no tick: still nothing.
    LinearAxisLeft(10, 300, 19, 100, 1);
    EXPECT_TRUE(Painted(&c).empty());
    // span 20, count 101: 100 units give 2000 / 101 = 19 > 18, so value 100 gets its tick
    // and label 100 * 20 / 101 = 19 rows up.
    LinearAxisLeft(10, 300, 20, 101, 1);
    Run(10, 12, 281);
    LeftLabel(10, 281, "100");
    // Log axis, count 1: s = 100 / (ln 1 + 1) = 100; only value 0's half mark, 0.5 at
    // trunc((ln 0.5 + 1) * 100) = 30 rows up.
    LogAxisLeft(10, 130, 100, 1);
    Run(10, 10, 100);
    EXPECT_EQ(FirstDifference(&c.image, &expected.image), "");
}

TEST_F(AxisTest, TallLinearAxisRowsDoNotWrap)
{
    // span 40000, count 200000: 100 units give 40000 * 100 / 200000 = 20 > 18 (50 give
    // 10), so step 100 and ticks for 100 .. 199900 at i / 5 rows up: 20, 40, ... 39980.
    // From i = 107400 on, i * 40000 passes 2^32; the rows must still be i / 5.
    Canvas tall;
    OpenRaster(&tall, 60, 40010);
    DrawSurface = &tall.target;
    LinearAxisLeft(10, 40005, 40000, 200000, 1);
    std::vector<int> rows;
    for (int y = 0; y < 40010; y++)
        if (PixelAt(&tall, 11, y) == Black)
            rows.push_back(40005 - y);
    std::vector<int> expectedRows;
    for (int offset = 39980; offset >= 20; offset -= 20)
        expectedRows.push_back(offset);
    EXPECT_EQ(rows, expectedRows);
    DrawSurface = &c.target;
    FreeRasterTarget(&tall.image);
}

}  // namespace
