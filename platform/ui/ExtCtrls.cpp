// The image control and the panel.
#include "platform/ui/ExtCtrls.h"

#include "platform/ui/NativeWindow.h"

#include <algorithm>

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(new TPicture) {
    ControlStyle |= csReplicatable;
    SetBounds(Left(), Top(), 105, 105);
    FPicture->OnChange = [this](TObject*) { Invalidate(); };
}

TImage::~TImage() = default;

// Draws on the parent's retained surface, inside this control's bounds. A graphic other than a
// bitmap draws itself into a bitmap of what lies under the control first, so that it never
// paints beyond the bounds.
void TImage::Paint() {
    if (Parent() == nullptr || !Parent()->HandleAllocated()) return;
    TGraphic* graphic = FPicture->Graphic();
    if (graphic == nullptr) return;
    const int32_t w = std::min(Width(), graphic->Width());
    const int32_t h = std::min(Height(), graphic->Height());
    if (w <= 0 || h <= 0) return;
    TCanvas canvas;
    canvas.SetHandle(Parent()->NativeWindow()->SurfaceDC());
    TBitmap drawn;
    auto* bitmap = dynamic_cast<TBitmap*>(graphic);
    if (bitmap == nullptr) {
        drawn.SetPixelFormat(pf32bit);
        drawn.SetSize(graphic->Width(), graphic->Height());
        drawn.Canvas()->CopyRect(Rect(0, 0, w, h), &canvas,
                                 Rect(Left(), Top(), Left() + w, Top() + h));
        graphic->Draw(*drawn.Canvas(), Rect(0, 0, drawn.Width(), drawn.Height()));
        bitmap = &drawn;
    }
    canvas.CopyRect(Rect(Left(), Top(), Left() + w, Top() + h), bitmap->Canvas(),
                    Rect(0, 0, w, h));
    canvas.SetHandle(nullptr);
}

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner), FFont(new TFont) {
    ControlStyle |= csAcceptsControls | csOpaque | csReplicatable;
    SetBounds(Left(), Top(), 185, 41);
    SetColor(clBtnFace);
    FFont->OnChange = [this](TObject*) { Invalidate(); };
}

TCustomPanel::~TCustomPanel() {
    FFont->OnChange = nullptr;
}

void TCustomPanel::SetCaption(const String& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment Value) {
    if (Value == FAlignment) return;
    FAlignment = Value;
    Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
    if (Value == FBevelInner) return;
    FBevelInner = Value;
    Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
    if (Value == FBevelOuter) return;
    FBevelOuter = Value;
    Invalidate();
}

void TCustomPanel::SetBevelWidth(int32_t Value) {
    if (Value == FBevelWidth) return;
    FBevelWidth = Value;
    Invalidate();
}

void TCustomPanel::SetBorderWidth(int32_t Value) {
    if (Value == FBorderWidth) return;
    FBorderWidth = Value;
    Invalidate();
}

namespace {

void DrawBevel(TCanvas* Canvas, TRect& Rect, TBevelCut Cut, int32_t Width, TColor Face) {
    if (Cut == bvNone) return;
    TColor top = clBtnHighlight, bottom = clBtnShadow;
    if (Cut == bvLowered) std::swap(top, bottom);
    if (Cut == bvSpace) top = bottom = Face;
    Frame3D(Canvas, Rect, top, bottom, Width);
}

} // namespace

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int32_t Width) {
    Canvas->Pen()->SetWidth(1);
    --Rect.Bottom;
    --Rect.Right;
    for (int32_t i = 0; i < Width; ++i) {
        Canvas->Pen()->SetColor(TopColor);
        const TPoint topLeft[] = {
            {Rect.Left, Rect.Bottom}, {Rect.Left, Rect.Top}, {Rect.Right, Rect.Top}};
        Canvas->Polyline(topLeft);
        Canvas->Pen()->SetColor(BottomColor);
        const TPoint bottomRight[] = {
            {Rect.Right, Rect.Top}, {Rect.Right, Rect.Bottom}, {Rect.Left - 1, Rect.Bottom}};
        Canvas->Polyline(bottomRight);
        Rect = ::Rect(Rect.Left + 1, Rect.Top + 1, Rect.Right - 1, Rect.Bottom - 1);
    }
    ++Rect.Bottom;
    ++Rect.Right;
}

void TCustomPanel::Paint() {
    TCanvas* canvas = Canvas();
    TRect r = Rect(0, 0, ClientWidth(), ClientHeight());
    DrawBevel(canvas, r, FBevelOuter, FBevelWidth, Color());
    if (FBorderWidth > 0) Frame3D(canvas, r, Color(), Color(), FBorderWidth);
    DrawBevel(canvas, r, FBevelInner, FBevelWidth, Color());
    if (FCaption.empty()) return;
    static constexpr uint32_t align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    canvas->Font()->Assign(*FFont);
    canvas->Brush()->SetStyle(bsClear);
    DrawTextW(canvas->SelectedHandle(), FCaption.c_str(), static_cast<int32_t>(FCaption.size()), &r,
              DT_VCENTER | DT_SINGLELINE | align[FAlignment]);
    canvas->Brush()->SetStyle(bsSolid);
}

// ---- TCustomButtonedEdit -------------------------------------------------------------------

void TEditButton::SetVisible(bool Value) {
    if (Value == FVisible) return;
    FVisible = Value;
    FEdit->ButtonChanged();
}

TCustomButtonedEdit::TCustomButtonedEdit(TComponent* AOwner)
    : TCustomEdit(AOwner), FRightButton(this) {}

TCustomButtonedEdit::~TCustomButtonedEdit() {
    SetImages(nullptr);
}

void TCustomButtonedEdit::SetImages(TCustomImageList* Value) {
    if (Value == FImages) return;
    if (FImages != nullptr) FImages->RemoveFreeNotification(this);
    FImages = Value;
    if (FImages != nullptr) FImages->FreeNotification(this);
    ButtonChanged();
}

void TCustomButtonedEdit::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomEdit::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FImages) {
        FImages = nullptr;
        ButtonChanged();
    }
}

TRect TCustomButtonedEdit::RightButtonRect() {
    if (!FRightButton.Visible() || FImages == nullptr) return TRect{};
    const int32_t right = ClientWidth();
    return TRect{right - FImages->Width(), 0, right, ClientHeight()};
}

void TCustomButtonedEdit::ButtonChanged() {
    const TRect button = RightButtonRect();
    SetTextMargins(0, button.Right - button.Left);
    if (button.Right == button.Left) FHot = FPressed = false;
    Invalidate();
}

void TCustomButtonedEdit::CreateWnd() {
    TCustomEdit::CreateWnd();
    ButtonChanged();
}

void TCustomButtonedEdit::SetButtonState(bool Hot, bool Pressed) {
    if (Hot == FHot && Pressed == FPressed) return;
    FHot = Hot;
    FPressed = Pressed;
    Invalidate();
}

void TCustomButtonedEdit::PaintWindow() {
    const TRect button = RightButtonRect();
    if (button.Right == button.Left) return;
    int32_t index = FRightButton.ImageIndex;
    if (FPressed && FRightButton.PressedImageIndex >= 0)
        index = FRightButton.PressedImageIndex;
    else if (FHot && FRightButton.HotImageIndex >= 0)
        index = FRightButton.HotImageIndex;
    TCanvas canvas;
    canvas.SetHandle(NativeWindow()->SurfaceDC());
    FImages->Draw(&canvas, button.Left, (ClientHeight() - FImages->Height()) / 2, index);
    canvas.SetHandle(nullptr);
}

void TCustomButtonedEdit::Dispatch(TMessage& Message) {
    const TRect button = RightButtonRect();
    const TPoint at{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
    const bool inside = at.X >= button.Left && at.X < button.Right && at.Y >= button.Top &&
                        at.Y < button.Bottom;
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (inside) SetButtonState(true, true);
        break;
    case WM_MOUSEMOVE:
        SetButtonState(inside, FPressed);
        break;
    case WM_LBUTTONUP:
        if (FPressed) {
            SetButtonState(inside, false);
            if (inside && OnRightButtonClick) OnRightButtonClick(this);
        }
        break;
    case CM_MOUSELEAVE:
        if (Message.LParam == 0) SetButtonState(false, FPressed);
        break;
    default:
        break;
    }
    TCustomEdit::Dispatch(Message);
}
