// Layer composition against a per-pixel reference written here, the background skip test and
// the treatment of what lies outside layer 0.
#include "imaging/view/ViewComposition.h"

#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using enum TVLPixelFormat;

struct TPlainLayer {
    int32_t X, Y, W, H;
    TVLRGB Color;
    int32_t Alpha;        // -1: no alpha channel
    int32_t Transparency; // 255 opaque
};

TVLRGB BlendReference(TVLRGB D, TVLRGB P, int32_t W) {
    const auto mix = [W](int a, int b) {
        return static_cast<uint8_t>(std::lround((b * W + a * (255.0 - W)) / 255.0));
    };
    return TVLRGB{mix(D.b, P.b), mix(D.g, P.g), mix(D.r, P.r)};
}

bool Near(TVLRGB A, TVLRGB B) {
    return std::abs(A.b - B.b) <= 1 && std::abs(A.g - B.g) <= 1 && std::abs(A.r - B.r) <= 1;
}

std::unique_ptr<TVLBitmap> MakeBuffer(int32_t W, int32_t H) {
    auto dest = std::make_unique<TVLBitmap>();
    dest->SetLocation(TVLLocation::vlTBitmap);
    EXPECT_TRUE(dest->Allocate(W, H, vl24RGB));
    dest->Fill(0x000000);
    return dest;
}

} // namespace

TEST(Composition, StackedLayersAtSeveralZoomsMatchAPerPixelReference) {
    const TVLRGB white{255, 255, 255};
    const std::vector<TPlainLayer> layers = {{0, 0, 20, 16, TVLRGB{200, 0, 0}, -1, 255},
                                             {4, 3, 8, 6, TVLRGB{0, 0, 220}, 128, 255},
                                             {10, 8, 6, 6, TVLRGB{0, 180, 0}, -1, 200}};
    for (double zoom : {100.0, 50.0, 250.0}) {
        SCOPED_TRACE(zoom);
        auto view = MakeOffScreenView(40, 30);
        view->SetBackground(0xFFFFFF);
        SetImageSize(*view, layers[0].W, layers[0].H);
        view->GetVLBitmap()->Fill(0xC80000); // blue 200
        for (size_t i = 1; i < layers.size(); ++i) {
            view->AddLayer();
            const TPlainLayer& p = layers[i];
            TVLLayer& layer = *view->GetCurrentLayer();
            ASSERT_TRUE(layer.Bitmap()->Allocate(p.W, p.H, vl24RGB));
            for (int32_t y = 0; y < p.H; ++y)
                for (int32_t x = 0; x < p.W; ++x)
                    layer.Bitmap()->SetPixelRGB(x, y, p.Color);
            if (p.Alpha >= 0) layer.Bitmap()->GetAlphaChannel()->Fill(p.Alpha);
            layer.PosX = p.X;
            layer.PosY = p.Y;
            layer.Transparency = p.Transparency;
        }
        view->SetZoom(zoom);
        view->Update();
        auto dest = MakeBuffer(40, 30);
        view->ComposeBackBuffer(*dest, false, true, nullptr);
        const double f = zoom / 100;
        const int32_t ox = view->OffsetX(), oy = view->OffsetY();
        // The layers covering image point (IX, IY).
        const auto covered = [&](double IX, double IY, size_t L) {
            const TPlainLayer& p = layers[L];
            return IX >= p.X && IX < p.X + p.W && IY >= p.Y && IY < p.Y + p.H;
        };
        int32_t checked = 0;
        for (int32_t cy = 0; cy < 30; ++cy)
            for (int32_t cx = 0; cx < 40; ++cx) {
                // Both ends of the client pixel in image coordinates must agree on every
                // layer's coverage; pixels on a layer edge are left to the renderer.
                const double ix0 = (cx - ox + view->ViewX()) / f;
                const double iy0 = (cy - oy + view->ViewY()) / f;
                const double ix1 = (cx + 1 - ox + view->ViewX()) / f - 1e-6;
                const double iy1 = (cy + 1 - oy + view->ViewY()) / f - 1e-6;
                bool clear = true;
                for (size_t l = 0; l < layers.size(); ++l)
                    clear = clear && covered(ix0, iy0, l) == covered(ix1, iy1, l) &&
                            covered(ix0, iy0, l) == covered(ix0, iy1, l) &&
                            covered(ix0, iy0, l) == covered(ix1, iy0, l);
                if (!clear) continue;
                TVLRGB expected = white;
                for (size_t l = 0; l < layers.size(); ++l) {
                    if (!covered(ix0, iy0, l)) continue;
                    const TPlainLayer& p = layers[l];
                    const int32_t w = std::min(p.Transparency, p.Alpha < 0 ? 255 : p.Alpha);
                    expected = l == 0 ? p.Color : BlendReference(expected, p.Color, w);
                }
                const TVLRGB got = dest->GetPixelRGB(cx, cy);
                ++checked;
                EXPECT_TRUE(Near(got, expected))
                    << cx << "," << cy << " got " << int(got.r) << "," << int(got.g) << ","
                    << int(got.b) << " expected " << int(expected.r) << "," << int(expected.g)
                    << "," << int(expected.b);
            }
        EXPECT_GT(checked, 600);
    }
}

TEST(Composition, BackgroundIsSkippedOnlyUnderAPlainOpaqueLayerZero) {
    struct TCase {
        const char* Name;
        int32_t Transparency;
        TVLRenderOperation Operation;
        bool ExpectBackground;
    };
    const TCase cases[] = {{"opaque copy", 255, vlroCopy, false},
                           {"half transparent", 128, vlroCopy, true},
                           {"blend operation", 255, vlroAdd, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto view = MakeOffScreenView(20, 10);
        view->SetBackground(0xFFFFFF);
        SetImageSize(*view, 30, 20);
        view->GetVLBitmap()->Fill(0x000000);
        view->GetLayer(0)->Transparency = c.Transparency;
        view->GetLayer(0)->Operation = c.Operation;
        auto dest = MakeBuffer(20, 10);
        dest->Fill(0x0000FF); // the previous frame, red
        view->ComposeBackBuffer(*dest, false, true, nullptr);
        const TVLRGB p = dest->GetPixelRGB(5, 5);
        if (c.ExpectBackground)
            EXPECT_GT(p.b, 100) << "the previous frame showed through";
        else
            EXPECT_EQ(p, (TVLRGB{0, 0, 0}));
    }
}

TEST(Composition, RotatedFirstLayerGetsTheBackground) {
    auto view = MakeOffScreenView(20, 20);
    view->SetBackground(0xFFFFFF);
    SetImageSize(*view, 40, 40);
    view->GetVLBitmap()->Fill(0x000000);
    view->GetLayer(0)->SetRotate(45);
    auto dest = MakeBuffer(20, 20);
    dest->Fill(0x0000FF);
    view->ComposeBackBuffer(*dest, false, true, nullptr);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_NE(dest->GetPixelRGB(x, y), (TVLRGB{0, 0, 255})) << x << "," << y;
}

TEST(Composition, OutsideStyleTwoDithersOnlyTheBackground) {
    auto view = MakeOffScreenView(20, 12);
    view->SetBackground(0xFFFFFF);
    view->SetCenter(false);
    SetImageSize(*view, 6, 4);
    view->GetVLBitmap()->Fill(0x000000);
    view->LayerOutsideStyle = 2;
    auto dest = MakeBuffer(20, 12);
    view->ComposeBackBuffer(*dest, false, true, nullptr);
    EXPECT_EQ(dest->GetPixelRGB(10, 0), (TVLRGB{128, 128, 128}));
    EXPECT_EQ(dest->GetPixelRGB(11, 0), (TVLRGB{255, 255, 255}));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(dest->GetPixelRGB(x, y), (TVLRGB{0, 0, 0}));
}

TEST(Composition, TinyLayersAreNotDrawn) {
    auto view = MakeOffScreenView(10, 10);
    view->SetBackground(0xFFFFFF);
    SetImageSize(*view, 1, 1);
    view->GetVLBitmap()->Fill(0x000000);
    auto dest = MakeBuffer(10, 10);
    view->ComposeBackBuffer(*dest, false, true, nullptr);
    for (int32_t x = 0; x < 10; ++x)
        EXPECT_EQ(dest->GetPixelRGB(x, 5), (TVLRGB{255, 255, 255}));
}

TEST(Composition, MaskLayerLimitsTheLayerBelowAndIsCached) {
    auto view = MakeOffScreenView(10, 4);
    view->SetCenter(false);
    view->SetBackground(0xFFFFFF);
    SetImageSize(*view, 10, 4);
    view->GetVLBitmap()->Fill(0x000000);
    view->AddLayer();
    view->GetVLBitmap()->Fill(0x0000FF); // red layer
    view->AddLayer();
    TVLLayer& mask = *view->GetCurrentLayer();
    mask.IsMask = true;
    mask.Visible = false;
    // Grey 0 on the left half, 255 on the right.
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 10; ++x)
            mask.Bitmap()->SetPixelRGB(x, y, x < 5 ? TVLRGB{0, 0, 0} : TVLRGB{255, 255, 255});
    view->Update();
    auto dest = MakeBuffer(10, 4);
    view->ComposeBackBuffer(*dest, false, true, nullptr);
    EXPECT_EQ(dest->GetPixelRGB(1, 1), (TVLRGB{0, 0, 0}));
    EXPECT_EQ(dest->GetPixelRGB(8, 1), (TVLRGB{0, 0, 255}));
    ASSERT_NE(view->GetLayer(1)->MaskAlphaCache, nullptr);
    // The layer's own alpha channel is back in place after drawing.
    EXPECT_FALSE(view->GetLayer(1)->Bitmap()->HasAlphaChannel());
}
