// The resampling engine: dispatch by format and filter, the kernel resampler's exact cases, its
// weights at strong reductions, and agreement with Pillow on the same filters.
#include "imaging/core/VLResample.h"
#include "tests/ExternalTool.h"

#include "ResampleTestUtil.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLResampleFast.h"
#include "imaging/core/VLThreadPool.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

const TResampleFilter KernelFilters[] = {rfTriangle, rfHermite,  rfBell,    rfBSpline,
                                         rfLanczos3, rfMitchell, rfNearest, rfLinear};

// A textured test picture: smooth waves in blue and green, a fine pattern in red.
TVLRGB Texture(int32_t X, int32_t Y) {
    auto level = [](double v) { return static_cast<uint8_t>(std::lround(v)); };
    return {level(128 + 90 * std::sin(0.35 * X + 0.2 * Y)),
            level(128 + 90 * std::cos(0.23 * X - 0.31 * Y)),
            level(128 + 80 * std::sin(0.9 * X) * std::cos(0.7 * Y))};
}

class Engine : public ResampleTest {
protected:
    std::unique_ptr<TVLBitmap> Textured(int32_t W, int32_t H, TVLPixelFormat Format,
                                        Where Place = Where::Memory) {
        Rows rows(H);
        for (int32_t y = 0; y < H; ++y) {
            if (Format == vl1g) rows[y].assign((W + 7) / 8, 0);
            for (int32_t x = 0; x < W; ++x) {
                const TVLRGB p = Texture(x, y);
                if (Format == vl24RGB)
                    rows[y].insert(rows[y].end(), {p.b, p.g, p.r});
                else if (Format == vl1g)
                    rows[y][x / 8] |= (p.r > 128) << (7 - x % 8);
                else if (Format == vl16g)
                    rows[y].insert(rows[y].end(), {p.g, p.b});
                else
                    rows[y].push_back(p.g);
            }
        }
        return Make(rows, W, Format, Place);
    }
};

TEST_F(Engine, TriangleEnlargingTwoPixelsToThreeKeepsTheCorners) {
    auto source = Make({{10, 20, 30, 201, 101, 0}}, 2, vl24RGB);
    auto dest = Make(3, 1, vl24RGB);
    _ResampleEx(*source, *dest, rfTriangle);
    // The middle is the mean of the corners, halves rounded up.
    EXPECT_EQ(GetRows(*dest), Rows({{10, 20, 30, 106, 61, 15, 201, 101, 0}}));
}

TEST_F(Engine, NearestTakesTheLeftPixelAtAHalfWayCentre) {
    auto source = Make({{10, 20, 30, 201, 101, 0}}, 2, vl24RGB);
    auto dest = Make(3, 1, vl24RGB);
    _ResampleEx(*source, *dest, rfNearest);
    EXPECT_EQ(GetRows(*dest), Rows({{10, 20, 30, 10, 20, 30, 201, 101, 0}}));
}

TEST_F(Engine, KernelsWiderThanTheImageReadReflectedColumns) {
    auto source = Make({{10, 20, 30, 201, 101, 0}, {10, 20, 30, 201, 101, 0}}, 2, vl24RGB);
    for (TResampleFilter filter : KernelFilters) {
        SCOPED_TRACE(static_cast<int>(filter));
        auto dest = Make(5, 2, vl24RGB);
        _ResampleEx(*source, *dest, filter);
        const Rows out = GetRows(*dest);
        // The first and last source columns land on the first and last destination columns;
        // the wider filters blend the edge pixels with their reflections.
        if (filter == rfTriangle || filter == rfLanczos3 || filter == rfNearest ||
            filter == rfLinear) {
            EXPECT_EQ(std::vector<uint8_t>(out[0].begin(), out[0].begin() + 3),
                      std::vector<uint8_t>({10, 20, 30}));
            EXPECT_EQ(std::vector<uint8_t>(out[0].end() - 3, out[0].end()),
                      std::vector<uint8_t>({201, 101, 0}));
        }
        EXPECT_EQ(out[0], out[1]);
    }
}

// Taps beyond the edges read mirrored pixels: the left (and top) reflection mirrors about the
// edge pixel (-1 reads 1, -2 reads 2), the right (and bottom) one about the edge itself (SW reads
// SW - 1), and a tap past both edges is mirrored again. Bell at these scales samples at quarter
// pixels, where its values are exact in 1/128: 96, 88, 64, 36, 16, 4 at distances 0, 1/4 .. 5/4
// (enlarging), or normalised 24, 22, 16, 9, 4, 1 at source steps 0 .. 5 (1:4) and 48, 32, 8 at
// steps 0 .. 2 (1:2). So the results are exact sums, worked out by hand:
//   3 -> 9, first pixel: (16 x 20 [-1 reads 1] + 96 x 200 + 16 x 20) / 128 = 155;
//           second, centre 1/4: (4 x 20 [-1] + 88 x 200 + 36 x 20) / 128 = 143.75 -> 144.
//   5 -> 3, first: (8 x 90 [-2 reads 2] + 32 x 220 [-1] + 48 x 40 + 32 x 220 + 8 x 90) / 128
//           = 136.25 -> 136.
//   5 -> 2, first: (24 x 40 + 2 x (22 x 220 + 16 x 90 + 9 x 10 + 4 x 160 + 1 x 160)) / 128
//           = 119.53 -> 120, taps -1 .. -4 reading 1 .. 4 and -5 reading 5, mirrored to 4;
//           second, centre 4: its tap -1 reads 1 with weight 1.
// Repeating the left edge pixel instead (-1 reads 0) gives 178, 149 / 99 / 106, 102.
TEST_F(Engine, TapsBeyondTheEdgesReadMirroredPixels) {
    struct Case {
        std::vector<uint8_t> Levels;
        std::vector<uint8_t> Expected;
    };
    const Case cases[] = {
        {{200, 20, 120}, {155, 144, 110, 74, 55, 54, 70, 92, 108}},
        {{40, 220, 90, 10, 160}, {136, 104, 109}},
        {{40, 220, 90, 10, 160}, {120, 104}},
    };
    // Along a row of two equal rows, or down a column of six equal columns: the second is wide
    // enough for the vector path of the vertical pass.
    auto picture = [](const std::vector<uint8_t>& Levels, bool Vertical) {
        Rows rows;
        if (Vertical)
            for (const uint8_t level : Levels)
                rows.emplace_back(6, level);
        else
            rows.assign(2, Levels);
        return rows;
    };
    auto rgb = [](const Rows& Grey) {
        Rows rows;
        for (const auto& row : Grey)
            rows.push_back(GrayRow24(row));
        return rows;
    };
    for (const Case& c : cases)
        for (const bool vertical : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Levels.size() << " -> " << c.Expected.size()
                                            << (vertical ? " down a column" : " along a row"));
            const Rows source = picture(c.Levels, vertical),
                       expected = picture(c.Expected, vertical);
            const auto width = static_cast<int32_t>(source[0].size());
            const auto destWidth = static_cast<int32_t>(expected[0].size());
            const auto destHeight = static_cast<int32_t>(expected.size());

            auto grey = Make(source, width, vl8g);
            auto greyDest = Make(destWidth, destHeight, vl8g);
            _Resample8BitEx(*grey, *greyDest, rfBell);
            EXPECT_EQ(GetRows(*greyDest), expected);

            auto colour = Make(rgb(source), width, vl24RGB);
            for (const bool vector : {true, false}) {
                auto dest = Make(destWidth, destHeight, vl24RGB);
                ResampleVectorKernels = vector;
                _ResampleEx(*colour, *dest, rfBell);
                ResampleVectorKernels = true;
                EXPECT_EQ(GetRows(*dest), rgb(expected)) << (vector ? "vector" : "plain");
            }
        }
}

TEST_F(Engine, StrongReductionsOfAFlatPictureKeepItsLevel) {
    // 1:1000 on each axis in turn; weights rounded to 1/256 would all be 0 here.
    for (TResampleFilter filter : KernelFilters) {
        SCOPED_TRACE(static_cast<int>(filter));
        auto wide = Make(Rows(2, GrayRow24(std::vector<uint8_t>(3000, 137))), 3000, vl24RGB);
        auto wideDest = Make(3, 2, vl24RGB);
        _ResampleEx(*wide, *wideDest, filter);
        EXPECT_EQ(GetRows(*wideDest), Rows(2, GrayRow24({137, 137, 137})));

        auto tall = Make(Rows(3000, std::vector<uint8_t>{77, 77}), 2, vl8g);
        auto tallDest = Make(2, 3, vl8g);
        _Resample8BitEx(*tall, *tallDest, filter);
        EXPECT_EQ(GetRows(*tallDest), Rows(3, std::vector<uint8_t>{77, 77}));

        auto white = Make(Rows(2000, std::vector<uint8_t>{0xFF, 0xC0}), 10, vl1g);
        auto whiteDest = Make(2, 2, vl24RGB);
        _Resample1BitEx(*white, *whiteDest, filter);
        EXPECT_EQ(GetRows(*whiteDest), Rows(2, GrayRow24({255, 255})));
    }
}

// A flat picture keeps its level exactly at every scale and filter: exact averages are rounded
// to nearest, and a single source pixel is spread over the whole destination.
TEST_F(Engine, FlatPicturesKeepTheirLevelAtEveryScaleAndFilter) {
    struct Size {
        int32_t SW, SH, DW, DH;
    };
    const Size sizes[] = {{1, 1, 1, 1},   {1, 1, 5, 3},    {1, 1, 2, 40},  {1, 7, 4, 3},
                          {9, 1, 2, 5},   {1600, 3, 533, 2}, {40, 30, 13, 11}, {13, 11, 40, 30},
                          {7, 5, 7, 5},   {300, 200, 3, 2}, {2, 2, 999, 3}};
    const uint8_t levels[] = {0, 1, 2, 77, 127, 128, 200, 254, 255};
    for (int f = rfTriangle; f <= rfProjectWB; ++f) {
        const auto filter = static_cast<TResampleFilter>(f);
        for (const Size& size : sizes)
            for (const uint8_t level : levels) {
                SCOPED_TRACE(testing::Message() << "filter " << f << " " << size.SW << "x"
                                                << size.SH << " -> " << size.DW << "x" << size.DH
                                                << " level " << int(level));
                auto source = Make(Rows(size.SH, std::vector<uint8_t>(3 * size.SW, level)),
                                   size.SW, vl24RGB);
                auto dest = Make(size.DW, size.DH, vl24RGB);
                _ResampleEx(*source, *dest, filter);
                if (dest->GetPixelFormat() == vl1g) continue; // the projections' black and white
                ASSERT_EQ(GetRows(*dest), Rows(size.DH, std::vector<uint8_t>(3 * size.DW, level)));
                auto grey = Make(Rows(size.SH, std::vector<uint8_t>(size.SW, level)), size.SW,
                                 vl8g);
                auto greyDest = Make(size.DW, size.DH, vl8g);
                _Resample8BitEx(*grey, *greyDest, filter);
                ASSERT_EQ(GetRows(*greyDest), Rows(size.DH, std::vector<uint8_t>(size.DW, level)));
            }
    }
}

TEST_F(Engine, KernelProgressRisesOnChangesOnlyAndStopsBelowAHundred) {
    auto source = Textured(9, 30, vl24RGB);
    auto dest = Make(4, 20, vl24RGB);
    ProgressLog log;
    _ResampleEx(*source, *dest, rfMitchell, log.Event());
    ASSERT_FALSE(log.Values.empty());
    EXPECT_EQ(log.Values.front(), 1); // Trunc(100 / 50.5)
    EXPECT_EQ(log.Values.back(), 99); // Trunc(50 x 100 / 50.5)
    for (size_t i = 1; i < log.Values.size(); ++i)
        EXPECT_GT(log.Values[i], log.Values[i - 1]);
}

TEST_F(Engine, SourcesWithoutAPathLeaveTheDestinationUntouched) {
    struct Case {
        TVLPixelFormat Format;
        std::vector<TResampleFilter> Filters;
    };
    std::vector<TResampleFilter> all;
    for (int f = rfTriangle; f <= rfProjectWB; ++f)
        all.push_back(static_cast<TResampleFilter>(f));
    std::vector<TResampleFilter> notArea;
    for (TResampleFilter f : all)
        if (f != rfBilinear && f != rfBicubic) notArea.push_back(f);
    const Case cases[] = {{vl8p, all},        {vl32f, all},   {vlCMYK, all},
                          {vlCIELab, all},    {vl32RGB, all}, {vl16g, notArea},
                          {vlRGB48, notArea}, {vl1g, all},    {vl24RGB, {rfNone}}};
    for (const Case& c : cases)
        for (TResampleFilter filter : c.Filters) {
            SCOPED_TRACE("format " + std::to_string(static_cast<int>(c.Format)) + " filter " +
                         std::to_string(static_cast<int>(filter)));
            auto source = Make(4, 4, c.Format);
            SetRows(*source, Rows(4, std::vector<uint8_t>(source->GetRowLen(), 0x11)));
            auto dest = Make(3, 3, c.Format == vl1g ? vl24RGB : c.Format);
            const Rows before(3, std::vector<uint8_t>(dest->GetRowLen(), 0x5A));
            SetRows(*dest, before);
            _ResampleEx(*source, *dest, filter);
            EXPECT_EQ(dest->GetPixelFormat(), c.Format == vl1g ? vl24RGB : c.Format);
            Rows after = GetRows(*dest);
            for (auto& row : after)
                row.resize(dest->GetRowLen(), 0x5A);
            EXPECT_EQ(after, before);
        }
    // A destination of the wrong format for the kernel resampler.
    auto picture = Textured(4, 4, vl24RGB);
    auto gray = Make(2, 2, vl8g);
    SetRows(*gray, Rows(2, std::vector<uint8_t>(2, 9)));
    _ResampleEx(*picture, *gray, rfLanczos3);
    EXPECT_EQ(GetRows(*gray), Rows(2, std::vector<uint8_t>(2, 9)));
}

TEST_F(Engine, DispatchPicksTheResamplerForTheFormatAndFilter) {
    using TDirect = std::function<void(TVLBitmap&, TVLBitmap&)>;
    struct Case {
        TVLPixelFormat Format;
        TResampleFilter Filter;
        TDirect Direct;
    };
    const Case cases[] = {
        {vl24RGB, rfBicubic, [](auto& s, auto& d) { ResampleBilinearBicubic8(s, d, true); }},
        {vl24RGB, rfBilinear, [](auto& s, auto& d) { ResampleBilinearBicubic8(s, d, false); }},
        {vl8g, rfBicubic, [](auto& s, auto& d) { ResampleBilinearBicubic8(s, d, true); }},
        {vl16g, rfBilinear, [](auto& s, auto& d) { ResampleBilinearBicubic16(s, d, false); }},
        {vl8g, rfLanczos3, [](auto& s, auto& d) { _Resample8BitEx(s, d, rfLanczos3); }},
        {vl8g, rfFastLinear, [](auto& s, auto& d) { ResampleFast8Bit(s, d); }},
        {vl24RGB, rfFastLinear, [](auto& s, auto& d) { ResampleFastLinear24(s, d); }},
        {vl24RGB, rfProjectWB, [](auto& s, auto& d) { ProjectResample24(s, d, true); }},
        {vl24RGB, rfProjectBW, [](auto& s, auto& d) { ProjectResample24(s, d, false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("format " + std::to_string(static_cast<int>(c.Format)) + " filter " +
                     std::to_string(static_cast<int>(c.Filter)));
        auto source = Textured(23, 17, c.Format);
        auto viaEngine = Make(31, 9, c.Format);
        auto direct = Make(31, 9, c.Format);
        ProgressLog log;
        _ResampleEx(*source, *viaEngine, c.Filter, log.Event());
        c.Direct(*source, *direct);
        EXPECT_EQ(GetRows(*viaEngine), GetRows(*direct));
        EXPECT_EQ(log.Values.empty(), c.Format == vl8g && c.Filter != rfBicubic);
    }
}

TEST_F(Engine, OneByteAndOneBitKernelsMatchTheRgbPath) {
    for (TResampleFilter filter : KernelFilters) {
        SCOPED_TRACE(static_cast<int>(filter));
        // Grey levels through the one-byte path equal each channel of the RGB path.
        auto gray = Textured(19, 13, vl8g);
        const Rows levels = GetRows(*gray);
        Rows rgbRows;
        for (const auto& row : levels)
            rgbRows.push_back(GrayRow24(row));
        auto rgb = Make(rgbRows, 19, vl24RGB);
        auto grayDest = Make(29, 7, vl8g, Where::File);
        auto rgbDest = Make(29, 7, vl24RGB);
        _Resample8BitEx(*gray, *grayDest, filter);
        _ResampleEx(*rgb, *rgbDest, filter);
        Rows expected;
        for (const auto& row : GetRows(*grayDest))
            expected.push_back(GrayRow24(row));
        EXPECT_EQ(GetRows(*rgbDest), expected);

        // Bits read as 0 and 255.
        auto bits = Textured(19, 13, vl1g, Where::File);
        const Rows bitRows = GetRows(*bits);
        Rows bitLevels(13);
        for (int32_t y = 0; y < 13; ++y)
            for (int32_t x = 0; x < 19; ++x)
                bitLevels[y].push_back((bitRows[y][x / 8] >> (7 - x % 8) & 1) ? 255 : 0);
        auto asBytes = Make(bitLevels, 19, vl8g);
        auto bitsDest = Make(29, 7, vl24RGB);
        auto bytesDest = Make(29, 7, vl8g);
        _Resample1BitEx(*bits, *bitsDest, filter);
        _Resample8BitEx(*asBytes, *bytesDest, filter);
        Rows grayExpected;
        for (const auto& row : GetRows(*bytesDest))
            grayExpected.push_back(GrayRow24(row));
        EXPECT_EQ(GetRows(*bitsDest), grayExpected);
    }
}

TEST_F(Engine, AlphaChannelsAreInterpolatedLinearlyForFastAreaAndProjectionFilters) {
    auto alpha = Textured(21, 11, vl8g);
    auto expected = Make(8, 30, vl8g);
    ResampleFast8Bit(*alpha, *expected);
    for (TResampleFilter filter : {rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB}) {
        SCOPED_TRACE(static_cast<int>(filter));
        auto dest = Make(8, 30, vl8g);
        _Resample8BitEx(*alpha, *dest, filter);
        EXPECT_EQ(GetRows(*dest), GetRows(*expected));
    }
    auto bits = Textured(21, 11, vl1g);
    auto fast = Make(30, 8, vl24RGB);
    auto viaEngine = Make(30, 8, vl24RGB);
    ResampleFast1Bit(*bits, *fast);
    _Resample1BitEx(*bits, *viaEngine, rfBicubic);
    EXPECT_EQ(GetRows(*viaEngine), GetRows(*fast));
    auto projected = Make(5, 4, vl24RGB);
    _Resample1BitEx(*bits, *projected, rfProjectWB);
    auto direct = Make(5, 4, vl1g);
    ProjectResample1Bit(*bits, *direct, true);
    EXPECT_EQ(projected->GetPixelFormat(), vl1g);
    EXPECT_EQ(GetRows(*projected), GetRows(*direct));
}

TEST_F(Engine, VectorAndPlainKernelsGiveTheSameBytes) {
    struct Size {
        int32_t SW, SH, DW, DH;
    };
    const Size sizes[] = {{37, 23, 101, 64}, {120, 90, 31, 29}, {5, 300, 2, 7}};
    for (TResampleFilter filter : KernelFilters)
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::to_string(static_cast<int>(filter)) + " to " + std::to_string(s.DW) +
                         "x" + std::to_string(s.DH));
            auto source = Textured(s.SW, s.SH, vl24RGB);
            auto vector = Make(s.DW, s.DH, vl24RGB);
            auto plain = Make(s.DW, s.DH, vl24RGB);
            _ResampleEx(*source, *vector, filter);
            ResampleVectorKernels = false;
            _ResampleEx(*source, *plain, filter);
            ResampleVectorKernels = true;
            EXPECT_EQ(GetRows(*vector), GetRows(*plain));
        }
}

// The vector forms (source rows read straight into the multiply-add lanes, the vertical pass on
// the widest vectors the processor has, and on SSE alone) against the plain loops on random
// sizes and pixels:
// narrow rows with no column inside the row, reductions and enlargements.
TEST_F(Engine, VectorAndPlainKernelsAgreeOnRandomSizes) {
    std::mt19937 random(4242);
    for (int round = 0; round < 30; ++round) {
        const int32_t SW = 1 + static_cast<int32_t>(random() % 260);
        const int32_t SH = 1 + static_cast<int32_t>(random() % 40);
        const int32_t DW = 1 + static_cast<int32_t>(random() % 260);
        const int32_t DH = 1 + static_cast<int32_t>(random() % 40);
        Rows pixels(SH, std::vector<uint8_t>(static_cast<size_t>(SW) * 3));
        for (auto& row : pixels)
            for (uint8_t& b : row)
                b = static_cast<uint8_t>(random());
        auto source = Make(pixels, SW, vl24RGB);
        for (TResampleFilter filter : KernelFilters) {
            SCOPED_TRACE(testing::Message() << "filter " << int(filter) << " " << SW << "x" << SH
                                            << " to " << DW << "x" << DH);
            auto vector = Make(DW, DH, vl24RGB);
            auto sse = Make(DW, DH, vl24RGB);
            auto plain = Make(DW, DH, vl24RGB);
            _ResampleEx(*source, *vector, filter);
            ResampleAvx2Kernels = false;
            _ResampleEx(*source, *sse, filter);
            ResampleAvx2Kernels = true;
            ResampleVectorKernels = false;
            _ResampleEx(*source, *plain, filter);
            ResampleVectorKernels = true;
            ASSERT_EQ(GetRows(*vector), GetRows(*plain));
            ASSERT_EQ(GetRows(*sse), GetRows(*plain));
        }
    }
}

// Rows computed in bands on the library's threads give the bytes of one thread, for every
// format the kernel and fast linear resamplers read, reductions and enlargements, and sizes that
// leave uneven bands.
TEST_F(Engine, EveryThreadCountGivesTheSameBytes) {
    struct Case {
        TVLPixelFormat Format;
        int32_t SW, SH, DW, DH;
    };
    const Case cases[] = {{vl24RGB, 301, 97, 120, 211}, {vl24RGB, 64, 333, 257, 35},
                          {vl8g, 190, 170, 77, 301},    {vl1g, 203, 150, 91, 64}};
    for (TResampleFilter filter : {rfLanczos3, rfTriangle, rfMitchell, rfFastLinear})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "filter " << int(filter) << " format "
                                            << int(c.Format) << " " << c.DW << "x" << c.DH);
            auto source = Textured(c.SW, c.SH, c.Format);
            const TVLPixelFormat out = c.Format == vl8g ? vl8g : vl24RGB;
            auto resample = [&](int32_t Threads) {
                VLThreadCount = Threads;
                auto dest = Make(c.DW, c.DH, out);
                if (c.Format == vl1g)
                    _Resample1BitEx(*source, *dest, filter);
                else if (c.Format == vl8g)
                    _Resample8BitEx(*source, *dest, filter);
                else
                    _ResampleEx(*source, *dest, filter);
                VLThreadCount = 0;
                return GetRows(*dest);
            };
            const Rows one = resample(1);
            for (const int32_t threads : {2, 3, 8})
                EXPECT_EQ(resample(threads), one) << threads << " threads";
        }
}

// The area resampler's bands start where the whole sweep down the source would stand (a
// reduction computes every destination row alone): every thread count gives the bytes of one,
// for each sample type, both filters and every mix of reduced and enlarged axes.
TEST_F(Engine, AreaResamplerGivesTheSameBytesOnEveryThreadCount) {
    struct Case {
        int32_t SW, SH, DW, DH;
    };
    const Case cases[] = {{301, 397, 120, 211}, {64, 133, 257, 335}, {190, 70, 77, 301},
                          {97, 301, 203, 64}};
    for (const TVLPixelFormat format : {vl24RGB, vl8g, vl16g})
        for (const TResampleFilter filter : {rfBilinear, rfBicubic})
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "filter " << int(filter) << " format "
                                                << int(format) << " " << c.DW << "x" << c.DH);
                auto source = Textured(c.SW, c.SH, format);
                auto resample = [&](int32_t Threads) {
                    VLThreadCount = Threads;
                    auto dest = Make(c.DW, c.DH, format);
                    _ResampleEx(*source, *dest, filter);
                    VLThreadCount = 0;
                    return GetRows(*dest);
                };
                const Rows one = resample(1);
                for (const int32_t threads : {2, 3, 8})
                    EXPECT_EQ(resample(threads), one) << threads << " threads";
            }
}

// ---- agreement with Pillow ----

const char* PythonWithPillow() {
    static const bool available =
        std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
    return available ? "/usr/bin/python3" : nullptr;
}

void WritePpm(const std::filesystem::path& Path, int32_t W, int32_t H,
              const std::function<TVLRGB(int32_t, int32_t)>& Pixel) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << W << " " << H << "\n255\n";
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const TVLRGB p = Pixel(x, y);
            out.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
        }
}

// The pixels of a binary PPM as rows of blue, green, red.
Rows ReadPpm(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    Rows rows(h, std::vector<uint8_t>(3 * static_cast<size_t>(w)));
    for (auto& row : rows) {
        in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
        for (size_t i = 0; i < row.size(); i += 3)
            std::swap(row[i], row[i + 2]);
    }
    return rows;
}

class PillowAgreement : public Engine {};

TEST_F(PillowAgreement, KernelResamplerMatchesPillowAwayFromTheEdges) {
    const char* python = PythonWithPillow();
    if (python == nullptr)
        SV_SKIP_WITHOUT_REFERENCE("/usr/bin/python3 with Pillow (python3-pil) missing");
    const auto script = std::filesystem::path(SV_TESTS_DIR) / "imaging/core/pil_resize.py";
    struct Case {
        TResampleFilter Filter;
        const char* Name;
        double Support;
        int32_t SW, SH, DW, DH;
    };
    const Case cases[] = {
        {rfTriangle, "bilinear", 1, 37, 29, 80, 61},
        {rfLanczos3, "lanczos", 3, 37, 29, 80, 61},
        {rfTriangle, "bilinear", 1, 121, 91, 41, 31},
        {rfLanczos3, "lanczos", 3, 121, 91, 41, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " to " + std::to_string(c.DW));
        // Pillow maps pixel centres; ours maps the first and last pixels onto each other. A box
        // of fractional pixels in a larger picture makes the two mappings the same, and the
        // picture's margin gives Pillow real pixels where it would clip its kernel.
        const int32_t margin = 24;
        const std::filesystem::path in = Folder / "in.ppm", out = Folder / "out.ppm";
        WritePpm(in, c.SW + 2 * margin, c.SH + 2 * margin,
                 [&](int32_t x, int32_t y) { return Texture(x - margin, y - margin); });
        const double kx = static_cast<double>(c.SW - 1) / (c.DW - 1);
        const double ky = static_cast<double>(c.SH - 1) / (c.DH - 1);
        const double x0 = margin + 0.5 - 0.5 * kx, y0 = margin + 0.5 - 0.5 * ky;
        std::ostringstream command;
        command.precision(17);
        command << python << " " << script << " " << in << " " << out << " " << c.Name << " "
                << c.DW << " " << c.DH << " " << x0 << " " << y0 << " " << x0 + c.DW * kx << " "
                << y0 + c.DH * ky;
        ASSERT_EQ(std::system(command.str().c_str()), 0) << command.str();
        const Rows pillow = ReadPpm(out);

        auto source = Textured(c.SW, c.SH, vl24RGB);
        auto dest = Make(c.DW, c.DH, vl24RGB);
        _ResampleEx(*source, *dest, c.Filter);
        const Rows ours = GetRows(*dest);

        // Only pixels whose taps all lie inside the source: the edges reflect differently.
        auto inside = [&](int32_t i, double k, int32_t size) {
            const double w = c.Support * std::max(k, 1.0);
            return std::floor(i * k - w) >= 0 && std::ceil(i * k + w) <= size - 1;
        };
        int compared = 0, worst = 0;
        double total = 0;
        for (int32_t y = 0; y < c.DH; ++y)
            for (int32_t x = 0; x < c.DW; ++x) {
                if (!inside(x, kx, c.SW) || !inside(y, ky, c.SH)) continue;
                for (int ch = 0; ch < 3; ++ch) {
                    const int d = ours[y][3 * x + ch] - pillow[y][3 * x + ch];
                    worst = std::max(worst, std::abs(d));
                    total += d;
                    ++compared;
                }
            }
        ASSERT_GT(compared, 300);
        // Ours truncates after each pass where Pillow rounds: at most 2 lower, about 1 on average.
        EXPECT_LE(worst, 2);
        EXPECT_LE(std::fabs(total / compared), 1.1);
    }
}

} // namespace
