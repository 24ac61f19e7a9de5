// TBitmap32's composition: quarter turns and flips (by hand and against ImageMagick), roll,
// alpha reset, drawing onto device contexts and tiled rendering.
#include "RasterTesting.h"

#include "raster/RasterResamplers.h"

#include <functional>
#include <random>

using namespace raster;

namespace {

using Draw = RasterTest;

// a b c / d e f
void Fill3x2(TBitmap32& B) {
    B.SetSize(3, 2);
    for (uint32_t i = 0; i < 6; ++i)
        B.Bits()[i] = 0xA0 + i; // a = 0xA0 .. f = 0xA5
}

std::vector<TColor32> PixelsOf(const TBitmap32& B) {
    return {B.Bits(), B.Bits() + B.Width() * B.Height()};
}

TEST_F(Draw, QuarterTurnsAndFlipsOfTheSmallTable) {
    const uint32_t a = 0xA0, b = 0xA1, c = 0xA2, d = 0xA3, e = 0xA4, f = 0xA5;
    struct Case {
        const char* Name;
        std::function<void(TBitmap32&, TBitmap32*)> Run;
        int W, H;
        std::vector<TColor32> Expected;
    } cases[] = {
        {"Rotate90", [](TBitmap32& s, TBitmap32* t) { s.Rotate90(t); }, 2, 3, {d, a, e, b, f, c}},
        {"Rotate270", [](TBitmap32& s, TBitmap32* t) { s.Rotate270(t); }, 2, 3, {c, f, b, e, a, d}},
        {"Rotate180", [](TBitmap32& s, TBitmap32* t) { s.Rotate180(t); }, 3, 2, {f, e, d, c, b, a}},
        {"FlipHorz", [](TBitmap32& s, TBitmap32* t) { s.FlipHorz(t); }, 3, 2, {c, b, a, f, e, d}},
        {"FlipVert", [](TBitmap32& s, TBitmap32* t) { s.FlipVert(t); }, 3, 2, {d, e, f, a, b, c}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.Name);
        TBitmap32 inPlace, source, target;
        Fill3x2(inPlace);
        k.Run(inPlace, nullptr);
        EXPECT_EQ(inPlace.Width(), k.W);
        EXPECT_EQ(PixelsOf(inPlace), k.Expected);
        Fill3x2(source);
        int notices = 0;
        target.OnChange = [&](TObject*) { ++notices; };
        k.Run(source, &target);
        EXPECT_EQ(PixelsOf(target), k.Expected);
        EXPECT_EQ(target.UpdateCount(), 0);
        EXPECT_GE(notices, 1);
        EXPECT_EQ(source.Bits()[0], a) << "the source stays";
        TBitmap32 self;
        Fill3x2(self);
        k.Run(self, &self);
        EXPECT_EQ(PixelsOf(self), k.Expected) << "itself as the target";
    }
}

TEST_F(Draw, SquareTurnInPlaceSendsNoNotice) {
    TBitmap32 b;
    b.SetSize(2, 2);
    for (uint32_t i = 0; i < 4; ++i)
        b.Bits()[i] = i + 1;
    int notices = 0;
    b.OnChange = [&](TObject*) { ++notices; };
    b.Rotate90();
    EXPECT_EQ(PixelsOf(b), (std::vector<TColor32>{3, 1, 4, 2}));
    EXPECT_EQ(notices, 0);
    TBitmap32 dst;
    int dstNotices = 0;
    dst.OnChange = [&](TObject*) { ++dstNotices; };
    b.Rotate270(&dst);
    EXPECT_EQ(dstNotices, 1);
    EXPECT_EQ(dst.UpdateCount(), 0);
}

TEST_F(Draw, TurnsAndFlipsEqualImageMagick) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    TBitmap32 src;
    src.SetSize(37, 23);
    std::mt19937 random(29);
    for (int i = 0; i < 37 * 23; ++i)
        src.Bits()[i] = 0xFF000000u | (random() & 0xFFFFFF);
    ScratchFolder folder;
    WriteFileBytes(folder.File("in.ppm"), Ppm(src));
    struct Case {
        const char* Args;
        std::function<void(TBitmap32&, TBitmap32*)> Run;
    } cases[] = {
        {"-rotate 90", [](TBitmap32& s, TBitmap32* t) { s.Rotate90(t); }},
        {"-rotate 270", [](TBitmap32& s, TBitmap32* t) { s.Rotate270(t); }},
        {"-rotate 180", [](TBitmap32& s, TBitmap32* t) { s.Rotate180(t); }},
        {"-flop", [](TBitmap32& s, TBitmap32* t) { s.FlipHorz(t); }},
        {"-flip", [](TBitmap32& s, TBitmap32* t) { s.FlipVert(t); }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.Args);
        std::string output;
        ASSERT_TRUE(folder.Run("convert " + folder.File("in.ppm") + " " + k.Args + " " +
                                   folder.File("out.ppm"),
                               output));
        int w = 0, h = 0;
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(ReadPpm(folder.Read("out.ppm"), w, h, rgb));
        TBitmap32 dst;
        k.Run(src, &dst);
        ASSERT_EQ(dst.Width(), w);
        ASSERT_EQ(dst.Height(), h);
        for (int i = 0; i < w * h; ++i)
            ASSERT_EQ(dst.Bits()[i], 0xFF000000u | uint32_t(rgb[i * 3]) << 16 |
                                         uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2])
                << i;
    }
}

TEST_F(Draw, RollMovesOneRunAndFillsTheUncoveredStrips) {
    const uint32_t a = 0xA0, b = 0xA1, c = 0xA2, d = 0xA3, e = 0xA4;
    const TColor32 fill = 0xFF123456;
    TBitmap32 bmp;
    Fill3x2(bmp);
    bmp.Roll(1, 0, true, fill);
    EXPECT_EQ(PixelsOf(bmp), (std::vector<TColor32>{fill, a, b, fill, d, e}));
    Fill3x2(bmp);
    bmp.Roll(1, 0, false, fill);
    EXPECT_EQ(PixelsOf(bmp), (std::vector<TColor32>{a, a, b, c, d, e}));
    Fill3x2(bmp);
    bmp.Roll(0, -1, true, fill);
    EXPECT_EQ(PixelsOf(bmp), (std::vector<TColor32>{d, e, 0xA5, fill, fill, fill}));
    Fill3x2(bmp);
    bmp.Roll(3, 0, false, fill);
    EXPECT_EQ(bmp.Bits()[0], a);
    bmp.Roll(-3, 0, true, fill);
    EXPECT_EQ(PixelsOf(bmp), std::vector<TColor32>(6, fill));
}

TEST_F(Draw, ResetAlphaKeepsColoursAndNotifiesWhileMeasuring) {
    TBitmap32 bmp;
    Fill3x2(bmp);
    bmp.ResetAlpha(0x7F);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bmp.Bits()[i], 0x7F000000u | (0xA0u + i));
    int areas = 0;
    bmp.BeginMeasuring([&](TObject*, const TRect&, uint32_t) { ++areas; });
    bmp.ResetAlpha(0);
    bmp.EndMeasuring();
    EXPECT_EQ(areas, 1);
    EXPECT_EQ(bmp.Bits()[0], 0x7F0000A0u);
}

TEST_F(Draw, DrawToADeviceContextCopiesAllFourBytes) {
    TBitmap32 src, dst;
    src.SetSize(4, 3);
    for (uint32_t i = 0; i < 12; ++i)
        src.Bits()[i] = (i * 20) << 24 | (0x102030 * (i + 1) & 0xFFFFFF);
    dst.SetSize(8, 8);
    dst.Clear(0);
    src.DrawTo(dst.Handle(), 2, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(dst.GetPixel(x + 2, y + 3), src.GetPixel(x, y));
    TBitmap32 nil;
    nil.Draw(0, 0, static_cast<TBitmap32*>(nullptr)); // does nothing
}

TEST_F(Draw, TileToComposesEachTileOnItsOwn) {
    // 2500 wide: tiles of 1024, 1024 and 452; the two full tiles share the temporary's size, so
    // a blend onto what the first left would show in the second.
    const int w = 2500, h = 20;
    TBitmap32 src, tiled, expected;
    src.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src.SetPixel(x, y, uint32_t((x * 7 + y) & 0xFF) << 24 | uint32_t(x * 131) << 8);
    src.SetDrawMode(dmBlend);
    tiled.SetSize(w, h);
    tiled.Clear(0xFFFFFFFF);
    src.TileTo(tiled.Handle(), tiled.BoundsRect(), src.BoundsRect());
    expected.SetSize(w, h);
    expected.Clear(0);
    src.DrawTo(&expected, expected.BoundsRect());
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(tiled.Bits()[i], expected.Bits()[i]) << i % w << "," << i / w;
}

} // namespace
