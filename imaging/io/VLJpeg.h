// The JPEG adapter: reads JPEG datastreams into bitmaps and parameter records and writes them
// back through the system's JPEG library, finds and measures JPEG data in streams, joins ICC
// profiles split over APP2 markers, and wraps the decompressor for the camera-raw reader.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <cstdint>

// The JPEG library's decompressor record, opaque outside the adapter.
struct jpeg_decompress_struct;
using TVLJpegDecompressor = jpeg_decompress_struct;
// The library's fill-input-buffer callback: answers nonzero when it supplied data.
using TVLJpegFillInputBuffer = int (*)(TVLJpegDecompressor* Decompressor);

// A JPEG library error while writing, or in the camera-raw wrappers; the message is the
// library's text of the error with its parameters written as "?".
class EVLJpegException : public Exception {
public:
    using Exception::Exception;
};

/// Reads the JPEG datastream that starts within 150 bytes of Stream's position. TablesStream
/// (or nil) holds an abbreviated table-specification datastream read first. KeepYCbCr delivers
/// Y, Cb, Cr bytes; InvertCMYK inverts CMYK samples before their conversion to 24-bit; MaxLines
/// -1 reads every row. Bad data sets the progress record's abort flag; only an error in the
/// tables stream raises EVLJpegException. Returns the number of rows delivered.
int32_t ReadJPEGStream(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                       TIOParamsVals& Params, TVLProgressRecord& Progress, bool ParamsOnly,
                       bool KeepYCbCr, bool ReadMetadata, bool InvertCMYK,
                       bool ReleaseAppliedProfile, bool ReadICCProfile, int32_t MaxLines,
                       bool NativePixelFormat);
/// Writes Bitmap (any pixel format, encoded from 24-bit colour) with the JPEG options and the
/// markers of Params. An empty bitmap or a short write sets the abort flag; a library error
/// sets it and raises EVLJpegException.
void WriteJPEGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressRecord& Progress);
// Offset of the first FF D8 FF that starts within 150 bytes of the position, or -1; the
// position is restored.
int64_t FindJPEGStart(TStream& Stream);
// Bytes from the position through the end-of-image marker; -1 when the stream ends first or a
// segment length is impossible. The position is restored.
int32_t GetJPEGStreamLength(TStream& Stream);
// Joins the ICC profile chunks of the APP2 markers from the position into Params' embedded
// profile. A profile with a missing or repeated chunk is dropped. The position is restored.
void ReadJPEGICCProfile(TStream& Stream, TIOParamsVals& Params);

// Thin wrappers for the camera-raw reader, on a decompressor record the caller owns. A library
// error inside any of them raises EVLJpegException.
TVLJpegDecompressor* JPEGAllocDecompress();
void JPEGFreeDecompress(TVLJpegDecompressor* Decompressor);
// An error manager with no abort flag, attached to Decompressor.
void JPEGAllocErrorManager(TVLJpegDecompressor* Decompressor);
void JPEGFreeErrorManager(TVLJpegDecompressor* Decompressor);
void JPEGCreateDecompress(TVLJpegDecompressor* Decompressor);
void JPEGDestroyDecompress(TVLJpegDecompressor* Decompressor);
// Reads from Stream's position; Stream must outlive the decompression.
void JPEGSetStreamSource(TVLJpegDecompressor* Decompressor, TStream& Stream);
void JPEGSetFillInputBuffer(TVLJpegDecompressor* Decompressor, TVLJpegFillInputBuffer Callback);
void JPEGSetSourceBuffer(TVLJpegDecompressor* Decompressor, const uint8_t* Data, uint32_t Size);
int32_t JPEGReadHeader(TVLJpegDecompressor* Decompressor, bool RequireImage);
bool JPEGStartDecompress(TVLJpegDecompressor* Decompressor);
bool JPEGFinishDecompress(TVLJpegDecompressor* Decompressor);
int32_t JPEGGetOutputWidth(TVLJpegDecompressor* Decompressor);
int32_t JPEGGetOutputHeight(TVLJpegDecompressor* Decompressor);
int32_t JPEGGetOutputComponents(TVLJpegDecompressor* Decompressor);
int32_t JPEGGetOutputScanline(TVLJpegDecompressor* Decompressor);
// Rows of SamplesPerRow bytes from the library's memory pool PoolId (0 permanent, 1 image).
uint8_t** JPEGAllocSampleArray(TVLJpegDecompressor* Decompressor, int32_t PoolId,
                               uint32_t SamplesPerRow, uint32_t Rows);
uint32_t JPEGReadScanlines(TVLJpegDecompressor* Decompressor, uint8_t** Rows, uint32_t MaxLines);
