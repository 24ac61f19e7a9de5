// A plain bottom-up pixel buffer: the scratch space of the resampling kernels.
#pragma once

#include "platform/rtl/System.h"

class TVLWorkBitmap : public TObject {
public:
    // A buffer of the given size when Width and Height are above 0, else an empty one.
    explicit TVLWorkBitmap(int32_t Width = 0, int32_t Height = 0, int32_t BitCount = 0);
    ~TVLWorkBitmap() override;
    TVLWorkBitmap(const TVLWorkBitmap&) = delete;
    TVLWorkBitmap& operator=(const TVLWorkBitmap&) = delete;

    // A new block of RowLen x Height bytes (not cleared) unless all three are unchanged; false,
    // leaving the buffer empty, when the size is 0 or below or the memory cannot be had.
    bool SetSize(int32_t Width, int32_t Height, int32_t BitCount);
    void FreeBits();
    // Row Row, 0 being the top (the last row in memory); nil outside the buffer.
    uint8_t* GetScanline(int32_t Row);

    int32_t GetWidth() const { return FWidth; }
    int32_t GetHeight() const { return FHeight; }
    int32_t GetBitCount() const { return FBitCount; }
    // Bytes per row, padded to 32 bits.
    int32_t GetRowLen() const { return FRowLen; }
    uint8_t* GetBits() const { return FBits; }

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    int32_t FRowLen = 0;
    uint8_t* FBits = nullptr;
};
