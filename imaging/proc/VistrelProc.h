// The processing component: the non-visual component through which every image-processing
// operation reaches an image (of an attached view, a caller's bitmap or an own one), with the
// operation frame, its undo and redo stacks, the whole-image operations and rotation.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/gfx/Font.h"
#include "platform/rtl/Classes.h"
#include "platform/ui/Component.h"

#include <memory>
#include <vector>

class TImage;
class TVLView;
class TVistrelView;
class TVLMask;
struct TVLBitmapChangeRecord;

// What an undo or redo entry holds; the order is fixed.
enum TVLUndoSource : uint8_t {
    vluUnknown,
    vluImage,
    vluSelection,
    vluObject,
    vluLayer,
    vluFullLayer,
    vluObjectsAndLayers
};

using TVLSaveUndoEvent = std::function<void(TObject* Sender, TVLUndoSource Source)>;
using TVLPreviewEvent = std::function<void(TObject* Sender, TObject* PreviewForm)>;

// Options of the processing dialogs' previews, as a set of bits (1 << option).
enum TPRPreviewsParam : uint8_t { prppDefaultLockPreview, prppShowResetButton, prppHardReset };
using TPRPreviewsParams = uint8_t;
constexpr TPRPreviewsParams PreviewsParamBit(TPRPreviewsParam Param) {
    return static_cast<TPRPreviewsParams>(1u << Param);
}

// The pixel formats an operation accepts: bit n stands for format code n; 0 accepts every format.
using TVLPixelFormatSet = uint16_t;
constexpr TVLPixelFormatSet AnyPixelFormat = 0;
constexpr TVLPixelFormatSet PixelFormatBit(TVLPixelFormat Format) {
    return static_cast<TVLPixelFormatSet>(1u << static_cast<unsigned>(Format));
}
// The format that an image of Current is converted to for an operation accepting Allowed: the
// first of Current's preferred targets in the set, else the highest code in the set; vlNone when
// Allowed holds nothing convertible. Current itself when the set accepts it.
TVLPixelFormat PreferredPixelFormat(TVLPixelFormat Current, TVLPixelFormatSet Allowed);

// Reads layer records (as TVLLayer::SaveToStream writes them) from the start of Stream into the
// layers of View with the same identity. Records of unknown layers are skipped by their length;
// a length that cannot hold a record's head or runs past the end stops the walk.
void RestoreLayerRecords(TVistrelView& View, TStream& Stream);

// The defaults of the processing dialogs (which this system does not contain), kept and reset in
// their order. The four selection values have setters that drop the saved settings.
class TIPDialogParams : public TObject {
public:
    TIPDialogParams();
    void Reset();
    int32_t Selection(int32_t Index) const { return FSelection[Index]; }
    void SetSelection(int32_t Index, int32_t Value);
    TMemoryStream& SavedSettings() { return FSavedSettings; }

    int32_t Values[11] = {};
    int32_t Kernel[3][3] = {};
    int32_t KernelDivisor = 0;
    TVLRGB Colors[4];
    int32_t Box1[4] = {};
    TVLRGB BoxColor;
    int32_t BoxValue = 0;
    bool BoxFlag = true;
    int32_t Box2[4] = {};
    double Gamma = 1.7;
    bool GammaFlag = true;
    int32_t Shadow[3] = {};
    bool ShadowFlag = false;
    int32_t ShadowMode[2] = {};
    double Range[2] = {};
    int32_t Steps[2] = {};
    bool StepsFlag = true;

private:
    int32_t FSelection[4] = {};
    TMemoryStream FSavedSettings;
};

class TVistrelProc : public TComponent {
public:
    // A component with an own empty image; automatic undo only when it has an owner.
    explicit TVistrelProc(TComponent* AOwner);
    ~TVistrelProc() override;

    // ---- Attachment ----
    TVLView* AttachedVistrel() const { return FView; }
    // nil detaches and gives the component a fresh own image.
    void SetAttachedVistrel(TVLView* View);
    // A caller-owned bitmap that must outlive its use here. nil while nothing else is attached
    // leaves the component without an image; nil while a view is attached changes nothing.
    void SetAttachedBitmap(TVLBitmap* Bitmap);
    TImage* AttachedTImage() const { return FTImage; }
    // Works on the picture bitmap of an image control through an own image that wraps it (never
    // through the image of a view attached before). nil detaches the control and leaves a fresh
    // own image.
    void SetAttachedTImage(TImage* Image);
    // The image every operation works on; nil when there is none.
    TVLBitmap* Image() const { return FImage; }
    bool OwnsImage() const { return FImage != nullptr && FImage == FOwnImage.get(); }

    // ---- Properties ----
    // The attached view's Background, or the component's own colour without a view.
    TColor GetBackground() const;
    void SetBackground(TColor Color);
    TFont& PreviewFont() { return FPreviewFont; }
    void SetPreviewFont(const TFont& Font) { FPreviewFont.Assign(Font); }
    TPRPreviewsParams GetPreviewsParams() const { return FPreviewsParams; }
    void SetPreviewsParams(TPRPreviewsParams Value) { FPreviewsParams = Value; }
    TIPDialogParams& DialogParams() { return FDialogParams; }
    int32_t UndoLimit() const { return FUndoLimit; }
    // A smaller limit takes effect at the next save.
    void SetUndoLimit(int32_t Value) { FUndoLimit = Value; }
    bool AutoUndo = false;
    bool AutoConvertFormat = true;
    TMsgLanguage MsgLanguage = msSystem;
    TVLProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;
    TVLSaveUndoEvent OnSaveUndo;
    TVLPreviewEvent OnPreview;

    // ---- Operation frame ----
    // False without an image; re-reads a wrapped class-library bitmap, then converts the image
    // into the set when needed.
    bool PrepareImage(TVLPixelFormatSet Allowed);
    bool ConvertToAllowedFormat(TVLPixelFormatSet Allowed);
    // The selection of the attached view: its mask, bounding box (X2, Y2 exclusive) and polygon.
    // Without a selection: false, no mask, the whole image.
    virtual bool GetSelectionInfo(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                  TVLMask*& Mask, const TPoint*& Points, int32_t& PointCount);
    // The frame of the selection-aware operations: saves undo (before any conversion), prepares
    // the image and hands out the bitmap to work on with its rectangle. Work is the image itself
    // without a selection, else a copy of the selection's box that EndOperation copies back
    // through the mask and frees.
    bool BeginOperation(TVLPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2,
                        int32_t& Y2, const String& Caption, TVLBitmap*& Work, TVLMask*& Mask);
    void EndOperation(TVLBitmap* Work, TVLMask* Mask);
    // Tells the attached view (or the wrapped class-library bitmap) that the image changed.
    void NotifyImageChanged();
    // OnProgress(100), then OnFinishWork.
    virtual void DoFinishWork();

    // ---- Whole-image operations (VistrelProcImage.cpp) ----
    // Each does nothing when there is no image or its pixel format cannot be had.
    // Fills the image with Background.
    void Clear();
    // A new canvas size without scaling; alignment 0 left or top, 1 centre, 2 right or bottom.
    // New area takes Background, new alpha AlphaFill (an alpha channel is made for AlphaFill
    // below 255).
    void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                     int32_t AlphaFill);
    // Rescales the image, alpha channel included. A size of 0 keeps that side, -1 follows the
    // aspect ratio from the other side, other values count by their absolute value. Formats the
    // filter cannot resample are converted first (AutoConvertFormat) or left alone.
    void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    // The same into Dest, leaving the image as it is.
    void ResampleTo(TVLBitmap& Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    // Fills the selection of the attached view, or the whole image: vl24RGB pixels and vl1g bits
    // (set for a non-zero red); other formats keep their pixels.
    void Fill(const TVLRGB& Color);
    // Keeps the inclusive rectangle, clipped to the image, with its alpha. An empty rectangle or
    // the whole image does nothing.
    void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // Right and Bottom inclusive.
    void CropRect(const TRect& Rect);
    // Crops to the opaque area of the alpha channel, without an undo entry.
    void CropTransparentBorders();

    // ---- Rotation (VistrelProcRotate.cpp) ----
    // Turns the image and its alpha channel counter-clockwise (on screen) by Angle degrees onto
    // the rotated box. AntiAlias with mode 0 shears vl24RGB and vl1g images, with another mode
    // interpolates vl24RGB images (2 bicubic, else bilinear); everything else takes the nearest
    // source pixel, whole multiples of 90 degrees exactly. New corners take Background (-1: the
    // Background property) and alpha 0.
    void Rotate(double Angle, bool AntiAlias, uint8_t AntialiasMode, TColor Background);

    // ---- Colour reduction (VistrelProcColor.cpp) ----
    // Grey levels for the selection of the attached view, or the whole image; only vl24RGB pixels
    // change.
    void ConvertToGray();
    // Reduces a vl24RGB image (other formats are converted first, AutoConvertFormat permitting):
    // below 3 colours to vl1g, by the mean-luminance threshold or by ordered dithering; from 3 to
    // 1,024 to at most NumColors colours, staying vl24RGB; above 1,024 the pixels stay.
    void ConvertTo(int32_t NumColors, bool ByThreshold);
    // As ConvertTo; Palette (room for NumColors entries, 2 below 3 colours; may be nil) receives
    // the colours used: black and white below 3. NumColors 0 does nothing.
    void ConvertToPalette(int32_t NumColors, TVLRGB* Palette, bool ByThreshold);

    // ---- Undo and redo (VistrelProcUndo.cpp) ----
    // Pushes an undo entry of the attached view's or the image's state, then fires OnSaveUndo.
    virtual void SaveUndo(TVLUndoSource Source);
    // The save of every operation: nothing for an image narrower or lower than 2 pixels.
    void SaveUndoCaptioned(const String& Caption, TVLUndoSource Source);
    // Index counts back from the newest entry (0). The entry stays on its stack.
    virtual void Undo(bool SaveRedo);
    virtual void UndoAt(int32_t Index, bool SaveRedo);
    virtual void SaveRedo(TVLUndoSource Source);
    virtual void DiscardRedo();
    virtual void Redo();
    virtual void RedoAt(int32_t Index);
    void RemoveUndo(int32_t Position);
    void ClearUndo();
    void ClearRedo();
    int32_t GetUndoCount() const { return static_cast<int32_t>(FUndo.size()); }
    int32_t GetRedoCount() const { return static_cast<int32_t>(FRedo.size()); }
    // Index counts from the oldest entry (0); vluUnknown out of range.
    TVLUndoSource GetUndoSource(int32_t Index) const;
    // The caption of the undo entry at Index from the oldest; empty out of range.
    String GetUndoCaption(int32_t Index) const;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    struct TUndoEntry {
        std::unique_ptr<TObject> Data;
        TVLUndoSource Kind = vluUnknown;
        String Caption;
    };
    using TUndoStack = std::vector<TUndoEntry>;

    // The short frame of the operations that ignore the selection: the undo entry of the image
    // as it is, then the conversion into Allowed. False, with nothing done, when the image
    // cannot be had in Allowed.
    bool StartOperation(TVLPixelFormatSet Allowed, const String& Caption);
    bool ResampleInto(TVLBitmap& Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    // The reduction of ConvertTo and ConvertToPalette on the prepared vl24RGB image, then the
    // notification and the finished work.
    void ReduceColors(int32_t NumColors, TVLRGB* Palette, bool ByThreshold);

    void ViewBitmapChanged(bool Destroying);
    // The attachment rule: the view's current bitmap, else an own image wrapping its legacy
    // bitmap, else no image.
    void FollowView();
    void DetachView();
    void SetTargetBitmap(TVLBitmap* Bitmap);
    void DropOwnImage();
    void UseFreshOwnImage();
    TVistrelView* AttachedVistrelView() const;

    // Undo helpers.
    std::unique_ptr<TObject> MakeEntry(TVLUndoSource Source);
    std::unique_ptr<TObject> MakeImageEntry();
    std::unique_ptr<TObject> MakeSelectionEntry();
    std::unique_ptr<TObject> MakeLayersEntry(bool WithBitmap);
    bool PushEntry(TUndoStack& Stack, TVLUndoSource Source);
    void RestoreEntry(TUndoEntry& Entry);
    void RestoreImage(TVLBitmap& Saved);

    TVLView* FView = nullptr;
    TVLBitmapChangeRecord* FChangeHandle = nullptr;
    TColor FBackground = 0;
    TPRPreviewsParams FPreviewsParams =
        PreviewsParamBit(prppShowResetButton) | PreviewsParamBit(prppHardReset);
    TFont FPreviewFont;
    TVLBitmap* FImage = nullptr;
    std::unique_ptr<TVLBitmap> FOwnImage;
    TIPDialogParams FDialogParams;
    int32_t FUndoLimit = 1;
    TVLLocation FUndoLocation = TVLLocation::vlFile;
    TUndoStack FUndo;
    TUndoStack FRedo;
    TImage* FTImage = nullptr;
    // The class-library bitmap the own image wraps, or nil.
    TBitmap* FLegacyBitmap = nullptr;
};
