// The PNG adapter: PNG files read into and written from TVLBitmap through libpng.
#pragma once

#include "imaging/io/VLFileFormats.h"

class TVLMask;

// Reads the PNG at the stream position into Bitmap (vl1g, vl24RGB with an alpha channel when the
// file has transparency, or with NativePixelFormat the file's own vl8p, vl8g or vl16g) and
// Params. Broken or truncated files set the abort flag; rows read before stay.
void ReadPNGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly);
// Writes Bitmap as PNG with the options of Params; a Mask (8-bit, Bitmap's size) that is not
// full becomes the transparency. With SamplesPerPixel 1 the image is written as 1-bit grey,
// palette or grey, else as RGB. Raises EInvalidGraphic "Error on creating PNG" when libpng
// refuses the image; a short write sets the abort flag.
void WritePNGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, TVLMask* Mask);
// The stream starts with the PNG signature's first four bytes; the position is kept.
bool IsPNGStream(TStream& Stream);
