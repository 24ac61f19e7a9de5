// The plain blending set. Two channels are computed at once in one 32-bit word (red and blue,
// alpha and green) with the rounding bias 0x00800080; no lane ever carries into the next.
#include "raster/RasterBlend.h"

#include <algorithm>
#include <cstdlib>

namespace raster {

std::array<std::array<uint8_t, 256>, 256> ProductTable{};
std::array<std::array<uint8_t, 256>, 256> QuotientTable{};
bool MMX_ACTIVE = false;

namespace {

constexpr uint32_t LaneMask = 0x00FF00FF;
constexpr uint32_t LaneBias = 0x00800080;

uint32_t Alpha(TColor32 C) {
    return C >> 24;
}

// Each channel: floor((Xc W + 128) / 256) + floor((Yc (255 - W) + 128) / 256); no quick outs.
TColor32 CombineChannels(TColor32 X, TColor32 Y, TColor32 W) {
    const uint32_t v = 255 - W;
    const uint32_t rb = ((((X & LaneMask) * W + LaneBias) >> 8) & LaneMask) +
                        ((((Y & LaneMask) * v + LaneBias) >> 8) & LaneMask);
    const uint32_t ag = (((((X >> 8) & LaneMask) * W + LaneBias) >> 8) & LaneMask) +
                        (((((Y >> 8) & LaneMask) * v + LaneBias) >> 8) & LaneMask);
    return rb | (ag << 8);
}

TColor32 CombineRegPlain(TColor32 X, TColor32 Y, TColor32 W) {
    if ((W & 0xFFFF) == 0) return Y;
    if (W == 255) return X;
    return CombineChannels(X, Y, W);
}

void CombineMemPlain(TColor32 X, TColor32& Y, TColor32 W) {
    if (W == 0) return;
    Y = W == 255 ? X : CombineChannels(X, Y, W);
}

void CombineLinePlain(const TColor32* Src, TColor32* Dst, int32_t Count, TColor32 W) {
    for (int32_t i = 0; i < Count; ++i)
        CombineMemPlain(Src[i], Dst[i], W);
}

TColor32 BlendRegPlain(TColor32 F, TColor32 B) {
    const uint32_t fa = Alpha(F);
    if (fa == 255) return F;
    if (fa == 0) return B;
    return CombineChannels(F, B, fa);
}

void BlendMemPlain(TColor32 F, TColor32& B) {
    const uint32_t fa = Alpha(F);
    if (fa == 0) return;
    B = fa == 255 ? F : CombineChannels(F, B, fa);
}

void BlendLinePlain(const TColor32* Src, TColor32* Dst, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        BlendMemPlain(Src[i], Dst[i]);
}

// The alpha byte is blended with the same weight as the colour bytes, so that a foreground drawn
// with a master alpha keeps the destination as opaque as it should be (a destination alpha of
// 0 would make text drawn with a master alpha transparent).
TColor32 BlendRegExPlain(TColor32 F, TColor32 B, TColor32 M) {
    const uint32_t w = ((M + 1) * Alpha(F)) >> 8;
    if (w == 0) return B;
    return CombineChannels(F, B, w);
}

void BlendMemExPlain(TColor32 F, TColor32& B, TColor32 M) {
    const uint32_t w = ((M + 1) * Alpha(F)) >> 8;
    if (w == 0) return;
    B = CombineChannels(F, B, w);
}

void BlendLineExPlain(const TColor32* Src, TColor32* Dst, int32_t Count, TColor32 M) {
    for (int32_t i = 0; i < Count; ++i)
        BlendMemExPlain(Src[i], Dst[i], M);
}

TColor32 MergeRegPlain(TColor32 F, TColor32 B) {
    const uint32_t fa = Alpha(F), ba = Alpha(B);
    if (fa == 0) return B;
    if (ba == 255) return BlendReg(F, B) | 0xFF000000u;
    if (fa == 255 || ba == 0) return F;
    const uint32_t ra = fa + ba - ProductTable[ba][fa];
    const auto& products = ProductTable[fa];
    const auto& quotients = QuotientTable[ra];
    TColor32 result = ra << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t bp = ProductTable[ba][(B >> shift) & 0xFF];
        const int32_t d = static_cast<int32_t>((F >> shift) & 0xFF) - bp;
        const int32_t x = d >= 0 ? bp + products[d] : bp - products[-d];
        result |= static_cast<uint32_t>(quotients[x]) << shift;
    }
    return result;
}

void MergeMemPlain(TColor32 F, TColor32& B) {
    B = MergeRegPlain(F, B);
}

TColor32 MergeRegExPlain(TColor32 F, TColor32 B, TColor32 M) {
    const uint32_t fa = ProductTable[M & 0xFF][Alpha(F)];
    return MergeRegPlain((F & 0x00FFFFFF) | (fa << 24), B);
}

void MergeMemExPlain(TColor32 F, TColor32& B, TColor32 M) {
    B = MergeRegExPlain(F, B, M);
}

void MergeLinePlain(const TColor32* Src, TColor32* Dst, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        Dst[i] = MergeRegPlain(Src[i], Dst[i]);
}

void MergeLineExPlain(const TColor32* Src, TColor32* Dst, int32_t Count, TColor32 M) {
    for (int32_t i = 0; i < Count; ++i)
        Dst[i] = MergeRegExPlain(Src[i], Dst[i], M);
}

// Applies Op to each of the four channels.
template <class Op> TColor32 PerChannel(TColor32 C1, TColor32 C2, Op op) {
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int32_t a = (C1 >> shift) & 0xFF, b = (C2 >> shift) & 0xFF;
        result |= static_cast<uint32_t>(op(a, b)) << shift;
    }
    return result;
}

TColor32 ColorAddPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return std::min(a + b, 255); });
}
TColor32 ColorSubPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return std::max(a - b, 0); });
}
TColor32 ColorDivPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(
        C1, C2, [](int32_t a, int32_t b) { return a == 0 ? 255 : std::min(255, b * 256 / a); });
}
TColor32 ColorModulatePlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return (a * b) >> 8; });
}
TColor32 ColorMaxPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return std::max(a, b); });
}
TColor32 ColorMinPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return std::min(a, b); });
}
TColor32 ColorDifferencePlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return std::abs(a - b); });
}
TColor32 ColorAveragePlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return (a + b) >> 1; });
}
TColor32 ColorExclusionPlain(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](int32_t a, int32_t b) { return a + b - ((a * b) >> 7); });
}
TColor32 ColorScalePlain(TColor32 C, TColor32 W) {
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint64_t scaled = (uint64_t{(C >> shift) & 0xFF} * W) >> 8;
        result |= static_cast<uint32_t>(std::min<uint64_t>(scaled, 255)) << shift;
    }
    return result;
}

TColor32 InterpolatorPlain(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21) {
    WX = std::min<uint32_t>(WX, 255);
    WY = std::min<uint32_t>(WY, 255);
    const TColor32 top = CombineReg(C11[0], C11[1], WX);
    const TColor32 bottom = CombineReg(C21[0], C21[1], WX);
    return CombineReg(top, bottom, WY);
}

void BuildTables() {
    for (int j = 0; j < 256; ++j)
        for (int i = 0; i < 256; ++i) {
            ProductTable[j][i] = static_cast<uint8_t>(Round(i * j / 255.0));
            QuotientTable[j][i] = j == 0 ? 0 : static_cast<uint8_t>(Round(i * 255.0 / j) & 0xFF);
        }
}

} // namespace

TCombineReg CombineReg = CombineRegPlain;
TCombineMem CombineMem = CombineMemPlain;
TCombineLine CombineLine = CombineLinePlain;
TBlendReg BlendReg = BlendRegPlain;
TBlendMem BlendMem = BlendMemPlain;
TBlendLine BlendLine = BlendLinePlain;
TBlendRegEx BlendRegEx = BlendRegExPlain;
TBlendMemEx BlendMemEx = BlendMemExPlain;
TBlendLineEx BlendLineEx = BlendLineExPlain;
TBlendReg MergeReg = MergeRegPlain;
TBlendMem MergeMem = MergeMemPlain;
TBlendRegEx MergeRegEx = MergeRegExPlain;
TBlendMemEx MergeMemEx = MergeMemExPlain;
TBlendLine MergeLine = MergeLinePlain;
TBlendLineEx MergeLineEx = MergeLineExPlain;
TCombineColors ColorAdd = ColorAddPlain;
TCombineColors ColorSub = ColorSubPlain;
TCombineColors ColorDiv = ColorDivPlain;
TCombineColors ColorModulate = ColorModulatePlain;
TCombineColors ColorMax = ColorMaxPlain;
TCombineColors ColorMin = ColorMinPlain;
TCombineColors ColorDifference = ColorDifferencePlain;
TCombineColors ColorAverage = ColorAveragePlain;
TCombineColors ColorExclusion = ColorExclusionPlain;
TCombineColors ColorScale = ColorScalePlain;

std::array<TBlendReg, 2> BLEND_REG = {BlendRegPlain, MergeRegPlain};
std::array<TBlendMem, 2> BLEND_MEM = {BlendMemPlain, MergeMemPlain};
std::array<TBlendRegEx, 2> BLEND_REG_EX = {BlendRegExPlain, MergeRegExPlain};
std::array<TBlendMemEx, 2> BLEND_MEM_EX = {BlendMemExPlain, MergeMemExPlain};
std::array<TBlendLine, 2> BLEND_LINE = {BlendLinePlain, MergeLinePlain};
std::array<TBlendLineEx, 2> BLEND_LINE_EX = {BlendLineExPlain, MergeLineExPlain};

TInterpolator Interpolator = InterpolatorPlain;

void BindInterpolator() {
    Interpolator = InterpolatorPlain;
}

TColor32 Lighten(TColor32 C, int32_t Amount) {
    TColor32 result = C & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const int64_t v = std::clamp<int64_t>(int64_t{(C >> shift) & 0xFF} + Amount, 0, 255);
        result |= static_cast<uint32_t>(v) << shift;
    }
    return result;
}

void EMMS() {}

void InitializeBlendUnit() {
    BuildTables();
    MMX_ACTIVE = false;
    CombineReg = CombineRegPlain;
    CombineMem = CombineMemPlain;
    CombineLine = CombineLinePlain;
    BlendReg = BlendRegPlain;
    BlendMem = BlendMemPlain;
    BlendLine = BlendLinePlain;
    BlendRegEx = BlendRegExPlain;
    BlendMemEx = BlendMemExPlain;
    BlendLineEx = BlendLineExPlain;
    MergeReg = MergeRegPlain;
    MergeMem = MergeMemPlain;
    MergeRegEx = MergeRegExPlain;
    MergeMemEx = MergeMemExPlain;
    MergeLine = MergeLinePlain;
    MergeLineEx = MergeLineExPlain;
    ColorAdd = ColorAddPlain;
    ColorSub = ColorSubPlain;
    ColorDiv = ColorDivPlain;
    ColorModulate = ColorModulatePlain;
    ColorMax = ColorMaxPlain;
    ColorMin = ColorMinPlain;
    ColorDifference = ColorDifferencePlain;
    ColorAverage = ColorAveragePlain;
    ColorExclusion = ColorExclusionPlain;
    ColorScale = ColorScalePlain;
    BLEND_REG = {BlendReg, MergeReg};
    BLEND_MEM = {BlendMem, MergeMem};
    BLEND_REG_EX = {BlendRegEx, MergeRegEx};
    BLEND_MEM_EX = {BlendMemEx, MergeMemEx};
    BLEND_LINE = {BlendLine, MergeLine};
    BLEND_LINE_EX = {BlendLineEx, MergeLineEx};
}

} // namespace raster
