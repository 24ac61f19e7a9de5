// Times the raster library's MergeLine and BlendLineEx over a 1920 x 1080 buffer of mixed alpha,
// row by row, single-threaded, and writes the same pixels (foreground and background as RGBA
// bytes) for the Pillow peer (blend_peer.py).
//
// Usage: sv_bench_blend OUTPUT_FOLDER [RUNS]
// Prints one line per case: name, size and the best time of RUNS runs in ms.
#include "raster/RasterBlend.h"
#include "raster/RasterStartup.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace raster;

namespace {

constexpr int32_t Width = 1920, Height = 1080;

// Alpha spread over its whole range, a quarter of the pixels opaque or fully transparent so that
// the quick outs are met as in real pictures.
std::vector<TColor32> MixedPixels(uint32_t Seed) {
    std::mt19937 random(Seed);
    std::vector<TColor32> pixels(static_cast<size_t>(Width) * Height);
    for (TColor32& p : pixels) {
        const uint32_t kind = random() % 8;
        const uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : random() & 0xFF;
        p = (alpha << 24) | (random() & 0xFFFFFF);
    }
    return pixels;
}

void WriteRgba(const std::string& Path, const std::vector<TColor32>& Pixels) {
    std::string bytes;
    bytes.reserve(Pixels.size() * 4);
    for (TColor32 c : Pixels)
        bytes += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c),
                  static_cast<char>(c >> 24)};
    std::ofstream(Path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

template <class Run>
void Case(const char* Name, const std::vector<TColor32>& Foreground,
          const std::vector<TColor32>& Background, int Runs, Run run) {
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        std::vector<TColor32> dst = Background;
        const auto start = std::chrono::steady_clock::now();
        for (int32_t y = 0; y < Height; ++y)
            run(Foreground.data() + static_cast<size_t>(y) * Width,
                dst.data() + static_cast<size_t>(y) * Width);
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("%s %dx%d %.2f\n", Name, Width, Height, best);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    InitializeRasterLibrary();
    const std::vector<TColor32> foreground = MixedPixels(1), background = MixedPixels(2);
    WriteRgba(folder + "/blend-foreground.rgba", foreground);
    WriteRgba(folder + "/blend-background.rgba", background);
    Case("merge-line", foreground, background, runs,
         [](const TColor32* src, TColor32* dst) { MergeLine(src, dst, Width); });
    Case("blend-line-ex", foreground, background, runs,
         [](const TColor32* src, TColor32* dst) { BlendLineEx(src, dst, Width, 255); });
    Case("blend-line-ex-c0", foreground, background, runs,
         [](const TColor32* src, TColor32* dst) { BlendLineEx(src, dst, Width, 0xC0); });
    FinalizeRasterLibrary();
    return 0;
}
