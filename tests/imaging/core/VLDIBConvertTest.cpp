// Packed DIBs and YUV frames into bitmaps: BMP files written by ImageMagick (file header
// stripped) against its own decoding, YUV frames packed here against the colour formula, the
// header checks and a bounded fuzz loop over damaged headers and short blocks.
#include "imaging/core/VLDIBConvert.h"

#include "FuzzBuffers.h"
#include "imaging/core/VLDibbitmap.h"
#include "platform/gfx/GlobalMemory.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

using enum TVLPixelFormat;

namespace {

uint32_t U32(const std::vector<uint8_t>& D, size_t At) {
    uint32_t v;
    std::memcpy(&v, D.data() + At, 4);
    return v;
}

void PutU32(std::vector<uint8_t>& D, size_t At, uint32_t V) {
    std::memcpy(D.data() + At, &V, 4);
}

// A 40-byte header followed by Extra zero bytes.
std::vector<uint8_t> Header(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, size_t Extra,
                            uint32_t ClrUsed = 0) {
    std::vector<uint8_t> d(40 + Extra, 0);
    BITMAPINFOHEADER h;
    h.biWidth = W;
    h.biHeight = H;
    h.biBitCount = Bits;
    h.biCompression = Compression;
    h.biClrUsed = ClrUsed;
    std::memcpy(d.data(), &h, sizeof(h));
    return d;
}

int32_t Convert(const std::vector<uint8_t>& Dib, TVLBitmap& B) {
    return CopyDIBToBitmap(Dib.data(), B, nullptr, true, Dib.size());
}

// Seeded random RGB pixels as a binary PPM.
std::vector<uint8_t> RandomPPM(int32_t W, int32_t H, uint32_t Seed) {
    std::ostringstream head;
    head << "P6\n" << W << " " << H << "\n255\n";
    const std::string h = head.str();
    std::vector<uint8_t> out(h.begin(), h.end());
    std::mt19937 random(Seed);
    for (int32_t i = 0; i < W * H * 3; ++i)
        out.push_back(static_cast<uint8_t>(random()));
    return out;
}

// The reference formula, computed here: rounded halves to even, clamped.
TVLRGB Formula(int Y, int U, int V) {
    const double d = (Y - 16) * 1.164, u = U - 128, v = V - 128;
    auto c = [](double x) {
        return static_cast<uint8_t>(std::clamp(std::nearbyint(x), 0.0, 255.0));
    };
    return TVLRGB{c(d + 2.018 * u), c(d - 0.813 * v - 0.391 * u), c(d + 1.596 * v)};
}

constexpr uint32_t Code(const char* C) {
    return static_cast<uint32_t>(C[0]) | static_cast<uint32_t>(C[1]) << 8 |
           static_cast<uint32_t>(C[2]) << 16 | static_cast<uint32_t>(C[3]) << 24;
}

} // namespace

TEST(CopyDIBToBitmap, ImageMagickBmpFilesDecodeAsImageMagickDecodesThem) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    folder.Write("in.ppm", RandomPPM(41, 9, 3));
    struct TCase {
        const char* Options;
        uint16_t Bits;
    };
    const TCase cases[] = {
        {"-colors 2 -type palette BMP3:", 1},
        {"-colors 12 -type palette BMP3:", 4},
        {"-colors 200 -type palette -compress none BMP3:", 8},
        {"-type truecolor BMP3:", 24},
        {"-alpha set -define bmp3:alpha=true BMP3:", 32},
        {"-alpha set BMP:", 32},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options);
        std::string out;
        const std::string options = c.Options;
        const std::string bmp = folder.File("out.bmp");
        ASSERT_TRUE(folder.Run(
            "convert '" + folder.File("in.ppm") + "' " + options + "'" + bmp + "'", out));
        const std::vector<uint8_t> file = folder.Read("out.bmp");
        ASSERT_GT(file.size(), 54u);
        ASSERT_EQ(U32(file, 28) & 0xFFFF, c.Bits);
        const std::vector<uint8_t> dib(file.begin() + 14, file.end());
        ASSERT_TRUE(folder.Run("convert '" + bmp + "' -depth 8 rgb:-", out));
        ASSERT_EQ(out.size(), 41u * 9 * 3);
        // The handle form reads the same block through GlobalSize.
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
        std::memcpy(GlobalLock(block), dib.data(), dib.size());
        GlobalUnlock(block);
        TVLBitmap image;
        ASSERT_EQ(CopyDIBToBitmap(block, image, nullptr, false), c.Bits);
        GlobalFree(block);
        ASSERT_EQ(image.GetWidth(), 41);
        ASSERT_EQ(image.GetHeight(), 9);
        const auto* ref = reinterpret_cast<const uint8_t*>(out.data());
        // A 1-bit picture keeps black and white: set where ImageMagick shows the lighter colour.
        int32_t lightest = 0;
        for (size_t i = 0; i < out.size(); i += 3)
            lightest = std::max(lightest, ref[i] * 21 + ref[i + 1] * 71 + ref[i + 2] * 8);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 41; ++x) {
                const uint8_t* p = ref + 3 * (y * 41 + x);
                TVLRGB expected{p[2], p[1], p[0]};
                if (c.Bits == 1) {
                    const uint8_t v = p[0] * 21 + p[1] * 71 + p[2] * 8 == lightest ? 255 : 0;
                    expected = TVLRGB{v, v, v};
                }
                ASSERT_EQ(image.GetPixelAsRGB(x, y), expected) << x << "," << y;
            }
        // The same file stored top-down: negative height, rows in the other order.
        std::vector<uint8_t> down = dib;
        PutU32(down, 8, static_cast<uint32_t>(-9));
        const size_t start = U32(file, 10) - 14;
        const size_t rowLength = (c.Bits * 41 + 31) / 32 * 4;
        for (size_t r = 0; r < 9; ++r)
            std::memcpy(down.data() + start + r * rowLength,
                        dib.data() + start + (8 - r) * rowLength, rowLength);
        TVLBitmap topDown;
        ASSERT_EQ(Convert(down, topDown), c.Bits);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 41; ++x)
                ASSERT_EQ(topDown.GetPixelAsRGB(x, y), image.GetPixelAsRGB(x, y)) << x << "," << y;
    }
}

TEST(CopyDIBToBitmap, SixteenBitFilesDecodeTheirStoredBits) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    folder.Write("in.ppm", RandomPPM(13, 7, 5));
    for (const char* subtype : {"RGB555", "RGB565"}) {
        SCOPED_TRACE(subtype);
        std::string out;
        ASSERT_TRUE(folder.Run(std::string("convert '") + folder.File("in.ppm") +
                                   "' -define bmp:subtype=" + subtype + " BMP:'" +
                                   folder.File("out.bmp") + "'",
                               out));
        const std::vector<uint8_t> file = folder.Read("out.bmp");
        ASSERT_EQ(U32(file, 28) & 0xFFFF, 16u);
        const std::vector<uint8_t> dib(file.begin() + 14, file.end());
        TVLBitmap image;
        ASSERT_EQ(Convert(dib, image), 16);
        const uint32_t masks[3] = {U32(file, 54), U32(file, 58), U32(file, 62)};
        const size_t pixels = U32(file, 10);
        const size_t rowLength = (13 * 2 + 3) / 4 * 4;
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                uint16_t p;
                std::memcpy(&p, file.data() + pixels + rowLength * (6 - y) + 2 * x, 2);
                uint8_t rgb[3];
                for (int i = 0; i < 3; ++i) {
                    const int shift = std::countr_zero(masks[i]);
                    const int width = std::popcount(masks[i]);
                    rgb[i] = static_cast<uint8_t>(((p & masks[i]) >> shift) << (8 - width));
                }
                ASSERT_EQ(image.GetPixelAsRGB(x, y), (TVLRGB{rgb[2], rgb[1], rgb[0]}));
            }
    }
    // Without masks 16 bits are 5-5-5: 0x7FFF is 248 in every channel.
    std::vector<uint8_t> dib = Header(1, 1, 16, BI_RGB, 4);
    dib[40] = 0xFF;
    dib[41] = 0x7F;
    TVLBitmap image;
    ASSERT_EQ(Convert(dib, image), 16);
    EXPECT_EQ(image.GetPixelAsRGB(0, 0), (TVLRGB{248, 248, 248}));
    // A 40-byte header with BI_BITFIELDS: 12 mask bytes, then the pixels (5-6-5 here).
    dib = Header(1, 1, 16, BI_BITFIELDS, 16);
    PutU32(dib, 40, 0xF800);
    PutU32(dib, 44, 0x07E0);
    PutU32(dib, 48, 0x001F);
    dib[52] = 0x1F; // blue 31, green 0, red 0
    ASSERT_EQ(Convert(dib, image), 16);
    EXPECT_EQ(image.GetPixelAsRGB(0, 0), (TVLRGB{248, 0, 0}));
}

TEST(CopyDIBToBitmap, TopDownRowsAndOneBitTables) {
    // A 24-bit DIB stored top-down equals the same DIB stored bottom-up.
    std::vector<uint8_t> up = Header(3, 2, 24, BI_RGB, 24);
    for (size_t i = 40; i < up.size(); ++i)
        up[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> down = up;
    PutU32(down, 8, static_cast<uint32_t>(-2));
    std::memcpy(down.data() + 40, up.data() + 52, 12);
    std::memcpy(down.data() + 52, up.data() + 40, 12);
    TVLBitmap a, b;
    ASSERT_EQ(Convert(up, a), 24);
    ASSERT_EQ(Convert(down, b), 24);
    ASSERT_EQ(b.GetHeight(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(a.GetPixelAsRGB(x, y), b.GetPixelAsRGB(x, y));
    // 1 bit, three rows, with white as entry 0: every row is copied and the bits flip.
    std::vector<uint8_t> mono = Header(10, 3, 1, BI_RGB, 8 + 12);
    PutU32(mono, 40, 0xFFFFFF);
    PutU32(mono, 44, 0);
    mono[48] = 0xC0; // bottom row: pixels 0 and 1 have entry 1 (black)
    mono[49] = 0x40; // pixel 9
    mono[52] = 0xFF; // middle row: pixels 0 to 7 black
    TVLBitmap bits;
    ASSERT_EQ(Convert(mono, bits), 1);
    ASSERT_EQ(bits.GetPixelFormat(), vl1g);
    for (int32_t x = 0; x < 10; ++x) {
        EXPECT_EQ(bits.GetPixelAsRGB(x, 2).r, x <= 1 || x == 9 ? 0 : 255) << x;
        EXPECT_EQ(bits.GetPixelAsRGB(x, 1).r, x <= 7 ? 0 : 255) << x;
        EXPECT_EQ(bits.GetPixelAsRGB(x, 0).r, 255) << x;
    }
}

TEST(CopyDIBToBitmap, HeadersThatDoNotHoldTogetherConvertNothing) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(2, 2, vl8g));
    struct TCase {
        const char* Why;
        std::vector<uint8_t> Dib;
    };
    std::vector<TCase> cases;
    cases.push_back({"short header", std::vector<uint8_t>(39, 0)});
    auto small = Header(2, 2, 24, BI_RGB, 16);
    PutU32(small, 0, 12);
    cases.push_back({"biSize below 40", small});
    cases.push_back({"rows past the block", Header(2, 2, 24, BI_RGB, 15)});
    cases.push_back({"more colours than 8 bits index", Header(1, 1, 8, BI_RGB, 257 * 4 + 4, 257)});
    cases.push_back({"table past the block", Header(1, 1, 8, BI_RGB, 100)});
    cases.push_back({"zero width", Header(0, 1, 24, BI_RGB, 16)});
    cases.push_back({"lowest height", Header(1, INT_MIN, 24, BI_RGB, 16)});
    cases.push_back({"run-length 8 bits", Header(1, 1, 8, 1, 1024 + 4)});
    cases.push_back({"24 bits with masks", Header(1, 1, 24, BI_BITFIELDS, 16)});
    cases.push_back({"unknown FourCC", Header(2, 1, 16, Code("ABCD"), 4)});
    cases.push_back({"huge width", Header(INT_MAX, 2, 32, BI_RGB, 64)});
    cases.push_back({"YUY2 frame past the block", Header(4, 2, 16, Code("YUY2"), 15)});
    cases.push_back({"YV12 planes past the block", Header(3, 3, 12, Code("YV12"), 9 + 7)});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(Convert(c.Dib, image), 0);
        EXPECT_EQ(image.GetWidth(), 2);
        EXPECT_EQ(image.GetPixelFormat(), vl8g);
    }
    // Indexes beyond a short table take its last entry.
    auto dib = Header(2, 1, 8, BI_RGB, 8 + 4, 2);
    PutU32(dib, 40, 0x102030);
    PutU32(dib, 44, 0x405060);
    dib[48] = 1;
    dib[49] = 200;
    ASSERT_EQ(Convert(dib, image), 8);
    EXPECT_EQ(image.GetPixelAsRGB(0, 0), (TVLRGB{0x60, 0x50, 0x40}));
    EXPECT_EQ(image.GetPixelAsRGB(1, 0), (TVLRGB{0x60, 0x50, 0x40}));
    // Pixels given apart must fit their own length.
    const auto head = Header(4, 2, 24, BI_RGB, 0);
    std::vector<uint8_t> rows(24, 9);
    EXPECT_EQ(CopyDIBToBitmap(head.data(), image, rows.data(), true, head.size(), 23), 0);
    EXPECT_EQ(CopyDIBToBitmap(head.data(), image, rows.data(), true, head.size(), 24), 24);
    EXPECT_EQ(image.GetPixelAsRGB(3, 1), (TVLRGB{9, 9, 9}));
}

TEST(YUVToBGR, ReferencePoints) {
    EXPECT_EQ(YUVToBGR(16, 128, 128), (TVLRGB{0, 0, 0}));
    EXPECT_EQ(YUVToBGR(235, 128, 128), (TVLRGB{255, 255, 255}));
    for (int y : {0, 60, 128, 250})
        for (int u : {0, 90, 128, 255})
            for (int v : {0, 100, 200, 255})
                EXPECT_EQ(YUVToBGR(y, u, v), Formula(y, u, v)) << y << " " << u << " " << v;
}

namespace {

// A packed layout as its byte tokens: "Yn" is the luma of pixel n, "Un"/"Vn" the chroma of
// pixels n onwards; a sample serves the pixels up to the next token of its kind.
struct TPackedCase {
    const char* FourCC;
    int Pixels;
    std::vector<std::string> Tokens;
    bool BottomUp;
};

// The sample of Kind that serves pixel I of a group.
int TokenFor(const TPackedCase& C, char Kind, int I) {
    int best = -1, bestIndex = -1;
    for (size_t t = 0; t < C.Tokens.size(); ++t) {
        const int n = std::stoi(C.Tokens[t].substr(1));
        if (C.Tokens[t][0] == Kind && n <= I && n > best) {
            best = n;
            bestIndex = static_cast<int>(t);
        }
    }
    return bestIndex;
}

} // namespace

TEST(CopyDIBToBitmap, PackedYUVFramesAtWidthsOffTheGroup) {
    const std::vector<TPackedCase> cases = {
        {"YUY2", 2, {"Y0", "U0", "Y1", "V0"}, false},
        {"YUNV", 2, {"Y0", "U0", "Y1", "V0"}, false},
        {"UYVY", 2, {"U0", "Y0", "V0", "Y1"}, false},
        {"UYNV", 2, {"U0", "Y0", "V0", "Y1"}, false},
        {"cyuv", 2, {"U0", "Y0", "V0", "Y1"}, true},
        {"YVYU", 2, {"Y0", "V0", "Y1", "U0"}, false},
        {"Y41P", 8, {"U0", "Y0", "V0", "Y1", "U4", "Y2", "V4", "Y3", "Y4", "Y5", "Y6", "Y7"}, true},
        {"Y211", 4, {"Y0", "U0", "Y2", "V0"}, false},
        {"IYU1", 4, {"U0", "Y0", "Y1", "V0", "Y2", "Y3"}, false},
        {"IYU2", 1, {"U0", "Y0", "V0"}, false},
    };
    std::mt19937 random(7);
    for (const TPackedCase& c : cases)
        for (int w : {c.Pixels, c.Pixels * 2 + 1, c.Pixels * 3 - 1 > 0 ? c.Pixels * 3 - 1 : 1})
            for (int sign : {1, -1}) {
                SCOPED_TRACE(std::string(c.FourCC) + " width " + std::to_string(w) +
                             (sign < 0 ? " top-down" : ""));
                const int h = 3;
                const int groups = (w + c.Pixels - 1) / c.Pixels;
                const size_t stride = groups * c.Tokens.size();
                std::vector<uint8_t> dib = Header(w, sign * h, 16, Code(c.FourCC), stride * h);
                for (size_t i = 40; i < dib.size(); ++i)
                    dib[i] = static_cast<uint8_t>(random());
                TVLBitmap image;
                ASSERT_EQ(Convert(dib, image), 16);
                ASSERT_EQ(image.GetWidth(), w);
                const bool topDown = (sign > 0) != c.BottomUp;
                for (int r = 0; r < h; ++r)
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* g =
                            dib.data() + 40 + stride * r + (x / c.Pixels) * c.Tokens.size();
                        const int i = x % c.Pixels;
                        const TVLRGB expected = Formula(
                            g[TokenFor(c, 'Y', i)], g[TokenFor(c, 'U', i)], g[TokenFor(c, 'V', i)]);
                        ASSERT_EQ(image.GetPixelAsRGB(x, topDown ? r : h - 1 - r), expected)
                            << x << "," << r;
                    }
            }
}

TEST(CopyDIBToBitmap, CLJRAndPlanarFrames) {
    std::mt19937 random(9);
    // "CLJR": 5-bit luma scaled by 8, 6-bit chroma by 4; a width of 6 clips the second group.
    {
        std::vector<uint8_t> dib = Header(6, 2, 8, Code("CLJR"), 16);
        for (size_t i = 40; i < dib.size(); ++i)
            dib[i] = static_cast<uint8_t>(random());
        TVLBitmap image;
        ASSERT_EQ(Convert(dib, image), 8);
        for (int r = 0; r < 2; ++r)
            for (int x = 0; x < 6; ++x) {
                const uint32_t word = U32(dib, 40 + 8 * r + 4 * (x / 4));
                const int i = x % 4;
                ASSERT_EQ(image.GetPixelAsRGB(x, r),
                          Formula(((word >> (12 + 5 * i)) & 31) * 8, ((word >> 6) & 63) * 4,
                                  (word & 63) * 4))
                    << x << "," << r;
            }
    }
    struct TPlanar {
        const char* FourCC;
        int Step;
        bool VFirst;
    };
    for (const TPlanar& p : {TPlanar{"YV12", 2, true}, TPlanar{"I420", 2, false},
                             TPlanar{"IYUV", 2, false}, TPlanar{"YVU9", 4, true}})
        for (int w : {p.Step * 2, p.Step * 2 + 1})
            for (int h : {p.Step, p.Step * 2 + 1}) {
                SCOPED_TRACE(std::string(p.FourCC) + " " + std::to_string(w) + "x" +
                             std::to_string(h));
                const int cw = (w + p.Step - 1) / p.Step, ch = (h + p.Step - 1) / p.Step;
                std::vector<uint8_t> dib =
                    Header(w, h, 12, Code(p.FourCC), static_cast<size_t>(w * h + 2 * cw * ch));
                for (size_t i = 40; i < dib.size(); ++i)
                    dib[i] = static_cast<uint8_t>(random());
                TVLBitmap image;
                ASSERT_EQ(Convert(dib, image), 12);
                const uint8_t* luma = dib.data() + 40;
                const uint8_t* first = luma + w * h;
                const uint8_t* second = first + cw * ch;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int k = (y / p.Step) * cw + x / p.Step;
                        const int u = (p.VFirst ? second : first)[k];
                        const int v = (p.VFirst ? first : second)[k];
                        ASSERT_EQ(image.GetPixelAsRGB(x, y), Formula(luma[y * w + x], u, v))
                            << x << "," << y;
                    }
            }
}

TEST(DrawDIBToDibbitmap, DrawsUncompressedAndYUVFrames) {
    std::vector<uint8_t> dib = Header(3, 2, 24, BI_RGB, 24);
    for (size_t i = 40; i < dib.size(); ++i)
        dib[i] = static_cast<uint8_t>(i * 5);
    TVLDibbitmap dest;
    ASSERT_EQ(DrawDIBToDibbitmap(dib.data(), dest, nullptr, true, dib.size()), 24);
    TVLBitmap reference;
    ASSERT_EQ(Convert(dib, reference), 24);
    for (int32_t y = 0; y < 2; ++y)
        EXPECT_EQ(std::memcmp(dest.GetScanline(y), reference.GetScanline(y), 9), 0) << y;
    std::vector<uint8_t> frame = Header(3, 2, 16, Code("UYVY"), 16);
    for (size_t i = 40; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 13);
    ASSERT_EQ(DrawDIBToDibbitmap(frame.data(), dest, nullptr, true, frame.size()), 16);
    ASSERT_EQ(Convert(frame, reference), 16);
    for (int32_t y = 0; y < 2; ++y)
        EXPECT_EQ(std::memcmp(dest.GetScanline(y), reference.GetScanline(y), 9), 0) << y;
    EXPECT_EQ(DrawDIBToDibbitmap(frame.data(), dest, nullptr, true, frame.size() - 1), 0);
}

TEST(CopyDIBToBitmap, FuzzedHeadersAndShortBlocks) {
    const uint32_t compressions[] = {
        BI_RGB,       BI_BITFIELDS, 1,           2, Code("YUY2"), Code("Y41P"), Code("CLJR"),
        Code("YV12"), Code("YVU9"), Code("IYU2")};
    const int32_t sizes[] = {0, 1, 2, 3, 7, 9, -1, -3, 1000, INT_MAX, INT_MIN, 65537};
    const uint16_t bits[] = {0, 1, 4, 8, 12, 16, 24, 32, 64};
    std::mt19937 random(21);
    auto pick = [&](const auto& Values) { return Values[random() % std::size(Values)]; };
    std::vector<uint8_t> sample = Header(5, 3, 8, BI_RGB, 1024 + 24);
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> dib = Header(pick(sizes), pick(sizes), pick(bits), pick(compressions),
                                          random() % 200, random() % 3 == 0 ? random() % 600 : 0);
        const uint32_t biSizes[] = {40, 12, 52, 108, 124, 0xFFFFFFFF, 41};
        PutU32(dib, 0, pick(biSizes));
        for (size_t k = 40; k < dib.size(); ++k)
            dib[k] = static_cast<uint8_t>(random());
        RunFuzzBuffer(
            [](const uint8_t* Data, int32_t Length) {
                TVLBitmap image;
                const int32_t result =
                    CopyDIBToBitmap(Data, image, nullptr, true, static_cast<size_t>(Length));
                if (result != 0) {
                    ASSERT_GT(image.GetWidth(), 0);
                    ASSERT_GT(image.GetHeight(), 0);
                }
                std::vector<uint8_t> bits(static_cast<size_t>(Length) / 2 + 1, 0x55);
                auto block = std::make_unique<uint8_t[]>(bits.size());
                std::memcpy(block.get(), bits.data(), bits.size());
                CopyDIBToBitmap(Data, image, block.get(), true, static_cast<size_t>(Length),
                                bits.size());
            },
            dib.data(), dib.size());
    }
    FuzzParser(sample, [](const uint8_t* Data, int32_t Length) {
        TVLBitmap image;
        CopyDIBToBitmap(Data, image, nullptr, true, static_cast<size_t>(Length));
    });
}
