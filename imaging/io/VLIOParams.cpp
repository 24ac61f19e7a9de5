// The per-image parameter record.
#include "imaging/io/VLIOParams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr uint8_t MarkerAPP1 = 0xE1;
constexpr int32_t MaxPaletteCount = 65536;

int32_t ClampToInt32(double Value) {
    if (std::isnan(Value)) return 0;
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(Trunc(std::clamp(Value, lo, hi)));
}

template <typename T, size_t N> T ArrayEntry(const std::array<T, N>& Values, int32_t Index) {
    return Index >= 0 && static_cast<size_t>(Index) < N ? Values[Index] : T{};
}

template <typename T, size_t N>
void SetArrayEntry(std::array<T, N>& Values, int32_t Index, T Value) {
    if (Index >= 0 && static_cast<size_t>(Index) < N) Values[Index] = Value;
}

} // namespace

TIOParamsVals::TIOParamsVals(TIOParamsOwner* IO) : FOwner(IO) {
    SetDefaults();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDefaults() {
    // Values that the defaults leave alone.
    const int32_t width = Width, height = Height, dpiX = DpiX, dpiY = DpiY;
    const int32_t warnings = JpegWarningCount, messageCode = JpegLastMessageCode;
    const int32_t mediaCount = MediaFrameCount, mediaDelay = MediaFrameDelay;
    static_cast<TIOParamsFields&>(*this) = TIOParamsFields{};
    Width = width;
    Height = height;
    DpiX = dpiX;
    DpiY = dpiY;
    JpegWarningCount = warnings;
    JpegLastMessageCode = messageCode;
    MediaFrameCount = mediaCount;
    MediaFrameDelay = mediaDelay;

    FreePalette();
    if (FOwner != nullptr) {
        if (TBitmap* bitmap = FOwner->GetTBitmap(); bitmap != nullptr) {
            Width = bitmap->Width();
            Height = bitmap->Height();
        }
        SetDpiX(DefaultDpiX);
        SetDpiY(DefaultDpiY);
    }
    GifLZWDecompress = DefaultGifLZWDecompress;
    GifLZWCompress = DefaultGifLZWCompress;
    GifComments.Clear();
    TiffLZWDecompress = DefaultTiffLZWDecompress;
    TiffLZWCompress = DefaultTiffLZWCompress;
    JpegMarkers.Clear();
    PngTextKeys.Clear();
    PngTextValues.Clear();
    DicomTags.Clear();
    TgaDate = Date();
    IPTCInfo.Clear();
    PxmComments.Clear();
    ClearExif();
    ImagingAnnot.reset();
    EmbeddedICC.reset();
    SRGBICC.reset();
    DefaultICC.reset();
}

void TIOParamsVals::ClearExif() {
    static_cast<TIOExifFields&>(*this) = TIOExifFields{};
    ExifThumbnail.reset();
    ClearMakerNote();
    for (int32_t i = 0; i < JpegMarkers.GetCount(); ++i) {
        if (JpegMarkers.GetMarkerType(i) == MarkerAPP1 &&
            IsExifBlock(JpegMarkers.GetMarkerData(i), JpegMarkers.GetMarkerLength(i))) {
            JpegMarkers.DeleteMarker(i);
            break;
        }
    }
}

void TIOParamsVals::ResetInfo() {
    IPTCInfo.Clear();
    ImagingAnnot.reset();
    JpegMarkers.Clear();
    ClearExif();
    GifComments.Clear();
    DicomTags.Clear();
    PngTextKeys.Clear();
    PngTextValues.Clear();
    TiffDocumentName.clear();
    TiffImageDescription.clear();
    TiffPageName.clear();
    TgaDescription.clear();
    TgaAuthor.clear();
    TgaImageName.clear();
    PxmComments.Clear();
    XmpInfo.clear();
    RawCamera.clear();
    EmbeddedICC.reset();
}

// An empty directory: the stream is emptied and the entry table read from a zero count, so that
// no entry of the old directory is left pointing into the empty stream.
void TIOParamsVals::ClearMakerNote() {
    TMemoryStream& data = ExifMakerNote.Data();
    data.Clear();
    const uint16_t noEntries = 0;
    data.WriteBuffer(&noEntries, sizeof(noEntries));
    ExifMakerNote.ReadDirectory();
    data.Clear();
}

void TIOParamsVals::CopyMakerNote(const TVLTagsHandler& Source) {
    ClearMakerNote();
    // Reading the source's bytes leaves it as it was; its stream is only reachable non-const.
    TMemoryStream& from = const_cast<TVLTagsHandler&>(Source).Data();
    const int64_t size = from.GetSize();
    if (size == 0) return;
    ExifMakerNote.Data().WriteBuffer(from.Memory(), size);
    ExifMakerNote.ReadDirectory();
}

// A source without a thumbnail leaves the destination's own.
void TIOParamsVals::CopyExifThumbnail(const TIOParamsVals& Source) {
    if (!Source.ExifThumbnail) return;
    if (!ExifThumbnail) ExifThumbnail = std::make_unique<TVLBitmap>();
    ExifThumbnail->Assign(Source.ExifThumbnail.get());
}

void TIOParamsVals::Assign(const TIOParamsVals& Source) {
    if (&Source == this) return;
    const int32_t warnings = JpegWarningCount, messageCode = JpegLastMessageCode;
    const int32_t mediaCount = MediaFrameCount, mediaDelay = MediaFrameDelay;
    const bool native = NativePixelFormat;
    static_cast<TIOParamsFields&>(*this) = Source;
    static_cast<TIOExifFields&>(*this) = Source;
    JpegWarningCount = warnings;
    JpegLastMessageCode = messageCode;
    MediaFrameCount = mediaCount;
    MediaFrameDelay = mediaDelay;
    NativePixelFormat = native;
    // Through the setters so that an attached view follows; the exact EXIF values stay.
    SetDpiX(Source.DpiX);
    SetDpiY(Source.DpiY);
    ExifXResolution = Source.ExifXResolution;
    ExifYResolution = Source.ExifYResolution;
    // The image indexes go through their setter, which makes all six equal; the last call,
    // with the cursor's index, decides.
    for (const int32_t index : {Source.TiffImageIndex, Source.GifImageIndex, Source.DcxImageIndex,
                                Source.IcoImageIndex, Source.CurImageIndex})
        SetImageIndex(index);

    FreePalette();
    if (Source.Palette && Source.PaletteCount > 0)
        std::copy_n(Source.Palette.get(), Source.PaletteCount, AllocPalette(Source.PaletteCount));

    GifComments.Assign(Source.GifComments);
    JpegMarkers.Assign(&Source.JpegMarkers);
    PngTextKeys.Assign(Source.PngTextKeys);
    PngTextValues.Assign(Source.PngTextValues);
    DicomTags.Assign(&Source.DicomTags);
    IPTCInfo.Assign(&Source.IPTCInfo);
    PxmComments.Assign(Source.PxmComments);
    CopyMakerNote(Source.ExifMakerNote);
    CopyExifThumbnail(Source);
    if (Source.ImagingAnnot)
        GetImagingAnnot()->Assign(Source.ImagingAnnot.get());
    else
        ImagingAnnot.reset();
    CopyProfiles(Source);
}

void TIOParamsVals::CopyProfiles(const TIOParamsVals& Source) {
    const auto copy = [](const std::unique_ptr<TVLICC>& From, std::unique_ptr<TVLICC>& To) {
        if (!From) {
            To.reset();
            return;
        }
        if (!To) To = std::make_unique<TVLICC>();
        To->Assign(From.get());
    };
    copy(Source.EmbeddedICC, EmbeddedICC);
    copy(Source.SRGBICC, SRGBICC);
    copy(Source.DefaultICC, DefaultICC);
}

void TIOParamsVals::CopyEncodingOptions(const TIOParamsVals& Source) {
    BitsPerSample = Source.BitsPerSample;
    SamplesPerPixel = Source.SamplesPerPixel;
    TiffCompression = Source.TiffCompression;
    TiffPhotometric = Source.TiffPhotometric;
    TiffPlanarConfig = Source.TiffPlanarConfig;
    SetTIFFOrientation(Source.TiffOrientation);
    TiffLZWDecompress = Source.TiffLZWDecompress;
    TiffLZWCompress = Source.TiffLZWCompress;
    TiffAdjustOrientation = Source.TiffAdjustOrientation;
    TiffJpegQuality = Source.TiffJpegQuality;
    TiffJpegColorSpace = Source.TiffJpegColorSpace;
    TiffFillOrder = Source.TiffFillOrder;
    TiffDeflateLevel = Source.TiffDeflateLevel;
    GifInterlaced = Source.GifInterlaced;
    GifLZWDecompress = Source.GifLZWDecompress;
    GifLZWCompress = Source.GifLZWCompress;
    JpegColorSpace = Source.JpegColorSpace;
    JpegQuality = Source.JpegQuality;
    JpegDCTMethod = Source.JpegDCTMethod;
    JpegChromaSubsampling = Source.JpegChromaSubsampling;
    JpegOptimalHuffman = Source.JpegOptimalHuffman;
    JpegSmoothing = Source.JpegSmoothing;
    JpegProgressive = Source.JpegProgressive;
    J2000ColorSpace = Source.J2000ColorSpace;
    J2000Rate = Source.J2000Rate;
    J2000Progression = Source.J2000Progression;
    PcxVersion = Source.PcxVersion;
    PcxCompression = Source.PcxCompression;
    BmpHeaderVersion = Source.BmpHeaderVersion;
    BmpCompression = Source.BmpCompression;
    BmpWriteAlpha = Source.BmpWriteAlpha;
    PngInterlaced = Source.PngInterlaced;
    PngFilter = Source.PngFilter;
    PngCompression = Source.PngCompression;
    TgaCompressed = Source.TgaCompressed;
    TgaGrayLevel = Source.TgaGrayLevel;
}

void TIOParamsVals::SetImageIndex(int32_t Index) {
    ImageIndex = Index;
    TiffImageIndex = Index;
    DcxImageIndex = Index;
    GifImageIndex = Index;
    IcoImageIndex = Index;
    CurImageIndex = Index;
}

void TIOParamsVals::SetImageCount(int32_t Count) {
    ImageCount = Count;
    TiffImageCount = Count;
    AviFrameCount = Count;
    GifImageCount = Count;
    MediaFrameCount = Count;
}

void TIOParamsVals::SetAdjustOrientation(bool Value) {
    AdjustOrientation = Value;
    TiffAdjustOrientation = Value;
    JpegAdjustOrientation = Value;
}

void TIOParamsVals::SetLoadThumbnail(bool Value) {
    LoadThumbnail = Value;
    JpegLoadExifThumbnail = Value;
}

void TIOParamsVals::SetRawLoadThumbnail(bool Value) {
    RawLoadThumbnail = Value;
}

void TIOParamsVals::SetTIFFOrientation(int32_t Value) {
    TiffOrientation = Value;
    ExifOrientation = Value;
}

void TIOParamsVals::SetExifOrientation(int32_t Value) {
    SetTIFFOrientation(Value);
}

void TIOParamsVals::SetDpiX(int32_t Value) {
    DpiX = Value;
    ExifXResolution = Value;
    if (FOwner != nullptr) FOwner->SetViewDpiX(Value);
}

void TIOParamsVals::SetDpiY(int32_t Value) {
    DpiY = Value;
    ExifYResolution = Value;
    if (FOwner != nullptr) FOwner->SetViewDpiY(Value);
}

void TIOParamsVals::SetExifXResolution(double Value) {
    SetDpiX(ClampToInt32(Value));
    ExifXResolution = Value;
}

void TIOParamsVals::SetExifYResolution(double Value) {
    SetDpiY(ClampToInt32(Value));
    ExifYResolution = Value;
}

int32_t TIOParamsVals::GetExifISOSpeedRatings(int32_t Index) const {
    return ArrayEntry(ExifISOSpeedRatings, Index);
}
void TIOParamsVals::SetExifISOSpeedRatings(int32_t Index, int32_t Value) {
    SetArrayEntry(ExifISOSpeedRatings, Index, Value);
}
double TIOParamsVals::GetExifWhitePoint(int32_t Index) const {
    return ArrayEntry(ExifWhitePoint, Index);
}
void TIOParamsVals::SetExifWhitePoint(int32_t Index, double Value) {
    SetArrayEntry(ExifWhitePoint, Index, Value);
}
double TIOParamsVals::GetExifPrimaryChromaticities(int32_t Index) const {
    return ArrayEntry(ExifPrimaryChromaticities, Index);
}
void TIOParamsVals::SetExifPrimaryChromaticities(int32_t Index, double Value) {
    SetArrayEntry(ExifPrimaryChromaticities, Index, Value);
}
double TIOParamsVals::GetExifYCbCrCoefficients(int32_t Index) const {
    return ArrayEntry(ExifYCbCrCoefficients, Index);
}
void TIOParamsVals::SetExifYCbCrCoefficients(int32_t Index, double Value) {
    SetArrayEntry(ExifYCbCrCoefficients, Index, Value);
}
double TIOParamsVals::GetExifReferenceBlackWhite(int32_t Index) const {
    return ArrayEntry(ExifReferenceBlackWhite, Index);
}
void TIOParamsVals::SetExifReferenceBlackWhite(int32_t Index, double Value) {
    SetArrayEntry(ExifReferenceBlackWhite, Index, Value);
}

TVLImagingAnnot* TIOParamsVals::GetImagingAnnot() {
    if (!ImagingAnnot) {
        ImagingAnnot = std::make_unique<TVLImagingAnnot>();
        ImagingAnnot->Parent = this;
    }
    return ImagingAnnot.get();
}

TVLICC* TIOParamsVals::GetEmbeddedICCProfile() {
    if (!EmbeddedICC) EmbeddedICC = std::make_unique<TVLICC>();
    return EmbeddedICC.get();
}

TVLICC* TIOParamsVals::GetSRGBICCProfile() {
    if (!SRGBICC) {
        SRGBICC = std::make_unique<TVLICC>();
        SRGBICC->LoadSystemSRGB();
    }
    return SRGBICC.get();
}

TVLICC* TIOParamsVals::GetDefaultICCProfile() {
    if (!DefaultICC) DefaultICC = std::make_unique<TVLICC>();
    return DefaultICC.get();
}

TVLRGB* TIOParamsVals::AllocPalette(int32_t Count) {
    FreePalette();
    if (Count < 1 || Count > MaxPaletteCount) return nullptr;
    Palette = std::make_unique<TVLRGB[]>(Count);
    PaletteCount = Count;
    return Palette.get();
}

void TIOParamsVals::FreePalette() {
    Palette.reset();
    PaletteCount = 0;
}
