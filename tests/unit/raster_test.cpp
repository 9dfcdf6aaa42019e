// The in-memory surface: its font and text, the focus rectangle, bitmap copies, the BMP
// reader on sound and damaged files, the resource bitmaps and PNG output.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "data/alloc.h"
#include "graphics/draw.h"
#include "graphics/raster.h"
#include "graph_canvas.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

class RasterTest : public ::testing::Test {
protected:
    GraphCanvas c;
    RasterImage &image = c.image;
    DrawTarget &t = c.target;
    uint32_t memoryBefore;
    void SetUp() override
    {
        // Other suites may have left the font loaded; each test here starts without it.
        RasterShutdown();
        memoryBefore = DynamicMemoryUsed;
        ASSERT_EQ(CreateRasterTarget(160, 60, &image, &t), 1);
    }
    void TearDown() override
    {
        FreeRasterTarget(&image);
        FreeRasterBitmaps();
        RasterShutdown();
        EXPECT_EQ(DynamicMemoryUsed, memoryBefore);
    }
    RgbColour At(int32_t x, int32_t y) { return SurfaceGetPixel(&t, x, y); }
    // One past the rightmost column with a pixel that is not white; 0 when nothing is.
    int32_t PaintedRight()
    {
        int32_t right = 0;
        for (int32_t y = 0; y < 60; y++)
            for (int32_t x = 0; x < 160; x++)
                if (At(x, y) != White)
                    right = std::max(right, x + 1);
        return right;
    }
    uint32_t CountOf(RgbColour colour) { return CountColour(image.pixels, 160 * 60, colour); }
};

TEST_F(RasterTest, NewTargetIsWhiteWithDefaultStateAndZeroSizeFails)
{
    EXPECT_EQ(CountOf(White), 160u * 60u);
    EXPECT_EQ(std::make_tuple(t.kind, t.textAlign, t.textColour,
                              t.transparentText + t.xorMode + t.clipOn),
              std::make_tuple((uint32_t)SURFACE_RASTER, (uint32_t)TEXT_ALIGN_LEFT, Black, 0u));
    EXPECT_EQ(DynamicMemoryUsed, memoryBefore + 160u * 60u * 4u);
    RasterImage none;
    DrawTarget other;
    EXPECT_EQ(CreateRasterTarget(0, 10, &none, &other), 0);
    EXPECT_EQ(none.pixels, nullptr);
    EXPECT_EQ(SurfaceSetPixel(&other, 0, 0, Black), 0);
}

// The font's metrics and advances set every layout of the golden pictures; the platform's
// fallback once the raster is down does not show there.
TEST_F(RasterTest, ThePlatformMeasuresInTheFontWhileTheRasterIsUpAndTextIsCutAtTheClip)
{
    ASSERT_EQ(RasterStartup(RASTER_FONT_PATH), 1);
    EXPECT_EQ(PlatTextWidth("Hello", 5), RasterTextWidth("Hello", 5));
    EXPECT_NE(RasterTextWidth("Hello", 5), 35u);
    SurfaceClip(&t, 0, 0, 25, 60);
    SurfaceText(&t, 10, 5, "MMMMMM", 6);
    EXPECT_GT(PaintedRight(), 0);
    EXPECT_LE(PaintedRight(), 25);
    RasterShutdown();
    EXPECT_EQ(PlatTextWidth("Hello", 5), 35u);
}

TEST_F(RasterTest, OpaqueTextFillsItsCellWhiteAndTransparentTextDoesNot)
{
    ASSERT_EQ(RasterStartup(RASTER_FONT_PATH), 1);
    SurfaceFill(&t, 0, 0, 160, 60, Black);
    SurfaceSetTextColour(&t, RGB_OF(200, 0, 0));
    uint32_t width = RasterTextWidth("Hi", 2);
    SurfaceText(&t, 10, 10, "Hi", 2);
    for (int32_t y = 0; y < 60; y++)
        for (int32_t x = 0; x < 160; x++) {
            bool cell = x >= 10 && x < 10 + (int32_t)width && y >= 10 &&
                        y < 10 + (int32_t)TextHeight;
            RgbColour p = At(x, y);
            EXPECT_TRUE(cell ? p == White || p == RGB_OF(200, 0, 0) : p == Black)
                << std::hex << p << " at " << std::dec << x << "," << y;
        }
    SurfaceSetTransparent(&t, 1);
    SurfaceText(&t, 80, 10, "Hi", 2);
    EXPECT_EQ(At(80, 10), Black);
    for (int32_t y = 10; y < 10 + (int32_t)TextHeight; y++)
        for (int32_t x = 80; x < 80 + (int32_t)width; x++)
            EXPECT_NE(At(x, y), White);
}

TEST_F(RasterTest, WithoutItsFontTheRasterMeasuresFixedAdvancesAndDrawsNoText)
{
    // A missing font file is reported by its path, a damaged one as such.
    std::string bad = WriteFile(MakeTempDir(), "bad.ttf", std::string(64, 'x'));
    for (const std::string &font : {bad, std::string("/nonexistent/vantry/font.ttf")}) {
        ClearMessages();
        EXPECT_EQ(RasterStartup(font.c_str()), 0);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_NE(Messages[0].text.find(font == bad ? "damaged" : font), std::string::npos);
        EXPECT_EQ(RasterTextWidth("abc", 3), 21u);
        EXPECT_EQ(PlatTextWidth("abc", 3), 21u);
    }
    EXPECT_EQ(TextHeight, 15u);
    SurfaceSetTransparent(&t, 1);
    SurfaceText(&t, 10, 10, "abc", 3);
    EXPECT_EQ(CountOf(White), 160u * 60u);
    // An opaque cell is still the text's cell: 21 x 15 white on black.
    SurfaceFill(&t, 0, 0, 160, 60, Black);
    SurfaceSetTransparent(&t, 0);
    SurfaceText(&t, 10, 10, "abc", 3);
    EXPECT_EQ(CountOf(White), 21u * 15u);
    ExpectCanvasPixels(&c, {{10, 10, White}, {30, 24, White}, {31, 24, Black}, {30, 25, Black}});
}

TEST_F(RasterTest, FocusRectangleIsADottedInversionThatUndoesItself)
{
    SurfaceFocusRect(&t, 2, 2, 8, 6);
    // Of the outline of 2..7 x 2..5 the pixels with x + y even are inverted (white to
    // black); nothing else changes.
    for (int32_t y = 0; y < 60; y++)
        for (int32_t x = 0; x < 160; x++) {
            bool outline = x >= 2 && x <= 7 && y >= 2 && y <= 5 &&
                           (x == 2 || x == 7 || y == 2 || y == 5);
            EXPECT_EQ(At(x, y), outline && (x + y) % 2 == 0 ? Black : White) << x << "," << y;
        }
    SurfaceFocusRect(&t, 2, 2, 8, 6);
    EXPECT_EQ(CountOf(White), 160u * 60u);
}

TEST_F(RasterTest, BitmapCopiesPlainAndExclusiveOrAreClipped)
{
    // A 2 x 3 bitmap of its own in the Buy slot.
    BitmapRecord *b = &Bitmaps[BMP_BUY];
    b->pixels = (RgbColour *)AllocZero(6, sizeof(RgbColour));
    b->width = 2;
    b->height = 3;
    const RgbColour p[6] = {RGB_OF(255, 0, 255), Black, RGB_OF(0, 255, 255), RGB_OF(1, 2, 3),
                            White, RGB_OF(0x80, 0x40, 0x20)};
    memcpy(b->pixels, p, sizeof p);

    ASSERT_EQ(SurfaceCopyBitmap(&t, 5, 5, BMP_BUY, 0), 1);
    EXPECT_EQ(std::vector<RgbColour>({At(5, 5), At(6, 5), At(5, 7), At(6, 7), At(7, 5), At(5, 8)}),
              std::vector<RgbColour>({p[0], p[1], p[4], p[5], White, White}));

    // By exclusive-or over a coloured background: black (p[1]) leaves it, the rest
    // combine channel by channel; twice restores.
    RgbColour bg = RGB_OF(0x0F, 0xF0, 0x55);
    SurfaceFill(&t, 20, 20, 30, 30, bg);
    for (int pass = 1; pass <= 2; pass++) {
        ASSERT_EQ(SurfaceCopyBitmap(&t, 20, 20, BMP_BUY, 1), 1);
        for (int32_t i = 0; i < 6; i++)
            EXPECT_EQ(At(20 + i % 2, 20 + i / 2), pass == 1 ? bg ^ p[i] : bg) << pass << " " << i;
    }

    // Cut by the surface's edge and by the clip.
    SurfaceFill(&t, 0, 0, 160, 60, White);
    SurfaceCopyBitmap(&t, -1, -1, BMP_BUY, 0);
    ExpectCanvasPixels(&c, {{0, 0, p[3]}, {0, 1, p[5]}});
    EXPECT_EQ(CountOf(White), 160u * 60u - 2u);
    SurfaceFill(&t, 0, 0, 160, 60, White);
    SurfaceClip(&t, 41, 40, 42, 41);
    SurfaceCopyBitmap(&t, 40, 40, BMP_BUY, 0);
    EXPECT_EQ(At(41, 40), p[1]);
    EXPECT_EQ(CountOf(White), 160u * 60u - 1u);

    // A slot that holds no bitmap copies nothing; a slot beyond the table fails.
    EXPECT_EQ(SurfaceCopyBitmap(&t, 0, 0, BMP_SELL, 0), 1);
    EXPECT_EQ(SurfaceCopyBitmap(&t, 0, 0, BITMAP_COUNT, 0), 0);
}

// ---------------------------------------------------------------------------------------
// The BMP reader.

// A BMP file with a 40-byte information header, the palette (BGRA quads) and pixel rows
// as given. The header is little-endian words of 32 bits; planes (1) and bits per pixel
// share one, the planes in its low half.
std::string BmpFile(int32_t width, int32_t height, uint32_t bits, uint32_t compression,
                    uint32_t coloursUsed, const std::string &palette, const std::string &rows)
{
    std::string s = "BM";
    uint32_t offset = 14 + 40 + (uint32_t)palette.size(), size = (uint32_t)rows.size();
    for (uint32_t v : {offset + size, 0u, offset, 40u, (uint32_t)width, (uint32_t)height,
                       1u | bits << 16, compression, size, 2835u, 2835u, coloursUsed, 0u})
        for (int byte = 0; byte < 4; byte++)
            s.push_back((char)(v >> (8 * byte) & 0xFF));
    return s + palette + rows;
}

// Palette red, green, blue; a 3 x 2 picture stored bottom row first, rows of 4 bytes:
// top row red green blue, bottom row blue green red.
const std::string Palette3("\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00", 12);
const std::string Rows3x2("\x21\x00\x00\x00\x01\x20\x00\x00", 8);

const std::string Sound4Bit = BmpFile(3, 2, 4, 0, 3, Palette3, Rows3x2);

RgbColour *Decode(const std::string &file, uint32_t *w, uint32_t *h)
{
    return DecodeBmp((const uint8_t *)file.data(), (uint32_t)file.size(), w, h);
}

TEST(BmpReader, DecodesFourAndTwentyFourBitPictures)
{
    const RgbColour red = RGB_OF(255, 0, 0), green = RGB_OF(0, 255, 0), blue = RGB_OF(0, 0, 255);
    // 24 bits, top row first (negative height), 9 bytes a row padded to 12.
    const std::string rows24("\x03\x02\x01\x06\x05\x04\x09\x08\x07\xEE\xEE\xEE"
                             "\x1E\x14\x0A\x00\x00\x00\xFF\xFF\xFF\xEE\xEE\xEE",
                             24);
    const struct {
        std::string file;
        std::vector<RgbColour> pixels;   // top row first
    } cases[] = {
        {Sound4Bit, {red, green, blue, blue, green, red}},
        {BmpFile(3, -2, 24, 0, 0, "", rows24),
         {RGB_OF(1, 2, 3), RGB_OF(4, 5, 6), RGB_OF(7, 8, 9), RGB_OF(10, 20, 30), Black, White}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pixels[0]);
        uint32_t w = 0, h = 0;
        RgbColour *p = Decode(c.file, &w, &h);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(3u, 2u));
        EXPECT_EQ(std::vector<RgbColour>(p, p + 6), c.pixels);
        FreeBlock(p);
    }
}

TEST(BmpReader, RefusesDamagedFilesWithoutReadingBeyondThem)
{
    uint32_t w = 7, h = 7;
    // Every shorter prefix of a sound file is cut short.
    for (size_t n = 0; n < Sound4Bit.size(); n++) {
        EXPECT_EQ(Decode(Sound4Bit.substr(0, n), &w, &h), nullptr) << n;
        EXPECT_EQ(w, 0u);
    }
    const struct {
        int32_t width, height;
        uint32_t bits, compression, coloursUsed;
        const char *why;
    } bad[] = {
        {0, 2, 4, 0, 3, "no width"},
        {-3, 2, 4, 0, 3, "negative width"},
        {3, 0, 4, 0, 3, "no height"},
        {3, 3, 4, 0, 3, "3 rows in 8 bytes"},
        {9, 2, 4, 0, 3, "9 columns (8 bytes a row) in 8 bytes"},
        {3, 2, 24, 0, 0, "24-bit rows of 12 bytes in 8"},
        {100000, 2, 4, 0, 3, "far too wide"},
        {3, -100000, 4, 0, 3, "far too tall"},
        {3, 2, 8, 0, 3, "8 bits"},
        {3, 2, 4, 2, 3, "compressed"},
        {3, 2, 4, 0, 17, "17 colours of 4 bits"},
        {3, 2, 4, 0, 2, "colour index 2 with only two palette entries"},
        {3, 2, 4, 0, 0, "16 entries claimed where 3 stand before the pixels"},
    };
    for (const auto &b : bad) {
        const std::string palette = b.bits == 24 ? "" : Palette3;
        std::string file = BmpFile(b.width, b.height, b.bits, b.compression, b.coloursUsed,
                                   palette, Rows3x2);
        EXPECT_EQ(Decode(file, &w, &h), nullptr) << b.why;
    }
    // Bad magic, pixel offset pointing into the headers, information header beyond the file.
    std::string badMagic = Sound4Bit, early = Sound4Bit, bigHeader = Sound4Bit;
    badMagic[0] = 'X';
    early[10] = 20;
    bigHeader[14] = bigHeader[15] = (char)0xFF;
    for (const std::string *file : {&badMagic, &early, &bigHeader})
        EXPECT_EQ(Decode(*file, &w, &h), nullptr);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
}

TEST(BmpReader, SurvivesEveryByteOfASoundFileChanged)
{
    // The sanitizers see any read or write out of bounds; what decodes stays in its limits.
    const uint8_t values[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    for (size_t i = 0; i < Sound4Bit.size(); i++)
        for (uint8_t v : values) {
            std::string file = Sound4Bit;
            file[i] = (char)v;
            uint32_t w = 0, h = 0;
            RgbColour *p = Decode(file, &w, &h);
            if (p) {
                EXPECT_LE(w, 1024u);
                EXPECT_LE(h, 1024u);
                EXPECT_EQ(BlockSize(p), (size_t)w * h * sizeof(RgbColour));
            }
            FreeBlock(p);
        }
}

TEST_F(RasterTest, AMissingOrDamagedFileIsReportedAndLeavesItsSlotEmpty)
{
    std::string dir = MakeTempDir() + "/";
    for (uint32_t slot = 0; slot < BITMAP_COUNT; slot++)
        if (slot != BMP_SELL)   // Sell missing, Check cut short
            WriteFile(dir, "bmp" + std::to_string(BitmapResourceIds[slot]) + ".bmp",
                      Sound4Bit.substr(0, Sound4Bit.size() - (slot == BMP_CHECK ? 3 : 0)));
    EXPECT_EQ(LoadRasterBitmaps(dir.c_str()), 20u);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>(
                                  {"Error: Cannot read the bitmap file " + dir + "bmp105.bmp.",
                                   "Error: The bitmap file " + dir + "bmp110.bmp is damaged."}));
    EXPECT_EQ(Bitmaps[BMP_SELL].pixels, nullptr);
    EXPECT_EQ(Bitmaps[BMP_CHECK].pixels, nullptr);
    EXPECT_EQ(Bitmaps[BMP_CHECK].width, 0u);
    ASSERT_NE(Bitmaps[BMP_DOWN].pixels, nullptr);
    EXPECT_EQ(Bitmaps[BMP_DOWN].width, 3u);
    EXPECT_EQ(Bitmaps[BMP_DOWN].pixels[2], RGB_OF(0, 0, 255));
}

uint32_t Count(const BitmapRecord &b, RgbColour colour)
{
    return CountColour(b.pixels, b.width * b.height, colour);
}

RgbColour Px(const BitmapRecord &b, uint32_t x, uint32_t y)
{
    return b.pixels[y * b.width + x];
}

TEST_F(RasterTest, TheResourceBitmapsHaveTheirSizesAndPictures)
{
    ASSERT_EQ(LoadRasterBitmaps(ResourceDir().c_str()), (uint32_t)BITMAP_COUNT);
    // Markers and icons are 10 x 14, the arrow buttons 14 x 14.
    for (uint32_t s = 0; s < BITMAP_COUNT; s++)
        ASSERT_EQ(std::make_pair(Bitmaps[s].width, Bitmaps[s].height),
                  std::make_pair(s >= BMP_ARROW_LEFT ? 14u : 10u, 14u)) << s;
    auto same = [](uint32_t a, uint32_t b) {
        return memcmp(Bitmaps[a].pixels, Bitmaps[b].pixels,
                      Bitmaps[a].width * Bitmaps[a].height * 4) == 0;
    };
    // The markers' states differ.
    EXPECT_FALSE(same(BMP_CHECK, BMP_NO_CHECK));
    EXPECT_FALSE(same(BMP_PORTFOLIO, BMP_NO_PORTFOLIO));

    // Arrow buttons: black figures on white in a black frame.
    for (uint32_t s = BMP_ARROW_LEFT; s <= BMP_DOWN; s++) {
        const BitmapRecord &b = Bitmaps[s];
        EXPECT_EQ(Count(b, Black) + Count(b, White), 14u * 14u) << s;  // nothing else
        for (uint32_t i = 0; i < 14; i++)
            EXPECT_TRUE(Px(b, i, 0) == Black && Px(b, i, 13) == Black && Px(b, 0, i) == Black &&
                        Px(b, 13, i) == Black) << s << " frame at " << i;
        EXPECT_EQ(Px(b, 1, 1), White) << s;
        EXPECT_GT(Count(b, Black), 52u + 10u) << s;  // more than the frame
    }
    // Left and right pictures are mirror images, up and down too.
    const uint32_t pairs[][2] = {{BMP_ARROW_LEFT, BMP_ARROW_RIGHT},
                                 {BMP_DOUBLE_LEFT, BMP_DOUBLE_RIGHT},
                                 {BMP_BOLD_LEFT, BMP_BOLD_RIGHT},
                                 {BMP_BOLD_DOUBLE_LEFT, BMP_BOLD_DOUBLE_RIGHT}};
    for (uint32_t y = 0; y < 14; y++)
        for (uint32_t x = 0; x < 14; x++) {
            for (const auto &pair : pairs)
                EXPECT_EQ(Px(Bitmaps[pair[0]], x, y), Px(Bitmaps[pair[1]], 13 - x, y));
            EXPECT_EQ(Px(Bitmaps[BMP_UP], x, y), Px(Bitmaps[BMP_DOWN], x, 13 - y));
        }
    // The left arrow's figure is narrow at its left end (the tip) and tall further right;
    // the up arrow's tip is at its top. line(b, k, 1) counts column k, line(b, k, 0) row k.
    auto line = [](const BitmapRecord &b, uint32_t k, bool column) {
        uint32_t n = 0;
        for (uint32_t i = 1; i < 13; i++)
            n += (column ? Px(b, k, i) : Px(b, i, k)) == Black;
        return n;
    };
    for (bool column : {true, false}) {
        const BitmapRecord &b = Bitmaps[column ? BMP_ARROW_LEFT : BMP_UP];
        uint32_t first = 1;
        while (first < 13 && line(b, first, column) == 0)
            first++;
        EXPECT_LT(line(b, first, column), line(b, first + 3, column)) << column;
    }
    // Bold arrows carry more black than thin ones; double arrows are not single ones.
    EXPECT_GT(Count(Bitmaps[BMP_BOLD_LEFT], Black), Count(Bitmaps[BMP_ARROW_LEFT], Black));
    EXPECT_FALSE(same(BMP_DOUBLE_LEFT, BMP_ARROW_LEFT));
}

// ---------------------------------------------------------------------------------------
// PNG output.

TEST_F(RasterTest, PngReplacesTheFileWholeOrLeavesNoPartialFile)
{
    std::string dir = MakeTempDir();
    std::string path = WriteFile(dir, "picture.png", "old contents");
    ASSERT_EQ(WriteRasterPng(&image, path.c_str()), 1);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadWholeFile(path).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // A missing directory; a target that is a directory (the picture is made but cannot
    // replace it); an image without pixels.
    std::string taken = dir + "/taken.png";
    ASSERT_EQ(mkdir(taken.c_str(), 0700), 0);
    RasterImage empty = {};
    const struct {
        RasterImage *image;
        std::string path, message;  // "": any text
    } cases[] = {{&image, "/nonexistent/vantry/picture.png", ""},
                 {&image, taken, "Error: Cannot write " + taken + "."},
                 {&empty, dir + "/e.png", ""}};
    for (const auto &c : cases) {
        ClearMessages();
        EXPECT_EQ(WriteRasterPng(c.image, c.path.c_str()), 0) << c.path;
        ASSERT_EQ(Messages.size(), 1u) << c.path;
        EXPECT_TRUE(c.message.empty() || Messages[0].text == c.message) << Messages[0].text;
        for (const std::string &left : {path + ".tmp", c.path + ".tmp", dir + "/e.png"})
            EXPECT_NE(access(left.c_str(), F_OK), 0) << left;
    }
    struct stat st;
    EXPECT_TRUE(stat(taken.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

}  // namespace
