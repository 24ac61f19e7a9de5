// The JPEG 2000 adapter: JP2 files and bare codestreams read into and written from TVLBitmap
// through OpenJPEG, which works directly on the caller's stream.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <array>

// YCbCr to RGB terms of an 8-bit chroma sample (luma weights 0.299, 0.587, 0.114), built by
// InitializeJpeg2000Unit: R = Y + CrToR[Cr], G = Y + CbToG[Cb] + CrToG[Cr], B = Y + CbToB[Cb].
extern std::array<int32_t, 256> J2KCrToR;
extern std::array<int32_t, 256> J2KCbToB;
extern std::array<int32_t, 256> J2KCrToG;
extern std::array<int32_t, 256> J2KCbToG;

// Reads the JP2 file or codestream at the stream position into Bitmap (vl1g for one 1-bit
// component, else vl24RGB) and Params. Grey, RGB and YCbCr images are read; subsampled
// components cover the whole image; every sample becomes 8 bits. Anything else, and damaged or
// truncated data, sets the abort flag.
void ReadJPEG2000Stream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                        TVLProgressRecord& Progress, bool ParamsOnly);
// Writes Bitmap as a JP2 file (Format 0) or a bare codestream (Format 1): grey or RGB as
// Params.J2000ColorSpace says, samples of Params.BitsPerSample bits, an opacity component when
// the alpha channel is not full, compressed at Params.J2000Rate (1 and above: lossless) in
// Params.J2000Progression. A vl1g bitmap is written as 1-bit grey and changes Params to say so.
// A colour space, format or image the encoder cannot take, and a failed write, set the abort
// flag.
void WriteJPEG2000Stream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                         TVLProgressRecord& Progress, int32_t Format);
// The stream starts with the JP2 signature box; the position is kept.
bool IsJP2Stream(TStream& Stream);
// The stream starts with the SOC and SIZ markers of a codestream; the position is kept.
bool IsJ2KStream(TStream& Stream);

// Builds the YCbCr tables.
void InitializeJpeg2000Unit();
// Places the unit's start-up in the library's start-up sequence.
void RegisterJpeg2000Unit();
