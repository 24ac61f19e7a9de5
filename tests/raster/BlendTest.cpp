// The plain blending set: its values as a table, the lookup tables against their definition,
// and MergeReg against Pillow's alpha compositing on seeded random pairs.
//
// The library's alternative multimedia set is never bound here (one arithmetic everywhere), so
// its values (opaque white over black giving 0xFEFEFEFE, ColorAverage rounding up) do not apply.
#include "RasterTesting.h"

#include "raster/RasterBlend.h"

#include <cmath>
#include <random>

using namespace raster;

namespace {

using Blend = RasterTest;

TEST_F(Blend, PlainSetIsBoundEverywhere) {
    EXPECT_FALSE(MMX_ACTIVE);
    EXPECT_EQ(BLEND_REG[cmBlend], BlendReg);
    EXPECT_EQ(BLEND_REG[cmMerge], MergeReg);
    EXPECT_EQ(BLEND_MEM_EX[cmBlend], BlendMemEx);
    EXPECT_EQ(BLEND_MEM_EX[cmMerge], MergeMemEx);
    EXPECT_EQ(BLEND_LINE_EX[cmMerge], MergeLineEx);
    EMMS();
}

TEST_F(Blend, LookupTablesRoundHalvesToEven) {
    for (int j = 0; j < 256; ++j)
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(ProductTable[j][i], std::lrint(i * j / 255.0)) << j << " " << i;
            ASSERT_EQ(ProductTable[j][i], ProductTable[i][j]);
            if (j > 0 && i <= j) {
                ASSERT_EQ(QuotientTable[j][i], std::lrint(i * 255.0 / j));
            }
        }
    EXPECT_EQ(QuotientTable[2][1], 128); // 127.5 rounds to even
    EXPECT_EQ(QuotientTable[0][77], 0);
}

TEST_F(Blend, PlainValues) {
    struct Case {
        const char* name;
        TColor32 got, expected;
    } cases[] = {
        {"CombineReg W=0", CombineReg(0x12345678, 0x9ABCDEF0, 0), 0x9ABCDEF0},
        {"CombineReg W=255", CombineReg(0x12345678, 0x9ABCDEF0, 255), 0x12345678},
        {"CombineReg W=0x10000 counts as 0", CombineReg(0x12345678, 0x9ABCDEF0, 0x10000),
         0x9ABCDEF0},
        {"CombineReg W=128", CombineReg(0xFFFFFFFF, 0x00000000, 128), 0x80808080},
        {"CombineReg W=64", CombineReg(0xFF804020, 0x00204080, 64), 0x40384068},
        {"BlendReg opaque", BlendReg(0xFFFFFFFF, 0xFF000000), 0xFFFFFFFF},
        {"BlendReg transparent", BlendReg(0x00FFFFFF, 0x12345678), 0x12345678},
        // Alpha too: floor((128*128+128)/256) + floor((255*127+128)/256) = 64 + 127.
        {"BlendReg half", BlendReg(0x80FF0000, 0xFF0000FF), 0xBF80007F},
        {"BlendRegEx M=255 Fa=128", BlendRegEx(0x80FF0000, 0xFF0000FF, 255), 0xBF80007F},
        {"BlendRegEx M=0", BlendRegEx(0xFFFFFFFF, 0x12345678, 0), 0x12345678},
        // The message popup's master alpha: alpha blended with the colours' weight 192.
        {"BlendRegEx M=0xC0", BlendRegEx(0xFFFFFFFF, 0x66000000, 0xC0), 0xD8BFBFBF},
        {"BlendRegEx opaque M=255", BlendRegEx(0xFFFFFFFF, 0xFF000000, 255), 0xFEFEFEFE},
        {"MergeReg translucent", MergeReg(0x80FF0000, 0x800000FF), 0xC0AA0055},
        {"MergeReg over opaque", MergeReg(0x80FF0000, 0xFF0000FF),
         BlendReg(0x80FF0000, 0xFF0000FF) | 0xFF000000},
        {"MergeReg Fa=0", MergeReg(0x00FF0000, 0x12345678), 0x12345678},
        {"MergeReg Ba=0", MergeReg(0x40FF0000, 0x00345678), 0x40FF0000},
        {"MergeRegEx M=0", MergeRegEx(0xFFFFFFFF, 0x80123456, 0), 0x80123456},
        {"MergeRegEx M=128", MergeRegEx(0xFFFF0000, 0x800000FF, 128),
         MergeReg(0x80FF0000, 0x800000FF)},
        {"ColorAdd", ColorAdd(0x80F01020, 0x90204060), 0xFFFF5080},
        {"ColorSub", ColorSub(0x80F01020, 0x90204060), 0x00D00000},
        {"ColorDiv by 0", ColorDiv(0x00000000, 0x12345678), 0xFFFFFFFF},
        {"ColorDiv", ColorDiv(0x80808080, 0x40404040), 0x80808080},
        {"ColorModulate", ColorModulate(0xFF80FF10, 0x80FF8010), 0x7F7F7F01},
        {"ColorMax", ColorMax(0x10F020E0, 0xF010E020), 0xF0F0E0E0},
        {"ColorMin", ColorMin(0x10F020E0, 0xF010E020), 0x10102020},
        {"ColorDifference", ColorDifference(0x10F020E0, 0xF010E020), 0xE0E0C0C0},
        {"ColorAverage rounds down", ColorAverage(0x00010000, 0), 0x00000000},
        {"ColorAverage", ColorAverage(0xFF030201, 0x01010101), 0x80020101},
        {"ColorExclusion", ColorExclusion(0xFF80FF00, 0xFF8000FF), 0x0280FFFF},
        {"ColorScale", ColorScale(0x80FF4010, 0x200), 0xFFFF8020},
        {"ColorScale half", ColorScale(0x80FF4010, 0x80), 0x407F2008},
        {"Lighten", Lighten(0x80102030, -0x20), 0x80000010},
        {"Lighten up", Lighten(0x80F0E0D0, 0x20), 0x80FFFFF0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected) << c.name << std::hex << ": 0x" << c.got;
}

TEST_F(Blend, InPlaceAndLineForms) {
    TColor32 b = 0x66000000;
    BlendMemEx(0xFFFFFFFF, b, 0xC0);
    EXPECT_EQ(b, 0xD8BFBFBFu);
    b = 0x12345678;
    BlendMemEx(0x00FFFFFF, b, 0xFF);
    EXPECT_EQ(b, 0x12345678u);
    b = 0x12345678;
    BlendMem(0xFFABCDEF, b);
    EXPECT_EQ(b, 0xFFABCDEFu);
    b = 0x12345678;
    CombineMem(0xFFFFFFFF, b, 0);
    EXPECT_EQ(b, 0x12345678u);
    MergeMem(0x80FF0000, b = 0x800000FF);
    EXPECT_EQ(b, 0xC0AA0055u);

    const std::vector<TColor32> src = {0xFFFFFFFF, 0x80FF0000, 0x00FFFFFF, 0x40102030};
    const std::vector<TColor32> dst = {0x66000000, 0xFF0000FF, 0x12345678, 0x800000FF};
    for (int32_t count : {-1, 0}) {
        std::vector<TColor32> d = dst;
        BlendLine(src.data(), d.data(), count);
        BlendLineEx(src.data(), d.data(), count, 0xC0);
        MergeLine(src.data(), d.data(), count);
        MergeLineEx(src.data(), d.data(), count, 0xC0);
        CombineLine(src.data(), d.data(), count, 0x80);
        EXPECT_EQ(d, dst);
    }
    struct Line {
        const char* name;
        std::function<void(TColor32*)> run;
        std::function<TColor32(TColor32, TColor32)> pixel;
    } lines[] = {
        {"BlendLine", [&](TColor32* d) { BlendLine(src.data(), d, 4); },
         [](TColor32 f, TColor32 b) { return BlendReg(f, b); }},
        {"BlendLineEx", [&](TColor32* d) { BlendLineEx(src.data(), d, 4, 0xC0); },
         [](TColor32 f, TColor32 b) { return BlendRegEx(f, b, 0xC0); }},
        {"MergeLine", [&](TColor32* d) { MergeLine(src.data(), d, 4); },
         [](TColor32 f, TColor32 b) { return MergeReg(f, b); }},
        {"MergeLineEx", [&](TColor32* d) { MergeLineEx(src.data(), d, 4, 0xC0); },
         [](TColor32 f, TColor32 b) { return MergeRegEx(f, b, 0xC0); }},
        {"CombineLine", [&](TColor32* d) { CombineLine(src.data(), d, 4, 0x80); },
         [](TColor32 f, TColor32 b) { return CombineReg(f, b, 0x80); }},
    };
    for (const Line& line : lines) {
        std::vector<TColor32> d = dst;
        line.run(d.data());
        for (size_t i = 0; i < d.size(); ++i)
            EXPECT_EQ(d[i], line.pixel(src[i], dst[i])) << line.name << " " << i;
    }
}

TEST_F(Blend, InterpolatorWeighsColumnsThenRows) {
    const TColor32 top[2] = {0xFFFFFFFF, 0xFF000000};
    const TColor32 bottom[2] = {0x00000000, 0x00FFFFFF};
    EXPECT_EQ(Interpolator(255, 255, top, bottom), 0xFFFFFFFFu);
    EXPECT_EQ(Interpolator(0, 0, top, bottom), 0x00FFFFFFu);
    EXPECT_EQ(Interpolator(300, 1000, top, bottom), 0xFFFFFFFFu); // weights capped at 255
    EXPECT_EQ(
        Interpolator(128, 128, top, bottom),
        CombineReg(CombineReg(top[0], top[1], 128), CombineReg(bottom[0], bottom[1], 128), 128));
}

// The merge written out from its definition, tables included (rounding halves to even), to
// hold MergeReg to it exactly at every pair of alphas: the quick outs for an opaque background
// (a blend with the alpha made opaque) and for opaque or empty layers meet the table path
// at 254 and 1.
uint32_t RoundedHalfToEven(double Value) {
    return static_cast<uint32_t>(std::nearbyint(Value));
}

uint32_t Product(uint32_t J, uint32_t I) {
    return RoundedHalfToEven(I * J / 255.0);
}

uint32_t Quotient(uint32_t J, uint32_t I) {
    return J == 0 ? 0 : RoundedHalfToEven(I * 255.0 / J) & 0xFF;
}

TColor32 PlainBlend(TColor32 F, TColor32 B) {
    const uint32_t w = F >> 24;
    if (w == 255) return F;
    if (w == 0) return B;
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8)
        result |=
            (((F >> shift & 0xFF) * w + 128) / 256 + ((B >> shift & 0xFF) * (255 - w) + 128) / 256)
            << shift;
    return result;
}

TColor32 MergeByTheRule(TColor32 F, TColor32 B) {
    const uint32_t fa = F >> 24, ba = B >> 24;
    if (fa == 0) return B;
    if (ba == 255) return PlainBlend(F, B) | 0xFF000000u;
    if (fa == 255 || ba == 0) return F;
    const uint32_t ra = fa + ba - Product(ba, fa);
    TColor32 result = ra << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t bp = static_cast<int32_t>(Product(ba, B >> shift & 0xFF));
        const int32_t d = static_cast<int32_t>(F >> shift & 0xFF) - bp;
        const int32_t x = d >= 0
                              ? bp + static_cast<int32_t>(Product(fa, static_cast<uint32_t>(d)))
                              : bp - static_cast<int32_t>(Product(fa, static_cast<uint32_t>(-d)));
        result |= Quotient(ra, static_cast<uint32_t>(x)) << shift;
    }
    return result;
}

TEST_F(Blend, MergeRegFollowsItsRuleExactlyAtEveryAlphaPair) {
    const uint32_t colours[][2] = {{0xFF0000, 0x0000FF},
                                   {0x123456, 0xFEDCBA},
                                   {0xFFFFFF, 0},
                                   {0, 0xFFFFFF},
                                   {0x7F8081, 0x818079}};
    int32_t failures = 0;
    for (const auto& [fc, bc] : colours)
        for (uint32_t fa = 0; fa < 256; ++fa)
            for (uint32_t ba = 0; ba < 256; ++ba) {
                const TColor32 f = fa << 24 | fc, b = ba << 24 | bc;
                if (MergeReg(f, b) == MergeByTheRule(f, b) || ++failures > 5) continue;
                ADD_FAILURE() << std::hex << f << " over " << b << ": " << MergeReg(f, b)
                              << ", the rule gives " << MergeByTheRule(f, b);
            }
    EXPECT_EQ(failures, 0);
}

// MergeReg composites F over B as Pillow's alpha_composite does. The library works through 8-bit
// product and quotient tables, so its error in straight (not premultiplied) colour grows as
// 255 / result alpha: the premultiplied colour stays within 2 everywhere, the straight colour
// within 2 where the result's alpha is 144 or more.
TEST_F(Blend, MergeRegAgreesWithPillow) {
    if (!PythonHas("PIL")) GTEST_SKIP() << "python3 with Pillow is not available";
    constexpr int32_t count = 100000;
    std::mt19937 random(2024);
    std::vector<TColor32> f(count), b(count);
    for (int32_t i = 0; i < count; ++i) {
        f[i] = random();
        b[i] = random();
    }
    // Pillow's RGBA bytes are red, green, blue, alpha.
    const auto bytes = [](const std::vector<TColor32>& colours) {
        std::string s;
        for (TColor32 c : colours)
            s += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c),
                  static_cast<char>(c >> 24)};
        return s;
    };
    const auto fPath = UniqueTempPath("merge-f"), bPath = UniqueTempPath("merge-b");
    WriteFileBytes(fPath, bytes(f));
    WriteFileBytes(bPath, bytes(b));
    std::string out;
    const bool ran =
        RunPython("import sys\nfrom PIL import Image\n"
                  "n = " +
                      std::to_string(count) +
                      "\n"
                      "f, b = (Image.frombytes('RGBA', (n, 1), open(p, 'rb').read()) for p in "
                      "sys.argv[1:3])\n"
                      "sys.stdout.buffer.write(Image.alpha_composite(b, f).tobytes())\n",
                  "'" + fPath.string() + "' '" + bPath.string() + "'", out);
    std::filesystem::remove(fPath);
    std::filesystem::remove(bPath);
    ASSERT_TRUE(ran);
    ASSERT_EQ(out.size(), size_t{count} * 4);
    int32_t failures = 0;
    for (int32_t i = 0; i < count && failures < 10; ++i) {
        const TColor32 m = MergeReg(f[i], b[i]);
        const auto* p = reinterpret_cast<const uint8_t*>(out.data()) + 4 * i;
        const int32_t alpha = p[3];
        bool ok = std::abs(AlphaComponent(m) - alpha) <= 1;
        const int32_t ours[3] = {RedComponent(m), GreenComponent(m), BlueComponent(m)};
        for (int k = 0; k < 3; ++k) {
            const double premultiplied =
                std::abs(ours[k] * AlphaComponent(m) - p[k] * alpha) / 255.0;
            ok = ok && premultiplied <= 2.0;
            if (alpha >= 144) ok = ok && std::abs(ours[k] - p[k]) <= 2;
        }
        if (!ok) {
            ++failures;
            ADD_FAILURE() << std::hex << "F 0x" << f[i] << " B 0x" << b[i] << " ours 0x" << m
                          << " Pillow " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << ","
                          << alpha;
        }
    }
}

} // namespace
