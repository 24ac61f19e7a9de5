// Mouse interaction of the single-image view: the gesture set and its normalisation. The
// handlers are TVistrelView's (ViewMouse.cpp).
#pragma once

#include <cstdint>

// Bit number = order.
enum TVLMouseInteractItem : uint16_t {
    miZoom = 1u << 0,
    miScroll = 1u << 1,
    miSelect = 1u << 2,
    miSelectPolygon = 1u << 3,
    miSelectCircle = 1u << 4,
    miSelectZoom = 1u << 5,
    miSelectMagicWand = 1u << 6,
    miSelectLasso = 1u << 7,
    miMoveLayers = 1u << 8,
    miResizeLayers = 1u << 9,
    miRotateLayers = 1u << 10,
    miMovingScroll = 1u << 11,
};
using TVLMouseInteract = uint16_t;

// The set Value becomes when it replaces Current: the first newly added member decides which
// members stay; otherwise the layer members do.
TVLMouseInteract NormalizeMouseInteract(TVLMouseInteract Current, TVLMouseInteract Value);
