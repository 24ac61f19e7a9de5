// TBitmap32's exchange with the class library's graphics: the "Data" payload, BMP streams against
// ImageMagick, assignment from bitmaps and drawn graphics, PNG loading against Pillow and
// ImageMagick on PngSuite, and the clipboard.
#include "RasterTesting.h"

#include "raster/RasterPNG.h"
#include "raster/RasterResamplers.h"

#include "platform/gfx/Picture.h"
#include "platform/gfx/PngImage.h"
#include "platform/ui/Clipbrd.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace raster;

namespace {

using Convert = RasterTest;

const std::filesystem::path PngSuite = std::filesystem::path(SV_TESTDATA_DIR) / "pngsuite";

String ToString(const std::string& S) {
    return String(S.begin(), S.end());
}

void FillRandom(TBitmap32& B, int W, int H, uint32_t Seed, bool Opaque) {
    B.SetSize(W, H);
    std::mt19937 random(Seed);
    for (int i = 0; i < W * H; ++i)
        B.Bits()[i] = Opaque ? 0xFF000000u | (random() & 0xFFFFFF) : random();
}

TMemoryStream StreamOf(const std::vector<uint8_t>& Bytes) {
    TMemoryStream stream;
    if (!Bytes.empty()) stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    stream.SetPosition(0);
    return stream;
}

std::vector<uint8_t> BytesOf(TMemoryStream& Stream) {
    const auto* p = static_cast<const uint8_t*>(Stream.Memory());
    return {p, p + Stream.GetSize()};
}

TEST_F(Convert, DataPayloadRoundTrip) {
    TBitmap32 strip, back;
    FillRandom(strip, 48, 16, 1, false);
    TMemoryStream stream;
    strip.WriteData(stream);
    const std::vector<uint8_t> bytes = BytesOf(stream);
    ASSERT_EQ(bytes.size(), 3080u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{0x30, 0, 0, 0, 0x10, 0, 0, 0}));
    EXPECT_EQ(std::memcmp(bytes.data() + 8, strip.Bits(), 3072), 0);
    stream.SetPosition(0);
    back.ReadData(stream);
    EXPECT_TRUE(back.Equal(strip));
    EXPECT_TRUE(strip.Equal(back));
}

TEST_F(Convert, DataPayloadsThatLieAboutTheirSize) {
    auto payload = [](int32_t W, int32_t H, size_t PixelBytes) {
        std::vector<uint8_t> b(8 + PixelBytes, 0x5A);
        std::memcpy(b.data(), &W, 4);
        std::memcpy(b.data() + 4, &H, 4);
        return b;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        bool Refused;
        int W, H;
    } cases[] = {
        {"one pixel short", payload(48, 16, 3071), true, 0, 0},
        {"huge size, few bytes", payload(0x7FFFFFFF, 0x7FFFFFFF, 16), true, 0, 0},
        {"wrapping 32-bit product", payload(0x10000, 0x10001, 16), true, 0, 0},
        {"header cut", {0x30, 0, 0}, true, 0, 0},
        {"width 0", payload(0, 5, 0), false, 0, 5},
        {"negative height", payload(4, -3, 0), false, 4, 0},
        {"exact", payload(2, 3, 24), false, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap32 b;
        b.SetSize(7, 7);
        int notices = 0;
        b.OnChange = [&](TObject*) { ++notices; };
        TMemoryStream stream = StreamOf(c.Bytes);
        if (c.Refused) {
            EXPECT_THROW(b.ReadData(stream), EReadError);
            EXPECT_EQ(b.Width(), 7) << "refused before anything was allocated";
        } else {
            b.ReadData(stream);
            EXPECT_EQ(b.Width(), c.W);
            EXPECT_EQ(b.Height(), c.H);
            EXPECT_EQ(b.Empty(), c.W == 0 || c.H == 0);
            EXPECT_EQ(stream.GetPosition(), int64_t(c.Bytes.size()));
        }
        EXPECT_GE(notices, 1);
    }
}

TEST_F(Convert, EqualComparesEmptinessAndPixels) {
    TBitmap32 a, b;
    EXPECT_TRUE(a.Equal(b));
    FillRandom(b, 3, 3, 2, true);
    EXPECT_FALSE(a.Equal(b));
    EXPECT_FALSE(b.Equal(a));
    FillRandom(a, 3, 3, 2, true);
    EXPECT_TRUE(a.Equal(b));
    a.Bits()[4] ^= 0x01000000; // the alpha byte alone
    EXPECT_FALSE(a.Equal(b));
}

TEST_F(Convert, StreamsAre32BitBmpsWithAlpha) {
    TBitmap32 b, back;
    FillRandom(b, 13, 7, 3, false);
    TMemoryStream stream;
    b.SaveToStream(stream);
    const std::vector<uint8_t> bytes = BytesOf(stream);
    ASSERT_EQ(bytes.size(), 54u + 13 * 7 * 4);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 32); // bits per pixel
    stream.SetPosition(0);
    back.LoadFromStream(stream);
    ASSERT_EQ(back.Width(), 13);
    for (int i = 0; i < 13 * 7; ++i)
        ASSERT_EQ(back.Bits()[i], b.Bits()[i]) << i;

    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    b.SaveToFile(ToString(folder.File("ours.bmp")));
    std::string output;
    ASSERT_TRUE(folder.Run("convert " + folder.File("ours.bmp") +
                               " -alpha off -depth 8 RGB:" + folder.File("ours.rgb"),
                           output));
    const std::vector<uint8_t> rgb = folder.Read("ours.rgb");
    ASSERT_EQ(rgb.size(), 13u * 7 * 3);
    for (int i = 0; i < 13 * 7; ++i) {
        const TColor32 c = b.Bits()[i];
        ASSERT_EQ(rgb[i * 3], (c >> 16) & 0xFF) << i;
        ASSERT_EQ(rgb[i * 3 + 1], (c >> 8) & 0xFF) << i;
        ASSERT_EQ(rgb[i * 3 + 2], c & 0xFF) << i;
    }
}

TEST_F(Convert, BmpFilesOfImageMagickLoadThroughThePicture) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    TBitmap32 photo;
    FillRandom(photo, 19, 11, 4, true);
    WriteFileBytes(folder.File("in.ppm"), Ppm(photo));
    const char* variants[][2] = {
        {"24-bit", "-type TrueColor BMP3:"},
        {"8-bit palette", "-colors 200 -type Palette -compress None BMP3:"},
        {"4-bit palette", "-colors 12 -type Palette -compress None BMP3:"},
        {"1-bit", "-monochrome BMP3:"},
        {"bit fields with alpha",
         "-alpha set -channel A -fx 'i/w' +channel -type TrueColorAlpha BMP:"},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v[0]);
        std::string output;
        const std::string file = folder.File(std::string(v[0]).substr(0, 2) + ".bmp");
        ASSERT_TRUE(folder.Run("convert " + folder.File("in.ppm") + " " + v[1] + file, output));
        ASSERT_TRUE(
            folder.Run("convert " + file + " -depth 8 RGBA:" + folder.File("ref.rgba"), output));
        const std::vector<uint8_t> rgba = folder.Read("ref.rgba");
        TBitmap32 b;
        b.SetDrawMode(dmTransparent);
        b.LoadFromFile(ToString(file));
        EXPECT_EQ(b.DrawMode(), dmTransparent) << "the picture path keeps the properties";
        ASSERT_EQ(b.Width(), 19);
        ASSERT_EQ(b.Height(), 11);
        ASSERT_EQ(rgba.size(), 19u * 11 * 4);
        for (int i = 0; i < 19 * 11; ++i) {
            const TColor32 c = b.Bits()[i];
            const TColor32 expected = uint32_t(rgba[i * 4 + 3]) << 24 | rgba[i * 4] << 16 |
                                      rgba[i * 4 + 1] << 8 | rgba[i * 4 + 2];
            ASSERT_EQ(c, expected) << i;
        }
    }
}

TEST_F(Convert, AssignFromBitmapsByPixelFormatAndTransparency) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(4, 2);
    auto* row = static_cast<uint8_t*>(bmp.ScanLine(0));
    row[0] = 10, row[1] = 20, row[2] = 30;
    TBitmap32 b;
    b.Assign(&bmp);
    EXPECT_EQ(b.GetPixel(0, 0), 0xFF1E140Au);
    EXPECT_EQ(b.GetPixel(3, 1), 0xFF000000u);

    bmp.SetPixelFormat(pf32bit);
    static_cast<uint8_t*>(bmp.ScanLine(0))[3] = 0x44;
    b.Assign(&bmp);
    EXPECT_EQ(b.GetPixel(0, 0), 0x441E140Au) << "a 32-bit bitmap keeps its fourth bytes";
    EXPECT_EQ(b.GetPixel(1, 0), 0x00000000u);

    bmp.SetPixelFormat(pf24bit);
    bmp.SetTransparentColor(RGB(30, 20, 10));
    bmp.SetTransparent(true);
    b.Assign(&bmp);
    EXPECT_EQ(b.GetPixel(0, 0), 0x001E140Au) << "the key colour loses its alpha";
    EXPECT_EQ(b.GetPixel(1, 0), 0xFF000000u);

    TBitmap back;
    b.AssignTo(&back);
    EXPECT_EQ(back.PixelFormat(), pf32bit);
    EXPECT_EQ(static_cast<uint32_t*>(back.ScanLine(0))[0], 0x001E140Au);
    EXPECT_THROW(b.AssignTo(nullptr), Exception);
}

// A graphic that paints a blue rectangle over part of its area and leaves the rest alone.
class TPaintedGraphic : public TGraphic {
public:
    int32_t Width() const override { return 6; }
    int32_t Height() const override { return 4; }
    void Draw(TCanvas& ACanvas, const TRect& Rect) override {
        ACanvas.Brush()->SetColor(RGB(0, 0, 200));
        ACanvas.FillRect(MakeRect(Rect.Left + 1, Rect.Top + 1, Rect.Left + 4, Rect.Top + 3));
    }
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
};

TEST_F(Convert, GraphicsInAPictureKeepAlphaWhereTheyPaint) {
    TPicture picture;
    picture.SetGraphic(std::make_unique<TPaintedGraphic>());
    TBitmap32 b;
    b.Assign(&picture);
    ASSERT_EQ(b.Width(), 6);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool painted = x >= 1 && x < 4 && y >= 1 && y < 3;
            ASSERT_EQ(b.GetPixel(x, y), painted ? 0xFF0000C8u : 0x00FFFFFFu) << x << "," << y;
        }
    // The same graphic on its own arrives opaque.
    TPaintedGraphic alone;
    b.Assign(&alone);
    EXPECT_EQ(AlphaComponent(b.GetPixel(0, 0)), 255);
    TFont unsupported;
    EXPECT_THROW(b.Assign(&unsupported), Exception);
}

// PngSuite through LoadFromFile: 8-bit files equal to Pillow's convert("RGBA"), 16-bit ones
// within 1 of ImageMagick's 8-bit reduction, damaged ones a clean error. Pillow keeps the tRNS
// key of a grey image below 8 bits unscaled (15 for 4 bits) and so never matches it: those files
// are compared with ImageMagick, exactly. ImageMagick reads the pixels as sRGB ("-set
// colorspace"), so that a gAMA chunk does not convert them.
class PngSuiteLoad : public Convert {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(PngSuite)) GTEST_SKIP() << "no PngSuite at " << PngSuite;
    }
    static std::vector<std::string> Files(bool Damaged) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(PngSuite)) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".png" && (name[0] == 'x') == Damaged)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PngSuiteLoad, EveryFileEqualsItsReference) {
    if (!PythonHas("PIL")) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    const std::string script = R"(import sys
from PIL import Image
src, out = sys.argv[1], sys.argv[2]
for name in sys.argv[3:]:
    with Image.open(src + '/' + name) as im:
        open(out + '/' + name + '.rgba', 'wb').write(im.convert('RGBA').tobytes())
)";
    std::vector<std::string> eight, sixteen, greyKeys;
    for (const std::string& name : Files(false)) {
        if (name.find("16") != std::string::npos)
            sixteen.push_back(name);
        else if (name == "tbbn0g04.png")
            greyKeys.push_back(name);
        else
            eight.push_back(name);
    }
    std::string arguments = PngSuite.string() + " " + folder.Path().string();
    for (const std::string& name : eight)
        arguments += " " + name;
    std::string output;
    ASSERT_TRUE(RunPython(script, arguments, output)) << output;
    for (const auto* list : {&sixteen, &greyKeys})
        for (const std::string& name : *list)
            ASSERT_TRUE(
                folder.Run("convert " + (PngSuite / name).string() +
                               " -set colorspace sRGB -depth 8 RGBA:" + folder.File(name + ".rgba"),
                           output));
    eight.insert(eight.end(), greyKeys.begin(), greyKeys.end());
    for (const bool wide : {false, true})
        for (const std::string& name : wide ? sixteen : eight) {
            SCOPED_TRACE(name);
            TBitmap32 b;
            b.LoadFromFile(ToString((PngSuite / name).string()));
            const std::vector<uint8_t> rgba = folder.Read(name + ".rgba");
            ASSERT_EQ(rgba.size(), size_t(b.Width()) * b.Height() * 4);
            EXPECT_EQ(b.DrawMode(), dmBlend);
            int worst = 0;
            for (int i = 0; i < b.Width() * b.Height(); ++i) {
                const TColor32 c = b.Bits()[i];
                const int ours[4] = {int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF,
                                     int(c >> 24)};
                for (int k = 0; k < 4; ++k)
                    worst = std::max(worst, std::abs(ours[k] - rgba[i * 4 + k]));
            }
            EXPECT_LE(worst, wide ? 1 : 0);
        }
}

TEST_F(PngSuiteLoad, DamagedFilesRaiseAndLeaveTheBitmap) {
    for (const std::string& name : Files(true)) {
        SCOPED_TRACE(name);
        TBitmap32 b;
        b.SetSize(3, 3);
        bool alpha = true;
        EXPECT_THROW(LoadPNGintoBitmap32(b, ToString((PngSuite / name).string()), alpha),
                     EInvalidGraphic);
        EXPECT_EQ(b.Width(), 3);
    }
}

TEST_F(PngSuiteLoad, TransparencyFlagAndModes) {
    struct Case {
        const char* Name;
        TPNGTransparencyMode Mode;
    } cases[] = {{"basn2c08.png", ptmNone},    {"tbbn3p08.png", ptmBit},
                 {"tp1n3p08.png", ptmBit},     {"tbrn2c08.png", ptmBit},
                 {"tm3n3p02.png", ptmPartial}, {"basn6a08.png", ptmPartial},
                 {"basn4a08.png", ptmPartial}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPngImage png;
        png.LoadFromFile(ToString((PngSuite / c.Name).string()));
        EXPECT_EQ(png.TransparencyMode(), c.Mode);
        TBitmap32 b;
        bool alpha = c.Mode == ptmNone; // the opposite of what must come out
        LoadPNGintoBitmap32(b, ToString((PngSuite / c.Name).string()), alpha);
        EXPECT_EQ(alpha, c.Mode != ptmNone);
        if (c.Mode == ptmBit) {
            // Alpha 0 exactly on the pixels of the transparent colour.
            const TColor32 key = Color32(png.TransparentColor()) & 0xFFFFFF;
            for (int i = 0; i < b.Width() * b.Height(); ++i)
                ASSERT_EQ(b.Bits()[i] >> 24, (b.Bits()[i] & 0xFFFFFF) == key ? 0u : 255u) << i;
        }
    }
}

TEST_F(Convert, PngPathByExtensionTakesTheLoadedProperties) {
    TBitmap32 source;
    FillRandom(source, 5, 4, 7, false);
    TPngImage png;
    png.SetPixels(5, 4, source.Bits());
    ScratchFolder folder;
    png.SaveToFile(ToString(folder.File("mixed.Png")));
    TBitmap32 b;
    b.SetResamplerClassName(u"TKernelResampler");
    b.SetMasterAlpha(7);
    b.LoadFromFile(ToString(folder.File("mixed.Png")));
    EXPECT_EQ(b.DrawMode(), dmBlend);
    EXPECT_EQ(b.MasterAlpha(), 255u);
    EXPECT_EQ(b.ResamplerClassName(), u"TNearestResampler");
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(b.Bits()[i], source.Bits()[i]) << "straight colour and alpha, " << i;

    if (!PythonHas("PIL")) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    std::string output;
    ASSERT_TRUE(
        RunPython("import sys\nfrom PIL import Image\n"
                  "sys.stdout.write(Image.open(sys.argv[1]).convert('RGBA').tobytes().hex())",
                  folder.File("mixed.Png"), output));
    for (int i = 0; i < 20; ++i) {
        const TColor32 c = source.Bits()[i];
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", (c >> 16) & 0xFF, (c >> 8) & 0xFF,
                      c & 0xFF, c >> 24);
        ASSERT_EQ(output.substr(i * 8, 8), hex) << "our PNG writer, read by Pillow, " << i;
    }
}

TEST_F(Convert, ClipboardRoundTrip) {
    TBitmap32 b, back;
    FillRandom(b, 9, 5, 8, true);
    b.AssignTo(Clipboard());
    back.Assign(Clipboard());
    ASSERT_EQ(back.Width(), 9);
    ASSERT_EQ(back.Height(), 5);
    for (int i = 0; i < 45; ++i)
        ASSERT_EQ(back.Bits()[i], b.Bits()[i]) << i;
}

} // namespace
