// Standard controls of the class library: the window-less label and the one-line edit field.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/ui/Controls.h"

#include <memory>

enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

// A label without a window. It paints into a bitmap of its own size that starts as what lies
// under it on its parent's surface (filled with Color unless Transparent), then copies that
// bitmap onto the parent: Canvas is the bitmap's canvas, so drawing stays in the bounds.
class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* AOwner);
    ~TCustomLabel() override;

    const String& Caption() const { return FCaption; }
    virtual void SetCaption(const String& Value);
    TFont* Font() { return FFont.get(); }
    // The label's drawing surface (its paint bitmap); measuring on it works at any time.
    TCanvas* Canvas() { return FBuffer->Canvas(); }

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    // A text wider than the label ends in "..." where it is cut.
    bool EndEllipsis() const { return FEndEllipsis; }
    void SetEndEllipsis(bool Value);

    void Dispatch(TMessage& Message) override;

protected:
    // Fills the background unless transparent, clears the brush and draws the text.
    void Paint() override;
    // Draws the caption into Rect; with DT_CALCRECT only measures it into Rect.
    virtual void DoDrawText(TRect& Rect, uint32_t Flags);
    // With AutoSize on, fits the bounds to the text; the left edge stays.
    virtual void AdjustBounds();
    virtual void CMFontChanged(TMessage& Message);
    // The DrawText flags for the alignment; Paint applies the layout itself.
    uint32_t TextFlags() const;

private:
    String FCaption;
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TBitmap> FBuffer;
    TAlignment FAlignment = taLeftJustify;
    TTextLayout FLayout = tlTop;
    bool FAutoSize = true;
    bool FTransparent = false;
    bool FEndEllipsis = false;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
};

class QLineEdit;

// A one-line text field in a window of its own. Keys reach OnKeyDown and OnKeyPress first; one
// set to 0 there is not typed.
class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent* AOwner);
    ~TCustomEdit() override;

    String Text() const;
    void SetText(const String& Value);
    // At most this many characters; 0 for no limit.
    int32_t MaxLength() const { return FMaxLength; }
    void SetMaxLength(int32_t Value);
    TFont* Font() { return FFont.get(); }
    void SelectAll();
    TNotifyEvent OnChange;

    void SetFocus() override;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;

private:
    void ApplyFont();

    String FText;
    int32_t FMaxLength = 0;
    std::unique_ptr<TFont> FFont;
    QLineEdit* FEdit = nullptr;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
};

class QPushButton;

// A push button in a window of its own. Click sets the form's ModalResult to the button's (when
// not mrNone) and then runs OnClick. Enter that the focused control does not use clicks the
// focused button, else the Default one; Esc clicks the Cancel button.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* AOwner);

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFont* Font() { return FFont.get(); }
    bool Default = false;
    bool Cancel = false;
    TModalResult ModalResult = mrNone;

    void Click() override;
    void Dispatch(TMessage& Message) override;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;

private:
    String FCaption;
    std::unique_ptr<TFont> FFont;
    QPushButton* FButton = nullptr;
};

// A frame with a caption in its top edge around the controls placed inside it.
class TGroupBox : public TCustomControl {
public:
    explicit TGroupBox(TComponent* AOwner);

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFont* Font() { return FFont.get(); }

protected:
    void Paint() override;

private:
    String FCaption;
    std::unique_ptr<TFont> FFont;
};
