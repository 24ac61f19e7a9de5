// Histogram matching of 24- and 48-bit channels, 3 x 3 convolution of 8-bit grey images with the
// table of named presets, transparent rounded corners in the alpha channel, and the byte order
// of 24-bit pixels.
//
// Part of the image-processing unit; it sits in the core because the soft shadow of the Gaussian
// blur unit, which the core's shadow painter calls, blurs with the "Blur" preset.
#pragma once

#include "imaging/core/VLDefs.h"

#include <array>
#include <vector>

class TVLBitmap;

using TVLHistogram = std::array<int32_t, 256>;

// Nine weights in rows from the top left, then the divisor (0 acts as 1).
struct TVLConvolutionKernel {
    int32_t Weights[9] = {};
    int32_t Divisor = 0;
};

// Channel 0 (blue), 1 (green) or 2 (red) of a vl24RGB or vlRGB48 Target is equalised, then
// mapped to the levels whose cumulative share of the reference histogram (of RefCount pixels)
// lies nearest. 48-bit samples are matched on their high byte and written as level x 257.
// Other formats, an empty Target and a RefCount below 1 leave Target as it is.
void MatchChannelHistogram(TVLBitmap& Target, int32_t Channel, const TVLHistogram& RefHistogram,
                           int32_t RefCount);
// All three channels of Target matched to those of a non-empty vl24RGB Reference.
void MatchHistogram(TVLBitmap& Reference, TVLBitmap& Target);

// Convolves columns X1 .. X2 - 1 of rows Y1 .. Y2 - 1 (clipped) of a vl8g bitmap: the absolute
// weighted sum over the 3 x 3 neighbourhood, edge pixels repeated, divided and clamped to a byte.
// Other formats are left as they are.
void Convolve3x3Gray8(TVLBitmap& Bitmap, const TVLConvolutionKernel& Kernel, int32_t X1, int32_t Y1,
                      int32_t X2, int32_t Y2);

// The unit-wide presets: "None", "Blur", "Edges", "Emboss", "High Pass 1" to "High Pass 3",
// "Low Pass 1" and "Low Pass 2", made at the processing unit's start-up and freed at its
// shut-down; written on the main thread only, read anywhere afterwards.
void AddConvolutionPreset(const TVLConvolutionKernel& Kernel, const String& Name);
void CreateConvolutionPresets();
void FreeConvolutionPresets();
const std::vector<TVLConvolutionKernel>& ConvolutionPresets();
const std::vector<String>& ConvolutionPresetNames();
// The "Blur" preset (all ones, divisor 9), whether or not the list exists.
TVLConvolutionKernel BlurPreset();

// Makes the four corners transparent (alpha 0) under a curve of RadiusX by RadiusY pixels; the
// alpha channel is created opaque when missing and the rest of it keeps its values. A radius of 0
// or below does nothing.
void RoundAlphaCorners(TVLBitmap& Bitmap, int32_t RadiusX, int32_t RadiusY);

// Rewrites every pixel of a vl24RGB bitmap: output byte i is the input byte named by letter i of
// Order ("B" byte 0, "G" byte 1, "R" byte 2, any case). Anything but a permutation of B, G and R,
// and other formats, leave the bitmap as it is.
void ReorderChannels(TVLBitmap& Bitmap, const String& Order, TObject* Sender = nullptr,
                     const TVLProgressEvent& OnProgress = {});
