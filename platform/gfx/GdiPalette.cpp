// Logical palettes as registered drawing objects.
#include "platform/gfx/Palette.h"

#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <vector>

class TGdiPalette : public TGdiObject {
public:
    std::vector<PALETTEENTRY> Entries;
};

HPALETTE CreatePalette(const LOGPALETTE* Palette) {
    if (Palette == nullptr || Palette->palVersion != 0x300 || Palette->palNumEntries == 0 ||
        Palette->palNumEntries > 256)
        return nullptr;
    auto palette = std::make_unique<TGdiPalette>();
    palette->Entries.assign(Palette->palPalEntry, Palette->palPalEntry + Palette->palNumEntries);
    return platform::detail::Register(std::move(palette));
}

uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count,
                           PALETTEENTRY* Entries) {
    auto* palette = platform::detail::Lookup<TGdiPalette>(Palette);
    if (palette == nullptr) return 0;
    const auto size = static_cast<uint32_t>(palette->Entries.size());
    if (Entries == nullptr) return size;
    if (Start >= size) return 0;
    const uint32_t n = std::min(Count, size - Start);
    std::copy_n(palette->Entries.begin() + Start, n, Entries);
    return n;
}
