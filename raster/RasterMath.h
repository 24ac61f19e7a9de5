// Unit Raster_Math: arithmetic on 16.16 fixed-point numbers, a rounding multiply-divide and
// sine-cosine helpers.
#pragma once

#include "raster/RasterTypes.h"

namespace raster {

// Rounds toward minus infinity.
TFixed FixedFloor(TFixed A);
TFixed FixedCeil(TFixed A);
// An exact half rounds down: 1.5 gives 1, -1.5 gives -2.
TFixed FixedRound(TFixed A);
// The low 32 bits of the 64-bit product shifted right by 16 (overflow wraps silently).
TFixed FixedMul(TFixed A, TFixed B);
// Truncates toward zero. A divisor of 0 or a quotient beyond 32 bits raises EDivByZero.
TFixed FixedDiv(TFixed A, TFixed B);
TFixed FixedSqr(TFixed A);
// Square root with 8 fraction bits; 0 for a negative A.
TFixed FixedSqrtLP(TFixed A);
// Square root with 16 fraction bits, exact (floor) for A below 16384.0.
TFixed FixedSqrtHP(TFixed A);

void SinCos(float Theta, float& Sin, float& Cos);
void SinCos(float Theta, float Radius, float& Sin, float& Cos);

// Multiplicand * Multiplier / Divisor rounded half away from zero; -1 for a divisor of 0 and
// for a quotient that does not fit 32 bits.
int32_t MulDiv(int32_t Multiplicand, int32_t Multiplier, int32_t Divisor);

} // namespace raster
