// The per-image parameter record: the options every reader and writer reads and the information
// and metadata a reader found in the last file.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLICC.h"
#include "imaging/core/VLImagingAnnot.h"
#include "imaging/core/VLMarkerList.h"
#include "imaging/core/VLTagsHandler.h"
#include "platform/rtl/StringList.h"

#include <array>
#include <memory>

// A format id of the format registry; 0 = unknown, or "detect" where an operation takes one.
using TVLFileFormatId = int32_t;

// Enumerations of the record. The values are list indexes of the parameters dialog and are
// compared by the codecs, so they must not change.
enum TVLTIFFCompression : uint8_t {
    tcNone = 0,     // tag value 1
    tcCCITT1D = 1,  // 2
    tcG3Fax1D = 2,  // 3
    tcG3Fax2D = 3,  // 3 with the two-dimensional option
    tcG4Fax = 4,    // 4
    tcLZW = 5,      // 5
    tcOldJPEG = 6,  // 6
    tcJPEG = 7,     // 7
    tcPackBits = 8, // 32773
    tcZIP = 9,      // 32946
    tcDeflate = 10, // 32946
    tcOther = 11,   // set by the reader for a compression it does not name
};
enum TVLTIFFPhotometric : uint8_t {
    tpWhiteIsZero = 0,
    tpBlackIsZero = 1,
    tpRGB = 2,
    tpRGBPalette = 3,
    tpTransparencyMask = 4,
    tpCMYK = 5,
    tpYCbCr = 6,
    tpCIELab = 7,
};
enum TVLJpegColorSpace : uint8_t {
    jcRGB = 0,
    jcGrayScale = 1,
    jcYCbCr = 2,
    jcCMYK = 3,
    jcYCbCrK = 4
};
enum TVLJpegDCTMethod : uint8_t { dmISlow = 0, dmIFast = 1, dmFloat = 2 };
// Luma sampling: ss422 2 x 1, ss420 2 x 2, ss444 1 x 1.
enum TVLJpegSubsampling : uint8_t { ss422 = 0, ss420 = 1, ss444 = 2 };
// jsAuto: the largest power-of-two reduction that still gives at least the requested Width and
// Height (full size when either is 0).
enum TVLJpegScale : uint8_t { jsAuto = 0, jsFull = 1, jsHalf = 2, jsQuarter = 3, jsEighth = 4 };
enum TVLJ2000ColorSpace : uint8_t { j2GrayScale = 0, j2RGB = 1, j2YCbCr = 2 };
enum TVLJ2000Progression : uint8_t { j2LRCP = 0, j2RLCP = 1 };
enum TVLPNGFilter : uint8_t { pfNone = 0, pfSub = 1, pfPaeth = 2 };
// bvOther: any other info-header size (written as 40 bytes); bvWin3 40 bytes; bvOS2v1 12 bytes;
// bvOS2v2 64 bytes.
enum TVLBMPHeaderVersion : uint8_t { bvOther = 0, bvWin3 = 1, bvOS2v1 = 2, bvOS2v2 = 3 };

struct TVLIcoSize {
    int32_t Width = 0;
    int32_t Height = 0;
    friend bool operator==(const TVLIcoSize&, const TVLIcoSize&) = default;
};

// What a record asks of the I/O component that owns it.
class TIOParamsOwner {
public:
    virtual ~TIOParamsOwner() = default;
    // The class-library bitmap the component works on, or nil.
    virtual TBitmap* GetTBitmap() = 0;
    // Passes a new resolution on to the attached view; nothing when no view is attached.
    virtual void SetViewDpiX(int32_t Value) = 0;
    virtual void SetViewDpiY(int32_t Value) = 0;
};

// The plain fields of the record outside the EXIF group, with their defaults. Copied by value.
struct TIOParamsFields {
    // Common.
    int32_t BitsPerSample = 8;
    // File last read or written by the owner.
    String FileName;
    int32_t SamplesPerPixel = 3;
    // Size of the image read; before a JPEG read with jsAuto, the size wanted.
    int32_t Width = 0;
    int32_t Height = 0;
    // Resolution in dots per inch; write through SetDpiX / SetDpiY.
    int32_t DpiX = 0;
    int32_t DpiY = 0;
    TVLFileFormatId FileType = 0;
    // Image of a multi-image file to read or write; write through SetImageIndex.
    int32_t ImageIndex = 0;
    // Images found in the last multi-image file; write through SetImageCount.
    int32_t ImageCount = 0;
    bool LoadThumbnail = false;
    bool AdjustOrientation = false;
    // Size of the stored image before any load-time reduction.
    int32_t OriginalWidth = 0;
    int32_t OriginalHeight = 0;

    // TIFF and DCX.
    TVLTIFFCompression TiffCompression = tcNone;
    int32_t TiffImageIndex = 0;
    // When 0 or more the reader reads that entry of the page's SubIFDs instead.
    int32_t TiffSubIndex = -1;
    TVLTIFFPhotometric TiffPhotometric = tpRGB;
    int32_t TiffPlanarConfig = 1;
    int32_t TiffXPos = 0;
    int32_t TiffYPos = 0;
    // When 0 or more only that tile is read.
    int32_t TiffTileIndex = -1;
    AnsiString TiffDocumentName;
    AnsiString TiffImageDescription;
    AnsiString TiffPageName;
    // The two values of PageNumber; -1 = not written.
    int32_t TiffPageNumber = -1;
    int32_t TiffPageCount = -1;
    // Write through SetTIFFOrientation.
    int32_t TiffOrientation = 1;
    TVLTIFFLZWDecoder TiffLZWDecompress = nullptr;
    // nil writes tcLZW pages uncompressed.
    TVLTIFFLZWEncoder TiffLZWCompress = nullptr;
    bool TiffAdjustOrientation = false;
    int32_t TiffJpegQuality = 80;
    TVLJpegColorSpace TiffJpegColorSpace = jcYCbCr;
    // Level of tcZIP / tcDeflate pages: 0 fastest, 1 normal, 2 maximum.
    int32_t TiffDeflateLevel = 1;
    int32_t TiffImageCount = 0;
    int32_t TiffFillOrder = 1;
    // Byte order of the last TIFF read: true for "II", false for "MM".
    bool TiffIntelByteOrder = true;
    int32_t DcxImageIndex = 0;

    // GIF.
    AnsiString GifVersion = "GIF89a";
    int32_t GifImageIndex = 0;
    int32_t GifXPos = 0;
    int32_t GifYPos = 0;
    // Hundredths of a second.
    int32_t GifDelayTime = 0;
    bool GifTransparent = false;
    TVLRGB GifTransparentColor{};
    bool GifInterlaced = false;
    int32_t GifScreenWidth = 0;
    int32_t GifScreenHeight = 0;
    TVLRGB GifBackground{};
    int32_t GifAspectRatio = 0;
    // GIF89a disposal method, 0 to 3.
    uint8_t GifDisposal = 2;
    TVLGIFLZWDecoder GifLZWDecompress = nullptr;
    TVLGIFLZWEncoder GifLZWCompress = nullptr;
    int32_t GifImageCount = 0;

    // JPEG.
    TVLJpegColorSpace JpegColorSpace = jcYCbCr;
    int32_t JpegQuality = 80;
    TVLJpegDCTMethod JpegDCTMethod = dmISlow;
    TVLJpegSubsampling JpegChromaSubsampling = ss420;
    bool JpegOptimalHuffman = false;
    int32_t JpegSmoothing = 0;
    bool JpegProgressive = false;
    TVLJpegScale JpegScale = jsFull;
    // Denominator the last read used: 1, 2, 4 or 8.
    int32_t JpegScaleUsed = 1;
    // Warnings and the library's message code of the last read; kept by SetDefaults.
    int32_t JpegWarningCount = 0;
    int32_t JpegLastMessageCode = 0;
    bool JpegAdjustOrientation = false;
    bool JpegLoadExifThumbnail = false;

    // JPEG 2000, PCX, BMP, icon, cursor, PNG.
    TVLJ2000ColorSpace J2000ColorSpace = j2RGB;
    double J2000Rate = 1.0;
    TVLJ2000Progression J2000Progression = j2LRCP;
    int32_t PcxVersion = 5;
    // 0 none, 1 run-length.
    uint8_t PcxCompression = 1;
    TVLBMPHeaderVersion BmpHeaderVersion = bvWin3;
    // 0 none, 1 run-length.
    uint8_t BmpCompression = 0;
    // The fourth byte of 32-bit pixels is written as alpha, and kept as alpha by the reader.
    bool BmpWriteAlpha = false;
    int32_t IcoImageIndex = 0;
    // Colour given to transparent icon and cursor pixels.
    TVLRGB IcoBackground{255, 255, 255};
    int32_t CurImageIndex = 0;
    int32_t CurHotSpotX = 0;
    int32_t CurHotSpotY = 0;
    TVLRGB CurBackground{255, 255, 255};
    bool PngInterlaced = false;
    TVLRGB PngBackground{};
    TVLPNGFilter PngFilter = pfNone;
    // Deflate level 0 to 9.
    int32_t PngCompression = 5;

    // TGA.
    int32_t TgaXPos = 0;
    int32_t TgaYPos = 0;
    bool TgaCompressed = true;
    AnsiString TgaDescription;
    AnsiString TgaAuthor;
    // The current day after SetDefaults.
    TDateTime TgaDate = 0;
    AnsiString TgaImageName;
    TVLRGB TgaBackground{};
    double TgaAspectRatio = 1.0;
    double TgaGamma = 2.2;
    bool TgaGrayLevel = false;

    // Video frames, page description, camera raw and the rest.
    int32_t AviFrameCount = 0;
    // Milliseconds.
    int32_t AviFrameDelay = 0;
    // Frames of the open media file and the delay of the frame last taken; kept by SetDefaults.
    int32_t MediaFrameCount = 0;
    int32_t MediaFrameDelay = 0;
    // Page sizes in points.
    int32_t PsPaperWidth = 595;
    int32_t PsPaperHeight = 842;
    uint8_t PsCompression = 1;
    AnsiString PsTitle = "No Title";
    int32_t PdfPaperWidth = 595;
    int32_t PdfPaperHeight = 842;
    uint8_t PdfCompression = 2;
    // Document information entries; an empty one is not written.
    AnsiString PdfTitle;
    AnsiString PdfAuthor;
    AnsiString PdfSubject;
    AnsiString PdfKeywords;
    AnsiString PdfCreator;
    AnsiString PdfProducer;
    bool RawHalfSize = false;
    double RawGamma = 0.6;
    double RawBrightness = 1.0;
    double RawRedScale = 1.0;
    double RawBlueScale = 1.0;
    bool RawQuickInterpolate = true;
    bool RawAutoWhiteBalance = false;
    bool RawCameraWhiteBalance = false;
    bool RawFourColorRGB = false;
    // Return the embedded preview; write through SetRawLoadThumbnail.
    bool RawLoadThumbnail = false;
    // Brightness 0.5 instead of RawBrightness when a non-empty EXIF thumbnail is present.
    bool RawHalfBrightness = false;
    // Make and model of the camera of the last raw file read.
    AnsiString RawCamera;
    // Headerless raw pixels: already blue-green-red (else red and blue are swapped), 0 interleaved
    // or 1 planar, row alignment in bits, bytes skipped before the pixels.
    bool RawPixelsBGR = false;
    uint8_t RawPixelsPlanar = 0;
    int32_t RawPixelsRowAlign = 8;
    int32_t RawPixelsHeaderSize = 0;
    // PSD layers become layers of the attached view, replacing its layers or appended.
    bool PsdLoadLayers = false;
    bool PsdReplaceLayers = true;
    // XMP packet of the last file read.
    AnsiString XmpInfo;
    // Readers keep the file's pixel format instead of converting to 24-bit.
    bool NativePixelFormat = false;
    // Icon images the ICO writer produces, up to the first zero pair, and their bit counts.
    std::array<TVLIcoSize, 16> IcoSizes{{{64, 64}}};
    std::array<int32_t, 16> IcoBitCounts{8};
};

// The EXIF group: each field holds the value of the EXIF, TIFF or GPS tag it is named after.
// ClearExif brings every field back to these values.
struct TIOExifFields {
    // The last file read carried EXIF data.
    bool HasExif = false;
    AnsiString ExifImageDescription;
    AnsiString ExifMake;
    AnsiString ExifModel;
    // Write through SetExifOrientation.
    int32_t ExifOrientation = 0;
    // Write through SetExifXResolution / SetExifYResolution.
    double ExifXResolution = 0;
    double ExifYResolution = 0;
    // 2 inch, 3 centimetre.
    int32_t ExifResolutionUnit = 0;
    AnsiString ExifSoftware;
    AnsiString ExifArtist;
    AnsiString ExifDateTime;
    std::array<double, 2> ExifWhitePoint{};
    std::array<double, 6> ExifPrimaryChromaticities{};
    std::array<double, 3> ExifYCbCrCoefficients{};
    int32_t ExifYCbCrPositioning = 0;
    std::array<double, 6> ExifReferenceBlackWhite{};
    AnsiString ExifCopyright;
    double ExifExposureTime = 0;
    double ExifFNumber = 0;
    int32_t ExifExposureProgram = 0;
    std::array<int32_t, 2> ExifISOSpeedRatings{};
    AnsiString ExifVersion;
    AnsiString ExifDateTimeOriginal;
    AnsiString ExifDateTimeDigitized;
    double ExifCompressedBitsPerPixel = 0;
    double ExifShutterSpeedValue = 0;
    double ExifApertureValue = 0;
    double ExifBrightnessValue = 0;
    double ExifExposureBiasValue = 0;
    double ExifMaxApertureValue = 0;
    double ExifSubjectDistance = 0;
    int32_t ExifMeteringMode = 0;
    int32_t ExifLightSource = 0;
    int32_t ExifFlash = 0;
    double ExifFocalLength = 0;
    AnsiString ExifSubsecTime;
    AnsiString ExifSubsecTimeOriginal;
    AnsiString ExifSubsecTimeDigitized;
    AnsiString ExifFlashPixVersion;
    int32_t ExifColorSpace = 0;
    int32_t ExifPixelXDimension = 0;
    int32_t ExifPixelYDimension = 0;
    AnsiString ExifRelatedSoundFile;
    double ExifFocalPlaneXResolution = 0;
    double ExifFocalPlaneYResolution = 0;
    int32_t ExifFocalPlaneResolutionUnit = 0;
    double ExifExposureIndex = 0;
    int32_t ExifSensingMethod = 0;
    int32_t ExifFileSource = 0;
    int32_t ExifSceneType = 0;
    // The first 8 bytes of UserComment (the character code) and the rest.
    AnsiString ExifUserCommentCode;
    AnsiString ExifUserComment;
    int32_t ExifRating = -1;
    String ExifXPTitle;
    String ExifXPComment;
    String ExifXPAuthor;
    String ExifXPKeywords;
    String ExifXPSubject;
    int32_t ExifExposureMode = -1;
    int32_t ExifWhiteBalance = -1;
    double ExifDigitalZoomRatio = -1.0;
    int32_t ExifFocalLengthIn35mmFilm = -1;
    int32_t ExifSceneCaptureType = -1;
    int32_t ExifGainControl = -1;
    int32_t ExifContrast = -1;
    int32_t ExifSaturation = -1;
    int32_t ExifSharpness = -1;
    int32_t ExifSubjectDistanceRange = -1;
    AnsiString ExifImageUniqueID;
    AnsiString ExifGPSVersionID;
    AnsiString ExifGPSLatitudeRef;
    // Degrees, minutes, seconds.
    std::array<double, 3> ExifGPSLatitude{};
    AnsiString ExifGPSLongitudeRef;
    std::array<double, 3> ExifGPSLongitude{};
    // The number as decimal text.
    AnsiString ExifGPSAltitudeRef;
    double ExifGPSAltitude = 0;
    // Hour, minute, second.
    std::array<double, 3> ExifGPSTimeStamp{};
    AnsiString ExifGPSSatellites;
    AnsiString ExifGPSStatus;
    AnsiString ExifGPSMeasureMode;
    double ExifGPSDOP = 0;
    AnsiString ExifGPSSpeedRef;
    double ExifGPSSpeed = 0;
    AnsiString ExifGPSTrackRef;
    double ExifGPSTrack = 0;
    AnsiString ExifGPSImgDirectionRef;
    double ExifGPSImgDirection = 0;
    AnsiString ExifGPSMapDatum;
    AnsiString ExifGPSDestLatitudeRef;
    std::array<double, 3> ExifGPSDestLatitude{};
    AnsiString ExifGPSDestLongitudeRef;
    std::array<double, 3> ExifGPSDestLongitude{};
    AnsiString ExifGPSDestBearingRef;
    double ExifGPSDestBearing = 0;
    AnsiString ExifGPSDestDistanceRef;
    double ExifGPSDestDistance = 0;
    AnsiString ExifGPSDateStamp;
};

// The record. Fields are public and written directly by the codecs; the setters keep fields
// that must change together in step. Not locked: used by the thread running its owner's work.
class TIOParamsVals : public TObject, public TIOParamsFields, public TIOExifFields {
public:
    // IO is the owning I/O component or nil; the link is not owned and never copied.
    explicit TIOParamsVals(TIOParamsOwner* IO = nullptr);
    ~TIOParamsVals() override;
    TIOParamsVals(const TIOParamsVals&) = delete;
    TIOParamsVals& operator=(const TIOParamsVals&) = delete;

    TIOParamsOwner* GetOwner() const { return FOwner; }

    // Every option back to its default; sizes and resolution follow the owner when there is
    // one and are kept otherwise.
    void SetDefaults();
    // Forgets what the last file carried (metadata, texts, embedded profile); options stay.
    void ResetInfo();
    // Empties the EXIF group, frees the EXIF thumbnail and drops the first EXIF APP1 marker.
    void ClearExif();
    // Copies every field, metadata object and owned copy of Source; not the owner link, the
    // JPEG warning count and message code, the media frame values and NativePixelFormat.
    void Assign(const TIOParamsVals& Source);
    // Copies only the options that decide how an image is encoded.
    void CopyEncodingOptions(const TIOParamsVals& Source);

    void SetImageIndex(int32_t Index);
    void SetImageCount(int32_t Count);
    void SetAdjustOrientation(bool Value);
    void SetLoadThumbnail(bool Value);
    void SetRawLoadThumbnail(bool Value);
    void SetTIFFOrientation(int32_t Value);
    void SetExifOrientation(int32_t Value);
    // Also sets the EXIF resolution and passes the value to the owner's view.
    void SetDpiX(int32_t Value);
    void SetDpiY(int32_t Value);
    // Sets the integer resolution to the truncated value (clamped to 32 bits, 0 for NaN) and
    // keeps the exact value in the EXIF field.
    void SetExifXResolution(double Value);
    void SetExifYResolution(double Value);

    // One entry of the EXIF arrays. An index outside the array reads 0 and writes nothing.
    int32_t GetExifISOSpeedRatings(int32_t Index) const;
    void SetExifISOSpeedRatings(int32_t Index, int32_t Value);
    double GetExifWhitePoint(int32_t Index) const;
    void SetExifWhitePoint(int32_t Index, double Value);
    double GetExifPrimaryChromaticities(int32_t Index) const;
    void SetExifPrimaryChromaticities(int32_t Index, double Value);
    double GetExifYCbCrCoefficients(int32_t Index) const;
    void SetExifYCbCrCoefficients(int32_t Index, double Value);
    double GetExifReferenceBlackWhite(int32_t Index) const;
    void SetExifReferenceBlackWhite(int32_t Index, double Value);

    // The record's annotation list, made on first use with this record as its parent.
    TVLImagingAnnot* GetImagingAnnot();
    // Profiles made on first use: the one embedded in the file (empty), the system sRGB profile
    // (the target of the codecs' colour conversion) and a default input profile (empty). The
    // conversion takes the embedded profile as its source when it is valid, else the default.
    TVLICC* GetEmbeddedICCProfile();
    TVLICC* GetSRGBICCProfile();
    TVLICC* GetDefaultICCProfile();

    // Palette of the last file read: GetPaletteCount entries, or nil and 0.
    const TVLRGB* GetPalette() const { return Palette.get(); }
    TVLRGB* GetPalette() { return Palette.get(); }
    int32_t GetPaletteCount() const { return PaletteCount; }
    // Replaces the palette with Count black entries (1 to 65536) and returns them; any other
    // count frees the palette and returns nil.
    TVLRGB* AllocPalette(int32_t Count);
    void FreePalette();

    // Metadata owned from construction to destruction.
    TStringList GifComments;
    // APPn and COM markers read, written back on save.
    TVLMarkerList JpegMarkers;
    // Keywords and texts of PNG text chunks, index by index.
    TStringList PngTextKeys;
    TStringList PngTextValues;
    TVLDICOMTags DicomTags;
    TVLIPTCInfoList IPTCInfo;
    // Comment lines of PBM, PGM and PPM files.
    TStringList PxmComments;
    // MakerNote held as a tag directory.
    TVLTagsHandler ExifMakerNote;
    // EXIF thumbnail, or nil.
    std::unique_ptr<TVLBitmap> ExifThumbnail;
    // TIFF imaging annotations, or nil; made by GetImagingAnnot.
    std::unique_ptr<TVLImagingAnnot> ImagingAnnot;
    // Made by their accessors; nil until then.
    std::unique_ptr<TVLICC> EmbeddedICC;
    std::unique_ptr<TVLICC> SRGBICC;
    std::unique_ptr<TVLICC> DefaultICC;

private:
    void ClearMakerNote();
    void CopyMakerNote(const TVLTagsHandler& Source);
    void CopyExifThumbnail(const TIOParamsVals& Source);
    void CopyProfiles(const TIOParamsVals& Source);

    TIOParamsOwner* FOwner;
    std::unique_ptr<TVLRGB[]> Palette;
    int32_t PaletteCount = 0;
};
