// The DIB-section bitmap.
#include "imaging/core/VLDibbitmap.h"

#include "imaging/core/VLHelpers.h"

#include <cstring>

using enum TVLPixelFormat;

TVLDibbitmap::TVLDibbitmap() = default;

TVLDibbitmap::~TVLDibbitmap() {
    FreeDIB();
}

bool TVLDibbitmap::AllocateBits(int32_t NewWidth, int32_t NewHeight, int32_t NewBitCount) {
    if (NewWidth <= 0 || NewHeight <= 0 || (NewBitCount != 1 && NewBitCount != 24)) return false;
    const int64_t rowLen = AlignedRowLength(NewWidth, NewBitCount, 32);
    if (rowLen > INT32_MAX || rowLen * NewHeight > UINT32_MAX) return false;
    FreeDIB();
    FDC = CreateCompatibleDC(nullptr);
    if (FDC == nullptr) return false;
    FBitmapInfo.Header.biBitCount = static_cast<uint16_t>(NewBitCount);
    FBitmapInfo.Header.biWidth = NewWidth;
    FBitmapInfo.Header.biHeight = NewHeight; // positive: rows bottom-up
    FBitmapInfo.Header.biSizeImage = static_cast<uint32_t>(rowLen * NewHeight);
    void* bits = nullptr;
    FDIB = CreateDIBSection(FDC, FBitmapInfo.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (FDIB == nullptr) {
        FreeDIB();
        return false;
    }
    SelectObject(FDC, FDIB);
    FBits = static_cast<uint8_t*>(bits);
    FWidth = NewWidth;
    FHeight = NewHeight;
    FBitCount = NewBitCount;
    FRowLen = static_cast<int32_t>(rowLen);
    return true;
}

void TVLDibbitmap::FreeDIB() {
    // Deleting the device context releases the section it holds.
    if (FDC != nullptr) DeleteDC(FDC);
    if (FDIB != nullptr) DeleteObject(FDIB);
    FDC = nullptr;
    FDIB = nullptr;
    FBits = nullptr;
    FWidth = FHeight = FBitCount = FRowLen = 0;
}

uint8_t* TVLDibbitmap::GetScanline(int32_t Row) {
    if (FBits == nullptr || Row < 0 || Row >= FHeight) return nullptr;
    return FBits + static_cast<int64_t>(FHeight - Row - 1) * FRowLen;
}

TVLPixelFormat TVLDibbitmap::GetPixelFormat() {
    return FBitCount == 1 ? vl1g : FBitCount == 24 ? vl24RGB : vlNone;
}

void TVLDibbitmap::GetPaletteColor(int32_t, TVLRGB& Color) {
    Color = TVLRGB{};
}

bool TVLDibbitmap::Allocate(int32_t NewWidth, int32_t NewHeight, TVLPixelFormat PixelFormat) {
    if (PixelFormat != vl1g && PixelFormat != vl24RGB) return false;
    return AllocateBits(NewWidth, NewHeight, PixelFormat == vl1g ? 1 : 24);
}

void TVLDibbitmap::Assign(TObject* Source) {
    auto* source = dynamic_cast<TVLDibbitmap*>(Source);
    if (source == nullptr || source == this) return;
    if (source->FBits == nullptr) {
        FreeDIB();
        return;
    }
    if (!AllocateBits(source->FWidth, source->FHeight, source->FBitCount)) return;
    std::memcpy(FBits, source->FBits, static_cast<size_t>(FRowLen) * FHeight);
}
