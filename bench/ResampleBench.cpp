// Times, single-threaded (one case also on every processor) and in memory, the resampling kernels and the renderer on a synthetic
// 24-megapixel RGB picture and the conversion of a synthetic 12-megapixel photograph to 256
// palette colours. Writes the pictures (and the crop that is enlarged) as PPM files for the peer
// tools, and the palette result as palette-ours.ppm (palette-boxes.ppm for the box splitter).
//
// Usage: sv_bench_resample OUTPUT_FOLDER [RUNS [CASE]]
// Prints one line per case (or only CASE): name, destination size and the best time of RUNS runs
// in ms.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLRender.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleFast.h"
#include "imaging/core/VLThreadPool.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

using enum TVLPixelFormat;

namespace {

constexpr int32_t SourceWidth = 6000;
constexpr int32_t SourceHeight = 4000;
constexpr int32_t CropX = 2500, CropY = 1650, CropWidth = 1000, CropHeight = 700;

// Smooth gradients with fine detail and a little noise, so that no resampler meets flat data.
void FillSynthetic(TVLBitmap& Bitmap) {
    uint32_t noise = 2463534242u;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise & 15);
            row[3 * x] = static_cast<uint8_t>((x * 255 / SourceWidth + n) & 0xFF);
            row[3 * x + 1] = static_cast<uint8_t>((y * 255 / SourceHeight + n) & 0xFF);
            row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) & 0x3F) * 3 + n);
        }
    }
}

// A picture with the statistics of a photograph: large smooth areas (sky, ground, a sunlit disc)
// with soft edges and per-pixel noise.
void FillPhotoLike(TVLBitmap& Bitmap) {
    const int32_t width = Bitmap.GetWidth();
    const int32_t height = Bitmap.GetHeight();
    uint32_t noise = 88172645u;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        const double v = static_cast<double>(y) / height;
        for (int32_t x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise % 9) - 4;
            const double u = static_cast<double>(x) / width;
            const double horizon = 0.45 + 0.05 * std::sin(u * 9);
            const double sky = std::clamp((horizon - v) * 40, 0.0, 1.0);
            const double dx = u - 0.7, dy = v - 0.25;
            const double sun = std::clamp((0.1 - std::sqrt(dx * dx + dy * dy)) * 80, 0.0, 1.0);
            double r = sky * (90 + 80 * v) + (1 - sky) * (60 + 90 * u + 30 * std::sin(13 * u));
            double g = sky * (140 + 70 * v) + (1 - sky) * (100 + 60 * std::cos(7 * v + 5 * u));
            double b = sky * (225 - 40 * v) + (1 - sky) * (40 + 30 * u);
            r = sun * 252 + (1 - sun) * r;
            g = sun * 228 + (1 - sun) * g;
            b = sun * 140 + (1 - sun) * b;
            const auto channel = [n](double c) {
                return static_cast<uint8_t>(std::clamp(static_cast<int>(c) + n, 0, 255));
            };
            row[3 * x] = channel(b);
            row[3 * x + 1] = channel(g);
            row[3 * x + 2] = channel(r);
        }
    }
}

void CopyRect(TVLBitmap& Source, int32_t X, int32_t Y, TVLBitmap& Dest) {
    for (int32_t y = 0; y < Dest.GetHeight(); ++y)
        std::memcpy(Dest.GetScanline(y), Source.GetScanline(Y + y) + 3 * X,
                    3 * static_cast<size_t>(Dest.GetWidth()));
}

void WritePpm(TVLBitmap& Bitmap, const std::filesystem::path& Path) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << Bitmap.GetWidth() << " " << Bitmap.GetHeight() << "\n255\n";
    std::string row(3 * static_cast<size_t>(Bitmap.GetWidth()), '\0');
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* bgr = Bitmap.GetScanline(y);
        for (size_t i = 0; i < row.size(); i += 3) {
            row[i] = static_cast<char>(bgr[i + 2]);
            row[i + 1] = static_cast<char>(bgr[i + 1]);
            row[i + 2] = static_cast<char>(bgr[i]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

double BestMilliseconds(int Runs, const std::function<void()>& Work) {
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

const char* OnlyCase = nullptr;

void Case(const char* Name, TVLBitmap& Source, int32_t DW, int32_t DH, int Runs,
          const std::function<void(TVLBitmap&, TVLBitmap&)>& Resample) {
    if (OnlyCase != nullptr && std::strcmp(OnlyCase, Name) != 0) return;
    TVLBitmap dest(DW, DH, vl24RGB);
    const double ms = BestMilliseconds(Runs, [&] { Resample(Source, dest); });
    std::printf("%s %dx%d %.2f\n", Name, DW, DH, ms);
}

// The renderer as the view uses it: a window of RenderWidth x RenderHeight pixels showing the
// picture at Zoom per cent from (RenderX, RenderY), opaque, tables built and freed per call.
constexpr int32_t RenderWidth = 2000, RenderHeight = 1400, RenderX = 500, RenderY = 300;

void RenderCase(const char* Name, TVLBitmap& Source, int32_t Zoom, TResampleFilter Filter,
                int Runs) {
    if (OnlyCase != nullptr && std::strcmp(OnlyCase, Name) != 0) return;
    TVLBitmap dest(RenderWidth, RenderHeight, vl24RGB);
    const int32_t sw = RenderWidth * 100 / Zoom, sh = RenderHeight * 100 / Zoom;
    const double ms = BestMilliseconds(Runs, [&] {
        Source.RenderRectToBitmap(dest, 0, 0, RenderWidth, RenderHeight, RenderX, RenderY, sw, sh,
                                  255, Filter, vlroCopy);
    });
    std::printf("%s %dx%d %.2f\n", Name, RenderWidth, RenderHeight, ms);
}

void PaletteCase(const char* Name, TVLBitmap& Source, int32_t Method,
                 const std::filesystem::path& Result, int Runs) {
    if (OnlyCase != nullptr && std::strcmp(OnlyCase, Name) != 0) return;
    QuantizerMethod = Method;
    TVLBitmap dest(Source.GetWidth(), Source.GetHeight(), vl8p);
    dest.PaletteUsed = 256;
    const double ms = BestMilliseconds(Runs, [&] { dest.ConvertFrom(Source); });
    std::printf("%s %dx%d %.2f\n", Name, Source.GetWidth(), Source.GetHeight(), ms);
    TVLBitmap shown(Source.GetWidth(), Source.GetHeight(), vl24RGB);
    shown.ConvertFrom(dest);
    WritePpm(shown, Result);
    QuantizerMethod = -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    OnlyCase = argc > 3 ? argv[3] : nullptr;
    DefaultMinFileSize = int64_t{1} << 50; // every bitmap in memory
    VLThreadCount = 1;                     // single-threaded unless a case says otherwise

    TVLBitmap source(SourceWidth, SourceHeight, vl24RGB);
    FillSynthetic(source);
    TVLBitmap crop(CropWidth, CropHeight, vl24RGB);
    CopyRect(source, CropX, CropY, crop);
    std::filesystem::create_directories(folder);
    WritePpm(source, folder / "source.ppm");
    WritePpm(crop, folder / "crop.ppm");

    auto fast = [](TVLBitmap& s, TVLBitmap& d) { ResampleFastLinear24(s, d); };
    Case("fastlinear-85", source, 85, 57, runs, fast);
    Case("fastlinear-256", source, 256, 171, runs, fast);
    Case("fastlinear-256-threads", source, 256, 171, runs, [](TVLBitmap& s, TVLBitmap& d) {
        VLThreadCount = 0;
        ResampleFastLinear24(s, d);
        VLThreadCount = 1;
    });
    Case("bilinear-1920", source, 1920, 1280, runs,
         [](TVLBitmap& s, TVLBitmap& d) { _ResampleEx(s, d, rfBilinear); });
    Case("bicubic-1920", source, 1920, 1280, runs,
         [](TVLBitmap& s, TVLBitmap& d) { _ResampleEx(s, d, rfBicubic); });
    for (const TResampleFilter filter : {rfBilinear, rfBicubic})
        Case(filter == rfBilinear ? "bilinear-1920-threads" : "bicubic-1920-threads", source,
             1920, 1280, runs, [filter](TVLBitmap& s, TVLBitmap& d) {
                 VLThreadCount = 0;
                 _ResampleEx(s, d, filter);
                 VLThreadCount = 1;
             });
    Case("fastlinear-1920", source, 1920, 1280, runs, fast);
    Case("fastlinear-2x-crop", crop, 2000, 1400, runs, fast);
    Case("lanczos3-1920", source, 1920, 1280, runs,
         [](TVLBitmap& s, TVLBitmap& d) { _ResampleEx(s, d, rfLanczos3); });
    // The same without the vector instructions, to show what they bring.
    Case("lanczos3-1920-plain", source, 1920, 1280, runs, [](TVLBitmap& s, TVLBitmap& d) {
        ResampleVectorKernels = false;
        _ResampleEx(s, d, rfLanczos3);
        ResampleVectorKernels = true;
    });
    // The same on every processor.
    Case("lanczos3-1920-threads", source, 1920, 1280, runs, [](TVLBitmap& s, TVLBitmap& d) {
        VLThreadCount = 0;
        _ResampleEx(s, d, rfLanczos3);
        VLThreadCount = 1;
    });
    // The same cases are timed for QPainter by sv_bench_qpainter.
    RenderCase("render-nearest-50", source, 50, rfNone, runs);
    RenderCase("render-nearest-100", source, 100, rfNone, runs);
    RenderCase("render-nearest-300", source, 300, rfNone, runs);
    RenderCase("render-fastlinear-50", source, 50, rfFastLinear, runs);
    RenderCase("render-fastlinear-100", source, 100, rfFastLinear, runs);
    RenderCase("render-fastlinear-300", source, 300, rfFastLinear, runs);


    // 24-bit to 256 palette colours (the neural network, as the quantizer chooses for 256), and
    // the same with the box splitter.
    TVLBitmap photo(4000, 3000, vl24RGB);
    FillPhotoLike(photo);
    WritePpm(photo, folder / "palette-source.ppm");
    PaletteCase("palette-256", photo, -1, folder / "palette-ours.ppm", runs);
    PaletteCase("palette-256-boxes", photo, 1, folder / "palette-boxes.ppm", runs);
    VLThreadCount = 0;
    PaletteCase("palette-256-threads", photo, -1, folder / "palette-threads.ppm", runs);
    VLThreadCount = 1;
    return 0;
}
