// EXIF and XMP in JPEG APP1 payloads, and the search for embedded TIFF headers.
#include "imaging/io/VLExif.h"

#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMarkerList.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "imaging/formats/tiff/VLTIFFWriter.h"
#include "imaging/io/VLJpeg.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr char XmpNamespace[XmpHeaderLength + 1] = "http://ns.adobe.com/xap/1.0/";
constexpr uint8_t ExifHeader[ExifHeaderLength] = {'E', 'x', 'i', 'f', 0, 0};
constexpr int64_t TiffHeaderSearch = 0x20000;

uint16_t Swap16(uint16_t V) {
    return static_cast<uint16_t>((V >> 8) | (V << 8));
}
uint32_t Swap32(uint32_t V) {
    return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

// The header of the TIFF structure in Stream: byte order and first directory offset.
bool ReadTiffHeader(TStream& Stream, TVLTagsReadState& Ctx, uint32_t& First) {
    uint8_t header[8];
    Stream.SetPosition(0);
    if (Stream.Read(header, 8) != 8) return false;
    if (header[0] == 'I' && header[1] == 'I')
        Ctx.IntelByteOrder = true;
    else if (header[0] == 'M' && header[1] == 'M')
        Ctx.IntelByteOrder = false;
    else
        return false;
    std::memcpy(&First, header + 4, 4);
    if (!Ctx.IntelByteOrder) First = Swap32(First);
    Ctx.Stream = &Stream;
    return true;
}

// A progress record with no event and an abort flag of its own.
struct TQuietProgress {
    bool Aborting = false;
    TVLProgressRecord Record;
    TQuietProgress() { Record.AbortFlag = &Aborting; }
};

// The parameters of the first directory of the TIFF structure at Start, read into Temporary.
void ReadFirstDirectory(TStream& Stream, int64_t Start, TIOParamsVals& Temporary) {
    TVLBitmap none;
    TQuietProgress progress;
    int32_t pages = 0;
    std::unique_ptr<TVLMask> mask;
    Temporary.SetImageIndex(0);
    Stream.SetPosition(Start);
    ReadTIFFStream(none, Stream, pages, Temporary, progress.Record, true, mask, true, true, false);
}

// Image Index of the TIFF structure at Start into Bitmap in thumbnail mode (nothing larger
// than 400 pixels a side); Bitmap is left empty when the image is missing, refused or broken.
void ReadThumbnailImage(TStream& Stream, int64_t Start, TIOParamsVals& Temporary, int32_t Index,
                        TVLBitmap& Bitmap) {
    TQuietProgress progress;
    int32_t pages = 0;
    std::unique_ptr<TVLMask> mask;
    Temporary.SetImageIndex(Index);
    Temporary.TiffAdjustOrientation = false;
    Stream.SetPosition(Start);
    ReadTIFFStream(Bitmap, Stream, pages, Temporary, progress.Record, false, mask, true, true,
                   true);
    if (progress.Aborting) Bitmap.FreeImage(true);
}

// Params' thumbnail, made when missing and emptied.
TVLBitmap& EmptyThumbnail(TIOParamsVals& Params) {
    if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TVLBitmap>();
    Params.ExifThumbnail->FreeImage(true);
    return *Params.ExifThumbnail;
}

// Whether Candidate is a picture (not missing, not all black) narrower than Other or beside no
// picture at all.
bool IsSmallerPicture(TVLBitmap& Candidate, TVLBitmap& Other) {
    const int32_t width = Candidate.GetWidth();
    const bool otherIsPicture = Other.GetWidth() > 0 && !Other.IsAllZero();
    return width > 0 && !Candidate.IsAllZero() && (!otherIsPicture || width < Other.GetWidth());
}

// The orientation that turns an upright picture back into one stored with Orientation.
int32_t InverseOrientation(int32_t Orientation) {
    return Orientation == 6 ? 8 : Orientation == 8 ? 6 : Orientation;
}

// Links a second directory after the first one of the little-endian structure in Stream: the
// thumbnail as a JPEG datastream with only the tags EXIF allows beside it (a TIFF page's image
// structure tags would contradict the JPEG data for EXIF readers).
void AppendThumbnail(TMemoryStream& Stream, TVLBitmap& Thumbnail, bool& Aborting) {
    uint32_t first = 0;
    uint16_t count = 0;
    Stream.SetPosition(4);
    if (Stream.Read(&first, 4) != 4) return;
    Stream.SetPosition(first);
    if (Stream.Read(&count, 2) != 2) return;
    const int64_t link = int64_t{first} + 2 + int64_t{count} * 12;
    TMemoryStream jpeg;
    TIOParamsVals params;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborting;
    WriteJPEGStream(jpeg, Thumbnail, params, progress);
    if (Aborting) return;
    Stream.Seek(0, soEnd);
    TTIFFEntryList ifd(Stream, Aborting);
    ifd.Align();
    const auto position = static_cast<uint32_t>(Stream.GetPosition());
    Stream.WriteBuffer(jpeg.Memory(), jpeg.GetSize());
    ifd.AddShort(259, 6);
    ifd.AddRational(282, 72, 1);
    ifd.AddRational(283, 72, 1);
    ifd.AddShort(296, 2);
    ifd.AddLong(513, position);
    ifd.AddLong(514, static_cast<uint32_t>(jpeg.GetSize()));
    const auto offset = static_cast<uint32_t>(ifd.WriteIFD(0));
    Stream.SetPosition(link);
    Stream.WriteBuffer(&offset, 4);
    Stream.Seek(0, soEnd);
}

} // namespace

const uint8_t* FindXMPInAPP1(const uint8_t* Data, int32_t Length) {
    if (Data == nullptr || Length < XmpHeaderLength + 1 || std::memcmp(Data, XmpNamespace, 24) != 0)
        return nullptr;
    const uint8_t* end = Data + Length;
    const uint8_t* nul = std::find(Data, end, uint8_t{0});
    return nul == end ? nullptr : nul + 1;
}

bool ReadXMPFromAPP1(const uint8_t* Data, int32_t Length, TIOParamsVals& Params) {
    const uint8_t* text = FindXMPInAPP1(Data, Length);
    if (text == nullptr) return false;
    Params.XmpInfo.assign(reinterpret_cast<const char*>(text),
                          static_cast<size_t>(Data + Length - text));
    return true;
}

std::vector<uint8_t> BuildXMPAPP1(const TIOParamsVals& Params) {
    std::vector<uint8_t> data(XmpNamespace, XmpNamespace + XmpHeaderLength);
    data.insert(data.end(), Params.XmpInfo.begin(), Params.XmpInfo.end());
    return data;
}

bool ReadExifBlock(const uint8_t* Data, int32_t Length, TIOParamsVals& Params) {
    if (Data == nullptr || Length < ExifHeaderLength || !IsExifBlock(Data, Length)) return false;
    TMemoryStream stream;
    stream.WriteBuffer(Data + ExifHeaderLength, Length - ExifHeaderLength);
    TVLTagsReadState main;
    uint32_t first = 0;
    int32_t count = 0;
    if (!ReadTiffHeader(stream, main, first) || !TIFFReadIFD(main, 0, first, count)) return false;
    TIOParamsVals temporary(Params.GetOwner());
    ReadFirstDirectory(stream, 0, temporary);
    CopyExifParams(temporary, Params);
    Params.HasExif = true;
    TVLBitmap& thumbnail = EmptyThumbnail(Params);
    ReadThumbnailImage(stream, 0, temporary, 1, thumbnail);
    if (!thumbnail.IsEmpty()) ApplyExifOrientation(thumbnail, Params.TiffOrientation);
    return true;
}

std::vector<uint8_t> WriteExifBlock(TIOParamsVals& Params) {
    TMemoryStream stream;
    bool aborting = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborting;
    WriteTIFFStream(stream, false, nullptr, Params, progress);
    if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty() && !aborting) {
        TVLBitmap stored;
        stored.Assign(Params.ExifThumbnail.get());
        ApplyExifOrientation(stored, InverseOrientation(Params.TiffOrientation));
        AppendThumbnail(stream, stored, aborting);
    }
    std::vector<uint8_t> block(ExifHeader, ExifHeader + ExifHeaderLength);
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    block.insert(block.end(), bytes, bytes + stream.GetSize());
    return block;
}

void CopyExifParams(const TIOParamsVals& Source, TIOParamsVals& Dest) {
    const bool hasExif = Dest.HasExif;
    static_cast<TIOExifFields&>(Dest) = static_cast<const TIOExifFields&>(Source);
    Dest.HasExif = hasExif;
    Dest.ExifImageDescription = Source.TiffImageDescription;
    Dest.SetExifOrientation(Source.ExifOrientation);
    Dest.SetExifXResolution(Source.ExifXResolution);
    Dest.SetExifYResolution(Source.ExifYResolution);
    TMemoryStream& to = Dest.ExifMakerNote.Data();
    to.Clear();
    // Reading the source's bytes leaves it as it was; its stream is only reachable non-const.
    TMemoryStream& from = const_cast<TVLTagsHandler&>(Source.ExifMakerNote).Data();
    if (from.GetSize() > 0) to.WriteBuffer(from.Memory(), from.GetSize());
    to.SetPosition(0);
    Dest.ExifMakerNote.ReadDirectory();
}

int64_t FindTiffHeader(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    const int64_t size = Stream.GetSize();
    std::vector<uint8_t> bytes(
        static_cast<size_t>(std::clamp<int64_t>(size - start, 0, TiffHeaderSearch)));
    const int32_t got = Stream.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
    Stream.SetPosition(start);
    for (int32_t i = 0; i + 8 <= got; ++i) {
        const uint8_t* p = &bytes[i];
        const bool intel = p[0] == 'I' && p[1] == 'I';
        if (!intel && !(p[0] == 'M' && p[1] == 'M')) continue;
        uint16_t magic = 0;
        uint32_t offset = 0;
        std::memcpy(&magic, p + 2, 2);
        std::memcpy(&offset, p + 4, 4);
        if (!intel) magic = Swap16(magic), offset = Swap32(offset);
        if ((magic == 42 || magic == 0x4F52 || magic == 0x5352) && int64_t{offset} < size) return i;
    }
    return -1;
}

bool LoadCameraRawExif(TStream& Stream, TIOParamsVals& Params) {
    const int64_t start = Stream.GetPosition();
    TIOParamsVals temporary(Params.GetOwner());
    TVLBitmap& thumbnail = EmptyThumbnail(Params);
    ReadFirstDirectory(Stream, start, temporary);
    CopyExifParams(temporary, Params);
    Params.HasExif = true;
    TVLBitmap first, second;
    ReadThumbnailImage(Stream, start, temporary, 0, first);
    ReadThumbnailImage(Stream, start, temporary, 1, second);
    if (IsSmallerPicture(first, second))
        thumbnail.Assign(&first);
    else if (IsSmallerPicture(second, first))
        thumbnail.Assign(&second);
    Stream.SetPosition(start);
    return true;
}
