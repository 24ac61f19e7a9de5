// Geometry of the single-image view: per-axis zoom, view position, extents, the visible part of
// the bitmap, the lookup tables and the mapping between client and bitmap coordinates.
#include "imaging/view/ViewGeometry.h"

#include "imaging/view/VistrelView.h"

#include <algorithm>
#include <cmath>

std::array<int32_t, 8> ZoomSteps = {2, 5, 10, 25, 33, 50, 75, 100};

double NextZoomIn(double Zoom) {
    if (Zoom >= 100) return Zoom + 100;
    for (int32_t step : ZoomSteps)
        if (step > Zoom) return step;
    return Zoom + 100;
}

double NextZoomOut(double Zoom) {
    if (Zoom >= 200) return Zoom - 100;
    double result = 2;
    for (int32_t step : ZoomSteps)
        if (step < Zoom) result = step;
    return result;
}

void TVLZoomTables::Clear() {
    *this = TVLZoomTables{};
}

void BuildZoomAxis(TVLZoomAxisTable& Table, double Zoom, int32_t ClientLength, int32_t Zoomed,
                   int32_t BitmapSize) {
    const double factor = Zoom / 100;
    const double inverse = 100 / Zoom;
    Table.ClientLength = ClientLength;
    Table.BitmapLength = static_cast<int32_t>(Trunc(ClientLength * inverse));
    const int64_t jx = static_cast<int64_t>(Zoomed) + ClientLength;
    const int64_t kx = Trunc(static_cast<double>(jx + 1) * inverse);
    Table.ClientToBitmap.assign(static_cast<size_t>(jx + 2), 0);
    Table.BitmapToClient.assign(static_cast<size_t>(kx + 2), 0);
    const int32_t last = std::max(BitmapSize - 1, 0);
    auto& c2b = Table.ClientToBitmap;
    auto& b2c = Table.BitmapToClient;
    // Filling downward leaves, for each target, the smallest source.
    if (Zoom > 100) {
        for (int64_t j = jx; j >= 0; --j) {
            const int64_t b = Trunc(static_cast<double>(j) * inverse);
            b2c[static_cast<size_t>(b)] = static_cast<int32_t>(j);
            c2b[static_cast<size_t>(j)] = static_cast<int32_t>(std::min<int64_t>(b, last));
        }
    } else {
        for (int64_t k = kx; k >= 0; --k) {
            const int64_t c = Trunc(static_cast<double>(k) * factor);
            b2c[static_cast<size_t>(k)] = static_cast<int32_t>(c);
            if (c < static_cast<int64_t>(c2b.size()))
                c2b[static_cast<size_t>(c)] = static_cast<int32_t>(std::min<int64_t>(k, last));
        }
    }
    Table.ClientWindow = 0;
    Table.BitmapWindow = 0;
}

namespace {

int32_t Clamp(int64_t Value, int32_t Low, int32_t High) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, Low, std::max(Low, High)));
}

void ClampVisiblePart(int32_t& Origin, int32_t& BitmapCount, int32_t& ClientCount, int32_t Size) {
    if (BitmapCount > 0 && Origin < Size) return;
    Origin = std::clamp(Origin, 0, std::max(Size - 1, 0));
    BitmapCount = 0;
    ClientCount = 0;
}

// Entry Index of a table, or Fallback outside it.
int32_t Entry(const std::vector<int32_t>& Table, int64_t Index, int32_t Fallback) {
    return Index >= 0 && Index < static_cast<int64_t>(Table.size())
               ? Table[static_cast<size_t>(Index)]
               : Fallback;
}

} // namespace

// ---- Zoom ----------------------------------------------------------------------------------

double TVistrelView::GetMaxZoom() const {
    const int32_t side = std::max({FBitmapWidth, FBitmapHeight, 1});
    return static_cast<double>(MaxZoomedSize) * 100 / side;
}

double TVistrelView::CappedZoom(double Percent) const {
    return std::min(Percent, GetMaxZoom());
}

void TVistrelView::SetFactors() {
    FFactorX = FZoomX / 100;
    FFactorY = FZoomY / 100;
    FInverseX = 100 / FZoomX;
    FInverseY = 100 / FZoomY;
}

void TVistrelView::CapZoomToBitmap() {
    const double cap = GetMaxZoom();
    if (FZoomX <= cap && FZoomY <= cap) return;
    FZoomX = std::min(FZoomX, cap);
    FZoomY = std::min(FZoomY, cap);
    SetFactors();
}

void TVistrelView::ApplyZoomAxis(double Percent, bool Horizontal, bool Vertical) {
    if (Percent <= 0) return;
    Percent = CappedZoom(Percent);
    const double f = Percent / 100;
    const int32_t cx = ClientAreaWidth() / 2;
    const int32_t cy = ClientAreaHeight() / 2;
    const int64_t bx = Round((cx + FViewX - FOffsetX) * FInverseX);
    const int64_t by = Round((cy + FViewY - FOffsetY) * FInverseY);
    const int64_t newX = Trunc(static_cast<double>(bx) * f - cx);
    const int64_t newY = Trunc(static_cast<double>(by) * f - cy);
    // The limits of the old zoom, as the position was computed against them.
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    if (Horizontal) {
        FViewX = Clamp(newX, 0, maxX);
        FZoomX = Percent;
    }
    if (Vertical) {
        FViewY = Clamp(newY, 0, maxY);
        FZoomY = Percent;
    }
    SetFactors();
}

void TVistrelView::ApplyZoom(double Percent) {
    ApplyZoomAxis(Percent, true, true);
}

void TVistrelView::ApplyZoomX(double Percent) {
    ApplyZoomAxis(Percent, true, false);
}

void TVistrelView::ApplyZoomY(double Percent) {
    ApplyZoomAxis(Percent, false, true);
}

void TVistrelView::StartFilterDelay() {
    if (DelayZoomFilter && FZoomFilter != rfNone && (FZoomX != 100 || FZoomY != 100))
        FFilterDelay = 4;
}

void TVistrelView::SetZoomAxes(double Percent, bool Horizontal, bool Vertical) {
    if (Percent <= 0) return;
    Percent = CappedZoom(Percent);
    if ((!Horizontal || Percent == FZoomX) && (!Vertical || Percent == FZoomY)) return;
    if (DelayZoomFilter && FZoomFilter != rfNone &&
        ((Horizontal && FZoomX != 100) || (Vertical && FZoomY != 100)))
        FFilterDelay = 4;
    FAnimationPause = 2;
    LockPaint();
    if (Horizontal && Vertical)
        ApplyZoom(Percent);
    else if (Horizontal)
        ApplyZoomX(Percent);
    else
        ApplyZoomY(Percent);
    // Twice on purpose: the first pass may show or hide the scroll bars and so change the client
    // area; the second clamps the view origin and the scroll ranges against the area that results.
    Update();
    Update();
    UpdateVisibleRect();
    UpdateZoomTables();
    UnlockPaintNoRefresh();
    Paint();
    DoViewChange(1);
}

void TVistrelView::SetZoom(double Percent) {
    SetZoomAxes(Percent, true, true);
}

void TVistrelView::SetZoomX(double Percent) {
    SetZoomAxes(Percent, true, false);
}

void TVistrelView::SetZoomY(double Percent) {
    SetZoomAxes(Percent, false, true);
}

void TVistrelView::ZoomAt(int32_t X, int32_t Y, double Percent, bool CenterIt) {
    LockPaint();
    const int32_t bx = ClientToBitmapX(X);
    const int32_t by = ClientToBitmapY(Y);
    SetZoom(Percent);
    // The horizontal factor serves both axes.
    const double f = FZoomX / 100;
    int64_t nx, ny;
    if (CenterIt) {
        nx = Trunc(bx * f - ClientAreaWidth() / 2);
        ny = Trunc(by * f - ClientAreaHeight() / 2);
    } else {
        nx = Trunc(bx * f - X + f);
        ny = Trunc(by * f - Y + f);
    }
    SetViewXY(Clamp(nx, INT32_MIN, INT32_MAX), Clamp(ny, INT32_MIN, INT32_MAX));
    UnlockPaint();
    UpdateVisibleRect();
    UpdateZoomTables();
    DoViewChange(1);
}

void TVistrelView::FrameMargins(int32_t& MX, int32_t& MY, bool FitMargins) {
    switch (FBackgroundStyle) {
    case vlbsCropped:
        MX = EdgeWidth;
        MY = EdgeHeight;
        return;
    case vlbsCropShadow:
        MX = MY = 5;
        return;
    case vlbsSoftShadow:
        MX = MY = 9;
        return;
    default:
        break;
    }
    if (!FitMargins) {
        MX = (Width() - ClientAreaWidth()) / 2;
        MY = (Height() - ClientAreaHeight()) / 2;
    } else if (BorderStyle() == bsNone) {
        MX = MY = 0;
    } else if (Ctl3D()) {
        MX = EdgeWidth;
        MY = EdgeHeight;
    } else {
        MX = BorderWidth;
        MY = BorderHeight;
    }
}

double TVistrelView::GetFitZoom() {
    // Without an image there is nothing to fit (the division would fail).
    if (FBitmapWidth <= 0 || FBitmapHeight <= 0) return 100;
    int32_t mx, my;
    FrameMargins(mx, my, true);
    // The whole control size: scroll bars are hidden before fitting.
    return std::min((Width() - 2.0 * mx) / (FBitmapWidth / 100.0),
                    (Height() - 2.0 * my) / (FBitmapHeight / 100.0));
}

double TVistrelView::GetAutoFitZoom(int32_t W, int32_t H, int32_t AvailW, int32_t AvailH,
                                    bool Stretch, bool Shrink) {
    if (W == 0 || H == 0 || AvailW == 0 || AvailH == 0) return 100;
    const bool widthDecides = static_cast<double>(W) / AvailW > static_cast<double>(H) / AvailH;
    const bool larger = widthDecides ? W > AvailW : H > AvailH;
    return (larger ? Shrink : Stretch) ? GetFitZoom() : 100;
}

void TVistrelView::Fit() {
    if (FBitmapWidth <= 0 || FBitmapHeight <= 0) return;
    HideHScrollBar();
    HideVScrollBar();
    SetZoom(GetFitZoom());
}

// ---- Scrolling -----------------------------------------------------------------------------

void TVistrelView::GetMaxViewXY(int32_t& MaxX, int32_t& MaxY) {
    const int32_t areaW = ClientAreaWidth();
    const int32_t areaH = ClientAreaHeight();
    int64_t w = Trunc(FBitmapWidth * FFactorX);
    int64_t h = Trunc(FBitmapHeight * FFactorY);
    // A scrolled image shows one more pixel, so that its last column and row can be reached.
    const auto wider = [&] { w = Trunc((FBitmapWidth + 1.0) * FFactorX); };
    const auto higher = [&] { h = Trunc((FBitmapHeight + 1.0) * FFactorY); };
    if (FZoomX != FZoomY) {
        if (w > areaW + 10) wider();
        if (h > areaH + 10) higher();
    } else if ((w > areaW + 10 || h > areaH + 10) && FScrollBars != ssNone) {
        wider();
        higher();
    }
    MaxX = MaxY = 0;
    if (w < 1 || h < 1) return;
    MaxX = Clamp(w - areaW, 0, INT32_MAX);
    MaxY = Clamp(h - areaH, 0, INT32_MAX);
    if (MaxX > 0 && ClientToBitmapX(MaxX) == 0) MaxX = 0;
    if (MaxY > 0 && ClientToBitmapY(MaxY) == 0) MaxY = 0;
    if (FZoomX != FZoomY) {
        if (w <= Width()) MaxX = 0;
        if (h <= Height()) MaxY = 0;
    } else if (w <= Width() && h <= Height()) {
        MaxX = MaxY = 0;
    }
}

bool TVistrelView::IsScrollable() {
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    return maxX > 0 || maxY > 0;
}

void TVistrelView::SetViewAxes(int32_t X, int32_t Y, bool Horizontal, bool Vertical) {
    if (!Horizontal) X = FViewX;
    if (!Vertical) Y = FViewY;
    if (X == FViewX && Y == FViewY) return;
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    X = std::clamp(X, 0, maxX);
    Y = std::clamp(Y, 0, maxY);
    if (X == FViewX && Y == FViewY) return;
    const int32_t oldX = AlignViewX(FViewX), oldY = AlignViewY(FViewY);
    FViewX = X;
    FViewY = Y;
    StartFilterDelay();
    // A scroll of a picture that covers the buffer moves the buffer's pixels and composes the
    // strips it uncovers; anything else composes the whole buffer.
    if (FRecompose || !ShiftBackBuffer(AlignViewX(X) - oldX, AlignViewY(Y) - oldY))
        FRecompose = true;
    FFullRedraw = true;
    Paint();
    DoViewChange(0);
    if (Horizontal) SetScrollBarPosition(true);
    if (Vertical) SetScrollBarPosition(false);
}

void TVistrelView::SetViewXY(int32_t X, int32_t Y) {
    SetViewAxes(X, Y, true, true);
}

void TVistrelView::SetViewX(int32_t X) {
    SetViewAxes(X, FViewY, true, false);
}

void TVistrelView::SetViewY(int32_t Y) {
    SetViewAxes(FViewX, Y, false, true);
}

// ---- Extents, visible part and tables ------------------------------------------------------

void TVistrelView::UpdateExtents() {
    FZoomedWidth = Clamp(Round(FBitmapWidth * FFactorX), 0, INT32_MAX);
    FZoomedHeight = Clamp(Round(FBitmapHeight * FFactorY), 0, INT32_MAX);
    FOffsetX = FOffsetY = 0;
    if (InState(csDesigning)) {
        FExtentWidth = std::min(FZoomedWidth, Width());
        FExtentHeight = std::min(FZoomedHeight, Height());
        return;
    }
    FExtentWidth = std::min(FZoomedWidth, ClientAreaWidth());
    FExtentHeight = std::min(FZoomedHeight, ClientAreaHeight());
    if (FCenter) {
        FOffsetX = std::max((ClientAreaWidth() - FExtentWidth) / 2, 0);
        FOffsetY = std::max((ClientAreaHeight() - FExtentHeight) / 2, 0);
    }
}

void TVistrelView::UpdateVisibleRect() {
    FOriginX = FOriginY = FVisibleBitmapWidth = FVisibleBitmapHeight = 0;
    if (FZoomedWidth > 0) {
        const double d = static_cast<double>(FBitmapWidth) / FZoomedWidth;
        FOriginX = Clamp(Round(AlignViewX(FViewX) * d), 0, INT32_MAX);
        FVisibleBitmapWidth = Clamp(Round(d * FExtentWidth), 0, INT32_MAX);
        // Rounding may overshoot the last column by one, at the scroll limit by two: never
        // let the renderer read past the bitmap.
        if (static_cast<int64_t>(FOriginX) + FVisibleBitmapWidth > FBitmapWidth)
            FVisibleBitmapWidth = std::min(FVisibleBitmapWidth - 1, FBitmapWidth - FOriginX);
    }
    if (FZoomedHeight > 0) {
        const double d = static_cast<double>(FBitmapHeight) / FZoomedHeight;
        FOriginY = Clamp(Round(AlignViewY(FViewY) * d), 0, INT32_MAX);
        FVisibleBitmapHeight = Clamp(Round(d * FExtentHeight), 0, INT32_MAX);
        if (static_cast<int64_t>(FOriginY) + FVisibleBitmapHeight > FBitmapHeight)
            FVisibleBitmapHeight = std::min(FVisibleBitmapHeight - 1, FBitmapHeight - FOriginY);
    }
    if (FZoomX > 100) {
        FVisibleClientWidth = Clamp(Trunc(FVisibleBitmapWidth * FFactorX), 0, INT32_MAX);
        if (FVisibleClientWidth < FExtentWidth &&
            static_cast<int64_t>(FOriginX) + FVisibleBitmapWidth < FBitmapWidth) {
            ++FVisibleBitmapWidth;
            FVisibleClientWidth = Clamp(Trunc(FVisibleBitmapWidth * FFactorX), 0, INT32_MAX);
        }
    } else {
        FVisibleClientWidth = FExtentWidth;
    }
    if (FZoomY > 100) {
        FVisibleClientHeight = Clamp(Trunc(FVisibleBitmapHeight * FFactorY), 0, INT32_MAX);
        if (FVisibleClientHeight < FExtentHeight &&
            static_cast<int64_t>(FOriginY) + FVisibleBitmapHeight < FBitmapHeight) {
            ++FVisibleBitmapHeight;
            FVisibleClientHeight = Clamp(Trunc(FVisibleBitmapHeight * FFactorY), 0, INT32_MAX);
        }
    } else {
        FVisibleClientHeight = FExtentHeight;
    }
    // Scrolled past the image's end (the extra pixel of the scroll limit is a whole bitmap pixel
    // at high zoom), nothing of it is visible: never a negative count or an origin outside.
    ClampVisiblePart(FOriginX, FVisibleBitmapWidth, FVisibleClientWidth, FBitmapWidth);
    ClampVisiblePart(FOriginY, FVisibleBitmapHeight, FVisibleClientHeight, FBitmapHeight);
}

bool TVistrelView::TablesMatch() const {
    return FTables.Exist() && FTables.ZoomX == FZoomX && FTables.ZoomY == FZoomY &&
           FTables.BitmapWidth == FBitmapWidth && FTables.BitmapHeight == FBitmapHeight;
}

void TVistrelView::UpdateZoomTables() {
    if (FTables.ZoomX != FZoomX || FTables.ZoomY != FZoomY ||
        FTables.ClientWidth != FVisibleClientWidth ||
        FTables.ClientHeight != FVisibleClientHeight || FTables.BitmapWidth != FBitmapWidth ||
        FTables.BitmapHeight != FBitmapHeight || !FTables.Exist()) {
        FTables.Clear();
        if (FVisibleClientWidth <= 0 || FVisibleClientHeight <= 0 || FBitmapWidth <= 0 ||
            FBitmapHeight <= 0)
            return;
        BuildZoomAxis(FTables.X, FZoomX, FVisibleClientWidth, FZoomedWidth, FBitmapWidth);
        BuildZoomAxis(FTables.Y, FZoomY, FVisibleClientHeight, FZoomedHeight, FBitmapHeight);
        FTables.ZoomX = FZoomX;
        FTables.ZoomY = FZoomY;
        FTables.ClientWidth = FVisibleClientWidth;
        FTables.ClientHeight = FVisibleClientHeight;
        FTables.BitmapWidth = FBitmapWidth;
        FTables.BitmapHeight = FBitmapHeight;
    }
    const auto window = [](TVLZoomAxisTable& T, int32_t Aligned, int32_t Origin) {
        T.ClientWindow =
            std::clamp<int32_t>(Aligned, 0, static_cast<int32_t>(T.ClientToBitmap.size()) - 1);
        T.BitmapWindow =
            std::max(0, T.ClientToBitmap[static_cast<size_t>(T.ClientWindow)] - Origin);
    };
    window(FTables.X, AlignViewX(FViewX), FOriginX);
    window(FTables.Y, AlignViewY(FViewY), FOriginY);
}

const int32_t* TVistrelView::ClientToBitmapColumns() const {
    return FTables.Exist() ? FTables.X.ClientToBitmap.data() + FTables.X.ClientWindow : nullptr;
}

const int32_t* TVistrelView::ClientToBitmapRows() const {
    return FTables.Exist() ? FTables.Y.ClientToBitmap.data() + FTables.Y.ClientWindow : nullptr;
}

// ---- Coordinates ---------------------------------------------------------------------------

namespace {

// The zoomed position at which the bitmap pixel under zoomed position V starts. Tables built for
// another zoom or image are not consulted: their sizes belong to another zoomed image.
int32_t AlignOnAxis(const TVLZoomAxisTable& T, bool Valid, int32_t V, int32_t Zoomed) {
    V = std::max(V, 0);
    if (!Valid || V > Zoomed) return V;
    const int32_t b = Entry(T.ClientToBitmap, V, -1);
    return b < 0 ? V : Entry(T.BitmapToClient, b, V);
}

int32_t ClientToBitmapOnAxis(const TVLZoomAxisTable& T, bool Valid, int32_t X, int32_t Offset,
                             double Inverse, int32_t Origin) {
    const int32_t x = X - Offset;
    if (Valid && x >= 0 && x < T.ClientLength) {
        const int32_t b = Entry(T.ClientToBitmap, static_cast<int64_t>(T.ClientWindow) + x, -1);
        if (b >= 0) return b;
    }
    return Clamp(Trunc(x * Inverse + Origin), INT32_MIN, INT32_MAX);
}

int32_t BitmapToClientOnAxis(const TVLZoomAxisTable& T, bool Valid, int32_t B, int32_t Origin,
                             int32_t Offset, int32_t Aligned, double Factor, double Inverse) {
    const int32_t d = B - Origin;
    if (Valid && d >= 0 && d < T.BitmapLength) {
        const int32_t c = Entry(T.BitmapToClient, static_cast<int64_t>(T.BitmapWindow) + d, -1);
        if (c >= 0) return c + Offset;
    }
    return Clamp(Round((Round(-Aligned * Inverse) + B) * Factor + Offset), INT32_MIN, INT32_MAX);
}

} // namespace

int32_t TVistrelView::AlignViewX(int32_t V) {
    return AlignOnAxis(FTables.X, TablesMatch(), V, FZoomedWidth);
}

int32_t TVistrelView::AlignViewY(int32_t V) {
    return AlignOnAxis(FTables.Y, TablesMatch(), V, FZoomedHeight);
}

int32_t TVistrelView::ClientToBitmapX(int32_t X) {
    return ClientToBitmapOnAxis(FTables.X, TablesMatch(), X, FOffsetX, FInverseX, FOriginX);
}

int32_t TVistrelView::ClientToBitmapY(int32_t Y) {
    return ClientToBitmapOnAxis(FTables.Y, TablesMatch(), Y, FOffsetY, FInverseY, FOriginY);
}

int32_t TVistrelView::BitmapToClientX(int32_t X) {
    return BitmapToClientOnAxis(FTables.X, TablesMatch(), X, FOriginX, FOffsetX, AlignViewX(FViewX),
                                FFactorX, FInverseX);
}

int32_t TVistrelView::BitmapToClientY(int32_t Y) {
    return BitmapToClientOnAxis(FTables.Y, TablesMatch(), Y, FOriginY, FOffsetY, AlignViewY(FViewY),
                                FFactorY, FInverseY);
}

// ---- Update --------------------------------------------------------------------------------

void TVistrelView::DisableUpdate() {
    ++FUpdateDisabled;
}

void TVistrelView::EnableUpdate() {
    if (FUpdateDisabled > 0) --FUpdateDisabled;
    if (FUpdateDisabled == 0) Update();
}

void TVistrelView::EnableUpdateNoRefresh() {
    if (FUpdateDisabled > 0) --FUpdateDisabled;
}

void TVistrelView::SetCenter(bool Value) {
    if (Value == FCenter) return;
    FCenter = Value;
    Update();
}

bool TVistrelView::IsEmpty() {
    return FBitmap->GetWidth() < 2 && FBitmap->GetHeight() < 2;
}

bool TVistrelView::IsRectanglePolygon(const TPoint* Points, int32_t Count) {
    if (Points == nullptr || Count != 4) return false;
    // Edge i runs from point i - 1 to point i, the closing edge (3 -> 0) first.
    bool previousVertical = false;
    for (int32_t i = 0; i < 4; ++i) {
        const TPoint& a = Points[(i + 3) % 4];
        const TPoint& b = Points[i];
        const bool vertical = a.X == b.X && a.Y != b.Y;
        const bool horizontal = a.Y == b.Y && a.X != b.X;
        if (!vertical && !horizontal) return false;
        if (i > 0 && vertical == previousVertical) return false;
        previousVertical = vertical;
    }
    return true;
}

void TVistrelView::AutoZoom() {
    int32_t mx, my;
    FrameMargins(mx, my, false);
    double zoom = 100;
    if (FBitmapWidth > 1 || FBitmapHeight > 1)
        zoom = GetAutoFitZoom(FBitmapWidth, FBitmapHeight, ClientAreaWidth() - 2 * mx,
                              ClientAreaHeight() - 2 * my, FAutoStretch || FAutoFit,
                              FAutoShrink || FAutoFit);
    zoom = CappedZoom(std::max(zoom, 1.0));
    FZoomX = FZoomY = zoom;
    SetFactors();
    UpdateVisibleRect();
    UpdateZoomTables();
    DoViewChange(1);
    FFilterDelay = FAnimationPause = 0;
}

void TVistrelView::BitmapSizeChanged() {
    const int32_t w = FBitmap->GetWidth();
    const int32_t h = FBitmap->GetHeight();
    FLastBitmapWidth = w;
    FLastBitmapHeight = h;
    SyncMaskToBitmap();
    if (!FBitmap->HasAlphaChannel()) return;
    TVLBitmap* alpha = FBitmap->GetAlphaChannel();
    if (alpha->GetWidth() == w && alpha->GetHeight() == h) return;
    // An alpha channel of another size is replaced by an opaque one of the bitmap's size.
    if (alpha->Allocate(w, h, TVLPixelFormat::vl8g)) alpha->Fill(255);
}

void TVistrelView::Update() {
    if (FUpdateDisabled > 0) return;
    if ((ComponentState() & ~TComponentState(csFreeNotification)) != 0) return;
    // Cleared on every way out, exceptions included; a nested pass keeps the outer one's flag.
    struct TUpdatingFlag {
        bool& Flag;
        bool Saved;
        explicit TUpdatingFlag(bool& F) : Flag(F), Saved(F) { Flag = true; }
        ~TUpdatingFlag() { Flag = Saved; }
    } updating(FUpdating);
    FreeChangedMaskCaches();
    SyncLayers();
    CapZoomToBitmap();
    if ((FAutoFit || FAutoStretch || FAutoShrink) && FBitmapWidth > 0 && FBitmapHeight > 0)
        AutoZoom();
    if (FBitmap->GetWidth() != FLastBitmapWidth || FBitmap->GetHeight() != FLastBitmapHeight)
        BitmapSizeChanged();
    if (HandleAllocated() && !InState(csDesigning) && HasParentWindow()) {
        FLastAreaWidth = ClientAreaWidth();
        FLastAreaHeight = ClientAreaHeight();
        int32_t maxX, maxY;
        GetMaxViewXY(maxX, maxY);
        const bool moved = FViewX > maxX || FViewY > maxY;
        FViewX = std::min(FViewX, maxX);
        FViewY = std::min(FViewY, maxY);
        if (moved) DoViewChange(0);
        try {
            UpdateScrollBars();
        } catch (...) {
            // A failing scroll bar must not keep the geometry from being completed.
        }
        if ((ClientAreaWidth() != FLastAreaWidth || ClientAreaHeight() != FLastAreaHeight) &&
            !FNestedUpdate) {
            FNestedUpdate = true;
            Update();
            FNestedUpdate = false;
        }
    }
    UpdateExtents();
    FZoomed = TZoomedPicture{};
    FRecompose = FFullRedraw = true;
    if (HasParentWindow() && FInvalidateOnUpdate) Invalidate();
    if (FNavigator != nullptr) {
        FNavigator->Update();
        SyncNavigator();
    }
}
