// The BMP codec against ImageMagick: files ImageMagick writes (every header kind, depth, run-length
// and bit-field variant) and variants patched from them decode to the pixels ImageMagick
// decodes; hand-built run-length files decode as ImageMagick decodes them; our files decode in
// ImageMagick as our reader reads them; damaged files never crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/io/VLIOParams.h"
#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

struct TRGBImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgb; // red, green, blue, rows from the top
};

uint32_t Get32(const TBytes& B, size_t At) {
    return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (uint32_t{B[At + 3]} << 24);
}

void Put32(TBytes& B, size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i)
        B[At + i] = static_cast<uint8_t>(V >> (8 * i));
}

bool ImageMagickMissing() {
    return !ToolExists("convert");
}

// ImageMagick's decoding of a file as 8-bit RGB (its exit status is ignored: it warns about
// some files it still decodes).
TRGBImage ImageMagickDecode(const std::string& Path) {
    std::string out;
    RunTool("convert '" + Path + "' -depth 8 ppm:-", out);
    TRGBImage image;
    int32_t maxValue = 0, consumed = 0;
    if (std::sscanf(out.c_str(), "P6 %d %d %d%n", &image.Width, &image.Height, &maxValue,
                    &consumed) != 3)
        return {};
    const size_t start = static_cast<size_t>(consumed) + 1;
    const size_t bytes = static_cast<size_t>(image.Width) * image.Height * 3;
    if (out.size() < start + bytes) return {};
    image.Rgb.assign(out.begin() + static_cast<std::ptrdiff_t>(start),
                     out.begin() + static_cast<std::ptrdiff_t>(start + bytes));
    return image;
}

struct TDecoded {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TVLMask> Alpha;
    bool Aborted = false;
};

void Decode(const TBytes& File, TDecoded& Out, bool Native = false, bool KeepAlpha = false,
            bool ParamsOnly = false) {
    TMemoryStream stream;
    if (!File.empty()) stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    stream.SetPosition(0);
    Out.Params.NativePixelFormat = Native;
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    ReadBMPStream(stream, Out.Bitmap, 0, Out.Params, progress, ParamsOnly, Out.Alpha, !KeepAlpha);
}

// Pixels equal, channel by channel, keeping the top Bits bits of each.
void ExpectSamePixels(TVLBitmap& Bitmap, const TRGBImage& Ref, const std::string& What,
                      int32_t Bits = 8) {
    ASSERT_EQ(Bitmap.GetWidth(), Ref.Width) << What;
    ASSERT_EQ(Bitmap.GetHeight(), Ref.Height) << What;
    const int32_t shift = 8 - Bits;
    int32_t wrong = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x) {
            const TVLRGB c = Bitmap.GetPixelAsRGB(x, y);
            const uint8_t* r = &Ref.Rgb[(static_cast<size_t>(y) * Ref.Width + x) * 3];
            if ((c.r >> shift) != (r[0] >> shift) || (c.g >> shift) != (r[1] >> shift) ||
                (c.b >> shift) != (r[2] >> shift)) {
                if (++wrong < 4)
                    ADD_FAILURE() << What << " at " << x << "," << y << ": ours " << int(c.r) << ","
                                  << int(c.g) << "," << int(c.b) << " reference " << int(r[0])
                                  << "," << int(r[1]) << "," << int(r[2]);
            }
        }
    EXPECT_EQ(wrong, 0) << What;
}

// ---- Variants patched from ImageMagick's files ------------------------------------------------

// The info header grown to NewSize bytes: zero bytes (or, for a bit-field file, the masks that
// followed the 40-byte header) inserted after it, the offsets moved.
TBytes GrowHeader(const TBytes& File, uint32_t NewSize) {
    const uint32_t oldSize = Get32(File, 14);
    TBytes out(File.begin(), File.begin() + 14 + oldSize);
    const bool masksFollow = oldSize == 40 && Get32(File, 30) == 3;
    size_t rest = 14 + oldSize;
    if (masksFollow && NewSize >= 52) {
        out.insert(out.end(), File.begin() + 54, File.begin() + 66);
        rest += 12;
        out.resize(14 + NewSize, 0);
    } else {
        out.resize(14 + NewSize, 0);
    }
    out.insert(out.end(), File.begin() + static_cast<std::ptrdiff_t>(rest), File.end());
    const uint32_t delta = static_cast<uint32_t>(out.size() - File.size());
    Put32(out, 14, NewSize);
    Put32(out, 2, Get32(File, 2) + delta);
    Put32(out, 10, Get32(File, 10) + delta);
    return out;
}

// A file of a 124-byte header cut to the first NewSize bytes of it; for 40 bytes, the masks the
// header held follow it.
TBytes CutHeader(const TBytes& File, uint32_t NewSize) {
    TBytes out(File.begin(), File.begin() + 14 + NewSize);
    if (NewSize == 40) out.insert(out.end(), File.begin() + 54, File.begin() + 66);
    out.insert(out.end(), File.begin() + 14 + 124, File.end());
    const uint32_t delta = static_cast<uint32_t>(File.size() - out.size());
    Put32(out, 14, NewSize);
    Put32(out, 2, Get32(File, 2) - delta);
    Put32(out, 10, Get32(File, 10) - delta);
    return out;
}

// A 64-byte-header file with the header cut to its 40 Windows bytes (ImageMagick reads the colour
// table of 64-byte headers in its own way).
TBytes ShrinkHeader(const TBytes& File) {
    TBytes out(File.begin(), File.begin() + 54);
    out.insert(out.end(), File.begin() + 78, File.end());
    Put32(out, 14, 40);
    Put32(out, 2, Get32(File, 2) - 24);
    Put32(out, 10, Get32(File, 10) - 24);
    return out;
}

// An uncompressed bottom-up file rewritten with its rows top-down (negative height).
TBytes TopDown(const TBytes& File) {
    TBytes out = File;
    const auto w = static_cast<int32_t>(Get32(File, 18));
    const auto h = static_cast<int32_t>(Get32(File, 22));
    const uint32_t bits = File[28] | (File[29] << 8);
    const size_t rowLen = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
    const size_t data = Get32(File, 10);
    for (int32_t r = 0; r < h; ++r)
        std::memcpy(&out[data + r * rowLen], &File[data + (h - 1 - r) * rowLen], rowLen);
    Put32(out, 22, static_cast<uint32_t>(-h));
    return out;
}

// A 1-bit file with its two table entries swapped and every pixel bit inverted: the same
// picture.
TBytes SwappedTable(const TBytes& File) {
    TBytes out = File;
    const size_t table = 14 + Get32(File, 14);
    for (int i = 0; i < 4; ++i)
        std::swap(out[table + i], out[table + 4 + i]);
    for (size_t i = Get32(File, 10); i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(~out[i]);
    return out;
}

class BmpReference : public ::testing::Test {
protected:
    void SetUp() override {
        if (ImageMagickMissing()) SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert");
        // A picture of many colours with flat areas, odd in both sizes.
        Make("src.ppm", "-size 37x23 gradient:red-blue -fill '#40c020' -draw 'rectangle 5,3 "
                        "17,12' -fill white -draw 'circle 26,14 30,18'");
    }
    std::string File(const std::string& Name) const { return FScratch.File(Name); }
    void Make(const std::string& Name, const std::string& Options) {
        std::string out;
        RunTool("convert " + Options + " '" + File(Name) + "'", out);
    }
    void Convert(const std::string& Options, const std::string& Target) {
        std::string out;
        RunTool("convert '" + File("src.ppm") + "' " + Options + " '" + Target + "'", out);
    }
    TBytes Bytes(const std::string& Name) const { return FScratch.Read(Name); }

    ScratchFolder FScratch;
};

struct TVariant {
    const char* Name;
    const char* Options; // options and the output prefix
    int32_t Bits;        // bits per channel compared
};

TEST_F(BmpReference, FilesOfEveryKindDecodeAsImageMagickDecodesThem) {
    const TVariant variants[] = {
        {"os2-24", "-type truecolor BMP2:", 8},
        {"os2-8", "-colors 200 BMP2:", 8},
        {"win-24", "-type truecolor BMP3:", 8},
        {"win-8", "-colors 200 -compress none BMP3:", 8},
        {"win-rle8", "-colors 100 -compress RLE BMP3:", 8},
        {"win-4", "-colors 12 -compress none BMP3:", 8},
        {"win-1", "-monochrome BMP3:", 8},
        {"win-1-colours", "-colors 2 -type palette BMP3:", 8},
        {"v5-24", "-type truecolor BMP:", 8},
        {"v5-8", "-colors 200 -compress none BMP:", 8},
        {"v5-32", "-alpha set -channel A -fx 'i/w' +channel BMP:", 8},
        {"rgb565", "-define bmp:subtype=RGB565 BMP:", 5},
        {"rgb555", "-define bmp:subtype=RGB555 BMP:", 5},
        {"argb4444", "-alpha set -define bmp:subtype=ARGB4444 BMP:", 4},
        {"argb1555", "-alpha set -define bmp:subtype=ARGB1555 BMP:", 5},
    };
    for (const TVariant& v : variants) {
        const std::string target = std::string(v.Name) + ".bmp";
        const std::string options = v.Options;
        const size_t colon = options.rfind(' ');
        Convert(options.substr(0, colon + 1), options.substr(colon + 1) + File(target));
        const TBytes file = Bytes(target);
        ASSERT_GT(file.size(), 54u) << v.Name;
        const TRGBImage ref = ImageMagickDecode(File(target));
        ASSERT_GT(ref.Width, 0) << v.Name;
        for (bool native : {false, true}) {
            TDecoded ours;
            Decode(file, ours, native);
            EXPECT_FALSE(ours.Aborted) << v.Name;
            ExpectSamePixels(ours.Bitmap, ref, std::string(v.Name) + (native ? " native" : ""),
                             v.Bits);
        }
    }
}

TEST_F(BmpReference, PatchedHeadersRowOrderAndTablesDecodeAsTheOriginal) {
    Convert("-type truecolor ", "BMP3:" + File("t24.bmp"));
    Convert("-colors 12 -compress none ", "BMP3:" + File("t4.bmp"));
    Convert("-monochrome ", "BMP3:" + File("t1.bmp"));
    Convert("-define bmp:subtype=RGB565 ", "BMP:" + File("t16.bmp"));
    struct TCase {
        const char* Name;
        const char* Source;
        TBytes (*Patch)(const TBytes&);
        int32_t Bits;
    };
    const TCase cases[] = {
        {"52-byte header", "t24.bmp", [](const TBytes& F) { return GrowHeader(F, 52); }, 8},
        {"56-byte header", "t4.bmp", [](const TBytes& F) { return GrowHeader(F, 56); }, 8},
        {"64-byte header", "t24.bmp", [](const TBytes& F) { return GrowHeader(F, 64); }, 8},
        {"top-down 24", "t24.bmp", TopDown, 8},
        {"top-down 4", "t4.bmp", TopDown, 8},
        {"top-down 1", "t1.bmp", TopDown, 8},
        {"white, black table", "t1.bmp", SwappedTable, 8},
        {"masks after a 40-byte header", "t16.bmp",
         [](const TBytes& F) { return CutHeader(F, 40); }, 5},
        {"masks in a 52-byte header", "t16.bmp", [](const TBytes& F) { return CutHeader(F, 52); },
         5},
        {"masks in a 56-byte header", "t16.bmp", [](const TBytes& F) { return CutHeader(F, 56); },
         5},
    };
    for (const TCase& c : cases) {
        const TBytes original = Bytes(c.Source);
        ASSERT_GT(original.size(), 54u) << c.Name;
        const TRGBImage ref = ImageMagickDecode(File(c.Source));
        TDecoded ours;
        Decode(c.Patch(original), ours);
        EXPECT_FALSE(ours.Aborted) << c.Name;
        ExpectSamePixels(ours.Bitmap, ref, c.Name, c.Bits);
    }
}

// ---- Hand-built files -------------------------------------------------------------------------

// A 40-byte-header file; the table holds Colours grey levels i x 20 (red i x 20, green 255 - i,
// blue i) so that every index reads back distinctly.
TBytes HandBuilt(int32_t Width, int32_t Height, int32_t Bits, uint32_t Compression,
                 const TBytes& Data, int32_t Colours) {
    TBytes f(54, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 14, 40);
    Put32(f, 18, static_cast<uint32_t>(Width));
    Put32(f, 22, static_cast<uint32_t>(Height));
    f[26] = 1;
    f[28] = static_cast<uint8_t>(Bits);
    Put32(f, 30, Compression);
    Put32(f, 34, static_cast<uint32_t>(Data.size()));
    Put32(f, 46, static_cast<uint32_t>(Colours));
    for (int32_t i = 0; i < Colours; ++i) {
        f.push_back(static_cast<uint8_t>(i));
        f.push_back(static_cast<uint8_t>(255 - i));
        f.push_back(static_cast<uint8_t>(i * 20));
        f.push_back(0);
    }
    Put32(f, 10, static_cast<uint32_t>(f.size()));
    f.insert(f.end(), Data.begin(), Data.end());
    Put32(f, 2, static_cast<uint32_t>(f.size()));
    return f;
}

TEST_F(BmpReference, RunLengthCasesDecodeAsImageMagickDecodesThem) {
    struct TCase {
        const char* Name;
        int32_t Width, Height, Bits;
        TBytes Data;
    };
    const TCase cases[] = {
        {"encoded run", 3, 1, 8, {3, 5, 0, 0, 0, 1}},
        {"odd absolute run and its pad byte", 5, 2, 8, {0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 5, 9, 0, 1}},
        {"delta", 6, 4, 8, {2, 7, 0, 2, 2, 1, 2, 8, 0, 0, 6, 3, 0, 1}},
        {"end of bitmap early", 4, 3, 8, {4, 6, 0, 0, 2, 2, 0, 1}},
        {"data ends without an escape", 4, 2, 8, {4, 6, 0, 0, 1, 2}},
        {"run past the edge, next line rewritten", 3, 2, 8, {5, 7, 0, 0, 3, 4, 0, 1}},
        {"absolute run past the edge", 3, 2, 8, {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 3, 9, 0, 1}},
        {"rle4 encoded run", 5, 1, 4, {5, 0x12, 0, 1}},
        {"rle4 absolute run of 5",
         6,
         2,
         4,
         {0, 5, 0x12, 0x34, 0x50, 0, 1, 0xA0, 0, 0, 6, 0x76, 0, 1}},
        {"rle4 absolute run of 3", 4, 1, 4, {0, 3, 0x9A, 0xB0, 1, 0xC0, 0, 1}},
        {"rle4 delta", 5, 3, 4, {0, 2, 1, 1, 3, 0xDE, 0, 0, 5, 0x44, 0, 1}},
    };
    for (const TCase& c : cases) {
        const TBytes file =
            HandBuilt(c.Width, c.Height, c.Bits, c.Bits == 8 ? 1 : 2, c.Data, 1 << c.Bits);
        const std::string path = File("rle.bmp");
        FScratch.Write("rle.bmp", file);
        const TRGBImage ref = ImageMagickDecode(path);
        ASSERT_GT(ref.Width, 0) << c.Name;
        for (bool native : {false, true}) {
            TDecoded ours;
            Decode(file, ours, native);
            ExpectSamePixels(ours.Bitmap, ref, std::string(c.Name) + (native ? " native" : ""));
        }
    }
}

TEST(Bmp, RunLengthRowsAreCodedAsTheFormatExpects) {
    uint8_t out[64];
    const uint8_t sevens[] = {7, 7, 7};
    ASSERT_EQ(EncodeRLE8Row(sevens, 3, out), 4);
    EXPECT_EQ(TBytes(out, out + 4), (TBytes{3, 7, 0, 0}));
    const uint8_t mixed[] = {1, 2, 3, 4, 4, 5};
    const int32_t n8 = EncodeRLE8Row(mixed, 6, out);
    EXPECT_EQ(TBytes(out, out + n8), (TBytes{0, 3, 1, 2, 3, 0, 2, 4, 1, 5, 0, 0}));
    const int32_t n4 = EncodeRLE4Row(mixed, 6, out);
    EXPECT_EQ(TBytes(out, out + n4), (TBytes{0, 3, 0x12, 0x30, 2, 0x44, 1, 0x50, 0, 0}));
    const uint8_t pair[] = {1, 2};
    const int32_t p8 = EncodeRLE8Row(pair, 2, out);
    EXPECT_EQ(TBytes(out, out + p8), (TBytes{1, 1, 1, 2, 0, 0}));
    const int32_t p4 = EncodeRLE4Row(pair, 2, out);
    EXPECT_EQ(TBytes(out, out + p4), (TBytes{2, 0x12, 0, 0}));
}

// ---- The writer -------------------------------------------------------------------------------

// A picture of Colours colours in vl24RGB, with flat runs.
void MakePicture(TVLBitmap& Bitmap, int32_t W, int32_t H, int32_t Colours) {
    Bitmap.Allocate(W, H, vl24RGB);
    std::mt19937 random(7);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const int32_t k = ((x / 3) * 7 + y * 3 + static_cast<int32_t>(random() % 2)) % Colours;
            Bitmap.SetPixelRGB(x, y,
                               TVLRGB{static_cast<uint8_t>(k * 37),
                                      static_cast<uint8_t>(255 - k * 11),
                                      static_cast<uint8_t>(k * 5)});
        }
}

TEST_F(BmpReference, OurFilesDecodeInImageMagickAsOurReaderReadsThem) {
    struct TCase {
        int32_t BitsPerSample, SamplesPerPixel;
        int32_t Colours;
        bool Alpha;
    };
    const TCase depths[] = {{1, 1, 2, false},
                            {4, 1, 16, false},
                            {8, 1, 200, false},
                            {8, 3, 5000, false},
                            {8, 3, 5000, true}};
    for (uint8_t version : {0, 1, 2, 3})
        for (uint8_t compression : {0, 1})
            for (const TCase& d : depths) {
                TVLBitmap picture;
                MakePicture(picture, 21, 9, d.Colours);
                for (int32_t x = 0; d.Alpha && x < 21; ++x)
                    picture.SetAlphaPixel(x, 4, static_cast<uint8_t>(x * 12));
                TIOParamsVals params;
                params.BmpHeaderVersion = static_cast<TVLBMPHeaderVersion>(version);
                params.BmpCompression = compression;
                params.BitsPerSample = d.BitsPerSample;
                params.SamplesPerPixel = d.SamplesPerPixel;
                params.DpiX = params.DpiY = 72;
                TMemoryStream stream;
                bool aborted = false;
                TVLProgressRecord progress;
                progress.AbortFlag = &aborted;
                WriteBMPStream(stream, picture, params, progress, true);
                const std::string what = "version " + std::to_string(version) + " rle " +
                                         std::to_string(compression) + " bits " +
                                         std::to_string(d.BitsPerSample * d.SamplesPerPixel) +
                                         (d.Alpha ? " alpha" : "");
                ASSERT_FALSE(aborted) << what;
                const auto* m = static_cast<const uint8_t*>(stream.Memory());
                const TBytes file(m, m + stream.GetSize());
                EXPECT_EQ(Get32(file, 14), version == 2 ? 12u : version == 3 ? 64u : 40u) << what;
                FScratch.Write("ours.bmp", version == 3 ? ShrinkHeader(file) : file);
                const TRGBImage ref = ImageMagickDecode(File("ours.bmp"));
                TDecoded ours;
                Decode(file, ours, false, d.Alpha);
                ExpectSamePixels(ours.Bitmap, ref, what);
                EXPECT_EQ(ours.Params.DpiX, version == 2 ? DefaultDpiX : 72) << what;
                if (d.Alpha) {
                    ASSERT_NE(ours.Alpha, nullptr) << what;
                    EXPECT_EQ(ours.Alpha->GetPixel(20, 4), 240) << what;
                    EXPECT_EQ(ours.Alpha->GetPixel(20, 3), 255) << what;
                }
            }
}

TEST(Bmp, WriterExamples) {
    TVLBitmap sevens(3, 1, vl8p);
    for (int32_t x = 0; x < 3; ++x)
        sevens.SetPixel8(x, 0, 7);
    TIOParamsVals params;
    params.BmpCompression = 1;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    params.DpiX = params.DpiY = 72;
    TMemoryStream stream;
    TVLProgressRecord progress;
    WriteBMPStream(stream, sevens, params, progress, false);
    const auto* m = static_cast<const uint8_t*>(stream.Memory());
    const TBytes file(m, m + stream.GetSize());
    ASSERT_EQ(file.size(), 14u + 40 + 1024 + 6);
    EXPECT_EQ(TBytes(file.end() - 6, file.end()), (TBytes{3, 7, 0, 0, 0, 1}));
    EXPECT_EQ(Get32(file, 38), 2835u);
    EXPECT_EQ(Get32(file, 34), 6u);
    EXPECT_EQ(Get32(file, 2), file.size());
    EXPECT_EQ(Get32(file, 10), 14u + 40 + 1024);
}

TEST(Bmp, WriterFaults) {
    // Indexes beyond 4 bits are requantized, not cut to their low nibble.
    TVLBitmap picture(4, 1, vl8p);
    picture.SetPaletteColor(200, TVLRGB{0, 0, 255});
    picture.SetPaletteColor(3, TVLRGB{0, 255, 0});
    picture.PaletteUsed = 256;
    const uint8_t indexes[] = {200, 3, 200, 3};
    for (int32_t x = 0; x < 4; ++x)
        picture.SetPixel8(x, 0, indexes[x]);
    TIOParamsVals params;
    params.BitsPerSample = 4;
    params.SamplesPerPixel = 1;
    TMemoryStream stream;
    TVLProgressRecord progress;
    WriteBMPStream(stream, picture, params, progress, false);
    const auto* m = static_cast<const uint8_t*>(stream.Memory());
    TDecoded back;
    Decode(TBytes(m, m + stream.GetSize()), back);
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(back.Bitmap.GetPixelAsRGB(x, 0), picture.GetPalette()[indexes[x]]) << x;

    // Other pixel formats are written from a 24-bit copy.
    TVLBitmap grey(3, 2, vl8g);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            grey.SetPixel8(x, y, static_cast<uint8_t>(40 * x + 100 * y));
    TIOParamsVals trueColour;
    TMemoryStream greyStream;
    WriteBMPStream(greyStream, grey, trueColour, progress, false);
    const auto* g = static_cast<const uint8_t*>(greyStream.Memory());
    TDecoded greyBack;
    Decode(TBytes(g, g + greyStream.GetSize()), greyBack);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(greyBack.Bitmap.GetPixelAsRGB(x, y).g, 40 * x + 100 * y);

    // Sizes the 12-byte header cannot hold are refused.
    TVLBitmap wide(70000, 1, vl24RGB);
    TIOParamsVals core;
    core.BmpHeaderVersion = bvOS2v1;
    bool aborted = false;
    TVLProgressRecord checked;
    checked.AbortFlag = &aborted;
    TMemoryStream wideStream;
    WriteBMPStream(wideStream, wide, core, checked, false);
    EXPECT_TRUE(aborted);
}

// ---- Reader faults and damaged files ----------------------------------------------------------

TEST(Bmp, ReaderFaults) {
    // Indexes beyond the colour table read black, not memory after it.
    TDecoded shortTable;
    Decode(HandBuilt(2, 1, 8, 0, {1, 250, 0, 0}, 2), shortTable);
    EXPECT_EQ(shortTable.Bitmap.GetPixelAsRGB(0, 0), (TVLRGB{1, 254, 20}));
    EXPECT_EQ(shortTable.Bitmap.GetPixelAsRGB(1, 0), (TVLRGB{0, 0, 0}));

    // Pixels a delta skips are index 0 (run-length decoding starts from a cleared bitmap).
    TDecoded skipped;
    Decode(HandBuilt(3, 1, 8, 1, {0, 2, 2, 0, 1, 1, 0, 1}, 2), skipped, true);
    EXPECT_EQ(skipped.Bitmap.GetPixel8(0, 0), 0);
    EXPECT_EQ(skipped.Bitmap.GetPixel8(1, 0), 0);
    EXPECT_EQ(skipped.Bitmap.GetPixel8(2, 0), 1);

    // A truncated file leaves the missing rows black.
    TBytes truncated = HandBuilt(2, 2, 24, 0, {9, 9, 9, 8, 8, 8, 0, 0, 7, 7, 7, 6, 6, 6, 0, 0}, 0);
    truncated.resize(truncated.size() - 8);
    TDecoded cut;
    Decode(truncated, cut);
    EXPECT_EQ(cut.Bitmap.GetPixelAsRGB(0, 1), (TVLRGB{9, 9, 9}));
    EXPECT_EQ(cut.Bitmap.GetPixelAsRGB(0, 0), (TVLRGB{0, 0, 0}));

    // Two colours other than black and white decode through the table.
    TBytes twoColours = HandBuilt(8, 1, 1, 0, {0xF0, 0, 0, 0}, 2);
    TDecoded colours;
    Decode(twoColours, colours, true);
    EXPECT_EQ(colours.Bitmap.GetPixelFormat(), vl8p);
    EXPECT_EQ(colours.Bitmap.GetPixel8(0, 0), 1);
    EXPECT_EQ(colours.Bitmap.GetPixel8(7, 0), 0);

    // Header fields at their extremes are refused or bounded, never trusted.
    struct TBad {
        const char* Name;
        size_t At;
        uint32_t Value;
        bool Aborts;
    };
    const TBad bad[] = {
        {"negative width", 18, 0xFFFFFFFF, true},
        {"height -2^31", 22, 0x80000000, true},
        {"huge width and height", 18, 0x7FFFFFFF, true},
        {"huge pixel offset", 10, 0xFFFFFFF0, false},
        {"huge colours used", 46, 0xFFFFFFFF, false},
        {"header larger than the file", 14, 0xFFFFFFF0, true},
        {"huge file size", 2, 0xFFFFFFFF, false},
        {"huge image size", 34, 0xFFFFFFFF, false},
    };
    for (const TBad& b : bad) {
        TBytes file = HandBuilt(2, 2, 8, 1, {2, 1, 0, 0, 2, 1, 0, 1}, 2);
        Put32(file, b.At, b.Value);
        if (b.At == 18) Put32(file, 22, b.Value == 0x7FFFFFFF ? 0x7FFFFFFF : 2);
        TDecoded d;
        Decode(file, d);
        EXPECT_EQ(d.Aborted, b.Aborts) << b.Name;
    }
    // The largest width, height and bit count: the size of their rows is not computed in a way
    // that overflows, and the few bytes of data cannot fill them.
    TBytes widest = HandBuilt(2, 2, 8, 0, {1, 2, 0, 0, 3, 4, 0, 0}, 0);
    Put32(widest, 18, 0x7FFFFFFF);
    Put32(widest, 22, 0x7FFFFFFF);
    widest[28] = widest[29] = 0xFF;
    TDecoded widestRead;
    Decode(widest, widestRead);
    EXPECT_TRUE(widestRead.Aborted);

    TDecoded notBmp;
    Decode({'B', 'X', 0, 0}, notBmp);
    EXPECT_TRUE(notBmp.Aborted);
}

TEST(Bmp, DamagedFilesNeverCrash) {
    const TBytes seeds[] = {
        HandBuilt(7, 5, 8, 1, {3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 2, 2, 1, 4, 4, 0, 1}, 16),
        HandBuilt(7, 5, 4, 2, {3, 0x55, 0, 0, 0, 5, 1, 2, 3, 0, 0, 2, 2, 1, 4, 0x44, 0, 1}, 16),
        HandBuilt(3, 2, 24, 0, TBytes(24, 77), 0),
        HandBuilt(3, 2, 16, 3, TBytes(16, 0x5A), 0),
        HandBuilt(3, 2, 32, 0, TBytes(24, 0x80), 0),
        HandBuilt(9, 2, 1, 0, TBytes(8, 0xA5), 2),
    };
    std::mt19937 random(1234);
    for (const TBytes& seed : seeds) {
        for (int32_t round = 0; round < 400; ++round) {
            TBytes file = seed;
            const int32_t flips = 1 + static_cast<int32_t>(random() % 6);
            for (int32_t i = 0; i < flips; ++i)
                file[random() % file.size()] = static_cast<uint8_t>(random());
            if (random() % 4 == 0) file.resize(random() % file.size());
            // Keep small sizes so that the fuzzed files stay quick to decode.
            if (file.size() > 26)
                file[19] = file[20] = file[21] = file[23] = file[24] = file[25] = 0;
            TDecoded d;
            Decode(file, d, round % 2 == 0, round % 3 == 0);
            TDecoded p;
            Decode(file, p, false, false, true);
        }
    }
}

} // namespace
