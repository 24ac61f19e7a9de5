// The PSD codec: hand-built documents for the layout's corners, ImageMagick's files read as
// ImageMagick, Pillow and psd-tools read them, exiftool's resources, our files read back by all
// of them, and damaged files that never crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLICC.h"
#include "imaging/formats/VLPsdReader.h"
#include "imaging/formats/VLPsdWriter.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/view/VLLayer.h"
#include "tests/imaging/core/FuzzBuffers.h"
#include "tests/imaging/io/IOTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using enum TVLPixelFormat;
using TLayers = std::vector<std::unique_ptr<TVLLayer>>;

// ---- Building documents ---------------------------------------------------------------------

struct TOut {
    TBytes B;
    TOut& U8(uint32_t V) {
        B.push_back(static_cast<uint8_t>(V));
        return *this;
    }
    TOut& U16(uint32_t V) { return U8(V >> 8).U8(V); }
    TOut& U32(uint32_t V) { return U16(V >> 16).U16(V); }
    TOut& Text(const std::string& T) {
        B.insert(B.end(), T.begin(), T.end());
        return *this;
    }
    TOut& Raw(const TBytes& Bytes) {
        B.insert(B.end(), Bytes.begin(), Bytes.end());
        return *this;
    }
    // A 32-bit length and the bytes it covers.
    TOut& Block(const TBytes& Bytes) { return U32(static_cast<uint32_t>(Bytes.size())).Raw(Bytes); }
};

TBytes Join(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

TBytes Header(int Channels, int H, int W, int Depth, int Mode) {
    TOut o;
    o.Text("8BPS").U16(1).Raw(TBytes(6, 0)).U16(Channels).U32(H).U32(W).U16(Depth).U16(Mode);
    return o.B;
}

TBytes Resource(int Id, const TBytes& Data, const std::string& Name = "") {
    TOut o;
    o.Text("8BIM").U16(Id).U8(static_cast<uint32_t>(Name.size())).Text(Name);
    if ((Name.size() + 1) % 2 != 0) o.U8(0);
    o.Block(Data);
    if (Data.size() % 2 != 0) o.U8(0);
    return o.B;
}

// A stored (compression 0) composite of the given channel planes.
TBytes StoredComposite(const std::vector<TBytes>& Planes) {
    TOut o;
    o.U16(0);
    for (const TBytes& p : Planes)
        o.Raw(p);
    return o.B;
}

struct TLayerSpec {
    int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
    // Channel id and its stored data (compression word included).
    std::vector<std::pair<int, TBytes>> Channels;
    uint8_t Opacity = 255;
    uint8_t Flags = 0;
    std::string Name;
    bool Mask = false;
    int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
};

TBytes Stored(const TBytes& Samples) {
    TOut o;
    o.U16(0).Raw(Samples);
    return o.B;
}

TBytes LayerSection(const std::vector<TLayerSpec>& Layers) {
    TOut info;
    info.U16(static_cast<uint32_t>(Layers.size()));
    for (const TLayerSpec& l : Layers) {
        info.U32(l.Top).U32(l.Left).U32(l.Bottom).U32(l.Right).U16(l.Channels.size());
        for (const auto& [id, data] : l.Channels)
            info.U16(static_cast<uint16_t>(id)).U32(static_cast<uint32_t>(data.size()));
        info.Text("8BIMnorm").U8(l.Opacity).U8(0).U8(l.Flags).U8(0);
        TOut extra;
        if (l.Mask) {
            TOut mask;
            mask.U32(l.MaskTop)
                .U32(l.MaskLeft)
                .U32(l.MaskBottom)
                .U32(l.MaskRight)
                .U8(0)
                .U8(0)
                .U16(0);
            extra.Block(mask.B);
        } else {
            extra.U32(0);
        }
        extra.U32(0).U8(static_cast<uint32_t>(l.Name.size())).Text(l.Name);
        while (extra.B.size() % 4 != 0)
            extra.U8(0);
        info.Block(extra.B);
    }
    for (const TLayerSpec& l : Layers)
        for (const auto& channel : l.Channels)
            info.Raw(channel.second);
    TOut section;
    section.Block(info.B).U32(0);
    TOut out;
    out.Block(section.B);
    return out.B;
}

TBytes Document(const TBytes& Head, const TBytes& ColourData, const TBytes& Resources,
                const TBytes& Layers, const TBytes& Composite) {
    TOut o;
    o.Raw(Head).Block(ColourData).Block(Resources);
    if (Layers.empty())
        o.U32(0);
    else
        o.Raw(Layers);
    return o.Raw(Composite).B;
}

// ---- Reading --------------------------------------------------------------------------------

struct TRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    TLayers Layers;
    bool Aborted = false;
};

void ReadBytes(const TBytes& File, TRead& Out, bool LoadLayers = false, bool WithBitmap = true) {
    TMemoryStream stream;
    LoadStream(stream, File);
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    ReadPSDStream(stream, WithBitmap ? &Out.Bitmap : nullptr, Out.Params, progress, LoadLayers,
                  WithBitmap ? &Out.Layers : nullptr);
}

// Red, green, blue, alpha of every pixel, rows from the top.
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

int32_t MaxDiff(const TBytes& A, const TBytes& B) {
    if (A.size() != B.size()) return 1000;
    int32_t worst = 0;
    for (size_t i = 0; i < A.size(); ++i)
        worst = std::max(worst, std::abs(int32_t(A[i]) - int32_t(B[i])));
    return worst;
}

TBytes FromHex(const std::string& Hex) {
    TBytes out;
    for (size_t i = 0; i + 1 < Hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(Hex.substr(i, 2), nullptr, 16)));
    return out;
}

// ---- Hand-built corners -----------------------------------------------------------------------

TEST(PsdReader, ResolutionDefaultsTo96AndFollowsResource1005) {
    const TBytes head = Header(1, 2, 3, 8, 1);
    const TBytes composite = StoredComposite({TBytes(6, 9)});
    TRead plain;
    ReadBytes(Document(head, {}, {}, {}, composite), plain);
    EXPECT_FALSE(plain.Aborted);
    EXPECT_EQ(plain.Params.DpiX, 96);
    EXPECT_EQ(plain.Params.DpiY, 96);
    TOut res;
    res.U32(72 << 16).U16(1).U16(1).U32(150 << 16).U16(1).U16(1);
    TRead dpi;
    ReadBytes(Document(head, {}, Resource(1005, res.B), {}, composite), dpi);
    EXPECT_EQ(dpi.Params.DpiX, 72);
    EXPECT_EQ(dpi.Params.DpiY, 150);
    // A named resource ("abc") before it does not move it.
    TRead named;
    ReadBytes(Document(head, {}, Join(Resource(1000, {1, 2, 3}, "abc"), Resource(1005, res.B)), {},
                       composite),
              named);
    EXPECT_EQ(named.Params.DpiX, 72);
    EXPECT_EQ(named.Params.Width, 3);
    EXPECT_EQ(named.Params.BitsPerSample, 8);
    EXPECT_EQ(named.Params.SamplesPerPixel, 1);
}

TEST(PsdReader, IndexedTransparentIndexBecomesAlpha) {
    TBytes palette(768);
    for (int i = 0; i < 256; ++i) {
        palette[i] = static_cast<uint8_t>(i);
        palette[256 + i] = static_cast<uint8_t>(255 - i);
        palette[512 + i] = 7;
    }
    const TBytes indexes = {1, 5, 9, 5, 0, 255};
    const TBytes file = Document(Header(1, 2, 3, 8, 2), palette, Resource(1047, {0, 5}), {},
                                 StoredComposite({indexes}));
    for (const bool native : {true, false}) {
        SCOPED_TRACE(native);
        TRead read;
        read.Params.NativePixelFormat = native;
        ReadBytes(file, read);
        ASSERT_FALSE(read.Aborted);
        EXPECT_EQ(read.Bitmap.GetPixelFormat(), native ? vl8p : vl24RGB);
        const TBytes px = RGBA(read.Bitmap);
        for (size_t i = 0; i < indexes.size(); ++i) {
            EXPECT_EQ(px[i * 4], indexes[i]);
            EXPECT_EQ(px[i * 4 + 1], 255 - indexes[i]);
            EXPECT_EQ(px[i * 4 + 3], indexes[i] == 5 ? 0 : 255);
        }
    }
    // Without a palette in the file the indexes show as grey levels.
    const TBytes greyFile = Document(Header(1, 2, 3, 8, 2), {}, {}, {}, StoredComposite({indexes}));
    TRead grey;
    ReadBytes(greyFile, grey);
    EXPECT_FALSE(grey.Aborted);
    EXPECT_EQ(RGBA(grey.Bitmap)[4], 5);
    EXPECT_EQ(RGBA(grey.Bitmap)[6], 5);

    // Files read one after another into one bitmap, which stays indexed and of their size:
    // index 5 takes each file's colour and alpha, never the file's before.
    TBytes otherPalette(768);
    for (int i = 0; i < 256; ++i) {
        otherPalette[i] = static_cast<uint8_t>(255 - i);
        otherPalette[512 + i] = 99;
    }
    const TBytes other =
        Document(Header(1, 2, 3, 8, 2), otherPalette, {}, {}, StoredComposite({indexes}));
    const struct {
        const char* Name;
        const TBytes& File;
        TBytes Index5;
    } sequence[] = {{"transparent 5", file, {5, 250, 7, 0}},
                    {"other palette", other, {250, 0, 99, 255}},
                    {"grey levels", greyFile, {5, 5, 5, 255}},
                    {"transparent 5 again", file, {5, 250, 7, 0}}};
    TRead reused;
    reused.Params.NativePixelFormat = true;
    for (const auto& step : sequence) {
        SCOPED_TRACE(step.Name);
        ReadBytes(step.File, reused);
        EXPECT_FALSE(reused.Aborted);
        EXPECT_EQ(reused.Bitmap.GetPixelFormat(), vl8p);
        const TBytes px = RGBA(reused.Bitmap);
        EXPECT_EQ(TBytes(px.begin() + 4, px.begin() + 8), step.Index5);
    }
}

// Composite channels, modes and depths: the pixels read in RGBA.
struct TCompositeCase {
    const char* Name;
    TBytes File;
    bool Native;
    TVLPixelFormat Format;
    TBytes Expected; // RGBA of the first pixels (as many as given)
};

TEST(PsdReader, CompositeModesAndDepths) {
    const TBytes r = {10, 20}, g = {30, 40}, b = {50, 60}, a = {0, 128};
    TBytes grey16 = {0x12, 0x34, 0xAB, 0xCD};
    // PackBits: 0x80 is skipped, then a literal of two and a run of three.
    TOut packedRows;
    packedRows.U16(1).U16(6).Raw({0x80, 0x01, 7, 8, 0xFE, 200});
    const TCompositeCase cases[] = {
        {"RGB with alpha",
         Document(Header(4, 1, 2, 8, 3), {}, {}, {}, StoredComposite({r, g, b, a})),
         true,
         vl24RGB,
         {10, 30, 50, 0, 20, 40, 60, 128}},
        {"grey 16",
         Document(Header(1, 1, 2, 16, 1), {}, {}, {}, StoredComposite({grey16})),
         true,
         vl16g,
         {0x12, 0x12, 0x12, 255, 0xAB, 0xAB, 0xAB, 255}},
        // Bitmap mode: a set bit is black in the file; width 10 takes two bytes a row.
        {"bits width 10",
         Document(Header(1, 1, 10, 1, 0), {}, {}, {}, StoredComposite({{0x80, 0x40}})),
         false,
         vl1g,
         {0, 0, 0, 255, 255, 255, 255, 255}},
        {"packbits 0x80",
         Document(Header(1, 1, 5, 8, 1), {}, {}, {}, packedRows.B),
         true,
         vl8g,
         {7, 7, 7, 255, 8, 8, 8, 255, 200, 200, 200, 255, 200, 200, 200, 255}},
    };
    for (const TCompositeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRead read;
        read.Params.NativePixelFormat = c.Native;
        ReadBytes(c.File, read);
        EXPECT_FALSE(read.Aborted);
        EXPECT_EQ(read.Bitmap.GetPixelFormat(), c.Format);
        const TBytes px = RGBA(read.Bitmap);
        ASSERT_GE(px.size(), c.Expected.size());
        EXPECT_EQ(TBytes(px.begin(), px.begin() + static_cast<ptrdiff_t>(c.Expected.size())),
                  c.Expected);
    }
    // The last pixel of the bitmap-mode row (bit 9 set in the second byte's 0x40).
    TRead bits;
    ReadBytes(cases[2].File, bits);
    EXPECT_EQ(RGBA(bits.Bitmap)[9 * 4], 0);
    EXPECT_EQ(RGBA(bits.Bitmap)[8 * 4], 255);
}

TEST(PsdReader, ModesItCannotPlaceAbortWithoutAPicture) {
    for (const auto& [depth, mode] : {std::pair{4, 1}, {8, 7}, {16, 2}, {8, 0}}) {
        SCOPED_TRACE(std::to_string(depth) + "/" + std::to_string(mode));
        TRead read;
        ReadBytes(
            Document(Header(1, 2, 2, depth, mode), {}, {}, {}, StoredComposite({TBytes(8, 1)})),
            read);
        EXPECT_TRUE(read.Aborted);
        EXPECT_TRUE(read.Bitmap.IsEmpty());
        // The header still tells the size.
        TRead params;
        ReadBytes(Document(Header(1, 2, 2, depth, mode), {}, {}, {}, {}), params, false, false);
        EXPECT_FALSE(params.Aborted);
        EXPECT_EQ(params.Params.Width, 2);
    }
    for (const TBytes& head : {Header(0, 2, 2, 8, 1), Header(25, 2, 2, 8, 1),
                               Header(1, 2, 2, 17, 1), Header(1, 2, 2, 8, 10)}) {
        TRead read;
        ReadBytes(head, read, false, false);
        EXPECT_TRUE(read.Aborted);
    }
}

// Three RGB layers, the second with a user mask, the third an empty group marker.
std::vector<TLayerSpec> ThreeLayers(int MaskDepth = 8) {
    const TBytes two(2, 0);
    std::vector<TLayerSpec> layers(3);
    layers[0] = {
        0,
        0,
        1,
        2,
        {{-1, Stored({255, 100})}, {0, Stored({1, 2})}, {1, Stored({3, 4})}, {2, Stored({5, 6})}},
        255,
        0,
        "first"};
    layers[1] = {1,   2, 2,       3, {{0, Stored({9})}, {1, Stored({8})}, {2, Stored({7})}},
                 128, 2, "second"};
    layers[1].Mask = true;
    layers[1].MaskTop = 0;
    layers[1].MaskLeft = 1;
    layers[1].MaskBottom = 1;
    layers[1].MaskRight = 3;
    layers[1].Channels.push_back(
        {-2, Stored(MaskDepth == 16 ? TBytes{0xAA, 0x01, 0x55, 0x02} : TBytes{0xAA, 0x55})});
    layers[2] = {0, 0, 0, 0, {{0, Stored({})}, {-1, Stored({})}}, 255, 0, "</Layer group>"};
    return layers;
}

TEST(PsdReader, LayersWithAUserMaskAndAGroupMarker) {
    const TBytes file = Document(Header(3, 2, 3, 8, 3), {}, {}, LayerSection(ThreeLayers()),
                                 StoredComposite({TBytes(6, 1), TBytes(6, 2), TBytes(6, 3)}));
    TRead read;
    read.Params.NativePixelFormat = true;
    ReadBytes(file, read, true);
    EXPECT_FALSE(read.Aborted);
    ASSERT_EQ(read.Layers.size(), 3u);
    // The merged picture is not read when the layers are.
    EXPECT_TRUE(read.Bitmap.IsEmpty());
    TVLLayer& first = *read.Layers[0];
    EXPECT_EQ(first.Name, "first");
    EXPECT_EQ(RGBA(*first.Bitmap()), (TBytes{1, 3, 5, 255, 2, 4, 6, 100}));
    TVLLayer& second = *read.Layers[1];
    EXPECT_EQ(second.PosX, 2);
    EXPECT_EQ(second.PosY, 1);
    EXPECT_EQ(second.Transparency, 128);
    EXPECT_FALSE(second.Visible);
    EXPECT_EQ(RGBA(*second.Bitmap()), (TBytes{9, 8, 7, 255}));
    TVLLayer& mask = *read.Layers[2];
    EXPECT_TRUE(mask.IsMask);
    EXPECT_FALSE(mask.Visible);
    EXPECT_EQ(mask.PosX, 1);
    EXPECT_EQ(mask.Bitmap()->GetPixelFormat(), vl8g);
    EXPECT_EQ(RGBA(*mask.Bitmap()), (TBytes{0xAA, 0xAA, 0xAA, 255, 0x55, 0x55, 0x55, 255}));

    // A 16-bit document's mask keeps the high byte of each sample.
    std::vector<TLayerSpec> wide = ThreeLayers(16);
    for (TLayerSpec& l : wide)
        for (auto& [id, data] : l.Channels)
            if (id != -2) {
                TBytes words = {0, 0};
                for (size_t i = 2; i < data.size(); ++i)
                    words.insert(words.end(), {data[i], 0});
                data = words;
            }
    TRead deep;
    deep.Params.NativePixelFormat = true;
    ReadBytes(Document(Header(3, 2, 3, 16, 3), {}, {}, LayerSection(wide), {}), deep, true);
    ASSERT_EQ(deep.Layers.size(), 3u);
    EXPECT_EQ(RGBA(*deep.Layers[2]->Bitmap())[0], 0xAA);
    EXPECT_EQ(RGBA(*deep.Layers[0]->Bitmap()), (TBytes{1, 3, 5, 255, 2, 4, 6, 100}));

    // Without LoadLayers, several layers are skipped and the merged picture read.
    TRead merged;
    ReadBytes(file, merged, false);
    EXPECT_TRUE(merged.Layers.empty());
    EXPECT_EQ(RGBA(merged.Bitmap)[0], 1);
}

TEST(PsdReader, ASingleLayerIsReadBesideTheMergedPicture) {
    std::vector<TLayerSpec> one = ThreeLayers();
    one.resize(1);
    // A channel the reader does not place (compressed with ZIP) comes first: it is skipped by
    // its length, and the channels after it still land where they belong.
    one[0].Channels.insert(one[0].Channels.begin(), {0, TBytes{0, 2, 0xDE, 0xAD, 0xBE}});
    one[0].Channels.insert(one[0].Channels.begin() + 1, {7, Stored({42, 43})});
    const TBytes file = Document(Header(3, 1, 2, 8, 3), {}, {}, LayerSection(one),
                                 StoredComposite({{11, 12}, {13, 14}, {15, 16}}));
    TRead read;
    ReadBytes(file, read, false);
    EXPECT_FALSE(read.Aborted);
    ASSERT_EQ(read.Layers.size(), 1u);
    EXPECT_EQ(RGBA(*read.Layers[0]->Bitmap()), (TBytes{1, 3, 5, 255, 2, 4, 6, 100}));
    EXPECT_EQ(RGBA(read.Bitmap), (TBytes{11, 13, 15, 255, 12, 14, 16, 255}));
}

// ---- Damaged files ------------------------------------------------------------------------------

TEST(PsdReader, DamagedFilesNeverCrash) {
    const TBytes layered =
        Document(Header(3, 2, 3, 8, 3), {}, Resource(1047, {0, 1}), LayerSection(ThreeLayers()),
                 StoredComposite({TBytes(6, 1), TBytes(6, 2), TBytes(6, 3)}));
    TOut packed;
    packed.U16(1);
    for (int i = 0; i < 4; ++i)
        packed.U16(2);
    for (int i = 0; i < 4; ++i)
        packed.Raw({0xFE, 9});
    const TBytes rle = Document(Header(2, 2, 3, 8, 1), {}, {}, {}, packed.B);
    for (const TBytes& sample : {layered, rle})
        FuzzParser(
            sample,
            [](const uint8_t* Data, int32_t Length) {
                for (const bool layers : {false, true}) {
                    TRead read;
                    read.Params.NativePixelFormat = Length % 2 == 0;
                    ReadBytes(TBytes(Data, Data + Length), read, layers);
                }
                TMemoryStream stream;
                LoadStream(stream, TBytes(Data, Data + Length));
                IsPSDStream(stream);
                EXPECT_EQ(stream.GetPosition(), 0);
            },
            1500);
}

TEST(PsdReader, HugeDeclaredLayersAbortBeforeAllocating) {
    std::vector<TLayerSpec> huge(1);
    huge[0] = {-30000, -30000, 30000, 30000, {{0, Stored({1, 2, 3})}}, 255, 0, "huge"};
    TRead read;
    ReadBytes(Document(Header(1, 30000, 30000, 8, 1), {}, {}, LayerSection(huge),
                       StoredComposite({{1, 2, 3}})),
              read, true);
    EXPECT_TRUE(read.Aborted);
    for (auto& layer : read.Layers)
        EXPECT_TRUE(layer->Bitmap()->IsEmpty());
    TRead composite;
    ReadBytes(Document(Header(3, 30000, 30000, 8, 3), {}, {}, {}, StoredComposite({{1, 2, 3}})),
              composite);
    EXPECT_TRUE(composite.Aborted);
    EXPECT_TRUE(composite.Bitmap.IsEmpty());
}

// ---- Reference readers
// ---------------------------------------------------------------------------

struct TRefLayer {
    std::string Name;
    int32_t X = 0, Y = 0, W = 0, H = 0, Opacity = 0, Visible = 0;
    TBytes Pixels;
};

struct TReference {
    TBytes Magick;
    bool HasPillow = false;
    TBytes Pillow;
    std::vector<TRefLayer> Layers;
};

class PsdReferences : public ::testing::Test {
protected:
    static bool Tools() {
        return !PillowPython().empty() && ToolExists("convert") && ToolExists("exiftool") &&
               std::system("/usr/bin/python3 -c 'import psd_tools' >/dev/null 2>&1") == 0;
    }
    bool Convert(const std::string& Args, const std::string& Name) {
        std::string log;
        return RunTool("convert " + Args + " '" + Dir.File(Name) + "'", log);
    }
    // The pictures the fixtures are made of: a plasma picture and one with an alpha ramp.
    bool Pictures() {
        return Convert("-size 37x23 -seed 7 plasma:fractal -depth 8", "picture.ppm") &&
               Convert("'" + Dir.File("picture.ppm") +
                           "' \\( -size 37x23 gradient: \\) -alpha off -compose CopyOpacity "
                           "-composite -depth 8",
                       "alpha.png");
    }
    bool References(const std::string& Name, TReference& Out) {
        std::string text;
        if (!RunTool(std::string("/usr/bin/python3 '") + SV_TESTS_DIR +
                         "/imaging/formats/psd_reference.py' '" + Dir.File(Name) + "'",
                     text))
            return false;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream in(line);
            std::string kind, hex;
            in >> kind;
            if (kind == "magick") {
                in >> hex;
                Out.Magick = hex == "-" ? TBytes{} : FromHex(hex);
            } else if (kind == "pillow") {
                int32_t w = 0, h = 0;
                Out.HasPillow = static_cast<bool>(in >> w >> h >> hex);
                Out.Pillow = FromHex(hex);
            } else if (kind == "layer") {
                TRefLayer l;
                std::string name;
                in >> name >> l.X >> l.Y >> l.W >> l.H >> l.Opacity >> l.Visible >> hex;
                if (name != "-") {
                    const TBytes bytes = FromHex(name);
                    l.Name.assign(bytes.begin(), bytes.end());
                }
                l.Pixels = hex == "-" ? TBytes{} : FromHex(hex);
                Out.Layers.push_back(l);
            }
        }
        return true;
    }
    void ReadFile(const std::string& Name, TRead& Out, bool LoadLayers = false) {
        ReadBytes(ReadFileBytes(Dir.File(Name)), Out, LoadLayers);
    }
    TScratch Dir;
};

// Our CMYK pictures go to RGB through colour management, Pillow's and ImageMagick's through
// 255 - ink arithmetic: they stay this close.
constexpr int32_t CmykTolerance = 96;

struct TMagickCase {
    const char* Name;
    const char* Args; // after the source picture
    const char* Source;
    // Against ImageMagick (-1: not compared, as it un-mattes a merged picture with alpha from
    // white and cannot read its own indexed files); Pillow, where it reads the file, exactly.
    int32_t Tolerance;
};

TEST_F(PsdReferences, ImageMagickFilesReadAsTheReferencesReadThem) {
    if (!Tools() || !Pictures())
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick, exiftool, Pillow, psd-tools");
    const TMagickCase cases[] = {
        {"rgb-rle", "-compress RLE", "picture.ppm", 0},
        {"rgb-stored", "-compress None", "picture.ppm", 0},
        {"grey", "-colorspace Gray -depth 8 -compress RLE", "picture.ppm", 0},
        {"grey16", "-colorspace Gray -depth 16 -compress None", "picture.ppm", 1},
        {"rgb16", "-depth 16 -compress None", "picture.ppm", 1},
        {"alpha", "-compress RLE", "alpha.png", -1},
        {"indexed", "-colors 16 -type Palette -compress RLE", "picture.ppm", -1},
    };
    for (const TMagickCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = std::string(c.Name) + ".psd";
        ASSERT_TRUE(Convert("'" + Dir.File(c.Source) + "' " + c.Args, file));
        TReference ref;
        ASSERT_TRUE(References(file, ref));
        TRead read;
        ReadFile(file, read);
        ASSERT_FALSE(read.Aborted);
        const TBytes ours = RGBA(read.Bitmap);
        if (c.Tolerance >= 0) {
            EXPECT_LE(MaxDiff(ours, ref.Magick), c.Tolerance);
        } else {
            EXPECT_TRUE(ref.HasPillow);
        }
        if (ref.HasPillow) {
            EXPECT_EQ(MaxDiff(ours, ref.Pillow), 0);
        }
    }
}

// CMYK keeps its inks exactly under NativePixelFormat; in RGB it stays near Pillow's naive
// conversion (ours goes through colour management).
TEST_F(PsdReferences, CmykKeepsItsInks) {
    if (!Tools() || !Pictures())
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick, exiftool, Pillow, psd-tools");
    ASSERT_TRUE(
        Convert("'" + Dir.File("picture.ppm") + "' -colorspace CMYK -compress RLE", "cmyk.psd"));
    std::string inks;
    ASSERT_TRUE(RunTool("convert '" + Dir.File("cmyk.psd") + "[0]' -depth 8 cmyk:-", inks));
    TRead native;
    native.Params.NativePixelFormat = true;
    ReadFile("cmyk.psd", native);
    ASSERT_EQ(native.Bitmap.GetPixelFormat(), vlCMYK);
    TBytes stored;
    for (int32_t y = 0; y < native.Bitmap.GetHeight(); ++y)
        for (int32_t i = 0; i < native.Bitmap.GetWidth() * 4; ++i)
            stored.push_back(static_cast<uint8_t>(255 - native.Bitmap.GetScanline(y)[i]));
    EXPECT_EQ(stored, TBytes(inks.begin(), inks.end()));
    TReference ref;
    ASSERT_TRUE(References("cmyk.psd", ref));
    ASSERT_TRUE(ref.HasPillow);
    TRead rgb;
    ReadFile("cmyk.psd", rgb);
    EXPECT_LE(MaxDiff(RGBA(rgb.Bitmap), ref.Pillow), CmykTolerance);
}

TEST_F(PsdReferences, LayeredFileMatchesPsdTools) {
    if (!Tools() || !Pictures())
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick, exiftool, Pillow, psd-tools");
    const std::string picture = "'" + Dir.File("picture.ppm") + "'";
    ASSERT_TRUE(Convert(picture + " " + picture + " \\( '" + Dir.File("alpha.png") +
                            "' -resize 9x6! -set page +5+3 \\) \\( " + picture +
                            " -resize 7x4! -set page +11+2 \\) -compress RLE",
                        "layers.psd"));
    TReference ref;
    ASSERT_TRUE(References("layers.psd", ref));
    ASSERT_EQ(ref.Layers.size(), 3u);
    TRead read;
    ReadFile("layers.psd", read, true);
    EXPECT_FALSE(read.Aborted);
    ASSERT_EQ(read.Layers.size(), ref.Layers.size());
    for (size_t i = 0; i < ref.Layers.size(); ++i) {
        SCOPED_TRACE(i);
        const TRefLayer& r = ref.Layers[i];
        TVLLayer& l = *read.Layers[i];
        EXPECT_EQ(l.Name, r.Name);
        EXPECT_EQ(l.PosX, r.X);
        EXPECT_EQ(l.PosY, r.Y);
        EXPECT_EQ(l.Bitmap()->GetWidth(), r.W);
        EXPECT_EQ(l.Bitmap()->GetHeight(), r.H);
        EXPECT_EQ(l.Transparency, r.Opacity);
        EXPECT_EQ(l.Visible, r.Visible != 0);
        EXPECT_EQ(RGBA(*l.Bitmap()), r.Pixels);
    }
    TRead merged;
    ReadFile("layers.psd", merged);
    EXPECT_EQ(RGBA(merged.Bitmap), ref.Magick);
}

TEST_F(PsdReferences, ResourcesMatchExiftool) {
    if (!Tools() || !Pictures())
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick, exiftool, Pillow, psd-tools");
    ASSERT_TRUE(Convert("'" + Dir.File("picture.ppm") + "' -compress RLE", "meta.psd"));
    ASSERT_TRUE(Convert("-size 8x6 xc:'#2040c0'", "thumb.jpg"));
    std::string log;
    ASSERT_TRUE(Dir.Python("from PIL import ImageCms\nopen('" + Dir.File("s.icc") +
                               "', 'wb').write(ImageCms.ImageCmsProfile("
                               "ImageCms.createProfile('sRGB')).tobytes())\n",
                           "", log));
    ASSERT_TRUE(RunTool("exiftool -overwrite_original -Photoshop:XResolution=72 "
                        "-Photoshop:YResolution=72 -IPTC:ObjectName=title -IPTC:Keywords=kw "
                        "-XMP:Title=hello '-ICC_Profile<=" +
                            Dir.File("s.icc") + "' '-PhotoshopThumbnail<=" + Dir.File("thumb.jpg") +
                            "' '" + Dir.File("meta.psd") + "'",
                        log));
    std::string xmp;
    ASSERT_TRUE(RunTool("exiftool -b -XMP '" + Dir.File("meta.psd") + "'", xmp));
    for (const bool paramsOnly : {false, true}) {
        SCOPED_TRACE(paramsOnly);
        TRead read;
        ReadBytes(ReadFileBytes(Dir.File("meta.psd")), read, false, !paramsOnly);
        EXPECT_FALSE(read.Aborted);
        EXPECT_EQ(read.Params.DpiX, 72);
        EXPECT_EQ(read.Params.DpiY, 72);
        // exiftool adds the record version; the object name is there as written.
        std::string title;
        const TVLIPTCInfoList& iptc = read.Params.IPTCInfo;
        for (int32_t i = 0; i < iptc.GetCount(); ++i)
            if (iptc.GetRecord(i) == 2 && iptc.GetDataSet(i) == 5)
                title.assign(reinterpret_cast<const char*>(iptc.GetItemData(i)),
                             static_cast<size_t>(iptc.GetItemLength(i)));
        EXPECT_EQ(title, "title");
        EXPECT_EQ(read.Params.XmpInfo, xmp);
        const TBytes icc = ReadFileBytes(Dir.File("s.icc"));
        TVLICC* profile = read.Params.GetEmbeddedICCProfile();
        ASSERT_EQ(profile->GetRawLength(), static_cast<int32_t>(icc.size()));
        EXPECT_TRUE(std::equal(icc.begin(), icc.end(), profile->GetRaw()));
        ASSERT_NE(read.Params.ExifThumbnail, nullptr);
        EXPECT_EQ(read.Params.ExifThumbnail->GetWidth(), 8);
        EXPECT_EQ(read.Params.ExifThumbnail->GetHeight(), 6);
    }
    // The thumbnail road: the picture is the thumbnail.
    TRead thumb;
    thumb.Params.LoadThumbnail = true;
    ReadFile("meta.psd", thumb);
    EXPECT_EQ(thumb.Bitmap.GetWidth(), 8);
    const TBytes px = RGBA(thumb.Bitmap);
    EXPECT_NEAR(px[2], 0xc0, 8);
}

// ---- Writing ----------------------------------------------------------------------------------

// A picture with distinct samples in every byte, a 256-entry palette for vl8p.
void Fill(TVLBitmap& Bitmap, int32_t W, int32_t H, TVLPixelFormat Format, bool Alpha) {
    ASSERT_TRUE(Bitmap.Allocate(W, H, Format));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            Bitmap.GetScanline(y)[i] = static_cast<uint8_t>(i * 37 + y * 11 + 3);
    if (Format == vl8p)
        for (int32_t i = 0; i < 256; ++i)
            Bitmap.SetPaletteColor(i, TVLRGB{uint8_t(i), uint8_t(i * 3), uint8_t(255 - i)});
    if (Alpha) {
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                Bitmap.GetAlphaChannel()->GetScanline(y)[x] = static_cast<uint8_t>(x * 40 + y);
        Bitmap.GetAlphaChannel()->Full = false;
    }
}

std::unique_ptr<TVLLayer> MakeLayer(TVLPixelFormat Format, int32_t W, int32_t H, bool Alpha) {
    auto bitmap = std::make_unique<TVLBitmap>();
    Fill(*bitmap, W, H, Format, Alpha);
    return std::make_unique<TVLLayer>(nullptr, std::move(bitmap));
}

TBytes Write(TVLBitmap& Bitmap, const std::vector<TVLLayer*>& Layers, TIOParamsVals& Params,
             bool& Aborted) {
    TMemoryStream stream;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborted;
    WritePSDStream(stream, Params, progress, Bitmap, Layers);
    return StreamBytes(stream);
}

// The used bytes of every row, and of the alpha channel when asked.
TBytes Rows(TVLBitmap& Bitmap, bool WithAlpha = true) {
    TBytes out;
    const auto used =
        static_cast<size_t>((int64_t{Bitmap.GetWidth()} * Bitmap.GetBitCount() + 7) / 8);
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        out.insert(out.end(), Bitmap.GetScanline(y), Bitmap.GetScanline(y) + used);
    if (WithAlpha && Bitmap.HasAlphaChannel()) {
        const TBytes alpha = Rows(*Bitmap.GetAlphaChannel());
        out.insert(out.end(), alpha.begin(), alpha.end());
    }
    return out;
}

uint32_t Big32At(const TBytes& B, size_t At) {
    return (uint32_t{B[At]} << 24) | (uint32_t{B[At + 1]} << 16) | (uint32_t{B[At + 2]} << 8) |
           B[At + 3];
}

TEST(PsdWriter, EveryFormatReadsBackWithAndWithoutLayers) {
    const TVLPixelFormat formats[] = {vl1g,    vl8p,   vl8g,    vl16g,   vl24RGB,
                                      vl32RGB, vlCMYK, vlRGB48, vlCIELab};
    for (const TVLPixelFormat format : formats)
        for (const bool layered : {false, true}) {
            SCOPED_TRACE(std::to_string(int(format)) + (layered ? " layered" : ""));
            TVLBitmap merged;
            Fill(merged, 13, 7, format, false);
            std::vector<std::unique_ptr<TVLLayer>> owned;
            std::vector<TVLLayer*> layers;
            if (layered) {
                owned.push_back(MakeLayer(format, 13, 7, false));
                owned.push_back(MakeLayer(format, 5, 3, true));
                owned[1]->PosX = 4;
                owned[1]->PosY = -1;
                owned[1]->Name = "second";
                owned[1]->Transparency = 99;
                owned[1]->Visible = false;
                owned.push_back(MakeLayer(vl8g, 3, 2, false));
                owned[2]->IsMask = true;
                owned[2]->PosX = 6;
                for (auto& l : owned)
                    layers.push_back(l.get());
            }
            TIOParamsVals params;
            bool aborted = false;
            const TBytes file = Write(merged, layers, params, aborted);
            ASSERT_FALSE(aborted);
            TRead read;
            read.Params.NativePixelFormat = true;
            ReadBytes(file, read, false);
            ASSERT_FALSE(read.Aborted);
            const TVLPixelFormat back = format == vl32RGB ? vl24RGB : format;
            ASSERT_EQ(read.Bitmap.GetPixelFormat(), back);
            if (format == vl32RGB) {
                EXPECT_EQ(RGBA(read.Bitmap), RGBA(merged));
            } else {
                // An indexed merged picture gets an opaque alpha from its transparent index.
                EXPECT_EQ(Rows(read.Bitmap, false), Rows(merged));
            }
            if (!layered) continue;
            TRead withLayers;
            withLayers.Params.NativePixelFormat = true;
            ReadBytes(file, withLayers, true);
            ASSERT_EQ(withLayers.Layers.size(), 3u);
            TVLLayer& second = *withLayers.Layers[1];
            EXPECT_EQ(second.Name, "second");
            EXPECT_EQ(second.PosX, 4);
            EXPECT_EQ(second.PosY, -1);
            EXPECT_EQ(second.Transparency, 99);
            EXPECT_FALSE(second.Visible);
            // Bitmap-mode layers carry no transparency.
            if (format == vl32RGB) {
                EXPECT_EQ(RGBA(*second.Bitmap()), RGBA(*owned[1]->Bitmap()));
            } else if (format != vl1g) {
                EXPECT_EQ(Rows(*second.Bitmap()), Rows(*owned[1]->Bitmap()));
            }
            EXPECT_TRUE(withLayers.Layers[2]->IsMask);
            EXPECT_EQ(withLayers.Layers[2]->PosX, 6);
            EXPECT_EQ(Rows(*withLayers.Layers[2]->Bitmap()), Rows(*owned[2]->Bitmap()));
        }
}

TEST(PsdWriter, LayoutCorners) {
    TVLBitmap merged;
    Fill(merged, 4, 2, vl8p, false);
    auto unnamed = MakeLayer(vl8p, 4, 2, false);
    auto mask = MakeLayer(vl8g, 2, 2, false);
    mask->IsMask = true;
    TIOParamsVals params;
    bool aborted = false;
    const TBytes file = Write(merged, {unnamed.get(), mask.get()}, params, aborted);
    ASSERT_FALSE(aborted);
    // Colour-mode data of 768 bytes: the palette as planes.
    ASSERT_EQ(Big32At(file, 26), 768u);
    EXPECT_EQ(file[30 + 5], 250);
    EXPECT_EQ(file[30 + 256 + 5], 15);
    // The index 255 is used by no pixel: resource 1047 declares it transparent.
    const size_t resources = 30 + 768;
    const TBytes res(file.begin() + resources + 4,
                     file.begin() + resources + 4 + Big32At(file, resources));
    const TBytes marker = {'8', 'B', 'I', 'M', 0x04, 0x17, 0, 0, 0, 0, 0, 2, 0, 255};
    EXPECT_NE(std::search(res.begin(), res.end(), marker.begin(), marker.end()), res.end());
    // Layer info: one record (the mask is the layer's channel -2), its extra data 20-byte mask
    // block, empty blending ranges and an empty name padded with bytes of 1.
    const size_t layers = resources + 4 + res.size();
    size_t at = layers + 8;
    EXPECT_EQ((file[at] << 8) | file[at + 1], 1);
    at += 2 + 16;
    const int channels = (file[at] << 8) | file[at + 1];
    EXPECT_EQ(channels, 2); // index, user mask: the layer has no alpha channel
    at += 2 + channels * 6 + 12;
    EXPECT_EQ(Big32At(file, at), 4u + 20 + 4 + 4);
    EXPECT_EQ(Big32At(file, at + 4), 20u);
    const size_t name = at + 4 + 24 + 4;
    EXPECT_EQ(file[name], 0);
    EXPECT_EQ(TBytes(file.begin() + name + 1, file.begin() + name + 4), TBytes(3, 1));

    // A picture that uses index 255 keeps that colour: no transparent index is declared.
    for (int32_t x = 0; x < 4; ++x)
        merged.GetScanline(0)[x] = 255;
    const TBytes full = Write(merged, {}, params, aborted);
    TRead read;
    read.Params.NativePixelFormat = true;
    ReadBytes(full, read);
    EXPECT_EQ(read.Bitmap.GetAlphaPixel(0, 0), 255);
    EXPECT_EQ(RGBA(read.Bitmap)[2], 255);

    // Nothing is written for a format without a colour mode.
    TVLBitmap grey;
    ASSERT_TRUE(grey.Allocate(2, 2, vl32f));
    EXPECT_TRUE(Write(grey, {}, params, aborted).empty());
    EXPECT_TRUE(aborted);
}

TEST(PsdWriter, LayersStayAsTheyWereAndIndexedLayersTakeThePalette) {
    TVLBitmap merged;
    Fill(merged, 6, 4, vl8p, false);
    // Layers in true colour drawn from the palette, one shown larger than it is stored; the
    // alpha of an indexed layer is its transparency channel.
    std::vector<std::unique_ptr<TVLLayer>> owned;
    for (int i = 0; i < 3; ++i) {
        auto layer = MakeLayer(vl24RGB, 6, 4, i == 1);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x) {
                TVLRGB c;
                merged.GetPaletteColor((x * 7 + y * 3 + i * 50) & 255, c);
                layer->Bitmap()->SetPixelRGB(x, y, c);
            }
        owned.push_back(std::move(layer));
    }
    owned[2]->OwnWidth = 12;
    owned[2]->OwnHeight = 8;
    std::vector<TVLLayer*> layers;
    std::vector<TBytes> before;
    for (auto& l : owned) {
        layers.push_back(l.get());
        before.push_back(Rows(*l->Bitmap()));
    }
    TIOParamsVals params;
    bool aborted = false;
    const TBytes file = Write(merged, layers, params, aborted);
    ASSERT_FALSE(aborted);
    for (size_t i = 0; i < owned.size(); ++i) {
        EXPECT_EQ(Rows(*owned[i]->Bitmap()), before[i]);
        EXPECT_EQ(owned[i]->Bitmap()->GetPixelFormat(), vl24RGB);
    }
    TRead read;
    read.Params.NativePixelFormat = true;
    ReadBytes(file, read, true);
    ASSERT_EQ(read.Layers.size(), 3u);
    EXPECT_EQ(read.Layers[2]->Bitmap()->GetWidth(), 12);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        TVLBitmap& back = *read.Layers[i]->Bitmap();
        EXPECT_EQ(back.GetPixelFormat(), vl8p);
        EXPECT_EQ(RGBA(back), RGBA(*owned[i]->Bitmap()));
    }
}

TEST(PsdWriter, LabReadsBackEqualInPillow) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    TScratch dir;
    TVLBitmap lab;
    Fill(lab, 5, 3, vlCIELab, false);
    TIOParamsVals params;
    bool aborted = false;
    WriteBytes(dir.File("lab.psd"), Write(lab, {}, params, aborted));
    std::string text;
    ASSERT_TRUE(dir.Python("import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                           "print(im.mode, im.tobytes().hex())\n",
                           "'" + dir.File("lab.psd") + "'", text));
    std::istringstream in(text);
    std::string mode, hex;
    in >> mode >> hex;
    EXPECT_EQ(mode, "LAB");
    // Pillow gives a and b signed, as the bitmap keeps them.
    TBytes signedLab;
    for (int32_t y = 0; y < 3; ++y)
        signedLab.insert(signedLab.end(), lab.GetScanline(y), lab.GetScanline(y) + 15);
    EXPECT_EQ(FromHex(hex), signedLab);
}

// What the reference readers make of our files: A has a layer with alpha and a user mask, B only
// opaque layers. Each reader is asked where it can: ImageMagick reads no indexed file (its own
// neither), Pillow no layer with alpha but in RGB and no user mask, and it shows bitmap mode's
// set bits white where ImageMagick and the format have them black; psd-tools reads no 1-bit or
// indexed layer.
TEST(PsdWriter, OtherReadersReadOurLayersAndComposite) {
    if (PillowPython().empty() || !ToolExists("convert") ||
        std::system("/usr/bin/python3 -c 'import psd_tools' >/dev/null 2>&1") != 0)
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick, Pillow, psd-tools");
    TScratch dir;
    for (const TVLPixelFormat format : {vl24RGB, vl8g, vl8p, vl1g, vlCMYK}) {
        SCOPED_TRACE(int(format));
        TVLBitmap merged;
        Fill(merged, 17, 9, format, false);
        std::vector<std::unique_ptr<TVLLayer>> owned;
        owned.push_back(MakeLayer(format, 17, 9, false));
        owned.push_back(MakeLayer(format, 6, 4, format != vl1g));
        owned[1]->PosX = 3;
        owned[1]->PosY = 2;
        owned[1]->Name = "top";
        owned[1]->Transparency = 200;
        owned.push_back(MakeLayer(vl8g, 4, 4, false));
        owned[2]->IsMask = true;
        TIOParamsVals params;
        bool aborted = false;
        const std::string a = dir.File("a.psd"), b = dir.File("b.psd");
        WriteBytes(
            a, Write(merged, {owned[0].get(), owned[1].get(), owned[2].get()}, params, aborted));
        owned[1]->Bitmap()->RemoveAlphaChannel(false, 0);
        WriteBytes(b, Write(merged, {owned[0].get(), owned[1].get()}, params, aborted));
        ASSERT_FALSE(aborted);
        TRead ours, layered;
        ReadBytes(ReadFileBytes(a), ours);
        ReadBytes(ReadFileBytes(a), layered, true);
        ASSERT_EQ(layered.Layers.size(), 3u);
        const int32_t tolerance = format == vlCMYK ? CmykTolerance : 0;
        for (const std::string& file : {a, b}) {
            std::string text;
            ASSERT_TRUE(RunTool(std::string("/usr/bin/python3 '") + SV_TESTS_DIR +
                                    "/imaging/formats/psd_reference.py' '" + file + "'",
                                text));
            std::istringstream lines(text);
            std::string line;
            int32_t layerLines = 0;
            while (std::getline(lines, line)) {
                std::istringstream in(line);
                std::string kind, name, w, h, hex;
                in >> kind;
                if (kind == "magick" && file == a && format != vl8p) {
                    in >> hex;
                    EXPECT_LE(MaxDiff(FromHex(hex), RGBA(ours.Bitmap)), tolerance);
                } else if (kind == "pillow" && file == b && format != vl1g) {
                    in >> w >> h >> hex;
                    EXPECT_LE(MaxDiff(FromHex(hex), RGBA(ours.Bitmap)), tolerance);
                } else if (kind == "layer" && file == a) {
                    ++layerLines;
                    int32_t x = 0, y = 0, lw = 0, lh = 0, opacity = 0, visible = 0;
                    in >> name >> x >> y >> lw >> lh >> opacity >> visible >> hex;
                    if (layerLines != 2) continue;
                    EXPECT_EQ(name, "746f70");
                    EXPECT_EQ(x, 3);
                    EXPECT_EQ(y, 2);
                    EXPECT_EQ(opacity, 200);
                    if (format != vlCMYK) {
                        EXPECT_EQ(FromHex(hex), RGBA(*layered.Layers[1]->Bitmap()));
                    }
                }
            }
            if (file == a && format != vl8p && format != vl1g) {
                EXPECT_EQ(layerLines, 2);
            }
        }
    }
}

} // namespace
