// TBitmap32's storage, handles, canvas, font, clip rectangle and notifications.
#include "raster/Bitmap32.h"

#include "raster/RasterLowLevel.h"
#include "raster/RasterResamplers.h"

#include "platform/rtl/ClassName.h"
#include "platform/rtl/RtlErrors.h"
#include "platform/ui/Controls.h"

#include <cmath>

namespace raster {

void TNotifiablePersistent::Changed() {
    if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TNotifiablePersistent::BeginUpdate() {
    ++FUpdateCount;
}

void TNotifiablePersistent::EndUpdate() {
    if (FUpdateCount <= 0) throw EAssertionFailed(u"Unpaired TThreadPersistent.EndUpdate");
    --FUpdateCount;
}

void TNotifiablePersistent::Assign(TPersistent* Source) {
    const String from = Source != nullptr ? ClassName(*Source) : u"nil";
    throw Exception(u"Cannot assign a " + from + u" to a " + ClassName(*this));
}

void TThreadPersistent::Lock() {
    FLockCount.fetch_add(1);
    FLock.Enter();
}

void TThreadPersistent::Unlock() {
    FLock.Leave();
    FLockCount.fetch_sub(1);
}

bool TCustomMap::SetSize(int32_t NewWidth, int32_t NewHeight) {
    NewWidth = std::max(NewWidth, 0);
    NewHeight = std::max(NewHeight, 0);
    if (NewWidth == FWidth && NewHeight == FHeight) return false;
    ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
    Changed();
    Resized();
    return true;
}

bool TCustomMap::SetSizeFrom(TPersistent* Source) {
    if (Source == nullptr) return SetSize(0, 0);
    if (auto* map = dynamic_cast<TCustomMap*>(Source)) return SetSize(map->Width(), map->Height());
    if (auto* graphic = dynamic_cast<TBitmap*>(Source))
        return SetSize(graphic->Width(), graphic->Height());
    if (auto* control = dynamic_cast<TControl*>(Source))
        return SetSize(control->Width(), control->Height());
    throw Exception(u"Can't set size from '" + ClassName(*Source) + u"'");
}

void TCustomMap::Delete() {
    SetSize(0, 0);
}

bool TCustomMap::Empty() const {
    return FWidth == 0 || FHeight == 0;
}

void TCustomMap::Resized() {
    if (OnResize) OnResize(this);
}

void TCustomMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                            int32_t NewHeight) {
    AWidth = NewWidth;
    AHeight = NewHeight;
}

TColor32 TCustomSampler::GetSampleInt(int32_t X, int32_t Y) {
    return GetSampleFixed(Fixed(X), Fixed(Y));
}

TColor32 TCustomSampler::GetSampleFixed(TFixed X, TFixed Y) {
    return GetSampleFloat(X / 65536.0f, Y / 65536.0f);
}

TColor32 TCustomSampler::GetSampleFloat(float X, float Y) {
    return GetSampleFixed(Fixed(X), Fixed(Y));
}

TRect TCustomSampler::GetSampleBounds() {
    return {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
}

TBitmap32::TBitmap32() : FFont(std::make_unique<TFont>()) {
    FBitmapInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    FBitmapInfo.bmiHeader.biPlanes = 1;
    FBitmapInfo.bmiHeader.biBitCount = 32;
    FBitmapInfo.bmiHeader.biCompression = BI_RGB;
    FFont->OnChange = [this](TObject*) { FontChanged(); };
    // The resampler installs itself.
    new TNearestResampler(this);
}

TBitmap32::~TBitmap32() {
    BeginUpdate();
    Lock();
    // Resizing to 0 x 0 allocates nothing, so nothing here can raise.
    DeleteCanvas();
    SetSize(0, 0);
    FFont.reset();
    FResampler.reset();
    Unlock();
}

void TBitmap32::ReleaseHandles() {
    FontChanged();
    DeleteCanvas();
    if (FHandle != nullptr) DeleteDC(FHandle);
    if (FBitmapHandle != nullptr) DeleteObject(FBitmapHandle);
    FHandle = nullptr;
    FBitmapHandle = nullptr;
    FBits = nullptr;
}

// The largest bitmap: every pixel index X + Y * Width fits a signed 32-bit integer.
constexpr int64_t MaxPixels = INT32_MAX;

void TBitmap32::AllocateHandles(int32_t NewWidth, int32_t NewHeight) {
    // The byte size is taken in 64 bits: a size whose 32-bit product wraps must fail, never
    // hand out a short buffer.
    if (int64_t{NewWidth} * NewHeight > MaxPixels)
        throw EOutOfResources(u"Can't allocate the DIB handle");
    FBitmapInfo.bmiHeader.biWidth = NewWidth;
    FBitmapInfo.bmiHeader.biHeight = -NewHeight;
    void* bits = nullptr;
    FBitmapHandle = CreateDIBSection(nullptr, &FBitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bits == nullptr) {
        if (FBitmapHandle != nullptr) DeleteObject(FBitmapHandle);
        FBitmapHandle = nullptr;
        throw EOutOfResources(u"Can't allocate the DIB handle");
    }
    FBits = static_cast<PColor32>(bits);
    FHandle = CreateCompatibleDC(nullptr);
    if (FHandle == nullptr) {
        DeleteObject(FBitmapHandle);
        FBitmapHandle = nullptr;
        FBits = nullptr;
        throw EOutOfResources(u"Can't create compatible DC");
    }
    if (SelectObject(FHandle, FBitmapHandle) == nullptr) {
        DeleteDC(FHandle);
        DeleteObject(FBitmapHandle);
        FHandle = nullptr;
        FBitmapHandle = nullptr;
        FBits = nullptr;
        throw EOutOfResources(u"Can't select an object into DC");
    }
}

void TBitmap32::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth, int32_t NewHeight) {
    ReleaseHandles();
    AWidth = 0;
    AHeight = 0;
    try {
        if (NewWidth > 0 && NewHeight > 0) AllocateHandles(NewWidth, NewHeight);
        AWidth = NewWidth;
        AHeight = NewHeight;
    } catch (...) {
        // A failed resize leaves an empty bitmap whose clip rectangle is empty too.
        ResetClipRect();
        HandleChanged();
        throw;
    }
    ResetClipRect();
    HandleChanged();
}

void TBitmap32::HandleChanged() {
    if (FCanvas) FCanvas->SetHandle(FHandle);
    if (OnHandleChanged) OnHandleChanged(this);
}

bool TBitmap32::Empty() const {
    return FBitmapHandle == nullptr || TCustomMap::Empty();
}

void TBitmap32::Changed() {
    Changed(BoundsRect(), AREAINFO_RECT);
}

void TBitmap32::Changed(const TRect& Area, uint32_t Info) {
    if ((UpdateCount() == 0 || FMeasuringMode) && OnAreaChanged) OnAreaChanged(this, Area, Info);
    if (!FMeasuringMode) TNotifiablePersistent::Changed();
}

void TBitmap32::PropertyChanged() {
    TNotifiablePersistent::Changed();
}

void TBitmap32::Clear() {
    Clear(0xFF000000);
}

void TBitmap32::Clear(TColor32 FillColor) {
    if (Empty()) return;
    if (!FMeasuringMode) {
        if (FClipping) {
            for (int32_t y = FClipRect.Top; y < FClipRect.Bottom; ++y)
                FillLongword(FBits + int64_t{y} * Width() + FClipRect.Left, FClipRect.Width(),
                             FillColor);
        } else {
            FillLongword(FBits, Width() * Height(), FillColor);
        }
    }
    Changed();
}

TRect TBitmap32::BoundsRect() const {
    return {0, 0, Width(), Height()};
}

void TBitmap32::SetClipRect(const TRect& Value) {
    IntersectRect(FClipRect, Value, BoundsRect());
    FFixedClipRect = FixedRect(FClipRect);
    FClipRectS = {FClipRect.Left << 8, FClipRect.Top << 8, FClipRect.Right << 8,
                  FClipRect.Bottom << 8};
    FClipping = !EqualRect(FClipRect, BoundsRect());
}

void TBitmap32::ResetClipRect() {
    SetClipRect(BoundsRect());
}

TCanvas* TBitmap32::Canvas() {
    if (!FCanvas) {
        FCanvas = std::make_unique<TCanvas>();
        FCanvas->SetHandle(FHandle);
        FCanvas->OnChange = [this](TObject*) { CanvasChanged(); };
    }
    return FCanvas.get();
}

void TBitmap32::DeleteCanvas() {
    if (!FCanvas) return;
    FCanvas->SetHandle(nullptr);
    FCanvas.reset();
}

void TBitmap32::CanvasChanged() {
    Changed();
}

void TBitmap32::SetFont(const TFont& Value) {
    FFont->Assign(Value);
    FontChanged();
}

void TBitmap32::FontChanged() {
    if (FFontHandle == nullptr) return;
    if (FHandle != nullptr) SelectObject(FHandle, StockSystemFont);
    FFontHandle = nullptr;
}

void TBitmap32::UpdateFont() {
    if (FFontHandle == nullptr && FHandle != nullptr) {
        FFontHandle = FFont->Handle();
        SelectObject(FHandle, FFontHandle);
    } else {
        SelectObject(FHandle, FFontHandle);
    }
    SetTextColor(FHandle, static_cast<COLORREF>(ColorToRGB(FFont->Color())));
    SetBkMode(FHandle, TRANSPARENT);
}

void TBitmap32::SetDrawMode(TDrawMode Value) {
    if (FDrawMode == Value) return;
    FDrawMode = Value;
    Changed();
}

void TBitmap32::SetCombineMode(TCombineMode Value) {
    if (FCombineMode == Value) return;
    FCombineMode = Value;
    Changed();
}

void TBitmap32::SetWrapMode(TWrapMode Value) {
    if (FWrapMode == Value) return;
    FWrapMode = Value;
    Changed();
}

void TBitmap32::SetMasterAlpha(uint32_t Value) {
    if (FMasterAlpha == Value) return;
    FMasterAlpha = Value;
    Changed();
}

void TBitmap32::SetResampler(TCustomResampler* Value) {
    if (Value == nullptr || Value == FResampler.get()) return;
    FResampler.reset(Value);
    Changed();
}

String TBitmap32::ResamplerClassName() const {
    return FResampler ? ClassName(*FResampler) : String();
}

void TBitmap32::SetResamplerClassName(const String& Value) {
    if (Value.empty() || Value == ResamplerClassName() || ResamplerList == nullptr) return;
    const TPersistentClass resamplerClass = ResamplerList->Find(Value);
    if (resamplerClass == nullptr) return;
    // A resampler made with this bitmap as its owner installs itself; one that does not is
    // installed here, and an object that is no resampler is dropped.
    std::unique_ptr<TPersistent> made(resamplerClass->Create(this));
    auto* resampler = dynamic_cast<TCustomResampler*>(made.get());
    if (resampler == nullptr) return;
    made.release();
    SetResampler(resampler);
}

void TBitmap32::CopyMapTo(TBitmap32& Dst) {
    Dst.SetSize(Width(), Height());
    if (!Empty()) MoveLongword(FBits, Dst.FBits, Width() * Height());
}

void TBitmap32::CopyPropertiesTo(TBitmap32& Dst) {
    Dst.SetDrawMode(FDrawMode);
    Dst.SetCombineMode(FCombineMode);
    Dst.SetWrapMode(FWrapMode);
    Dst.SetMasterAlpha(FMasterAlpha);
    Dst.OuterColor = OuterColor;
    Dst.SetResamplerClassName(ResamplerClassName());
    if (FResampler && Dst.FResampler) Dst.FResampler->Assign(FResampler.get());
    Dst.FFont->Assign(*FFont);
}

void TBitmap32::BeginMeasuring(const TAreaChangedEvent& Callback) {
    FMeasuringMode = true;
    FOldOnAreaChanged = OnAreaChanged;
    OnAreaChanged = Callback;
}

void TBitmap32::EndMeasuring() {
    FMeasuringMode = false;
    OnAreaChanged = FOldOnAreaChanged;
}

} // namespace raster
