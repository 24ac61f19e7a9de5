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

// Draws on the parent's retained surface, inside this control's bounds.
void TImage::Paint() {
    if (Parent() == nullptr || !Parent()->HandleAllocated()) return;
    TBitmap* bitmap = FPicture->Bitmap();
    const int32_t w = std::min(Width(), bitmap->Width());
    const int32_t h = std::min(Height(), bitmap->Height());
    if (w <= 0 || h <= 0) return;
    TCanvas canvas;
    canvas.SetHandle(Parent()->NativeWindow()->SurfaceDC());
    canvas.CopyRect(Rect(Left(), Top(), Left() + w, Top() + h), bitmap->Canvas(),
                    Rect(0, 0, w, h));
    canvas.SetHandle(nullptr);
}
