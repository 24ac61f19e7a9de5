// The per-format entry points: the loader and saver shapes once, and on them the formats whose
// codecs are built in.
#include "imaging/io/VistrelIOFormats.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/formats/VLGif.h"
#include "imaging/formats/VLIco.h"
#include "imaging/formats/VLIcoWriter.h"
#include "imaging/formats/VLMetafileRaw.h"
#include "imaging/formats/VLPdfWriter.h"
#include "imaging/formats/VLPnmWbmp.h"
#include "imaging/formats/VLPsdReader.h"
#include "imaging/formats/VLPsdWriter.h"
#include "imaging/formats/VLPostScript.h"
#include "imaging/formats/VLPcx.h"
#include "imaging/formats/VLPnmWbmp.h"
#include "imaging/formats/VLTga.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/formats/tiff/VLTIFFWriter.h"
#include "imaging/io/VLExif.h"
#include "imaging/io/VLIOThread.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VLPng.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOStream.h"
#include "imaging/view/VistrelView.h"
#include "platform/rtl/SafeFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t APP1 = 0xE1;
constexpr uint8_t APP13 = 0xED;
// The pixel formats the JPEG and JPEG 2000 savers take as they are; others are saved from a
// 24-bit copy.
const std::initializer_list<TVLPixelFormat> TrueColourOrBilevel = {TVLPixelFormat::vl24RGB,
                                                                   TVLPixelFormat::vl1g};
// The PNM savers also keep 8-bit grey pictures grey.
const std::initializer_list<TVLPixelFormat> PnmKept = {TVLPixelFormat::vl24RGB,
                                                       TVLPixelFormat::vl1g, TVLPixelFormat::vl8g};
// A marker's payload cannot be longer than this.
constexpr size_t MaxMarkerPayload = 65533;

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

void PutBigEndian32(uint8_t* P, uint32_t Value) {
    P[0] = static_cast<uint8_t>(Value >> 24);
    P[1] = static_cast<uint8_t>(Value >> 16);
    P[2] = static_cast<uint8_t>(Value >> 8);
    P[3] = static_cast<uint8_t>(Value);
}

void PutBigEndian16(uint8_t* P, uint16_t Value) {
    P[0] = static_cast<uint8_t>(Value >> 8);
    P[1] = static_cast<uint8_t>(Value);
}

// The offset of the 16 resolution bytes of the first resource that fits in Data; -1 when none.
int64_t FindResolutionResource(const std::vector<uint8_t>& Data) {
    static const uint8_t signature[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
    const size_t size = Data.size();
    for (size_t at = 0; at + 6 <= size; ++at) {
        if (std::memcmp(Data.data() + at, signature, 6) != 0) continue;
        size_t p = at + 6;
        if (p + 2 > size) continue;
        const size_t nameLength = (size_t{Data[p]} << 8) | Data[p + 1];
        p += 2 + nameLength;
        if (p + 4 > size) continue;
        const uint32_t resourceSize = BigEndian32(Data.data() + p);
        p += 4;
        if (resourceSize < 16 || p + 16 > size) continue;
        return static_cast<int64_t>(p);
    }
    return -1;
}

bool FitsInMarker(const std::vector<uint8_t>& Block) {
    return Block.size() <= MaxMarkerPayload;
}

void ReplaceOrAdd(TVLMarkerList& Markers, int32_t Index, uint8_t Type,
                  const std::vector<uint8_t>& Block) {
    const auto length = static_cast<uint16_t>(Block.size());
    if (Index >= 0)
        Markers.SetMarker(Index, Type, Block.data(), length);
    else
        Markers.AddMarker(Type, Block.data(), length);
}

void RebuildIPTC(TIOParamsVals& Params) {
    TVLMarkerList& markers = Params.JpegMarkers;
    const bool wanted = Params.IPTCInfo.GetUserChanged() ||
                        (Params.IPTCInfo.GetCount() > 0 && markers.GetCount() == 0);
    if (!wanted) return;
    const std::vector<uint8_t> block = Params.IPTCInfo.SaveToBuffer(true);
    const int32_t index = markers.IndexOf(APP13);
    if (block.empty()) {
        if (index >= 0) markers.DeleteMarker(index);
        return;
    }
    // A block too long for one marker would be cut off: the markers stay as they were.
    if (FitsInMarker(block)) ReplaceOrAdd(markers, index, APP13, block);
}

// The EXIF block rebuilt from the record replaces the first EXIF APP1 marker. Its pixel
// dimensions are those of the picture saved, which a turn may have swapped since the load.
void RebuildExif(TIOParamsVals& Params, TVLBitmap& Picture) {
    if (!Params.HasExif) return;
    Params.ExifPixelXDimension = Picture.GetWidth();
    Params.ExifPixelYDimension = Picture.GetHeight();
    const std::vector<uint8_t> block = WriteExifBlock(Params);
    if (!FitsInMarker(block)) return;
    TVLMarkerList& markers = Params.JpegMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) != APP1 ||
            !IsExifBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
            continue;
        markers.DeleteMarker(i);
        break;
    }
    markers.AddMarker(APP1, block.data(), static_cast<uint16_t>(block.size()));
}

void RebuildXMP(TIOParamsVals& Params) {
    if (Params.XmpInfo.empty()) return;
    const std::vector<uint8_t> block = BuildXMPAPP1(Params);
    if (!FitsInMarker(block)) return;
    TVLMarkerList& markers = Params.JpegMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) != APP1) continue;
        if (FindXMPInAPP1(markers.GetMarkerData(i), markers.GetMarkerLength(i)) == nullptr)
            continue;
        markers.DeleteMarker(i);
        break;
    }
    markers.AddMarker(APP1, block.data(), static_cast<uint16_t>(block.size()));
}

TVLFileFormatId TagFormat(const char* Tag) {
    return Tag[0] == 'J' ? ffJPEG : Tag[0] == 'T' ? ffTIFF : ffPCX;
}

} // namespace

bool PatchJpegResolution(TIOParamsVals& Params) {
    TVLMarkerList& markers = Params.JpegMarkers;
    const int32_t index = markers.IndexOf(APP13);
    if (index < 0) return false;
    const uint8_t* data = markers.GetMarkerData(index);
    std::vector<uint8_t> block(data, data + markers.GetMarkerLength(index));
    const int64_t at = FindResolutionResource(block);
    if (at < 0) return false;
    uint8_t* p = block.data() + at;
    PutBigEndian32(p, static_cast<uint32_t>(Params.DpiX) << 16);
    PutBigEndian16(p + 4, 1);
    PutBigEndian16(p + 6, 1);
    PutBigEndian32(p + 8, static_cast<uint32_t>(Params.DpiY) << 16);
    PutBigEndian16(p + 12, 1);
    PutBigEndian16(p + 14, 1);
    markers.SetMarker(index, APP13, block.data(), static_cast<uint16_t>(block.size()));
    return true;
}

void RebuildJpegMetadata(TIOParamsVals& Params, TVLBitmap& Picture) {
    PatchJpegResolution(Params);
    RebuildIPTC(Params);
    RebuildExif(Params, Picture);
    RebuildXMP(Params);
}

// ---- The shapes -----------------------------------------------------------------------------

bool TVistrelIO::RunLoad(TStream& Stream, TVLFileFormatId FormatId, const String& FileName,
                         TLoadSteps Steps, const TCodecCall& Read) {
    TVLProgressRecord progress = MakeProgressRecord();
    if (!CheckWorkingBitmap()) return false;
    FIOParams->ResetInfo();
    FBitmap->RemoveAlphaChannel(false, 0);
    // A damaged file ends the load as a failure, the rows read before the fault kept; nothing
    // that a library or a codec raises on its data leaves the load.
    try {
        Read(Stream, *FBitmap, progress);
    } catch (const std::exception&) {
        progress.Abort();
    }
    if (Steps.CheckDpi) CheckDPI();
    if (Steps.AdjustDpi && AutoAdjustDPI) AdjustDPI();
    FIOParams->FileName = FileName;
    FIOParams->FileType = FormatId;
    if (Steps.ApplyDpi) ApplyDPIToView(FIOParams->DpiX, FIOParams->DpiY);
    UpdateAttached();
    return true;
}

void TVistrelIO::StreamLoader(TStream& Stream, TVLFileFormatId FormatId, TLoadSteps Steps,
                              const TCodecCall& Read) {
    try {
        AbortingFlag = false;
        RunLoad(Stream, FormatId, String(), Steps, Read);
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::FileLoaderB(const String& FileName, TVLFileFormatId FormatId, TLoadSteps Steps,
                             const TCodecCall& Read) {
    try {
        AbortingFlag = true;
        if (CheckWorkingBitmap()) {
            FIOParams->ResetInfo();
            TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
            AbortingFlag = false;
            RunLoad(file, FormatId, FileName, Steps, Read);
        }
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::FileLoaderA(const String& FileName, TVLFileFormatId FormatId, TLoadSteps Steps,
                             const TCodecCall& Read) {
    TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    StreamLoader(file, FormatId, Steps, Read);
    FIOParams->FileName = FileName;
}

TVLBitmap& TVistrelIO::SaveSource(std::initializer_list<TVLPixelFormat> Keep, TVLBitmap& Copy) {
    if (Keep.size() == 0 || CheckWorkingBitmap(Keep)) return *FBitmap;
    Copy.Assign(FBitmap);
    Copy.SetPixelFormat(TVLPixelFormat::vl24RGB);
    return Copy;
}

void TVistrelIO::StreamSaver(TStream& Stream, std::initializer_list<TVLPixelFormat> Keep,
                             const TCodecCall& Write) {
    try {
        AbortingFlag = false;
        if (CheckWorkingBitmap()) {
            TVLBitmap copy;
            TVLBitmap& source = SaveSource(Keep, copy);
            TVLProgressRecord progress = MakeProgressRecord();
            Write(Stream, source, progress);
        }
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::FileSaver(const String& FileName, TVLFileFormatId FormatId,
                           std::initializer_list<TVLPixelFormat> Keep, const TCodecCall& Write) {
    try {
        AbortingFlag = true;
        if (CheckWorkingBitmap()) {
            TVLBitmap copy;
            TVLBitmap& source = SaveSource(Keep, copy);
            TSafeFileStream file(FileName);
            AbortingFlag = false;
            TVLProgressRecord progress = MakeProgressRecord();
            Write(file, source, progress);
            FIOParams->FileName = FileName;
            FIOParams->FileType = FormatId;
            // A writer that failed leaves the target as it was; the new file goes.
            if (!AbortingFlag) file.Commit();
        }
    } catch (...) {
        AbortingFlag = true;
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::WithStreamHeader(TStream& Stream, const char* Tag,
                                  const std::function<void()>& Write) {
    if (!StreamHeaders) {
        Write();
        return;
    }
    const int64_t start = Stream.GetPosition();
    uint8_t header[StreamHeaderSize] = {};
    Stream.WriteBuffer(header, StreamHeaderSize);
    Write();
    // The PCX header is written only after a write that did not abort.
    if (AbortingFlag && TagFormat(Tag) == ffPCX) return;
    const int64_t end = Stream.GetPosition();
    MakeStreamHeader(Tag, end - start - StreamHeaderSize, header);
    Stream.SetPosition(start);
    Stream.WriteBuffer(header, StreamHeaderSize);
    Stream.SetPosition(end);
}

void TVistrelIO::RefuseFormat() {
    AbortingFlag = true;
    DoFinishWork();
}

// ---- TIFF -----------------------------------------------------------------------------------

namespace {

// The TIFF reader through an 8 KiB buffer; a returned alpha mask becomes the bitmap's alpha
// channel. Returns the page count. Offsets count from the TIFF header wherever it stands, also
// after a stream header: the writer counts them from there.
int32_t ReadTiff(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                 TVLProgressRecord& Progress) {
    TVLBufferedReadStream buffered(Stream, 8192, false);
    std::unique_ptr<TVLMask> mask;
    int32_t pages = 0;
    ReadTIFFStream(Bitmap, buffered, pages, Params, Progress, false, mask, true, false, false);
    if (mask != nullptr) Bitmap.GetAlphaChannel()->CopyFromMask(mask.get());
    return pages;
}

} // namespace

int32_t TVistrelIO::LoadFromFileTIFF(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileTIFF, FileName)) return -1;
    int32_t pages = 0;
    {
        TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        StreamLoader(file, ffTIFF, {},
                     [this, &pages](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                         pages = ReadTiff(S, Bitmap, *FIOParams, Progress);
                     });
    }
    FIOParams->FileName = FileName;
    return pages;
}

int32_t TVistrelIO::LoadFromStreamTIFF(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamTIFF, Stream)) return -1;
    const int64_t start = Stream.GetPosition();
    int64_t length = -1;
    if (StreamHeaders) {
        uint8_t header[StreamHeaderSize];
        if (Stream.Read(header, StreamHeaderSize) != StreamHeaderSize ||
            !ReadStreamHeader(header, "TIFF", length)) {
            RefuseFormat();
            return 0;
        }
    }
    int32_t pages = 0;
    StreamLoader(Stream, ffTIFF, {},
                 [this, &pages](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     pages = ReadTiff(S, Bitmap, *FIOParams, Progress);
                 });
    // The next image begins right after this one's data, never outside the stream.
    if (length >= 0)
        Stream.SetPosition(std::min(start + StreamHeaderSize + length, Stream.GetSize()));
    return pages;
}

// ---- JPEG -----------------------------------------------------------------------------------

namespace {

void ReadJpeg(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressRecord& Progress) {
    ReadJPEGStream(Stream, nullptr, Bitmap, Params, Progress, false, false, true, false, true, true,
                   -1, Params.NativePixelFormat);
}

} // namespace

void TVistrelIO::LoadFromFileJPEG(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileJPEG, FileName)) return;
    FileLoaderB(FileName, ffJPEG, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    TVLBufferedReadStream buffered(Stream, 8192, false);
                    ReadJpeg(buffered, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamJPEG(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamJPEG, Stream)) return;
    const int64_t start = Stream.GetPosition();
    int64_t length = -1;
    uint8_t header[StreamHeaderSize];
    if (Stream.Read(header, StreamHeaderSize) != StreamHeaderSize ||
        !ReadStreamHeader(header, "JFIF", length))
        Stream.SetPosition(start);
    StreamLoader(Stream, ffJPEG, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadJpeg(S, Bitmap, *FIOParams, Progress);
                 });
    // The next image begins right after this one's data, never outside the stream.
    if (length >= 0)
        Stream.SetPosition(std::min(start + StreamHeaderSize + length, Stream.GetSize()));
}

void TVistrelIO::SaveToFileJPEG(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileJPEG, FileName)) return;
    FileSaver(FileName, ffJPEG, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  RebuildJpegMetadata(*FIOParams, Bitmap);
                  WriteJPEGStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamJPEG(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamJPEG, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    RebuildJpegMetadata(*FIOParams, Bitmap);
                    WithStreamHeader(S, "JFIF",
                                     [&] { WriteJPEGStream(S, Bitmap, *FIOParams, Progress); });
                });
}

// ---- PNG ------------------------------------------------------------------------------------

namespace {

void WritePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressRecord& Progress) {
    if (!Bitmap.HasAlphaChannel()) {
        WritePNGStream(Stream, Bitmap, Params, Progress, nullptr);
        return;
    }
    TVLMask mask;
    Bitmap.GetAlphaChannel()->CopyToMask(&mask);
    WritePNGStream(Stream, Bitmap, Params, Progress, &mask);
}

} // namespace

void TVistrelIO::LoadFromFilePNG(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFilePNG, FileName)) return;
    ColorToRGBTriple(GetBackground(), FIOParams->PngBackground);
    FileLoaderB(FileName, ffPNG, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadPNGStream(Stream, Bitmap, *FIOParams, Progress, false);
                    SetBackground(RGBTripleToColor(FIOParams->PngBackground));
                });
}

void TVistrelIO::LoadFromStreamPNG(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamPNG, Stream)) return;
    StreamLoader(Stream, ffPNG, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadPNGStream(S, Bitmap, *FIOParams, Progress, false);
                     SetBackground(RGBTripleToColor(FIOParams->PngBackground));
                 });
}

void TVistrelIO::SaveToFilePNG(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePNG, FileName)) return;
    FileSaver(FileName, ffPNG, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePng(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamPNG(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPNG, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        WritePng(S, Bitmap, *FIOParams, Progress);
    });
}

// ---- GIF ------------------------------------------------------------------------------------

namespace {

// The on-screen frames of an animation are composed on a 24-bit canvas with an alpha channel.
class TGifCanvas {
public:
    explicit TGifCanvas(const TVLRGB& Background) : FBackground(Background) {}
    bool IsEmpty() const { return FCanvas.IsEmpty(); }
    TVLBitmap& Bitmap() { return FCanvas; }

    // Background colour and transparency where the previous frame was.
    void Dispose(int32_t X, int32_t Y, int32_t W, int32_t H) {
        if (IsEmpty() || W <= 0 || H <= 0) return;
        FCanvas.FillRect(X, Y, X + W - 1, Y + H - 1, Colour());
        FCanvas.GetAlphaChannel()->FillRect(X, Y, X + W - 1, Y + H - 1, 0);
    }
    // Keeps what the area of a frame held before the frame is drawn, for a frame that is to be
    // undone (disposal 3, restore to previous); Restore puts it back.
    void Save(int32_t X, int32_t Y, int32_t W, int32_t H) {
        FSavedX = std::max(X, 0);
        FSavedY = std::max(Y, 0);
        FSavedW = std::max(0, std::min(X + W, FCanvas.GetWidth()) - FSavedX);
        FSavedH = std::max(0, std::min(Y + H, FCanvas.GetHeight()) - FSavedY);
        FSavedColours.resize(static_cast<size_t>(FSavedW) * FSavedH);
        FSavedAlpha.resize(FSavedColours.size());
        TVLBitmap* alpha = FCanvas.GetAlphaChannel();
        for (int32_t y = 0; y < FSavedH; ++y)
            for (int32_t x = 0; x < FSavedW; ++x) {
                const size_t i = static_cast<size_t>(y) * FSavedW + x;
                FSavedColours[i] = FCanvas.GetPixelRGB(FSavedX + x, FSavedY + y);
                FSavedAlpha[i] = alpha->GetPixel8(FSavedX + x, FSavedY + y);
            }
    }
    void Restore() {
        TVLBitmap* alpha = FCanvas.GetAlphaChannel();
        for (int32_t y = 0; y < FSavedH; ++y)
            for (int32_t x = 0; x < FSavedW; ++x) {
                const size_t i = static_cast<size_t>(y) * FSavedW + x;
                FCanvas.SetPixelRGB(FSavedX + x, FSavedY + y, FSavedColours[i]);
                alpha->SetPixel8(FSavedX + x, FSavedY + y, FSavedAlpha[i]);
            }
        alpha->Full = false;
    }
    // Made on first use, enlarged when a frame or the screen needs more room. False when the
    // canvas cannot be had.
    bool Reserve(int32_t W, int32_t H) {
        if (IsEmpty()) {
            if (!FCanvas.Allocate(W, H, TVLPixelFormat::vl24RGB)) return false;
            FCanvas.Fill(Colour());
            FCanvas.GetAlphaChannel()->Fill(0);
            return true;
        }
        if (FCanvas.GetWidth() < W || FCanvas.GetHeight() < H)
            FCanvas.ResizeCanvas(std::max(W, FCanvas.GetWidth()), std::max(H, FCanvas.GetHeight()),
                                 Colour(), 255, 0, 0);
        return true;
    }
    // The frame over the canvas at (X, Y), blended by its alpha; the canvas keeps the larger
    // alpha of each pixel.
    void Draw(TVLBitmap& Frame, int32_t X, int32_t Y) {
        TVLBitmap* alpha = FCanvas.GetAlphaChannel();
        for (int32_t y = 0; y < Frame.GetHeight(); ++y) {
            const int32_t cy = Y + y;
            if (cy < 0 || cy >= FCanvas.GetHeight()) continue;
            for (int32_t x = 0; x < Frame.GetWidth(); ++x) {
                const int32_t cx = X + x;
                if (cx < 0 || cx >= FCanvas.GetWidth()) continue;
                const int32_t a = Frame.HasAlphaChannel() ? Frame.GetAlphaPixel(x, y) : 255;
                if (a == 0) continue;
                const TVLRGB f = Frame.GetPixelAsRGB(x, y);
                const TVLRGB c = FCanvas.GetPixelRGB(cx, cy);
                auto mix = [a](uint8_t F, uint8_t C) {
                    return static_cast<uint8_t>((F * a + C * (255 - a) + 127) / 255);
                };
                FCanvas.SetPixelRGB(cx, cy, TVLRGB{mix(f.b, c.b), mix(f.g, c.g), mix(f.r, c.r)});
                alpha->SetPixel8(
                    cx, cy, std::max<uint8_t>(alpha->GetPixel8(cx, cy), static_cast<uint8_t>(a)));
            }
        }
        alpha->Full = false;
    }

private:
    double Colour() const { return FBackground.r | (FBackground.g << 8) | (FBackground.b << 16); }
    TVLBitmap FCanvas;
    TVLRGB FBackground;
    int32_t FSavedX = 0, FSavedY = 0, FSavedW = 0, FSavedH = 0;
    std::vector<TVLRGB> FSavedColours;
    std::vector<uint8_t> FSavedAlpha;
};

// The screen size is declared, not coded: the frames paint no more pixels than their LZW data
// can describe, so a canvas larger than the frame itself and larger than anything the file's
// frames could cover is refused before it is allocated, however small it is.
bool CoverableCanvas(int32_t W, int32_t H, TVLBitmap& Frame, int64_t InputBytes) {
    const int64_t area = int64_t{W} * H;
    return area <= int64_t{Frame.GetWidth()} * Frame.GetHeight() ||
           area / ExpansionLZW <= InputBytes;
}

} // namespace

int32_t TVistrelIO::ComposeGifFrames(TStream& Stream, TVLBitmap& Bitmap,
                                     TVLProgressRecord& Progress) {
    const int64_t start = Stream.GetPosition();
    const int32_t target = FIOParams->GifImageIndex;
    TVLProgressRecord quiet;
    quiet.AbortFlag = Progress.AbortFlag;
    TVLProgressRecord& frameProgress = target > 0 ? quiet : Progress;
    std::unique_ptr<TGifCanvas> canvas;
    uint8_t previousDisposal = 0;
    int32_t prevX = 0, prevY = 0, prevW = 0, prevH = 0;
    int32_t count = 0;
    for (int32_t i = 0;; ++i) {
        TVLBitmap frame;
        std::unique_ptr<TVLMask> alpha;
        Stream.SetPosition(start);
        FIOParams->SetImageIndex(i);
        // Every read walks the whole file and meets every comment again.
        FIOParams->GifComments.Clear();
        ReadGIFStream(Stream, frame, count, *FIOParams, frameProgress, false, alpha, false);
        const TVLPixelFormat format = frame.GetPixelFormat();
        CheckDPI();
        if (alpha != nullptr) frame.GetAlphaChannel()->CopyFromMask(alpha.get());
        const bool decoded = !frame.IsEmpty();
        if (count > 1 && decoded) {
            if (canvas == nullptr) canvas = std::make_unique<TGifCanvas>(FIOParams->GifBackground);
            if (previousDisposal == 2) canvas->Dispose(prevX, prevY, prevW, prevH);
            if (previousDisposal == 3) canvas->Restore();
            const int32_t x = FIOParams->GifXPos, y = FIOParams->GifYPos;
            const int32_t w = std::max(frame.GetWidth(), FIOParams->GifScreenWidth);
            const int32_t h = std::max(frame.GetHeight(), FIOParams->GifScreenHeight);
            if (!CoverableCanvas(w, h, frame, Stream.GetSize() - start) || !canvas->Reserve(w, h)) {
                Progress.Abort();
                break;
            }
            if (FIOParams->GifDisposal == 3)
                canvas->Save(x, y, frame.GetWidth(), frame.GetHeight());
            canvas->Draw(frame, x, y);
            prevX = x;
            prevY = y;
            prevW = frame.GetWidth();
            prevH = frame.GetHeight();
            previousDisposal = FIOParams->GifDisposal;
            FIOParams->GifDisposal = 2;
            FIOParams->GifXPos = FIOParams->GifYPos = 0;
        }
        if (Progress.Aborting()) break;
        if (count > 0 && decoded) {
            Bitmap.Assign(count > 1 ? &canvas->Bitmap() : &frame);
            if (Bitmap.GetPixelFormat() != format) Bitmap.SetPixelFormat(format);
            if (count > 1) {
                FIOParams->Width = Bitmap.GetWidth();
                FIOParams->Height = Bitmap.GetHeight();
            }
        }
        if (count > 0) Progress.ReportPercent(static_cast<int32_t>(int64_t{i} * 100 / count));
        if (Progress.Aborting() || i >= target || i + 1 >= count) break;
    }
    FIOParams->SetImageIndex(target);
    SetBackground(RGBTripleToColor(FIOParams->GifTransparent ? FIOParams->GifTransparentColor
                                                             : FIOParams->GifBackground));
    return count;
}

int32_t TVistrelIO::LoadFromFileGIF(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileGIF, FileName)) return -1;
    int32_t count = 0;
    FileLoaderA(FileName, ffGIF, {true, true, false},
                [&](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    count = ComposeGifFrames(Stream, Bitmap, Progress);
                });
    return count;
}

int32_t TVistrelIO::LoadFromStreamGIF(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamGIF, Stream)) return -1;
    int32_t count = 0;
    StreamLoader(Stream, ffGIF, {true, true, false},
                 [&](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     count = ComposeGifFrames(S, Bitmap, Progress);
                 });
    return count;
}

void TVistrelIO::SaveToFileGIF(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileGIF, FileName)) return;
    FileSaver(FileName, ffGIF, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteGIFStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamGIF(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamGIF, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        WriteGIFStream(S, Bitmap, *FIOParams, Progress);
    });
}

// ---- BMP ------------------------------------------------------------------------------------

namespace {

// The whole stream is the BMP's room; a returned alpha mask becomes the alpha channel.
void ReadBmp(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
             TVLProgressRecord& Progress) {
    std::unique_ptr<TVLMask> alpha;
    const auto size = static_cast<int32_t>(std::min<int64_t>(Stream.GetSize(), INT32_MAX));
    ReadBMPStream(Stream, Bitmap, size, Params, Progress, false, alpha, !Params.BmpWriteAlpha);
    if (alpha != nullptr) Bitmap.GetAlphaChannel()->CopyFromMask(alpha.get());
}

} // namespace

void TVistrelIO::LoadFromFileBMP(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileBMP, FileName)) return;
    FileLoaderA(FileName, ffBMP, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadBmp(Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamBMP(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamBMP, Stream)) return;
    StreamLoader(Stream, ffBMP, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadBmp(S, Bitmap, *FIOParams, Progress);
                 });
}

void TVistrelIO::SaveToFileBMP(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileBMP, FileName)) return;
    FileSaver(FileName, ffBMP, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteBMPStream(Stream, Bitmap, *FIOParams, Progress, FIOParams->BmpWriteAlpha);
              });
}

void TVistrelIO::SaveToStreamBMP(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamBMP, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        WriteBMPStream(S, Bitmap, *FIOParams, Progress, FIOParams->BmpWriteAlpha);
    });
}

// ---- ICO and CUR ----------------------------------------------------------------------------

namespace {

using TIconReader = void (*)(TStream&, TVLBitmap&, TIOParamsVals&, bool, TVLProgressRecord&,
                             std::unique_ptr<TVLMask>&, bool);

// A returned alpha mask becomes the alpha channel.
void ReadIcon(TIconReader Reader, TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressRecord& Progress) {
    std::unique_ptr<TVLMask> alpha;
    Reader(Stream, Bitmap, Params, false, Progress, alpha, false);
    if (alpha != nullptr) Bitmap.GetAlphaChannel()->CopyFromMask(alpha.get());
}

// The leading sizes with a positive width, at most 16, and as many bit counts.
void WriteIcon(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress) {
    size_t count = 0;
    while (count < Params.IcoSizes.size() && Params.IcoSizes[count].Width > 0)
        ++count;
    WriteICOStream(Stream, Bitmap, Params, Progress,
                   std::span<const TVLIcoSize>(Params.IcoSizes.data(), count),
                   std::span<const int32_t>(Params.IcoBitCounts.data(), count));
}

} // namespace

void TVistrelIO::LoadFromFileICO(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileICO, FileName)) return;
    FileLoaderB(FileName, ffICO, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadIcon(ReadICOStream, Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamICO(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamICO, Stream)) return;
    StreamLoader(Stream, ffICO, {true, true, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadIcon(ReadICOStream, S, Bitmap, *FIOParams, Progress);
                 });
}

void TVistrelIO::LoadFromFileCUR(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileCUR, FileName)) return;
    FileLoaderB(FileName, ffCUR, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadIcon(ReadCURStream, Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamCUR(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamCUR, Stream)) return;
    StreamLoader(Stream, ffCUR, {true, true, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadIcon(ReadCURStream, S, Bitmap, *FIOParams, Progress);
                 });
}

void TVistrelIO::SaveToFileICO(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileICO, FileName)) return;
    FileSaver(FileName, ffICO, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteIcon(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamICO(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamICO, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WriteIcon(S, Bitmap, *FIOParams, Progress);
                });
}

// ---- PNM, WBMP and raw pixels ---------------------------------------------------------------

void TVistrelIO::LoadFromFilePNM(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFilePNM, FileName)) return;
    FileLoaderB(FileName, ffPXM, {true, true, false},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadPNMStream(Stream, Bitmap, *FIOParams, Progress, false);
                });
}

void TVistrelIO::LoadFromStreamPNM(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamPNM, Stream)) return;
    StreamLoader(Stream, ffPXM, {true, true, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadPNMStream(S, Bitmap, *FIOParams, Progress, false);
                 });
}

void TVistrelIO::SaveToFilePNM(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePNM, FileName)) return;
    FileSaver(FileName, ffPXM, PnmKept,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePNMStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamPNM(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPNM, Stream)) return;
    StreamSaver(Stream, PnmKept,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WritePNMStream(S, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromFileWBMP(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileWBMP, FileName)) return;
    FileLoaderB(FileName, ffWBMP, {true, false, false},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadWBMPStream(Stream, Bitmap, *FIOParams, Progress, false);
                });
}

void TVistrelIO::LoadFromStreamWBMP(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamWBMP, Stream)) return;
    StreamLoader(Stream, ffWBMP, {true, false, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadWBMPStream(S, Bitmap, *FIOParams, Progress, false);
                 });
}

void TVistrelIO::SaveToFileWBMP(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileWBMP, FileName)) return;
    FileSaver(FileName, ffWBMP, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteWBMPStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamWBMP(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamWBMP, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WriteWBMPStream(S, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromFileRawPixels(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileRawPixels, FileName)) return;
    FileLoaderA(FileName, ffRawPixels, {false, false, false},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadRawPixelsStream(Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamRawPixels(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamRawPixels, Stream)) return;
    StreamLoader(Stream, ffRawPixels, {false, false, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadRawPixelsStream(S, Bitmap, *FIOParams, Progress);
                 });
}

// ---- PCX, DCX and TGA -----------------------------------------------------------------------

namespace {

int32_t Size32(int64_t Size) {
    return static_cast<int32_t>(std::clamp<int64_t>(Size, 0, INT32_MAX));
}

void ReadDcx(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
             TVLProgressRecord& Progress) {
    ReadDCXStream(Stream, Bitmap, Params, Progress, false);
}

void ReadTga(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
             TVLProgressRecord& Progress) {
    std::unique_ptr<TVLMask> alpha;
    ReadTGAStream(Stream, Bitmap, Params, Progress, false, alpha, false);
    if (alpha != nullptr) Bitmap.GetAlphaChannel()->CopyFromMask(alpha.get());
}

// The alpha mask is made from the working bitmap's alpha channel, as for PNG.
void WriteTga(TStream& Stream, TVLBitmap& Bitmap, TVLBitmap& Working, TIOParamsVals& Params,
              TVLProgressRecord& Progress) {
    if (!Working.HasAlphaChannel()) {
        WriteTGAStream(Stream, Bitmap, Params, Progress, nullptr);
        return;
    }
    TVLMask mask;
    Working.GetAlphaChannel()->CopyToMask(&mask);
    WriteTGAStream(Stream, Bitmap, Params, Progress, &mask);
}

} // namespace

void TVistrelIO::LoadFromFilePCX(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFilePCX, FileName)) return;
    FileLoaderA(FileName, ffPCX, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadPCXStream(Stream, Bitmap, *FIOParams, Size32(Stream.GetSize()), Progress,
                                  false);
                });
}

void TVistrelIO::LoadFromStreamPCX(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamPCX, Stream)) return;
    const int64_t start = Stream.GetPosition();
    int64_t length = -1;
    if (StreamHeaders) {
        uint8_t header[StreamHeaderSize];
        if (Stream.Read(header, StreamHeaderSize) != StreamHeaderSize ||
            !ReadStreamHeader(header, "PCX2", length)) {
            RefuseFormat();
            return;
        }
        // The older header is "PCX" and a zero byte, without a length.
        if (header[3] != '2') {
            Stream.SetPosition(start + 4);
            length = -1;
        }
    }
    const int64_t size = length >= 0 ? length : Stream.GetSize();
    StreamLoader(Stream, ffPCX, {},
                 [this, size](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadPCXStream(S, Bitmap, *FIOParams, Size32(size), Progress, false);
                 });
    // The next image begins right after this one's data, never outside the stream.
    if (length >= 0)
        Stream.SetPosition(std::min(start + StreamHeaderSize + length, Stream.GetSize()));
}

void TVistrelIO::SaveToFilePCX(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePCX, FileName)) return;
    FileSaver(FileName, ffPCX, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePCXStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamPCX(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPCX, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WithStreamHeader(S, "PCX2",
                                     [&] { WritePCXStream(S, Bitmap, *FIOParams, Progress); });
                });
}

void TVistrelIO::LoadFromFileDCX(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileDCX, FileName)) return;
    FileLoaderA(FileName, ffDCX, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadDcx(Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamDCX(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamDCX, Stream)) return;
    StreamLoader(Stream, ffDCX, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadDcx(S, Bitmap, *FIOParams, Progress);
                 });
}

void TVistrelIO::SaveToFileDCX(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileDCX, FileName)) return;
    FileSaver(FileName, ffDCX, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteDCXStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

// The container is built apart and replaces the stream's content only when it is complete.
void TVistrelIO::SaveToStreamDCX(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamDCX, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        TMemoryStream container;
        WriteDCXStream(container, Bitmap, *FIOParams, Progress);
        if (Progress.Aborting()) return;
        S.SetSize(0);
        S.SetPosition(0);
        container.SaveToStream(S);
    });
}

void TVistrelIO::LoadFromFileTGA(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileTGA, FileName)) return;
    FileLoaderB(FileName, ffTGA, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadTga(Stream, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::LoadFromStreamTGA(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamTGA, Stream)) return;
    StreamLoader(Stream, ffTGA, {true, true, false},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadTga(S, Bitmap, *FIOParams, Progress);
                 });
}

void TVistrelIO::SaveToFileTGA(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileTGA, FileName)) return;
    FileSaver(FileName, ffTGA, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteTga(Stream, Bitmap, *FBitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamTGA(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamTGA, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WriteTga(S, Bitmap, *FBitmap, *FIOParams, Progress);
                });
}

// ---- TIFF -----------------------------------------------------------------------------------

void TVistrelIO::SaveToFileTIFF(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileTIFF, FileName)) return;
    FileSaver(FileName, ffTIFF, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteTIFFStream(Stream, false, &Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamTIFF(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamTIFF, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        WithStreamHeader(S, "TIFF",
                         [&] { WriteTIFFStream(S, false, &Bitmap, *FIOParams, Progress); });
    });
}

// ---- JPEG 2000 ------------------------------------------------------------------------------

namespace {

constexpr int32_t JP2FileFormat = 0;
constexpr int32_t J2KCodestreamFormat = 1;

} // namespace

void TVistrelIO::LoadFromFileJP2(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileJP2, FileName)) return;
    FileLoaderB(FileName, ffJP2, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadJPEG2000Stream(Stream, Bitmap, *FIOParams, Progress, false);
                });
}

void TVistrelIO::LoadFromFileJ2K(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileJ2K, FileName)) return;
    FileLoaderB(FileName, ffJ2K, {},
                [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    ReadJPEG2000Stream(Stream, Bitmap, *FIOParams, Progress, false);
                });
}

void TVistrelIO::LoadFromStreamJP2(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamJP2, Stream)) return;
    StreamLoader(Stream, ffJP2, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadJPEG2000Stream(S, Bitmap, *FIOParams, Progress, false);
                 });
}

void TVistrelIO::LoadFromStreamJ2K(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamJ2K, Stream)) return;
    StreamLoader(Stream, ffJ2K, {},
                 [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                     ReadJPEG2000Stream(S, Bitmap, *FIOParams, Progress, false);
                 });
}

void TVistrelIO::SaveToFileJP2(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileJP2, FileName)) return;
    FileSaver(FileName, ffJP2, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteJPEG2000Stream(Stream, Bitmap, *FIOParams, Progress, JP2FileFormat);
              });
}

void TVistrelIO::SaveToFileJ2K(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFileJ2K, FileName)) return;
    FileSaver(FileName, ffJ2K, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WriteJPEG2000Stream(Stream, Bitmap, *FIOParams, Progress, J2KCodestreamFormat);
              });
}

void TVistrelIO::SaveToStreamJP2(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamJP2, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WriteJPEG2000Stream(S, Bitmap, *FIOParams, Progress, JP2FileFormat);
                });
}

void TVistrelIO::SaveToStreamJ2K(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamJ2K, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WriteJPEG2000Stream(S, Bitmap, *FIOParams, Progress, J2KCodestreamFormat);
                });
}

// ---- PSD ------------------------------------------------------------------------------------

namespace {

// The alpha of a file's single layer, placed at the layer's position, becomes the picture's;
// what the layer does not cover is transparent.
void TakeLayerAlpha(TVLBitmap& Picture, TVLLayer& Layer) {
    TVLBitmap& layer = *Layer.Bitmap();
    if (Picture.IsEmpty() || !layer.HasAlphaChannel()) return;
    TVLBitmap& source = *layer.GetAlphaChannel();
    TVLBitmap& alpha = *Picture.GetAlphaChannel();
    const int64_t lw = source.GetWidth(), lh = source.GetHeight();
    for (int32_t y = 0; y < alpha.GetHeight(); ++y) {
        uint8_t* row = alpha.GetScanline(y);
        const int64_t sy = int64_t{y} - Layer.PosY;
        const uint8_t* from =
            sy >= 0 && sy < lh ? source.GetScanline(static_cast<int32_t>(sy)) : nullptr;
        for (int32_t x = 0; x < alpha.GetWidth(); ++x) {
            const int64_t sx = int64_t{x} - Layer.PosX;
            row[x] = from != nullptr && sx >= 0 && sx < lw ? from[sx] : 0;
        }
    }
    alpha.SyncFull();
}

// The file's layers into the view: into layer 0 (replacing) or new layers (appending). An
// offset first layer gets a transparent full-size background below it, whose size the file
// only declares: it is held to what the file could plausibly describe.
bool HandLayersToView(TVistrelView& View, std::vector<std::unique_ptr<TVLLayer>>& Layers,
                      TIOParamsVals& Params, int64_t InputBytes) {
    int32_t target = Params.PsdReplaceLayers ? 0 : View.AddLayer();
    TVLLayer& first = *Layers.front();
    if (first.PosX != 0 || first.PosY != 0) {
        TVLLayer& background = *View.GetLayer(target);
        background.Reset();
        background.Locked = true;
        TVLBitmap& bitmap = *background.Bitmap();
        if (!IsPlausibleDeclaredSize(PlannedBitmapBytes(Params.Width, Params.Height,
                                                        TVLPixelFormat::vl24RGB, true),
                                     0, ExpansionPackBits, InputBytes) ||
            !bitmap.Allocate(Params.Width, Params.Height, TVLPixelFormat::vl24RGB))
            return false;
        bitmap.Fill(0);
        bitmap.GetAlphaChannel()->Fill(0);
        bitmap.GetAlphaChannel()->Full = false;
        target = View.AddLayer();
    }
    View.GetLayer(target)->Assign(first);
    for (size_t i = 1; i < Layers.size(); ++i)
        View.GetLayer(View.AddLayer())->Assign(*Layers[i]);
    return true;
}

// Layers are asked of the reader only for a view to take them: without one the merged picture
// is what a load gives.
void ReadPsd(TVistrelIO& IO, TStream& Stream, TVLProgressRecord& Progress) {
    TIOParamsVals& params = IO.IOParams();
    auto* view = dynamic_cast<TVistrelView*>(IO.AttachedVistrel());
    const bool intoView = params.PsdLoadLayers && view != nullptr;
    if (intoView && params.PsdReplaceLayers) view->ClearLayers();
    // Clearing the view's layers may have moved the working bitmap to layer 0.
    TVLBitmap& picture = *IO.GetBitmap();
    const int64_t start = Stream.GetPosition();
    std::vector<std::unique_ptr<TVLLayer>> layers;
    ReadPSDStream(Stream, &picture, params, Progress, intoView, &layers);
    if (intoView && !layers.empty()) {
        if (!HandLayersToView(*view, layers, params, Stream.GetSize() - start)) Progress.Abort();
    } else if (layers.size() == 1 && !params.LoadThumbnail) {
        TakeLayerAlpha(picture, *layers.front());
    }
}

// Copies of View's layers, and of the settings its composition reads, in a windowless view.
void CopyLayersInto(TVistrelView& Copy, TVistrelView& View) {
    // Layer 0 may hold formats a class-library bitmap cannot.
    Copy.SetLegacyBitmap(false);
    Copy.SetBackground(View.Background());
    Copy.SetBackgroundStyle(View.BackgroundStyle());
    Copy.SetZoomFilter(View.ZoomFilter());
    Copy.SetEnableAlphaChannel(View.EnableAlphaChannel());
    for (int32_t i = 0; i < View.GetLayerCount(); ++i) {
        TVLLayer& source = *View.GetLayer(i);
        TVLLayer& layer = *Copy.GetLayer(i == 0 ? 0 : Copy.AddLayer());
        layer.Assign(source);
        // Assign leaves out the rotation, which the composition draws.
        layer.SetRotate(source.Rotate());
        layer.RotateCenterX = source.RotateCenterX;
        layer.RotateCenterY = source.RotateCenterY;
    }
    // Set last, so that layers are sized alike only once all are there.
    Copy.LayersSync = View.LayersSync;
}

// A view's layers are written over their merged picture, in layer 0's pixel format. Both come
// from copies in a temporary view: composing at 100 % in the attached view would change its
// zoom, scroll state and layers during the save.
void WritePsd(TVistrelIO& IO, TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
    auto* view = dynamic_cast<TVistrelView*>(IO.AttachedVistrel());
    if (view == nullptr) {
        WritePSDStream(Stream, IO.IOParams(), Progress, Bitmap, {});
        return;
    }
    TVistrelView temporary(nullptr);
    CopyLayersInto(temporary, *view);
    TVLBitmap merged;
    if (!temporary.DrawLayersToBitmap(merged)) {
        Progress.Abort();
        return;
    }
    merged.RemoveAlphaChannel(false, 0);
    merged.SetPixelFormat(temporary.GetLayer(0)->Bitmap()->GetPixelFormat());
    std::vector<TVLLayer*> layers;
    for (int32_t i = 0; i < temporary.GetLayerCount(); ++i)
        layers.push_back(temporary.GetLayer(i));
    WritePSDStream(Stream, IO.IOParams(), Progress, merged, layers);
}

} // namespace

void TVistrelIO::LoadFromFilePSD(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFilePSD, FileName)) return;
    FileLoaderA(FileName, ffPSD, {},
                [this](TStream& Stream, TVLBitmap&, TVLProgressRecord& Progress) {
                    ReadPsd(*this, Stream, Progress);
                });
}

void TVistrelIO::LoadFromStreamPSD(TStream& Stream) {
    if (Reissued(&TVistrelIO::LoadFromStreamPSD, Stream)) return;
    StreamLoader(Stream, ffPSD, {}, [this](TStream& S, TVLBitmap&, TVLProgressRecord& Progress) {
        ReadPsd(*this, S, Progress);
    });
}

void TVistrelIO::SaveToFilePSD(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePSD, FileName)) return;
    FileSaver(FileName, ffPSD, {},
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePsd(*this, Stream, Bitmap, Progress);
              });
}

void TVistrelIO::SaveToStreamPSD(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPSD, Stream)) return;
    StreamSaver(Stream, {}, [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
        WritePsd(*this, S, Bitmap, Progress);
    });
}

// ---- PostScript and PDF ---------------------------------------------------------------------

void TVistrelIO::SaveToFilePS(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePS, FileName)) return;
    FileSaver(FileName, ffPS, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePSStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamPS(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPS, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WritePSStream(S, Bitmap, *FIOParams, Progress);
                });
}

void TVistrelIO::SaveToFilePDF(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFilePDF, FileName)) return;
    FileSaver(FileName, ffPDF, TrueColourOrBilevel,
              [this](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  WritePDFStream(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToStreamPDF(TStream& Stream) {
    if (Reissued(&TVistrelIO::SaveToStreamPDF, Stream)) return;
    StreamSaver(Stream, TrueColourOrBilevel,
                [this](TStream& S, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                    WritePDFStream(S, Bitmap, *FIOParams, Progress);
                });
}

// ---- Layers and vector objects --------------------------------------------------------------

namespace {

// Layer positions are declared, not coded: the merged picture they span is held to what the
// stream could plausibly describe, like any declared picture size.
bool PlausibleMerge(TVistrelView& View, int64_t StreamBytes) {
    int64_t width = 0, height = 0;
    View.MergedLayersSize(width, height);
    return IsPlausibleDeclaredSize(PlannedBitmapBytes(width, height, TVLPixelFormat::vl24RGB, true),
                                   0, ExpansionDeflate, StreamBytes);
}

} // namespace

void TVistrelIO::LoadFromFileLayersObjects(const String& FileName, TVLFileFormatId FormatId) {
    if (Reissued(&TVistrelIO::LoadFromFileLayersObjects, FileName, FormatId)) return;
    // The vector view is not built in: its formats take the no-reader path.
    if (FormatId != ffLayers) {
        RefuseFormat();
        FIOParams->FileType = FormatId;
        return;
    }
    if (auto* view = dynamic_cast<TVistrelView*>(FAttachedVistrel)) {
        AbortingFlag = !view->LoadLayersFromFile(FileName);
        FIOParams->FileType = FormatId;
        return;
    }
    try {
        AbortingFlag = true;
        if (CheckWorkingBitmap()) {
            TVistrelView temporary(nullptr);
            TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
            AbortingFlag = !temporary.LoadLayersFromStream(file) ||
                           !PlausibleMerge(temporary, file.GetSize()) ||
                           !temporary.MergeAllLayers();
            if (!AbortingFlag) {
                FBitmap->Assign(temporary.GetVLBitmap());
                UpdateAttached();
            }
        }
    } catch (...) {
        FIOParams->FileType = FormatId;
        DoFinishWork();
        throw;
    }
    FIOParams->FileType = FormatId;
    DoFinishWork();
}

void TVistrelIO::LoadFromStreamLayersObjects(TStream& Stream, TVLFileFormatId FormatId) {
    if (Reissued(&TVistrelIO::LoadFromStreamLayersObjects, Stream, FormatId)) return;
    if (auto* view = dynamic_cast<TVistrelView*>(FAttachedVistrel);
        view != nullptr && FormatId == ffLayers)
        AbortingFlag = !view->LoadLayersFromStream(Stream);
    FIOParams->FileType = FormatId;
}
