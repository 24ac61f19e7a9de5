// Unit Raster_Resamplers: the registries of resampler and kernel classes, through which a bitmap
// picks its resampler and a kernel resampler its kernel by class name.
#pragma once

#include "raster/RasterContainers.h"

namespace raster {

// Nil until the first registration; freed by the unit's shut-down.
extern TClassList* ResamplerList;
extern TClassList* KernelList;

// Appends the class to its registry (made on first use); a class registered twice is listed
// twice, and Find returns the first.
void RegisterResampler(TPersistentClass ResamplerClass);
void RegisterKernel(TPersistentClass KernelClass);

// Frees ResamplerList, then KernelList.
void FinalizeResamplersUnit();

} // namespace raster
