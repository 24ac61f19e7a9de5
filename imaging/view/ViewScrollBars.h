// Scroll bars and mouse wheel of the views: the actions the scroll codes select and the scroll
// unit.
#pragma once

#include "imaging/view/VLViewParams.h"

#include <cstdint>

// What ScrollHorz and ScrollVert do; vlsaSet moves to the given zoomed position.
enum TVLScrollAction : uint8_t {
    vlsaLineBack,
    vlsaLineForward,
    vlsaPageBack,
    vlsaPageForward,
    vlsaSet
};

// Every bar works on the fixed range 0..65535 so that the 16-bit thumb position of the scroll
// messages covers any image: zoomed pixels per scroll-bar step.
constexpr int32_t ScrollBarRange = 65536;
inline double ScrollUnit(int32_t AreaSize, int32_t MaxView) {
    return (static_cast<double>(AreaSize) + MaxView) / ScrollBarRange;
}
