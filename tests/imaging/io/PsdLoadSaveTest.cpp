// PSD through the I/O component: the layers of a file into an attached view (replacing or
// appended, under a transparent background when the first layer is offset), a single layer's
// alpha on the merged picture, and a view's layers saved without being changed.
#include "imaging/formats/VLPsdWriter.h"
#include "imaging/io/VistrelIOFile.h"
#include "imaging/view/VistrelView.h"
#include "tests/imaging/io/IOComponentSupport.h"

namespace {

using enum TVLPixelFormat;

// The used bytes of every row and of the alpha channel.
TBytes Rows(TVLBitmap& Bitmap) {
    TBytes out;
    const auto used =
        static_cast<size_t>((int64_t{Bitmap.GetWidth()} * Bitmap.GetBitCount() + 7) / 8);
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        out.insert(out.end(), Bitmap.GetScanline(y), Bitmap.GetScanline(y) + used);
    if (Bitmap.HasAlphaChannel()) {
        const TBytes alpha = Rows(*Bitmap.GetAlphaChannel());
        out.insert(out.end(), alpha.begin(), alpha.end());
    }
    return out;
}

// What a save must leave as it was: the view's zoom and scroll state and every layer.
struct TViewState {
    double ZoomX, ZoomY;
    int32_t ViewX, ViewY, OffsetX, OffsetY, ExtentWidth, ExtentHeight;
    struct TLayerState {
        TBytes Rows;
        TVLPixelFormat Format;
        int32_t PosX, PosY;
        TRect ClientRect;
        bool operator==(const TLayerState&) const = default;
    };
    std::vector<TLayerState> Layers;
    bool operator==(const TViewState&) const = default;
};

TViewState StateOf(TVistrelView& View) {
    TViewState state{View.ZoomX(),       View.ZoomY(),        View.ViewX(),
                     View.ViewY(),       View.OffsetX(),      View.OffsetY(),
                     View.ExtentWidth(), View.ExtentHeight(), {}};
    for (int32_t i = 0; i < View.GetLayerCount(); ++i) {
        TVLLayer& layer = *View.GetLayer(i);
        state.Layers.push_back({Rows(*layer.Bitmap()), layer.Bitmap()->GetPixelFormat(), layer.PosX,
                                layer.PosY, layer.ClientRect});
    }
    return state;
}

// An opaque indexed layer of W x H at (X, Y) with a palette of its own.
void AddIndexedLayer(TVistrelView& View, int32_t W, int32_t H, int32_t X, int32_t Y, uint8_t Tint,
                     const char* Name) {
    const int32_t index = View.AddLayer();
    TVLBitmap& bitmap = *View.GetVLBitmap();
    FillPicture(bitmap, W, H, vl8p);
    for (int32_t i = 0; i < 16; ++i)
        bitmap.SetPaletteColor(i, TVLRGB{Tint, uint8_t(i * 60), uint8_t(255 - Tint)});
    TVLLayer& layer = *View.GetLayer(index);
    layer.PosX = X;
    layer.PosY = Y;
    layer.Name = Name;
}

class PsdLoadSave : public ::testing::Test {
protected:
    void SetUp() override { BuildFileFormatRegistry(); }
    // Three layers: the picture, a smaller named layer with alpha at (3, 2), and its user mask.
    static void MakeLayers(TVistrelView& View) {
        FillPicture(*View.GetVLBitmap(), 20, 10, vl24RGB);
        View.AddLayer();
        FillPicture(*View.GetVLBitmap(), 6, 4, vl24RGB, true);
        View.GetLayer(1)->PosX = 3;
        View.GetLayer(1)->PosY = 2;
        View.GetLayer(1)->Name = "one";
        View.AddLayer();
        FillPicture(*View.GetVLBitmap(), 6, 4, vl8g);
        View.GetLayer(2)->IsMask = true;
        View.GetLayer(2)->PosX = 3;
        View.SetCurrentLayer(0);
    }
    // Three indexed layers, each with a palette of its own, side by side so that every colour
    // shows in the merged picture whose palette the file holds.
    static void MakeIndexedLayers(TVistrelView& View) {
        FillPicture(*View.GetVLBitmap(), 20, 10, vl8p);
        AddIndexedLayer(View, 6, 4, 1, 1, 200, "one");
        AddIndexedLayer(View, 5, 3, 12, 5, 90, "two");
        View.SetCurrentLayer(0);
    }
    TScratch Dir;
};

TEST_F(PsdLoadSave, ViewLayersRoundTripAndStayUnchanged) {
    const struct {
        const char* Name;
        void (*Make)(TVistrelView&);
    } cases[] = {{"RGB with a user mask", MakeLayers}, {"indexed", MakeIndexedLayers}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TVistrelView source(nullptr);
        source.OffScreenDrawing = true;
        source.SetBounds(0, 0, 60, 40);
        c.Make(source);
        // Zoomed in, scrolled, and drawn once, so that the layers hold where they are shown.
        source.SetZoom(800);
        source.SetViewXY(40, 16);
        TVLBitmap shown;
        ASSERT_TRUE(shown.Allocate(source.ClientAreaWidth(), source.ClientAreaHeight(), vl24RGB));
        source.ComposeBackBuffer(shown, false, false, nullptr);
        const TViewState before = StateOf(source);
        ASSERT_EQ(before.ViewX, 40);
        const std::string file = Dir.File("layers.psd");
        source.GetIO()->SaveToFile(Wide(file));
        ASSERT_FALSE(source.GetIO()->AbortingFlag);
        EXPECT_TRUE(StateOf(source) == before);

        for (const bool replace : {true, false}) {
            SCOPED_TRACE(replace);
            TVistrelView target(nullptr);
            FillPicture(*target.GetVLBitmap(), 5, 5, vl24RGB);
            TVistrelIO& io = *target.GetIO();
            io.IOParams().PsdLoadLayers = true;
            io.IOParams().PsdReplaceLayers = replace;
            io.LoadFromFile(Wide(file));
            EXPECT_FALSE(io.AbortingFlag);
            EXPECT_EQ(io.IOParams().FileType, ffPSD);
            const int32_t first = replace ? 0 : 1;
            ASSERT_EQ(target.GetLayerCount(), first + source.GetLayerCount());
            for (int32_t i = 0; i < source.GetLayerCount(); ++i) {
                SCOPED_TRACE(i);
                TVLLayer& read = *target.GetLayer(first + i);
                TVLLayer& written = *source.GetLayer(i);
                EXPECT_EQ(read.Name, written.Name);
                EXPECT_EQ(read.PosX, written.PosX);
                EXPECT_EQ(read.PosY, written.PosY);
                EXPECT_EQ(read.IsMask, written.IsMask);
                EXPECT_EQ(PixelsRGBA(*read.Bitmap()), PixelsRGBA(*written.Bitmap()));
            }
            if (!replace) {
                EXPECT_EQ(target.GetLayer(0)->Bitmap()->GetWidth(), 5);
            }
        }

        // Without PsdLoadLayers the merged picture is what a view gets.
        TVistrelView flat(nullptr);
        flat.GetIO()->LoadFromFile(Wide(file));
        EXPECT_FALSE(flat.GetIO()->AbortingFlag);
        EXPECT_EQ(flat.GetLayerCount(), 1);
        EXPECT_EQ(flat.GetVLBitmap()->GetWidth(), 20);
    }
}

// A first layer that does not start at the corner lies over a transparent background of the
// document's size.
TEST_F(PsdLoadSave, AnOffsetFirstLayerGetsATransparentBackground) {
    TVLBitmap merged;
    FillPicture(merged, 30, 20, vl24RGB);
    auto bitmap = std::make_unique<TVLBitmap>();
    FillPicture(*bitmap, 8, 6, vl24RGB);
    TVLLayer layer(nullptr, std::move(bitmap));
    layer.PosX = 5;
    layer.PosY = 4;
    TMemoryStream stream;
    TIOParamsVals params;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    WritePSDStream(stream, params, progress, merged, {&layer});
    ASSERT_FALSE(aborted);
    stream.SetPosition(0);

    TVistrelView view(nullptr);
    view.GetIO()->IOParams().PsdLoadLayers = true;
    view.GetIO()->LoadFromStreamFormat(stream, ffPSD);
    EXPECT_FALSE(view.GetIO()->AbortingFlag);
    ASSERT_EQ(view.GetLayerCount(), 2);
    TVLLayer& background = *view.GetLayer(0);
    EXPECT_TRUE(background.Locked);
    EXPECT_EQ(background.Bitmap()->GetWidth(), 30);
    EXPECT_EQ(background.Bitmap()->GetHeight(), 20);
    EXPECT_EQ(background.Bitmap()->GetAlphaPixel(15, 10), 0);
    EXPECT_EQ(view.GetLayer(1)->PosX, 5);
    EXPECT_EQ(view.GetLayer(1)->Bitmap()->GetWidth(), 8);
}

// Without a view the working bitmap is the only layer: its alpha comes back from that layer,
// also with PsdLoadLayers, which asks for layers only where a view takes them.
TEST_F(PsdLoadSave, TheWorkingBitmapKeepsItsAlpha) {
    for (const bool loadLayers : {false, true}) {
        SCOPED_TRACE(loadLayers);
        TCountingIO c;
        FillPicture(c.Bitmap(), 11, 7, vl24RGB, true);
        const TBytes original = PixelsRGBA(c.Bitmap());
        const std::string file = Dir.File("alpha.psd");
        c.IO.SaveToFile(Wide(file));
        ASSERT_FALSE(c.IO.AbortingFlag);
        c.Bitmap().FreeImage(true);
        c.IO.IOParams().PsdLoadLayers = loadLayers;
        c.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(c.IO.AbortingFlag);
        EXPECT_EQ(c.TakeFinishes(), 2);
        EXPECT_EQ(PixelsRGBA(c.Bitmap()), original);
        c.IO.ParamsFromFile(Wide(file));
        EXPECT_EQ(c.IO.IOParams().FileType, ffPSD);
        EXPECT_EQ(c.IO.IOParams().Width, 11);
    }
}

} // namespace
