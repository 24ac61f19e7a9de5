// The image button: frames, sizing, stretching, the pressed and disabled looks, check buttons
// and the drop-down menu with its click swallowing, read back from an offscreen window.
#include "components/SVImageButton.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/WinUser.h"
#include "raster/Bitmap32.h"
#include "raster/RasterStartup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Frames normal, hot, disabled, down: red, green, blue and yellow, opaque.
constexpr raster::TColor32 FrameColour[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};

std::unique_ptr<raster::TBitmap32> Strip(int32_t Frames, bool Vertical = false) {
    auto strip = std::make_unique<raster::TBitmap32>();
    raster::TBitmap32& s = *strip;
    s.SetSize(Vertical ? 16 : 16 * Frames, Vertical ? 16 * Frames : 16);
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            s.SetPixel(x, y, FrameColour[(Vertical ? y : x) / 16]);
    return strip;
}

constexpr UINT WM_TEST_ACTION = WM_USER + 77;

// A form that runs a test's action when WM_TEST_ACTION arrives through the queue, and counts
// the presses that reach the form itself.
class TTestForm : public TForm {
public:
    using TForm::TForm;
    std::function<void()> Action;
    std::vector<TPoint> Presses;

    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_TEST_ACTION) {
            if (Action) Action();
            return;
        }
        if (Message.Msg == WM_LBUTTONDOWN)
            Presses.push_back({GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)});
        TForm::Dispatch(Message);
    }
};

class ImageButtonWindow : public ::testing::Test {
protected:
    void SetUp() override {
        raster::InitializeRasterLibrary();
        Form = std::make_unique<TTestForm>(nullptr);
        Form->SetBounds(0, 0, 120, 100);
        Form->SetColor(clWhite);
        Button = new TSVImageButton(Form.get());
        Button->SetParent(Form.get());
        Button->SetLeft(20);
        Button->SetTop(30);
        Button->SetImage(Strip(3).get());
        Button->SetNumImages(3);
    }

    void TearDown() override {
        Form.reset();
        raster::FinalizeRasterLibrary();
    }

    // The colour at (X, Y) of the button's client area after a paint.
    COLORREF At(int32_t X, int32_t Y) {
        const HWND wnd = Form->Handle();
        Form->Invalidate();
        Form->Update();
        HDC dc = GetDC(wnd);
        const COLORREF c = GetPixel(dc, Button->Left() + X, Button->Top() + Y);
        ReleaseDC(wnd, dc);
        return c;
    }

    // Mouse messages as the window delivers them: to the form, in its client coordinates.
    void FormMouse(UINT Msg, WPARAM Keys, int32_t X, int32_t Y) {
        Form->Perform(Msg, Keys, MAKELPARAM(X, Y));
    }
    void ClickButton() {
        FormMouse(WM_MOUSEMOVE, 0, 25, 35);
        FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
        FormMouse(WM_LBUTTONUP, 0, 25, 35);
    }

    std::unique_ptr<TTestForm> Form;
    TSVImageButton* Button = nullptr;
};

constexpr COLORREF Red = RGB(0xFF, 0, 0), Green = RGB(0, 0xFF, 0), White = RGB(0xFF, 0xFF, 0xFF);

void ExpectNear(COLORREF Actual, COLORREF Expected, int32_t Tolerance) {
    EXPECT_NEAR(GetRValue(Actual), GetRValue(Expected), Tolerance);
    EXPECT_NEAR(GetGValue(Actual), GetGValue(Expected), Tolerance);
    EXPECT_NEAR(GetBValue(Actual), GetBValue(Expected), Tolerance);
}

TEST_F(ImageButtonWindow, StripOfThreeGivesASixteenSquareShowingTheNormalFrame) {
    EXPECT_EQ(Button->Width(), 16);
    EXPECT_EQ(Button->Height(), 16);
    EXPECT_EQ(Button->Left(), 20);
    EXPECT_EQ(Button->Image()->ResamplerClassName(), u"TLinearResampler");
    EXPECT_EQ(Button->Image()->DrawMode(), raster::dmBlend);
    EXPECT_EQ(At(0, 0), Red);
    EXPECT_EQ(At(15, 15), Red);
    EXPECT_EQ(At(16, 0), White);
}

TEST_F(ImageButtonWindow, StackedStripGivesFramesOfAThirdOfTheHeight) {
    raster::TBitmap32 wide;
    wide.SetSize(48, 16);
    wide.Clear(0xFF00FF00u);
    Button->SetImage(&wide);
    Button->SetImagesLayout(bilVertical);
    EXPECT_EQ(Button->Width(), 48);
    EXPECT_EQ(Button->Height(), 5);

    Button->SetImage(Strip(3, true).get());
    EXPECT_EQ(Button->Width(), 16);
    EXPECT_EQ(Button->Height(), 16);
    Button->SetEnabled(false);
    Button->SetEnabled(true);
    FormMouse(WM_MOUSEMOVE, 0, 25, 35);
    EXPECT_EQ(At(3, 3), Green); // frame 1 of the stack
}

TEST_F(ImageButtonWindow, OutOfRangeFrameCountsAreIgnored) {
    for (int32_t n : {0, 5, -1}) {
        Button->SetNumImages(n);
        EXPECT_EQ(Button->NumImages(), 3);
    }
}

TEST_F(ImageButtonWindow, MouseInsideShowsTheHotFrameAndLeavingTheNormalOne) {
    FormMouse(WM_MOUSEMOVE, 0, 25, 35);
    EXPECT_EQ(At(3, 3), Green);
    FormMouse(WM_MOUSEMOVE, 0, 5, 5);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(3, 3), Red);
}

TEST_F(ImageButtonWindow, PressWithoutDownFrameDarkensAndReleaseRestores) {
    FormMouse(WM_MOUSEMOVE, 0, 25, 35);
    FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
    EXPECT_EQ(Button->State(), bsDown);
    EXPECT_EQ(At(3, 3), RGB(0, 0xFF * 6 / 10, 0)); // the hot frame at 60 %
    EXPECT_EQ(At(16, 3), White);
    FormMouse(WM_LBUTTONUP, 0, 25, 35);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(3, 3), Green);
}

TEST_F(ImageButtonWindow, PressWithFourFramesShowsTheDownFrameUndarkened) {
    Button->SetImage(Strip(4).get());
    Button->SetNumImages(4);
    FormMouse(WM_MOUSEMOVE, 0, 25, 35);
    FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
    EXPECT_EQ(At(3, 3), RGB(0xFF, 0xFF, 0));
    FormMouse(WM_LBUTTONUP, 0, 25, 35);
}

TEST_F(ImageButtonWindow, DisabledButtonShowsItsFrameAtReducedOpacity) {
    Button->SetEnabled(false);
    EXPECT_EQ(Button->State(), bsDisabled);
    // Blue at 130 / 255 over white.
    ExpectNear(At(3, 3), RGB(125, 125, 0xFF), 1);
    Button->SetEnabled(true);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(3, 3), Red);
}

TEST_F(ImageButtonWindow, TranslucentPixelsAreBlendedOnceOverTheParent) {
    raster::TBitmap32 strip;
    strip.SetSize(16, 16);
    strip.Clear(0x80FF0000u); // red at alpha 128
    Button->SetImage(&strip);
    Button->SetNumImages(1);
    ExpectNear(At(3, 3), RGB(0xFF, 127, 127), 2);
}

TEST_F(ImageButtonWindow, StretchAndAutoSizeExcludeEachOther) {
    Button->SetStretch(true);
    EXPECT_FALSE(Button->Stretch());
    Button->SetAutoSize(false);
    Button->SetStretch(true);
    EXPECT_TRUE(Button->Stretch());
    Button->SetAutoSize(true);
    EXPECT_FALSE(Button->AutoSize());
}

TEST_F(ImageButtonWindow, ProportionalStretchCentresTheFrame) {
    Button->SetAutoSize(false);
    Button->SetStretch(true);
    Button->SetBounds(20, 30, 32, 16);
    EXPECT_EQ(At(7, 8), White);
    EXPECT_EQ(At(8, 8), Red);
    EXPECT_EQ(At(23, 8), Red);
    EXPECT_EQ(At(24, 8), White);
    Button->SetProportional(false);
    EXPECT_EQ(At(0, 8), Red);
    EXPECT_EQ(At(31, 8), Red);
}

TEST_F(ImageButtonWindow, StripNarrowerThanItsPictureCountDrawsNothing) {
    raster::TBitmap32 tiny;
    tiny.SetSize(2, 16);
    tiny.Clear(0xFFFF0000u);
    Button->SetAutoSize(false);
    Button->SetStretch(true);
    Button->SetBounds(20, 30, 16, 16);
    Button->SetImage(&tiny);
    EXPECT_EQ(At(0, 0), White);
}

TEST_F(ImageButtonWindow, CheckButtonTogglesDownOnEachClickAndKeepsThePressedLook) {
    int32_t clicks = 0;
    Button->OnClick = [&](TObject*) { ++clicks; };
    Button->SetCheckButton(true);
    ClickButton();
    EXPECT_TRUE(Button->Down());
    FormMouse(WM_MOUSEMOVE, 0, 5, 5);
    EXPECT_EQ(At(3, 3), RGB(0xFF * 6 / 10, 0, 0));
    ClickButton();
    EXPECT_FALSE(Button->Down());
    EXPECT_EQ(clicks, 2);
}

TEST_F(ImageButtonWindow, PlainClickRaisesOnClickOnce) {
    int32_t clicks = 0;
    Button->OnClick = [&](TObject*) { ++clicks; };
    ClickButton();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_TRUE(Form->Presses.empty());
}

TEST_F(ImageButtonWindow, CaptionWiderThanTheButtonStartsAtTheLeftEdge) {
    Button->SetAutoSize(false);
    Button->SetBounds(20, 30, 16, 40);
    Button->Font()->SetColor(clBlack);
    Button->SetCaption(u"WWWWWWWW");
    Button->SetShowText(true);
    Button->SetTextLayout(btlBottom);
    bool inkAtLeft = false;
    for (int32_t y = 16; y < 40; ++y)
        inkAtLeft = inkAtLeft || GetRValue(At(0, y)) < 128 || GetRValue(At(1, y)) < 128;
    EXPECT_TRUE(inkAtLeft);
}

TEST_F(ImageButtonWindow, CaptionOfAnEmptyButtonStandsBelowTheEmptyRectangle) {
    raster::TBitmap32 empty;
    Button->SetImage(&empty);
    Button->SetAutoSize(false);
    Button->SetBounds(20, 30, 60, 40);
    Button->Font()->SetColor(clBlack);
    Button->SetCaption(u"Ag");
    Button->SetShowText(true);
    int32_t firstInk = -1;
    for (int32_t y = 0; y < 40 && firstInk < 0; ++y)
        for (int32_t x = 0; x < 60; ++x)
            if (GetGValue(At(x, y)) < 128) {
                firstInk = y;
                break;
            }
    EXPECT_GE(firstInk, Button->Spacing());
    EXPECT_LT(firstInk, 20);
}

TEST_F(ImageButtonWindow, AutoSizeMakesRoomForTheCaption) {
    Button->SetCaption(u"Menu");
    Button->SetShowText(true);
    const int32_t below = Button->Height();
    EXPECT_GT(below, 16 + Button->Spacing());
    EXPECT_EQ(Button->Width(), std::max(16, Button->Width()));
    Button->SetTextLayout(btlRight);
    EXPECT_GT(Button->Width(), 16 + Button->Spacing());
    EXPECT_EQ(Button->Height(), std::max(16, Button->Height()));
}

// ---- Drop-down menu ------------------------------------------------------------------------

class ImageButtonMenu : public ImageButtonWindow {
protected:
    void SetUp() override {
        ImageButtonWindow::SetUp();
        Menu = new TPopupMenu(Form.get());
        auto* item = new TMenuItem(Menu);
        item->SetCaption(u"Open");
        Menu->Items()->Add(item);
        Menu->OnPopup = [this](TObject*) {
            ++Popups;
            PostMessage(Form->Handle(), WM_TEST_ACTION, 0, 0);
        };
        Button->SetDropDownMenu(Menu);
        Form->Show();
    }

    TPopupMenu* Menu = nullptr;
    int32_t Popups = 0;
};

TEST_F(ImageButtonMenu, PressOpensTheMenuWithThePressedLookAndNeverClicks) {
    int32_t clicks = 0;
    Button->OnClick = [&](TObject*) { ++clicks; };
    COLORREF during = 0;
    Form->Action = [&] {
        EXPECT_TRUE(MenuLoopActive());
        EXPECT_EQ(Button->State(), bsDown);
        during = At(3, 3);
        EndMenu();
    };
    FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
    EXPECT_EQ(Popups, 1);
    EXPECT_EQ(during, RGB(0xFF * 6 / 10, 0, 0)); // the normal frame at 60 %
    EXPECT_EQ(Menu->PopupComponent, Button);
    FormMouse(WM_LBUTTONUP, 0, 25, 35);
    Application->ProcessMessages();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(Popups, 1);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(3, 3), Red);
}

TEST_F(ImageButtonMenu, PressThatClosedTheMenuIsDroppedAndOthersArriveInOrder) {
    const HWND wnd = Form->Handle();
    Form->Action = [&] {
        PostMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 10));
        PostMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 35)); // on the button
        PostMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(25, 35));
        PostMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 80));
        EndMenu();
    };
    FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
    FormMouse(WM_LBUTTONUP, 0, 25, 35);
    EXPECT_TRUE(Form->Presses.empty()); // held while the menu was open
    Application->ProcessMessages();
    EXPECT_EQ(Popups, 1);
    ASSERT_EQ(Form->Presses.size(), 2u);
    EXPECT_EQ(Form->Presses[0], (TPoint{90, 10}));
    EXPECT_EQ(Form->Presses[1], (TPoint{5, 80}));
}

TEST_F(ImageButtonMenu, QuitRequestedWhileTheMenuIsOpenSurvivesTheClickSwallowing) {
    Form->Action = [&] {
        PostQuitMessage(7);
        EndMenu();
    };
    FormMouse(WM_LBUTTONDOWN, MK_LBUTTON, 25, 35);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
    FormMouse(WM_LBUTTONUP, 0, 25, 35);
}

TEST_F(ImageButtonMenu, FreedMenuIsForgotten) {
    delete Menu;
    EXPECT_EQ(Button->DropDownMenu(), nullptr);
    int32_t clicks = 0;
    Button->OnClick = [&](TObject*) { ++clicks; };
    ClickButton();
    EXPECT_EQ(clicks, 1);
}

} // namespace
