// Times the resampling kernels and the renderer single-threaded on a synthetic 24-megapixel RGB
// picture in memory, and writes that picture (and the crop that is enlarged) as PPM files for the
// peer tools.
//
// Usage: sv_bench_resample OUTPUT_FOLDER [RUNS [CASE]]
// Prints one line per case (or only CASE): name, destination size and the best time of RUNS runs
// in ms.
#include "imaging/core/VLRender.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleFast.h"

#include <algorithm>
#include <chrono>
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

    TVLBitmap source(SourceWidth, SourceHeight, vl24RGB);
    FillSynthetic(source);
    TVLBitmap crop(CropWidth, CropHeight, vl24RGB);
    CopyRect(source, CropX, CropY, crop);
    std::filesystem::create_directories(folder);
    WritePpm(source, folder / "source.ppm");
    WritePpm(crop, folder / "crop.ppm");

    auto fast = [](TVLBitmap& s, TVLBitmap& d) { ResampleFastLinear24(s, d); };
    Case("fastlinear-85", source, 85, 57, runs, fast);
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
    // The same cases are timed for QPainter by sv_bench_qpainter.
    RenderCase("render-nearest-50", source, 50, rfNone, runs);
    RenderCase("render-nearest-100", source, 100, rfNone, runs);
    RenderCase("render-nearest-300", source, 300, rfNone, runs);
    RenderCase("render-fastlinear-50", source, 50, rfFastLinear, runs);
    RenderCase("render-fastlinear-100", source, 100, rfFastLinear, runs);
    RenderCase("render-fastlinear-300", source, 300, rfFastLinear, runs);
    return 0;
}
