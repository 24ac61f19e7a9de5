// The class library's picture: the graphic an image control shows, here always a bitmap.
#pragma once

#include "platform/gfx/Bitmap.h"

#include <memory>

class TPicture : public TPersistent {
public:
    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // The picture's bitmap, made empty on first request and owned by the picture. Marking it
    // modified (TBitmap::SetModified) fires the picture's OnChange.
    TBitmap* Bitmap();
    int32_t Width() const { return FBitmap ? FBitmap->Width() : 0; }
    int32_t Height() const { return FBitmap ? FBitmap->Height() : 0; }

    TNotifyEvent OnChange;

private:
    void Changed();

    std::unique_ptr<TBitmap> FBitmap;
};
