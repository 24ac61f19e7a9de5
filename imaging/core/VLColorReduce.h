// Colour reduction: grey conversion of 24-bit rectangles, reduction to n colours through the
// quantizer, black and white by the 8 x 8 ordered dither or by thresholds (fixed, mean
// luminance, maximum entropy), the grey histogram and mean colour they rest on, the two-colour
// reduction, the inversion of 1-bit rows and the expansion of 1-bit class-library bitmaps to 24
// bits. Progress, when an event is given, is reported after
// each row as Trunc(rows done x 100 / (row count + 0.5)).
//
// Part of the image-processing unit; it sits in the core because the pixel-format conversion
// reduces to 1 bit through these routines.
#pragma once

#include "imaging/core/VLDefs.h"

#include <array>
#include <memory>

class TBitmap;
class TVLBitmap;

// The ordered-dither matrix, indexed [x mod 8][y mod 8], values 0 to 63. A pixel of dither level
// L (0 to 64) is white where the matrix value is below L.
extern const uint8_t OrderedDitherMatrix[8][8];

// Dither level of a pixel: 64 (always white) when red, green and blue are all at least 251,
// else its grey level div 4.
constexpr int32_t DitherLevel(const TVLRGB& Color, int32_t Gray) {
    return Color.r >= 251 && Color.g >= 251 && Color.b >= 251 ? 64 : Gray >> 2;
}
// The same for a grey pixel of level Gray (0 to 255).
constexpr int32_t GrayDitherLevel(int32_t Gray) {
    return Gray >= 251 ? 64 : Gray >> 2;
}

// Thresholds that ThresholdTo1Bit computes from the image.
constexpr int32_t ThresholdMeanLuminance = -1;
constexpr int32_t ThresholdMaximumEntropy = -2;

// Every pixel of columns X1 .. X2 - 1 of rows Y1 .. Y2 - 1 (clipped to the bitmap) of a vl24RGB
// bitmap becomes its grey level (R x wR + G x wG + B x wB) div 100 with the library's weights.
// Other formats are left as they are.
void GrayscaleRect24(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                     const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Every pixel of a vl24RGB bitmap becomes the colour the quantizer chooses for it among at most
// NumColors (1 .. 65,536) colours. Palette, when given, must hold NumColors entries and receives
// the colours chosen (entries the quantizer leaves unused stay as they were). Other formats are
// left as they are.
void QuantizeColors(TVLBitmap& Bitmap, int32_t NumColors, TVLRGB* Palette = nullptr,
                    const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// A vl24RGB bitmap becomes vl1g by ordered dithering, keeping its alpha channel. Other formats,
// and a bitmap whose 1-bit copy cannot be had, are left as they are.
void ConvertTo1BitOrdered(TVLBitmap& Bitmap, const TVLProgressEvent& OnProgress = {},
                          TObject* Sender = nullptr);
// A vl24RGB bitmap becomes vl1g through ThresholdTo1Bit, keeping its alpha channel.
void ConvertTo1BitThreshold(TVLBitmap& Bitmap, int32_t Threshold,
                            const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Sets bit (x, y) of Dest where the grey level of Source's pixel is at least Threshold. Threshold
// ThresholdMeanLuminance uses the grey level of the mean colour, ThresholdMaximumEntropy the level
// that best separates the grey histogram (the image's one level when it has only one). A vl1g
// Source is copied. Nothing happens when Dest is not a vl1g bitmap of Source's size.
void ThresholdTo1Bit(TVLBitmap& Source, TVLBitmap& Dest, int32_t Threshold,
                     const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Count of pixels per grey level; vl1g counts into levels 0 (clear) and 1 (set).
void GrayHistogram(TVLBitmap& Bitmap, std::array<int32_t, 256>& Histogram);
// Mean colour: per row the channel sums divided by the width, their sum divided by the height.
// 128, 128, 128 when the image is empty or cannot be read.
void GetAverageColor(TVLBitmap& Bitmap, int32_t& R, int32_t& G, int32_t& B);
// Dest becomes a pf24bit copy of a pf1bit Source: set bits white, clear bits black, whatever the
// colour table. Nothing happens for another Source format.
void Convert1BitTBitmapTo24Bit(TBitmap& Source, TBitmap& Dest,
                               const TVLProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// A new vl1g bitmap of an image of exactly two colours (GetPixelAsRGB): bit 0 = Color0, the
// darker one by the library's grey weights (the first colour met when both are as dark), bit
// 1 = Color1. nil for an image of one colour or of more than two.
std::unique_ptr<TVLBitmap> TryMakeTwoColorBitmap(TVLBitmap& Bitmap, TVLRGB& Color0, TVLRGB& Color1);
// Bitwise NOT of the first Count bytes of Buffer, in place; nothing for a Count of 0 or less.
void InvertBytes(void* Buffer, int32_t Count);
// Every bit of every row inverted (a vl1g image's 1 = white becomes 1 = black and back).
void InvertBitmapBits(TVLBitmap& Bitmap);
// Index of the first of Count palette entries nearest to Color (packed R shl 16 or G shl 8 or B)
// by the sum of absolute channel differences; 0 when Count is 0 or less.
int32_t NearestPaletteIndex(const TVLRGB* Palette, int32_t Count, int32_t Color);
