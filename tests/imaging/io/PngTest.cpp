// The PNG adapter against PngSuite and ImageMagick, and its files read back by Pillow and checked
// by pngcheck.
#include "imaging/io/VLPng.h"

#include "imaging/core/VLMask.h"
#include "tests/PeakMemory.h"
#include "tests/imaging/io/IOTestSupport.h"

#include <zlib.h>

#include <random>

namespace {

using enum TVLPixelFormat;

const std::filesystem::path PngSuite = std::filesystem::path(SV_TESTDATA_DIR) / "pngsuite";

struct TReadResult {
    bool Aborted = false;
    int32_t Percent = -1;
};

TReadResult Read(const TBytes& File, TVLBitmap& Bitmap, TIOParamsVals& Params,
                 bool ParamsOnly = false) {
    TMemoryStream stream;
    LoadStream(stream, File);
    bool aborted = false;
    TReadResult result;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    progress.Handler = [&](TObject*, int32_t Percent) { result.Percent = Percent; };
    ReadPNGStream(stream, Bitmap, Params, progress, ParamsOnly);
    result.Aborted = aborted;
    return result;
}

// Red, green, blue, alpha of every pixel, rows from the top; 1-bit grey as 0 or 255.
TBytes RGBA(TVLBitmap& Bitmap) {
    TBytes out;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            const TVLRGB c = Bitmap.GetPixelAsRGB(x, y);
            const uint8_t a = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaPixel(x, y) : 255;
            out.insert(out.end(), {c.r, c.g, c.b, a});
        }
    return out;
}

// ImageMagick's RGBA of a file; 16-bit files as the high bytes of its 16-bit samples.
bool MagickRGBA(const std::filesystem::path& File, bool Sixteen, TBytes& Out) {
    std::string raw;
    // The suite's files carry gAMA 1.0, which ImageMagick would convert to sRGB.
    if (!RunTool("convert '" + File.string() + "' -set colorspace sRGB -endian MSB -depth " +
                     (Sixteen ? "16" : "8") + " rgba:-",
                 raw))
        return false;
    Out.clear();
    for (size_t i = 0; i < raw.size(); i += Sixteen ? 2 : 1)
        Out.push_back(uint8_t(raw[i]));
    return true;
}

std::vector<std::filesystem::path> SuiteFiles(const std::string& Prefix) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(PngSuite))
        if (entry.path().filename().string().rfind(Prefix, 0) == 0 &&
            entry.path().extension() == ".png")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void PutBig32(TBytes& Out, uint32_t V) {
    for (int shift = 24; shift >= 0; shift -= 8)
        Out.push_back(uint8_t(V >> shift));
}

// A chunk whose length field says DeclaredLength while only Data follows, with the CRC of the
// type and Data.
void AppendChunk(TBytes& Out, const char* Type, const TBytes& Data, uint32_t DeclaredLength) {
    PutBig32(Out, DeclaredLength);
    TBytes body(Type, Type + 4);
    body.insert(body.end(), Data.begin(), Data.end());
    Out.insert(Out.end(), body.begin(), body.end());
    PutBig32(Out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

} // namespace

TEST(ReadPNGStream, PngSuiteBasicFilesEqualImageMagick) {
    if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "PngSuite missing: " << PngSuite;
    if (!ToolExists("convert")) GTEST_SKIP() << "ImageMagick missing";
    int32_t count = 0;
    for (const std::string prefix : {"basn", "basi"}) {
        for (const auto& file : SuiteFiles(prefix)) {
            SCOPED_TRACE(file.filename().string());
            TVLBitmap bitmap;
            TIOParamsVals params;
            const TReadResult result = Read(ReadFileBytes(file), bitmap, params);
            ASSERT_FALSE(result.Aborted);
            EXPECT_EQ(result.Percent, 100);
            const bool sixteen = params.BitsPerSample == 16;
            TBytes expected;
            ASSERT_TRUE(MagickRGBA(file, sixteen, expected));
            EXPECT_EQ(RGBA(bitmap), expected);
            const bool grey1 = file.filename().string().find("0g01") != std::string::npos;
            EXPECT_EQ(bitmap.GetPixelFormat(), grey1 ? vl1g : vl24RGB);
            EXPECT_EQ(params.PngInterlaced, prefix == "basi");
            ++count;
        }
    }
    EXPECT_EQ(count, 30);
}

TEST(ReadPNGStream, InterlacedFilesEqualTheirTwins) {
    if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "PngSuite missing: " << PngSuite;
    for (const bool native : {false, true}) {
        for (const auto& file : SuiteFiles("basi")) {
            SCOPED_TRACE(file.filename().string() + (native ? " native" : ""));
            auto twin = file;
            twin.replace_filename("basn" + file.filename().string().substr(4));
            TVLBitmap a, b;
            TIOParamsVals pa, pb;
            pa.NativePixelFormat = pb.NativePixelFormat = native;
            ASSERT_FALSE(Read(ReadFileBytes(file), a, pa).Aborted);
            ASSERT_FALSE(Read(ReadFileBytes(twin), b, pb).Aborted);
            ASSERT_EQ(a.GetPixelFormat(), b.GetPixelFormat());
            ASSERT_EQ(a.GetWidth(), b.GetWidth());
            for (int32_t y = 0; y < a.GetHeight(); ++y) {
                const TBytes ra(a.GetScanline(y), a.GetScanline(y) + a.GetRowLen());
                EXPECT_EQ(ra, TBytes(b.GetScanline(y), b.GetScanline(y) + b.GetRowLen())) << y;
            }
            EXPECT_EQ(a.HasAlphaChannel(), b.HasAlphaChannel());
            if (a.HasAlphaChannel()) {
                EXPECT_EQ(RGBA(a), RGBA(b));
            }
        }
    }
}

TEST(ReadPNGStream, NativeFormatsKeepTheSamples) {
    if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "PngSuite missing: " << PngSuite;
    struct TCase {
        const char* File;
        TVLPixelFormat Format;
    };
    for (const TCase c :
         {TCase{"basn0g08.png", vl8g}, TCase{"basn0g16.png", vl16g}, TCase{"basn3p08.png", vl8p},
          TCase{"basn2c16.png", vl24RGB}, TCase{"basn3p04.png", vl24RGB}}) {
        SCOPED_TRACE(c.File);
        TVLBitmap bitmap;
        TIOParamsVals params;
        params.NativePixelFormat = true;
        ASSERT_FALSE(Read(ReadFileBytes(PngSuite / c.File), bitmap, params).Aborted);
        EXPECT_EQ(bitmap.GetPixelFormat(), c.Format);
        if (c.Format == vl16g) {
            // basn0g16 is a ramp: sample (x + y) x 2,048 mod 65,536... read its first two.
            TBytes expected;
            std::string raw;
            ASSERT_TRUE(RunTool("convert '" + (PngSuite / c.File).string() +
                                    "' -set colorspace sRGB -endian MSB -depth 16 gray:-",
                                raw));
            for (int32_t x = 0; x < 4; ++x)
                EXPECT_EQ(bitmap.GetPixel16(x, 3), (uint8_t(raw[2 * (3 * 32 + x)]) << 8) |
                                                       uint8_t(raw[2 * (3 * 32 + x) + 1]));
        }
        if (c.Format == vl8p) {
            for (int32_t i = 0; i < params.GetPaletteCount(); ++i) {
                TVLRGB entry;
                bitmap.GetPaletteColor(i, entry);
                EXPECT_EQ(entry, params.GetPalette()[i]);
            }
        }
    }
}

TEST(ReadPNGStream, BrokenFilesAbort) {
    if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "PngSuite missing: " << PngSuite;
    int32_t count = 0;
    for (const auto& file : SuiteFiles("x")) {
        SCOPED_TRACE(file.filename().string());
        TVLBitmap bitmap;
        TIOParamsVals params;
        EXPECT_TRUE(Read(ReadFileBytes(file), bitmap, params).Aborted);
        ++count;
    }
    EXPECT_GT(count, 10);
}

TEST(ReadPNGStream, TruncatedAndForeignData) {
    if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "PngSuite missing: " << PngSuite;
    const TBytes file = ReadFileBytes(PngSuite / "basi6a08.png");
    for (const size_t length :
         {size_t{0}, size_t{7}, size_t{40}, file.size() / 2, file.size() - 13}) {
        SCOPED_TRACE(length);
        TVLBitmap bitmap;
        TIOParamsVals params;
        EXPECT_TRUE(Read(TBytes(file.begin(), file.begin() + length), bitmap, params).Aborted);
    }
    TVLBitmap bitmap;
    TIOParamsVals params;
    EXPECT_TRUE(Read(TBytes(200, 'x'), bitmap, params).Aborted);
}

// A damaged length field of a chunk whose buffer libpng sizes before reading it: the file stops
// a few bytes later, so the read aborts, and without ever taking the 2 GiB the field asks for.
TEST(ReadPNGStream, HugeChunkLengthsAbortWithoutTheirAllocation) {
    for (const char* type : {"tEXt", "zTXt", "iTXt", "eXIf", "sPLT"}) {
        SCOPED_TRACE(type);
        const int64_t before = PeakAddressSpaceBytes();
        ASSERT_GT(before, 0);
        TBytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        TBytes header;
        PutBig32(header, 2);
        PutBig32(header, 2);
        header.insert(header.end(), {8, 2, 0, 0, 0});
        AppendChunk(file, "IHDR", header, 13);
        AppendChunk(file, type, TBytes{'T', 'i', 't', 'l', 'e', 0, 'x', 'y'}, 0x7FFFFFF0);
        TVLBitmap bitmap;
        TIOParamsVals params;
        EXPECT_TRUE(Read(file, bitmap, params).Aborted);
        EXPECT_LT(PeakAddressSpaceBytes() - before, int64_t{1} << 30);
    }
}

// The 1-bit palette reading: interlaced passes add up, and an index the palette does not hold
// gives black instead of reading past a one-entry PLTE.
TEST(ReadPNGStream, OneBitPaletteFiles) {
    if (PillowPython().empty()) GTEST_SKIP() << "/usr/bin/python3 with Pillow missing";
    // A hand-written 1-bit palette file with a PLTE of one entry, and one with two entries.
    const char* const script = R"(
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
def png(name, palette):
    rows = b''
    for y in range(13):
        bits = [(x * 3 + y) % 7 // 3 % 2 for x in range(21)] + [0] * 3
        rows += b'\0' + bytes(sum(b << (7 - i) for i, b in enumerate(bits[k:k + 8]))
                              for k in range(0, 24, 8))
    data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 21, 13, 1, 3, 0, 0, 0))
            + chunk(b'PLTE', bytes(palette)) + chunk(b'IDAT', zlib.compress(rows))
            + chunk(b'IEND', b''))
    open(name, 'wb').write(data)
png(sys.argv[1], [200, 30, 40])
png(sys.argv[2], [200, 30, 40, 10, 220, 90])
)";
    TScratch scratch;
    std::string out;
    ASSERT_TRUE(
        scratch.Python(script, scratch.File("one.png") + " " + scratch.File("two.png"), out));
    // Adam7 copies of the same files through ImageMagick.
    ASSERT_TRUE(
        RunTool("convert '" + scratch.File("two.png") +
                    "' -interlace PNG -define png:bit-depth=1 -define png:color-type=3 PNG8:'" +
                    scratch.File("two-i.png") + "'",
                out));
    TVLBitmap one, two, twoInterlaced;
    TIOParamsVals p1, p2, p3;
    ASSERT_FALSE(Read(ReadFileBytes(scratch.File("one.png")), one, p1).Aborted);
    ASSERT_FALSE(Read(ReadFileBytes(scratch.File("two.png")), two, p2).Aborted);
    ASSERT_FALSE(Read(ReadFileBytes(scratch.File("two-i.png")), twoInterlaced, p3).Aborted);
    EXPECT_EQ(p1.GetPaletteCount(), 1);
    EXPECT_TRUE(p3.PngInterlaced);
    EXPECT_EQ(p3.BitsPerSample, 1);
    for (int32_t y = 0; y < 13; ++y)
        for (int32_t x = 0; x < 21; ++x) {
            const bool set = (x * 3 + y) % 7 / 3 % 2 != 0;
            EXPECT_EQ(one.GetPixelRGB(x, y), (set ? TVLRGB{0, 0, 0} : TVLRGB{40, 30, 200}));
            EXPECT_EQ(two.GetPixelRGB(x, y), (set ? TVLRGB{90, 220, 10} : TVLRGB{40, 30, 200}));
        }
    EXPECT_EQ(RGBA(twoInterlaced), RGBA(two));
}

TEST(ReadPNGStream, ResolutionTextAndParamsOnly) {
    if (PillowPython().empty()) GTEST_SKIP() << "/usr/bin/python3 with Pillow missing";
    const char* const script = R"(
import sys
from PIL import Image, PngImagePlugin
info = PngImagePlugin.PngInfo()
info.add_text('Title', 'Cat\xe9')
info.add_itxt('Comment', 'z\u20ac')
Image.new('RGB', (5, 4), (1, 2, 3)).save(sys.argv[1], dpi=(96, 150), pnginfo=info)
Image.new('RGB', (5, 4), (1, 2, 3)).save(sys.argv[2])
)";
    TScratch scratch;
    std::string out;
    ASSERT_TRUE(scratch.Python(script, scratch.File("a.png") + " " + scratch.File("b.png"), out));
    TVLBitmap bitmap;
    TIOParamsVals params;
    ASSERT_FALSE(Read(ReadFileBytes(scratch.File("a.png")), bitmap, params, true).Aborted);
    EXPECT_EQ(params.DpiX, 96);
    EXPECT_EQ(params.DpiY, 150);
    EXPECT_EQ(params.Width, 5);
    EXPECT_EQ(params.Height, 4);
    EXPECT_TRUE(bitmap.IsEmpty());
    ASSERT_EQ(params.PngTextKeys.Count(), 2);
    EXPECT_EQ(params.PngTextKeys[0], u"Title");
    EXPECT_EQ(params.PngTextValues[0], u"Cat\u00e9");
    EXPECT_EQ(params.PngTextValues[1], u"z\u20ac");
    DefaultDpiX = DefaultDpiY = 300;
    ASSERT_FALSE(Read(ReadFileBytes(scratch.File("b.png")), bitmap, params).Aborted);
    EXPECT_EQ(params.DpiX, 300);
    EXPECT_EQ(params.PngTextKeys.Count(), 0);
}

TEST(IsPNGStream, SignatureAndPosition) {
    TMemoryStream stream;
    LoadStream(stream, {0, 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0});
    stream.SetPosition(1);
    EXPECT_TRUE(IsPNGStream(stream));
    EXPECT_EQ(stream.GetPosition(), 1);
    stream.SetPosition(0);
    EXPECT_FALSE(IsPNGStream(stream));
    LoadStream(stream, {0x89, 'P', 'N'});
    EXPECT_FALSE(IsPNGStream(stream));
    EXPECT_EQ(stream.GetPosition(), 0);
}

namespace {

// Pillow's view of a written file: mode, size, info, bKGD and the RGBA pixels.
const char* const DescribeScript = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
print(im.mode, im.size[0], im.size[1], im.info.get('dpi'), im.info.get('Title'),
      'interlace' if im.info.get('interlace') else 'progressive')
sys.stdout.flush()
sys.stdout.buffer.write(im.convert('RGBA').tobytes())
)";

struct TWritten {
    std::string Description;
    TBytes Pixels;
    // The data of the bKGD chunk.
    TBytes Background;
};

TBytes ChunkData(const TBytes& Png, const std::string& Kind) {
    for (size_t pos = 8; pos + 12 <= Png.size();) {
        const size_t length =
            (size_t(Png[pos]) << 24) | (Png[pos + 1] << 16) | (Png[pos + 2] << 8) | Png[pos + 3];
        if (std::string(Png.begin() + pos + 4, Png.begin() + pos + 8) == Kind)
            return TBytes(Png.begin() + pos + 8, Png.begin() + pos + 8 + length);
        pos += length + 12;
    }
    return {};
}

TWritten WriteAndDescribe(TScratch& Scratch, TVLBitmap& Bitmap, TIOParamsVals& Params,
                          TVLMask* Mask) {
    TMemoryStream stream;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    int32_t last = -1;
    progress.Handler = [&](TObject*, int32_t Percent) { last = Percent; };
    WritePNGStream(stream, Bitmap, Params, progress, Mask);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(last, 100);
    WriteBytes(Scratch.File("w.png"), StreamBytes(stream));
    std::string check;
    EXPECT_TRUE(RunTool("pngcheck -v '" + Scratch.File("w.png") + "'", check)) << check;
    std::string out;
    EXPECT_TRUE(Scratch.Python(DescribeScript, Scratch.File("w.png"), out));
    const size_t eol = out.find('\n');
    TWritten result;
    result.Description = out.substr(0, eol);
    result.Pixels.assign(out.begin() + static_cast<ptrdiff_t>(eol + 1), out.end());
    result.Background = ChunkData(StreamBytes(stream), "bKGD");
    return result;
}

} // namespace

TEST(WritePNGStream, PillowReadsEveryPath) {
    if (PillowPython().empty() || !ToolExists("pngcheck"))
        GTEST_SKIP() << "/usr/bin/python3 with Pillow or pngcheck missing";
    TScratch scratch;
    constexpr int32_t w = 23, h = 11;
    const TVLRGB red{0, 0, 255}, teal{128, 128, 0};
    auto colour = [&](int32_t x, int32_t y) { return (x + 2 * y) % 5 == 0 ? red : teal; };
    auto alphaOf = [](int32_t x, int32_t y) {
        return uint8_t((x * 11 + y * 3) % 4 == 0 ? 0 : 255);
    };
    TVLMask mask;
    ASSERT_TRUE(mask.AllocateBits(w, h, 8));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            mask.GetScanline(y)[x] = alphaOf(x, y);
    mask.Full = false;

    struct TCase {
        const char* Name;
        TVLPixelFormat Format;
        int32_t Samples, Bits;
        bool Masked, Interlaced;
        const char* Mode;
        TBytes Background;
    };
    const std::vector<TCase> cases = {
        // Two colours other than black and white keep them in a two-entry palette.
        {"two-colour 1-bit", vl24RGB, 1, 1, false, false, "P", {0}},
        {"palette", vl24RGB, 1, 8, false, true, "P", {0}},
        {"palette from vl8p", vl8p, 1, 4, false, false, "P", {1}},
        {"masked palette", vl24RGB, 1, 8, true, false, "P", {0}},
        {"masked palette from vl8p", vl8p, 1, 8, true, true, "P", {0}},
        {"RGB", vl24RGB, 3, 8, false, false, "RGB", {0, 255, 0, 0, 0, 0}},
        {"RGBA", vl24RGB, 3, 8, true, true, "RGBA", {0, 255, 0, 0, 0, 0}},
        {"grey", vl8g, 1, 8, false, false, "L", {0, 54}},
        {"grey 16", vl16g, 1, 16, false, false, "I", {0x36, 0x36}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap bitmap(w, h, c.Format);
        if (c.Format == vl8p) {
            bitmap.SetPaletteColor(0, teal);
            bitmap.SetPaletteColor(1, red);
        }
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const bool isRed = colour(x, y) == red;
                if (c.Format == vl24RGB) bitmap.SetPixelRGB(x, y, colour(x, y));
                if (c.Format == vl8p) bitmap.SetPixel8(x, y, isRed ? 1 : 0);
                if (c.Format == vl8g) bitmap.SetPixel8(x, y, isRed ? 76 : 113);
                if (c.Format == vl16g) bitmap.SetPixel16(x, y, isRed ? 0x4C4C : 0x7172);
            }
        TIOParamsVals params;
        params.SamplesPerPixel = c.Samples;
        params.BitsPerSample = c.Bits;
        params.PngInterlaced = c.Interlaced;
        params.PngBackground = red;
        params.SetDpiX(96);
        params.SetDpiY(150);
        params.PngTextKeys.Add(u"Title");
        params.PngTextValues.Add(u"Caf\u00e9");
        const TWritten written =
            WriteAndDescribe(scratch, bitmap, params, c.Masked ? &mask : nullptr);
        const std::string dpi = "(96.01";
        EXPECT_EQ(written.Description.rfind(std::string(c.Mode) + " 23 11 " + dpi, 0), 0u)
            << written.Description;
        EXPECT_NE(written.Description.find("Café"), std::string::npos) << written.Description;
        // The background in the file's own terms: 8-bit samples, a grey level, a palette index
        // (0, the background entry, in a masked palette).
        EXPECT_EQ(written.Background, c.Background);
        EXPECT_NE(written.Description.find(c.Interlaced ? "interlace" : "progressive"),
                  std::string::npos);
        ASSERT_EQ(written.Pixels.size(), size_t(w * h * 4));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &written.Pixels[(y * w + x) * 4];
                const bool isRed = colour(x, y) == red;
                const bool transparent = c.Masked && alphaOf(x, y) == 0;
                TVLRGB expected = colour(x, y);
                if (c.Format == vl8g) expected = isRed ? TVLRGB{76, 76, 76} : TVLRGB{113, 113, 113};
                if (c.Format == vl16g)
                    expected = isRed ? TVLRGB{0x4C, 0x4C, 0x4C} : TVLRGB{0x71, 0x71, 0x71};
                if (transparent) {
                    EXPECT_EQ(p[3], 0) << x << "," << y;
                    continue;
                }
                // Pillow's 16-bit grey mode clips to 255 on the way to RGBA; the samples are
                // checked through the native reading below.
                if (c.Format == vl16g) continue;
                EXPECT_EQ((TVLRGB{p[2], p[1], p[0]}), expected) << x << "," << y;
                EXPECT_EQ(p[3], 255);
            }
        // Our reader gives the background and the resolution back.
        TVLBitmap back;
        TIOParamsVals read;
        ASSERT_FALSE(Read(ReadFileBytes(scratch.File("w.png")), back, read).Aborted);
        EXPECT_EQ(read.DpiX, 96);
        EXPECT_EQ(read.DpiY, 150);
        if (c.Format != vl8g && c.Format != vl16g) {
            EXPECT_EQ(read.PngBackground, red);
        }
        if (c.Format == vl16g) {
            // The whole 16-bit sample is written, not only its high byte.
            TVLBitmap native;
            read.NativePixelFormat = true;
            ASSERT_FALSE(Read(ReadFileBytes(scratch.File("w.png")), native, read).Aborted);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    EXPECT_EQ(native.GetPixel16(x, y), bitmap.GetPixel16(x, y));
        }
    }
}

TEST(WritePNGStream, FailuresAndShortWrites) {
    TVLBitmap bitmap(4, 4, vl24RGB);
    bitmap.Fill(0x0000FF);
    bitmap.SetPixelRGB(1, 1, TVLRGB{1, 2, 3});
    bitmap.SetPixelRGB(2, 1, TVLRGB{9, 2, 3});
    TIOParamsVals params;
    params.SamplesPerPixel = 1;
    params.BitsPerSample = 16;
    TMemoryStream stream;
    TVLProgressRecord progress;
    // A 16-bit palette image is refused by libpng.
    EXPECT_THROW(WritePNGStream(stream, bitmap, params, progress, nullptr), EInvalidGraphic);
    params.BitsPerSample = 4;
    WritePNGStream(stream, bitmap, params, progress, nullptr);
    EXPECT_EQ(params.BitsPerSample, 8);
    TVLBitmap empty;
    EXPECT_THROW(WritePNGStream(stream, empty, params, progress, nullptr), EInvalidGraphic);

    // A stream that takes nothing: the abort flag is set and the writer returns.
    class TFullStream : public TMemoryStream {
    public:
        int32_t Write(const void*, int32_t) override { return 0; }
    } full;
    bool aborted = false;
    progress.AbortFlag = &aborted;
    params.SamplesPerPixel = 3;
    WritePNGStream(full, bitmap, params, progress, nullptr);
    EXPECT_TRUE(aborted);
}
