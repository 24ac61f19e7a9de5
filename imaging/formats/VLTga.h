// Truevision Targa files: colour-mapped, true-colour and grey pictures, raw or run-length coded,
// with the version-2 footer and extension area.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLMask;

// True when the 18-byte header at the stream position names image type 1 to 3 or 9 to 11, a
// pixel depth of 1, 4, 8, 16, 24 or 32, a colour-map type of 0 or 1 and a size above 0; the
// position is restored.
bool IsTGAStream(TStream& Stream);
// Reads the Targa at the stream position into a vl1g (depth 1) or vl24RGB bitmap; the footer's
// extension area (only one that lies inside the stream) gives TgaAuthor, TgaDate, TgaImageName,
// TgaBackground, TgaAspectRatio and TgaGamma. Unless IgnoreAlpha, alpha from 32-bit pixels,
// 32-bit map entries or 16-bit grey pixels (grey and alpha) goes into AlphaMask (made when nil);
// the mask is nil afterwards when it is wholly transparent or wholly opaque. A header that fails
// the test, depth 4, a map entry size other than 15, 16, 24 and 32, or a picture the data cannot
// hold set the abort flag; data that ends early keeps the rows decoded and sets it.
void ReadTGAStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha);
// Writes Bitmap (a format other than vl24RGB and vl1g through a 24-bit copy) as
// a top-down Targa with an extension area and the version-2 footer. SamplesPerPixel 1 chooses
// 1, 4 or 8 bits by BitsPerSample (8 bits as grey levels under TgaGrayLevel), else 24 bits; 32
// bits when AlphaMask is given and not full. 1, 4 and 32 bits are written raw (TgaCompressed is
// cleared), 8 and 24 bits run-length coded under TgaCompressed. A size the 16-bit header cannot
// hold, and a short write, set the abort flag.
void WriteTGAStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, TVLMask* AlphaMask);
