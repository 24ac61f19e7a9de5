// Turning pictures upright by their EXIF orientation: every pixel format, both storages, the
// alpha channel, against pictures turned by ImageMagick's -auto-orient.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"

#include "TempFolder.h"
#include "tests/ExternalTool.h"

#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

struct TSourcePixel {
    int32_t x, y;
};

// Where each pixel of a 3 x 2 picture goes for orientations 1 to 8, read off
// `convert in.ppm -orient <name> -auto-orient out.ppm` on a picture whose pixels name their own
// coordinates: entry [o] lists, row by row, the source pixel that lands at each place.
const std::vector<std::vector<TSourcePixel>> TurnedThreeByTwo = {
    {},
    {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}},
    {{2, 0}, {1, 0}, {0, 0}, {2, 1}, {1, 1}, {0, 1}},
    {{2, 1}, {1, 1}, {0, 1}, {2, 0}, {1, 0}, {0, 0}},
    {{0, 1}, {1, 1}, {2, 1}, {0, 0}, {1, 0}, {2, 0}},
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}},
    {{0, 1}, {0, 0}, {1, 1}, {1, 0}, {2, 1}, {2, 0}},
    {{2, 1}, {2, 0}, {1, 1}, {1, 0}, {0, 1}, {0, 0}},
    {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}}};

// The same rule for any size: the source of pixel (x, y) of the turned picture.
TSourcePixel SourceOf(int32_t o, int32_t x, int32_t y, int32_t w, int32_t h) {
    switch (o) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {y, h - 1 - x};
    case 7:
        return {w - 1 - y, h - 1 - x};
    case 8:
        return {w - 1 - y, x};
    default:
        return {x, y};
    }
}

TEST(ExifOrientation, RuleMatchesTheReferenceTable) {
    for (int32_t o = 1; o <= 8; ++o) {
        const bool turned = o >= 5;
        const int32_t w = turned ? 2 : 3;
        for (int32_t i = 0; i < 6; ++i) {
            const TSourcePixel s = SourceOf(o, i % w, i / w, 3, 2);
            EXPECT_EQ(s.x, TurnedThreeByTwo[o][i].x) << o << " " << i;
            EXPECT_EQ(s.y, TurnedThreeByTwo[o][i].y) << o << " " << i;
        }
    }
}

uint8_t PixelByte(int32_t x, int32_t y, int32_t k) {
    return static_cast<uint8_t>(x * 37 + y * 101 + k * 7 + 1);
}

bool PixelBit(int32_t x, int32_t y) {
    return ((x * 7 + y * 13) ^ (x * y)) % 3 == 0;
}

void Fill(TVLBitmap& b) {
    const int32_t bytes = b.GetBitCount() / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t x = 0; x < b.GetWidth(); ++x) {
            if (bytes == 0) SetRowBit(row, x, PixelBit(x, y));
            for (int32_t k = 0; k < bytes; ++k)
                row[x * bytes + k] = PixelByte(x, y, k);
        }
    }
    b.UnmapAllScanlines();
}

void ExpectTurned(TVLBitmap& b, int32_t o, int32_t w, int32_t h) {
    const bool turned = o >= 5 && o <= 8;
    ASSERT_EQ(b.GetWidth(), turned ? h : w);
    ASSERT_EQ(b.GetHeight(), turned ? w : h);
    const int32_t bytes = b.GetBitCount() / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        const uint8_t* row = b.GetScanline(y);
        for (int32_t x = 0; x < b.GetWidth(); ++x) {
            const TSourcePixel s = SourceOf(o, x, y, w, h);
            if (bytes == 0) {
                ASSERT_EQ(GetRowBit(row, x) != 0, PixelBit(s.x, s.y)) << x << "," << y;
            }
            for (int32_t k = 0; k < bytes; ++k)
                ASSERT_EQ(row[x * bytes + k], PixelByte(s.x, s.y, k)) << x << "," << y << " " << k;
        }
    }
    b.UnmapAllScanlines();
}

class ExifOrientationTest : public TempFolderTest {};

TEST_F(ExifOrientationTest, EveryPixelFormatEveryOrientationBothStorages) {
    const TVLPixelFormat formats[] = {vl1g,  vl8p,   vl8g,    vl16g,    vl24RGB,
                                      vl32f, vlCMYK, vlRGB48, vlCIELab, vl32RGB};
    for (const bool inFile : {false, true}) {
        DefaultMinFileSize = inFile ? 0 : int64_t{1} << 40;
        for (const TVLPixelFormat format : formats)
            for (const auto& [w, h] : {std::pair{3, 2}, std::pair{13, 5}, std::pair{9, 9}})
                for (int32_t o = 0; o <= 9; ++o) {
                    SCOPED_TRACE(testing::Message()
                                 << "format " << int(format) << " " << w << "x" << h
                                 << " orientation " << o << (inFile ? " file" : " memory"));
                    TVLBitmap b(w, h, format);
                    ASSERT_EQ(b.GetLocation(),
                              inFile ? TVLLocation::vlFile : TVLLocation::vlMemory);
                    Fill(b);
                    ApplyExifOrientation(b, o);
                    EXPECT_EQ(b.GetPixelFormat(), format);
                    ExpectTurned(b, o, w, h);
                }
    }
}

TEST_F(ExifOrientationTest, PaletteAndAlphaChannelTurnWithThePicture) {
    DefaultMinFileSize = int64_t{1} << 40;
    for (int32_t o : {2, 5, 6, 7, 8}) {
        SCOPED_TRACE(o);
        TVLBitmap b(5, 3, vl8p);
        b.SetPaletteColor(7, MakeRGBTriple(1, 2, 3));
        Fill(b);
        TVLBitmap* alpha = b.GetAlphaChannel();
        ASSERT_NE(alpha, nullptr);
        Fill(*alpha);
        ApplyExifOrientation(b, o);
        ExpectTurned(b, o, 5, 3);
        ASSERT_EQ(b.GetAlphaChannel(), alpha); // the same alpha object, turned
        ExpectTurned(*alpha, o, 5, 3);
        TVLRGB c;
        b.GetPaletteColor(7, c);
        EXPECT_EQ(c, MakeRGBTriple(1, 2, 3));
    }
}

// A P6 picture as ImageMagick writes it: header, then width x height x 3 bytes.
bool ReadPPM(const std::string& Data, int32_t& W, int32_t& H, std::string& Pixels) {
    std::istringstream in(Data);
    std::string magic;
    int max = 0;
    in >> magic >> W >> H >> max;
    in.get();
    if (magic != "P6" || max != 255) return false;
    Pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<int64_t>(Pixels.size()) == int64_t{W} * H * 3;
}

TEST_F(ExifOrientationTest, MatchesImageMagickAutoOrient) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert is not installed");
    const char* names[] = {"",        "TopLeft",  "TopRight",    "BottomRight", "BottomLeft",
                           "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
    const int32_t w = 7, h = 4;
    std::mt19937 random(17);
    std::string pixels(w * h * 3, '\0');
    for (auto& c : pixels)
        c = static_cast<char>(random());
    const auto file = Folder / "in.ppm";
    WriteFileBytes(file, "P6\n7 4\n255\n" + pixels);
    for (int32_t o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        std::string out;
        ASSERT_TRUE(RunTool(std::string("convert '") + file.string() + "' -orient " + names[o] +
                                " -auto-orient ppm:-",
                            out));
        int32_t ew = 0, eh = 0;
        std::string expected;
        ASSERT_TRUE(ReadPPM(out, ew, eh, expected));
        TVLBitmap b(w, h, vl24RGB);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = b.GetScanline(y);
            for (int32_t x = 0; x < w * 3; x += 3) {
                // The file holds red, green, blue; the bitmap blue, green, red.
                row[x] = static_cast<uint8_t>(pixels[y * w * 3 + x + 2]);
                row[x + 1] = static_cast<uint8_t>(pixels[y * w * 3 + x + 1]);
                row[x + 2] = static_cast<uint8_t>(pixels[y * w * 3 + x]);
            }
        }
        ApplyExifOrientation(b, o);
        ASSERT_EQ(b.GetWidth(), ew);
        ASSERT_EQ(b.GetHeight(), eh);
        for (int32_t y = 0; y < eh; ++y) {
            const uint8_t* row = b.GetScanline(y);
            for (int32_t x = 0; x < ew * 3; x += 3) {
                const auto* e = reinterpret_cast<const uint8_t*>(expected.data()) + y * ew * 3 + x;
                ASSERT_EQ(row[x + 2], e[0]) << x / 3 << "," << y;
                ASSERT_EQ(row[x + 1], e[1]) << x / 3 << "," << y;
                ASSERT_EQ(row[x], e[2]) << x / 3 << "," << y;
            }
        }
    }
}

} // namespace
