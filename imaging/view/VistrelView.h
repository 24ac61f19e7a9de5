// The single-image view: a window control that shows its current bitmap zoomed per axis,
// scrolled and centred, with scroll bars and mouse-wheel zoom.
#pragma once

#include "imaging/core/VLRender.h"
#include "imaging/proc/VistrelProc.h"
#include "imaging/view/VLLayer.h"
#include "imaging/view/VLView.h"
#include "imaging/view/ViewGeometry.h"
#include "imaging/view/ViewPaint.h"
#include "imaging/view/ViewScrollBars.h"
#include "imaging/view/ViewSelection.h"
#include "imaging/view/ViewMouse.h"
#include "imaging/core/VLMask.h"
#include "platform/gfx/DrawDib.h"
#include "platform/rtl/Types.h"

class TTimer;
class TVistrelIO;

// Background styles; the geometry reads them for the frame margins of fit and automatic zoom.
// Painted by DrawViewBackground (ViewBackground.h).
enum TVLBackgroundStyle : uint8_t {
    vlbsSolid,
    vlbsHorizontal,
    vlbsVertical,
    vlbsFDiagonal,
    vlbsBDiagonal,
    vlbsCross,
    vlbsDiagCross,
    vlbsChessboard,
    vlbsDiagonals,
    vlbsCropped,
    vlbsCropShadow,
    vlbsGradient,
    vlbsSoftShadow,
    vlbsPhotoLike
};

enum TVLWallPaperStyle : uint8_t { vlwoNormal, vlwoStretch, vlwoTile };

// Change: 0 the view position moved, 1 the zoom changed.
using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
// The handler may change the zoom about to be applied.
using TVLZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TVLLayerNotifyEvent =
    std::function<void(TObject* Sender, int32_t Layer, TVLLayerEvent Event)>;
// Set Handled to keep the view from painting its own background.
using TVLOnDrawBackground =
    std::function<void(TObject* Sender, TCanvas* ACanvas, TRect ARect, bool& Handled)>;
using TVLDrawLayerBoxEvent = std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t Layer)>;
using TVLDrawLayerGrip =
    std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t Layer, int32_t Grip, TRect Rect)>;
// Set Handled to have the key (arrows, Tab and the like) delivered to the view as an ordinary key.
using TVLSpecialKeyEvent =
    std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;

class TVistrelView : public TVLView {
public:
    explicit TVistrelView(TComponent* AOwner);
    ~TVistrelView() override;

    // ---- Base view operations ----
    void SetBackground(TColor Color) override;
    TVLBitmap* GetVLBitmap() override { return FBitmap; }
    TBitmap* GetTBitmap() override { return FLegacyBitmap; }
    TVLBitmap* GetAlphaChannel() override;
    bool HasAlphaChannel() override;
    void RemoveAlphaChannel(bool Merge) override;
    void LockPaint() override;
    int32_t UnlockPaint() override;
    int32_t UnlockPaintNoRefresh() override;
    int32_t PaintLockCount() const { return FPaintLock; }
    void ImageChange() override;
    TNotifyEvent OnImageChange;

    // ---- Zoom ----
    double ZoomX() const { return FZoomX; }
    double ZoomY() const { return FZoomY; }
    // Percent values of 0 or less are ignored; larger values than GetMaxZoom are lowered to it.
    void SetZoom(double Percent);
    void SetZoomX(double Percent);
    void SetZoomY(double Percent);
    // Set the zoom and view position only, keeping the bitmap point at the area's centre.
    virtual void ApplyZoom(double Percent);
    virtual void ApplyZoomX(double Percent);
    virtual void ApplyZoomY(double Percent);
    // Zooms about client point (X, Y): the point stays under (X, Y), or moves to the centre.
    void ZoomAt(int32_t X, int32_t Y, double Percent, bool CenterIt);
    // The largest zoom in percent at which the bitmap's zoomed sides stay within
    // MaxZoomedSize pixels.
    double GetMaxZoom() const;
    void Fit();
    double GetFitZoom();
    double GetAutoFitZoom(int32_t W, int32_t H, int32_t AvailW, int32_t AvailH, bool Stretch,
                          bool Shrink);

    // ---- Scrolling and coordinates ----
    int32_t ViewX() const { return FViewX; }
    int32_t ViewY() const { return FViewY; }
    void SetViewXY(int32_t X, int32_t Y);
    void SetViewX(int32_t X);
    void SetViewY(int32_t Y);
    void GetMaxViewXY(int32_t& MaxX, int32_t& MaxY);
    bool IsScrollable();
    int32_t BitmapToClientX(int32_t X);
    int32_t BitmapToClientY(int32_t Y);
    int32_t ClientToBitmapX(int32_t X);
    int32_t ClientToBitmapY(int32_t Y);
    int32_t AlignViewX(int32_t V);
    int32_t AlignViewY(int32_t V);

    // ---- Recomputation ----
    void Update() override;
    virtual void UpdateExtents();
    virtual void UpdateVisibleRect();
    virtual void UpdateZoomTables();
    void DisableUpdate();
    void EnableUpdate();
    void EnableUpdateNoRefresh();
    virtual bool IsEmpty();
    static bool IsRectanglePolygon(const TPoint* Points, int32_t Count);

    // ---- Geometry state ----
    int32_t BitmapWidth() const { return FBitmapWidth; }
    int32_t BitmapHeight() const { return FBitmapHeight; }
    int32_t ZoomedWidth() const { return FZoomedWidth; }
    int32_t ZoomedHeight() const { return FZoomedHeight; }
    int32_t ExtentWidth() const { return FExtentWidth; }
    int32_t ExtentHeight() const { return FExtentHeight; }
    int32_t OffsetX() const { return FOffsetX; }
    int32_t OffsetY() const { return FOffsetY; }
    int32_t OriginX() const { return FOriginX; }
    int32_t OriginY() const { return FOriginY; }
    int32_t VisibleBitmapWidth() const { return FVisibleBitmapWidth; }
    int32_t VisibleBitmapHeight() const { return FVisibleBitmapHeight; }
    int32_t VisibleClientWidth() const { return FVisibleClientWidth; }
    int32_t VisibleClientHeight() const { return FVisibleClientHeight; }
    // The client-to-bitmap maps seen from the view position, one entry per visible client
    // column or row (what the renderer receives); nil while no tables exist.
    const int32_t* ClientToBitmapColumns() const;
    const int32_t* ClientToBitmapRows() const;

    // The drawing area: the control's size without a window, the client size with one, else
    // 50 x 50.
    virtual int32_t ClientAreaWidth();
    virtual int32_t ClientAreaHeight();
    // The view sits on a form or in a parent window.
    virtual bool HasParentWindow();
    // Draw into the control's Width x Height with no window at all (off-screen use).
    bool OffScreenDrawing = false;

    // ---- Options ----
    bool Center() const { return FCenter; }
    void SetCenter(bool Value);
    bool AutoFit() const { return FAutoFit; }
    void SetAutoFit(bool Value);
    bool AutoStretch() const { return FAutoStretch; }
    void SetAutoStretch(bool Value);
    bool AutoShrink() const { return FAutoShrink; }
    void SetAutoShrink(bool Value);
    TVLBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
    void SetBackgroundStyle(TVLBackgroundStyle Value);
    TResampleFilter ZoomFilter() const { return FZoomFilter; }
    void SetZoomFilter(TResampleFilter Value);
    bool DelayZoomFilter = false;
    // Delay counters of the zoom filter: filter-delay (reset 4) and animation pause (reset 2).
    int32_t FilterDelayCount() const { return FFilterDelay; }
    int32_t AnimationPauseCount() const { return FAnimationPause; }
    // The back buffer must be composed again / the next paint copies the whole drawing area.
    bool NeedsRecompose() const { return FRecompose; }
    bool NeedsFullRedraw() const { return FFullRedraw; }

    // ---- Scroll bars and wheel ----
    TScrollStyle ScrollBars() const { return FScrollBars; }
    virtual void SetScrollBars(TScrollStyle Value);
    bool FlatScrollBars() const { return FFlatScrollBars; }
    void SetFlatScrollBars(bool Value);
    bool ShowDisabledScrollBars = false;
    void HideHScrollBar();
    void HideVScrollBar();
    void UpdateScrollBars();
    void ScrollHorz(TVLScrollAction Action, int32_t Value);
    void ScrollVert(TVLScrollAction Action, int32_t Value);
    void WheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl);
    void SmoothScrollTo(int32_t X, int32_t Y);
    bool HScrollBarShown() const { return FHBarShown; }
    bool VScrollBarShown() const { return FVBarShown; }
    double HScrollUnit() const { return FHUnit; }
    double VScrollUnit() const { return FVUnit; }
    TVLScrollBarParams& HScrollBarParams() { return FHScrollBarParams; }
    TVLScrollBarParams& VScrollBarParams() { return FVScrollBarParams; }
    TVLMouseWheelParams& MouseWheelParams() { return FMouseWheelParams; }
    bool SmoothScrolling() const { return FSmoothTimer != nullptr; }

    // ---- Painting and back buffer (ViewPaint.cpp) ----
    // Copies the needed part of the back buffer (composed first when something changed) to the
    // window, then draws the overlays; nothing is copied while the paint lock is held.
    void Paint() override;
    void DrawBackBuffer(const TRect& Rect);
    // The class-library bitmap inside the back buffer; nil at design time.
    TBitmap* GetBackBuffer();
    void InvalidateClientRect(const TRect& Rect);
    bool DrawVersion() const { return FDrawVersion; }
    void SetDrawVersion(bool Value);
    // The box shown beside the mouse during mouse operations; an empty Text shows none.
    void SetInteractionHint(const String& Text, int32_t X, int32_t Y, const String& SizingText);
    // The grid between the current layer's pixels as last drawn, at zooms of PixelGridMinZoom
    // and more; the composition draws it with the boxes.
    void DrawPixelGrid(TCanvas& Canvas);
    bool UseDrawDibDraw = false;
    bool DisplayGrid = false;
    TPoint HighlightedPixel{-1, -1};
    bool EnableInteractionHints = true;
    // Stored only: painting always goes through the back buffer.
    bool DoubleBuffer = true;
    TNotifyEvent OnDrawBackBuffer;
    TVLOnDrawCanvas OnDrawCanvas;
    TNotifyEvent OnPaint;
    // ---- Layers and the current image (VLLayer.cpp) ----
    int32_t GetLayerCount() const { return static_cast<int32_t>(FLayers.size()); }
    // No range check: callers pass valid indices.
    TVLLayer* GetLayer(int32_t Index) const { return FLayers[Index].get(); }
    TVLLayer* GetCurrentLayer() const { return FLayers[FCurrentLayer].get(); }
    int32_t CurrentLayerIndex() const { return FCurrentLayer; }
    virtual void SetCurrentLayer(int32_t Index);
    int32_t AddLayer();
    void RemoveLayer(int32_t Index);
    void ClearLayers();
    void SyncLayers();
    int32_t FindLayerAt(int32_t X, int32_t Y, bool SelectableOnly);
    bool IsPointInLayer(int32_t X, int32_t Y, int32_t Index);
    virtual void DoLayerNotify(int32_t Layer, TVLLayerEvent Event);
    TVLLayerNotifyEvent OnLayerNotify;
    // Replaces the layers by their merged picture; false (the layers kept) when that picture
    // cannot be made.
    bool MergeAllLayers();
    // Renders every layer at 100 % into Dest, grown to hold layers beyond layer 0's edges; false
    // (Dest unchanged) when that size cannot be allocated.
    bool DrawLayersToBitmap(TVLBitmap& Dest);
    // Width and height of the picture DrawLayersToBitmap makes, in 64 bits: layer positions
    // and sizes come from files and may lie anywhere.
    void MergedLayersSize(int64_t& Width, int64_t& Height);
    // Bake display sizes and rotations into the layers' pixels, and crop layers to their opaque
    // area, for layer Index or every layer (-1). Positions follow, so that what is shown keeps
    // its place.
    void ResampleLayers(int32_t Index);
    void ApplyLayersRotation(int32_t Index);
    void CropLayersToAlpha(int32_t Index);
    // ---- The layers stream (ViewLayersStream.cpp) ----
    // Every layer's record, then every layer's image: Format -1 a deflated raw dump, else the
    // I/O component's stream format (1 is stored as 8).
    void SaveLayersToStream(TStream& Stream, int32_t Format);
    // Replaces the layer stack; false, with the view unchanged, for a stream that is not a
    // layers stream or whose records do not fit in it, and false when an image is damaged.
    bool LoadLayersFromStream(TStream& Stream);
    bool LoadLayersFromFile(const String& FileName);
    // Fills the current bitmap with Background and drops its alpha channel.
    void Clear();
    // An empty 1 x 1 picture.
    void Blank();
    // nil clears; a view or a class-library bitmap is copied into the current bitmap.
    void Assign(TObject* Source);
    // Bitmap stays the caller's and must outlive its use here; nil gives the current layer a new
    // empty bitmap of its own.
    void SetExternalBitmap(TVLBitmap* Bitmap);
    bool LegacyBitmap() const { return FLegacyBitmapOn; }
    void SetLegacyBitmap(bool Value);
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    bool LayersSync = false;
    bool LayersSelectableOnly = true;
    bool LayersRotateAntiAlias = false;
    uint8_t LayersRotateMode = 0;
    bool LayersCropOnRotate = true;
    // Whose mask-alpha cache the next Update frees: -1 every layer's, else that layer's.
    int32_t ChangedLayer = -1;

    // ---- Background and wallpaper (ViewBackground.cpp) ----
    TVLWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
    void SetWallPaperStyle(TVLWallPaperStyle Value);
    // The picture drawn over the background; a copy of Value is kept. nil removes it.
    TBitmap* WallPaper() const { return FWallPaper.get(); }
    void SetWallPaper(TBitmap* Value);
    void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
    int32_t ChessboardSize() const { return FChessboardSize; }
    TBrushStyle ChessboardBrushStyle() const { return FChessboardBrushStyle; }
    TColor GradientEndColor = 0xFF0000;
    // Paints the background settings over the whole control, with no image.
    void PaintBackgroundTo(TCanvas* Canvas);
    TVLOnDrawBackground OnDrawBackground;

    // ---- Layer composition (ViewComposition.cpp) ----
    // Dest must be a vl24RGB bitmap kept in a class-library bitmap when DrawBackground or
    // DrawBoxes is set (the painters draw on its canvas).
    virtual void ComposeBackBuffer(TVLBitmap& Dest, bool DrawBoxes, bool DrawBackground,
                                   const TRect* Clip);
    void GetLayerGripRects(int32_t Index, TRect (&Rects)[9]);
    TVLGrip GetLayerGripAt(int32_t X, int32_t Y);
    bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
    void SetEnableAlphaChannel(bool Value);
    bool ShowLayerBoxes = false;
    uint8_t LayerOutsideStyle = 0;
    int32_t LayerOutsideValue = 60;
    bool MagnifyNoResize = false;
    int32_t MinLayerDrawSize = 2;
    TColor LayerGripPenColor = 0x000000;
    TColor LayerGripBrushColor = 0xBAFFFF;
    TBrushStyle LayerGripBrushStyle = bsSolid;
    int32_t LayerGripSize = 5;
    uint8_t LayerGripShape = 1;
    // Which layer gestures the mouse may start; the composition draws boxes and grips for them.
    bool InteractMoveLayers = false;
    bool InteractResizeLayers = false;
    bool InteractRotateLayers = false;
    TVLDrawLayerBoxEvent OnDrawLayerBox;
    TVLDrawLayerGrip OnDrawLayerGrip;

    // ---- Processing ----
    // The view's processing component: made on first use, owned by the view, attached to it,
    // with its events forwarded to the view's handlers of the moment.
    TVistrelProc* GetProc();


    // ---- Selection (ViewSelection.cpp) ----
    // Coordinates are client pixels with vlsbClientArea, else bitmap pixels of the current layer.
    virtual void Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TVLSelectMode Op);
    void SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TVLSelectMode Op,
                    bool Constrain, bool KeepSize);
    void MagicWandSelect(int32_t X, int32_t Y, TVLSelectMode Op);
    virtual void AddSelPoint(int32_t X, int32_t Y);
    void AddSelectionPointAt(int32_t X, int32_t Y);
    virtual void EndSelect();
    void StartNewPolygon();
    void ClearSelection();
    void MoveSelection(int32_t DX, int32_t DY);
    // DX, DY in bitmap pixels; State is returned unchanged.
    int32_t MoveSelectionBy(int32_t State, int32_t DX, int32_t DY, bool Cut);
    TVLGrip ResizeSelectionByGrip(TVLGrip Grip, int32_t X, int32_t Y, bool KeepRatio);
    TVLGrip SelectionGripAt(int32_t X, int32_t Y);
    TVLGrip SelectionGripUnderMouse(int32_t X, int32_t Y, TShiftState Shift);
    int32_t SelectionMoveTest(int32_t X, int32_t Y, TShiftState Shift);
    const TPoint* GetSelectionPoints() const { return FPolygon.Data(); }
    int32_t GetSelectionPointCount() const { return FPolygon.Count; }
    const TVLSelectionPolygon& SelectionPolygon() const { return FPolygon; }
    TVLMask& SelectionMask() { return FMask; }
    bool Selected() const { return FSelected; }
    bool PolygonInProgress() const { return FPolygonInProgress; }
    TVLSelectionOptions SelectionOptions() const { return FSelectionOptions; }
    void SetSelectionOptions(TVLSelectionOptions Value);
    TVLSelectionBase SelectionBase = vlsbClientArea;
    double SelectionRatio() const { return FSelectionRatio; }
    void SetSelectionRatio(double Value);
    int32_t SelectionFixedWidth = 100;
    int32_t SelectionFixedHeight = 100;
    TColor SelectionDashColor1() const { return FPolygon.Color1; }
    TColor SelectionDashColor2() const { return FPolygon.Color2; }
    void SetSelectionDashColor1(TColor Value) { FPolygon.Color1 = Value; }
    void SetSelectionDashColor2(TColor Value) { FPolygon.Color2 = Value; }
    int32_t SelectionMaskValue = 1;
    int32_t SelectionMaskBits = 1;
    int32_t SelectionGripSize = 5;
    TColor SelectionGripPenColor = 0x000000;
    TColor SelectionGripBrushColor = 0xBAFFFF;
    TBrushStyle SelectionGripBrushStyle = bsSolid;
    bool SelectionMidGrips = true;
    bool ShiftAddsSelection = true;
    bool ConstrainAlways = false;
    int32_t WandTolerance = 15;
    bool WandGrow = false;
    TVLWandMode WandMode = vlwmOutline;
    int32_t AntsLoadLimit = -20;
    bool ShowSelection = true;
    bool HideOutlineAfterZoom = true;
    // The selection record of the stream format, written at the stream position.
    void SaveSelectionToStream(TStream& Stream);
    // Mode 0 as stored, 1 kept inside the current bitmap, 2 carried over from the layer the
    // record was saved on. False, with the selection unchanged, for a short or foreign record.
    bool LoadSelectionFromStream(TStream& Stream, int32_t Mode);
    void PushSelection();
    bool PopSelection(bool Remove, int32_t Mode);
    int32_t SavedSelectionCount() const { return static_cast<int32_t>(FSavedSelections.size()); }
    void DragRectSelection(int32_t X, int32_t Y, TShiftState Shift);
    void DragCircleSelection(int32_t X, int32_t Y, TShiftState Shift);
    void DrawSelectionPolygon(TObject* Sender);
    // Ends a polygon (not a lasso) in progress, as a double click does.
    void CloseSelectionPolygon(TShiftState Shift);
    void ZoomSelection(bool KeepAspect, bool FireZoomIn);
    // The selection's box: the polygon's during a gesture (right and bottom less 1), else the
    // mask's.
    int32_t GetSelX1();
    int32_t GetSelY1();
    int32_t GetSelX2();
    int32_t GetSelY2();
    // The animation timer (nil until first needed) and the clock it measures drawing with.
    TTimer* AnimationTimer() const { return FAntsTimer; }
    std::function<uint32_t()> TickCount;
    TNotifyEvent OnBeforeSelectionChange;
    TNotifyEvent OnSelectionChanging;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnMouseInSel;
    TVLMouseInResizingGripEvent OnMouseInResizingGrip;
    TVLOnDrawPolygon OnDrawPolygon;

    // ---- Mouse interaction (ViewMouse.cpp) ----
    TVLMouseInteract MouseInteract() const { return FMouseInteract; }
    virtual void SetMouseInteract(TVLMouseInteract Value);
    bool ScrollTowardMouse();
    virtual void OffsetDragPoints(int32_t DX, int32_t DY);
    void ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepRatio);
    double DragScrollFactor = 1.0;
    int32_t LayerRotationStep = 45;
    bool LayersAutoUndo = false;
    bool ZoomSelectUniform = true;
    const String& InteractionHint() const { return FHintText; }

    // ---- Cursors, keys, focus and the navigator (ViewInput.cpp) ----
    TCursor Cursor() const { return FOwnCursor; }
    void SetCursor(TCursor Value) override;
    // Shown only by a view made with an owner; Cursor keeps its value.
    void SetTempCursor(TCursor Id);
    void RestoreCursor();
    TCursor CurrentCursor() const { return FCurrentCursor; }
    // True for a view made with an owner: the view then sets its own cursors while the mouse
    // works in it.
    bool InteractionCursors = false;
    TVistrelView* Navigator() const { return FNavigator; }
    void SetNavigator(TVistrelView* View);
    void SyncNavigator();
    String GetVistrelVersion() const;
    void SetVistrelVersion(const String&) {}
    void RemoveOwnedObject(int32_t Index);
    int32_t OwnedObjectCount() const { return static_cast<int32_t>(FOwnedObjects.size()); }
    void AddOwnedObject(std::unique_ptr<TObject> Object) { FOwnedObjects.push_back(std::move(Object)); }
    TVLSpecialKeyEvent OnSpecialKey;

    // ---- Events ----
    virtual void DoViewChange(int32_t Change);
    // Fired by the progress and finished-work messages that background jobs post; the setters
    // hand the event to the I/O component as well.
    virtual const TVLProgressEvent& GetOnProgress() const { return FOnProgress; }
    virtual void SetOnProgress(const TVLProgressEvent& Value);
    virtual const TNotifyEvent& GetOnFinishWork() const { return FOnFinishWork; }
    virtual void SetOnFinishWork(const TNotifyEvent& Value);
    // Read when the processing component saves undo, so that a change reaches it at once.
    TVLSaveUndoEvent OnSaveUndo;
    TViewChangeEvent OnViewChange;
    TVLZoomEvent OnZoomIn;
    TVLZoomEvent OnZoomOut;

    void Dispatch(TMessage& Message) override;

    // ---- Components ----
    // The view's I/O component, made on first use, owned by the view and attached to it.
    TVistrelIO* GetIO();

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;

private:
    void ApplyZoomAxis(double Percent, bool Horizontal, bool Vertical);
    void SetZoomAxes(double Percent, bool Horizontal, bool Vertical);
    void SetViewAxes(int32_t X, int32_t Y, bool Horizontal, bool Vertical);
    void StartFilterDelay();
    void SetFactors();
    double CappedZoom(double Percent) const;
    void CapZoomToBitmap();
    void AutoZoom();
    void BitmapSizeChanged();
    void FrameMargins(int32_t& MX, int32_t& MY, bool FitMargins);
    bool TablesMatch() const;
    void ScrollAxis(bool Horizontal, TVLScrollAction Action, int32_t Value);
    void ScrollMessage(bool Horizontal, WPARAM WParam);
    void UpdateScrollBar(bool Horizontal, int32_t Max);
    void SetScrollBarPosition(bool Horizontal);
    void SmoothScrollStep();
    void CreateBackBuffer();
    void CopyBackBuffer(const TRect& Rect, int32_t Width, int32_t Height);
    void DrawVersionText(TCanvas& Canvas);

    // Layer helpers (VLLayer.cpp).
    void MakeCurrent(int32_t Index);
    void FreeChangedMaskCaches();
    void ResampleLayer(TVLLayer& Layer);
    void RotateLayer(TVLLayer& Layer);
    void CropLayer(TVLLayer& Layer);
    // Layer Index, or every layer for -1; out-of-range indexes give none.
    std::vector<TVLLayer*> LayersOf(int32_t Index) const;
    void SizeLayersAlike();
    // Composition helpers (ViewComposition.cpp).
    struct TComposeState;
    void ComposeLayer(TComposeState& State, int32_t Index);
    void ComposeBackground(TComposeState& State, int32_t FirstLayer);
    void DrawLayerBoxAndGrips(TComposeState& State, int32_t Index);
    void DimOutside(TVLBitmap& Dest, const TRect& Box, uint8_t Style);
    TResampleFilter LayerFilter(const TVLLayer& Layer);
    TVLBitmap* ZoomedPicture(TVLBitmap& Source, TResampleFilter Filter);
    bool PictureCoversBuffer();
    bool ShiftBackBuffer(int32_t DX, int32_t DY);

    std::vector<std::unique_ptr<TVLLayer>> FLayers;
    int32_t FCurrentLayer = -1;
    // Owned through the component list.
    TVistrelProc* FProc = nullptr;
    // The current layer's bitmap as the view uses it; owned by the layer or by the caller of
    // SetExternalBitmap.
    TVLBitmap* FBitmap = nullptr;
    TBitmap* FLegacyBitmap = nullptr;
    bool FLegacyBitmapOn = true;
    TVLWallPaperStyle FWallPaperStyle = vlwoNormal;
    std::unique_ptr<TBitmap> FWallPaper;
    int32_t FChessboardSize = 16;
    TBrushStyle FChessboardBrushStyle = bsSolid;
    bool FEnableAlphaChannel = true;

    double FZoomX = 100;
    double FZoomY = 100;
    double FFactorX = 1;
    double FFactorY = 1;
    double FInverseX = 1;
    double FInverseY = 1;
    int32_t FViewX = 0;
    int32_t FViewY = 0;
    int32_t FBitmapWidth = 0;
    int32_t FBitmapHeight = 0;
    int32_t FZoomedWidth = 0;
    int32_t FZoomedHeight = 0;
    int32_t FExtentWidth = 0;
    int32_t FExtentHeight = 0;
    int32_t FOffsetX = 0;
    int32_t FOffsetY = 0;
    int32_t FOriginX = 0;
    int32_t FOriginY = 0;
    int32_t FVisibleBitmapWidth = 0;
    int32_t FVisibleBitmapHeight = 0;
    int32_t FVisibleClientWidth = 0;
    int32_t FVisibleClientHeight = 0;
    TVLZoomTables FTables;
    int32_t FLastBitmapWidth = -1;
    int32_t FLastBitmapHeight = -1;
    int32_t FLastAreaWidth = -1;
    int32_t FLastAreaHeight = -1;
    int32_t FUpdateDisabled = 0;
    bool FUpdating = false;
    bool FNestedUpdate = false;
    bool FInvalidateOnUpdate = true;
    bool FCenter = true;
    bool FAutoFit = false;
    bool FAutoStretch = false;
    bool FAutoShrink = false;
    TVLBackgroundStyle FBackgroundStyle = vlbsSolid;
    TResampleFilter FZoomFilter = rfNone;
    int32_t FFilterDelay = 0;
    int32_t FAnimationPause = 0;
    int32_t FPaintLock = 0;
    bool FRecompose = true;
    bool FFullRedraw = true;
    std::unique_ptr<TVLBitmap> FBackBuffer;
    // The back buffer was composed with the zoom filter held back.
    bool FComposedDelayed = false;
    // Layer 0 zoomed whole by its filter, kept until the next Update or a change of size, filter
    // or alpha use; scrolls and repaints draw from it.
    struct TZoomedPicture {
        std::unique_ptr<TVLBitmap> Pixels;
        const TVLBitmap* Source = nullptr;
        int32_t SourceWidth = 0, SourceHeight = 0, Width = 0, Height = 0;
        TResampleFilter Filter = rfNone;
        bool Alpha = false;
    } FZoomed;
    struct {
        BITMAPINFOHEADER Header;
        TRGBQuad Colors[2];
    } FDibHeader;
    HDRAWDIB FDrawDib = nullptr;
    bool FDrawVersion = false;
    String FHintText;
    String FHintSizingText;
    int32_t FHintX = 0;
    int32_t FHintY = 0;
    HWND FLastCopyWindow = nullptr;

    TScrollStyle FScrollBars = ssBoth;
    bool FFlatScrollBars = false;
    bool FHBarShown = false;
    bool FVBarShown = false;
    double FHUnit = 1.0;
    double FVUnit = 1.0;
    TVLScrollBarParams FHScrollBarParams;
    TVLScrollBarParams FVScrollBarParams;
    TVLMouseWheelParams FMouseWheelParams;
    TTimer* FSmoothTimer = nullptr;
    int32_t FSmoothTargetX = 0;
    int32_t FSmoothTargetY = 0;


    // Selection helpers and state (ViewSelection.cpp).
    int32_t SelToBitmapX(int32_t X);
    int32_t SelToBitmapY(int32_t Y);
    int32_t PolygonClientX(int32_t X);
    int32_t PolygonClientY(int32_t Y);
    void ShowSelectionPolygon(bool Repaint);
    void HideSelectionPolygon(bool Repaint);
    void TranslatePolygon(int32_t DX, int32_t DY, bool Cut);
    void RepaintSelection();
    bool GestureInProgress() const;
    void DrawDashes(TCanvas& Canvas);
    void DrawGrips(TCanvas& Canvas);
    void DrawMaskOutline(TCanvas& Canvas);
    void TickCountdowns();
    void EnsureAntsTimer();
    void SyncMaskToBitmap();
    void DrawSelectionMarks(TVLBitmap& Dest);
    void DrawRubberBand();
    // Inside a mouse handler the events other than OnSelectionChange see the program's own
    // SelectionBase (Exchange).
    void FireSelectionEvent(const TNotifyEvent& Event, bool Exchange = true);
    struct THandlerBase;
    TVLSelectionBase FHandlerBase = vlsbClientArea;
    int32_t FHandlerDepth = 0;
    TVLSelectionPolygon FPolygon;
    TVLMask FMask;
    std::vector<std::unique_ptr<TMemoryStream>> FSavedSelections;
    TVLSelectionOptions FSelectionOptions =
        vlsoAnimated | vlsoSizeable | vlsoMoveable | vlsoCanScroll;
    double FSelectionRatio = -1;
    bool FSelected = false;
    bool FPolygonInProgress = false;
    bool FLassoInProgress = false;
    bool FRectInProgress = false;
    bool FCircleInProgress = false;
    TVLGrip FActiveGrip = TVLGrip::vlNone;
    int32_t FMoveState = -1;
    bool FRectMovedAsPolygon = false;
    int32_t FOutlinePhase = 0;
    int32_t FPointCountAtMouseDown = 0;
    int32_t FDragStartBox[4] = {};
    bool FAnimatedSeen = false;
    bool FAutoScrolling = false;
    TTimer* FAntsTimer = nullptr;

    // Mouse gesture state (ViewMouse.cpp).
    void MouseMoveCaptured(TShiftState Shift, int32_t X, int32_t Y, int32_t RawX, int32_t RawY);
    void MouseMoveFree(TShiftState Shift, int32_t X, int32_t Y, int32_t RawX, int32_t RawY);
    bool MouseDownSelection(TShiftState Shift, int32_t X, int32_t Y);
    void MouseDownLayers(TShiftState Shift, int32_t X, int32_t Y);
    bool MouseUpSelection(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y,
                          int32_t CX, int32_t CY);
    void EndLayerGesture(int32_t CX, int32_t CY);
    void ClickZoom(TMouseButton Button, int32_t X, int32_t Y);
    void MoveLayerGesture(TShiftState Shift, int32_t RawX, int32_t RawY);
    void RotateLayerGesture(TShiftState Shift, int32_t RawX, int32_t RawY);
    void ClampToLayer(int32_t& X, int32_t& Y);
    void SaveLayerUndo(TVLUndoSource Source);
    void SetGripCursor(TVLGrip Grip);
    bool ImageLargerThanArea();
    TVLMouseInteract FMouseInteract = 0;
    TPoint FDownPoint, FDownPointRaw, FDownPointInImage, FLastPoint, FLastPointRaw, FCurrentPoint,
        FDownView;
    TResampleFilter FSavedZoomFilter = rfNone;
    int32_t FMovingLayer = -1;
    int32_t FRotatingLayer = -1;
    int32_t FCentreLayer = -1;
    TVLGrip FLayerGrip = TVLGrip::vlNone;
    bool FLayerMoved = false;
    bool FLayerUndoSaved = false;
    TRect FDownLayerBox;
    double FRotationAngle = 0;
    // The button that started the running gesture.
    TMouseButton FGestureButton = mbLeft;
    bool FGestureActive = false;

    // Cursors and links (ViewInput.cpp).
    void NavigatorChanging(TObject* Sender);
    TCursor FOwnCursor = 1785;
    TCursor FCurrentCursor = 1785;
    bool FCursorPending = true;
    TVistrelView* FNavigator = nullptr;
    bool FNavigatorGuard = false;
    std::vector<std::unique_ptr<TObject>> FOwnedObjects;

    TVLProgressEvent FOnProgress;
    TNotifyEvent FOnFinishWork;
    // Owned through the component list.
    TVistrelIO* FIO = nullptr;
};

// The view unit's start-up and shut-down, and their registration at the view unit's place in
// the library's start-up sequence; the registration also registers the view's canvas unit.
// The view's cursors, ids 1778 to 1814, registered with the screen on the first call; ids 1797 to
// 1810 have no shape and show the default cursor.
void RegisterViewCursors();

void InitializeVistrelViewUnit();
void FinalizeVistrelViewUnit();
void RegisterVistrelViewUnit();
