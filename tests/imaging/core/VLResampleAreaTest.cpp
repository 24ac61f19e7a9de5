// Area bilinear and bicubic resampling, the nearest-neighbour stretch of every pixel format and
// row bit-depth conversion, on small images worked by hand.
#include "imaging/core/VLResampleArea.h"

#include "ResampleTestUtil.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLThreadPool.h"
#include "tests/ExternalTool.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

struct SampleFormat {
    TVLPixelFormat Format;
    int Channels;
    int Bytes; // per sample
};
const SampleFormat AreaFormats[] = {{vl8g, 1, 1}, {vl24RGB, 3, 1}, {vl16g, 1, 2}, {vlRGB48, 3, 2}};

// A row of samples, each repeated for every channel, as 8- or 16-bit little-endian samples.
std::vector<uint8_t> SampleRow(const std::vector<int>& Values, const SampleFormat& F) {
    std::vector<uint8_t> row;
    for (int v : Values)
        for (int c = 0; c < F.Channels; ++c) {
            row.push_back(static_cast<uint8_t>(v & 0xFF));
            if (F.Bytes == 2) row.push_back(static_cast<uint8_t>(v >> 8));
        }
    return row;
}

// Every sample of a row of the given format.
std::vector<int> Samples(const std::vector<uint8_t>& Row, const SampleFormat& F) {
    std::vector<int> values;
    for (size_t i = 0; i < Row.size(); i += F.Bytes)
        values.push_back(F.Bytes == 2 ? Row[i] | (Row[i + 1] << 8) : Row[i]);
    return values;
}

std::vector<int> Repeat(const std::vector<int>& Values, int Channels) {
    std::vector<int> out;
    for (int v : Values)
        out.insert(out.end(), Channels, v);
    return out;
}

void Resample(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
              const TVLProgressEvent& Progress = nullptr) {
    const TVLPixelFormat f = Source.GetPixelFormat();
    if (f == vl16g || f == vlRGB48)
        ResampleBilinearBicubic16(Source, Dest, Bicubic, Progress);
    else
        ResampleBilinearBicubic8(Source, Dest, Bicubic, Progress);
}

class AreaResample : public ResampleTest {};

TEST_F(AreaResample, HalvingGivesTheMeanOfEachBlockRoundedHalfToEven) {
    // Blocks (top-left, top-right, bottom-left, bottom-right) and their rounded means.
    const std::vector<int> top = {1, 2, 1, 1, 2, 3, 3, 3, 5, 6};
    const std::vector<int> bottom = {3, 4, 2, 2, 2, 3, 4, 4, 6, 6};
    const std::vector<int> means = {2, 2, 2, 4, 6}; // 2.5, 1.5, 2.5, 3.5, 5.75
    for (const SampleFormat& f : AreaFormats)
        for (bool bicubic : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(f.Format)) + (bicubic ? " bicubic" : ""));
            auto source = Make({SampleRow(top, f), SampleRow(bottom, f)}, 10, f.Format);
            auto dest = Make(5, 1, f.Format);
            Resample(*source, *dest, bicubic);
            EXPECT_EQ(Samples(GetRows(*dest)[0], f), Repeat(means, f.Channels));
        }
}

TEST_F(AreaResample, DoublingTakesEachCutsValueAtItsFarEnd) {
    // gx = 0.5: the first pixel is the value at 0.5 (127.5) over half a pixel, times 2, rounded
    // half to even; the others lie on or beyond the second source pixel.
    for (Where where : {Where::Memory, Where::File})
        for (bool bicubic : {false, true}) {
            SCOPED_TRACE(std::string(WhereName(where)) + (bicubic ? " bicubic" : " bilinear"));
            auto row = Make({{0, 255}}, 2, vl8g, where);
            auto wide = Make(4, 1, vl8g, where);
            ResampleBilinearBicubic8(*row, *wide, bicubic);
            EXPECT_EQ(GetRows(*wide), Rows({{128, 255, 255, 255}}));

            auto column = Make({{0}, {255}}, 1, vl8g, where);
            auto tall = Make(1, 4, vl8g, where);
            ResampleBilinearBicubic8(*column, *tall, bicubic);
            EXPECT_EQ(GetRows(*tall), Rows({{128}, {255}, {255}, {255}}));
        }
}

TEST_F(AreaResample, AnAxisAtScaleOneIsAveragedNotInterpolated) {
    // gx = 1 exactly: interpolating across would shift the row to (200, 200).
    auto source = Make({{0, 200}}, 2, vl8g);
    auto dest = Make(2, 2, vl8g);
    ResampleBilinearBicubic8(*source, *dest, false);
    EXPECT_EQ(GetRows(*dest), Rows({{0, 200}, {0, 200}}));
}

TEST_F(AreaResample, FlatImagesStayFlatInEveryAxisMode) {
    struct Size {
        int32_t SW, SH, DW, DH;
    };
    const Size sizes[] = {{7, 5, 13, 11}, {13, 5, 7, 11}, {7, 11, 13, 5}, {13, 11, 7, 5}};
    for (const SampleFormat& f : AreaFormats)
        for (const Size& s : sizes)
            for (bool bicubic : {false, true}) {
                SCOPED_TRACE(std::to_string(static_cast<int>(f.Format)) + " " +
                             std::to_string(s.DW) + "x" + std::to_string(s.DH));
                const int level = f.Bytes == 2 ? 50001 : 77;
                auto source =
                    Make(Rows(s.SH, SampleRow(std::vector<int>(s.SW, level), f)), s.SW, f.Format);
                auto dest = Make(s.DW, s.DH, f.Format);
                Resample(*source, *dest, bicubic);
                for (const auto& row : GetRows(*dest))
                    ASSERT_EQ(Samples(row, f), std::vector<int>(s.DW * f.Channels, level));
            }
}

TEST_F(AreaResample, SixteenBitSamplesFollowTheEightBitPath) {
    // The same picture in 8 bits and shifted into the high byte of 16-bit words resamples to the
    // same levels within one 8-bit step, in every axis mode.
    const int32_t SW = 9, SH = 7;
    Rows rows8, rows16;
    const SampleFormat gray8{vl8g, 1, 1}, gray16{vl16g, 1, 2};
    for (int32_t y = 0; y < SH; ++y) {
        std::vector<int> values;
        for (int32_t x = 0; x < SW; ++x)
            values.push_back((x * 53 + y * 97 + x * y * 13) % 256);
        rows8.push_back(SampleRow(values, gray8));
        std::vector<int> shifted;
        for (int v : values)
            shifted.push_back(v << 8);
        rows16.push_back(SampleRow(shifted, gray16));
    }
    for (auto [DW, DH] : {std::pair{20, 15}, {20, 4}, {4, 15}, {4, 3}})
        for (bool bicubic : {false, true}) {
            SCOPED_TRACE(std::to_string(DW) + "x" + std::to_string(DH) +
                         (bicubic ? " bicubic" : ""));
            auto source8 = Make(rows8, SW, vl8g);
            auto source16 = Make(rows16, SW, vl16g, Where::File);
            auto dest8 = Make(DW, DH, vl8g);
            auto dest16 = Make(DW, DH, vl16g, Where::File);
            Resample(*source8, *dest8, bicubic);
            Resample(*source16, *dest16, bicubic);
            const Rows out8 = GetRows(*dest8), out16 = GetRows(*dest16);
            for (int32_t y = 0; y < DH; ++y) {
                const std::vector<int> a = Samples(out8[y], gray8), b = Samples(out16[y], gray16);
                for (int32_t x = 0; x < DW; ++x)
                    ASSERT_LE(std::abs(b[x] - a[x] * 256), 256) << x << "," << y;
            }
        }
}

TEST_F(AreaResample, ReportsProgressAfterEveryDestinationRow) {
    auto source = Make(Rows(5, std::vector<uint8_t>(4, 9)), 4, vl8g);
    auto dest = Make(2, 3, vl8g);
    ProgressLog log;
    ResampleBilinearBicubic8(*source, *dest, false, log.Event());
    EXPECT_EQ(log.Values, std::vector<int32_t>({33, 66, 100}));
}

TEST_F(AreaResample, OtherFormatsAndMismatchedDestinationsAreLeftAlone) {
    auto bits = Make({{0xFF}}, 8, vl1g);
    auto bitsDest = Make(4, 1, vl1g);
    SetRows(*bitsDest, {{0x5A}});
    ResampleBilinearBicubic8(*bits, *bitsDest, false);
    EXPECT_EQ(GetRows(*bitsDest), Rows({{0x5A}}));

    auto gray = Make({{10, 20}}, 2, vl8g);
    auto rgb = Make(4, 1, vl24RGB);
    SetRows(*rgb, {std::vector<uint8_t>(12, 7)});
    ResampleBilinearBicubic8(*gray, *rgb, true);
    EXPECT_EQ(GetRows(*rgb), Rows({std::vector<uint8_t>(12, 7)}));
    ResampleBilinearBicubic16(*gray, *rgb, true);
    EXPECT_EQ(GetRows(*rgb), Rows({std::vector<uint8_t>(12, 7)}));
}

Rows RandomRows(std::mt19937& Random, int32_t Height, size_t Bytes) {
    Rows rows(Height, std::vector<uint8_t>(Bytes));
    for (auto& row : rows)
        for (uint8_t& b : row)
            b = static_cast<uint8_t>(Random());
    return rows;
}

// A reduction is the exact mean over each destination pixel's footprint, rounded half to even:
// ImageMagick's -scale computes the same area average but rounds a mean half-way between two
// levels up, and with small footprints (16 pixels, 40/13 rows) a few percent of the means are
// half-way. Spans of one to many pixels, edges that
// fall inside pixels and on their borders, an axis kept at its size.
TEST_F(AreaResample, ReductionsAreTheAreaMeansImageMagickScaleGives) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert is missing");
    struct Size {
        int32_t SW, SH, DW, DH;
    };
    const Size sizes[] = {{97, 61, 31, 17}, {64, 48, 16, 12}, {50, 40, 50, 13},
                          {300, 7, 7, 3},   {41, 29, 40, 28}, {23, 150, 1, 1}};
    std::mt19937 random(4071);
    ScratchFolder folder;
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.SW << "x" << s.SH << " to " << s.DW << "x" << s.DH);
        const Rows pixels = RandomRows(random, s.SH, static_cast<size_t>(s.SW) * 3);
        std::string ppm = "P6\n" + std::to_string(s.SW) + " " + std::to_string(s.SH) + "\n255\n";
        for (const auto& row : pixels)
            for (size_t x = 0; x < row.size(); x += 3)
                ppm += {static_cast<char>(row[x + 2]), static_cast<char>(row[x + 1]),
                        static_cast<char>(row[x])};
        folder.Write("in.ppm", std::vector<uint8_t>(ppm.begin(), ppm.end()));
        std::ostringstream command;
        command << "convert '" << folder.File("in.ppm") << "' -scale " << s.DW << "x" << s.DH
                << "! ppm:-";
        std::string reference;
        ASSERT_TRUE(folder.Run(command.str(), reference));
        const size_t bytes = static_cast<size_t>(s.DW) * s.DH * 3;
        ASSERT_GE(reference.size(), bytes);
        const std::string expected = reference.substr(reference.size() - bytes);

        auto source = Make(pixels, s.SW, vl24RGB);
        auto dest = Make(s.DW, s.DH, vl24RGB);
        ResampleBilinearBicubic8(*source, *dest, false);
        const Rows out = GetRows(*dest);
        int32_t unequal = 0;
        for (int32_t y = 0; y < s.DH; ++y)
            for (int32_t x = 0; x < s.DW * 3; ++x) {
                const int ours = out[y][x];
                const auto theirs = static_cast<uint8_t>(
                    expected[(static_cast<size_t>(y) * s.DW + x / 3) * 3 + 2 - x % 3]);
                ASSERT_LE(std::abs(ours - theirs), 1) << x << "," << y;
                unequal += ours != theirs;
            }
        EXPECT_LE(unequal, s.DW * s.DH * 3 * 4 / 100);
    }
}

// The vector forms of a reduction (32-bit sums across by multiply-adds, the weighted rows and
// the division in vector lanes; AVX2 where the processor has it, and SSE) give the bytes of the
// plain loops, on every thread count: random
// sizes (spans of one pixel to the whole row, spans reaching the row's end), in memory and in a
// file, every sample format.
TEST_F(AreaResample, ReductionsGiveTheSameBytesInEveryFormAndThreadCount) {
    std::mt19937 random(2208);
    std::uniform_int_distribution<int32_t> size(1, 300);
    for (int round = 0; round < 30; ++round) {
        const int32_t SW = size(random), SH = size(random);
        const int32_t DW = std::max(1, SW / (1 + round % 11) - round % 3);
        const int32_t DH = std::max(1, SH / (1 + round % 7) - round % 2);
        const Where where = round % 5 == 4 ? Where::File : Where::Memory;
        for (const SampleFormat& f : AreaFormats) {
            SCOPED_TRACE(testing::Message()
                         << SW << "x" << SH << " to " << DW << "x" << DH << " format "
                         << static_cast<int>(f.Format) << " in " << WhereName(where));
            const Rows pixels =
                RandomRows(random, SH, static_cast<size_t>(SW) * f.Channels * f.Bytes);
            auto source = Make(pixels, SW, f.Format, where);
            auto resample = [&](const TKernelForm& Form, int32_t Threads) {
                ResampleVectorKernels = Form.Vector;
                ResampleAvx2Kernels = Form.Avx2;
                VLThreadCount = Threads;
                auto dest = Make(DW, DH, f.Format, where);
                Resample(*source, *dest, round % 2 == 0);
                ResampleVectorKernels = ResampleAvx2Kernels = true;
                VLThreadCount = 0;
                return GetRows(*dest);
            };
            const Rows plain = resample(KernelForms[2], 1);
            for (const TKernelForm& form : KernelForms)
                for (const int32_t threads : {1, 2, 3, 8})
                    EXPECT_EQ(resample(form, threads), plain)
                        << form.Name << ", " << threads << " threads";
        }
    }
}

TEST(CubicInterpolate, WeightsTheFourSamplesAndClamps) {
    struct Case {
        int32_t P0, P1, P2;
        double T;
        int32_t P3;
        double Max, Expected;
    };
    const Case cases[] = {
        {0, 0, 255, 0.5, 255, 255, 127.5}, // 0.625 and -0.125 weights
        {0, 255, 255, 0.5, 0, 255, 255},   // 318.75 lowered to Max
        {255, 0, 0, 0.5, 255, 255, 0},     // -63.75 raised to Min
        {0, 255, 255, 0.5, 0, 65535, 318.75}, {9, 20, 30, 0, 40, 255, 20}, // T = 0 is P1
        {9, 20, 30, 1, 40, 255, 30},                                       // T = 1 is P2
        {0, 100, 0, 0.25, 0, 255, 89.0625}, // (0.25^3 - 2 x 0.25^2 + 1) x 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        EXPECT_DOUBLE_EQ(CubicInterpolate(c.P0, c.P1, c.P2, c.T, c.P3, 0, c.Max), c.Expected);
    }
}

// ---- nearest-neighbour stretch ----

class NearestStretch : public ResampleTest {};

// A pixel of the given format made of bytes distinct for every (x, y).
std::vector<uint8_t> DistinctPixel(int Bytes, int32_t X, int32_t Y) {
    std::vector<uint8_t> pixel;
    for (int i = 0; i < Bytes; ++i)
        pixel.push_back(static_cast<uint8_t>(X * 16 + Y * 4 + i + 1));
    return pixel;
}

int BitAt(const std::vector<uint8_t>& Row, int32_t X) {
    return (Row[X / 8] >> (7 - X % 8)) & 1;
}

// Bit pattern of the 1-bit test pictures: varied enough that any wrong column or row shows.
int PatternBit(int32_t X, int32_t Y) {
    return ((X * 5 + Y * 3) % 7) < 3;
}

TEST_F(NearestStretch, CopiesWholePixelsOfEveryFormatByTheColumnAndRowMaps) {
    struct Size {
        int32_t S, D;
        std::vector<int32_t> Map; // source index of each destination index
    };
    const Size sizes[] = {{3, 2, {0, 1}}, {3, 6, {0, 0, 1, 1, 2, 2}}, {7, 3, {0, 2, 4}}};
    for (int f = 1; f < VLPixelFormatCount; ++f)
        for (Where where : {Where::Memory, Where::File})
            for (const Size& s : sizes) {
                const auto format = static_cast<TVLPixelFormat>(f);
                const int bits = PixelFormatInfo(format).BitCount;
                SCOPED_TRACE("format " + std::to_string(f) + " " + WhereName(where) + " " +
                             std::to_string(s.S) + " to " + std::to_string(s.D));
                auto source = Make(s.S, s.S, format, where);
                Rows rows(s.S);
                for (int32_t y = 0; y < s.S; ++y) {
                    if (bits == 1) {
                        rows[y].assign((s.S + 7) / 8, 0);
                        for (int32_t x = 0; x < s.S; ++x)
                            rows[y][x / 8] |= PatternBit(x, y) << (7 - x % 8);
                    } else {
                        for (int32_t x = 0; x < s.S; ++x) {
                            const auto p = DistinctPixel(bits / 8, x, y);
                            rows[y].insert(rows[y].end(), p.begin(), p.end());
                        }
                    }
                }
                SetRows(*source, rows);
                auto dest = Make(s.D, s.D, format, where);
                _VLBmpStretchEx(*source, *dest);
                const Rows out = GetRows(*dest);
                for (int32_t j = 0; j < s.D; ++j)
                    for (int32_t k = 0; k < s.D; ++k) {
                        if (bits == 1) {
                            ASSERT_EQ(BitAt(out[j], k), PatternBit(s.Map[k], s.Map[j]))
                                << k << "," << j;
                        } else {
                            const auto expected = DistinctPixel(bits / 8, s.Map[k], s.Map[j]);
                            const std::vector<uint8_t> got(out[j].begin() + k * (bits / 8),
                                                           out[j].begin() + (k + 1) * (bits / 8));
                            ASSERT_EQ(got, expected) << k << "," << j;
                        }
                    }
            }
}

TEST_F(NearestStretch, PaletteImagesTakeTheSourcePalette) {
    auto source = Make({{0, 1, 2}}, 3, vl8p);
    source->SetPaletteColor(1, TVLRGB{10, 20, 30});
    source->SetPaletteColor(255, TVLRGB{1, 2, 3});
    source->PaletteUsed = 3;
    auto dest = Make(6, 2, vl8p);
    _VLBmpStretchEx(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({{0, 0, 1, 1, 2, 2}, {0, 0, 1, 1, 2, 2}}));
    TVLRGB color;
    dest->GetPaletteColor(1, color);
    EXPECT_EQ(color, (TVLRGB{10, 20, 30}));
    dest->GetPaletteColor(255, color);
    EXPECT_EQ(color, (TVLRGB{1, 2, 3}));
    EXPECT_EQ(dest->PaletteUsed, 3);
}

TEST_F(NearestStretch, ReportsProgressOnlyWhenItChanges) {
    auto source = Make(Rows(4, std::vector<uint8_t>(4, 1)), 4, vl8g);
    ProgressLog two;
    auto small = Make(3, 2, vl8g);
    _VLBmpStretchEx(*source, *small, two.Event());
    EXPECT_EQ(two.Values, std::vector<int32_t>({0, 40})); // Trunc(j x 100 / 2.5)

    ProgressLog many;
    auto tall = Make(2, 300, vl8g);
    _VLBmpStretchEx(*source, *tall, many.Event());
    ASSERT_EQ(many.Values.size(), 100u); // 300 rows, values 0 to 99 once each
    EXPECT_EQ(many.Values.front(), 0);
    EXPECT_EQ(many.Values.back(), 99);
}

TEST_F(NearestStretch, ADestinationOfAnotherFormatIsLeftAlone) {
    auto source = Make({{1, 2, 3}}, 3, vl8g);
    auto dest = Make(2, 1, vl16g);
    SetRows(*dest, {{9, 9, 9, 9}});
    _VLBmpStretchEx(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({{9, 9, 9, 9}}));
}

// ---- row bit-depth conversion ----

struct FakeQuantizer {
    std::map<int, int> Indexes; // packed RGB -> index
    int RGBToIndex(const TVLRGB& RGB) { return Indexes[RGB.r << 16 | RGB.g << 8 | RGB.b]; }
};

TEST(ConvertRowBitCount, ConvertsEveryListedPairOfDepths) {
    const std::vector<TVLRGB> palette = {{0, 0, 0}, {255, 255, 255}, {1, 2, 3}, {4, 5, 6}};
    struct Case {
        uint16_t From, To, Count;
        std::vector<uint8_t> Source, Expected;
        int32_t Length;
    };
    const Case cases[] = {
        {1, 1, 10, {0xA5, 0xC0}, {0xA5, 0xC0}, 2},
        {1, 4, 4, {0xA0}, {0x10, 0x10}, 2},
        {1, 4, 3, {0x60}, {0x01, 0x10}, 2},
        {1, 8, 4, {0x50}, {0, 1, 0, 1}, 4},
        {1, 24, 2, {0x80}, {255, 255, 255, 0, 0, 0}, 6},
        {4, 4, 3, {0x12, 0x30}, {0x12, 0x30}, 2},
        {4, 8, 3, {0x12, 0x30}, {1, 2, 3}, 3},
        {4, 24, 2, {0x23}, {1, 2, 3, 4, 5, 6}, 6},
        {8, 1, 9, {1, 0, 1, 1, 0, 0, 0, 1, 1}, {0xB1, 0x80}, 2},
        {8, 8, 2, {7, 9}, {7, 9}, 2},
        {8, 24, 2, {3, 9}, {4, 5, 6, 0, 0, 0}, 6}, // index 9 is beyond the palette: black
        {24, 24, 1, {1, 2, 3}, {1, 2, 3}, 3},
        {32, 24, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 5, 6, 7}, 6},
        {8, 4, 2, {1, 2}, {0xEE}, 1},  // not a listed pair: Dest unchanged
        {8, 16, 2, {1, 2}, {0xEE}, 0}, // no such destination depth
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.From) + " to " + std::to_string(c.To));
        std::vector<uint8_t> dest(c.Expected.size(), c.To == 4 && c.From != 8 ? 0 : 0xEE);
        if (c.To == 1) dest.assign(c.Expected.size(), 0xFF); // zeroed by the conversion
        EXPECT_EQ(ConvertRowBitCount(c.Source.data(), dest.data(), c.From, c.To, c.Count, palette),
                  c.Length);
        EXPECT_EQ(dest, c.Expected);
    }
}

TEST(ConvertRowBitCount, TwentyFourBitPixelsGoThroughTheQuantizer) {
    FakeQuantizer quantizer;
    quantizer.Indexes = {{0x030201, 5}, {0x060504, 12}, {0x090807, 0x1F}};
    const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9}; // blue, green, red
    std::vector<uint8_t> bytes(3, 0xEE);
    EXPECT_EQ(ConvertRowBitCount(rgb.data(), bytes.data(), 24, 8, 3, {}, quantizer), 3);
    EXPECT_EQ(bytes, std::vector<uint8_t>({5, 12, 0x1F}));
    std::vector<uint8_t> nibbles(2, 0);
    EXPECT_EQ(ConvertRowBitCount(rgb.data(), nibbles.data(), 24, 4, 3, {}, quantizer), 2);
    EXPECT_EQ(nibbles, std::vector<uint8_t>({0x5C, 0xF0})); // an index is kept to its nibble
    std::vector<uint8_t> copy(9, 0);
    EXPECT_EQ(ConvertRowBitCount(rgb.data(), copy.data(), 24, 24, 3, {}, quantizer), 9);
    EXPECT_EQ(copy, rgb);
}

} // namespace
