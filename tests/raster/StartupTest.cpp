// Start-up order and use count of the library, the processor tests against /proc/cpuinfo and
// a model processor, the stopwatch and the themes-off state.
#include "RasterTesting.h"

#include "raster/Bitmap32.h"
#include "raster/RasterSystem.h"

#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

using namespace raster;

namespace {

std::vector<std::string> Log;

// What each probe routine sees of the units around it.
std::string Snapshot(const char* Name) {
    std::string s = Name;
    s += GlobalPerfTimer != nullptr ? " timer" : " -";
    s += ProductTable[255][255] == 255 ? " tables" : " -";
    s += TextMeasuringBitmap != nullptr ? " measuring" : " -";
    return s;
}

// Probe routines in two slots that have no start-up work of their own: one between the blending
// unit and the bitmap unit, one after the bitmap unit.
class RasterStartup : public ::testing::Test {
protected:
    void SetUp() override {
        Log.clear();
        ProductTable[255][255] = 0;
        RegisterRasterUnit(
            TRasterUnit::DrawingEx, [] { Log.push_back(Snapshot("+drawingex")); },
            [] { Log.push_back(Snapshot("-drawingex")); });
        RegisterRasterUnit(
            TRasterUnit::Layers, [] { Log.push_back(Snapshot("+layers")); },
            [] { Log.push_back(Snapshot("-layers")); });
    }
    void TearDown() override {
        RegisterRasterUnit(TRasterUnit::DrawingEx, nullptr, nullptr);
        RegisterRasterUnit(TRasterUnit::Layers, nullptr, nullptr);
    }
};

TEST_F(RasterStartup, RunsEachUnitOnceInOrderAndReverse) {
    ASSERT_EQ(RasterLibraryUseCount(), 0);
    InitializeRasterLibrary();
    InitializeRasterLibrary();
    EXPECT_EQ(RasterLibraryUseCount(), 2);
    EXPECT_EQ(GAMMA_TABLE[128], 157);
    FinalizeRasterLibrary();
    EXPECT_NE(GlobalPerfTimer, nullptr);
    FinalizeRasterLibrary();
    EXPECT_EQ(Log, (std::vector<std::string>{
                       "+drawingex timer tables -", "+layers timer tables measuring",
                       "-layers timer tables measuring", "-drawingex timer tables -"}));
    EXPECT_EQ(GlobalPerfTimer, nullptr);
    EXPECT_EQ(TextMeasuringBitmap, nullptr);
    FinalizeRasterLibrary(); // without a matching start-up: nothing happens
    EXPECT_EQ(Log.size(), 4u);
    EXPECT_EQ(RasterLibraryUseCount(), 0);
}

TEST_F(RasterStartup, StartsOverAfterCompleteShutDownAndFromThreads) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] { InitializeRasterLibrary(); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(RasterLibraryUseCount(), 4);
    EXPECT_EQ(Log.size(), 2u);
    for (int i = 0; i < 4; ++i)
        FinalizeRasterLibrary();
    InitializeRasterLibrary();
    FinalizeRasterLibrary();
    EXPECT_EQ(Log.size(), 8u);
}

// The processor's feature names as /proc/cpuinfo lists them.
std::set<std::string> CpuinfoFlags() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            return {std::istream_iterator<std::string>(words), {}};
        }
    return {};
}

TEST(ProcessorTests, AgreeWithProcCpuinfo) {
    if (!std::ifstream("/proc/cpuinfo")) GTEST_SKIP() << "/proc/cpuinfo is not readable";
    const std::set<std::string> flags = CpuinfoFlags();
    const auto has = [&](const char* f) { return flags.count(f) > 0; };
    EXPECT_EQ(HasMMX(), has("mmx"));
    EXPECT_EQ(HasSSE(), has("sse"));
    EXPECT_EQ(HasSSE2(), has("sse2"));
    EXPECT_EQ(HasEMMX(), has("sse") || has("mmxext"));
    EXPECT_EQ(Has3DNow(), has("3dnow"));
    EXPECT_EQ(Has3DNowExt(), has("3dnowext"));
}

TEST(ProcessorTests, ModelProcessors) {
    constexpr uint32_t family6 = 0x600, family4 = 0x400;
    struct Case {
        const char* name;
        TProcessorIds ids;
        TCPUInstructionSet set;
        bool expected;
    } cases[] = {
        {"no identification instruction",
         {false, family6, 0xFFFFFFFF, 0x80000008, 0xFFFFFFFF},
         ciMMX,
         false},
        {"family below 5", {true, family4, 0xFFFFFFFF, 0x80000008, 0xFFFFFFFF}, ciMMX, false},
        {"MMX flag", {true, family6, 0x800000, 0x80000000, 0}, ciMMX, true},
        {"SSE without extended MMX flag", {true, family6, 0x2000000, 0x80000000, 0}, ciEMMX, true},
        {"extended MMX flag alone", {true, family6, 0, 0x80000001, 0x400000}, ciEMMX, true},
        {"extended MMX flag without extended leaves",
         {true, family6, 0, 0x80000000, 0x400000},
         ciEMMX,
         false},
        {"3DNow at highest leaf 0x80000000",
         {true, family6, 0, 0x80000000, 0x80000000},
         ci3DNow,
         false},
        {"3DNow", {true, family6, 0, 0x80000001, 0x80000000}, ci3DNow, true},
        {"3DNow extensions", {true, family6, 0, 0x80000001, 0x40000000}, ci3DNowExt, true},
        {"SSE2", {true, family6, 0x4000000, 0, 0}, ciSSE2, true},
        {"SSE2 flag missing", {true, family6, 0x2000000, 0, 0}, ciSSE2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HasInstructionSet(c.set, c.ids), c.expected);
    }
}

TEST(PerfTimer, MeasuresMicroseconds) {
    TPerfTimer timer;
    timer.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int64_t us = timer.ReadValue();
    EXPECT_GE(us, 50000);
    EXPECT_EQ(timer.CounterRate, 1000000000);
    EXPECT_GE(std::stoll(Utf8FromStr(timer.ReadNanoseconds())), us);
    EXPECT_GE(std::stod(Utf8FromStr(timer.ReadMilliseconds())), us / 1000.0);
}

TEST(Themes, StayOffWithoutAThemeLibrary) {
    TThemeSolvane themes;
    EXPECT_FALSE(BindThemeApi());
    EXPECT_FALSE(USE_THEMES);
    TMessage message{WM_THEMECHANGED, 0, 0, 7};
    themes.ThemeWindowProc(message);
    EXPECT_EQ(message.Result, 0);
    EXPECT_FALSE(USE_THEMES);
    EXPECT_EQ(SCROLLBAR_THEME, nullptr);
    EXPECT_EQ(GLOBALS_THEME, nullptr);
    EXPECT_EQ(themes.HiddenWindow, nullptr);
}

} // namespace
