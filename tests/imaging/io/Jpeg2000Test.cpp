// The JPEG 2000 adapter against OpenJPEG's own tools: files made by opj_compress read as
// opj_decompress decodes them, and our files decoded by opj_decompress.
#include "imaging/io/VLJpeg2000.h"

#include "imaging/core/VLColorHelpers.h"
#include "tests/imaging/io/IOTestSupport.h"

#include <cmath>
#include <functional>
#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

bool ToolsMissing() {
    return !ToolExists("opj_compress") || !ToolExists("opj_decompress");
}

// A decoded picture: Channels samples per pixel, interleaved, rows from the top.
struct TPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Channels = 0;
    int32_t MaxValue = 0;
    std::vector<int32_t> Samples;
    int32_t At(int32_t X, int32_t Y, int32_t C) const {
        return Samples[(static_cast<size_t>(Y) * Width + X) * Channels + C];
    }
};

// Reads a binary PGM or PPM as opj_decompress writes it (one comment line is allowed).
bool ParsePnm(const TBytes& File, TPicture& Picture) {
    std::string text(File.begin(), File.end());
    std::istringstream in(text);
    std::string magic;
    in >> magic;
    if (magic != "P5" && magic != "P6") return false;
    Picture.Channels = magic == "P5" ? 1 : 3;
    const auto skipComments = [&in] {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string line;
            std::getline(in, line);
            in >> std::ws;
        }
    };
    skipComments();
    in >> Picture.Width;
    skipComments();
    in >> Picture.Height;
    skipComments();
    in >> Picture.MaxValue;
    in.get();
    size_t pos = static_cast<size_t>(in.tellg());
    const size_t count = static_cast<size_t>(Picture.Width) * Picture.Height * Picture.Channels;
    const size_t bytes = Picture.MaxValue > 255 ? 2 : 1;
    if (File.size() < pos + count * bytes) return false;
    Picture.Samples.resize(count);
    for (size_t i = 0; i < count; ++i, pos += bytes)
        Picture.Samples[i] = bytes == 2 ? (File[pos] << 8) | File[pos + 1] : File[pos];
    return true;
}

// opj_decompress's picture of a JPEG 2000 file, through a PGM or PPM.
bool OpjDecode(const TScratch& Scratch, const std::string& File, bool Color, TPicture& Picture) {
    const std::string out = Scratch.File(Color ? "reference.ppm" : "reference.pgm");
    std::string ignored;
    return RunTool("opj_decompress -i '" + File + "' -o '" + out + "'", ignored) &&
           ParsePnm(ReadFileBytes(out), Picture);
}

// opj_decompress's planar samples of every component (all of the image's size): 8-bit and
// smaller samples as bytes, larger ones as little-endian 16-bit words.
bool OpjDecodeRaw(const TScratch& Scratch, const std::string& File, size_t Count, bool Wide,
                  std::vector<int32_t>& Samples) {
    const std::string out = Scratch.File("reference.raw");
    std::string ignored;
    if (!RunTool("opj_decompress -i '" + File + "' -o '" + out + "'", ignored)) return false;
    const TBytes raw = ReadFileBytes(out);
    if (raw.size() != Count * (Wide ? 2 : 1)) return false;
    Samples.resize(Count);
    for (size_t i = 0; i < Count; ++i)
        Samples[i] = Wide ? raw[2 * i] | (raw[2 * i + 1] << 8) : raw[i];
    return true;
}

struct TReadResult {
    bool Aborted = false;
    int32_t Percent = -1;
};

TReadResult Read(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                 bool ParamsOnly = false) {
    bool aborted = false;
    TReadResult result;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    progress.Handler = [&](TObject*, int32_t Percent) { result.Percent = Percent; };
    ReadJPEG2000Stream(Stream, Bitmap, Params, progress, ParamsOnly);
    result.Aborted = aborted;
    return result;
}

TReadResult Read(const TBytes& File, TVLBitmap& Bitmap, TIOParamsVals& Params,
                 bool ParamsOnly = false) {
    TMemoryStream stream;
    LoadStream(stream, File);
    return Read(stream, Bitmap, Params, ParamsOnly);
}

// Writes Bitmap; true when the abort flag stayed clear.
bool Write(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, int32_t Format) {
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    WriteJPEG2000Stream(Stream, Bitmap, Params, progress, Format);
    return !aborted;
}

// ---- Fixtures ----

constexpr int32_t FixtureWidth = 37, FixtureHeight = 29;

// opj_compress's raw input: components one after the other, each at its own size, one byte a
// sample up to 8 bits, two big-endian bytes above.
struct TRawComponent {
    int32_t Step = 1;
    std::function<int32_t(int32_t X, int32_t Y)> Sample;
};

TBytes RawPlanes(int32_t Width, int32_t Height, int32_t Bits,
                 const std::vector<TRawComponent>& Components) {
    TBytes raw;
    for (const TRawComponent& c : Components)
        for (int32_t y = 0; y < (Height + c.Step - 1) / c.Step; ++y)
            for (int32_t x = 0; x < (Width + c.Step - 1) / c.Step; ++x) {
                const int32_t v = c.Sample(x, y);
                if (Bits > 8) raw.push_back(static_cast<uint8_t>(v >> 8));
                raw.push_back(static_cast<uint8_t>(v));
            }
    return raw;
}

struct TOpjFixture {
    const char* Name;
    // Output extension: "j2k" or "jp2".
    const char* Kind;
    int32_t Width;
    int32_t Height;
    int32_t Bits;
    bool Signed;
    std::vector<TRawComponent> Components;
};

// opj_compress takes no 1-bit raw input: 1-bit fixtures go through an uncompressed TIFF with
// the samples of a pixel side by side, rows padded to whole bytes.
TBytes OneBitTiff(int32_t Width, int32_t Height, const std::vector<TRawComponent>& Components) {
    const auto samples = static_cast<uint16_t>(Components.size());
    TBytes pixels;
    for (int32_t y = 0; y < Height; ++y) {
        int32_t bit = 0;
        for (int32_t x = 0; x < Width; ++x)
            for (const TRawComponent& c : Components) {
                if (bit % 8 == 0) pixels.push_back(0);
                if (c.Sample(x, y) != 0) pixels.back() |= static_cast<uint8_t>(0x80 >> bit % 8);
                ++bit;
            }
    }
    TBytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto put = [&tiff](uint32_t Value, int32_t Bytes) {
        for (int32_t i = 0; i < Bytes; ++i)
            tiff.push_back(static_cast<uint8_t>(Value >> (8 * i)));
    };
    const uint32_t entries = 10, extra = 8 + 2 + entries * 12 + 4, data = extra + 6;
    put(entries, 2);
    const auto entry = [&put](uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
        put(Tag, 2);
        put(Type, 2);
        put(Count, 4);
        put(Value, 4);
    };
    entry(256, 4, 1, static_cast<uint32_t>(Width));
    entry(257, 4, 1, static_cast<uint32_t>(Height));
    entry(258, 3, samples, samples > 2 ? extra : 1);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, samples >= 3 ? 2 : 1);
    entry(273, 4, 1, data);
    entry(277, 3, 1, samples);
    entry(278, 4, 1, static_cast<uint32_t>(Height));
    entry(279, 4, 1, static_cast<uint32_t>(pixels.size()));
    entry(284, 3, 1, 1);
    put(0, 4);
    put(1, 2);
    put(1, 2);
    put(1, 2);
    tiff.insert(tiff.end(), pixels.begin(), pixels.end());
    return tiff;
}

// Compresses the fixture losslessly with opj_compress into the scratch folder.
bool MakeOpjFile(const TScratch& Scratch, const TOpjFixture& Fixture, std::string& File) {
    std::string source, layout;
    if (Fixture.Bits == 1) {
        source = Scratch.File("source.tif");
        WriteBytes(source, OneBitTiff(Fixture.Width, Fixture.Height, Fixture.Components));
    } else {
        source = Scratch.File("source.raw");
        WriteBytes(source,
                   RawPlanes(Fixture.Width, Fixture.Height, Fixture.Bits, Fixture.Components));
        layout = " -F " + std::to_string(Fixture.Width) + "," + std::to_string(Fixture.Height) +
                 "," + std::to_string(Fixture.Components.size()) + "," +
                 std::to_string(Fixture.Bits) + "," + (Fixture.Signed ? "s" : "u");
        for (size_t c = 0; c < Fixture.Components.size(); ++c) {
            const std::string step = std::to_string(Fixture.Components[c].Step);
            layout += (c == 0 ? "@" : ":") + step + "x" + step;
        }
    }
    File = Scratch.File(std::string("fixture.") + Fixture.Kind);
    std::string ignored;
    return RunTool("opj_compress -n 3 -i '" + source + "' -o '" + File + "'" + layout, ignored);
}

TRawComponent Pattern(int32_t Bits, int32_t A, int32_t B) {
    const int32_t range = 1 << Bits;
    return {1, [=](int32_t X, int32_t Y) { return (X * A + Y * B) % range; }};
}

// The same over the signed range, -2^(Bits-1) to 2^(Bits-1) - 1.
TRawComponent SignedPattern(int32_t Bits, int32_t A, int32_t B) {
    const int32_t range = 1 << Bits;
    return {1, [=](int32_t X, int32_t Y) { return (X * A + Y * B) % range - range / 2; }};
}

// Grey of one pixel as our bitmap holds it; 1-bit pixels as 0 or 255.
TVLRGB PixelOf(TVLBitmap& Bitmap, int32_t X, int32_t Y) {
    if (Bitmap.GetPixelFormat() == vl1g) {
        const uint8_t v = GetRowBit(Bitmap.GetScanline(Y), X) != 0 ? 255 : 0;
        return {v, v, v};
    }
    return Bitmap.GetPixelAsRGB(X, Y);
}

// The 8-bit value of a reference sample: as it is at 8 bits, its top 8 bits above, scaled so
// that the largest value is 255 below.
int32_t To8Bits(int32_t Sample, int32_t MaxValue) {
    if (MaxValue == 255) return Sample;
    if (MaxValue > 255) {
        int32_t shift = 0;
        while ((MaxValue >> shift) > 255)
            ++shift;
        return Sample >> shift;
    }
    return static_cast<int32_t>(std::lround(Sample * 255.0 / MaxValue));
}

} // namespace

TEST(ReadJPEG2000Stream, OpjCompressFilesEqualOpjDecompress) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    InitializeJpeg2000Unit();
    const int32_t w = FixtureWidth, h = FixtureHeight;
    struct TCase {
        TOpjFixture Fixture;
        TVLPixelFormat Format;
        // Largest difference allowed per channel.
        int32_t Tolerance;
    };
    const TRawComponent luma{1, [](int32_t X, int32_t Y) { return (X * 7 + Y * 5) % 256; }};
    const TRawComponent cb{2, [](int32_t X, int32_t Y) { return 40 + (X * 23 + Y * 3) % 180; }};
    const TRawComponent cr{2, [](int32_t X, int32_t Y) { return 30 + (X * 5 + Y * 29) % 200; }};
    const std::vector<TCase> cases = {
        {{"8-bit grey", "j2k", w, h, 8, false, {Pattern(8, 7, 3)}}, vl24RGB, 0},
        {{"8-bit RGB",
          "jp2",
          w,
          h,
          8,
          false,
          {Pattern(8, 7, 3), Pattern(8, 11, 13), Pattern(8, 5, 17)}},
         vl24RGB,
         0},
        {{"8-bit RGB codestream",
          "j2k",
          w,
          h,
          8,
          false,
          {Pattern(8, 3, 7), Pattern(8, 13, 11), Pattern(8, 17, 5)}},
         vl24RGB,
         0},
        {{"12-bit grey", "j2k", w, h, 12, false, {Pattern(12, 611, 97)}}, vl24RGB, 0},
        {{"16-bit RGB",
          "jp2",
          w,
          h,
          16,
          false,
          {Pattern(16, 611, 97), Pattern(16, 1001, 3), Pattern(16, 7, 4099)}},
         vl24RGB,
         0},
        {{"4:2:0 YCbCr", "jp2", 32, 24, 8, false, {luma, cb, cr}}, vl24RGB, 1},
        {{"odd-sized 4:2:0 YCbCr", "jp2", w, h, 8, false, {luma, cb, cr}}, vl24RGB, 1},
        {{"1-bit grey", "j2k", w, h, 1, false, {Pattern(1, 1, 1)}}, vl1g, 0},
        {{"1-bit RGB",
          "j2k",
          w,
          h,
          1,
          false,
          {Pattern(1, 1, 1), Pattern(1, 1, 0), Pattern(1, 0, 1)}},
         vl24RGB,
         0},
        {{"4-bit grey", "jp2", w, h, 4, false, {Pattern(4, 3, 1)}}, vl24RGB, 0},
        {{"4-bit RGB",
          "j2k",
          w,
          h,
          4,
          false,
          {Pattern(4, 3, 1), Pattern(4, 1, 5), Pattern(4, 7, 2)}},
         vl24RGB,
         0},
        {{"signed 8-bit grey", "j2k", w, h, 8, true, {SignedPattern(8, 37, 11)}}, vl24RGB, 0},
        {{"signed 12-bit RGB",
          "jp2",
          w,
          h,
          12,
          true,
          {SignedPattern(12, 611, 97), SignedPattern(12, 97, 611), SignedPattern(12, 1001, 3)}},
         vl24RGB,
         0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fixture.Name);
        TScratch scratch;
        std::string file;
        ASSERT_TRUE(MakeOpjFile(scratch, c.Fixture, file));
        const bool color = c.Fixture.Components.size() == 3;
        TPicture reference;
        ASSERT_TRUE(OpjDecode(scratch, file, color, reference));
        ASSERT_EQ(reference.Width, c.Fixture.Width);
        ASSERT_EQ(reference.Height, c.Fixture.Height);

        TVLBitmap bitmap;
        TIOParamsVals params;
        const TReadResult result = Read(ReadFileBytes(file), bitmap, params);
        ASSERT_FALSE(result.Aborted);
        EXPECT_EQ(result.Percent, 100);
        ASSERT_EQ(bitmap.GetPixelFormat(), c.Format);
        ASSERT_EQ(bitmap.GetWidth(), c.Fixture.Width);
        ASSERT_EQ(bitmap.GetHeight(), c.Fixture.Height);
        EXPECT_EQ(params.Width, c.Fixture.Width);
        EXPECT_EQ(params.OriginalHeight, c.Fixture.Height);
        EXPECT_EQ(params.BitsPerSample, c.Fixture.Bits);
        EXPECT_EQ(params.SamplesPerPixel, color ? 3 : 1);
        int32_t worst = 0;
        for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
            for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                const TVLRGB got = PixelOf(bitmap, x, y);
                const int32_t channels[3] = {got.r, got.g, got.b};
                for (int32_t ch = 0; ch < 3; ++ch) {
                    const int32_t expected =
                        To8Bits(reference.At(x, y, color ? ch : 0), reference.MaxValue);
                    const int32_t wanted = c.Format == vl1g ? (expected != 0 ? 255 : 0) : expected;
                    worst = std::max(worst, std::abs(channels[ch] - wanted));
                }
            }
        EXPECT_LE(worst, c.Tolerance);
    }
}

// Low precisions fill the 8-bit range and signed samples are moved to the middle: the extreme
// samples of each read as 0 and 255.
TEST(ReadJPEG2000Stream, ExtremeSamplesReachBlackAndWhite) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    struct TCase {
        int32_t Bits;
        bool Signed;
        int32_t Black;
        int32_t White;
    };
    for (const TCase c : {TCase{1, false, 0, 1}, TCase{4, false, 0, 15}, TCase{6, false, 0, 63},
                          TCase{8, true, -128, 127}, TCase{12, true, -2048, 2047}}) {
        SCOPED_TRACE(std::to_string(c.Bits) + (c.Signed ? " signed" : ""));
        TScratch scratch;
        const TRawComponent half{
            1, [&c](int32_t X, int32_t) { return X < FixtureWidth / 2 ? c.Black : c.White; }};
        std::string file;
        ASSERT_TRUE(MakeOpjFile(
            scratch,
            {"extremes", "jp2", FixtureWidth, FixtureHeight, c.Bits, c.Signed, {half, half, half}},
            file));
        TVLBitmap bitmap;
        TIOParamsVals params;
        ASSERT_FALSE(Read(ReadFileBytes(file), bitmap, params).Aborted);
        EXPECT_EQ(bitmap.GetPixelAsRGB(0, 3), (TVLRGB{0, 0, 0}));
        EXPECT_EQ(bitmap.GetPixelAsRGB(FixtureWidth - 1, 3), (TVLRGB{255, 255, 255}));
    }
}

TEST(ReadJPEG2000Stream, ParamsOnlyAndStreamsAtAnOffset) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    TScratch scratch;
    std::string file;
    ASSERT_TRUE(MakeOpjFile(
        scratch, {"grey", "jp2", FixtureWidth, FixtureHeight, 12, false, {Pattern(12, 611, 97)}},
        file));
    const TBytes bytes = ReadFileBytes(file);
    TVLBitmap bitmap;
    TIOParamsVals params;
    params.BitsPerSample = 3;
    const TReadResult result = Read(bytes, bitmap, params, true);
    EXPECT_FALSE(result.Aborted);
    EXPECT_EQ(params.Width, FixtureWidth);
    EXPECT_EQ(params.OriginalWidth, FixtureWidth);
    EXPECT_EQ(params.Height, FixtureHeight);
    EXPECT_EQ(params.BitsPerSample, 12);
    EXPECT_EQ(params.SamplesPerPixel, 1);
    EXPECT_EQ(params.DpiX, DefaultDpiX);
    EXPECT_EQ(bitmap.GetWidth(), 0);

    // The same file behind 100 other bytes, read from there.
    TMemoryStream stream;
    TBytes prefixed(100, 0x55);
    prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
    LoadStream(stream, prefixed);
    stream.SetPosition(100);
    TVLBitmap shifted, plain;
    TIOParamsVals p1, p2;
    ASSERT_FALSE(Read(stream, shifted, p1).Aborted);
    ASSERT_FALSE(Read(bytes, plain, p2).Aborted);
    ASSERT_EQ(shifted.GetWidth(), FixtureWidth);
    for (int32_t y = 0; y < FixtureHeight; ++y)
        EXPECT_EQ(0, std::memcmp(shifted.GetScanline(y), plain.GetScanline(y), 3 * FixtureWidth));
}

TEST(JPEG2000Probes, SignaturesAtThePositionOnly) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    TScratch scratch;
    std::string jp2, j2k;
    const TOpjFixture grey{"grey", "jp2", 16, 16, 8, false, {Pattern(8, 3, 5)}};
    TOpjFixture codestream = grey;
    codestream.Kind = "j2k";
    ASSERT_TRUE(MakeOpjFile(scratch, grey, jp2));
    ASSERT_TRUE(MakeOpjFile(scratch, codestream, j2k));
    struct TCase {
        const char* Name;
        TBytes Bytes;
        int64_t Position;
        bool JP2;
        bool J2K;
    };
    TBytes shifted(3, 0);
    const TBytes jp2Bytes = ReadFileBytes(jp2);
    shifted.insert(shifted.end(), jp2Bytes.begin(), jp2Bytes.end());
    const std::vector<TCase> cases = {
        {"jp2", jp2Bytes, 0, true, false},
        {"j2k", ReadFileBytes(j2k), 0, false, true},
        {"jp2 behind three bytes", shifted, 0, false, false},
        {"jp2 read from its start", shifted, 3, true, false},
        {"signature cut short", TBytes(jp2Bytes.begin(), jp2Bytes.begin() + 11), 0, false, false},
        {"SOC without SIZ", {0xFF, 0x4F, 0xFF, 0x52, 0, 0}, 0, false, false},
        {"empty", {}, 0, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream stream;
        LoadStream(stream, c.Bytes);
        stream.SetPosition(c.Position);
        EXPECT_EQ(IsJP2Stream(stream), c.JP2);
        EXPECT_EQ(stream.GetPosition(), c.Position);
        EXPECT_EQ(IsJ2KStream(stream), c.J2K);
        EXPECT_EQ(stream.GetPosition(), c.Position);
    }
}

// Truncated, damaged and foreign data set the abort flag and never crash.
TEST(ReadJPEG2000Stream, BadDataAborts) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    TScratch scratch;
    for (const char* kind : {"jp2", "j2k"}) {
        SCOPED_TRACE(kind);
        std::string file;
        ASSERT_TRUE(MakeOpjFile(scratch,
                                {"rgb",
                                 kind,
                                 64,
                                 48,
                                 8,
                                 false,
                                 {Pattern(8, 7, 3), Pattern(8, 11, 13), Pattern(8, 5, 17)}},
                                file));
        const TBytes bytes = ReadFileBytes(file);
        for (const size_t length :
             {size_t{4}, size_t{12}, size_t{60}, size_t{120}, bytes.size() / 2, bytes.size() - 3}) {
            SCOPED_TRACE(length);
            TVLBitmap bitmap;
            TIOParamsVals params;
            EXPECT_TRUE(
                Read(TBytes(bytes.begin(), bytes.begin() + length), bitmap, params).Aborted);
        }
        // Seeded damage past the headers: decoding either fails cleanly or gives a picture.
        std::mt19937 random(2000);
        for (int32_t round = 0; round < 40; ++round) {
            TBytes damaged = bytes;
            for (int32_t i = 0; i < 6; ++i)
                damaged[40 + random() % (damaged.size() - 40)] = static_cast<uint8_t>(random());
            TVLBitmap bitmap;
            TIOParamsVals params;
            Read(damaged, bitmap, params);
        }
    }
    // A codestream header promising a picture of 60,000 x 60,000 with nothing after it.
    const TBytes huge = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x60,
                         0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x07, 0x01, 0x01, 0xFF, 0xD9};
    TVLBitmap bitmap;
    TIOParamsVals params;
    EXPECT_TRUE(Read(huge, bitmap, params).Aborted);
    EXPECT_TRUE(Read(TBytes(300, 'x'), bitmap, params).Aborted);
}

// A codestream of one 16 x 16 tile whose header is changed to declare a row of 4,096 such tiles:
// the stream cannot hold the tile-parts they need, so it is refused before OpenJPEG builds and
// decodes every missing tile.
TEST(ReadJPEG2000Stream, MoreTilesThanTheStreamCanHoldAbort) {
    TVLBitmap source;
    ASSERT_TRUE(source.Allocate(16, 16, vl24RGB));
    source.Fill(0x336699);
    TIOParamsVals written;
    TMemoryStream stream;
    ASSERT_TRUE(Write(stream, source, written, 1));
    TBytes bytes = StreamBytes(stream);
    // SIZ: Xsiz at byte 8, XTsiz at byte 24, both big-endian.
    ASSERT_GT(bytes.size(), 28u);
    ASSERT_EQ(TBytes(bytes.begin() + 24, bytes.begin() + 28), (TBytes{0, 0, 0, 16}));
    TBytes wide = bytes;
    const uint32_t width = 16 * 4096;
    for (int i = 0; i < 4; ++i)
        wide[8 + i] = uint8_t(width >> (24 - 8 * i));
    for (const bool paramsOnly : {false, true}) {
        SCOPED_TRACE(paramsOnly ? "parameters only" : "picture");
        TVLBitmap bitmap;
        TIOParamsVals params;
        EXPECT_TRUE(Read(wide, bitmap, params, paramsOnly).Aborted);
        EXPECT_TRUE(bitmap.IsEmpty());
    }
    // The stream as written still reads.
    TVLBitmap bitmap;
    TIOParamsVals params;
    EXPECT_FALSE(Read(bytes, bitmap, params).Aborted);
    EXPECT_EQ(bitmap.GetWidth(), 16);
}

namespace {

// A bitmap of seeded random pixels; grey pixels only when Gray.
void RandomBitmap(TVLBitmap& Bitmap, int32_t Width, int32_t Height, TVLPixelFormat Format,
                  uint32_t Seed, bool Gray = false) {
    ASSERT_TRUE(Bitmap.Allocate(Width, Height, Format));
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            row[i] = static_cast<uint8_t>(random());
        if (Gray && Format == vl24RGB)
            for (int32_t x = 0; x < Width; ++x)
                row[3 * x + 1] = row[3 * x + 2] = row[3 * x];
    }
}

// Fields of opj_dump's report on a file, e.g. "prg=0x1".
bool OpjDumpHas(const std::string& File, const std::string& Field) {
    std::string report;
    return RunTool("opj_dump -i '" + File + "'", report) && report.find(Field) != std::string::npos;
}

// A stream that takes Limit bytes and then refuses every write.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int64_t Limit) : FLimit(Limit) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        const auto room =
            static_cast<int32_t>(std::clamp<int64_t>(FLimit - GetPosition(), 0, Count));
        return room > 0 ? TMemoryStream::Write(Buffer, room) : 0;
    }

private:
    int64_t FLimit;
};

} // namespace

// Writes at rate 1 are lossless: opj_decompress gives back every sample.
TEST(WriteJPEG2000Stream, LosslessFilesDecodeEqualInOpjDecompress) {
    if (ToolsMissing()) GTEST_SKIP() << "OpenJPEG tools missing";
    struct TCase {
        const char* Name;
        TVLPixelFormat Format;
        bool Gray;
        bool Alpha;
        TVLJ2000ColorSpace ColorSpace;
        int32_t Bits;
        int32_t FileFormat;
        TVLJ2000Progression Progression;
        // Components in the file and their precision.
        int32_t Components;
        int32_t Precision;
    };
    const TCase cases[] = {
        {"RGB jp2", vl24RGB, false, false, j2RGB, 8, 0, j2LRCP, 3, 8},
        {"RGB codestream in RLCP", vl24RGB, false, false, j2RGB, 8, 1, j2RLCP, 3, 8},
        {"YCbCr is written as RGB", vl24RGB, false, false, j2YCbCr, 8, 0, j2LRCP, 3, 8},
        {"grey", vl24RGB, true, false, j2GrayScale, 8, 1, j2LRCP, 1, 8},
        {"1-bit asked for RGB", vl1g, false, false, j2RGB, 8, 0, j2LRCP, 1, 1},
        {"RGB with opacity", vl24RGB, false, true, j2RGB, 8, 0, j2RLCP, 4, 8},
        {"12-bit RGB", vl24RGB, false, false, j2RGB, 12, 1, j2LRCP, 3, 12},
        {"8-bit grey bitmap", vl8g, false, false, j2RGB, 8, 0, j2LRCP, 3, 8},
    };
    const int32_t width = 45, height = 31;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScratch scratch;
        TVLBitmap bitmap;
        RandomBitmap(bitmap, width, height, c.Format, 20, c.Gray);
        if (c.Alpha) {
            TVLBitmap alpha;
            RandomBitmap(alpha, width, height, vl8g, 21);
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    bitmap.SetAlphaPixel(x, y, alpha.GetScanline(y)[x]);
            bitmap.GetAlphaChannel()->Full = false;
        }
        TIOParamsVals params;
        params.J2000ColorSpace = c.ColorSpace;
        params.BitsPerSample = c.Bits;
        params.J2000Progression = c.Progression;
        params.J2000Rate = 1.0;
        TMemoryStream stream;
        ASSERT_TRUE(Write(stream, bitmap, params, c.FileFormat));
        EXPECT_EQ(params.BitsPerSample, c.Precision);
        if (c.Format == vl1g) {
            EXPECT_EQ(params.J2000ColorSpace, j2GrayScale);
        }
        stream.SetPosition(0);
        EXPECT_EQ(IsJP2Stream(stream), c.FileFormat == 0);
        EXPECT_EQ(IsJ2KStream(stream), c.FileFormat == 1);

        const std::string file = scratch.File(c.FileFormat == 0 ? "ours.jp2" : "ours.j2k");
        WriteBytes(file, StreamBytes(stream));
        EXPECT_TRUE(OpjDumpHas(file, c.Progression == j2RLCP ? "prg=0x1" : "prg=0\n"));
        const size_t plane = static_cast<size_t>(width) * height;
        std::vector<int32_t> samples;
        ASSERT_TRUE(OpjDecodeRaw(scratch, file, plane * c.Components, c.Precision > 8, samples));
        int32_t mismatches = 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const size_t at = static_cast<size_t>(y) * width + x;
                const auto top8 = [&](int32_t Component) {
                    return samples[Component * plane + at] >> (c.Precision - 8);
                };
                if (c.Format == vl1g) {
                    mismatches += samples[at] != (GetRowBit(bitmap.GetScanline(y), x) != 0);
                    continue;
                }
                const TVLRGB pixel = bitmap.GetPixelAsRGB(x, y);
                mismatches += top8(0) != pixel.r;
                if (c.Components == 1) continue;
                mismatches += top8(1) != pixel.g;
                mismatches += top8(2) != pixel.b;
                if (c.Components == 4) mismatches += top8(3) != bitmap.GetAlphaPixel(x, y);
            }
        EXPECT_EQ(mismatches, 0);
    }
}

// OpenJPEG's offsets count from where the writer started: a JP2 written behind other bytes is
// the same file, and reads back.
TEST(WriteJPEG2000Stream, WritesFromTheStreamPosition) {
    TVLBitmap bitmap;
    RandomBitmap(bitmap, 40, 30, vl24RGB, 7);
    TIOParamsVals params;
    TMemoryStream plain, shifted;
    ASSERT_TRUE(Write(plain, bitmap, params, 0));
    const TBytes prefix(50, 0xAA);
    shifted.WriteBuffer(prefix.data(), 50);
    ASSERT_TRUE(Write(shifted, bitmap, params, 0));
    const TBytes a = StreamBytes(plain), b = StreamBytes(shifted);
    ASSERT_EQ(b.size(), a.size() + 50);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin() + 50));
    shifted.SetPosition(50);
    TVLBitmap back;
    TIOParamsVals readParams;
    ASSERT_FALSE(Read(shifted, back, readParams).Aborted);
    for (int32_t y = 0; y < 30; ++y)
        EXPECT_EQ(0, std::memcmp(back.GetScanline(y), bitmap.GetScanline(y), 120));
}

// A rate below 1 keeps that share of the raw size.
TEST(WriteJPEG2000Stream, RateSetsTheCompressedSize) {
    const int32_t width = 128, height = 96;
    TVLBitmap bitmap;
    RandomBitmap(bitmap, width, height, vl24RGB, 11);
    const double raw = 3.0 * width * height;
    for (const double rate : {0.1, 0.25}) {
        SCOPED_TRACE(rate);
        for (const int32_t format : {0, 1}) {
            TIOParamsVals params;
            params.J2000Rate = rate;
            TMemoryStream stream;
            ASSERT_TRUE(Write(stream, bitmap, params, format));
            const double share = static_cast<double>(stream.GetSize()) / raw;
            EXPECT_GT(share, rate * 0.8);
            EXPECT_LT(share, rate * 1.1);
        }
    }
}

// The encoder's failures reach the abort flag instead of passing for a written file.
TEST(WriteJPEG2000Stream, FailuresSetTheAbortFlag) {
    TVLBitmap bitmap;
    RandomBitmap(bitmap, 40, 30, vl24RGB, 5);
    {
        SCOPED_TRACE("colour space past YCbCr");
        TIOParamsVals params;
        params.J2000ColorSpace = static_cast<TVLJ2000ColorSpace>(3);
        TMemoryStream stream;
        EXPECT_FALSE(Write(stream, bitmap, params, 0));
        EXPECT_EQ(stream.GetSize(), 0);
    }
    {
        SCOPED_TRACE("unknown file format");
        TIOParamsVals params;
        TMemoryStream stream;
        EXPECT_FALSE(Write(stream, bitmap, params, 2));
        EXPECT_EQ(stream.GetSize(), 0);
    }
    for (const int64_t limit : {0, 20, 400}) {
        for (const int32_t format : {0, 1}) {
            SCOPED_TRACE(std::to_string(limit) + " bytes, format " + std::to_string(format));
            TIOParamsVals params;
            TShortStream stream(limit);
            EXPECT_FALSE(Write(stream, bitmap, params, format));
        }
    }
    {
        SCOPED_TRACE("stopped by the progress handler");
        TIOParamsVals params;
        TMemoryStream stream;
        bool aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        progress.Handler = [&aborted](TObject*, int32_t Percent) { aborted = Percent >= 50; };
        WriteJPEG2000Stream(stream, bitmap, params, progress, 0);
        EXPECT_TRUE(aborted);
        EXPECT_EQ(stream.GetSize(), 0);
    }
}

// The YCbCr tables against the BT.601 conversion (nearest integers; the single-precision factors
// may round a tie either way), and built at the unit's place in the library
// start-up.
TEST(Jpeg2000Unit, StartUpBuildsTheYCbCrTables) {
    J2KCrToR.fill(0);
    J2KCbToG.fill(0);
    RegisterJpeg2000Unit();
    InitializeLibrary();
    for (int32_t i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const double d = i - 128;
        EXPECT_LE(std::abs(J2KCrToR[i] - 1.402 * d), 0.5001);
        EXPECT_LE(std::abs(J2KCbToB[i] - 1.772 * d), 0.5001);
        EXPECT_LE(std::abs(J2KCrToG[i] + 0.714136 * d), 0.5001);
        EXPECT_LE(std::abs(J2KCbToG[i] + 0.344136 * d), 0.5001);
    }
    FinalizeLibrary();
}
