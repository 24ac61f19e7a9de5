// The icon writer: one picture as a Windows icon file of several sizes and colour depths.
#pragma once

#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VLIOParams.h"

#include <span>

// Writes Bitmap (vl24RGB or vl1g, with or without an alpha channel) as an icon holding one image
// per entry of Sizes, resampled from the picture (nearest pixel for vl1g, linear otherwise), of
// the depth of the matching BitCounts entry: 1, 4, 8 or 32 as they are; 0 the depth Params'
// BitsPerSample and SamplesPerPixel describe; anything else 24. Palette images keep index 0 for
// the transparent pixels, and every image but a 24-bit one sets the AND bits of the pixels whose
// alpha is not 255. Params' palette becomes the last one built. No size, a size below 1, a short
// write or the abort flag between images stop the writer with the abort flag set and the file
// incomplete.
void WriteICOStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, std::span<const TVLIcoSize> Sizes,
                    std::span<const int32_t> BitCounts);
