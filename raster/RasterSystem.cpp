// Processor tests on the platform's identification probe, the stopwatch on the monotonic clock
// and the theme handles in their themes-off state.
#include "raster/RasterSystem.h"

#include "platform/rtl/Processor.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"

#include <chrono>

namespace raster {

TProcessorIds ReadProcessorIds() {
    TProcessorIds ids;
    ids.HasCpuid = CpuidSupported();
    if (!ids.HasCpuid) return ids;
    const TCpuidRegisters leaf1 = Cpuid(1);
    ids.Signature = leaf1.Eax;
    ids.FeatureFlags = leaf1.Edx;
    ids.MaxExtendedLeaf = Cpuid(0x80000000).Eax;
    if (ids.MaxExtendedLeaf > 0x80000000) ids.ExtendedFlags = Cpuid(0x80000001).Edx;
    return ids;
}

bool HasInstructionSet(TCPUInstructionSet InstructionSet, const TProcessorIds& Ids) {
    if (!Ids.HasCpuid) return false;
    const uint32_t family = (Ids.Signature >> 8) & 0xF;
    if (family < 5) return false;
    const bool extended = Ids.MaxExtendedLeaf > 0x80000000;
    const uint32_t mask = CPUISChecks[InstructionSet];
    switch (InstructionSet) {
    case ciEMMX:
        // SSE brings the extended MMX instructions with it.
        if (Ids.FeatureFlags & CPUISChecks[ciSSE]) return true;
        return extended && (Ids.ExtendedFlags & mask) != 0;
    case ci3DNow:
    case ci3DNowExt:
        return extended && (Ids.ExtendedFlags & mask) != 0;
    default:
        return (Ids.FeatureFlags & mask) != 0;
    }
}

bool HasInstructionSet(TCPUInstructionSet InstructionSet) {
    return HasInstructionSet(InstructionSet, ReadProcessorIds());
}

bool HasMMX() {
    return HasInstructionSet(ciMMX);
}
bool HasEMMX() {
    return HasInstructionSet(ciEMMX);
}
bool HasSSE() {
    return HasInstructionSet(ciSSE);
}
bool HasSSE2() {
    return HasInstructionSet(ciSSE2);
}
bool Has3DNow() {
    return HasInstructionSet(ci3DNow);
}
bool Has3DNowExt() {
    return HasInstructionSet(ci3DNowExt);
}

namespace {

int64_t CounterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int64_t CounterFrequency = 1000000000;

} // namespace

void TPerfTimer::Start() {
    StartCount = CounterNow();
}

int64_t TPerfTimer::ReadValue() {
    StopCount = CounterNow();
    CounterRate = CounterFrequency;
    return Round(static_cast<double>((StopCount - StartCount) * 1000000) /
                 static_cast<double>(CounterRate));
}

String TPerfTimer::ReadNanoseconds() {
    return IntToStr(ReadValue());
}

String TPerfTimer::ReadMilliseconds() {
    return FloatToStr(static_cast<double>(ReadValue()) / 1000.0);
}

TPerfTimer* GlobalPerfTimer = nullptr;

HTHEME (*OpenThemeData)(HWND, const char16_t*) = nullptr;
int32_t (*CloseThemeData)(HTHEME) = nullptr;
int32_t (*DrawThemeBackground)(HTHEME, HDC, int32_t, int32_t, const TRect*, const TRect*) = nullptr;
int32_t (*DrawThemeEdge)(HTHEME, HDC, int32_t, int32_t, const TRect*, uint32_t, uint32_t,
                         TRect*) = nullptr;
int32_t (*GetThemeColor)(HTHEME, int32_t, int32_t, int32_t, COLORREF*) = nullptr;
int32_t (*GetThemeMetric)(HTHEME, HDC, int32_t, int32_t, int32_t, int32_t*) = nullptr;
int32_t (*GetThemeMargins)(HTHEME, HDC, int32_t, int32_t, int32_t, const TRect*,
                           MARGINS*) = nullptr;
int32_t (*SetWindowTheme)(HWND, const char16_t*, const char16_t*) = nullptr;
bool (*IsThemeActive)() = nullptr;
bool (*IsAppThemed)() = nullptr;
int32_t (*EnableTheming)(bool) = nullptr;
void* ThemeLibrary = nullptr;

bool USE_THEMES = false;
HTHEME SCROLLBAR_THEME = nullptr;
HTHEME GLOBALS_THEME = nullptr;

bool BindThemeApi() {
    // No visual-style library exists on this platform: nothing to load, nothing resolved.
    if (ThemeLibrary == nullptr) ReleaseThemeApi();
    return ThemeLibrary != nullptr;
}

void ReleaseThemeApi() {
    ThemeLibrary = nullptr;
    OpenThemeData = nullptr;
    CloseThemeData = nullptr;
    DrawThemeBackground = nullptr;
    DrawThemeEdge = nullptr;
    GetThemeColor = nullptr;
    GetThemeMetric = nullptr;
    GetThemeMargins = nullptr;
    SetWindowTheme = nullptr;
    IsThemeActive = nullptr;
    IsAppThemed = nullptr;
    EnableTheming = nullptr;
}

bool ThemesActive() {
    return ThemeLibrary != nullptr && IsAppThemed() && IsThemeActive();
}

TThemeSolvane::TThemeSolvane() {
    OpenThemeHandles();
}

TThemeSolvane::~TThemeSolvane() {
    CloseThemeHandles();
}

void TThemeSolvane::OpenThemeHandles() {
    USE_THEMES = false;
    if (BindThemeApi()) USE_THEMES = ThemesActive();
    if (USE_THEMES) {
        SCROLLBAR_THEME = OpenThemeData(HiddenWindow, u"SCROLLBAR");
        GLOBALS_THEME = OpenThemeData(HiddenWindow, u"GLOBALS");
    }
}

void TThemeSolvane::CloseThemeHandles() {
    if (ThemesActive()) {
        if (SCROLLBAR_THEME != nullptr) CloseThemeData(SCROLLBAR_THEME);
        SCROLLBAR_THEME = nullptr;
        if (GLOBALS_THEME != nullptr) CloseThemeData(GLOBALS_THEME);
        GLOBALS_THEME = nullptr;
    }
    ReleaseThemeApi();
}

void TThemeSolvane::ThemeWindowProc(TMessage& Message) {
    if (Message.Msg == WM_THEMECHANGED) {
        CloseThemeHandles();
        OpenThemeHandles();
    }
    Message.Result = 0;
}

namespace {

// The unit's objects, from its start-up to its shut-down.
std::unique_ptr<TThemeSolvane> ThemeSolvane;
std::unique_ptr<TPerfTimer> PerfTimer;

} // namespace

void InitializeSystemUnit() {
    ThemeSolvane = std::make_unique<TThemeSolvane>();
    PerfTimer = std::make_unique<TPerfTimer>();
    GlobalPerfTimer = PerfTimer.get();
}

void FinalizeSystemUnit() {
    GlobalPerfTimer = nullptr;
    PerfTimer.reset();
    ThemeSolvane.reset();
}

} // namespace raster
