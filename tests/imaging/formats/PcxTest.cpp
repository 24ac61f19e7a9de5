// The PCX and DCX codecs: files netpbm and ImageMagick make read as those tools read them, our
// files read by netpbm as the pictures they came from, the writer's bytes for runs and pad
// bytes, pages inserted into a container, and damaged files that never crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/formats/VLPcx.h"
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

struct TRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    bool Aborted = false;
};

TMemoryStream& Fill(TMemoryStream& Stream, const TBytes& Bytes) {
    if (!Bytes.empty()) Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    Stream.SetPosition(0);
    return Stream;
}

TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* m = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(m, m + Stream.GetSize());
}

void ReadPcx(const TBytes& File, TRead& Out, int32_t DataSize = -1) {
    TMemoryStream stream;
    Fill(stream, File);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    ReadPCXStream(stream, Out.Bitmap, Out.Params,
                  DataSize < 0 ? static_cast<int32_t>(File.size()) : DataSize, progress, false);
}

void ReadDcx(const TBytes& File, TRead& Out, int32_t Page) {
    TMemoryStream stream;
    Fill(stream, File);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    Out.Params.DcxImageIndex = Page;
    ReadDCXStream(stream, Out.Bitmap, Out.Params, progress, false);
}

TBytes WritePcx(TVLBitmap& Bitmap, TIOParamsVals& Params, bool& Aborted) {
    TMemoryStream stream;
    Aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborted;
    WritePCXStream(stream, Bitmap, Params, progress);
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

// A reference reading of make_pcx_tga_fixtures.py: size, then RGBA.
struct TReference {
    int32_t Width = 0, Height = 0;
    TBytes RGB;
};

bool LoadReference(const std::vector<uint8_t>& File, TReference& Out) {
    if (File.size() < 8) return false;
    std::memcpy(&Out.Width, File.data(), 4);
    std::memcpy(&Out.Height, File.data() + 4, 4);
    if (File.size() != 8 + size_t(Out.Width) * Out.Height * 4) return false;
    for (size_t i = 8; i < File.size(); i += 4)
        Out.RGB.insert(Out.RGB.end(), {File[i], File[i + 1], File[i + 2]});
    return true;
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture of W x H in few colours: 1 = black and white, else up to 12 colours.
void FewColours(TVLBitmap& Bitmap, int32_t W, int32_t H, bool TwoColours) {
    ASSERT_TRUE(Bitmap.Allocate(W, H, vl24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            uint8_t* p = Bitmap.GetScanline(y) + 3 * x;
            const int32_t k = (x / 3 + y * 2) % (TwoColours ? 2 : 12);
            p[0] = static_cast<uint8_t>(TwoColours ? k * 255 : k * 20);
            p[1] = static_cast<uint8_t>(TwoColours ? k * 255 : 250 - k * 17);
            p[2] = static_cast<uint8_t>(TwoColours ? k * 255 : (k * 77) & 255);
        }
}

class Pcx : public ::testing::Test {
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
    ScratchFolder Dir;
};

// Every PCX and DCX fixture reads as pcxtoppm or ImageMagick reads it; the layouts outside
// the reader's list (2 planes of 1 bit, 3 planes of 1 bit, 2 bits packed) are refused.
TEST_F(Pcx, ToolFilesReadAsTheToolsReadThem) {
    if (!MakeFixtures()) SV_SKIP_WITHOUT_REFERENCE("netpbm, ImageMagick and Pillow");
    std::istringstream list(FileText(Dir.File("fixtures.txt")));
    std::string name, kind;
    int32_t page = 0, files = 0;
    while (list >> name >> page >> kind) {
        if (name.find(".tga") != std::string::npos) continue;
        SCOPED_TRACE(name + " page " + std::to_string(page));
        ++files;
        TRead read;
        if (page >= 0)
            ReadDcx(Dir.Read(name), read, page);
        else
            ReadPcx(Dir.Read(name), read);
        if (kind == "refused") {
            EXPECT_TRUE(read.Aborted);
            continue;
        }
        ASSERT_FALSE(read.Aborted);
        TReference ref;
        const std::string refName = page >= 0 ? name + "-" + std::to_string(page) : name;
        ASSERT_TRUE(LoadReference(Dir.Read(refName + ".rgba"), ref));
        ASSERT_EQ(read.Bitmap.GetWidth(), ref.Width);
        ASSERT_EQ(read.Bitmap.GetHeight(), ref.Height);
        EXPECT_EQ(RGBOf(read.Bitmap), ref.RGB);
        if (page >= 0) {
            EXPECT_EQ(read.Params.ImageIndex, page);
            EXPECT_EQ(read.Params.ImageCount, 3);
        }
    }
    EXPECT_EQ(files, 15);

    // A page past the last reads the last and says so.
    TRead last;
    ReadDcx(Dir.Read("pages.dcx"), last, 7);
    EXPECT_FALSE(last.Aborted);
    EXPECT_EQ(last.Params.DcxImageIndex, 2);
    TReference ref;
    ASSERT_TRUE(LoadReference(Dir.Read("pages.dcx-2.rgba"), ref));
    EXPECT_EQ(RGBOf(last.Bitmap), ref.RGB);
}

// Our files in every depth, raw and run-length, of odd width: pcxtoppm reads the picture back.
TEST_F(Pcx, OurFilesReadByNetpbmAsTheSource) {
    if (!ToolExists("pcxtoppm") || !ToolExists("pnmtoplainpnm"))
        SV_SKIP_WITHOUT_REFERENCE("netpbm");
    struct TCase {
        int32_t Bits, Samples;
        bool Bilevel;
        uint8_t HeaderBits, Planes;
    };
    const TCase cases[] = {
        {1, 1, true, 1, 1}, {4, 1, false, 4, 1}, {8, 1, false, 8, 1}, {8, 3, false, 8, 3}};
    for (const TCase& c : cases)
        for (uint8_t compression : {0, 1}) {
            SCOPED_TRACE(std::to_string(c.Bits * c.Samples) + " bits, compression " +
                         std::to_string(compression));
            TVLBitmap picture;
            FewColours(picture, 37, 9, c.Bilevel);
            TIOParamsVals params;
            params.BitsPerSample = c.Bits;
            params.SamplesPerPixel = c.Samples;
            params.PcxCompression = compression;
            bool aborted = false;
            const TBytes file = WritePcx(picture, params, aborted);
            ASSERT_FALSE(aborted);
            ASSERT_GT(file.size(), 128u);
            EXPECT_EQ(file[2], compression);
            EXPECT_EQ(file[3], c.HeaderBits);
            EXPECT_EQ(file[65], c.Planes);
            EXPECT_EQ(file[66] % 2, 0) << "bytes per line are even";
            TRead back;
            ReadPcx(file, back);
            EXPECT_FALSE(back.Aborted);
            EXPECT_EQ(RGBOf(back.Bitmap), RGBOf(picture));
            // pcxtoppm reads run-length files only.
            if (compression == 0) continue;
            Dir.Write("ours.pcx", file);
            std::string text;
            ASSERT_TRUE(RunTool("pcxtoppm '" + Dir.File("ours.pcx") + "' | pnmtoplainpnm", text));
            std::istringstream in(text);
            std::string magic;
            int32_t w = 0, h = 0, maxval = 0;
            in >> magic >> w >> h >> maxval;
            EXPECT_EQ(w, 37);
            EXPECT_EQ(h, 9);
            TBytes netpbm;
            for (int32_t v = 0; in >> v;)
                netpbm.push_back(static_cast<uint8_t>(v));
            EXPECT_EQ(netpbm, RGBOf(picture));
        }
}

// A 24-bit line of 5 samples is coded over its 5 samples plus the pad byte of 6 bytes per line;
// a run of 70 equal samples becomes runs of 63 and 7; a raw 8-bit file ends with the marker and
// the palette.
TEST_F(Pcx, WriterBytesForPadsAndLongRuns) {
    TVLBitmap five;
    ASSERT_TRUE(five.Allocate(5, 1, vl24RGB));
    const uint8_t bgr[5][3] = {{1, 2, 3}, {4, 5, 0xC5}, {4, 5, 0xC5}, {7, 8, 9}, {7, 8, 9}};
    std::memcpy(five.GetScanline(0), bgr, 15);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    bool aborted = false;
    TBytes file = WritePcx(five, params, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(file[66] | (file[67] << 8), 6);
    EXPECT_EQ(file[68] | (file[69] << 8), 0) << "palette information of a 24-bit file";
    const TBytes lines = {3,    0xC2, 0xC5, 0xC2, 9,    0, 2,    0xC2, 5,
                          0xC2, 8,    0,    1,    0xC2, 4, 0xC2, 7,    0};
    EXPECT_EQ(TBytes(file.begin() + 128, file.end()), lines);

    TVLBitmap flat;
    ASSERT_TRUE(flat.Allocate(70, 1, vl24RGB));
    flat.Fill(0x102030);
    params.SamplesPerPixel = 1;
    file = WritePcx(flat, params, aborted);
    ASSERT_FALSE(aborted);
    ASSERT_EQ(file.size(), 128u + 4 + 1 + 768);
    EXPECT_EQ(TBytes(file.begin() + 128, file.begin() + 133), (TBytes{0xFF, 0, 0xC7, 0, 0x0C}));
    EXPECT_EQ(TBytes(file.begin() + 133, file.begin() + 136), (TBytes{0x30, 0x20, 0x10}));

    params.PcxCompression = 0;
    file = WritePcx(five, params, aborted);
    ASSERT_EQ(file.size(), 128u + 6 + 1 + 768);
    EXPECT_EQ(file[2], 0);
    EXPECT_EQ(file[128 + 5], 0) << "the pad byte of a raw line";
}

// Bit totals the format has no layout for are written as 24 bits (1 for a bilevel picture);
// sizes past the 16-bit header are refused.
TEST_F(Pcx, WriterChoosesALayoutItCanWrite) {
    TVLBitmap colour;
    FewColours(colour, 9, 4, false);
    TVLBitmap bits;
    ASSERT_TRUE(bits.Allocate(9, 4, vl1g));
    bits.Fill(1);
    struct TCase {
        TVLBitmap* Picture;
        int32_t Bits, Samples;
        uint8_t HeaderBits, Planes;
    };
    const TCase cases[] = {{&colour, 8, 4, 8, 3},
                           {&colour, 2, 1, 8, 3},
                           {&bits, 8, 4, 1, 1},
                           {&bits, 8, 3, 8, 3},
                           {&colour, 1, 3, 1, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bits) + " x " + std::to_string(c.Samples));
        TIOParamsVals params;
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        bool aborted = false;
        const TBytes file = WritePcx(*c.Picture, params, aborted);
        ASSERT_FALSE(aborted);
        EXPECT_EQ(file[3], c.HeaderBits);
        EXPECT_EQ(file[65], c.Planes);
        TRead back;
        ReadPcx(file, back);
        EXPECT_FALSE(back.Aborted);
        if (c.Bits != 1) {
            EXPECT_EQ(RGBOf(back.Bitmap), RGBOf(*c.Picture));
        }
    }
    TVLBitmap wide;
    ASSERT_TRUE(wide.Allocate(70000, 1, vl1g));
    TIOParamsVals params;
    bool aborted = false;
    WritePcx(wide, params, aborted);
    EXPECT_TRUE(aborted);
}

// A header as ppmtopcx writes it, with the fields the cases change.
TBytes Header(uint8_t Bits, uint8_t Planes, int32_t W, int32_t H, int32_t BytesPerLine,
              uint8_t Encoding = 1) {
    TBytes h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = Encoding;
    h[3] = Bits;
    h[8] = static_cast<uint8_t>(W - 1);
    h[9] = static_cast<uint8_t>((W - 1) >> 8);
    h[10] = static_cast<uint8_t>(H - 1);
    h[11] = static_cast<uint8_t>((H - 1) >> 8);
    h[12] = 72;
    h[14] = 72;
    h[65] = Planes;
    h[66] = static_cast<uint8_t>(BytesPerLine);
    h[67] = static_cast<uint8_t>(BytesPerLine >> 8);
    for (int i = 0; i < 48; ++i)
        h[16 + i] = static_cast<uint8_t>(i * 5);
    return h;
}

TBytes Join(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

struct THandCase {
    const char* Name;
    TBytes File;
    bool Aborts;
    TBytes RGB; // empty: not compared
};

// Hand-built files: runs across plane lines and rows, palettes with and without the marker,
// the header's resolution, and the faults: too few bytes per line, layouts outside the list,
// data that ends early.
TEST_F(Pcx, HandBuiltFilesReadAsTheyMean) {
    const TBytes palette = Join({0x0C}, [] {
        TBytes p(768, 0);
        p[3] = 200, p[4] = 100, p[5] = 50;
        return p;
    }());
    const THandCase cases[] = {
        {"run across the plane lines of a row",
         Join(Header(8, 3, 1, 1, 2), {0xC6, 7}),
         false,
         {7, 7, 7}},
        {"run across rows", Join(Header(8, 1, 2, 2, 2), {0xC4, 1, 0x0C}), false, TBytes(12, 1)},
        {"palette behind its marker",
         Join(Join(Header(8, 1, 2, 1, 2), {0, 1}), palette),
         false,
         {0, 0, 0, 200, 100, 50}},
        {"no marker: grey levels",
         Join(Join(Header(8, 1, 2, 1, 2), {5, 9}), TBytes(769, 3)),
         false,
         {5, 5, 5, 9, 9, 9}},
        {"4 bits of odd width",
         Join(Header(4, 1, 3, 1, 2), {0x12, 0x30}),
         false,
         {15, 20, 25, 30, 35, 40, 45, 50, 55}},
        {"16 colours in 4 planes",
         Join(Header(1, 4, 2, 1, 2, 0), {0x80, 0, 0x40, 0, 0xC0, 0, 0, 0}),
         false,
         {75, 80, 85, 90, 95, 100}},
        {"too few bytes per line", Join(Header(8, 1, 4, 1, 2), TBytes(8, 1)), true, {}},
        {"2 bits per pixel", Join(Header(2, 1, 4, 1, 2), TBytes(4, 0)), true, {}},
        {"2 planes", Join(Header(1, 2, 8, 1, 2), TBytes(4, 0)), true, {}},
        {"3 planes of 4 bits", Join(Header(4, 3, 2, 1, 2), TBytes(6, 0)), true, {}},
        {"data ends in a row",
         Join(Header(8, 3, 2, 2, 2), {0xC6, 9}),
         true,
         {9, 9, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0}},
        {"run count without its byte", Join(Header(8, 3, 1, 1, 2), {0xC6}), true, {}},
        {"manufacturer",
         [] {
             TBytes f = Join(Header(8, 3, 1, 1, 2), TBytes(6, 0));
             f[0] = 9;
             return f;
         }(),
         true,
         {}},
        {"encoding 2", Join(Header(8, 3, 1, 1, 2, 2), TBytes(6, 0)), true, {}},
        {"header cut short",
         [] {
             TBytes f = Header(8, 3, 1, 1, 2);
             f.pop_back();
             return f;
         }(),
         true,
         {}},
    };
    for (const THandCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRead read;
        ReadPcx(c.File, read);
        EXPECT_EQ(read.Aborted, c.Aborts);
        if (!c.RGB.empty()) {
            EXPECT_EQ(RGBOf(read.Bitmap), c.RGB);
        }
    }

    // A zero resolution gives the library's default both ways; the palette's size follows the
    // layout.
    TBytes file = Join(Header(4, 1, 3, 1, 2), {0x12, 0x30});
    file[12] = 0;
    TRead read;
    ReadPcx(file, read);
    EXPECT_EQ(read.Params.DpiX, DefaultDpiX);
    EXPECT_EQ(read.Params.DpiY, DefaultDpiY);
    EXPECT_EQ(read.Params.GetPaletteCount(), 16);
    TRead planes;
    ReadPcx(Join(Header(1, 4, 2, 1, 2), TBytes(8, 0)), planes);
    EXPECT_EQ(planes.Params.BitsPerSample, 4);
    EXPECT_EQ(planes.Params.SamplesPerPixel, 1);
    EXPECT_EQ(planes.Params.GetPaletteCount(), 16);
    EXPECT_EQ(planes.Bitmap.GetPixelFormat(), vl24RGB);

    // A data size beyond the stream is held to the stream: the palette is still found.
    TRead beyond;
    ReadPcx(Join(Join(Header(8, 1, 2, 1, 2), {0, 1}), palette), beyond, 1 << 30);
    EXPECT_FALSE(beyond.Aborted);
    EXPECT_EQ(RGBOf(beyond.Bitmap), (TBytes{0, 0, 0, 200, 100, 50}));
}

// Pages written one by one into a container of two: the new page goes before the old page of
// the index, an index past the pages appends it; a stream that is not DCX stays as it was.
TEST_F(Pcx, DcxPagesAreInsertedWhereTheIndexSays) {
    auto page = [](TVLBitmap& Page, uint8_t Grey) {
        ASSERT_TRUE(Page.Allocate(3, 2, vl24RGB));
        Page.Fill(Grey | (Grey << 8) | (Grey << 16));
    };
    auto insert = [](TMemoryStream& Stream, TVLBitmap& Picture, int32_t Index) {
        TIOParamsVals params;
        params.DcxImageIndex = Index;
        bool aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        WriteDCXStream(Stream, Picture, params, progress);
        return aborted;
    };
    auto greys = [](TMemoryStream& Stream) {
        TBytes out;
        for (int32_t p = 0;; ++p) {
            TRead read;
            ReadDcx(StreamBytes(Stream), read, p);
            if (read.Aborted || read.Params.DcxImageIndex != p) break;
            out.push_back(read.Bitmap.GetPixelAsRGB(0, 0).r);
        }
        return out;
    };
    struct TCase {
        int32_t Index;
        TBytes Greys;
    };
    const TCase cases[] = {{0, {30, 10, 20}},
                           {1, {10, 30, 20}},
                           {2, {10, 20, 30}},
                           {5, {10, 20, 30}},
                           {-3, {30, 10, 20}}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Index);
        TMemoryStream stream;
        TVLBitmap a, b, n;
        page(a, 10);
        page(b, 20);
        page(n, 30);
        ASSERT_FALSE(insert(stream, a, 0));
        ASSERT_FALSE(insert(stream, b, 1));
        ASSERT_EQ(greys(stream), (TBytes{10, 20}));
        EXPECT_FALSE(insert(stream, n, c.Index));
        EXPECT_EQ(greys(stream), c.Greys);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        stream.SetPosition(0);
        EXPECT_TRUE(IsDCXStream(stream));
    }

    TMemoryStream other;
    const TBytes text = {'n', 'o', 't', ' ', 'd', 'c', 'x'};
    Fill(other, text);
    TVLBitmap n;
    page(n, 30);
    EXPECT_TRUE(insert(other, n, 0));
    EXPECT_EQ(StreamBytes(other), text);

    // A page that cannot be written leaves the container as it was.
    TMemoryStream kept;
    TVLBitmap a, huge;
    page(a, 10);
    ASSERT_FALSE(insert(kept, a, 0));
    const TBytes before = StreamBytes(kept);
    ASSERT_TRUE(huge.Allocate(70000, 1, vl24RGB));
    EXPECT_TRUE(insert(kept, huge, 0));
    EXPECT_EQ(StreamBytes(kept), before);
}

TEST_F(Pcx, DcxTestsTheTable) {
    const TBytes magic = {0xB1, 0x68, 0xDE, 0x3A};
    auto stream = [&](const TBytes& Table, size_t Size) {
        TBytes bytes = Join(magic, Table);
        bytes.resize(std::max(bytes.size(), Size), 0);
        return bytes;
    };
    struct TCase {
        TBytes Bytes;
        bool IsDcx;
    };
    const TCase cases[] = {{stream({12, 0, 0, 0, 0, 0, 0, 0}, 20), true},
                           {stream({20, 0, 0, 0, 0, 0, 0, 0}, 20), false},
                           {stream({}, 4), true},
                           {TBytes(magic.begin(), magic.begin() + 3), false},
                           {TBytes(20, 0), false}};
    for (const TCase& c : cases) {
        TMemoryStream s;
        Fill(s, c.Bytes);
        s.SetPosition(0);
        EXPECT_EQ(IsDCXStream(s), c.IsDcx);
        EXPECT_EQ(s.GetPosition(), 0);
    }
    // A container without pages reads nothing.
    TRead none;
    ReadDcx(stream({}, 8), none, 0);
    EXPECT_TRUE(none.Aborted);
}

TEST_F(Pcx, DamagedFilesNeverCrash) {
    TVLBitmap picture;
    FewColours(picture, 13, 5, false);
    TBytes samples[4];
    int32_t i = 0;
    const std::pair<int32_t, int32_t> layouts[] = {{8, 1}, {8, 3}, {4, 1}, {1, 1}};
    for (const auto& [bits, samplesPerPixel] : layouts) {
        TIOParamsVals params;
        params.BitsPerSample = bits;
        params.SamplesPerPixel = samplesPerPixel;
        bool aborted = false;
        samples[i++] = WritePcx(picture, params, aborted);
    }
    for (const TBytes& sample : samples)
        FuzzParser(
            sample,
            [](const uint8_t* Data, int32_t Length) {
                TRead read;
                ReadPcx(TBytes(Data, Data + Length), read);
            },
            1000);
    // A container of two pages.
    TMemoryStream dcx;
    for (int32_t p = 0; p < 2; ++p) {
        TIOParamsVals params;
        params.DcxImageIndex = p;
        bool aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        WriteDCXStream(dcx, picture, params, progress);
    }
    FuzzParser(StreamBytes(dcx), [](const uint8_t* Data, int32_t Length) {
        TRead read;
        ReadDcx(TBytes(Data, Data + Length), read, Length % 3);
    });
}

} // namespace
