// Whole-image routines shared by the view and image processing: resampling with the alpha
// channel, filling hidden pixels and rectangles, mirroring, comparison and the bounds of the
// opaque area.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/rtl/Types.h"

// Resamples Source into Dest's current size, alpha channel included (Dest's alpha is created on
// demand and takes Source's alpha Full flag). rfNone stretches by nearest neighbour and needs
// Dest in Source's format; a vl1g Source gives vl1g for the projection filters, else vl24RGB.
// Pixels hidden under fully transparent ones are filtered as grey 128 so that no filter blends
// their colours in; Source itself is left unchanged.
void ResampleWithAlpha(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                       const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Sets every pixel of a vl24RGB bitmap whose alpha is 0 to Color. Other formats are left alone.
// A bitmap without an alpha channel gains an opaque one and keeps its pixels.
void FillTransparentPixels(TVLBitmap& Bitmap, const TVLRGB& Color);
// The inclusive bounding box of the non-zero alpha: the whole bitmap without an alpha channel,
// (width, height, -1, -1) as (Left, Top, Right, Bottom) when every alpha byte is 0.
void GetAlphaBounds(TVLBitmap& Bitmap, TRect& Rect);
// Direction 0 mirrors left to right, 1 turns the rows upside down; the alpha channel follows.
// Every pixel format is mirrored by its pixel size. Other directions change nothing.
void FlipBitmap(TVLBitmap& Bitmap, uint8_t Direction);
// Fills columns X1 .. X2 - 1 of rows Y1 .. Y2 - 1 (clipped to the bitmap) with Color: vl24RGB
// pixels take it, vl1g bits are set when its red byte is not 0 and cleared otherwise; other
// formats are left alone. vl24RGB reports rows done x 100 / (rows + 0.5) after each row.
void FillRectRGB(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 const TVLRGB& Color, const TVLProgressEvent& OnProgress = nullptr,
                 TObject* Sender = nullptr);
// Same size, pixel format, row length and presence of an alpha channel, and equal rows and alpha
// rows.
bool BitmapsEqual(TVLBitmap& A, TVLBitmap& B);
