// Magic wand: colour-similarity selections around a pixel. A pixel is similar when each of its
// red, green and blue values differs from the seed pixel's by at most Tolerance.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "platform/rtl/Types.h"

#include <vector>

// The outline of the 4-connected similar region around (X, Y) as a polygon whose vertices lie
// on pixel edges; with MaxFilter the region first grows by one pixel (3 x 3 maximum). Empty when
// (X, Y) is outside the bitmap.
std::vector<TPoint> MagicWandOutline(TVLBitmap& Bitmap, int32_t X, int32_t Y, bool MaxFilter,
                                     int32_t Tolerance);
// Writes Value into Mask over the same region (grown with MaxFilter, clipped to the bitmap).
void MagicWandFill(TVLBitmap& Bitmap, int32_t X, int32_t Y, bool MaxFilter, int32_t Tolerance,
                   TVLMask& Mask, int32_t Value);
// Writes Value into Mask at every similar pixel, connected or not.
void MagicWandGlobal(TVLBitmap& Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TVLMask& Mask,
                     int32_t Value);
