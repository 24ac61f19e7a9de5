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

// System colours: the high byte 0xFF marks an index into the system's colour table.
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr int32_t COLOR_WINDOW = 5;
constexpr int32_t COLOR_WINDOWTEXT = 8;
constexpr int32_t COLOR_HIGHLIGHT = 13;
constexpr int32_t COLOR_BTNFACE = 15;
constexpr int32_t COLOR_BTNSHADOW = 16;
constexpr int32_t COLOR_BTNHIGHLIGHT = 20;
constexpr int32_t COLOR_3DDKSHADOW = 21;
constexpr int32_t COLOR_3DLIGHT = 22;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;

// The colour-table entry of a system colour index, 0x00BBGGRR (the classic light theme).
constexpr TColor GetSysColor(int32_t Index) {
    switch (Index) {
    case COLOR_WINDOW:
    case COLOR_BTNHIGHLIGHT:
        return 0xFFFFFF;
    case COLOR_HIGHLIGHT:
        return 0xFF9933;
    case COLOR_BTNFACE:
        return 0xF0F0F0;
    case COLOR_BTNSHADOW:
        return 0xA0A0A0;
    case COLOR_3DDKSHADOW:
        return 0x696969;
    case COLOR_3DLIGHT:
        return 0xE3E3E3;
    default:
        return 0x000000;
    }
}
// A colour with system colours resolved to their table entry.
constexpr TColor ColorToRGB(TColor Color) {
    return (Color & clSystemColor) == clSystemColor ? GetSysColor(Color & 0xFF) : Color;
}

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

// One entry of a device-independent bitmap's colour table.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};
