// Page data shared by the PostScript and PDF writers.
#include "imaging/formats/DocumentInternal.h"

#include "imaging/formats/VLCCITT.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLJpeg.h"

#include <cstring>

namespace imaging::detail {

TVLBitmap& DocumentSource(TVLBitmap& Bitmap, TVLBitmap& Copy) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (format == TVLPixelFormat::vl1g || format == TVLPixelFormat::vl24RGB) return Bitmap;
    Copy.Assign(&Bitmap);
    Copy.SetPixelFormat(TVLPixelFormat::vl24RGB);
    return Copy;
}

int64_t PackedRowBytes(int32_t Width) {
    return (int64_t{Width} + 7) / 8;
}

bool ReportRow(TVLProgressRecord& Progress, int32_t Row, int32_t Height) {
    Progress.ReportPercent(static_cast<int32_t>(int64_t{Row} * 100 / Height));
    return !Progress.Aborting();
}

bool PackBilevelRows(TVLBitmap& Bitmap, std::vector<uint8_t>& Out, TVLProgressRecord& Progress) {
    const int32_t h = Bitmap.GetHeight();
    const int64_t rowBytes = PackedRowBytes(Bitmap.GetWidth());
    if (rowBytes * h > MaxDocumentBlock) {
        Progress.Abort();
        return false;
    }
    Out.resize(static_cast<size_t>(rowBytes * h));
    for (int32_t y = 0; y < h; ++y) {
        if (!ReportRow(Progress, y, h)) return false;
        std::memcpy(Out.data() + y * rowBytes, Bitmap.GetScanline(y),
                    static_cast<size_t>(rowBytes));
    }
    return true;
}

bool EncodeBilevelCCITT(TVLBitmap& Bitmap, bool G4, std::vector<uint8_t>& Out,
                        TVLProgressRecord& Progress) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    TMemoryStream coded;
    uint8_t pendingByte = 0;
    int32_t pendingBits = 0;
    uint8_t* reference = nullptr;
    bool failed = false;
    auto encode = [&](const uint8_t* Row, int32_t Width) {
        if (G4)
            EncodeCCITTG4Row(Row, Width, coded, pendingByte, pendingBits, reference, failed, 1);
        else
            EncodeCCITTG3Row2D(Row, Width, coded, pendingByte, pendingBits, reference, failed, 1);
    };
    bool cancelled = false;
    for (int32_t y = 0; y < h && !failed; ++y) {
        if (!ReportRow(Progress, y, h) || coded.GetSize() > MaxDocumentBlock) {
            cancelled = true;
            break;
        }
        encode(Bitmap.GetScanline(y), w);
    }
    // The finishing call also frees the reference row.
    encode(nullptr, 0);
    if (failed || cancelled || coded.GetSize() > MaxDocumentBlock) {
        Progress.Abort();
        return false;
    }
    const auto* data = static_cast<const uint8_t*>(coded.Memory());
    Out.assign(data, data + coded.GetSize());
    return true;
}

int32_t EncodeDocumentJPEG(TVLBitmap& Bitmap, const TIOParamsVals& Params,
                           std::vector<uint8_t>& Out, TVLProgressRecord& Progress) {
    TIOParamsVals page;
    page.Assign(Params);
    const bool grey = Params.JpegColorSpace == jcGrayScale;
    page.JpegColorSpace = grey ? jcGrayScale : jcYCbCr;
    TMemoryStream coded;
    WriteJPEGStream(coded, Bitmap, page, Progress);
    if (Progress.Aborting() || coded.GetSize() == 0 || coded.GetSize() > MaxDocumentBlock) {
        Progress.Abort();
        return 0;
    }
    const auto* data = static_cast<const uint8_t*>(coded.Memory());
    Out.assign(data, data + coded.GetSize());
    return grey ? 1 : 3;
}

} // namespace imaging::detail
