// The TIFF reader: one image of a TIFF file (an image of the main directory chain or one of its
// sub-images) into a bitmap, an optional 8-bit alpha mask and the TIFF, EXIF, GPS, IPTC, XMP,
// ICC and annotation fields of the parameter record; and the content tests of the registry.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLMask;

// Reads the image Params.TiffImageIndex (with Params.TiffSubIndex >= 0 that entry of its
// SubIFDs) from the TIFF at the stream position. PageCount receives the number of images of the
// main chain. OffsetsFromStart: offsets count from the header's position, else from position 0.
// ParamsOnly fills Params only. Unless IgnoreAlpha, a nil AlphaMask is created for an image with
// alpha samples, and any mask is sized to the image and filled with 255 before decoding.
// ThumbnailMode refuses images larger than 400 pixels and decodes over a black bitmap.
// Failure sets the progress record's abort flag; a file without the wanted image ends quietly.
void ReadTIFFStream(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount,
                    TIOParamsVals& Params, TVLProgressRecord& Progress, bool ParamsOnly,
                    std::unique_ptr<TVLMask>& AlphaMask, bool OffsetsFromStart, bool IgnoreAlpha,
                    bool ThumbnailMode);

// A TIFF header whose first directory holds ImageWidth and ImageLength; the position is kept.
bool IsTIFFStream(TStream& Stream);
// A TIFF whose first directory marks a camera raw file (DNGVersion, a CFA or linear-raw
// Photometric, or SubIFDs with a TIFF/EP StandardID and a small preview); the position is kept.
bool IsCameraRawTIFFStream(TStream& Stream);
