// The bitmap transfers: clipping and notification of the unscaled and scaled copies, the sub-pixel
// copy against exact area coverage, and the two-source blend.
#include "RasterTesting.h"

#include "raster/RasterResamplers.h"

#include <cmath>
#include <vector>

using namespace raster;

namespace {

using Transfers = RasterTest;

// Records every area notice of a bitmap.
struct TNotices {
    explicit TNotices(TBitmap32& B) {
        B.OnAreaChanged = [this](TObject*, const TRect& Area, uint32_t Info) {
            Areas.push_back(Area);
            Infos.push_back(Info);
        };
    }
    std::vector<TRect> Areas;
    std::vector<uint32_t> Infos;
};

// Pixel (x, y) of a numbered bitmap: opaque, unique per position.
TColor32 Numbered(int X, int Y) {
    return 0xFF000000u | uint32_t(Y) << 8 | uint32_t(X);
}

void FillNumbered(TBitmap32& B, int W, int H) {
    B.SetSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            B.SetPixel(x, y, Numbered(x, y));
}

TEST_F(Transfers, BlockTransferClipsAndReportsTheUnclippedTarget) {
    TBitmap32 src, dst;
    FillNumbered(src, 10, 10);
    dst.SetSize(10, 10);
    dst.Clear(0);
    TNotices notices(dst);
    BlockTransfer(&dst, -5, -5, dst.ClipRect(), &src, src.BoundsRect(), dmOpaque, nullptr);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), x < 5 && y < 5 ? Numbered(x + 5, y + 5) : 0u)
                << x << "," << y;
    ASSERT_EQ(notices.Areas.size(), 1u);
    EXPECT_EQ(notices.Areas[0], MakeRect(-5, -5, 5, 5));
    EXPECT_EQ(notices.Infos[0], AREAINFO_RECT);

    // Clipped away entirely: still notified; a missing bitmap raises.
    BlockTransfer(&dst, 20, 20, dst.ClipRect(), &src, src.BoundsRect(), dmOpaque, nullptr);
    EXPECT_EQ(notices.Areas.back(), MakeRect(20, 20, 30, 30));
    EXPECT_THROW(BlockTransfer(nullptr, 0, 0, {}, &src, {}, dmOpaque, nullptr), EBitmapException);
    EXPECT_THROW(BlockTransfer(&dst, 0, 0, {}, nullptr, {}, dmOpaque, nullptr), EBitmapException);
}

TEST_F(Transfers, MeasuringModeNotifiesWithoutDrawing) {
    TBitmap32 src, dst;
    FillNumbered(src, 4, 4);
    dst.SetSize(8, 8);
    dst.Clear(0);
    std::vector<TRect> areas;
    dst.BeginMeasuring([&](TObject*, const TRect& Area, uint32_t) { areas.push_back(Area); });
    BlockTransfer(&dst, 2, 3, dst.ClipRect(), &src, src.BoundsRect(), dmOpaque, nullptr);
    StretchTransfer(&dst, {0, 0, 8, 8}, dst.ClipRect(), &src, src.BoundsRect(), src.Resampler(),
                    dmOpaque, nullptr);
    dst.EndMeasuring();
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(dst.Bits()[i], 0u);
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0], MakeRect(2, 3, 6, 7));
    EXPECT_EQ(areas[1], MakeRect(0, 0, 8, 8));
}

// A resampler that only counts its calls.
class TCountingResampler : public TNearestResampler {
public:
    using TNearestResampler::TNearestResampler;
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                  const TRect& SrcRect, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) override {
        ++Calls;
        TNearestResampler::Resample(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineEvent);
    }
    int Calls = 0;
};

TEST_F(Transfers, StretchTransferChecksTheSourceAndSkipsTheResamplerAt1To1) {
    TBitmap32 src, dst;
    FillNumbered(src, 10, 10);
    dst.SetSize(20, 20);
    dst.Clear(0);
    auto* counting = new TCountingResampler(&src);
    ASSERT_EQ(src.Resampler(), counting);
    TNotices notices(dst);

    StretchTransfer(&dst, {3, 4, 13, 14}, dst.ClipRect(), &src, src.BoundsRect(), counting,
                    dmOpaque, nullptr);
    EXPECT_EQ(counting->Calls, 0);
    EXPECT_EQ(dst.GetPixel(3, 4), Numbered(0, 0));
    EXPECT_EQ(dst.GetPixel(12, 13), Numbered(9, 9));

    StretchTransfer(&dst, {0, 0, 20, 20}, dst.ClipRect(), &src, src.BoundsRect(), counting,
                    dmOpaque, nullptr);
    EXPECT_EQ(counting->Calls, 1);
    EXPECT_EQ(dst.GetPixel(19, 19), Numbered(9, 9));

    const size_t before = notices.Areas.size();
    EXPECT_THROW(StretchTransfer(&dst, {0, 0, 20, 20}, dst.ClipRect(), &src, {0, 0, 11, 10},
                                 counting, dmOpaque, nullptr),
                 ESrcInvalidException);
    StretchTransfer(&dst, {0, 0, 20, 20}, dst.ClipRect(), &src, {5, 5, 5, 9}, counting, dmOpaque,
                    nullptr);
    EXPECT_EQ(notices.Areas.size(), before);
}

TEST_F(Transfers, BlendWithFullMasterAlphaEqualsTheLineBlend) {
    TBitmap32 src, dst, expected;
    src.SetSize(7, 3);
    for (int i = 0; i < 21; ++i)
        src.Bits()[i] = uint32_t(i * 12) << 24 | 0x00336699u * uint32_t(i % 3 + 1);
    for (const uint32_t master : {255u, 254u, 100u}) {
        SCOPED_TRACE(master);
        src.SetMasterAlpha(master);
        dst.SetSize(7, 3);
        dst.Clear(0xFF204060);
        expected.SetSize(7, 3);
        expected.Clear(0xFF204060);
        BlockTransfer(&dst, 0, 0, dst.ClipRect(), &src, src.BoundsRect(), dmBlend, nullptr);
        if (master == 255)
            BLEND_LINE[cmBlend](src.Bits(), expected.Bits(), 21);
        else
            BLEND_LINE_EX[cmBlend](src.Bits(), expected.Bits(), 21, master);
        for (int i = 0; i < 21; ++i)
            ASSERT_EQ(dst.Bits()[i], expected.Bits()[i]) << i;
    }
}

// The exact picture of an opaque source blended at a sub-pixel position onto an opaque
// destination: each destination channel is the area-weighted mean of what covers the pixel.
double CoveredChannel(const TBitmap32& Src, const TBitmap32& Background, double PosX, double PosY,
                      int X, int Y, int Shift) {
    double sum = 0, covered = 0;
    for (int sy = 0; sy < Src.Height(); ++sy)
        for (int sx = 0; sx < Src.Width(); ++sx) {
            const double ox =
                std::max(0.0, std::min(X + 1.0, PosX + sx + 1) - std::max(double(X), PosX + sx));
            const double oy =
                std::max(0.0, std::min(Y + 1.0, PosY + sy + 1) - std::max(double(Y), PosY + sy));
            sum += ox * oy * ((Src.GetPixel(sx, sy) >> Shift) & 0xFF);
            covered += ox * oy;
        }
    return sum + (1 - covered) * ((Background.GetPixel(X, Y) >> Shift) & 0xFF);
}

TEST_F(Transfers, BlockTransferXMatchesAreaCoverageOnBothSidesOfZero) {
    TBitmap32 src;
    src.SetSize(5, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            src.SetPixel(x, y, Color32(uint8_t(40 * x + 30), uint8_t(60 * y + 20), 200));
    src.SetDrawMode(dmBlend);
    const double positions[][2] = {
        {2.5, 1.25}, {-0.5, 0.75}, {-1.25, -0.5}, {3.75, 2.0}, {6.5, 5.5}};
    for (const auto& p : positions) {
        SCOPED_TRACE(std::to_string(p[0]) + "," + std::to_string(p[1]));
        TBitmap32 dst, background;
        dst.SetSize(9, 8);
        dst.Clear(0xFF102030);
        background.SetSize(9, 8);
        background.Clear(0xFF102030);
        BlockTransferX(&dst, Fixed(float(p[0])), Fixed(float(p[1])), &src, src.BoundsRect(),
                       dmBlend, nullptr);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 9; ++x)
                for (const int shift : {0, 8, 16}) {
                    const double expected =
                        CoveredChannel(src, background, p[0], p[1], x, y, shift);
                    // Two CombineReg steps and the alpha-weighted blend each round their
                    // 8-bit products down: a few levels below the exact mean at most; a pixel
                    // shift would be off by tens.
                    ASSERT_NEAR(double((dst.GetPixel(x, y) >> shift) & 0xFF), expected, 5.0)
                        << x << "," << y << " channel " << shift;
                }
    }
}

TEST_F(Transfers, BlendTransferCombinesTheOverlapOfBothSources) {
    TBitmap32 f, b, dst;
    f.SetSize(4, 4);
    f.Clear(0x80FF0000);
    b.SetSize(6, 6);
    b.Clear(0xFF0000FF);
    dst.SetSize(8, 8);
    dst.Clear(0);
    TNotices notices(dst);
    BlendTransfer(&dst, 2, 2, dst.ClipRect(), &f, f.BoundsRect(), &b, {1, 1, 6, 6}, BlendReg);
    const TColor32 mixed = BlendReg(0x80FF0000, 0xFF0000FF);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), x >= 2 && x < 6 && y >= 2 && y < 6 ? mixed : 0u);
    EXPECT_EQ(notices.Areas.back(), MakeRect(2, 2, 6, 6));
    BlendTransfer(&dst, 0, 0, dst.ClipRect(), &f, f.BoundsRect(), &b, b.BoundsRect(), BlendRegEx,
                  128);
    EXPECT_EQ(dst.GetPixel(0, 0), BlendRegEx(0x80FF0000, 0xFF0000FF, 128));
}

} // namespace
