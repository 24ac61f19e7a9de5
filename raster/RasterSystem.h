// Unit Raster_System: which instruction-set extensions the processor has, a microsecond
// stopwatch and the millisecond tick, and the visual-style theme handles of the themed controls.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/rtl/System.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/Messages.h"

#include <array>
#include <memory>

namespace raster {

enum TCPUInstructionSet : uint8_t { ciMMX, ciEMMX, ciSSE, ciSSE2, ci3DNow, ci3DNowExt };

// Feature masks: MMX, SSE and SSE2 in the standard feature flags, the others in the extended ones.
constexpr std::array<uint32_t, 6> CPUISChecks = {0x800000,  0x400000,   0x2000000,
                                                 0x4000000, 0x80000000, 0x40000000};

// What the identification instruction tells about the processor.
struct TProcessorIds {
    bool HasCpuid = false;
    uint32_t Signature = 0;    // leaf 1, EAX
    uint32_t FeatureFlags = 0; // leaf 1, EDX
    uint32_t MaxExtendedLeaf = 0;
    uint32_t ExtendedFlags = 0; // leaf 0x80000001, EDX
};
// Asks the processor anew.
TProcessorIds ReadProcessorIds();

// The answer for the processor described by Ids.
bool HasInstructionSet(TCPUInstructionSet InstructionSet, const TProcessorIds& Ids);
// The answer for this processor, asked anew on every call.
bool HasInstructionSet(TCPUInstructionSet InstructionSet);
bool HasMMX();
bool HasEMMX();
bool HasSSE();
bool HasSSE2();
bool Has3DNow();
bool Has3DNowExt();

// The system's millisecond tick.
using ::GetTickCount;

// A stopwatch on the monotonic clock: counts are nanoseconds, CounterRate counts per second.
class TPerfTimer : public TObject {
public:
    void Start();
    // Microseconds since Start, rounded (halves to even).
    int64_t ReadValue();
    // ReadValue as a decimal integer (microseconds, whatever the name says).
    String ReadNanoseconds();
    // ReadValue / 1000 as a floating-point text.
    String ReadMilliseconds();

    int64_t CounterRate = 0;
    int64_t StartCount = 0;
    int64_t StopCount = 0;
};

// The process-wide stopwatch, from the unit's start-up to its shut-down.
extern TPerfTimer* GlobalPerfTimer;

// Theme handles of the visual-style library.
using HTHEME = void*;
struct MARGINS {
    int32_t cxLeftWidth = 0;
    int32_t cxRightWidth = 0;
    int32_t cyTopHeight = 0;
    int32_t cyBottomHeight = 0;
};

// The visual-style library's entry points. There is no such library here: the module handle
// stays 0 and the entry points stay empty, so themed controls always draw without themes.
extern HTHEME (*OpenThemeData)(HWND Window, const char16_t* ClassList);
extern int32_t (*CloseThemeData)(HTHEME Theme);
extern int32_t (*DrawThemeBackground)(HTHEME Theme, HDC Dc, int32_t PartId, int32_t StateId,
                                      const TRect* Rect, const TRect* Clip);
extern int32_t (*DrawThemeEdge)(HTHEME Theme, HDC Dc, int32_t PartId, int32_t StateId,
                                const TRect* Dest, uint32_t Edge, uint32_t Flags, TRect* Content);
extern int32_t (*GetThemeColor)(HTHEME Theme, int32_t PartId, int32_t StateId, int32_t PropId,
                                COLORREF* Color);
extern int32_t (*GetThemeMetric)(HTHEME Theme, HDC Dc, int32_t PartId, int32_t StateId,
                                 int32_t PropId, int32_t* Value);
extern int32_t (*GetThemeMargins)(HTHEME Theme, HDC Dc, int32_t PartId, int32_t StateId,
                                  int32_t PropId, const TRect* Rect, MARGINS* Margins);
extern int32_t (*SetWindowTheme)(HWND Window, const char16_t* SubAppName,
                                 const char16_t* SubIdList);
extern bool (*IsThemeActive)();
extern bool (*IsAppThemed)();
extern int32_t (*EnableTheming)(bool Enable);
extern void* ThemeLibrary;

extern bool USE_THEMES;
extern HTHEME SCROLLBAR_THEME;
extern HTHEME GLOBALS_THEME;

// Loads and resolves the visual-style library; false when it is missing (always, here).
bool BindThemeApi();
void ReleaseThemeApi();
bool ThemesActive();

// Keeps the two theme handles open and reopens them on a theme change. Without a visual-style
// library there is no theme change to hear of, so it has no hidden window: a theme-change message
// reaches it only through ThemeWindowProc.
class TThemeSolvane : public TObject {
public:
    TThemeSolvane();
    ~TThemeSolvane() override;
    TThemeSolvane(const TThemeSolvane&) = delete;
    TThemeSolvane& operator=(const TThemeSolvane&) = delete;

    void OpenThemeHandles();
    void CloseThemeHandles();
    // WM_THEMECHANGED closes and reopens the handles; every message then gets the default
    // answer, 0.
    void ThemeWindowProc(TMessage& Message);

    HWND HiddenWindow = nullptr;
};

void InitializeSystemUnit();
void FinalizeSystemUnit();

} // namespace raster
