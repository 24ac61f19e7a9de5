// The class registries of the resamplers and kernels.
#include "raster/RasterResamplers.h"

#include <memory>

namespace raster {

TClassList* ResamplerList = nullptr;
TClassList* KernelList = nullptr;

namespace {

std::unique_ptr<TClassList> Resamplers;
std::unique_ptr<TClassList> Kernels;

void Register(std::unique_ptr<TClassList>& Owner, TClassList*& List, TPersistentClass AClass) {
    if (!Owner) {
        Owner = std::make_unique<TClassList>();
        List = Owner.get();
    }
    List->Add(AClass);
}

} // namespace

void RegisterResampler(TPersistentClass ResamplerClass) {
    Register(Resamplers, ResamplerList, ResamplerClass);
}

void RegisterKernel(TPersistentClass KernelClass) {
    Register(Kernels, KernelList, KernelClass);
}

void FinalizeResamplersUnit() {
    ResamplerList = nullptr;
    Resamplers.reset();
    KernelList = nullptr;
    Kernels.reset();
}

} // namespace raster
