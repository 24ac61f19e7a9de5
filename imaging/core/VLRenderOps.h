// Render operations: how a rendered source pixel combines with the destination pixel (arithmetic,
// logical, photographic blend and HSL modes), one 24-bit pixel or one row at a time.
#pragma once

#include "imaging/core/VLDefs.h"

#include <cstdint>

// The codes are stored with every layer and must not change.
enum TVLRenderOperation : uint8_t {
    vlroCopy,
    vlroAdd,
    vlroDifference,
    vlroDivide,
    vlroMultiply,
    vlroOr,
    vlroAnd,
    vlroXor,
    vlroMax,
    vlroMin,
    vlroAverage,
    vlroScreen,
    vlroNegation,
    vlroExclusion,
    vlroOverlay,
    vlroHardLight,
    vlroSoftLight,
    vlroSoftLight2,
    vlroColorDodge,
    vlroColorBurn,
    vlroReverseDodge,
    vlroReverseBurn,
    vlroSoftDodge,
    vlroSoftBurn,
    vlroReflect,
    vlroGlow,
    vlroFreeze,
    vlroHeat,
    vlroAddMinus256,
    vlroInterpolation,
    vlroLinearLight,
    vlroRedOnly,
    vlroGreenOnly,
    vlroBlueOnly,
    vlroHue,
    vlroSaturation,
    vlroColor,
    vlroHueLuminosity
};
constexpr int VLRenderOperationCount = 38;

// X / 255 rounded to the nearest integer, exact for 0 <= X <= 255 x 255.
constexpr int32_t Div255(int32_t X) {
    X += 128;
    return (X + (X >> 8)) >> 8;
}

// D moved toward P by the weight W / 255 with rounding: W = 0 keeps D, W = 255 gives P.
constexpr uint8_t BlendByte(uint8_t D, uint8_t P, uint8_t W) {
    return static_cast<uint8_t>(Div255(P * W + D * (255 - W)));
}

// Replaces Dest by the result of Operation on Source and Dest. Codes above 37 leave Dest as it
// is. Multiply, Screen and SoftLight2 divide their products by 255 with rounding, so that white
// and black are neutral where they should be.
void ApplyRenderOperation(const TVLRGB& Source, TVLRGB& Dest, TVLRenderOperation Operation);

// The operation over Count pixels: Dest[i] becomes the result of Source[i] on Dest[i]. Chosen
// once per row by the renderers.
using TVLRenderOperationRow = void (*)(const TVLRGB* Source, TVLRGB* Dest, int32_t Count);
TVLRenderOperationRow RenderOperationRow(TVLRenderOperation Operation);
