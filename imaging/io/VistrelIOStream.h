// Recognising a format from its bytes, the 12-byte stream header that lets several images follow
// one another in one stream, and the resolution helper for callers with their own bitmap. The
// stream operations of the I/O component are declared with TVistrelIO.
#pragma once

#include "imaging/io/VLFileFormats.h"

class TIOParamsVals;

// Tag (four ASCII bytes: "JFIF", "TIFF" or "PCX2"), four zero bytes, the length of the data
// after the header as a 32-bit little-endian signed number.
constexpr int32_t StreamHeaderSize = 12;
void MakeStreamHeader(const char* Tag, int64_t Length, uint8_t (&Header)[StreamHeaderSize]);
// True when Header begins with Tag and a zero byte (the first three letters for "PCX2", which
// also stands for the older four-byte "PCX" header); Length is the header's length, -1 when the
// header holds a negative one.
bool ReadStreamHeader(const uint8_t (&Header)[StreamHeaderSize], const char* Tag,
                      int64_t& Length);

// The format of the data at the stream position (0 = not recognised); the position is kept.
// Never raises.
TVLFileFormatId DetectStreamFormat(TStream& Stream);
// The format of a file's content, with the registry row of its extension deciding where the
// content cannot (camera raw, formats registered at run time). With Strict, content and
// extension must agree. 0 for a missing or unreadable file; never raises for one.
TVLFileFormatId DetectFileFormat(const String& FileName, bool Strict);
// "RIFF" at 0 and "AVI " at 8; the position is kept.
bool IsAVIStream(TStream& Stream);
// True when LoadFromStreamFormat has a reader for FormatId: a built-in format with a stream
// loader of its own, or a row registered at run time that has a reader.
bool CanLoadFromStreamFormat(TVLFileFormatId FormatId);
// A square-pixelled copy of Bitmap (the caller owns it), with Params' resolution made equal;
// Bitmap itself when nothing is to be done or the new size cannot be had. A filtered copy is
// vl24RGB (Bitmap is converted first); no alpha channel is carried over.
TVLBitmap* AdjustBitmapDPI(TVLBitmap& Bitmap, TIOParamsVals& Params, bool Filtered);
