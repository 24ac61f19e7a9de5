// The image control.
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
