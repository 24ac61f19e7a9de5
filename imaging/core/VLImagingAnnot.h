// Imaging annotations: the marks (lines, freehand strokes, text notes, stamps, images) that
// document-imaging software stores in TIFF tag 32932, read into objects and written back.
#pragma once

#include "imaging/core/VLBitmap.h"

#include <memory>
#include <vector>

#pragma pack(push, 1)
// The font of a text mark, in the layout of the Windows LOGFONTA record.
struct TVLMarkFont {
    int32_t Height = 0;
    int32_t Width = 0;
    int32_t Escapement = 0;
    int32_t Orientation = 0;
    int32_t Weight = 0;
    uint8_t Italic = 0;
    uint8_t Underline = 0;
    uint8_t StrikeOut = 0;
    uint8_t CharSet = 0;
    uint8_t OutPrecision = 0;
    uint8_t ClipPrecision = 0;
    uint8_t Quality = 0;
    uint8_t PitchAndFamily = 0;
    char FaceName[32] = {};
};

// One mark as stored in the block stream (little-endian).
struct TVLMarkAttributes {
    // 1 image, 3 and 4 line and freehand, 7 to 10 text kinds; other values carry attributes only.
    uint32_t MarkType = 0;
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    // Blue, green, red, reserved.
    uint8_t Color1[4] = {};
    uint8_t Color2[4] = {};
    int32_t Highlighting = 0;
    int32_t Transparent = 0;
    uint32_t LineSize = 0;
    uint32_t Reserved1[2] = {};
    TVLMarkFont Font;
    int32_t Minimizable = 0;
    uint32_t Time = 0;
    int32_t Visible = 0;
    uint32_t Permissions = 0;
    uint32_t Reserved2[10] = {};
};
#pragma pack(pop)
static_assert(sizeof(TVLMarkFont) == 60);
static_assert(sizeof(TVLMarkAttributes) == 164);

struct TVLAnnotPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TVLAnnotPoint&, const TVLAnnotPoint&) = default;
};

// One annotation mark.
class TVLImagingObject : public TObject {
public:
    TVLMarkAttributes Attributes;
    // Points of line and freehand marks.
    std::vector<TVLAnnotPoint> Points;
    // Text of text marks.
    AnsiString Text;
    // Image of image marks, or nil.
    std::unique_ptr<TVLBitmap> Image;

    int32_t PointCount() const { return static_cast<int32_t>(Points.size()); }
};

class TVLImagingAnnot : public TObject {
public:
    TVLImagingAnnot() = default;
    TVLImagingAnnot(const TVLImagingAnnot&) = delete;
    TVLImagingAnnot& operator=(const TVLImagingAnnot&) = delete;

    // The owning parameter record, or nil; not owned.
    TObject* Parent = nullptr;
    std::vector<std::unique_ptr<TVLImagingObject>> Objects;
    bool UserChanged = false;

    void Clear() { Objects.clear(); }
    // Replaces the list with copies of Source's marks; nil does nothing.
    void Assign(const TVLImagingAnnot* Source);
    // Replaces the list with the marks of an annotation block. Every read is checked against
    // Length: damaged data ends the reading, keeping the marks completed before it.
    void LoadFromBuffer(const void* Data, int32_t Length);
    // The annotation block of the list; empty when the list is.
    std::vector<uint8_t> SaveToBuffer();
};
