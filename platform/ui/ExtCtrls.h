// Extra controls of the class library: the image control that shows a picture, the panels and
// the edit field with buttons.
#pragma once

#include "platform/gfx/Picture.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImgList.h"
#include "platform/ui/StdCtrls.h"

#include <memory>

// A window-less control that shows its picture at its top-left corner, cut to its bounds, and
// repaints whenever the picture changes.
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() { return FPicture.get(); }

protected:
    void Paint() override;

private:
    std::unique_ptr<TPicture> FPicture;
};

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

// A window control with an outer and an inner bevel around a border of its colour and a caption
// in its middle.
class TCustomPanel : public TCustomControl {
public:
    explicit TCustomPanel(TComponent* AOwner);
    ~TCustomPanel() override;

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFont* Font() { return FFont.get(); }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut Value);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut Value);
    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t Value);
    int32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int32_t Value);

protected:
    // Outer bevel, border in Color, inner bevel, then the caption (the face is not filled).
    void Paint() override;

private:
    String FCaption;
    std::unique_ptr<TFont> FFont;
    TAlignment FAlignment = taCenter;
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvRaised;
    int32_t FBevelWidth = 1;
    int32_t FBorderWidth = 0;
};

class TPanel : public TCustomPanel {
public:
    using TCustomPanel::TCustomPanel;
};

// Draws Width frames of one pixel inside Rect, top and left in TopColor, bottom and right in
// BottomColor, and leaves Rect inside them.
void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int32_t Width);

class TCustomButtonedEdit;

// A button inside an edit field, drawn from the field's image list: ImageIndex normally,
// HotImageIndex under the mouse, PressedImageIndex while pressed (-1: the normal image).
class TEditButton {
public:
    explicit TEditButton(TCustomButtonedEdit* AEdit) : FEdit(AEdit) {}
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    int32_t ImageIndex = -1;
    int32_t HotImageIndex = -1;
    int32_t PressedImageIndex = -1;

private:
    TCustomButtonedEdit* FEdit;
    bool FVisible = false;
};

// An edit field with a button at its right end, Images' width wide, beside the text: a click
// on the shown button raises OnRightButtonClick.
class TCustomButtonedEdit : public TCustomEdit {
public:
    explicit TCustomButtonedEdit(TComponent* AOwner);
    ~TCustomButtonedEdit() override;

    TEditButton* RightButton() { return &FRightButton; }
    // Not owned; nil draws no button.
    TCustomImageList* Images() const { return FImages; }
    void SetImages(TCustomImageList* Value);
    TNotifyEvent OnRightButtonClick;

    // The button's place in client coordinates (empty while it is hidden).
    TRect RightButtonRect();
    void Dispatch(TMessage& Message) override;

protected:
    void CreateWnd() override;
    void PaintWindow() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    friend class TEditButton;
    void ButtonChanged();
    void SetButtonState(bool Hot, bool Pressed);

    TEditButton FRightButton;
    TCustomImageList* FImages = nullptr;
    bool FHot = false;
    bool FPressed = false;
};

class TButtonedEdit : public TCustomButtonedEdit {
public:
    using TCustomButtonedEdit::TCustomButtonedEdit;
};
