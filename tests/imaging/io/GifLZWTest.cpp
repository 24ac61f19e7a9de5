// The GIF LZW codec against GIFs of Pillow and ImageMagick, a deferred-clear stream, hand-made
// code streams and Pillow reading the encoder's output.
#include "imaging/io/VLGifLZW.h"

#include "tests/imaging/io/IOTestSupport.h"

#include <random>
#include <sstream>

namespace {

// Where the LZW data of the first image of a GIF starts, with its size and interlace flag.
struct TGifImage {
    size_t DataOffset = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool Interlaced = false;
};

size_t ColorTableSize(uint8_t Flags) {
    return (Flags & 0x80) != 0 ? size_t{3} << ((Flags & 7) + 1) : 0;
}

bool FindFirstImage(const TBytes& Gif, TGifImage& Image) {
    size_t pos = 13 + ColorTableSize(Gif.at(10));
    while (pos < Gif.size()) {
        if (Gif[pos] == 0x21) {
            pos += 2;
            while (Gif.at(pos) != 0)
                pos += Gif[pos] + 1;
            ++pos;
        } else if (Gif[pos] == 0x2C) {
            Image.Width = Gif.at(pos + 5) | (Gif.at(pos + 6) << 8);
            Image.Height = Gif.at(pos + 7) | (Gif.at(pos + 8) << 8);
            Image.Interlaced = (Gif.at(pos + 9) & 0x40) != 0;
            Image.DataOffset = pos + 10 + ColorTableSize(Gif[pos + 9]);
            return true;
        } else {
            return false;
        }
    }
    return false;
}

// LSB-first packing of (code, width) pairs into sub-blocks after a code-size byte.
TBytes PackCodes(uint8_t CodeSize, const std::vector<std::pair<int32_t, int32_t>>& Codes) {
    TBytes data;
    uint32_t bits = 0;
    int32_t count = 0;
    for (const auto& [code, width] : Codes) {
        bits |= static_cast<uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            data.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) data.push_back(static_cast<uint8_t>(bits));
    TBytes out = {CodeSize};
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
                   data.begin() + static_cast<ptrdiff_t>(i + n));
    }
    out.push_back(0);
    return out;
}

// Decodes Bytes from position 0; returns the position the decoder left.
int64_t Decode(const TBytes& Bytes, int32_t Width, int32_t Height, bool Interlaced, TBytes& Pixels,
               uint8_t Fill = 0xEE) {
    TMemoryStream stream;
    LoadStream(stream, Bytes);
    Pixels.assign(static_cast<size_t>(Width) * Height, Fill);
    GifLZWDecode(stream, Height, Width, Interlaced, Pixels.data());
    return stream.GetPosition();
}

// Writes random GIFs with Pillow (bits 1 to 8, interlaced or not) and with ImageMagick, and
// beside each the indices Pillow reads from it (<name>.idx).
const char* const MakeGifsScript = R"(
import random, subprocess, sys
from PIL import Image
folder = sys.argv[1]
rng = random.Random(11)
names = []
for bits in range(1, 9):
    for interlace in (0, 1):
        w, h = 31 + bits, 23 + 3 * bits
        im = Image.new('P', (w, h))
        colours = 1 << bits
        # Runs of equal pixels beside noise, so that strings grow long and the table fills.
        im.putdata([(x // 3 + y) % colours if rng.random() < 0.7 else rng.randrange(colours)
                    for y in range(h) for x in range(w)])
        pal = []
        for i in range(colours):
            pal += [(i * 97 + 13) % 256, (i * 53 + 101) % 256, (i * 29 + 7) % 256]
        im.putpalette(pal)
        name = '%s/pil%d%s.gif' % (folder, bits, 'i' if interlace else '')
        im.save(name, interlace=interlace, optimize=False)
        names.append(name)
        if bits in (1, 4, 8) and not interlace:
            png = '%s/src%d.png' % (folder, bits)
            im.convert('RGB').save(png)
            for mode in ('GIF', 'none'):
                gif = '%s/im%d%s.gif' % (folder, bits, mode)
                subprocess.run(['convert', png, '-interlace', mode, gif], check=True)
                names.append(gif)
for name in names:
    with Image.open(name) as im:
        assert im.mode == 'P'
        open(name + '.idx', 'wb').write(im.tobytes())
    print(name)
)";

} // namespace

TEST(GifLZWDecode, ReferenceFilesGivePillowsIndices) {
    if (PillowPython().empty() || !ToolExists("convert"))
        GTEST_SKIP() << "/usr/bin/python3 with Pillow or ImageMagick missing";
    TScratch scratch;
    std::string listing;
    ASSERT_TRUE(scratch.Python(MakeGifsScript, "'" + scratch.File("") + "'", listing));
    std::istringstream names(listing);
    int32_t files = 0, interlaced = 0;
    for (std::string name; std::getline(names, name);) {
        SCOPED_TRACE(name);
        const TBytes gif = ReadFileBytes(name);
        const TBytes expected = ReadFileBytes(name + ".idx");
        TGifImage image;
        ASSERT_TRUE(FindFirstImage(gif, image));
        ASSERT_EQ(expected.size(), static_cast<size_t>(image.Width) * image.Height);
        TMemoryStream stream;
        LoadStream(stream, gif);
        stream.SetPosition(static_cast<int64_t>(image.DataOffset));
        TBytes pixels(expected.size(), 0xEE);
        GifLZWDecode(stream, image.Height, image.Width, image.Interlaced, pixels.data());
        EXPECT_EQ(pixels, expected);
        // The stream is after the terminator: the trailer follows.
        ASSERT_LT(stream.GetPosition(), static_cast<int64_t>(gif.size()));
        EXPECT_EQ(gif[stream.GetPosition()], 0x3B);
        ++files;
        interlaced += image.Interlaced ? 1 : 0;
    }
    EXPECT_EQ(files, 22);
    EXPECT_GE(interlaced, 8);
}

// A writer that keeps coding at 12 bits once its table is full and never sends a clear code:
// valid GIF data that decoders must follow without adding entries.
TEST(GifLZWDecode, DeferredClearStream) {
    if (PillowPython().empty()) GTEST_SKIP() << "/usr/bin/python3 missing";
    const char* const script = R"(
import random, sys
rng = random.Random(5)
data = bytes(rng.randrange(6) if rng.random() < 0.8 else rng.randrange(256) for _ in range(60000))
table = {bytes([i]): i for i in range(256)}
state = {'next': 258, 'size': 9, 'bits': 0, 'count': 0, 'full': 0}
out = bytearray()
def emit(code):
    state['bits'] |= code << state['count']
    state['count'] += state['size']
    while state['count'] >= 8:
        out.append(state['bits'] & 255)
        state['bits'] >>= 8
        state['count'] -= 8
    if state['next'] > (1 << state['size']) - 1 and state['size'] < 12:
        state['size'] += 1
emit(256)
w = data[:1]
for b in data[1:]:
    wb = w + bytes([b])
    if wb in table:
        w = wb
        continue
    emit(table[w])
    if state['next'] < 4096:
        table[wb] = state['next']
        state['next'] += 1
    else:
        state['full'] += 1
    w = bytes([b])
emit(table[w])
emit(257)
if state['count']:
    out.append(state['bits'] & 255)
blocks = bytearray([8])
for i in range(0, len(out), 255):
    blocks += bytes([len(out[i:i + 255])]) + out[i:i + 255]
blocks += b'\0'
open(sys.argv[1], 'wb').write(blocks)
open(sys.argv[2], 'wb').write(data)
print(state['full'])
)";
    TScratch scratch;
    std::string codesAfterFull;
    ASSERT_TRUE(
        scratch.Python(script, scratch.File("lzw") + " " + scratch.File("raw"), codesAfterFull));
    ASSERT_GT(std::stoi(codesAfterFull), 1000);
    const TBytes lzw = ReadFileBytes(scratch.File("lzw"));
    TBytes pixels;
    EXPECT_EQ(Decode(lzw, 300, 200, false, pixels), static_cast<int64_t>(lzw.size()));
    EXPECT_EQ(pixels, ReadFileBytes(scratch.File("raw")));
}

TEST(GifLZWDecode, HandMadeStreams) {
    using TCodes = std::vector<std::pair<int32_t, int32_t>>;
    struct TCase {
        const char* Name;
        TBytes Stream;
        int32_t Width, Height;
        bool Interlaced;
        bool Moves;
        TBytes Pixels;
    };
    const uint8_t e = 0xEE;
    const std::vector<TCase> cases = {
        // Clear, 0, 6 (the entry being defined), 6, end: five pixels from two data bytes.
        {"codes in the last byte",
         PackCodes(2, TCodes{{4, 3}, {0, 3}, {6, 3}, {6, 3}, {5, 4}}),
         5,
         1,
         false,
         true,
         {0, 0, 0, 0, 0}},
        {"no end code after the last pixel",
         PackCodes(2, TCodes{{4, 3}, {1, 3}, {2, 3}, {3, 3}}),
         3,
         1,
         false,
         true,
         {1, 2, 3}},
        {"first code not a clear code",
         PackCodes(2, TCodes{{1, 3}, {2, 3}, {6, 3}, {5, 4}}),
         4,
         1,
         false,
         true,
         {1, 2, 1, 2}},
        {"surplus pixels are dropped",
         PackCodes(2, TCodes{{4, 3}, {1, 3}, {1, 3}, {6, 3}, {7, 4}, {5, 4}}),
         2,
         2,
         false,
         true,
         {1, 1, 1, 1}},
        {"surplus interlaced pixels stay inside",
         PackCodes(2, TCodes{{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {2, 4}, {5, 4}}),
         1,
         2,
         true,
         true,
         {2, 1}},
        {"interlaced rows",
         PackCodes(2, TCodes{{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {5, 4}}),
         1,
         4,
         true,
         true,
         {0, 2, 1, 3}},
        {"code size 1", TBytes{1, 1, 0x44, 0}, 1, 1, false, false, {e}},
        {"code size 10", TBytes{10, 1, 0x44, 0}, 1, 1, false, false, {e}},
        {"code above the next free code",
         PackCodes(2, TCodes{{4, 3}, {1, 3}, {7, 3}, {5, 3}}),
         3,
         1,
         false,
         false,
         {1, e, e}},
        {"end code right after a clear code",
         PackCodes(2, TCodes{{4, 3}, {5, 3}, {1, 3}, {1, 3}}),
         1,
         1,
         false,
         false,
         {e}},
        {"no data", TBytes{2, 0}, 1, 1, false, true, {e}},
        {"truncated sub-block", TBytes{2, 9, 0x0C}, 2, 1, false, true, {1, e}},
        {"empty stream", TBytes{}, 1, 1, false, false, {e}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBytes pixels;
        const int64_t end = Decode(c.Stream, c.Width, c.Height, c.Interlaced, pixels);
        EXPECT_EQ(end != 0, c.Moves);
        if (c.Moves) {
            EXPECT_EQ(end, static_cast<int64_t>(c.Stream.size()));
        }
        EXPECT_EQ(pixels, c.Pixels);
    }
}

TEST(GifLZWDecode, RandomDataNeverLeavesTheBuffer) {
    std::mt19937 rng(3);
    for (int32_t trial = 0; trial < 300; ++trial) {
        TBytes bytes = {static_cast<uint8_t>(2 + trial % 8)};
        const int32_t blocks = 1 + static_cast<int32_t>(rng() % 4);
        for (int32_t b = 0; b < blocks; ++b) {
            const auto n = static_cast<uint8_t>(1 + rng() % 255);
            bytes.push_back(n);
            for (int32_t i = 0; i < n; ++i)
                bytes.push_back(static_cast<uint8_t>(rng()));
        }
        bytes.push_back(0);
        TBytes pixels;
        Decode(bytes, 1 + trial % 7, 1 + trial % 5, trial % 2 == 0, pixels);
    }
}

// Writes a GIF around the encoder's data and asks Pillow for the indices.
TEST(GifLZWEncode, PillowReadsWhatItWrites) {
    if (PillowPython().empty()) GTEST_SKIP() << "/usr/bin/python3 with Pillow missing";
    const char* const script = R"(
import sys
from PIL import Image
with Image.open(sys.argv[1]) as im:
    sys.stdout.buffer.write(im.tobytes())
)";
    TScratch scratch;
    std::mt19937 rng(9);
    for (int32_t bits = 1; bits <= 8; ++bits) {
        for (const bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (interlaced ? " interlaced" : ""));
            const int32_t width = 40 + bits * 7, height = 30 + bits * 5;
            TBytes pixels(static_cast<size_t>(width) * height);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<uint8_t>((rng() % 4 == 0 ? rng() : i / 5 + i / 200) &
                                                 ((1u << bits) - 1));
            TMemoryStream data;
            GifLZWEncode(data, height, width, interlaced, pixels.data(), bits);
            const TBytes lzw = StreamBytes(data);
            EXPECT_EQ(lzw[0], std::max(bits, 2));
            size_t pos = 1;
            while (lzw.at(pos) != 0) {
                EXPECT_LE(lzw[pos], 254);
                pos += lzw[pos] + 1;
            }
            EXPECT_EQ(pos + 1, lzw.size());
            TBytes round;
            EXPECT_EQ(Decode(lzw, width, height, interlaced, round),
                      static_cast<int64_t>(lzw.size()));
            EXPECT_EQ(round, pixels);

            TBytes gif = {'G',
                          'I',
                          'F',
                          '8',
                          '9',
                          'a',
                          static_cast<uint8_t>(width),
                          0,
                          static_cast<uint8_t>(height),
                          0,
                          static_cast<uint8_t>(0x80 | (bits - 1)),
                          0,
                          0};
            for (int32_t i = 0; i < (1 << bits); ++i)
                gif.insert(gif.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 7)});
            gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(width), 0,
                                   static_cast<uint8_t>(height), 0,
                                   static_cast<uint8_t>(interlaced ? 0x40 : 0)});
            gif.insert(gif.end(), lzw.begin(), lzw.end());
            gif.push_back(0x3B);
            WriteBytes(scratch.File("enc.gif"), gif);
            std::string indices;
            ASSERT_TRUE(scratch.Python(script, scratch.File("enc.gif"), indices));
            EXPECT_EQ(TBytes(indices.begin(), indices.end()), pixels);
        }
    }
}

// More than 4,096 strings: the encoder clears instead of passing 12 bits, and an empty image
// still gives a complete code stream.
TEST(GifLZWEncode, LongAndEmptyImages) {
    std::mt19937 rng(1);
    TBytes pixels(300 * 400);
    for (auto& p : pixels)
        p = static_cast<uint8_t>(rng());
    TMemoryStream data;
    GifLZWEncode(data, 400, 300, false, pixels.data(), 8);
    TBytes round;
    const TBytes lzw = StreamBytes(data);
    EXPECT_EQ(Decode(lzw, 300, 400, false, round), static_cast<int64_t>(lzw.size()));
    EXPECT_EQ(round, pixels);

    TMemoryStream empty;
    GifLZWEncode(empty, 0, 0, false, nullptr, 1);
    EXPECT_EQ(StreamBytes(empty), (TBytes{2, 1, 0x2C, 0}));
}
