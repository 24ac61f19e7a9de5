// The TIFF writer against libtiff: every compression and photometric interpretation decodes
// silently through tiffinfo and gives the picture back through tiff2rgba; pages inserted land at
// their index; the strip layout and the tag choices of awkward parameter sets.
#include "imaging/formats/tiff/VLTIFFWriter.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLDefs.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "tests/ExternalTool.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

// Pixels as 8-bit RGBA, top row first.
struct TRgba {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Pixels;
};

std::string StreamBytes(TMemoryStream& Stream) {
    const auto* p = static_cast<const char*>(Stream.Memory());
    return std::string(p, p + Stream.GetSize());
}

std::string ReadFileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A directory of a little-endian file held in Stream.
TVLTagsReadState Directory(TMemoryStream& Stream, int32_t Index, int32_t& Count) {
    TVLTagsReadState ctx;
    ctx.Stream = &Stream;
    ctx.IntelByteOrder = true;
    uint32_t first = 0;
    Stream.SetPosition(4);
    Stream.Read(&first, 4);
    EXPECT_TRUE(TIFFReadIFD(ctx, Index, first, Count));
    return ctx;
}

// tiff2rgba's uncompressed output read back by its strips.
bool ReadRgbaFile(const std::filesystem::path& Path, TRgba& Out) {
    auto stream = StreamOf(ReadFileBytes(Path));
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    Out.Width = static_cast<int32_t>(TIFFTagValue(ctx, 256, 0));
    Out.Height = static_cast<int32_t>(TIFFTagValue(ctx, 257, 0));
    const auto offsets = TIFFIntegerArray(ctx, 273);
    const auto counts = TIFFIntegerArray(ctx, 279);
    if (TIFFTagValue(ctx, 277, 0) != 4 || offsets.size() != counts.size()) return false;
    Out.Pixels.clear();
    for (size_t i = 0; i < offsets.size(); ++i) {
        std::vector<uint8_t> strip(counts[i]);
        stream->SetPosition(offsets[i]);
        if (stream->Read(strip.data(), static_cast<int32_t>(strip.size())) != int32_t(strip.size()))
            return false;
        Out.Pixels.insert(Out.Pixels.end(), strip.begin(), strip.end());
    }
    return Out.Pixels.size() == size_t(Out.Width) * Out.Height * 4;
}

// What a tool writes to its error output.
std::string ToolErrors(const std::string& Command) {
    std::string out;
    RunTool("(" + Command + " 2>&1 >/dev/null)", out);
    return out;
}

// The picture as libtiff sees it; errors of tiffinfo -D and tiff2rgba go to Errors. CIELab is
// decoded by ImageMagick from the samples libtiff hands it: libtiff's own RGBA conversion
// models a display of pure 2.4 gamma under D50, not sRGB.
bool Decode(const std::string& Tiff, TRgba& Out, std::string& Errors, bool CIELab = false) {
    ScratchFolder folder;
    const auto in = folder.Path() / "in.tif";
    const auto out = folder.Path() / "out.tif";
    WriteFileBytes(in, Tiff);
    Errors = ToolErrors("tiffinfo -D '" + in.string() + "'");
    const std::string rgba = CIELab
                                 ? "convert '" + in.string() +
                                       "' -colorspace sRGB -depth 8 "
                                       "-alpha on -compress none '" +
                                       out.string() + "'"
                                 : "tiff2rgba -c none '" + in.string() + "' '" + out.string() + "'";
    Errors += ToolErrors(rgba);
    return ReadRgbaFile(out, Out);
}

std::string Write(TVLBitmap* Bitmap, TIOParamsVals& Params, bool& Aborting, bool Insert = false,
                  const std::string& Existing = {}) {
    auto stream = StreamOf(Existing);
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborting;
    if (!Insert) stream->Seek(0, soEnd);
    WriteTIFFStream(*stream, Insert, Bitmap, Params, progress);
    return StreamBytes(*stream);
}

// ---- Pictures -------------------------------------------------------------------------------

constexpr int32_t W = 37;
constexpr int32_t H = 23;

TVLRGB ColorAt(int32_t X, int32_t Y, int32_t Colors) {
    static const TVLRGB table[16] = {{0, 0, 0},     {255, 255, 255}, {0, 0, 255},   {0, 255, 0},
                                     {255, 0, 0},   {0, 128, 255},   {90, 20, 200}, {200, 200, 10},
                                     {17, 99, 180}, {64, 64, 64},    {128, 0, 128}, {30, 140, 60},
                                     {250, 1, 100}, {7, 77, 177},    {140, 40, 90}, {220, 160, 40}};
    return table[(X * 7 + Y * 3 + (X * Y) % 5) % Colors];
}

std::unique_ptr<TVLBitmap> Picture(TVLPixelFormat Format) {
    auto b = std::make_unique<TVLBitmap>(W, H, Format);
    std::mt19937 random(7);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = b->GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            switch (Format) {
            case vl1g:
                if (((x / 3 + y / 2) % 3) == 0)
                    row[x / 8] |= uint8_t(0x80 >> (x % 8));
                else
                    row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
                break;
            case vl8g:
                row[x] = static_cast<uint8_t>(random());
                break;
            case vl16g:
                reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(random());
                break;
            case vl8p:
                row[x] = static_cast<uint8_t>((x + y * 3) % 16);
                break;
            case vl24RGB: {
                const TVLRGB c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
                reinterpret_cast<TVLRGB*>(row)[x] = c;
                break;
            }
            case vlRGB48:
                for (int k = 0; k < 3; ++k)
                    reinterpret_cast<uint16_t*>(row)[x * 3 + k] = static_cast<uint16_t>(random());
                break;
            case vlCMYK:
                for (int k = 0; k < 4; ++k)
                    row[x * 4 + k] = static_cast<uint8_t>(random());
                break;
            case vl32f:
                reinterpret_cast<float*>(row)[x] = float(random() % 1001) / 1000.0f;
                break;
            default:
                break;
            }
        }
    }
    if (Format == vl8p)
        for (int32_t i = 0; i < 16; ++i)
            b->SetPaletteColor(i, ColorAt(i, 0, 16));
    return b;
}

// A 24-bit picture of at most Colors colours.
std::unique_ptr<TVLBitmap> FewColors(int32_t Colors) {
    auto b = std::make_unique<TVLBitmap>(W, H, vl24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            b->SetPixelRGB(x, y, ColorAt(x, y, Colors));
    return b;
}

// A smooth 24-bit picture, for the lossy and colour-managed cases: JPEG's chroma subsampling
// would smear single-pixel detail, and libtiff's CIELab model (D50, its own display) agrees with
// the library's only on neutral greys.
std::unique_ptr<TVLBitmap> Smooth(bool Grey) {
    auto b = std::make_unique<TVLBitmap>(W, H, vl24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const auto v = static_cast<uint8_t>(x * 255 / (W - 1));
            b->SetPixelRGB(x, y,
                           Grey ? TVLRGB{v, v, v}
                                : TVLRGB{uint8_t(y * 255 / (H - 1)), uint8_t(255 - v), v});
        }
    return b;
}

// libtiff's 16 to 8 bits for colour samples: rounded.
uint8_t To8(uint16_t V) {
    return static_cast<uint8_t>((V * 255u + 32767) / 65535);
}

// The colour libtiff should give for each pixel of a picture, from the picture's own values.
TVLRGB Expected(TVLBitmap& B, int32_t X, int32_t Y) {
    const uint8_t* row = B.GetScanline(Y);
    switch (B.GetPixelFormat()) {
    case vl16g: {
        // libtiff takes the high byte of a 16-bit grey sample.
        const auto v = static_cast<uint8_t>(reinterpret_cast<const uint16_t*>(row)[X] >> 8);
        return {v, v, v};
    }
    case vlRGB48: {
        const auto* p = reinterpret_cast<const uint16_t*>(row) + X * 3;
        return {To8(p[2]), To8(p[1]), To8(p[0])};
    }
    case vlCMYK: {
        // libtiff: each colour = (255 - ink) x (255 - black ink) / 255; the library keeps
        // 255 - ink.
        const uint8_t* p = row + X * 4;
        auto mix = [&](int k) { return uint8_t((p[k] * p[3] + 127) / 255); };
        return {mix(2), mix(1), mix(0)};
    }
    default:
        return B.GetPixelAsRGB(X, Y);
    }
}

// Largest channel difference between the decoded picture and Expected, over every pixel.
int32_t MaxDifference(TVLBitmap& B, const TRgba& Decoded) {
    int32_t worst = 0;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TVLRGB e = Expected(B, x, y);
            const uint8_t* d = &Decoded.Pixels[(size_t(y) * Decoded.Width + x) * 4];
            worst =
                std::max({worst, std::abs(d[0] - e.r), std::abs(d[1] - e.g), std::abs(d[2] - e.b)});
        }
    return worst;
}

bool LibtiffToolsMissing() {
    return !ToolExists("tiffinfo") || !ToolExists("tiff2rgba") || !ToolExists("tiffsplit");
}

// ---- Every compression x photometric --------------------------------------------------------

struct TCase {
    const char* Name;
    TVLPixelFormat Format; // vlNone: the 16-colour 24-bit picture
    int32_t Bits;
    int32_t Samples;
    TVLTIFFPhotometric Photometric;
    TVLTIFFCompression Compression;
    int32_t FillOrder;
    TVLJpegColorSpace JpegColorSpace;
    uint16_t PhotometricTag; // what tag 262 must say
    int32_t Tolerance;
};

std::ostream& operator<<(std::ostream& Out, const TCase& C) {
    return Out << C.Name;
}

bool IsJPEG(TVLTIFFCompression C) {
    return C == tcJPEG || C == tcOldJPEG;
}

class WriterCase : public testing::TestWithParam<TCase> {};

TEST_P(WriterCase, LibtiffDecodesThePictureSilently) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    const TCase& c = GetParam();
    const bool grey = c.Photometric == tpCIELab || c.JpegColorSpace == jcGrayScale;
    auto bitmap = c.Format == vlNone && (IsJPEG(c.Compression) || grey) ? Smooth(grey)
                  : c.Format == vlNone ? FewColors(std::min(16, 1 << c.Bits))
                                       : Picture(c.Format);
    TIOParamsVals params;
    params.BitsPerSample = c.Bits;
    params.SamplesPerPixel = c.Samples;
    params.TiffPhotometric = c.Photometric;
    params.TiffCompression = c.Compression;
    params.TiffFillOrder = c.FillOrder;
    params.TiffJpegColorSpace = c.JpegColorSpace;
    params.TiffJpegQuality = 95;
    params.TiffLZWCompress = DefaultTiffLZWCompress;
    bool aborting = false;
    const std::string tiff = Write(bitmap.get(), params, aborting);
    ASSERT_FALSE(aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(TIFFTagValue(ctx, 262, -1), c.PhotometricTag);
    TRgba decoded;
    std::string errors;
    ASSERT_TRUE(Decode(tiff, decoded, errors, c.Photometric == tpCIELab)) << errors;
    EXPECT_EQ(errors, "");
    ASSERT_EQ(decoded.Width, W);
    ASSERT_EQ(decoded.Height, H);
    EXPECT_LE(MaxDifference(*bitmap, decoded), c.Tolerance);
}

// JPEG: quality 95 on a smooth picture; CIELab: neutral greys through the library's conversion
// and libtiff's; CMYK: libtiff's formula rounds its own way; a float picture goes through 16
// bits and is rounded twice.
const TCase Cases[] = {
    {"bilevel_none", vl1g, 1, 1, tpBlackIsZero, tcNone, 1, jcYCbCr, 1, 0},
    {"bilevel_packbits", vl1g, 1, 1, tpBlackIsZero, tcPackBits, 1, jcYCbCr, 1, 0},
    {"bilevel_lzw", vl1g, 1, 1, tpBlackIsZero, tcLZW, 1, jcYCbCr, 1, 0},
    {"bilevel_zip", vl1g, 1, 1, tpBlackIsZero, tcZIP, 1, jcYCbCr, 1, 0},
    {"bilevel_ccitt1d", vl1g, 1, 1, tpBlackIsZero, tcCCITT1D, 1, jcYCbCr, 0, 0},
    {"bilevel_g3_1d", vl1g, 1, 1, tpBlackIsZero, tcG3Fax1D, 1, jcYCbCr, 0, 0},
    {"bilevel_g3_2d", vl1g, 1, 1, tpBlackIsZero, tcG3Fax2D, 1, jcYCbCr, 0, 0},
    {"bilevel_g4", vl1g, 1, 1, tpBlackIsZero, tcG4Fax, 1, jcYCbCr, 0, 0},
    {"bilevel_g4_lsb", vl1g, 1, 1, tpBlackIsZero, tcG4Fax, 2, jcYCbCr, 0, 0},
    {"bilevel_g3_2d_lsb", vl1g, 1, 1, tpBlackIsZero, tcG3Fax2D, 2, jcYCbCr, 0, 0},
    {"bilevel_jpeg_is_uncompressed", vl1g, 1, 1, tpBlackIsZero, tcJPEG, 1, jcYCbCr, 1, 0},
    {"rgb_none", vl24RGB, 8, 3, tpRGB, tcNone, 1, jcYCbCr, 2, 0},
    {"rgb_lzw_predictor", vl24RGB, 8, 3, tpRGB, tcLZW, 1, jcYCbCr, 2, 0},
    {"rgb_packbits", vl24RGB, 8, 3, tpRGB, tcPackBits, 1, jcYCbCr, 2, 0},
    {"rgb_zip", vl24RGB, 8, 3, tpRGB, tcZIP, 1, jcYCbCr, 2, 0},
    {"rgb_deflate", vl24RGB, 8, 3, tpRGB, tcDeflate, 1, jcYCbCr, 2, 0},
    {"rgb_g4_falls_back", vl24RGB, 8, 3, tpRGB, tcG4Fax, 1, jcYCbCr, 2, 0},
    {"rgb_jpeg_ycbcr", vlNone, 8, 3, tpRGB, tcJPEG, 1, jcYCbCr, 6, 8},
    {"rgb_jpeg_rgb", vlNone, 8, 3, tpRGB, tcJPEG, 1, jcRGB, 2, 8},
    {"grey_jpeg", vlNone, 8, 3, tpRGB, tcJPEG, 1, jcGrayScale, 1, 8},
    {"grey8_none", vl8g, 8, 1, tpBlackIsZero, tcNone, 1, jcYCbCr, 1, 0},
    {"grey8_lzw", vl8g, 8, 1, tpBlackIsZero, tcLZW, 1, jcYCbCr, 1, 0},
    {"grey8_packbits", vl8g, 8, 1, tpBlackIsZero, tcPackBits, 1, jcYCbCr, 1, 0},
    {"grey8_zip", vl8g, 8, 1, tpBlackIsZero, tcZIP, 1, jcYCbCr, 1, 0},
    {"grey8_in_rgb", vl8g, 8, 3, tpRGB, tcNone, 1, jcYCbCr, 2, 0},
    {"grey16_none", vl16g, 16, 1, tpBlackIsZero, tcNone, 1, jcYCbCr, 1, 0},
    {"grey16_lzw", vl16g, 16, 1, tpBlackIsZero, tcLZW, 1, jcYCbCr, 1, 0},
    {"float_as_grey16", vl32f, 16, 1, tpBlackIsZero, tcZIP, 1, jcYCbCr, 1, 1},
    {"palette8_none", vl8p, 8, 1, tpRGBPalette, tcNone, 1, jcYCbCr, 3, 0},
    {"palette8_lzw", vl8p, 8, 1, tpRGBPalette, tcLZW, 1, jcYCbCr, 3, 0},
    {"palette8_packbits", vl8p, 8, 1, tpRGBPalette, tcPackBits, 1, jcYCbCr, 3, 0},
    {"palette4_from_8bit_palette", vl8p, 4, 1, tpRGBPalette, tcZIP, 1, jcYCbCr, 3, 0},
    {"palette4_from_rgb", vlNone, 4, 1, tpRGB, tcNone, 1, jcYCbCr, 3, 0},
    {"palette2_from_rgb", vlNone, 2, 1, tpRGB, tcLZW, 1, jcYCbCr, 3, 0},
    {"rgb48_none", vlRGB48, 16, 3, tpRGB, tcNone, 1, jcYCbCr, 2, 0},
    {"rgb48_zip", vlRGB48, 16, 3, tpRGB, tcZIP, 1, jcYCbCr, 2, 0},
    {"cmyk_none", vlCMYK, 8, 4, tpCMYK, tcNone, 1, jcYCbCr, 5, 1},
    {"cmyk_lzw", vlCMYK, 8, 4, tpCMYK, tcLZW, 1, jcYCbCr, 5, 1},
    {"cielab_from_rgb", vlNone, 8, 3, tpCIELab, tcNone, 1, jcYCbCr, 8, 3},
};
INSTANTIATE_TEST_SUITE_P(TIFFWriter, WriterCase, testing::ValuesIn(Cases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Old-style JPEG: the whole datastream at JPEGInterchangeFormat, the strip at its start of scan.
// libtiff warns about the compression itself and reads its own chroma upsampling.
TEST(TIFFWriter, OldStyleJpegPointsAtItsDatastream) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    auto b = Smooth(false);
    TIOParamsVals params;
    params.TiffCompression = tcOldJPEG;
    params.TiffJpegQuality = 95;
    bool aborting = false;
    const std::string tiff = Write(b.get(), params, aborting);
    ASSERT_FALSE(aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    const int64_t start = TIFFTagValue(ctx, 513, 0);
    const int64_t length = TIFFTagValue(ctx, 514, 0);
    ASSERT_LE(start + length, int64_t(tiff.size()));
    EXPECT_EQ(tiff.substr(start, 2), "\xFF\xD8");
    EXPECT_EQ(tiff.substr(start + length - 2, 2), "\xFF\xD9");
    const int64_t scan = TIFFTagValue(ctx, 273, 0);
    EXPECT_EQ(tiff.substr(scan, 2), "\xFF\xDA");
    EXPECT_EQ(TIFFTagValue(ctx, 279, 0), start + length - scan);
    EXPECT_EQ(TIFFTagValue(ctx, 262, 0), 6);
    TRgba decoded;
    std::string errors;
    ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
    EXPECT_LE(MaxDifference(*b, decoded), 12);
}

// ---- Grey levels and bit depths ------------------------------------------------------------

// libtiff scales a grey sample of fewer bits to 8 by its own table; Level8 is that.
TEST(TIFFWriter, GreyOfFewerBitsKeepsItsLevels) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    for (int32_t bits : {2, 4, 8}) {
        SCOPED_TRACE(bits);
        auto b = std::make_unique<TVLBitmap>(W, H, vl8g);
        const int32_t top = (1 << bits) - 1;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                b->GetScanline(y)[x] = static_cast<uint8_t>((x + y) % (top + 1) * 255 / top);
        TIOParamsVals params;
        params.BitsPerSample = bits;
        params.SamplesPerPixel = 1;
        bool aborting = false;
        const std::string tiff = Write(b.get(), params, aborting);
        auto stream = StreamOf(tiff);
        int32_t count = 0;
        TVLTagsReadState ctx = Directory(*stream, 0, count);
        EXPECT_EQ(TIFFTagValue(ctx, 258, 0), bits);
        EXPECT_EQ(TIFFTagValue(ctx, 262, -1), 1);
        TRgba decoded;
        std::string errors;
        ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
        EXPECT_EQ(errors, "");
        EXPECT_EQ(MaxDifference(*b, decoded), 0);
    }
}

// A palette of grey entries in no order is written as grey levels, not as its indexes.
TEST(TIFFWriter, AllGreyPaletteIsMappedThroughThePalette) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    auto b = std::make_unique<TVLBitmap>(W, H, vl8p);
    for (int32_t i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>((i * 77 + 13) % 256);
        b->SetPaletteColor(i, {v, v, v});
    }
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            b->GetScanline(y)[x] = static_cast<uint8_t>(x * 5 + y);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    bool aborting = false;
    const std::string tiff = Write(b.get(), params, aborting);
    TRgba decoded;
    std::string errors;
    ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
    EXPECT_EQ(MaxDifference(*b, decoded), 0);
}

// 32-bit colour and CIELab pictures are written as 24-bit colour.
TEST(TIFFWriter, FormatsWithoutRowsAreConvertedCopies) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    for (TVLPixelFormat format : {vl32RGB, vlCIELab}) {
        auto source = FewColors(16);
        auto b = std::make_unique<TVLBitmap>();
        b->Assign(source.get());
        b->SetPixelFormat(format);
        TIOParamsVals params;
        bool aborting = false;
        const std::string tiff = Write(b.get(), params, aborting);
        EXPECT_EQ(b->GetPixelFormat(), format) << "the caller's picture is not changed";
        TRgba decoded;
        std::string errors;
        ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
        EXPECT_EQ(errors, "");
        auto back = std::make_unique<TVLBitmap>();
        back->Assign(b.get());
        back->SetPixelFormat(vl24RGB);
        EXPECT_EQ(MaxDifference(*back, decoded), 0);
    }
}

// Unassociated alpha: libtiff hands out colours multiplied by alpha.
TEST(TIFFWriter, PartlyTransparentPictureWritesFourSamples) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    auto b = FewColors(16);
    TVLBitmap* alpha = b->GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            alpha->GetScanline(y)[x] = static_cast<uint8_t>(x * 7);
    alpha->Full = false;
    for (TVLTIFFCompression c : {tcNone, tcLZW, tcPackBits}) {
        TIOParamsVals params;
        params.TiffCompression = c;
        params.TiffLZWCompress = DefaultTiffLZWCompress;
        bool aborting = false;
        const std::string tiff = Write(b.get(), params, aborting);
        auto stream = StreamOf(tiff);
        int32_t count = 0;
        TVLTagsReadState ctx = Directory(*stream, 0, count);
        EXPECT_EQ(TIFFTagValue(ctx, 277, 0), 4);
        EXPECT_EQ(TIFFTagValue(ctx, 338, 0), 2);
        EXPECT_EQ(TIFFFindTag(ctx, 317), -1) << "no predictor with alpha";
        TRgba decoded;
        std::string errors;
        ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
        EXPECT_EQ(errors, "");
        int32_t worst = 0;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const TVLRGB e = b->GetPixelRGB(x, y);
                const uint8_t* d = &decoded.Pixels[(size_t(y) * W + x) * 4];
                const int a = x * 7;
                EXPECT_EQ(d[3], a);
                worst = std::max({worst, std::abs(d[0] - (e.r * a + 127) / 255),
                                  std::abs(d[2] - (e.b * a + 127) / 255)});
            }
        EXPECT_LE(worst, 1);
    }
}

// ---- Strips ---------------------------------------------------------------------------------

TEST(TIFFWriter, StripsHoldAboutHalfAMebibyteOfRows) {
    TVLBitmap b(1000, 3000, vl24RGB);
    TIOParamsVals params;
    bool aborting = false;
    const std::string tiff = Write(&b, params, aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    EXPECT_EQ(TIFFTagValue(ctx, 278, 0), 176);
    const auto counts = TIFFIntegerArray(ctx, 279);
    ASSERT_EQ(counts.size(), 18u);
    EXPECT_EQ(counts.back(), 8 * 3000);
}

// A row above 512 KiB still makes strips of one row.
TEST(TIFFWriter, HugeRowsGiveOneRowPerStrip) {
    TVLBitmap b(200000, 3, vl24RGB);
    TIOParamsVals params;
    bool aborting = false;
    const std::string tiff = Write(&b, params, aborting);
    ASSERT_FALSE(aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    EXPECT_EQ(TIFFTagValue(ctx, 278, 0), 1);
    EXPECT_EQ(TIFFIntegerArray(ctx, 279), (std::vector<int64_t>{600000, 600000, 600000}));
}

// ---- Tags -----------------------------------------------------------------------------------

TEST(TIFFWriter, DefaultColourPictureWritesTheBaselineTags) {
    auto b = Picture(vl24RGB);
    TIOParamsVals params;
    params.SetDpiX(150);
    params.SetDpiY(75);
    bool aborting = false;
    const std::string tiff = Write(b.get(), params, aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    std::vector<uint16_t> tags;
    for (int32_t i = 0; i < ctx.EntryCount; ++i)
        tags.push_back(ctx.Entries[i].Tag);
    EXPECT_EQ(tags, (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282,
                                           283, 296}));
    EXPECT_EQ(TIFFIntegerArray(ctx, 258), (std::vector<int64_t>{8, 8, 8}));
    EXPECT_EQ(TIFFRational(ctx, 282), 150);
    EXPECT_EQ(TIFFRational(ctx, 283), 75);
}

TEST(TIFFWriter, FaxPageWritesItsFaxTags) {
    auto b = FewColors(2);
    TIOParamsVals params;
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    params.TiffCompression = tcG4Fax;
    params.TiffFillOrder = 2;
    bool aborting = false;
    const std::string tiff = Write(b.get(), params, aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    EXPECT_EQ(TIFFTagValue(ctx, 262, -1), 0);
    EXPECT_EQ(TIFFTagValue(ctx, 259, -1), 4);
    EXPECT_EQ(TIFFTagValue(ctx, 266, -1), 2);
    EXPECT_EQ(TIFFTagValue(ctx, 284, -1), 1);
    EXPECT_EQ(TIFFTagValue(ctx, 327, -1), 0);
    EXPECT_EQ(TIFFTagValue(ctx, 293, -1), 0);
}

// Deflate levels outside 0..2 write at the default level instead of failing.
TEST(TIFFWriter, DeflateLevelOutsideItsRangeStillCompresses) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    auto b = Picture(vl24RGB);
    TIOParamsVals params;
    params.TiffCompression = tcZIP;
    params.TiffDeflateLevel = 7;
    bool aborting = false;
    const std::string tiff = Write(b.get(), params, aborting);
    ASSERT_FALSE(aborting);
    TRgba decoded;
    std::string errors;
    ASSERT_TRUE(Decode(tiff, decoded, errors)) << errors;
    EXPECT_EQ(MaxDifference(*b, decoded), 0);
}

TEST(TIFFWriter, NilBitmapWritesOnlyTheMetadata) {
    TIOParamsVals params;
    params.HasExif = true;
    params.ExifMake = "Maker";
    params.ExifExposureTime = 0.004;
    params.XmpInfo = "<x/>";
    bool aborting = false;
    const std::string tiff = Write(nullptr, params, aborting);
    ASSERT_FALSE(aborting);
    auto stream = StreamOf(tiff);
    int32_t count = 0;
    TVLTagsReadState ctx = Directory(*stream, 0, count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(TIFFFindTag(ctx, 256), -1);
    EXPECT_EQ(TIFFFindTag(ctx, 273), -1);
    EXPECT_NE(TIFFFindTag(ctx, 34665), -1);
    EXPECT_EQ(TIFFText(ctx, 271), "Maker");
    EXPECT_EQ(TIFFFindTag(ctx, 700), -1) << "XMP has a marker of its own";
}

// ---- Pages ----------------------------------------------------------------------------------

std::vector<int64_t> PageWidths(const std::string& Tiff) {
    std::vector<int64_t> widths;
    std::string out;
    ScratchFolder folder;
    WriteFileBytes(folder.Path() / "p.tif", Tiff);
    RunTool("tiffinfo '" + (folder.Path() / "p.tif").string() + "'", out);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find("Image Width: ");
        if (at != std::string::npos) widths.push_back(std::stoll(line.substr(at + 13)));
    }
    return widths;
}

TEST(TIFFWriter, InsertedPagesLandAtTheirIndex) {
    if (LibtiffToolsMissing()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tools");
    auto page = [](int32_t Width) {
        auto b = std::make_unique<TVLBitmap>(Width, 4, vl24RGB);
        b->Fill(Width * 10);
        return b;
    };
    struct TStep {
        int32_t Width, Index, Result;
        std::vector<int64_t> Pages;
    };
    const TStep steps[] = {
        {6, 0, 2, {6, 5}},
        {7, 1, 3, {6, 7, 5}},
        {8, 99, 4, {6, 7, 5, 8}},
        {9, 4, 5, {6, 7, 5, 8, 9}},
        {10, 2, 6, {6, 7, 10, 5, 8, 9}},
    };
    bool aborting = false;
    TIOParamsVals params;
    auto first = page(5);
    std::string tiff = Write(first.get(), params, aborting);
    for (const TStep& s : steps) {
        SCOPED_TRACE(s.Width);
        auto b = page(s.Width);
        params.TiffImageIndex = s.Index;
        auto stream = StreamOf(tiff);
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        EXPECT_EQ(WriteTIFFStream(*stream, true, b.get(), params, progress), s.Result);
        ASSERT_FALSE(aborting);
        tiff = StreamBytes(*stream);
        EXPECT_EQ(PageWidths(tiff), s.Pages);
    }
    ScratchFolder folder;
    WriteFileBytes(folder.Path() / "all.tif", tiff);
    EXPECT_EQ(ToolErrors("cd '" + folder.Path().string() + "' && tiffsplit all.tif part"), "");
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "partaaf.tif"));
}

TEST(TIFFWriter, InsertRefusesABigEndianOrLoopingFile) {
    TVLBitmap b(3, 3, vl24RGB);
    TIOParamsVals params;
    bool aborting = false;
    Write(&b, params, aborting, true, std::string("MM\0*\0\0\0\10", 8));
    EXPECT_TRUE(aborting);
    // A chain that comes back to its own directory: the page goes at the loop's link.
    TTestTiff looping(true);
    looping.IFD({{256, ttLong, {1}}});
    const std::string bytes = looping.Build({8});
    aborting = false;
    params.TiffImageIndex = 5;
    const std::string out = Write(&b, params, aborting, true, bytes);
    EXPECT_FALSE(aborting);
    EXPECT_GT(out.size(), bytes.size());
}

} // namespace
