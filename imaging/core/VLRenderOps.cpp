// Render operations: per-channel arithmetic of the blend modes, row loops chosen once per
// operation, and the per-pixel entry point.
#include "imaging/core/VLRenderOps.h"

#include "imaging/core/VLColorHelpers.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// X / 255 rounded to the nearest integer (X >= 0; 255 is odd, so there are no halves).
constexpr int32_t Div255(int32_t X) {
    return (X + 127) / 255;
}

// Operations 0 to 30 work on each channel alone: s the source, d the destination channel.
template <int Op> int32_t ChannelOp(int32_t s, int32_t d) {
    if constexpr (Op == vlroCopy) {
        return s;
    } else if constexpr (Op == vlroAdd) {
        return ClampToByte(d + s);
    } else if constexpr (Op == vlroDifference) {
        return std::abs(d - s);
    } else if constexpr (Op == vlroDivide) {
        return d / Max(s, 1);
    } else if constexpr (Op == vlroMultiply) {
        return Div255(s * d);
    } else if constexpr (Op == vlroOr) {
        return d | s;
    } else if constexpr (Op == vlroAnd) {
        return d & s;
    } else if constexpr (Op == vlroXor) {
        return d ^ s;
    } else if constexpr (Op == vlroMax) {
        return Max(d, s);
    } else if constexpr (Op == vlroMin) {
        return Min(d, s);
    } else if constexpr (Op == vlroAverage) {
        return (d + s) >> 1;
    } else if constexpr (Op == vlroScreen) {
        return 255 - Div255((255 - d) * (255 - s));
    } else if constexpr (Op == vlroNegation) {
        return 255 - std::abs(255 - s - d);
    } else if constexpr (Op == vlroExclusion) {
        return d + s - (s * d) / 128;
    } else if constexpr (Op == vlroOverlay) {
        return d >= 128 ? 255 - (((255 - d) * (255 - s)) >> 7) : (s * d) >> 7;
    } else if constexpr (Op == vlroHardLight) {
        return s >= 128 ? 255 - (((255 - d) * (255 - s)) >> 7) : (s * d) >> 7;
    } else if constexpr (Op == vlroSoftLight) {
        const double c = s / 255.0;
        const double e = d / 255.0;
        const double r = c >= 0.5 ? std::sqrt(e) * (2 * c - 1) + 2 * e * (1 - c)
                                  : e * e * (1 - 2 * c) + 2 * c * e;
        return static_cast<int32_t>(r * 255);
    } else if constexpr (Op == vlroSoftLight2) {
        const int32_t m = Div255(s * d);
        const int32_t n = Div255((255 - d) * (255 - s));
        return m + Div255((255 - n - m) * d);
    } else if constexpr (Op == vlroColorDodge) {
        return s == 255 ? 255 : Min((d * 256) / (255 - s), 255);
    } else if constexpr (Op == vlroColorBurn) {
        return s == 0 ? 0 : Max(255 - ((255 - d) * 256) / s, 0);
    } else if constexpr (Op == vlroReverseDodge) {
        return d == 255 ? 255 : Min((s * 256) / (255 - d), 255);
    } else if constexpr (Op == vlroReverseBurn) {
        return d == 0 ? 0 : Max(255 - ((255 - s) * 256) / d, 0);
    } else if constexpr (Op == vlroSoftDodge) {
        if (s + d < 256) return s == 255 ? 255 : Min((d * 128) / (255 - s), 255);
        return Max(255 - ((255 - s) * 128) / d, 0);
    } else if constexpr (Op == vlroSoftBurn) {
        if (s + d < 256) return d == 255 ? 255 : Min((s * 128) / (255 - d), 255);
        return Max(255 - ((255 - d) * 128) / s, 0);
    } else if constexpr (Op == vlroReflect) {
        return s == 255 ? 255 : Min((d * d) / (255 - s), 255);
    } else if constexpr (Op == vlroGlow) {
        return d == 255 ? 255 : Min((s * s) / (255 - d), 255);
    } else if constexpr (Op == vlroFreeze) {
        return s == 0 ? 0 : Max(255 - ((255 - d) * (255 - d)) / s, 0);
    } else if constexpr (Op == vlroHeat) {
        return d == 0 ? 0 : Max(255 - ((255 - s) * (255 - s)) / d, 0);
    } else if constexpr (Op == vlroAddMinus256) {
        return ClampToByte(d + s - 256);
    } else if constexpr (Op == vlroInterpolation) {
        return Min(CosineTable[s] + CosineTable[d], 255);
    } else {
        static_assert(Op == vlroLinearLight);
        return ClampToByte(d + 2 * s - 256);
    }
}

constexpr int ChannelOpCount = vlroLinearLight + 1;

// Every result is stored as the low byte of the computed integer.
template <int Op> void ChannelRow(const TVLRGB* Source, TVLRGB* Dest, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        TVLRGB& d = Dest[i];
        d.b = static_cast<uint8_t>(ChannelOp<Op>(Source[i].b, d.b));
        d.g = static_cast<uint8_t>(ChannelOp<Op>(Source[i].g, d.g));
        d.r = static_cast<uint8_t>(ChannelOp<Op>(Source[i].r, d.r));
    }
}

template <size_t... I>
constexpr std::array<TVLRenderOperationRow, sizeof...(I)>
MakeChannelRows(std::index_sequence<I...>) {
    return {&ChannelRow<static_cast<int>(I)>...};
}
constexpr auto ChannelRows = MakeChannelRows(std::make_index_sequence<ChannelOpCount>());

// Red, green or blue only: that channel of the source replaces the destination's.
template <uint8_t TVLRGB::*Channel>
void SingleChannelRow(const TVLRGB* Source, TVLRGB* Dest, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        Dest[i].*Channel = Source[i].*Channel;
}

// The HSL modes: hue, saturation and lightness each taken from the source or the destination.
template <bool HueOfSource, bool SaturationOfSource, bool LightnessOfSource>
void HslRow(const TVLRGB* Source, TVLRGB* Dest, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        double hs, ss, ls, hd, sd, ld;
        RGBTripleToHSL(Source[i], hs, ss, ls);
        RGBTripleToHSL(Dest[i], hd, sd, ld);
        HSLToRGBTriple(HueOfSource ? hs : hd, SaturationOfSource ? ss : sd,
                       LightnessOfSource ? ls : ld, Dest[i]);
    }
}

void UnchangedRow(const TVLRGB*, TVLRGB*, int32_t) {}

} // namespace

TVLRenderOperationRow RenderOperationRow(TVLRenderOperation Operation) {
    if (Operation < ChannelOpCount) return ChannelRows[Operation];
    switch (Operation) {
    case vlroRedOnly:
        return SingleChannelRow<&TVLRGB::r>;
    case vlroGreenOnly:
        return SingleChannelRow<&TVLRGB::g>;
    case vlroBlueOnly:
        return SingleChannelRow<&TVLRGB::b>;
    case vlroHue:
        return HslRow<true, false, false>;
    case vlroSaturation:
        return HslRow<false, true, false>;
    case vlroColor:
        return HslRow<true, true, false>;
    case vlroHueLuminosity:
        return HslRow<true, false, true>;
    default:
        return UnchangedRow;
    }
}

void ApplyRenderOperation(const TVLRGB& Source, TVLRGB& Dest, TVLRenderOperation Operation) {
    RenderOperationRow(Operation)(&Source, &Dest, 1);
}
