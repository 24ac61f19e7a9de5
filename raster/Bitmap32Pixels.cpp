// TBitmap32's pixel access: single pixels in whole, 1/256 and 16.16 coordinates, the stipple
// pattern, straight runs and rectangles.
#include "raster/Bitmap32.h"

#include "raster/RasterLowLevel.h"

#include "platform/rtl/System.h"

#include <cmath>
#include <cstdlib>

namespace raster {

namespace {

// Which pixels of a 2 x 2 block a write touches: upper left, upper right, lower right, lower left.
constexpr uint8_t AllFour = 0xF;
constexpr uint8_t UpperLeft = 1, UpperRight = 2, LowerRight = 4, LowerLeft = 8;

int32_t FixedTo256(TFixed Value) {
    return SAR_8(Value + 127);
}

int32_t FloatTo256(float Value) {
    return static_cast<int32_t>(Round(double{Value} * 256));
}

TFixed FloatToFixed(float Value) {
    return static_cast<TFixed>(Round(double{Value} * 65536));
}

// Cuts the rectangle (X1, Y1)-(X2, Y2) to Bounds.
void CutToRect(const TRect& Bounds, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    X1 = std::max(X1, Bounds.Left);
    Y1 = std::max(Y1, Bounds.Top);
    X2 = std::min(X2, Bounds.Right);
    Y2 = std::min(Y2, Bounds.Bottom);
}

// Clips a stippled run from A1 to A2 (either order) to Lo .. Hi - 1 along its axis. The pattern
// moves on over what the clip cuts before the run; Rest is what it cuts after, for the caller to
// skip once the run is drawn. False, with the whole length skipped, when nothing is left.
bool ClipStippledRun(TBitmap32& Bitmap, int32_t& A1, int32_t& A2, int32_t Lo, int32_t Hi,
                     int32_t& Rest) {
    Rest = 0;
    if ((A1 < Lo && A2 < Lo) || (A1 >= Hi && A2 >= Hi)) {
        Bitmap.AdvanceStippleCounter(static_cast<float>(std::abs(A2 - A1) + 1));
        return false;
    }
    if (A1 < Lo) {
        Bitmap.AdvanceStippleCounter(static_cast<float>(Lo - A1));
        A1 = Lo;
    } else if (A1 >= Hi) {
        Bitmap.AdvanceStippleCounter(static_cast<float>(A1 - Hi + 1));
        A1 = Hi - 1;
    }
    if (A2 < Lo) {
        Rest = Lo - A2;
        A2 = Lo;
    } else if (A2 >= Hi) {
        Rest = A2 - Hi + 1;
        A2 = Hi - 1;
    }
    return true;
}

} // namespace

TColor32 TBitmap32::GetPixelS(int32_t X, int32_t Y) const {
    if (X < FClipRect.Left || X >= FClipRect.Right || Y < FClipRect.Top || Y >= FClipRect.Bottom)
        return OuterColor;
    return GetPixel(X, Y);
}

void TBitmap32::SetPixelS(int32_t X, int32_t Y, TColor32 Value) {
    if (X >= FClipRect.Left && X < FClipRect.Right && Y >= FClipRect.Top && Y < FClipRect.Bottom)
        SetPixel(X, Y, Value);
}

TColor32 TBitmap32::GetPixelB(int32_t X, int32_t Y) const {
    return GetPixel(Clamp(X, 0, Width() - 1), Clamp(Y, 0, Height() - 1));
}

void TBitmap32::SetPixelT(int32_t X, int32_t Y, TColor32 Value) {
    BLEND_MEM[FCombineMode](Value, *GetPixelPtr(X, Y));
    EMMS();
}

void TBitmap32::SetPixelT(PColor32& Ptr, TColor32 Value) {
    BLEND_MEM[FCombineMode](Value, *Ptr);
    ++Ptr;
    EMMS();
}

void TBitmap32::SetPixelTS(int32_t X, int32_t Y, TColor32 Value) {
    if (X >= FClipRect.Left && X < FClipRect.Right && Y >= FClipRect.Top && Y < FClipRect.Bottom)
        SetPixelT(X, Y, Value);
}

void TBitmap32::Blend2x2(int32_t PX0, int32_t PX1, int32_t PY0, int32_t PY1, int32_t X, int32_t Y,
                         TColor32 C, uint8_t Mask) {
    const uint32_t fx = X & 255, fy = Y & 255;
    const uint32_t wx[2] = {GAMMA_TABLE[255 - fx], GAMMA_TABLE[fx]};
    const uint32_t wy[2] = {GAMMA_TABLE[255 - fy], GAMMA_TABLE[fy]};
    const struct {
        uint8_t Bit;
        int32_t PX, PY, WX, WY;
    } block[4] = {{UpperLeft, PX0, PY0, 0, 0},
                  {UpperRight, PX1, PY0, 1, 0},
                  {LowerRight, PX1, PY1, 1, 1},
                  {LowerLeft, PX0, PY1, 0, 1}};
    const uint32_t alpha = C >> 24;
    for (const auto& p : block) {
        if ((Mask & p.Bit) == 0) continue;
        TColor32& pixel = *GetPixelPtr(p.PX, p.PY);
        if (FCombineMode == cmBlend)
            CombineMem(C, pixel, (alpha * wx[p.WX] * wy[p.WY]) >> 16);
        else
            CombineMem(MergeReg(C, pixel), pixel, (wx[p.WX] * wy[p.WY]) >> 8);
    }
}

void TBitmap32::SET_T256(int32_t X, int32_t Y, TColor32 C) {
    const int32_t px = SAR_8(X), py = SAR_8(Y);
    Blend2x2(px, px + 1, py, py + 1, X, Y, C, AllFour);
}

void TBitmap32::SET_TS256(int32_t X, int32_t Y, TColor32 C) {
    const TRect& c = FClipRect;
    if (X < FClipRectS.Left - 256 || X >= FClipRectS.Right || Y < FClipRectS.Top - 256 ||
        Y >= FClipRectS.Bottom)
        return;
    const int32_t px = SAR_8(X), py = SAR_8(Y);
    uint8_t mask = 0;
    if (px >= c.Left && py >= c.Top) mask |= UpperLeft;
    if (px < c.Right - 1 && py >= c.Top) mask |= UpperRight;
    if (px < c.Right - 1 && py < c.Bottom - 1) mask |= LowerRight;
    if (px >= c.Left && py < c.Bottom - 1) mask |= LowerLeft;
    Blend2x2(px, px + 1, py, py + 1, X, Y, C, mask);
}

void TBitmap32::SetPixelF(float X, float Y, TColor32 Value) {
    SET_T256(FloatTo256(X), FloatTo256(Y), Value);
    EMMS();
}

void TBitmap32::SetPixelFS(float X, float Y, TColor32 Value) {
    SET_TS256(FloatTo256(X), FloatTo256(Y), Value);
    EMMS();
}

void TBitmap32::SetPixelX(TFixed X, TFixed Y, TColor32 Value) {
    SET_T256(FixedTo256(X), FixedTo256(Y), Value);
    EMMS();
}

void TBitmap32::SetPixelXS(TFixed X, TFixed Y, TColor32 Value) {
    SET_TS256(FixedTo256(X), FixedTo256(Y), Value);
    EMMS();
}

void TBitmap32::SetPixelXW(TFixed X, TFixed Y, TColor32 Value) {
    const TWrapProcEx wrap = WRAP_PROCS_EX[FWrapMode];
    const TRect& c = FClipRect;
    const int32_t x = wrap(FixedTo256(X), c.Left * 256, c.Right * 256 - 128);
    const int32_t y = wrap(FixedTo256(Y), c.Top * 256, c.Bottom * 256 - 128);
    // The block's right column and lower row wrap too: a point in the last half pixel would
    // otherwise write one column or row past the clip rectangle (and past the last row).
    const int32_t px = SAR_8(x), py = SAR_8(y);
    Blend2x2(wrap(px, c.Left, c.Right - 1), wrap(px + 1, c.Left, c.Right - 1),
             wrap(py, c.Top, c.Bottom - 1), wrap(py + 1, c.Top, c.Bottom - 1), x, y, Value,
             AllFour);
    EMMS();
}

void TBitmap32::SetPixelFW(float X, float Y, TColor32 Value) {
    SetPixelXW(FloatToFixed(X), FloatToFixed(Y), Value);
}

TColor32 TBitmap32::GET_T256(uint32_t X, uint32_t Y) const {
    // Linear weights: a gamma-weighted read would make every sampler's result depend on how
    // pixels are written.
    const PColor32 upper = GetPixelPtr(static_cast<int32_t>(X >> 8), static_cast<int32_t>(Y >> 8));
    return Interpolator((X & 255) ^ 255, (Y & 255) ^ 255, upper, upper + Width());
}

TColor32 TBitmap32::GET_TS256(int32_t X, int32_t Y) const {
    if (X < 0 || Y < 0 || Empty()) return OuterColor;
    const int32_t wm = Width() - 1, hm = Height() - 1;
    if (X < wm * 256 && Y < hm * 256) return GET_T256(X, Y);
    if (X == wm * 256 && Y <= hm * 256) return GetPixel(wm, Y / 256);
    if (X <= wm * 256 && Y == hm * 256) return GetPixel(X / 256, hm);
    return OuterColor;
}

TColor32 TBitmap32::GetPixelF(float X, float Y) const {
    const TColor32 result = GET_T256(FloatTo256(X), FloatTo256(Y));
    EMMS();
    return result;
}

TColor32 TBitmap32::GetPixelFS(float X, float Y) const {
    const TColor32 result = GET_TS256(FloatTo256(X), FloatTo256(Y));
    EMMS();
    return result;
}

TColor32 TBitmap32::GetPixelX(TFixed X, TFixed Y) const {
    const TColor32 result = GET_T256(FixedTo256(X), FixedTo256(Y));
    EMMS();
    return result;
}

TColor32 TBitmap32::GetPixelXS(TFixed X, TFixed Y) const {
    const TColor32 result = GET_TS256(FixedTo256(X), FixedTo256(Y));
    EMMS();
    return result;
}

TColor32 TBitmap32::GetPixelW(int32_t X, int32_t Y) const {
    const TWrapProcEx wrap = WRAP_PROCS_EX[FWrapMode];
    return GetPixel(wrap(X, FClipRect.Left, FClipRect.Right - 1),
                    wrap(Y, FClipRect.Top, FClipRect.Bottom - 1));
}

void TBitmap32::SetPixelW(int32_t X, int32_t Y, TColor32 Value) {
    const TWrapProcEx wrap = WRAP_PROCS_EX[FWrapMode];
    SetPixel(wrap(X, FClipRect.Left, FClipRect.Right - 1),
             wrap(Y, FClipRect.Top, FClipRect.Bottom - 1), Value);
}

TColor32 TBitmap32::GetPixelXW(TFixed X, TFixed Y) const {
    const TWrapProcEx wrap = WRAP_PROCS_EX[FWrapMode];
    const TRect& c = FClipRect;
    const int32_t x0 = wrap(SAR_16(X), c.Left, c.Right - 1);
    const int32_t x1 = wrap(x0 + 1, c.Left, c.Right - 1);
    const int32_t y0 = wrap(SAR_16(Y), c.Top, c.Bottom - 1);
    const int32_t y1 = wrap(y0 + 1, c.Top, c.Bottom - 1);
    const uint32_t fx = SAR_8(X) & 255, fy = SAR_8(Y) & 255;
    const TColor32 top = CombineReg(GetPixel(x1, y0), GetPixel(x0, y0), fx);
    const TColor32 bottom = CombineReg(GetPixel(x1, y1), GetPixel(x0, y1), fx);
    const TColor32 result = CombineReg(bottom, top, fy);
    EMMS();
    return result;
}

TColor32 TBitmap32::GetPixelFW(float X, float Y) const {
    return GetPixelXW(FloatToFixed(X), FloatToFixed(Y));
}

TColor32 TBitmap32::GetPixelR(float X, float Y) {
    return FResampler->GetSampleFloat(X, Y);
}

void TBitmap32::SetStipple(const TArrayOfColor32& NewStipple) {
    FStippleCounter = 0;
    FStipplePattern = NewStipple;
}

void TBitmap32::SetStipple(std::initializer_list<TColor32> NewStipple) {
    SetStipple(TArrayOfColor32(NewStipple));
}

void TBitmap32::AdvanceStippleCounter(float LengthPixels) {
    if (FStipplePattern.empty()) return;
    const float delta = LengthPixels * FStippleStep;
    if (delta == 0) return;
    const auto length = static_cast<float>(FStipplePattern.size());
    FStippleCounter += delta;
    FStippleCounter -= length * std::floor(FStippleCounter / length);
}

TColor32 TBitmap32::GetStippleColor() {
    const auto length = static_cast<int32_t>(FStipplePattern.size());
    if (length == 0) return 0xFF000000;
    while (FStippleCounter >= length)
        FStippleCounter -= length;
    while (FStippleCounter < 0)
        FStippleCounter += length;
    const auto prev = static_cast<int32_t>(Round(FStippleCounter - 0.5));
    const int32_t next = prev + 1 >= length ? 0 : prev + 1;
    const auto w = static_cast<uint32_t>(Round(255.0 * (FStippleCounter - prev)));
    TColor32 result = FStipplePattern[prev];
    if (w != 0) {
        result = CombineReg(FStipplePattern[prev], FStipplePattern[next], 255 - w);
        EMMS();
    }
    FStippleCounter += FStippleStep;
    return result;
}

void TBitmap32::HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 Value) {
    FillLongword(GetPixelPtr(X1, Y), X2 - X1 + 1, Value);
}

// The clipped runs notify the drawn pixels: the inclusive end plus one is the exclusive edge.
void TBitmap32::HorzLineS(int32_t X1, int32_t Y, int32_t X2, TColor32 Value) {
    if (FMeasuringMode) {
        TestSwap(X1, X2);
        Changed({X1, Y, X2 + 1, Y + 1}, AREAINFO_RECT);
        return;
    }
    if (Y < FClipRect.Top || Y >= FClipRect.Bottom ||
        !TestClip(X1, X2, FClipRect.Left, FClipRect.Right))
        return;
    HorzLine(X1, Y, X2, Value);
    Changed({X1, Y, X2 + 1, Y + 1}, AREAINFO_RECT);
}

void TBitmap32::HorzLineT(int32_t X1, int32_t Y, int32_t X2, TColor32 Value) {
    if (X2 < X1) return;
    const TBlendMem blend = BLEND_MEM[FCombineMode];
    PColor32 p = GetPixelPtr(X1, Y);
    for (int32_t x = X1; x <= X2; ++x, ++p)
        blend(Value, *p);
    EMMS();
}

void TBitmap32::HorzLineTS(int32_t X1, int32_t Y, int32_t X2, TColor32 Value) {
    if (FMeasuringMode) {
        TestSwap(X1, X2);
        Changed({X1, Y, X2 + 1, Y + 1}, AREAINFO_RECT);
        return;
    }
    if (Y < FClipRect.Top || Y >= FClipRect.Bottom ||
        !TestClip(X1, X2, FClipRect.Left, FClipRect.Right))
        return;
    HorzLineT(X1, Y, X2, Value);
    Changed({X1, Y, X2 + 1, Y + 1}, AREAINFO_RECT);
}

void TBitmap32::VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value) {
    if (Y2 < Y1) return;
    PColor32 p = GetPixelPtr(X, Y1);
    for (int32_t y = Y1; y <= Y2; ++y, p += Width())
        *p = Value;
}

void TBitmap32::VertLineS(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value) {
    if (FMeasuringMode) {
        TestSwap(Y1, Y2);
        Changed({X, Y1, X + 1, Y2 + 1}, AREAINFO_RECT);
        return;
    }
    if (X < FClipRect.Left || X >= FClipRect.Right ||
        !TestClip(Y1, Y2, FClipRect.Top, FClipRect.Bottom))
        return;
    VertLine(X, Y1, Y2, Value);
    Changed({X, Y1, X + 1, Y2 + 1}, AREAINFO_RECT);
}

void TBitmap32::VertLineT(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value) {
    if (Y2 < Y1) return;
    const TBlendMem blend = BLEND_MEM[FCombineMode];
    PColor32 p = GetPixelPtr(X, Y1);
    for (int32_t y = Y1; y <= Y2; ++y, p += Width())
        blend(Value, *p);
    EMMS();
}

void TBitmap32::VertLineTS(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value) {
    if (FMeasuringMode) {
        TestSwap(Y1, Y2);
        Changed({X, Y1, X + 1, Y2 + 1}, AREAINFO_RECT);
        return;
    }
    if (X < FClipRect.Left || X >= FClipRect.Right ||
        !TestClip(Y1, Y2, FClipRect.Top, FClipRect.Bottom))
        return;
    VertLineT(X, Y1, Y2, Value);
    Changed({X, Y1, X + 1, Y2 + 1}, AREAINFO_RECT);
}

void TBitmap32::HorzLineTSP(int32_t X1, int32_t Y, int32_t X2) {
    if (FMeasuringMode) {
        Changed({std::min(X1, X2), Y, std::max(X1, X2) + 1, Y + 1}, AREAINFO_RECT);
        return;
    }
    if (Empty()) return;
    if (Y < FClipRect.Top || Y >= FClipRect.Bottom) {
        AdvanceStippleCounter(static_cast<float>(std::abs(X2 - X1) + 1));
        return;
    }
    int32_t rest;
    if (!ClipStippledRun(*this, X1, X2, FClipRect.Left, FClipRect.Right, rest)) return;
    const int32_t step = X2 < X1 ? -1 : 1;
    for (int32_t x = X1;; x += step) {
        SetPixelT(x, Y, GetStippleColor());
        if (x == X2) break;
    }
    Changed({std::min(X1, X2), Y, std::max(X1, X2) + 1, Y + 1}, AREAINFO_RECT);
    if (rest > 0) AdvanceStippleCounter(static_cast<float>(rest));
}

void TBitmap32::VertLineTSP(int32_t X, int32_t Y1, int32_t Y2) {
    if (FMeasuringMode) {
        Changed({X, std::min(Y1, Y2), X + 1, std::max(Y1, Y2) + 1}, AREAINFO_RECT);
        return;
    }
    if (Empty()) return;
    if (X < FClipRect.Left || X >= FClipRect.Right) {
        AdvanceStippleCounter(static_cast<float>(std::abs(Y2 - Y1) + 1));
        return;
    }
    int32_t rest;
    if (!ClipStippledRun(*this, Y1, Y2, FClipRect.Top, FClipRect.Bottom, rest)) return;
    const int32_t step = Y2 < Y1 ? -1 : 1;
    for (int32_t y = Y1;; y += step) {
        SetPixelT(X, y, GetStippleColor());
        if (y == Y2) break;
    }
    Changed({X, std::min(Y1, Y2), X + 1, std::max(Y1, Y2) + 1}, AREAINFO_RECT);
    if (rest > 0) AdvanceStippleCounter(static_cast<float>(rest));
}

void TBitmap32::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    for (int32_t y = Y1; y < Y2; ++y)
        FillLongword(GetPixelPtr(X1, y), X2 - X1, Value);
    Changed({X1, Y1, X2, Y2}, AREAINFO_RECT);
}

void TBitmap32::FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    if (!FMeasuringMode && !OutsideClip(X1, Y1, X2, Y2)) {
        CutToRect(FClipRect, X1, Y1, X2, Y2);
        FillRect(X1, Y1, X2, Y2, Value);
    }
    Changed({X1, Y1, X2, Y2}, AREAINFO_RECT);
}

void TBitmap32::FillRectS(const TRect& ARect, TColor32 Value) {
    if (FMeasuringMode)
        Changed(ARect, AREAINFO_RECT);
    else
        FillRectS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

void TBitmap32::FillRectT(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    const uint32_t alpha = Value >> 24;
    if (alpha == 255) {
        FillRect(X1, Y1, X2, Y2, Value);
        return;
    }
    if (alpha == 0) return;
    for (int32_t y = Y1; y < Y2; ++y) {
        PColor32 p = GetPixelPtr(X1, y);
        for (int32_t x = X1; x < X2; ++x, ++p)
            if (FCombineMode == cmMerge)
                MergeMem(Value, *p);
            else
                CombineMem(Value, *p, alpha);
    }
    EMMS();
    Changed({X1, Y1, X2, Y2}, AREAINFO_RECT);
}

void TBitmap32::FillRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    if (!FMeasuringMode && !OutsideClip(X1, Y1, X2, Y2)) {
        CutToRect(FClipRect, X1, Y1, X2, Y2);
        FillRectT(X1, Y1, X2, Y2, Value);
    }
    Changed({X1, Y1, X2, Y2}, AREAINFO_RECT);
}

void TBitmap32::FillRectTS(const TRect& ARect, TColor32 Value) {
    if (FMeasuringMode)
        Changed(ARect, AREAINFO_RECT);
    else
        FillRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

bool TBitmap32::OutsideClip(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) const {
    return X1 >= X2 || Y1 >= Y2 || X1 >= FClipRect.Right || Y1 >= FClipRect.Bottom ||
           FClipRect.Left >= X2 || FClipRect.Top >= Y2;
}

void TBitmap32::FrameRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    if (OutsideClip(X1, Y1, X2, Y2)) return;
    HorzLineS(X1, Y1, X2 - 1, Value);
    if (Y1 < Y2 - 1) HorzLineS(X1, Y2 - 1, X2 - 1, Value);
    if (Y1 + 1 < Y2 - 1) {
        VertLineS(X1, Y1 + 1, Y2 - 2, Value);
        if (X1 < X2 - 1) VertLineS(X2 - 1, Y1 + 1, Y2 - 2, Value);
    }
}

void TBitmap32::FrameRectS(const TRect& ARect, TColor32 Value) {
    FrameRectS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

void TBitmap32::FrameRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value) {
    if (OutsideClip(X1, Y1, X2, Y2)) return;
    HorzLineTS(X1, Y1, X2 - 1, Value);
    if (Y1 < Y2 - 1) HorzLineTS(X1, Y2 - 1, X2 - 1, Value);
    if (Y1 + 1 < Y2 - 1) {
        VertLineTS(X1, Y1 + 1, Y2 - 2, Value);
        if (X1 < X2 - 1) VertLineTS(X2 - 1, Y1 + 1, Y2 - 2, Value);
    }
}

void TBitmap32::FrameRectTS(const TRect& ARect, TColor32 Value) {
    FrameRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

void TBitmap32::FrameRectTSP(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (X2 <= X1 || Y2 <= Y1 || X1 >= Width() || Y1 >= Height() || X2 <= 0 || Y2 <= 0) return;
    const int32_t r = X2 - 1, b = Y2 - 1;
    if (X1 == r && Y1 == b) {
        SetPixelT(X1, Y1, GetStippleColor());
        Changed({X1, Y1, X1 + 1, Y1 + 1}, AREAINFO_RECT);
    } else if (X1 == r) {
        VertLineTSP(X1, Y1, b);
    } else if (Y1 == b) {
        HorzLineTSP(X1, Y1, r);
    } else {
        HorzLineTSP(X1, Y1, r - 1);
        VertLineTSP(r, Y1, b - 1);
        HorzLineTSP(r, b, X1 + 1);
        VertLineTSP(X1, b, Y1 + 1);
    }
}

void TBitmap32::RaiseRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Contrast) {
    if (OutsideClip(X1, Y1, X2, Y2) || Contrast == 0) return;
    TColor32 light, dark;
    if (Contrast > 0) {
        light = SetAlpha(0xFFFFFF, Clamp(Contrast * 512 / 100));
        dark = SetAlpha(0, Clamp(Contrast * 255 / 100));
    } else {
        const int32_t k = -Contrast;
        light = SetAlpha(0, Clamp(k * 255 / 100));
        dark = SetAlpha(0xFFFFFF, Clamp(k * 512 / 100));
    }
    HorzLineTS(X1, Y1, X2 - 1, light);
    HorzLineTS(X1, Y2 - 1, X2 - 1, dark);
    VertLineTS(X1, Y1 + 1, Y2 - 2, light);
    VertLineTS(X2 - 1, Y1 + 1, Y2 - 2, dark);
}

void TBitmap32::RaiseRectTS(const TRect& ARect, int32_t Contrast) {
    RaiseRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Contrast);
}

} // namespace raster
