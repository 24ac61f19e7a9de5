// Scroll bars and mouse wheel of the views: the settings of each bar and of the wheel, and the
// actions the scroll codes select.
#pragma once

#include <cstdint>

// Settings of one scroll bar of a view.
struct TVLScrollBarParams {
    // Line scroll: -1 one scroll unit (one bitmap pixel in zoomed pixels), n: n scroll units.
    int32_t LineStep = -1;
    // Page scroll: -1 one client width or height, n: n line steps.
    int32_t PageStep = -1;
    // False: dragging the thumb scrolls only when it is released.
    bool Tracking = true;
};

// Settings of the mouse wheel of a view.
struct TVLMouseWheelParams {
    bool InvertDirection = false;
    // 0 nothing, 1 scroll, 2 zoom.
    uint8_t Action = 2;
    // 0 absolute (Value scroll units or zoom points), 1 percent (of the client extent or of
    // the current zoom, at least 1).
    uint8_t Variation = 1;
    int32_t Value = 8;
    // Zoom about the mouse position instead of the view's centre.
    bool ZoomAtMouse = false;
};

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
