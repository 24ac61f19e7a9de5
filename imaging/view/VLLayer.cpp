// The layers of the single-image view: the layer record, its coordinate mapping and its undo
// record.
#include "imaging/view/VLLayer.h"

#include "imaging/core/VLHelpers.h"
#include "imaging/proc/VLWholeImage.h"
#include "imaging/proc/VistrelProc.h"
#include "imaging/view/VistrelView.h"
#include "platform/rtl/System.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

using enum TVLPixelFormat;
using enum TVLLocation;

namespace {

// Little-endian fields of the layer record.
template <class T> void WriteField(TStream& Stream, const T& Value) {
    Stream.WriteBuffer(&Value, sizeof(T));
}

template <class T> bool ReadField(TStream& Stream, T& Value) {
    return Stream.Read(&Value, sizeof(T)) == static_cast<int32_t>(sizeof(T));
}

void WriteZeros(TStream& Stream, int32_t Count) {
    const uint8_t zeros[8] = {};
    Stream.WriteBuffer(zeros, Count);
}

bool Skip(TStream& Stream, int32_t Count) {
    uint8_t skipped[8];
    return Stream.Read(skipped, Count) == Count;
}

std::unique_ptr<TVLBitmap> BitmapShapedLike(TVLBitmap* Shape) {
    auto bitmap = std::make_unique<TVLBitmap>();
    if (Shape == nullptr) return bitmap;
    bitmap->SetLocation(Shape->GetLocation());
    if (!Shape->IsEmpty())
        bitmap->Allocate(Shape->GetWidth(), Shape->GetHeight(), Shape->GetPixelFormat());
    return bitmap;
}

} // namespace

TGUID NewLayerID() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    const uint64_t a = generator(), b = generator();
    TGUID id;
    id.D1 = static_cast<uint32_t>(a);
    id.D2 = static_cast<uint16_t>(a >> 32);
    // Version 4 (random), variant 1, as the system's identifiers are made.
    id.D3 = static_cast<uint16_t>(((a >> 48) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i)
        id.D4[i] = static_cast<uint8_t>(b >> (8 * i));
    id.D4[0] = static_cast<uint8_t>((id.D4[0] & 0x3F) | 0x80);
    return id;
}

TVLLayer::TVLLayer(TVistrelView* AOwner, TVLBitmap* Shape)
    : TVLLayer(AOwner, BitmapShapedLike(Shape)) {}

TVLLayer::TVLLayer(TVistrelView* AOwner, std::unique_ptr<TVLBitmap> Bitmap)
    : Owner(AOwner), LayerID(NewLayerID()) {
    AttachOwnedBitmap(std::move(Bitmap));
    Reset();
}

TVLLayer::~TVLLayer() = default;

void TVLLayer::Reset() {
    OwnWidth = OwnHeight = 0;
    MaskAlphaCache.reset();
    Visible = VisibleBox = true;
    Transparency = 255;
    PosX = PosY = 0;
    ClientRect = TRect{};
    Cropped = Locked = false;
    Selectable = true;
    Magnify = false;
    MagnifyRatio = 2.0;
    MagnifyShape = 0;
    MagnifySource = 1;
    Operation = vlroCopy;
    FUserData.reset();
    FUserDataLen = 0;
    IsMask = false;
    std::memset(DrawRecord, 0, sizeof(DrawRecord));
    for (TPoint& p : DrawPolygon)
        p = TPoint{};
    DrawOuter = false;
    RotateCenterX = RotateCenterY = 0.5;
    SetRotate(0);
}

void TVLLayer::AttachOwnedBitmap(std::unique_ptr<TVLBitmap> Bitmap) {
    FBitmap = Bitmap.get();
    FOwnedBitmap = std::move(Bitmap);
}

void TVLLayer::AttachExternalBitmap(TVLBitmap* Bitmap) {
    FOwnedBitmap.reset();
    FBitmap = Bitmap;
}

void TVLLayer::Assign(TVLLayer& Source) {
    OwnWidth = Source.OwnWidth;
    OwnHeight = Source.OwnHeight;
    if (FBitmap != nullptr && Source.FBitmap != nullptr && FBitmap != Source.FBitmap)
        FBitmap->Assign(Source.FBitmap);
    Visible = Source.Visible;
    VisibleBox = Source.VisibleBox;
    Selectable = Source.Selectable;
    Transparency = Source.Transparency;
    PosX = Source.PosX;
    PosY = Source.PosY;
    ClientRect = Source.ClientRect;
    Cropped = Source.Cropped;
    Locked = Source.Locked;
    Magnify = Source.Magnify;
    MagnifyRatio = Source.MagnifyRatio;
    MagnifyShape = Source.MagnifyShape;
    MagnifySource = Source.MagnifySource;
    Operation = Source.Operation;
    SetUserData(Source.FUserData.get(), Source.FUserDataLen);
    ResampleFilter = Source.ResampleFilter;
    UseResampleFilter = Source.UseResampleFilter;
    Name = Source.Name;
    IsMask = Source.IsMask;
    DrawOuter = Source.DrawOuter;
}

void TVLLayer::SetUserData(const void* Data, int32_t Length) {
    if (Data == nullptr || Length <= 0) {
        FUserData.reset();
        FUserDataLen = 0;
        return;
    }
    auto copy = std::make_unique<uint8_t[]>(Length);
    std::memcpy(copy.get(), Data, Length);
    FUserData = std::move(copy);
    FUserDataLen = Length;
}

void TVLLayer::SetRotate(double Angle) {
    FRotate = Angle == std::trunc(Angle) && std::fmod(Angle, 360.0) == 0 ? 0 : Angle;
}

int32_t TVLLayer::GetWidth() const {
    if (OwnWidth != 0) return OwnWidth;
    return FBitmap != nullptr ? FBitmap->GetWidth() : 0;
}

int32_t TVLLayer::GetHeight() const {
    if (OwnHeight != 0) return OwnHeight;
    return FBitmap != nullptr ? FBitmap->GetHeight() : 0;
}

int32_t TVLLayer::ClientToLayerX(int32_t X) {
    const int32_t w = GetWidth();
    if (w == 0) return 0;
    const double fx = Owner->ZoomX() / 100;
    const int32_t bx = Owner->ClientToBitmapX(X - static_cast<int32_t>(Trunc(PosX * fx)));
    return static_cast<int32_t>(Trunc(static_cast<double>(bx) / w * FBitmap->GetWidth()));
}

int32_t TVLLayer::ClientToLayerY(int32_t Y) {
    const int32_t h = GetHeight();
    if (h == 0) return 0;
    const double fy = Owner->ZoomY() / 100;
    const int32_t by = Owner->ClientToBitmapY(Y - static_cast<int32_t>(Trunc(PosY * fy)));
    return static_cast<int32_t>(Trunc(static_cast<double>(by) / h * FBitmap->GetHeight()));
}

int32_t TVLLayer::LayerToClientX(int32_t BX) {
    const int32_t bw = FBitmap->GetWidth();
    const double fx = Owner->ZoomX() / 100;
    const int32_t x =
        bw == 0 ? 0 : static_cast<int32_t>(Trunc(static_cast<double>(BX) / bw * GetWidth()));
    return Owner->BitmapToClientX(x) + static_cast<int32_t>(Trunc(PosX * fx));
}

int32_t TVLLayer::LayerToClientY(int32_t BY) {
    const int32_t bh = FBitmap->GetHeight();
    const double fy = Owner->ZoomY() / 100;
    const int32_t y =
        bh == 0 ? 0 : static_cast<int32_t>(Trunc(static_cast<double>(BY) / bh * GetHeight()));
    return Owner->BitmapToClientY(y) + static_cast<int32_t>(Trunc(PosY * fy));
}

void TVLLayer::SaveToStream(TStream& Stream, bool WithBitmap) {
    const int64_t start = Stream.GetPosition();
    WriteField<int32_t>(Stream, 0);
    WriteField(Stream, LayerID);
    WriteField<int32_t>(Stream, OwnWidth);
    WriteField<int32_t>(Stream, OwnHeight);
    WriteField<uint8_t>(Stream, Visible);
    WriteField<uint8_t>(Stream, VisibleBox);
    WriteField<uint8_t>(Stream, Selectable);
    WriteField<int32_t>(Stream, Transparency);
    WriteField<int32_t>(Stream, PosX);
    WriteField<int32_t>(Stream, PosY);
    WriteField(Stream, ClientRect);
    WriteField<uint8_t>(Stream, Cropped);
    WriteField<uint8_t>(Stream, Locked);
    WriteField<uint8_t>(Stream, Magnify);
    WriteZeros(Stream, 7);
    WriteField<double>(Stream, MagnifyRatio);
    WriteField<uint8_t>(Stream, MagnifyShape);
    WriteField<uint8_t>(Stream, MagnifySource);
    WriteZeros(Stream, 6);
    WriteField<uint8_t>(Stream, Operation);
    WriteField<int32_t>(Stream, FUserDataLen);
    if (FUserDataLen > 0) Stream.WriteBuffer(FUserData.get(), FUserDataLen);
    WriteField<uint8_t>(Stream, ResampleFilter);
    WriteField<uint8_t>(Stream, UseResampleFilter);
    WriteField<int32_t>(Stream, static_cast<int32_t>(Name.size()));
    if (!Name.empty()) Stream.WriteBuffer(Name.data(), static_cast<int64_t>(Name.size()));
    WriteField<uint8_t>(Stream, IsMask);
    WriteField<uint8_t>(Stream, DrawOuter);
    WriteField<double>(Stream, FRotate);
    WriteField<double>(Stream, RotateCenterX);
    WriteField<double>(Stream, RotateCenterY);
    const bool hasBitmap = WithBitmap && FBitmap != nullptr;
    WriteField<uint8_t>(Stream, hasBitmap);
    if (hasBitmap) FBitmap->SaveRaw(nullptr, &Stream);
    const int64_t end = Stream.GetPosition();
    Stream.SetPosition(start);
    WriteField<int32_t>(Stream, static_cast<int32_t>(end - start));
    Stream.SetPosition(end);
}

bool TVLLayer::LoadFromStream(TStream& Stream) {
    int32_t length = 0;
    uint8_t visible = 0, visibleBox = 0, selectable = 0, cropped = 0, locked = 0, magnify = 0;
    uint8_t operation = 0;
    if (!ReadField(Stream, length) || !ReadField(Stream, LayerID) || !ReadField(Stream, OwnWidth) ||
        !ReadField(Stream, OwnHeight) || !ReadField(Stream, visible) ||
        !ReadField(Stream, visibleBox) || !ReadField(Stream, selectable) ||
        !ReadField(Stream, Transparency) || !ReadField(Stream, PosX) || !ReadField(Stream, PosY) ||
        !ReadField(Stream, ClientRect) || !ReadField(Stream, cropped) ||
        !ReadField(Stream, locked) || !ReadField(Stream, magnify) || !Skip(Stream, 7) ||
        !ReadField(Stream, MagnifyRatio) || !ReadField(Stream, MagnifyShape) ||
        !ReadField(Stream, MagnifySource) || !Skip(Stream, 6) || !ReadField(Stream, operation))
        return false;
    Visible = visible != 0;
    VisibleBox = visibleBox != 0;
    Selectable = selectable != 0;
    Cropped = cropped != 0;
    Locked = locked != 0;
    Magnify = magnify != 0;
    Operation =
        operation < VLRenderOperationCount ? static_cast<TVLRenderOperation>(operation) : vlroCopy;
    int32_t userLength = 0;
    if (!ReadField(Stream, userLength) || userLength < 0 ||
        userLength > Stream.GetSize() - Stream.GetPosition())
        return false;
    auto user = userLength > 0 ? std::make_unique<uint8_t[]>(userLength) : nullptr;
    if (userLength > 0 && Stream.Read(user.get(), userLength) != userLength) return false;
    FUserData = std::move(user);
    FUserDataLen = userLength;
    uint8_t filter = 0, useFilter = 0, isMask = 0, drawOuter = 0, hasBitmap = 0;
    int32_t nameLength = 0;
    if (!ReadField(Stream, filter) || !ReadField(Stream, useFilter) ||
        !ReadField(Stream, nameLength) || nameLength < 0 ||
        nameLength > Stream.GetSize() - Stream.GetPosition())
        return false;
    ResampleFilter = filter <= rfProjectWB ? static_cast<TResampleFilter>(filter) : rfNone;
    UseResampleFilter = useFilter != 0;
    AnsiString name(static_cast<size_t>(nameLength), '\0');
    if (nameLength > 0 && Stream.Read(name.data(), nameLength) != nameLength) return false;
    Name = std::move(name);
    double rotate = 0;
    if (!ReadField(Stream, isMask) || !ReadField(Stream, drawOuter) || !ReadField(Stream, rotate) ||
        !ReadField(Stream, RotateCenterX) || !ReadField(Stream, RotateCenterY) ||
        !ReadField(Stream, hasBitmap))
        return false;
    IsMask = isMask != 0;
    DrawOuter = drawOuter != 0;
    SetRotate(rotate);
    if (hasBitmap == 0 || FBitmap == nullptr) return true;
    return FBitmap->LoadRaw(nullptr, 0, &Stream);
}

// ---- The view's layer stack and current image ----------------------------------------------

void TVistrelView::MakeCurrent(int32_t Index) {
    FCurrentLayer = Index;
    FBitmap = FLayers[Index]->Bitmap();
    FLegacyBitmap = FBitmap->GetLocation() == vlTBitmap ? FBitmap->GetVclBitmap() : nullptr;
}

void TVistrelView::SetCurrentLayer(int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount() || Index == FCurrentLayer) return;
    // The selection keeps its place in the picture across the switch.
    const bool selected = FSelected && FCurrentLayer >= 0;
    if (selected) PushSelection();
    while (LayersSelectableOnly && !FLayers[Index]->Selectable && Index > 0)
        --Index;
    MakeCurrent(Index);
    if (selected) PopSelection(true, 2);
    CallBitmapChangeEvents();
    Update();
}

int32_t TVistrelView::AddLayer() {
    FLayers.push_back(std::make_unique<TVLLayer>(this, FBitmap));
    const int32_t index = GetLayerCount() - 1;
    SetCurrentLayer(index);
    Clear();
    return index;
}

void TVistrelView::RemoveLayer(int32_t Index) {
    const int32_t count = GetLayerCount();
    if (count <= 1 || Index < 0 || Index >= count) return;
    // A mask layer right above belongs to the removed layer and goes with it.
    const int32_t removed = Index + 1 < count && FLayers[Index + 1]->IsMask ? 2 : 1;
    if (removed == count) return;
    const int32_t current = FCurrentLayer;
    const bool currentGoes = current >= Index && current < Index + removed;
    if (currentGoes) {
        FCurrentLayer = -1;
        FBitmap = nullptr;
        FLegacyBitmap = nullptr;
    }
    FLayers.erase(FLayers.begin() + Index, FLayers.begin() + Index + removed);
    if (currentGoes) {
        SetCurrentLayer(std::min(Index, GetLayerCount() - 1));
        return;
    }
    if (current > Index) FCurrentLayer = current - removed;
    Update();
}

void TVistrelView::ClearLayers() {
    if (GetLayerCount() > 1) {
        if (FCurrentLayer != 0) {
            FCurrentLayer = -1;
            FBitmap = nullptr;
            FLegacyBitmap = nullptr;
        }
        FLayers.erase(FLayers.begin() + 1, FLayers.end());
        FLayers[0]->Reset();
        if (FCurrentLayer != 0) {
            MakeCurrent(0);
            CallBitmapChangeEvents();
        }
    }
    Clear();
}

void TVistrelView::FreeChangedMaskCaches() {
    if (ChangedLayer >= 0 && ChangedLayer < GetLayerCount())
        FLayers[ChangedLayer]->MaskAlphaCache.reset();
    else
        for (auto& layer : FLayers)
            layer->MaskAlphaCache.reset();
    ChangedLayer = -1;
}

void TVistrelView::SizeLayersAlike() {
    int32_t w = 0, h = 0;
    for (auto& layer : FLayers) {
        w = std::max(w, layer->Bitmap()->GetWidth());
        h = std::max(h, layer->Bitmap()->GetHeight());
    }
    FBitmapWidth = w;
    FBitmapHeight = h;
    for (auto& layer : FLayers) {
        TVLBitmap& b = *layer->Bitmap();
        if (b.GetWidth() != w || b.GetHeight() != h) {
            if (!b.HasAlphaChannel()) b.GetAlphaChannel()->Fill(255);
            b.ResizeCanvas(w, h, Background(), 0, 0, 0);
        }
        TVLBitmap* alpha = b.HasAlphaChannel() ? b.GetAlphaChannel() : nullptr;
        if (alpha != nullptr && (alpha->GetWidth() != w || alpha->GetHeight() != h))
            alpha->ResizeCanvas(w, h, 0, 0, 0, 0);
    }
}

void TVistrelView::SyncLayers() {
    // A class-library bitmap changed behind the view's back is read again.
    if (FBitmap->GetLocation() == vlTBitmap) {
        FLegacyBitmap = FBitmap->GetVclBitmap();
        FBitmap->SyncFromTBitmap();
    }
    FBitmapWidth = FLayers[0]->Bitmap()->GetWidth();
    FBitmapHeight = FLayers[0]->Bitmap()->GetHeight();
    if (LayersSync && GetLayerCount() > 1) SizeLayersAlike();
}

int32_t TVistrelView::FindLayerAt(int32_t X, int32_t Y, bool SelectableOnly) {
    for (int32_t i = GetLayerCount() - 1; i >= 0; --i) {
        TVLLayer& layer = *FLayers[i];
        if (!layer.Selectable && LayersSelectableOnly && SelectableOnly) continue;
        if (!layer.Visible) continue;
        const TRect& r = layer.ClientRect;
        if (X < r.Left || X > r.Right || Y < r.Top || Y > r.Bottom) continue;
        TVLBitmap& b = *layer.Bitmap();
        if (!b.HasAlphaChannel() || b.IsEmpty() ||
            (FSelectionOptions & vlsoSelectTranspLayers) != 0)
            return i;
        const int32_t bx = std::clamp(layer.ClientToLayerX(X), 0, b.GetWidth() - 1);
        const int32_t by = std::clamp(layer.ClientToLayerY(Y), 0, b.GetHeight() - 1);
        if (b.GetAlphaChannel()->GetPixel8(bx, by) != 0) return i;
    }
    return -1;
}

bool TVistrelView::IsPointInLayer(int32_t X, int32_t Y, int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount()) return false;
    TVLLayer& layer = *FLayers[Index];
    if (!layer.Visible) return false;
    if (layer.Rotate() != 0) return PointInPolygon(X, Y, layer.DrawPolygon, 3);
    const TRect& r = layer.ClientRect;
    return X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom;
}

// Inside a mouse handler the event sees the program's own SelectionBase, as the selection events
// do.
void TVistrelView::DoLayerNotify(int32_t Layer, TVLLayerEvent Event) {
    if (!OnLayerNotify) return;
    const bool exchange = FHandlerDepth > 0;
    if (exchange) std::swap(SelectionBase, FHandlerBase);
    OnLayerNotify(this, Layer, Event);
    if (exchange) std::swap(SelectionBase, FHandlerBase);
}

namespace {

// Extents of the merged picture: right and bottom edges, and the room left of and above 0.
struct TMergeExtents {
    int64_t Right, Bottom, LeftPad = 0, TopPad = 0;
};

TMergeExtents MergeExtentsOf(const std::vector<std::unique_ptr<TVLLayer>>& Layers) {
    const TVLLayer& base = *Layers[0];
    TMergeExtents e{int64_t{base.PosX} + base.GetWidth(), int64_t{base.PosY} + base.GetHeight()};
    for (const auto& layer : Layers) {
        if (layer->Cropped) continue;
        e.Right = std::max(e.Right, int64_t{layer->PosX} + layer->GetWidth());
        e.Bottom = std::max(e.Bottom, int64_t{layer->PosY} + layer->GetHeight());
        e.LeftPad = std::max(e.LeftPad, -int64_t{layer->PosX});
        e.TopPad = std::max(e.TopPad, -int64_t{layer->PosY});
    }
    return e;
}

} // namespace

void TVistrelView::MergedLayersSize(int64_t& Width, int64_t& Height) {
    SyncLayers();
    const TMergeExtents e = MergeExtentsOf(FLayers);
    Width = e.Right + e.LeftPad;
    Height = e.Bottom + e.TopPad;
}

bool TVistrelView::DrawLayersToBitmap(TVLBitmap& Dest) {
    SyncLayers();
    TVLLayer& base = *FLayers[0];
    const TMergeExtents e = MergeExtentsOf(FLayers);
    const int64_t width = e.Right + e.LeftPad, height = e.Bottom + e.TopPad;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
    const auto leftPad = static_cast<int32_t>(e.LeftPad), topPad = static_cast<int32_t>(e.TopPad);
    if (Dest.GetLocation() == vlFile) Dest.SetLocation(vlMemory);
    if (!Dest.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), vl24RGB))
        return false;
    Dest.Fill(Background());
    Dest.GetAlphaChannel()->Fill(255);
    const double zoomX = FZoomX, zoomY = FZoomY;
    const int32_t viewX = FViewX, viewY = FViewY;
    FZoomX = FZoomY = 100;
    SetFactors();
    FViewX = FViewY = 0;
    FOffsetX = leftPad;
    FOffsetY = topPad;
    FExtentWidth = FZoomedWidth = base.Bitmap()->GetWidth();
    FExtentHeight = FZoomedHeight = base.Bitmap()->GetHeight();
    ComposeBackBuffer(Dest, false, false, nullptr);
    FZoomX = zoomX;
    FZoomY = zoomY;
    FViewX = viewX;
    FViewY = viewY;
    SetFactors();
    const bool invalidate = FInvalidateOnUpdate;
    FInvalidateOnUpdate = false;
    Update();
    FInvalidateOnUpdate = invalidate;
    return true;
}

bool TVistrelView::MergeAllLayers() {
    TVLBitmap merged;
    merged.SetLocation(vlMemory);
    if (!merged.Allocate(std::max(FBitmap->GetWidth(), 1), std::max(FBitmap->GetHeight(), 1),
                         vl24RGB))
        return false;
    merged.Fill(Background());
    if (!DrawLayersToBitmap(merged)) return false;
    ClearLayers();
    FBitmap->Assign(&merged);
    Update();
    return true;
}

std::vector<TVLLayer*> TVistrelView::LayersOf(int32_t Index) const {
    std::vector<TVLLayer*> layers;
    for (int32_t i = 0; i < GetLayerCount(); ++i)
        if (Index == -1 || Index == i) layers.push_back(FLayers[i].get());
    return layers;
}

void TVistrelView::ResampleLayer(TVLLayer& Layer) {
    if (Layer.OwnWidth == 0 && Layer.OwnHeight == 0) return;
    // A component of its own, without undo, on the layer's bitmap.
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(Layer.Bitmap());
    proc.Resample(Layer.GetWidth(), Layer.GetHeight(),
                  Layer.UseResampleFilter ? Layer.ResampleFilter : FZoomFilter);
    Layer.OwnWidth = 0;
    Layer.OwnHeight = 0;
}

void TVistrelView::RotateLayer(TVLLayer& Layer) {
    if (Layer.Rotate() == 0) return;
    ResampleLayer(Layer);
    TVLBitmap& bitmap = *Layer.Bitmap();
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    // The new corners must be transparent.
    bitmap.GetAlphaChannel();
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&bitmap);
    proc.SetBackground(Background());
    proc.Rotate(Layer.Rotate(), LayersRotateAntiAlias, LayersRotateMode, -1);
    // The rotated box starts where the leftmost and topmost corner of the layer went.
    const double a = Layer.Rotate() * std::numbers::pi / 180;
    const double c = std::cos(a), s = std::sin(a);
    const double cx = Trunc(w * Layer.RotateCenterX), cy = Trunc(h * Layer.RotateCenterY);
    double minX = 0, minY = 0;
    bool first = true;
    for (const TPoint corner : {TPoint{0, 0}, TPoint{w, 0}, TPoint{w, h}, TPoint{0, h}}) {
        const double dx = corner.X - cx, dy = corner.Y - cy;
        const double x = cx + dx * c + dy * s, y = cy - dx * s + dy * c;
        minX = first ? x : std::min(minX, x);
        minY = first ? y : std::min(minY, y);
        first = false;
    }
    Layer.PosX += static_cast<int32_t>(Round(minX));
    Layer.PosY += static_cast<int32_t>(Round(minY));
    Layer.SetRotate(0);
    CropLayer(Layer);
}

void TVistrelView::CropLayer(TVLLayer& Layer) {
    TVLBitmap& bitmap = *Layer.Bitmap();
    if (!bitmap.HasAlphaChannel() || bitmap.IsEmpty()) return;
    TRect bounds;
    GetAlphaBounds(bitmap, bounds);
    if (bounds.Right < bounds.Left || bounds.Bottom < bounds.Top) return;
    // The opaque part keeps its place: the position moves by the columns and rows cut away,
    // counted in display pixels when the layer is shown at another size.
    const double fx = static_cast<double>(Layer.GetWidth()) / bitmap.GetWidth();
    const double fy = static_cast<double>(Layer.GetHeight()) / bitmap.GetHeight();
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&bitmap);
    proc.CropRect(bounds);
    Layer.PosX += static_cast<int32_t>(Round(bounds.Left * fx));
    Layer.PosY += static_cast<int32_t>(Round(bounds.Top * fy));
    if (Layer.OwnWidth != 0)
        Layer.OwnWidth = std::max(1, static_cast<int32_t>(Round(bitmap.GetWidth() * fx)));
    if (Layer.OwnHeight != 0)
        Layer.OwnHeight = std::max(1, static_cast<int32_t>(Round(bitmap.GetHeight() * fy)));
}

void TVistrelView::ResampleLayers(int32_t Index) {
    for (TVLLayer* layer : LayersOf(Index))
        ResampleLayer(*layer);
    Update();
}

void TVistrelView::ApplyLayersRotation(int32_t Index) {
    for (TVLLayer* layer : LayersOf(Index))
        RotateLayer(*layer);
    Update();
}

void TVistrelView::CropLayersToAlpha(int32_t Index) {
    for (TVLLayer* layer : LayersOf(Index))
        CropLayer(*layer);
    Update();
}

void TVistrelView::Clear() {
    FBitmap->Fill(Background());
    FBitmap->RemoveAlphaChannel(false, Background());
    Update();
}

void TVistrelView::Blank() {
    if (!FBitmap->Allocate(1, 1, FBitmap->IsEmpty() ? vl24RGB : FBitmap->GetPixelFormat())) return;
    Clear();
}

void TVistrelView::Assign(TObject* Source) {
    if (Source == nullptr) {
        Clear();
        return;
    }
    if (auto* view = dynamic_cast<TVistrelView*>(Source)) {
        if (view == this) return;
        FBitmap->Assign(view->GetVLBitmap());
        SetBackground(view->Background());
        SetDpi(view->DpiX(), view->DpiY());
    } else if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
        FBitmap->Assign(bitmap);
        // Only black-and-white and 24-bit colour pictures are taken as they are.
        if (FBitmap->GetPixelFormat() != vl1g && FBitmap->GetPixelFormat() != vl24RGB) {
            TVLBitmap colour;
            colour.SetLocation(vlMemory);
            if (colour.Allocate(FBitmap->GetWidth(), FBitmap->GetHeight(), vl24RGB)) {
                for (int32_t y = 0; y < colour.GetHeight(); ++y)
                    for (int32_t x = 0; x < colour.GetWidth(); ++x)
                        colour.SetPixelRGB(x, y, FBitmap->GetPixelAsRGB(x, y));
                FBitmap->AssignImage(colour);
            }
        }
    } else {
        return;
    }
    Update();
    ImageChange();
}

void TVistrelView::SetExternalBitmap(TVLBitmap* Bitmap) {
    if (FCurrentLayer < 0) return;
    TVLLayer& layer = *FLayers[FCurrentLayer];
    if (Bitmap == nullptr) {
        // The caller takes its bitmap back: the layer gets an empty one of its own, and every
        // attached component follows it.
        auto own = std::make_unique<TVLBitmap>();
        if (FLegacyBitmapOn) own->SetLocation(vlTBitmap);
        layer.AttachOwnedBitmap(std::move(own));
    } else {
        if (Bitmap == layer.Bitmap()) return;
        layer.AttachExternalBitmap(Bitmap);
    }
    MakeCurrent(FCurrentLayer);
    CallBitmapChangeEvents();
    Update();
}

void TVistrelView::SetLegacyBitmap(bool Value) {
    if (Value == FLegacyBitmapOn) return;
    FLegacyBitmapOn = Value;
    FBitmap->SetLocation(Value ? vlTBitmap : vlFile);
    FLegacyBitmap = FBitmap->GetLocation() == vlTBitmap ? FBitmap->GetVclBitmap() : nullptr;
    CallBitmapChangeEvents();
    Update();
}

void TVistrelView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    TVLView::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (FBitmap == nullptr) return;
    if (InState(csReading) || InState(csLoading) || InState(csDesigning)) {
        if (FBitmap->Allocate(std::max(Width(), 1), std::max(Height(), 1),
                              FBitmap->IsEmpty() ? vl24RGB : FBitmap->GetPixelFormat()))
            Clear();
    }
}
