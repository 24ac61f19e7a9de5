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

// Replaces Dest by the result of Operation on Source and Dest. Codes above 37 leave Dest as it
// is. Multiply, Screen and SoftLight2 divide their products by 255 with rounding, so that white
// and black are neutral where they should be.
void ApplyRenderOperation(const TVLRGB& Source, TVLRGB& Dest, TVLRenderOperation Operation);

// The operation over Count pixels: Dest[i] becomes the result of Source[i] on Dest[i]. Chosen
// once per row by the renderers.
using TVLRenderOperationRow = void (*)(const TVLRGB* Source, TVLRGB* Dest, int32_t Count);
TVLRenderOperationRow RenderOperationRow(TVLRenderOperation Operation);
