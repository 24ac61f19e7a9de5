// Library-wide settings, tables and the once-only start-up and shut-down sequence.
#include "imaging/core/VLDefs.h"

#include "platform/rtl/WinApi.h"

#include <cmath>
#include <mutex>
#include <numbers>

int32_t GrayWeightRed = 21;
int32_t GrayWeightGreen = 71;
int32_t GrayWeightBlue = 8;
uint8_t DialogsBackground = 0;
const String LibraryVersion = u"3.0.2";
std::array<std::array<String, LibraryMessageCount>, MsgLanguageCount> LibraryMessages;
bool AVIFileInitialized = false;
String DefaultTempFolder;
int32_t ScreenDpiX = 96;
int32_t ScreenDpiY = 96;
int32_t DefaultDpiX = 300;
int32_t DefaultDpiY = 300;
TVLGIFLZWDecoder DefaultGifLZWDecompress = nullptr;
TVLGIFLZWEncoder DefaultGifLZWCompress = nullptr;
TVLTIFFLZWDecoder DefaultTiffLZWDecompress = nullptr;
TVLTIFFLZWEncoder DefaultTiffLZWCompress = nullptr;
int32_t QuantizerMethod = -1;
int32_t QuantizerQuality = -1;

namespace {
constexpr int32_t DEFAULT_CHARSET = 1;
constexpr int32_t GREEK_CHARSET = 161;
constexpr int32_t RUSSIAN_CHARSET = 204;
constexpr int32_t ARABIC_CHARSET = 178;

std::array<TVLLANGUAGECHARINFO, MsgLanguageCount> MakeLanguageCharInfo() {
    std::array<TVLLANGUAGECHARINFO, MsgLanguageCount> table;
    table.fill({DEFAULT_CHARSET, String()});
    table[msGreek] = {GREEK_CHARSET, String()};
    table[msRussian] = {RUSSIAN_CHARSET, String()};
    table[msFarsi] = {ARABIC_CHARSET, u"Tahoma"};
    return table;
}
} // namespace

const std::array<TVLLANGUAGECHARINFO, MsgLanguageCount> LanguageCharInfo = MakeLanguageCharInfo();

uint8_t WindowsVersionCode = 0;
int64_t DefaultMinFileSize = -1;
int64_t MaxPixelBlockSize = INT64_MAX;
namespace {
std::array<int32_t, 256> MakeCosineTable() {
    std::array<int32_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<int32_t>(Round(64 - std::cos(i * std::numbers::pi / 255) * 64));
    return table;
}
} // namespace

// Filled when the program loads, so that a program that never calls InitializeLibrary renders
// with it too.
std::array<int32_t, 256> CosineTable = MakeCosineTable();
AnsiString StaticInitMarker;
int32_t StaticInitCount = 0;

uint8_t WindowsVersionCodeOf(uint32_t PlatformId, uint32_t Major, uint32_t Minor) {
    if (PlatformId == VER_PLATFORM_WIN32_WINDOWS && Major == 4) {
        if (Minor == 0) return 1;
        if (Minor == 10) return 2;
        if (Minor == 90) return 3;
    }
    if (PlatformId == VER_PLATFORM_WIN32_NT) {
        if (Major == 4 && Minor == 0) return 4;
        if (Major == 5 && Minor <= 2) return static_cast<uint8_t>(5 + Minor);
        if (Major == 6 && Minor == 0) return 8;
    }
    return 0;
}

uint8_t GetWindowsVersionCode() {
    OSVERSIONINFOW info;
    info.dwOSVersionInfoSize = 276;
    if (!GetVersionExW(&info)) return 0;
    return WindowsVersionCodeOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

void BuildCosineTable() {
    CosineTable = MakeCosineTable();
}

void InitializeDefsUnit() {
    GrayWeightRed = 21;
    GrayWeightGreen = 71;
    GrayWeightBlue = 8;
    DialogsBackground = 0;
}

void FinalizeDefsUnit() {}

void InitializeUtilsUnit() {
    WindowsVersionCode = GetWindowsVersionCode();
    DefaultMinFileSize = -1;
    BuildCosineTable();
}

void FinalizeUtilsUnit() {}

namespace {

struct UnitRoutines {
    TUnitRoutine Initialize = nullptr;
    TUnitRoutine Finalize = nullptr;
};

std::array<UnitRoutines, LibraryUnitCount>& UnitTable() {
    static std::array<UnitRoutines, LibraryUnitCount> table = [] {
        std::array<UnitRoutines, LibraryUnitCount> t{};
        t[static_cast<size_t>(TLibraryUnit::Defs)] = {InitializeDefsUnit, FinalizeDefsUnit};
        t[static_cast<size_t>(TLibraryUnit::Utils)] = {InitializeUtilsUnit, FinalizeUtilsUnit};
        return t;
    }();
    return table;
}

// Created on first use and never destroyed, so that start-up from several threads is safe even
// for the very first call.
std::recursive_mutex& StaticInitLock() {
    static std::recursive_mutex lock;
    return lock;
}

const AnsiString StaticInitTag = "STATICINIT";

} // namespace

void RegisterLibraryUnit(TLibraryUnit Unit, TUnitRoutine Initialize, TUnitRoutine Finalize) {
    std::lock_guard guard(StaticInitLock());
    UnitTable()[static_cast<size_t>(Unit)] = {Initialize, Finalize};
}

void InitializeLibrary() {
    std::lock_guard guard(StaticInitLock());
    if (StaticInitMarker != StaticInitTag) {
        StaticInitMarker = StaticInitTag;
        StaticInitCount = 0;
    }
    if (StaticInitCount == 0) {
        for (const UnitRoutines& unit : UnitTable())
            if (unit.Initialize != nullptr) unit.Initialize();
    }
    ++StaticInitCount;
}

void FinalizeLibrary() {
    std::lock_guard guard(StaticInitLock());
    if (StaticInitMarker != StaticInitTag) return;
    if (--StaticInitCount == 0) {
        const auto& table = UnitTable();
        for (auto it = table.rbegin(); it != table.rend(); ++it)
            if (it->Finalize != nullptr) it->Finalize();
        StaticInitMarker.clear();
    }
}
