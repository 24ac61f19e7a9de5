// Fast linear resamplers (integer arithmetic, 17-bit fractions), black-and-white to grey
// reduction and the black-and-white projection resamplers that keep thin lines.
//
// Part of the image-processing unit; it sits in the core because the renderer and the resampling
// engine (VLResample) call it.
#pragma once

#include "imaging/core/VLBitmap.h"

// Every routine writes into a Dest that the caller has sized; a Dest of the wrong pixel format
// is left untouched (the projections reallocate it as vl1g). OnProgress may be empty.

// vl24RGB into vl24RGB: enlarged axes are interpolated, reduced axes averaged over spans whose
// neighbours share their boundary pixel. The same size in both directions copies Source.
void ResampleFastLinear24(TVLBitmap& Source, TVLBitmap& Dest,
                          const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// ResampleFastLinear24 of the part of Source inside Part (Right and Bottom exclusive), read in
// place; a part outside Source leaves Dest untouched. The renderer's resampled rectangles.
void ResampleFastLinear24Part(TVLBitmap& Source, const TRect& Part, TVLBitmap& Dest);
// The same on one byte per pixel (grey images and alpha channels).
void ResampleFast8Bit(TVLBitmap& Source, TVLBitmap& Dest,
                      const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// vl1g into grey vl24RGB: interpolated when either axis is enlarged, else Shrink1BitToGray. The
// same size in both directions makes Dest a vl1g copy.
void ResampleFast1Bit(TVLBitmap& Source, TVLBitmap& Dest,
                      const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Area reduction of the inclusive rectangle X1..X2 by Y1..Y2 of a vl1g Source into the whole of a
// vl24RGB Dest: each pixel is 255 x (set bits) div (pixels) of its box, written as grey. The
// rectangle is clipped to Source.
void Shrink1BitToGray(TVLBitmap& Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      TVLBitmap& Dest);
// Reduce vl24RGB (or vl1g) Source to a vl1g Dest in which any dark pixel of a box makes the
// destination pixel black (WhiteOnBlack false), or any light pixel makes it white (true).
void ProjectResample24(TVLBitmap& Source, TVLBitmap& Dest, bool WhiteOnBlack,
                       const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
void ProjectResample1Bit(TVLBitmap& Source, TVLBitmap& Dest, bool WhiteOnBlack,
                         const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
