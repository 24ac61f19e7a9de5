// Pictures whose headers declare far more than their data can hold: every reader refuses them
// before allocating the bitmap, while real files of extreme but valid proportions still open.
// The allocation floor is lowered, so that pictures of a few megabytes stand for the huge ones
// and a reader that wrongly allocates costs the test little.
#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLTiffLZW.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"
#include "tests/imaging/io/IOComponentSupport.h"

#include <zlib.h>

#include <functional>

namespace {

constexpr int64_t TestFloor = int64_t{1} << 20;
// Lowered too, but not as far as the floor: storage per input byte does not shrink with the
// picture, and the real files below reach about 25,000 (a flat palette PNG shown at 24 bits).
constexpr int64_t TestStoragePerInputByte = 32768;

// ---- Tiny files declaring big pictures --------------------------------------------------

std::string TiffDeclaring(int32_t W, int32_t H, int32_t Samples, int32_t Bits, int32_t Compression,
                          const std::string& Data, int32_t Photometric = 2) {
    TTestTiff tiff(true);
    tiff.Data = Data;
    std::vector<TTestEntry> entries = {
        {256, 4, {W}},           {257, 4, {H}},           {258, 3, {Bits}},
        {259, 3, {Compression}}, {262, 3, {Photometric}}, {273, 4, {8}},
        {277, 3, {Samples}},     {278, 4, {H}},           {279, 4, {int64_t(Data.size())}}};
    if (Samples == 4) entries.push_back({338, 3, {2}});
    return tiff.IFD(entries).Build();
}

void PutBig32(std::string& Out, uint32_t V) {
    for (int shift = 24; shift >= 0; shift -= 8)
        Out += char((V >> shift) & 0xFF);
}

std::string PngChunk(const std::string& Type, const std::string& Data) {
    std::string out;
    PutBig32(out, uint32_t(Data.size()));
    const std::string body = Type + Data;
    out += body;
    PutBig32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
    return out;
}

// A PSD whose merged picture and single layer both cover W x H, with a few packed bytes each.
std::string PsdDeclaring(uint32_t W, uint32_t H) {
    std::string psd("8BPS\x00\x01\x00\x00\x00\x00\x00\x00\x00\x03", 14);
    PutBig32(psd, H);
    PutBig32(psd, W);
    psd += std::string("\x00\x08\x00\x03", 4) + std::string(8, '\0');
    const std::string channel("\x00\x01\x00\x02\x81\x00\x81\x00", 8);
    std::string info("\x00\x01", 2);
    PutBig32(info, 0);
    PutBig32(info, 0);
    PutBig32(info, H);
    PutBig32(info, W);
    info += std::string("\x00\x03", 2);
    for (int id = 0; id < 3; ++id) {
        info += std::string("\x00", 1) + char(id);
        PutBig32(info, uint32_t(channel.size()));
    }
    info += std::string("8BIMnorm\xff\x00\x00\x00", 12) + std::string("\x00\x00\x00\x08", 4) +
            std::string(8, '\0');
    for (int id = 0; id < 3; ++id)
        info += channel;
    std::string section;
    PutBig32(section, uint32_t(info.size()));
    section += info + std::string(4, '\0');
    PutBig32(psd, uint32_t(section.size()));
    return psd + section + channel;
}

// An IHDR and the first bytes of a deflate stream of zero rows; no IEND.
std::string PngDeclaring(uint32_t W, uint32_t H, uint8_t ColorType, uint8_t Interlace) {
    std::string ihdr;
    PutBig32(ihdr, W);
    PutBig32(ihdr, H);
    ihdr += {8, char(ColorType), 0, 0, char(Interlace)};
    std::vector<Bytef> zipped(256);
    uLongf size = zipped.size();
    const std::vector<Bytef> zeros(100, 0);
    compress(zipped.data(), &size, zeros.data(), zeros.size());
    return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) +
           PngChunk("IDAT", std::string(zipped.begin(), zipped.begin() + 20));
}

// A run-length 8-bit PCX header of W x H and two runs.
std::string PcxDeclaring(uint32_t W, uint32_t H) {
    std::string header(128, '\0');
    header[0] = 10, header[1] = 5, header[2] = 1, header[3] = 8;
    header[8] = char(W - 1), header[9] = char((W - 1) >> 8);
    header[10] = char(H - 1), header[11] = char((H - 1) >> 8);
    header[65] = 1, header[66] = char(W), header[67] = char(W >> 8);
    return header + "\xFF\x01\xFF\x01";
}

// A run-length 24-bit Targa header of W x H and one run packet.
std::string TgaDeclaring(uint32_t W, uint32_t H) {
    std::string header(18, '\0');
    header[2] = 10;
    header[12] = char(W), header[13] = char(W >> 8);
    header[14] = char(H), header[15] = char(H >> 8);
    header[16] = 24;
    return header + "\xFF\x01\x02\x03";
}

// A JPEG with its frame header's size raised to W x H, cut before EOI.
std::string RaiseFrameSize(const TBytes& Jpeg, uint16_t W, uint16_t H) {
    std::string out(Jpeg.begin(), Jpeg.end() - 2);
    for (size_t i = 2; i + 9 < out.size();) {
        const uint8_t marker = uint8_t(out[i + 1]);
        if (marker == 0xC0 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA) {
            out[i + 5] = char(H >> 8);
            out[i + 6] = char(H);
            out[i + 7] = char(W >> 8);
            out[i + 8] = char(W);
            break;
        }
        i += 2 + ((uint8_t(out[i + 2]) << 8) | uint8_t(out[i + 3]));
    }
    return out;
}

// A 16 x 16 JPEG of our own writer declaring W x H.
std::string JpegDeclaring(uint16_t W, uint16_t H, bool Progressive) {
    TScratch dir;
    TCountingIO c;
    FillPicture(c.Bitmap(), 16, 16, TVLPixelFormat::vl24RGB);
    c.IO.IOParams().JpegProgressive = Progressive;
    c.IO.SaveToFileJPEG(Wide(dir.File("small.jpg")));
    return RaiseFrameSize(ReadFileBytes(dir.File("small.jpg")), W, H);
}

// An animation of two 1 x 1 frames on a W x H logical screen.
std::string GifScreen(uint16_t W, uint16_t H) {
    std::string out = "GIF89a";
    out += {char(W), char(W >> 8), char(H), char(H >> 8), char(0x80), 0, 0};
    out += std::string("\0\0\0\xff\xff\xff", 6);
    for (int frame = 0; frame < 2; ++frame) {
        out += std::string("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);
        out += std::string("\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x4c\x01\0", 15);
    }
    return out + "\x3b";
}

struct TDeclaredCase {
    const char* Name;
    const char* Extension;
    std::function<std::string()> Make;
    // Size a parameters-only read reports; 0 when the format reports another size.
    int32_t Width;
    int32_t Height;
};

std::ostream& operator<<(std::ostream& Out, const TDeclaredCase& Case) {
    return Out << Case.Name;
}

const std::vector<TDeclaredCase>& DeclaredCases() {
    static const std::vector<TDeclaredCase> cases = {
        {"TiffUncompressed", "tif", [] { return TiffDeclaring(4000, 4000, 3, 8, 1, "0123"); }, 4000,
         4000},
        {"TiffLZW", "tif",
         [] { return TiffDeclaring(20000, 20000, 3, 8, 5, std::string("\x80\x00\x20\x00", 4)); },
         20000, 20000},
        {"TiffDeflate", "tif",
         [] { return TiffDeclaring(20000, 20000, 3, 8, 8, std::string("\x78\x9c\x63\x00", 4)); },
         20000, 20000},
        {"TiffPackBits", "tif",
         [] { return TiffDeclaring(4000, 4000, 3, 8, 32773, std::string("\x81\x00\x81\x00", 4)); },
         4000, 4000},
        {"TiffGroup4", "tif",
         [] { return TiffDeclaring(20000, 20000, 1, 1, 4, std::string(4, '\xff'), 0); }, 20000,
         20000},
        // A blank fax row costs one bit whatever its width.
        {"TiffWideGroup4", "tif",
         [] { return TiffDeclaring(4000000, 16, 1, 1, 4, std::string(4, '\xff'), 0); }, 4000000,
         16},
        {"TiffJpeg", "tif", [] { return TiffDeclaring(20000, 20000, 3, 8, 7, "\xff\xd8\xff"); },
         20000, 20000},
        {"TiffAlpha", "tif", [] { return TiffDeclaring(2000, 2000, 4, 8, 1, "0123"); }, 2000, 2000},
        {"PngTruncated", "png", [] { return PngDeclaring(20000, 20000, 2, 0); }, 20000, 20000},
        {"PngInterlacedAlpha", "png", [] { return PngDeclaring(20000, 20000, 6, 1); }, 20000,
         20000},
        {"JpegBaseline", "jpg", [] { return JpegDeclaring(20000, 20000, false); }, 20000, 20000},
        {"JpegProgressive", "jpg", [] { return JpegDeclaring(20000, 20000, true); }, 20000, 20000},
        {"GifAnimationScreen", "gif", [] { return GifScreen(4000, 4000); }, 0, 0},
        {"PnmPixmap", "ppm", [] { return std::string("P6\n60000 60000\n255\nabcd"); }, 60000,
         60000},
        {"PnmGreyMap", "pgm", [] { return std::string("P5 60000 60000 65535\nab"); }, 60000, 60000},
        {"PsdLayerAndComposite", "psd", [] { return PsdDeclaring(30000, 30000); }, 30000, 30000},
        {"PcxRunLength", "pcx", [] { return PcxDeclaring(65535, 65535); }, 65535, 65535},
        {"TgaRunLength", "tga", [] { return TgaDeclaring(65535, 65535); }, 65535, 65535},
    };
    return cases;
}

// Each test runs with the lowered floor and its own component and scratch folder.
class TLoweredFloor : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFileFormatRegistry();
        FSavedFloor = PlausibleAllocationFloor;
        FSavedStorage = PlausibleStoragePerInputByte;
        PlausibleAllocationFloor = TestFloor;
        PlausibleStoragePerInputByte = TestStoragePerInputByte;
        // The decoders the I/O unit's start-up makes the defaults, on this record alone.
        C.IO.IOParams().TiffLZWDecompress = TiffLZWDecode;
        C.IO.IOParams().GifLZWDecompress = GifLZWDecode;
    }
    void TearDown() override {
        PlausibleAllocationFloor = FSavedFloor;
        PlausibleStoragePerInputByte = FSavedStorage;
    }
    TScratch Dir;
    TCountingIO C;

private:
    int64_t FSavedFloor = 0;
    int64_t FSavedStorage = 0;
};

class DeclaredSize : public TLoweredFloor, public ::testing::WithParamInterface<TDeclaredCase> {};

TEST_P(DeclaredSize, TinyFileDeclaringAHugePictureAbortsWithoutABitmap) {
    const TDeclaredCase& row = GetParam();
    const std::string file = Dir.File(std::string("huge.") + row.Extension);
    WriteFileBytes(file, row.Make());
    C.IO.LoadFromFile(Wide(file));
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_TRUE(C.Bitmap().IsEmpty());
    if (row.Width == 0) return;
    // A size query still reports what the header declares.
    C.IO.ParamsFromFile(Wide(file));
    EXPECT_EQ(C.IO.IOParams().Width, row.Width);
    EXPECT_EQ(C.IO.IOParams().Height, row.Height);
    EXPECT_TRUE(C.Bitmap().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Formats, DeclaredSize, ::testing::ValuesIn(DeclaredCases()),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Arithmetic coding can spend less than a bit on a block: the storage bound alone refuses a
// small file's claim to a huge picture.
class ArithmeticJpeg : public TLoweredFloor {};

TEST_F(ArithmeticJpeg, DeclaringAHugePictureAbortsWithoutABitmap) {
    if (!ToolExists("jpegtran")) SV_SKIP_WITHOUT_REFERENCE("jpegtran");
    TCountingIO writer;
    FillPicture(writer.Bitmap(), 16, 16, TVLPixelFormat::vl24RGB);
    writer.IO.SaveToFileJPEG(Wide(Dir.File("small.jpg")));
    std::string log;
    ASSERT_TRUE(RunTool("jpegtran -arithmetic -outfile '" + Dir.File("arith.jpg") + "' '" +
                            Dir.File("small.jpg") + "'",
                        log))
        << log;
    const std::string file = Dir.File("huge.jpg");
    WriteFileBytes(file, RaiseFrameSize(ReadFileBytes(Dir.File("arith.jpg")), 8000, 8000));
    C.IO.LoadFromFile(Wide(file));
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_TRUE(C.Bitmap().IsEmpty());
}

// ---- Real files of extreme proportions -------------------------------------------------------

struct TExtremeCase {
    const char* Name;
    // ImageMagick's arguments after the input picture; the output name follows.
    const char* Convert;
    const char* Extension;
    int32_t Width;
    int32_t Height;
    TVLRGB Colour;
};

std::ostream& operator<<(std::ostream& Out, const TExtremeCase& Case) {
    return Out << Case.Name;
}

// Flat pictures compress close to each codec's largest ratio; a blank fax page spends one bit
// a row.
const TExtremeCase ExtremeCases[] = {
    {"BlankGroup4Page",
     "xc:white -type bilevel -compress Group4",
     "tif",
     4960,
     7016,
     {255, 255, 255}},
    {"FlatDeflateTiff",
     "xc:'#3366cc' -compress zip -quality 95",
     "tif",
     2000,
     2000,
     {0xcc, 0x66, 0x33}},
    {"FlatLZWTiff", "xc:'#3366cc' -compress lzw", "tif", 2000, 2000, {0xcc, 0x66, 0x33}},
    {"FlatPackBitsTiff", "xc:gray50 -compress rle", "tif", 2000, 2000, {128, 128, 128}},
    {"FlatPng",
     "xc:'#3366cc' -define png:compression-level=9",
     "png",
     2000,
     2000,
     {0xcc, 0x66, 0x33}},
    {"FlatJpeg", "xc:'#3366cc' -quality 50", "jpg", 4000, 4000, {0xcc, 0x66, 0x33}},
};

class RealFile : public TLoweredFloor {
protected:
    void SetUp() override {
        TLoweredFloor::SetUp();
        if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert");
    }
};

class ExtremeFile : public RealFile, public ::testing::WithParamInterface<TExtremeCase> {};

TEST_P(ExtremeFile, OpensWhole) {
    const TExtremeCase& row = GetParam();
    const std::string file = Dir.File(std::string("extreme.") + row.Extension);
    std::string log;
    ASSERT_TRUE(RunTool("convert -size " + std::to_string(row.Width) + "x" +
                            std::to_string(row.Height) + " " + row.Convert + " '" + file + "'",
                        log))
        << log;
    C.IO.LoadFromFile(Wide(file));
    ASSERT_FALSE(C.IO.AbortingFlag);
    ASSERT_EQ(C.Bitmap().GetWidth(), row.Width);
    ASSERT_EQ(C.Bitmap().GetHeight(), row.Height);
    const TVLRGB last = C.Bitmap().GetPixelAsRGB(row.Width - 1, row.Height - 1);
    EXPECT_NEAR(last.r, row.Colour.r, 2);
    EXPECT_NEAR(last.g, row.Colour.g, 2);
    EXPECT_NEAR(last.b, row.Colour.b, 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtremeFile, ::testing::ValuesIn(ExtremeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A photo cut off half way still shows its upper part.
TEST_F(RealFile, TruncatedPhotoOpens) {
    const std::string file = Dir.File("photo.jpg");
    std::string log;
    ASSERT_TRUE(
        RunTool("convert -seed 7 -size 3000x2000 plasma:fractal -quality 90 '" + file + "'", log))
        << log;
    TBytes bytes = ReadFileBytes(file);
    bytes.resize(bytes.size() / 2);
    WriteBytes(file, bytes);
    C.IO.LoadFromFile(Wide(file));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.Bitmap().GetWidth(), 3000);
    EXPECT_EQ(C.Bitmap().GetHeight(), 2000);
}

// A stored picture cut off after a quarter of its samples still shows those rows.
TEST_F(RealFile, TruncatedStoredTiffOpens) {
    const int32_t w = 1000, h = 800;
    const std::string samples(size_t{w} * 3 * (h / 4), '\x40');
    const std::string file = Dir.File("stored.tif");
    WriteFileBytes(file, TiffDeclaring(w, h, 3, 8, 1, samples));
    C.IO.LoadFromFile(Wide(file));
    ASSERT_EQ(C.Bitmap().GetWidth(), w);
    ASSERT_EQ(C.Bitmap().GetHeight(), h);
    EXPECT_EQ(C.Bitmap().GetPixelAsRGB(w - 1, h / 4 - 1).g, 0x40);
}

// The rule at its edges: the least input that can hold the output passes, one byte less does
// not, and sizes near the 64-bit limit neither wrap nor pass.
TEST(PlausibleDeclaredSize, RefusesOnlyWhatTheInputCannotHold) {
    constexpr int64_t floor = int64_t{256} << 20, big = INT64_MAX;
    struct {
        int64_t Allocation, Output, Expansion, Input;
        bool Plausible;
    } const rows[] = {
        {floor, big, ExpansionDeflate, 0, true},
        {floor + 1, 1032 * 4000, ExpansionDeflate, 4000, true},
        {floor + 1, 1032 * 4000 + 1, ExpansionDeflate, 4000, false},
        {floor + 1, 1, 0, big, false},
        {big, big, ExpansionLZW, big / ExpansionLZW, false},
        {big, big, ExpansionLZW, big / ExpansionLZW + 1, true},
        {floor + 1, 8, ExpansionRowsCCITT, -5, false},
        // The storage bound: at most 128 KiB of picture for each byte of input.
        {int64_t{1} << 40, 0, ExpansionBlocksJPEG, int64_t{1} << 23, true},
        {(int64_t{1} << 40) + (int64_t{1} << 23), 0, ExpansionBlocksJPEG, int64_t{1} << 23, false},
        {int64_t{1} << 40, 8, ExpansionRowsCCITT, 1000, false},
        // A fax page of 17 rows of 637,600,000 pixels from 1,886 bytes.
        {int64_t{79700000} * 17, 17, ExpansionRowsCCITT, 1886, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Allocation << " " << row.Output << " "
                                        << row.Expansion << " " << row.Input);
        EXPECT_EQ(IsPlausibleDeclaredSize(row.Allocation, row.Output, row.Expansion, row.Input),
                  row.Plausible);
    }
    EXPECT_EQ(PlannedBitmapBytes(INT32_MAX, INT32_MAX, TVLPixelFormat::vl24RGB, true), big);
    EXPECT_EQ(PlannedBitmapBytes(3, 2, TVLPixelFormat::vl24RGB, true), 2 * 12 + 6);
}

} // namespace
