// Rotation by inverse mapping with a bilinear or bicubic sampler. The picture is framed by a
// 3-pixel border of background first, so that its edges blend into the background. Positive
// angles turn counter-clockwise on screen.
#pragma once

#include "imaging/core/VLBitmap.h"

// Mode 2 samples bicubically (cubic convolution, a = -1), every other mode bilinearly. A W x H
// picture becomes Round(|sin a| (H + 5) + |cos a| (W + 5)) - 6 by
// Round(|cos a| (H + 5) + |sin a| (W + 5)) - 6 pixels (at least 1 x 1). Only vl24RGB bitmaps.
void RotateInterpolated24(TVLBitmap& Bitmap, double Angle, TColor Background, uint8_t Mode,
                          const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// The same for one byte per pixel (an alpha channel), without progress.
void RotateInterpolated8(TVLBitmap& Bitmap, double Angle, uint8_t Background, uint8_t Mode);
