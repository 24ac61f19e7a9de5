// The PNG button: frame choice, placement and states of a generated three-picture strip, read
// back from an offscreen window.
#include "components/SVPngButton.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Pixels (0xAARRGGBB) of the frames normal, hot, disabled, down: red, green, blue and yellow,
// each with a transparent last column.
constexpr uint32_t FrameColour[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};

TPngImage Strip(int32_t Frames) {
    std::vector<uint32_t> pixels(static_cast<size_t>(16 * Frames) * 16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16 * Frames; ++x)
            pixels[static_cast<size_t>(y * 16 * Frames + x)] =
                x % 16 == 15 ? 0 : FrameColour[x / 16];
    TPngImage png;
    png.SetPixels(16 * Frames, 16, pixels.data());
    return png;
}

class PngButtonWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Form.SetBounds(0, 0, 100, 100);
        Form.SetColor(clWhite);
        Button = new TSVPngButton(&Form);
        Button->SetParent(&Form);
        Button->SetLeft(20);
        Button->SetTop(30);
        Button->SetImage(Strip(3));
        Button->SetNumImages(3);
    }

    // The colour at (X, Y) of the button's client area after a paint.
    COLORREF At(int32_t X, int32_t Y) {
        const HWND wnd = Form.Handle();
        Form.Invalidate();
        Form.Update();
        HDC dc = GetDC(wnd);
        const COLORREF c = GetPixel(dc, Button->Left() + X, Button->Top() + Y);
        ReleaseDC(wnd, dc);
        return c;
    }

    TForm Form{nullptr};
    TSVPngButton* Button = nullptr;
};

constexpr COLORREF Red = RGB(0xFF, 0, 0), Green = RGB(0, 0xFF, 0), Blue = RGB(0, 0, 0xFF),
                   White = RGB(0xFF, 0xFF, 0xFF);

TEST_F(PngButtonWindow, ThreeFramesOf16GiveA17SquareWithThePictureAtOneOne) {
    EXPECT_EQ(Button->Width(), 17);
    EXPECT_EQ(Button->Height(), 17);
    EXPECT_EQ(Button->Left(), 20);
    EXPECT_EQ(At(0, 0), White);
    EXPECT_EQ(At(1, 1), Red);
    EXPECT_EQ(At(14, 16), Red);
    EXPECT_EQ(At(16, 1), White); // the frame's transparent column
}

TEST_F(PngButtonWindow, OutOfRangeFrameCountsAreIgnored) {
    for (int32_t n : {0, 5, -1}) {
        Button->SetNumImages(n);
        EXPECT_EQ(Button->NumImages(), 3);
    }
}

TEST_F(PngButtonWindow, PressedWithoutDownFrameShiftsTheNormalFrame) {
    Button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Button->State(), bsDown);
    EXPECT_EQ(At(1, 1), White);
    EXPECT_EQ(At(2, 2), Red);
    EXPECT_EQ(At(16, 16), Red); // cut at the client area
    Button->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(1, 1), Red);
}

TEST_F(PngButtonWindow, HotFrameOnlyWhileTheMouseIsInside) {
    Button->Perform(CM_MOUSEENTER, 0, 0);
    Button->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Button->State(), bsHot);
    EXPECT_EQ(At(1, 1), Green);
    Button->Perform(CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Button->State(), bsHot);
    EXPECT_EQ(At(1, 1), Red);
}

TEST_F(PngButtonWindow, DisabledFrameUntilEnabledAgain) {
    Button->SetEnabled(false);
    EXPECT_EQ(At(1, 1), Blue);
    Button->SetEnabled(true);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(1, 1), Red);
}

TEST_F(PngButtonWindow, FourthFrameShowsInPlaceWhenPressed) {
    Button->SetImage(Strip(4));
    Button->SetNumImages(4);
    Button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(At(1, 1), RGB(0xFF, 0xFF, 0));
    EXPECT_EQ(At(2, 2), RGB(0xFF, 0xFF, 0));
    EXPECT_EQ(At(16, 1), White);
}

// Runs an action when WM_USER + 1 arrives through the queue: the way to act while a menu's own
// loop runs.
class TActionWindow : public TForm {
public:
    using TForm::TForm;
    std::function<void()> Action;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_USER + 1 && Action) Action();
        TForm::Dispatch(Message);
    }
};

TEST_F(PngButtonWindow, DropDownMenuShowsTheDownLookWhileOpenAndNormalAfter) {
    TActionWindow helper(nullptr);
    TPopupMenu* menu = new TPopupMenu(&Form);
    auto* item = new TMenuItem(menu);
    item->SetCaption(u"Item");
    menu->Items()->Add(item);
    int32_t popups = 0;
    COLORREF during = 0;
    TSVButtonState stateDuring = bsNormal;
    menu->OnPopup = [&](TObject*) {
        ++popups;
        PostMessage(helper.Handle(), WM_USER + 1, 0, 0);
    };
    helper.Action = [&] {
        stateDuring = Button->State();
        during = At(1, 1);
        EndMenu();
    };
    Button->SetDropDownMenu(menu);
    Button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(stateDuring, bsDown);
    EXPECT_EQ(during, White); // the frame moved one pixel right and down
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_EQ(At(1, 1), Red);
    Button->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    delete menu;
    EXPECT_EQ(Button->DropDownMenu(), nullptr);
}

} // namespace
