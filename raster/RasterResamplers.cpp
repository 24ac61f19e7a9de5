// Unit Raster_Resamplers: the class registries, the unit's start-up and the four resamplers with
// their point sampling.
#include "raster/RasterResamplers.h"

#include "raster/RasterLowLevel.h"
#include "raster/RasterMath.h"

#include "platform/rtl/ClassName.h"
#include "platform/rtl/System.h"

#include <cmath>

namespace raster {

TClassList* ResamplerList = nullptr;
TClassList* KernelList = nullptr;
bool FullEdge = true;

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

// Lowers the centre entry so that the weights sum to 256.
void Normalize(TArrayOfInteger& Weights) {
    int32_t sum = 0;
    for (const int32_t w : Weights)
        sum += w;
    Weights[Weights.size() / 2] -= sum - 256;
}

} // namespace

void RegisterResampler(TPersistentClass ResamplerClass) {
    Register(Resamplers, ResamplerList, ResamplerClass);
}

void RegisterKernel(TPersistentClass KernelClass) {
    Register(Kernels, KernelList, KernelClass);
}

void InitializeResamplersUnit() {
    RegisterResampler(ClassOf<TNearestResampler>());
    RegisterResampler(ClassOf<TLinearResampler>());
    RegisterResampler(ClassOf<TDraftResampler>());
    RegisterResampler(ClassOf<TKernelResampler>());
    RegisterKernel(ClassOf<TBoxKernel>());
    RegisterKernel(ClassOf<TLinearKernel>());
    RegisterKernel(ClassOf<TCosineKernel>());
    RegisterKernel(ClassOf<TSplineKernel>());
    RegisterKernel(ClassOf<TCubicKernel>());
    RegisterKernel(ClassOf<TMitchellKernel>());
    RegisterKernel(ClassOf<TLanczosKernel>());
    RegisterKernel(ClassOf<TGaussianKernel>());
    RegisterKernel(ClassOf<TBlackmanKernel>());
    RegisterKernel(ClassOf<THannKernel>());
    RegisterKernel(ClassOf<THammingKernel>());
    RegisterKernel(ClassOf<TSinshKernel>());
    RegisterKernel(ClassOf<THermiteKernel>());
}

void FinalizeResamplersUnit() {
    ResamplerList = nullptr;
    Resamplers.reset();
    KernelList = nullptr;
    Kernels.reset();
}

TBitmap32Resampler::TBitmap32Resampler(TPersistent* Owner)
    : FBitmap(dynamic_cast<TBitmap32*>(Owner)) {
    if (FBitmap != nullptr) FBitmap->SetResampler(this);
}

void TBitmap32Resampler::Changed() {
    if (FBitmap != nullptr) FBitmap->Changed();
}

TRect TBitmap32Resampler::GetSampleBounds() {
    return FBitmap->ClipRect();
}

void TBitmap32Resampler::PrepareSampling() {
    FSamplingClip = FBitmap->ClipRect();
}

void TBitmap32Resampler::Assign(TPersistent* Source) {
    auto* resampler = dynamic_cast<TBitmap32Resampler*>(Source);
    if (resampler == nullptr) {
        TCustomResampler::Assign(Source);
        return;
    }
    SetPixelAccessMode(resampler->FPixelAccessMode);
}

void TBitmap32Resampler::SetPixelAccessMode(TPixelAccessMode Value) {
    if (FPixelAccessMode == Value) return;
    FPixelAccessMode = Value;
    Changed();
}

void TNearestResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    switch (PixelAccessMode()) {
    case pamUnsafe: FGetSampleInt = &TBitmap32::GetPixel; break;
    case pamSafe: FGetSampleInt = &TBitmap32::GetPixelS; break;
    case pamWrap: FGetSampleInt = &TBitmap32::GetPixelW; break;
    }
}

TColor32 TNearestResampler::GetSampleInt(int32_t X, int32_t Y) {
    return (FBitmap->*FGetSampleInt)(X, Y);
}

TColor32 TNearestResampler::GetSampleFixed(TFixed X, TFixed Y) {
    return (FBitmap->*FGetSampleInt)(FixedRound(X), FixedRound(Y));
}

TColor32 TNearestResampler::GetSampleFloat(float X, float Y) {
    return (FBitmap->*FGetSampleInt)(static_cast<int32_t>(Round(X)),
                                     static_cast<int32_t>(Round(Y)));
}

void TNearestResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                                 TBitmap32& Src, const TRect& SrcRect, TDrawMode CombineOp,
                                 const TPixelCombineEvent& CombineEvent) {
    NearestStretch(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineEvent);
}

TLinearResampler::TLinearResampler(TPersistent* Owner) : TBitmap32Resampler(Owner) {}

void TLinearResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    switch (PixelAccessMode()) {
    case pamUnsafe: FGetSampleFixed = &TBitmap32::GetPixelX; break;
    case pamSafe: FGetSampleFixed = &TBitmap32::GetPixelXS; break;
    case pamWrap: FGetSampleFixed = &TBitmap32::GetPixelXW; break;
    }
}

TColor32 TLinearResampler::GetSampleFixed(TFixed X, TFixed Y) {
    return (FBitmap->*FGetSampleFixed)(X, Y);
}

TColor32 TLinearResampler::GetSampleFloat(float X, float Y) {
    return (FBitmap->*FGetSampleFixed)(static_cast<TFixed>(Round(double{X} * 65536)),
                                       static_cast<TFixed>(Round(double{Y} * 65536)));
}

void TLinearResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                                TBitmap32& Src, const TRect& SrcRect, TDrawMode CombineOp,
                                const TPixelCombineEvent& CombineEvent) {
    const int32_t srcW = SrcRect.Width(), srcH = SrcRect.Height();
    if (DstRect.Width() > srcW && DstRect.Height() > srcH && srcW > 1 && srcH > 1)
        LinearEnlarge(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineEvent);
    else
        KernelStretch(Dst, DstRect, DstClip, Src, SrcRect, FBilinearKernel, CombineOp,
                      CombineEvent);
}

void TDraftResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                               TBitmap32& Src, const TRect& SrcRect, TDrawMode CombineOp,
                               const TPixelCombineEvent& CombineEvent) {
    DraftStretch(Dst, DstRect, DstClip, Src, SrcRect, FBilinearKernel, CombineOp, CombineEvent);
}

TKernelResampler::TKernelResampler(TPersistent* Owner)
    : TBitmap32Resampler(Owner), FKernel(std::make_unique<TBoxKernel>()) {}

void TKernelResampler::Assign(TPersistent* Source) {
    TBitmap32Resampler::Assign(Source);
    auto* resampler = dynamic_cast<TKernelResampler*>(Source);
    if (resampler == nullptr) return;
    SetKernelClassName(resampler->KernelClassName());
    FKernel->Assign(resampler->FKernel.get());
    SetKernelMode(resampler->FKernelMode);
    SetTableSize(resampler->FTableSize);
}

void TKernelResampler::SetKernel(TCustomKernel* Value) {
    if (Value == nullptr || Value == FKernel.get()) return;
    FKernel.reset(Value);
    Changed();
}

String TKernelResampler::KernelClassName() const {
    return ClassName(*FKernel);
}

void TKernelResampler::SetKernelClassName(const String& Value) {
    if (Value.empty() || Value == KernelClassName() || KernelList == nullptr) return;
    const TPersistentClass kernelClass = KernelList->Find(Value);
    if (kernelClass == nullptr) return;
    std::unique_ptr<TPersistent> made(kernelClass->Create(nullptr));
    auto* kernel = dynamic_cast<TCustomKernel*>(made.get());
    if (kernel == nullptr) return;
    made.release();
    SetKernel(kernel);
}

void TKernelResampler::SetKernelMode(TKernelMode Value) {
    if (FKernelMode == Value) return;
    FKernelMode = Value;
    Changed();
}

void TKernelResampler::SetTableSize(int32_t Value) {
    Value = std::max(Value, 2);
    if (FTableSize == Value) return;
    FTableSize = Value;
    Changed();
}

void TKernelResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    FSampleOuterColor = FBitmap->OuterColor;
    FRadius = static_cast<int32_t>(std::ceil(FKernel->GetWidth()));
    const int32_t taps = 2 * FRadius + 1;
    if (PixelAccessMode() == pamWrap) FWrappedColumns.assign(taps, 0);
    if (FKernelMode != kmDynamic) {
        FTapTable = std::make_unique<TIntegerMap>();
        FTapTable->SetSize(taps, FTableSize + 1);
        for (int32_t i = 0; i <= FTableSize; ++i) {
            TArrayOfInteger row(taps);
            for (int32_t j = -FRadius; j <= FRadius; ++j)
                row[j + FRadius] = static_cast<int32_t>(Round(
                    FKernel->Filter(static_cast<float>(j) + static_cast<float>(i) /
                                                                (FTableSize - 1)) *
                    256.0f));
            Normalize(row);
            for (int32_t j = 0; j < taps; ++j)
                FTapTable->SetValue(j, i, row[j]);
        }
    }
    if (FKernelMode != kmTableNearest) {
        FRowWeights.assign(taps, 0);
        FColumnWeights.assign(taps, 0);
    }
}

void TKernelResampler::FinalizeSampling() {
    FTapTable.reset();
    FWrappedColumns.clear();
    FRowWeights.clear();
    FColumnWeights.clear();
}

void TKernelResampler::TableWeights(TArrayOfInteger& Weights, float Offset) const {
    const int32_t taps = 2 * FRadius + 1;
    Weights.resize(taps);
    if (FKernelMode == kmTableNearest) {
        const auto row = static_cast<int32_t>(Round(double{Offset} * (FTableSize - 1)));
        for (int32_t i = 0; i < taps; ++i)
            Weights[i] = FTapTable->GetValue(i, row);
        return;
    }
    const auto f = static_cast<int32_t>(Round(double{Offset} * (FTableSize - 1) * 65536));
    const int32_t row = f >> 16, fraction = f & 0xFFFF;
    const int32_t next = std::min(row + 1, FTableSize);
    for (int32_t i = 0; i < taps; ++i) {
        const int32_t lo = FTapTable->GetValue(i, row), hi = FTapTable->GetValue(i, next);
        Weights[i] = static_cast<int32_t>((int64_t{fraction} * (hi - lo) + 0x7FFF) >> 16) + lo;
    }
    Normalize(Weights);
}

TColor32 TKernelResampler::GetSampleInt(int32_t X, int32_t Y) {
    return GetSampleFloat(static_cast<float>(X), static_cast<float>(Y));
}

TColor32 TKernelResampler::GetSampleFixed(TFixed X, TFixed Y) {
    return GetSampleFloat(X / 65536.0f, Y / 65536.0f);
}

TColor32 TKernelResampler::GetSampleFloat(float X, float Y) {
    const auto cx = static_cast<int32_t>(std::ceil(X)), cy = static_cast<int32_t>(std::ceil(Y));
    const int32_t r = FRadius, taps = 2 * r + 1;
    int32_t colLo = -r, colHi = r, rowLo = -r, rowHi = r;
    const TRect& clip = FSamplingClip;
    if (PixelAccessMode() == pamSafe) {
        if (cx - r < clip.Left) {
            if (cx < clip.Left) return FSampleOuterColor;
            colLo = clip.Left - cx;
        }
        if (cy - r < clip.Top) {
            if (cy < clip.Top) return FSampleOuterColor;
            rowLo = clip.Top - cy;
        }
        if (cx + r >= clip.Right) {
            if (clip.Right < cx) return FSampleOuterColor;
            colHi = clip.Right - cx - 1;
        }
        if (cy + r >= clip.Bottom) {
            if (clip.Bottom < cy) return FSampleOuterColor;
            rowHi = clip.Bottom - cy - 1;
        }
    }
    if (FKernelMode == kmDynamic) {
        FColumnWeights.resize(taps);
        FRowWeights.resize(taps);
        for (int32_t i = -r; i <= r; ++i) {
            FColumnWeights[i + r] = static_cast<int32_t>(
                Round(FKernel->Filter(static_cast<float>(i + cx) - X) * 256.0f));
            FRowWeights[i + r] = static_cast<int32_t>(
                Round(FKernel->Filter(static_cast<float>(i + cy) - Y) * 256.0f));
        }
        Normalize(FColumnWeights);
        Normalize(FRowWeights);
    } else {
        TableWeights(FColumnWeights, static_cast<float>(cx) - X);
        TableWeights(FRowWeights, static_cast<float>(cy) - Y);
    }
    const bool wrap = PixelAccessMode() == pamWrap;
    const TWrapProcEx wrapProc = WRAP_PROCS_EX[FBitmap->WrapMode()];
    if (wrap) {
        FWrappedColumns.resize(taps);
        for (int32_t i = -r; i <= r; ++i)
            FWrappedColumns[i + r] = wrapProc(cx + i, clip.Left, clip.Right - 1);
    }
    int64_t sums[4] = {0, 0, 0, 0};
    for (int32_t j = rowLo; j <= rowHi; ++j) {
        const int32_t rowWeight = FRowWeights[j + r];
        if (rowWeight == 0) continue;
        const int32_t y = wrap ? wrapProc(cy + j, clip.Top, clip.Bottom - 1) : cy + j;
        int64_t row[4] = {0, 0, 0, 0};
        for (int32_t i = colLo; i <= colHi; ++i) {
            const int32_t x = wrap ? FWrappedColumns[i + r] : cx + i;
            const TColor32 c = FBitmap->GetPixel(x, y);
            for (int k = 0; k < 4; ++k)
                row[k] += int64_t{FColumnWeights[i + r]} * ((c >> (8 * k)) & 0xFF);
        }
        for (int k = 0; k < 4; ++k)
            sums[k] += row[k] * rowWeight;
    }
    TColor32 result = 0;
    for (int k = 0; k < 4; ++k) {
        int64_t v = sums[k] >> 16;
        v = FKernel->RangeCheck() ? std::clamp<int64_t>(v, 0, 255) : (v & 0xFF);
        result |= static_cast<TColor32>(v) << (8 * k);
    }
    return result;
}

void TKernelResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                                TBitmap32& Src, const TRect& SrcRect, TDrawMode CombineOp,
                                const TPixelCombineEvent& CombineEvent) {
    KernelStretch(Dst, DstRect, DstClip, Src, SrcRect, *FKernel, CombineOp, CombineEvent);
}

} // namespace raster
