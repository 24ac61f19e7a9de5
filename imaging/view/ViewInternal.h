// Helpers shared by the view's units.
#pragma once

#include "platform/rtl/System.h"

#include <algorithm>
#include <cstdint>

namespace imaging::detail {

// Rounds halves to even, as the library does, and keeps the result inside 32 bits.
inline int32_t RoundInt(double Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Round(Value), INT32_MIN, INT32_MAX));
}

} // namespace imaging::detail
