// Unit Raster, first part: the colour and geometry vocabulary of the raster library (32-bit
// colours, 16.16 fixed-point numbers, points and rectangles in three forms), the gamma table,
// and the unit's start-up.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Palette.h"
#include "platform/rtl/Types.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace raster {

// 0xAARRGGBB; in memory blue, green, red, alpha. Not premultiplied; alpha 255 is opaque.
using TColor32 = uint32_t;
using PColor32 = TColor32*;

// One colour by its bytes, in memory order.
struct TColor32Entry {
    uint8_t B = 0;
    uint8_t G = 0;
    uint8_t R = 0;
    uint8_t A = 0;
};
static_assert(sizeof(TColor32Entry) == 4);

// Signed 16.16 fixed point: 1.0 is 0x10000.
using TFixed = int32_t;

using ::TPoint;
using ::TRect;

struct TFixedPoint {
    TFixed X = 0;
    TFixed Y = 0;
    friend bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};
struct TFloatPoint {
    float X = 0;
    float Y = 0;
    friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};
// Right and Bottom are exclusive throughout the library.
struct TFixedRect {
    TFixed Left = 0;
    TFixed Top = 0;
    TFixed Right = 0;
    TFixed Bottom = 0;
    friend bool operator==(const TFixedRect&, const TFixedRect&) = default;
};
struct TFloatRect {
    float Left = 0;
    float Top = 0;
    float Right = 0;
    float Bottom = 0;
    friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

enum TRectRounding : uint8_t { rrClosest, rrOutside, rrInside };

using TArrayOfColor32 = std::vector<TColor32>;
using TArrayOfColor32Entry = std::vector<TColor32Entry>;
using TArrayOfFixed = std::vector<TFixed>;
using TArrayOfArrayOfFixed = std::vector<TArrayOfFixed>;
using TArrayOfByte = std::vector<uint8_t>;
using TArrayOfWord = std::vector<uint16_t>;
using TArrayOfInteger = std::vector<int32_t>;
using TArrayOfArrayOfInteger = std::vector<TArrayOfInteger>;
using TArrayOfSingle = std::vector<float>;
using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfArrayOfPoint = std::vector<TArrayOfPoint>;
using TArrayOfFloatPoint = std::vector<TFloatPoint>;
using TArrayOfArrayOfFloatPoint = std::vector<TArrayOfFloatPoint>;
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

using TPalette32 = std::array<TColor32, 256>;

// Gamma-corrected weight of each linear weight 0..255; written only by SetGamma.
extern std::array<uint8_t, 256> GAMMA_TABLE;

// Colours.
// A system colour (negative) is resolved first; alpha 255.
TColor32 Color32(TColor WinColor);
TColor32 Color32(uint8_t R, uint8_t G, uint8_t B, uint8_t A = 255);
TColor32 Color32(uint8_t Index, const TPalette32& Palette);
TColor32 Gray32(uint8_t Intensity, uint8_t Alpha = 255);
// 0x00BBGGRR; alpha dropped.
TColor WinColor(TColor32 Color32);
TArrayOfColor32 ArrayOfColor32(std::initializer_list<TColor32> Colors);
void Color32ToRGB(TColor32 Color32, uint8_t& R, uint8_t& G, uint8_t& B);
void Color32ToRGBA(TColor32 Color32, uint8_t& R, uint8_t& G, uint8_t& B, uint8_t& A);
int32_t RedComponent(TColor32 Color32);
int32_t GreenComponent(TColor32 Color32);
int32_t BlueComponent(TColor32 Color32);
int32_t AlphaComponent(TColor32 Color32);
// (61 R + 174 G + 21 B) >> 8; alpha ignored.
int32_t Intensity(TColor32 Color32);
// NewAlpha clamped to 0..255.
TColor32 SetAlpha(TColor32 Color32, int32_t NewAlpha);
// H, S, L in 0..1; alpha 255.
TColor32 HSLtoRGB(float H, float S, float L);
void RGBtoHSL(TColor32 RGB, float& H, float& S, float& L);
// H, S, L in 0..255; alpha 0 (and every channel 0 when the lightness term is not positive).
TColor32 HSLtoRGB(int32_t H, int32_t S, int32_t L);
void RGBtoHSL(TColor32 RGB, uint8_t& H, uint8_t& S, uint8_t& L);
// A logical palette of the 256 colours (0 when it cannot be made).
HPALETTE WinPalette(const TPalette32& P);

// Fixed-point numbers, points and rectangles.
TFixed Fixed(float S);
TFixed Fixed(int32_t I);
using ::Point;
TPoint Point(const TFloatPoint& FP);
TPoint Point(const TFixedPoint& FXP);
TFloatPoint FloatPoint(float X, float Y);
TFloatPoint FloatPoint(const TPoint& P);
TFloatPoint FloatPoint(const TFixedPoint& FXP);
TFixedPoint FixedPoint(int32_t X, int32_t Y);
TFixedPoint FixedPoint(float X, float Y);
TFixedPoint FixedPoint(const TPoint& P);
TFixedPoint FixedPoint(const TFloatPoint& FP);

TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B);
TRect MakeRect(const TFloatRect& FR, TRectRounding Rounding = rrClosest);
TRect MakeRect(const TFixedRect& FXR, TRectRounding Rounding = rrClosest);
TFixedRect FixedRect(TFixed L, TFixed T, TFixed R, TFixed B);
TFixedRect FixedRect(const TRect& ARect);
TFixedRect FixedRect(const TFloatRect& FR);
TFloatRect FloatRect(float L, float T, float R, float B);
TFloatRect FloatRect(const TRect& ARect);
TFloatRect FloatRect(const TFixedRect& FXR);

// Dst is the overlap; false (and Dst all zero) when the two do not meet. Touching rectangles
// meet in an empty rectangle.
bool IntersectRect(TRect& Dst, const TRect& R1, const TRect& R2);
bool IntersectRect(TFloatRect& Dst, const TFloatRect& FR1, const TFloatRect& FR2);
// Rect covers both (an empty R2 adds nothing); false (and Rect all zero) when it is empty.
bool UnionRect(TRect& Rect, const TRect& R1, const TRect& R2);
bool UnionRect(TFloatRect& Rect, const TFloatRect& R1, const TFloatRect& R2);
bool EqualRect(const TRect& R1, const TRect& R2);
bool EqualRectSize(const TRect& R1, const TRect& R2);
// Compares sizes in 16.16 steps.
bool EqualRectSize(const TFloatRect& R1, const TFloatRect& R2);
void InflateRect(TRect& R, int32_t Dx, int32_t Dy);
void InflateRect(TFloatRect& FR, float Dx, float Dy);
void OffsetRect(TRect& R, int32_t Dx, int32_t Dy);
void OffsetRect(TFloatRect& FR, float Dx, float Dy);
bool IsRectEmpty(const TRect& R);
bool IsRectEmpty(const TFloatRect& FR);
// The right and bottom edges are outside.
bool PtInRect(const TRect& R, const TPoint& P);

void SetGamma(float Gamma);

// The shared objects of text measuring, from the unit's start-up to its shut-down: an 8 x 8
// bitmap whose canvas measures text (lock the canvas while using it), and the stock system font
// a bitmap selects when it lets its own font go.
extern TBitmap* TextMeasuringBitmap;
extern HFONT StockSystemFont;

// Binds the interpolator, sets gamma 0.7, fetches the stock font, makes the measuring bitmap.
void InitializeRasterUnit();
void FinalizeRasterUnit();

} // namespace raster
