// A bitmap whose pixels are a DIB section selected into its own memory device context, so that
// the drawing calls can draw into it.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/gfx/Gdi.h"

// A bitmap header followed by a two-entry colour table: black, white.
struct TVLTwoColorBitmapInfo {
    BITMAPINFOHEADER Header;
    TRGBQuad Colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

class TVLDibbitmap : public TVLBaseBitmap {
public:
    TVLDibbitmap();
    ~TVLDibbitmap() override;
    TVLDibbitmap(const TVLDibbitmap&) = delete;
    TVLDibbitmap& operator=(const TVLDibbitmap&) = delete;

    // A new bottom-up DIB section of 1 or 24 bits per pixel in a new memory device context;
    // false (and no bitmap) for another depth, a size of 0 or below, or when either cannot be
    // made.
    bool AllocateBits(int32_t Width, int32_t Height, int32_t BitCount);
    void FreeDIB();
    HDC GetDC() const { return FDC; }
    HBITMAP GetDIB() const { return FDIB; }
    uint8_t* GetBits() const { return FBits; }

    uint8_t* GetScanline(int32_t Row) override;
    int32_t GetBitCount() override { return FBitCount; }
    int32_t GetHeight() override { return FHeight; }
    int32_t GetWidth() override { return FWidth; }
    // vl1g for 1 bit, vl24RGB for 24 bits, vlNone otherwise.
    TVLPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override { return FRowLen; }
    // There is no palette: every entry reads black and nothing is written.
    void GetPaletteColor(int32_t Index, TVLRGB& Color) override;
    void SetPaletteColor(int32_t, const TVLRGB&) override {}
    int32_t GetPaletteLength() override { return 0; }
    // vl1g and vl24RGB only; false, leaving the bitmap unchanged, for other formats.
    bool Allocate(int32_t Width, int32_t Height, TVLPixelFormat PixelFormat) override;
    // Copies another TVLDibbitmap (size, depth and every byte); other sources are ignored.
    void Assign(TObject* Source) override;
    void CopyPaletteTo(TVLBaseBitmap&) override {}

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    int32_t FRowLen = 0;
    HDC FDC = nullptr;
    HBITMAP FDIB = nullptr;
    TVLTwoColorBitmapInfo FBitmapInfo;
    uint8_t* FBits = nullptr;
};
