// Start-up and shut-down of the raster graphics library: every unit's start-up runs once, in a
// fixed order, under a use count; the shut-downs run in reverse when the count returns to 0.
#pragma once

#include <cstdint>

namespace raster {

// The library's units in the order they start (system services first, the controls last).
enum class TRasterUnit : uint8_t {
    System,
    LowLevel,
    Containers,
    Math,
    Blend,
    DrawingEx,
    PNG,
    OrdinalMaps,
    Rasterizers,
    VectorMaps,
    Transforms,
    Resamplers,
    Filters,
    Raster,
    Layers,
    RepaintOpt,
    MicroTiles,
    RangeBars,
    Image
};
constexpr int RasterUnitCount = 19;
using TRasterUnitRoutine = void (*)();

// Places a unit's start-up and shut-down routines at the unit's fixed place in the sequence, in
// place of what was there; a slot without routines is skipped. Takes effect at the next complete
// start-up.
void RegisterRasterUnit(TRasterUnit Unit, TRasterUnitRoutine Initialize,
                        TRasterUnitRoutine Finalize);

// Runs every unit's start-up on the first call (and on the first call after a complete
// shut-down); later calls only count. Safe from several threads.
void InitializeRasterLibrary();
// Matches one InitializeRasterLibrary; the last one runs the shut-downs in reverse order. A call
// without a matching start-up does nothing.
void FinalizeRasterLibrary();
// The number of start-ups not yet matched by a shut-down.
int32_t RasterLibraryUseCount();

} // namespace raster
