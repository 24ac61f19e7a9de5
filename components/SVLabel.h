// A label whose caption carries a small inline mark-up: <b>, <i> and <u> switch the font style,
// <cRRGGBB> and </c> the colour, line breaks start new lines; an optional soft shadow lies under
// the text.
#pragma once

#include "platform/ui/StdCtrls.h"

class TSVLabel : public TCustomLabel {
public:
    explicit TSVLabel(TComponent* AOwner);

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Text) override;
    bool DrawShadow() const { return FDrawShadow; }
    void SetDropShadow(bool Value);
    int32_t LineSpace() const { return FLineSpace; }
    void SetLineSpace(int32_t Value);

    // The size of the laid-out caption: (0, 0, widest line, total height).
    virtual TRect CalcTextRect();
    // Text without its mark-up: tags dropped, "&lt;" and "&gt;" turned into "<" and ">".
    virtual String GetTextOnly(const String& Text);

    // Width and height of one line of mark-up in the label's font.
    TSize TextExtent(const String& Text);
    int32_t TextWidth(const String& Text) { return TextExtent(Text).cx; }
    int32_t GetTextWidth() { return TextWidth(FCaption); }
    int32_t CaptionWidth();
    String GetActualText() { return GetTextOnly(FCaption); }
    // One line of mark-up at (X, Y). With Color clNone the canvas font's colour holds and the
    // colour tags change it; any other Color is used throughout.
    void DrawCaption(TCanvas* Canvas, int32_t X, int32_t Y, const String& Text, TColor Color);

    const TRect& TextRect() const { return FTextRect; }
    int32_t LineHeight() const { return FLineHeight; }

protected:
    void DoDrawText(TRect& Rect, uint32_t Flags) override;
    void AdjustBounds() override;
    void CMFontChanged(TMessage& Message) override;

private:
    struct TPlacedLine {
        int32_t X;
        int32_t Y;
        String Text;
    };
    void DrawDisabled(TRect Rect, uint32_t Flags, const String& Line);
    void DrawShadowed(const std::vector<TPlacedLine>& Lines);
    int32_t FontHeight();

    String FCaption;
    bool FDrawShadow = false;
    int32_t FLineSpace = 0;
    TRect FTextRect{};
    int32_t FLineHeight = 10;
};
