// Whole-image operations of the processing component: clear, canvas resize, resample, fill and
// crop, with their undo entries and events; the fill and comparison routines.
#include "imaging/proc/VistrelProc.h"

#include "tests/ExternalTool.h"
#include "ProcTestSupport.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/proc/VLWholeImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using enum TVLPixelFormat;

namespace {

// A smooth colour picture in Format (converted from 24-bit).
void MakeSmooth(TVLBitmap& B, int32_t W, int32_t H, TVLPixelFormat Format) {
    ASSERT_TRUE(B.Allocate(W, H, vl24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            B.SetPixelRGB(x, y,
                          TVLRGB{static_cast<uint8_t>(40 + x * 6), static_cast<uint8_t>(30 + y * 7),
                                 static_cast<uint8_t>(200 - x * 3 - y * 2)});
    B.SetPixelFormat(Format);
}

int32_t MaxRGBDifference(TVLBitmap& A, TVLBitmap& B) {
    int32_t worst = 0;
    for (int32_t y = 0; y < A.GetHeight(); ++y)
        for (int32_t x = 0; x < A.GetWidth(); ++x) {
            const TVLRGB a = A.GetPixelAsRGB(x, y), b = B.GetPixelAsRGB(x, y);
            worst =
                std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    return worst;
}

std::unique_ptr<TVistrelProc> OwnedProc(TComponent& Owner, TVLBitmap& Image) {
    auto* proc = new TVistrelProc(&Owner);
    proc->SetAttachedBitmap(&Image);
    return std::unique_ptr<TVistrelProc>(proc);
}

} // namespace

TEST(ProcClear, FillsWithTheBackgroundAfterTheUndoEntry) {
    TVLBitmap image;
    MakePicture(image, 5, 4, vl24RGB, 1);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    proc->SetBackground(0x0000FF); // red
    TEventLog log;
    log.Attach(*proc);
    proc->Clear();
    EXPECT_EQ(image.GetPixelRGB(4, 3), (TVLRGB{0, 0, 255}));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "p:100", "finish"}));
    EXPECT_EQ(proc->GetUndoCaption(0), u"Clear");
}

TEST(ProcImageResize, SizesAlignmentAndNoOps) {
    TVLBitmap image;
    MakePicture(image, 6, 4, vl24RGB, 1);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    TEventLog log;
    log.Attach(*proc);
    proc->ImageResize(6, 4, 0, 0, 255);
    proc->ImageResize(0, 9, 0, 0, 255);
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(proc->GetUndoCount(), 0);
    const TVLRGB corner = image.GetPixelRGB(5, 3);
    proc->SetBackground(0x00FF00);
    proc->ImageResize(10, 8, 2, 2, 0);
    EXPECT_EQ(image.GetWidth(), 10);
    EXPECT_EQ(image.GetPixelRGB(9, 7), corner);
    EXPECT_EQ(image.GetPixelRGB(0, 0), (TVLRGB{0, 255, 0}));
    ASSERT_TRUE(image.HasAlphaChannel());
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(image.GetAlphaPixel(9, 7), 255);
    EXPECT_EQ(proc->GetUndoCaption(0), u"ImageResize 10,8");

    TVLBitmap fresh;
    MakePicture(fresh, 1, 1, vl24RGB, 3);
    proc->SetAttachedBitmap(&fresh);
    proc->SetBackground(0x804020);
    proc->ImageResize(100, 50, 1, 1, 255);
    ASSERT_EQ(fresh.GetWidth(), 100);
    ASSERT_EQ(fresh.GetHeight(), 50);
    for (int32_t y = 0; y < 50; ++y)
        for (int32_t x = 0; x < 100; ++x)
            ASSERT_EQ(RGBTripleToColor(fresh.GetPixelRGB(x, y)), 0x804020) << x << "," << y;
}

TEST(ProcResample, Sizes) {
    struct TCase {
        int32_t W, H, NewW, NewH, ExpectW, ExpectH;
    };
    const TCase cases[] = {
        {400, 300, 85, -1, 85, 63},   {400, 300, 0, 0, 400, 300},    {400, 300, -30, 0, 30, 300},
        {400, 300, -1, 0, 400, 300}, // the kept side first, then the aspect ratio from it
        {400, 300, 0, -1, 400, 300},  {400, 300, -1, 150, 200, 150}, {3, 400, -1, 10, 1, 10},
        {400, 300, -1, -1, 400, 300}, // both negative: unchanged
        {3, 2, -1, 1500000000, 3, 2}, // the other side would not fit: unchanged
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.NewW) + "," + std::to_string(c.NewH));
        TVLBitmap image;
        MakePicture(image, c.W, c.H, vl24RGB, 2);
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&image);
        proc.Resample(c.NewW, c.NewH, rfFastLinear);
        EXPECT_EQ(image.GetWidth(), c.ExpectW);
        EXPECT_EQ(image.GetHeight(), c.ExpectH);
    }
}

TEST(ProcResample, EveryPixelFormatComesBackWrittenLikeItsColourConversion) {
    for (TResampleFilter filter : {rfLanczos3, rfFastLinear, rfBilinear, rfNone}) {
        for (int code = 2; code < VLPixelFormatCount; ++code) {
            const auto format = static_cast<TVLPixelFormat>(code);
            SCOPED_TRACE("filter " + std::to_string(filter) + ", format " + std::to_string(code));
            TVLBitmap image, reference;
            MakeSmooth(image, 24, 18, format);
            reference.Assign(&image);
            reference.SetPixelFormat(vl24RGB);
            TVistrelProc proc(nullptr);
            proc.SetAttachedBitmap(&image);
            proc.Resample(10, 7, filter);
            proc.SetAttachedBitmap(&reference);
            proc.Resample(10, 7, filter);
            ASSERT_EQ(image.GetWidth(), 10);
            ASSERT_EQ(image.GetHeight(), 7);
            EXPECT_LE(MaxRGBDifference(image, reference), 3);
        }
    }
}

TEST(ProcResample, OnePixelPicturesSpreadTheirPixel) {
    for (TResampleFilter filter :
         {rfTriangle, rfLanczos3, rfMitchell, rfFastLinear, rfBicubic, rfProjectBW, rfNone}) {
        for (int code = 1; code < VLPixelFormatCount; ++code) {
            const auto format = static_cast<TVLPixelFormat>(code);
            SCOPED_TRACE("filter " + std::to_string(filter) + ", format " + std::to_string(code));
            TVLBitmap image;
            MakeSmooth(image, 1, 1, format);
            const TVLRGB pixel = image.GetPixelAsRGB(0, 0);
            TVistrelProc proc(nullptr);
            proc.SetAttachedBitmap(&image);
            proc.Resample(5, 4, filter);
            ASSERT_EQ(image.GetWidth(), 5);
            ASSERT_EQ(image.GetHeight(), 4);
            if (image.GetPixelFormat() == vl1g) continue; // a projection's threshold
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 5; ++x) {
                    const TVLRGB p = image.GetPixelAsRGB(x, y);
                    EXPECT_LE(std::abs(p.r - pixel.r) + std::abs(p.g - pixel.g) +
                                  std::abs(p.b - pixel.b),
                              3)
                        << x << "," << y;
                }
        }
    }
}

TEST(ProcResample, UndoKeepsTheOriginalFormatAndFinishedWorkIsReportedTwice) {
    TVLBitmap image;
    MakePicture(image, 12, 10, vl16g, 3, true);
    const std::string original = Pixels(image);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    TEventLog log;
    log.Attach(*proc);
    proc->Resample(6, -1, rfLanczos3);
    EXPECT_EQ(image.GetPixelFormat(), vl8g);
    EXPECT_EQ(image.GetHeight(), 5);
    EXPECT_TRUE(log.ProgressInRange());
    EXPECT_EQ(log.Milestones(),
              (std::vector<std::string>{"undo:1", "p:100", "finish", "p:100", "finish"}));
    EXPECT_EQ(proc->GetUndoCaption(0), u"Resample 6,-1");
    proc->Undo(false);
    EXPECT_EQ(image.GetPixelFormat(), vl16g);
    EXPECT_EQ(Pixels(image), original);
}

TEST(ProcResample, ResampleToLeavesTheImage) {
    TVLBitmap image, dest;
    MakePicture(image, 12, 10, vlCMYK, 3);
    const std::string original = Pixels(image);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.ResampleTo(dest, 0, 5, rfLanczos3);
    EXPECT_EQ(Pixels(image), original);
    EXPECT_EQ(dest.GetWidth(), 12);
    EXPECT_EQ(dest.GetHeight(), 5);
    EXPECT_EQ(dest.GetPixelFormat(), vl24RGB);
}

TEST(ProcFill, FormatsAndEvents) {
    TVLBitmap image;
    MakePicture(image, 6, 5, vl8g, 1);
    const std::string grey = Pixels(image);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    TEventLog log;
    log.Attach(*proc);
    proc->Fill(TVLRGB{1, 2, 3});
    EXPECT_EQ(Pixels(image), grey);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "p:100", "finish"}));

    TVLBitmap colour;
    MakePicture(colour, 6, 5, vl24RGB, 1);
    proc->SetAttachedBitmap(&colour);
    log.Events.clear();
    proc->Fill(TVLRGB{1, 2, 3});
    EXPECT_EQ(colour.GetPixelRGB(5, 4), (TVLRGB{1, 2, 3}));
    // One report per row, rows done x 100 / (rows + 0.5), never above 100.
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "p:18", "p:36", "p:54", "p:72",
                                                    "p:90", "p:100", "finish"}));
}

TEST(FillRectRGB, ClipsAndSetsOrClearsBits) {
    TVLBitmap bits;
    ASSERT_TRUE(bits.Allocate(20, 3, vl1g));
    bits.Fill(1);
    FillRectRGB(bits, 3, 1, 11, 99, TVLRGB{255, 255, 0});
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 20; ++x)
            EXPECT_EQ(GetRowBit(bits.GetScanline(y), x) != 0, !(y >= 1 && x >= 3 && x < 11))
                << x << "," << y;
    FillRectRGB(bits, -5, -5, 30, 30, TVLRGB{0, 0, 1});
    EXPECT_NE(GetRowBit(bits.GetScanline(2), 19), 0);
}

TEST(BitmapsEqual, ShapeFormatRowLengthAndAlpha) {
    TVLBitmap a, b;
    MakePicture(a, 5, 3, vl24RGB, 1);
    MakePicture(b, 5, 3, vl24RGB, 1);
    EXPECT_TRUE(BitmapsEqual(a, b));
    b.GetAlphaChannel();
    EXPECT_FALSE(BitmapsEqual(a, b));
    a.GetAlphaChannel();
    EXPECT_TRUE(BitmapsEqual(a, b));
    b.SetAlphaPixel(4, 2, 3);
    EXPECT_FALSE(BitmapsEqual(a, b));

    TVLBitmap grey, palette;
    MakePicture(grey, 4, 2, vl8g, 1);
    MakePicture(palette, 4, 2, vl8p, 1);
    EXPECT_FALSE(BitmapsEqual(grey, palette));
    // Equal bytes, other pixel sizes and row lengths.
    TVLBitmap wide, narrow;
    MakePicture(wide, 4, 1, vl24RGB, 1);
    MakePicture(narrow, 3, 1, vl32RGB, 1);
    EXPECT_FALSE(BitmapsEqual(wide, narrow));
    EXPECT_FALSE(BitmapsEqual(narrow, wide));
}

TEST(ProcCrop, ClipsAndIgnoresEmptyAndWholeRectangles) {
    TVLBitmap image;
    MakePicture(image, 8, 6, vl24RGB, 1, true);
    const std::string original = Pixels(image);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    TEventLog log;
    log.Attach(*proc);
    proc->Crop(0, 0, 7, 5);
    proc->Crop(5, 2, 3, 4);     // X2 < X1
    proc->Crop(20, 20, 30, 30); // outside
    proc->Crop(-9, -9, 99, 99); // clips to the whole image
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(Pixels(image), original);

    TVLBitmap reference;
    reference.Assign(&image);
    proc->Crop(-3, 4, 2, 40);
    ASSERT_EQ(image.GetWidth(), 3);
    ASSERT_EQ(image.GetHeight(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(image.GetPixelRGB(x, y), reference.GetPixelRGB(x, y + 4));
            EXPECT_EQ(image.GetAlphaPixel(x, y), reference.GetAlphaPixel(x, y + 4));
        }
    EXPECT_EQ(proc->GetUndoCaption(0), u"Crop");
}

TEST(ProcCrop, WithAlphaAgainstPillow) {
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "/usr/bin/python3 with Pillow (python3-pil) missing";
    const int32_t w = 13, h = 9;
    TVLBitmap image;
    MakePicture(image, w, h, vl24RGB, 4, true);
    const auto in = UniqueTempPath("crop-in"), out = UniqueTempPath("crop-out");
    {
        std::string rgba;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const TVLRGB p = image.GetPixelRGB(x, y);
                rgba += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b),
                         static_cast<char>(image.GetAlphaPixel(x, y))};
            }
        WriteFileBytes(in, rgba);
    }
    // Pillow's box is half-open: (left, top, right + 1, bottom + 1).
    const std::string script =
        "import sys\nfrom PIL import Image\n"
        "im = Image.frombytes('RGBA', (13, 9), open(sys.argv[1], 'rb').read())\n"
        "open(sys.argv[2], 'wb').write(im.crop((2, 3, 12, 8)).tobytes())\n";
    std::string ignored;
    ASSERT_TRUE(RunTool("/usr/bin/python3 -c \"" + script + "\" '" + in.string() + "' '" +
                            out.string() + "'",
                        ignored));
    std::ifstream file(out, std::ios::binary);
    const std::string expected{std::istreambuf_iterator<char>(file), {}};
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.Crop(2, 3, 11, 7);
    ASSERT_EQ(image.GetWidth(), 10);
    ASSERT_EQ(image.GetHeight(), 5);
    ASSERT_EQ(expected.size(), 10u * 5 * 4);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const auto* e = reinterpret_cast<const uint8_t*>(expected.data()) + (y * 10 + x) * 4;
            const TVLRGB p = image.GetPixelRGB(x, y);
            EXPECT_EQ((TVLRGB{e[2], e[1], e[0]}), p) << x << "," << y;
            EXPECT_EQ(image.GetAlphaPixel(x, y), e[3]) << x << "," << y;
        }
}

TEST(ProcCrop, TransparentBordersWithoutUndo) {
    TVLBitmap image;
    MakePicture(image, 12, 10, vl24RGB, 1);
    image.GetAlphaChannel()->Fill(0);
    TComponent owner(nullptr);
    auto proc = OwnedProc(owner, image);
    proc->CropTransparentBorders(); // all transparent: unchanged
    EXPECT_EQ(image.GetWidth(), 12);
    image.SetAlphaPixel(5, 7, 200);
    TRect bounds;
    GetAlphaBounds(image, bounds);
    EXPECT_EQ(bounds, (TRect{5, 7, 5, 7}));
    const TVLRGB pixel = image.GetPixelRGB(5, 7);
    proc->CropTransparentBorders();
    EXPECT_EQ(image.GetWidth(), 1);
    EXPECT_EQ(image.GetHeight(), 1);
    EXPECT_EQ(image.GetPixelRGB(0, 0), pixel);
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 200);
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_TRUE(proc->AutoUndo);
}
