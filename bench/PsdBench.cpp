// Times, single-threaded and from memory, the PSD reader on a 24-megapixel RGB picture that
// ImageMagick packed with PackBits (merged image and one layer), against Pillow's
// Image.open(...).load() on the same bytes, timed inside Python (bench/pillow_tiff.py, which
// opens any format). Pillow decodes the merged image only; the reader does so without a layer
// list, and decodes the single layer too with one, as the I/O component asks it.
//
// Usage: sv_bench_psd OUTPUT_FOLDER [RUNS]
// Prints one line per case: the best time of RUNS runs in ms for the reader and for Pillow,
// and the ratio reader / Pillow.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLPsdReader.h"
#include "imaging/view/VLLayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int32_t PhotoWidth = 6000;
constexpr int32_t PhotoHeight = 4000;

// Sky, ground and a sunlit disc with soft edges and per-pixel noise, written as a PPM.
void WritePhoto(const std::filesystem::path& Path) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << PhotoWidth << " " << PhotoHeight << "\n255\n";
    std::vector<uint8_t> row(static_cast<size_t>(PhotoWidth) * 3);
    uint32_t noise = 88172645u;
    for (int32_t y = 0; y < PhotoHeight; ++y) {
        const double v = static_cast<double>(y) / PhotoHeight;
        for (int32_t x = 0; x < PhotoWidth; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise % 5) - 2;
            const double u = static_cast<double>(x) / PhotoWidth;
            const double sky = std::clamp((0.45 + 0.05 * std::sin(u * 9) - v) * 40, 0.0, 1.0);
            const double r = sky * (90 + 80 * v) + (1 - sky) * (60 + 90 * u);
            const double g = sky * (140 + 70 * v) + (1 - sky) * (100 + 60 * std::cos(7 * v));
            const double b = sky * (225 - 40 * v) + (1 - sky) * (40 + 30 * u);
            row[3 * x] = static_cast<uint8_t>(std::clamp(static_cast<int>(r) + n, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(static_cast<int>(g) + n, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(std::clamp(static_cast<int>(b) + n, 0, 255));
        }
        out.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double OursMs(std::vector<uint8_t>& Bytes, int Runs, bool WithLayers) {
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        TVLMemStream stream(Bytes.data(), static_cast<int64_t>(Bytes.size()));
        TVLBitmap bitmap;
        TIOParamsVals params;
        bool aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        std::vector<std::unique_ptr<TVLLayer>> layers;
        const auto start = std::chrono::steady_clock::now();
        ReadPSDStream(stream, &bitmap, params, progress, false, WithLayers ? &layers : nullptr);
        const auto end = std::chrono::steady_clock::now();
        if (aborted || bitmap.GetWidth() != PhotoWidth) {
            std::fprintf(stderr, "the reader failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

double PillowMs(const std::filesystem::path& File, int Runs) {
    const std::string script = std::filesystem::path(SV_BENCH_DIR) / "pillow_tiff.py";
    FILE* pipe =
        popen(("/usr/bin/python3 '" + script + "' '" + File.string() + "' " + std::to_string(Runs))
                  .c_str(),
              "r");
    if (pipe == nullptr) return -1;
    double ms = -1;
    if (std::fscanf(pipe, "%lf", &ms) != 1) ms = -1;
    pclose(pipe);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sv_bench_psd OUTPUT_FOLDER [RUNS]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::filesystem::create_directories(folder);
    const std::filesystem::path photo = folder / "photo.ppm", psd = folder / "photo.psd";
    WritePhoto(photo);
    if (std::system(
            ("convert '" + photo.string() + "' -compress RLE '" + psd.string() + "'").c_str()) !=
        0) {
        std::fprintf(stderr, "convert failed\n");
        return 1;
    }
    std::vector<uint8_t> bytes = FileBytes(psd);
    const double peer = PillowMs(psd, runs);
    std::printf("%-26s %10s %10s %8s\n", "case", "reader ms", "Pillow ms", "ratio");
    for (const bool withLayers : {false, true}) {
        const double ours = OursMs(bytes, runs, withLayers);
        std::printf("%-26s %10.1f %10.1f %8.2f\n", withLayers ? "merged and layer" : "merged", ours,
                    peer, ours / peer);
    }
    std::filesystem::remove(photo);
    std::filesystem::remove(psd);
    return 0;
}
