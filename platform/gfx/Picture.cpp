// The class library's picture over one bitmap.
#include "platform/gfx/Picture.h"

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

TBitmap* TPicture::Bitmap() {
    if (!FBitmap) {
        FBitmap = std::make_unique<TBitmap>();
        FBitmap->OnChange = [this](TObject*) { Changed(); };
    }
    return FBitmap.get();
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}
