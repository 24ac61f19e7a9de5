// Fast linear, black-and-white to grey and projection resamplers, on small images worked by hand.
#include "imaging/core/VLResampleFast.h"

#include "ResampleTestUtil.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLThreadPool.h"

#include <random>

namespace {

using enum TVLPixelFormat;

// Runs the 8-bit and the 24-bit fast resampler on the same grey levels and checks both.
class FastLinear : public ResampleTest {
protected:
    void Expect(const Rows& Levels, int32_t SW, int32_t DW, int32_t DH, const Rows& Expected) {
        for (Where where : {Where::Memory, Where::File}) {
            SCOPED_TRACE(WhereName(where));
            auto gray = Make(Levels, SW, vl8g, where);
            auto grayDest = Make(DW, DH, vl8g, where);
            ResampleFast8Bit(*gray, *grayDest);
            EXPECT_EQ(GetRows(*grayDest), Expected);

            Rows rgbLevels, rgbExpected;
            for (const auto& row : Levels)
                rgbLevels.push_back(GrayRow24(row));
            for (const auto& row : Expected)
                rgbExpected.push_back(GrayRow24(row));
            auto rgb = Make(rgbLevels, SW, vl24RGB, where);
            auto rgbDest = Make(DW, DH, vl24RGB, where);
            ResampleFastLinear24(*rgb, *rgbDest);
            EXPECT_EQ(GetRows(*rgbDest), rgbExpected);
        }
    }
};

TEST_F(FastLinear, EnlargingInterpolatesWithSeventeenBitFractionsRoundedDown) {
    // Positions 0, 0.5, 1.0 and 1.5; half-way from 255 down to 0 is 255 + (-255 x 65536 >> 17).
    Expect({{0, 255}}, 2, 4, 1, {{0, 127, 255, 255}});
    Expect({{255, 0}}, 2, 4, 1, {{255, 127, 0, 0}});
    Expect({{0}, {255}}, 1, 1, 4, {{0}, {127}, {255}, {255}});
}

TEST_F(FastLinear, ReducingTakesTruncatedMeansOfSpansSharingTheirBoundary) {
    // xs = 0.4: column 0 spans source columns 0..2, column 1 the single column 2.
    Expect({{10, 20, 40, 80, 160}}, 5, 2, 1, {{23, 40}});
    // Only the height changes: columns are averaged in pairs, the last copied; a single
    // destination row reads the first source row only.
    Expect({{10, 21, 40}, {99, 99, 99}}, 3, 3, 1, {{15, 30, 40}});
    // Only the width changes: rows are averaged in pairs, the last copied.
    Expect({{0, 0}, {100, 100}, {51, 51}}, 2, 4, 3,
           {{50, 50, 50, 50}, {75, 75, 75, 75}, {51, 51, 51, 51}});
}

TEST_F(FastLinear, TheLastColumnOfAThumbnailIsASingleSourceColumn) {
    std::vector<uint8_t> row(1000);
    for (int x = 0; x < 1000; ++x)
        row[x] = static_cast<uint8_t>(x % 251);
    auto source = Make({row}, 1000, vl8g);
    auto dest = Make(85, 1, vl8g);
    ResampleFast8Bit(*source, *dest);
    EXPECT_EQ(GetRows(*dest)[0][84], 988 % 251); // Trunc(84 x 1000 / 85) = 988
}

TEST_F(FastLinear, TheSameSizeCopiesSourceExactly) {
    const Rows pixels = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
    auto source = Make(pixels, 2, vl24RGB);
    auto dest = Make(2, 2, vl24RGB, Where::File);
    ResampleFastLinear24(*source, *dest);
    EXPECT_EQ(GetRows(*dest), pixels);

    auto palette = Make({{3, 1}}, 2, vl8p);
    palette->SetPaletteColor(3, TVLRGB{1, 2, 3});
    auto paletteDest = Make(2, 1, vl8p);
    ResampleFast8Bit(*palette, *paletteDest);
    EXPECT_EQ(GetRows(*paletteDest), Rows({{3, 1}}));
    TVLRGB color;
    paletteDest->GetPaletteColor(3, color);
    EXPECT_EQ(color, (TVLRGB{1, 2, 3}));
}

TEST_F(FastLinear, ReportsProgressAfterEveryRowOfBothPasses) {
    // Factor 100 / 5.5: horizontal rows report Trunc(y x factor), vertical rows
    // Trunc((y + SH) x factor).
    auto source = Make(Rows(2, GrayRow24({1, 2})), 2, vl24RGB);
    auto dest = Make(3, 3, vl24RGB);
    ProgressLog log;
    ResampleFastLinear24(*source, *dest, log.Event());
    EXPECT_EQ(log.Values, std::vector<int32_t>({0, 18, 36, 54, 72}));
}

// Without a progress event each band of destination rows computes the source rows it reads as
// it goes, on the library's threads, with the vector span sums where the processor has them.
// Every form gives the bytes of the two passes run one after the other, which a progress event
// forces: random sizes (spans of one to many pixels, enlargements across or down), in memory and
// in a file, AVX2, SSE and plain sums, one to eight threads.
TEST_F(FastLinear, EveryFormGivesTheBytesOfTheTwoPasses) {
    std::mt19937 random(1811);
    std::uniform_int_distribution<int32_t> size(1, 400);
    for (int round = 0; round < 32; ++round) {
        const int32_t SW = size(random), SH = size(random);
        // Spans of one to nine pixels, then of ten to thirty-one.
        const int32_t spans = round < 24 ? 1 + round % 9 : 10 + 3 * (round - 24);
        const int32_t DW = std::max(1, SW / spans + (round % 4 == 0 ? 17 : 0));
        const int32_t DH = std::max(1, SH / (1 + round % 7) + (round % 5 == 0 ? 9 : 0));
        const Where where = round % 6 == 5 ? Where::File : Where::Memory;
        SCOPED_TRACE(testing::Message()
                     << SW << "x" << SH << " to " << DW << "x" << DH << " in " << WhereName(where));
        for (const TVLPixelFormat format : {vl24RGB, vl8g}) {
            const int32_t bytes = SW * (format == vl24RGB ? 3 : 1);
            Rows pixels(SH, std::vector<uint8_t>(bytes));
            for (auto& row : pixels)
                for (uint8_t& b : row)
                    b = static_cast<uint8_t>(random());
            auto source = Make(pixels, SW, format, where);
            auto resample = [&](bool Passes) {
                auto dest = Make(DW, DH, format, where);
                ProgressLog log;
                const TVLProgressEvent progress = Passes ? log.Event() : nullptr;
                if (format == vl24RGB)
                    ResampleFastLinear24(*source, *dest, progress);
                else
                    ResampleFast8Bit(*source, *dest, progress);
                return GetRows(*dest);
            };
            const Rows passes = resample(true);
            for (const TKernelForm& form : KernelForms)
                for (const int32_t threads : {1, 2, 3, 8}) {
                    ResampleVectorKernels = form.Vector;
                    ResampleAvx2Kernels = form.Avx2;
                    VLThreadCount = threads;
                    const Rows fused = resample(false);
                    ResampleVectorKernels = ResampleAvx2Kernels = true;
                    VLThreadCount = 0;
                    EXPECT_EQ(fused, passes) << form.Name << ", " << threads << " threads, format "
                                             << static_cast<int>(format);
                }
        }
    }
}

// A part read in place gives the bytes of the part copied out and resampled whole, for random
// parts (touching the source's edges or not, reduced, enlarged or kept at their size), and a
// part reaching outside the source leaves Dest alone.
TEST_F(FastLinear, APartReadInPlaceGivesTheBytesOfItsCopy) {
    std::mt19937 random(977);
    const int32_t SW = 157, SH = 93;
    Rows pixels(SH, std::vector<uint8_t>(SW * 3));
    for (auto& row : pixels)
        for (uint8_t& b : row)
            b = static_cast<uint8_t>(random());
    auto source = Make(pixels, SW, vl24RGB);
    for (int round = 0; round < 20; ++round) {
        const int32_t left = round % 4 == 0 ? 0 : static_cast<int32_t>(random() % SW);
        const int32_t top = round % 5 == 0 ? 0 : static_cast<int32_t>(random() % SH);
        const int32_t w =
            round % 3 == 0 ? SW - left : 1 + static_cast<int32_t>(random() % (SW - left));
        const int32_t h = 1 + static_cast<int32_t>(random() % (SH - top));
        const int32_t DW = round % 7 == 0 ? w : 1 + static_cast<int32_t>(random() % 120);
        const int32_t DH = round % 7 == 0 ? h : 1 + static_cast<int32_t>(random() % 120);
        SCOPED_TRACE(testing::Message()
                     << w << "x" << h << " at " << left << "," << top << " to " << DW << "x" << DH);
        auto copy = Make(w, h, vl24RGB);
        source->CopyRectTo(*copy, left, top, 0, 0, w, h);
        auto whole = Make(DW, DH, vl24RGB);
        ResampleFastLinear24(*copy, *whole);
        auto part = Make(DW, DH, vl24RGB);
        ResampleFastLinear24Part(*source, TRect{left, top, left + w, top + h}, *part);
        EXPECT_EQ(GetRows(*part), GetRows(*whole));
    }
    auto dest = Make(4, 4, vl24RGB);
    SetRows(*dest, Rows(4, std::vector<uint8_t>(12, 5)));
    ResampleFastLinear24Part(*source, TRect{SW - 3, 0, SW + 1, 8}, *dest);
    EXPECT_EQ(GetRows(*dest), Rows(4, std::vector<uint8_t>(12, 5)));
}

TEST_F(FastLinear, MismatchedFormatsAreLeftAlone) {
    auto source = Make({{1, 2}}, 2, vl8g);
    auto dest = Make(4, 1, vl24RGB);
    SetRows(*dest, {std::vector<uint8_t>(12, 5)});
    ResampleFastLinear24(*source, *dest);
    ResampleFast8Bit(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({std::vector<uint8_t>(12, 5)}));
}

// ---- black and white into grey ----

class FastOneBit : public ResampleTest {};

TEST_F(FastOneBit, EnlargingInterpolatesBitsAsBlackAndWhite) {
    auto source = Make({{0x80}}, 2, vl1g); // white, black
    auto dest = Make(4, 1, vl24RGB);
    ResampleFast1Bit(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({GrayRow24({255, 127, 0, 0})}));
}

TEST_F(FastOneBit, AReducedHeightIsPointSampledWhenTheWidthGrows) {
    // Rows (1,0), (0,0), (1,1), (0,1): the two destination rows take source rows 0 and 2 alone.
    auto source = Make({{0x80}, {0x00}, {0xC0}, {0x40}}, 2, vl1g, Where::File);
    auto dest = Make(4, 2, vl24RGB, Where::File);
    ResampleFast1Bit(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({GrayRow24({255, 127, 0, 0}), GrayRow24({255, 255, 255, 255})}));
}

TEST_F(FastOneBit, TheSameSizeMakesABlackAndWhiteCopy) {
    auto source = Make({{0xA0}, {0x40}}, 3, vl1g);
    auto dest = Make(3, 2, vl24RGB);
    ResampleFast1Bit(*source, *dest);
    EXPECT_EQ(dest->GetPixelFormat(), vl1g);
    EXPECT_EQ(GetRows(*dest), Rows({{0xA0}, {0x40}}));
}

TEST_F(FastOneBit, ReducingBothAxesCountsBitsPerBox) {
    auto source = Make({{0x00}, {0x40}, {0x00}, {0x00}}, 4, vl1g); // one bit at (1, 1)
    auto dest = Make(2, 2, vl24RGB);
    ResampleFast1Bit(*source, *dest);
    EXPECT_EQ(GetRows(*dest), Rows({GrayRow24({63, 42}), GrayRow24({42, 28})}));
}

TEST_F(FastOneBit, ShrinkingARectangleUsesItsSpansAndClipsIt) {
    // sx = sy = 2. Boxes of destination row 0 start one pixel before the rectangle (Trunc(-1)),
    // the row span ends with the truncated step: rows 1..3 and 3..5, columns 1..3 and 3..5.
    Rows rows(6, std::vector<uint8_t>{0x00});
    rows[1][0] = 0x40; // (1, 1)
    rows[3][0] = 0x10; // (3, 3)
    auto source = Make(rows, 6, vl1g);
    auto dest = Make(2, 2, vl24RGB);
    Shrink1BitToGray(*source, 2, 2, 5, 5, *dest);
    const Rows expected = {GrayRow24({56, 28}), GrayRow24({28, 28})};
    EXPECT_EQ(GetRows(*dest), expected);

    auto clipped = Make(2, 2, vl24RGB);
    Shrink1BitToGray(*source, 2, 2, 100, 5, *clipped);
    EXPECT_EQ(GetRows(*clipped), expected);
}

// ---- projection ----

class Projection : public ResampleTest {
protected:
    // A 6 x 6 picture of one colour with single pixels of another; 24-bit or 1-bit.
    std::unique_ptr<TVLBitmap> Picture(bool OneBit, bool White,
                                       const std::vector<std::pair<int, int>>& Marks,
                                       uint8_t MarkLevel) {
        Rows rows;
        for (int y = 0; y < 6; ++y) {
            std::vector<uint8_t> levels(6, White ? 255 : 0);
            for (auto [x, my] : Marks)
                if (my == y) levels[x] = MarkLevel;
            if (OneBit) {
                uint8_t byte = 0;
                for (int x = 0; x < 6; ++x)
                    byte |= (levels[x] != 0) << (7 - x);
                rows.push_back({byte});
            } else {
                rows.push_back(GrayRow24(levels));
            }
        }
        return Make(rows, 6, OneBit ? vl1g : vl24RGB);
    }

    // The 3 x 3 result as bits.
    std::vector<std::vector<int>> Project(TVLBitmap& Source, bool WhiteOnBlack) {
        auto dest = Make(3, 3, vl24RGB);
        if (Source.GetPixelFormat() == vl1g)
            ProjectResample1Bit(Source, *dest, WhiteOnBlack);
        else
            ProjectResample24(Source, *dest, WhiteOnBlack);
        EXPECT_EQ(dest->GetPixelFormat(), vl1g);
        std::vector<std::vector<int>> bits;
        for (const auto& row : GetRows(*dest))
            bits.push_back({row[0] >> 7 & 1, row[0] >> 6 & 1, row[0] >> 5 & 1});
        return bits;
    }
};

TEST_F(Projection, AnyQualifyingPixelOfABoxChangesTheDestinationPixel) {
    // 6 to 3 on both axes: boxes 0..0, 0..2 and 2..4; row and column 5 are never examined.
    using Bits = std::vector<std::vector<int>>;
    struct Case {
        std::pair<int, int> Mark;
        Bits BlackOnWhite; // the mark dark on white
    };
    const Case cases[] = {
        {{3, 4}, {{1, 1, 1}, {1, 1, 1}, {1, 1, 0}}},
        {{5, 5}, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}},
        {{0, 0}, {{0, 0, 1}, {0, 0, 1}, {1, 1, 1}}},
        {{2, 2}, {{1, 1, 1}, {1, 0, 0}, {1, 0, 0}}},
    };
    for (const Case& c : cases)
        for (bool oneBit : {false, true}) {
            SCOPED_TRACE(std::to_string(c.Mark.first) + "," + std::to_string(c.Mark.second) +
                         (oneBit ? " 1-bit" : " 24-bit"));
            auto dark = Picture(oneBit, true, {c.Mark}, 0);
            EXPECT_EQ(Project(*dark, false), c.BlackOnWhite);
            auto light = Picture(oneBit, false, {c.Mark}, 255);
            Bits inverted = c.BlackOnWhite;
            for (auto& row : inverted)
                for (int& bit : row)
                    bit = 1 - bit;
            EXPECT_EQ(Project(*light, true), inverted);
        }
}

TEST_F(Projection, MiddleGreyIsNeitherDarkNorLight) {
    auto onWhite = Picture(false, true, {{3, 4}}, 128);
    EXPECT_EQ(Project(*onWhite, false), std::vector<std::vector<int>>(3, {1, 1, 1}));
    auto onBlack = Picture(false, false, {{3, 4}}, 128);
    EXPECT_EQ(Project(*onBlack, true), std::vector<std::vector<int>>(3, {0, 0, 0}));
}

TEST_F(Projection, AThinLineSurvivesAStrongReduction) {
    Rows rows(200, GrayRow24(std::vector<uint8_t>(200, 255)));
    rows[101] = GrayRow24(std::vector<uint8_t>(200, 0));
    auto source = Make(rows, 200, vl24RGB);
    auto dest = Make(7, 7, vl1g);
    ProgressLog log;
    ProjectResample24(*source, *dest, false, log.Event());
    const Rows out = GetRows(*dest);
    for (int y = 0; y < 7; ++y)
        EXPECT_EQ(out[y][0] & 0xFE, y == 4 ? 0x00 : 0xFE) << y; // row box 4 is 85..114
    // Trunc(j x 100 / 7.5) after every row.
    EXPECT_EQ(log.Values, std::vector<int32_t>({0, 13, 26, 40, 53, 66, 80}));
}

} // namespace
