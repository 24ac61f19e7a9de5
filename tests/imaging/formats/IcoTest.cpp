// The icon and cursor readers against icoutils: every entry of icons and cursors icotool and
// ImageMagick make reads as "icotool -x" extracts it; hand-built files for the format's edge
// cases and for damaged data. The icon writer: its bytes, icotool's and Pillow's reading of its
// files, the same bytes from another thread. Icon handles and the desktop's file icons.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/formats/VLIco.h"
#include "imaging/formats/VLIcoWriter.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLPng.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOStream.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Thread.h"
#include "tests/ExternalTool.h"
#include "tests/imaging/core/FuzzBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

const char* const Python = "/usr/bin/python3";

void Put16(TBytes& B, size_t At, uint32_t V) {
    B[At] = static_cast<uint8_t>(V);
    B[At + 1] = static_cast<uint8_t>(V >> 8);
}

void Put32(TBytes& B, size_t At, uint32_t V) {
    Put16(B, At, V);
    Put16(B, At + 2, V >> 16);
}

uint32_t Get16(const TBytes& B, size_t At) {
    return B[At] | (uint32_t{B[At + 1]} << 8);
}

uint32_t Get32(const TBytes& B, size_t At) {
    return Get16(B, At) | (Get16(B, At + 2) << 16);
}

void Append(TBytes& A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
}

TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* m = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(m, m + Stream.GetSize());
}

// One image of a hand-built directory: its entry's fields and its bytes.
struct TImageSpec {
    uint8_t Width = 0, Height = 0, Colours = 0;
    uint16_t Planes = 0, BitCount = 0;
    TBytes Data;
};

TBytes Directory(uint16_t Type, const std::vector<TImageSpec>& Images) {
    TBytes file(6 + 16 * Images.size(), 0);
    Put16(file, 2, Type);
    Put16(file, 4, static_cast<uint32_t>(Images.size()));
    for (size_t i = 0; i < Images.size(); ++i) {
        const TImageSpec& image = Images[i];
        const size_t e = 6 + 16 * i;
        file[e] = image.Width;
        file[e + 1] = image.Height;
        file[e + 2] = image.Colours;
        Put16(file, e + 4, image.Planes);
        Put16(file, e + 6, image.BitCount);
        Put32(file, e + 8, static_cast<uint32_t>(image.Data.size()));
        Put32(file, e + 12, static_cast<uint32_t>(file.size()));
        Append(file, image.Data);
    }
    return file;
}

// A 40-byte header; HeightField holds both halves' height.
TBytes InfoHeader(int32_t Width, int32_t HeightField, uint16_t Bits, int32_t PixelsPerMetre = 0) {
    TBytes h(40, 0);
    Put32(h, 0, 40);
    Put32(h, 4, static_cast<uint32_t>(Width));
    Put32(h, 8, static_cast<uint32_t>(HeightField));
    Put16(h, 12, 1);
    Put16(h, 14, Bits);
    Put32(h, 24, static_cast<uint32_t>(PixelsPerMetre));
    Put32(h, 28, static_cast<uint32_t>(PixelsPerMetre));
    return h;
}

TBytes Table(const std::vector<TVLRGB>& Colours, size_t Count) {
    TBytes t(4 * Count, 0);
    for (size_t i = 0; i < Colours.size() && i < Count; ++i) {
        t[4 * i] = Colours[i].b;
        t[4 * i + 1] = Colours[i].g;
        t[4 * i + 2] = Colours[i].r;
    }
    return t;
}

// Rows given from the top, stored bottom row first, each padded to 32 bits.
TBytes Rows(const std::vector<TBytes>& TopDown) {
    TBytes out;
    for (auto row = TopDown.rbegin(); row != TopDown.rend(); ++row) {
        TBytes padded = *row;
        padded.resize((padded.size() + 3) / 4 * 4, 0);
        Append(out, padded);
    }
    return out;
}

struct TIconRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TVLMask> Mask;
    bool Aborted = false;

    int32_t Alpha(int32_t X, int32_t Y) { return Mask != nullptr ? Mask->GetPixel(X, Y) : 255; }
    TVLRGB Pixel(int32_t X, int32_t Y) { return Bitmap.GetPixelAsRGB(X, Y); }
};

void ReadIcon(const TBytes& File, TIconRead& Out, bool Cursor = false, bool ParamsOnly = false,
              bool IgnoreAlpha = false) {
    TMemoryStream stream;
    if (!File.empty()) stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    stream.SetPosition(0);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    (Cursor ? ReadCURStream : ReadICOStream)(stream, Out.Bitmap, Out.Params, ParamsOnly, progress,
                                             Out.Mask, IgnoreAlpha);
}

bool Same(const TVLRGB& A, const TVLRGB& B) {
    return A.r == B.r && A.g == B.g && A.b == B.b;
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TBytes FileBytes(const std::string& Path) {
    const std::string text = FileText(Path);
    return TBytes(text.begin(), text.end());
}

// ---- Reading files icoutils and ImageMagick make ---------------------------------------------

class IcoReference : public ::testing::Test {
protected:
    bool MakeFixtures() {
        for (const char* tool : {"icotool", "convert", Python})
            if (!ToolExists(tool)) return false;
        std::string log;
        return RunTool(std::string(Python) + " '" + SV_TESTS_DIR +
                           "/imaging/formats/make_ico_fixtures.py' '" + Dir.Path().string() + "'",
                       log);
    }
    ScratchFolder Dir;
};

// Each entry equals icotool's extraction: the same size, alpha equal, RGB equal where opaque;
// cursors keep their hot spots; the content tells icons and cursors apart.
TEST_F(IcoReference, EveryEntryReadsAsIcotoolExtractsIt) {
    if (!MakeFixtures()) SV_SKIP_WITHOUT_REFERENCE("icoutils, ImageMagick and Pillow");
    std::istringstream list(FileText(Dir.File("entries.txt")));
    std::string name, raw;
    int32_t index = 0, width = 0, height = 0, cursor = 0, hotX = 0, hotY = 0, entries = 0;
    while (list >> name >> index >> width >> height >> cursor >> hotX >> hotY >> raw) {
        SCOPED_TRACE(name + " #" + std::to_string(index));
        ++entries;
        const TBytes file = FileBytes(Dir.File(name));
        TIconRead read;
        read.Params.IcoImageIndex = read.Params.CurImageIndex = index;
        ReadIcon(file, read, cursor != 0);
        ASSERT_FALSE(read.Aborted);
        ASSERT_EQ(read.Bitmap.GetWidth(), width);
        ASSERT_EQ(read.Bitmap.GetHeight(), height);
        const TBytes rgba = FileBytes(Dir.File(raw));
        ASSERT_EQ(rgba.size(), size_t(width) * height * 4);
        int32_t alphaFaults = 0, colourFaults = 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
                alphaFaults += read.Alpha(x, y) != p[3];
                if (p[3] == 255) colourFaults += !Same(read.Pixel(x, y), TVLRGB{p[2], p[1], p[0]});
            }
        EXPECT_EQ(alphaFaults, 0);
        EXPECT_EQ(colourFaults, 0);
        if (cursor != 0) {
            EXPECT_EQ(read.Params.CurHotSpotX, hotX);
            EXPECT_EQ(read.Params.CurHotSpotY, hotY);
        }
        TMemoryStream stream;
        stream.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
        stream.SetPosition(0);
        EXPECT_EQ(DetectStreamFormat(stream), cursor != 0 ? ffCUR : ffICO);
    }
    EXPECT_EQ(entries, 29);
}

// The directory's sizes and bit counts come back in IcoSizes and IcoBitCounts, also when only
// the parameters are read.
TEST_F(IcoReference, TheDirectoryIsListed) {
    if (!MakeFixtures()) SV_SKIP_WITHOUT_REFERENCE("icoutils, ImageMagick and Pillow");
    for (const bool paramsOnly : {false, true}) {
        TIconRead read;
        ReadIcon(FileBytes(Dir.File("depth-4.ico")), read, false, paramsOnly);
        EXPECT_FALSE(read.Aborted);
        EXPECT_EQ(read.Bitmap.IsEmpty(), paramsOnly);
        EXPECT_EQ(read.Params.IcoSizes[0], (TVLIcoSize{16, 16}));
        EXPECT_EQ(read.Params.IcoSizes[2], (TVLIcoSize{48, 48}));
        EXPECT_EQ(read.Params.IcoSizes[3], (TVLIcoSize{0, 0}));
        EXPECT_EQ(read.Params.IcoBitCounts[1], 4);
        EXPECT_EQ(read.Params.GetPaletteCount(), 16);
        EXPECT_EQ(read.Params.BitsPerSample, 4);
    }
}

// ---- Hand-built edge cases ---------------------------------------------------------------------

// TVLRGB holds blue, green, red.
const TVLRGB Red{0, 0, 255}, Green{0, 255, 0}, Blue{255, 0, 0}, White{255, 255, 255},
    Black{0, 0, 0};

// A 2 x 2 32-bit image: red, green over blue, white, with the given alpha bytes and AND rows.
TImageSpec ThirtyTwoBit(uint8_t Alpha, const TBytes& AndTopRow) {
    TImageSpec image{2, 2, 0, 1, 32, InfoHeader(2, 4, 32)};
    Append(image.Data,
           Rows({{0, 0, 255, Alpha, 0, 255, 0, Alpha}, {255, 0, 0, Alpha, 255, 255, 255, Alpha}}));
    Append(image.Data, Rows({AndTopRow, {0}}));
    return image;
}

// A 4 x 1 1-bit image: bits 0, 1, 0, 1 with AND bits 1, 1, 0, 0 (the first two transparent).
TImageSpec OneBit(const std::vector<TVLRGB>& Colours = {Black, White}) {
    TImageSpec image{4, 1, 2, 1, 1, InfoHeader(4, 2, 1)};
    Append(image.Data, Table(Colours, 2));
    Append(image.Data, Rows({{0x50}}));
    Append(image.Data, Rows({{0xC0}}));
    return image;
}

struct TEdgeCase {
    const char* Name;
    bool Cursor;
    std::function<TBytes(TIconRead&)> Make;
    std::function<void(TIconRead&)> Check;
};

TEST(Ico, EdgeCases) {
    const std::vector<TEdgeCase> cases = {
        {"a bare bitmap reads as a BMP", false,
         [](TIconRead&) {
             TVLBitmap picture(3, 2, vl24RGB);
             picture.Fill(0);
             picture.SetPixelRGB(2, 1, Green);
             TIOParamsVals params;
             TVLProgressRecord progress;
             TMemoryStream stream;
             WriteBMPStream(stream, picture, params, progress, false);
             return StreamBytes(stream);
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetWidth(), 3);
             EXPECT_TRUE(Same(R.Pixel(2, 1), Green));
         }},
        {"zero alpha bytes take the AND rows", false,
         [](TIconRead&) { return Directory(1, {ThirtyTwoBit(0, {0x40})}); },
         [](TIconRead& R) {
             EXPECT_TRUE(Same(R.Pixel(0, 0), Red));
             EXPECT_TRUE(Same(R.Pixel(1, 1), White));
             ASSERT_NE(R.Mask, nullptr);
             EXPECT_EQ(R.Alpha(0, 0), 255);
             EXPECT_EQ(R.Alpha(1, 0), 0);
             EXPECT_EQ(R.Alpha(0, 1), 255);
         }},
        {"opaque alpha bytes give no mask", false,
         [](TIconRead&) { return Directory(1, {ThirtyTwoBit(255, {0})}); },
         [](TIconRead& R) { EXPECT_EQ(R.Mask, nullptr); }},
        {"1 bit on white shows transparent pixels white", false,
         [](TIconRead&) { return Directory(1, {OneBit()}); },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetPixelFormat(), vl1g);
             EXPECT_TRUE(Same(R.Pixel(0, 0), White));
             EXPECT_TRUE(Same(R.Pixel(1, 0), Black)); // the inverting pixel
             EXPECT_TRUE(Same(R.Pixel(2, 0), Black));
             EXPECT_TRUE(Same(R.Pixel(3, 0), White));
             EXPECT_EQ(R.Alpha(0, 0), 0);
             EXPECT_EQ(R.Alpha(1, 0), 0);
             EXPECT_EQ(R.Alpha(2, 0), 255);
         }},
        {"1 bit on black keeps the bits", false,
         [](TIconRead& R) {
             R.Params.IcoBackground = Black;
             return Directory(1, {OneBit()});
         },
         [](TIconRead& R) {
             EXPECT_TRUE(Same(R.Pixel(0, 0), Black));
             EXPECT_TRUE(Same(R.Pixel(1, 0), White));
         }},
        // Mended: the bits went into a vl1g bitmap whatever the table, so green came out white.
        {"1 bit of black and green reads through its table", false,
         [](TIconRead&) {
             return Directory(1, {OneBit({Black, Green})});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetPixelFormat(), vl24RGB);
             EXPECT_TRUE(Same(R.Pixel(0, 0), White)); // transparent: the icon background
             EXPECT_TRUE(Same(R.Pixel(1, 0), White));
             EXPECT_TRUE(Same(R.Pixel(2, 0), Black));
             EXPECT_TRUE(Same(R.Pixel(3, 0), Green));
             EXPECT_EQ(R.Alpha(1, 0), 0);
             EXPECT_EQ(R.Alpha(3, 0), 255);
         }},
        {"1 bit of white then black reads as its colours", false,
         [](TIconRead&) {
             return Directory(1, {OneBit({White, Black})});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetPixelFormat(), vl1g);
             EXPECT_TRUE(Same(R.Pixel(0, 0), Black)); // the inverting pixel
             EXPECT_TRUE(Same(R.Pixel(1, 0), White));
             EXPECT_TRUE(Same(R.Pixel(2, 0), White));
             EXPECT_TRUE(Same(R.Pixel(3, 0), Black));
             EXPECT_EQ(R.Alpha(0, 0), 0);
             EXPECT_EQ(R.Alpha(2, 0), 255);
         }},
        {"a 48 x 48 entry with a 32 x 64 header reads as 32 x 32", false,
         [](TIconRead&) {
             TImageSpec image{48, 48, 0, 1, 24, InfoHeader(32, 64, 24, 3780)};
             image.Data.resize(image.Data.size() + 32 * 32 * 3 + 32 * 4, 0);
             return Directory(1, {image});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetWidth(), 32);
             EXPECT_EQ(R.Bitmap.GetHeight(), 32);
             EXPECT_EQ(R.Params.DpiX, 96);
             EXPECT_EQ(R.Mask, nullptr); // 24 bits come back opaque
         }},
        {"a 256-pixel entry is not listed and the last entry is read", false,
         [](TIconRead&) {
             TImageSpec big{0, 0, 0, 1, 24, InfoHeader(5, 10, 24)};
             big.Data.resize(big.Data.size() + 5 * 16 + 5 * 4, 0);
             TImageSpec small{2, 2, 0, 1, 24, InfoHeader(2, 4, 24)};
             Append(small.Data, Rows({{0, 0, 255, 0, 0, 255}, {0, 0, 255, 0, 0, 255}}));
             return Directory(1, {big, small});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Params.IcoSizes[0], (TVLIcoSize{0, 0}));
             EXPECT_EQ(R.Params.IcoSizes[1], (TVLIcoSize{2, 2}));
             EXPECT_EQ(R.Params.IcoBitCounts[1], 24);
             EXPECT_EQ(R.Bitmap.GetWidth(), 2);
             EXPECT_TRUE(Same(R.Pixel(1, 1), Red));
         }},
        {"a cursor with colour count 255 has 256 colours and its hot spot", true,
         [](TIconRead&) {
             TImageSpec image{2, 1, 255, 7, 9, InfoHeader(2, 2, 8)};
             std::vector<TVLRGB> table(256, Black);
             table[255] = Blue;
             Append(image.Data, Table(table, 256));
             Append(image.Data, Rows({{255, 0}}));
             Append(image.Data, Rows({{0x40}}));
             return Directory(2, {image});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Params.GetPaletteCount(), 256);
             EXPECT_EQ(R.Params.CurHotSpotX, 7);
             EXPECT_EQ(R.Params.CurHotSpotY, 9);
             EXPECT_TRUE(Same(R.Pixel(0, 0), Blue));
             EXPECT_TRUE(Same(R.Pixel(1, 0), White)); // transparent: the cursor background
             ASSERT_NE(R.Mask, nullptr);
             EXPECT_EQ(R.Alpha(0, 0), 255);
             EXPECT_EQ(R.Alpha(1, 0), 0);
         }},
        {"an opaque cursor still returns its mask", true,
         [](TIconRead&) {
             TImageSpec image{4, 1, 2, 0, 0, InfoHeader(4, 2, 1)};
             Append(image.Data, Table({Black, White}, 2));
             Append(image.Data, Rows({{0x50}}));
             Append(image.Data, Rows({{0x00}}));
             return Directory(2, {image});
         },
         [](TIconRead& R) {
             ASSERT_NE(R.Mask, nullptr);
             EXPECT_EQ(R.Alpha(0, 0), 255);
         }},
        // Mended: the colour count of 2 chose a 1-bit bitmap for 8-bit rows.
        {"an 8-bit cursor with colour count 2 is read in 24 bits", true,
         [](TIconRead&) {
             TImageSpec image{3, 1, 2, 0, 0, InfoHeader(3, 2, 8)};
             Append(image.Data, Table({Red, Green}, 2));
             Append(image.Data, Rows({{1, 0, 200}}));
             Append(image.Data, Rows({{0}}));
             return Directory(2, {image});
         },
         [](TIconRead& R) {
             EXPECT_EQ(R.Bitmap.GetPixelFormat(), vl24RGB);
             EXPECT_TRUE(Same(R.Pixel(0, 0), Green));
             EXPECT_TRUE(Same(R.Pixel(1, 0), Red));
             EXPECT_TRUE(Same(R.Pixel(2, 0), Black)); // past the table
         }},
    };
    for (const TEdgeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TIconRead read;
        const TBytes file = c.Make(read);
        ReadIcon(file, read, c.Cursor);
        EXPECT_FALSE(read.Aborted);
        c.Check(read);
    }
}

// Damaged or unsupported files set the abort flag (a picture left from before is never passed
// off as theirs); rows read before a file ends early stay.
TEST(Ico, DamagedFilesAbort) {
    const TBytes good = Directory(1, {ThirtyTwoBit(255, {0})});
    auto patched = [&](size_t At, uint32_t Value, int Bytes = 4) {
        TBytes b = good;
        if (Bytes == 4)
            Put32(b, At, Value);
        else
            Put16(b, At, Value);
        return b;
    };
    TImageSpec sixteen{2, 2, 0, 1, 16, InfoHeader(2, 4, 16)};
    sixteen.Data.resize(sixteen.Data.size() + 16, 0);
    TImageSpec deepCursor = ThirtyTwoBit(255, {0});
    struct TFault {
        const char* Name;
        TBytes File;
        bool Cursor;
        int32_t Index;
    };
    const std::vector<TFault> faults = {
        {"an empty stream", {}, false, 0},
        {"an index past the directory", good, false, 1},
        {"a negative index", good, false, -1},
        {"a cursor index past the directory", Directory(2, {OneBit()}), true, 3},
        {"an image outside the stream", patched(18, 5000), false, 0},
        {"a directory cut short", TBytes(good.begin(), good.begin() + 14), false, 0},
        {"a header cut short", TBytes(good.begin(), good.begin() + 40), false, 0},
        {"width 0",
         [&] {
             TBytes b = patched(22 + 4, 0);
             b[6] = 0;
             return b;
         }(),
         false, 0},
        {"a huge declared size",
         [&] {
             TBytes b = patched(22 + 4, 400000);
             Put32(b, 22 + 8, 800000);
             b[6] = b[7] = 0;
             return b;
         }(),
         false, 0},
        {"no bit count and no colour count",
         [&] {
             TBytes b = patched(22 + 14, 0, 2);
             Put16(b, 6 + 6, 0);
             return b;
         }(),
         false, 0},
        {"a picture far larger than its rows",
         [&] {
             TBytes b = patched(22 + 4, 2000);
             Put32(b, 22 + 8, 4000);
             b[6] = b[7] = 0;
             return b;
         }(),
         false, 0},
        {"16 bits", Directory(1, {sixteen}), false, 0},
        {"a 32-bit cursor", Directory(2, {deepCursor}), true, 0},
        {"rows cut short", TBytes(good.begin(), good.end() - 12), false, 0},
    };
    for (const TFault& f : faults) {
        SCOPED_TRACE(f.Name);
        TIconRead read;
        read.Bitmap.Allocate(7, 7, vl24RGB);
        read.Params.IcoImageIndex = read.Params.CurImageIndex = f.Index;
        ReadIcon(f.File, read, f.Cursor);
        EXPECT_TRUE(read.Aborted);
    }
    // The bottom row came before the file ended: it stays, the row not reached is black.
    TIconRead cut;
    ReadIcon(TBytes(good.begin(), good.end() - 12), cut);
    EXPECT_TRUE(Same(cut.Pixel(0, 1), Blue));
    EXPECT_TRUE(Same(cut.Pixel(0, 0), Black));
}

TEST(Ico, ProbesTellIconsAndCursorsApart) {
    const TBytes icon = Directory(1, {ThirtyTwoBit(255, {0})});
    const TBytes cursor = Directory(2, {OneBit()});
    TBytes reserved = icon;
    reserved[6 + 3] = 1;
    TBytes early = icon;
    Put32(early, 6 + 12, 10); // an offset inside the directory
    const struct {
        TBytes File;
        bool Icon, Cursor;
    } cases[] = {{icon, true, false},
                 {cursor, false, true},
                 {reserved, false, false},
                 {early, false, false},
                 {TBytes(icon.begin(), icon.begin() + 22), false, false}};
    for (const auto& c : cases) {
        TMemoryStream stream;
        stream.WriteBuffer(c.File.data(), static_cast<int64_t>(c.File.size()));
        stream.SetPosition(0);
        EXPECT_EQ(IsICOStream(stream), c.Icon);
        EXPECT_EQ(IsCURStream(stream), c.Cursor);
        EXPECT_EQ(stream.GetPosition(), 0);
    }
}

TEST(Ico, DamagedFilesNeverCrash) {
    TImageSpec eight{3, 2, 0, 0, 8, InfoHeader(3, 4, 8)};
    Append(eight.Data, Table({Red, Green, Blue}, 256));
    Append(eight.Data, Rows({{0, 1, 2}, {2, 1, 0}}));
    Append(eight.Data, Rows({{0x20}, {0x80}}));
    TImageSpec four{3, 2, 16, 0, 0, InfoHeader(3, 4, 4)};
    Append(four.Data, Table({Red, Green}, 16));
    Append(four.Data, Rows({{0x01, 0x20}, {0x10, 0x00}}));
    Append(four.Data, Rows({{0x20}, {0x80}}));
    const TBytes icon = Directory(1, {eight, four, ThirtyTwoBit(0, {0x40}), OneBit()});
    for (const bool cursor : {false, true}) {
        TBytes sample = icon;
        if (cursor) sample[2] = 2;
        FuzzParser(sample, [cursor](const uint8_t* Data, int32_t Length) {
            for (int32_t index = 0; index < 2; ++index) {
                TIconRead read;
                read.Params.IcoImageIndex = read.Params.CurImageIndex = index;
                ReadIcon(TBytes(Data, Data + Length), read, cursor);
            }
        });
    }
}

// ---- The writer ------------------------------------------------------------------------------

// A picture with a colour gradient, transparent corners and a half-transparent band.
void MakePicture(TVLBitmap& Picture, int32_t W, int32_t H) {
    Picture.Allocate(W, H, vl24RGB);
    TVLBitmap* alpha = Picture.GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            Picture.SetPixelRGB(
                x, y,
                TVLRGB{static_cast<uint8_t>(x * 255 / W), static_cast<uint8_t>(y * 255 / H), 128});
            const bool corner = (x < W / 5 || x >= W - W / 5) && (y < H / 5 || y >= H - H / 5);
            alpha->SetPixel8(x, y, corner ? 0 : y > H / 2 && y < H / 2 + H / 10 ? 128 : 255);
        }
    alpha->Full = false;
}

TBytes WriteIcon(TVLBitmap& Picture, TIOParamsVals& Params, const std::vector<TVLIcoSize>& Sizes,
                 const std::vector<int32_t>& Counts, bool& Aborted) {
    TMemoryStream stream;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborted;
    WriteICOStream(stream, Picture, Params, progress, Sizes, Counts);
    return StreamBytes(stream);
}

TEST(IcoWriter, TheDefaultsGiveOne64PixelImageOf8Bits) {
    TVLBitmap picture;
    MakePicture(picture, 100, 80);
    TIOParamsVals params;
    bool aborted = false;
    const TBytes file =
        WriteIcon(picture, params, {params.IcoSizes[0]}, {params.IcoBitCounts[0]}, aborted);
    EXPECT_FALSE(aborted);
    const size_t image = 40 + 1024 + 64 * 64 + 64 * 8;
    ASSERT_EQ(file.size(), 22 + image);
    EXPECT_EQ(TBytes(file.begin(), file.begin() + 6), (TBytes{0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(TBytes(file.begin() + 6, file.begin() + 14), (TBytes{64, 64, 255, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Get32(file, 14), image);
    EXPECT_EQ(Get32(file, 18), 22u);
    EXPECT_EQ(Get32(file, 22 + 8), 128u); // twice the height
    EXPECT_EQ(Get32(file, 22 + 20), 64u * 64 + 64 * 8);
    EXPECT_EQ(Get32(file, 22 + 40), 0u); // entry 0: black, kept for transparent pixels
    EXPECT_EQ(params.GetPaletteCount(), 256);
}

// The header's image size holds the AND rows with their padding (mended: width x height div 8
// left it out), and sizes of 256 are written as 0.
TEST(IcoWriter, SizesInHeaderAndDirectory) {
    TVLBitmap picture;
    MakePicture(picture, 30, 30);
    TIOParamsVals params;
    bool aborted = false;
    const TBytes file = WriteIcon(picture, params, {{20, 20}, {256, 256}}, {4, 32}, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(Get32(file, 6 + 32 + 20), 20u * 12 + 20u * 4);
    EXPECT_EQ(file[6 + 16], 0);
    EXPECT_EQ(file[6 + 17], 0);
    EXPECT_EQ(Get16(file, 6 + 16 + 6), 32u);
    const uint32_t second = Get32(file, 6 + 16 + 12);
    EXPECT_EQ(Get32(file, second + 4), 256u);
    EXPECT_EQ(second + Get32(file, 6 + 16 + 8), file.size());
}

class IcoWriterReference : public ::testing::Test {
protected:
    ScratchFolder Dir;
};

// icotool lists every size and depth asked for; Pillow opens every entry; our reader reads every
// entry back, transparent where the picture was not opaque and only there.
TEST_F(IcoWriterReference, EveryRequestedImageIsThere) {
    if (!ToolExists("icotool") || !ToolExists(Python))
        SV_SKIP_WITHOUT_REFERENCE("icoutils and Pillow");
    for (const TVLPixelFormat format : {vl24RGB, vl1g}) {
        SCOPED_TRACE(format == vl1g ? "bilevel picture" : "24-bit picture");
        TVLBitmap picture;
        MakePicture(picture, 60, 50);
        if (format == vl1g) {
            picture.RemoveAlphaChannel(false, 0);
            picture.SetPixelFormat(vl1g);
        }
        TIOParamsVals params;
        params.SamplesPerPixel = 1;
        params.BitsPerSample = 8;
        const std::vector<TVLIcoSize> sizes = {{16, 16}, {24, 24},   {32, 32},
                                               {48, 48}, {256, 256}, {20, 20}};
        const std::vector<int32_t> counts = {1, 4, 8, 24, 32, 0};
        bool aborted = false;
        const TBytes file = WriteIcon(picture, params, sizes, counts, aborted);
        ASSERT_FALSE(aborted);
        Dir.Write("ours.ico", file);
        std::string listing;
        ASSERT_TRUE(RunTool("icotool -l '" + Dir.File("ours.ico") + "'", listing));
        // A bilevel picture's default depth is 1 bit (its parameters say so).
        const int32_t lastDepth = format == vl1g ? 1 : 8;
        for (size_t i = 0; i < sizes.size(); ++i) {
            const int32_t depth = counts[i] != 0 ? counts[i] : lastDepth;
            const std::string line = "--index=" + std::to_string(i + 1) +
                                     " --width=" + std::to_string(sizes[i].Width) +
                                     " --height=" + std::to_string(sizes[i].Height) +
                                     " --bit-depth=" + std::to_string(depth);
            EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
        }
        std::string pillow;
        EXPECT_TRUE(
            RunTool(std::string(Python) +
                        " -c 'import sys\nfrom PIL import IcoImagePlugin\n"
                        "ico = IcoImagePlugin.IcoFile(open(sys.argv[1], \"rb\"))\n"
                        "for i in range(len(ico.entry)):\n"
                        "    im = ico.frame(i); im.load(); print(im.size[0], im.size[1])' '" +
                        Dir.File("ours.ico") + "'",
                    pillow));
        // Pillow lists the entries largest first.
        EXPECT_EQ(pillow, "256 256\n48 48\n32 32\n24 24\n20 20\n16 16\n");
        for (int32_t i = 0; i < static_cast<int32_t>(sizes.size()); ++i) {
            SCOPED_TRACE(i);
            TIconRead read;
            read.Params.IcoImageIndex = i;
            ReadIcon(file, read);
            ASSERT_FALSE(read.Aborted);
            // A 256-pixel entry (width byte 0) is never chosen by its index: the last one is.
            const TVLIcoSize shown = sizes[i].Width == 256 ? sizes.back() : sizes[i];
            EXPECT_EQ(read.Bitmap.GetWidth(), shown.Width);
            const bool hasAlpha = format == vl24RGB && counts[i] != 24;
            // Corners transparent, the centre opaque.
            EXPECT_EQ(read.Alpha(0, 0), hasAlpha ? 0 : 255);
            EXPECT_EQ(read.Alpha(shown.Width / 2, shown.Height / 4), 255);
            // Index 0 exactly where the AND bit is set.
            const uint32_t at = Get32(file, 6 + 16 * i + 12);
            const int32_t w = sizes[i].Width, h = sizes[i].Height;
            const int32_t bits = static_cast<int32_t>(Get16(file, at + 14));
            if ((bits != 4 && bits != 8) || !hasAlpha) continue;
            const size_t rowLength = (size_t(w) * bits + 31) / 32 * 4;
            const size_t andLength = (size_t(w) + 31) / 32 * 4;
            const size_t rows = at + 40 + 4 * (size_t(1) << bits);
            int32_t mismatches = 0, transparent = 0;
            for (int32_t k = 0; k < h; ++k)
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t* row = &file[rows + k * rowLength];
                    const int32_t index = bits == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
                    const bool andBit =
                        (file[rows + h * rowLength + k * andLength + x / 8] >> (7 - x % 8)) & 1;
                    mismatches += (index == 0) != andBit;
                    transparent += andBit;
                }
            EXPECT_EQ(mismatches, 0);
            EXPECT_GT(transparent, 0);
        }
    }
}

class TSaveThread : public TThread {
public:
    TSaveThread(TVLBitmap& Picture, TBytes& Out) : FPicture(Picture), FOut(Out) {}
    ~TSaveThread() override { WaitFor(); }

protected:
    void Execute() override {
        TIOParamsVals params;
        bool aborted = false;
        FOut = WriteIcon(FPicture, params, {{16, 16}, {32, 32}, {48, 48}}, {4, 8, 32}, aborted);
    }

private:
    TVLBitmap& FPicture;
    TBytes& FOut;
};

TEST(IcoWriter, ASaveOnAThreadGivesTheSameBytes) {
    TVLBitmap picture;
    MakePicture(picture, 40, 40);
    TIOParamsVals params;
    bool aborted = false;
    const TBytes here =
        WriteIcon(picture, params, {{16, 16}, {32, 32}, {48, 48}}, {4, 8, 32}, aborted);
    TBytes there;
    {
        TSaveThread thread(picture, there);
        thread.Start();
    }
    EXPECT_EQ(there, here);
}

TEST(IcoWriter, FaultsAndAbortStopTheWriter) {
    TVLBitmap picture;
    MakePicture(picture, 20, 20);
    TIOParamsVals params;
    bool aborted = false;
    WriteIcon(picture, params, {}, {}, aborted);
    EXPECT_TRUE(aborted);
    aborted = false;
    WriteIcon(picture, params, {{16, 0}}, {8}, aborted);
    EXPECT_TRUE(aborted);
    // Cancelled from the progress event after the first image: no directory is written.
    aborted = false;
    TMemoryStream stream;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    progress.Handler = [&](TObject*, int32_t Percent) { aborted = Percent >= 50; };
    const std::vector<TVLIcoSize> sizes = {{16, 16}, {32, 32}};
    const std::vector<int32_t> counts = {8, 8};
    WriteICOStream(stream, picture, params, progress, sizes, counts);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(Get32(StreamBytes(stream), 6 + 8), 0u);
}

// ---- Through the I/O component ----------------------------------------------------------------

TEST(IcoIO, SavedIconsLoadBackWithTheirTransparency) {
    // The format registry the component dispatches through, unless the program made it.
    const bool ownRegistry = GetFileFormatCount() == 0;
    if (ownRegistry) BuildFileFormatRegistry();
    TVistrelIO io(nullptr);
    TVLBitmap working;
    io.SetAttachedBitmap(&working);
    MakePicture(working, 40, 40);
    io.IOParams().IcoSizes[0] = {32, 32};
    io.IOParams().IcoSizes[1] = {16, 16};
    io.IOParams().IcoBitCounts[0] = 32;
    io.IOParams().IcoBitCounts[1] = 4;
    TMemoryStream stream;
    io.SaveToStreamFormat(stream, ffICO);
    ASSERT_FALSE(io.AbortingFlag);
    stream.SetPosition(0);
    EXPECT_EQ(DetectStreamFormat(stream), ffICO);
    io.IOParams().IcoImageIndex = 1;
    io.LoadFromStream(stream);
    ASSERT_FALSE(io.AbortingFlag);
    EXPECT_EQ(io.IOParams().FileType, ffICO);
    EXPECT_EQ(working.GetWidth(), 16);
    ASSERT_TRUE(working.HasAlphaChannel());
    EXPECT_EQ(working.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(working.GetAlphaPixel(8, 4), 255);
    stream.SetPosition(0);
    io.ParamsFromStream(stream);
    EXPECT_EQ(io.IOParams().FileType, ffICO);
    EXPECT_EQ(io.IOParams().IcoSizes[0], (TVLIcoSize{32, 32}));
    // A damaged icon is a failed load.
    TMemoryStream broken;
    broken.WriteBuffer(stream.Memory(), 40);
    broken.SetPosition(0);
    io.LoadFromStreamFormat(broken, ffICO);
    EXPECT_TRUE(io.AbortingFlag);
    if (ownRegistry) FreeFileFormatRegistry();
}

// ---- Icon handles and the desktop's file icons ------------------------------------------------

TEST(IconHandles, AnIconComesBackAsItsPicture) {
    constexpr int32_t W = 5, H = 3;
    BITMAPINFO header{};
    header.bmiHeader.biWidth = W;
    header.bmiHeader.biHeight = H;
    header.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(colour, nullptr);
    auto* pixels = static_cast<uint8_t*>(bits);
    // Bottom-up rows; pixel i is (i * 10 blue, i * 20 green, 200 red) at alpha i * 17.
    for (int32_t i = 0; i < W * H; ++i) {
        pixels[4 * i] = static_cast<uint8_t>(i * 10);
        pixels[4 * i + 1] = static_cast<uint8_t>(i * 20);
        pixels[4 * i + 2] = 200;
        pixels[4 * i + 3] = static_cast<uint8_t>(i * 17);
    }
    const uint8_t maskRows[H * 2] = {};
    HBITMAP mask = CreateBitmap(W, H, 1, 1, maskRows);
    ICONINFO info;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    ASSERT_NE(icon, nullptr);
    TVLBitmap bitmap;
    IconHandleToBitmap(icon, bitmap);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    ASSERT_EQ(bitmap.GetWidth(), W);
    ASSERT_EQ(bitmap.GetHeight(), H);
    ASSERT_TRUE(bitmap.HasAlphaChannel());
    for (int32_t i = 0; i < W * H; ++i) {
        const int32_t x = i % W, y = H - 1 - i / W;
        SCOPED_TRACE(i);
        EXPECT_TRUE(Same(bitmap.GetPixelAsRGB(x, y),
                         TVLRGB{static_cast<uint8_t>(i * 10), static_cast<uint8_t>(i * 20), 200}));
        EXPECT_EQ(bitmap.GetAlphaPixel(x, y), i * 17);
    }
    // A handle that is not an icon gives no picture.
    IconHandleToBitmap(nullptr, bitmap);
    EXPECT_TRUE(bitmap.IsEmpty());
}

TEST(IconHandles, FileIconsOfTheDesktop) {
    ScratchFolder dir;
    dir.Write("notes.txt", TBytes{'h', 'i', '\n'});
    TVLBitmap png(4, 4, vl24RGB);
    png.Fill(0);
    TIOParamsVals params;
    TVLProgressRecord progress;
    TMemoryStream stream;
    WritePNGStream(stream, png, params, progress, nullptr);
    dir.Write("picture.png", StreamBytes(stream));
    TVLBitmap text, picture, missing;
    LoadShellFileIcon(StrFromUtf8(dir.File("notes.txt")), text);
    LoadShellFileIcon(StrFromUtf8(dir.File("picture.png")), picture);
    LoadShellFileIcon(StrFromUtf8(dir.File("missing.txt")), missing);
    for (TVLBitmap* icon : {&text, &picture}) {
        ASSERT_EQ(icon->GetWidth(), 32);
        ASSERT_EQ(icon->GetHeight(), 32);
        EXPECT_TRUE(icon->HasAlphaChannel());
    }
    int32_t differences = 0;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x)
            differences += !Same(text.GetPixelAsRGB(x, y), picture.GetPixelAsRGB(x, y)) ||
                           text.GetAlphaPixel(x, y) != picture.GetAlphaPixel(x, y);
    EXPECT_GT(differences, 32);
    EXPECT_TRUE(missing.IsEmpty());
    EXPECT_EQ(GetShellFileIconHandle(StrFromUtf8(dir.File("missing.txt"))), nullptr);
}

} // namespace
