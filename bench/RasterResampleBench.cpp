// Times the raster library's stretching of a 6000 x 4000 (24-megapixel) photo-like bitmap to
// 1920 x 1280 with TKernelResampler + TLanczosKernel and with TLinearResampler, around the
// resample only, single-threaded, and writes the same pixels (RGBA bytes) for the Pillow peer
// (raster_resample_peer.py).
//
// Usage: sv_bench_raster_resample OUTPUT_FOLDER [RUNS]
// Prints one line per case: name, size and the best time of RUNS runs in ms.
#include "raster/RasterResamplers.h"
#include "raster/RasterStartup.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace raster;

namespace {

constexpr int32_t SrcWidth = 6000, SrcHeight = 4000, DstWidth = 1920, DstHeight = 1280;

// Smooth gradients with fine texture, as in a photograph.
void FillPhoto(TBitmap32& Bitmap) {
    for (int32_t y = 0; y < SrcHeight; ++y)
        for (int32_t x = 0; x < SrcWidth; ++x) {
            auto channel = [&](double a, double b) {
                const double v = 128 + 90 * std::sin(x * a + y * b) + 30 * std::sin(x * 0.9 + y * 0.7);
                return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0));
            };
            Bitmap.SetPixel(x, y, 0xFF000000u | channel(0.001, 0.002) << 16 |
                                      channel(0.002, 0.0007) << 8 | channel(0.0005, 0.003));
        }
}

void WriteRgba(const std::string& Path, const TBitmap32& Bitmap) {
    std::string bytes;
    bytes.reserve(size_t(SrcWidth) * SrcHeight * 4);
    for (int64_t i = 0; i < int64_t{SrcWidth} * SrcHeight; ++i) {
        const TColor32 c = Bitmap.Bits()[i];
        bytes += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c),
                  static_cast<char>(c >> 24)};
    }
    std::ofstream(Path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

void Case(const char* Name, TBitmap32& Src, int Runs) {
    TBitmap32 dst;
    dst.SetSize(DstWidth, DstHeight);
    const TRect rect{0, 0, DstWidth, DstHeight};
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Src.Resampler()->Resample(dst, rect, rect, Src, Src.BoundsRect(), dmOpaque, nullptr);
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("%s %dx%d %.2f\n", Name, DstWidth, DstHeight, best);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    InitializeRasterLibrary();
    {
        TBitmap32 src;
        src.SetSize(SrcWidth, SrcHeight);
        FillPhoto(src);
        WriteRgba(folder + "/resample-source.rgba", src);
        auto* kernel = new TKernelResampler(&src);
        kernel->SetKernel(new TLanczosKernel);
        Case("kernel-lanczos", src, runs);
        new TLinearResampler(&src);
        Case("linear", src, runs);
    }
    FinalizeRasterLibrary();
    return 0;
}
