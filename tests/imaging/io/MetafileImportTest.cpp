// Metafile import through the player (shapes at the pixels their records name, the three
// encodings of a scene alike, map modes, the size rules, the transparent background, damaged
// files) and the source-text export (the four kinds read back by independent readers).
#include "imaging/core/VLDefs.h"
#include "imaging/core/VLStreams.h"
#include "imaging/io/VistrelIOUnit.h"
#include "platform/gfx/Metafile.h"
#include "tests/imaging/core/FuzzBuffers.h"
#include "tests/imaging/io/IOComponentSupport.h"

#include <cstdio>
#include <sstream>

namespace {

using enum TVLPixelFormat;
namespace fs = std::filesystem;

// The fixtures of make_metafiles.py, written once per test program.
class TMetafileFixtures {
public:
    TMetafileFixtures() : FDir(UniqueTempPath("metafiles")) {
        std::string output;
        FMade = RunTool("/usr/bin/python3 '" SV_TESTS_DIR "/imaging/io/make_metafiles.py' '" +
                            FDir.string() + "'",
                        output);
    }
    ~TMetafileFixtures() { fs::remove_all(FDir); }
    TMetafileFixtures(const TMetafileFixtures&) = delete;
    TMetafileFixtures& operator=(const TMetafileFixtures&) = delete;
    bool Made() const { return FMade; }
    std::string File(const std::string& Name) const { return (FDir / Name).string(); }

private:
    fs::path FDir;
    bool FMade = false;
};

const TMetafileFixtures& Fixtures() {
    static const TMetafileFixtures fixtures;
    return fixtures;
}

const char* const Encodings[] = {".pwmf.wmf", ".plain.wmf", ".emf"};

class MetafileImport : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeVistrelIOUnit();
        if (!Fixtures().Made()) SV_SKIP_WITHOUT_REFERENCE("python3 could not write the fixtures");
    }
    void TearDown() override { FinalizeVistrelIOUnit(); }

    // Imports a scene at its natural size over Background.
    void Import(const std::string& File, TColor Background = 0x404040, bool Alpha = false) {
        IO.IO.SetBackground(Background);
        IO.IO.ImportMetafile(Wide(Fixtures().File(File)), -1, -1, Alpha);
    }
    uint32_t At(int32_t X, int32_t Y) {
        const TVLRGB c = IO.Bitmap().GetPixelAsRGB(X, Y);
        return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
    }
    TCountingIO IO;
};

constexpr uint32_t Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF, Yellow = 0xFFFF00, Black = 0,
                   White = 0xFFFFFF, Magenta = 0xFF00FF, Cyan = 0x00FFFF, Back = 0x404040;

struct TProbe {
    int32_t X, Y;
    uint32_t Rgb;
    const char* What;
};

// Points inside shapes (exact) and one pixel either side of their edges, as the records of the
// 'shapes' scene put them.
const TProbe ShapeProbes[] = {
    {70, 60, Red, "rectangle interior"},
    {20, 20, Black, "rectangle's top-left outline pixel"},
    {119, 99, Black, "rectangle's last outline pixel (right and bottom excluded)"},
    {120, 100, Back, "right of and below the rectangle"},
    {210, 60, Blue, "ellipse centre"},
    {151, 21, Back, "outside the ellipse in its box corner"},
    {340, 30, Green, "star tip, alternate"},
    {340, 72, Back, "star centre under alternate filling"},
    {440, 72, Green, "star centre under winding filling"},
    {540, 60, Yellow, "rounded rectangle interior"},
    {501, 21, Back, "cut corner of the rounded rectangle"},
    {21, 130, Blue, "dash"},
    {40, 130, White, "dash gap in the opaque background colour"},
    {300, 157, Red, "wide pen above the line"},
    {300, 164, Red, "wide pen below the line"},
    {300, 166, Back, "past the wide pen"},
    {36, 200, Blue, "hatch line"},
    {33, 201, Back, "hatch gap over a transparent background"},
    {170, 210, Red, "24-bit DIB top left"},
    {210, 210, Green, "24-bit DIB top right"},
    {170, 250, Blue, "24-bit DIB bottom left"},
    {210, 250, Yellow, "24-bit DIB bottom right"},
    {270, 210, Magenta, "8-bit DIB top left"},
    {310, 210, Cyan, "8-bit DIB top right"},
    {270, 250, Black, "8-bit DIB bottom left"},
    {310, 250, White, "8-bit DIB bottom right"},
    {360, 200, Green, "inside the clip rectangle"},
    {400, 240, Back, "in the excluded rectangle"},
    {340, 200, Back, "left of the clip rectangle"},
    {460, 200, Back, "right of the clip rectangle"},
    {510, 200, Blue, "drawn after both states were restored"},
    {30, 330, Blue, "poly-polygon ring"},
    {70, 355, Back, "poly-polygon hole"},
};

TEST_F(MetafileImport, ShapesLandOnThePixelsTheirRecordsName) {
    for (const char* encoding : Encodings) {
        SCOPED_TRACE(encoding);
        Import(std::string("shapes") + encoding);
        ASSERT_FALSE(IO.IO.AbortingFlag);
        ASSERT_EQ(IO.Bitmap().GetWidth(), 600);
        ASSERT_EQ(IO.Bitmap().GetHeight(), 400);
        EXPECT_EQ(IO.Bitmap().GetPixelFormat(), vl24RGB);
        for (const TProbe& probe : ShapeProbes)
            EXPECT_EQ(At(probe.X, probe.Y), probe.Rgb)
                << probe.What << " at " << probe.X << "," << probe.Y;
        // The text line marks pixels near its corner and none far right of it.
        int32_t marked = 0, stray = 0;
        for (int32_t y = 325; y < 360; ++y)
            for (int32_t x = 145; x < 300; ++x)
                (x < 240 ? marked : stray) += At(x, y) != Back ? 1 : 0;
        EXPECT_GT(marked, 20);
        EXPECT_EQ(stray, 0);
        EXPECT_EQ(IO.IO.IOParams().FileType, std::string(encoding) == ".emf" ? ffEMF : ffWMF);
    }
}

TEST_F(MetafileImport, TheThreeEncodingsOfAScenePaintAlike) {
    for (const char* scene : {"shapes", "anisotropic", "lometric", "wide"}) {
        SCOPED_TRACE(scene);
        Import(std::string(scene) + Encodings[0]);
        const TBytes first = PixelsRGBA(IO.Bitmap());
        for (const char* encoding : {Encodings[1], Encodings[2]}) {
            Import(std::string(scene) + encoding);
            EXPECT_TRUE(PixelsRGBA(IO.Bitmap()) == first) << encoding;
        }
    }
}

TEST_F(MetafileImport, MapModesScaleAndFlipAsTheirUnitsSay) {
    for (const char* encoding : Encodings) {
        SCOPED_TRACE(encoding);
        // Two logical units a pixel: the rectangle (40, 40, 200, 120) covers (20, 20, 100, 60),
        // without its right column and bottom row as it has no pen.
        Import(std::string("anisotropic") + encoding);
        EXPECT_EQ(At(20, 20), Red);
        EXPECT_EQ(At(98, 58), Red);
        EXPECT_EQ(At(19, 20), Back);
        EXPECT_EQ(At(100, 40), Back);
        EXPECT_EQ(At(50, 60), Back);
        // Tenths of a millimetre upwards at 96 dots per inch: (12.7 mm, -12.7 mm) to
        // (38.1 mm, -25.4 mm) is (48, 48) to (144, 96).
        Import(std::string("lometric") + encoding);
        EXPECT_EQ(At(48, 48), Blue);
        EXPECT_EQ(At(142, 94), Blue);
        EXPECT_EQ(At(47, 60), Back);
        EXPECT_EQ(At(60, 47), Back);
        EXPECT_EQ(At(144, 60), Back);
    }
}

TEST_F(MetafileImport, SizeRulesFollowTheAspectAndTheLimit) {
    struct TCase {
        int32_t W, H, WantW, WantH;
    } cases[] = {
        {200, -1, 200, 50},     {-1, 50, 200, 50},      {-1, -1, 400, 100},
        {20000, 100, 8000, 40}, {100, 20000, 40, 8000}, {37, 23, 37, 23},
    };
    for (const char* encoding : Encodings)
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(encoding) + " " + std::to_string(c.W) + "x" +
                         std::to_string(c.H));
            IO.IO.ImportMetafile(Wide(Fixtures().File(std::string("wide") + encoding)), c.W, c.H,
                                 false);
            ASSERT_FALSE(IO.IO.AbortingFlag);
            EXPECT_EQ(IO.Bitmap().GetWidth(), c.WantW);
            EXPECT_EQ(IO.Bitmap().GetHeight(), c.WantH);
            EXPECT_EQ(IO.IO.IOParams().Width, c.WantW);
            EXPECT_EQ(IO.IO.IOParams().DpiX, DefaultDpiX);
            // The red left half stays the left half at every size.
            EXPECT_EQ(At(c.WantW / 4, c.WantH / 2), Red);
            EXPECT_EQ(IO.TakeFinishes(), 1);
        }
    // A size of 0 on either side does nothing and reports success.
    IO.Bitmap().Allocate(3, 3, vl8g);
    IO.IO.ImportMetafile(Wide(Fixtures().File("wide.emf")), 0, 10, false);
    EXPECT_FALSE(IO.IO.AbortingFlag);
    EXPECT_EQ(IO.Bitmap().GetWidth(), 3);
}

TEST_F(MetafileImport, APictureWithoutAreaAbortsInsteadOfDividingByZero) {
    TBytes bytes = ReadFileBytes(Fixtures().File("wide.pwmf.wmf"));
    // The placeable box's right edge onto its left one, and the checksum left as it is.
    bytes[10] = bytes[6];
    bytes[11] = bytes[7];
    TScratch dir;
    WriteBytes(dir.File("flat.wmf"), bytes);
    for (auto [w, h] : {std::pair{200, -1}, {-1, 50}, {-1, -1}}) {
        IO.IO.ImportMetafile(Wide(dir.File("flat.wmf")), w, h, false);
        EXPECT_TRUE(IO.IO.AbortingFlag) << w << "x" << h;
    }
}

TEST_F(MetafileImport, WithAlphaTheUntouchedBackgroundIsTransparent) {
    for (TColor background : {TColor(0), TColor(0xFFFFFF), TColor(0x010203)}) {
        Import("wide.emf", background, true);
        ASSERT_TRUE(IO.Bitmap().HasAlphaChannel());
        EXPECT_EQ(IO.Bitmap().GetAlphaPixel(50, 50), 255);
        EXPECT_EQ(IO.Bitmap().GetAlphaPixel(198, 98), 255);
        EXPECT_EQ(IO.Bitmap().GetAlphaPixel(199, 99), 0); // no pen: right column, bottom row left
        EXPECT_EQ(IO.Bitmap().GetAlphaPixel(200, 50), 0);
        EXPECT_EQ(IO.Bitmap().GetAlphaPixel(399, 0), 0);
        EXPECT_EQ(At(50, 50), Red);
    }
    Import("wide.emf", 0, false);
    EXPECT_FALSE(IO.Bitmap().HasAlphaChannel());
}

TEST_F(MetafileImport, AFileThatIsNoMetafileRaisesWithTheFlagSet) {
    TScratch dir;
    WriteBytes(dir.File("bad.wmf"), TBytes(64, 0x41));
    IO.IO.AbortingFlag = false;
    EXPECT_THROW(IO.IO.ImportMetafile(Wide(dir.File("bad.wmf")), -1, -1, true), Exception);
    EXPECT_TRUE(IO.IO.AbortingFlag);
    EXPECT_EQ(IO.TakeFinishes(), 1);
    EXPECT_THROW(IO.IO.ImportMetafile(Wide(dir.File("missing.emf")), -1, -1, true), Exception);
    EXPECT_TRUE(IO.IO.AbortingFlag);
}

TEST_F(MetafileImport, LoadByNameExtensionAndContentOpenMetafilesWithAlpha) {
    TScratch dir;
    fs::copy_file(Fixtures().File("wide.emf"), dir.File("no-extension"));
    const std::string byName = Fixtures().File("wide.pwmf.wmf");
    IO.IO.LoadFromFile(Wide(byName));
    EXPECT_FALSE(IO.IO.AbortingFlag);
    EXPECT_EQ(IO.Bitmap().GetWidth(), 400);
    EXPECT_EQ(IO.IO.IOParams().FileType, ffWMF);
    EXPECT_TRUE(IO.IO.IOParams().FileName == Wide(byName));
    EXPECT_EQ(IO.Bitmap().GetAlphaPixel(300, 50), 0);
    IO.IO.LoadFromFileAuto(Wide(dir.File("no-extension")));
    EXPECT_FALSE(IO.IO.AbortingFlag);
    EXPECT_EQ(IO.IO.IOParams().FileType, ffEMF);
    IO.IO.LoadFromFileFormat(Wide(dir.File("no-extension")), ffEMF);
    EXPECT_FALSE(IO.IO.AbortingFlag);
    EXPECT_EQ(IO.Bitmap().GetHeight(), 100);
}

// Another WMF renderer (libwmf's wmf2gd) agrees on the pixels away from edges, in scenes made of
// what it draws: outlined and hollow shapes, wide lines, holes, an anisotropic window. It stretches
// the drawing's bounding box over its output, so these scenes mark their picture's corners.
TEST_F(MetafileImport, WindowsMetafilesAgreeWithAnotherRenderer) {
    if (!ToolExists("wmf2gd")) SV_SKIP_WITHOUT_REFERENCE("wmf2gd (libwmf-bin)");
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    TScratch dir;
    // Pixels whose 5 x 5 neighbourhood is one colour in both pictures, and how many agree.
    const std::string compare =
        "import sys\nfrom PIL import Image\n"
        "a = Image.open(sys.argv[1]).convert('RGB')\n"
        "b = Image.open(sys.argv[2]).convert('RGBA')\n"
        "w = Image.new('RGBA', b.size, (255, 255, 255, 255)); w.alpha_composite(b)\n"
        "b = w.convert('RGB'); pa, pb = a.load(), b.load(); W, H = a.size\n"
        "def flat(p, x, y):\n"
        "    c = p[x, y]\n"
        "    return all(p[i, j] == c for i in range(max(0, x - 2), min(W, x + 3))\n"
        "               for j in range(max(0, y - 2), min(H, y + 3)))\n"
        "n = same = 0\n"
        "for y in range(H):\n"
        "    for x in range(W):\n"
        "        if flat(pa, x, y) and flat(pb, x, y):\n"
        "            n += 1; same += pa[x, y] == pb[x, y]\n"
        "print(n, same, b.size == a.size)\n";
    for (const char* scene : {"reference", "anisotropic", "wide"})
        for (const char* encoding : {".pwmf.wmf", ".plain.wmf"}) {
            SCOPED_TRACE(std::string(scene) + encoding);
            Import(std::string(scene) + encoding, 0xFFFFFF);
            const int32_t w = IO.Bitmap().GetWidth(), h = IO.Bitmap().GetHeight();
            IO.IO.SaveToFile(Wide(dir.File("ours.png")));
            std::string output;
            ASSERT_TRUE(RunTool("wmf2gd --maxwidth=" + std::to_string(w) +
                                    " --maxheight=" + std::to_string(h) + " --maxsize -t png -o '" +
                                    dir.File("theirs.png") + "' '" +
                                    Fixtures().File(std::string(scene) + encoding) + "'",
                                output));
            ASSERT_TRUE(dir.Python(
                compare, "'" + dir.File("ours.png") + "' '" + dir.File("theirs.png") + "'",
                output));
            std::istringstream in(output);
            int64_t counted = 0, agreeing = 0;
            std::string sameSize;
            in >> counted >> agreeing >> sameSize;
            EXPECT_EQ(sameSize, "True");
            EXPECT_GT(counted, int64_t{w} * h / 2);
            EXPECT_GE(agreeing * 100, counted * 99) << agreeing << " of " << counted;
        }
}

// Truncated and mutated metafiles through the graphic and the rendering: a partial picture or a
// refusal, never a fault.
TEST_F(MetafileImport, DamagedMetafilesDrawPartiallyOrNotAtAll) {
    for (const char* name : {"shapes.emf", "shapes.pwmf.wmf", "shapes.plain.wmf"}) {
        SCOPED_TRACE(name);
        FuzzParser(
            ReadFileBytes(Fixtures().File(name)),
            [&](const uint8_t* Data, int32_t Length) {
                TVLMemStream stream(const_cast<uint8_t*>(Data), Length);
                TMetafile metafile;
                try {
                    metafile.LoadFromStream(stream);
                } catch (const Exception&) {
                    return;
                }
                IO.IO.RenderMetafile(metafile, 60, 40, true);
            },
            600);
    }
}

// ---- Source text ----------------------------------------------------------------------------

class SourceText : public ::testing::Test {
protected:
    void SetUp() override { InitializeVistrelIOUnit(); }
    void TearDown() override { FinalizeVistrelIOUnit(); }
    // An encoded picture of exactly 100 bytes: a grey PGM of 11 x 8 after its 12-byte header.
    TBytes HundredBytes() {
        FillPicture(IO.Bitmap(), 11, 8, vl8g);
        TMemoryStream stream;
        IO.IO.SaveToStreamFormat(stream, ffPXM);
        return StreamBytes(stream);
    }
    std::vector<std::string> Lines(const std::string& File) {
        std::ifstream in(File);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    TCountingIO IO;
    TScratch Dir;
};

TEST_F(SourceText, PascalAndCLayoutsOfAHundredBytes) {
    const TBytes bytes = HundredBytes();
    ASSERT_EQ(bytes.size(), 100u);
    const std::string pascal = Dir.File("7-pic.test.pas");
    IO.IO.SaveToSourceText(Wide(pascal), ffPXM, 0);
    const auto p = Lines(pascal);
    ASSERT_EQ(p.size(), 9u);
    EXPECT_EQ(p[0], "const");
    EXPECT_EQ(p[1], "  _7_pic_test_pas_Size = 100;");
    EXPECT_EQ(p[2], "  _7_pic_test_pas : array [0.._7_pic_test_pas_Size-1] of byte = (");
    for (int i = 3; i < 8; ++i)
        EXPECT_EQ(p[i].size(), 4u + 18 * 4) << p[i];
    EXPECT_EQ(p[8].size(), 4u + 9 * 4 + 3 + 2);
    EXPECT_TRUE(IO.IO.IOParams().FileName == Wide(pascal));
    // A Pascal reader of our own gives the bytes back.
    std::string output;
    ASSERT_TRUE(
        Dir.Python("import re,sys\nt=open(sys.argv[1]).read().split('= (',1)[1]\n"
                   "print(bytes(int(h,16) for h in re.findall(r'\\$([0-9A-F]{2})',t)).hex())",
                   "'" + pascal + "'", output));
    EXPECT_EQ(output.substr(0, 200), [&] {
        std::string hex;
        char two[3];
        for (uint8_t b : bytes) {
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        return hex;
    }());

    const std::string c = Dir.File("pic.h");
    IO.IO.SaveToSourceText(Wide(c), ffPXM, 1);
    const auto l = Lines(c);
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[0], "// Size=100");
    for (int i = 1; i < 7; ++i)
        EXPECT_EQ(l[i].size(), 15u * 5) << l[i];
    EXPECT_EQ(l[7].size(), 9u * 5 + 4);
    // The list compiles inside an array and gives the bytes back.
    if (!ToolExists("cc")) SV_SKIP_WITHOUT_REFERENCE("cc");
    WriteFileBytes(Dir.File("main.c"),
                   "#include <stdio.h>\nstatic const unsigned char data[] = {\n"
                   "#include \"pic.h\"\n};\nint main(void) {\n"
                   "    fwrite(data, 1, sizeof data, stdout);\n    return 0;\n}\n");
    ASSERT_TRUE(RunTool("cc -o '" + Dir.File("main") + "' '" + Dir.File("main.c") + "'", output));
    ASSERT_TRUE(RunTool("'" + Dir.File("main") + "'", output));
    EXPECT_TRUE(TBytes(output.begin(), output.end()) == bytes);
}

TEST_F(SourceText, Base64MatchesTheBase64Tool) {
    FillNoise(IO.Bitmap(), 40, 30, 7);
    TMemoryStream stream;
    IO.IO.SaveToStreamFormat(stream, ffBMP);
    WriteBytes(Dir.File("pic.bmp"), StreamBytes(stream));
    const std::string text = Dir.File("pic.b64");
    IO.IO.SaveToSourceText(Wide(text), ffBMP, 2);
    std::string expected;
    ASSERT_TRUE(RunTool("base64 -w 76 '" + Dir.File("pic.bmp") + "'", expected));
    const TBytes written = ReadFileBytes(text);
    EXPECT_EQ(std::string(written.begin(), written.end()), expected);
}

TEST_F(SourceText, AsciiArtShadesFromDarkToLight) {
    ASSERT_TRUE(IO.Bitmap().Allocate(10, 2, vl24RGB));
    const uint8_t greys[10] = {0, 29, 57, 85, 114, 142, 170, 199, 227, 255};
    for (int32_t x = 0; x < 10; ++x) {
        std::fill_n(IO.Bitmap().GetScanline(0) + 3 * x, 3, greys[x]);
        // Pure white and pure black on the second row.
        std::fill_n(IO.Bitmap().GetScanline(1) + 3 * x, 3, x < 5 ? 255 : 0);
    }
    const std::string art = Dir.File("art.txt");
    IO.IO.SaveToSourceText(Wide(art), 0, 3);
    const auto lines = Lines(art);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "W@#*+:.,  ");
    EXPECT_EQ(lines[1], "     WWWWW");
}

TEST_F(SourceText, AFailedExportLeavesTheTargetAsItWas) {
    const std::string target = Dir.File("keep.txt");
    WriteFileBytes(target, "old");
    // No 24-bit picture for the ASCII art, and an encoding that fails.
    ASSERT_TRUE(IO.Bitmap().Allocate(4, 4, vl8g));
    IO.IO.SaveToSourceText(Wide(target), 0, 3);
    EXPECT_TRUE(ReadFileBytes(target) == (TBytes{'o', 'l', 'd'}));
    IO.Bitmap().FreeImage(true);
    IO.IO.SaveToSourceText(Wide(target), ffBMP, 0);
    EXPECT_TRUE(ReadFileBytes(target) == (TBytes{'o', 'l', 'd'}));
    EXPECT_THROW(IO.IO.SaveToSourceText(Wide(Dir.File("no/such/folder/x.txt")), ffBMP, 0),
                 Exception);
}

} // namespace
