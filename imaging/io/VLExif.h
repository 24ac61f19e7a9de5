// EXIF and XMP metadata in JPEG APP1 marker payloads, and TIFF headers inside other files.
// The EXIF payload is "Exif", two NUL bytes, then a TIFF structure; the XMP payload is the
// namespace identifier of XMP in JPEG, a NUL byte, then the packet text to the end of the payload.
#pragma once

#include "imaging/io/VLIOParams.h"

#include <vector>

// The XMP identifier with its terminating NUL: the header of every XMP APP1 payload.
constexpr int32_t XmpHeaderLength = 29;
// "Exif" and two NUL bytes.
constexpr int32_t ExifHeaderLength = 6;

// The address just after the first NUL byte of Data when Data is an XMP payload (at least 30
// bytes, the first 24 of the identifier, a NUL within Length); nil otherwise.
const uint8_t* FindXMPInAPP1(const uint8_t* Data, int32_t Length);
// Params' XmpInfo becomes the packet text of an XMP payload; false (and nothing changed) for
// any other payload.
bool ReadXMPFromAPP1(const uint8_t* Data, int32_t Length, TIOParamsVals& Params);
// An XMP payload of Params' XmpInfo.
std::vector<uint8_t> BuildXMPAPP1(const TIOParamsVals& Params);

/// Fills the EXIF group of Params from an EXIF payload (false, nothing changed, for any other
/// payload, one of fewer than 6 bytes or one without a readable first directory). The
/// resolutions set DpiX and DpiY; the image of the second directory (JPEG or uncompressed, at
/// most 400 pixels a side) becomes ExifThumbnail, turned upright by the EXIF orientation;
/// Params' HasExif is set.
bool ReadExifBlock(const uint8_t* Data, int32_t Length, TIOParamsVals& Params);
/// An EXIF payload of Params' EXIF group: one directory, and a second holding ExifThumbnail as
/// a JPEG datastream (compression 6 with its offset and length), turned from upright back to the
/// orientation the block declares.
std::vector<uint8_t> WriteExifBlock(TIOParamsVals& Params);
// Copies the EXIF group field by field (not HasExif nor the thumbnail); Dest's
// ExifImageDescription takes Source's TiffImageDescription, where a TIFF directory puts tag 270.
void CopyExifParams(const TIOParamsVals& Source, TIOParamsVals& Dest);
// Offset from the position of the first TIFF header ("II" or "MM", magic 42, 0x4F52 or 0x5352,
// first directory within the stream) within the next 128 KiB; -1 when none. The position is
// restored.
int64_t FindTiffHeader(TStream& Stream);
/// Fills the EXIF group of Params from the TIFF structure of a camera raw file at the stream
/// position (offsets counted from there), and makes ExifThumbnail the narrower of the pictures
/// among its first two images (at most 400 pixels a side, not all black); two of one width give
/// none. The position is restored; always true.
bool LoadCameraRawExif(TStream& Stream, TIOParamsVals& Params);
