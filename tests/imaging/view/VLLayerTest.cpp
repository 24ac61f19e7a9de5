// The layer stack of the view: add, remove (with mask layers), clear, merge, the current layer,
// ownership of layer bitmaps, external bitmaps, hit tests and the layer record.
#include "imaging/view/VLLayer.h"

#include "imaging/core/VLStreams.h"
#include "imaging/proc/VLWholeImage.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using enum TVLPixelFormat;

// One step of a layer sequence: 'a' add, 'r' remove N, 'm' make layer N a mask, 'c' set current
// N, 'x' clear layers, 'g' merge all.
struct TStep {
    char Op;
    int32_t Arg;
};

struct TSequence {
    const char* Name;
    std::vector<TStep> Steps;
    int32_t Count;
    int32_t Current;
};

} // namespace

TEST(Layers, SequencesKeepCountCurrentLayerAndBitmaps) {
    const std::vector<TSequence> cases = {
        {"add two", {{'a', 0}, {'a', 0}}, 3, 2},
        {"remove current top", {{'a', 0}, {'a', 0}, {'r', 2}}, 2, 1},
        {"remove below current", {{'a', 0}, {'a', 0}, {'r', 1}}, 2, 1},
        {"remove above current", {{'a', 0}, {'a', 0}, {'c', 1}, {'r', 2}}, 2, 1},
        {"remove with its mask, current above",
         {{'a', 0}, {'a', 0}, {'a', 0}, {'m', 2}, {'r', 1}},
         2,
         1},
        {"remove with its mask, mask current",
         {{'a', 0}, {'a', 0}, {'a', 0}, {'m', 2}, {'c', 2}, {'r', 1}},
         2,
         1},
        {"remove with its mask, layer current",
         {{'a', 0}, {'a', 0}, {'m', 2}, {'c', 1}, {'r', 1}},
         1,
         0},
        {"last layer stays", {{'r', 0}}, 1, 0},
        {"out of range", {{'a', 0}, {'r', 5}, {'r', -1}}, 2, 1},
        {"clear", {{'a', 0}, {'a', 0}, {'x', 0}}, 1, 0},
        {"merge", {{'a', 0}, {'a', 0}, {'g', 0}}, 1, 0},
    };
    for (const TSequence& c : cases) {
        SCOPED_TRACE(c.Name);
        auto view = MakeOffScreenView(40, 30);
        SetImageSize(*view, 8, 6);
        int32_t bitmapChanges = 0;
        view->RegisterBitmapChangeEvent([&](TObject*, bool) { ++bitmapChanges; });
        for (const TStep& s : c.Steps) {
            switch (s.Op) {
            case 'a':
                view->AddLayer();
                break;
            case 'r':
                view->RemoveLayer(s.Arg);
                break;
            case 'm':
                view->GetLayer(s.Arg)->IsMask = true;
                break;
            case 'c':
                view->SetCurrentLayer(s.Arg);
                break;
            case 'x':
                view->ClearLayers();
                break;
            case 'g':
                view->MergeAllLayers();
                break;
            }
            // The view's current bitmap is always the current layer's, which it owns.
            ASSERT_EQ(view->GetVLBitmap(), view->GetCurrentLayer()->Bitmap());
            ASSERT_TRUE(view->GetCurrentLayer()->OwnsBitmap());
        }
        EXPECT_EQ(view->GetLayerCount(), c.Count);
        EXPECT_EQ(view->CurrentLayerIndex(), c.Current);
        // Writing to the current bitmap must be safe (ASan catches a freed one).
        EXPECT_EQ(view->GetVLBitmap()->GetWidth(), 8);
        view->GetVLBitmap()->Fill(0x123456);
        if (c.Steps.front().Op == 'a') {
            EXPECT_GT(bitmapChanges, 0);
        }
    }
}

TEST(Layers, SelectableOnlyStepsDownToASelectableLayer) {
    auto view = MakeOffScreenView(40, 30);
    SetImageSize(*view, 8, 6);
    for (int i = 0; i < 3; ++i)
        view->AddLayer();
    view->SetCurrentLayer(0);
    view->GetLayer(3)->Selectable = false;
    view->GetLayer(2)->Selectable = false;
    view->SetCurrentLayer(3);
    EXPECT_EQ(view->CurrentLayerIndex(), 1);
    view->LayersSelectableOnly = false;
    view->SetCurrentLayer(3);
    EXPECT_EQ(view->CurrentLayerIndex(), 3);
}

TEST(Layers, ExternalBitmapsStayTheCallersAndNilGivesAFreshOne) {
    TVLBitmap external(5, 4, vl24RGB);
    int32_t changes = 0;
    {
        auto view = MakeOffScreenView(40, 30);
        view->RegisterBitmapChangeEvent([&](TObject*, bool Destroying) {
            if (!Destroying) ++changes;
        });
        view->SetExternalBitmap(&external);
        EXPECT_EQ(view->GetVLBitmap(), &external);
        EXPECT_FALSE(view->GetCurrentLayer()->OwnsBitmap());
        EXPECT_EQ(view->BitmapWidth(), 5);
        EXPECT_EQ(changes, 1);
        // Taking it back tells the attached components, which must not keep the caller's bitmap.
        view->SetExternalBitmap(nullptr);
        EXPECT_EQ(changes, 2);
        EXPECT_NE(view->GetVLBitmap(), &external);
        EXPECT_TRUE(view->GetCurrentLayer()->OwnsBitmap());
        view->SetExternalBitmap(&external);
    }
    // The view is gone and did not free the caller's bitmap.
    external.Fill(0);
    EXPECT_EQ(external.GetWidth(), 5);
}

TEST(Layers, RotationAndDisplaySize) {
    auto view = MakeOffScreenView(40, 30);
    TVLLayer& layer = *view->GetLayer(0);
    layer.SetRotate(720);
    EXPECT_EQ(layer.Rotate(), 0);
    layer.SetRotate(720.5);
    EXPECT_EQ(layer.Rotate(), 720.5);
    layer.SetRotate(-360);
    EXPECT_EQ(layer.Rotate(), 0);
    SetImageSize(*view, 8, 6);
    EXPECT_EQ(layer.GetWidth(), 8);
    layer.OwnWidth = 20;
    EXPECT_EQ(layer.GetWidth(), 20);
    EXPECT_EQ(layer.GetHeight(), 6);
}

TEST(Layers, FindLayerAtLooksThroughTransparentPixels) {
    auto view = MakeOffScreenView(40, 30);
    view->SetCenter(false);
    SetImageSize(*view, 10, 10);
    view->AddLayer();
    TVLBitmap& top = *view->GetVLBitmap();
    top.GetAlphaChannel()->Fill(255);
    top.GetAlphaChannel()->GetScanline(2)[3] = 0;
    TVLBitmap dest;
    dest.SetLocation(TVLLocation::vlTBitmap);
    ASSERT_TRUE(dest.Allocate(40, 30, vl24RGB));
    view->ComposeBackBuffer(dest, false, true, nullptr);
    EXPECT_EQ(view->FindLayerAt(4, 4, true), 1);
    EXPECT_EQ(view->FindLayerAt(3, 2, true), 0);
    EXPECT_EQ(view->FindLayerAt(30, 25, true), -1);
    EXPECT_TRUE(view->IsPointInLayer(9, 9, 1));
    EXPECT_FALSE(view->IsPointInLayer(11, 9, 1));
}

TEST(Layers, DrawLayersToBitmapGrowsForNegativePositions) {
    auto view = MakeOffScreenView(40, 30);
    SetImageSize(*view, 10, 8);
    view->GetVLBitmap()->Fill(0x0000FF);
    view->AddLayer();
    view->GetCurrentLayer()->PosX = -20;
    view->GetVLBitmap()->Fill(0x00FF00);
    TVLBitmap out;
    view->DrawLayersToBitmap(out);
    EXPECT_EQ(out.GetWidth(), 30);
    EXPECT_EQ(out.GetHeight(), 8);
    EXPECT_EQ(out.GetPixelRGB(20, 0), (TVLRGB{0, 0, 255})); // layer 0 starts at x = 20
    EXPECT_EQ(out.GetPixelRGB(0, 0), (TVLRGB{0, 255, 0}));
    EXPECT_EQ(view->ZoomX(), 100);
}

TEST(Layers, RecordRoundTripsAndRejectsTruncatedInput) {
    auto view = MakeOffScreenView(40, 30);
    SetImageSize(*view, 4, 3);
    view->AddLayer();
    TVLLayer& layer = *view->GetCurrentLayer();
    layer.PosX = -7;
    layer.Transparency = 99;
    layer.Name = "name";
    layer.MagnifyRatio = 3.5;
    layer.SetRotate(30);
    layer.SetUserData("abc", 3);
    view->GetVLBitmap()->Fill(0x010203);
    TMemoryStream stream;
    layer.SaveToStream(stream, true);
    int32_t length = 0;
    stream.SetPosition(0);
    stream.ReadBuffer(&length, 4);
    EXPECT_EQ(length, stream.GetSize());

    TVLLayer copy(view.get(), view->GetVLBitmap());
    stream.SetPosition(0);
    ASSERT_TRUE(copy.LoadFromStream(stream));
    EXPECT_EQ(copy.PosX, -7);
    EXPECT_EQ(copy.Transparency, 99);
    EXPECT_EQ(copy.Name, "name");
    EXPECT_EQ(copy.MagnifyRatio, 3.5);
    EXPECT_EQ(copy.Rotate(), 30);
    ASSERT_EQ(copy.UserDataLen(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.UserData()), 3), "abc");
    EXPECT_EQ(copy.Bitmap()->GetPixelRGB(3, 2), (TVLRGB{1, 2, 3}));

    for (int64_t cut : {int64_t{10}, int64_t{88}, stream.GetSize() - 5}) {
        SCOPED_TRACE(cut);
        TMemoryStream truncated;
        stream.SetPosition(0);
        truncated.CopyFrom(stream, cut);
        truncated.SetPosition(0);
        TVLLayer target(view.get(), nullptr);
        EXPECT_FALSE(target.LoadFromStream(truncated));
    }
}

namespace {

// The centre of the pixels of colour Mark in the layer's bitmap, in image pixels.
TPoint MarkedCentre(TVLLayer& Layer, const TVLRGB& Mark) {
    TVLBitmap& b = *Layer.Bitmap();
    int32_t sx = 0, sy = 0, n = 0;
    for (int32_t y = 0; y < b.GetHeight(); ++y)
        for (int32_t x = 0; x < b.GetWidth(); ++x)
            if (b.GetPixelRGB(x, y) == Mark) {
                sx += x;
                sy += y;
                ++n;
            }
    if (n == 0) return TPoint{-1000, -1000};
    return TPoint{Layer.PosX + (sx + n / 2) / n, Layer.PosY + (sy + n / 2) / n};
}

} // namespace

TEST(LayerOperations, ResampleRotateAndCropForGood) {
    auto view = MakeOffScreenView(100, 100);
    SetImageSize(*view, 80, 60);
    view->AddLayer();
    view->AddLayer();
    const TVLRGB green{0, 255, 0};
    // Layer 1: 21 x 11, rotated by 30 degrees about its centre pixel, marked with the block
    // around it.
    TVLLayer& rotated = *view->GetLayer(1);
    ASSERT_TRUE(rotated.Bitmap()->Allocate(21, 11, vl24RGB));
    rotated.Bitmap()->Fill(0x0000FF);
    rotated.Bitmap()->FillRect(9, 4, 11, 6, 0x00FF00);
    rotated.PosX = 40;
    rotated.PosY = 30;
    rotated.SetRotate(30);
    // Layer 2: 10 x 5 shown at 20 x 10, opaque only at columns 3..6 of rows 2..4.
    TVLLayer& scaled = *view->GetLayer(2);
    ASSERT_TRUE(scaled.Bitmap()->Allocate(10, 5, vl24RGB));
    scaled.Bitmap()->Fill(0x0000FF);
    scaled.Bitmap()->GetAlphaChannel()->Fill(0);
    scaled.Bitmap()->FillRect(3, 2, 6, 4, 0x00FF00);
    for (int32_t y = 2; y <= 4; ++y)
        for (int32_t x = 3; x <= 6; ++x)
            scaled.Bitmap()->SetAlphaPixel(x, y, 255);
    scaled.PosX = 5;
    scaled.PosY = 7;
    scaled.OwnWidth = 20;
    scaled.OwnHeight = 10;
    view->SetCurrentLayer(0);

    // Cropping keeps the opaque part where it was shown (display pixels are twice as large).
    view->CropLayersToAlpha(2);
    EXPECT_EQ(scaled.Bitmap()->GetWidth(), 4);
    EXPECT_EQ(scaled.Bitmap()->GetHeight(), 3);
    EXPECT_EQ(scaled.PosX, 5 + 6);
    EXPECT_EQ(scaled.PosY, 7 + 4);
    EXPECT_EQ(scaled.GetWidth(), 8);
    EXPECT_EQ(scaled.GetHeight(), 6);
    EXPECT_EQ(rotated.Bitmap()->GetWidth(), 21); // other layers untouched

    view->ResampleLayers(-1);
    EXPECT_EQ(scaled.Bitmap()->GetWidth(), 8);
    EXPECT_EQ(scaled.Bitmap()->GetHeight(), 6);
    EXPECT_EQ(scaled.OwnWidth, 0);
    EXPECT_EQ(scaled.Bitmap()->GetPixelRGB(7, 5), green);

    const TPoint before = MarkedCentre(rotated, green);
    view->ApplyLayersRotation(-1);
    EXPECT_EQ(rotated.Rotate(), 0);
    // Turned counter-clockwise: wider than high, the corners cropped to the opaque area.
    EXPECT_GT(rotated.Bitmap()->GetHeight(), 11);
    TRect bounds;
    GetAlphaBounds(*rotated.Bitmap(), bounds);
    EXPECT_EQ(bounds.Left, 0);
    EXPECT_EQ(bounds.Top, 0);
    EXPECT_EQ(bounds.Right, rotated.Bitmap()->GetWidth() - 1);
    EXPECT_EQ(bounds.Bottom, rotated.Bitmap()->GetHeight() - 1);
    EXPECT_EQ(rotated.Bitmap()->GetAlphaPixel(0, 0), 0);
    // The centre stays where it was shown, and the top-right corner went up.
    const TPoint after = MarkedCentre(rotated, green);
    EXPECT_LE(std::abs(after.X - before.X), 1);
    EXPECT_LE(std::abs(after.Y - before.Y), 1);
    int32_t top = 0;
    while (top < rotated.Bitmap()->GetWidth() && rotated.Bitmap()->GetAlphaPixel(top, 0) == 0)
        ++top;
    EXPECT_GT(top, rotated.Bitmap()->GetWidth() / 2);
    EXPECT_EQ(view->CurrentLayerIndex(), 0);
    EXPECT_EQ(view->GetVLBitmap(), view->GetLayer(0)->Bitmap());
}
