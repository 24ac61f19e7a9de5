// Times, single-threaded and from memory, the TIFF reader on an A4 page at 300 dpi in Group 4,
// a 24-megapixel RGB picture in LZW with the horizontal predictor and its Deflate-tiled twin
// (256 x 256 tiles), against Pillow's Image.open(...).load() on the same bytes, timed inside
// Python (bench/pillow_tiff.py; Pillow decodes through libtiff in process).
//
// Usage: sv_bench_tiff OUTPUT_FOLDER [RUNS]
// Prints one line per case: name, the best time of RUNS runs in ms for the reader and for
// Pillow, and the ratio reader / Pillow.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/io/VLTiffLZW.h"

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

bool Run(const std::string& Command) { return std::system(Command.c_str()) == 0; }

std::vector<uint8_t> FileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double OursMs(std::vector<uint8_t>& Bytes, int Runs) {
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        TVLMemStream stream(Bytes.data(), static_cast<int64_t>(Bytes.size()));
        TVLBitmap bitmap;
        TIOParamsVals params;
        params.TiffLZWDecompress = TiffLZWDecode;
        bool aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        std::unique_ptr<TVLMask> mask;
        int32_t pages = 0;
        const auto start = std::chrono::steady_clock::now();
        ReadTIFFStream(bitmap, stream, pages, params, progress, false, mask, true, false, false);
        const auto end = std::chrono::steady_clock::now();
        if (aborted || bitmap.GetWidth() == 0) {
            std::fprintf(stderr, "the reader failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

double PillowMs(const std::filesystem::path& File, int Runs) {
    const std::string script = std::filesystem::path(SV_BENCH_DIR) / "pillow_tiff.py";
    FILE* pipe = popen(("/usr/bin/python3 '" + script + "' '" + File.string() + "' " +
                        std::to_string(Runs))
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
        std::fprintf(stderr, "usage: sv_bench_tiff OUTPUT_FOLDER [RUNS]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::filesystem::create_directories(folder);
    BuildCCITTDecodeTrees();
    const auto f = [&](const char* Name) { return "'" + (folder / Name).string() + "'"; };
    WritePhoto(folder / "photo.ppm");
    const bool made =
        Run("convert -size 2480x3508 xc:white -fill black -stroke black "
            "-draw 'rectangle 200,200 2280,320' -draw 'circle 1240,1700 1240,2300' "
            "-draw 'line 200,3000 2280,3300' -type Bilevel -depth 1 -density 300 " +
            f("page.tif")) &&
        Run("tiffcp -c g4 " + f("page.tif") + " " + f("page-g4.tif")) &&
        Run("convert " + f("photo.ppm") + " -compress none " + f("photo.tif")) &&
        Run("tiffcp -c lzw:2 -r 16 " + f("photo.tif") + " " + f("photo-lzw.tif")) &&
        Run("tiffcp -c zip -t -w 256 -l 256 " + f("photo.tif") + " " + f("photo-zip-tiles.tif"));
    if (!made) {
        std::fprintf(stderr, "convert or tiffcp failed\n");
        return 1;
    }
    std::printf("%-26s %10s %10s %8s\n", "case", "reader ms", "Pillow ms", "ratio");
    for (const char* name : {"page-g4.tif", "photo-lzw.tif", "photo-zip-tiles.tif"}) {
        std::vector<uint8_t> bytes = FileBytes(folder / name);
        const double ours = OursMs(bytes, runs);
        const double peer = PillowMs(folder / name, runs);
        std::printf("%-26s %10.1f %10.1f %8.2f\n", name, ours, peer, ours / peer);
    }
    FreeCCITTDecodeTrees();
    for (const char* name : {"photo.ppm", "photo.tif", "page.tif", "page-g4.tif", "photo-lzw.tif",
                             "photo-zip-tiles.tif"})
        std::filesystem::remove(folder / name);
    return 0;
}
