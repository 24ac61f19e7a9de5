// Stateless helpers of the imaging library: row lengths, colour counts and bit helpers.
#pragma once

#include "platform/gfx/Bitmap.h"

#include <cstdint>

// Bytes per row of Width pixels of Bits each, padded to Alignment bits. Computed in 64 bits so
// that a crafted width cannot wrap to a short row; 0 for non-positive arguments.
int64_t AlignedRowLength(int64_t Width, int64_t Bits, int32_t Alignment);

// Bits per pixel of a class-library pixel format (device and custom formats give 0).
int32_t VclPixelFormatBitCount(TPixelFormat PixelFormat);
int64_t VclRowLength(int32_t Width, TPixelFormat PixelFormat);

// (2^BitsPerSample)^SamplesPerPixel, saturating at INT64_MAX; 0 for negative arguments.
int64_t ColorCountForBits(int32_t BitsPerSample, int32_t SamplesPerPixel);
