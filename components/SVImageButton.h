// A window-less button drawn from a 32-bit ARGB strip of up to four state pictures (normal, hot,
// disabled, down), side by side or stacked, at its own size or stretched, with an optional
// caption, an optional check-button behaviour and an optional drop-down menu that opens on the
// press itself. It is composed in a transparent bitmap and blended onto its parent.
#pragma once

#include "components/SVPngButton.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menus.h"

#include <functional>
#include <memory>

namespace raster {
class TBitmap32;
}

enum TSVBtnImagesLayout : uint8_t { bilHorizontal, bilVertical };

class TSVImageButton : public TGraphicControl {
public:
    explicit TSVImageButton(TComponent* AOwner);
    ~TSVImageButton() override;

    // The strip; changing it resizes (with AutoSize) and repaints the button.
    raster::TBitmap32* Image() const { return FImage.get(); }
    // Copies Value, then draws it blended and stretched linearly.
    void SetImage(raster::TBitmap32* Value);
    int32_t NumImages() const { return FNumImages; }
    // 1 to 4; other values are ignored.
    void SetNumImages(int32_t Value);
    TSVButtonState State() const { return FState; }
    // Stores the state and repaints at once.
    void SetState(TSVButtonState Value);
    TSVBtnTextLayout TextLayout() const { return FTextLayout; }
    void SetTextLayout(TSVBtnTextLayout Value);
    TSVBtnImagesLayout ImagesLayout() const { return FImagesLayout; }
    void SetImagesLayout(TSVBtnImagesLayout Value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    bool Down() const { return FDown; }
    void SetDown(bool Value);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool Value);
    bool Stretch() const { return FStretch; }
    // Ignored while AutoSize is on (unless switching off).
    void SetStretch(bool Value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool Value);
    int32_t Spacing() const { return FSpacing; }
    void SetSpacing(int32_t Value);
    TColor TextHotColor() const { return FTextHotColor; }
    void SetTextHotColor(TColor Value) { FTextHotColor = Value; }
    bool CheckButton() const { return FCheckButton; }
    void SetCheckButton(bool Value) { FCheckButton = Value; }
    TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(TPopupMenu* Value);
    bool AutoSize() const { return FAutoSize; }
    // Ignored while Stretch is on (unless switching off).
    void SetAutoSize(bool Value);
    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFont* Font() const { return FFont.get(); }

    void Dispatch(TMessage& Message) override;

protected:
    using TComponent::SetState;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void Click() override;
    void Paint() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // With AutoSize on, fits the bounds to one frame (and the caption), keeping Left and Top.
    void AdjustSize();
    // Opens the drop-down menu from a press, unless a click with the menu is running already.
    void DropDown();
    // Drops the presses on this button that wait in the queue once the menu has closed (the
    // press that closed the menu must not open it again); keeps every other message.
    void RemoveClicks();

private:
    void ImageChanges();
    // Runs Change on the image without ImageChanges answering its notifications.
    void AdjustImage(const std::function<void()>& Change);
    void Changed();
    int32_t FrameWidth() const;
    int32_t FrameHeight() const;
    bool PressedLook() const;
    int32_t ChooseFrame() const;
    TRect FrameRect() const;
    // Draws the chosen frame into Buffer and answers where it went.
    TRect DrawPicture(raster::TBitmap32& Buffer, int32_t TextWidth, int32_t TextHeight);
    void DrawCaption(raster::TBitmap32& Buffer, const TRect& Picture, int32_t TextWidth,
                     int32_t TextHeight);

    std::unique_ptr<raster::TBitmap32> FImage;
    std::unique_ptr<TFont> FFont;
    String FCaption;
    int32_t FNumImages = 1;
    TSVButtonState FState = bsNormal;
    TSVBtnTextLayout FTextLayout = btlBottom;
    bool FTransparent = true;
    bool FDown = false;
    bool FMouseInside = false;
    bool FShowText = false;
    bool FStretch = false;
    bool FProportional = true;
    int32_t FSpacing = 2;
    TPopupMenu* FDropDownMenu = nullptr;
    TColor FTextHotColor = clBlue;
    bool FMenuOpen = false;
    bool FInClick = false;
    bool FCheckButton = false;
    TSVBtnImagesLayout FImagesLayout = bilHorizontal;
    bool FAutoSize = true;
    bool FAdjustingImage = false;
};
