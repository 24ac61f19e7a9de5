// Stream loading and saving by format id, content detection, parameters-only reads and the
// resolution steps every loader makes after its reader.
#include "imaging/io/VistrelIOStream.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLStreams.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/formats/VLGif.h"
#include "imaging/formats/VLIco.h"
#include "imaging/formats/VLMetafileRaw.h"
#include "imaging/formats/VLPcx.h"
#include "imaging/formats/VLPnmWbmp.h"
#include "imaging/formats/VLPsdReader.h"
#include "imaging/formats/VLTga.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/io/VLIOThread.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VLPng.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/view/ViewLayersStream.h"

#include <cmath>
#include <cstring>
#include <limits>

using imaging_core::detail::TValueScope;

namespace {

// Reads Count bytes at the position and puts the position back; false when fewer are there.
bool PeekBytes(TStream& Stream, uint8_t* Buffer, int32_t Count) {
    const int64_t start = Stream.GetPosition();
    const int32_t got = Stream.Read(Buffer, Count);
    Stream.SetPosition(start);
    return got == Count;
}

// The first Count bytes, as single-byte text up to the first zero byte, equal Literal.
bool TagTest(TStream& Stream, int32_t Count, const char* Literal) {
    uint8_t bytes[8] = {};
    if (!PeekBytes(Stream, bytes, Count)) return false;
    const size_t length = strnlen(reinterpret_cast<const char*>(bytes), static_cast<size_t>(Count));
    return length == std::strlen(Literal) && std::memcmp(bytes, Literal, length) == 0;
}

// The byte tests that run first, on the first bytes of the stream.
TVLFileFormatId ByteTests(TStream& Stream, int64_t Size) {
    uint8_t head[3] = {};
    const bool haveHead = PeekBytes(Stream, head, 3);
    if (Size > 12 && TagTest(Stream, 5, "JFIF")) return ffJPEG;
    if (Size > 13 && haveHead && std::memcmp(head, "GIF", 3) == 0) return ffGIF;
    if (Size > 12 && TagTest(Stream, 5, "PCX2")) return ffPCX;
    if (Size > 4 && TagTest(Stream, 4, "PCX")) return ffPCX;
    if (Size > 14 && haveHead && head[0] == 'B' && head[1] == 'M') return ffBMP;
    if (Size > 128 && haveHead && head[0] == 10 && head[1] <= 5) return ffPCX;
    if (Size > 12 && TagTest(Stream, 5, "TIFF")) return ffTIFF;
    return 0;
}

// The probes of the formats whose codecs are built in, in detection order.
TVLFileFormatId CodecProbes(TStream& Stream, int64_t Size) {
    if (IsTIFFStream(Stream) && !IsCameraRawTIFFStream(Stream)) return ffTIFF;
    if (Size > 8 && IsPNGStream(Stream)) return ffPNG;
    if (IsICOStream(Stream)) return ffICO;
    if (IsCURStream(Stream)) return ffCUR;
    if (IsTGAStream(Stream)) return ffTGA;
    if (IsPNMStream(Stream)) return ffPXM;
    if (FindJPEGStart(Stream) >= 0) return ffJPEG;
    if (IsJP2Stream(Stream)) return ffJP2;
    if (IsJ2KStream(Stream)) return ffJ2K;
    if (IsAVIStream(Stream)) return ffAVI;
    if (IsDCXStream(Stream)) return ffDCX;
    if (IsWMFStream(Stream)) return ffWMF;
    if (IsEMFStream(Stream)) return ffEMF;
    if (IsPSDStream(Stream)) return ffPSD;
    if (IsLayersStream(Stream)) return ffLayers;
    return 0;
}

// Then the probes of the rows registered at run time (built-in rows never answer).
TVLFileFormatId RowProbes(TStream& Stream, int64_t Start) {
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        TVLFileFormatInfo* row = GetFileFormatInfo(i);
        if (row->BuiltIn || row->Probe == nullptr) continue;
        Stream.SetPosition(Start);
        const bool yes = row->Probe(Stream, row->FormatId);
        Stream.SetPosition(Start);
        if (yes) return row->FormatId;
    }
    return 0;
}

// The new size that makes the pixels square, and which resolution gives way; false when
// nothing is to be done or the size is impossible.
bool SquarePixelSize(int32_t W, int32_t H, int32_t DpiX, int32_t DpiY, int32_t& NewW, int32_t& NewH,
                     bool& HeightChanges) {
    if (DpiX == DpiY || DpiX <= 0 || DpiY <= 0 || W <= 0 || H <= 0) return false;
    HeightChanges = H < W;
    const double side = HeightChanges ? std::trunc(static_cast<double>(H) / DpiY * DpiX)
                                      : std::trunc(static_cast<double>(W) / DpiX * DpiY);
    if (side < 1 || side > std::numeric_limits<int32_t>::max()) return false;
    NewW = HeightChanges ? W : static_cast<int32_t>(side);
    NewH = HeightChanges ? static_cast<int32_t>(side) : H;
    return true;
}

// Source resampled (vl24RGB, linear) or stretched (nearest, Source's format) into a new bitmap
// of the given size; nil when it cannot be allocated.
std::unique_ptr<TVLBitmap> Resized(TVLBitmap& Source, int32_t W, int32_t H, bool Filtered) {
    auto result = std::make_unique<TVLBitmap>();
    if (Filtered) {
        if (Source.GetPixelFormat() != TVLPixelFormat::vl24RGB)
            Source.SetPixelFormat(TVLPixelFormat::vl24RGB);
        if (!result->Allocate(W, H, TVLPixelFormat::vl24RGB)) return nullptr;
        _ResampleEx(Source, *result, rfFastLinear);
    } else {
        if (!result->Allocate(W, H, Source.GetPixelFormat())) return nullptr;
        _VLBmpStretchEx(Source, *result);
    }
    return result;
}

} // namespace

void MakeStreamHeader(const char* Tag, int64_t Length, uint8_t (&Header)[StreamHeaderSize]) {
    std::memset(Header, 0, StreamHeaderSize);
    std::memcpy(Header, Tag, 4);
    const auto length = static_cast<uint32_t>(Length);
    for (int i = 0; i < 4; ++i)
        Header[8 + i] = static_cast<uint8_t>(length >> (8 * i));
}

bool ReadStreamHeader(const uint8_t (&Header)[StreamHeaderSize], const char* Tag, int64_t& Length) {
    const bool pcx = std::strcmp(Tag, "PCX2") == 0;
    const size_t compared = pcx ? 3 : 4;
    if (std::memcmp(Header, Tag, compared) != 0) return false;
    if (!pcx && Header[4] != 0) return false;
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | Header[8 + i];
    Length = static_cast<int32_t>(length) < 0 ? -1 : static_cast<int64_t>(length);
    return true;
}

bool IsAVIStream(TStream& Stream) {
    uint8_t bytes[12];
    if (!PeekBytes(Stream, bytes, 12)) return false;
    return std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "AVI ", 4) == 0;
}

TVLFileFormatId DetectStreamFormat(TStream& Stream) {
    int64_t start = 0;
    try {
        start = Stream.GetPosition();
        // Sizes are compared as 32-bit numbers.
        const int64_t size = static_cast<int32_t>(Stream.GetSize());
        TVLFileFormatId id = ByteTests(Stream, size);
        if (id == 0) id = CodecProbes(Stream, size);
        if (id == 0) id = RowProbes(Stream, start);
        Stream.SetPosition(start);
        return id;
    } catch (...) {
        try {
            Stream.SetPosition(start);
        } catch (...) {
        }
        return 0;
    }
}

TVLFileFormatId DetectFileFormat(const String& FileName, bool Strict) {
    if (FileName.empty() || !FileExists(FileName)) return 0;
    TVLFileFormatId result = 0;
    try {
        TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        result = DetectStreamFormat(file);
    } catch (const Exception&) {
        result = 0;
    }
    const TVLFileFormatInfo* row =
        FindFileFormatInfoByExtension(GetFileExtensionW(FileName, false));
    if (row != nullptr && row->FormatId == ffCameraRAW && result == ffTIFF) return ffCameraRAW;
    if (row != nullptr && !row->BuiltIn) return row->FormatId;
    if (!Strict || result == 0) return result;
    if (row == nullptr) return 0;
    if (result == ffICO || result == ffCUR) return row->FormatId;
    return result == row->FormatId ? result : 0;
}

TVLBitmap* AdjustBitmapDPI(TVLBitmap& Bitmap, TIOParamsVals& Params, bool Filtered) {
    int32_t w = 0, h = 0;
    bool heightChanges = false;
    if (!SquarePixelSize(Params.Width, Params.Height, Params.DpiX, Params.DpiY, w, h,
                         heightChanges))
        return &Bitmap;
    std::unique_ptr<TVLBitmap> result = Resized(Bitmap, w, h, Filtered);
    if (result == nullptr) return &Bitmap;
    if (heightChanges) {
        Params.Height = h;
        Params.SetDpiY(Params.DpiX);
    } else {
        Params.Width = w;
        Params.SetDpiX(Params.DpiY);
    }
    return result.release();
}

// ---- The component's resolution steps -------------------------------------------------------

void TVistrelIO::CheckDPI() {
    if (FIOParams->DpiX < 2) FIOParams->SetDpiX(DefaultDpiX);
    if (FIOParams->DpiY < 2) FIOParams->SetDpiY(DefaultDpiY);
}

void TVistrelIO::AdjustDPI() {
    if (!CheckWorkingBitmap() || FBitmap->GetWidth() == 0 || FBitmap->GetHeight() == 0) return;
    TIOParamsVals& params = *FIOParams;
    int32_t w = 0, h = 0;
    bool heightChanges = false;
    if (!SquarePixelSize(params.Width, params.Height, params.DpiX, params.DpiY, w, h,
                         heightChanges))
        return;
    std::unique_ptr<TVLBitmap> alpha;
    bool alphaFull = true;
    if (FBitmap->HasAlphaChannel()) {
        alpha = std::make_unique<TVLBitmap>();
        alpha->Assign(FBitmap->GetAlphaChannel());
        alphaFull = FBitmap->GetAlphaChannel()->Full;
    }
    std::unique_ptr<TVLBitmap> resized = Resized(*FBitmap, w, h, FilteredAdjustDPI);
    std::unique_ptr<TVLBitmap> resizedAlpha;
    if (alpha != nullptr) resizedAlpha = Resized(*alpha, w, h, false);
    // A size that cannot be had keeps the image and its resolution as they were.
    if (resized == nullptr || (alpha != nullptr && resizedAlpha == nullptr)) return;
    // Written directly, so that the EXIF resolutions keep their values.
    if (heightChanges) {
        params.DpiY = params.DpiX;
        params.Height = h;
    } else {
        params.DpiX = params.DpiY;
        params.Width = w;
    }
    FBitmap->RemoveAlphaChannel(false, 0);
    FBitmap->Assign(resized.get());
    if (resizedAlpha != nullptr) {
        FBitmap->GetAlphaChannel()->AssignImage(*resizedAlpha);
        FBitmap->GetAlphaChannel()->Full = alphaFull;
    }
}

// ---- Loading from streams -------------------------------------------------------------------

namespace {

void LoadLayersObjects(TVistrelIO& IO, TStream& Stream, TVLFileFormatId FormatId) {
    IO.LoadFromStreamLayersObjects(Stream, FormatId);
}

// The built-in formats that load from a stream, each with its loader: the one list that both
// the load by id and CanLoadFromStreamFormat read.
struct TStreamLoader {
    TVLFileFormatId FormatId;
    void (*Load)(TVistrelIO& IO, TStream& Stream, TVLFileFormatId FormatId);
};

const TStreamLoader StreamLoaders[] = {
    {ffTIFF, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamTIFF(S); }},
    {ffJPEG, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamJPEG(S); }},
    {ffPNG, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamPNG(S); }},
    {ffBMP, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamBMP(S); }},
    {ffGIF, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamGIF(S); }},
    {ffJP2, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamJP2(S); }},
    {ffJ2K, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamJ2K(S); }},
    {ffPXM, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamPNM(S); }},
    {ffWBMP, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamWBMP(S); }},
    {ffPSD, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamPSD(S); }},
    {ffPCX, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamPCX(S); }},
    {ffDCX, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamDCX(S); }},
    {ffTGA, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamTGA(S); }},
    {ffICO, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamICO(S); }},
    {ffCUR, [](TVistrelIO& IO, TStream& S, TVLFileFormatId) { IO.LoadFromStreamCUR(S); }},
    {ffVect, &LoadLayersObjects},
    {ffLayers, &LoadLayersObjects},
    {ffLayersObjects, &LoadLayersObjects},
};

const TStreamLoader* FindStreamLoader(TVLFileFormatId FormatId) {
    for (const TStreamLoader& loader : StreamLoaders)
        if (loader.FormatId == FormatId) return &loader;
    return nullptr;
}

} // namespace

bool CanLoadFromStreamFormat(TVLFileFormatId FormatId) {
    const TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    if (row == nullptr) return false;
    return row->BuiltIn ? FindStreamLoader(FormatId) != nullptr : row->Reader != nullptr;
}

// Formats whose stream reader is not built in are refused.
void TVistrelIO::LoadStreamById(TStream& Stream, TVLFileFormatId FormatId) {
    if (const TStreamLoader* loader = FindStreamLoader(FormatId))
        loader->Load(*this, Stream, FormatId);
    else
        RefuseFormat();
}

void TVistrelIO::LoadWithRow(TStream& Stream, TVLFileFormatInfo& Row) {
    FIOParams->ResetInfo();
    FIOParams->FileName.clear();
    FIOParams->FileType = 0;
    if (Row.Reader == nullptr) {
        RefuseFormat();
        return;
    }
    try {
        AbortingFlag = false;
        TVLProgressRecord progress = MakeProgressRecord();
        if (CheckWorkingBitmap()) {
            FIOParams->FileType = Row.FormatId;
            // As on the built-in formats' road: damaged data ends the load as a failure.
            try {
                Row.Reader(Stream, *FBitmap, *FIOParams, progress, false);
            } catch (const std::exception&) {
                progress.Abort();
            }
            if (AutoAdjustDPI) AdjustDPI();
            ApplyDPIToView(FIOParams->DpiX, FIOParams->DpiY);
            UpdateAttached();
        }
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::LoadFromStream(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStream, Stream)) return;
    const int64_t start = Stream.GetPosition();
    const TVLFileFormatId id = DetectStreamFormat(Stream);
    TVLFileFormatInfo* row = FindFileFormatInfo(id);
    Stream.SetPosition(start);
    // Unrecognised content is a failure, reported as one.
    if (row == nullptr) {
        RefuseFormat();
        return;
    }
    if (row->BuiltIn)
        LoadStreamById(Stream, id);
    else
        LoadWithRow(Stream, *row);
}

void TVistrelIO::LoadFromStreamFormat(TStream& Stream, TVLFileFormatId FormatId) {
    if (Reissued(&TVistrelIO::LoadFromStreamFormat, Stream, FormatId)) return;
    if (FormatId == 0) {
        LoadFromStream(Stream);
        return;
    }
    TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    if (row == nullptr) return;
    if (row->BuiltIn)
        LoadStreamById(Stream, FormatId);
    else
        LoadWithRow(Stream, *row);
}

void TVistrelIO::LoadFromBuffer(const void* Buffer, int32_t BufferSize, TVLFileFormatId FormatId) {
    if (Buffer == nullptr || BufferSize <= 0) {
        RefuseFormat();
        return;
    }
    // The wrapper only reads; it lives until the load has finished, so the load runs here even
    // when Asynchronous would hand it to a job.
    TVLMemStream stream(const_cast<void*>(Buffer), BufferSize);
    TValueScope<bool> synchronous(Asynchronous, false);
    if (FormatId != 0)
        LoadFromStreamFormat(stream, FormatId);
    else
        LoadFromStream(stream);
}

// ---- Saving to streams ----------------------------------------------------------------------

void TVistrelIO::SaveToStreamFormat(TStream& Stream, TVLFileFormatId FormatId) {
    if (Reissued(&TVistrelIO::SaveToStreamFormat, Stream, FormatId)) return;
    switch (FormatId) {
    case ffJPEG:
        SaveToStreamJPEG(Stream);
        return;
    case ffTIFF:
        SaveToStreamTIFF(Stream);
        return;
    case ffPNG:
        SaveToStreamPNG(Stream);
        return;
    case ffBMP:
        SaveToStreamBMP(Stream);
        return;
    case ffGIF:
        SaveToStreamGIF(Stream);
        return;
    case ffJP2:
        SaveToStreamJP2(Stream);
        return;
    case ffJ2K:
        SaveToStreamJ2K(Stream);
        return;
    case ffPXM:
        SaveToStreamPNM(Stream);
        return;
    case ffWBMP:
        SaveToStreamWBMP(Stream);
        return;
    case ffPSD:
        SaveToStreamPSD(Stream);
        return;
    case ffPS:
        SaveToStreamPS(Stream);
        return;
    case ffPDF:
        SaveToStreamPDF(Stream);
        return;
    case ffPCX:
        SaveToStreamPCX(Stream);
        return;
    case ffDCX:
        SaveToStreamDCX(Stream);
        return;
    case ffTGA:
        SaveToStreamTGA(Stream);
        return;
    case ffICO:
        SaveToStreamICO(Stream);
        return;
    default:
        break;
    }
    TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    // A built-in format without a writer here.
    if (row != nullptr && row->BuiltIn) {
        RefuseFormat();
        return;
    }
    if (row == nullptr || row->Writer == nullptr) {
        AbortingFlag = true;
        return;
    }
    try {
        AbortingFlag = false;
        if (CheckWorkingBitmap()) {
            TVLBitmap copy;
            TVLBitmap& source = SaveSource({TVLPixelFormat::vl24RGB, TVLPixelFormat::vl1g}, copy);
            TVLProgressRecord progress = MakeProgressRecord();
            FIOParams->FileType = row->FormatId;
            row->Writer(Stream, source, *FIOParams, progress);
        }
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

// ---- Parameters only ------------------------------------------------------------------------

namespace {

// The reader of FormatId in parameters-only mode; false when there is none here.
bool ReadParams(TStream& Stream, TVLFileFormatId FormatId, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressRecord& Progress) {
    switch (FormatId) {
    case ffTIFF: {
        std::unique_ptr<TVLMask> mask;
        int32_t pages = 0;
        ReadTIFFStream(Bitmap, Stream, pages, Params, Progress, true, mask, true, true, false);
        return true;
    }
    case ffJPEG:
        ReadJPEGStream(Stream, nullptr, Bitmap, Params, Progress, true, false, true, false, true,
                       true, -1, Params.NativePixelFormat);
        return true;
    case ffPNG:
        ReadPNGStream(Stream, Bitmap, Params, Progress, true);
        return true;
    case ffGIF: {
        std::unique_ptr<TVLMask> none;
        int32_t frames = 0;
        ReadGIFStream(Stream, Bitmap, frames, Params, Progress, true, none, true);
        return true;
    }
    case ffBMP: {
        std::unique_ptr<TVLMask> none;
        ReadBMPStream(Stream, Bitmap,
                      static_cast<int32_t>(std::min<int64_t>(Stream.GetSize(), INT32_MAX)), Params,
                      Progress, true, none, true);
        return true;
    }
    case ffJP2:
    case ffJ2K:
        ReadJPEG2000Stream(Stream, Bitmap, Params, Progress, true);
        return true;
    case ffPXM:
        ReadPNMStream(Stream, Bitmap, Params, Progress, true);
        return true;
    case ffWBMP:
        ReadWBMPStream(Stream, Bitmap, Params, Progress, true);
        return true;
    case ffPSD:
        ReadPSDStream(Stream, nullptr, Params, Progress, false, nullptr);
        return true;
    case ffPCX:
        ReadPCXStream(Stream, Bitmap, Params,
                      static_cast<int32_t>(std::min<int64_t>(Stream.GetSize(), INT32_MAX)),
                      Progress, true);
        return true;
    case ffDCX:
        ReadDCXStream(Stream, Bitmap, Params, Progress, true);
        return true;
    case ffTGA: {
        std::unique_ptr<TVLMask> none;
        ReadTGAStream(Stream, Bitmap, Params, Progress, true, none, true);
        return true;
    }
    case ffICO:
    case ffCUR: {
        std::unique_ptr<TVLMask> none;
        (FormatId == ffICO ? ReadICOStream : ReadCURStream)(Stream, Bitmap, Params, true, Progress,
                                                            none, true);
        return true;
    }
    default:
        break;
    }
    TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    if (row == nullptr || row->BuiltIn || row->Reader == nullptr) return false;
    row->Reader(Stream, Bitmap, Params, Progress, true);
    return true;
}

} // namespace

void TVistrelIO::ParamsFromStreamFormat(TStream& Stream, TVLFileFormatId FormatId) {
    FIOParams->FileType = FormatId;
    FIOParams->ResetInfo();
    AbortingFlag = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &AbortingFlag;
    TVLBitmap scratch;
    TVLBitmap& bitmap = FBitmap != nullptr ? *FBitmap : scratch;
    try {
        // A format without a reader here reads nothing: that is a failure, not an empty success.
        if (!ReadParams(Stream, FormatId, bitmap, *FIOParams, progress)) AbortingFlag = true;
    } catch (const Exception&) {
        FIOParams->FileType = 0;
    }
    if (AbortingFlag) FIOParams->FileType = 0;
    DoFinishWork();
}

void TVistrelIO::ParamsFromFileFormat(const String& FileName, TVLFileFormatId FormatId) {
    FIOParams->FileType = FormatId;
    FIOParams->ResetInfo();
    AbortingFlag = true;
    TVLProgressRecord progress;
    progress.AbortFlag = &AbortingFlag;
    TVLBitmap scratch;
    TVLBitmap& bitmap = FBitmap != nullptr ? *FBitmap : scratch;
    try {
        TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        AbortingFlag = false;
        if (!ReadParams(file, FormatId, bitmap, *FIOParams, progress)) AbortingFlag = true;
    } catch (const Exception&) {
        FIOParams->FileType = 0;
    }
    if (AbortingFlag) FIOParams->FileType = 0;
    FIOParams->FileName = FileName;
    DoFinishWork();
}

void TVistrelIO::ParamsFromStream(TStream& Stream) {
    try {
        ParamsFromStreamFormat(Stream, DetectStreamFormat(Stream));
    } catch (const Exception&) {
        FIOParams->FileType = 0;
    }
}

void TVistrelIO::ParamsFromFile(const String& FileName) {
    try {
        ParamsFromFileFormat(FileName, DetectFileFormat(FileName, true));
    } catch (const Exception&) {
        FIOParams->FileType = 0;
    }
}
