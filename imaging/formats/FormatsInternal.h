// Field access the codecs of this folder share: numbers stored low byte first, as the BMP, icon,
// GIF, PCX, Targa and metafile headers keep them.
#pragma once

#include <cstdint>

namespace imaging::detail {

inline uint16_t Get16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] | (P[1] << 8));
}

inline uint32_t Get32(const uint8_t* P) {
    return Get16(P) | (uint32_t{Get16(P + 2)} << 16);
}

inline void Put16(uint8_t* P, uint32_t Value) {
    P[0] = static_cast<uint8_t>(Value);
    P[1] = static_cast<uint8_t>(Value >> 8);
}

inline void Put32(uint8_t* P, uint32_t Value) {
    Put16(P, Value);
    Put16(P + 2, Value >> 16);
}

} // namespace imaging::detail
