// The drawing primitives, the palette, LogPixel and the four value axes, pixel by pixel
// on the raster.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/draw.h"
#include "graphics/raster.h"
#include "test_support.h"

namespace {

const RgbColour White = RGB_OF(255, 255, 255);
const RgbColour Black = RGB_OF(0, 0, 0);

// A raster target of its own per test, the one DrawSurface points at.
struct Canvas {
    RasterImage image;
    DrawTarget target;
};

void OpenCanvas(Canvas *c, uint32_t width, uint32_t height)
{
    ASSERT_EQ(CreateRasterTarget(width, height, &c->image, &c->target), 1);
}

RgbColour At(Canvas *c, int32_t x, int32_t y)
{
    return SurfaceGetPixel(&c->target, x, y);
}

// The pixels that are not white, as sorted "x,y" strings, for readable failures.
std::vector<std::string> Painted(Canvas *c)
{
    std::vector<std::string> out;
    for (uint32_t y = 0; y < c->image.height; y++)
        for (uint32_t x = 0; x < c->image.width; x++)
            if (c->image.pixels[y * c->image.width + x] != White)
                out.push_back(std::to_string(x) + "," + std::to_string(y));
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Points(std::initializer_list<std::pair<int, int>> points)
{
    std::vector<std::string> out;
    for (const auto &p : points)
        out.push_back(std::to_string(p.first) + "," + std::to_string(p.second));
    std::sort(out.begin(), out.end());
    return out;
}

// The first pixel where two canvases differ, or "" when they are the same picture.
std::string FirstDifference(Canvas *a, Canvas *b)
{
    if (a->image.width != b->image.width || a->image.height != b->image.height)
        return "sizes differ";
    for (uint32_t y = 0; y < a->image.height; y++)
        for (uint32_t x = 0; x < a->image.width; x++) {
            RgbColour p = a->image.pixels[y * a->image.width + x];
            RgbColour q = b->image.pixels[y * b->image.width + x];
            if (p != q) {
                char text[80];
                snprintf(text, sizeof text, "at %u,%u: %06X against %06X", x, y, p, q);
                return text;
            }
        }
    return "";
}

class DrawTest : public ::testing::Test {
protected:
    Canvas c;
    void SetUp() override
    {
        OpenCanvas(&c, 40, 30);
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
    EXPECT_EQ(At(&c, 1, 0), RGB_OF(0, 128, 255));
    FillBox(&c.target, 0, 5, 2, 7, 6);
    EXPECT_EQ(At(&c, 1, 6), RGB_OF(255, 255, 0));
    FullColourDisplay = 1;
    FillBox(&c.target, 0, 5, 2, 7, 6);
    EXPECT_EQ(At(&c, 1, 6), RGB_OF(150, 0, 0));
}

TEST_F(DrawTest, LinesLeaveTheirEndPointUnpaintedAreCutToTheSurfaceAndStayNearTheIdeal)
{
    DrawLine(&c.target, 2, 3, 7, 3, 1);  // horizontal: x 2..6
    DrawLine(&c.target, 30, 2, 30, 6, 1);  // vertical: y 2..5
    DrawLine(&c.target, 10, 10, 14, 14, 1);  // diagonal: 4 pixels
    DrawLine(&c.target, 25, 20, 21, 20, 1);  // right to left: x 25..22
    DrawLine(&c.target, 5, 25, 5, 25, 1);  // a single point draws nothing
    EXPECT_EQ(Painted(&c), Points({{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {30, 2}, {30, 3},
                                   {30, 4}, {30, 5}, {10, 10}, {11, 11}, {12, 12}, {13, 13},
                                   {22, 20}, {23, 20}, {24, 20}, {25, 20}}));
    EXPECT_EQ(At(&c, 2, 3), PaletteColour(1));

    // Four billion pixels long: only the visible row is painted.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, -2000000000, 4, 2000000000, 4, 1);
    EXPECT_EQ(Painted(&c).size(), 40u);
    EXPECT_EQ(At(&c, 0, 4), Black);
    EXPECT_EQ(At(&c, 39, 4), Black);

    // Corner to corner of the 32-bit plane: the exact diagonal, pixel k at
    // (INT32_MIN + k, INT32_MIN + k). The visible part begins 2^31 steps in, where k times
    // the minor side is near 2^63: (0, 0) .. (29, 29) and nothing else.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 1);
    EXPECT_EQ(Painted(&c).size(), 30u);
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(At(&c, i, i), Black) << i;

    // (0,0) to (8,3): one pixel in each column 0..7, within half a pixel of y = 3x/8,
    // never stepping back.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, 0, 0, 8, 3, 1);
    ASSERT_EQ(Painted(&c).size(), 8u);
    int previous = 0;
    for (int x = 0; x < 8; x++) {
        int found = -1;
        for (int y = 0; y < 30; y++)
            if (At(&c, x, y) != White)
                found = y;
        ASSERT_GE(found, previous) << x;
        EXPECT_LE(fabs(found - 3.0 * x / 8.0), 0.5) << x;
        previous = found;
    }
    // Steep, upward: rows 20 down to 11 of (30,20) to (33,10), one pixel per row.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    DrawLine(&c.target, 30, 20, 33, 10, 1);
    ASSERT_EQ(Painted(&c).size(), 10u);
    for (int y = 11; y <= 20; y++) {
        int count = 0;
        for (int x = 0; x < 40; x++)
            count += At(&c, x, y) != White;
        EXPECT_EQ(count, 1) << y;
    }
    EXPECT_EQ(At(&c, 30, 20), Black);
    EXPECT_EQ(At(&c, 33, 10), White);
}

TEST_F(DrawTest, BoxesDotsTicksAndFrames)
{
    // Boxes exclude the right and bottom edge; dots are 3 x 3. TickRight ends its line at
    // x + n - 1 (not painted): n - 1 pixels; TickLeft and TickUp at x - n - 1 and
    // y - n - 1: n + 1 pixels.
    FillBox(&c.target, 2, 2, 5, 4, 12);
    DrawDot(&c.target, 20, 20, 9);
    TickRight(10, 5, 4, 1);
    TickLeft(30, 5, 4, 1);
    TickUp(5, 20, 2, 1);
    EXPECT_EQ(Painted(&c), Points({{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}, {19, 19},
                                   {20, 19}, {21, 19}, {19, 20}, {20, 20}, {21, 20}, {19, 21},
                                   {20, 21}, {21, 21}, {10, 5}, {11, 5}, {12, 5}, {26, 5},
                                   {27, 5}, {28, 5}, {29, 5}, {30, 5}, {5, 18}, {5, 19},
                                   {5, 20}}));
    EXPECT_EQ(At(&c, 3, 3), RGB_OF(0, 0, 220));
    EXPECT_EQ(At(&c, 21, 21), RGB_OF(0, 170, 0));
    // Corners given the other way round make the same box; an empty one paints nothing.
    FillBox(&c.target, 0, 0, 40, 30, 0);
    FillBox(&c.target, 5, 4, 2, 2, 12);
    FillBox(&c.target, 20, 20, 20, 25, 12);
    EXPECT_EQ(Painted(&c), Points({{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}}));

    // FrameBox: outline of 1..5 x 1..4 in black, the red inside 2..4 x 2..3 untouched.
    FillBox(&c.target, 0, 0, 10, 10, 5);
    FrameBox(1, 1, 6, 5);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++) {
            bool edge = (x >= 1 && x <= 5 && (y == 1 || y == 4)) ||
                        (y >= 1 && y <= 4 && (x == 1 || x == 5));
            EXPECT_EQ(At(&c, x, y), edge ? Black : RGB_OF(200, 0, 0)) << x << "," << y;
        }
}

TEST_F(DrawTest, ExclusiveOrDrawingTwiceRestoresThePicture)
{
    Canvas before;
    OpenCanvas(&before, 40, 30);
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
            EXPECT_EQ(At(&c, 5, 5), RGB_OF(255, 206, 100));
            EXPECT_NE(FirstDifference(&c, &before), "");
        }
    }
    EXPECT_EQ(FirstDifference(&c, &before), "");
    // SetPixel is exact in exclusive-or mode too.
    EXPECT_EQ(SurfaceSetPixel(&c.target, 1, 1, RGB_OF(1, 2, 3)), 1);
    EXPECT_EQ(At(&c, 1, 1), RGB_OF(1, 2, 3));
    EXPECT_EQ(SurfaceSetXor(&c.target, 0), 1u);
    FreeRasterTarget(&before.image);
}

TEST_F(DrawTest, PixelsAreExactOutsideReadsInvalidAndClipLimitsAllButTheFill)
{
    EXPECT_EQ(SurfaceSetPixel(&c.target, 0, 0, RGB_OF(12, 34, 56)), 1);
    EXPECT_EQ(SurfaceSetPixel(&c.target, 39, 29, RGB_OF(7, 8, 9)), 1);
    EXPECT_EQ(SurfaceSetPixel(&c.target, 40, 0, Black), 1);  // off the surface: nothing
    EXPECT_EQ(SurfaceSetPixel(&c.target, -1, 5, Black), 1);
    EXPECT_EQ(At(&c, 0, 0), RGB_OF(12, 34, 56));
    EXPECT_EQ(At(&c, 39, 29), RGB_OF(7, 8, 9));
    EXPECT_EQ(Painted(&c).size(), 2u);
    EXPECT_EQ(At(&c, 40, 0), 0xFFFFFFFFu);
    EXPECT_EQ(At(&c, 0, -1), 0xFFFFFFFFu);
    EXPECT_EQ(At(&c, 0, 30), 0xFFFFFFFFu);

    FillBox(&c.target, 0, 0, 40, 30, 0);
    ASSERT_EQ(SurfaceClip(&c.target, 2, 2, 5, 5), 1);
    FillBox(&c.target, 0, 0, 40, 30, 1);
    DrawLine(&c.target, 0, 10, 40, 10, 1);
    SurfaceSetPixel(&c.target, 8, 8, Black);
    EXPECT_EQ(Painted(&c), Points({{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4},
                                   {3, 4}, {4, 4}}));
    SurfaceFill(&c.target, 30, 20, 32, 21, Black);  // the fill ignores the clip
    EXPECT_EQ(At(&c, 31, 20), Black);
    EXPECT_EQ(At(&c, 32, 20), White);
    ASSERT_EQ(SurfaceClearClip(&c.target), 1);
    SurfaceSetPixel(&c.target, 8, 8, Black);
    EXPECT_EQ(At(&c, 8, 8), Black);
}

// The labels of the messages reported, each cut before ", GetLastError=".
std::vector<std::string> Labels()
{
    std::vector<std::string> labels;
    for (const std::string &text : MessageTexts())
        labels.push_back(text.substr(0, text.find(", GetLastError=")));
    return labels;
}

// A device whose every selection fails (before and after the drawing call), whose text
// alignment cannot be set, and whose drawing calls themselves succeed.
int SelectFails(void)
{
    SurfaceFailedSteps |= SURFACE_STEP_SELECT | SURFACE_STEP_RESTORE;
    return 0;
}
int FailLine(DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour) { return SelectFails(); }
int FailRectangle(DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour, RgbColour,
                  uint32_t)
{
    return SelectFails();
}
int Pixel(DrawTarget *, int32_t, int32_t, RgbColour) { return 1; }
RgbColour GetPx(DrawTarget *, int32_t, int32_t) { return 0; }
int Text(DrawTarget *, int32_t, int32_t, const char *, uint32_t) { return 1; }
uint32_t Width(DrawTarget *, const char *, uint32_t length) { return length; }
int Box(DrawTarget *, int32_t, int32_t, int32_t, int32_t) { return 1; }
int Fill(DrawTarget *, int32_t, int32_t, int32_t, int32_t, RgbColour) { return 1; }
int Clear(DrawTarget *) { return 1; }
int Value(DrawTarget *, uint32_t) { return 1; }
int NoValue(DrawTarget *, uint32_t) { return 0; }
int Copy(DrawTarget *, int32_t, int32_t, uint32_t, uint32_t) { return 1; }
const SurfaceOps FailingSelects = {FailLine, FailRectangle, Pixel, GetPx, Text, Width, Fill,
                                   Box,      Clear,         Box,   NoValue, Value, Value,
                                   Value,    Copy,          Box,   Clear};

TEST_F(DrawTest, FailingTargetsAreReportedUnderEachPrimitivesLabels)
{
    // A GDI target in a build without the GDI operations: each primitive names its call.
    DrawTarget gdi = {};
    gdi.kind = SURFACE_GDI;
    DrawLine(&gdi, 0, 0, 5, 5, 1);
    FillBox(&gdi, 0, 0, 5, 5, 1);
    DrawText(&gdi, 0, 0, "x", 1, 1);
    EXPECT_EQ(Labels(), std::vector<std::string>({"Error: MoveToEx", "Error: Rectangle",
                                                  "Error: SetTextColor", "Error: TextOut"}));
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0].caption, "Vantry WIN32 API Error");
    // On the raster nothing fails.
    ClearMessages();
    DrawLine(&c.target, 0, 0, 5, 5, 1);
    FillBox(&c.target, 0, 0, 5, 5, 1);
    FrameBox(0, 0, 5, 5);
    EXPECT_TRUE(Messages.empty());

    // Operations whose selections fail: each is reported under the primitive's label.
    ClearMessages();
    GdiSurfaceOps = &FailingSelects;
    DrawLine(&gdi, 0, 0, 5, 5, 1);
    FillBox(&gdi, 0, 0, 5, 5, 1);
    DrawSurface = &gdi;
    FrameBox(0, 0, 5, 5);
    const std::string s = "Error: SelectObject draw ";
    EXPECT_EQ(Labels(), std::vector<std::string>({s + "1", s + "2", s + "3", s + "4", s + "5",
                                                  s + "6"}));
    // A right-hand axis whose alignment cannot be set says so for its label and leaves
    // the target's alignment as it was. span 100, count 2: step 1, half-unit offset 25;
    // value 0 has its half mark, value 1 its tick, its label and its half mark.
    ClearMessages();
    TextHeight = 16;
    LinearAxisRight(100, 300, 100, 2, 1);
    GdiSurfaceOps = nullptr;
    EXPECT_EQ(Labels(), std::vector<std::string>({s + "1", s + "2", s + "1", s + "2",
                                                  "Error: SetTextAlign", s + "1", s + "2"}));
    EXPECT_EQ(gdi.textAlign, (uint32_t)TEXT_ALIGN_LEFT);
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
        OpenCanvas(&c, 240, 480);
        DrawSurface = &c.target;
        OpenCanvas(&expected, 240, 480);
        ASSERT_EQ(RasterStartup(RASTER_FONT_PATH), 1);
        TextHeight = 16;
    }
    void TearDown() override
    {
        FreeRasterTarget(&expected.image);
        RasterShutdown();
        DrawTest::TearDown();
    }
    // The picture against the expected one; then both white again for the next part.
    void ExpectPictureAndClear()
    {
        EXPECT_EQ(FirstDifference(&c, &expected), "");
        FillBox(&c.target, 0, 0, 240, 480, 0);
        FillBox(&expected.target, 0, 0, 240, 480, 0);
    }
    // Pixels x0..x1 (inclusive, either order) of row y.
    void Run(int32_t x0, int32_t x1, int32_t y)
    {
        for (int32_t x = x0 < x1 ? x0 : x1; x <= (x0 < x1 ? x1 : x0); x++)
            SurfaceSetPixel(&expected.target, x, y, Black);
    }
    void LeftLabel(int32_t x, int32_t row, const char *text)
    {
        SurfaceText(&expected.target, x + 5, row - 8, text, (uint32_t)strlen(text));
    }
    void RightLabel(int32_t x, int32_t row, const char *text)
    {
        SurfaceSetTextAlign(&expected.target, TEXT_ALIGN_RIGHT);
        SurfaceText(&expected.target, x - 5, row - 8, text, (uint32_t)strlen(text));
        SurfaceSetTextAlign(&expected.target, TEXT_ALIGN_LEFT);
    }
};

TEST_F(AxisTest, LinearAxesStepsHalfUnitMarksRowsMultipliedFirstAndNoRoom)
{
    // span 400, count 10, TextHeight 16: 40 pixels a unit is above 18, so step 1; the
    // half-unit offset is 20. Left: labels 1..9 every 40 pixels up from row 450, half
    // marks at 20, 60, ... 380, nothing for 0 or 10. Right: the same scale growing down
    // from row 20 at x = 200, pointing left.
    LinearAxisLeft(10, 450, 400, 10, 1);
    LinearAxisRight(200, 20, 400, 10, 0);
    for (int i = 0; i < 10; i++) {
        int up = 450 - 40 * i, down = 20 + 40 * i;
        if (i != 0) {
            Run(10, 12, up);  // TickRight length 4: 3 pixels
            LeftLabel(10, up, std::to_string(i).c_str());
            Run(200, 196, down);  // TickLeft length 4: 5 pixels
            RightLabel(200, down, std::to_string(i).c_str());
        }
        Run(10, 10, up - 20);  // TickRight length 2: 1 pixel
        Run(200, 198, down + 20);  // TickLeft length 2: 3 pixels
    }
    EXPECT_EQ(c.target.textAlign, (uint32_t)TEXT_ALIGN_LEFT);
    EXPECT_EQ(c.target.textColour, Black);
    ExpectPictureAndClear();

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
    ExpectPictureAndClear();

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
    EXPECT_EQ(FirstDifference(&c, &expected), "");
}

TEST_F(AxisTest, TallLinearAxisRowsDoNotWrap)
{
    // span 40000, count 200000: 100 units give 40000 * 100 / 200000 = 20 > 18 (50 give
    // 10), so step 100 and ticks for 100 .. 199900 at i / 5 rows up: 20, 40, ... 39980.
    // From i = 107400 on, i * 40000 passes 2^32; the rows must still be i / 5.
    Canvas tall;
    OpenCanvas(&tall, 60, 40010);
    DrawSurface = &tall.target;
    LinearAxisLeft(10, 40005, 40000, 200000, 1);
    std::vector<int> rows;
    for (int y = 0; y < 40010; y++)
        if (At(&tall, 11, y) == Black)
            rows.push_back(40005 - y);
    std::vector<int> expectedRows;
    for (int offset = 39980; offset >= 20; offset -= 20)
        expectedRows.push_back(offset);
    EXPECT_EQ(rows, expectedRows);
    DrawSurface = &c.target;
    FreeRasterTarget(&tall.image);
}

TEST_F(AxisTest, LogAxisDropsCrowdedLabelsAndHalfUnitMarks)
{
    // span 400, count 100: 4 pixels a unit, 5 units 20 > 18: step 5, no half marks.
    // s = 400 / (ln 100 + 1) = 71.3627; value i at trunc((ln i + 1) * s). A label needs
    // 16 / 2 = 8 rows above the last one drawn.
    LogAxisLeft(10, 450, 400, 100);
    struct Mark {
        int value, height, label;
    } marks[] = {{5, 186, 1},  {10, 235, 1}, {15, 264, 1}, {20, 285, 1}, {25, 301, 1},
                 {30, 314, 1}, {35, 325, 1}, {40, 334, 1}, {45, 343, 1}, {50, 350, 0},
                 {55, 357, 1}, {60, 363, 0}, {65, 369, 1}, {70, 374, 0}, {75, 379, 1},
                 {80, 384, 0}, {85, 388, 1}, {90, 392, 0}, {95, 396, 1}};
    for (const Mark &m : marks) {
        Run(10, 12, 450 - m.height);
        if (m.label)
            LeftLabel(10, 450 - m.height, std::to_string(m.value).c_str());
    }
    ExpectPictureAndClear();

    // span 400, count 20: 20 pixels a unit, step 1. s = 400 / (ln 20 + 1) = 100.1068.
    // Half marks at trunc((ln(i + 0.5) + 1) * s) while 5 rows or more above the last tick:
    // the one of 11.5 (344) is only 4 above 11's tick (340), so they stop there.
    LogAxisRight(200, 460, 400, 20);
    const int ticks[] = {0, 100, 169, 210, 238, 261, 279, 294, 308, 320,
                         330, 340, 348, 356, 364, 371, 377, 383, 389, 394};
    const int halves[] = {30, 140, 191, 225, 250, 270, 287, 301, 314, 325, 335};
    for (int i = 0; i < 20; i++) {
        if (i != 0) {
            Run(200, 196, 460 - ticks[i]);
            // 371, 383 and 394 are fewer than 8 rows above the label before them.
            if (i != 15 && i != 17 && i != 19)
                RightLabel(200, 460 - ticks[i], std::to_string(i).c_str());
        }
        if (i < 11)
            Run(200, 198, 460 - halves[i]);
    }
    EXPECT_EQ(FirstDifference(&c, &expected), "");
    EXPECT_EQ(c.target.textAlign, (uint32_t)TEXT_ALIGN_LEFT);
}

}  // namespace
