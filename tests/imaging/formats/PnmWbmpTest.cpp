// The PNM and WBMP codecs: files netpbm makes at every depth, raw and plain, read as netpbm reads
// them; hand-built files for scaling, comments, clamping and rasters cut short; our files read by
// netpbm and Pillow as the pictures they came from; damaged files never crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/formats/VLPnmWbmp.h"
#include "imaging/io/VLIOParams.h"
#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"
#include "tests/imaging/core/FuzzBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

const char* const Python = "/usr/bin/python3";

TBytes Bytes(const std::string& Text) {
    return TBytes(Text.begin(), Text.end());
}

TBytes Join(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* m = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(m, m + Stream.GetSize());
}

struct TRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    bool Aborted = false;
};

using TCodecReader = void (*)(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&, bool);

void Read(TCodecReader Reader, const TBytes& File, TRead& Out, bool ParamsOnly = false) {
    TMemoryStream stream;
    if (!File.empty()) stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    stream.SetPosition(0);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    Reader(stream, Out.Bitmap, Out.Params, progress, ParamsOnly);
}

using TCodecWriter = void (*)(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&);

// Writes Bitmap to Stream; true when the writer set the abort flag.
bool WriteAborts(TCodecWriter Writer, TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params) {
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    Writer(Stream, Bitmap, Params, progress);
    return aborted;
}

TBytes Write(TCodecWriter Writer, TVLBitmap& Bitmap, TIOParamsVals& Params, bool& Aborted) {
    TMemoryStream stream;
    Aborted = WriteAborts(Writer, stream, Bitmap, Params);
    return StreamBytes(stream);
}

// Red, green and blue of every pixel, rows from the top.
TBytes RGBOf(TVLBitmap& Bitmap) {
    TBytes out;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            const TVLRGB c = Bitmap.GetPixelAsRGB(x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

// A netpbm file as netpbm's own plain text gives it: the size, maxval and every sample.
struct TNetpbm {
    int32_t Width = 0, Height = 0, MaxVal = 0, Channels = 0;
    std::vector<uint32_t> Samples;
};

bool ParsePlain(const std::string& Text, TNetpbm& Out) {
    std::istringstream in(Text);
    std::string magic;
    in >> magic >> Out.Width >> Out.Height;
    if (magic == "P1") {
        Out.MaxVal = 1;
        Out.Channels = 1;
        char c = 0;
        while (in >> c)
            Out.Samples.push_back(c == '0' ? 1 : 0); // as brightness: 0 is white
        return Out.Samples.size() == size_t(Out.Width) * Out.Height;
    }
    in >> Out.MaxVal;
    Out.Channels = magic == "P3" ? 3 : 1;
    uint32_t v = 0;
    while (in >> v)
        Out.Samples.push_back(v);
    return (magic == "P2" || magic == "P3") &&
           Out.Samples.size() == size_t(Out.Width) * Out.Height * Out.Channels;
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PnmWbmp : public ::testing::Test {
protected:
    // The fixtures of make_pnm_fixtures.sh; false when netpbm or ImageMagick is missing.
    bool MakeFixtures() {
        for (const char* tool : {"pgmramp", "pnmdepth", "pnmtoplainpnm", "pbmtowbmp", "convert"})
            if (!ToolExists(tool)) return false;
        std::string log;
        return RunTool(std::string("bash '") + SV_TESTS_DIR +
                           "/imaging/formats/make_pnm_fixtures.sh' '" + Dir.Path().string() + "'",
                       log);
    }
    // The file as netpbm reads it, in plain form.
    bool NetpbmRead(const std::string& Path, TNetpbm& Out) {
        std::string text;
        return RunTool("pamtopnm < '" + Path + "' | pnmtoplainpnm", text) && ParsePlain(text, Out);
    }
    // The file as Pillow reads it in RGB.
    bool PillowRead(const std::string& Path, TBytes& Out) {
        std::string text;
        if (!RunTool(std::string(Python) +
                         " -c 'import sys\nfrom PIL import Image\n"
                         "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert(\"RGB\")"
                         ".tobytes())' '" +
                         Path + "'",
                     text))
            return false;
        Out = Bytes(text);
        return true;
    }
    ScratchFolder Dir;
};

// Every fixture reads within one level of netpbm's 8-bit reading (we truncate where netpbm
// rounds); 16-bit pixmaps read under NativePixelFormat keep every sample.
TEST_F(PnmWbmp, NetpbmFilesReadAsNetpbmReadsThem) {
    if (!MakeFixtures()) SV_SKIP_WITHOUT_REFERENCE("netpbm and ImageMagick");
    std::istringstream list(FileText(Dir.File("pnm.txt")));
    std::string name;
    int32_t files = 0;
    while (list >> name) {
        SCOPED_TRACE(name);
        ++files;
        TNetpbm ref;
        ASSERT_TRUE(ParsePlain(FileText(Dir.File(name + ".ref")), ref));
        TRead read;
        Read(ReadPNMStream, Dir.Read(name), read);
        ASSERT_FALSE(read.Aborted);
        ASSERT_EQ(read.Bitmap.GetWidth(), ref.Width);
        ASSERT_EQ(read.Bitmap.GetHeight(), ref.Height);
        const TBytes ours = RGBOf(read.Bitmap);
        int32_t worst = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            worst = std::max(worst, std::abs(int32_t(ours[i]) - int32_t(ref.Samples[i])));
        EXPECT_LE(worst, 1);
    }
    EXPECT_EQ(files, 18);

    TNetpbm wide;
    ASSERT_TRUE(NetpbmRead(Dir.File("picture-65535.ppm"), wide));
    TRead native;
    native.Params.NativePixelFormat = true;
    Read(ReadPNMStream, Dir.Read("picture-65535.ppm"), native);
    ASSERT_EQ(native.Bitmap.GetPixelFormat(), vlRGB48);
    EXPECT_EQ(native.Params.BitsPerSample, 16);
    std::vector<uint32_t> samples;
    for (int32_t y = 0; y < native.Bitmap.GetHeight(); ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(native.Bitmap.GetScanline(y));
        samples.insert(samples.end(), row, row + native.Bitmap.GetWidth() * 3);
    }
    EXPECT_EQ(samples, wide.Samples);
}

struct THandCase {
    const char* Name;
    TBytes File;
    bool Aborts;
    TBytes RGB; // empty: no pixels
};

TBytes Grey(std::initializer_list<uint8_t> Levels) {
    TBytes out;
    for (uint8_t v : Levels)
        out.insert(out.end(), {v, v, v});
    return out;
}

// Hand-built files: the kinds, the scaling of every form, comments, clamped samples, refused
// headers, and rasters cut short (the rest black over a bitmap that was white).
TEST_F(PnmWbmp, HandBuiltFilesReadAsTheyMean) {
    const THandCase cases[] = {
        {"P1 0 1", Bytes("P1 2 1\n0 1"), false, Grey({255, 0})},
        {"P4 0x80", Join(Bytes("P4 8 1\n"), {0x80}), false,
         Grey({0, 255, 255, 255, 255, 255, 255, 255})},
        {"P2 maxval 15", Bytes("P2 2 1 15\n15 0"), false, Grey({255, 0})},
        {"P5 maxval 15", Join(Bytes("P5 2 1 15\n"), {15, 0}), false, Grey({255, 0})},
        {"P3 maxval 1000", Bytes("P3 1 1 1000\n1000 500 0"), false, {255, 127, 0}},
        {"comment inside a plain raster", Bytes("P2 2 1 15\n15 # 9 9\n15"), false,
         Grey({255, 255})},
        {"comment inside a P1 raster", Bytes("P1 2 1\n0 # 1 1\n0"), false, Grey({255, 255})},
        {"samples above maxval", Bytes("P2 2 1 15\n20 15"), false, Grey({255, 255})},
        {"P5 above maxval", Join(Bytes("P5 1 1 15\n"), {200}), false, Grey({255})},
        {"P6 maxval 15", Join(Bytes("P6 1 1 15\n"), {15, 0, 7}), false, {255, 0, 119}},
        {"P5 of two-byte samples", Join(Bytes("P5 2 1 1000\n"), {0x03, 0xE8, 0x01, 0xF4}), false,
         Grey({255, 127})},
        {"16-bit P6 below 65535",
         Join(Bytes("P6 1 1 4095\n"), {0x0F, 0xFF, 0, 0, 0x08, 0}),
         false,
         {255, 0, 128}},
        {"16-bit P6 keeps the high bytes",
         Join(Bytes("P6 1 1 65535\n"), {0x12, 0x34, 0xFF, 0xFF, 0, 1}),
         false,
         {0x12, 0xFF, 0}},
        {"maxval 0", Bytes("P2 1 1 0\n0"), true, {}},
        {"maxval above 65535", Join(Bytes("P6 1 1 65536\n"), TBytes(6, 0)), true, {}},
        {"maxval not a number", Join(Bytes("P5 1 1 abc\n"), {1}), true, {}},
        {"no size", Bytes("P6"), true, {}},
        {"zero width", Bytes("P5 0 1 255\n"), true, {}},
        {"P7", Join(Bytes("P7 1 1 255\n"), {1}), true, {}},
        {"P5 cut short", Join(Bytes("P5 2 2 255\n"), {1, 2, 3}), true, Grey({1, 2, 3, 0})},
        {"P6 cut in a sample",
         Join(Bytes("P6 2 1 65535\n"), {0xFF, 0xFF, 0x80}),
         true,
         {255, 0, 0, 0, 0, 0}},
        {"P3 cut short", Bytes("P3 2 1 255\n1 2 3 4"), true, {1, 2, 3, 4, 0, 0}},
        {"P1 cut short", Bytes("P1 3 1\n0"), true, Grey({255, 0, 0})},
        {"P4 cut short", Join(Bytes("P4 9 2\n"), {0x7F}), true,
         Grey({255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (const THandCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRead read;
        // A bitmap of the same size left white: pixels the raster does not reach must not keep it.
        const int32_t pixels = static_cast<int32_t>(c.RGB.size() / 3);
        if (pixels > 0) {
            ASSERT_TRUE(
                read.Bitmap.Allocate(pixels > 8 ? 9 : pixels, pixels > 8 ? 2 : 1,
                                     c.File[1] == '1' || c.File[1] == '4' ? vl1g : vl24RGB));
            read.Bitmap.Fill(c.File[1] == '1' || c.File[1] == '4' ? 1 : 0xFFFFFF);
        }
        Read(ReadPNMStream, c.File, read);
        EXPECT_EQ(read.Aborted, c.Aborts);
        if (c.RGB.empty()) continue;
        EXPECT_EQ(RGBOf(read.Bitmap), c.RGB);
    }
}

TEST_F(PnmWbmp, CommentsAndHighBytesAreWrittenBack) {
    TRead read;
    Read(ReadPNMStream,
         Join(Bytes("P6 #   made by hand  \n1 1 65535\n"), {0xFF, 0xFF, 0x12, 0x34, 0, 0}), read);
    ASSERT_FALSE(read.Aborted);
    ASSERT_EQ(read.Params.PxmComments.Count(), 1);
    EXPECT_EQ(read.Params.PxmComments[0], u"made by hand");
    EXPECT_EQ(read.Params.BitsPerSample, 16);
    bool aborted = false;
    const TBytes written = Write(WritePNMStream, read.Bitmap, read.Params, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(written,
              Join(Bytes("P6 \n# made by hand\n1 1 65535\n"), {0xFF, 0xFF, 0x12, 0x12, 0, 0}));
}

// What the writer makes of each bitmap format and parameter pair, read back by netpbm and
// Pillow: the samples of the picture it came from.
TEST_F(PnmWbmp, OurFilesReadByNetpbmAndPillowAsTheSource) {
    if (!ToolExists("pamtopnm") || !ToolExists("pnmtoplainpnm"))
        SV_SKIP_WITHOUT_REFERENCE("netpbm");
    if (std::system((std::string(Python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) != 0)
        SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    struct TCase {
        const char* Name;
        TVLPixelFormat Format;
        int32_t BitsPerSample, SamplesPerPixel;
        const char* Magic;
        int32_t MaxVal;
    };
    const TCase cases[] = {
        {"bilevel", vl1g, 8, 3, "P4", 1},
        {"grey with colour parameters", vl8g, 8, 3, "P5", 255},
        {"colour as 8 bits", vl24RGB, 8, 3, "P6", 255},
        {"colour as 16 bits", vl24RGB, 16, 3, "P6", 65535},
        {"colour as grey", vl24RGB, 8, 1, "P5", 255},
        {"black and white colour as bits", vl24RGB, 1, 1, "P4", 1},
        {"16-bit colour", vlRGB48, 8, 3, "P6", 65535},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap picture;
        const int32_t w = 13, h = 5;
        ASSERT_TRUE(picture.Allocate(w, h, c.Format));
        std::vector<uint32_t> expected; // samples as netpbm gives them
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const bool on = (x * 3 + y * 5) % 7 < 3;
                const uint8_t r = uint8_t(x * 19), g = uint8_t(y * 50), b = uint8_t(x * y * 3);
                uint8_t* row = picture.GetScanline(y);
                if (c.Format == vl1g) {
                    if (on)
                        row[x >> 3] |= uint8_t(0x80 >> (x & 7));
                    else
                        row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
                    expected.push_back(on ? 1 : 0);
                } else if (c.Format == vl8g) {
                    row[x] = r;
                    expected.push_back(r);
                } else if (c.Format == vlRGB48) {
                    auto* words = reinterpret_cast<uint16_t*>(row) + x * 3;
                    words[0] = uint16_t(r * 251);
                    words[1] = uint16_t(g * 257 + 7);
                    words[2] = uint16_t(b * 13);
                    expected.insert(expected.end(), {words[0], words[1], words[2]});
                } else if (c.BitsPerSample == 1) {
                    const uint8_t v = on ? 255 : 0;
                    row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
                    expected.push_back(on ? 1 : 0);
                } else if (c.SamplesPerPixel == 1) {
                    row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = g;
                    expected.push_back(g);
                } else {
                    row[x * 3] = b;
                    row[x * 3 + 1] = g;
                    row[x * 3 + 2] = r;
                    const uint32_t scale = c.MaxVal == 65535 ? 257 : 1;
                    expected.insert(expected.end(), {r * scale, g * scale, b * scale});
                }
            }
        TIOParamsVals params;
        params.BitsPerSample = c.BitsPerSample;
        params.SamplesPerPixel = c.SamplesPerPixel;
        bool aborted = false;
        const TBytes file = Write(WritePNMStream, picture, params, aborted);
        ASSERT_FALSE(aborted);
        ASSERT_GE(file.size(), 2u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 2), c.Magic);
        Dir.Write("ours.pnm", file);

        TNetpbm netpbm;
        ASSERT_TRUE(NetpbmRead(Dir.File("ours.pnm"), netpbm));
        EXPECT_EQ(netpbm.Width, w);
        EXPECT_EQ(netpbm.Height, h);
        EXPECT_EQ(netpbm.MaxVal, c.MaxVal);
        EXPECT_EQ(netpbm.Samples, expected);

        TBytes pillow;
        ASSERT_TRUE(PillowRead(Dir.File("ours.pnm"), pillow));
        TVLBitmap eight;
        eight.Assign(&picture);
        if (c.Format == vlRGB48) eight.SetPixelFormat(vl24RGB);
        const TBytes source = RGBOf(eight);
        ASSERT_EQ(pillow.size(), source.size());
        int32_t worst = 0;
        for (size_t i = 0; i < source.size(); ++i)
            worst = std::max(worst, std::abs(int32_t(pillow[i]) - int32_t(source[i])));
        // Pillow and the bitmap take 8 bits from 16 in their own ways.
        EXPECT_LE(worst, c.Format == vlRGB48 ? 1 : 0);
    }
}

TEST_F(PnmWbmp, WbmpHeadersAndSizes) {
    TRead read;
    Read(ReadWBMPStream, TBytes{0, 0, 0x81, 0x00, 0x50}, read, true);
    EXPECT_FALSE(read.Aborted);
    EXPECT_EQ(read.Params.Width, 128);
    EXPECT_EQ(read.Params.Height, 80);

    TVLBitmap wide;
    ASSERT_TRUE(wide.Allocate(200, 2, vl1g));
    wide.Fill(0);
    TIOParamsVals params;
    bool aborted = false;
    const TBytes file = Write(WriteWBMPStream, wide, params, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(TBytes(file.begin(), file.begin() + 5), (TBytes{0, 0, 0x81, 0x48, 0x02}));
    EXPECT_EQ(file.size(), 5u + 2 * 25);

    const TBytes refused[] = {{1, 0, 1, 1, 0}, {0, 1, 1, 1, 0}, {0, 0, 0, 1}, {0, 0, 1, 0}, {}};
    for (const TBytes& bytes : refused) {
        TRead bad;
        Read(ReadWBMPStream, bytes, bad);
        EXPECT_TRUE(bad.Aborted);
    }
    // Rows cut short: what is there stays, the rest is black.
    TRead cut;
    Read(ReadWBMPStream, TBytes{0, 0, 8, 3, 0xF0, 0xFF}, cut);
    EXPECT_TRUE(cut.Aborted);
    EXPECT_EQ(RGBOf(cut.Bitmap), Join(Join(Grey({255, 255, 255, 255, 0, 0, 0, 0}),
                                           Grey({255, 255, 255, 255, 255, 255, 255, 255})),
                                      Grey({0, 0, 0, 0, 0, 0, 0, 0})));
}

TEST_F(PnmWbmp, WbmpAgreesWithNetpbm) {
    if (!MakeFixtures() || !ToolExists("wbmptopbm")) SV_SKIP_WITHOUT_REFERENCE("netpbm");
    TNetpbm ramp;
    ASSERT_TRUE(NetpbmRead(Dir.File("ramp.pbm"), ramp));
    TRead theirs;
    Read(ReadWBMPStream, Dir.Read("ramp.wbmp"), theirs);
    ASSERT_FALSE(theirs.Aborted);
    ASSERT_EQ(theirs.Bitmap.GetPixelFormat(), vl1g);
    std::vector<uint32_t> white;
    for (size_t i = 0; i < RGBOf(theirs.Bitmap).size(); i += 3)
        white.push_back(RGBOf(theirs.Bitmap)[i] == 255 ? 1 : 0);
    EXPECT_EQ(white, ramp.Samples);

    bool aborted = false;
    TIOParamsVals params;
    Dir.Write("ours.wbmp", Write(WriteWBMPStream, theirs.Bitmap, params, aborted));
    EXPECT_FALSE(aborted);
    std::string text;
    ASSERT_TRUE(RunTool("wbmptopbm '" + Dir.File("ours.wbmp") + "' | pnmtoplainpnm", text));
    TNetpbm back;
    ASSERT_TRUE(ParsePlain(text, back));
    EXPECT_EQ(back.Samples, ramp.Samples);
}

// A stream that takes nothing: both writers report the failure.
class TFullStream : public TMemoryStream {
public:
    int32_t Write(const void*, int32_t) override { return 0; }
};

TEST_F(PnmWbmp, ShortWritesAbort) {
    TVLBitmap picture;
    ASSERT_TRUE(picture.Allocate(9, 3, vl1g));
    for (auto writer : {WritePNMStream, WriteWBMPStream}) {
        TFullStream full;
        TIOParamsVals params;
        EXPECT_TRUE(WriteAborts(writer, full, picture, params));
    }
}

TEST_F(PnmWbmp, DamagedFilesNeverCrash) {
    const TBytes samples[] = {
        Join(Bytes("P6\n# c\n4 3\n255\n"), TBytes(36, 0x7F)),
        Join(Bytes("P5 4 3 65535\n"), TBytes(24, 0x81)),
        Join(Bytes("P4 12 3\n"), TBytes(6, 0x5A)),
        Bytes("P3 2 2 255\n1 2 3 4 5 6 # x\n7 8 9 10 11 12\n"),
        Bytes("P2 3 2 15\n1 2 3\n4 5 6\n"),
        Bytes("P1 5 2\n01010\n10101\n"),
    };
    for (const TBytes& sample : samples)
        FuzzParser(
            sample,
            [](const uint8_t* Data, int32_t Length) {
                TRead read;
                read.Params.NativePixelFormat = Length % 2 == 0;
                Read(ReadPNMStream, TBytes(Data, Data + Length), read);
                TMemoryStream stream;
                if (Length > 0) stream.WriteBuffer(Data, Length);
                stream.SetPosition(0);
                IsPNMStream(stream);
            },
            1500);
    FuzzParser(Join(TBytes{0, 0, 12, 3}, TBytes(6, 0xC3)), [](const uint8_t* Data, int32_t Length) {
        TRead read;
        Read(ReadWBMPStream, TBytes(Data, Data + Length), read);
    });
}

} // namespace
