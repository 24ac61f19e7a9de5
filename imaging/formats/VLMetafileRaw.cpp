// Metafile content tests and the raw pixel reader. Raw rows are read at the stored row length
// the layout gives, into the part of each bitmap row they fill; planar data fills one byte or
// sample of every pixel per plane.
#include "imaging/formats/VLMetafileRaw.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"
#include "imaging/io/VLIOParams.h"

#include <algorithm>
#include <cstring>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Get32;

namespace {

constexpr uint32_t EnhancedSignature = 0x464D4520; // " EMF"
constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr int32_t PlaceableHeaderSize = 22;

// Reads Count bytes at Offset from the position; false when fewer are there.
bool ReadAt(TStream& Stream, int64_t Start, int64_t Offset, uint8_t* Buffer, int32_t Count) {
    Stream.SetPosition(Start + Offset);
    return Stream.Read(Buffer, Count) == Count;
}

bool IsPlanarFormat(TVLPixelFormat Format) {
    return Format == vl24RGB || Format == vlCMYK || Format == vlRGB48;
}

bool HasRawLayout(TVLPixelFormat Format) {
    return Format != vlNone && Format != vlCIELab && Format != vl32RGB;
}

// Stored rows, top first, each copied into as much of its bitmap row as both hold; false when
// the data ended first.
bool ReadInterleaved(TStream& Stream, TVLBitmap& Bitmap, int64_t Stored,
                     TVLProgressRecord& Progress) {
    const int32_t h = Bitmap.GetHeight();
    const int64_t used = std::min<int64_t>(Stored, Bitmap.GetRowLen());
    for (int32_t y = 0; y < h; ++y) {
        if (ReadUpTo(Stream, Bitmap.GetScanline(y), used) < used) return false;
        if (Stored > used) Stream.Seek(Stored - used, soCurrent);
        Progress.ReportPercent(static_cast<int32_t>(int64_t{y} * 100 / h));
        if (Progress.Aborting()) return true;
    }
    return true;
}

// Planes of Channels samples of SampleBytes each; plane p fills sample p of every pixel.
// Progress p x 100 / Channels before plane p. False when the data ended first.
bool ReadPlanes(TStream& Stream, TVLBitmap& Bitmap, int32_t Channels, int32_t SampleBytes,
                int32_t RowAlign, TVLProgressRecord& Progress) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    const int64_t stored = AlignedRowLength(w, int64_t{SampleBytes} * 8, RowAlign);
    std::vector<uint8_t> plane(static_cast<size_t>(stored));
    const int64_t pixelBytes = int64_t{Channels} * SampleBytes;
    for (int32_t p = 0; p < Channels; ++p) {
        Progress.ReportPercent(p * 100 / Channels);
        if (Progress.Aborting()) return true;
        for (int32_t y = 0; y < h; ++y) {
            if (ReadUpTo(Stream, plane.data(), stored) < stored) return false;
            uint8_t* dst = Bitmap.GetScanline(y) + int64_t{p} * SampleBytes;
            for (int64_t x = 0; x < w; ++x)
                std::memcpy(dst + x * pixelBytes, plane.data() + x * SampleBytes,
                            static_cast<size_t>(SampleBytes));
        }
    }
    Progress.ReportPercent(100);
    return true;
}

bool ReadPixels(TStream& Stream, TVLBitmap& Bitmap, const TIOParamsVals& Params,
                TVLProgressRecord& Progress) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (!IsPlanarFormat(format) || Params.RawPixelsPlanar == 0) {
        const int64_t stored =
            AlignedRowLength(Bitmap.GetWidth(), Bitmap.GetBitCount(), Params.RawPixelsRowAlign);
        return ReadInterleaved(Stream, Bitmap, stored, Progress);
    }
    const int32_t channels = format == vlCMYK ? 4 : 3;
    return ReadPlanes(Stream, Bitmap, channels, format == vlRGB48 ? 2 : 1, Params.RawPixelsRowAlign,
                      Progress);
}

} // namespace

bool IsEMFStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t header[100];
    const bool whole = ReadAt(Stream, start, 0, header, 100);
    Stream.SetPosition(start);
    return whole && Get32(header) == 1 && Get32(header + 40) == EnhancedSignature;
}

bool IsWMFStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t head[20];
    uint8_t header[18];
    bool result = ReadAt(Stream, start, 0, head, 20);
    if (result) {
        const int64_t at = Get32(head) == PlaceableKey ? PlaceableHeaderSize : 0;
        result = ReadAt(Stream, start, at, header, 18) && Get16(header) == 1 &&
                 Get16(header + 2) == 9 && Get16(header + 16) == 0;
    }
    Stream.SetPosition(start);
    return result;
}

void ReadRawPixelsStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                         TVLProgressRecord& Progress) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    const int32_t align = Params.RawPixelsRowAlign;
    const bool layoutKnown = Params.RawPixelsHeaderSize >= 0 && align > 0 && align % 8 == 0 &&
                             (Params.RawPixelsPlanar <= 1 || !IsPlanarFormat(format));
    if (Bitmap.GetWidth() <= 0 || Bitmap.GetHeight() <= 0 || !HasRawLayout(format) ||
        !layoutKnown) {
        Progress.Abort();
        return;
    }
    Progress.StepCount = 0;
    Progress.PercentPerStep = 100.0 / Bitmap.GetHeight();
    Stream.Seek(Params.RawPixelsHeaderSize, soCurrent);
    if (!ReadPixels(Stream, Bitmap, Params, Progress)) Progress.Abort();
    // vl24RGB keeps blue first, vlRGB48 red first: the samples are exchanged where the stored
    // order is the other one.
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        if (format == vl24RGB && !Params.RawPixelsBGR)
            SwapRedBlue(Bitmap.GetScanline(y), Bitmap.GetWidth());
        if (format == vlRGB48 && Params.RawPixelsBGR)
            SwapRedBlue48(Bitmap.GetScanline(y), Bitmap.GetWidth());
    }
}
