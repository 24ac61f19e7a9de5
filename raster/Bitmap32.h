// Unit Raster, the bitmap: TBitmap32 (32-bit ARGB pixels in a top-down DIB section selected into
// a memory device context), its base classes with change notification, update counting, locking
// and size, and the sampler base classes.
#pragma once

#include "raster/RasterBlend.h"
#include "raster/RasterTypes.h"

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SyncObjs.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

class TBitmap;
class TGraphic;
class TPicture;

namespace raster {

enum TDrawMode : uint8_t { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TWrapMode : uint8_t { wmClamp, wmRepeat, wmMirror };

// Combines F into B with the master alpha M (the transfers' custom draw mode).
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;
// Info: AREAINFO_RECT, or AREAINFO_LINE plus the line's width in pixels.
using TAreaChangedEvent = std::function<void(TObject* Sender, const TRect& Area, uint32_t Info)>;

constexpr uint32_t AREAINFO_RECT = 0x80000000;
constexpr uint32_t AREAINFO_LINE = 0x40000000;

// A persistent object with a change event and an update count.
class TNotifiablePersistent : public TPersistent {
public:
    // Calls OnChange while no update is open.
    virtual void Changed();
    virtual void BeginUpdate();
    // Closes an update without notifying; an unpaired call raises EAssertionFailed.
    virtual void EndUpdate();
    // Copies Source's published properties; the base knows none and raises.
    virtual void Assign(TPersistent* Source);
    int32_t UpdateCount() const { return FUpdateCount; }

    TNotifyEvent OnChange;

private:
    int32_t FUpdateCount = 0;
};

// A notifiable persistent with its own critical section.
class TThreadPersistent : public TNotifiablePersistent {
public:
    void Lock();
    void Unlock();
    int32_t LockCount() const { return FLockCount; }
    TCriticalSection& CriticalSection() { return FLock; }

private:
    TCriticalSection FLock;
    std::atomic<int32_t> FLockCount = 0;
};

// A map of Width x Height cells; never of negative size.
class TCustomMap : public TThreadPersistent {
public:
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // Negative sides become 0; false (and nothing happens) when the size stays. Otherwise
    // ChangeSize, Changed, Resized.
    virtual bool SetSize(int32_t NewWidth, int32_t NewHeight);
    bool SetWidth(int32_t NewWidth) { return SetSize(NewWidth, FHeight); }
    bool SetHeight(int32_t NewHeight) { return SetSize(FWidth, NewHeight); }
    // The size of another map, a toolkit bitmap or a control; nil gives 0 x 0; any other object
    // raises.
    bool SetSizeFrom(TPersistent* Source);
    virtual void Delete();
    virtual bool Empty() const;
    // Calls OnResize whatever the update count.
    virtual void Resized();

    TNotifyEvent OnResize;

protected:
    virtual void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth, int32_t NewHeight);

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};

class TBitmap32;

// Something that gives a colour for every point.
class TCustomSampler : public TNotifiablePersistent {
public:
    virtual TColor32 GetSampleInt(int32_t X, int32_t Y);
    virtual TColor32 GetSampleFixed(TFixed X, TFixed Y);
    virtual TColor32 GetSampleFloat(float X, float Y);
    virtual void PrepareSampling() {}
    virtual void FinalizeSampling() {}
    virtual bool HasBounds() { return false; }
    virtual TRect GetSampleBounds();
};

// Resamples one bitmap into another; the concrete resamplers say how.
class TCustomResampler : public TCustomSampler {
public:
    virtual float GetWidth() = 0;
    virtual void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                          TBitmap32& Src, const TRect& SrcRect, TDrawMode CombineOp,
                          const TPixelCombineEvent& CombineEvent) = 0;
};

// 32-bit ARGB bitmap: Width x Height TColor32 values, rows from the top, no padding, in a DIB
// section (zero-filled when made) selected into a memory device context, so that the drawing
// layer (canvas, text, blits) and direct pixel access work on the same memory. Drawing through
// the device context leaves 0 in the fourth byte of every pixel it touches.
class TBitmap32 : public TCustomMap {
public:
    TBitmap32();
    ~TBitmap32() override;
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;

    // Area notice of the whole bitmap (unless an update is open and no measuring runs), then,
    // unless measuring, OnChange.
    void Changed() override;
    // The same for a given area and kind.
    virtual void Changed(const TRect& Area, uint32_t Info);
    // OnChange only, without an area notice.
    void PropertyChanged();
    bool Empty() const override;

    // Fills the clip rectangle (every pixel without clipping); nothing on an empty bitmap; in
    // measuring mode only the notice.
    void Clear();
    void Clear(TColor32 FillColor);

    // Nil while empty. Pixel (X, Y) is Bits()[X + Y * Width()].
    PColor32 Bits() const { return FBits; }
    HDC Handle() const { return FHandle; }
    HBITMAP BitmapHandle() const { return FBitmapHandle; }
    const BITMAPINFO& BitmapInfo() const { return FBitmapInfo; }
    TRect BoundsRect() const;

    // Always inside the bounds; setting it sends no notice.
    const TRect& ClipRect() const { return FClipRect; }
    const TFixedRect& FixedClipRect() const { return FFixedClipRect; }
    // The clip rectangle in 1/256 pixels.
    const TRect& ClipRectS() const { return FClipRectS; }
    bool Clipping() const { return FClipping; }
    void SetClipRect(const TRect& Value);
    void ResetClipRect();

    // Made on first request on the device context; dropped by every resize.
    TCanvas* Canvas();
    bool CanvasAllocated() const { return FCanvas != nullptr; }
    void DeleteCanvas();

    TFont* Font() { return FFont.get(); }
    void SetFont(const TFont& Value);
    // Selects the font into the device context (once), with its colour and a transparent
    // background.
    void UpdateFont();

    TDrawMode DrawMode() const { return FDrawMode; }
    void SetDrawMode(TDrawMode Value);
    TCombineMode CombineMode() const { return FCombineMode; }
    void SetCombineMode(TCombineMode Value);
    TWrapMode WrapMode() const { return FWrapMode; }
    void SetWrapMode(TWrapMode Value);
    uint32_t MasterAlpha() const { return FMasterAlpha; }
    void SetMasterAlpha(uint32_t Value);
    TColor32 OuterColor = 0;
    TColor32 PenColor = 0xFFFFFFFF;

    // Owned. Nil until a resampler is installed.
    TCustomResampler* Resampler() const { return FResampler.get(); }
    // Takes Value over (freeing the old one) and notifies; nil or the current one is ignored.
    void SetResampler(TCustomResampler* Value);
    // Empty without a resampler.
    String ResamplerClassName() const;
    // A new resampler of the registered class of that exact name; an empty, current or unknown
    // name changes nothing.
    void SetResamplerClassName(const String& Value);

    // Sizes Dst like this bitmap and copies the pixels.
    virtual void CopyMapTo(TBitmap32& Dst);
    // Draw, combine and wrap modes, master alpha, outer colour, resampler and font.
    virtual void CopyPropertiesTo(TBitmap32& Dst);

    // Single pixels. The members without a suffix check nothing: the caller keeps X and Y
    // inside the bitmap (the sub-pixel ones also the pixel to the right and below). S members
    // clip to ClipRect, T members blend with the combine mode, W members wrap by WrapMode.
    TColor32 GetPixel(int32_t X, int32_t Y) const { return FBits[X + int64_t{Y} * Width()]; }
    void SetPixel(int32_t X, int32_t Y, TColor32 Value) { FBits[X + int64_t{Y} * Width()] = Value; }
    PColor32 GetPixelPtr(int32_t X, int32_t Y) const { return FBits + X + int64_t{Y} * Width(); }
    PColor32 GetScanLine(int32_t Y) const { return FBits + int64_t{Y} * Width(); }
    // OuterColor outside the clip rectangle.
    TColor32 GetPixelS(int32_t X, int32_t Y) const;
    void SetPixelS(int32_t X, int32_t Y, TColor32 Value);
    // X and Y clamped to the bitmap.
    TColor32 GetPixelB(int32_t X, int32_t Y) const;
    void SetPixelT(int32_t X, int32_t Y, TColor32 Value);
    // Blends onto the pixel at Ptr and advances Ptr by one pixel.
    void SetPixelT(PColor32& Ptr, TColor32 Value);
    void SetPixelTS(int32_t X, int32_t Y, TColor32 Value);
    // X and Y in 1/256 pixel: C spread over the 2 x 2 block at (X >> 8, Y >> 8) with gamma
    // weights. The caller calls EMMS.
    void SET_T256(int32_t X, int32_t Y, TColor32 C);
    void SET_TS256(int32_t X, int32_t Y, TColor32 C);
    void SetPixelF(float X, float Y, TColor32 Value);
    void SetPixelFS(float X, float Y, TColor32 Value);
    void SetPixelX(TFixed X, TFixed Y, TColor32 Value);
    void SetPixelXS(TFixed X, TFixed Y, TColor32 Value);
    // Each pixel of the 2 x 2 block is wrapped into the clip rectangle.
    void SetPixelXW(TFixed X, TFixed Y, TColor32 Value);
    void SetPixelFW(float X, float Y, TColor32 Value);
    // X and Y in 1/256 pixel: bilinear read with linear weights of the 2 x 2 block.
    TColor32 GET_T256(uint32_t X, uint32_t Y) const;
    // OuterColor off the bitmap; the last column and row read exactly on their centres.
    TColor32 GET_TS256(int32_t X, int32_t Y) const;
    TColor32 GetPixelF(float X, float Y) const;
    TColor32 GetPixelFS(float X, float Y) const;
    TColor32 GetPixelX(TFixed X, TFixed Y) const;
    TColor32 GetPixelXS(TFixed X, TFixed Y) const;
    // Need a non-empty clip rectangle.
    TColor32 GetPixelW(int32_t X, int32_t Y) const;
    void SetPixelW(int32_t X, int32_t Y, TColor32 Value);
    TColor32 GetPixelXW(TFixed X, TFixed Y) const;
    TColor32 GetPixelFW(float X, float Y) const;
    // The resampler's sample at (X, Y).
    TColor32 GetPixelR(float X, float Y);

    // The stipple pattern of the P members; the counter is a position in pattern entries.
    void SetStipple(const TArrayOfColor32& NewStipple);
    void SetStipple(std::initializer_list<TColor32> NewStipple);
    void AdvanceStippleCounter(float LengthPixels);
    // The pattern's colour at the counter (entries mixed for fractional positions), then the
    // counter moves on by the step. Opaque black without a pattern.
    TColor32 GetStippleColor();
    float StippleCounter() const { return FStippleCounter; }
    void SetStippleCounter(float Value) { FStippleCounter = Value; }
    float StippleStep() const { return FStippleStep; }
    void SetStippleStep(float Value) { FStippleStep = Value; }

    // Straight runs from X1 to X2 (Y1 to Y2) inclusive. The plain and T forms check nothing
    // and notify nothing; the S forms clip and notify the drawn run.
    void HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 Value);
    void HorzLineS(int32_t X1, int32_t Y, int32_t X2, TColor32 Value);
    void HorzLineT(int32_t X1, int32_t Y, int32_t X2, TColor32 Value);
    void HorzLineTS(int32_t X1, int32_t Y, int32_t X2, TColor32 Value);
    // Stippled: the pattern advances by one step for every pixel of the unclipped run.
    void HorzLineTSP(int32_t X1, int32_t Y, int32_t X2);
    void VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value);
    void VertLineS(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value);
    void VertLineT(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value);
    void VertLineTS(int32_t X, int32_t Y1, int32_t Y2, TColor32 Value);
    void VertLineTSP(int32_t X, int32_t Y1, int32_t Y2);

    // Rectangles, Right and Bottom exclusive.
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FillRectS(const TRect& ARect, TColor32 Value);
    void FillRectT(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FillRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FillRectTS(const TRect& ARect, TColor32 Value);
    void FrameRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FrameRectS(const TRect& ARect, TColor32 Value);
    void FrameRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Value);
    void FrameRectTS(const TRect& ARect, TColor32 Value);
    // Traced clockwise from the top left, so the pattern runs on around the corners.
    void FrameRectTSP(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // A bevel: top and left lightened, bottom and right darkened (the other way round for a
    // negative Contrast, in percent).
    void RaiseRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Contrast);
    void RaiseRectTS(const TRect& ARect, int32_t Contrast);

    // Drawing onto another bitmap by this bitmap's draw mode, combine event, master alpha and
    // combine mode, clipped to Dst's clip rectangle; scaled forms through this bitmap's
    // resampler.
    void DrawTo(TBitmap32* Dst);
    void DrawTo(TBitmap32* Dst, int32_t DstX, int32_t DstY);
    void DrawTo(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& SrcRect);
    void DrawTo(TBitmap32* Dst, const TRect& DstRect);
    void DrawTo(TBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect);
    // Onto a device context: 1:1 with all four bytes of each pixel, or stretched.
    void DrawTo(HDC Dst, int32_t DstX, int32_t DstY);
    void DrawTo(HDC Dst, const TRect& DstRect, const TRect& SrcRect);
    // Src's DrawTo onto this bitmap; nothing for a nil Src.
    void Draw(int32_t DstX, int32_t DstY, TBitmap32* Src);
    void Draw(int32_t DstX, int32_t DstY, const TRect& SrcRect, TBitmap32* Src);
    void Draw(const TRect& DstRect, const TRect& SrcRect, TBitmap32* Src);
    void Draw(const TRect& DstRect, const TRect& SrcRect, HDC SrcDC);
    // The stretched picture onto a device context in tiles of at most 1024 x 1024 pixels.
    void TileTo(HDC Dst, const TRect& DstRect, const TRect& SrcRect);

    // Every alpha byte becomes AlphaValue (255 without argument); notifies also when measuring.
    void ResetAlpha();
    void ResetAlpha(uint8_t AlphaValue);
    // Moves the pixel run by Dx + Dy * Width as one block (pixels pushed past a row's end go on
    // in the next row); FillBack fills the uncovered strips with FillColor.
    void Roll(int32_t Dx, int32_t Dy, bool FillBack, TColor32 FillColor);
    // Nil (or this bitmap for the flips) works in place; another Dst receives the result.
    void FlipHorz(TBitmap32* Dst = nullptr);
    void FlipVert(TBitmap32* Dst = nullptr);
    void Rotate180(TBitmap32* Dst = nullptr);
    // Clockwise.
    void Rotate90(TBitmap32* Dst = nullptr);
    void Rotate270(TBitmap32* Dst = nullptr);

    // Exchange with the class library's graphics. Assign takes a TBitmap32 (pixels and
    // properties), a bitmap (a 32-bit one keeps its fourth bytes as alpha, others become opaque;
    // a transparent one's key colour gets alpha 0), a PNG image (its own alpha), any other
    // graphic (opaque), a picture by its graphic, the clipboard, or nil (empty). It notifies
    // once, also after a failure; other sources raise.
    void Assign(TPersistent* Source) override;
    // Into a picture's bitmap, a bitmap (32 bits, alpha in the fourth bytes) or the clipboard.
    virtual void AssignTo(TPersistent* Dst);
    // A BMP file image.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);
    // ".png" (any case) through LoadPNGintoBitmap32, taking the loaded bitmap's properties
    // (blend mode, a new nearest resampler); other extensions through a picture, keeping them.
    void LoadFromFile(const String& FileName);
    // Always a BMP file.
    void SaveToFile(const String& FileName);
    // The "Data" payload: Width, Height (signed 32-bit, little-endian), then the pixels from the
    // top. ReadData refuses a payload shorter than its size says before allocating (EReadError)
    // and notifies in every case.
    void ReadData(TStream& Stream);
    void WriteData(TStream& Stream);
    // Both empty, or same class and equal BMP images.
    bool Equal(TBitmap32& B);

    // Text in the bitmap's font. Without pixels (an empty bitmap) the shared measuring bitmap
    // measures; (0, 0) when measuring fails.
    TSize TextExtent(const String& Text);
    TSize TextExtentW(const String& Text) { return TextExtent(Text); }
    int32_t TextWidth(const String& Text);
    int32_t TextHeight(const String& Text);
    int32_t TextWidthW(const String& Text) { return TextWidth(Text); }
    int32_t TextHeightW(const String& Text) { return TextHeight(Text); }
    // At (X, Y), clipped to the clip rectangle while one is set; notifies the text's extent
    // (one pixel more each way), also when measuring or empty.
    void Textout(int32_t X, int32_t Y, const String& Text);
    void Textout(int32_t X, int32_t Y, const TRect& ClipRect, const String& Text);
    // DrawTextW into DstRect with Flags; notifies the rectangle DrawTextW leaves.
    void Textout(const TRect& DstRect, uint32_t Flags, const String& Text);
    void TextoutW(int32_t X, int32_t Y, const String& Text) { Textout(X, Y, Text); }
    void TextoutW(int32_t X, int32_t Y, const TRect& ClipRect, const String& Text) {
        Textout(X, Y, ClipRect, Text);
    }
    void TextoutW(const TRect& DstRect, uint32_t Flags, const String& Text) {
        Textout(DstRect, Flags, Text);
    }
    // Anti-aliased text in Color's colour, blended with Color's alpha and the combine mode.
    // AALevel is clamped to -1..4: 0 draws monochrome glyphs at the font's size, 1..4 draw them
    // at 2^AALevel times the size and take each block's mean as the alpha, -1 draws the
    // system's antialiased glyphs at the font's size. Nothing on an empty bitmap. Leaves the
    // font with default quality.
    void RenderText(int32_t X, int32_t Y, const String& Text, int32_t AALevel, TColor32 Color);
    void RenderTextW(int32_t X, int32_t Y, const String& Text, int32_t AALevel, TColor32 Color) {
        RenderText(X, Y, Text, AALevel, Color);
    }

    // Until EndMeasuring, drawing reports its areas to Callback without touching pixels, and
    // OnChange is not called. Not nested.
    void BeginMeasuring(const TAreaChangedEvent& Callback);
    void EndMeasuring();
    bool MeasuringMode() const { return FMeasuringMode; }

    TNotifyEvent OnHandleChanged;
    TPixelCombineEvent OnPixelCombine;
    TAreaChangedEvent OnAreaChanged;

protected:
    // Frees the pixels and handles and makes new ones of the new size; raises "Can't allocate
    // the DIB handle", "Can't create compatible DC" or "Can't select an object into DC" and
    // leaves the bitmap empty when it cannot.
    void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                    int32_t NewHeight) override;
    // Gives the canvas the current device context, then OnHandleChanged.
    virtual void HandleChanged();

    float FStippleCounter = 0;
    TArrayOfColor32 FStipplePattern;
    float FStippleStep = 1.0f;
    TPoint FPenPos;
    TFixedPoint FFixedPenPos;

private:
    void RenderSupersampled(TBitmap32& B, const String& Text, const String& Padded, int32_t Level,
                            TColor32 Color);
    void AssignFrom(TPersistent* Source);
    void AssignFromBitmap(TBitmap& Source);
    void AssignFromGraphic(TGraphic& Source);
    void AssignFromPicture(TPicture& Source);
    void CopyToBitmap(TBitmap& Bmp);
    void QuarterTurn(TBitmap32* Dst, bool Clockwise);
    void TurnInto(TBitmap32& Dst, bool Clockwise) const;
    void Blend2x2(int32_t PX0, int32_t PX1, int32_t PY0, int32_t PY1, int32_t X, int32_t Y,
                  TColor32 C, uint8_t Mask);
    bool OutsideClip(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) const;
    void FontChanged();
    void CanvasChanged();
    void ReleaseHandles();
    void AllocateHandles(int32_t NewWidth, int32_t NewHeight);

    PColor32 FBits = nullptr;
    std::unique_ptr<TCanvas> FCanvas;
    TRect FClipRect;
    TFixedRect FFixedClipRect;
    TRect FClipRectS;
    bool FClipping = false;
    TDrawMode FDrawMode = dmOpaque;
    TCombineMode FCombineMode = cmBlend;
    TWrapMode FWrapMode = wmClamp;
    std::unique_ptr<TFont> FFont;
    HBITMAP FBitmapHandle = nullptr;
    HDC FHandle = nullptr;
    BITMAPINFO FBitmapInfo{};
    uint32_t FMasterAlpha = 255;
    TAreaChangedEvent FOldOnAreaChanged;
    bool FMeasuringMode = false;
    std::unique_ptr<TCustomResampler> FResampler;
    HFONT FFontHandle = nullptr;
};

// Gives the font a handle of its own properties with the logical-font quality Quality (0
// default, 3 non-antialiased, 4 antialiased); "Default" as the name means the default font.
void ApplyFontQuality(TFont& Font, int32_t Quality);
// Every non-zero pixel P of B becomes Color + (P << 24): its blue byte becomes the alpha.
void TextBlueToAlpha(TBitmap32& B, TColor32 Color);
// Each pixel of B becomes Color with the truncated mean blue of B2's 2^N x 2^N block as alpha.
void TextScaleDown(TBitmap32& B, const TBitmap32& B2, int32_t N, TColor32 Color);

} // namespace raster
