// Fixed-point arithmetic with the exact integer semantics of the library: arithmetic shifts,
// wrapping products, truncating quotients.
#include "raster/RasterMath.h"

#include "platform/rtl/RtlErrors.h"

#include <cmath>
#include <cstdlib>

namespace raster {

namespace {

// A + Bias with 32-bit wrap-around, shifted right arithmetically by 16.
TFixed BiasedShift(TFixed A, uint32_t Bias) {
    return static_cast<int32_t>(static_cast<uint32_t>(A) + Bias) >> 16;
}

// Digit-by-digit square root steps for the bits from Bit down to 1 (Bit a power of 4).
template <class Int> void RootDigits(Int& Remainder, Int& Root, Int Bit) {
    for (; Bit != 0; Bit >>= 2) {
        if (Remainder >= Bit && Remainder - Bit >= Root) {
            Remainder = Remainder - Bit - Root;
            Root = (Root >> 1) | Bit;
        } else {
            Root >>= 1;
        }
    }
}

} // namespace

TFixed FixedFloor(TFixed A) {
    return A >> 16;
}

TFixed FixedCeil(TFixed A) {
    return BiasedShift(A, 0xFFFF);
}

TFixed FixedRound(TFixed A) {
    return BiasedShift(A, 0x7FFF);
}

TFixed FixedMul(TFixed A, TFixed B) {
    return static_cast<int32_t>((static_cast<int64_t>(A) * B) >> 16);
}

TFixed FixedDiv(TFixed A, TFixed B) {
    if (B == 0) throw EDivByZero();
    const int64_t quotient = (static_cast<int64_t>(A) << 16) / B;
    // The processor's division faults on a quotient that does not fit its 32-bit register.
    if (quotient < INT32_MIN || quotient > INT32_MAX) throw EDivByZero();
    return static_cast<int32_t>(quotient);
}

TFixed FixedSqr(TFixed A) {
    return FixedMul(A, A);
}

TFixed FixedSqrtLP(TFixed A) {
    int32_t remainder = A, root = 0;
    RootDigits<int32_t>(remainder, root, 0x40000000);
    return root << 8;
}

TFixed FixedSqrtHP(TFixed A) {
    uint32_t remainder = static_cast<uint32_t>(A), root = 0;
    RootDigits<uint32_t>(remainder, root, 0x40000000);
    // Eight more root bits; the remainder keeps 32 bits, so above 16384.0 the last bits can be
    // too small.
    root <<= 16;
    remainder <<= 16;
    RootDigits<uint32_t>(remainder, root, 0x4000);
    return static_cast<int32_t>(root);
}

void SinCos(float Theta, float& Sin, float& Cos) {
    const long double theta = Theta;
    Cos = static_cast<float>(std::cos(theta));
    Sin = static_cast<float>(std::sin(theta));
}

void SinCos(float Theta, float Radius, float& Sin, float& Cos) {
    const long double theta = Theta, radius = Radius;
    Cos = static_cast<float>(std::cos(theta) * radius);
    Sin = static_cast<float>(std::sin(theta) * radius);
}

int32_t MulDiv(int32_t Multiplicand, int32_t Multiplier, int32_t Divisor) {
    const bool negative = ((Multiplicand ^ Multiplier ^ Divisor) < 0);
    const uint64_t product = static_cast<uint64_t>(std::llabs(Multiplicand)) *
                             static_cast<uint64_t>(std::llabs(Multiplier));
    const uint64_t divisor = static_cast<uint64_t>(std::llabs(Divisor));
    if (2 * (product >> 32) >= divisor) return -1;
    uint64_t quotient = product / divisor;
    const uint64_t remainder = product % divisor;
    if (divisor - remainder <= remainder) ++quotient;
    // The quotient can still exceed what a signed 32-bit result holds (2^31 - 1, or 2^31 for a
    // negative result); such an overflow is reported like the others instead of wrapping.
    if (quotient > (negative ? uint64_t{0x80000000} : uint64_t{0x7FFFFFFF})) return -1;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(quotient))
                    : static_cast<int32_t>(quotient);
}

} // namespace raster
