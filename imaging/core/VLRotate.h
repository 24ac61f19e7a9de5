// Exact quarter turns and mirrors of every pixel format, and the nearest-neighbour rotation of a
// bitmap by any angle.
//
// Part of the image-processing unit; it sits in the core because the EXIF orientation fix-up of
// VLHelpers turns images through it.
#pragma once

#include "imaging/core/VLBitmap.h"

#include <memory>

// A turn or mirror by whole pixels. Pixel (x, y) of the result comes from source column y and row
// x when Transpose, else from column x and row y; the source column is then mirrored
// (W - 1 - column) when MirrorX, the source row (H - 1 - row) when MirrorY.
struct TVLPixelTurn {
    bool Transpose = false;
    bool MirrorX = false;
    bool MirrorY = false;
};

// Quarter turn counter-clockwise on screen, clockwise, half turn.
constexpr TVLPixelTurn VLTurnLeft{true, true, false};
constexpr TVLPixelTurn VLTurnRight{true, false, true};
constexpr TVLPixelTurn VLTurnHalf{false, true, true};

// A new bitmap in Source's format holding Source's pixels turned (palette and alpha channel not
// included); nil when memory for it cannot be had or the format has no pixel size.
std::unique_ptr<TVLBitmap> TurnedPixels(TVLBitmap& Source, const TVLPixelTurn& Turn);
// Turns Bitmap and its alpha channel in place, keeping the alpha object and the palette.
// Unchanged (false) when memory for the turned copy cannot be had.
bool TurnBitmap(TVLBitmap& Bitmap, const TVLPixelTurn& Turn);

// True when Angle has no fraction and Trunc(Angle) mod 90 = 0.
bool IsMultipleOf90(double Angle);
// The size of the box that holds a W x H picture rotated by Angle degrees.
void RotatedBox(int32_t W, int32_t H, double Angle, int32_t& NewW, int32_t& NewH);

// Rotates Source's pixels (not its alpha channel) by Angle degrees, counter-clockwise on screen,
// into Dest, which is allocated in Source's format. Whole multiples of 90 degrees are exact
// copies; other angles map each destination pixel back to its nearest source pixel and leave
// Background (a TColor, or a level or index for grey and palette formats; 0 for vl1g) where none
// lies. A vl8p palette is copied.
void RotateNearest(TVLBitmap& Source, TVLBitmap& Dest, double Angle, int32_t Background,
                   const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// The same, replacing Bitmap's pixels by the rotated picture.
void RotateNearestInPlace(TVLBitmap& Bitmap, double Angle, int32_t Background,
                          const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
