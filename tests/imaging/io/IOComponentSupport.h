// Helpers of the I/O component's tests: a component on its own bitmap with counted finish
// reports, images with known pixels, and pixel dumps of our bitmaps and of files as Pillow reads
// them.
#pragma once

#include "imaging/io/VistrelIO.h"
#include "tests/imaging/io/IOTestSupport.h"

#include <random>
#include <sstream>

// Red, green, blue, alpha of every pixel, rows from the top.
inline TBytes PixelsRGBA(TVLBitmap& Bitmap) {
    TBytes out;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            const TVLRGB c = Bitmap.GetPixelAsRGB(x, y);
            const uint8_t a = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaPixel(x, y) : 255;
            out.insert(out.end(), {c.r, c.g, c.b, a});
        }
    return out;
}

// A picture with smooth gradients (JPEG keeps them close) in the given format; vl8p gets a
// 16-colour palette, an alpha channel a ramp when Alpha is set.
inline void FillPicture(TVLBitmap& Bitmap, int32_t W, int32_t H, TVLPixelFormat Format,
                        bool Alpha = false) {
    ASSERT_TRUE(Bitmap.Allocate(W, H, Format));
    if (Format == TVLPixelFormat::vl8p)
        for (int32_t i = 0; i < 16; ++i)
            Bitmap.SetPaletteColor(i,
                                   TVLRGB{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 8)});
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            switch (Format) {
            case TVLPixelFormat::vl24RGB:
                row[x * 3] = uint8_t(x * 255 / W);
                row[x * 3 + 1] = uint8_t(y * 255 / H);
                row[x * 3 + 2] = uint8_t((x + y) * 127 / (W + H));
                break;
            case TVLPixelFormat::vl8g:
                row[x] = uint8_t((x + y) * 255 / (W + H));
                break;
            case TVLPixelFormat::vl8p:
                row[x] = uint8_t((x / 4 + y / 4) % 16);
                break;
            case TVLPixelFormat::vl16g:
                reinterpret_cast<uint16_t*>(row)[x] = uint16_t((x * 65535) / W);
                break;
            default:
                break;
            }
        }
    }
    if (Alpha)
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                Bitmap.GetAlphaChannel()->GetScanline(y)[x] = uint8_t((x * 7 + y * 3) & 255);
    if (Alpha) Bitmap.GetAlphaChannel()->Full = false;
}

// A new W x H 24-bit picture of seeded noise: no codec makes it much smaller.
inline void FillNoise(TVLBitmap& Bitmap, int32_t W, int32_t H, uint32_t Seed) {
    ASSERT_TRUE(Bitmap.Allocate(W, H, TVLPixelFormat::vl24RGB));
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            Bitmap.GetScanline(y)[i] = uint8_t(random());
}

// The file's pixels as Pillow reads them, in RGBA.
inline bool PillowRGBA(const TScratch& Dir, const std::string& File, TBytes& Out, int32_t& W,
                       int32_t& H) {
    std::string text;
    if (!Dir.Python("import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                    "print(im.size[0], im.size[1])\n"
                    "print(im.convert('RGBA').tobytes().hex())\n",
                    "'" + File + "'", text))
        return false;
    std::istringstream in(text);
    std::string hex;
    in >> W >> H >> hex;
    Out.clear();
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        Out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return true;
}

inline int32_t MaxDifference(const TBytes& A, const TBytes& B) {
    if (A.size() != B.size()) return 1000;
    int32_t worst = 0;
    for (size_t i = 0; i < A.size(); ++i)
        worst = std::max(worst, std::abs(int32_t(A[i]) - int32_t(B[i])));
    return worst;
}

// A component on its own bitmap that counts its finish reports.
struct TCountingIO {
    TVistrelIO IO{nullptr};
    int32_t Finishes = 0;
    TCountingIO() {
        IO.OnFinishWork = [this](TObject*) { ++Finishes; };
    }
    TVLBitmap& Bitmap() { return *IO.GetBitmap(); }
    // Finish reports since the last call.
    int32_t TakeFinishes() {
        const int32_t n = Finishes;
        Finishes = 0;
        return n;
    }
};

inline String Wide(const std::string& Text) {
    return StrFromUtf8(Text);
}
