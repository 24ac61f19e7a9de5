// The raster library's unit table and use count. The table is constant-initialised: nothing runs
// before the program's first InitializeRasterLibrary.
#include "raster/RasterStartup.h"

#include "raster/RasterBlend.h"
#include "raster/RasterLowLevel.h"
#include "raster/RasterResamplers.h"
#include "raster/RasterSystem.h"
#include "raster/RasterTypes.h"

#include <array>
#include <mutex>

namespace raster {

namespace {

struct TUnitRoutines {
    TRasterUnitRoutine Initialize = nullptr;
    TRasterUnitRoutine Finalize = nullptr;
};

constexpr size_t Slot(TRasterUnit Unit) {
    return static_cast<size_t>(Unit);
}

// One slot per unit; units without start-up work (or not yet in the library) stay empty.
constinit std::array<TUnitRoutines, RasterUnitCount> UnitTable = [] {
    std::array<TUnitRoutines, RasterUnitCount> t{};
    t[Slot(TRasterUnit::System)] = {InitializeSystemUnit, FinalizeSystemUnit};
    t[Slot(TRasterUnit::LowLevel)] = {InitializeLowLevelUnit, nullptr};
    t[Slot(TRasterUnit::Blend)] = {InitializeBlendUnit, nullptr};
    t[Slot(TRasterUnit::Resamplers)] = {InitializeResamplersUnit, FinalizeResamplersUnit};
    t[Slot(TRasterUnit::Raster)] = {InitializeRasterUnit, FinalizeRasterUnit};
    return t;
}();

constinit std::mutex UnitLock;
constinit int32_t UseCount = 0;

} // namespace

void RegisterRasterUnit(TRasterUnit Unit, TRasterUnitRoutine Initialize,
                        TRasterUnitRoutine Finalize) {
    std::lock_guard guard(UnitLock);
    UnitTable[Slot(Unit)] = {Initialize, Finalize};
}

void InitializeRasterLibrary() {
    std::lock_guard guard(UnitLock);
    if (UseCount == 0) {
        for (const TUnitRoutines& unit : UnitTable)
            if (unit.Initialize != nullptr) unit.Initialize();
    }
    ++UseCount;
}

void FinalizeRasterLibrary() {
    std::lock_guard guard(UnitLock);
    if (UseCount == 0 || --UseCount > 0) return;
    for (auto it = UnitTable.rbegin(); it != UnitTable.rend(); ++it)
        if (it->Finalize != nullptr) it->Finalize();
}

int32_t RasterLibraryUseCount() {
    std::lock_guard guard(UnitLock);
    return UseCount;
}

} // namespace raster
