// The GIF codec against ImageMagick and Pillow: the frames of animations ImageMagick writes
// (sizes, places, local tables, transparency, interlacing, comments) read as ImageMagick reads
// them, composed frames as it coalesces them; our files decode in ImageMagick and Pillow to our
// indexes, palette, transparent index and comments; damaged files never crash.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/VLGif.h"
#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VistrelIO.h"
#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

struct TFrameRead {
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TVLMask> Alpha;
    int32_t Frames = 0;
    bool Aborted = false;
};

void ReadFrame(const TBytes& File, int32_t Index, TFrameRead& Out, bool Native = false,
               bool ParamsOnly = false, bool IgnoreAlpha = false) {
    TMemoryStream stream;
    if (!File.empty()) stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    stream.SetPosition(0);
    Out.Params.GifLZWDecompress = GifLZWDecode;
    Out.Params.NativePixelFormat = Native;
    Out.Params.GifImageIndex = Index;
    TVLProgressRecord progress;
    progress.AbortFlag = &Out.Aborted;
    ReadGIFStream(stream, Out.Bitmap, Out.Frames, Out.Params, progress, ParamsOnly, Out.Alpha,
                  IgnoreAlpha);
}

TBytes Write(TVLBitmap& Bitmap, TIOParamsVals& Params, bool* Aborted = nullptr) {
    TMemoryStream stream;
    Params.GifLZWCompress = GifLZWEncode;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    WriteGIFStream(stream, Bitmap, Params, progress);
    if (Aborted != nullptr) *Aborted = aborted;
    const auto* m = static_cast<const uint8_t*>(stream.Memory());
    return TBytes(m, m + stream.GetSize());
}

// ImageMagick's RGBA of a picture (a frame or the output of options).
TBytes ImageMagickRGBA(const std::string& Source) {
    std::string out;
    RunTool("convert " + Source + " -depth 8 rgba:-", out);
    return TBytes(out.begin(), out.end());
}

class GifReference : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolExists("convert") || !ToolExists("identify"))
            SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert and identify");
    }
    // An animation of four frames: a full 50-colour first frame with a comment, a smaller one
    // placed inside with background disposal, a transparent one, one with "previous" disposal;
    // interlaced rows.
    void MakeAnimation() {
        std::string out;
        RunTool("convert -comment 'first line' -dispose none -delay 10 -size 40x30 "
                "gradient:yellow-blue -colors 50 -repage 40x30+0+0 "
                "\\( -dispose background -delay 20 -size 15x12 gradient:red-green -repage +5+7 \\) "
                "\\( -dispose none -delay 30 -size 12x9 xc:white -fill blue -draw 'rectangle 2,2 "
                "8,6' -transparent white -repage +20+3 \\) "
                "\\( -dispose previous -delay 5 -size 9x5 xc:orange -repage +1+1 \\) "
                "-interlace Line '" +
                    File("anim.gif") + "'",
                out);
    }
    std::string File(const std::string& Name) const { return FScratch.File(Name); }
    ScratchFolder FScratch;
};

int32_t DisposalOfName(const std::string& Name) {
    return Name == "None" ? 1 : Name == "Background" ? 2 : Name == "Previous" ? 3 : 0;
}

TEST_F(GifReference, EveryFrameReadsAsImageMagickReadsIt) {
    MakeAnimation();
    const TBytes file = FScratch.Read("anim.gif");
    ASSERT_GT(file.size(), 100u);
    std::string listing;
    ASSERT_TRUE(
        RunTool("identify -format '%w %h %X %Y %T %D\\n' '" + File("anim.gif") + "'", listing));
    std::istringstream lines(listing);
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        int32_t w = 0, h = 0, x = 0, y = 0, delay = 0;
        std::string disposal;
        char sign = 0;
        lines >> w >> h >> sign >> x >> sign >> y >> delay >> disposal;
        TFrameRead ours;
        ReadFrame(file, k, ours);
        EXPECT_FALSE(ours.Aborted);
        EXPECT_EQ(ours.Frames, 4);
        EXPECT_EQ(ours.Params.ImageCount, 4);
        EXPECT_EQ(ours.Params.Width, w);
        EXPECT_EQ(ours.Params.Height, h);
        EXPECT_EQ(ours.Params.GifXPos, x);
        EXPECT_EQ(ours.Params.GifYPos, y);
        EXPECT_EQ(ours.Params.GifDelayTime, delay);
        EXPECT_EQ(ours.Params.GifDisposal, DisposalOfName(disposal));
        EXPECT_TRUE(ours.Params.GifInterlaced);
        // ImageMagick repeats the comment in every frame; all of them are read.
        ASSERT_EQ(ours.Params.GifComments.Count(), 4);
        EXPECT_EQ(ours.Params.GifComments[3], u"first line");
        const TBytes ref =
            ImageMagickRGBA("'" + File("anim.gif") + "[" + std::to_string(k) + "]' +repage");
        ASSERT_EQ(ref.size(), static_cast<size_t>(w) * h * 4);
        ASSERT_EQ(ours.Bitmap.GetWidth(), w);
        int32_t wrong = 0, transparent = 0;
        for (int32_t py = 0; py < h; ++py)
            for (int32_t px = 0; px < w; ++px) {
                const uint8_t* r = &ref[(static_cast<size_t>(py) * w + px) * 4];
                const int32_t alpha = ours.Alpha != nullptr ? ours.Alpha->GetPixel(px, py) : 255;
                transparent += alpha == 0;
                if (alpha != r[3]) ++wrong;
                if (r[3] == 0) continue;
                const TVLRGB c = ours.Bitmap.GetPixelAsRGB(px, py);
                if (c.r != r[0] || c.g != r[1] || c.b != r[2]) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(ours.Params.GifTransparent, k == 2);
        EXPECT_EQ(transparent > 0, k == 2);
    }
}

TEST_F(GifReference, ComposedFramesMatchImageMagicksCoalescedFrames) {
    MakeAnimation();
    const TBytes coalesced = ImageMagickRGBA("'" + File("anim.gif") + "' -coalesce");
    ASSERT_EQ(coalesced.size(), size_t{40} * 30 * 4 * 4);
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        TVistrelIO io(nullptr);
        io.IOParams().GifLZWDecompress = GifLZWDecode;
        io.IOParams().GifImageIndex = k;
        TFileStream stream(StrFromUtf8(File("anim.gif")), fmOpenRead);
        EXPECT_EQ(io.LoadFromStreamGIF(stream), 4);
        EXPECT_FALSE(io.AbortingFlag);
        TVLBitmap& b = *io.GetBitmap();
        ASSERT_EQ(b.GetWidth(), 40);
        ASSERT_EQ(b.GetHeight(), 30);
        const uint8_t* ref = &coalesced[static_cast<size_t>(k) * 40 * 30 * 4];
        int32_t wrong = 0;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const uint8_t* r = ref + (static_cast<size_t>(y) * 40 + x) * 4;
                const uint8_t a = b.HasAlphaChannel() ? b.GetAlphaPixel(x, y) : 255;
                if ((a == 0) != (r[3] == 0)) ++wrong;
                if (r[3] == 0) continue;
                const TVLRGB c = b.GetPixelAsRGB(x, y);
                if (c.r != r[0] || c.g != r[1] || c.b != r[2]) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// A picture of 6 colours (vl8p) with an index pattern.
void PalettePicture(TVLBitmap& Bitmap, int32_t W, int32_t H) {
    Bitmap.Allocate(W, H, vl8p);
    for (int32_t i = 0; i < 6; ++i)
        Bitmap.SetPaletteColor(i, TVLRGB{uint8_t(i * 40), uint8_t(200 - i * 30), uint8_t(i * 9)});
    Bitmap.PaletteUsed = 8;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            Bitmap.SetPixel8(x, y, static_cast<uint8_t>((x / 2 + y) % 6));
}

TEST_F(GifReference, OurFilesDecodeInPillowToOurIndexesPaletteTransparencyAndComments) {
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
        SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    TVLBitmap picture;
    PalettePicture(picture, 13, 7);
    TIOParamsVals params;
    params.BitsPerSample = 3;
    params.GifTransparentColor = picture.GetPalette()[4];
    params.GifTransparent = true;
    params.GifInterlaced = true;
    params.GifComments.Add(u"caf\u00e9 \u20ac");
    params.GifComments.Add(u"");
    params.GifComments.Add(String(300, u'x'));
    const TBytes file = Write(picture, params);
    FScratch.Write("ours.gif", file);
    const std::string script = File("read.py");
    WriteFileBytes(script, "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                           "im.load()\n"
                           "print(im.mode, im.info.get('transparency'))\n"
                           "print(' '.join(str(v) for v in im.getdata()))\n"
                           "print(' '.join(str(v) for v in (im.getpalette() + [0] * 24)[:24]))\n"
                           "\n");
    std::string out;
    ASSERT_TRUE(RunTool("/usr/bin/python3 '" + script + "' '" + File("ours.gif") + "'", out));
    std::istringstream in(out);
    std::string mode;
    int32_t transparency = -1;
    in >> mode >> transparency;
    EXPECT_EQ(mode, "P");
    EXPECT_EQ(transparency, 4);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            int32_t v = -1;
            in >> v;
            EXPECT_EQ(v, picture.GetPixel8(x, y)) << x << "," << y;
        }
    for (int32_t i = 0; i < 6; ++i) {
        int32_t r = 0, g = 0, b = 0;
        in >> r >> g >> b;
        EXPECT_EQ((TVLRGB{uint8_t(b), uint8_t(g), uint8_t(r)}), picture.GetPalette()[i]) << i;
    }
    int32_t skip = 0;
    for (int32_t i = 0; i < 6; ++i)
        in >> skip;
    // The comment extension closes the file (neither reference reads a comment after the last
    // image): Windows-1252 text, the empty line left out, the long line in two sub-blocks.
    TBytes tail = {0x21, 0xFE, 6, 'c', 'a', 'f', 0xE9, ' ', 0x80, 255};
    tail.insert(tail.end(), 255, 'x');
    tail.push_back(45);
    tail.insert(tail.end(), 45, 'x');
    tail.insert(tail.end(), {0, 0x3B});
    ASSERT_GT(file.size(), tail.size());
    EXPECT_EQ(TBytes(file.end() - static_cast<std::ptrdiff_t>(tail.size()), file.end()), tail);

    // ImageMagick reads the same pixels; our reader reads our file back.
    const TBytes im = ImageMagickRGBA("'" + File("ours.gif") + "'");
    ASSERT_EQ(im.size(), size_t{13} * 7 * 4);
    TFrameRead back;
    ReadFrame(file, 0, back, true);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const TVLRGB c = picture.GetPalette()[picture.GetPixel8(x, y)];
            const uint8_t* r = &im[(static_cast<size_t>(y) * 13 + x) * 4];
            if (r[3] != 0) {
                EXPECT_EQ((TVLRGB{r[2], r[1], r[0]}), c);
            }
            EXPECT_EQ(back.Bitmap.GetPixel8(x, y), picture.GetPixel8(x, y));
        }
    ASSERT_EQ(back.Params.GifComments.Count(), 3);
    EXPECT_EQ(back.Params.GifComments[0], u"caf\u00e9 \u20ac");
    EXPECT_EQ(back.Params.GifComments[1].size(), 255u);
    EXPECT_EQ(back.Params.GifComments[2].size(), 45u);
    EXPECT_TRUE(back.Params.GifTransparent);
    EXPECT_EQ(back.Params.BitsPerSample, 3);
}

TEST(Gif, AlphaGetsAReservedIndexAndIndexesThatDoNotFitAreRequantized) {
    // Opaque pixels of the index that becomes the transparent one stay opaque.
    TVLBitmap picture;
    PalettePicture(picture, 8, 4);
    TIOParamsVals params;
    params.BitsPerSample = 2; // 3 colours and the transparent index 3
    picture.SetPixel8(0, 0, 3);
    picture.SetAlphaPixel(1, 0, 0);
    const TBytes file = Write(picture, params);
    EXPECT_TRUE(params.GifTransparent);
    TFrameRead back;
    ReadFrame(file, 0, back);
    ASSERT_NE(back.Alpha, nullptr);
    EXPECT_EQ(back.Alpha->GetPixel(0, 0), 255) << "an opaque pixel of index 3";
    EXPECT_EQ(back.Alpha->GetPixel(1, 0), 0);
    EXPECT_EQ(back.Params.BitsPerSample, 2);

    // Indexes beyond 2^b come back as the nearest of the colours written, never as other
    // indexes' colours.
    TVLBitmap two(4, 1, vl8p);
    two.SetPaletteColor(0, TVLRGB{0, 0, 0});
    two.SetPaletteColor(200, TVLRGB{255, 255, 255});
    two.PaletteUsed = 256;
    two.SetPixel8(1, 0, 200);
    two.SetPixel8(3, 0, 200);
    TIOParamsVals one;
    one.BitsPerSample = 1;
    TFrameRead bw;
    ReadFrame(Write(two, one), 0, bw);
    EXPECT_EQ(bw.Bitmap.GetPixelFormat(), vl1g);
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(bw.Bitmap.GetPixelAsRGB(x, 0), two.GetPalette()[two.GetPixel8(x, 0)]) << x;
}

TEST(Gif, TwoColourFramesAndParameters) {
    // A black-and-white table gives vl1g, every pixel of a 9-pixel row included.
    TVLBitmap bits(9, 2, vl1g);
    bits.GetScanline(0)[0] = 0xA5;
    bits.GetScanline(0)[1] = 0x80;
    bits.GetScanline(1)[0] = 0x01;
    bits.GetScanline(1)[1] = 0x00;
    TIOParamsVals params;
    params.BitsPerSample = 1;
    params.GifDelayTime = 70;
    params.GifDisposal = 1;
    params.GifXPos = 3;
    TFrameRead back;
    ReadFrame(Write(bits, params), 0, back);
    ASSERT_EQ(back.Bitmap.GetPixelFormat(), vl1g);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 9; ++x)
            EXPECT_EQ(back.Bitmap.GetPixelAsRGB(x, y), bits.GetPixelAsRGB(x, y)) << x << "," << y;
    EXPECT_EQ(back.Params.GifDelayTime, 70);
    EXPECT_EQ(back.Params.GifDisposal, 1);
    EXPECT_EQ(back.Params.GifXPos, 3);
    EXPECT_EQ(back.Alpha, nullptr);
    EXPECT_EQ(back.Params.GifComments.Count(), 0);

    // Parameters only: the frame fields and palette, the bitmap untouched; a frame index that is
    // not in the file decodes nothing.
    TFrameRead paramsOnly;
    ReadFrame(Write(bits, params), 0, paramsOnly, false, true);
    EXPECT_TRUE(paramsOnly.Bitmap.IsEmpty());
    EXPECT_EQ(paramsOnly.Params.Width, 9);
    EXPECT_EQ(paramsOnly.Params.GetPaletteCount(), 2);
    TFrameRead missing;
    ReadFrame(Write(bits, params), 5, missing);
    EXPECT_FALSE(missing.Aborted);
    EXPECT_EQ(missing.Frames, 1);
    EXPECT_TRUE(missing.Bitmap.IsEmpty());
}

// A minimal GIF: header of a W x H screen with a 2-entry table, one image of Data (LZW data
// with its code-size byte and sub-blocks), the trailer.
TBytes MinimalGif(int32_t W, int32_t H, const TBytes& Data, uint8_t Flags = 0x80) {
    TBytes f = {'G',        'I',
                'F',        '8',
                '9',        'a',
                uint8_t(W), uint8_t(W >> 8),
                uint8_t(H), uint8_t(H >> 8),
                Flags,      0,
                0,          0,
                0,          0,
                255,        255,
                255};
    const TBytes descriptor = {
        0x2C, 0, 0, 0, 0, uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8), 0};
    f.insert(f.end(), descriptor.begin(), descriptor.end());
    f.insert(f.end(), Data.begin(), Data.end());
    f.push_back(0x3B);
    return f;
}

TEST(Gif, DamagedFilesAbortOrDecodeWhatTheyHoldAndNeverCrash) {
    // Indexes beyond a short table read black; a frame with undecodable data aborts.
    TFrameRead notGif;
    ReadFrame({'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, 0, notGif);
    EXPECT_TRUE(notGif.Aborted);
    TFrameRead headerOnly;
    ReadFrame({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, 0, headerOnly);
    EXPECT_TRUE(headerOnly.Aborted);
    EXPECT_EQ(headerOnly.Params.ImageCount, 0);
    TFrameRead broken;
    ReadFrame(MinimalGif(4, 4, {}), 0, broken);
    EXPECT_TRUE(broken.Aborted) << "no image data";
    TFrameRead huge;
    ReadFrame(MinimalGif(65535, 65535, {2, 2, 0x4C, 0x01, 0}), 0, huge);
    EXPECT_TRUE(huge.Aborted) << "a huge frame with two bytes of data";
    EXPECT_TRUE(huge.Bitmap.IsEmpty());

    TVLBitmap picture;
    PalettePicture(picture, 17, 11);
    TIOParamsVals params;
    params.BitsPerSample = 4;
    params.GifComments.Add(u"comment");
    const TBytes seed = Write(picture, params);
    std::mt19937 random(99);
    for (int32_t round = 0; round < 1500; ++round) {
        TBytes file = seed;
        const int32_t flips = 1 + static_cast<int32_t>(random() % 5);
        for (int32_t i = 0; i < flips; ++i)
            file[random() % file.size()] = static_cast<uint8_t>(random());
        if (round % 5 == 0) file.resize(random() % file.size());
        // Frame sizes stay small so that the loop stays quick.
        if (file.size() > 9) file[7] = file[9] = 0;
        TFrameRead r;
        ReadFrame(file, round % 2, r, round % 3 == 0);
    }
}

// A frame side above 65000 with little data after the frame is refused unless the frame is
// bilevel; a side of exactly 65000 is not above it, whatever the colours.
TEST(Gif, AFrameSideOfExactly65000IsNotHuge) {
    struct Case {
        int32_t width, height;
        bool bilevel, refused;
    };
    const Case cases[] = {{65000, 1, false, false}, {1, 65000, false, false},
                          {65001, 1, false, true},  {1, 65001, false, true},
                          {65001, 1, true, false},  {65000, 1, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height
                                        << (c.bilevel ? " black and white" : " red and blue"));
        TBytes file = MinimalGif(c.width, c.height, {2, 2, 0x4C, 0x01, 0});
        if (!c.bilevel) {
            const TBytes redBlue = {255, 0, 0, 0, 0, 255};
            std::copy(redBlue.begin(), redBlue.end(), file.begin() + 13);
        }
        TFrameRead r;
        ReadFrame(file, 0, r);
        EXPECT_EQ(r.Aborted, c.refused);
        EXPECT_EQ(r.Bitmap.GetWidth(), c.refused ? 0 : c.width);
        EXPECT_EQ(r.Bitmap.GetHeight(), c.refused ? 0 : c.height);
    }
}

} // namespace
