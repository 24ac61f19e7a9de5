// The window-less label.
#include "platform/ui/StdCtrls.h"

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
    return DT_NOPREFIX | DT_EXPANDTABS | align[FAlignment];
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
