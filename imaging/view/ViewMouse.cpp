// Mouse interaction of the single-image view: click zoom, drag scroll, the selection gestures,
// moving, resizing and rotating layers, automatic scrolling toward the mouse and the hints.
#include "imaging/view/ViewMouse.h"

#include "imaging/view/VistrelView.h"
#include "imaging/view/ViewGeometry.h"
#include "imaging/core/VLHelpers.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/System.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <algorithm>
#include <cstdio>

TVLMouseInteract NormalizeMouseInteract(TVLMouseInteract Current, TVLMouseInteract Value) {
    struct TRule {
        TVLMouseInteract Member, Keep;
    };
    constexpr TVLMouseInteract layers = miMoveLayers | miResizeLayers | miRotateLayers;
    static constexpr TRule added[] = {
        {miScroll, miZoom | miScroll | miMovingScroll},
        {miSelect, miZoom | miSelect | miMovingScroll},
        {miSelectPolygon, miSelectPolygon | miMovingScroll},
        {miSelectCircle, miZoom | miSelectCircle | miMovingScroll},
        {miSelectLasso, miZoom | miSelectLasso | miMovingScroll},
        {miSelectZoom, miZoom | miSelectZoom | miMovingScroll},
        {miZoom, miZoom | miScroll | miSelect | miSelectCircle | miSelectZoom | miSelectLasso |
                     miMovingScroll},
        {miSelectMagicWand, miSelectMagicWand | miMovingScroll},
    };
    const TVLMouseInteract fresh = Value & ~Current;
    for (const TRule& r : added)
        if ((fresh & r.Member) != 0) return Value & r.Keep;
    if ((Value & miRotateLayers) != 0) return Value & (miMoveLayers | miRotateLayers | miMovingScroll);
    if ((Value & miMoveLayers) != 0) {
        Value &= layers | miMovingScroll;
        if ((Value & miResizeLayers) != 0) Value &= ~miRotateLayers;
        return Value;
    }
    if ((Value & miResizeLayers) != 0) return Value & (miMoveLayers | miResizeLayers | miMovingScroll);
    return Value;
}

namespace {

constexpr TVLMouseInteract SelectionMembers =
    miSelect | miSelectPolygon | miSelectCircle | miSelectMagicWand | miSelectLasso;

String Text(const std::string& S) {
    return StrFromUtf8(S);
}

} // namespace

// Client pixels inside a handler; the program's SelectionBase is kept for its events and put
// back on every way out.
struct TVistrelView::THandlerBase {
    TVistrelView& View;
    TVLSelectionBase Outer;
    explicit THandlerBase(TVistrelView& V) : View(V), Outer(V.FHandlerBase) {
        View.FHandlerBase = View.SelectionBase;
        View.SelectionBase = vlsbClientArea;
        ++View.FHandlerDepth;
    }
    ~THandlerBase() {
        View.SelectionBase = View.FHandlerBase;
        View.FHandlerBase = Outer;
        --View.FHandlerDepth;
    }
};

void TVistrelView::SetMouseInteract(TVLMouseInteract Value) {
    if (Value == FMouseInteract) return;
    if (FPolygonInProgress && (FMouseInteract & miSelectPolygon) != 0) {
        FPolygon.RemoveLastPoint();
        FMask.Clear();
        EndSelect();
        FPolygonInProgress = false;
        Invalidate();
    }
    Value = NormalizeMouseInteract(FMouseInteract, Value);
    if ((Value & miRotateLayers) == 0)
        ApplyLayersRotation(-1);
    else if (LayersCropOnRotate)
        CropLayersToAlpha(-1);
    FMouseInteract = Value;
    InteractMoveLayers = (Value & miMoveLayers) != 0;
    InteractResizeLayers = (Value & miResizeLayers) != 0;
    InteractRotateLayers = (Value & miRotateLayers) != 0;
}

void TVistrelView::OffsetDragPoints(int32_t DX, int32_t DY) {
    FCurrentPoint.X -= DX;
    FCurrentPoint.Y -= DY;
    FLastPoint.X -= DX;
    FLastPoint.Y -= DY;
    FLastPointRaw.X -= DX;
    FLastPointRaw.Y -= DY;
}

void TVistrelView::ClampToLayer(int32_t& X, int32_t& Y) {
    const TRect& r = GetCurrentLayer()->ClientRect;
    X = std::clamp(X, r.Left, std::max(r.Left, r.Right));
    Y = std::clamp(Y, r.Top, std::max(r.Top, r.Bottom));
}

bool TVistrelView::ImageLargerThanArea() {
    return FZoomedWidth > ClientAreaWidth() || FZoomedHeight > ClientAreaHeight();
}

bool TVistrelView::ScrollTowardMouse() {
    struct TFlag {
        bool& F;
        explicit TFlag(bool& B) : F(B) { F = true; }
        ~TFlag() { F = false; }
    } flag(FAutoScrolling);
    bool scrolled = false;
    for (;;) {
        int32_t x = 0, y = 0;
        GetCursorPos(x, y);
        ScreenToClient(x, y);
        const int32_t left = FOffsetX, right = FOffsetX + FExtentWidth - 1;
        const int32_t top = FOffsetY, bottom = FOffsetY + FExtentHeight - 1;
        const int32_t dx = x < left ? x - left : (x > right ? x - right : 0);
        const int32_t dy = y < top ? y - top : (y > bottom ? y - bottom : 0);
        if (dx == 0 && dy == 0) break;
        const int32_t oldX = FViewX, oldY = FViewY;
        SetViewXY(FViewX + dx, FViewY + dy);
        if (FViewX == oldX && FViewY == oldY) break;
        const int32_t cx = FViewX - oldX, cy = FViewY - oldY;
        FDownPoint.X -= cx;
        FDownPoint.Y -= cy;
        FDownPointInImage.X -= cx;
        FDownPointInImage.Y -= cy;
        OffsetDragPoints(cx, cy);
        scrolled = true;
    }
    return scrolled;
}

// ---- Mouse down ----------------------------------------------------------------------------

void TVistrelView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TVLView::MouseDown(Button, Shift, X, Y);
    TForm* form = GetParentForm(this);
    if (form != nullptr && form->Visible() && CanFocus()) SetFocus();
    FSavedZoomFilter = FZoomFilter;
    if (Button == mbRight && (Shift & ssLeft) != 0) return;
    FLayerMoved = false;
    const bool rightLayers =
        Button == mbRight && (FSelectionOptions & vlsoRightButtonSelectLayers) != 0;
    if (Button != mbLeft && (FMouseInteract & miZoom) == 0 && !rightLayers) return;
    FGestureActive = true;
    FGestureButton = Button;
    if ((FMouseInteract & miScroll) == 0 && DelayZoomFilter) FZoomFilter = rfNone;
    THandlerBase base(*this);
    FDownPointRaw = FLastPointRaw = TPoint{X, Y};
    FDownPointInImage = TPoint{std::clamp(X, FOffsetX, FOffsetX + std::max(FExtentWidth - 1, 0)),
                               std::clamp(Y, FOffsetY, FOffsetY + std::max(FExtentHeight - 1, 0))};
    const int32_t rawX = X, rawY = Y;
    ClampToLayer(X, Y);
    FDownPoint = FLastPoint = FCurrentPoint = TPoint{X, Y};
    FDownView = TPoint{FViewX, FViewY};
    FPointCountAtMouseDown = FPolygon.Count;
    // A gesture never inherits the layer state of an earlier one.
    FMovingLayer = FRotatingLayer = FCentreLayer = -1;
    FLayerGrip = TVLGrip::vlNone;
    bool handled = false;
    if (Button == mbLeft) handled = MouseDownSelection(Shift, rawX, rawY);
    if (!handled && (Button == mbLeft || rightLayers) &&
        (FMouseInteract & (miMoveLayers | miResizeLayers | miRotateLayers)) != 0)
        MouseDownLayers(Shift, rawX, rawY);
    if (Button == mbLeft && (FMouseInteract & miScroll) != 0 && ImageLargerThanArea())
        SetTempCursor(1782);
}

bool TVistrelView::MouseDownSelection(TShiftState Shift, int32_t RawX, int32_t RawY) {
    int32_t x = FDownPoint.X, y = FDownPoint.Y;
    const bool addShift = (Shift & ssShift) != 0 && ShiftAddsSelection;
    if ((FMouseInteract & (miSelectPolygon | miSelectLasso)) != 0) {
        ApplyLayersRotation(-1);
        FireSelectionEvent(OnBeforeSelectionChange);
        FMoveState = SelectionMoveTest(x, y, Shift);
        if (FMoveState == -1) {
            if (((Shift & ssAlt) != 0 || ConstrainAlways) && FPolygonInProgress && FPolygon.Count > 0) {
                const TPoint& last = FPolygon.Points[FPolygon.Count - 1];
                SnapTo45Degrees(PolygonClientX(last.X), PolygonClientY(last.Y), x, y);
            }
            if (!FPolygonInProgress) {
                if (addShift)
                    StartNewPolygon();
                else
                    ClearSelection();
            }
            AddSelectionPointAt(x, y);
            FPolygonInProgress = true;
            FLassoInProgress = (FMouseInteract & miSelectLasso) != 0;
            FCurrentPoint = TPoint{x, y};
            FireSelectionEvent(OnSelectionChanging);
        }
        return true;
    }
    if ((FMouseInteract & miSelect) != 0) {
        ApplyLayersRotation(-1);
        FireSelectionEvent(OnBeforeSelectionChange);
        FActiveGrip = SelectionGripUnderMouse(RawX, RawY, Shift);
        if (FActiveGrip == TVLGrip::vlNone) FMoveState = SelectionMoveTest(x, y, Shift);
        if (FActiveGrip == TVLGrip::vlNone && FMoveState == -1) {
            FRectInProgress = true;
            if (FSelectionRatio == 0) DragRectSelection(x, y, Shift);
            FireSelectionEvent(OnSelectionChanging);
        } else if (FActiveGrip != TVLGrip::vlNone) {
            FDragStartBox[0] = FPolygon.X1;
            FDragStartBox[1] = FPolygon.Y1;
            FDragStartBox[2] = FPolygon.X2;
            FDragStartBox[3] = FPolygon.Y2;
        }
        return true;
    }
    if ((FMouseInteract & miSelectZoom) != 0) {
        FRectInProgress = true;
        FireSelectionEvent(OnSelectionChanging);
        PushSelection();
        return true;
    }
    if ((FMouseInteract & miSelectCircle) != 0) {
        ApplyLayersRotation(-1);
        FireSelectionEvent(OnBeforeSelectionChange);
        FMoveState = SelectionMoveTest(x, y, Shift);
        if (FMoveState == -1) {
            FCircleInProgress = true;
            ShowSelectionPolygon(false);
            if (FSelectionRatio == 0) DragCircleSelection(x, y, Shift);
            FireSelectionEvent(OnSelectionChanging);
        }
        return true;
    }
    if ((FMouseInteract & miSelectMagicWand) != 0) {
        ApplyLayersRotation(-1);
        FireSelectionEvent(OnBeforeSelectionChange);
        FMoveState = SelectionMoveTest(x, y, Shift);
        return true;
    }
    return false;
}

void TVistrelView::MouseDownLayers(TShiftState, int32_t X, int32_t Y) {
    FLayerUndoSaved = false;
    TVLLayer& current = *GetCurrentLayer();
    if ((FMouseInteract & miResizeLayers) != 0) {
        const TVLGrip g = GetLayerGripAt(X, Y);
        if (g != TVLGrip::vlRotationCenter) FLayerGrip = g;
    }
    if (FLayerGrip != TVLGrip::vlNone) {
        ApplyLayersRotation(-1);
        FDownLayerBox = GetCurrentLayer()->ClientRect;
        return;
    }
    if ((FMouseInteract & (miMoveLayers | miRotateLayers)) == 0) return;
    const bool rotate = (FMouseInteract & miRotateLayers) != 0;
    if (rotate && GetLayerGripAt(X, Y) == TVLGrip::vlRotationCenter) {
        FCentreLayer = FCurrentLayer;
    } else if (rotate && !IsPointInLayer(X, Y, FCurrentLayer)) {
        FRotatingLayer = FCurrentLayer;
        FRotationAngle = current.Rotate();
    } else {
        const int32_t hit = FindLayerAt(X, Y, true);
        if (hit < 0) return;
        SetCurrentLayer(hit);
        FMovingLayer = FCurrentLayer;
        DoLayerNotify(FCurrentLayer, vllSelected);
        if (!GetCurrentLayer()->Locked) SetTempCursor(1790);
    }
}

// ---- Mouse move ----------------------------------------------------------------------------

void TVistrelView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    TVLView::MouseMove(Shift, X, Y);
    THandlerBase base(*this);
    const int32_t rawX = X, rawY = Y;
    ClampToLayer(X, Y);
    const bool captured =
        FGestureActive && (MouseCapture() || (Shift & (ssLeft | ssRight | ssMiddle)) != 0);
    if (captured)
        MouseMoveCaptured(Shift, X, Y, rawX, rawY);
    else
        MouseMoveFree(Shift, X, Y, rawX, rawY);
    if ((FMouseInteract & miMovingScroll) != 0 && !captured &&
        (rawX != FLastPointRaw.X || rawY != FLastPointRaw.Y)) {
        int32_t mx = 0, my = 0;
        GetMaxViewXY(mx, my);
        const int32_t w = std::max(ClientAreaWidth(), 1), h = std::max(ClientAreaHeight(), 1);
        const double fx = static_cast<double>(std::clamp(rawX, 0, w - 1)) / w;
        const double fy = static_cast<double>(std::clamp(rawY, 0, h - 1)) / h;
        SmoothScrollTo(static_cast<int32_t>(Trunc((fx - 0.02) * 1.05 * mx)),
                       static_cast<int32_t>(Trunc((fy - 0.02) * 1.05 * my)));
    }
    TVLLayer& layer = *GetCurrentLayer();
    if (!FMask.IsEmpty() && FMask.GetPixel(layer.ClientToLayerX(X), layer.ClientToLayerY(Y)) != 0)
        FireSelectionEvent(OnMouseInSel);
    if (!(FPolygonInProgress && !FLassoInProgress && !captured)) FCurrentPoint = TPoint{X, Y};
    FLastPoint = TPoint{X, Y};
    FLastPointRaw = TPoint{rawX, rawY};
}

void TVistrelView::MouseMoveCaptured(TShiftState Shift, int32_t X, int32_t Y, int32_t RawX,
                                     int32_t RawY) {
    const bool alt = (Shift & ssAlt) != 0;
    if ((FMouseInteract & miScroll) != 0 && FGestureButton == mbLeft) {
        SetViewXY(FDownView.X - static_cast<int32_t>(Trunc((RawX - FDownPointRaw.X) * DragScrollFactor)),
                  FDownView.Y - static_cast<int32_t>(Trunc((RawY - FDownPointRaw.Y) * DragScrollFactor)));
    } else if (FActiveGrip != TVLGrip::vlNone) {
        ScrollTowardMouse();
        FActiveGrip = ResizeSelectionByGrip(FActiveGrip, X, Y,
                                            alt || ConstrainAlways || FSelectionRatio > 0);
        FireSelectionEvent(OnSelectionChanging);
    } else if (FMoveState >= 0) {
        if ((FSelectionOptions & vlsoCanScroll) != 0) ScrollTowardMouse();
        TVLLayer& layer = *GetCurrentLayer();
        const int32_t dx = layer.ClientToLayerX(X) - layer.ClientToLayerX(FLastPoint.X);
        const int32_t dy = layer.ClientToLayerY(Y) - layer.ClientToLayerY(FLastPoint.Y);
        FMoveState = MoveSelectionBy(FMoveState, dx, dy, (FSelectionOptions & vlsoCutBorders) != 0);
        FireSelectionEvent(OnSelectionChanging);
    } else if (FRectInProgress) {
        DragRectSelection(X, Y, Shift);
    } else if (FPolygonInProgress) {
        ScrollTowardMouse();
        Paint();
        AddSelectionPointAt(X, Y);
        DrawSelectionPolygon(this);
        FireSelectionEvent(OnSelectionChanging);
    } else if (FCircleInProgress) {
        DragCircleSelection(X, Y, Shift);
    } else if (FMovingLayer >= 0) {
        MoveLayerGesture(Shift, RawX, RawY);
    } else if (FCentreLayer >= 0) {
        TVLLayer& l = *GetLayer(FCentreLayer);
        TVLBitmap& b = *l.Bitmap();
        if (b.GetWidth() > 0 && b.GetHeight() > 0) {
            l.RotateCenterX = static_cast<double>(l.ClientToLayerX(RawX)) / b.GetWidth();
            l.RotateCenterY = static_cast<double>(l.ClientToLayerY(RawY)) / b.GetHeight();
        }
        SetInteractionHint(Text("X=" + std::to_string(Trunc(l.GetWidth() * l.RotateCenterX)) +
                                " Y=" + std::to_string(Trunc(l.GetHeight() * l.RotateCenterY))),
                           RawX, RawY, u"X=000 Y=000");
        Update();
    } else if (FRotatingLayer >= 0) {
        RotateLayerGesture(Shift, RawX, RawY);
    } else if (FLayerGrip != TVLGrip::vlNone && !GetCurrentLayer()->Locked) {
        SaveLayerUndo(vluLayer);
        ScrollTowardMouse();
        ResizeLayerByGrip(RawX, RawY, alt || ConstrainAlways);
        TVLLayer& l = *GetCurrentLayer();
        SetInteractionHint(Text(std::to_string(l.GetWidth()) + " x " + std::to_string(l.GetHeight())),
                           RawX, RawY, u"0000 x 0000");
        Update();
        DoLayerNotify(FCurrentLayer, vllResizing);
    }
}

void TVistrelView::SetGripCursor(TVLGrip Grip) {
    switch (Grip) {
    case TVLGrip::vlTopLeft:
    case TVLGrip::vlBottomRight:
        SetTempCursor(1786);
        break;
    case TVLGrip::vlTopRight:
    case TVLGrip::vlBottomLeft:
        SetTempCursor(1788);
        break;
    case TVLGrip::vlLeftSide:
    case TVLGrip::vlRightSide:
        SetTempCursor(1789);
        break;
    case TVLGrip::vlTopSide:
    case TVLGrip::vlBottomSide:
        SetTempCursor(1787);
        break;
    default:
        break;
    }
}

void TVistrelView::MouseMoveFree(TShiftState Shift, int32_t X, int32_t Y, int32_t RawX, int32_t RawY) {
    if (FPolygonInProgress && !FLassoInProgress) {
        DrawRubberBand();
        if (((Shift & ssAlt) != 0 || ConstrainAlways) && FPolygon.Count > 0) {
            const TPoint& last = FPolygon.Points[FPolygon.Count - 1];
            SnapTo45Degrees(PolygonClientX(last.X), PolygonClientY(last.Y), X, Y);
        }
        FCurrentPoint = TPoint{X, Y};
        DrawRubberBand();
        FireSelectionEvent(OnSelectionChanging);
        return;
    }
    if ((FMouseInteract & SelectionMembers) != 0) {
        const TVLGrip g = SelectionGripUnderMouse(RawX, RawY, Shift);
        if (OnMouseInResizingGrip) {
            std::swap(SelectionBase, FHandlerBase);
            OnMouseInResizingGrip(this, g);
            std::swap(SelectionBase, FHandlerBase);
        }
        if (g != TVLGrip::vlNone)
            SetGripCursor(g);
        else if (SelectionMoveTest(X, Y, Shift) == 0)
            SetTempCursor(1790);
        else if ((Shift & ssShift) != 0 && ShiftAddsSelection && FOwnCursor == 1785)
            SetTempCursor(1791);
        else if ((Shift & ssShift) != 0 && ShiftAddsSelection && FOwnCursor == 1793)
            SetTempCursor(1794);
        else
            RestoreCursor();
    } else if ((FMouseInteract & miRotateLayers) != 0) {
        if (IsPointInLayer(RawX, RawY, FCurrentLayer)) {
            RestoreCursor();
            return;
        }
        TVLLayer& l = *GetCurrentLayer();
        const int32_t cx = l.LayerToClientX(static_cast<int32_t>(Trunc(l.Bitmap()->GetWidth() * l.RotateCenterX)));
        const int32_t cy = l.LayerToClientY(static_cast<int32_t>(Trunc(l.Bitmap()->GetHeight() * l.RotateCenterY)));
        if (RawX < cx && RawY < cy) SetTempCursor(1814);
        if (RawX < cx && RawY > cy) SetTempCursor(1811);
        if (RawX > cx && RawY < cy) SetTempCursor(1812);
        if (RawX > cx && RawY > cy) SetTempCursor(1813);
    } else if ((FMouseInteract & (miResizeLayers | miMoveLayers)) != 0) {
        TVLGrip g = TVLGrip::vlNone;
        if ((FMouseInteract & miResizeLayers) != 0 && !GetCurrentLayer()->Locked)
            g = GetLayerGripAt(RawX, RawY);
        if (g != TVLGrip::vlNone && g != TVLGrip::vlRotationCenter) {
            SetGripCursor(g);
            return;
        }
        const int32_t hit = FindLayerAt(RawX, RawY, true);
        if (hit >= 0 && !GetLayer(hit)->Locked && (FMouseInteract & miMoveLayers) != 0)
            SetTempCursor(1790);
        else
            RestoreCursor();
    }
}

// ---- Layer gestures ------------------------------------------------------------------------

void TVistrelView::SaveLayerUndo(TVLUndoSource Source) {
    if (FLayerUndoSaved || !LayersAutoUndo) return;
    GetProc()->SaveUndo(Source);
    FLayerUndoSaved = true;
}

void TVistrelView::MoveLayerGesture(TShiftState, int32_t RawX, int32_t RawY) {
    TVLLayer& l = *GetLayer(FMovingLayer);
    if (l.Locked) return;
    SaveLayerUndo(vluLayer);
    ScrollTowardMouse();
    const int32_t dx = ClientToBitmapX(RawX) - ClientToBitmapX(FLastPointRaw.X);
    const int32_t dy = ClientToBitmapY(RawY) - ClientToBitmapY(FLastPointRaw.Y);
    l.PosX += dx;
    l.PosY += dy;
    FLayerMoved = FLayerMoved || dx != 0 || dy != 0;
    SetInteractionHint(Text("X=" + std::to_string(l.PosX) + " Y=" + std::to_string(l.PosY)), RawX,
                       RawY, u"X=000 Y=000");
    Update();
    DoLayerNotify(FCurrentLayer, vllMoving);
}

void TVistrelView::RotateLayerGesture(TShiftState Shift, int32_t RawX, int32_t RawY) {
    TVLLayer& l = *GetLayer(FRotatingLayer);
    if (l.Locked) return;
    SaveLayerUndo(vluFullLayer);
    double a = (ClientToBitmapX(RawX) - ClientToBitmapX(FLastPointRaw.X)) / 4.0;
    double b = (ClientToBitmapY(RawY) - ClientToBitmapY(FLastPointRaw.Y)) / 4.0;
    const int32_t cx = l.LayerToClientX(static_cast<int32_t>(Trunc(l.Bitmap()->GetWidth() * l.RotateCenterX)));
    const int32_t cy = l.LayerToClientY(static_cast<int32_t>(Trunc(l.Bitmap()->GetHeight() * l.RotateCenterY)));
    if (RawX > cx) b = -b;
    if (RawY < cy) a = -a;
    FRotationAngle += a + b;
    double angle = FRotationAngle;
    if ((Shift & ssShift) != 0 && LayerRotationStep > 0)
        angle = static_cast<double>(Trunc(FRotationAngle / LayerRotationStep)) * LayerRotationStep;
    l.SetRotate(angle);
    char text[64];
    std::snprintf(text, sizeof(text), "%g", l.Rotate());
    SetInteractionHint(Text(text) + u"\u00B0", RawX, RawY, u"0000\u00B0");
    Update();
    DoLayerNotify(FCurrentLayer, vllRotating);
}

void TVistrelView::ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepRatio) {
    TVLLayer& l = *GetCurrentLayer();
    TVLBitmap& bmp = *l.Bitmap();
    int32_t w = l.GetWidth(), h = l.GetHeight();
    int32_t px = l.PosX, py = l.PosY;
    const double q = bmp.GetWidth() > 0 ? static_cast<double>(bmp.GetHeight()) / bmp.GetWidth() : 1;
    auto cx = [&](int32_t v) { return ClientToBitmapX(v); };
    auto cy = [&](int32_t v) { return ClientToBitmapY(v); };
    const TRect& box = FDownLayerBox;
    int32_t f = cx(X), g = cy(Y);
    TVLGrip grip = FLayerGrip;
    if (KeepRatio) {
        switch (grip) {
        case TVLGrip::vlTopRight:
            g = cy(static_cast<int32_t>(Trunc(q * (box.Right - X))) + box.Top);
            break;
        case TVLGrip::vlBottomLeft:
        case TVLGrip::vlLeftSide:
            g = cy(static_cast<int32_t>(Trunc(q * (box.Left - X))) + box.Bottom);
            grip = TVLGrip::vlBottomLeft;
            break;
        case TVLGrip::vlTopLeft:
        case TVLGrip::vlBottomRight:
        case TVLGrip::vlRightSide:
            g = cy(static_cast<int32_t>(Trunc(q * (X - box.Left))) + box.Top);
            if (grip == TVLGrip::vlRightSide) grip = TVLGrip::vlBottomRight;
            break;
        case TVLGrip::vlTopSide:
            f = cx(static_cast<int32_t>(Trunc((Y - box.Top) / q)) + box.Left);
            grip = TVLGrip::vlTopLeft;
            break;
        case TVLGrip::vlBottomSide:
            f = cx(static_cast<int32_t>(Trunc((Y - box.Top) / q)) + box.Left);
            grip = TVLGrip::vlBottomRight;
            break;
        default:
            break;
        }
    }
    switch (grip) {
    case TVLGrip::vlTopLeft:
        w = std::max(1, px + w - f);
        h = std::max(1, py + h - g);
        if (w > 1) px = f;
        if (h > 1) py = g;
        break;
    case TVLGrip::vlTopRight:
        w = std::max(1, f - px);
        h = std::max(1, py + h - g);
        if (h > 1) py = g;
        break;
    case TVLGrip::vlBottomRight:
        w = std::max(1, f - cx(box.Left));
        h = std::max(1, g - cy(box.Top));
        break;
    case TVLGrip::vlBottomLeft:
        w = std::max(1, px + w - f);
        h = std::max(1, g - cy(box.Top));
        if (w > 1) px = f;
        break;
    case TVLGrip::vlLeftSide:
        w = std::max(1, w + cx(FLastPointRaw.X) - f);
        if (w > 1) px += f - cx(FLastPointRaw.X);
        break;
    case TVLGrip::vlRightSide:
        w = std::max(1, f - cx(box.Left));
        break;
    case TVLGrip::vlTopSide:
        h = std::max(1, py + h - g);
        if (h > 1) py = g;
        break;
    case TVLGrip::vlBottomSide:
        h = std::max(1, h + g - cy(FLastPointRaw.Y));
        break;
    default:
        return;
    }
    l.OwnWidth = w;
    l.OwnHeight = h;
    l.PosX = px;
    l.PosY = py;
}

void TVistrelView::EndLayerGesture(int32_t CX, int32_t CY) {
    const bool moved = CX != FDownPoint.X || CY != FDownPoint.Y;
    if (FMovingLayer >= 0) {
        FMovingLayer = -1;
        RestoreCursor();
        if (FLayerMoved) DoLayerNotify(FCurrentLayer, vllMoved);
        Invalidate();
    }
    if (FRotatingLayer >= 0) {
        FRotatingLayer = -1;
        if (moved) DoLayerNotify(FCurrentLayer, vllRotated);
        Invalidate();
    }
    FCentreLayer = -1;
    if (FLayerGrip != TVLGrip::vlNone) {
        FLayerGrip = TVLGrip::vlNone;
        if (moved) DoLayerNotify(FCurrentLayer, vllResized);
        Update();
    }
}

// ---- Mouse up ------------------------------------------------------------------------------

void TVistrelView::ClickZoom(TMouseButton Button, int32_t X, int32_t Y) {
    double z;
    if (Button == mbLeft) {
        if ((FMouseInteract & miScroll) != 0) RestoreCursor();
        z = NextZoomIn(FZoomX);
        if (OnZoomIn) OnZoomIn(this, z);
    } else {
        z = NextZoomOut(FZoomX);
        if (OnZoomOut) OnZoomOut(this, z);
    }
    if (z != FZoomX || z != FZoomY) ZoomAt(X, Y, z, false);
}

bool TVistrelView::MouseUpSelection(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y,
                                    int32_t CX, int32_t CY) {
    const bool addShift = (Shift & ssShift) != 0 && ShiftAddsSelection;
    const bool click = CX == FDownPoint.X && CY == FDownPoint.Y;
    if (Button != mbLeft) return false;
    if ((FMouseInteract & miSelectZoom) != 0) {
        ZoomSelection(ZoomSelectUniform, true);
        FRectInProgress = false;
        PopSelection(true, 1);
        return false;
    }
    if ((FMouseInteract & miSelect) != 0) {
        if (!click || FActiveGrip != TVLGrip::vlNone || FMoveState >= 0) {
            if (FRectInProgress || FActiveGrip != TVLGrip::vlNone) {
                if (!addShift) FMask.Clear();
                EndSelect();
            }
            FRectInProgress = false;
            FActiveGrip = TVLGrip::vlNone;
            FMoveState = -1;
            Update();
        } else {
            ClearSelection();
        }
        return true;
    }
    if ((FMouseInteract & miSelectCircle) != 0) {
        if (click && FMoveState < 0 && FSelectionRatio != 0) {
            ClearSelection();
        } else {
            if (FCircleInProgress) {
                if (!addShift) FMask.Clear();
                EndSelect();
            }
            FCircleInProgress = false;
            FMoveState = -1;
            Update();
        }
        return true;
    }
    if ((FMouseInteract & miSelectPolygon) != 0 && (FMouseInteract & miSelectLasso) == 0) {
        const bool moved = FMoveState >= 0;
        FMoveState = -1;
        Update();
        return moved;
    }
    if ((FMouseInteract & miSelectMagicWand) != 0 && (FMouseInteract & miSelectLasso) == 0) {
        if (FMoveState < 0) {
            SetTempCursor(crHourGlass);
            MagicWandSelect(X, Y, addShift ? vlsmAdd : vlsmReplace);
            RestoreCursor();
        } else {
            FMoveState = -1;
        }
        Update();
        return true;
    }
    if ((FMouseInteract & miSelectLasso) != 0) {
        if (click && FMoveState < 0) {
            ClearSelection();
        } else {
            if (FLassoInProgress) {
                if (!addShift) FMask.Clear();
                EndSelect();
            }
            FLassoInProgress = FPolygonInProgress = false;
            FMoveState = -1;
            Update();
        }
        return true;
    }
    return false;
}

void TVistrelView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TVLView::MouseUp(Button, Shift, X, Y);
    FHintText.clear();
    // Only the button that started a gesture ends it.
    if (!FGestureActive || Button != FGestureButton) return;
    FGestureActive = false;
    int32_t cx = X, cy = Y;
    ClampToLayer(cx, cy);
    THandlerBase base(*this);
    bool changed = false;
    if ((FMouseInteract & miZoom) != 0 && Button != mbMiddle && X == FDownPointRaw.X &&
        Y == FDownPointRaw.Y && !IsEmpty()) {
        ClickZoom(Button, X, Y);
        FPolygonInProgress = false;
    } else if (Button == mbLeft && (FMouseInteract & miScroll) != 0 && ImageLargerThanArea()) {
        SetViewXY(FDownView.X - static_cast<int32_t>(Trunc((X - FDownPointRaw.X) * DragScrollFactor)),
                  FDownView.Y - static_cast<int32_t>(Trunc((Y - FDownPointRaw.Y) * DragScrollFactor)));
        RestoreCursor();
    } else {
        changed = MouseUpSelection(Button, Shift, X, Y, cx, cy);
    }
    if (Button == mbLeft && FRectMovedAsPolygon) {
        FMask.Clear();
        EndSelect();
        FRectMovedAsPolygon = false;
    }
    EndLayerGesture(cx, cy);
    if (Button == mbLeft) {
        FMoveState = -1;
        FActiveGrip = TVLGrip::vlNone;
        FRectInProgress = FCircleInProgress = FLassoInProgress = false;
        if (changed) FireSelectionEvent(OnSelectionChange, false);
    }
    if (FZoomFilter != FSavedZoomFilter) {
        FZoomFilter = FSavedZoomFilter;
        FRecompose = FFullRedraw = true;
        Invalidate();
    }
}
