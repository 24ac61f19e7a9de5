// Standard controls of the class library: the window-less label, the one-line edit field, the
// list box, the push button and the group box.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/Controls.h"

#include <memory>
#include <vector>

enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
enum TEllipsisPosition : uint8_t { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };

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
    // Breaks the text between words to fit the label's width.
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    // Where a text too wide for the label is cut and "..." put in; only without AutoSize.
    TEllipsisPosition EllipsisPosition() const { return FEllipsisPosition; }
    void SetEllipsisPosition(TEllipsisPosition Value);

    void Dispatch(TMessage& Message) override;

protected:
    // Fills the background unless transparent, clears the brush and draws the text.
    void Paint() override;
    // Draws the caption into Rect; with DT_CALCRECT only measures it into Rect.
    virtual void DoDrawText(TRect& Rect, uint32_t Flags);
    // With AutoSize on, fits the bounds to the text; the left edge stays.
    virtual void AdjustBounds();
    virtual void CMFontChanged(TMessage& Message);
    // The DrawText flags for the alignment and word wrap; Paint applies the layout itself.
    uint32_t TextFlags() const;
    // The text to draw into Rect with the canvas font, and Flags for it. With EllipsisPosition
    // set and AutoSize off, tabs are no longer expanded and the ellipsis flag is added; with
    // WordWrap and an end or word ellipsis the text is then fitted word by word: while Text
    // followed by "..." (at first Text alone), measured in Rect narrowed by the width of "...",
    // is taller than both the label and the font's Height, Text loses everything from its last
    // space or tab (its last character when it has none). A text cut down to nothing leaves
    // Text as it was.
    String EllipsisText(const String& Text, const TRect& Rect, uint32_t& Flags);

private:
    String FCaption;
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TBitmap> FBuffer;
    TAlignment FAlignment = taLeftJustify;
    TTextLayout FLayout = tlTop;
    bool FAutoSize = true;
    bool FTransparent = false;
    bool FWordWrap = false;
    TEllipsisPosition FEllipsisPosition = epNone;
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
    // A new text raises OnChange, with or without a window.
    void SetText(const String& Value);
    // At most this many characters; 0 for no limit.
    int32_t MaxLength() const { return FMaxLength; }
    void SetMaxLength(int32_t Value);
    TFont* Font() { return FFont.get(); }
    void SelectAll();
    TNotifyEvent OnChange;

    void SetFocus() override;
    void Dispatch(TMessage& Message) override;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;
    // Room kept free at the sides of the field's client area (for buttons drawn there).
    void SetTextMargins(int32_t Left, int32_t Right);

private:
    // The field shows the font, the font's colour for its text and Color behind it.
    void ApplyFontAndColor();
    void ApplyMargins();

    String FText;
    int32_t FMaxLength = 0;
    int32_t FMarginLeft = 0;
    int32_t FMarginRight = 0;
    std::unique_ptr<TFont> FFont;
    QLineEdit* FEdit = nullptr;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
};

// ---- List box ------------------------------------------------------------------------------

enum TListBoxStyle : uint8_t { lbStandard, lbOwnerDrawFixed };

// States of an item handed to OnDrawItem.
enum TOwnerDrawStateFlag : uint16_t {
    odSelected = 1u << 0,
    odDisabled = 1u << 2,
    odFocused = 1u << 4,
};
using TOwnerDrawState = uint16_t;

// Control: the list box; Rect: the item's rectangle in its client coordinates.
using TDrawItemEvent = std::function<void(TWinControl* Control, int32_t Index, const TRect& Rect,
                                          TOwnerDrawState State)>;

class TCustomListBox;

// The strings of a list box: every change shows at once (a deleted or inserted item moves the
// selection with its item; deleting the selected item leaves none selected).
class TListBoxStrings {
public:
    explicit TListBoxStrings(TCustomListBox* AListBox) : FListBox(AListBox) {}
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    // An index outside the list raises EListError.
    const String& Get(int32_t Index) const;
    const String& operator[](int32_t Index) const { return Get(Index); }
    int32_t Add(const String& S);
    void Insert(int32_t Index, const String& S);
    void Delete(int32_t Index);
    void Clear();
    int32_t IndexOf(const String& S) const;
    void Assign(const TStringList& Source);
    // Changes between these two show once, at EndUpdate.
    void BeginUpdate();
    void EndUpdate();

private:
    void CheckIndex(int32_t Index, int32_t Limit) const;
    TCustomListBox* FListBox;
    std::vector<String> FItems;
    int32_t FUpdateCount = 0;
};

// A list of one-line items in a window of its own, one selected at most, scrolled by a
// vertical scroll bar, the wheel and the keys. A press on an item selects it and raises
// OnClick, as a key that moves the selection does; setting ItemIndex raises nothing. With
// lbOwnerDrawFixed every item ItemHeight high is drawn by OnDrawItem on Canvas (the canvas
// comes with the list's font and brush), focus rectangle included; lbStandard draws the text.
class TCustomListBox : public TCustomControl {
public:
    explicit TCustomListBox(TComponent* AOwner);
    ~TCustomListBox() override;

    TListBoxStrings* Items() { return &FItems; }
    // -1 when no item is selected. Setting it scrolls the item into view.
    int32_t ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int32_t Value);
    // The first item shown.
    int32_t TopIndex() const { return FTopIndex; }
    void SetTopIndex(int32_t Value);
    int32_t ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int32_t Value);
    TListBoxStyle Style() const { return FStyle; }
    void SetStyle(TListBoxStyle Value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    TFont* Font() { return FFont.get(); }
    // The index of the item at a client point; -1 below the last item.
    int32_t ItemAtPos(TPoint Pos) const;
    TRect ItemRect(int32_t Index);
    // Items that fit the client area whole (at least 1).
    int32_t PageSize();

    TDrawItemEvent OnDrawItem;

    void Dispatch(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
    // Draws item Index into Rect: OnDrawItem when owner-drawn and assigned, else the text.
    virtual void DrawItem(int32_t Index, const TRect& Rect, TOwnerDrawState State);
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, int32_t MouseX,
                      int32_t MouseY) override;

private:
    friend class TListBoxStrings;
    // The strings changed: Index is where an item went (Removed) or came; -1 for all of them.
    void ItemsChanged(int32_t Index, bool Removed);
    void UpdateScrollBar();
    void ScrollMessage(WPARAM Code);
    void SelectAt(int32_t Y);
    int32_t MaxTopIndex();

    TListBoxStrings FItems;
    std::unique_ptr<TFont> FFont;
    int32_t FItemIndex = -1;
    int32_t FTopIndex = 0;
    int32_t FItemHeight = 16;
    TListBoxStyle FStyle = lbStandard;
    TBorderStyle FBorderStyle = bsSingle;
};

class TListBox : public TCustomListBox {
public:
    using TCustomListBox::TCustomListBox;
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
