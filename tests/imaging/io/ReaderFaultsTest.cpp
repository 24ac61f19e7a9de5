// Pictures that real-world files showed read wrong, each made here in a few bytes: fax pages
// with zero-length runs, Deflate and LZW strips that hold more rows than wanted, premultiplied
// TIFF alpha, narrow BMP channels, BMP layouts without a decoder, GIF frames restored to the
// previous picture and zero-count tags. Every row is loaded by file, by stream and from a buffer:
// no exception leaves the component, and the three loads agree with the row's reference: an
// independent decoder (tiff2rgba, ImageMagick), exact pixels where the decoders differ from
// each other or fail themselves, or a refusal.
#include "imaging/core/VLHelpers.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLTiffLZW.h"
#include "imaging/io/VLZLib.h"
#include "imaging/io/VistrelIOUnit.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"
#include "tests/imaging/io/IOComponentSupport.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <functional>

namespace {

// ---- Bytes ----------------------------------------------------------------------------------

std::string Le(uint64_t V, int Size) {
    std::string out;
    for (int i = 0; i < Size; ++i)
        out += static_cast<char>((V >> (8 * i)) & 0xFF);
    return out;
}

std::string Text(const TBytes& Bytes) {
    return {Bytes.begin(), Bytes.end()};
}

std::string Deflated(const std::string& Raw) {
    TMemoryStream packed;
    {
        TZCompressionStream z(packed, zcDefault);
        z.Write(Raw.data(), static_cast<int32_t>(Raw.size()));
        z.Finish();
    }
    return Text(StreamBytes(packed));
}

std::string LZWPacked(const std::string& Raw) {
    TMemoryStream packed;
    void* state = nullptr;
    TiffLZWEncode(reinterpret_cast<const uint8_t*>(Raw.data()), static_cast<int32_t>(Raw.size()),
                  packed, state);
    TiffLZWEncode(nullptr, 0, packed, state);
    return Text(StreamBytes(packed));
}

// ---- TIFF -----------------------------------------------------------------------------------

// A little-endian TIFF of the given tags whose strips (or tiles, with Tiled) are Pieces, laid
// one after the other at offset 8.
std::string Tiff(std::vector<TTestEntry> Tags, const std::vector<std::string>& Pieces,
                 bool Tiled = false) {
    TTestTiff tiff(true);
    std::vector<int64_t> offsets, counts;
    for (const std::string& piece : Pieces) {
        offsets.push_back(8 + static_cast<int64_t>(tiff.Data.size()));
        counts.push_back(static_cast<int64_t>(piece.size()));
        tiff.Data += piece;
    }
    Tags.push_back({static_cast<uint16_t>(Tiled ? 324 : 273), 4, offsets});
    Tags.push_back({static_cast<uint16_t>(Tiled ? 325 : 279), 4, counts});
    std::sort(Tags.begin(), Tags.end(),
              [](const TTestEntry& A, const TTestEntry& B) { return A.Tag < B.Tag; });
    tiff.IFD(Tags);
    return tiff.Build();
}

// Seeded pixels with alpha as the last sample, the colour premultiplied by it (associated
// alpha), rounded as writers do; every third pixel is opaque, some transparent.
std::string Premultiplied(int W, int H, int Spp, int Bits, uint32_t Seed) {
    const uint32_t max = Bits == 8 ? 255 : 65535;
    std::string out;
    uint32_t v = Seed;
    for (int i = 0; i < W * H; ++i) {
        v = v * 1103515245u + 12345u;
        uint32_t alpha = (v >> 8) % (max + 1);
        if (i % 3 == 0) alpha = max;
        if (i % 7 == 0) alpha = 0;
        for (int k = 0; k < Spp - 1; ++k) {
            v = v * 1103515245u + 12345u;
            const uint32_t plain = (v >> 8) % (max + 1);
            out += Le((uint64_t{plain} * alpha + max / 2) / max, Bits / 8);
        }
        out += Le(alpha, Bits / 8);
    }
    return out;
}

std::string AssociatedAlpha(int Spp, int Bits, bool Tiled) {
    const int w = 20, h = 12, tile = 16;
    const int colour = Spp == 2 ? 1 : 2;
    std::vector<TTestEntry> tags = {
        {256, 3, {w}}, {257, 3, {h}},      {258, 3, std::vector<int64_t>(Spp, Bits)},
        {259, 3, {1}}, {262, 3, {colour}}, {277, 3, {Spp}},
        {338, 3, {1}}};
    if (!Tiled) {
        tags.push_back({278, 3, {h}});
        return Tiff(tags, {Premultiplied(w, h, Spp, Bits, 7)});
    }
    tags.push_back({322, 3, {tile}});
    tags.push_back({323, 3, {tile}});
    std::vector<std::string> tiles;
    for (int t = 0; t < 2; ++t)
        tiles.push_back(Premultiplied(tile, tile, Spp, Bits, 11 + t));
    return Tiff(tags, tiles, true);
}

// Strips of 8 rows of 64 RGB pixels over a picture of 13 rows: smooth rows, which Deflate
// packs tightly, so that the rows a last strip holds beyond the picture inflate to several
// times its packed size.
constexpr int StripWidth = 64, StripRows = 8, PictureRows = 13;

std::string StripSamples(int Seed) {
    std::string out;
    for (int y = 0; y < StripRows; ++y)
        for (int x = 0; x < StripWidth * 3; ++x)
            out += static_cast<char>(x + y * 7 + Seed * 50);
    return out;
}

std::string StripTiff(uint16_t Compression, const std::string& First, const std::string& Second) {
    return Tiff({{256, 3, {StripWidth}},
                 {257, 3, {PictureRows}},
                 {258, 3, {8, 8, 8}},
                 {259, 3, {Compression}},
                 {262, 3, {2}},
                 {277, 3, {3}},
                 {278, 3, {StripRows}}},
                {First, Second});
}

// The last strip is written whole, 8 rows, of which the picture wants 5.
std::string LongLastStrip(uint16_t Compression) {
    const std::function<std::string(const std::string&)> pack =
        Compression == 8 ? Deflated : LZWPacked;
    return StripTiff(Compression, pack(StripSamples(1)), pack(StripSamples(2)));
}

// The second strip's data is corrupt: its first block is of the reserved type 3.
std::string BrokenDeflateStrip() {
    std::string second = Deflated(StripSamples(2));
    second[2] = 0x07;
    return StripTiff(8, Deflated(StripSamples(1)), second);
}

// The first Rows rows of the picture the strips hold, as RGBA.
TBytes StripRowsRGBA(int Rows) {
    const std::string rgb = (StripSamples(1) + StripSamples(2)).substr(0, Rows * StripWidth * 3);
    TBytes out;
    for (size_t i = 0; i < rgb.size(); i += 3)
        out.insert(out.end(), {uint8_t(rgb[i]), uint8_t(rgb[i + 1]), uint8_t(rgb[i + 2]), 255});
    return out;
}

// ---- A Group 4 page with zero-length runs ---------------------------------------------------

// A Group 4 coder of the test's own that codes a row against the previous row's changing
// elements as they were coded, zero-length runs included (as the decoders of the format's
// libraries keep them), and codes a run of length 0 horizontally: a row that begins black
// starts with H(0, n), and a long black run is split in two by a white run of 0, H(0, n).
class TZeroRunFaxCoder {
public:
    explicit TZeroRunFaxCoder(int Width) : FWidth(Width) {}

    // Elements: where the colour changes, white to black first; equal neighbours are a run of 0.
    void Row(const std::vector<int>& Elements) {
        int a0 = -1, i = 0;
        bool white = true;
        const int n = static_cast<int>(Elements.size());
        auto at = [&](int K) { return K < n ? Elements[K] : FWidth; };
        while (a0 < FWidth) {
            const int a1 = at(i);
            const size_t j = B1Index(a0, white);
            const int b1 = RefAt(j), b2 = RefAt(j + 1);
            const bool zero = i < n && a1 == std::max(a0, 0);
            if (!zero && b2 < a1) {
                Put(1, 4);
                a0 = b2;
            } else if (!zero && std::abs(a1 - b1) <= 3) {
                static constexpr int codes[7][2] = {{2, 7}, {2, 6}, {2, 3}, {1, 1},
                                                    {3, 3}, {3, 6}, {3, 7}};
                Put(codes[a1 - b1 + 3][0], codes[a1 - b1 + 3][1]);
                a0 = a1;
                white = !white;
                ++i;
            } else {
                const int a2 = at(i + 1);
                Put(1, 3);
                Run(white, a1 - std::max(a0, 0));
                Run(!white, a2 - a1);
                a0 = a2;
                i += 2;
            }
        }
        FReference = Elements;
    }
    // The end of the page (two EOLs), padded to a byte.
    std::string Finish() {
        Put(1, 12);
        Put(1, 12);
        while (FBits % 8 != 0)
            Put(0, 1);
        return FBytes;
    }

private:
    size_t B1Index(int A0, bool White) const {
        size_t j = 0;
        while (j < FReference.size() && FReference[j] <= A0)
            ++j;
        return j + ((j & 1) != (White ? 0u : 1u) ? 1 : 0);
    }
    int RefAt(size_t J) const { return J < FReference.size() ? FReference[J] : FWidth; }
    void Put(uint32_t Code, int Length) {
        for (int i = Length - 1; i >= 0; --i) {
            if (FBits % 8 == 0) FBytes += '\0';
            if ((Code >> i) & 1)
                FBytes.back() = static_cast<char>(FBytes.back() | (0x80 >> (FBits % 8)));
            ++FBits;
        }
    }
    void Run(bool White, int N) {
        const TCCITTCode* table = White ? CCITTWhiteCodes : CCITTBlackCodes;
        for (; N >= 64; N -= std::min(N / 64, 40) * 64) {
            const TCCITTCode& c = table[63 + std::min(N / 64, 40)];
            Put(c.Code, c.Length);
        }
        Put(table[N].Code, table[N].Length);
    }

    int FWidth;
    std::vector<int> FReference;
    std::string FBytes;
    int FBits = 0;
};

std::string FaxPageWithZeroRuns() {
    const int w = 96, h = 32;
    TZeroRunFaxCoder coder(w);
    for (int y = 0; y < h; ++y) {
        std::vector<int> e;
        if (y % 4 == 1) e = {0, 5 + y % 7};
        const int start = 20 + y % 5, split = start + 17 + y % 6, end = start + 40 + y % 3;
        e.insert(e.end(), {start, split, split, end});
        e.insert(e.end(), {80 + y % 3, 82 + y % 3});
        coder.Row(e);
    }
    return Tiff({{256, 3, {w}},
                 {257, 3, {h}},
                 {258, 3, {1}},
                 {259, 3, {4}},
                 {262, 3, {0}},
                 {277, 3, {1}},
                 {278, 3, {h}}},
                {coder.Finish()});
}

// ---- Maker note with a zero-count entry -----------------------------------------------------

// A 2 x 1 grey picture whose EXIF directory holds a maker note of one entry of count 0.
std::string ZeroCountMakerNote() {
    TTestTiff tiff(true);
    tiff.Data = std::string("\x40\xC0", 2);
    const std::string note =
        Le(1, 2) + Le(0x0001, 2) + Le(7, 2) + Le(0, 4) + Le(0x1234, 4) + Le(0, 4);
    tiff.IFD({{256, 3, {2}},
              {257, 3, {1}},
              {258, 3, {8}},
              {259, 3, {1}},
              {262, 3, {1}},
              {273, 4, {8}},
              {277, 3, {1}},
              {278, 3, {1}},
              {279, 4, {2}},
              {34665, 4, {0}}});
    tiff.IFD({{37500, 7, {}, note}});
    // The second directory is no page: the chain ends after the first.
    std::string bytes = tiff.Build({0});
    // The main directory's ExifIFD entry, its last, points at the second directory.
    bytes.replace(tiff.Offsets()[0] + 2 + 9 * 12 + 8, 4, Le(tiff.Offsets()[1], 4));
    return bytes;
}

void ExpectZeroCountNote(TVistrelIO& IO) {
    const TVLTagsHandler& note = IO.IOParams().ExifMakerNote;
    ASSERT_EQ(note.GetEntryCount(), 1);
    EXPECT_EQ(note.GetEntry(0).Tag, 1);
    EXPECT_EQ(note.GetEntry(0).Count, 0u);
}

// ---- BMP ------------------------------------------------------------------------------------

// A BMP of the given info header size (40, 64 or 108), bit count and compression whose masks,
// when given, follow the 40-byte header (or fill the larger one's mask fields), then Pixels.
std::string Bmp(int HeaderSize, int Width, int Height, int BitCount, int Compression,
                const std::vector<uint32_t>& Masks, const std::string& Palette,
                const std::string& Pixels) {
    std::string info = Le(HeaderSize, 4) + Le(Width, 4) + Le(Height, 4) + Le(1, 2) +
                       Le(BitCount, 2) + Le(Compression, 4) + Le(Pixels.size(), 4) + Le(2835, 4) +
                       Le(2835, 4) + Le(Palette.size() / 4, 4) + Le(0, 4);
    std::string masks;
    for (uint32_t m : Masks)
        masks += Le(m, 4);
    if (HeaderSize > 40) {
        info += masks;
        masks.clear();
        info.resize(HeaderSize, '\0');
    }
    const std::string head = info + masks + Palette;
    return "BM" + Le(14 + head.size() + Pixels.size(), 4) + Le(0, 4) + Le(14 + head.size(), 4) +
           head + Pixels;
}

// A 16 x 4 picture of 16-bit words under Masks (red, green, blue[, alpha, set]), top row first:
// many levels of each channel, and white, every channel at its largest value, at the left of
// the bottom row.
std::vector<uint32_t> Bmp16Words(const std::vector<uint32_t>& Masks) {
    std::vector<uint32_t> words;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t word = Masks.size() > 3 ? Masks[3] : 0;
            for (uint32_t k = 0; k < 3; ++k) {
                const uint32_t top = Masks[k] >> std::countr_zero(Masks[k]);
                word |= ((x * (k + 1) + y * 5) % (top + 1)) << std::countr_zero(Masks[k]);
            }
            words.push_back(word);
        }
    words[3 * 16] = Masks[0] | Masks[1] | Masks[2] | (Masks.size() > 3 ? Masks[3] : 0);
    return words;
}

std::string Bmp16(const std::vector<uint32_t>& Masks, int Compression, int HeaderSize) {
    const std::vector<uint32_t> words = Bmp16Words(Masks);
    std::string pixels;
    for (int y = 3; y >= 0; --y) {
        for (int x = 0; x < 16; ++x)
            pixels += Le(words[y * 16 + x], 2);
    }
    return Bmp(HeaderSize, 16, 4, 16, Compression,
               Compression == 3 ? Masks : std::vector<uint32_t>{}, "", pixels);
}

// Each channel scaled to the full range: its largest level is 255.
TBytes Bmp16Expected(const std::vector<uint32_t>& Masks) {
    TBytes out;
    for (uint32_t word : Bmp16Words(Masks)) {
        for (int k = 0; k < 3; ++k) {
            const uint32_t top = Masks[k] >> std::countr_zero(Masks[k]);
            const uint32_t level = (word & Masks[k]) >> std::countr_zero(Masks[k]);
            out.push_back(static_cast<uint8_t>((level * 255 + top / 2) / top));
        }
        out.push_back(255);
    }
    return out;
}

// Layouts the reader has no decoder for: a few bytes of data behind a sound header.
std::string UndecodableBmp(int HeaderSize, int BitCount, int Compression) {
    std::string palette;
    if (BitCount <= 8 && BitCount > 0)
        for (int i = 0; i < (1 << BitCount); ++i)
            palette += Le(0x010101u * (i * 255 / ((1 << BitCount) - 1)), 4);
    const std::vector<uint32_t> masks =
        Compression == 6 ? std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF, 0xFF000000}
                         : std::vector<uint32_t>{};
    return Bmp(HeaderSize, 4, 2, BitCount, Compression, masks, palette, std::string(64, '\x55'));
}

// ---- GIF ------------------------------------------------------------------------------------

struct TGifFrame {
    int X, Y, W, H;
    int Disposal;
    int Transparent; // index, or -1
    std::vector<uint8_t> Indexes;
};

// An animation on a 6 x 6 screen of four colours: red, green, blue, white.
std::string Gif(const std::vector<TGifFrame>& Frames) {
    std::string out = "GIF89a" + Le(6, 2) + Le(6, 2) + "\x81" + std::string("\0\0", 2);
    out += std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
    for (const TGifFrame& f : Frames) {
        const int flags = (f.Disposal << 2) | (f.Transparent >= 0 ? 1 : 0);
        out += std::string("\x21\xF9\x04", 3) + static_cast<char>(flags) + Le(10, 2) +
               static_cast<char>(std::max(f.Transparent, 0)) + '\0';
        out += ',' + Le(f.X, 2) + Le(f.Y, 2) + Le(f.W, 2) + Le(f.H, 2) + '\0';
        TMemoryStream lzw;
        GifLZWEncode(lzw, f.H, f.W, false, f.Indexes.data(), 2);
        out += Text(StreamBytes(lzw));
    }
    return out + ';';
}

TGifFrame Fill(int X, int Y, int W, int H, int Index, int Disposal, int Transparent = -1) {
    TGifFrame f{X, Y, W, H, Disposal, Transparent, std::vector<uint8_t>(W * H, Index)};
    // A transparent frame shows the picture below through its corners.
    if (Transparent >= 0) f.Indexes[0] = f.Indexes[W * H - 1] = static_cast<uint8_t>(Transparent);
    return f;
}

// A red background, a green square with the disposal under test, a blue square with
// transparent corners over it, and a white one beside.
std::string GifWithDisposal(int Disposal) {
    return Gif({Fill(0, 0, 6, 6, 0, 1), Fill(1, 1, 3, 3, 1, Disposal), Fill(2, 2, 3, 3, 2, 1, 3),
                Fill(4, 0, 2, 2, 3, 0)});
}

// The first frame already asks to be undone.
std::string GifFirstFrameRestored() {
    return Gif({Fill(0, 0, 3, 3, 1, 3), Fill(2, 2, 4, 4, 2, 1, 3)});
}

// Its second frame: the first one's area back to the canvas it was drawn on, and the blue
// square over it. ImageMagick restores the same area; its canvas is the background colour,
// opaque, where ours is the background colour, transparent.
TBytes GifFirstFrameRestoredRGBA() {
    TBytes out;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool blue = x >= 2 && y >= 2 && !(x == 2 && y == 2) && !(x == 5 && y == 5);
            out.insert(out.end(), {uint8_t(blue ? 0 : 255), 0, uint8_t(blue ? 255 : 0),
                                   uint8_t(blue ? 255 : 0)});
        }
    return out;
}

// ---- References -----------------------------------------------------------------------------

enum class TReference {
    Tiff2rgba,     // libtiff's RGBA reading, through ImageMagick to raw bytes
    ImageMagick,   // ImageMagick's reading
    ImageMagick16, // ImageMagick's reading in 16 bits, rounded to 8 here
    MagickFrames,  // ImageMagick's -coalesce, the frame of the row
    Exact,         // the row's own expected pixels
    Refused,       // the abort flag, no exception
};

struct TFaultRow {
    const char* Name;
    const char* Extension;
    std::function<std::string()> Make;
    TReference Reference;
    // Levels colour may differ by (the reference rounds 16-bit samples, or narrow channels,
    // another way); alpha must match.
    int Tolerance = 0;
    int Frame = 0;
    // Exact: the picture's first rows, and whether the load ends aborted.
    std::function<TBytes()> Rows = {};
    bool Aborts = false;
    // Further checks of the parameters read.
    std::function<void(TVistrelIO&)> Check = {};
};

bool DumpRGBA(const std::string& Command, TBytes& RGBA) {
    std::string raw;
    if (!RunTool(Command, raw)) return false;
    RGBA.assign(raw.begin(), raw.end());
    return true;
}

bool ReferenceRGBA(const TFaultRow& Row, const std::string& File, TScratch& Dir, TBytes& RGBA) {
    switch (Row.Reference) {
    case TReference::Tiff2rgba: {
        const std::string out = Dir.File("rgba.tif");
        std::string log;
        return RunTool("tiff2rgba -c none '" + File + "' '" + out + "'", log) &&
               DumpRGBA("convert '" + out + "' -depth 8 rgba:-", RGBA);
    }
    case TReference::ImageMagick:
        return DumpRGBA("convert '" + File + "' -depth 8 rgba:-", RGBA);
    case TReference::ImageMagick16: {
        // Its own reduction to 8 bits is rounded neither down nor to the nearest level.
        TBytes wide;
        if (!DumpRGBA("convert '" + File + "' -depth 16 -endian MSB rgba:-", wide)) return false;
        RGBA.clear();
        for (size_t i = 0; i + 1 < wide.size(); i += 2)
            RGBA.push_back(static_cast<uint8_t>((((wide[i] << 8) | wide[i + 1]) + 128) / 257));
        return true;
    }
    case TReference::MagickFrames: {
        if (!DumpRGBA("convert '" + File + "' -coalesce -depth 8 rgba:-", RGBA)) return false;
        const size_t frame = 6 * 6 * 4;
        if (RGBA.size() < (Row.Frame + 1) * frame) return false;
        RGBA = TBytes(RGBA.begin() + Row.Frame * frame, RGBA.begin() + (Row.Frame + 1) * frame);
        return true;
    }
    default:
        return false;
    }
}

struct TLoaded {
    TBytes RGBA;
    bool Aborted = false;
};

enum class TRoad { File, Stream, Buffer };

TLoaded Load(const TFaultRow& Row, const std::string& File, const std::string& Bytes, TRoad Road) {
    TCountingIO io;
    io.IO.IOParams().GifImageIndex = Row.Frame;
    TLoaded loaded;
    try {
        switch (Road) {
        case TRoad::File:
            io.IO.LoadFromFile(Wide(File));
            break;
        case TRoad::Stream: {
            TMemoryStream stream;
            LoadStream(stream, TBytes(Bytes.begin(), Bytes.end()));
            io.IO.LoadFromStream(stream);
            break;
        }
        case TRoad::Buffer:
            io.IO.LoadFromBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()), 0);
            break;
        }
    } catch (const std::exception& e) {
        ADD_FAILURE() << "an exception left the load: " << e.what();
    }
    EXPECT_EQ(io.TakeFinishes(), 1);
    loaded.Aborted = io.IO.AbortingFlag;
    loaded.RGBA = PixelsRGBA(io.Bitmap());
    if (Row.Check) Row.Check(io.IO);
    return loaded;
}

// Colour is compared where the pixel is not transparent.
void ExpectLike(const TBytes& Ours, const TBytes& Ref, int Tolerance) {
    ASSERT_EQ(Ours.size(), Ref.size());
    int worst = 0;
    size_t at = 0;
    for (size_t i = 0; i < Ref.size(); i += 4) {
        ASSERT_EQ(Ours[i + 3], Ref[i + 3]) << "alpha of pixel " << i / 4;
        if (Ref[i + 3] == 0) continue;
        for (int k = 0; k < 3; ++k) {
            const int d = std::abs(Ours[i + k] - Ref[i + k]);
            if (d > worst) {
                worst = d;
                at = i / 4;
            }
        }
    }
    EXPECT_LE(worst, Tolerance) << "at pixel " << at;
}

const std::vector<TFaultRow>& Rows() {
    auto refused = [](const char* Name, std::function<std::string()> Make) {
        return TFaultRow{Name, ".bmp", std::move(Make), TReference::Refused};
    };
    // ImageMagick repeats the bits of a channel (a 4-bit 15 gives 240); its 5- and 6-bit
    // channels land within a level of full-range scaling, narrower ones are checked exactly.
    auto bmp16 = [](const char* Name, std::vector<uint32_t> Masks, int Compression, int Header) {
        const bool wide = BitFieldWidth(Masks[0]) >= 5;
        TFaultRow row{Name, ".bmp", [=] { return Bmp16(Masks, Compression, Header); },
                      wide ? TReference::ImageMagick : TReference::Exact, wide ? 1 : 0};
        if (!wide) row.Rows = [=] { return Bmp16Expected(Masks); };
        return row;
    };
    auto alpha = [](const char* Name, int Spp, int Bits, bool Tiled) {
        return TFaultRow{Name, ".tif", [=] { return AssociatedAlpha(Spp, Bits, Tiled); },
                         Bits == 16 ? TReference::ImageMagick16 : TReference::ImageMagick,
                         Bits == 16 ? 1 : 0};
    };
    auto disposal = [](const char* Name, int Method, int Frame) {
        TFaultRow row{Name, ".gif", [=] { return GifWithDisposal(Method); },
                      TReference::MagickFrames};
        row.Frame = Frame;
        return row;
    };
    static const std::vector<TFaultRow> rows = [&] {
        std::vector<TFaultRow> r = {
            {"G4 page with zero-length runs", ".tif", FaxPageWithZeroRuns, TReference::Tiff2rgba},
            // libtiff fails on such a strip and tiff2rgba shows the strip before in its place.
            {"Deflate last strip written whole", ".tif", [] { return LongLastStrip(8); },
             TReference::Exact, 0, 0, [] { return StripRowsRGBA(PictureRows); }},
            {"LZW last strip written whole", ".tif", [] { return LongLastStrip(5); },
             TReference::Tiff2rgba},
            {"Deflate strip corrupt", ".tif", BrokenDeflateStrip, TReference::Exact, 0, 0,
             [] { return StripRowsRGBA(StripRows); }, true},
            alpha("associated alpha, grey 8 bits", 2, 8, false),
            alpha("associated alpha, grey 16 bits", 2, 16, false),
            alpha("associated alpha, RGB 8 bits in tiles", 4, 8, true),
            alpha("associated alpha, RGB 16 bits", 4, 16, false),
            alpha("associated alpha, RGB 16 bits in tiles", 4, 16, true),
            bmp16("BMP 5-5-5", {0x7C00, 0x03E0, 0x001F}, 0, 40),
            bmp16("BMP 5-6-5", {0xF800, 0x07E0, 0x001F}, 3, 40),
            bmp16("BMP 4-4-4-4", {0x0F00, 0x00F0, 0x000F, 0xF000}, 3, 108),
            bmp16("BMP 3-3-2 bit fields", {0xE0, 0x1C, 0x03}, 3, 40),
            refused("BMP 2 bits", [] { return UndecodableBmp(40, 2, 0); }),
            refused("BMP 64 bits", [] { return UndecodableBmp(40, 64, 0); }),
            refused("BMP alpha bit fields", [] { return UndecodableBmp(40, 32, 6); }),
            refused("BMP with JPEG data", [] { return UndecodableBmp(40, 0, 4); }),
            refused("BMP with PNG data", [] { return UndecodableBmp(40, 0, 5); }),
            refused("BMP RLE24", [] { return UndecodableBmp(64, 24, 4); }),
            refused("BMP Huffman 1-D", [] { return UndecodableBmp(64, 1, 3); }),
            disposal("GIF disposal 0", 0, 2),
            disposal("GIF disposal 1", 1, 2),
            disposal("GIF disposal 2", 2, 2),
            disposal("GIF disposal 3", 3, 2),
            disposal("GIF disposal 3, a frame later", 3, 3),
            {"GIF first frame restored", ".gif", GifFirstFrameRestored, TReference::Exact, 0, 1,
             GifFirstFrameRestoredRGBA},
            {"maker note entry of count 0", ".tif", ZeroCountMakerNote, TReference::Tiff2rgba},
        };
        r.back().Check = [](TVistrelIO& IO) {
            ExpectZeroCountNote(IO);
            // Written again with its EXIF and the note, and read back.
            TMemoryStream saved;
            IO.SaveToStreamFormat(saved, ffTIFF);
            ASSERT_FALSE(IO.AbortingFlag);
            saved.SetPosition(0);
            TCountingIO again;
            again.IO.LoadFromStream(saved);
            EXPECT_FALSE(again.IO.AbortingFlag);
            EXPECT_TRUE(again.IO.IOParams().HasExif);
        };
        return r;
    }();
    return rows;
}

class ReaderFaults : public ::testing::TestWithParam<size_t> {
protected:
    // The I/O unit's start-up: the registry and the LZW decoders.
    static void SetUpTestSuite() {
        InitializeVistrelIOUnit();
        BuildCCITTDecodeTrees();
    }
};

TEST_P(ReaderFaults, LoadLikeTheReference) {
    const TFaultRow& row = Rows()[GetParam()];
    SCOPED_TRACE(row.Name);
    if (!ToolExists("convert") || !ToolExists("tiff2rgba"))
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert and libtiff's tiff2rgba");
    TScratch dir;
    const std::string bytes = row.Make();
    const std::string file = dir.File(std::string("fault") + row.Extension);
    WriteBytes(file, TBytes(bytes.begin(), bytes.end()));
    TBytes expected;
    if (row.Reference == TReference::Exact) {
        expected = row.Rows();
    } else if (row.Reference != TReference::Refused) {
        ASSERT_TRUE(ReferenceRGBA(row, file, dir, expected)) << "the reference could not read it";
    }
    for (TRoad road : {TRoad::File, TRoad::Stream, TRoad::Buffer}) {
        SCOPED_TRACE(road == TRoad::File ? "file" : road == TRoad::Stream ? "stream" : "buffer");
        const TLoaded loaded = Load(row, file, bytes, road);
        const bool aborts = row.Reference == TReference::Refused || row.Aborts;
        EXPECT_EQ(loaded.Aborted, aborts);
        if (row.Reference == TReference::Refused) continue;
        // Rows decoded before a fault stay.
        const TBytes ours =
            row.Reference == TReference::Exact
                ? TBytes(loaded.RGBA.begin(),
                         loaded.RGBA.begin() + std::min(loaded.RGBA.size(), expected.size()))
                : loaded.RGBA;
        ExpectLike(ours, expected, row.Tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReaderFaults, ::testing::Range<size_t>(0, Rows().size()),
                         [](const ::testing::TestParamInfo<size_t>& Info) {
                             std::string name = Rows()[Info.param].Name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

} // namespace
