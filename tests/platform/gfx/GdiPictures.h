// Test helpers: tiny DIB-section surfaces with their device contexts, and pictures of their
// pixels as rows of characters (one character per pixel through a legend of colours).
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/gfx/GdiInternal.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace gdi_test {

using Picture = std::vector<std::string>;

// '.' white, '#' black, 'r' red, 'g' green, 'b' blue, 'y' yellow, 'c' cyan, 'm' magenta,
// 'o' grey (128), 's' silver (192); the greys of 3-D edges: 'D' dark shadow (105), 'S' shadow
// (160), 'L' light (227), 'F' face (240).
inline const std::map<char, COLORREF>& Legend() {
    static const std::map<char, COLORREF> legend = {
        {'.', 0xFFFFFF}, {'#', 0x000000}, {'r', 0x0000FF}, {'g', 0x00FF00}, {'b', 0xFF0000},
        {'y', 0x00FFFF}, {'c', 0xFFFF00}, {'m', 0xFF00FF}, {'o', 0x808080}, {'s', 0xC0C0C0},
        {'D', 0x696969}, {'S', 0xA0A0A0}, {'L', 0xE3E3E3}, {'F', 0xF0F0F0}};
    return legend;
}

// A device context with a DIB section of the given size and depth selected, owning both.
class Surface {
public:
    Surface(int32_t width, int32_t height, uint16_t bits = 24, bool topDown = false,
            std::vector<TRGBQuad> colors = {})
        : Width(width), Height(height) {
        std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(TRGBQuad));
        auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
        bmi->bmiHeader = BITMAPINFOHEADER{};
        bmi->bmiHeader.biWidth = width;
        bmi->bmiHeader.biHeight = topDown ? -height : height;
        bmi->bmiHeader.biBitCount = bits;
        bmi->bmiHeader.biClrUsed = static_cast<uint32_t>(colors.size());
        std::copy(colors.begin(), colors.end(),
                  reinterpret_cast<TRGBQuad*>(info.data() + sizeof(BITMAPINFOHEADER)));
        Bitmap = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &Bits, nullptr, 0);
        Dc = CreateCompatibleDC(nullptr);
        Previous = SelectObject(Dc, Bitmap);
    }
    ~Surface() {
        SelectObject(Dc, Previous);
        DeleteDC(Dc);
        DeleteObject(Bitmap);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Pixel bytes of row Y (0 = top) of a bottom-up surface.
    uint8_t* Row(int32_t y, int32_t stride) const {
        return static_cast<uint8_t*>(Bits) + static_cast<ptrdiff_t>(Height - 1 - y) * stride;
    }

    void Fill(COLORREF color) const {
        for (int32_t y = 0; y < Height; ++y)
            for (int32_t x = 0; x < Width; ++x)
                SetPixel(Dc, x, y, color);
    }

    void Paint(const Picture& picture) const {
        for (size_t y = 0; y < picture.size(); ++y)
            for (size_t x = 0; x < picture[y].size(); ++x)
                SetPixel(Dc, static_cast<int32_t>(x), static_cast<int32_t>(y),
                         Legend().at(picture[y][x]));
    }

    // The picture of every pixel, the clip region set aside while reading.
    Picture Take() const {
        HRGN clip = CreateRectRgn(0, 0, 0, 0);
        const bool clipped = GetClipRgn(Dc, clip) == 1;
        SelectClipRgn(Dc, nullptr);
        Picture out;
        for (int32_t y = 0; y < Height; ++y) {
            std::string row;
            for (int32_t x = 0; x < Width; ++x) {
                const COLORREF c = GetPixel(Dc, x, y);
                char ch = '?';
                for (const auto& [key, value] : Legend())
                    if (value == c) ch = key;
                row.push_back(ch);
            }
            out.push_back(row);
        }
        if (clipped) SelectClipRgn(Dc, clip);
        DeleteObject(clip);
        return out;
    }

    int32_t Width, Height;
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Previous = nullptr;
    void* Bits = nullptr;
};

inline std::string Show(const Picture& picture) {
    std::string out = "\n";
    for (const std::string& row : picture)
        out += "  \"" + row + "\"\n";
    return out;
}

// Compares pictures and prints both on a difference.
#define EXPECT_PICTURE(surface, ...)                                                               \
    do {                                                                                           \
        const ::gdi_test::Picture expected_ = __VA_ARGS__;                                         \
        const ::gdi_test::Picture actual_ = (surface).Take();                                      \
        EXPECT_EQ(actual_, expected_) << "actual:" << ::gdi_test::Show(actual_)                    \
                                      << "expected:" << ::gdi_test::Show(expected_);               \
    } while (false)

} // namespace gdi_test
