// Pixel-format conversion of TVLBitmap: every ordered pair of formats against values worked out
// here from the conversion rules, alpha hand-over, storage and failure behaviour.
#include "imaging/core/VLRowToRGB.h"

#include "TempFolder.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLThreadPool.h"
#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

constexpr TVLPixelFormat AllFormats[] = {vl1g,  vl8p,   vl8g,    vl16g,    vl24RGB,
                                         vl32f, vlCMYK, vlRGB48, vlCIELab, vl32RGB};

constexpr int32_t W = 11;
constexpr int32_t H = 9;
constexpr int Samples = 9;

// Sample i sits at every pixel with (x + 2y) mod 9 = i.
int SampleAt(int32_t X, int32_t Y) {
    return (X + 2 * Y) % Samples;
}

TVLRGB Rgb(int R, int G, int B) {
    return {static_cast<uint8_t>(B), static_cast<uint8_t>(G), static_cast<uint8_t>(R)};
}

// Extremes, mid-greys, primaries, a near-white and an arbitrary colour.
const TVLRGB Colors[Samples] = {Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(128, 128, 128),
                                Rgb(255, 0, 0),     Rgb(0, 255, 0),     Rgb(0, 0, 255),
                                Rgb(252, 251, 255), Rgb(10, 200, 90),   Rgb(127, 127, 127)};
const uint8_t Levels[Samples] = {0, 255, 128, 127, 251, 250, 1, 64, 200};
const uint16_t Words[Samples] = {0, 65535, 0x8000, 0x7FFF, 0xFB00, 0xFAFF, 1, 0x4000, 0xC8C8};
const float Floats[Samples] = {
    0.0f, 1.0f, 0.5f, 0.25f, 1.5f, -0.5f, std::numeric_limits<float>::quiet_NaN(), 0.985f, 0.0039f};
const TVLRGB48 Words48[Samples] = {{0, 0, 0},
                                   {65535, 65535, 65535},
                                   {0x8000, 0x8000, 0x8000},
                                   {65535, 0, 0},
                                   {0, 65535, 0},
                                   {0, 0, 65535},
                                   {64512, 64256, 65535},
                                   {2570, 51400, 23130},
                                   {0x7FFF, 0x7FFF, 0x7FFF}};
const uint8_t Cmyk[Samples][4] = {{255, 255, 255, 255}, {0, 0, 0, 0},       {255, 255, 255, 0},
                                  {255, 0, 0, 255},     {0, 255, 0, 255},   {0, 0, 255, 255},
                                  {128, 128, 128, 255}, {200, 30, 90, 180}, {255, 255, 255, 128}};
const uint8_t Lab[Samples][3] = {{0, 0, 0},     {255, 0, 0},    {128, 0, 0},
                                 {136, 80, 67}, {224, 170, 80}, {82, 79, 149},
                                 {250, 2, 254}, {180, 200, 40}, {30, 10, 10}};

template <typename T> void Put(uint8_t* P, const T& V) {
    std::memcpy(P, &V, sizeof(T));
}
template <typename T> T Get(const uint8_t* P) {
    T v;
    std::memcpy(&v, P, sizeof(T));
    return v;
}

// A W x H bitmap of Format holding the samples of that format.
std::unique_ptr<TVLBitmap> MakeSource(TVLPixelFormat Format) {
    auto b = std::make_unique<TVLBitmap>(W, H, Format);
    if (Format == vl8p)
        for (int i = 0; i < Samples; ++i)
            b->SetPaletteColor(i, Colors[i]);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = b->GetScanline(y);
        std::memset(row, 0, b->GetRowLen());
        for (int32_t x = 0; x < W; ++x) {
            const int i = SampleAt(x, y);
            switch (Format) {
            case vl1g:
                if (i % 3 == 1) row[x / 8] |= 0x80 >> (x % 8);
                break;
            case vl8p:
                row[x] = static_cast<uint8_t>(i);
                break;
            case vl8g:
                row[x] = Levels[i];
                break;
            case vl16g:
                Put(row + 2 * x, Words[i]);
                break;
            case vl24RGB:
                Put(row + 3 * x, Colors[i]);
                break;
            case vl32f:
                Put(row + 4 * x, Floats[i]);
                break;
            case vlCMYK:
                std::memcpy(row + 4 * x, Cmyk[i], 4);
                break;
            case vlRGB48:
                Put(row + 6 * x, Words48[i]);
                break;
            case vlCIELab:
                std::memcpy(row + 3 * x, Lab[i], 3);
                break;
            case vl32RGB:
                Put(row + 4 * x, Colors[i]);
                row[4 * x + 3] = 77;
                break;
            default:
                break;
            }
        }
    }
    return b;
}

std::vector<std::vector<uint8_t>> RowsOf(TVLBitmap& B) {
    std::vector<std::vector<uint8_t>> rows;
    const auto used = static_cast<size_t>(AlignedRowLength(B.GetWidth(), B.GetBitCount(), 8));
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        const uint8_t* row = B.GetScanline(y);
        rows.emplace_back(row, row + used);
    }
    return rows;
}

int Grey8(const TVLRGB& C) {
    return (C.r * 21 + C.g * 71 + C.b * 8) / 100;
}

// What the rules make of one source pixel, in every form a destination reads.
struct Ref {
    TVLRGB Rgb;
    int Gray8;
    int Gray16;
    double GrayF;
    TVLRGB48 Rgb16;
    bool Grey; // the source format is a grey one (dither level from the grey value alone)
};

Ref FromColor(const TVLRGB& C) {
    return {C,
            Grey8(C),
            static_cast<int>((C.r * 257u * 212 + C.g * 257u * 713 + C.b * 257u * 75) / 1000),
            (C.r * 0.2126 + C.g * 0.7152 + C.b * 0.0722) / 255,
            {static_cast<uint16_t>(C.r * 257), static_cast<uint16_t>(C.g * 257),
             static_cast<uint16_t>(C.b * 257)},
            false};
}

Ref FromWord(int Word) {
    const auto high = static_cast<uint8_t>(Word >> 8);
    const auto w = static_cast<uint16_t>(Word);
    return {Rgb(high, high, high), high, Word, Word / 65535.0, {w, w, w}, true};
}

Ref ReferenceOf(TVLPixelFormat Format, TVLBitmap& Source, int32_t X, int32_t Y) {
    const int i = SampleAt(X, Y);
    switch (Format) {
    case vl1g:
        return FromWord(i % 3 == 1 ? 65535 : 0);
    case vl8p:
        return FromColor(Colors[i]);
    case vl8g: {
        Ref r = FromWord(Levels[i] * 257);
        r.GrayF = Levels[i] / 255.0;
        return r;
    }
    case vl16g:
        return FromWord(Words[i]);
    case vl24RGB:
        return FromColor(Colors[i]);
    case vl32f: {
        const float f = Floats[i];
        const double unit = std::isnan(f) ? 0 : std::clamp<double>(f, 0, 1);
        const auto byte = static_cast<uint8_t>(std::trunc(unit * 255));
        // Words are rounded (halves to even), so that 16-bit grey comes back from float exactly.
        const auto word = static_cast<uint16_t>(std::nearbyint(unit * 65535));
        return {Rgb(byte, byte, byte), byte, word, unit, {word, word, word}, true};
    }
    case vlRGB48: {
        const TVLRGB48 p = Words48[i];
        const TVLRGB high = Rgb(p.r >> 8, p.g >> 8, p.b >> 8);
        return {high,
                Grey8(high),
                static_cast<int>((p.r * 212u + p.g * 713u + p.b * 75u) / 1000),
                (p.r * 0.2126 + p.g * 0.7152 + p.b * 0.0722) / 65535,
                p,
                false};
    }
    case vlCMYK: {
        TVLRGB c;
        ConvertCMYKToRGB(Get<uint32_t>(Cmyk[i]), c);
        return FromColor(c);
    }
    case vlCIELab: {
        TVLRGB c;
        CIELabToRGB(c, Lab[i][0] | (Lab[i][1] << 8) | (Lab[i][2] << 16));
        return FromColor(c);
    }
    case vl32RGB:
        return FromColor(Colors[i]);
    default:
        (void)Source;
        return {};
    }
}

// The threshold at the mean luminance: per-row channel means, their mean, its grey level.
int MeanThreshold(TVLPixelFormat Format, TVLBitmap& Source) {
    int64_t r = 0, g = 0, b = 0;
    for (int32_t y = 0; y < H; ++y) {
        int64_t rr = 0, rg = 0, rb = 0;
        for (int32_t x = 0; x < W; ++x) {
            const TVLRGB c = ReferenceOf(Format, Source, x, y).Rgb;
            rr += c.r;
            rg += c.g;
            rb += c.b;
        }
        r += rr / W;
        g += rg / W;
        b += rb / W;
    }
    return Grey8(Rgb(static_cast<int>(r / H), static_cast<int>(g / H), static_cast<int>(b / H)));
}

void ExpectPixel(TVLPixelFormat To, TVLBitmap& Dest, const Ref& R, int32_t X, int32_t Y,
                 TVLPixelFormat From, uint8_t Method, int Threshold) {
    SCOPED_TRACE("pixel " + std::to_string(X) + "," + std::to_string(Y));
    const uint8_t* row = Dest.GetScanline(Y);
    switch (To) {
    case vl1g: {
        const bool set = (row[X / 8] & (0x80 >> (X % 8))) != 0;
        if (Method == 0) {
            const bool nearWhite =
                R.Grey ? R.Gray8 >= 251 : R.Rgb.r >= 251 && R.Rgb.g >= 251 && R.Rgb.b >= 251;
            const int level = nearWhite ? 64 : R.Gray8 / 4;
            EXPECT_EQ(set, OrderedDitherMatrix[X % 8][Y % 8] < level);
        } else {
            EXPECT_EQ(set, Grey8(R.Rgb) >= Threshold);
        }
        break;
    }
    case vl8p: {
        TVLRGB entry;
        Dest.GetPaletteColor(row[X], entry);
        if (From == vl1g) {
            EXPECT_EQ(row[X], R.Gray8 ? 1 : 0);
            EXPECT_EQ(entry, R.Rgb);
        } else if (From == vl8g || From == vl16g || From == vl32f) {
            EXPECT_EQ(row[X], R.Gray8);
            EXPECT_EQ(entry, R.Rgb);
        } else {
            EXPECT_EQ(entry, R.Rgb) << "at most nine colours: the exact set";
        }
        break;
    }
    case vl8g:
        EXPECT_EQ(row[X], R.Gray8);
        break;
    case vl16g:
        EXPECT_EQ(Get<uint16_t>(row + 2 * X), R.Gray16);
        break;
    case vl24RGB:
        EXPECT_EQ(Get<TVLRGB>(row + 3 * X), R.Rgb);
        break;
    case vl32f:
        EXPECT_FLOAT_EQ(Get<float>(row + 4 * X), static_cast<float>(R.GrayF));
        break;
    case vlRGB48:
        EXPECT_EQ(Get<TVLRGB48>(row + 6 * X), R.Rgb16);
        break;
    case vl32RGB:
        EXPECT_EQ(Get<TVLRGB>(row + 4 * X), R.Rgb);
        EXPECT_EQ(row[4 * X + 3], 255);
        break;
    case vlCMYK:
        EXPECT_EQ(Get<uint32_t>(row + 4 * X),
                  ConvertRGBToCMYK(R.Rgb.b | (R.Rgb.g << 8) | (R.Rgb.r << 16)));
        break;
    case vlCIELab: {
        uint8_t lab[3];
        RGBToCIELab(lab, R.Rgb.b | (R.Rgb.g << 8) | (R.Rgb.r << 16));
        EXPECT_EQ(std::memcmp(row + 3 * X, lab, 3), 0);
        break;
    }
    default:
        break;
    }
}

class PixelFormatConvert : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        DefaultMinFileSize = int64_t{1} << 40;
    }
};

TEST_F(PixelFormatConvert, EveryPairFollowsItsRule) {
    for (TVLPixelFormat from : AllFormats)
        for (TVLPixelFormat to : AllFormats)
            for (uint8_t method : {0, 1, 7}) {
                if (to != vl1g && method != 0) continue;
                SCOPED_TRACE("from " + std::to_string(int(from)) + " to " +
                             std::to_string(int(to)) + ", dither method " + std::to_string(method));
                auto source = MakeSource(from);
                const auto sourceRows = RowsOf(*source);
                TVLBitmap dest(W, H, to);
                dest.DefaultDitherMethod = method;
                for (int32_t y = 0; y < H; ++y)
                    std::memset(dest.GetScanline(y), 0xA5, dest.GetRowLen());
                const auto untouched = RowsOf(dest);
                dest.ConvertFrom(*source);
                // The source keeps its format and pixels, whatever route the pair takes.
                ASSERT_EQ(source->GetPixelFormat(), from);
                ASSERT_EQ(RowsOf(*source), sourceRows);
                if (from == to) {
                    EXPECT_EQ(RowsOf(dest), untouched) << "equal formats write nothing";
                    continue;
                }
                const int threshold = MeanThreshold(from, *source);
                for (int32_t y = 0; y < H; ++y)
                    for (int32_t x = 0; x < W; ++x)
                        ExpectPixel(to, dest, ReferenceOf(from, *source, x, y), x, y, from, method,
                                    threshold);
                if (HasFailure()) return;
            }
}

TEST_F(PixelFormatConvert, KnownValues) {
    TVLBitmap red(1, 1, vl24RGB);
    red.SetPixelRGB(0, 0, Rgb(255, 0, 0));
    red.SetPixelFormat(vl8g);
    EXPECT_EQ(red.GetPixel8(0, 0), 53);

    const std::pair<TVLPixelFormat, std::function<void(TVLBitmap&)>> whites[] = {
        {vl8g, [](TVLBitmap& b) { EXPECT_EQ(b.GetPixel8(0, 0), 255); }},
        {vl16g, [](TVLBitmap& b) { EXPECT_EQ(b.GetPixel16(0, 0), 65535); }},
        {vl32f, [](TVLBitmap& b) { EXPECT_EQ(b.GetPixelFloat(0, 0), 1.0f); }},
        {vlRGB48,
         [](TVLBitmap& b) {
             EXPECT_EQ(b.GetPixelRGB48(0, 0), (TVLRGB48{65535, 65535, 65535}));
         }},
    };
    for (const auto& [format, check] : whites) {
        SCOPED_TRACE(int(format));
        TVLBitmap white(1, 1, vl24RGB);
        white.SetPixelRGB(0, 0, Rgb(255, 255, 255));
        white.SetPixelFormat(format);
        ASSERT_EQ(white.GetPixelFormat(), format);
        check(white);
    }
}

TEST_F(PixelFormatConvert, WhiteSurvivesSixteenBitAndFloatRoundTrips) {
    // 48-bit white to float is exactly 1, and back to 8 bits it stays white.
    TVLBitmap b(3, 1, vlRGB48);
    b.SetPixelRGB48(0, 0, {65535, 65535, 65535});
    b.SetPixelRGB48(1, 0, {0, 0, 0});
    b.SetPixelRGB48(2, 0, {32768, 32768, 32768});
    b.SetPixelFormat(vl32f);
    EXPECT_EQ(b.GetPixelFloat(0, 0), 1.0f);
    b.SetPixelFormat(vl8g);
    EXPECT_EQ(b.GetPixel8(0, 0), 255);
    EXPECT_EQ(b.GetPixel8(1, 0), 0);
    EXPECT_EQ(b.GetPixel8(2, 0), 127);

    // Samples outside 0..1 are clamped before they are scaled.
    TVLBitmap f(3, 1, vl32f);
    f.SetPixelFloat(0, 0, 1.0039f);
    f.SetPixelFloat(1, 0, -3.0f);
    f.SetPixelFloat(2, 0, 70000.0f);
    for (TVLPixelFormat to : {vl8g, vl16g, vl24RGB, vlRGB48}) {
        SCOPED_TRACE(int(to));
        TVLBitmap dest(3, 1, to);
        dest.ConvertFrom(f);
        const TVLRGB white = Rgb(255, 255, 255);
        EXPECT_EQ(dest.GetPixelAsRGB(0, 0), white);
        EXPECT_EQ(dest.GetPixelAsRGB(1, 0), Rgb(0, 0, 0));
        EXPECT_EQ(dest.GetPixelAsRGB(2, 0), white);
    }
}

TEST_F(PixelFormatConvert, SixteenBitGreyThroughFloatComesBackExactly) {
    TVLBitmap b(256, 256, vl16g);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x)
            b.SetPixel16(x, y, static_cast<uint16_t>(y * 256 + x));
    b.SetPixelFormat(vl32f);
    b.SetPixelFormat(vl16g);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x)
            ASSERT_EQ(b.GetPixel16(x, y), y * 256 + x); // truncation lost one level on half
}

TEST_F(PixelFormatConvert, OrderedDitherLevels) {
    struct Case {
        uint8_t Level;
        int BitsPerBlock;
    };
    // Grey 128 sets the 32 matrix cells below 32; white and near-white set all 64.
    for (const Case c :
         {Case{0, 0}, Case{128, 32}, Case{127, 31}, Case{250, 62}, Case{251, 64}, Case{255, 64}}) {
        SCOPED_TRACE(int(c.Level));
        TVLBitmap grey(16, 16, vl8g);
        grey.Fill(c.Level);
        grey.DefaultDitherMethod = 0;
        grey.SetPixelFormat(vl1g);
        int set = 0;
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x)
                set += GetRowBit(grey.GetScanline(y), x) ? 1 : 0;
        EXPECT_EQ(set, c.BitsPerBlock);
        // Every 8 x 8 block repeats the first.
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                ASSERT_EQ(GetRowBit(grey.GetScanline(y), x) != 0,
                          GetRowBit(grey.GetScanline(y % 8), x % 8) != 0);
    }
    // A float image of 0.5 dithers like grey 127.
    TVLBitmap half(8, 8, vl32f);
    half.Fill(0.5);
    half.DefaultDitherMethod = 0;
    half.SetPixelFormat(vl1g);
    TVLBitmap grey(8, 8, vl8g);
    grey.Fill(127);
    grey.DefaultDitherMethod = 0;
    grey.SetPixelFormat(vl1g);
    EXPECT_EQ(RowsOf(half), RowsOf(grey));
}

TEST_F(PixelFormatConvert, AnUnknownDitherMethodThresholds) {
    auto gradient = [] {
        auto b = std::make_unique<TVLBitmap>(32, 4, vl8g);
        for (int32_t x = 0; x < 32; ++x)
            for (int32_t y = 0; y < 4; ++y)
                b->SetPixel8(x, y, static_cast<uint8_t>(x * 8));
        return b;
    };
    auto threshold = gradient();
    threshold->DefaultDitherMethod = 1;
    threshold->SetPixelFormat(vl1g);
    auto unknown = gradient();
    unknown->DefaultDitherMethod = 9;
    unknown->SetPixelFormat(vl1g);
    EXPECT_EQ(RowsOf(*unknown), RowsOf(*threshold));
    // Mean 124: the columns from 16 (level 128) up are white.
    EXPECT_FALSE(GetRowBit(unknown->GetScanline(0), 15));
    EXPECT_TRUE(GetRowBit(unknown->GetScanline(0), 16));
}

TEST_F(PixelFormatConvert, SetPixelFormatKeepsTheAlphaChannelThroughEveryPair) {
    for (TVLPixelFormat from : AllFormats)
        for (TVLPixelFormat to : AllFormats) {
            if (from == to) continue;
            SCOPED_TRACE(std::to_string(int(from)) + " to " + std::to_string(int(to)));
            auto b = MakeSource(from);
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x)
                    b->SetAlphaPixel(x, y, static_cast<uint8_t>(x * 20 + y));
            b->SetPixelFormat(to);
            ASSERT_EQ(b->GetPixelFormat(), to);
            ASSERT_TRUE(b->HasAlphaChannel());
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x)
                    ASSERT_EQ(b->GetAlphaPixel(x, y), static_cast<uint8_t>(x * 20 + y));
        }
}

TEST_F(PixelFormatConvert, ConvertFromHandsTheAlphaChannelOver) {
    auto source = MakeSource(vl24RGB);
    source->SetAlphaPixel(3, 4, 9);
    TVLBitmap dest(W, H, vl8g);
    dest.ConvertFrom(*source);
    EXPECT_FALSE(source->HasAlphaChannel());
    ASSERT_TRUE(dest.HasAlphaChannel());
    EXPECT_EQ(dest.GetAlphaPixel(3, 4), 9);

    // Another size, or a class-library destination: nothing at all changes.
    auto other = MakeSource(vl24RGB);
    other->SetAlphaPixel(0, 0, 5);
    TVLBitmap wrongSize(W + 1, H, vl8g);
    wrongSize.ConvertFrom(*other);
    EXPECT_TRUE(other->HasAlphaChannel());
    EXPECT_FALSE(wrongSize.HasAlphaChannel());
    TVLBitmap classBitmap;
    classBitmap.SetLocation(vlTBitmap);
    ASSERT_TRUE(classBitmap.Allocate(W, H, vl8g));
    classBitmap.ConvertFrom(*other);
    EXPECT_TRUE(other->HasAlphaChannel());
}

TEST_F(PixelFormatConvert, PaletteFromTheQuantizerForPaletteUsedColours) {
    auto image = std::make_unique<TVLBitmap>(64, 48, vl24RGB);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            image->SetPixelRGB(x, y, Rgb(x * 4, y * 5, (x * y) & 255));
    std::vector<TVLRGB> expected(16);
    TVLQuantizer quantizer(*image, expected, 16);

    TVLBitmap copy;
    copy.Assign(image.get());
    copy.PaletteUsed = 16;
    copy.SetPixelFormat(vl8p);
    ASSERT_EQ(copy.GetPixelFormat(), vl8p);
    for (int i = 0; i < 16; ++i) {
        TVLRGB entry;
        copy.GetPaletteColor(i, entry);
        EXPECT_EQ(entry, expected[i]) << i;
    }
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            ASSERT_EQ(copy.GetPixel8(x, y), quantizer.RGBToIndex(image->GetPixelRGB(x, y)));

    // Counts outside 1..256 stay inside the 8-bit palette.
    for (int32_t used : {0, 1000}) {
        SCOPED_TRACE(used);
        TVLBitmap b;
        b.Assign(image.get());
        b.PaletteUsed = used;
        b.SetPixelFormat(vl8p);
        EXPECT_EQ(b.GetPixelFormat(), vl8p);
    }
}

TEST_F(PixelFormatConvert, FileLocatedBitmapsConvertLikeMemoryOnes) {
    for (TVLPixelFormat from : {vl8p, vl24RGB, vlRGB48, vlCMYK})
        for (TVLPixelFormat to : AllFormats) {
            if (from == to) continue;
            SCOPED_TRACE(std::to_string(int(from)) + " to " + std::to_string(int(to)));
            DefaultMinFileSize = int64_t{1} << 40;
            auto memory = MakeSource(from);
            memory->DefaultDitherMethod = 0;
            DefaultMinFileSize = 0;
            auto file = MakeSource(from);
            file->DefaultDitherMethod = 0;
            ASSERT_EQ(file->GetLocation(), vlFile);
            memory->SetPixelFormat(to);
            file->SetPixelFormat(to);
            EXPECT_EQ(RowsOf(*memory), RowsOf(*file));
        }
}

TEST_F(PixelFormatConvert, StorageThatCannotBeHadLeavesTheImage) {
    // A row of 360,000,000 vlRGB48 pixels is longer than any row can be; as vl1g it is 45 MB.
    const int32_t width = 360000000;
    TVLBitmap b(width, 1, vl1g);
    ASSERT_EQ(b.GetPixelFormat(), vl1g);
    b.GetScanline(0)[0] = 0xA0;
    b.GetScanline(0)[width / 8 - 1] = 0x05;
    EXPECT_THROW(b.SetPixelFormat(vlRGB48), EOutOfMemory);
    EXPECT_EQ(b.GetPixelFormat(), vl1g);
    EXPECT_EQ(b.GetWidth(), width);
    EXPECT_EQ(b.GetScanline(0)[0], 0xA0);
    EXPECT_EQ(b.GetScanline(0)[width / 8 - 1], 0x05);
}

TEST_F(PixelFormatConvert, ClassLibraryBitmapConversions) {
    // 1 bit to 24 bits: set bits white, clear bits black, in the same class-library bitmap.
    TVLBitmap mono;
    mono.SetLocation(vlTBitmap);
    ASSERT_TRUE(mono.Allocate(10, 2, vl1g));
    TBitmap* vcl = mono.GetVclBitmap();
    static_cast<uint8_t*>(vcl->ScanLine(0))[0] = 0xC0;
    static_cast<uint8_t*>(vcl->ScanLine(0))[1] = 0x40;
    mono.SetPixelFormat(vl24RGB);
    EXPECT_EQ(mono.GetVclBitmap(), vcl);
    EXPECT_EQ(vcl->PixelFormat(), pf24bit);
    EXPECT_EQ(mono.GetPixelFormat(), vl24RGB);
    for (int32_t x = 0; x < 10; ++x)
        EXPECT_EQ(mono.GetPixelRGB(x, 0),
                  (x == 0 || x == 1 || x == 9) ? Rgb(255, 255, 255) : Rgb(0, 0, 0))
            << x;

    // 24 bits to 1 bit by each method, and to grey.
    auto colour = MakeSource(vl24RGB);
    for (uint8_t method : {0, 1}) {
        SCOPED_TRACE(int(method));
        TVLBitmap classBitmap;
        classBitmap.SetLocation(vlTBitmap);
        classBitmap.Assign(colour.get());
        classBitmap.DefaultDitherMethod = method;
        classBitmap.SetPixelFormat(vl1g);
        EXPECT_EQ(classBitmap.GetVclBitmap()->PixelFormat(), pf1bit);
        TVLBitmap expected(W, H, vl1g);
        expected.DefaultDitherMethod = method;
        auto again = MakeSource(vl24RGB);
        expected.ConvertFrom(*again);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                ASSERT_EQ(GetRowBit(classBitmap.GetScanline(y), x) != 0,
                          GetRowBit(expected.GetScanline(y), x) != 0);
    }
    TVLBitmap toGrey;
    toGrey.SetLocation(vlTBitmap);
    toGrey.Assign(colour.get());
    toGrey.SetPixelFormat(vl8g);
    EXPECT_EQ(toGrey.GetPixelFormat(), vl8g);
    EXPECT_EQ(toGrey.GetPixel8(3, 0), 53); // sample 3 is pure red

    // Formats no class-library bitmap holds are converted in memory, never stored over rows of
    // another size; vl16g is held as vl8g there.
    for (TVLPixelFormat to : {vl32f, vlCMYK, vlRGB48, vlCIELab, vl16g}) {
        SCOPED_TRACE(int(to));
        TVLBitmap classBitmap;
        classBitmap.SetLocation(vlTBitmap);
        classBitmap.Assign(colour.get());
        classBitmap.SetPixelFormat(to);
        const TVLPixelFormat held = to == vl16g ? vl8g : to;
        EXPECT_EQ(classBitmap.GetPixelFormat(), held);
        EXPECT_EQ(classBitmap.GetLocation() == vlTBitmap, to == vl16g);
        TVLBitmap expected(W, H, held);
        auto again = MakeSource(vl24RGB);
        expected.ConvertFrom(*again);
        for (int32_t y = 0; y < H; ++y)
            ASSERT_EQ(std::memcmp(classBitmap.GetScanline(y), expected.GetScanline(y),
                                  PixelFormatInfo(held).BitCount * W / 8),
                      0)
                << y;
        classBitmap.Fill(0); // overran the class bitmap's rows
    }
    // Other pairs keep the pixels and the fields say what the class bitmap holds.
    TVLBitmap kept;
    kept.SetLocation(vlTBitmap);
    kept.Assign(colour.get());
    kept.SetPixelFormat(vl32RGB);
    EXPECT_EQ(kept.GetPixelFormat(), vl24RGB);
    EXPECT_EQ(kept.GetRowLen(), kept.GetVclBitmap()->RowLength());
    kept.Fill(0);

    // An empty class-library bitmap takes the 1-bit and 24-bit formats.
    TVLBitmap empty;
    empty.SetLocation(vlTBitmap);
    ASSERT_TRUE(empty.Allocate(1, 1, vl8g));
    empty.GetVclBitmap()->SetSize(0, 0);
    empty.SetPixelFormat(vl1g);
    EXPECT_EQ(empty.GetVclBitmap()->PixelFormat(), pf1bit);
}

// Rows are converted in bands on the library's threads where the pair allows it: every pair, on
// random pixels tall enough for several bands, gives the bytes of one thread with 2, 3 and 8.
TEST_F(PixelFormatConvert, EveryThreadCountGivesTheSameBytes) {
    std::mt19937 random(2718);
    for (TVLPixelFormat from : AllFormats)
        for (TVLPixelFormat to : AllFormats) {
            if (from == to) continue;
            SCOPED_TRACE(std::to_string(int(from)) + " to " + std::to_string(int(to)));
            TVLBitmap source(37, 203, from);
            if (from == vl8p)
                for (int i = 0; i < 256; ++i)
                    source.SetPaletteColor(i, TVLRGB{static_cast<uint8_t>(random()),
                                                     static_cast<uint8_t>(random()),
                                                     static_cast<uint8_t>(random())});
            for (int32_t y = 0; y < source.GetHeight(); ++y) {
                uint8_t* row = source.GetScanline(y);
                for (int32_t i = 0; i < source.GetRowLen(); ++i)
                    row[i] = static_cast<uint8_t>(random());
            }
            auto convert = [&](int32_t Threads) {
                VLThreadCount = Threads;
                TVLBitmap dest(source.GetWidth(), source.GetHeight(), to);
                dest.ConvertFrom(source);
                VLThreadCount = 0;
                return RowsOf(dest);
            };
            const auto one = convert(1);
            for (const int32_t threads : {2, 3, 8})
                EXPECT_EQ(convert(threads), one) << threads << " threads";
        }
}

TEST(RowToRGB, ReadsEveryFormatAsTheConversionToRGBDoes) {
    for (TVLPixelFormat format : AllFormats) {
        SCOPED_TRACE(int(format));
        auto source = MakeSource(format);
        TVLBitmap converted(W, H, vl24RGB);
        if (format == vl24RGB)
            converted.Assign(source.get());
        else
            converted.ConvertFrom(*source);
        const TVLRowToRGB reader(*source);
        std::vector<TVLRGB> pixels(W);
        for (int32_t y = 0; y < H; ++y) {
            reader.Read(source->GetScanline(y), pixels.data());
            EXPECT_EQ(std::memcmp(pixels.data(), converted.GetScanline(y), 3 * W), 0);
        }
    }
}

} // namespace
