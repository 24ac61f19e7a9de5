// Separable Gaussian blur in 16.16 fixed point, and soft shadows built from a blurred, shifted
// alpha channel composited under the picture.
//
// Part of the image-processing unit; it sits in the core because the core's soft-shadow painter
// (DrawSoftShadow) blurs its mask with GaussianBlurGrayRect.
#pragma once

#include "imaging/core/VLDefs.h"

class TVLBitmap;

// Taps of a Gaussian of standard deviation Radius pixels: Taps[100 + k] for k = -100 .. 100,
// each Round(e^(-(k / Radius)^2 / 2) x 65536 / sum), zero beyond +-HalfWidth (the outermost
// taps that round to non-zero, at least 1).
struct TVLGaussianKernel {
    uint8_t HalfWidth = 1;
    double Values[201] = {};
    int32_t Taps[201] = {};
};

void MakeGaussianKernel(TVLGaussianKernel& Kernel, double Radius);
// Blur Width pixels (3 bytes or 1 byte each) from Source into Dest; the first and last pixels
// stand for everything beyond the row's ends. Source and Dest must not overlap.
void GaussianBlurRow24(const TVLGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest,
                       int32_t Width);
void GaussianBlurRow8(const TVLGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest,
                      int32_t Width);

// Blurs a vl8g or vl24RGB bitmap, rows then columns; other formats and a Radius of 0 or below
// leave it as it is.
void GaussianBlur(TVLBitmap& Bitmap, double Radius, const TVLProgressEvent& OnProgress = {},
                  TObject* Sender = nullptr);
// Blurs the inclusive rectangle (clamped into the bitmap) of a vl8g bitmap; pixels outside it
// are neither read nor written.
void GaussianBlurGrayRect(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                          double Radius);

/// Adds a soft shadow of ShadowColor under the picture, cast by its alpha channel (made opaque
/// when missing) blurred by Radius and moved by the offset. Intensity 0 .. 100 (clamped) divides
/// the alpha of pure shadow by 3 - 2 x Intensity / 100. Enlarge first grows the canvas by
/// Max(2 x Max(|OffsetX|, |OffsetY|) + Trunc(5 x Radius), 1) in both directions, the picture
/// centred on transparent black. vl24RGB and vl1g pixels are composited; other formats only get
/// the shadow's alpha.
void AddSoftShadow(TVLBitmap& Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius,
                   int32_t Intensity, bool Enlarge, const TVLRGB& ShadowColor,
                   const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
/// The same around the inclusive rectangle X1, Y1 - X2, Y2 only; a Radius of exactly 0 blurs
/// with the 3 x 3 "Blur" preset and counts as 2. Returns the margin it worked in.
int32_t AddSoftShadowRect(TVLBitmap& Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius,
                          int32_t Intensity, const TVLRGB& ShadowColor, int32_t X1, int32_t Y1,
                          int32_t X2, int32_t Y2);
