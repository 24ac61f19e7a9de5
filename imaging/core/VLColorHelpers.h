// Small pure helpers the whole imaging library calls: integer and floating-point minimum,
// maximum and clamping, ceiling and floor, exchanges, colour records and their conversions
// (TVLRGB, TColor, ARGB, CMYK, grey, HSL), red/blue swaps, and the 1-bit row helpers.
#pragma once

#include "imaging/core/VLDefs.h"
#include "platform/gfx/Color.h"

#include <cstdint>

// Trunc(X) + 1 when X has a positive fractional part, else Trunc(X); saturates at the int32 range.
int32_t CeilToInt(double X);
// Trunc(X) - 1 when X has a negative fractional part, else Trunc(X); saturates likewise.
int32_t FloorToInt(double X);

constexpr int32_t Min(int32_t A, int32_t B) {
    return B < A ? B : A;
}
constexpr int32_t Max(int32_t A, int32_t B) {
    return A < B ? B : A;
}
constexpr double MinDouble(double A, double B) {
    return B >= A ? A : B;
}
constexpr double MaxDouble(double A, double B) {
    return B > A ? B : A;
}
// Low when Value <= Low, else Value when Value < High, else High (Low wins when Low > High).
constexpr int32_t ClampToRange(int32_t Value, int32_t Low, int32_t High) {
    return Value <= Low ? Low : Value < High ? Value : High;
}
constexpr uint8_t ClampToByte(int32_t Value) {
    return static_cast<uint8_t>(Value < 0 ? 0 : Value > 255 ? 255 : Value);
}

void ExchangeIntegers(int32_t& A, int32_t& B);
void ExchangeBytes(uint8_t& A, uint8_t& B);
// Orders the corners so that X1 <= X2 and Y1 <= Y2.
void OrderRectCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);

// A vlCMYK pixel packed in an integer: C in the lowest byte, then M, Y, K.
constexpr int32_t MakeCMYK(uint8_t C, uint8_t M, uint8_t Y, uint8_t K) {
    return static_cast<int32_t>(C | (M << 8) | (Y << 16) | (static_cast<uint32_t>(K) << 24));
}
void MakeRGBTriple(uint8_t R, uint8_t G, uint8_t B, TVLRGB& RGB);
TVLRGB MakeRGBTriple(uint8_t R, uint8_t G, uint8_t B);
// (R x 21 + G x 71 + B x 8) div 100 with the library's grey weights.
int32_t RGBTripleToGray(const TVLRGB& RGB);
TColor RGBTripleToColor(const TVLRGB& RGB);
// System colours are resolved first.
void ColorToRGBTriple(TColor Color, TVLRGB& RGB);
// Alpha shl 24 or R shl 16 or G shl 8 or B; system colours are resolved first.
uint32_t ColorToARGB(TColor Color, uint8_t Alpha);
bool RGBTriplesEqual(const TVLRGB& A, const TVLRGB& B);

// H, S and L in 0..1; a grey pixel gives H = S = 0.
void RGBTripleToHSL(const TVLRGB& RGB, double& H, double& S, double& L);
// H is brought into 0..1 once, S and L are clamped to 0..1.
void HSLToRGBTriple(double H, double S, double L, TVLRGB& RGB);

// Copies Count 3-byte pixels, exchanging the first and third byte of each.
void CopyAndSwapRedBlue(void* Dest, const void* Source, int32_t Count);
// Exchanges the first and third byte of Count 3-byte pixels in place.
void SwapRedBlue(void* Pixels, int32_t Count);
// Exchanges the first and third 16-bit word of Count 6-byte pixels in place.
void SwapRedBlue48(void* Pixels, int32_t Count);
// Exchanges the first and third byte of the first Count palette entries.
void SwapPaletteRedBlue(TVLRGB* Palette, int32_t Count);

// Pixel X of a packed 1-bit row, most significant bit leftmost: its mask (0x80 >> X mod 8) when
// set, 0 when clear.
int32_t GetRowBit(const void* Row, uint32_t X);
// Sets or clears pixel X of a packed 1-bit row; returns the address of the byte holding it.
uint8_t* SetRowBit(void* Row, int32_t X, bool Value);
// Copies BitCount bits from bit SourceBit of Source to bit DestBit of Dest, most significant bit
// first (bit 0 is 0x80 of the first byte), keeping the destination's other bits. At most
// SourceSize bytes of Source (counted from its first byte) are read; bits beyond read as 0.
// Source and Dest may overlap. Nothing when BitCount < 1 or a bit index is negative.
void CopyBits(void* Dest, const void* Source, int32_t DestBit, int32_t SourceBit, int32_t BitCount,
              int32_t SourceSize);
