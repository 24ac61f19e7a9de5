// The main window's side of the thumbnail strip, in-process on the offscreen platform: docking
// the strip and filling it from the open folder, the Maximize interplay, F11 and its check mark,
// the saved visibility, and keys typed into the strip's search box.
#include "app/SWSetting.h"
#include "app/formMain.h"
#include "app/formThumbs.h"
#include "platform/ui/Menus.h"
#include "raster/RasterStartup.h"

#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/app/ThumbnailPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

TRect BoundsOf(const TControl& Control) {
    return Rect(Control.Left(), Control.Top(), Control.Left() + Control.Width(),
                Control.Top() + Control.Height());
}

// A main window and a strip as WinMain makes them, the settings in a scratch folder.
class MainThumbs : public testing::Test {
protected:
    void SetUp() override {
        raster::InitializeRasterLibrary();
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig = old;
        setenv("XDG_CONFIG_HOME", (scratch.Path() / "config").c_str(), 1);
        main = new TfMain(nullptr);
        Application->SetMainForm(main);
        fThumbnails = new TfThumbnails(nullptr);
        strip = fThumbnails;
    }
    void TearDown() override {
        delete strip;
        Application->SetMainForm(nullptr);
        delete main;
        if (oldConfig)
            setenv("XDG_CONFIG_HOME", oldConfig->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        raster::FinalizeRasterLibrary();
    }

    // Count pictures of 60 x 40, and the caption "First" for the first one.
    void WritePictures(int32_t Count) {
        for (int32_t i = 0; i < Count; ++i)
            WritePicture(scratch.File("p" + std::to_string(i) + ".png"), 60, 40, 90);
        scratch.Write(".description", {'p', '0', '.', 'p', 'n', 'g', '=', 'F', 'i', 'r', 's', 't'});
    }

    TRect Work() { return Screen->MonitorWorkareaRect(BoundsOf(*main)); }

    ScratchFolder scratch;
    std::optional<std::string> oldConfig;
    TfMain* main = nullptr;
    TfThumbnails* strip = nullptr;
};

TEST_F(MainThumbs, ShowingDocksTheStripAtTheRightEdgeAndFillsItFromTheFolder) {
    WritePictures(3);
    main->OpenPath(Str(scratch.File("p1.png"))); // hidden: nothing is filled
    ASSERT_EQ(main->CurrentIndex, 1);
    EXPECT_EQ(strip->Thumbs.Count(), 0);

    main->ShowThumbnails(true);
    const TRect work = Work();
    EXPECT_TRUE(strip->Visible());
    EXPECT_EQ(BoundsOf(*strip), Rect(work.Right - 140, work.Top, work.Right, work.Bottom));
    EXPECT_EQ(main->DockedStripLeft(), std::optional<int32_t>(work.Right - 140));
    ASSERT_EQ(strip->lThumbs->Items()->Count(), 3);
    EXPECT_EQ(strip->MainWindow, main->Handle());
    ASSERT_EQ(strip->Captions.Count(), 1);
    EXPECT_EQ(strip->Captions[0], u"p0.png=First");
    WaitForDecoder(strip->Thumbs);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_NE(strip->Thumbs.Item(i).Bitmap, nullptr) << i;

    // The list follows the shown picture, and a click in it shows its picture.
    main->ShowImage(2);
    EXPECT_EQ(strip->lThumbs->ItemIndex(), 2);
    main->OpenPath(Str(scratch.File("p1.png")));
    EXPECT_EQ(strip->lThumbs->ItemIndex(), 1);
    SendMessage(strip->lThumbs->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(main->CurrentIndex, 0);
    EXPECT_EQ(strip->lThumbs->ItemIndex(), 0);

    // Closing the picture empties the strip.
    main->CloseImage();
    EXPECT_EQ(strip->lThumbs->Items()->Count(), 0);
    EXPECT_EQ(strip->Thumbs.Count(), 0);

    main->miThumbnailsClick(nullptr);
    EXPECT_FALSE(strip->Visible());
    EXPECT_EQ(main->DockedStripLeft(), std::nullopt);
    main->miThumbnailsClick(nullptr);
    EXPECT_TRUE(strip->Visible());
}

TEST_F(MainThumbs, AutomaticSizingKeepsTheWindowLeftOfTheStrip) {
    WritePicture(scratch.File("big.png"), 3000, 2000, 40);
    main->Show();
    main->AutoSize = true;
    main->FitToWindow = true;
    main->ShowThumbnails(true);
    main->OpenPath(Str(scratch.File("big.png")));
    ASSERT_EQ(main->CurrentIndex, 0);
    EXPECT_LE(main->Left() + main->Width(), strip->Left());
    EXPECT_GE(main->Left(), Work().Left);
}

TEST_F(MainThumbs, TheViewMenuChecksTheStripAndF11TogglesIt) {
    EXPECT_TRUE(main->miThumbnails->Enabled());
    TWMKey f11{WM_KEYDOWN, VK_F11, 0, 0};
    bool handled = false;
    main->TntFormShortCut(f11, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(strip->Visible());
    main->miViewClick(main->miView);
    EXPECT_TRUE(main->miThumbnails->Checked());
    handled = false;
    main->TntFormShortCut(f11, handled);
    EXPECT_FALSE(strip->Visible());
    main->miViewClick(main->miView);
    EXPECT_FALSE(main->miThumbnails->Checked());
}

TEST_F(MainThumbs, KeysInTheStripReachTheMainWindowExceptFromTheSearchBox) {
    main->Show();
    main->ShowThumbnails(true);
    // F11 typed in the search box is the box's; from the list it closes the strip.
    strip->eSearch->SetFocus();
    ASSERT_TRUE(strip->eSearch->Focused());
    SendMessage(strip->eSearch->Handle(), WM_KEYDOWN, VK_F11, 0);
    EXPECT_TRUE(strip->Visible());
    strip->lThumbs->SetFocus();
    ASSERT_FALSE(strip->eSearch->Focused());
    SendMessage(strip->lThumbs->Handle(), WM_KEYDOWN, VK_F11, 0);
    EXPECT_FALSE(strip->Visible());
    // A disabled main window takes no keys from the other forms.
    main->ShowThumbnails(true);
    main->SetEnabled(false);
    SendMessage(strip->lThumbs->Handle(), WM_KEYDOWN, VK_F11, 0);
    EXPECT_TRUE(strip->Visible());
    main->SetEnabled(true);
}

TEST_F(MainThumbs, ClosingSavesWhetherTheStripIsShown) {
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown);
        main->ShowThumbnails(shown);
        Settings->ShowThumbs = !shown;
        TCloseAction action = caHide;
        main->OnClose(main, action);
        EXPECT_EQ(Settings->ShowThumbs, shown);
    }
}

TEST_F(MainThumbs, AWindowMaximizedByTheButtonMakesRoomForTheStripAndTakesItBack) {
    main->Show();
    main->SetBounds(40, 30, 500, 400);
    const TRect normal = BoundsOf(*main);
    main->SetWindowState(wsMaximized);
    ASSERT_EQ(main->WindowState(), wsMaximized);
    main->MaximizedByUs = true;

    main->ShowThumbnails(true);
    const TRect work = Work();
    EXPECT_EQ(main->WindowState(), wsNormal);
    EXPECT_EQ(main->RestoreBounds, normal);
    EXPECT_EQ(BoundsOf(*main), Rect(work.Left, work.Top, work.Right - 140, work.Bottom));

    main->ShowThumbnails(false);
    EXPECT_FALSE(strip->Visible());
    EXPECT_EQ(main->WindowState(), wsMaximized);

    // Not maximized by the button: the window keeps its bounds either way.
    main->SetWindowState(wsNormal);
    main->MaximizedByUs = false;
    main->SetBounds(40, 30, 500, 400);
    main->ShowThumbnails(true);
    EXPECT_EQ(BoundsOf(*main), Rect(40, 30, 540, 430));
    main->ShowThumbnails(false);
    EXPECT_EQ(main->WindowState(), wsNormal);
    EXPECT_EQ(BoundsOf(*main), Rect(40, 30, 540, 430));
}

} // namespace
