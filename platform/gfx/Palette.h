// Logical palettes of the drawing interface: a table of colours kept as a drawing object.
#pragma once

#include "platform/gfx/Gdi.h"

class TGdiPalette;
using HPALETTE = TGdiPalette*;

struct PALETTEENTRY {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const PALETTEENTRY&, const PALETTEENTRY&) = default;
};

// A palette description: palNumEntries of the entries are used (at most 256).
struct LOGPALETTE {
    uint16_t palVersion = 0x300;
    uint16_t palNumEntries = 0;
    PALETTEENTRY palPalEntry[256];
};

// A palette with the described entries (freed with DeleteObject); nil for a version other than
// 0x300 or an entry count of 0 or above 256.
HPALETTE CreatePalette(const LOGPALETTE* Palette);
// Copies entries Start .. Start + Count - 1 (clipped to the palette) and returns how many; with
// a nil Entries returns the palette's entry count. 0 for an invalid handle.
uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries);
