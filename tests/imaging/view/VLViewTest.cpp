// The base view: bitmap-change callbacks, resolution, paint lock, border and the unit's globals.
#include "imaging/view/VLView.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(VLView, DestroyingTellsEveryCallbackInRegistrationOrder) {
    std::vector<std::string> log;
    auto view = std::make_unique<TVistrelView>(nullptr);
    TObject* sender = nullptr;
    view->RegisterBitmapChangeEvent([&](TObject* S, bool Destroying) {
        sender = S;
        log.push_back(std::string("first ") + (Destroying ? "gone" : "changed"));
    });
    view->RegisterBitmapChangeEvent([&](TObject*, bool Destroying) {
        log.push_back(std::string("second ") + (Destroying ? "gone" : "changed"));
    });
    view->CallBitmapChangeEvents();
    EXPECT_EQ(sender, view.get());
    view.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"first changed", "second changed", "first gone",
                                             "second gone"}));
}

TEST(VLView, HandlesArePointerSizedAndOnlyKnownOnesAreRemoved) {
    static_assert(sizeof(TVLBitmapChangeHandle) == sizeof(void*));
    TVistrelView view(nullptr);
    int calls = 0;
    std::vector<TVLBitmapChangeHandle> handles;
    for (int i = 0; i < 64; ++i)
        handles.push_back(view.RegisterBitmapChangeEvent([&](TObject*, bool) { ++calls; }));
    // Every handle removes its own registration, whatever its numeric value looks like.
    for (int i = 0; i < 64; i += 2)
        view.RemoveBitmapChangeEvent(handles[i]);
    view.RemoveBitmapChangeEvent(handles[0]); // twice: harmless
    view.RemoveBitmapChangeEvent(nullptr);
    view.RemoveBitmapChangeEvent(reinterpret_cast<TVLBitmapChangeHandle>(&calls));
    view.CallBitmapChangeEvents();
    EXPECT_EQ(calls, 32);
}

TEST(VLView, ResolutionOfZeroIsIgnoredAndTheDefaultIsTheLibrarys) {
    TVistrelView view(nullptr);
    EXPECT_EQ(view.DpiX(), DefaultDpiX);
    view.SetDpi(72, 150);
    view.SetDpiX(0);
    view.SetDpiY(0);
    EXPECT_EQ(view.DpiX(), 72);
    EXPECT_EQ(view.DpiY(), 150);
}

TEST(VLView, UnlockPaintNeverGoesBelowZeroAndStillUpdates) {
    auto view = MakeOffScreenView(100, 100);
    EXPECT_EQ(view->UnlockPaint(), 0);
    view->LockPaint();
    view->LockPaint();
    EXPECT_EQ(view->UnlockPaintNoRefresh(), 1);
    ASSERT_TRUE(view->GetVLBitmap()->Allocate(40, 30, TVLPixelFormat::vl24RGB));
    EXPECT_EQ(view->BitmapWidth(), 0);
    EXPECT_EQ(view->UnlockPaint(), 0); // reaching 0 updates
    EXPECT_EQ(view->BitmapWidth(), 40);
    ASSERT_TRUE(view->GetVLBitmap()->Allocate(20, 30, TVLPixelFormat::vl24RGB));
    EXPECT_EQ(view->UnlockPaint(), 0); // already 0: still updates
    EXPECT_EQ(view->BitmapWidth(), 20);
}

TEST(VLView, BorderStyleAndCtl3DDecideTheFrame) {
    struct TCase {
        TBorderStyle Border;
        bool Ctl3D;
        int32_t ClientWidth;
    };
    for (const TCase& c :
         {TCase{bsSingle, true, 96}, TCase{bsSingle, false, 98}, TCase{bsNone, true, 100}}) {
        SCOPED_TRACE(c.ClientWidth);
        TForm form(nullptr);
        auto* view = new TVistrelView(&form);
        view->SetParent(&form);
        view->SetBounds(0, 0, 100, 80);
        view->SetBorderStyle(c.Border);
        view->SetCtl3D(c.Ctl3D);
        view->Handle();
        EXPECT_EQ(view->ClientAreaWidth(), c.ClientWidth);
        // Re-created with another border, the window keeps working.
        view->SetBorderStyle(c.Border == bsNone ? bsSingle : bsNone);
        EXPECT_TRUE(view->HandleAllocated());
        EXPECT_NE(view->ClientAreaWidth(), c.ClientWidth);
    }
}

TEST(VLView, MouseEnterAndLeaveFireTheirEvents) {
    TVistrelView view(nullptr);
    std::vector<std::string> log;
    view.OnMouseEnter = [&](TObject*) { log.push_back("enter"); };
    view.OnMouseLeave = [&](TObject*) { log.push_back("leave"); };
    view.Perform(CM_MOUSEENTER, 0, 0);
    view.Perform(CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave"}));
}

TEST(VLView, RemovingTheAlphaChannelCanMergeItOverTheBackground) {
    TVistrelView view(nullptr);
    TVLBitmap& bitmap = *view.GetVLBitmap();
    ASSERT_TRUE(bitmap.Allocate(2, 1, TVLPixelFormat::vl24RGB));
    uint8_t* row = bitmap.GetScanline(0);
    std::fill_n(row, 6, 255); // two white pixels
    EXPECT_FALSE(view.HasAlphaChannel());
    TVLBitmap* alpha = view.GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    alpha->GetScanline(0)[0] = 0;
    alpha->GetScanline(0)[1] = 255;
    view.SetBackground(clBlack);
    view.RemoveAlphaChannel(true);
    EXPECT_FALSE(view.HasAlphaChannel());
    row = bitmap.GetScanline(0);
    EXPECT_EQ(row[0], 0);          // transparent white over black
    EXPECT_EQ(row[3], 255);        // opaque white stays exactly white (exact division by 255)
    view.RemoveAlphaChannel(true); // no alpha: nothing
}

TEST(VLView, UnitStartUpSetsTheScreenGlobals) {
    RegisterVistrelViewUnit();
    DefaultDpiX = DefaultDpiY = 0;
    InitializeLibrary();
    EXPECT_EQ(DefaultDpiX, 300);
    EXPECT_EQ(DefaultDpiY, 300);
    EXPECT_EQ(EdgeWidth, 2);
    EXPECT_EQ(BorderHeight, 1);
    EXPECT_GT(VScrollBarWidth, 0);
    EXPECT_GT(ScreenBitsPerPixel, 0);
    EXPECT_GT(ScreenDpiX, 0);
    EXPECT_FALSE(RemoteSession);
    FinalizeLibrary();
}

} // namespace
