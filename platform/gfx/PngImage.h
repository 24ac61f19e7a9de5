// The class library's PNG image over libpng: every colour type and depth decoded to straight
// (not premultiplied) 8-bit blue, green, red, alpha, with the file's transparency facts.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Graphic.h"

#include <vector>

// None: every pixel opaque. Bit: one colour (a tRNS key, or palette entries of alpha 0 only) is
// transparent. Partial: an alpha channel or palette alpha values between 0 and 255.
enum TPNGTransparencyMode : uint8_t { ptmNone, ptmBit, ptmPartial };

// The header chunk's facts.
struct TPNGHeader {
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t BitDepth = 0;
    // 0 grey, 2 colour, 3 palette, 4 grey with alpha, 6 colour with alpha.
    uint8_t ColorType = 0;
    uint8_t InterlaceMethod = 0;
};

class TPngImage : public TGraphic {
public:
    int32_t Width() const override { return FHeader.Width; }
    int32_t Height() const override { return FHeader.Height; }
    // Composes the picture by its alpha over what Rect of the canvas holds (nearest pixel when
    // stretched).
    void Draw(TCanvas& ACanvas, const TRect& Rect) override;
    // Bad or truncated data raises EInvalidGraphic with libpng's message and leaves the image
    // empty.
    void LoadFromStream(TStream& Stream) override;
    // Writes 8-bit colour with alpha (colour alone when every pixel is opaque).
    void SaveToStream(TStream& Stream) override;

    const TPNGHeader& Header() const { return FHeader; }
    TPNGTransparencyMode TransparencyMode() const { return FTransparencyMode; }
    // The transparent colour of ptmBit (clNone otherwise), scaled to 8 bits per channel.
    TColor TransparentColor() const { return FTransparentColor; }
    // Row Row (0 = top): Width pixels of blue, green, red, alpha.
    const uint32_t* Scanline(int32_t Row) const;
    // Row Row's alpha bytes, one per pixel (255 where the file gives no transparency).
    const uint8_t* AlphaScanline(int32_t Row) const;

    // Replaces the pixels by Width x Height straight BGRA values (rows from the top).
    void SetPixels(int32_t AWidth, int32_t AHeight, const uint32_t* Pixels);

private:
    TPNGHeader FHeader;
    TPNGTransparencyMode FTransparencyMode = ptmNone;
    TColor FTransparentColor = clNone;
    std::vector<uint32_t> FPixels;
    std::vector<uint8_t> FAlpha;
};
