// Integer and memory helpers. Divisions truncate toward zero, remainders take the dividend's sign.
#include "raster/RasterLowLevel.h"

#include <cstring>

namespace raster {

namespace {

void FillLongwordPlain(void* X, int32_t Count, uint32_t Value) {
    auto* p = static_cast<uint32_t*>(X);
    for (int32_t i = 0; i < Count; ++i)
        p[i] = Value;
}

} // namespace

void (*FillLongword)(void* X, int32_t Count, uint32_t Value) = FillLongwordPlain;

void FillWord(void* X, int32_t Count, uint16_t Value) {
    auto* p = static_cast<uint16_t*>(X);
    for (int32_t i = 0; i < Count; ++i)
        p[i] = Value;
}

void MoveLongword(const void* Source, void* Dest, int32_t Count) {
    if (Source == Dest || Count <= 0) return;
    // memmove copies any overlap correctly, so the ascending copy's limit does not bite here.
    std::memmove(Dest, Source, static_cast<size_t>(Count) * 4);
}

void MoveWord(const void* Source, void* Dest, int32_t Count) {
    if (Source == Dest || Count <= 0) return;
    std::memmove(Dest, Source, static_cast<size_t>(Count) * 2);
}

void Swap(int32_t& A, int32_t& B) {
    const int32_t t = A;
    A = B;
    B = t;
}

void TestSwap(int32_t& A, int32_t& B) {
    if (A > B) Swap(A, B);
}

bool TestClip(int32_t& A, int32_t& B, int32_t Size) {
    TestSwap(A, B);
    if (A < 0) A = 0;
    if (B >= Size) B = Size - 1;
    return B >= A;
}

bool TestClip(int32_t& A, int32_t& B, int32_t Start, int32_t Stop) {
    TestSwap(A, B);
    if (A < Start) A = Start;
    if (B >= Stop) B = Stop - 1;
    return B >= A;
}

int32_t Constrain(int32_t Value, int32_t Lo, int32_t Hi) {
    if (Value < Lo) return Lo;
    if (Value > Hi) return Hi;
    return Value;
}

float Constrain(float Value, float Lo, float Hi) {
    if (Value < Lo) return Lo;
    if (Value > Hi) return Hi;
    return Value;
}

int32_t SwapConstrain(int32_t Value, int32_t Constrain1, int32_t Constrain2) {
    TestSwap(Constrain1, Constrain2);
    return Constrain(Value, Constrain1, Constrain2);
}

int32_t Clamp(int32_t Value) {
    if (Value >= 256) return 255;
    if (Value < 0) return 0;
    return Value;
}

int32_t Clamp(int32_t Value, int32_t Max) {
    if (Value > Max) return Max;
    if (Value < 0) return 0;
    return Value;
}

int32_t Clamp(int32_t Value, int32_t Min, int32_t Max) {
    if (Value < Min) Value = Min;
    if (Value > Max) Value = Max;
    return Value;
}

int32_t Wrap(int32_t Value, int32_t Max) {
    const int64_t span = int64_t{Max} + 1;
    if (span <= 0) return 0; // outside the contract (Max < 0); no division by zero
    int64_t r = Value % span;
    if (r < 0) r += span;
    return static_cast<int32_t>(r);
}

int32_t Wrap(int32_t Value, int32_t Min, int32_t Max) {
    const int64_t span = int64_t{Max} - Min + 1;
    if (span <= 0) return Min; // outside the contract (Max < Min)
    if (Value < Min) return static_cast<int32_t>(Max + (int64_t{Value} - Max) % span);
    return static_cast<int32_t>(Min + (int64_t{Value} - Min) % span);
}

int32_t Mirror(int32_t Value, int32_t Max) {
    if (Max == 0) return 0; // outside the contract; no division by zero
    const int64_t v = Value < 0 ? -int64_t{Value} : Value;
    const int64_t q = v / Max, r = v % Max;
    return static_cast<int32_t>(q % 2 != 0 ? Max - r : r);
}

int32_t Mirror(int32_t Value, int32_t Min, int32_t Max) {
    const int64_t span = int64_t{Max} - Min + 1;
    if (span <= 0) return Min; // outside the contract (Max < Min)
    int64_t q, r;
    if (Value < Min) {
        q = (int64_t{Value} - Max) / span;
        r = (int64_t{Value} - Max) % span + Max;
    } else {
        q = (int64_t{Value} - Min) / span;
        r = (int64_t{Value} - Min) % span + Min;
    }
    return static_cast<int32_t>(q % 2 != 0 ? int64_t{Max} + Min - r : r);
}

namespace {

int32_t ClampToMax(int32_t Value, int32_t Max) {
    return Clamp(Value, Max);
}
int32_t WrapToMax(int32_t Value, int32_t Max) {
    return Wrap(Value, Max);
}
int32_t MirrorToMax(int32_t Value, int32_t Max) {
    return Mirror(Value, Max);
}
int32_t ClampBetween(int32_t Value, int32_t Min, int32_t Max) {
    return Clamp(Value, Min, Max);
}
int32_t WrapBetween(int32_t Value, int32_t Min, int32_t Max) {
    return Wrap(Value, Min, Max);
}
int32_t MirrorBetween(int32_t Value, int32_t Min, int32_t Max) {
    return Mirror(Value, Min, Max);
}

} // namespace

const std::array<TWrapProc, 3> WRAP_PROCS = {ClampToMax, WrapToMax, MirrorToMax};
const std::array<TWrapProcEx, 3> WRAP_PROCS_EX = {ClampBetween, WrapBetween, MirrorBetween};

TColor32 ColorSwap(TColor WinColor) {
    const auto c = static_cast<uint32_t>(WinColor);
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void InitializeLowLevelUnit() {
    // One arithmetic on every processor: the plain fill is the only form.
    FillLongword = FillLongwordPlain;
}

} // namespace raster
