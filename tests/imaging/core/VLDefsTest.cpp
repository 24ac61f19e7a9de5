// Once-only start-up and shut-down of the library and the values it leaves in place.
#include "imaging/core/VLDefs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> Log;

// Registers logging routines at three places of the sequence and removes them afterwards.
class LibraryStartup : public ::testing::Test {
protected:
    void SetUp() override {
        Log.clear();
        RegisterLibraryUnit(
            TLibraryUnit::Canvas, [] { Log.push_back("+canvas"); },
            [] { Log.push_back("-canvas"); });
        RegisterLibraryUnit(
            TLibraryUnit::VistrelIO, [] { Log.push_back("+io"); }, [] { Log.push_back("-io"); });
        RegisterLibraryUnit(
            TLibraryUnit::PresetImages, [] { Log.push_back("+presets"); },
            [] { Log.push_back("-presets"); });
    }
    void TearDown() override {
        RegisterLibraryUnit(TLibraryUnit::Canvas, nullptr, nullptr);
        RegisterLibraryUnit(TLibraryUnit::VistrelIO, nullptr, nullptr);
        RegisterLibraryUnit(TLibraryUnit::PresetImages, nullptr, nullptr);
    }
};

TEST_F(LibraryStartup, RunsEachSequenceOnceInOrderAndReverse) {
    InitializeLibrary();
    InitializeLibrary();
    EXPECT_EQ(StaticInitMarker, "STATICINIT");
    EXPECT_EQ(StaticInitCount, 2);
    FinalizeLibrary();
    EXPECT_EQ(Log, (std::vector<std::string>{"+canvas", "+io", "+presets"}));
    FinalizeLibrary();
    EXPECT_EQ(Log, (std::vector<std::string>{"+canvas", "+io", "+presets", "-presets", "-io",
                                             "-canvas"}));
    EXPECT_EQ(StaticInitMarker, "");
    FinalizeLibrary(); // without a matching start-up: nothing happens
    EXPECT_EQ(Log.size(), 6u);
}

TEST_F(LibraryStartup, StartsOverAfterCompleteShutDown) {
    InitializeLibrary();
    FinalizeLibrary();
    InitializeLibrary();
    EXPECT_EQ(StaticInitCount, 1);
    FinalizeLibrary();
    EXPECT_EQ(Log.size(), 12u);
}

TEST_F(LibraryStartup, RestoresTheStartUpValues) {
    GrayWeightRed = 30;
    DefaultMinFileSize = 123;
    CosineTable.fill(-1);
    InitializeLibrary();
    EXPECT_EQ(GrayWeightRed + GrayWeightGreen + GrayWeightBlue, 100);
    EXPECT_EQ(GrayWeightRed, 21);
    EXPECT_EQ(DefaultMinFileSize, -1);
    EXPECT_EQ(DialogsBackground, 0);
    EXPECT_EQ(LibraryVersion, u"3.0.2");
    EXPECT_EQ(CosineTable[0], 0);
    EXPECT_EQ(CosineTable[255], 128);
    EXPECT_EQ(CosineTable[127], 64); // 64 - 64 cos(127 pi / 255) = 63.6 rounds to 64
    for (int32_t v : CosineTable) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 128);
    }
    FinalizeLibrary();
}

TEST(WindowsVersion, CodeTable) {
    struct Case {
        uint32_t platform, major, minor;
        uint8_t code;
    };
    const Case cases[] = {{1, 4, 0, 1}, {1, 4, 10, 2}, {1, 4, 90, 3}, {2, 4, 0, 4}, {2, 5, 0, 5},
                          {2, 5, 1, 6}, {2, 5, 2, 7},  {2, 6, 0, 8},  {2, 6, 1, 0}, {3, 5, 1, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(WindowsVersionCodeOf(c.platform, c.major, c.minor), c.code)
            << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(GetWindowsVersionCode(), 0);
}

TEST(LanguageCharInfo, SpecialLanguages) {
    EXPECT_EQ(LanguageCharInfo[msGreek].CharSet, 161);
    EXPECT_EQ(LanguageCharInfo[msRussian].CharSet, 204);
    EXPECT_EQ(LanguageCharInfo[msFarsi].CharSet, 178);
    EXPECT_EQ(LanguageCharInfo[msFarsi].FontName, u"Tahoma");
    EXPECT_EQ(LanguageCharInfo[msKorean].CharSet, 1);
    EXPECT_TRUE(LanguageCharInfo[msUser].FontName.empty());
}

} // namespace
