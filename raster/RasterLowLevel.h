// Unit Raster_LowLevel: the integer and memory helpers of the library's inner loops: runs of 32-
// and 16-bit words, clamping, wrapping and mirroring of coordinates, index clipping, arithmetic
// shifts and the class-library colour swap.
#pragma once

#include "raster/RasterTypes.h"

#include <array>

namespace raster {

// Writes Value into Count consecutive 32-bit words from X; a Count of 0 or below writes nothing.
extern void (*FillLongword)(void* X, int32_t Count, uint32_t Value);
void FillWord(void* X, int32_t Count, uint16_t Value);
// Copies Count words in ascending order: overlapping ranges only with Dest below Source.
void MoveLongword(const void* Source, void* Dest, int32_t Count);
void MoveWord(const void* Source, void* Dest, int32_t Count);

void Swap(int32_t& A, int32_t& B);
// Orders A and B so that A <= B.
void TestSwap(int32_t& A, int32_t& B);
// Orders A and B and clips them to 0 .. Size - 1; true when something is left.
bool TestClip(int32_t& A, int32_t& B, int32_t Size);
// Orders A and B and clips them to Start .. Stop - 1; true when something is left.
bool TestClip(int32_t& A, int32_t& B, int32_t Start, int32_t Stop);
int32_t Constrain(int32_t Value, int32_t Lo, int32_t Hi);
float Constrain(float Value, float Lo, float Hi);
// Constrain with the two bounds in either order.
int32_t SwapConstrain(int32_t Value, int32_t Constrain1, int32_t Constrain2);

// 0..255.
int32_t Clamp(int32_t Value);
// 0..Max.
int32_t Clamp(int32_t Value, int32_t Max);
// Raised to Min, then lowered to Max (Max wins when Min > Max).
int32_t Clamp(int32_t Value, int32_t Min, int32_t Max);
// 0..Max, repeating.
int32_t Wrap(int32_t Value, int32_t Max);
int32_t Wrap(int32_t Value, int32_t Min, int32_t Max);
// Reflects at 0 and Max without repeating the edge (0 1 2 3 4 3 2 1 0 for Max 4); Max <> 0.
int32_t Mirror(int32_t Value, int32_t Max);
// Reflects at Min and Max repeating each edge once (... 1 0 0 1 ... 3 4 4 3 ...).
int32_t Mirror(int32_t Value, int32_t Min, int32_t Max);

using TWrapProc = int32_t (*)(int32_t Value, int32_t Max);
using TWrapProcEx = int32_t (*)(int32_t Value, int32_t Min, int32_t Max);
// Indexed by the wrap mode: clamp, repeat, mirror.
extern const std::array<TWrapProc, 3> WRAP_PROCS;
extern const std::array<TWrapProcEx, 3> WRAP_PROCS_EX;

// Arithmetic (sign-keeping) shifts right.
constexpr int32_t SAR_4(int32_t Value) {
    return Value >> 4;
}
constexpr int32_t SAR_8(int32_t Value) {
    return Value >> 8;
}
constexpr int32_t SAR_9(int32_t Value) {
    return Value >> 9;
}
constexpr int32_t SAR_11(int32_t Value) {
    return Value >> 11;
}
constexpr int32_t SAR_12(int32_t Value) {
    return Value >> 12;
}
constexpr int32_t SAR_13(int32_t Value) {
    return Value >> 13;
}
constexpr int32_t SAR_14(int32_t Value) {
    return Value >> 14;
}
constexpr int32_t SAR_15(int32_t Value) {
    return Value >> 15;
}
constexpr int32_t SAR_16(int32_t Value) {
    return Value >> 16;
}

// Red and blue exchanged, alpha 255; a system colour is not resolved.
TColor32 ColorSwap(TColor WinColor);

void InitializeLowLevelUnit();

} // namespace raster
