// Points, sizes, rectangles and GUIDs as the class library and the system interfaces pass them.
#pragma once

#include <cstdint>

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom lie just outside the rectangle.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int32_t X, int32_t Y) {
    return {X, Y};
}
constexpr TRect Rect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return {Left, Top, Right, Bottom};
}
constexpr TRect Bounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    return {Left, Top, Left + Width, Top + Height};
}

// The system interfaces' names for the same records.
using POINT = TPoint;
using SIZE = TSize;
using RECT = TRect;

// A 16-byte identifier, laid out as Windows lays out a GUID.
struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
};
static_assert(sizeof(TGUID) == 16);
