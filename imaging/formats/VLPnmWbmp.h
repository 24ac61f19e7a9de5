// Portable anymaps (PBM, PGM, PPM: "P1" to "P6", plain and raw, samples up to 16 bits) and
// wireless bitmaps (WBMP type 0).
#pragma once

#include "imaging/io/VLFileFormats.h"

// The next header token at the stream position: a run of letters and digits (the byte that ends
// it is consumed), or "#" followed by the trimmed rest of a comment line. Other bytes before it
// are skipped; empty at the end of the stream.
void ReadPNMToken(TStream& Stream, AnsiString& Token);
// True when the stream starts with a PNM header of positive width and height (comments may come
// first); the position is restored.
bool IsPNMStream(TStream& Stream);
// Reads the PNM at the stream position. Comment lines go to PxmComments. Every sample is scaled
// from maxval to 8 bits, or to 16 bits for a 16-bit "P6" read as vlRGB48 under
// NativePixelFormat; samples above maxval count as maxval. A bad header, a maxval outside 1 to
// 65535 or a picture the data cannot hold set the abort flag; a raster that ends early leaves
// the pixels not reached black and sets the abort flag.
void ReadPNMStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly);
// Writes a raw PNM with the PxmComments lines after the magic: vl1g as "P4", vl8g as "P5",
// vlRGB48 as a 16-bit "P6". A vl24RGB bitmap (and, from a 24-bit copy, any other) follows
// BitsPerSample and SamplesPerPixel: 1 and 1 "P4", 8 and 1 "P5", 16 and 3 a 16-bit "P6",
// otherwise an 8-bit "P6". A short write sets the abort flag.
void WritePNMStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress);

// A WBMP multi-byte integer: big-endian 7-bit groups, every byte but the last with its top bit
// set, at most 4 bytes; the groups read so far at the end of the stream.
int32_t ReadWBMPMultiByteInt(TStream& Stream);
// Reads a type 0 WBMP at the stream position into a vl1g bitmap. Another type, a zero size or a
// picture the data cannot hold set the abort flag; rows the data does not reach stay black and
// set the abort flag.
void ReadWBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, bool ParamsOnly);
// Writes Bitmap as a type 0 WBMP (from a vl1g copy unless it is vl1g). Params is part of the
// writers' calling convention and not used. A short write sets the abort flag.
void WriteWBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressRecord& Progress);
