// Point, rectangle and GUID records of the class library.
#pragma once

#include <cstdint>

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Left and Top are inside; whether Right and Bottom are is up to the caller.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A 16-byte identifier, laid out as Windows lays out a GUID.
struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
};
static_assert(sizeof(TGUID) == 16);
