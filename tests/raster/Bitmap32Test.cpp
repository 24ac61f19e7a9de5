// TBitmap32: size and handles, notification order, measuring mode, clearing, the canvas, the
// clip rectangle, the resize failures and the resampler chosen by name.
#include "RasterTesting.h"

#include "raster/Bitmap32.h"
#include "raster/RasterResamplers.h"

#include "platform/gfx/GdiInternal.h"
#include "platform/rtl/RtlErrors.h"

#include <vector>

using namespace raster;

namespace {

using Bitmap32 = RasterTest;

// Records every notification of a bitmap.
struct TNoticeLog {
    std::vector<std::string> Entries;
    void Attach(TBitmap32& Bitmap) {
        Bitmap.OnChange = [this](TObject*) { Entries.push_back("change"); };
        Bitmap.OnResize = [this](TObject*) { Entries.push_back("resize"); };
        Bitmap.OnHandleChanged = [this](TObject*) { Entries.push_back("handle"); };
        Bitmap.OnAreaChanged = [this](TObject*, const TRect& r, uint32_t info) {
            Entries.push_back("area " + std::to_string(r.Right) + "x" + std::to_string(r.Bottom) +
                              (info == AREAINFO_RECT ? " rect" : " other"));
        };
    }
};

TEST_F(Bitmap32, SetSizeNotifiesInOrder) {
    TNoticeLog log;
    TBitmap32 bitmap;
    log.Attach(bitmap);
    EXPECT_TRUE(bitmap.SetSize(4, 3));
    EXPECT_EQ(log.Entries,
              (std::vector<std::string>{"handle", "area 4x3 rect", "change", "resize"}));
    ASSERT_NE(bitmap.Bits(), nullptr);
    ASSERT_NE(bitmap.Handle(), nullptr);
    // A new DIB section is zero-filled.
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bitmap.Bits()[i], 0u);
    log.Entries.clear();
    EXPECT_FALSE(bitmap.SetSize(4, 3));
    EXPECT_TRUE(log.Entries.empty());
    EXPECT_EQ(bitmap.BoundsRect(), (TRect{0, 0, 4, 3}));
}

TEST_F(Bitmap32, NegativeOrZeroSidesRecordTheSizeWithoutHandles) {
    TBitmap32 bitmap;
    EXPECT_TRUE(bitmap.SetSize(-5, 10));
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 10);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Bits(), nullptr);
    EXPECT_EQ(bitmap.Handle(), nullptr);
    bitmap.SetSize(2, 2);
    bitmap.Delete();
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.BitmapHandle(), nullptr);
}

TEST_F(Bitmap32, ASizeThatCannotBeHadFailsCleanly) {
    // 65536 x 65536 pixels: a 32-bit byte count would wrap to 0.
    for (auto [w, h] : {std::pair{65536, 65536}, std::pair{46341, 46341}}) {
        TNoticeLog log;
        TBitmap32 bitmap;
        bitmap.SetSize(8, 8);
        log.Attach(bitmap);
        try {
            bitmap.SetSize(w, h);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), u"Can't allocate the DIB handle");
        }
        EXPECT_EQ(log.Entries, (std::vector<std::string>{"handle"}));
        EXPECT_EQ(bitmap.Width(), 0);
        EXPECT_EQ(bitmap.Height(), 0);
        EXPECT_TRUE(bitmap.Empty());
        EXPECT_EQ(bitmap.Bits(), nullptr);
        EXPECT_EQ(bitmap.ClipRect(), (TRect{}));
    }
}

TEST_F(Bitmap32, ClearFillsTheClipRectangleOnly) {
    TNoticeLog log;
    TBitmap32 bitmap;
    log.Attach(bitmap);
    bitmap.Clear(); // empty: nothing at all
    EXPECT_TRUE(log.Entries.empty());
    bitmap.SetSize(5, 4);
    bitmap.Clear();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(bitmap.Bits()[i], 0xFF000000u);
    bitmap.SetClipRect({1, 1, 3, 4});
    EXPECT_TRUE(bitmap.Clipping());
    log.Entries.clear();
    bitmap.Clear(0x80112233);
    EXPECT_EQ(log.Entries, (std::vector<std::string>{"area 5x4 rect", "change"}));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bitmap.Bits()[x + y * 5],
                      x >= 1 && x < 3 && y >= 1 ? 0x80112233u : 0xFF000000u)
                << x << "," << y;
}

TEST_F(Bitmap32, ClipRectangleInThreeScales) {
    TBitmap32 bitmap;
    bitmap.SetSize(10, 10);
    EXPECT_FALSE(bitmap.Clipping());
    bitmap.SetClipRect({-10, -10, 5, 5});
    EXPECT_EQ(bitmap.ClipRect(), (TRect{0, 0, 5, 5}));
    EXPECT_EQ(bitmap.FixedClipRect(), (TFixedRect{0, 0, 0x50000, 0x50000}));
    EXPECT_EQ(bitmap.ClipRectS(), (TRect{0, 0, 0x500, 0x500}));
    EXPECT_TRUE(bitmap.Clipping());
    bitmap.SetClipRect({20, 20, 30, 30});
    EXPECT_EQ(bitmap.ClipRect(), (TRect{}));
    EXPECT_TRUE(bitmap.Clipping());
    bitmap.ResetClipRect();
    EXPECT_FALSE(bitmap.Clipping());
    bitmap.SetClipRect({2, 2, 4, 4});
    bitmap.SetSize(6, 6); // a resize resets it
    EXPECT_EQ(bitmap.ClipRect(), (TRect{0, 0, 6, 6}));
}

TEST_F(Bitmap32, MeasuringReportsWithoutTouchingPixels) {
    TNoticeLog log;
    std::vector<std::string> measured;
    TBitmap32 bitmap;
    bitmap.SetSize(3, 2);
    bitmap.Clear(0xFF102030);
    log.Attach(bitmap);
    bitmap.BeginUpdate();
    bitmap.BeginMeasuring([&](TObject*, const TRect& r, uint32_t info) {
        measured.push_back(std::to_string(r.Right) + "x" + std::to_string(r.Bottom) + " " +
                           std::to_string(info));
    });
    EXPECT_TRUE(bitmap.MeasuringMode());
    bitmap.Clear(0xFFFFFFFF);
    bitmap.Changed({1, 1, 2, 2}, AREAINFO_LINE + 2);
    bitmap.EndMeasuring();
    bitmap.EndUpdate();
    EXPECT_EQ(measured, (std::vector<std::string>{"3x2 2147483648", "2x2 1073741826"}));
    EXPECT_TRUE(log.Entries.empty()); // no OnChange, and the saved handler was not called
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bitmap.Bits()[i], 0xFF102030u);
    bitmap.Clear(0xFFFFFFFF);
    EXPECT_EQ(log.Entries, (std::vector<std::string>{"area 3x2 rect", "change"}));
}

TEST_F(Bitmap32, UpdatesHoldBackNoticesButNotResize) {
    TNoticeLog log;
    TBitmap32 bitmap;
    log.Attach(bitmap);
    bitmap.BeginUpdate();
    bitmap.SetSize(2, 2);
    bitmap.PropertyChanged();
    EXPECT_EQ(log.Entries, (std::vector<std::string>{"handle", "resize"}));
    bitmap.EndUpdate();
    EXPECT_THROW(bitmap.EndUpdate(), EAssertionFailed);
    EXPECT_EQ(bitmap.UpdateCount(), 0);
    log.Entries.clear();
    bitmap.PropertyChanged();
    EXPECT_EQ(log.Entries, (std::vector<std::string>{"change"}));
}

TEST_F(Bitmap32, DestructionResizesOnceWithoutChangeNotice) {
    std::vector<std::string> entries;
    {
        TBitmap32 bitmap;
        bitmap.SetSize(3, 3);
        bitmap.OnResize = [&](TObject*) { entries.push_back("resize"); };
        bitmap.OnChange = [&](TObject*) { entries.push_back("change"); };
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"resize"}));
}

TEST_F(Bitmap32, PropertySettersNotifyOnlyOnChange) {
    int changes = 0;
    TBitmap32 bitmap;
    bitmap.OnChange = [&](TObject*) { ++changes; };
    bitmap.SetDrawMode(dmBlend);
    bitmap.SetDrawMode(dmBlend);
    bitmap.SetCombineMode(cmMerge);
    bitmap.SetWrapMode(wmMirror);
    bitmap.SetMasterAlpha(0xC0);
    bitmap.SetMasterAlpha(0xC0);
    bitmap.OuterColor = 0x12345678;
    EXPECT_EQ(changes, 4);
    TBitmap32 copy;
    bitmap.Font()->SetSize(20);
    bitmap.SetSize(2, 1);
    bitmap.Bits()[0] = 0x11111111;
    bitmap.Bits()[1] = 0x22222222;
    bitmap.CopyMapTo(copy);
    bitmap.CopyPropertiesTo(copy);
    ASSERT_EQ(copy.Width(), 2);
    EXPECT_EQ(copy.Bits()[1], 0x22222222u);
    EXPECT_EQ(copy.DrawMode(), dmBlend);
    EXPECT_EQ(copy.CombineMode(), cmMerge);
    EXPECT_EQ(copy.WrapMode(), wmMirror);
    EXPECT_EQ(copy.MasterAlpha(), 0xC0u);
    EXPECT_EQ(copy.OuterColor, 0x12345678u);
    EXPECT_EQ(copy.Font()->Size(), 20);
}

// GDI drawing through the canvas writes 0 into the fourth byte, and only into the pixels it
// draws (the message popup's layered window relies on it).
TEST_F(Bitmap32, CanvasRectangleLeavesAlphaZeroInExactlyItsPixels) {
    int changes = 0;
    TBitmap32 bitmap;
    bitmap.SetSize(8, 6);
    bitmap.Clear(0xFF808080);
    bitmap.OnChange = [&](TObject*) { ++changes; };
    TCanvas* canvas = bitmap.Canvas();
    EXPECT_TRUE(bitmap.CanvasAllocated());
    canvas->Brush()->SetColor(clRed);
    canvas->Pen()->SetStyle(psClear);
    canvas->FillRect({2, 1, 5, 4});
    EXPECT_GE(changes, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 4;
            EXPECT_EQ(bitmap.Bits()[x + y * 8], inside ? 0x00FF0000u : 0xFF808080u)
                << x << "," << y;
        }
    // A resize drops the canvas; the next one draws on the new device context.
    bitmap.SetSize(4, 4);
    EXPECT_FALSE(bitmap.CanvasAllocated());
    bitmap.Clear(0xFFFFFFFF);
    bitmap.Canvas()->Brush()->SetColor(clBlue);
    bitmap.Canvas()->FillRect({0, 0, 1, 1});
    EXPECT_EQ(bitmap.Bits()[0], 0x000000FFu);
    EXPECT_EQ(bitmap.Bits()[1], 0xFFFFFFFFu);
}

TEST_F(Bitmap32, FontIsSelectedOnceAndDroppedOnChange) {
    TBitmap32 bitmap;
    bitmap.SetSize(4, 4);
    bitmap.Font()->SetColor(clRed);
    bitmap.UpdateFont();
    EXPECT_EQ(GetTextColor(bitmap.Handle()), 0x0000FFu);
    EXPECT_EQ(GetBkMode(bitmap.Handle()), TRANSPARENT);
    // A selected font can be changed: the bitmap lets it go first.
    bitmap.Font()->SetSize(30);
    bitmap.UpdateFont();
    TEXTMETRICW metrics;
    ASSERT_TRUE(GetTextMetricsW(bitmap.Handle(), &metrics));
    EXPECT_GT(metrics.tmHeight, 30);
}

TEST_F(Bitmap32, SetSizeFromOtherObjects) {
    TBitmap32 bitmap, other;
    other.SetSize(7, 5);
    EXPECT_TRUE(bitmap.SetSizeFrom(&other));
    EXPECT_EQ(bitmap.BoundsRect(), (TRect{0, 0, 7, 5}));
    TBitmap graphic;
    graphic.SetSize(3, 2);
    bitmap.SetSizeFrom(&graphic);
    EXPECT_EQ(bitmap.BoundsRect(), (TRect{0, 0, 3, 2}));
    bitmap.SetSizeFrom(nullptr);
    EXPECT_TRUE(bitmap.Empty());
    TStringList strings;
    try {
        bitmap.SetSizeFrom(&strings);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Can't set size from 'TStringList'");
    }
}

class TTestResampler : public TCustomResampler {
public:
    explicit TTestResampler(TPersistent* Owner) {
        if (auto* bitmap = dynamic_cast<TBitmap32*>(Owner)) bitmap->SetResampler(this);
    }
    float GetWidth() override { return 1; }
    void Resample(TBitmap32&, const TRect&, const TRect&, TBitmap32&, const TRect&, TDrawMode,
                  const TPixelCombineEvent&) override {}
};

class TOtherResampler : public TTestResampler {
public:
    using TTestResampler::TTestResampler;
};

TEST_F(Bitmap32, ResamplerChosenByExactClassName) {
    int changes = 0;
    TBitmap32 bitmap;
    EXPECT_EQ(bitmap.ResamplerClassName(), u"TNearestResampler");
    bitmap.SetResamplerClassName(u"TTestResampler"); // not registered yet: nothing
    EXPECT_EQ(bitmap.ResamplerClassName(), u"TNearestResampler");
    RegisterResampler(ClassOf<TTestResampler>());
    RegisterResampler(ClassOf<TOtherResampler>());
    bitmap.OnChange = [&](TObject*) { ++changes; };
    bitmap.SetResamplerClassName(u"TTestResampler");
    EXPECT_EQ(bitmap.ResamplerClassName(), u"TTestResampler");
    EXPECT_EQ(changes, 1);
    TCustomResampler* first = bitmap.Resampler();
    bitmap.SetResamplerClassName(u"TTestResampler");
    bitmap.SetResamplerClassName(u"ttestresampler");
    bitmap.SetResamplerClassName(u"TUnknownResampler");
    EXPECT_EQ(bitmap.Resampler(), first);
    EXPECT_EQ(changes, 1);
    bitmap.SetResamplerClassName(u"TOtherResampler");
    EXPECT_EQ(bitmap.ResamplerClassName(), u"TOtherResampler");
    EXPECT_EQ(changes, 2);
    TBitmap32 copy;
    EXPECT_THROW(bitmap.CopyPropertiesTo(copy), Exception); // resamplers without Assign
    EXPECT_EQ(copy.ResamplerClassName(), u"TOtherResampler");
    ResamplerList->Remove(ClassOf<TTestResampler>());
    ResamplerList->Remove(ClassOf<TOtherResampler>());
}

TEST_F(Bitmap32, LockCountsAcrossLocks) {
    TBitmap32 bitmap;
    bitmap.Lock();
    bitmap.Lock();
    EXPECT_EQ(bitmap.LockCount(), 2);
    bitmap.Unlock();
    bitmap.Unlock();
    EXPECT_EQ(bitmap.LockCount(), 0);
}

} // namespace
