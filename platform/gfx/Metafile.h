// The class library's metafile graphic, and the player that draws Windows metafiles (WMF, with or
// without their 22-byte placeable header) and enhanced metafiles (EMF) through the drawing layer.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/gfx/Graphic.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Plays the metafile's records onto Dc, mapping its picture frame onto Rect (device
// coordinates). The device context's state is the same afterwards. False when Data holds no
// metafile of the kind; a record that is cut short or shorter than its fields ends playback,
// keeping what was drawn.
bool PlayEnhMetaFile(HDC Dc, const uint8_t* Data, size_t Size, const TRect* Rect);
bool PlayMetaFile(HDC Dc, const uint8_t* Data, size_t Size, const TRect* Rect);

// The picture's size in pixels at 96 dots per inch (see TMetafile) and its kind; false when
// Data holds no metafile header.
bool MetafilePictureSize(const uint8_t* Data, size_t Size, bool& Enhanced, TSize& Pixels);

class TMetafile : public TGraphic {
public:
    // Pixels at 96 dots per inch: an enhanced metafile's frame (0.01 mm), a placeable one's box
    // in its units per inch, another Windows metafile's first window extent (0 without one).
    int32_t Width() const override { return FWidth; }
    int32_t Height() const override { return FHeight; }
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    bool Enhanced() const { return FEnhanced; }
    void Draw(TCanvas& ACanvas, const TRect& Rect) override;
    // Reads from the stream's position to its end; anything but a metafile raises
    // EInvalidGraphic and leaves the graphic empty.
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    const std::vector<uint8_t>& Data() const { return FData; }

private:
    void Clear();
    std::vector<uint8_t> FData;
    bool FEnhanced = false;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};
