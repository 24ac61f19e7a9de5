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

// Exact Alpha / 255 blend of S over D, rounded to the nearest: alpha 0 gives D, 255 gives S.
template <typename T> T Blend255(T S, T D, uint32_t Alpha) {
    return static_cast<T>(
        (static_cast<uint64_t>(S) * Alpha + static_cast<uint64_t>(D) * (255 - Alpha) + 127) / 255);
}

} // namespace imaging_core::detail
