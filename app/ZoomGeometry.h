// Zoom, fit, window sizing and panning of the main window as plain arithmetic: the window reads
// its view and screen into these records, calls a function and applies what comes back.
#pragma once

#include "platform/rtl/System.h"
#include "platform/rtl/Types.h"
#include "platform/ui/Controls.h"

#include <optional>

// What the geometry needs to know of the view: the picture's size, the view's client size, its
// scroll position (in scaled-picture pixels), its zoom in percent and the largest zoom it accepts.
struct TViewGeometry {
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    int32_t ViewWidth = 0;
    int32_t ViewHeight = 0;
    int32_t ViewX = 0;
    int32_t ViewY = 0;
    double Zoom = 100;
    double MaxZoom = 100;
};

// The picture's size at Zoom percent, each side truncated towards zero (the horizontal zoom
// serves both sides).
TSize GetScaledImageSize(int32_t ImageWidth, int32_t ImageHeight, double Zoom);
TSize GetScaledImageSize(const TViewGeometry& View);

// The zoom the view ends with when asked for Requested: values of 0 or less leave Current,
// values above Max are lowered to it.
double EffectiveZoom(double Requested, double Current, double Max);

// The zoom that fits a picture into AvailWidth x AvailHeight without enlarging it (the ratio is
// held in single precision); 100 when FitToWindow is off.
double FitZoomValue(bool FitToWindow, int32_t AvailWidth, int32_t AvailHeight, int32_t ImageWidth,
                    int32_t ImageHeight);

// Scroll positions that centre a picture smaller than the view, per direction; a direction in
// which the picture is larger keeps its position (no value).
struct TCenterOffsets {
    std::optional<int32_t> ViewX;
    std::optional<int32_t> ViewY;
};
TCenterOffsets CenterImageOffsets(const TViewGeometry& View);

// Clamps a wanted scroll position to the scaled picture. A picture that fits both ways gets the
// negative half-differences; otherwise each direction in which it is larger is clamped to
// 0 .. scaled size - view size and the other keeps its value.
void ClampViewOffset(const TViewGeometry& View, int32_t& X, int32_t& Y);

// The room around the picture: the window's frame, the title and status bars and the visible side
// panels, plus 4 pixels.
TSize WindowChrome(const TRect& WindowBounds, const TSize& ClientSize, int32_t StatusBarHeight,
                   int32_t TitleBarHeight, std::optional<int32_t> LeftPanelWidth,
                   std::optional<int32_t> RightPanelWidth);

// The work area automatic sizing may fill: the monitor's work area, ended on the right by a
// thumbnail strip visible on the same monitor (given as its left edge).
TRect AutoSizeWorkArea(const TRect& MonitorWorkArea, std::optional<int32_t> StripLeft);

// Automatic window size for a picture: the zoom to set and the window's new bounds.
struct TAutoSizeLayout {
    double Zoom = 100;
    TRect Bounds;
};
struct TAutoSizeInput {
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    TSize Chrome;
    TRect Work;
    TPoint Center; // the remembered window centre
    bool FitToWindow = false;
    double CurrentZoom = 100; // kept when the fitted zoom is refused
    double MaxZoom = 100;
    TSize MinSize{300, 300};
};
// The window takes the picture plus the chrome, at most the work area; a fitted picture shown
// smaller than that space shrinks the window to it; never below MinSize. It is placed around
// Center and, when it would stick out to the right or the bottom, jumps to the work area's left
// or top edge.
TAutoSizeLayout AutoSizeLayout(const TAutoSizeInput& In);

// The window's centre from its bounds (halves truncated towards zero). Take the bounds after a
// move or resize, not before it.
TPoint WindowCenter(const TRect& Bounds);

// One zoom step about client point (X, Y); (-1, -1), or a point outside the picture, zooms
// about the view's centre.
struct TZoomStepResult {
    double Zoom = 100;
    int32_t ViewX = 0;
    int32_t ViewY = 0;
};
// Zoom in: 1.2 times, except that a zoom above 75 and below 100 goes to exactly 100. Zoom out:
// 0.8 times, except that a zoom above 100 and below 125 goes to exactly 100. The new zoom is
// lowered to the view's largest; a step that then does not change the zoom, or a zoom out that
// would leave the picture less than a pixel on both sides, gives no value. Anchors are computed
// in 64 bits.
std::optional<TZoomStepResult> ZoomInStep(const TViewGeometry& View, int32_t X, int32_t Y);
std::optional<TZoomStepResult> ZoomOutStep(const TViewGeometry& View, int32_t X, int32_t Y);

// The message shown after a zoom step: the zoom truncated, then "%".
String ZoomText(double Zoom);

// Back to 100 %: the current scroll position clamped to the picture at 100 %.
TPoint OriginalSizeOffsets(const TViewGeometry& View);

// Dragging the picture: the grab point in scaled-picture pixels from a press at client (X, Y)...
TPoint DragOrigin(const TViewGeometry& View, int32_t X, int32_t Y);
// ...and the scroll position while the mouse is at (X, Y): each direction in which the scaled
// picture is larger than the view follows the mouse, clamped; the others keep their position.
TPoint DragOffsets(const TViewGeometry& View, const TPoint& Origin, int32_t X, int32_t Y);
// True when the picture can be dragged: it is wider or taller than the view once scaled.
bool CanDragImage(const TViewGeometry& View);

// Arrow keys: with no modifier, or with Shift among the held ones, Left, Right, Up and Down
// scroll by 10 pixels, with Shift by the view's width or height, only in directions in which the
// scaled picture is larger than the view. Handled is true for the four keys whether or not
// anything scrolled; no offsets for any other key or modifier.
struct TArrowKeyResult {
    bool Handled = false;
    int32_t ViewX = 0;
    int32_t ViewY = 0;
};
TArrowKeyResult ArrowKeyScroll(const TViewGeometry& View, uint16_t Key, TShiftState Shift);

// The Maximize button (and a double click on the title).
enum class TMaximizeAction {
    Normal,    // set the window state to normal; the hint becomes the maximize text
    SetBounds, // give the window Bounds; the hint stays
    Maximize   // set the window state to maximized; the hint becomes the restore text
};
struct TMaximizeInput {
    bool MaximizedByUs = false;
    bool WindowMaximized = false;
    TRect WindowBounds;
    TRect RestoreBounds;
    // The strip's width when it is visible on the window's monitor, with that monitor's work area.
    std::optional<int32_t> StripWidth;
    TRect Work;
};
struct TMaximizeResult {
    TMaximizeAction Action = TMaximizeAction::Normal;
    TRect Bounds;
    bool MaximizedByUs = false;
    TRect RestoreBounds;
};
TMaximizeResult MaximizeStep(const TMaximizeInput& In);
