// The resampling kernels' scratch buffer.
#include "imaging/core/VLWorkBitmap.h"

#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"

TVLWorkBitmap::TVLWorkBitmap(int32_t NewWidth, int32_t NewHeight, int32_t NewBitCount) {
    if (NewWidth > 0 && NewHeight > 0) SetSize(NewWidth, NewHeight, NewBitCount);
}

TVLWorkBitmap::~TVLWorkBitmap() {
    FreeBits();
}

bool TVLWorkBitmap::SetSize(int32_t NewWidth, int32_t NewHeight, int32_t NewBitCount) {
    if (FBits != nullptr && NewWidth == FWidth && NewHeight == FHeight && NewBitCount == FBitCount)
        return true;
    FreeBits();
    const int64_t rowLen = AlignedRowLength(NewWidth, NewBitCount, 32);
    if (rowLen <= 0 || NewHeight <= 0 || rowLen > INT32_MAX) return false;
    const int64_t size = rowLen * NewHeight;
    if (static_cast<uint64_t>(size) > SIZE_MAX / 2) return false;
    FBits = static_cast<uint8_t*>(AllocBlock(static_cast<size_t>(size)));
    if (FBits == nullptr) return false;
    FWidth = NewWidth;
    FHeight = NewHeight;
    FBitCount = NewBitCount;
    FRowLen = static_cast<int32_t>(rowLen);
    return true;
}

void TVLWorkBitmap::FreeBits() {
    void* block = FBits;
    FreeBlock(block);
    FBits = nullptr;
    FWidth = FHeight = FBitCount = FRowLen = 0;
}

uint8_t* TVLWorkBitmap::GetScanline(int32_t Row) {
    if (FBits == nullptr || Row < 0 || Row >= FHeight) return nullptr;
    return FBits + static_cast<int64_t>(FRowLen) * (FHeight - Row - 1);
}
