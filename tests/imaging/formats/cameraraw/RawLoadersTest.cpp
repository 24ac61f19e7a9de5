// The raw data loaders: every layout packed by make_raw_fixtures.py from a known mosaic must be
// stored back cell by cell with the black level the packer computed; the shared readers on
// hand-made bytes; and every loader on truncated, changed and random data ends and stays inside
// its buffers.
#include "imaging/core/VLStreams.h"
#include "imaging/formats/cameraraw/VLCameraRaw.h"
#include "imaging/formats/cameraraw/VLKodakLoaders.h"
#include "imaging/formats/cameraraw/VLRawLoaders.h"
#include "tests/ExternalTool.h"
#include "tests/imaging/core/FuzzBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

const char* const Python = "/usr/bin/python3";
constexpr int32_t UntouchedBlack = 77;

const std::map<std::string, TVLRawLoadProc>& Loaders() {
    static const std::map<std::string, TVLRawLoadProc> table = {
        {"canon_compressed_load_raw", canon_compressed_load_raw},
        {"powershot600_load_raw", powershot600_load_raw},
        {"powershot_a5_load_raw", powershot_a5_load_raw},
        {"jpeg_lossless_load_raw", jpeg_lossless_load_raw},
        {"nikon_compressed_load_raw", nikon_compressed_load_raw},
        {"nikon_packed_load_raw", nikon_packed_load_raw},
        {"nikon_e2100_packed_load_raw", nikon_e2100_packed_load_raw},
        {"nikon_e950_packed_load_raw", nikon_e950_packed_load_raw},
        {"fuji_s2pro_load_raw", fuji_s2pro_load_raw},
        {"fuji_s5000_diagonal_load_raw", fuji_s5000_diagonal_load_raw},
        {"fuji_s7000_diagonal_load_raw", fuji_s7000_diagonal_load_raw},
        {"fuji_f700s20_load_raw", fuji_f700s20_load_raw},
        {"rollei_packed_load_raw", rollei_packed_load_raw},
        {"phaseone_scrambled_load_raw", phaseone_scrambled_load_raw},
        {"imacon_load_raw", imacon_load_raw},
        {"packed12_bits_load_raw", packed12_bits_load_raw},
        {"unpacked16_be_load_raw", unpacked16_be_load_raw},
        {"unpacked_high12_be_load_raw", unpacked_high12_be_load_raw},
        {"unpacked_low12_be_load_raw", unpacked_low12_be_load_raw},
        {"unpacked_low10_be_load_raw", unpacked_low10_be_load_raw},
        {"unpacked_high12_le_load_raw", unpacked_high12_le_load_raw},
        {"olympus_c_interlaced_load_raw", olympus_c_interlaced_load_raw},
        {"eight_bit_load_raw", eight_bit_load_raw},
        {"qv5700_load_raw", qv5700_load_raw},
        {"nucore_load_raw", nucore_load_raw},
        {"dsc_f828_load_raw", dsc_f828_load_raw},
        {"kodak_easy_load_raw", kodak_easy_load_raw},
        {"kodak_dcr_load_raw", kodak_dcr_load_raw},
        {"kodak_ycc_load_raw", kodak_ycc_load_raw},
        {"dc40_load_raw", dc40_load_raw},
        {"dc120_load_raw", dc120_load_raw},
        {"dc120_jpeg_load_raw", dc120_jpeg_load_raw}};
    return table;
}

// One line of cases.txt.
struct TCase {
    std::string Name, Loader, Make, Model;
    int32_t Width = 0, Height = 0, RawWidth = 0, RawHeight = 0, Top = 0, Left = 0;
    uint32_t Filters = 0;
    uint16_t Order = 0;
    uint32_t DataOffset = 0, CurveOffset = 0, CrwTable = 0;
    int32_t Black = 0;
};

TBytes ReadFile(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A context set as the camera's identification sets it, over Data, the buffer allocated as the
// reader allocates it; the stream is put to the data's position.
struct TLoad {
    std::unique_ptr<TVLCameraRawContext> Context = std::make_unique<TVLCameraRawContext>();
    std::unique_ptr<TVLMemStream> Source;
    std::unique_ptr<TVLBufferedReadStream> Stream;
    TBytes Data;

    TLoad(const TCase& Case, TBytes Bytes) : Data(std::move(Bytes)) {
        TVLCameraRawContext& c = *Context;
        Source = std::make_unique<TVLMemStream>(Data.empty() ? nullptr : Data.data(),
                                                static_cast<int64_t>(Data.size()));
        Stream = std::make_unique<TVLBufferedReadStream>(*Source, 8192, false);
        c.Stream = Stream.get();
        std::strncpy(c.Make, Case.Make == "-" ? "" : Case.Make.c_str(), sizeof(c.Make) - 1);
        std::strncpy(c.Model, Case.Model == "-" ? "" : Case.Model.c_str(), sizeof(c.Model) - 1);
        c.Width = Case.Width;
        c.Height = Case.Height;
        c.RawWidth = Case.RawWidth;
        c.RawHeight = Case.RawHeight;
        c.TopMargin = Case.Top;
        c.LeftMargin = Case.Left;
        c.Filters = Case.Filters;
        c.Order = Case.Order;
        c.DataOffset = Case.DataOffset;
        c.CurveOffset = Case.CurveOffset;
        c.Black = UntouchedBlack;
        c.LoadRaw = Loaders().at(Case.Loader);
        c.IHeight = c.Height;
        c.IWidth = c.Width;
        c.Image = std::make_unique<TVLRawCell[]>(static_cast<size_t>(c.Height) * c.Width);
        init_bit_state(c);
        if (Case.Loader == "canon_compressed_load_raw") build_crw_trees(c, Case.CrwTable);
        c.Stream->SetPosition(c.DataOffset);
    }

    void Run() { Context->LoadRaw(*Context); }
};

class RawLoaders : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new std::filesystem::path(UniqueTempPath("rawfixtures"));
        Made = std::system((std::string(Python) + " '" + SV_TESTS_DIR +
                            "/imaging/formats/cameraraw/make_raw_fixtures.py' '" + Dir->string() +
                            "' >/dev/null 2>&1")
                               .c_str()) == 0;
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*Dir);
        delete Dir;
    }

    std::vector<TCase> Cases() {
        std::vector<TCase> cases;
        std::ifstream in(*Dir / "cases.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            TCase c;
            fields >> c.Name >> c.Loader >> c.Width >> c.Height >> c.RawWidth >> c.RawHeight >>
                c.Top >> c.Left >> c.Filters >> c.Make >> c.Model >> c.Order >> c.DataOffset >>
                c.CurveOffset >> c.CrwTable >> c.Black;
            cases.push_back(c);
        }
        return cases;
    }

    static std::filesystem::path* Dir;
    static bool Made;
};

std::filesystem::path* RawLoaders::Dir = nullptr;
bool RawLoaders::Made = false;

TEST_F(RawLoaders, EveryLayoutStoresItsMosaicAndBlack) {
    if (!Made) SV_SKIP_WITHOUT_REFERENCE("python3 could not make the raw fixtures");
    const std::vector<TCase> cases = Cases();
    ASSERT_GE(cases.size(), 35u);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLoad load(c, ReadFile(*Dir / (c.Name + ".raw")));
        load.Run();
        const TBytes expect = ReadFile(*Dir / (c.Name + ".expect"));
        const int32_t perCell = c.Filters == 0 ? 3 : 1;
        ASSERT_EQ(expect.size(), size_t(c.Width) * c.Height * perCell * 2);
        int32_t wrong = 0;
        for (int32_t row = 0; row < c.Height; ++row)
            for (int32_t col = 0; col < c.Width; ++col)
                for (int32_t s = 0; s < perCell; ++s) {
                    const size_t k = (size_t(row) * c.Width + col) * perCell + s;
                    const uint16_t want = static_cast<uint16_t>(expect[k * 2] | expect[k * 2 + 1] << 8);
                    const int32_t sample = perCell == 3 ? s : FilterColor(c.Filters, row, col);
                    const uint16_t got = load.Context->Image[size_t(row) * c.Width + col][sample];
                    if (got != want && ++wrong <= 3)
                        ADD_FAILURE() << "cell " << row << "," << col << " sample " << sample
                                      << ": " << got << " instead of " << want;
                }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(load.Context->Black, c.Black < 0 ? UntouchedBlack : c.Black);
    }
}

TEST_F(RawLoaders, DamagedDataEndsWithinTheBuffers) {
    if (!Made) SV_SKIP_WITHOUT_REFERENCE("python3 could not make the raw fixtures");
    for (const TCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        const TBytes sample = ReadFile(*Dir / (c.Name + ".raw"));
        // The large layouts are cut to their start: the rounds stay quick, the ends are reached.
        const TBytes head(sample.begin(), sample.begin() + std::min<size_t>(sample.size(), 16384));
        FuzzParser(
            head,
            [&](const uint8_t* Data, int32_t Length) {
                TLoad load(c, TBytes(Data, Data + Length));
                try {
                    load.Run();
                } catch (const Exception&) {
                }
            },
            200);
    }
}

// Fuji's 45-degree sensors: each value of a raw row goes to its diagonal, within the buffer.
TEST_F(RawLoaders, FujiDiagonalRowsGoToTheirDiagonals) {
    TCase c;
    c.Width = c.Height = 12;
    c.Filters = 0x94949494;
    c.Order = 0x4949;
    c.Loader = "dc120_load_raw";
    TBytes data;
    const int32_t ncol = 8, icol = 6, nrow = 5;
    for (int32_t r = 0; r < nrow; ++r)
        for (int32_t col = 0; col < ncol; ++col) {
            const uint16_t v = static_cast<uint16_t>(r * 100 + col + 1);
            data.push_back(static_cast<uint8_t>(v));
            data.push_back(static_cast<uint8_t>(v >> 8));
        }
    TLoad load(c, data);
    fuji_diagonal_load_raw(*load.Context, ncol, icol, nrow);
    EXPECT_TRUE(load.Context->FujiRotated);
    for (int32_t r = 0; r < nrow; ++r)
        for (int32_t col = 0; col <= icol; ++col) {
            const int32_t row = icol - col + r / 2, x = col + (r + 1) / 2;
            EXPECT_EQ(load.Context->Image[row * 12 + x][FilterColor(c.Filters, row, x)],
                      (r * 100 + col + 1) << 2)
                << r << "," << col;
        }
}

// The bit reader: most significant bit first, 0xFF followed by a dropped byte when asked, zeros
// past the end of the data.
TEST(RawReaders, BitReaderAndByteOrder) {
    const TBytes data = {0xA5, 0xFF, 0x00, 0x3C, 0x12, 0x34};
    TCase c;
    c.Width = c.Height = 1;
    c.Loader = "dc120_load_raw";
    c.Order = 0x4949;
    TLoad load(c, data);
    TVLCameraRawContext& ctx = *load.Context;
    ctx.ZeroAfterFF = true;
    get_bits(ctx, -1);
    EXPECT_EQ(get_bits(ctx, 4), 0xAu);
    EXPECT_EQ(get_bits(ctx, 12), 0x5FFu);
    EXPECT_EQ(get_bits(ctx, 8), 0x3Cu);
    EXPECT_EQ(get_bits(ctx, 16), 0x1234u);
    EXPECT_EQ(get_bits(ctx, 25), 0u);
    EXPECT_EQ(get_bits(ctx, 0), 0u);
    load.Stream->SetPosition(4);
    EXPECT_EQ(get_u16(ctx), 0x3412);
    ctx.Order = 0x4D4D;
    load.Stream->SetPosition(2);
    EXPECT_EQ(get_u32(ctx), 0x003C1234u);
    EXPECT_EQ(get_u16(ctx), 0);
    uint8_t pairs[5] = {1, 2, 3, 4, 5};
    swap_byte_pairs(pairs, 5);
    EXPECT_EQ(TBytes(pairs, pairs + 5), (TBytes{2, 1, 4, 3, 5}));
}

// Trees: the canonical codes of a table and a table that needs more nodes than the context
// holds. (The Nikon fixture sends its zero differences as the table's valueless fourteenth code.)
TEST(RawReaders, DecoderTrees) {
    TCase c;
    c.Width = c.Height = 1;
    c.Loader = "dc120_load_raw";
    // Codes of the table {counts 0 2 1, values 7 9 4}: 00 -> 7, 01 -> 9, 100 -> 4.
    TLoad load(c, {0x22, 0x00});
    TVLCameraRawContext& ctx = *load.Context;
    reset_decoders(ctx);
    const uint8_t table[] = {0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 9, 4};
    EXPECT_EQ(build_decoder(ctx, table, sizeof(table), 0), 19u);
    get_bits(ctx, -1);
    // 0x22 = 00 100 01 0: 7, 4, 9.
    EXPECT_EQ(decode_symbol(ctx, 0), 7);
    EXPECT_EQ(decode_symbol(ctx, 0), 4);
    EXPECT_EQ(decode_symbol(ctx, 0), 9);
    // 255 codes of each length from 9 to 16: more than 2048 nodes.
    uint8_t big[16 + 2040] = {};
    for (int32_t i = 8; i < 16; ++i) big[i] = 255;
    reset_decoders(ctx);
    try {
        build_decoder(ctx, big, sizeof(big), 0);
        ADD_FAILURE() << "no overflow raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u": decoder table overflow");
    }
    // Signed differences: the JPEG magnitude rule.
    TLoad diffs(c, {0b10011000, 0});
    get_bits(*diffs.Context, -1);
    EXPECT_EQ(get_signed_bits(*diffs.Context, 2), 2);   // 10
    EXPECT_EQ(get_signed_bits(*diffs.Context, 3), -4);  // 011 = 3 - 7
    EXPECT_EQ(get_signed_bits(*diffs.Context, 0), 0);
}

// The Kodak curve never grows past 4096 entries and repeats its last entry; other makes keep
// the identity.
TEST(RawReaders, KodakCurve) {
    TBytes data(64, 0);
    data[12] = 1;  // one directory entry: tag 0x90D, 3 values at 40
    const uint8_t entry[12] = {0x0D, 0x09, 3, 0, 3, 0, 0, 0, 40, 0, 0, 0};
    std::memcpy(&data[14], entry, 12);
    const uint8_t curve[6] = {10, 0, 20, 0, 30, 0};
    std::memcpy(&data[40], curve, 6);
    TCase c;
    c.Width = c.Height = 1;
    c.Loader = "dc120_load_raw";
    c.Make = "Kodak";
    c.Order = 0x4949;
    c.CurveOffset = 1;
    c.DataOffset = 50;
    TLoad load(c, data);
    uint16_t table[4096];
    read_kodak_curve(*load.Context, table);
    EXPECT_EQ(table[0], 10);
    EXPECT_EQ(table[2], 30);
    EXPECT_EQ(table[4095], 30);
    EXPECT_EQ(load.Context->Maximum, 120);
    EXPECT_EQ(load.Stream->GetPosition(), 50);
    c.Make = "Canon";
    TLoad other(c, data);
    read_kodak_curve(*other.Context, table);
    EXPECT_EQ(table[4095], 4095);
}

// A loader whose black columns are all there is (RawWidth = Width) keeps the black it had; a
// model beginning "DC2" always ends with black 0.
TEST(RawLoadersEdges, BlackCountsAndModels) {
    TCase c;
    c.Width = 4;
    c.Height = 2;
    c.RawWidth = 4;
    c.Filters = 0x94949494;
    c.Loader = "powershot_a5_load_raw";
    TLoad a5(c, TBytes(10, 0x55));
    a5.Run();
    EXPECT_EQ(a5.Context->Black, UntouchedBlack);
    c.Loader = "kodak_easy_load_raw";
    c.Model = "DC25";
    c.RawWidth = 6;
    TLoad easy(c, TBytes(12, 200));
    easy.Run();
    EXPECT_EQ(easy.Context->Black, 0);
    // A DC40 width the radial buffer cannot hold stores nothing.
    c.Loader = "dc40_load_raw";
    c.Width = 6;
    c.Model = "DC40";
    TLoad dc40(c, TBytes(64, 0xFF));
    dc40.Run();
    for (int32_t i = 0; i < 12; ++i) EXPECT_EQ(dc40.Context->Image[i][0] | dc40.Context->Image[i][1] | dc40.Context->Image[i][2], 0);
}

// DC120 JPEG data: a picture of Width x Height / 2 written by cjpeg with its byte pairs
// swapped stores djpeg's samples by the Kodak rule; a wrong size raises; damage leaks nothing.
TEST(RawLoadersEdges, Dc120Jpeg) {
    if (!ToolExists("cjpeg") || !ToolExists("djpeg")) SV_SKIP_WITHOUT_REFERENCE("cjpeg/djpeg");
    const int32_t width = 16, half = 6;
    const auto ppm = UniqueTempPath("dc120") += ".ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << width << " " << half << "\n255\n";
        for (int32_t y = 0; y < half; ++y)
            for (int32_t x = 0; x < width; ++x)
                out << char(x * 15) << char(y * 40 + x) << char(255 - x * 9);
    }
    std::string jpeg, decoded;
    ASSERT_TRUE(RunTool("cjpeg -quality 90 '" + ppm.string() + "'", jpeg));
    ASSERT_TRUE(RunTool("cjpeg -quality 90 '" + ppm.string() + "' | djpeg -pnm", decoded));
    std::filesystem::remove(ppm);
    TBytes data(jpeg.begin(), jpeg.end());
    if (data.size() % 2 != 0) data.push_back(0);
    swap_byte_pairs(data.data(), data.size());
    const uint8_t* pixels = reinterpret_cast<const uint8_t*>(decoded.data()) + decoded.size() -
                            size_t(width) * half * 3;
    TCase c;
    c.Width = width;
    c.Height = half * 2;
    c.Filters = 0x94949494;
    c.Loader = "dc120_jpeg_load_raw";
    TLoad load(c, data);
    load.Run();
    TVLCameraRawContext& ctx = *load.Context;
    auto sample = [&](int32_t r, int32_t col) {
        return ctx.Image[r * width + col][FilterColor(c.Filters, r, col)];
    };
    for (int32_t s = 0; s < half; ++s)
        for (int32_t col = 0; col < width; col += 2) {
            const uint8_t* a = pixels + (size_t(s) * width + col) * 3;
            const uint8_t* b = a + 3;
            EXPECT_EQ(sample(2 * s, col), a[1] << 6);
            EXPECT_EQ(sample(2 * s + 1, col + 1), b[1] << 6);
            EXPECT_EQ(sample(2 * s, col + 1), (a[0] + b[0]) << 5);
            EXPECT_EQ(sample(2 * s + 1, col), (a[2] + b[2]) << 5);
        }
    c.Height = half * 2 + 2;
    TLoad wrong(c, data);
    try {
        wrong.Run();
        ADD_FAILURE() << "no error for a wrong size";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u": incorrect JPEG dimensions");
    }
    c.Height = half * 2;
    FuzzParser(data, [&](const uint8_t* Data, int32_t Length) {
        TLoad damaged(c, TBytes(Data, Data + Length));
        try {
            damaged.Run();
        } catch (const Exception&) {
        }
    }, 300);
}

} // namespace
