// The settings objects behind the scroll bars and the mouse wheel of the views.
#pragma once

#include "platform/rtl/System.h"

// One object per scroll bar of a view.
class TVLScrollBarParams : public TObject {
public:
    // Line scroll: -1 = one scroll unit, n = n scroll units.
    int32_t LineStep = -1;
    // Page scroll: -1 = one client width or height, n = n scroll units.
    int32_t PageStep = -1;
    // False: dragging the thumb scrolls only when it is released.
    bool Tracking = true;
};

class TVLMouseWheelParams : public TObject {
public:
    bool InvertDirection = false;
    // 0 nothing, 1 scroll, 2 zoom.
    uint8_t Action = 2;
    // 0 absolute (Value scroll units or zoom points), 1 percent of the client extent or of the
    // current zoom (at least 1).
    uint8_t Variation = 1;
    // Amount per wheel notch.
    int32_t Value = 8;
    // Zoom about the mouse position instead of the view's centre.
    bool ZoomAtMouse = false;
};
