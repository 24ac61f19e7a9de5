// The render operations: exact results of every operation on a table of channel pairs, the
// whole-pixel operations and the row form.
#include "imaging/core/VLRenderOps.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

// Before any start-up: the table is there when the program loads.
TEST(RenderOpsWithoutStartUp, InterpolationHasItsCosineTable) {
    EXPECT_EQ(CosineTable[255], 128);
    EXPECT_EQ(CosineTable[127], 64);
    TVLRGB white{255, 255, 255};
    TVLRGB dest = white;
    ApplyRenderOperation(white, dest, vlroInterpolation); // gave 0 without InitializeLibrary
    EXPECT_EQ(dest, white);
}

class RenderOps : public ::testing::Test {
protected:
    void SetUp() override { BuildCosineTable(); }
};

// Channel pairs (source, destination) every per-channel operation is checked on.
constexpr std::array<std::pair<uint8_t, uint8_t>, 7> Pairs = {
    {{0, 100}, {200, 100}, {30, 200}, {255, 0}, {255, 255}, {128, 64}, {77, 190}}};

struct TChannelCase {
    TVLRenderOperation Operation;
    std::array<int, Pairs.size()> Expected;
};

// Expected values from a separate transcription of the operation table. Multiply, Screen and
// SoftLight2 divide by 255 with rounding: Screen of black over 100 stays 100 (a division by 256
// would give 101), and Multiply of white over white stays white.
const TChannelCase ChannelCases[] = {
    {vlroCopy, {0, 200, 30, 255, 255, 128, 77}},
    {vlroAdd, {100, 255, 230, 255, 255, 192, 255}},
    {vlroDifference, {100, 100, 170, 255, 0, 64, 113}},
    {vlroDivide, {100, 0, 6, 0, 1, 0, 2}},
    {vlroMultiply, {0, 78, 24, 0, 255, 32, 57}},
    {vlroOr, {100, 236, 222, 255, 255, 192, 255}},
    {vlroAnd, {0, 64, 8, 0, 255, 0, 12}},
    {vlroXor, {100, 172, 214, 255, 0, 192, 243}},
    {vlroMax, {100, 200, 200, 255, 255, 128, 190}},
    {vlroMin, {0, 100, 30, 0, 255, 64, 77}},
    {vlroAverage, {50, 150, 115, 127, 255, 96, 133}},
    {vlroScreen, {100, 222, 206, 255, 255, 160, 210}},
    {vlroNegation, {100, 210, 230, 255, 0, 192, 243}},
    {vlroExclusion, {100, 144, 184, 255, 2, 128, 153}},
    {vlroOverlay, {0, 156, 159, 0, 255, 64, 165}},
    {vlroHardLight, {0, 189, 46, 255, 255, 66, 114}},
    {vlroSoftLight, {39, 133, 167, 0, 255, 64, 170}},
    {vlroSoftLight2, {39, 134, 167, 0, 255, 64, 171}},
    {vlroColorDodge, {100, 255, 227, 255, 255, 129, 255}},
    {vlroColorBurn, {0, 57, 0, 0, 255, 0, 39}},
    {vlroReverseDodge, {0, 255, 139, 255, 255, 171, 255}},
    {vlroReverseBurn, {0, 115, 0, 0, 255, 0, 16}},
    {vlroSoftDodge, {50, 185, 113, 255, 255, 64, 136}},
    {vlroSoftBurn, {0, 156, 69, 128, 255, 85, 147}},
    {vlroReflect, {39, 181, 177, 255, 255, 32, 202}},
    {vlroGlow, {0, 255, 16, 255, 255, 85, 91}},
    {vlroFreeze, {0, 135, 155, 0, 255, 0, 201}},
    {vlroHeat, {0, 225, 2, 0, 255, 3, 89}},
    {vlroAddMinus256, {0, 44, 0, 0, 254, 0, 11}},
    {vlroInterpolation, {43, 157, 118, 128, 255, 83, 136}},
    {vlroLinearLight, {0, 244, 4, 254, 255, 64, 88}},
};

TVLRGB Grey(uint8_t V) {
    return {V, V, V};
}

TVLRGB Rgb(uint8_t R, uint8_t G, uint8_t B) {
    return {B, G, R};
}

TEST_F(RenderOps, EveryChannelOperationGivesTheTableResultInEachChannel) {
    for (const TChannelCase& c : ChannelCases) {
        for (size_t i = 0; i < Pairs.size(); ++i) {
            SCOPED_TRACE(testing::Message()
                         << "operation " << int(c.Operation) << " s " << int(Pairs[i].first)
                         << " d " << int(Pairs[i].second));
            // Each channel on its own: the other two carry different values.
            TVLRGB source{Pairs[i].first, 11, 250};
            TVLRGB dest{Pairs[i].second, 240, 3};
            ApplyRenderOperation(source, dest, c.Operation);
            EXPECT_EQ(dest.b, c.Expected[i]);
            TVLRGB swapped{250, 11, Pairs[i].first};
            TVLRGB under{3, 240, Pairs[i].second};
            ApplyRenderOperation(swapped, under, c.Operation);
            EXPECT_EQ(under.r, c.Expected[i]);
        }
    }
}

TEST_F(RenderOps, NeutralColoursOfTheMendedOperationsAreExact) {
    for (int v = 0; v < 256; ++v) {
        SCOPED_TRACE(v);
        TVLRGB d = Grey(static_cast<uint8_t>(v));
        ApplyRenderOperation(Grey(255), d, vlroMultiply);
        EXPECT_EQ(d.g, v) << "white is neutral in Multiply";
        d = Grey(static_cast<uint8_t>(v));
        ApplyRenderOperation(Grey(0), d, vlroScreen);
        EXPECT_EQ(d.g, v) << "black is neutral in Screen";
        d = Grey(static_cast<uint8_t>(v));
        ApplyRenderOperation(Grey(255), d, vlroScreen);
        EXPECT_EQ(d.g, 255);
        d = Grey(static_cast<uint8_t>(v));
        ApplyRenderOperation(Grey(0), d, vlroMultiply);
        EXPECT_EQ(d.g, 0);
    }
}

TEST_F(RenderOps, SingleChannelOperationsReplaceOnlyTheirChannel) {
    const TVLRGB source = Rgb(10, 20, 30);
    TVLRGB dest = Rgb(200, 210, 220);
    ApplyRenderOperation(source, dest, vlroRedOnly);
    EXPECT_EQ(dest, Rgb(10, 210, 220));
    dest = Rgb(200, 210, 220);
    ApplyRenderOperation(source, dest, vlroGreenOnly);
    EXPECT_EQ(dest, Rgb(200, 20, 220));
    dest = Rgb(200, 210, 220);
    ApplyRenderOperation(source, dest, vlroBlueOnly);
    EXPECT_EQ(dest, Rgb(200, 210, 30));
}

TEST_F(RenderOps, HslOperationsMixHueSaturationAndLightness) {
    // Expected values from Python's colorsys (HLS) with the same mixing, rounded to bytes.
    struct {
        TVLRenderOperation Operation;
        TVLRGB Source, Dest, Expected;
    } const cases[] = {
        {vlroHue, Rgb(40, 200, 120), Rgb(200, 60, 30), Rgb(30, 200, 115)},
        {vlroSaturation, Rgb(40, 200, 120), Rgb(200, 60, 30), Rgb(192, 65, 38)},
        {vlroColor, Rgb(40, 200, 120), Rgb(200, 60, 30), Rgb(38, 192, 115)},
        {vlroHueLuminosity, Rgb(40, 200, 120), Rgb(200, 60, 30), Rgb(31, 209, 120)},
        // A grey source has hue 0: the destination keeps saturation and lightness, turns red.
        {vlroHue, Grey(128), Rgb(200, 60, 30), Rgb(200, 30, 30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Operation));
        TVLRGB dest = c.Dest;
        ApplyRenderOperation(c.Source, dest, c.Operation);
        EXPECT_EQ(dest, c.Expected);
    }
}

TEST_F(RenderOps, CodesBeyondTheTableLeaveTheDestination) {
    for (int code : {38, 100, 255}) {
        TVLRGB dest = Rgb(1, 2, 3);
        ApplyRenderOperation(Rgb(200, 100, 50), dest, static_cast<TVLRenderOperation>(code));
        EXPECT_EQ(dest, Rgb(1, 2, 3)) << code;
    }
}

TEST_F(RenderOps, RowFormAgreesWithThePixelFormOnRandomPixels) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<TVLRGB> source(64), dest(64);
    for (size_t i = 0; i < source.size(); ++i) {
        source[i] = {static_cast<uint8_t>(byte(random)), static_cast<uint8_t>(byte(random)),
                     static_cast<uint8_t>(byte(random))};
        dest[i] = {static_cast<uint8_t>(byte(random)), static_cast<uint8_t>(byte(random)),
                   static_cast<uint8_t>(byte(random))};
    }
    for (int op = 0; op <= VLRenderOperationCount; ++op) {
        SCOPED_TRACE(op);
        const auto operation = static_cast<TVLRenderOperation>(op);
        std::vector<TVLRGB> row = dest;
        RenderOperationRow(operation)(source.data(), row.data(), static_cast<int32_t>(row.size()));
        for (size_t i = 0; i < row.size(); ++i) {
            TVLRGB one = dest[i];
            ApplyRenderOperation(source[i], one, operation);
            ASSERT_EQ(row[i], one) << "pixel " << i;
        }
    }
}

} // namespace
