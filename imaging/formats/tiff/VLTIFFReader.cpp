// Reading TIFF images: header, choice of the directory, the image record, the parameters, the
// bitmap's format, and the strip, tile and old-style JPEG layouts.
#include "imaging/formats/tiff/VLTIFFReader.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLFileBuffer.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/tiff/VLTIFFSamples.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLJpeg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using imaging_core::detail::TAccessScope;

namespace {

constexpr int32_t ThumbnailLimit = 400;

uint32_t Swap32(uint32_t V) {
    return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

// The 8-byte header: byte order and the first directory's offset; false when the first two
// bytes are neither "II" nor "MM" or the header is short.
bool ReadHeader(TStream& Stream, bool& Intel, uint32_t& FirstIFD) {
    uint8_t header[8];
    if (Stream.Read(header, 8) != 8) return false;
    if (header[0] == 'I' && header[1] == 'I') Intel = true;
    else if (header[0] == 'M' && header[1] == 'M') Intel = false;
    else return false;
    std::memcpy(&FirstIFD, header + 4, 4);
    if (!Intel) FirstIFD = Swap32(FirstIFD);
    return true;
}

// Value I of SubIFDs, whose type may also be IFD (13), read as LONG.
int64_t SubIFDOffset(const TVLTagsReadState& Ctx, int32_t I) {
    const int32_t at = TIFFFindTag(Ctx, 330);
    if (at < 0) return 0;
    TVLTagsReadState copy = Ctx;
    if (copy.Entries[at].FieldType == 13) copy.Entries[at].FieldType = ttLong;
    return TIFFIntegerAt(copy, 330, I);
}

int32_t Clamp32(int64_t V) {
    return static_cast<int32_t>(std::clamp<int64_t>(V, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void FillArray(const TVLTagsReadState& Ctx, uint16_t Tag, int32_t Count, int32_t* Out) {
    for (int32_t i = 0; i < Count; ++i)
        Out[i] = Clamp32(TIFFIntegerAt(Ctx, Tag, i));
}

// The image record from the directory; false when BitsPerSample differs between samples.
bool ReadVars(const TVLTagsReadState& Ctx, TTIFFVars& V, bool OneTile) {
    V.Width = Clamp32(TIFFTagValue(Ctx, 256, 0));
    V.Height = Clamp32(TIFFTagValue(Ctx, 257, 0));
    V.SamplesPerPixel = Clamp32(TIFFTagValue(Ctx, 277, 1));
    if (!TIFFBitsPerSample(Ctx, V.BitsPerSample)) return false;
    const int64_t rps = TIFFTagValue(Ctx, 278, -1);
    V.TileWidth = Clamp32(TIFFTagValue(Ctx, 322, -1));
    V.TileLength = Clamp32(TIFFTagValue(Ctx, 323, -1));
    if (OneTile) {
        V.Width = V.TileWidth;
        V.Height = V.TileLength;
    }
    V.RowsPerStrip = rps <= 0 || rps >= 0xFFFFFFFF ? V.Height : Clamp32(rps);
    V.Photometric = static_cast<uint16_t>(TIFFTagValue(Ctx, 262, 2));
    V.PlanarConfiguration = static_cast<uint16_t>(TIFFTagValue(Ctx, 284, 1));
    V.Orientation = static_cast<uint16_t>(TIFFTagValue(Ctx, 274, 1));
    V.Compression = static_cast<uint16_t>(TIFFTagValue(Ctx, 259, 1));
    V.StripOffsets = TIFFIntegerArray(Ctx, 273);
    V.StripByteCounts = TIFFIntegerArray(Ctx, 279);
    V.TileOffsets = TIFFIntegerArray(Ctx, 324);
    V.TileByteCounts = TIFFIntegerArray(Ctx, 325);
    V.ColorMap = TIFFColorMap(Ctx, V.BitsPerSample);
    V.TransferFunction = TIFFIntegerArray(Ctx, 301);
    V.ResolutionUnit = Clamp32(TIFFTagValue(Ctx, 296, 2));
    V.XResolution = TIFFRational(Ctx, 282);
    V.YResolution = TIFFRational(Ctx, 283);
    V.Predictor = Clamp32(TIFFTagValue(Ctx, 317, 1));
    V.JPEGTables = TIFFRawBytes(Ctx, 347);
    V.T4Options = Clamp32(TIFFTagValue(Ctx, 292, 0));
    V.T6Options = Clamp32(TIFFTagValue(Ctx, 293, 0));
    V.FillOrder = Clamp32(TIFFTagValue(Ctx, 266, 1));
    V.XPosition = TIFFRational(Ctx, 286);
    V.YPosition = TIFFRational(Ctx, 287);
    V.DocumentName = TIFFText(Ctx, 269);
    V.ImageDescription = TIFFText(Ctx, 270);
    V.PageName = TIFFText(Ctx, 285);
    V.PageNumber = Clamp32(TIFFIntegerAt(Ctx, 297, 0));
    V.PageTotal = Clamp32(TIFFIntegerAt(Ctx, 297, 1));
    V.Software = TIFFText(Ctx, 305);
    V.InkSet = Clamp32(TIFFTagValue(Ctx, 332, 1));
    V.NumberOfInks = Clamp32(TIFFTagValue(Ctx, 334, 4));
    FillArray(Ctx, 336, 8, V.DotRange.data());
    V.Artist = TIFFText(Ctx, 315);
    V.YCbCrSubsamplingH = Clamp32(TIFFIntegerAt(Ctx, 530, 0));
    V.YCbCrSubsamplingV = Clamp32(TIFFIntegerAt(Ctx, 530, 1));
    if (V.YCbCrSubsamplingH == 0) V.YCbCrSubsamplingH = 2;
    if (V.YCbCrSubsamplingV == 0) V.YCbCrSubsamplingV = 2;
    V.JPEGProc = Clamp32(TIFFTagValue(Ctx, 512, 0));
    V.JPEGInterchangeFormat = TIFFTagValue(Ctx, 513, 0);
    V.JPEGInterchangeFormatLength = TIFFTagValue(Ctx, 514, 0);
    V.JPEGRestartInterval = Clamp32(TIFFTagValue(Ctx, 515, 0));
    const int32_t tables = std::clamp(V.SamplesPerPixel, 0, 7);
    FillArray(Ctx, 517, tables, V.JPEGQTables.data());
    FillArray(Ctx, 518, tables, V.JPEGDCTables.data());
    FillArray(Ctx, 519, tables, V.JPEGACTables.data());
    FillArray(Ctx, 520, tables, V.JPEGLosslessPredictors.data());
    FillArray(Ctx, 521, tables, V.JPEGPointTransforms.data());
    const std::vector<int64_t> extra = TIFFIntegerArray(Ctx, 338);
    V.ExtraSample = extra.empty() ? 0 : Clamp32(extra[0]);
    V.ExtraSampleCount = static_cast<int32_t>(std::min<size_t>(extra.size(), 10));
    for (int32_t i = 0; i < V.ExtraSampleCount; ++i)
        V.ExtraSampleValues[i] = Clamp32(extra[i]);
    // A bilevel image without a meaningful Photometric counts as white-is-zero.
    if (V.SamplesPerPixel == 1 && V.BitsPerSample == 1 && V.Compression >= 1 &&
        V.Compression <= 4 && V.Photometric == 2)
        V.Photometric = 0;
    return true;
}

TVLTIFFCompression CompressionOf(const TTIFFVars& V) {
    switch (V.Compression) {
    case 1: return tcNone;
    case 2: return tcCCITT1D;
    case 3: return (V.T4Options & 1) != 0 ? tcG3Fax2D : tcG3Fax1D;
    case 4: return tcG4Fax;
    case 5: return tcLZW;
    case 6: return tcOldJPEG;
    case 7: return tcJPEG;
    case 8: return tcDeflate;
    case 32773: return tcPackBits;
    case 32946: return tcZIP;
    default: return tcOther;
    }
}

// Resolution with halves to even; 0 becomes the library default.
int32_t Dpi(double Value, int32_t Default) {
    const double r = std::nearbyint(Value);
    const int32_t dpi = std::isfinite(r) ? Clamp32(static_cast<int64_t>(
                                               std::clamp(r, -2147483648.0, 2147483647.0)))
                                         : 0;
    return dpi == 0 ? Default : dpi;
}

void SetParams(const TTIFFVars& V, int32_t PageCount, TIOParamsVals& Params) {
    Params.BitsPerSample = V.BitsPerSample;
    Params.SamplesPerPixel = V.SamplesPerPixel;
    Params.Width = V.Width;
    Params.Height = V.Height;
    Params.OriginalWidth = V.Width;
    Params.OriginalHeight = V.Height;
    Params.TiffIntelByteOrder = V.IntelByteOrder;
    Params.SetImageCount(PageCount);
    Params.SetTIFFOrientation(V.Orientation);
    Params.SetExifOrientation(V.Orientation);
    Params.TiffCompression = CompressionOf(V);
    if (V.Photometric <= 6) Params.TiffPhotometric = static_cast<TVLTIFFPhotometric>(V.Photometric);
    else if (V.Photometric == 8) Params.TiffPhotometric = tpCIELab;
    Params.TiffPlanarConfig = V.PlanarConfiguration;
    Params.TiffDocumentName = V.DocumentName;
    Params.TiffImageDescription = V.ImageDescription;
    Params.TiffPageName = V.PageName;
    Params.TiffPageNumber = V.PageNumber;
    Params.TiffPageCount = V.PageTotal;
    Params.TiffFillOrder = V.FillOrder;
}

void SetResolution(const TTIFFVars& V, TIOParamsVals& Params) {
    const double f = V.ResolutionUnit == 3 ? 2.54 : 1.0;
    Params.SetDpiX(Dpi(V.XResolution * f, DefaultDpiX));
    Params.SetDpiY(Dpi(V.YResolution * f, DefaultDpiY));
    Params.ExifXResolution = V.XResolution * f;
    Params.ExifYResolution = V.YResolution * f;
    Params.TiffXPos = Clamp32(static_cast<int64_t>(std::clamp(V.XPosition * f, -2e9, 2e9)));
    Params.TiffYPos = Clamp32(static_cast<int64_t>(std::clamp(V.YPosition * f, -2e9, 2e9)));
}

void SetColorMap(const TTIFFVars& V, TIOParamsVals& Params) {
    Params.FreePalette();
    if (V.ColorMap.empty()) return;
    TVLRGB* palette = Params.AllocPalette(static_cast<int32_t>(V.ColorMap.size()));
    if (palette != nullptr) std::copy(V.ColorMap.begin(), V.ColorMap.end(), palette);
}

TVLPixelFormat BitmapFormat(const TTIFFVars& V, bool Native) {
    const int32_t b = V.BitsPerSample, s = V.SamplesPerPixel, p = V.Photometric;
    if (b == 1 && s == 1 && p != 3) return TVLPixelFormat::vl1g;
    if (!Native) return TVLPixelFormat::vl24RGB;
    if (b == 8 && s == 1 && p == 3) return TVLPixelFormat::vl8p;
    if (b == 8 && s == 1 && p <= 1) return TVLPixelFormat::vl8g;
    if (b == 16 && s == 1 && p <= 1) return TVLPixelFormat::vl16g;
    if (b == 8 && s > 3 && p == 5) return TVLPixelFormat::vlCMYK;
    if (b == 16 && s == 4 && p == 5) return TVLPixelFormat::vlCMYK;
    if (b == 16 && s == 3 && p == 2) return TVLPixelFormat::vlRGB48;
    return TVLPixelFormat::vl24RGB;
}

bool HasAlphaSamples(const TTIFFVars& V) {
    const int32_t s = V.SamplesPerPixel;
    return (s == 4 && V.ExtraSample == 2) || (s > 3 && V.ExtraSampleCount > 0) ||
           (s == 2 && (V.BitsPerSample == 8 || V.ExtraSampleCount > 0)) ||
           (s == 4 && V.Photometric == 2);
}

// Everything the layouts share: stream, base, record, bitmap and progress.
struct TReadJob {
    TStream& Stream;
    int64_t Base;
    int64_t StreamSize;
    TTIFFVars& Vars;
    TVLBitmap& Bitmap;
    TVLProgressRecord& Progress;
    TIOParamsVals& Params;
};

// The bytes of a strip or tile: Size bytes at Offset (0 = to the end of the stream), at least
// MinSize when the data is uncompressed, never past the stream's end. Empty when the offset
// lies outside the stream.
std::vector<uint8_t> ReadPiece(TReadJob& J, int64_t Offset, int64_t Size, int64_t MinSize) {
    const int64_t pos = J.Base + Offset;
    if (Offset < 0 || pos >= J.StreamSize) return {};
    const int64_t left = J.StreamSize - pos;
    if (Size <= 0) Size = left;
    if (J.Vars.Compression == 1) Size = std::max(Size, MinSize);
    Size = std::min({Size, left, int64_t{std::numeric_limits<int32_t>::max() / 2}});
    std::vector<uint8_t> data(static_cast<size_t>(Size));
    J.Stream.SetPosition(pos);
    const int32_t got = J.Stream.Read(data.data(), static_cast<int32_t>(Size));
    data.resize(static_cast<size_t>(std::max(got, 0)));
    return data;
}

int64_t CountAt(const std::vector<int64_t>& Counts, size_t I) {
    return I < Counts.size() ? Counts[I] : 0;
}

int64_t UncompressedBytes(const TTIFFVars& V, int64_t Width, int64_t Rows, int32_t Samples) {
    return (Width * Samples * V.BitsPerSample + 7) / 8 * Rows;
}

void ReadStrips(TReadJob& J) {
    TTIFFVars& V = J.Vars;
    const int32_t rps = std::max(V.RowsPerStrip, 1);
    J.Progress.StepCount = 0;
    J.Progress.PercentPerStep = 100.0 / V.Height;
    J.Progress.PercentPerStrip = 100.0 / static_cast<double>(V.StripOffsets.size());
    V.PieceCount = static_cast<int32_t>(std::min<size_t>(V.StripOffsets.size(), 1 << 30));
    int32_t row = 0;
    for (size_t i = 0; i < V.StripOffsets.size() && row < V.Height; ++i) {
        const int32_t rows = std::min(rps, V.Height - row);
        const std::vector<uint8_t> data =
            ReadPiece(J, V.StripOffsets[i], CountAt(V.StripByteCounts, i),
                      UncompressedBytes(V, V.Width, rows, V.SamplesPerPixel));
        TIFFDecodeRows(V, J.Bitmap, row, J.Progress, rows, V.Width,
                       static_cast<int32_t>(data.size()), data.data());
        row += rows;
        if (J.Progress.Aborting()) return;
    }
}

void ReadPlanarStrips(TReadJob& J) {
    TTIFFVars& V = J.Vars;
    const int32_t spp = V.SamplesPerPixel;
    if (spp > TIFFMaxPlanes || spp < 1) return J.Progress.Abort();
    const int32_t rps = std::max(V.RowsPerStrip, 1);
    const size_t n = V.StripOffsets.size() / spp;
    J.Progress.StepCount = 0;
    J.Progress.PercentPerStep = 100.0 / V.Height;
    int32_t row = 0;
    for (size_t k = 0; k < n && row < V.Height; ++k) {
        const int32_t rows = std::min(rps, V.Height - row);
        std::vector<std::vector<uint8_t>> data(spp);
        std::vector<TTIFFPlane> planes(spp);
        for (int32_t p = 0; p < spp; ++p) {
            const size_t at = p * n + k;
            data[p] = ReadPiece(J, V.StripOffsets[at], CountAt(V.StripByteCounts, at),
                                UncompressedBytes(V, V.Width, rows, 1));
            planes[p] = {data[p].data(), static_cast<int32_t>(data[p].size())};
        }
        TIFFDecodePlanarRows(V, J.Bitmap, row, J.Progress, rows, V.Width, planes);
        row += rows;
        if (J.Progress.Aborting()) return;
    }
}

// Tiles left to right, top to bottom; edge tiles are cut at the picture's edges.
void ReadTiles(TReadJob& J, const std::vector<int64_t>& Offsets,
               const std::vector<int64_t>& Counts) {
    TTIFFVars& V = J.Vars;
    const int32_t index = J.Params.TiffTileIndex;
    if (V.PlanarConfiguration != 1 || V.TileWidth <= 0 || V.TileLength <= 0 ||
        (index >= 0 && static_cast<size_t>(index) >= Offsets.size()))
        return J.Progress.Abort();
    const size_t first = index >= 0 ? static_cast<size_t>(index) : 0;
    const size_t last = index >= 0 ? first + 1 : Offsets.size();
    J.Progress.StepCount = 0;
    J.Progress.PercentPerStep = 100.0 / (static_cast<double>(last - first) * V.TileLength);
    V.PieceCount = static_cast<int32_t>(std::min<size_t>(last - first, 1 << 30));
    int64_t x = 0, y = 0;
    for (size_t i = first; i < last && y < V.Height; ++i) {
        const std::vector<uint8_t> data =
            ReadPiece(J, Offsets[i], CountAt(Counts, i),
                      UncompressedBytes(V, V.TileWidth, V.TileLength, V.SamplesPerPixel));
        TIFFDecodeRows(V, J.Bitmap, static_cast<int32_t>(y), J.Progress, V.TileLength,
                       V.TileWidth, static_cast<int32_t>(data.size()), data.data(),
                       static_cast<int32_t>(x));
        if (J.Progress.Aborting()) return;
        x += V.TileWidth;
        if (x >= V.Width) {
            x = 0;
            y += V.TileLength;
        }
    }
}

// Old-style JPEG: a JPEG stream per strip, the interchange-format tables put in front of it
// (and, for later strips, the first marker segment of the first strip).
void ReadOldJpegStrips(TReadJob& J) {
    TTIFFVars& V = J.Vars;
    const int32_t rps = std::max(V.RowsPerStrip, 1);
    const size_t strips = V.StripOffsets.size();
    std::vector<uint8_t> head;
    if (V.JPEGInterchangeFormatLength > 0)
        head = ReadPiece(J, V.JPEGInterchangeFormat, V.JPEGInterchangeFormatLength, 0);
    std::vector<uint8_t> firstSegment;
    if (strips > 1) {
        const std::vector<uint8_t> start = ReadPiece(J, V.StripOffsets[0], 4, 0);
        if (start.size() == 4)
            firstSegment = ReadPiece(J, V.StripOffsets[0], ((start[2] << 8) | start[3]) + 2, 0);
    }
    for (size_t r = 0; r < strips && !J.Progress.Aborting(); ++r) {
        TMemoryStream jpeg;
        jpeg.Write(head.data(), static_cast<int32_t>(head.size()));
        if (r > 0) jpeg.Write(firstSegment.data(), static_cast<int32_t>(firstSegment.size()));
        const int64_t count = CountAt(V.StripByteCounts, r);
        const std::vector<uint8_t> strip = ReadPiece(J, V.StripOffsets[r], count, 0);
        jpeg.Write(strip.data(), static_cast<int32_t>(strip.size()));
        jpeg.SetPosition(0);
        TIOParamsVals params;
        TVLBitmap piece;
        TVLProgressRecord progress;
        progress.AbortFlag = J.Progress.AbortFlag;
        if (strips == 1) progress = J.Progress;
        const int32_t rows = ReadJPEGStream(jpeg, nullptr, piece, params, progress, false, false,
                                            false, true, false, false, rps, false);
        // A strip that stops after more than half of its rows keeps what it decoded.
        if (J.Progress.Aborting() && rows > rps / 2) *J.Progress.AbortFlag = false;
        piece.CopyRectTo(J.Bitmap, 0, 0, 0, Clamp32(int64_t{rps} * static_cast<int64_t>(r)),
                         piece.GetWidth(), std::min(rows, piece.GetHeight()));
        if (J.Progress.Handler)
            J.Progress.ReportPercent(static_cast<int32_t>(r * 100 / strips));
    }
}

// Old-style JPEG without strip byte counts: one JPEG stream found at the interchange format or
// the first strip.
void ReadOldJpegWhole(TReadJob& J, bool ThumbnailMode) {
    TTIFFVars& V = J.Vars;
    int64_t pos = J.Base + V.JPEGInterchangeFormat;
    if (V.JPEGInterchangeFormat == 0 && !V.StripOffsets.empty()) pos = J.Base + V.StripOffsets[0];
    if (pos < 0 || pos >= J.StreamSize) return J.Progress.Abort();
    J.Stream.SetPosition(pos);
    const int32_t length = GetJPEGStreamLength(J.Stream);
    if (length < 0 || length > J.StreamSize - pos) return J.Progress.Abort();
    const std::vector<uint8_t> data = ReadPiece(J, pos - J.Base, length, 0);
    TVLMemStream jpeg(const_cast<uint8_t*>(data.data()), static_cast<int64_t>(data.size()));
    TIOParamsVals params;
    // The directory gives no size for a whole JPEG datastream: its frame header is read first
    // so that thumbnail mode refuses a large picture before decoding it.
    if (ThumbnailMode) {
        ReadJPEGStream(jpeg, nullptr, J.Bitmap, params, J.Progress, true, false, false, true,
                       false, false, -1, false);
        if (J.Progress.Aborting()) return;
        if (params.Width > ThumbnailLimit || params.Height > ThumbnailLimit)
            return J.Progress.Abort();
        jpeg.SetPosition(0);
    }
    ReadJPEGStream(jpeg, nullptr, J.Bitmap, params, J.Progress, false, false, false, true, false,
                   false, -1, false);
}

bool IsOldJpeg(const TTIFFVars& V) {
    return (V.Compression == 6 || (V.JPEGInterchangeFormat != 0 && V.Compression != 5)) &&
           V.JPEGProc < 2;
}

// The least output the strips or tiles must decode to, and the most one byte of them can give,
// for the directory's compression (0: no bound known).
void CodedOutput(const TTIFFVars& V, int64_t& Output, int64_t& MaxExpansion) {
    const double rowBytes =
        std::ceil(static_cast<double>(V.Width) * V.SamplesPerPixel * V.BitsPerSample / 8);
    Output = static_cast<int64_t>(std::min(rowBytes * V.Height, 9e18));
    MaxExpansion = 0;
    if (IsOldJpeg(V) || V.Compression == 7) {
        // A component sampled at most 4 times more coarsely than the picture has a block for
        // every 32 x 32 pixels.
        Output = (int64_t{V.Width} + 31) / 32 * ((int64_t{V.Height} + 31) / 32);
        MaxExpansion = ExpansionBlocksJPEG;
        return;
    }
    switch (V.Compression) {
    case 1:
        MaxExpansion = ExpansionUncompressed;
        break;
    case 2:
    case 3:
    case 4:
        Output = V.Height;
        MaxExpansion = ExpansionRowsCCITT;
        break;
    case 5:
        MaxExpansion = ExpansionLZW;
        break;
    case 8:
    case 32946:
        MaxExpansion = ExpansionDeflate;
        break;
    case 32773:
        MaxExpansion = ExpansionPackBits;
        break;
    default:
        break;
    }
}

// False when the picture the directory declares (with its alpha mask) is too large for the bytes
// the stream holds after Base; checked before anything of the picture's size is allocated.
bool PlausibleForInput(const TTIFFVars& V, const TIOParamsVals& Params, bool WithAlpha,
                       int64_t InputBytes) {
    // Sample layouts the decoder refuses anyway; refused here before the alpha mask is made.
    if (V.SamplesPerPixel < 1 || V.SamplesPerPixel > 256 || V.BitsPerSample < 1 ||
        V.BitsPerSample > 32)
        return false;
    if (V.Width <= 0 || V.Height <= 0) return true; // nothing of the picture is allocated
    const TVLPixelFormat format =
        IsOldJpeg(V) ? TVLPixelFormat::vl24RGB : BitmapFormat(V, Params.NativePixelFormat);
    int64_t output = 0, expansion = 0;
    CodedOutput(V, output, expansion);
    return IsPlausibleDeclaredSize(PlannedBitmapBytes(V.Width, V.Height, format, WithAlpha), output,
                                   expansion, InputBytes);
}

void Decode(TReadJob& J, bool ThumbnailMode) {
    TTIFFVars& V = J.Vars;
    // Write-only access while decoding: the rows of a file-located bitmap are not read back
    // before they are written.
    TAccessScope scope(J.Bitmap, VLAccessWrite);
    // Sample layouts no decoder takes, refused before any size is computed from them.
    if (V.SamplesPerPixel < 1 || V.SamplesPerPixel > 256 || V.BitsPerSample < 1 ||
        V.BitsPerSample > 32)
        return J.Progress.Abort();
    if (ThumbnailMode && (V.Width > ThumbnailLimit || V.Height > ThumbnailLimit))
        return J.Progress.Abort();
    if (IsOldJpeg(V)) {
        if (V.StripByteCounts.empty()) return ReadOldJpegWhole(J, ThumbnailMode);
        if (V.Width <= 0 || V.Height <= 0 ||
            !J.Bitmap.Allocate(V.Width, V.Height, TVLPixelFormat::vl24RGB))
            return J.Progress.Abort();
        return ReadOldJpegStrips(J);
    }
    if (V.Width <= 0 || V.Height <= 0) return J.Progress.Abort();
    const TVLPixelFormat format = BitmapFormat(V, J.Params.NativePixelFormat);
    if (!J.Bitmap.Allocate(V.Width, V.Height, format)) return J.Progress.Abort();
    if (format == TVLPixelFormat::vl8p)
        for (size_t i = 0; i < V.ColorMap.size() && i < 256; ++i)
            J.Bitmap.SetPaletteColor(static_cast<int32_t>(i), V.ColorMap[i]);
    if (ThumbnailMode) J.Bitmap.Fill(0);
    if (V.TileWidth > 0 || V.TileLength > 0) {
        if (!V.TileOffsets.empty()) return ReadTiles(J, V.TileOffsets, V.TileByteCounts);
        if (!V.StripOffsets.empty()) return ReadTiles(J, V.StripOffsets, V.StripByteCounts);
        return;
    }
    if (V.StripOffsets.empty()) return;
    if (V.PlanarConfiguration == 2 && V.SamplesPerPixel > 1) return ReadPlanarStrips(J);
    ReadStrips(J);
}

// Chooses the directory: image TiffImageIndex of the main chain, or the sub-image of it that
// TiffSubIndex names. False when the reader must end (Aborts tells whether that is a failure).
bool ChooseDirectory(TVLTagsReadState& Ctx, uint32_t FirstIFD, const TIOParamsVals& Params,
                     int32_t& PageCount, bool& Aborts) {
    Aborts = false;
    if (!TIFFReadIFD(Ctx, Params.TiffImageIndex, FirstIFD, PageCount)) return false;
    if (Params.TiffSubIndex < 0) return true;
    const int64_t sub = SubIFDOffset(Ctx, Params.TiffSubIndex);
    if (sub <= 0) return true;
    int32_t ignored = 0;
    TVLTagsReadState subCtx;
    subCtx.IntelByteOrder = Ctx.IntelByteOrder;
    subCtx.Stream = Ctx.Stream;
    subCtx.Base = Ctx.Base;
    if (!TIFFReadIFD(subCtx, 0, sub, ignored)) {
        Aborts = true;
        return false;
    }
    Ctx = std::move(subCtx);
    return true;
}

// The EXIF and GPS directories the image points to.
void ReadExifDirectories(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    const int64_t exif = TIFFTagValue(Ctx, 34665, 0);
    const int64_t gps = TIFFTagValue(Ctx, 34853, 0);
    TVLTagsReadState sub;
    sub.IntelByteOrder = Ctx.IntelByteOrder;
    sub.Stream = Ctx.Stream;
    sub.Base = Ctx.Base;
    int32_t ignored = 0;
    if (exif > 0 && exif < 0x80000000LL && TIFFReadIFD(sub, 0, exif, ignored)) {
        Params.HasExif = true;
        ReadTIFFExifTags(sub, Params);
        ReadTIFFMakerNote(sub, Params);
    }
    sub.Entries.clear();
    sub.EntryCount = 0;
    if (gps > 0 && gps < 0x80000000LL && TIFFReadIFD(sub, 0, gps, ignored))
        ReadTIFFGPSTags(sub, Params);
}

// Turns the alpha mask as ApplyExifOrientation turned the picture.
void TurnMask(TVLMask& Mask, int32_t Orientation) {
    TVLBitmap alpha;
    alpha.CopyFromMask(&Mask);
    ApplyExifOrientation(alpha, Orientation);
    alpha.CopyToMask(&Mask);
}

void ReadImage(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount, TIOParamsVals& Params,
               TVLProgressRecord& Progress, bool ParamsOnly, std::unique_ptr<TVLMask>& AlphaMask,
               bool OffsetsFromStart, bool IgnoreAlpha, bool ThumbnailMode) {
    PageCount = 0;
    TVLTagsReadState ctx;
    ctx.Stream = &Stream;
    ctx.Base = OffsetsFromStart ? Stream.GetPosition() : 0;
    uint32_t firstIFD = 0;
    if (!ReadHeader(Stream, ctx.IntelByteOrder, firstIFD)) return Progress.Abort();
    if (firstIFD == 0) return;
    bool aborts = false;
    if (!ChooseDirectory(ctx, firstIFD, Params, PageCount, aborts)) {
        if (aborts) Progress.Abort();
        return;
    }
    TTIFFVars vars;
    vars.IntelByteOrder = ctx.IntelByteOrder;
    vars.Params = &Params;
    vars.IgnoreAlpha = IgnoreAlpha;
    if (!ReadVars(ctx, vars, Params.TiffTileIndex != -1)) return Progress.Abort();
    ReadTIFFMetadataTags(ctx, Params);
    SetParams(vars, PageCount, Params);
    ReadTIFFMainExifTags(ctx, Params);
    ReadExifDirectories(ctx, Params);
    SetColorMap(vars, Params);
    SetResolution(vars, Params);
    if (!ThumbnailMode && (Params.Width == 0 || Params.Height == 0)) return Progress.Abort();
    if (vars.Compression == 5) {
        vars.LZWDecoder = Params.TiffLZWDecompress != nullptr ? Params.TiffLZWDecompress
                                                              : DefaultTiffLZWDecompress;
        if (vars.LZWDecoder == nullptr) return Progress.Abort();
    }
    if (ParamsOnly) return;
    const bool withAlpha = !IgnoreAlpha && (HasAlphaSamples(vars) || AlphaMask != nullptr);
    if (!PlausibleForInput(vars, Params, withAlpha, Stream.GetSize() - ctx.Base))
        return Progress.Abort();
    if (!IgnoreAlpha) {
        if (HasAlphaSamples(vars) && AlphaMask == nullptr) AlphaMask = std::make_unique<TVLMask>();
        if (AlphaMask != nullptr && vars.Width > 0 && vars.Height > 0 &&
            AlphaMask->AllocateBits(vars.Width, vars.Height, 8)) {
            AlphaMask->Fill(255);
            AlphaMask->Full = true;
            vars.AlphaMask = AlphaMask.get();
        }
    }
    TReadJob job{Stream, ctx.Base, Stream.GetSize(), vars, Bitmap, Progress, Params};
    Decode(job, ThumbnailMode);
    // Once the pixels stand upright the orientation is 1, so that a save does not make every
    // reader turn them again.
    if (Params.TiffAdjustOrientation && !Progress.Aborting() && vars.Orientation >= 2 &&
        vars.Orientation <= 8) {
        ApplyExifOrientation(Bitmap, vars.Orientation);
        if (AlphaMask != nullptr) TurnMask(*AlphaMask, vars.Orientation);
        Params.SetExifOrientation(1);
    }
}

} // namespace

void ReadTIFFStream(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount,
                    TIOParamsVals& Params, TVLProgressRecord& Progress, bool ParamsOnly,
                    std::unique_ptr<TVLMask>& AlphaMask, bool OffsetsFromStart, bool IgnoreAlpha,
                    bool ThumbnailMode) {
    // The colour transform made by conversions while decoding is released on every path.
    struct TReleaseTransform {
        TIOParamsVals& Params;
        ~TReleaseTransform() {
            if (Params.EmbeddedICC != nullptr && Params.EmbeddedICC->HasTransform())
                Params.EmbeddedICC->FreeTransform();
        }
    } release{Params};
    ReadImage(Bitmap, Stream, PageCount, Params, Progress, ParamsOnly, AlphaMask,
              OffsetsFromStart, IgnoreAlpha, ThumbnailMode);
}

bool IsTIFFStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    bool result = false;
    try {
        TVLBufferedReadStream buffered(Stream, 1024, true);
        const int64_t size = buffered.GetSize();
        bool intel = true;
        uint32_t first = 0;
        if (size > 8 && ReadHeader(buffered, intel, first) && first < size) {
            uint8_t after = 0;
            const bool tagged = !intel && buffered.Read(&after, 1) == 1 && after == 0xBA;
            TVLTagsReadState ctx;
            ctx.IntelByteOrder = intel;
            ctx.Stream = &buffered;
            int32_t count = 0;
            result = !tagged && TIFFReadIFD(ctx, 0, first, count) &&
                     TIFFFindTag(ctx, 256) >= 0 && TIFFFindTag(ctx, 257) >= 0;
        }
    } catch (const Exception&) {
        result = false;
    }
    Stream.SetPosition(start);
    return result;
}

bool IsCameraRawTIFFStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    bool result = false;
    try {
        TVLTagsReadState ctx;
        ctx.Stream = &Stream;
        uint32_t first = 0;
        int32_t count = 0;
        if (ReadHeader(Stream, ctx.IntelByteOrder, first) && TIFFReadIFD(ctx, 0, first, count)) {
            auto typed = [&](uint16_t Tag, uint16_t Type, uint32_t Count) {
                const int32_t i = TIFFFindTag(ctx, Tag);
                return i >= 0 && ctx.Entries[i].FieldType == Type && ctx.Entries[i].Count == Count;
            };
            const int64_t photometric = TIFFTagValue(ctx, 262, 0);
            result = typed(50706, ttByte, 4) ||
                     (typed(262, ttShort, 1) && (photometric == 32803 || photometric == 34892)) ||
                     (TIFFFindTag(ctx, 330) >= 0 && TIFFFindTag(ctx, 37398) >= 0 &&
                      TIFFTagValue(ctx, 256, 0) < 200 && TIFFTagValue(ctx, 257, 0) < 200);
        }
    } catch (const Exception&) {
        result = false;
    }
    Stream.SetPosition(start);
    return result;
}
