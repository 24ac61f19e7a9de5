// The layers of the single-image view: the layer record, its coordinate mapping and its undo
// record.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLRenderOps.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Types.h"

#include <memory>

class TVistrelView;

// Grips of a layer box; vlNone is no grip.
enum class TVLGrip : uint8_t {
    vlNone,
    vlTopLeft,
    vlTopRight,
    vlBottomRight,
    vlBottomLeft,
    vlLeftSide,
    vlRightSide,
    vlTopSide,
    vlBottomSide,
    vlRotationCenter
};

enum TVLLayerEvent : uint8_t {
    vllSelected,
    vllMoved,
    vllResized,
    vllMoving,
    vllResizing,
    vllRotating,
    vllRotated
};

// One layer of a view: a bitmap placed over layer 0, optionally scaled, rotated, made partly
// transparent, used as a magnifier or as the mask of the layer below.
//
// Ownership of the bitmap is explicit: a layer either owns its bitmap (OwnsBitmap() true, freed
// with the layer or when another bitmap is attached) or only refers to a bitmap that stays its
// caller's (attached with AttachExternalBitmap). Nothing else frees a layer's bitmap.
class TVLLayer : public TObject {
public:
    // A layer owning a new empty bitmap shaped like Shape: same size and pixel format, pixels in
    // a class-library bitmap when Shape keeps them there, else in Shape's location. nil: an
    // empty bitmap.
    TVLLayer(TVistrelView* Owner, TVLBitmap* Shape);
    // A layer using Bitmap as it is; the layer owns it from now on.
    TVLLayer(TVistrelView* Owner, std::unique_ptr<TVLBitmap> Bitmap);
    ~TVLLayer() override;
    TVLLayer(const TVLLayer&) = delete;
    TVLLayer& operator=(const TVLLayer&) = delete;

    // The defaults of every field except ResampleFilter, UseResampleFilter and Name.
    void Reset();
    // Copies the settings, the bitmap's content and the user data; not Rotate, the rotation
    // centre or LayerID.
    void Assign(TVLLayer& Source);

    TVLBitmap* Bitmap() const { return FBitmap; }
    bool OwnsBitmap() const { return FOwnedBitmap != nullptr; }
    // Makes Bitmap the layer's own (the one owned before is freed).
    void AttachOwnedBitmap(std::unique_ptr<TVLBitmap> Bitmap);
    // Makes the caller's Bitmap the layer's without taking it over (the one owned before is
    // freed).
    void AttachExternalBitmap(TVLBitmap* Bitmap);

    double Rotate() const { return FRotate; }
    // A whole multiple of 360 degrees is stored as 0.
    void SetRotate(double Angle);
    int32_t GetWidth() const;
    int32_t GetHeight() const;

    // The record of the processing component's undo; Stream is little-endian.
    void SaveToStream(TStream& Stream, bool WithBitmap);
    // False, and the layer as it was from the first field that could not be read, when the
    // record is truncated or holds impossible lengths.
    bool LoadFromStream(TStream& Stream);

    // Client pixel to layer bitmap pixel and back, through the owner's zoom.
    int32_t ClientToLayerX(int32_t X);
    int32_t ClientToLayerY(int32_t Y);
    int32_t LayerToClientX(int32_t BX);
    int32_t LayerToClientY(int32_t BY);

    // Caller's data block, a copy of which the layer keeps.
    const uint8_t* UserData() const { return FUserData.get(); }
    int32_t UserDataLen() const { return FUserDataLen; }
    void SetUserData(const void* Data, int32_t Length);

    TVistrelView* Owner = nullptr;
    int32_t OwnWidth = 0;
    int32_t OwnHeight = 0;
    // Combined alpha of this layer and the mask layer above it, kept by the composition.
    std::unique_ptr<TVLBitmap> MaskAlphaCache;
    bool Visible = true;
    bool VisibleBox = true;
    int32_t Transparency = 255;
    int32_t PosX = 0;
    int32_t PosY = 0;
    TRect ClientRect;
    bool Cropped = false;
    bool Locked = false;
    bool Selectable = true;
    bool Magnify = false;
    double MagnifyRatio = 2.0;
    uint8_t MagnifyShape = 0;
    uint8_t MagnifySource = 1;
    TVLRenderOperation Operation = vlroCopy;
    TResampleFilter ResampleFilter = rfNone;
    bool UseResampleFilter = false;
    AnsiString Name;
    bool IsMask = false;
    int32_t DrawRecord[8] = {};
    TPoint DrawPolygon[4] = {};
    bool DrawOuter = false;
    TGUID LayerID;
    double RotateCenterX = 0.5;
    double RotateCenterY = 0.5;

private:
    TVLBitmap* FBitmap = nullptr;
    std::unique_ptr<TVLBitmap> FOwnedBitmap;
    double FRotate = 0;
    std::unique_ptr<uint8_t[]> FUserData;
    int32_t FUserDataLen = 0;
};

// A new random layer identity.
TGUID NewLayerID();
