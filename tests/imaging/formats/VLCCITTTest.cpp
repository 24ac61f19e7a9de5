// CCITT fax coding: the code tables as complete prefix codes, the documented cases, round trips
// of every encoder, and agreement with libtiff both ways.
#include "imaging/formats/VLCCITT.h"

#include "imaging/core/VLDefs.h"

#include "tests/ExternalTool.h"
#include "tests/imaging/formats/tiff/TiffFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

namespace {

class CCITT : public testing::Test {
protected:
    static void SetUpTestSuite() { BuildCCITTDecodeTrees(); }
    static void TearDownTestSuite() { FreeCCITTDecodeTrees(); }
};

using TRows = std::vector<std::vector<uint8_t>>;

int32_t Bytes(int32_t Width) { return (Width + 7) / 8; }

// Rows of runs whose edges move a little from row to row (vertical, pass and horizontal modes
// all occur), set bits black; the unused bits of each last byte are 0.
TRows MakeRows(int32_t Width, int32_t Height, uint32_t Seed) {
    std::mt19937 random(Seed);
    std::vector<int32_t> edges;
    for (int32_t x = static_cast<int32_t>(random() % 20); x < Width;
         x += 1 + static_cast<int32_t>(random() % 90))
        edges.push_back(x);
    TRows rows;
    for (int32_t y = 0; y < Height; ++y) {
        std::vector<uint8_t> row(Bytes(Width), 0);
        bool black = false;
        size_t e = 0;
        for (int32_t x = 0; x < Width; ++x) {
            while (e < edges.size() && edges[e] == x) {
                black = !black;
                ++e;
            }
            if (black) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        rows.push_back(row);
        for (int32_t& edge : edges) edge += static_cast<int32_t>(random() % 9) - 4;
        if (random() % 4 == 0) edges.push_back(static_cast<int32_t>(random() % (Width + 1)));
        if (random() % 5 == 0 && !edges.empty()) edges.erase(edges.begin() + random() % edges.size());
        std::sort(edges.begin(), edges.end());
        edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    }
    // A row all black and one all white.
    rows.push_back(std::vector<uint8_t>(Bytes(Width), 0xFF));
    rows.push_back(std::vector<uint8_t>(Bytes(Width), 0));
    for (auto& row : rows)
        if (Width % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - Width % 8));
    return rows;
}

enum TScheme { MH, G3_1D, G3_2D, G4 };

std::string Encode(const TRows& Rows, int32_t Width, TScheme Scheme, int32_t FillOrder) {
    TMemoryStream stream;
    bool aborting = false;
    uint8_t pending = 0;
    int32_t bits = 0;
    uint8_t* reference = nullptr;
    for (const auto& row : Rows) {
        switch (Scheme) {
        case MH: EncodeCCITTRowMH(row.data(), Width, stream, aborting, FillOrder); break;
        case G3_1D:
            EncodeCCITTG3Row1D(row.data(), Width, stream, pending, bits, aborting, FillOrder);
            break;
        case G3_2D:
            EncodeCCITTG3Row2D(row.data(), Width, stream, pending, bits, reference, aborting,
                               FillOrder);
            break;
        case G4:
            EncodeCCITTG4Row(row.data(), Width, stream, pending, bits, reference, aborting,
                             FillOrder);
            break;
        }
    }
    if (Scheme == G3_1D) EncodeCCITTG3Row1D(nullptr, 0, stream, pending, bits, aborting, FillOrder);
    if (Scheme == G3_2D)
        EncodeCCITTG3Row2D(nullptr, 0, stream, pending, bits, reference, aborting, FillOrder);
    if (Scheme == G4)
        EncodeCCITTG4Row(nullptr, 0, stream, pending, bits, reference, aborting, FillOrder);
    EXPECT_EQ(reference, nullptr);
    EXPECT_EQ(bits, 0);
    EXPECT_FALSE(aborting);
    std::string out(stream.GetSize(), '\0');
    stream.SetPosition(0);
    stream.Read(out.data(), static_cast<int32_t>(out.size()));
    return out;
}

// Decodes Height rows as the TIFF row engine does, back into set-is-black rows.
TRows Decode(const std::string& Data, int32_t Width, int32_t Height, TScheme Scheme,
             int32_t FillOrder) {
    const auto* data = reinterpret_cast<const uint8_t*>(Data.data());
    const auto length = static_cast<int32_t>(Data.size());
    TCCITTReference reference;
    TRows rows;
    int64_t bit = 0;
    for (int32_t y = 0; y < Height; ++y) {
        std::vector<uint8_t> row(Bytes(Width));
        switch (Scheme) {
        case MH: {
            const int64_t at = bit / 8;
            bit += 8 * DecodeCCITTRowMH(row.data(), data + std::min<int64_t>(at, length),
                                        static_cast<int32_t>(std::max<int64_t>(length - at, 0)),
                                        Width, FillOrder);
            break;
        }
        case G3_1D: bit = DecodeCCITTRow1D(row.data(), data, length, Width, bit, FillOrder); break;
        case G3_2D:
            bit =
                DecodeCCITTRow2D(row.data(), data, length, Width, reference, bit, FillOrder, true);
            break;
        case G4:
            bit =
                DecodeCCITTRow2D(row.data(), data, length, Width, reference, bit, FillOrder, false);
            break;
        }
        for (auto& b : row) b = static_cast<uint8_t>(~b);
        if (Width % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - Width % 8));
        rows.push_back(row);
    }
    return rows;
}

// Kraft's sum of each table is 1 - 2^-32 and no code is a prefix of another: every bit string
// but 32 zero bits starts with exactly one code.
TEST_F(CCITT, TablesAreCompletePrefixCodes) {
    for (const TCCITTCode* table : {CCITTWhiteCodes, CCITTBlackCodes}) {
        long double sum = 0;
        for (int i = 0; i < 128; ++i) sum += std::ldexp(1.0L, -table[i].Length);
        EXPECT_EQ(sum, 1.0L - std::ldexp(1.0L, -32));
        for (int i = 0; i < 128; ++i)
            for (int j = 0; j < 128; ++j) {
                if (i == j || table[i].Length > table[j].Length) continue;
                const uint64_t longer = uint64_t{table[j].Code} >> (table[j].Length - table[i].Length);
                EXPECT_FALSE(longer == table[i].Code) << i << " prefixes " << j;
            }
        for (int i = 0; i < 64; ++i) EXPECT_EQ(table[i].Run, i);
        for (int i = 64; i < 104; ++i) EXPECT_EQ(table[i].Run, (i - 63) * 64);
    }
}

TEST_F(CCITT, DocumentedCodes) {
    // Eight white pixels: 10011, in either fill order.
    const uint8_t msb[] = {0x98};
    const uint8_t lsb[] = {0x19};
    for (const auto& [data, order] : {std::pair{msb, 1}, std::pair{lsb, 2}}) {
        uint8_t row[1] = {0};
        EXPECT_EQ(DecodeCCITTRow1D(row, data, 1, 8, 0, order), 5);
        EXPECT_EQ(row[0], 0xFF);
    }
    // A white run of 3000: make-up 2560, make-up 384, terminating 56.
    TRows white3000{std::vector<uint8_t>(375, 0)};
    std::string mh = Encode(white3000, 3000, MH, 1);
    EXPECT_EQ(mh.size(), 4u) << "12 + 8 + 8 bits";
    EXPECT_EQ(static_cast<uint8_t>(mh[0]), 0x01);  // 000000011111 ...
    EXPECT_EQ(static_cast<uint8_t>(mh[1]), 0xF3);  // ... 00110111 (384) starts at bit 12
    // Group 4, an all-white row against the white reference: the single code V0.
    const std::string g4 = Encode(TRows{std::vector<uint8_t>(2, 0)}, 16, G4, 1);
    EXPECT_EQ(static_cast<uint8_t>(g4[0]) >> 7, 1);
    // Group 3 2-D: EOL and tag bit 1 first; an EOL at the end; the last byte padded with 0.
    const std::string g3 = Encode(TRows{std::vector<uint8_t>(2, 0)}, 16, G3_2D, 1);
    EXPECT_EQ(static_cast<uint8_t>(g3[0]), 0x00);
    EXPECT_EQ(static_cast<uint8_t>(g3[1]) & 0xF8, 0x18) << "0001 then tag bit 1";
}

TEST_F(CCITT, LeadingEOLsWithFillBitsAreSkipped) {
    const TRows rows{MakeRows(64, 1, 5)[0]};
    for (int fill = 0; fill <= 20; fill += 5) {
        // EOL with extra zero bits, then the row's codes.
        std::string bits(11 + fill, '0');
        bits += '1';
        const std::string code = Encode(rows, 64, MH, 1);
        for (unsigned char c : code)
            for (int b = 7; b >= 0; --b) bits += ((c >> b) & 1) ? '1' : '0';
        std::string data((bits.size() + 7) / 8, '\0');
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i] == '1') data[i / 8] |= static_cast<char>(0x80 >> (i % 8));
        EXPECT_EQ(Decode(data, 64, 1, G3_1D, 1), rows) << fill;
    }
}

TEST_F(CCITT, EOLInsideA2DRowEndsItAndStartsTheNext) {
    // Horizontal white 3, black 2, then an EOL: the row ends there (the rest white) and the
    // next row begins with that EOL, whose tag bit 1 makes it one-dimensional (white 16).
    // 001 1000 11 | 000000000001 1 101010
    const uint8_t data[] = {0x31, 0x80, 0x0E, 0xA0};
    TCCITTReference ref;
    uint8_t row[2];
    int64_t p = DecodeCCITTRow2D(row, data, 4, 16, ref, 0, 1, true);
    EXPECT_EQ(p, 9);
    EXPECT_EQ(row[0], 0xE7);
    EXPECT_EQ(row[1], 0xFF);
    p = DecodeCCITTRow2D(row, data, 4, 16, ref, p, 1, true);
    EXPECT_EQ(p, 28);
    EXPECT_EQ(row[0], 0xFF);
    EXPECT_EQ(row[1], 0xFF);
}

struct TRoundTrip {
    TScheme Scheme;
    int32_t Width;
    int32_t FillOrder;
};

class CCITTRoundTrip : public CCITT, public testing::WithParamInterface<TRoundTrip> {};

TEST_P(CCITTRoundTrip, DecodesWhatItEncodes) {
    const auto [scheme, width, order] = GetParam();
    const TRows rows = MakeRows(width, 30, static_cast<uint32_t>(width * 7 + scheme));
    const std::string data = Encode(rows, width, scheme, order);
    EXPECT_EQ(Decode(data, width, static_cast<int32_t>(rows.size()), scheme, order), rows);
}

std::vector<TRoundTrip> RoundTrips() {
    std::vector<TRoundTrip> out;
    for (TScheme s : {MH, G3_1D, G3_2D, G4})
        for (int32_t w : {1, 7, 8, 1728, 2480})
            for (int32_t order : {1, 2}) out.push_back({s, w, order});
    return out;
}

std::string RoundTripName(const testing::TestParamInfo<TRoundTrip>& Info) {
    static const char* names[] = {"MH", "G3_1D", "G3_2D", "G4"};
    return std::string(names[Info.param.Scheme]) + "_" + std::to_string(Info.param.Width) +
           "_fill" + std::to_string(Info.param.FillOrder);
}

INSTANTIATE_TEST_SUITE_P(AllEncoders, CCITTRoundTrip, testing::ValuesIn(RoundTrips()),
                         RoundTripName);

// A one-strip bilevel TIFF, white is zero, holding Strip.
std::string WrapStrip(const std::string& Strip, int32_t Width, int32_t Height, int32_t Compression,
                      int32_t T4Options, int32_t FillOrder) {
    TTestTiff tiff(true);
    tiff.Data = Strip;
    std::vector<TTestEntry> entries{
        {256, ttLong, {Width}}, {257, ttLong, {Height}}, {258, ttShort, {1}},
        {259, ttShort, {Compression}}, {262, ttShort, {0}}, {266, ttShort, {FillOrder}},
        {273, ttLong, {8}}, {277, ttShort, {1}}, {278, ttLong, {Height}},
        {279, ttLong, {static_cast<int64_t>(Strip.size())}}};
    if (Compression == 3) entries.push_back({292, ttLong, {T4Options}});
    tiff.IFD(entries);
    return tiff.Build();
}

uint8_t Reversed(uint8_t B, bool Reverse) {
    if (!Reverse) return B;
    uint8_t out = 0;
    for (int i = 0; i < 8; ++i) out = static_cast<uint8_t>(out | (((B >> i) & 1) << (7 - i)));
    return out;
}

// Rows of an uncompressed bilevel TIFF made by tiffcp, set bits black (min-is-white).
TRows PlainRows(const std::string& Path, int32_t& Width, int32_t& Height) {
    const TTiffFile f = ReadTiffFile(Path);
    EXPECT_TRUE(f.Valid);
    Width = static_cast<int32_t>(f.Tag(256, 0));
    Height = static_cast<int32_t>(f.Tag(257, 0));
    const bool invert = f.Tag(262, 0) == 1;
    const bool reversed = f.Tag(266, 1) == 2;
    const std::string bits = f.AllStrips();
    TRows rows;
    for (int32_t y = 0; y < Height; ++y) {
        std::vector<uint8_t> row(Bytes(Width), 0);
        for (int32_t i = 0; i < Bytes(Width) && y * Bytes(Width) + i < static_cast<int32_t>(bits.size()); ++i)
            row[i] = Reversed(static_cast<uint8_t>(bits[y * Bytes(Width) + i]), reversed) ^
                     (invert ? 0xFF : 0);
        if (Width % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - Width % 8));
        rows.push_back(row);
    }
    return rows;
}

bool HaveLibtiffTools() {
    return ToolExists("tiffcp") && ToolExists("fax2tiff") && ToolExists("convert");
}

TEST_F(CCITT, LibtiffDecodesEveryEncoder) {
    if (!HaveLibtiffTools()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tiffcp and fax2tiff");
    ScratchFolder folder;
    for (TScheme scheme : {MH, G3_1D, G3_2D, G4})
        for (int32_t order : {1, 2})
            for (int32_t width : {7, 1728}) {
                const TRows rows = MakeRows(width, 20, 99 + width);
                const auto height = static_cast<int32_t>(rows.size());
                static const int32_t compression[] = {2, 3, 3, 4};
                const std::string tiff =
                    WrapStrip(Encode(rows, width, scheme, order), width, height,
                              compression[scheme], scheme == G3_2D ? 1 : 0, order);
                const std::string in = (folder.Path() / "in.tif").string();
                const std::string out = (folder.Path() / "out.tif").string();
                WriteFileBytes(in, tiff);
                std::string log;
                ASSERT_TRUE(RunTool("tiffcp -c none -r 100000 '" + in + "' '" + out + "'", log));
                int32_t w = 0, h = 0;
                EXPECT_EQ(PlainRows(out, w, h), rows) << scheme << " " << order << " " << width;
            }
}

// Rows of random pixels at several densities, some rows a copy of the one above with a few
// pixels changed, one all black and one all white; set bits black.
TRows NoiseRows(int32_t Width, std::mt19937& Random) {
    static const uint32_t percentBlack[] = {50, 8, 92, 2, 98};
    TRows rows;
    for (int32_t y = 0; y < 16; ++y) {
        std::vector<uint8_t> row(Bytes(Width), 0);
        if (y == 14) {
            std::fill(row.begin(), row.end(), uint8_t{0xFF});
        } else if (y % 4 == 3) {
            row = rows.back();
            for (uint32_t n = 1 + Random() % 3; n > 0; --n) {
                const uint32_t x = Random() % Width;
                row[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
            }
        } else if (y != 15) {
            for (int32_t x = 0; x < Width; ++x)
                if (Random() % 100 < percentBlack[y % 5])
                    row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        if (Width % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - Width % 8));
        rows.push_back(row);
    }
    return rows;
}

std::string Hex(const TRows& Rows) {
    std::string out;
    for (const auto& row : Rows)
        for (uint8_t b : row) {
            out += "0123456789abcdef"[b >> 4];
            out += "0123456789abcdef"[b & 15];
        }
    return out;
}

// Every width from 1 to 70 pixels puts edges at every bit of a byte and of an eight-byte word
// and ends rows inside both: each scheme decodes what it encodes, and Pillow, through libtiff,
// reads our strips to the same pixels.
TEST_F(CCITT, EveryNarrowWidthRoundTripsAndPillowAgrees) {
    ScratchFolder folder;
    std::mt19937 random(7070);
    std::map<std::string, std::string> expected;
    for (int32_t width = 1; width <= 70; ++width)
        for (TScheme scheme : {MH, G3_1D, G3_2D, G4}) {
            const int32_t order = 1 + (width + scheme) % 2;
            const TRows rows = NoiseRows(width, random);
            const auto height = static_cast<int32_t>(rows.size());
            const std::string data = Encode(rows, width, scheme, order);
            EXPECT_EQ(Decode(data, width, height, scheme, order), rows)
                << "scheme " << scheme << ", width " << width << ", fill order " << order;
            static const int32_t compression[] = {2, 3, 3, 4};
            const std::string name =
                "w" + std::to_string(width) + "s" + std::to_string(scheme) + ".tif";
            WriteFileBytes(folder.Path() / name, WrapStrip(data, width, height, compression[scheme],
                                                           scheme == G3_2D ? 1 : 0, order));
            expected[name] = Hex(rows);
        }
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
        SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    // Each file's rows, set bits black, the unused bits of each last byte 0.
    const std::string script = (folder.Path() / "rows.py").string();
    WriteFileBytes(script, "import os, sys\nfrom PIL import Image\n"
                           "for name in sorted(os.listdir(sys.argv[1])):\n"
                           "    if not name.endswith('.tif'):\n"
                           "        continue\n"
                           "    im = Image.open(os.path.join(sys.argv[1], name)).convert('1')\n"
                           "    w, h = im.size\n"
                           "    n = (w + 7) // 8\n"
                           "    raw = im.tobytes()\n"
                           "    tail = (0xFF << (8 - w % 8)) & 0xFF if w % 8 else 0xFF\n"
                           "    rows = []\n"
                           "    for y in range(h):\n"
                           "        row = bytearray(255 - b for b in raw[y * n:(y + 1) * n])\n"
                           "        row[-1] &= tail\n"
                           "        rows.append(row.hex())\n"
                           "    print(name, ''.join(rows))\n");
    std::string out;
    ASSERT_TRUE(RunTool("/usr/bin/python3 '" + script + "' '" + folder.Path().string() + "'", out));
    std::istringstream lines(out);
    std::string name, hex;
    size_t compared = 0;
    while (lines >> name >> hex) {
        EXPECT_EQ(hex, expected[name]) << name;
        ++compared;
    }
    EXPECT_EQ(compared, expected.size());
}

// Pages coded by libtiff decode to the bits libtiff gives uncompressed.
TEST_F(CCITT, DecodesWhatLibtiffEncodes) {
    if (!HaveLibtiffTools()) SV_SKIP_WITHOUT_REFERENCE("libtiff's tiffcp and fax2tiff");
    ScratchFolder folder;
    const std::string page = (folder.Path() / "page.tif").string();
    std::string log;
    ASSERT_TRUE(RunTool("convert -size 1000x120 xc:white -fill black -draw 'circle 200,60 240,100' "
                        "-draw 'rectangle 500,10 990,20' -draw 'polygon 300,5 420,110 330,100' -type bilevel -depth 1 "
                        "-monochrome '" + page + "'",
                        log));
    const std::string plain = (folder.Path() / "plain.tif").string();
    ASSERT_TRUE(RunTool("tiffcp -c none -r 100000 '" + page + "' '" + plain + "'", log));
    int32_t width = 0, height = 0;
    const TRows expected = PlainRows(plain, width, height);
    struct {
        const char* Options;
        TScheme Scheme;
    } const variants[] = {{"-c g3:1d", G3_1D},           {"-c g3:2d", G3_2D},
                          {"-c g4", G4},                 {"-c g3:1d -f lsb2msb", G3_1D},
                          {"-c g3:2d -f lsb2msb", G3_2D}, {"-c g4 -f lsb2msb", G4}};
    for (const auto& v : variants) {
        const std::string coded = (folder.Path() / "coded.tif").string();
        ASSERT_TRUE(RunTool(std::string("tiffcp -r 100000 ") + v.Options + " '" + page + "' '" +
                                coded + "'",
                            log));
        const TTiffFile f = ReadTiffFile(coded);
        ASSERT_TRUE(f.Valid);
        const auto order = static_cast<int32_t>(f.Tag(266, 1));
        TRows rows = Decode(f.AllStrips(), width, height, v.Scheme, order);
        if (f.Tag(262, 0) == 1)
            for (auto& row : rows) {
                for (auto& b : row) b = static_cast<uint8_t>(~b);
                if (width % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - width % 8));
            }
        EXPECT_EQ(rows, expected) << v.Options;

        // The raw G3 strip through fax2tiff, in both of its output fill orders.
        if (v.Scheme == G4) continue;
        const std::string raw = (folder.Path() / "raw.g3").string();
        WriteFileBytes(raw, f.AllStrips());
        for (const char* faxOptions : {"-1 -M", "-2 -L", "-4 -M"}) {
            const std::string fax = (folder.Path() / "fax.tif").string();
            const std::string input = order == 2 ? "-L" : "-M";
            const std::string inputScheme = v.Scheme == G3_2D ? "-2" : "-1";
            // Options before the input name describe it; fax2tiff's -o names the output.
            ASSERT_TRUE(RunTool("fax2tiff -X " + std::to_string(width) + " " + inputScheme +
                                    " " + std::string(faxOptions) + " -o '" + fax + "' " +
                                    "'" + raw + "'",
                                log))
                << faxOptions;
            const TTiffFile faxFile = ReadTiffFile(fax);
            ASSERT_TRUE(faxFile.Valid);
            const auto compression = faxFile.Tag(259, 0);
            const auto t4 = faxFile.Tag(292, 0);
            const TScheme scheme = compression == 4 ? G4 : (t4 & 1) ? G3_2D : G3_1D;
            const std::string faxPlain = (folder.Path() / "faxplain.tif").string();
            ASSERT_TRUE(RunTool("tiffcp -c none -r 100000 '" + fax + "' '" + faxPlain + "'", log));
            int32_t fw = 0, fh = 0;
            const TRows faxExpected = PlainRows(faxPlain, fw, fh);
            TRows faxRows = Decode(faxFile.AllStrips(), fw, fh, scheme,
                                   static_cast<int32_t>(faxFile.Tag(266, 1)));
            if (faxFile.Tag(262, 0) == 1)
                for (auto& row : faxRows) {
                    for (auto& b : row) b = static_cast<uint8_t>(~b);
                    if (fw % 8) row.back() &= static_cast<uint8_t>(0xFF << (8 - fw % 8));
                }
            EXPECT_EQ(faxRows, faxExpected) << v.Options << " then fax2tiff " << faxOptions;
        }
    }
}

// Random data: the decoders stay inside the row and the data (checked by the sanitizers and by
// guard bytes after the row).
TEST_F(CCITT, RandomDataNeverWritesOutsideTheRow) {
    std::mt19937 random(2222);
    for (int round = 0; round < 4000; ++round) {
        const int32_t width = 1 + static_cast<int32_t>(random() % 200);
        std::vector<uint8_t> data(1 + random() % 64);
        for (auto& b : data) b = static_cast<uint8_t>(random());
        if (round % 3 == 0)
            for (auto& b : data) b &= static_cast<uint8_t>(random());  // many zero bits
        std::vector<uint8_t> row(Bytes(width) + 4, 0x5A);
        // A reference row of random changing elements, some beyond the row.
        TCCITTReference ref;
        ref.Changes.resize(random() % 12);
        for (auto& c : ref.Changes)
            c = static_cast<int32_t>(random() % (width + 8));
        std::sort(ref.Changes.begin(), ref.Changes.end());
        const auto n = static_cast<int32_t>(data.size());
        const int32_t order = 1 + round % 2;
        int64_t p = 0;
        for (int r = 0; r < 4 && p < int64_t{n} * 8; ++r)
            p = DecodeCCITTRow2D(row.data(), data.data(), n, width, ref, p, order, r % 2);
        p = DecodeCCITTRow1D(row.data(), data.data(), n, width, 0, order);
        DecodeCCITTRowMH(row.data(), data.data(), n, width, order);
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(row[Bytes(width) + i], 0x5A) << round;
    }
}

} // namespace

namespace {

// The library start-up builds the trees at the CCITT slot and the shut-down frees them.
TEST_F(CCITT, TreesLiveFromStartUpToShutDown) {
    FreeCCITTDecodeTrees();
    const uint8_t eightWhite[] = {0x98};
    EXPECT_EQ(CCITTLookupCode(true, eightWhite, 1, 0, 1), 128);
    RegisterCCITTUnit();
    InitializeLibrary();
    EXPECT_EQ(CCITTLookupCode(true, eightWhite, 1, 0, 1), 8);
    FinalizeLibrary();
    EXPECT_EQ(CCITTLookupCode(true, eightWhite, 1, 0, 1), 128);
    BuildCCITTDecodeTrees();
}

} // namespace
