// The TIFF writer: one picture as a little-endian TIFF image, either a new single-image file or a
// page inserted into the directory chain of a file already in the stream, with its metadata.
#pragma once

#include "imaging/io/VLFileFormats.h"

/// Writes Bitmap (or, for nil, only the header and the metadata directories) with the TIFF
/// options of Params, which may change BitsPerSample, SamplesPerPixel, TiffPhotometric and
/// TiffCompression to what was written.
/// New file (InsertPage false): written from the stream's position; every offset counts from
/// there, so the bytes from that position on are a TIFF file of their own.
/// InsertPage true: the stream holds a little-endian TIFF file from position 0; the image is
/// appended and linked in as image number TiffImageIndex (after the last image when the index
/// is past the end).
/// Returns the number of images in the file afterwards; failure sets the abort flag.
int32_t WriteTIFFStream(TStream& Stream, bool InsertPage, TVLBitmap* Bitmap, TIOParamsVals& Params,
                        TVLProgressRecord& Progress);
