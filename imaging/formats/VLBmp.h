// Windows and OS/2 bitmap files (BMP, DIB, RLE): every info-header size, 1 to 32 bits per
// pixel, run-length compressed 4- and 8-bit data and bit-field masks on reading; 1, 4, 8, 24
// and 32 bits with optional run-length compression on writing.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLMask;

// Reads the BMP at the stream position into Bitmap and Params. DataSize is the number of bytes
// the BMP occupies from there (0 = unknown: the file-size field, then the rest of the stream);
// nothing beyond it or beyond the stream is read. With ParamsOnly only Params is filled. Unless
// IgnoreAlpha, the alpha bytes of a 32-bit file go into AlphaMask (made when nil); the mask is
// nil afterwards when every alpha byte was 0 or 255. A header that is not a bitmap's, sizes the
// data cannot hold or a bitmap that cannot be had set the abort flag; pixels the data does not
// reach are index 0 (black).
void ReadBMPStream(TStream& Stream, TVLBitmap& Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha);
// Writes Bitmap as a BMP at the stream position: 1 bit for BitsPerSample 1, 4 for 4, 8 for
// SamplesPerPixel 1, else 32 bits when the bitmap has an alpha channel (its alpha written when
// WriteAlpha, else 255) and 24 bits otherwise. BmpHeaderVersion chooses the header,
// BmpCompression 1 run-length codes 4- and 8-bit data. A size the 12-byte header cannot hold,
// and a short write, set the abort flag.
void WriteBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, bool WriteAlpha);

// Run-length decoders of Size bytes at Data into an allocated bitmap: the index variants into a
// vl8p bitmap, the RGB ones into vl24RGB through Palette (256 entries). BottomUp: the first line
// coded is the bitmap's last row. Pixels past the right edge are dropped; pixels the data does
// not reach are left as they are.
void DecodeRLE4ToIndexes(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                         TVLProgressRecord& Progress);
void DecodeRLE8ToIndexes(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                         TVLProgressRecord& Progress);
void DecodeRLE4ToRGB(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                     TVLProgressRecord& Progress, const TVLRGB* Palette);
void DecodeRLE8ToRGB(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                     TVLProgressRecord& Progress, const TVLRGB* Palette);
// Codes Count indexes (one per byte) as one run-length row ending with the end-of-line escape;
// returns the bytes written to Dst, which must hold RLERowBound(Count) bytes.
int32_t EncodeRLE8Row(const uint8_t* Indexes, int32_t Count, uint8_t* Dst);
int32_t EncodeRLE4Row(const uint8_t* Indexes, int32_t Count, uint8_t* Dst);
// Bytes EncodeRLE8Row and EncodeRLE4Row may write for Count indexes.
int64_t RLERowBound(int32_t Count);
