// Unit Raster_Resamplers: the resampling kernels, the four bitmap resamplers, their stretch
// routines, the bitmap transfers, and the registries of resampler and kernel classes through
// which a bitmap picks its resampler and a kernel resampler its kernel by class name.
#pragma once

#include "raster/Bitmap32.h"
#include "raster/RasterContainers.h"
#include "raster/RasterOrdinalMaps.h"

#include "platform/rtl/RtlErrors.h"

#include <memory>
#include <string_view>
#include <vector>

namespace raster {

// Nil until the first registration; freed by the unit's shut-down.
extern TClassList* ResamplerList;
extern TClassList* KernelList;

// Appends the class to its registry (made on first use); a class registered twice is listed
// twice, and Find returns the first.
void RegisterResampler(TPersistentClass ResamplerClass);
void RegisterKernel(TPersistentClass KernelClass);

// Binds the helpers and registers the four resamplers and thirteen kernels.
void InitializeResamplersUnit();
// Frees ResamplerList, then KernelList.
void FinalizeResamplersUnit();

// The pixel grid of the stretch routines: true maps pixel edges onto pixel edges (a pixel
// covers [i, i + 1)); false maps the first and last pixel centres onto each other.
extern bool FullEdge;

class EBitmapException : public Exception {
public:
    using Exception::Exception;
};
class ESrcInvalidException : public Exception {
public:
    using Exception::Exception;
};

// A published single-precision parameter of a kernel, for copying between kernels by name.
struct TKernelProperty {
    std::string_view Name;
    float Value;
};

// A one-dimensional weighting function with its support radius in source pixels.
class TCustomKernel : public TNotifiablePersistent {
public:
    // True when Filter can go negative: results are then clamped to 0..255.
    virtual bool RangeCheck() { return false; }
    virtual float Filter(float Value) = 0;
    virtual float GetWidth() = 0;
    // Copies every published parameter that Source and this kernel share by name.
    void Assign(TPersistent* Source) override;
    virtual std::vector<TKernelProperty> PublishedProperties() const { return {}; }
    // Sets the parameter of that name through its setter; unknown names are ignored.
    virtual void SetPublished(std::string_view /*Name*/, float /*Value*/) {}
};

class TBoxKernel : public TCustomKernel {
public:
    float Filter(float Value) override;
    float GetWidth() override { return 1; }
};

class TLinearKernel : public TCustomKernel {
public:
    float Filter(float Value) override;
    float GetWidth() override { return 1; }
};

class TCosineKernel : public TCustomKernel {
public:
    float Filter(float Value) override;
    float GetWidth() override { return 1; }
};

class TSplineKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return 2; }
};

class TMitchellKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return 2; }
};

class TCubicKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return 2; }
    float Coeff() const { return FCoeff; }
    void SetCoeff(float Value) { FCoeff = Value; }
    std::vector<TKernelProperty> PublishedProperties() const override;
    void SetPublished(std::string_view Name, float Value) override;

private:
    float FCoeff = -0.5f;
};

// Catmull-Rom with Bias and Tension 0.
class THermiteKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return 2; }
    float Bias() const { return FBias; }
    void SetBias(float Value) { FBias = Value; }
    float Tension() const { return FTension; }
    void SetTension(float Value) { FTension = Value; }
    std::vector<TKernelProperty> PublishedProperties() const override;
    void SetPublished(std::string_view Name, float Value) override;

private:
    float FBias = 0;
    float FTension = 0;
};

class TSinshKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return FWidth; }
    void SetWidth(float Value) { FWidth = Value; }
    float Coeff() const { return FCoeff; }
    // 0 is refused (the formula divides by it): the current value stays.
    void SetCoeff(float Value);
    std::vector<TKernelProperty> PublishedProperties() const override;
    void SetPublished(std::string_view Name, float Value) override;

private:
    float FWidth = 3;
    float FCoeff = 0.5f;
};

// Sinc under a window, cut off at Width.
class TWindowedSincKernel : public TCustomKernel {
public:
    bool RangeCheck() override { return true; }
    float Filter(float Value) override;
    float GetWidth() override { return Width; }
    virtual float Window(float Value) = 0;
    void SetWidth(float Value) { Width = Value; }
    std::vector<TKernelProperty> PublishedProperties() const override;
    void SetPublished(std::string_view Name, float Value) override;

    float Width = 3;
};

class TLanczosKernel : public TWindowedSincKernel {
public:
    float Window(float Value) override;
};

class TGaussianKernel : public TWindowedSincKernel {
public:
    float Window(float Value) override;
    float Sigma() const { return FSigma; }
    // 0 is refused (the window divides by it): the current value stays.
    void SetSigma(float Value);
    std::vector<TKernelProperty> PublishedProperties() const override;
    void SetPublished(std::string_view Name, float Value) override;

private:
    float FSigma = 1.33f;
};

class TBlackmanKernel : public TWindowedSincKernel {
public:
    float Window(float Value) override;
};

class THannKernel : public TWindowedSincKernel {
public:
    float Window(float Value) override;
};

class THammingKernel : public TWindowedSincKernel {
public:
    float Window(float Value) override;
};

enum TPixelAccessMode : uint8_t { pamUnsafe, pamSafe, pamWrap };
enum TKernelMode : uint8_t { kmDynamic, kmTableNearest, kmTableLinear };

// A resampler of the bitmap that owns it. Made with a bitmap, it installs itself as that
// bitmap's resampler (the bitmap frees it). Call PrepareSampling before point sampling and
// FinalizeSampling after.
class TBitmap32Resampler : public TCustomResampler {
public:
    explicit TBitmap32Resampler(TPersistent* Owner);
    // Forwards to the bitmap.
    void Changed() override;
    bool HasBounds() override { return true; }
    TRect GetSampleBounds() override;
    void PrepareSampling() override;
    // Copies the published properties of another bitmap resampler.
    void Assign(TPersistent* Source) override;

    TBitmap32* SourceBitmap() const { return FBitmap; }
    TPixelAccessMode PixelAccessMode() const { return FPixelAccessMode; }
    void SetPixelAccessMode(TPixelAccessMode Value);

protected:
    TBitmap32* FBitmap;
    TRect FSamplingClip;

private:
    TPixelAccessMode FPixelAccessMode = pamSafe;
};

class TNearestResampler : public TBitmap32Resampler {
public:
    using TBitmap32Resampler::TBitmap32Resampler;
    float GetWidth() override { return 1; }
    void PrepareSampling() override;
    TColor32 GetSampleInt(int32_t X, int32_t Y) override;
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    TColor32 GetSampleFloat(float X, float Y) override;
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                  const TRect& SrcRect, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) override;

private:
    TColor32 (TBitmap32::*FGetSampleInt)(int32_t, int32_t) const = &TBitmap32::GetPixelS;
};

class TLinearResampler : public TBitmap32Resampler {
public:
    explicit TLinearResampler(TPersistent* Owner);
    float GetWidth() override { return 1; }
    void PrepareSampling() override;
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    TColor32 GetSampleFloat(float X, float Y) override;
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                  const TRect& SrcRect, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) override;

protected:
    TLinearKernel FBilinearKernel;

private:
    TColor32 (TBitmap32::*FGetSampleFixed)(TFixed, TFixed) const = &TBitmap32::GetPixelXS;
};

class TDraftResampler : public TLinearResampler {
public:
    using TLinearResampler::TLinearResampler;
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                  const TRect& SrcRect, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) override;
};

class TKernelResampler : public TBitmap32Resampler {
public:
    // Starts with a box kernel and a table of 32 rows.
    explicit TKernelResampler(TPersistent* Owner);
    float GetWidth() override { return FKernel->GetWidth(); }
    void PrepareSampling() override;
    void FinalizeSampling() override;
    TColor32 GetSampleInt(int32_t X, int32_t Y) override;
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    TColor32 GetSampleFloat(float X, float Y) override;
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                  const TRect& SrcRect, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) override;
    void Assign(TPersistent* Source) override;

    TCustomKernel* Kernel() const { return FKernel.get(); }
    // Takes Value over; nil and the current kernel are ignored.
    void SetKernel(TCustomKernel* Value);
    String KernelClassName() const;
    // A new kernel of the registered class of that exact name; empty, current and unknown
    // names change nothing.
    void SetKernelClassName(const String& Value);
    TKernelMode KernelMode() const { return FKernelMode; }
    void SetKernelMode(TKernelMode Value);
    int32_t TableSize() const { return FTableSize; }
    // Values below 2 become 2.
    void SetTableSize(int32_t Value);

private:
    void TableWeights(TArrayOfInteger& Weights, float Offset) const;

    std::unique_ptr<TCustomKernel> FKernel;
    TKernelMode FKernelMode = kmDynamic;
    int32_t FTableSize = 32;
    std::unique_ptr<TIntegerMap> FTapTable;
    TArrayOfInteger FWrappedColumns;
    TArrayOfInteger FRowWeights;
    TArrayOfInteger FColumnWeights;
    TColor32 FSampleOuterColor = 0;
    int32_t FRadius = 0;
};

// The stretch routines; DstClip is already clipped to Dst and DstRect and not empty.
struct TPointRec {
    int32_t Pos;
    int32_t Weight;
};
using TCluster = std::vector<TPointRec>;
using TMappingTable = std::vector<TCluster>;

// One cluster of source positions and weights (256 = 1.0, each cluster summing to 256) per
// destination position ClipLo .. ClipHi - 1.
TMappingTable MakeClusterTable(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                               int32_t SrcLo, int32_t SrcHi, TCustomKernel& Kernel);
void NearestStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent);
void LinearEnlarge(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent);
void KernelStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                   TCustomKernel& Kernel, TDrawMode CombineOp,
                   const TPixelCombineEvent& CombineEvent);
void DraftStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                  TCustomKernel& Kernel, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent);
// The mean of the W x H block at P (rows Stride bytes apart), truncated.
extern TColor32 (*BoxAverage)(uint32_t W, uint32_t H, const TColor32* P, uint32_t Stride);
// WX, WY: 0..256 weights of the left column and upper row in both 16-bit halves; P points at
// the upper left pixel, Q at the one below it.
extern TColor32 (*PairInterpolate)(uint32_t WX, uint32_t WY, const TColor32* P,
                                   const TColor32* Q);
// Copies the rows of DstClip from Src at (SrcX, SrcY) by the draw mode.
void TransferRows(TBitmap32& Dst, const TRect& DstClip, TBitmap32& Src, int32_t SrcX,
                  int32_t SrcY, TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent);

// The transfers. Each notifies Dst with AREAINFO_RECT; a nil bitmap raises EBitmapException.
// Copies SrcRect to (DstX, DstY) by the draw mode, clipped to DstClip and both bitmaps; notifies
// the unclipped target rectangle, also when everything was clipped away.
void BlockTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, TRect DstClip, TBitmap32* Src,
                   TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent);
// Scales SrcRect onto DstRect through Resampler (equal sizes copy directly); a SrcRect outside
// Src raises ESrcInvalidException.
void StretchTransfer(TBitmap32* Dst, TRect DstRect, TRect DstClip, TBitmap32* Src, TRect SrcRect,
                     TCustomResampler* Resampler, TDrawMode CombineOp,
                     const TPixelCombineEvent& CombineEvent);
// Blends SrcRect onto Dst at the 16.16 position (DstX, DstY), bilinearly mixed, with Src's
// combine mode and master alpha (CombineOp only decides the early exit).
void BlockTransferX(TBitmap32* Dst, TFixed DstX, TFixed DstY, TBitmap32* Src, TRect SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent);
// Dst pixel := BlendCallback(SrcF pixel, SrcB pixel) over the area both sources cover in
// DstClip.
void BlendTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& DstClip,
                   TBitmap32* SrcF, const TRect& SrcRectF, TBitmap32* SrcB, const TRect& SrcRectB,
                   TBlendReg BlendCallback);
void BlendTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& DstClip,
                   TBitmap32* SrcF, const TRect& SrcRectF, TBitmap32* SrcB, const TRect& SrcRectB,
                   TBlendRegEx BlendCallback, int32_t MasterAlpha);

} // namespace raster
