// The readers' common check of a declared picture size against the coded input that is left.
#include "imaging/io/VLInputBounds.h"

#include "imaging/core/VLHelpers.h"

#include <limits>

namespace {

constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();

int64_t SaturatedProduct(int64_t A, int64_t B) {
    if (A <= 0 || B <= 0) return 0;
    return A > Int64Max / B ? Int64Max : A * B;
}

int64_t SaturatedSum(int64_t A, int64_t B) {
    return A > Int64Max - B ? Int64Max : A + B;
}

} // namespace

int64_t PlausibleAllocationFloor = int64_t{256} << 20;
int64_t PlausibleStoragePerInputByte = int64_t{128} << 10;

int64_t PlannedBitmapBytes(int64_t Width, int64_t Height, TVLPixelFormat Format, bool WithAlpha) {
    const int64_t pixels =
        SaturatedProduct(AlignedRowLength(Width, PixelFormatInfo(Format).BitCount, 32), Height);
    return WithAlpha ? SaturatedSum(pixels, SaturatedProduct(Width, Height)) : pixels;
}

bool IsPlausibleDeclaredSize(int64_t AllocationBytes, int64_t Output, int64_t MaxExpansion,
                             int64_t InputBytes) {
    if (AllocationBytes <= PlausibleAllocationFloor) return true;
    if (MaxExpansion <= 0 || InputBytes <= 0 ||
        AllocationBytes / InputBytes > PlausibleStoragePerInputByte)
        return false;
    // Compared by division: the least input that can describe Output units.
    const int64_t leastInput = Output / MaxExpansion + (Output % MaxExpansion != 0 ? 1 : 0);
    return leastInput <= InputBytes;
}
