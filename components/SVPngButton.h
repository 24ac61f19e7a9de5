// A window-less button drawn from a PNG strip of up to four state pictures side by side (normal,
// hot, disabled, down), with per-pixel transparency and an optional caption around or over the
// picture.
#pragma once

#include "platform/gfx/PngImage.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menus.h"

#include <memory>

enum TSVButtonState : uint8_t { bsNormal, bsHot, bsDisabled, bsDown };
enum TSVBtnTextLayout : uint8_t { btlLeft, btlRight, btlTop, btlBottom, btlCenter };

class TSVPngButton : public TGraphicControl {
public:
    explicit TSVPngButton(TComponent* AOwner);
    ~TSVPngButton() override;

    // The strip; changing its pixels resizes and repaints the button.
    TPngImage* Image() { return FImage.get(); }
    void SetImage(const TPngImage& Value);
    int32_t NumImages() const { return FNumImages; }
    // 1 to 4; other values are ignored.
    void SetNumImages(int32_t Value);
    TSVButtonState State() const { return FState; }
    TSVBtnTextLayout Layout() const { return FLayout; }
    void SetLayout(TSVBtnTextLayout Value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    bool Down() const { return FDown; }
    void SetDown(bool Value);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool Value);
    int32_t Spacing() const { return FSpacing; }
    void SetSpacing(int32_t Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFont* Font() { return FFont.get(); }
    // Shown under the button by a left press; nil for none.
    TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(TPopupMenu* Value);

    void Dispatch(TMessage& Message) override;

protected:
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void Paint() override;
    // With AutoSize on, fits the bounds to one frame (and the caption), keeping Left and Top.
    void AdjustBounds();
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    int32_t FrameWidth() const { return FImage->Width() / FNumImages; }
    int32_t ChooseFrame() const;
    TPoint PicturePosition() const;
    TRect CaptionRect(TCanvas* Canvas) const;
    // The chosen frame at its place on a transparent picture of the client size.
    void ComposeFrame(TPngImage& Picture);
    void Changed();

    std::unique_ptr<TPngImage> FImage;
    std::unique_ptr<TFont> FFont;
    String FCaption;
    int32_t FNumImages = 1;
    TSVButtonState FState = bsNormal;
    TSVBtnTextLayout FLayout = btlRight;
    bool FTransparent = true;
    bool FDown = false;
    bool FPressed = false;
    bool FMouseInside = false;
    bool FShowText = false;
    int32_t FSpacing = 4;
    bool FAutoSize = true;
    TPopupMenu* FDropDownMenu = nullptr;
};
