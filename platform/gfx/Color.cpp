// System colours of the desktop.
#include "platform/gfx/Color.h"

#include <array>

namespace {
// Indexed by the COLOR_ constants of Windows (COLOR_SCROLLBAR = 0 ... COLOR_MENUBAR = 30).
constexpr std::array<TColor, 31> SystemColors = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
    RGB(171, 171, 171), RGB(51, 153, 255),  RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(67, 78, 84),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234),
    RGB(215, 228, 242), RGB(51, 153, 255),  RGB(240, 240, 240)};
} // namespace

TColor GetSysColor(int32_t Index) {
    if (Index < 0 || Index >= static_cast<int32_t>(SystemColors.size())) return 0;
    return SystemColors[Index];
}

TColor ColorToRGB(TColor Color) {
    return Color < 0 ? GetSysColor(Color & 0xFF) : Color;
}
