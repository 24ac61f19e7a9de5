// The window-less label, the edit field and the list box.
#include "platform/ui/StdCtrls.h"

#include "platform/rtl/SysUtils.h"
#include "platform/ui/Forms.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TCustomLabel::TCustomLabel(TComponent* AOwner)
    : TGraphicControl(AOwner), FFont(new TFont), FBuffer(new TBitmap) {
    ControlStyle |= csReplicatable;
    SetBounds(Left(), Top(), 65, 17);
    SetColor(clBtnFace);
    FBuffer->SetPixelFormat(pf24bit);
    FBuffer->SetSize(1, 1);
    Canvas()->Font()->Assign(*FFont);
    FFont->OnChange = [this](TObject*) { Perform(CM_FONTCHANGED, 0, 0); };
}

TCustomLabel::~TCustomLabel() {
    FFont->OnChange = nullptr;
}

void TCustomLabel::SetCaption(const String& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    Invalidate();
    AdjustBounds();
}

void TCustomLabel::SetAlignment(TAlignment Value) {
    if (Value == FAlignment) return;
    FAlignment = Value;
    Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout Value) {
    if (Value == FLayout) return;
    FLayout = Value;
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value) {
    if (Value == FAutoSize) return;
    FAutoSize = Value;
    AdjustBounds();
}

void TCustomLabel::SetTransparent(bool Value) {
    if (Value == FTransparent) return;
    FTransparent = Value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
    if (Value == FWordWrap) return;
    FWordWrap = Value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetEllipsisPosition(TEllipsisPosition Value) {
    if (Value == FEllipsisPosition) return;
    FEllipsisPosition = Value;
    Invalidate();
}

void TCustomLabel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_FONTCHANGED:
        CMFontChanged(Message);
        return;
    case CM_ENABLEDCHANGED:
        Invalidate();
        return;
    default:
        TGraphicControl::Dispatch(Message);
    }
}

void TCustomLabel::CMFontChanged(TMessage&) {
    Canvas()->Font()->Assign(*FFont);
    Invalidate();
    AdjustBounds();
}

uint32_t TCustomLabel::TextFlags() const {
    static constexpr uint32_t align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    return DT_NOPREFIX | DT_EXPANDTABS | align[FAlignment] |
           (FWordWrap ? uint32_t{DT_WORDBREAK} : 0u);
}

String TCustomLabel::EllipsisText(const String& Text, const TRect& Rect, uint32_t& Flags) {
    if (FEllipsisPosition == epNone || FAutoSize) return Text;
    static constexpr uint32_t ellipsis[] = {0, DT_PATH_ELLIPSIS, DT_END_ELLIPSIS, DT_WORD_ELLIPSIS};
    Flags = (Flags & ~uint32_t{DT_EXPANDTABS}) | ellipsis[FEllipsisPosition];
    if (!FWordWrap || FEllipsisPosition == epPathEllipsis) return Text;
    const String dots = u"...";
    TCanvas* canvas = Canvas();
    const auto tooTall = [&](const String& Shown) {
        TRect r = Rect;
        r.Right -= canvas->TextWidth(dots);
        DrawTextW(canvas->SelectedHandle(), Shown.c_str(), static_cast<int32_t>(Shown.size()), &r,
                  Flags | DT_CALCRECT);
        const int32_t height = r.Bottom - r.Top;
        return height > Height() && height > canvas->Font()->Height();
    };
    String kept = Text;
    String shown = Text;
    while (!kept.empty() && tooTall(shown)) {
        const size_t cut = kept.find_last_of(u" \t");
        kept.resize(cut == String::npos ? kept.size() - 1 : cut);
        shown = kept + dots;
    }
    return kept.empty() ? Text : shown;
}

void TCustomLabel::Paint() {
    HDC dc = ParentSurface();
    if (dc == nullptr || Width() <= 0 || Height() <= 0) return;
    TCanvas surface;
    surface.SetHandle(dc);
    const TRect bounds = BoundsRect();
    const TRect client = Rect(0, 0, Width(), Height());
    FBuffer->SetSize(Width(), Height());
    TCanvas* canvas = Canvas();
    canvas->CopyRect(client, &surface, bounds);
    if (!FTransparent) {
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(Color());
        canvas->FillRect(client);
    }
    canvas->Brush()->SetStyle(bsClear);
    TRect r = client;
    if (FLayout != tlTop) {
        // The text's own height places it in the middle or at the bottom.
        TRect measured = client;
        DoDrawText(measured, TextFlags() | DT_CALCRECT);
        const int32_t room = Height() - (measured.Bottom - measured.Top);
        r.Top += FLayout == tlBottom ? room : room / 2;
    }
    DoDrawText(r, TextFlags());
    surface.CopyRect(bounds, canvas, client);
    surface.SetHandle(nullptr);
}

void TCustomLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
    TCanvas* canvas = Canvas();
    canvas->Font()->Assign(*FFont);
    if (!Enabled()) canvas->Font()->SetColor(clGrayText);
    const String text = EllipsisText(FCaption, Rect, Flags);
    DrawTextW(canvas->SelectedHandle(), text.c_str(), static_cast<int32_t>(text.size()), &Rect,
              Flags);
    canvas->Font()->Assign(*FFont);
}

void TCustomLabel::AdjustBounds() {
    if (!FAutoSize || InState(csLoading)) return;
    TRect r = Rect(0, 0, Width(), 0);
    DoDrawText(r, TextFlags() | DT_CALCRECT);
    SetBounds(Left(), Top(), r.Right - r.Left, r.Bottom - r.Top);
}

// ---- TCustomEdit ---------------------------------------------------------------------------

namespace {

QFont QtFontOf(TFont& Font) {
    QFont font(QString::fromStdU16String(Font.Name()));
    font.setPixelSize(std::abs(Font.Height()));
    font.setBold(Font.Style().Contains(fsBold));
    return font;
}

QColor QtColorOf(TColor Color) {
    const TColor rgb = ColorToRGB(Color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// Hands the field's keys to its control as key messages first, as the system's edit control
// does; a key the control's handlers cleared is not typed.
class TEditKeys : public QObject {
public:
    TEditKeys(TCustomEdit* AControl, QObject* AParent) : QObject(AParent), FControl(AControl) {}

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut) {
            if (FControl->HandleAllocated())
                platform::detail::FocusChanged(FControl->Handle(),
                                               Event->type() == QEvent::FocusIn);
            return false;
        }
        if (Event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(Event);
        const platform::detail::TKeyMessageScope keyState(key->modifiers());
        const uint16_t vk =
            platform::detail::VirtualKeyOf(key->key(), key->modifiers() & Qt::KeypadModifier);
        if (vk != 0 && FControl->Perform(WM_KEYDOWN, vk, 1) != 0) return true;
        // Enter and Esc reach the form's default and cancel buttons before they are typed.
        if ((vk == VK_RETURN || vk == VK_ESCAPE) && platform::detail::SendDialogKey(FControl, vk))
            return true;
        bool typed = true;
        for (QChar c : key->text())
            if (c.unicode() >= 0x20 || c == u'\r' || c == u'\x1B')
                typed = FControl->Perform(WM_CHAR, c.unicode(), 1) == 0 && typed;
        if (vk == VK_RETURN || vk == VK_ESCAPE) return true;
        return !typed;
    }

private:
    TCustomEdit* FControl;
};

} // namespace

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner), FFont(new TFont) {
    SetBounds(Left(), Top(), 121, 21);
    SetColor(clWindow);
    TabStop = true;
    FFont->OnChange = [this](TObject*) { ApplyFontAndColor(); };
}

TCustomEdit::~TCustomEdit() {
    FFont->OnChange = nullptr;
}

String TCustomEdit::Text() const {
    return FEdit != nullptr ? FEdit->text().toStdU16String() : FText;
}

void TCustomEdit::SetText(const String& Value) {
    const String text = FMaxLength > 0 ? Value.substr(0, static_cast<size_t>(FMaxLength)) : Value;
    if (FEdit != nullptr) {
        FEdit->setText(QString::fromStdU16String(text)); // tells OnChange through the field
        return;
    }
    if (text == FText) return;
    FText = text;
    if (OnChange) OnChange(this);
}

void TCustomEdit::SetMaxLength(int32_t Value) {
    FMaxLength = std::max(0, Value);
    if (FEdit != nullptr) FEdit->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
}

void TCustomEdit::SelectAll() {
    if (FEdit != nullptr) FEdit->selectAll();
}

void TCustomEdit::SetFocus() {
    TWinControl::SetFocus();
    if (FEdit != nullptr) FEdit->setFocus(Qt::OtherFocusReason);
}

void TCustomEdit::ApplyFontAndColor() {
    if (FEdit == nullptr) return;
    FEdit->setFont(QtFontOf(*FFont));
    QPalette palette = FEdit->palette();
    palette.setColor(QPalette::Base, QtColorOf(Color()));
    palette.setColor(QPalette::Text, QtColorOf(FFont->Color()));
    FEdit->setPalette(palette);
}

void TCustomEdit::Dispatch(TMessage& Message) {
    TWinControl::Dispatch(Message);
    if (Message.Msg == CM_COLORCHANGED) ApplyFontAndColor();
}

void TCustomEdit::CreateWnd() {
    TWinControl::CreateWnd();
    QWidget* client = NativeWindow()->ClientWidget();
    FEdit = new QLineEdit(client);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(FMarginLeft, 0, FMarginRight, 0);
    layout->addWidget(FEdit);
    FEdit->setFrame(false);
    FEdit->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
    FEdit->setText(QString::fromStdU16String(FText));
    FEdit->installEventFilter(new TEditKeys(this, FEdit));
    client->setFocusProxy(FEdit);
    QObject::connect(FEdit, &QLineEdit::textChanged, FEdit, [this] {
        FText = FEdit->text().toStdU16String();
        if (OnChange) OnChange(this);
    });
    ApplyFontAndColor();
}

void TCustomEdit::DestroyWnd() {
    if (FEdit != nullptr) FText = FEdit->text().toStdU16String();
    FEdit = nullptr; // deleted with the client widget
    TWinControl::DestroyWnd();
}

void TCustomEdit::SetTextMargins(int32_t Left, int32_t Right) {
    FMarginLeft = std::max(0, Left);
    FMarginRight = std::max(0, Right);
    ApplyMargins();
}

void TCustomEdit::ApplyMargins() {
    if (FEdit == nullptr) return;
    NativeWindow()->ClientWidget()->layout()->setContentsMargins(FMarginLeft, 0, FMarginRight, 0);
}

// ---- TListBoxStrings -----------------------------------------------------------------------

void TListBoxStrings::CheckIndex(int32_t Index, int32_t Limit) const {
    if (Index < 0 || Index > Limit)
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

const String& TListBoxStrings::Get(int32_t Index) const {
    CheckIndex(Index, Count() - 1);
    return FItems[static_cast<size_t>(Index)];
}

int32_t TListBoxStrings::Add(const String& S) {
    Insert(Count(), S);
    return Count() - 1;
}

void TListBoxStrings::Insert(int32_t Index, const String& S) {
    CheckIndex(Index, Count());
    FItems.insert(FItems.begin() + Index, S);
    if (FUpdateCount == 0) FListBox->ItemsChanged(Index, false);
}

void TListBoxStrings::Delete(int32_t Index) {
    CheckIndex(Index, Count() - 1);
    FItems.erase(FItems.begin() + Index);
    if (FUpdateCount == 0) FListBox->ItemsChanged(Index, true);
}

void TListBoxStrings::Clear() {
    FItems.clear();
    if (FUpdateCount == 0) FListBox->ItemsChanged(-1, true);
}

int32_t TListBoxStrings::IndexOf(const String& S) const {
    const auto at = std::find(FItems.begin(), FItems.end(), S);
    return at == FItems.end() ? -1 : static_cast<int32_t>(at - FItems.begin());
}

void TListBoxStrings::Assign(const TStringList& Source) {
    FItems.clear();
    for (int32_t i = 0; i < Source.Count(); ++i)
        FItems.push_back(Source[i]);
    if (FUpdateCount == 0) FListBox->ItemsChanged(-1, true);
}

void TListBoxStrings::BeginUpdate() {
    ++FUpdateCount;
}

void TListBoxStrings::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0) FListBox->ItemsChanged(-1, true);
}

// ---- TCustomListBox ------------------------------------------------------------------------

namespace {

// Lines scrolled per wheel notch, the system's default.
constexpr int32_t WheelScrollLines = 3;

} // namespace

TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TCustomControl(AOwner), FItems(this), FFont(new TFont) {
    // Clicks come from the selection, not from the press and release of the button.
    ControlStyle &= ~csClickEvents;
    SetBounds(Left(), Top(), 121, 97);
    SetColor(clWindow);
    TabStop = true;
    FFont->OnChange = [this](TObject*) { Invalidate(); };
}

TCustomListBox::~TCustomListBox() {
    FFont->OnChange = nullptr;
}

void TCustomListBox::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Style |= WS_VSCROLL;
    if (FBorderStyle == bsSingle) Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::SetItemIndex(int32_t Value) {
    if (Value < -1 || Value >= FItems.Count()) Value = -1;
    if (Value == FItemIndex) return;
    FItemIndex = Value;
    if (Value >= 0) {
        if (Value < FTopIndex)
            SetTopIndex(Value);
        else if (Value >= FTopIndex + PageSize())
            SetTopIndex(Value - PageSize() + 1);
    }
    Invalidate();
}

int32_t TCustomListBox::MaxTopIndex() {
    return std::max(0, FItems.Count() - PageSize());
}

void TCustomListBox::SetTopIndex(int32_t Value) {
    Value = std::clamp(Value, 0, MaxTopIndex());
    if (Value == FTopIndex) return;
    FTopIndex = Value;
    UpdateScrollBar();
    Invalidate();
}

void TCustomListBox::SetItemHeight(int32_t Value) {
    if (Value <= 0 || Value == FItemHeight) return;
    FItemHeight = Value;
    ItemsChanged(-1, false);
}

void TCustomListBox::SetStyle(TListBoxStyle Value) {
    if (Value == FStyle) return;
    FStyle = Value;
    Invalidate();
}

void TCustomListBox::SetBorderStyle(TBorderStyle Value) {
    if (Value == FBorderStyle) return;
    FBorderStyle = Value;
    if (HandleAllocated()) RecreateWnd();
}

int32_t TCustomListBox::PageSize() {
    return std::max(1, ClientHeight() / FItemHeight);
}

int32_t TCustomListBox::ItemAtPos(TPoint Pos) const {
    if (Pos.Y < 0) return -1;
    const int64_t index = FTopIndex + int64_t{Pos.Y} / FItemHeight;
    return index < FItems.Count() ? static_cast<int32_t>(index) : -1;
}

TRect TCustomListBox::ItemRect(int32_t Index) {
    const int32_t top = (Index - FTopIndex) * FItemHeight;
    return TRect{0, top, ClientWidth(), top + FItemHeight};
}

void TCustomListBox::ItemsChanged(int32_t Index, bool Removed) {
    if (Index < 0) {
        if (Removed) FItemIndex = -1;
    } else if (FItemIndex >= 0) {
        if (Removed && Index == FItemIndex)
            FItemIndex = -1;
        else if (Index <= FItemIndex)
            FItemIndex += Removed ? -1 : 1;
    }
    if (FItemIndex >= FItems.Count()) FItemIndex = -1;
    FTopIndex = std::clamp(FTopIndex, 0, MaxTopIndex());
    UpdateScrollBar();
    Invalidate();
}

void TCustomListBox::UpdateScrollBar() {
    if (!HandleAllocated()) return;
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, FItems.Count() - 1);
    info.nPage = static_cast<uint32_t>(PageSize());
    info.nPos = FTopIndex;
    SetScrollInfo(Handle(), SB_VERT, &info, true);
}

void TCustomListBox::Paint() {
    TCanvas* canvas = Canvas();
    const int32_t width = ClientWidth();
    const int32_t height = ClientHeight();
    int32_t y = 0;
    for (int32_t index = FTopIndex; index < FItems.Count() && y < height; ++index) {
        canvas->Font()->Assign(*FFont);
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(Color());
        TOwnerDrawState state = 0;
        if (index == FItemIndex) {
            state |= odSelected;
            if (Focused()) state |= odFocused;
        }
        if (!Enabled()) state |= odDisabled;
        DrawItem(index, TRect{0, y, width, y + FItemHeight}, state);
        y += FItemHeight;
    }
    if (y < height) {
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(Color());
        canvas->FillRect(TRect{0, y, width, height});
    }
}

void TCustomListBox::DrawItem(int32_t Index, const TRect& Rect, TOwnerDrawState State) {
    if (FStyle == lbOwnerDrawFixed && OnDrawItem) {
        OnDrawItem(this, Index, Rect, State);
        return;
    }
    TCanvas* canvas = Canvas();
    if ((State & odSelected) != 0) {
        canvas->Brush()->SetColor(clHighlight);
        canvas->Font()->SetColor(clHighlightText);
    }
    canvas->FillRect(Rect);
    canvas->TextOut(Rect.Left + 2, Rect.Top, FItems[Index]);
    if ((State & odFocused) != 0) canvas->DrawFocusRect(Rect);
}

void TCustomListBox::SelectAt(int32_t Y) {
    const int32_t index = ItemAtPos(TPoint{0, Y});
    if (CanFocus()) SetFocus();
    if (index < 0) return;
    SetItemIndex(index);
    Click();
}

void TCustomListBox::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    if (FItems.Count() == 0) return;
    const int32_t current = std::max(FItemIndex, 0);
    int32_t target = FItemIndex;
    switch (Key) {
    case VK_UP:
        target = FItemIndex < 0 ? 0 : current - 1;
        break;
    case VK_DOWN:
        target = FItemIndex < 0 ? 0 : current + 1;
        break;
    case VK_PRIOR:
        target = current - (PageSize() - 1);
        break;
    case VK_NEXT:
        target = current + (PageSize() - 1);
        break;
    case VK_HOME:
        target = 0;
        break;
    case VK_END:
        target = FItems.Count() - 1;
        break;
    default:
        return;
    }
    Key = 0;
    target = std::clamp(target, 0, FItems.Count() - 1);
    if (target == FItemIndex) return;
    SetItemIndex(target);
    Click();
}

bool TCustomListBox::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, int32_t MouseX,
                                  int32_t MouseY) {
    if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MouseX, MouseY)) return true;
    SetTopIndex(FTopIndex - WheelDelta * WheelScrollLines / WHEEL_DELTA);
    return true;
}

void TCustomListBox::ScrollMessage(WPARAM Code) {
    switch (LOWORD(Code)) {
    case SB_LINEUP:
        SetTopIndex(FTopIndex - 1);
        break;
    case SB_LINEDOWN:
        SetTopIndex(FTopIndex + 1);
        break;
    case SB_PAGEUP:
        SetTopIndex(FTopIndex - PageSize());
        break;
    case SB_PAGEDOWN:
        SetTopIndex(FTopIndex + PageSize());
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        SetTopIndex(static_cast<int16_t>(HIWORD(Code)));
        break;
    case SB_TOP:
        SetTopIndex(0);
        break;
    case SB_BOTTOM:
        SetTopIndex(MaxTopIndex());
        break;
    default:
        break;
    }
}

void TCustomListBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SelectAt(GET_Y_LPARAM(Message.LParam));
        TCustomControl::Dispatch(Message);
        return;
    case WM_VSCROLL:
        ScrollMessage(Message.WParam);
        return;
    case WM_SIZE:
        TCustomControl::Dispatch(Message);
        FTopIndex = std::clamp(FTopIndex, 0, MaxTopIndex());
        UpdateScrollBar();
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate(); // the selected item shows the focus
        TCustomControl::Dispatch(Message);
        return;
    default:
        TCustomControl::Dispatch(Message);
    }
}

// ---- TButton -------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner), FFont(new TFont) {
    SetBounds(Left(), Top(), 75, 25);
    TabStop = true;
    FFont->OnChange = [this](TObject*) {
        if (FButton != nullptr) FButton->setFont(QtFontOf(*FFont));
    };
}

void TButton::SetCaption(const String& Value) {
    FCaption = Value;
    if (FButton != nullptr) FButton->setText(QString::fromStdU16String(Value));
}

void TButton::Click() {
    if (ModalResult != mrNone)
        if (TForm* form = GetParentForm(this)) form->SetModalResult(ModalResult);
    TWinControl::Click();
}

void TButton::Dispatch(TMessage& Message) {
    if (Message.Msg != CM_DIALOGKEY) {
        TWinControl::Dispatch(Message);
        return;
    }
    const bool mine =
        Message.WParam == VK_RETURN ? Default || Focused() : Message.WParam == VK_ESCAPE && Cancel;
    Message.Result = mine && Showing() && Enabled() ? 1 : 0;
    if (Message.Result != 0) Click();
}

void TButton::CreateWnd() {
    TWinControl::CreateWnd();
    QWidget* client = NativeWindow()->ClientWidget();
    FButton = new QPushButton(QString::fromStdU16String(FCaption), client);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FButton);
    FButton->setFont(QtFontOf(*FFont));
    platform::detail::TakeFocusFor(FButton, this);
    QObject::connect(FButton, &QPushButton::clicked, FButton, [this] { Click(); });
}

void TButton::DestroyWnd() {
    FButton = nullptr; // deleted with the client widget
    TWinControl::DestroyWnd();
}

// ---- TGroupBox -----------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner), FFont(new TFont) {
    ControlStyle |= csAcceptsControls;
    SetBounds(Left(), Top(), 185, 105);
    SetColor(clBtnFace);
    FFont->OnChange = [this](TObject*) { Invalidate(); };
}

void TGroupBox::SetCaption(const String& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    Invalidate();
}

void TGroupBox::Paint() {
    TCanvas* canvas = Canvas();
    canvas->Font()->Assign(*FFont);
    const int32_t textHeight = canvas->TextHeight(u"0");
    // An etched frame: a shadow line with a highlight line below and right of it.
    const TRect frame{0, textHeight / 2, Width() - 1, Height() - 1};
    canvas->Brush()->SetStyle(bsClear);
    canvas->Pen()->SetColor(clBtnHighlight);
    canvas->Rectangle(frame.Left + 1, frame.Top + 1, frame.Right + 1, frame.Bottom + 1);
    canvas->Pen()->SetColor(clBtnShadow);
    canvas->Rectangle(frame);
    if (FCaption.empty()) return;
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->TextOut(8, 0, FCaption);
}
