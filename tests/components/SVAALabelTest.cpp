// The anti-aliased label: plain output with its inner shadow, and the supersampled coverage of
// the strong style, read back over a black form.
#include "components/SVAALabel.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

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

// Opens the label's text fitting to the test.
class TFitLabel : public TSVAALabel {
public:
    using TSVAALabel::TSVAALabel;
    String Fit(const String& Text, uint32_t& Flags) {
        Canvas()->Font()->Assign(*Font());
        return EllipsisText(Text, ::Rect(0, 0, Width(), Height()), Flags);
    }
};

TEST(AALabelEllipsis, WrappedTextIsShortenedWordByWordUntilItFits) {
    TFitLabel label(nullptr);
    label.Font()->SetHeight(-20);
    label.Canvas()->Font()->Assign(*label.Font());
    const int32_t line = label.Canvas()->TextHeight(u"Wg");
    // Narrow enough that every word takes a line of its own, even with "..." after it.
    int32_t widest = 0;
    for (const char16_t* word : {u"ab", u"cd", u"ef", u"gh"})
        widest = std::max(widest, label.Canvas()->TextWidth(word));
    const int32_t width = label.Canvas()->TextWidth(u"...") + widest + 1;

    struct TCase {
        const char* Name;
        TEllipsisPosition Position;
        bool WordWrap, AutoSize;
        int32_t Height; // in lines; 0: less than one line
        const char16_t* Caption;
        const char16_t* Expected;
        uint32_t EllipsisFlag;
    };
    const TCase cases[] = {
        {"end, too tall", epEndEllipsis, true, false, 2, u"ab cd ef gh", u"ab cd...",
         DT_END_ELLIPSIS},
        {"word, too tall", epWordEllipsis, true, false, 2, u"ab cd ef gh", u"ab cd...",
         DT_WORD_ELLIPSIS},
        {"one word left", epEndEllipsis, true, false, 1, u"ab cd ef gh", u"ab...", DT_END_ELLIPSIS},
        {"fits as it is", epEndEllipsis, true, false, 4, u"ab cd ef gh", u"ab cd ef gh",
         DT_END_ELLIPSIS},
        {"no word break: characters go", epEndEllipsis, true, false, 1, u"ab\ncd", u"ab...",
         DT_END_ELLIPSIS},
        {"nothing fits: the text stays", epEndEllipsis, true, false, 0, u"ab cd", u"ab cd",
         DT_END_ELLIPSIS},
        {"without word wrap", epEndEllipsis, false, false, 1, u"ab cd ef gh", u"ab cd ef gh",
         DT_END_ELLIPSIS},
        {"path ellipsis is not fitted", epPathEllipsis, true, false, 2, u"ab cd ef gh",
         u"ab cd ef gh", DT_PATH_ELLIPSIS},
        {"auto size", epEndEllipsis, true, true, 2, u"ab cd ef gh", u"ab cd ef gh", 0},
        {"no ellipsis", epNone, true, false, 2, u"ab cd ef gh", u"ab cd ef gh", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        label.SetAutoSize(false);
        label.SetBounds(0, 0, width, c.Height > 0 ? c.Height * line : line / 3);
        label.SetWordWrap(c.WordWrap);
        label.SetEllipsisPosition(c.Position);
        label.SetAutoSize(c.AutoSize);
        if (c.AutoSize) label.SetBounds(0, 0, width, 2 * line);
        uint32_t flags = DT_EXPANDTABS | DT_NOPREFIX | DT_WORDBREAK;
        EXPECT_EQ(label.Fit(c.Caption, flags), String(c.Expected));
        const uint32_t ellipses = DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS;
        EXPECT_EQ(flags & ellipses, c.EllipsisFlag);
        // Tabs are not expanded once an ellipsis is drawn.
        EXPECT_EQ((flags & DT_EXPANDTABS) != 0, c.EllipsisFlag == 0);
    }
}

TEST_F(AALabelWindow, WrappedCaptionIsDrawnShortened) {
    Label->SetAntiAliasLevel(0);
    Label->Canvas()->Font()->Assign(*Label->Font());
    const int32_t line = Label->Canvas()->TextHeight(u"Wg");
    Label->SetAutoSize(false);
    Label->SetBounds(10, 10, Label->Canvas()->TextWidth(u"Wide...") + 4, 2 * line);
    Label->SetWordWrap(true);
    auto pixels = [this] {
        std::vector<COLORREF> all;
        Visit([&](int32_t, int32_t, COLORREF C) { all.push_back(C); });
        return all;
    };
    Label->SetCaption(u"Wide Wide Wide Wide");
    const std::vector<COLORREF> whole = pixels();
    Label->SetEllipsisPosition(epEndEllipsis);
    const std::vector<COLORREF> fitted = pixels();
    Label->SetCaption(u"Wide Wide...");
    EXPECT_EQ(fitted, pixels());
    EXPECT_NE(fitted, whole);
}

} // namespace
