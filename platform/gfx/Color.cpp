// The desktop's system colours and their resolution.
#include "platform/gfx/Color.h"

#include <array>
#include <cstddef>

namespace {

// The colour scheme of the desktop the system was designed on; there is no desktop scheme to
// read here, and a fixed one keeps every drawing repeatable.
constexpr std::array<COLORREF, 31> SystemColors = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
    RGB(171, 171, 171), RGB(51, 153, 255),  RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(67, 78, 84),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234),
    RGB(215, 228, 242), RGB(51, 153, 255),  RGB(240, 240, 240)};

} // namespace

COLORREF GetSysColor(int32_t Index) {
    if (Index < 0 || Index >= static_cast<int32_t>(SystemColors.size())) return 0;
    return SystemColors[static_cast<size_t>(Index)];
}

TColor ColorToRGB(TColor Color) {
    if (Color < 0) return static_cast<TColor>(GetSysColor(Color & 0xFF));
    return Color;
}
