// The GIF codec: one frame of a GIF file read (all frames counted), single-frame GIF files
// written. LZW coding goes through the record's or the library's replaceable procedures.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLMask;

// Reads frame Params.GifImageIndex of the GIF at the stream position into Bitmap (vl1g for a
// black-and-white two-entry table, else vl8p with NativePixelFormat, else vl24RGB) and the frame's
// fields of Params; FrameCount receives the frames met and Params the image count. Comments of
// every frame are appended to GifComments (Windows-1252 text). Unless IgnoreAlpha, the pixels of
// a transparent frame's transparent index are 0 in AlphaMask (made when nil; nil when no pixel
// is transparent). With ParamsOnly the bitmap is left alone. A file that is not a GIF, frame
// data that cannot be decoded and an index buffer that cannot be had set the abort flag; a frame
// index that is not in the file decodes nothing.
void ReadGIFStream(TStream& Stream, TVLBitmap& Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha);
// Writes Bitmap as a one-frame GIF of 2^BitsPerSample colours (1 to 8; other values write 8).
// A bitmap with an alpha channel reserves the last index for its transparent pixels (every
// alpha below 255) and sets GifTransparent. The comment lines of GifComments follow the frame.
// No LZW encoder, and a short write, set the abort flag.
void WriteGIFStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress);
