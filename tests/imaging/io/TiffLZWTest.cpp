// The TIFF LZW codec against libtiff: strips of tiffcp's LZW files decode to its uncompressed
// strips, and TIFFs around the encoder's strips pass tiffinfo and tiffcp.
#include "imaging/io/VLTiffLZW.h"

#include "tests/imaging/io/IOTestSupport.h"

#include <map>
#include <random>

namespace {

// The first directory of a little-endian TIFF: tag -> values.
std::map<int32_t, std::vector<uint32_t>> ReadDirectory(const TBytes& Tiff) {
    auto u16 = [&](size_t p) { return static_cast<uint32_t>(Tiff.at(p) | (Tiff.at(p + 1) << 8)); };
    auto u32 = [&](size_t p) { return u16(p) | (u16(p + 2) << 16); };
    std::map<int32_t, std::vector<uint32_t>> tags;
    EXPECT_EQ(Tiff.at(0), 'I');
    const size_t ifd = u32(4);
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t entry = ifd + 2 + i * 12;
        const uint32_t type = u16(entry + 2), count = u32(entry + 4);
        const uint32_t size = type == 3 ? 2 : 4;
        const size_t at = count * size <= 4 ? entry + 8 : u32(entry + 8);
        auto& values = tags[static_cast<int32_t>(u16(entry))];
        for (uint32_t k = 0; k < count; ++k)
            values.push_back(size == 2 ? u16(at + k * 2) : u32(at + k * 4));
    }
    return tags;
}

struct TStrips {
    int32_t RowSize = 0;
    int32_t RowsPerStrip = 0;
    int32_t Height = 0;
    int32_t FillOrder = 1;
    std::vector<TBytes> Data;
};

TStrips ReadStrips(const std::string& File) {
    const TBytes tiff = ReadFileBytes(File);
    auto tags = ReadDirectory(tiff);
    TStrips strips;
    strips.RowSize = static_cast<int32_t>(tags[256].at(0) * tags[277].at(0));
    strips.Height = static_cast<int32_t>(tags[257].at(0));
    strips.RowsPerStrip = static_cast<int32_t>(tags[278].at(0));
    if (tags.count(266) != 0) strips.FillOrder = static_cast<int32_t>(tags[266].at(0));
    for (size_t i = 0; i < tags[273].size(); ++i) {
        const auto begin = tiff.begin() + tags[273][i];
        strips.Data.emplace_back(begin, begin + tags[279].at(i));
    }
    return strips;
}

// Rows of RowSize bytes decoded one call each (the strip copied into a block of its exact size,
// so that a read past its end shows); nil rows end the list.
std::vector<TBytes> DecodeRows(const TBytes& Strip, int32_t RowSize, int32_t Rows,
                               int32_t FillOrder) {
    auto exact = std::make_unique<uint8_t[]>(std::max<size_t>(Strip.size(), 1));
    std::copy(Strip.begin(), Strip.end(), exact.get());
    std::vector<TBytes> rows;
    void* state = nullptr;
    for (int32_t r = 0; r < Rows; ++r) {
        const uint8_t* row = TiffLZWDecode(exact.get(), static_cast<int32_t>(Strip.size()), RowSize,
                                           state, FillOrder);
        if (row == nullptr) break;
        rows.emplace_back(row, row + RowSize);
    }
    EXPECT_EQ(TiffLZWDecode(nullptr, 0, 0, state, 0), nullptr);
    EXPECT_EQ(state, nullptr);
    return rows;
}

TBytes Joined(const std::vector<TBytes>& Rows) {
    TBytes all;
    for (const TBytes& row : Rows)
        all.insert(all.end(), row.begin(), row.end());
    return all;
}

// The encoder's code stream of Rows, one call per row.
TBytes Encode(const std::vector<TBytes>& Rows) {
    TMemoryStream stream;
    void* state = nullptr;
    for (const TBytes& row : Rows)
        TiffLZWEncode(row.data(), static_cast<int32_t>(row.size()), stream, state);
    TiffLZWEncode(nullptr, 0, stream, state);
    EXPECT_EQ(state, nullptr);
    return StreamBytes(stream);
}

// A grey little-endian TIFF of one LZW strip.
TBytes GreyTiff(int32_t Width, int32_t Height, const TBytes& Strip) {
    TBytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](uint32_t v) { tiff.insert(tiff.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const std::vector<std::pair<uint32_t, uint32_t>> entries = {
        {256, Width}, {257, Height}, {258, 8},
        {259, 5},     {262, 1},      {273, 0},
        {277, 1},     {278, Height}, {279, uint32_t(Strip.size())}};
    const uint32_t dataOffset = 8 + 2 + static_cast<uint32_t>(entries.size()) * 12 + 4;
    put16(static_cast<uint32_t>(entries.size()));
    for (const auto& [tag, value] : entries) {
        put16(tag);
        put16(4);
        put32(1);
        put32(tag == 273 ? dataOffset : value);
    }
    put32(0);
    tiff.insert(tiff.end(), Strip.begin(), Strip.end());
    return tiff;
}

// Rows of a picture with runs and noise.
std::vector<TBytes> Picture(int32_t RowSize, int32_t Height, uint32_t Seed, int32_t NoisePercent) {
    std::mt19937 rng(Seed);
    std::vector<TBytes> rows(Height, TBytes(RowSize));
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < RowSize; ++x)
            rows[y][x] = static_cast<int32_t>(rng() % 100) < NoisePercent
                             ? static_cast<uint8_t>(rng())
                             : static_cast<uint8_t>((x / 7 + y / 3) * 5);
    return rows;
}

} // namespace

TEST(TiffLZWDecode, TiffcpStripsEqualItsUncompressedStrips) {
    if (!ToolExists("tiffcp") || !ToolExists("convert")) GTEST_SKIP() << "libtiff tools missing";
    TScratch scratch;
    std::string out;
    ASSERT_TRUE(RunTool("convert -size 203x61 plasma:fractal -seed 4 +noise Gaussian -depth 8 "
                        "-compress none '" +
                            scratch.File("src.tif") + "'",
                        out));
    ASSERT_TRUE(RunTool("tiffcp -c none -r 16 '" + scratch.File("src.tif") + "' '" +
                            scratch.File("none.tif") + "'",
                        out));
    const TStrips plain = ReadStrips(scratch.File("none.tif"));
    for (const std::string options : {"-c lzw -r 16", "-c lzw -f lsb2msb -r 16", "-c lzw -r 61"}) {
        SCOPED_TRACE(options);
        ASSERT_TRUE(RunTool("tiffcp " + options + " '" + scratch.File("src.tif") + "' '" +
                                scratch.File("lzw.tif") + "'",
                            out));
        const TStrips lzw = ReadStrips(scratch.File("lzw.tif"));
        EXPECT_EQ(lzw.FillOrder, options.find("lsb2msb") != std::string::npos ? 2 : 1);
        TBytes byRow, whole;
        for (size_t s = 0; s < lzw.Data.size(); ++s) {
            const int32_t rows =
                std::min(lzw.RowsPerStrip, lzw.Height - int32_t(s) * lzw.RowsPerStrip);
            const auto decoded = DecodeRows(lzw.Data[s], lzw.RowSize, rows, lzw.FillOrder);
            EXPECT_EQ(static_cast<int32_t>(decoded.size()), rows);
            const TBytes joined = Joined(decoded);
            byRow.insert(byRow.end(), joined.begin(), joined.end());
            const auto all = DecodeRows(lzw.Data[s], lzw.RowSize * rows, 1, lzw.FillOrder);
            ASSERT_EQ(all.size(), 1u);
            whole.insert(whole.end(), all[0].begin(), all[0].end());
        }
        const TBytes expected = Joined(plain.Data);
        EXPECT_EQ(byRow, expected);
        EXPECT_EQ(whole, expected);
    }
}

TEST(TiffLZWEncode, LibtiffReadsWhatItWrites) {
    if (!ToolExists("tiffcp") || !ToolExists("tiffinfo")) GTEST_SKIP() << "libtiff tools missing";
    struct TCase {
        const char* Name;
        std::vector<TBytes> Rows;
    };
    const std::vector<TCase> cases = {
        {"several clear codes", Picture(320, 240, 7, 60)},
        {"constant rows, long strings", Picture(1000, 50, 1, 0)},
        {"rows of one byte", Picture(1, 3000, 2, 50)},
        {"single pixel", Picture(1, 1, 3, 0)},
    };
    TScratch scratch;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes strip = Encode(c.Rows);
        const auto width = static_cast<int32_t>(c.Rows[0].size());
        const auto height = static_cast<int32_t>(c.Rows.size());
        WriteBytes(scratch.File("enc.tif"), GreyTiff(width, height, strip));
        std::string info;
        RunTool("sh -c \"tiffinfo -D '" + scratch.File("enc.tif") + "' 2>&1\"", info);
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        std::string out;
        ASSERT_TRUE(RunTool("tiffcp -c none '" + scratch.File("enc.tif") + "' '" +
                                scratch.File("dec.tif") + "'",
                            out));
        EXPECT_EQ(Joined(ReadStrips(scratch.File("dec.tif")).Data), Joined(c.Rows));
        // Our own decoder, row by row, agrees.
        EXPECT_EQ(DecodeRows(strip, width, height, 1), c.Rows);
    }
}

namespace {

// Reads the encoder's codes the way a TIFF decoder does (the width growing when the table
// reaches 511, 1,023 and 2,047 entries) and returns the table size met at each clear code and at
// the end code.
std::vector<int32_t> TableSizesAtClears(const TBytes& Strip) {
    std::vector<int32_t> sizes;
    const auto bits = static_cast<int64_t>(Strip.size()) * 8;
    int64_t bit = 0;
    int32_t width = 9, next = 258;
    bool first = true;
    for (;;) {
        if (bit + width > bits) {
            ADD_FAILURE() << "no end code";
            return sizes;
        }
        int32_t code = 0;
        for (int32_t i = 0; i < width; ++i, ++bit)
            code = (code << 1) | ((Strip[bit >> 3] >> (7 - (bit & 7))) & 1);
        if (code == 256 || code == 257) {
            sizes.push_back(next);
            if (code == 257) break;
            next = 258;
            width = 9;
            first = true;
            continue;
        }
        EXPECT_LE(code, next);
        if (!first && ++next >= 511) width = next >= 2047 ? 12 : next >= 1023 ? 11 : 10;
        first = false;
    }
    EXPECT_EQ((bit + 7) / 8, static_cast<int64_t>(Strip.size()));
    return sizes;
}

} // namespace

TEST(TiffLZWEncode, WidthGrowsOneCodeEarlyAndClearsBefore4094) {
    const auto sizes = TableSizesAtClears(Encode(Picture(500, 100, 5, 100)));
    ASSERT_GE(sizes.size(), 4u);
    EXPECT_EQ(sizes.front(), 258);
    for (size_t i = 1; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], 4094);
    EXPECT_LE(sizes.back(), 4094);
}

TEST(TiffLZWDecode, EdgeCases) {
    // Codes 9 bits wide, MSB first: clear, 'A', 'B', end.
    auto pack = [](const std::vector<std::pair<int32_t, int32_t>>& codes) {
        TBytes out;
        uint64_t bits = 0;
        int32_t count = 0;
        for (const auto& [code, width] : codes) {
            bits = (bits << width) | static_cast<uint32_t>(code);
            count += width;
            while (count >= 8) {
                out.push_back(static_cast<uint8_t>(bits >> (count - 8)));
                count -= 8;
            }
        }
        if (count > 0) out.push_back(static_cast<uint8_t>(bits << (8 - count)));
        return out;
    };
    struct TCase {
        const char* Name;
        TBytes Strip;
        int32_t RowSize;
        int32_t FillOrder;
        std::vector<TBytes> Rows;
    };
    const TBytes ab = pack({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {257, 9}});
    TBytes reversed = ab;
    for (uint8_t& b : reversed) {
        uint8_t r = 0;
        for (int32_t i = 0; i < 8; ++i)
            r |= ((b >> i) & 1) << (7 - i);
        b = r;
    }
    const std::vector<TCase> cases = {
        {"rows cross strings", ab, 3, 1, {{'A', 'B', 'A'}, {'B', 'B', 'A'}}},
        {"fill order 2", reversed, 4, 2, {{'A', 'B', 'A', 'B'}}},
        // The end code in the middle of the second row: a short row over the first one's bytes.
        {"short row", ab, 3, 1, {{'A', 'B', 'A'}, {'B', 'B', 'A'}, {'B', 'B', 'A'}}},
        // Codes running out end the row as the end code does.
        {"strip without end code", pack({{256, 9}, {'A', 9}, {'B', 9}}), 4, 1, {{'A', 'B', 0, 0}}},
        {"no clear code first",
         pack({{'A', 9}, {'B', 9}, {258, 9}, {257, 9}}),
         4,
         1,
         {{'A', 'B', 'A', 'B'}}},
        {"code beyond the table", pack({{256, 9}, {'A', 9}, {300, 9}}), 4, 1, {}},
        {"code after a clear beyond the table", pack({{256, 9}, {260, 9}}), 4, 1, {}},
        {"empty strip", TBytes{}, 2, 1, {{0, 0}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto rows =
            DecodeRows(c.Strip, c.RowSize,
                       std::max<int32_t>(1, static_cast<int32_t>(c.Rows.size())), c.FillOrder);
        EXPECT_EQ(rows, c.Rows);
    }
}

// Rows of one byte from strings hundreds of bytes long: leftovers carry over between rows.
TEST(TiffLZWDecode, ShortRowsOfLongStrings) {
    const std::vector<TBytes> rows = Picture(1, 200000, 8, 0);
    const TBytes strip = Encode(rows);
    EXPECT_EQ(DecodeRows(strip, 1, 200000, 1), rows);
}

TEST(TiffLZWDecode, RandomStripsStayInside) {
    std::mt19937 rng(6);
    for (int32_t trial = 0; trial < 200; ++trial) {
        TBytes strip(1 + rng() % 600);
        for (auto& b : strip)
            b = static_cast<uint8_t>(rng());
        if (trial % 2 == 0) strip[0] = 0x80; // a clear code first
        DecodeRows(strip, 1 + static_cast<int32_t>(rng() % 40), 30, 1 + trial % 2);
    }
}
