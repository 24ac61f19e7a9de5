// Layer composition of the single-image view: the background, every visible layer at its
// position, size, rotation, transparency and zoom filter, mask layers and magnifiers, the
// treatment of what lies outside layer 0, and the boxes and grips of the layer being edited.
#include "imaging/view/ViewComposition.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLRender.h"
#include "imaging/core/VLRotate.h"
#include "imaging/proc/VLWholeImage.h"
#include "imaging/view/ViewBackground.h"
#include "imaging/view/ViewPaint.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Gdi.h"

#include <algorithm>
#include <cmath>

using enum TVLPixelFormat;
using enum TVLLocation;

struct TVistrelView::TComposeState {
    TVLBitmap& Dest;
    bool DrawBoxes;
    bool DrawBackground;
    const TRect* Clip;
    bool First = true;
    // Layer 0's last destination box (left, top, right, bottom).
    TRect Layer0Box{};
};

namespace {

int32_t TruncInt(double V) {
    return static_cast<int32_t>(Trunc(V));
}

// What the layer's settings were before a rotated layer stood in for itself.
struct TSavedPlacement {
    int32_t OwnWidth, OwnHeight, PosX, PosY;
};

// Bitmap's pixels as 8-bit grey, without alpha; unchanged when the grey image cannot be had.
void MakeGray(TVLBitmap& Bitmap) {
    Bitmap.RemoveAlphaChannel(false, clBlack);
    if (Bitmap.GetPixelFormat() == vl8g) return;
    try {
        Bitmap.SetPixelFormat(vl8g);
    } catch (const EOutOfMemory&) {
    }
}

// Alpha 255 inside the ellipse that fills the W x H box, 0 outside.
void EllipseAlpha(TVLBitmap& Alpha) {
    const double rx = Alpha.GetWidth() / 2.0, ry = Alpha.GetHeight() / 2.0;
    for (int32_t y = 0; y < Alpha.GetHeight(); ++y) {
        uint8_t* row = Alpha.GetScanline(y);
        const double dy = (y + 0.5 - ry) / ry;
        for (int32_t x = 0; x < Alpha.GetWidth(); ++x) {
            const double dx = (x + 0.5 - rx) / rx;
            row[x] = dx * dx + dy * dy <= 1.0 ? 255 : 0;
        }
    }
}

void Lighten(TVLRGB& P, int32_t Value) {
    P.b = static_cast<uint8_t>(std::min(P.b + Value, 255));
    P.g = static_cast<uint8_t>(std::min(P.g + Value, 255));
    P.r = static_cast<uint8_t>(std::min(P.r + Value, 255));
}

} // namespace

void TVistrelView::SetEnableAlphaChannel(bool Value) {
    FEnableAlphaChannel = Value;
    Update();
}

void TVistrelView::DimOutside(TVLBitmap& Dest, const TRect& Box, uint8_t Style) {
    // Style 2: a 50 % grey dither, edges inside; style 3: lightened, right and bottom edges
    // outside; style 97 (dimming outside the current layer): grey 97 dither, edges inside.
    const bool edgesInside = Style != 3;
    const int32_t right = edgesInside ? Box.Right : Box.Right - 1;
    const int32_t bottom = edgesInside ? Box.Bottom : Box.Bottom - 1;
    for (int32_t y = 0; y < Dest.GetHeight(); ++y) {
        auto* row = reinterpret_cast<TVLRGB*>(Dest.GetScanline(y));
        const bool rowOutside = y < Box.Top || y > bottom;
        for (int32_t x = 0; x < Dest.GetWidth(); ++x) {
            if (!rowOutside && x >= Box.Left && x <= right) continue;
            if (Style == 3)
                Lighten(row[x], LayerOutsideValue);
            else if ((x + y) % 2 == 0)
                row[x] = Style == 2 ? TVLRGB{128, 128, 128} : TVLRGB{97, 97, 97};
        }
    }
}

TResampleFilter TVistrelView::LayerFilter(const TVLLayer& Layer) {
    if (FilterDelayCount() > 0 ||
        (Layer.OwnWidth == 0 && Layer.OwnHeight == 0 && FZoomX == 100 && FZoomY == 100))
        return rfNone;
    return Layer.UseResampleFilter ? Layer.ResampleFilter : ZoomFilter();
}

// Kept for reductions, and for enlargements up to four drawing areas; larger ones are resampled
// part by part as they are shown.
TVLBitmap* TVistrelView::ZoomedPicture(TVLBitmap& Source, TResampleFilter Filter) {
    if (Filter == rfNone || FZoomedWidth <= 0 || FZoomedHeight <= 0) return nullptr;
    const int64_t pixels = int64_t{FZoomedWidth} * FZoomedHeight;
    const int64_t area = int64_t{ClientAreaWidth()} * ClientAreaHeight();
    if (pixels > std::max(int64_t{Source.GetWidth()} * Source.GetHeight(), 4 * area))
        return nullptr;
    const bool alpha = FEnableAlphaChannel && Source.HasAlphaChannel();
    TZoomedPicture& z = FZoomed;
    if (z.Pixels && z.Source == &Source && z.SourceWidth == Source.GetWidth() &&
        z.SourceHeight == Source.GetHeight() && z.Width == FZoomedWidth &&
        z.Height == FZoomedHeight && z.Filter == Filter && z.Alpha == alpha)
        return z.Pixels.get();
    z = TZoomedPicture{};
    auto pixelsOut = std::make_unique<TVLBitmap>();
    pixelsOut->SetLocation(vlMemory);
    if (!ResampleForRender(Source, FZoomedWidth, FZoomedHeight, alpha, Filter, *pixelsOut))
        return nullptr;
    z = TZoomedPicture{std::move(pixelsOut), &Source, Source.GetWidth(), Source.GetHeight(),
                       FZoomedWidth, FZoomedHeight, Filter, alpha};
    return z.Pixels.get();
}

// The picture is layer 0 alone, drawn through the view's own geometry, opaque and copied as it
// is over the whole buffer, with nothing drawn over it.
bool TVistrelView::PictureCoversBuffer() {
    if (GetLayerCount() != 1 || !FBackBuffer) return false;
    TVLLayer& layer = *FLayers[0];
    TVLBitmap& b = *layer.Bitmap();
    const bool opaqueAlpha =
        !FEnableAlphaChannel || !b.HasAlphaChannel() || b.GetAlphaChannel()->Full;
    const bool plain = layer.Visible && layer.Rotate() == 0 && !layer.Magnify &&
                       layer.Operation == vlroCopy && layer.PosX == 0 && layer.PosY == 0 &&
                       layer.OwnWidth == 0 && layer.OwnHeight == 0 && !layer.IsMask &&
                       !layer.DrawOuter;
    const bool overlays = ShowLayerBoxes || InteractMoveLayers || InteractResizeLayers ||
                          InteractRotateLayers || LayerOutsideStyle >= 2 ||
                          (DisplayGrid && std::max(FZoomX, FZoomY) >= PixelGridMinZoom) ||
                          OnDrawBackBuffer != nullptr;
    return plain && !overlays && opaqueAlpha && layer.Transparency > 254 && FOffsetX < 1 &&
           FOffsetY < 1 && FVisibleClientWidth >= FBackBuffer->GetWidth() &&
           FVisibleClientHeight >= FBackBuffer->GetHeight();
}

void TVistrelView::ComposeBackground(TComposeState& State, int32_t FirstLayer) {
    TVLBitmap& dest = State.Dest;
    if (FirstLayer >= 0) {
        TVLLayer& layer = *FLayers[FirstLayer];
        TVLBitmap& b = *layer.Bitmap();
        // The picture hides the whole buffer only when it is layer 0 drawn through the view's
        // own geometry, opaque and copied as it is: anything else lets last frame's pixels show.
        const bool opaqueAlpha =
            !FEnableAlphaChannel || !b.HasAlphaChannel() || b.GetAlphaChannel()->Full;
        const bool plain = FirstLayer == 0 && layer.Rotate() == 0 && !layer.Magnify &&
                           layer.Operation == vlroCopy && layer.PosX == 0 && layer.PosY == 0 &&
                           layer.OwnWidth == 0 && layer.OwnHeight == 0;
        if (plain && FOffsetX < 1 && FOffsetY < 1 && FVisibleClientWidth >= dest.GetWidth() &&
            FVisibleClientHeight >= dest.GetHeight() && opaqueAlpha && layer.Transparency > 254)
            return;
    }
    TBitmap* vcl = dest.GetVclBitmap();
    if (vcl == nullptr) return;
    TCanvas* canvas = vcl->Canvas();
    if (State.Clip != nullptr)
        IntersectClipRect(canvas->Handle(), State.Clip->Left, State.Clip->Top,
                          State.Clip->Right + 1, State.Clip->Bottom + 1);
    bool handled = false;
    if (OnDrawBackground)
        OnDrawBackground(this, canvas, TRect{0, 0, dest.GetWidth(), dest.GetHeight()}, handled);
    if (!handled)
        DrawViewBackground(ComponentState(), canvas, vcl, BackgroundStyle(), Background(), 0, 0,
                           dest.GetWidth(), dest.GetHeight(), FOffsetX, FOffsetY,
                           FOffsetX + FVisibleClientWidth, FOffsetY + FVisibleClientHeight,
                           FChessboardSize, FChessboardBrushStyle, GradientEndColor,
                           FWallPaper.get(), FWallPaperStyle);
    SelectClipRgn(canvas->Handle(), nullptr);
}

namespace {

// The client coordinate of bitmap coordinate B, moved by one pixel where that makes it map back
// to B.
template <class ToClient, class ToBitmap>
int32_t CorrectedClient(int32_t B, ToClient toClient, ToBitmap toBitmap) {
    int32_t c = toClient(B);
    const int32_t back = toBitmap(c);
    if (back < B)
        ++c;
    else if (back > B)
        --c;
    return c;
}

// Combined alpha of Layer (bitmap B) limited by Mask's grey levels at the same image positions.
std::unique_ptr<TVLBitmap> CombinedMaskAlpha(TVLLayer& Layer, TVLLayer& Mask, uint8_t OutsideStyle,
                                             int32_t OutsideValue, int32_t BaseW, int32_t BaseH) {
    TVLBitmap& b = *Layer.Bitmap();
    TVLBitmap& m = *Mask.Bitmap();
    MakeGray(m);
    auto alpha = TVLBitmap::CreateAsAlpha(b.GetWidth(), b.GetHeight(), vlMemory);
    TVLBitmap* own = b.HasAlphaChannel() ? b.GetAlphaChannel() : nullptr;
    const double sx = static_cast<double>(Layer.GetWidth()) / std::max(b.GetWidth(), 1);
    const double sy = static_cast<double>(Layer.GetHeight()) / std::max(b.GetHeight(), 1);
    const double mx = static_cast<double>(m.GetWidth()) / std::max(Mask.GetWidth(), 1);
    const double my = static_cast<double>(m.GetHeight()) / std::max(Mask.GetHeight(), 1);
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = alpha->GetScanline(y);
        const double iy = Layer.PosY + y * sy;
        const auto maskY = static_cast<int32_t>(Round((iy - Mask.PosY) * my));
        for (int32_t x = 0; x < b.GetWidth(); ++x) {
            const double ix = Layer.PosX + x * sx;
            const auto maskX = static_cast<int32_t>(Round((ix - Mask.PosX) * mx));
            int32_t value = 0;
            if (maskX >= 0 && maskX < m.GetWidth() && maskY >= 0 && maskY < m.GetHeight())
                value = m.GetScanline(maskY)[maskX];
            if (OutsideStyle == 1 && (ix < 0 || ix >= BaseW || iy < 0 || iy >= BaseH))
                value = OutsideValue;
            const int32_t ownValue = own != nullptr ? own->GetPixel8(x, y) : 255;
            row[x] = static_cast<uint8_t>(std::clamp(std::min(value, ownValue), 0, 255));
        }
    }
    alpha->Full = false;
    return alpha;
}

} // namespace

void TVistrelView::ComposeLayer(TComposeState& State, int32_t Index) {
    TVLLayer& layer = *FLayers[Index];
    TVLBitmap* b = layer.Bitmap();
    if (!layer.Visible || FVisibleClientWidth <= 0 || FVisibleClientHeight <= 0) return;
    if (b->GetWidth() < MinLayerDrawSize && b->GetHeight() < MinLayerDrawSize) return;
    TVLBitmap& dest = State.Dest;

    // Mask: the mask layer above, or a temporary all-opaque one for outside style 1.
    TVLLayer* mask = nullptr;
    std::unique_ptr<TVLLayer> temporaryMask;
    if (Index + 1 < GetLayerCount() && FLayers[Index + 1]->IsMask && !layer.IsMask &&
        layer.Rotate() == 0) {
        mask = FLayers[Index + 1].get();
    } else if (Index > 0 && LayerOutsideStyle == 1) {
        auto gray = std::make_unique<TVLBitmap>();
        gray->SetLocation(vlMemory);
        if (gray->Allocate(b->GetWidth(), b->GetHeight(), vl8g)) gray->Fill(255);
        temporaryMask = std::make_unique<TVLLayer>(this, std::move(gray));
        temporaryMask->PosX = layer.PosX;
        temporaryMask->PosY = layer.PosY;
        temporaryMask->OwnWidth = layer.GetWidth();
        temporaryMask->OwnHeight = layer.GetHeight();
        mask = temporaryMask.get();
    }
    std::unique_ptr<TVLBitmap> ownAlpha;
    bool alphaSwapped = false;
    if (mask != nullptr) {
        if (!layer.MaskAlphaCache)
            layer.MaskAlphaCache = CombinedMaskAlpha(
                layer, *mask, LayerOutsideStyle, LayerOutsideValue,
                FLayers[0]->Bitmap()->GetWidth(), FLayers[0]->Bitmap()->GetHeight());
        ownAlpha = b->AttachAlphaChannel(std::move(layer.MaskAlphaCache));
        alphaSwapped = true;
    }

    if (State.First && State.DrawBackground) ComposeBackground(State, Index);

    const TResampleFilter filter = LayerFilter(layer);

    TRect destBox, sourceBox;
    const bool positioned = (!LayersSync && GetLayerCount() > 1) || layer.OwnWidth != 0 ||
                            layer.OwnHeight != 0 || layer.PosX != 0 || layer.PosY != 0;
    if (positioned) {
        const TSavedPlacement saved{layer.OwnWidth, layer.OwnHeight, layer.PosX, layer.PosY};
        TVLBitmap rotated;
        if (layer.Rotate() != 0) {
            // The layer is drawn from a rotated copy at its display size.
            TVLBitmap sized;
            sized.SetLocation(vlMemory);
            sized.Allocate(layer.GetWidth(), layer.GetHeight(), b->GetPixelFormat());
            ResampleWithAlpha(*b, sized, rfNone);
            rotated.SetLocation(vlMemory);
            RotateNearest(sized, rotated, layer.Rotate(), 0);
            if (sized.HasAlphaChannel())
                RotateNearest(*sized.GetAlphaChannel(), *rotated.GetAlphaChannel(), layer.Rotate(),
                              0);
            const int32_t w = layer.GetWidth(), h = layer.GetHeight();
            TPoint corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
            RotatePoints(corners, 3, TruncInt(w * layer.RotateCenterX),
                         TruncInt(h * layer.RotateCenterY), layer.Rotate());
            int32_t minX = corners[0].X, minY = corners[0].Y;
            for (const TPoint& p : corners) {
                minX = std::min(minX, p.X);
                minY = std::min(minY, p.Y);
            }
            for (int32_t k = 0; k < 4; ++k)
                layer.DrawPolygon[k] =
                    TPoint{TruncInt((corners[k].X + saved.PosX) * FFactorX) + FOffsetX - FViewX,
                           TruncInt((corners[k].Y + saved.PosY) * FFactorY) + FOffsetY - FViewY};
            layer.OwnWidth = rotated.GetWidth();
            layer.OwnHeight = rotated.GetHeight();
            layer.PosX = saved.PosX + minX;
            layer.PosY = saved.PosY + minY;
            b = &rotated;
        } else if (Index > 0 && layer.Magnify && layer.MagnifyRatio >= 1) {
            if (!MagnifyNoResize && (layer.OwnWidth != 0 || layer.OwnHeight != 0) &&
                (b->GetWidth() != layer.GetWidth() || b->GetHeight() != layer.GetHeight())) {
                b->Allocate(layer.GetWidth(), layer.GetHeight(), vl24RGB);
            }
            const int32_t dw = TruncInt(b->GetWidth() / (layer.MagnifyRatio / FFactorX));
            const int32_t dh = TruncInt(b->GetHeight() / (layer.MagnifyRatio / FFactorY));
            const int32_t cx = BitmapToClientX(layer.PosX) + TruncInt(b->GetWidth() * FFactorX / 2);
            const int32_t cy =
                BitmapToClientY(layer.PosY) + TruncInt(b->GetHeight() * FFactorY / 2);
            const TRect box{cx - dw / 2, cy - dh / 2, cx - dw / 2 + dw, cy - dh / 2 + dh};
            if (b->GetPixelFormat() != vl24RGB || b->GetLocation() == vlFile) {
                b->SetLocation(vlMemory);
                b->Allocate(b->GetWidth(), b->GetHeight(), vl24RGB);
            }
            if (layer.MagnifySource == 1) {
                dest.RenderRectToBitmap(*b, 0, 0, b->GetWidth(), b->GetHeight(), box.Left, box.Top,
                                        dw, dh, 255, rfNone, vlroCopy);
            } else {
                TVLBitmap& base = *FLayers[0]->Bitmap();
                const int32_t bl = ClientToBitmapX(box.Left), bt = ClientToBitmapY(box.Top);
                const int32_t bw = TruncInt(dw / FFactorX), bh = TruncInt(dh / FFactorY);
                if (bl >= 0 && bt >= 0 && bl < base.GetWidth() - bw && bt < base.GetHeight() - bh) {
                    b->Fill(0);
                    base.RenderRectToBitmap(*b, 0, 0, b->GetWidth(), b->GetHeight(), bl, bt, bw, bh,
                                            255, filter, vlroCopy);
                }
            }
            TVLBitmap& alpha = *b->GetAlphaChannel();
            if (layer.MagnifyShape == 0)
                alpha.Fill(255);
            else
                EllipseAlpha(alpha);
        }
        const auto toClientX = [this](int32_t v) { return BitmapToClientX(v); };
        const auto toClientY = [this](int32_t v) { return BitmapToClientY(v); };
        const auto toBitmapX = [this](int32_t v) { return ClientToBitmapX(v); };
        const auto toBitmapY = [this](int32_t v) { return ClientToBitmapY(v); };
        const int32_t x1 = CorrectedClient(layer.PosX, toClientX, toBitmapX);
        const int32_t y1 = CorrectedClient(layer.PosY, toClientY, toBitmapY);
        const int32_t x2 = CorrectedClient(layer.PosX + layer.GetWidth(), toClientX, toBitmapX);
        const int32_t y2 = CorrectedClient(layer.PosY + layer.GetHeight(), toClientY, toBitmapY);
        destBox = TRect{x1, y1, x2 - x1, y2 - y1};
        sourceBox = TRect{0, 0, b->GetWidth(), b->GetHeight()};
        layer.ClientRect = TRect{x1, y1, x2, y2};
        if (layer.Cropped) {
            TVLBitmap& base = *FLayers[0]->Bitmap();
            if (ClientToBitmapX(x1) < 0) {
                const auto skip = static_cast<int32_t>(
                    Round(static_cast<double>(b->GetWidth()) / layer.GetWidth() * -layer.PosX));
                sourceBox.Left = skip;
                sourceBox.Right -= skip;
                const int32_t left = BitmapToClientX(0);
                destBox.Right -= left - destBox.Left;
                destBox.Left = left;
            }
            if (ClientToBitmapY(y1) < 0) {
                const auto skip = static_cast<int32_t>(
                    Round(static_cast<double>(b->GetHeight()) / layer.GetHeight() * -layer.PosY));
                sourceBox.Top = skip;
                sourceBox.Bottom -= skip;
                const int32_t top = BitmapToClientY(0);
                destBox.Bottom -= top - destBox.Top;
                destBox.Top = top;
            }
            const int32_t limitX = BitmapToClientX(base.GetWidth());
            if (destBox.Left + destBox.Right > limitX && destBox.Right > 0) {
                const int32_t w = limitX - destBox.Left;
                sourceBox.Right =
                    TruncInt(static_cast<double>(b->GetWidth()) / layer.ClientRect.Width() * w);
                destBox.Right = w;
            }
            const int32_t limitY = BitmapToClientY(base.GetHeight());
            if (destBox.Top + destBox.Bottom > limitY && destBox.Bottom > 0) {
                const int32_t h = limitY - destBox.Top;
                sourceBox.Bottom =
                    TruncInt(static_cast<double>(b->GetHeight()) / layer.ClientRect.Height() * h);
                destBox.Bottom = h;
            }
        }
        // destBox and sourceBox hold (x, y, width, height) from here on.
        TVLRenderTables tables;
        if (destBox.Right > 0 && destBox.Bottom > 0 && sourceBox.Right > 0 && sourceBox.Bottom > 0)
            b->RenderRectToBitmapEx(dest, tables, State.Clip, destBox.Left, destBox.Top,
                                    destBox.Right, destBox.Bottom, sourceBox.Left, sourceBox.Top,
                                    sourceBox.Right, sourceBox.Bottom, FEnableAlphaChannel,
                                    BackgroundStyle() == vlbsSolid && State.First,
                                    layer.Transparency, filter, true, layer.Operation);
        layer.OwnWidth = saved.OwnWidth;
        layer.OwnHeight = saved.OwnHeight;
        layer.PosX = saved.PosX;
        layer.PosY = saved.PosY;
        b = layer.Bitmap();
    } else {
        destBox = TRect{FOffsetX, FOffsetY, FVisibleClientWidth, FVisibleClientHeight};
        sourceBox = TRect{FOriginX, FOriginY, FVisibleBitmapWidth, FVisibleBitmapHeight};
        const bool solid = BackgroundStyle() == vlbsSolid && State.First;
        TVLRenderTables tables;
        if (TVLBitmap* zoomed = Index == 0 ? ZoomedPicture(*b, filter) : nullptr) {
            // The visible part of the whole zoomed picture, so that its pixels do not depend on
            // the scroll position.
            zoomed->RenderRectToBitmapEx(dest, tables, State.Clip, destBox.Left, destBox.Top,
                                         destBox.Right, destBox.Bottom, AlignViewX(FViewX),
                                         AlignViewY(FViewY), destBox.Right, destBox.Bottom,
                                         FEnableAlphaChannel, solid, layer.Transparency, rfNone,
                                         true, layer.Operation);
        } else {
            if (const int32_t* columns = ClientToBitmapColumns())
                tables.XTable.assign(columns, columns + FVisibleClientWidth);
            if (const int32_t* rows = ClientToBitmapRows())
                tables.YTable.assign(rows, rows + FVisibleClientHeight);
            b->RenderRectToBitmapEx(dest, tables, State.Clip, destBox.Left, destBox.Top,
                                    destBox.Right, destBox.Bottom, sourceBox.Left, sourceBox.Top,
                                    sourceBox.Right, sourceBox.Bottom, FEnableAlphaChannel, solid,
                                    layer.Transparency, filter, true, layer.Operation);
        }
        layer.ClientRect = TRect{destBox.Left, destBox.Top, destBox.Left + destBox.Right,
                                 destBox.Top + destBox.Bottom};
    }
    const int32_t record[8] = {destBox.Left,   destBox.Top,   destBox.Right,   destBox.Bottom,
                               sourceBox.Left, sourceBox.Top, sourceBox.Right, sourceBox.Bottom};
    std::copy(record, record + 8, layer.DrawRecord);
    if (Index == 0)
        State.Layer0Box = TRect{destBox.Left, destBox.Top, destBox.Left + destBox.Right,
                                destBox.Top + destBox.Bottom};
    if (alphaSwapped) layer.MaskAlphaCache = b->AttachAlphaChannel(std::move(ownAlpha));
    if (State.DrawBoxes) DrawLayerBoxAndGrips(State, Index);
    State.First = false;
}

void TVistrelView::GetLayerGripRects(int32_t Index, TRect (&Rects)[9]) {
    TVLLayer& layer = *FLayers[Index];
    const int32_t r = LayerGripSize;
    const auto square = [r](int32_t X, int32_t Y) { return TRect{X - r, Y - r, X + r, Y + r}; };
    const auto mid = [](TPoint A, TPoint B) { return TPoint{(A.X + B.X) / 2, (A.Y + B.Y) / 2}; };
    if (layer.Rotate() != 0) {
        const TPoint* p = layer.DrawPolygon;
        for (int k = 0; k < 4; ++k)
            Rects[k] = square(p[k].X, p[k].Y);
        const TPoint sides[4] = {mid(p[0], p[3]), mid(p[1], p[2]), mid(p[0], p[1]),
                                 mid(p[2], p[3])};
        for (int k = 0; k < 4; ++k)
            Rects[4 + k] = square(sides[k].X, sides[k].Y);
    } else {
        const TRect& c = layer.ClientRect;
        const int32_t mx = (c.Left + c.Right) / 2, my = (c.Top + c.Bottom) / 2;
        const TPoint points[8] = {{c.Left, c.Top},    {c.Right, c.Top}, {c.Right, c.Bottom},
                                  {c.Left, c.Bottom}, {c.Left, my},     {c.Right, my},
                                  {mx, c.Top},        {mx, c.Bottom}};
        for (int k = 0; k < 8; ++k)
            Rects[k] = square(points[k].X, points[k].Y);
    }
    TVLBitmap& b = *layer.Bitmap();
    Rects[8] = square(
        layer.LayerToClientX(static_cast<int32_t>(Round(b.GetWidth() * layer.RotateCenterX))),
        layer.LayerToClientY(static_cast<int32_t>(Round(b.GetHeight() * layer.RotateCenterY))));
}

TVLGrip TVistrelView::GetLayerGripAt(int32_t X, int32_t Y) {
    TRect rects[9];
    GetLayerGripRects(FCurrentLayer, rects);
    for (int k = 0; k < 9; ++k) {
        const TRect& r = rects[k];
        if (X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom)
            return static_cast<TVLGrip>(k + 1);
    }
    return TVLGrip::vlNone;
}

void TVistrelView::DrawLayerBoxAndGrips(TComposeState& State, int32_t Index) {
    TVLLayer& layer = *FLayers[Index];
    if (!layer.VisibleBox) return;
    const bool current = Index == FCurrentLayer;
    const bool box = current ? InteractMoveLayers || InteractResizeLayers : ShowLayerBoxes;
    const bool grips = current && InteractResizeLayers && !layer.Locked;
    const bool centre = current && InteractRotateLayers;
    const bool outer = current && layer.DrawOuter;
    if (!box && !grips && !centre && !outer) return;
    TBitmap* vcl = State.Dest.GetVclBitmap();
    if (vcl == nullptr) return;
    TCanvas* canvas = vcl->Canvas();
    if (box) {
        if (OnDrawLayerBox) {
            OnDrawLayerBox(this, vcl, Index);
        } else {
            canvas->Pen()->SetStyle(psDot);
            canvas->Pen()->SetMode(pmNot);
            canvas->Pen()->SetWidth(1);
            canvas->Brush()->SetStyle(bsClear);
            if (layer.Rotate() != 0)
                canvas->Polygon(std::span<const TPoint>(layer.DrawPolygon, 4));
            else
                canvas->Rectangle(layer.ClientRect);
            canvas->Pen()->SetMode(pmCopy);
            canvas->Pen()->SetStyle(psSolid);
        }
    }
    if (grips || centre) {
        TRect rects[9];
        GetLayerGripRects(Index, rects);
        if (OnDrawLayerGrip) {
            for (int k = 0; k < 9; ++k)
                OnDrawLayerGrip(this, vcl, Index, k, rects[k]);
        } else {
            TVLCanvas smooth(canvas, true, true);
            smooth.Pen()->SetStyle(psSolid);
            smooth.Pen()->SetMode(pmCopy);
            smooth.Pen()->SetWidth(1);
            smooth.Pen()->SetColor(LayerGripPenColor);
            smooth.Brush()->SetStyle(LayerGripBrushStyle);
            smooth.Brush()->SetColor(LayerGripBrushColor);
            for (int k = 0; grips && k < 8; ++k) {
                if (LayerGripShape == 0)
                    smooth.Rectangle(rects[k]);
                else
                    smooth.Ellipse(rects[k]);
            }
            if (centre) smooth.Ellipse(rects[8]);
        }
    }
    if (outer) DimOutside(State.Dest, layer.ClientRect, 97);
}

void TVistrelView::ComposeBackBuffer(TVLBitmap& Dest, bool DrawBoxes, bool DrawBackground,
                                     const TRect* Clip) {
    SyncLayers();
    UpdateVisibleRect();
    UpdateZoomTables();
    if (InState(csDesigning) || FBitmap->GetWidth() == 0 || FBitmap->GetHeight() == 0) return;
    if (FBitmap->HasAlphaChannel()) {
        TVLBitmap* alpha = FBitmap->GetAlphaChannel();
        if (alpha->GetWidth() != FBitmap->GetWidth() || alpha->GetHeight() != FBitmap->GetHeight())
            return;
    }
    TComposeState state{Dest, DrawBoxes, DrawBackground, Clip, true, TRect{}};
    for (int32_t i = 0; i < GetLayerCount(); ++i)
        ComposeLayer(state, i);
    if (LayerOutsideStyle == 2 || LayerOutsideStyle == 3)
        DimOutside(Dest, state.Layer0Box, LayerOutsideStyle);
    if (state.First && DrawBackground) ComposeBackground(state, -1);
    if (DrawBoxes) DrawSelectionMarks(Dest);
    if (DrawBoxes && Dest.GetVclBitmap() != nullptr) DrawPixelGrid(*Dest.GetVclBitmap()->Canvas());
}
