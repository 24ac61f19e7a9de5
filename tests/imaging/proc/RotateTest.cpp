// Rotation: exact quarter turns of every format against ImageMagick, the sizes of the three
// techniques, the shears and the interpolated and nearest rotations against ImageMagick in the
// interior of a smooth picture, the routines' own cases, and undo over many turns.
#include "imaging/proc/VistrelProc.h"

#include "ProcTestSupport.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLRotate.h"
#include "imaging/proc/VLRotateInterpolated.h"
#include "imaging/proc/VLRotateShears.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

using enum TVLPixelFormat;

namespace {

// A picture read back from a PPM (P6) or PAM (P7) file of 8-bit samples.
struct TNetpbm {
    int32_t Width = 0, Height = 0, Depth = 0;
    std::string Samples;
    const uint8_t* At(int32_t X, int32_t Y) const {
        return reinterpret_cast<const uint8_t*>(Samples.data()) + (Y * Width + X) * Depth;
    }
};

bool ReadNetpbm(const std::filesystem::path& Path, TNetpbm& Out) {
    std::ifstream in(Path, std::ios::binary);
    std::string magic;
    in >> magic;
    int32_t maxval = 0;
    if (magic == "P6") {
        in >> Out.Width >> Out.Height >> maxval;
        Out.Depth = 3;
    } else if (magic == "P7") {
        std::string key;
        while (in >> key && key != "ENDHDR") {
            if (key == "WIDTH")
                in >> Out.Width;
            else if (key == "HEIGHT")
                in >> Out.Height;
            else if (key == "DEPTH")
                in >> Out.Depth;
            else if (key == "MAXVAL")
                in >> maxval;
            else
                std::getline(in, key);
        }
    } else {
        return false;
    }
    in.get();
    Out.Samples.resize(static_cast<size_t>(Out.Width) * Out.Height * Out.Depth);
    in.read(Out.Samples.data(), static_cast<std::streamsize>(Out.Samples.size()));
    return maxval == 255 && in.gcount() == static_cast<std::streamsize>(Out.Samples.size());
}

// Writes the picture as RGB (PPM) or, with its alpha channel, as RGBA (PAM).
void WriteNetpbm(TVLBitmap& B, const std::filesystem::path& Path, bool WithAlpha) {
    std::ostringstream s;
    const int32_t w = B.GetWidth(), h = B.GetHeight();
    if (WithAlpha)
        s << "P7\nWIDTH " << w << "\nHEIGHT " << h
          << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    else
        s << "P6\n" << w << " " << h << "\n255\n";
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const TVLRGB p = B.GetPixelAsRGB(x, y);
            s << static_cast<char>(p.r) << static_cast<char>(p.g) << static_cast<char>(p.b);
            if (WithAlpha) s << static_cast<char>(B.GetAlphaPixel(x, y));
        }
    WriteFileBytes(Path, s.str());
}

bool HaveConvert() {
    return ToolExists("convert");
}

// Runs convert on the picture with Options between input and output; the reference and the
// page offset of the result (zero when convert reports none).
bool ConvertPicture(TVLBitmap& B, bool WithAlpha, const std::string& Options, TNetpbm& Out,
                    int32_t& PageX, int32_t& PageY) {
    const auto in = UniqueTempPath("rot-in"), out = UniqueTempPath("rot-out");
    const std::string ext = WithAlpha ? ".pam" : ".ppm";
    WriteNetpbm(B, in.string() + ext, WithAlpha);
    std::string info;
    const bool ran =
        RunTool("convert '" + in.string() + ext + "' " + Options + " -depth 8 -write '" +
                    out.string() + ext + "' -format '%X %Y' info:",
                info);
    std::istringstream page(info);
    PageX = PageY = 0;
    page >> PageX >> PageY;
    const bool read = ran && ReadNetpbm(out.string() + ext, Out);
    std::filesystem::remove(in.string() + ext);
    std::filesystem::remove(out.string() + ext);
    return read;
}

// A picture with no edges inside: waves of about 40 pixels per period.
void MakeSmooth(TVLBitmap& B, int32_t W, int32_t H) {
    ASSERT_TRUE(B.Allocate(W, H, vl24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            B.SetPixelRGB(x, y,
                          TVLRGB{static_cast<uint8_t>(128 + 90 * std::cos((x + 2 * y) / 29.0)),
                                 static_cast<uint8_t>(128 + 90 * std::cos(y / 23.0)),
                                 static_cast<uint8_t>(128 + 90 * std::sin(x / 31.0))});
}

// PSNR of our rotation against the reference over the pixels that come from at least Margin
// pixels inside the W x H source. Both results are placed by the position of the source centre
// in them; Mismatches counts the pixels that differ at all.
struct TComparison {
    double Psnr = 0;
    double DifferentShare = 0;
    int64_t Count = 0;
};

TComparison CompareInterior(TVLBitmap& Ours, double OursCX, double OursCY, const TNetpbm& Ref,
                            double RefCX, double RefCY, double Angle, int32_t W, int32_t H,
                            double Margin) {
    const double a = Angle * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
    const double scx = (W - 1) / 2.0, scy = (H - 1) / 2.0;
    double squared = 0;
    int64_t count = 0, different = 0;
    for (int32_t j = 0; j < Ref.Height; ++j)
        for (int32_t i = 0; i < Ref.Width; ++i) {
            const double dx = i - RefCX, dy = j - RefCY;
            const double sx = dx * c - dy * s + scx, sy = dx * s + dy * c + scy;
            if (sx < Margin || sy < Margin || sx > W - 1 - Margin || sy > H - 1 - Margin) continue;
            const auto ox = static_cast<int32_t>(std::lround(OursCX + dx));
            const auto oy = static_cast<int32_t>(std::lround(OursCY + dy));
            if (ox < 0 || oy < 0 || ox >= Ours.GetWidth() || oy >= Ours.GetHeight()) continue;
            const TVLRGB p = Ours.GetPixelAsRGB(ox, oy);
            const uint8_t* r = Ref.At(i, j);
            const int dr = p.r - r[0], dg = p.g - r[1], db = p.b - r[2];
            squared += dr * dr + dg * dg + db * db;
            different += (dr | dg | db) != 0;
            ++count;
        }
    TComparison result;
    result.Count = count;
    const double mse = squared / (3.0 * std::max<int64_t>(count, 1));
    result.Psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    result.DifferentShare = static_cast<double>(different) / std::max<int64_t>(count, 1);
    return result;
}

// A source size near Base whose rotated size Size(W, H) differs from it by an even number on
// both sides, so that the centres of both pictures fall on pixels.
// Odd sizes put the source centre on a pixel too, so that no source position is a tie between
// two pixels that the two programs could break differently.
template <class SizeFn> void EvenlyCentred(int32_t Base, SizeFn Size, int32_t& W, int32_t& H) {
    for (W = Base | 1; W < Base + 24; W += 2)
        for (H = (Base - 20) | 1; H < Base; H += 2) {
            int32_t rw = 0, rh = 0;
            Size(W, H, rw, rh);
            if ((rw - W) % 2 == 0 && (rh - H) % 2 == 0) return;
        }
    FAIL() << "no evenly centred size";
}

std::string ColorArg(TColor Color) {
    TVLRGB rgb;
    ColorToRGBTriple(Color, rgb);
    return "'rgb(" + std::to_string(rgb.r) + "," + std::to_string(rgb.g) + "," +
           std::to_string(rgb.b) + ")'";
}

// A component with undo, owned for the length of a test.
struct TOwnedProc {
    TComponent Owner{nullptr};
    TVistrelProc* Proc = new TVistrelProc(&Owner);
};

} // namespace

// ---- Quarter turns ----

TEST(RotateQuarterTurns, EveryFormatWithAlphaMatchesImageMagick) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert missing";
    for (int code = 1; code < VLPixelFormatCount; ++code) {
        for (double angle : {90.0, 180.0, 270.0, -90.0}) {
            for (bool antiAlias : {false, true}) {
                const auto format = static_cast<TVLPixelFormat>(code);
                SCOPED_TRACE("format " + std::to_string(code) + " at " + std::to_string(angle) +
                             (antiAlias ? " antialiased" : ""));
                TVLBitmap image;
                MakePicture(image, 11, 6, format, static_cast<uint32_t>(code), true);
                TNetpbm ref;
                int32_t px = 0, py = 0;
                ASSERT_TRUE(ConvertPicture(image, true,
                                           "-rotate " + std::to_string(static_cast<int>(-angle)),
                                           ref, px, py));
                TVistrelProc proc(nullptr);
                proc.SetAttachedBitmap(&image);
                proc.Rotate(angle, antiAlias, 0, -1);
                ASSERT_EQ(image.GetPixelFormat(), format);
                ASSERT_EQ(image.GetWidth(), ref.Width);
                ASSERT_EQ(image.GetHeight(), ref.Height);
                for (int32_t y = 0; y < ref.Height; ++y)
                    for (int32_t x = 0; x < ref.Width; ++x) {
                        const TVLRGB p = image.GetPixelAsRGB(x, y);
                        const uint8_t* r = ref.At(x, y);
                        ASSERT_EQ((TVLRGB{r[2], r[1], r[0]}), p) << x << "," << y;
                        ASSERT_EQ(image.GetAlphaPixel(x, y), r[3]) << x << "," << y;
                    }
            }
        }
    }
}

TEST(RotateQuarterTurns, LettersAndTheWholeTurn) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(4, 2, vl8g));
    for (int32_t i = 0; i < 8; ++i)
        image.GetScanline(i / 4)[i % 4] = static_cast<uint8_t>('A' + i);
    auto letters = [&] {
        std::string s;
        for (int32_t y = 0; y < image.GetHeight(); ++y) {
            if (y > 0) s += '/';
            s.append(reinterpret_cast<const char*>(image.GetScanline(y)), image.GetWidth());
        }
        return s;
    };
    TOwnedProc owned;
    TEventLog log;
    log.Attach(*owned.Proc);
    owned.Proc->SetAttachedBitmap(&image);
    owned.Proc->Rotate(0, false, 0, -1);
    EXPECT_TRUE(log.Events.empty());
    owned.Proc->Rotate(90, false, 0, -1);
    EXPECT_EQ(letters(), "DH/CG/BF/AE");
    owned.Proc->Rotate(-90, false, 0, -1);
    owned.Proc->Rotate(270, false, 0, -1);
    EXPECT_EQ(letters(), "EA/FB/GC/HD");
    owned.Proc->Rotate(90, false, 0, -1);
    log.Events.clear();
    owned.Proc->Rotate(360, false, 0, -1);
    EXPECT_EQ(letters(), "ABCD/EFGH");
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "p:100", "finish"}));
    EXPECT_EQ(owned.Proc->GetUndoCaption(0), u"Rotate 360");
}

TEST(RotateQuarterTurns, QuarterCopiesAndOneBitExactAngles) {
    TVLBitmap source, cw, ccw;
    MakePicture(source, 5, 3, vl24RGB, 1);
    RotateQuarterCW24(source, cw);
    RotateQuarterCCW24(source, ccw);
    ASSERT_EQ(cw.GetWidth(), 3);
    EXPECT_EQ(cw.GetPixelRGB(0, 0), source.GetPixelRGB(0, 2));
    EXPECT_EQ(ccw.GetPixelRGB(0, 0), source.GetPixelRGB(4, 0));
    TVLBitmap grey, cw8;
    MakePicture(grey, 5, 3, vl8g, 2);
    RotateQuarterCW8(grey, cw8);
    EXPECT_EQ(cw8.GetPixel8(2, 4), grey.GetPixel8(4, 0));
    RotateQuarterCCW8(source, cw8); // not one byte per pixel: untouched
    EXPECT_EQ(cw8.GetPixelFormat(), vl8g);

    for (double angle : {90.0, -90.0, 270.0, 180.0, -180.0}) {
        SCOPED_TRACE(angle);
        TVLBitmap bits, expected;
        MakePicture(bits, 13, 5, vl1g, 3);
        RotateNearest(bits, expected, angle, 0);
        Rotate1Bit(bits, angle, false);
        EXPECT_EQ(Pixels(bits), Pixels(expected));
    }
}

// ---- Sizes ----

TEST(RotateSizes, TheThreeTechniques) {
    struct TCase {
        TVLPixelFormat Format;
        int32_t W, H;
        double Angle;
        bool AntiAlias;
        uint8_t Mode;
        int32_t ExpectW, ExpectH;
    };
    const TCase cases[] = {
        {vl24RGB, 100, 50, 45, false, 0, 106, 106}, // nearest: the rotated box
        {vl24RGB, 100, 100, 45, true, 0, 143, 141}, // shears
        {vl24RGB, 100, 100, 30, true, 1, 137, 137}, // interpolated
        {vl24RGB, 100, 100, 30, true, 2, 137, 137},
        {vl24RGB, 100, 100, 90, true, 1, 100, 100}, // a quarter turn: exact
        {vl24RGB, 1, 1, 30, true, 1, 2, 2},
        {vl1g, 100, 50, 30, true, 0, 111, 93}, // four-decimal sine and cosine
        {vl8g, 100, 50, 30, true, 2, 112, 93}, // only 24-bit images interpolate
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.Format)) + " at " + std::to_string(c.Angle) +
                     " mode " + std::to_string(c.Mode));
        TVLBitmap image;
        MakePicture(image, c.W, c.H, c.Format, 1, true);
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&image);
        proc.Rotate(c.Angle, c.AntiAlias, c.Mode, -1);
        EXPECT_EQ(image.GetWidth(), c.ExpectW);
        EXPECT_EQ(image.GetHeight(), c.ExpectH);
        ASSERT_TRUE(image.HasAlphaChannel());
        EXPECT_EQ(image.GetAlphaChannel()->GetWidth(), c.ExpectW);
        EXPECT_EQ(image.GetAlphaChannel()->GetHeight(), c.ExpectH);
    }
}

// ---- Against ImageMagick ----

TEST(RotateAgainstImageMagick, ShearsInTheInterior) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert missing";
    const TColor background = 0x205080;
    for (double angle : {17.0, 30.0, 45.0, -30.0, 120.0}) {
        SCOPED_TRACE(angle);
        TVLBitmap image;
        MakeSmooth(image, 121, 97);
        TNetpbm ref;
        int32_t px = 0, py = 0;
        ASSERT_TRUE(ConvertPicture(image, false,
                                   "-background " + ColorArg(background) + " -rotate " +
                                       std::to_string(-angle),
                                   ref, px, py));
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&image);
        proc.Rotate(angle, true, 0, background);
        const TComparison c =
            CompareInterior(image, (image.GetWidth() - 1) / 2.0, (image.GetHeight() - 1) / 2.0, ref,
                            121 / 2.0 - px - 0.5, 97 / 2.0 - py - 0.5, angle, 121, 97, 6);
        EXPECT_GT(c.Count, 3000);
        EXPECT_GE(c.Psnr, 30.0);
        // The corners are background.
        EXPECT_EQ(RGBTripleToColor(image.GetPixelRGB(0, 0)), background);
    }
}

TEST(RotateAgainstImageMagick, InterpolatedAndNearestInTheInterior) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert missing";
    struct TCase {
        const char* Name;
        bool AntiAlias;
        uint8_t Mode;
        const char* Interpolate;
        double MinPsnr;
        double MaxDifferent;
    };
    const TCase cases[] = {{"bilinear", true, 1, "bilinear", 35, 1},
                           {"bicubic", true, 2, "catrom", 35, 1},
                           {"nearest", false, 0, "nearest", 0, 0.01}};
    for (const TCase& t : cases) {
        for (double angle : {17.0, 30.0, 45.0}) {
            SCOPED_TRACE(std::string(t.Name) + " at " + std::to_string(angle));
            // Sizes whose rotated centres fall on pixels in both results.
            const bool interpolated = t.AntiAlias;
            int32_t w = 0, h = 0;
            EvenlyCentred(
                110,
                [&](int32_t W, int32_t H, int32_t& RW, int32_t& RH) {
                    if (interpolated) {
                        const double a = angle * std::numbers::pi / 180;
                        const double s = std::fabs(std::sin(a)), c = std::fabs(std::cos(a));
                        RW = static_cast<int32_t>(std::nearbyint(s * (H + 5) + c * (W + 5))) - 6;
                        RH = static_cast<int32_t>(std::nearbyint(c * (H + 5) + s * (W + 5))) - 6;
                    } else {
                        RotatedBox(W, H, angle, RW, RH);
                    }
                },
                w, h);
            TVLBitmap image;
            MakeSmooth(image, w, h);
            TNetpbm ref;
            int32_t px = 0, py = 0;
            ASSERT_TRUE(ConvertPicture(image, false,
                                       std::string("-virtual-pixel background -background black "
                                                   "-filter point -interpolate ") +
                                           t.Interpolate + " +distort SRT " +
                                           std::to_string(-angle),
                                       ref, px, py));
            TVistrelProc proc(nullptr);
            proc.SetAttachedBitmap(&image);
            proc.Rotate(angle, t.AntiAlias, t.Mode, 0);
            const TComparison c =
                CompareInterior(image, (image.GetWidth() - 1) / 2.0, (image.GetHeight() - 1) / 2.0,
                                ref, w / 2.0 - px - 0.5, h / 2.0 - py - 0.5, angle, w, h, 4);
            EXPECT_GT(c.Count, 3000);
            EXPECT_GE(c.Psnr, t.MinPsnr);
            EXPECT_LE(c.DifferentShare, t.MaxDifferent);
        }
    }
}

// ---- The routines' own cases ----

TEST(RotateByShears, AngleNormalisationAndExactCopies) {
    TVLBitmap source;
    MakePicture(source, 30, 20, vl24RGB, 5);
    auto rotated = [&](double Angle, bool AntiAlias) {
        TVLBitmap b;
        b.Assign(&source);
        RotateByShears(b, AntiAlias, Angle, 0x102030);
        return b.GetWidth() > 0
                   ? std::to_string(b.GetWidth()) + "x" + std::to_string(b.GetHeight()) + Pixels(b)
                   : std::string();
    };
    EXPECT_EQ(rotated(400, true), rotated(40, true));
    EXPECT_EQ(rotated(-100, true), [&] {
        TVLBitmap b;
        b.Assign(&source);
        TurnBitmap(b, VLTurnRight);
        RotateByShears(b, true, -10, 0x102030);
        return std::to_string(b.GetWidth()) + "x" + std::to_string(b.GetHeight()) + Pixels(b);
    }());
    EXPECT_EQ(rotated(0.0004, true), "30x20" + Pixels(source));
    EXPECT_EQ(rotated(90, true), [&] {
        TVLBitmap b;
        RotateNearest(source, b, 90, 0);
        return "20x30" + Pixels(b);
    }());
    // Without antialiasing every pixel is a source pixel or the background.
    TVLBitmap flat;
    ASSERT_TRUE(flat.Allocate(40, 30, vl24RGB));
    flat.Fill(0x0000FF);
    RotateByShears(flat, false, 33, 0x00FF00);
    for (int32_t y = 0; y < flat.GetHeight(); ++y)
        for (int32_t x = 0; x < flat.GetWidth(); ++x) {
            const TVLRGB p = flat.GetPixelRGB(x, y);
            ASSERT_TRUE(p == (TVLRGB{0, 0, 255}) || p == (TVLRGB{0, 255, 0})) << x << "," << y;
        }
    // Flat areas keep their colour exactly, odd levels included.
    ASSERT_TRUE(flat.Allocate(40, 30, vl24RGB));
    flat.Fill(0x656565);
    RotateByShears(flat, true, 17, 0x656565);
    for (int32_t y = 0; y < flat.GetHeight(); ++y)
        for (int32_t x = 0; x < flat.GetWidth(); ++x)
            ASSERT_EQ(flat.GetPixelRGB(x, y), (TVLRGB{0x65, 0x65, 0x65})) << x << "," << y;
}

TEST(RotateByShears, AnglesAreCutToThousandthsOfADegreeTowardZero) {
    // Sizes from the three-shear formulas for a 100 x 60 picture: a thousandth of a degree
    // already shears (102 x 61), nine ten-thousandths do not; 45 degrees shears without a
    // quarter turn (114 x 114), 45.001 after one (114 x 113). Rounding the thousandths, or
    // cutting them toward minus infinity, moves some of these across.
    struct TCase {
        double Angle;
        int32_t W, H;
        bool Unchanged;
    };
    const TCase cases[] = {
        {0.0009, 100, 60, true},     {-0.0009, 100, 60, true},   {0.001, 102, 61, false},
        {-0.001, 102, 61, false},    {45.0009, 114, 114, false}, {45.001, 114, 113, false},
        {-45.0009, 114, 114, false}, {-45.001, 114, 113, false}, {360.0009, 100, 60, true},
    };
    TVLBitmap source;
    MakePicture(source, 100, 60, vl24RGB, 9);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Angle);
        TVLBitmap b;
        b.Assign(&source);
        RotateByShears(b, true, c.Angle, 0x102030);
        EXPECT_EQ(b.GetWidth(), c.W);
        EXPECT_EQ(b.GetHeight(), c.H);
        if (c.Unchanged) {
            EXPECT_EQ(Pixels(b), Pixels(source));
        }
    }
    // Just past a quarter turn the angle folds to exactly 0: the turn alone, as at 90.
    TVLBitmap turned, exact;
    turned.Assign(&source);
    exact.Assign(&source);
    RotateByShears(turned, true, 90.0009, 0);
    RotateByShears(exact, true, 90, 0);
    EXPECT_EQ(turned.GetWidth(), 60);
    EXPECT_EQ(Pixels(turned), Pixels(exact));
}

TEST(RotateByShears, OtherFormatsAreTurnedByWholePixels) {
    for (TVLPixelFormat format : {vl8g, vl8p, vl16g, vl32f, vlCMYK, vlRGB48, vlCIELab, vl32RGB}) {
        for (double angle : {90.0, -90.0, 30.0}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " at " + std::to_string(angle));
            TVLBitmap image, expected;
            MakePicture(image, 9, 6, format, 4);
            RotateNearest(image, expected, angle, RGBTripleToColor(TVLRGB{3, 2, 1}));
            RotateByShears(image, true, angle, 0x010203);
            ASSERT_EQ(image.GetPixelFormat(), format);
            EXPECT_EQ(Pixels(image), Pixels(expected));
        }
    }
}

TEST(Rotate1Bit, CornersFollowTheBackground) {
    struct TCase {
        bool AntiAlias;
        TColor Background;
        bool WhiteCorners;
    };
    const TCase cases[] = {{true, 0xFFFFFF, true},
                           {true, 0x0101FF, true},
                           {true, 0x00FFFF, false},
                           {false, 0xFFFFFF, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Background);
        TVLBitmap bits;
        ASSERT_TRUE(bits.Allocate(40, 30, vl1g));
        bits.Fill(0);
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&bits);
        proc.Rotate(30, c.AntiAlias, 0, c.Background);
        ASSERT_EQ(bits.GetPixelFormat(), vl1g);
        EXPECT_EQ(GetRowBit(bits.GetScanline(0), 0) != 0, c.WhiteCorners);
        const int32_t w = bits.GetWidth() - 1;
        EXPECT_EQ(GetRowBit(bits.GetScanline(bits.GetHeight() - 1), static_cast<uint32_t>(w)) != 0,
                  c.WhiteCorners);
        EXPECT_EQ(GetRowBit(bits.GetScanline(bits.GetHeight() / 2), bits.GetWidth() / 2), 0);
    }
}

TEST(Rotate8Bit, KeepsThePaletteAndFillsTheBackground) {
    TVLBitmap image;
    MakePicture(image, 20, 12, vl8p, 1);
    image.SetPaletteColor(7, TVLRGB{1, 2, 3});
    Rotate8Bit(image, 30, 7);
    EXPECT_EQ(image.GetPixelFormat(), vl8p);
    EXPECT_EQ(image.GetPixel8(0, 0), 7);
    EXPECT_EQ(image.GetPixelAsRGB(0, 0), (TVLRGB{1, 2, 3}));
}

TEST(RotateNearestPath, PaletteAlphaAndProgress) {
    TVLBitmap image;
    MakePicture(image, 40, 20, vl8p, 2, true);
    image.SetPaletteColor(9, TVLRGB{10, 20, 30});
    image.GetAlphaChannel()->Fill(200);
    TOwnedProc owned;
    TEventLog log;
    log.Attach(*owned.Proc);
    owned.Proc->SetAttachedBitmap(&image);
    owned.Proc->Rotate(45, false, 0, 9);
    EXPECT_EQ(image.GetPixelFormat(), vl8p);
    EXPECT_EQ(image.GetPixelAsRGB(0, 0), (TVLRGB{10, 20, 30}));
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(image.GetAlphaPixel(image.GetWidth() / 2, image.GetHeight() / 2), 200);
    EXPECT_FALSE(image.GetAlphaChannel()->Full);
    EXPECT_TRUE(log.ProgressInRange());
    EXPECT_EQ(log.Milestones(), (std::vector<std::string>{"undo:1", "p:100", "finish"}));
}

TEST(RotateInterpolated, ModesEdgesAndAlpha) {
    TVLBitmap bilinear, other;
    MakePicture(bilinear, 30, 20, vl24RGB, 3);
    other.Assign(&bilinear);
    RotateInterpolated24(bilinear, 30, 0x102030, 1);
    RotateInterpolated24(other, 30, 0x102030, 7); // an unknown mode samples bilinearly
    EXPECT_EQ(Pixels(other), Pixels(bilinear));

    // A black-to-white edge: the bicubic undershoot on the black side is clamped to black, so
    // that it is black wherever the bilinear result (which cannot undershoot) is.
    TVLBitmap edge, linear;
    ASSERT_TRUE(edge.Allocate(40, 40, vl24RGB));
    edge.Fill(0);
    edge.FillRect(20, 0, 39, 39, 0xFFFFFF);
    linear.Assign(&edge);
    RotateInterpolated24(edge, 0.5, 0, 2);
    RotateInterpolated24(linear, 0.5, 0, 1);
    ASSERT_EQ(edge.GetWidth(), linear.GetWidth());
    for (int32_t y = 10; y < 30; ++y)
        for (int32_t x = 3; x < 28; ++x)
            if (linear.GetPixelRGB(x, y).g == 0) {
                EXPECT_EQ(edge.GetPixelRGB(x, y).g, 0) << x << "," << y;
            }

    TVLBitmap image;
    MakePicture(image, 30, 20, vl24RGB, 3, true);
    image.GetAlphaChannel()->Fill(255);
    TVistrelProc proc(nullptr);
    TEventLog log;
    log.Attach(proc);
    proc.SetAttachedBitmap(&image);
    proc.Rotate(30, true, 2, 0);
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(image.GetAlphaPixel(image.GetWidth() / 2, image.GetHeight() / 2), 255);
    EXPECT_TRUE(log.ProgressInRange());
}

TEST(RotateShearsPath, AlphaAndProgress) {
    TVLBitmap image;
    MakePicture(image, 50, 30, vl24RGB, 3, true);
    image.GetAlphaChannel()->Fill(255);
    TVistrelProc proc(nullptr);
    TEventLog log;
    log.Attach(proc);
    proc.SetAttachedBitmap(&image);
    proc.Rotate(30, true, 0, 0);
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(image.GetAlphaPixel(image.GetWidth() / 2, image.GetHeight() / 2), 255);
    EXPECT_TRUE(log.ProgressInRange());
    EXPECT_EQ(log.Events.back(), "finish");
}

// ---- Undo over many turns ----

TEST(RotateUndo, ThreeHundredQuarterTurnsComeBackAtEveryDepth) {
    TVLBitmap image;
    MakePicture(image, 7, 5, vl24RGB, 9, true);
    std::string turned[4];
    {
        TVLBitmap copy;
        copy.Assign(&image);
        for (std::string& s : turned) {
            s = Pixels(copy);
            TurnBitmap(copy, VLTurnLeft);
        }
    }
    TOwnedProc owned;
    owned.Proc->SetAttachedBitmap(&image);
    owned.Proc->SetUndoLimit(300);
    for (int i = 0; i < 300; ++i)
        owned.Proc->Rotate(90, false, 0, -1);
    ASSERT_EQ(owned.Proc->GetUndoCount(), 300);
    EXPECT_EQ(Pixels(image), turned[0]); // 300 turns = 75 whole turns
    for (int32_t depth : {0, 1, 2, 3, 150, 298, 299}) {
        SCOPED_TRACE(depth);
        // Entry 299 - depth holds the picture before turn 299 - depth.
        owned.Proc->UndoAt(depth, true);
        EXPECT_EQ(Pixels(image), turned[(299 - depth) % 4]);
        TurnBitmap(image, VLTurnHalf);
        owned.Proc->Redo();
        EXPECT_EQ(Pixels(image), turned[0]) << "redo restores the state before the undo";
        owned.Proc->DiscardRedo();
    }
}
