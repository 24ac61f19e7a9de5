// The mark-up label: its plain-text form, its layout, and the colours and styles of its caption
// read back from an offscreen window.
#include "components/SVLabel.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A black status bar with a label in yellow, shown offscreen.
class LabelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Form.SetBounds(0, 0, 600, 160);
        Form.SetColor(clBlack);
        Label = new TSVLabel(&Form);
        Label->SetParent(&Form);
        Label->SetColor(clBlack);
        Label->Font()->SetColor(clYellow);
        Label->Font()->SetHeight(-28); // stems wide enough to cover whole pixels
        Label->SetBounds(10, 10, 10, 10);
    }

    // Paints the form and hands every pixel of the columns [Left, Right) of the label's rows to
    // Visit.
    void VisitColumns(int32_t Left, int32_t Right, const std::function<void(COLORREF)>& Visit) {
        const HWND wnd = Form.Handle();
        Form.Update();
        HDC dc = GetDC(wnd);
        for (int32_t y = Label->Top(); y < Label->Top() + Label->Height(); ++y)
            for (int32_t x = Label->Left() + Left; x < Label->Left() + Right; ++x)
                Visit(GetPixel(dc, x, y));
        ReleaseDC(wnd, dc);
    }

    // The brightest non-black pixel of the columns; each must lie between black and it.
    COLORREF InkOf(int32_t Left, int32_t Right) {
        COLORREF ink = 0;
        VisitColumns(Left, Right, [&](COLORREF C) {
            if (GetRValue(C) + GetGValue(C) + GetBValue(C) >
                GetRValue(ink) + GetGValue(ink) + GetBValue(ink))
                ink = C;
        });
        return ink;
    }

    TForm Form{nullptr};
    TSVLabel* Label = nullptr;
};

TEST_F(LabelWindow, StatusLineDrawsEachPartInItsColour) {
    const String count = u"<c999999>12 / 40</c>";
    const String bar = u" <C333333>|</c> ";
    Label->SetCaption(count + bar + u"100 %");
    const int32_t countWidth = Label->TextWidth(count);
    const int32_t barWidth = Label->TextWidth(bar);
    EXPECT_EQ(countWidth, Label->TextWidth(u"12 / 40"));
    EXPECT_EQ(Label->Width(), Label->TextWidth(u"12 / 40 | 100 %"));
    EXPECT_EQ(InkOf(0, countWidth), RGB(0x99, 0x99, 0x99));
    EXPECT_EQ(InkOf(countWidth, countWidth + barWidth), RGB(0x33, 0x33, 0x33));
    EXPECT_EQ(InkOf(countWidth + barWidth, Label->Width()), RGB(0xFF, 0xFF, 0));
}

TEST_F(LabelWindow, ColourTagsReadRedGreenBlueAndRestoreOneLevel) {
    struct Case {
        const char16_t* Caption;
        COLORREF Ink; // of the last character
    };
    const Case cases[] = {
        {u"<cFF0000>W", RGB(0xFF, 0, 0)},
        {u"<c00ff00>W", RGB(0, 0xFF, 0)},
        {u"<cZZ0000>W", RGB(0xFF, 0xFF, 0)},             // not hexadecimal: no change
        {u"<cFF0000>A<c0000FF>B</c>W", RGB(0xFF, 0, 0)}, // back to the colour before
        {u"</c>W", RGB(0xFF, 0xFF, 0)},                  // no colour yet: the line's first
    };
    for (const Case& c : cases) {
        Label->SetCaption(c.Caption);
        const int32_t lastWidth = Label->TextWidth(u"W");
        EXPECT_EQ(InkOf(Label->Width() - lastWidth, Label->Width()), c.Ink)
            << String(c.Caption).size();
    }
}

TEST_F(LabelWindow, ColourTagEndingTheCaptionIsATagAndOneCharacterLessIsText) {
    // A colour tag needs more than 8 characters from its "<": the last nine of the caption are
    // enough, the last eight are not.
    struct Case {
        const char16_t* Caption;
        const char16_t* Plain; // what is drawn and measured
    };
    const Case cases[] = {
        {u"W<cFF0000>", u"W"},
        {u"W<cFF0000", u"WcFF0000"},
        {u"W</c>", u"W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(String(c.Caption).size());
        Label->SetCaption(c.Caption);
        EXPECT_EQ(Label->GetTextOnly(c.Caption), String(c.Plain));
        EXPECT_EQ(Label->Width(), Label->TextWidth(c.Plain));
        // The tag changes the colour of nothing drawn before it.
        EXPECT_EQ(InkOf(0, Label->TextWidth(u"W")), RGB(0xFF, 0xFF, 0));
    }
}

TEST_F(LabelWindow, ShadowKeepsEveryLineVisible) {
    Label->SetColor(clWhite);
    Label->Font()->SetColor(clRed);
    Label->SetCaption(u"WWW\nWWW");
    Label->SetDropShadow(true);
    const HWND wnd = Form.Handle();
    Form.Update();
    HDC dc = GetDC(wnd);
    for (int line = 0; line < 2; ++line) {
        bool red = false, shadow = false;
        const int32_t top = Label->Top() + line * Label->LineHeight();
        for (int32_t y = top; y < top + Label->LineHeight(); ++y) {
            for (int32_t x = Label->Left(); x < Label->Left() + Label->Width(); ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                red = red || c == RGB(0xFF, 0, 0);
                shadow = shadow || (GetRValue(c) < 0xFF && GetRValue(c) == GetBValue(c));
            }
        }
        EXPECT_TRUE(red) << "line " << line;
        EXPECT_TRUE(shadow) << "line " << line;
    }
    ReleaseDC(wnd, dc);
}

TEST(Label, PlainTextForm) {
    TSVLabel label(nullptr);
    const std::pair<const char16_t*, const char16_t*> table[] = {
        {u"<b>bold</b> <cFF0000>red</c>", u"bold red"},
        {u"a<x>b", u"ab"},
        {u"&lt;tag&GT;", u"<tag>"},
        {u"a < b", u"a  b"},
        {u"1 > 0", u"1 > 0"},
        {u"<c12", u"c12"},
    };
    for (const auto& [text, plain] : table)
        EXPECT_EQ(label.GetTextOnly(text), plain);
}

TEST(Label, MeasuringSkipsTagsButNotOtherText) {
    TSVLabel label(nullptr);
    EXPECT_EQ(label.TextWidth(u"<c12>x"), label.TextWidth(u"c12>x")); // only "<" is lost
    EXPECT_EQ(label.TextWidth(u"<cZZZZZZ>ab"), label.TextWidth(u"ab"));
    EXPECT_EQ(label.TextWidth(u"<u>ab</U>"), label.TextWidth(u"ab"));
    EXPECT_EQ(label.TextWidth(u"<x>"), label.TextWidth(u"<") + label.TextWidth(u"x>"));
    EXPECT_GT(label.TextWidth(u"<x>"), 0);
    EXPECT_EQ(label.TextWidth(u"&lt;"), label.TextWidth(u"&") + label.TextWidth(u"lt;"));
    EXPECT_EQ(label.TextExtent(u"<b></b>").cy, 0);
}

TEST(Label, LinesAreTheFirstLinesHeightApartPlusTheSpacing) {
    TSVLabel label(nullptr);
    EXPECT_EQ(label.TextRect().Bottom, 0);
    EXPECT_EQ(label.LineHeight(), 10);
    label.SetLineSpace(2);
    label.SetCaption(u"<b>one</b>\r\ntwo\nthree");
    const int32_t h = label.LineHeight();
    EXPECT_EQ(h, label.TextExtent(u"<b>one</b>").cy);
    EXPECT_EQ(label.TextRect().Bottom, h + 2 * (h + 2));
    EXPECT_EQ(label.Height(), label.TextRect().Bottom);
    EXPECT_EQ(label.Width(), label.TextWidth(u"three"));

    // A first line of nothing but tags still gets the font's height.
    label.SetCaption(u"<b></b>\nx");
    EXPECT_EQ(label.LineHeight(), h);
    EXPECT_EQ(label.TextRect().Bottom, 2 * h + 2);

    label.SetCaption(u"");
    EXPECT_EQ(label.TextRect().Bottom, 0);
    EXPECT_EQ(label.LineHeight(), h);
}

TEST(Label, RightJustifiedAutoSizeGrowsToTheLeft) {
    TSVLabel label(nullptr);
    label.SetAlignment(taRightJustify);
    label.SetCaption(u"a");
    label.SetLeft(100);
    const int32_t right = label.Left() + label.Width();
    label.SetCaption(u"aaaa");
    EXPECT_EQ(label.Left() + label.Width(), right);
    EXPECT_LT(label.Left(), 100);
}

// Exposes the drawing entry point.
class TOpenLabel : public TSVLabel {
public:
    using TSVLabel::DoDrawText;
    using TSVLabel::TSVLabel;
};

TEST(Label, MeasuringRequestLeavesTheRectangle) {
    TOpenLabel label(nullptr);
    label.SetCaption(u"abc");
    TRect r = Rect(1, 2, 3, 4);
    label.DoDrawText(r, DT_CALCRECT);
    EXPECT_EQ(r.Left, 1);
    EXPECT_EQ(r.Top, 2);
    EXPECT_EQ(r.Right, 3);
    EXPECT_EQ(r.Bottom, 4);
}

} // namespace
