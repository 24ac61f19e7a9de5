// The window-less label and the edit field.
#include "platform/ui/StdCtrls.h"

#include "platform/ui/Forms.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

void TCustomLabel::SetEndEllipsis(bool Value) {
    if (Value == FEndEllipsis) return;
    FEndEllipsis = Value;
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
    return DT_NOPREFIX | DT_EXPANDTABS | align[FAlignment] | (FEndEllipsis ? uint32_t{DT_END_ELLIPSIS} : 0u);
}

void TCustomLabel::Paint() {
    HDC dc = ParentSurface();
    if (dc == nullptr || Width() <= 0 || Height() <= 0) return;
    TCanvas surface;
    surface.SetHandle(dc);
    const TRect bounds = Rect(Left(), Top(), Left() + Width(), Top() + Height());
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
    DrawTextW(canvas->SelectedHandle(), FCaption.c_str(), static_cast<int32_t>(FCaption.size()),
              &Rect, Flags);
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
    FFont->OnChange = [this](TObject*) { ApplyFont(); };
}

TCustomEdit::~TCustomEdit() {
    FFont->OnChange = nullptr;
}

String TCustomEdit::Text() const {
    return FEdit != nullptr ? FEdit->text().toStdU16String() : FText;
}

void TCustomEdit::SetText(const String& Value) {
    FText = FMaxLength > 0 ? Value.substr(0, static_cast<size_t>(FMaxLength)) : Value;
    if (FEdit != nullptr) FEdit->setText(QString::fromStdU16String(FText));
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

void TCustomEdit::ApplyFont() {
    if (FEdit != nullptr) FEdit->setFont(QtFontOf(*FFont));
}

void TCustomEdit::CreateWnd() {
    TWinControl::CreateWnd();
    QWidget* client = NativeWindow()->ClientWidget();
    FEdit = new QLineEdit(client);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
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
    ApplyFont();
}

void TCustomEdit::DestroyWnd() {
    if (FEdit != nullptr) FText = FEdit->text().toStdU16String();
    FEdit = nullptr; // deleted with the client widget
    TWinControl::DestroyWnd();
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
