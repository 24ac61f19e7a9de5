// The metafile content tests on hand-built headers, and the raw pixel reader on ImageMagick's
// dumps of one picture in every layout it writes, with headers and padded rows added, on
// hand-built alignment and byte-order cases, on layouts it must refuse and on damaged data.
#include "imaging/core/VLBitmap.h"
#include "imaging/formats/VLMetafileRaw.h"
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

TBytes Join(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

TBytes WmfHeader(uint16_t Type) {
    // type, header words, version 0x0300, size, objects, largest record, no parameters
    return {uint8_t(Type), 0, 9, 0, 0, 3, 0x40, 0, 0, 0, 1, 0, 0x10, 0, 0, 0, 0, 0};
}

TBytes Placeable(const TBytes& Header) {
    TBytes out = {0xD7, 0xCD, 0xC6, 0x9A};
    out.resize(22, 0);
    out.insert(out.end(), Header.begin(), Header.end());
    return out;
}

TBytes EmfHeader() {
    TBytes out(108, 0);
    out[0] = 1;
    std::memcpy(out.data() + 40, " EMF", 4);
    return out;
}

bool Answer(bool (*Probe)(TStream&), const TBytes& Bytes) {
    TMemoryStream stream;
    stream.WriteBuffer("ab", 2);
    if (!Bytes.empty()) stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    stream.SetPosition(2);
    const bool result = Probe(stream);
    EXPECT_EQ(stream.GetPosition(), 2);
    return result;
}

TEST(Metafiles, HeadersAreRecognised) {
    const TBytes wmf = Join(WmfHeader(1), TBytes(4, 0));
    const TBytes emf = EmfHeader();
    const TBytes placeable = Placeable(WmfHeader(1));
    struct TCase {
        const char* Name;
        bool (*Probe)(TStream&);
        TBytes Bytes;
        bool Expected;
    };
    TBytes emfWithoutSignature = EmfHeader();
    emfWithoutSignature[41] = 'X';
    const TCase cases[] = {
        {"metafile", IsWMFStream, Join(WmfHeader(1), TBytes(2, 0)), true},
        {"placeable metafile", IsWMFStream, Placeable(WmfHeader(1)), true},
        {"disk metafile", IsWMFStream, Join(WmfHeader(2), TBytes(2, 0)), false},
        {"placeable disk metafile", IsWMFStream, Placeable(WmfHeader(2)), false},
        {"placeable header cut short", IsWMFStream, TBytes(placeable.begin(), placeable.end() - 1),
         false},
        {"metafile of 19 bytes", IsWMFStream, TBytes(wmf.begin(), wmf.begin() + 19), false},
        {"enhanced metafile", IsEMFStream, EmfHeader(), true},
        {"enhanced metafile of 100 bytes", IsEMFStream, TBytes(emf.begin(), emf.begin() + 100),
         true},
        {"enhanced metafile of 99 bytes", IsEMFStream, TBytes(emf.begin(), emf.begin() + 99),
         false},
        {"no signature", IsEMFStream, emfWithoutSignature, false},
        {"empty", IsEMFStream, TBytes{}, false},
        {"empty metafile", IsWMFStream, TBytes{}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Answer(c.Probe, c.Bytes), c.Expected);
    }
}

struct TRaw {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    bool Aborted = false;
    std::vector<int32_t> Percents;
};

void ReadRaw(const TBytes& Data, TRaw& Out) {
    TMemoryStream stream;
    if (!Data.empty()) stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    stream.SetPosition(0);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    progress.Handler = [&Out](TObject*, int32_t Per) { Out.Percents.push_back(Per); };
    ReadRawPixelsStream(stream, Out.Bitmap, Out.Params, progress);
}

TBytes Row(TVLBitmap& Bitmap, int32_t Y, int64_t Bytes) {
    const uint8_t* row = Bitmap.GetScanline(Y);
    return TBytes(row, row + Bytes);
}

TEST(RawPixels, AlignmentOrderAndProgress) {
    // 3 x 2 at 32-bit rows: 9 pixel bytes and 3 of padding a row.
    TRaw aligned;
    ASSERT_TRUE(aligned.Bitmap.Allocate(3, 2, vl24RGB));
    aligned.Params.RawPixelsRowAlign = 32;
    aligned.Params.RawPixelsBGR = true;
    TBytes data;
    for (int i = 0; i < 24; ++i)
        data.push_back(uint8_t(i + 1));
    ReadRaw(data, aligned);
    EXPECT_FALSE(aligned.Aborted);
    EXPECT_EQ(Row(aligned.Bitmap, 0, 9), TBytes(data.begin(), data.begin() + 9));
    EXPECT_EQ(Row(aligned.Bitmap, 1, 9), TBytes(data.begin() + 12, data.begin() + 21));

    TRaw packed;
    ASSERT_TRUE(packed.Bitmap.Allocate(3, 2, vl24RGB));
    packed.Params.RawPixelsBGR = true;
    ReadRaw(data, packed);
    EXPECT_FALSE(packed.Aborted);
    EXPECT_EQ(Row(packed.Bitmap, 1, 9), TBytes(data.begin() + 9, data.begin() + 18));

    TRaw rgb;
    ASSERT_TRUE(rgb.Bitmap.Allocate(1, 1, vl24RGB));
    ReadRaw({10, 20, 30}, rgb);
    EXPECT_EQ(rgb.Bitmap.GetPixelAsRGB(0, 0).r, 10);
    EXPECT_EQ(rgb.Bitmap.GetPixelAsRGB(0, 0).g, 20);
    EXPECT_EQ(rgb.Bitmap.GetPixelAsRGB(0, 0).b, 30);

    TRaw planar;
    ASSERT_TRUE(planar.Bitmap.Allocate(2, 2, vl24RGB));
    planar.Params.RawPixelsPlanar = 1;
    ReadRaw(TBytes(12, 7), planar);
    EXPECT_FALSE(planar.Aborted);
    EXPECT_EQ(planar.Percents, (std::vector<int32_t>{0, 33, 66, 100}));
}

// Layouts the fields cannot describe, bitmaps without a raw layout and data cut short set the
// abort flag; the rows read before stay.
TEST(RawPixels, RefusedLayoutsAndShortData) {
    struct TCase {
        const char* Name;
        TVLPixelFormat Format;
        int32_t Width, Height;
        int32_t HeaderSize, RowAlign;
        uint8_t Planar;
        int32_t DataBytes;
    };
    const TCase cases[] = {
        {"row alignment 0", vl8g, 4, 2, 0, 0, 0, 8},
        {"row alignment 12", vl8g, 4, 2, 0, 12, 0, 8},
        {"negative header", vl8g, 4, 2, -4, 8, 0, 8},
        {"planar 2", vl24RGB, 4, 2, 0, 8, 2, 24},
        {"planar 3 for 48 bits", vlRGB48, 4, 2, 0, 8, 3, 48},
        {"no pixels", vlNone, 0, 0, 0, 8, 0, 8},
        {"CIELab", vlCIELab, 4, 2, 0, 8, 0, 24},
        {"32-bit RGB", vl32RGB, 4, 2, 0, 8, 0, 32},
        {"short interleaved", vl8g, 4, 2, 0, 8, 0, 6},
        {"short planar", vlCMYK, 4, 2, 0, 8, 1, 31},
        {"header past the data", vl8g, 4, 2, 100, 8, 0, 8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRaw raw;
        if (c.Width > 0) {
            ASSERT_TRUE(raw.Bitmap.Allocate(c.Width, c.Height, c.Format));
        }
        raw.Bitmap.Fill(0);
        raw.Params.RawPixelsHeaderSize = c.HeaderSize;
        raw.Params.RawPixelsRowAlign = c.RowAlign;
        raw.Params.RawPixelsPlanar = c.Planar;
        raw.Params.RawPixelsBGR = true;
        ReadRaw(TBytes(size_t(c.DataBytes), 0x42), raw);
        EXPECT_TRUE(raw.Aborted);
    }
    // The first row of a cut interleaved read stays.
    TRaw cut;
    ASSERT_TRUE(cut.Bitmap.Allocate(4, 2, vl8g));
    cut.Bitmap.Fill(0);
    ReadRaw({1, 2, 3, 4, 5}, cut);
    EXPECT_TRUE(cut.Aborted);
    EXPECT_EQ(Row(cut.Bitmap, 0, 4), (TBytes{1, 2, 3, 4}));
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples of a netpbm raw file netpbm wrote (header without comments).
TBytes NetpbmSamples(const std::string& Text, int32_t& W, int32_t& H) {
    int32_t maxval = 0, consumed = 0;
    char magic[3] = {};
    if (std::sscanf(Text.c_str(), "%2s %d %d %d%n", magic, &W, &H, &maxval, &consumed) != 4)
        return {};
    return TBytes(Text.begin() + consumed + 1, Text.end());
}

// ImageMagick's dumps of one picture, and variants with headers and padded rows, read as the
// picture; planar CMYK reads as interleaved CMYK does.
TEST(RawPixels, ImageMagickDumpsReadAsThePicture) {
    ScratchFolder dir;
    std::string log;
    if (!ToolExists("convert") || !ToolExists("pgmramp") ||
        !RunTool(std::string("bash '") + SV_TESTS_DIR + "/imaging/formats/make_pnm_fixtures.sh' '" +
                     dir.Path().string() + "'",
                 log))
        SV_SKIP_WITHOUT_REFERENCE("netpbm and ImageMagick");
    std::istringstream list(FileText(dir.File("raw.txt")));
    std::string file, source;
    int32_t bits = 0, header = 0, align = 0, planar = 0, bgr = 0, depth = 0;
    int32_t rows = 0;
    while (list >> file >> bits >> header >> align >> planar >> bgr >> source >> depth) {
        SCOPED_TRACE(file);
        ++rows;
        int32_t w = 0, h = 0;
        const TBytes picture =
            NetpbmSamples(FileText(dir.File(source + (source == "ramp" ? ".pgm" : ".ppm"))), w, h);
        ASSERT_GT(w, 0);
        const TVLPixelFormat format = bits == 24   ? vl24RGB
                                      : bits == 48 ? vlRGB48
                                      : bits == 16 ? vl16g
                                                   : vl8g;
        TRaw raw;
        ASSERT_TRUE(raw.Bitmap.Allocate(w, h, format));
        raw.Params.RawPixelsHeaderSize = header;
        raw.Params.RawPixelsRowAlign = align;
        raw.Params.RawPixelsPlanar = uint8_t(planar);
        raw.Params.RawPixelsBGR = bgr != 0;
        ReadRaw(dir.Read(file), raw);
        EXPECT_FALSE(raw.Aborted);
        // The picture's samples at the bitmap's depth: red, green, blue or grey, rows from the top.
        TBytes ours;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = raw.Bitmap.GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                if (format == vl24RGB)
                    ours.insert(ours.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
                if (format == vl8g) ours.push_back(row[x]);
                const auto* words = reinterpret_cast<const uint16_t*>(row);
                if (format == vlRGB48)
                    for (int c = 0; c < 3; ++c)
                        ours.push_back(uint8_t(words[x * 3 + c] / 257));
                if (format == vl16g) ours.push_back(uint8_t(words[x] / 257));
            }
        }
        EXPECT_EQ(ours, picture);
    }
    EXPECT_EQ(rows, 11);

    TRaw interleaved, planes;
    for (TRaw* raw : {&interleaved, &planes}) {
        ASSERT_TRUE(raw->Bitmap.Allocate(37, 23, vlCMYK));
        raw->Params.RawPixelsPlanar = raw == &planes ? 1 : 0;
        ReadRaw(dir.Read(raw == &planes ? "picture-planar.cmyk" : "picture.cmyk"), *raw);
        EXPECT_FALSE(raw->Aborted);
    }
    const TBytes cmyk = dir.Read("picture.cmyk");
    for (int32_t y = 0; y < 23; ++y) {
        EXPECT_EQ(Row(planes.Bitmap, y, 37 * 4), Row(interleaved.Bitmap, y, 37 * 4));
        EXPECT_EQ(Row(interleaved.Bitmap, y, 37 * 4),
                  TBytes(cmyk.begin() + y * 148, cmyk.begin() + (y + 1) * 148));
    }
}

TEST(RawPixels, DamagedDataNeverCrashes) {
    TBytes sample(200);
    for (size_t i = 0; i < sample.size(); ++i)
        sample[i] = uint8_t(i * 37);
    for (TVLPixelFormat format : {vl1g, vl8g, vl16g, vl24RGB, vl32f, vlCMYK, vlRGB48}) {
        FuzzParser(
            sample,
            [format](const uint8_t* Data, int32_t Length) {
                TRaw raw;
                ASSERT_TRUE(raw.Bitmap.Allocate(5 + Length % 7, 3 + Length % 3, format));
                raw.Params.RawPixelsPlanar = uint8_t(Length % 2);
                raw.Params.RawPixelsRowAlign = 8 << (Length % 4);
                raw.Params.RawPixelsHeaderSize = Length % 5;
                ReadRaw(TBytes(Data, Data + Length), raw);
            },
            300);
    }
}

} // namespace
