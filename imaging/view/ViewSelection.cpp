// Selection of the single-image view: rectangles, ellipses, polygons and the magic wand, held as a
// polygon and as a mask of the current layer's size; moving, grips, the selection stream and its
// stack, and the marching dashes and outline with their animation timer.
#include "imaging/view/ViewSelection.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/proc/VLMagicWand.h"
#include "imaging/view/ViewInternal.h"
#include "imaging/view/VistrelView.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/Timer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

using imaging::detail::RoundInt;
// ---- The polygon record --------------------------------------------------------------------

void TVLSelectionPolygon::Clear() {
    Points.clear();
    Points.shrink_to_fit();
    Count = 0;
}

void TVLSelectionPolygon::Grow() {
    if (Count % 64 == 0) Points.reserve(static_cast<size_t>(Count) + 64);
}

void TVLSelectionPolygon::Add(int32_t X, int32_t Y) {
    Grow();
    Points.push_back(TPoint{X, Y});
    ++Count;
    if (Count == 2 && !IsSeparator(Points[0])) {
        X1 = std::min(Points[0].X, X);
        Y1 = std::min(Points[0].Y, Y);
        X2 = std::max(Points[0].X, X);
        Y2 = std::max(Points[0].Y, Y);
    } else if (Count > 2) {
        X1 = std::min(X1, X);
        Y1 = std::min(Y1, Y);
        X2 = std::max(X2, X);
        Y2 = std::max(Y2, Y);
    }
}

void TVLSelectionPolygon::AddSeparator() {
    if (Count == 0 || IsSeparator(Points[Count - 1])) return;
    Grow();
    Points.push_back(TPoint{SelectionSeparator, SelectionSeparator});
    ++Count;
}

void TVLSelectionPolygon::RemoveLastPolygon() {
    int32_t i = Count - 1;
    while (i >= 0 && !IsSeparator(Points[i]))
        --i;
    if (i < 0) return;
    Points.resize(i);
    Count = i;
    if (Count == 0)
        Clear();
    else
        SyncBox();
}

void TVLSelectionPolygon::RemoveLastPoint() {
    if (Count == 0) return;
    --Count;
    while (Count > 0 && IsSeparator(Points[Count - 1]))
        --Count;
    Points.resize(Count);
    SyncBox();
}

void TVLSelectionPolygon::SyncBox() {
    bool first = true;
    for (int32_t i = 0; i < Count; ++i) {
        const TPoint& p = Points[i];
        if (IsSeparator(p)) continue;
        if (first) {
            X1 = X2 = p.X;
            Y1 = Y2 = p.Y;
            first = false;
        }
        X1 = std::min(X1, p.X);
        Y1 = std::min(Y1, p.Y);
        X2 = std::max(X2, p.X);
        Y2 = std::max(Y2, p.Y);
    }
}

// ---- Dashes and the timer period -----------------------------------------------------------

namespace {

struct TDashTarget {
    uint8_t* const* Rows;
    int32_t Width, Height;
    int32_t* Counter;
    TColor Color1, Color2;
};

void PlotDash(int32_t X, int32_t Y, intptr_t Data) {
    auto& t = *reinterpret_cast<TDashTarget*>(Data);
    const TColor c = *t.Counter < 4 ? t.Color1 : t.Color2;
    *t.Counter = (*t.Counter + 1) % 8;
    if (X < 0 || Y < 0 || X >= t.Width || Y >= t.Height) return;
    uint8_t* p = t.Rows[Y] + static_cast<size_t>(X) * 4;
    p[0] = static_cast<uint8_t>(c >> 16);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c);
}

} // namespace

void PlotDashedLine(uint8_t* const* Rows, int32_t Width, int32_t Height, int32_t X1, int32_t Y1,
                    int32_t X2, int32_t Y2, int32_t& Counter, TColor Color1, TColor Color2) {
    TDashTarget target{Rows, Width, Height, &Counter, Color1, Color2};
    LineDDA(X1, Y1, X2, Y2, PlotDash, reinterpret_cast<intptr_t>(&target));
}

uint32_t AntsTimerPeriod(uint32_t Current, uint32_t Elapsed, int32_t LoadLimit) {
    if (LoadLimit >= 0) return Current;
    const uint64_t period =
        static_cast<uint64_t>(Elapsed) * 100 / static_cast<uint32_t>(-LoadLimit);
    return static_cast<uint32_t>(std::clamp<uint64_t>(period, 210, UINT32_MAX));
}

// ---- Coordinates ---------------------------------------------------------------------------

int32_t TVistrelView::SelToBitmapX(int32_t X) {
    return SelectionBase == vlsbClientArea ? GetCurrentLayer()->ClientToLayerX(X) : X;
}

int32_t TVistrelView::SelToBitmapY(int32_t Y) {
    return SelectionBase == vlsbClientArea ? GetCurrentLayer()->ClientToLayerY(Y) : Y;
}

int32_t TVistrelView::PolygonClientX(int32_t X) {
    return GetCurrentLayer()->LayerToClientX(X);
}

int32_t TVistrelView::PolygonClientY(int32_t Y) {
    return GetCurrentLayer()->LayerToClientY(Y);
}

// ---- Building selections -------------------------------------------------------------------

void TVistrelView::SyncMaskToBitmap() {
    const int32_t w = FBitmap->GetWidth(), h = FBitmap->GetHeight();
    if (FMask.GetWidth() == w && FMask.GetHeight() == h && FMask.GetBitsPerPixel() != 0) return;
    if (w <= 0 || h <= 0) {
        FMask.FreeBits();
        FMask.Clear();
        return;
    }
    if (FMask.GetBitsPerPixel() != 0 && !FMask.IsEmpty()) {
        FMask.Resize(w, h);
        FMask.SyncBoundingBox();
        FMask.SyncFull();
    } else {
        FMask.AllocateBits(w, h, SelectionMaskBits == 8 ? 8 : 1);
    }
}

void TVistrelView::SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TVLSelectMode Op,
                              bool Constrain, bool KeepSize) {
    if (X1 == X2 || Y1 == Y2) return;
    X1 = SelToBitmapX(X1);
    Y1 = SelToBitmapY(Y1);
    X2 = SelToBitmapX(X2);
    Y2 = SelToBitmapY(Y2);
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    SyncMaskToBitmap();
    FSelected = true;
    if (Op == vlsmAdd && FPolygon.Count > 0)
        FPolygon.AddSeparator();
    else
        FPolygon.Clear();
    if (Op == vlsmReplace) FMask.Clear();
    const double r = FSelectionRatio;
    if (Constrain && r == -1) {
        Y2 = Y1 + (X2 - X1);
    } else if (r > 0) {
        Y2 = Y1 + RoundInt((X2 - X1) * r);
        if (Y2 >= H)
            X2 = RoundInt((H - Y1 - 1 + X1 * r) / r);
        else if (Y2 < 0)
            X2 = RoundInt((X1 * r - Y1) / r);
    }
    if (KeepSize) {
        if (X1 < 0) X2 -= X1, X1 = 0;
        if (Y1 < 0) Y2 -= Y1, Y1 = 0;
        if (X2 >= W) X1 -= X2 - W + 1, X2 = W - 1;
        if (Y2 >= H) Y1 -= Y2 - H + 1, Y2 = H - 1;
    }
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    X1 = std::clamp(X1, 0, std::max(W - 1, 0));
    Y1 = std::clamp(Y1, 0, std::max(H - 1, 0));
    X2 = std::clamp(X2, 0, W);
    Y2 = std::clamp(Y2, 0, H);
    FPolygon.Add(X1, Y1);
    FPolygon.Add(X2, Y1);
    FPolygon.Add(X2, Y2);
    FPolygon.Add(X1, Y2);
    ShowSelectionPolygon(true);
}

void TVistrelView::Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TVLSelectMode Op) {
    SelectRect(X1, Y1, X2, Y2, Op, false, false);
    if (Op == vlsmReplace) FMask.Clear();
    EndSelect();
    RepaintSelection();
}

void TVistrelView::RepaintSelection() {
    FRecompose = FFullRedraw = true;
    Paint();
}

void TVistrelView::AddSelectionPointAt(int32_t X, int32_t Y) {
    X = std::clamp(SelToBitmapX(X), 0, FBitmap->GetWidth());
    Y = std::clamp(SelToBitmapY(Y), 0, FBitmap->GetHeight());
    FPolygon.Add(X, Y);
    FSelected = true;
    if (FPaintLock == 0) Paint();
    ShowSelectionPolygon(true);
}

void TVistrelView::AddSelPoint(int32_t X, int32_t Y) {
    AddSelectionPointAt(X, Y);
    RepaintSelection();
}

void TVistrelView::EndSelect() {
    SyncMaskToBitmap();
    FMask.FillPolygons(SelectionMaskValue, FPolygon.Data(), FPolygon.Count);
    if (FMask.IsEmpty()) {
        FSelected = false;
        FPolygon.Clear();
    }
}

void TVistrelView::StartNewPolygon() {
    FPolygon.AddSeparator();
}

void TVistrelView::ClearSelection() {
    if (FSelected) HideSelectionPolygon(true);
    FPolygon.Clear();
    FMask.Clear();
    FSelected = FPolygonInProgress = FLassoInProgress = FRectInProgress = FCircleInProgress = false;
    FActiveGrip = TVLGrip::vlNone;
    FMoveState = -1;
    RestoreCursor();
    Update();
}

void TVistrelView::ShowSelectionPolygon(bool Repaint) {
    FPolygon.Visible = true;
    if (Repaint) DrawSelectionPolygon(this);
}

void TVistrelView::HideSelectionPolygon(bool Repaint) {
    FPolygon.Visible = false;
    if (Repaint && FPaintLock == 0) Paint();
}

void TVistrelView::SetSelectionOptions(TVLSelectionOptions Value) {
    FSelectionOptions = Value;
    FPolygon.Animated = (Value & vlsoAnimated) != 0;
    FPolygon.Sizeable = (Value & vlsoSizeable) != 0;
    Update();
}

void TVistrelView::SetSelectionRatio(double Value) {
    FSelectionRatio = Value;
    if (Value != 0)
        FSelectionOptions |= vlsoSizeable;
    else
        FSelectionOptions &= static_cast<TVLSelectionOptions>(~vlsoSizeable);
    FPolygon.Sizeable = (FSelectionOptions & vlsoSizeable) != 0;
    Update();
}

// ---- Moving and grips ----------------------------------------------------------------------

void TVistrelView::MoveSelection(int32_t DX, int32_t DY) {
    MoveSelectionBy(0, DX, DY, (FSelectionOptions & vlsoCutBorders) != 0);
    EndSelect();
}

int32_t TVistrelView::MoveSelectionBy(int32_t State, int32_t DX, int32_t DY, bool Cut) {
    FRectMovedAsPolygon = IsRectanglePolygon(FPolygon.Data(), FPolygon.Count);
    if (FRectMovedAsPolygon)
        FMask.Clear();
    else
        FMask.Translate(DX, DY, Cut);
    if (DX == 0 && DY == 0) return State;
    TranslatePolygon(DX, DY, Cut);
    DrawSelectionPolygon(this);
    return State;
}

void TVistrelView::TranslatePolygon(int32_t DX, int32_t DY, bool Cut) {
    if (FPolygon.Count == 0) return;
    if (FPaintLock == 0) Paint();
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    TVLSelectionPolygon& p = FPolygon;
    auto reduce = [&] {
        if (p.X1 + DX < 0) DX = -p.X1;
        if (p.X2 + DX >= W) DX = W - p.X2;
        if (p.Y1 + DY < 0) DY = -p.Y1;
        if (p.Y2 + DY >= H) DY = H - p.Y2;
    };
    const bool beyond = p.X1 + DX >= W || p.Y1 + DY >= H || p.X2 + DX <= 0 || p.Y2 + DY <= 0;
    if (!Cut) {
        reduce();
        if (p.X1 + DX >= W || p.Y1 + DY >= H || p.X2 + DX <= 0 || p.Y2 + DY <= 0) return;
    } else if (beyond) {
        reduce();
    }
    p.X1 = std::clamp(p.X1 + DX, 0, W);
    p.X2 = std::clamp(p.X2 + DX, 0, W);
    p.Y1 = std::clamp(p.Y1 + DY, 0, H);
    p.Y2 = std::clamp(p.Y2 + DY, 0, H);
    for (int32_t i = 0; i < p.Count; ++i) {
        if (IsSeparator(p.Points[i])) continue;
        p.Points[i].X = std::clamp(p.Points[i].X + DX, 0, W);
        p.Points[i].Y = std::clamp(p.Points[i].Y + DY, 0, H);
    }
}

namespace {

TVLGrip FlipHorizontally(TVLGrip Grip) {
    switch (Grip) {
    case TVLGrip::vlTopLeft:
        return TVLGrip::vlTopRight;
    case TVLGrip::vlTopRight:
        return TVLGrip::vlTopLeft;
    case TVLGrip::vlBottomLeft:
        return TVLGrip::vlBottomRight;
    case TVLGrip::vlBottomRight:
        return TVLGrip::vlBottomLeft;
    case TVLGrip::vlLeftSide:
        return TVLGrip::vlRightSide;
    case TVLGrip::vlRightSide:
        return TVLGrip::vlLeftSide;
    default:
        return Grip;
    }
}

TVLGrip FlipVertically(TVLGrip Grip) {
    switch (Grip) {
    case TVLGrip::vlTopRight:
        return TVLGrip::vlBottomRight;
    case TVLGrip::vlBottomRight:
        return TVLGrip::vlTopRight;
    case TVLGrip::vlTopLeft:
        return TVLGrip::vlBottomLeft;
    case TVLGrip::vlBottomLeft:
        return TVLGrip::vlTopLeft;
    case TVLGrip::vlTopSide:
        return TVLGrip::vlBottomSide;
    case TVLGrip::vlBottomSide:
        return TVLGrip::vlTopSide;
    default:
        return Grip;
    }
}

bool MovesLeft(TVLGrip G) {
    return G == TVLGrip::vlTopLeft || G == TVLGrip::vlBottomLeft || G == TVLGrip::vlLeftSide;
}
bool MovesRight(TVLGrip G) {
    return G == TVLGrip::vlTopRight || G == TVLGrip::vlBottomRight || G == TVLGrip::vlRightSide;
}
bool MovesTop(TVLGrip G) {
    return G == TVLGrip::vlTopLeft || G == TVLGrip::vlTopRight || G == TVLGrip::vlTopSide;
}
bool MovesBottom(TVLGrip G) {
    return G == TVLGrip::vlBottomRight || G == TVLGrip::vlBottomLeft || G == TVLGrip::vlBottomSide;
}

} // namespace

TVLGrip TVistrelView::ResizeSelectionByGrip(TVLGrip Grip, int32_t X, int32_t Y, bool KeepRatio) {
    if (!IsRectanglePolygon(FPolygon.Data(), FPolygon.Count)) return Grip;
    X = SelToBitmapX(X);
    Y = SelToBitmapY(Y);
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    const int32_t* B = FDragStartBox;
    int32_t x1 = FPolygon.X1, y1 = FPolygon.Y1, x2 = FPolygon.X2, y2 = FPolygon.Y2;
    TVLGrip edges = Grip;
    double s = 1;
    if (KeepRatio) {
        s = FSelectionRatio > 0
                ? 1 / FSelectionRatio
                : static_cast<double>(B[2] - B[0] + 1) / std::max(B[3] - B[1] + 1, 1);
        if (Grip == TVLGrip::vlTopSide) {
            int32_t x = RoundInt(B[2] - (B[3] - Y) * s);
            while (x < 0 && Y < B[3])
                x = RoundInt(B[2] - (B[3] - ++Y) * s);
            X = x;
            edges = TVLGrip::vlTopLeft;
        } else if (Grip == TVLGrip::vlBottomSide) {
            int32_t x = RoundInt(B[0] + (Y - B[1]) * s);
            while (x > W && Y > B[1])
                x = RoundInt(B[0] + (--Y - B[1]) * s);
            X = x;
            edges = TVLGrip::vlBottomRight;
        } else if (Grip == TVLGrip::vlLeftSide) {
            edges = TVLGrip::vlTopLeft;
        } else if (Grip == TVLGrip::vlRightSide) {
            edges = TVLGrip::vlBottomRight;
        }
        switch (edges) {
        case TVLGrip::vlTopLeft:
            while ((Y = RoundInt(B[3] - (B[2] - X) / s)) < 0 && X < B[2])
                ++X;
            break;
        case TVLGrip::vlTopRight:
            while ((Y = RoundInt(B[3] - (X - B[0]) / s)) < 0 && X > B[0])
                --X;
            break;
        case TVLGrip::vlBottomRight:
            Y = RoundInt(B[1] + (X - B[0]) / s);
            break;
        case TVLGrip::vlBottomLeft:
            while ((Y = RoundInt(B[1] + (B[2] - X) / s)) > H && X < B[2])
                ++X;
            break;
        default:
            break;
        }
    }
    if (MovesLeft(edges)) x1 = X == x2 ? x2 + 1 : X;
    if (MovesRight(edges)) x2 = X + 1 == x1 ? x1 - 1 : X + 1;
    if (MovesTop(edges)) y1 = Y == y2 ? y2 + 1 : Y;
    if (MovesBottom(edges)) y2 = Y + 1 == y1 ? y1 - 1 : Y + 1;
    if (x2 < x1) Grip = FlipHorizontally(Grip);
    if (y2 < y1) Grip = FlipVertically(Grip);
    FPolygon.Clear();
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (KeepRatio) {
        if (y2 >= H)
            x2 = RoundInt(x1 + (H - 1 - y1) * s);
        else if (y1 < 0)
            x1 = RoundInt(x2 - y2 * s);
        else if (x2 >= W)
            y2 = RoundInt(y1 + (W - 1 - x1) / s);
        else if (x1 < 0)
            y1 = RoundInt(y2 - x2 / s);
    }
    x1 = std::clamp(x1, 0, W);
    x2 = std::clamp(x2, 0, W);
    y1 = std::clamp(y1, 0, H);
    y2 = std::clamp(y2, 0, H);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    FPolygon.Add(x1, y1);
    FPolygon.Add(x2, y1);
    FPolygon.Add(x2, y2);
    FPolygon.Add(x1, y2);
    ShowSelectionPolygon(true);
    return Grip;
}

TVLGrip TVistrelView::SelectionGripAt(int32_t X, int32_t Y) {
    if (!FPolygon.Visible || !FPolygon.Sizeable || FRectInProgress ||
        !IsRectanglePolygon(FPolygon.Data(), FPolygon.Count))
        return TVLGrip::vlNone;
    for (int32_t i = 0; i < FPolygon.Count; ++i) {
        const TPoint& p = FPolygon.Points[i];
        if (IsSeparator(p)) continue;
        if (std::abs(X - PolygonClientX(p.X)) <= SelectionGripSize &&
            std::abs(Y - PolygonClientY(p.Y)) <= SelectionGripSize)
            return static_cast<TVLGrip>(i + 1);
    }
    const int32_t L = PolygonClientX(FPolygon.X1), T = PolygonClientY(FPolygon.Y1);
    const int32_t R = PolygonClientX(FPolygon.X2), Bt = PolygonClientY(FPolygon.Y2);
    if (PointToSegmentDistance(X, Y, L, T, L, Bt) < 3) return TVLGrip::vlLeftSide;
    if (PointToSegmentDistance(X, Y, R, T, R, Bt) < 3) return TVLGrip::vlRightSide;
    if (PointToSegmentDistance(X, Y, L, T, R, T) < 3) return TVLGrip::vlTopSide;
    if (PointToSegmentDistance(X, Y, L, Bt, R, Bt) < 3) return TVLGrip::vlBottomSide;
    return TVLGrip::vlNone;
}

TVLGrip TVistrelView::SelectionGripUnderMouse(int32_t X, int32_t Y, TShiftState Shift) {
    return (Shift & ssShift) != 0 ? TVLGrip::vlNone : SelectionGripAt(X, Y);
}

int32_t TVistrelView::SelectionMoveTest(int32_t X, int32_t Y, TShiftState Shift) {
    if ((Shift & ssShift) != 0 || FMask.IsEmpty() || FRectInProgress || FCircleInProgress ||
        FPolygonInProgress)
        return -1;
    if (FMask.GetPixel(SelToBitmapX(X), SelToBitmapY(Y)) == 0) return -1;
    return (FSelectionOptions & vlsoMoveable) != 0 ? 0 : -1;
}

// ---- Shapes under the mouse ----------------------------------------------------------------

void TVistrelView::DragRectSelection(int32_t X, int32_t Y, TShiftState Shift) {
    ScrollTowardMouse();
    TPoint s = FDownPoint;
    TPoint e{X, Y};
    if (FSelectionRatio == 0) {
        const int32_t hw = RoundInt(SelectionFixedWidth * FZoomX / 100) / 2;
        const int32_t hh = RoundInt(SelectionFixedHeight * FZoomY / 100) / 2;
        s = TPoint{X - hw, Y - hh};
        e = TPoint{X + hw - 1, Y + hh - 1};
    }
    TVLSelectMode op = vlsmReplace;
    if ((Shift & ssShift) != 0 && ShiftAddsSelection) {
        // The shape of this gesture is replaced; the earlier ones stay.
        if (FPolygon.Count != FPointCountAtMouseDown) {
            if (FPointCountAtMouseDown == 0)
                FPolygon.Clear();
            else
                FPolygon.RemoveLastPolygon();
        }
        op = vlsmAdd;
    }
    const bool constrain = (Shift & ssAlt) != 0 || ConstrainAlways;
    SelectRect(s.X, s.Y, e.X, e.Y, op, constrain, (FSelectionOptions & vlsoSizeable) == 0);
    FireSelectionEvent(OnSelectionChanging);
}

void TVistrelView::DragCircleSelection(int32_t X, int32_t Y, TShiftState Shift) {
    ScrollTowardMouse();
    TPoint s = FDownPoint;
    TPoint e{X, Y};
    if (FSelectionRatio == 0) {
        const int32_t hw = RoundInt(SelectionFixedWidth * FZoomX / 100) / 2;
        const int32_t hh = RoundInt(SelectionFixedHeight * FZoomY / 100) / 2;
        s = TPoint{X, Y};
        e = TPoint{X + hw, Y + hh};
    }
    if ((Shift & ssShift) != 0 && ShiftAddsSelection) {
        if (FPolygon.Count != FPointCountAtMouseDown) {
            if (FPointCountAtMouseDown == 0)
                FPolygon.Clear();
            else
                FPolygon.RemoveLastPolygon();
        }
        FPolygon.AddSeparator();
    } else {
        FPolygon.Clear();
    }
    int32_t rx = std::abs(s.X - e.X), ry = std::abs(s.Y - e.Y);
    if (((Shift & ssAlt) != 0 || ConstrainAlways) && FSelectionRatio == -1) {
        rx = ry = std::max(rx, ry);
    } else if (FSelectionRatio > 0) {
        rx = std::max(rx, ry);
        ry = RoundInt(rx * FSelectionRatio);
    }
    const double ex = Trunc(rx * 100 / FZoomX), ey = Trunc(ry * 100 / FZoomY);
    const auto n =
        std::max<int32_t>(50, static_cast<int32_t>(Trunc(std::min(ex, ey) * 2 * std::numbers::pi)));
    const int32_t cx = SelToBitmapX(s.X), cy = SelToBitmapY(s.Y);
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    for (int32_t i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        FPolygon.Add(std::clamp(RoundInt(std::cos(a) * ex + cx), 0, W),
                     std::clamp(RoundInt(std::sin(a) * ey + cy), 0, H));
    }
    FSelected = true;
    if (FPaintLock == 0) Paint();
    DrawSelectionPolygon(this);
    FireSelectionEvent(OnSelectionChanging);
}

// ---- Magic wand ----------------------------------------------------------------------------

void TVistrelView::MagicWandSelect(int32_t X, int32_t Y, TVLSelectMode Op) {
    X = SelToBitmapX(X);
    Y = SelToBitmapY(Y);
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    // The width and the height themselves pass here; the kernels then find no pixel there.
    if (X < 0 || Y < 0 || X > W || Y > H) return;
    SyncMaskToBitmap();
    if (WandMode == vlwmOutline) {
        std::vector<TPoint> outline = MagicWandOutline(*FBitmap, X, Y, WandGrow, WandTolerance);
        if (!outline.empty()) {
            FSelected = true;
            if (Op == vlsmAdd && FPolygon.Count > 0) {
                FPolygon.AddSeparator();
            } else {
                FPolygon.Clear();
                FMask.Clear();
            }
            for (const TPoint& p : outline)
                FPolygon.Add(std::clamp(p.X, 0, W), std::clamp(p.Y, 0, H));
            if (Op == vlsmReplace) FMask.Clear();
            EndSelect();
            ShowSelectionPolygon(true);
        }
    } else {
        if (Op == vlsmReplace) {
            FPolygon.Clear();
            FMask.Clear();
        }
        if (WandMode == vlwmFill)
            MagicWandFill(*FBitmap, X, Y, WandGrow, WandTolerance, FMask, SelectionMaskValue);
        else
            MagicWandGlobal(*FBitmap, X, Y, WandTolerance, FMask, SelectionMaskValue);
        FSelected = !FMask.IsEmpty();
        ShowSelectionPolygon(true);
    }
    RepaintSelection();
}

// ---- The selection stream ------------------------------------------------------------------

namespace {

template <class T> void Put(TStream& S, T Value) {
    S.WriteBuffer(&Value, sizeof(Value));
}

// Reads what remains bounded by the stream's size, so that no count from the stream is trusted.
class TRecordReader {
public:
    explicit TRecordReader(TStream& S) : FStream(S), FLeft(S.GetSize() - S.GetPosition()) {}
    int64_t Left() const { return FLeft; }
    template <class T> bool Get(T& Value) { return Bytes(&Value, sizeof(Value)); }
    bool Bytes(void* Buffer, int64_t Count) {
        if (Count < 0 || Count > FLeft) return false;
        if (Count > 0 && FStream.Read(Buffer, static_cast<int32_t>(Count)) != Count) return false;
        FLeft -= Count;
        return true;
    }

private:
    TStream& FStream;
    int64_t FLeft;
};

struct TSelectionRecord {
    int32_t Width = 0, Height = 0, Bits = 0;
    std::vector<TPoint> Points;
    int32_t Box[4] = {};
    uint8_t Selected = 0;
    int32_t PosX = 0, PosY = 0;
    int32_t MaskBox[4] = {};
    uint8_t Full = 0;
    std::vector<uint8_t> Rows;
    int32_t RowLen = 0;
};

bool Within(int32_t Value, int32_t Low, int32_t High) {
    return Value >= Low && Value <= High;
}

// A selection only ever lies on the bitmap it was saved from (whose size the mask carries):
// points and the polygon box within 0..width, 0..height, the mask box on its pixels or empty;
// a separator never comes first nor twice in a row. A stream with a coordinate beyond these is
// damaged, and drawing it would overflow.
bool CoordinatesInside(const TSelectionRecord& R) {
    for (size_t i = 0; i < R.Points.size(); ++i) {
        const TPoint& p = R.Points[i];
        if (IsSeparator(p)) {
            if (i == 0 || IsSeparator(R.Points[i - 1])) return false;
        } else if (!Within(p.X, 0, R.Width) || !Within(p.Y, 0, R.Height)) {
            return false;
        }
    }
    if (!R.Points.empty() && !(Within(R.Box[0], 0, R.Width) && Within(R.Box[2], 0, R.Width) &&
                               Within(R.Box[1], 0, R.Height) && Within(R.Box[3], 0, R.Height)))
        return false;
    if (R.MaskBox[0] == TVLMask::MaxInt) return true;
    return Within(R.MaskBox[0], 0, R.Width - 1) && Within(R.MaskBox[2], 0, R.Width - 1) &&
           Within(R.MaskBox[1], 0, R.Height - 1) && Within(R.MaskBox[3], 0, R.Height - 1);
}

bool ReadSelectionRecord(TStream& Stream, TSelectionRecord& R) {
    TRecordReader in(Stream);
    int32_t n = 0;
    if (!in.Get(R.Width) || !in.Get(R.Height) || !in.Get(n)) return false;
    if (n < 0 || static_cast<int64_t>(n) * 8 > in.Left()) return false;
    R.Points.resize(n);
    if (!in.Bytes(R.Points.data(), static_cast<int64_t>(n) * 8)) return false;
    for (int32_t& v : R.Box)
        if (!in.Get(v)) return false;
    if (!in.Get(R.Selected) || !in.Get(R.PosX) || !in.Get(R.PosY) || !in.Get(R.Bits)) return false;
    for (int32_t& v : R.MaskBox)
        if (!in.Get(v)) return false;
    if (!in.Get(R.Full) || R.Selected > 1 || R.Full > 1 || R.Width < 0 || R.Height < 0)
        return false;
    if (!CoordinatesInside(R)) return false;
    if (R.Width == 0 || R.Height == 0) return true;
    if (R.Bits != 1 && R.Bits != 8) return false;
    R.RowLen = static_cast<int32_t>((static_cast<int64_t>(R.Width) * R.Bits + 31) / 32 * 4);
    const int64_t size = static_cast<int64_t>(R.RowLen) * R.Height;
    if (size > in.Left()) return false;
    R.Rows.resize(static_cast<size_t>(size));
    return in.Bytes(R.Rows.data(), size);
}

} // namespace

void TVistrelView::SaveSelectionToStream(TStream& Stream) {
    const int32_t w = FMask.GetWidth(), h = FMask.GetHeight();
    Put(Stream, w);
    Put(Stream, h);
    Put(Stream, FPolygon.Count);
    if (FPolygon.Count > 0)
        Stream.WriteBuffer(FPolygon.Data(), static_cast<int64_t>(FPolygon.Count) * 8);
    for (int32_t v : {FPolygon.X1, FPolygon.Y1, FPolygon.X2, FPolygon.Y2})
        Put(Stream, v);
    Put<uint8_t>(Stream, FSelected ? 1 : 0);
    Put(Stream, GetCurrentLayer()->PosX);
    Put(Stream, GetCurrentLayer()->PosY);
    Put(Stream, FMask.GetBitsPerPixel());
    for (int32_t v : {FMask.X1, FMask.Y1, FMask.X2, FMask.Y2})
        Put(Stream, v);
    Put<uint8_t>(Stream, FMask.Full ? 1 : 0);
    // Bottom-up, as the mask keeps its rows.
    for (int32_t r = h - 1; r >= 0; --r)
        Stream.WriteBuffer(FMask.GetScanline(r), FMask.GetRowLen());
}

bool TVistrelView::LoadSelectionFromStream(TStream& Stream, int32_t Mode) {
    const int64_t start = Stream.GetPosition();
    TSelectionRecord rec;
    if (!ReadSelectionRecord(Stream, rec)) {
        Stream.SetPosition(start);
        return false;
    }
    DisableUpdate();
    FPolygon.Clear();
    FPolygon.Points.reserve(rec.Points.size() + 64);
    FPolygon.Points = rec.Points;
    FPolygon.Count = static_cast<int32_t>(rec.Points.size());
    FPolygon.X1 = rec.Box[0];
    FPolygon.Y1 = rec.Box[1];
    FPolygon.X2 = rec.Box[2];
    FPolygon.Y2 = rec.Box[3];
    // Without points the box is a leftover of an earlier selection, perhaps of another bitmap.
    if (FPolygon.Count == 0) FPolygon.X1 = FPolygon.Y1 = FPolygon.X2 = FPolygon.Y2 = 0;
    FSelected = rec.Selected != 0;
    if (rec.Width > 0 && rec.Height > 0 && FMask.AllocateBits(rec.Width, rec.Height, rec.Bits)) {
        for (int32_t r = 0; r < rec.Height; ++r)
            std::memcpy(FMask.GetScanline(rec.Height - 1 - r),
                        rec.Rows.data() + static_cast<size_t>(r) * rec.RowLen,
                        static_cast<size_t>(rec.RowLen));
        FMask.X1 = rec.MaskBox[0];
        FMask.Y1 = rec.MaskBox[1];
        FMask.X2 = rec.MaskBox[2];
        FMask.Y2 = rec.MaskBox[3];
        FMask.Full = rec.Full != 0;
        // The box and Full of the record are hints; the bits decide.
        FMask.SyncBoundingBox();
        FMask.SyncFull();
    } else {
        FMask.FreeBits();
        FMask.Clear();
    }
    const int32_t bw = FBitmap->GetWidth(), bh = FBitmap->GetHeight();
    if (Mode == 2) {
        FPolygon.Clear();
        FPolygon.X1 = FPolygon.Y1 = FPolygon.X2 = FPolygon.Y2 = 0;
        TVLMask moved;
        const int64_t dx = static_cast<int64_t>(rec.PosX) - GetCurrentLayer()->PosX;
        const int64_t dy = static_cast<int64_t>(rec.PosY) - GetCurrentLayer()->PosY;
        if (moved.AllocateBits(bw, bh, FMask.GetBitsPerPixel() == 8 ? 8 : 1) && !FMask.IsEmpty())
            for (int32_t y = FMask.Y1; y <= FMask.Y2; ++y)
                for (int32_t x = FMask.X1; x <= FMask.X2; ++x) {
                    const int32_t v = FMask.GetPixel(x, y);
                    // What lay left of or above the picture's origin is lost, as are the parts
                    // outside the new layer.
                    const int64_t px = x + static_cast<int64_t>(rec.PosX),
                                  py = y + static_cast<int64_t>(rec.PosY);
                    const int64_t tx = x + dx, ty = y + dy;
                    if (v == 0 || px < 0 || py < 0 || tx < 0 || ty < 0 || tx >= bw || ty >= bh)
                        continue;
                    moved.SetPixel(static_cast<int32_t>(tx), static_cast<int32_t>(ty), v);
                }
        FMask.FreeBits();
        FMask.Clear();
        SyncMaskToBitmap();
        if (moved.GetBitsPerPixel() != 0)
            for (int32_t y = 0; y < bh; ++y)
                std::memcpy(FMask.GetScanline(y), moved.GetScanline(y), FMask.GetRowLen());
        FMask.SyncBoundingBox();
        FMask.SyncFull();
    } else if (FMask.GetWidth() != bw || FMask.GetHeight() != bh) {
        if (!FMask.IsEmpty() && Mode == 1) {
            if (bw < FMask.X2 + 1) MoveSelection(bw - FMask.X2 - 1, 0);
            if (bh < FMask.Y2 + 1) MoveSelection(0, bh - FMask.Y2 - 1);
        }
        if (FMask.IsEmpty()) {
            FMask.FreeBits();
            FMask.Clear();
        }
        SyncMaskToBitmap();
        FMask.SyncBoundingBox();
        FMask.SyncFull();
    }
    if (FMask.IsEmpty())
        ClearSelection();
    else
        FSelected = true;
    ShowSelectionPolygon(true);
    EnableUpdate();
    return true;
}

void TVistrelView::PushSelection() {
    auto stream = std::make_unique<TMemoryStream>();
    SaveSelectionToStream(*stream);
    FSavedSelections.push_back(std::move(stream));
}

bool TVistrelView::PopSelection(bool Remove, int32_t Mode) {
    if (FSavedSelections.empty()) return false;
    TMemoryStream& stream = *FSavedSelections.back();
    stream.SetPosition(0);
    const bool loaded = LoadSelectionFromStream(stream, Mode);
    if (Remove) FSavedSelections.pop_back();
    return loaded;
}

// ---- Box accessors, closing, zoom to the selection -----------------------------------------

bool TVistrelView::GestureInProgress() const {
    return FRectInProgress || FCircleInProgress || FPolygonInProgress ||
           FActiveGrip != TVLGrip::vlNone || FMoveState != -1;
}

int32_t TVistrelView::GetSelX1() {
    return GestureInProgress() || FRectMovedAsPolygon ? FPolygon.X1 : FMask.X1;
}

int32_t TVistrelView::GetSelY1() {
    return GestureInProgress() || FRectMovedAsPolygon ? FPolygon.Y1 : FMask.Y1;
}

int32_t TVistrelView::GetSelX2() {
    return GestureInProgress() || FRectMovedAsPolygon ? FPolygon.X2 - 1 : FMask.X2;
}

int32_t TVistrelView::GetSelY2() {
    return GestureInProgress() || FRectMovedAsPolygon ? FPolygon.Y2 - 1 : FMask.Y2;
}

void TVistrelView::CloseSelectionPolygon(TShiftState Shift) {
    if (!FPolygonInProgress || FLassoInProgress) return;
    FPolygon.RemoveLastPoint();
    if (!((Shift & ssShift) != 0 && ShiftAddsSelection)) FMask.Clear();
    EndSelect();
    Update();
    FPolygonInProgress = false;
    FireSelectionEvent(OnSelectionChange, false);
}

void TVistrelView::ZoomSelection(bool KeepAspect, bool FireZoomIn) {
    if (!FSelected && FPolygon.Count == 0) return;
    const int32_t sx = GetSelX1(), sy = GetSelY1();
    const int32_t sw = GetSelX2() - sx + 1, sh = GetSelY2() - sy + 1;
    if (sx < 0 || sy < 0 || sw < 2 || sh < 2) return;
    ClearSelection();
    double z = std::min(Height() / (sh / 100.0), Width() / (sw / 100.0));
    if (FireZoomIn && OnZoomIn) OnZoomIn(this, z);
    if (KeepAspect) {
        SetZoom(z);
    } else {
        SetZoomX(Width() / (sw / 100.0));
        SetZoomY(Height() / (sh / 100.0));
    }
    const double fx = FZoomX / 100, fy = FZoomY / 100;
    SetViewXY(static_cast<int32_t>(Trunc(sx * fx)) -
                  (ClientAreaWidth() - static_cast<int32_t>(Trunc(sw * fx))) / 2,
              static_cast<int32_t>(Trunc(sy * fy)) -
                  (ClientAreaHeight() - static_cast<int32_t>(Trunc(sh * fy))) / 2);
}

void TVistrelView::FireSelectionEvent(const TNotifyEvent& Event, bool Exchange) {
    if (!Event) return;
    Exchange = Exchange && FHandlerDepth > 0;
    if (Exchange) std::swap(SelectionBase, FHandlerBase);
    Event(this);
    if (Exchange) std::swap(SelectionBase, FHandlerBase);
}

// ---- Drawing -------------------------------------------------------------------------------

namespace {

// The 32-bit rows of the surface a canvas draws on, top row first; empty when it has none.
std::vector<uint8_t*> SurfaceRows(TCanvas& Canvas, int32_t& Width, int32_t& Height) {
    std::vector<uint8_t*> rows;
    DIBSECTION ds;
    HGDIOBJ bitmap = GetCurrentObject(Canvas.Handle(), OBJ_BITMAP);
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(ds), &ds) != sizeof(ds) ||
        ds.dsBm.bmBits == nullptr || ds.dsBm.bmBitsPixel != 32)
        return rows;
    Width = ds.dsBm.bmWidth;
    Height = std::abs(ds.dsBm.bmHeight);
    const bool bottomUp = ds.dsBmih.biHeight > 0;
    auto* bits = static_cast<uint8_t*>(ds.dsBm.bmBits);
    for (int32_t y = 0; y < Height; ++y)
        rows.push_back(bits +
                       static_cast<size_t>(bottomUp ? Height - 1 - y : y) * ds.dsBm.bmWidthBytes);
    return rows;
}

} // namespace

void TVistrelView::DrawDashes(TCanvas& Canvas) {
    int32_t w = 0, h = 0;
    const std::vector<uint8_t*> rows = SurfaceRows(Canvas, w, h);
    if (rows.empty()) return;
    TVLSelectionPolygon& p = FPolygon;
    auto line = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        PlotDashedLine(rows.data(), w, h, x1, y1, x2, y2, p.DashCounter, p.Color1, p.Color2);
    };
    auto event = [&](int32_t Point, int32_t X, int32_t Y) {
        if (OnDrawPolygon) OnDrawPolygon(this, 0, Point, &Canvas, X, Y);
    };
    p.DashCounter = p.Phase;
    if (IsRectanglePolygon(p.Data(), p.Count)) {
        const int32_t x1 = PolygonClientX(p.Points[0].X), y1 = PolygonClientY(p.Points[0].Y);
        const int32_t x2 = PolygonClientX(p.Points[2].X) - 1,
                      y2 = PolygonClientY(p.Points[2].Y) - 1;
        line(x1, y1, x2, y1);
        event(1, x2, y1);
        p.DashCounter = 0;
        line(x2, y1, x2, y2);
        event(2, x2, y2);
        p.DashCounter = 0;
        line(x2, y2, x1, y2);
        event(3, x1, y2);
        p.DashCounter = 0;
        line(x1, y1, x1, y2);
        event(0, x1, y1);
        return;
    }
    int32_t first = 0;
    for (int32_t i = 0; i < p.Count; ++i) {
        if (IsSeparator(p.Points[i])) continue;
        const bool last = i + 1 >= p.Count || IsSeparator(p.Points[i + 1]);
        const int32_t x = PolygonClientX(p.Points[i].X), y = PolygonClientY(p.Points[i].Y);
        if (!last) {
            const int32_t nx = PolygonClientX(p.Points[i + 1].X),
                          ny = PolygonClientY(p.Points[i + 1].Y);
            line(x, y, nx, ny);
            event(i, x, y);
        } else if (i + 1 < p.Count || !FPolygonInProgress) {
            line(x, y, PolygonClientX(p.Points[first].X), PolygonClientY(p.Points[first].Y));
            event(i, x, y);
        }
        if (last) first = i + 2;
    }
}

void TVistrelView::DrawGrips(TCanvas& Canvas) {
    TVLCanvas smooth(&Canvas, true, true);
    smooth.Pen()->SetColor(SelectionGripPenColor);
    smooth.Pen()->SetMode(pmCopy);
    smooth.Brush()->SetColor(SelectionGripBrushColor);
    smooth.Brush()->SetStyle(SelectionGripBrushStyle);
    // Centres, radius and edges in 64 bits. Edges are kept within 16384 pixels of the origin,
    // beyond any view's surface: a grip far off it (a huge zoom) stays off it, and one of a
    // huge size still covers it, without overflow and without drawing a shape of millions of
    // pixels.
    const int64_t r = SelectionGripSize;
    auto edge = [](int64_t V) {
        constexpr int64_t limit = int64_t{1} << 14;
        return static_cast<int32_t>(std::clamp(V, -limit, limit));
    };
    auto grip = [&](int64_t X, int64_t Y) {
        smooth.Ellipse(edge(X - r), edge(Y - r), edge(X + r + 1), edge(Y + r + 1));
    };
    for (int32_t i = 0; i < FPolygon.Count; ++i)
        grip(PolygonClientX(FPolygon.Points[i].X), PolygonClientY(FPolygon.Points[i].Y));
    if (!SelectionMidGrips) return;
    const int64_t L = PolygonClientX(FPolygon.X1), T = PolygonClientY(FPolygon.Y1);
    const int64_t R = PolygonClientX(FPolygon.X2), B = PolygonClientY(FPolygon.Y2);
    grip((L + R) / 2, T);
    grip(L, (T + B) / 2);
    grip(R, (T + B) / 2);
    grip((L + R) / 2, B);
}

void TVistrelView::DrawMaskOutline(TCanvas& Canvas) {
    if (HideOutlineAfterZoom && FAnimationPause > 0) return;
    const int32_t* d = GetCurrentLayer()->DrawRecord;
    const uint32_t t0 = TickCount ? TickCount() : GetTickCount();
    FMask.DrawOutline(Canvas, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], FOutlinePhase,
                      FPolygon.Color1, FPolygon.Color2);
    const uint32_t t1 = TickCount ? TickCount() : GetTickCount();
    if (AntsLoadLimit < 0 && (Owner() != nullptr || Parent() != nullptr)) {
        EnsureAntsTimer();
        FAntsTimer->SetInterval(AntsTimerPeriod(FAntsTimer->Interval(), t1 - t0, AntsLoadLimit));
    }
}

void TVistrelView::EnsureAntsTimer() {
    if (FAntsTimer != nullptr) return;
    FAntsTimer = new TTimer(nullptr);
    FAntsTimer->SetEnabled(false);
    FAntsTimer->SetInterval(210);
    FAntsTimer->SetOnTimer([this](TObject* Sender) { DrawSelectionPolygon(Sender); });
}

void TVistrelView::TickCountdowns() {
    if (FFilterDelay > 0 && --FFilterDelay == 0) Update();
    if (FAnimationPause > 0) --FAnimationPause;
}

void TVistrelView::DrawSelectionPolygon(TObject* Sender) {
    if (!(HasParentWindow() || OffScreenDrawing) || !ShowSelection) return;
    FAnimatedSeen = false;
    const bool fromTimer = Sender != nullptr && Sender == FAntsTimer;
    if (FPolygon.Visible) {
        if (FPolygon.Animated) {
            FAnimatedSeen = true;
            if (fromTimer && !GestureInProgress()) {
                FPolygon.Phase = (FPolygon.Phase + 1) % 10;
                ++FOutlinePhase;
            }
        }
        if (HandleAllocated() && FPaintLock == 0 && !FAutoScrolling) {
            TCanvas& canvas = *Canvas();
            const bool rect = IsRectanglePolygon(FPolygon.Data(), FPolygon.Count);
            if (FPolygon.Sizeable && rect && !FRectInProgress && FMoveState == -1)
                DrawGrips(canvas);
            if (!FMask.IsEmpty() && !GestureInProgress() && !FRectMovedAsPolygon)
                DrawMaskOutline(canvas);
            else
                DrawDashes(canvas);
        }
    }
    if (Owner() != nullptr || Parent() != nullptr) {
        EnsureAntsTimer();
        FAntsTimer->SetEnabled(FFilterDelay > 0 || FAnimationPause > 0 || FAnimatedSeen);
    }
    if (fromTimer) TickCountdowns();
}

void TVistrelView::DrawRubberBand() {
    if (!FPolygonInProgress || FLassoInProgress || FPolygon.Count == 0 || !HandleAllocated())
        return;
    TCanvas& canvas = *Canvas();
    canvas.Pen()->SetMode(pmNot);
    canvas.Pen()->SetWidth(1);
    canvas.Pen()->SetStyle(psSolid);
    const TPoint& last = FPolygon.Points[FPolygon.Count - 1];
    canvas.MoveTo(FCurrentPoint.X, FCurrentPoint.Y);
    canvas.LineTo(PolygonClientX(last.X), PolygonClientY(last.Y));
    canvas.Pen()->SetMode(pmCopy);
}

void TVistrelView::DrawSelectionMarks(TVLBitmap& Dest) {
    if (!FSelected || FMask.IsEmpty() || Dest.GetVclBitmap() == nullptr) return;
    const int32_t* d = GetCurrentLayer()->DrawRecord;
    if ((FSelectionOptions & vlsoFilled) != 0)
        FMask.StretchDrawXor(*Dest.GetVclBitmap()->Canvas(), d[0], d[1], d[2], d[3], d[4], d[5],
                             d[6], d[7]);
    if ((FSelectionOptions & vlsoMarkOuter) != 0)
        FMask.ShadeOutside(*Dest.GetVclBitmap(), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
}
