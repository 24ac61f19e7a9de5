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
    DC = CreateCompatibleDC(nullptr);
    if (DC == nullptr) return false;
    BitmapInfo.Header.biBitCount = static_cast<uint16_t>(NewBitCount);
    BitmapInfo.Header.biWidth = NewWidth;
    BitmapInfo.Header.biHeight = NewHeight; // positive: rows bottom-up
    BitmapInfo.Header.biSizeImage = static_cast<uint32_t>(rowLen * NewHeight);
    void* bits = nullptr;
    DIB = CreateDIBSection(DC, BitmapInfo.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (DIB == nullptr) {
        FreeDIB();
        return false;
    }
    SelectObject(DC, DIB);
    Bits = static_cast<uint8_t*>(bits);
    Width = NewWidth;
    Height = NewHeight;
    BitCount = NewBitCount;
    RowLen = static_cast<int32_t>(rowLen);
    return true;
}

void TVLDibbitmap::FreeDIB() {
    // Deleting the device context releases the section it holds.
    if (DC != nullptr) DeleteDC(DC);
    if (DIB != nullptr) DeleteObject(DIB);
    DC = nullptr;
    DIB = nullptr;
    Bits = nullptr;
    Width = Height = BitCount = RowLen = 0;
}

uint8_t* TVLDibbitmap::GetScanline(int32_t Row) {
    if (Bits == nullptr || Row < 0 || Row >= Height) return nullptr;
    return Bits + static_cast<int64_t>(Height - Row - 1) * RowLen;
}

TVLPixelFormat TVLDibbitmap::GetPixelFormat() {
    return BitCount == 1 ? vl1g : BitCount == 24 ? vl24RGB : vlNone;
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
    if (source->Bits == nullptr) {
        FreeDIB();
        return;
    }
    if (!AllocateBits(source->Width, source->Height, source->BitCount)) return;
    std::memcpy(Bits, source->Bits, static_cast<size_t>(RowLen) * Height);
}
