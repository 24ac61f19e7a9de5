// Unit Raster_Blend: every per-pixel compositing operation of the library (weighted combination,
// blending of a colour over another, merging of two translucent colours, with a master alpha
// and over runs) and the channel-wise colour operations, each reached through a process-wide
// routine variable that the unit's start-up binds. Also the bilinear Interpolator of unit Raster.
//
// One arithmetic on every processor: the plain set is bound everywhere, so every result is the
// same whatever the processor offers.
#pragma once

#include "raster/RasterTypes.h"

#include <array>

namespace raster {

enum TCombineMode : uint8_t { cmBlend, cmMerge };

// X weighted by W (0..255), Y by the rest.
using TCombineReg = TColor32 (*)(TColor32 X, TColor32 Y, TColor32 W);
using TCombineMem = void (*)(TColor32 X, TColor32& Y, TColor32 W);
using TCombineLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, TColor32 W);
// F over B.
using TBlendReg = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendMem = void (*)(TColor32 F, TColor32& B);
// F over B with the master alpha M (0..255).
using TBlendRegEx = TColor32 (*)(TColor32 F, TColor32 B, TColor32 M);
using TBlendMemEx = void (*)(TColor32 F, TColor32& B, TColor32 M);
using TBlendLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count);
using TBlendLineEx = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, TColor32 M);
using TCombineColors = TColor32 (*)(TColor32 C1, TColor32 C2);
// WX weights the left column, WY the upper row; C11 points at the upper left pixel and C21 at
// the pixel below it (their right neighbours follow each).
using TInterpolator = TColor32 (*)(uint32_t WX, uint32_t WY, const TColor32* C11,
                                   const TColor32* C21);

// Combination: CombineReg(X, Y, 0) is Y and CombineReg(X, Y, 255) is X; otherwise each channel
// is floor((Xc W + 128) / 256) + floor((Yc (255 - W) + 128) / 256).
extern TCombineReg CombineReg;
extern TCombineMem CombineMem;
extern TCombineLine CombineLine;
// Blending by the foreground's alpha (all four channels combined by it).
extern TBlendReg BlendReg;
extern TBlendMem BlendMem;
extern TBlendLine BlendLine;
// Blending by the foreground's alpha scaled by M: W = ((M + 1) Fa) >> 8, all four channels
// combined by W without the quick out at 255.
extern TBlendRegEx BlendRegEx;
extern TBlendMemEx BlendMemEx;
extern TBlendLineEx BlendLineEx;
// Compositing of two translucent colours through ProductTable and QuotientTable.
extern TBlendReg MergeReg;
extern TBlendMem MergeMem;
extern TBlendRegEx MergeRegEx;
extern TBlendMemEx MergeMemEx;
extern TBlendLine MergeLine;
extern TBlendLineEx MergeLineEx;
// Channel-wise operations on all four channels (a from the first colour, b from the second).
extern TCombineColors ColorAdd;      // min(a + b, 255)
extern TCombineColors ColorSub;      // max(a - b, 0)
extern TCombineColors ColorDiv;      // 255 for a = 0, else min(255, b * 256 / a)
extern TCombineColors ColorModulate; // (a * b) >> 8
extern TCombineColors ColorMax;
extern TCombineColors ColorMin;
extern TCombineColors ColorDifference; // |a - b|
extern TCombineColors ColorAverage;    // (a + b) >> 1
extern TCombineColors ColorExclusion;  // a + b - ((a * b) >> 7)
// min(255, (c * W) >> 8) on every channel.
extern TCombineColors ColorScale;

// The routines of each shape, indexed by the combine mode (blend, merge).
extern std::array<TBlendReg, 2> BLEND_REG;
extern std::array<TBlendMem, 2> BLEND_MEM;
extern std::array<TBlendRegEx, 2> BLEND_REG_EX;
extern std::array<TBlendMemEx, 2> BLEND_MEM_EX;
extern std::array<TBlendLine, 2> BLEND_LINE;
extern std::array<TBlendLineEx, 2> BLEND_LINE_EX;

// Stays false: the processor's multimedia set is never bound.
extern bool MMX_ACTIVE;

// [J][I] = Round(I J / 255).
extern std::array<std::array<uint8_t, 256>, 256> ProductTable;
// [J][I] = Round(I 255 / J) in 8 bits, 0 for J = 0; only I <= J is read.
extern std::array<std::array<uint8_t, 256>, 256> QuotientTable;

// Bilinear interpolation of unit Raster, bound by that unit's start-up (BindInterpolator).
extern TInterpolator Interpolator;
void BindInterpolator();

// Each colour channel plus Amount, clamped to 0..255; alpha kept.
TColor32 Lighten(TColor32 C, int32_t Amount);
// Ends a run of multimedia-set calls: nothing to end here.
void EMMS();

// Builds the tables and binds the routine variables and the selection tables.
void InitializeBlendUnit();

} // namespace raster
