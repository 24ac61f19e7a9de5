// The paint panel: what each drawing mode puts on the panel's window, read back offscreen.
#include "components/SVPaintPanel.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

namespace {

class PaintPanelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Form.SetBounds(0, 0, 200, 200);
        Panel = new TSVPaintPanel(&Form);
        Panel->SetParent(&Form);
        Panel->SetColor(clNavy);
        Panel->SetCaption(u"WWWWWW");
        Panel->OnPaint = [this](TObject* Sender, TCanvas* Canvas, const TRect& R) {
            EXPECT_EQ(Sender, Panel);
            EXPECT_EQ(R.Right, Panel->ClientWidth());
            ++Calls;
            Canvas->Brush()->SetColor(clRed);
            Canvas->FillRect(Rect(10, 10, 20, 20));
        };
    }

    COLORREF PixelAt(int32_t X, int32_t Y) {
        Form.Handle();
        Panel->Handle();
        Panel->Invalidate();
        Form.Update();
        Panel->Update();
        HDC dc = GetDC(Panel->Handle());
        const COLORREF c = GetPixel(dc, X, Y);
        ReleaseDC(Panel->Handle(), dc);
        return c;
    }

    TForm Form{nullptr};
    TSVPaintPanel* Panel = nullptr;
    int Calls = 0;
};

TEST_F(PaintPanelWindow, HundredSquareByDefault) {
    EXPECT_EQ(Panel->Width(), 100);
    EXPECT_EQ(Panel->Height(), 100);
    EXPECT_FALSE(Panel->CustomDraw());
}

TEST_F(PaintPanelWindow, CustomDrawShowsTheHandlersDrawingOverColour) {
    Panel->SetCustomDraw(true);
    EXPECT_EQ(PixelAt(15, 15), static_cast<COLORREF>(clRed));
    EXPECT_EQ(PixelAt(0, 0), static_cast<COLORREF>(clNavy)); // no bevel
    EXPECT_GT(Calls, 0);
}

TEST_F(PaintPanelWindow, CustomDrawWithoutHandlerIsAFlatFill) {
    Panel->OnPaint = nullptr;
    Panel->SetCustomDraw(true);
    for (const auto& [x, y] : {std::pair{0, 0}, {50, 50}, {99, 99}})
        EXPECT_EQ(PixelAt(x, y), static_cast<COLORREF>(clNavy));
}

TEST_F(PaintPanelWindow, PlainModeIsAPanelOverColourAndNeverCallsTheHandler) {
    EXPECT_EQ(PixelAt(0, 0), static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
    EXPECT_EQ(PixelAt(99, 99), static_cast<COLORREF>(ColorToRGB(clBtnShadow)));
    EXPECT_EQ(PixelAt(15, 15), static_cast<COLORREF>(clNavy));
    EXPECT_EQ(Calls, 0);
}

TEST_F(PaintPanelWindow, EmptyClientPaintsNothing) {
    Panel->SetCustomDraw(true);
    Panel->SetBounds(0, 0, 0, 0);
    Form.Update();
    Panel->Update();
    EXPECT_EQ(Calls, 0);
}

} // namespace
