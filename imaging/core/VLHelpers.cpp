// Stateless helpers of the imaging library.
#include "imaging/core/VLHelpers.h"

int64_t AlignedRowLength(int64_t Width, int64_t Bits, int32_t Alignment) {
    if (Width <= 0 || Bits <= 0 || Alignment <= 0) return 0;
    const int64_t bits = Width * Bits;
    if (Alignment == 32) return ((bits + 31) >> 5) * 4;
    return ((bits + Alignment - 1) / Alignment) * (Alignment / 8);
}

int32_t VclPixelFormatBitCount(TPixelFormat PixelFormat) {
    switch (static_cast<TPixelFormat>(PixelFormat & 0x7F)) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
        return 15;
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pf32bit:
        return 32;
    default:
        return 0;
    }
}

int64_t VclRowLength(int32_t Width, TPixelFormat PixelFormat) {
    return AlignedRowLength(Width, VclPixelFormatBitCount(PixelFormat), 32);
}

int64_t ColorCountForBits(int32_t BitsPerSample, int32_t SamplesPerPixel) {
    if (BitsPerSample < 0 || SamplesPerPixel < 0) return 0;
    const int64_t bits = static_cast<int64_t>(BitsPerSample) * SamplesPerPixel;
    if (bits >= 63) return INT64_MAX;
    return int64_t{1} << bits;
}
