// The resampling engine: entry points that choose the resampler for the source's pixel format
// and the filter, and the two-pass kernel resampler with its filter table.
//
// Part of the image-processing unit; it sits in the core because the renderer and the bitmap's
// canvas output resample through it.
#pragma once

#include "imaging/core/VLBitmap.h"

// The kernel resampler uses the processor's vector instructions where it has them; false runs
// the plain loops, which give the same results (tests compare the two).
extern bool ResampleVectorKernels;
// False keeps the vector kernels to their SSE forms on a processor with AVX2 (tests compare the
// two).
extern bool ResampleAvx2Kernels;

// Resamples Source into Dest's current size. Dest is allocated by the caller in the format the
// chosen path writes: vl24RGB for vl24RGB sources (the projection filters reallocate it as
// vl1g), Source's own format for vl8g, vl16g and vlRGB48 sources. Sources of other formats,
// rfNone and a Dest of the wrong format leave Dest untouched.
void _ResampleEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                 const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// One byte per pixel (a grey image or an alpha channel) into a pre-sized 8-bit Dest. The fast,
// bilinear, bicubic and projection filters all interpolate linearly here.
void _Resample8BitEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter);
// A vl1g Source into grey vl24RGB, or into vl1g for rfProjectBW and rfProjectWB.
void _Resample1BitEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter);
