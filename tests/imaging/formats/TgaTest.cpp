// The Targa codec: files ImageMagick, netpbm and Pillow make read as those tools read them (alpha
// too); hand-built files for runs across rows, mirrored rows, map alpha, maps that do not start
// at 0, the extension area and the faults; our files read back by Pillow; damaged files never
// crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/VLTga.h"
#include "imaging/io/VLIOParams.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "tests/ExternalTool.h"
#include "tests/imaging/core/FuzzBuffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

const char* const Python = "/usr/bin/python3";

struct TRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TVLMask> Alpha;
    bool Aborted = false;
};

TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* m = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(m, m + Stream.GetSize());
}

void ReadTga(const TBytes& File, TRead& Out, bool ParamsOnly = false) {
    TMemoryStream stream;
    if (!File.empty()) stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    stream.SetPosition(0);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    ReadTGAStream(stream, Out.Bitmap, Out.Params, progress, ParamsOnly, Out.Alpha, false);
}

TBytes WriteTga(TVLBitmap& Bitmap, TIOParamsVals& Params, TVLMask* Alpha, bool& Aborted) {
    TMemoryStream stream;
    Aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborted;
    WriteTGAStream(stream, Bitmap, Params, progress, Alpha);
    return StreamBytes(stream);
}

// Red, green, blue and alpha of every pixel, rows from the top; alpha 255 without a mask.
TBytes RGBAOf(TVLBitmap& Bitmap, TVLMask* Alpha) {
    TBytes out;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            const TVLRGB c = Bitmap.GetPixelAsRGB(x, y);
            const auto a = static_cast<uint8_t>(Alpha != nullptr ? Alpha->GetPixel(x, y) : 255);
            out.insert(out.end(), {c.r, c.g, c.b, a});
        }
    return out;
}

TBytes RGBOf(TVLBitmap& Bitmap) {
    TBytes rgba = RGBAOf(Bitmap, nullptr), out;
    for (size_t i = 0; i < rgba.size(); i += 4)
        out.insert(out.end(), rgba.begin() + i, rgba.begin() + i + 3);
    return out;
}

bool LoadReference(const TBytes& File, int32_t& W, int32_t& H, TBytes& RGBA) {
    if (File.size() < 8) return false;
    std::memcpy(&W, File.data(), 4);
    std::memcpy(&H, File.data() + 4, 4);
    RGBA.assign(File.begin() + 8, File.end());
    return RGBA.size() == size_t(W) * H * 4;
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TBytes Join(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// An 18-byte header.
struct THead {
    uint8_t Type = 2, Depth = 24;
    uint16_t W = 1, H = 1;
    uint8_t Descriptor = 0x20, MapType = 0;
    uint16_t MapFirst = 0, MapLength = 0;
    uint8_t MapBits = 0, IdLength = 0;

    TBytes Bytes() const {
        return {IdLength,
                MapType,
                Type,
                uint8_t(MapFirst),
                uint8_t(MapFirst >> 8),
                uint8_t(MapLength),
                uint8_t(MapLength >> 8),
                MapBits,
                0,
                0,
                0,
                0,
                uint8_t(W),
                uint8_t(W >> 8),
                uint8_t(H),
                uint8_t(H >> 8),
                Depth,
                Descriptor};
    }
};

TBytes Le16(uint32_t V) {
    return {uint8_t(V), uint8_t(V >> 8)};
}

// A version-2 ending: an extension area at Offset (0: none written) and the footer.
TBytes Footer(uint32_t Offset) {
    TBytes f = {uint8_t(Offset),
                uint8_t(Offset >> 8),
                uint8_t(Offset >> 16),
                uint8_t(Offset >> 24),
                0,
                0,
                0,
                0};
    const char* signature = "TRUEVISION-XFILE.";
    f.insert(f.end(), signature, signature + 18);
    return f;
}

TBytes Extension(uint16_t Month, uint16_t Day, uint16_t Year) {
    TBytes x(495, 0);
    x[0] = 0xEF;
    x[1] = 0x01;
    std::memcpy(x.data() + 2, "Author", 6);
    const uint16_t words[] = {Month, Day, Year, 5, 6, 7};
    for (int i = 0; i < 6; ++i) {
        x[367 + 2 * i] = uint8_t(words[i]);
        x[368 + 2 * i] = uint8_t(words[i] >> 8);
    }
    std::memcpy(x.data() + 379, "Job", 3);
    x[471] = 1, x[472] = 2, x[473] = 3;
    x[474] = 3, x[476] = 2;
    x[478] = 22, x[480] = 10;
    return x;
}

class Tga : public ::testing::Test {
protected:
    bool MakeFixtures() {
        for (const char* tool : {"ppmtopcx", "pcxtoppm", "ppmtotga", "tgatoppm", "convert"})
            if (!ToolExists(tool)) return false;
        std::string log;
        return RunTool(std::string(Python) + " '" + SV_TESTS_DIR +
                           "/imaging/formats/make_pcx_tga_fixtures.py' '" + Dir.Path().string() +
                           "'",
                       log);
    }
    // The file as Pillow reads it in RGBA.
    bool PillowRGBA(const std::string& Path, TBytes& Out) {
        std::string text;
        if (!RunTool(std::string(Python) +
                         " -c 'import sys\nfrom PIL import Image\n"
                         "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert(\"RGBA\")"
                         ".tobytes())' '" +
                         Path + "'",
                     text))
            return false;
        Out.assign(text.begin(), text.end());
        return true;
    }
    ScratchFolder Dir;
};

// Every Targa fixture reads as tgatoppm, ImageMagick or Pillow reads it, alpha included; a map
// of 16-bit entries agrees on the top 5 bits of each channel.
TEST_F(Tga, ToolFilesReadAsTheToolsReadThem) {
    if (!MakeFixtures()) SV_SKIP_WITHOUT_REFERENCE("netpbm, ImageMagick and Pillow");
    std::istringstream list(FileText(Dir.File("fixtures.txt")));
    std::string name, kind;
    int32_t page = 0, files = 0;
    while (list >> name >> page >> kind) {
        if (name.find(".tga") == std::string::npos) continue;
        SCOPED_TRACE(name);
        ++files;
        TRead read;
        ReadTga(Dir.Read(name), read);
        ASSERT_FALSE(read.Aborted);
        int32_t w = 0, h = 0;
        TBytes ref;
        ASSERT_TRUE(LoadReference(Dir.Read(name + ".rgba"), w, h, ref));
        ASSERT_EQ(read.Bitmap.GetWidth(), w);
        ASSERT_EQ(read.Bitmap.GetHeight(), h);
        TBytes ours = RGBAOf(read.Bitmap, read.Alpha.get());
        if (kind == "rgb5")
            for (size_t i = 0; i < ours.size(); ++i) {
                ours[i] &= 0xF8;
                ref[i] &= 0xF8;
            }
        EXPECT_EQ(ours, ref);
    }
    EXPECT_EQ(files, 30);
}

struct THandCase {
    const char* Name;
    TBytes File;
    bool Aborts;
    TBytes RGBA; // empty: not compared
};

// Hand-built files for the layouts and the faults.
TEST_F(Tga, HandBuiltFilesReadAsTheyMean) {
    const THead bottomUp{2, 24, 1, 2, 0};
    const THead runs{10, 24, 2, 2};
    const THead rawAcross{10, 24, 1, 2};
    const THead mirrored{2, 24, 2, 1, 0x30};
    const THead bits{3, 1, 3, 1, 0x30};
    const THead colour16{2, 16, 3, 1};
    const THead greyAlpha{3, 16, 2, 1};
    const THead mapAlpha{1, 8, 2, 1, 0x20, 1, 0, 2, 32};
    const THead map15{1, 8, 1, 1, 0x20, 1, 0, 1, 15};
    const THead late{1, 8, 3, 1, 0x20, 1, 250, 20, 24};
    TBytes lateMap;
    for (uint8_t i = 0; i < 20; ++i)
        lateMap.insert(lateMap.end(), {uint8_t(i + 1), uint8_t(i + 1), uint8_t(i + 1)});
    const THandCase cases[] = {
        {"bottom-up rows",
         Join(bottomUp.Bytes(), {1, 2, 3, 4, 5, 6}),
         false,
         {6, 5, 4, 255, 3, 2, 1, 255}},
        {"a run packet across rows",
         Join(runs.Bytes(), {0x83, 1, 2, 3}),
         false,
         {3, 2, 1, 255, 3, 2, 1, 255, 3, 2, 1, 255, 3, 2, 1, 255}},
        {"a raw packet across rows",
         Join(rawAcross.Bytes(), {0x01, 1, 2, 3, 4, 5, 6}),
         false,
         {3, 2, 1, 255, 6, 5, 4, 255}},
        {"mirrored row",
         Join(mirrored.Bytes(), {1, 2, 3, 4, 5, 6}),
         false,
         {6, 5, 4, 255, 3, 2, 1, 255}},
        {"mirrored 1-bit row",
         Join(bits.Bytes(), {0xC0}),
         false,
         {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
        {"5-5-5 colour",
         Join(colour16.Bytes(), {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x80}),
         false,
         {248, 0, 0, 255, 0, 248, 0, 255, 0, 0, 248, 255}},
        {"grey and alpha",
         Join(greyAlpha.Bytes(), {100, 50, 200, 255}),
         false,
         {100, 100, 100, 50, 200, 200, 200, 255}},
        {"map alpha",
         Join(mapAlpha.Bytes(), {10, 20, 30, 0, 40, 50, 60, 255, 0, 1}),
         false,
         {30, 20, 10, 0, 60, 50, 40, 255}},
        {"15-bit map", Join(map15.Bytes(), {0x00, 0x7C, 0}), false, {248, 0, 0, 255}},
        {"map from index 250",
         Join(Join(late.Bytes(), lateMap), {250, 255, 5}),
         false,
         {1, 1, 1, 255, 6, 6, 6, 255, 28, 60, 124, 255}},
        {"run-length data ending early",
         Join(runs.Bytes(), {0x81, 1, 2, 3}),
         true,
         {3, 2, 1, 255, 3, 2, 1, 255, 0, 0, 0, 255, 0, 0, 0, 255}},
        {"raw data ending early",
         Join(bottomUp.Bytes(), {1, 2, 3}),
         true,
         {0, 0, 0, 255, 3, 2, 1, 255}},
        {"depth 4", Join(THead{3, 4, 2, 1}.Bytes(), {0x12}), true, {}},
        {"map entries of 8 bits",
         Join(THead{1, 8, 1, 1, 0x20, 1, 0, 1, 8}.Bytes(), {0, 0}),
         true,
         {}},
        {"image type 4", Join(THead{4, 8, 1, 1}.Bytes(), {0}), true, {}},
        {"depth 15", Join(THead{2, 15, 1, 1}.Bytes(), {0, 0}), true, {}},
        {"map cut short", Join(THead{1, 8, 1, 1, 0x20, 1, 0, 4, 24}.Bytes(), {1, 2, 3}), true, {}},
        {"header cut short", TBytes(10, 0), true, {}},
    };
    for (const THandCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRead read;
        ReadTga(c.File, read);
        EXPECT_EQ(read.Aborted, c.Aborts);
        if (!c.RGBA.empty()) {
            EXPECT_EQ(RGBAOf(read.Bitmap, read.Alpha.get()), c.RGBA);
        }
    }

    // A 32-bit file whose alpha bytes are all 0 has no mask; a grey picture says so.
    TRead clear;
    ReadTga(Join(THead{2, 32, 2, 1}.Bytes(), {1, 2, 3, 0, 4, 5, 6, 0}), clear);
    EXPECT_FALSE(clear.Aborted);
    EXPECT_TRUE(clear.Alpha == nullptr);
    EXPECT_EQ(clear.Params.SamplesPerPixel, 4);
    TRead grey;
    ReadTga(Join(THead{3, 8, 1, 1}.Bytes(), {7}), grey);
    EXPECT_TRUE(grey.Params.TgaGrayLevel);
    EXPECT_EQ(RGBOf(grey.Bitmap), (TBytes{7, 7, 7}));
}

// The footer's extension area fills the fields; without one, or with one the footer places
// outside the file, the defaults stay.
TEST_F(Tga, ExtensionAreaFields) {
    const TBytes image = Join(THead{2, 24, 1, 1}.Bytes(), {1, 2, 3});
    const auto offset = static_cast<uint32_t>(image.size());
    TRead read;
    ReadTga(Join(Join(image, Extension(3, 4, 2021)), Footer(offset)), read);
    ASSERT_FALSE(read.Aborted);
    EXPECT_EQ(read.Params.TgaAuthor, "Author");
    EXPECT_EQ(read.Params.TgaImageName, "Job");
    EXPECT_DOUBLE_EQ(read.Params.TgaAspectRatio, 1.5);
    EXPECT_DOUBLE_EQ(read.Params.TgaGamma, 2.2);
    EXPECT_EQ(read.Params.TgaBackground.r, 1);
    EXPECT_EQ(read.Params.TgaBackground.g, 2);
    EXPECT_EQ(read.Params.TgaBackground.b, 3);
    // 4 March 2021 is day 44259 after 30 December 1899.
    EXPECT_NEAR(read.Params.TgaDate, 44259 + (5 * 3600 + 6 * 60 + 7) / 86400.0, 1e-9);

    struct TCase {
        const char* Name;
        TBytes File;
    };
    const TCase defaults[] = {
        {"version 1", image},
        {"offset 0", Join(Join(image, Extension(3, 4, 2021)), Footer(0))},
        {"offset past the file", Join(Join(image, Extension(3, 4, 2021)), Footer(100000))},
        {"30 February", Join(Join(image, Extension(2, 30, 2021)), Footer(offset))},
    };
    for (const TCase& c : defaults) {
        SCOPED_TRACE(c.Name);
        TRead plain;
        plain.Params.TgaGamma = 9;
        ReadTga(c.File, plain);
        EXPECT_FALSE(plain.Aborted);
        EXPECT_EQ(plain.Params.TgaDate, Date());
        if (std::string(c.Name) == "30 February") continue;
        EXPECT_EQ(plain.Params.TgaAuthor, "");
        EXPECT_DOUBLE_EQ(plain.Params.TgaAspectRatio, 1.0);
        EXPECT_DOUBLE_EQ(plain.Params.TgaGamma, 2.2);
    }
}

// Every depth the writer makes, raw and run-length: Pillow reads back the picture, alpha too.
TEST_F(Tga, OurFilesReadByPillowAsTheSource) {
    if (std::system((std::string(Python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) != 0)
        SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    struct TCase {
        const char* Name;
        int32_t Bits, Samples;
        bool Grey, Alpha, TwoColours;
        uint8_t Type, Depth;
    };
    const TCase cases[] = {
        {"1 bit", 1, 1, false, false, true, 3, 1},
        {"8-bit palette", 8, 1, false, false, false, 1, 8},
        {"8-bit grey", 8, 1, true, false, false, 3, 8},
        {"24 bits", 8, 3, false, false, false, 2, 24},
        {"32 bits", 8, 3, false, true, false, 2, 32},
    };
    for (const TCase& c : cases)
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (compressed ? ", run-length" : ", raw"));
            TVLBitmap picture;
            const int32_t w = 29, h = 7;
            ASSERT_TRUE(picture.Allocate(w, h, vl24RGB));
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    uint8_t* p = picture.GetScanline(y) + 3 * x;
                    const int32_t k = (x / 4 + y) % 9;
                    const uint8_t v = uint8_t(c.TwoColours ? (k % 2) * 255 : k * 28);
                    p[0] = v;
                    p[1] = c.Grey || c.TwoColours ? v : uint8_t(255 - v);
                    p[2] = c.Grey || c.TwoColours ? v : uint8_t(k * 7);
                }
            TVLMask mask;
            if (c.Alpha) {
                ASSERT_TRUE(mask.AllocateBits(w, h, 8));
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        mask.SetPixel(x, y, (x * 9 + y * 31) & 255);
                mask.SyncFull();
            }
            TIOParamsVals params;
            params.BitsPerSample = c.Bits;
            params.SamplesPerPixel = c.Samples;
            params.TgaGrayLevel = c.Grey;
            params.TgaCompressed = compressed;
            bool aborted = false;
            const TBytes file = WriteTga(picture, params, c.Alpha ? &mask : nullptr, aborted);
            ASSERT_FALSE(aborted);
            const bool coded = compressed && (c.Depth == 8 || c.Depth == 24);
            EXPECT_EQ(file[2], c.Type + (coded ? 8 : 0));
            EXPECT_EQ(file[16], c.Depth);
            Dir.Write("ours.tga", file);
            TBytes pillow;
            ASSERT_TRUE(PillowRGBA(Dir.File("ours.tga"), pillow));
            const TBytes source = RGBAOf(picture, c.Alpha ? &mask : nullptr);
            EXPECT_EQ(pillow, source);
            TRead back;
            ReadTga(file, back);
            EXPECT_FALSE(back.Aborted);
            EXPECT_EQ(RGBAOf(back.Bitmap, back.Alpha.get()), source);
        }
}

// The header fields, the extension area and the footer the writer makes; 4 bits as a 16-entry
// map; other pixel formats from a 24-bit copy; sizes past the header refused.
TEST_F(Tga, WriterFieldsAndDepths) {
    TVLBitmap picture;
    ASSERT_TRUE(picture.Allocate(3, 2, vl24RGB));
    picture.Fill(0x336699);
    TIOParamsVals params;
    params.TgaDescription = "abc";
    params.TgaAuthor = "Someone";
    params.TgaImageName = "Job";
    params.TgaGamma = 2.2;
    params.TgaAspectRatio = 1.5;
    params.TgaDate = 44259 + 0.5;
    params.TgaBackground = TVLRGB{3, 2, 1};
    bool aborted = false;
    TBytes file = WriteTga(picture, params, nullptr, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(file[0], 4);
    EXPECT_EQ(TBytes(file.begin() + 18, file.begin() + 22), (TBytes{'a', 'b', 'c', 0}));
    EXPECT_EQ(file[17], 0x20);
    ASSERT_GE(file.size(), 26u + 495);
    const size_t x = file.size() - 26 - 495;
    EXPECT_EQ(file[file.size() - 26], x & 0xFF);
    EXPECT_EQ(std::string(file.end() - 18, file.end() - 1), "TRUEVISION-XFILE.");
    EXPECT_EQ(TBytes(file.begin() + x + 474, file.begin() + x + 482),
              Join(Join(Le16(15000), Le16(10000)), Join(Le16(22000), Le16(10000))));
    EXPECT_EQ(TBytes(file.begin() + x + 470, file.begin() + x + 474), (TBytes{0, 1, 2, 3}));
    TRead back;
    ReadTga(file, back);
    EXPECT_EQ(back.Params.TgaDescription, "abc");
    EXPECT_EQ(back.Params.TgaAuthor, "Someone");
    EXPECT_EQ(back.Params.TgaImageName, "Job");
    EXPECT_DOUBLE_EQ(back.Params.TgaGamma, 2.2);
    EXPECT_DOUBLE_EQ(back.Params.TgaAspectRatio, 1.5);
    EXPECT_NEAR(back.Params.TgaDate, 44259.5, 1e-9);

    // An image ID too long for its length byte is cut to 254 characters.
    params.TgaDescription = std::string(300, 'i');
    file = WriteTga(picture, params, nullptr, aborted);
    EXPECT_EQ(file[0], 255);
    TRead longId;
    ReadTga(file, longId);
    EXPECT_EQ(longId.Params.TgaDescription, std::string(254, 'i'));
    params.TgaDescription.clear();

    // 4 bits: a raw 16-entry map of 24-bit entries and packed indexes; the reader has no 4-bit
    // decoder and refuses it.
    params.BitsPerSample = 4;
    params.SamplesPerPixel = 1;
    params.TgaCompressed = true;
    file = WriteTga(picture, params, nullptr, aborted);
    EXPECT_FALSE(params.TgaCompressed);
    EXPECT_EQ((TBytes{file[1], file[2], file[5], file[6], file[7], file[16]}),
              (TBytes{1, 1, 16, 0, 24, 4}));
    EXPECT_EQ(file.size(), 18u + 1 + 16 * 3 + 2 * 2 + 495 + 26);
    EXPECT_EQ(params.GetPaletteCount(), 16);

    // A grey bitmap is written from a 24-bit copy at 24 bits; a bilevel one asked for 8 bits
    // is quantized.
    TVLBitmap grey;
    ASSERT_TRUE(grey.Allocate(3, 2, vl8g));
    grey.Fill(0x404040);
    TIOParamsVals eight;
    eight.BitsPerSample = 8;
    eight.SamplesPerPixel = 1;
    file = WriteTga(grey, eight, nullptr, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(file[16], 24);
    TVLBitmap bits;
    ASSERT_TRUE(bits.Allocate(3, 2, vl1g));
    bits.Fill(1);
    file = WriteTga(bits, eight, nullptr, aborted);
    EXPECT_EQ(file[16], 8);
    ReadTga(file, back);
    EXPECT_EQ(RGBOf(back.Bitmap), TBytes(18, 255));

    TVLBitmap wide;
    ASSERT_TRUE(wide.Allocate(70000, 1, vl1g));
    WriteTga(wide, eight, nullptr, aborted);
    EXPECT_TRUE(aborted);
}

TEST_F(Tga, DetectionTest) {
    struct TCase {
        TBytes Bytes;
        bool IsTga;
    };
    const TCase cases[] = {{THead{2, 24, 1, 1}.Bytes(), true},
                           {THead{11, 16, 1, 1}.Bytes(), true},
                           {THead{3, 4, 1, 1}.Bytes(), true},
                           {THead{4, 24, 1, 1}.Bytes(), false},
                           {THead{2, 12, 1, 1}.Bytes(), false},
                           {THead{2, 24, 0, 1}.Bytes(), false},
                           {TBytes(17, 0), false}};
    for (const TCase& c : cases) {
        TMemoryStream s;
        s.WriteBuffer(c.Bytes.data(), static_cast<int64_t>(c.Bytes.size()));
        s.SetPosition(0);
        EXPECT_EQ(IsTGAStream(s), c.IsTga);
        EXPECT_EQ(s.GetPosition(), 0);
    }
}

TEST_F(Tga, DamagedFilesNeverCrash) {
    TVLBitmap picture;
    ASSERT_TRUE(picture.Allocate(11, 5, vl24RGB));
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 33; ++x)
            picture.GetScanline(y)[x] = uint8_t((x / 6) * 40 + y);
    TVLMask mask;
    ASSERT_TRUE(mask.AllocateBits(11, 5, 8));
    mask.Fill(128);
    mask.Full = false;
    std::vector<TBytes> samples;
    for (const auto& [bits, samplesPerPixel] :
         std::vector<std::pair<int32_t, int32_t>>{{8, 1}, {8, 3}, {1, 1}}) {
        TIOParamsVals params;
        params.BitsPerSample = bits;
        params.SamplesPerPixel = samplesPerPixel;
        bool aborted = false;
        samples.push_back(WriteTga(picture, params, nullptr, aborted));
    }
    TIOParamsVals params;
    bool aborted = false;
    samples.push_back(WriteTga(picture, params, &mask, aborted));
    samples.push_back(Join(THead{1, 8, 2, 1, 0x30, 1, 250, 20, 32}.Bytes(), TBytes(82, 0x81)));
    for (const TBytes& sample : samples)
        FuzzParser(
            sample,
            [](const uint8_t* Data, int32_t Length) {
                TRead read;
                ReadTga(TBytes(Data, Data + Length), read);
            },
            1000);
}

} // namespace
