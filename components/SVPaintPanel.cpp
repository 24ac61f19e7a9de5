// The paint panel.
#include "components/SVPaintPanel.h"

#include "platform/gfx/Bitmap.h"

TSVPaintPanel::TSVPaintPanel(TComponent* AOwner) : TCustomPanel(AOwner) {
    SetBounds(Left(), Top(), 100, 100);
}

void TSVPaintPanel::SetCustomDraw(bool Value) {
    if (Value == FCustomDraw) return;
    FCustomDraw = Value;
    Invalidate();
}

void TSVPaintPanel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_ERASEBKGND:
        // Paint covers the whole face: the system never erases it.
        Message.Result = InState(csDesigning) || !FCustomDraw ? 1 : 0;
        return;
    case WM_NCPAINT:
        Invalidate();
        return;
    default:
        TCustomPanel::Dispatch(Message);
    }
}

void TSVPaintPanel::Paint() {
    if (FCustomDraw) {
        PaintCustom();
        return;
    }
    Canvas()->Brush()->SetStyle(bsSolid);
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    TCustomPanel::Paint();
}

void TSVPaintPanel::PaintCustom() {
    const TRect r = Rect(0, 0, ClientWidth(), ClientHeight());
    if (r.Right <= 0 || r.Bottom <= 0) return;
    TBitmap buffer;
    buffer.SetPixelFormat(pf24bit);
    buffer.SetSize(r.Right, r.Bottom);
    buffer.Canvas()->Brush()->SetColor(Color());
    buffer.Canvas()->FillRect(r);
    if (OnPaint) OnPaint(this, buffer.Canvas(), r);
    BitBlt(Canvas()->Handle(), 0, 0, Width(), Height(), buffer.Canvas()->Handle(), 0, 0, SRCCOPY);
}
