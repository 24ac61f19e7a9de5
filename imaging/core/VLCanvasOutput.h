// Canvas output and hint boxes: a bitmap drawn onto a device context directly (stretched,
// resampled and gamma-corrected, in strips of bounded size), packed DIBs drawn onto canvases,
// the hint boxes the views show beside the mouse, and the platform's DrawDib calls.
//
// _CopyBitmaptoDIBEx and ApplyGammaToDIB are image-processing routines; they sit here because the
// bitmap's canvas output and the annotations' image objects call them.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/DrawDib.h"
#include "platform/gfx/GlobalMemory.h"

#include <memory>

// Largest packed DIB a strip of RenderToCanvas makes, in bytes.
constexpr int64_t MaxRenderStripBytes = 41943040;
// Rows per strip of RenderToCanvas for a Width x Height 24-bit target: at most a quarter of
// MinFileSize and at most MaxRenderStripBytes per strip, at least one row.
int32_t RenderStripHeight(int32_t Width, int32_t Height, int32_t BitAlignment, int64_t MinFileSize);

/// A packed bottom-up DIB (40-byte header, colour table for 8 bits or fewer, rows) of the
/// rectangle X1..X2-1 by Y1..Y2-1 of Bitmap (X2, Y2 = 0: the width, the height), clipped to
/// the bitmap: vl1g as 1 bit black and white, vl8p and vl8g as 8 bits with the palette or a
/// grey ramp, every other format as 24 bits. The resolution fields hold the dots per inch in
/// pixels per metre. nil for an empty rectangle or when the memory cannot be had; the caller
/// frees the block with GlobalFree.
HGLOBAL _CopyBitmaptoDIBEx(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                           int32_t DpiX, int32_t DpiY);
// Every byte of a 24-bit uncompressed packed DIB through the table 255 x (i / 255)^(1 / Gamma),
// rounded; other DIBs, and Gamma 0 or below, stay as they are.
void ApplyGammaToDIB(HGLOBAL DIB, double Gamma);
// The gamma table of RenderToCanvas and ApplyGammaToDIB.
void MakeGammaTable(double Gamma, uint8_t (&Table)[256]);

// Draws the rectangle (SrcX, SrcY) - (SrcX + Width, SrcY + Height) of Bitmap 1:1 at (X, Y)
// through a packed DIB at 200 x 200 dots per inch.
void PrintPict(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Height, int32_t Width, int32_t SrcY,
               int32_t SrcX, TVLBitmap& Bitmap);
// Stretches the source rectangle of a packed DIB (measured as StretchDIBits measures it) into
// the destination rectangle, nearest pixel (COLORONCOLOR), with SRCCOPY. Nothing for a handle
// that is not a complete packed DIB.
void _DIBDrawTo(TCanvas* Canvas, HGLOBAL DIB, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight);

/// Draws a text box with a 3-D frame at (X + 6, Y + 6), moved so that it stays inside
/// MaxWidth x MaxHeight (X and Y return where the box went). SaveBitmap (made when nil)
/// receives the canvas area the box covers, from (X, Y), so that drawing it back at (X, Y)
/// restores the background.
void DrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const String& Text, TFont* Font,
                 TBrush* Brush, std::unique_ptr<TBitmap>& SaveBitmap, int32_t MaxWidth,
                 int32_t MaxHeight, TColor TopLeftColor, TColor BottomRightColor);
// A half-transparent yellow box with Text, sized for the longer of Text and SizingText, drawn
// anti-aliased at (X + 6, Y + 6); X and Y are raised to 0.
void DrawTranslucentHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const String& Text,
                            const String& SizingText);
