// Helpers the PostScript and PDF writers share: the picture they read, the packed and CCITT-coded
// bilevel rows and the JPEG-coded picture of a page.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/io/VLFileFormats.h"

#include <cstdint>
#include <vector>

namespace imaging::detail {

// The largest coded block of one page: the encoders count in 32 bits.
constexpr int64_t MaxDocumentBlock = int64_t{1} << 30;

// Bitmap itself when it is vl1g or vl24RGB, else Copy made from it in vl24RGB.
TVLBitmap& DocumentSource(TVLBitmap& Bitmap, TVLBitmap& Copy);
// (Width + 7) div 8.
int64_t PackedRowBytes(int32_t Width);
// Reports Trunc(Row x 100 / Height); false when the operation was cancelled.
bool ReportRow(TVLProgressRecord& Progress, int32_t Row, int32_t Height);
// Every row of a vl1g bitmap as its packed bytes, top row first. False when cancelled or when
// the block would pass MaxDocumentBlock (the abort flag is set then).
bool PackBilevelRows(TVLBitmap& Bitmap, std::vector<uint8_t>& Out, TVLProgressRecord& Progress);
// The rows of a vl1g bitmap CCITT coded, G4 or G3 two-dimensional, most significant bit first.
// Rows go in as they are, so set (white) bits are coded as black runs: the documents declare
// BlackIs1. False when cancelled or failed (the abort flag is set then).
bool EncodeBilevelCCITT(TVLBitmap& Bitmap, bool G4, std::vector<uint8_t>& Out,
                        TVLProgressRecord& Progress);
// The picture as a JPEG written with a copy of Params: in grey when Params asks for grey, in
// YCbCr otherwise, which is what the documents' DCT decoders assume of three components. Returns
// the number of components (1 or 3); 0 when the writer failed (the abort flag is set then).
int32_t EncodeDocumentJPEG(TVLBitmap& Bitmap, const TIOParamsVals& Params,
                           std::vector<uint8_t>& Out, TVLProgressRecord& Progress);

} // namespace imaging::detail
