// Kernels against their formulas, the resamplers' point sampling, and the stretch routines
// against ImageMagick on a synthetic photo-like picture.
#include "RasterTesting.h"

#include "raster/RasterResamplers.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <sstream>

using namespace raster;

namespace {

using Resamplers = RasterTest;

constexpr double Pi = std::numbers::pi;

double SincD(double X) {
    return X == 0 ? 1 : std::sin(Pi * X) / (Pi * X);
}

TEST_F(Resamplers, KernelsFollowTheirFormulas) {
    const auto cubic = [](double c) {
        return [c](double x) {
            const double a = std::abs(x);
            if (a < 1) return a * a * a * (c + 2) - a * a * (c + 3) + 1;
            if (a < 2) return c * (a * a * a - 5 * a * a + 8 * a - 4);
            return 0.0;
        };
    };
    const auto windowed = [](std::function<double(double)> window) {
        return [window](double x) {
            const double a = std::abs(x);
            return a >= 3 ? 0.0 : window(a) * SincD(a);
        };
    };
    struct Case {
        const char* Name;
        std::unique_ptr<TCustomKernel> Kernel;
        std::function<double(double)> Formula;
    };
    std::vector<Case> cases;
    cases.push_back({"box", std::make_unique<TBoxKernel>(),
                     [](double x) { return std::abs(x) <= 0.5 ? 1.0 : 0.0; }});
    cases.push_back({"linear", std::make_unique<TLinearKernel>(),
                     [](double x) { return std::max(0.0, 1 - std::abs(x)); }});
    cases.push_back({"cosine", std::make_unique<TCosineKernel>(), [](double x) {
                         return std::abs(x) < 1 ? (std::cos(Pi * x) + 1) / 2 : 0.0;
                     }});
    cases.push_back({"spline", std::make_unique<TSplineKernel>(), [](double x) {
                         const double a = std::abs(x);
                         if (a < 1) return a * a * a / 2 - a * a + 2.0 / 3;
                         if (a < 2) return (2 - a) * (2 - a) * (2 - a) / 6;
                         return 0.0;
                     }});
    cases.push_back({"mitchell", std::make_unique<TMitchellKernel>(), [](double x) {
                         const double a = std::abs(x);
                         if (a < 1) return (7 * a * a * a - 12 * a * a + 16.0 / 3) / 6;
                         if (a < 2)
                             return (-7.0 / 3 * a * a * a + 12 * a * a - 20 * a + 32.0 / 3) / 6;
                         return 0.0;
                     }});
    cases.push_back({"cubic", std::make_unique<TCubicKernel>(), cubic(-0.5)});
    cases.push_back({"hermite", std::make_unique<THermiteKernel>(), cubic(-0.5)});
    cases.push_back({"sinsh", std::make_unique<TSinshKernel>(), [](double x) {
                         return x == 0 ? 1.0 : std::sin(Pi * x) * 0.5 / std::sinh(Pi * 0.5 * x);
                     }});
    cases.push_back({"lanczos", std::make_unique<TLanczosKernel>(),
                     windowed([](double a) { return SincD(a / 3); })});
    cases.push_back({"gaussian", std::make_unique<TGaussianKernel>(),
                     windowed([](double a) { return std::exp2(-a * a / 1.33); })});
    cases.push_back({"blackman", std::make_unique<TBlackmanKernel>(), windowed([](double a) {
                         return 0.42 + 0.5 * std::cos(Pi * a / 3) + 0.08 * std::cos(2 * Pi * a / 3);
                     })});
    cases.push_back({"hann", std::make_unique<THannKernel>(),
                     windowed([](double a) { return 0.5 + 0.5 * std::cos(Pi * a / 3); })});
    cases.push_back({"hamming", std::make_unique<THammingKernel>(),
                     windowed([](double a) { return 0.54 + 0.46 * std::cos(Pi * a / 3); })});
    for (auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (int i = -400; i <= 400; ++i) {
            const float x = static_cast<float>(i) / 97.0f;
            EXPECT_NEAR(c.Kernel->Filter(x), c.Formula(x), 1e-6) << x;
        }
    }
    TBoxKernel box;
    EXPECT_EQ(box.Filter(0.5f), 1.0f);
    EXPECT_EQ(box.Filter(-0.5f), 1.0f);
    EXPECT_EQ(box.Filter(0.5000001f), 0.0f);
    TLinearKernel linear;
    EXPECT_EQ(linear.Filter(-1), 0.0f);
    TLanczosKernel lanczos;
    EXPECT_EQ(lanczos.Filter(3), 0.0f);
}

TEST_F(Resamplers, ZeroParametersAreRefused) {
    TGaussianKernel gaussian;
    gaussian.SetSigma(0);
    EXPECT_FLOAT_EQ(gaussian.Sigma(), 1.33f);
    EXPECT_TRUE(std::isfinite(gaussian.Filter(0.5f)));
    gaussian.SetSigma(2);
    EXPECT_FLOAT_EQ(gaussian.Sigma(), 2.0f);
    TSinshKernel sinsh;
    sinsh.SetCoeff(0);
    EXPECT_FLOAT_EQ(sinsh.Coeff(), 0.5f);
    EXPECT_TRUE(std::isfinite(sinsh.Filter(0.5f)));
}

TEST_F(Resamplers, BitmapsStartNearestAndSwitchByName) {
    TBitmap32 b;
    EXPECT_NE(dynamic_cast<TNearestResampler*>(b.Resampler()), nullptr);
    b.SetResamplerClassName(u"TLinearResampler");
    EXPECT_NE(dynamic_cast<TLinearResampler*>(b.Resampler()), nullptr);
    auto* kernel = new TKernelResampler(&b);
    EXPECT_EQ(b.Resampler(), kernel);
    kernel->SetKernelClassName(u"TLanczosKernel");
    EXPECT_NE(dynamic_cast<TLanczosKernel*>(kernel->Kernel()), nullptr);
    kernel->SetKernelClassName(u"TNoSuchKernel");
    EXPECT_NE(dynamic_cast<TLanczosKernel*>(kernel->Kernel()), nullptr);
    kernel->SetTableSize(1);
    EXPECT_EQ(kernel->TableSize(), 2);
    dynamic_cast<TLanczosKernel*>(kernel->Kernel())->SetWidth(2);
    TBitmap32 copy;
    b.CopyPropertiesTo(copy);
    auto* copied = dynamic_cast<TKernelResampler*>(copy.Resampler());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->KernelClassName(), u"TLanczosKernel");
    EXPECT_FLOAT_EQ(copied->Kernel()->GetWidth(), 2.0f);
    EXPECT_EQ(copied->TableSize(), 2);
}

TEST_F(Resamplers, KernelPointSampling) {
    TBitmap32 b;
    b.SetSize(4, 4);
    b.Clear(0);
    b.SetPixel(0, 0, 0xFF000010);
    b.SetPixel(1, 0, 0xFF000020);
    b.SetPixel(0, 1, 0xFF000031);
    b.SetPixel(1, 1, 0xFF000041);
    b.OuterColor = 0x11223344;
    auto* r = new TKernelResampler(&b);
    r->SetKernel(new TLinearKernel);
    for (const TKernelMode mode : {kmDynamic, kmTableNearest, kmTableLinear}) {
        SCOPED_TRACE(int(mode));
        r->SetKernelMode(mode);
        r->PrepareSampling();
        // (16 + 32 + 49 + 65) / 4 exactly; the tables hold the kernel at steps of 1/31.
        EXPECT_NEAR(double(r->GetSampleFloat(0.5f, 0.5f)), double(0xFF000028u),
                    mode == kmDynamic ? 0 : 1);
        EXPECT_EQ(r->GetSampleFloat(1, 1), 0xFF000041u);
        EXPECT_EQ(r->GetSampleFloat(-2, 0), 0x11223344u);
        r->FinalizeSampling();
    }
    r->SetKernel(new TBoxKernel);
    r->SetKernelMode(kmDynamic);
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFloat(0.5f, 0.5f), 0xFF000010u);
    r->FinalizeSampling();
}

// Linear reads of the bilinear resampler do not depend on the gamma of the writes.
TEST_F(Resamplers, LinearSamplesIgnoreGamma) {
    TBitmap32 b;
    b.SetSize(2, 2);
    b.Clear(0xFF000000);
    b.SetPixel(1, 0, 0xFFFFFFFF);
    b.SetPixel(1, 1, 0xFFFFFFFF);
    auto* r = new TLinearResampler(&b);
    for (const TPixelAccessMode mode : {pamUnsafe, pamSafe, pamWrap}) {
        r->SetPixelAccessMode(mode);
        r->PrepareSampling();
        EXPECT_EQ(r->GetSampleFloat(0.5f, 0) & 0xFF, 128u) << int(mode);
    }
}

// The middle frame of a three-colour strip holds only its own colour at any scale.
TEST_F(Resamplers, StripFramesDoNotBleed) {
    TBitmap32 strip;
    strip.SetSize(48, 16);
    strip.FillRect(0, 0, 16, 16, 0xFFFF0000);
    strip.FillRect(16, 0, 32, 16, 0xFF00FF00);
    strip.FillRect(32, 0, 48, 16, 0xFF0000FF);
    for (const char* name : {"TNearestResampler", "TLinearResampler", "TDraftResampler",
                             "TKernelResampler"}) {
        SCOPED_TRACE(name);
        strip.SetResamplerClassName(String(name, name + std::strlen(name)));
        if (auto* k = dynamic_cast<TKernelResampler*>(strip.Resampler()))
            k->SetKernel(new TLanczosKernel);
        for (const int size : {64, 8}) {
            TBitmap32 dst;
            dst.SetSize(size, size);
            strip.Resampler()->Resample(dst, {0, 0, size, size}, {0, 0, size, size}, strip,
                                        {16, 0, 32, 16}, dmOpaque, nullptr);
            // Nothing of the neighbours' red or blue; each of the two bilinear mixings of equal
            // colours may lose one step of green and alpha.
            for (int i = 0; i < size * size; ++i) {
                const TColor32 c = dst.Bits()[i];
                ASSERT_EQ(c & 0x00FF00FF, 0u) << size << " at " << i;
                ASSERT_GE((c >> 8) & 0xFF, 253u) << size << " at " << i;
                ASSERT_GE(c >> 24, 253u) << size << " at " << i;
            }
        }
    }
}

TEST_F(Resamplers, DraftHalvingIsTheTruncatedMean) {
    TBitmap32 src, dst;
    src.SetSize(4, 2);
    const TColor32 px[] = {0x04030201, 0x01010101, 0x10101010, 0x20202020,
                           0x00000000, 0x02020202, 0x30303030, 0x40404041};
    std::copy(std::begin(px), std::end(px), src.Bits());
    dst.SetSize(2, 1);
    TDraftResampler r(nullptr);
    r.Resample(dst, {0, 0, 2, 1}, {0, 0, 2, 1}, src, {0, 0, 4, 2}, dmOpaque, nullptr);
    EXPECT_EQ(dst.GetPixel(0, 0), 0x01010101u); // (4+1+0+2)/4 = 1, (3+1+0+2)/4 = 1 ...
    EXPECT_EQ(dst.GetPixel(1, 0), 0x28282828u); // (16+32+48+64)/4 = 40; blue 161/4 = 40
}

// A large reduction with the box average keeps its sums in range: a 4096-wide white row
// averaged into one pixel stays white.
TEST_F(Resamplers, DraftLargeReductionKeepsWhite) {
    TBitmap32 src, dst;
    src.SetSize(8192, 600);
    src.Clear(0xFFFFFFFF);
    dst.SetSize(1, 1);
    TDraftResampler r(nullptr);
    r.Resample(dst, {0, 0, 1, 1}, {0, 0, 1, 1}, src, {0, 0, 8192, 600}, dmOpaque, nullptr);
    EXPECT_EQ(dst.GetPixel(0, 0), 0xFFFFFFFFu);
}

// The transparent mode leaves exactly the pixels alone whose stretched colour is the outer colour.
TEST_F(Resamplers, TransparentModeSkipsTheOuterColour) {
    TBitmap32 src;
    src.SetSize(4, 4);
    src.Clear(0xFF0000FF);
    src.FillRect(0, 0, 2, 4, 0xFFFF0000);
    src.OuterColor = 0xFFFF0000;
    for (const char* name : {"TNearestResampler", "TLinearResampler", "TDraftResampler",
                             "TKernelResampler"}) {
        SCOPED_TRACE(name);
        src.SetResamplerClassName(String(name, name + std::strlen(name)));
        for (const int size : {8, 2}) {
            TBitmap32 opaque, transparent;
            opaque.SetSize(size, size);
            transparent.SetSize(size, size);
            transparent.Clear(0xFF00FF00);
            const TRect rect{0, 0, size, size};
            src.Resampler()->Resample(opaque, rect, rect, src, {0, 0, 4, 4}, dmOpaque, nullptr);
            src.Resampler()->Resample(transparent, rect, rect, src, {0, 0, 4, 4}, dmTransparent,
                                      nullptr);
            int skipped = 0;
            for (int i = 0; i < size * size; ++i) {
                const TColor32 o = opaque.Bits()[i];
                EXPECT_EQ(transparent.Bits()[i], o == src.OuterColor ? 0xFF00FF00u : o) << i;
                skipped += o == src.OuterColor;
            }
            if (size == 8) {
                EXPECT_GT(skipped, 0);
            }
        }
    }
}

// Reference comparisons with ImageMagick.

TColor32 PhotoPixel(int x, int y) {
    const double fx = x / 1600.0, fy = y / 480.0;
    auto channel = [&](double a, double b, double c) {
        double v = 128 + 70 * std::sin(a * fx * 2 * Pi + b * fy) +
                   40 * std::cos(c * fy * 2 * Pi + 3 * fx) +
                   20 * std::sin((x * 0.37 + y * 0.23) * 0.5);
        // A soft-edged disc.
        const double dx = x - 800.0, dy = y - 240.0;
        v += 50 / (1 + std::exp((std::sqrt(dx * dx + dy * dy) - 150) / 2.0));
        return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    return 0xFF000000u | channel(3, 1, 2) << 16 | channel(5, 2, 1) << 8 | channel(2, 3, 4);
}

class ImageMagickResize : public Resamplers {
protected:
    static void SetUpTestSuite() {
        Resamplers::SetUpTestSuite();
        Photo = new TBitmap32;
        Photo->SetSize(1600, 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 1600; ++x)
                Photo->SetPixel(x, y, PhotoPixel(x, y));
    }
    static void TearDownTestSuite() {
        delete Photo;
        Photo = nullptr;
        Resamplers::TearDownTestSuite();
    }

    // Resizes Photo with ImageMagick's Args into Rgb; false (with a skip or failure) when
    // ImageMagick is missing.
    bool Reference(const std::string& Args, int W, int H, std::vector<uint8_t>& Rgb) {
        if (!ToolExists("convert")) return false;
        if (Folder.Read("in.ppm").empty()) WriteFileBytes(Folder.File("in.ppm"), Ppm(*Photo));
        std::string output;
        EXPECT_TRUE(Folder.Run("convert " + Folder.File("in.ppm") + " " + Args + " " +
                                   Folder.File("out.ppm"),
                               output));
        int w = 0, h = 0;
        EXPECT_TRUE(ReadPpm(Folder.Read("out.ppm"), w, h, Rgb));
        EXPECT_EQ(w, W);
        EXPECT_EQ(h, H);
        return true;
    }

    static TBitmap32* Photo;
    ScratchFolder Folder;
};

TBitmap32* ImageMagickResize::Photo = nullptr;

TEST_F(ImageMagickResize, KernelsAgreeWithImageMagick) {
    struct Case {
        const char* Filter;
        std::function<TCustomKernel*()> Make;
    } cases[] = {
        {"Box", [] { return new TBoxKernel; }},
        {"Triangle", [] { return new TLinearKernel; }},
        {"Cubic", [] { return new TSplineKernel; }},
        {"Mitchell", [] { return new TMitchellKernel; }},
        {"Catrom", [] { return new TCubicKernel; }},
        {"Lanczos", [] { return new TLanczosKernel; }},
    };
    for (const auto& c : cases) {
        for (const int percent : {25, 200}) {
            SCOPED_TRACE(std::string(c.Filter) + " " + std::to_string(percent) + "%");
            const int w = 1600 * percent / 100, h = 480 * percent / 100;
            std::vector<uint8_t> reference;
            if (!Reference(std::string("-filter ") + c.Filter + " -resize " + std::to_string(w) +
                               "x" + std::to_string(h) + "!",
                           w, h, reference))
                SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
            TBitmap32 dst;
            dst.SetSize(w, h);
            KernelStretch(dst, {0, 0, w, h}, {0, 0, w, h}, *Photo, {0, 0, 1600, 480},
                          *std::unique_ptr<TCustomKernel>(c.Make()), dmOpaque, nullptr);
            // The interior: the edges depend on how each side extends the picture.
            const int margin = 12;
            double sum = 0;
            int max = 0, count = 0;
            for (int y = margin; y < h - margin; ++y)
                for (int x = margin; x < w - margin; ++x) {
                    const TColor32 p = dst.GetPixel(x, y);
                    const uint8_t* r = &reference[(size_t(y) * w + x) * 3];
                    const int d[3] = {int((p >> 16) & 0xFF) - r[0], int((p >> 8) & 0xFF) - r[1],
                                      int(p & 0xFF) - r[2]};
                    for (const int v : d) {
                        sum += std::abs(v);
                        max = std::max(max, std::abs(v));
                        ++count;
                    }
                }
            EXPECT_LE(sum / count, 0.6);
            EXPECT_LE(max, 4);
        }
    }
}

TEST_F(ImageMagickResize, NearestEqualsSample) {
    TBitmap32 src;
    src.SetSize(160, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 160; ++x)
            src.SetPixel(x, y, Photo->GetPixel(x * 10, y * 10));
    TBitmap32* saved = Photo;
    Photo = &src;
    std::vector<uint8_t> reference;
    const bool ran = Reference("-sample 300%", 480, 144, reference);
    Photo = saved;
    if (!ran) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    TBitmap32 dst;
    dst.SetSize(480, 144);
    NearestStretch(dst, {0, 0, 480, 144}, {0, 0, 480, 144}, src, {0, 0, 160, 48}, dmOpaque,
                   nullptr);
    for (int i = 0; i < 480 * 144; ++i) {
        const TColor32 expected = 0xFF000000u | reference[i * 3] << 16 |
                                  reference[i * 3 + 1] << 8 | reference[i * 3 + 2];
        ASSERT_EQ(dst.Bits()[i], expected) << i;
    }
}

} // namespace
