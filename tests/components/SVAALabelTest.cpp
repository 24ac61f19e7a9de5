// The anti-aliased label: plain output with its inner shadow, and the supersampled coverage of
// the strong style, read back over a black form.
#include "components/SVAALabel.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

class AALabelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Form.SetBounds(0, 0, 300, 100);
        Form.SetColor(clBlack);
        Label = new TSVAALabel(&Form);
        Label->SetParent(&Form);
        Label->SetLeft(10);
        Label->SetTop(10);
        Label->Font()->SetHeight(-20);
        Label->Font()->SetColor(clWhite);
        Label->SetCaption(u"Wide W");
    }

    // Every pixel of the label's bounds after a paint, with its client coordinates.
    void Visit(const std::function<void(int32_t, int32_t, COLORREF)>& Fn) {
        const HWND wnd = Form.Handle();
        Form.Invalidate();
        Form.Update();
        HDC dc = GetDC(wnd);
        for (int32_t y = 0; y < Label->Height(); ++y)
            for (int32_t x = 0; x < Label->Width(); ++x)
                Fn(x, y, GetPixel(dc, Label->Left() + x, Label->Top() + y));
        ReleaseDC(wnd, dc);
    }

    TForm Form{nullptr};
    TSVAALabel* Label = nullptr;
};

TEST_F(AALabelWindow, LevelsAreClamped) {
    Label->SetAntiAliasLevel(7);
    EXPECT_EQ(Label->AntiAliasLevel(), 4);
    Label->SetAntiAliasLevel(-1);
    EXPECT_EQ(Label->AntiAliasLevel(), 0);
}

TEST_F(AALabelWindow, PlainInnerShadowLiesOnePixelUpAndLeft) {
    Label->SetAntiAliasLevel(0);
    Label->SetInnerShadowColor(clRed);
    Label->SetInnerShadow(true);
    const int32_t width = Label->Width(), height = Label->Height();
    Label->SetInnerShadow(false);
    EXPECT_EQ(Label->Width(), width - 1);
    EXPECT_EQ(Label->Height(), height - 1);
    Label->SetInnerShadow(true);
    int32_t firstRed = 1000, firstWhite = 1000;
    Visit([&](int32_t X, int32_t, COLORREF C) {
        if (C == RGB(0xFF, 0, 0)) firstRed = std::min(firstRed, X);
        if (C == RGB(0xFF, 0xFF, 0xFF)) firstWhite = std::min(firstWhite, X);
    });
    ASSERT_LT(firstRed, 1000);
    EXPECT_EQ(firstWhite, firstRed + 1);
}

TEST_F(AALabelWindow, StrongCoverageIsTheMeanOfAllOrNothingSamples) {
    const struct {
        int32_t Level;
        std::set<int> Allowed;
    } cases[] = {{1, {0, 255}}, {2, {0, 63, 127, 191, 255}}};
    for (const auto& c : cases) {
        Label->SetAntiAliasLevel(c.Level);
        std::set<int> seen;
        Visit([&](int32_t, int32_t, COLORREF C) {
            // White over black: each channel is the coverage.
            EXPECT_EQ(GetRValue(C), GetBValue(C));
            seen.insert(GetRValue(C));
        });
        for (int v : seen)
            EXPECT_TRUE(c.Allowed.count(v)) << "level " << c.Level << " value " << v;
        EXPECT_TRUE(seen.count(255)) << "level " << c.Level;
    }
}

TEST_F(AALabelWindow, StrongPassResolvesSystemColours) {
    Label->SetAntiAliasLevel(1);
    Label->Font()->SetColor(clBtnShadow);
    const COLORREF expected = static_cast<COLORREF>(ColorToRGB(clBtnShadow));
    bool found = false;
    Visit([&](int32_t, int32_t, COLORREF C) { found = found || C == expected; });
    EXPECT_TRUE(found);
}

} // namespace
