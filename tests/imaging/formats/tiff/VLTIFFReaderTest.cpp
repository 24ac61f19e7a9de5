// The TIFF reader and its row engine: pictures made by ImageMagick and libtiff's tiffcp decode
// as libtiff's tiff2rgba decodes them; hand-built files and rows show the edge cases.
#include "imaging/formats/tiff/VLTIFFReader.h"

#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/formats/tiff/VLTIFFSamples.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "imaging/io/VLTiffLZW.h"
#include "tests/ExternalTool.h"
#include "tests/PeakMemory.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"

#include <zlib.h>

#include <fstream>
#include <random>

namespace {

class TIFFReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCCITTDecodeTrees(); }
    static void TearDownTestSuite() { FreeCCITTDecodeTrees(); }
};

// What the reader gave: RGBA bytes (alpha 255 without a mask), the page count, the abort flag.
struct TDecoded {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> RGBA;
    int32_t PageCount = 0;
    bool Aborted = false;
    TVLPixelFormat Format = TVLPixelFormat::vlNone;
};

std::string FileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TDecoded Decode(const std::string& Bytes, TIOParamsVals& Params, bool ThumbnailMode = false) {
    TDecoded d;
    auto stream = StreamOf(Bytes);
    TVLBitmap bitmap;
    TVLProgressRecord progress;
    progress.AbortFlag = &d.Aborted;
    std::unique_ptr<TVLMask> mask;
    Params.TiffLZWDecompress = TiffLZWDecode;
    ReadTIFFStream(bitmap, *stream, d.PageCount, Params, progress, false, mask, true, false,
                   ThumbnailMode);
    d.Width = bitmap.GetWidth();
    d.Height = bitmap.GetHeight();
    d.Format = bitmap.GetPixelFormat();
    for (int32_t y = 0; y < d.Height; ++y)
        for (int32_t x = 0; x < d.Width; ++x) {
            const TVLRGB c = bitmap.GetPixelAsRGB(x, y);
            d.RGBA.insert(d.RGBA.end(), {c.r, c.g, c.b,
                                         static_cast<uint8_t>(mask ? mask->GetPixel(x, y) : 255)});
        }
    return d;
}

// Reads Bytes into Bitmap, leaving its pixels as they are (for pages too wide to turn into
// bytes); true when the reader raised the abort flag.
bool ReadInto(const std::string& Bytes, TVLBitmap& Bitmap) {
    auto stream = StreamOf(Bytes);
    TIOParamsVals params;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    std::unique_ptr<TVLMask> mask;
    int32_t pages = 0;
    ReadTIFFStream(Bitmap, *stream, pages, params, progress, false, mask, true, false, false);
    return aborted;
}

TDecoded Decode(const std::string& Bytes) {
    TIOParamsVals params;
    return Decode(Bytes, params);
}

// RGBA bytes of what Command writes to its standard output.
bool DumpRGBA(const std::string& Command, std::vector<uint8_t>& RGBA) {
    std::string raw;
    const bool ok = RunTool(Command, raw);
    RGBA.assign(raw.begin(), raw.end());
    return ok;
}

// libtiff's own decoding: tiff2rgba, whose RGBA output ImageMagick dumps as bytes.
bool Tiff2rgba(const std::filesystem::path& File, std::vector<uint8_t>& RGBA) {
    const auto out = UniqueTempPath("tiff2rgba");
    std::string log;
    const bool ok = RunTool("tiff2rgba -c none '" + File.string() + "' '" + out.string() + "'",
                            log) &&
                    DumpRGBA("convert '" + out.string() + "' -depth 8 rgba:-", RGBA);
    std::filesystem::remove(out);
    return ok;
}

// The reference of a fixture. CIELab goes through the CIE formulas in python (libtiff's RGBA
// interface renders Lab through its own display model, with a gamma of its own); grey with alpha against
// ImageMagick's reading (libtiff hands grey under alpha on unpremultiplied but marks it
// premultiplied); everything else against tiff2rgba.
bool Reference(const std::filesystem::path& File, std::vector<uint8_t>& RGBA) {
    const std::string name = File.filename().string();
    if (name.find("lab") != std::string::npos)
        return DumpRGBA(std::string("python3 '") + SV_TESTS_DIR +
                            "/imaging/formats/tiff/lab_to_rgba.py' '" + File.string() +
                            "' 37 23",
                        RGBA);
    if (name.find("greya") != std::string::npos)
        return DumpRGBA("convert '" + File.string() + "' -depth 8 rgba:-", RGBA);
    return Tiff2rgba(File, RGBA);
}

bool HaveTools() {
    return ToolExists("convert") && ToolExists("tiffcp") && ToolExists("tiff2rgba") &&
           ToolExists("tiffinfo");
}

// The fixtures of the script, made once per program.
class TFixtures {
public:
    static TFixtures& Get() {
        static TFixtures fixtures;
        return fixtures;
    }
    bool Ready = false;
    std::filesystem::path Folder() const { return FFolder.Path(); }
    std::vector<std::string> Names;

private:
    TFixtures() {
        if (!HaveTools()) return;
        std::string log;
        Ready = RunTool(std::string("bash '") + SV_TESTS_DIR +
                            "/imaging/formats/tiff/make_tiff_fixtures.sh' '" +
                            FFolder.Path().string() + "'",
                        log);
        std::ifstream list(FFolder.Path() / "list");
        for (std::string name; std::getline(list, name);) Names.push_back(name);
    }
    ScratchFolder FFolder;
};

#define SV_NEED_FIXTURES()                                                                         \
    do {                                                                                           \
        if (!HaveTools()) SV_SKIP_WITHOUT_REFERENCE("convert, tiffcp, tiff2rgba and tiffinfo");    \
        ASSERT_TRUE(TFixtures::Get().Ready) << "fixture script failed";                            \
    } while (false)

// How far a fixture may be from its reference, per channel: JPEG (the two decoders' colour
// conversion and upsampling), 16-bit samples (libtiff rounds them to 8 bits, the library keeps
// the high byte), CIELab (floating point against the library's rounding). Colour under partial
// alpha gets more below (libtiff premultiplies, and ImageMagick divides that back).
int Tolerance(const std::string& Name) {
    if (Name.find("jpeg") != std::string::npos) return 3;
    if (Name.find("16") != std::string::npos) return 1;
    if (Name.find("lab") != std::string::npos) return 1;
    return 0;
}

// CMYK goes through the formula libtiff also uses while the test runs.
class TFormulaCMYK {
public:
    TFormulaCMYK() : FSaved(CMYKColorManagement) { CMYKColorManagement = false; }
    ~TFormulaCMYK() { CMYKColorManagement = FSaved; }
    TFormulaCMYK(const TFormulaCMYK&) = delete;
    TFormulaCMYK& operator=(const TFormulaCMYK&) = delete;

private:
    bool FSaved;
};

TEST_F(TIFFReader, FixturesDecodeLikeTiff2rgba) {
    SV_NEED_FIXTURES();
    TFixtures& f = TFixtures::Get();
    ASSERT_GT(f.Names.size(), 40u);
    TFormulaCMYK formula;
    for (const std::string& name : f.Names) {
        // Every page of it is decoded by tiff2rgba; the pages are checked below.
        if (name == "multi.tif") continue;
        SCOPED_TRACE(name);
        const TDecoded ours = Decode(FileBytes(f.Folder() / name));
        std::vector<uint8_t> ref;
        ASSERT_TRUE(Reference(f.Folder() / name, ref));
        EXPECT_FALSE(ours.Aborted);
        if (ours.RGBA.size() != ref.size()) {
            ADD_FAILURE() << "size " << ours.RGBA.size() << " against " << ref.size();
            continue;
        }
        const int tolerance = Tolerance(name);
        int worst = 0;
        for (size_t i = 0; i < ref.size(); i += 4) {
            const int alpha = ref[i + 3];
            EXPECT_EQ(ours.RGBA[i + 3], alpha) << "pixel " << i / 4;
            // Colour is compared where libtiff's premultiplied output keeps it to a level.
            if (alpha < 128) continue;
            const int colourTolerance = alpha == 255 ? tolerance : tolerance + 255 / alpha + 1;
            for (int k = 0; k < 3; ++k)
                worst = std::max(worst, std::abs(ours.RGBA[i + k] - ref[i + k]) -
                                            colourTolerance);
        }
        EXPECT_LE(worst, 0) << "beyond the tolerance of " << tolerance;
    }
}

TEST_F(TIFFReader, PageCountIsTiffinfosDirectoryCount) {
    SV_NEED_FIXTURES();
    const auto file = TFixtures::Get().Folder() / "multi.tif";
    std::string info;
    ASSERT_TRUE(RunTool("tiffinfo '" + file.string() + "' | grep -c 'TIFF Directory'", info));
    const std::string bytes = FileBytes(file);
    const int expected = std::stoi(info);
    ASSERT_EQ(expected, 3);
    for (int page = 0; page < expected; ++page) {
        TIOParamsVals params;
        params.TiffImageIndex = page;
        const TDecoded d = Decode(bytes, params);
        EXPECT_EQ(d.PageCount, expected);
        EXPECT_FALSE(d.Aborted);
        EXPECT_EQ(params.TiffImageCount, expected);
    }
    // An index past the last page ends quietly with the count and no picture.
    TIOParamsVals params;
    params.TiffImageIndex = 3;
    const TDecoded beyond = Decode(bytes, params);
    EXPECT_EQ(beyond.PageCount, 3);
    EXPECT_FALSE(beyond.Aborted);
    EXPECT_EQ(beyond.Width, 0);
}

TEST_F(TIFFReader, TilesEqualTheirStripTwinAndOneTileIsReadAlone) {
    SV_NEED_FIXTURES();
    const auto folder = TFixtures::Get().Folder();
    const TDecoded strips = Decode(FileBytes(folder / "rgb-none.tif"));
    for (const char* name : {"rgb-tiles.tif", "rgb-tiles-none.tif"}) {
        const TDecoded tiles = Decode(FileBytes(folder / name));
        EXPECT_EQ(tiles.Width, 37);
        EXPECT_EQ(tiles.Height, 23);
        EXPECT_EQ(tiles.RGBA, strips.RGBA) << name;
    }
    // Tiles of 16 x 16 over 37 columns: tile 2 is the third of the top row, at column 32.
    TIOParamsVals params;
    params.TiffTileIndex = 2;
    const TDecoded tile = Decode(FileBytes(folder / "rgb-tiles-none.tif"), params);
    ASSERT_FALSE(tile.Aborted);
    ASSERT_EQ(tile.Width, 16);
    ASSERT_EQ(tile.Height, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 37 - 32; ++x)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(tile.RGBA[(y * 16 + x) * 4 + k], strips.RGBA[(y * 37 + 32 + x) * 4 + k])
                    << x << "," << y;
}

// Truncated and mutated fixtures never make the reader touch memory it does not own (the
// sanitizers watch); they end in a picture, the abort flag or a library exception.
TEST_F(TIFFReader, TruncatedAndMutatedFilesAreSafe) {
    SV_NEED_FIXTURES();
    std::mt19937 random(22);
    TFixtures& f = TFixtures::Get();
    for (const std::string& name : f.Names) {
        const std::string original = FileBytes(f.Folder() / name);
        for (int round = 0; round < 12; ++round) {
            std::string bytes = original;
            if (round % 3 == 0) {
                bytes.resize(random() % bytes.size());
            } else {
                const int changes = 1 + static_cast<int>(random() % 8);
                for (int i = 0; i < changes; ++i)
                    bytes[random() % bytes.size()] = static_cast<char>(random());
            }
            try {
                TIOParamsVals params;
                Decode(bytes, params);
            } catch (const Exception&) {
                // Broken Deflate data raises the zlib stream's error; that is a clear failure.
            }
        }
    }
}

// ---- Hand-built files --------------------------------------------------------------------------

// A one-strip image of the given tags, the strip being Data.
std::string OneStrip(int Width, int Height, std::vector<TTestEntry> Extra, const std::string& Data,
                     bool Intel = true) {
    TTestTiff tiff(Intel);
    tiff.Data = Data;
    std::vector<TTestEntry> entries = {{256, ttLong, {Width}},
                                       {257, ttLong, {Height}},
                                       {273, ttLong, {8}},
                                       {279, ttLong, {static_cast<int64_t>(Data.size())}}};
    entries.insert(entries.end(), Extra.begin(), Extra.end());
    std::sort(entries.begin(), entries.end(),
              [](const TTestEntry& A, const TTestEntry& B) { return A.Tag < B.Tag; });
    return tiff.IFD(entries).Build();
}

std::string GreyStrip(int Width, int Height, int Bits, const std::string& Data,
                      std::vector<TTestEntry> Extra = {}) {
    Extra.push_back({258, ttShort, {Bits}});
    Extra.push_back({262, ttShort, {1}});
    return OneStrip(Width, Height, Extra, Data);
}

TEST_F(TIFFReader, SamplesWidenToFullRange) {
    struct TCase {
        const char* What;
        int Width;
        int Bits;
        std::string Data;
        std::vector<uint8_t> Grey;
    };
    const TCase cases[] = {
        {"4-bit 0x0F 0xF0", 4, 4, std::string("\x0F\xF0", 2), {0, 255, 255, 0}},
        {"2-bit 3 and 0", 2, 2, std::string("\xC0", 1), {255, 0}},
        {"7-bit 127 and 0", 2, 7, std::string("\xFE\x00", 2), {254, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const TDecoded d = Decode(GreyStrip(c.Width, 1, c.Bits, c.Data));
        ASSERT_FALSE(d.Aborted);
        for (int x = 0; x < c.Width; ++x) EXPECT_EQ(d.RGBA[x * 4], c.Grey[x]) << x;
    }
}

TEST_F(TIFFReader, TwelveBitGreyInSixteenBitsFromTheKnownWriterKeepsContrast) {
    const std::string word("\xFF\x0F", 2); // 4095, little-endian
    const TDecoded molli = Decode(GreyStrip(1, 1, 16, word, {{305, ttAscii, {}, "Look@Molli v1.1"}}));
    const TDecoded other = Decode(GreyStrip(1, 1, 16, word, {{305, ttAscii, {}, "Other program"}}));
    EXPECT_EQ(molli.RGBA[0], 255);
    EXPECT_EQ(other.RGBA[0], 15);
}

TEST_F(TIFFReader, LayoutsAndCompressionsOutsideTheEngineAbort) {
    struct TCase {
        const char* What;
        std::string File;
    };
    const TCase cases[] = {
        {"3-bit grey", GreyStrip(8, 1, 3, std::string(3, '\x55'))},
        {"5-bit grey", GreyStrip(8, 1, 5, std::string(5, '\x55'))},
        {"6-bit grey", GreyStrip(4, 1, 6, std::string(3, '\x55'))},
        {"12-bit grey", GreyStrip(2, 1, 12, std::string(3, '\x55'))},
        {"32-bit grey", GreyStrip(1, 1, 32, std::string(4, '\x55'))},
        {"65535 samples", OneStrip(2, 1, {{258, ttShort, {8}}, {277, ttShort, {65535}}}, "ab")},
        {"unknown compression", GreyStrip(2, 1, 8, "ab", {{259, ttShort, {34712}}})},
        {"YCbCr 2 x 2", OneStrip(2, 2,
                                 {{258, ttShort, {8, 8, 8}}, {262, ttShort, {6}},
                                  {277, ttShort, {3}}, {530, ttShort, {2, 2}}},
                                 std::string(6, '\x80'))},
        {"YCbCr 1 x 1", OneStrip(2, 1,
                                 {{258, ttShort, {8, 8, 8}}, {262, ttShort, {6}},
                                  {277, ttShort, {3}}, {530, ttShort, {1, 1}}},
                                 std::string(6, '\x80'))},
        {"more than 10 planes", OneStrip(1, 1,
                                         {{258, ttShort, std::vector<int64_t>(11, 8)},
                                          {262, ttShort, {5}}, {277, ttShort, {11}},
                                          {284, ttShort, {2}}},
                                         std::string(11, '\x10'))},
        {"zero tile length", OneStrip(4, 4,
                                      {{258, ttShort, {8}}, {262, ttShort, {1}},
                                       {322, ttShort, {16}}, {323, ttShort, {0}},
                                       {324, ttLong, {8}}, {325, ttLong, {16}}},
                                      std::string(16, '\x10'))},
        {"SubIFDs offset to nothing", OneStrip(1, 1,
                                               {{258, ttShort, {8}}, {262, ttShort, {1}},
                                                {330, ttLong, {0x7FFFFFF0, 0x7FFFFFF0}}},
                                               "a")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TIOParamsVals params;
        params.TiffSubIndex = std::string(c.What).find("SubIFDs") != std::string::npos ? 1 : -1;
        EXPECT_TRUE(Decode(c.File, params).Aborted);
    }
}

// The bits of a CCITT strip are sample values, as they are for every other compression: a
// BlackIsZero page reads the same whether it is stored plain, modified Huffman, G3 1-D, G3 2-D
// or G4 (only G3 used to be inverted, so G3 and G4 copies of one page differed), and a
// WhiteIsZero page reads as its inverse.
TEST_F(TIFFReader, BilevelSamplesReadThroughPhotometricForEveryCompression) {
    constexpr int Width = 13;
    constexpr int Height = 3;
    const uint8_t rows[Height][2] = {{0xF0, 0x08}, {0x0F, 0xF0}, {0xA5, 0x50}};
    struct TCase {
        const char* What;
        int Compression;
        int T4Options;
    };
    const TCase cases[] = {{"none", 1, 0}, {"modified Huffman", 2, 0}, {"G3 1-D", 3, 0},
                           {"G3 2-D", 3, 1}, {"G4", 4, 0}};
    for (const TCase& c : cases) {
        TMemoryStream strip;
        bool aborting = false;
        uint8_t pendingByte = 0;
        int32_t pendingBits = 0;
        uint8_t* reference = nullptr;
        for (const auto& row : rows) {
            switch (c.Compression) {
            case 1: strip.WriteBuffer(row, 2); break;
            case 2: EncodeCCITTRowMH(row, Width, strip, aborting, 1); break;
            case 3:
                if (c.T4Options == 1)
                    EncodeCCITTG3Row2D(row, Width, strip, pendingByte, pendingBits, reference,
                                       aborting, 1);
                else
                    EncodeCCITTG3Row1D(row, Width, strip, pendingByte, pendingBits, aborting, 1);
                break;
            default:
                EncodeCCITTG4Row(row, Width, strip, pendingByte, pendingBits, reference,
                                 aborting, 1);
            }
        }
        if (c.Compression == 3 && c.T4Options == 1)
            EncodeCCITTG3Row2D(nullptr, 0, strip, pendingByte, pendingBits, reference, aborting, 1);
        else if (c.Compression == 3)
            EncodeCCITTG3Row1D(nullptr, 0, strip, pendingByte, pendingBits, aborting, 1);
        else if (c.Compression == 4)
            EncodeCCITTG4Row(nullptr, 0, strip, pendingByte, pendingBits, reference, aborting, 1);
        ASSERT_FALSE(aborting);
        const std::string data(static_cast<const char*>(strip.Memory()),
                               static_cast<size_t>(strip.GetSize()));
        // -1: no Photometric tag at all, which a bilevel page reads as WhiteIsZero.
        for (int photometric : {0, 1, -1}) {
            SCOPED_TRACE(std::string(c.What) + (photometric == 1   ? ", BlackIsZero"
                                                : photometric == 0 ? ", WhiteIsZero"
                                                                   : ", no Photometric"));
            std::vector<TTestEntry> tags = {
                {258, ttShort, {1}}, {259, ttShort, {c.Compression}}, {292, ttLong, {c.T4Options}}};
            if (photometric >= 0) tags.push_back({262, ttShort, {photometric}});
            const TDecoded d = Decode(OneStrip(Width, Height, tags, data));
            ASSERT_FALSE(d.Aborted);
            ASSERT_EQ(d.RGBA.size(), size_t{Width * Height * 4});
            for (int y = 0; y < Height; ++y)
                for (int x = 0; x < Width; ++x) {
                    const bool sample = (rows[y][x >> 3] >> (7 - (x & 7))) & 1;
                    const bool white = photometric == 1 ? sample : !sample;
                    EXPECT_EQ(d.RGBA[(y * Width + x) * 4], white ? 255 : 0) << x << "," << y;
                }
        }
    }
}

// A CCITT row costs a bit whatever its width, so a small strip may hold a very wide page. Its
// rows go into the bitmap's bits without a colour row beside them (1.2 GB here).
TEST_F(TIFFReader, WideCCITTRowsTakeNoColourRow) {
    constexpr int Width = 400000000;
    // G4: one vertical-mode V0 code finishes an all-white row over the white reference row, then
    // the end-of-block codes.
    const std::string data("\x80\x08\x00\x80", 4);
    const std::string file =
        OneStrip(Width, 1, {{258, ttShort, {1}}, {259, ttShort, {4}}, {262, ttShort, {0}}}, data);
    TVLBitmap bitmap;
    const int64_t before = PeakAddressSpaceBytes();
    ASSERT_GT(before, 0);
    const bool aborted = ReadInto(file, bitmap);
    EXPECT_LT(PeakAddressSpaceBytes() - before, int64_t{512} << 20);
    ASSERT_FALSE(aborted);
    ASSERT_EQ(bitmap.GetWidth(), Width);
    ASSERT_EQ(bitmap.GetPixelFormat(), TVLPixelFormat::vl1g);
    for (const int x : {0, Width / 2, Width - 1})
        EXPECT_EQ(bitmap.GetPixelAsRGB(x, 0).r, 255) << x;
}

// Pages of the widest width a directory can give: the row's byte count and pixel positions are
// worked out without overflowing, and the read ends in a picture or the abort flag.
TEST_F(TIFFReader, CCITTRowsOfTheLargestWidthAreSafe) {
    struct TCase {
        const char* What;
        int Compression;
        int T4Options;
    };
    // One-dimensional rows (the row's bytes) and two-dimensional ones (also the search for the
    // next changing pixel of the reference row, which steps a byte at a time up to the width).
    const TCase cases[] = {{"G3 1-D", 3, 0}, {"G4", 4, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string file = OneStrip(INT32_MAX, 1,
                                          {{258, ttShort, {1}},
                                           {259, ttShort, {c.Compression}},
                                           {262, ttShort, {0}},
                                           {292, ttLong, {c.T4Options}}},
                                          std::string("\x00\x01\x80\x08\x00\x80", 6));
        TVLBitmap bitmap;
        const bool aborted = ReadInto(file, bitmap);
        EXPECT_TRUE(aborted || bitmap.GetWidth() == INT32_MAX);
    }
}

TEST_F(TIFFReader, PackBitsSkipsTheNoOpHeader) {
    // 2 literal bytes, the no-op -128, a run of 3 x 7.
    const std::string data("\x01\x10\x20\x80\xFE\x07", 6);
    const TDecoded d = Decode(GreyStrip(5, 1, 8, data, {{259, ttShort, {32773}}}));
    ASSERT_FALSE(d.Aborted);
    const uint8_t expected[5] = {0x10, 0x20, 7, 7, 7};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(d.RGBA[x * 4], expected[x]) << x;
}

TEST_F(TIFFReader, ExtraSamplesGiveAlphaAndUndoPremultiplication) {
    struct TCase {
        const char* What;
        std::vector<int64_t> Extra;
        std::string Pixel;
        std::array<int, 4> RGBA;
    };
    const TCase cases[] = {
        {"premultiplied then unspecified", {1, 0}, std::string("\x64\x32\x00\x80\x07", 5),
         {199, 99, 0, 128}},
        {"premultiplied beyond its alpha stays a byte", {1, 0},
         std::string("\xC8\x00\x00\x64\x00", 5), {255, 0, 0, 100}},
        {"plain alpha", {2, 0}, std::string("\x64\x32\x00\x80\x07", 5), {100, 50, 0, 128}},
        {"four samples, premultiplied", {1}, std::string("\x64\x32\x00\x80", 4), {199, 99, 0, 128}},
        {"four samples, plain alpha", {2}, std::string("\x64\x32\x00\x80", 4), {100, 50, 0, 128}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const int spp = static_cast<int>(c.Pixel.size());
        const TDecoded d = Decode(OneStrip(1, 1,
                                           {{258, ttShort, std::vector<int64_t>(spp, 8)},
                                            {262, ttShort, {2}},
                                            {277, ttShort, {spp}},
                                            {338, ttShort, c.Extra}},
                                           c.Pixel));
        ASSERT_FALSE(d.Aborted);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(d.RGBA[k], c.RGBA[k]) << k;
    }
}

std::vector<int64_t> Map(int Entries, int Index, int R, int G, int B) {
    std::vector<int64_t> map(3 * Entries, 0);
    map[Index] = R * 257;
    map[Entries + Index] = G * 257;
    map[2 * Entries + Index] = B * 257;
    return map;
}

TEST_F(TIFFReader, PaletteSamples) {
    // Two samples: the second one, 255, gives mask value 0.
    const TDecoded alpha = Decode(OneStrip(1, 1,
                                           {{258, ttShort, {8, 8}},
                                            {262, ttShort, {3}},
                                            {277, ttShort, {2}},
                                            {320, ttShort, Map(256, 5, 10, 20, 30)}},
                                           std::string("\x05\xFF", 2)));
    ASSERT_FALSE(alpha.Aborted);
    EXPECT_EQ(alpha.RGBA, (std::vector<uint8_t>{10, 20, 30, 0}));
    // One bit per sample: every bit is an index.
    const TDecoded bits = Decode(OneStrip(3, 1,
                                          {{258, ttShort, {1}},
                                           {262, ttShort, {3}},
                                           {320, ttShort, Map(2, 1, 200, 100, 50)}},
                                          std::string("\xA0", 1)));
    ASSERT_FALSE(bits.Aborted);
    EXPECT_EQ(bits.RGBA,
              (std::vector<uint8_t>{200, 100, 50, 255, 0, 0, 0, 255, 200, 100, 50, 255}));
}

TEST_F(TIFFReader, DeflateStripThatInflatesShortLeavesTheRestUnread) {
    // Three rows declared, one row of data.
    const std::string row = "\x11\x22\x33\x44";
    std::string packed(64, '\0');
    uLongf size = packed.size();
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                       reinterpret_cast<const Bytef*>(row.data()), row.size()),
              Z_OK);
    packed.resize(size);
    const TDecoded d = Decode(GreyStrip(4, 3, 8, packed, {{259, ttShort, {8}}}));
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.RGBA[0], 0x11);
    EXPECT_EQ(d.RGBA[3 * 4], 0x44);
}

TEST_F(TIFFReader, HeaderResolutionThumbnailAndDetection) {
    const std::string plain = GreyStrip(2, 1, 8, "ab", {{282, ttRational, {72, 1}},
                                                        {283, ttRational, {72, 1}},
                                                        {296, ttShort, {3}}});
    TIOParamsVals params;
    EXPECT_FALSE(Decode(plain, params).Aborted);
    EXPECT_EQ(params.DpiX, 183);
    EXPECT_NEAR(params.ExifXResolution, 72 * 2.54, 1e-9);

    // A version word other than 42 reads like any other.
    std::string odd = plain;
    odd[2] = 7;
    EXPECT_FALSE(Decode(odd).Aborted);

    TIOParamsVals noResolution;
    Decode(GreyStrip(2, 1, 8, "ab"), noResolution);
    EXPECT_EQ(noResolution.DpiX, DefaultDpiX);

    TIOParamsVals thumb;
    EXPECT_TRUE(Decode(GreyStrip(401, 1, 8, std::string(401, 'a')), thumb, true).Aborted);
    TIOParamsVals small;
    EXPECT_FALSE(Decode(GreyStrip(400, 1, 8, std::string(400, 'a')), small, true).Aborted);

    auto stream = StreamOf(plain);
    EXPECT_TRUE(IsTIFFStream(*stream));
    EXPECT_EQ(stream->GetPosition(), 0);
    EXPECT_FALSE(IsTIFFStream(*StreamOf(plain.substr(0, 8))));
    std::string bigEndian = OneStrip(2, 1, {{258, ttShort, {8}}}, "ab", false);
    EXPECT_TRUE(IsTIFFStream(*StreamOf(bigEndian)));
    bigEndian[8] = static_cast<char>(0xBA);
    EXPECT_FALSE(IsTIFFStream(*StreamOf(bigEndian)));

    EXPECT_FALSE(IsCameraRawTIFFStream(*StreamOf(plain)));
    EXPECT_TRUE(IsCameraRawTIFFStream(
        *StreamOf(OneStrip(2, 1, {{50706, ttByte, {1, 4, 0, 0}}}, "ab"))));
    EXPECT_TRUE(IsCameraRawTIFFStream(*StreamOf(OneStrip(2, 1, {{262, ttShort, {32803}}}, "ab"))));
}

TEST_F(TIFFReader, AdjustedOrientationTurnsPictureAndMaskAndLeavesOrientationOne) {
    // 3 x 1 grey and alpha, stored turned a quarter counter-clockwise (orientation 6).
    const std::string file = OneStrip(3, 1,
                                      {{258, ttShort, {8, 8}}, {262, ttShort, {1}},
                                       {274, ttShort, {6}}, {277, ttShort, {2}},
                                       {338, ttShort, {2}}},
                                      std::string("\x10\xA0\x20\xB0\x30\xC0", 6));
    TIOParamsVals params;
    params.TiffAdjustOrientation = true;
    const TDecoded turned = Decode(file, params);
    ASSERT_FALSE(turned.Aborted);
    ASSERT_EQ(turned.Width, 1);
    ASSERT_EQ(turned.Height, 3);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(turned.RGBA[y * 4], 0x10 * (y + 1));
        EXPECT_EQ(turned.RGBA[y * 4 + 3], 0xA0 + 0x10 * y);
    }
    EXPECT_EQ(params.TiffOrientation, 1);
    EXPECT_EQ(params.ExifOrientation, 1);

    TIOParamsVals asStored;
    const TDecoded stored = Decode(file, asStored);
    EXPECT_EQ(stored.Width, 3);
    EXPECT_EQ(asStored.ExifOrientation, 6);
}

// Excess tile offsets and a picture smaller than its tiles: rows stop at the picture's height
// and the reported progress stays within 0..100.
TEST_F(TIFFReader, ExcessTilesStopAtThePictureAndProgressStaysInRange) {
    TTestTiff tiff(true);
    tiff.Data = std::string(16 * 16, '\x40');
    std::vector<int64_t> offsets(40, 8), counts(40, 256);
    tiff.IFD({{256, ttLong, {20}},
              {257, ttLong, {5}},
              {258, ttShort, {8}},
              {262, ttShort, {1}},
              {322, ttShort, {16}},
              {323, ttShort, {16}},
              {324, ttLong, offsets},
              {325, ttLong, counts}});
    auto stream = StreamOf(tiff.Build());
    TVLBitmap bitmap;
    TIOParamsVals params;
    bool aborted = false;
    std::vector<int32_t> reports;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    progress.Handler = [&](TObject*, int32_t Per) { reports.push_back(Per); };
    std::unique_ptr<TVLMask> mask;
    int32_t pages = 0;
    ReadTIFFStream(bitmap, *stream, pages, params, progress, false, mask, true, false, false);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(bitmap.GetWidth(), 20);
    EXPECT_EQ(bitmap.GetHeight(), 5);
    EXPECT_EQ(bitmap.GetPixelAsRGB(19, 4).r, 0x40);
    ASSERT_FALSE(reports.empty());
    for (int32_t per : reports) {
        EXPECT_GE(per, 0);
        EXPECT_LE(per, 100);
    }
}

} // namespace
