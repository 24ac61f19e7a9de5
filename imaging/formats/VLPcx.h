// PC Paintbrush files (PCX: 1-bit, 16-colour planes, 4- and 8-bit palettes, 24-bit planes; raw
// or run-length coded) and their multi-page container DCX.
#pragma once

#include "imaging/io/VLFileFormats.h"

// Reads the PCX of DataSize bytes at the stream position (never more than the stream holds).
// The 256-colour palette is taken from the end of the data only behind its 0x0C marker, else a
// grey ramp. A bad header, a layout other than 1 bit, 4 planes of 1 bit, 4 or 8 bits in one
// plane and 3 planes of 8 bits, bytes per line too few for the width, or a picture the data
// cannot hold set the abort flag; data that ends early keeps the rows decoded and sets it.
void ReadPCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, int32_t DataSize,
                   TVLProgressRecord& Progress, bool ParamsOnly);
// Writes Bitmap as a PCX at the stream position: 1 bit for BitsPerSample 1, else
// BitsPerSample x SamplesPerPixel bits when that is 4, 8 or 24 (4 and 8 quantized), otherwise 24
// (1 for a vl1g bitmap). PcxCompression 1 codes the lines run-length. A size the 16-bit header
// cannot hold, and a short write, set the abort flag.
void WritePCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress);

// True when the stream starts with the DCX magic and every listed page offset lies inside the
// stream; the position is restored.
bool IsDCXStream(TStream& Stream);
// Reads page DcxImageIndex (clamped to the pages; stored back with SetImageIndex, the page count
// with SetImageCount) with the PCX reader. A stream that is not DCX, or without pages, sets the
// abort flag.
void ReadDCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly);
// Rebuilds the whole stream as a DCX holding its old pages with Bitmap written as a new page
// before old page DcxImageIndex (clamped to 0 .. pages; the page count appends it). The
// container is made in memory first: a stream that is neither empty nor DCX, or a page write
// that fails, sets the abort flag and leaves the stream as it was.
void WriteDCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress);
