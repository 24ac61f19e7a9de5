// Colours as the class library keeps them: 0x00BBGGRR, with system colours in the high byte.
#pragma once

#include <cstdint>

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
// A system colour is clSystemColor or its index (the COLOR_ constants of Windows).
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clBtnFace = clSystemColor | 15;

constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;

constexpr uint8_t GetRValue(TColor Color) {
    return static_cast<uint8_t>(Color & 0xFF);
}
constexpr uint8_t GetGValue(TColor Color) {
    return static_cast<uint8_t>((Color >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(TColor Color) {
    return static_cast<uint8_t>((Color >> 16) & 0xFF);
}
constexpr TColor RGB(uint8_t R, uint8_t G, uint8_t B) {
    return static_cast<TColor>(R | (G << 8) | (B << 16));
}

// The colour the desktop uses for system colour Index, as 0x00BBGGRR (black for unknown
// indexes). These are the classic desktop defaults; there is no desktop theme to ask here.
TColor GetSysColor(int32_t Index);
// A system colour resolved to its current value; other colours unchanged.
TColor ColorToRGB(TColor Color);

// One entry of a device-independent bitmap's colour table.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};
