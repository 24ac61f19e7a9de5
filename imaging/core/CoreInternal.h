// Helpers shared by the units of the bitmap core, not part of its interface.
#pragma once

#include "imaging/core/VLBitmap.h"

namespace imaging_core::detail {

// Sets a bitmap's access bits for the length of a scope and restores them after.
class TAccessScope {
public:
    TAccessScope(TVLBaseBitmap& Bitmap, uint8_t Access) : FBitmap(Bitmap), FSaved(Bitmap.Access) {
        Bitmap.Access = Access;
    }
    ~TAccessScope() { FBitmap.Access = FSaved; }
    TAccessScope(const TAccessScope&) = delete;
    TAccessScope& operator=(const TAccessScope&) = delete;

private:
    TVLBaseBitmap& FBitmap;
    uint8_t FSaved;
};

} // namespace imaging_core::detail
