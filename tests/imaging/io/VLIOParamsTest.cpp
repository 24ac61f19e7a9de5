// The per-image parameter record: defaults, copies, setters and the metadata it owns.
#include "imaging/io/VLIOParams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

void OtherGifDecoder(TStream&, int32_t, int32_t, bool, uint8_t*) {}
void OtherGifEncoder(TStream&, int32_t, int32_t, bool, const uint8_t*, int32_t) {}
uint8_t* OtherTiffDecoder(const uint8_t*, int32_t, int32_t, void*&, int32_t) {
    return nullptr;
}
void OtherTiffEncoder(const uint8_t*, int32_t, TStream&, void*&) {}

const TVLRGB White{255, 255, 255};
const TVLRGB Teal{0x80, 0x80, 0x00};

// One field: how it reads after the defaults, and a value different from the default.
struct FieldCase {
    std::string Name;
    std::function<bool(const TIOParamsVals&)> IsDefault;
    std::function<void(TIOParamsVals&)> SetOther;
    std::function<bool(const TIOParamsVals&)> IsOther;
};

#define FIELD(Name, Default, Other)                                                                \
    FieldCase {                                                                                    \
#Name, [](const TIOParamsVals& p) { return p.Name == (Default); },                      \
            [](TIOParamsVals& p) { p.Name = decltype(p.Name)(Other); },                                         \
            [](const TIOParamsVals& p) { return p.Name == (Other); }          \
    }

using A2 = std::array<double, 2>;
using A3 = std::array<double, 3>;
using A6 = std::array<double, 6>;

// Every plain field of the record. Width, Height, DpiX and DpiY are 0 here: a record without
// owner keeps them, and they start at 0.
const std::array<TVLIcoSize, 16> IcoSizes{{{64, 64}}};
const std::array<TVLIcoSize, 16> OtherIcoSizes{{{32, 32}, {16, 16}}};
const std::array<int32_t, 16> IcoBits{8};
const std::array<int32_t, 16> OtherIcoBits{24, 4};

std::vector<FieldCase> AllFields() {
    return {
        FIELD(BitsPerSample, 8, 16),
        FIELD(FileName, u"", u"/tmp/a.tif"),
        FIELD(SamplesPerPixel, 3, 4),
        FIELD(Width, 0, 640),
        FIELD(Height, 0, 480),
        FIELD(DpiX, 0, 72),
        FIELD(DpiY, 0, 96),
        FIELD(FileType, 0, 3),
        FIELD(ImageIndex, 0, 1),
        FIELD(ImageCount, 0, 2),
        FIELD(LoadThumbnail, false, true),
        FIELD(AdjustOrientation, false, true),
        FIELD(OriginalWidth, 0, 1280),
        FIELD(OriginalHeight, 0, 960),
        FIELD(TiffCompression, tcNone, tcLZW),
        FIELD(TiffImageIndex, 0, 3),
        FIELD(TiffSubIndex, -1, 1),
        FIELD(TiffPhotometric, tpRGB, tpCMYK),
        FIELD(TiffPlanarConfig, 1, 2),
        FIELD(TiffXPos, 0, 5),
        FIELD(TiffYPos, 0, 6),
        FIELD(TiffTileIndex, -1, 2),
        FIELD(TiffDocumentName, "", "doc"),
        FIELD(TiffImageDescription, "", "desc"),
        FIELD(TiffPageName, "", "page"),
        FIELD(TiffPageNumber, -1, 1),
        FIELD(TiffPageCount, -1, 9),
        FIELD(TiffOrientation, 1, 6),
        FIELD(TiffLZWDecompress, nullptr, &OtherTiffDecoder),
        FIELD(TiffLZWCompress, nullptr, &OtherTiffEncoder),
        FIELD(TiffAdjustOrientation, false, true),
        FIELD(TiffJpegQuality, 80, 60),
        FIELD(TiffJpegColorSpace, jcYCbCr, jcRGB),
        FIELD(TiffDeflateLevel, 1, 2),
        FIELD(TiffImageCount, 0, 4),
        FIELD(TiffFillOrder, 1, 2),
        FIELD(TiffIntelByteOrder, true, false),
        FIELD(DcxImageIndex, 0, 5),
        FIELD(GifVersion, "GIF89a", "GIF87a"),
        FIELD(GifImageIndex, 0, 7),
        FIELD(GifXPos, 0, 10),
        FIELD(GifYPos, 0, 11),
        FIELD(GifDelayTime, 0, 50),
        FIELD(GifTransparent, false, true),
        FIELD(GifTransparentColor, TVLRGB{}, Teal),
        FIELD(GifInterlaced, false, true),
        FIELD(GifScreenWidth, 0, 320),
        FIELD(GifScreenHeight, 0, 200),
        FIELD(GifBackground, TVLRGB{}, Teal),
        FIELD(GifAspectRatio, 0, 49),
        FIELD(GifDisposal, 2, 1),
        FIELD(GifLZWDecompress, nullptr, &OtherGifDecoder),
        FIELD(GifLZWCompress, nullptr, &OtherGifEncoder),
        FIELD(GifImageCount, 0, 12),
        FIELD(JpegColorSpace, jcYCbCr, jcCMYK),
        FIELD(JpegQuality, 80, 95),
        FIELD(JpegDCTMethod, dmISlow, dmFloat),
        FIELD(JpegChromaSubsampling, ss420, ss444),
        FIELD(JpegOptimalHuffman, false, true),
        FIELD(JpegSmoothing, 0, 10),
        FIELD(JpegProgressive, false, true),
        FIELD(JpegScale, jsFull, jsHalf),
        FIELD(JpegScaleUsed, 1, 2),
        FIELD(JpegWarningCount, 0, 3),
        FIELD(JpegLastMessageCode, 0, 116),
        FIELD(JpegAdjustOrientation, false, true),
        FIELD(JpegLoadExifThumbnail, false, true),
        FIELD(J2000ColorSpace, j2RGB, j2YCbCr),
        FIELD(J2000Rate, 1.0, 0.25),
        FIELD(J2000Progression, j2LRCP, j2RLCP),
        FIELD(PcxVersion, 5, 3),
        FIELD(PcxCompression, 1, 0),
        FIELD(BmpHeaderVersion, bvWin3, bvOS2v1),
        FIELD(BmpCompression, 0, 1),
        FIELD(BmpWriteAlpha, false, true),
        FIELD(IcoImageIndex, 0, 8),
        FIELD(IcoBackground, White, Teal),
        FIELD(CurImageIndex, 0, 9),
        FIELD(CurHotSpotX, 0, 4),
        FIELD(CurHotSpotY, 0, 5),
        FIELD(CurBackground, White, Teal),
        FIELD(PngInterlaced, false, true),
        FIELD(PngBackground, TVLRGB{}, Teal),
        FIELD(PngFilter, pfNone, pfPaeth),
        FIELD(PngCompression, 5, 9),
        FIELD(TgaXPos, 0, 3),
        FIELD(TgaYPos, 0, 4),
        FIELD(TgaCompressed, true, false),
        FIELD(TgaDescription, "", "id"),
        FIELD(TgaAuthor, "", "me"),
        FIELD(TgaImageName, "", "job"),
        FIELD(TgaBackground, TVLRGB{}, Teal),
        FIELD(TgaAspectRatio, 1.0, 2.0),
        FIELD(TgaGamma, 2.2, 1.8),
        FIELD(TgaGrayLevel, false, true),
        FIELD(AviFrameCount, 0, 100),
        FIELD(AviFrameDelay, 0, 40),
        FIELD(MediaFrameCount, 0, 200),
        FIELD(MediaFrameDelay, 0, 33),
        FIELD(PsPaperWidth, 595, 612),
        FIELD(PsPaperHeight, 842, 792),
        FIELD(PsCompression, 1, 2),
        FIELD(PsTitle, "No Title", "Report"),
        FIELD(PdfPaperWidth, 595, 612),
        FIELD(PdfPaperHeight, 842, 792),
        FIELD(PdfCompression, 2, 1),
        FIELD(PdfTitle, "", "t"),
        FIELD(PdfAuthor, "", "a"),
        FIELD(PdfSubject, "", "s"),
        FIELD(PdfKeywords, "", "k"),
        FIELD(PdfCreator, "", "c"),
        FIELD(PdfProducer, "", "p"),
        FIELD(RawHalfSize, false, true),
        FIELD(RawGamma, 0.6, 0.45),
        FIELD(RawBrightness, 1.0, 1.5),
        FIELD(RawRedScale, 1.0, 1.1),
        FIELD(RawBlueScale, 1.0, 0.9),
        FIELD(RawQuickInterpolate, true, false),
        FIELD(RawAutoWhiteBalance, false, true),
        FIELD(RawCameraWhiteBalance, false, true),
        FIELD(RawFourColorRGB, false, true),
        FIELD(RawLoadThumbnail, false, true),
        FIELD(RawHalfBrightness, false, true),
        FIELD(RawCamera, "", "Maker Model"),
        FIELD(RawPixelsBGR, false, true),
        FIELD(RawPixelsPlanar, 0, 1),
        FIELD(RawPixelsRowAlign, 8, 32),
        FIELD(RawPixelsHeaderSize, 0, 128),
        FIELD(PsdLoadLayers, false, true),
        FIELD(PsdReplaceLayers, true, false),
        FIELD(XmpInfo, "", "<x:xmpmeta/>"),
        FIELD(NativePixelFormat, false, true),
        FIELD(IcoSizes, IcoSizes, OtherIcoSizes),
        FIELD(IcoBitCounts, IcoBits, OtherIcoBits),
        FIELD(HasExif, false, true),
        FIELD(ExifImageDescription, "", "d"),
        FIELD(ExifMake, "", "make"),
        FIELD(ExifModel, "", "model"),
        FIELD(ExifOrientation, 0, 6),
        FIELD(ExifXResolution, 0.0, 72.5),
        FIELD(ExifYResolution, 0.0, 96.5),
        FIELD(ExifResolutionUnit, 0, 2),
        FIELD(ExifSoftware, "", "sw"),
        FIELD(ExifArtist, "", "artist"),
        FIELD(ExifDateTime, "", "2020:01:02 03:04:05"),
        FIELD(ExifWhitePoint, A2{}, (A2{0.3127, 0.329})),
        FIELD(ExifPrimaryChromaticities, A6{}, (A6{0.64, 0.33, 0.3, 0.6, 0.15, 0.06})),
        FIELD(ExifYCbCrCoefficients, A3{}, (A3{0.299, 0.587, 0.114})),
        FIELD(ExifYCbCrPositioning, 0, 1),
        FIELD(ExifReferenceBlackWhite, A6{}, (A6{0, 255, 128, 255, 128, 255})),
        FIELD(ExifCopyright, "", "(c)"),
        FIELD(ExifExposureTime, 0.0, 0.004),
        FIELD(ExifFNumber, 0.0, 2.8),
        FIELD(ExifExposureProgram, 0, 2),
        FIELD(ExifISOSpeedRatings, (std::array<int32_t, 2>{}), (std::array<int32_t, 2>{100, 200})),
        FIELD(ExifVersion, "", "0220"),
        FIELD(ExifDateTimeOriginal, "", "o"),
        FIELD(ExifDateTimeDigitized, "", "g"),
        FIELD(ExifCompressedBitsPerPixel, 0.0, 2.0),
        FIELD(ExifShutterSpeedValue, 0.0, 7.0),
        FIELD(ExifApertureValue, 0.0, 3.0),
        FIELD(ExifBrightnessValue, 0.0, 1.5),
        FIELD(ExifExposureBiasValue, 0.0, -0.3),
        FIELD(ExifMaxApertureValue, 0.0, 2.9),
        FIELD(ExifSubjectDistance, 0.0, 1.2),
        FIELD(ExifMeteringMode, 0, 5),
        FIELD(ExifLightSource, 0, 1),
        FIELD(ExifFlash, 0, 16),
        FIELD(ExifFocalLength, 0.0, 35.0),
        FIELD(ExifSubsecTime, "", "1"),
        FIELD(ExifSubsecTimeOriginal, "", "2"),
        FIELD(ExifSubsecTimeDigitized, "", "3"),
        FIELD(ExifFlashPixVersion, "", "0100"),
        FIELD(ExifColorSpace, 0, 1),
        FIELD(ExifPixelXDimension, 0, 4000),
        FIELD(ExifPixelYDimension, 0, 3000),
        FIELD(ExifRelatedSoundFile, "", "snd.wav"),
        FIELD(ExifFocalPlaneXResolution, 0.0, 4000.0),
        FIELD(ExifFocalPlaneYResolution, 0.0, 3000.0),
        FIELD(ExifFocalPlaneResolutionUnit, 0, 2),
        FIELD(ExifExposureIndex, 0.0, 1.0),
        FIELD(ExifSensingMethod, 0, 2),
        FIELD(ExifFileSource, 0, 3),
        FIELD(ExifSceneType, 0, 1),
        FIELD(ExifUserCommentCode, "", "ASCII"),
        FIELD(ExifUserComment, "", "hello"),
        FIELD(ExifRating, -1, 4),
        FIELD(ExifXPTitle, u"", u"title"),
        FIELD(ExifXPComment, u"", u"comment"),
        FIELD(ExifXPAuthor, u"", u"author"),
        FIELD(ExifXPKeywords, u"", u"keys"),
        FIELD(ExifXPSubject, u"", u"subject"),
        FIELD(ExifExposureMode, -1, 0),
        FIELD(ExifWhiteBalance, -1, 1),
        FIELD(ExifDigitalZoomRatio, -1.0, 2.0),
        FIELD(ExifFocalLengthIn35mmFilm, -1, 50),
        FIELD(ExifSceneCaptureType, -1, 0),
        FIELD(ExifGainControl, -1, 0),
        FIELD(ExifContrast, -1, 0),
        FIELD(ExifSaturation, -1, 0),
        FIELD(ExifSharpness, -1, 0),
        FIELD(ExifSubjectDistanceRange, -1, 0),
        FIELD(ExifImageUniqueID, "", "uid"),
        FIELD(ExifGPSVersionID, "", "2.2.0.0"),
        FIELD(ExifGPSLatitudeRef, "", "N"),
        FIELD(ExifGPSLatitude, A3{}, (A3{45, 30, 15})),
        FIELD(ExifGPSLongitudeRef, "", "E"),
        FIELD(ExifGPSLongitude, A3{}, (A3{9, 10, 11})),
        FIELD(ExifGPSAltitudeRef, "", "0"),
        FIELD(ExifGPSAltitude, 0.0, 120.0),
        FIELD(ExifGPSTimeStamp, A3{}, (A3{12, 30, 0})),
        FIELD(ExifGPSSatellites, "", "5"),
        FIELD(ExifGPSStatus, "", "A"),
        FIELD(ExifGPSMeasureMode, "", "3"),
        FIELD(ExifGPSDOP, 0.0, 1.1),
        FIELD(ExifGPSSpeedRef, "", "K"),
        FIELD(ExifGPSSpeed, 0.0, 50.0),
        FIELD(ExifGPSTrackRef, "", "T"),
        FIELD(ExifGPSTrack, 0.0, 90.0),
        FIELD(ExifGPSImgDirectionRef, "", "M"),
        FIELD(ExifGPSImgDirection, 0.0, 180.0),
        FIELD(ExifGPSMapDatum, "", "WGS-84"),
        FIELD(ExifGPSDestLatitudeRef, "", "S"),
        FIELD(ExifGPSDestLatitude, A3{}, (A3{1, 2, 3})),
        FIELD(ExifGPSDestLongitudeRef, "", "W"),
        FIELD(ExifGPSDestLongitude, A3{}, (A3{4, 5, 6})),
        FIELD(ExifGPSDestBearingRef, "", "T"),
        FIELD(ExifGPSDestBearing, 0.0, 45.0),
        FIELD(ExifGPSDestDistanceRef, "", "K"),
        FIELD(ExifGPSDestDistance, 0.0, 10.0),
        FIELD(ExifGPSDateStamp, "", "2020:01:02"),
    };
}

// A record with every field set to its other value.
void SetAllOther(TIOParamsVals& Params) {
    for (const FieldCase& f : AllFields())
        f.SetOther(Params);
}

// Fields that Assign does not copy, and the fields CopyEncodingOptions copies (ExifOrientation
// follows TiffOrientation through its setter).
const std::set<std::string> NotAssigned = {"JpegWarningCount", "JpegLastMessageCode",
                                           "MediaFrameCount", "MediaFrameDelay",
                                           "NativePixelFormat"};
const std::set<std::string> EncodingOptions = {"BitsPerSample",         "SamplesPerPixel",
                                               "TiffCompression",       "TiffPhotometric",
                                               "TiffPlanarConfig",      "TiffOrientation",
                                               "ExifOrientation",       "TiffLZWDecompress",
                                               "TiffLZWCompress",       "TiffAdjustOrientation",
                                               "TiffJpegQuality",       "TiffJpegColorSpace",
                                               "TiffFillOrder",         "TiffDeflateLevel",
                                               "GifInterlaced",         "GifLZWDecompress",
                                               "GifLZWCompress",        "JpegColorSpace",
                                               "JpegQuality",           "JpegDCTMethod",
                                               "JpegChromaSubsampling", "JpegOptimalHuffman",
                                               "JpegSmoothing",         "JpegProgressive",
                                               "J2000ColorSpace",       "J2000Rate",
                                               "J2000Progression",      "PcxVersion",
                                               "PcxCompression",        "BmpHeaderVersion",
                                               "BmpCompression",        "BmpWriteAlpha",
                                               "PngInterlaced",         "PngFilter",
                                               "PngCompression",        "TgaCompressed",
                                               "TgaGrayLevel"};
// Values SetDefaults leaves alone on a record without owner.
const std::set<std::string> KeptByDefaults = {
    "Width",           "Height",         "DpiX", "DpiY", "JpegWarningCount", "JpegLastMessageCode",
    "MediaFrameCount", "MediaFrameDelay"};

std::vector<uint8_t> ExifPayload(uint8_t Tag) {
    return {'E', 'x', 'i', 'f', 0, 0, Tag};
}
std::vector<uint8_t> XmpPayload() {
    const std::string ns = "http://ns.adobe.com/xap/1.0/";
    std::vector<uint8_t> bytes(ns.begin(), ns.end());
    bytes.push_back(0);
    return bytes;
}
void AddMarker(TVLMarkerList& List, uint8_t Type, const std::vector<uint8_t>& Payload) {
    List.AddMarker(Type, Payload.data(), static_cast<uint16_t>(Payload.size()));
}

// A maker-note directory of Count entries.
void FillMakerNote(TVLTagsHandler& Handler, uint16_t Count) {
    std::vector<uint8_t> bytes(2 + 12 * Count, 0);
    bytes[0] = static_cast<uint8_t>(Count);
    for (uint16_t i = 0; i < Count; ++i)
        bytes[2 + 12 * i] = static_cast<uint8_t>(0x10 + i);
    Handler.Data().Clear();
    Handler.Data().WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    Handler.ReadDirectory();
}

// A small 24-bit picture in memory whose pixels depend on Seed.
std::unique_ptr<TVLBitmap> Picture(int32_t Width, int32_t Height, uint8_t Seed) {
    auto bitmap = std::make_unique<TVLBitmap>();
    bitmap->Allocate(Width, Height, TVLPixelFormat::vl24RGB);
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = bitmap->GetScanline(y);
        for (int32_t i = 0; i < Width * 3; ++i)
            row[i] = static_cast<uint8_t>(Seed + y * 31 + i);
    }
    return bitmap;
}

bool SamePixels(TVLBitmap& A, TVLBitmap& B) {
    if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() ||
        A.GetPixelFormat() != B.GetPixelFormat())
        return false;
    for (int32_t y = 0; y < A.GetHeight(); ++y) {
        std::vector<uint8_t> a(A.GetScanline(y), A.GetScanline(y) + A.GetWidth() * 3);
        if (std::memcmp(a.data(), B.GetScanline(y), a.size()) != 0) return false;
    }
    return true;
}

// An owner with a class-library bitmap and a view that records the resolutions it receives.
class FakeOwner : public TIOParamsOwner {
public:
    TBitmap* GetTBitmap() override { return HasBitmap ? &Bitmap : nullptr; }
    void SetViewDpiX(int32_t Value) override { ViewDpiX.push_back(Value); }
    void SetViewDpiY(int32_t Value) override { ViewDpiY.push_back(Value); }
    TBitmap Bitmap;
    bool HasBitmap = true;
    std::vector<int32_t> ViewDpiX, ViewDpiY;
};

} // namespace

TEST(IOParamsDefaults, EveryFieldAfterConstructionWithoutOwner) {
    TIOParamsVals params;
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        EXPECT_TRUE(f.IsDefault(params));
    }
    EXPECT_EQ(params.TgaDate, Date());
    EXPECT_EQ(params.GetPalette(), nullptr);
    EXPECT_EQ(params.GetPaletteCount(), 0);
    EXPECT_EQ(params.ExifThumbnail, nullptr);
    EXPECT_EQ(params.GetOwner(), nullptr);
}

TEST(IOParamsDefaults, SetDefaultsRestoresEveryOptionAndKeepsTheRest) {
    TIOParamsVals params;
    SetAllOther(params);
    params.AllocPalette(4);
    params.ExifThumbnail = Picture(2, 2, 1);
    params.GifComments.Add(u"c");
    params.PngTextKeys.Add(u"k");
    params.PngTextValues.Add(u"v");
    params.PxmComments.Add(u"p");
    params.DicomTags.AddTag(8, 16, "CS", "AB", 2);
    params.IPTCInfo.AddItem(2, 5, 3, "abc");
    AddMarker(params.JpegMarkers, 0xE0, {'J', 'F', 'I', 'F', 0});
    FillMakerNote(params.ExifMakerNote, 2);
    params.SetDefaults();
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        if (KeptByDefaults.count(f.Name))
            EXPECT_TRUE(f.IsOther(params));
        else
            EXPECT_TRUE(f.IsDefault(params));
    }
    EXPECT_EQ(params.GetPalette(), nullptr);
    EXPECT_EQ(params.ExifThumbnail, nullptr);
    EXPECT_EQ(params.GifComments.Count() + params.PngTextKeys.Count() +
                  params.PngTextValues.Count() + params.PxmComments.Count(),
              0);
    EXPECT_EQ(params.DicomTags.GetCount(), 0);
    EXPECT_EQ(params.IPTCInfo.GetCount(), 0);
    EXPECT_EQ(params.JpegMarkers.GetCount(), 0);
    EXPECT_EQ(params.ExifMakerNote.GetEntryCount(), 0);
    EXPECT_EQ(params.ExifMakerNote.Data().GetSize(), 0);
}

TEST(IOParamsDefaults, CopyTheProcessWideLZWCodecs) {
    DefaultGifLZWDecompress = &OtherGifDecoder;
    DefaultGifLZWCompress = &OtherGifEncoder;
    DefaultTiffLZWDecompress = &OtherTiffDecoder;
    DefaultTiffLZWCompress = &OtherTiffEncoder;
    TIOParamsVals params;
    DefaultGifLZWDecompress = nullptr;
    DefaultGifLZWCompress = nullptr;
    DefaultTiffLZWDecompress = nullptr;
    DefaultTiffLZWCompress = nullptr;
    EXPECT_EQ(params.GifLZWDecompress, &OtherGifDecoder);
    EXPECT_EQ(params.GifLZWCompress, &OtherGifEncoder);
    EXPECT_EQ(params.TiffLZWDecompress, &OtherTiffDecoder);
    EXPECT_EQ(params.TiffLZWCompress, &OtherTiffEncoder);
}

TEST(IOParamsDefaults, OwnerGivesSizeAndDefaultResolutionToRecordAndView) {
    FakeOwner owner;
    owner.Bitmap.SetSize(40, 30);
    TIOParamsVals params(&owner);
    EXPECT_EQ(params.GetOwner(), &owner);
    EXPECT_EQ(params.Width, 40);
    EXPECT_EQ(params.Height, 30);
    EXPECT_EQ(params.DpiX, DefaultDpiX);
    EXPECT_EQ(params.DpiY, DefaultDpiY);
    EXPECT_EQ(DefaultDpiX, 300);
    // The EXIF group is cleared after the resolution was set.
    EXPECT_EQ(params.ExifXResolution, 0.0);
    EXPECT_EQ(params.ExifYResolution, 0.0);
    EXPECT_EQ(owner.ViewDpiX, std::vector<int32_t>{300});
    EXPECT_EQ(owner.ViewDpiY, std::vector<int32_t>{300});

    owner.HasBitmap = false;
    params.Width = 7;
    params.SetDefaults();
    EXPECT_EQ(params.Width, 7); // no bitmap: the size stays
}

TEST(IOParamsAssign, CopiesEveryFieldExceptTheRunState) {
    TIOParamsVals source, dest;
    SetAllOther(source);
    dest.Assign(source);
    // The image indexes all take the source's CurImageIndex (below).
    const std::set<std::string> indexes = {"ImageIndex",    "TiffImageIndex", "DcxImageIndex",
                                           "GifImageIndex", "IcoImageIndex",  "CurImageIndex"};
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        if (indexes.count(f.Name) != 0) continue;
        if (NotAssigned.count(f.Name))
            EXPECT_TRUE(f.IsDefault(dest));
        else
            EXPECT_TRUE(f.IsOther(dest));
    }
    EXPECT_EQ(dest.TiffImageIndex, source.CurImageIndex);
}

TEST(IOParamsAssign, EveryImageIndexTakesTheSourcesCurImageIndex) {
    struct Case {
        const char* name;
        std::array<int32_t, 6> source; // Image, Tiff, Gif, Dcx, Ico, Cur
        int32_t expected;
    };
    const Case cases[] = {{"all different", {1, 2, 3, 4, 5, 6}, 6},
                          {"the cursor's alone set", {0, 0, 0, 0, 0, 5}, 5},
                          {"all but the cursor's set", {7, 7, 7, 7, 7, 0}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals source, dest;
        dest.SetImageIndex(9);
        source.ImageIndex = c.source[0];
        source.TiffImageIndex = c.source[1];
        source.GifImageIndex = c.source[2];
        source.DcxImageIndex = c.source[3];
        source.IcoImageIndex = c.source[4];
        source.CurImageIndex = c.source[5];
        dest.Assign(source);
        for (const int32_t index : {dest.ImageIndex, dest.TiffImageIndex, dest.GifImageIndex,
                                    dest.DcxImageIndex, dest.IcoImageIndex, dest.CurImageIndex})
            EXPECT_EQ(index, c.expected);
    }
}

TEST(IOParamsAssign, ResolutionGoesThroughTheSettersAndKeepsTheExactExifValue) {
    FakeOwner owner;
    TIOParamsVals source, dest(&owner);
    source.SetExifXResolution(71.9);
    source.SetExifYResolution(95.5);
    owner.ViewDpiX.clear();
    dest.Assign(source);
    EXPECT_EQ(dest.DpiX, 71);
    EXPECT_EQ(dest.DpiY, 95);
    EXPECT_EQ(dest.ExifXResolution, 71.9);
    EXPECT_EQ(dest.ExifYResolution, 95.5);
    EXPECT_EQ(owner.ViewDpiX, std::vector<int32_t>{71});
    EXPECT_EQ(owner.ViewDpiY.back(), 95);
}

TEST(IOParamsAssign, MakesPrivateCopiesOfPaletteListsAndMetadata) {
    TIOParamsVals source, dest;
    TVLRGB* palette = source.AllocPalette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7};
    source.GifComments.Add(u"gif");
    source.PngTextKeys.Add(u"Title");
    source.PngTextValues.Add(u"Value");
    source.PxmComments.Add(u"pnm");
    source.DicomTags.AddTag(0x10, 0x20, "PN", "Doe", 3);
    source.IPTCInfo.AddItem(2, 120, 4, "note");
    AddMarker(source.JpegMarkers, 0xFE, {'h', 'i'});
    FillMakerNote(source.ExifMakerNote, 3);
    dest.DicomTags.AddTag(1, 1, "", nullptr, 0);

    dest.Assign(source);
    ASSERT_EQ(dest.GetPaletteCount(), 256);
    EXPECT_NE(dest.GetPalette(), source.GetPalette());
    EXPECT_EQ(std::memcmp(dest.GetPalette(), source.GetPalette(), 768), 0);
    EXPECT_EQ(dest.GifComments, source.GifComments);
    EXPECT_EQ(dest.PngTextKeys, source.PngTextKeys);
    EXPECT_EQ(dest.PngTextValues, source.PngTextValues);
    EXPECT_EQ(dest.PxmComments, source.PxmComments);
    ASSERT_EQ(dest.DicomTags.GetCount(), 1);
    EXPECT_EQ(dest.DicomTags.GetTag(0).Group, 0x10);
    ASSERT_EQ(dest.IPTCInfo.GetCount(), 1);
    EXPECT_EQ(dest.IPTCInfo.GetDataSet(0), 120);
    ASSERT_EQ(dest.JpegMarkers.GetCount(), 1);
    EXPECT_EQ(dest.JpegMarkers.GetMarkerType(0), 0xFE);
    ASSERT_EQ(dest.ExifMakerNote.GetEntryCount(), 3);
    EXPECT_EQ(dest.ExifMakerNote.GetEntry(2).Tag, 0x12);
    EXPECT_EQ(dest.ExifMakerNote.Data().GetSize(), 2 + 36);

    palette[0] = {1, 2, 3};
    EXPECT_EQ(dest.GetPalette()[0], (TVLRGB{0, 255, 7}));

    // From a source without palette or maker note, the destination's are dropped.
    TIOParamsVals empty;
    dest.Assign(empty);
    EXPECT_EQ(dest.GetPalette(), nullptr);
    EXPECT_EQ(dest.GetPaletteCount(), 0);
    EXPECT_EQ(dest.ExifMakerNote.GetEntryCount(), 0);
    EXPECT_EQ(dest.ExifMakerNote.Data().GetSize(), 0);
}

TEST(IOParamsAssign, ExifThumbnailIsCopiedOrKept) {
    TIOParamsVals source, dest;
    source.ExifThumbnail = Picture(5, 3, 40);
    dest.Assign(source);
    ASSERT_NE(dest.ExifThumbnail, nullptr);
    EXPECT_NE(dest.ExifThumbnail.get(), source.ExifThumbnail.get());
    EXPECT_TRUE(SamePixels(*dest.ExifThumbnail, *source.ExifThumbnail));

    // A source without thumbnail leaves the destination's own; one with a thumbnail replaces it.
    TIOParamsVals other;
    dest.Assign(other);
    ASSERT_NE(dest.ExifThumbnail, nullptr);
    EXPECT_TRUE(SamePixels(*dest.ExifThumbnail, *source.ExifThumbnail));
    other.ExifThumbnail = Picture(2, 2, 90);
    dest.Assign(other);
    ASSERT_NE(dest.ExifThumbnail, nullptr);
    EXPECT_TRUE(SamePixels(*dest.ExifThumbnail, *other.ExifThumbnail));
}

TEST(IOParamsCopyEncodingOptions, CopiesExactlyTheEncodingOptions) {
    TIOParamsVals source, dest;
    SetAllOther(source);
    source.AllocPalette(2);
    source.GifComments.Add(u"x");
    dest.CopyEncodingOptions(source);
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        if (EncodingOptions.count(f.Name))
            EXPECT_TRUE(f.IsOther(dest));
        else
            EXPECT_TRUE(f.IsDefault(dest));
    }
    EXPECT_EQ(dest.GetPalette(), nullptr);
    EXPECT_EQ(dest.GifComments.Count(), 0);
}

TEST(IOParamsResetInfo, ForgetsTheFileAndKeepsTheOptions) {
    TIOParamsVals params;
    SetAllOther(params);
    params.GifComments.Add(u"c");
    params.PxmComments.Add(u"p");
    params.PngTextKeys.Add(u"k");
    params.PngTextValues.Add(u"v");
    params.DicomTags.AddTag(8, 16, "CS", "AB", 2);
    params.IPTCInfo.AddItem(2, 5, 3, "abc");
    AddMarker(params.JpegMarkers, 0xE0, {'J'});
    params.ExifThumbnail = Picture(2, 2, 1);
    params.ResetInfo();
    const std::set<std::string> cleared = {
        "TiffDocumentName", "TiffImageDescription", "TiffPageName", "TgaDescription",
        "TgaAuthor",        "TgaImageName",         "XmpInfo",      "RawCamera"};
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        if (cleared.count(f.Name) || f.Name.rfind("Exif", 0) == 0 || f.Name == "HasExif")
            EXPECT_TRUE(f.IsDefault(params));
        else
            EXPECT_TRUE(f.IsOther(params));
    }
    EXPECT_EQ(params.GifComments.Count() + params.PxmComments.Count() + params.PngTextKeys.Count() +
                  params.PngTextValues.Count(),
              0);
    EXPECT_EQ(params.DicomTags.GetCount() + params.IPTCInfo.GetCount() +
                  params.JpegMarkers.GetCount(),
              0);
    EXPECT_EQ(params.ExifThumbnail, nullptr);
}

TEST(IOParamsClearExif, DropsOnlyTheFirstExifApp1Marker) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, std::vector<uint8_t>>> markers;
        std::vector<std::vector<uint8_t>> remaining;
    };
    const std::vector<Case> cases = {
        {"xmp then exif", {{0xE1, XmpPayload()}, {0xE1, ExifPayload(1)}}, {XmpPayload()}},
        {"two exif blocks", {{0xE1, ExifPayload(1)}, {0xE1, ExifPayload(2)}}, {ExifPayload(2)}},
        {"exif payload in another marker", {{0xE2, ExifPayload(1)}}, {ExifPayload(1)}},
        {"Exif without its zero byte",
         {{0xE1, {'E', 'x', 'i', 'f', 'X'}}},
         {{'E', 'x', 'i', 'f', 'X'}}},
        {"short payload", {{0xE1, {'E', 'x'}}}, {{'E', 'x'}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        for (const auto& [type, payload] : c.markers)
            AddMarker(params.JpegMarkers, type, payload);
        params.ClearExif();
        ASSERT_EQ(params.JpegMarkers.GetCount(), static_cast<int32_t>(c.remaining.size()));
        for (size_t i = 0; i < c.remaining.size(); ++i) {
            const uint8_t* data = params.JpegMarkers.GetMarkerData(static_cast<int32_t>(i));
            EXPECT_EQ(std::vector<uint8_t>(data, data + c.remaining[i].size()), c.remaining[i]);
        }
    }
}

TEST(IOParamsClearExif, EmptiesTheGroupThumbnailAndMakerNote) {
    TIOParamsVals params;
    SetAllOther(params);
    params.ExifThumbnail = Picture(2, 2, 9);
    FillMakerNote(params.ExifMakerNote, 4);
    params.ClearExif();
    for (const FieldCase& f : AllFields()) {
        SCOPED_TRACE(f.Name);
        if (f.Name.rfind("Exif", 0) == 0 || f.Name == "HasExif")
            EXPECT_TRUE(f.IsDefault(params));
        else
            EXPECT_TRUE(f.IsOther(params));
    }
    EXPECT_EQ(params.ExifThumbnail, nullptr);
    EXPECT_EQ(params.ExifMakerNote.GetEntryCount(), 0);
    EXPECT_EQ(params.ExifMakerNote.Data().GetSize(), 0);
}

TEST(IOParamsSetters, KeepRelatedFieldsInStep) {
    TIOParamsVals params;
    params.SetImageIndex(3);
    for (int32_t v : {params.ImageIndex, params.TiffImageIndex, params.DcxImageIndex,
                      params.GifImageIndex, params.IcoImageIndex, params.CurImageIndex})
        EXPECT_EQ(v, 3);
    params.SetImageCount(9);
    for (int32_t v : {params.ImageCount, params.TiffImageCount, params.AviFrameCount,
                      params.GifImageCount, params.MediaFrameCount})
        EXPECT_EQ(v, 9);
    params.SetAdjustOrientation(true);
    EXPECT_TRUE(params.AdjustOrientation && params.TiffAdjustOrientation &&
                params.JpegAdjustOrientation);
    params.SetLoadThumbnail(true);
    EXPECT_TRUE(params.LoadThumbnail && params.JpegLoadExifThumbnail);
    params.SetRawLoadThumbnail(true);
    EXPECT_TRUE(params.RawLoadThumbnail);
    params.SetExifOrientation(6);
    EXPECT_EQ(params.TiffOrientation, 6);
    EXPECT_EQ(params.ExifOrientation, 6);
    params.SetTIFFOrientation(3);
    EXPECT_EQ(params.ExifOrientation, 3);
}

TEST(IOParamsSetters, ExifResolutionKeepsTheExactValue) {
    TIOParamsVals params;
    params.SetExifXResolution(71.9);
    EXPECT_EQ(params.DpiX, 71);
    EXPECT_EQ(params.ExifXResolution, 71.9);
    params.SetDpiX(72);
    EXPECT_EQ(params.ExifXResolution, 72.0);
    params.SetExifYResolution(-3.7);
    EXPECT_EQ(params.DpiY, -3);

    // Values read from a file that do not fit the integer resolution.
    const double inf = std::numeric_limits<double>::infinity();
    params.SetExifXResolution(1e12);
    EXPECT_EQ(params.DpiX, std::numeric_limits<int32_t>::max());
    params.SetExifXResolution(-inf);
    EXPECT_EQ(params.DpiX, std::numeric_limits<int32_t>::min());
    params.SetExifXResolution(std::nan(""));
    EXPECT_EQ(params.DpiX, 0);
    EXPECT_TRUE(std::isnan(params.ExifXResolution));
}

TEST(IOParamsSetters, IndexedExifEntriesStayInTheirArrays) {
    TIOParamsVals params;
    params.SetExifWhitePoint(1, 0.33);
    params.SetExifPrimaryChromaticities(5, 0.06);
    params.SetExifYCbCrCoefficients(2, 0.114);
    params.SetExifReferenceBlackWhite(0, 16);
    params.SetExifISOSpeedRatings(1, 400);
    EXPECT_EQ(params.GetExifWhitePoint(1), 0.33);
    EXPECT_EQ(params.GetExifPrimaryChromaticities(5), 0.06);
    EXPECT_EQ(params.GetExifYCbCrCoefficients(2), 0.114);
    EXPECT_EQ(params.GetExifReferenceBlackWhite(0), 16);
    EXPECT_EQ(params.GetExifISOSpeedRatings(1), 400);

    // Out of range: nothing is written next to the array, and 0 is read.
    const double rating = params.ExifDigitalZoomRatio;
    params.SetExifWhitePoint(2, 9);
    params.SetExifWhitePoint(-1, 9);
    params.SetExifISOSpeedRatings(2, 9);
    params.SetExifReferenceBlackWhite(6, 9);
    params.SetExifYCbCrCoefficients(3, 9);
    params.SetExifPrimaryChromaticities(6, 9);
    EXPECT_EQ(params.ExifWhitePoint, (A2{0, 0.33}));
    EXPECT_EQ(params.ExifISOSpeedRatings, (std::array<int32_t, 2>{0, 400}));
    EXPECT_EQ(params.ExifDigitalZoomRatio, rating);
    EXPECT_EQ(params.GetExifWhitePoint(2), 0.0);
    EXPECT_EQ(params.GetExifISOSpeedRatings(-1), 0);
}

TEST(IOParamsPalette, AllocatesOnlySaneCounts) {
    TIOParamsVals params;
    ASSERT_NE(params.AllocPalette(16), nullptr);
    EXPECT_EQ(params.GetPaletteCount(), 16);
    EXPECT_EQ(params.GetPalette()[15], TVLRGB{});
    for (int32_t bad : {0, -1, 65537}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(params.AllocPalette(bad), nullptr);
        EXPECT_EQ(params.GetPalette(), nullptr);
        EXPECT_EQ(params.GetPaletteCount(), 0);
    }
    EXPECT_NE(params.AllocPalette(65536), nullptr);
    params.FreePalette();
    EXPECT_EQ(params.GetPaletteCount(), 0);
}

TEST(IOParamsImagingAnnot, MadeOnFirstUseCopiedAndFreed) {
    TIOParamsVals source, dest;
    EXPECT_EQ(source.ImagingAnnot, nullptr);
    TVLImagingAnnot* annot = source.GetImagingAnnot();
    EXPECT_EQ(source.GetImagingAnnot(), annot);
    EXPECT_EQ(annot->Parent, &source);
    auto mark = std::make_unique<TVLImagingObject>();
    mark->Attributes.MarkType = 3;
    mark->Points = {{1, 2}, {3, 4}};
    annot->Objects.push_back(std::move(mark));

    dest.Assign(source);
    ASSERT_NE(dest.ImagingAnnot, nullptr);
    EXPECT_NE(dest.ImagingAnnot.get(), annot);
    EXPECT_EQ(dest.ImagingAnnot->Parent, &dest);
    ASSERT_EQ(dest.ImagingAnnot->Objects.size(), 1u);
    EXPECT_EQ(dest.ImagingAnnot->Objects[0]->Points, annot->Objects[0]->Points);

    TIOParamsVals none;
    dest.Assign(none);
    EXPECT_EQ(dest.ImagingAnnot, nullptr);
    source.ResetInfo();
    EXPECT_EQ(source.ImagingAnnot, nullptr);
    source.GetImagingAnnot();
    source.SetDefaults();
    EXPECT_EQ(source.ImagingAnnot, nullptr);
}

TEST(IOParamsProfiles, MadeOnFirstUseCopiedAndFreed) {
    TIOParamsVals source, dest;
    EXPECT_EQ(source.EmbeddedICC, nullptr);
    TVLICC* srgb = source.GetSRGBICCProfile();
    EXPECT_TRUE(srgb->IsValid());
    EXPECT_EQ(source.GetSRGBICCProfile(), srgb);
    EXPECT_FALSE(source.GetEmbeddedICCProfile()->IsValid()); // created empty
    EXPECT_FALSE(source.GetDefaultICCProfile()->IsValid());
    source.GetEmbeddedICCProfile()->Assign(srgb);

    dest.GetDefaultICCProfile();
    dest.Assign(source);
    ASSERT_NE(dest.SRGBICC, nullptr);
    EXPECT_NE(dest.SRGBICC.get(), srgb);
    EXPECT_TRUE(dest.SRGBICC->IsValid());
    ASSERT_NE(dest.EmbeddedICC, nullptr);
    EXPECT_TRUE(dest.EmbeddedICC->IsValid());
    ASSERT_NE(dest.DefaultICC, nullptr); // the source has one (empty): so has the copy
    EXPECT_FALSE(dest.DefaultICC->IsValid());

    // From a source without profiles, the destination's are freed.
    TIOParamsVals none;
    dest.Assign(none);
    EXPECT_EQ(dest.EmbeddedICC, nullptr);
    EXPECT_EQ(dest.SRGBICC, nullptr);
    EXPECT_EQ(dest.DefaultICC, nullptr);

    // ResetInfo forgets only the file's own profile; SetDefaults all three.
    source.ResetInfo();
    EXPECT_EQ(source.EmbeddedICC, nullptr);
    EXPECT_NE(source.SRGBICC, nullptr);
    EXPECT_NE(source.DefaultICC, nullptr);
    source.SetDefaults();
    EXPECT_EQ(source.SRGBICC, nullptr);
    EXPECT_EQ(source.DefaultICC, nullptr);
}
