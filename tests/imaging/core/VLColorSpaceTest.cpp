// Colour-space row conversion and the CMYK transforms, colour-managed and by formula.
#include "imaging/core/VLColorSpace.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const std::string PressProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// Points the profile search at Folders for one test and forgets the transforms before and after.
class CMYKProfileSearch {
public:
    explicit CMYKProfileSearch(std::vector<String> Folders) : FSaved(CMYKProfileFolders) {
        CMYKProfileFolders = std::move(Folders);
        FreeCMYKTransforms();
    }
    ~CMYKProfileSearch() {
        CMYKProfileFolders = FSaved;
        CMYKColorManagement = true;
        FreeCMYKTransforms();
    }

private:
    std::vector<String> FSaved;
};

String Wide(const std::string& Text) {
    return StrFromUtf8(Text);
}

uint32_t Pack(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3 = 0) {
    return B0 | B1 << 8 | B2 << 16 | static_cast<uint32_t>(B3) << 24;
}

// The formula path: stored CMYK (C, M, Y, K) in, (R, G, B) out, and back.
void ExpectFormulaResults() {
    struct ToRGB {
        uint8_t c, m, y, k, r, g, b;
    };
    const std::vector<ToRGB> toRGB = {
        {255, 255, 255, 255, 255, 255, 255}, // no ink: white
        {12, 200, 77, 0, 0, 0, 0},           // full black ink: black whatever the rest
        {128, 64, 255, 200, 100, 50, 200},   // C x K / 255 ...
        {0, 0, 0, 255, 0, 0, 0},
    };
    for (const ToRGB& t : toRGB) {
        SCOPED_TRACE(testing::Message()
                     << int(t.c) << "," << int(t.m) << "," << int(t.y) << "," << int(t.k));
        TVLRGB rgb;
        ConvertCMYKToRGB(Pack(t.c, t.m, t.y, t.k), rgb);
        EXPECT_EQ(rgb, (TVLRGB{t.b, t.g, t.r}));
    }
    struct ToCMYK {
        uint8_t r, g, b, c, m, y, k;
    };
    const std::vector<ToCMYK> toCMYK = {
        {0, 0, 0, 0, 0, 0, 1},               // black: K of 1
        {255, 255, 255, 255, 255, 255, 255}, // white
        {10, 20, 40, 63, 127, 255, 40},      // channel x 255 / largest
        {255, 0, 128, 255, 0, 128, 255},
    };
    for (const ToCMYK& t : toCMYK) {
        SCOPED_TRACE(testing::Message() << int(t.r) << "," << int(t.g) << "," << int(t.b));
        EXPECT_EQ(ConvertRGBToCMYK(Pack(t.b, t.g, t.r)), Pack(t.c, t.m, t.y, t.k));
    }
}

// Runs transicc on Lines of input values and returns the numbers of each output line.
bool RunTransicc(const ScratchFolder& Scratch, const std::string& Options, const std::string& Lines,
                 std::vector<std::vector<double>>& Values) {
    {
        std::ofstream in(Scratch.File("in.txt"));
        in << Lines;
    }
    std::string output;
    if (!Scratch.Run("transicc -t0 " + Options + " < " + Scratch.File("in.txt"), output))
        return false;
    std::istringstream text(output);
    std::string line;
    Values.clear();
    while (std::getline(text, line)) {
        if (line.find('=') == std::string::npos) continue;
        std::vector<double> numbers;
        for (size_t at = line.find('='); at != std::string::npos; at = line.find('=', at + 1))
            numbers.push_back(std::strtod(line.c_str() + at + 1, nullptr));
        Values.push_back(numbers);
    }
    return true;
}

int RoundToByte(double Value) {
    return static_cast<int>(std::lround(std::clamp(Value, 0.0, 255.0)));
}

} // namespace

TEST(ColorSpaceRow, LayoutsToBGR) {
    struct Case {
        const char* name;
        uint8_t layout;
        std::vector<uint8_t> source;
        std::vector<uint8_t> expected; // blue, green, red per pixel
    };
    const std::vector<Case> cases = {
        {"RGB", ColorLayoutRGB, {1, 2, 3, 250, 128, 0}, {3, 2, 1, 0, 128, 250}},
        {"BGR", ColorLayoutBGR, {1, 2, 3, 250, 128, 0}, {1, 2, 3, 250, 128, 0}},
        {"RGB48 little-endian",
         ColorLayoutRGB48LE,
         {0x11, 0xA0, 0x22, 0xB0, 0x33, 0xC0},
         {0xC0, 0xB0, 0xA0}},
        {"RGB48 big-endian",
         ColorLayoutRGB48BE,
         {0xA0, 0x11, 0xB0, 0x22, 0xC0, 0x33},
         {0xC0, 0xB0, 0xA0}},
        // R = Y + 1.402 (Cr - 128), G = Y - 0.34414 (Cb - 128) - 0.71414 (Cr - 128),
        // B = Y + 1.772 (Cb - 128), truncated and clamped.
        {"YCbCr", ColorLayoutYCbCr, {128, 128, 128, 76, 85, 255}, {128, 128, 128, 0, 0, 254}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> source = c.source;
        std::vector<uint8_t> target(c.expected.size(), 0xEE);
        const auto count = static_cast<int32_t>(c.expected.size() / 3);
        ConvertColorSpaceRow(source.data(), c.layout, target.data(), nullptr, count,
                             ColorTargetBGR);
        EXPECT_EQ(target, c.expected);
    }
}

TEST(ColorSpaceRow, BGRToGreyWithTheLibraryWeights) {
    std::vector<uint8_t> source = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0};
    std::vector<uint8_t> grey(5);
    ConvertColorSpaceRow(source.data(), ColorLayoutBGR, grey.data(), nullptr, 5, ColorTargetGray);
    // Red 21 %, green 71 %, blue 8 %, integer division.
    EXPECT_EQ(grey, (std::vector<uint8_t>{53, 181, 20, 255, 0}));
}

TEST(ColorSpaceRow, CIELabAgainstPublishedValues) {
    // sRGB colours and their CIELab values under D65 (L* 0..100 stored as L* x 255 / 100, a and
    // b as signed bytes), within one unit.
    struct Case {
        const char* name;
        uint8_t r, g, b;
        double l, a, bb;
    };
    const std::vector<Case> cases = {
        {"white", 255, 255, 255, 100, 0, 0},        {"black", 0, 0, 0, 0, 0, 0},
        {"red", 255, 0, 0, 53.24, 80.09, 67.20},    {"green", 0, 255, 0, 87.73, -86.18, 83.18},
        {"blue", 0, 0, 255, 32.30, 79.19, -107.86}, {"grey", 119, 119, 119, 50.03, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bgr = {c.b, c.g, c.r};
        uint8_t lab[3];
        ConvertColorSpaceRow(bgr.data(), ColorLayoutBGR, lab, nullptr, 1, ColorTargetCIELab);
        EXPECT_NEAR(lab[0], c.l * 255 / 100, 1.0);
        EXPECT_NEAR(static_cast<int8_t>(lab[1]), c.a, 1.0);
        EXPECT_NEAR(static_cast<int8_t>(lab[2]), c.bb, 1.0);
    }
    // Colours inside the gamut come back within three levels per channel (one unit of a or b is
    // worth up to three levels); at the primaries the whole-number a and b move the colour out
    // of the gamut, where the way back clips.
    const std::vector<std::vector<uint8_t>> roundTrips = {
        {255, 255, 255}, {0, 0, 0}, {119, 119, 119}, {60, 120, 200}, {150, 100, 50}, {30, 200, 90}};
    for (const std::vector<uint8_t>& bgr : roundTrips) {
        SCOPED_TRACE(testing::Message() << int(bgr[0]) << "," << int(bgr[1]) << "," << int(bgr[2]));
        std::vector<uint8_t> source = bgr;
        uint8_t lab[3], back[3];
        ConvertColorSpaceRow(source.data(), ColorLayoutBGR, lab, nullptr, 1, ColorTargetCIELab);
        ConvertColorSpaceRow(lab, ColorLayoutCIELab, back, nullptr, 1, ColorTargetBGR);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(back[i], bgr[i], 3) << "channel " << i;
    }
}

TEST(ColorSpaceRow, PairsWithoutConversionLeaveTheTarget) {
    struct Case {
        uint8_t layout, target;
    };
    const std::vector<Case> cases = {{ColorLayoutRGB, ColorTargetCMYK},
                                     {ColorLayoutRGB, ColorTargetGray},
                                     {ColorLayoutCMYK, ColorTargetCIELab},
                                     {ColorLayoutNone, ColorTargetBGR},
                                     {ColorLayoutYCbCr, ColorTargetGray},
                                     {9, ColorTargetBGR},
                                     {ColorLayoutBGR, 3},
                                     {ColorLayoutBGR, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.layout) << " -> " << int(c.target));
        std::vector<uint8_t> source(24, 100);
        std::vector<uint8_t> target(24, 0xEE);
        ConvertColorSpaceRow(source.data(), c.layout, target.data(), nullptr, 4, c.target);
        EXPECT_EQ(target, std::vector<uint8_t>(24, 0xEE));
        EXPECT_EQ(source, std::vector<uint8_t>(24, 100));
    }
    // A count of 0 or below converts nothing.
    std::vector<uint8_t> source = {1, 2, 3};
    std::vector<uint8_t> target(3, 0xEE);
    ConvertColorSpaceRow(source.data(), ColorLayoutRGB, target.data(), nullptr, 0, ColorTargetBGR);
    ConvertColorSpaceRow(source.data(), ColorLayoutRGB, target.data(), nullptr, -5, ColorTargetBGR);
    EXPECT_EQ(target, std::vector<uint8_t>(3, 0xEE));
    EXPECT_EQ(ColorConversionHook, &ConvertColorSpaceRow);
}

TEST(CMYKConversion, FormulasWhenNoProfileIsFound) {
    ScratchFolder empty;
    CMYKProfileSearch search({Wide(empty.File("")), u"/nonexistent/folder"});
    EXPECT_FALSE(InitCMYKTransforms());
    ExpectFormulaResults();
}

TEST(CMYKConversion, FormulasWhenColourManagementIsOff) {
    CMYKProfileSearch search({u"/usr/share/color/icc"});
    CMYKColorManagement = false;
    ExpectFormulaResults();
}

TEST(CMYKConversion, AFailedProfileIsRememberedUntilTheTransformsAreFreed) {
    ScratchFolder scratch;
    std::filesystem::create_directories(scratch.File("deep/er"));
    // A header that claims CMYK, followed by nothing a colour engine can use.
    std::vector<uint8_t> broken(512, 0xA5);
    std::memcpy(broken.data() + 16, "CMYK", 4);
    scratch.Write("deep/er/default_cmyk.icc", broken);
    CMYKProfileSearch search({Wide(scratch.File(""))});
    EXPECT_FALSE(InitCMYKTransforms());
    ExpectFormulaResults();

    // A usable profile appearing later is not picked up: the failure is remembered and every
    // conversion keeps to the formulas ...
    if (!std::filesystem::exists(PressProfile))
        SV_SKIP_WITHOUT_REFERENCE(PressProfile << " is missing");
    std::filesystem::copy_file(PressProfile, scratch.File("deep/er/default_cmyk.icc"),
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_FALSE(InitCMYKTransforms());
    ExpectFormulaResults();
    // ... until the transforms are freed, which makes the next conversion look again.
    FreeCMYKTransforms();
    EXPECT_TRUE(InitCMYKTransforms());
}

TEST(CMYKConversion, RejectsFilesThatAreNoCMYKProfile) {
    ScratchFolder scratch;
    CMYKProfileSearch search({Wide(scratch.File(""))});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> rgbHeader(512, 0);
    std::memcpy(rgbHeader.data() + 16, "RGB ", 4);
    const std::vector<Case> cases = {
        {"empty", {}}, {"shorter than a header", std::vector<uint8_t>(100, 0)}, {"RGB", rgbHeader}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Write("default_cmyk.icc", c.bytes);
        FreeCMYKTransforms();
        EXPECT_FALSE(InitCMYKTransforms());
    }
}

TEST(CMYKConversion, ColourManagedRowsMatchTransicc) {
    if (!std::filesystem::exists(PressProfile))
        SV_SKIP_WITHOUT_REFERENCE(PressProfile << " is missing");
    if (!ToolExists("transicc")) SV_SKIP_WITHOUT_REFERENCE("transicc (liblcms2-utils) is missing");
    CMYKProfileSearch search({u"/usr/share/color/icc"});
    ASSERT_TRUE(InitCMYKTransforms());
    ScratchFolder scratch;

    // CMYK to RGB: every combination of five ink levels per channel.
    const uint8_t inks[] = {0, 64, 128, 191, 255};
    std::vector<uint8_t> stored;
    std::ostringstream percent;
    percent.precision(6);
    for (uint8_t c : inks)
        for (uint8_t m : inks)
            for (uint8_t y : inks)
                for (uint8_t k : inks) {
                    for (uint8_t ink : {c, m, y, k})
                        stored.push_back(static_cast<uint8_t>(255 - ink));
                    percent << c / 2.55 << ' ' << m / 2.55 << ' ' << y / 2.55 << ' ' << k / 2.55
                            << '\n';
                }
    const auto count = static_cast<int32_t>(stored.size() / 4);
    std::vector<std::vector<double>> expected;
    ASSERT_TRUE(
        RunTransicc(scratch, "-i " + PressProfile + " -o '*sRGB'", percent.str(), expected));
    ASSERT_EQ(expected.size(), static_cast<size_t>(count));
    std::vector<uint8_t> bgr(static_cast<size_t>(count) * 3);
    ConvertColorSpaceRow(stored.data(), ColorLayoutCMYK, bgr.data(), nullptr, count,
                         ColorTargetBGR);
    // The engine converts 8-bit pixels through a precalculated table where transicc evaluates
    // the profiles in floating point: near the edge of the gamut the two differ by a few levels,
    // on average by well under one.
    constexpr int Tolerance = 8;
    double totalError = 0;
    for (int32_t i = 0; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << "pixel " << i);
        ASSERT_EQ(expected[i].size(), 3u);
        for (int ch = 0; ch < 3; ++ch) {
            const int error = bgr[i * 3 + 2 - ch] - RoundToByte(expected[i][ch]);
            EXPECT_LE(std::abs(error), Tolerance) << "channel " << ch;
            totalError += std::abs(error);
        }
        if (i % 97 == 0) { // the pixel converter gives what the row gives
            TVLRGB one;
            ConvertCMYKToRGB(
                Pack(stored[i * 4], stored[i * 4 + 1], stored[i * 4 + 2], stored[i * 4 + 3]), one);
            EXPECT_EQ(one, (TVLRGB{bgr[i * 3], bgr[i * 3 + 1], bgr[i * 3 + 2]}));
        }
    }
    EXPECT_LT(totalError / (count * 3), 1.0);

    // RGB to CMYK: four levels per channel.
    const uint8_t levels[] = {0, 85, 170, 255};
    std::vector<uint8_t> rgbRow;
    std::ostringstream rgbText;
    for (uint8_t r : levels)
        for (uint8_t g : levels)
            for (uint8_t b : levels) {
                rgbRow.insert(rgbRow.end(), {b, g, r});
                rgbText << int(r) << ' ' << int(g) << ' ' << int(b) << '\n';
            }
    const auto rgbCount = static_cast<int32_t>(rgbRow.size() / 3);
    ASSERT_TRUE(RunTransicc(scratch, "-i '*sRGB' -o " + PressProfile, rgbText.str(), expected));
    ASSERT_EQ(expected.size(), static_cast<size_t>(rgbCount));
    std::vector<uint8_t> cmyk(static_cast<size_t>(rgbCount) * 4);
    ConvertColorSpaceRow(rgbRow.data(), ColorLayoutBGR, cmyk.data(), nullptr, rgbCount,
                         ColorTargetCMYK);
    totalError = 0;
    for (int32_t i = 0; i < rgbCount; ++i) {
        SCOPED_TRACE(testing::Message() << "rgb pixel " << i);
        ASSERT_EQ(expected[i].size(), 4u);
        for (int ch = 0; ch < 4; ++ch) {
            const int error = cmyk[i * 4 + ch] - (255 - RoundToByte(expected[i][ch] * 2.55));
            EXPECT_LE(std::abs(error), Tolerance) << "channel " << ch;
            totalError += std::abs(error);
        }
    }
    EXPECT_LT(totalError / (rgbCount * 4), 1.0);
}

TEST(CMYKConversion, InkLayoutIsTurnedIntoTheStoredFormInPlace) {
    ScratchFolder empty;
    CMYKProfileSearch search({Wide(empty.File(""))});
    // Two 6-byte pixels: inks C, M, Y, K and two bytes that are not looked at.
    std::vector<uint8_t> source = {0, 0, 0, 0, 9, 9, 127, 191, 0, 55, 9, 9};
    std::vector<uint8_t> bgr(6);
    ConvertColorSpaceRow(source.data(), ColorLayoutInkCMYK, bgr.data(), nullptr, 2, ColorTargetBGR);
    EXPECT_EQ(source, (std::vector<uint8_t>{255, 255, 255, 255, 9, 9, 128, 64, 255, 200, 9, 9}));
    // Stored (128, 64, 255, 200) is red 100, green 50, blue 200.
    EXPECT_EQ(bgr, (std::vector<uint8_t>{255, 255, 255, 200, 50, 100}));
}

// The window and the thumbnail thread may convert their first CMYK pixels at the same moment:
// both get the colour-managed colours, neither the formula while the other makes the transforms.
TEST(CMYKConversion, TwoThreadsConvertingFromAColdStartBothUseTheProfile) {
    if (!std::filesystem::exists(PressProfile))
        SV_SKIP_WITHOUT_REFERENCE(PressProfile << " is missing");
    CMYKProfileSearch search({u"/usr/share/color/icc"});
    const uint32_t cmyk = Pack(200, 150, 100, 220);
    const TVLRGB rgb{10, 120, 230};
    ASSERT_TRUE(InitCMYKTransforms());
    TVLRGB managed;
    ConvertCMYKToRGB(cmyk, managed);
    const uint32_t managedCMYK = ConvertRGBToCMYK(rgb.b | rgb.g << 8 | rgb.r << 16);
    CMYKColorManagement = false;
    TVLRGB formula;
    ConvertCMYKToRGB(cmyk, formula);
    CMYKColorManagement = true;
    ASSERT_NE(managed, formula) << "the pixel does not tell the two paths apart";
    for (int32_t round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        FreeCMYKTransforms();
        std::atomic<int32_t> waiting{2};
        TVLRGB got[2];
        uint32_t back[2] = {};
        const auto convert = [&](int32_t I) {
            // Both threads start converting together.
            --waiting;
            while (waiting.load() > 0) {
            }
            ConvertCMYKToRGB(cmyk, got[I]);
            back[I] = ConvertRGBToCMYK(rgb.b | rgb.g << 8 | rgb.r << 16);
        };
        std::thread first(convert, 0), second(convert, 1);
        first.join();
        second.join();
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_EQ(got[i], managed);
            EXPECT_EQ(back[i], managedCMYK);
        }
    }
}
