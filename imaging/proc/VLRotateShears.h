// Rotation by three shears (horizontal, vertical, horizontal) after exact quarter turns, with
// edges blended in 1/4096 steps; the rotations of black-and-white images and of one-byte alpha
// channels that go with it. Positive angles turn counter-clockwise on screen.
#pragma once

#include "imaging/core/VLBitmap.h"

// Background: red shl 16 + green shl 8 + blue. vl24RGB images are turned and sheared; vl1g
// images go to Rotate1Bit (white background when all three channels are non-zero); other
// formats take the exact turns of whole multiples of 90 degrees or the nearest-neighbour
// rotation, with Background as a TColor. The size changes to the rotated box.
void RotateByShears(TVLBitmap& Bitmap, bool AntiAlias, double Angle, int32_t Background,
                    const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// The one-byte twin for vl8g and vl8p bitmaps (alpha channels); other formats are left alone.
void RotateByShears8(TVLBitmap& Bitmap, bool AntiAlias, double Angle, uint8_t Background,
                     const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// A vl1g bitmap: 90, -90, 270 and +-180 degrees exactly, other angles by nearest source pixel
// with sine and cosine truncated to four decimals; outside pixels are white or black.
void Rotate1Bit(TVLBitmap& Bitmap, double Angle, bool WhiteBackground,
                const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// The same geometry for vl8g and vl8p bitmaps, outside pixels Background; no progress.
void Rotate8Bit(TVLBitmap& Bitmap, double Angle, uint8_t Background);
// Dest becomes Source turned a quarter clockwise or counter-clockwise (on screen), H x W pixels
// in Source's format. The 24 forms take vl24RGB sources, the 8 forms one byte per pixel; other
// sources leave Dest alone.
void RotateQuarterCW24(TVLBitmap& Source, TVLBitmap& Dest);
void RotateQuarterCCW24(TVLBitmap& Source, TVLBitmap& Dest);
void RotateQuarterCW8(TVLBitmap& Source, TVLBitmap& Dest);
void RotateQuarterCCW8(TVLBitmap& Source, TVLBitmap& Dest);
