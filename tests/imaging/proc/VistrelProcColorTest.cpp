// Colour reduction through the processing component: grey levels (whole image and selection),
// reduction to n colours against ImageMagick, black and white, palettes and undo.
#include "imaging/proc/VistrelProc.h"

#include "ProcTestSupport.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLMask.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <sstream>

using enum TVLPixelFormat;

namespace {

// A photograph-like picture: smooth colour gradients, a few flat shapes and mild seeded noise.
void MakePhoto(TVLBitmap& B, int32_t W, int32_t H) {
    ASSERT_TRUE(B.Allocate(W, H, vl24RGB));
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(-6, 6);
    auto level = [&](double v) {
        return static_cast<uint8_t>(std::clamp(static_cast<int>(v) + noise(random), 0, 255));
    };
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            double r = 255.0 * x / W, g = 128 + 120 * std::sin(y / 9.0), b = 255.0 * (H - y) / H;
            if ((x - W / 3) * (x - W / 3) + (y - H / 2) * (y - H / 2) < 200) r = g = 230, b = 40;
            if (x > 2 * W / 3 && y > H / 4 && y < H / 2) r = 20, g = 90, b = 200;
            B.SetPixelRGB(x, y, TVLRGB{level(b), level(g), level(r)});
        }
}

int32_t Gray(const TVLRGB& C) {
    return (C.r * 21 + C.g * 71 + C.b * 8) / 100;
}

// Binary PPM (P6) of a 24-bit picture, and back.
std::vector<uint8_t> ToPPM(TVLBitmap& B) {
    std::ostringstream head;
    head << "P6\n" << B.GetWidth() << " " << B.GetHeight() << "\n255\n";
    const std::string h = head.str();
    std::vector<uint8_t> out(h.begin(), h.end());
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TVLRGB c = B.GetPixelAsRGB(x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

bool FromPPM(const std::vector<uint8_t>& Data, TVLBitmap& B) {
    std::string text(Data.begin(), Data.end());
    std::istringstream in(text);
    std::string magic;
    int w = 0, h = 0, maxValue = 0;
    in >> magic >> w >> h >> maxValue;
    if (magic != "P6" || maxValue != 255 || w <= 0 || h <= 0) return false;
    const size_t start = static_cast<size_t>(in.tellg()) + 1;
    if (Data.size() < start + static_cast<size_t>(w) * h * 3) return false;
    if (!B.Allocate(w, h, vl24RGB)) return false;
    const uint8_t* p = Data.data() + start;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x, p += 3)
            B.SetPixelRGB(x, y, TVLRGB{p[2], p[1], p[0]});
    return true;
}

double PSNR(TVLBitmap& A, TVLBitmap& B) {
    double sum = 0;
    for (int32_t y = 0; y < A.GetHeight(); ++y)
        for (int32_t x = 0; x < A.GetWidth(); ++x) {
            const TVLRGB a = A.GetPixelAsRGB(x, y), b = B.GetPixelAsRGB(x, y);
            for (int d : {a.r - b.r, a.g - b.g, a.b - b.b})
                sum += d * d;
        }
    const double mse = sum / (3.0 * A.GetWidth() * A.GetHeight());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::set<uint32_t> DistinctColors(TVLBitmap& B) {
    std::set<uint32_t> colors;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TVLRGB c = B.GetPixelAsRGB(x, y);
            colors.insert(c.r << 16 | c.g << 8 | c.b);
        }
    return colors;
}

std::unique_ptr<TVistrelProc> ProcOn(TVLBitmap& Image, bool AutoUndo) {
    auto proc = std::make_unique<TVistrelProc>(nullptr);
    proc->SetAttachedBitmap(&Image);
    proc->AutoUndo = AutoUndo;
    return proc;
}

// A component whose view has a selection: the given mask.
class TSelectingProc : public TVistrelProc {
public:
    explicit TSelectingProc(TVLMask& Mask) : TVistrelProc(nullptr), FMask(Mask) {}
    bool GetSelectionInfo(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TVLMask*& Mask,
                          const TPoint*& Points, int32_t& PointCount) override {
        TVistrelProc::GetSelectionInfo(X1, Y1, X2, Y2, Mask, Points, PointCount);
        Mask = &FMask;
        X1 = FMask.X1;
        Y1 = FMask.Y1;
        X2 = FMask.X2 + 1;
        Y2 = FMask.Y2 + 1;
        return true;
    }

private:
    TVLMask& FMask;
};

} // namespace

TEST(ProcConvertToGray, EveryPixelTakesItsWeightedGreyLevel) {
    TVLBitmap image, original;
    MakePhoto(image, 37, 23);
    original.Assign(&image);
    auto proc = ProcOn(image, true);
    TEventLog log;
    log.Attach(*proc);
    proc->ConvertToGray();
    for (int32_t y = 0; y < 23; ++y)
        for (int32_t x = 0; x < 37; ++x) {
            const auto g = static_cast<uint8_t>(Gray(original.GetPixelRGB(x, y)));
            ASSERT_EQ(image.GetPixelRGB(x, y), (TVLRGB{g, g, g})) << x << "," << y;
        }
    EXPECT_TRUE(log.ProgressInRange());
    EXPECT_EQ(log.Milestones(), (std::vector<std::string>{"undo:1", "p:100", "finish"}));
    EXPECT_EQ(proc->GetUndoCaption(0), u"ConvertToGray");
    proc->Undo(false);
    EXPECT_EQ(Pixels(image), Pixels(original));
}

TEST(ProcConvertToGray, OnlyTheSelectedPixelsChange) {
    TVLBitmap image, original;
    MakePhoto(image, 40, 30);
    original.Assign(&image);
    TVLMask mask;
    ASSERT_TRUE(mask.AllocateBits(40, 30, 1));
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            if ((x - 20) * (x - 20) + (y - 14) * (y - 14) <= 64) mask.SetPixel(x, y, 1);
    TSelectingProc proc(mask);
    proc.SetAttachedBitmap(&image);
    proc.ConvertToGray();
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const TVLRGB before = original.GetPixelRGB(x, y);
            const auto g = static_cast<uint8_t>(Gray(before));
            const TVLRGB expected = mask.IsPointInside(x, y) ? TVLRGB{g, g, g} : before;
            ASSERT_EQ(image.GetPixelRGB(x, y), expected) << x << "," << y;
        }
}

TEST(GrayscaleRect24, ClipsTheRectangleReportsAtMost100AndSkipsOtherFormats) {
    TVLBitmap image, original;
    MakePhoto(image, 12, 9);
    original.Assign(&image);
    std::vector<int32_t> reports;
    GrayscaleRect24(image, 8, 5, 100, 100, [&](TObject*, int32_t P) { reports.push_back(P); });
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            const TVLRGB before = original.GetPixelRGB(x, y);
            const auto g = static_cast<uint8_t>(Gray(before));
            const TVLRGB expected = x >= 8 && y >= 5 ? TVLRGB{g, g, g} : before;
            EXPECT_EQ(image.GetPixelRGB(x, y), expected);
        }
    // Four rows: Trunc(r x 100 / 4.5).
    EXPECT_EQ(reports, (std::vector<int32_t>{22, 44, 66, 88}));
    TVLBitmap grey;
    MakePicture(grey, 5, 5, vl8g, 3);
    const std::string before = Pixels(grey);
    GrayscaleRect24(grey, 0, 0, 5, 5);
    EXPECT_EQ(Pixels(grey), before);
}

TEST(ProcConvertTo, SixteenAndTwoHundredFiftySixColoursMatchImageMagick) {
    if (!ToolExists("convert") || !ToolExists("identify"))
        SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert and identify");
    // A picture of a usual size: on very small ones (under 10,000 pixels) the network quantizer
    // that serves 128 colours and more trains on too few samples and falls about 4 dB behind.
    TVLBitmap original;
    MakePhoto(original, 320, 240);
    ScratchFolder folder;
    folder.Write("in.ppm", ToPPM(original));
    for (int32_t colors : {16, 256}) {
        SCOPED_TRACE(colors);
        TVLBitmap image;
        image.Assign(&original);
        auto proc = ProcOn(image, false);
        proc->ConvertTo(colors, false);
        ASSERT_EQ(image.GetPixelFormat(), vl24RGB);
        EXPECT_LE(static_cast<int32_t>(DistinctColors(image).size()), colors);
        folder.Write("ours.ppm", ToPPM(image));
        std::string out;
        ASSERT_TRUE(folder.Run("identify -format %k '" + folder.File("ours.ppm") + "'", out));
        EXPECT_LE(std::stoi(out), colors);
        ASSERT_TRUE(folder.Run("convert '" + folder.File("in.ppm") + "' +dither -colors " +
                                   std::to_string(colors) + " ppm:-",
                               out));
        TVLBitmap reference;
        ASSERT_TRUE(FromPPM(std::vector<uint8_t>(out.begin(), out.end()), reference));
        EXPECT_GE(PSNR(original, image), PSNR(original, reference) - 2.0)
            << "ours " << PSNR(original, image) << " dB, ImageMagick " << PSNR(original, reference)
            << " dB";
    }
}

TEST(ProcConvertTo, UndoRestoresTheOriginalFormatAndBytes) {
    for (TVLPixelFormat format : {vl16g, vlRGB48}) {
        SCOPED_TRACE(static_cast<int>(format));
        TVLBitmap image;
        MakePicture(image, 9, 7, format, 5);
        const std::string before = Pixels(image);
        auto proc = ProcOn(image, true);
        proc->ConvertTo(16, false);
        EXPECT_EQ(image.GetPixelFormat(), vl24RGB);
        EXPECT_EQ(proc->GetUndoCaption(0), u"ConvertTo 16");
        proc->Undo(false);
        EXPECT_EQ(image.GetPixelFormat(), format);
        EXPECT_EQ(Pixels(image), before);
    }
}

TEST(ProcConvertTo, BlackAndWhiteByDitherAndThreshold) {
    TVLBitmap white;
    ASSERT_TRUE(white.Allocate(10, 10, vl24RGB));
    white.Fill(0xFFFFFF);
    ProcOn(white, false)->ConvertTo(2, false);
    ASSERT_EQ(white.GetPixelFormat(), vl1g);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(white.GetPixelAsRGB(x, y).r, 255);
    // Mid grey 128: level 32, white where the matrix value is below 32 (half the pixels).
    TVLBitmap grey;
    ASSERT_TRUE(grey.Allocate(8, 8, vl24RGB));
    grey.Fill(0x808080);
    ProcOn(grey, false)->ConvertTo(2, false);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x)
            ASSERT_EQ(grey.GetPixelAsRGB(x, y).r == 255, OrderedDitherMatrix[x][y] < 32);
    // The threshold is the mean luminance: a left dark and right light half split there.
    TVLBitmap halves;
    ASSERT_TRUE(halves.Allocate(6, 2, vl24RGB));
    for (int32_t x = 0; x < 6; ++x)
        for (int32_t y = 0; y < 2; ++y)
            halves.SetPixelRGB(x, y, x < 3 ? TVLRGB{60, 60, 60} : TVLRGB{180, 180, 180});
    ProcOn(halves, false)->ConvertTo(1, true);
    ASSERT_EQ(halves.GetPixelFormat(), vl1g);
    for (int32_t x = 0; x < 6; ++x)
        EXPECT_EQ(halves.GetPixelAsRGB(x, 1).r, x < 3 ? 0 : 255);
}

TEST(ProcConvertTo, AboveTheLimitOnlyRecordsTheUndoEntryAndFinishes) {
    TVLBitmap image;
    MakePhoto(image, 8, 8);
    const std::string before = Pixels(image);
    auto proc = ProcOn(image, true);
    TEventLog log;
    log.Attach(*proc);
    proc->ConvertTo(1025, false);
    EXPECT_EQ(Pixels(image), before);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "p:100", "finish"}));
    EXPECT_EQ(proc->GetUndoCaption(0), u"ConvertTo 1025");
}

TEST(ProcConvertToPalette, PalettesOfTheReduction) {
    TVLBitmap image;
    MakePhoto(image, 20, 20);
    auto proc = ProcOn(image, true);
    TEventLog log;
    log.Attach(*proc);
    TVLRGB palette[8] = {};
    proc->ConvertToPalette(0, palette, false);
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(proc->GetUndoCount(), 0);

    proc->ConvertToPalette(8, palette, false);
    EXPECT_EQ(proc->GetUndoCaption(0), u"ConvertToPalette");
    const std::set<uint32_t> used = DistinctColors(image);
    EXPECT_LE(used.size(), 8u);
    for (uint32_t c : used) {
        bool inPalette = false;
        for (const TVLRGB& p : palette)
            inPalette |= static_cast<uint32_t>(p.r << 16 | p.g << 8 | p.b) == c;
        EXPECT_TRUE(inPalette) << std::hex << c;
    }

    TVLRGB two[2] = {{1, 2, 3}, {4, 5, 6}};
    proc->ConvertToPalette(2, two, true);
    EXPECT_EQ(image.GetPixelFormat(), vl1g);
    EXPECT_EQ(two[0], (TVLRGB{0, 0, 0}));
    EXPECT_EQ(two[1], (TVLRGB{255, 255, 255}));
}

TEST(ProcConvertTo, OtherFormatsWithoutAutomaticConversionStayUntouched) {
    TVLBitmap image;
    MakePicture(image, 6, 6, vl8g, 2);
    const std::string before = Pixels(image);
    auto proc = ProcOn(image, true);
    proc->AutoConvertFormat = false;
    TEventLog log;
    log.Attach(*proc);
    proc->ConvertTo(16, false);
    EXPECT_EQ(Pixels(image), before);
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(proc->GetUndoCount(), 0);
}
